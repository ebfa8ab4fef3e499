// Two-dimensional groundwater.
#pragma once

struct run_state;

void read_gw_maps(run_state& rs);
void update_groundwater(run_state& rs);
