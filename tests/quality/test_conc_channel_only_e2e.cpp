// Channel contaminants without overland ones through the program: on the
// bundled valley the channel starts at a concentration, decays and drains;
// the cells carry nothing, so the lateral inflow brings no mass and
// initial = outlet + decayed + channel closes at the event end and the run
// end. Without a mapping table naming the contaminants the run stops.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "conc_e2e_support.h"
#include "model_run.h"
#include "run/run_state.h"
#include "fixture.h"
#include "pluvo_test.h"
#include "valley.h"

using namespace pluvo_test;
using conc_e2e::balance_value;

namespace {

// The bundled valley in `dir` with the cards `extra` appended.
void write_valley(const temp_dir& dir, const std::string& extra) {
    std::filesystem::create_directory(dir.file("out"));
    for (const char* f : {"example.prj", "mask.asc", "elev.asc", "valley.chn", "valley.gst"})
        write_file(dir.file(f), read_file(std::string(PLUVO_EXAMPLES) + "/" + f));
    write_file(dir.file("example.prj"), read_file(dir.file("example.prj")) + extra);
}

}  // namespace

TEST(ChannelOnlyContaminant, ChannelMassDecaysAndDrainsWhileTheCellsCarryNone) {
    temp_dir dir;
    grid_spec g;
    g.rows = 30;
    g.cols = 17;
    g.cell = 10.0;
    g.north = 300.0;
    // Rain at 10 g/m3 and cells at 3 g/m3 in the table: neither reaches the channel.
    conc_e2e::write_contaminant_table(dir.path(), g, "10", "0.5 1 0 0 3 0 0 0", "chan_tracer");
    // Every node starts about 0.5 m deep (its bed lies at 100.475 - 0.05 (k - 1) m).
    std::string hot;
    for (int node = 1; node <= 31; ++node)
        hot += "1 " + std::to_string(node) + " " + fixed(100.975 - 0.05 * (node - 1)) + "\n";
    write_file(dir.file("hs.dht"), hot);
    write_file(dir.file("hs.qht"), "");
    write_valley(dir, "MAPPING_TABLE table.cmt\nCHAN_CON_TRANS\nALL_CONTAM_OUTPUT\n"
                      "CHAN_DISP_COEF 2\nCHAN_DECAY_COEF 2\nINIT_CHAN_CONC 5\nSUPER_QUIET\n"
                      "READ_CHAN_HOTSTART hs\nHOTSTART_IS_DEPTH\n");
    std::string books;   // the run's full-precision constituent books
    ASSERT_TRUE(run_model_in(dir.path(), "example.prj",
                             [&](const run_state& rs) { books = constituent_balance_text(rs); }));
    const std::string summary = read_file(dir.file("out/valley.sum"));
    // The channel water of the start (m3, two decimals) at 5 g/m3.
    const size_t v0 = summary.find("Initial volume in channels=");
    ASSERT_NE(v0, std::string::npos) << summary;
    const double volume = std::strtod(summary.c_str() + v0 + 27, nullptr);
    ASSERT_GT(volume, 380.0);
    int blocks = 0;
    for (size_t at = books.find("mass balance, kg:"); at != std::string::npos;
         at = books.find("mass balance, kg:", at + 1), ++blocks) {
        const double initial = balance_value(books, "initial", at);
        ASSERT_NEAR(initial, volume * 5.0 / 1000.0, 0.005 * 5.0 / 1000.0) << books;
        EXPECT_EQ(balance_value(books, "rain", at), 0.0);
        EXPECT_EQ(balance_value(books, "overland water", at), 0.0);
        EXPECT_EQ(balance_value(books, "in transit", at), 0.0);
        EXPECT_GT(balance_value(books, "outlet", at), 0.0);
        EXPECT_GT(balance_value(books, "decayed", at), 0.0);
        const double stored = balance_value(books, "channel", at);
        EXPECT_NEAR(balance_value(books, "outlet", at) + balance_value(books, "decayed", at) + stored -
                        balance_value(books, "raised from negative", at),
                    initial, 1e-9 * initial)
            << books;
        EXPECT_NEAR(balance_value(books, "residual", at), 0.0, 1e-9 * initial);
    }
    EXPECT_EQ(blocks, 1) << books;
    EXPECT_TRUE(file_exists(dir.file("out/chan_tracer.chan.conc")));
    EXPECT_FALSE(file_exists(dir.file("out/chan_tracer.conc")));
}

TEST(ChannelOnlyContaminant, WithoutAContaminantTableTheRunStops) {
    temp_dir dir;
    write_valley(dir, "CHAN_CON_TRANS\n");
    const run_result r = run_pluvo({"example.prj"}, dir.path());
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("Error: the card chan_con_trans without ov_con_trans carries the "
                         "contaminants of the CONTAMINANT_TRANSPORT section"),
              std::string::npos)
        << r.out;
}
