// Groundwater heads of inset models through the program: a valley over an
// aquifer writes the heads of two cells of its north row at XY output
// points, and, as an inset model, holds cells at the heads of an outer model
// (XY_GW_HEAD by cell, XY_GW_HEAD_INTERP by interpolation) under every soil
// scheme with the water balance closed and the same files on 1 and 8 threads.
#include <gtest/gtest.h>

#include <array>
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

constexpr int kRows = 12, kCols = 9, kMid = 5;
constexpr double kCell = 10.0;   // m

double ground(int r, int col) {
    return 100.0 + 0.005 * kCell * (kRows - r) + 0.01 * kCell * std::abs(col - kMid);
}

enum class soil { green_ampt, redistribution, layered, richards };

const char* soil_name(soil m) {
    switch (m) {
        case soil::green_ampt: return "Green-Ampt";
        case soil::redistribution: return "redistribution";
        case soil::layered: return "layered";
        case soil::richards: return "Richards";
    }
    return "";
}

// A valley of 12 x 9 cells over an aquifer 6 m deep whose table starts
// 1.5 m below the ground; the middle column is a stream. With `plain`,
// XY_GW_HEAD holds cell 100 (row 12, column 1, code 1) and cell 108
// (row 12, column 9, fixed head, code 2); with `interpolated`, the first
// row (code 8) follows XY_GW_HEAD_INTERP points at the centres of cells
// (1, 1) and (1, 9).
struct xy_case {
    soil method = soil::redistribution;
    bool plain = false;
    bool interpolated = false;
    double rain_mm_h = 50.0;
    int rain_minutes = 30;
    int minutes = 120;
    bool above_ground = false; // the held heads rise above the ground at 80 min
    int threads = 0;           // 0: the program's default
};

void write_soil(project_file& p, const std::string& dir, const grid_spec& g, soil m) {
    auto map = [&](const char* card, const char* file, double value, int decimals) {
        write_grid(dir + "/" + file, g, [value](int, int) { return value; }, decimals);
        p.card(card, file);
    };
    if (m == soil::richards) {
        // Three layers of 20 cm over the aquifer material.
        map("SOIL_TYPE_MAP", "soil.asc", 1.0, 0);
        const char* layer = "2.0 0.287 0.075 0.12 0.08 0.15 20 36.936 3.96 1.175e6 4.74 2\n";
        write_file(dir + "/richards.txt", std::string("1\n0\n1\n") + layer + layer + layer);
        p.card("INF_RICHARDS").card("RICHARDS_C_OPTION", "havercamp");
        p.card("SOIL_LAYER_INPUT_FILE", "richards.txt").card("AQUIFER_DELTA_Z", "0.1");
        return;
    }
    if (m == soil::layered) {
        // 20 cm over 60 cm.
        map("SOIL_TYPE_MAP", "soil.asc", 4.0, 0);
        write_file(dir + "/layers.txt",
                   "1\nsoils\n4\n"
                   "1.0 0.3 11.0 0.45 0.3 0.1 0.05 0.15 20.0\n"
                   "0.5 0.3 15.0 0.40 0.3 0.1 0.05 0.20 60.0\n"
                   "0.2 0.3 20.0 0.35 0.3 0.1 0.05 0.20\n");
        p.card("SOIL_LAYER_INPUT_FILE", "layers.txt").card("INF_LAYERED_SOIL");
        return;
    }
    map("CONDUCTIVITY", "ks.asc", 1.0, 3);
    map("CAPILLARY", "hc.asc", 11.0, 3);
    map("POROSITY", "por.asc", 0.45, 3);
    map("MOISTURE", "moist.asc", 0.15, 3);
    if (m == soil::green_ampt) {
        p.card("GREEN_AMPT");
        return;
    }
    map("PORE_INDEX", "pi.asc", 0.3, 3);
    map("RESIDUAL_SAT", "thr.asc", 0.05, 3);
    p.card("SOIL_MOIST_DEPTH", "0.8").card("INF_REDIST");
}

// Held head series, m, at 0, 40, 80 and 120 min: cells 100 and 108 (ground
// 100.4 m) and the interpolation points (ground 100.95 m). They rise into the
// soil (or, with `above_ground`, above the ground) and fall below it.
using series_row = std::array<double, 3>;   // minute, first value, second value
std::vector<series_row> plain_series(bool above_ground) {
    return {{0, 98.90, 98.90}, {40, 100.10, 99.90},
            above_ground ? series_row{80, 100.70, 100.60} : series_row{80, 99.20, 100.20},
            {120, 97.90, 98.40}};
}
std::vector<series_row> interpolated_series(bool above_ground) {
    return {{0, 99.45, 99.45}, {40, 100.55, 100.30},
            above_ground ? series_row{80, 101.30, 101.20} : series_row{80, 99.00, 100.00},
            {120, 98.80, 99.20}};
}

