#include "overland/boundaries.h"
#include "run/run_state.h"

// Not built yet: these steps do nothing.
void read_overland_boundary_types(run_state&) {}
void compute_boundary_values(run_state&) {}
void apply_overland_boundaries(run_state&, double) {}
void apply_overland_pumps(run_state&, double) {}
void update_max_depth(run_state&) {}
