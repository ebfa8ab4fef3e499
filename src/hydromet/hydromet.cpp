#include "hydromet/hydromet.h"
#include "run/run_state.h"

// Not built yet: these steps do nothing.
void update_hydromet(run_state&) {}
void compute_soil_et(run_state&) {}
