// Tests of the run clock: the choice of the time step and output intervals,
// the start clock of the processes, and the clock advance of every pass.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>

#include "run/clock.h"
#include "core/dates.h"
#include "core/error.h"
#include "run/run_state.h"

namespace {

struct run_state_deleter {
    void operator()(run_state* rs) const { destroy_run_state(rs); }
};
using run_state_ptr = std::unique_ptr<run_state, run_state_deleter>;

// A fresh run state with a valid single-event setting of the run-control
// cards, and a clean error record around each test.
class Clock : public ::testing::Test {
protected:
    void SetUp() override {
        error_record = error_info{};
        current_summary_file = nullptr;
        rs_.reset(create_run_state());
        ASSERT_NE(rs_, nullptr);
        run_settings& s = rs_->settings;
        s.timestep = 60.0;
        s.hyd_freq = 1.0;
        s.map_freq = 60;
        s.outslope = 0.01;
        s.rows = 3;
        s.cols = 4;
        s.tot_time = 120;
        s.gridsize = 30.0;
        s.latitude = 40.0;
        s.longitude = 105.0;
    }
    void TearDown() override { error_record = error_info{}; }

    // check_time_settings with the console captured.
    std::string check() {
        testing::internal::CaptureStdout();
        check_time_settings(*rs_);
        return testing::internal::GetCapturedStdout();
    }
    std::string start_clock() {
        testing::internal::CaptureStdout();
        set_start_clock(*rs_);
        return testing::internal::GetCapturedStdout();
    }

    // Events 1..n starting at the given times.
    void set_events(std::initializer_list<double> starts) {
        int i = 0;
        for (double t : starts) rs_->event_starts[i++] = t;
        rs_->num_events = i;
    }

