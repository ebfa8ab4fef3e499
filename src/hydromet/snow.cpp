#include "hydromet/snow.h"
#include "run/run_state.h"

// Not built yet: these steps do nothing.
void read_snow_bands(run_state&) {}
void init_snow_array(run_state&) {}
