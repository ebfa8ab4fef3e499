// The program with storm drains under load: a manhole that surcharges to
// its ground and spills what its pipes cannot carry, a deep manhole over a
// small pipe under a heavy storm, a design storm that fills the network and
// drains away, and a chain of pipes in steady flow whose
// booked storage is the water its depths stand for. Every run closes its
// event and run balances with the drains included, and writes the same
// files with 1 and with 8 threads.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "fixture.h"
#include "pluvo_test.h"
#include "sd_e2e_checks.h"
#include "sd_test_support.h"

using namespace pluvo_test;

namespace {

constexpr double kPi = 3.14159265358979323846;

// A manhole on cell (3, 3) of a plane of 7 x 5 cells of 10 m falling 0.01 to
// the south, the cell a pit 0.5 m deep so that the water given to it
// gathers over the inlet; a superlink of `pipes` equal circular pipes from
// the manhole's bottom to an 888 outfall onto cell (7, 1) whose head stands
// `outfall_above` m above the last pipe's invert.
struct chain_spec {
    int count = 5;
    double D = 0.3;              // m
    double length = 50.0;        // m per pipe
    double slope = 0.005;
};

struct storm_spec {
    double mm_h = 0.001;         // the plane's rain
    int minutes = 1;
};

struct manhole_case {
    double depth = 2.5;          // m, ground to bottom
    double area = 5.0;           // m2
    chain_spec pipes;
    double outfall_above = 0.3;  // m
    double inflow = 0.0;         // m3/s of an overland point source on the pit, 0 for none
    storm_spec rain;
    int minutes = 40;
    double timestep = 2.0;       // s
    bool release = true;
    int threads = 1;
};

manhole_case loaded(double depth, double area, const chain_spec& pipes, double inflow) {
    manhole_case c;
    c.depth = depth;
    c.area = area;
    c.pipes = pipes;
    c.inflow = inflow;
    return c;
}

constexpr double kGround = 99.9;   // m, the pit's ground: 100 + 0.1 x (7 - 3) - 0.5

double end_invert(const manhole_case& c) { return kGround - c.depth - c.pipes.count * c.pipes.length * c.pipes.slope; }

std::string manhole_network(const manhole_case& c) {
    std::ostringstream n;
    const double bottom = kGround - c.depth;
    n << "SJUNC 1 " << kGround << " " << bottom << " " << c.area << " 1 3 3 0.6 0.6\n";
    n << "SJUNC 2 100.0 " << end_invert(c) + c.outfall_above << " 0 888 7 1 0 0\n";
    const chain_spec& p = c.pipes;
    n << "CONNECT 1 1 2\nSLINK 1 " << p.count << "\n";
    for (int k = 1; k <= p.count + 1; ++k) {
        const bool first = k == 1, last = k == p.count + 1;
        n << "NODE " << k << " 100.4 " << bottom - p.slope * p.length * (k - 1) << " 0 0 "
          << (first ? "3 3" : last ? "7 1" : "0 0") << " 0 0\n";
    }
    for (int k = 1; k <= p.count; ++k)
        n << "PIPE " << k << " 1 " << p.D << " 0 " << p.slope << " 0.013 " << p.length << " 0 0\n";
    return n.str();
}

run_result run_manhole(const temp_dir& dir, const manhole_case& c) {
    plane_case pc;
    pc.grid.rows = 7;
    pc.grid.cols = 5;
    pc.grid.cell = 10.0;
    pc.slope = 0.01;
    pc.rain_mm_h = c.rain.mm_h;
    pc.rain_minutes = c.rain.minutes;
    pc.total_minutes = c.minutes;
    pc.timestep = c.timestep;
    pc.hyd_freq = 0.01;   // every step
    pc.threads = c.threads;
    project_file p = write_plane_case(dir.path(), pc);
    write_grid(dir.file("elev.asc"), pc.grid, [](int r, int col) {
        return 100.0 + 0.1 * (7 - r) - (r == 3 && col == 3 ? 0.5 : 0.0);
    }, 9);
    write_file(dir.file("drains.txt"), manhole_network(c));
    write_file(dir.file("junctions.txt"), "1\n1\n");
    p.card("STORM_SEWER", "drains.txt")
        .card("PIPE_HEAD", "head.out")
        .card("SUPERLINK_JUNC_LOCATION", "junctions.txt")
        .card("SUPERLINK_JUNC_FLOW", "junction.out");
    if (c.inflow > 0.0) {
        write_file(dir.file("sources.txt"), "1\n3 3 " + std::to_string(c.inflow) + "\n");
        p.card("OV_POINT_SOURCE", "sources.txt");
    }
    if (c.release) p.card("HIGH_HEAD_RELEASE");
    p.write(dir.file("plane.prj"));
    return run_pluvo({"plane.prj"}, dir.path(), "", {parallel_from_cells_env(8)});
}

// The run of `c` with 8 threads writes the files of the run in `one`.
void expect_same_with_eight_threads(manhole_case c, const temp_dir& one) {
    c.threads = 8;
    temp_dir eight;
    ASSERT_EQ(run_manhole(eight, c).status, 0);
    for (const char* name : {"superlink_flows.out", "head.out", "junction.out", "outlet.hyd", "summ.out"})
        EXPECT_EQ(read_file(one.file(name)), read_file(eight.file(name))) << name;
}

// Node depths of every block of a PIPE_HEAD file (one superlink), m.
std::vector<std::vector<double>> head_blocks(const std::string& text) {
    std::vector<std::vector<double>> blocks;
    const std::vector<std::string> lines = split_lines(text);
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
        if (lines[i].rfind("TS", 0) != 0) continue;
        std::istringstream in(lines[i + 1]);
        int n = 0, one = 0;
        in >> n;
        std::vector<double> d(static_cast<size_t>(n), 0.0);
        for (double& v : d) in >> one >> v;
        blocks.push_back(d);
    }
    return blocks;
}

