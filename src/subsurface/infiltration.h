// Infiltration step and overland point sources.
#pragma once

struct run_state;

void apply_overland_point_sources(run_state& rs);
void compute_infiltration(run_state& rs);
