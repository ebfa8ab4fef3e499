// The grid map reader: header size checks, the four storage kinds, the zero
// warnings, category counts, replacement in real rows, and the refusal of
// bad input without writing outside the targets.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/alloc.h"
#include "core/file_object.h"
#include "grid_test_support.h"
#include "input/map_reader.h"
#include "input/replace.h"

namespace {

using grid_test::map_text;

// A mask grid [0..rows+1][0..cols+1] from rows of 0/1 values.
struct mask_grid {
    int** cells = nullptr;
    mask_grid(int rows, int cols, const std::vector<std::vector<int>>& values) {
        alloc_int_2d(cells, rows + 1, cols + 1, "mask");
        for (int i = 1; i <= rows; ++i)
            for (int j = 1; j <= cols; ++j) cells[i][j] = values[i - 1][j - 1];
    }
    ~mask_grid() { free_block_2d(cells); }
};

struct read_result {
    bool ok = false;
    std::string out;
    double north = -1, south = -1, east = -1, west = -1;
    int rows = -1, cols = -1;
};

class MapReaderTest : public grid_test::GridTest {
protected:
    // Reads `text` as a map of the given kind against a grid of 3 x 3.
    read_result read(const std::string& text, int kind, int** grid, std::vector<double>* first,
                     std::vector<double>* second, std::vector<int>* ids, int expected_rows = 3,
                     int expected_cols = 3) {
        path_ = write("test.map", text);
        read_result r;
        file_object f;
        EXPECT_TRUE(open_file_named(f, path_.c_str(), "r"));
        r.out = console([&] {
            r.ok = read_map_file(f, path_.c_str(), kind, r.north, r.south, r.east, r.west, r.rows,
                                 r.cols, grid, first, second, ids, expected_rows, expected_cols);
        });
        close_file_object(f);
        return r;
    }
    std::string path_;
};

// The plus-shaped mask of five cells.
const std::vector<std::vector<int>> kPlus = {{0, 1, 0}, {1, 1, 1}, {0, 1, 0}};

TEST_F(MapReaderTest, WrongSizeIsRefusedBeforeAnyValueIsRead) {
    struct size_case {
        int rows, cols;
        const char* message;
    } cases[] = {
        {2, 3, "Incorrect number of rows in map: "},
        {3, 4, "Incorrect number of columns in map: "},
        {4, 2, "Incorrect number of rows and columns in map: "},
    };
    for (const size_case& c : cases) {
        SCOPED_TRACE(c.message);
        error_record = error_info{};
        mask_grid grid(3, 3, {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}});
        std::vector<std::string> rows(static_cast<size_t>(c.rows), std::string("5 5 5 5"));
        read_result r = read(map_text(c.rows, c.cols, rows), kMapGridInts, grid.cells, nullptr,
                             nullptr, nullptr);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.out, std::string(c.message) + path_ + "\n" + grid_test::kReported);
        EXPECT_EQ(error_record.stop, 1);
        EXPECT_EQ(r.rows, c.rows);
        EXPECT_EQ(r.cols, c.cols);
        EXPECT_EQ(grid.cells[1][1], 0);   // nothing read
    }
}

