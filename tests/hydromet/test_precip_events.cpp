// Precipitation events: the start-up count, the conversion of GAGES, ACCUM,
// RATES and RADAR values into intensities, the date check against the
// hydromet data, and the opening of an event by the time-loop step.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/dates.h"
#include "hydromet/precip.h"
#include "hydromet/precip_file.h"
#include "pluvo_test.h"
#include "rain_test_support.h"

using namespace rain_test;
using pluvo_test::temp_dir;
using pluvo_test::write_file;

namespace {

void open_precip(run_state& rs, const temp_dir& dir, const std::string& text) {
    const std::string path = dir.file("rain.gag");
    write_file(path, text);
    std::snprintf(rs.files.precip_file, sizeof(rs.files.precip_file), "%s", path.c_str());
    ASSERT_TRUE(open_file_named(rs.precip_data_file, path.c_str(), "r"));
    rs.gage_rain = 1;
}

// Hourly KEV records over the whole of 2001 as the hydromet file of a long-term run.
void open_hmet_2001(run_state& rs, const temp_dir& dir) {
    std::string text;
    char line[96];
    for (int m = 1; m <= 12; ++m)
        for (int d = 1; d <= days_in_month_of(2001, m); ++d)
            for (int h = 0; h < 24; ++h) {
                std::snprintf(line, sizeof line, "2001 %d %d %d 29.92 50 40 5 60 0 0\n", m, d, h);
                text += line;
            }
    const std::string path = dir.file("hmet.kev");
    write_file(path, text);
    ASSERT_TRUE(open_file_named(rs.hmet_data_file, path.c_str(), "r"));
    rs.hmet_kev = 1;
}

// Reads the file's first event and converts its values; returns the output.
std::string read_and_convert(run_state& rs, bool& ok) {
    testing::internal::CaptureStdout();
    ok = read_precip_block(rs, true) == 1;
    if (ok) {
        if (rs.card_rates) ++rs.num_periods;
        ok = convert_event_values(rs);
    }
    return testing::internal::GetCapturedStdout();
}

std::string three_events() {
    return "EVENT one\nNRGAG 1\nNRPDS 2\nCOORD 0 0\nRATES 2001 6 1 0 0 1\nRATES 2001 6 1 1 0 0\n"
           "EVENT two\nNRGAG 1\nNRPDS 2\nCOORD 0 0\nRATES 2001 6 3 12 0 2\nRATES 2001 6 3 13 0 0\n"
           "EVENT three\nNRGAG 1\nNRPDS 2\nCOORD 0 0\nRATES 2001 7 1 0 0 3\nRATES 2001 7 1 1 0 0\n";
}

}  // namespace

TEST(PrecipEvents, ValuesBecomeIntensitiesPerPeriod) {
    // Gage 1 and gage 2 on three lines 30 minutes apart, then 60 minutes.
    struct {
        const char* what;
        const char* lines;
        double period1[2];   // mm/h of gages 1, 2 for the period from line 1 to line 2
        double period2[2];   // from line 2 to line 3
        int periods;
    } cases[] = {
        {"GAGES: depth of the period ending at the line / hours",
         "GAGES 2001 5 1 10 0 9 9\nGAGES 2001 5 1 10 30 3 1\nGAGES 2001 5 1 11 30 4 0\n",
         {6.0, 2.0}, {4.0, 0.0}, 3},
        {"ACCUM: growth of the total / hours",
         "ACCUM 2001 5 1 10 0 1 0\nACCUM 2001 5 1 10 30 4 1\nACCUM 2001 5 1 11 30 6 1\n",
         {6.0, 2.0}, {2.0, 0.0}, 3},
        {"RADAR values: the intensity of the period ending at the line",
         "RADAR 2001 5 1 10 0 9 9\nRADAR 2001 5 1 10 30 3 1\nRADAR 2001 5 1 11 30 4 0\n",
         {3.0, 1.0}, {4.0, 0.0}, 3},
        {"RATES: each line's own intensity",
         "RATES 2001 5 1 10 0 9 8\nRATES 2001 5 1 10 30 3 1\nRATES 2001 5 1 11 30 4 0\n",
         {9.0, 8.0}, {3.0, 1.0}, 4},
    };
    for (const auto& c : cases) {
        run_state_ptr rs = make_row(1, 10.0);
        temp_dir dir;
        open_precip(*rs, dir,
                    std::string("EVENT conversion\nNRGAG 2\nNRPDS 3\nCOORD 0 0\nCOORD 10 0\n") +
                        c.lines);
        bool ok = false;
        const std::string out = read_and_convert(*rs, ok);
        ASSERT_TRUE(ok) << c.what << "\n" << out;
        EXPECT_EQ(rs->num_periods, c.periods) << c.what;
        for (int j = 1; j <= 2; ++j) {
            EXPECT_NEAR(rs->gage_values.rows[j][1], mmh(c.period1[j - 1]), 1e-15) << c.what;
            EXPECT_NEAR(rs->gage_values.rows[j][2], mmh(c.period2[j - 1]), 1e-15) << c.what;
        }
    }
}

