// Analyzers on a hand-made channel network: the five comparisons, the report
// layouts of the print letters, the depth modifier on dry nodes, the date and
// moment texts, the timing of timed checks, the constituent stores of the
// 1DS keywords and the refused analyzer lines.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "core/dates.h"
#include "output/analyzer.h"
#include "output/logical_op.h"
#include "output_test_support.h"
#include "pluvo_test.h"

using output_test::run_state_owner;
using pluvo_test::read_file;
using pluvo_test::temp_dir;
using pluvo_test::write_file;

namespace {

const double kStart = julian_day(2020, 6, 1, 0, 0, 0.0);  // Julian days

std::string format(const char* f, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* f, ...) {
    char buffer[1024];
    va_list args;
    va_start(args, f);
    std::vsnprintf(buffer, sizeof buffer, f, args);
    va_end(args);
    return buffer;
}

// Two links: link 1 of 3 nodes, link 2 of 2 nodes; node arrays [node][link]
// with rows 0..maxnodes+1 and columns 0..links+1 as the channel set-up makes them.
struct network {
    run_state_owner owner;
    run_state& rs = *owner;

    network() {
        rs.time = kStart;
        rs.links = 2;
        rs.maxnodes = 3;
        rs.nx = {0, 3, 2};
        for (node_array* a : {&rs.yp, &rs.bel, &rs.qp, &rs.area}) a->assign(5, 4, 0.0);
    }
    // Sets node values of an array, link by link: {link 1 nodes..., link 2 nodes...}.
    static void set(node_array& a, const std::vector<double>& v) {
        size_t k = 0;
        for (size_t l = 1; l <= 2; ++l)
            for (size_t n = 1; n <= (l == 1 ? 3u : 2u); ++n) a(n, l) = v[k++];
    }
    // Two constituents on the channel stores, flat index (maxnodes + 1) x link + node.
    void constituents() {
        rs.num_constituents = 2;
        rs.con_chan.stride = 4;
        rs.con_chan.slots = 12;
        for (con_rows* r : {&rs.con_chan.conc, &rs.con_chan.mass, &rs.con_chan.qlat_mass})
            r->assign(3, std::vector<double>(12, 0.0));
    }
};

// Reads an analyzer file of `lines` written into `dir`; returns the console text.
std::string read_lines(run_state& rs, const temp_dir& dir, const std::string& lines) {
    write_file(dir.file("an.txt"), lines);
    testing::internal::CaptureStdout();
    read_analyzer_file(rs, dir.file("an.txt").c_str());
    return testing::internal::GetCapturedStdout();
}

std::string notify(run_state& rs, int mask) {
    testing::internal::CaptureStdout();
    run_analyzers(rs, mask);
    return testing::internal::GetCapturedStdout();
}

}  // namespace

TEST(AnalyzerTests, FiveComparisonsFlagTheNodesTheyName) {
    network n;
    network::set(n.rs.qp, {1.0, 2.0, 3.0, 2.0, 5.0});
    st2d_logical_op op;
    ASSERT_TRUE(op.bind(&n.rs.qp, 2, n.rs.nx, &n.rs.time, "flow"));
    const struct {
        int kind;
        double x;
        const char* text;
        std::vector<int> flags;  // link 1 nodes 1..3, link 2 nodes 1..2
    } rows[] = {
        {kOpLess, 2.0, "< 2.000000", {1, 0, 0, 0, 0}},
        {kOpLessEqual, 2.0, "<= 2.000000", {1, 1, 0, 1, 0}},
        {kOpGreater, 2.0, "> 2.000000", {0, 0, 1, 0, 1}},
        {kOpGreaterEqual, 2.0, ">= 2.000000", {0, 1, 1, 1, 1}},
        {kOpEqual, 2.0, "== 2.000000", {0, 1, 0, 1, 0}},
        {kOpGreater, 5.0, "> 5.000000", {0, 0, 0, 0, 0}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.text);
        int any = 0;
        for (int f : r.flags) any |= f;
        EXPECT_EQ(op.run_test(r.kind, r.x), any != 0);
        EXPECT_EQ(op.test_text(), r.text);
        const int place[5][2] = {{1, 1}, {1, 2}, {1, 3}, {2, 1}, {2, 2}};
        for (int k = 0; k < 5; ++k)
            EXPECT_EQ(op.passed(place[k][0], place[k][1]), r.flags[static_cast<size_t>(k)] != 0)
                << "link " << place[k][0] << " node " << place[k][1];
    }
    EXPECT_FALSE(op.run_test(kOpAdd, 0.0));  // arithmetic kinds compare nothing
}

