// Interception maps.
#pragma once

struct run_state;

void read_interception_maps(run_state& rs);
