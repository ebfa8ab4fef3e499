#include "stormdrain/superlink.h"
#include "run/run_state.h"

// Not built yet: these steps do nothing.
void setup_superlink(run_state&) {}
void connect_superlink_outlets(run_state&) {}
void run_superlink_coupling(run_state&) {}
