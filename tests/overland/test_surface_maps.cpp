// Start-up readers of the overland surface: retention, roughness, snow
// roughness, dike map and low-spot file.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/file_object.h"
#include "overland/lowspots.h"
#include "overland/surface_maps.h"
#include "overland_grid.h"
#include "pluvo_test.h"

namespace {

using pluvo_test::temp_dir;
using pluvo_test::write_file;

// A 3 x 3 map of the given rows (every position is a watershed cell).
std::string grid_map(const std::string& values) {
    return "north: 30\nsouth: 0\neast: 30\nwest: 0\nrows: 3\ncols: 3\n" + values;
}

void set_name(char* slot, const std::string& name) {
    std::snprintf(slot, kCardNameSize, "%s", name.c_str());
}

struct retention_case {
    const char* name;
    int mode;                 // 0 none, 1 map, 2 uniform card
    double expected_cell5;    // m
    double expected_all;      // retention_all: the one depth of every cell, m (-1: none)
};

class RetentionReader : public ::testing::TestWithParam<retention_case> {};

TEST_P(RetentionReader, MillimetresBecomeMetres) {
    const retention_case& c = GetParam();
    temp_dir dir;
    overland_grid g({"111", "111", "111"}, 10.0);
    run_state& rs = *g.rs;
    rs.retent_dep.assign(10, 7.0);   // every cell is overwritten
    if (c.mode == 1) {
        std::string path = dir.file("reten.map");
        write_file(path, grid_map("1 2 3\n4 25 6\n7 8 9\n"));
        set_name(rs.files.reten_depth, path);
        ASSERT_TRUE(open_file_named(rs.reten_depth_file, path.c_str(), "r"));
        rs.reten_depth = 1;
    } else if (c.mode == 2) {
        rs.retention = 1;
        rs.uniform_retention = 25.0;
    }
    testing::internal::CaptureStdout();
    read_retention_map(rs);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(error_record.stop, 0);
    EXPECT_DOUBLE_EQ(rs.retent_dep[5], c.expected_cell5);
    if (c.mode == 1) {
        EXPECT_DOUBLE_EQ(rs.retent_dep[1], 0.001);
    } else {
        EXPECT_DOUBLE_EQ(rs.retent_dep[9], c.expected_cell5);
    }
    EXPECT_FALSE(rs.reten_depth_file.is_open());
    EXPECT_EQ(rs.retention_all, c.expected_all);
}

INSTANTIATE_TEST_SUITE_P(Cases, RetentionReader,
                         ::testing::Values(retention_case{"map", 1, 0.025, -1.0},
                                           retention_case{"uniform", 2, 0.025, 0.025},
                                           retention_case{"none", 0, 0.0, 0.0}),
                         [](const ::testing::TestParamInfo<retention_case>& info) {
                             return std::string(info.param.name);
                         });

// Reads a 3 x 3 roughness map of the given rows through read_roughness_map
// into rs; returns the console text (empty when the map could not be opened).
std::string read_roughness_rows(run_state& rs, temp_dir& dir, const std::string& rows) {
    std::string path = dir.file("rough.map");
    write_file(path, grid_map(rows));
    set_name(rs.files.roughness, path);
    if (!open_file_named(rs.roughness_file, path.c_str(), "r")) {
        ADD_FAILURE() << "cannot open " << path;
        return "";
    }
    rs.roughness_given = 1;
    testing::internal::CaptureStdout();
    read_roughness_map(rs);
    return testing::internal::GetCapturedStdout();
}

TEST(RoughnessReader, FirstCellWithoutPositiveNStopsTheRun) {
    temp_dir dir;
    overland_grid g({"111", "111", "111"}, 10.0);
    run_state& rs = *g.rs;
    const std::string out =
        read_roughness_rows(rs, dir, "0.05 0.05 -0.02\n0.05 0.05 0.05\n0 0.05 0.05\n");
    EXPECT_NE(out.find("Overland Manning n=0 at grid cell 3.  Program terminating.\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(error_record.stop, 1);
}

TEST(RoughnessReader, MapValuesReachTheCells) {
    temp_dir dir;
    overland_grid g({"111", "111", "111"}, 10.0);
    run_state& rs = *g.rs;
    const std::string out =
        read_roughness_rows(rs, dir, "0.01 0.02 0.03\n0.04 0.05 0.06\n0.07 0.08 0.09\n");
    EXPECT_EQ(error_record.stop, 0) << out;
    EXPECT_DOUBLE_EQ(rs.dist_rough[1], 0.01);
    EXPECT_DOUBLE_EQ(rs.dist_rough[9], 0.09);
    EXPECT_EQ(rs.rough_all, 0.0);   // the cells differ
}

struct manning_case {
    double value;
    bool ok;
};

class UniformManning : public ::testing::TestWithParam<manning_case> {};

TEST_P(UniformManning, SmallestAcceptedValue) {
    overland_grid g({"11"}, 10.0);
    run_state& rs = *g.rs;
    rs.manning_n = GetParam().value;
    rs.manning_n_given = 1;
    testing::internal::CaptureStdout();
    read_roughness_map(rs);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(error_record.stop, GetParam().ok ? 0 : 1);
    if (GetParam().ok) {
        EXPECT_EQ(rs.dist_rough[2], GetParam().value);
        EXPECT_EQ(rs.rough_all, GetParam().value);   // one n for the whole run
    } else {
        EXPECT_NE(out.find("\nInvalid spatially uniform overland flow Manning n value="),
                  std::string::npos);
        EXPECT_NE(out.find("PLUVO exiting.\n"), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(Limits, UniformManning,
                         ::testing::Values(manning_case{1e-6, false}, manning_case{1.1e-6, true},
                                           manning_case{0.035, true}, manning_case{-0.03, false}));

// The card's one n is not the whole run's when snow or vegetation change the
// cells' n during the run.
TEST(UniformManning, NotOneValueWhenSnowOrVegetationChangeIt) {
    for (int way = 0; way < 2; ++way) {
        overland_grid g({"11"}, 10.0);
        run_state& rs = *g.rs;
        rs.manning_n = 0.035;
        rs.manning_n_given = 1;
        if (way == 0) rs.snow_roughness_on = 1;
        else rs.rough_from_vego_on = 1;
        testing::internal::CaptureStdout();
        read_roughness_map(rs);
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(rs.dist_rough[2], 0.035) << way;
        EXPECT_EQ(rs.rough_all, 0.0) << way;
    }
}

TEST(SnowRoughness, CopyKeptForSnowFreeCells) {
    overland_grid g({"111"}, 10.0);
    run_state& rs = *g.rs;
    rs.dist_rough = {0, 0.03, 0.04, 0.05};
    rs.snow_roughness_on = 1;
    rs.cards.snow_roughness = 0.2;
    copy_snow_roughness(rs);
    EXPECT_EQ(rs.snow_manning_n, 0.2);
    EXPECT_EQ(rs.dist_rough_copy, rs.dist_rough);
}

TEST(SnowRoughness, DarcyTurnsTheSnowManningLawOff) {
    overland_grid g({"111"}, 10.0);
    run_state& rs = *g.rs;
    rs.snow_roughness_on = 1;
    rs.snow_darcy_given = 1;
    testing::internal::CaptureStdout();
    copy_snow_roughness(rs);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out,
              "Both manning and darcy flow are turned on for when snow is present \n"
              "Turning off manning flow for when snow is present.  Darcy still turned on. \n");
    EXPECT_EQ(rs.snow_roughness_on, 0);
    EXPECT_TRUE(rs.dist_rough_copy.empty());
    EXPECT_EQ(error_record.stop, 0);
}

TEST(DikeMap, DikesAndLowSpotsAreRead) {
    temp_dir dir;
    overland_grid g({"111", "111", "111"}, 10.0);
    run_state& rs = *g.rs;
    std::string dikes = dir.file("dikes.map");
    std::string spots = dir.file("spots.txt");
    write_file(dikes, grid_map("0 2 8\n0 0 0\n4 1 0\n"));
    write_file(spots, "LOWSPOT\n# comment\nSPOT 1 2 2 0.5 101.25\nspots 9 9 9 9 9\n"
                      "spot 3 1 1 1.5 99\n");
    rs.dike_map = 1;
    rs.lowspot_file = 1;
    set_name(rs.files.dike_map, dikes);
    set_name(rs.files.lowspot_file, spots);
    testing::internal::CaptureStdout();
    read_dike_map(rs);
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(error_record.stop, 0);
    EXPECT_EQ(rs.dike_mask, (std::vector<int>{0, 0, 2, 8, 0, 0, 0, 4, 1, 0}));
    ASSERT_EQ(rs.num_lowspots, 2);
    const low_spot& a = rs.lowspot_records[1];
    EXPECT_EQ(a.row, 1);
    EXPECT_EQ(a.col, 2);
    EXPECT_EQ(a.direction, 2);
    EXPECT_EQ(a.width_fraction, 0.5);
    EXPECT_EQ(a.crest, 101.25);
    EXPECT_EQ(rs.lowspot_records[2].row, 3);
    EXPECT_EQ(rs.lowspot_records[2].width_fraction, 1.5);
}

TEST(DikeMap, MissingLowSpotFileIsNamed) {
    temp_dir dir;
    overland_grid g({"111", "111", "111"}, 10.0);
    run_state& rs = *g.rs;
    std::string dikes = dir.file("dikes.map");
    write_file(dikes, grid_map("0 0 0\n0 0 0\n0 0 0\n"));
    rs.dike_map = 1;
    rs.lowspot_file = 1;
    set_name(rs.files.dike_map, dikes);
    set_name(rs.files.lowspot_file, dir.file("nowhere.txt"));
    testing::internal::CaptureStdout();
    read_dike_map(rs);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Can't open input dike mask file named: " + dir.file("nowhere.txt")),
              std::string::npos)
        << out;
    EXPECT_EQ(error_record.stop, 1);
}

// A mapping table whose WETLAND_PROPERTIES row gives the wetland Manning n.
std::string wetland_table(const std::string& index_map, const std::string& n) {
    std::string row = "1";
    row.resize(86, ' ');   // ID in characters 1..6, free text up to character 86
    row += "100 50 24 200 48 " + n + " 10\n";
    return "PLUVO_INDEX_MAP_TABLES\nINDEX_MAP " + index_map + " WETLANDS\n"
           "WETLAND_PROPERTIES WETLANDS\nNUM_IDS 1\nID DESCRIPTION VALUES\n" + row;
}

TEST(WetlandMap, RecordsAndCellsFromTheTable) {
    temp_dir dir;
    overland_grid g({"111", "111", "111"}, 10.0);
    run_state& rs = *g.rs;
    write_file(dir.file("wet.idx"), grid_map("0 1 1\n0 0 1\n0 0 0\n"));
    write_file(dir.file("table.txt"), wetland_table(dir.file("wet.idx"), "0.1"));
    set_name(rs.files.mapping_table, dir.file("table.txt"));
    rs.wetlands = 1;
    testing::internal::CaptureStdout();
    read_wetland_map(rs);
    std::string out = testing::internal::GetCapturedStdout();
    ASSERT_EQ(error_record.stop, 0) << out;
    EXPECT_EQ(rs.wetland_count, 1);
    EXPECT_EQ(rs.wetland_mask, (std::vector<int>{0, 0, 1, 1, 0, 0, 1, 0, 0, 0}));
    const wetland_record& w = rs.wetland_records[1];
    EXPECT_DOUBLE_EQ(w.threshold_depth, 0.05);          // mm to m
    EXPECT_DOUBLE_EQ(w.linear_coef, 24.0 / 86400.0);    // per day to per second
    EXPECT_DOUBLE_EQ(w.wetland_n, 0.1);
}

TEST(WetlandMap, RoughnessMustBePositive) {
    temp_dir dir;
    overland_grid g({"111", "111", "111"}, 10.0);
    run_state& rs = *g.rs;
    write_file(dir.file("wet.idx"), grid_map("0 1 1\n0 0 1\n0 0 0\n"));
    write_file(dir.file("table.txt"), wetland_table(dir.file("wet.idx"), "0"));
    set_name(rs.files.mapping_table, dir.file("table.txt"));
    rs.wetlands = 1;
    testing::internal::CaptureStdout();
    read_wetland_map(rs);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Error: wetland 1 of the WETLAND_PROPERTIES table"), std::string::npos)
        << out;
    EXPECT_EQ(error_record.stop, 1);
}

struct lowspot_file_case {
    const char* name;
    const char* text;
    bool ok;
    int count;
    const char* message;   // on the standard error stream
};

class LowSpotFile : public ::testing::TestWithParam<lowspot_file_case> {};

TEST_P(LowSpotFile, Reader) {
    const lowspot_file_case& c = GetParam();
    error_record = error_info{};
    temp_dir dir;
    std::string path = dir.file("spots.txt");
    write_file(path, c.text);
    file_object f;
    ASSERT_TRUE(open_file_named(f, path.c_str(), "r"));
    int count = -1;
    std::vector<low_spot> records;
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    bool ok = read_lowspot_file(f, path.c_str(), count, records);
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr() + out;
    close_file_object(f);
    EXPECT_EQ(ok, c.ok) << err;
    EXPECT_EQ(error_record.stop, c.ok ? 0 : 1);
    if (c.ok) {
        EXPECT_EQ(count, c.count);
        EXPECT_EQ(records.size(), static_cast<size_t>(c.count) + 1);
    } else {
        EXPECT_EQ(count, -1);
        EXPECT_NE(err.find(c.message), std::string::npos) << err;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LowSpotFile,
    ::testing::Values(
        lowspot_file_case{"short_card_word", "LOW\nSPOT 1 1 2 1.0 10.5\n", true, 1, nullptr},
        lowspot_file_case{"spots_is_no_spot_card", "lowspot\nSPOTS 1 1 2 1 1\nSpot 2 2 4 1 3\n",
                          true, 1, nullptr},
        lowspot_file_case{"wrong_first_card", "DIKES\nSPOT 1 1 2 1.0 10.5\n", false, 0,
                          "does not start with the LOWSPOT card.\n"
                          "The file format is invalid.  Program terminated.\n"},
        lowspot_file_case{"longer_first_word", "LOWSPOTS\nSPOT 1 1 2 1.0 10.5\n", false, 0,
                          "does not start with the LOWSPOT card"},
        lowspot_file_case{"no_spot_card", "LOWSPOT\n", false, 0,
                          "Premature end-of-file in the lowspot input file.\n"
                          "No SPOT cards encountered before end of file.\nProgram terminated.\n"},
        lowspot_file_case{"incomplete_spot_card", "LOWSPOT\nSPOT 1 1 2\n", false, 0,
                          ", line 2, card SPOT: the width fraction of low spot 1 is missing."},
        // A width or crest that is no number is refused, not read as 0.
        lowspot_file_case{"width_not_a_number", "LOWSPOT\n# gap\nSPOT 1 1 2 abc 10.5\n", false, 0,
                          ", line 3, card SPOT: the width fraction of low spot 1 \"abc\" is not "
                          "a number."},
        lowspot_file_case{"crest_is_a_name", "LOWSPOT\nSPOT 1 1 2 1.0 10.5\nSPOT 1 2 4 1.0 top\n",
                          false, 0,
                          ", line 3, card SPOT: the crest elevation of low spot 2 \"top\" is not "
                          "a number."},
        lowspot_file_case{"row_not_whole", "LOWSPOT\nSPOT 1.5 1 2 1.0 10.5\n", false, 0,
                          ", line 2, card SPOT: the row of low spot 1 \"1.5\" is not a number."}),
    [](const ::testing::TestParamInfo<lowspot_file_case>& info) {
        return std::string(info.param.name);
    });

TEST(LowSpotFile, SpotCardWord) {
    char a[] = "SPOT 1 2";
    char b[] = "spots 1 2";
    char c[] = "";
    EXPECT_EQ(is_spot_card(a), 0);
    EXPECT_STREQ(a, "1 2");
    EXPECT_EQ(is_spot_card(b), 1);
    EXPECT_STREQ(b, "1 2");
    EXPECT_EQ(is_spot_card(c), 1);
}

}  // namespace
