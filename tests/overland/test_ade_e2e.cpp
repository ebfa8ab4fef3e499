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
#include <string>

#include "fixture.h"
#include "plane_checks.h"
#include "pluvo_test.h"

using namespace pluvo_test;
using namespace plane_checks;

namespace {

const char* const kSchemes[] = {"ade", "ade-pc"};

// A strip of 50 cells of 10 m (500 m), slope 0.01, n 0.05 under 50 mm/h.
plane_case strip(char drains) {
    plane_case c = strip_case(drains, 50, 10.0);
    c.rain_mm_h = 50.0;
    c.rain_minutes = 80;
    c.total_minutes = 110;
    c.timestep = 10.0;
    return c;
}

// Writes the case with the scheme (and further cards) in place of OVERTYPE 1.
project_file write_case(const temp_dir& dir, const plane_case& c, const std::string& scheme) {
    project_file p = write_plane_case(dir.path(), c);
    p.remove("OVERTYPE").card("OVERTYPE", scheme);
    p.write(dir.file("plane.prj"));
    return p;
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
    return discharge_by_minute(dir.file("outlet6.hyd"));
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

        // Equilibrium within 1 % from minute 60, 95 % of it within 10 % of
        // the kinematic-wave time, falling after the rain.
        expect_kinematic_wave(q, c, equilibrium, 60, t95);
    }
}

TEST(AdePlane, SameHydrographInAllFourDirectionsWithRetention) {
    for (const char* scheme : kSchemes) {
        SCOPED_TRACE(scheme);
        std::map<char, std::map<int, double>> by_direction;
        for (char d : {'n', 'e', 's', 'w'}) by_direction[d] = run_strip(strip(d), scheme, "RETENTION 2");
        const auto& ref = by_direction['s'];
        ASSERT_EQ(ref.count(80), 1u);
        // Retention holds 2 mm on every cell: the outflow starts later than
        // without it but reaches the same equilibrium.
        EXPECT_GT(ref.at(80), 0.9 * 50.0 / 3.6e6 * 5000.0);
        expect_same_in_all_directions(by_direction);
    }
}

TEST(AdePlane, SummaryBalanceClosesToOnePartInABillion) {
    for (const char* scheme : kSchemes) {
        SCOPED_TRACE(scheme);
        // A two-dimensional plane so that water also moves sideways to the outlet.
        temp_dir dir;
        const plane_case c = sideways_plane();
        write_case(dir, c, scheme);
        run_result r = run_pluvo({"plane.prj"}, dir.path());
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        std::string summary = read_file(dir.file("summ.out"));

        const double area = c.grid.rows * c.grid.cols * c.grid.cell * c.grid.cell;
        const double rain_volume = c.rain_mm_h / 1000.0 * c.rain_minutes / 60.0 * area;
        expect_balance_closes(summary, rain_volume);
        EXPECT_GT(number_after(summary, "Total amount of discharge="), 0.0)
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
            project_file p = write_case(dir, wide_plane(threads[k]), scheme);
            add_thread_test_outputs(p, dir);
            // Loops over 64 cells and more run on many threads.
            run_result r = run_pluvo({"plane.prj"}, dir.path(), "", {parallel_from_cells_env(64)});
            ASSERT_EQ(r.status, 0) << r.out << r.err;
            outputs[k] = thread_test_outputs(dir);
            EXPECT_GT(read_file(dir.file("depth")).size(), 1000u);
        }
        EXPECT_TRUE(outputs[0] == outputs[1]) << "outputs differ between 1 and 8 threads";
    }
}
