// Start-up of the two-dimensional groundwater model: the settings of its
// cards, the boundary codes, wells or static fluxes, the aquifer conductivity
// and porosity, and the well output locations. Reading and checking only;
// the solver is in gw_solver.cpp.
#include "subsurface/groundwater.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "core/dates.h"
#include "core/error.h"
#include "core/file_object.h"
#include "core/file_write.h"
#include "core/text.h"
#include "input/map_reader.h"
#include "input/process_tables.h"
#include "input/table_loader.h"
#include "run/run_state.h"
#include "subsurface/gw_richards.h"
#include "subsurface/gw_xy.h"
#include "subsurface/gw_wells.h"

namespace {

constexpr int kSecConductivity = 17;     // mapping-table process: conductivity and porosity
constexpr int kSecBoundary = 18;         // mapping-table process: boundary codes
constexpr double kCmPerHourToMPerS = 1.0 / 100.0 / 3600.0;
constexpr double kSecondsPerDay = 86400.0;
constexpr int kHighestCode = 8;          // boundary codes run 0..8
constexpr int kXyHeadCode = 8, kFixedHeadCode = 2, kDynamicWellCode = 3, kStaticFluxCode = 6;

bool fail_card(const char* format, double value) {
    std::printf(format, value);
    error_record.code = kErrorPrinted;
    return false;
}

// The solver settings: refused here, naming the card, before any map is read.
bool check_gw_settings(run_state& rs) {
    if (!rs.gw_relax_coeff_given) {
        std::printf("Error: a groundwater run needs the card gw_relax_coeff (the line-sweep "
                      "relaxation factor, between 0 and 2); it has no default.\n");
        error_record.code = kErrorPrinted;
        return false;
    }
    if (!(rs.gw_relax_coeff > 0.0 && rs.gw_relax_coeff < 2.0))
        return fail_card("Error: the card gw_relax_coeff gives %g; the relaxation factor must lie "
                         "between 0 and 2 (both excluded).\n", rs.gw_relax_coeff);
    if (!(rs.gw_timestep > 0.0))
        return fail_card("Error: the card gw_timestep gives %g s; the groundwater time step must "
                         "be above 0.\n", rs.gw_timestep);
    if (!(rs.gw_lsor_con > 0.0))
        return fail_card("Error: the card gw_lsor_con gives %g m; the line-sweep tolerance must "
                         "be above 0.\n", rs.gw_lsor_con);
    // The soil and the zone above the table keep this share of their porosity
    // as the table falls; all of it would leave nothing to drain.
    if ((rs.inf_redist || rs.inf_layered_soil) &&
        !(rs.single_unsat_sat >= 0.0 && rs.single_unsat_sat < 1.0))
        return fail_card("Error: the card single_unsat_sat gives %g; the share of the porosity "
                         "retained above the water table must lie from 0 up to (not including) "
                         "1.\n", rs.single_unsat_sat);
    return true;
}

// Grid row and column of a cell (0, 0 when the mask has no such cell).
void cell_position(const run_state& rs, int cell, int& row, int& col) {
    for (row = 1; row <= rs.rows; ++row) {
        for (col = 1; col <= rs.cols; ++col) {
            if (rs.mask[row][col] == cell) return;
        }
    }
    row = col = 0;
}

bool read_cell_reals(run_state& rs, file_object& f, const char* path, std::vector<double>& out) {
    out.assign(static_cast<size_t>(rs.GNUM) + 1, 0.0);
    const bool ok = read_map_file(f, path, kMapCellReals, rs.map_north, rs.map_south, rs.map_east,
                                  rs.map_west, rs.map_rows, rs.map_cols, rs.mask, &out, nullptr,
                                  nullptr, rs.rows, rs.cols);
    close_file_object(f);
    return ok;
}

// Step 1: boundary codes, each checked against 0..8 naming its source and cell.
bool read_boundary_codes(run_state& rs) {
    const int n = rs.GNUM;
    const bool from_table = rs.mapping_table_given &&
                            rs.mapping_sections[input_state::kMapGroundwaterBoundary] != 0 &&
                            !rs.cards.gw_boundfile_given;
    const char* source = from_table ? rs.files.mapping_table : rs.files.gw_boundfile;
    rs.gwbound.assign(static_cast<size_t>(n) + 1, 0);
    if (from_table) {
        if (console_lines_on(rs)) print_message("reading the groundwater boundary file from the mapping table\n");
        file_printf(rs.summary_file, "reading groundwater boundary file from the mapping table\n");
        std::vector<double> codes;
        if (!load_mapping_table(rs, rs.files.mapping_table, kSecBoundary, {&codes})) return false;
        codes.resize(static_cast<size_t>(n) + 1, 0.0);
        for (int c = 1; c <= n; ++c) {
            const double v = codes[static_cast<size_t>(c)];
            rs.gwbound[static_cast<size_t>(c)] =
                (std::isfinite(v) && std::fabs(v) < 1e6) ? static_cast<int>(v) : -1;
        }
    } else {
        if (console_lines_on(rs)) print_message("reading the groundwater boundary file: %s\n", source);
        file_printf(rs.summary_file, "reading groundwater boundary file: %s\n", source);
        const bool ok = read_map_file(rs.gw_boundary_file, source, kMapCellIds, rs.map_north,
                                      rs.map_south, rs.map_east, rs.map_west, rs.map_rows,
                                      rs.map_cols, rs.mask, nullptr, nullptr, &rs.gwbound, rs.rows,
                                      rs.cols);
        close_file_object(rs.gw_boundary_file);
        if (!ok) return false;
    }
    for (int c = 1; c <= n; ++c) {
        const int code = rs.gwbound[static_cast<size_t>(c)];
        if (code >= 0 && code <= kHighestCode) continue;
        int row = 0, col = 0;
        cell_position(rs, c, row, col);
        std::printf("Error: the groundwater boundary codes of %s give the cell at row %d, "
                      "column %d the code %d; the codes run from 0 to 8.\n", source, row, col, code);
        error_record.code = kErrorPrinted;
        return false;
    }
    // Interpolated XY head cells hold fixed heads (code 8 becomes 2).
    return setup_gw_xy_cells(rs);
}

// Reads a table of a count and cell lines (the static flux table, the well
// locations) line by line, naming the kind of file, the file and the line in
// every refusal.
struct flux_table_reader {
    flux_table_reader(file_object& file, const char* name, const char* what)
        : f(file), path(name), kind(what) {}
    file_object& f;
    const char* path;
    const char* kind;   // "static flux table", "well location file"
    int line_number = 0;
    text_line line;

