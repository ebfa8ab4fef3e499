#include "core/option_check.h"
#include "core/run_state.h"

// Not built yet: these steps do nothing.
void check_project_options(run_state&) {}
