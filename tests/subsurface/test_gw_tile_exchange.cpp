// Aquifer-to-tile-drain exchange: one tile piece of 30 m under a cell with
// ground 10 m, aquifer bottom 0 m, both end nodes buried 1.5 m (grade 8.5 m
// with an empty tile), spacing 20 m, diameter 0.1 m, conductivity 3.6 cm/h
// (0.036 m/h), multiplier 1.
#include <gtest/gtest.h>

#include <cmath>

#include "core/error.h"
#include "subsurface/gw_tile_exchange.h"
#include "subsurface_fixture.h"

namespace {

std::vector<std::vector<double>> per_node(double v) { return {{}, {0.0, v, v, v}}; }

tile_network one_tile(int method) {
    tile_network net;
    tile_entry e;
    e.length = 30.0;
    e.superlink = 1;
    e.node = 1;
    e.cell = 1;
    net.groups = {{e}};
    net.conductivity = per_node(3.6);
    net.diameter = per_node(0.1);
    net.multiplier = per_node(1.0);
    net.spacing = per_node(20.0);
    net.flow_depth = per_node(0.0);
    net.invert = per_node(8.5);
    net.node_cell = {{}, {0, 1, 1, 1}};
    net.equivalent_depth_method = method;
    return net;
}

tile_exchange_result sized_result() {
    tile_exchange_result r;
    r.tile_inflow = {{}, {7.0, 7.0, 7.0, 7.0}};   // stale values the call must clear
    r.superlink_inflow = {7.0, 7.0};
    r.cell_rate = {7.0, 7.0};
    return r;
}

TEST(TileExchange, DrainFlowByTheEquivalentDepth) {
    // Head 9.5 m: H = 1 m above the grade, tile 8.5 m above the bottom.
    // Method 1 (d/S >= 0.3): de = 3.14 x 20 / (8 (ln 400 - 1.15)) = 1.621410 m,
    // Q = (8 K de H + 4 K H^2) / S^2 x 3.14 D / 3600 x 30 m.
    const double de1 = 3.14 * 20.0 / (8.0 * (std::log(400.0) - 1.15));
    const double q1 = (8.0 * 0.036 * de1 + 4.0 * 0.036) / 400.0 * (3.14 * 0.1 / 3600.0) * 30.0;
    // Method 2: S' = 10 m, x = 6.28 x 8.5 / 10; the exponential terms are
    // below 1e-4 and de = 3.14 x 10 / 8 / (ln(10 / 0.157) + terms) = 0.94483 m.
    const double x = 6.28 * 8.5 / 10.0;
    double terms = 0.0;
    for (double k : {2.0, 6.0, 10.0}) terms += 4.0 * std::exp(-k * x) / (1.0 - std::exp(-k * x));
    const double de2 = 3.14 * 10.0 * 0.125 / (std::log(10.0 / 0.157) + terms);
    const double q2 = (2.0 * de2 + 1.0) * (0.036 / 10.0) * 2.0 / 3600.0 * 30.0;
    EXPECT_NEAR(de1, 1.621410, 1e-6);
    EXPECT_NEAR(de2, 0.94483, 1e-5);

    struct tile_case {
        int method;
        double head;       // m
        int result;
        double expected;   // m3/s
    };
    const tile_case cases[] = {
        {1, 9.5, 1, q1},
        {2, 9.5, 1, q2},
        {1, 8.5, 0, 0.0},   // table at the grade: nothing exchanged
        {1, 3.0, 0, 0.0},
    };
    for (const tile_case& c : cases) {
        SCOPED_TRACE(c.method * 100 + c.head);
        clear_error_record();
        tile_network net = one_tile(c.method);
        tile_exchange_result r = sized_result();
        EXPECT_EQ(exchange_gw_tile(net, {0.0, c.head}, {0.0, 0.0}, {0.0, 10.0}, r), c.result);
        EXPECT_NEAR(r.cell_rate[1], c.expected, 1e-12 * (1.0 + c.expected));
        EXPECT_DOUBLE_EQ(r.tile_inflow[1][1], r.cell_rate[1]);
        EXPECT_DOUBLE_EQ(r.superlink_inflow[1], r.cell_rate[1]);
        EXPECT_EQ(r.tile_inflow[1][2], 0.0);
        EXPECT_EQ(error_record.code, 0);
    }
}

TEST(TileExchange, WaterInTheTileRaisesTheGrade) {
    tile_network net = one_tile(1);
    net.flow_depth = per_node(0.6);   // grade 9.1 m: H = 0.4 m
    tile_exchange_result dry = sized_result(), wet = sized_result();
    exchange_gw_tile(one_tile(1), {0.0, 9.5}, {0.0, 0.0}, {0.0, 10.0}, dry);
    exchange_gw_tile(net, {0.0, 9.5}, {0.0, 0.0}, {0.0, 10.0}, wet);
    EXPECT_GT(wet.cell_rate[1], 0.0);
    EXPECT_LT(wet.cell_rate[1], 0.5 * dry.cell_rate[1]);
}

TEST(TileExchange, PropertiesOfTheMappedComputationalNode) {
    tile_network net = one_tile(1);
    net.computational_nodes = 1;
    net.end_node_map = {{}, {0, 2, 3, 3}};
    net.property_node_map = {{}, {0, 3, 3, 3}};
    net.conductivity = {{}, {0.0, 0.0, 0.0, 3.6}};   // only node 3 conducts
    tile_exchange_result r = sized_result();
    EXPECT_EQ(exchange_gw_tile(net, {0.0, 9.5}, {0.0, 0.0}, {0.0, 10.0}, r), 1);
    EXPECT_GT(r.cell_rate[1], 0.0);
}

TEST(TileExchange, TileBelowTheAquiferBottomStopsTheRun) {
    clear_error_record();
    tile_network net = one_tile(1);
    tile_exchange_result r = sized_result();
    testing::internal::CaptureStdout();
    EXPECT_EQ(exchange_gw_tile(net, {0.0, 9.5}, {0.0, 9.0}, {0.0, 10.0}, r), 1);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Node elevation must be above bottom of groundwater media: Link 1 Node 1"),
              std::string::npos);
    EXPECT_EQ(error_record.code, 131);
    EXPECT_EQ(error_record.stop, 1);
    clear_error_record();
}

}  // namespace
