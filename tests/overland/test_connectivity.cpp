// Neighbour arrays, bed slopes and the low-spot checks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "overland/connectivity.h"
#include "overland_grid.h"

namespace {

// 1 1 1 1     cells  1  2  3  4
// 1 0 1 1            5  .  6  7
// 1 1 1 0            8  9 10  .
const std::vector<std::string> kHoleMask = {"1111", "1011", "1110"};

TEST(CellConnectivity, NeighboursOfAMaskWithAHole) {
    overland_grid g(kHoleMask, 10.0);
    run_state& rs = *g.rs;
    std::fill(rs.rightcon.begin(), rs.rightcon.end(), -1);   // all overwritten
    build_cell_connectivity(rs);
    ASSERT_EQ(rs.GNUM, 10);
    //                            cell: 0  1  2  3  4  5  6  7  8  9 10
    const std::vector<int> right = {-1, 2, 3, 4, 0, 0, 7, 0, 9, 10, 0};
    const std::vector<int> left = {0, 0, 1, 2, 3, 0, 0, 6, 0, 8, 9};
    const std::vector<int> below = {0, 5, 0, 6, 7, 8, 10, 0, 0, 0, 0};
    const std::vector<int> above = {0, 0, 0, 0, 0, 1, 3, 4, 5, 0, 6};
    EXPECT_EQ(rs.rightcon, right);
    EXPECT_EQ(rs.leftcon, left);
    EXPECT_EQ(rs.belowcon, below);
    EXPECT_EQ(rs.abovecon, above);
    EXPECT_EQ(error_record.stop, 0);
}

TEST(CellConnectivity, SlopesFollowTheEdgeRules) {
    overland_grid g(kHoleMask, 10.0);
    run_state& rs = *g.rs;
    const std::vector<double> z = {0, 10, 9, 8.5, 7, 9.2, 7.7, 6.1, 8.0, 6.6, 5.0};
    rs.elevation = z;
    build_cell_connectivity(rs);
    compute_cell_slopes(rs);
    const auto& sx = rs.ov_slope_x;
    const auto& sy = rs.ov_slope_y;
    // x: towards the right neighbour, else the slope of the cell numbered one lower.
    EXPECT_DOUBLE_EQ(sx[1], (10 - 9) / 10.0);
    EXPECT_DOUBLE_EQ(sx[2], (9 - 8.5) / 10.0);
    EXPECT_DOUBLE_EQ(sx[3], (8.5 - 7) / 10.0);
    EXPECT_DOUBLE_EQ(sx[4], sx[3]);          // last column
    EXPECT_DOUBLE_EQ(sx[5], sx[4]);          // neither neighbour: the cell numbered one lower
    EXPECT_DOUBLE_EQ(sx[6], (7.7 - 6.1) / 10.0);
    EXPECT_DOUBLE_EQ(sx[7], sx[6]);
    EXPECT_DOUBLE_EQ(sx[8], (8.0 - 6.6) / 10.0);
    EXPECT_DOUBLE_EQ(sx[9], (6.6 - 5.0) / 10.0);
    EXPECT_DOUBLE_EQ(sx[10], sx[9]);
    // y: towards the lower neighbour; a bottom-edge cell takes the slope of the cell above.
    EXPECT_DOUBLE_EQ(sy[1], (10 - 9.2) / 10.0);
    EXPECT_DOUBLE_EQ(sy[2], 0.0);            // neither a lower nor an upper neighbour
    EXPECT_DOUBLE_EQ(sy[3], (8.5 - 7.7) / 10.0);
    EXPECT_DOUBLE_EQ(sy[4], (7 - 6.1) / 10.0);
    EXPECT_DOUBLE_EQ(sy[5], (9.2 - 8.0) / 10.0);
    EXPECT_DOUBLE_EQ(sy[6], (7.7 - 5.0) / 10.0);
    EXPECT_DOUBLE_EQ(sy[7], sy[4]);          // bottom edge below the hole
    EXPECT_DOUBLE_EQ(sy[8], sy[5]);
    EXPECT_DOUBLE_EQ(sy[9], 0.0);
    EXPECT_DOUBLE_EQ(sy[10], sy[6]);
}

TEST(CellConnectivity, OneCellWatershed) {
    overland_grid g({"010", "000"}, 30.0);
    run_state& rs = *g.rs;
    rs.elevation = {0, 12.0};
    build_cell_connectivity(rs);
    compute_cell_slopes(rs);
    ASSERT_EQ(rs.GNUM, 1);
    EXPECT_EQ(rs.rightcon[1] + rs.leftcon[1] + rs.belowcon[1] + rs.abovecon[1], 0);
    EXPECT_EQ(rs.ov_slope_x[1], 0.0);
    EXPECT_EQ(rs.ov_slope_y[1], 0.0);
}

// Low-spot checks on a 2 x 3 grid of cells 1 2 3 / 4 5 6 at elevation 10,
// with a dike between the columns 1 and 2 (cell 1 right side, cell 2 left
// side), between cells 1 and 4 (cell 1 bottom side, cell 4 top side) and on
// the right side of cell 5.
struct lowspot_case {
    const char* name;
    int row, col, direction;
    double width, crest;
    bool dike_card;       // the dike_map card is given
    bool ok;              // the check passes
    const char* message;  // a line the failure prints (null when it passes)
};

class LowSpotCheck : public ::testing::TestWithParam<lowspot_case> {};

TEST_P(LowSpotCheck, FirstFailureStopsTheRun) {
    const lowspot_case& c = GetParam();
    overland_grid g({"111", "111"}, 10.0);
    run_state& rs = *g.rs;
    rs.elevation = {0, 10, 10, 10, 10, 10, 10};
    rs.dike_map = c.dike_card ? 1 : 0;
    rs.lowspot_file = 1;
    std::snprintf(rs.files.lowspot_file, sizeof(rs.files.lowspot_file), "spots.txt");
    rs.dike_mask = {0, 2 | 4, 8, 0, 1, 2, 0};
    rs.num_lowspots = 1;
    rs.lowspot_records.assign(2, low_spot{});
    rs.lowspot_records[1] = low_spot{c.row, c.col, c.direction, c.width, c.crest, 5.0};
    testing::internal::CaptureStdout();
    build_cell_connectivity(rs);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(error_record.stop, c.ok ? 0 : 1) << out;
    if (c.message != nullptr) {
        EXPECT_NE(out.find(c.message), std::string::npos) << out;
    }
    if (c.ok) {
        EXPECT_EQ(rs.lowspot_records[1].discharge, 0.0);
    }
    EXPECT_EQ(rs.rightcon[1], 2);   // the neighbours are built in every case
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LowSpotCheck,
    ::testing::Values(
        lowspot_case{"right_face", 1, 1, 2, 1.0, 10.5, true, true, nullptr},
        lowspot_case{"width_zero", 1, 1, 2, 0.0, 10.5, true, true, nullptr},
        lowspot_case{"width_limit", 1, 1, 2, 1.5, 10.5, true, true, nullptr},
        lowspot_case{"width_above_limit", 1, 1, 2, 1.5000001, 10.5, true, false,
                     "is unreasonable, with a value of"},
        lowspot_case{"negative_width", 1, 1, 2, -0.1, 10.5, true, false, "is unreasonable"},
        lowspot_case{"bad_direction", 1, 1, 3, 1.0, 10.5, true, false,
                     "The only possible directions are: 1- top boundary, 2- right\n"},
        lowspot_case{"no_dike_at_cell", 1, 3, 8, 1.0, 10.5, true, false,
                     "There is no dike adjacent to this grid cell.  Program stopped.\n"},
        lowspot_case{"other_side_outside", 1, 2, 1, 1.0, 10.5, true, false,
                     "You have specified a low spot on the top boundary of the grid\n"},
        lowspot_case{"crest_equals_ground", 1, 1, 2, 1.0, 10.0, true, true, nullptr},
        lowspot_case{"crest_below_ground", 1, 1, 2, 1.0, 9.999, true, false,
                     "elevation of the grid cell, which is 10.000000 m.  This situation is "
                     "impossible.\n"},
        lowspot_case{"bottom_face", 1, 1, 4, 1.0, 10.5, true, true, nullptr},
        lowspot_case{"runs_along_the_dike", 2, 2, 1, 1.0, 10.5, true, false,
                     "cross the dike.  Rather, it runs _along_ the dike."},
        lowspot_case{"outside_the_grid", 7, 1, 2, 1.0, 10.5, true, false,
                     "does not lie on a grid cell inside the watershed"},
        // Without a dike map the position, direction, width and crest still count.
        lowspot_case{"no_dike_card", 1, 1, 2, 1.0, 10.5, false, true, nullptr},
        lowspot_case{"no_dike_card_off_grid", 9, 9, 3, 9.0, 0.0, false, false,
                     "does not lie on a grid cell inside the watershed"},
        lowspot_case{"no_dike_card_bad_direction", 1, 1, 3, 1.0, 10.5, false, false,
                     "The only possible directions are: 1- top boundary, 2- right\n"},
        lowspot_case{"no_dike_card_face_off_the_watershed", 1, 1, 1, 1.0, 10.5, false, false,
                     "but the cell on the other\nside is out of the watershed."},
        lowspot_case{"no_dike_card_crest_below_ground", 1, 1, 2, 1.0, 9.5, false, false,
                     "This situation is impossible."}),
    [](const ::testing::TestParamInfo<lowspot_case>& info) { return std::string(info.param.name); });

TEST(CellConnectivity, LowSpotOnTheRightWithTheNeighbourOutside) {
    overland_grid g({"110", "111"}, 10.0);
    run_state& rs = *g.rs;
    rs.elevation.assign(6, 10.0);
    rs.dike_map = 1;
    rs.lowspot_file = 1;
    rs.dike_mask = {0, 0, 2, 0, 0, 0};   // cell 2 marks its right side, outside the watershed
    rs.num_lowspots = 1;
    rs.lowspot_records.assign(2, low_spot{});
    rs.lowspot_records[1] = low_spot{1, 2, 2, 1.0, 11.0, 0.0};
    testing::internal::CaptureStdout();
    build_cell_connectivity(rs);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(error_record.stop, 1);
    EXPECT_NE(out.find("You have specified a low spot on the right boundary of the grid\n"
                       "cell at row 1 col 2."),
              std::string::npos)
        << out;
}

}  // namespace
