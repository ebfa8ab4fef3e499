// Overland lakes run through the program on generated inputs, under the
// explicit scheme and both ADE schemes: a lake in a stepped bowl fills from
// the rain and the runoff and grows, the balances of the summary close, one
// and eight threads write the same files; bad lake inputs stop the run naming
// the file and line; the level-pool lake drains over a low spot like the
// reservoir equation says.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "boundary_case.h"
#include "fixture.h"
#include "pluvo_test.h"

using namespace pluvo_test;

namespace {

double number_after(const std::string& text, const std::string& label) {
    const size_t pos = text.rfind(label);
    if (pos == std::string::npos) return std::nan("");
    return std::strtod(text.c_str() + pos + label.size(), nullptr);
}

constexpr int kBowl = 12;   // rows and columns of the bowl

// The overland schemes: explicit, ADE, ADE-PC.
const char* const kOvertypes[] = {"1", "2", "3"};

// Ground of the bowl: rings of 0.05 m around its centre, m.
double bowl_ground(int r, int c) {
    return 100.0 + 0.05 * std::max(std::fabs(r - 6.5), std::fabs(c - 6.5));
}

// The bowl with the centre 2 x 2 cells as lake 1 at 100.03 m (ground
// 100.025 m); 50 mm/h for 30 min, 60 min simulated at 10 s with the overland
// scheme `overtype`.
project_file write_bowl(const temp_dir& dir, int threads = 0, const char* overtype = "1") {
    plane_case c;
    c.grid.rows = kBowl;
    c.grid.cols = kBowl;
    c.grid.cell = 10.0;
    c.rain_minutes = 30;
    c.total_minutes = 60;
    c.timestep = 10.0;
    c.threads = threads;
    project_file p = write_plane_case(dir.path(), c);
    write_grid(dir.file("elev.asc"), c.grid, bowl_ground, 9);
    write_grid(dir.file("lakes.asc"), c.grid, [](int r, int col) {
        return (r == 6 || r == 7) && (col == 6 || col == 7) ? 1.0 : 0.0;
    }, 0);
    write_file(dir.file("lakes.txt"), "PLUVO_OVERLAND_LAKE_FILE\r\nLAKE 1 100.03 0.2\r\n");
    p.remove("OUTROW").remove("OUTCOL").card("OUTROW", "1").card("OUTCOL", "1");
    p.card("OVERLAND_LAKE_MAP", "lakes.asc").card("OVERLAND_LAKE_FILE", "lakes.txt");
    p.remove("OVERTYPE").card("OVERTYPE", overtype);
    p.write(dir.file("plane.prj"));
    return p;
}

}  // namespace

TEST(OverlandLakeProgram, BowlLakeFillsGrowsAndTheBalancesClose) {
    for (const char* overtype : kOvertypes) {
        SCOPED_TRACE(std::string("OVERTYPE ") + overtype);
        temp_dir dir;
        write_bowl(dir, 0, overtype);
        const run_result r = run_pluvo({"plane.prj"}, dir.path());
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        const std::string summary = read_file(dir.file("summ.out"));

        // Event balance (six decimals, m3) and the run's overall balance.
        const double in = number_after(summary, "Mass input + original mass:");
        const double out = number_after(summary, "Mass output + final mass:");
        EXPECT_NEAR(out, in, 1e-9 * in + 1e-6) << summary;
        EXPECT_NEAR(number_after(summary, "Overall mass balance error ="), 0.0, 1e-6) << summary;
        EXPECT_NEAR(number_after(summary, "Overland lake mass bal error m^3:"), 0.0, 0.005)
            << summary;

        // The rain: 50 mm/h for 30 min over the bowl; the lake starts with
        // 4 x 0.005 m x 100 m2 = 2 m3 and ends with more than the rain on it.
        const double rain = 0.025 * kBowl * kBowl * 100.0;
        EXPECT_NEAR(number_after(summary, "Total amount of precip="), rain, 0.005);
        const double lake = number_after(summary, "Final volume in overland lakes=");
        EXPECT_GT(lake, 2.0 + 0.025 * 400.0 + 1.0) << summary;
        EXPECT_LT(lake, 2.0 + rain);
        // The runoff went into the lake, which grew beyond its map.
        EXPECT_GT(number_after(summary, "Volume of flow into overland lakes:"),
                  0.025 * 400.0 + 1.0);
    }
}

