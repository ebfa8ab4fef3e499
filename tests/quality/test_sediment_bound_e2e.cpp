// Sediment-bound contaminants through the program: a valley of two eroding
// planes over a soil layer that holds a contaminant drains into a channel.
// Eroded sediment carries the layer's sorbed mass into the water, the cells
// and the channel nodes split it between water and sediment, and sediment
// and water carry it to the outlet. The contaminant balance closes with the
// sorbed stores, also with a lake of the channel network in the valley, and
// every constituent section of the summaries closes; 1 and 8 threads write
// the same files.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "constituent_books.h"
#include "fixture.h"
#include "model_run.h"
#include "pluvo_test.h"
#include "run/run_state.h"
#include "valley.h"

using namespace pluvo_test;

namespace {

constexpr int kRows = 10;
constexpr int kHalf = 3;
constexpr double kCell = 20.0;
constexpr double kValleySlope = 0.005;
constexpr double kSideSlope = 0.03;
constexpr double kLayerConc = 30.0;   // contaminant on the layer's solids, mg/kg

std::string id_row(int id, const std::string& values) {
    char head[8];
    std::snprintf(head, sizeof head, "%-6d", id);
    std::string line = std::string(head) + "row";
    line.resize(86, ' ');
    return line + values + "\n";
}

// Mapping table: three size classes (0.01 and 0.1 mm wash load, 1 mm sand)
// with binding flags `fbind`, one soil, and contaminant "Tracer" with
// water-sediment Kd `kd` (l/kg), `precip` g/m3 in the rain, soil Kd 2 l/kg
// and the layer (or, without soil constituents, the land) at kLayerConc.
void write_table(const std::string& dir, const grid_spec& g, const std::string fbind[3],
                 const std::string& kd, const std::string& precip) {
    write_grid(dir + "/soil.idx", g, [](int, int) { return 1.0; }, 0);
    write_grid(dir + "/con.idx", g, [](int, int) { return 1.0; }, 0);
    std::string d(40, ' ');
    d.replace(0, 5, "class");
    std::string row = "1     row";
    row.resize(86, ' ');
    write_file(dir + "/table.cmt",
               "PLUVO_INDEX_MAP_TABLES\nINDEX_MAP soil.idx Soil\nINDEX_MAP con.idx \"Con\"\n"
               "SEDIMENTS\nNUM_SED 3\nDescription SG D(mm) fbind file\n" +
                   d + "2.65 0.01 " + fbind[0] + " silt.out\n" + d + "2.65 0.1 " + fbind[1] +
                   " fine.out\n" + d + "2.65 1.0 " + fbind[2] +
                   " sand.out\nSOIL_EROSION_PROPS Soil\nNUM_IDS 1\nNUM_SED 3\nID title\n" + row +
                   "100 1 0.002 0 1 0.4 0.3 0.3\n"
                   "CONTAMINANT_TRANSPORT\nNUM_CONTAM 1\n\"Tracer\" \"Con\" \"tracer\"\n"
                   "PRECIP_CONC " + precip + "\nPARTITION " + kd + "\nNUM_IDS 1\nID    DESCRIPTION\n" +
                   id_row(1, "0.2 0 0 " + fixed(kLayerConc, 1) + " 0 0 2 0"));
}

// The valley (10 rows of 7 cells of 20 m, channel down the middle) over
// Green-Ampt soil with a 0.3 m constituent layer (`soil`), eroding under 50 mm/h.
void write_case(const std::string& dir, int threads, const std::string fbind[3],
                const std::string& kd, bool channel_constituents = true, bool soil = true,
                const std::string& precip = "0") {
    grid_spec g;
    g.rows = kRows;
    g.cols = 2 * kHalf + 1;
    g.cell = kCell;
    g.north = kRows * kCell;
    const int mid = kHalf + 1;
    write_grid(dir + "/mask.asc", g, [](int, int) { return 1.0; }, 0);
    write_grid(dir + "/elev.asc", g,
               [&](int r, int c) {
                   return 100.0 + kValleySlope * kCell * (kRows - r) +
                          kSideSlope * kCell * std::abs(c - mid);
               },
               6);
    write_valley_channel(dir, kRows, mid, kCell, kValleySlope);
    // An erodible trapezoid with 0.3 m of bed material.
    std::string chan = read_file(dir + "/valley.chn");
    chan.replace(chan.find("TRAPEZOID"), 9, "TRAP_ERODE");
    const std::string bank = "BANKFULL_DEPTH 1.0\n";
    chan.insert(chan.find(bank) + bank.size(), "MAX_EROSION 0.3\n");
    write_file(dir + "/valley.chn", chan);
    write_table(dir, g, fbind, kd, precip);
    project_file p = valley_project({kRows, g.cols, kCell, mid, kValleySlope, 60, 5.0, 50.0, 30});
    const struct {
        const char* card;
        const char* file;
        double value;
    } soils[] = {{"CONDUCTIVITY", "ks.asc", 0.2}, {"CAPILLARY", "hc.asc", 10.0},
                 {"POROSITY", "por.asc", 0.45}, {"MOISTURE", "moist.asc", 0.2}};
    for (const auto& s : soils) {
        write_grid(dir + "/" + s.file, g, [&](int, int) { return s.value; }, 3);
        p.card(s.card, s.file);
    }
    p.card("SUPER_QUIET")
        .card("NUM_THREADS", std::to_string(threads))
        .card("GREEN_AMPT")
        .card("MAPPING_TABLE", "table.cmt")
        .card("SOIL_EROSION", "1")
        .card("OUTLET_SED_FLUX", "sed.out")
        .card("SAND_SIZE", "0.5")
        .card("WATER_TEMP", "20")
        .card("SED_POROSITY", "0.4")
        .card("OV_CON_TRANS")
        .card("SEDIMENT_CONTAM");
    if (soil) p.card("SOIL_CON_TRANS").card("SOIL_MOIST_DEPTH", "0.3");
    if (channel_constituents) p.card("CHAN_CON_TRANS").card("CHAN_DISP_COEF", "1");
    p.write(dir + "/valley.prj");
}

// Runs the case in `dir` inside the test; `books` receives the run's
// full-precision constituent books, `sections` the books of the summary's
// constituent sections. False when the run failed.
bool run_books(const temp_dir& dir, std::string& books, std::vector<section_books>* sections = nullptr) {
    parallel_from_cells many(16);
    return run_model_in(dir.path(), "valley.prj", [&](const run_state& rs) {
        books = constituent_balance_text(rs);
        if (sections != nullptr) *sections = constituent_section_books(rs);
    });
}

// Value after `label` in the last constituent balance of a text.
double balance_value(const std::string& text, const std::string& label) {
    const size_t block = text.rfind("mass balance, kg:");
    if (block == std::string::npos) return std::nan("");
    const size_t at = text.find("  " + label, block);
    if (at == std::string::npos) return std::nan("");
    return std::strtod(text.c_str() + at + 2 + label.size(), nullptr);
}

const std::string kAllSorb[3] = {"0.0", "0.0", "0.0"};

// Writes the case with `write` (threads, class flags, Kd) for 1 and for 8
// threads, runs both with maps and channel datasets, and expects the sediment
// series, hydrograph, contaminant maps, channel datasets and summary to be
// byte for byte the same.
void expect_same_files_on_one_and_eight_threads(
    void (*write)(const std::string&, int, const std::string[3], const std::string&)) {
    temp_dir one, eight;
    write(one.path(), 1, kAllSorb, "50");
    write(eight.path(), 8, kAllSorb, "50");
    for (temp_dir* d : {&one, &eight}) {
        write_file(d->file("valley.prj"), read_file(d->file("valley.prj")) +
                                              "ALL_CONTAM_OUTPUT\nMAP_TYPE 1\nMAP_FREQ 10\n");
        const run_result r = run_pluvo({"valley.prj"}, d->path(), "", {parallel_from_cells_env(16)});
        ASSERT_EQ(r.status, 0) << r.out << r.err;
    }
    for (const char* name : {"sed.out", "valley.otl", "tracer.conc", "tracer.mass",
                             "tracer.chan.conc", "tracer.chan.mass"}) {
        ASSERT_TRUE(file_exists(one.file(name))) << name;
        EXPECT_EQ(read_file(one.file(name)), read_file(eight.file(name))) << name;
    }
    EXPECT_EQ(without_timing(read_file(one.file("valley.sum"))),
              without_timing(read_file(eight.file("valley.sum"))));
}

}  // namespace

