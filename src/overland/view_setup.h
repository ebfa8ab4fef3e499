// Shared set-up of the read-only cell views of the two overland schemes: both
// views point at the same roughness, retention, neighbour, dike and wetland
// arrays of the run and carry the same cell geometry.
#pragma once
#include <cstddef>

#include "run/run_state.h"

// Points `v` (a scheme's view with members r, n, right, below, left, above,
// dike, wmask, wrec, dx, inv_dx and cells) at the arrays of `rs`. Dikes and
// wetlands are set only when they are on and their arrays cover every cell
// (GNUM + 1 entries); otherwise those pointers stay as they are (null).
// Lengths: dx in m, inv_dx in 1/m.
template <class View>
void point_view_at_cells(View& v, run_state& rs) {
    v.r = rs.retent_dep.data();
    v.n = rs.dist_rough.data();
    v.right = rs.rightcon.data();
    v.below = rs.belowcon.data();
    v.left = rs.leftcon.data();
    v.above = rs.abovecon.data();
    const std::size_t size = static_cast<std::size_t>(rs.GNUM) + 1;
    if (rs.dike_map && rs.dike_mask.size() >= size) v.dike = rs.dike_mask.data();
    if (rs.wetlands && rs.wetland_mask.size() >= size && !rs.wetland_records.empty()) {
        v.wmask = rs.wetland_mask.data();
        v.wrec = rs.wetland_records.data();
    }
    v.dx = rs.cell_size;
    v.inv_dx = 1.0 / rs.cell_size;
    v.cells = rs.GNUM;
}
