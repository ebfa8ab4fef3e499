// Per-cell array allocation of the switched-on processes.
#pragma once

struct run_state;

void alloc_cell_arrays(run_state& rs);