std::string series_text(const std::vector<series_row>& rows) {
    std::string text;
    char line[96];
    for (const series_row& r : rows) {
        const int minute = static_cast<int>(r[0]);
        std::snprintf(line, sizeof line, "2020 06 01 %02d %02d %.2f %.2f\n", minute / 60,
                      minute % 60, r[1], r[2]);
        text += line;
    }
    return text + "END_TS\n";
}

void write_case(const std::string& dir, const xy_case& xc) {
    grid_spec g;
    g.rows = kRows;
    g.cols = kCols;
    g.cell = kCell;
    g.north = kRows * kCell;
    write_grid(dir + "/mask.asc", g, [](int, int) { return 1.0; }, 0);
    write_grid(dir + "/elev.asc", g, [](int r, int col) { return ground(r, col); }, 6);
    write_grid(dir + "/wt.asc", g, [](int r, int col) { return ground(r, col) - 1.5; }, 6);
    write_grid(dir + "/bottom.asc", g, [](int r, int col) { return ground(r, col) - 6.0; }, 6);
    write_grid(dir + "/gwbound.asc", g, [&xc](int r, int col) {
        if (col == kMid) return 4.0;
        if (r == 1 && xc.interpolated) return 8.0;
        if (r == kRows && col == kCols && xc.plain) return 2.0;
        return 1.0;
    }, 0);
    write_valley_channel(dir, kRows, kMid, kCell, 0.005);
    write_file(dir + "/interp.xy", "XY_GW_HEAD_INTERP\n2\nX 5 85\nY 115 115\n" +
                                       series_text(interpolated_series(xc.above_ground)));
    write_file(dir + "/head.xy",
               "XY_GW_HEAD\n2\nDATE TIME 100 108\n" + series_text(plain_series(xc.above_ground)));
    write_file(dir + "/pts.txt", "2\n25 115 3\n35 115 4\n");
    project_file p = valley_project({kRows, kCols, kCell, kMid, 0.005, xc.minutes, 5.0,
                                     xc.rain_mm_h, xc.rain_minutes});
    p.card("K_RIVER", "0.36").card("M_RIVER", "0.5").card("SUPER_QUIET").card("STREAM_LOSS");
    p.card("WATER_TABLE", "wt.asc");
    write_soil(p, dir, g, xc.method);
    p.card("GW_SIMULATION")
        .card("AQUIFER_BOTTOM", "bottom.asc")
        .card("GW_BOUNDFILE", "gwbound.asc")
        .card("GW_UNIF_HYCOND", "36")
        .card("GW_UNIF_POROSITY", "0.3")
        .card("GW_RELAX_COEFF", "1.2")
        .card("GW_LSOR_CON", "1e-12")
        .card("GW_TIMESTEP", "60")
        .card("XYBDYOUTPUT_PTS", "pts.txt")
        .card("XYBDYOUTPUT_GWHEAD", "heads.xy");
    if (xc.threads > 0) p.card("NUM_THREADS", std::to_string(xc.threads));
    if (xc.interpolated) p.card("XYBDYINPUT_GWHEADINTERP", "interp.xy");
    if (xc.plain) p.card("XYBDYINPUT_GWHEAD", "head.xy");
    p.write(dir + "/valley.prj");
}

double summary_value(const std::string& text, const std::string& label) {
    const size_t at = text.rfind(label);
    if (at == std::string::npos) return std::nan("");
    return std::strtod(text.c_str() + at + label.size(), nullptr);
}

}  // namespace

// Reference: the first row is written before the first groundwater step,
// at the starting table 1.5 m below the ground: 100.75 - 1.5 = 99.25 m at
// cell (1, 3) and 100.65 - 1.5 = 99.15 m at cell (1, 4); later rows follow
// the solved heads, the same with 1 and 8 threads.
TEST(GroundwaterXyRun, HeadsAreWrittenAtTheOutputPoints) {
    std::string heads[2];
    const int threads[2] = {1, 8};
    for (int k = 0; k < 2; ++k) {
        temp_dir dir;
        xy_case xc;
        xc.threads = threads[k];
        write_case(dir.path(), xc);
        const run_result r = run_pluvo({"valley.prj"}, dir.path(), "", {parallel_from_cells_env(4)});
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        heads[k] = read_file(dir.file("heads.xy"));
    }
    const std::vector<std::string> lines = split_lines(heads[0]);
    ASSERT_EQ(lines.size(), 3u + 121u + 1u) << heads[0];   // a row per minute of 120
    EXPECT_EQ(lines[0], "XY_GW_HEAD");
    EXPECT_EQ(lines[1], "2");
    EXPECT_EQ(lines[2], "DATE       TIME \t         3         4");
    EXPECT_EQ(lines[3], "2020 06 01 00 00\t    99.250    99.150");
    EXPECT_EQ(lines.back(), "END_TS");
    EXPECT_NE(lines[123], lines[3]) << "the heads did not move";
    EXPECT_EQ(heads[1], heads[0]);
}

