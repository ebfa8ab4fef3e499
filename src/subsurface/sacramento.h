// Sacramento soil-moisture accounting.
#pragma once

struct run_state;

void load_sacramento_params(run_state& rs);
void compute_sacramento(run_state& rs);
