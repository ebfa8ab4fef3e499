// Erosion with channel routing through the program: a valley of two eroding
// planes drains into one erodible trapezoid link. The summaries' channel
// sediment blocks close (sand, wash load, overall) and agree with the
// overland blocks, the outlet sediment rows carry every class, the updated
// bed-elevation file follows the option in both of its formats, and the
// files are the same on 1 and 8 threads.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "fixture.h"
#include "pluvo_test.h"
#include "valley.h"

using namespace pluvo_test;

namespace {

constexpr int kRows = 10;
constexpr int kHalf = 3;
constexpr double kCell = 20.0;
constexpr double kValleySlope = 0.005;
constexpr double kSideSlope = 0.03;

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

// The valley with erosion; `adjust` adds the bed-update card; `breakpoint`
// gives the link a surveyed section (bottom 2 m, sides 1:1, 1 m deep) in
// place of the trapezoid.
void write_case(const std::string& dir, int threads, bool adjust, bool breakpoint = false) {
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
    std::string chan = read_file(dir + "/valley.chn");
    if (breakpoint) {
        // Link 1 (surveyed) under rows 1..5 drains into link 2 (trapezoid) under rows 6..10.
        const int half = kRows / 2;
        chan = "PLUVO_CHAN\nALPHA 1.0\nBETA 1.0\nTHETA 1.0\nLINKS 2\nMAXNODES " +
               std::to_string(half) + "\nCONNECT 1 2 0\nCONNECT 2 0 1 1\n";
        std::string gst = "GRIDSTREAMFILE\nSTREAMCELLS " + std::to_string(kRows) + "\n";
        for (int r = 1; r <= kRows; ++r) gst += "NUMNODES 1\n";
        for (int link = 1; link <= 2; ++link) {
            chan += "LINK " + std::to_string(link) + "\nDX " + fixed(kCell) + "\nNODES " +
                    std::to_string(half + 1) + (link == 1 ? "\nBREAK_ERODE" : "\nTRAP_ERODE") +
                    "\nMANNINGS_N 0.035\n";
            for (int p = 1; p <= half + 1; ++p) {
                const double row = (link - 1) * half + p - 0.5;
                chan += "NODE " + std::to_string(p) + "\nELEV " +
                        fixed(99.0 + kValleySlope * kCell * (kRows - row)) + "\n";
                // A surveyed link takes its erodible depth point by point.
                if (link == 1) chan += "MAX_EROSION 0.3\n";
                if (p == 1 && link == 1)
                    chan += "NPAIRS 5\nNUM_INTERP 10\nX1 0.0 1.0\nX1 1.0 0.0\nX1 2.0 0.0\n"
                            "X1 3.0 0.0\nX1 4.0 1.0\n";
                if (p == 1 && link == 2)
                    chan += "XSEC\nBOTTOM_WIDTH 2.0\nSIDE_SLOPE 1.0\nBANKFULL_DEPTH 1.0\n"
                            "MAX_EROSION 0.3\n";
            }
            for (int k = 1; k <= half; ++k)
                gst += "CELLIJ " + std::to_string((link - 1) * half + k) + " " +
                       std::to_string(mid) + "\nLINKNODE " + std::to_string(link) + " " +
                       std::to_string(k) + " 1.0\n";
        }
        write_file(dir + "/valley.gst", gst);
    } else {
        chan = replaced(chan, "TRAPEZOID", "TRAP_ERODE");
        chan = replaced(chan, "BANKFULL_DEPTH 1.0\n", "BANKFULL_DEPTH 1.0\nMAX_EROSION 0.3\n");
    }
    write_file(dir + "/valley.chn", chan);
    write_three_class_sediment_table(dir, g, "0.4 0.3 0.3");
    project_file p = valley_project({kRows, g.cols, kCell, mid, kValleySlope, 60, 5.0, 100.0, 30});
    p.card("SUPER_QUIET")
        .card("NUM_THREADS", std::to_string(threads))
        .card("MAPPING_TABLE", "table.cmt")
        .card("SOIL_EROSION", "1")
        .card("OUTLET_SED_FLUX", "sed.out")
        .card("SAND_SIZE", "0.5")
        .card("WATER_TEMP", "20")
        .card("SED_POROSITY", "0.4")
        .card("CHAN_SED_FLUX", "sedflux.lnd");
    if (adjust) p.card("ADJUST_CHANNEL_BED");
    // Sediment series at node 4 and at the outlet node.
    write_file(dir + "/sedloc.txt", "2\n1 4\n1 " + std::to_string(breakpoint ? kRows / 2 : kRows) +
                                        "\r\n");
    p.card("IN_SED_LOC", "sedloc.txt").card("OUT_SED_LOC", "sedloc.out").card("OUT_TSS_LOC", "tss.out");
    p.card("OUTLET_SED_TSS", "outlet_tss.out");
    p.write(dir + "/valley.prj");
}

// Numbers of a text line.
std::vector<double> numbers(const std::string& line) {
    std::vector<double> v;
    const char* p = line.c_str();
    char* end = nullptr;
    for (double x = std::strtod(p, &end); end != p; x = std::strtod(p, &end)) {
        v.push_back(x);
        p = end;
    }
    return v;
}

double value_after(const std::string& text, size_t from, const std::string& label) {
    const size_t at = text.find(label, from);
    if (at == std::string::npos) return std::nan("");
    return std::strtod(text.c_str() + at + label.size(), nullptr);
}

struct channel_block {
    double sand_init, sand_in, sand_out, sand_final;
    double wash_in, wash_out, wash_final;
    double wash_error, sand_error, overall_error;
    double class_in[4];
};

// The run summary's channel block (the last one in the file).
channel_block read_run_block(const std::string& text) {
    const size_t at = text.rfind("Channel sediment routing mass quantities");
    channel_block b{};
    for (int c = 1; c <= 3; ++c)
        b.class_in[c] = value_after(text, at, "Total sediment " + std::to_string(c) +
                                                  " transported into channels:");
    b.sand_init = value_after(text, at, "Initial volume of sand in channels:");
    b.sand_in = value_after(text, at, "Total sand to chan from overland:");
    b.sand_out = value_after(text, at, "Total sand outlet discharge:");
    b.sand_final = value_after(text, at, "Final sand in channels:");
    b.wash_in = value_after(text, at, "Total wash-load to chan from overland:");
    b.wash_out = value_after(text, at, "Total wash-load outlet discharge:");
    b.wash_final = value_after(text, at, "Final wash-load remaining in suspension:");
    b.wash_error = value_after(text, at, "Mass conservation error for wash load:");
    b.sand_error = value_after(text, at, "Mass conservation error for sand load:");
    b.overall_error = value_after(text, at, "Overall channel sediment mass cons. error:");
    return b;
}

class ChannelSedimentRun : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        one_ = new temp_dir;
        eight_ = new temp_dir;
        adjusted_ = new temp_dir;
        surveyed_ = new temp_dir;
        write_case(one_->path(), 1, false);
        write_case(eight_->path(), 8, false);
        write_case(adjusted_->path(), 1, true);
        write_case(surveyed_->path(), 1, false, true);
        for (temp_dir* d : {one_, eight_, adjusted_, surveyed_}) {
            const run_result r = run_pluvo({"valley.prj"}, d->path(), "",
                                           {parallel_from_cells_env(16)});
            ASSERT_EQ(r.status, 0) << r.out << r.err;
        }
    }
    static void TearDownTestSuite() {
        delete one_;
        delete eight_;
        delete adjusted_;
        delete surveyed_;
    }
    static temp_dir* one_;
    static temp_dir* eight_;
    static temp_dir* adjusted_;
    static temp_dir* surveyed_;
};
temp_dir* ChannelSedimentRun::one_ = nullptr;
temp_dir* ChannelSedimentRun::eight_ = nullptr;
temp_dir* ChannelSedimentRun::adjusted_ = nullptr;
temp_dir* ChannelSedimentRun::surveyed_ = nullptr;