// Volumes a held head series stores (gain) and releases (loss) at a storage
// coefficient, m3 per m2 of cell: the series are linear between their rows
// and sampled every minute, so the rises and falls sum row to row.
std::array<double, 2> stored_and_released(const std::vector<series_row>& rows, double storage) {
    std::array<double, 2> v{0.0, 0.0};
    for (size_t k = 1; k < rows.size(); ++k) {
        for (int p = 1; p <= 2; ++p) {
            const double dh = rows[k][static_cast<size_t>(p)] - rows[k - 1][static_cast<size_t>(p)];
            v[dh > 0.0 ? 0 : 1] += std::fabs(dh) * storage;
        }
    }
    return v;
}

// Held heads rise into the soil columns (or above the ground) and fall below
// them again, under every soil scheme, with rain and with a trace of it: the
// water the held cells store or release comes from the outer model, and what
// the soil columns above them gain or lose as the table moves is booked. The
// summary's balance closes to 1e-9 relative and the groundwater section's own
// to its printed digits. References:
//  - over Green-Ampt the aquifer is not solved: every held cell's change at
//    the aquifer porosity 0.3 is the XY gain or loss (sum of the series' rises
//    and falls x 0.3 x 100 m2), to the printed cent;
//  - the written heads of cells (1, 3) and (1, 4) at 120 min are the
//    inverse-distance-squared means of the interpolation points at 20 and
//    60 m (weights 9:1) and at 30 and 50 m (25:9), to the printed mm.
TEST(GroundwaterXyRun, HeldHeadsKeepTheBalanceClosed) {
    struct balance_case {
        soil method;
        bool plain;
        double rain_mm_h;
        bool above_ground;
    };
    std::vector<balance_case> cases;
    for (soil m : {soil::green_ampt, soil::redistribution, soil::layered, soil::richards}) {
        for (bool plain : {true, false}) {
            cases.push_back({m, plain, 50.0, false});
            cases.push_back({m, plain, 0.001, false});   // mm/h: a trace
            cases.push_back({m, plain, 50.0, true});
        }
    }
    for (const balance_case& bc : cases) {
        SCOPED_TRACE(std::string(soil_name(bc.method)) + (bc.plain ? ", by cell" : ", interpolated") +
                     (bc.rain_mm_h > 1.0 ? ", rain" : ", no rain") +
                     (bc.above_ground ? ", above the ground" : ""));
        temp_dir dir;
        xy_case xc;
        xc.method = bc.method;
        xc.plain = bc.plain;
        xc.interpolated = !bc.plain;
        xc.rain_mm_h = bc.rain_mm_h;
        xc.above_ground = bc.above_ground;
        // A trace falls all along: a run without water on its surface ends with the rain.
        if (bc.rain_mm_h < 1.0) xc.rain_minutes = xc.minutes;
        write_case(dir.path(), xc);
        const run_result r = run_pluvo({"valley.prj"}, dir.path());
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        const std::string s = read_file(dir.file("valley.sum"));
        auto v = [&](const char* label) { return summary_value(s, label); };
        EXPECT_LT(std::fabs(v("Overall balance, relative error =")), 1e-9) << s;
        EXPECT_LT(std::fabs(v("Mass Balance error =")), 0.005) << s;
        // Both kinds of points show their volumes in the event and run totals.
        EXPECT_NEAR(v("Volume gained from XY boundaries"), v("Gain from XY boundaries"), 1e-9);
        EXPECT_NEAR(v("vol loss for gw from XY boundaries:"), v("Loss to XY boundaries"), 0.051);
        if (bc.method == soil::green_ampt) {
            const std::vector<series_row> rows =
                bc.plain ? plain_series(bc.above_ground) : interpolated_series(bc.above_ground);
            const std::array<double, 2> moved = stored_and_released(rows, 0.3 * kCell * kCell);
            if (bc.plain) {
                EXPECT_NEAR(v("Gain from XY boundaries"), moved[0], 0.005) << s;
                EXPECT_NEAR(v("Loss to XY boundaries"), moved[1], 0.005) << s;
            } else {
                EXPECT_GT(v("Gain from XY boundaries"), 1.0) << s;
                EXPECT_GT(v("Loss to XY boundaries"), 1.0) << s;
            }
        }
        if (!bc.plain) {
            const series_row end = interpolated_series(bc.above_ground).back();
            char expected[80];
            std::snprintf(expected, sizeof expected, "2020 06 01 02 00\t%10.3f%10.3f",
                          (9.0 * end[1] + end[2]) / 10.0, (25.0 * end[1] + 9.0 * end[2]) / 34.0);
            const std::vector<std::string> lines = split_lines(read_file(dir.file("heads.xy")));
            ASSERT_GE(lines.size(), 2u);
            EXPECT_EQ(lines[lines.size() - 2], expected);
        }
    }
}

