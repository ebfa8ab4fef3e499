// Long-term hydrometeorology and evapotranspiration.
#pragma once

struct run_state;

void update_hydromet(run_state& rs);
void compute_soil_et(run_state& rs);
// Potential and actual evapotranspiration of every cell from the current
// hmet record (pet_rate, aet_rate in cm/s).
void evapo_trans(run_state& rs);