// Sand: initial + from the grid = final + outlet; wash: from the grid =
// final + outlet; the printed errors are those of the printed volumes; the
// overland block hands the channels what the channel block receives.
TEST_F(ChannelSedimentRun, SummaryBalancesClose) {
    const std::string text = read_file(one_->file("valley.sum"));
    const channel_block b = read_run_block(text);
    ASSERT_FALSE(std::isnan(b.overall_error)) << text;
    EXPECT_GT(b.wash_in, 0.0);
    EXPECT_GT(b.sand_init, 0.0);
    // Initial store: (1 - 0.4) x 0.3 m x 2 m bottom x 20 m per node, 10 nodes.
    EXPECT_NEAR(b.sand_init, 0.6 * 0.3 * 2.0 * 20.0 * kRows, 1e-6);
    EXPECT_GT(b.sand_out + b.wash_out, 0.0) << "no sediment left the outlet";
    const double tol = 2e-8;   // printed with 8 decimals
    EXPECT_NEAR(b.sand_init + b.sand_in, b.sand_final + b.sand_out, tol + 1e-9 * b.sand_init);
    EXPECT_NEAR(b.wash_in, b.wash_final + b.wash_out, tol + 1e-9 * b.wash_in);
    for (double e : {b.wash_error, b.sand_error, b.overall_error}) EXPECT_LT(std::fabs(e), 1e-5);
    // The grid's per-class hand-over is what the channels took in.
    EXPECT_NEAR(b.class_in[1] + b.class_in[2], b.wash_in, tol);
    EXPECT_NEAR(b.class_in[3], b.sand_in, tol);
    // The overland block books the same volumes into the channels and closes with them.
    const size_t ov = text.rfind("Overland Sediment Summary");
    for (int c = 1; c <= 3; ++c) {
        const std::string n = std::to_string(c);
        EXPECT_NEAR(value_after(text, ov, "Total sediment " + n + " transported into channels:"),
                    b.class_in[c], tol);
        EXPECT_LT(std::fabs(value_after(text, ov, "Mass balance error for sediment " + n)), 1e-3);
    }
    // The event block shows the same balance for the single event.
    const size_t ev = text.find("Quanties are this Event");
    ASSERT_NE(ev, std::string::npos);
    EXPECT_LT(std::fabs(value_after(text, ev, "Overall channel sediment mass cons. error:")), 1e-5);
}

