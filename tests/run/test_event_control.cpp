// Event control while the loop runs: the running peak, the progress line,
// the end tests of single-event and long-term runs, and the event transition.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "core/alloc.h"
#include "run/clock.h"
#include "core/dates.h"
#include "core/error.h"
#include "run/event_control.h"
#include "core/file_object.h"
#include "run/run_state.h"
#include "event_test_support.h"
#include "pluvo_test.h"

using event_test::captured;
using event_test::make_run_state;
using event_test::run_state_ptr;

namespace {

constexpr double kMinute = 1.0 / 1440.0;   // days

// A clock at `start` with a model step of `dt` seconds, as set_start_clock leaves it.
void start_clock(run_state& rs, double start, double dt) {
    rs.dt = dt;
    rs.dt_days = dt / 86400.0;
    rs.rain_step_seconds = dt;
    rs.rain_step_days = rs.dt_days;
    rs.time = start;
    rs.julian_start = start;
    rs.event_begin_time = start;
    rs.time_tolerance = 1.1574074074074074e-7;
    rs.step = 0;
    rs.clock_passes = 0;
    rs.running = 1;
}

// Event table of starts 1..n (event k at event_start_time(rs, k)).
void set_events(run_state& rs, const std::vector<double>& starts) {
    rs.num_events = static_cast<int>(starts.size());
    for (size_t k = 0; k < starts.size(); ++k) rs.event_starts[k] = starts[k];
    for (size_t k = 0; k < starts.size(); ++k) ASSERT_DOUBLE_EQ(event_start_time(rs, static_cast<int>(k) + 1), starts[k]);
}

// One pass of the loop as far as event control goes.
void run_pass(run_state& rs) {
    advance_clock(rs);
    start_event(rs);
    track_peak_flow(rs);
    check_run_end(rs);
    next_event(rs);
    finish_event(rs);
}

}  // namespace

// ---------------------------------------------------------------------------
// Peak flow
// ---------------------------------------------------------------------------

TEST(PeakFlow, KeepsTheFirstTimeOfTheHighestOutletFlow) {
    run_state_ptr rs = make_run_state();
    struct pass { double q; int hour; };
    const pass passes[] = {{0.5, 1}, {2.0, 2}, {1.5, 3}, {2.0, 4}, {0.1, 5}};
    for (const pass& p : passes) {
        rs->outlet_flow = p.q;
        rs->hour = p.hour;
        rs->time = 100.0 + p.hour;
        track_peak_flow(*rs);
    }
    EXPECT_DOUBLE_EQ(rs->peak_flow, 2.0);
    EXPECT_EQ(rs->peak_hour, 2);               // the equal flow at hour 4 does not move the peak
    EXPECT_DOUBLE_EQ(rs->peak_time, 102.0);
}

TEST(PeakFlow, CalibrationLocationsTakeEqualAndHigherDischarges) {
    run_state_ptr rs = make_run_state();
    event_test::size_network(*rs, 2, 3);
    rs->calibration_run = 1;
    rs->hyd_locations_on = 1;
    rs->chan_explic = 1;
    rs->num_hyd_locations = 2;
    rs->hlink = {0, 1, 2};
    rs->hnode = {0, 3, 1};
    rs->hyd_point_peak = {0.0, 4.0, 1.0};
    rs->qp[3][1] = 4.0;   // equal to the stored peak
    rs->qp[1][2] = 0.5;   // below it
    track_peak_flow(*rs);
    EXPECT_DOUBLE_EQ(rs->hyd_point_peak[1], 4.0);
    EXPECT_DOUBLE_EQ(rs->hyd_point_peak[2], 1.0);
    rs->qp[1][2] = 7.0;
    track_peak_flow(*rs);
    EXPECT_DOUBLE_EQ(rs->hyd_point_peak[2], 7.0);
}

