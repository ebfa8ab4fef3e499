// Contaminants with a lake of the channel network, through the program: the
// valley whose top rows hold the lake in a pit of the middle column (the
// planes beside it run onto the lake cells, the lake drains into the channel
// below it, straight or over a weir) carries a rain tracer that also starts
// in the channel and the lake and decays. Under each overland scheme the
// constituent balance (rain + initial = outlet + decayed + stored, the lake
// included) closes, every section of the event report and of the run end
// closes, and one and eight threads write the same constituent maps,
// link/node datasets, books and sections.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "conc_e2e_support.h"
#include "output/constituent_summary.h"
#include "constituent_books.h"
#include "fixture.h"
#include "lake_valley.h"
#include "model_run.h"
#include "pluvo_test.h"
#include "run/run_state.h"
#include "valley.h"

using namespace pluvo_test;
using conc_e2e::balance_value;

namespace {

// The valley `c` with one tracer: 10 g/m3 in the rain, 2 g/m3 in the
// channel and the lake at the start, decay 1/day in the cells and 2/day in
// the channel and the lake, dispersion 0.5 m2/s over the cells and 2 m2/s in
// the channel. Returns the summary, or "" when the run failed; `books`
// receives the run's full-precision constituent books and `sections` the
// books of the summary's constituent sections.
std::string run_tracer_valley(const temp_dir& dir, const lake_valley& c, std::string* files, std::string& books,
                              std::vector<section_books>& sections, con_span* run = nullptr) {
    write_lake_valley(dir.path(), c);
    grid_spec g;
    g.rows = c.rows;
    g.cols = c.cols();
    g.cell = c.cell;
    g.north = c.rows * c.cell;
    conc_e2e::write_contaminant_table(dir.path(), g, "10", "0.5 1 0 0 0 0 0 0", "lake_tracer");
    std::string prj = read_file(dir.file("valley.prj"));
    prj += "MAPPING_TABLE table.cmt\nOV_CON_TRANS\nCHAN_CON_TRANS\nALL_CONTAM_OUTPUT\n"
           "CHAN_DISP_COEF 2\nCHAN_DECAY_COEF 2\nINIT_CHAN_CONC 2\nMAP_TYPE 1\n";
    write_file(dir.file("valley.prj"), prj);
    bool ok = false;
    {
        parallel_from_cells many(16);
        ok = run_model_in(dir.path(), "valley.prj", [&](const run_state& rs) {
            books = constituent_balance_text(rs);
            sections = constituent_section_books(rs);
            if (run != nullptr) *run = constituent_run_span(rs, 1);
        });
    }
    EXPECT_TRUE(ok);
    if (!ok) return "";
    const std::string summary = read_file(dir.file("valley.sum"));
    if (files != nullptr) {
        *files = read_file(dir.file("lake_tracer.conc")) + read_file(dir.file("lake_tracer.mass")) +
                 read_file(dir.file("lake_tracer.chan.conc")) +
                 read_file(dir.file("lake_tracer.chan.mass")) + books +
                 without_timing(summary.substr(summary.find("Overland Contaminant Transport Summary")));
    }
    return summary;
}

}  // namespace

