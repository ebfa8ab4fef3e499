#include "input/grid.h"
#include "core/run_state.h"

// Not built yet: these steps do nothing.
void read_watershed_mask(run_state&) {}
void read_elevation_map(run_state&) {}
