// Overland surface maps: dikes, wetlands, boundaries, retention and roughness.
#pragma once

struct run_state;

void read_dike_map(run_state& rs);
void read_wetland_map(run_state& rs);
void read_overland_boundary_types(run_state& rs);
void read_retention_map(run_state& rs);
void read_roughness_map(run_state& rs);
void copy_snow_roughness(run_state& rs);
