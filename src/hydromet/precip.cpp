#include "hydromet/precip.h"
#include "core/run_state.h"

// Not built yet: these steps do nothing.
void init_precip_input(run_state&) {}
void read_precip_event(run_state&) {}
void distribute_rainfall(run_state&) {}
void apply_rainfall(run_state&) {}
