// One solve of the storm-drain network over a coupling interval: surface
// exchange before the solve, the superlink reduction of every chain of
// pipes, the junction heads, the pipe flows, the water of every node and
// junction and the depths and heads that hold it, the outfalls.
#pragma once

struct run_state;
struct sd_link;

// Sets the network to its starting state: empty (heads at the junction
// bottoms, depths 0), no flow; returns the water it then holds (m3, 0).
double init_superlink_state(run_state& rs);

// Advances the network over dt seconds; the volumes of the call go to
// rs.superlink_tally, the per-inlet and per-outfall volumes to the junctions
// and nodes. Returns 0, or -1 with the error record set (a singular junction
// system, code 134; a solution that is no longer finite or diverges, codes
// 260 and 261 naming superlink and node or the junction, and the time).
int superlink_step(run_state& rs, double dt);

// The superlink reduction of one superlink for interval dt (s) with the
// junction heads before the solve (m): geometry, momentum and continuity
// coefficients, the two recurrences, the end relations and the six link
// coefficients (in s.w), and the storage of the half pipes at the two
// ends (s.w.E_us, s.w.E_ds, m2). An end can run free (at critical depth)
// only into a junction with a pool below it (`us_pool`, `ds_pool`: a plan
// area, or an outfall); at any other its depth follows the junction's head.
void reduce_superlink(sd_link& s, double dt, double H_us, double H_ds, bool us_pool = true, bool ds_pool = true);

// Recovers the end discharges, the pipe discharges, the end depths of the
// end relations and the node depths of the linear solve (s.w.guess) of one
// superlink from the new junction heads (m), and the water of its interior
// nodes after the call's flows (s.w.water, m3).
void recover_superlink(sd_link& s, double dt, double H_us, double H_ds);

// Water a node of superlink s holds at depth h (m): the half pipes beside it
// and its storage area, with the slot of a full pipe (m3).
double node_water(const sd_link& s, int k, double h);

// Width of the slot a full pipe keeps above its crown, m.
double pipe_slot_width(int type, double size, double width);
