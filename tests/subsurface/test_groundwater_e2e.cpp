// Water table, stream-aquifer exchange and two-dimensional groundwater
// (heads held under plain Green-Ampt) through the program: a valley of two
// planes draining into a channel over a water table. Every volume moved is
// booked, so the summary's balance closes (rain + groundwater to river =
// outlet + surface + channels + infiltration + river to groundwater);
// outputs are the same with 1 and 8 threads; bad groundwater inputs stop
// the run naming their file and line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
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

double summary_value(const std::string& text, const std::string& label) {
    const size_t at = text.rfind(label);
    if (at == std::string::npos) return std::nan("");
    return std::strtod(text.c_str() + at + label.size(), nullptr);
}

enum class soil { none, green_ampt, redistribution, layered, richards };

// rows x (2 half_width + 1) cells of 10 m; the middle column holds one
// trapezoid link (bottom 2 m, side slope 1) with a node under each cell,
// 1 m below the ground. The water table lies `table_depth` below the ground.
struct valley_case {
    int rows = 12;
    int half_width = 4;
    double cell = 10.0;           // m
    double side_slope = 0.01;     // m/m
    double valley_slope = 0.005;  // m/m
    double rain_mm_h = 50.0;
    int rain_minutes = 30;
    int total_minutes = 120;
    double timestep = 5.0;        // s
    int threads = 0;
    soil method = soil::green_ampt;
    double table_depth = 3.0;     // m below ground
    double k_river = 0.36;        // river-bed conductivity, m/h
    double m_river = 0.5;         // river-bed thickness, m
    bool stream_loss = true;
    bool groundwater = false;     // two-dimensional groundwater
    double gw_k = 3.6;            // aquifer conductivity, cm/h
    double bottom_depth = 10.0;   // aquifer bottom below ground, m
    double leakage = 0.0;         // cm/h
    bool fixed_heads = true;      // first row fixed head (code 2)
    int cols() const { return 2 * half_width + 1; }
    double area() const { return rows * cols() * cell * cell; }
    double rain_volume() const { return rain_mm_h / 1000.0 * rain_minutes / 60.0 * area(); }
};

double ground(const valley_case& c, int r, int col) {
    return 100.0 + c.valley_slope * c.cell * (c.rows - r) +
           c.side_slope * c.cell * std::abs(col - (c.half_width + 1));
}

void write_soil(project_file& p, const std::string& dir, const grid_spec& g, soil m) {
    auto map = [&](const char* card, const char* file, double value, int decimals = 3) {
        write_grid(dir + "/" + file, g, [&](int, int) { return value; }, decimals);
        p.card(card, file);
    };
    if (m == soil::none) return;   // no infiltration method: the table only meets the stream
    if (m == soil::richards) {
        // Haverkamp sand, conductivity lowered to 2 cm/h, three layers of 20 cm.
        map("SOIL_TYPE_MAP", "soil.asc", 1.0, 0);
        const char* layer = "2.0 0.287 0.075 0.12 0.08 0.15 20 36.936 3.96 1.175e6 4.74 2\n";
        write_file(dir + "/richards.txt", std::string("1\n0\n1\n") + layer + layer + layer);
        p.card("INF_RICHARDS").card("RICHARDS_C_OPTION", "havercamp");
        p.card("SOIL_LAYER_INPUT_FILE", "richards.txt").card("AQUIFER_DELTA_Z", "0.1");
        return;
    }
    if (m == soil::layered) {
        map("SOIL_TYPE_MAP", "soil.asc", 4.0, 0);
        write_file(dir + "/layers.txt",
                   "1\nsoils\n4\n"
                   "1.0 0.3 11.0 0.45 0.3 0.1 0.05 0.15 20.0\n"
                   "0.5 0.3 15.0 0.40 0.3 0.1 0.05 0.20 60.0\n"
                   "0.2 0.3 20.0 0.35 0.3 0.1 0.05 0.20\n");
        p.card("SOIL_LAYER_INPUT_FILE", "layers.txt").card("INF_LAYERED_SOIL");
        return;
    }
    map("CONDUCTIVITY", "ks.asc", 1.0);
    map("CAPILLARY", "hc.asc", 11.0);
    map("POROSITY", "por.asc", 0.45);
    map("MOISTURE", "moist.asc", 0.15);
    if (m == soil::green_ampt) {
        p.card("GREEN_AMPT");
        return;
    }
    map("PORE_INDEX", "pi.asc", 0.3);
    map("RESIDUAL_SAT", "thr.asc", 0.05);
    p.card("SOIL_MOIST_DEPTH", "0.8").card("INF_REDIST");
}

