#include "overland/surface_maps.h"

#include <cstdio>

#include "core/error.h"
#include "core/file_object.h"
#include "run/run_state.h"
#include "input/map_reader.h"
#include "input/mapping_table.h"
#include "input/process_tables.h"
#include "input/table_loader.h"
#include "overland/lowspots.h"

namespace {

void fail_printed() {
    error_record.code = kErrorPrinted;
    report_error(error_record);
}

// Sizes a per-cell array to GNUM+1 slots of zero when it is not sized yet.
template <class T>
void ensure_cells(std::vector<T>& v, int gnum) {
    if (static_cast<int>(v.size()) != gnum + 1) v.assign(static_cast<size_t>(gnum) + 1, T{});
}

// Reads a per-cell real map from the open object into `target` and closes it;
// `field`, when given, is the range every cell's value must lie in.
bool read_real_map(run_state& rs, file_object& f, const char* path, std::vector<double>& target,
                   const number_field* field = nullptr) {
    rs.map_kind = kMapCellReals;
    bool ok = read_map_file(f, path, kMapCellReals, rs.map_north, rs.map_south, rs.map_east,
                            rs.map_west, rs.map_rows, rs.map_cols, rs.mask, &target, nullptr,
                            nullptr, rs.rows, rs.cols, field);
    close_file_object(f);
    return ok;
}

bool table_has(const run_state& rs, int flag) {
    return rs.mapping_table_given && rs.mapping_sections[flag];
}

}  // namespace

namespace {

// Reads the low-spot file of the lowspot_file card into the low-spot records.
void read_lowspots(run_state& rs) {
    file_object spots;
    if (!open_file_named(spots, rs.files.lowspot_file, "r")) {
        std::printf("Can't open input dike mask file named: %s\n", rs.files.lowspot_file);
        fail_printed();
        return;
    }
    read_lowspot_file(spots, rs.files.lowspot_file, rs.num_lowspots, rs.lowspot_records);
    close_file_object(spots);
}

}  // namespace

void read_dike_map(run_state& rs) {
    // Low spots without a dike map are still read, so that their positions
    // are checked and they pass water.
    if (!rs.dike_map) {
        if (rs.lowspot_file) read_lowspots(rs);
        return;
    }
    file_object f;
    if (!open_file_named(f, rs.files.dike_map, "r")) {
        std::printf("Can't open input dike mask file named: %s\n", rs.files.dike_map);
        fail_printed();
        return;
    }
    rs.dike_mask.assign(static_cast<size_t>(rs.GNUM) + 1, 0);
    print_reading_line(rs, "reading overland flow dike map from file: %s\n", rs.files.dike_map);
    rs.map_kind = kMapCellIds;
    // A dike code is a sum of the side bits 1 (top), 2 (right), 4 (bottom), 8 (left).
    static const number_field kDikeCode{"dike code", closed_range(0, 15)};
    bool ok = read_map_file(f, rs.files.dike_map, kMapCellIds, rs.map_north, rs.map_south,
                            rs.map_east, rs.map_west, rs.map_rows, rs.map_cols, rs.mask, nullptr,
                            nullptr, &rs.dike_mask, rs.rows, rs.cols, &kDikeCode);
    close_file_object(f);
    if (!ok) return;

    if (rs.lowspot_file) read_lowspots(rs);
}

void read_wetland_map(run_state& rs) {
    if (!rs.wetlands) return;
    rs.wetland_mask.assign(static_cast<size_t>(rs.GNUM) + 1, 0);
    if (!load_wetland_table(rs, rs.files.mapping_table, rs.wetland_count, rs.wetland_records,
                            rs.wetland_mask))
        return;
    // The overland schemes divide by the wetland roughness.
    for (int w = 1; w <= rs.wetland_count && w < static_cast<int>(rs.wetland_records.size()); ++w) {
        const double n = rs.wetland_records[static_cast<size_t>(w)].wetland_n;
        if (!(n > 0.0)) {
            std::printf("Error: wetland %d of the WETLAND_PROPERTIES table in %s has the Manning n "
                        "%lf; it must be greater than 0.\n",
                        w, rs.files.mapping_table, n);
            fail_printed();
            return;
        }
    }
    print_reading_line(rs, "Simulating wetlands\n%s", "");
}

