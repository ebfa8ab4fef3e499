// Channel-network lakes: cells taken and given back as the volume changes,
// evaporation, and point inputs that feed a lake.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "channel/chan_point_inputs.h"
#include "channel/channel_lakes.h"
#include "channel_test_support.h"

using namespace chan_test;

namespace {

// Three-link network whose link 2 is lake 1 with the given search pairs
// ("row col row col ...", at most ten pairs) and initial level.
std::string lake_network(const std::string& pairs, int npts, double initwse) {
    const std::string lake = "LAKE\nMINWSE 99.0\nINITWSE " + std::to_string(initwse) +
                             "\nMAXWSE 101.0\nNUMPTS " + std::to_string(npts) + "\n" + pairs +
                             "\n";
    std::string text = replaced(three_link_file(), "NODES 3\nTRAPEZOID\nMANNINGS_N 0.05\n",
                                "NODES 1\n" + lake);
    return replaced(text,
                    "XSEC\nBOTTOM_WIDTH 1.0\nSIDE_SLOPE 2.0\nNODE 2\nELEV 102.0\nNODE 3\nELEV "
                    "101.0\n",
                    "");
}

class LakeTest : public ChannelTest {
protected:
    // One row of six 10 m cells whose ground rises 0.1 m per cell from 100.0 m.
    void stepped_row() {
        set_grid(1, 6, 100.0);
        for (int c = 1; c <= 6; ++c) rs().elevation[c] = 100.0 + 0.1 * (c - 1);
        rs().ov_depth.assign(7, 0.0);
    }
    // Lake volume change of dv m3, then the lake update (console kept in out_).
    void change(double dv) {
        rs().lake_volume[1] += dv;
        out_ = captured([&] { update_lake_cells(rs()); });
    }
};

// Search cells at 100.0, 100.1, ... m; the lake starts at 100.05 m on the
// first cell. +50 m3: 5 m3 fill cell 1 to 100.1, 20 m3 fill cells 1-2 to
// 100.2, the last 25 m3 spread over 3 cells: 100.2 + 25/300 = 100.28333 m.
// Taking the 50 m3 away again brings back 100.05 m on one cell.
TEST_F(LakeTest, RisingLakeTakesCellsInSearchOrderAndGivesThemBackWhenFalling) {
    stepped_row();
    ASSERT_TRUE(read_channel(lake_network("1 1 1 2 1 3 1 4 1 5 1 6", 6, 100.05))) << out_;
    run_state& r = rs();
    ASSERT_EQ(r.lake_cells[1], 1);
    const double start = r.lake_volume[1];
    EXPECT_NEAR(start, 0.05 * 100.0, 1e-9);

    change(50.0);
    EXPECT_NEAR(r.lake_elev[1], 100.2 + 25.0 / 300.0, 1e-9);
    EXPECT_EQ(r.lake_cells[1], 3);
    EXPECT_DOUBLE_EQ(r.lake_area[1], 300.0);
    EXPECT_NEAR(r.lake_volume[1], start + 50.0, 1e-9);
    EXPECT_EQ(r.lake_mask[2], 1);
    EXPECT_EQ(r.lake_mask[3], 1);
    EXPECT_EQ(r.lake_mask[4], 0);
    EXPECT_EQ(r.new_flooded_grid[2], 1);
    EXPECT_NE(out_.find("Lake 1 is taking cell 3 with depth"), std::string::npos) << out_;

    change(-50.0);
    EXPECT_NEAR(r.lake_elev[1], 100.05, 1e-9);
    EXPECT_EQ(r.lake_cells[1], 1);
    EXPECT_EQ(r.lake_mask[2], 0);
    EXPECT_EQ(r.lake_mask[3], 0);
    EXPECT_EQ(r.new_flooded_grid[3], -1);
    EXPECT_NEAR(r.lake_volume[1], start, 1e-9);

    // No change: nothing moves, the flags are cleared.
    change(0.0);
    EXPECT_NEAR(r.lake_elev[1], 100.05, 1e-12);
    EXPECT_EQ(r.new_flooded_grid[3], 0);
}

TEST_F(LakeTest, TakenCellGivesItsSurfaceWaterAndSmallRisesTakeNoCell) {
    stepped_row();
    ASSERT_TRUE(read_channel(lake_network("1 1 1 2 1 3 1 4 1 5 1 6", 6, 100.05))) << out_;
    run_state& r = rs();
    r.ov_depth[2] = 0.05;   // 5 m3 on the second cell
    // Rising to 1e-8 m below the second cell's ground takes no cell.
    change(100.0 * (0.05 - 1e-8));
    EXPECT_EQ(r.lake_cells[1], 1);
    EXPECT_DOUBLE_EQ(r.ov_depth[2], 0.05);
    const double before = r.lake_volume[1];
    change(10.0);
    // The cell's 5 m3 joined the lake: 15 m3 over 2 cells above 100.1 m.
    EXPECT_EQ(r.lake_cells[1], 2);
    EXPECT_DOUBLE_EQ(r.ov_depth[2], 0.0);
    EXPECT_NEAR(r.lake_volume[1], before + 15.0, 1e-9);
    EXPECT_NEAR(r.lake_elev[1], 100.1 + (15.0 - 100.0 * 1e-8) / 200.0, 1e-9);
    EXPECT_NEAR(r.lake_in_dv[1], 5.0, 1e-12);
}

// Search order listing a dry cell (100.1 m) before the flooded one (100.0 m):
// the reader puts the flooded cell first, so a falling lake lowers its level
// on that cell instead of giving back a cell it never held.
TEST_F(LakeTest, CellsFloodedAtSetUpLeadTheSearchOrder) {
    stepped_row();
    ASSERT_TRUE(read_channel(lake_network("1 2 1 1 1 3", 3, 100.05))) << out_;
    run_state& r = rs();
    EXPECT_EQ(r.lake_search[1][2][1], 1);
    EXPECT_EQ(r.lake_search[1][2][2], 2);
    EXPECT_EQ(r.lake_search[1][2][3], 3);
    change(-2.0);
    EXPECT_NEAR(r.lake_elev[1], 100.03, 1e-9);
    EXPECT_EQ(r.lake_cells[1], 1);
    EXPECT_EQ(r.lake_mask[1], 1);
}

TEST_F(LakeTest, FallingBelowItsLastCellEmptiesTheLakeAtThatGround) {
    stepped_row();
    ASSERT_TRUE(read_channel(lake_network("1 1 1 2 1 3", 3, 100.05))) << out_;
    run_state& r = rs();
    change(-r.lake_volume[1]);
    EXPECT_EQ(r.lake_cells[1], 0);
    EXPECT_DOUBLE_EQ(r.lake_area[1], 0.0);
    EXPECT_NEAR(r.lake_elev[1], 100.0, 1e-12);
    EXPECT_NE(out_.find("Removing cell 1 from lake"), std::string::npos);
    // Filling again from no area: 5 m3 stand 0.05 m on the first cell.
    change(5.0);
    EXPECT_EQ(r.lake_cells[1], 1);
    EXPECT_NEAR(r.lake_elev[1], 100.05, 1e-9);
}

TEST_F(LakeTest, LakeReachingACellOfAnotherLakeStopsTheRun) {
    stepped_row();
    ASSERT_TRUE(read_channel(lake_network("1 1 1 2 1 3", 3, 100.05))) << out_;
    rs().lake_mask[2] = 2;   // another lake holds the next search cell
    change(50.0);
    EXPECT_EQ(error_record.stop, 1);
    EXPECT_NE(out_.find("Your lake has potentially merged with another lake"), std::string::npos);
}

// E = a^-0.05 x 1.69e-4 x (W x 86.4) x (1 - RH/100) x 6.11 exp(17.3 T / (T + 273.3)) / 24 x A / 100
// with a the area in km2; the level falls by E / A.
TEST_F(LakeTest, EvaporationTakesTheFormulaVolumeButNeverMoreThanTheLakeHolds) {
    stepped_row();
    rs().cell_size = 500.0;   // two cells of 0.25 km2: a = 0.5
    for (int c = 1; c <= 6; ++c) rs().elevation[c] = 100.0 + 10.0 * (c - 1);
    ASSERT_TRUE(read_channel(lake_network("1 1 1 2 1 3", 3, 100.0))) << out_;
    run_state& r = rs();
    r.elevation[2] = 100.0;
    r.lake_volume[1] = r.prevlake_volume[1] = 5.0e5;   // 1 m over both cells
    r.lake_elev[1] = 101.0;
    r.lake_cells[1] = 2;
    r.lake_area[1] = 5.0e5;
    const double W = 3.0, T = 20.0, RH = 50.0, A = 5.0e5;
    const double E = std::pow(0.5, -0.05) * 1.69e-4 * (W * 86.4) * 0.5 * 6.11 *
                     std::exp(17.3 * T / (T + 273.3)) / 24.0 * A / 100.0;
    out_ = captured([&] { lake_evaporation(r, W, T, RH); });
    EXPECT_NEAR(r.lake_volume[1], 5.0e5 - E, 1e-6);
    EXPECT_NEAR(r.vol_lake_evaporation, E, 1e-9);
    EXPECT_NEAR(r.cumulative_lake_evap[1], E, 1e-9);
    EXPECT_NEAR(r.lake_elev[1], 101.0 - E / A, 1e-9);

    // A lake holding less than E gives what it holds and ends empty.
    r.lake_volume[1] = r.prevlake_volume[1] = 1.0;
    r.lake_elev[1] = 100.0 + 1.0 / A;
    out_ = captured([&] { lake_evaporation(r, W, T, RH); });
    EXPECT_DOUBLE_EQ(r.lake_volume[1], 0.0);
    EXPECT_NEAR(r.vol_lake_evaporation, E + 1.0, 1e-9);

    // Air wetter than saturated, or a missing (non-numeric) value, puts no
    // water into the lake and takes none.
    r.lake_volume[1] = r.prevlake_volume[1] = 5.0e5;
    r.lake_elev[1] = 101.0;
    for (const double humidity : {100.0, 120.0, std::nan("")}) {
        out_ = captured([&] { lake_evaporation(r, W, T, humidity); });
        EXPECT_DOUBLE_EQ(r.lake_volume[1], 5.0e5) << humidity;
        EXPECT_NEAR(r.vol_lake_evaporation, E + 1.0, 1e-9) << humidity;
    }
}

// Points on the lake link feed the lake; a withdrawal stops at the lake's water.
TEST_F(LakeTest, PointInputsOnALakeLinkFeedAndDrainTheLake) {
    stepped_row();
    ASSERT_TRUE(read_channel(lake_network("1 1 1 2 1 3", 3, 100.05))) << out_;
    run_state& r = rs();
    r.chan_explic = 1;
    write("pts.txt", "NUMPT 2\nPOINT 1 2 0.5\nPOINT 1 2 -0.1\nNRPDS 1\nINPUT 2020 6 1 1 0\n"
                     "0.0\n-1.0\n");
    std::snprintf(r.files.chan_point_input, sizeof r.files.chan_point_input, "%s",
                  dir_.file("pts.txt").c_str());
    init_chan_point_inputs(r);
    ASSERT_EQ(error_record.stop, 0);
    ASSERT_EQ(r.chan_points_on, 1);
    EXPECT_EQ(chan_point_lake(r, 1, 2), 1);
    EXPECT_EQ(chan_point_lake(r, 1, 1), 0);   // a routed channel node
    const double v0 = r.lake_volume[1];
    apply_lake_point_inputs(r, 10.0);
    EXPECT_NEAR(r.lake_volume[1], v0 + 4.0, 1e-12);
    EXPECT_NEAR(r.vol_lake_point_sources, 5.0, 1e-12);
    EXPECT_NEAR(r.vol_lake_point_sinks, 1.0, 1e-12);

    r.time = julian_day(2020, 6, 1, 1, 0, 0.0);
    read_chan_point_inputs(r);
    EXPECT_EQ(r.chan_point_record, 1);
    EXPECT_EQ(r.chan_point_next, 0.0);
    const double held = r.lake_volume[1];
    apply_lake_point_inputs(r, 100.0);   // asks for 100 m3
    EXPECT_DOUBLE_EQ(r.lake_volume[1], 0.0);
    EXPECT_NEAR(r.vol_lake_point_sinks, 1.0 + held, 1e-9);
    EXPECT_NEAR(r.vol_lake_point_unmet, 100.0 - held, 1e-9);
}

}  // namespace
