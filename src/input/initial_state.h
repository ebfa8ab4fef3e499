// Initial state, hotstarts and initial storages.
#pragma once

struct run_state;

void read_initial_surface_state(run_state& rs);
void read_soil_moisture_hotstart(run_state& rs);
void set_initial_state(run_state& rs);
void compute_initial_surface_volume(run_state& rs);