// Reference: initial + rain = outlet + infiltrated + stored (water, soil
// layer or land, channel, sorbed, in transit) to 1e-9 of what came in; the
// layer holds 70 cells x 0.3 m x 400 m2 x 0.55 solids x 2650 kg/m3 x 30
// mg/kg at the start; sorbed mass left through the outlet; with channel
// constituents and without; without soil constituents the rain brings the
// contaminant, the sediment takes it up and deposits give it to the land.
TEST(SedimentBoundProgram, ErodingValleyBalanceCloses) {
    const struct {
        const char* name;
        std::string kd;
        bool channel, soil;
    } cases[] = {{"Kd 50 l/kg, channel constituents", "50", true, true},
                 {"Kd 5000 l/kg, channel constituents", "5000", true, true},
                 {"Kd 50 l/kg, channels without constituents", "50", false, true},
                 {"Kd 5000 l/kg, no soil layer, rain at 10 g/m3", "5000", true, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        temp_dir dir;
        write_case(dir.path(), 1, kAllSorb, c.kd, c.channel, c.soil, c.soil ? "0" : "10");
        std::string summary;   // the run's full-precision constituent books
        std::vector<section_books> sections;
        ASSERT_TRUE(run_books(dir, summary, &sections));
        // Every section of the event report and of the run end closes.
        ASSERT_GE(sections.size(), 2u);
        for (const section_books& e : sections)
            EXPECT_NEAR(e.residual, 0.0, 1e-9 * e.in) << e.what << "\n" << read_file(dir.file("valley.sum"));
        // As printed, each error line from its section's terms.
        expect_sections_match_their_terms(read_file(dir.file("valley.sum")), 4);
        const double initial = balance_value(summary, "initial");
        const double in = initial + balance_value(summary, "rain");
        if (c.soil) {
            EXPECT_NEAR(initial, 70 * 0.3 * 400.0 * 0.55 * 2650.0 * kLayerConc * 1e-6, 1e-9);
        } else {
            EXPECT_GT(balance_value(summary, "rain"), 0.0);
        }
        EXPECT_NEAR(balance_value(summary, "residual"), 0.0, 1e-9 * in) << summary;
        EXPECT_GT(balance_value(summary, "outlet on sediment"), 0.0) << summary;
        EXPECT_GE(balance_value(summary, "sorbed on sediment"), 0.0) << summary;
        EXPECT_GT(balance_value(summary, "outlet"), balance_value(summary, "outlet on sediment"));
        if (c.channel) {
            EXPECT_GT(balance_value(summary, "channel"), 0.0) << summary;
        }
    }
}

// A stronger partition coefficient sends more of the eroded mass out on the
// sediment; flagging every class leaves nothing on it.
TEST(SedimentBoundProgram, SedimentShareFollowsTheCoefficientAndTheFlags) {
    const struct {
        const char* name;
        std::string kd;
        std::string fbind[3];
    } cases[] = {{"Kd 5", "5", {"0.0", "0.0", "0.0"}},
                 {"Kd 5000", "5000", {"0.0", "0.0", "0.0"}},
                 {"Kd 5000, every class flagged", "5000", {"1", "1", "1"}}};
    double on_sediment[3];
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(cases[k].name);
        temp_dir dir;
        write_case(dir.path(), 1, cases[k].fbind, cases[k].kd);
        std::string summary;   // the run's full-precision constituent books
        ASSERT_TRUE(run_books(dir, summary));
        on_sediment[k] = balance_value(summary, "outlet on sediment");
        EXPECT_NEAR(balance_value(summary, "residual"), 0.0,
                    1e-9 * balance_value(summary, "initial"));
    }
    EXPECT_GT(on_sediment[1], 10.0 * on_sediment[0]);
    EXPECT_EQ(on_sediment[2], 0.0);
}

