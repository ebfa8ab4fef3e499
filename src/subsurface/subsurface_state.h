// Members of the run state owned by the subsurface subsystem.
#pragma once
#include <array>
#include <vector>
#include "core/file_object.h"

// One soil of the soil table (indexed by soil id; id 0 holds no soil). Each
// field holds the values of soil layers 1, 2, 3 at [0], [1], [2].
struct soil_layer_record {
    double cap_head[3] = {};        // capillary (wetting-front suction) head, cm
    double ksat[3] = {};            // saturated hydraulic conductivity, cm/h
    double porosity[3] = {};        // porosity, m3/m3
    double initial_theta[3] = {};   // initial water content, m3/m3
    double wilting_point[3] = {};   // water content at the wilting point, m3/m3
    double field_capacity[3] = {};  // water content at field capacity, m3/m3
    double residual[3] = {};        // residual water content, m3/m3
    double thickness[3] = {};       // layer thickness, cm
    double pore_index[3] = {};      // pore distribution index, -
    // Richards soils (both soil models)
    double node_dz[3] = {};         // node spacing of the layer, cm
    double bc_lambda[3] = {};       // Brooks-Corey pore-size index lambda, -
    double bc_bubbling[3] = {};     // Brooks-Corey bubbling head hb, cm (stored negative)
    double hav_alpha[3] = {};       // Haverkamp retention alpha, cm
    double hav_beta[3] = {};        // Haverkamp retention beta, -
    double hav_a[3] = {};           // Haverkamp conductivity A, cm^B
    double hav_b[3] = {};           // Haverkamp conductivity B, -
    double et_values[4] = {};       // long-term file form: albedo, vegetation height (m),
                                    // transmission coefficient, canopy resistance (s/m)
    int richards_nodes = 0;         // node count of the soil's column (bottom node included)
    int layer1_end = 0, layer2_end = 0;  // last node of layers 1 and 2
};

// The soil table: one record per soil id 0..kSize-1. A run that reads no soil
// table never pays for its 4.3 MB: the entries are made (every field 0) at the
// first writing access, and until then every id reads as an all-zero record,
// as it would from a table nothing was read into. The writing accesses belong
// to the serial start-up (readers, set-up); loops over cells on threads read
// through the const access, which never allocates.
class soil_table_store {
  public:
    static constexpr int kSize = 10000;
    // Record of soil `id` (0 <= id < kSize, checked by the caller).
    const soil_layer_record& operator[](int id) const {
        return entries_.empty() ? zero_record() : entries_[static_cast<size_t>(id)];
    }
    soil_layer_record& operator[](int id) { return data()[id]; }
    // The kSize records, made at the first call.
    soil_layer_record* data() {
        if (entries_.empty()) entries_.resize(kSize);
        return entries_.data();
    }
    // True once the records exist.
    bool allocated() const { return !entries_.empty(); }

  private:
    static const soil_layer_record& zero_record() {
        static const soil_layer_record zero{};
        return zero;
    }
    std::vector<soil_layer_record> entries_;
};

// Soil of one Richards node: its layer's parameters (model 1 Brooks-Corey
// with a parabolic cap, model 2 Haverkamp).
struct richards_node_soil {
    double ks = 0.0;          // saturated conductivity, cm/h
    double theta_r = 0.0;     // residual water content, m3/m3
    double theta_wp = 0.0;    // wilting point, m3/m3
    double theta_fc = 0.0;    // field capacity, m3/m3
    double lambda = 0.0;      // model 1: pore-size index, -
    double hb = 0.0;          // model 1: bubbling head, cm (negative)
    double theta_c = 0.0;     // model 1: water content at the cut-off head, m3/m3
    double hc = 0.0;          // model 1: cut-off head, cm (negative)
    double alpha = 0.0;       // model 2: retention alpha, cm
    double beta = 0.0;        // model 2: retention beta, -
    double a = 0.0;           // model 2: conductivity A, cm^B
    double b = 0.0;           // model 2: conductivity B, -
};

