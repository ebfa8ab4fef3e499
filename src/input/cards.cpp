// The card table of the project file: every keyword once, with its code,
// its argument form and the record fields it writes. The project-file reader
// (project_reader.cpp) is driven entirely by this table.
#include "input/cards.h"
#include <cstddef>

void nsm_model_release::operator()(nsm_model* p) const {
    if (p == nullptr) return;
    free_nsm_model(*p);
    delete p;
}

void project_cards::clear() {
    static_cast<project_card_values&>(*this) = project_card_values{};
    nsm.reset();
    nutrient_partition.clear();
    acted_files.clear();
    xy_in = xy_input{};
    xy_out = xy_output{};
}

void* card_field_address(const card_field& f, project_card_values& cards, run_settings& settings,
                         rain_settings& rain) {
    unsigned char* base = nullptr;
    switch (f.record) {
        case card_record::cards: base = reinterpret_cast<unsigned char*>(&cards); break;
        case card_record::settings: base = reinterpret_cast<unsigned char*>(&settings); break;
        case card_record::rain: base = reinterpret_cast<unsigned char*>(&rain); break;
        case card_record::none: return nullptr;
    }
    return base + f.offset;
}

namespace {

// Fields of the three records; the kind is taken from the declared type.
#define PC(member)                                                                         \
    make_card_field<decltype(static_cast<project_card_values*>(nullptr)->member)>(          \
        card_record::cards, offsetof(project_card_values, member))
#define RS(member)                                                                         \
    make_card_field<decltype(static_cast<run_settings*>(nullptr)->member)>(                 \
        card_record::settings, offsetof(run_settings, member))
#define RN(member)                                                                         \
    make_card_field<decltype(static_cast<rain_settings*>(nullptr)->member)>(                \
        card_record::rain, offsetof(rain_settings, member))

constexpr card_field kNoField{};

constexpr card_entry entry(const char* keyword, int code, card_form form) {
    return card_entry{keyword, {nullptr, nullptr}, code, form, kNoField, kNoField, kNoField, 0,
                      nullptr, choice_rule::none, {{nullptr, 0}, {nullptr, 0}, {nullptr, 0}},
                      0, nutrient_group::none, card_action::none, kNoField};
}

// Further keywords of the same card.
constexpr card_entry alias(card_entry e, const char* a, const char* b = nullptr) {
    e.synonyms[0] = a;
    e.synonyms[1] = b;
    return e;
}

// Switch: field := 1, anything after the keyword ignored.
constexpr card_entry switch_card(const char* keyword, int code, card_field field) {
    card_entry e = entry(keyword, code, card_form::set);
    e.field = field;
    e.value = 1;
    return e;
}

// Method: field := value; a second switch set to 1 when given.
constexpr card_entry method_card(const char* keyword, int code, card_field field, int value,
                                 card_field second = kNoField) {
    card_entry e = entry(keyword, code, card_form::set);
    e.field = field;
    e.value = value;
    e.flag = second;
    return e;
}

// One number; with a flag the flag is set first (flag and number cards).
constexpr card_entry number_card(const char* keyword, int code, card_field field,
                                 card_field flag = kNoField, const char* echo = nullptr) {
    card_entry e = entry(keyword, code, card_form::number);
    e.field = field;
    e.flag = flag;
    e.text = echo;
    return e;
}

// One name; the flag (when the card has one) is set even without an argument.
constexpr card_entry name_card(const char* keyword, int code, card_field field,
                               card_field flag = kNoField, card_field extra = kNoField,
                               int extra_value = 0) {
    card_entry e = entry(keyword, code, card_form::name);
    e.field = field;
    e.flag = flag;
    e.extra = extra;
    e.value = extra_value;
    return e;
}

constexpr card_entry ints_card(const char* keyword, int code, card_field field) {
    card_entry e = entry(keyword, code, card_form::ints);
    e.field = field;
    return e;
}

constexpr card_entry choice_card(const char* keyword, int code, card_field field,
                                 choice_rule rule, card_choice a, card_choice b,
                                 card_choice c = {nullptr, 0}, int error_code = 0) {
    card_entry e = entry(keyword, code, card_form::choice);
    e.field = field;
    e.rule = rule;
    e.choices[0] = a;
    e.choices[1] = b;
    e.choices[2] = c;
    e.error_code = error_code;
    return e;
}

constexpr card_entry nutrient_card(const char* keyword, int code, nutrient_group group,
                                   int species, const char* group_name) {
    card_entry e = entry(keyword, code, card_form::nutrient);
    e.group = group;
    e.value = species;
    e.text = group_name;
    return e;
}

constexpr card_entry partition_card(const char* keyword, int code, int index) {
    card_entry e = entry(keyword, code, card_form::partition);
    e.value = index;
    return e;
}

// Echo: value 0 reads a double, 1 an int.
constexpr card_entry echo_card(const char* keyword, int code, int is_int, const char* format) {
    card_entry e = entry(keyword, code, card_form::echo);
    e.value = is_int;
    e.text = format;
    return e;
}

constexpr card_entry action_card(const char* keyword, int code, card_action action,
                                 card_field field = kNoField, card_field flag = kNoField,
                                 card_field extra = kNoField) {
    card_entry e = entry(keyword, code, card_form::action);
    e.action = action;
    e.field = field;
    e.flag = flag;
    e.extra = extra;
    e.value = 1;
    return e;
}

constexpr card_entry ignore_card(const char* keyword, int code) {
    return entry(keyword, code, card_form::ignore);
}

using cf = card_form;
using ng = nutrient_group;
using ca = card_action;
using cr = choice_rule;

constexpr card_entry kCards[] = {
    // Switch cards
    switch_card("include_channel_depth", 15, PC(include_channel_depth)),
    switch_card("long_term", 25, PC(long_term)),
    switch_card("et_calc_penman", 31, PC(et_calc_penman)),
    switch_card("et_calc_deardorff", 32, PC(et_calc_deardorff)),
    switch_card("qout_cfs", 37, RS(qout_cfs)),
    switch_card("quiet", 38, RS(quiet)),
    switch_card("overbank_flow", 44, PC(overbank_flow)),
    switch_card("head_bound", 46, PC(head_bound)),
    switch_card("overland_backwater", 53, PC(overland_backwater)),
    switch_card("stream_loss", 54, PC(stream_loss)),
    switch_card("adjust_channel_bed", 62, PC(adjust_channel_bed)),
    switch_card("strict_julian_date", 82, PC(strict_julian_date)),
    switch_card("optimize_sed", 84, PC(optimize_sed)),
    switch_card("seasonal_rs", 99, PC(seasonal_rs)),
    switch_card("no_cont_inf_redist", 164, PC(no_cont_inf_redist)),
    switch_card("radar_mm", 169, PC(radar_mm)),
    switch_card("snow_no_infiltrate", 180, PC(snow_no_infiltrate)),
    switch_card("gw_simulation", 181, PC(gw_simulation)),
    switch_card("gw_assign_theta", 182, PC(gw_assign_theta)),
    switch_card("vego_first", 205, PC(vego_first)),
    switch_card("chan_con_trans", 222, PC(chan_con_trans)),
    switch_card("ov_con_trans", 227, PC(ov_con_trans)),
    switch_card("all_contam_output", 228, PC(all_contam_output)),
    alias(switch_card("soil_con_trans", 237, PC(soil_con_trans)), "soil_contam"),
    switch_card("soil_static_conc", 238, PC(soil_static_conc)),
    switch_card("sediment_contam", 239, PC(sediment_contam)),
    switch_card("xwindows", 240, PC(xwindows)),
    switch_card("xrain", 241, PC(xrain)),
    switch_card("xgwrecharge", 242, PC(xgwrecharge)),
    switch_card("xdepth", 243, PC(xdepth)),
    switch_card("xinfdep", 244, PC(xinfdep)),
    switch_card("xchan", 246, PC(xchan)),
    switch_card("xbig", 249, PC(xbig)),
    switch_card("xsurf", 250, PC(xsurf)),
    switch_card("non_ortho_channels", 251, PC(non_ortho_channels)),
    switch_card("hotstart_is_depth", 259, PC(hotstart_is_depth)),
    switch_card("topo_index", 268, PC(topo_index)),
    switch_card("superlink_c_opt", 271, PC(superlink_c_opt)),
    switch_card("high_head_release", 272, PC(high_head_release)),
    switch_card("superlink_drainmod", 273, PC(superlink_drainmod)),
    switch_card("pause", 281, PC(pause)),
    switch_card("ov_boundary", 285, PC(ov_boundary)),
    switch_card("use_wells", 287, PC(use_wells)),
    switch_card("stream_info", 295, PC(stream_info)),
    switch_card("k4_fluxes", 360, PC(k4.k4_fluxes)),
    switch_card("nwsrfs_snow", 395, PC(nwsrfs_snow)),
    switch_card("nwsrfs_retention", 396, PC(nwsrfs_retention)),
    switch_card("eb_nwsrfs_snow", 397, PC(eb_nwsrfs_snow)),
    switch_card("orogvar_hmet", 399, PC(orogvar_hmet)),
    switch_card("qrm", 202, PC(qrm)),
    // interception: both interception flags, no name
    method_card("interception", 105, PC(storage_capacity_given), 1, PC(interception_coeff_given)),

    // Method cards
    method_card("chan_preiss", 55, RS(channel_method), 1),
    method_card("chan_drain", 19, RS(channel_method), 2),
    alias(method_card("chan_explic", 20, RS(channel_method), 3, PC(non_ortho_channels)),
          "diffusive_wave"),
    method_card("chan_mesh", 21, RS(channel_method), 4),
    method_card("chan_backwater", 256, RS(channel_method), 5),
    method_card("green_ampt", 86, RS(infiltration_method), 1),
    method_card("inf_redist", 126, RS(infiltration_method), 2),
    method_card("inf_layered_soil", 163, RS(infiltration_method), 3),
    method_card("inf_richards", 162, RS(infiltration_method), 4),
    method_card("precip_unif", 16, RN(rain_mode), 0),
    name_card("precip_file", 175, RN(precip_file), kNoField, RN(rain_mode), 1),
    method_card("rain_inv_distance", 167, RN(interpolation), 0),
    method_card("rain_thiessen", 168, RN(interpolation), 1),
    method_card("soils_nsm_p", 378, PC(soils_nsm_p), 2),
    method_card("soils_nsm_c", 379, PC(soils_nsm_c), 2),
    method_card("soils_nsm_n", 380, PC(soils_nsm_n), 2),

    // Real number cards
    number_card("gridsize", 1, RS(gridsize)),
    number_card("timestep", 5, RS(timestep)),
    number_card("outslope", 6, RS(outslope)),
    number_card("hyd_freq", 11, RS(hyd_freq)),
    number_card("latitude", 22, RS(latitude)),
    number_card("longitude", 23, RS(longitude)),
    number_card("st_time_step", 365, RS(st_time_step)),
    number_card("rain_intensity", 17, RN(rain_intensity)),
    number_card("event_min_q", 33, PC(event_min_q)),
    number_card("soil_moist_depth", 41, PC(soil_moist_depth)),
    number_card("top_layer_depth", 42, PC(top_layer_depth)),
    number_card("mixing_layer_depth", 43, PC(mixing_layer_depth)),
    number_card("bound_depth", 47, PC(bound_depth)),
    number_card("k_river", 49, PC(k_river)),
    number_card("m_river", 50, PC(m_river)),
    number_card("sand_size", 76, PC(sand_size)),
    number_card("silt_size", 77, PC(silt_size)),
    number_card("clay_size", 78, PC(clay_size)),
    number_card("water_temp", 79, PC(water_temp)),
    number_card("sed_porosity", 80, PC(sed_porosity)),
    number_card("richards_weight", 87, PC(richards_weight)),
    number_card("richards_dtheta_max", 88, PC(richards_dtheta_max)),
    number_card("aquifer_delta_z", 95, PC(aquifer_delta_z)),
    number_card("gw_timestep", 184, PC(gw_timestep)),
    number_card("gw_lsor_con", 185, PC(gw_lsor_con)),
    number_card("single_unsat_sat", 186, PC(single_unsat_sat)),
    number_card("gw_leakage_rate", 187, PC(gw_leakage_rate)),
    number_card("gw_relax_coeff", 188, PC(gw_relax_coeff), PC(gw_relax_coeff_given)),
    number_card("chan_decay_coef", 224, PC(chan_decay_coef)),
    number_card("chan_disp_coef", 225, PC(chan_disp_coef)),
    number_card("init_chan_conc", 226, PC(init_chan_conc)),
    number_card("ov_decay_coef", 231, PC(ov_decay_coef)),
    number_card("ov_disp_coef", 232, PC(ov_disp_coef)),
    number_card("ov_uptake_rate", 233, PC(ov_uptake_rate)),
    number_card("kinetics_timestep_factor", 234, PC(kinetics_timestep_factor)),
    number_card("soil_kinetics_timestep_factor", 235, PC(soil_kinetics_timestep_factor)),
    number_card("ov_mass_load", 236, PC(ov_mass_load)),
    number_card("max_courant_number", 255, PC(max_courant_number)),
    number_card("first_order_chan_q", 257, PC(first_order_chan_q)),
    number_card("chan_ph", 377, PC(chan_ph)),
    number_card("m_lake", 117, PC(m_lake)),

    // Integer cards
    number_card("units", 0, RS(units), kNoField, "Units flag = %d\n"),
    number_card("rows", 2, RS(rows)),
    number_card("cols", 3, RS(cols)),
    number_card("tot_time", 4, RS(tot_time)),
    number_card("outrow", 7, RS(outrow)),
    number_card("outcol", 8, RS(outcol)),
    number_card("map_freq", 12, RS(map_freq)),
    number_card("map_type", 13, RS(map_type)),
    number_card("rain_duration", 18, RN(rain_duration)),
    number_card("richards_iter_max", 92, PC(richards_iter_max)),
    number_card("suppress_printing", 155, PC(suppress_printing)),
    number_card("gw_lsor_dir", 183, PC(gw_lsor_dir)),
    number_card("x_freq", 245, PC(x_freq)),
    number_card("xwin_width", 247, PC(xwin_width)),
    number_card("xwin_height", 248, PC(xwin_height)),
    number_card("velt_compression", 293, PC(velt_compression)),
    [] {
        card_entry e = entry("qrm_event_num", 204, cf::host_event);
        e.field = PC(qrm_event_num);
        e.flag = PC(qrm_event_num_given);
        return e;
    }(),

    // Flag and number cards
    number_card("manning_n", 10, PC(manning_n), PC(manning_n_given)),
    number_card("gmt", 24, RS(gmt), RS(gmt_given)),
    number_card("overbank_max_dv", 45, PC(overbank_max_dv), PC(overbank_max_dv_given)),
    number_card("unif_area_reduction", 166, PC(unif_area_reduction),
                PC(unif_area_reduction_given)),
    number_card("snow_roughness", 177, PC(snow_roughness), PC(snow_roughness_given)),
    number_card("snow_darcy", 178, PC(snow_darcy), PC(snow_darcy_given)),
    number_card("snow_reynolds", 179, PC(snow_reynolds), PC(snow_reynolds_given)),
    number_card("gw_unif_porosity", 193, PC(gw_unif_porosity), PC(gw_unif_porosity_given)),
    number_card("gw_unif_hycond", 195, PC(gw_unif_hycond), PC(gw_unif_hycond_given)),
    number_card("init_elev_head", 355, PC(init_elev_head), PC(init_elev_head_given)),
    number_card("nwsrfs_mf_max", 400, PC(nwsrfs_mf_max), PC(nwsrfs_mf_max_given)),
    number_card("nwsrfs_mf_min", 401, PC(nwsrfs_mf_min), PC(nwsrfs_mf_min_given)),
    number_card("nwsrfs_fr_use", 402, PC(nwsrfs_fr_use), PC(nwsrfs_fr_use_given)),
    number_card("nwsrfs_scf", 403, PC(nwsrfs_scf), PC(nwsrfs_scf_given)),
    number_card("hmet_elev_gage", 404, PC(hmet_elev_gage), PC(hmet_elev_gage_given)),
    number_card("hmet_lapse_rate", 405, PC(hmet_lapse_rate), PC(hmet_lapse_rate_given)),
    number_card("nwsrfs_tipm", 406, PC(nwsrfs_tipm), PC(nwsrfs_tipm_given)),
    number_card("nwsrfs_nmf", 407, PC(nwsrfs_nmf), PC(nwsrfs_nmf_given)),
    number_card("nwsrfs_fua", 408, PC(nwsrfs_fua), PC(nwsrfs_fua_given)),
    number_card("nwsrfs_plwhc", 409, PC(nwsrfs_plwhc), PC(nwsrfs_plwhc_given)),
    number_card("snow_temp_base", 410, PC(snow_temp_base), PC(snow_temp_base_given)),
    number_card("soil_erosion", 61, PC(soil_erosion), PC(soil_erosion_given)),
    number_card("flush_buffer", 282, PC(flush_buffer), PC(flush_buffer_given)),
    number_card("retention", 161, PC(retention), PC(retention_given)),

    // Name cards with a presence flag
    name_card("mapping_table", 9, PC(mapping_table), PC(mapping_table_given)),
    name_card("albedo", 26, PC(albedo), PC(albedo_given)),
    name_card("vheight", 27, PC(vheight), PC(vheight_given)),
    name_card("tcoeff", 28, PC(tcoeff), PC(tcoeff_given)),
    name_card("canopy", 29, PC(canopy), PC(canopy_given)),
    name_card("wilting_point", 30, PC(wilting_point), PC(wilting_point_given)),
    name_card("hmet_surfaways", 34, PC(hmet_file), PC(hmet_surfaways_given)),
    name_card("hmet_samson", 35, PC(hmet_file), PC(hmet_samson_given)),
    name_card("hmet_kev", 36, PC(hmet_file), PC(hmet_kev_given)),
    name_card("bound_ts", 48, PC(bound_ts), PC(bound_ts_given)),
    name_card("explic_backwater", 51, PC(explic_backwater), PC(explic_backwater_given)),
    name_card("explic_hotstart", 52, PC(explic_hotstart), PC(explic_hotstart_given)),
    name_card("hmet_ascii", 58, PC(hmet_file), PC(hmet_ascii_given)),
    name_card("hmet_ascii_pet", 59, PC(hmet_file), PC(hmet_ascii_pet_given)),
    name_card("hmet_orog_gages", 60, PC(hmet_orog_gages), PC(hmet_orog_gages_given),
              PC(orogvar_hmet), 1),
    name_card("in_sed_loc", 68, PC(in_sed_loc), PC(in_sed_loc_given)),
    name_card("vol_sed_susp", 69, PC(vol_sed_susp), PC(vol_sed_susp_given)),
    name_card("max_sed_flux", 70, PC(max_sed_flux), PC(max_sed_flux_given)),
    name_card("net_sed_volume", 71, PC(net_sed_volume), PC(net_sed_volume_given)),
    name_card("outlet_sed_tss", 73, PC(outlet_sed_tss), PC(outlet_sed_tss_given)),
    name_card("out_tss_loc", 74, PC(out_tss_loc), PC(out_tss_loc_given)),
    name_card("adjust_elev", 81, PC(adjust_elev), PC(adjust_elev_given)),
    name_card("optimize", 83, PC(optimize), PC(optimize_given)),
    name_card("water_table", 93, PC(water_table), PC(water_table_given)),
    name_card("in_theta_location", 96, PC(in_theta_location), PC(in_theta_location_given)),
    name_card("initial_depth", 102, PC(initial_depth), PC(initial_depth_given)),
    name_card("storage_capacity", 103, PC(storage_capacity), PC(storage_capacity_given)),
    name_card("interception_coeff", 104, PC(interception_coeff), PC(interception_coeff_given)),
    name_card("roughness", 106, PC(roughness), PC(roughness_given)),
    name_card("conductivity", 107, PC(conductivity), PC(conductivity_given)),
    name_card("contam_map", 108, PC(contam_map), PC(contam_map_given)),
    name_card("capillary", 109, PC(capillary), PC(capillary_given)),
    name_card("porosity", 110, PC(porosity), PC(porosity_given)),
    [] {
        card_entry e = entry("moisture", 111, cf::moisture);
        e.field = PC(moisture);
        e.flag = PC(moisture_given);
        return e;
    }(),
    name_card("pore_index", 112, PC(pore_index), PC(pore_index_given)),
    name_card("residual_sat", 113, PC(residual_sat), PC(residual_sat_given)),
    name_card("lake_output", 116, PC(lake_output), PC(lake_output_given)),
    name_card("discharge", 127, PC(discharge), PC(discharge_given)),
    name_card("depth", 128, PC(depth), PC(depth_given)),
    name_card("inf_depth", 129, PC(inf_depth), PC(inf_depth_given)),
    name_card("surf_moist", 130, PC(surf_moist), PC(surf_moist_given)),
    name_card("rate_of_infil", 131, PC(rate_of_infil), PC(rate_of_infil_given)),
    name_card("dis_rain", 132, PC(dis_rain), PC(dis_rain_given)),
    name_card("gw_recharge_cum", 133, PC(gw_recharge_cum), PC(gw_recharge_cum_given)),
    name_card("gw_recharge_inc", 134, PC(gw_recharge_inc), PC(gw_recharge_inc_given)),
    name_card("chan_depth", 135, PC(chan_depth), PC(chan_depth_given)),
    name_card("chan_sed_flux", 136, PC(chan_sed_flux), PC(chan_sed_flux_given)),
    name_card("chan_discharge", 137, PC(chan_discharge), PC(chan_discharge_given)),
    name_card("chan_stage", 138, PC(chan_stage), PC(chan_stage_given)),
    name_card("chan_velocity", 139, PC(chan_velocity), PC(chan_velocity_given)),
    name_card("in_hyd_location", 140, PC(in_hyd_location), PC(in_hyd_location_given)),
    name_card("in_gwflux_location", 142, PC(in_gwflux_location), PC(in_gwflux_location_given)),
    name_card("in_celldepdis_location", 144, PC(in_celldepdis_location),
              PC(in_celldepdis_location_given)),
    name_card("area_reduction", 165, PC(area_reduction), PC(area_reduction_given)),
    name_card("sig_outlet_hydro", 172, PC(sig_outlet_hydro), PC(sig_outlet_hydro_given)),
    name_card("zov_hydro", 173, PC(zov_hydro), PC(zov_hydro_given)),
    alias(name_card("gw_fluxboundtable", 189, PC(gw_fluxboundtable), RS(gw_fluxboundtable_given)),
          "gw_flux_boundtable"),
    [] {
        card_entry e = entry("gw_boundfile", 190, cf::name_if_rest);
        e.field = PC(gw_boundfile);
        e.flag = PC(gw_boundfile_given);
        return e;
    }(),
    name_card("gw_output", 191, PC(gw_output), PC(gw_output_given)),
    name_card("gw_porosity_map", 192, PC(gw_porosity_map), PC(gw_porosity_map_given)),
    name_card("gw_hycond_map", 194, PC(gw_hycond_map), PC(gw_hycond_map_given)),
    name_card("gw_well_level", 196, PC(gw_well_level), PC(gw_well_level_given)),
    name_card("overland_depths", 198, PC(overland_depths), PC(overland_depths_given)),
    name_card("overland_wse", 200, PC(overland_wse), PC(overland_wse_given)),
    name_card("vego", 203, PC(vego), PC(vego_given)),
    name_card("moist_to_vego", 206, PC(moist_to_vego), PC(moist_to_vego_given)),
    name_card("ksat_to_vego", 207, PC(ksat_to_vego), PC(ksat_to_vego_given)),
    name_card("rough_to_vego", 208, PC(rough_to_vego), PC(rough_to_vego_given)),
    name_card("poros_to_vego", 209, PC(poros_to_vego), PC(poros_to_vego_given)),
    name_card("erosivity_to_vego", 210, PC(erosivity_to_vego), PC(erosivity_to_vego_given)),
    name_card("crop_fact_to_vego", 211, PC(crop_fact_to_vego), PC(crop_fact_to_vego_given)),
    name_card("net_erosion_to_vego", 212, PC(net_erosion_to_vego),
              PC(net_erosion_to_vego_given)),
    name_card("moist_from_vego", 213, PC(moist_from_vego), PC(moist_from_vego_given)),
    name_card("ksat_from_vego", 214, PC(ksat_from_vego), PC(ksat_from_vego_given)),
    name_card("rough_from_vego", 215, PC(rough_from_vego), PC(rough_from_vego_given)),
    name_card("erosivity_from_vego", 216, PC(erosivity_from_vego),
              PC(erosivity_from_vego_given)),
    name_card("crop_fact_from_vego", 217, PC(crop_fact_from_vego),
              PC(crop_fact_from_vego_given)),
    name_card("et_demand_from_vego", 218, PC(et_demand_from_vego),
              PC(et_demand_from_vego_given)),
    name_card("out_dep_location", 219, PC(out_dep_location), PC(out_dep_location_given)),
    name_card("out_con_location", 220, PC(out_con_location), PC(out_con_location_given)),
    name_card("out_mass_location", 221, PC(out_mass_location), PC(out_mass_location_given)),
    name_card("ov_point_source", 229, PC(ov_point_source), PC(ov_point_source_given)),
    name_card("ov_con_map", 230, PC(ov_con_map), PC(ov_con_map_given)),
    alias(name_card("dike_map", 253, PC(dike_map), PC(dike_map_given)), "embankment"),
    name_card("lowspot_file", 254, PC(lowspot_file), PC(lowspot_file_given)),
    name_card("write_chan_hotstart", 258, PC(explic_backwater), PC(write_chan_hotstart_given)),
    name_card("read_chan_hotstart", 260, PC(explic_hotstart), PC(read_chan_hotstart_given)),
    name_card("write_ov_hotstart", 261, PC(write_ov_hotstart), PC(write_ov_hotstart_given)),
    alias(name_card("ov_init_depth", 262, PC(ov_init_depth), PC(ov_init_depth_given)),
          "read_ov_hotstart"),
    name_card("read_sm_hotstart", 263, PC(read_sm_hotstart), PC(read_sm_hotstart_given)),
    name_card("write_sm_hotstart", 264, PC(write_sm_hotstart), PC(write_sm_hotstart_given)),
    name_card("overland_lake_map", 265, PC(overland_lake_map), PC(overland_lake_map_given)),
    alias(name_card("sacramento", 267, PC(sacramento), PC(sacramento_given)), "sacramento_pars"),
    name_card("storm_sewer", 269, PC(storm_sewer), PC(storm_sewer_given)),
    name_card("pipe_flow", 274, PC(pipe_flow), PC(pipe_flow_given)),
    name_card("pipe_head", 275, PC(pipe_head), PC(pipe_head_given)),
    name_card("pipe_tile", 276, PC(pipe_tile), PC(pipe_tile_given)),
    name_card("superlink_junc_location", 277, PC(superlink_junc_location),
              PC(superlink_junc_location_given)),
    name_card("superlink_node_location", 278, PC(superlink_node_location),
              PC(superlink_node_location_given)),
    name_card("superlink_junc_flow", 279, PC(superlink_junc_flow), PC(superlink_junc_flow_given)),
    name_card("superlink_node_flow", 280, PC(superlink_node_flow), PC(superlink_node_flow_given)),
    name_card("flood_grid", 283, PC(flood_grid), PC(flood_grid_given)),
    name_card("flood_stream", 284, PC(flood_stream), PC(flood_stream_given)),
    name_card("lake_pump", 289, PC(lake_pump), PC(lake_pump_given)),
    name_card("k4_input", 296, PC(k4.k4_input), PC(k4.k4_input_given)),
    name_card("sourcefile", 320, PC(sourcefile), PC(sourcefile_given)),
    name_card("ov_pump", 354, PC(ov_pump), PC(ov_pump_given)),
    name_card("fyssi", 357, PC(fyssi), PC(fyssi_given)),
    name_card("daily_output", 358, PC(daily_output), PC(daily_output_given)),
    name_card("st_mapping_table", 369, PC(st_mapping_table), PC(st_mapping_table_given)),
    name_card("analyzers", 371, PC(analyzers), PC(analyzers_given)),
    name_card("total_ov_n", 372, PC(total_ov_n), PC(total_ov_n_given)),
    name_card("total_ov_p", 373, PC(total_ov_p), PC(total_ov_p_given)),
    name_card("total_chan_n", 374, PC(total_chan_n), PC(total_chan_n_given)),
    name_card("total_chan_kn", 375, PC(total_chan_kn), PC(total_chan_kn_given)),
    name_card("total_chan_p", 376, PC(total_chan_p), PC(total_chan_p_given)),
    name_card("snow_swe_file", 394, PC(snow_swe_file), PC(snow_swe_file_given)),
    name_card("nwsrfs_elev_snow", 398, PC(nwsrfs_elev_snow), PC(nwsrfs_elev_snow_given)),
    name_card("snow_temp", 411, PC(snow_temp), PC(snow_temp_given)),

    // Name cards without a flag
    name_card("soil_type_map", 56, PC(soil_type_map)),
    name_card("soil_erodability", 63, PC(soil_erodability)),
    name_card("crop_management", 64, PC(crop_management)),
    name_card("conservation_practice", 65, PC(conservation_practice)),
    name_card("sand_map", 66, PC(sand_map)),
    name_card("silt_map", 67, PC(silt_map)),
    name_card("outlet_sed_flux", 72, PC(outlet_sed_flux)),
    name_card("out_sed_loc", 75, PC(out_sed_loc)),
    name_card("soil_layer_input_file", 85, PC(soil_layer_input_file)),
    name_card("aquifer_bottom", 94, PC(aquifer_bottom)),
    name_card("out_theta_location", 97, PC(out_theta_location)),
    name_card("watershed_mask", 100, PC(watershed_mask)),
    name_card("elevation", 101, PC(elevation)),
    name_card("links", 119, PC(links)),
    name_card("nodes", 120, PC(nodes)),
    name_card("channel_input", 121, PC(channel_input)),
    name_card("dis_profile", 122, PC(dis_profile)),
    name_card("dis_profile_out", 123, PC(dis_profile_out)),
    name_card("wat_surf_profile", 124, PC(wat_surf_profile)),
    name_card("wat_surf_profile_out", 125, PC(wat_surf_profile_out)),
    name_card("out_hyd_location", 141, PC(out_hyd_location)),
    name_card("out_gwflux_location", 143, PC(out_gwflux_location)),
    name_card("out_celldepdis_location", 145, PC(out_celldepdis_location)),
    name_card("materials", 158, PC(materials)),
    name_card("section_table", 160, PC(section_table)),
    name_card("summary", 170, PC(summary)),
    name_card("outlet_hydro", 171, PC(outlet_hydro)),
    name_card("cell_hydro", 174, PC(cell_hydro)),
    name_card("out_well_location", 197, PC(out_well_location)),
    name_card("overland_depth_location", 199, PC(overland_depth_location)),
    name_card("overland_wse_location", 201, PC(overland_wse_location)),
    name_card("chan_point_input", 223, PC(chan_point_input)),
    name_card("stream_cell", 252, PC(stream_cell)),
    name_card("overland_lake_file", 266, PC(overland_lake_file)),
    name_card("grid_pipe", 270, PC(grid_pipe)),
    name_card("velt_file", 290, PC(velt_file)),
    name_card("velt_base_grid", 291, PC(velt_base_grid)),
    name_card("velt_base_stream", 292, PC(velt_base_stream)),
    name_card("velt_datasetgroup", 294, PC(velt_datasetgroup)),
    name_card("k4_nodes_to_segs", 361, PC(k4.k4_nodes_to_segs)),
    name_card("k4_segment_map", 362, PC(k4.k4_segment_map)),
    name_card("k4_segment_fluxes", 363, PC(k4.k4_segment_fluxes)),
    name_card("calib_obs_data", 367, PC(calib_obs_data)),

    // Several numbers
    ints_card("start_date", 39, RS(start_date)),
    ints_card("start_time", 40, RS(start_time)),
    ints_card("end_time", 356, RS(end_time)),

    // Word choice
    choice_card("overtype", 98, PC(overtype), cr::int_or_word, {"explicit", 1}, {"ade", 2},
                {"ade-pc", 3}),
    choice_card("richards_k_option", 89, PC(richards_k_option), cr::first_four,
                {"geometric", 2}, {"arithmetic", 1}),
    choice_card("richards_c_option", 90, PC(richards_c_option), cr::first_four,
                {"havercamp", 2}, {"brooks", 1}),
    choice_card("richards_upper_option", 91, PC(richards_upper_option), cr::first_four_or_zero,
                {"green_ampt", 2}, {"average", 3}),
    choice_card("calib_comp_data", 366, PC(calib_comp_data), cr::exact_five, {"DAILY", 0},
                {"EVENT", 1}, {nullptr, 0}, 103),
    choice_card("calib_obj_func", 368, PC(calib_obj_func), cr::exact_five, {"RMSE", 0},
                {"HMLE", 1}, {nullptr, 0}, 104),

    // Number or name
    [] {
        card_entry e = entry("reten_depth", 14, cf::reten_depth);
        e.field = PC(reten_depth);
        e.flag = PC(reten_depth_given);
        e.number_field = PC(retention);
        e.extra = PC(retention_given);
        return e;
    }(),
    [] {
        card_entry e = entry("init_swe_depth", 393, cf::number_or_name);
        e.field = PC(init_swe_depth);
        e.number_field = PC(init_swe_depth_value);
        e.extra = PC(init_swe_depth_mode);
        return e;
    }(),

    // Nutrient sub-model cards
    nutrient_card("aq_env", 298, ng::aq_env, 0, "AQ_ENV"),
    nutrient_card("ov_init_no2", 299, ng::ov_init, 0, "OV_INIT_XXX"),
    nutrient_card("ov_init_no3", 300, ng::ov_init, 1, "OV_INIT_XXX"),
    nutrient_card("ov_init_nh4", 301, ng::ov_init, 2, "OV_INIT_XXX"),
    nutrient_card("ov_init_on", 302, ng::ov_init, 3, "OV_INIT_XXX"),
    nutrient_card("ov_init_op", 303, ng::ov_init, 4, "OV_INIT_XXX"),
    nutrient_card("ov_init_dp", 304, ng::ov_init, 5, "OV_INIT_XXX"),
    nutrient_card("ov_init_alg", 305, ng::ov_init, 6, "OV_INIT_XXX"),
    nutrient_card("ov_init_cbod", 306, ng::ov_init, 7, "OV_INIT_XXX"),
    nutrient_card("ov_init_do", 307, ng::ov_init, 8, "OV_INIT_XXX"),
    nutrient_card("ov_doc_init", 308, ng::ov_init, 9, "OV_INIT_XXX"),
    nutrient_card("ov_doc_foc", 309, ng::ov_init, 10, "OV_INIT_XXX"),
    nutrient_card("ov_dispersion", 310, ng::ov_init, 11, "OV_INIT_XXX"),
    nutrient_card("st_init_no2", 311, ng::st_init, 0, "ST_INIT_XXX"),
    nutrient_card("st_init_no3", 312, ng::st_init, 1, "ST_INIT_XXX"),
    nutrient_card("st_init_nh4", 313, ng::st_init, 2, "ST_INIT_XXX"),
    nutrient_card("st_init_on", 314, ng::st_init, 3, "ST_INIT_XXX"),
    nutrient_card("st_init_op", 315, ng::st_init, 4, "ST_INIT_XXX"),
    nutrient_card("st_init_dp", 316, ng::st_init, 5, "ST_INIT_XXX"),
    nutrient_card("st_init_alg", 317, ng::st_init, 6, "ST_INIT_XXX"),
    nutrient_card("st_init_cbod", 318, ng::st_init, 7, "ST_INIT_XXX"),
    nutrient_card("st_init_do", 319, ng::st_init, 8, "ST_INIT_XXX"),
    nutrient_card("out_ov_no2", 321, ng::out_ov, 0, "OUT_OV_XXX"),
    nutrient_card("out_ov_no3", 322, ng::out_ov, 1, "OUT_OV_XXX"),
    nutrient_card("out_ov_nh4", 323, ng::out_ov, 2, "OUT_OV_XXX"),
    nutrient_card("out_ov_on", 324, ng::out_ov, 3, "OUT_OV_XXX"),
    nutrient_card("out_ov_op", 325, ng::out_ov, 4, "OUT_OV_XXX"),
    nutrient_card("out_ov_dp", 326, ng::out_ov, 5, "OUT_OV_XXX"),
    nutrient_card("out_ov_alg", 327, ng::out_ov, 6, "OUT_OV_XXX"),
    nutrient_card("out_ov_cbod", 328, ng::out_ov, 7, "OUT_OV_XXX"),
    nutrient_card("out_ov_do", 329, ng::out_ov, 8, "OUT_OV_XXX"),
    nutrient_card("out_st_no2", 330, ng::out_st, 0, "OUT_ST_XXX"),
    nutrient_card("out_st_no3", 331, ng::out_st, 1, "OUT_ST_XXX"),
    nutrient_card("out_st_nh4", 332, ng::out_st, 2, "OUT_ST_XXX"),
    nutrient_card("out_st_on", 333, ng::out_st, 3, "OUT_ST_XXX"),
    nutrient_card("out_st_op", 334, ng::out_st, 4, "OUT_ST_XXX"),
    nutrient_card("out_st_dp", 335, ng::out_st, 5, "OUT_ST_XXX"),
    nutrient_card("out_st_alg", 336, ng::out_st, 6, "OUT_ST_XXX"),
    nutrient_card("out_st_cbod", 337, ng::out_st, 7, "OUT_ST_XXX"),
    nutrient_card("out_st_do", 338, ng::out_st, 8, "OUT_ST_XXX"),
    nutrient_card("out_hyd_no2", 339, ng::out_hyd, 0, "OUT_HYD_XXX"),
    nutrient_card("out_hyd_no3", 340, ng::out_hyd, 1, "OUT_HYD_XXX"),
    nutrient_card("out_hyd_nh4", 341, ng::out_hyd, 2, "OUT_HYD_XXX"),
    nutrient_card("out_hyd_on", 342, ng::out_hyd, 3, "OUT_HYD_XXX"),
    nutrient_card("out_hyd_op", 343, ng::out_hyd, 4, "OUT_HYD_XXX"),
    nutrient_card("out_hyd_dp", 344, ng::out_hyd, 5, "OUT_HYD_XXX"),
    nutrient_card("out_hyd_alg", 345, ng::out_hyd, 6, "OUT_HYD_XXX"),
    nutrient_card("out_hyd_cbod", 346, ng::out_hyd, 7, "OUT_HYD_XXX"),
    nutrient_card("out_hyd_do", 347, ng::out_hyd, 8, "OUT_HYD_XXX"),

    // Nutrient partition table: km then koc of no2 no3 nh4 on op dp
    partition_card("no2_km", 387, 0),
    partition_card("no3_km", 388, 1),
    partition_card("nh4_km", 389, 2),
    partition_card("on_km", 390, 3),
    partition_card("op_km", 391, 4),
    partition_card("dp_km", 392, 5),
    partition_card("no2_koc", 381, 6),
    partition_card("no3_koc", 382, 7),
    partition_card("nh4_koc", 383, 8),
    partition_card("on_koc", 384, 9),
    partition_card("op_koc", 385, 10),
    partition_card("dp_koc", 386, 11),

    // Cards that act at once
    action_card("time_series_file", 286, ca::time_series_file),
    action_card("elev_series_file", 288, ca::elev_series_file),
    action_card("replace_params", 350, ca::replace_params),
    action_card("replace_vals", 351, ca::replace_vals),
    action_card("replace_line", 352, ca::replace_line),
    alias(action_card("replace_folder", 353, ca::output_folder), "output_folder"),
    alias(action_card("project_folder", 370, ca::project_folder, PC(project_folder)),
          "project_path"),
    action_card("num_threads", 364, ca::num_threads),
    action_card("super_quiet", 359, ca::super_quiet, PC(super_quiet)),
    action_card("nutrients", 297, ca::nutrients, PC(nutrients)),
    action_card("xybdyinput_ovdep", 417, ca::xy_ovdep, PC(xybdyinput_ovdep), PC(ov_boundary),
                PC(xybdyinput_ovdep_given)),
    action_card("xybdyinput_gwhead", 418, ca::xy_gwhead, PC(xybdyinput_gwhead)),
    action_card("xybdyinput_stflow", 419, ca::xy_stflow, PC(xybdyinput_stflow)),
    action_card("xybdyinput_sttimeseries", 420, ca::xy_sttimeseries,
                PC(xybdyinput_sttimeseries)),
    action_card("xybdyinput_gwheadinterp", 421, ca::xy_gwheadinterp,
                PC(xybdyinput_gwheadinterp)),

    // XY boundary outputs
    name_card("xybdyoutput_pts", 412, PC(xybdyoutput_pts), PC(xybdyoutput_pts_given),
              PC(xybdyoutput_kind), 0),
    name_card("xybdyoutput_mask", 413, PC(xybdyoutput_pts), PC(xybdyoutput_pts_given),
              PC(xybdyoutput_kind), 1),
    name_card("xybdyoutput_ovdep", 414, PC(xybdyoutput_ovdep)),
    name_card("xybdyoutput_gwhead", 415, PC(xybdyoutput_gwhead)),
    name_card("xybdyoutput_stflow", 416, PC(xybdyoutput_stflow)),

    // Echo cards
    echo_card("alpha", 146, 0, "Alpha = %lf\n"),
    echo_card("beta", 147, 0, "Beta = %lf\n"),
    echo_card("theta", 148, 0, "Theta = %lf\n"),
    echo_card("channel_gridsize", 149, 0, "Channel grid size = %lf\n"),
    echo_card("channel_deltat", 150, 1, "Channel time step = %d\n"),
    echo_card("drain_time", 151, 1, "Drainage time = %d\n"),
    echo_card("q_min", 152, 0, "Minimum channel flow = %lf\n"),
    echo_card("n_links", 153, 1, "Number of links = %d\n"),
    echo_card("max_nodes", 154, 1, "Number of nodes = %d\n"),

    // Accepted without effect
    ignore_card("lake", 114),
    ignore_card("lake_elev", 115),
    ignore_card("radar_intensity", 118),
    ignore_card("lakes_mask", 156),
    ignore_card("lakes_elevation", 157),
    ignore_card("fline", 159),
    ignore_card("ntr_sum", 349),
    alias(ignore_card("zov", kIgnoreCardCode), "metric", "simulation_input"),
};

#undef PC
#undef RS
#undef RN

constexpr int kCardCount = static_cast<int>(sizeof(kCards) / sizeof(kCards[0]));

}  // namespace

const card_entry* card_table(int* count) {
    if (count != nullptr) *count = kCardCount;
    return kCards;
}

const card_entry* find_card(int code) {
    for (int i = 0; i < kCardCount; ++i) {
        if (kCards[i].code == code) return &kCards[i];
    }
    return nullptr;
}
