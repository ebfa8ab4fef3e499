// Seepage through the bed of a channel-network lake (MLAKE), through the
// program: the pit lake of the lake valley, behind a weir it never reaches,
// without rain. Its four cells share one ground, so each channel step of dt
// moves a = K dt / M of the lake's water through a bed of thickness M over
// dry ground (V' = V (1 - a)) and, under a water table standing above the
// lake's ground at h, a of the difference towards the full lake of level h
// (V' = V + a (V* - V), V* = 4 A (h - ground)). The lakes' book and the
// solved aquifer's book agree, and the run's balance closes to 1e-9.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "fixture.h"
#include "lake_valley.h"
#include "pluvo_test.h"
#include "valley.h"

using namespace pluvo_test;

namespace {

constexpr double kBed = 0.5;                 // bed thickness, m
constexpr double kK = 1.0 / 360000.0;        // soil conductivity 1 cm/h, m/s
constexpr double kStep = 5.0;                // model and channel step, s
constexpr int kMinutes = 60;
constexpr int kLakeCells = 4;

enum class ground { dry, table_below, solved_aquifer, table_above };

struct seepage {
    double lakes_to_gw = 0.0, gw_to_lakes = 0.0, aquifer = 0.0;   // m3
    double balance = 1.0;                                            // relative error
    std::string outputs;                                             // summary balance and hydrograph
};

seepage run_lake(ground g, int threads = 0) {
    lake_valley c;
    c.weir = true;
    c.weir_crest = 0.3;   // above every level the lake reaches
    c.bed_thickness = kBed;
    c.total_minutes = kMinutes;
    c.threads = threads;
    c.rain_mm_h = 0.0;
    temp_dir dir;
    project_file p = write_lake_valley(dir.path(), c);
    grid_spec gs;
    gs.rows = c.rows;
    gs.cols = c.cols();
    gs.cell = c.cell;
    gs.north = c.rows * c.cell;
    auto map = [&](const char* card, const char* file, double value) {
        write_grid(dir.file(file), gs, [&](int, int) { return value; }, 3);
        p.card(card, file);
    };
    map("CONDUCTIVITY", "ks.asc", kK * 360000.0);
    map("CAPILLARY", "hc.asc", 11.0);
    map("POROSITY", "por.asc", 0.45);
    map("MOISTURE", "moist.asc", 0.15);
    auto table = [&](double below) {
        write_grid(dir.file("wt.asc"), gs, [&](int r, int col) { return c.ground(r, col) - below; }, 6);
        p.card("WATER_TABLE", "wt.asc");
    };
    switch (g) {
        case ground::dry:
            p.card("GREEN_AMPT");
            break;
        case ground::table_below:
            p.card("GREEN_AMPT");
            table(3.0);
            break;
        case ground::table_above: {
            // 0.5 m above the lake's ground under the lake, 3 m below elsewhere.
            write_grid(dir.file("wt.asc"), gs, [&](int r, int col) {
                return (r <= c.lake_rows && col == c.mid()) ? c.floor() + 0.5 : c.ground(r, col) - 3.0;
            }, 6);
            p.card("WATER_TABLE", "wt.asc").card("GREEN_AMPT");
            break;
        }
        case ground::solved_aquifer:
            map("PORE_INDEX", "pi.asc", 0.3);
            map("RESIDUAL_SAT", "thr.asc", 0.05);
            p.card("SOIL_MOIST_DEPTH", "0.8").card("INF_REDIST");
            table(3.0);
            write_grid(dir.file("bottom.asc"), gs, [&](int r, int col) { return c.ground(r, col) - 10.0; }, 6);
            write_grid(dir.file("gwbound.asc"), gs, [&](int r, int col) {
                return (r > c.lake_rows && col == c.mid()) ? 4.0 : 1.0;
            }, 0);
            p.card("GW_SIMULATION").card("AQUIFER_BOTTOM", "bottom.asc").card("GW_BOUNDFILE", "gwbound.asc");
            p.card("GW_UNIF_HYCOND", "3.6").card("GW_UNIF_POROSITY", "0.3").card("GW_RELAX_COEFF", "1.2");
            p.card("GW_LSOR_CON", "1e-12").card("GW_TIMESTEP", "60");
            break;
    }
    p.write(dir.file("valley.prj"));
    run_result r = run_pluvo({"valley.prj"}, dir.path(), "", {parallel_from_cells_env(16)});
    seepage out;
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    const std::string s = read_file(dir.file("valley.sum"));
    const std::vector<double> v = numbers_after_last(s, "Lake bed seepage (m3):", 3);
    EXPECT_EQ(v.size(), 3u) << s;
    if (v.size() == 3u) {
        out.lakes_to_gw = v[0];
        out.gw_to_lakes = v[1];
        out.aquifer = v[2];
    }
    const std::vector<double> e = numbers_after_last(s, "Overall balance, relative error =", 1);
    EXPECT_EQ(e.size(), 1u) << s;
    if (!e.empty()) out.balance = e[0];
    const size_t at = s.find("GLOBAL MASS BALANCE");
    out.outputs = without_timing(at == std::string::npos ? s : s.substr(at)) + "\n--\n" +
                  read_file(dir.file("valley.otl"));
    return out;
}

}  // namespace

TEST(LakeAquiferRun, BedSeepageFollowsDarcyAndBothBooksAgree) {
    lake_valley c;
    const double v0 = c.initial_lake_volume();   // m3, the four pit cells
    ASSERT_NEAR(v0, kLakeCells * c.cell * c.cell * c.lake_depth, 1e-9);
    const double a = kK * kStep / kBed;
    const int steps = kMinutes * 60 / static_cast<int>(kStep);
    const double lost = v0 * (1.0 - std::pow(1.0 - a, steps));   // m3 over dry ground

    const struct {
        const char* what;
        ground g;
    } losing[] = {{"no water table", ground::dry},
                  {"a water table 3 m below the ground", ground::table_below},
                  {"a solved aquifer 3 m below the ground", ground::solved_aquifer}};
    for (const auto& row : losing) {
        SCOPED_TRACE(row.what);
        const seepage s = run_lake(row.g);
        EXPECT_NEAR(s.lakes_to_gw, lost, 1e-9 * lost);
        EXPECT_EQ(s.gw_to_lakes, 0.0);
        // The aquifer took it all in when it is solved; it holds no book otherwise.
        EXPECT_NEAR(s.aquifer, row.g == ground::solved_aquifer ? lost : 0.0, 1e-9 * lost);
        EXPECT_LT(std::fabs(s.balance), 1e-9);
    }
    {
        SCOPED_TRACE("a water table 0.5 m above the lake's ground");
        const seepage s = run_lake(ground::table_above);
        const double full = kLakeCells * c.cell * c.cell * 0.5;   // m3 of a lake at the table
        const double gained = (full - v0) * (1.0 - std::pow(1.0 - a, steps));
        EXPECT_NEAR(s.gw_to_lakes, gained, 1e-9 * gained);
        EXPECT_EQ(s.lakes_to_gw, 0.0);
        EXPECT_LT(std::fabs(s.balance), 1e-9);
    }
}

TEST(LakeAquiferRun, OneAndEightThreadsWriteTheSameOutputs) {
    const seepage one = run_lake(ground::solved_aquifer, 1);
    const seepage eight = run_lake(ground::solved_aquifer, 8);
    EXPECT_GT(one.outputs.size(), 1000u);
    EXPECT_TRUE(one.outputs == eight.outputs) << "outputs differ between 1 and 8 threads";
}
