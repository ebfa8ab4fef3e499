// Run parameters: has the project file read into the card records and copies
// the card values into the working members of the run state, with the few
// values derived from them (Julian times, method switches, mapping-table
// sections, file names of the run).
#include <cstdio>
#include <cstring>

#include "core/dates.h"
#include "core/error.h"
#include "core/run_options.h"
#include "run/run_state.h"
#include "input/cards.h"
#include "input/mapping_table.h"
#include "input/project_reader.h"
#include "input/stream_mapping.h"

namespace {

// Copies a card name into a file-name slot (always terminated).
void to_slot(char* slot, const char* name) {
    std::snprintf(slot, kCardNameSize, "%s", name);
}

// Slot = prefix + name + suffix; a result that does not fit leaves the slot
// empty (a cut name would open a different file) and says so.
void to_slot_joined(char* slot, const char* prefix, const char* name, const char* suffix) {
    const std::size_t total = std::strlen(prefix) + std::strlen(name) + std::strlen(suffix);
    if (total >= static_cast<std::size_t>(kCardNameSize)) {
        std::printf("Warning: the file name %s%s%s is longer than %d characters and is not used.\n",
                    prefix, name, suffix, kCardNameSize - 1);
        slot[0] = '\0';
        return;
    }
    std::snprintf(slot, kCardNameSize, "%s%s%s", prefix, name, suffix);
}

void to_exchange_slot(char* slot, const char* name) {
    to_slot_joined(slot, "exchange/", name, "");
}

void copy_overland(run_state& rs) {
    const project_cards& c = rs.cards;
    // interception
    rs.interception = c.interception_coeff_given;
    // overland outputs
    rs.overland_depths = c.overland_depths_given;
    rs.overland_wse = c.overland_wse_given;
    to_slot(rs.files.overland_depth_location, c.overland_depth_location);
    to_slot(rs.files.overland_depths, c.overland_depths);
    to_slot(rs.files.overland_wse_location, c.overland_wse_location);
    to_slot(rs.files.overland_wse, c.overland_wse);
    // dikes and low spots
    rs.dike_map = c.dike_map_given;
    to_slot(rs.files.dike_map, c.dike_map);
    rs.lowspot_file = c.lowspot_file_given;
    to_slot(rs.files.lowspot_file, c.lowspot_file);
    // overland contaminants
    rs.overland_constituents = c.ov_con_trans;
    rs.ov_con_trans = c.ov_con_trans;
    rs.all_contam_output = c.all_contam_output;
    rs.contam_map = c.contam_map_given;
    if (c.ov_con_trans == 1) {
        rs.contaminant_table_option = 1;
        rs.ov_con_mass_budget = 1;
    }
    rs.soil_con_trans = c.soil_con_trans;
    rs.soil_static_conc = c.soil_static_conc;
    rs.sediment_contam = c.sediment_contam;
    rs.ov_decay_coef = c.ov_decay_coef;
    rs.ov_disp_coef = c.ov_disp_coef;
    rs.ov_mass_load = c.ov_mass_load;
    rs.ov_uptake_rate = c.ov_uptake_rate;
    rs.kinetics_timestep_factor = c.kinetics_timestep_factor;
    // units
    rs.units = rs.settings.units;
    // roughness
    rs.manning_n = c.manning_n;
    rs.manning_n_given = c.manning_n_given;
    if (c.manning_n_given) {
        rs.roughness_given = c.roughness_given;
    } else {
        rs.roughness_given =
            (c.roughness_given || rs.mapping_sections[input_state::kMapRoughness]) ? 1 : 0;
    }
    // snow on the ground
    rs.snow_no_infiltrate = c.snow_no_infiltrate;
    rs.snow_roughness_on = c.snow_roughness_given;
    rs.snow_darcy_given = c.snow_darcy_given;
    rs.snow_reynolds_given = c.snow_reynolds_given;
    if (c.snow_darcy_given) rs.snow_darcy = c.snow_darcy;
    if (c.snow_reynolds_given) rs.snow_reynolds = c.snow_reynolds;
    // retention
    rs.retention = c.retention_given;
    rs.reten_depth = c.reten_depth_given;
    // overland scheme, lakes, pumps
    rs.overtype = c.overtype;
    rs.lakes = c.overland_lake_map_given;
    to_slot(rs.files.overland_lake_map, c.overland_lake_map);
    to_slot(rs.files.overland_lake_file, c.overland_lake_file);
    rs.ov_pump = c.ov_pump_given;
}

void copy_storm_drains(run_state& rs) {
    const project_cards& c = rs.cards;
    rs.superlink = c.storm_sewer_given;
    to_slot(rs.files.storm_sewer, c.storm_sewer);
    to_slot(rs.files.grid_pipe, c.grid_pipe);
    rs.superlink_c_opt = c.superlink_c_opt;
    rs.high_head_release = c.high_head_release;
    rs.superlink_drainmod = c.superlink_drainmod;
    rs.superlink_junc_location = c.superlink_junc_location_given;
    to_slot(rs.files.superlink_junc_location, c.superlink_junc_location);
    rs.superlink_node_location = c.superlink_node_location_given;
    to_slot(rs.files.superlink_node_location, c.superlink_node_location);
    rs.superlink_junc_flow = c.superlink_junc_flow_given;
    to_slot(rs.files.superlink_junc_flow, c.superlink_junc_flow);
    rs.superlink_node_flow = c.superlink_node_flow_given;
    to_slot(rs.files.superlink_node_flow, c.superlink_node_flow);
}

void copy_hydromet(run_state& rs) {
    const project_cards& c = rs.cards;
    const int* sections = rs.mapping_sections;
    // wetlands and run mode
    rs.wetlands = sections[input_state::kMapWetlands];
    rs.long_term = c.long_term;
    rs.strict_julian_date = c.strict_julian_date;
    // hydrometeorology
    rs.hmet_surfaways = c.hmet_surfaways_given;
    rs.hmet_samson = c.hmet_samson_given;
    rs.hmet_kev = c.hmet_kev_given;
    rs.hmet_ascii = c.hmet_ascii_given;
    rs.hmet_ascii_pet = c.hmet_ascii_pet_given;
    if (rs.hmet_surfaways || rs.hmet_samson || rs.hmet_kev || rs.hmet_ascii || rs.hmet_ascii_pet) {
        to_slot(rs.files.hmet_file, c.hmet_file);
    }
    rs.et_calc_penman = c.et_calc_penman;
    rs.et_calc_deardorff = c.et_calc_deardorff;
    rs.et_penman = c.et_calc_penman;
    rs.et_deardorff = c.et_calc_deardorff;
    // evapotranspiration maps: a map card, or the mapping table's section
    const int et_section = sections[input_state::kMapEvapotranspiration] ? 1 : 0;
    rs.albedo = c.albedo_given || et_section;
    rs.vheight = c.vheight_given || et_section;
    rs.tcoeff = c.tcoeff_given || et_section;
    rs.canopy = c.canopy_given || et_section;
    rs.wilting_point = c.wilting_point_given || et_section;
    // event end: the cutoff discharge never falls below 1e-5 m3/s
    rs.flow_cutoff = (c.event_min_q < 1e-5) ? 0.05 : c.event_min_q;
    // soil depths: card values in m, working members in cm
    rs.soil_moist_depth = c.soil_moist_depth * 100.0;
    rs.top_layer_depth = c.top_layer_depth * 100.0;
    rs.mixing_layer_depth = c.mixing_layer_depth * 100.0;
    rs.seasonal_rs = c.seasonal_rs;
    // calibration
    rs.calibration_run = c.optimize_given;
    if (c.optimize_given) to_slot(rs.files.optimize, c.optimize);
    rs.optimize_sed = c.optimize_sed;
    rs.calib_sediment = c.optimize_sed;
    // erosion
    rs.soil_erosion = c.soil_erosion_given;
    rs.adjust_channel_bed = c.adjust_channel_bed;
}

void copy_channel(run_state& rs) {
    const project_cards& c = rs.cards;
    rs.chan_explic = 0;
    rs.chan_drain = 0;
    rs.chan_drain_only = 0;
    rs.chan_mesh = 0;
    rs.chan_preiss = 0;
    rs.chan_backwater = 0;
    switch (rs.settings.channel_method) {
        case 1:
            // Preissmann routing is not available: flag the request so that the
            // option check refuses it instead of running without channels.
            rs.chan_preiss = 1;
            break;
        case 2:
            rs.chan_drain = 1;
            rs.chan_drain_only = 1;
            break;
        case 3:
            rs.chan_explic = 1;
            break;
        case 4:
            rs.chan_mesh = 1;
            break;
        case 5:
            rs.chan_drain = 1;
            rs.chan_backwater = 1;
            break;
        default:
            break;
    }
    // (the channel depth, discharge and sediment-flux maps are set with the map outputs)
    rs.chan_stage = c.chan_stage_given;
    rs.chan_velocity = c.chan_velocity_given;
    rs.max_courant_number = c.max_courant_number;

    if (!rs.chan_explic) return;
    rs.overbank_flow = c.overbank_flow;
    if (c.overbank_max_dv_given) rs.overbank_max_dv = c.overbank_max_dv;
    rs.overland_backwater = c.overland_backwater;
    rs.stream_cell_on = 1;
    rs.head_bound = c.head_bound;
    rs.bound_depth = c.bound_depth;
    rs.bound_ts = c.bound_ts_given;
    to_slot(rs.files.bound_ts, c.bound_ts);
    rs.k_river = c.k_river;
    rs.m_river = c.m_river;
    rs.m_lake = c.m_lake;
    rs.hotstart_is_depth = c.hotstart_is_depth;
    rs.chan_hotstart_write = (c.explic_backwater_given || c.write_chan_hotstart_given) ? 1 : 0;
    rs.chan_hotstart_read = (c.explic_hotstart_given || c.read_chan_hotstart_given) ? 1 : 0;
    rs.stream_exchange = c.stream_loss;
    to_slot(rs.files.stream_cell, c.stream_cell);
    rs.first_order_chan_q = c.first_order_chan_q;
    rs.chan_decay_coef = c.chan_decay_coef;
    rs.chan_disp_coef = c.chan_disp_coef;
    rs.init_chan_conc = c.init_chan_conc;
    rs.out_con_location = c.out_con_location_given;
    rs.out_mass_location = c.out_mass_location_given;
    rs.chan_con_trans = c.chan_con_trans;
    if (c.chan_con_trans == 1) rs.global_con_summary = 1;
}

void copy_subsurface(run_state& rs) {
    const project_cards& c = rs.cards;
    const int* sections = rs.mapping_sections;
    // infiltration method
    rs.green_ampt = 0;
    rs.inf_redist = 0;
    rs.inf_layered_soil = 0;
    rs.inf_richards = 0;
    switch (rs.settings.infiltration_method) {
        case 1:
            rs.green_ampt = 1;
            break;
        case 2:
            rs.inf_redist = 1;
            rs.recharge_computed = 1;
            rs.cont_inf_redist = c.no_cont_inf_redist ? 0 : 1;
            break;
        case 3:
            rs.inf_layered_soil = 1;
            rs.recharge_computed = 1;
            break;
        case 4:
            rs.inf_richards = 1;
            break;
        default:
            break;
    }
    // long-term runs of the soil-moisture Green-Ampt forms withdraw evapotranspiration from the root zone
    rs.soil_et = rs.long_term && rs.recharge_computed ? 1 : 0;
    // soil moisture
    rs.moisture = (c.moisture_given || c.mapping_table_given) ? 1 : 0;
    // Richards
    rs.richards_iter_max = c.richards_iter_max;
    rs.richards_weight = c.richards_weight;
    rs.richards_k_option = c.richards_k_option;
    rs.richards_c_option = c.richards_c_option;
    rs.richards_dtheta_max = c.richards_dtheta_max;
    rs.richards_upper_option = c.richards_upper_option;
    // groundwater: only with a water table
    rs.water_table = c.water_table_given;
    rs.water_table_on = c.water_table_given;
    if (c.water_table_given) {
        rs.gw_assign_theta = c.gw_assign_theta;
        to_slot(rs.files.water_table, c.water_table);
        rs.groundwater = c.gw_simulation;
        rs.gw_simulation = c.gw_simulation;
        if (c.gw_simulation) {
            rs.stream_exchange = 1;
            rs.gw_lsor_dir = c.gw_lsor_dir;
            rs.gw_timestep = c.gw_timestep;
            rs.gw_lsor_con = c.gw_lsor_con;
            rs.single_unsat_sat = c.single_unsat_sat;
            rs.gw_leakage_rate = c.gw_leakage_rate;
            rs.gw_relax_coeff = c.gw_relax_coeff;
            rs.gw_relax_coeff_given = c.gw_relax_coeff_given;
            rs.gw_porosity_map = c.gw_porosity_map_given;
            rs.gw_unif_porosity_given = c.gw_unif_porosity_given;
            rs.gw_unif_porosity = c.gw_unif_porosity;
            rs.gw_hycond_map = c.gw_hycond_map_given;
            rs.gw_unif_hycond_given = c.gw_unif_hycond_given;
            rs.gw_unif_hycond = c.gw_unif_hycond;
            to_slot(rs.files.gw_porosity_map, c.gw_porosity_map);
            to_slot(rs.files.gw_hycond_map, c.gw_hycond_map);
            to_slot(rs.files.gw_fluxboundtable, c.gw_fluxboundtable);
            to_slot(rs.files.gw_boundfile, c.gw_boundfile);
            to_slot(rs.files.gw_output, c.gw_output);
            to_slot(rs.files.gw_well_level, c.gw_well_level);
            to_slot(rs.files.out_well_location, c.out_well_location);
            to_slot(rs.files.aquifer_bottom, c.aquifer_bottom);
            rs.gw_well_level = c.gw_well_level_given;
            rs.gw_output = c.gw_output_given;
            rs.aquifer_delta_z = c.aquifer_delta_z;
        }
    }
    // Sacramento
    rs.sacramento = c.sacramento_given;
    if (c.sacramento_given) {
        rs.sac_topo_index = c.topo_index ? 1 : 0;
        rs.sac_plain = c.topo_index ? 0 : 1;
        to_slot(rs.files.sacramento, c.sacramento);
    }
    // soil parameter maps: a map card, or the Green-Ampt section of the mapping table
    const int ga_section =
        ((rs.green_ampt || rs.inf_redist || rs.long_term) && sections[input_state::kMapGreenAmpt])
            ? 1
            : 0;
    rs.conductivity = c.conductivity_given || ga_section;
    rs.capillary = c.capillary_given || ga_section;
    rs.porosity = c.porosity_given || ga_section;
    rs.pore_index = c.pore_index_given || ga_section;
    rs.residual_sat = c.residual_sat_given || ga_section;
    rs.area_reduction = c.area_reduction_given;
}

void copy_precipitation(run_state& rs) {
    const rain_settings& rain = rs.rain_cards;
    const run_settings& s = rs.settings;
    rs.uniform_rain = 0;
    rs.gage_rain = 0;
    rs.gage_idw = 0;
    rs.gage_thiessen = 0;
    rs.precip_uniform_mode = 0;
    if (rain.rain_mode == 0) {
        rs.uniform_rain = 1;
        rs.uniform_rain_intensity = rain.rain_intensity;
        rs.uniform_intensity = rain.rain_intensity;
        rs.uniform_rain_duration = rain.rain_duration;
        rs.year = s.start_date[0];
        rs.month = s.start_date[1];
        rs.day = s.start_date[2];
        rs.hour = s.start_time[0];
        rs.minute = s.start_time[1];
        rs.second = 0;
        int* first = rs.precip_dates[0].data();
        first[0] = rs.year;
        first[1] = rs.month;
        first[2] = rs.day;
        first[3] = rs.hour;
        first[4] = rs.minute;
        rs.start_yyyymmdd = rs.year * 10000 + rs.month * 100 + rs.day;
        rs.start_hhmm = rs.hour * 100 + rs.minute;
        rs.precip_uniform_mode = 1;
        const double start = julian_day(rs.year, rs.month, rs.day, rs.hour, rs.minute, 0.0);
        rs.time = start;
        rs.event_begin_time = start;
        rs.event_starts[0] = start;
        rs.precip_start_time = start;
    } else if (rain.rain_mode == 1) {
        rs.gage_rain = 1;
        rs.precip_uniform_mode = 0;
        if (rain.interpolation == 0) rs.gage_idw = 1;
        if (rain.interpolation == 1) rs.gage_thiessen = 1;
    }
}

void copy_host_and_outputs(run_state& rs) {
    const project_cards& c = rs.cards;
    // host and co-run
    rs.qrm_host = c.qrm;
    rs.vego = c.vego_given;
    if (c.vego_given) to_exchange_slot(rs.files.vego_file, c.vego);
    rs.qrm_event_num = c.qrm_event_num;
    rs.qrm_mode = c.qrm_event_num_given;
    rs.vego_first = c.vego_first;
    struct exchange_card {
        int given;
        const char* name;
        int* flag;
        char* slot;
    };
    const exchange_card exchanges[] = {
        {c.moist_to_vego_given, c.moist_to_vego, &rs.moist_to_vego_on, rs.files.moist_to_vego},
        {c.ksat_to_vego_given, c.ksat_to_vego, &rs.ksat_to_vego_on, rs.files.ksat_to_vego},
        {c.rough_to_vego_given, c.rough_to_vego, &rs.rough_to_vego_on, rs.files.rough_to_vego},
        {c.poros_to_vego_given, c.poros_to_vego, &rs.poros_to_vego_on, rs.files.poros_to_vego},
        {c.erosivity_to_vego_given, c.erosivity_to_vego, &rs.erosivity_to_vego_on,
         rs.files.erosivity_to_vego},
        {c.crop_fact_to_vego_given, c.crop_fact_to_vego, &rs.crop_fact_to_vego_on,
         rs.files.crop_fact_to_vego},
        {c.net_erosion_to_vego_given, c.net_erosion_to_vego, &rs.net_erosion_to_vego_on,
         rs.files.net_erosion_to_vego},
        {c.moist_from_vego_given, c.moist_from_vego, &rs.moist_from_vego_on,
         rs.files.moist_from_vego},
        {c.ksat_from_vego_given, c.ksat_from_vego, &rs.ksat_from_vego_on, rs.files.ksat_from_vego},
        {c.rough_from_vego_given, c.rough_from_vego, &rs.rough_from_vego_on,
         rs.files.rough_from_vego},
        {c.erosivity_from_vego_given, c.erosivity_from_vego, &rs.erosivity_from_vego_on,
         rs.files.erosivity_from_vego},
        {c.crop_fact_from_vego_given, c.crop_fact_from_vego, &rs.crop_fact_from_vego_on,
         rs.files.crop_fact_from_vego},
        {c.et_demand_from_vego_given, c.et_demand_from_vego, &rs.et_demand_from_vego_on,
         rs.files.et_demand_from_vego},
    };
    for (const exchange_card& x : exchanges) {
        *x.flag = x.given;
        if (x.given) to_exchange_slot(x.slot, x.name);
    }

    // map outputs
    rs.map_kind_grid = 0;
    rs.map_kind_dataset = 0;
    rs.map_kind_binary = 0;
    switch (rs.settings.map_type) {
        case 0:
            rs.map_kind_grid = 1;
            break;
        case 1:
            rs.map_kind_dataset = 1;
            break;
        case 2:
            rs.map_kind_dataset = 1;
            rs.map_kind_binary = 1;
            break;
        default:
            break;
    }
    rs.depth = c.depth_given;
    rs.include_channel_depth = c.include_channel_depth;
    rs.dis_rain = c.dis_rain_given;
    rs.gw_recharge_cum = c.gw_recharge_cum_given;
    rs.gw_recharge_inc = c.gw_recharge_inc_given;
    rs.inf_depth = c.inf_depth_given;
    rs.surf_moist = c.surf_moist_given;
    rs.chan_depth = c.chan_depth_given;
    rs.discharge = c.discharge_given;
    rs.chan_discharge = c.chan_discharge_given;
    rs.chan_sed_flux = c.chan_sed_flux_given;
    const bool infiltration = rs.green_ampt || rs.inf_redist || rs.inf_layered_soil ||
                              rs.inf_richards;
    rs.rate_of_infil = infiltration ? c.rate_of_infil_given : 0;

    // location lists and point inputs
    rs.in_hyd_location = c.in_hyd_location_given;
    rs.in_gwflux_location = c.in_gwflux_location_given;
    rs.in_celldepdis_location = c.in_celldepdis_location_given;
    rs.out_dep_location = c.out_dep_location_given;
    rs.in_theta_location = c.in_theta_location_given;
    rs.ov_con_map = c.ov_con_map_given;
    rs.ov_point_source = c.ov_point_source_given;
    rs.sig_outlet_hydro = c.sig_outlet_hydro_given;
    rs.lake_output = c.lake_output_given;
    rs.sourcefile = c.sourcefile_given;
    rs.gw_fluxboundtable = rs.settings.gw_fluxboundtable_given;
}

void copy_file_names(run_state& rs) {
    const project_cards& c = rs.cards;
    run_files& f = rs.files;
    to_slot(f.elevation, c.elevation);
    to_slot(f.watershed_mask, c.watershed_mask);
    to_slot(f.data1, "data1");
    to_slot(f.moisture, c.moisture);
    to_slot(f.conductivity, c.conductivity);
    to_slot(f.capillary, c.capillary);
    to_slot(f.porosity, c.porosity);
    to_slot(f.pore_index, c.pore_index);
    to_slot(f.residual_sat, c.residual_sat);
    to_slot(f.roughness, c.roughness);
    to_slot(f.precip_file, rs.rain_cards.precip_file);
    to_slot(f.links, c.links);
    to_slot(f.nodes, c.nodes);
    if (c.explic_backwater[0] != '\0') {
        to_slot_joined(f.chan_depth_hotstart_out, "", c.explic_backwater, ".dht");
        to_slot_joined(f.chan_discharge_hotstart_out, "", c.explic_backwater, ".qht");
    }
    if (c.explic_hotstart[0] != '\0') {
        to_slot_joined(f.chan_discharge_hotstart_in, "", c.explic_hotstart, ".qht");
        to_slot_joined(f.chan_depth_hotstart_in, "", c.explic_hotstart, ".dht");
    }
    to_slot(f.channel_input, c.channel_input);
    to_slot(f.section_table, c.section_table);
    to_slot(f.summary, c.summary);
    to_slot(f.outlet_hydro, c.outlet_hydro);
    to_slot(f.sig_outlet_hydro, c.sig_outlet_hydro);
    to_slot(f.lake_output, c.lake_output);
    to_slot(f.zov_hydro, c.zov_hydro);
    rs.zov_hydro = c.zov_hydro_given;
    to_slot(f.storage_capacity, c.storage_capacity);
    to_slot(f.interception_coeff, c.interception_coeff);
    to_slot(f.reten_depth, c.reten_depth);
    to_slot(f.out_hyd_location, c.out_hyd_location);
    to_slot(f.out_gwflux_location, c.out_gwflux_location);
    to_slot(f.out_celldepdis_location, c.out_celldepdis_location);
    to_slot(f.out_dep_location, c.out_dep_location);
    to_slot(f.chan_point_input, c.chan_point_input);
    to_slot(f.out_con_location, c.out_con_location);
    to_slot(f.out_mass_location, c.out_mass_location);
    to_slot(f.ov_point_source, c.ov_point_source);
    to_slot(f.in_theta_location, c.in_theta_location);
    to_slot(f.out_theta_location, c.out_theta_location);
    to_slot(f.contam_map, c.contam_map);
    to_slot(f.in_hyd_location, c.in_hyd_location);
    to_slot(f.in_gwflux_location, c.in_gwflux_location);
    to_slot(f.in_celldepdis_location, c.in_celldepdis_location);
    to_slot(f.albedo, c.albedo);
    to_slot(f.vheight, c.vheight);
    to_slot(f.tcoeff, c.tcoeff);
    to_slot(f.canopy, c.canopy);
    to_slot(f.wilting_point, c.wilting_point);
    to_slot(f.materials, c.materials);
    to_slot(f.soil_type_map, c.soil_type_map);
    to_slot(f.soil_layer_input_file, c.soil_layer_input_file);
}

void copy_display_and_snow(run_state& rs) {
    const project_cards& c = rs.cards;
    // display window
    rs.xwindows = c.xwindows;
    rs.xdepth = c.xdepth;
    rs.xrain = c.xrain;
    rs.xgwrecharge = c.xgwrecharge;
    rs.xinfdep = c.xinfdep;
    rs.xsurf = c.xsurf;
    rs.x_freq = c.x_freq;
    rs.xchan = c.xchan;
    rs.xwin_width = c.xwin_width;
    rs.xwin_height = c.xwin_height;
    rs.xbig = c.xbig;
    // daily output
    rs.daily_output = c.daily_output_given;
    to_slot(rs.files.daily_output, c.daily_output);
    // snow model
    rs.nwsrfs_snow = c.nwsrfs_snow;
    rs.nwsrfs_retention = c.nwsrfs_retention;
    rs.eb_nwsrfs_snow = c.eb_nwsrfs_snow;
    rs.nwsrfs_mf_max = c.nwsrfs_mf_max_given;
    rs.nwsrfs_mf_min = c.nwsrfs_mf_min_given;
    rs.nwsrfs_fr_use = c.nwsrfs_fr_use_given;
    rs.nwsrfs_scf = c.nwsrfs_scf_given;
    rs.nwsrfs_elev_snow = c.nwsrfs_elev_snow_given;
    if (c.nwsrfs_elev_snow_given == 1) to_slot(rs.files.nwsrfs_elev_snow, c.nwsrfs_elev_snow);
    rs.nwsrfs_tipm = c.nwsrfs_tipm_given;
    rs.nwsrfs_nmf = c.nwsrfs_nmf_given;
    rs.nwsrfs_fua = c.nwsrfs_fua_given;
    rs.nwsrfs_plwhc = c.nwsrfs_plwhc_given;
    rs.snow_temp_base = c.snow_temp_base_given;
    rs.orogvar_hmet = c.orogvar_hmet;
    rs.hmet_elev_gage = c.hmet_elev_gage_given;
    rs.hmet_lapse_rate = c.hmet_lapse_rate_given;
    rs.hmet_orog_gages = c.hmet_orog_gages_given;
    if (c.hmet_orog_gages_given == 1) to_slot(rs.files.hmet_orog_gages, c.hmet_orog_gages);
}

}  // namespace

