// The ZOV hydrograph writer: header numbers, ten values to a line, series
// shorter than the row count, and the location series after the outlet's.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/file_object.h"
#include "output/zov_hydrograph.h"
#include "pluvo_test.h"

using namespace pluvo_test;

namespace {

// An outlet table of `count` rows "minute discharge", discharge = row number / 4.
std::string outlet_rows(int count) {
    std::string text;
    char line[64];
    for (int r = 1; r <= count; ++r) {
        std::snprintf(line, sizeof line, "%8.2lf %9.3lf\n", r * 1.0, r / 4.0);
        text += line;
    }
    return text;
}

std::string value_text(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%11.4lf", v);
    return buf;
}

// Writes the ZOV file from the given tables and returns its text.
std::string run_writer(const temp_dir& dir, const std::string& outlet, const std::string* points,
                       const std::vector<std::string>& headers, long rows) {
    write_file(dir.file("outlet.otl"), outlet);
    file_object series, table, out;
    EXPECT_TRUE(open_file_named(series, dir.file("outlet.otl").c_str(), "r"));
    if (points != nullptr) {
        write_file(dir.file("points.out"), *points);
        EXPECT_TRUE(open_file_named(table, dir.file("points.out").c_str(), "r"));
    }
    EXPECT_TRUE(open_file_named(out, dir.file("zov.out").c_str(), "w"));
    write_zov_hydrograph(series, out.handle, table, headers, 20050701, 1330, 12, rows);
    close_file_object(out);
    return read_file(dir.file("zov.out"));
}

struct outlet_case {
    const char* what;
    int table_rows;             // rows in the outlet table
    long rows;                  // rows the writer is told
    std::vector<int> per_line;  // values on each data line after the header
};

TEST(ZovHydrograph, OutletValuesTenToALineAndShortSeries) {
    const std::vector<outlet_case> cases = {
        {"eleven rows", 11, 11, {10, 1}},
        {"exactly ten", 10, 10, {10}},
        {"twenty-three rows", 23, 23, {10, 10, 3}},
        {"table shorter than the count", 4, 11, {4}},
        {"count shorter than the table", 30, 5, {5}},
    };
    for (const outlet_case& c : cases) {
        temp_dir dir;
        const std::string text = run_writer(dir, outlet_rows(c.table_rows), nullptr, {}, c.rows);
        const std::vector<std::string> lines = split_lines(text);
        // Title, the five header numbers: no locations, start date and time,
        // steps per row and the row count.
        ASSERT_GE(lines.size(), 6u) << c.what << "\n" << text;
        EXPECT_EQ(lines[0], "PLUVIAX_ZOV_HYDROGRAPH_FILE") << c.what;
        EXPECT_EQ(lines[1], "0") << c.what;
        EXPECT_EQ(lines[2], "20050701") << c.what;
        EXPECT_EQ(lines[3], "1330") << c.what;
        EXPECT_EQ(lines[4], "12") << c.what;
        EXPECT_EQ(lines[5], std::to_string(c.rows)) << c.what;
        // The data lines: each value is the table's second number.
        std::string expected;
        int v = 0;
        for (size_t l = 0; l < c.per_line.size(); ++l) {
            for (int k = 1; k <= c.per_line[l]; ++k) {
                ++v;
                expected += value_text(v / 4.0);
                expected += (k == 10) ? "\n" : " ";
            }
        }
        size_t data_start = 0;
        for (int k = 0; k < 6; ++k) data_start = text.find('\n', data_start) + 1;
        EXPECT_EQ(text.substr(data_start), expected) << c.what;
    }
}

TEST(ZovHydrograph, LocationSeriesFollowTheOutletWithTheirHeaders) {
    temp_dir dir;
    // Three rows of two locations: location 1 = 10 x row, location 2 = 100 x row.
    const std::string points = "1.00 10.0 100.0\r\n2.00 20.0 200.0\n3.00 30.0 300.0\n";
    const std::string text =
        run_writer(dir, outlet_rows(3), &points, {"Link 1 Node 10", "Link 1 Node 20"}, 3);
    std::string expected = "PLUVIAX_ZOV_HYDROGRAPH_FILE\n2\n20050701\n1330\n12\n3\n"
                           "Link 1 Node 10\nLink 1 Node 20\n";
    for (int r = 1; r <= 3; ++r) expected += value_text(r / 4.0) + " ";
    for (int m = 1; m <= 2; ++m) {
        expected += "\n";
        for (int r = 1; r <= 3; ++r) expected += value_text((m == 1 ? 10.0 : 100.0) * r) + " ";
    }
    EXPECT_EQ(text, expected);
}

}  // namespace