TEST(PeakFlow, LocationOutsideTheNetworkIsSkipped) {
    run_state_ptr rs = make_run_state();
    event_test::size_network(*rs, 1, 2);
    rs->calibration_run = 1;
    rs->hyd_locations_on = 1;
    rs->chan_explic = 1;
    rs->num_hyd_locations = 3;   // more locations than the lists hold
    rs->hlink = {0, 1, 9};
    rs->hnode = {0, 2, 40};
    rs->hyd_point_peak = {0.0, 0.0, 0.0};
    rs->qp[2][1] = 3.0;
    track_peak_flow(*rs);
    EXPECT_DOUBLE_EQ(rs->hyd_point_peak[1], 3.0);
    EXPECT_DOUBLE_EQ(rs->hyd_point_peak[2], 0.0);
}

// ---------------------------------------------------------------------------
// Progress line
// ---------------------------------------------------------------------------

TEST(ProgressLine, CalendarDatesAcrossTheEndOfFebruary) {
    struct calendar_case {
        int year;
        std::vector<std::string> dates;   // the date of each daily pass
    };
    const calendar_case cases[] = {
        {1900, {" 2/28/1900", " 3/01/1900", " 3/02/1900"}},
        {2000, {" 2/28/2000", " 2/29/2000", " 3/01/2000"}},
    };
    for (const calendar_case& c : cases) {
        SCOPED_TRACE(c.year);
        run_state_ptr rs = make_run_state();
        start_clock(*rs, julian_day(c.year, 2, 28, 6, 0, 0.0), 86400.0);
        rs->event_index = 1;
        for (const std::string& date : c.dates) {
            advance_clock(*rs);
            rs->rain_last = rs->time;   // the overland step ran in this pass
            const std::string line = captured([&] { print_progress(*rs); });
            EXPECT_NE(line.find("  " + date + " 06:00:00 Qout="), std::string::npos) << line;
        }
    }
}

TEST(ProgressLine, ReportsTheOutletInCubicMetresOrCubicFeet) {
    struct units_case {
        int english;
        const char* expected;
    };
    const units_case cases[] = {
        {0, "event  3 elapsed time    90.00   7/04/2001 13:30:00 Qout=    2.50 cms\n"},
        {1, "event  3 elapsed time    90.00   7/04/2001 13:30:00 Qout=      88.3 cfs\n"},
    };
    for (const units_case& c : cases) {
        run_state_ptr rs = make_run_state();
        rs->english_units = c.english;
        rs->event_index = 3;
        rs->elapsed_minutes = 90.0;
        rs->year = 2001;
        rs->month = 7;
        rs->day = 4;
        rs->hour = 13;
        rs->minute = 30;
        rs->second = 0;
        rs->outlet_flow = 2.5;
        rs->time = 2452095.0;
        rs->rain_last = rs->time;
        EXPECT_EQ(captured([&] { print_progress(*rs); }), c.expected);
    }
}

TEST(ProgressLine, DueOnlyAfterTheOverlandOrChannelUpdate) {
    run_state_ptr rs = make_run_state();
    rs->time = 2452095.0;
    rs->rain_last = rs->time - 1e-4;
    EXPECT_EQ(captured([&] { print_progress(*rs); }), "");   // no overland update in this pass

    rs->chan_explic = 1;
    rs->rain_last = rs->time;
    rs->chan_last = rs->time - 1e-4;
    EXPECT_EQ(captured([&] { print_progress(*rs); }), "");   // channel routing decides
    rs->chan_last = rs->time;
    EXPECT_NE(captured([&] { print_progress(*rs); }), "");
}

TEST(ProgressLine, QuietCardSilencesTheWholeStepSuperQuietOnlyTheLine) {
    run_state_ptr rs = make_run_state();
    rs->time = 2452095.0;
    rs->rain_last = rs->time;
    rs->flush_buffer_given = 1;
    rs->flush_buffer = 3;
    rs->stream_info = 1;

    rs->quiet_card = 1;
    EXPECT_EQ(captured([&] { print_progress(*rs); }), "");
    EXPECT_EQ(rs->flush_count, 0);

    rs->quiet_card = 0;
    rs->quiet = 1;
    const std::string out = captured([&] { print_progress(*rs); });
    EXPECT_EQ(out.find("event"), std::string::npos);
    EXPECT_NE(out.find("==> Max Yp"), std::string::npos);   // the stream_info block remains
    EXPECT_EQ(rs->flush_count, 1);
    print_progress(*rs);
    print_progress(*rs);   // the third call flushes and starts counting again
    EXPECT_EQ(rs->flush_count, 0);
}

