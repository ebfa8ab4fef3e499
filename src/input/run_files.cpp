// Opening the run's input and output files: once per run, between the run
// parameters and the reading of the inputs, every file that the cards name
// and the chosen options need is opened in one fixed order through its own
// file object of the run state. The first failure ends the step with the
// file's role and name in the error record; the run driver reports it.
#include "input/run_files.h"

#include <cstdio>

#include "core/error.h"
#include "core/file_object.h"
#include "run/run_state.h"
#include "input/process_tables.h"
#include "input/project_reader.h"

namespace {

// Every file object that open_run_files opens, apart from the summary file.
using run_file_member = file_object input_state::*;
constexpr run_file_member kRunFileObjects[] = {
    &input_state::watershed_mask_file,
    &input_state::elevation_file,
    &input_state::outlet_hydro_file,
    &input_state::overland_depth_location_file,
    &input_state::overland_depths_file,
    &input_state::overland_wse_location_file,
    &input_state::overland_wse_file,
    &input_state::gw_boundary_file,
    &input_state::well_location_file,
    &input_state::well_level_file,
    &input_state::gw_hycond_file,
    &input_state::gw_porosity_file,
    &input_state::water_table_file,
    &input_state::aquifer_bottom_file,
    &input_state::soil_type_file,
    &input_state::soil_layer_file,
    &input_state::evap_out_file,
    &input_state::moisture_file,
    &input_state::conductivity_file,
    &input_state::capillary_file,
    &input_state::porosity_file,
    &input_state::pore_index_file,
    &input_state::residual_sat_file,
    &input_state::hmet_data_file,
    &input_state::hmet_orog_file,
    &input_state::albedo_file,
    &input_state::vheight_file,
    &input_state::tcoeff_file,
    &input_state::canopy_file,
    &input_state::wilting_point_file,
    &input_state::precip_data_file,
    &input_state::stream_cell_file,
    &input_state::storage_capacity_file,
    &input_state::interception_coeff_file,
    &input_state::overland_lake_map_file,
    &input_state::overland_lake_data_file,
    &input_state::reten_depth_file,
    &input_state::roughness_file,
    &input_state::channel_input_file,
    &input_state::chan_depth_hotstart_out_file,
    &input_state::chan_discharge_hotstart_out_file,
    &input_state::ov_hotstart_file,
    &input_state::swe_hotstart_file,
    &input_state::sm_hotstart_file,
    &input_state::chan_depth_hotstart_in_file,
    &input_state::chan_discharge_hotstart_in_file,
    &input_state::hyd_location_file,
    &input_state::hyd_location_out_file,
    &input_state::gwflux_location_file,
    &input_state::gwflux_location_out_file,
    &input_state::celldepdis_location_file,
    &input_state::celldepdis_location_out_file,
    &input_state::sig_outlet_hydro_file,
    &input_state::superlink_junc_location_file,
    &input_state::superlink_junc_flow_file,
    &input_state::superlink_node_location_file,
    &input_state::superlink_node_flow_file,
    &input_state::lake_output_file,
    &input_state::dep_location_out_file,
    &input_state::con_location_out_file,
    &input_state::mass_location_out_file,
    &input_state::theta_location_file,
    &input_state::theta_location_out_file,
    &input_state::chan_depth_file,
    &input_state::chan_discharge_file,
    &input_state::chan_stage_file,
    &input_state::chan_velocity_file,
    &input_state::flood_stream_file,
    &input_state::chan_sed_flux_file,
    &input_state::superlink_head_file,
    &input_state::superlink_tile_file,
    &input_state::superlink_flow_file,
    &input_state::contam_map_file,
};

const char kEvapOutName[] = "evap_out";
const char kEvapOutHeader[] =
    "yr/mo/day  hour     avg_theta    avg_pot      avgetrate    avgfav      avgbottomfav  CFGI"
    "         temp(C)  \n";
const char kEvapOutHeaderLayers[] =
    "yr/mo/day  hour     avg_theta    avg_pot      avgetrate    avgfav      avgbottomfav  CFGI"
    "         temp(C)   avg_theta_L1  avg_theta_L2\n";

// Leaves the failure of the step: code, the two texts and the stop flag.
void fail(int code, const char* what, const char* file_name) {
    set_error(code, what, file_name);
    error_record.stop = 1;
}

// Opens `f`; a failure leaves code 4 with the file's role and the name tried.
bool open_or_fail(file_object& f, const char* name, const char* mode, const char* role) {
    if (open_file_named(f, name, mode)) return true;
    fail(4, role, name);
    return false;
}

bool has_section(const run_state& rs, int section) {
    return rs.mapping_sections[section] != 0;
}

// Opens a parameter map whose values the mapping table may supply instead:
// when the table holds `section`, a map that does not open is no error.
bool open_parameter_map(const run_state& rs, file_object& f, const char* name, const char* role,
                        int section) {
    if (open_file_named(f, name, "r")) return true;
    if (has_section(rs, section)) return true;
    fail(4, role, name);
    return false;
}

// A location list and its output: the list fails with code 4 and `role`,
// the output with `output_code`, the output's name as description and the
// list's name as file name.
bool open_location_pair(file_object& list, const char* list_name, const char* role,
                        file_object& output, const char* output_name, int output_code) {
    if (!open_or_fail(list, list_name, "r", role)) return false;
    if (open_file_named(output, output_name, "w")) return true;
    fail(output_code, output_name, list_name);
    return false;
}

// An output at location points: code `code` with the output's name and the
// name of the list it belongs to.
bool open_location_output(file_object& output, const char* output_name, int code,
                          const char* list_name) {
    if (open_file_named(output, output_name, "w")) return true;
    fail(code, output_name, list_name);
    return false;
}

// Rows 1 to 12: grid, summary, outlet hydrograph, overland outputs, groundwater.
bool open_grid_and_groundwater(run_state& rs) {
    run_files& n = rs.files;
    if (!open_or_fail(rs.watershed_mask_file, n.watershed_mask, "r", "watershed mask")) return false;
    if (!open_or_fail(rs.elevation_file, n.elevation, "r", "elevation data")) return false;
    if (!open_or_fail(rs.summary_file, n.summary, "w", "output summary")) return false;
    current_summary_file = &rs.summary_file;   // every later message reaches it
    if (!open_or_fail(rs.outlet_hydro_file, n.outlet_hydro, "w", "output hydrograph")) return false;

    if (rs.overland_depths) {
        if (!open_or_fail(rs.overland_depth_location_file, n.overland_depth_location, "r",
                          "overland depth locations") ||
            !open_or_fail(rs.overland_depths_file, n.overland_depths, "w",
                          "overland depth output"))
            return false;
    }
    if (rs.overland_wse) {
        if (!open_or_fail(rs.overland_wse_location_file, n.overland_wse_location, "r",
                          "overland wse locations") ||
            !open_or_fail(rs.overland_wse_file, n.overland_wse, "w", "overland wse output"))
            return false;
    }

    if (!rs.groundwater) return true;
    // Boundary codes from the mapping table need no boundary file.
    const bool codes_in_table = rs.mapping_table_given &&
                                has_section(rs, input_state::kMapGroundwaterBoundary) &&
                                !rs.cards.gw_boundfile_given;
    if (!codes_in_table &&
        !open_or_fail(rs.gw_boundary_file, n.gw_boundfile, "r", "groundwater boundary"))
        return false;
    if (rs.gw_well_level) {
        if (!open_or_fail(rs.well_location_file, n.out_well_location, "r", "well location") ||
            !open_or_fail(rs.well_level_file, n.gw_well_level, "w", "well level output"))
            return false;
    }
    if (rs.gw_hycond_map &&
        !open_or_fail(rs.gw_hycond_file, n.gw_hycond_map, "r", "groundwater hycond"))
        return false;
    if (rs.gw_porosity_map &&
        !open_or_fail(rs.gw_porosity_file, n.gw_porosity_map, "r", "groundwater porosity"))
        return false;
    if (!rs.inf_richards) {
        if (rs.water_table &&
            !open_or_fail(rs.water_table_file, n.water_table, "r", "water table"))
            return false;
        if (!open_or_fail(rs.aquifer_bottom_file, n.aquifer_bottom, "r", "aquifer bottom"))
            return false;
    }
    return true;
}

// Rows 13 to 23: soil type and layers, evaporation output, Green-Ampt maps.
bool open_soil_files(run_state& rs) {
    run_files& n = rs.files;
    if (rs.inf_layered_soil || rs.inf_richards || rs.inf_redist) {
        if (n.soil_type_map[0] == '\0' && rs.mapping_table_given) {
            richards_index_map_name(n.mapping_table, rs.richards_c_option, n.soil_type_map,
                                    kCardNameSize);
        }
        const bool richards_in_table = has_section(rs, input_state::kMapRichardsHavercamp) ||
                                       has_section(rs, input_state::kMapRichardsBrooks);
        const bool soil_files_required =
            (rs.inf_richards && !richards_in_table) ||
            (rs.inf_layered_soil && !has_section(rs, input_state::kMapMultiLayer));
        if (!open_file_named(rs.soil_type_file, n.soil_type_map, "r") && soil_files_required) {
            fail(4, "soil type", n.soil_type_map);
            return false;
        }
        if (!open_file_named(rs.soil_layer_file, n.soil_layer_input_file, "r") &&
            soil_files_required) {
            fail(4, "multi-layer soil table", n.soil_layer_input_file);
            return false;
        }
        if (rs.water_table && !rs.water_table_file.is_open() &&
            !open_or_fail(rs.water_table_file, n.water_table, "r", "water table"))
            return false;
        if (rs.groundwater && !rs.aquifer_bottom_file.is_open() &&
            !open_or_fail(rs.aquifer_bottom_file, n.aquifer_bottom, "r", "aquifer bottom"))
            return false;
        if (!open_or_fail(rs.evap_out_file, kEvapOutName, "w", "evaporation output")) return false;
        std::fputs(evap_out_header(rs), rs.evap_out_file.handle);
    }

    // Plain Green-Ampt reads the water table map too (with its soil maps), and
    // so does a run without an infiltration method (the table meets the streams).
    const bool no_method =
        !rs.green_ampt && !rs.inf_redist && !rs.inf_layered_soil && !rs.inf_richards;
    if ((rs.green_ampt || no_method) && rs.water_table && !rs.water_table_file.is_open() &&
        !open_or_fail(rs.water_table_file, n.water_table, "r", "water table"))
        return false;
    if (!rs.green_ampt && !rs.inf_redist) return true;
    constexpr int kGreenAmpt = input_state::kMapGreenAmpt;
    if (rs.moisture && !open_parameter_map(rs, rs.moisture_file, n.moisture, "soil moisture",
                                           input_state::kMapSoilMoisture))
        return false;
    if (rs.conductivity &&
        !open_parameter_map(rs, rs.conductivity_file, n.conductivity, "Ks", kGreenAmpt))
        return false;
    if (rs.capillary &&
        !open_parameter_map(rs, rs.capillary_file, n.capillary, "Hc", kGreenAmpt))
        return false;
    if (rs.porosity &&
        !open_parameter_map(rs, rs.porosity_file, n.porosity, "soil porosity", kGreenAmpt))
        return false;
    if (!rs.inf_redist) return true;
    if (rs.pore_index && !open_parameter_map(rs, rs.pore_index_file, n.pore_index,
                                             "pore dist. index", kGreenAmpt))
        return false;
    if (rs.residual_sat && !open_parameter_map(rs, rs.residual_sat_file, n.residual_sat,
                                               "residual saturation", kGreenAmpt))
        return false;
    return true;
}

// Rows 24 to 37: hydromet, evapotranspiration maps, rain, surface maps, channel input.
bool open_forcing_and_surface(run_state& rs) {
    run_files& n = rs.files;
    constexpr int kEt = input_state::kMapEvapotranspiration;
    if (rs.long_term) {
        if (!open_or_fail(rs.hmet_data_file, n.hmet_file, "r", "hydromet data")) return false;
        if (rs.hmet_orog_gages &&
            !open_or_fail(rs.hmet_orog_file, n.hmet_orog_gages, "r", "orog met data"))
            return false;
        if (rs.albedo && !open_parameter_map(rs, rs.albedo_file, n.albedo, "albedo", kEt))
            return false;
        if (rs.et_calc_penman) {
            if (rs.vheight &&
                !open_parameter_map(rs, rs.vheight_file, n.vheight, "veg. height", kEt))
                return false;
            if (rs.tcoeff &&
                !open_parameter_map(rs, rs.tcoeff_file, n.tcoeff, "trans. coeff", kEt))
                return false;
            if (rs.canopy &&
                !open_parameter_map(rs, rs.canopy_file, n.canopy, "canopy resist.", kEt))
                return false;
            if (rs.wilting_point && !open_parameter_map(rs, rs.wilting_point_file,
                                                        n.wilting_point, "wilting point", kEt))
                return false;
        }
    }
    if (rs.gage_rain &&
        !open_or_fail(rs.precip_data_file, n.precip_file, "r", "raingage data"))
        return false;
    if (rs.chan_explic &&
        !open_or_fail(rs.stream_cell_file, n.stream_cell, "r", "grid-stream connectivity"))
        return false;
    if (rs.interception) {
        constexpr int kIcep = input_state::kMapInterception;
        if (!open_parameter_map(rs, rs.storage_capacity_file, n.storage_capacity,
                                "interception storage", kIcep) ||
            !open_parameter_map(rs, rs.interception_coeff_file, n.interception_coeff,
                                "interception coeff.", kIcep))
            return false;
    }
    if (rs.lakes) {
        if (!open_or_fail(rs.overland_lake_map_file, n.overland_lake_map, "r",
                          "overland lake map") ||
            !open_or_fail(rs.overland_lake_data_file, n.overland_lake_file, "r",
                          "overland lake data"))
            return false;
    }
    if (rs.reten_depth && !open_parameter_map(rs, rs.reten_depth_file, n.reten_depth,
                                              "retention depth", input_state::kMapRetention))
        return false;
    if (rs.roughness_given && !open_parameter_map(rs, rs.roughness_file, n.roughness,
                                                  "Manning roughness", input_state::kMapRoughness))
        return false;
    if (rs.chan_explic &&
        !open_or_fail(rs.channel_input_file, n.channel_input, "r", "channel input"))
        return false;
    return true;
}

// Rows 38 to 42: hotstarts written and read.
bool open_hotstarts(run_state& rs) {
    run_files& n = rs.files;
    const project_cards& c = rs.cards;
    if (c.explic_backwater_given || c.write_chan_hotstart_given) {
        if (!open_or_fail(rs.chan_depth_hotstart_out_file, n.chan_depth_hotstart_out, "w",
                          "channel depth") ||
            !open_or_fail(rs.chan_discharge_hotstart_out_file, n.chan_discharge_hotstart_out,
                          "w", "channel discharge"))
            return false;
    }
    if (c.ov_init_depth_given &&
        !open_or_fail(rs.ov_hotstart_file, c.ov_init_depth, "r", "overland hotstart"))
        return false;
    if (c.init_swe_depth_mode == 1 &&
        !open_or_fail(rs.swe_hotstart_file, c.init_swe_depth, "r", "SWE input hotstart"))
        return false;
    if (c.read_sm_hotstart_given &&
        !open_or_fail(rs.sm_hotstart_file, c.read_sm_hotstart, "r", "soil moisture hotstart"))
        return false;
    if (c.explic_hotstart_given || c.read_chan_hotstart_given) {
        if (!open_or_fail(rs.chan_depth_hotstart_in_file, n.chan_depth_hotstart_in, "r",
                          "channel depth") ||
            !open_or_fail(rs.chan_discharge_hotstart_in_file, n.chan_discharge_hotstart_in, "r",
                          "channel discharge"))
            return false;
    }
    return true;
}

// Rows 43 to 55: location lists and the outputs at the locations.
bool open_location_files(run_state& rs) {
    run_files& n = rs.files;
    const project_cards& c = rs.cards;
    if (rs.in_hyd_location &&
        !open_location_pair(rs.hyd_location_file, n.in_hyd_location, "hydrograph location",
                            rs.hyd_location_out_file, n.out_hyd_location, 51))
        return false;
    if (rs.in_gwflux_location &&
        !open_location_pair(rs.gwflux_location_file, n.in_gwflux_location,
                            "groundwater flux location", rs.gwflux_location_out_file,
                            n.out_gwflux_location, 51))
        return false;
    if (rs.in_celldepdis_location &&
        !open_location_pair(rs.celldepdis_location_file, n.in_celldepdis_location,
                            "dep dis cell location", rs.celldepdis_location_out_file,
                            n.out_celldepdis_location, 51))
        return false;
    if (rs.sig_outlet_hydro && !open_or_fail(rs.sig_outlet_hydro_file, n.sig_outlet_hydro, "w",
                                             "optional 6 digit hydrograph"))
        return false;
    if (rs.superlink_junc_location &&
        !open_or_fail(rs.superlink_junc_location_file, n.superlink_junc_location, "r",
                      "superjunction location"))
        return false;
    if (rs.superlink_junc_flow &&
        !open_location_output(rs.superlink_junc_flow_file, n.superlink_junc_flow, 51,
                              n.superlink_junc_location))
        return false;
    if (rs.superlink_node_location &&
        !open_or_fail(rs.superlink_node_location_file, n.superlink_node_location, "r",
                      "superlink node location"))
        return false;
    if (rs.superlink_node_flow &&
        !open_location_output(rs.superlink_node_flow_file, n.superlink_node_flow, 51,
                              n.superlink_node_location))
        return false;
    if (rs.lake_output &&
        !open_or_fail(rs.lake_output_file, n.lake_output, "w", "lake output"))
        return false;
    if (rs.out_dep_location &&
        !open_location_output(rs.dep_location_out_file, n.out_dep_location, 50,
                              n.in_hyd_location))
        return false;
    if (c.out_con_location_given &&
        !open_location_output(rs.con_location_out_file, n.out_con_location, 49,
                              n.in_hyd_location))
        return false;
    if (c.out_mass_location_given &&
        !open_location_output(rs.mass_location_out_file, n.out_mass_location, 49,
                              n.in_hyd_location))
        return false;
    if (rs.in_theta_location) {
        if (!open_or_fail(rs.theta_location_file, n.in_theta_location, "r", "in_theta location"))
            return false;
        if (!open_file_named(rs.theta_location_out_file, n.out_theta_location, "w")) {
            char described[kCardNameSize + 32];   // cut to the record's width by set_error
            std::snprintf(described, sizeof(described), "%s (%s)", n.out_theta_location,
                          "out_theta_location_file");
            fail(48, n.in_theta_location, described);
            return false;
        }
    }
    return true;
}

// Rows 56 to 66: channel and storm-drain outputs, nutrients, contaminant map.
bool open_network_outputs(run_state& rs) {
    const project_cards& c = rs.cards;
    if (rs.chan_depth &&
        !open_or_fail(rs.chan_depth_file, c.chan_depth, "w", "output channel depth"))
        return false;
    if (rs.chan_discharge && !open_or_fail(rs.chan_discharge_file, c.chan_discharge, "w",
                                           "output channel discharge"))
        return false;
    if (rs.chan_stage &&
        !open_or_fail(rs.chan_stage_file, c.chan_stage, "w", "output channel stage"))
        return false;
    if (rs.chan_velocity && !open_or_fail(rs.chan_velocity_file, c.chan_velocity, "w",
                                          "output channel velocity"))
        return false;
    if (rs.flood_stream && !open_or_fail(rs.flood_stream_file, rs.files.flood_stream, "w",
                                         "output flood stream stage"))
        return false;
    if (rs.chan_sed_flux && !open_or_fail(rs.chan_sed_flux_file, c.chan_sed_flux, "w",
                                          "output stream_sed_flux"))
        return false;
    if (rs.nsm_on) {
        open_nutrient_hydrograph_files(rs);
        if (error_record.stop) return false;
    }
    if (rs.superlink) {
        if (c.pipe_head_given &&
            !open_or_fail(rs.superlink_head_file, c.pipe_head, "w", "superlink head"))
            return false;
        if (c.pipe_tile_given &&
            !open_or_fail(rs.superlink_tile_file, c.pipe_tile, "w", "superlink tile"))
            return false;
        if (c.pipe_flow_given &&
            !open_or_fail(rs.superlink_flow_file, c.pipe_flow, "w", "superlink flow"))
            return false;
    }
    if (rs.contam_map && !open_or_fail(rs.contam_map_file, rs.files.contam_map, "r", "contam"))
        return false;
    return true;
}

}  // namespace

