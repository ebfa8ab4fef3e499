// Mapping-table file: keyword recognition, the section search with its
// INDEX_MAP list, count lines, headings, fixed-column ID rows, the PRECIP_CONC
// line, quoted fields, the checked ID table reader and the dotted check line.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/file_object.h"
#include "input/mapping_table.h"
#include "mapping_test_support.h"

namespace {

using mapping_test::id_row;
using mapping_test::lines;
using mapping_test::MappingTest;

class MappingFileTest : public MappingTest {
protected:
    // Opens a file written from `text` for reading.
    void open_text(file_object& f, const std::string& text) {
        std::string path = write("table.cmt", text);
        ASSERT_TRUE(open_file_named(f, path.c_str(), "r"));
    }
};

TEST(MappingKeywords, LinesAreRecognisedByTheirBeginningInTableOrder) {
    struct keyword_case {
        const char* line;
        int code;
    };
    const keyword_case cases[] = {
        {"ROUGHNESS Land use", kSecRoughness},
        {"ROUGHNESSES follow", kSecRoughness},           // trailing letters still count
        {"roughness Land use", 0},                       // case-sensitive
        {"GROUNDWATER_BOUNDARY Aquifer", kSecGroundwaterBoundary},   // not hidden by GROUNDWATER
        {"GROUNDWATER Aquifer", kSecGroundwater},
        {"RICHARDS_EQN_INFILTRAIION_HAVERCAMP Soils", kSecRichardsHavercamp},
        {"RICHARDS_EQN_INFILTRATION_HAVERCAMP Soils", 0},   // the correct spelling is no keyword
        {"RICHARDS_EQN_INFILTRATION_BROOKS Soils", kSecRichardsBrooks},
        {"NUM_IDS 3", kLineNumIds},
        {"NUM_SED 2", kLineNumSed},
        {"NUM_CONTAM 2", kLineNumContam},
        {"INDEX_MAP a.idx Land use", kLineIndexMap},
        {"NSM_SOIL_KOC Soils", kSecNsmSoilKoc},
        {"NSM_SOIL_KM Soils", kSecNsmSoilKm},
        {"PRECIP_CONC 1 2", kLinePrecipConc},
        {"MULTI_LAYER_SOIL Soils", kSecMultiLayer},
        {" ROUGHNESS", 0},                               // the keyword must start the line
        {"ID  description", 0},
        {"", 0},
    };
    for (const keyword_case& c : cases) {
        EXPECT_EQ(mapping_keyword_code(c.line), c.code) << c.line;
    }
}

TEST(MappingKeywords, NamesAndValueCountsComeFromOneTableEach) {
    struct name_case {
        int code;
        const char* name;
    };
    const name_case names[] = {
        {kSecRoughness, "ROUGHNESS"}, {kSecNsmSoilKm, "NSM_SOIL_KM"},
        {kSecNsmSoilKoc, "NSM_SOIL_KOC"}, {kLineNumIds, "NUM_IDS"},
        {kLinePartition, "PARTITION"}, {kSecRatingCurves, "untouched"},
        {kSecMultiLayer, "untouched"}, {999, "untouched"},
    };
    for (const name_case& c : names) {
        char text[40] = "untouched";
        mapping_keyword_name(c.code, text, sizeof text);
        EXPECT_STREQ(text, c.name) << c.code;
    }
    // Every section keyword of the table maps back to its own code.
    int count = 0;
    const mapping_keyword* table = mapping_keywords(&count);
    for (int i = 0; i < count; ++i) {
        EXPECT_EQ(mapping_keyword_code(table[i].keyword), table[i].code) << table[i].keyword;
    }
    const int expected[kLastSectionCode + 1] = {0, 1, 2, 1, 7, 1, 0, 0, 4, 0, 5, 8, 7, 0, 2, 1, 3,
                                                2, 1, 1, 4, 3, 2, 3, 1, 2, 5, 6, 4, 4, 2, 6, 6};
    for (int code = 0; code <= kLastSectionCode; ++code) {
        EXPECT_EQ(values_per_id(code), expected[code]) << code;
    }
    EXPECT_EQ(values_per_id(kSecMultiLayer), 0);
}

TEST_F(MappingFileTest, SectionSearchFollowsTheIndexMapList) {
    const std::string header = "PLUVO_INDEX_MAP_TABLES whatever follows\n";
    struct search_case {
        const char* what;
        std::string text;
        int code;
        int found;
        const char* map_file;
    };
    const search_case cases[] = {
        {"section naming a known map", header + "INDEX_MAP land.idx Land use\nROUGHNESS Land use\n",
         kSecRoughness, 1, "land.idx"},
        {"quoted file and quoted name",
         header + "INDEX_MAP \"my maps/soil.idx\" \"Soil map\"\nRETENTION \"Soil map\"\n",
         kSecRetention, 1, "my maps/soil.idx"},
        {"map name unknown to the list", header + "INDEX_MAP land.idx Land use\nROUGHNESS Soils\n",
         kSecRoughness, 0, ""},
        {"name differing in case only", header + "INDEX_MAP land.idx Land use\nROUGHNESS land use\n",
         kSecRoughness, 0, ""},
        {"section line of a single word", header + "INDEX_MAP land.idx S\nROUGHNESS\n",
         kSecRoughness, 0, ""},
        {"INDEX_MAP after an empty line is not listed",
         header + "INDEX_MAP land.idx Land use\n\nINDEX_MAP soil.idx Soils\nRETENTION Soils\n",
         kSecRetention, 0, ""},
        {"later line of the same name wins",
         header + "INDEX_MAP old.idx Land use\nINDEX_MAP new.idx Land use\nROUGHNESS Land use\n",
         kSecRoughness, 1, "new.idx"},
        {"file ending with an INDEX_MAP line", header + "INDEX_MAP land.idx Land use\n",
         kSecRoughness, 0, ""},
        {"other sections and rows are passed over",
         header + "INDEX_MAP land.idx Land use\nRETENTION Land use\nNUM_IDS 1\nID\n" +
             id_row(1, "0.002") + "\nROUGHNESS Land use\n",
         kSecRoughness, 1, "land.idx"},
        {"wrong header", "PLUVO_INDEX_MAP_TABLE\nINDEX_MAP land.idx Land use\nROUGHNESS Land use\n",
         kSecRoughness, 0, ""},
        {"missing TIME_SERIES_INDEX is found", header + "INDEX_MAP land.idx Land use\n",
         kSecTimeSeriesIndex, 1, ""},
        {"missing CONTAMINANT_TRANSPORT is found", header, kSecContaminants, 1, ""},
        {"Havercamp under its correct spelling",
         header + "INDEX_MAP soil.idx Soils\nRICHARDS_EQN_INFILTRATION_HAVERCAMP Soils\n",
         kSecRichardsHavercamp, 0, ""},
    };
    for (const search_case& c : cases) {
        file_object f;
        open_text(f, c.text);
        std::string map_file = "stale";
        EXPECT_EQ(find_mapping_section(f, c.code, map_file), c.found) << c.what;
        EXPECT_EQ(map_file, c.map_file) << c.what;
        close_file_object(f);
    }
}

TEST_F(MappingFileTest, CountLinesFollowTheKeywordLine) {
    file_object f;
    open_text(f, lines({"PLUVO_INDEX_MAP_TABLES", "INDEX_MAP land.idx Land use",
                        "SOIL_EROSION_PROPS Land use", "NUM_IDS 4", "NUM_SED 3",
                        "TIME_SERIES_INDEX", "NUM_CONTAM 2"}));
    std::string map_file;
    ASSERT_EQ(find_mapping_section(f, kSecErosion, map_file), 1);
    EXPECT_EQ(read_num_ids(f), 4);
    EXPECT_EQ(read_num_sed(f), 3);
    EXPECT_EQ(read_num_ids(f), 0);      // a line of another keyword is consumed and gives 0
    EXPECT_EQ(read_num_contam(f), 2);
    EXPECT_EQ(read_num_contam(f), 0);   // end of file
    close_file_object(f);
}

TEST_F(MappingFileTest, HeadingSkipDropsKeywordLinesAndTheTitle) {
    file_object f;
    open_text(f, lines({"NUM_SED 2", "PRECIP_CONC 1", "ID   Description   Value", id_row(3, "0.5"),
                        "ROUGHNESS is the column title", id_row(4, "0.6"), id_row(5, "0.7")}));
    skip_table_heading(f);
    int id = 0;
    double v = 0.0;
    ASSERT_EQ(read_table_row(f, id, 1, &v), 1);
    EXPECT_EQ(id, 3);
    // A title that begins with a keyword is a keyword line: the next row is taken as the title.
    skip_table_heading(f);
    ASSERT_EQ(read_table_row(f, id, 1, &v), 1);
    EXPECT_EQ(id, 5);
    close_file_object(f);
}

TEST_F(MappingFileTest, IdRowsUseFixedColumns) {
    struct row_case {
        const char* what;
        std::string line;
        int k;
        int result;
        int id;
        std::vector<double> values;   // expected values[0..k-1] (initial value 9 where untouched)
    };
    std::string short_line = "7";
    short_line.resize(79, ' ');
    const row_case cases[] = {
        {"value at character 87", id_row(7, "0.035"), 1, 1, 7, {0.035}},
        {"value at character 80 is not seen", short_line + "0.035", 1, 0, 7, {9.0}},
        {"seven-digit ID: the seventh digit is description", "1234567" + id_row(0, "1").substr(7),
         1, 1, 123456, {1.0}},
        {"ID with blanks around it", "  12  " + id_row(0, "2.5 -3e-2").substr(6), 2, 1, 12,
         {2.5, -0.03}},
        {"values separated by tabs", id_row(2, "1\t2\t3"), 3, 1, 2, {1.0, 2.0, 3.0}},
        {"too few values: the gap ends the row", id_row(4, "1 2"), 3, 0, 4, {1.0, 2.0, 9.0}},
        {"unreadable value", id_row(4, "1 x 3"), 3, 0, 4, {1.0, 9.0, 9.0}},
        {"no ID in characters 1 to 6", "      " + id_row(8, "1").substr(6), 1, 0, 0, {9.0}},
        {"description text holding digits does not matter", id_row(9, "4", "ID 55 of 2024"), 1, 1,
         9, {4.0}},
    };
    for (const row_case& c : cases) {
        file_object f;
        open_text(f, c.line + "\n");
        int id = 0;
        std::vector<double> values(static_cast<size_t>(c.k), 9.0);
        EXPECT_EQ(read_table_row(f, id, c.k, values.data()), c.result) << c.what;
        if (c.result == 1 || c.id != 0) {
            EXPECT_EQ(id, c.id) << c.what;
        }
        for (int i = 0; i < c.k; ++i) {
            EXPECT_DOUBLE_EQ(values[static_cast<size_t>(i)], c.values[static_cast<size_t>(i)])
                << c.what;
        }
        close_file_object(f);
    }
}

TEST_F(MappingFileTest, PrecipConcValuesThatAreMissingOrNoNumbersAreRefused) {
    for (const char* line : {"PRECIP_CONC 1.5", "PRECIP_CONC 1.5 x", "PRECIP_CONC 1.5 -2"}) {
        SCOPED_TRACE(line);
        error_record = error_info{};
        file_object f;
        open_text(f, lines({"TABLE", line, "ID title"}));
        text_line keyword;
        read_line(keyword, f);   // the table's keyword line
        double values[3] = {0.0, -1.0, -1.0};
        const std::string out = console([&] { EXPECT_FALSE(read_precip_conc(f, 2, values)); });
        EXPECT_NE(out.find(", line 2, card PRECIP_CONC: the concentration 2 in rain "),
                  std::string::npos)
            << out;
        EXPECT_EQ(error_record.stop, 1);
        close_file_object(f);
    }
}

TEST_F(MappingFileTest, PrecipConcLineIsOptional) {
    file_object f;
    open_text(f, lines({"PRECIP_CONC 1.5 2.5", "ID title", id_row(1, "7"), "Title without it",
                        id_row(2, "8")}));
    double values[4] = {0.0, -1.0, -1.0, -1.0};
    EXPECT_TRUE(read_precip_conc(f, 2, values));
    EXPECT_DOUBLE_EQ(values[1], 1.5);
    EXPECT_DOUBLE_EQ(values[2], 2.5);
    EXPECT_DOUBLE_EQ(values[3], -1.0);
    int id = 0;
    double v = 0.0;
    ASSERT_EQ(read_table_row(f, id, 1, &v), 1);
    EXPECT_EQ(id, 1);
    double untouched[2] = {0.0, -1.0};
    read_precip_conc(f, 1, untouched);   // the line read is the column title
    EXPECT_DOUBLE_EQ(untouched[1], -1.0);
    ASSERT_EQ(read_table_row(f, id, 1, &v), 1);
    EXPECT_EQ(id, 2);
    close_file_object(f);
}

TEST(QuotedFields, FieldsArePeeledOffOneByOne) {
    char line[200] = "junk \"Lead tracer\" between \"Soil map\" x \"lead.out\" tail";
    char field[100];
    split_quoted_field(line, field, sizeof field);
    EXPECT_STREQ(field, "\"Lead tracer\"");
    EXPECT_STREQ(line, "\"Soil map\" x \"lead.out\" tail");
    remove_quotes(field);
    EXPECT_STREQ(field, "Lead tracer");
    split_quoted_field(line, field, sizeof field);
    EXPECT_STREQ(field, "\"Soil map\"");
    split_quoted_field(line, field, sizeof field);
    EXPECT_STREQ(field, "\"lead.out\"");
    EXPECT_STREQ(line, "");

    char bare[40] = "no quotes here";
    split_quoted_field(bare, field, sizeof field);
    EXPECT_STREQ(field, "\"");
    EXPECT_STREQ(bare, "");

    char small[8];
    char longer[60] = "\"a description far longer than the field\"";
    split_quoted_field(longer, small, sizeof small);   // cut, still closed and terminated
    EXPECT_EQ(std::strlen(small), 7u);
    EXPECT_EQ(small[6], '"');
}

TEST_F(MappingFileTest, IdTableRefusesIncompleteAndOutOfRangeRows) {
    struct table_case {
        const char* what;
        std::vector<std::string> rows;
        int n;
        const char* message;
    };
    const table_case cases[] = {
        {"row with too few values", {id_row(1, "1 2"), id_row(2, "3")}, 2, "line 2"},
        {"ID 0", {id_row(0, "1 2")}, 1, "ID 0 of the RETENTION table is outside 1 to 9999"},
        {"negative ID", {id_row(-3, "1 2")}, 1, "ID -3 of the RETENTION table is outside"},
        {"ID above 9999", {id_row(10000, "1 2")}, 1, "ID 10000 of the RETENTION table"},
        {"fewer rows than NUM_IDS", {id_row(1, "1 2")}, 2, "ends after 1 of its 2 ID rows"},
        {"value that is not a number", {id_row(1, "nan 2")}, 1, "is not a number"},
    };
    for (const table_case& c : cases) {
        error_record = error_info{};
        file_object f;
        open_text(f, lines(c.rows));
        id_table table;
        std::string out = console([&] { EXPECT_EQ(read_id_table(f, c.n, 2, "RETENTION", table), 0); });
        EXPECT_NE(out.find(c.message), std::string::npos) << c.what << ": " << out;
        EXPECT_NE(out.find("table.cmt"), std::string::npos) << c.what;
        EXPECT_EQ(error_record.stop, 1) << c.what;
        close_file_object(f);
    }
    error_record = error_info{};
    file_object f;
    open_text(f, lines({id_row(2, "1 2"), id_row(5, "3 4"), id_row(2, "5 6")}));
    id_table table;
    ASSERT_EQ(read_id_table(f, 3, 2, "RETENTION", table), 1);
    EXPECT_EQ(table.largest_id, 5);
    std::vector<double> by_id;
    ASSERT_TRUE(scatter_by_id(table, 2, table.largest_id, by_id));
    EXPECT_EQ(by_id, (std::vector<double>{0.0, 6.0, 0.0, 0.0, 4.0}));   // later row of ID 2 wins
    EXPECT_FALSE(scatter_by_id(table, 1, 4, by_id));                      // ID 5 beyond 4 slots
    EXPECT_EQ(by_id, (std::vector<double>(4, 0.0)));
    close_file_object(f);
}

TEST(CheckLine, LabelIsPaddedWithDotsTo35Characters) {
    struct line_case {
        const char* label;
        int present;
        std::string expected;
    };
    const line_case cases[] = {
        {"Roughness", 1, "  Roughness" + std::string(26, '.') + "Y\n"},
        {"NSM Carbon", 1, "  NSM Carbon" + std::string(25, '.') + "Y\n"},
        {"NSM Other", 0, "  NSM Other" + std::string(26, '.') + "N\n"},
        {"Multi layer G&A Infiltration", 0, "  Multi layer G&A Infiltration.......N\n"},
    };
    for (const line_case& c : cases) {
        testing::internal::CaptureStdout();
        print_check_line(c.label, c.present);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.expected);
    }
}

}  // namespace
