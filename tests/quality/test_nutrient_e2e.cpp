// The nutrient sub-model through the program on the bundled valley (two
// planes draining into a channel): nine species that must stay apart, the
// derived totals in the written maps, the mapping-table sections a species
// needs, and the soil pools with infiltration and uptake under rain.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "constituent_books.h"
#include "fixture.h"
#include "model_run.h"
#include "pluvo_test.h"
#include "quality/nutrient_derived.h"
#include "run/run_state.h"
#include "valley.h"

using namespace pluvo_test;

namespace {

const char* const kSpecies[9] = {"no2", "no3", "nh4", "on", "op", "dp", "alg", "cbod", "do"};
const int kCells = 510;   // cells of the valley (30 x 17)

grid_spec valley_grid() {
    grid_spec g;
    g.rows = 30;
    g.cols = 17;
    g.cell = 10.0;
    g.north = 300.0;
    return g;
}

std::string id_row(int id, const std::string& values) {
    char head[8];
    std::snprintf(head, sizeof head, "%-6d", id);
    std::string line = std::string(head) + "row";
    line.resize(86, ' ');
    return line + values + "\n";
}

// The valley project in `dir` with the aquatic environment file and its
// overland ID map; the caller appends cards.
std::string valley_project(const temp_dir& dir) {
    std::filesystem::create_directory(dir.file("out"));
    for (const char* f : {"example.prj", "mask.asc", "elev.asc", "valley.chn", "valley.gst"})
        write_file(dir.file(f), read_file(std::string(PLUVO_EXAMPLES) + "/" + f));
    write_grid(dir.file("ovid.asc"), valley_grid(), [](int, int) { return 1.0; }, 0);
    write_file(dir.file("aq.env"), "AQUATIC_ENV_NSM10\nOV_MAP ovid.asc\nST_MAP none\nNUM_IDS 1\ntitle\n1\nDEFAULT");
    return read_file(dir.file("example.prj")) + "NUTRIENTS\nAQ_ENV aq.env\nOV_CON_TRANS\nSUPER_QUIET\n";
}

// Runs example.prj in `dir` inside the test (loops of `cells` cells and more
// on many threads, 0: the program's thresholds); the run's full-precision
// constituent books, or "" when the run failed; with `sections`, also every
// constituent section's balance over the last event and the run.
std::string run_books(const temp_dir& dir, int cells = 0, std::vector<section_books>* sections = nullptr) {
    std::string books;
    auto inspect = [&](const run_state& rs) {
        books = constituent_balance_text(rs);
        if (sections != nullptr) *sections = constituent_section_books(rs);
    };
    bool ok = false;
    if (cells > 0) {
        parallel_from_cells many(cells);
        ok = run_model_in(dir.path(), "example.prj", inspect);
    } else {
        ok = run_model_in(dir.path(), "example.prj", inspect);
    }
    EXPECT_TRUE(ok);
    return ok ? books : "";
}

// Mapping table giving pools 2..12 then 0..1 the amounts 1..13 kg per cell.
void write_pool_table(const temp_dir& dir) {
    write_grid(dir.file("nsm.idx"), valley_grid(), [](int, int) { return 1.0; }, 0);
    write_file(dir.file("table.cmt"),
               "PLUVO_INDEX_MAP_TABLES\nINDEX_MAP nsm.idx \"Nsm\"\n"
               "NSM_SOIL_N \"Nsm\"\nNUM_IDS 1\nID    DESCRIPTION\n" + id_row(1, "1 2 3 4 5") +
                   "NSM_SOIL_P \"Nsm\"\nNUM_IDS 1\nID    DESCRIPTION\n" + id_row(1, "6 7 8 9 10 11") +
                   "NSM_SOIL_C \"Nsm\"\nNUM_IDS 1\nID    DESCRIPTION\n" + id_row(1, "12 13"));
}

// Value after `label` in the balance block of constituent `i` (NaN when missing).
double balance_value(const std::string& text, int i, const std::string& label) {
    const size_t block = text.rfind("Constituent " + std::to_string(i) + " (");
    if (block == std::string::npos) return std::nan("");
    const size_t at = text.find("  " + label, block);
    if (at == std::string::npos) return std::nan("");
    return std::strtod(text.c_str() + at + 2 + label.size(), nullptr);
}

// Time blocks of an ASCII grid dataset of `cells` cells: the values of each block.
std::vector<std::vector<double>> dataset_blocks(const std::string& text, int cells) {
    std::vector<std::vector<double>> blocks;
    const std::vector<std::string> lines = split_lines(text);
    for (size_t k = 0; k < lines.size(); ++k) {
        if (lines[k].compare(0, 3, "TS ") != 0) continue;
        std::vector<double> v;
        for (size_t m = k + 1 + cells; m < k + 1 + 2 * static_cast<size_t>(cells) && m < lines.size(); ++m)
            v.push_back(std::strtod(lines[m].c_str(), nullptr));
        blocks.push_back(v);
    }
    return blocks;
}

// Node values of every time block of a link/node dataset, in file order.
std::vector<std::vector<double>> linknode_blocks(const std::string& text) {
    std::vector<std::vector<double>> blocks;
    for (const std::string& line : split_lines(text)) {
        if (line.compare(0, 2, "TS") == 0) {
            blocks.emplace_back();
            continue;
        }
        if (blocks.empty() || line.empty()) continue;
        std::istringstream in(line);
        int entries = 0, flag = 0;
        double v = 0.0;
        in >> entries;
        for (int k = 0; k < entries && (in >> flag >> v); ++k) blocks.back().push_back(v);
    }
    return blocks;
}

// Species k is (k + 1) times species 0 in every element of every block, to
// 1e-9 relative beyond the printing (`digits` decimals of each value).
void expect_proportional(const std::vector<std::vector<double>> (&blocks)[9], double digits,
                         const std::string& what) {
    const double half = 0.5 * std::pow(10.0, -digits);
    int compared = 0;
    for (int k = 1; k < 9; ++k) {
        ASSERT_EQ(blocks[k].size(), blocks[0].size()) << what;
        for (size_t t = 0; t < blocks[0].size(); ++t) {
            ASSERT_EQ(blocks[k][t].size(), blocks[0][t].size()) << what;
            for (size_t e = 0; e < blocks[0][t].size(); ++e) {
                const double v0 = blocks[0][t][e], vk = blocks[k][t][e];
                // |vk - (k+1) v0| within 1e-9 of vk and the rounding of both printed values.
                ASSERT_LE(std::fabs(vk - (k + 1) * v0), half * (k + 2) + 1e-9 * std::fabs(vk))
                    << what << " species " << kSpecies[k] << " block " << t << " element " << e;
                if (v0 > 0.0) ++compared;
            }
        }
    }
    EXPECT_GT(compared, 100) << what;
}

}  // namespace

