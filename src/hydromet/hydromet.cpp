#include "hydromet/hydromet.h"
#include "run/run_state.h"

// Not built yet: this step does nothing.
void update_hydromet(run_state&) {}
