#include "overland/olake.h"
#include "run/run_state.h"

// Not built yet: these steps do nothing.
void read_overland_lakes(run_state&) {}
void update_overland_lakes(run_state&) {}
