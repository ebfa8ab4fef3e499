// Pit book of the land surface (see pits.h). Once per event end: one pass
// over the cells in cell order, so the sums do not depend on threads.
#include "overland/pits.h"

#include <cstddef>
#include <limits>

#include "run/run_state.h"

namespace {

bool lake_cell(const run_state& rs, int k) {
    const size_t c = static_cast<size_t>(k);
    if (rs.channel_lakes && c < rs.lake_mask.size() && rs.lake_mask[c] > 0) return true;
    return rs.lakes && c < rs.oland_lake_new.size() && rs.oland_lake_new[c] > 0;
}

}  // namespace

void book_surface_pits(run_state& rs) {
    rs.pit_cells = 0;
    rs.pit_capacity = 0.0;
    rs.pit_deepest = 0.0;
    rs.vol_pits_final = 0.0;
    const int n = rs.GNUM;
    if (rs.mask == nullptr || n < 1 || rs.elevation.size() <= static_cast<size_t>(n) ||
        rs.ov_depth.size() <= static_cast<size_t>(n)) {
        return;
    }
    const double area = rs.cell_size * rs.cell_size;   // m2
    const int di[4] = {-1, 0, 1, 0};
    const int dj[4] = {0, 1, 0, -1};
    // The mask is walked row by row, which meets the cells in the order of
    // their numbers (grid.h), so the sums are those of a pass over 1..n.
    for (int i = 1; i <= rs.rows; ++i)
    for (int j = 1; j <= rs.cols; ++j) {
        const int k = rs.mask[i][j];
        if (k < 1 || k > n) continue;
        if (k == rs.outlet_cell || lake_cell(rs, k)) continue;
        const double ground = rs.elevation[static_cast<size_t>(k)];   // m
        double lowest = std::numeric_limits<double>::infinity();      // lowest neighbour, m
        bool pit = true;
        for (int f = 0; f < 4 && pit; ++f) {
            // The mask has a border of 0 around the grid.
            const int neighbour = rs.mask[i + di[f]][j + dj[f]];
            if (neighbour == 0) continue;
            const double z = rs.elevation[static_cast<size_t>(neighbour)];
            pit = z > ground;
            if (z < lowest) lowest = z;
        }
        if (!pit) continue;
        ++rs.pit_cells;
        rs.vol_pits_final += rs.ov_depth[static_cast<size_t>(k)] * area;
        // A cell without neighbours in the watershed has no rim to fill to.
        if (lowest == std::numeric_limits<double>::infinity()) continue;
        rs.pit_capacity += (lowest - ground) * area;
        if (lowest - ground > rs.pit_deepest) rs.pit_deepest = lowest - ground;
    }
}