TEST(ProgressLine, ChannelExtremesLeaveTheLastLinkOut) {
    run_state_ptr rs = make_run_state();
    rs->time = 2452095.0;
    rs->rain_last = rs->time;
    rs->quiet = 1;
    rs->stream_info = 1;

    event_test::size_network(*rs, 1, 2);
    EXPECT_EQ(captured([&] { print_progress(*rs); }),
              "    ==> Max Yp (N -1, L -1) = -5000.000000\n"
              "    ==> Min Yp (N -1, L -1) = 5000.000000\n"
              "    ==> Max Qp (N -1, L -1) = -5000.000000\n"
              "    ==> Min Qp (N -1, L -1) = 5000.000000\n");

    event_test::size_network(*rs, 3, 2);
    rs->yp[1][1] = 1.5;    // depth 1.5 at node 1 of link 1
    rs->yp[2][2] = 0.25;
    rs->qp[2][1] = -0.5;
    rs->qp[1][2] = 9.0;
    rs->yp[1][3] = 50.0;   // the last link is not examined
    rs->qp[1][3] = 99.0;
    EXPECT_EQ(captured([&] { print_progress(*rs); }),
              "    ==> Max Yp (N 1, L 1) = 1.500000\n"
              "    ==> Min Yp (N 2, L 1) = 0.000000\n"
              "    ==> Max Qp (N 1, L 2) = 9.000000\n"
              "    ==> Min Qp (N 2, L 1) = -0.500000\n");
}

// ---------------------------------------------------------------------------
// End tests
// ---------------------------------------------------------------------------

TEST(EndTests, SingleEventRunEndsInThePassThatReachesTheTotalTime) {
    struct duration_case {
        double dt;        // s
        int tot_time;     // min
        int last_step;    // pass counter of the last pass
    };
    const duration_case cases[] = {{60.0, 10, 10}, {7.0, 1, 9}, {30.0, 1440, 2880}};
    for (const duration_case& c : cases) {
        SCOPED_TRACE(c.dt);
        run_state_ptr rs = make_run_state();
        const double start = julian_day(2000, 6, 1, 0, 0, 0.0);
        start_clock(*rs, start, c.dt);
        rs->tot_time = c.tot_time;
        rs->quiet = 1;
        int passes = 0;
        while (rs->running && passes < 100000) {
            run_pass(*rs);
            ++passes;
        }
        EXPECT_EQ(rs->step, c.last_step);
        EXPECT_DOUBLE_EQ(rs->end_time, start + c.tot_time / 1440.0);
        EXPECT_GE(rs->time, rs->end_time);
        EXPECT_LT(rs->time - rs->dt_days, rs->end_time);   // the pass before had not reached it
        EXPECT_EQ(rs->event_active, 0);
        EXPECT_EQ(rs->events_finished, 1);                 // the event was accounted once
    }
}

TEST(EndTests, EndTimeCardEndsTheRunOnlyStrictlyPastIt) {
    run_state_ptr rs = make_run_state();
    const double start = julian_day(2000, 6, 1, 0, 0, 0.0);
    start_clock(*rs, start, 60.0);
    rs->long_term = 1;   // only the card can end this run here
    rs->quiet = 1;
    rs->end_time_given = 1;
    rs->end_time_card = julian_day(2000, 6, 1, 0, 5, 0.0);
    std::string last_line;
    int passes = 0;
    while (rs->running && passes < 1000) {
        advance_clock(*rs);
        check_run_end(*rs);
        rs->rain_last = rs->time;
        rs->quiet = 0;
        last_line = captured([&] { print_progress(*rs); });
        rs->quiet = 1;
        ++passes;
    }
    EXPECT_EQ(rs->step, 6);   // the pass at 00:05 still runs
    EXPECT_NE(last_line.find(" 6/01/2000 00:06:00"), std::string::npos) << last_line;
    EXPECT_EQ(rs->event_ended, 1);
    EXPECT_EQ(rs->finish_pending, 1);
}

