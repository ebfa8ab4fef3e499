// End-to-end runs of the program on a tilted plane under uniform rain: the
// rising limb follows the kinematic wave and the outflow settles at rain
// rate times area.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>

#include "pluvo_test.h"

using namespace pluvo_test;

namespace {

// One row of 40 cells of 30 m on a slope of 0.01 towards the outlet in the
// last column, Manning n 0.05, 36 mm/h of rain (1e-5 m/s) for the whole run.
constexpr int kCols = 40;
constexpr double kDx = 30.0;
constexpr double kSlope = 0.01;
constexpr double kN = 0.05;
constexpr double kRain = 1e-5;   // m/s

std::string map_header() {
    char h[200];
    std::snprintf(h, sizeof h, "north: %g\nsouth: 0\neast: %g\nwest: 0\nrows: 1\ncols: %d\n", kDx,
                  kCols * kDx, kCols);
    return h;
}

void write_plane(const temp_dir& dir, const std::string& overtype) {
    std::string mask = map_header(), elev = map_header();
    for (int c = 1; c <= kCols; ++c) {
        mask += "1 ";
        char v[32];
        std::snprintf(v, sizeof v, "%.4f ", 100.0 - kSlope * kDx * c);
        elev += v;
    }
    write_file(dir.file("mask.asc"), mask + "\n");
    write_file(dir.file("elev.asc"), elev + "\n");
    write_file(dir.file("plane.prj"),
               "PLUVOPROJECT\n"
               "WATERSHED_MASK mask.asc\nELEVATION elev.asc\n"
               "GRIDSIZE 30\nROWS 1\nCOLS 40\nTOT_TIME 240\nTIMESTEP 30\n"
               "OUTROW 1\nOUTCOL 40\nOUTSLOPE 0.01\nHYD_FREQ 5\nMAP_FREQ 600\n"
               "SUMMARY summ.sum\nOUTLET_HYDRO outlet.otl\nSIG_OUTLET_HYDRO outlet6.otl\n"
               "START_DATE 2020 6 1\nSTART_TIME 0 0\n"
               "PRECIP_UNIF\nRAIN_INTENSITY 36\nRAIN_DURATION 240\n"
               "MANNING_N 0.05\nOVERTYPE " + overtype + "\nSUPER_QUIET\n");
}

// Outlet discharge (m3/s) by minute from the six-digit hydrograph.
std::map<int, double> read_hydrograph(const std::string& path) {
    std::map<int, double> q;
    std::istringstream in(read_file(path));
    double t = 0.0, v = 0.0;
    while (in >> t >> v) q[static_cast<int>(std::lround(t))] = v;
    return q;
}

TEST(OverlandEndToEnd, TiltedPlaneRisesLikeAKinematicWaveAndSettles) {
  for (const char* scheme : {"explicit", "ade", "ade-pc"}) {
    SCOPED_TRACE(scheme);
    temp_dir dir;
    write_plane(dir, scheme);
    run_result r = run_pluvo({"plane.prj"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    std::map<int, double> q = read_hydrograph(dir.file("outlet6.otl"));
    ASSERT_EQ(q.count(240), 1u) << r.out;

    // Rising limb before the time of concentration (about 77 min): the outlet
    // depth is rain x time, so Q = dx sqrt(S) / n (i t)^(5/3).
    for (int minute : {20, 40, 60}) {
        const double depth = kRain * minute * 60.0;
        const double expected = kDx * std::sqrt(kSlope) / kN * std::pow(depth, 5.0 / 3.0);
        EXPECT_NEAR(q[minute], expected, 0.06 * expected) << "minute " << minute;
    }
    // The outflow never falls while the rain goes on, and settles at i x A.
    double last = 0.0;
    for (const auto& [minute, value] : q) {
        EXPECT_GE(value, last - 1e-6) << "minute " << minute;
        last = value;
    }
    const double equilibrium = kRain * kCols * kDx * kDx;   // 0.36 m3/s
    EXPECT_NEAR(q[240], equilibrium, 0.001 * equilibrium);
    EXPECT_NEAR(q[200], equilibrium, 0.001 * equilibrium);
  }
}

TEST(OverlandEndToEnd, SchemeOutsideOneToThreeStopsTheRun) {
    temp_dir dir;
    write_plane(dir, "4");
    run_result r = run_pluvo({"plane.prj"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Error: project file plane.prj, line 23: card overtype has the value 4, "
                         "which names no choice (1 to 3)"),
              std::string::npos)
        << r.out;
    // The run stopped before its files were opened.
    EXPECT_FALSE(file_exists(dir.file("outlet6.otl")));
}

}  // namespace