// Every outlet row: the time, a rate per class, then the wash-load total and
// its classes, then the bed material's rate.
TEST_F(ChannelSedimentRun, OutletRowsCarryEveryClass) {
    const std::vector<std::string> lines = split_lines(read_file(one_->file("sed.out")));
    ASSERT_GT(lines.size(), 10u);
    int rows = 0;
    for (const std::string& line : lines) {
        if (line.empty()) continue;
        std::vector<double> v;
        const char* p = line.c_str();
        char* end = nullptr;
        for (double x = std::strtod(p, &end); end != p; x = std::strtod(p, &end)) {
            v.push_back(x);
            p = end;
        }
        ASSERT_EQ(v.size(), 1u + 3u + 3u + 1u) << line;
        EXPECT_NEAR(v[4], v[1] + v[2], 1e-9) << line;   // wash total = the two fine classes
        EXPECT_NEAR(v[5], v[1], 1e-10);
        EXPECT_NEAR(v[6], v[2], 1e-10);
        for (double x : v) EXPECT_GE(x, 0.0);
        ++rows;
    }
    EXPECT_GT(rows, 0);
}

// The outlet series of the sand on the erodible link (its one sand class and
// the bed material), taken as rates held over each minute's row, adds up to
// the sand the run summary books through the outlet within 1 %.
TEST_F(ChannelSedimentRun, OutletSandSeriesAddsUpToTheSummary) {
    const std::string text = read_file(one_->file("valley.sum"));
    const channel_block b = read_run_block(text);
    ASSERT_GT(b.sand_out, 1e-3) << text;
    double sand = 0.0;
    for (const std::string& line : split_lines(read_file(one_->file("sed.out")))) {
        if (line.empty()) continue;
        const std::vector<double> v = numbers(line);
        ASSERT_EQ(v.size(), 8u) << line;
        sand += (v[3] + v[7]) * 60.0;
    }
    EXPECT_NEAR(sand, b.sand_out, 0.01 * b.sand_out);
}

