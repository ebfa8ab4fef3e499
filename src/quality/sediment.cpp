#include "quality/sediment.h"
#include "run/run_state.h"

// Not built yet: these steps do nothing.
void init_overland_sediment(run_state&) {}