    bool fail(const char* what) {
        std::printf("Error: %s %s, line %d: %s\n", kind, path, line_number, what);
        error_record.code = kErrorPrinted;
        return false;
    }
    bool next_line() {
        while (read_line(line, f)) {
            ++line_number;
            const char* p = line.c_str();
            while (*p == ' ' || *p == '\t') ++p;
            if (*p != '\0') return true;
        }
        ++line_number;
        return fail("the file ends before the entries its count announces");
    }
    bool integer(int& v, const char* what) {
        char token[kTokenSize];
        const number_status s = next_checked_int(line.data(), v, token);
        if (s == number_status::ok) return true;
        char text[kTokenSize + 128];
        std::snprintf(text, sizeof text, "the %s \"%s\" %s", what, token, number_status_words(s));
        return fail(text);
    }
    bool real(double& v, const char* what) {
        char token[kTokenSize];
        const number_status s = next_checked_double(line.data(), v, token);
        if (s == number_status::ok) return true;
        char text[kTokenSize + 128];
        std::snprintf(text, sizeof text, "the %s \"%s\" %s", what, token, number_status_words(s));
        return fail(text);
    }
};

}  // namespace

bool read_static_flux_table(run_state& rs) {
    char* path = rs.files.gw_fluxboundtable;
    file_object f;
    if (!open_file_object(f, path, "r")) {
        std::printf("Can't open static flux table file: %s\n", path);
        error_record.code = kErrorPrinted;
        return false;
    }
    flux_table_reader r(f, path, "static flux table");
    int count = 0;
    bool ok = r.next_line() && r.integer(count, "cell count");
    if (ok && count < 0) ok = r.fail("the cell count is negative");
    const double area = rs.cell_size * rs.cell_size;   // m2
    for (int k = 1; ok && k <= count; ++k) {
        int row = 0, col = 0;
        double rate = 0.0;   // m3/day, positive withdraws
        ok = r.next_line() && r.integer(row, "grid row") && r.integer(col, "grid column") &&
             r.real(rate, "rate (m3/day)");
        if (!ok) break;
        if (row < 1 || row > rs.rows || col < 1 || col > rs.cols) {
            char text[160];
            std::snprintf(text, sizeof text, "row %d, column %d lies outside the %d x %d grid",
                          row, col, rs.rows, rs.cols);
            ok = r.fail(text);
            break;
        }
        const int cell = rs.mask[row][col];
        if (cell < 1) {
            char text[160];
            std::snprintf(text, sizeof text, "row %d, column %d lies outside the watershed mask",
                          row, col);
            ok = r.fail(text);
            break;
        }
        rs.gw_static_flux[static_cast<size_t>(cell)] = rate / kSecondsPerDay / area;
    }
    close_file_object(f);
    if (ok) rs.gw_flux_cell_count = count;
    return ok;
}