// Second column of the junction series, one row a step (m3/s).
std::vector<double> junction_series(const std::string& text) {
    std::vector<double> q;
    for (const std::string& line : split_lines(text)) {
        double t = 0.0, v = 0.0;
        if (std::sscanf(line.c_str(), "%lf %lf", &t, &v) == 2) q.push_back(v);
    }
    return q;
}

// Full-pipe flow by Manning (n 0.013) with the velocity head lost at the
// outfall: dH = Q^2 / (2 g A^2) + n^2 Q^2 L / (A^2 R^(4/3)), m3/s.
double pressurised_capacity(double dH, double D, double L) {
    const double A = kPi * D * D / 4.0, R = D / 4.0, n = 0.013;
    return A * std::sqrt(dH / (1.0 / (2.0 * 9.81) + n * n * L / std::pow(R, 4.0 / 3.0)));
}

// Water of the manhole's network at node depths h (m, first node at the
// manhole): the shaft to its head and each node's half pipes at its depth, m3.
double chain_water(const manhole_case& c, const std::vector<double>& h) {
    sd_pipe pipe;
    pipe.type = kSectionCircle;
    pipe.size = c.pipes.D;
    double water = c.area * h[0];
    for (size_t k = 0; k < h.size(); ++k) {
        const double lengths = (k == 0 || k + 1 == h.size() ? 0.5 : 1.0) * c.pipes.length;
        water += lengths * sd_test::pipe_water(pipe, h[k]);
    }
    return water;
}

TEST(StormDrainUnderLoad, SurchargingManholeSpillsWhatItsPipesCannotCarry) {
    const manhole_case c = loaded(2.5, 5.0, chain_spec(), 0.15);
    temp_dir one;
    const run_result r = run_manhole(one, c);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    expect_same_with_eight_threads(c, one);

    // Pipes full; the manhole's head at its ground (its first node 2.5 m deep).
    const std::vector<std::vector<double>> heads = head_blocks(read_file(one.file("head.out")));
    ASSERT_FALSE(heads.empty());
    const std::vector<double>& last = heads.back();
    ASSERT_EQ(last.size(), 6u);
    EXPECT_NEAR(last[0], c.depth, 1e-5);
    for (double h : last) EXPECT_GE(h, c.pipes.D);

    // The inlet takes what the full pipes carry under the manhole's head down
    // to the outfall's; the rest stays on the surface (3 % of it).
    const chain_spec& p = c.pipes;
    const double capacity =
        pressurised_capacity(c.depth + p.count * p.length * p.slope - c.outfall_above, p.D, p.count * p.length);
    const std::vector<double> taken = junction_series(read_file(one.file("junction.out")));
    ASSERT_GT(taken.size(), 1000u);
    double late = 0.0;
    for (size_t i = taken.size() - 150; i < taken.size(); ++i) late += taken[i] / 150.0;   // the last 5 minutes
    EXPECT_NEAR(c.inflow - late, c.inflow - capacity, 0.03 * (c.inflow - capacity));
    // No swing between taking and giving back: the sign of the exchange changes once at most.
    int changes = 0;
    for (size_t i = 1; i < taken.size(); ++i)
        if ((taken[i] > 0.0) != (taken[i - 1] > 0.0) && taken[i - 1] != 0.0) ++changes;
    EXPECT_LE(changes, 1);

    sd_test::expect_balances_close(read_file(one.file("summ.out")), 1e-9);
}

