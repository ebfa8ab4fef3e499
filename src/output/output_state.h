// Members of the run state owned by the output subsystem.
#pragma once
#include <memory>
#include <vector>
#include "core/file_object.h"
#include "output/linknode_dataset.h"
#include "output/map_dataset.h"

struct k4_data;
// Owner of the segment-model record: frees it with free_k4_data.
struct k4_data_release {
    void operator()(k4_data* p) const;
};
struct analyzer_list;
// Owner of the run's analyzers: closes their files and frees them.
struct analyzer_list_release {
    void operator()(analyzer_list* p) const;
};

// Built-in map dataset kinds (open_map_datasets, write_map_output).
constexpr int kMapKindDepth = 0, kMapKindDischarge = 1, kMapKindRain = 2, kMapKindInfDepth = 3,
              kMapKindInfRate = 4, kMapKindSurfMoist = 5, kMapKindGwHead = 6,
              kMapKindSedFlux = 7, kMapKindSedVolume = 8, kMapKindSuspSed = 9,
              kMapKindContam = 10, kMapKindFlood = 11, kMapKindRechargeCum = 12,
              kMapKindRechargeInc = 13, kMapKindSwe = 14;
constexpr int kMapKindCount = 15;

struct output_state {

    // Output switches copied from the project cards (read_run_parameters)
    const struct k4_card_block* k4_cards = nullptr;  // segment-model cards (in rs.cards), null when off
    int overland_depths = 0, overland_wse = 0;      // overland depth / water-surface output given
    int flood_grid = 0, flood_stream = 0;           // flood outputs
    int flush_buffer_given = 0;     // flush_buffer card given
    int flush_buffer = 0;           // flush interval of the flush_buffer card, progress calls
    int chan_depth = 0, chan_discharge = 0, chan_stage = 0, chan_velocity = 0,
        chan_sed_flux = 0;          // channel outputs given
    int map_kind_grid = 0, map_kind_dataset = 0, map_kind_binary = 0;  // map output format
    int depth = 0, include_channel_depth = 0, dis_rain = 0, gw_recharge_cum = 0,
        gw_recharge_inc = 0, inf_depth = 0, surf_moist = 0, discharge = 0;  // map outputs given
    int rate_of_infil = 0;          // infiltration-rate maps (with an infiltration method)
    int in_hyd_location = 0, in_gwflux_location = 0, in_celldepdis_location = 0,
        out_dep_location = 0, in_theta_location = 0, ov_con_map = 0, ov_point_source = 0,
        sig_outlet_hydro = 0, lake_output = 0, sourcefile = 0;  // location lists and point inputs given
    int out_con_location = 0, out_mass_location = 0;  // constituent outputs at the locations given
    int zov_hydro = 0;              // ZOV hydrograph given
    int daily_output = 0;           // daily output given
    int analyzers_given = 0;        // analyzer file given
    char analyzers_file[1024] = {}; // analyzer file name
    std::unique_ptr<analyzer_list, analyzer_list_release> analyzers;  // analyzers in file order, null when none
    int moist_to_vego_on = 0, ksat_to_vego_on = 0, rough_to_vego_on = 0, poros_to_vego_on = 0,
        erosivity_to_vego_on = 0, crop_fact_to_vego_on = 0,
        net_erosion_to_vego_on = 0; // exchange maps written for VEGO
    int moist_from_vego_on = 0, ksat_from_vego_on = 0, rough_from_vego_on = 0,
        erosivity_from_vego_on = 0, crop_fact_from_vego_on = 0,
        et_demand_from_vego_on = 0; // exchange maps taken from VEGO
    int xwindows = 0, xdepth = 0, xrain = 0, xgwrecharge = 0, xinfdep = 0, xsurf = 0,
        xchan = 0, xbig = 0;        // display window switches
    int x_freq = 0;                 // display interval, steps
    int xwin_width = 0, xwin_height = 0;  // display window size, pixels

    // Summary switches that nothing clears
    int float_maps_read = 1;        // event summary notes that floating point maps were read
    int write_satsource_map = 1;    // end-of-run summary writes the saturated-source map

    // Overland output locations read by alloc_cell_arrays (rows and columns in slots 1..count)
    int overland_depth_count = 0;             // number of overland depth output locations
    std::vector<int> overland_depth_row;      // grid row of each depth location
    std::vector<int> overland_depth_col;      // grid column of each depth location
    int overland_wse_count = 0;               // number of water-surface output locations
    std::vector<int> overland_wse_row;        // grid row of each water-surface location
    std::vector<int> overland_wse_col;        // grid column of each water-surface location

