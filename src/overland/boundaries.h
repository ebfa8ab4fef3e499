// Overland boundary conditions (card ov_boundary): free outflow over the
// watershed edge, held water levels, specified inflows and withdrawals, and
// rating-curve exchanges between neighbouring cells.
#pragma once

struct run_state;

// Start-up reader of the boundary types from the OVERLAND_BOUNDARY section of
// the mapping table (type and parameter per ID, bound to the cells by its
// index map). Refuses, naming the table and line, types other than 0 to 7 and
// 99, a free-outflow slope that is not above 0, a series ID (types 3 to 5)
// without a series of the time-series index, and a rating-curve ID (types 6,
// 7) that is not a whole number above 0. Builds the lists of boundary cells.
void read_overland_boundary_types(run_state& rs);

// Boundary values for the current time (ov_boundary_value): the slope of type
// 1, the level of type 2, the series value of types 3 to 5.
void compute_boundary_values(run_state& rs);

// Applies the boundary conditions to the depths for a step of dt seconds, in
// cell order, and adds the moved water to the six boundary totals (m3):
//   1 free outflow: each of the N faces on the watershed edge passes
//     I = sqrt(S) h^(5/3) / n x dt / dx of depth; N x I leaves (the whole depth
//     when less), booked as slope loss;
//   2, 3 the depth becomes max(0, level - ground), booked as head gain or loss;
//   4, 5 a discharge (ft3/s, m3/s): inflow booked as gain, withdrawal as loss,
//     a withdrawal beyond the water present as unmet;
//   6, 7 rating-curve exchange with neighbouring type 99 cells (6 both ways,
//     7 outwards only), never more than evens the two levels.
void apply_overland_boundaries(run_state& rs, double dt);

// Puts the cells of types 2 and 3 back to their held depth in `depth` (m, per
// cell) after the routing has moved water through them; the water that took
// is added to `gain` and the water they gave up to `loss` (m3); with
// `cell_loss` (one slot per cell of ov_head_cells, m3) also each cell's loss.
void hold_head_cells(const run_state& rs, double* depth, double& gain, double& loss,
                     double* cell_loss = nullptr);

// While constituents are carried: the per-head-cell losses of an overland
// step's attempt, cleared (null when not needed); an attempt that is
// restarted with a shorter sub-step clears them again.
double* clear_head_cell_losses(run_state& rs);

// Adds the losses of the step's last attempt to the water that left each
// held cell (constituent_cells::bc_volume, m3).
void book_head_cell_losses(run_state& rs);

// True for a cell whose depth the boundary holds (types 2, 3 and 9).
inline bool held_boundary_type(int type) {
    return type == 2 || type == 3 || type == 9;
}
