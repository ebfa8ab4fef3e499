// Dissolved contaminants through the program: a rain tracer on a tilted
// plane, a tracer that decays, exchanges with the land and infiltrates on the
// bundled valley with its channel, thread-count independence of every
// constituent output, and bad contaminant inputs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "fixture.h"
#include "constituent_books.h"
#include "model_run.h"
#include "pluvo_test.h"
#include "valley.h"
#include "quality/constituent_setup.h"
#include "run/run_state.h"

using namespace pluvo_test;

namespace {

std::string id_row(int id, const std::string& values) {
    char head[8];
    std::snprintf(head, sizeof head, "%-6d", id);
    std::string line = std::string(head) + "row";
    line.resize(86, ' ');
    return line + values + "\n";
}

// Mapping table with one contaminant "Tracer" (output name `name`) over
// con.idx (every cell class 1): rain concentration `precip` g/m3 and the
// eight table columns `columns` (dispersion m2/s, decay 1/day, uptake m/day,
// land load kg per cell, initial concentration g/m3, surface-soil
// concentration g/m3, Kd l/kg, groundwater concentration g/m3).
void write_contaminant_table(const std::string& dir, const grid_spec& g, const std::string& precip,
                             const std::string& columns, const std::string& name = "tracer") {
    write_grid(dir + "/con.idx", g, [](int, int) { return 1.0; }, 0);
    write_file(dir + "/table.cmt", "PLUVO_INDEX_MAP_TABLES\nINDEX_MAP con.idx \"Con\"\n"
                                   "CONTAMINANT_TRANSPORT\nNUM_CONTAM 1\n\"Tracer\" \"Con\" \"" +
                                       name + "\"\nPRECIP_CONC " + precip +
                                       "\nNUM_IDS 1\nID    DESCRIPTION\n" + id_row(1, columns));
}

double summary_number(const std::string& text, const std::string& label) {
    const size_t at = text.rfind(label);
    if (at == std::string::npos) return std::nan("");
    return std::strtod(text.c_str() + at + label.size(), nullptr);
}

// Cell values of an ASCII grid (header lines skipped), row by row.
std::vector<double> grid_values(const std::string& text) {
    std::vector<double> v;
    for (const std::string& line : split_lines(text)) {
        if (line.empty() || std::isalpha(static_cast<unsigned char>(line[0]))) continue;
        const char* p = line.c_str();
        char* end = nullptr;
        for (double x = std::strtod(p, &end); end != p; x = std::strtod(p, &end)) {
            v.push_back(x);
            p = end;
        }
    }
    return v;
}

// The tilted plane of the rain-to-runoff tests carrying a rain tracer of
// 10 g/m3 (no decay, no soil, no infiltration).
plane_case tracer_plane(int threads) {
    plane_case c;
    c.grid.rows = 60;
    c.grid.cols = 40;   // 2400 cells: the parallel loops run under the tests' threshold
    c.grid.cell = 10.0;
    c.slope = 0.01;
    c.rain_mm_h = 50.0;
    c.rain_minutes = 120;
    c.total_minutes = 120;
    c.threads = threads;
    return c;
}

// Runs the tracer plane in this process; `balance` receives the tracer's
// balance at the run end, kg.
bool run_tracer_plane(const temp_dir& dir, int threads, constituent_balance& balance) {
    const plane_case c = tracer_plane(threads);
    project_file p = write_plane_case(dir.path(), c);
    write_contaminant_table(dir.path(), c.grid, "10", "0 0 0 0 0 0 0 0");
    std::filesystem::create_directory(dir.file("tracer"));
    p.remove("MAP_FREQ")
        .card("MAP_FREQ", "30")
        .card("MAPPING_TABLE", "table.cmt")
        .card("OV_CON_TRANS")
        .card("ALL_CONTAM_OUTPUT")
        .write(dir.file("plane.prj"));
    return run_model_in(dir.path(), "plane.prj",
                        [&](const run_state& rs) { balance = compute_constituent_balance(rs, 1); });
}

}  // namespace