// Writes the valley project; `gwbound_text`, when given, replaces the
// boundary map text and `extra` is appended to the project.
void write_valley(const std::string& dir, const valley_case& c,
                  const std::string& gwbound_text = "") {
    grid_spec g;
    g.rows = c.rows;
    g.cols = c.cols();
    g.cell = c.cell;
    g.north = c.rows * c.cell;
    const int mid = c.half_width + 1;
    write_grid(dir + "/mask.asc", g, [](int, int) { return 1.0; }, 0);
    write_grid(dir + "/elev.asc", g, [&](int r, int col) { return ground(c, r, col); }, 6);
    write_grid(dir + "/wt.asc", g,
               [&](int r, int col) { return ground(c, r, col) - c.table_depth; }, 6);

    write_valley_channel(dir, c.rows, mid, c.cell, c.valley_slope);

    project_file p = valley_project({c.rows, c.cols(), c.cell, mid, c.valley_slope,
                                     c.total_minutes, c.timestep, c.rain_mm_h, c.rain_minutes});
    p.card("K_RIVER", c.k_river)
        .card("M_RIVER", c.m_river)
        .card("SUPER_QUIET");
    if (c.stream_loss) p.card("STREAM_LOSS");
    if (c.table_depth >= 0.0) p.card("WATER_TABLE", "wt.asc");
    write_soil(p, dir, g, c.method);
    if (c.groundwater) {
        write_grid(dir + "/bottom.asc", g,
                   [&](int r, int col) { return ground(c, r, col) - c.bottom_depth; }, 6);
        if (gwbound_text.empty()) {
            write_grid(dir + "/gwbound.asc", g, [&](int r, int col) {
                if (col == mid) return 4.0;
                return c.fixed_heads && r == 1 ? 2.0 : 1.0;
            }, 0);
        } else {
            write_file(dir + "/gwbound.asc", gwbound_text);
        }
        p.card("GW_SIMULATION")
            .card("AQUIFER_BOTTOM", "bottom.asc")
            .card("GW_BOUNDFILE", "gwbound.asc")
            .card("GW_UNIF_HYCOND", c.gw_k)
            .card("GW_UNIF_POROSITY", "0.3")
            .card("GW_RELAX_COEFF", "1.2")
            .card("GW_LSOR_CON", "1e-12")
            .card("GW_TIMESTEP", "60")
            .card("GW_LEAKAGE_RATE", c.leakage);
    }
    if (c.threads > 0) p.card("NUM_THREADS", std::to_string(c.threads));
    p.write(dir + "/valley.prj");
}

}  // namespace

// Rain of 5 cm/h for 30 min on the valley; the stream loses to a table below
// its bed (3 m, 1.5 m below ground, or no table: dry ground) and gains from a
// table above its water surface (0.5 m below ground). Every exchange is
// booked: the printed in and out masses agree to 1e-9 relative and the
// volumes (printed with 2 decimals) make up the rain.
TEST(GroundwaterProgram, StreamExchangeBalancesForEachSoilAndAquifer) {
    struct balance_case {
        const char* what;
        soil method;
        double table_depth;   // m below ground, < 0 without a water table
        bool groundwater;
        bool gaining;
    };
    const balance_case cases[] = {
        {"Green-Ampt, table below the bed", soil::green_ampt, 3.0, false, false},
        {"Green-Ampt, table above the stream", soil::green_ampt, 0.5, false, true},
        {"Green-Ampt, no table", soil::green_ampt, -1.0, false, false},
        {"redistribution, table above the stream", soil::redistribution, 0.5, false, true},
        {"layered, table above the stream", soil::layered, 0.5, false, true},
        {"Green-Ampt over an aquifer below the bed", soil::green_ampt, 1.5, true, false},
        {"Green-Ampt over an aquifer above the stream", soil::green_ampt, 0.5, true, true},
        {"no infiltration, table below the bed", soil::none, 3.0, false, false},
        {"no infiltration, table above the stream", soil::none, 0.5, false, true},
    };
    for (const balance_case& bc : cases) {
        SCOPED_TRACE(bc.what);
        temp_dir dir;
        valley_case c;
        c.method = bc.method;
        c.table_depth = bc.table_depth;
        c.groundwater = bc.groundwater;
        write_valley(dir.path(), c);
        const run_result r = run_pluvo({"valley.prj"}, dir.path());
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        const std::string s = read_file(dir.file("valley.sum"));
        const double rain = c.rain_volume();
        const double to_gw = summary_value(s, "Total flux from river to gw=");
        const double from_gw = bc.table_depth < 0.0 ? 0.0 : summary_value(s, "Total flux from gw to river=");
        if (bc.gaining) {
            EXPECT_GT(from_gw, 1.0) << s;
        } else {
            EXPECT_GT(to_gw, 0.1) << s;
            EXPECT_EQ(from_gw, 0.0);
        }
        const double in = summary_value(s, "Mass input + original mass:");
        const double out = summary_value(s, "Mass output + final mass:");
        EXPECT_NEAR(out, in, 1e-9 * in) << s;
        EXPECT_LT(std::fabs(summary_value(s, "Overall mass balance error =")), 1e-6) << s;
        EXPECT_LT(std::fabs(summary_value(s, "Mass balance error of surface components =")), 1e-6);
        // rain + gw to river = outlet + surface + channels + infiltration + river to gw.
        const double held = summary_value(s, "Total amount of discharge=") +
                            summary_value(s, "Final volume on surface=") +
                            summary_value(s, "Final volume in channels=") +
                            (bc.method == soil::none
                                 ? 0.0
                                 : summary_value(s, "Total amount of infiltration=")) +
                            to_gw;
        EXPECT_NEAR(held, rain + from_gw, 0.03) << s;
        if (bc.groundwater) {
            // Heads are held under Green-Ampt: the aquifer store keeps its volume.
            EXPECT_EQ(summary_value(s, "GW volume start ="), summary_value(s, "GW volume end ="));
        }
    }
}

