// Overland sediment set-up.
#pragma once

struct run_state;

void init_overland_sediment(run_state& rs);
