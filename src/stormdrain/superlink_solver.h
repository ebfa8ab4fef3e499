// One solve of the storm-drain network over a coupling interval: surface
// exchange before the solve, the superlink reduction of every chain of
// pipes, the junction heads, the pipe flows and depths, the outfalls.
#pragma once

struct run_state;
struct sd_link;

// Sets the network to its starting state: heads at the junction bottoms,
// depths 1e-4 m, no flow; returns the water it then holds (m3).
double init_superlink_state(run_state& rs);

// Advances the network over dt seconds; the volumes of the call go to
// rs.superlink_tally. Returns 0, or -1 with the error record set (a singular
// junction system, code 134; a pipe depth beyond 10 pipe sizes, stopped
// with a message naming superlink and node).
int superlink_step(run_state& rs, double dt);

// The superlink reduction of one superlink for interval dt (s) with the
// junction heads before the solve (m): geometry, momentum and continuity
// coefficients, the two recurrences, the end relations and the six link
// coefficients (in s.w), and the storage of the half pipes at the two
// ends (s.w.E_us, s.w.E_ds, m2).
void reduce_superlink(sd_link& s, double dt, double H_us, double H_ds);

// Recovers the end discharges, the node depths and the pipe discharges of
// one superlink from the new junction heads (m). Returns 0, or the node
// whose depth left +-10 pipe sizes; water the 1e-4 m floor adds goes to
// s.w.corrections (m3).
int recover_superlink(sd_link& s, double dt, double H_us, double H_ds);
