#include "subsurface/soils.h"
#include "core/run_state.h"

// Not built yet: these steps do nothing.
void read_soil_maps(run_state&) {}
