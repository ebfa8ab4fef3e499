// Water-table maps of the soil start-up.
#pragma once

struct run_state;

// Reads the water table and the aquifer maps (called by read_soil_maps).
void read_water_table_maps(run_state& rs);
