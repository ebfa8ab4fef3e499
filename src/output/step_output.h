// Per-step time-series output: at each hydrograph interval one row of the
// outlet hydrograph and of every time-series file, and one block of every
// stream and storm-drain link/node dataset.
#pragma once

struct run_state;

// The time-loop step: accumulates the segment-model fluxes every pass and
// writes the rows when the pass counter is a multiple of the passes per
// hydrograph output (the first rows at counter 0).
void write_step_output(run_state& rs);

// Decimal year of a calendar time: year + (day_of_year x 1440 + hour x 60 +
// minute) / 525600, or / 527040 when year & 3 is 0.
double decimal_year(int year, int day_of_year, int hour, int minute);

// Time value of a long-term run's rows: the Julian date with
// strict_julian_date, otherwise the decimal year of the current time.
double long_term_time(const run_state& rs);

// Time value of the outlet hydrograph: single event: the Julian date with
// strict_julian_date, otherwise the elapsed minutes; long-term: long_term_time.
double hydrograph_time(const run_state& rs);

// Time value of every other series: elapsed minutes (single event) or
// long_term_time (long-term run).
double series_time(const run_state& rs);

// Day of year with the fraction of the day's hours and minutes (K4 rows).
double k4_jday(const run_state& rs);

// The outlet hydrograph row (and the six-digit one); counts the rows written.
void write_outlet_hydrograph_rows(run_state& rs, double time);
