#include "input/initial_state.h"
#include "core/run_state.h"

// Not built yet: these steps do nothing.
void read_initial_surface_state(run_state&) {}
void read_soil_moisture_hotstart(run_state&) {}
void set_initial_state(run_state&) {}
void compute_initial_surface_volume(run_state&) {}
