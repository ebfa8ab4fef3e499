// A rain tracer through the program on a bowl whose centre is an overland
// lake that fills and grows: under each overland scheme the constituent
// balance (rain + initial = infiltrated + overland water + land + lakes)
// closes at the run end, every section of the event report and of the run
// end closes, and one and eight threads write the same constituent maps,
// books and sections.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "conc_e2e_support.h"
#include "constituent_books.h"
#include "fixture.h"
#include "model_run.h"
#include "pluvo_test.h"
#include "run/run_state.h"
#include "valley.h"

using namespace pluvo_test;
using conc_e2e::balance_value;

namespace {

constexpr int kBowl = 12;   // rows and columns of the bowl

// The bowl of rings 0.05 m high with its centre 2 x 2 cells lake 1 at
// 100.03 m (ground 100.025 m), 50 mm/h for 30 min, 60 min at 10 s, on
// Green-Ampt soil (Ks 0.5 cm/h); one tracer at 10 g/m3 in the rain and an
// initial 4 g/m3 in the water, so the lake starts with 4 x 0.005 m x 100 m2
// x 4 g/m3 = 8 g.
void write_bowl_with_tracer(const temp_dir& dir, int threads, const char* overtype) {
    plane_case c;
    c.grid.rows = kBowl;
    c.grid.cols = kBowl;
    c.grid.cell = 10.0;
    c.rain_minutes = 30;
    c.total_minutes = 60;
    c.timestep = 10.0;
    c.threads = threads;
    project_file p = write_plane_case(dir.path(), c);
    write_grid(dir.file("elev.asc"), c.grid, [](int r, int col) {
        return 100.0 + 0.05 * std::max(std::fabs(r - 6.5), std::fabs(col - 6.5));
    }, 9);
    write_grid(dir.file("lakes.asc"), c.grid, [](int r, int col) {
        return (r == 6 || r == 7) && (col == 6 || col == 7) ? 1.0 : 0.0;
    }, 0);
    write_file(dir.file("lakes.txt"), "PLUVO_OVERLAND_LAKE_FILE\nLAKE 1 100.03 0.2\n");
    const struct {
        const char* card;
        const char* file;
        double value;
    } soils[] = {{"CONDUCTIVITY", "ks.asc", 0.5}, {"CAPILLARY", "hc.asc", 10.0},
                 {"POROSITY", "por.asc", 0.45}, {"MOISTURE", "moist.asc", 0.2}};
    for (const auto& m : soils) {
        write_grid(dir.file(m.file), c.grid, [&](int, int) { return m.value; }, 3);
        p.card(m.card, m.file);
    }
    conc_e2e::write_contaminant_table(dir.path(), c.grid, "10", "0.5 0 0 0 4 0 0 0", "lake_tracer");
    p.remove("OUTROW").remove("OUTCOL").card("OUTROW", "1").card("OUTCOL", "1");
    p.card("OVERLAND_LAKE_MAP", "lakes.asc").card("OVERLAND_LAKE_FILE", "lakes.txt");
    p.remove("OVERTYPE").card("OVERTYPE", overtype);
    p.card("GREEN_AMPT").card("MAPPING_TABLE", "table.cmt").card("OV_CON_TRANS");
    p.card("ALL_CONTAM_OUTPUT").card("MAP_TYPE", "1").remove("MAP_FREQ").card("MAP_FREQ", "10");
    p.write(dir.file("plane.prj"));
}

}  // namespace

TEST(OverlandLakeTracer, BalanceClosesWithTheLakeAndThreadsWriteTheSameFiles) {
    for (const char* overtype : {"1", "2", "3"}) {
        SCOPED_TRACE(std::string("OVERTYPE ") + overtype);
        std::string files[2];
        for (int k = 0; k < 2; ++k) {
            temp_dir dir;
            write_bowl_with_tracer(dir, k == 0 ? 1 : 8, overtype);
            std::string books;   // the run's full-precision constituent books
            std::vector<section_books> sections;
            {
                parallel_from_cells many(16);
                ASSERT_TRUE(run_model_in(dir.path(), "plane.prj", [&](const run_state& rs) {
                    books = constituent_balance_text(rs);
                    sections = constituent_section_books(rs);
                }));
            }
            const std::string summary = read_file(dir.file("summ.out"));
            const size_t last = books.find("mass balance, kg:");
            ASSERT_NE(last, std::string::npos) << books;
            {
                const double in = balance_value(books, "initial", last) + balance_value(books, "rain", last);
                EXPECT_NEAR(balance_value(books, "initial", last), 0.008, 1e-12) << books;
                EXPECT_NEAR(balance_value(books, "residual", last), 0.0, 1e-9 * in) << books;
            }
            // The sections of the event report and of the run end close too.
            ASSERT_GE(sections.size(), 2u);
            for (const section_books& e : sections)
                EXPECT_NEAR(e.residual, 0.0, 1e-9 * e.in) << e.what << "\n" << summary;
            // As printed: the event's and the run's overland sections (the
            // lake is overland water), each error line from its terms.
            expect_sections_match_their_terms(summary, 2);
            // 25 mm of rain at 10 g/m3 over the bowl, all of it booked.
            const double rain = 0.025 * kBowl * kBowl * 100.0 * 10.0 / 1000.0;   // kg
            EXPECT_NEAR(balance_value(books, "rain", last), rain, 1e-9 * rain);
            // Rain on the lake and the runoff into it: the lake holds more than
            // the rain on its map cells brought, the soil took its share.
            EXPECT_GT(balance_value(books, "lakes", last), 0.025 * 400.0 * 10.0 / 1000.0);
            EXPECT_GT(balance_value(books, "infiltrated", last), 0.0);
            // Everything the lake gained came at the rain's 10 g/m3 (the cells
            // keep it), so it holds 8 g + 10 g/m3 x (final - initial 2 m3), within 1 %.
            const size_t v = summary.rfind("Final volume in overland lakes=");
            ASSERT_NE(v, std::string::npos);
            const double volume = std::strtod(summary.c_str() + v + 31, nullptr);   // m3
            const double mixed = (8.0 + 10.0 * (volume - 2.0)) / 1000.0;          // kg
            EXPECT_NEAR(balance_value(books, "lakes", last), mixed, 0.01 * mixed);
            ASSERT_TRUE(file_exists(dir.file("lake_tracer.conc")));
            files[k] = read_file(dir.file("lake_tracer.conc")) + read_file(dir.file("lake_tracer.mass")) + books +
                       without_timing(summary.substr(summary.find("Overland Contaminant Transport Summary")));
        }
        EXPECT_TRUE(files[0] == files[1]) << "outputs differ between 1 and 8 threads";
    }
}