TEST(StormDrainUnderLoad, DeepManholeOverASmallPipeRunsThroughAStorm) {
    // 5 m of manhole over a 0.3-m pipe, 150 mm/h for 10 min on the plane and
    // 0.4 m3/s into the pit: more than the pipe carries under 5 m of head.
    for (bool release : {true, false}) {
        SCOPED_TRACE(release);
        manhole_case c = loaded(5.0, 5.0, {2, 0.3, 15.0, 0.01}, 0.4);
        c.rain = {150.0, 10};
        c.minutes = 15;
        c.release = release;
        temp_dir dir;
        const run_result r = run_manhole(dir, c);
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        double deepest = 0.0;
        for (const std::vector<double>& b : head_blocks(read_file(dir.file("head.out")))) deepest = std::max(deepest, b[0]);
        EXPECT_GT(deepest, 10.0 * c.pipes.D);   // well beyond ten pipe sizes of head
        sd_test::expect_balances_close(read_file(dir.file("summ.out")), 1e-9);
        expect_same_with_eight_threads(c, dir);
    }
}

// A design storm on the plane fills the network through the manhole, then
// two hours drain it to films: it gives back all it took but what the films
// hold, and books that (once less than nothing with the pipes empty, and
// more given back than taken).
TEST(StormDrainUnderLoad, FillAndDrainGivesBackWhatItTookAndBooksTheFilmsLeft) {
    manhole_case c = loaded(2.0, 2.0, {3, 0.3, 30.0, 0.01}, 0.0);
    c.outfall_above = 0.0;
    c.rain = {100.0, 20};
    c.minutes = 140;
    temp_dir one;
    ASSERT_EQ(run_manhole(one, c).status, 0);
    const std::string summary = read_file(one.file("summ.out"));
    const double captured = number_in_summary(summary, "Volume of overland to subsurface drains");
    const double returned = number_in_summary(summary, "Volume of subsurface drains to overland");
    const double held = number_in_summary(summary, "Final volume in drains=");
    EXPECT_GT(captured, 20.0) << summary;
    // Films of a few millimetres are left (PIPE_HEAD); the drains book their water.
    const std::vector<double> depths = head_blocks(read_file(one.file("head.out"))).back();
    ASSERT_EQ(depths.size(), 4u);
    for (double h : depths) EXPECT_LT(h, 0.005) << h;
    EXPECT_GE(held, 0.0);
    EXPECT_NEAR(held, chain_water(c, depths), 0.006) << summary;
    EXPECT_NEAR(number_in_summary(summary, "volume remaining in drains:"), held, 0.051) << summary;
    EXPECT_NEAR(returned, captured - held, 0.011) << summary;
    sd_test::expect_balances_close(summary, 1e-9);
    expect_same_with_eight_threads(c, one);
}

TEST(StormDrainUnderLoad, SteadyChainBooksTheWaterItsDepthsStandFor) {
    // 0.5 m3/s through five 200-m pipes of 1 m at 0.001 to a free outfall.
    constexpr double kNormal = 0.592793;   // m, Manning's normal depth (n 0.013)
    for (double dt : {2.0, 1.0}) {
        SCOPED_TRACE(dt);
        manhole_case c = loaded(2.0, 2.0, {5, 1.0, 200.0, 0.001}, 0.5);
        c.outfall_above = 0.0;
        c.minutes = 60;
        c.timestep = dt;
        temp_dir dir;
        ASSERT_EQ(run_manhole(dir, c).status, 0);
        const std::string summary = read_file(dir.file("summ.out"));
        const std::vector<double> h = head_blocks(read_file(dir.file("head.out"))).back();
        ASSERT_EQ(h.size(), 6u);
        const double water = chain_water(c, h);
        const double booked = number_in_summary(summary, "Final volume in drains=");
        EXPECT_NEAR(booked, water, 1e-3 * water) << summary;
        for (size_t k = 0; k < 2; ++k) EXPECT_NEAR(h[k], kNormal, 0.02 * kNormal) << k;   // 800 m and more above the outfall
        sd_test::expect_balances_close(summary, 1e-9);
        if (dt == 2.0) expect_same_with_eight_threads(c, dir);
    }
}

}  // namespace
