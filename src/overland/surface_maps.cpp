#include "overland/surface_maps.h"
#include "core/run_state.h"

// Not built yet: these steps do nothing.
void read_dike_map(run_state&) {}
void read_wetland_map(run_state&) {}
void read_overland_boundary_types(run_state&) {}
void read_retention_map(run_state&) {}
void read_roughness_map(run_state&) {}
void copy_snow_roughness(run_state&) {}
