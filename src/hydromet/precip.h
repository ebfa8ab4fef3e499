// Precipitation: gage and radar events, rain per cell and rain application.
#pragma once

struct run_state;

void init_precip_input(run_state& rs);
void read_precip_event(run_state& rs);
void distribute_rainfall(run_state& rs);
void apply_rainfall(run_state& rs);
