// Members of the run state owned by the overland subsystem.
#pragma once
#include <utility>
#include <vector>
#include "core/file_object.h"
#include "overland/ade_scheme_fused.h"

// No intensity common to every cell (cell_rain_common): a negative value,
// which set_uniform_cell_rain never records, m/s.
constexpr double kNoCommonRain = -1.0;

// One overland lake (records 1..num_overland_lakes); the lake reader fills it.
struct overland_lake {
    double level = 0.0;             // current water level, m
    double initial_level = 0.0;     // level given in the lake file, m
    double volume = 0.0;            // volume of the lake, m3
    double inflow = 0.0;            // volume gained since the last lake update, m3
    int cell_count = 0;             // number of cells of the lake
};

// One wetland (records 1..wetland_count) as loaded from the WETLAND_PROPERTIES
// section of the mapping table; every field is zero until then.
struct wetland_record {
    double initial_depth = 0.0;     // water depth set at an event start, m
    double threshold_depth = 0.0;   // below it the wetland passes water by the linear law, m
    double linear_coef = 0.0;       // coefficient of the linear law, 1/s
    double transition_depth = 0.0;  // depth above the threshold over which the laws blend, m
    double transition_coef = 0.0;   // coefficient of the linear part of the blend, 1/s
    double spare = 0.0;             // not filled, always 0
    double wetland_n = 0.0;         // roughness of the power law, s/m^(1/3)
    double bed_lowering = 0.0;      // depth by which the cell's ground is lowered at an event start, m
};

struct elevation_series;
struct time_series;

// One overland pump (records in the order of the pump file, read by
// read_overland_pumps).
struct ov_pump_record {
    int cell = 0;                          // pumped cell, 1..GNUM
    int flow_type = 0;                     // 1 time-series pump (TS), 2 elevation-series pump (ELEV)
    time_series* series = nullptr;         // rate (m3/s) by Julian time, TS pumps
    elevation_series* curve = nullptr;     // rate (m3/s) by the cell's depth (m), ELEV pumps
};

// Overland boundary data of one cell (records 1..GNUM).
struct ov_boundary_record {
    elevation_series* rating_curve = nullptr;  // discharge (m3/s) by level difference (m), boundary types 6 and 7
};

// Low spot: a gap of given crest and width in a dike on one face of one cell
// (records 1..num_lowspots, read from the low-spot file).
struct low_spot {
    int row = 0;                    // grid row of the cell that holds the spot
    int col = 0;                    // grid column of that cell
    int direction = 0;              // face: 1 top, 2 right, 4 bottom, 8 left
    double width_fraction = 0.0;    // weir width as a fraction of cell_size (0 to 1.5)
    double crest = 0.0;             // crest elevation of the weir, m
    double discharge = 0.0;         // flow through the spot, m3/s (last value that passed)
    int line = 0;                   // line of the SPOT card in the low-spot file
};

struct overland_state {

    // Overland switches copied from the project cards (read_run_parameters)
    int ov_boundary = 0;            // overland boundary conditions (ov_boundary card)
    int xy_ov_boundary = 0;         // XY overland depth boundary read (xybdyinput_ovdep)
    int ov_pump = 0;                // overland pumps (ov_pump card given)
    int dike_map = 0;               // dike map given
    int lowspot_file = 0;           // low-spot file given
    double manning_n = 0.0;         // uniform Manning roughness, s/m^(1/3)
    int manning_n_given = 0;        // manning_n card given
    int roughness_given = 0;        // roughness from a map or the mapping table
    int retention = 0;              // uniform retention depth given
    int reten_depth = 0;            // retention depth map given
    double uniform_retention = 0.0; // uniform retention depth as given by the card (0 when none)
    int overtype = 0;               // overland scheme: 1 explicit, 2 ade, 3 ade-pc
    int lakes = 0;                  // overland lakes (overland_lake_map given)
    int wetlands = 0;               // the mapping table holds the wetland section
    int area_reduction = 0;         // area reduction map given

    int ov_sweep = 1;               // sweep handed to the overland scheme, alternates 1, 2, 1 ...

