// Rain on the ground equals the recorded rain through the program: every
// kind of precipitation event (gage depths, accumulations, rates, radar values
// per gage, radar grid files) under time steps that divide the 5-minute data
// interval, that do not divide it, and that are longer than it. The grid is
// flat with no infiltration, so the event balance closes as well, and one and
// eight threads write the same files.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "fixture.h"
#include "pluvo_test.h"

using namespace pluvo_test;

namespace {

// 50 x 50 cells of 100 m (more cells than the parallel loops' threshold).
constexpr int kCells = 50;
constexpr double kDx = 100.0;                    // m
constexpr double kSide = kCells * kDx;           // m
constexpr int kPeriods = 12;                     // 5-minute periods of the event
constexpr double kPeriodHours = 5.0 / 60.0;      // h

// Depth of every period at source s (a gage, or a cell of the radar grid), mm;
// multiples of 1/16 mm so that every value the test writes is exact.
double period_depth(int s, int i) {
    static const double base[kPeriods] = {1.0, 2.5, 0.0, 4.0, 3.0, 0.5,
                                          1.5, 2.0, 0.0, 1.0, 2.0, 1.5};   // 19 mm
    return base[(i + 3 * s) % kPeriods] * (1.0 + 0.25 * s);
}

// Gages inside the watershed (m); the third lies within one cell size of four
// cell centres, which then take its own value under inverse distance.
const double kGageX[3] = {1234.5, 4100.0, 2600.0};
const double kGageY[3] = {4321.0, 900.0, 2500.0};

enum class kind { gages, accum, rates, radar_values, radar_files };

struct event_kind {
    const char* name;
    kind k;
    bool nearest;   // nearest gage instead of inverse distance
};

const event_kind kKinds[] = {
    {"GAGES", kind::gages, false},         {"ACCUM", kind::accum, true},
    {"RATES", kind::rates, false},         {"RADAR values", kind::radar_values, true},
    {"RADAR files", kind::radar_files, false},
};

void PrintTo(const event_kind& e, std::ostream* os) { *os << e.name; }

// Steps (s) that divide 300 s, that do not (90, 420 and 900 s overshoot
// the last line), and that are longer than the data interval.
const double kSteps[] = {30.0, 60.0, 90.0, 150.0, 300.0, 420.0, 600.0, 900.0};

std::string number(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.6f", v);
    return buf;
}

std::string line_date(int i) {   // data line i (0-based), 5 minutes apart from 6:00
    return "2004 7 12 " + std::to_string(6 + (5 * i) / 60) + " " + std::to_string((5 * i) % 60);
}

// The precipitation file (and the radar grids) of one event kind.
void write_event(const temp_dir& dir, kind k) {
    std::string text = "EVENT volume check\n";
    if (k == kind::radar_files) {
        text += "NRGAG files\nNRPDS " + std::to_string(kPeriods + 1) + "\n";
        for (int i = 0; i <= kPeriods; ++i) {
            // The grid of line i holds the intensities of the period that ends at it.
            const std::string name = "radar" + std::to_string(i) + ".asc";
            std::string grid =
                "ncols 2\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 2500\nNODATA_value -9999\n";
            for (int row = 0; row < 2; ++row) {
                for (int col = 0; col < 2; ++col) {
                    const double v = i == 0 ? 0.0 : period_depth(2 * row + col, i - 1) / kPeriodHours;
                    grid += number(v) + (col == 1 ? "\n" : " ");
                }
            }
            write_file(dir.file(name), grid);
            text += "RADAR " + line_date(i) + " " + name + "\n";
        }
        write_file(dir.file("rain.gag"), text);
        return;
    }
    text += "NRGAG 3\nNRPDS " + std::to_string(kPeriods + 1) + "\n";
    for (int j = 0; j < 3; ++j) text += "COORD " + number(kGageX[j]) + " " + number(kGageY[j]) + "\n";
    const char* key = k == kind::gages ? "GAGES" : k == kind::accum ? "ACCUM"
                      : k == kind::rates ? "RATES" : "RADAR";
    std::vector<double> total(3, 2.0);   // accumulations start from 2 mm
    for (int i = 0; i <= kPeriods; ++i) {
        text += std::string(key) + " " + line_date(i);
        for (int j = 0; j < 3; ++j) {
            double v = 0.0;
            switch (k) {
                case kind::gages:   // depth of the period that ends at line i
                    v = i == 0 ? 0.0 : period_depth(j, i - 1);
                    break;
                case kind::accum:
                    if (i > 0) total[j] += period_depth(j, i - 1);
                    v = total[j];
                    break;
                case kind::rates:   // intensity from line i to line i + 1
                    v = i == kPeriods ? 0.0 : period_depth(j, i) / kPeriodHours;
                    break;
                default:            // intensity of the period that ends at line i
                    v = i == 0 ? 0.0 : period_depth(j, i - 1) / kPeriodHours;
                    break;
            }
            text += " " + number(v);
        }
        text += "\n";
    }
    write_file(dir.file("rain.gag"), text);
}

// Share of each source in cell (r, c), rows from the north: inverse squared
// distance (a gage closer than a cell size gives its own value), nearest gage
// (the lower number on equal distances), or the radar cell holding the centre.
std::vector<double> source_weights(const event_kind& e, int r, int c) {
    const double x = (c - 0.5) * kDx;
    const double y = kSide - (r - 0.5) * kDx;
    if (e.k == kind::radar_files) {
        std::vector<double> w(4, 0.0);
        const int row = static_cast<int>((kSide - y) / 2500.0);
        const int col = static_cast<int>(x / 2500.0);
        w[static_cast<size_t>(2 * row + col)] = 1.0;
        return w;
    }
    std::vector<double> w(3, 0.0);
    double d2[3];
    for (int j = 0; j < 3; ++j)
        d2[j] = (x - kGageX[j]) * (x - kGageX[j]) + (y - kGageY[j]) * (y - kGageY[j]);
    if (e.nearest) {
        int best = 0;
        for (int j = 1; j < 3; ++j)
            if (d2[j] < d2[best]) best = j;
        w[static_cast<size_t>(best)] = 1.0;
        return w;
    }
    for (int j = 0; j < 3; ++j) {
        if (d2[j] < kDx * kDx) {
            w[static_cast<size_t>(j)] = 1.0;
            return w;
        }
    }
    double sum = 0.0;
    for (int j = 0; j < 3; ++j) sum += 1.0 / d2[j];
    for (int j = 0; j < 3; ++j) w[static_cast<size_t>(j)] = 1.0 / d2[j] / sum;
    return w;
}

// The recorded rain of the event over the watershed, m3.
double recorded_volume(const event_kind& e) {
    const int sources = e.k == kind::radar_files ? 4 : 3;
    std::vector<double> depth(static_cast<size_t>(sources), 0.0);   // m
    for (int s = 0; s < sources; ++s)
        for (int i = 0; i < kPeriods; ++i) depth[static_cast<size_t>(s)] += period_depth(s, i) / 1000.0;
    double volume = 0.0;
    for (int r = 1; r <= kCells; ++r) {
        for (int c = 1; c <= kCells; ++c) {
            const std::vector<double> w = source_weights(e, r, c);
            for (int s = 0; s < sources; ++s)
                volume += w[static_cast<size_t>(s)] * depth[static_cast<size_t>(s)] * kDx * kDx;
        }
    }
    return volume;
}

void write_project(const temp_dir& dir, const event_kind& e, double step, int threads) {
    grid_spec g;
    g.rows = kCells;
    g.cols = kCells;
    g.cell = kDx;
    g.north = kSide;
    write_grid(dir.file("mask.asc"), g, [](int, int) { return 1.0; }, 0);
    write_grid(dir.file("elev.asc"), g, [](int, int) { return 100.0; }, 0);
    write_event(dir, e.k);
    project_file p;
    p.card("WATERSHED_MASK", "mask.asc")
        .card("ELEVATION", "elev.asc")
        .card("SUMMARY", "summ.out")
        .card("OUTLET_HYDRO", "outlet.hyd")
        .card("GRIDSIZE", kDx)
        .card("ROWS", std::to_string(kCells))
        .card("COLS", std::to_string(kCells))
        .card("TOT_TIME", "120")
        .card("TIMESTEP", step)
        .card("OUTROW", std::to_string(kCells))
        .card("OUTCOL", std::to_string(kCells / 2))
        .card("OUTSLOPE", 1e-4)
        .card("HYD_FREQ", "15")
        .card("MAP_FREQ", "120")
        .card("MANNING_N", 0.5)
        .card("OVERTYPE", "1")
        .card("PRECIP_FILE", "rain.gag")
        .card(e.nearest ? "RAIN_THIESSEN" : "RAIN_INV_DISTANCE")
        .card("SUPER_QUIET")
        .card("NUM_THREADS", std::to_string(threads));
    if (e.k == kind::radar_files) p.card("RADAR_MM");
    p.write(dir.file("rain.prj"));
}

double number_after(const std::string& text, const std::string& label) {
    const size_t pos = text.rfind(label);
    if (pos == std::string::npos) return std::nan("");
    return std::strtod(text.c_str() + pos + label.size(), nullptr);
}

}  // namespace

