// Named time series read from "PLUVO_TS" blocks: (Julian day, value) pairs
// that drive time-dependent inputs (inflow hydrographs, pumps, boundary
// values, well rates, inset-model boundaries).
//
// The series live in one program-wide list in order of creation; the list and
// the time-series index table belong to one run and are emptied by
// `free_time_series` when the run state is destroyed.
//
// Lookups (`time_series_value`, `indexed_series_value` and the elevation
// series evaluations) are called from parallel cell loops, so they never print
// and never touch the error record: a failed lookup returns 0.0 and records
// the failure. Callers test `series_lookup_failures()` after their loop (or the
// run driver after a step) and call `report_series_lookup_failures()` on the
// main thread, which prints the messages and sets code 4000 when the run must
// stop.
#pragma once
#include <atomic>
#include <vector>
#include "core/text.h"
#include "input/elevation_series.h"

struct file_object;

struct time_series {
    std::vector<double> times;    // entry times, Julian days (days since the start while relative and unshifted)
    std::vector<double> values;   // entry values (units of the consumer), same index as times
    int relative = 0;             // 1 when the block's type line was "RELATIVE"
    int shifted = 0;              // 1 once a relative series got the run's start time added
    time_series* next = nullptr;  // next series of the program-wide list
    char name[150] = {};          // series name, at most 149 characters
    int count = 0;                // number of entries
    std::atomic<int> cursor{0};   // interval used last by time_series_value (search hint only)
    std::atomic<int> lookup_failed{0};  // kLookup* bits of failed lookups since the last report
};

// One row of the time-series index table (TIME_SERIES_INDEX section of the
// mapping table): binds an integer ID to a series of the current run.
struct time_series_index_entry {
    int id = 0;                             // ID used by mapping-table parameters
    time_series* series = nullptr;          // the bound series, may be null
    time_series_index_entry* next = nullptr;
};

extern time_series* time_series_list;                  // head of the program-wide list
extern time_series_index_entry* time_series_index;     // head of the index table

// Keyword codes of a series-file line (case-sensitive, at the line's start).
constexpr int kTsRelative = 1;   // "RELATIVE"
constexpr int kTsAbsolute = 2;   // "ABSOLUTE"
constexpr int kTsEnd = 3;        // "END_TS"
constexpr int kTsHeader = 0;     // "PLUVO_TS"
constexpr int kTsOther = 4;      // anything else
int time_series_keyword(const char* line);

// Reads every block of a time-series file into the list and reports the count.
// A file that cannot be opened prints a message naming it, sets code 4000 and
// gives false (the caller names the card); a malformed entry line or a time
// that does not increase prints a message naming the file and line and sets
// code 4000.
bool read_time_series_file(const char* path);
// Reads the next block of an open file into a new series: 1 a block was read,
// 0 no further block, -1 the block is malformed (message printed, code 4000).
int read_time_series(file_object& f);
// First series of the list whose name begins with `name` (case-sensitive), or null.
time_series* find_time_series(const char* name);
// Value of a series at Julian time t (days): linear between entries, the first
// and last values held outside. Thread-safe; a failure returns 0.0 and is recorded.
double time_series_value(double t, time_series* s);
// Value at Julian time t of the series bound to `id` by the index table.
// Thread-safe; an unknown ID returns 0.0 and is recorded.
double indexed_series_value(int id, double t);
// Reads rows "year month day hour minute v1 .. vn" up to "END_TS" into n new
// absolute series named "<base>_0000" ..; returns the first, or null when
// n <= 0 or a row is malformed (message naming file and line, code 4000).
// Every value must lie in the range of `field` (its name in messages).
time_series* read_series_columns(file_object& f, int n, const char* base_name,
                                 const number_field& field = {"value"});
// Creates an empty series at the end of the list.
time_series* new_time_series();
// Frees every series and the index table and empties both.
void free_time_series();
// Appends a row to the index table (used by the mapping-table loader).
time_series_index_entry* add_time_series_index(int id, time_series* s);
// Adds the run's start time (Julian days) to every relative series not yet shifted.
void shift_relative_time_series(double start_time);

// Kinds of failed lookups (bits).
constexpr int kLookupMissingSeries = 1;      // time series that does not exist
constexpr int kLookupEmptySeries = 2;        // series without entries
constexpr int kLookupNoInterval = 4;         // argument inside no interval (not a number)
constexpr int kLookupUnknownIndex = 8;       // ID not in the time-series index table
constexpr int kLookupMissingElevation = 16;  // elevation series that does not exist

// Records a failed lookup (thread-safe; used by the series evaluations).
void record_series_lookup_failure(int kind, std::atomic<int>* series_flag = nullptr, int id = 0);
// Bits of every lookup that failed since the last report (0: none). Thread-safe, cheap.
int series_lookup_failures();
// Main thread only: prints the message of every recorded failure once, clears
// the records and sets code 4000 when a failure must stop the run (a missing
// or empty series, an unknown ID). Returns 1 when the run must stop, else 0.
int report_series_lookup_failures();

// Line number (from 1) of the line that starts at byte `position` of an open
// file; the file position is restored.
int file_line_number(file_object& f, long position);
