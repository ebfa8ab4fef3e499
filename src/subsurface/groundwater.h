// Two-dimensional groundwater: start-up (gw_setup.cpp) and the time-loop step.
#pragma once

struct run_state;

// Start-up: the solver cards (gw_relax_coeff required in (0, 2), gw_timestep
// and gw_lsor_con above 0), boundary codes (0..8), wells or static fluxes,
// conductivity (cm/h in, m/s kept) and porosity, well output locations.
void read_gw_maps(run_state& rs);

// The static flux table of the card gw_flux_boundtable: a cell count, then
// per cell "row column rate" with the rate in m3/day (positive withdraws),
// stored in rs.gw_static_flux as m/s. A row or column outside the grid or
// the watershed mask, a short file or a bad number prints a message naming
// the file and line and sets code 4000; false then.
bool read_static_flux_table(run_state& rs);

// Time-loop step of the saturated zone, acting when its clock is due.
void update_groundwater(run_state& rs);

// True when the heads are solved: groundwater under a soil scheme that feeds
// it recharge (redistribution, layered or Richards). Otherwise the aquifer is
// a store of fixed heads outside the water balance.
bool gw_aquifer_solved(const run_state& rs);

// Books the channel exchange volumes gathered in the stream cells since the
// last call into the run and event totals (+ aquifer to channel), m3. Without
// solved heads the volumes are then cleared; with them they stay for the
// solver, and only what was gathered since the last call is booked.
void book_channel_exchange(run_state& rs);

// A long-term run whose dry surface waits for the next event: when a cell
// exfiltrates while no rain falls, the overland and infiltration clocks are
// pulled forward to the next model step from now (the infiltration on the
// overland step), so the water the table brings up is routed at once; the
// redistribution scheme first takes its start values from the current soil
// water. True when a clock moved.
bool restart_surface_on_exfiltration(run_state& rs);
