// Placing the stream points of an inset model on the channel network and
// their discharges per node.
#include <gtest/gtest.h>
#include <cstdio>
#include <memory>
#include <string>
#include "channel/channel_records.h"
#include "channel/xy_stream_points.h"
#include "core/error.h"
#include "input/time_series.h"
#include "run/run_state.h"

namespace {

struct run_state_deleter {
    void operator()(run_state* rs) const { destroy_run_state(rs); }
};
using run_state_ptr = std::unique_ptr<run_state, run_state_deleter>;

// Two routed links of three nodes (four X_Y points each, 10 m apart) and a
// lake link: link 1 along y = 0 from x = 0, link 2 along y = 100 from x = 0,
// link 3 (lake) at (200, 0). Cells of 10 m.
run_state_ptr network() {
    run_state_ptr rs(create_run_state());
    rs->chan_explic = 1;
    rs->cell_size = 10.0;
    rs->links = 3;
    rs->nx = {0, 3, 3, 1};
    rs->ltype = {0, kLtTrapezoid, kLtTrapezoid, kLtLake};
    rs->lnx.assign(6, 5, 0.0);
    rs->lny.assign(6, 5, 0.0);
    rs->area.assign(6, 5, 0.0);
    for (int k = 1; k <= 4; ++k) {
        rs->lnx(k, 1) = 10.0 * (k - 1);
        rs->lnx(k, 2) = 10.0 * (k - 1);
        rs->lny(k, 2) = 100.0;
    }
    rs->lnx(1, 3) = rs->lnx(2, 3) = 200.0;
    return rs;
}

xy_stream_point point(double x, double y, int link = 0, int node = 0) {
    xy_stream_point p;
    p.x = x;
    p.y = y;
    p.link = link;
    p.node = node;
    p.placed = link > 0 ? 1 : 0;
    p.line = 7;
    p.file = "st.xy";
    return p;
}

}  // namespace

TEST(XyStreamPoints, PointsArePlacedOnTheNearestRoutedNodeOrRefused) {
    struct place_case {
        const char* name;
        xy_stream_point p;
        int link, node;          // expected placement (0: refused)
        const char* message;     // part of the refusal
    };
    // Node centres: link 1 at x = 5, 15, 25 (y = 0); link 2 the same at y = 100.
    const place_case cases[] = {
        {"on a node centre", point(15, 0), 1, 2, nullptr},
        {"nearest of two", point(24, 3), 1, 3, nullptr},
        {"other link", point(6, 95), 2, 1, nullptr},
        {"equal distance keeps the first", point(10, 0), 1, 1, nullptr},
        {"exactly one cell away", point(5, 10), 1, 1, nullptr},
        {"beyond one cell", point(5, 10.5), 0, 0, "no channel node lies within one cell size (10 m)"},
        {"near a lake only", point(200, 0), 0, 0, "no channel node lies within"},
        {"given link and node", point(500, 500, 2, 3), 2, 3, nullptr},
        {"link out of range", point(0, 0, 4, 1), 0, 0, "LINKNODE 4 1 is not a node"},
        {"node out of range", point(0, 0, 1, 4), 0, 0, "LINKNODE 1 4 is not a node"},
        {"lake link", point(0, 0, 3, 1), 0, 0, "LINKNODE 3 1 is not a node of a routed"},
    };
    for (const place_case& c : cases) {
        SCOPED_TRACE(c.name);
        run_state_ptr rs = network();
        rs->cards.xy_in.stpts = {c.p};
        error_record = error_info{};
        testing::internal::CaptureStdout();
        locate_stream_xy_points(*rs);
        const std::string out = testing::internal::GetCapturedStdout();
        if (c.message == nullptr) {
            EXPECT_EQ(error_record.code, 0) << out;
            EXPECT_EQ(rs->cards.xy_in.stpts[0].link, c.link);
            EXPECT_EQ(rs->cards.xy_in.stpts[0].node, c.node);
        } else {
            EXPECT_EQ(error_record.code, kErrorPrinted);
            EXPECT_NE(out.find("st.xy, line 7: "), std::string::npos) << out;
            EXPECT_NE(out.find(c.message), std::string::npos) << out;
        }
        error_record = error_info{};
    }
}

TEST(XyStreamPoints, DischargesAddUpPerNodeAndNeedTheRouting) {
    run_state_ptr rs = network();
    time_series* a = new_time_series();
    a->times = {2451000.0, 2451001.0};
    a->values = {1.0, 3.0};
    a->count = 2;
    xy_stream_point p = point(15, 0);
    p.series = a;
    xy_stream_point q = point(0, 0, 1, 2);
    q.series = a;
    rs->cards.xy_in.stpts = {p, q};
    error_record = error_info{};
    locate_stream_xy_points(*rs);
    ASSERT_EQ(error_record.code, 0);
    rs->time = 2451000.5;
    set_stream_xy_discharges(*rs);
    EXPECT_NEAR(rs->xy_stream_q(2, 1), 4.0, 1e-6);   // two points of 2 m3/s on node 2
    EXPECT_EQ(rs->xy_stream_q(1, 1), 0.0);

    run_state_ptr off = network();
    off->chan_explic = 0;
    off->cards.xy_in.stpts = {p};
    testing::internal::CaptureStdout();
    locate_stream_xy_points(*off);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("need the explicit channel routing"), std::string::npos) << out;
    EXPECT_EQ(error_record.code, kErrorPrinted);
    error_record = error_info{};
    free_time_series();
}