// Heads solved under the redistribution and layered soils (80 cm deep) and
// Richards columns (60 cm of soil over the aquifer material): the table starts at the ground (exfiltration), inside the soil (the stream
// gains) or below it (the stream loses), with leakage to the deep aquifer and
// a fixed-head row. The heads move and every volume is booked: the printed
// in and out totals agree to 1e-9 relative, the groundwater section's own
// balance closes, and
//   rain + boundary inflow = outlet + change of surface, channels, soil and
//                            groundwater + leakage + pumping + recharge lost
//                            to fixed-head cells (+ the Richards column error).
TEST(GroundwaterProgram, SolvedAquiferUnderRedistributingSoilsBalances) {
    struct balance_case {
        const char* what;
        soil method;
        double table_depth;   // m below ground
        double leakage;       // cm/h
    };
    const balance_case cases[] = {
        {"redistribution, table at the ground", soil::redistribution, 0.0, 0.36},
        {"redistribution, table in the soil", soil::redistribution, 0.5, 0.36},
        {"redistribution, table below the soil", soil::redistribution, 1.5, 0.36},
        {"layered, table at the ground", soil::layered, 0.0, 0.36},
        {"layered, table in the soil", soil::layered, 0.5, 0.36},
        {"layered, table below the soil", soil::layered, 1.5, 0.0},
        {"Richards, table at the ground", soil::richards, 0.0, 0.36},
        {"Richards, table in the soil", soil::richards, 0.5, 0.36},
        {"Richards, table below the soil", soil::richards, 1.5, 0.0},
    };
    for (const balance_case& bc : cases) {
        SCOPED_TRACE(bc.what);
        temp_dir dir;
        valley_case c;
        c.method = bc.method;
        c.table_depth = bc.table_depth;
        c.groundwater = true;
        c.leakage = bc.leakage;
        c.bottom_depth = 6.0;
        c.gw_k = 36.0;
        write_valley(dir.path(), c);
        const run_result r = run_pluvo({"valley.prj"}, dir.path());
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        const std::string s = read_file(dir.file("valley.sum"));
        auto v = [&](const char* label) { return summary_value(s, label); };
        // The surface (event report) and the whole run, each to 1e-9 relative.
        const double in = v("Mass input + original mass:");
        const double out = v("Mass output + final mass:");
        EXPECT_NEAR(out, in, 1e-9 * in) << s;
        EXPECT_LT(std::fabs(v("Overall balance, relative error =")), 1e-9) << s;
        EXPECT_LT(std::fabs(v("Mass Balance error =")), 1e-6) << s;
        const double gw_start = v("GW volume start =");
        const double gw_end = v("GW volume end =");
        EXPECT_GT(std::fabs(gw_end - gw_start), 1.0) << "the heads did not move\n" << s;
        if (bc.leakage > 0.0) {
            EXPECT_GT(v("Leakage to deep aquifer+"), 1.0);
        }
        // At the ground, ponded water leaks into the table (exfiltration below 0).
        if (bc.table_depth == 0.0) {
            EXPECT_LT(v("Total amount of exfiltration="), -1.0) << s;
        }
        const double lost_recharge = v("Total downward flux from unsaturated zone=") -
                                     v("Total recharge inputs to groundwater=");
        const double changes = v("Final volume on surface=") - v("Initial volume on surface=") +
                               v("Final volume in channels=") - v("Initial volume in channels=") +
                               v("Final volume in soils=") - v("Initial volume in soils=") +
                               gw_end - gw_start;
        const double right = v("Total amount of discharge=") + changes +
                             v("Leakage to deep aquifer+") + v("Pumping") + lost_recharge;
        // The Richards solver's content resets enter as water created.
        const double created = bc.method == soil::richards ? v("column error") : 0.0;
        // Volumes printed with 2 decimals, 12 terms.
        EXPECT_NEAR(right, c.rain_volume() + v("Flux across head boundaries=") + created, 0.06) << s;
    }
}

