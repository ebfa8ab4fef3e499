// Map output at the map interval: timing of the first maps, per-time grid
// numbering under the card's folder, the depth of channel-lake cells, the
// incremental recharge, and the closing of the datasets.
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>
#include "output/map_output.h"
#include "output/output_setup.h"
#include "output_test_support.h"
#include "pluvo_test.h"

using output_test::run_state_owner;
using pluvo_test::file_exists;
using pluvo_test::read_file;
using pluvo_test::split_lines;
using pluvo_test::temp_dir;

namespace {

// Values of an ASCII grid file after its six header lines.
std::vector<double> grid_values(const std::string& path) {
    std::vector<std::string> lines = split_lines(read_file(path));
    std::vector<double> v;
    for (size_t i = 6; i < lines.size(); ++i) {
        std::istringstream in(lines[i]);
        double x = 0.0;
        while (in >> x) v.push_back(x);
    }
    return v;
}

// Passes first..last of the map output.
void run_map_passes(run_state& rs, int first, int last) {
    for (int s = first; s <= last; ++s) {
        rs.step = s;
        rs.elapsed_minutes = s * rs.dt / 60.0;
        write_map_output(rs);
    }
}

}  // namespace

TEST(MapOutput, PerTimeGridsFollowTheFirstStepAndAreNumberedUnderTheFolder) {
    temp_dir dir;
    run_state_owner owner;
    run_state& rs = *owner;
    output_test::set_small_grid(rs);
    rs.dt = 60.0;
    rs.map_write_steps = 2;
    rs.depth = 1;
    std::snprintf(rs.cards.depth, sizeof rs.cards.depth, "%s", dir.path().c_str());
    open_map_datasets(rs);
    for (int c = 1; c <= rs.GNUM; ++c) rs.ov_depth[c] = 0.01 * c;

    testing::internal::CaptureStdout();
    run_map_passes(rs, 0, 0);
    EXPECT_FALSE(file_exists(dir.file("depth.0001.asc")));   // nothing at the first pass
    run_map_passes(rs, 1, 23);                                // passes 1, 3, ..., 23
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(rs.map_file_number, 12);
    EXPECT_TRUE(file_exists(dir.file("depth.0001.asc")));
    EXPECT_TRUE(file_exists(dir.file("depth.0012.asc")));
    EXPECT_FALSE(file_exists(dir.file("depth.0013.asc")));
    EXPECT_EQ(grid_values(dir.file("depth.0012.asc")),
              (std::vector<double>{0.01, 0.02, 0.03, 0.04, 0.05, 0.06}));
}

TEST(MapOutput, ChannelLakeCellsShowLakeLevelMinusGround) {
    temp_dir dir;
    run_state_owner owner;
    run_state& rs = *owner;
    output_test::set_small_grid(rs);
    rs.dt = 60.0;
    rs.map_write_steps = 1;
    rs.depth = 1;
    std::snprintf(rs.cards.depth, sizeof rs.cards.depth, "%s/", dir.path().c_str());
    open_map_datasets(rs);
    rs.channel_lakes = 1;
    rs.lake_mask = {0, 0, 1, 1, 0, 0, 0};
    rs.lake_elev = {0.0, 101.75};
    rs.elevation[3] = 101.0;
    rs.ov_depth[1] = 0.5;
    rs.ov_depth[2] = 9.0;   // overwritten by the lake level
    testing::internal::CaptureStdout();
    run_map_passes(rs, 0, 1);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(grid_values(dir.file("depth.0001.asc")),
              (std::vector<double>{0.5, 1.75, 0.75, 0.0, 0.0, 0.0}));
}

TEST(MapOutput, SurfaceMoistureStemDependsOnTheFolderSeparator) {
    for (const std::string tail : {"", "/"}) {
        temp_dir dir;
        run_state_owner owner;
        run_state& rs = *owner;
        output_test::set_small_grid(rs);
        rs.map_write_steps = 1;
        rs.surf_moist = 1;
        rs.theta_all.assign(7, 0.3);
        std::snprintf(rs.cards.surf_moist, sizeof rs.cards.surf_moist, "%s%s", dir.path().c_str(),
                      tail.c_str());
        open_map_datasets(rs);
        testing::internal::CaptureStdout();
        run_map_passes(rs, 0, 1);
        testing::internal::GetCapturedStdout();
        EXPECT_TRUE(file_exists(dir.file(tail.empty() ? "smoist.0001.asc" : "surf.0001.asc"))) << tail;
    }
}

