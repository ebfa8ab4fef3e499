// Richards columns in long-term runs through the program: the hourly data run
// on past the last event, so a slow soil still drains when the run ends. The
// columns meet the hourly evaporation demand from their surface water and
// root zones. The columns' own balance (final = initial + infiltrated -
// drained - evapotranspired + column error), the surface balance and the
// whole run's balance close for a fast and a slow soil, and over a solved
// aquifer whose falling table the columns follow.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fixture.h"
#include "pluvo_test.h"
#include "valley.h"

using namespace pluvo_test;

namespace {

constexpr int kRows = 6;
constexpr int kHalfWidth = 2;
constexpr int kCols = 2 * kHalfWidth + 1;
constexpr double kCell = 100.0;   // m
constexpr int kDays = 8;
constexpr int kEventDay = 2;      // day of the single event, from day 0

// Hourly records of November 2001 (mild, sunny days; from day `cold_from`
// on, counted from day 0, -20 deg F).
std::string kev_records(int cold_from = kDays, int days = kDays) {
    std::string s;
    char line[128];
    for (int h = 0; h < days * 24; ++h) {
        const bool day = h % 24 >= 7 && h % 24 <= 17;
        std::snprintf(line, sizeof line, "2001 11 %d %d 29.92 60 40 6 %d %.1f %.1f\n", h / 24 + 1,
                      h % 24, h / 24 >= cold_from ? -20 : 50, day ? 300.0 : 0.0, day ? 450.0 : 0.0);
        s += line;
    }
    return s;
}

// One event: 20 and 10 mm/h for two hours.
const char* kRain =
    "EVENT event1\nNRGAG 1\nNRPDS 3\nCOORD 250 300\n"
    "RATES 2001 11 3 6 0 20.0\nRATES 2001 11 3 7 0 10.0\nRATES 2001 11 3 8 0 0.0\n";

// Haverkamp sand, three layers of 20 cm, saturated conductivity `ks` cm/h.
std::string soil_table(double ks) {
    char layer[160];
    std::snprintf(layer, sizeof layer,
                  "%.2f 0.287 0.075 0.09985 0.08 0.15 20 36.936 3.96 1.175e6 4.74 2\n", ks);
    return std::string("1\n0\n1\n0.2 0.12 70 0.1\n") + layer + layer + layer;
}

// With `table_m` >= 0 a solved aquifer lies under the valley, its table
// `table_m` below the ground, fixed along the first row.
project_file long_term_valley(const temp_dir& dir, double ks, double table_m = -1.0,
                              int cold_from = kDays) {
    project_file p = long_term_valley_project(
        dir.path(), {kRows, kHalfWidth, kCell, kDays, soil_table(ks), kev_records(cold_from), kRain});
    if (table_m < 0.0) return p;
    grid_spec g;
    g.rows = kRows;
    g.cols = kCols;
    g.cell = kCell;
    g.north = kRows * kCell;
    const int mid = kHalfWidth + 1;
    const double slope = 0.005;
    auto ground = [&](int r, int c) {
        return 100.0 + slope * kCell * (kRows - r) + 0.01 * kCell * std::abs(c - mid);
    };
    write_grid(dir.file("wt.asc"), g, [&](int r, int c) { return ground(r, c) - table_m; }, 6);
    write_grid(dir.file("bottom.asc"), g, [&](int r, int c) { return ground(r, c) - 4.0; }, 6);
    write_grid(dir.file("gwbound.asc"), g,
               [&](int r, int c) { return c == mid ? 4.0 : (r == 1 ? 2.0 : 1.0); }, 0);
    p.card("WATER_TABLE", "wt.asc").card("STREAM_LOSS").card("K_RIVER", "0.36");
    p.card("M_RIVER", "0.5").card("GW_SIMULATION").card("AQUIFER_BOTTOM", "bottom.asc");
    p.card("GW_BOUNDFILE", "gwbound.asc").card("GW_UNIF_HYCOND", "36.0");
    p.card("GW_UNIF_POROSITY", "0.3").card("GW_RELAX_COEFF", "1.2");
    p.card("GW_LSOR_CON", "1e-12").card("GW_TIMESTEP", "600").card("AQUIFER_DELTA_Z", "0.1");
    return p;
}

}  // namespace