TEST(OverlandLakeProgram, OneAndEightThreadsWriteIdenticalFiles) {
    for (const char* overtype : kOvertypes) {
        SCOPED_TRACE(std::string("OVERTYPE ") + overtype);
        std::string outputs[2];
        const int threads[2] = {1, 8};
        for (int k = 0; k < 2; ++k) {
            temp_dir dir;
            project_file p = write_bowl(dir, threads[k], overtype);
            p.card("DEPTH", "depth").card("MAP_TYPE", "1").remove("MAP_FREQ");
            p.card("MAP_FREQ", "10");
            p.write(dir.file("plane.prj"));
            // Every loop over 16 cells and more on many threads.
            const run_result r =
                run_pluvo({"plane.prj"}, dir.path(), "", {parallel_from_cells_env(16)});
            ASSERT_EQ(r.status, 0) << r.out << r.err;
            const std::string summary = read_file(dir.file("summ.out"));
            const size_t from = summary.find("SIMULATION TOTALS");
            ASSERT_NE(from, std::string::npos);
            outputs[k] = read_file(dir.file("outlet.hyd")) + "\n--\n" +
                         read_file(dir.file("depth")) + "\n--\n" +
                         summary.substr(from, summary.find("Overland lake mass bal") - from);
            EXPECT_GT(read_file(dir.file("depth")).size(), 500u);
        }
        EXPECT_TRUE(outputs[0] == outputs[1]) << "outputs differ between 1 and 8 threads";
    }
}

TEST(OverlandLakeProgram, BadLakeInputsStopTheRunNamingFileAndLine) {
    struct bad_case {
        const char* what;
        std::string lake_file;
        std::string message;   // part of the output naming the file and line
    };
    const bad_case cases[] = {
        {"header", "PLUVO_LAKES\nLAKE 1 100.03 0\n",
         "Error: lake file lakes.txt, line 1: the first word must be PLUVO_OVERLAND_LAKE_FILE"},
        {"more cards than lakes", "PLUVO_OVERLAND_LAKE_FILE\nLAKE 1 100.03 0\nLAKE 2 100.03 0\n",
         "Error: lake file lakes.txt, line 3: lake id 2 is outside 1..1"},
        {"no card", "PLUVO_OVERLAND_LAKE_FILE\n# none\n",
         "Error: lake file lakes.txt holds no LAKE card (line 2 is its last)"},
        {"id out of range", "pluvo_overland\n\nlake 0 100.03 0\n",
         "Error: lake file lakes.txt, line 3: lake id 0 is outside 1..1"},
        {"id repeated", "PLUVO_OVERLAND_LAKE_FILE\nLAKE 1 100.03 0\nLAKE 1 100.04 0\n",
         "Error: lake file lakes.txt, line 3: lake 1 was already given on line 2"},
        {"level not finite", "PLUVO_OVERLAND_LAKE_FILE\nLAKE 1 nan 0\n",
         "Error: lake file lakes.txt, line 2: the level of the LAKE card is not finite"},
        {"volume missing", "PLUVO_OVERLAND_LAKE_FILE\nLAKE 1 100.03\n",
         "Error: lake file lakes.txt, line 2: the volume of the LAKE card is missing"},
        {"lake cell above its level", "PLUVO_OVERLAND_LAKE_FILE\nLAKE 1 100.02 0\n",
         "Error: overland lake map lakes.asc, row 6, column 6: the ground 100.025000 m lies above "
         "the level of lake 1 given on line 2 of the lake file lakes.txt"},
    };
    for (const bad_case& c : cases) {
        SCOPED_TRACE(c.what);
        temp_dir dir;
        write_bowl(dir);
        write_file(dir.file("lakes.txt"), c.lake_file);
        const run_result r = run_pluvo({"plane.prj"}, dir.path());
        EXPECT_EQ(r.status, 1) << r.out << r.err;
        EXPECT_NE(r.out.find(c.message), std::string::npos) << r.out << r.err;
    }
    // Fewer cards than lakes: the catalogue's lines.
    temp_dir dir;
    write_bowl(dir);
    plane_case g;
    g.grid.rows = kBowl;
    g.grid.cols = kBowl;
    write_grid(dir.file("lakes.asc"), g.grid, [](int r, int col) {
        return r == 6 && col == 6 ? 1.0 : (r == 7 && col == 7 ? 2.0 : 0.0);
    }, 0);
    write_file(dir.file("lakes.txt"), "PLUVO_OVERLAND_LAKE_FILE\nLAKE 1 100.03 0\n");
    const run_result r = run_pluvo({"plane.prj"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Incorrect number of LAKE cards in the overland lake input data file.\n"
                         "Expected 2 LAKE cards, read 1\n"),
              std::string::npos)
        << r.err;
}