const char* evap_out_header(const run_state& rs) {
    return (rs.inf_redist || rs.inf_layered_soil) ? kEvapOutHeaderLayers : kEvapOutHeader;
}

void open_segment_flow_file(run_state& rs) {
    const k4_card_block& k4 = rs.cards.k4;
    if (!k4.k4_input_given || rs.settings.map_type == 4) return;
    if (k4_flow_file.is_open()) close_file_object(k4_flow_file);
    if (!open_file_named(k4_flow_file, k4.k4_input, "w")) return;   // not reported here
    std::fprintf(k4_flow_file.handle, "  output from %s\n", "PLUVO");
    std::fprintf(k4_flow_file.handle, "\n");
    std::fprintf(k4_flow_file.handle, "    JDAY     QIN\n");
}

void open_run_files(run_state& rs) {
    // Until this run's summary file is open, messages reach the console only
    // (a previous run's summary file is closed by now).
    current_summary_file = nullptr;
    if (!open_grid_and_groundwater(rs)) return;
    if (!open_soil_files(rs)) return;
    if (!open_forcing_and_surface(rs)) return;
    if (!open_hotstarts(rs)) return;
    if (!open_location_files(rs)) return;
    if (!open_network_outputs(rs)) return;
    open_segment_flow_file(rs);
}

void close_run_file_objects(run_state& rs) {
    close_xy_output(rs.cards.xy_out);   // "END_TS" ends each XY output file
    for (run_file_member member : kRunFileObjects) {
        file_object& f = rs.*member;
        if (f.is_open() || f.guard != nullptr) close_file_object(f);
    }
    if (current_summary_file == &rs.summary_file) current_summary_file = nullptr;
    if (rs.summary_file.is_open() || rs.summary_file.guard != nullptr) {
        close_file_object(rs.summary_file);
    }
}

// Default used until the nutrient outputs are linked in; their own
// definition replaces this one.
__attribute__((weak)) void open_nutrient_hydrograph_files(run_state&) {}