TEST(PrecipEvents, GagesPeriodAcrossAMonthEnd) {
    // 23:30 on 31 January to 00:30 on 1 February is one hour; 3rd to 5th is
    // two days and warned about.
    struct {
        const char* lines;
        double mm_per_hour;
        bool warned;
    } cases[] = {
        {"GAGES 2001 1 31 23 30 0\nGAGES 2001 2 1 0 30 10\n", 10.0, false},
        {"GAGES 2001 1 3 10 0 0\nGAGES 2001 1 5 10 0 48\n", 1.0, true},
        {"GAGES 2000 2 28 12 0 0\nGAGES 2000 3 1 12 0 96\n", 2.0, true},
    };
    for (const auto& c : cases) {
        run_state_ptr rs = make_row(1, 10.0);
        temp_dir dir;
        open_precip(*rs, dir, std::string("EVENT m\nNRGAG 1\nNRPDS 2\nCOORD 0 0\n") + c.lines);
        bool ok = false;
        const std::string out = read_and_convert(*rs, ok);
        ASSERT_TRUE(ok) << out;
        EXPECT_NEAR(rs->gage_values.rows[1][1], mmh(c.mm_per_hour), 1e-15) << c.lines;
        EXPECT_EQ(out.find("WARNING: you have a long delta t in your precip file\n") !=
                      std::string::npos,
                  c.warned)
            << c.lines;
    }
}

TEST(PrecipEvents, DepthInAPeriodOfNoLengthIsRefused) {
    // Equal times are accepted, but a depth cannot fall in no time (it would
    // become an infinite intensity); a zero depth there is harmless.
    struct {
        const char* lines;
        bool ok;
    } cases[] = {
        {"GAGES 2001 1 1 0 0 0\nGAGES 2001 1 1 0 0 0\nGAGES 2001 1 1 1 0 2\n", true},
        {"GAGES 2001 1 1 0 0 0\nGAGES 2001 1 1 0 0 5\nGAGES 2001 1 1 1 0 2\n", false},
    };
    for (const auto& c : cases) {
        run_state_ptr rs = make_row(1, 10.0);
        temp_dir dir;
        open_precip(*rs, dir, std::string("EVENT z\nNRGAG 1\nNRPDS 3\nCOORD 0 0\n") + c.lines);
        bool ok = false;
        const std::string out = read_and_convert(*rs, ok);
        EXPECT_EQ(ok, c.ok) << out;
        if (!c.ok) {
            EXPECT_EQ(error_record.code, kErrorPrinted);
            EXPECT_NE(out.find("which have the same time (precipitation file"), std::string::npos)
                << out;
            EXPECT_NE(out.find(", line 6)"), std::string::npos) << out;
        } else {
            EXPECT_NEAR(rs->gage_values.rows[1][2], mmh(2.0), 1e-15);
        }
        clear_error();
    }
}

