#include "core/event_control.h"
#include "core/run_state.h"

// Not built yet: these steps do nothing.
void start_event(run_state&) {}
void track_peak_flow(run_state&) {}
void print_progress(run_state&) {}
void check_run_end(run_state&) {}
void next_event(run_state&) {}
void finish_event(run_state&) {}