    run_state& rs() { return *rs_; }

private:
    run_state_ptr rs_;
};

const double kDay2000 = julian_day(2000, 6, 1, 0, 0, 0.0);

TEST_F(Clock, ModelTimeStepIsTheSmallerOfTheTwoCards) {
    struct step_case {
        double st_time_step, timestep, dt;
    };
    const step_case cases[] = {
        {0.0, 10.0, 10.0},    // stream step not given
        {0.005, 10.0, 10.0},  // below 0.01 counts as not given
        {5.0, 10.0, 5.0},
        {20.0, 10.0, 10.0},
    };
    for (const step_case& c : cases) {
        error_record = error_info{};
        rs().settings.st_time_step = c.st_time_step;
        rs().settings.timestep = c.timestep;
        check();
        EXPECT_EQ(error_record.code, 0) << c.st_time_step;
        EXPECT_DOUBLE_EQ(rs().dt, c.dt) << c.st_time_step;
    }
}

TEST_F(Clock, FailuresStopWithTheirCodeBeforeLaterCopies) {
    struct failure_case {
        const char* what;
        double timestep, st_time_step, outslope, latitude, longitude;
        int long_term, gmt_given;
        int code;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const failure_case cases[] = {
        {"valid single event", 60, 0, 0.01, 0, 0, 0, 0, 0},
        {"valid long term", 60, 0, 0.01, 40, 105, 1, 1, 0},
        {"zero step", 0, 0, 0.01, 40, 105, 0, 0, 52},
        {"step at the limit", 0.001, 0, 0.01, 40, 105, 0, 0, 280},
        {"negative step", -5, 0, 0.01, 40, 105, 0, 0, 280},
        {"stream step with a zero model step", 0, 1.0, 0.01, 40, 105, 0, 0, 52},
        {"step not a number", nan, 0, 0.01, 40, 105, 0, 0, 280},
        {"step just above the limit", 0.0011, 0, 0.01, 40, 105, 0, 0, 0},
        {"no outlet slope", 60, 0, 0.0, 40, 105, 0, 0, 56},
        {"outlet slope below 1e-9", 60, 0, 1e-10, 40, 105, 0, 0, 281},
        {"outlet slope 1e-9", 60, 0, 1e-9, 40, 105, 0, 0, 0},
        {"outlet slope not a number", 60, 0, nan, 40, 105, 0, 0, 281},
        {"long term, tiny latitude", 60, 0, 0.01, 0.005, 105, 1, 1, 57},
        {"long term, zero longitude", 60, 0, 0.01, 40, 0, 1, 1, 57},
        {"long term, southern latitude", 60, 0, 0.01, -33, 150, 1, 1, 57},
        {"long term, western longitude", 60, 0, 0.01, 40, -105, 1, 1, 57},
        {"long term without gmt", 60, 0, 0.01, 40, 105, 1, 0, 58},
        {"single event ignores site and gmt", 60, 0, 0.01, 0, -1, 0, 0, 0},
    };
    for (const failure_case& c : cases) {
        error_record = error_info{};
        run_settings& s = rs().settings;
        s.timestep = c.timestep;
        s.st_time_step = c.st_time_step;
        s.outslope = c.outslope;
        s.latitude = c.latitude;
        s.longitude = c.longitude;
        s.gmt_given = c.gmt_given;
        rs().long_term = c.long_term;
        rs().rows = 0;
        rs().mask_rows = 0;
        check();
        EXPECT_EQ(error_record.code, c.code) << c.what;
        // A time-step failure returns before the grid copy; every failure before the last copy.
        EXPECT_EQ(rs().rows, c.code == 52 || c.code == 280 ? 0 : 3) << c.what;
        EXPECT_EQ(rs().mask_rows, c.code == 0 ? 3 : 0) << c.what;
    }
}

TEST_F(Clock, StepsPerWriteAreTruncatedButNeverZero) {
    struct interval_case {
        double dt, hyd_freq;
        int map_freq;
        int hydro_steps, map_steps;
    };
    const interval_case cases[] = {
        {7.0, 1.0, 60, 8, 514},          // int(60 / 7 x 1) = 8, int(60 / 7 x 60) = 514
        {60.0, 15.0, 360, 15, 360},
        {10.0, 0.05, 1, 1, 6},           // 0.3 passes: written every pass, not never
        {120.0, 1.0, 1, 1, 1},           // intervals shorter than the step
        {0.01, 1e12, 60, std::numeric_limits<int>::max(), 360000},  // beyond the int range
    };
    for (const interval_case& c : cases) {
        error_record = error_info{};
        rs().settings.timestep = c.dt;
        rs().settings.hyd_freq = c.hyd_freq;
        rs().settings.map_freq = c.map_freq;
        check();
        EXPECT_EQ(error_record.code, 0) << c.dt;
        EXPECT_EQ(rs().hydro_write_steps, c.hydro_steps) << c.dt << " " << c.hyd_freq;
        EXPECT_EQ(rs().map_write_steps, c.map_steps) << c.dt << " " << c.map_freq;
    }
}

TEST_F(Clock, MissingIntervalsWarnInOrderAndTakeTheirDefaults) {
    rs().settings.timestep = 30.0;
    rs().settings.hyd_freq = 0.0;
    rs().settings.map_freq = 0;
    const std::string out = check();

    const message_entry* hydro_warning = find_message(55);
    ASSERT_NE(hydro_warning, nullptr);
    const std::string map_warning =
        "Warning: Write solution time step not specified, defaulting to 6 hours.\n";
    EXPECT_EQ(out, std::string("\n") + hydro_warning->text + map_warning);
    // 55 is a warning reported at once: nothing is left pending and the run goes on.
    EXPECT_EQ(error_record.code, 0);
    EXPECT_EQ(error_record.stop, 0);
    EXPECT_EQ(rs().hydro_write_steps, 120);   // 60 min at 30 s
    EXPECT_EQ(rs().map_write_steps, 720);     // 360 min at 30 s
}

TEST_F(Clock, QuietRunStillReportsTheHydrographWarning) {
    rs().quiet = 1;
    rs().settings.hyd_freq = -1.0;
    rs().settings.map_freq = 0;
    const std::string out = check();
    EXPECT_EQ(out, std::string("\n") + find_message(55)->text);
    EXPECT_EQ(rs().hydro_write_steps, 60);
}

TEST_F(Clock, RunControlCardsReachTheRunState) {
    run_settings& s = rs().settings;
    s.outrow = 2;
    s.outcol = 3;
    s.gmt = -7.0;
    s.gmt_given = 1;
    s.qout_cfs = 1;
    s.quiet = 1;
    check();
    ASSERT_EQ(error_record.code, 0);
    EXPECT_EQ(rs().rows, 3);
    EXPECT_EQ(rs().cols, 4);
    EXPECT_EQ(rs().mask_rows, 3);
    EXPECT_EQ(rs().mask_cols, 4);
    EXPECT_EQ(rs().tot_time, 120);
    EXPECT_EQ(rs().outrow, 2);
    EXPECT_EQ(rs().outcol, 3);
    EXPECT_DOUBLE_EQ(rs().outslope, 0.01);
    EXPECT_DOUBLE_EQ(rs().cell_size, 30.0);
    EXPECT_DOUBLE_EQ(rs().latitude, 40.0);
    EXPECT_DOUBLE_EQ(rs().gmt, -7.0);
    EXPECT_EQ(rs().gmt_given, 1);
    EXPECT_EQ(rs().english_units, 1);
    EXPECT_EQ(rs().quiet_card, 1);
    EXPECT_EQ(rs().quiet, 0);   // the quiet card does not silence the run
}

TEST_F(Clock, FirstPassRunsAtTheStartAndLaterPassesCountSteps) {
    set_events({kDay2000});
    rs().gage_rain = 1;
    check();
    start_clock();
    ASSERT_EQ(error_record.code, 0);
    EXPECT_DOUBLE_EQ(rs().time, kDay2000);
    EXPECT_EQ(rs().julian_start, kDay2000);
    EXPECT_EQ(rs().running, 1);

    advance_clock(rs());
    EXPECT_EQ(rs().time, kDay2000);
    EXPECT_EQ(rs().step, 0);
    EXPECT_EQ(rs().clock_passes, 1);
    EXPECT_EQ(rs().hour, 0);
    EXPECT_EQ(rs().minute, 0);

    advance_clock(rs());
    EXPECT_EQ(rs().step, 1);
    EXPECT_EQ(rs().clock_passes, 2);
    EXPECT_EQ(rs().event_steps, 1);
    EXPECT_EQ(rs().chan_steps, 1);
    EXPECT_DOUBLE_EQ(rs().time, kDay2000 + 60.0 / 86400.0);
    EXPECT_DOUBLE_EQ(rs().elapsed_minutes, 1.0);
    EXPECT_EQ(rs().minute, 1);
    EXPECT_EQ(rs().second, 0);
}

TEST_F(Clock, LongRunHasNoDrift) {
    const double start = julian_day(2003, 1, 1, 0, 0, 0.0);
    rs().julian_start = start;
    rs().time = start;
    rs().dt = 7.0;
    rs().dt_days = 7.0 / 86400.0;
    const int steps = 1000000;
    for (int i = 0; i <= steps; ++i) advance_clock(rs());

    EXPECT_EQ(rs().step, steps);
    EXPECT_EQ(rs().time, steps * rs().dt_days + start);
    // Adding the step pass after pass would have drifted away from that value.
    double accumulated = start;
    for (int i = 0; i < steps; ++i) accumulated += rs().dt_days;
    EXPECT_NE(accumulated, rs().time);
    // 7,000,000 s = 81 days 26 min 40 s after the start.
    EXPECT_EQ(rs().month, 3);
    EXPECT_EQ(rs().day, 23);
    EXPECT_EQ(rs().hour, 0);
    EXPECT_EQ(rs().minute, 26);
    EXPECT_EQ(rs().second, 40);
    EXPECT_DOUBLE_EQ(rs().elapsed_minutes, 7000000.0 / 60.0);
}

TEST_F(Clock, DayOfYearCountsFebruaryByTheRunsLeapRule) {
    struct doy_case {
        int year, month, day, day_of_year, february;
    };
    const doy_case cases[] = {
        {2000, 3, 1, 61, 29}, {1900, 3, 1, 61, 29}, {2100, 3, 1, 61, 29},
        {2001, 3, 1, 60, 28}, {2000, 1, 15, 15, 29}, {2001, 1, 15, 15, 28},
        {2000, 12, 31, 366, 29}, {2003, 12, 31, 365, 28},
    };
    for (const doy_case& c : cases) {
        // Through the clock advance: noon of that day.
        rs().clock_passes = 0;
        rs().time = julian_day(c.year, c.month, c.day, 12, 0, 0.0);
        advance_clock(rs());
        EXPECT_EQ(rs().year, c.year);
        EXPECT_EQ(rs().day_of_year, c.day_of_year) << c.year << "-" << c.month << "-" << c.day;
        EXPECT_EQ(days_in_month[2], c.february) << c.year;
        EXPECT_EQ(day_of_year_of(c.year, c.month, c.day), c.day_of_year);
    }
}

TEST_F(Clock, SingleEventGageRunStartsEveryProcessAtTheFirstEvent) {
    set_events({kDay2000, kDay2000 + 1.0});
    rs().gage_rain = 1;
    rs().green_ampt = 1;
    rs().chan_explic = 1;
    rs().superlink = 1;
    rs().step = 5;
    rs().clock_passes = 7;
    check();
    start_clock();
    ASSERT_EQ(error_record.code, 0);
    const double d = 60.0 / 86400.0;
    EXPECT_DOUBLE_EQ(rs().dt_days, d);
    EXPECT_DOUBLE_EQ(rs().time_tolerance, 1.1574074074074074e-7);
    EXPECT_EQ(rs().time, kDay2000);
    EXPECT_EQ(rs().rain_next, kDay2000);
    EXPECT_EQ(rs().rain_last, kDay2000 - d);
    EXPECT_EQ(rs().infil_last, kDay2000);
    EXPECT_EQ(rs().infil_next, kDay2000 + d);
    EXPECT_EQ(rs().chan_last, kDay2000);
    EXPECT_EQ(rs().chan_next, kDay2000 + d);
    EXPECT_DOUBLE_EQ(rs().chan_step_minutes, 1.0);
    EXPECT_EQ(rs().superlink_last, kDay2000);
    EXPECT_EQ(rs().superlink_first_step, 1);
    EXPECT_EQ(rs().next_event_start, kDay2000);
    EXPECT_EQ(rs().rain_state, 0);
    EXPECT_EQ(rs().step, 0);
    EXPECT_EQ(rs().clock_passes, 0);
    EXPECT_EQ(rs().julian_start, kDay2000);
}

TEST_F(Clock, UniformRainKeepsItsCardStartAndCountsItsRainSteps) {
    const double start = julian_day(2005, 6, 15, 14, 30, 0.0);
    rs().uniform_rain = 1;
    rs().uniform_rain_duration = 30;
    rs().year = 2005;
    rs().time = start;
    rs().event_starts[0] = start;
    check();
    start_clock();
    ASSERT_EQ(error_record.code, 0);
    EXPECT_EQ(rs().time, start);
    EXPECT_EQ(rs().num_periods, 30);   // 30 min of 60 s steps
    EXPECT_EQ(rs().rain_state, 1);
    EXPECT_EQ(rs().uniform_steps, 1);
    EXPECT_EQ(rs().event_index, 1);
    EXPECT_EQ(rs().next_event_start, start);
}

TEST_F(Clock, UniformRainWithoutStartDateStops) {
    rs().uniform_rain = 1;
    rs().uniform_rain_duration = 30;
    check();
    const std::string out = start_clock();
    EXPECT_EQ(out,
              "You did not specify the starting date and time in the\n"
              "project file.  You must do this for simulations with\n"
              "uniform precipitation using the START_DATE and START_TIME\n"
              "cards.  Edit the project file.   Program terminated.\n\n");
    EXPECT_EQ(error_record.code, 0);   // reported by the step itself
    EXPECT_EQ(error_record.stop, 1);
    EXPECT_EQ(rs().running, 0);
}

TEST_F(Clock, LongTermRunStartsAtTheDataOrAtTheGivenDate) {
    const double data_start = julian_day(2001, 5, 1, 6, 0, 0.0);
    const double e1 = julian_day(2001, 5, 3, 0, 0, 0.0);
    const double e2 = julian_day(2001, 5, 10, 0, 0, 0.0);
    const double e3 = julian_day(2001, 5, 20, 0, 0, 0.0);
    auto set_long_term = [&](run_state& r) {
        r.long_term = 1;
        r.gage_rain = 1;
        r.inf_redist = 1;
        r.et_calc_penman = 1;
        r.hmet_start_year = 2001;
        r.hmet_start_month = 5;
        r.hmet_start_day = 1;
        r.hmet_start_hour = 6;
        r.hmet_end_year = 2001;
        r.hmet_end_month = 9;
        r.hmet_end_day = 30;
        r.hmet_end_hour = 23;
        r.settings.gmt_given = 1;
    };
    set_long_term(rs());
    set_events({e1, e2, e3});
    check();
    ASSERT_EQ(error_record.code, 0);
    start_clock();
    ASSERT_EQ(error_record.code, 0);
    const double d = 60.0 / 86400.0;
    EXPECT_EQ(rs().time, data_start);
    EXPECT_EQ(rs().start_hhmm, 600);
    EXPECT_EQ(rs().start_yyyymmdd, 20010501);
    EXPECT_EQ(rs().julian_end, julian_day(2001, 9, 30, 23, 0, 0.0));
    EXPECT_EQ(rs().start_date_given, 0);
    // Dry at the start: rain and infiltration wait for the first event.
    EXPECT_EQ(rs().rain_next, e1);
    EXPECT_EQ(rs().rain_last, e1 - d);
    EXPECT_EQ(rs().infil_last, e1);
    EXPECT_EQ(rs().hmet_next, data_start);
    EXPECT_DOUBLE_EQ(rs().hmet_last, data_start - 1.0 / 24.0);
    EXPECT_EQ(rs().et_last, data_start);
    EXPECT_DOUBLE_EQ(rs().et_next, data_start + 1.0 / 24.0);
    EXPECT_EQ(rs().next_event_start, e1);

    // Water on the surface or exfiltrating cells at the start: rain and
    // infiltration start at once.
    for (int* (*flag)(run_state&) : {+[](run_state& r) { return &r.surface_water_present; },
                                     +[](run_state& r) { return &r.exfiltration; }}) {
        SetUp();
        set_long_term(rs());
        set_events({e1, e2, e3});
        *flag(rs()) = 1;
        check();
        start_clock();
        EXPECT_EQ(rs().rain_next, data_start);
        EXPECT_EQ(rs().infil_last, data_start);
        EXPECT_EQ(rs().et_last, data_start);
    }

    // A start date between events 2 and 3: the run starts with event 3.
    SetUp();
    set_long_term(rs());
    set_events({e1, e2, e3});
    rs().settings.start_date[0] = 2001;
    rs().settings.start_date[1] = 5;
    rs().settings.start_date[2] = 15;
    rs().settings.start_time[0] = 8;
    rs().settings.start_time[1] = 30;
    check();
    start_clock();
    ASSERT_EQ(error_record.code, 0);
    const double given = julian_day(2001, 5, 15, 8, 30, 0.0);
    EXPECT_EQ(rs().start_date_given, 1);
    EXPECT_EQ(rs().time, given);
    EXPECT_EQ(rs().julian_start, given);
    EXPECT_EQ(rs().start_hhmm, 830);
    EXPECT_EQ(rs().start_yyyymmdd, 20010515);
    EXPECT_EQ(rs().first_event_index, 3);
    EXPECT_EQ(rs().event_index, 2);
    EXPECT_EQ(rs().next_event_start, e3);
    EXPECT_EQ(rs().rain_last, e3);
    EXPECT_EQ(rs().rain_next, e3 + d);
    EXPECT_EQ(rs().infil_last, e3);
    EXPECT_EQ(rs().et_next, given);
    EXPECT_EQ(rs().et_last, given - d);
}

TEST_F(Clock, StartDateAfterEveryEventOfAFullTableIsRefused) {
    rs().long_term = 1;
    rs().gage_rain = 1;
    rs().inf_redist = 1;
    rs().chan_explic = 1;
    rs().hmet_start_year = 1990;
    rs().hmet_start_month = 1;
    rs().hmet_start_day = 1;
    rs().settings.gmt_given = 1;
    for (int i = 0; i < core_state::kMaxEvents; ++i) rs().event_starts[i] = kDay2000 - 5000 + i;
    rs().num_events = core_state::kMaxEvents;
    // Data lies right behind the event table: a read past its end would not give 0.
    rs().precip_dates[0][0] = 2001;
    rs().precip_dates[0][1] = 7;
    rs().settings.start_date[0] = 2001;
    rs().settings.start_date[1] = 1;
    rs().settings.start_date[2] = 1;
    check();
    std::string out = start_clock();
    // No event starts at or after the date: the run stops with a message
    // instead of starting from an event behind the table.
    EXPECT_EQ(error_record.code, kErrorPrinted);
    EXPECT_NE(out.find("2001"), std::string::npos) << out;
    EXPECT_EQ(rs().running, 0);
    EXPECT_EQ(event_start_time(rs(), core_state::kMaxEvents + 1), 0.0);
    EXPECT_EQ(event_start_time(rs(), 0), 0.0);
    EXPECT_EQ(event_start_time(rs(), core_state::kMaxEvents), kDay2000 - 5000 + 1999);
}

TEST_F(Clock, HostEventCallStartsAtTheRequestedEventOrStops) {
    const double e1 = kDay2000, e2 = kDay2000 + 3.0;
    set_events({e1, e2});
    rs().gage_rain = 1;
    rs().chan_explic = 1;
    rs().green_ampt = 1;
    rs().qrm_host = 1;
    rs().qrm_mode = 1;
    rs().qrm_event_num = 2;
    check();
    start_clock();
    ASSERT_EQ(error_record.code, 0);
    const double d = 60.0 / 86400.0;
    EXPECT_EQ(rs().time, e2);
    EXPECT_EQ(rs().next_event_start, e2);
    EXPECT_EQ(rs().rain_next, e2);
    EXPECT_EQ(rs().rain_last, e2 - d);
    EXPECT_EQ(rs().infil_last, e2);
    EXPECT_EQ(rs().infil_next, e2 + d);
    EXPECT_EQ(rs().chan_last, e2);
    EXPECT_EQ(rs().chan_next, e2 + d);

    for (int requested : {3, 0, -1}) {
        SetUp();
        set_events({e1, e2});
        rs().gage_rain = 1;
        rs().qrm_host = 1;
        rs().qrm_mode = 1;
        rs().qrm_event_num = requested;
        check();
        const std::string out = start_clock();
        EXPECT_EQ(error_record.code, kErrorPrinted) << requested;
        EXPECT_NE(out.find("QRM requested event " + std::to_string(requested)), std::string::npos)
            << out;
        EXPECT_EQ(rs().running, 0) << requested;
    }
}

TEST_F(Clock, GroundwaterAndRichardsIntervals) {
    struct interval_case {
        const char* what;
        int richards, et;
        double gw_timestep;
        double infil_seconds, gw_seconds;
    };
    const interval_case cases[] = {
        // Long-term Richards without surface water: hourly, or the shorter groundwater step.
        {"richards, long groundwater step", 1, 1, 7200.0, 3600.0, 7200.0},
        {"richards, short groundwater step", 1, 1, 900.0, 900.0, 900.0},
        // Without evapotranspiration groundwater follows a shorter infiltration step.
        {"green-ampt redistribution, no ET", 0, 0, 7200.0, 60.0, 60.0},
        {"green-ampt redistribution with ET", 0, 1, 7200.0, 60.0, 7200.0},
    };
    for (const interval_case& c : cases) {
        SetUp();
        rs().long_term = 1;
        rs().settings.gmt_given = 1;
        rs().gage_rain = 1;
        rs().groundwater = 1;
        rs().gw_timestep = c.gw_timestep;
        rs().inf_richards = c.richards;
        rs().inf_redist = !c.richards;
        rs().et_calc_deardorff = c.et;
        rs().hmet_start_year = 2001;
        rs().hmet_start_month = 5;
        rs().hmet_start_day = 1;
        set_events({julian_day(2001, 5, 3, 0, 0, 0.0)});
        check();
        start_clock();
        ASSERT_EQ(error_record.code, 0) << c.what;
        EXPECT_DOUBLE_EQ(rs().infil_step_seconds, c.infil_seconds) << c.what;
        EXPECT_DOUBLE_EQ(rs().gw_step_seconds, c.gw_seconds) << c.what;
        EXPECT_EQ(rs().gw_last, rs().time) << c.what;
        EXPECT_DOUBLE_EQ(rs().gw_next, rs().time + c.gw_seconds / 86400.0) << c.what;
    }
}

TEST_F(Clock, ChannelLakeAboveItsMinimumRoutesFromTheStart) {
    const double data_start = julian_day(2001, 5, 1, 0, 0, 0.0);
    const double e1 = julian_day(2001, 5, 3, 0, 0, 0.0);
    rs().long_term = 1;
    rs().settings.gmt_given = 1;
    rs().gage_rain = 1;
    rs().inf_redist = 1;
    rs().chan_explic = 1;
    rs().hmet_start_year = 2001;
    rs().hmet_start_month = 5;
    rs().hmet_start_day = 1;
    rs().settings.timestep = 30.0;
    set_events({e1});
    check();
    start_clock();
    // Without lakes a dry long-term channel waits for the first event.
    EXPECT_EQ(rs().chan_last, e1);
    EXPECT_EQ(rs().channel_has_water, 0);

    rs().channel_lakes = 1;
    rs().num_channel_lakes = 2;
    rs().lake_initwse = {0.0, 100.0, 105.0};
    rs().lake_minwse = {0.0, 101.0, 104.0};   // the second lake stands above its minimum
    start_clock();
    EXPECT_EQ(rs().channel_has_water, 1);
    EXPECT_DOUBLE_EQ(rs().chan_step_seconds, 60.0);   // at least 60 s
    EXPECT_EQ(rs().chan_last, data_start);
    EXPECT_DOUBLE_EQ(rs().chan_next, data_start + 60.0 / 86400.0);

    // A lake count beyond the level arrays reads only what they hold.
    rs().num_channel_lakes = 50;
    rs().channel_has_water = 0;
    start_clock();
    EXPECT_EQ(rs().channel_has_water, 1);
}

}  // namespace
