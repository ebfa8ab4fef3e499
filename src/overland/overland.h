// Overland flow step.
#pragma once

struct run_state;

void route_overland(run_state& rs);
