// Cross-section update after a bed change: the V section (0, 2), (1, 0),
// (2, 2) of erodible break-point link 3 (dx 20 m) loses or gains bulk volume V.
// Only the thalweg pair lies below the depth reached, so the wet part moves as
// a triangle of base 2 m: area change = thalweg move x 1 m, and the bed
// moves by V / (1 m x dx).
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "channel/xsec_update.h"
#include "channel_test_support.h"

using namespace chan_test;

namespace {

class XsecUpdateTest : public ChannelTest {
protected:
    // Link 3 erodible with the given largest erosion depth (m); the water has
    // reached 1.5 m above node 1's bed; node 1 holds `sand0` m3 of sand.
    void build(double max_erosion) {
        std::string text = replaced(three_link_file(), "NODES 3\nBREAKPOINT", "NODES 3\nBREAK_ERODE");
        text = replaced(text, "NPAIRS 3\n", "MAX_EROSION " + std::to_string(max_erosion) + "\nNPAIRS 3\n");
        ASSERT_TRUE(read_channel(text)) << out_;
        run_state& r = rs();
        ASSERT_EQ(r.bplink[3], 1);
        // The update's working beds belong to a run: a new network starts afresh.
        r.new_bel.clear();
        r.min_bel.clear();
        bed0_ = r.bel[1][3];
        r.max_yp[1][1] = bed0_ + 1.5;
        r.ch_sand_vol0[1][1] = sand0_;
        r.ch_sand_vol.assign(r.maxnodes + 2, std::vector<std::vector<double>>(
                                                 r.links + 2, std::vector<double>(1, sand0_)));
        for (int k = 1; k <= r.nx[3]; ++k) r.ch_sand_vol0[1][k] = sand0_;
        z0_ = section();
    }
    // Node 1's section elevations (pairs 1..3).
    std::vector<double> section() {
        const std::vector<double>& z = rs().ybp_lnn[1][1];
        return {z[1], z[2], z[3]};
    }
    // Area between the stored section and the one before the update, m2.
    double area_change() {
        const std::vector<double>& x = rs().xbp_lnn[1][1];
        const std::vector<double> z = section();
        double a = 0.0;
        for (int p = 1; p < 3; ++p)
            a += 0.5 * ((z0_[p] - z[p]) + (z0_[p - 1] - z[p - 1])) * (x[p + 1] - x[p]);
        return a;
    }
    // Sand store change of node 1 for a bulk volume change v (m3) at porosity 0.4.
    void lose_bulk(double v) { rs().ch_sand_vol[1][3][0] = sand0_ - v * (1.0 - 0.4); }

    const double sand0_ = 10.0;   // m3
    double bed0_ = 0.0;           // m
    std::vector<double> z0_;
};

TEST_F(XsecUpdateTest, ErosionAndDepositionMoveSectionAndBedByTheBulkVolume) {
    const double dx = 20.0;
    for (double v : {2.0, -2.0}) {
        SCOPED_TRACE(v);
        build(0.5);
        lose_bulk(v);
        ASSERT_EQ(xsec_update(rs(), true, 0.4), 1) << out_;
        EXPECT_NEAR(area_change() * dx, v, 1e-5 * std::fabs(v));
        EXPECT_NEAR(rs().bel[1][3], bed0_ - v / dx, 1e-5);
        EXPECT_NEAR(rs().new_bel[1][3], rs().bel[1][3], 1e-12);
        // The pairs at or above the depth reached stay where they were.
        EXPECT_DOUBLE_EQ(section()[0], z0_[0]);
        EXPECT_DOUBLE_EQ(section()[2], z0_[2]);
        // The node's depth table follows: its step is now h = (2 - z_thalweg) / 2
        // and the first step's area the triangle h^2 / (2 - z_thalweg).
        const int t = rs().table_num[1][3];
        const double height = 2.0 - section()[1];
        EXPECT_NEAR(rs().xarea[1][t], 0.25 * height * height / height, 1e-9);
        // Other nodes kept their sand: unchanged.
        EXPECT_DOUBLE_EQ(rs().bel[2][3], rs().new_bel[2][3]);
    }
}

TEST_F(XsecUpdateTest, UnchangedSandOrUncommittedUpdateLeavesTheSection) {
    build(0.5);
    ASSERT_EQ(xsec_update(rs(), true, 0.4), 1);
    EXPECT_EQ(section(), z0_);
    EXPECT_DOUBLE_EQ(rs().bel[1][3], bed0_);

    lose_bulk(2.0);
    ASSERT_EQ(xsec_update(rs(), false, 0.4), 1);
    EXPECT_EQ(section(), z0_);                       // not stored
    EXPECT_DOUBLE_EQ(rs().bel[1][3], bed0_);
    EXPECT_NEAR(rs().new_bel[1][3], bed0_ - 0.1, 1e-5);   // the working bed moved
}

// With 0.05 m of erosion allowed, a loss worth 0.1 m stops section and bed
// together at 0.05 m below the start; a further loss changes nothing.
TEST_F(XsecUpdateTest, SectionAndBedStopTogetherAtTheLowestBed) {
    build(0.05);
    lose_bulk(2.0);
    ASSERT_EQ(xsec_update(rs(), true, 0.4), 1) << out_;
    EXPECT_NEAR(rs().bel[1][3], bed0_ - 0.05, 1e-12);
    EXPECT_NEAR(section()[1], z0_[1] - 0.05, 1e-12);
    lose_bulk(4.0);
    ASSERT_EQ(xsec_update(rs(), true, 0.4), 1);
    EXPECT_NEAR(rs().bel[1][3], bed0_ - 0.05, 1e-12);
    EXPECT_NEAR(section()[1], z0_[1] - 0.05, 1e-12);
}

TEST_F(XsecUpdateTest, WaterBelowTheBedStopsTheRun) {
    build(0.5);
    rs().max_yp[1][1] = bed0_ - 0.1;
    lose_bulk(2.0);
    out_ = captured([&] { EXPECT_EQ(xsec_update(rs(), true, 0.4), 0); });
    EXPECT_EQ(error_record.stop, 1);
    EXPECT_NE(out_.find("program stopped for negative depth, node 1, link 3"), std::string::npos)
        << out_;
}

}  // namespace
