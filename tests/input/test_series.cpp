// Time series and elevation series: reading blocks, name search,
// interpolation, the relative shift, column blocks, refusal of malformed and
// non-increasing entries, and the thread-safe failure records of lookups.
#include <gtest/gtest.h>
#include <omp.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "core/dates.h"
#include "core/error.h"
#include "core/file_object.h"
#include "core/text.h"
#include "input/elevation_series.h"
#include "input/replace.h"
#include "input/time_series.h"

namespace {

// Resets the program-wide series state and error record around every test.
class SeriesTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/pluvo_series_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        reset();
    }
    void TearDown() override {
        reset();
        std::filesystem::remove_all(dir_);
    }
    static void reset() {
        free_time_series();
        free_elevation_series();
        testing::internal::CaptureStdout();
        report_series_lookup_failures();   // clears any records left behind
        testing::internal::GetCapturedStdout();
        error_record = error_info();
        super_quiet_flag = 0;
        replace_active = 0;
    }
    std::string write(const std::string& name, const std::string& text) {
        std::string path = dir_ + "/" + name;
        std::ofstream(path) << text;
        return path;
    }
    static time_series* make_series(const char* name, std::vector<double> t, std::vector<double> v) {
        time_series* s = new_time_series();
        std::snprintf(s->name, sizeof s->name, "%s", name);
        s->times = std::move(t);
        s->values = std::move(v);
        s->count = static_cast<int>(s->times.size());
        return s;
    }
    static int list_length() {
        int n = 0;
        for (time_series* s = time_series_list; s != nullptr; s = s->next) ++n;
        return n;
    }
    std::string dir_;
};

struct value_case {
    double at;
    double expected;
    const char* what;
};

TEST_F(SeriesTest, TimeSeriesInterpolatesAndHoldsEndValues) {
    time_series* s = make_series("Q", {10.0, 11.0, 13.0}, {1.0, 3.0, 7.0});
    const value_case cases[] = {
        {9.0, 1.0, "before the first entry"},  {10.0, 1.0, "at the first entry"},
        {10.5, 2.0, "inside the first interval"}, {11.0, 3.0, "at an interior entry"},
        {12.0, 5.0, "inside the last interval"},  {13.0, 7.0, "at the last entry"},
        {20.0, 7.0, "after the last entry"},
    };
    // Forward, then backward: a time before the interval used last (the model
    // time jumping back) must still be found.
    for (const auto& c : cases) EXPECT_DOUBLE_EQ(time_series_value(c.at, s), c.expected) << c.what;
    for (int k = 6; k >= 0; --k)
        EXPECT_DOUBLE_EQ(time_series_value(cases[k].at, s), cases[k].expected) << cases[k].what;
    EXPECT_DOUBLE_EQ(time_series_value(12.5, s), 6.0);
    EXPECT_DOUBLE_EQ(time_series_value(10.25, s), 1.5);

    time_series* one = make_series("ONE", {5.0}, {42.0});
    for (double t : {0.0, 5.0, 9.0}) EXPECT_DOUBLE_EQ(time_series_value(t, one), 42.0) << t;
    EXPECT_EQ(series_lookup_failures(), 0);
}

TEST_F(SeriesTest, ElevationSeriesLinearAndStepValues) {
    std::string path = write("rating.txt",
                             "PLUVO_ES\nWEIR\n0 0\n1 10\n2 30\nEND_ES\n"
                             "PLUVO_ES\nFLAT\n4 9\nEND_ES\n");
    testing::internal::CaptureStdout();
    read_elevation_series_file(path.c_str());
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "2 elevation series read from file " + path + "\n");
    elevation_series* s = find_elevation_series("WEIR");
    ASSERT_NE(s, nullptr);
    ASSERT_EQ(s->count, 3);

    struct pair_case {
        double x, linear, step;
    };
    const pair_case cases[] = {
        {-1.0, 0.0, 0.0}, {0.0, 0.0, 0.0},  {0.5, 5.0, 0.0},   {1.0, 10.0, 0.0},
        {1.5, 20.0, 10.0}, {2.0, 30.0, 30.0}, {3.0, 30.0, 30.0},
    };
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(elevation_series_value(c.x, s), c.linear) << "x=" << c.x;
        EXPECT_DOUBLE_EQ(elevation_series_step_value(c.x, s), c.step) << "x=" << c.x;
    }
    elevation_series* flat = find_elevation_series("FLAT");
    ASSERT_NE(flat, nullptr);
    for (double x : {-5.0, 4.0, 100.0}) {
        EXPECT_DOUBLE_EQ(elevation_series_value(x, flat), 9.0);
        EXPECT_DOUBLE_EQ(elevation_series_step_value(x, flat), 9.0);
    }
    EXPECT_EQ(series_lookup_failures(), 0);
}