namespace {

// A long-term run in event `index` of the given starts, rain over, cutoff 0.05 m3/s.
void long_term_event(run_state& rs, int index, const std::vector<double>& starts) {
    rs.long_term = 1;
    rs.quiet = 1;
    set_events(rs, starts);
    rs.event_index = index;
    rs.event_active = 1;
    rs.rain_state = 0;
    rs.flow_cutoff = 0.05;
    rs.running = 1;
    rs.rain_step_days = 60.0 / 86400.0;
    rs.dt_days = rs.rain_step_days;
    rs.time = starts[index - 1] + 0.5;
    rs.rain_next = rs.time + rs.rain_step_days;
    rs.rain_last = rs.time;
}

}  // namespace

TEST(EndTests, LongTermEventEndsWhenTheOutletRecedesBelowTheCutoff) {
    struct recession_case {
        const char* name;
        std::vector<double> flows;   // outlet flow of each pass, m3/s
        int ending_pass;             // 0-based pass in which the event ends, -1 never
    };
    const recession_case cases[] = {
        {"rises above and recedes", {0.5, 2.0, 1.0, 0.3, 0.04, 0.01}, 4},
        {"ends at once below the cutoff after a peak at it", {0.05, 0.049}, 1},
        {"stays above the cutoff", {0.2, 0.3, 0.06}, -1},
        {"never rose: ends at the first pass", {0.01, 0.02}, 0},
    };
    for (const recession_case& c : cases) {
        SCOPED_TRACE(c.name);
        run_state_ptr rs = make_run_state();
        long_term_event(*rs, 1, {2451000.0, 2451010.0, 2451020.0});
        int ended = -1;
        for (size_t i = 0; i < c.flows.size() && ended < 0; ++i) {
            rs->outlet_flow = c.flows[i];
            track_peak_flow(*rs);
            check_run_end(*rs);
            if (rs->event_ended) ended = static_cast<int>(i);
        }
        EXPECT_EQ(ended, c.ending_pass);
        if (ended >= 0) {
            EXPECT_EQ(rs->event_active, 0);
            EXPECT_EQ(rs->finish_pending, 1);
            EXPECT_EQ(rs->running, 1);                      // not the last event
            EXPECT_DOUBLE_EQ(rs->rain_next, 2451010.0);     // clocks at the next event's start
            EXPECT_DOUBLE_EQ(rs->rain_last, 2451010.0 - rs->rain_step_days);
        }
    }
}

TEST(EndTests, LongTermTestsIdleWhileRainFallsOrNoEventIsOpen) {
    for (int rain_state : {1, 2}) {
        run_state_ptr rs = make_run_state();
        long_term_event(*rs, 1, {2451000.0, 2451010.0});
        rs->rain_state = rain_state;
        rs->outlet_flow = 0.0;
        check_run_end(*rs);
        EXPECT_EQ(rs->event_active, 1);
        EXPECT_EQ(rs->event_ended, 0);
    }
    run_state_ptr rs = make_run_state();
    long_term_event(*rs, 1, {2451000.0, 2451010.0});
    rs->event_active = 0;
    check_run_end(*rs);
    EXPECT_EQ(rs->event_ended, 0);
}

TEST(EndTests, EventBelowTheCutoffWaitsForEveryChannelNode) {
    run_state_ptr rs = make_run_state();
    long_term_event(*rs, 1, {2451000.0, 2451010.0});
    rs->chan_explic = 1;
    event_test::size_network(*rs, 2, 3);
    rs->qp[2][1] = 0.2;   // an upstream node still carries more than the cutoff
    rs->outlet_flow = 0.01;
    check_run_end(*rs);
    EXPECT_EQ(rs->event_active, 1);
    EXPECT_EQ(rs->running, 1);
    rs->qp[2][1] = 0.05;   // at the cutoff: no longer above it
    rs->channel_has_water = 1;
    check_run_end(*rs);
    EXPECT_EQ(rs->event_ended, 1);
    EXPECT_DOUBLE_EQ(rs->chan_next, 2451010.0);
    EXPECT_EQ(rs->channel_has_water, 0);   // the cutoff branch marks the channel dry
}

