// Storm-drain and tile-drain network.
#pragma once

struct run_state;

void setup_superlink(run_state& rs);
void connect_superlink_outlets(run_state& rs);
void run_superlink_coupling(run_state& rs);
