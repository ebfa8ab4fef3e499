// The infiltration step: at each infiltration update it calls the one method
// the project chose, exchanges water between a shallow water table and the
// surface for the methods that know a water table, and books the step's
// infiltration into the run totals. Depths in m, volumes in m3, times in
// Julian days, intervals in s.
#pragma once
#include "subsurface/point_sources.h"

struct run_state;

// Time-loop step (acts only when run_state.infil_next is due).
void compute_infiltration(run_state& rs);

// Creates the per-cell arrays of the infiltration step that the cell
// allocation does not create (theta_all, infil_rate, infil_depth,
// exfil_depth, and those of the long-term, constituent and point-source
// hand-offs when they are on); arrays already of GNUM + 1 slots keep their values.
void init_infiltration_arrays(run_state& rs);

// True when the long-term soil accounting (evapotranspiration withdrawal from
// the soil between events) is on.
bool soil_accounting_on(const run_state& rs);

// Water-table exchange of one infiltration update over `seconds` (s) for the
// cells whose water table reaches the surface (yes_exfil); positive moves
// water up onto the surface, and never more than the cell holds is taken.
void exchange_water_table(run_state& rs, double seconds);

// Books the increments cum_infil - cum_infil_prev of every cell into the run
// totals, in cell order, and sets cum_infil_prev = cum_infil.
void add_infiltration_totals(run_state& rs);

// End of the run: the water that drained out of the bottom of the Richards
// columns (gw_recharge_depth, cm) or of the root zone of the redistribution
// and layered soils (bottom_flux, cm) since the last event end, which no
// aquifer takes when groundwater is not simulated, is booked as downward flux
// (vol_unsat_downward, m3) and cleared; a second call adds nothing.
void book_pending_drainage(run_state& rs);
