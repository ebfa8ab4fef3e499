// Water exchanged by the storm-drain network in one solve: inlets that take
// surface water from their cells, tile inflow, surcharged junctions and
// nodes that return water to their cells, and the outfalls; and the
// per-call flows file "superlink_flows.out".
#pragma once

struct run_state;
struct sd_call_tally;

// Rate one inlet takes from water of depth `depth` (m) on its cell (m3/s):
// weir flow over three sides of a grate of side `grate_side` (m) while the
// depth is 0.4 ft or less, orifice flow through a grate opening of
// diameter `grate_dia` (m) from 1 ft up, the smaller of the two between.
double inlet_capture_rate(double depth, double grate_side, double grate_dia);

// Before the solve, for interval dt (s): the rate each junction's inlets
// can take (set aside on its cell) and its hold level, the tile inflow of
// each junction, and the node inlets and releases (cell depths, node inflows).
void exchange_before_solve(run_state& rs, double dt, sd_call_tally& t);

// After the solve: each inlet junction takes its exchange from its cell (or
// spills onto it), each outfall delivers its exchange to its channel node
// (999) or cell (888); the call's tallies are completed.
void exchange_after_solve(run_state& rs, double dt, sd_call_tally& t);

// Creates "superlink_flows.out" with its header; false after a message.
bool open_flows_file(run_state& rs);

// One line of the flows file for the call just made.
void write_flows_line(run_state& rs, double dt, const sd_call_tally& t);
