// Analyzers through the program: a valley whose one channel link is fed by
// two steady point inflows, so the discharge of every node is known once the
// flow has settled; reports at the simulation start and every hour, at the
// moments of events, the end and a failure inside the time loop, refused
// lines, a batch of two runs, constituent stores of a real run, and the same
// reports with one and eight threads.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "fixture.h"
#include "pluvo_test.h"
#include "valley.h"

using namespace pluvo_test;

namespace {

constexpr int kRows = 30;        // cells along the channel, one node under each
constexpr double kInflow = 6.0;  // each point inflow, m3/s
constexpr int kSecondInflowNode = 15;

std::string format(const char* f, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* f, ...) {
    char buffer[1024];
    va_list args;
    va_start(args, f);
    std::vsnprintf(buffer, sizeof buffer, f, args);
    va_end(args);
    return buffer;
}

struct analyzer_case {
    int total_minutes = 120;
    int threads = 0;
    std::string analyzers;                                   // text of the analyzer file an.txt
    std::vector<std::string> drop;                           // cards of the valley project left out
    std::vector<std::pair<std::string, std::string>> cards;  // further or replaced cards
};

// rows x 3 cells of 10 m; the middle column holds one trapezoid link (10 m
// wide at the bottom, 2 m deep) with a node under each cell; 6 m3/s enter at node 1 and 6 m3/s at
// node 15 for the whole run, so at steady flow nodes 1..14 carry 6 m3/s and the nodes below the
// second inflow 12 m3/s.
void write_case(const std::string& dir, const analyzer_case& c) {
    grid_spec g;
    g.rows = kRows;
    g.cols = 3;
    g.cell = 10.0;
    g.north = kRows * 10.0;
    const double slope = 0.005;
    write_grid(
        dir + "/mask.asc", g, [](int, int) { return 1.0; }, 0);
    write_grid(dir + "/elev.asc", g, [&](int r, int col) {
        return 100.0 + slope * 10.0 * (kRows - r) + 0.1 * std::abs(col - 2);
    });
    write_valley_channel(dir, kRows, 2, 10.0, slope);
    // A wider, deeper section than the valley's, so 12 m3/s stay within the banks.
    std::string chan = read_file(dir + "/valley.chn");
    const std::string xsec = "BOTTOM_WIDTH 2.0\nSIDE_SLOPE 1.0\nBANKFULL_DEPTH 1.0\n";
    chan.replace(chan.find(xsec), xsec.size(),
                 "BOTTOM_WIDTH 10.0\nSIDE_SLOPE 1.0\nBANKFULL_DEPTH 2.0\n");
    write_file(dir + "/valley.chn", chan);
    write_file(dir + "/pts.txt", format("NUMPT 2\nPOINT 1 1 %.1f\nPOINT %d 1 %.1f\nNRPDS 0\n",
                                        kInflow, kSecondInflowNode, kInflow));
    write_file(dir + "/an.txt", c.analyzers);
    project_file p = valley_project({kRows, 3, 10.0, 2, slope, c.total_minutes, 5.0, 0.001, 1});
    p.card("CHAN_POINT_INPUT", "pts.txt").card("ANALYZERS", "an.txt");
    for (const std::string& keyword : c.drop) p.remove(keyword);
    for (const auto& card : c.cards) p.remove(card.first).card(card.first, card.second);
    if (c.threads > 0) p.card("NUM_THREADS", std::to_string(c.threads));
    p.write(dir + "/valley.prj");
}

const std::string kStartDate = "06-01-2020, ";

std::string values_header(const std::string& array, const std::string& moment) {
    return format("\n\nValues in the 2D stream array %s at %s: \n", array.c_str(), moment.c_str());
}

std::string logic_header(const std::string& array, const std::string& moment,
                         const std::string& test) {
    return format(
        "\n\nResults for logic test of the 2D stream array %s at %s.  Nodes with "
        "values %s:\n",
        array.c_str(), moment.c_str(), test.c_str());
}

}  // namespace