// Without the bed-update option the new elevations come from the working
// bed and the flag follows two blanks; with it, from the bed itself and one
// blank. Old elevations are the node beds as read.
TEST_F(ChannelSedimentRun, BedElevationFileInBothFormats) {
    for (temp_dir* d : {one_, adjusted_}) {
        const bool adjusted = d == adjusted_;
        const std::vector<std::string> lines = split_lines(read_file(d->file("new_bed_elevations.txt")));
        ASSERT_GE(lines.size(), static_cast<size_t>(kRows + 1));
        EXPECT_EQ(lines[0], "Link Node  New Elev(m) Old ELev (m) struct_flag: 0 no structure, 1 - "
                            "structure, 2 - lake ");
        for (int k = 1; k <= kRows; ++k) {
            long link = 0, node = 0, flag = -1;
            double now = 0.0, old = 0.0;
            ASSERT_EQ(std::sscanf(lines[static_cast<size_t>(k)].c_str(), "%ld %ld %lf %lf %ld",
                                  &link, &node, &now, &old, &flag),
                      5)
                << lines[static_cast<size_t>(k)];
            EXPECT_EQ(link, 1);
            EXPECT_EQ(node, k);
            EXPECT_EQ(flag, 0);
            // Node k lies 1 m below the ground of its cell (the valley fixture).
            EXPECT_NEAR(old, 99.0 + kValleySlope * kCell * (kRows - k), 6e-4);
            EXPECT_LE(old - now, 0.3 + 1e-9) << "the bed fell below its erodible depth";
            const std::string tail = adjusted ? " 0 " : "  0 ";
            EXPECT_EQ(lines[static_cast<size_t>(k)].substr(lines[static_cast<size_t>(k)].size() - tail.size()), tail);
        }
    }
}

// A surveyed erodible section: its initial store is the solid part of the
// box from the section's top down to the erodible depth below the thalweg,
// less the section's own area: 0.6 x (4 m x 1.3 m - 3 m2) x 20 m per node,
// above the trapezoid's 0.6 x 0.3 m x 2 m x 20 m.
TEST_F(ChannelSedimentRun, BreakpointLinkStoresAndBalances) {
    const std::string text = read_file(surveyed_->file("valley.sum"));
    const channel_block b = read_run_block(text);
    ASSERT_FALSE(std::isnan(b.overall_error)) << text;
    EXPECT_NEAR(b.sand_init, (0.6 * (4.0 * 1.3 - 3.0) * 20.0 + 0.6 * 0.3 * 2.0 * 20.0) * kRows / 2,
                1e-6);
    EXPECT_GT(b.sand_out, 0.0);
    EXPECT_NEAR(b.sand_init + b.sand_in, b.sand_final + b.sand_out, 2e-8 + 1e-9 * b.sand_init);
    EXPECT_NEAR(b.wash_in, b.wash_final + b.wash_out, 2e-8 + 1e-9 * b.wash_in);
    for (double e : {b.wash_error, b.sand_error, b.overall_error}) EXPECT_LT(std::fabs(e), 1e-5);
}

