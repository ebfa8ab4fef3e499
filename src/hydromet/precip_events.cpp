// Precipitation events: the start-up count of the events of the
// precipitation file, and the time-loop step that opens each event, checks
// its date against the hydromet data and turns its values into intensities.
#include <cmath>
#include "input/grid.h"
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/dates.h"
#include "core/error.h"
#include "run/event_control.h"
#include "core/file_object.h"
#include "core/file_write.h"
#include "run/run_state.h"
#include "core/text.h"
#include "hydromet/precip.h"
#include "hydromet/hmet_reader.h"
#include "hydromet/precip_file.h"
#include "hydromet/rain_cells.h"
#include "output/analyzer.h"

namespace {

constexpr double kNegativeRate = -1e-16 / kMmPerHourPerMps;   // m/s
constexpr double kLongPeriod = 86400.0;                       // s

const char* precip_file_name(const run_state& rs) {
    return rs.files.precip_file[0] ? rs.files.precip_file : rs.precip_data_file.name;
}

// Julian time of data line `line` of the event read last.
double line_time(const run_state& rs, int line) {
    const int* d = rs.precip_dates[static_cast<size_t>(line)].data();
    return julian_day(d[0], d[1], d[2], d[3], d[4], 0.0);
}

// A start-up status line: into the summary file, and on the console unless
// the run is quiet or is not the first run of a batch.
void startup_line(run_state& rs, const char* format, ...) __attribute__((format(printf, 2, 3)));
void startup_line(run_state& rs, const char* format, ...) {
    char text[2048];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    if (!rs.quiet && run_number == 0) std::fputs(text, stdout);
    file_printf(rs.summary_file, "%s", text);
}

void fail_printed() { error_record.code = kErrorPrinted; }

// An hour 24 becomes hour 0 of the next day.
void roll_hour_24(int& year, int& month, int& day, int& hour) {
    if (hour != 24) return;
    hour = 0;
    if (++day > precip_month_days(year, month)) {
        day = 1;
        if (++month > 12) {
            month = 1;
            ++year;
        }
    }
}

// Long-term runs: the orographic gage header and the period of the hydromet data.
void init_hmet_period(run_state& rs) {
    if (rs.hmet_orog_gages && rs.hmet_orog_file.is_open()) {
        text_line line;
        char word[kTokenSize];
        read_line(line, rs.hmet_orog_file);   // two words
        // Line 2: a word, the hmet gage elevation, a word, the orographic gage elevation (m).
        const input_place at{"orographic gage file", rs.hmet_orog_file.name, 2};
        const number_field hmet_gage{"hydromet gage elevation (m)", kElevationMetres};
        const number_field orog_gage{"orographic gage elevation (m)", kElevationMetres};
        const bool got = read_line(line, rs.hmet_orog_file) != 0;
        if (!got || !next_word(line, word)) {
            refuse_at(at, "the line needs a word, the hmet gage elevation, a word and the "
                          "orographic gage elevation");
            return;
        }
        if (!read_real(line, hmet_gage, at, rs.hmet_ref_elevation)) return;
        if (!next_word(line, word)) word[0] = '\0';
        if (!read_real(line, orog_gage, at, rs.orog_gage_elevation)) return;
        read_line(line, rs.hmet_orog_file);   // five column words
        if (!(std::fabs(rs.orog_gage_elevation - rs.hmet_ref_elevation) > 1e-9)) {
            std::printf("Error: the orographic gage file %s gives the same elevation (%g) to "
                        "both gages on line 2; the lapse rate needs two elevations\n",
                        rs.hmet_orog_file.name, rs.orog_gage_elevation);
            fail_printed();
            return;
        }
    }
    // The hydromet reader's counting call leaves the first and last record
    // dates in hmet_start_* and hmet_end_*; an hour 24 is the next day's 0.
    if (read_hmet_record(rs) != 0) return;
    if (rs.hmet_record_count == 0) {
        std::printf("Error: the hydromet file %s holds no records\n", rs.hmet_records.file_name);
        fail_printed();
        return;
    }
    ++rs.hmet_read_count;
    roll_hour_24(rs.hmet_start_year, rs.hmet_start_month, rs.hmet_start_day, rs.hmet_start_hour);
    roll_hour_24(rs.hmet_end_year, rs.hmet_end_month, rs.hmet_end_day, rs.hmet_end_hour);
}

// Calibration runs: the optimization output file.
void open_optimization_output(run_state& rs) {
    char name[kCardNameSize];
    std::snprintf(name, sizeof(name), "%s",
                  rs.files.optimize[0] ? rs.files.optimize : "pluvo_optim.out");
    if (!open_file_named(rs.optimization_file, name, "w")) {
        std::fprintf(stderr, "Problem opening optimization output file named:%s for writing\n",
                     name);
        fail_printed();
        return;
    }
    if (!rs.quiet) std::fprintf(stderr, "writing output for optimization to file %s\n", name);
    file_printf(rs.summary_file, "writing output for optimization to file %s\n", name);
}

// Counts the events of the precipitation file; false after a reported failure.
bool count_precip_events(run_state& rs, bool summary_mode) {
    rs.num_events = 0;
    rewind_precip_file(rs);
    int count = 0;
    int result = 0;
    bool radar_seen = false;
    int last_date[5] = {0, 0, 0, 0, 0};
    while ((result = read_precip_block(rs, false)) == 1) {
        if (count >= core_state::kMaxEvents) {
            std::printf("Error: the precipitation file %s holds more than %d events (event %d ends "
                        "near line %d)\n",
                        precip_file_name(rs), core_state::kMaxEvents, count + 1,
                        rs.precip_file_line);
            fail_printed();
            return false;
        }
        std::memcpy(last_date, rs.precip_dates[1].data(), sizeof(last_date));
        std::memcpy(rs.event_date, last_date, sizeof(last_date));
        rs.event_starts[count] = line_time(rs, 1);
        ++count;
        if (rs.card_radar == 2) {
            radar_seen = true;
            if (rs.radar_filenames.empty())
                rs.radar_filenames.assign(static_cast<size_t>(kRadarNameSlots), std::string());
        }
    }
    if (result == -1) {
        std::printf("Error: the precipitation file %s ends on line %d inside event %d\n",
                    precip_file_name(rs), rs.precip_file_line, count + 1);
        std::printf("Unexpected end of file in rain gage data file.\n");
        std::printf("Check the format of the data file.\nProgram terminated.");
        std::printf("Check rain event %d, event after %d %d %d \n", count + 1, last_date[0],
                    last_date[1], last_date[2]);
        fail_printed();
        return false;
    }
    if (error_record.code != 0) return false;   // input error, already printed
    if (count == 0) {
        std::printf("Error: the precipitation file %s holds no rainfall event\n",
                    precip_file_name(rs));
        fail_printed();
        return false;
    }

    // Events left out change the run: that is said in a quiet run too.
    const bool first_only = !rs.qrm_host && !rs.long_term;
    if (!rs.quiet_card) {
        std::printf("End of precipitation input file reached.\n");
        if (rs.qrm_host) {
            std::printf("Precip. file contains %d events.\n", count);
        } else if (rs.long_term) {
            std::printf("Precip. file contains %d events\n", count);
        }
    }
    if (first_only && (!rs.quiet_card || count > 1)) {
        std::printf("Precip. file contains %d events, simulating first event only\n", count);
        std::printf("because LONG_TERM project file card not set in project file.\n");
    }
    rs.num_events = first_only ? 1 : count;
    if (radar_seen) {
        rs.radar.pluvo_to_precip.assign(static_cast<size_t>(rs.GNUM > 0 ? rs.GNUM : 0) + 1, 0);
    }
    rewind_precip_file(rs);

    if (summary_mode) {
        file_object sum;
        if (!open_file_named(sum, "exchange/QRM_PRECIP.SUM", "w")) {
            std::printf("Unable to open file QRM_PRECIP.SUM for writing. Program terminated\n");
            fail_printed();
            return false;
        }
        std::fprintf(sum.handle, "%d\n", count);
        for (int e = 0; e < count; ++e) {
            int y = 0, mo = 0, d = 0, h = 0, mi = 0;
            double s = 0.0;
            julian_to_date(rs.event_starts[e], y, mo, d, h, mi, s);
            std::fprintf(sum.handle, "%4d %2d %2d %2d %2d\n", y, mo, d, h, mi);
        }
        close_file_object(sum);
        std::printf("PLUVO wrote precipitation data event summary to file: "
                    "exchange/QRM_PRECIP.SUM\n");
        std::printf("No simulations performed.  PLUVO terminated.\n\n");
        fail_printed();
        return false;
    }
    if (rs.qrm_host && rs.qrm_mode && rs.qrm_event_num > count) {
        std::printf("\n\nQRM has requested that PLUVO run event %d.\n", rs.qrm_event_num);
        std::printf("The precip file specified in the project file: %s\n", precip_file_name(rs));
        std::printf("contains only %d events.  PROGRAM TERMINATED.\n\n", count);
        fail_printed();
        return false;
    }
    if (rs.qrm_host) rs.long_term = 0;   // a host run is one event at a time
    return true;
}

// Says why the gage record's first date (rain: year, month, day, hour) lies
// outside the hydromet record, whose first (before_start) or last date is hmet;
// field is the first of the four fields that differ (0 year .. 3 hour).
void print_precip_date_mismatch(int field, const int* rain, const int* hmet, bool before_start) {
    const long ry = rain[0], rm = rain[1], rd = rain[2], rh = rain[3];
    const long hy = hmet[0], hm = hmet[1], hd = hmet[2], hh = hmet[3];
    const char* verb = before_start ? "begins" : "ends";
    switch (field) {
        case 0:
            std::printf("\nRaingage Data starts in %ld, hydromet data %s %ld.\n", ry,
                        before_start ? "doesn't start until" : "ends in", hy);
            std::printf("Program terminating.  Check your dates.\n");
            break;
        case 1:
            std::printf("\nRaingage Data starts in month %ld of %ld while hmet data %s in\n", rm,
                        ry, before_start ? "starts" : "ends");
            std::printf("month %ld of %ld\n", hm, hy);
            std::printf("Program terminating.  Check your dates.\n");
            break;
        case 2:
            std::printf("\nRaingage data starts on day %ld of month %ld in year %ld\n", rd, rm, ry);
            std::printf("while the hmet data %s on day %ld of month %ld in year %ld\n", verb, hd,
                        hm, hy);
            std::printf("Program terminating.  Check your dates.\n");
            break;
        default:
            std::printf("\nRaingage data starts on hour %ld day %ld month %ld in year %ld\n", rh,
                        rd, rm, ry);
            std::printf("while the hmet data %s on hour %ld day %ld of month %ld in year %ld\n",
                        verb, hh, hd, hm, hy);
            std::printf("Program terminating.  Check your times and dates.\n");
            break;
    }
}

// The intensity limit of a period: a value below it is a negative rain.
bool negative_rate(double v) { return v < kNegativeRate; }

}  // namespace

