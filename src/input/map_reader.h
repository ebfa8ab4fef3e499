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

#include "core/text.h"

struct file_object;
struct run_state;

constexpr int kMapCellReals = 1;     // reals per mask cell into the first array
constexpr int kMapGridInts = 2;      // integers into the whole grid
constexpr int kMapSecondReals = 3;   // reals per mask cell into the second array
constexpr int kMapCellIds = 4;       // integer IDs per mask cell, counted by category

constexpr int kMapCategoryCount = 9999;   // the category table counts IDs 1..9999

// Largest number of rows or columns of a map or grid: 46340 x 46340 cells
// (and a border row and column) still count within the int range.
constexpr int kMaxGridSide = 46340;

// The six header values of a grid map.
struct map_header {
    double north = 0.0;   // edges, m
    double south = 0.0;
    double east = 0.0;
    double west = 0.0;
    int rows = 0;
    int cols = 0;
};

// Reads the six header lines of the map at the start of `f` ("word value"
// each, the words ignored): the edges finite numbers, rows and columns
// whole numbers from 1 to kMaxGridSide. On a bad or missing value prints a
// message naming the map, the line and the value (code 4000 set, not yet
// reported) and returns false. `lines` receives the header lines read.
bool read_map_header(file_object& f, const char* path, map_header& header, int& lines);

// True when the rest of `f` after the header can hold the header's rows x
// cols values (each value takes one character and a separator at least);
// otherwise prints the end-of-file message and how many values the file can
// hold (code 4000 set). Leaves the file where it was.
bool map_body_can_hold(file_object& f, const char* path, const map_header& header);

// For a caller that must size a grid before it reads the map into it: reads
// the header, refuses a map whose size differs from the expected one or
// whose body cannot hold its values (the messages of read_map_file, code
// 4000 reported), and rewinds the file. True when the map may be read.
bool map_file_fits(file_object& f, const char* path, int expected_rows, int expected_cols);

// Reads a grid map from the open file `f` (left open; the caller closes it).
// `path` names the map in messages. The six header values go to north..cols
// (m for the edges). `grid` is the mask ([0..rows][0..cols], 0 outside the
// watershed) for kinds 1, 3 and 4 and the grid to fill for kind 2; it must
// hold at least [0..expected_rows][0..expected_cols]. Only the per-cell array
// the kind names is written, and never beyond its size. `field`, when given,
// names the values and their range: every stored value (kinds 1, 3, 4 the
// mask cells, kind 2 every value) must lie in it. Returns true when the whole
// map was read; on failure the message (naming the map, its line and the row
// and column) is printed, error_record holds code 4000 and report_error has
// raised the stop flag.
bool read_map_file(file_object& f, const char* path, int map_kind, double& north, double& south,
                   double& east, double& west, int& rows, int& cols, int** grid,
                   std::vector<double>* first_reals, std::vector<double>* second_reals,
                   std::vector<int>* ids, int expected_rows, int expected_cols,
                   const number_field* field = nullptr);

// Count of ID `id` (1..kMapCategoryCount) in the last kind-4 map; 0 for any other ID.
int map_category_count(int id);

// True when `word` (the first word of a map file) is a header word of an ESRI
// ASCII grid; the map header reader then refuses the map with code 354, which
// names the header pluvo reads.
bool is_esri_header_word(const char* word);

// For index maps whose IDs index a table: refuses a negative ID among cells
// 1..cell_count of `ids` with a message naming the map and the cell (code 4000,
// reported). Returns true when every ID is 0 or more.
bool refuse_negative_map_ids(const std::vector<int>& ids, int cell_count, const char* path);

// Start-up progress line of a reader: on the console unless the run is quiet
// or this is not the first process, and always into the summary file.
void print_reading_line(run_state& rs, const char* format, const char* name);

// True when start-up lines may go to the console (not quiet, first process).
bool console_lines_on(const run_state& rs);
