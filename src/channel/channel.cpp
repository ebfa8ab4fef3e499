#include "channel/channel.h"
#include "core/run_state.h"

// Not built yet: these steps do nothing.
void setup_channel_network(run_state&) {}
void init_channel_state(run_state&) {}
void route_channels(run_state&) {}
void read_chan_point_inputs(run_state&) {}