// Node arrays of one cell's Richards column, slots 0..count + 1 (node 0
// mirrors node 1 at the surface; node `count` is the bottom boundary node).
// The water contents, node thicknesses and saturated contents live in
// richards_theta, richards_dz and richards_theta_s.
struct richards_column {
    std::vector<double> head;      // pressure head h, cm (negative unsaturated)
    std::vector<double> k_rel;     // relative conductivity K(h)/Ks, -
    std::vector<double> capacity;  // moisture capacity dtheta/dh, 1/cm
    std::vector<double> flux;      // downward flux into the node from above, cm/h
    std::vector<double> source;    // source (+) or sink term, 1/h
    std::vector<richards_node_soil> soil;  // the node's soil parameters
};

// One row of the WELL_TABLE section of the mapping table.
struct well_record {
    int id = 0;                     // well ID of the table and the well index map
    int rate_source = 0;            // 0 constant rate, otherwise the rate comes from a time series
    double rate = 0.0;              // constant rate, m3/s (positive pumps water out); 0 with a series
    int series_id = 0;              // time-series index ID of the rate, 0 for a constant rate
};

// Sacramento soil-moisture accounting of the basin: capacities and contents
// in mm, depletion fractions per day.
struct sacramento_state {
    double uztwm = 0.0, uzfwm = 0.0, uzk = 0.0, zperc = 0.0, rexp = 0.0, lztwm = 0.0, lzfsm = 0.0,
           lzfpm = 0.0, lzsk = 0.0, lzpk = 0.0, pfree = 0.0, saved = 0.0;
    double uztwc = 0.0;   // upper zone tension water content, mm
    double uzfwc = 0.0;   // upper zone free water content, mm
    double lztwc = 0.0;   // lower zone tension water content, mm
    double lzfsc = 0.0;   // lower zone free supplementary water content, mm
    double lzfpc = 0.0;   // lower zone free primary water content, mm
    double pbase = 0.0;   // lzfsm x lzsk + lzfpm x lzpk, mm/day
};

struct subsurface_state {

    // Infiltration and soil switches copied from the project cards (read_run_parameters)
    double soil_coefficient = 0.0;  // uniform initial water content, set to 0.15 every run
    int green_ampt = 0;             // Green-Ampt infiltration
    int inf_redist = 0;             // Green-Ampt with redistribution
    int inf_layered_soil = 0;       // multi-layer Green-Ampt
    int inf_richards = 0;           // Richards equation
    int recharge_computed = 0;      // wetting-front recharge computed (inf_redist, inf_layered_soil)
    int cont_inf_redist = 0;        // continuous redistribution (not no_cont_inf_redist)
    int moisture = 0;               // initial soil moisture map given (or a mapping table)
    int conductivity = 0, capillary = 0, porosity = 0, pore_index = 0,
        residual_sat = 0;           // Green-Ampt parameter maps given (or mapping table section)
    double soil_moist_depth = 0.0;  // depth of the soil moisture layer, cm
    double top_layer_depth = 0.0;   // top soil layer depth, cm
    double mixing_layer_depth = 0.0;  // mixing layer depth, cm
    int richards_iter_max = 0;      // Richards iterations per step
    double richards_weight = 0.0;   // Richards time weighting
    int richards_k_option = 0;      // 1 arithmetic, 2 geometric mean conductivity
    int richards_c_option = 0;      // 1 brooks, 2 havercamp soil functions
    double richards_dtheta_max = 0.0;  // largest moisture change per Richards step
    int richards_upper_option = 0;  // Richards upper boundary option

    // Groundwater
    int water_table = 0;            // water table map given
    int water_table_on = 0;         // the same (water table present)
    int gw_assign_theta = 0;        // moisture assigned from the water table
    int groundwater = 0;            // two-dimensional groundwater simulated
    int gw_simulation = 0;          // the same as groundwater
    int stream_exchange = 0;        // stream-aquifer exchange
    int gw_lsor_dir = 0;            // line-SOR direction
    double gw_timestep = 0.0;       // groundwater time step, s
    double gw_lsor_con = 0.0;       // line-SOR convergence criterion, m
    double single_unsat_sat = 0.0;  // single unsaturated/saturated switch limit
    double gw_leakage_rate = 0.0;   // leakage rate (card value)
    double gw_relax_coeff = 0.0;    // relaxation coefficient
    int gw_porosity_map = 0;        // aquifer porosity map given
    int gw_unif_porosity_given = 0; // uniform aquifer porosity given
    double gw_unif_porosity = 0.0;  // uniform aquifer porosity
    int gw_hycond_map = 0;          // aquifer conductivity map given
    int gw_unif_hycond_given = 0;   // uniform aquifer conductivity given
    double gw_unif_hycond = 0.0;    // uniform aquifer conductivity (card value)
    int gw_well_level = 0;          // well level output given
    int gw_output = 0;              // groundwater output given
    int gw_fluxboundtable = 0;      // groundwater flux boundary table given
    double aquifer_delta_z = 0.0;   // aquifer cell height, m (below 0: not given)