TEST(OverlandLakeProgram, LevelPoolLakeDrainsOverItsLowSpotLikeTheReservoirEquation) {
    // 10 x 10 lake cells of 10 m (ground 99 m, initial level 100 m = crest)
    // in columns 1-10; a fixed-level cell (type 2, ground 90 m) right of row
    // 5, behind a dike with a low spot of width 1 on that face. 50 mm/h on
    // the lake for 2 h. Reference: A dH/dt = i A - 14.8 H^1.5 (1.48 x width
    // 1 x dx 10 m), A = 1e4 m2, by RK4 at 0.01 s.
    const double area = 1e4;
    const double rain = 0.05 / 3600.0;   // m/s
    auto rate = [&](double t, double h) {
        return ((t < 7200.0 ? rain * area : 0.0) - 14.8 * std::pow(std::max(h, 0.0), 1.5)) / area;
    };
    double reference[5] = {0.0, 0.0, 0.0, 0.0, 0.0};
    {
        double h = 0.0;
        const double s = 0.01;
        for (long i = 0; i < 4 * 360000L; ++i) {
            const double t = i * s;
            const double k1 = rate(t, h);
            const double k2 = rate(t + s / 2, h + s / 2 * k1);
            const double k3 = rate(t + s / 2, h + s / 2 * k2);
            const double k4 = rate(t + s, h + s * k3);
            h += s / 6 * (k1 + 2 * k2 + 2 * k3 + k4);
            if ((i + 1) % 360000L == 0) reference[(i + 1) / 360000L] = h;
        }
    }
    const double quoted[5] = {0.0, 0.03368, 0.04238, 0.01768, 0.00964};
    for (int hour = 1; hour <= 4; ++hour) EXPECT_NEAR(reference[hour], quoted[hour], 5e-5) << hour;

    for (const char* overtype : kOvertypes) {
        for (int hour = 1; hour <= 4; ++hour) {
            SCOPED_TRACE(std::string("OVERTYPE ") + overtype + ", hour " + std::to_string(hour));
            temp_dir dir;
            plane_case c;
            c.grid.rows = 10;
            c.grid.cols = 11;
            c.grid.cell = 10.0;
            c.rain_minutes = 120;
            c.total_minutes = 60 * hour;
            c.timestep = 10.0;
            project_file p = write_plane_case(dir.path(), c);
            write_grid(dir.file("mask.asc"), c.grid, [](int r, int col) {
                return col <= 10 || r == 5 ? 1.0 : 0.0;
            }, 0);
            write_grid(dir.file("elev.asc"), c.grid, [](int, int col) {
                return col <= 10 ? 99.0 : 90.0;
            }, 3);
            write_grid(dir.file("lakes.asc"), c.grid, [](int, int col) {
                return col <= 10 ? 1.0 : 0.0;
            }, 0);
            write_grid(dir.file("dike.asc"), c.grid, [](int r, int col) {
                return r == 5 && col == 10 ? 2.0 : (r == 5 && col == 11 ? 8.0 : 0.0);
            }, 0);
            write_grid(dir.file("bnd.idx"), c.grid, [](int, int col) {
                return col <= 10 ? 1.0 : 2.0;
            }, 0);
            write_file(dir.file("lakes.txt"), "PLUVO_OVERLAND_LAKE_FILE\nLAKE 1 100.0 0\n");
            write_file(dir.file("spots.txt"), "LOWSPOT\nSPOT 5 10 2 1.0 100.0\n");
            const std::string pad(80, ' ');
            write_file(dir.file("table.cmt"), "PLUVO_INDEX_MAP_TABLES\n"
                                              "INDEX_MAP bnd.idx \"Boundary\"\n\n"
                                              "OVERLAND_BOUNDARY \"Boundary\"\n"
                                              "NUM_IDS 2\n"
                                              "ID    DESCRIPTION\n"
                                              "1     " + pad + "0 0\n"
                                              "2     " + pad + "2 0\n");
            p.remove("OUTROW").remove("OUTCOL").card("OUTROW", "5").card("OUTCOL", "11");
            p.card("OVERLAND_LAKE_MAP", "lakes.asc").card("OVERLAND_LAKE_FILE", "lakes.txt");
            p.card("DIKE_MAP", "dike.asc").card("LOWSPOT_FILE", "spots.txt");
            p.card("OV_BOUNDARY").card("MAPPING_TABLE", "table.cmt");
            p.remove("OVERTYPE").card("OVERTYPE", overtype);
            p.write(dir.file("plane.prj"));
            const run_result r = run_pluvo({"plane.prj"}, dir.path());
            if (r.status != 0 && r.out.find("which is not available yet") != std::string::npos) {
                GTEST_SKIP() << "low spots and fixed-level boundary cells are refused in this "
                                "build (built in lowspots.cpp and boundaries.cpp on another "
                                "branch); the level-pool check runs once they are merged";
            }
            ASSERT_EQ(r.status, 0) << r.out << r.err;
            const std::string summary = read_file(dir.file("summ.out"));
            const double volume = number_after(summary, "Final volume in overland lakes=");
            const double above_crest = volume / area - 1.0;   // ground 99 m, crest 100 m
            EXPECT_NEAR(above_crest, reference[hour], 0.01 * reference[hour]) << summary;
            EXPECT_NEAR(number_after(summary, "Overall mass balance error ="), 0.0, 1e-6)
                << summary;
        }
    }
}

