// Snow bands and snow pack set-up.
#pragma once

struct run_state;

void read_snow_bands(run_state& rs);
void init_snow_array(run_state& rs);
