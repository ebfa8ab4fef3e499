// Nutrient sub-model set-up: the container, the size of the constituent
// block, and the overland side at model initialisation (aquatic environment
// file, overland species and parameters, soil pools).
#include "quality/nutrients.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "core/error.h"
#include "core/file_write.h"
#include "input/mapping_table.h"
#include "input/table_loader.h"
#include "quality/constituent_setup.h"
#include "quality/nutrient_derived.h"
#include "quality/nutrient_names.h"
#include "run/run_state.h"

namespace {

inline size_t ix(int i) { return static_cast<size_t>(i); }

void stop_with(const char* text) {
    write_report_text(current_summary_file, text);
    set_error(kErrorPrinted);
    report_error(error_record);
}

// Soil pool sections: section code, the card that selects the mapping table,
// the first pool and the number of pools (columns).
struct pool_section {
    int code;
    int project_cards::*card;
    int first_pool;
    int pools;
};
const pool_section kPoolSections[] = {
    {kSecNsmSoilN, &project_cards::soils_nsm_n, 2, 5},
    {kSecNsmSoilP, &project_cards::soils_nsm_p, 7, 6},
    {kSecNsmSoilC, &project_cards::soils_nsm_c, 0, 2},
};

// The thirteen soil pools (soil constituents on): the top-layer amounts of
// the sections the cards select, given in kg per cell and held in g as the
// layer masses of constituents first_nsm + pool; their initial totals.
bool assign_nsm_soil_params(run_state& rs) {
    nsm_model& m = *rs.nsm;
    const int b = rs.first_nsm_constituent;
    for (const pool_section& s : kPoolSections) {
        if (!(rs.cards.*s.card) || !nsm_section_present(rs, s.code)) continue;
        mapping_outputs out{};
        for (int k = 0; k < s.pools; ++k) out[ix(k)] = &rs.con.layer_mass[ix(b + s.first_pool + k)];
        if (!load_mapping_table(rs, rs.files.mapping_table, s.code, out)) return false;
    }
    for (int k = 0; k < kNsmPools; ++k) {
        std::vector<double>& pool = rs.con.layer_mass[ix(b + k)];
        double total = 0.0;   // g
        for (int j = 1; j <= rs.GNUM; ++j) {
            double& v = pool[ix(j)];
            if (!std::isfinite(v) || v < 0.0) {
                char name[64] = "";
                get_constituent_display_name(name, sizeof name, k, 1);
                char text[1600];
                std::snprintf(text, sizeof text,
                              "\nError: mapping table %s: the %s pool of cell %d is %g; a soil "
                              "pool must be a finite amount not below 0.\n",
                              rs.files.mapping_table, name, j, v);
                stop_with(text);
                return false;
            }
            v *= 1000.0;   // kg to g
            total += v;
        }
        rs.con_tot.pool_init[ix(b + k)] = total / 1000.0;
    }
    // Half-saturation and organic-carbon partition values of the soil.
    for (int which = 0; which < 2; ++which) {
        const int code = which == 0 ? kSecNsmSoilKm : kSecNsmSoilKoc;
        std::vector<std::vector<double>>& rows = which == 0 ? m.soil_km : m.soil_koc;
        rows.assign(6, std::vector<double>(ix(rs.GNUM) + 1, 0.0));
        if (!nsm_section_present(rs, code)) continue;
        mapping_outputs out{};
        for (int k = 0; k < 6; ++k) out[ix(k)] = &rows[ix(k)];
        if (!load_mapping_table(rs, rs.files.mapping_table, code, out)) return false;
    }
    return true;
}

}  // namespace

bool nsm_section_present(const run_state& rs, int code) {
    if (!rs.mapping_table_given) return false;
    int count = 0;
    const mapping_check* checks = mapping_checks(&count);
    for (int k = 0; k < count; ++k)
        if (checks[k].code == code) return rs.mapping_sections[k + 1] != 0;
    return false;
}

void init_nsm_model(nsm_model& nsm) { free_nsm_model(nsm); }

void free_nsm_model(nsm_model& nsm) {
    // Datasets write their closing mark when freed; series files close.
    for (int s = kNsmSpecies - 1; s >= 0; --s) {
        close_file_object(nsm.hyd_mass[s]);
        close_file_object(nsm.hyd_conc[s]);
    }
    nsm.total_chan_p_set.reset();
    nsm.total_chan_kn_set.reset();
    nsm.total_chan_n_set.reset();
    for (int s = kNsmSpecies - 1; s >= 0; --s) {
        nsm.st_conc_set[s].reset();
        nsm.st_mass_set[s].reset();
    }
    nsm.total_ov_p_map.reset();
    nsm.total_ov_n_map.reset();
    for (int s = kNsmSpecies - 1; s >= 0; --s) {
        nsm.ov_conc_map[s].reset();
        nsm.ov_mass_map[s].reset();
    }
    nsm.cells = 0;
}

int nutrient_block_size(const run_state& rs) {
    if (!rs.nsm_on || rs.nsm == nullptr) return 0;
    return rs.soil_con_trans ? kNsmBlockWithSoil : kNsmBlock;
}

void setup_nutrient_overland(run_state& rs) {
    if (!rs.nsm_on || rs.nsm == nullptr) return;
    if (!rs.overland_constituents || rs.first_nsm_constituent < 1) {
        stop_with("\nError: the card nutrients carries its species as overland constituents and "
                  "needs the card ov_con_trans.\n");
        return;
    }
    nsm_model& m = *rs.nsm;
    m.cells = rs.GNUM;
    m.water_temp = rs.cards.water_temp;
    m.ph = rs.cards.chan_ph != 0.0 ? rs.cards.chan_ph : 7.2;
    m.ka = ammonium_ka(m.water_temp);
    m.h_ion = hydrogen_ion(m.ph);
    for (int k = 0; k < 12; ++k)
        m.km_koc[k] = ix(k) < rs.cards.nutrient_partition.size() ? rs.cards.nutrient_partition[ix(k)] : 0.0;

    read_aquatic_env_file(m.aquatic, m.aq_env, rs);
    if (error_record.code > 0) report_error(error_record);
    if (error_record.stop) return;

    // Names of the block in the constituent headings.
    const int b = rs.first_nsm_constituent;
    rs.contamdescriptions.resize(ix(b));
    for (int k = 0; k < nutrient_block_size(rs); ++k) {
        char name[64] = "";
        get_constituent_display_name(name, sizeof name, k, k < kNsmSpecies ? 0 : 1);
        rs.contamdescriptions.push_back(name);
    }

    if (!assign_nsm_overland_params(rs) || !assign_nsm_gw_params(rs)) return;
    if (rs.soil_con_trans && !assign_nsm_soil_params(rs)) return;
    const size_t slots = ix(rs.GNUM) + 1;
    m.uptake_book.assign(slots * kNsmUptakePairs, 0.0);
    m.ov_out.nh3.assign(slots, 0.0);
    m.ov_out.total_n.assign(slots, 0.0);
    m.ov_out.total_p.assign(slots, 0.0);
}
