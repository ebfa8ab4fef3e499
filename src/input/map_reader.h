// The ASCII grid map reader: every raster input of a run (watershed mask,
// elevation, parameter maps, index maps, hotstart maps) is a grid map of six
// header lines (north, south, east, west, rows, cols) and one value per grid
// position, row 1 (north) first, each row from column 1 (west).
//
// The map kind chooses how the values are stored:
//   kind 1  reals into the first per-cell array, cells inside the mask only
//   kind 2  every integer into the integer grid [row][col]
//   kind 3  reals into the second per-cell array, cells inside the mask only
//   kind 4  integer IDs into the per-cell int array, cells inside the mask
//           only, each ID 1..9999 also counted in the category table
// Per-cell arrays are filled from slot 1 in row-major order of the mask, so
// the k-th stored value belongs to cell k.
#pragma once
#include <cstdio>
#include <vector>

struct file_object;
struct run_state;

constexpr int kMapCellReals = 1;     // reals per mask cell into the first array
constexpr int kMapGridInts = 2;      // integers into the whole grid
constexpr int kMapSecondReals = 3;   // reals per mask cell into the second array
constexpr int kMapCellIds = 4;       // integer IDs per mask cell, counted by category

constexpr int kMapCategoryCount = 9999;   // the category table counts IDs 1..9999

// Reads a grid map from the open file `f` (left open; the caller closes it).
// `path` names the map in messages. The six header values go to north..cols
// (m for the edges). `grid` is the mask ([0..rows][0..cols], 0 outside the
// watershed) for kinds 1, 3 and 4 and the grid to fill for kind 2; it must
// hold at least [0..expected_rows][0..expected_cols]. Only the per-cell array
// the kind names is written, and never beyond its size. Returns true when the
// whole map was read; on failure the message is printed, error_record holds
// code 4000 and report_error has raised the stop flag.
bool read_map_file(file_object& f, const char* path, int map_kind, double& north, double& south,
                   double& east, double& west, int& rows, int& cols, int** grid,
                   std::vector<double>* first_reals, std::vector<double>* second_reals,
                   std::vector<int>* ids, int expected_rows, int expected_cols);

// Count of ID `id` (1..kMapCategoryCount) in the last kind-4 map; 0 for any other ID.
int map_category_count(int id);

// Reports a map header that gives no rows or columns (code 354 for an ESRI
// ASCII grid, 355 otherwise), naming the map and the first word of its file,
// which is read again from the start. Raises the stop flag.
void report_unreadable_map_header(FILE* in, const char* path);

// For index maps whose IDs index a table: refuses a negative ID among cells
// 1..cell_count of `ids` with a message naming the map and the cell (code 4000,
// reported). Returns true when every ID is 0 or more.
bool refuse_negative_map_ids(const std::vector<int>& ids, int cell_count, const char* path);

// Start-up progress line of a reader: on the console unless the run is quiet
// or this is not the first process, and always into the summary file.
void print_reading_line(run_state& rs, const char* format, const char* name);

// True when start-up lines may go to the console (not quiet, first process).
bool console_lines_on(const run_state& rs);