// With hardly any rain a table 1.5 m down (below the 80-cm soil and the channel bed)
// barely moves: the soil columns start down to the soil bottom holding their
// initial water, so no step refills them from the aquifer. A column started
// empty at the ground would take 80 cm x the retained content, over 1900 m3
// here.
TEST(GroundwaterProgram, StillTableTakesNoWaterFromTheAquifer) {
    for (soil m : {soil::redistribution, soil::layered, soil::richards}) {
        SCOPED_TRACE(m == soil::layered ? "layered" : m == soil::richards ? "Richards" : "redistribution");
        temp_dir dir;
        valley_case c;
        c.method = m;
        c.rain_mm_h = 0.001;   // a trace: the project needs a rain card
        c.table_depth = 1.5;
        c.groundwater = true;
        c.bottom_depth = 6.0;
        c.gw_k = 36.0;
        write_valley(dir.path(), c);
        const run_result r = run_pluvo({"valley.prj"}, dir.path());
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        const std::string s = read_file(dir.file("valley.sum"));
        // The table drains a few mm towards the stream and the fixed row.
        EXPECT_LT(std::fabs(summary_value(s, "Total downward flux from unsaturated zone=")), 30.0)
            << s;
        EXPECT_LT(std::fabs(summary_value(s, "Sat/unsat. trickery (into gw) =")), 30.0) << s;
        EXPECT_NEAR(summary_value(s, "Final volume in soils="),
                    summary_value(s, "Initial volume in soils="), 30.0);
    }
}

// 64 x 33 cells: the cell loops run on many threads.
TEST(GroundwaterProgram, OneAndEightThreadsWriteTheSameOutputs) {
    struct thread_case {
        const char* what;
        soil method;
        bool groundwater;
        int minutes = 60;
    };
    const thread_case cases[] = {
        {"Green-Ampt over a table", soil::green_ampt, false},
        {"Green-Ampt over an aquifer", soil::green_ampt, true},
        {"redistribution over solved heads", soil::redistribution, true},
        {"layered over solved heads", soil::layered, true},
        {"Richards over solved heads", soil::richards, true, 20},
    };
    for (const thread_case& tc : cases) {
        SCOPED_TRACE(tc.what);
        std::string outputs[2];
        for (int k = 0; k < 2; ++k) {
            temp_dir dir;
            valley_case c;
            c.rows = 64;
            c.half_width = 16;
            c.total_minutes = tc.minutes;
            c.table_depth = 0.5;
            c.method = tc.method;
            c.groundwater = tc.groundwater;
            c.threads = k == 0 ? 1 : 8;
            write_valley(dir.path(), c);
            const run_result r = run_pluvo({"valley.prj"}, dir.path());
            ASSERT_EQ(r.status, 0) << r.out << r.err;
            outputs[k] = read_file(dir.file("valley.otl")) + "\n--\n" +
                         without_timing(read_file(dir.file("valley.sum")));
            EXPECT_GT(summary_value(outputs[k], "Total flux from gw to river="), 1.0);
        }
        EXPECT_TRUE(outputs[0] == outputs[1]) << "outputs differ between 1 and 8 threads";
    }
}