    // Sacramento soil-moisture accounting
    int sacramento = 0;             // Sacramento on
    int sac_topo_index = 0;         // Sacramento with the topographic index
    int sac_plain = 0;              // Sacramento without the topographic index

    // Start-up state read by the clock set-up
    int redist_started = 0;         // the redistribution scheme steps from the start of the run
    double gw_chan_last = 0.0, gw_chan_next = 0.0;  // channel clock copy of the groundwater exchange, Julian days

    int gw_sweep = 1;               // sweep handed to the groundwater solver, alternates 1, 2, 1 ...

    // Per-cell soil and infiltration arrays (GNUM+1, used from 1) created by alloc_cell_arrays
    std::vector<int> yes_exfil;          // 1 when the water table reaches the ground of the cell
    std::vector<double> ksat;            // saturated hydraulic conductivity, m/s
    std::vector<double> cap_drive;       // capillary drive, m
    std::vector<double> phi;             // porosity, m3/m3
    std::vector<double> pore_dist_index; // pore distribution index, - (the flag pore_index above is the map switch)
    std::vector<double> thr;             // residual water content, m3/m3
    std::vector<double> thi;             // initial water content, m3/m3
    std::vector<double> redist_theta;    // water content of the wetted profile (redistribution), m3/m3
    std::vector<double> redist_theta_prev;  // its copy of the previous step, m3/m3
    std::vector<double> redist_water;    // water held in the first wetted profile, m
    std::vector<double> cum_infil;       // infiltrated depth, m
    std::vector<double> cum_infil_prev;  // infiltrated depth at the previous step, m
    std::vector<int> iter_pond_1;        // redistribution: call at which ponding began, 0 not yet
    std::vector<int> iter_n;             // redistribution: call of the last redistribution step
    std::vector<int> no_wat_prof;        // redistribution: 0 one profile, 1 or 2 a second front
    std::vector<int> iter_i_less_k;      // redistribution: call of the last step without ponding
    std::vector<double> unsat_depth;     // depth of the soil column above the water table, cm
    std::vector<double> root_zone_upper; // water held in the upper soil layer, cm
    std::vector<double> root_zone_lower; // water held in the lower soil layer, cm
    std::vector<double> root_zone_water; // water of the soil column, cm
    std::vector<double> gw_inf_redist_theta;  // water content between soil column and water table, m3/m3
    std::vector<double> sm_bottom_loss;  // soil water lost at the column bottom, cm
    std::vector<double> topo_dex;        // topographic index of the Sacramento scheme, -
    std::vector<int> soiltype;           // soil id of the cell (index into soil_table)
    std::vector<double> wetdep;          // wetting-front depth of the layered scheme, cm
    std::vector<std::array<double, 5>> theta_ml;  // layered scheme: water content of layers 1..3, m3/m3
    std::vector<double> sm_hotstart;     // soil moisture of the hotstart map, m3/m3

    // Richards columns
    int richards_layer_limit = 0;        // most nodes per soil layer (151 once the arrays exist)
    std::vector<double> volchange;       // volume change of the column, cm
    std::vector<double> masserror;       // mass balance error of the column, cm
    std::vector<double> dtr;             // current Richards sub-step of the cell, h
    std::vector<double> avgks;           // column-average saturated conductivity, cm/h
    std::vector<double> totaldz;         // column depth, cm
    std::vector<int> num1, num2, num3;   // node tables of the three layers, richards_layer_limit + 1 entries
    std::vector<int> numcells;           // node count of the cell down to the aquifer bottom
    std::vector<int> numtot;             // total node count of the cell
    std::vector<int> bound_type;         // lower boundary type of the column (1 at the start)
    std::vector<double> inf_rich;        // Richards infiltration of the event, m
    std::vector<int> richards_nodes;     // node count of each cell's column
    std::vector<std::vector<double>> richards_theta;    // water content per cell and node 1..n, m3/m3
    std::vector<std::vector<double>> richards_dz;       // node thickness per cell and node, cm
    std::vector<std::vector<double>> richards_theta_s;  // saturated water content per cell and node, m3/m3
    std::vector<richards_column> richards_columns;      // the other node arrays per cell
    double vol_richards_column_error = 0.0;  // water the column solver created by content resets, m3
    double vol_richards_soil_et = 0.0;     // water the Richards root zones gave to evapotranspiration, m3
    double event_richards_soil_et = 0.0;   // the same since the start of the event, m3
    double richards_sampling_depth = 40.0;  // depth of the top-soil sample, cm

