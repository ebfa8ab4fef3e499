// Watershed mask, cell numbering and elevation map.
#pragma once

struct run_state;

void read_watershed_mask(run_state& rs);
void read_elevation_map(run_state& rs);
