// Groundwater heads of an inset model held at the outer model's heads: the
// cells of the groundwater XY points and the interpolated cells (code 8).
#pragma once

struct run_state;

// Groundwater set-up: refuses XY points on cells outside the grid, turns the
// cells of code 8 into fixed-head cells with their interpolation weights.
// False after a printed refusal (code 4000).
bool setup_gw_xy_cells(run_state& rs);

// Each groundwater step: sets the XY heads of the current time and books
// the water stored or released (head change x cell area x storage, m3) to
// the run and event XY gain and loss totals. Solved heads: the storage
// coefficient of the solve, fixed-head cells not booked (their exchange is
// the boundary flux), the volumes added to the solved storage change.
// Unsolved heads: the aquifer porosity, every held cell booked.
void apply_gw_xy_heads(run_state& rs);
