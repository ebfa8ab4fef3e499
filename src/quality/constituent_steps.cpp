#include "quality/constituent_steps.h"
#include "run/run_state.h"

// Not built yet: sediment-bound constituents (refused by the feature check)
// do nothing.
void step_sediment_bound_sources(run_state&) {}
void step_channel_sediment_constituents(run_state&) {}
