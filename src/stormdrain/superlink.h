// Storm-drain and tile-drain network.
#pragma once

struct run_state;

void setup_superlink(run_state& rs);
void connect_superlink_outlets(run_state& rs);
void run_superlink_coupling(run_state& rs);

// Channel step: adds the water each channel outfall delivered since the last
// channel step to its node's lateral inflow over the step of dt_c seconds,
// and clears it.
void add_superlink_outflow_to_channels(run_state& rs, double dt_c);
