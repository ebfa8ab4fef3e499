// Named elevation series read from "PLUVO_ES" blocks: (x, y) tables for
// relations that are not functions of time (rating curves, stage-discharge,
// elevation-driven pump rates). x and y carry the consumer's units (for a
// rating curve: head in m and discharge in m3/s).
//
// The series live in one program-wide list in order of creation, emptied by
// `free_elevation_series` when the run state is destroyed. The evaluations
// are thread-safe and never print: failures are recorded and reported by
// `report_series_lookup_failures` (input/time_series.h).
#pragma once
#include <atomic>
#include <vector>

struct file_object;

struct elevation_series {
    std::vector<double> x_values;   // abscissae, strictly increasing
    std::vector<double> y_values;   // ordinates, same index
    elevation_series* next = nullptr;  // next series of the program-wide list
    char name[150] = {};            // series name, at most 149 characters
    int count = 0;                  // number of pairs
    std::atomic<int> lookup_failed{0};  // kLookup* bits of failed evaluations since the last report
};

extern elevation_series* elevation_series_list;   // head of the program-wide list

// Reads every block of an elevation-series file into the list and reports the
// count. A missing file prints a message and sets no code; a malformed pair
// line or an abscissa that does not increase prints a message naming the file
// and line and sets code 4000.
void read_elevation_series_file(const char* path);
// Reads the next block of an open file: 1 a block was read, 0 no further
// block, -1 the block is malformed (message printed, code 4000).
int read_elevation_series(file_object& f);
// First series of the list whose name begins with `name` (case-sensitive), or null.
elevation_series* find_elevation_series(const char* name);
// Linear interpolation at x, clamped at both ends. Thread-safe; a failure returns 0.0.
double elevation_series_value(double x, elevation_series* s);
// Left step value at x (y[i] on (x[i], x[i+1]]), clamped at both ends. Thread-safe.
double elevation_series_step_value(double x, elevation_series* s);
// Creates an empty series at the end of the list.
elevation_series* new_elevation_series();
// Frees every series and empties the list.
void free_elevation_series();
