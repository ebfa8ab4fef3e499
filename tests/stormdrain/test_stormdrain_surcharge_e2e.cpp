// The program with storm drains under load: a manhole that surcharges to
// its ground and spills what its pipes cannot carry, a deep manhole over a
// small pipe under a heavy storm, and a chain of pipes in steady flow whose
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

using namespace pluvo_test;

namespace {

constexpr double kPi = 3.14159265358979323846;

// A manhole on cell (3, 3) of a plane of 7 x 5 cells of 10 m falling 0.01 to
// the south, the cell a pit 0.5 m deep so that the water given to it
// gathers over the inlet; a superlink of `pipes` equal circular pipes from
// the manhole's bottom to an 888 outfall onto cell (7, 1) whose head stands
// `outfall_above` m above the last pipe's invert.
struct manhole_case {
    double depth = 2.5;          // m, ground to bottom
    double area = 5.0;           // m2
    int pipes = 5;
    double D = 0.3;              // m
    double length = 50.0;        // m per pipe
    double slope = 0.005;
    double outfall_above = 0.3;  // m
    double inflow = 0.0;         // m3/s of an overland point source on the pit, 0 for none
    double rain_mm_h = 0.001;    // the plane's rain
    int rain_minutes = 1;
    int minutes = 40;
    double timestep = 2.0;       // s
    bool release = true;
    int threads = 1;
};

constexpr double kGround = 99.9;   // m, the pit's ground: 100 + 0.1 x (7 - 3) - 0.5

double end_invert(const manhole_case& c) { return kGround - c.depth - c.pipes * c.length * c.slope; }

std::string manhole_network(const manhole_case& c) {
    std::ostringstream n;
    const double bottom = kGround - c.depth;
    n << "SJUNC 1 " << kGround << " " << bottom << " " << c.area << " 1 3 3 0.6 0.6\n";
    n << "SJUNC 2 100.0 " << end_invert(c) + c.outfall_above << " 0 888 7 1 0 0\n";
    n << "CONNECT 1 1 2\nSLINK 1 " << c.pipes << "\n";
    for (int k = 1; k <= c.pipes + 1; ++k) {
        const bool first = k == 1, last = k == c.pipes + 1;
        n << "NODE " << k << " 100.4 " << bottom - c.slope * c.length * (k - 1) << " 0 0 "
          << (first ? "3 3" : last ? "7 1" : "0 0") << " 0 0\n";
    }
    for (int k = 1; k <= c.pipes; ++k)
        n << "PIPE " << k << " 1 " << c.D << " 0 " << c.slope << " 0.013 " << c.length << " 0 0\n";
    return n.str();
}

run_result run_manhole(const temp_dir& dir, const manhole_case& c) {
    plane_case pc;
    pc.grid.rows = 7;
    pc.grid.cols = 5;
    pc.grid.cell = 10.0;
    pc.slope = 0.01;
    pc.rain_mm_h = c.rain_mm_h;
    pc.rain_minutes = c.rain_minutes;
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

// The event balance (inputs with the water held at the start, against the
// outputs with the water held at the end) and the run balance, relative.
void expect_balances_close(const std::string& summary, double tolerance) {
    const double in = number_in_summary(summary, "Mass input + original mass:");
    const double out = number_in_summary(summary, "Mass output + final mass:");
    ASSERT_GT(in, 0.0) << summary;
    EXPECT_LT(std::fabs(in - out) / in, tolerance) << summary;
    EXPECT_LT(std::fabs(number_in_summary(summary, "Overall balance, relative error =")), tolerance) << summary;
    EXPECT_NEAR(number_in_summary(summary, "Subsurface drain mass bal error m^3="), 0.0, 0.011) << summary;
}

// Full-pipe flow by Manning (n 0.013) with the velocity head lost at the
// outfall: dH = Q^2 / (2 g A^2) + n^2 Q^2 L / (A^2 R^(4/3)), m3/s.
double pressurised_capacity(double dH, double D, double L) {
    const double A = kPi * D * D / 4.0, R = D / 4.0, n = 0.013;
    return A * std::sqrt(dH / (1.0 / (2.0 * 9.81) + n * n * L / std::pow(R, 4.0 / 3.0)));
}

TEST(StormDrainUnderLoad, SurchargingManholeSpillsWhatItsPipesCannotCarry) {
    manhole_case c;
    c.inflow = 0.15;
    temp_dir one, eight;
    const run_result r = run_manhole(one, c);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    c.threads = 8;
    ASSERT_EQ(run_manhole(eight, c).status, 0);
    for (const char* name : {"superlink_flows.out", "head.out", "junction.out", "outlet.hyd", "summ.out"})
        EXPECT_EQ(read_file(one.file(name)), read_file(eight.file(name))) << name;

    // Pipes full; the manhole's head at its ground (its first node 2.5 m deep).
    const std::vector<std::vector<double>> heads = head_blocks(read_file(one.file("head.out")));
    ASSERT_FALSE(heads.empty());
    const std::vector<double>& last = heads.back();
    ASSERT_EQ(last.size(), 6u);
    EXPECT_NEAR(last[0], c.depth, 1e-5);
    for (double h : last) EXPECT_GE(h, c.D);

    // The inlet takes what the full pipes carry under the manhole's head down
    // to the outfall's; the rest stays on the surface (3 % of it).
    const double capacity =
        pressurised_capacity(c.depth + c.pipes * c.length * c.slope - c.outfall_above, c.D, c.pipes * c.length);
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

    expect_balances_close(read_file(one.file("summ.out")), 1e-9);
}

TEST(StormDrainUnderLoad, DeepManholeOverASmallPipeRunsThroughAStorm) {
    // 5 m of manhole over a 0.3-m pipe, 150 mm/h for 20 min on the plane and
    // 0.4 m3/s into the pit: more than the pipe carries under 5 m of head.
    for (bool release : {true, false}) {
        SCOPED_TRACE(release);
        manhole_case c;
        c.depth = 5.0;
        c.pipes = 2;
        c.length = 15.0;
        c.slope = 0.01;
        c.inflow = 0.4;
        c.rain_mm_h = 150.0;
        c.rain_minutes = 20;
        c.minutes = 30;
        c.release = release;
        temp_dir dir;
        const run_result r = run_manhole(dir, c);
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        double deepest = 0.0;
        for (const std::vector<double>& b : head_blocks(read_file(dir.file("head.out")))) deepest = std::max(deepest, b[0]);
        EXPECT_GT(deepest, 10.0 * c.D);   // well beyond ten pipe sizes of head
        expect_balances_close(read_file(dir.file("summ.out")), 1e-9);
    }
}

// Water a circular pipe of diameter D holds per metre at depth h (with the
// slot of 1 % of D above its crown), m2.
double circle_water(double D, double h) {
    if (h <= 0.0) return 0.0;
    const double r = 0.5 * D;
    if (h >= D) return kPi * r * r + 0.01 * D * (h - D);
    return r * r * std::acos((r - h) / r) - (r - h) * std::sqrt(2.0 * r * h - h * h);
}

TEST(StormDrainUnderLoad, SteadyChainBooksTheWaterItsDepthsStandFor) {
    // 0.5 m3/s through five 200-m pipes of 1 m at 0.001 to a free outfall.
    constexpr double kNormal = 0.592793;   // m, Manning's normal depth (n 0.013)
    for (double dt : {2.0, 1.0}) {
        SCOPED_TRACE(dt);
        manhole_case c;
        c.depth = 2.0;
        c.area = 2.0;
        c.D = 1.0;
        c.length = 200.0;
        c.slope = 0.001;
        c.outfall_above = 0.0;
        c.inflow = 0.5;
        c.minutes = 60;
        c.timestep = dt;
        temp_dir dir;
        ASSERT_EQ(run_manhole(dir, c).status, 0);
        const std::string summary = read_file(dir.file("summ.out"));
        const std::vector<double> h = head_blocks(read_file(dir.file("head.out"))).back();
        ASSERT_EQ(h.size(), 6u);
        // Manhole shaft to its head, each node's half pipes at its depth.
        double water = c.area * h[0];
        for (size_t k = 0; k < h.size(); ++k) {
            const double lengths = (k == 0 || k + 1 == h.size() ? 0.5 : 1.0) * c.length;
            water += lengths * circle_water(c.D, h[k]);
        }
        const double booked = number_in_summary(summary, "Final volume in drains=");
        EXPECT_NEAR(booked, water, 1e-3 * water) << summary;
        for (size_t k = 0; k < 2; ++k) EXPECT_NEAR(h[k], kNormal, 0.02 * kNormal) << k;   // 800 m and more above the outfall
        expect_balances_close(summary, 1e-9);
    }
}

}  // namespace
