// Per-cell array allocation of the switched-on processes, and the reading of
// the overland output-location lists.
//
// Every per-cell array is a std::vector of GNUM + 1 zeroed elements used from
// index 1; with GNUM = 0 it stays empty.
#pragma once
#include <vector>

struct file_object;
struct run_state;

// Creates the per-cell arrays of every group whose process the options switch
// on, then reads the overland depth and water-surface location lists. A failed
// allocation prints "Error allocating memory for variable %s\n" and leaves the
// array empty; a bad location list stops the run (code 4000).
void alloc_cell_arrays(run_state& rs);

// Sizes `v` to n + 1 elements of `value` (n = 0: empty; n < 0: the size-0
// message and empty). False when the allocation failed (message printed).
bool size_cell_array(std::vector<double>& v, int n, const char* name, double value = 0.0);
bool size_cell_array(std::vector<int>& v, int n, const char* name, int value = 0);

// Reads a location list: a count, then one "row column" pair per line, into
// slots 1..count of rows and cols (count + 2 elements each). Every row must lie
// in 1..grid_rows and every column in 1..grid_cols, the count in
// 0..grid_rows x grid_cols, and the file must hold `count` pairs; otherwise a
// message naming the file (and line) is printed, code 4000 is reported and
// false is returned with count 0 and both lists empty.
bool read_location_list(file_object& f, const char* path, int grid_rows, int grid_cols, int& count,
                        std::vector<int>& rows, std::vector<int>& cols, const char* row_name,
                        const char* col_name);
