// Richards infiltration through the program: a plane of Haverkamp sand
// under rain, its soil from a soil map and the soil table file. The soil
// columns close their balance (final = initial + infiltrated - drained +
// column error) and the whole run balances with the column error as its
// only numerical term; 1 and 8 threads give the same files byte for byte;
// bad soil tables and settings stop the run naming file and line or card.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fixture.h"
#include "pluvo_test.h"

using namespace pluvo_test;

namespace {

// Haverkamp sand, three layers of 20 cm, 2-cm nodes; initial content .09985
// (head -61.5 cm). Values: Ks ths thr thi wp fc thickness alpha beta A B dz.
const char* kSandLayer = "33.984 0.287 0.075 0.09985 0.08 0.15 20 36.936 3.96 1.175e6 4.74 2\n";

std::string sand_table(const std::string& layer = kSandLayer) {
    return "1\n0\n1\n" + layer + layer + layer;
}

double number_after(const std::string& text, const std::string& label) {
    const size_t pos = text.rfind(label);
    if (pos == std::string::npos) return std::nan("");
    return std::strtod(text.c_str() + pos + label.size(), nullptr);
}

struct richards_case {
    temp_dir dir;
    plane_case c;
    project_file p;

    explicit richards_case(double rain_mm_h = 20.0, int threads = 0) {
        c.grid.rows = 6;
        c.grid.cols = 4;
        c.grid.cell = 10.0;
        c.slope = 0.01;
        c.rain_mm_h = rain_mm_h;
        c.rain_minutes = 30;
        c.total_minutes = 60;
        c.timestep = 10.0;
        c.threads = threads;
        p = write_plane_case(dir.path(), c);
        write_grid(dir.file("soils.asc"), c.grid, [](int, int) { return 1.0; }, 0);
        write_file(dir.file("soils.txt"), sand_table());
        p.card("INF_RICHARDS").card("RICHARDS_C_OPTION", "havercamp");
        p.card("SOIL_TYPE_MAP", "soils.asc").card("SOIL_LAYER_INPUT_FILE", "soils.txt");
    }
    run_result run() {
        p.write(dir.file("plane.prj"));
        return run_pluvo({"plane.prj"}, dir.path());
    }
};

}  // namespace

TEST(RichardsProgram, SoilColumnsAndTheRunBalanceClose) {
    // 60 mm/h = 6 cm/h, above Ks x (1 + ...) of neither: the sand takes it
    // all at first; heavier rain (200 mm/h = 20 cm/h) ponds on the dry top
    // under the node-value top conductivity and runs off.
    for (double rain : {60.0, 200.0}) {
        richards_case k(rain);
        run_result r = k.run();
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        const std::string s = read_file(k.dir.file("summ.out"));
        const std::string label = "Richards columns (m3): initial";
        const size_t at = s.find(label);
        ASSERT_NE(at, std::string::npos) << s;
        double init = 0, fin = 0, infil = 0, drained = 0, error = 0;
        ASSERT_EQ(std::sscanf(s.c_str() + at, "Richards columns (m3): initial %lf final %lf infiltrated %lf "
                                               "drained %lf column error %lf",
                              &init, &fin, &infil, &drained, &error), 5);
        // Initial water: 24 cells x 60 cm x theta_i x 100 m2.
        EXPECT_NEAR(init, 24 * 0.60 * 0.09985 * 100.0, 1e-9 * init);
        EXPECT_GT(infil, 0.0);
        EXPECT_NEAR(fin, init + infil - drained + error, 1e-9 * (init + infil)) << rain;
        EXPECT_LT(std::fabs(error), 1e-3 * infil) << rain;
        const double rain_volume = rain / 1000.0 * 0.5 * 24 * 100.0;
        EXPECT_NEAR(number_after(s, "Total amount of precip="), rain_volume, 0.01);
        // The whole run: the summary's balance error, percent.
        EXPECT_NEAR(number_after(s, "Overall mass balance error ="), 0.0, 1e-6) << s;
        if (rain > 100.0) {
            EXPECT_GT(number_after(s, "Total amount of discharge="), 0.0);
        }
    }
}

TEST(RichardsProgram, OneAndEightThreadsWriteTheSameFiles) {
    std::string outputs[2];
    int i = 0;
    for (int threads : {1, 8}) {
        richards_case k(200.0, threads);
        k.p.card("SIG_OUTLET_HYDRO", "sig.hyd");
        run_result r = k.run();
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        std::string summary = read_file(k.dir.file("summ.out"));
        // The summary names the thread count and the run's clock times: compare from the balance on.
        summary = summary.substr(summary.find("GLOBAL MASS BALANCE"));
        outputs[i++] = read_file(k.dir.file("sig.hyd")) + read_file(k.dir.file("outlet.hyd")) + summary;
    }
    EXPECT_EQ(outputs[0], outputs[1]);
}

TEST(RichardsProgram, BadSoilTablesAndSettingsStopNamingWhere) {
    const struct {
        const char* what;
        std::string table;       // soil table text
        const char* extra_card;  // card added to the project (empty: none)
        const char* message;
    } cases[] = {
        {"short layer line (no node spacing)",
         "1\n0\n1\n" + std::string(kSandLayer) +
             "33.984 0.287 0.075 0.09985 0.08 0.15 20 36.936 3.96 1.175e6 4.74\n" + kSandLayer,
         "", "Error: Richards soil table soils.txt, line 5: layer 2 of soil 1 needs 12 values"},
        {"layer line with a value too many",
         "1\n0\n1\n" + std::string(kSandLayer) + kSandLayer +
             "33.984 0.287 0.075 0.09985 0.08 0.15 20 36.936 3.96 1.175e6 4.74 2 7\n",
         "", "Error: Richards soil table soils.txt, line 6: layer 3 of soil 1 needs 12 values"},
        {"too many nodes", "1\n0\n1\n" + std::string(kSandLayer) + kSandLayer +
                               "33.984 0.287 0.075 0.09985 0.08 0.15 200 36.936 3.96 1.175e6 4.74 0.5\n",
         "", "Error: Richards soil table soils.txt, line 6: layer 3 of soil 1 needs 400 nodes"},
        {"initial content below residual", "1\n0\n1\n" + std::string(kSandLayer) + kSandLayer +
             "33.984 0.287 0.075 0.05 0.08 0.15 20 36.936 3.96 1.175e6 4.74 2\n",
         "", "Error: Richards soil table soils.txt, line 6: layer 3 of soil 1: the initial content"},
        {"no passes", sand_table(), "RICHARDS_ITER_MAX 0", "Error: card richards_iter_max has the value 0"},
        {"no content change", sand_table(), "RICHARDS_DTHETA_MAX 0",
         "Error: card richards_dtheta_max has the value 0"},
    };
    for (const auto& x : cases) {
        richards_case k;
        write_file(k.dir.file("soils.txt"), x.table);
        if (x.extra_card[0] != '\0') {
            const std::string card = x.extra_card;
            const size_t blank = card.find(' ');
            k.p.card(card.substr(0, blank), card.substr(blank + 1));
        }
        run_result r = k.run();
        EXPECT_EQ(r.status, 1) << x.what;
        EXPECT_NE((r.out + r.err).find(x.message), std::string::npos) << x.what << "\n" << r.out << r.err;
    }
}