int check_precip_dates(int first_year, int first_month, int first_day, int first_hour,
                       int last_year, int last_month, int last_day, int last_hour, int year,
                       int month, int day, int hour) {
    const int rain[4] = {year, month, day, hour};
    const int first[4] = {first_year, first_month, first_day, first_hour};
    const int last[4] = {last_year, last_month, last_day, last_hour};
    auto field_diff = [&](const int* ref) {
        for (int i = 0; i < 4; ++i)
            if (rain[i] != ref[i]) return i;
        return -1;
    };
    int f = field_diff(first);
    if (f >= 0 && rain[f] < first[f]) {
        print_precip_date_mismatch(f, rain, first, true);
        return 0;
    }
    f = field_diff(last);
    if (f >= 0 && rain[f] > last[f]) {
        print_precip_date_mismatch(f, rain, last, false);
        return 0;
    }
    return 1;
}

bool convert_event_values(run_state& rs) {
    const int lines = rs.num_lines;
    const int gages = rs.card_radar == 2 ? 0 : rs.num_gages;
    checked_array_2d<double>& v = rs.gage_values;
    if (gages > v.row_count || lines > v.row_length) {
        std::printf("Error: the gage value table does not hold %d gages and %d lines\n", gages,
                    lines);
        fail_printed();
        return false;
    }
    if (static_cast<size_t>(lines) >= rs.precip_dates.size()) {
        std::printf("Error: the precipitation date table does not hold %d lines\n", lines);
        fail_printed();
        return false;
    }
    if (rs.card_rates) {
        for (int j = 1; j <= gages; ++j)
            for (int i = 1; i <= lines; ++i) v.rows[j][i] /= kMmPerHourPerMps;
        return true;
    }
    if (!(rs.card_radar == 1 || rs.card_gages || rs.card_accum)) return true;

    for (int i = 1; i <= lines - 1; ++i) {
        const double seconds = precip_period_seconds(rs.precip_dates[static_cast<size_t>(i)].data(),
                                                     rs.precip_dates[static_cast<size_t>(i) + 1].data());
        if (seconds > kLongPeriod) std::printf("WARNING: you have a long delta t in your precip file\n");
        const double hours = seconds / 3600.0;
        for (int j = 1; j <= gages; ++j) {
            double mm_per_hour = 0.0;
            if (rs.card_radar == 1) {
                mm_per_hour = v.rows[j][i + 1];
            } else {
                const double depth =
                    rs.card_gages ? v.rows[j][i + 1] : v.rows[j][i + 1] - v.rows[j][i];   // mm
                if (hours > 0.0) {
                    mm_per_hour = depth / hours;
                } else if (depth != 0.0) {
                    // Two lines with the same time leave no time for the depth to fall in.
                    std::printf("Error: gage %d gives %lf mm of rain between data lines %d and %d "
                                "of event %d, which have the same time (precipitation file %s, "
                                "line %d)\n",
                                j, depth, i, i + 1, rs.event_index, precip_file_name(rs),
                                rs.precip_line_numbers[static_cast<size_t>(i + 1)]);
                    fail_printed();
                    return false;
                }
            }
            v.rows[j][i] = mm_per_hour / kMmPerHourPerMps;
            if (negative_rate(v.rows[j][i])) {
                std::printf("You have a negative precip value for gage %d, rain period %d\n", j, i);
                std::printf("Check your rainfall inputs for event %d \n", rs.event_index);
                fail_printed();
                return false;
            }
        }
    }
    // The last line ends the last period; it has no rain of its own.
    for (int j = 1; j <= gages; ++j) v.rows[j][lines] = 0.0;
    return true;
}

