// The channel routing step of the time loop (its clock, bookkeeping and idle
// clock) and the end of an event run once the channels have drained.
#include <gtest/gtest.h>

#include <cmath>

#include "channel/channel.h"
#include "overland/overland.h"
#include "routing_test_support.h"

namespace {

using routing_test::link_spec;
using routing_test::RoutingTest;
using routing_test::single_link_file;

constexpr double kDay = 86400.0;

// One link of four nodes under the four cells of the top row (one whole cell
// each), channel clock due now with a 10 s step.
class StepTest : public RoutingTest {
protected:
    void SetUp() override {
        RoutingTest::SetUp();
        link_spec s;
        s.top_bed = 99.0;
        s.slope = 0.002;
        const std::string gst =
            "GRIDSTREAMFILE\nSTREAMCELLS 4\nNUMNODES 1\nNUMNODES 1\nNUMNODES 1\nNUMNODES 1\n"
            "CELLIJ 1 1\nLINKNODE 1 1 1.0\nCELLIJ 1 2\nLINKNODE 1 2 1.0\n"
            "CELLIJ 1 3\nLINKNODE 1 3 1.0\nCELLIJ 1 4\nLINKNODE 1 4 1.0\n";
        ASSERT_TRUE(build(single_link_file(s), gst)) << out_;
        run_state& r = rs();
        const size_t cells = static_cast<size_t>(r.GNUM) + 1;
        r.ov_depth.assign(cells, 0.0);
        r.dist_rough.assign(cells, 0.05);
        r.chan_step_seconds = 10.0;
        r.chan_step_days = 10.0 / kDay;
        r.chan_last = r.time - r.chan_step_days;
        r.chan_next = r.time;
    }
    void step() {
        out_ = chan_test::captured([&] { route_channels(rs()); });
    }
};

TEST_F(StepTest, NotDueChangesNothing) {
    run_state& r = rs();
    set_depth(0.2);
    r.chan_active = 1;
    r.chan_next = r.time + 1.0 / kDay;  // a second away
    r.qlat[2][1] = 0.5;
    const double last = r.chan_last;
    step();
    EXPECT_EQ(r.chan_route_calls, 0);
    EXPECT_EQ(r.chan_last, last);
    EXPECT_EQ(r.qlat[2][1], 0.5);
}

TEST_F(StepTest, WithoutWaterTheChannelsStayIdleButTheClockGoesOn) {
    run_state& r = rs();
    step();
    EXPECT_EQ(r.chan_active, 0);
    EXPECT_EQ(r.chan_route_calls, 0);
    EXPECT_EQ(r.chan_last, r.time);
    EXPECT_NEAR(r.chan_next, r.time + 10.0 / kDay, 1e-12);
    EXPECT_EQ(r.vol_discharge, 0.0);
}

// A first call with no elapsed time routes the default channel step: the
// lateral inflow of the step takes W(d) x 10 s from the wet cell.
TEST_F(StepTest, FirstCallRoutesTheDefaultStepAndBooksItsVolumes) {
    run_state& r = rs();
    set_depth(0.1);
    r.chan_last = r.time;
    r.ov_depth[2] = 0.01;
    r.surface_has_water = 1;
    const double before = channel_volume();
    step();
    ASSERT_EQ(error_record.stop, 0) << out_;
    EXPECT_EQ(r.chan_active, 1);
    EXPECT_EQ(r.chan_route_calls, 1);
    const double q = 3.40978982734 * std::pow(0.01, 1.5) * 10.0;  // m3/s into node 2
    EXPECT_NEAR(r.ov_depth[2], 0.01 - q * 10.0 / 100.0, 1e-15);
    EXPECT_NEAR(r.vol_lateral_into_channel, q * 10.0, 1e-12);
    EXPECT_NEAR(r.vol_lateral_inflow, q * 10.0, 1e-12);
    // Water of the channel: start + lateral = end + outlet.
    EXPECT_NEAR(before + q * 10.0, channel_volume() + r.vol_discharge, 1e-9);
    EXPECT_EQ(r.vol_discharge, r.chan_step_outlet_volume);
    EXPECT_EQ(r.event_outflow_vol, r.chan_step_outlet_volume);
    EXPECT_EQ(r.outlet_flow, r.qp[4][1]);
    for (int k = 1; k <= 4; ++k) EXPECT_EQ(r.qlat[k][1], 0.0);
    EXPECT_NEAR(r.chan_next, r.time + 10.0 / kDay, 1e-12);
}

// Long-term runs: a dry channel rests (routing stops, the clock ticks on at
// the model step); water above the reference volume keeps the clock; an
// active lake asks for short steps.
TEST_F(StepTest, IdleClockOfLongTermRuns) {
    struct row {
        const char* what;
        double depth;      // channel depth, m
        double reference;  // reference channel volume, m3
        bool lake_up;      // a lake above its lowest level
        int active_after;
        double step_after;  // channel step after the call, s
        int idle_after;
    };
    const row rows[] = {
        {"dry channel rests", 0.0, 0.0, false, 0, 30.0, 1},
        {"full channel keeps its clock", 0.3, 1.0, false, 1, 10.0, 0},
        {"active lake takes short steps", 0.0, 0.0, true, 1, 60.0, 1},
    };
    for (const row& c : rows) {
        SCOPED_TRACE(c.what);
        TearDown();
        SetUp();
        run_state& r = rs();
        r.long_term = 1;
        r.dt = 30.0;
        set_depth(c.depth);
        r.chan_active = 1;
        r.chan_reference_volume = c.reference;
        if (c.lake_up) {
            r.channel_lakes = 1;
            r.num_channel_lakes = 1;
            for (std::vector<double>* a :
                 {&r.lake_elev, &r.lake_minwse, &r.lake_in_dv, &r.lake_out_dv})
                a->assign(2, 0.0);
            r.lake_elev[1] = 101.0;
            r.lake_minwse[1] = 100.0;
        }
        step();
        ASSERT_EQ(error_record.stop, 0) << out_;
        EXPECT_EQ(r.chan_active, c.active_after);
        EXPECT_EQ(r.chan_step_seconds, c.step_after);
        EXPECT_NEAR(r.chan_next, r.time + c.step_after / kDay, 1e-12);
        EXPECT_EQ(r.chan_idle_steps, c.idle_after);
        EXPECT_EQ(r.lake_level_flag, c.lake_up ? 1 : 0);
    }
}

// The overland step of an event run ends the run once the rain has stopped,
// the surface is dry and the channels hold less than 1e-4 of the event's rain.
TEST_F(StepTest, EventRunEndsWhenTheChannelsHaveDrained) {
    struct row {
        const char* what;
        double channel_depth;  // m
        double cell_depth;     // m on cell 5 (not a stream cell)
        int long_term;
        int chan_explic;
        bool ends;
    };
    const row rows[] = {
        {"drained", 0.0, 0.0, 0, 1, true},
        {"water in the channels", 0.05, 0.0, 0, 1, false},
        {"water on the surface", 0.0, 0.01, 0, 1, false},
        {"long-term run", 0.0, 0.0, 1, 1, false},
        {"without channel routing", 0.0, 0.0, 0, 0, false},
    };
    for (const row& c : rows) {
        SCOPED_TRACE(c.what);
        TearDown();
        SetUp();
        run_state& r = rs();
        const std::string summary = dir_.file("summary.sum");
        ASSERT_TRUE(open_file_named(r.summary_file, summary.c_str(), "w"));
        set_depth(c.channel_depth);
        const size_t cells = static_cast<size_t>(r.GNUM) + 1;
        for (std::vector<double>* a :
             {&r.ov_qx, &r.ov_qy, &r.ov_slope_x, &r.ov_slope_y, &r.retent_dep})
            a->assign(cells, 0.0);
        for (std::vector<int>* a : {&r.rightcon, &r.belowcon, &r.leftcon, &r.abovecon})
            a->assign(cells, 0);
        r.ov_depth[5] = c.cell_depth;
        r.overtype = 1;
        r.running = 1;
        r.event_active = 1;
        r.long_term = c.long_term;
        r.chan_explic = c.chan_explic;
        r.event_rain_volume = 1000.0;  // m3; the channel water at 0.05 m is above 0.1 m3
        r.rain_step_days = 10.0 / kDay;
        r.rain_last = r.time - r.rain_step_days;
        r.rain_next = r.time;
        r.event_index = 1;
        r.num_events = 1;
        out_ = chan_test::captured([&] { route_overland(r); });
        close_file_object(r.summary_file);
        ASSERT_EQ(error_record.stop, 0) << out_;
        EXPECT_EQ(r.running, c.ends ? 0 : 1);
        EXPECT_EQ(r.finish_pending, c.ends ? 1 : 0);
        const bool said = out_.find("Rainfall for this event has ended.\n") != std::string::npos;
        EXPECT_EQ(said, c.ends) << out_;
        const bool written =
            pluvo_test::read_file(summary).find(
                "Rainfall for this event ended. Runoff is complete\n") != std::string::npos;
        EXPECT_EQ(written, c.ends);
        if (c.chan_explic && !c.long_term && c.cell_depth == 0.0) {
            EXPECT_NEAR(r.vol_channel_final, channel_volume(), 1e-12);
        }
    }
}

}  // namespace
