// Stream mapping tables and STREAM_MAP files: keyword recognition, the
// section search, the flat (max nodes + 1) x link + node layout, the stream
// map codes 115 to 118, map IDs outside the table, and the start-up check.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/error.h"
#include "core/file_object.h"
#include "input/stream_mapping.h"
#include "mapping_test_support.h"

namespace {

using mapping_test::id_row;
using mapping_test::lines;
using mapping_test::MappingTest;

// Network of the tests: link 1 with 3 nodes, link 2 with 2, link 3 with 4.
class StreamTest : public MappingTest {
protected:
    void SetUp() override {
        MappingTest::SetUp();
        rs().links = 3;
        rs().nx = {0, 3, 2, 4};
    }
    std::string table(const std::vector<std::string>& body) {
        std::vector<std::string> text = {"PLUVO_STREAM_INDEX_MAP_TABLES"};
        text.insert(text.end(), body.begin(), body.end());
        return write("stream.smt", lines(text));
    }
    static size_t at(int link, int node) { return stream_index(4, link, node); }
};

TEST(StreamKeywords, KindsAreRecognisedOverTheirFixedLengths) {
    struct kind_case {
        const char* line;
        int kind;
    };
    const kind_case cases[] = {
        {"ROUGHNESS Streams", kStreamRoughness}, {"NSM_N Streams", kStreamNitrogen},
        {"NSM_NOX Streams", kStreamNitrogen},    {"NSM_P Streams", kStreamPhosphorus},
        {"NSM_OTHER x", kStreamOther},           {"NSM_OT x", kStreamOther},
        {"NSM_C Streams", kStreamCarbon},        {"NUM_IDS 4", kStreamNumIds},
        {"ST_INDEX_MAP a b", kStreamIndexMap},   {"ST_INDEX_ANY a b", kStreamIndexMap},
        {"DISPERSION x", kStreamDispersion},     {"DISPE", kStreamDispersion},
        {"DISP x", 0},                           {"nsm_n x", 0},
    };
    for (const kind_case& c : cases) EXPECT_EQ(stream_table_kind(c.line), c.kind) << c.line;
    EXPECT_STREQ(stream_table_title(kStreamNitrogen), "NSM_N (Stream)");
    EXPECT_STREQ(stream_table_title(kStreamIndexMap), "ST_INDEX_MAP (Stream)");
    EXPECT_EQ(stream_values_per_id(kStreamNitrogen), 4);
    EXPECT_EQ(stream_values_per_id(kStreamCarbon), 2);
    EXPECT_EQ(stream_values_per_id(kStreamDispersion), 1);
    EXPECT_EQ(stream_values_per_id(kStreamNumIds), 0);
}

TEST_F(StreamTest, SectionSearchFollowsTheStreamIndexMapList) {
    struct search_case {
        const char* what;
        std::vector<std::string> body;
        int kind;
        int found;
        const char* map;
    };
    const search_case cases[] = {
        {"known map", {"ST_INDEX_MAP n.map Nutrients", "NSM_N Nutrients"}, kStreamNitrogen, 1, "n.map"},
        {"entries after a blank line are unknown",
         {"ST_INDEX_MAP n.map Nutrients", "", "ST_INDEX_MAP d.map Disp", "DISPERSION Disp"},
         kStreamDispersion, 0, ""},
        {"later entry of the same name wins",
         {"ST_INDEX_MAP old.map N", "ST_INDEX_MAP new.map N", "NSM_P N"}, kStreamPhosphorus, 1,
         "new.map"},
        {"file ending with the list", {"ST_INDEX_MAP n.map N"}, kStreamNitrogen, 0, ""},
        {"name differing in case", {"ST_INDEX_MAP n.map Nutrients", "NSM_C nutrients"},
         kStreamCarbon, 0, ""},
        {"section line of a single word", {"ST_INDEX_MAP n.map N", "NSM_C"}, kStreamCarbon, 0, ""},
    };
    for (const search_case& c : cases) {
        file_object f;
        ASSERT_TRUE(open_file_named(f, table(c.body).c_str(), "r"));
        std::string map = "stale";
        EXPECT_EQ(find_stream_table(f, c.kind, map), c.found) << c.what;
        EXPECT_EQ(map, c.map) << c.what;
        close_file_object(f);
    }
}

TEST_F(StreamTest, TableValuesReachEveryNodeOfALinkByItsMapId) {
    std::string map = write("n.map", "STREAM_MAP\nNLINKS 3\n3\n0\n1\n");
    std::string path = table({"ST_INDEX_MAP " + map + " Nutrients", "NSM_N Nutrients", "NUM_IDS 2",
                              "ID  no2 no3 nh4 on", id_row(1, "1 2 3 4"), id_row(3, "5 6 7 8")});
    std::vector<double> no2(20, -1.0), on;
    stream_outputs dest = {&no2, nullptr, nullptr, &on};
    std::string out = console([&] { EXPECT_EQ(read_stream_table(rs(), path.c_str(), kStreamNitrogen, dest), 1); });
    EXPECT_EQ(error_record.stop, 0) << out;
    ASSERT_EQ(no2.size(), 20u);   // (4 + 1) x (3 + 1)
    for (int j = 1; j <= 3; ++j) EXPECT_EQ(no2[at(1, j)], 5.0) << j;     // link 1: ID 3
    for (int j = 1; j <= 2; ++j) EXPECT_EQ(no2[at(2, j)], -1.0) << j;    // link 2: ID 0 keeps
    for (int j = 1; j <= 4; ++j) EXPECT_EQ(on[at(3, j)], 4.0) << j;      // link 3: ID 1
    EXPECT_EQ(no2[at(1, 4)], -1.0);   // beyond the link's nodes
    EXPECT_EQ(no2[at(2, 3)], -1.0);
    EXPECT_EQ(on.size(), 20u);

    // A table with IDs 1 and 3 only: a map ID of 2 gives 0.0.
    write("n.map", "STREAM_MAP\nNLINKS 3\n2 2 3\n");
    console([&] { EXPECT_EQ(read_stream_table(rs(), path.c_str(), kStreamNitrogen, dest), 1); });
    EXPECT_EQ(no2[at(1, 2)], 0.0);
    EXPECT_EQ(no2[at(3, 4)], 5.0);
}

TEST_F(StreamTest, FaultsOfTablesAndStreamMapsAreReported) {
    const std::string map_path = dir_.file("m.map");
    struct fault_case {
        const char* what;
        std::string map;          // stream map text ("" for no file)
        std::vector<std::string> body;
        std::string message;
    };
    const std::vector<std::string> body = {"ST_INDEX_MAP " + map_path + " S", "DISPERSION S",
                                           "NUM_IDS 2", "title", id_row(1, "0.5"), id_row(2, "0.7")};
    const fault_case cases[] = {
        {"stream map missing", "", body, "Unable to open stream map file " + map_path},
        {"wrong header", "STREAM MAP\nNLINKS 3\n1 1 1\n", body,
         "Stream map file does not use correct header (file: " + map_path + ")"},
        {"link count differs", "STREAM_MAP\nNLINKS 2\n1 1\n", body,
         "NLINKS or MAXNODES card in stream map file does not match channel input file (file: " +
             map_path + ")"},
        {"too few data points", "STREAM_MAP\nNLINKS 3\n1 1\n", body,
         "Check to make sure that the correct number of \ndata points exist for each link. (file: " +
             map_path + ")"},
        {"unreadable data point", "STREAM_MAP\nNLINKS 3\n1 x 1\n", body, "(file: " + map_path + ")"},
        {"map ID above the table", "STREAM_MAP\nNLINKS 3\n1 3 1\n", body,
         "stream map " + map_path + ", link 2: the ID 3 is outside 0 to 2"},
        {"negative map ID", "STREAM_MAP\nNLINKS 3\n1 1 -2\n", body, "link 3: the ID -2 is outside"},
        {"section missing", "STREAM_MAP\nNLINKS 3\n1 1 1\n", {"ST_INDEX_MAP " + map_path + " S"},
         "no entries found in table DISPERSION (Stream) (NUM_IDS is 0)"},
        {"NUM_IDS 0", "STREAM_MAP\nNLINKS 3\n1 1 1\n",
         {"ST_INDEX_MAP " + map_path + " S", "DISPERSION S", "NUM_IDS 0", "title"},
         "no entries found in table DISPERSION (Stream)"},
        {"row with too few values", "STREAM_MAP\nNLINKS 3\n1 1 1\n",
         {"ST_INDEX_MAP " + map_path + " S", "DISPERSION S", "NUM_IDS 1", "title", id_row(1, "")},
         "stream.smt, line 6: a row of the DISPERSION (Stream) table"},
    };
    for (const fault_case& c : cases) {
        error_record = error_info{};
        std::remove(map_path.c_str());
        if (!c.map.empty()) write("m.map", c.map);
        std::string path = table(c.body);
        std::vector<double> disp(20, -1.0);
        std::string out = console([&] {
            EXPECT_EQ(read_stream_table(rs(), path.c_str(), kStreamDispersion, {&disp}), 0) << c.what;
        });
        EXPECT_NE(out.find(c.message), std::string::npos) << c.what << ": " << out;
        EXPECT_EQ(error_record.stop, 1) << c.what;
        EXPECT_EQ(disp, std::vector<double>(20, -1.0)) << c.what;
    }
    error_record = error_info{};
    std::string out = console([&] {
        EXPECT_EQ(read_stream_table(rs(), dir_.file("none.smt").c_str(), kStreamDispersion, {}), 0);
    });
    EXPECT_NE(out.find("Unable to open Mapping Table file: " + dir_.file("none.smt")), std::string::npos);
}

TEST_F(StreamTest, StreamMapsReadValuesAndCheckTheirNetwork) {
    std::string map = write("v.map", "STREAM_MAP  anything\nNLINKS 3\n0.5\n1.5\n2.5\n");
    std::vector<double> values;
    EXPECT_EQ(read_stream_map(map.c_str(), 3, 4, rs().nx, values), 0);
    ASSERT_EQ(values.size(), 20u);
    EXPECT_EQ(values[at(1, 3)], 0.5);
    EXPECT_EQ(values[at(2, 1)], 1.5);
    EXPECT_EQ(values[at(3, 4)], 2.5);
    EXPECT_EQ(values[at(2, 3)], 0.0);

    struct map_case {
        const char* what;
        int links;
        int max_nodes;
        std::vector<int> nx;
        int result;
    };
    const map_case cases[] = {
        {"network of 12 links", 12, 4, std::vector<int>(13, 1), -3},
        {"node count above the largest", 3, 3, {0, 3, 2, 4}, -3},
        {"node counts missing", 3, 4, {0, 3}, -3},
        {"no links", 0, 4, {0}, -3},
    };
    for (const map_case& c : cases) {
        std::vector<double> v;
        EXPECT_EQ(read_stream_map(map.c_str(), c.links, c.max_nodes, c.nx, v), c.result) << c.what;
    }
    std::vector<int> ids;
    EXPECT_EQ(read_stream_map(map.c_str(), 3, 4, rs().nx, ids), -4);   // reals are no IDs
    EXPECT_EQ(read_stream_map(dir_.file("none.map").c_str(), 3, 4, rs().nx, ids), -1);
    EXPECT_EQ(stream_max_nodes(rs()), 4);
}

TEST_F(StreamTest, StartUpCheckPrintsOneLinePerTableAndStoresTheFlags) {
    std::string map = write("n.map", "STREAM_MAP\nNLINKS 3\n1 1 1\n");
    std::string path = table({"ST_INDEX_MAP " + map + " N", "ST_INDEX_MAP " + dir_.file("gone.map") + " G",
                              "NSM_C N", "NUM_IDS 1", "title", id_row(1, "1 2"), "NSM_OTH Missing",
                              "DISPERSION G", "NSM_P N"});
    int flags[kStreamTableFlags] = {-1, -1, -1, -1, -1, -1};
    std::string out = console([&] { check_stream_tables(path.c_str(), flags); });
    const std::string expected = "\nChecking stream mapping table file...\n"
                                 "  Roughness" + std::string(26, '.') + "N\n"
                                 "  NSM Nitrogen" + std::string(23, '.') + "N\n"
                                 "  NSM Phosphorus" + std::string(21, '.') + "Y\n"
                                 "  NSM Carbon" + std::string(25, '.') + "Y\n"
                                 "  NSM Other" + std::string(26, '.') + "N\n"
                                 "  Dispersion" + std::string(25, '.') + "N\n";
    // The file object's own line about the stream map that does not open is not part of the check.
    std::string check_lines;
    for (const std::string& l : pluvo_test::split_lines(out)) {
        if (l.rfind("Error getting new filename", 0) != 0) check_lines += l + "\n";
    }
    EXPECT_EQ(check_lines, expected);
    // Flags in the order roughness, nitrogen, phosphorus, other, carbon, dispersion.
    EXPECT_EQ(std::vector<int>(flags, flags + 6), (std::vector<int>{0, 0, 1, 0, 1, 0}));

    error_record = error_info{};
    int untouched[kStreamTableFlags] = {};
    out = console([&] { check_stream_tables(dir_.file("none.smt").c_str(), untouched); });
    EXPECT_NE(out.find("Unable to open Mapping Table file"), std::string::npos);
    EXPECT_EQ(out.find("Checking"), std::string::npos);
}

}  // namespace
