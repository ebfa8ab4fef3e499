// Stores of the dissolved constituents: per-cell overland rows, per-constituent
// run totals and the channel node rows with the work rows of the channel
// water-quality routing. Constituents are numbered 1..n; row 0 is unused.
#pragma once
#include <array>
#include <vector>

// Source blocks whose pending amounts the transport step spreads over its steps.
constexpr int kConBlockRain = 0;
constexpr int kConBlockInfil = 1;
constexpr int kConBlockExchange = 2;
constexpr int kConBlockDecay = 3;
constexpr int kConBlockOutlet = 4;
constexpr int kConBlockLateral = 5;
constexpr int kConBlocks = 6;

using con_rows = std::vector<std::vector<double>>;

// Surface water one process moved from one cell to another (or between a
// cell and the outside), for the constituents to move its mass.
struct con_move {
    int from = 0;         // giving cell, 0 outside (water that carries nothing)
    int to = 0;           // receiving cell, 0 outside (the mass leaves the watershed)
    double volume = 0.0;  // m3
};

// Cells per block of the ordered sums of the transport step: each block is
// summed in cell order, then the blocks in order, whatever the thread count.
constexpr int kSumBlock = 8192;  // [constituent 1..n][cell 1..GNUM]
// Amounts summed per block: rain, decay, infiltration, exchange, made, boundary outflow.
constexpr int kConBooked = 6;

// Per-cell overland stores of every constituent and the transport work rows.
struct constituent_cells {
    con_rows conc;         // concentration in the overland water, g/m3
    con_rows mass;         // mass in the overland water, g
    con_rows land;         // mass on and in the soil surface, g
    con_rows disp;         // dispersion coefficient, m2/s
    con_rows decay;        // first-order decay coefficient in the water, 1/s
    con_rows uptake;       // soil-surface exchange coefficient, 1/s per m of depth as the table gives it
    con_rows soil_conc;    // surface-soil concentration parameter, g/m3
    // Pending amounts queued by the source blocks, applied by the cell budget, g
    con_rows pend_precip;    // brought by the rain
    con_rows pend_infil;     // taken by infiltrating water
    con_rows pend_soil_in;   // handed to the soil by a cell that fell dry
    con_rows pend_exchange;  // given by the soil surface (negative: taken)
    con_rows pend_decay;     // lost to decay
    con_rows pend_lateral;   // handed to the channel (negative: received)
    std::vector<double> exit_mass;  // per constituent: mass queued to leave by the overland outlet, g
    std::vector<double> bc_volume;  // per cell: water the overland boundary conditions and pumps took since the last transport step, m3
    std::vector<con_move> moves;    // surface water moved between cells (low spots, boundary exchange) since the sources step
    double moved_volume = 0.0;      // water those moves carried over the run, m3
    std::vector<double> point_volume;  // per cell: water the overland point sources gave (+) or took (-) since the sources step, m3
    con_rows point_conc;            // [constituent][cell] concentration of the point-source inflow of the cell, g/m3
    std::vector<double> head_loss;  // per cell of ov_head_cells: water the held level took in the overland step's current attempt, m3

    // Soil layer under each cell (soil constituents, single-layer Green-Ampt)
    double layer_thickness = 0.0;  // thickness of the constituent soil layer, m
    con_rows layer_mass;           // mass in the layer, g
    con_rows layer_conc;           // concentration on the soil solids, mg/kg
    con_rows layer_fraction;       // dissolved share of the layer mass, -
    con_rows soil_decay;           // first-order decay of the dissolved part, 1/s
    con_rows kd;                   // partition coefficient, l/kg
    con_rows pend_soil_exchange;   // exchange the water took from the layer, not yet taken from it, g
    std::vector<double> book_soil_decay;  // per cell: soil decay of the step, g

