// Overland surface set-up: dikes and low spots, wetlands, retention depth,
// Manning roughness and the copy of the roughness kept for snow-covered
// flow. Each reader runs once at start-up and reports failures through the
// error record (code 4000 after its own message, reported at once).
#pragma once
#include "overland/boundaries.h"

struct run_state;

// Dike map (card dike_map) into dike_mask as a per-cell integer map, then the
// low-spot file (card lowspot_file) into the low-spot records.
void read_dike_map(run_state& rs);
// Wetland numbers and records from the WETLAND_PROPERTIES section of the
// mapping table (only when the table holds that section).
void read_wetland_map(run_state& rs);
// Retention depth per cell (m) from the map (mm), the RETENTION section of the
// mapping table (mm) or the uniform retention card (mm); 0 otherwise.
void read_retention_map(run_state& rs);
// Manning n per cell from the roughness map or the ROUGHNESS section, else
// the uniform manning_n card; every cell must get n > 0.
void read_roughness_map(run_state& rs);
// With snow_roughness (and without snow_darcy): snow_manning_n and the copy
// dist_rough_copy of the roughness that the overland step restores.
void copy_snow_roughness(run_state& rs);