TEST_F(MapReaderTest, HeaderValuesThatAreNoCountsOrNoNumbersAreRefusedNamingTheLine) {
    const std::string base = "north: 1\nsouth: 0\neast: 3\nwest: 0\n";
    const struct header_case {
        std::string text;
        const char* message;   // after "Error: map <path>, "
    } cases[] = {
        {map_text(0, 3, {}), "line 5: the number of rows 0 is outside its range: it must be at "
                             "least 1 and at most 46340."},
        {map_text(3, -2, {"1 1 1", "1 1 1", "1 1 1"}),
         "line 6: the number of columns -2 is outside its range"},
        {base + "rows: x\ncols: 3\n1 1 1\n", "line 5: the number of rows \"x\" is not a number."},
        {"north: 1\nsouth: 0\n", "line 3: the file ends inside its six header lines"},
        // 2^32 + 3 would wrap round to 3 as a plain int; 3.0 and 3x are no counts.
        {base + "rows: 4294967299\ncols: 3\n1 1 1\n",
         "line 5: the number of rows \"4294967299\" is outside the int range."},
        {base + "rows: 3.0\ncols: 3\n1 1 1\n", "line 5: the number of rows \"3.0\" is not a number."},
        {base + "rows: 3\ncols: 3x\n1 1 1\n", "line 6: the number of columns \"3x\" is not a number."},
        {base + "rows: 3\ncols:\n1 1 1\n", "line 6: the number of columns is missing."},
        {"north: 1\nsouth: abc\neast: 3\n", "line 2: the south edge \"abc\" is not a number."},
        {"north: nan\nsouth: 0\n", "line 1: the north edge \"nan\" is not finite."},
    };
    for (const header_case& c : cases) {
        SCOPED_TRACE(c.text);
        error_record = error_info{};
        mask_grid grid(3, 3, kPlus);
        read_result r = read(c.text, kMapGridInts, grid.cells, nullptr, nullptr, nullptr, 0, 3);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.out.rfind("Error: map " + path_ + ", " + c.message, 0), 0u) << r.out;
        EXPECT_EQ(error_record.stop, 1);
    }
}

TEST_F(MapReaderTest, HeaderValuesAndWordsArePositional) {
    mask_grid grid(3, 3, kPlus);
    read_result r = read("N 1005.5\nS 975.5\nEe 30\nW -0.5\nrr: 3\ncc: 3\n1 2 3\n4 5 6\n7 8 9\n",
                         kMapGridInts, grid.cells, nullptr, nullptr, nullptr);
    EXPECT_TRUE(r.ok);
    EXPECT_DOUBLE_EQ(r.north, 1005.5);
    EXPECT_DOUBLE_EQ(r.south, 975.5);
    EXPECT_DOUBLE_EQ(r.east, 30.0);
    EXPECT_DOUBLE_EQ(r.west, -0.5);
    EXPECT_EQ(grid.cells[3][3], 9);
}

TEST_F(MapReaderTest, RealKindsStoreMaskCellsInNumberingOrder) {
    const std::string text = map_text(3, 3, {"9 1.5 9", "2.5, 3.5\t4.5", "9 5.5 9"});
    struct kind_case {
        int kind;
        bool into_first;
    } cases[] = {{kMapCellReals, true}, {kMapSecondReals, false}};
    for (const kind_case& c : cases) {
        SCOPED_TRACE(c.kind);
        mask_grid grid(3, 3, kPlus);
        std::vector<double> first(6, -1.0);
        std::vector<double> second(6, -1.0);
        read_result r = read(text, c.kind, grid.cells, &first, &second, nullptr);
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(r.out, "");
        const std::vector<double>& filled = c.into_first ? first : second;
        const std::vector<double>& untouched = c.into_first ? second : first;
        EXPECT_EQ(filled, (std::vector<double>{-1.0, 1.5, 2.5, 3.5, 4.5, 5.5}));
        EXPECT_EQ(untouched, std::vector<double>(6, -1.0));
    }
}

