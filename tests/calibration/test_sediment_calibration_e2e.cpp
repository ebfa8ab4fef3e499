// Sediment calibration through the program: a valley of two eroding planes
// drains into one link; the calibration lines carry the wash load leaving the
// outlet and passing a sediment location, the end-of-run line totals what the
// summary books, and SCE recovers the overland Manning n from
// observations made by the project's own run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "fixture.h"
#include "pluvo_test.h"
#include "valley.h"

using namespace pluvo_test;

namespace {

constexpr int kRows = 10;
constexpr int kHalf = 3;
constexpr double kCell = 100.0;           // m
constexpr double kValleySlope = 0.005;    // m/m
constexpr double kSideSlope = 0.03;       // m/m
constexpr double kTrueN = 0.05;           // overland Manning n of the "observed" run

std::vector<double> numbers(const std::string& line) {
    std::vector<double> v;
    std::istringstream in(line);
    double x;
    while (in >> x) v.push_back(x);
    return v;
}

// Value printed after `label` in `text` at or after `from`; NaN when absent.
double value_after(const std::string& text, size_t from, const std::string& label) {
    const size_t at = text.find(label, from);
    if (at == std::string::npos) return std::nan("");
    return std::stod(text.substr(at + label.size()));
}

// The valley with erosion (classes 0.01 and 0.1 mm are wash load under a sand
// size of 0.5 mm, 1 mm is sand), the overland Manning n written as `manning`,
// a sediment location at node 5 and the calibration cards. 100 m cells, so
// that the wash load (about 1.3 m3) is resolved by the printed decimals.
project_file write_case(const std::string& dir, int threads, const std::string& manning) {
    grid_spec g;
    g.rows = kRows;
    g.cols = 2 * kHalf + 1;
    g.cell = kCell;
    g.north = kRows * kCell;
    const int mid = kHalf + 1;
    write_grid(dir + "/mask.asc", g, [](int, int) { return 1.0; }, 0);
    write_grid(dir + "/elev.asc", g,
               [&](int r, int c) {
                   return 100.0 + kValleySlope * kCell * (kRows - r) + kSideSlope * kCell * std::abs(c - mid);
               },
               6);
    write_valley_channel(dir, kRows, mid, kCell, kValleySlope);
    // An erodible trapezoid: sediment is routed only in such links.
    std::string chan = read_file(dir + "/valley.chn");
    chan.replace(chan.find("TRAPEZOID"), 9, "TRAP_ERODE");
    const std::string full = "BANKFULL_DEPTH 1.0\n";
    chan.insert(chan.find(full) + full.size(), "MAX_EROSION 0.3\n");
    write_file(dir + "/valley.chn", chan);
    write_three_class_sediment_table(dir, g, "0.5 0.4 0.1");
    write_file(dir + "/sedloc.txt", "1\n1 5\n");
    project_file p = valley_project({kRows, g.cols, kCell, mid, kValleySlope, 60, 5.0, 100.0, 30});
    p.card("SUPER_QUIET")
        .card("NUM_THREADS", std::to_string(threads))
        .card("MAPPING_TABLE", "table.cmt")
        .card("SOIL_EROSION", "1")
        .card("OUTLET_SED_FLUX", "sed.out")
        .card("SAND_SIZE", "0.5")
        .card("WATER_TEMP", "20")
        .card("SED_POROSITY", "0.4")
        .card("IN_SED_LOC", "sedloc.txt")
        .card("OUT_SED_LOC", "sedloc.out")
        .card("OPTIMIZE_SED")
        .remove("MANNING_N")
        .card("MANNING_N", manning);
    return p;
}

// The reference run with the true erodibility; its calibration file in `optim`.
void reference_run(const std::string& dir, int threads, std::string* optim) {
    write_case(dir, threads, "0.050000").card("OPTIMIZE", "optim.out").write(dir + "/reference.prj");
    const run_result r = run_pluvo({"reference.prj"}, dir);
    ASSERT_EQ(r.status, 0) << r.out;
    *optim = read_file(dir + "/optim.out");
}

// Event line: the outlet's wash-load peak (m3/s) and volume (m3), then the
// location's; end-of-run line: the run's outlet wash-load volume, equal to
// the summary's booked total. The outlet peak is the largest wash-load rate
// of the outlet rows (rows are a sample of the steps, so not above it).
TEST(SedimentCalibrationRun, LinesCarryTheWashLoadTheSummaryBooks) {
    temp_dir dir;
    std::string optim;
    reference_run(dir.path(), 1, &optim);
    const auto lines = split_lines(optim);
    ASSERT_EQ(lines.size(), 2u) << optim;
    const auto event = numbers(lines[0]);
    const auto total = numbers(lines[1]);
    ASSERT_EQ(event.size(), 5u) << lines[0];
    ASSERT_EQ(total.size(), 2u) << lines[1];
    EXPECT_EQ(event[0], 1.0);
    EXPECT_EQ(total[0], 2.0);

    const std::string summary = read_file(dir.file("valley.sum"));
    const size_t run_block = summary.rfind("Channel sediment routing mass quantities");
    ASSERT_NE(run_block, std::string::npos) << summary;
    const double booked = value_after(summary, run_block, "Total wash-load outlet discharge:");
    ASSERT_GT(booked, 1e-3) << "the case must wash sediment out";
    EXPECT_NEAR(total[1], booked, 1e-6 + 1e-8 * booked);    // "%13lf" against "%16.8lf"
    EXPECT_NEAR(event[2], booked, 5e-4 + 1e-8 * booked);    // one event, "%13.3lf"

    double sampled_peak = 0.0;
    for (const std::string& row : split_lines(read_file(dir.file("sed.out")))) {
        const auto v = numbers(row);
        if (v.size() >= 5) sampled_peak = std::max(sampled_peak, v[4]);   // wash-load total column
    }
    ASSERT_GT(sampled_peak, 0.0);
    EXPECT_GE(event[1], sampled_peak - 1e-6);
    EXPECT_LE(event[1], 2.0 * sampled_peak);
    // Node 5 carries wash load, less than leaves the outlet (the lower nodes add theirs).
    EXPECT_GT(event[3], 0.0);
    EXPECT_GT(event[4], 0.0);
    EXPECT_LT(event[4], event[2]);
}

// Runs `pluvo -c sce.in` with trial limit `maxn` on the case in `dir`, observed
// at the outlet and the location (peaks and volumes, weights 1) from the
// reference run with n = 0.05; n searched in [0.02, 0.2].
void run_sce(const std::string& dir, int threads, int maxn) {
    std::string optim;
    reference_run(dir, threads, &optim);
    const auto event = numbers(split_lines(optim).at(0));
    ASSERT_EQ(event.size(), 5u);
    std::ostringstream obs;
    obs.precision(10);
    obs << "2\n" << event[1] << " 1 " << event[2] << " 1\n" << event[3] << " 1 " << event[4] << " 1\n";
    write_file(dir + "/obs.txt", obs.str());
    write_case(dir, threads, "[n]").write(dir + "/valley.prj");
    write_file(dir + "/params.txt", "1\n[n] \"%8.6lf\"\n");
    write_file(dir + "/sce.in", "valley.prj\nparams.txt\nobs.txt\n" + std::to_string(maxn) +
                                    " 10 0.00001 2 3737 0 1\n0 0 0 0 0 0\n0.1 0.02 0.2\n");
    const run_result r = run_pluvo({"-c", "sce.in"}, dir, "", {parallel_from_cells_env(16)});
    ASSERT_EQ(r.status, 0) << r.out;
}

// SCE recovers n = 0.05 within 1% from the wash load alone, every trial
// scored on all four points.
TEST(SedimentCalibrationRun, SceRecoversManningNFromTheWashLoad) {
    temp_dir dir;
    run_sce(dir.path(), 1, 200);
    const auto lines = split_lines(read_file(dir.file("0000_sce_best.out")));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NEAR(std::stod(lines[1]), kTrueN, 0.01 * kTrueN);
    int runs = 0;
    ASSERT_EQ(std::sscanf(lines[0].c_str(), "The best results of the SCE calibration %d runs:", &runs), 1);
    EXPECT_LE(runs - 1, 200);
    EXPECT_EQ(count_of(read_file(dir.file("0000_0_cost.out")), "Total Points: 4"), runs - 1);
}

TEST(SedimentCalibrationRun, SceFilesDoNotDependOnTheThreadCount) {
    temp_dir one, eight;
    run_sce(one.path(), 1, 20);
    run_sce(eight.path(), 8, 20);
    for (const char* name : {"0000_sce_log_file.txt", "0000_sce_best.out", "0000_results_all.out", "0000_0_obs.log"})
        EXPECT_TRUE(read_file(one.file(name)) == read_file(eight.file(name))) << name;
}

// Sediment calibration of a project without channel sediment would score
// zeros: the run stops naming the card, before any time step.
TEST(SedimentCalibrationRun, WithoutChannelSedimentTheRunStops) {
    temp_dir dir;
    plane_case small;
    small.grid = {3, 3, 10.0, 1000.0, 0.0};
    small.total_minutes = 10;
    write_plane_case(dir.path(), small).card("OPTIMIZE", "optim.out").card("OPTIMIZE_SED").write(dir.file("plane.prj"));
    const run_result r = run_pluvo({"plane.prj"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("optimize_sed asks for sediment calibration"), std::string::npos) << r.out;
    if (file_exists(dir.file("optim.out"))) {
        EXPECT_EQ(read_file(dir.file("optim.out")), "");
    }
}

}  // namespace