TEST(ChannelLakeTracer, BalanceClosesWithTheLakeUnderEachScheme) {
    for (const int overtype : {1, 2, 3}) {
        for (const bool weir : {false, true}) {
            SCOPED_TRACE("OVERTYPE " + std::to_string(overtype) + (weir ? ", weir" : ""));
            lake_valley c;
            c.overtype = overtype;
            c.weir = weir;
            temp_dir dir;
            std::string books;
            std::vector<section_books> sections;
            con_span run;
            const std::string summary = run_tracer_valley(dir, c, nullptr, books, sections, &run);
            ASSERT_FALSE(summary.empty());
            const size_t last = books.find("mass balance, kg:");
            ASSERT_NE(last, std::string::npos) << books;
            const double in = balance_value(books, "initial", last) + balance_value(books, "rain", last);
            ASSERT_GT(in, 0.0) << books;
            EXPECT_NEAR(balance_value(books, "residual", last), 0.0, 1e-9 * in) << books;
            // The sections of the event report and of the run end close too.
            ASSERT_GE(sections.size(), 2u);
            for (const section_books& e : sections)
                EXPECT_NEAR(e.residual, 0.0, 1e-9 * e.in) << e.what << "\n" << summary;
            // As printed: overland, channel and lake sections of the event and
            // the run end, each error line from its terms.
            expect_sections_match_their_terms(summary, 6);
            // Only the lake holds water at the start: 2 g/m3 over its water.
            const double lake0 = c.initial_lake_volume();   // m3
            EXPECT_NEAR(balance_value(books, "initial", last), 2.0 * lake0 / 1000.0, 1e-9) << books;
            // Every path moved mass: the lake holds some, the tracer reached
            // the outlet through it and decayed.
            for (const char* label : {"lakes", "outlet", "decayed", "channel", "rain"})
                EXPECT_GT(balance_value(books, label, last), 0.0) << label << "\n" << books;
            // The lake's own terms: rain on its cells, runoff from the planes
            // beside it, its outflow into the channel and its decay.
            for (double moved : {run.lake_precip, run.ov_to_lake, run.lake_to_chan, run.lake_decay})
                EXPECT_GT(moved, 0.0) << summary;
        }
    }
}

TEST(ChannelLakeTracer, OneAndEightThreadsWriteTheSameFiles) {
    for (const int overtype : {1, 3}) {
        SCOPED_TRACE("OVERTYPE " + std::to_string(overtype));
        std::string files[2];
        for (int k = 0; k < 2; ++k) {
            lake_valley c;
            c.overtype = overtype;
            c.weir = true;
            c.threads = k == 0 ? 1 : 8;
            temp_dir dir;
            std::string books;
            std::vector<section_books> sections;
            ASSERT_FALSE(run_tracer_valley(dir, c, &files[k], books, sections).empty());
        }
        EXPECT_GT(files[0].size(), 1000u);
        EXPECT_TRUE(files[0] == files[1]) << "outputs differ between 1 and 8 threads";
    }
}

// Overland contaminants with a channel-network lake but no channel transport
// would leave the lake's outflow unaccounted: the run stops at set-up.
TEST(ChannelLakeTracer, WithoutChannelTransportTheRunStops) {
    lake_valley c;
    temp_dir dir;
    write_lake_valley(dir.path(), c);
    grid_spec g;
    g.rows = c.rows;
    g.cols = c.cols();
    g.cell = c.cell;
    conc_e2e::write_contaminant_table(dir.path(), g, "10", "0 0 0 0 0 0 0 0", "lake_tracer");
    write_file(dir.file("valley.prj"),
               read_file(dir.file("valley.prj")) + "MAPPING_TABLE table.cmt\nOV_CON_TRANS\n");
    const run_result r = run_pluvo({"valley.prj"}, dir.path());
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("Error: the card ov_con_trans asks for overland contaminant transport "
                         "with channel-network lakes without channel contaminant transport"),
              std::string::npos)
        << r.out;
}

