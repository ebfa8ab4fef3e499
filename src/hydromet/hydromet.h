// Long-term hydrometeorology and evapotranspiration.
#pragma once

struct run_state;

void update_hydromet(run_state& rs);
// Evapotranspiration withdrawal and root-zone drainage (subsurface/soil_et.cpp).
void compute_soil_et(run_state& rs);