// The sediment series, the hydrograph, the contaminant maps and channel
// datasets and the summary are byte for byte the same on 1 and 8 threads.
TEST(SedimentBoundProgram, SameFilesOnOneAndEightThreads) {
    expect_same_files_on_one_and_eight_threads(
        [](const std::string& dir, int threads, const std::string fbind[3], const std::string& kd) {
            write_case(dir, threads, fbind, kd);
        });
}

// ---------------------------------------------------------------------------
// A lake of the channel network in the middle of the valley: link 1 (rows
// 1-3) runs into a pit lake (link 2, rows 4-5 of the middle column, floor
// 1.5 m below the plane), which drains straight into link 3 (rows 6-10) and
// the outlet. Both channel links are erodible; the planes beside the pit
// run onto the lake cells.

namespace {

constexpr double kLakeFloor = 99.0;   // m
constexpr double kLakeStart = 99.55;  // initial level: above the bed of link 3's first node, below link 1's last, m

void write_lake_case(const std::string& dir, int threads, const std::string fbind[3],
                     const std::string& kd) {
    write_case(dir, threads, fbind, kd);
    const int mid = kHalf + 1;
    grid_spec g;
    g.rows = kRows;
    g.cols = 2 * kHalf + 1;
    g.cell = kCell;
    g.north = kRows * kCell;
    write_grid(dir + "/elev.asc", g,
               [&](int r, int c) {
                   if ((r == 4 || r == 5) && c == mid) return kLakeFloor;
                   return 100.0 + kValleySlope * kCell * (kRows - r) + kSideSlope * kCell * std::abs(c - mid);
               },
               6);
    // A trapezoid with 0.3 m of bed material under `cells` stream cells from row `first`.
    auto channel_link = [&](int link, int first, int cells) {
        std::string t = "LINK " + std::to_string(link) + "\nDX " + fixed(kCell) + "\nNODES " +
                        std::to_string(cells + 1) + "\nTRAP_ERODE\nMANNINGS_N 0.035\n";
        for (int p = 1; p <= cells + 1; ++p) {
            t += "NODE " + std::to_string(p) + "\nELEV " +
                 fixed(99.0 + kValleySlope * kCell * (kRows - (first + p - 1.5))) + "\n";
            if (p == 1) t += "XSEC\nBOTTOM_WIDTH 2.0\nSIDE_SLOPE 1.0\nBANKFULL_DEPTH 1.0\nMAX_EROSION 0.3\n";
        }
        return t;
    };
    const std::string m = std::to_string(mid), left = std::to_string(mid - 1), right = std::to_string(mid + 1);
    std::string chan = "PLUVO_CHAN\nALPHA 1.0\nBETA 1.0\nTHETA 1.0\nLINKS 3\nMAXNODES 6\n"
                       "CONNECT 1 2 0\nCONNECT 2 3 1 1\nCONNECT 3 0 1 2\n" +
                       channel_link(1, 1, 3) + "LINK 2\nDX " + fixed(kCell) + "\nNODES 1\nLAKE\nMINWSE " +
                       fixed(kLakeFloor - 1.0) + "\nINITWSE " + fixed(kLakeStart) + "\nMAXWSE " +
                       fixed(kLakeFloor + 3.0) + "\nNUMPTS 6\n4 " + m + " 5 " + m + " 5 " + left + " 5 " +
                       right + " 4 " + left + " 4 " + right + "\n" + channel_link(3, 6, 5);
    write_file(dir + "/valley.chn", chan);
    std::string gst = "GRIDSTREAMFILE\nSTREAMCELLS 8\n";
    for (int k = 1; k <= 8; ++k) gst += "NUMNODES 1\n";
    for (int r = 1; r <= kRows; ++r) {
        if (r == 4 || r == 5) continue;
        gst += "CELLIJ " + std::to_string(r) + " " + m + "\nLINKNODE " + (r <= 3 ? "1 " : "3 ") +
               std::to_string(r <= 3 ? r : r - 5) + " 1.0\n";
    }
    write_file(dir + "/valley.gst", gst);
}

}  // namespace