// Only the rain brings the tracer, so every wet cell and the water leaving the
// outlet carry its concentration C0 = 10 g/m3 (reference: C0; within 1 %),
// and rain = outlet + stored closes to 1e-9 of the rain.
TEST(ConstituentProgram, RainTracerOnATiltedPlaneKeepsTheRainConcentration) {
    temp_dir dir;
    constituent_balance b;
    ASSERT_TRUE(run_tracer_plane(dir, 0, b));
    const std::string summary = read_file(dir.file("summ.out"));
    std::string last;
    for (const auto& e : std::filesystem::directory_iterator(dir.file("tracer")))
        if (e.path().filename().string().find("conc") != std::string::npos &&
            e.path().string() > last)
            last = e.path().string();
    ASSERT_FALSE(last.empty());
    const std::vector<double> conc = grid_values(read_file(last));
    ASSERT_EQ(conc.size(), 2400u);
    for (size_t k = 0; k < conc.size(); ++k) ASSERT_NEAR(conc[k], 10.0, 0.1) << "cell " << k + 1;

    const double rain = b.rain;
    const double outlet = b.outlet;
    const double discharge = summary_number(summary, "Total amount of discharge=");   // m3
    const double rain_volume = 50.0 / 1000.0 / 3600.0 * 2400 * 100.0 * 7200.0;       // m3
    EXPECT_NEAR(rain, 10.0 * rain_volume / 1000.0, 1e-9 * rain);
    EXPECT_NEAR(outlet * 1000.0 / discharge, 10.0, 0.1) << summary;
    EXPECT_NEAR(b.residual, 0.0, 1e-9 * rain);
    // The run-end overland section prints the same rain and outlet mass.
    EXPECT_NEAR(summary_number(summary, "Precipitation mass gain"), rain, 0.005) << summary;
    EXPECT_NEAR(summary_number(summary, "Outlet mass flux"), outlet, 0.005) << summary;
}

// The bundled valley with Green-Ampt soil, a tracer in the rain that also
// comes off the land (load 2 kg per cell, uptake towards 5 g/m3), decays in
// the cells (1/day) and the channel (2/day) and disperses (0.5 and 2 m2/s):
// initial + rain = outlet + infiltrated + decayed + stored (water, land,
// channel, in transit) within 1e-9 of what came in; each path moved mass.
// The same run on 1 and 8 threads writes byte-identical maps, link/node
// datasets, series and constituent sections, and books the same amounts.
TEST(ConstituentProgram, ValleyBalanceClosesAndThreadsWriteTheSameFiles) {
    std::string files[2][6];
    std::string books[2];   // full-precision balance text
    for (int k = 0; k < 2; ++k) {
        temp_dir dir;
        std::filesystem::create_directory(dir.file("out"));
        for (const char* f : {"example.prj", "mask.asc", "elev.asc", "valley.chn", "valley.gst"})
            write_file(dir.file(f), read_file(std::string(PLUVO_EXAMPLES) + "/" + f));
        grid_spec g;
        g.rows = 30;
        g.cols = 17;
        g.cell = 10.0;
        g.north = 300.0;
        write_contaminant_table(dir.path(), g, "10", "0.5 1 0.05 2 3 5 0 0", "valley_tracer");
        std::string prj = read_file(dir.file("example.prj"));
        const struct {
            const char* card;
            const char* file;
            double value;
        } soils[] = {{"CONDUCTIVITY", "ks.asc", 0.5}, {"CAPILLARY", "hc.asc", 10.0},
                     {"POROSITY", "por.asc", 0.45}, {"MOISTURE", "moist.asc", 0.2}};
        for (const auto& m : soils) {
            write_grid(dir.file(m.file), g, [&](int, int) { return m.value; }, 3);
            prj += std::string(m.card) + " " + m.file + "\n";
        }
        prj += "GREEN_AMPT\nMAPPING_TABLE table.cmt\nOV_CON_TRANS\nCHAN_CON_TRANS\nALL_CONTAM_OUTPUT\n"
               "CHAN_DISP_COEF 2\nCHAN_DECAY_COEF 2\nINIT_CHAN_CONC 0\nMAP_TYPE 1\nMAP_FREQ 30\n"
               "SUPER_QUIET\nNUM_THREADS " +
               std::string(k == 0 ? "1" : "8") + "\n";
        write_file(dir.file("example.prj"), prj);
        constituent_balance b;
        {
            parallel_from_cells many(64);
            ASSERT_TRUE(run_model_in(dir.path(), "example.prj", [&](const run_state& rs) {
                b = compute_constituent_balance(rs, 1);
                books[k] = constituent_balance_text(rs);
            }));
        }
        const std::string summary = read_file(dir.file("out/valley.sum"));
        // The balance closes at the run end.
        const double in = b.initial + b.rain;
        ASSERT_GT(in, 0.0) << summary;
        EXPECT_NEAR(b.residual, 0.0, 1e-9 * in) << summary;
        for (const double moved : {b.outlet, b.infiltrated, b.decayed, b.land, b.channel, b.rain})
            EXPECT_GT(moved, 0.0) << summary;
        EXPECT_NEAR(b.initial, 510 * 2.0, 1e-9) << summary;

        const char* names[] = {"out/valley_tracer.conc", "out/valley_tracer.mass",
                               "out/valley_tracer.chan.conc", "out/valley_tracer.chan.mass",
                               "out/valley.otl"};
        for (int f = 0; f < 5; ++f) {
            ASSERT_TRUE(file_exists(dir.file(names[f]))) << names[f];
            files[k][f] = read_file(dir.file(names[f]));
        }
        files[k][5] = summary.substr(summary.rfind("Overland Transport Summaries"));
    }
    for (int f = 0; f < 6; ++f) EXPECT_TRUE(files[0][f] == files[1][f]) << "file " << f;
    EXPECT_EQ(books[0], books[1]);
    EXPECT_GT(count_of(files[0][2], "TS"), 3);
}