TEST(EndTests, LastEventKeepsRunningWhileFivePercentOfItsRainIsOnTheSurface) {
    struct surface_case {
        const char* name;
        double rain;           // event rain, m3
        double surface;        // depth on each of the 4 cells, m (cells of 10 m)
        int water_table;
        int sacramento;
        bool keeps_running;
    };
    // 4 cells of 100 m2: a depth of 0.0125 m holds 5 m3, 5 % of 100 m3.
    const surface_case cases[] = {
        {"exactly 5 %", 100.0, 0.0125, 0, 0, true},
        {"below 5 %", 100.0, 0.012, 0, 0, false},
        {"water table", 100.0, 0.05, 1, 0, false},
        {"sacramento", 100.0, 0.05, 0, 1, false},
        {"no rain in the event", 0.0, 0.05, 0, 0, false},
    };
    for (const surface_case& c : cases) {
        SCOPED_TRACE(c.name);
        run_state_ptr rs = make_run_state();
        long_term_event(*rs, 2, {2451000.0, 2451010.0});
        event_test::size_cells(*rs, 4, 10.0);
        for (int j = 1; j <= 4; ++j) rs->ov_depth[j] = c.surface;
        rs->event_rain_volume = c.rain;
        rs->water_table_on = c.water_table;
        rs->sacramento = c.sacramento;
        rs->peak_flow = 1.0;
        rs->outlet_flow = 0.01;
        const double rain_next = rs->rain_next;
        const std::string out = captured([&] {
            rs->quiet = 0;
            check_run_end(*rs);
        });
        EXPECT_DOUBLE_EQ(rs->vol_surface_final, 4 * c.surface * 100.0);
        EXPECT_EQ(rs->running, c.keeps_running ? 1 : 0);
        EXPECT_EQ(rs->event_active, c.keeps_running ? 1 : 0);
        if (!c.keeps_running) {
            EXPECT_EQ(out, "simulation ended normally; end of data for last event reached\n");
            EXPECT_DOUBLE_EQ(rs->rain_next, rain_next);   // no event after the last: clocks stay
        }
    }
}

TEST(EndTests, LastEventThatNeverRoseEndsWithTheCutoffMessage) {
    run_state_ptr rs = make_run_state();
    long_term_event(*rs, 3, {2451000.0, 2451010.0, 2451020.0});
    rs->outlet_flow = 0.01;
    rs->peak_flow = 0.02;
    const double rain_next = rs->rain_next;
    const std::string out = captured([&] {
        rs->quiet = 0;
        check_run_end(*rs);
    });
    EXPECT_EQ(out, "simulation ended normally; peak flow after last event fell below cutoff value.\n");
    EXPECT_EQ(rs->running, 0);
    EXPECT_DOUBLE_EQ(rs->rain_next, rain_next);
}

TEST(EndTests, LastEventEndsWithTheHydrometDataUnderAWaterTable) {
    struct data_case {
        double hmet_next;
        int water_table;
        bool ends;
    };
    const data_case cases[] = {{-10.0, 1, true}, {2451030.0, 1, false}, {-10.0, 0, false}};
    for (const data_case& c : cases) {
        run_state_ptr rs = make_run_state();
        long_term_event(*rs, 2, {2451000.0, 2451010.0});
        rs->outlet_flow = 1.0;   // at or above the cutoff
        rs->hmet_next = c.hmet_next;
        rs->water_table_on = c.water_table;
        check_run_end(*rs);
        EXPECT_EQ(rs->event_ended, c.ends ? 1 : 0);
        EXPECT_EQ(rs->running, c.ends ? 0 : 1);
    }
}

TEST(EndTests, ContinuousProcessesKeepTheirOwnClocksBetweenEvents) {
    run_state_ptr rs = make_run_state();
    long_term_event(*rs, 1, {2451000.0, 2451010.0});
    rs->inf_richards = 1;
    rs->outlet_flow = 0.01;
    const double rain_next = rs->rain_next;
    check_run_end(*rs);
    EXPECT_EQ(rs->event_ended, 1);
    EXPECT_DOUBLE_EQ(rs->rain_next, rain_next);
}

// ---------------------------------------------------------------------------
// Event transition
// ---------------------------------------------------------------------------

