#include "subsurface/redistribution.h"
#include "run/run_state.h"

// Not built yet: read_soil_maps refuses the inf_redist card, so this is never reached in a run.
void infiltrate_redistribution(run_state&, double) {}
