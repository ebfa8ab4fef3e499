// Constituent transport steps of the time loop.
#pragma once

struct run_state;

void step_soil_constituents(run_state& rs);
void step_sediment_bound_sources(run_state& rs);
void step_overland_constituent_sources(run_state& rs);
// Called by the processes that move surface water between two cells (or
// between a cell and the outside, cell 0) while overland constituents are
// carried: the next sources step moves the mass of that water at the giving
// side's concentration.
void record_surface_move(run_state& rs, int from, int to, double volume);
void step_overland_constituent_transport(run_state& rs);
// After the channel step: the cells and the channel nodes exchange the mass
// of the lateral water that step moved.
void exchange_lateral_constituents(run_state& rs);
void step_channel_sediment_constituents(run_state& rs);
void add_channel_lateral_constituents(run_state& rs);
void route_channel_constituents(run_state& rs);