    // Transport work rows, one value per cell (GNUM+1), reused by every constituent
    std::vector<double> rate;      // net source rate of the cell, g/s
    std::vector<double> adv1;      // advective flux into the cell across its upper/left face, g/s
    std::vector<double> dsp1;      // dispersive flux into the cell across that face, g/s
    std::vector<double> m_pred;    // predicted mass, g
    std::vector<double> c_pred;    // predicted concentration, g/m3
    std::vector<double> limit;     // per cell: sub-step limit found in the cell, s
    std::vector<double> tilt;      // per cell: column less row net face inflow of the step, m3/s
    std::vector<unsigned char> emptied;  // per cell: 1 when the step drains the cell
    std::vector<double> disp_max;  // per cell: largest dispersion coefficient of the constituents, m2/s
    int disp_max_ready = 0;        // disp_max was filled (at the first transport step)
    std::vector<double> book_neg;       // per cell: mass made by raising negative masses, g
    std::vector<double> block_sums;     // per block of kSumBlock cells: the booked sums, g (kConBooked per
                                        // block; the whole-step sweep: kStepSlots per block and constituent)
    // Streaming sweep of the overland transport, set up at the first transport step
    int sweep_ready = 0;              // the numbering below was checked
    int sweep_ok = 0;                 // 1: the grid's numbering suits the sweep
    long sweep_reach_y = 0;           // largest number distance to an upper/lower neighbour, cells
    long sweep_reach_x = 0;           // largest number distance to a left/right neighbour, cells
    int sweep_threads = 0;            // threads sweep_space serves
    int sweep_items = 0;              // constituents one whole-step sweep carries together
    std::vector<double> sweep_space;  // per thread: rings and copies of the sweep, doubles
    int transport_substeps = 0;       // sub-steps of the last transport step
    double transport_substep = 0.0;   // their length, s

    // Soil column of several layers (soil constituents under layered Green-Ampt
    // and Richards columns): layer 1 is layer_mass/layer_conc/layer_fraction
    // above, layers 2 and 3 the rows below. Per-cell arrays are GNUM+1, used
    // from 1; per-layer entries [1..3], [0] unused.
    int soil_layers = 0;                          // layers of the column (0: the single layer above)
    std::vector<std::array<double, 4>> col_dz;    // per cell: thickness of layers 1..3, m (0: none)
    std::vector<std::array<double, 4>> col_phi;   // per cell: porosity of layers 1..3, m3/m3
    std::vector<std::array<double, 4>> col_water; // per cell: water of layers 1..3 at the last soil step, m
    std::vector<std::array<double, 4>> col_flow;  // per cell: water down through the bottom of layers 1..3 in the soil step, m (negative: up)
    int col_event = -1;                           // event whose soil state col_water was read in
    std::array<con_rows, 4> deep_mass;            // [layer 2..3][constituent][cell]: mass in the layer, g
    std::array<con_rows, 4> deep_conc;            // [layer 2..3][constituent][cell]: concentration on the solids, mg/kg
    std::array<con_rows, 4> deep_fraction;        // [layer 2..3][constituent][cell]: dissolved share of the layer mass, -
    std::vector<double> book_soil_out;            // per cell: mass that left the column bottom in the soil step, g
    std::vector<double> book_soil_held;           // per cell: mass the soil held at fixed concentrations gave (+) or swallowed (-) in the soil step, g
};