// Bad contaminant inputs stop the run naming the file and what is wrong.
TEST(ConstituentProgram, BadContaminantInputsStopNamingTheFile) {
    struct bad_case {
        const char* what;
        const char* precip;        // rain concentration of the table (null: no table)
        const char* columns;
        const char* load_map;      // contents of load.asc ("" none, "-" no card)
        const char* message;
    };
    const bad_case cases[] = {
        {"missing load map", "1", "0 0 0 0 0 0 0 0", "", "load.asc"},
        {"load map of other rows", "1", "0 0 0 0 0 0 0 0",
         "north: 1000\nsouth: 980\neast: 30\nwest: 0\nrows: 2\ncols: 3\n1 1 1\n1 1 1\n", "load.asc"},
        {"negative load", "1", "0 0 0 0 0 0 0 0", "neg",
         "Error: contaminant load map load.asc: cell 1 holds -1"},
        {"negative initial concentration", "1", "0 0 0 0 -3 0 0 0", "-",
         "the initial concentration of contaminant 1 in cell 1 is -3"},
        {"negative rain concentration", "-2", "0 0 0 0 0 0 0 0", "-",
         "table.cmt: the PRECIP_CONC of contaminant 1 is -2"},
        {"no contaminant table", nullptr, "", "-",
         "Error: The number of contaminants is not a positive value."},
    };
    for (const bad_case& c : cases) {
        SCOPED_TRACE(c.what);
        temp_dir dir;
        plane_case pc;
        pc.grid.rows = 3;
        pc.grid.cols = 3;
        pc.total_minutes = 10;
        project_file p = write_plane_case(dir.path(), pc);
        if (c.precip != nullptr) {
            write_contaminant_table(dir.path(), pc.grid, c.precip, c.columns);
            p.card("MAPPING_TABLE", "table.cmt");
        }
        p.card("OV_CON_TRANS");
        if (std::string(c.load_map) != "-") {
            p.card("CONTAM_MAP", "load.asc");
            if (std::string(c.load_map) == "neg")
                write_grid(dir.file("load.asc"), pc.grid, [](int, int) { return -1.0; }, 1);
            else if (c.load_map[0] != '\0')
                write_file(dir.file("load.asc"), c.load_map);
        }
        p.write(dir.file("plane.prj"));
        const run_result r = run_pluvo({"plane.prj"}, dir.path());
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_NE(r.out.find(c.message), std::string::npos) << r.out;
    }
}

