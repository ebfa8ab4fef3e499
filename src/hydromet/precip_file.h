// The precipitation file and the radar grid files.
//
// The precipitation file holds one or more rainfall events. An event block is
//   EVENT <title>
//   NRGAG <n | "files">   NRPDS <m>          (either order)
//   COORD <x> <y>                            (n lines, gage events only)
//   <KEY> <year> <month> <day> <hour> <minute> <values>   (m data lines)
// with KEY one of RADAR, GAGES, RATES, ACCUM (one kind per event). Gage
// events give one value per gage on every data line; radar-file events name
// on every line an ASCII grid of rain rates. Keywords are recognised by their
// first four letters without regard to case; a year below 100 is 1900 + year.
//
// Each data line's date goes to rs.precip_dates[line]; gage values (as read,
// mm or mm/h) to rs.gage_values[gage][line]. Radar rain rates are converted
// to m/s when a radar grid is read.
#pragma once
#include <vector>

#include "core/checked_array.h"

struct run_state;
struct file_object;
struct radar_grid;

// Reads the next event block from the precipitation file at its position.
// With keep_radar_names, radar file names go to rs.radar_filenames (which
// must hold kRadarNameSlots names); without, only the first line's name is
// kept (for the radar header). Returns 1 when an event was read; 0 when no
// further EVENT card exists, or on an input error (message naming the file
// and line printed, code 4000 set; a gage value missing at the end of the
// file is one); -1 for an end of file before the event's data lines are all
// begun (the caller reports it).
int read_precip_block(run_state& rs, bool keep_radar_names);

// Puts the precipitation file back at its start (line count and event
// counter restart).
void rewind_precip_file(run_state& rs);

// Grows the table to at least `rows` rows of at least `row_length` + 1
// elements; new elements get `fill`, existing values are kept. Never shrinks;
// does nothing when the table's guards do not match.
void resize_gage_table(checked_array_2d<double>& table, int rows, int row_length, double fill);

// Reads the six header lines of a radar grid file into `grid` (and sizes
// its data for nrows x ncols values). 0 read; -1 when the file does not open
// or the header gives no usable grid (message naming the file and line).
int read_radar_header(radar_grid& grid, const char* name);

// Reads the header of `name` and records for every watershed cell the radar
// cell holding its centre. A header that cannot be read stops the run (code
// 4000); a cell outside the radar grid raises code 102 with the stop flag.
void map_cells_to_radar(run_state& rs, const char* name);

// Reads the rain rates of a radar grid file (mm/h with radar_mm, else in/h)
// into grid.precip_data in m/s: NODATA and values not above 0 become 0,
// values above 100 mm/h become 100 mm/h. 0 read; -1 when the file does not
// open, its size differs from the header read before, or a value is missing.
int read_radar_grid(radar_grid& grid, const char* name, int radar_mm);

// Copies the radar rain rate of every cell's radar cell into
// rs.cell_rain_rate (m/s, at least 0).
void radar_to_cells(run_state& rs);

// The same into cell_rate (per cell 1..GNUM, m/s).
void radar_to_cells(run_state& rs, std::vector<double>& cell_rate);

// Seconds from date a to date b (year, month, day, hour, minute), counting
// the days of every month between them; February has 29 days when
// (year - 1900) % 4 == 0.
double precip_period_seconds(const int* a, const int* b);

// Days of `month` (1..12) in `year` by the same rule.
int precip_month_days(int year, int month);