TEST_F(SeriesTest, NameSearchTakesTheFirstSeriesWhoseNameBeginsWithIt) {
    const char* block = "PLUVO_TS\n%s\nABSOLUTE\n2000 1 1 0 0 1\nEND_TS\n";
    auto blocks = [&](const char* a, const char* b) {
        char text[256];
        std::string out;
        std::snprintf(text, sizeof text, block, a);
        out += text;
        std::snprintf(text, sizeof text, block, b);
        return out + text;
    };
    struct search_case {
        const char* first;
        const char* second;
        const char* query;
        const char* found;   // null: none
    };
    const search_case cases[] = {
        {"RAIN", "RAIN_2", "RAIN_2", "RAIN_2"},
        {"RAIN", "RAIN_2", "RAIN", "RAIN"},
        {"RAIN_2", "RAIN", "RAIN", "RAIN_2"},
        {"RAIN_2", "RAIN", "", "RAIN_2"},
        {"RAIN", "RAIN_2", "rain", nullptr},
        {"RAIN", "RAIN_2", "SNOW", nullptr},
    };
    for (const auto& c : cases) {
        std::string path = write("names.ts", blocks(c.first, c.second));
        testing::internal::CaptureStdout();
        read_time_series_file(path.c_str());
        testing::internal::GetCapturedStdout();
        time_series* s = find_time_series(c.query);
        if (c.found == nullptr) {
            EXPECT_EQ(s, nullptr) << c.query;
        } else {
            ASSERT_NE(s, nullptr) << c.query;
            EXPECT_STREQ(s->name, c.found) << c.query;
        }
        free_time_series();
    }

    // Elevation names: the first token of the line, quotes removed.
    std::string path = write("names.es",
                             "PLUVO_ES\n\"main weir\" rest\n0 1\nEND_ES\n"
                             "PLUVO_ES\nlow gate\n0 2\nEND_ES\n");
    testing::internal::CaptureStdout();
    read_elevation_series_file(path.c_str());
    testing::internal::GetCapturedStdout();
    ASSERT_NE(elevation_series_list, nullptr);
    EXPECT_STREQ(elevation_series_list->name, "main weir");
    ASSERT_NE(find_elevation_series("low"), nullptr);
    EXPECT_STREQ(find_elevation_series("low")->name, "low");
    EXPECT_EQ(find_elevation_series("main"), elevation_series_list);
    EXPECT_EQ(find_elevation_series("gate"), nullptr);
}

TEST_F(SeriesTest, AbsoluteAndRelativeBlocksOfOneFile) {
    std::string path = write("mixed.ts",
                             "lines before a block are ignored\n"
                             "PLUVO_TS\n  \"INFLOW\"  \nABSOLUTE\n"
                             "2000 1 1 0 0 1.5\n2000 1 1 12 0 2.5\nEND_TS\n"
                             "between blocks\n"
                             "PLUVO_TS\nPUMP\nRELATIVE\n0 0 0 0 0 4.0\n0 0 1 12 0 6.0\nEND_TS\n"
                             "PLUVO_TS\nGATE\nsomething else\n2000 1 2 0 0 3.0\nEND_TS\n");
    testing::internal::CaptureStdout();
    read_time_series_file(path.c_str());
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Read time series INFLOW\nRead time series PUMP\nRead time series GATE\n"
              "3 time series read from file " + path + "\n");
    EXPECT_EQ(error_record.code, 0);

    time_series* inflow = find_time_series("INFLOW");
    time_series* pump = find_time_series("PUMP");
    time_series* gate = find_time_series("GATE");
    ASSERT_TRUE(inflow && pump && gate);
    const double start = julian_day(2000, 1, 1, 0, 0, 0.0);
    EXPECT_EQ(inflow->relative, 0);
    EXPECT_EQ(pump->relative, 1);
    EXPECT_EQ(gate->relative, 0);
    ASSERT_EQ(inflow->count, 2);
    EXPECT_DOUBLE_EQ(inflow->times[0], start);
    EXPECT_DOUBLE_EQ(inflow->times[1], start + 0.5);
    ASSERT_EQ(pump->count, 2);
    EXPECT_DOUBLE_EQ(pump->times[0], 0.0);
    EXPECT_DOUBLE_EQ(pump->times[1], 1.5);

    // The run shifts relative series by its start time, once.
    shift_relative_time_series(start);
    shift_relative_time_series(start);
    EXPECT_DOUBLE_EQ(pump->times[0], start);
    EXPECT_DOUBLE_EQ(pump->times[1], start + 1.5);
    EXPECT_DOUBLE_EQ(inflow->times[0], start);
    EXPECT_DOUBLE_EQ(gate->times[0], start + 1.0);
    EXPECT_DOUBLE_EQ(time_series_value(start + 0.75, pump), 5.0);
    EXPECT_DOUBLE_EQ(time_series_value(start + 0.25, inflow), 2.0);
}