void read_run_parameters(const char* path, run_state& rs) {
    // 1-3: the project file into the card records
    if (!rs.calibration_run && run_options.process_index == 0) {
        print_message("reading run parameters from project file: %s\n", path);
    }
    read_project_file(path, rs.cards, rs.settings, rs.rain_cards);
    if (rs.settings.open_failed) {
        error_record.code = 3;
        error_record.stop = 1;
        return;
    }
    if (error_record.stop) return;   // a card's action refused its file (message printed)
    const project_cards& c = rs.cards;
    const run_settings& s = rs.settings;

    // 4-5: pause prompt and end time
    if (c.pause) pause_prompt = 1;
    if (s.end_time[0] != 0) {
        rs.end_time_given = 1;
        rs.julian_end =
            julian_day(s.end_time[0], s.end_time[1], s.end_time[2], s.end_time[3], s.end_time[4], 0.0);
        rs.end_time_card = rs.julian_end;
    }

    // 6: nutrient sub-model (the container stays owned by the card record)
    rs.nsm_on = c.nutrients;
    if (c.nutrients) rs.nsm = c.nsm.get();

    // 7: segment-model cards (the flow file opens with the other outputs)
    if (c.k4.k4_input_given || c.k4.k4_fluxes) rs.k4_cards = &c.k4;

    // 8: overland boundaries, flood outputs, console flushing
    rs.ov_boundary = c.ov_boundary;
    rs.xy_ov_boundary = c.xybdyinput_ovdep_given;
    if (c.flood_grid_given) {
        rs.flood_grid = 1;
        to_slot(rs.files.flood_grid, c.flood_grid);
    }
    if (c.flood_stream_given) {
        rs.flood_stream = 1;
        to_slot(rs.files.flood_stream, c.flood_stream);
    }
    if (c.flush_buffer_given) {
        rs.flush_buffer_given = 1;
        rs.flush_buffer = c.flush_buffer;
    }

    // 9: the VELT map format is not available
    if (s.map_type == 4) {
        error_record.code = 5;
        error_record.stop = 1;
        return;
    }

    // 10: mapping tables and their sections
    rs.mapping_table_given = c.mapping_table_given;
    if (c.mapping_table_given) {
        to_slot(rs.files.mapping_table, c.mapping_table);
        check_mapping_tables(rs.files.mapping_table, rs.mapping_sections);
    }
    rs.st_mapping_table_given = c.st_mapping_table_given;
    if (c.st_mapping_table_given) {
        to_slot(rs.files.st_mapping_table, c.st_mapping_table);
        check_stream_tables(rs.files.st_mapping_table, rs.stream_sections);
    }

    // 11: copies and derivations, group by group
    copy_overland(rs);
    copy_storm_drains(rs);
    copy_hydromet(rs);
    copy_channel(rs);
    copy_subsurface(rs);
    copy_precipitation(rs);
    copy_host_and_outputs(rs);
    copy_file_names(rs);
    copy_display_and_snow(rs);
    rs.stream_info = c.stream_info;
    rs.analyzers_given = c.analyzers_given;
    std::snprintf(rs.analyzers_file, sizeof(rs.analyzers_file), "%s", c.analyzers);

    // 12-13
    rs.soil_coefficient = 0.15;
    rs.uniform_retention = c.retention_given ? c.retention : 0.0;
    rs.quiet = c.super_quiet;
    if (rs.quiet == 0 && run_options.process_index == 0) {
        std::printf("\nfinished reading project file\n");
    }
}

void read_run_parameters(run_state& rs) {
    read_run_parameters(rs.project_file, rs);
}
