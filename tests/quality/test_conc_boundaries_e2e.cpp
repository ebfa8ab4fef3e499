// Dissolved contaminants leaving with the water of the overland boundary
// conditions and pumps: a rain tracer on a small tilted plane whose water
// leaves over a free-outflow edge, through a withdrawal, a held level or a
// pump. The water that leaves carries the concentration of the cells it
// leaves, and the constituent balance closes with that outflow booked.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "../overland/boundary_case.h"
#include "model_run.h"
#include "quality/constituent_setup.h"
#include "run/run_state.h"

using namespace pluvo_test;

namespace {

constexpr int kRows = 10, kCols = 6;

struct leaving_case {
    const char* name;
    double type, param;   // boundary row (type 0: no boundary)
    int row, col;         // boundary cell, or the pumped cell; row 0: the whole lower edge
    bool pump;            // a pump in (row, col) instead of a boundary
    double series;        // value of the series PUMPQ (time-series ID 1), m3/s
    const char* volume_label;   // summary line of the water that left there, m3
};

// Ground of the plane: falls 0.1 m per row towards row kRows, with a pit
// 0.2 m deep in the lower right corner, m.
double ground(int r, int col) {
    return 100.0 + 0.1 * (kRows - r) - (r == kRows && col == kCols ? 0.2 : 0.0);
}

// The summary of a run of the case (in this process) and the balance of its
// tracer at the run end, kg.
struct case_result {
    std::string summary;
    constituent_balance balance;
};

case_result run_case(const temp_dir& dir, const leaving_case& lc, int threads) {
    boundary_test::boundary_case c;
    c.grid.rows = kRows;
    c.grid.cols = kCols;
    c.grid.cell = 10.0;
    c.ground = ground;
    c.outrow = kRows;
    c.outcol = 1;
    c.rain_mm_h = 50.0;
    c.rain_minutes = 60;
    c.total_minutes = 60;
    c.timestep = 10.0;
    if (lc.type > 0.0) {
        c.rows = {{lc.type, lc.param}};
        c.boundary_id = [lc](int r, int col) {
            return (lc.row == 0 ? r == kRows && col > 1 : r == lc.row && col == lc.col) ? 1 : 0;
        };
    }
    project_file p = boundary_test::write_boundary_case(dir, c);
    // Both sections in one mapping table: the boundaries and a tracer of
    // 10 g/m3 in the rain (no dispersion, decay, exchange, load or soil).
    write_grid(dir.file("con.idx"), c.grid, [](int, int) { return 1.0; }, 0);
    std::string t = "PLUVO_INDEX_MAP_TABLES\nINDEX_MAP bnd.idx \"Boundaries\"\nINDEX_MAP con.idx \"Con\"\n";
    if (lc.type > 0.0) {
        char row[64];
        std::snprintf(row, sizeof row, "%.12g %.12g", lc.type, lc.param);
        t += "OVERLAND_BOUNDARY \"Boundaries\"\nNUM_IDS 1\nID    DESCRIPTION      TYPE PARAM\n" +
             boundary_test::id_row(1, row) + "TIME_SERIES_INDEX\nNUM_IDS 1\nID    SERIES\n1     PUMPQ\n";
    }
    t += "CONTAMINANT_TRANSPORT\nNUM_CONTAM 1\n\"Tracer\" \"Con\" \"tracer\"\nPRECIP_CONC 10\n"
         "NUM_IDS 1\nID    DESCRIPTION\n" +
         boundary_test::id_row(1, "0 0 0 0 0 0 0 0");
    write_file(dir.file("table.cmt"), t);
    p.remove("MAPPING_TABLE").card("MAPPING_TABLE", "table.cmt").card("OV_CON_TRANS");
    if (lc.series != 0.0) {
        const std::string q = std::to_string(lc.series);
        write_file(dir.file("pump.ts"), "PLUVO_TS\nPUMPQ\nABSOLUTE\n2000 6 1 0 0 " + q +
                                            "\n2000 6 1 2 0 " + q + "\nEND_TS\n");
        p.card("TIME_SERIES_FILE", "pump.ts");
    }
    if (lc.pump) {
        write_file(dir.file("pumps.txt"),
                   std::to_string((lc.row - 1) * kCols + lc.col) + " TS PUMPQ\n");
        p.card("OV_PUMP", "pumps.txt");
    }
    if (threads > 0) p.card("NUM_THREADS", std::to_string(threads));
    p.write(dir.file("case.prj"));
    case_result out;
    parallel_from_cells many(16);
    const bool ok = run_model_in(dir.path(), "case.prj", [&](const run_state& rs) {
        out.balance = compute_constituent_balance(rs, 1);
    });
    EXPECT_TRUE(ok);
    out.summary = read_file(dir.file("summ.out"));
    return out;
}

const leaving_case kCases[] = {
    {"free outflow over the lower edge", 1, 0.01, 0, 0, false, 0.0,
     "Volume lost to specified slope boundary:"},
    {"withdrawal of 0.02 m3/s", 5, 1, 6, 3, false, -0.02,
     "Volume lost from specified discharge boundary:"},
    // The pit's level held 5 cm above its ground, below the ground around it:
    // the 5 m3 of clean water the boundary puts in first are flushed out by
    // the tracer water that runs in.
    {"level held in the pit", 2, ground(kRows, kCols) + 0.05, kRows, kCols, false, 0.0,
     "Volume lost to specified head boundary:"},
    {"pump of 0.02 m3/s", 0, 0, 6, 3, true, 0.02, "Volume taken by overland pumps (net):"},
};

}  // namespace

