#include "subsurface/gw_xy.h"
#include "input/grid.h"
#include <vector>
#include "run/run_state.h"
#include "subsurface/groundwater.h"

bool setup_gw_xy_cells(run_state& rs) {
    xy_input& in = rs.cards.xy_in;
    if (!in.gwpts.empty() && !check_xy_cells(in, rs.GNUM)) return false;
    fill_cell_centres(rs);
    std::vector<double> x(static_cast<size_t>(rs.GNUM) + 1, 0.0);   // m
    std::vector<double> y(static_cast<size_t>(rs.GNUM) + 1, 0.0);   // m
    for (int c = 1; c <= rs.GNUM; ++c) {
        x[static_cast<size_t>(c)] = rs.cell_x[c];
        y[static_cast<size_t>(c)] = rs.cell_y[c];
    }
    return setup_xy_gw_interpolation(in, rs.gwbound, rs.GNUM, x, y);
}

void apply_gw_xy_heads(run_state& rs) {
    const xy_input& in = rs.cards.xy_in;
    if (in.gwpts.empty() && in.gw_interp_cells.empty()) return;
    const size_t n = static_cast<size_t>(rs.GNUM);
    if (rs.elevgw.size() <= n || rs.gw_storage.size() <= n || rs.gw_porosity.size() <= n ||
        rs.gwbound.size() <= n)
        return;
    double gain = 0.0, loss = 0.0;   // m3
    const bool solved = gw_aquifer_solved(rs);
    // Solved heads: the water at the storage coefficient of the solve, the
    // fixed-head cells outside the aquifer's books (their exchange with the
    // neighbours is the boundary flux). Unsolved heads: the aquifer's stored
    // water is counted at its porosity in every cell, so every held cell's
    // change comes from the outer model.
    if (solved) {
        apply_xy_gw_boundary(in, rs.elevgw.data(), rs.gw_storage.data(), rs.cell_size, rs.time,
                             gain, loss, rs.gwbound.data());
    } else {
        apply_xy_gw_boundary(in, rs.elevgw.data(), rs.gw_porosity.data(), rs.cell_size, rs.time,
                             gain, loss);
    }
    rs.vol_xy_gain += gain;
    rs.vol_xy_loss += loss;
    rs.event_vol_xy_gain_gw += gain;
    rs.event_vol_xy_loss_gw += loss;
    // The solver books the stored water it moves; the held heads move it too.
    if (solved) rs.gw_vol_storage_change += gain - loss;
}
