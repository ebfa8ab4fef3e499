// Channel network set-up and routing step.
#pragma once

struct run_state;

void setup_channel_network(run_state& rs);
void init_channel_state(run_state& rs);
void route_channels(run_state& rs);
void read_chan_point_inputs(run_state& rs);
