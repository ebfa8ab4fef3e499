// Watershed mask, cell numbering and elevation map.
//
// The cells whose mask value is not 0 are numbered 1..GNUM row by row from
// the north-west corner; the k-th mask cell in this order is cell k in every
// per-cell array of the run.
#pragma once
#include <vector>

struct run_state;

// Allocates the mask grid, zeroed, with a zero border:
// [0..mask_rows+1][0..mask_cols+1] (name "mask"). Does nothing for a grid that
// already exists.
void alloc_mask_grids(run_state& rs);

// Reads the watershed mask (kind-2 map) from the open mask file and closes it,
// checks the cell size against the header, numbers the cells, keeps the
// mask's edges and cell sizes for the cell positions, writes "maskmap" and
// sets the watershed area.
// Failures are left in error_record.
void read_watershed_mask(run_state& rs);

// Give every cell its grid row and column (cell_row, cell_col), and its
// centre coordinates (cell_x, cell_y, m, from the mask's header), unless the
// arrays hold every cell already. The steps that read them call these first.
void fill_cell_rows(run_state& rs);
void fill_cell_centres(run_state& rs);

// Reads the ground elevation of every cell (kind-1 map) from the open
// elevation file, closes it and finds the outlet cell. Does nothing but close
// the file when the stop flag is already raised (for example after a cell-size
// mismatch of the mask).
void read_elevation_map(run_state& rs);

// True when the cell sizes agree to 0.1 m after adding 0.001 m to both, the
// test applied to the mask header (sizes in m).
bool cell_sizes_agree(double project_size, double map_size);

// For entry `index` of a location list: when (row_list[index], col_list[index])
// is a mask cell of the grid rows x cols, stores its cell number in
// cell_list[index], prints "%d  %d   %d \n" and returns true. A position outside
// the grid or the watershed leaves the entry unchanged and returns false.
bool cell_number_at(int** mask, int rows, int cols, const std::vector<int>& row_list,
                    const std::vector<int>& col_list, std::vector<int>& cell_list, int index);
