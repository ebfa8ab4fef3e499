// Run clock: time step and output intervals, start clock, clock advance.
//
// Model time is a Julian day number with fraction (the day turns at noon);
// process intervals are seconds. The clock is always computed from the step
// counter, time = step x dt_days + julian_start, never by adding dt_days
// pass after pass, so a long run does not drift.
#pragma once

struct run_state;

// Days of each month, entry 0 unused (months count from 1). Program-wide; the
// February entry is rewritten (28 or 29) by every day-of-year computation.
extern int days_in_month[13];

// February of `year` has 29 days when (year - 1900) % 4 == 0 (1900 and 2100
// count as leap years). Sets days_in_month[2] and returns the day of the year.
int day_of_year_of(int year, int month, int day);

// Chooses the model time step (s) and the output intervals (passes) and
// copies the run-control cards into the run state; leaves a code on failure
// (52 time step, 56 outlet slope, 57 latitude/longitude, 58 gmt; 55 is
// reported at once as a warning).
void check_time_settings(run_state& rs);

// Fixes the start time and the first update time of every process; prints its
// own message and sets code 4000 on failure.
void set_start_clock(run_state& rs);

// Moves the clock at the start of every pass of the time loop (the first pass
// keeps the start time) and sets the calendar fields.
void advance_clock(run_state& rs);

// Julian start time of precipitation event i (1-based) from the event table;
// 0.0 (a time never reached) outside the table's capacity.
double event_start_time(const run_state& rs, int i);
