// Cell neighbours and bed slopes: the grid topology that every overland
// routine uses, built once per run after the maps are read.
//
// Cells are numbered row by row (row 1 at the top, rows grow downwards);
// side codes of a cell: 1 top (abovecon), 2 right (rightcon), 4 bottom
// (belowcon), 8 left (leftcon).
#pragma once
#include <vector>

struct run_state;

// Fills the four neighbour arrays (cell numbers, 0 where the position lies
// outside the grid or the watershed) from the numbered mask
// [0..rows+1][0..cols+1]. The arrays are sized to hold every cell of the mask.
void fill_neighbour_arrays(int rows, int cols, std::vector<int>& rightcon,
                           std::vector<int>& belowcon, std::vector<int>& leftcon,
                           std::vector<int>& abovecon, int** mask);

// Neighbour arrays, then the check of every low spot against the grid, the
// dike map and the ground elevations (only with both the dike map and the
// low-spot file). A bad low spot prints its message, sets code 4000 and
// reports it.
void build_cell_connectivity(run_state& rs);

// Bed slopes (m/m, positive when the neighbour lies lower) towards the right
// neighbour (ov_slope_x) and the lower neighbour (ov_slope_y). A cell without
// a right neighbour takes the x slope of the cell numbered one lower; a cell
// on the bottom edge takes the y slope of the cell above it.
void compute_cell_slopes(run_state& rs);