TEST(AnalyzerReports, PrintLetterLayouts) {
    network n;
    network::set(n.rs.qp, {1.0, 12.5, 3.0, 20.0, 5.0});
    st2d_logical_op op;
    ASSERT_TRUE(op.bind(&n.rs.qp, 2, n.rs.nx, &n.rs.time, "flow"));
    ASSERT_TRUE(op.run_test(kOpGreater, 10.0));
    const std::string date = "06-01-2020, 0:0: 0";
    const std::string values =
        format("\n\nValues in the 2D stream array %s at %s: \n", "flow", date.c_str());
    const std::string logic = format(
        "\n\nResults for logic test of the 2D stream array %s at %s.  "
        "Nodes with values %s:\n",
        "flow", date.c_str(), "> 10.000000");
    const std::string passed_only =
        format("Link %3d, Node %3d\n", 1, 2) + format("Link %3d, Node %3d\n", 2, 1);
    std::string cells;  // [T, v] / [F, v] of every node
    const double v[5] = {1.0, 12.5, 3.0, 20.0, 5.0};
    const bool p[5] = {false, true, false, true, false};
    for (int k = 0; k < 5; ++k) cells += format(p[k] ? "[T, %6.4lf]" : "[F, %6.4lf]", v[k]);
    const struct {
        const char* letters;
        int flags;
        std::string text;
    } rows[] = {
        {"t after v", kPrintPassedOnly | kPrintConsole, values + passed_only},
        {"v after t", kPrintLinkRows | kPrintConsole,
         values + format("%4d:", 1) + "FTF\n" + format("%4d:", 2) + "TF\n"},
        {"s c", kPrintConsole | kPrintLogic,
         logic + cells + format("====> %d out of %d nodes passed the logic test.\n", 2, 5)},
        {"s", kPrintConsole, values + "FTFTF"},
        {"d with t", kPrintPassedOnly | kPrintValues | kPrintConsole,
         values + format("Link %3d, Node %3d", 1, 2) + format(":  %14.6lf\n", 12.5) +
             format("Link %3d, Node %3d", 2, 1) + format(":  %14.6lf\n", 20.0)},
        {"d without t", kPrintValues | kPrintConsole, values + cells},
        {"t c", kPrintPassedOnly | kPrintLogic | kPrintConsole,
         logic + passed_only + format("====> %d out of %d nodes passed the logic test.\n", 2, 5)},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.letters);
        EXPECT_EQ(op.report_text(r.flags, kAnalyzerStep), r.text);
    }
}

TEST(AnalyzerReports, PrintLettersParsedFromTheLine) {
    network n;
    temp_dir dir;
    network::set(n.rs.qp, {1.0, 12.5, 3.0, 20.0, 5.0});
    const struct {
        const char* letters;
        std::string expected;  // node part of the report
    } rows[] = {
        {"vt", format("Link %3d, Node %3d\n", 1, 2) + format("Link %3d, Node %3d\n", 2, 1)},
        {"tv", format("%4d:", 1) + "FTF\n" + format("%4d:", 2) + "TF\n"},
        {"s", "FTFTF"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.letters);
        const std::string set_up =
            read_lines(n.rs, dir, std::string("2DS flow S > 10 s") + r.letters + "\n");
        EXPECT_EQ(set_up, "Set up 1 analyzers...\n");
        const std::string out = notify(n.rs, kAnalyzerSimBegin);
        const std::string head =
            "\n\nValues in the 2D stream array flow at the beginning of the "
            "simulation at 06-01-2020, 0:0: 0: \n";
        EXPECT_EQ(out, head + r.expected);
    }
}

