// The program with a lake of the channel network under rain: a valley whose
// top rows hold the lake in a pit of the middle column; the planes beside it
// run onto the lake cells and the lake drains into the channel below it.
// Every overland scheme runs it; the run balance closes, the lake gives no
// more than it holds, and one and eight threads write the same files. In a
// long-term run the lake loses the hourly open-water evaporation of the
// hydromet records.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "fixture.h"
#include "lake_valley.h"
#include "pluvo_test.h"

using namespace pluvo_test;

namespace {

// Value after `label` in a summary text (NaN when the label is missing).
double summary_value(const std::string& text, const std::string& label) {
    const size_t at = text.find(label);
    if (at == std::string::npos) return std::nan("");
    return std::atof(text.c_str() + at + label.size());
}

struct valley_run {
    std::string summary;   // summary file
    std::string outlet;    // outlet hydrograph
};

// Runs the valley `c` (its threads forced onto every loop over 16 cells and
// more when c.threads > 1).
valley_run run_valley(const lake_valley& c) {
    temp_dir dir;
    write_lake_valley(dir.path(), c);
    std::vector<std::string> env;
    if (c.threads > 1) env.push_back(parallel_from_cells_env(16));
    const run_result r = run_pluvo({"valley.prj"}, dir.path(), "", env);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    return {read_file(dir.file("valley.sum")), read_file(dir.file("valley.otl"))};
}

// The run and lake balances of a summary. The event balance figures carry six
// decimals (m3), so they agree to 1e-9 relative or their last digit.
void expect_balances_close(const std::string& summary) {
    const double in = summary_value(summary, "Mass input + original mass:");
    const double out = summary_value(summary, "Mass output + final mass:");
    EXPECT_NEAR(out, in, std::max(1e-9 * in, 1e-6)) << summary;
    EXPECT_NEAR(summary_value(summary, "Overall mass balance error ="), 0.0, 1e-6) << summary;
    // The lake's own books: start + in - out = end (two decimals printed).
    EXPECT_NEAR(summary_value(summary, "Perennial lake mass bal error m^3="), 0.0, 0.01) << summary;
    EXPECT_GE(summary_value(summary, "Final volume in perennial lakes"), 0.0) << summary;
}

const int kOvertypes[] = {1, 2, 3};

// Under each scheme, with the lake draining straight into the channel and
// through a weir.
TEST(LakeValleyEndToEnd, RunoffReachingTheLakeGoesIntoItAndTheBalanceCloses) {
    for (const int overtype : kOvertypes) {
        for (const bool weir : {false, true}) {
            SCOPED_TRACE("OVERTYPE " + std::to_string(overtype) + (weir ? ", weir" : ""));
            lake_valley c;
            c.overtype = overtype;
            c.weir = weir;
            const std::string summary = run_valley(c).summary;
            expect_balances_close(summary);
            // The lake got more than the rain on its own cells: the planes
            // beside it ran onto it.
            const double rain = c.rain_volume();
            const double on_lake = summary_value(summary, "Volume precip to lakes=");
            const double into_lake = summary_value(summary, "Volume of flow into lakes=");
            EXPECT_NEAR(on_lake, c.rain_mm_h / 1000.0 / 60.0 * c.rain_minutes * c.lake_rows *
                                     c.cell * c.cell, 0.01) << summary;
            EXPECT_GT(into_lake, on_lake + 0.01 * rain) << summary;
            EXPECT_LT(into_lake, rain) << summary;
            // Some of it went on down the channel below the lake.
            EXPECT_GT(summary_value(summary, "Volume of flow from lakes="), 0.0) << summary;
        }
    }
}

// A lake filled 0.3 m above the land beside its pit (over the pit and the
// cells beside it) spills onto the land and drains into the channel; it
// gives what it holds and no more, and ends empty.
TEST(LakeValleyEndToEnd, SpillingLakeGivesNoMoreThanItHolds) {
    for (const int overtype : kOvertypes) {
        SCOPED_TRACE("OVERTYPE " + std::to_string(overtype));
        lake_valley c;
        c.overtype = overtype;
        c.lake_depth = c.pit + 0.3;
        c.rain_minutes = 5;
        const std::string summary = run_valley(c).summary;
        expect_balances_close(summary);
        const double start = summary_value(summary, "Initial volume in perennial lakes");
        const double end = summary_value(summary, "Final volume in perennial lakes");
        const double into_lake = summary_value(summary, "Volume of flow into lakes=");
        const double from_lake = summary_value(summary, "Volume of flow from lakes=");
        EXPECT_NEAR(start, c.initial_lake_volume(), 0.01) << summary;
        EXPECT_GT(from_lake, 0.5 * start) << summary;
        EXPECT_LE(from_lake, start + into_lake + 0.01) << summary;
        EXPECT_NEAR(end, 0.0, 0.01) << summary;
    }
}

TEST(LakeValleyEndToEnd, OneAndEightThreadsWriteIdenticalFiles) {
    for (const int overtype : kOvertypes) {
        SCOPED_TRACE("OVERTYPE " + std::to_string(overtype));
        std::string outputs[2];
        const int threads[2] = {1, 8};
        for (int k = 0; k < 2; ++k) {
            lake_valley c;
            c.overtype = overtype;
            c.threads = threads[k];
            const valley_run r = run_valley(c);
            const size_t from = r.summary.find("SIMULATION TOTALS");
            ASSERT_NE(from, std::string::npos);
            outputs[k] = r.outlet + "\n--\n" + r.summary.substr(from);
            EXPECT_GT(r.outlet.size(), 200u);
        }
        EXPECT_TRUE(outputs[0] == outputs[1]) << "outputs differ between 1 and 8 threads";
    }
}
// A long-term run: a still lake 5 cm deep in its pit (four 10-m cells, below
// the weir crest and the land beside it) loses each hour's evaporation
// E = a^-0.05 x 1.69e-4 x (W x 86.4) x (1 - RH/100) x 6.11 exp(17.3 T / (T +
// 273.3)) / 24 x A / 100 m3 (a = A in km2, W m/s, T deg C) over its constant
// area A, once per hydromet record; the lake and run balances close, and one
// and eight threads write the same files.
TEST(LakeValleyEndToEnd, LongTermStillLakeLosesTheHourlyEvaporation) {
    const double A = 4 * 10.0 * 10.0;   // m2
    const double W = 6 * 0.514444, RH = 60.0, T = (50.0 - 32.0) * 5.0 / 9.0;
    const double hourly = std::pow(A / 1e6, -0.05) * 1.69e-4 * (W * 86.4) * (1.0 - RH / 100.0) * 6.11 *
                          std::exp(17.3 * T / (T + 273.3)) / 24.0 * A / 100.0;   // m3
    const int days = 2;
    std::string outputs[2];
    const int threads[2] = {1, 8};
    for (int k = 0; k < 2; ++k) {
        SCOPED_TRACE(threads[k]);
        lake_valley c;
        c.weir = true;             // crest 0.1 m above the lake floor
        c.lake_depth = 0.05;
        c.rain_mm_h = 0.1;         // raises the lake by well under the 5 cm to the crest
        c.long_term_days = days;
        c.threads = threads[k];
        const valley_run r = run_valley(c);
        const std::string& s = r.summary;
        expect_balances_close(s);
        EXPECT_NEAR(summary_value(s, "Overall balance, relative error ="), 0.0, 1e-9) << s;
        // Still: no water left the lake, and it kept its four cells.
        EXPECT_NEAR(summary_value(s, "Volume of flow from lakes="), 0.0, 0.005) << s;
        // The lake's storage and evaporation to full precision.
        double start = 0.0, end = 0.0, evaporated = 0.0;
        const size_t at = s.find("Long-term channel lakes (m3):");
        ASSERT_NE(at, std::string::npos) << s;
        ASSERT_EQ(std::sscanf(s.c_str() + at, "Long-term channel lakes (m3): initial %lf final %lf evaporation %lf",
                              &start, &end, &evaporated), 3) << s;
        EXPECT_NEAR(evaporated, days * 24 * hourly, 1e-9 * days * 24 * hourly) << s;
        // Inflow: the rain on the lake cells (0.1 mm over 400 m2), printed to 2 decimals.
        const double in = summary_value(s, "Volume of flow into lakes=");
        EXPECT_NEAR(summary_value(s, "Volume precip to lakes="), 0.04, 0.005) << s;
        EXPECT_NEAR(start, 0.05 * A, 1e-9) << s;
        EXPECT_NEAR(end, start + in - evaporated, 0.005) << s;
        const size_t from = s.find("SIMULATION TOTALS");
        ASSERT_NE(from, std::string::npos);
        outputs[k] = r.outlet + "\n--\n" + s.substr(from);
    }
    EXPECT_TRUE(outputs[0] == outputs[1]) << "outputs differ between 1 and 8 threads";
}
}  // namespace