TEST(EventTransition, PointsTheClocksAtTheNextEventAndNotPastTheLast) {
    struct transition_case {
        int event_index;
        bool another;   // another event follows
    };
    const std::vector<double> starts = {2451000.0, 2451010.0, 2451020.0};
    for (const transition_case c : {transition_case{1, true}, transition_case{2, true}, transition_case{3, false}}) {
        SCOPED_TRACE(c.event_index);
        run_state_ptr rs = make_run_state();
        long_term_event(*rs, c.event_index, starts);
        rs->chan_explic = 1;
        rs->event_ended = 1;
        const double time = rs->time;
        const double rain_next = rs->rain_next;
        next_event(*rs);
        EXPECT_EQ(rs->event_ended, 0);
        EXPECT_EQ(rs->finish_pending, 1);
        const double d = rs->dt_days;
        if (c.another) {
            const double s = starts[c.event_index];
            EXPECT_EQ(rs->running, 1);
            EXPECT_DOUBLE_EQ(rs->time, s - d);
            EXPECT_DOUBLE_EQ(rs->rain_next, s);
            EXPECT_DOUBLE_EQ(rs->infil_next, s);
            EXPECT_DOUBLE_EQ(rs->chan_next, s);
            EXPECT_DOUBLE_EQ(rs->rain_last, s - d);
            EXPECT_DOUBLE_EQ(rs->chan_last, s - d);
        } else {
            EXPECT_EQ(rs->running, 0);
            EXPECT_DOUBLE_EQ(rs->time, time);           // nothing beyond the last event is read
            EXPECT_DOUBLE_EQ(rs->rain_next, rain_next);
        }
    }
}

TEST(EventTransition, FullEventTableEndsWithoutReadingPastIt) {
    run_state_ptr rs = make_run_state();
    rs->num_events = core_state::kMaxEvents + 5;   // a count larger than the table
    rs->event_index = core_state::kMaxEvents;
    rs->event_ended = 1;
    rs->long_term = 1;
    rs->running = 1;
    rs->time = 3.0;
    next_event(*rs);
    EXPECT_EQ(rs->running, 0);
    EXPECT_DOUBLE_EQ(rs->time, 3.0);
    double s = 0.0;
    EXPECT_FALSE(following_event_start(*rs, s));
}

TEST(EventTransition, ActsOnlyOnAnEndedEventAndLeavesContinuousRunsAlone) {
    run_state_ptr rs = make_run_state();
    long_term_event(*rs, 1, {2451000.0, 2451010.0});
    const double time = rs->time;
    next_event(*rs);   // no event ended
    EXPECT_EQ(rs->finish_pending, 0);
    EXPECT_DOUBLE_EQ(rs->time, time);

    for (int which = 0; which < 4; ++which) {
        run_state_ptr r = make_run_state();
        long_term_event(*r, 1, {2451000.0, 2451010.0});
        r->inf_richards = which == 0;
        r->groundwater = which == 1;
        r->inf_redist = which == 2;
        r->lake_level_flag = which == 3;
        r->event_ended = 1;
        const double t = r->time;
        next_event(*r);
        EXPECT_DOUBLE_EQ(r->time, t);
        EXPECT_EQ(r->event_ended, 0);
        EXPECT_EQ(r->finish_pending, 1);
    }
}

TEST(EventTransition, HostEventEndsTheRun) {
    run_state_ptr rs = make_run_state();
    long_term_event(*rs, 2, {2451000.0, 2451010.0, 2451020.0});
    rs->qrm_mode = 1;
    rs->event_ended = 1;
    const double rain_next = rs->rain_next;
    const std::string out = captured([&] { next_event(*rs); });
    EXPECT_EQ(out, "End of QRM event 2\n");
    EXPECT_EQ(rs->running, 0);
    EXPECT_DOUBLE_EQ(rs->rain_next, rain_next);
}

