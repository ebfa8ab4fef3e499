// Start-up reader of the vegetation maps of evapotranspiration (long-term runs).
#include <cmath>
#include <cstdio>
#include <vector>

#include "core/error.h"
#include "core/file_object.h"
#include "hydromet/evapo_trans.h"
#include "input/cell_arrays.h"
#include "input/map_reader.h"
#include "input/mapping_table.h"
#include "input/table_loader.h"
#include "run/run_state.h"

namespace {

void ensure_cells(std::vector<double>& v, int n, const char* name) {
    if (static_cast<int>(v.size()) != n + 1) size_cell_array(v, n, name);
}

// One vegetation parameter: its card, the array it fills, the line naming it
// and the range a value must lie in.
struct et_map {
    int given;                   // the card (or the mapping table) supplies it
    file_object* file;           // the map file opened at start-up (closed when not given)
    const char* path;            // the map file's name
    std::vector<double>* values; // per cell 1..GNUM
    const char* name;            // "albedo", "vegetation-height", ...
    const char* array_name;      // name of the array in allocation messages
    double low, high;            // allowed range of a value
    int richards_slot;           // slot of the Richards soil table's values, -1 none
};

void fail_map(const char* text) {
    std::printf("%s", text);
    set_error(kErrorPrinted);
    report_error(error_record);
}

bool read_one(run_state& rs, const et_map& m, bool from_table, bool richards) {
    const int n = rs.GNUM;
    char line[1600];
    const char* source = rs.files.mapping_table;
    if (m.file->is_open()) {
        std::snprintf(line, sizeof(line), "reading %s map from file: %%s\n", m.name);
        print_reading_line(rs, line, m.path);
        ensure_cells(*m.values, n, m.array_name);
        const bool ok = read_map_file(*m.file, m.path, kMapCellReals, rs.map_north, rs.map_south,
                                      rs.map_east, rs.map_west, rs.map_rows, rs.map_cols, rs.mask,
                                      m.values, nullptr, nullptr, rs.rows, rs.cols);
        close_file_object(*m.file);
        if (!ok) return false;
        source = m.path;
    } else if (from_table) {
        std::snprintf(line, sizeof(line), "reading %s table and map from the master table file\n",
                      m.name);
        print_reading_line(rs, line, nullptr);
        ensure_cells(*m.values, n, m.array_name);
    } else if (richards && m.richards_slot >= 0) {
        // Richards soils carry their vegetation values in the soil table.
        ensure_cells(*m.values, n, m.array_name);
        for (int i = 1; i <= n && static_cast<int>(rs.soiltype.size()) > i; ++i) {
            const int id = rs.soiltype[static_cast<size_t>(i)];
            if (id < 0 || id >= subsurface_state::kSoilTableSize) continue;
            (*m.values)[static_cast<size_t>(i)] = rs.soil_table[id].et_values[m.richards_slot];
        }
        source = "the Richards soil table";
    } else {
        return true;
    }
    // A value outside its range (or not a number) would give negative or
    // unbounded rates: refused naming the cell and where the value came from.
    for (int i = 1; i <= n; ++i) {
        const double v = (*m.values)[static_cast<size_t>(i)];
        if (!(v >= m.low && v <= m.high)) {
            std::snprintf(line, sizeof(line),
                          "Error: the %s of cell %d (%g, from %s) must be a number from %g to %g.\n",
                          m.name, i, v, source, m.low, m.high);
            fail_map(line);
            return false;
        }
    }
    return true;
}

}  // namespace

void read_et_maps(run_state& rs) {
    if (!rs.long_term || rs.GNUM <= 0) return;
    const bool table = rs.mapping_table_given && rs.mapping_sections[input_state::kMapEvapotranspiration] != 0;
    const bool penman = rs.et_calc_penman != 0;
    if (table) {
        const int n = rs.GNUM;
        ensure_cells(rs.veg_albedo, n, "albedo");
        ensure_cells(rs.veg_height, n, "vheight");
        ensure_cells(rs.veg_tcoeff, n, "tcoeff");
        ensure_cells(rs.veg_canopy_rs, n, "canopy");
        const mapping_outputs outputs = {&rs.veg_albedo, &rs.veg_height, &rs.veg_tcoeff, &rs.veg_canopy_rs,
                                         nullptr,        nullptr,        nullptr};
        if (!load_mapping_table(rs, rs.files.mapping_table, kSecEvapotranspiration, outputs)) return;
    }
    constexpr double kHuge = 1e30;
    const et_map maps[] = {
        {rs.albedo, &rs.albedo_file, rs.files.albedo, &rs.veg_albedo, "albedo", "albedo", 0.0, 1.0, 0},
        {penman && rs.vheight, &rs.vheight_file, rs.files.vheight, &rs.veg_height, "vegetation-height",
         "vheight", 0.0, kHuge, 1},
        {penman && rs.tcoeff, &rs.tcoeff_file, rs.files.tcoeff, &rs.veg_tcoeff, "transmission-coefficient",
         "tcoeff", 0.0, 1.0, 2},
        {penman && rs.canopy, &rs.canopy_file, rs.files.canopy, &rs.veg_canopy_rs, "canopy resistance",
         "canopy", 0.0, kHuge, 3},
        {penman && rs.wilting_point, &rs.wilting_point_file, rs.files.wilting_point, &rs.soil_wilting_point,
         "wilting point", "wilting_point", 0.0, 1.0, -1},
    };
    const bool richards = rs.inf_richards != 0;
    for (const et_map& m : maps) {
        const bool wanted = m.given || (richards && m.richards_slot >= 0 && (m.richards_slot == 0 || penman));
        if (!wanted) continue;
        // A card without a map file of its own takes the mapping table's values.
        const bool from_table = table && !m.file->is_open() && m.richards_slot >= 0;
        if (!read_one(rs, m, from_table, richards && !m.given)) return;
    }
}