TEST(AnalyzerTests, DepthBelowACentimetreFlagsEveryDryNodeOnEveryLink) {
    network n;
    network::set(n.rs.bel, {10.0, 9.0, 8.0, 0.0, 6.0});
    // Dry, 5 mm, 2 cm, 1 cm exactly (not < 0.01), dry on the last node of the last link.
    network::set(n.rs.yp, {10.0, 9.005, 8.02, 0.01, 6.0});
    temp_dir dir;
    ASSERT_EQ(read_lines(n.rs, dir, "2DS depth S < 0.01 sd\n"), "Set up 1 analyzers...\n");
    const std::string out = notify(n.rs, kAnalyzerSimBegin);
    const double depth[5] = {0.0, 9.005 - 9.0, 8.02 - 8.0, 0.01, 0.0};
    std::string cells;
    for (double d : depth) cells += format(d < 0.01 ? "[T, %6.4lf]" : "[F, %6.4lf]", d);
    EXPECT_NE(out.find(cells), std::string::npos) << out;
    EXPECT_NE(out.find("[T, 0.0000][T, 0.0050][F, 0.0200]"), std::string::npos) << out;
    EXPECT_EQ(out.substr(out.size() - 22), "[F, 0.0100][T, 0.0000]") << out;
}

TEST(AnalyzerTests, ModifierCombinesTheSecondArray) {
    network n;
    network::set(n.rs.qp, {6.0, 6.0, 6.0, 6.0, 6.0});
    network::set(n.rs.area, {2.0, 0.0, -3.0, 1.0, 4.0});
    const struct {
        int kind;
        std::vector<double> expect;
    } rows[] = {
        {kOpAdd, {8.0, 6.0, 3.0, 7.0, 10.0}},
        {kOpSubtract, {4.0, 6.0, 9.0, 5.0, 2.0}},
        {kOpMultiply, {12.0, 0.0, -18.0, 6.0, 24.0}},
        {kOpDivide, {3.0, kDivideByZeroValue, -2.0, 6.0, 1.5}},
        {kOpNone, {6.0, 6.0, 6.0, 6.0, 6.0}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.kind);
        st2d_logical_op op;
        ASSERT_TRUE(op.bind(&n.rs.qp, 2, n.rs.nx, &n.rs.time, "flow"));
        op.set_modifier(r.kind, &n.rs.area);
        const int place[5][2] = {{1, 1}, {1, 2}, {1, 3}, {2, 1}, {2, 2}};
        for (int k = 0; k < 5; ++k)
            EXPECT_DOUBLE_EQ(op.value_with_modifier(place[k][0], place[k][1]),
                             r.expect[static_cast<size_t>(k)]);
    }
}

TEST(AnalyzerReports, DateText) {
    const double day_2000_02_28 = julian_day(2000, 2, 28, 12, 0, 0.0);  // whole day number
    const double day_1900_02_28 = julian_day(1900, 2, 28, 12, 0, 0.0);
    const struct {
        double julian;
        const char* text;
    } rows[] = {
        {day_2000_02_28 + 0.25, "02-28-2000, 18:0: 0"},
        {day_2000_02_28 + 0.75, "02-29-2000, 6:0: 0"},  // 2000 is a leap year
        {day_2000_02_28 + 1.75, "03-01-2000, 6:0: 0"},
        {day_1900_02_28 + 0.25, "02-28-1900, 18:0: 0"},
        {day_1900_02_28 + 0.75, "03-01-1900, 6:0: 0"},  // 1900 is not
        {kStart, "06-01-2020, 0:0: 0"},
        {kStart + 3661.0 / 86400.0, "06-01-2020, 1:1: 1"},
        {kStart + 3600.0 / 86400.0 - 1e-9, "06-01-2020, 1:0: 0"},  // a rounding error short
    };
    for (const auto& r : rows) EXPECT_EQ(analyzer_date_text(r.julian), r.text) << r.text;
    EXPECT_EQ(std::floor(day_2000_02_28), day_2000_02_28);
}

TEST(AnalyzerReports, MomentText) {
    const struct {
        int mask;
        const char* text;
    } rows[] = {
        {kAnalyzerStep, "06-01-2020, 0:0: 0"},
        {kAnalyzerEventBegin, "the beginning of an event at 06-01-2020, 0:0: 0"},
        {kAnalyzerEventEnd, "the end of an event at 06-01-2020, 0:0: 0"},
        {kAnalyzerSimBegin, "the beginning of the simulation at 06-01-2020, 0:0: 0"},
        {kAnalyzerSimEnd, "the end of simulation at 06-01-2020, 0:0: 0"},
        {kAnalyzerCrash, "the program crash point at 06-01-2020, 0:0: 0"},
    };
    for (const auto& r : rows) EXPECT_EQ(analyzer_moment_text(r.mask, kStart), r.text);
}