// A plane over Green-Ampt soil, without and with redistribution, with a
// contaminant in the rain and in the soil layer (3 mg/kg, Kd 2 l/kg),
// exchanging with the water and decaying in both: initial + rain = outlet +
// decayed + stored (water, soil, in transit) within 1e-9, with mass
// infiltrated into the layer (little left in transit) and the layer
// decaying; every section of the summaries closes (with static soil
// concentrations the soil and global errors are what the held soil gave);
// 1 and 8 threads book the same amounts and print the same constituent
// sections.
TEST(ConstituentProgram, SoilLayerUnderAPlaneKeepsTheBalance) {
    const struct {
        const char* name;
        const char* card;
        bool redistribution;   // also the pore index and residual content maps
        bool fixed;            // static soil concentrations
    } methods[] = {{"Green-Ampt", "GREEN_AMPT", false, false},
                   {"Green-Ampt with redistribution", "INF_REDIST", true, false},
                   {"Green-Ampt, static soil concentrations", "GREEN_AMPT", false, true}};
    for (const auto& m : methods) {
        SCOPED_TRACE(m.name);
        std::string balance[2];
        std::string books[2];   // full-precision balance text
        for (int k = 0; k < 2; ++k) {
            temp_dir dir;
            plane_case c;
            c.grid.rows = 10;
            c.grid.cols = 5;
            c.rain_minutes = 40;
            c.total_minutes = 80;
            c.threads = k == 0 ? 1 : 8;
            project_file p = write_plane_case(dir.path(), c);
            const struct {
                const char* card;
                const char* file;
                double value;
                bool redistribution_only;
            } soils[] = {{"CONDUCTIVITY", "ks.asc", 1.0, false}, {"CAPILLARY", "hc.asc", 10.0, false},
                         {"POROSITY", "por.asc", 0.45, false},   {"MOISTURE", "moist.asc", 0.2, false},
                         {"PORE_INDEX", "pi.asc", 0.3, true},    {"RESIDUAL_SAT", "thr.asc", 0.05, true}};
            for (const auto& s : soils) {
                if (s.redistribution_only && !m.redistribution) continue;
                write_grid(dir.file(s.file), c.grid, [&](int, int) { return s.value; }, 3);
                p.card(s.card, s.file);
            }
            write_contaminant_table(dir.path(), c.grid, "10", "0.1 2 0.5 3 0 0 2 0");
            p.card(m.card)
                .card("SOIL_MOIST_DEPTH", "0.3")
                .card("MAPPING_TABLE", "table.cmt")
                .card("OV_CON_TRANS")
                .card("SOIL_CON_TRANS");
            if (m.fixed) p.card("SOIL_STATIC_CONC");
            p.write(dir.file("plane.prj"));
            constituent_balance b;
            std::vector<section_books> sections;
            double held = 0.0;   // kg the held soil gave over the run
            {
                parallel_from_cells many(16);
                ASSERT_TRUE(run_model_in(dir.path(), "plane.prj", [&](const run_state& rs) {
                    b = compute_constituent_balance(rs, 1);
                    books[k] = constituent_balance_text(rs);
                    sections = constituent_section_books(rs);
                    held = rs.con_tot.soil_held[1];
                }));
            }
            const std::string summary = read_file(dir.file("summ.out"));
            const double in = b.initial + b.rain;
            // 50 cells of 0.3 m x 100 m2 of solids (porosity 0.45) at 2650 kg/m3 and 3 mg/kg.
            EXPECT_NEAR(b.initial, 50 * 0.55 * 0.3 * 100.0 * 2650.0 * 3e-6, 1e-9);
            EXPECT_NEAR(b.residual, 0.0, 1e-9 * in) << summary;
            // The soil step takes in what infiltrated: little is left in transit.
            EXPECT_LT(b.pending, 0.01 * in) << summary;
            EXPECT_GT(b.decayed, 0.0) << summary;
            EXPECT_GT(b.outlet, 0.0) << summary;
            EXPECT_GT(b.land, 0.0) << summary;
            ASSERT_GE(sections.size(), 4u);
            for (const section_books& e : sections)
                EXPECT_NEAR(e.residual, 0.0, 1e-9 * e.in) << e.what << "\n" << summary;
            expect_sections_match_their_terms(summary, 4);
            // Held soil gives the water its exchange and decays without losing
            // mass, and swallows what infiltrates: it booked the difference.
            if (m.fixed) EXPECT_GT(std::fabs(held), 1e-3 * in) << summary;
            else EXPECT_EQ(held, 0.0);
            balance[k] = without_timing(summary.substr(summary.find("Soil Contaminant Transport Summary for")));
        }
        EXPECT_EQ(books[0], books[1]);
        EXPECT_EQ(balance[0], balance[1]);
    }
}

