// Groundwater heads at XY output points of an outer model, through the
// program: a valley over a solved aquifer writes the heads of two cells of
// its north row; the held head inputs of an inset model are still refused.
#include <gtest/gtest.h>

#include <cmath>
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

void write_case(const std::string& dir, int threads, bool head_inputs) {
    grid_spec g;
    g.rows = kRows;
    g.cols = kCols;
    g.cell = kCell;
    g.north = kRows * kCell;
    write_grid(dir + "/mask.asc", g, [](int, int) { return 1.0; }, 0);
    write_grid(dir + "/elev.asc", g, [](int r, int col) { return ground(r, col); }, 6);
    write_grid(dir + "/wt.asc", g, [](int r, int col) { return ground(r, col) - 1.5; }, 6);
    write_grid(dir + "/bottom.asc", g, [](int r, int col) { return ground(r, col) - 6.0; }, 6);
    write_grid(dir + "/gwbound.asc", g, [head_inputs](int r, int col) {
        if (col == kMid) return 4.0;
        return r == 1 && head_inputs ? 8.0 : 1.0;
    }, 0);
    for (const char* f : {"ks.asc:1.0", "hc.asc:11.0", "por.asc:0.45", "moist.asc:0.15",
                          "pi.asc:0.3", "thr.asc:0.05"}) {
        const std::string entry = f;   // file:value
        const double v = std::atof(entry.substr(entry.find(':') + 1).c_str());
        write_grid(dir + "/" + entry.substr(0, entry.find(':')), g, [v](int, int) { return v; }, 3);
    }
    write_valley_channel(dir, kRows, kMid, kCell, 0.005);
    // Interpolation points at the centres of cells (1, 1) and (1, 9).
    write_file(dir + "/interp.xy", "XY_GW_HEAD_INTERP\n2\nX 5 85\nY 115 115\n"
                                   "2020 06 01 00 00 99.5 99.9\n2020 06 02 00 00 99.5 99.9\nEND_TS\n");
    // Cell 100 (row 12, column 1) follows a head rising by 1 m in two hours.
    write_file(dir + "/head.xy", "XY_GW_HEAD\n1\nDATE TIME 100\n"
                                 "2020 06 01 00 00 97.5\n2020 06 01 02 00 98.5\nEND_TS\n");
    write_file(dir + "/pts.txt", "2\n25 115 3\n35 115 4\n");
    project_file p = valley_project({kRows, kCols, kCell, kMid, 0.005, 120, 5.0, 50.0, 30});
    p.card("K_RIVER", "0.36").card("M_RIVER", "0.5").card("SUPER_QUIET").card("STREAM_LOSS");
    p.card("WATER_TABLE", "wt.asc")
        .card("CONDUCTIVITY", "ks.asc")
        .card("CAPILLARY", "hc.asc")
        .card("POROSITY", "por.asc")
        .card("MOISTURE", "moist.asc")
        .card("PORE_INDEX", "pi.asc")
        .card("RESIDUAL_SAT", "thr.asc")
        .card("SOIL_MOIST_DEPTH", "0.8")
        .card("INF_REDIST")
        .card("GW_SIMULATION")
        .card("AQUIFER_BOTTOM", "bottom.asc")
        .card("GW_BOUNDFILE", "gwbound.asc")
        .card("GW_UNIF_HYCOND", "36")
        .card("GW_UNIF_POROSITY", "0.3")
        .card("GW_RELAX_COEFF", "1.2")
        .card("GW_LSOR_CON", "1e-12")
        .card("GW_TIMESTEP", "60")
        .card("XYBDYOUTPUT_PTS", "pts.txt")
        .card("XYBDYOUTPUT_GWHEAD", "heads.xy")
        .card("NUM_THREADS", std::to_string(threads));
    if (head_inputs) p.card("XYBDYINPUT_GWHEADINTERP", "interp.xy").card("XYBDYINPUT_GWHEAD", "head.xy");
    p.write(dir + "/valley.prj");
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
        write_case(dir.path(), threads[k], false);
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

// Held heads under a solved aquifer are refused until the soil and aquifer
// books close with them.
TEST(GroundwaterXyRun, HeadInputsAreRefusedForNow) {
    temp_dir dir;
    write_case(dir.path(), 1, true);
    const run_result r = run_pluvo({"valley.prj"}, dir.path());
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("Error: the card xybdyinput_gwhead asks for groundwater XY boundary inputs"),
              std::string::npos)
        << r.out;
}