// Both kinds of held heads over each soil scheme, the cell loops on many
// threads: the hydrograph, the written heads and the summary are the same
// with 1 and 8 threads.
TEST(GroundwaterXyRun, HeldHeadRunsAreTheSameOnOneAndEightThreads) {
    for (soil m : {soil::green_ampt, soil::redistribution, soil::layered, soil::richards}) {
        SCOPED_TRACE(soil_name(m));
        std::string outputs[2];
        for (int k = 0; k < 2; ++k) {
            temp_dir dir;
            xy_case xc;
            xc.method = m;
            xc.plain = xc.interpolated = true;
            xc.above_ground = true;
            xc.threads = k == 0 ? 1 : 8;
            write_case(dir.path(), xc);
            const run_result r =
                run_pluvo({"valley.prj"}, dir.path(), "", {parallel_from_cells_env(4)});
            ASSERT_EQ(r.status, 0) << r.out << r.err;
            outputs[k] = read_file(dir.file("valley.otl")) + "\n--\n" +
                         read_file(dir.file("heads.xy")) + "\n--\n" +
                         without_timing(read_file(dir.file("valley.sum")));
        }
        EXPECT_GT(summary_value(outputs[0], "Gain from XY boundaries"), 1.0);
        EXPECT_TRUE(outputs[0] == outputs[1]) << "outputs differ between 1 and 8 threads";
    }
}

// Held head inputs the run cannot use stop it with exit status 1 and a
// message naming the file and line.
TEST(GroundwaterXyRun, BadHeldHeadInputsStopTheRun) {
    struct bad_case {
        const char* what;
        const char* file;        // file replaced (null: none)
        const char* text;        // its text
        bool interpolated;       // the first row has code 8 and the card is given
        const char* expected;    // part of the output
    };
    const bad_case cases[] = {
        {"cell outside the grid", "head.xy",
         "XY_GW_HEAD\n2\nDATE TIME 100 109\n2020 06 01 00 00 98.9 98.9\nEND_TS\n", false,
         "head.xy, line 3: point 2 names cell 109, but the grid has cells 1 to 108"},
        {"short series row", "head.xy",
         "XY_GW_HEAD\n2\nDATE TIME 100 108\n2020 06 01 00 00 98.9\nEND_TS\n", false,
         "head.xy, line 4: a row of the series"},
        {"short x line", "interp.xy",
         "XY_GW_HEAD_INTERP\n2\nX 5\nY 115 115\n2020 06 01 00 00 98.9 98.9\nEND_TS\n", true,
         "interp.xy, line 3: value 2 of 2 is missing"},
        {"no points", "interp.xy", "XY_GW_HEAD_INTERP\n0\n", true,
         "interp.xy, line 2: the number of points must be a whole number above 0"},
        {"cell file given as interpolation points", "interp.xy",
         "XY_GW_HEAD\n2\nDATE TIME 1 2\n2020 06 01 00 00 98.9 98.9\nEND_TS\n", true,
         "File interp.xy, line 1: XY_GW_HEAD"},
    };
    for (const bad_case& bc : cases) {
        SCOPED_TRACE(bc.what);
        temp_dir dir;
        xy_case xc;
        xc.plain = !bc.interpolated;
        xc.interpolated = bc.interpolated;
        write_case(dir.path(), xc);
        if (bc.file != nullptr) write_file(dir.file(bc.file), bc.text);
        const run_result r = run_pluvo({"valley.prj"}, dir.path());
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_NE(r.out.find(bc.expected), std::string::npos) << r.out;
    }
    // Cells of code 8 with no interpolation points to take their heads from.
    temp_dir dir;
    xy_case xc;
    xc.interpolated = true;
    write_case(dir.path(), xc);
    std::string prj = read_file(dir.file("valley.prj"));
    const size_t card = prj.find("XYBDYINPUT_GWHEADINTERP");
    ASSERT_NE(card, std::string::npos);
    prj.erase(card, prj.find('\n', card) - card + 1);
    write_file(dir.file("valley.prj"), prj);
    const run_result r = run_pluvo({"valley.prj"}, dir.path());
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("Error: cell 1 has the groundwater boundary code 8"), std::string::npos)
        << r.out;
}