namespace {

// Step 3: wells from the mapping table, or static fluxes from their table.
bool read_wells_and_fluxes(run_state& rs) {
    const int n = rs.GNUM;
    if (rs.cards.use_wells) {
        rs.gw_wells_active = 1;
        if (console_lines_on(rs)) print_message("reading well map from the master table file\n");
        file_printf(rs.summary_file, "reading well map from the master table file\n");
        std::vector<well_record> table;
        std::vector<int> ids;
        if (!load_well_table(rs, rs.files.mapping_table, table, ids)) return false;
        return place_wells(rs, table, ids, rs.files.mapping_table);
    }
    rs.gw_flux_cell_count = 0;
    rs.gw_dynamic_well_count = 0;
    for (int c = 1; c <= n; ++c) {
        if (rs.gwbound[static_cast<size_t>(c)] == kStaticFluxCode) ++rs.gw_flux_cell_count;
        if (rs.gwbound[static_cast<size_t>(c)] == kDynamicWellCode) ++rs.gw_dynamic_well_count;
    }
    if (rs.gw_flux_cell_count > 0 || rs.settings.gw_fluxboundtable_given) {
        if (!read_static_flux_table(rs)) return false;
    }
    if (rs.gw_dynamic_well_count > 0) {
        print_message("You can't have a dynamic wells in the groundwater boundary map. You must "
                      "use the\nWELL_TABLE table in the mapping table file\n");
    }
    return true;
}

// Steps 4-6: conductivity (cm/h in, m/s kept) and porosity, each checked.
bool read_aquifer_properties(run_state& rs) {
    const int n = rs.GNUM;
    const bool table = rs.mapping_table_given &&
                       rs.mapping_sections[input_state::kMapGroundwater] != 0;
    rs.gw_porosity.assign(static_cast<size_t>(n) + 1, 0.0);
    const char* k_source = nullptr;
    const char* p_source = nullptr;
    if (rs.gw_hycond_map) {
        if (console_lines_on(rs))
            print_message("reading ground water hydraulic conductivity map from file: %s\n",
                          rs.files.gw_hycond_map);
        file_printf(rs.summary_file, "reading hyd. cond. map from file: %s\n", rs.files.gw_hycond_map);
        if (!read_cell_reals(rs, rs.gw_hycond_file, rs.files.gw_hycond_map, rs.gw_hycond)) return false;
        k_source = rs.files.gw_hycond_map;
    } else if (table) {
        if (console_lines_on(rs))
            print_message("reading ground water hydraulic conductivity map from the master table file\n");
        file_printf(rs.summary_file, "reading hyd. cond. map from the master table file\n");
        rs.gw_hycond.assign(static_cast<size_t>(n) + 1, 0.0);
        if (!load_mapping_table(rs, rs.files.mapping_table, kSecConductivity,
                                {&rs.gw_hycond, &rs.gw_porosity}))
            return false;
        k_source = rs.files.mapping_table;
    } else if (rs.gw_unif_hycond_given) {
        rs.gw_hycond.assign(static_cast<size_t>(n) + 1, rs.gw_unif_hycond);
        k_source = "the card gw_unif_hycond";
    } else {
        error_record.code = 126;
        report_error(error_record);
        return false;
    }
    if (rs.gw_porosity_map) {
        if (console_lines_on(rs))
            print_message("reading ground water porosity map from file: %s\n", rs.files.gw_porosity_map);
        file_printf(rs.summary_file, "reading ground water porosity map from file: %s\n",
                    rs.files.gw_porosity_map);
        if (!read_cell_reals(rs, rs.gw_porosity_file, rs.files.gw_porosity_map, rs.gw_porosity))
            return false;
        p_source = rs.files.gw_porosity_map;
    } else if (table) {
        if (console_lines_on(rs))
            print_message("reading ground water porosity map from the master table file\n");
        file_printf(rs.summary_file, "reading porosity map from the master table file\n");
        p_source = rs.files.mapping_table;
    } else {
        rs.gw_porosity.assign(static_cast<size_t>(n) + 1, rs.gw_unif_porosity);
        p_source = "the card gw_unif_porosity";
    }
    rs.gw_hycond.resize(static_cast<size_t>(n) + 1, 0.0);
    for (int c = 1; c <= n; ++c) {
        const double k = rs.gw_hycond[static_cast<size_t>(c)];
        const double p = rs.gw_porosity[static_cast<size_t>(c)];
        if (!std::isfinite(k) || k < 0.0) {
            std::printf("Error: %s gives cell %d the aquifer conductivity %g cm/h; it must be a "
                          "finite number of 0 or more.\n", k_source, c, k);
            error_record.code = kErrorPrinted;
            return false;
        }
        if (!(p > 0.0 && p <= 1.0)) {
            std::printf("Error: %s gives cell %d the aquifer porosity %g; it must lie above 0 "
                          "and at most 1.\n", p_source, c, p);
            error_record.code = kErrorPrinted;
            return false;
        }
    }
    rs.gw_hycond_y.assign(static_cast<size_t>(n) + 1, 0.0);
    rs.gw_storage.assign(static_cast<size_t>(n) + 1, 0.0);
    for (int c = 1; c <= n; ++c) {
        rs.gw_hycond[c] *= kCmPerHourToMPerS;
        rs.gw_hycond_y[c] = rs.gw_hycond[c];
        rs.gw_storage[c] = rs.gw_porosity[c];
    }
    return true;
}

// Step 7: the grid positions of the well level output.
bool read_well_locations(run_state& rs) {
    const char* path = rs.files.out_well_location;
    flux_table_reader r(rs.well_location_file, path, "well location file");
    int count = 0;
    bool ok = r.next_line() && r.integer(count, "well count");
    if (ok && count < 0) ok = r.fail("the well count is negative");
    // Grown as the wells are read: a count beyond the file ends at its end.
    std::vector<int> rows(1, 0), cols(1, 0);
    for (int k = 1; ok && k <= count; ++k) {
        int row = 0, col = 0;
        ok = r.next_line() && r.integer(row, "grid row") && r.integer(col, "grid column");
        if (ok && (row < 1 || row > rs.rows || col < 1 || col > rs.cols || rs.mask[row][col] < 1)) {
            char text[160];
            std::snprintf(text, sizeof text, "row %d, column %d lies outside the watershed mask",
                          row, col);
            ok = r.fail(text);
        }
        if (ok) {
            rows.push_back(row);
            cols.push_back(col);
        }
    }
    close_file_object(rs.well_location_file);
    if (ok) {
        rs.well_count = count;
        rs.well_row.swap(rows);
        rs.well_column.swap(cols);
    }
    return ok;
}

// Per-cell arrays of the solver and the step, zeroed.
void size_gw_arrays(run_state& rs) {
    const size_t n = static_cast<size_t>(rs.GNUM) + 1;
    for (std::vector<double>* v :
         {&rs.gw_static_flux, &rs.gw_well_rate, &rs.gw_net_sink, &rs.gw_leakage,
          &rs.gw_unsat_exchange, &rs.gw_chan_exchange_vol, &rs.gw_lake_exchange_vol,
          &rs.gw_tile_vol, &rs.gw_head_prev, &rs.gw_cum_recharge, &rs.gw_flux}) {
        v->assign(n, 0.0);
    }
    rs.gw_recharge_depth.resize(n, 0.0);
    rs.yes_exfil.resize(n, 0);
}

// Layered soils over solved heads: layers 1 and 2 retain their field
// capacity as the table falls through them, which must leave water to drain.
bool check_layered_retention(const run_state& rs) {
    if (!rs.inf_layered_soil) return true;
    for (int c = 1; c <= rs.GNUM && static_cast<int>(rs.soiltype.size()) > c; ++c) {
        const int id = rs.soiltype[static_cast<size_t>(c)];
        if (id < 1 || id >= subsurface_state::kSoilTableSize) continue;
        const soil_layer_record& soil = rs.soil_table[id];
        for (int k = 0; k < 2; ++k) {
            if (soil.field_capacity[k] < soil.porosity[k]) continue;
            std::printf("Error: layer %d of soil %d in %s has a field capacity of %g, not below "
                        "its porosity %g: a water table falling through it would drain "
                        "nothing.\n", k + 1, id, rs.files.soil_layer_input_file,
                        soil.field_capacity[k], soil.porosity[k]);
            error_record.code = kErrorPrinted;
            return false;
        }
    }
    return true;
}

}  // namespace

void read_gw_maps(run_state& rs) {
    if (!rs.gw_simulation) return;
    if (!check_gw_settings(rs) || !check_layered_retention(rs)) return;
    size_gw_arrays(rs);
    if (!read_boundary_codes(rs)) return;
    if (!read_wells_and_fluxes(rs)) return;
    if (!read_aquifer_properties(rs)) return;
    if (rs.gw_well_level && !read_well_locations(rs)) return;
    couple_richards_to_aquifer(rs);
}
