// Members of the run state owned by the output subsystem.
#pragma once
#include <vector>
#include "core/file_object.h"

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
};
