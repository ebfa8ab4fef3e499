#include "input/run_files.h"
#include "core/run_state.h"

// Not built yet: these steps do nothing.
void open_run_files(run_state&) {}