// The location series: the list at its head, then per row the time and, per
// location, every class, the wash-load total and its classes; at the outlet
// node they are the outlet rows' rates. The concentration series has a value
// per location.
TEST_F(ChannelSedimentRun, LocationSeriesFollowTheNodes) {
    const std::vector<std::string> lines = split_lines(read_file(one_->file("sedloc.out")));
    const std::vector<std::string> outlet = split_lines(read_file(one_->file("sed.out")));
    const std::vector<std::string> tss = split_lines(read_file(one_->file("tss.out")));
    const std::vector<std::string> outlet_tss = split_lines(read_file(one_->file("outlet_tss.out")));
    double conc_seen = 0.0;
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0], "2");
    EXPECT_EQ(lines[1], "   1    4");
    EXPECT_EQ(lines[2], "   1   10");
    size_t rows = 0;
    double wash_seen = 0.0;
    for (size_t i = 3; i < lines.size() && rows < outlet.size(); ++i) {
        if (lines[i].empty()) continue;
        const std::vector<double> v = numbers(lines[i]);
        ASSERT_EQ(v.size(), 1u + 2u * (3u + 1u + 2u)) << lines[i];
        const std::vector<double> o = numbers(outlet[rows]);
        ASSERT_EQ(o.size(), 8u);
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(v[7 + c], o[1 + c], 1e-10) << lines[i];
        EXPECT_NEAR(v[10], v[11] + v[12], 1e-9);
        wash_seen += v[4];
        ASSERT_LT(rows, tss.size());
        const std::vector<double> c = numbers(tss[rows]);
        ASSERT_EQ(c.size(), 3u) << tss[rows];
        // The outlet concentration row carries the outlet node's value.
        ASSERT_LT(rows, outlet_tss.size());
        const std::vector<double> ot = numbers(outlet_tss[rows]);
        ASSERT_EQ(ot.size(), 2u) << outlet_tss[rows];
        EXPECT_NEAR(ot[1], c[2], 1e-4);
        EXPECT_GE(c[1], 0.0);
        EXPECT_GE(c[2], 0.0);
        conc_seen += c[2];
        ++rows;
    }
    EXPECT_EQ(rows, outlet.size() - (outlet.back().empty() ? 1 : 0));
    EXPECT_GT(wash_seen, 0.0);
    EXPECT_GT(conc_seen, 0.0);
}

// Seventy size classes, 69 of them fine: the wash load carries every class
// (none is dropped past the 63rd), the channel block closes, the outlet
// rows hold every class and a wash-load total that is their sum, and 1 and
// 8 threads write the same outlet rows and channel books.
TEST(ChannelSedimentClasses, SeventyClassesAreCarriedAndConserved) {
    std::string files[2];
    for (int t = 0; t < 2; ++t) {
        constexpr int kClasses = 70;
        temp_dir dir;
        write_case(dir.path(), t == 0 ? 1 : 8, false);
        grid_spec g;
        g.rows = kRows;
        g.cols = 2 * kHalf + 1;
        g.cell = kCell;
        g.north = kRows * kCell;
        std::string classes, shares;
        for (int c = 1; c <= kClasses; ++c) {
            std::string d(40, ' ');
            d.replace(0, 5, "class");
            // Fine classes from 0.4 mm down to 2 um (those past the 63rd the
            // finest, which the flow carries best), the last one sand (1 mm).
            const double mm = c < kClasses ? 0.4 / std::pow(200.0, (c - 1) / (kClasses - 2.0)) : 1.0;
            classes += d + "2.65 " + fixed(mm, 6) + " 0.0 c" + std::to_string(c) + ".out\n";
            shares += " " + fixed(1.0 / kClasses, 10);
        }
        std::string row = "1     row";
        row.resize(86, ' ');
        write_file(dir.file("table.cmt"),
                   "PLUVO_INDEX_MAP_TABLES\nINDEX_MAP soil.idx Soil\nSEDIMENTS\nNUM_SED " +
                       std::to_string(kClasses) + "\nDescription SG D(mm) fbind file\n" + classes +
                       "SOIL_EROSION_PROPS Soil\nNUM_IDS 1\nNUM_SED " + std::to_string(kClasses) +
                       "\nID title\n" + row + "100 1 0.002 0 1" + shares + "\n");
        const run_result r = run_pluvo({"valley.prj"}, dir.path(), "", {parallel_from_cells_env(16)});
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        const std::string text = read_file(dir.file("valley.sum"));
        const channel_block b = read_run_block(text);
        files[t] = read_file(dir.file("sed.out")) +
                   without_timing(text.substr(text.rfind("Channel sediment routing mass quantities")));
        ASSERT_GT(b.wash_in, 0.0) << text;
        EXPECT_GT(b.wash_out, 0.1 * b.wash_in) << text;
        EXPECT_NEAR(b.wash_in, b.wash_final + b.wash_out, 2e-8 + 1e-9 * b.wash_in);
        for (double e : {b.wash_error, b.sand_error, b.overall_error}) EXPECT_LT(std::fabs(e), 1e-5);
        double past_63 = 0.0;   // outlet rates of the fine classes 64..69, m3/s
        for (const std::string& line : split_lines(read_file(dir.file("sed.out")))) {
            if (line.empty()) continue;
            const std::vector<double> v = numbers(line);
            ASSERT_EQ(v.size(), 1u + kClasses + kClasses + 1u) << line;
            double sum = 0.0;
            for (int c = 1; c < kClasses; ++c) sum += v[static_cast<size_t>(c)];
            EXPECT_NEAR(v[kClasses + 1], sum, 1e-9) << line;
            for (int c = 64; c < kClasses; ++c) past_63 += v[static_cast<size_t>(c)];
        }
        EXPECT_GT(past_63, 0.0) << "the fine classes past the 63rd reached the outlet";
    }
    EXPECT_TRUE(files[0] == files[1]) << "outlet rows or channel books differ between 1 and 8 threads";
}

