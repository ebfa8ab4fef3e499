// Two-dimensional unconfined groundwater solver: one head per cell, flow
// between the four grid neighbours, implicit in time, solved by line
// successive over-relaxation with transmissivities iterated to the heads.
#pragma once

struct run_state;

// Advances the heads (rs.elevgw, m) over dt seconds. Consumes the recharge,
// unsaturated, channel, lake and tile exchange gathered since the last call
// (the recharge depth is left for the caller to book and clear). Returns the
// net volume the sources and sinks added to the aquifer (m3, negative when
// they removed water). Adds the flow through fixed-head cells to rs.gw_flux
// (m3, + into the aquifer), the stored-water change as solved (S dh A) to
// rs.gw_vol_storage_change and any water added to keep 0.001 m saturated to
// rs.gw_vol_floor_lift. On failure (head not a number, no convergence) it
// prints the message naming time and cell or change, sets code 4000 and returns 0.
double solve_groundwater_2d(run_state& rs, double dt);

// One line-SOR solve of the system assembled in the rs.gw_coef_* arrays:
// rows (direction 1) or columns as tridiagonal lines, first to last (order 1)
// or last to first, relaxation w; passes repeat until the largest change of
// a pass (m) is below `tolerance`. Returns the passes made, or -1 when
// `pass_cap` passes did not converge; `largest` holds the last pass's change.
int gw_implicit_sweep(run_state& rs, double w, double tolerance, int order, int direction,
                      int pass_cap, double& largest);
