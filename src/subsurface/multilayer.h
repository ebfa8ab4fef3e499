// Multi-layer Green-Ampt infiltration.
#pragma once

struct run_state;

// One infiltration update over `seconds` (s).
void infiltrate_multilayer(run_state& rs, double seconds);
