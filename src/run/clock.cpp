// Run clock: the model time step and output intervals chosen after the
// project is read, the start time and first update time of every process set
// just before the time loop, and the clock advance of every pass.
#include "run/clock.h"
#include "run/event_control.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdio>

#include "core/dates.h"
#include "core/error.h"
#include "core/run_options.h"
#include "run/run_state.h"

int days_in_month[13] = {0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

namespace {

constexpr double kSecondsPerDay = 86400.0;
constexpr double kHourDays = 1.0 / 24.0;          // one hour, days
constexpr double kHourSeconds = 3600.0;
constexpr double kTimeTolerance = 1.1574074074074074e-7;  // 0.01 s in days
constexpr double kDefaultHydFreq = 60.0;          // hydrograph interval when not given, min
constexpr int kDefaultMapFreq = 360;              // map interval when not given, min

// Number of passes of `dt` seconds in `minutes`, int(60 / dt x minutes) as
// the interval rule has it, but never below 1 (an interval shorter than the
// time step writes every pass instead of never) and never beyond INT_MAX.
int passes_per_interval(double dt, double minutes) {
    const double passes = 60.0 / dt * minutes;
    if (!(passes >= 1.0)) return 1;
    if (passes >= static_cast<double>(INT_MAX)) return INT_MAX;
    return static_cast<int>(passes);
}

// int(x) for a count that must be a non-negative int: NaN and negatives give
// 0, values beyond the int range INT_MAX.
int count_of(double x) {
    if (!(x > 0.0)) return 0;
    if (x >= static_cast<double>(INT_MAX)) return INT_MAX;
    return static_cast<int>(x);
}

// Prints an error text on the console and into the summary file, then leaves
// code 4000 for the run driver.
void fail_with_message(const char* text) {
    write_report_text(current_summary_file, text);
    error_record.code = kErrorPrinted;
}

// 1 when an infiltration scheme with its own clock is on.
bool infiltration_on(const run_state& rs) {
    return rs.green_ampt || rs.inf_redist || rs.inf_layered_soil || rs.inf_richards;
}

// Some cell exfiltrates at the start (marked by the Richards set-up or by the
// initial state; both flags are read until the two are one member).
bool exfiltrating(const run_state& rs) {
    return rs.exfiltration != 0;
}

bool evapotranspiration_on(const run_state& rs) {
    return rs.et_calc_penman || rs.et_calc_deardorff;
}

// Step 1 of the start clock: the nominal start, and in a long-term run the
// end of the data and a start date given by card. Returns the nominal start.
double nominal_start(run_state& rs) {
    if (rs.long_term) {
        const double start =
            julian_day(rs.hmet_start_year, rs.hmet_start_month, rs.hmet_start_day,
                       rs.hmet_start_hour, 0, 0.0);
        rs.start_hhmm = rs.hmet_start_hour * 100;
        rs.start_yyyymmdd = rs.hmet_start_year * 10000 + rs.hmet_start_month * 100 +
                            rs.hmet_start_day;
        rs.julian_end = julian_day(rs.hmet_end_year, rs.hmet_end_month, rs.hmet_end_day,
                                   rs.hmet_end_hour, 0, 0.0);
        const run_settings& s = rs.settings;
        if (s.start_date[0] != 0) {
            rs.start_date_given = 1;
            rs.year = s.start_date[0];
            rs.month = s.start_date[1];
            rs.day = s.start_date[2];
            rs.hour = s.start_time[0];
            rs.minute = s.start_time[1];
            rs.second = 0;
            rs.start_hhmm = rs.hour * 100 + rs.minute;
            rs.start_yyyymmdd = rs.year * 10000 + rs.month * 100 + rs.day;
            rs.time = julian_day(rs.year, rs.month, rs.day, rs.hour, rs.minute, 0.0);
            // First event that does not start before the given date; one past
            // the last event when every event starts earlier.
            const int n = std::min(rs.num_events, core_state::kMaxEvents);
            int first = 1;
            while (first <= n && event_start_time(rs, first) < rs.time) ++first;
            rs.first_event_index = first;
        }
        return start;
    }
    // Single-event run: the first event, or with uniform rain the start that
    // the START_DATE and START_TIME cards gave when the project was read.
    return rs.uniform_rain ? rs.time : event_start_time(rs, 1);
}

// The start of the event the host asks for; false (message, code 4000) when
// the precipitation file has no such event.
bool host_event_start(const run_state& rs, double& start) {
    const int requested = rs.qrm_event_num;
    const int n = std::min(rs.num_events, core_state::kMaxEvents);
    if (requested < 1 || requested > n) {
        char text[200];
        std::snprintf(text, sizeof(text),
                      "Error: QRM requested event %d, but the precipitation file holds %d "
                      "events.\n",
                      requested, rs.num_events);
        fail_with_message(text);
        return false;
    }
    start = event_start_time(rs, requested);
    return true;
}

}  // namespace

double event_start_time(const run_state& rs, int i) {
    if (i < 1 || i > core_state::kMaxEvents) return 0.0;
    return rs.event_starts[i - 1];
}

int day_of_year_of(int year, int month, int day) {
    days_in_month[2] = ((year - 1900) % 4 == 0) ? 29 : 28;
    int total = day;
    const int last = std::min(month, 13);
    for (int m = 1; m < last; ++m) total += days_in_month[m];
    return total;
}

void check_time_settings(run_state& rs) {
    const run_settings& s = rs.settings;

    // 1-2: the model time step, s (a NaN step is refused like a zero one)
    rs.dt = (s.st_time_step < 0.01) ? s.timestep : std::min(s.st_time_step, s.timestep);
    if (!(rs.dt > 0.001)) {
        // A step that is not 0 but too short is named by its value.
        if (rs.dt == 0.0) {
            error_record.code = 52;
        } else {
            char value[32];
            std::snprintf(value, sizeof value, "%g", rs.dt);
            set_error(280, value);
        }
        return;
    }

    // 3
    rs.rows = s.rows;
    rs.cols = s.cols;
    rs.tot_time = s.tot_time;

    // 4: hydrograph and time-series interval, min
    double hyd_freq = s.hyd_freq;
    if (!(hyd_freq > 0.0)) {
        error_record.code = 55;
        report_error(error_record);   // a warning: the run goes on
        hyd_freq = kDefaultHydFreq;
    }
    rs.hydro_write_steps = passes_per_interval(rs.dt, hyd_freq);

    // 5: map interval, whole minutes (0: not given; the project reader refuses a negative one)
    int map_freq = s.map_freq;
    if (map_freq <= 0) {
        map_freq = kDefaultMapFreq;
        if (!rs.quiet && run_options.process_index == 0) {
            print_message("Warning: Write solution time step not specified, defaulting to 6 hours.\n");
        }
    }
    rs.map_write_steps = passes_per_interval(rs.dt, map_freq);

    // 6: outlet
    rs.outrow = s.outrow;
    rs.outcol = s.outcol;
    rs.outslope = s.outslope;
    if (!(rs.outslope >= 1e-9)) {
        if (rs.outslope == 0.0) {
            error_record.code = 56;   // the card was left out (or gave 0)
        } else {
            char value[32];
            std::snprintf(value, sizeof value, "%g", rs.outslope);
            set_error(281, value);
        }
        return;
    }

    // 7: site and cell size
    rs.latitude = s.latitude;
    rs.longitude = s.longitude;
    rs.cell_size = s.gridsize;
    if (rs.long_term && (!(rs.latitude >= 0.01) || !(rs.longitude >= 0.01))) {
        error_record.code = 57;
        return;
    }

    // 8: time zone, units of reported flows, quiet card
    rs.gmt = s.gmt;
    rs.gmt_given = s.gmt_given;
    rs.english_units = s.qout_cfs;
    rs.quiet_card = s.quiet;
    if (rs.long_term && !rs.gmt_given) {
        error_record.code = 58;
        return;
    }

    // 9: the mask grid is sized from this copy
    rs.mask_rows = rs.rows;
    rs.mask_cols = rs.cols;
}

void set_start_clock(run_state& rs) {
    const run_settings& s = rs.settings;

    // 1
    const double nominal = nominal_start(rs);
    // A start date after the last event leaves no event to start from.
    if (rs.start_date_given && !check_start_date_event(rs)) return;
    const int first = rs.first_event_index;
    const double e1 = event_start_time(rs, 1);
    const double e_first = event_start_time(rs, first);

    // 2
    rs.outlet_flow = 0.0;
    rs.event_ended = 0;
    rs.finish_pending = 0;
    rs.peak_flow = 0.0;
    rs.peak_time = 0.0;
    rs.event_peak_discharge = 0.0;
    rs.elapsed_minutes = 0.0;

    // 3
    rs.dt_days = rs.dt / kSecondsPerDay;
    rs.time_tolerance = kTimeTolerance;

    // 4-5 (an event call of the host must name an event of the precipitation file)
    double host_start = 0.0;
    if (rs.qrm_mode && !host_event_start(rs, host_start)) return;
    if (!rs.start_date_given) rs.time = nominal;
    if (rs.qrm_host) rs.time = rs.qrm_mode ? host_start : e1;
    const double t = rs.time;

    // Processes start at once in a single-event run, with exfiltrating cells
    // or with water on the surface; otherwise at the first event.
    const bool start_now = !rs.long_term || exfiltrating(rs) || rs.surface_water_present;

    // 6: rain
    rs.rain_step_seconds = s.timestep;
    rs.rain_step_days = s.timestep / kSecondsPerDay;
    if (start_now) {
        rs.rain_next = t;
        rs.rain_last = t - rs.rain_step_days;
    } else {
        rs.rain_next = e1;
        rs.rain_last = e1 - rs.rain_step_days;
    }
    if (rs.long_term && rs.start_date_given) {
        rs.rain_last = e_first;
        rs.rain_next = e_first + rs.rain_step_days;
    }
    if (rs.qrm_mode) {
        rs.rain_next = t;
        rs.rain_last = t - rs.rain_step_days;
    }
    if (rs.nsm_on) {
        rs.nsm_rain_step_seconds = rs.rain_step_seconds;
        rs.nsm_rain_step_days = rs.rain_step_days;
        rs.nsm_rain_last = rs.rain_last;
        rs.nsm_rain_next = rs.rain_next;
    }

    // 7: hydrometeorology
    if (rs.long_term) {
        rs.hmet_step_seconds = kHourSeconds;
        rs.hmet_step_days = kHourDays;
        rs.hmet_next = t;
        rs.hmet_last = t - kHourDays;
    }

    // 8: groundwater
    if (rs.groundwater) {
        rs.gw_step_seconds = rs.gw_timestep;
        rs.gw_step_days = rs.gw_timestep / kSecondsPerDay;
        rs.gw_last = t;
        rs.gw_next = t + rs.gw_step_days;
    }

    // 9: Sacramento
    if (rs.sacramento) {
        rs.sac_step_seconds = kHourSeconds;
        rs.sac_step_days = kHourDays;
        rs.sac_next = t;
    }

    // 10: infiltration
    if (infiltration_on(rs)) {
        double interval = s.timestep;
        if (rs.inf_richards && rs.long_term && !exfiltrating(rs) &&
            !rs.surface_water_present) {
            interval = kHourSeconds;
            if (rs.groundwater && rs.gw_step_seconds < interval) interval = rs.gw_step_seconds;
        }
        rs.infil_step_seconds = interval;
        rs.infil_step_days = interval / kSecondsPerDay;
        if (start_now || rs.inf_richards) {
            rs.infil_last = t;
            rs.infil_next = t + rs.infil_step_days;
            if (rs.inf_redist) rs.redist_started = 1;
        } else if (rs.start_date_given) {
            rs.infil_last = e_first;
            rs.infil_next = e_first + rs.infil_step_days;
        } else {
            rs.infil_last = e1;
            rs.infil_next = e1 + rs.infil_step_days;
        }
        if (rs.qrm_mode) {
            rs.infil_last = t;
            rs.infil_next = t + rs.dt_days;
        }
        if (rs.groundwater && !evapotranspiration_on(rs) &&
            rs.infil_step_seconds < rs.gw_step_seconds) {
            rs.gw_step_seconds = rs.infil_step_seconds;
            rs.gw_step_days = rs.infil_step_days;
            rs.gw_last = t;
            rs.gw_next = t + rs.gw_step_days;
        }
    }

    // 11: evapotranspiration
    if (evapotranspiration_on(rs)) {
        if (start_now) {
            rs.et_step_seconds = rs.infil_step_seconds;
            rs.et_step_days = rs.infil_step_days;
            rs.et_last = rs.infil_last;
            rs.et_next = rs.infil_next;
        } else {
            rs.et_step_seconds = kHourSeconds;
            rs.et_step_days = kHourDays;
            rs.et_last = rs.hmet_next;
            rs.et_next = rs.hmet_next + kHourDays;
        }
        if (rs.start_date_given) {
            rs.et_next = t;
            rs.et_last = t - rs.dt_days;
        }
    }

    // 12: precipitation events
    if (!rs.uniform_rain) {
        if (rs.qrm_mode) {
            rs.next_event_start = host_start;
        } else if (rs.start_date_given) {
            rs.next_event_start = e_first;
            rs.event_index = first - 1;
        } else {
            rs.next_event_start = e1;
        }
        rs.rain_state = 0;
    } else {
        rs.rain_state = 1;
        rs.event_runoff = 1;
        rs.uniform_steps = 1;
        rs.event_index = 1;
        rs.num_periods = count_of(rs.uniform_rain_duration * 60.0 / s.timestep);
        rs.next_event_start = t;
    }
    rs.precip_next = rs.next_event_start;
    if (rs.gage_rain || rs.uniform_rain) rs.precip_step = 1;

    // 13: uniform rain needs a start date
    if (rs.uniform_rain && rs.year == 0) {
        write_report_text(current_summary_file,
                          "You did not specify the starting date and time in the\n"
                          "project file.  You must do this for simulations with\n"
                          "uniform precipitation using the START_DATE and START_TIME\n"
                          "cards.  Edit the project file.   Program terminated.\n");
        error_record.code = kErrorPrinted;
        report_error(error_record);
        return;
    }

    // 14: channel routing
    if (rs.chan_explic) {
        rs.chan_step_seconds = rs.dt;
        rs.chan_step_days = rs.dt / kSecondsPerDay;
        rs.chan_step_minutes = rs.dt / 60.0;
        rs.chan_last = (rs.long_term && !rs.channel_has_water) ? e1 : nominal;
        if (rs.start_date_given) rs.chan_last = e_first;
        rs.chan_next = rs.chan_last + rs.chan_step_days;
        if (rs.channel_lakes) {
            // Lakes 1..num_channel_lakes, as far as both level arrays reach.
            const std::size_t held = std::min(rs.lake_initwse.size(), rs.lake_minwse.size());
            const int lakes = held == 0 ? 0 : std::min<int>(rs.num_channel_lakes,
                                                            static_cast<int>(held - 1));
            for (int k = 1; k <= lakes; ++k) {
                if (rs.lake_initwse[k] > rs.lake_minwse[k]) {
                    // A lake that starts above its outlet level routes from the start.
                    rs.chan_step_seconds = std::max(60.0, rs.dt);
                    rs.chan_step_days = rs.chan_step_seconds / kSecondsPerDay;
                    rs.chan_last = t;
                    rs.chan_next = t + rs.chan_step_days;
                    rs.channel_has_water = 1;
                }
            }
        }
        if (rs.qrm_mode) {
            rs.channel_has_water = 1;
            rs.chan_last = t;
            rs.chan_next = t + rs.dt_days;
        }
        if (rs.chan_con_trans) {
            rs.con_chan_last = rs.chan_last;
            rs.con_chan_next = rs.chan_next;
        }
        if (rs.nsm_on) {
            rs.nsm_chan_last = rs.chan_last;
            rs.nsm_chan_next = rs.chan_next;
        }
        if (rs.groundwater) {
            rs.gw_chan_last = rs.chan_last;
            rs.gw_chan_next = rs.chan_next;
        }
    }

    // 15: storm drains
    if (rs.superlink) {
        rs.superlink_step_days = s.timestep / kSecondsPerDay;
        double base = t;
        if (rs.long_term) {
            if (exfiltrating(rs) || (rs.groundwater && rs.leaky_pipes)) {
                rs.superlink_first_step = 1;
            } else {
                base = e1;
            }
            if (rs.start_date_given) base = e_first;
        } else {
            rs.superlink_first_step = 1;
        }
        rs.superlink_last = base;
        rs.superlink_next = base + rs.superlink_step_days;
    }

    // 16: clock copies of the transport processes
    if (rs.overland_constituents) {
        rs.ov_con_step_seconds = s.timestep;
        rs.ov_con_step_days = s.timestep / kSecondsPerDay;
        rs.ov_con_rain_last = rs.rain_last;
        rs.ov_con_rain_next = rs.rain_next;
        rs.ov_con_infil_last = rs.infil_last;
        rs.ov_con_infil_next = rs.infil_next;
    }
    if (rs.nsm_on) {
        rs.nsm_rain_last = rs.rain_last;
        rs.nsm_rain_next = rs.rain_next;
    }

    // 17: the clock itself
    rs.event_steps = 0;
    rs.infil_steps = 0;
    rs.chan_steps = 0;
    rs.step = 0;
    rs.clock_passes = 0;
    rs.rain_on = 0;
    rs.running = 1;
    rs.julian_start = rs.time;
}

void advance_clock(run_state& rs) {
    if (rs.clock_passes != 0) {
        rs.step += 1;
        rs.event_steps += 1;
        rs.chan_steps += 1;
        // From the step count, never by repeated addition: no drift in long runs.
        rs.time = rs.step * rs.dt_days + rs.julian_start;
        rs.elapsed_minutes = rs.step * rs.dt / 60.0;
    }
    rs.clock_passes += 1;

    double seconds = 0.0;
    julian_to_date(rs.time, rs.year, rs.month, rs.day, rs.hour, rs.minute, seconds);
    rs.second = static_cast<int>(seconds);
    rs.day_of_year = day_of_year_of(rs.year, rs.month, rs.day);
}