// Rows are read whole: a map of 12,000 columns (rows of more than 100,000
// characters, as wide elevation models have) gives every value in its cell.
TEST_F(MapReaderTest, WideRowsAreReadWhole) {
    const int rows = 3;
    const int cols = 12000;
    auto value = [](int i, int j) { return i * 100000.0 + j + 0.25; };
    std::vector<std::string> lines;
    for (int i = 1; i <= rows; ++i) {
        std::string line;
        char number[32];
        for (int j = 1; j <= cols; ++j) {
            std::snprintf(number, sizeof number, j == 1 ? "%.2f" : " %.2f", value(i, j));
            line += number;
        }
        ASSERT_GT(line.size(), 100000u);
        lines.push_back(line);
    }
    mask_grid grid(rows, cols, std::vector<std::vector<int>>(rows, std::vector<int>(cols, 1)));
    std::vector<double> values(static_cast<size_t>(rows * cols) + 1, -1.0);
    read_result r = read(map_text(rows, cols, lines), kMapCellReals, grid.cells, &values, nullptr,
                         nullptr, rows, cols);
    ASSERT_TRUE(r.ok) << r.out.substr(0, 500);
    EXPECT_EQ(r.out, "");
    int wrong = 0;
    for (int i = 1; i <= rows; ++i)
        for (int j = 1; j <= cols; ++j)
            if (values[static_cast<size_t>((i - 1) * cols + j)] != value(i, j)) ++wrong;
    EXPECT_EQ(wrong, 0);
}

TEST_F(MapReaderTest, ZeroCellsAreCountedInsideTheMaskOnly) {
    mask_grid grid(3, 3, kPlus);
    std::vector<double> values(6, -1.0);
    // Outside the mask the values are not 0.
    read_result r = read(map_text(3, 3, {"7 0 7", "1 2 0", "7 3 7"}), kMapCellReals, grid.cells,
                         &values, nullptr, nullptr);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(values, (std::vector<double>{-1.0, 0.0, 1.0, 2.0, 0.0, 3.0}));
    EXPECT_EQ(r.out, "Warning: Map contains 2 cells with zero values. Map: " + path_ + "\n");
}

TEST_F(MapReaderTest, RealRowsMustHoldNumbersAndNoMoreValuesThanColumns) {
    struct row_case {
        const char* row2;       // second row of a 3 x 3 real map
        const char* message;    // expected start of the message, or null when read
    } cases[] = {
        {"1 abc 1", "line 8, row 2, column 2: the value \"abc\" is not a number."},
        {"1 2x 1", "line 8, row 2, column 2: the value \"2x\" is not a number."},
        // A decimal comma splits the numbers: the row has more values than columns.
        {"1,5 2,5 3,5", "line 8, row 2: the row holds more than 3 values (\"5\" follows"},
        {"1 2 3 4", "line 8, row 2: the row holds more than 3 values (\"4\" follows"},
        // A short row is refused: its missing values are not taken as 0.
        {"1          2", "line 8, row 2: the row holds 2 values for 3 columns."},
        {"1 2 3\r", nullptr},            // a line end of another system is accepted
        {"1e0 -2.5E+0 3", nullptr},
        // NaN and infinite values are no numbers a kernel can use.
        {"1e0 -2.5E+0 nan", "line 8, row 2, column 3: the value \"nan\" is not finite."},
        {"1 -inf 1", "line 8, row 2, column 2: the value \"-inf\" is not finite."},
        {"1 1e999 1", "line 8, row 2, column 2: the value \"1e999\" is not finite."},
    };
    for (const row_case& c : cases) {
        SCOPED_TRACE(c.row2);
        error_record = error_info{};
        mask_grid grid(3, 3, kPlus);
        std::vector<double> values(6, -1.0);
        read_result r = read(map_text(3, 3, {"1 1 1", c.row2, "1 1 1"}), kMapCellReals,
                             grid.cells, &values, nullptr, nullptr);
        if (c.message == nullptr) {
            EXPECT_TRUE(r.ok) << r.out;
            EXPECT_EQ(error_record.stop, 0);
            continue;
        }
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.out.rfind("Error: map " + path_ + ", " + c.message, 0), 0u) << r.out;
        EXPECT_EQ(error_record.stop, 1);
    }
}

