// Long-term hydrometeorology and evapotranspiration.
#pragma once

struct run_state;

void update_hydromet(run_state& rs);
void compute_soil_et(run_state& rs);
