// Initial state, hotstarts and initial storages: the starting snow, surface
// water and soil moisture of every cell and the starting volumes that the
// mass balances of the run compare against.
#pragma once

struct run_state;

// Initial snow water equivalent (map or uniform value), overland depth
// hotstart map and uniform initial water surface.
void read_initial_surface_state(run_state& rs);
// Soil moisture hotstart map into the state of the infiltration scheme.
void read_soil_moisture_hotstart(run_state& rs);
// Per-cell start values of the infiltration, soil and snow state and the
// initial soil, groundwater and overland-lake volumes.
void set_initial_state(run_state& rs);
// Initial surface water volume outside the lakes, m3.
void compute_initial_surface_volume(run_state& rs);

// Relative saturation of the top `depth` cm of a Richards column: for
// K = 1, 2, ... the sum of theta/theta_s x dz over nodes 1..K divided by the
// thickness of nodes 2..K+1, at the first K whose thickness reaches `depth`.
// The search stops at the last node of the column: a column shallower than
// `depth` gives the value of its whole depth. Returns 0 for a cell without a
// column (or one of fewer than two nodes).
double richards_sampled_saturation(const run_state& rs, int cell, double depth);