    // Groundwater per cell
    std::vector<double> elevgw;          // groundwater head (water table elevation), m
    std::vector<double> gw_flux;         // boundary flux volume of the cell, m3
    std::vector<double> bottom_elev;     // aquifer bottom elevation, m
    std::vector<double> gw_porosity;     // aquifer porosity, m3/m3
    std::vector<int> gwbound;            // groundwater boundary code
    std::vector<int> num_unsat_cells;    // unsaturated node count of the cell in the groundwater model

    // Two-dimensional groundwater (read_gw_maps, solve_groundwater_2d, update_groundwater);
    // per-cell arrays GNUM+1 used from 1, sized by read_gw_maps
    std::vector<double> gw_hycond;       // hydraulic conductivity along a grid row, m/s
    std::vector<double> gw_hycond_y;     // hydraulic conductivity along a grid column, m/s
    std::vector<double> gw_storage;      // storage coefficient of the solve, m3/m3
    std::vector<double> gw_static_flux;  // withdrawal of static-flux cells, m/s (+ removes water)
    std::vector<double> gw_well_rate;    // withdrawal of the step (wells or static fluxes), m/s (+ removes)
    std::vector<double> gw_net_sink;     // net sink of the step, m/s (+ removes water)
    std::vector<double> gw_leakage;      // leakage to the deep aquifer of the step, m/s
    std::vector<double> gw_unsat_exchange;    // unsaturated-zone exchange not yet solved, cm (+ into the aquifer)
    std::vector<double> gw_chan_exchange_vol; // channel exchange not yet solved, m3 (+ aquifer to channel)
    std::vector<double> gw_chan_exchange_booked;  // of gw_chan_exchange_vol, the part already in the run totals, m3
    std::vector<double> gw_lake_exchange_vol; // lake exchange not yet solved, m3 (+ aquifer to lake)
    std::vector<double> gw_tile_vol;     // tile-drain inflow not yet solved, m3 (+ into the drains)
    std::vector<double> gw_head_prev;    // head at the start of the groundwater step, m
    std::vector<double> gw_cum_recharge; // recharge of the run kept for output, cm
    std::vector<well_record> gw_active_wells;  // placed wells; id holds the cell number
    int gw_wells_active = 0;             // 1 when wells come from the mapping table (use_wells)
    int gw_flux_cell_count = 0;          // static-flux cells (boundary map, then flux table)
    int gw_dynamic_well_count = 0;       // cells coded 3 in the boundary map
    int gw_relax_coeff_given = 0;        // the card gw_relax_coeff was given
    int gw_chan_update = 0;              // last exchange_channel_aquifer result of the groundwater step
    double gw_vol_storage_change = 0.0;  // stored groundwater change as the solver moved it (S dh A), m3
    double gw_vol_floor_lift = 0.0;      // water added to keep 0.001 m saturated under withdrawals, m3
    // Solver work arrays (GNUM+1), sized at the first solve of a run
    std::vector<double> gw_trans_x, gw_trans_y;  // transmissivities, m2/s
    std::vector<double> gw_coef_up, gw_coef_down, gw_coef_left, gw_coef_right;  // neighbour coefficients, 1/s
    std::vector<double> gw_coef_diag;    // diagonal coefficient, 1/s
    std::vector<double> gw_coef_rhs;     // right-hand side, m/s
    std::vector<double> gw_head_sub;     // head at the start of the sub-step, m
    std::vector<double> gw_head_iter;    // head of the previous outer iteration, m

    // Soil table, indexed by soil id 0..kSoilTableSize-1; holds its entries
    // only once a soil process reads or writes it
    static constexpr int kSoilTableSize = soil_table_store::kSize;
    soil_table_store soil_table;