// Real values are taken where they stand in the row; every form the token
// rules accept must give what strtod gives for the token alone, and the
// forms they refuse must still be refused.
TEST_F(MapReaderTest, RealTokensKeepTheTokenRules) {
    const std::string zeros(1020, '0');
    struct token_case {
        std::string row2;   // second row of a 3 x 3 real map
        double middle;      // value of the middle cell when read
        const char* refused;   // start of the expected message, or null when read
    } cases[] = {
        {"1 +2.5 1", 2.5, nullptr},
        {"1 0x1p3 1", 8.0, nullptr},
        {"1 \"4.5\" 1", 4.5, nullptr},             // a quoted token
        {"1,\t2.5\r 1", 2.5, nullptr},             // a carriage return ends the token
        {"1 \r2.5 1", 2.5, nullptr},               // strtod skips it in front
        {"1 1e-400 1", 0.0, nullptr},              // underflow is a finite 0
        {"1 4.9e-324 1", 4.9e-324, nullptr},       // the least subnormal
        // Only the first 1023 characters of a longer token count.
        {"1 0.5" + zeros + "x 1", 0.5, nullptr},
        {"1 1e 1", 0.0, "line 8, row 2, column 2: the value \"1e\" is not"},
        {"1 - 1", 0.0, "line 8, row 2, column 2: the value \"-\" is not"},
        {"1 . 1", 0.0, "line 8, row 2, column 2: the value \".\" is not"},
        {"1 \r 1", 0.0, "line 8, row 2, column 2: the value \"\r\" is not"},
        {"1 2.5\r\r 1", 0.0, "line 8, row 2, column 2: the value \"2.5\r\r\" is not"},
        {"1 Infinity 1", 0.0, "line 8, row 2, column 2: the value \"Infinity\" is not"},
        {"1 -NAN(1) 1", 0.0, "line 8, row 2, column 2: the value \"-NAN(1)\" is not"},
        {"1 0x1p99999 1", 0.0, "line 8, row 2, column 2: the value \"0x1p99999\" is not"},
    };
    for (const token_case& c : cases) {
        SCOPED_TRACE(c.row2.substr(0, 40));
        error_record = error_info{};
        mask_grid grid(3, 3, kPlus);
        std::vector<double> values(6, -1.0);
        read_result r = read(map_text(3, 3, {"1 1 1", c.row2, "1 1 1"}), kMapCellReals,
                             grid.cells, &values, nullptr, nullptr);
        if (c.refused == nullptr) {
            EXPECT_TRUE(r.ok) << r.out;
            EXPECT_EQ(values[3], c.middle);
            EXPECT_EQ(values[2], 1.0);
            EXPECT_EQ(values[4], 1.0);
            continue;
        }
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.out.rfind("Error: map " + path_ + ", " + c.refused, 0), 0u) << r.out;
        EXPECT_EQ(error_record.stop, 1);
    }
}

// Decimals of every length and exponent read to the same double as strtod
// gives, bit for bit: the fast path may not round differently.
TEST_F(MapReaderTest, RealValuesAreRoundedAsStrtodRoundsThem) {
    const int cols = 3000;
    std::vector<std::string> texts;
    std::string line;
    unsigned long long state = 12345;
    for (int j = 0; j < cols; ++j) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        const int digits = 1 + static_cast<int>((state >> 33) % 25);   // 1..25 digits
        const int exponent = static_cast<int>((state >> 20) % 630) - 330;   // -330..299
        std::string text = (state >> 60) % 2 == 0 ? "" : "-";
        unsigned long long d = state;
        for (int k = 0; k < digits; ++k) {
            d = d * 6364136223846793005ULL + 1442695040888963407ULL;
            text += static_cast<char>('0' + (d >> 59) % 10);
            if (k == 0) text += '.';
        }
        text += "e" + std::to_string(exponent);
        texts.push_back(text);
        line += (j > 0 ? " " : "") + text;
    }
    mask_grid grid(1, cols, {std::vector<int>(cols, 1)});
    std::vector<double> values(static_cast<size_t>(cols) + 1, -1.0);
    read_result r = read(map_text(1, cols, {line}), kMapCellReals, grid.cells, &values, nullptr,
                         nullptr, 1, cols);
    ASSERT_TRUE(r.ok) << r.out.substr(0, 300);
    int differing = 0;
    for (int j = 0; j < cols; ++j) {
        const double expected = std::strtod(texts[static_cast<size_t>(j)].c_str(), nullptr);
        if (std::memcmp(&expected, &values[static_cast<size_t>(j) + 1], sizeof expected) != 0)
            ++differing;
    }
    EXPECT_EQ(differing, 0);
}

