// The program with channel point inputs: a dry valley whose one channel link
// is fed (or drained) at chosen nodes by a point-source file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "fixture.h"
#include "pluvo_test.h"
#include "valley.h"

using namespace pluvo_test;

namespace {

// rows x 3 cells of 10 m; the middle column holds one trapezoid link with a
// node under each cell, 1 m below the ground, falling 0.005 m/m to the south.
struct point_case {
    int rows = 30;
    int total_minutes = 60;
    int timestep = 5;          // s
    double rain_mm_h = 0.001;  // a trace of rain for one minute (a run needs rain): ~5e-5 m3
    int threads = 0;
    std::string points;        // text of the point-source file
};

void write_case(const std::string& dir, const point_case& c) {
    grid_spec g;
    g.rows = c.rows;
    g.cols = 3;
    g.cell = 10.0;
    g.north = c.rows * 10.0;
    const double slope = 0.005;
    write_grid(dir + "/mask.asc", g, [](int, int) { return 1.0; }, 0);
    write_grid(dir + "/elev.asc", g, [&](int r, int col) {
        return 100.0 + slope * 10.0 * (c.rows - r) + 0.1 * std::abs(col - 2);
    });
    write_valley_channel(dir, c.rows, 2, 10.0, slope);
    if (!c.points.empty()) write_file(dir + "/pts.txt", c.points);

    project_file p = valley_project({c.rows, 3, 10.0, 2, slope, c.total_minutes,
                                     static_cast<double>(c.timestep), c.rain_mm_h, 1});
    p.card("CHAN_POINT_INPUT", "pts.txt")
        .card("SUPER_QUIET");
    if (c.threads > 0) p.card("NUM_THREADS", std::to_string(c.threads));
    p.write(dir + "/valley.prj");
}

double summary_value(const std::string& text, const std::string& label) {
    const size_t at = text.find(label);
    if (at == std::string::npos) return std::nan("");
    return std::atof(text.c_str() + at + label.size());
}

// The event balance of the summary closes to 1e-9 relative.
void expect_balance(const std::string& summary) {
    const double in = summary_value(summary, "Mass input + original mass:");
    const double out = summary_value(summary, "Mass output + final mass:");
    ASSERT_FALSE(std::isnan(in)) << summary;
    EXPECT_GT(in, 0.0);
    EXPECT_NEAR(out, in, 1e-9 * in) << summary;
    EXPECT_LT(std::fabs(summary_value(summary, "Overall mass balance error =")), 1e-6) << summary;
}

// 2 m3/s at the head node for the whole hour: the outlet carries it at the
// end, the booked volume is Q t, the balance closes, threads change nothing.
TEST(ChannelPointInputs, SteadyInflowReachesTheOutletAndIsBookedAsQTimesT) {
    const double q = 2.0;        // m3/s
    const double t = 3600.0;     // s
    point_case c;
    c.points = "NUMPT 1\nPOINT 1 1 2.0\nNRPDS 0\n";
    std::string summaries[2], hydrographs[2];
    for (int k = 0; k < 2; ++k) {
        temp_dir dir;
        c.threads = k == 0 ? 1 : 8;
        write_case(dir.path(), c);
        const run_result r = run_pluvo({"valley.prj"}, dir.path());
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        summaries[k] = read_file(dir.file("valley.sum"));
        hydrographs[k] = read_file(dir.file("valley.otl"));
        if (k > 0) continue;
        const auto rows = read_hydrograph(dir.file("valley.otl"));
        ASSERT_FALSE(rows.empty());
        for (const auto& row : rows) {
            if (row.first >= 50.0) {
                EXPECT_NEAR(row.second, q, 0.01 * q) << "minute " << row.first;
            }
        }
        EXPECT_NEAR(summary_value(summaries[k], "Total channel point sources="), q * t, 0.01)
            << summaries[k];
        expect_balance(summaries[k]);
    }
    EXPECT_EQ(hydrographs[0], hydrographs[1]);
    EXPECT_EQ(without_timing(summaries[0]), without_timing(summaries[1]));
}

// A record dated at 600 s with 7 s steps (steps at 595 and 602 s) is put in
// force at 602 s and feeds the channel from then to the end (4200 s).
TEST(ChannelPointInputs, RecordDatedBetweenStepsAppliesFromTheNextStep) {
    point_case c;
    c.timestep = 7;
    c.total_minutes = 70;
    c.points = "numpt 1\npoint 1 1 0.0\nnrpds 1\ninput 2020 6 1 0 10\r\n1.5\r\n";
    temp_dir dir;
    write_case(dir.path(), c);
    const run_result r = run_pluvo({"valley.prj"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::string summary = read_file(dir.file("valley.sum"));
    EXPECT_NEAR(summary_value(summary, "Total channel point sources="), 1.5 * (4200.0 - 602.0),
                0.01)
        << summary;
    expect_balance(summary);
}

// A withdrawal of 1 m3/s two nodes below an inflow of 0.5 m3/s can only take
// what reaches its node: no node goes dry below zero, the rest is unmet, and
// sources = sinks + outlet + storage.
TEST(ChannelPointInputs, WithdrawalStopsAtTheNodesWaterAndTheRestIsUnmet) {
    point_case c;
    c.points = "NUMPT 2\nPOINT 1 1 0.5\nPOINT 3 1 -1.0\n";
    temp_dir dir;
    write_case(dir.path(), c);
    const run_result r = run_pluvo({"valley.prj"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::string summary = read_file(dir.file("valley.sum"));
    const double in = summary_value(summary, "Total channel point sources=");
    const double sinks = summary_value(summary, "Total channel point sinks=");
    const double unmet = summary_value(summary, "Point withdrawals unmet=");
    EXPECT_NEAR(in, 0.5 * 3600.0, 0.01) << summary;
    EXPECT_NEAR(sinks + unmet, 1.0 * 3600.0, 0.02) << summary;
    EXPECT_GT(unmet, 0.4 * 3600.0);   // at least the 0.5 m3/s the node never receives
    EXPECT_LE(sinks, in + 0.01);
    expect_balance(summary);
}

TEST(ChannelPointInputs, BadFilesStopNamingFileAndLine) {
    struct bad_case {
        const char* text;   // the point-source file (null: not written)
        const char* where;  // expected in the message
    };
    const bad_case cases[] = {
        {"NUMPT 1\nPOINT 1 2 2.0\n", "pts.txt, line 2: link 2 is not a link of the network"},
        {"NUMPT 1\nPOINT 0 1 2.0\n", "pts.txt, line 2: node 0 is not a node of link 1"},
        {"NUMPT 1\nPOINT 31 1 2.0\n", "pts.txt, line 2: node 31 is not a node of link 1"},
        {"NUMPT 1\nPOINT 1 1 nan\n", "pts.txt, line 2: the flow in m3/s \"nan\" is not"},
        {"NUMPT 1\nPOINT 1 1 1\nNRPDS 1\nIMPUT 2020 6 1 0 10\n1\n",
         "pts.txt, line 4: record 1 does not start with the word INPUT"},
        {"NUMPT 1\nPOINT 1 1 1\nNRPDS 1\n2020 6 1 0 10\n1\n",
         "pts.txt, line 4: record 1 does not start with the word INPUT"},
        {"NUMPT 1\nPOINT 1 1 1\nNRPDS 2\nINPUT 2020 6 1 0 10\n1\nINPUT 2020 6 1 0 10\n2\n",
         "pts.txt, line 6: the date of record 2 is not later than the date of record 1"},
        {"NUMPT 1\nPOINT 1 1 1\nNRPDS 1\nINPUT 2020 2 30 0 10\n1\n",
         "pts.txt, line 4: 2020-02-30 is not a date"},
        {"NUMPT 1\nPOINT 1 1 1\nNRPDS 3\nINPUT 2020 6 1 0 10\n1\nINPUT 2020 6 1 0 20\n2\n",
         "record 3 of 3 is missing"},
        {nullptr, "the channel point-source file pts.txt (card CHAN_POINT_INPUT) cannot be"},
    };
    for (const bad_case& b : cases) {
        SCOPED_TRACE(b.text ? b.text : "(no file)");
        temp_dir dir;
        point_case c;
        c.total_minutes = 5;
        if (b.text) c.points = b.text;
        write_case(dir.path(), c);
        const run_result r = run_pluvo({"valley.prj"}, dir.path());
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_NE(r.out.find("Error: "), std::string::npos) << r.out;
        EXPECT_NE(r.out.find(b.where), std::string::npos) << r.out;
        EXPECT_EQ(read_hydrograph(dir.file("valley.otl")).size(), 0u);
    }
}

}  // namespace