    // Initial storages (set_initial_state)
    double vol_soil_init = 0.0;       // soil water at the start, m3
    double vol_soil_moist_init = 0.0; // water of the soil columns at the start, m3
    double gw_vol_start = 0.0;        // groundwater stored above the aquifer bottom, m3
    double gw_vol_end = 0.0;          // the same at the end of the run (run summary), m3
    double vol_soil_moist_final = 0.0;  // water of the soil columns at the end of the run, m3

    // Groundwater totals of the run (m3), accumulated by the groundwater step
    double gw_vol_inputs = 0.0;         // net source and sink volume of the aquifer solver
    double gw_vol_recharge = 0.0;       // recharge from the unsaturated zone
    double gw_vol_sat_unsat = 0.0;      // exchange from the unsaturated into the saturated zone
    double gw_vol_boundary_flux = 0.0;  // flux across head boundaries (into the aquifer +)
    double gw_vol_leakage = 0.0;        // leakage to the deep aquifer
    double gw_vol_pumping = 0.0;        // well pumping
    double vol_xy_gain = 0.0;           // gained through XY groundwater boundaries
    double vol_xy_loss = 0.0;           // lost through XY groundwater boundaries
    double vol_river_to_gw = 0.0;       // channels to the aquifer
    double vol_gw_to_river = 0.0;       // aquifer to the channels
    double vol_lake_to_gw = 0.0;        // channel-network lakes to the aquifer
    double vol_gw_to_lake = 0.0;        // aquifer to channel-network lakes
    double vol_evaporation_excluded = 0.0;  // evaporation not drawn from the simple soil store

    // Wells loaded from the mapping table (load_well_table)
    std::vector<well_record> well_table;  // table rows, last row first (a later row of an ID wins)
    std::vector<int> well_index;          // well ID placed on the cell (GNUM+1), 0 none

    // Soil maps and infiltration step (read_soil_maps, compute_infiltration,
    // apply_overland_point_sources). Per-cell arrays are GNUM+1 used from 1;
    // read_soil_maps creates those that alloc_cell_arrays does not.
    std::vector<double> theta_all;        // water content shown for the top of the soil, m3/m3
    std::vector<double> area_reduction_factor;  // fraction of the cell that infiltrates, - (1 - map value)
    std::vector<double> soil_wilting_point;     // wilting-point water content, m3/m3 (Green-Ampt table)
    std::vector<double> infil_rate;       // infiltration rate of the last step, cm/h
    std::vector<double> infil_depth;      // infiltrated depth of the run, m
    std::vector<double> lt_infil_depth;   // infiltrated depth handed to the long-term soil accounting, m
    std::vector<double> exfil_depth;      // depth exchanged from the water table to the surface (+ up), m
    std::vector<double> suction_deficit;  // Green-Ampt suction x moisture deficit, m (filled at the first step)
    std::vector<double> ov_point_source_rate;  // overland point-source inflow of the cell, m3/s
    std::vector<double> ov_con_exchange_volume;  // water-table exchange volume handed to the constituents, m3
    std::vector<double> ov_con_infil_volume;     // infiltrated volume handed to the constituents, m3
    std::vector<double> ov_con_soil_infil;       // infiltrated depth handed to the soil constituents since their last step, m (negative: out)
    std::vector<double> top_soil_water;   // water of the top soil layer between events, cm
    std::vector<double> gw_recharge_depth;  // drainage out of the unsaturated zone for the groundwater, cm
    std::vector<double> direct_evaporation;  // direct evaporation not yet booked, cm
    std::vector<double> redist_theta_out;  // redistribution: water content shown after the step, m3/m3
    double ov_point_source_last = 0.0;    // last point-source update, Julian days
    double ov_point_source_next = 0.0;    // next point-source update, Julian days
    int ov_point_source_started = 0;      // 1 once the point-source clock took its start values
    int exfiltration = 0;                 // 1 once any cell has yes_exfil
    int inf_redist_ready = 0;             // 1 after the redistribution start values were set
    int inf_redist_calls = 0;             // calls of the redistribution scheme
    int green_ampt_unconverged = 0;       // cells whose Green-Ampt iteration hit its pass limit, last step
    double richards_evap_depth = 0.0;     // evaporation depth of the last Richards step, m
    double vol_infiltration = 0.0;        // infiltrated water of the run, m3
    double vol_exfiltration = 0.0;        // water-table water brought to the surface (+) or taken (-), m3
    double vol_ov_point_sources = 0.0;    // water added by overland point sources in the run, m3
    double event_vol_ov_point_sources = 0.0;  // the same for the current event, m3
    double vol_unsat_downward = 0.0;      // unsaturated-zone drainage booked without groundwater, m3
    double vol_direct_evaporation = 0.0;  // direct evaporation booked, m3
    double vol_evaporation = 0.0;         // evapotranspiration of the run, m3
    double event_vol_total_evaporation = 0.0;  // evaporation of the event (Richards and long-term), m3
    double sac_infiltration = 0.0;        // infiltrated depth handed to the Sacramento accounting, m

