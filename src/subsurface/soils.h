// Soil parameter maps.
#pragma once

struct run_state;

void read_soil_maps(run_state& rs);
