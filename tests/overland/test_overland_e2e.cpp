// End-to-end runs of the program on a tilted plane under uniform rain: the
// rising limb follows the kinematic wave and the outflow settles at rain
// rate times area; the explicit scheme's divided steps are counted per event.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>

#include "fixture.h"
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

namespace {

// A long-term run of a steep plane, 4 x 8 cells of 10 m falling 0.2 to the
// south, Manning n 0.02, with two identical events of 200 mm/h for 10 min a
// day apart (redistribution soils of 0.01 cm/h, Penman-Monteith in still,
// dark weather). Returns the summary; `out` gets the console text.
std::string run_steep_plane_events(const temp_dir& dir, const std::string& overtype,
                                   double timestep, std::string& out) {
    grid_spec g;
    g.rows = 8;
    g.cols = 4;
    g.cell = 10.0;
    g.north = 80.0;
    write_grid(dir.file("mask.asc"), g, [](int, int) { return 1.0; }, 0);
    write_grid(dir.file("elev.asc"), g, [](int r, int) { return 100.0 + 2.0 * (8 - r); }, 4);
    project_file p;
    p.card("WATERSHED_MASK", "mask.asc").card("ELEVATION", "elev.asc").card("GRIDSIZE", 10.0);
    p.card("ROWS", "8").card("COLS", "4").card("TOT_TIME", "2880").card("TIMESTEP", timestep);
    p.card("OUTROW", "8").card("OUTCOL", "2").card("OUTSLOPE", 0.2).card("MANNING_N", 0.02);
    p.card("HYD_FREQ", "60").card("MAP_FREQ", "2880").card("SUMMARY", "summ.out");
    p.card("OUTLET_HYDRO", "outlet.hyd").card("OVERTYPE", overtype).card("PRECIP_FILE", "rain.gag");
    p.card("START_DATE", "2000 6 1").card("START_TIME", "0 0").card("LONG_TERM");
    p.card("HMET_KEV", "hmet.kev").card("ET_CALC_PENMAN").card("LATITUDE", "40");
    p.card("LONGITUDE", "105").card("GMT", "-7").card("INF_REDIST");
    p.card("SOIL_MOIST_DEPTH", "1.0").card("TOP_LAYER_DEPTH", "0.2").card("SUPER_QUIET");
    const struct {
        const char* card;
        const char* file;
        double value;
    } maps[] = {{"ALBEDO", "alb.asc", 0.2},     {"VHEIGHT", "vh.asc", 0.12},   {"TCOEFF", "tc.asc", 0.5},
                {"CANOPY", "can.asc", 70.0},    {"WILTING_POINT", "wp.asc", 0.08},
                {"CONDUCTIVITY", "ks.asc", 0.01}, {"CAPILLARY", "hc.asc", 10.0},
                {"POROSITY", "por.asc", 0.45},  {"MOISTURE", "moist.asc", 0.3},
                {"PORE_INDEX", "pi.asc", 0.4},  {"RESIDUAL_SAT", "rs.asc", 0.05}};
    for (const auto& m : maps) {
        write_grid(dir.file(m.file), g, [&](int, int) { return m.value; }, 3);
        p.card(m.card, m.file);
    }
    std::string kev;
    for (int h = 0; h < 72; ++h)
        kev += "2000 6 " + std::to_string(1 + h / 24) + " " + std::to_string(h % 24) +
               " 29.92 40 20 0 60 0.0 0.0\n";
    write_file(dir.file("hmet.kev"), kev);
    write_file(dir.file("rain.gag"),
               "EVENT one\nNRGAG 1\nNRPDS 2\nCOORD 10 10\nRATES 2000 6 1 1 0 200\nRATES 2000 6 1 1 10 0\n"
               "EVENT two\nNRGAG 1\nNRPDS 2\nCOORD 10 10\nRATES 2000 6 2 1 0 200\nRATES 2000 6 2 1 10 0\n");
    p.write(dir.file("plane.prj"));
    const run_result r = run_pluvo({"plane.prj"}, dir.path());
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    out = r.out + r.err;
    return read_file(dir.file("summ.out"));
}

}  // namespace

// The explicit scheme divides its step where a face would move too much
// water, and books every such face for the event summary instead of printing
// a line for it: one count line per event (the events are alike, so the
// counts are too, which also shows the count starts again at each event),
// above 0 at a 30 s step on the steep plane and 0 at 10 s; the ADE schemes
// print no such line.
TEST(OverlandEndToEnd, ExplicitSplitsAreCountedOncePerEventNotPrinted) {
    const std::string label = "Overland faces that needed a split:";
    const struct {
        const char* overtype;
        double timestep;   // s
        bool splits;
    } cases[] = {{"1", 30.0, true}, {"1", 10.0, false}, {"2", 30.0, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("OVERTYPE ") + c.overtype + ", TIMESTEP " + std::to_string(c.timestep));
        temp_dir dir;
        std::string out;
        const std::string summary = run_steep_plane_events(dir, c.overtype, c.timestep, out);
        EXPECT_EQ(out.find("need to split"), std::string::npos) << out.substr(0, 2000);
        EXPECT_EQ(summary.find("need to split"), std::string::npos);
        EXPECT_EQ(count_of(summary, "Event began on strict Julian date:"), 2) << summary;
        if (c.overtype[0] != '1') {
            EXPECT_EQ(summary.find(label), std::string::npos) << summary;
            continue;
        }
        ASSERT_EQ(count_of(summary, label), 2) << summary;
        const size_t first = summary.find(label);
        const long n1 = std::strtol(summary.c_str() + first + label.size(), nullptr, 10);
        const long n2 = std::strtol(summary.c_str() + summary.find(label, first + 1) + label.size(), nullptr, 10);
        EXPECT_EQ(n1 > 0, c.splits) << n1;
        EXPECT_EQ(n2, n1);
    }
}
