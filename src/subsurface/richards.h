// Richards-equation infiltration in soil columns.
#pragma once

struct run_state;

// Start-up of the soil columns (called by read_soil_maps).
void init_richards(run_state& rs);

// Advances every cell's soil column over `seconds` (s) and returns the
// evaporation depth of that interval summed over the cells (m). `event_start`
// is 1 when the event start calls it between events, 0 from the infiltration step.
double solve_richards(run_state& rs, double seconds, int event_start);