// Integer maps take tokens between any white space, as "%s" of scanf does.
TEST_F(MapReaderTest, IntegerTokensKeepTheirRules) {
    struct int_case {
        std::string rows;        // the three rows of a 3 x 3 integer grid
        std::vector<int> row2;   // row 2 when read
        std::string refused;     // the refused token as shown, or empty when read
    } cases[] = {
        {"1 1 1\r\n+7\t-0\v0012\r\n1 1 1", {7, 0, 12}, ""},
        {"1 1 1\f-2147483648 2147483647 1 1 1 1", {INT_MIN, INT_MAX, 1}, ""},
        {"1 1 1 " + std::string(254, '0') + "5 3 1 1 1 1", {5, 3, 1}, ""},
        // A longer token is refused whole, not split into two values.
        {"1 1 1 1 " + std::string(255, '0') + "5 1 1 1 1", {}, std::string(63, '0')},
        {"1 1 1 1 2147483648 1 1 1 1 1", {}, "2147483648"},
        {"1 1 1 1 -2147483649 1 1 1 1 1", {}, "-2147483649"},
        {"1 1 1 1 - 1 1 1 1 1", {}, "-"},
        {"1 1 1 1 1,2 1 1 1 1 1", {}, "1,2"},
        {"1 1 1 1 0x10 1 1 1 1 1", {}, "0x10"},
    };
    for (const int_case& c : cases) {
        SCOPED_TRACE(c.rows.substr(0, 40));
        error_record = error_info{};
        mask_grid grid(3, 3, kPlus);
        read_result r =
            read(map_text(3, 3, {c.rows}), kMapGridInts, grid.cells, nullptr, nullptr, nullptr);
        if (c.refused.empty()) {
            EXPECT_TRUE(r.ok) << r.out;
            EXPECT_EQ((std::vector<int>{grid.cells[2][1], grid.cells[2][2], grid.cells[2][3]}),
                      c.row2);
            EXPECT_EQ(grid.cells[3][3], 1);
            continue;
        }
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.out, "Error: map " + path_ + ", line 7, row 2, column 2: the value \"" +
                             c.refused + "\" is not a whole number.\n" + grid_test::kReported);
    }
}

TEST_F(MapReaderTest, ZeroWarningsByKind) {
    // All values inside the mask are 0 but one outside is not: only the cell count.
    {
        mask_grid grid(3, 3, kPlus);
        std::vector<double> values(6, -1.0);
        read_result r = read(map_text(3, 3, {"4 0 0", "0 0 0", "0 0 0"}), kMapCellReals,
                             grid.cells, &values, nullptr, nullptr);
        EXPECT_EQ(r.out, "Warning: Map contains 5 cells with zero values. Map: " + path_ + "\n");
    }
    // A map of only zeros: both warnings for real maps, only the first for integer maps.
    const std::string zeros = map_text(3, 3, {"0 0 0", "0 0 0", "0 0 0"});
    struct zero_case {
        int kind;
        bool cells_warning;
    } cases[] = {{kMapCellReals, true}, {kMapSecondReals, true}, {kMapGridInts, false},
                 {kMapCellIds, false}};
    for (const zero_case& c : cases) {
        SCOPED_TRACE(c.kind);
        mask_grid grid(3, 3, kPlus);
        mask_grid target(3, 3, kPlus);
        std::vector<double> reals(6, -1.0);
        std::vector<int> ids(6, -1);
        read_result r = read(zeros, c.kind, c.kind == kMapGridInts ? target.cells : grid.cells,
                             &reals, &reals, &ids);
        std::string expected = "Warning: Map contains only zero values. Map: " + path_ + "\n";
        if (c.cells_warning) {
            expected += "Warning: Map contains 5 cells with zero values. Map: " + path_ + "\n";
        }
        EXPECT_EQ(r.out, expected);
    }
}

