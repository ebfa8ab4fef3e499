#include "hydromet/interception.h"
#include "core/run_state.h"

// Not built yet: these steps do nothing.
void read_interception_maps(run_state&) {}
