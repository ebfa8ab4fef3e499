// The Sacramento outflow in the channels: the segments' shares by channel
// length (and by topographic index), and the channel steps taking in every
// accounting step's outflow volume OUT x area / 1000 while the surface stays
// dry.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "channel/channel.h"
#include "routing_test_support.h"
#include "subsurface/sacramento.h"

namespace {

using routing_test::link_spec;
using routing_test::RoutingTest;
using routing_test::single_link_file;

constexpr double kDay = 86400.0;   // s

// One link of four nodes under the four cells of the top row; the share of
// the cells given by `pct`.
class SacInflowTest : public RoutingTest {
protected:
    void build_with(const double pct[4]) {
        link_spec s;
        s.top_bed = 99.0;
        s.slope = 0.002;
        std::string gst = "GRIDSTREAMFILE\nSTREAMCELLS 4\nNUMNODES 1\nNUMNODES 1\nNUMNODES 1\nNUMNODES 1\n";
        for (int k = 1; k <= 4; ++k) {
            gst += "CELLIJ 1 " + std::to_string(k) + "\nLINKNODE 1 " + std::to_string(k) + " " +
                   std::to_string(pct[k - 1]) + "\n";
        }
        ASSERT_TRUE(build(single_link_file(s), gst)) << out_;
        run_state& r = rs();
        const size_t cells = static_cast<size_t>(r.GNUM) + 1;
        r.ov_depth.assign(cells, 0.0);
        r.dist_rough.assign(cells, 0.05);
        r.sacramento = 1;
        r.chan_explic = 1;
        r.quiet = 1;
    }
};

// Without the index each segment's share is its channel length dx x pct
// over the total; with it, times its cell's share of the index sum; the
// shares add to 1.
TEST_F(SacInflowTest, SharesByChannelLengthAndIndex) {
    const double pct[4] = {1.0, 0.5, 0.25, 0.25};
    build_with(pct);
    run_state& r = rs();
    struct row {
        bool topo;
        double index[4];
    };
    const row rows[] = {{false, {0, 0, 0, 0}}, {true, {1.0, 2.0, 3.0, 4.0}}};
    for (const row& w : rows) {
        SCOPED_TRACE(w.topo ? "index" : "length");
        r.sac_topo_index = w.topo ? 1 : 0;
        r.topo_dex.assign(static_cast<size_t>(r.GNUM) + 1, 0.0);
        for (int i = 1; i <= 4; ++i) {
            const int cell = r.gst_gnum[static_cast<size_t>(i)][1];
            r.topo_dex[static_cast<size_t>(cell)] = w.index[i - 1];
        }
        compute_sacramento_weights(r);
        ASSERT_EQ(error_record.code, 0);
        double expected[4], sum = 0.0;
        for (int i = 0; i < 4; ++i) {
            expected[i] = pct[i] * (w.topo ? w.index[i] : 1.0);
            sum += expected[i];
        }
        double total = 0.0;
        for (int i = 1; i <= 4; ++i) {
            EXPECT_NEAR(r.gst_sac_weight[static_cast<size_t>(i)][1], expected[i - 1] / sum, 1e-15) << i;
            total += r.gst_sac_weight[static_cast<size_t>(i)][1];
        }
        EXPECT_NEAR(total, 1.0, 1e-15);
    }
}

// Hourly accounting steps and 10 s channel steps on a dry surface: the
// channels take in every step's outflow, sum of OUT x area / 1000, to 1e-9.
TEST_F(SacInflowTest, ChannelsTakeEveryStepsOutflowOnADrySurface) {
    const double pct[4] = {1.0, 1.0, 1.0, 1.0};
    build_with(pct);
    run_state& r = rs();
    compute_sacramento_weights(r);
    ASSERT_EQ(error_record.code, 0);
    sacramento_state s;
    s.uztwm = 50.0;
    s.uzfwm = 40.0;
    s.uzk = 0.3;
    s.zperc = 40.0;
    s.rexp = 2.0;
    s.lztwm = 120.0;
    s.lzfsm = 25.0;
    s.lzfpm = 60.0;
    s.lzsk = 0.05;
    s.lzpk = 0.01;
    s.pfree = 0.3;
    s.pbase = s.lzfsm * s.lzsk + s.lzfpm * s.lzpk;
    s.uztwc = 40.0;
    s.uzfwc = 30.0;
    s.lztwc = 100.0;
    s.lzfsc = 20.0;
    s.lzfpc = 50.0;
    r.sac_state = s;
    r.watershed_area = r.GNUM * r.cell_size * r.cell_size;
    // A small Julian time keeps the channel step lengths exact to 1e-11 s.
    const double t0 = 0.5;
    const double step = 10.0;   // s
    r.time = t0;
    r.time_tolerance = 1e-8;
    r.sac_next = t0;
    r.sac_step_seconds = 3600.0;
    r.sac_step_days = 3600.0 / kDay;
    r.chan_step_seconds = step;
    r.chan_step_days = step / kDay;
    r.chan_last = t0 - step / kDay;
    r.chan_next = t0;
    const int hours = 3;
    for (int p = 0; p < hours * 360; ++p) {
        r.time = t0 + p * step / kDay;
        r.surface_has_water = 0;
        compute_sacramento(r);
        out_ = chan_test::captured([&] { route_channels(r); });
        ASSERT_EQ(error_record.stop, 0) << out_;
        if (p % 360 == 359) {
            // This hour's water entered the channels.
            EXPECT_NEAR(r.sac_vol_to_channels, r.sac_vol_outflow, 1e-9 * r.sac_vol_outflow) << "pass " << p;
        }
    }
    EXPECT_EQ(r.sac_calls, hours);
    EXPECT_GT(r.sac_vol_outflow, 0.0);
    EXPECT_NEAR(r.sac_vol_outflow, r.sac_subsurface_runoff * r.watershed_area / 1000.0, 1e-9 * r.sac_vol_outflow);
    EXPECT_GT(r.chan_route_calls, 0);
}

}  // namespace