TEST_F(MapReaderTest, IntegerGridMayHoldAllValuesOnOneLine) {
    mask_grid grid(3, 3, {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}});
    read_result r = read(map_text(3, 3, {"1 2 3 4 5 6 7 8 -9"}), kMapGridInts, grid.cells,
                         nullptr, nullptr, nullptr);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(grid.cells[1][1], 1);
    EXPECT_EQ(grid.cells[2][3], 6);
    EXPECT_EQ(grid.cells[3][3], -9);
    EXPECT_EQ(grid.cells[0][0], 0);   // the border is not written
    EXPECT_EQ(grid.cells[4][4], 0);
}

TEST_F(MapReaderTest, CategoryLinesListTheIdsInsideTheMaskInAscendingOrder) {
    mask_grid grid(3, 3, kPlus);
    std::vector<int> ids(6, -1);
    read_result r = read(map_text(3, 3, {"5 3 5", "1 3 1", "5 1 5"}), kMapCellIds, grid.cells,
                         nullptr, nullptr, &ids);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(ids, (std::vector<int>{-1, 3, 1, 3, 1, 1}));
    EXPECT_EQ(r.out, "In map " + path_ + " category 1 has 3 values\n" + "In map " + path_ +
                         " category 3 has 2 values\n");
    EXPECT_EQ(map_category_count(1), 3);
    EXPECT_EQ(map_category_count(5), 0);   // outside the mask
}

TEST_F(MapReaderTest, IdsOutsideTheCategoryTableAreStoredButNotCounted) {
    mask_grid grid(3, 3, kPlus);
    std::vector<int> ids(6, -1);
    read_result r = read(map_text(3, 3, {"0 9999 0", "10000 -4 0", "0 2147483647 0"}),
                         kMapCellIds, grid.cells, nullptr, nullptr, &ids);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(ids, (std::vector<int>{-1, 9999, 10000, -4, 0, 2147483647}));
    EXPECT_EQ(r.out, "In map " + path_ + " category 9999 has 1 values\n");
    EXPECT_EQ(map_category_count(9999), 1);
    EXPECT_EQ(map_category_count(10000), 0);
    EXPECT_EQ(map_category_count(-4), 0);
    EXPECT_EQ(map_category_count(0), 0);
    // A caller whose IDs index a table refuses the negative one, naming the map and the cell.
    error_record = error_info{};
    std::string out = console([&] { EXPECT_FALSE(refuse_negative_map_ids(ids, 5, "soil.map")); });
    EXPECT_EQ(out, std::string("Error: negative ID -4 at cell 3 of map soil.map\n") + grid_test::kReported);
    EXPECT_EQ(error_record.stop, 1);
}

TEST_F(MapReaderTest, TokensThatAreNotWholeNumbersAreRefusedInIntegerMaps) {
    struct token_case {
        const char* token;
        int kind;
    } cases[] = {{"1.5", kMapGridInts}, {"abc", kMapGridInts}, {"99999999999", kMapCellIds},
                 {"2x", kMapCellIds},   {"[ID]", kMapCellIds}};
    for (const token_case& c : cases) {
        SCOPED_TRACE(c.token);
        error_record = error_info{};
        mask_grid grid(3, 3, kPlus);
        std::vector<int> ids(6, -1);
        read_result r = read(map_text(3, 3, {"1 1 1", std::string("1 ") + c.token + " 1", "1 1 1"}),
                             c.kind, grid.cells, nullptr, nullptr, &ids);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.out, "Error: map " + path_ + ", line 8, row 2, column 2: the value \"" +
                             c.token + "\" is not a whole number.\n" + grid_test::kReported);
        EXPECT_EQ(error_record.stop, 1);
    }
}

