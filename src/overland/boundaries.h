// Overland boundary conditions, overland pumps and the running maximum depth.
// Not built yet: these steps exist with their names and change nothing.
#pragma once

struct run_state;

// Start-up reader of the boundary types (card ov_boundary).
void read_overland_boundary_types(run_state& rs);
// Boundary values for the current time.
void compute_boundary_values(run_state& rs);
// Applies the boundary conditions to the depths for a step of dt seconds.
void apply_overland_boundaries(run_state& rs, double dt);
// Takes the pumped water out of the pumped cells for a step of dt seconds.
void apply_overland_pumps(run_state& rs, double dt);
// Keeps the running maximum depth per cell (card flood_grid).
void update_max_depth(run_state& rs);
