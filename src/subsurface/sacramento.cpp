#include "subsurface/sacramento.h"
#include "run/run_state.h"

// Not built yet: these steps do nothing.
void load_sacramento_params(run_state&) {}
void compute_sacramento(run_state&) {}
