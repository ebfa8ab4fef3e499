// Planes and checks shared by the end-to-end plane tests of the overland
// schemes: the kinematic-wave strip, the two-dimensional plane of the water
// balance, the wide plane of the thread-count test, and the checks run on
// their outputs.
#pragma once
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <regex>
#include <string>

#include "fixture.h"
#include "pluvo_test.h"

namespace plane_checks {

using pluvo_test::plane_case;

// A strip one cell wide of `cells` cells of `cell` m draining towards
// `drains` ('n', 'e', 's' or 'w'), slope 0.01, Manning n 0.05, hydrograph
// every minute; the caller sets rain and times.
inline plane_case strip_case(char drains, int cells, double cell) {
    plane_case c;
    const bool along_x = drains == 'e' || drains == 'w';
    c.grid.rows = along_x ? 1 : cells;
    c.grid.cols = along_x ? cells : 1;
    c.grid.cell = cell;
    c.slope = 0.01;
    c.drains = drains;
    c.manning = 0.05;
    c.hyd_freq = 1.0;
    return c;
}

// 12 x 9 cells of 20 m, slope 0.02, 40 mm/h for 45 of 90 min: water also
// moves sideways to the outlet.
inline plane_case sideways_plane() {
    plane_case c;
    c.grid.rows = 12;
    c.grid.cols = 9;
    c.grid.cell = 20.0;
    c.slope = 0.02;
    c.rain_mm_h = 40.0;
    c.rain_minutes = 45;
    c.total_minutes = 90;
    c.timestep = 10.0;
    return c;
}

// 30 x 70 cells of 10 m (many tiles of cells), slope 0.005, rain for 10 of
// 20 min, on `threads` threads.
inline plane_case wide_plane(int threads) {
    plane_case c;
    c.grid.rows = 30;
    c.grid.cols = 70;
    c.grid.cell = 10.0;
    c.slope = 0.005;
    c.rain_minutes = 10;
    c.total_minutes = 20;
    c.timestep = 10.0;
    c.threads = threads;
    return c;
}

// Outlet discharge (m3/s) by whole minute from a hydrograph file.
inline std::map<int, double> discharge_by_minute(const std::string& path) {
    std::map<int, double> q;
    for (const auto& row : pluvo_test::read_hydrograph(path))
        q[static_cast<int>(std::lround(row.first))] = row.second;
    return q;
}

// The number after the last `label` in `text` (NaN when the label is missing).
inline double number_after(const std::string& text, const std::string& label) {
    size_t pos = text.rfind(label);
    if (pos == std::string::npos) return std::nan("");
    return std::strtod(text.c_str() + pos + label.size(), nullptr);
}

// Kinematic-wave rise of the strip's outflow `q` (m3/s by minute): within
// 1 % of `equilibrium` (m3/s) from minute `settled_from` to the end of the
// rain and never more than 1 % above it; 95 % of it first reached within
// 10 % of `t95` (min); falling at every minute after the rain.
inline void expect_kinematic_wave(std::map<int, double> q, const plane_case& c,
                                  double equilibrium, int settled_from, double t95) {
    for (int minute = settled_from; minute <= c.rain_minutes; ++minute)
        EXPECT_NEAR(q[minute], equilibrium, 0.01 * equilibrium) << "minute " << minute;
    for (const auto& [minute, value] : q) EXPECT_LE(value, 1.01 * equilibrium) << minute;

    int reached = -1;
    for (const auto& [minute, value] : q) {
        if (value >= 0.95 * equilibrium) {
            reached = minute;
            break;
        }
    }
    ASSERT_GT(reached, 0);
    EXPECT_NEAR(reached, t95, 0.10 * t95);

    for (int minute = c.rain_minutes + 2; minute <= c.total_minutes; ++minute)
        EXPECT_LE(q[minute], q[minute - 1]) << "minute " << minute;
}

// The north, east and west strips give the south strip's hydrograph to 1e-6 m3/s.
inline void expect_same_in_all_directions(
    const std::map<char, std::map<int, double>>& by_direction) {
    const auto& ref = by_direction.at('s');
    ASSERT_FALSE(ref.empty());
    for (char d : {'n', 'e', 'w'}) {
        const auto& other = by_direction.at(d);
        ASSERT_EQ(other.size(), ref.size()) << d;
        for (const auto& [minute, value] : ref)
            EXPECT_NEAR(other.at(minute), value, 1e-6) << d << " minute " << minute;
    }
}

// The summary's balance: the input is the rain (`rain_volume`, m3) and the
// output matches it, both printed in m3 with six decimals so closed to that
// resolution; no error and nothing not a number.
inline void expect_balance_closes(const std::string& summary, double rain_volume) {
    const double in = number_after(summary, "Mass input + original mass:");
    const double out = number_after(summary, "Mass output + final mass:");
    EXPECT_NEAR(in, rain_volume, 1e-9 * rain_volume + 1e-6) << summary;
    EXPECT_NEAR(out, in, 1e-9 * in + 1e-6) << summary;
    EXPECT_NEAR(number_after(summary, "mass conservation error:"), 0.0, 1e-7) << summary;
    EXPECT_FALSE(std::regex_search(summary, std::regex("\\b(-?nan|-?inf)\\b",
                                                       std::regex::icase)))
        << summary;
}

// Adds the six-decimal hydrograph and depth maps every 5 min to `p` and
// writes it as plane.prj in `dir`.
inline void add_thread_test_outputs(pluvo_test::project_file& p, const pluvo_test::temp_dir& dir) {
    p.card("SIG_OUTLET_HYDRO", "outlet6.hyd").card("DEPTH", "depth").card("MAP_TYPE", "1");
    p.remove("MAP_FREQ").card("MAP_FREQ", "5").write(dir.file("plane.prj"));
}

// The hydrographs and depth maps a run wrote in `dir`, joined.
inline std::string thread_test_outputs(const pluvo_test::temp_dir& dir) {
    return pluvo_test::read_file(dir.file("outlet6.hyd")) + "\n--\n" +
           pluvo_test::read_file(dir.file("outlet.hyd")) + "\n--\n" +
           pluvo_test::read_file(dir.file("depth"));
}

}  // namespace plane_checks