    // Per-cell arrays (GNUM+1, used from 1) created by alloc_cell_arrays
    std::vector<double> ov_depth;        // overland water depth, m
    std::vector<double> ov_depth_prev;   // depth at the previous overland step, m
    std::vector<double> cell_rain_rate;  // rainfall intensity on the cell, m/s
    double cell_rain_common = kNoCommonRain;  // the intensity every cell holds when uniform rain
                                              // set it (set_uniform_cell_rain) and nothing wrote
                                              // the cells since, m/s; kNoCommonRain otherwise
    std::vector<double> ov_aux;          // overland work depth cleared by every rain application, m
    int ov_aux_clear = 0;                // 1 when every cell of ov_aux is known to hold 0 (the
                                         // rain application then leaves it alone); whatever
                                         // writes another value into ov_aux sets it to 0
    std::vector<double> ov_slope_x;      // bed slope towards the right neighbour, m/m
    std::vector<double> ov_slope_y;      // bed slope towards the lower neighbour, m/m
    std::vector<double> ov_qx;           // flow across the face to the right neighbour, m3/s
    std::vector<double> ov_qy;           // flow across the face to the lower neighbour, m3/s
    std::vector<int> belowcon;           // cell number of the lower neighbour, 0 none
    std::vector<int> rightcon;           // cell number of the right neighbour, 0 none
    std::vector<int> abovecon;           // cell number of the upper neighbour, 0 none
    std::vector<int> leftcon;            // cell number of the left neighbour, 0 none
    std::vector<double> retent_dep;      // retention depth, m
    std::vector<double> dist_rough;      // Manning roughness, s/m^(1/3)
    double retention_all = -1.0;         // the retention depth every cell holds for the whole
                                         // run (a card value or none, no map), m; -1 otherwise
    double rough_all = 0.0;              // the Manning n every cell holds for the whole run (the
                                         // MANNING_N card, no map, no snow or vegetation
                                         // roughness), s/m^(1/3); 0 otherwise
    std::vector<int> oland_lake_mask;    // lake id of the cell in the lake map, 0 none
    std::vector<int> oland_lake_new;     // lake id of the cell in the lake's current extent, 0 none

    // Overland lakes
    int num_overland_lakes = 0;                // number of lakes (largest id of the lake map)
    std::vector<overland_lake> overland_lakes; // records 1..num_overland_lakes, slot 0 unused
    double vol_ovlake_shortfall = 0.0;         // water asked of the lakes beyond what they held
                                               // above their initial levels (booked as supplied), m3

    // Overland lakes in the explicit scheme (sized at the first call, kept)
    std::vector<double> ov_lake_stage;   // per cell: water level of the cell's lake, m (lake cells)
    std::vector<double> ov_lake_gain;    // per cell: water into the lake through this lake cell's
                                         // faces in the current step, m3 (negative: out)
    std::vector<int> ov_lake_ring;       // cells whose right or lower face joins a lake cell and a
                                         // cell outside it, in cell order
    std::vector<double> ov_lake_budget;  // per lake: water it may still give in the step, m3
    std::vector<double> ov_lake_budget_start;  // per lake: the budget at the start of the step, m3
    std::vector<double> ov_lake_out;     // per lake: water asked of it in the current sub-step, m3

    // Channel-network lakes in the overland schemes (sized at the first call, kept)
    std::vector<int> ov_chlake_cells;    // lake cells with a face to a cell outside the lakes, in
                                         // cell order
    std::vector<int> ov_chlake_ring;     // cells whose right or lower face joins a lake cell and a
                                         // cell outside the lakes, in cell order
    std::vector<double> ov_chlake_in;    // per cell: water into its lake through the faces of
                                         // this lake cell in the current sub-step or sweep, m3
    std::vector<double> ov_chlake_out;   // per cell: water out of its lake likewise, m3
    std::vector<double> ov_chlake_level; // per lake: water level the faces see, m
    std::vector<double> ov_chlake_give;  // per lake: water asked of it in the current sub-step, m3
    std::vector<double> ov_chlake_saved; // per lake: lake_volume, lake_in_dv, lake_out_dv at the
                                         // start of the step (3 slots a lake), m3
    long ov_chlake_built = -1;           // lake_cell_changes when the cell lists were last built
                                         // (-1: not yet)
    int ov_chlake_any = 0;               // some cell lies in a channel lake (with the lists)