// Channel contaminants alone: the lake and the channel start at 2 g/m3, the
// rain and the land bring nothing, so initial = outlet + decayed + channel +
// lake at each balance, and the lake's mass only falls.
TEST(ChannelLakeTracer, ChannelTransportAloneKeepsTheLakeBalance) {
    lake_valley c;
    c.weir = true;
    temp_dir dir;
    write_lake_valley(dir.path(), c);
    grid_spec g;
    g.rows = c.rows;
    g.cols = c.cols();
    g.cell = c.cell;
    conc_e2e::write_contaminant_table(dir.path(), g, "10", "0 0 0 0 5 0 0 0", "lake_tracer");
    write_file(dir.file("valley.prj"),
               read_file(dir.file("valley.prj")) +
                   "MAPPING_TABLE table.cmt\nCHAN_CON_TRANS\nCHAN_DECAY_COEF 2\nINIT_CHAN_CONC 2\n");
    std::string summary;   // the run's full-precision constituent books
    ASSERT_TRUE(run_model_in(dir.path(), "valley.prj",
                             [&](const run_state& rs) { summary = constituent_balance_text(rs); }));
    const double initial = 2.0 * c.initial_lake_volume() / 1000.0;   // kg
    int blocks = 0;
    for (size_t at = summary.find("mass balance, kg:"); at != std::string::npos;
         at = summary.find("mass balance, kg:", at + 1), ++blocks) {
        EXPECT_NEAR(balance_value(summary, "initial", at), initial, 1e-9) << summary;
        EXPECT_EQ(balance_value(summary, "rain", at), 0.0);
        EXPECT_EQ(balance_value(summary, "overland water", at), 0.0);
        const double lake = balance_value(summary, "lakes", at);
        EXPECT_GT(lake, 0.0);
        EXPECT_LT(lake, initial);
        EXPECT_GT(balance_value(summary, "outlet", at), 0.0) << summary;
        EXPECT_NEAR(balance_value(summary, "outlet", at) + balance_value(summary, "decayed", at) +
                        balance_value(summary, "channel", at) + lake,
                    initial, 1e-9 * initial)
            << summary;
    }
    EXPECT_EQ(blocks, 1) << summary;
}

namespace {

const char* const kNutrientSpecies[9] = {"NO2", "NO3", "NH4", "ON", "OP", "DP", "ALG", "CBOD", "DO"};

// The lake valley `c` with the nine nutrient species and no contaminant:
// species k starts at 1e5 (k + 1) g/m3 over the cells and in the channel and
// the lake, the rain brings none. (The channel corrector stops at an absolute
// change of concentration; at these levels it runs to round-off for every
// species, so the species differ only by their scale.) Returns the run-end constituent books ("" when the run
// failed); `files` gets the species' stream datasets and balances.
std::string run_nutrient_valley(const temp_dir& dir, const lake_valley& c, std::string* files) {
    write_lake_valley(dir.path(), c);
    grid_spec g;
    g.rows = c.rows;
    g.cols = c.cols();
    g.cell = c.cell;
    g.north = c.rows * c.cell;
    write_grid(dir.file("ovid.asc"), g, [](int, int) { return 1.0; }, 0);
    write_file(dir.file("aq.env"),
               "AQUATIC_ENV_NSM10\nOV_MAP ovid.asc\nST_MAP none\nNUM_IDS 1\ntitle\n1\nDEFAULT");
    std::string prj = read_file(dir.file("valley.prj")) +
                      "NUTRIENTS\nAQ_ENV aq.env\nOV_CON_TRANS\nCHAN_CON_TRANS\nCHAN_DISP_COEF 2\n";
    for (int k = 0; k < 9; ++k) {
        const std::string s = kNutrientSpecies[k], value = std::to_string(100000 * (k + 1));
        prj += "OV_INIT_" + s + " " + value + "\nST_INIT_" + s + " " + value + "\nOUT_ST_" + s + " st" + s + "\n";
    }
    write_file(dir.file("valley.prj"), prj);
    std::string books;   // the run's full-precision constituent books at its end
    bool ok = false;
    auto inspect = [&](const run_state& rs) { books = constituent_balance_text(rs); };
    if (c.threads > 1) {
        parallel_from_cells many(16);
        ok = run_model_in(dir.path(), "valley.prj", inspect);
    } else {
        ok = run_model_in(dir.path(), "valley.prj", inspect);
    }
    EXPECT_TRUE(ok);
    if (!ok) return "";
    if (files != nullptr) {
        for (const char* s : kNutrientSpecies)
            *files += read_file(dir.file(std::string("st") + s + ".conc")) +
                      read_file(dir.file(std::string("st") + s + ".mass"));
        *files += books;
    }
    return books;
}

// Starts of the balance blocks of constituent i in a summary, in file order.
std::vector<size_t> constituent_blocks(const std::string& summary, int i) {
    std::vector<size_t> at;
    const std::string key = "Constituent " + std::to_string(i) + " (";
    for (size_t p = summary.find(key); p != std::string::npos; p = summary.find(key, p + 1)) at.push_back(p);
    return at;
}

}  // namespace