// Groundwater inputs the run cannot use stop it with exit status 1 and a
// message naming the file (and line); combinations not built yet are
// refused from the project cards before any map is read.
TEST(GroundwaterProgram, BadInputsAreRefusedNamingTheirFile) {
    struct bad_case {
        const char* what;
        std::string gwbound;     // boundary map text ("" the valley's own)
        std::string flux;        // static flux table text ("" none)
        soil method;
        std::string message;     // expected in the output
        std::string cards = "";  // added to the project
        std::string layers = ""; // replaces the layered soil table
        std::string wells = "";  // well location list of the well level output ("" none)
    };
    const std::string header = "north: 120\nsouth: 0\neast: 90\nwest: 0\nrows: 12\ncols: 9\n";
    std::string codes;
    for (int r = 1; r <= 12; ++r) {
        for (int col = 1; col <= 9; ++col)
            codes += (r == 3 && col == 2) ? "9 " : (col == 5 ? "4 " : "1 ");
        codes += "\n";
    }
    const bad_case cases[] = {
        {"boundary code 9", header + codes, "", soil::green_ampt,
         "Error: the groundwater boundary codes of gwbound.asc give the cell at row 3, column 2 "
         "the code 9"},
        {"flux row outside the grid", "", "1\n13 2 10.0\n", soil::green_ampt,
         "Error: static flux table flux.txt, line 2: row 13, column 2 lies outside"},
        {"flux table short", "", "2\n3 2 10.0\n", soil::green_ampt,
         "Error: static flux table flux.txt, line 3:"},
        // The well locations are named as such, and their count is no allocation.
        {"well locations short", "", "", soil::green_ampt,
         "Error: well location file wells.txt, line 3: the file ends before the entries its count "
         "announces", "GW_WELL_LEVEL wells.out\nOUT_WELL_LOCATION wells.txt\n", "",
         "2000000000\n3 2\n"},
        {"Richards column too deep for its node spacing", "", "", soil::richards,
         "Error: cell 1: its Richards column down to the aquifer bottom needs more than",
         "AQUIFER_DELTA_Z 0.001\n"},
        {"all of the porosity retained", "", "", soil::redistribution,
         "Error: the card single_unsat_sat gives 1;", "SINGLE_UNSAT_SAT 1.0\n"},
        {"field capacity at porosity", "", "", soil::layered,
         "Error: layer 2 of soil 4 in layers.txt has a field capacity of 0.4, not below its "
         "porosity 0.4", "",
         "1\nsoils\n4\n"
         "1.0 0.3 11.0 0.45 0.3 0.1 0.05 0.15 20.0\n"
         "0.5 0.3 15.0 0.40 0.4 0.1 0.05 0.20 60.0\n"
         "0.2 0.3 20.0 0.35 0.3 0.1 0.05 0.20\n"},
    };
    for (const bad_case& bc : cases) {
        SCOPED_TRACE(bc.what);
        temp_dir dir;
        valley_case c;
        c.groundwater = true;
        c.method = bc.method;
        c.table_depth = 1.5;
        write_valley(dir.path(), c, bc.gwbound);
        if (!bc.cards.empty())
            write_file(dir.file("valley.prj"), read_file(dir.file("valley.prj")) + bc.cards);
        if (!bc.layers.empty()) write_file(dir.file("layers.txt"), bc.layers);
        if (!bc.wells.empty()) write_file(dir.file("wells.txt"), bc.wells);
        if (!bc.flux.empty()) {
            write_file(dir.file("flux.txt"), bc.flux);
            std::string prj = read_file(dir.file("valley.prj"));
            write_file(dir.file("valley.prj"), prj + "GW_FLUXBOUNDTABLE flux.txt\n");
        }
        const run_result r = run_pluvo({"valley.prj"}, dir.path());
        EXPECT_EQ(r.status, 1) << r.out;
        // Console lines are off (SUPER_QUIET); the summary file keeps the message.
        const std::string text = r.out + read_file(dir.file("valley.sum"));
        EXPECT_NE(text.find(bc.message), std::string::npos) << text;
    }
}

// A water table is read with the soil maps: without an infiltration method
// the card is refused before any file opens.
// Two-dimensional groundwater needs a soil between the surface and the table.
TEST(GroundwaterProgram, GroundwaterWithoutInfiltrationIsRefused) {
    temp_dir dir;
    valley_case c;
    c.table_depth = 0.5;
    c.groundwater = true;
    c.method = soil::none;
    write_valley(dir.path(), c);
    const run_result r = run_pluvo({"valley.prj"}, dir.path());
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("Error: the card gw_simulation asks for two-dimensional groundwater "
                         "without an infiltration method"), std::string::npos) << r.out;
}