    // Work sets of the lake extent step (sized at its first call, kept)
    std::vector<int> olake_mark;         // per cell: listing number that last took the cell
    int olake_listing = 0;               // current listing number
    std::vector<std::vector<int>> olake_cells;   // per lake: its cells
    std::vector<int> olake_fresh;        // cells that joined in the last round of a rise
    std::vector<std::pair<double, int>> olake_list;  // (surface or ground elevation m, cell)

    // Initial storages (set_initial_state, compute_initial_surface_volume)
    double vol_surface_init = 0.0;  // water on the surface outside the lakes, m3
    double vol_ovlake_init = 0.0;   // water of the overland lakes above the ground, m3

    // Wetlands and boundary records filled by the mapping-table loaders
    int wetland_count = 0;                           // number of wetlands
    std::vector<wetland_record> wetland_records;     // records 1..wetland_count (slot 0 unused)
    std::vector<int> wetland_mask;                   // wetland number of the cell (GNUM+1), 0 none
    std::vector<ov_boundary_record> ov_boundary_records;  // per cell 1..GNUM (slot 0 unused)

    // Surface set-up (read_dike_map, copy_snow_roughness)
    std::vector<int> dike_mask;          // dike sides of the cell (GNUM+1): bits 1 top, 2 right, 4 bottom, 8 left
    int num_lowspots = 0;                // number of low spots read from the low-spot file
    std::vector<low_spot> lowspot_records;  // records 1..num_lowspots (slot 0 unused)
    std::vector<double> dist_rough_copy; // Manning n without snow (GNUM+1), s/m^(1/3); snow_roughness only
    double snow_manning_n = 0.0;         // Manning n of snow-covered cells, s/m^(1/3)

    // Overland boundary conditions (read_overland_boundary_types); per-cell
    // arrays GNUM+1, used from 1, sized only when the ov_boundary card is on.
    std::vector<int> boundary_type;          // 0 none, 1 free outflow, 2 constant level, 3 level series,
                                             // 4 ft3/s series, 5 m3/s series, 6/7 rating curve, 99 rating-curve partner
    std::vector<double> ov_boundary_param;   // slope m/m (1), level m (2), series ID (3-5), rating-curve ID (6, 7)
    std::vector<double> ov_boundary_value;   // current value: slope m/m (1), level m (2, 3), ft3/s (4), m3/s (5), else 0
    std::vector<int> ov_boundary_cells;      // cells of types 1 to 7, in cell order
    std::vector<int> ov_head_cells;          // cells of types 2 and 3 (level held), in cell order

    // Overland pumps (read_overland_pumps) and the running maximum depth
    std::vector<ov_pump_record> ov_pumps;    // pumps in file order
    std::vector<double> max_ov_depth;        // largest depth of the run per cell (GNUM+1; flood_grid only), m

    // Overland step (route_overland)
    int surface_has_water = 0;           // some plain cell holds more than 1e-16 m of water
    int surface_has_flow = 0;            // some plain cell has a face flow above 1e-16 m3/s
    double vol_discharge = 0.0;          // water that left through the overland outlet in the run, m3
    double vol_head_bc_loss = 0.0;       // water lost to specified-head boundaries and low spots, m3
    double vol_head_bc_gain = 0.0;       // water gained from specified-head boundaries and low spots, m3

    // Explicit scheme state of this run (route_overland_explicit); work arrays
    // sized GNUM+1 at the first call and kept, so no step allocates.
    std::vector<double> ov_substep_depth;  // depths between the sub-steps of one step, m
    std::vector<double> ov_out_scale;    // share of its outflow a donor may pass in a limited sub-step, 0..1
    int ov_xy_first = 0;                 // 0: the x pass is checked first, 1: the y pass; flipped every call
    double ov_reduced_dt = 0.0;          // reduced sub-step after a division, s
    int ov_reduced_steps_left = 0;       // further calls that start with ov_reduced_dt
    int ov_reduced_active = 0;           // the previous call started with the reduced sub-step
    long ov_sweeps = 0;                  // face sweeps (sub-steps, restarted ones included) of the run
    long event_ov_split_faces = 0;       // faces found needing a split in the event's passes (restarted ones included)

