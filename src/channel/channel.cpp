#include "channel/channel.h"
#include "core/run_state.h"

// Not built yet: these steps do nothing.
void route_channels(run_state&) {}
void read_chan_point_inputs(run_state&) {}
void init_chan_point_inputs(run_state&) {}