// Nutrients with a channel-network lake, straight into the channel and over
// a weir: only the lake holds water at the start, so species k starts with
// 1e5 (k + 1) g/m3 over the lake's water; each species' balance (initial =
// outlet + channel + lake + overland water + in transit) closes to 1e-9 at
// every balance; every item of species k is (k + 1) times NO2's to 1e-9
// relative above a round-off floor of 1e-13 of its initial mass (transport
// never mixes species or treats them differently); one and eight threads
// write the same stream datasets and balances.
TEST(ChannelLakeNutrients, SpeciesBalancesCloseAndStayInProportion) {
    struct run_case {
        bool weir;
        int threads;
    };
    const run_case cases[] = {{false, 1}, {true, 1}, {true, 8}};
    std::string files[3];
    for (int n = 0; n < 3; ++n) {
        SCOPED_TRACE(std::string(cases[n].weir ? "weir" : "straight") + ", threads " +
                     std::to_string(cases[n].threads));
        lake_valley c;
        c.weir = cases[n].weir;
        c.threads = cases[n].threads;
        temp_dir dir;
        const std::string summary = run_nutrient_valley(dir, c, &files[n]);
        ASSERT_FALSE(summary.empty());
        std::vector<size_t> blocks[9];
        for (int k = 0; k < 9; ++k) {
            blocks[k] = constituent_blocks(summary, k + 1);
            ASSERT_EQ(blocks[k].size(), blocks[0].size()) << kNutrientSpecies[k];
        }
        ASSERT_GE(blocks[0].size(), 1u) << summary;
        const double lake0 = c.initial_lake_volume();   // m3
        for (size_t b = 0; b < blocks[0].size(); ++b) {
            for (int k = 0; k < 9; ++k) {
                const size_t at = blocks[k][b];
                const double initial = balance_value(summary, "initial", at);
                EXPECT_NEAR(initial, 1e5 * (k + 1) * lake0 / 1000.0, 1e-12 * initial) << kNutrientSpecies[k];
                EXPECT_EQ(balance_value(summary, "rain", at), 0.0) << kNutrientSpecies[k];
                EXPECT_NEAR(balance_value(summary, "residual", at), 0.0, 1e-9 * initial)
                    << kNutrientSpecies[k] << "\n" << summary.substr(at, 1200);
                for (const char* label : {"initial", "outlet", "overland water", "channel", "in transit", "lakes"}) {
                    const double v0 = balance_value(summary, label, blocks[0][b]);
                    const double vk = balance_value(summary, label, at);
                    EXPECT_NEAR(vk, (k + 1) * v0, 1e-9 * std::fabs(vk) + 1e-13 * initial)
                        << kNutrientSpecies[k] << " " << label << " balance " << b;
                }
            }
            // The lake gave mass to the channel; behind the weir it keeps the
            // water below the crest and so part of each species.
            const double lake = balance_value(summary, "lakes", blocks[0][b]);
            if (c.weir) {
                EXPECT_GT(lake, 0.0);
            }
            EXPECT_LT(lake, 1e5 * lake0 / 1000.0);
            EXPECT_GT(balance_value(summary, "outlet", blocks[0][b]) + balance_value(summary, "channel", blocks[0][b]),
                      0.0);
        }
    }
    EXPECT_GT(files[1].size(), 1000u);
    EXPECT_TRUE(files[1] == files[2]) << "outputs differ between 1 and 8 threads";
}