TEST_F(SeriesTest, MissingTimeSeriesFileStopsButMissingElevationFileDoesNot) {
    std::string path = dir_ + "/absent.ts";
    // The file object may print its own line before a failed open.
    testing::internal::CaptureStdout();
    EXPECT_FALSE(read_time_series_file(path.c_str()));
    std::string out = testing::internal::GetCapturedStdout();
    std::string message = "Error: Time series file not found [" + path + "]\n";
    ASSERT_GE(out.size(), message.size());
    EXPECT_EQ(out.substr(out.size() - message.size()), message);
    EXPECT_EQ(error_record.code, kErrorPrinted);
    error_record = error_info{};
    testing::internal::CaptureStdout();
    read_elevation_series_file(path.c_str());
    out = testing::internal::GetCapturedStdout();
    message = "Error: Elevation series file not found [" + path + "]\n";
    ASSERT_GE(out.size(), message.size());
    EXPECT_EQ(out.substr(out.size() - message.size()), message);
    EXPECT_EQ(error_record.code, 0);
    EXPECT_EQ(time_series_list, nullptr);
}

TEST_F(SeriesTest, ReadingAgainAfterTheRunGivesOneCopy) {
    std::string path = write("once.es", "PLUVO_ES\nA\n0 1\n1 2\nEND_ES\n");
    for (int run = 0; run < 2; ++run) {
        free_elevation_series();
        testing::internal::CaptureStdout();
        read_elevation_series_file(path.c_str());
        testing::internal::GetCapturedStdout();
        int n = 0;
        for (elevation_series* s = elevation_series_list; s != nullptr; s = s->next) ++n;
        EXPECT_EQ(n, 1) << "run " << run;
    }
}

TEST_F(SeriesTest, ColumnBlockCreatesNumberedAbsoluteSeries) {
    std::string path = write("xy.txt",
                             "2000 1 1 0 0 1.0 2.0 3.0\n"
                             "2000 1 1 6 0\t4.0 5.0 6.0\n"
                             "END_TS\n");
    make_series("EARLIER", {1.0}, {1.0});
    file_object f;
    ASSERT_TRUE(open_file_named(f, path.c_str(), "r"));
    time_series* first = read_series_columns(f, 3, "XY");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(error_record.code, 0);
    const char* names[] = {"XY_0000", "XY_0001", "XY_0002"};
    const double start = julian_day(2000, 1, 1, 0, 0, 0.0);
    time_series* s = first;
    for (int j = 0; j < 3; ++j, s = s->next) {
        ASSERT_NE(s, nullptr);
        EXPECT_STREQ(s->name, names[j]);
        EXPECT_EQ(s->relative, 0);
        ASSERT_EQ(s->count, 2);
        EXPECT_DOUBLE_EQ(s->times[0], start);
        EXPECT_DOUBLE_EQ(s->times[1], start + 0.25);
        EXPECT_DOUBLE_EQ(s->values[0], 1.0 + j);
        EXPECT_DOUBLE_EQ(s->values[1], 4.0 + j);
    }
    EXPECT_EQ(find_time_series("XY"), first);
    EXPECT_EQ(list_length(), 4);
    // The file is left at the end line for the caller.
    text_line line;
    ASSERT_EQ(read_line(line, f), 1);
    EXPECT_STREQ(line.c_str(), "END_TS");
    EXPECT_EQ(read_series_columns(f, 0, "NONE"), nullptr);
    close_file_object(f);
}