// Reference: initial = outlet (dissolved and on sediment) + stored (cells,
// soil layer, channel nodes, lake water, sorbed on the cells', nodes' and
// lake's sediment, in transit) + settled with the lake's sediment, to 1e-9
// of the initial mass; sorbed mass reaches the lake on the wash load and the
// overland faces and settles there, unless every class is flagged.
TEST(SedimentBoundProgram, ChannelLakeBalanceCloses) {
    const std::string kNoneSorb[3] = {"1", "1", "1"};
    const struct {
        const char* name;
        std::string kd;
        const std::string* fbind;
        bool settles;
    } cases[] = {{"Kd 50 l/kg", "50", kAllSorb, true},
                 {"Kd 5000 l/kg", "5000", kAllSorb, true},
                 {"Kd 5000 l/kg, every class flagged", "5000", kNoneSorb, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        temp_dir dir;
        write_lake_case(dir.path(), 1, c.fbind, c.kd);
        std::string summary;   // the run's full-precision constituent books
        std::vector<section_books> sections;
        ASSERT_TRUE(run_books(dir, summary, &sections));
        // Every section of the event report and of the run end closes (the
        // lake's with what the sediment releases into it), also as printed.
        ASSERT_GE(sections.size(), 2u);
        for (const section_books& e : sections)
            EXPECT_NEAR(e.residual, 0.0, 1e-9 * e.in) << e.what << "\n" << read_file(dir.file("valley.sum"));
        expect_sections_match_their_terms(read_file(dir.file("valley.sum")), 6);
        const double initial = balance_value(summary, "initial");
        EXPECT_NEAR(initial, 70 * 0.3 * 400.0 * 0.55 * 2650.0 * kLayerConc * 1e-6, 1e-9);
        EXPECT_NEAR(balance_value(summary, "residual"), 0.0, 1e-9 * initial) << summary;
        const double settled = balance_value(summary, "settled in lakes");
        if (c.settles) {
            EXPECT_GT(settled, 0.0) << summary;
            EXPECT_GT(balance_value(summary, "lakes"), 0.0) << summary;
            EXPECT_GT(balance_value(summary, "outlet on sediment"), 0.0) << summary;
            // The run's lake summary shows the small settled wash load in full, as
            // the lake's own line does.
            const std::string text = read_file(dir.file("valley.sum"));
            const size_t at = text.rfind("Lake Summary");
            ASSERT_NE(at, std::string::npos);
            const double wash = std::strtod(
                text.c_str() + text.find(':', text.find("Total wash-load settled in lakes:", at)) + 1, nullptr);
            const double own = std::strtod(
                text.c_str() + text.find("Total vol of SS settled in lake", at) + 31, nullptr);
            EXPECT_GT(own, 0.0);
            EXPECT_NEAR(wash, own, 1e-8);
        } else {
            EXPECT_EQ(settled, 0.0) << summary;
            EXPECT_EQ(balance_value(summary, "sorbed on sediment"), 0.0) << summary;
            EXPECT_EQ(balance_value(summary, "lakes"), 0.0) << summary;
        }
    }
}

// With the lake, 1 and 8 threads write the same sediment series, contaminant
// maps, channel datasets and summary.
TEST(SedimentBoundProgram, ChannelLakeSameFilesOnOneAndEightThreads) {
    expect_same_files_on_one_and_eight_threads(write_lake_case);
}
