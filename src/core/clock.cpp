#include "core/clock.h"
#include "core/run_state.h"

// Not built yet: these steps do nothing.
void check_time_settings(run_state&) {}
void set_start_clock(run_state&) {}
void advance_clock(run_state&) {}
