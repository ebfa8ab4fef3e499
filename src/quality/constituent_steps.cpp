#include "quality/constituent_steps.h"
#include "run/run_state.h"

// Not built yet: these steps do nothing.
void step_soil_constituents(run_state&) {}
void step_sediment_bound_sources(run_state&) {}
void step_overland_constituent_sources(run_state&) {}
void step_overland_constituent_transport(run_state&) {}
void step_channel_sediment_constituents(run_state&) {}
void add_channel_lateral_constituents(run_state&) {}
void route_channel_constituents(run_state&) {}
