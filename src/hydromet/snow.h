// Snow bands and snow pack set-up.
#pragma once

struct run_state;

void read_snow_bands(run_state& rs);
void init_snow_array(run_state& rs);

// Clears the snow routine's hourly precipitation history (the six whole
// hours and the partial hour) of every cell: the hydromet step calls it once
// the rain has ended and no snow is left, so a later pack starts afresh.
void clear_snow_precip_history(run_state& rs);
