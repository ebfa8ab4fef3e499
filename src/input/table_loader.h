// Generic mapping-table loader: turns one section of the mapping table into
// per-cell arrays through the section's index map, plus the index-map reader,
// the time-series index (TIME_SERIES_INDEX section) and the start-up check of
// the sections a table holds.
//
// Every loader opens the table itself, closes every file it opened on every
// path, reports its failures at once through the error record and answers
// 1 (loaded) or 0 (failed). Per-cell arrays are indexed by the cell number of
// the watershed mask (1..GNUM); the loaders write only the cells that get a
// value and extend an array shorter than GNUM + 1 slots with zeros.
#pragma once
#include <array>
#include <string>
#include <vector>

struct run_state;
struct file_object;
struct id_table;

// Up to seven per-cell destinations; column i of the section goes to entry
// i - 1; a null entry skips its column.
using mapping_outputs = std::array<std::vector<double>*, 7>;

// Treatment of an ID 0 at a watershed cell of an index map.
enum class zero_ids {
    refuse,   // the cell would get no value: message naming map and cell, stop
    allow,    // the cell has none of the objects the map places (wells, wetlands)
};

// Loads section `code` (a section of 1..7 values per ID) of the table file
// into `outputs`. With precip_count > 0 and precip_conc given, the section's
// PRECIP_CONC line fills precip_conc[1..precip_count] (resized as needed).
// Codes: 64 table file not readable, 65 index map not readable, 66 section
// missing, naming no known index map, or without NUM_IDS; 71 to 74 from the
// index map; 4000 for a bad ID row or index-map value (message printed).
int load_mapping_table(run_state& rs, const char* table_path, int code,
                       const mapping_outputs& outputs, int precip_count = 0,
                       std::vector<double>* precip_conc = nullptr);

// Reads one index map from an open file into cell_ids[1..GNUM] (resized to
// GNUM + 1; slot 0 unused) by the cell numbers of rs.mask. The header goes
// into rs.map_north .. rs.map_cols and its rows and columns are checked
// against rs.rows and rs.cols before any value is read (codes 72, 73, 74).
// Inside the watershed an ID above largest_id gives code 71 (row, column), a
// negative ID, and with zero_ids::refuse an ID 0, a message naming the map
// and the cell; every value must be an integer and the map must hold
// rows x cols of them. Prints one "In map %s category %d has %d values\n" line
// per ID used. 1 read, 0 failed (reported).
int read_index_map(run_state& rs, file_object& map, const char* map_path, int largest_id,
                   zero_ids zero_rule, std::vector<int>& cell_ids);

// Opens the index map file and reads it (code 65 with the name when it does
// not open); closes it again.
int read_section_index_map(run_state& rs, const std::string& map_file, int largest_id,
                           zero_ids zero_rule, std::vector<int>& cell_ids);

// cells[i] = by_id[ID - 1] for every cell i = 1..cell_count whose ID is above
// 0; other cells keep their value. cells is extended to cell_count + 1 slots.
void fill_cells_by_id(std::vector<double>& cells, const std::vector<double>& by_id,
                      const std::vector<int>& cell_ids, int cell_count);

// Columns 1..count of `table` spread onto the cells 1..cell_count through
// their IDs (fill_cells_by_id): column i goes to outputs[i - 1]; a null
// output skips its column.
void fill_cells_from_columns(std::vector<double>* const* outputs, int count, const id_table& table,
                             const std::vector<int>& cell_ids, int cell_count);

// Builds the time-series index from the TIME_SERIES_INDEX section: each row
// binds its ID to the first time series whose name begins with the row's
// name. Marks the index built for this run (rs.ts_index_built). 1/0.
int load_time_series_index(run_state& rs, const char* table_path);
// Builds the time-series index unless this run has built it already.
void ensure_time_series_index(run_state& rs, const char* table_path);

// Opens the table for reading; code 64 with the path, reported, when it fails.
bool open_mapping_table(file_object& f, const char* table_path);
// Reports code 66 with the keyword of section `code`.
void report_missing_section(int code);

// One line of the start-up check: flag 1 when section `code` is present (and
// its index map opens, or its count is above 0), printed with `label`. The
// open `table` is read from its top.
void check_mapping_section(int& flag, int code, file_object& table, const char* label);

// The lines of the start-up check in print order (flag k is entry k - 1).
struct mapping_check {
    int code;            // section code
    const char* label;   // label of the check line
};
const mapping_check* mapping_checks(int* count);