    // ADE and ADE-PC scheme state of this run (route_overland_ade); per-cell
    // arrays sized GNUM+1 at the first call and kept, so no step allocates.
    std::vector<double> ov_qx_sum;       // discharge x sub-step across the right face, summed over the step, m3
    std::vector<double> ov_qy_sum;       // the same across the bottom face, m3
    std::vector<double> ov_depth_pred;   // ADE-PC predictor depths of the current sweep, m
    std::vector<double> ov_flux_pred;    // ADE-PC predictor face discharges of the current sweep, m3/s
    std::vector<double> ade_start_depth; // depths at the start of the step, restored on a restart, m
    std::vector<double> ade_head_gain;   // water a held head-boundary cell took in during the step, m3
    std::vector<double> ade_head_loss;   // water a held head-boundary cell gave during the step, m3
    std::vector<double> ade_clip;        // water created by raising a negative depth to 0 in the step, m3
    std::vector<int> ade_held_cells;     // cells whose depth the boundary holds (types 2, 3, 9), in
                                         // cell order; listed at the first ADE step of the run
    int ade_held_listed = 0;             // 1 once ade_held_cells is listed
    // The sub-step estimate that the overland step's scan of the surface made for the
    // coming ADE step (scan_surface_for_ade), taken once by that step:
    int ade_scan_call = -1;              // ade_calls at the scan, -1 when none is kept
    double ade_scan_time = 0.0;          // run time of the scan, days
    double ade_scan_substep = 0.0;       // sub-step it estimated, s
    double ade_scan_ratio = 0.0;         // largest failure ratio, 0 when no cell failed
    int ade_scan_negative = 0;           // 1 when some depth was below -1e-16 m
    std::vector<long long> ade_scan_links;  // the left and upper neighbours of that scan by
                                         // block of 64 cells (ade_scheme.cpp), empty until made
    double ade_last_substep = 0.0;       // sub-step the last ADE step ended with, s
    int ade_calls = 0;                   // ADE steps made in this run
    long long ade_substeps = 0;          // ADE sub-steps made in this run, restarted ones included
    int ade_span = -1;                   // cells from a cell to the one below when the cells are numbered
                                         // row by row (ade_row_span), 0 otherwise, -1 until found
    std::vector<double> ade_rings;       // rings of the one-pass ADE sub-step: faces m3/s, shares, depths m
    std::vector<long long> ade_links;    // links of the cells by block for that sub-step (cells, bits)
    ade_fused_shares ade_shares;         // how its threads share the blocks (speeds 1/s, times s)
    double vol_ov_depth_clip = 0.0;      // water created in the run by raising negative overland depths to 0, m3

    // Pits at the last event end (book_surface_pits): cells whose ground lies
    // below that of every neighbour inside the watershed across their four
    // faces (the outlet cell and lake cells are none), where overland flow
    // leaves water standing.
    int pit_cells = 0;                   // number of pit cells
    double pit_capacity = 0.0;           // water the pits hold up to their lowest neighbours, m3
    double pit_deepest = 0.0;            // depth of the deepest pit below its lowest neighbour, m
    double vol_pits_final = 0.0;         // water standing on the pit cells, m3

    // Cumulative boundary volumes of the run (m3) and event-start switches
    double vol_slope_bc_loss = 0.0;      // water lost through specified-slope boundaries
    double vol_discharge_bc_gain = 0.0;  // water gained through specified-discharge boundaries
    double vol_discharge_bc_loss = 0.0;  // water lost through specified-discharge boundaries
    double vol_discharge_bc_unmet = 0.0; // specified discharge that could not be met
    double vol_ov_pumps = 0.0;           // net water taken out by overland pumps (injection negative)
    int lakes_changed = 0;               // an overland lake changed its extent in the event
    int wetland_bed_lowered = 0;         // wetland cells' ground was lowered by their records (once per run)

    // Lake totals of the run (m3) and the overland step's clean-up
    double vol_ovlake_inflow = 0.0;      // water into overland lakes
    double vol_ovlake_outflow = 0.0;     // water out of overland lakes
    double vol_lake_outflow = 0.0;       // water from channel-network lakes onto the grid
    double event_cleanup_error = 0.0;    // mass clean-up error of the overland step in the event
};
