// Active wells of the two-dimensional groundwater model: placed from the
// well table and its index map at start-up, evaluated at every solve.
#include "subsurface/gw_wells.h"

#include <cstdio>

#include "core/error.h"
#include "input/time_series.h"
#include "run/run_state.h"

bool place_wells(run_state& rs, std::vector<well_record>& table, const std::vector<int>& well_ids,
                 const char* map_name) {
    bool all_found = true;
    for (int r = 1; r <= rs.rows; ++r) {
        for (int c = 1; c <= rs.cols; ++c) {
            const int cell = rs.mask[r][c];
            if (cell < 1 || static_cast<size_t>(cell) >= well_ids.size()) continue;
            const int id = well_ids[static_cast<size_t>(cell)];
            if (id == 0) continue;
            const well_record* found = nullptr;
            for (const well_record& w : table) {   // newest first: the last table row of an ID
                if (w.id == id) {
                    found = &w;
                    break;
                }
            }
            if (found == nullptr) {
                std::printf("Error: the well index map %s places well %d on cell [%d,%d], a well "
                            "that is not in the WELL_TABLE.\n", map_name, id, r, c);
                error_record.code = kErrorPrinted;
                all_found = false;
                continue;
            }
            well_record active = *found;
            active.id = cell;
            rs.gw_active_wells.insert(rs.gw_active_wells.begin(), active);
        }
    }
    table.clear();
    return all_found;
}

void well_rates(const run_state& rs, std::vector<double>& rate, double time) {
    const double area = rs.cell_size * rs.cell_size;   // m2
    for (const well_record& w : rs.gw_active_wells) {
        const double q = w.rate_source != 0 ? indexed_series_value(w.series_id, time) : w.rate;
        rate[static_cast<size_t>(w.id)] = q / area;
    }
}

void free_wells(run_state& rs) {
    rs.gw_active_wells.clear();
}