TEST(AnalyzerTiming, TimedChecksFallOnTheIntervalGridWithoutDrift) {
    const double dt = 7.0 / 86400.0;  // 7 s steps, days
    const struct {
        const char* what;
        int interval_s;
        int steps;
        int expected;  // reports over steps 0..steps
    } rows[] = {
        {"interval 0: every step", 0, 20, 21},
        {"interval below the step: every step", 3, 20, 21},
        {"one hour over ten hours of 7 s steps", 3600, 5143, 11},  // 0 h .. 10 h
        {"35 s, a multiple of the step", 35, 100, 21},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        network n;
        n.rs.time_tolerance = 1.1574074074074074e-7;
        temp_dir dir;
        read_lines(n.rs, dir, "2DS flow t == 0 c " + std::to_string(r.interval_s) + "\n");
        ASSERT_TRUE(n.rs.analyzers);
        analyzer& a = *n.rs.analyzers->items[0];
        int reports = 0;
        for (int s = 0; s <= r.steps; ++s) {
            n.rs.time = kStart + s * dt;
            a.last_check = -1.0;
            a.check_step(kAnalyzerStep);
            if (a.last_check == n.rs.time) ++reports;
        }
        EXPECT_EQ(reports, r.expected);
    }
}

TEST(AnalyzerTiming, CheckDueWithinTheToleranceIsNotSkipped) {
    network n;
    n.rs.time_tolerance = 1.1574074074074074e-7;
    temp_dir dir;
    read_lines(n.rs, dir, "2DS flow t == 0 c 60\n");
    analyzer& a = *n.rs.analyzers->items[0];
    a.check_step(kAnalyzerStep);                 // at the start
    n.rs.time = kStart + 60.0 / 86400.0 - 1e-9;  // a rounding error before the minute
    const double before = a.last_check;
    a.check_step(kAnalyzerStep);
    EXPECT_NE(a.last_check, before);
    EXPECT_NEAR(a.next_check, kStart + 120.0 / 86400.0, 1e-12);
    a.check_step(kAnalyzerEventBegin);  // not a trigger of this line
    EXPECT_EQ(a.last_check, n.rs.time);
}

TEST(Analyzer1DS, EachKeywordReadsItsOwnStore) {
    network n;
    n.constituents();
    // Every store holds its own values; node (link, node) at 4 x link + node.
    for (size_t c = 1; c <= 2; ++c)
        for (size_t i = 0; i < 12; ++i) {
            n.rs.con_chan.conc[c][i] = 100.0 * c + static_cast<double>(i);
            n.rs.con_chan.mass[c][i] = 1000.0 * c + static_cast<double>(i);
            n.rs.con_chan.qlat_mass[c][i] = 10000.0 * c + static_cast<double>(i);
        }
    const struct {
        const char* token;
        double base;
    } rows[] = {
        {"conc_2", 200.0},       {"conc_1", 100.0},       {"mass_2", 2000.0},
        {"qlatmass_2", 20000.0}, {"qlatmass_1", 10000.0},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.token);
        temp_dir dir;
        ASSERT_EQ(read_lines(n.rs, dir, std::string("1DS ") + r.token + " S > 0 sd\n"),
                  "Set up 1 analyzers...\n");
        const std::string out = notify(n.rs, kAnalyzerSimBegin);
        std::string cells;
        const int place[5] = {5, 6, 7, 9, 10};  // link 1 nodes 1..3, link 2 nodes 1..2
        for (int k : place) cells += format("[T, %6.4lf]", r.base + k);
        EXPECT_EQ(out, format("\n\nValues in the 2D stream array %s at %s: \n", r.token,
                              "the beginning of the simulation at 06-01-2020, 0:0: 0") +
                           cells);
    }
}

