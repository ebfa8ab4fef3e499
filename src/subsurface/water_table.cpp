#include "subsurface/water_table.h"
#include "run/run_state.h"

// Not built yet: this start-up reader does nothing.
void read_water_table_maps(run_state&) {}