void read_retention_map(run_state& rs) {
    ensure_cells(rs.retent_dep, rs.GNUM);
    std::vector<double>& r = rs.retent_dep;
    rs.retention_all = -1.0;
    if (rs.reten_depth) {
        if (rs.reten_depth_file.is_open()) {
            print_reading_line(rs, "reading retention storage map from file: %s\n",
                               rs.files.reten_depth);
            // Retention depth, mm: a negative depth would let dry cells give water.
            static const number_field kRetention{"retention depth", at_least(0.0)};
            if (!read_real_map(rs, rs.reten_depth_file, rs.files.reten_depth, r, &kRetention))
                return;
        } else {
            print_reading_line(rs, "reading retention storage table and map from master table "
                                   "file\n%s", "");
            if (table_has(rs, input_state::kMapRetention)) {
                if (!load_mapping_table(rs, rs.files.mapping_table, kSecRetention, {&r})) return;
            }
        }
        for (int j = 1; j <= rs.GNUM; ++j) r[static_cast<size_t>(j)] /= 1000.0;   // mm to m
    } else if (rs.retention) {
        const double depth = rs.uniform_retention / 1000.0;   // mm to m
        for (int j = 1; j <= rs.GNUM; ++j) r[static_cast<size_t>(j)] = depth;
        if (depth >= 0.0) rs.retention_all = depth;
    } else {
        for (int j = 1; j <= rs.GNUM; ++j) r[static_cast<size_t>(j)] = 0.0;
        rs.retention_all = 0.0;
    }
}

void read_roughness_map(run_state& rs) {
    ensure_cells(rs.dist_rough, rs.GNUM);
    std::vector<double>& n = rs.dist_rough;
    rs.rough_all = 0.0;
    if (rs.roughness_given) {
        if (rs.roughness_file.is_open()) {
            print_reading_line(rs, "reading roughness map from file: %s\n", rs.files.roughness);
            if (!read_real_map(rs, rs.roughness_file, rs.files.roughness, n)) return;
        } else {
            print_reading_line(rs, "reading roughness table and map from master table file\n%s",
                               "");
            if (table_has(rs, input_state::kMapRoughness)) {
                if (!load_mapping_table(rs, rs.files.mapping_table, kSecRoughness, {&n})) return;
            }
        }
        for (int j = 1; j <= rs.GNUM; ++j) {
            if (!(n[static_cast<size_t>(j)] > 0.0)) {
                std::printf("Overland Manning n=0 at grid cell %d.  Program terminating.\n", j);
                fail_printed();
                return;
            }
        }
        return;
    }
    if (rs.manning_n > 1e-6) {
        for (int j = 1; j <= rs.GNUM; ++j) n[static_cast<size_t>(j)] = rs.manning_n;
        // Snow and vegetation roughness change the cells' n during the run.
        if (!rs.snow_roughness_on && rs.rough_from_vego_on != 1) rs.rough_all = rs.manning_n;
        return;
    }
    std::printf("\nInvalid spatially uniform overland flow Manning n value=%lf\n", rs.manning_n);
    std::printf("PLUVO exiting.\n");
    fail_printed();
}

void copy_snow_roughness(run_state& rs) {
    if (!rs.snow_roughness_on) return;
    if (rs.snow_darcy_given) {
        rs.snow_roughness_on = 0;
        std::printf("Both manning and darcy flow are turned on for when snow is present \n");
        std::printf("Turning off manning flow for when snow is present.  Darcy still turned on. \n");
        return;
    }
    rs.snow_manning_n = rs.cards.snow_roughness;
    rs.dist_rough_copy = rs.dist_rough;
    if (static_cast<int>(rs.dist_rough_copy.size()) != rs.GNUM + 1)
        rs.dist_rough_copy.resize(static_cast<size_t>(rs.GNUM) + 1, 0.0);
}
