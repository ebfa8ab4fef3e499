// Depth tables of break-point cross-sections.
#include "channel_test_support.h"

#include "channel/breakpoint_xsec.h"

namespace {

using chan_test::ChannelTest;
using chan_test::replaced;
using chan_test::three_link_file;

struct table {
    std::vector<double> area, width, conv, perim, moment, dkda;
    explicit table(int steps)
        : area(steps + 1), width(steps + 1), conv(steps + 1), perim(steps + 1), moment(steps + 1),
          dkda(steps + 1) {}
    int fill(const std::vector<double>& x, const std::vector<double>& z, int steps, double delta,
             double zmin, double inv_n) {
        return fill_depth_table(x.data(), z.data(), static_cast<int>(x.size()), steps, delta, zmin,
                                inv_n, area.data(), width.data(), conv.data(), perim.data(),
                                moment.data(), dkda.data());
    }
};

TEST(DepthTable, VSectionAtItsFirstStep) {
    table t(2);
    ASSERT_EQ(t.fill({0.0, 1.0, 2.0}, {2.0, 0.0, 2.0}, 2, 1.0, 0.0, 25.0), 0);
    EXPECT_DOUBLE_EQ(t.width[1], 1.0);
    EXPECT_DOUBLE_EQ(t.area[1], 0.5);
    EXPECT_DOUBLE_EQ(t.perim[1], 2.0 * std::sqrt(1.25));
    EXPECT_DOUBLE_EQ(t.conv[1], 25.0 * 0.5 * std::pow(0.5 / t.perim[1], 2.0 / 3.0));
    EXPECT_DOUBLE_EQ(t.width[2], 2.0);
    EXPECT_DOUBLE_EQ(t.area[2], 2.0);
    EXPECT_DOUBLE_EQ(t.perim[2], 2.0 * std::sqrt(5.0));
    // Mesh columns: first moment of the area below the surface and dK/dA.
    EXPECT_DOUBLE_EQ(t.moment[1], 1.0 * 1.0 * 0.5);
    EXPECT_DOUBLE_EQ(t.moment[2], 1.0 * 1.0 * 1.0);
    EXPECT_DOUBLE_EQ(t.dkda[1], (t.conv[2] - t.conv[1]) / (t.area[2] - t.area[1]));
    EXPECT_DOUBLE_EQ(t.dkda[2], t.dkda[1]);
}

TEST(DepthTable, MidChannelBarSplitsTheWaterIntoTwoIslands) {
    // Two troughs at 0 m either side of a bar whose top is at 1 m; steps of 0.5 m.
    const std::vector<double> x = {0.0, 1.0, 2.0, 3.0, 4.0}, z = {2.0, 0.0, 1.0, 0.0, 2.0};
    table t(4);
    ASSERT_EQ(t.fill(x, z, 4, 0.5, 0.0, 1.0), 0);
    EXPECT_DOUBLE_EQ(t.width[1], 0.75 + 0.75);   // two islands of 0.75 m
    EXPECT_DOUBLE_EQ(t.area[1], 2 * 0.75 * 0.5 * 0.5);
    EXPECT_DOUBLE_EQ(t.width[2], 1.5 + 1.5);     // touching at the bar top
    EXPECT_DOUBLE_EQ(t.width[3], 3.5);           // one island over the bar
}

TEST(DepthTable, SectionUnderWaterAtItsEndsStandsAgainstWalls) {
    // A rectangle 2 m wide whose banks are only 1 m high, read at 1.5 m: the
    // water spans the section and the walls above the banks wet 0.5 m each.
    table t(3);
    ASSERT_EQ(t.fill({0.0, 0.0, 2.0, 2.0}, {1.0, 0.0, 0.0, 1.0}, 3, 0.5, 0.0, 1.0), 0);
    EXPECT_DOUBLE_EQ(t.width[3], 2.0);
    EXPECT_DOUBLE_EQ(t.area[3], 3.0);
    EXPECT_DOUBLE_EQ(t.perim[3], 0.5 + 1.0 + 2.0 + 1.0 + 0.5);
}

TEST(DepthTable, FiftyIslandsAtOneLevelAreRefused) {
    std::vector<double> x, z;
    for (int i = 0; i <= 100; ++i) {   // a saw tooth: 50 troughs below 0.5 m
        x.push_back(i);
        z.push_back(i % 2 == 0 ? 1.0 : 0.0);
    }
    table t(2);
    EXPECT_EQ(t.fill(x, z, 2, 0.5, 0.0, 1.0), -1);
    z.back() = 1.0;
    x.resize(99);   // 49 troughs are still accepted
    z.resize(99);
    EXPECT_EQ(t.fill(x, z, 2, 0.5, 0.0, 1.0), 0);
    EXPECT_DOUBLE_EQ(t.width[1], 49.0);   // 49 troughs 1 m wide at half their height
}

TEST(DepthTable, LookUpNeverReadsPastTheTopRow) {
    // Row 3 holds a poison value beyond the table's two steps.
    const double v[] = {0.0, 1.0, 3.0, -1000.0};
    struct row {
        double depth, expected;
    };
    const row rows[] = {{0.5, 0.5}, {1.0, 1.0}, {1.5, 2.0}, {2.0, 3.0}, {2.5, 4.0}};
    for (const row& r : rows) EXPECT_DOUBLE_EQ(table_value_at(v, 2, 1.0, r.depth), r.expected) << r.depth;
}

// Link 3 of the three-link file with the given sections in place of its one section.
std::string with_sections(const std::string& sections, const std::string& kind = "BREAKPOINT",
                          int points = 6) {
    std::string text = replaced(three_link_file(), "MAXNODES 4", "MAXNODES 6");
    text = replaced(text, "NODES 3\nBREAKPOINT", "NODES " + std::to_string(points) + "\n" + kind);
    const std::string old_section =
        "NODE 1\nELEV 101.0\nNPAIRS 3\nNUM_INTERP 2\nX1 0.0 2.0\nX1 1.0 0.0\nX1 2.0 2.0\nNODE 2\n"
        "ELEV 100.0\nNODE 3\nELEV 99.0\n";
    // Every point of the link is described once: the points the sections
    // leave out get a NODE card and a bed after them.
    std::string all = sections;
    for (int k = 1; k <= points; ++k) {
        if (sections.find("NODE " + std::to_string(k) + "\n") != std::string::npos) continue;
        all += "NODE " + std::to_string(k) + "\nELEV " + std::to_string(101 - k) + ".0\n";
    }
    return replaced(text, old_section, all);
}

TEST_F(ChannelTest, TwoSectionsMakeOneTableEachAndInterpolatedOnesBetween) {
    // Sections on points 2 (V of 2 m) and 5 (V of 4 m); every table of the link
    // takes the larger step count, 4: steps of 0.5 m and 1 m.
    const std::string sections =
        "NODE 2\nNPAIRS 3\nNUM_INTERP 2\nX1 0 2\nX1 1 0\nX1 2 2\n"
        "NODE 5\nNPAIRS 3\nNUM_INTERP 4\nX1 0 4\nX1 1 0\nX1 2 4\n";
    ASSERT_TRUE(read_channel(with_sections(sections))) << out_;
    run_state& r = rs();
    EXPECT_EQ(r.num_xsec_tables, 4);
    const int expected[] = {0, 1, 1, 2, 3, 4, 4};
    for (int k = 1; k <= 6; ++k) EXPECT_EQ(r.table_num[k][3], expected[k]) << k;
    EXPECT_DOUBLE_EQ(r.ht_spc[1], 0.5);
    EXPECT_DOUBLE_EQ(r.ht_spc[4], 1.0);
    // Point 3 lies a third of the way from point 2 to point 5.
    EXPECT_DOUBLE_EQ(r.ht_spc[2], 2.0 / 3.0);
    EXPECT_EQ(r.numhts[2], 4);
    // Its first step (depth 2/3 m): the 2 m V holds 0.25 m2 there (between its
    // steps of 0.125 and 0.5 m2), the 4 m V 1/6 m2 (below its first step).
    EXPECT_NEAR(r.xarea[1][2], 1.0 / 6.0 + (0.25 - 1.0 / 6.0) * 2.0 / 3.0, 1e-12);
}

TEST_F(ChannelTest, DifferentPairCountsUseTheSmallerAndWarn) {
    const std::string sections =
        "NODE 2\nNPAIRS 4\nNUM_INTERP 2\nX1 0 2\nX1 1 0\nX1 2 2\nX1 3 2\n"
        "NODE 3\nNPAIRS 3\nNUM_INTERP 4\nX1 0 2\nX1 1 0\nX1 2 2\n";
    ASSERT_TRUE(read_channel(with_sections(sections))) << out_;
    EXPECT_NE(out_.find("which they are not for link 3.\n\n  ---> Disregarding the last 1 pairs of "
                        "the first cross-section. <---"),
              std::string::npos)
        << out_;
    EXPECT_NE(out_.find("Using the greater of the two number of interpolation points \nfor both "
                        "cross-section in link 3.\n"),
              std::string::npos)
        << out_;
    EXPECT_EQ(rs().numpairs[1], 3);
    EXPECT_EQ(rs().numhts[1], 4);
    EXPECT_DOUBLE_EQ(rs().ht_spc[1], 0.5);
}

TEST_F(ChannelTest, StepRangeIsCheckedOnlyOnFixedSections) {
    const std::string shallow = "NODE 1\nNPAIRS 3\nNUM_INTERP 10000\nX1 0 0.5\nX1 1 0\nX1 2 0.5\n";
    struct row {
        const char* what;
        std::string text;
        bool ok;
    };
    const row rows[] = {
        {"no steps", with_sections(replaced(shallow, "10000", "0")), false},
        {"too many steps", with_sections(replaced(shallow, "10000", "30001")), false},
        {"step of 0.00005 m", with_sections(shallow), false},
        {"step of 0.05 m", with_sections(replaced(shallow, "10000", "10")), true},
        {"erodible, step of 0.00005 m", with_sections(shallow, "BREAK_ERODE"), true},
    };
    for (const row& r : rows) {
        error_record = error_info{};
        EXPECT_EQ(read_channel(r.text), r.ok) << r.what << "\n" << out_;
    }
}

TEST_F(ChannelTest, ErodibleLinkGetsATableAndASectionPerPoint) {
    // Sections on points 2 and 4 of a 5-point erodible link; nodes between are
    // interpolated pair by pair, the others copy the nearest section.
    const std::string sections =
        "NODE 2\nNPAIRS 3\nNUM_INTERP 4\nX1 0 2\nX1 1 0\nX1 2 2\n"
        "NODE 4\nNPAIRS 3\nNUM_INTERP 8\nX1 0 4\nX1 2 0\nX1 4 4\n";
    ASSERT_TRUE(read_channel(with_sections(sections, "BREAKPOINT\nERODIBLE", 5))) << out_;
    run_state& r = rs();
    EXPECT_EQ(r.ltype[3], 10);
    EXPECT_EQ(r.bplink[3], 1);
    EXPECT_EQ(r.num_bp_erode_links, 1);
    EXPECT_EQ(r.num_xsec_tables, 5);
    for (int k = 1; k <= 5; ++k) {
        EXPECT_EQ(r.table_num[k][3], k);
        EXPECT_EQ(r.numhts[k], 4);   // the first section's steps and pairs
        EXPECT_EQ(r.numpairs[k], 3);
    }
    const auto& x = r.xbp_lnn[1];
    const auto& z = r.ybp_lnn[1];
    EXPECT_DOUBLE_EQ(z[1][1], 2.0);   // copy of point 2
    EXPECT_DOUBLE_EQ(x[3][3], 3.0);   // half way between stations 2 and 4
    EXPECT_DOUBLE_EQ(z[3][1], 3.0);   // half way between elevations 2 and 4
    EXPECT_DOUBLE_EQ(z[5][3], 4.0);   // copy of point 4
    EXPECT_DOUBLE_EQ(r.ht_spc[3], 3.0 / 4.0);
    EXPECT_DOUBLE_EQ(r.ht_spc[5], 1.0);
    EXPECT_DOUBLE_EQ(r.xtw[4][5], 4.0);   // top of the wide V: its full width
}

}  // namespace
