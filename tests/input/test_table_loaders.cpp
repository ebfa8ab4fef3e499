// Generic and process-specific mapping-table loaders: sections bound to the
// cells through index maps, the refusal of index maps and rows that would
// give cells wrong values, the time-series index, the start-up check, and the
// sediment, erosion, well, wetland, contaminant, soil and rating-curve tables.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/file_object.h"
#include "input/mapping_table.h"
#include "input/process_tables.h"
#include "input/table_loader.h"
#include "mapping_test_support.h"

namespace {

using mapping_test::id_row;
using mapping_test::lines;
using mapping_test::map_text;
using mapping_test::MappingTest;

// The grid of the fixture (3 x 4, cells 1..9) with one ID per position.
std::string index_map(const std::vector<std::string>& rows, int nrows = 3, int ncols = 4) {
    return map_text(nrows, ncols, rows);
}

class LoaderTest : public MappingTest {
protected:
    // A table with two sections bound to two index maps, a third section with
    // seven values per ID, and a TIME_SERIES_INDEX section.
    void SetUp() override {
        MappingTest::SetUp();
        land_ = write("land.idx", index_map({"-9999 1 2 -9999", "1 1 2 3", "99 3 3 2"}));
        soil_ = write("soil.idx", index_map({"0 4 4 0", "4 5 5 5", "0 4 5 4"}));
        table_ = write("table.cmt",
                       lines({"PLUVO_INDEX_MAP_TABLES",
                              "INDEX_MAP " + land_ + " Land use",
                              "INDEX_MAP \"" + soil_ + "\" \"Soil types\"",
                              "",
                              "ROUGHNESS Land use",
                              "NUM_IDS 3",
                              "ID    Description                                   Manning n",
                              id_row(1, "0.035", "Forest"),
                              id_row(2, "0.015", "Urban"),
                              id_row(3, "0.050", "Wetland"),
                              "RETENTION \"Soil types\"",
                              "NUM_IDS 2",
                              "ID  Description",
                              id_row(4, "2.5"),
                              id_row(5, "1.0"),
                              "GREEN_AMPT_INFILTRATION \"Soil types\"",
                              "NUM_IDS 2",
                              "ID  Kh  psi  phi  lambda  thr  ths  wilting",
                              id_row(4, "1 2 3 4 5 6 7"),
                              id_row(5, "11 12 13 14 15 16 17"),
                              "AREA_REDUCTION Land use",
                              "NUM_IDS 0",
                              "title",
                              "INTERCEPTION Nowhere",
                              "NUM_IDS 1",
                              "title",
                              id_row(1, "1 2")}));
    }

    // A table whose ROUGHNESS section is bound to `map_rows` (a 3 x 4 map
    // unless other dimensions are given) and holds `rows`.
    std::string roughness_table(const std::string& map_content,
                                const std::vector<std::string>& rows) {
        std::string map = write("r.idx", map_content);
        std::vector<std::string> text = {"PLUVO_INDEX_MAP_TABLES", "INDEX_MAP " + map + " Map",
                                         "ROUGHNESS Map", "NUM_IDS " + std::to_string(rows.size()),
                                         "ID title"};
        text.insert(text.end(), rows.begin(), rows.end());
        return write("rough.cmt", lines(text));
    }

