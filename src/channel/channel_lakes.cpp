#include "channel/channel_lakes.h"
#include "run/run_state.h"

// Not built yet: this step does nothing.
void update_lake_cells(run_state&) {}