// Nine species at concentrations 1e5 x (k + 1) g/m3 on 5 cm of standing water
// and in the channel (no rain concentration, no soil): each species' balance
// closes to 1e-9 of its initial mass, the concentration of species k stays
// (k + 1) times that of NO2 in every cell and node of every written map and
// link/node block (to 1e-9 relative beyond the printing), the total-N
// map equals NO2 + NO3 + NH4 + ON + un-ionised ammonia of the mass maps, each
// map dataset closes once, and 1 and 8 threads write byte-identical nutrient
// files and balances.
TEST(NutrientProgram, SpeciesStayApartAndThreadsWriteTheSameFiles) {
    std::vector<std::string> files[2];
    for (int t = 0; t < 2; ++t) {
        temp_dir dir;
        std::string prj = valley_project(dir);
        write_grid(dir.file("depth.asc"), valley_grid(), [](int, int) { return 0.05; }, 3);
        write_grid(dir.file("do.asc"), valley_grid(), [](int, int) { return 9e5; }, 1);
        // The program refuses a rain of 0: 1 mm/h for one minute, carrying no nutrient.
        prj += "RAIN_INTENSITY 1\nRAIN_DURATION 1\nOV_INIT_DEPTH depth.asc\nCHAN_CON_TRANS\n"
               "MAP_TYPE 1\nMAP_FREQ 30\nTOTAL_OV_N out/totn\nTOTAL_CHAN_N out/tcn\n"
               "TOTAL_CHAN_KN out/tckn\nTOTAL_CHAN_P out/tcp\nNUM_THREADS " +
               std::string(t == 0 ? "1" : "8") + "\n";
        for (int k = 0; k < 9; ++k) {
            const std::string s = kSpecies[k];
            const std::string value = std::to_string(100000 * (k + 1));
            std::string up = s;
            for (char& ch : up) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
            // DO from a map file, the others uniform.
            prj += "OV_INIT_" + up + " " + (k == 8 ? std::string("do.asc") : value) + "\n";
            prj += "ST_INIT_" + up + " " + value + "\n";
            prj += "OUT_OV_" + up + " out/" + s + "\nOUT_ST_" + up + " out/" + s + "st\n";
            prj += "OUT_HYD_" + up + " out/" + s + "h\n";
        }
        prj = std::string(prj).replace(prj.find("RAIN_INTENSITY 50"), 18, "");
        prj = std::string(prj).replace(prj.find("RAIN_DURATION 60"), 17, "");
        write_file(dir.file("example.prj"), prj);
        const std::string summary = run_books(dir, 64);   // the run's constituent books
        ASSERT_FALSE(summary.empty());
        const std::string written = read_file(dir.file("out/valley.sum"));

        for (int k = 0; k < 9; ++k) {
            const int i = k + 1;   // no contaminant: the species are constituents 1..9
            const double initial = balance_value(summary, i, "initial");
            EXPECT_NEAR(initial, 1e5 * (k + 1) * 0.05 * 100.0 * kCells / 1000.0, 1e-9 * initial) << kSpecies[k];
            EXPECT_NEAR(balance_value(summary, i, "residual"), 0.0, 1e-9 * initial) << kSpecies[k];
            EXPECT_GT(balance_value(summary, i, "outlet"), 0.0) << kSpecies[k];
            EXPECT_GT(balance_value(summary, i, "channel"), 0.0) << kSpecies[k];
        }
        std::vector<std::vector<double>> conc_maps[9], node_conc[9], mass_maps[9];
        for (int k = 0; k < 9; ++k) {
            const std::string s = kSpecies[k];
            conc_maps[k] = dataset_blocks(read_file(dir.file("out/" + s + ".conc")), kCells);
            mass_maps[k] = dataset_blocks(read_file(dir.file("out/" + s + ".mass")), kCells);
            node_conc[k] = linknode_blocks(read_file(dir.file("out/" + s + "st.conc")));
        }
        ASSERT_GE(conc_maps[0].size(), 6u);
        ASSERT_GE(node_conc[0].size(), 6u);
        expect_proportional(conc_maps, 6, "overland concentration maps");
        expect_proportional(node_conc, 5, "stream concentration datasets");

        // Total N of the cells from the mass maps (g): nh3 at 0 deg C and pH 7.2.
        const std::vector<std::vector<double>> totn = dataset_blocks(read_file(dir.file("out/totn")), kCells);
        ASSERT_EQ(totn.size(), mass_maps[0].size());
        const double depth_volume = 0.05 * 100.0;
        int wet = 0;
        for (size_t b = 0; b < totn.size(); ++b) {
            for (int e = 0; e < kCells; ++e) {
                double sum = 0.0;
                for (int k = 0; k <= 3; ++k) sum += mass_maps[k][b][e];
                // Where water stands the ammonia follows from the NH4 mass;
                // mass / concentration gives the water volume.
                const double nh4 = mass_maps[2][b][e], c = conc_maps[2][b][e];
                const double volume = c > 0.0 ? nh4 / c : 0.0;
                const double nh3 = unionised_ammonia(nh4, volume, ammonium_ka(0.0), hydrogen_ion(7.2),
                                                     kNh3MinMolarLand);
                if (volume > 1e-3 * depth_volume) ++wet;
                ASSERT_NEAR(totn[b][e], sum + nh3, 1e-6 * (sum + nh3) + 1e-5) << "block " << b << " cell " << e;
            }
        }
        EXPECT_GT(wet, kCells);
        EXPECT_GT(count_of(read_file(dir.file("out/tcn")), "TS"), 5);
        // One outlet row per hydrograph interval (1 min over 180 min).
        EXPECT_GE(split_lines(read_file(dir.file("out/no2h.mass"))).size(), 180u);

        // Each map dataset ends with one closing mark; link/node files get none.
        for (const std::string f : {"no2.conc", "do.mass", "totn"}) {
            const std::string text = read_file(dir.file("out/" + f));
            EXPECT_EQ(count_of(text, "ENDDS"), 1) << f;
            EXPECT_EQ(text.substr(text.size() - 6), "ENDDS\n") << f;
        }
        for (const std::string f : {"no2st.conc", "tcn", "tckn"})
            EXPECT_EQ(count_of(read_file(dir.file("out/" + f)), "ENDDS"), 0) << f;

        for (int k = 0; k < 9; ++k) {
            const std::string s = kSpecies[k];
            for (const std::string& f : {s + ".conc", s + ".mass", s + "st.conc", s + "st.mass", s + "h.conc",
                                         s + "h.mass"})
                files[t].push_back(read_file(dir.file("out/" + f)));
        }
        for (const char* f : {"out/totn", "out/tcn", "out/tckn", "out/tcp"}) files[t].push_back(read_file(dir.file(f)));
        files[t].push_back(summary);
        files[t].push_back(without_timing(written.substr(written.find("Overland Contaminant Transport Summary"))));
    }
    ASSERT_EQ(files[0].size(), files[1].size());
    for (size_t f = 0; f < files[0].size(); ++f) EXPECT_TRUE(files[0][f] == files[1][f]) << "file " << f;
}

