// Rain application: the depth of each rain step onto the cells (after
// interception), a channel-network lake, an overland lake's inflow or, in
// long-term runs when the air is cold enough, the snow pack.
#pragma once

struct run_state;

// The snow routine (snow accumulation and melt) for an elapsed time in
// seconds, called from the rain application (from_hmet 0) or the long-term
// hydromet step (from_hmet 1). Returns 1 while some cell holds snow water
// equivalent above 1e-16 m, else 0.
int compute_snow(run_state& rs, double elapsed_seconds, int from_hmet);