TEST_F(MapReaderTest, EarlyEndOfFileIsReportedNamingTheLastLine) {
    struct eof_case {
        int kind;
        std::vector<std::string> rows;
        std::string detail;   // after "Error: map <path>, "
    } cases[] = {
        {kMapCellReals, {"10 20 30", "40 50 60"},   // last row line missing
         "line 8: the file ends at this line, before row 3 of its 3 rows."},
        {kMapGridInts, {"10 20 30", "40 50 60", "70 80"},   // one value too few
         "line 9: the file ends at this line, before the value of row 3, column 3."},
        {kMapCellIds, {"10 20 30 40 50 60 70 80"},
         "line 7: the file ends at this line, before the value of row 3, column 3."},
        // Too short for its header to be believed: refused before any value is read.
        {kMapCellIds, {"1 2 3 4 5 6 7 8"},
         "line 6: the header gives 3 rows and 3 columns, 9 values, but the 16 bytes after it "
         "hold at most 8 values."},
    };
    for (const eof_case& c : cases) {
        SCOPED_TRACE(c.detail);
        error_record = error_info{};
        mask_grid grid(3, 3, kPlus);
        std::vector<double> reals(6, -1.0);
        std::vector<int> ids(6, -1);
        read_result r = read(map_text(3, 3, c.rows), c.kind, grid.cells, &reals, nullptr, &ids);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.out, "Unexpected end of file in file: " + path_ + "\nError: map " + path_ +
                             ", " + c.detail + "\n" + grid_test::kReported);
        EXPECT_EQ(error_record.stop, 1);
    }
}

TEST_F(MapReaderTest, TargetArrayThatIsTooSmallIsNeverOverrun) {
    mask_grid grid(3, 3, kPlus);
    std::vector<double> reals(4, -1.0);   // room for 3 of the 5 cells
    read_result r = read(map_text(3, 3, {"1 1 1", "1 1 1", "1 1 1"}), kMapCellReals, grid.cells,
                         &reals, nullptr, nullptr);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.out, "Error: map " + path_ +
                         " has more watershed cells than the 3 cells of its target array\n" +
                         grid_test::kReported);
    EXPECT_EQ(reals, (std::vector<double>{-1.0, 1.0, 1.0, 1.0}));
}

TEST_F(MapReaderTest, ReplacementAppliesToRealRowsButNotToIntegerMaps) {
    std::string params = write("params.txt", "1\nelevation [ELEV] \"%5.1lf\"\n");
    std::string values = write("values.txt", "12.5\n");
    ASSERT_EQ(read_replace_params(params.c_str()), 0);
    ASSERT_EQ(read_replace_vals(values.c_str()), 0);
    ASSERT_EQ(replace_active, 1);

    mask_grid grid(3, 3, kPlus);
    std::vector<double> reals(6, -1.0);
    read_result r = read(map_text(3, 3, {"0 1 0", "2 [ELEV] 3", "0 4 0"}), kMapCellReals,
                         grid.cells, &reals, nullptr, nullptr);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(reals, (std::vector<double>{-1.0, 1.0, 2.0, 12.5, 3.0, 4.0}));

    std::vector<int> ids(6, -1);
    r = read(map_text(3, 3, {"0 1 0", "2 [ELEV] 3", "0 4 0"}), kMapCellIds, grid.cells, nullptr,
             nullptr, &ids);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.out.find(", line 8, row 2, column 2: the value \"[ELEV]\" is not a whole number."),
              std::string::npos)
        << r.out;
}

}  // namespace