// Per-constituent run totals (index 1..n), kg.
struct constituent_totals {
    std::vector<double> ov_init;       // initial overland water mass
    std::vector<double> land_init;     // initial land mass
    std::vector<double> chan_init;     // initial channel mass
    std::vector<double> precip;        // brought by rain
    std::vector<double> infil;         // taken by infiltration
    std::vector<double> ov_decay;      // decayed in the overland water
    std::vector<double> uptake;        // given by the soil surface to the water (negative: taken, also what cells falling dry left on the land)
    std::vector<double> ov_out;        // left by the overland outlet
    std::vector<double> bc_out;        // left with the water the overland boundary conditions and pumps took
    std::vector<double> qlat;          // from the cells to the channels (negative: back)
    std::vector<double> ov_neg;        // made by raising negative overland masses to 0
    std::vector<double> chan_out;      // left by the channel outlet
    std::vector<double> chan_decay;    // decayed in the channels
    std::vector<double> chan_clip;     // made by raising negative node masses to 0 (negative: removed)
    std::vector<double> soil_decay;    // decayed in the soil layer
    // Amounts of the processes that the summaries report, kg (0 while the
    // process that books them is not part of the run)
    std::vector<double> ov_point;      // brought to the cells by overland point sources
    std::vector<double> ov_exfil;      // brought to the cells by exfiltrating water
    std::vector<double> soil_seep_down;  // left the soil layer for the water table
    std::vector<double> soil_seep_up;    // reached the soil layer from the water table
    std::vector<double> soil_nsm_uptake;  // nutrient taken up from the soil pools
    std::vector<double> soil_sediment;   // to the soil with deposited sediment (negative: eroded)
    std::vector<double> ov_sed_source;   // given to the water by sediment (negative: taken)
    std::vector<double> ov_attached_out;  // sorbed to sediment, left by the overland outlet
    std::vector<double> ov_to_lake;    // from the cells into the channel-network lakes
    std::vector<double> ov_nsm_gain, ov_nsm_loss;      // nutrient kinetics in the cells
    std::vector<double> chan_point;    // brought by channel point sources
    std::vector<double> chan_gw;       // from the aquifer to the channels (negative: to the aquifer)
    std::vector<double> chan_nsm_gain, chan_nsm_loss;  // nutrient kinetics in the channels
    std::vector<double> chan_sed_exchange;  // to the dissolved state from channel sediment (negative: sorbed)
    std::vector<double> chan_attached_qlat;  // sorbed to sediment, from the cells into the channels
    std::vector<double> chan_attached_out;   // sorbed to sediment, left by the channel outlet
    std::vector<double> lake_init;     // initial mass in the lakes (overland or channel-network)
    std::vector<double> lake_precip;   // brought to the lakes by rain
    std::vector<double> lake_point;    // brought to the lakes by lake point sources
    std::vector<double> lake_gw;       // from the aquifer to the lakes (negative: to the aquifer)
    std::vector<double> lake_decay;    // decayed in the lakes (overland or channel-network)
    std::vector<double> chan_to_lake;  // from the channel links into the lakes
    std::vector<double> lake_to_chan;  // from the lakes into the channel links
    std::vector<double> lake_chan_exchange;  // exchanged between lakes and channel nodes (+ into the lakes)
    std::vector<double> lake_nsm_gain, lake_nsm_loss;  // nutrient kinetics in the lakes
    std::vector<double> lake_attached_exchange;  // to the dissolved state from lake sediment
    std::vector<double> lake_attached_ov_in;     // sorbed to sediment, from the cells into the lakes
    std::vector<double> lake_attached_chan_in;   // sorbed to sediment, from the channels into the lakes
    // Sorbed on the sediment (sediment_contam)
    std::vector<double> sed_from_soil;   // taken from the top soil layer by eroded sediment
    std::vector<double> sed_to_soil;     // returned to the soil (or the land store) by deposited sediment
    std::vector<double> sed_to_chan;     // carried from the cells to the channel nodes with sediment
    std::vector<double> sed_out;         // left the watershed on sediment (overland or channel outlet)
    std::vector<double> sed_released;    // passed from the sediment into the water at the channel nodes (negative: sorbed)
    std::vector<double> soil_out;      // left the bottom of the soil column with the water draining out
    std::vector<double> soil_held;     // given (+) or swallowed (-) by soil held at fixed concentrations
    // Nutrient sub-model (constituents first_nsm_constituent and on)
    std::vector<double> nsm_gain;      // gained by a water species from its soil pool (uptake)
    std::vector<double> nsm_loss;      // lost by the soil pool of this number to the uptake
    std::vector<double> pool_init;     // initial mass of the soil pool of this number
    std::vector<double> to_pool;       // handed by a water species to its soil pool (infiltration, dried cells)
    std::vector<double> pool_in;       // received by the soil pool of this number from its water species
    std::vector<double> sed_lake_settled;  // settled with the suspended sediment of the channel-network lakes
    std::vector<double> surface_moved;     // carried between cells (or out) by the surface moves (a record, no balance term)
};

// Mass of one constituent held in each store at one moment, kg.
struct constituent_stocks {
    double water = 0.0;    // dissolved in the overland water
    double land = 0.0;     // on the land surface, with what has left it for the water and not arrived
    double soil = 0.0;     // in the soil layer, with what has left the water for it and not arrived
    double channel = 0.0;  // in the channel nodes, with lateral mass not yet mixed in
    double lake = 0.0;     // in the channel-network lakes
    double ov_attached = 0.0;    // sorbed to the suspended sediment of the cells
    double chan_attached = 0.0;  // sorbed to the suspended sediment of the channels
};

