// Node cross-section hydraulics (ex_section) on a network built by the set-up.
#include "channel_test_support.h"

#include "channel/xsection.h"

namespace {

using chan_test::ChannelTest;
using chan_test::captured;
using chan_test::rel_diff;
using chan_test::three_link_file;

class SectionTest : public ChannelTest {
protected:
    void SetUp() override {
        ChannelTest::SetUp();
        ASSERT_TRUE(set_up_channel(three_link_file())) << out_;
    }
    // Every node of every link `depth` m above its bed.
    void set_depth(double depth) {
        run_state& r = rs();
        for (int l = 1; l <= r.links; ++l)
            for (int k = 1; k <= r.nx[l]; ++k) r.yp[k][l] = r.bel[k][l] + depth;
    }
    void set_trapezoid(int link, double bottom, double slope) {
        for (int k = 1; k <= rs().nx[link]; ++k) {
            rs().bottom[k][link] = bottom;
            rs().sslope[k][link] = slope;
        }
    }
};

// Depths with the table's edges: 0, below the first step, the first row,
// inside, the table top (2 m) and above it.
const double kDepths[] = {0.0, 1e-3, 0.3, 1.0, 1.7, 2.0, 2.5};

TEST_F(SectionTest, DepthAreaDepthRoundTripsForBothSectionKinds) {
    struct trapezoid {
        const char* what;
        double bottom, slope;
    };
    const trapezoid shapes[] = {{"trapezoid", 2.0, 1.5}, {"rectangle", 3.0, 0.0}, {"triangle", 0.0, 2.0}};
    run_state& r = rs();
    for (const trapezoid& t : shapes) {
        set_trapezoid(1, t.bottom, t.slope);
        for (double d : kDepths) {
            SCOPED_TRACE(std::string(t.what) + " depth " + std::to_string(d));
            r.xsec_table_exceeded = 0;
            set_depth(d);
            ASSERT_EQ(ex_section(r, kSectionFromLevel, r.area), 1);
            const node_array area = r.area;
            const node_array conv = r.conv;
            // The trapezoid's own area relation, and the V section's table.
            EXPECT_NEAR(area[2][1], (t.bottom + t.slope * d) * d, 1e-12);
            const double v_area = d <= 2.0 ? (d < 1.0 ? 0.5 * std::pow(d, 5.0 / 3.0) : 0.5 + (d - 1.0) * 1.5)
                                           : 2.0 + (d - 2.0) * 1.5;
            EXPECT_NEAR(area[1][3], v_area, 1e-12);
            EXPECT_EQ(r.xsec_table_exceeded, d > 2.0 ? 1 : 0);

            set_depth(-7.0);   // the levels are recomputed from the areas
            ASSERT_EQ(ex_section(r, kSectionFromArea, r.area), 1);
            for (int l = 1; l <= 3; ++l) {
                for (int k = 1; k <= r.nx[l]; ++k) {
                    EXPECT_LE(rel_diff(r.chan_node_depth[k][l], d), 1e-9) << "link " << l << " node " << k;
                    EXPECT_LE(rel_diff(r.yp[k][l] - r.bel[k][l], d), 1e-9);
                    EXPECT_LE(rel_diff(r.conv[k][l], conv[k][l]), 1e-9) << "link " << l;
                }
            }
            ASSERT_EQ(ex_section(r, kSectionFromLevel, r.area), 1);
            for (int l = 1; l <= 3; ++l)
                for (int k = 1; k <= r.nx[l]; ++k) EXPECT_LE(rel_diff(r.area[k][l], area[k][l]), 1e-9);
        }
    }
}

TEST_F(SectionTest, TableTopIsReadFromTheLastInterval) {
    run_state& r = rs();
    // Row 3 of the tables exists (zero) beyond the V's two steps.
    ASSERT_GT(r.xk.rows(), 3u);
    set_depth(2.0);
    ASSERT_EQ(ex_section(r, kSectionFromLevel, r.area), 1);
    const double slope = (r.xk[2][1] - r.xk[1][1]) / 1.0;
    EXPECT_GT(slope, 0.0);
    EXPECT_DOUBLE_EQ(r.dconv[1][3], slope);
    EXPECT_DOUBLE_EQ(r.area[1][3], r.xarea[2][1]);
    EXPECT_DOUBLE_EQ(r.topw[1][3], 2.0);
    EXPECT_EQ(r.xsec_table_exceeded, 0);
    // An area exactly at the top row gives the top depth.
    r.area[2][3] = r.xarea[2][1];
    ASSERT_EQ(ex_section(r, kSectionFromArea, r.area), 1);
    EXPECT_DOUBLE_EQ(r.chan_node_depth[2][3], 2.0);
    EXPECT_DOUBLE_EQ(r.conv[2][3], r.xk[2][1]);
    EXPECT_EQ(r.xsec_table_exceeded, 0);
}

TEST_F(SectionTest, TrapezoidDerivativeOfConveyanceMatchesADifference) {
    run_state& r = rs();
    const double d = 0.7, h = 1e-6;
    set_depth(d + h);
    ex_section(r, kSectionFromLevel, r.area);
    const double up = r.conv[2][1];
    set_depth(d - h);
    ex_section(r, kSectionFromLevel, r.area);
    const double down = r.conv[2][1];
    set_depth(d);
    ex_section(r, kSectionFromLevel, r.area);
    EXPECT_NEAR(r.dconv[2][1], (up - down) / (2 * h), 1e-5 * r.dconv[2][1]);
    EXPECT_NEAR(r.topw[2][1], 2.0 + 2 * 1.5 * d, 1e-12);
}

TEST_F(SectionTest, NegativeAreasAndDepths) {
    struct row {
        const char* what;
        int direction, link, node;
        double value;          // area (direction 1) or depth below the bed (direction 2)
        const char* message;   // "" when the node is only reset
    };
    const row rows[] = {
        {"small negative trapezoid area", 1, 1, 2, -5e-5, ""},
        {"negative trapezoid area", 1, 1, 2, -2e-4,
         "In ex_section - 1\nprogram stopped for negative area, node 2, link 1\n"},
        {"negative break-point area", 1, 3, 1, -1e-3,
         "In ex_section - 4\nprogram stopped for negative area, node 1, link 3\n"},
        {"trapezoid level below the bed", 2, 2, 2, -0.01,
         "In ex_section - 1\nprogram stopped for negative depth, node 2, link 2\n"},
        {"break-point level below the bed", 2, 3, 2, -0.01,
         "In ex_section - 3\nprogram stopped for negative depth, node 2, link 3\n"},
    };
    run_state& r = rs();
    for (const row& x : rows) {
        error_record = error_info{};
        r.xsec_error = 0;
        set_depth(0.4);
        ex_section(r, kSectionFromLevel, r.area);
        if (x.direction == 1) {
            r.area[x.node][x.link] = x.value;
        } else {
            r.yp[x.node][x.link] = r.bel[x.node][x.link] + x.value;
        }
        int result = 1;
        const std::string out = captured([&] { result = ex_section(r, x.direction, r.area); });
        if (x.message[0] == '\0') {
            EXPECT_EQ(result, 1) << x.what;
            EXPECT_EQ(out, "") << x.what;
            EXPECT_EQ(error_record.stop, 0) << x.what;
            EXPECT_EQ(r.area[x.node][x.link], 0.0) << x.what;
            EXPECT_EQ(r.chan_node_depth[x.node][x.link], 0.0) << x.what;
            EXPECT_EQ(r.yp[x.node][x.link], r.bel[x.node][x.link]) << x.what;
            EXPECT_EQ(r.conv[x.node][x.link], 0.0) << x.what;
        } else {
            EXPECT_EQ(result, 0) << x.what;
            EXPECT_EQ(out.rfind(x.message, 0), 0u) << x.what << "\n" << out;
            EXPECT_EQ(error_record.stop, 1) << x.what;
            EXPECT_EQ(r.xsec_error, 1) << x.what;
        }
    }
}

TEST_F(SectionTest, LaterLinksAreLeftAfterAFailure) {
    run_state& r = rs();
    set_depth(0.4);
    ex_section(r, kSectionFromLevel, r.area);
    ex_section(r, kSectionFromArea, r.area);
    r.area[1][1] = -1.0;
    r.area[1][3] = 1.3;
    captured([&] { ex_section(r, kSectionFromArea, r.area); });
    EXPECT_EQ(error_record.stop, 1);
    EXPECT_NEAR(r.chan_node_depth[1][3], 0.4, 1e-12);   // link 3 not reached
}

TEST_F(SectionTest, TableNumberBeyondTheTablesStops) {
    run_state& r = rs();
    r.table_num[2][3] = 2;   // only table 1 exists
    testing::internal::CaptureStderr();
    const int result = ex_section(r, kSectionFromLevel, r.area);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(err, "Error in section: Request for table beyond max. table number.\n");
    EXPECT_EQ(error_record.stop, 1);
}

TEST_F(SectionTest, WorkArrayOfTheSameShapeCanStandForTheAreas) {
    run_state& r = rs();
    node_array work(r.area.rows(), r.area.cols(), 0.0);
    work[1][1] = (2.0 + 1.5 * 0.6) * 0.6;
    ASSERT_EQ(ex_section(r, kSectionFromArea, work), 1);
    EXPECT_NEAR(r.chan_node_depth[1][1], 0.6, 1e-12);
    EXPECT_EQ(r.area[1][1], 0.0);   // the run's own areas untouched
}

TEST(SectionWithoutNetwork, DoesNothing) {
    run_state* rs = create_run_state();
    EXPECT_EQ(ex_section(*rs, kSectionFromLevel, rs->area), 1);
    ex_section(*rs, 1);
    EXPECT_EQ(error_record.stop, 0);
    destroy_run_state(rs);
}

}  // namespace