    std::string land_, soil_, table_;
};

TEST_F(LoaderTest, TwoSectionsFillTheCellsThroughTheirIndexMaps) {
    std::vector<double> rough;
    std::vector<double> reten(10, -1.0);
    std::string out = console([&] {
        EXPECT_EQ(load_mapping_table(rs(), table_.c_str(), kSecRoughness, {&rough}), 1);
        EXPECT_EQ(load_mapping_table(rs(), table_.c_str(), kSecRetention, {&reten}), 1);
    });
    EXPECT_EQ(error_record.stop, 0) << out;
    // Land use by cell: 1 2 | 1 1 2 3 | 3 3 2; outside positions (-9999, 99) are ignored.
    EXPECT_EQ(rough, (std::vector<double>{0.0, 0.035, 0.015, 0.035, 0.035, 0.015, 0.050, 0.050,
                                          0.050, 0.015}));
    EXPECT_EQ(reten, (std::vector<double>{-1.0, 2.5, 2.5, 2.5, 1.0, 1.0, 1.0, 2.5, 1.0, 2.5}));
    // One category line per ID used inside the watershed, in increasing ID order.
    std::string land_lines = "In map " + land_ + " category 1 has 3 values\nIn map " + land_ +
                             " category 2 has 3 values\nIn map " + land_ +
                             " category 3 has 3 values\n";
    EXPECT_NE(out.find(land_lines), std::string::npos) << out;
    EXPECT_NE(out.find("In map " + soil_ + " category 4 has 5 values\nIn map " + soil_ +
                       " category 5 has 4 values\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("In map " + land_ + " category 4"), std::string::npos);
    EXPECT_EQ(rs().map_rows, 3);
    EXPECT_EQ(rs().map_cols, 4);
    EXPECT_DOUBLE_EQ(rs().map_north, 1000.0);
}

TEST_F(LoaderTest, SevenColumnsGoToTheirArraysAndAbsentArraysAreSkipped) {
    std::vector<double> a, b, c, e, f, g;
    mapping_outputs outs = {&a, &b, &c, nullptr, &e, &f, &g};
    console([&] { EXPECT_EQ(load_mapping_table(rs(), table_.c_str(), kSecGreenAmpt, outs), 1); });
    // Soil types by cell: 4 4 | 4 5 5 5 | 4 5 4.
    EXPECT_EQ(a[1], 1.0);
    EXPECT_EQ(a[4], 11.0);
    EXPECT_EQ(c[9], 3.0);
    EXPECT_EQ(e[5], 15.0);
    EXPECT_EQ(g[8], 17.0);
    EXPECT_EQ(g.size(), 10u);
}

TEST_F(LoaderTest, MissingOrEmptySectionsGiveCode66) {
    struct missing_case {
        const char* what;
        int code;
        const char* keyword;
    };
    const missing_case cases[] = {
        {"section absent", kSecEvapotranspiration, "EVAPOTRANSPIRATION"},
        {"NUM_IDS 0", kSecAreaReduction, "AREA_REDUCTION"},
        {"index map name not in the list", kSecInterception, "INTERCEPTION"},
    };
    for (const missing_case& c : cases) {
        error_record = error_info{};
        std::vector<double> out(10, 7.0);
        mapping_outputs outs = {&out, &out};
        std::string text = console([&] {
            EXPECT_EQ(load_mapping_table(rs(), table_.c_str(), c.code, outs), 0) << c.what;
        });
        EXPECT_NE(text.find(std::string("no entries found in table ") + c.keyword + " (NUM_IDS is 0)"),
                  std::string::npos) << c.what << ": " << text;
        EXPECT_EQ(error_record.stop, 1) << c.what;
        EXPECT_EQ(out, std::vector<double>(10, 7.0)) << c.what;
    }
}

TEST_F(LoaderTest, UnreadableFilesGiveCodes64And65) {
    std::vector<double> out;
    std::string text = console([&] {
        EXPECT_EQ(load_mapping_table(rs(), dir_.file("none.cmt").c_str(), kSecRoughness, {&out}), 0);
    });
    EXPECT_NE(text.find("Unable to open Mapping Table file: " + dir_.file("none.cmt")),
              std::string::npos) << text;

    error_record = error_info{};
    std::string table = write("t.cmt", lines({"PLUVO_INDEX_MAP_TABLES",
                                             "INDEX_MAP " + dir_.file("gone.idx") + " Map",
                                             "ROUGHNESS Map", "NUM_IDS 1", "title",
                                             id_row(1, "0.1")}));
    text = console([&] { EXPECT_EQ(load_mapping_table(rs(), table.c_str(), kSecRoughness, {&out}), 0); });
    EXPECT_NE(text.find("Unable to open index file " + dir_.file("gone.idx")), std::string::npos)
        << text;
    EXPECT_EQ(error_record.stop, 1);
}

// Index maps and rows that would give cells wrong values are refused, and no
// cell receives a value.
TEST_F(LoaderTest, FaultyIndexMapsAndRowsAreRefused) {
    const std::vector<std::string> rows = {id_row(1, "0.1"), id_row(2, "0.2")};
    struct fault_case {
        const char* what;
        std::string map;
        std::vector<std::string> rows;
        std::string message;
    };
    const fault_case cases[] = {
        {"ID 0 inside the watershed", index_map({"0 1 2 0", "1 0 2 2", "0 1 1 2"}), rows,
         "row 2, column 2 (cell 4): ID 0 inside the watershed"},
        {"ID above the largest table ID", index_map({"0 1 2 0", "1 1 3 2", "0 1 1 2"}), rows,
         "Index ID exceeds table limit, file: " + dir_.file("r.idx") + " [row 2:col 3]"},
        {"negative ID inside the watershed", index_map({"0 1 2 0", "1 1 2 2", "0 -1 1 2"}), rows,
         "row 3, column 2 (cell 7): the ID -1 is negative"},
        {"one row too many (values never read)",
         index_map({"0 1 x 0", "1 1 2 2", "0 1 1 2", "0 0 0 0"}, 4, 4), rows,
         "Incorrect number of rows in map: " + dir_.file("r.idx")},
        {"one column too many", index_map({"0 1 2 0 0", "1 1 2 2 0", "0 1 1 2 0"}, 3, 5), rows,
         "Incorrect number of columns in map: " + dir_.file("r.idx")},
        {"rows and columns differ", index_map({"0 1", "1 1"}, 2, 2), rows,
         "Incorrect number of rows and columns in map: " + dir_.file("r.idx")},
        {"map ending early", index_map({"0 1 2 0", "1 1 2 2", "0  1  1"}), rows,
         "r.idx, line 9: the file ends at this line, before row 3, column 4."},
        {"map too short for its header", index_map({"0 1 2 0", "1 1 2 2", "0 1 1"}), rows,
         "the 22 bytes after it hold at most 11 values."},
        {"value that is no integer", index_map({"0 1 2 0", "1 1.5 2 2", "0 1 1 2"}), rows,
         "r.idx, line 8, row 2, column 2: \"1.5\" is not an integer ID"},
        {"row with too few values", index_map({"0 1 2 0", "1 1 2 2", "0 1 1 2"}),
         {id_row(1, "0.1"), id_row(2, "")}, "rough.cmt, line 7: a row of the ROUGHNESS table"},
        {"table ID out of range", index_map({"0 1 2 0", "1 1 2 2", "0 1 1 2"}),
         {id_row(1, "0.1"), id_row(12000, "0.2")}, "ID 12000 of the ROUGHNESS table"},
    };
    for (const fault_case& c : cases) {
        error_record = error_info{};
        std::string table = roughness_table(c.map, c.rows);
        std::vector<double> out(10, 7.0);
        std::string text = console([&] {
            EXPECT_EQ(load_mapping_table(rs(), table.c_str(), kSecRoughness, {&out}), 0) << c.what;
        });
        EXPECT_NE(text.find(c.message), std::string::npos) << c.what << ": " << text;
        if (c.message.find("not an integer") == std::string::npos) {
            EXPECT_EQ(text.find("not an integer"), std::string::npos) << c.what;   // values unread
        }
        EXPECT_EQ(error_record.stop, 1) << c.what;
        EXPECT_EQ(error_record.code, 0) << c.what;   // reported at once
        EXPECT_EQ(out, std::vector<double>(10, 7.0)) << c.what;
    }
}

TEST_F(LoaderTest, ValuesFollowTheCellNumberOfTheMask) {
    // IDs above the largest and zeros outside the watershed are ignored; a map
    // ID without a table row gives 0; a later row of the same ID wins.
    std::string table = roughness_table(index_map({"77 3 1 -5", "1 1 3 2", "0 1 2 2"}),
                                        {id_row(1, "0.1"), id_row(3, "0.3"), id_row(1, "0.9")});
    std::vector<double> out;
    std::string text = console([&] {
        EXPECT_EQ(load_mapping_table(rs(), table.c_str(), kSecRoughness, {&out}), 1);
    });
    EXPECT_EQ(error_record.stop, 0) << text;
    EXPECT_EQ(out, (std::vector<double>{0.0, 0.3, 0.9, 0.9, 0.9, 0.3, 0.0, 0.9, 0.0, 0.0}));
}

TEST_F(LoaderTest, StartUpCheckPrintsOneDottedLinePerSection) {
    std::string table = write("check.cmt",
                              lines({"PLUVO_INDEX_MAP_TABLES", "INDEX_MAP " + land_ + " Land use",
                                     "INDEX_MAP " + dir_.file("gone.idx") + " Gone",
                                     "ROUGHNESS Land use", "NUM_IDS 1", "title", id_row(1, "1"),
                                     "RETENTION Gone", "NUM_IDS 1", "title", id_row(1, "1"),
                                     "SEDIMENTS", "NUM_SED 2", "WELL_TABLE Land use",
                                     "NSM_C Land use"}));
    int flags[kMappingSectionFlags];
    std::fill(flags, flags + kMappingSectionFlags, -1);
    std::string text = console([&] { check_mapping_tables(table.c_str(), flags); });
    EXPECT_EQ(text.rfind("\nChecking 2D grid mapping tables...\n", 0), 0u) << text;
    EXPECT_NE(text.find("  Roughness" + std::string(26, '.') + "Y\n"), std::string::npos);
    EXPECT_NE(text.find("  Retention" + std::string(26, '.') + "N\n"), std::string::npos);
    EXPECT_NE(text.find("  Sediments" + std::string(26, '.') + "Y\n"), std::string::npos);
    EXPECT_NE(text.find("  Contaminants" + std::string(23, '.') + "N\n"), std::string::npos);
    EXPECT_NE(text.find("  NSM Soil Koc" + std::string(23, '.') + "N\n"), std::string::npos);
    EXPECT_EQ(pluvo_test::count_of(text, "\n  "), 31);
    int expected[kMappingSectionFlags] = {-1};
    expected[1] = 1;    // Roughness
    expected[10] = 1;   // Sediments
    expected[15] = 1;   // Groundwater Wells
    expected[22] = 1;   // NSM Carbon
    for (int k = 1; k < kMappingSectionFlags; ++k) EXPECT_EQ(flags[k], expected[k] == 1 ? 1 : 0) << k;
    EXPECT_EQ(flags[0], -1);

    error_record = error_info{};
    text = console([&] { check_mapping_tables(dir_.file("none.cmt").c_str(), flags); });
    EXPECT_NE(text.find("Unable to open Mapping Table file"), std::string::npos);
    EXPECT_EQ(text.find("Checking"), std::string::npos);
}

TEST_F(LoaderTest, StartUpCheckInOnePassFlagsWhatEachSectionSearchFinds) {
    // The start-up check reads the table once; every flag must be the one a
    // search for that section alone gives (first keyword line after the
    // index-map list, its map named in the list and there, counts of
    // sediments and contaminants on the next line).
    const std::string land = "INDEX_MAP " + land_ + " Land use";
    const std::string gone = "INDEX_MAP " + dir_.file("gone.idx") + " Gone";
    const std::vector<std::vector<std::string>> tables = {
        {"PLUVO_INDEX_MAP_TABLES", land, gone, "ROUGHNESS Gone", "ROUGHNESS Land use",
         "RETENTION Land use", "SEDIMENTS", "NUM_SED 0", "SEDIMENTS", "NUM_SED 2",
         "CONTAMINANTS", "NUM_CONTAM 1", "WELL_TABLE Nowhere"},
        {"PLUVO_INDEX_MAP_TABLES", land, "SEDIMENTS", "title", "NUM_SED 2", "CONTAMINANTS",
         "NSM_C Land use", "INDEX_MAP " + land_ + " Late", "INTERCEPTION Late"},
        {"PLUVO_INDEX_MAP_TABLES", land, gone},
        {"NOT_A_TABLE", land, "ROUGHNESS Land use", "SEDIMENTS", "NUM_SED 1"},
    };
    int count = 0;
    const mapping_check* checks = mapping_checks(&count);
    for (size_t t = 0; t < tables.size(); ++t) {
        SCOPED_TRACE("table " + std::to_string(t + 1));
        const std::string path = write("pass.cmt", lines(tables[t]));
        int flags[kMappingSectionFlags] = {};
        console([&] { check_mapping_tables(path.c_str(), flags); });
        file_object f;
        ASSERT_TRUE(open_file_named(f, path.c_str(), "r"));
        int set = 0;
        for (int i = 0; i < count; ++i) {
            int alone = -1;
            console([&] { check_mapping_section(alone, checks[i].code, f, checks[i].label); });
            EXPECT_EQ(flags[i + 1], alone) << checks[i].label;
            set += alone;
        }
        close_file_object(f);
        // The tables hold sections found and sections refused.
        if (t < 2) {
            EXPECT_GT(set, 0);
        }
        if (t == 0) {
            EXPECT_LT(set, 5);
        }
    }
}

TEST_F(LoaderTest, TimeSeriesIndexIsBuiltOnceByTheFirstLoad) {
    time_series* inflow = new_time_series();
    std::snprintf(inflow->name, sizeof inflow->name, "Inflow_north");
    time_series* other = new_time_series();
    std::snprintf(other->name, sizeof other->name, "Inflow_south");
    std::string table = roughness_table(index_map({"0 1 1 0", "1 1 1 1", "0 1 1 1"}),
                                        {id_row(1, "0.1")});
    pluvo_test::write_file(table, pluvo_test::read_file(table) +
                                      lines({"TIME_SERIES_INDEX", "NUM_IDS 2", "ID  name",
                                             "3     \"Inflow\"", "8     Missing"}));
    std::vector<double> out;
    std::string text = console([&] {
        EXPECT_EQ(load_mapping_table(rs(), table.c_str(), kSecRoughness, {&out}), 1);
        EXPECT_EQ(load_mapping_table(rs(), table.c_str(), kSecRoughness, {&out}), 1);
    });
    EXPECT_NE(text.find("Adding table to list: Inflow... Success!\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Adding table to list: Missing... Failure, table not found.\n"),
              std::string::npos);
    EXPECT_EQ(pluvo_test::count_of(text, "Adding table"), 2);   // built once per run
    EXPECT_EQ(rs().ts_index_built, 1);
    int entries = 0;
    for (time_series_index_entry* e = time_series_index; e != nullptr; e = e->next) {
        ++entries;
        if (e->id == 3) {
            EXPECT_EQ(e->series, inflow);   // the first series whose name begins so
        } else {
            EXPECT_EQ(e->id, 8);
            EXPECT_EQ(e->series, nullptr);
        }
    }
    EXPECT_EQ(entries, 2);
}

// --- Process-specific loaders ------------------------------------------------

TEST_F(LoaderTest, WetlandsAreNumberedInTheOrderOfTheMap) {
    std::string map = write("wet.idx", index_map({"0 5 9 0", "5 2 0 0", "0 0 0 0"}));
    std::string table = write("wet.cmt", lines({"PLUVO_INDEX_MAP_TABLES", "INDEX_MAP " + map + " Wet",
                                                "WETLAND_PROPERTIES Wet", "NUM_IDS 3", "title",
                                                id_row(2, "10 20 86.4 40 172.8 0.3 70"),
                                                id_row(5, "1 2 3 4 5 6 7"),
                                                id_row(9, "0 0 0 0 0 0.1 0")}));
    int count = 0;
    std::vector<wetland_record> records;
    std::vector<int> wmask;
    console([&] { EXPECT_EQ(load_wetland_table(rs(), table.c_str(), count, records, wmask), 1); });
    EXPECT_EQ(count, 3);
    EXPECT_EQ(wmask, (std::vector<int>{0, 1, 2, 1, 3, 0, 0, 0, 0, 0}));
    const wetland_record& w = records[3];   // ID 2
    EXPECT_DOUBLE_EQ(w.initial_depth, 0.010);
    EXPECT_DOUBLE_EQ(w.threshold_depth, 0.020);
    EXPECT_DOUBLE_EQ(w.linear_coef, 0.001);
    EXPECT_DOUBLE_EQ(w.transition_depth, 0.040);
    EXPECT_DOUBLE_EQ(w.transition_coef, 0.002);
    EXPECT_DOUBLE_EQ(w.spare, 0.0);
    EXPECT_DOUBLE_EQ(w.wetland_n, 0.3);
    EXPECT_DOUBLE_EQ(w.bed_lowering, 0.070);
    EXPECT_DOUBLE_EQ(records[1].wetland_n, 6.0);   // ID 5
    EXPECT_DOUBLE_EQ(records[2].wetland_n, 0.1);   // ID 9
}

TEST_F(LoaderTest, WetlandCountsAndIdsAreChecked) {
    struct wet_case {
        const char* what;
        std::string map;
        std::vector<std::string> rows;
        int result;
        std::string message;
    };
    const std::string seven = "1 1 1 1 1 1 1";
    const wet_case cases[] = {
        {"map with two IDs, table with three", index_map({"0 1 2 0", "1 0 0 0", "0 0 0 0"}),
         {id_row(1, seven), id_row(2, seven), id_row(3, seven)}, 0,
         "contains\n2 ID's, while the mapping table file contains 3 ID's."},
        {"map ID 301", index_map({"0 301 0 0", "0 0 0 0", "0 0 0 0"}), {id_row(301, seven)}, 0,
         "is over 300!"},
        {"map ID 300 accepted", index_map({"0 300 0 0", "0 0 0 0", "0 0 0 0"}),
         {id_row(300, seven)}, 1, ""},
    };
    for (const wet_case& c : cases) {
        error_record = error_info{};
        std::string map = write("w.idx", c.map);
        std::vector<std::string> text = {"PLUVO_INDEX_MAP_TABLES", "INDEX_MAP " + map + " W",
                                         "WETLAND_PROPERTIES W",
                                         "NUM_IDS " + std::to_string(c.rows.size()), "title"};
        text.insert(text.end(), c.rows.begin(), c.rows.end());
        std::string table = write("w.cmt", lines(text));
        int count = -1;
        std::vector<wetland_record> records;
        std::vector<int> wmask;
        std::string out = console([&] {
            EXPECT_EQ(load_wetland_table(rs(), table.c_str(), count, records, wmask), c.result)
                << c.what;
        });
        if (c.result == 0) {
            EXPECT_NE(out.find(c.message), std::string::npos) << c.what << ": " << out;
            EXPECT_EQ(count, -1) << c.what;
        } else {
            EXPECT_EQ(wmask[1], 1) << c.what;
        }
    }
}

TEST_F(LoaderTest, WellsComeFromTheTableAndTheirIndexMap) {
    std::string map = write("wells.idx", index_map({"0 4 0 0", "0 0 7 0", "0 0 0 0"}));
    std::string table = write("wells.cmt", lines({"PLUVO_INDEX_MAP_TABLES",
                                                  "INDEX_MAP " + map + " Wells", "WELL_TABLE Wells",
                                                  "NUM_IDS 2", "title", id_row(4, "0 0.5 9"),
                                                  id_row(7, "1 12.8 9")}));
    std::vector<well_record> wells;
    std::vector<int> ids;
    console([&] { EXPECT_EQ(load_well_table(rs(), table.c_str(), wells, ids), 1); });
    ASSERT_EQ(wells.size(), 2u);
    EXPECT_EQ(wells[0].id, 7);   // last row first
    EXPECT_EQ(wells[0].rate_source, 1);
    EXPECT_EQ(wells[0].series_id, 12);
    EXPECT_EQ(wells[0].rate, 0.0);
    EXPECT_EQ(wells[1].id, 4);
    EXPECT_EQ(wells[1].rate_source, 0);
    EXPECT_EQ(wells[1].rate, 0.5);
    EXPECT_EQ(wells[1].series_id, 0);
    EXPECT_EQ(ids, (std::vector<int>{0, 4, 0, 0, 0, 7, 0, 0, 0, 0}));

    error_record = error_info{};
    pluvo_test::write_file(table, lines({"PLUVO_INDEX_MAP_TABLES", "INDEX_MAP " + map + " Wells",
                                         "WELL_TABLE Wells", "NUM_IDS 2", "title",
                                         id_row(4, "0 0.5 9"), id_row(7, "1 1e12 9")}));
    std::string out = console([&] { EXPECT_EQ(load_well_table(rs(), table.c_str(), wells, ids), 0); });
    EXPECT_NE(out.find("well 7 of the WELL_TABLE is not a whole number in range"),
              std::string::npos) << out;
}

TEST_F(LoaderTest, SedimentClassesAndErosionProperties) {
    std::string desc40 = "Fine silt";
    desc40.resize(40, ' ');
    std::string map = write("soil.idx", index_map({"0 1 2 0", "1 1 2 2", "0 2 2 1"}));
    std::string table = write(
        "sed.cmt",
        lines({"PLUVO_INDEX_MAP_TABLES", "INDEX_MAP " + map + " Soil", "SEDIMENTS", "NUM_SED 2",
               "Description                              SG   D(mm)  fbind  file",
               desc40 + "2.65 0.01 0.5 \"silt out.txt\"", desc40 + "2.65, 0.5, 0.0, sand.txt",
               "SOIL_EROSION_PROPS Soil", "NUM_IDS 2", "NUM_SED 2", "title",
               id_row(1, "1 2 3 4 5 0.3 0.7"), id_row(2, "10 20 30 40 50 0.9 0.1")}));
    int classes = -1;
    std::vector<double> sg, pd, fb;
    std::vector<std::string> names;
    ASSERT_EQ(load_sediment_table(table.c_str(), classes, sg, pd, names, fb), 1);
    EXPECT_EQ(classes, 2);
    EXPECT_EQ(sg, (std::vector<double>{0.0, 2.65, 2.65}));
    EXPECT_EQ(pd, (std::vector<double>{0.0, 0.01, 0.5}));
    EXPECT_EQ(fb, (std::vector<double>{0.0, 0.5, 0.0}));
    EXPECT_EQ(names, (std::vector<std::string>{"", "silt out.txt", "sand.txt"}));

    std::vector<double> a, b, c, d, e;
    std::vector<std::vector<double>> fract;
    console([&] {
        EXPECT_EQ(load_erosion_table(rs(), table.c_str(), classes, {&a, &b, &c, &d, &e}, fract), 1);
    });
    // Soil IDs by cell: 1 2 | 1 1 2 2 | 2 2 1.
    EXPECT_EQ(a, (std::vector<double>{0, 1, 10, 1, 1, 10, 10, 10, 10, 1}));
    EXPECT_EQ(e[2], 50.0);
    ASSERT_EQ(fract.size(), 3u);
    EXPECT_EQ(fract[1], (std::vector<double>{0, 0.3, 0.9, 0.3, 0.3, 0.9, 0.9, 0.9, 0.9, 0.3}));
    EXPECT_EQ(fract[2][9], 0.7);

    // Three classes in the SEDIMENTS table against two in the erosion table: code 91 for the driver.
    error_record = error_info{};
    console([&] { EXPECT_EQ(load_erosion_table(rs(), table.c_str(), 3, {&a}, fract), 0); });
    EXPECT_EQ(error_record.code, 91);
    EXPECT_EQ(error_record.number1, 3);
    EXPECT_EQ(error_record.number2, 2);

    // A description running past character 40 spoils the row: it is refused.
    error_record = error_info{};
    pluvo_test::write_file(table, lines({"PLUVO_INDEX_MAP_TABLES", "SEDIMENTS", "NUM_SED 1", "title",
                                         "A description that runs past forty characters 2.65 0.01 "
                                         "0.5 out.txt"}));
    std::string out = console([&] {
        EXPECT_EQ(load_sediment_table(table.c_str(), classes, sg, pd, names, fb), 0);
    });
    EXPECT_EQ(classes, 0);
    EXPECT_NE(out.find("sed.cmt, line 5"), std::string::npos) << out;
    EXPECT_EQ(error_record.stop, 1);
}

TEST_F(LoaderTest, ContaminantBlocksFillOneRowPerContaminant) {
    std::string map_a = write("ca.idx", index_map({"0 1 2 0", "1 1 2 2", "0 1 1 1"}));
    std::string map_b = write("cb.idx", index_map({"0 3 3 0", "3 3 3 3", "0 3 3 3"}));
    std::string table = write(
        "con.cmt",
        lines({"PLUVO_INDEX_MAP_TABLES", "INDEX_MAP " + map_a + " \"Map A\"",
               "INDEX_MAP " + map_b + " \"Map B\"", "CONTAMINANT_TRANSPORT", "NUM_CONTAM 2",
               "\"Lead\"  \"Map A\"  \"lead.out\"", "PRECIP_CONC 0.25", "PARTITION 12",
               "NUM_IDS 2", "title", id_row(1, "1 2 3 4 5 6 7 8"), id_row(2, "11 12 13 14 15 16 17 18"),
               "\"Zinc tracer\" \"Map B\" \"zinc.out\"", "PRECIP_CONC 0.5", "NUM_IDS 1", "title",
               id_row(3, "21 22 23 24 25 26 27 28")}));
    int count = 0;
    contaminant_outputs outs = run_contaminant_outputs(rs());
    std::string out = console([&] { EXPECT_EQ(load_contaminant_table(rs(), table.c_str(), count, outs), 1); });
    EXPECT_EQ(error_record.stop, 0) << out;
    EXPECT_EQ(count, 2);
    EXPECT_NE(out.find("\nReading contaminant table...  2 contaminants found\n"), std::string::npos);
    EXPECT_NE(out.find("  Checking Lead" + std::string(31, '.') + "In map " + map_a),
              std::string::npos) << out;
    EXPECT_EQ(pluvo_test::count_of(out, "found and read index map\n"), 2);
    EXPECT_EQ(rs().contamdescriptions[2], "Zinc tracer");
    EXPECT_EQ(rs().contamoutputfilenames[1], "lead.out");
    EXPECT_EQ(rs().indexmapfilenames[2], map_b);
    EXPECT_EQ(rs().precip_conc[1], 0.25);
    EXPECT_EQ(rs().precip_conc[2], 0.5);
    // The second block has no PARTITION line: its Kd is 0 and its table is still read.
    EXPECT_EQ(rs().water_soil_partition_coef[1], 12.0);
    EXPECT_EQ(rs().water_soil_partition_coef[2], 0.0);
    EXPECT_EQ(rs().contam_disp_coef.row(1)[2], 11.0);   // cell 2 has ID 2 in map A
    EXPECT_EQ(rs().contam_gw_conc.row(1)[9], 8.0);
    EXPECT_EQ(rs().contam_land_load.row(2)[5], 24.0);
    EXPECT_EQ(rs().contam_gw_conc.row(2)[1], 28.0);

    struct con_fault {
        const char* what;
        std::vector<std::string> block2;
        std::string message;
    };
    const con_fault faults[] = {
        {"unknown index map", {"\"Zinc\" \"Map C\" \"z.out\"", "PRECIP_CONC 1", "NUM_IDS 0"},
         "  Checking Zinc" + std::string(31, '.') + "unable to match index map\n"},
        {"missing PRECIP_CONC line", {"\"Zinc\" \"Map B\" \"z.out\"", "NUM_IDS 0"},
         "Error in reading the precip concentration of constituent #2\n"},
    };
    for (const con_fault& f : faults) {
        error_record = error_info{};
        std::vector<std::string> text = {"PLUVO_INDEX_MAP_TABLES", "INDEX_MAP " + map_b + " \"Map B\"",
                                         "CONTAMINANT_TRANSPORT", "NUM_CONTAM 2",
                                         "\"Lead\" \"Map B\" \"l.out\"", "PRECIP_CONC 1", "NUM_IDS 0"};
        text.insert(text.end(), f.block2.begin(), f.block2.end());
        pluvo_test::write_file(table, lines(text));
        out = console([&] { EXPECT_EQ(load_contaminant_table(rs(), table.c_str(), count, outs), 0); });
        EXPECT_NE(out.find(f.message), std::string::npos) << f.what << ": " << out;
        EXPECT_NE(out.find("Error reading the contaminant transport tables in the mapping table file."),
                  std::string::npos) << f.what;
        EXPECT_EQ(error_record.stop, 1) << f.what;
    }
}

// A PARTITION value that is not a finite number at least 0 stops the read
// naming the file, the line and the contaminant.
TEST_F(LoaderTest, PartitionCoefficientMustBeAFiniteNumberNotBelowZero) {
    std::string map = write("cb.idx", index_map({"0 3 3 0", "3 3 3 3", "0 3 3 3"}));
    contaminant_outputs outs = run_contaminant_outputs(rs());
    for (const char* value : {"-0.5", "nan", "inf", "1e999", "12x", ""}) {
        SCOPED_TRACE(value);
        error_record = error_info{};
        std::string table = write(
            "con.cmt", lines({"PLUVO_INDEX_MAP_TABLES", "INDEX_MAP " + map + " \"Map B\"",
                              "CONTAMINANT_TRANSPORT", "NUM_CONTAM 1",
                              "\"Lead\" \"Map B\" \"l.out\"", "PRECIP_CONC 1",
                              std::string("PARTITION ") + value, "NUM_IDS 0"}));
        int count = 0;
        std::string out = console([&] { EXPECT_EQ(load_contaminant_table(rs(), table.c_str(), count, outs), 0); });
        EXPECT_NE(out.find("Error: mapping table " + table + ", line 7: the PARTITION line of "
                           "contaminant 1 needs a finite number not below 0.\n"),
                  std::string::npos) << out;
        EXPECT_EQ(error_record.stop, 1);
    }
}

// A count that promises more contaminants than the file has lines is refused
// before the contaminants x cells destinations are sized.
TEST_F(LoaderTest, ContaminantCountBeyondTheFileIsRefused) {
    std::string map = write("cb.idx", index_map({"0 3 3 0", "3 3 3 3", "0 3 3 3"}));
    std::string table = write(
        "con.cmt", lines({"PLUVO_INDEX_MAP_TABLES", "INDEX_MAP " + map + " \"Map B\"",
                          "CONTAMINANT_TRANSPORT", "NUM_CONTAM 2000000000",
                          "\"Lead\" \"Map B\" \"l.out\"", "PRECIP_CONC 1", "NUM_IDS 0"}));
    int count = 7;
    contaminant_outputs outs = run_contaminant_outputs(rs());
    std::string out = console([&] { EXPECT_EQ(load_contaminant_table(rs(), table.c_str(), count, outs), 0); });
    EXPECT_NE(out.find("Error: mapping table " + table + ", line 4: NUM_CONTAM 2000000000 is more "
                       "than the 3 lines that follow it.\n"),
              std::string::npos) << out;
    EXPECT_EQ(count, 0);
    EXPECT_EQ(error_record.stop, 1);
}

TEST_F(LoaderTest, SoilSectionsReadTheirIndexMapThenHandTheTableOn) {
    std::string map = write("soils.idx", index_map({"0 3 3 0", "1 2 3 1", "0 2 2 1"}));
    std::string table = write("soil.cmt", lines({"PLUVO_INDEX_MAP_TABLES", "INDEX_MAP " + map + " Soils",
                                                 "RICHARDS_EQN_INFILTRATION_BROOKS Soils",
                                                 "NUM_SOILS 3", "MULTI_LAYER_SOIL Soils",
                                                 "NUM_SOILS 5"}));
    char name[1024] = "stale";
    richards_index_map_name(table.c_str(), 1, name, sizeof name);
    EXPECT_EQ(std::string(name), map);
    richards_index_map_name(table.c_str(), 2, name, sizeof name);
    EXPECT_STREQ(name, "");

    // The reader gets the table right after the keyword line.
    auto reader = [](file_object& f) {
        char line[100] = {};
        EXPECT_NE(std::fgets(line, sizeof line, f.handle), nullptr);
        return std::atoi(line + 10);
    };
    std::vector<int> soil;
    console([&] {
        EXPECT_EQ(load_richards_soil_table(rs(), table.c_str(), 1, soil, reader), 3);
        EXPECT_EQ(soil, (std::vector<int>{0, 3, 3, 1, 2, 3, 1, 2, 2, 1}));
        EXPECT_EQ(load_multilayer_soil_table(rs(), table.c_str(), soil, reader), 5);
    });
    // Havercamp section absent: code 132 set for the driver, no reader call.
    error_record = error_info{};
    bool called = false;
    EXPECT_EQ(load_richards_soil_table(rs(), table.c_str(), 2, soil,
                                       [&](file_object&) { called = true; return 1; }), -1);
    EXPECT_EQ(error_record.code, 132);
    EXPECT_FALSE(called);
    // A soil ID 0 inside the watershed is refused.
    error_record = error_info{};
    pluvo_test::write_file(map, index_map({"0 3 3 0", "1 0 3 1", "0 2 2 1"}));
    std::string out = console([&] {
        EXPECT_EQ(load_multilayer_soil_table(rs(), table.c_str(), soil, reader), -1);
    });
    EXPECT_NE(out.find("row 2, column 2 (cell 4): the soil ID 0 is outside 1 to 9999"),
              std::string::npos) << out;
}

TEST_F(LoaderTest, RatingCurvesBindElevationSeriesToBoundaryCells) {
    elevation_series* curve = new_elevation_series();
    std::snprintf(curve->name, sizeof curve->name, "Weir_crest");
    std::string table = write("rc.cmt", lines({"PLUVO_INDEX_MAP_TABLES", "RATINGCURVES", "NUM_IDS 2",
                                               "ID  series", "3     \"Weir\"", "5     Nothing"}));
    std::vector<int> type = {0, 0, 6, 0, 1, 0, 0, 0, 0, 0};
    std::vector<double> value = {0, 0, 3.7, 0, 5, 0, 0, 0, 0, 0};
    std::vector<ov_boundary_record> records;
    EXPECT_EQ(load_rating_curves(table.c_str(), type, value, 9, records), 1);
    ASSERT_EQ(records.size(), 10u);
    EXPECT_EQ(records[2].rating_curve, curve);   // value 3.7 uses ID 3
    EXPECT_EQ(records[4].rating_curve, nullptr);

    type[4] = 7;   // ID 5 names a series that does not exist: code 86 for the driver
    EXPECT_EQ(load_rating_curves(table.c_str(), type, value, 9, records), 0);
    EXPECT_EQ(error_record.code, 86);
    EXPECT_EQ(error_record.stop, 1);
    EXPECT_EQ(records[2].rating_curve, curve);

    error_record = error_info{};
    value[4] = 4.0;   // no row has ID 4
    std::string out = console([&] {
        EXPECT_EQ(load_rating_curves(table.c_str(), type, value, 9, records), 0);
    });
    EXPECT_NE(out.find("no RATINGCURVES row has the ID 4 of the overland boundary of cell 4"),
              std::string::npos) << out;
}

}  // namespace
