// End-to-end runs of the ADE and ADE-PC overland schemes on generated planes:
// kinematic-wave rise and equilibrium, the same hydrograph in all four
// drainage directions with retention set, the summary's water balance and
// thread-count independence.
//
// Reference: kinematic wave on a plane with q = a h^(5/3), a = sqrt(S)/n:
// equilibrium outflow i L w; time of concentration tc = (L / (a i^(2/3)))^(3/5);
// before tc the outflow is (t / tc)^(5/3) of equilibrium, so 95 % is reached
// at 0.95^(3/5) tc. For L = 500 m, S = 0.01, n = 0.05, i = 50 mm/h: 2335 s.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <regex>
#include <string>

#include "fixture.h"
#include "pluvo_test.h"

using namespace pluvo_test;

namespace {

const char* const kSchemes[] = {"ade", "ade-pc"};

// A strip of 50 cells of 10 m (500 m), slope 0.01, n 0.05 under 50 mm/h.
plane_case strip(char drains) {
    plane_case c;
    const bool along_x = drains == 'e' || drains == 'w';
    c.grid.rows = along_x ? 1 : 50;
    c.grid.cols = along_x ? 50 : 1;
    c.grid.cell = 10.0;
    c.slope = 0.01;
    c.drains = drains;
    c.manning = 0.05;
    c.rain_mm_h = 50.0;
    c.rain_minutes = 80;
    c.total_minutes = 110;
    c.timestep = 10.0;
    c.hyd_freq = 1.0;
    return c;
}

// Writes the case with the scheme (and further cards) in place of OVERTYPE 1.
project_file write_case(const temp_dir& dir, const plane_case& c, const std::string& scheme) {
    project_file p = write_plane_case(dir.path(), c);
    p.remove("OVERTYPE").card("OVERTYPE", scheme);
    p.write(dir.file("plane.prj"));
    return p;
}

// Outlet discharge by whole minute from the six-decimal hydrograph.
std::map<int, double> outlet_by_minute(const temp_dir& dir) {
    std::map<int, double> q;
    for (const auto& row : read_hydrograph(dir.file("outlet6.hyd")))
        q[static_cast<int>(std::lround(row.first))] = row.second;
    return q;
}

std::map<int, double> run_strip(const plane_case& c, const std::string& scheme,
                                const std::string& extra_card = "") {
    temp_dir dir;
    project_file p = write_case(dir, c, scheme);
    p.card("SIG_OUTLET_HYDRO", "outlet6.hyd");
    if (!extra_card.empty()) p.card(extra_card);
    p.write(dir.file("plane.prj"));
    run_result r = run_pluvo({"plane.prj"}, dir.path());
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    return outlet_by_minute(dir);
}

double number_after(const std::string& text, const std::string& label) {
    size_t pos = text.rfind(label);
    if (pos == std::string::npos) return std::nan("");
    return std::strtod(text.c_str() + pos + label.size(), nullptr);
}

}  // namespace

TEST(AdePlane, RisesLikeAKinematicWaveAndSettlesAtRainTimesArea) {
    for (const char* scheme : kSchemes) {
        SCOPED_TRACE(scheme);
        plane_case c = strip('s');
        std::map<int, double> q = run_strip(c, scheme);
        ASSERT_EQ(q.count(c.total_minutes), 1u);

        const double rain = c.rain_mm_h / 1000.0 / 3600.0;         // m/s
        const double length = c.grid.rows * c.grid.cell;           // m
        const double equilibrium = rain * length * c.grid.cell;    // m3/s
        const double t95 = 2335.0 / 60.0;                          // min

        // Equilibrium within 1 %, never exceeded by more than 1 %.
        for (int minute = 60; minute <= c.rain_minutes; ++minute)
            EXPECT_NEAR(q[minute], equilibrium, 0.01 * equilibrium) << "minute " << minute;
        for (const auto& [minute, value] : q) EXPECT_LE(value, 1.01 * equilibrium) << minute;

        // 95 % of equilibrium within 10 % of the kinematic-wave time.
        int reached = -1;
        for (const auto& [minute, value] : q) {
            if (value >= 0.95 * equilibrium) {
                reached = minute;
                break;
            }
        }
        ASSERT_GT(reached, 0);
        EXPECT_NEAR(reached, t95, 0.10 * t95);

        // After the rain the outflow falls.
        for (int minute = c.rain_minutes + 2; minute <= c.total_minutes; ++minute)
            EXPECT_LE(q[minute], q[minute - 1]) << "minute " << minute;
    }
}