class RainVolumeProgram : public testing::TestWithParam<event_kind> {};

TEST_P(RainVolumeProgram, RainOnTheGroundIsTheRecordedRainForEveryStep) {
    const event_kind& e = GetParam();
    const std::vector<std::string> env = {"OMP_WAIT_POLICY=passive"};
    const double recorded = recorded_volume(e);   // m3
    for (double step : kSteps) {
        const std::string what = std::string(e.name) + ", step " + number(step) + " s";
        std::string files[2];
        const int threads[2] = {1, 8};
        for (int t = 0; t < 2; ++t) {
            temp_dir dir;
            write_project(dir, e, step, threads[t]);
            const run_result r = run_pluvo({"rain.prj"}, dir.path(), "", env);
            ASSERT_EQ(r.status, 0) << what << "\n" << r.out << r.err;
            const std::string s = read_file(dir.file("summ.out"));
            // Inputs and outputs of the event balance print with six decimals.
            const double in = number_after(s, "Mass input + original mass:");
            const double out = number_after(s, "Mass output + final mass:");
            EXPECT_NEAR(in, recorded, 1e-9 * recorded) << what;
            EXPECT_NEAR(out, in, 1e-9 * in) << what;
            EXPECT_NEAR(number_after(s, "Total amount of precip="), recorded, 0.006) << what;
            files[t] = s + read_file(dir.file("outlet.hyd"));
        }
        EXPECT_EQ(files[0], files[1]) << what;
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, RainVolumeProgram, testing::ValuesIn(kKinds),
                         [](const testing::TestParamInfo<event_kind>& info) {
                             std::string name;
                             for (const char* c = info.param.name; *c; ++c)
                                 if (*c != ' ') name += *c;
                             return name;
                         });