// A species read from the mapping table needs the section that holds it:
// with only NSM_OTH in the table, Algae takes its column (initial mass =
// sum of class concentration x 1 cm x 100 m2, to 1e-12), Organic P stops the
// run with the catalogue's message.
TEST(NutrientProgram, MappingTableSectionsPerSpecies) {
    for (int with_op = 0; with_op < 2; ++with_op) {
        temp_dir dir;
        std::string prj = valley_project(dir);
        write_grid(dir.file("nsm.idx"), valley_grid(), [](int r, int) { return r <= 15 ? 1.0 : 2.0; }, 0);
        // Groundwater DO and a column for a soil pool this run does not have.
        write_file(dir.file("table.cmt"), "PLUVO_INDEX_MAP_TABLES\nINDEX_MAP nsm.idx \"Nsm\"\nNSM_OTH \"Nsm\"\n"
                                          "NUM_IDS 2\nID    DESCRIPTION\n" +
                                              id_row(1, "5 6 7") + id_row(2, "50 60 70") +
                                              "NSM_GW_OTH \"Nsm\"\nNUM_IDS 2\nID    DESCRIPTION\n" +
                                              id_row(1, "1 2") + id_row(2, "3 4"));
        write_grid(dir.file("depth.asc"), valley_grid(), [](int, int) { return 0.01; }, 3);
        prj += "MAPPING_TABLE table.cmt\nOV_INIT_DEPTH depth.asc\nOV_INIT_ALG\nTOT_TIME 1\n";
        if (with_op) prj += "OV_INIT_OP\n";
        write_file(dir.file("example.prj"), prj);
        if (with_op) {
            const run_result r = run_pluvo({"example.prj"}, dir.path());
            EXPECT_NE(r.status, 0);
            EXPECT_NE(r.out.find("Error: Nutrient constituent to use mapping table for input value but no "
                                 "mapping table exists (Grid): Organic Phosphorous (Organic P)"),
                      std::string::npos)
                << r.out;
            continue;
        }
        const std::string books = run_books(dir);
        ASSERT_FALSE(books.empty());
        const std::string summary = read_file(dir.file("out/valley.sum"));
        EXPECT_NE(summary.find("Assigning parameters for the Algae constituent from the mapping table."),
                  std::string::npos);
        // Cells of rows 1-15 hold class 1 (5 g/m3), the rest class 2 (50 g/m3).
        const double initial = (255 * 5.0 + 255 * 50.0) * 0.01 * 100.0 / 1000.0;   // kg
        EXPECT_NEAR(balance_value(books, 7, "initial"), initial, 1e-12 * initial);
    }
}

