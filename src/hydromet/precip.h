// Precipitation: the start-up of the precipitation input, the step that
// opens each rainfall event, the rain of every cell and the rain application.
//
// Event life: read_precip_event reads an event block at the event's start
// (rain_state 0 -> 1) and turns its values into intensities per period;
// distribute_rainfall hands period g (rs.precip_step) to the cells at the
// time of data line g and ends the event's rain at the time of its last line
// (rain_state 1 -> 0, or 2 -> 3 when the file has no further event);
// apply_rainfall puts each rain step's depth on the cells.
#pragma once

struct run_state;

// Start-up: counts the events of the precipitation file and records their
// start times (rs.event_starts, rs.num_events), opens the optimization output
// of calibration runs and writes the host's event summary when asked.
void init_precip_input(run_state& rs);

// Time-loop step: opens the next event when its start is reached.
void read_precip_event(run_state& rs);

// Time-loop step: rain intensity of every cell at the precipitation update times.
void distribute_rainfall(run_state& rs);

// Time-loop step: rain depth of the step onto every cell (after interception).
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
