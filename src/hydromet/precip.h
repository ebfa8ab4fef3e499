// Precipitation: the start-up of the precipitation input, the step that
// opens each rainfall event, the rain of every cell and the rain application.
//
// Event life: read_precip_event reads an event block at the event's start
// (rain_state 0 -> 1) and turns its values into intensities per period
// (period g runs from data line g to line g + 1 at a constant intensity);
// in every pass where the rain application is due, distribute_rainfall gives
// each cell the mean intensity of the step's interval [last application, now],
// that is the recorded rain of the interval over its length, whatever the
// ratio of the step to the data interval; apply_rainfall puts the step's
// depth on the cells and, once a step has reached the event's last line, ends
// the event's rain (rain_state 1 -> 0, or 2 -> 3 when the file has no further
// event).
#pragma once

struct run_state;

// Start-up: counts the events of the precipitation file and records their
// start times (rs.event_starts, rs.num_events), opens the optimization output
// of calibration runs and writes the host's event summary when asked.
void init_precip_input(run_state& rs);

// Time-loop step: opens the next event when its start is reached.
void read_precip_event(run_state& rs);

// Time-loop step: rain intensity of every cell for the rain step due now
// (m/s, the mean of the step's interval).
void distribute_rainfall(run_state& rs);

// Time-loop step: rain depth of the step onto every cell (after interception);
// the run and event rain totals take the step's sum over the cells.
void apply_rainfall(run_state& rs);

// 1 when the event's first date (year, month, day, hour) lies within the
// hydromet data's first and last dates; otherwise prints which field is out
// of range and gives 0.
int check_precip_dates(int first_year, int first_month, int first_day, int first_hour,
                       int last_year, int last_month, int last_day, int last_hour, int year,
                       int month, int day, int hour);

// Turns the values of the event just read into the rain intensity of each
// period, m/s (RADAR values, GAGES depths and ACCUM totals; RATES are only
// converted from mm/h). False after a reported input error (code 4000).
bool convert_event_values(run_state& rs);