TEST(AnalyzerFile, BadLinesStopNamingFileAndLine) {
    const struct {
        const char* what;
        bool constituents;
        const char* line;
        const char* message;  // besides "Error: analyzer file <path>, line 2: "
    } rows[] = {
        {"unknown 2DS array", false, "2DS speed S > 1 s", "the 2DS array speed is not one"},
        {"unknown 1DS array", true, "1DS temp_1 S > 1 s", "Error: unable to find 1DS array [temp]"},
        {"store not kept: gwmass", true, "1DS gwmass_1 S > 1 s",
         "Error: unable to find 1DS array [gwmass]"},
        {"store not kept: nsmsource", true, "1DS nsmsource_1 S > 1 s", "[nsmsource]"},
        {"store not kept: pointconc", true, "1DS pointconc_1 S > 1 s", "[pointconc]"},
        {"store not kept: qlatconc", true, "1DS qlatconc_1 S > 1 s", "[qlatconc]"},
        {"index out of range", true, "1DS conc_3 S > 1 s",
         "Error: 1DS Analyzer for conc with index 3 is out of range. Range for index is 1 to 2."},
        {"index missing", true, "1DS conc S > 1 s", "is out of range"},
        {"no constituents", false, "1DS conc_1 S > 1 s",
         "Error: Setting up 1DS analyzer when no constituents are being modeled."},
        {"arithmetic operator", false, "2DS flow S + 1 s", "the operator must be one of"},
        {"=> is no operator", false, "2DS flow S => 1 s", "the operator must be one of"},
        {"threshold missing", false, "2DS flow S >", "the threshold is missing"},
        {"threshold not a number", false, "2DS flow S > ten s", "the threshold is not a number"},
        {"threshold not finite", false, "2DS flow S > nan s", "the threshold is not finite"},
        {"interval missing", false, "2DS flow tS > 1 s",
         "the interval in seconds after the trigger 't' is missing"},
        {"interval negative", false, "2DS flow t > 1 s -5", "is negative"},
        {"file name missing", false, "2DS flow S > 1 sf",
         "the output file name after the print letter 'f' is missing"},
        {"interval then file name missing", false, "2DS flow t > 1 sf 60", "the output file name"},
        {"output cannot be opened", false, "2DS flow S > 1 sf /nonexistent/flow.txt",
         "the output file /nonexistent/flow.txt cannot be opened for writing"},
        {"output is the analyzer file", false, "2DS flow S > 1 sf @an.txt",
         "an output never overwrites an input"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        network n;
        if (r.constituents) n.constituents();
        temp_dir dir;
        std::string line = r.line;
        if (line.find('@') != std::string::npos) line.replace(line.find('@'), 1, dir.path() + "/");
        const std::string out =
            read_lines(n.rs, dir, "# comment\n" + line + "\r\n2DS flow S > 1 s\n");
        EXPECT_NE(out.find(r.message), std::string::npos) << out;
        EXPECT_NE(out.find("Error: analyzer file " + dir.file("an.txt") + ", line 2: "),
                  std::string::npos)
            << out;
        EXPECT_EQ(error_record.code, kErrorPrinted);
        EXPECT_FALSE(n.rs.analyzers);
        EXPECT_EQ(out.find("Set up"), std::string::npos);
        error_record = error_info();
    }
}

TEST(AnalyzerFile, OtherTypesAndCommentsAreSkipped) {
    network n;
    temp_dir dir;
    const std::string out =
        read_lines(n.rs, dir,
                   "# 2DS nothing here\n2DG depth S < 1 s\n1DS conc_1 S > 1 s\r\n" +
                       std::string(30000, ' ') + "\nNSM_OV x\n2DS area tS >= 0 sf 0 a.out\n");
    // The 1DS line fails without constituents: only that line is refused.
    EXPECT_NE(out.find("line 3"), std::string::npos) << out;
    error_record = error_info();
    network m;
    m.constituents();
    const std::string ok = read_lines(
        m.rs, dir,
        "# 2DS nothing here\n2DG depth S < 1 s\n1DS conc_1 S > 1 s\r\n" + std::string(30000, ' ') +
            "\nNSM_OV x\n2DS area tS >= 0 sf 0 " + dir.file("a.out") + "\n");
    EXPECT_EQ(ok, "Set up 2 analyzers...\n");
    EXPECT_EQ(error_record.code, 0);
    ASSERT_TRUE(m.rs.analyzers);
    EXPECT_TRUE(m.rs.analyzers->items[1]->out_file.is_open());
    notify(m.rs, kAnalyzerSimBegin);
    release_analyzers(m.rs);
    EXPECT_EQ(read_file(dir.file("a.out")),
              "\n\nValues in the 2D stream array area at the beginning of the simulation at "
              "06-01-2020, 0:0: 0: \nTTTTT");
}

TEST(AnalyzerFile, MissingFileIsAnError) {
    network n;
    testing::internal::CaptureStdout();
    read_analyzer_file(n.rs, "/nonexistent/an.txt");
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(
        out.find("Error: the analyzer file /nonexistent/an.txt (card ANALYZERS) cannot be opened."),
        std::string::npos);
    EXPECT_EQ(error_record.code, kErrorPrinted);
}
