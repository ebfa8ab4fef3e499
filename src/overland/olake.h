// Overland lakes.
#pragma once

struct run_state;

void read_overland_lakes(run_state& rs);
void update_overland_lakes(run_state& rs);
