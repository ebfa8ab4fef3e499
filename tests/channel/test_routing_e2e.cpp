// The program with explicit channel routing under rain: two planes tilted
// towards a sloping channel between them drain sideways into it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "fixture.h"
#include "pluvo_test.h"
#include "valley.h"

using namespace pluvo_test;

namespace {

// rows x (2 half_width + 1) cells; the middle column holds one trapezoid link
// with a node under each of its cells, 1 m below the ground.
struct valley_case {
    int rows = 30;
    int half_width = 8;
    double cell = 10.0;           // m
    double side_slope = 0.01;     // slope of the planes towards the channel, m/m
    double valley_slope = 0.005;  // slope along the channel, m/m
    double rain_mm_h = 50.0;
    int rain_minutes = 60;
    int total_minutes = 180;
    int threads = 0;            // NUM_THREADS card when above 0
    bool datasets = false;      // link/node datasets of depth, discharge and stage
    double max_courant = -1.0;  // MAX_COURANT_NUMBER card when 0 or above
    int cols() const { return 2 * half_width + 1; }
    double rain_flow() const {  // rain rate x area, m3/s
        return rain_mm_h / 1000.0 / 3600.0 * rows * cols() * cell * cell;
    }
};

void write_valley(const std::string& dir, const valley_case& c) {
    grid_spec g;
    g.rows = c.rows;
    g.cols = c.cols();
    g.cell = c.cell;
    g.north = c.rows * c.cell;
    const int mid = c.half_width + 1;
    auto ground = [&](int r, int col) {
        return 100.0 + c.valley_slope * c.cell * (c.rows - r) +
               c.side_slope * c.cell * std::abs(col - mid);
    };
    write_grid(
        dir + "/mask.asc", g, [](int, int) { return 1.0; }, 0);
    write_grid(dir + "/elev.asc", g, ground, 6);

    write_valley_channel(dir, c.rows, mid, c.cell, c.valley_slope);

    project_file p = valley_project({c.rows, c.cols(), c.cell, mid, c.valley_slope,
                                     c.total_minutes, 5.0, c.rain_mm_h, c.rain_minutes});
    p.card("SUPER_QUIET");
    if (c.threads > 0) p.card("NUM_THREADS", std::to_string(c.threads));
    if (c.max_courant >= 0.0) p.card("MAX_COURANT_NUMBER", c.max_courant);
    if (c.datasets)
        p.card("CHAN_DEPTH", "depth.lnd")
            .card("CHAN_DISCHARGE", "flow.lnd")
            .card("CHAN_STAGE", "stage.lnd");
    p.write(dir + "/valley.prj");
}

// Value after `label` in a summary text (NaN when the label is missing).
double summary_value(const std::string& text, const std::string& label) {
    const size_t at = text.find(label);
    if (at == std::string::npos) return std::nan("");
    return std::atof(text.c_str() + at + label.size());
}

// Equilibrium, recession and water balance of a run's outputs in `dir`.
void check_valley_run(const std::string& dir, double rain_flow, int rain_minutes,
                      double rain_volume) {
    const auto rows = read_hydrograph(dir + "/valley.otl");
    ASSERT_GT(rows.size(), static_cast<size_t>(rain_minutes + 30));
    double peak = 0.0;
    for (const auto& row : rows) peak = std::max(peak, row.second);
    EXPECT_LE(peak, 1.01 * rain_flow);
    // Equilibrium over the last quarter of the rain.
    for (const auto& row : rows) {
        if (row.first >= 0.75 * rain_minutes && row.first <= rain_minutes) {
            EXPECT_NEAR(row.second, rain_flow, 0.01 * rain_flow) << "minute " << row.first;
        }
    }
    // Recession: falling after the rain.
    double last = peak;
    for (const auto& row : rows) {
        if (row.first <= rain_minutes + 2) continue;
        EXPECT_LE(row.second, last) << "minute " << row.first;
        last = row.second;
    }
    EXPECT_LT(last, 0.1 * rain_flow);

    const std::string summary = read_file(dir + "/valley.sum");
    const double in = summary_value(summary, "Mass input + original mass:");
    const double out = summary_value(summary, "Mass output + final mass:");
    EXPECT_NEAR(in, rain_volume, 1e-6 * rain_volume) << summary;
    EXPECT_NEAR(out, in, 1e-6 * in) << summary;
    // rain = outlet + surface + channel storage (those lines print 2 decimals).
    const double outlet = summary_value(summary, "Total amount of discharge=");
    const double surface = summary_value(summary, "Final volume on surface=");
    const double channel = summary_value(summary, "Final volume in channels=");
    EXPECT_NEAR(outlet + surface + channel, rain_volume, 0.02) << summary;
    EXPECT_GT(channel, 0.0);
}

TEST(ValleyEndToEnd, OutletReachesRainTimesAreaRecedesAndBalances) {
    temp_dir dir;
    valley_case c;
    write_valley(dir.path(), c);
    const run_result r = run_pluvo({"valley.prj"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const double volume = c.rain_flow() * c.rain_minutes * 60.0;
    check_valley_run(dir.path(), c.rain_flow(), c.rain_minutes, volume);
}

// 2112 cells, whose loops run on many threads from 2048 cells on.
TEST(ValleyEndToEnd, OneAndEightThreadsWriteTheSameOutputs) {
    valley_case c;
    c.rows = 64;
    c.half_width = 16;
    c.total_minutes = 90;
    c.datasets = true;
    const char* files[] = {"valley.otl", "depth.lnd", "flow.lnd", "stage.lnd"};
    std::vector<std::string> outputs[2];
    std::string summaries[2];
    for (int k = 0; k < 2; ++k) {
        temp_dir dir;
        c.threads = k == 0 ? 1 : 8;
        write_valley(dir.path(), c);
        const run_result r =
            run_pluvo({"valley.prj"}, dir.path(), "", {parallel_from_cells_env(2048)});
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        for (const char* f : files) outputs[k].push_back(read_file(dir.file(f)));
        summaries[k] = without_timing(read_file(dir.file("valley.sum")));
    }
    for (size_t f = 0; f < outputs[0].size(); ++f) {
        EXPECT_FALSE(outputs[0][f].empty()) << files[f];
        EXPECT_TRUE(outputs[0][f] == outputs[1][f])
            << files[f] << " differs between 1 and 8 threads";
    }
    EXPECT_EQ(summaries[0], summaries[1]);
}

TEST(ValleyEndToEnd, CourantLimitOfZeroIsRefusedBeforeRouting) {
    temp_dir dir;
    valley_case c;
    c.total_minutes = 10;
    c.max_courant = 0.0;
    write_valley(dir.path(), c);
    const run_result r = run_pluvo({"valley.prj"}, dir.path());
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find("Error: the card max_courant_number gives 0"), std::string::npos) << r.out;
    EXPECT_EQ(read_hydrograph(dir.file("valley.otl")).size(), 0u);  // not one step was written
}

// The bundled example is this valley; it runs and its water balance closes.
TEST(ValleyEndToEnd, BundledExampleRunsAndBalances) {
    temp_dir dir;
    std::filesystem::create_directory(dir.file("out"));  // the example writes its outputs there
    for (const char* f : {"example.prj", "mask.asc", "elev.asc", "valley.chn", "valley.gst"}) {
        const std::string from = std::string(PLUVO_EXAMPLES) + "/" + f;
        ASSERT_TRUE(file_exists(from)) << from;
        write_file(dir.file(f), read_file(from));
    }
    const run_result r = run_pluvo({"example.prj"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    valley_case c;  // the example's parameters
    const std::string prefix = dir.path() + "/out";
    const double volume = c.rain_flow() * c.rain_minutes * 60.0;
    const auto rows = read_hydrograph(prefix + "/valley.otl");
    ASSERT_FALSE(rows.empty());
    const std::string summary = read_file(prefix + "/valley.sum");
    EXPECT_NEAR(summary_value(summary, "Mass input + original mass:"), volume, 1e-6 * volume)
        << summary;
    EXPECT_NEAR(summary_value(summary, "Mass output + final mass:"), volume, 1e-6 * volume)
        << summary;
}

}  // namespace
