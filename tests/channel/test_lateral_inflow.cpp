// Lateral exchange between the stream cells and the channel nodes.
#include <gtest/gtest.h>

#include <cmath>

#include "channel/lateral_inflow.h"
#include "routing_test_support.h"

namespace {

using routing_test::link_spec;
using routing_test::RoutingTest;
using routing_test::single_link_file;

constexpr double kWeir = 3.40978982734;  // weir coefficient of both banks, m^0.5/s

TEST(SubmergenceFactor, TableAndInterpolation) {
    struct row {
        double ratio, factor;
    };
    const row rows[] = {
        {0.0, 1.0},   {5e-5, 1.0},  // within 1e-4 of the first row
        {0.5, 1.0},   {0.78, 1.0 + 0.5 * (0.947 - 1.0)},
        {0.8, 0.947}, {0.9, 0.75 + (0.95 - 0.9) / (0.95 - 0.8) * (0.947 - 0.75)},
        {1.0, 0.0},   {1.2, 0.0},
        {-0.01, 0.0},
    };
    for (const row& r : rows)
        EXPECT_NEAR(interpolate_submergence_factor(r.ratio), r.factor, 1e-12) << r.ratio;
}

// Four 10 m cells of the top row (ground 100 m) hold the four nodes of a flat
// trapezoid link (bed 99 m, bottom 2 m, side slope 1, bank 0.5 m), one whole
// cell per node.
class LateralTest : public RoutingTest {
protected:
    void SetUp() override {
        RoutingTest::SetUp();
        link_spec s;
        s.top_bed = 99.0;
        s.slope = 0.0;
        s.bankfull = 0.5;
        const std::string gst =
            "GRIDSTREAMFILE\nSTREAMCELLS 4\nNUMNODES 1\nNUMNODES 1\nNUMNODES 1\nNUMNODES 1\n"
            "CELLIJ 1 1\nLINKNODE 1 1 1.0\nCELLIJ 1 2\nLINKNODE 1 2 1.0\n"
            "CELLIJ 1 3\nLINKNODE 1 3 1.0\nCELLIJ 1 4\nLINKNODE 1 4 1.0\n";
        ASSERT_TRUE(build(single_link_file(s), gst)) << out_;
        set_depth(0.2);
        run_state& r = rs();
        r.ov_depth.assign(static_cast<size_t>(r.GNUM) + 1, 0.0);
        r.dist_rough.assign(static_cast<size_t>(r.GNUM) + 1, 0.05);
    }
    // Trapezoid area at depth y, m2.
    static double area(double y) { return y > 0 ? (2.0 + y) * y : 0.0; }
};

// Without backwater and overbank flow, a wet cell pours into the channel over
// both banks, W(d) = 3.41 d^1.5 p dx, as far as its water goes.
TEST_F(LateralTest, WetCellPoursIntoTheChannelAsFarAsItsWaterGoes) {
    struct row {
        const char* what;
        double depth, dt;
        double flow;  // expected m3/s
    };
    const double d = 0.01;
    const row rows[] = {
        {"dry cell", 0.0, 10.0, 0.0},
        {"wet cell", d, 10.0, kWeir * std::pow(d, 1.5) * 10.0},
        {"empties the cell", d, 1000.0, d * 100.0 / 1000.0},
        {"no time passes nothing", d, 0.0, 0.0},
    };
    for (const row& c : rows) {
        SCOPED_TRACE(c.what);
        run_state& r = rs();
        r.qlat.fill(0.0);
        r.ov_depth[2] = c.depth;
        const lateral_volumes v = lateral_inflow(r, c.dt, 0.0, nullptr);
        EXPECT_NEAR(r.gst_qlat[2][1], c.flow, 1e-15);
        EXPECT_NEAR(r.qlat[2][1], c.flow / 10.0, 1e-15);
        EXPECT_NEAR(r.ov_depth[2], c.depth - c.flow * c.dt / 100.0, 1e-15);
        EXPECT_GE(r.ov_depth[2], 0.0);
        EXPECT_EQ(v.boundary, 0.0);
        EXPECT_EQ(r.qlat[1][1], 0.0);
    }
}

TEST_F(LateralTest, HeadBoundaryCellKeepsItsDepth) {
    run_state& r = rs();
    r.ov_depth[3] = 0.02;
    std::vector<int> types(static_cast<size_t>(r.GNUM) + 1, 0);
    types[3] = 2;
    lateral_inflow(r, 10.0, 0.0, types.data());
    EXPECT_EQ(r.ov_depth[3], 0.02);
    EXPECT_NEAR(r.gst_qlat[3][1], kWeir * std::pow(0.02, 1.5) * 10.0, 1e-15);
}

// With overbank flow, a channel standing above its bank and the dry ground
// spills onto the cell, but no more than overbank_max_dv of its water above
// the crest in one step; what leaves the channel arrives on the cell.
TEST_F(LateralTest, OverbankSpillIsLimitedToTheShareOfTheChannelWater) {
    run_state& r = rs();
    r.overbank_flow = 1;
    r.overbank_max_dv = 0.01;
    const double level = 100.3;  // 0.3 m above the ground, 1.3 m above the bed
    r.yp[2][1] = level;
    const double dt = 10.0;
    lateral_inflow(r, dt, 0.0, nullptr);
    const double q = -r.gst_qlat[2][1];  // m3/s out of the channel
    ASSERT_GT(q, 0.0);
    const double above_crest = (area(1.3) - area(1.0)) * 10.0;  // m3 above the ground level
    EXPECT_NEAR(q * dt, 0.01 * above_crest, 1e-12);
    EXPECT_NEAR(r.ov_depth[2] * 100.0, q * dt, 1e-12);  // the spill lies on the cell
    EXPECT_NEAR(r.qlat[2][1], -q / 10.0, 1e-15);

    // A larger share lets the critical-flow and half-cell Manning bounds decide.
    r.qlat.fill(0.0);
    r.ov_depth[2] = 0.0;
    r.overbank_max_dv = 1.0;
    lateral_inflow(r, 1.0, 0.0, nullptr);
    const double h = 0.3;
    const double critical = 0.8944 * std::sqrt(9.81 * 2 * h / 3) * (2 * h / 3) * 2 * 10.0;
    const double manning = 2 * 10.0 / 0.05 * std::pow(0.5 * h, 5.0 / 3.0) * std::sqrt(h / 5.0);
    EXPECT_NEAR(-r.gst_qlat[2][1], std::min({kWeir * std::pow(h, 1.5) * 10.0, critical, manning}),
                1e-12);
}

// A node whose section holds no water above the crest (a section of no width)
// gives nothing instead of dividing by its empty volume.
TEST_F(LateralTest, EmptySectionSpillsNothing) {
    run_state& r = rs();
    r.overbank_flow = 1;
    r.bottom[2][1] = 0.0;
    r.sslope[2][1] = 0.0;
    r.yp[2][1] = 100.3;
    lateral_inflow(r, 10.0, 0.0, nullptr);
    EXPECT_EQ(r.gst_qlat[2][1], 0.0);
    EXPECT_EQ(r.qlat[2][1], 0.0);
    EXPECT_EQ(r.ov_depth[2], 0.0);
}

TEST_F(LateralTest, BackwaterBlocksInflowWhereTheChannelStandsHigher) {
    run_state& r = rs();
    r.overland_backwater = 1;
    r.ov_depth[2] = 0.05;
    r.yp[2][1] = 100.1;  // above the cell's water surface
    lateral_inflow(r, 10.0, 0.0, nullptr);
    EXPECT_EQ(r.gst_qlat[2][1], 0.0);
    EXPECT_EQ(r.ov_depth[2], 0.05);
}

// Cells of any channel-network lake, and nodes a lake holds, exchange nothing.
TEST_F(LateralTest, LakeCellsAndHeldNodesExchangeNothing) {
    run_state& r = rs();
    r.channel_lakes = 1;
    r.lake_mask.assign(static_cast<size_t>(r.GNUM) + 1, 0);
    r.lake_mask[2] = 2;
    r.ov_depth[2] = 0.05;
    r.ov_depth[4] = 0.05;
    r.nx[1] = 3;  // node 4 is held by a lake
    lateral_inflow(r, 10.0, 0.0, nullptr);
    EXPECT_EQ(r.gst_qlat[2][1], 0.0);
    EXPECT_EQ(r.gst_qlat[4][1], 0.0);
    EXPECT_EQ(r.ov_depth[2], 0.05);
    EXPECT_EQ(r.ov_depth[4], 0.05);
}

TEST_F(LateralTest, SacramentoInflowIsSharedByTheSegmentWeights) {
    run_state& r = rs();
    r.sacramento = 1;
    for (int i = 1; i <= 4; ++i) r.gst_sac_weight[i][1] = 0.25;
    const lateral_volumes v = lateral_inflow(r, 10.0, 2.0, nullptr);
    EXPECT_NEAR(v.sacramento, 2.0 * 10.0, 1e-12);
    for (int k = 1; k <= 4; ++k) EXPECT_NEAR(r.qlat[k][1], 0.5 / 10.0, 1e-15);
}

}  // namespace