TEST(PrecipEvents, NegativeGageRainIsRefused) {
    run_state_ptr rs = make_row(1, 10.0);
    rs->event_index = 4;
    temp_dir dir;
    open_precip(*rs, dir,
                "EVENT n\nNRGAG 1\nNRPDS 3\nCOORD 0 0\nGAGES 2001 1 1 0 0 0\n"
                "GAGES 2001 1 1 1 0 1\nGAGES 2001 1 1 2 0 -1\n");
    bool ok = true;
    const std::string out = read_and_convert(*rs, ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(error_record.code, kErrorPrinted);
    EXPECT_NE(out.find("You have a negative precip value for gage 1, rain period 2\n"
                       "Check your rainfall inputs for event 4 \n"),
              std::string::npos)
        << out;
    clear_error();
}

TEST(PrecipEvents, DateCheckAgainstTheHydrometData) {
    // hmet data from 2001-03-10 06h to 2001-09-20 18h.
    struct {
        int date[4];
        int pass;
        const char* message;
    } cases[] = {
        {{2001, 3, 10, 6}, 1, ""},
        {{2001, 9, 20, 18}, 1, ""},
        {{2001, 3, 10, 5}, 0,
         "\nRaingage data starts on hour 5 day 10 month 3 in year 2001\n"
         "while the hmet data begins on hour 6 day 10 of month 3 in year 2001\n"
         "Program terminating.  Check your times and dates.\n"},
        {{2000, 12, 31, 23}, 0,
         "\nRaingage Data starts in 2000, hydromet data doesn't start until 2001.\n"
         "Program terminating.  Check your dates.\n"},
        {{2001, 2, 28, 0}, 0,
         "\nRaingage Data starts in month 2 of 2001 while hmet data starts in\nmonth 3 of 2001\n"
         "Program terminating.  Check your dates.\n"},
        {{2001, 9, 21, 0}, 0,
         "\nRaingage data starts on day 21 of month 9 in year 2001\n"
         "while the hmet data ends on day 20 of month 9 in year 2001\n"
         "Program terminating.  Check your dates.\n"},
        {{2001, 3, 9, 23}, 0,
         "\nRaingage data starts on day 9 of month 3 in year 2001\n"
         "while the hmet data begins on day 10 of month 3 in year 2001\n"
         "Program terminating.  Check your dates.\n"},
        {{2002, 1, 1, 0}, 0,
         "\nRaingage Data starts in 2002, hydromet data ends in 2001.\n"
         "Program terminating.  Check your dates.\n"},
        {{2001, 10, 1, 0}, 0,
         "\nRaingage Data starts in month 10 of 2001 while hmet data ends in\nmonth 9 of 2001\n"
         "Program terminating.  Check your dates.\n"},
        {{2001, 9, 20, 19}, 0,
         "\nRaingage data starts on hour 19 day 20 month 9 in year 2001\n"
         "while the hmet data ends on hour 18 day 20 of month 9 in year 2001\n"
         "Program terminating.  Check your times and dates.\n"},
    };
    for (const auto& c : cases) {
        testing::internal::CaptureStdout();
        const int pass = check_precip_dates(2001, 3, 10, 6, 2001, 9, 20, 18, c.date[0], c.date[1],
                                            c.date[2], c.date[3]);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(pass, c.pass) << c.date[0] << "/" << c.date[1] << "/" << c.date[2];
        EXPECT_EQ(out, c.message);
    }
}

TEST(PrecipEvents, CountOfTheEventsAndTheOneEventRule) {
    struct {
        int long_term;
        int expected_events;
        const char* message;
    } cases[] = {
        {0, 1,
         "Precip. file contains 3 events, simulating first event only\n"
         "because LONG_TERM project file card not set in project file.\n"},
        {1, 3, "Precip. file contains 3 events\n"},
    };
    for (const auto& c : cases) {
        run_state_ptr rs = make_row(1, 10.0);
        rs->long_term = c.long_term;
        temp_dir dir;
        open_precip(*rs, dir, three_events());
        if (c.long_term) open_hmet_2001(*rs, dir);
        testing::internal::CaptureStdout();
        init_precip_input(*rs);
        const std::string out = testing::internal::GetCapturedStdout();
        ASSERT_EQ(error_record.code, 0) << out;
        EXPECT_EQ(rs->num_events, c.expected_events);
        EXPECT_NE(out.find(c.message), std::string::npos) << out;
        EXPECT_DOUBLE_EQ(rs->event_starts[0], julian_day(2001, 6, 1, 0, 0, 0.0));
        EXPECT_DOUBLE_EQ(rs->event_starts[1], julian_day(2001, 6, 3, 12, 0, 0.0));
        EXPECT_DOUBLE_EQ(rs->event_starts[2], julian_day(2001, 7, 1, 0, 0, 0.0));
        // The count leaves the file at its start: the next read is event one.
        testing::internal::CaptureStdout();
        EXPECT_EQ(read_precip_block(*rs, true), 1);
        testing::internal::GetCapturedStdout();
        EXPECT_STREQ(rs->event_title, "one");
    }
}

TEST(PrecipEvents, HostAskingForAnEventBeyondTheFileStops) {
    run_state_ptr rs = make_row(1, 10.0);
    rs->qrm_host = 1;
    rs->qrm_mode = 1;
    rs->qrm_event_num = 5;
    temp_dir dir;
    open_precip(*rs, dir, three_events());
    testing::internal::CaptureStdout();
    init_precip_input(*rs);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(error_record.code, kErrorPrinted);
    EXPECT_NE(out.find("\n\nQRM has requested that PLUVO run event 5.\n"), std::string::npos);
    EXPECT_NE(out.find("contains only 3 events.  PROGRAM TERMINATED.\n\n"), std::string::npos);
    clear_error();
}

TEST(PrecipEvents, FileWithoutAnyEventIsRefused) {
    run_state_ptr rs = make_row(1, 10.0);
    temp_dir dir;
    open_precip(*rs, dir, "nothing in here\n");
    testing::internal::CaptureStdout();
    init_precip_input(*rs);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(error_record.code, kErrorPrinted);
    EXPECT_NE(out.find("holds no rainfall event"), std::string::npos) << out;
    clear_error();
}

TEST(PrecipEvents, EventStepOpensEachEventAtItsStart) {
    run_state_ptr rs = make_row(2, 10.0);
    rs->long_term = 1;
    temp_dir dir;
    open_precip(*rs, dir, three_events());
    open_hmet_2001(*rs, dir);   // 2001-01-01 00:00 to 2001-12-31 23:00
    testing::internal::CaptureStdout();
    init_precip_input(*rs);
    ASSERT_EQ(error_record.code, 0);

    // Before the first start nothing happens; at it the event opens.
    rs->time = julian_day(2001, 5, 31, 23, 0, 0.0);
    read_precip_event(*rs);
    EXPECT_EQ(rs->rain_state, 0);
    rs->time = rs->event_starts[0];
    read_precip_event(*rs);
    EXPECT_EQ(rs->rain_state, 1);
    EXPECT_EQ(rs->event_index, 1);
    EXPECT_EQ(rs->event_active, 1);
    EXPECT_EQ(rs->rain_on, 1);
    EXPECT_EQ(rs->precip_step, 1);
    EXPECT_DOUBLE_EQ(rs->precip_next, rs->event_starts[0]);
    EXPECT_DOUBLE_EQ(rs->event_begin_time, rs->event_starts[0]);
    EXPECT_EQ(rs->num_periods, 3);   // RATES: one period more than lines
    EXPECT_NEAR(rs->gage_values.rows[1][1], mmh(1.0), 1e-18);

    // The second event opens once the first one's rain is over (and the first
    // event has been accounted).
    rs->rain_state = 0;
    rs->events_finished = 1;
    rs->time = rs->event_starts[1];
    read_precip_event(*rs);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(rs->event_index, 2);
    EXPECT_STREQ(rs->event_title, "two");
    EXPECT_NEAR(rs->gage_values.rows[1][1], mmh(2.0), 1e-18);
    EXPECT_NE(out.find("reading precip. data for event   2 from file: "), std::string::npos);
    EXPECT_EQ(error_record.code, 0);
}
