// Pieces shared by the readers of the hmet formats (hmet_*.cpp).
#pragma once
#include "core/text.h"
#include "hydromet/hmet_records.h"

struct run_state;
struct file_object;

// Counting readers: parse and check every record of the file into
// h.records (h.grid_words for the gridded format); false after a printed
// error naming the file and line.
bool count_kev_records(file_object& f, hmet_file_records& h);
bool count_samson_records(file_object& f, hmet_file_records& h, char* station);
bool count_surfaways_records(file_object& f, hmet_file_records& h, bool quiet);
bool count_grid_records(file_object& f, hmet_file_records& h);

// Gridded data call: the maps of record `index` (from 0) into the per-cell
// arrays and hmet_current; false after a printed error.
bool read_grid_record(run_state& rs, int index, bool first_read);

// Orographic spread of hmet_current.air_temp over the cells (non-gridded
// formats); false after a printed error.
bool spread_orographic_temperature(run_state& rs);

// Turns an hour 24 into hour 0 of the next day; false (message printed,
// naming `what`, the file and the line) for a date that is not a calendar
// date with an hour 0..24.
bool settle_record_date(hmet_raw_record& r, const char* what, const char* file);

// True when `cur` lies one hour after `prev`; otherwise prints an error
// naming the file and the line of `cur`.
bool follows_by_one_hour(const hmet_raw_record& prev, const hmet_raw_record& cur,
                         const char* file);

// The text of columns `from`..`to` (1-based, inclusive) of `line` as a finite
// real; false when the line is shorter or the columns hold no number.
bool fixed_real(const char* line, int from, int to, double& value);

// Copies the kHmetElements values `v` (indexed by kHmet*, units of the record
// as listed in hmet_record) and the date of `date` into rs.hmet_current.
void set_hmet_current(run_state& rs, const double* v, const hmet_raw_record& date);

// Name and physical range of element `element` (kHmet*) in the units of
// hmet_record: pressure 250-1100 mb, humidity 0-100 %, cloud 0-10 tenths,
// wind 0-120 m/s, air temperature -80 to 60 C, radiation 0 or more.
number_field hmet_element_field(int element);

// True when every value of `r` that is not marked missing lies in its
// element's range; otherwise prints an error naming the file, the line, the
// element and the value (as converted to those units) and sets code 4000.
bool hmet_record_in_range(const hmet_raw_record& r, const char* file);

// Prints "Error: " + the message, naming file and line, and sets code 4000.
void hmet_fail(const char* file, int line, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

constexpr double kInHgToMb = 1013.25 / 29.92;   // mb per inch of mercury
constexpr double kKnotsToMps = 0.514444;        // m/s per knot
inline double fahrenheit_to_celsius(double f) { return (f - 32.0) * 0.5555555555555556; }
