#include "quality/contaminant.h"
#include "run/run_state.h"

// Not built yet: these steps do nothing.
void read_contaminant_inputs(run_state&) {}
void init_constituent_state(run_state&) {}
