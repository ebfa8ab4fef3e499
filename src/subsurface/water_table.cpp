// Start-up reader of the saturated zone: the initial water table and the
// aquifer bottom, both elevations in m.
#include "subsurface/water_table.h"
#include "input/grid.h"

#include <cmath>
#include <cstdio>

#include "core/dates.h"
#include "core/error.h"
#include "core/file_write.h"
#include "input/map_reader.h"
#include "run/run_state.h"

namespace {

constexpr double kRichardsAquiferDeltaZ = 0.1;   // bottom below the table without a bottom map, m

bool read_elevation_map(run_state& rs, file_object& f, const char* path, std::vector<double>& out) {
    out.resize(static_cast<size_t>(rs.GNUM) + 1, 0.0);
    const bool ok = read_map_file(f, path, kMapCellReals, rs.map_north, rs.map_south, rs.map_east,
                                  rs.map_west, rs.map_rows, rs.map_cols, rs.mask, &out, nullptr,
                                  nullptr, rs.rows, rs.cols);
    close_file_object(f);
    if (!ok) return false;
    for (int c = 1; c <= rs.GNUM; ++c) {
        if (!std::isfinite(out[static_cast<size_t>(c)])) {
            std::printf("Error: the map %s gives cell %d an elevation that is not a finite "
                          "number.\n", path, c);
            error_record.code = kErrorPrinted;
            report_error(error_record);
            return false;
        }
    }
    return true;
}

}  // namespace

void read_water_table_maps(run_state& rs) {
    if (!rs.water_table) return;
    const int n = rs.GNUM;
    print_reading_line(rs, "reading water table map from file: %s\n", rs.files.water_table);
    if (!read_elevation_map(rs, rs.water_table_file, rs.files.water_table, rs.elevgw)) return;

    rs.bottom_elev.resize(static_cast<size_t>(n) + 1, 0.0);
    // The channel routing books the stream-aquifer exchange per stream cell here, m3.
    if (rs.stream_exchange) rs.gw_chan_exchange_vol.assign(static_cast<size_t>(n) + 1, 0.0);
    if (rs.gw_simulation) {
        print_reading_line(rs, "reading aquifer bottom map from file: %s\n",
                           rs.files.aquifer_bottom);
        if (!read_elevation_map(rs, rs.aquifer_bottom_file, rs.files.aquifer_bottom,
                                rs.bottom_elev))
            return;
    } else if (rs.inf_richards) {
        rs.aquifer_delta_z = kRichardsAquiferDeltaZ;
        for (int c = 1; c <= n; ++c) rs.bottom_elev[c] = rs.elevgw[c] - kRichardsAquiferDeltaZ;
    }
    if (!rs.gw_simulation && !rs.inf_richards) return;
    for (int c = 1; c <= n; ++c) {
        if (rs.bottom_elev[c] < rs.elevation[c]) continue;
        print_message("Aquifer bottom elevation %lf for cell %d is at or above ground surface "
                      "elevation %lf \n", rs.bottom_elev[c], c, rs.elevation[c]);
        print_message("Aquifer bottom elevation set to ground elevation \n");
        file_printf(rs.summary_file, "Aquifer bottom elevation %lf for cell %d is at or above "
                    "ground surface elevation %lf \n", rs.bottom_elev[c], c, rs.elevation[c]);
        rs.bottom_elev[c] = rs.elevation[c];
    }
    // A head below the aquifer bottom holds less than no water: the solver
    // would lift it to the bottom, making water out of nothing.
    if (!rs.gw_simulation) return;
    for (int c = 1; c <= n; ++c) {
        if (rs.elevgw[c] >= rs.bottom_elev[c]) continue;
        fill_cell_rows(rs);
        std::printf("Error: the water table map %s puts the head of cell %d (row %d, column %d) at "
                    "%.4f m, below its aquifer bottom at %.4f m (map %s%s); the head must lie at or "
                    "above the bottom.\n",
                    rs.files.water_table, c, rs.cell_row[c], rs.cell_col[c], rs.elevgw[c],
                    rs.bottom_elev[c], rs.files.aquifer_bottom,
                    rs.bottom_elev[c] == rs.elevation[c] ? ", lowered to the ground" : "");
        error_record.code = kErrorPrinted;
        report_error(error_record);
        return;
    }
}