TEST(EventTransition, VegoControlFileCountsDaysFromTheEndOfThePreviousYear) {
    pluvo_test::temp_dir dir;
    struct control_case {
        int event_index;
        const char* expected;
    };
    // 2001-03-10 13:00 lies 69.5 days after 2000-12-31 01:00; the next event
    // (2001-03-20 00:00) 78.96 days.
    const control_case cases[] = {{1, " 69  78\n"}, {2, "999 999\n"}};
    for (const control_case& c : cases) {
        run_state_ptr rs = make_run_state();
        long_term_event(*rs, c.event_index, {2451000.0, julian_day(2001, 3, 20, 0, 0, 0.0)});
        rs->time = julian_day(2001, 3, 10, 13, 0, 0.0);
        rs->year = 2001;
        rs->qrm_host = 1;
        rs->vego = 1;
        rs->qrm_mode = 1;   // no maps are read back
        rs->event_ended = 1;
        const std::string path = dir.file("vego_control");
        std::snprintf(rs->files.vego_file, sizeof(rs->files.vego_file), "%s", path.c_str());
        captured([&] { next_event(*rs); });
        EXPECT_EQ(pluvo_test::read_file(path), c.expected);
        EXPECT_EQ(rs->vego_next_event_day, c.event_index == 1 ? 78 : -1);
    }
}

TEST(EventTransition, UnopenableVegoControlFileStopsTheRunBeforeTheClocksMove) {
    run_state_ptr rs = make_run_state();
    long_term_event(*rs, 1, {2451000.0, 2451010.0});
    rs->qrm_host = 1;
    rs->vego = 1;
    rs->event_ended = 1;
    std::snprintf(rs->files.vego_file, sizeof(rs->files.vego_file), "%s", "/nonexistent-dir/x/control");
    const double rain_next = rs->rain_next;
    error_record = error_info();
    const std::string out = captured([&] { next_event(*rs); });
    EXPECT_NE(out.find("unable to open vego exchange file for writing\n"), std::string::npos);
    EXPECT_EQ(error_record.stop, 1);
    EXPECT_EQ(rs->event_ended, 1);   // the rest of the transition is skipped
    EXPECT_DOUBLE_EQ(rs->rain_next, rain_next);
    error_record = error_info();
}

// ---------------------------------------------------------------------------
// Start date
// ---------------------------------------------------------------------------

TEST(StartDate, AStartDateAfterTheLastEventIsRefused) {
    struct date_case {
        double start;
        bool accepted;
    };
    const std::vector<double> starts = {2451000.0, 2451010.0};
    const date_case cases[] = {{2450990.0, true}, {2451010.0, true}, {2451010.5, false}};
    for (const date_case& c : cases) {
        run_state_ptr rs = make_run_state();
        set_events(*rs, starts);
        rs->start_date_given = 1;
        rs->time = c.start;
        error_record = error_info();
        std::string out = captured([&] { EXPECT_EQ(check_start_date_event(*rs), c.accepted); });
        EXPECT_EQ(error_record.code, c.accepted ? 0 : kErrorPrinted);
        EXPECT_EQ(out.find("lies after the start of the last precipitation event") != std::string::npos,
                  !c.accepted);
    }
    error_record = error_info();
}

// ---------------------------------------------------------------------------
// Maps taken back from VEGO
// ---------------------------------------------------------------------------

namespace {

std::string exchange_map(const std::string& values) {
    return "north: 1000\nsouth: 990\neast: 30\nwest: 0\nrows: 1\ncols: 3\n" + values + "\n";
}

}  // namespace

