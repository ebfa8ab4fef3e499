#include "subsurface/groundwater.h"
#include "run/run_state.h"

// Not built yet: these steps do nothing.
void read_gw_maps(run_state&) {}
void update_groundwater(run_state&) {}
