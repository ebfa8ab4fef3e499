// Channel set-up, the initial channel state and the network check files.
#include "channel_test_support.h"

#include "channel/network_checks.h"

namespace {

using chan_test::ChannelTest;
using chan_test::captured;
using chan_test::replaced;
using chan_test::three_link_file;

// Hotstart levels: 0.5 m of water on the trapezoid links, 1 m on the V link.
const char* const kHotstart =
    "1 1 104.0\n"
    "1 2 103.0\n"
    "1 3 102.0 9.5\n"
    "2 1 103.0\n"
    "2 2 102.0\n"
    "3 1 101.5\n"
    "3 2 100.5\n";

TEST_F(ChannelTest, InitialChannelVolumeSumsAreaTimesSpacing) {
    rs().chan_hotstart_read = 1;
    open_on(rs().chan_depth_hotstart_in_file, "start.dht", kHotstart);
    ASSERT_TRUE(set_up_channel(three_link_file())) << out_;
    run_state& r = rs();
    EXPECT_EQ(r.chan_active, 1);
    EXPECT_DOUBLE_EQ(r.area[3][1], 9.5);   // a fourth value is the area
    EXPECT_DOUBLE_EQ(r.area[2][1], 0.0);
    EXPECT_DOUBLE_EQ(r.chan_node_depth[1][1], 0.5);

    init_channel_state(r);
    ASSERT_EQ(error_record.stop, 0);
    EXPECT_EQ(r.chan_active, 1);   // the hotstart water keeps the channels active
    const double link1 = 3 * (2.0 + 1.5 * 0.5) * 0.5 * 10.0;
    const double link2 = 2 * (1.0 + 2.0 * 0.5) * 0.5 * 10.0;
    const double link3 = 2 * 0.5 * 20.0;   // the V holds 0.5 m2 at 1 m
    EXPECT_NEAR(r.vol_channel_init, link1 + link2 + link3, 1e-9);
    EXPECT_NEAR(r.area[3][1], (2.0 + 1.5 * 0.5) * 0.5, 1e-12);   // areas now from the levels
}

TEST_F(ChannelTest, HotstartLevelBelowTheBedStandsAtTheBed) {
    rs().chan_hotstart_read = 1;
    open_on(rs().chan_depth_hotstart_in_file, "start.dht",
            replaced(kHotstart, "2 2 102.0", "2 2 90.0"));
    ASSERT_TRUE(set_up_channel(three_link_file())) << out_;
    EXPECT_DOUBLE_EQ(rs().yp[2][2], rs().bel[2][2]);
    EXPECT_DOUBLE_EQ(rs().chan_node_depth[2][2], 0.0);
}

TEST_F(ChannelTest, ShortHotstartFileIsRefused) {
    rs().chan_hotstart_read = 1;
    open_on(rs().chan_depth_hotstart_in_file, "start.dht", replaced(kHotstart, "3 2 100.5\n", ""));
    EXPECT_FALSE(set_up_channel(three_link_file()));
    EXPECT_NE(out_.find("start.dht, line 7: the water level of node 2 of link 3 is missing"),
              std::string::npos)
        << out_;
}

TEST_F(ChannelTest, DryNetworkStartsInactiveWithNoWater) {
    ASSERT_TRUE(set_up_channel(three_link_file())) << out_;
    init_channel_state(rs());
    EXPECT_EQ(rs().chan_active, 0);
    EXPECT_EQ(rs().vol_channel_init, 0.0);
    EXPECT_EQ(rs().num_head_links, 2);
}

TEST_F(ChannelTest, StreamHeadBoundarySetsTheOutletNode) {
    ASSERT_TRUE(set_up_channel(three_link_file())) << out_;
    run_state& r = rs();
    r.head_bound = 1;
    r.bound_depth = 0.8;
    init_channel_state(r);
    ASSERT_EQ(error_record.stop, 0);
    EXPECT_EQ(r.chan_active, 1);
    EXPECT_DOUBLE_EQ(r.yp[2][3], r.bel[2][3] + 0.8);
    EXPECT_DOUBLE_EQ(r.chan_node_depth[2][3], 0.8);
    // Only the outlet node holds water: below the V's first step of 1 m.
    EXPECT_NEAR(r.vol_channel_init, 0.5 * std::pow(0.8, 5.0 / 3.0) * 20.0, 1e-9);

    // A head series that does not exist: code 127 with its name.
    r.bound_ts = 1;
    std::snprintf(r.files.bound_ts, sizeof(r.files.bound_ts), "%s", "outlet_stage");
    init_channel_state(r);
    EXPECT_EQ(error_record.code, 127);
    EXPECT_STREQ(error_record.what, "outlet_stage");
}

TEST_F(ChannelTest, CheckFilesListShortLinksAndHighBeds) {
    // Link 2 with two points has one node; the first stream cell (ground 100 m)
    // holds node 1 of link 1 (bed 103.5 m), the second node 3 of link 1 at its
    // own ground (101.5 m) and node 2 of link 3 (bed 99.5 m).
    std::string text = replaced(three_link_file(), "NODES 3\nTRAPEZOID", "NODES 2\nTRAPEZOID");
    text = replaced(text, "NODE 3\nELEV 101.0\n", "");
    rs().elevation[7] = 101.5;
    const std::string gst =
        "GRIDSTREAMFILE\nSTREAMCELLS 2\nNUMNODES 1\nNUMNODES 2\n"
        "CELLIJ 1 2\nLINKNODE 1 1 1.0\n"
        "CELLIJ 2 3\nLINKNODE 1 3 0.5\nLINKNODE 3 2 0.5\n";
    ASSERT_TRUE(set_up_channel(text, gst)) << out_;
    EXPECT_EQ(pluvo_test::read_file(dir_.file("short_links.out")), "Links with 1 node:\n2\n");
    EXPECT_EQ(pluvo_test::read_file(dir_.file("bad_thalweg.out")),
              "Problem    link    node    thalweg     cell    elev\n"
              "--> problem codes: 0=thalweg>cell elev, 1= difference <0.5, 2= difference<1.0, "
              "3=difference>3.5\n"
              "0        1       1   103.500000   2   100.000000\n");
    // The grid-stream cells know their grid positions.
    EXPECT_EQ(rs().gst_row[2][2], 2);
    EXPECT_EQ(rs().gst_col[2][2], 3);
    EXPECT_EQ(rs().gst_row[1][1], 1);
    EXPECT_EQ(rs().gst_col[1][1], 2);
    EXPECT_NE(out_.find("Setting up the grid-stream data... done.\n"), std::string::npos) << out_;
}

TEST_F(ChannelTest, CheckFilesWithoutFindingsHoldTheirHeadersOnly) {
    ASSERT_TRUE(set_up_channel(three_link_file())) << out_;
    EXPECT_EQ(pluvo_test::read_file(dir_.file("short_links.out")), "Links with 1 node:\n");
    EXPECT_EQ(pluvo_test::read_file(dir_.file("bad_thalweg.out")),
              "Problem    link    node    thalweg     cell    elev\n"
              "--> problem codes: 0=thalweg>cell elev, 1= difference <0.5, 2= difference<1.0, "
              "3=difference>3.5\n");
}

TEST_F(ChannelTest, NodeSpacingBelowATenthOfAMillimetreStops) {
    const std::string gst = "GRIDSTREAMFILE\nSTREAMCELLS 1\nNUMNODES 1\nCELLIJ 1 1\nLINKNODE 1 1 1.0\n";
    EXPECT_FALSE(set_up_channel(replaced(three_link_file(), "DX 20.0", "DX 0.00005"), gst));
    EXPECT_NE(out_.find("\nYour channel node spacing is 0.000050 in link 3\nYou must specify a "
                        "realistic value.  Program terminated.\n"),
              std::string::npos)
        << out_;
}

TEST_F(ChannelTest, SedimentWithoutErodibleTrapezoidLinksStops) {
    rs().channel_sediment = 1;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(set_up_channel(three_link_file()));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("does not contain any erodable trapezoidal links"), std::string::npos) << err;

