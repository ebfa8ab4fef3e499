// Green-Ampt infiltration with redistribution.
#pragma once

struct run_state;

// One infiltration update over `seconds` (s).
void infiltrate_redistribution(run_state& rs, double seconds);