// The location rows of the channel constituents on the bundled valley (rain
// at 10 g/m3 into a channel that starts at 10 g/m3): each row holds the
// time, then one value per location (one contaminant), times increasing; the
// values are those of the located nodes, the same as the channel link/node
// dataset gives for link 1, nodes 10 and 30, at the run end (to its five
// decimals); the mass rows are never negative and show mass at wet nodes,
// whose concentration stays at C0 (within 0.1 %: the coupled overland and
// channel routing keeps a uniform field uniform).
TEST(ConstituentProgram, LocationRowsFollowTheChannelNodes) {
    temp_dir dir;
    std::filesystem::create_directory(dir.file("out"));
    for (const char* f : {"example.prj", "mask.asc", "elev.asc", "valley.chn", "valley.gst"})
        write_file(dir.file(f), read_file(std::string(PLUVO_EXAMPLES) + "/" + f));
    grid_spec g;
    g.rows = 30;
    g.cols = 17;
    g.cell = 10.0;
    g.north = 300.0;
    write_contaminant_table(dir.path(), g, "10", "0.5 0 0 0 0 0 0 0", "loc_tracer");
    write_file(dir.file("locations.txt"), "2\n1 10\n1 30\n");
    write_file(dir.file("example.prj"),
               read_file(dir.file("example.prj")) +
                   "MAPPING_TABLE table.cmt\nOV_CON_TRANS\nCHAN_CON_TRANS\nCHAN_DISP_COEF 2\n"
                   "INIT_CHAN_CONC 10\nALL_CONTAM_OUTPUT\nMAP_TYPE 1\nIN_HYD_LOCATION locations.txt\n"
                   "OUT_HYD_LOCATION locations.out\nOUT_CON_LOCATION con.loc\n"
                   "OUT_MASS_LOCATION mass.loc\nSUPER_QUIET\n");
    const run_result r = run_pluvo({"example.prj"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    // Numbers of each non-empty line of a written file.
    auto read_rows = [](const std::string& text) {
        std::vector<std::vector<double>> rows;
        for (const std::string& line : split_lines(text)) {
            std::vector<double> row;
            const char* p = line.c_str();
            char* end = nullptr;
            for (double x = std::strtod(p, &end); end != p; x = std::strtod(p, &end)) {
                row.push_back(x);
                p = end;
            }
            if (!row.empty()) rows.push_back(row);
        }
        return rows;
    };
    const auto conc = read_rows(read_file(dir.file("out/con.loc")));
    const auto mass = read_rows(read_file(dir.file("out/mass.loc")));
    ASSERT_GT(conc.size(), 10u);
    ASSERT_EQ(mass.size(), conc.size());
    int wet = 0;
    for (size_t k = 0; k < conc.size(); ++k) {
        ASSERT_EQ(conc[k].size(), 3u) << "row " << k;
        ASSERT_EQ(mass[k].size(), 3u) << "row " << k;
        EXPECT_EQ(mass[k][0], conc[k][0]);
        if (k > 0) {
            EXPECT_GT(conc[k][0], conc[k - 1][0]) << "row " << k;
        }
        for (int l = 1; l <= 2; ++l) {
            EXPECT_GE(mass[k][l], 0.0);
            if (mass[k][l] > 1.0) {   // g: a wet node
                ++wet;
                EXPECT_NEAR(conc[k][l], 10.0, 0.01) << "row " << k << " location " << l;

            }
        }
    }
    EXPECT_GT(wet, static_cast<int>(conc.size()));
    // The last step of the link/node dataset: link 1 is "entries  1 v  1 v ...".
    const std::string dataset = read_file(dir.file("out/loc_tracer.chan.conc"));
    const size_t last = dataset.rfind("TS");
    ASSERT_NE(last, std::string::npos) << dataset;
    const auto step = read_rows(dataset.substr(last + 2));
    ASSERT_GE(step.size(), 2u);
    const std::vector<double>& link1 = step[1];   // step[0] holds the step number
    ASSERT_GE(link1.size(), 61u);
    EXPECT_NEAR(conc.back()[1], link1[2 * 10], 1e-5);
    EXPECT_NEAR(conc.back()[2], link1[2 * 30], 1e-5);
}

// A plane over layered Green-Ampt soil (layers of 2 and 3 cm) and over
// Richards sand columns (three 4-cm layers of 2-cm nodes; also cut by a water
// table 10 cm below the ground), rain at 10 g/m3
// and 3 mg/kg in soil layer 1 (Kd 2 l/kg), exchanging with the water and
// decaying in both: initial + rain = outlet + decayed + soil column outflow
// + stored (water, soil, in transit) within 1e-9 of what came in at the
// event end and the run end; the soil took in what infiltrated (little left
// in transit), rain water reached the column bottom and took mass out with
// it; 1 and 8 threads print the same balance and write the same maps.
TEST(ConstituentProgram, SoilColumnUnderAPlaneKeepsTheBalance) {
    const struct {
        const char* name;
        const char* table;   // soil table file
        const char* cards;   // method cards
        double layer1;       // thickness of layer 1, m
        double porosity;     // of layer 1
        bool water_table;    // a water table 10 cm below the ground cuts the columns
    } methods[] = {
        {"layered Green-Ampt",
         "1\nsoils\n1\n"
         "1.0 0.3 11.0 0.45 0.3 0.1 0.05 0.15 2.0\n"
         "3.0 0.3 5.0 0.40 0.3 0.1 0.05 0.25 3.0\n"
         "0.2 0.3 20.0 0.35 0.3 0.1 0.05 0.20\n",
         "INF_LAYERED_SOIL\n", 0.02, 0.45, false},
        {"Richards",
         "1\n0\n1\n"
         "33.984 0.287 0.075 0.09985 0.08 0.15 4 36.936 3.96 1.175e6 4.74 2\n"
         "33.984 0.287 0.075 0.09985 0.08 0.15 4 36.936 3.96 1.175e6 4.74 2\n"
         "33.984 0.287 0.075 0.09985 0.08 0.15 4 36.936 3.96 1.175e6 4.74 2\n",
         "INF_RICHARDS\nRICHARDS_C_OPTION havercamp\n", 0.04, 0.287, false},
        {"Richards over a water table",
         "1\n0\n1\n"
         "33.984 0.287 0.075 0.09985 0.08 0.15 4 36.936 3.96 1.175e6 4.74 2\n"
         "33.984 0.287 0.075 0.09985 0.08 0.15 4 36.936 3.96 1.175e6 4.74 2\n"
         "33.984 0.287 0.075 0.09985 0.08 0.15 4 36.936 3.96 1.175e6 4.74 2\n",
         "INF_RICHARDS\nRICHARDS_C_OPTION havercamp\nWATER_TABLE wt.asc\nAQUIFER_DELTA_Z 0.1\n",
         0.04, 0.287, true},
    };
    for (const auto& m : methods) {
        SCOPED_TRACE(m.name);
        std::string balance[2], maps[2], books[2];
        for (int k = 0; k < 2; ++k) {
            temp_dir dir;
            plane_case c;
            c.grid.rows = 10;
            c.grid.cols = 5;
            c.rain_mm_h = 60.0;
            c.rain_minutes = 40;
            c.total_minutes = 80;
            c.threads = k == 0 ? 1 : 8;
            project_file p = write_plane_case(dir.path(), c);
            write_grid(dir.file("soil.asc"), c.grid, [](int, int) { return 1.0; }, 0);
            write_file(dir.file("soils.txt"), m.table);
            if (m.water_table)
                write_grid(dir.file("wt.asc"), c.grid, [&](int r, int) {
                    return 100.0 + c.slope * c.grid.cell * (c.grid.rows - r) - 0.1;
                }, 9);
            write_contaminant_table(dir.path(), c.grid, "10", "0.1 2 0.5 3 0 0 2 0");
            std::filesystem::create_directory(dir.file("tracer"));
            std::string cards = m.cards;
            while (!cards.empty()) {
                const std::string line = cards.substr(0, cards.find('\n'));
                cards.erase(0, line.size() + 1);
                const size_t blank = line.find(' ');
                if (blank == std::string::npos)
                    p.card(line);
                else
                    p.card(line.substr(0, blank), line.substr(blank + 1));
            }
            p.card("SOIL_TYPE_MAP", "soil.asc")
                .card("SOIL_LAYER_INPUT_FILE", "soils.txt")
                .card("MAPPING_TABLE", "table.cmt")
                .card("ALL_CONTAM_OUTPUT")
                .card("OV_CON_TRANS")
                .card("SOIL_CON_TRANS")
                .write(dir.file("plane.prj"));
            constituent_balance b;
            std::vector<section_books> sections;
            {
                parallel_from_cells many(16);
                ASSERT_TRUE(run_model_in(dir.path(), "plane.prj", [&](const run_state& rs) {
                    b = compute_constituent_balance(rs, 1);
                    books[k] = constituent_balance_text(rs);
                    sections = constituent_section_books(rs);
                }));
            }
            const std::string summary = read_file(dir.file("summ.out"));
            // 50 cells of layer-1 solids at 2650 kg/m3 and 3 mg/kg.
            EXPECT_NEAR(b.initial, 50 * (1.0 - m.porosity) * m.layer1 * 100.0 * 2650.0 * 3e-6, 1e-9);
            const double in = b.initial + b.rain;
            EXPECT_NEAR(b.residual, 0.0, 1e-9 * in) << books[k];
            // The event's and the run's sections close as well.
            ASSERT_GE(sections.size(), 2u);
            for (const section_books& e : sections)
                EXPECT_NEAR(e.residual, 0.0, 1e-9 * e.in) << e.what << "\n" << summary;
            // As printed: soil and overland sections of the event and the run
            // end, each error line from its terms.
            expect_sections_match_their_terms(summary, 4);
            EXPECT_LT(b.pending, 0.01 * in) << books[k];
            for (double v : {b.decayed, b.land, b.drained}) EXPECT_GT(v, 0.0) << books[k];
            // The sand over the shallow table drains all the rain: nothing runs off.
            if (!m.water_table) {
                EXPECT_GT(b.outlet, 0.0) << books[k];
            }
            // The event's and the run end's constituent sections.
            balance[k] = without_timing(summary.substr(summary.find("Soil Contaminant Transport Summary for")));
            // Every concentration and mass map, in name order.
            std::vector<std::string> names;
            for (const auto& e : std::filesystem::directory_iterator(dir.file("tracer")))
                names.push_back(e.path().string());
            std::sort(names.begin(), names.end());
            EXPECT_GE(names.size(), 2u);
            for (const std::string& n : names) maps[k] += read_file(n);
        }
        EXPECT_EQ(books[0], books[1]);
        EXPECT_EQ(balance[0], balance[1]);
        EXPECT_TRUE(maps[0] == maps[1]);
    }
}