// Reference: only the rain brings the tracer, so the wet cells hold
// C0 = 10 g/m3 and the water V leaving through a boundary or pump carries
// C0 x (V - clean), clean being the tracer-free water a held level put in
// (mass over water volume within 2 %: the first steps pass water that
// wetted dry cells before the tracer was mixed in). The balance (initial +
// rain = outlet + boundary outflow + stored) closes to 1e-9 of the rain.
TEST(ConstituentBoundaries, WaterLeavingThroughBoundariesAndPumpsCarriesItsMass) {
    for (const leaving_case& lc : kCases) {
        SCOPED_TRACE(lc.name);
        temp_dir dir;
        const case_result run = run_case(dir, lc, 0);
        const std::string& summary = run.summary;
        const double volume = boundary_test::number_after(summary, lc.volume_label);   // m3
        ASSERT_GT(volume, 10.0) << summary;
        const double gone = run.balance.boundaries;   // kg
        double clean = boundary_test::number_after(summary, "Volume gained from specified head boundary:");
        if (lc.type == 0.0) clean = 0.0;   // no boundary lines without boundaries
        EXPECT_NEAR(gone * 1000.0 / volume, 10.0 * (volume - clean) / volume, 0.2) << summary;
        const double rain = run.balance.rain;
        EXPECT_GT(rain, 0.0);
        EXPECT_NEAR(run.balance.residual, 0.0, 1e-9 * rain) << summary;
        // The summary's overland section books that outflow with the outlet's.
        EXPECT_NEAR(boundary_test::number_after(summary, "Outlet mass flux"), run.balance.outlet + gone, 0.005)
            << summary;
        boundary_test::expect_balance_closes(summary);
        // Held levels and discharge series may put water in whose
        // concentration no input gives: the summary says it comes in clean.
        const bool may_put_in = lc.type >= 2.0 && lc.type <= 5.0;
        EXPECT_EQ(summary.find("Note: the water the overland boundaries put in (held levels, inflow series) "
                               "carries no constituent.") != std::string::npos,
                  may_put_in);
    }
}

// The boundary outflow is summed in cell order: 1 and 8 threads book the
// same amounts to the last bit and print the same constituent sections.
TEST(ConstituentBoundaries, OneAndEightThreadsBookTheSameOutflow) {
    std::string sections[2];
    constituent_balance books[2];
    for (int k = 0; k < 2; ++k) {
        temp_dir dir;
        const case_result run = run_case(dir, kCases[0], k == 0 ? 1 : 8);
        const size_t at = run.summary.rfind("Overland Transport Summaries");
        ASSERT_NE(at, std::string::npos) << run.summary;
        sections[k] = run.summary.substr(at);
        books[k] = run.balance;
    }
    EXPECT_EQ(sections[0], sections[1]);
    const double constituent_balance::*amounts[] = {
        &constituent_balance::rain, &constituent_balance::outlet, &constituent_balance::boundaries,
        &constituent_balance::water, &constituent_balance::residual};
    for (const auto m : amounts) EXPECT_EQ(books[0].*m, books[1].*m);
}
