#include "overland/connectivity.h"
#include "core/run_state.h"

// Not built yet: these steps do nothing.
void build_cell_connectivity(run_state&) {}
void compute_cell_slopes(run_state&) {}
