// Consistency check of the switched-on project options, run once after the
// run parameters are read and before any input file is opened. The tests run
// in a fixed order and the first conflict leaves its code in error_record for
// the run driver (the texts are those of the message catalogue); a few inputs
// that the chosen methods do not use are switched off on the way.
#include "run/option_check.h"

#include "core/dates.h"
#include "core/error.h"
#include "run/run_state.h"

namespace {

// One test of the check: the code it leaves and the combination it refuses.
struct option_rule {
    int code;
    bool (*conflict)(const run_state& rs);
};

// The mapping table supplies the evapotranspiration parameters.
bool et_from_table(const run_state& rs) {
    return rs.mapping_sections[input_state::kMapEvapotranspiration] != 0;
}

// Penman-Monteith parameter maps are needed (long-term Penman run whose
// parameters neither Richards infiltration nor the mapping table supply).
bool penman_maps_needed(const run_state& rs) {
    return rs.long_term && rs.et_calc_penman && !rs.inf_richards && !et_from_table(rs);
}

// A uniform rain rate or duration that is zero, negative or not a number.
bool uniform_rain_empty(const run_state& rs) {
    return !(rs.uniform_rain_intensity > 0.0) || rs.uniform_rain_duration <= 0;
}

// Tests 1 to 7, in their order.
const option_rule kMethodRules[] = {
    {6, [](const run_state& rs) { return rs.cards.manning_n_given && rs.cards.roughness_given; }},
    {7, [](const run_state& rs) {
         return rs.long_term && rs.et_calc_penman && rs.et_calc_deardorff;
     }},
    {8, [](const run_state& rs) {
         return (rs.hmet_surfaways ? 1 : 0) + (rs.hmet_samson ? 1 : 0) + (rs.hmet_kev ? 1 : 0) >= 2;
     }},
    {9, [](const run_state& rs) {
         return rs.long_term && !rs.et_calc_penman && !rs.et_calc_deardorff;
     }},
    {10, [](const run_state& rs) {
         return rs.uniform_rain && rs.rain_cards.precip_file[0] != '\0';
     }},
    {11, [](const run_state& rs) { return rs.uniform_rain && uniform_rain_empty(rs); }},
    {20, [](const run_state& rs) {
         return rs.long_term && !rs.inf_redist && !rs.inf_richards && !rs.inf_layered_soil;
     }},
    {21, [](const run_state& rs) {
         return rs.long_term && !rs.albedo && !rs.inf_richards && !et_from_table(rs);
     }},
    {22, [](const run_state& rs) { return penman_maps_needed(rs) && !rs.vheight; }},
    {23, [](const run_state& rs) { return penman_maps_needed(rs) && !rs.tcoeff; }},
    {24, [](const run_state& rs) { return penman_maps_needed(rs) && !rs.canopy; }},
    {25, [](const run_state& rs) { return penman_maps_needed(rs) && !rs.wilting_point; }},
};

// Test 8: multi-layer infiltration with another Green-Ampt form.
const option_rule kMultiLayerRules[] = {
    {26, [](const run_state& rs) { return rs.green_ampt != 0; }},
    {27, [](const run_state& rs) { return rs.inf_redist != 0; }},
    {28, [](const run_state& rs) { return rs.inf_richards != 0; }},
};

// Test 9: Richards infiltration with a Green-Ampt form or without the aquifer cell height.
const option_rule kRichardsRules[] = {
    {29, [](const run_state& rs) { return rs.green_ampt != 0; }},
    {30, [](const run_state& rs) { return rs.inf_redist != 0; }},
    {32, [](const run_state& rs) { return rs.groundwater && rs.aquifer_delta_z < 0.0; }},
};

// Tests 10 to 13 (13 in part: the mesh conflict of explicit routing).
const option_rule kChannelRules[] = {
    {33, [](const run_state& rs) { return rs.green_ampt && rs.inf_redist; }},
    {34, [](const run_state& rs) { return rs.chan_drain_only && rs.chan_backwater; }},
    {35, [](const run_state& rs) { return rs.chan_preiss != 0; }},
    {37, [](const run_state& rs) { return rs.chan_explic && rs.chan_mesh; }},
};

// Leaves the code of the first rule whose combination is present; true then.
template <int N>
bool first_conflict(const run_state& rs, const option_rule (&rules)[N]) {
    for (const option_rule& rule : rules) {
        if (rule.conflict(rs)) {
            error_record.code = rule.code;
            return true;
        }
    }
    return false;
}

// The six Green-Ampt soil map inputs, which the other infiltration methods do not read.
void switch_off_green_ampt_maps(run_state& rs) {
    rs.moisture = 0;
    rs.conductivity = 0;
    rs.capillary = 0;
    rs.porosity = 0;
    rs.pore_index = 0;
    rs.residual_sat = 0;
}

}  // namespace

void check_project_options(run_state& rs) {
    // 1-7
    if (first_conflict(rs, kMethodRules)) return;

    // 8
    if (rs.inf_layered_soil) {
        if (first_conflict(rs, kMultiLayerRules)) return;
        switch_off_green_ampt_maps(rs);
    }
    // 9
    if (rs.inf_richards) {
        if (first_conflict(rs, kRichardsRules)) return;
        switch_off_green_ampt_maps(rs);
    }

    // 10-13
    if (first_conflict(rs, kChannelRules)) return;
    if (rs.chan_explic && rs.soil_erosion) rs.channel_sediment = 1;
    // 14
    if (!rs.chan_explic) rs.chan_discharge = 0;

    // 15
    if (rs.groundwater) {
        const bool gw_table = rs.mapping_sections[input_state::kMapGroundwater] != 0;
        if (rs.gw_porosity_map && rs.gw_unif_porosity_given) {
            error_record.code = 38;
            return;
        }
        if (!rs.gw_porosity_map && !rs.gw_unif_porosity_given && !gw_table) {
            error_record.code = 39;
            report_error(error_record);   // a warning, reported at once; the tests go on
        }
        if (rs.gw_hycond_map && rs.gw_unif_hycond_given) {
            error_record.code = 40;
            return;
        }
        if (!rs.gw_hycond_map && !rs.gw_unif_hycond_given && !gw_table) {
            error_record.code = 41;   // a warning for the run driver; the tests end here
            return;
        }
        if (rs.sacramento) {
            error_record.code = 42;
            return;
        }
    }

    // 16
    if (rs.qrm_host) {
        print_message("Running PLUVO in QRM environment\n");
        if (rs.vego) {
            print_message("PLUVO will share data with VEGO through file: %s\n", rs.files.vego_file);
        }
        if (rs.qrm_mode) {
            print_message("This is an event call of PLUVO by QRM, qrm_event_num=%d\n",
                          rs.qrm_event_num);
        }
        if (!rs.vego) {
            error_record.code = 43;
            return;
        }
        if (rs.qrm_mode && rs.qrm_event_num < 0) {
            error_record.code = 44;
            return;
        }
        if (rs.groundwater) {
            error_record.code = 45;
            return;
        }
    }

    // 17
    if (rs.vego && !rs.qrm_host) error_record.code = 46;
}