// A meandering trapezoid link: nodes 28 m apart under 20 m cells. The sand
// store of a node lies along the node's own length, so the initial store is
// 0.6 x 0.3 m x 2 m x 28 m per node (not the cell size), and a run too short
// for the channel to move sand leaves every bed where it was (the bed update
// measures the store along the same 28 m).
TEST(ChannelSedimentStore, MeanderingLinkStoresSandAlongItsNodeSpacing) {
    temp_dir dir;
    write_case(dir.path(), 1, true);
    write_file(dir.file("valley.chn"), replaced(read_file(dir.file("valley.chn")), "DX " + fixed(kCell), "DX 28.0"));
    write_file(dir.file("valley.prj"), replaced(read_file(dir.file("valley.prj")), "TOT_TIME 60\n", "TOT_TIME 1\n"));
    const run_result r = run_pluvo({"valley.prj"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::string text = read_file(dir.file("valley.sum"));
    const channel_block b = read_run_block(text);
    EXPECT_NEAR(b.sand_init, 0.6 * 0.3 * 2.0 * 28.0 * kRows, 1e-6) << text;
    EXPECT_LT(b.sand_out, 1e-9);
    const std::vector<std::string> lines = split_lines(read_file(dir.file("new_bed_elevations.txt")));
    ASSERT_GE(lines.size(), static_cast<size_t>(kRows + 1));
    for (int k = 1; k <= kRows; ++k) {
        long link = 0, node = 0;
        double now = 0.0, old = 0.0;
        ASSERT_EQ(std::sscanf(lines[static_cast<size_t>(k)].c_str(), "%ld %ld %lf %lf", &link, &node, &now, &old), 4);
        EXPECT_NEAR(now, old, 1e-6) << lines[static_cast<size_t>(k)];
    }
}

// A location that is not a node of the network stops the run naming the file.
TEST(ChannelSedimentLocations, BadListStopsTheRun) {
    temp_dir dir;
    write_case(dir.path(), 1, false);
    write_file(dir.file("sedloc.txt"), "1\n1 11\n");
    const run_result r = run_pluvo({"valley.prj"}, dir.path());
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find("sedloc.txt names link 1 node 11"), std::string::npos) << r.out;
}

TEST_F(ChannelSedimentRun, SameFilesOnOneAndEightThreads) {
    for (const char* name : {"sed.out", "new_bed_elevations.txt", "sedflux.lnd", "valley.otl",
                             "sedloc.out", "tss.out", "outlet_tss.out"})
        EXPECT_EQ(read_file(one_->file(name)), read_file(eight_->file(name))) << name;
    EXPECT_EQ(without_timing(read_file(one_->file("valley.sum"))),
              without_timing(read_file(eight_->file("valley.sum"))));
}

// ---------------------------------------------------------------------------
// A lake in a pit at the head of the valley drains over a weir (link 2) into
// the erodible channel (link 3); the planes erode into both.

constexpr int kLakeRows = 4;
constexpr int kLakeValleyRows = 14;
constexpr double kPit = 0.3;   // lake floor below the ground of its last row, m

double lake_plane(int r, int col) {
    return 100.0 + kValleySlope * kCell * (kLakeValleyRows - r) +
           kSideSlope * kCell * std::abs(col - (kHalf + 1));
}

void write_lake_case(const std::string& dir, int threads, bool adjust) {
    grid_spec g;
    g.rows = kLakeValleyRows;
    g.cols = 2 * kHalf + 1;
    g.cell = kCell;
    g.north = kLakeValleyRows * kCell;
    const int mid = kHalf + 1;
    const double floor = lake_plane(kLakeRows, mid) - kPit;
    write_grid(dir + "/mask.asc", g, [](int, int) { return 1.0; }, 0);
    write_grid(dir + "/elev.asc", g,
               [&](int r, int c) { return (r <= kLakeRows && c == mid) ? floor : lake_plane(r, c); },
               6);
    std::string pairs;
    for (int r = 1; r <= kLakeRows; ++r)
        pairs += std::to_string(r) + " " + std::to_string(mid) + (r == kLakeRows ? "\n" : " ");
    const int nodes = kLakeValleyRows - kLakeRows;
    std::string chan = "PLUVO_CHAN\nALPHA 1.0\nBETA 1.0\nTHETA 1.0\nLINKS 3\nMAXNODES " +
                       std::to_string(nodes + 1) +
                       "\nCONNECT 1 2 0\nCONNECT 2 3 1 1\nCONNECT 3 0 1 2\n"
                       "LINK 1\nDX " + fixed(kCell) + "\nNODES 1\nLAKE\nMINWSE " + fixed(floor - 1.0) +
                       "\nINITWSE " + fixed(floor + 0.2) + "\nMAXWSE " + fixed(floor + 3.0) +
                       "\nNUMPTS " + std::to_string(kLakeRows) + "\n" + pairs +
                       "LINK 2\nDX " + fixed(kCell) +
                       "\nSTRUCTURE\nNUMSTRUCTS 1\nSTRUCTTYPE weir\nCREST_LENGTH 2.0\nCREST_LOW_ELEV " +
                       fixed(floor + 0.1) + "\nDISCHARGE_COEFF_FORWARD 1.6\n" +
                       "LINK 3\nDX " + fixed(kCell) + "\nNODES " + std::to_string(nodes + 1) +
                       "\nTRAP_ERODE\nMANNINGS_N 0.035\n";
    for (int p = 1; p <= nodes + 1; ++p) {
        const double row = kLakeRows + p - 0.5;
        chan += "NODE " + std::to_string(p) + "\nELEV " +
                fixed(99.0 + kValleySlope * kCell * (kLakeValleyRows - row)) + "\n";
        if (p == 1)
            chan += "XSEC\nBOTTOM_WIDTH 2.0\nSIDE_SLOPE 1.0\nBANKFULL_DEPTH 1.0\nMAX_EROSION 0.3\n";
    }
    write_file(dir + "/valley.chn", chan);
    std::string gst = "GRIDSTREAMFILE\nSTREAMCELLS " + std::to_string(nodes) + "\n";
    for (int k = 1; k <= nodes; ++k) gst += "NUMNODES 1\n";
    for (int k = 1; k <= nodes; ++k)
        gst += "CELLIJ " + std::to_string(kLakeRows + k) + " " + std::to_string(mid) +
               "\nLINKNODE 3 " + std::to_string(k) + " 1.0\n";
    write_file(dir + "/valley.gst", gst);
    write_three_class_sediment_table(dir, g, "0.4 0.3 0.3");
    project_file p =
        valley_project({kLakeValleyRows, g.cols, kCell, mid, kValleySlope, 60, 5.0, 100.0, 30});
    p.card("SUPER_QUIET")
        .card("NUM_THREADS", std::to_string(threads))
        .card("MAPPING_TABLE", "table.cmt")
        .card("SOIL_EROSION", "1")
        .card("OUTLET_SED_FLUX", "sed.out")
        .card("SAND_SIZE", "0.5")
        .card("WATER_TEMP", "20")
        .card("SED_POROSITY", "0.4");
    if (adjust) p.card("ADJUST_CHANNEL_BED");
    p.write(dir + "/valley.prj");
}

// The lake line and the structure's flag in both formats of the bed file,
// the lake block and the closing balance of the summary, and the same files
// on 1 and 8 threads.
TEST(ChannelSedimentLakeRun, LakeAndStructureInTheBooksAndTheBedFile) {
    std::string summaries[2], beds[2];
    for (const bool adjust : {false, true}) {
        for (const int threads : {1, 8}) {
            SCOPED_TRACE(threads);
            temp_dir dir;
            write_lake_case(dir.path(), threads, adjust);
            const run_result r =
                run_pluvo({"valley.prj"}, dir.path(), "", {parallel_from_cells_env(16)});
            ASSERT_EQ(r.status, 0) << r.out << r.err;
            const std::string text = read_file(dir.file("valley.sum"));
            const std::vector<std::string> lines =
                split_lines(read_file(dir.file("new_bed_elevations.txt")));
            ASSERT_GE(lines.size(), 4u);
            EXPECT_EQ(lines[1], "Link     1 is a lake     2  ");
            int structure_lines = 0, channel_lines = 0;
            for (size_t i = 2; i < lines.size(); ++i) {
                if (lines[i].empty()) continue;
                long link = 0, node = 0, flag = -1;
                double now = 0.0, old = 0.0;
                ASSERT_EQ(std::sscanf(lines[i].c_str(), "%ld %ld %lf %lf %ld", &link, &node, &now,
                                      &old, &flag),
                          5)
                    << lines[i];
                EXPECT_EQ(flag, link == 2 ? 1 : 0) << lines[i];
                const std::string tail = std::string(adjust ? " " : "  ") + std::to_string(flag) + " ";
                EXPECT_EQ(lines[i].substr(lines[i].size() - tail.size()), tail) << lines[i];
                if (link == 2) ++structure_lines;
                if (link == 3) {
                    ++channel_lines;
                    EXPECT_LE(old - now, 0.3 + 1e-9) << lines[i];
                }
            }
            EXPECT_GE(structure_lines, 1);
            EXPECT_EQ(channel_lines, kLakeValleyRows - kLakeRows);
            const size_t at = text.rfind("Channel sediment routing mass quantities");
            ASSERT_NE(at, std::string::npos);
            EXPECT_NE(text.find("Total sand from chan to lakes:", at), std::string::npos);
            EXPECT_NE(text.find("Summary for lake 1", at), std::string::npos);
            EXPECT_NE(text.find("Total wash-load from lake to chan:", at), std::string::npos);
            const double in = value_after(text, at, "Total wash-load to chan from overland:") +
                              value_after(text, at, "Total wash-load from lake to chan:");
            const double out = value_after(text, at, "Total wash-load outlet discharge:") +
                               value_after(text, at, "Final wash-load remaining in suspension:") +
                               value_after(text, at, "Total wash-load from chan to lakes :");
            EXPECT_GT(in, 0.0);
            EXPECT_NEAR(in, out, 3e-8);
            for (const char* label : {"Mass conservation error for wash load:",
                                      "Mass conservation error for sand load:",
                                      "Overall channel sediment mass cons. error:"})
                EXPECT_LT(std::fabs(value_after(text, at, label)), 1e-5) << label;
            // Fine classes carry the lake note in the overland block, the sand class does not.
            EXPECT_NE(text.find("Net sediment 1 from overland to lakes:"), std::string::npos);
            EXPECT_NE(text.find("Interactions between sediment 1 and lakes"), std::string::npos);
            EXPECT_EQ(text.find("Interactions between sediment 3 and lakes"), std::string::npos);
            summaries[threads == 8] = without_timing(text);
            beds[threads == 8] = read_file(dir.file("new_bed_elevations.txt"));
        }
        EXPECT_EQ(summaries[0], summaries[1]);
        EXPECT_EQ(beds[0], beds[1]);
    }
}

}  // namespace