TEST(EventTransition, VegoMapsAreBroughtIntoThePhysicalRanges) {
    struct moisture_case {
        int long_term;
        double expected[3];   // read 0.5 (above porosity), 0.03 (below residual), 0.2
    };
    // Porosity 0.4, residual 0.05, lower limit 0.02.
    const moisture_case cases[] = {{1, {0.99 * 0.35 + 0.02, 0.05 + 0.01 * 0.35, 0.2}},
                                   {0, {0.99 * 0.4, 0.1, 0.2}}};
    pluvo_test::temp_dir dir;
    const std::string moist = dir.file("moist.map");
    const std::string rough = dir.file("rough.map");
    const std::string ksat = dir.file("ksat.map");
    pluvo_test::write_file(moist, exchange_map("0.5 0.03 0.2"));
    pluvo_test::write_file(rough, exchange_map("0 -1 0.05"));
    pluvo_test::write_file(ksat, exchange_map("36 3.6 0"));
    for (const moisture_case& c : cases) {
        SCOPED_TRACE(c.long_term);
        run_state_ptr rs = make_run_state();
        long_term_event(*rs, 1, {2451000.0, 2451010.0});
        rs->long_term = c.long_term;
        rs->qrm_host = 1;
        rs->vego = 1;
        rs->event_ended = 1;
        rs->GNUM = 3;
        rs->mask_rows = 1;
        rs->mask_cols = 3;
        alloc_int_2d(rs->mask, 2, 4, "mask");
        for (int j = 1; j <= 3; ++j) rs->mask[1][j] = j;
        rs->thi.assign(4, 0.0);
        rs->phi.assign(4, 0.4);
        rs->thr.assign(4, 0.05);
        rs->soil_theta_floor.assign(4, 0.02);
        rs->dist_rough.assign(4, 1.0);
        rs->ksat.assign(4, 1.0);
        rs->moist_from_vego_on = rs->rough_from_vego_on = rs->ksat_from_vego_on = 1;
        std::snprintf(rs->files.moist_from_vego, kCardNameSize, "%s", moist.c_str());
        std::snprintf(rs->files.rough_from_vego, kCardNameSize, "%s", rough.c_str());
        std::snprintf(rs->files.ksat_from_vego, kCardNameSize, "%s", ksat.c_str());
        std::snprintf(rs->files.vego_file, kCardNameSize, "%s", dir.file("control").c_str());
        const std::string out = captured([&] { next_event(*rs); });
        EXPECT_NE(out.find("reading VEGO exchange maps\n"), std::string::npos);
        for (int j = 1; j <= 3; ++j) EXPECT_NEAR(rs->thi[j], c.expected[j - 1], 1e-12) << j;
        EXPECT_EQ(rs->dist_rough, (std::vector<double>{1.0, 0.04, 0.04, 0.05}));
        EXPECT_NEAR(rs->ksat[1], 1e-4, 1e-18);
        EXPECT_NEAR(rs->ksat[2], 1e-5, 1e-18);
        EXPECT_EQ(rs->ksat[3], 0.0);
        EXPECT_EQ(rs->event_ended, 0);
    }
}

TEST(EventTransition, ErodibleTrapezoidLinksTakeTheirNewBedAfterTheEvent) {
    run_state_ptr rs = make_run_state();
    long_term_event(*rs, 1, {2451000.0, 2451010.0});
    rs->event_ended = 1;
    rs->channel_sediment = 1;
    rs->adjust_channel_bed = 1;
    event_test::size_network(*rs, 2, 2);
    rs->ltype = {0, 0x06, 0x04};   // erodible trapezoid, plain trapezoid
    rs->new_bel.assign(4, std::vector<double>(4, 0.0));
    for (int k = 1; k <= 2; ++k) {
        for (int l = 1; l <= 2; ++l) {
            rs->bel[k][l] = 10.0;
            rs->new_bel[k][l] = 9.5;
            rs->chan_node_depth[k][l] = 0.75;
            rs->yp[k][l] = 10.75;
        }
    }
    next_event(*rs);
    for (int k = 1; k <= 2; ++k) {
        EXPECT_DOUBLE_EQ(rs->bel[k][1], 9.5);
        EXPECT_DOUBLE_EQ(rs->yp[k][1], 10.25);
        EXPECT_DOUBLE_EQ(rs->bel[k][2], 10.0);   // not erodible
        EXPECT_DOUBLE_EQ(rs->yp[k][2], 10.75);
    }
}

TEST(EventTransition, RunStoppedByTheEndTimeCardIsNotRestartedByTheNextEvent) {
    run_state_ptr rs = make_run_state();
    long_term_event(*rs, 1, {2451000.0, 2451010.0, 2451020.0});
    rs->end_time_given = 1;
    rs->end_time_card = rs->time - 0.1;
    const double time = rs->time;
    check_run_end(*rs);
    ASSERT_EQ(rs->running, 0);
    next_event(*rs);
    EXPECT_EQ(rs->running, 0);
    EXPECT_DOUBLE_EQ(rs->time, time);   // the clock does not jump to the next event
    EXPECT_EQ(rs->event_ended, 0);
    EXPECT_EQ(rs->finish_pending, 1);
}
