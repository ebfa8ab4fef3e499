// End-to-end physics of rain on a tilted plane, run through the program on
// generated inputs: equilibrium and kinematic-wave rise, recession, the same
// hydrograph in all four drainage directions, the water balance of the
// summary, thread-count independence and the progress line's calendar.
//
// Reference: kinematic wave on a plane with q = a h^(5/3), a = sqrt(S)/n:
// equilibrium outflow i L w, time of concentration tc = (L / (a i^(2/3)))^(3/5),
// outflow (t / tc)^(5/3) of equilibrium before tc, so 95 % at 0.95^(3/5) tc.
#include <gtest/gtest.h>
#include <cmath>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include "fixture.h"
#include "plane_checks.h"
#include "pluvo_test.h"

using namespace pluvo_test;
using namespace plane_checks;

namespace {

// A strip of 40 cells of 30 m, slope 0.01, n 0.05 under 36 mm/h (1e-5 m/s).
plane_case strip(char drains) {
    plane_case c = strip_case(drains, 40, 30.0);
    c.rain_mm_h = 36.0;
    c.rain_minutes = 180;
    c.total_minutes = 300;
    c.timestep = 30.0;
    return c;
}

// Outlet discharge by whole minute from the six-decimal hydrograph.
std::map<int, double> run_strip(const plane_case& c, const temp_dir& dir,
                                run_result* result = nullptr) {
    project_file p = write_plane_case(dir.path(), c);
    p.card("SIG_OUTLET_HYDRO", "outlet6.hyd").write(dir.file("plane.prj"));
    run_result r = run_pluvo({"plane.prj"}, dir.path());
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    if (result) *result = r;
    return discharge_by_minute(dir.file("outlet6.hyd"));
}

}  // namespace

TEST(PlanePhysics, RisesLikeAKinematicWaveSettlesAtRainTimesAreaAndRecedes) {
    temp_dir dir;
    plane_case c = strip('s');
    std::map<int, double> q = run_strip(c, dir);
    ASSERT_EQ(q.count(c.total_minutes), 1u);

    const double rain = c.rain_mm_h / 1000.0 / 3600.0;                    // m/s
    const double length = c.grid.rows * c.grid.cell;                      // m
    const double equilibrium = rain * length * c.grid.cell;               // m3/s
    const double a = std::sqrt(c.slope) / c.manning;
    const double tc = std::pow(length / (a * std::pow(rain, 2.0 / 3.0)), 0.6) / 60.0;  // min
    const double t95 = std::pow(0.95, 0.6) * tc;

    // Equilibrium within 1 % from 1.3 tc, 95 % of it within 10 % of the
    // kinematic-wave time, falling at every row after the rain.
    expect_kinematic_wave(q, c, equilibrium, static_cast<int>(1.3 * tc), t95);
    EXPECT_LT(q[c.total_minutes], 0.5 * equilibrium);
}

TEST(PlanePhysics, SameHydrographInAllFourDirections) {
    std::map<char, std::map<int, double>> by_direction;
    for (char d : {'n', 'e', 's', 'w'}) {
        temp_dir dir;
        by_direction[d] = run_strip(strip(d), dir);
    }
    expect_same_in_all_directions(by_direction);
}

TEST(PlanePhysics, SummaryBalanceClosesToOnePartInABillion) {
    // A two-dimensional plane so that water also moves sideways to the outlet.
    temp_dir dir;
    const plane_case c = sideways_plane();
    write_plane_case(dir.path(), c);
    run_result r = run_pluvo({"plane.prj"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    std::string summary = read_file(dir.file("summ.out"));

    const double area = c.grid.rows * c.grid.cols * c.grid.cell * c.grid.cell;
    const double rain_volume = c.rain_mm_h / 1000.0 * c.rain_minutes / 60.0 * area;
    expect_balance_closes(summary, rain_volume);
}

TEST(PlanePhysics, OneAndEightThreadsWriteIdenticalFiles) {
    std::string outputs[2];
    const int threads[2] = {1, 8};
    for (int k = 0; k < 2; ++k) {
        temp_dir dir;
        project_file p = write_plane_case(dir.path(), wide_plane(threads[k]));
        add_thread_test_outputs(p, dir);
        // Loops over 2048 cells and more on many threads.
        run_result r = run_pluvo({"plane.prj"}, dir.path(), "", {parallel_from_cells_env(2048)});
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        outputs[k] = thread_test_outputs(dir);
        EXPECT_GT(read_file(dir.file("depth")).size(), 1000u);
    }
    EXPECT_TRUE(outputs[0] == outputs[1]) << "outputs differ between 1 and 8 threads";
}

TEST(PlanePhysics, ProgressLineCalendarAndLastLine) {
    struct progress_case {
        const char* start_date;   // START_DATE card
        const char* start_time;   // START_TIME card
        int total_minutes;        // TOT_TIME
        const char* end_time;     // END_TIME card or null
        const char* first_date;   // date of the first line
        const char* day_after;    // the date that follows February 28
        const char* last_stamp;   // calendar of the last line
    };
    const progress_case cases[] = {
        // 1900 is no leap year in the calendar: February 28 is followed by March 1.
        {"1900 2 28", "23 50", 20, nullptr, " 2/28/1900", " 3/01/1900", " 3/01/1900 00:10:00"},
        // 2000 is: February 29 comes between.
        {"2000 2 28", "23 50", 20, nullptr, " 2/28/2000", " 2/29/2000", " 2/29/2000 00:10:00"},
        // The end_time card ends the run strictly past its time.
        {"2000 2 28", "23 50", 60, "2000 2 29 0 5", " 2/28/2000", " 2/29/2000",
         " 2/29/2000 00:05:30"},
    };
    for (const progress_case& pc : cases) {
        temp_dir dir;
        plane_case c;
        c.grid.rows = 3;
        c.grid.cols = 3;
        c.rain_minutes = 5;
        c.total_minutes = pc.total_minutes;
        c.timestep = 30.0;
        project_file p = write_plane_case(dir.path(), c);
        p.remove("SUPER_QUIET").remove("START_DATE").remove("START_TIME");
        p.card("START_DATE", pc.start_date).card("START_TIME", pc.start_time);
        if (pc.end_time) p.card("END_TIME", pc.end_time);
        p.write(dir.file("plane.prj"));
        run_result r = run_pluvo({"plane.prj"}, dir.path());
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        std::vector<std::string> lines;
        for (const std::string& l : split_lines(r.out))
            if (l.rfind("event  1 elapsed time", 0) == 0) lines.push_back(l);
        ASSERT_FALSE(lines.empty()) << r.out;
        EXPECT_NE(lines.front().find(pc.first_date), std::string::npos) << lines.front();
        EXPECT_NE(r.out.find(pc.day_after), std::string::npos) << pc.start_date;
        EXPECT_NE(lines.back().find(pc.last_stamp), std::string::npos) << lines.back();
        // The total time ends the run at it (not one step later).
        if (!pc.end_time) {
            char elapsed[32];
            std::snprintf(elapsed, sizeof elapsed, "%8.2f", static_cast<double>(pc.total_minutes));
            EXPECT_NE(lines.back().find(elapsed), std::string::npos) << lines.back();
        }
    }
}
