// Run clock: time step and output intervals, start clock, clock advance.
//
// Model time is a Julian day number with fraction (the day turns at noon);
// process intervals are seconds. The clock is always computed from the step
// counter, time = step x dt_days + julian_start, never by adding dt_days
// pass after pass, so a long run does not drift.
#pragma once
#include <cmath>

#include "core/core_state.h"

struct run_state;

// Update time of a process that waits for nothing that will come (a clock
// pointed at the start of an event after the last one), Julian days.
constexpr double kNeverDue = 1.0e30;

// Every process keeps a last and a next update time (Julian days). It is due
// in the first pass at or after its next time (within the clock tolerance of
// 0.01 s), so a model step that does not divide the process interval, or a
// start off the process's grid, delays an update to the following pass but
// never skips it; its own step is then the time elapsed since its last
// update. A next time of 0 (a clock not yet set), a negative one (the end of
// the hydromet data) or kNeverDue is never due.
inline bool process_due(const core_state& c, double next) {
    return next > 0.0 && next < kNeverDue && c.time > next - c.time_tolerance;
}

// After a process acted at the current time: last = now; next moves on by
// whole intervals (days) past now. A process that acted on its time (within
// the tolerance) takes now + interval, as exact as the clock itself; one
// that acted late keeps its own grid of update times (next + k x interval),
// so that the late pass does not shift every later update.
inline void advance_process_clock(const core_state& c, double& last, double& next,
                                  double interval) {
    const double now = c.time;
    const double tol = c.time_tolerance;
    const bool on_time = next - now < tol && now - next < tol;
    last = now;
    if (on_time || !(interval > 0.0) || next <= 0.0 || next >= kNeverDue) {
        next = now + (interval > 0.0 ? interval : 0.0);
        return;
    }
    next += interval;
    if (next <= now + tol) {
        // A step longer than the interval: the next update is the first grid
        // time after now.
        double k = static_cast<double>(static_cast<long long>((now + tol - next) / interval));
        next += k * interval;
        while (next <= now + tol) next += interval;
    }
}

// Seconds of `seconds` taken to the whole millisecond when within 1e-4 s of
// one. Julian days near 2.45e6 carry a rounding of up to about 4e-5 s, so a
// difference of two clock times is a whole number of milliseconds (every
// time step and start given in the cards is) only to that rounding.
inline double snap_to_millisecond(double seconds) {
    const double ms = std::nearbyint(seconds * 1000.0) / 1000.0;
    const double d = seconds - ms;
    return (d < 1.0e-4 && d > -1.0e-4) ? ms : seconds;
}

// Seconds a process step covers: from its last update time `last` (Julian
// days) to the current time, without the rounding of the Julian days.
inline double process_elapsed_seconds(const core_state& c, double last) {
    return snap_to_millisecond((c.time - last) * 86400.0);
}

// Days of each month, entry 0 unused (months count from 1). Program-wide; the
// February entry is rewritten (28 or 29) by every day-of-year computation.
extern int days_in_month[13];

// February of `year` has 29 days when (year - 1900) % 4 == 0 (1900 and 2100
// count as leap years). Sets days_in_month[2] and returns the day of the year.
int day_of_year_of(int year, int month, int day);

// Chooses the model time step (s) and the output intervals (passes) and
// copies the run-control cards into the run state; leaves a code on failure
// (52 time step, 240 a long-term step above the hour of the hydromet
// records, 56 outlet slope, 57 latitude/longitude, 58 gmt; 55 is reported
// at once as a warning).
void check_time_settings(run_state& rs);

// Fixes the start time and the first update time of every process; prints its
// own message and sets code 4000 on failure.
void set_start_clock(run_state& rs);

// Moves the clock at the start of every pass of the time loop (the first pass
// keeps the start time) and sets the calendar fields.
void advance_clock(run_state& rs);

// Julian start time of precipitation event i (1-based) from the event table;
// kNeverDue for an event the run does not have.
double event_start_time(const run_state& rs, int i);