    // Well level output cells (read by the groundwater set-up from out_well_location), slots 1..well_count
    int well_count = 0;                   // number of well output cells
    std::vector<int> well_row, well_column;  // grid row and column of each well output cell

    // Members read by event control (start_event, next_event, finish_event)
    sacramento_state sac_state;           // the basin's Sacramento storages
    std::vector<double> soil_water;       // soil water written as the soil-moisture exchange map, m3/m3
    std::vector<double> soil_theta_floor; // lower water-content limit of the soil, m3/m3
    std::vector<double> bottom_flux;      // downward flux out of the root zone not yet booked, cm
    // Root-zone withdrawal and drainage (compute_soil_et); per-cell arrays GNUM+1 used from 1
    std::vector<double> bottom_flux_event;   // drainage out of the root zone in the current event, cm
    std::vector<double> surface_evap_total;  // evaporation taken from surface water, cumulative, cm
    std::vector<double> upper_perc_total;    // drainage out of the upper root-zone layer, cumulative, cm
    std::vector<double> lower_perc_total;    // drainage out of the root zone, cumulative, cm
    std::vector<int> no_root_zone;           // 1 while the water table leaves the cell no root zone
    double infil_depth_total = 0.0;          // infiltrated depth taken into the root zones, summed over cells, m
    double et_depth_step = 0.0;              // evapotranspiration of the last withdrawal step, summed over cells, m
    double et_surface_depth_step = 0.0;      // of which taken from surface water, summed over cells, m
    double event_surface_evaporation = 0.0;  // surface water the withdrawal took since the event start, m3

    // Sacramento totals of the run (mm unless said), kept by the Sacramento step
    sacramento_state sac_state_start;     // the storages at the start of the run
    double sac_init_storage = 0.0;        // zone storages at the first step
    double sac_rainfall = 0.0;            // input depth
    double sac_pet = 0.0;                 // potential evapotranspiration demand
    double sac_aet = 0.0;                 // actual evapotranspiration
    double sac_subsurface_runoff = 0.0;   // outflow depth (runoff, interflow, base flow)
    double sac_deep_recharge = 0.0;       // recharge to deep groundwater (m3 after the run summary)
    double sac_final_storage = 0.0;       // zone storages at the end (run summary)
    double sac_residual = 0.0;            // accumulated residual of the accounting steps
    double sac_avg_init_storage = 0.0;    // basin-average initial storage
    double sac_avg_precip = 0.0;          // basin-average input depth
    double sac_avg_et = 0.0;              // basin-average evapotranspiration
    double sac_river_to_gw = 0.0;         // channel water lost to the aquifer, m3

    // Sacramento step (compute_sacramento) and its channel inflow
    int sac_calls = 0;                    // accounting steps so far
    double sac_last = 0.0;                // time of the last step, Julian days
    double sac_prev_infiltration = 0.0;   // sac_infiltration at the last step, m
    double sac_out = 0.0;                 // outflow depth of the last step, mm
    double sac_out_prev = 0.0;            // outflow depth of the step before, mm
    double sac_out_mean = 0.0;            // mean of the two, mm
    double sac_initial_outflow = 0.0;     // lzfpc x lzpk + lzfsc x lzsk at the first step, mm/day
    double sac_channel_inflow = 0.0;      // outflow of the last step as a channel inflow rate, m3/s
    double sac_vol_input = 0.0;           // input volume of the run, m3
    double sac_vol_et = 0.0;              // evapotranspiration volume of the run, m3
    double sac_vol_outflow = 0.0;         // outflow volume of the run, m3
    double sac_vol_to_channels = 0.0;     // outflow volume the channel steps took in, m3
    double sac_pending = 0.0;             // outflow volume not yet taken in by the channels, m3
    int num_basins = 0;                   // value of the num_basins line of the parameter file
};
