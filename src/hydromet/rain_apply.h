// Rain application: the depth of each rain step onto the cells (after
// interception), a channel-network lake, an overland lake's inflow or, in
// long-term runs when the air is cold enough, the snow pack.
#pragma once

struct run_state;

// Seconds since the last rain application: the interval of the rain step due
// now. Julian times near 2.45e6 days carry about 5e-5 s of rounding, so an
// elapsed time within the time tolerance of the rain interval is that interval.
double rain_step_length(const run_state& rs);

// The snow routine (snow accumulation and melt) for an elapsed time in
// seconds, called from the rain application (from_hmet 0) or the long-term
// hydromet step (from_hmet 1). Returns 1 while some cell holds snow water
// equivalent above 1e-16 m, else 0.
int compute_snow(run_state& rs, double elapsed_seconds, int from_hmet);