// Every series file reads the same with CR LF line ends as with LF: the
// names, kinds, times and values of what was read, written out as text.
TEST_F(SeriesTest, CrLfLineEndsReadLikeLf) {
    const std::string series_text = "PLUVO_TS\n  \"INFLOW\"  \nABSOLUTE\n2000 1 1 0 0 1.5\n"
                                    "2000 1 1 12 0 2.5\nEND_TS\n"
                                    "PLUVO_TS\nPUMP\nRELATIVE\n0 0 0 0 0 4.0\n0 0 1 12 0 6.0\n"
                                    "END_TS\n";
    const std::string elevation_text = "PLUVO_ES\n\"RATING\"\n1.0 10.0\n2.5 20.0\nEND_ES\n";
    const std::string columns_text = "2000 1 1 0 0 1.0 2.0\n2000 1 1 6 0\t4.0 5.0\nEND_TS\n";
    auto crlf = [](std::string text) {
        for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 2))
            text.insert(at, "\r");
        return text;
    };
    auto read_all = [&](bool crlf_ends) {
        reset();
        auto ends = [&](const std::string& t) { return crlf_ends ? crlf(t) : t; };
        const std::string ts = write("s.ts", ends(series_text));
        const std::string es = write("s.es", ends(elevation_text));
        const std::string xy = write("xy.txt", ends(columns_text));
        testing::internal::CaptureStdout();
        read_time_series_file(ts.c_str());
        read_elevation_series_file(es.c_str());
        file_object f;
        EXPECT_TRUE(open_file_named(f, xy.c_str(), "r"));
        read_series_columns(f, 2, "XY");
        text_line end_line;   // the column block leaves its end line to the caller
        EXPECT_EQ(read_line(end_line, f), 1);
        EXPECT_STREQ(end_line.c_str(), "END_TS");
        close_file_object(f);
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(error_record.code, 0);
        std::string digest;
        char number[64];
        for (time_series* s = time_series_list; s != nullptr; s = s->next) {
            digest += std::string("[") + s->name + "] " + std::to_string(s->relative);
            for (int k = 0; k < s->count; ++k) {
                std::snprintf(number, sizeof number, " %.9g:%.9g", s->times[k], s->values[k]);
                digest += number;
            }
            digest += "\n";
        }
        for (elevation_series* s = elevation_series_list; s != nullptr; s = s->next) {
            digest += std::string("[") + s->name + "]";
            for (int k = 0; k < s->count; ++k) {
                std::snprintf(number, sizeof number, " %.9g:%.9g", s->x_values[k], s->y_values[k]);
                digest += number;
            }
            digest += "\n";
        }
        return digest;
    };
    const std::string lf = read_all(false);
    EXPECT_EQ(std::count(lf.begin(), lf.end(), '\n'), 5) << lf;
    EXPECT_NE(lf.find("[INFLOW] 0 "), std::string::npos) << lf;
    EXPECT_NE(lf.find("[PUMP] 1 0:4 1.5:6\n"), std::string::npos) << lf;
    EXPECT_NE(lf.find("[XY_0001] 0 "), std::string::npos) << lf;
    EXPECT_NE(lf.find("[RATING] 1:10 2.5:20\n"), std::string::npos) << lf;
    EXPECT_EQ(read_all(true), lf);
}