// Mass-balance errors of the last summary written, percent, per constituent 1..n.
struct constituent_errors {
    std::vector<double> soil, overland, channel, lake, global;
};

// Channel node stores, flat index (maxnodes + 1) x link + node, and the
// routing work rows of one constituent, sized from the network at set-up.
struct constituent_channel {
    int stride = 0;            // maxnodes + 1
    int slots = 0;             // stride x (links + 1)
    con_rows conc;             // node concentration, g/m3
    con_rows mass;             // node mass, g
    con_rows disp;             // node dispersion coefficient, m2/s
    con_rows qlat_mass;        // mass from the cells not yet added to the node, g
    con_rows decay_mass;       // pending decay, g
    con_rows gw_gain;          // mass the aquifer's water brings the node in the interval, g
    con_rows point_gain;       // mass the point inflows bring the node in the interval, g
    std::vector<double> draw_gw;     // per slot: water the aquifer takes from the node in the interval, m3
    std::vector<double> draw_point;  // per slot: water the point withdrawals take from it, m3
    double decay_interval = 0.0;      // interval of the decay timer when it last ran, s
    // Step totals of the constituent being routed, g
    double step_out = 0.0, step_decay = 0.0, step_lateral = 0.0, step_clip = 0.0;
    double step_gw_in = 0.0, step_gw_out = 0.0;        // brought and taken by the aquifer's water
    double step_point_in = 0.0, step_point_out = 0.0;  // brought by point inflows, taken by withdrawals
    // Network as the routing walks it (links 1..links)
    std::vector<int> downstream;            // transport link below the last node (through structures), 0 none
    std::vector<char> via_structure;        // 1 when a structure link lies between a link and its downstream
    std::vector<std::vector<int>> feeders;  // transport links whose last node feeds node 1
    const double* disp_row = nullptr;       // dispersion row of the constituent being routed, m2/s
    // Work rows (slots)
    std::vector<double> c, m, c_pred, m_pred;  // current and predicted concentration g/m3, mass g
    std::vector<double> c_save;                // concentrations of the previous corrector pass, g/m3
    std::vector<double> a1, g1, a2, g2;  // advective (g per sub-step) and dispersive (g/s) fluxes
    std::vector<double> w1, w2;          // mass leaving with the drawn water, g per sub-step
    std::vector<double> src;             // node source rate, g/s
    std::vector<double> area_adt;        // flow area interpolated over the interval, m2
    // Channel-network lakes (lake ids 1..lakes of constituent_lakes)
    std::vector<int> nx_seen;             // per link: nodes it had at the last routing (captures and releases since)
    std::vector<int> lake_below;          // per transport link: lake its last node drains into, 0 none
    std::vector<int> src_lake, src_link;  // per lake outflow: the lake and the transport link whose node 1 it feeds
    std::vector<int> src_vol_link, src_vol_node;  // per lake outflow: where its water volume is booked (qp_vol)
    std::vector<double> src_a1, src_a2;   // per lake outflow: advective flux, g per sub-step (passes 1 and 2)
    std::vector<double> lake_v0;          // per lake: water at the start of the interval, m3
    const double* lake_conc_row = nullptr;  // lake concentrations of the constituent being routed, g/m3
    const double* lake_mass_row = nullptr;  // lake masses of the constituent being routed, g
};

// Lakes as constituent stores (the overland lakes, or the lakes of the
// channel network; a run never has both): each lake is one well-mixed body
// of water per constituent. Lake cells hold no overland mass; what their
// faces pass goes into (or comes out of) their lake.
struct constituent_lakes {
    int lakes = 0;               // lakes carried (ids 1..lakes), 0 without lakes
    int channel = 0;             // 1: the lakes are those of the channel network
    con_rows mass;               // [constituent][lake] mass in the lake water, g
    con_rows conc;               // [constituent][lake] concentration, g/m3
    std::vector<double> decay;   // per lake: first-order decay coefficient in the lake water, 1/s
    std::vector<double> gain;    // per cell (GNUM+1): mass a lake cell's faces passed into its lake in a step, g
    std::vector<double> volume_last;  // per channel lake: its water at the last channel routing of the constituents, m3
};