    error_record = error_info{};
    rs().channel_sediment = 1;
    EXPECT_TRUE(set_up_channel(replaced(three_link_file(), "NODES 4\nTRAPEZOID", "NODES 4\nTRAP_ERODE")))
        << out_;
    EXPECT_EQ(rs().channel_sediment, 1);
}

TEST_F(ChannelTest, HydrographLocationsAreCheckedAgainstTheNetwork) {
    rs().in_hyd_location = 1;
    open_on(rs().hyd_location_file, "hyd.loc", "2\n3 2\n1 3\n");
    ASSERT_TRUE(set_up_channel(three_link_file())) << out_;
    EXPECT_EQ(rs().num_hyd_locations, 2);
    EXPECT_EQ(rs().hlink[1], 3);
    EXPECT_EQ(rs().hnode[2], 3);
}

TEST_F(ChannelTest, SetUpDoesNothingWithoutExplicitRouting) {
    setup_channel_network(rs());
    init_channel_state(rs());
    EXPECT_EQ(rs().links, 0);
    EXPECT_EQ(error_record.stop, 0);
}

TEST(CellConnect, FillsTheNodeOfEveryStreamCellAndRefusesCellsBeyondGnum) {
    int** mask = make_int_2d(3, 3);
    int k = 0;
    for (int r = 1; r <= 2; ++r)
        for (int c = 1; c <= 2; ++c) mask[r][c] = ++k;
    std::vector<int> link = {0, 1, 0, 2, 1}, node = {0, 2, 0, 1, 2};
    int_node_array con(4, 4, 0);
    EXPECT_EQ(cconnect(4, 2, 2, mask, link, node, con), 1);
    EXPECT_EQ(con[2][1], 4);   // cell 4 overwrites cell 1 for node 2 of link 1
    EXPECT_EQ(con[1][2], 3);

    mask[2][2] = 5;   // beyond the 4 cells
    const std::string out = captured([&] { EXPECT_EQ(cconnect(4, 2, 2, mask, link, node, con), 0); });
    EXPECT_NE(out.find("cell number 5 at row 2, column 2, outside the cells 1..4"), std::string::npos) << out;
    EXPECT_EQ(error_record.stop, 1);
    error_record = error_info{};
    free_block_2d(mask);
}

}  // namespace
