// Stream-aquifer exchange of one trapezoid node over one stream cell.
#include <gtest/gtest.h>

#include <cmath>

#include "channel/channel_records.h"
#include "subsurface/stream_exchange.h"
#include "subsurface_fixture.h"

namespace {

// One link of one node (bed 10 m, bottom 2 m, side slope 1.5) on cell 1,
// river bed Krb 0.36 m/h and Mrb 0.5 m; aquifer bottom 0 m, ground 20 m.
run_state_ptr make_stream(double depth, double head) {
    run_state_ptr rs = make_grid_state(1, 1, 20.0);
    rs->elevation[1] = 20.0;
    rs->water_table = 1;
    rs->gw_simulation = 1;
    rs->stream_exchange = 1;
    rs->gwbound.assign(2, 4);
    rs->elevgw.assign(2, head);
    rs->bottom_elev.assign(2, 0.0);
    rs->links = 1;
    rs->nx = {0, 1};
    rs->ltype = {0, kLtTrapezoid};
    for (node_array* a : {&rs->qriv, &rs->bel, &rs->chan_node_depth, &rs->Krb, &rs->Mrb,
                          &rs->bottom, &rs->sslope}) {
        a->assign(3, 2, 0.0);
    }
    rs->bel(1, 1) = 10.0;
    rs->chan_node_depth(1, 1) = depth;
    rs->Krb(1, 1) = 0.36;
    rs->Mrb(1, 1) = 0.5;
    rs->bottom(1, 1) = 2.0;
    rs->sslope(1, 1) = 1.5;
    rs->num_stream_cells = 1;
    rs->gst_ncellsingrid = {0, 1};
    rs->gst_link = {{}, {0, 1}};
    rs->gst_node = {{}, {0, 1}};
    rs->gst_gnum = {{}, {0, 1}};
    rs->gst_pct = {{}, {0.0, 1.0}};
    rs->gst_qriv = {{}, {0.0, 0.0}};
    return rs;
}

TEST(StreamExchange, RatesFollowTheHeadAboveOrBelowTheWaterSurface) {
    const double k = 0.36 / 3600.0, m = 0.5;
    struct exchange_case {
        double depth, head;   // m
        double expected;      // m2/s
        int verdict;
    };
    const exchange_case cases[] = {
        // table 0.5 m above the surface: width at d = h - z = 1.5 m
        {1.0, 11.5, k / m * 0.5 * (2.0 + 2.0 * 1.5 * 1.5), 1},
        // table below the bed: the node loses y k / m W at its depth
        {1.0, 8.0, -1.0 * k / m * (2.0 + 2.0 * 1.0 * 1.5), 2},
        // dry node over a table below its bed: nothing
        {0.0, 8.0, 0.0, 0},
    };
    for (const exchange_case& c : cases) {
        SCOPED_TRACE(c.head);
        run_state_ptr rs = make_stream(c.depth, c.head);
        EXPECT_EQ(exchange_channel_aquifer(*rs), c.verdict);
        EXPECT_NEAR(rs->qriv(1, 1), c.expected, 1e-15);
        EXPECT_NEAR(rs->gst_qriv[1][1], c.expected, 1e-15);
    }
}

TEST(StreamExchange, NotANumberRateStopsNamingNodeAndLink) {
    run_state_ptr rs = make_stream(1.0, 11.5);
    rs->Krb(1, 1) = std::nan("");
    EXPECT_EQ(exchange_channel_aquifer(*rs), 0);
    EXPECT_EQ(error_record.code, kErrorPrinted);
    clear_error_record();
}

}  // namespace