TEST(AnalyzerProgram, FlowAboveTenListedAtTheStartAndEveryHour) {
    temp_dir dir;
    analyzer_case c;
    c.analyzers = "# discharge above 10 m3/s\n2DS flow tS > 10 tsf 3600 flow.txt\n";
    write_case(dir.path(), c);
    const run_result r = run_pluvo({"valley.prj"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Set up 1 analyzers...\n"), std::string::npos);

    // At the start the channel is dry: no node listed. After an hour the two
    // inflows have settled: the nodes at and below the second inflow carry
    // 12 m3/s (the inflow enters its node's discharge), the others 6.
    std::string below;
    for (int node = kSecondInflowNode; node <= kRows; ++node)
        below += format("Link %3d, Node %3d\n", 1, node);
    const std::string expected =
        values_header("flow", "the beginning of the simulation at " + kStartDate + "0:0: 0") +
        values_header("flow", kStartDate + "0:0: 0") +
        values_header("flow", kStartDate + "1:0: 0") + below +
        values_header("flow", kStartDate + "2:0: 0") + below;
    EXPECT_EQ(read_file(dir.file("flow.txt")), expected);
    // The console holds the same reports.
    size_t from = 0;
    for (const char* hour : {"1:0: 0", "2:0: 0"}) {
        const std::string block = values_header("flow", kStartDate + hour) + below;
        from = r.out.find(block, from);
        EXPECT_NE(from, std::string::npos) << hour << "\n" << r.out;
    }
}

TEST(AnalyzerProgram, MomentsOfEventsTheEndAndAFailure) {
    // Event beginning and end and the simulation end of a normal run, with
    // gage rain (the event search announces the event) and with uniform rain
    // (its one event begins at the start; it used to be never announced).
    for (const bool gage : {true, false}) {
        SCOPED_TRACE(gage ? "gage rain" : "uniform rain");
        temp_dir dir;
        analyzer_case c;
        c.total_minutes = 30;
        c.analyzers = "2DS depth Ees < 0.01 cf moments.txt\n";
        if (gage) {
            c.drop = {"PRECIP_UNIF", "RAIN_INTENSITY", "RAIN_DURATION"};
            c.cards = {{"PRECIP_FILE", "rain.gag"}, {"RAIN_INV_DISTANCE", ""}};
        }
        write_case(dir.path(), c);
        write_file(dir.file("rain.gag"),
                   "EVENT \"storm\"\nNRGAG 1\nNRPDS 2\nCOORD 15 150\n"
                   "GAGES 2020 6 1 0 0 1.0\nGAGES 2020 6 1 0 10 0\n");
        const run_result r = run_pluvo({"valley.prj"}, dir.path());
        ASSERT_EQ(r.status, 0) << r.out;
        const std::string text = read_file(dir.file("moments.txt"));
        const std::string begin =
            logic_header("depth", "the beginning of an event at " + kStartDate + "0:0: 0", "< 0.010000");
        EXPECT_EQ(count_of(text, begin), 1) << text;
        EXPECT_NE(text.find("at the end of an event at " + kStartDate), std::string::npos) << text;
        EXPECT_NE(text.find(logic_header(
                      "depth", "the end of simulation at " + kStartDate + "0:30: 0", "< 0.010000")),
                  std::string::npos)
            << text;
        EXPECT_EQ(text.find("crash"), std::string::npos);
        // The end of the run: the channel runs full, no node is below 1 cm.
        const size_t end = text.rfind("the end of simulation");
        EXPECT_NE(
            text.find(format("====> %d out of %d nodes passed the logic test.\n", 0, kRows), end),
            std::string::npos)
            << text;
    }
    // A map file that cannot be written stops the run inside the time loop.
    {
        temp_dir dir;
        analyzer_case c;
        c.total_minutes = 30;
        c.analyzers = "2DS flow sc >= 0 cf moments.txt\n";
        c.cards = {{"MAP_TYPE", "0"}, {"DEPTH", "maps"}, {"MAP_FREQ", "10"}};
        write_case(dir.path(), c);
        std::filesystem::create_directories(dir.file("maps/depth.0003.asc"));
        const run_result r = run_pluvo({"valley.prj"}, dir.path());
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_NE(r.out.find("Running...."), std::string::npos) << r.out;
        const std::string text = read_file(dir.file("moments.txt"));
        EXPECT_EQ(text.find("the end of simulation"), std::string::npos) << text;
        const std::string head =
            "\n\nResults for logic test of the 2D stream array flow at the "
            "program crash point at " +
            kStartDate + "0:20:";
        EXPECT_EQ(text.substr(0, head.size()), head) << text;
        EXPECT_NE(
            text.find(format("====> %d out of %d nodes passed the logic test.\n", kRows, kRows)),
            std::string::npos)
            << text;
    }
}

TEST(AnalyzerProgram, BadLineStopsTheRunNamingFileAndLine) {
    const struct {
        const char* what;
        const char* text;
        const char* message;
    } rows[] = {
        {"unknown array", "2DG x\n2DS speed S > 1 s\n",
         "Error: analyzer file an.txt, line 2: the 2DS array speed is not one of depth, area and "
         "flow"},
        {"no constituents", "1DS conc_1 S > 1 s\n",
         "Error: Setting up 1DS analyzer when no constituents are being modeled."},
        {"output is an input map", "2DS flow S > 1 sf elev.asc\n",
         "Error: analyzer file an.txt, line 1, names the output file elev.asc, which is the input "
         "file elev.asc of card ELEVATION; an output never overwrites an input"},
        {"output is the summary", "2DS flow S > 1 sf valley.sum\n",
         "Error: analyzer file an.txt, line 1, names the output file valley.sum, which is also "
         "the output file valley.sum of card SUMMARY"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        temp_dir dir;
        analyzer_case c;
        c.analyzers = row.text;
        write_case(dir.path(), c);
        const std::string elevation = read_file(dir.file("elev.asc"));
        const run_result r = run_pluvo({"valley.prj"}, dir.path());
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.out.find(row.message), std::string::npos) << r.out;
        EXPECT_EQ(read_file(dir.file("elev.asc")), elevation);
        EXPECT_EQ(r.out.find("Running...."), std::string::npos);
    }
    temp_dir dir;
    analyzer_case c;
    write_case(dir.path(), c);
    std::filesystem::remove(dir.file("an.txt"));
    const run_result r = run_pluvo({"valley.prj"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Error: the analyzer file an.txt (card ANALYZERS) cannot be opened."),
              std::string::npos)
        << r.out;
}

TEST(AnalyzerProgram, BatchOfTwoRunsWritesTwoPrefixedFiles) {
    temp_dir dir;
    analyzer_case c;
    c.total_minutes = 30;
    // The threshold comes from the replacement values: 1 m3/s, then 7 m3/s.
    c.analyzers = "2DS flow tS > [THR] tdf 600 flow.txt\n";
    c.cards = {{"REPLACE_PARAMS", "params.txt"}, {"REPLACE_VALS", "values.txt"}};
    write_case(dir.path(), c);
    write_file(dir.file("params.txt"), "1\n[THR] \"%3.1lf\"\n");
    write_file(dir.file("values.txt"), "1\n7\n");
    const run_result r = run_pluvo({"-b2", "valley.prj"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(count_of(r.out, "Set up 1 analyzers...\n"), 2) << r.out;
    EXPECT_FALSE(file_exists(dir.file("flow.txt")));
    const int first_listed[2] = {1, kSecondInflowNode};
    for (int k = 0; k < 2; ++k) {
        const std::string text = read_file(dir.file(format("%04d_flow.txt", k)));
        // Each run has its own analyzer: the simulation start and the timed
        // checks at 0, 10, 20 and 30 min, once each.
        EXPECT_EQ(count_of(text, "Values in the 2D stream array flow"), 5) << text;
        const std::string last = values_header("flow", kStartDate + "0:30: 0");
        const size_t at = text.find(last);
        ASSERT_NE(at, std::string::npos) << text;
        std::string listed;
        for (const std::string& line : split_lines(text.substr(at + last.size())))
            if (line.rfind("Link", 0) == 0) listed += line.substr(0, 18) + "\n";
        std::string expected;
        for (int node = first_listed[k]; node <= kRows; ++node)
            expected += format("Link %3d, Node %3d\n", 1, node);
        EXPECT_EQ(listed, expected) << "run " << k;
    }
}

// Two contaminants: only the second comes with the rain (10 g/m3, no decay,
// no loss), so at the end every channel node carries it at the rain's
// concentration (reference 10 g/m3, within 1 %) and none of the first.
TEST(AnalyzerProgram, ConstituentArraysOfARealRun) {
    temp_dir dir;
    analyzer_case c;
    c.total_minutes = 30;
    c.analyzers =
        "1DS conc_2 s > 9.9 cf c2_above.txt\n1DS conc_2 s < 10.1 cf c2_below.txt\n"
        "1DS conc_1 s == 0 cf c1.txt\n1DS conc_1 s > 9.9 cf c1_above.txt\n"
        "1DS mass_2 s > 0 cf m2.txt\n";
    c.drop = {"CHAN_POINT_INPUT"};
    c.cards = {{"RAIN_INTENSITY", "50"}, {"RAIN_DURATION", "30"}, {"MAPPING_TABLE", "table.cmt"},
               {"OV_CON_TRANS", ""}, {"CHAN_CON_TRANS", ""}};
    write_case(dir.path(), c);
    grid_spec g;
    g.rows = kRows;
    g.cols = 3;
    g.north = kRows * 10.0;
    write_grid(dir.file("con.idx"), g, [](int, int) { return 1.0; }, 0);
    std::string row = "1     row";
    row.resize(86, ' ');
    row += "0 0 0 0 0 0 0 0\n";
    write_file(dir.file("table.cmt"),
               "PLUVO_INDEX_MAP_TABLES\nINDEX_MAP con.idx \"Con\"\nCONTAMINANT_TRANSPORT\n"
               "NUM_CONTAM 2\n\"Zero\" \"Con\" \"zero\"\nPRECIP_CONC 0\nNUM_IDS 1\n"
               "ID    DESCRIPTION\n" + row +
               "\"Tracer\" \"Con\" \"tracer\"\nPRECIP_CONC 10\nNUM_IDS 1\n"
               "ID    DESCRIPTION\n" + row);
    const run_result r = run_pluvo({"valley.prj"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Set up 5 analyzers...\n"), std::string::npos) << r.out;
    const struct {
        const char* file;
        const char* array;
        const char* test;
        int passed;
    } rows[] = {
        {"c2_above.txt", "conc_2", "> 9.900000", kRows},
        {"c2_below.txt", "conc_2", "< 10.100000", kRows},
        {"c1.txt", "conc_1", "== 0.000000", kRows},
        {"c1_above.txt", "conc_1", "> 9.900000", 0},
        {"m2.txt", "mass_2", "> 0.000000", kRows},
    };
    for (const auto& row_case : rows) {
        SCOPED_TRACE(row_case.file);
        const std::string text = read_file(dir.file(row_case.file));
        EXPECT_EQ(text.rfind(logic_header(row_case.array,
                                          "the end of simulation at " + kStartDate + "0:30: 0",
                                          row_case.test),
                             0),
                  0u)
            << text;
        EXPECT_NE(text.find(format("====> %d out of %d nodes passed the logic test.\n",
                                   row_case.passed, kRows)),
                  std::string::npos)
            << text;
    }
}

TEST(AnalyzerProgram, SameReportsWithOneOrEightThreads) {
    std::string reports[2];
    const int threads[2] = {1, 8};
    for (int k = 0; k < 2; ++k) {
        temp_dir dir;
        analyzer_case c;
        c.total_minutes = 30;
        c.threads = threads[k];
        c.analyzers = "2DS depth tSs >= 0.2 vdf 120 depth.txt\n2DS flow t > 3 tdf 0 flow.txt\n";
        write_case(dir.path(), c);
        const run_result r =
            run_pluvo({"valley.prj"}, dir.path(), "", {parallel_from_cells_env(16)});
        ASSERT_EQ(r.status, 0) << r.out;
        reports[k] = read_file(dir.file("depth.txt")) + read_file(dir.file("flow.txt"));
    }
    EXPECT_GT(count_of(reports[0], "Link   1, Node"), 100);
    EXPECT_EQ(reports[0], reports[1]);
}
