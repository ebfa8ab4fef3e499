// Budget lines of the summary file: dots up to column 50, the decimal point
// in column 66, one blank for a value whose point lies further right, whole
// labels of any length; and the guarded percent of the balances.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "core/file_object.h"
#include "output/summary_format.h"
#include "output_test_support.h"
#include "pluvo_test.h"

using pluvo_test::read_file;
using pluvo_test::temp_dir;

namespace {

// Writes one line through format_summary_line into a fresh file and returns
// the file's text; `written` receives the routine's result.
std::string line_of(const std::string& label, double value, const char* format, int extra,
                    int* written = nullptr) {
    temp_dir dir;
    file_object f;
    output_test::open_on(f, dir.file("summary"));
    const int n = format_summary_line(f, label.c_str(), value, format, extra);
    if (written) *written = n;
    close_file_object(f);
    return read_file(dir.file("summary"));
}

}  // namespace

TEST(SummaryLine, ExactLayoutOfShortLabels) {
    // label, one blank, dots to column 50, blanks to put the point in column 66
    EXPECT_EQ(line_of("abc", 1.5, "%14.4lf", 0),
              "abc " + std::string(46, '.') + std::string(6, ' ') + "        1.5000\n");
    EXPECT_EQ(line_of("Total sediment 1 eroded:", -12.25, "%14.2lf", 1),
              "Total sediment 1 eroded: " + std::string(25, '.') + std::string(4, ' ') +
                  "        -12.25\n\n");
}

TEST(SummaryLine, PointStandsInColumn66ForLabelsUpTo49Characters) {
    struct row {
        size_t label_length;
        const char* format;
        double value;
    };
    const row rows[] = {
        {0, "%14.2lf", 0.0},       {10, "%14.2lf", 123.456},  {48, "%14.4lf", -5.25},
        {49, "%16.1lf", 1e6},      {20, "%9.6lf", 0.125},     {30, "%14.2lf", -99999999.0},
        {5, "%.3lf", 7.0},
    };
    for (const row& r : rows) {
        const std::string label(r.label_length, 'L');
        const std::string line = line_of(label, r.value, r.format, 0);
        SCOPED_TRACE(std::to_string(r.label_length) + " " + r.format);
        ASSERT_FALSE(line.empty());
        EXPECT_EQ(line.back(), '\n');
        // The dots end at column 50, so the value's point is the first one after it.
        EXPECT_EQ(line.find('.', 50), static_cast<size_t>(kSummaryPointColumn - 1));
        // Column 50 ends the label part: dots (or the label's blank) fill it.
        const size_t dots = r.label_length + 1 < 50 ? 49 - r.label_length : 0;
        EXPECT_EQ(line.substr(r.label_length + 1, dots), std::string(dots, '.'));
        EXPECT_EQ(line[r.label_length + 1 + dots], ' ');
    }
}

TEST(SummaryLine, ValueWhosePointLiesBeyondPosition14GetsOneBlank) {
    // "%20.2lf" puts the point at position 17 of the formatted text.
    const std::string line = line_of("x", 2.5, "%20.2lf", 0);
    EXPECT_EQ(line, "x " + std::string(48, '.') + " " + "                2.50\n");
}

TEST(SummaryLine, LongLabelsAreWrittenWholeWithoutDots) {
    const std::string label(5000, 'a');
    int written = 0;
    const std::string line = line_of(label, 3.25, "%14.2lf", 0, &written);
    // point of "          3.25" at position 11: 4 blanks
    EXPECT_EQ(line, label + " " + std::string(4, ' ') + "          3.25\n");
    EXPECT_EQ(written, static_cast<int>(line.size()));

    const std::string fifty(50, 'b');
    EXPECT_EQ(line_of(fifty, 1.0, "%14.2lf", 0), fifty + " " + std::string(4, ' ') + "          1.00\n");
}

TEST(SummaryLine, HugeValueIsMeasuredInABoundedBufferAndWrittenWhole) {
    // 1e300 with two decimals is 304 characters, far beyond the work buffer.
    char expected_value[400];
    std::snprintf(expected_value, sizeof expected_value, "%14.2lf", 1e300);
    const std::string line = line_of("big", 1e300, "%14.2lf", 0);
    EXPECT_EQ(line, "big " + std::string(46, '.') + " " + expected_value + "\n");

    // A value without a point (nan) counts its end as the point position:
    // "           nan" (14 characters) follows one blank and ends in column 65.
    const std::string nan_line = line_of("n", std::numeric_limits<double>::quiet_NaN(), "%14.2lf", 0);
    EXPECT_EQ(nan_line, "n " + std::string(48, '.') + "            nan\n");
}

TEST(SummaryLine, ClosedFileWritesNothing) {
    file_object closed;
    EXPECT_EQ(format_summary_line(closed, "label", 1.0, "%14.2lf", 1), 0);
}

TEST(SummaryPercent, EmptyDenominatorsGiveZero) {
    struct row {
        double numerator, denominator, threshold, expected;
    };
    const row rows[] = {
        {5.0, 10.0, 0.0, 50.0},   {-1.0, 4.0, 0.0, -25.0}, {1.0, 0.0, 0.0, 0.0},
        {0.0, 0.0, 0.0, 0.0},     {1.0, -3.0, 0.0, 0.0},   {1.0, 1e-17, 1e-16, 0.0},
        {1.0, 1e-320, 0.0, 0.0},  // the quotient overflows to inf
        {std::numeric_limits<double>::quiet_NaN(), 1.0, 0.0, 0.0},
    };
    for (const row& r : rows) {
        const double p = summary_percent(r.numerator, r.denominator, r.threshold);
        EXPECT_TRUE(std::isfinite(p));
        EXPECT_DOUBLE_EQ(p, r.expected) << r.numerator << " / " << r.denominator;
    }
}