    // Built-in map datasets: one file per kind, opened at set-up (open_map_datasets)
    file_object map_kind_file[kMapKindCount];  // dataset file of each kind (map types 1 and 2)
    int map_kind_started[kMapKindCount] = {};  // 1 once the dataset header of the kind was written
    int map_file_number = 0;        // number of the last per-time grid set written (map type 0)
    int map_outputs = 0;            // map outputs written in the run (write_map_output)
    double map_last_minutes = 0.0;  // elapsed time of the last of them, min
    map_dataset snow_temp_map;      // snow-temperature map output (snow_temp card)
    // Map sources filled at each map output (GNUM+1, used from 1), sized at set-up
    std::vector<double> map_depth_out;      // overland depth; lake level - ground in channel-lake cells, m
    std::vector<double> map_discharge_out;  // cell discharge, m3/s
    std::vector<double> map_rain_out;       // rainfall intensity, mm/h
    std::vector<double> map_recharge_inc_out;   // recharge since the previous map output, cm
    std::vector<double> map_recharge_prev;      // cumulative recharge at the previous map output, cm
    std::vector<double> map_sed_flux_out;       // sediment flux summed over size classes x 1e6 (filled by the sediment part)
    std::vector<double> map_sed_volume_out;     // net sediment volume (filled by the sediment part)
    std::vector<double> map_susp_sed_out;       // suspended sediment concentration (filled by the sediment part)

    // Stream link/node datasets (write_step_output): step counters from 0
    int chan_depth_ts = 0, chan_sed_flux_ts = 0, chan_discharge_ts = 0, chan_velocity_ts = 0,
        chan_stage_ts = 0;
    int pipe_flow_ts = 0, pipe_head_ts = 0, pipe_tile_ts = 0;  // storm-drain dataset counters
    node_grid chan_sed_flux_sum;    // accumulated sediment flux per node [node][link], m3/s x 1e6

    // Output location lists (read at channel set-up); slots 1..count
    int num_hyd_locations = 0;      // hydrograph locations (in_hyd_location)
    std::vector<int> hlink, hnode;  // link and node of each hydrograph location
    int num_gwflux_locations = 0;   // groundwater flux locations (in_gwflux_location)
    std::vector<int> gwflink, gwfnode;  // link and node of each flux location
    std::vector<double> gwflux_sum; // stream-aquifer flux accumulated per location since the last row, m2/s
    int num_cell_locations = 0;     // depth/discharge cells (in_celldepdis_location)
    std::vector<int> celrowloc, celcolloc;  // grid row and column of each cell location
    std::vector<int> gnumlocater;   // cell number of each cell location
    int num_sjunc_locations = 0;    // superjunction locations (superlink_junc_location)
    std::vector<int> sjunc;         // superjunction number of each location
    int num_slnode_locations = 0;   // superlink node locations (superlink_node_location)
    std::vector<int> sl_link, sl_node;  // superlink and node of each location
    int num_theta_locations = 0;    // soil moisture locations (in_theta_location)
    int theta_second_number = 0;    // second number of the Richards form of the list
    std::vector<int> cell_loc;      // cell number of each soil moisture location
    std::vector<int> cell_num;      // Richards form: node count listed at each location
    std::vector<std::vector<int>> theta_nodes;  // Richards form: listed node numbers 1..count per location

    // Time-series bookkeeping
    int hydro_rows_written = 0;     // rows written to the outlet hydrograph

    // Segment-model (K4) coupling; null unless k4_fluxes is set
    std::unique_ptr<k4_data, k4_data_release> k4;

    // Hydrograph locations in calibration runs and the VEGO exchange (event control)
    int hyd_locations_on = 0;               // the hydrograph location list was read
    std::vector<double> hyd_point_peak;     // event peak discharge at each location 1..num_hyd_locations, m3/s
    std::vector<double> hyd_point_volume;   // event volume at each location (added by routing), m3
    file_object vego_control_file;          // VEGO control file (name in rs.files.vego_file)
    file_object exchange_file;              // file object used for every exchange map
    int vego_today = 0;                     // day number written to the control file
    int vego_next_event_day = 0;            // day number of the next event, -1 none

    // Balances of the end-of-run summary (write_run_summary)
    double vol_bc_gain_total = 0.0;         // discharge- plus head-boundary gain, m3
    double vol_bc_loss_total = 0.0;         // slope-, head- and discharge-boundary loss, m3
    double vol_total_init = 0.0;            // initial storages of the global balance, m3
    double vol_total_final = 0.0;           // final storages of the global balance, m3
    double gw_mass_balance_error = 0.0;     // groundwater balance error, percent
    double overall_mass_balance_error = 0.0;  // global balance error, percent
    double surface_mass_balance_error = 0.0;  // surface balance error, percent
    double soil_mass_balance_error = 0.0;   // simple soil moisture balance error, percent
    double ovlake_mass_error = 0.0;         // overland lake balance error, m3
    double chan_lake_mass_error = 0.0;      // channel-network lake balance error, m3
    double drain_mass_error = 0.0;          // storm-drain balance error, m3
};
