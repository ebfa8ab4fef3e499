// Cell neighbours and bed slopes.
#pragma once

struct run_state;

void build_cell_connectivity(run_state& rs);
void compute_cell_slopes(run_state& rs);
