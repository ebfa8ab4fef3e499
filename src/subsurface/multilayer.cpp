#include "subsurface/multilayer.h"
#include "run/run_state.h"

// Not built yet: read_soil_maps refuses the inf_layered_soil card, so this is never reached in a run.
void infiltrate_multilayer(run_state&, double) {}