TEST(MapOutput, UnopenableGridStopsTheOutputWithItsMessage) {
    run_state_owner owner;
    run_state& rs = *owner;
    output_test::set_small_grid(rs);
    rs.map_write_steps = 1;
    rs.discharge = 1;
    std::snprintf(rs.cards.discharge, sizeof rs.cards.discharge, "%s", "/nonexistent_pluvo_folder");
    open_map_datasets(rs);
    testing::internal::CaptureStdout();
    run_map_passes(rs, 0, 1);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Can't open discharge map for writing: /nonexistent_pluvo_folder/discharge.0001.asc\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(error_record.code, kErrorPrinted);
}

TEST(MapOutput, DatasetsGetOneBlockPerOutputAndIncrementalRechargeStartsAtTheCumulative) {
    temp_dir dir;
    run_state_owner owner;
    run_state& rs = *owner;
    output_test::set_small_grid(rs);
    rs.dt = 60.0;
    rs.map_write_steps = 5;
    rs.settings.map_type = 1;
    rs.map_kind_dataset = 1;
    rs.gw_recharge_cum = rs.gw_recharge_inc = rs.discharge = 1;
    std::snprintf(rs.cards.gw_recharge_cum, sizeof rs.cards.gw_recharge_cum, "%s",
                  dir.file("cum.dat").c_str());
    std::snprintf(rs.cards.gw_recharge_inc, sizeof rs.cards.gw_recharge_inc, "%s",
                  dir.file("inc.dat").c_str());
    std::snprintf(rs.cards.discharge, sizeof rs.cards.discharge, "%s", dir.file("q.dat").c_str());
    open_map_datasets(rs);
    ASSERT_EQ(error_record.code, 0);
    rs.gw_recharge_depth.assign(7, 2.0);
    rs.ov_qx[1] = 6.0;
    rs.ov_qy[1] = 8.0;
    run_map_passes(rs, 0, 1);       // first output at pass 1
    rs.gw_recharge_depth.assign(7, 3.5);
    run_map_passes(rs, 2, 6);       // second output at pass 6
    close_map_datasets(rs);

    const std::vector<std::string> inc = split_lines(read_file(dir.file("inc.dat")));
    // 7 header lines, then per block "TS 1 t", 6 flags, 6 values; then ENDDS.
    ASSERT_EQ(inc.size(), 7u + 2 * 13 + 1);
    EXPECT_EQ(inc[7], "TS 1 1.000000");
    EXPECT_EQ(inc[14], "2.000000");                // first output: the cumulative value
    EXPECT_EQ(inc[20], "TS 1 6.000000");
    EXPECT_EQ(inc[27], "1.500000");                // then the change since the last output
    EXPECT_EQ(inc.back(), "ENDDS");
    const std::vector<std::string> q = split_lines(read_file(dir.file("q.dat")));
    EXPECT_EQ(q[14], "10.000000");                 // |(6, 8)| m3/s, not rescaled by the cell size
    EXPECT_EQ(q.back(), "ENDDS");
}

TEST(MapOutput, BinaryDatasetsCloseWithTheEndMark) {
    temp_dir dir;
    run_state_owner owner;
    run_state& rs = *owner;
    output_test::set_small_grid(rs);
    rs.map_write_steps = 1;
    rs.settings.map_type = 2;
    rs.map_kind_dataset = 1;
    rs.depth = 1;
    std::snprintf(rs.cards.depth, sizeof rs.cards.depth, "%s", dir.file("d.bin").c_str());
    open_map_datasets(rs);
    run_map_passes(rs, 0, 2);
    close_map_datasets(rs);
    const std::string bin = read_file(dir.file("d.bin"));
    const size_t block = 4 + 2 + 8 + 6 * 2 + 6 * 8;
    ASSERT_EQ(bin.size(), 100u + 2 * block + 4);
    EXPECT_EQ(bin.substr(bin.size() - 4), std::string("\xd2\0\0\0", 4));
}
