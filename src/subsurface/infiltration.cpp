#include "subsurface/infiltration.h"
#include "core/run_state.h"

// Not built yet: these steps do nothing.
void apply_overland_point_sources(run_state&) {}
void compute_infiltration(run_state&) {}