// Reference: the explicit scheme. The bowl under 50 mm/h for 60 min, 120
// min simulated: the runoff gathers in the lake, which grows over every ring
// of the bowl its level rises above. Under ADE and ADE-PC the lake ends
// within 1 % of the explicit scheme's volume, and no cell outside it holds
// water at its level: every cell whose ground the lake covers has joined it.
TEST(OverlandLakeProgram, LakeGrowsAlikeUnderEveryScheme) {
    double lake[3] = {0, 0, 0};   // m3
    int dry[3] = {0, 0, 0};       // cells without depth: the lake's
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(std::string("OVERTYPE ") + kOvertypes[k]);
        temp_dir dir;
        project_file p = write_bowl(dir, 0, kOvertypes[k]);
        p.remove("RAIN_DURATION").card("RAIN_DURATION", "60").remove("TOT_TIME").card("TOT_TIME", "120");
        p.card("WRITE_OV_HOTSTART", "end.asc");
        p.write(dir.file("plane.prj"));
        const run_result r = run_pluvo({"plane.prj"}, dir.path());
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        const std::string summary = read_file(dir.file("summ.out"));
        lake[k] = number_after(summary, "Final volume in overland lakes=");
        // The lake holds most of the 720 m3 of rain (the slopes outside it
        // keep a film), far more than its four mapped cells could.
        EXPECT_GT(lake[k], 0.8 * 0.05 * kBowl * kBowl * 100.0) << summary;
        if (k > 0) {
            EXPECT_NEAR(lake[k], lake[0], 0.01 * lake[0]) << summary;
        }
        // Depths at the end (a lake cell holds none): a ponded ring would
        // stand 0.05 m or more deep; the film left on the slopes is below
        // 1 mm. The lake covers as many cells as under the explicit scheme.
        const std::vector<double> depth = boundary_test::grid_values(read_file(dir.file("end.asc")));
        ASSERT_EQ(depth.size(), static_cast<size_t>(kBowl * kBowl));
        EXPECT_LT(*std::max_element(depth.begin(), depth.end()), 0.001);
        dry[k] = static_cast<int>(std::count(depth.begin(), depth.end(), 0.0));
        EXPECT_EQ(dry[k], dry[0]);
    }
    EXPECT_GT(dry[0], 4);   // the lake grew beyond its map
}