void init_precip_input(run_state& rs) {
    if (rs.long_term) {
        init_hmet_period(rs);
        if (error_record.code != 0) return;
    }
    rs.event_index = 0;
    rs.events_finished = 0;
    rs.precip_event_reads = 0;
    rs.precip_data_end = 0;

    if (rs.calibration_run) {
        open_optimization_output(rs);
        if (error_record.code != 0) return;
    }

    const bool summary_mode = rs.qrm_host && rs.qrm_mode && rs.qrm_event_num <= 0;
    if (rs.quiet_card) {
        startup_line(rs, "using precipitation data from file: %s\n", precip_file_name(rs));
        if (summary_mode) {
            startup_line(rs, "\n\nReading precip file to write QRM summary in file: "
                             "QRM_PRECIP.SUM\n");
        }
    }
    if (rs.uniform_rain) {
        if (rs.qrm_host) rs.long_term = 0;
        return;
    }
    if (!rs.precip_data_file.is_open()) {
        std::printf("Error: the precipitation file %s is not open\n", precip_file_name(rs));
        fail_printed();
        return;
    }
    count_precip_events(rs, summary_mode);
}

void read_precip_event(run_state& rs) {
    if (rs.rain_state != 0) return;
    if (rs.event_index < 0 || rs.event_index >= rs.num_events ||
        rs.event_index >= core_state::kMaxEvents)
        return;
    if (rs.qrm_mode) {
        // The host asks for one event per run.
        if (rs.precip_event_reads > 0) return;
    } else if (rs.time < rs.event_starts[rs.event_index] - rs.time_tolerance) {
        // Not yet at the event's start (a start passed between two steps is
        // taken at the first step after it).
        return;
    }

    run_analyzers(rs, kAnalyzerEventBegin);
    if (rs.long_term && rs.events_finished < rs.event_index &&
        !(rs.start_date_given && rs.precip_event_reads == 0)) {
        rs.rain_on = 0;
        rs.finish_pending = 1;
        finish_event(rs);
        if (error_record.code != 0) return;
    }
    rs.rain_on = 1;
    rs.event_runoff = 1;
    rs.rain_rate_sum = 0.0;
    if (!rs.gage_rain || !rs.precip_data_file.is_open()) return;

    const char* name = precip_file_name(rs);
    if (rs.qrm_mode) {
        if (!rs.quiet) std::printf("Searching through precip input file for QRM event %d\n",
                                   rs.qrm_event_num);
        rs.event_index = rs.qrm_event_num;
    } else if (rs.long_term) {
        if (!rs.quiet)
            std::printf("reading precip. data for event %3d from file: %s\n", rs.event_index + 1,
                        name);
        file_printf(rs.summary_file, "---reading precip. data for event %3d from file: %s\n",
                    rs.event_index + 1, name);
    } else {
        if (!rs.quiet) std::printf("reading precip data from file: %s\n", name);
        file_printf(rs.summary_file, "reading precip data from file: %s\n", name);
    }
    file_printf(rs.summary_file, "\n\n");
    if (rs.summary_file.handle != nullptr) std::fflush(rs.summary_file.handle);

    int blocks = 1;
    if (rs.qrm_mode) {
        blocks = rs.qrm_event_num;
    } else if (rs.start_date_given && rs.precip_event_reads == 0) {
        blocks = rs.event_index + 1;
    }
    int result = 0;
    for (int b = 0; b < blocks; ++b) {
        result = read_precip_block(rs, true);
        if (result != 1) break;
        if (rs.card_rates) ++rs.num_periods;
    }
    ++rs.precip_event_reads;

    if (result == -1) {
        std::printf("Error: the precipitation file %s ends on line %d inside an event\n", name,
                    rs.precip_file_line);
        std::printf("Unexpected end of file in rain gauge data file.\n");
        std::printf("Check the format of the data file.\nProgram terminated.");
        fail_printed();
        return;
    }
    if (result == 0) {
        if (error_record.code != 0) return;   // input error, already printed
        rs.rain_state = 2;
        rs.event_date[0] = 1000;
        rs.precip_data_end = 1;
        if (rs.event_index == 0) {
            std::printf("\n**********************************\n");
            std::printf("Data was not correctly read from the rainfall input file.\n");
            std::printf("Verify the file format.\n");
            std::printf("***********************************\n");
        }
        if (rs.long_term && !rs.quiet_card) {
            std::printf("Precip data for event %d was not found in file: %s\n", rs.event_index + 1,
                        name);
            std::printf("PLUVO assumes this means all events have been simulated.\n");
            std::printf("Program terminating normally.\n");
        }
        return;
    }

    std::memcpy(rs.event_date, rs.precip_dates[1].data(), sizeof(rs.event_date));
    rs.event_begin_time = line_time(rs, 1);
    rs.precip_next = rs.event_begin_time;
    rs.precip_step = 1;
    // Line times after the first line, by the same calendar as the period
    // lengths of the intensities, so that a period's rain lasts exactly the
    // time its intensity was made for.
    rs.precip_line_seconds.assign(static_cast<size_t>(rs.num_lines) + 1, 0.0);
    for (int l = 2; l <= rs.num_lines; ++l)
        rs.precip_line_seconds[static_cast<size_t>(l)] =
            precip_period_seconds(rs.precip_dates[1].data(), rs.precip_dates[static_cast<size_t>(l)].data());
    rs.precip_done = 0.0;
    rs.cells_hold_period = 0;
    rs.rain_ends_after_step = 0;
    rs.radar_period_loaded = 0;
    rs.event_active = 1;
    if (rs.qrm_mode) {
        rs.event_index = rs.qrm_event_num;
    } else {
        ++rs.event_index;
    }
    rs.rain_state = 1;
    if (rs.card_radar == 2) {
        map_cells_to_radar(rs, rs.radar_filenames[0].c_str());
        if (error_record.code != 0) return;
    }

    if (rs.long_term &&
        !check_precip_dates(rs.hmet_start_year, rs.hmet_start_month, rs.hmet_start_day,
                            rs.hmet_start_hour, rs.hmet_end_year, rs.hmet_end_month,
                            rs.hmet_end_day, rs.hmet_end_hour, rs.event_date[0], rs.event_date[1],
                            rs.event_date[2], rs.event_date[3])) {
        std::printf("Error: PLUVO failed on date check for precip event %d\n", rs.event_index);
        fail_printed();
        return;
    }

    if (!convert_event_values(rs)) return;

    if (rs.card_radar != 2 && rs.num_gages > 1 && rs.gage_thiessen) {
        if (rs.nearest.size() != static_cast<size_t>(rs.GNUM) + 1)
            rs.nearest.assign(static_cast<size_t>(rs.GNUM) + 1, 0);
        fill_cell_centres(rs);
        build_nearest_gage_table(rs.num_gages, rs.gage_x, rs.gage_y, rs.cell_x, rs.cell_y,
                                 rs.nearest, rs.GNUM);
    }
}