// Soil pools under Green-Ampt with rain: the pools start from the mapping
// table (kg per cell), the rain frees part of five of them into the water,
// infiltration hands the species back; every one of the 13 constituents of
// the block balances to 1e-9 of what it started with and what crossed.
TEST(NutrientProgram, SoilPoolsBalanceWithUptakeAndInfiltration) {
    temp_dir dir;
    std::string prj = valley_project(dir);
    write_pool_table(dir);
    const struct {
        const char* card;
        const char* file;
        double value;
    } soils[] = {{"CONDUCTIVITY", "ks.asc", 0.5}, {"CAPILLARY", "hc.asc", 10.0},
                 {"POROSITY", "por.asc", 0.45}, {"MOISTURE", "moist.asc", 0.2}};
    for (const auto& m : soils) {
        write_grid(dir.file(m.file), valley_grid(), [&](int, int) { return m.value; }, 3);
        prj += std::string(m.card) + " " + m.file + "\n";
    }
    prj += "GREEN_AMPT\nSOIL_CON_TRANS\nSOIL_MOIST_DEPTH 10\nMAPPING_TABLE table.cmt\nSOILS_NSM_N\nSOILS_NSM_P\n"
           "SOILS_NSM_C\nCHAN_CON_TRANS\nOV_INIT_NO3 2\nST_INIT_NO3 2\n";
    write_file(dir.file("example.prj"), prj);
    std::vector<section_books> sections;
    const std::string summary = run_books(dir, 0, &sections);   // the run's constituent books
    ASSERT_FALSE(summary.empty());
    // Each section of every species and pool, over the event and the run,
    // counts the uptake and the hand-over on both sides.
    ASSERT_GE(sections.size(), 13u * 2u);
    for (const section_books& e : sections)
        EXPECT_NEAR(e.residual, 0.0, 1e-9 * e.in) << e.what << "\n" << summary;
    const std::string written = read_file(dir.file("out/valley.sum"));
    expect_sections_match_their_terms(written, 13 * 2 + 9 * 4);
    // The pools' soil sections show what they gave to the water and took in
    // from it, and the species' overland sections what they gained.
    for (const char* line : {"Uptake from soil (NSM)        ", "Mass added by infiltration    ",
                             "Mass gained from NSM kinetics   "}) {
        size_t at = written.find(line), shown = 0;
        for (; at != std::string::npos; at = written.find(line, at + 1))
            if (std::strtod(written.c_str() + at + std::string(line).size(), nullptr) > 0.0) ++shown;
        EXPECT_GT(shown, 0u) << line << "\n" << written;
    }
    // Pools 2..12 then 0..1 hold 1..13 kg per cell: pool p = constituent p + 1.
    const double pool_kg[13] = {12, 13, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    for (int p = 0; p < 13; ++p) {
        const int i = p + 1;
        const double initial = balance_value(summary, i, "initial");
        const double crossed = balance_value(summary, i, "from the other side");
        EXPECT_GE(initial, pool_kg[p] * kCells - 1e-9) << "constituent " << i;
        EXPECT_NEAR(balance_value(summary, i, "residual"), 0.0, 1e-9 * (initial + crossed)) << "constituent " << i;
    }
    // The five uptake pairs moved mass: species NH4 3, NO3 2, ON 4, DP 6, OP 5 gained from the pools.
    for (int i : {2, 3, 4, 5, 6})
        EXPECT_GT(balance_value(summary, i, "from the other side"), 0.0) << "constituent " << i << "\n" << summary;
    // The carbon pools (constituents 1 and 2 hold pools 0 and 1) keep their mass.
    EXPECT_NEAR(balance_value(summary, 1, "soil pool"), 12.0 * kCells, 1e-9 * 12.0 * kCells);
    EXPECT_NEAR(balance_value(summary, 2, "soil pool"), 13.0 * kCells, 1e-9 * 13.0 * kCells);
}

// Soil pools over soil columns of layers: layered Green-Ampt (2 + 3 cm over
// a slow third layer) and Richards columns (three 4-cm layers of 2-cm nodes
// of a slow soil), both ponding under the valley's rain. Every one of the 13
// constituents balances to 1e-9 with the pools counted over the whole
// column; what the water took up from pool 8 is what the DP species gained
// and is all that pool 8 lost besides the DP handed back to it; the NO3 that
// infiltrates reaches its pool; the pools that no pair touches keep their
// mass exactly; 1 and 8 threads print the same balances and write the same
// species maps; every constituent section of the summaries closes.
TEST(NutrientProgram, SoilPoolsOverLayeredColumnsBalance) {
    const struct {
        const char* name;
        const char* table;   // soil table file
        const char* cards;   // method cards
    } methods[] = {
        {"layered Green-Ampt",
         "1\nsoils\n1\n"
         "1.0 0.3 11.0 0.45 0.3 0.1 0.05 0.15 2.0\n"
         "3.0 0.3 5.0 0.40 0.3 0.1 0.05 0.25 3.0\n"
         "0.2 0.3 20.0 0.35 0.3 0.1 0.05 0.20\n",
         "INF_LAYERED_SOIL\n"},
        {"Richards",
         "1\n0\n1\n"
         "0.5 0.287 0.075 0.09985 0.08 0.15 4 36.936 3.96 1.175e6 4.74 2\n"
         "0.5 0.287 0.075 0.09985 0.08 0.15 4 36.936 3.96 1.175e6 4.74 2\n"
         "0.5 0.287 0.075 0.09985 0.08 0.15 4 36.936 3.96 1.175e6 4.74 2\n",
         "INF_RICHARDS\nRICHARDS_C_OPTION havercamp\n"},
    };
    // Pools 2..12 then 0..1 hold 1..13 kg per cell; pool p is in constituent p + 1.
    const double pool_kg[13] = {12, 13, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    for (const auto& m : methods) {
        SCOPED_TRACE(m.name);
        std::string balances[2], maps[2];
        for (int t = 0; t < 2; ++t) {
            temp_dir dir;
            std::string prj = valley_project(dir);
            write_pool_table(dir);
            write_grid(dir.file("soil.asc"), valley_grid(), [](int, int) { return 1.0; }, 0);
            write_file(dir.file("soils.txt"), m.table);
            prj += std::string(m.cards) +
                   "SOIL_TYPE_MAP soil.asc\nSOIL_LAYER_INPUT_FILE soils.txt\nSOIL_CON_TRANS\n"
                   "MAPPING_TABLE table.cmt\nSOILS_NSM_N\nSOILS_NSM_P\nSOILS_NSM_C\nCHAN_CON_TRANS\n"
                   "OV_INIT_NO3 2\nST_INIT_NO3 2\nMAP_TYPE 1\nMAP_FREQ 30\nOUT_OV_NO3 out/no3\nOUT_OV_DP out/dp\n"
                   "OUT_OV_NH4 out/nh4\n"
                   "NUM_THREADS " + std::string(t == 0 ? "1" : "8") + "\n";
            write_file(dir.file("example.prj"), prj);
            std::vector<section_books> sections;
            const std::string summary = run_books(dir, 64, &sections);   // the run's constituent books
            ASSERT_FALSE(summary.empty());
            // The summaries' sections count the pools over the whole column.
            ASSERT_GE(sections.size(), 13u * 2u);
            for (const section_books& e : sections) EXPECT_NEAR(e.residual, 0.0, 1e-9 * e.in) << e.what;
            expect_sections_match_their_terms(read_file(dir.file("out/valley.sum")), 13 * 2 + 9 * 4);
            for (int p = 0; p < 13; ++p) {
                const int i = p + 1;
                const double initial = balance_value(summary, i, "initial");
                const double crossed = balance_value(summary, i, "from the other side");
                EXPECT_GE(initial, pool_kg[p] * kCells - 1e-9) << "constituent " << i;
                EXPECT_NEAR(balance_value(summary, i, "residual"), 0.0, 1e-9 * (initial + crossed))
                    << "constituent " << i << "\n" << summary;
            }
            // Pool 8 (constituent 9, beside DO, which has no pool) gives only
            // to DP (constituent 6, beside pool 5, which nothing fills).
            const double taken = balance_value(summary, 9, "to the other side");
            EXPECT_GT(taken, 0.0) << summary;
            EXPECT_NEAR(balance_value(summary, 6, "from the other side"), taken, 1e-12 * pool_kg[8] * kCells);
            const double handed_dp = balance_value(summary, 9, "from the other side");
            EXPECT_NEAR(balance_value(summary, 9, "soil pool"), pool_kg[8] * kCells + handed_dp - taken,
                        1e-12 * pool_kg[8] * kCells);
            // NO3 (constituent 2, beside pool 1, which gives nothing) went into the ground.
            EXPECT_GT(balance_value(summary, 2, "to the other side"), 0.0) << summary;
            // Carbon pools and the pools outside the five pairs.
            for (int p : {0, 1, 5, 6, 7, 9, 11, 12})
                EXPECT_NEAR(balance_value(summary, p + 1, "soil pool"), pool_kg[p] * kCells,
                            1e-12 * pool_kg[p] * kCells)
                    << "pool " << p;
            balances[t] = summary.substr(summary.find("Constituent 1 ("));
            for (const char* f : {"no3", "dp", "nh4"})
                for (const char* kind : {".conc", ".mass"})
                    maps[t] += read_file(dir.file(std::string("out/") + f + kind));
        }
        EXPECT_EQ(balances[0], balances[1]);
        EXPECT_GT(maps[0].size(), 1000u);
        EXPECT_TRUE(maps[0] == maps[1]);
    }
}

// Contaminants come first: with one contaminant the species are constituents
// 2..10 under their own names, the contaminant outputs stay the
// contaminant's, and both balances close.
TEST(NutrientProgram, ContaminantsComeFirst) {
    temp_dir dir;
    std::string prj = valley_project(dir);
    write_grid(dir.file("con.idx"), valley_grid(), [](int, int) { return 1.0; }, 0);
    write_file(dir.file("table.cmt"), "PLUVO_INDEX_MAP_TABLES\nINDEX_MAP con.idx \"Con\"\n"
                                      "CONTAMINANT_TRANSPORT\nNUM_CONTAM 1\n\"Tracer\" \"Con\" \"out/tracer\"\n"
                                      "PRECIP_CONC 10\nNUM_IDS 1\nID    DESCRIPTION\n" +
                                          id_row(1, "0 0 0 0 0 0 0 0"));
    write_grid(dir.file("depth.asc"), valley_grid(), [](int, int) { return 0.01; }, 3);
    prj += "MAPPING_TABLE table.cmt\nALL_CONTAM_OUTPUT\nCHAN_CON_TRANS\nOV_INIT_DEPTH depth.asc\nOV_INIT_NO3 4\n"
           "ST_INIT_NO3 4\nMAP_TYPE 1\n";
    write_file(dir.file("example.prj"), prj);
    const std::string summary = run_books(dir);   // the run's constituent books
    ASSERT_FALSE(summary.empty());
    EXPECT_NE(summary.find("Constituent 1 (Tracer)"), std::string::npos);
    EXPECT_NE(summary.find("Constituent 3 (Nitrate (NO3-))"), std::string::npos);
    EXPECT_NE(summary.find("Constituent 10 (Dissolved Oxygen (O2))"), std::string::npos);
    EXPECT_EQ(summary.find("Constituent 11 ("), std::string::npos);
    EXPECT_TRUE(file_exists(dir.file("out/tracer.conc")));
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        EXPECT_EQ(e.path().filename().string().find("contam_"), std::string::npos) << e.path();
    for (int i : {1, 3}) {
        const double in = balance_value(summary, i, "initial") + balance_value(summary, i, "rain");
        EXPECT_GT(in, 0.0) << i;
        EXPECT_NEAR(balance_value(summary, i, "residual"), 0.0, 1e-9 * in) << i;
    }
}

// The nutrient card switches the overland transport on itself: without
// OV_CON_TRANS and without a contaminant table (only the aquatic environment
// file, CHAN_CON_TRANS and initial concentrations) the species are
// constituents 1..9, travel from the cells into the channel and out, every
// section of every species closes to 1e-9 of what came in, and 1 and 8
// threads book the same masses.
TEST(NutrientProgram, NutrientsAloneCarryTheirSpeciesOverland) {
    std::string books[2];
    for (int t = 0; t < 2; ++t) {
        temp_dir dir;
        std::string prj = valley_project(dir);
        prj.replace(prj.find("OV_CON_TRANS\n"), 13, "");
        prj.replace(prj.find("TOT_TIME 180"), 12, "TOT_TIME 30");
        prj.replace(prj.find("RAIN_DURATION 60"), 16, "RAIN_DURATION 20");
        write_grid(dir.file("depth.asc"), valley_grid(), [](int, int) { return 0.01; }, 3);
        prj += "CHAN_CON_TRANS\nOV_INIT_DEPTH depth.asc\nOV_INIT_NO3 4\nOV_INIT_OP 2\nST_INIT_NO3 4\n";
        write_file(dir.file("example.prj"), prj);
        std::vector<section_books> sections;
        books[t] = run_books(dir, t == 0 ? 0 : 64, &sections);
        ASSERT_FALSE(books[t].empty());
        EXPECT_NE(books[t].find("Constituent 2 (Nitrate (NO3-))"), std::string::npos) << books[t];
        EXPECT_EQ(books[t].find("Constituent 10 ("), std::string::npos);
        ASSERT_GE(sections.size(), 9u * 4u);
        for (const section_books& e : sections) EXPECT_NEAR(e.residual, 0.0, 1e-9 * e.in) << e.what;
        for (int i : {2, 5}) {   // NO3 and organic P
            const double initial = balance_value(books[t], i, "initial");
            EXPECT_GT(initial, 0.0) << i;
            EXPECT_GT(balance_value(books[t], i, "outlet"), 0.0) << i;
            EXPECT_NEAR(balance_value(books[t], i, "residual"), 0.0, 1e-9 * initial) << i;
        }
    }
    EXPECT_EQ(books[0], books[1]);
}

// Nutrient inputs that cannot be used stop the run with a message naming
// what is wrong.
TEST(NutrientProgram, BadNutrientProjectsStop) {
    const struct {
        const char* what;
        const char* remove;   // card line taken out of the project, or ""
        const char* add;      // cards appended
        const char* message;
    } cases[] = {
        {"aquatic environment file missing", "AQ_ENV aq.env\n", "AQ_ENV none.env\n",
         "unable to open the aquatic environment file none.env"},
        {"overland map missing", "", "OV_INIT_NO3 none.asc\n",
         "Error: Unable to open the nutrient file none.asc"},
        {"stream species from a stream table the run has not", "", "CHAN_CON_TRANS\nST_INIT_OP\n",
         "no mapping table exists (Stream): Organic Phosphorous (Organic P)"},
    };
    for (const auto& k : cases) {
        temp_dir dir;
        std::string prj = valley_project(dir);
        if (k.remove[0]) prj.replace(prj.find(k.remove), std::string(k.remove).size(), "");
        prj += k.add;
        write_file(dir.file("example.prj"), prj);
        const run_result r = run_pluvo({"example.prj"}, dir.path());
        EXPECT_NE(r.status, 0) << k.what;
        EXPECT_NE(r.out.find(k.message), std::string::npos) << k.what << "\n" << r.out;
    }
}