// A malformed line or a non-increasing time stops the reading with a
// message naming the file and the line, and code 4000.
TEST_F(SeriesTest, MalformedAndNonIncreasingLinesAreRefused) {
    enum reader { kTs, kEs, kColumns };
    struct bad_case {
        reader kind;
        const char* text;
        int line;
        const char* phrase;
    };
    const bad_case cases[] = {
        {kTs, "PLUVO_TS\nQ\nABSOLUTE\n2000 1 1 0 0 1\n2000 1 x 0 0 2\nEND_TS\n", 5,
         "must hold year, month, day, hour, minute and value"},
        {kTs, "PLUVO_TS\nQ\nABSOLUTE\n2000 1 1 0 0 1\n2000 1 1 0 0\nEND_TS\n", 5,
         "must hold year, month, day, hour, minute and value"},
        {kTs, "PLUVO_TS\nQ\nABSOLUTE\n2000 1 1 0 0 1\n\n2000 1 1 3 0 2\nEND_TS\n", 5,
         "must hold year, month, day, hour, minute and value"},
        {kTs, "PLUVO_TS\nQ\nABSOLUTE\n2000 1 1 0 0 1\n2000 1 1 6 0 1\n2000 1 1 6 0 2\nEND_TS\n",
         6, "does not increase"},
        {kTs, "x\nPLUVO_TS\nQ\nRELATIVE\n0 0 1 0 0 1\n0 0 0 12 0 2\nEND_TS\n", 6,
         "does not increase"},
        {kEs, "PLUVO_ES\nE\n0 1\n1\nEND_ES\n", 4, "must hold two numbers x and y"},
        {kEs, "PLUVO_ES\nE\n0 1\nnan 2\nEND_ES\n", 4, "must hold two numbers x and y"},
        {kEs, "PLUVO_ES\nE\n0 1\n2 2\n2 3\nEND_ES\n", 5, "does not increase"},
        {kColumns, "2000 1 1 0 0 1 2\n2000 1 1 1 0 3\nEND_TS\n", 2, "and 2 values"},
        {kColumns, "2000 1 1 1 0 1 2\n2000 1 1 0 0 3 4\nEND_TS\n", 2, "does not increase"},
    };
    for (const auto& c : cases) {
        reset();
        // A good block after the bad one must not be read.
        std::string text = c.text;
        if (c.kind == kTs) text += "PLUVO_TS\nLATER\nABSOLUTE\n2000 1 1 0 0 1\nEND_TS\n";
        if (c.kind == kEs) text += "PLUVO_ES\nLATER\n0 1\nEND_ES\n";
        std::string path = write("bad.txt", text);
        testing::internal::CaptureStdout();
        if (c.kind == kTs) {
            read_time_series_file(path.c_str());
        } else if (c.kind == kEs) {
            read_elevation_series_file(path.c_str());
        } else {
            file_object f;
            ASSERT_TRUE(open_file_named(f, path.c_str(), "r"));
            EXPECT_EQ(read_series_columns(f, 2, "XY"), nullptr) << c.text;
            close_file_object(f);
        }
        std::string out = testing::internal::GetCapturedStdout();
        SCOPED_TRACE(c.text);
        EXPECT_EQ(error_record.code, kErrorPrinted);
        EXPECT_NE(out.find(path + ", line " + std::to_string(c.line) + ":"), std::string::npos)
            << out;
        EXPECT_NE(out.find(c.phrase), std::string::npos) << out;
        EXPECT_EQ(out.find("series read from file"), std::string::npos) << out;
        EXPECT_EQ(find_time_series("LATER"), nullptr);
        EXPECT_EQ(find_elevation_series("LATER"), nullptr);
        if (c.kind == kColumns) {
            EXPECT_EQ(time_series_list, nullptr);
        }
    }
}

TEST_F(SeriesTest, IndexTableBindsIdsToSeries) {
    time_series* a = make_series("A", {0.0, 1.0}, {0.0, 10.0});
    time_series* b = make_series("B", {0.0, 1.0}, {5.0, 5.0});
    add_time_series_index(3, a);
    add_time_series_index(7, b);
    add_time_series_index(3, b);   // a later row with the same ID is never used
    EXPECT_DOUBLE_EQ(indexed_series_value(3, 0.5), 5.0);
    EXPECT_DOUBLE_EQ(indexed_series_value(7, 0.5), 5.0);
    EXPECT_DOUBLE_EQ(indexed_series_value(3, 0.25), 2.5);
    EXPECT_EQ(series_lookup_failures(), 0);
    free_time_series();
    EXPECT_EQ(time_series_index, nullptr);
}