TEST(AdePlane, SameHydrographInAllFourDirectionsWithRetention) {
    for (const char* scheme : kSchemes) {
        SCOPED_TRACE(scheme);
        std::map<char, std::map<int, double>> by_direction;
        for (char d : {'n', 'e', 's', 'w'}) by_direction[d] = run_strip(strip(d), scheme, "RETENTION 2");
        const auto& ref = by_direction['s'];
        ASSERT_FALSE(ref.empty());
        // Retention holds 2 mm on every cell: the outflow starts later than
        // without it but reaches the same equilibrium.
        EXPECT_GT(ref.at(80), 0.9 * 50.0 / 3.6e6 * 5000.0);
        for (char d : {'n', 'e', 'w'}) {
            ASSERT_EQ(by_direction[d].size(), ref.size()) << d;
            for (const auto& [minute, value] : ref)
                EXPECT_NEAR(by_direction[d].at(minute), value, 1e-6) << d << " minute " << minute;
        }
    }
}

TEST(AdePlane, SummaryBalanceClosesToOnePartInABillion) {
    for (const char* scheme : kSchemes) {
        SCOPED_TRACE(scheme);
        // A two-dimensional plane so that water also moves sideways to the outlet.
        temp_dir dir;
        plane_case c;
        c.grid.rows = 12;
        c.grid.cols = 9;
        c.grid.cell = 20.0;
        c.slope = 0.02;
        c.rain_mm_h = 40.0;
        c.rain_minutes = 45;
        c.total_minutes = 90;
        c.timestep = 10.0;
        write_case(dir, c, scheme);
        run_result r = run_pluvo({"plane.prj"}, dir.path());
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        std::string summary = read_file(dir.file("summ.out"));

        const double area = c.grid.rows * c.grid.cols * c.grid.cell * c.grid.cell;
        const double rain_volume = c.rain_mm_h / 1000.0 * c.rain_minutes / 60.0 * area;
        const double in = number_after(summary, "Mass input + original mass:");
        const double out = number_after(summary, "Mass output + final mass:");
        EXPECT_NEAR(in, rain_volume, 1e-9 * rain_volume + 1e-6) << summary;
        EXPECT_NEAR(out, in, 1e-9 * in + 1e-6) << summary;
        EXPECT_NEAR(number_after(summary, "mass conservation error:"), 0.0, 1e-7) << summary;
        EXPECT_GT(number_after(summary, "Total amount of discharge="), 0.0)
            << summary;
        EXPECT_FALSE(std::regex_search(summary, std::regex("\\b(-?nan|-?inf)\\b",
                                                           std::regex::icase)))
            << summary;
    }
}

TEST(AdePlane, OneAndEightThreadsWriteIdenticalFiles) {
    for (const char* scheme : kSchemes) {
        SCOPED_TRACE(scheme);
        std::string outputs[2];
        const int threads[2] = {1, 8};
        for (int k = 0; k < 2; ++k) {
            temp_dir dir;
            plane_case c;
            c.grid.rows = 30;
            c.grid.cols = 70;
            c.grid.cell = 10.0;
            c.slope = 0.005;
            c.rain_minutes = 10;
            c.total_minutes = 20;
            c.timestep = 10.0;
            c.threads = threads[k];
            project_file p = write_case(dir, c, scheme);
            p.card("SIG_OUTLET_HYDRO", "outlet6.hyd").card("DEPTH", "depth").card("MAP_TYPE", "1");
            p.remove("MAP_FREQ").card("MAP_FREQ", "5").write(dir.file("plane.prj"));
            // Loops over 64 cells and more run on many threads.
            run_result r = run_pluvo({"plane.prj"}, dir.path(), "", {parallel_from_cells_env(64)});
            ASSERT_EQ(r.status, 0) << r.out << r.err;
            outputs[k] = read_file(dir.file("outlet6.hyd")) + "\n--\n" +
                         read_file(dir.file("outlet.hyd")) + "\n--\n" + read_file(dir.file("depth"));
            EXPECT_GT(read_file(dir.file("depth")).size(), 1000u);
        }
        EXPECT_TRUE(outputs[0] == outputs[1]) << "outputs differ between 1 and 8 threads";
    }
}