TEST(RichardsLongTermProgram, ColumnsAndRunBalanceCloseWhileTheSoilStillDrains) {
    const struct { const char* what; double ks; } cases[] = {
        {"fast soil, 2 cm/h", 2.0},
        {"slow soil still draining at the end, 0.5 cm/h", 0.5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        temp_dir dir;
        long_term_valley(dir, c.ks).write(dir.file("valley.prj"));
        run_result r = run_pluvo({"valley.prj"}, dir.path());
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        const std::string s = read_file(dir.file("valley.sum"));

        // Columns: initial, final, infiltrated, drained, column error,
        // evapotranspired (m3).
        const std::vector<double> col = numbers_after_last(s, "Richards columns (m3):", 6);
        ASSERT_EQ(col.size(), 6u) << s;
        EXPECT_GT(col[2], 0.0);
        EXPECT_GT(col[3], 0.0) << "the columns drain";
        EXPECT_GT(col[5], 0.0) << "the root zones give water to evapotranspiration";
        EXPECT_NEAR(col[1], col[0] + col[2] - col[3] - col[5] + col[4], 1e-9 * (col[0] + col[2])) << s;
        // The column error is the solver's only numerical term: small.
        EXPECT_LT(std::fabs(col[4]), 1e-3 * col[2]);

        // The whole run: rain + column error = outlet + ET + drained + storage changes.
        const std::vector<double> v = numbers_after_last(s, "Long-term volumes (m3):", 12);
        ASSERT_EQ(v.size(), 12u) << s;
        const double rain = v[0];
        const double stored = (v[5] - v[4]) + (v[7] - v[6]) + (v[9] - v[8]) + (v[11] - v[10]);
        EXPECT_NEAR(rain + col[4], v[1] + v[2] + v[3] + stored, 1e-9 * rain) << s;
        // Evapotranspiration = the root zones' + the surface water's (direct).
        const std::vector<double> direct = numbers_after_last(s, "Total direct evaporation=", 1);
        ASSERT_EQ(direct.size(), 1u) << s;
        EXPECT_NEAR(v[2], col[5] + direct[0], 0.01) << s;   // direct printed to 2 decimals
        const std::vector<double> surface = numbers_after_last(s, "Mass balance error of surface components =", 1);
        ASSERT_EQ(surface.size(), 1u) << s;
        EXPECT_LT(std::fabs(surface[0]), 1e-5) << s;   // percent, printed to 6 decimals
    }
}

// The same valley over a solved aquifer whose table lies in the soil: the
// columns follow the table for eight days and the whole run balances. The
// columns are re-laid to the falling table every groundwater step and called
// hourly; their nodes near the table stay within a few cm of saturation, and
// the column error stays below 1e-6 of the water that crossed their faces
// (infiltrated + drained). 1 and 8 threads write the same files.
TEST(RichardsLongTermProgram, ColumnsOverASolvedAquiferBalance) {
    std::string runs[2];
    std::string s;
    for (int k = 0; k < 2; ++k) {
        temp_dir dir;
        project_file p = long_term_valley(dir, 2.0, 0.4);
        p.card("NUM_THREADS", k == 0 ? "1" : "8");
        p.write(dir.file("valley.prj"));
        run_result r = run_pluvo({"valley.prj"}, dir.path());
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        s = read_file(dir.file("valley.sum"));
        // The summary names the thread count and the clock times: compare from the balance on.
        const size_t from = s.find("GLOBAL MASS BALANCE");
        ASSERT_NE(from, std::string::npos) << s;
        runs[k] = s.substr(from) + read_file(dir.file("valley.otl")) + read_file(dir.file("evap_out"));
    }
    EXPECT_TRUE(runs[0] == runs[1]) << "outputs differ between 1 and 8 threads";
    const std::vector<double> e = numbers_after_last(s, "Overall balance, relative error =", 1);
    ASSERT_EQ(e.size(), 1u) << s;
    EXPECT_LT(std::fabs(e[0]), 1e-9) << s;
    // The aquifer feeds the stream, its table falls and the columns lengthen,
    // taking their water from it.
    const std::vector<double> gw = numbers_after_last(s, "GW volume start =", 1);
    const std::vector<double> gw_end = numbers_after_last(s, "GW volume end =", 1);
    const std::vector<double> moved = numbers_after_last(s, "Sat/unsat. trickery (into gw) =", 1);
    ASSERT_EQ(gw.size() + gw_end.size() + moved.size(), 3u) << s;
    EXPECT_LT(gw_end[0], gw[0]);
    EXPECT_LT(moved[0], -1.0);
    const std::vector<double> col = numbers_after_last(s, "Richards columns (m3):", 6);
    ASSERT_EQ(col.size(), 6u) << s;
    EXPECT_GT(col[5], 0.0);
    // Columns: final = initial + infiltrated - drained - evapotranspired +
    // column error + taken from the aquifer (printed to 2 decimals).
    EXPECT_NEAR(col[1], col[0] + col[2] - col[3] - col[5] + col[4] - moved[0], 0.01) << s;
    EXPECT_LT(std::fabs(col[4]), 1e-6 * (col[2] + col[3])) << s;
}

// From November 4 the air stays at -20 deg F: the frozen-ground index climbs
// past 83 (on November 7) and from then on the columns rest. In the hourly
// rows of "evap_out" an hour whose index (the value the columns met) is above
// 83 shows no evapotranspiration although the sun still drives a potential
// rate, while the mild hours before show some, also between the event
// (November 3, 6:00-8:00) and the cold; the run balances.
TEST(RichardsLongTermProgram, FrozenColumnsRestAndTakeNoDemand) {
    temp_dir dir;
    long_term_valley(dir, 2.0, -1.0, 3).write(dir.file("valley.prj"));
    run_result r = run_pluvo({"valley.prj"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::vector<std::string> rows = split_lines(read_file(dir.file("evap_out")));
    int frozen = 0, frozen_with_demand = 0, mild_with_et = 0, after_event_with_et = 0;
    for (size_t k = 1; k < rows.size(); ++k) {
        int y = 0, mo = 0, d = 0, h = 0;
        double theta = 0.0, pet = 0.0, aet = 0.0, infil = 0.0, bottom = 0.0, cfgi = 0.0, temp = 0.0;
        if (std::sscanf(rows[k].c_str(), "%d/%d/%d %d:00 %lf %lf %lf %lf %lf %lf %lf", &y, &mo, &d, &h,
                        &theta, &pet, &aet, &infil, &bottom, &cfgi, &temp) != 11)
            continue;
        if (cfgi > 83.0) {
            ++frozen;
            if (pet > 0.0) ++frozen_with_demand;
            EXPECT_EQ(aet, 0.0) << rows[k];
            EXPECT_EQ(infil, 0.0) << rows[k];
        } else if (d < 4 && aet > 0.0) {
            ++mild_with_et;
            if (d == 3 && h > 9) ++after_event_with_et;
        }
    }
    EXPECT_GT(frozen, 24);
    EXPECT_GT(frozen_with_demand, 0);
    EXPECT_GT(mild_with_et, 24);
    EXPECT_GT(after_event_with_et, 6);
    const std::string s = read_file(dir.file("valley.sum"));
    const std::vector<double> e = numbers_after_last(s, "Overall balance, relative error =", 1);
    ASSERT_EQ(e.size(), 1u) << s;
    EXPECT_LT(std::fabs(e[0]), 1e-9) << s;
}

// Two events, the second lasting until the weather data end (its rain falls in
// the first hour, its cells then meet the afternoon's demand): each event's
// "volume of total evaporation" is its own. The run's evaporation at the start
// of each event is printed ("Total evaporation at beginning of event"), and
// the run ends with the second event, so the second event's own evaporation
// is the run total less its start value; the first's lies between 0 and what
// evaporated up to the second start.
TEST(RichardsLongTermProgram, EachEventReportsItsOwnEvaporation) {
    const char* rain =
        "EVENT event1\nNRGAG 1\nNRPDS 3\nCOORD 250 300\n"
        "RATES 2001 11 2 6 0 20.0\nRATES 2001 11 2 7 0 10.0\nRATES 2001 11 2 8 0 0.0\n"
        "EVENT event2\nNRGAG 1\nNRPDS 3\nCOORD 250 300\n"
        "RATES 2001 11 4 6 0 5.0\nRATES 2001 11 4 7 0 0.0\nRATES 2001 11 4 23 0 0.0\n";
    const int days = 4;
    temp_dir dir;
    long_term_valley_project(dir.path(), {kRows, kHalfWidth, kCell, days, soil_table(2.0),
                                          kev_records(kDays, days), rain})
        .write(dir.file("valley.prj"));
    run_result r = run_pluvo({"valley.prj"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::string s = read_file(dir.file("valley.sum"));
    // The first number after each `label`.
    auto each = [&](const std::string& label) {
        std::vector<double> v;
        for (size_t at = s.find(label); at != std::string::npos; at = s.find(label, at + 1)) {
            const std::vector<double> x = numbers_after_last(s.substr(0, s.find('\n', at)), label, 1);
            if (!x.empty()) v.push_back(x[0]);
        }
        return v;
    };
    const std::vector<double> start = each("Total evaporation at beginning of event");
    const std::vector<double> own = each("volume of total evaporation:");
    const std::vector<double> total = numbers_after_last(s, "Total amount of evaporation=", 1);
    ASSERT_EQ(start.size(), 2u) << s;
    ASSERT_EQ(own.size(), 2u) << s;
    ASSERT_EQ(total.size(), 1u) << s;
    EXPECT_GT(start[1] - start[0], 100.0) << "the days between the events evaporate";
    EXPECT_GT(own[1], 10.0) << "the second event's afternoon evaporates";
    // Printed to 1 and 2 decimals.
    EXPECT_NEAR(own[1], total[0] - start[1], 0.06) << s;
    EXPECT_GE(own[0], 0.0);
    EXPECT_LE(own[0], start[1] - start[0] + 0.05) << s;
}