// Lookups run inside parallel loops: they never print, and failures are
// recorded for the caller to report on the main thread after the loop.
TEST_F(SeriesTest, FailedLookupsInAParallelLoopAreReportedAfterIt) {
    time_series* empty = make_series("EMPTY", {}, {});
    time_series* good = make_series("GOOD", {0.0, 2.0}, {0.0, 4.0});
    add_time_series_index(1, good);
    add_time_series_index(2, nullptr);
    elevation_series* e_empty = new_elevation_series();
    std::snprintf(e_empty->name, sizeof e_empty->name, "%s", "ECURVE");

    const int cells = 2000;
    std::vector<double> out(cells + 1, -1.0);
    testing::internal::CaptureStdout();
#pragma omp parallel for schedule(static) num_threads(4)
    for (int j = 1; j <= cells; ++j) {
        switch (j % 5) {
            case 0: out[j] = time_series_value(1.0, empty); break;
            case 1: out[j] = indexed_series_value(99, 1.0); break;
            case 2: out[j] = indexed_series_value(2, 1.0); break;
            case 3: out[j] = elevation_series_value(1.0, e_empty); break;
            default: out[j] = indexed_series_value(1, 1.0); break;
        }
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(error_record.code, 0);
    for (int j = 1; j <= cells; ++j) EXPECT_DOUBLE_EQ(out[j], j % 5 == 4 ? 2.0 : 0.0) << j;

    int kinds = series_lookup_failures();
    EXPECT_TRUE(kinds & kLookupEmptySeries);
    EXPECT_TRUE(kinds & kLookupUnknownIndex);
    EXPECT_TRUE(kinds & kLookupMissingSeries);
    testing::internal::CaptureStdout();
    EXPECT_EQ(report_series_lookup_failures(), 1);
    std::string text = testing::internal::GetCapturedStdout();
    EXPECT_EQ(text,
              "Error: attempting to extract a value from a time series that does not exist.\n"
              "Error: attempting to extract a value from an unknown time series in the time series "
              "table.    Check the mapping table file (.cmt). The specified time series index is "
              "99, but the \nindex is not found in the time series index table.\n"
              "Error: attempting to extract a value from a time series [EMPTY] with no entries.\n"
              "Error: attempting to extract a value from an elevation series [ECURVE] with no "
              "entries.\n");
    EXPECT_EQ(error_record.code, kErrorPrinted);

    // The records are cleared by the report.
    error_record = error_info();
    EXPECT_EQ(series_lookup_failures(), 0);
    EXPECT_EQ(report_series_lookup_failures(), 0);
    EXPECT_EQ(error_record.code, 0);
}

TEST_F(SeriesTest, LookupOutsideEveryIntervalWarnsWithoutStopping) {
    time_series* s = make_series("BROKEN", {0.0, 1.0, 2.0}, {1.0, 2.0, 3.0});
    elevation_series* e = new_elevation_series();
    std::snprintf(e->name, sizeof e->name, "%s", "CURVE");
    e->x_values = {0.0, 1.0};
    e->y_values = {0.0, 1.0};
    e->count = 2;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_DOUBLE_EQ(time_series_value(nan, s), 0.0);
    EXPECT_DOUBLE_EQ(elevation_series_step_value(nan, e), 0.0);
    EXPECT_DOUBLE_EQ(elevation_series_value(0.5, nullptr), 0.0);
    testing::internal::CaptureStdout();
    EXPECT_EQ(report_series_lookup_failures(), 1);   // the missing elevation series stops
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Error: attempting to extract a value from an elevation series that does not "
              "exist.\n"
              "Error: something is really messed up with your time series [BROKEN].\n"
              "Error: something is really messed up with your elevation series [CURVE].\n");

    // Alone, the messed-up warning sets no code and lets the run go on.
    error_record = error_info();
    time_series_value(nan, s);
    testing::internal::CaptureStdout();
    EXPECT_EQ(report_series_lookup_failures(), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Error: something is really messed up with your time series [BROKEN].\n");
    EXPECT_EQ(error_record.code, 0);
}

TEST_F(SeriesTest, ParallelLookupsMatchTheSerialOnes) {
    std::vector<double> t, v;
    for (int k = 0; k < 200; ++k) {
        t.push_back(k * 0.5);
        v.push_back(std::sin(k * 0.1));
    }
    time_series* s = make_series("WAVE", t, v);
    const int cells = 4000;
    std::vector<double> serial(cells), parallel(cells);
    for (int j = 0; j < cells; ++j) serial[j] = time_series_value(j * 0.0251, s);
#pragma omp parallel for schedule(static) num_threads(8)
    for (int j = 0; j < cells; ++j) parallel[j] = time_series_value(j * 0.0251, s);
    for (int j = 0; j < cells; ++j) ASSERT_EQ(parallel[j], serial[j]) << j;
    EXPECT_EQ(series_lookup_failures(), 0);
}

TEST_F(SeriesTest, SeriesLinesPassThroughReplacement) {
    std::string params = write("p.txt", "2\n[Q0] \"%4.1lf\"\n[NAME] \"%s\"\n");
    std::string vals = write("v.txt", "12.5 INFLOW\n");
    testing::internal::CaptureStdout();
    ASSERT_EQ(read_replace_params(params.c_str()), 0);
    ASSERT_EQ(read_replace_vals(vals.c_str()), 0);
    std::string path = write("r.ts", "PLUVO_TS\n[NAME]\nABSOLUTE\n2000 1 1 0 0 [Q0]\nEND_TS\n");
    read_time_series_file(path.c_str());
    testing::internal::GetCapturedStdout();
    time_series* s = find_time_series("INFLOW");
    ASSERT_NE(s, nullptr);
    ASSERT_EQ(s->count, 1);
    EXPECT_DOUBLE_EQ(s->values[0], 12.5);
    free_replace_params();
    replace_active = 0;
}

}  // namespace
