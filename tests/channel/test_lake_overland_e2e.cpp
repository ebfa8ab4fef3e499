// The program with a lake of the channel network under rain: a valley whose
// top rows hold the lake in a pit of the middle column; the planes beside it
// run onto the lake cells and the lake drains into the channel below it.
// Every overland scheme runs it; the run balance closes, the lake gives no
// more than it holds, and one and eight threads write the same files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "fixture.h"
#include "pluvo_test.h"

using namespace pluvo_test;

namespace {

struct lake_valley {
    int rows = 20;
    int half_width = 5;
    int lake_rows = 4;            // rows 1..lake_rows of the middle column hold the lake
    double cell = 10.0;           // m
    double side_slope = 0.01;     // slope of the planes towards the middle column, m/m
    double valley_slope = 0.005;  // slope along the valley, m/m
    double pit = 0.3;             // lake floor below the ground of the last lake row, m
    double lake_depth = 0.2;      // initial lake depth over its floor, m
    double rain_mm_h = 50.0;
    int rain_minutes = 30;
    int total_minutes = 60;
    int overtype = 1;
    bool weir = false;            // the lake drains through a weir link into the channel
    int threads = 0;              // NUM_THREADS card when above 0
    int cols() const { return 2 * half_width + 1; }
    int mid() const { return half_width + 1; }
    // Ground of the planes, m.
    double plane(int r, int col) const {
        return 100.0 + valley_slope * cell * (rows - r) + side_slope * cell * std::abs(col - mid());
    }
    double floor() const { return plane(lake_rows, mid()) - pit; }   // m
    double ground(int r, int col) const {
        return (r <= lake_rows && col == mid()) ? floor() : plane(r, col);
    }
    // Water of the lake at set-up over its search cells (the pit and the
    // cells beside it), each taken when the level stands 1 mm above it, m3.
    double initial_lake_volume() const {
        const double level = floor() + lake_depth;
        double v = 0.0;
        for (int r = 1; r <= lake_rows; ++r) {
            for (const int col : {mid() - 1, mid(), mid() + 1}) {
                const double g = ground(r, col);
                if (level > g + 0.001) v += (level - g) * cell * cell;
            }
        }
        return v;
    }
    double rain_volume() const {   // m3
        return rain_mm_h / 1000.0 / 60.0 * rain_minutes * rows * cols() * cell * cell;
    }
};

std::string fixed(double v, int decimals = 6) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

void write_lake_valley(const std::string& dir, const lake_valley& c) {
    grid_spec g;
    g.rows = c.rows;
    g.cols = c.cols();
    g.cell = c.cell;
    g.north = c.rows * c.cell;
    write_grid(dir + "/mask.asc", g, [](int, int) { return 1.0; }, 0);
    write_grid(dir + "/elev.asc", g, [&](int r, int col) { return c.ground(r, col); }, 6);

    // Link 1 is the lake: its pit cells first, then the cells beside them
    // (row-column pairs, ten to a line).
    const int mid = c.mid();
    std::vector<std::pair<int, int>> search;
    for (int r = 1; r <= c.lake_rows; ++r) search.push_back({r, mid});
    for (int r = c.lake_rows; r >= 1; --r) {
        search.push_back({r, mid - 1});
        search.push_back({r, mid + 1});
    }
    std::string pairs;
    for (size_t k = 0; k < search.size(); ++k) {
        pairs += std::to_string(search[k].first) + " " + std::to_string(search[k].second);
        pairs += (k % 10 == 9 || k + 1 == search.size()) ? "\n" : " ";
    }
    const int npts = static_cast<int>(search.size());
    // The channel runs down the middle column below the lake, a node under
    // each cell 1 m below its ground; it is link 2, or link 3 behind a weir
    // (link 2, crest 0.1 m above the lake floor, 2 m long).
    const int nodes = c.rows - c.lake_rows;
    const std::string channel = c.weir ? "3" : "2";
    std::string chan = "PLUVO_CHAN\nALPHA 1.0\nBETA 1.0\nTHETA 1.0\nLINKS " + channel +
                       "\nMAXNODES " + std::to_string(nodes + 1) + "\n";
    chan += c.weir ? "CONNECT 1 2 0\nCONNECT 2 3 1 1\nCONNECT 3 0 1 2\n"
                   : "CONNECT 1 2 0\nCONNECT 2 0 1 1\n";
    chan += "LINK 1\nDX " + fixed(c.cell) + "\nNODES 1\nLAKE\nMINWSE " + fixed(c.floor() - 1.0) +
            "\nINITWSE " + fixed(c.floor() + c.lake_depth) + "\nMAXWSE " +
            fixed(c.floor() + 3.0) + "\nNUMPTS " + std::to_string(npts) + "\n" + pairs;
    if (c.weir) {
        chan += "LINK 2\nDX " + fixed(c.cell) +
                "\nSTRUCTURE\nNUMSTRUCTS 1\nSTRUCTTYPE weir\nCREST_LENGTH 2.0\nCREST_LOW_ELEV " +
                fixed(c.floor() + 0.1) + "\nDISCHARGE_COEFF_FORWARD 1.6\n";
    }
    chan += "LINK " + channel + "\nDX " + fixed(c.cell) + "\nNODES " + std::to_string(nodes + 1) +
            "\nTRAPEZOID\nMANNINGS_N 0.035\n";
    for (int p = 1; p <= nodes + 1; ++p) {
        const double row = c.lake_rows + p - 0.5;   // data points at the cell edges
        chan += "NODE " + std::to_string(p) + "\nELEV " +
                fixed(99.0 + c.valley_slope * c.cell * (c.rows - row)) + "\n";
        if (p == 1) chan += "XSEC\nBOTTOM_WIDTH 2.0\nSIDE_SLOPE 1.0\nBANKFULL_DEPTH 1.0\n";
    }
    write_file(dir + "/valley.chn", chan);
    std::string gst = "GRIDSTREAMFILE\nSTREAMCELLS " + std::to_string(nodes) + "\n";
    for (int k = 1; k <= nodes; ++k) gst += "NUMNODES 1\n";
    for (int k = 1; k <= nodes; ++k)
        gst += "CELLIJ " + std::to_string(c.lake_rows + k) + " " + std::to_string(mid) +
               "\nLINKNODE " + channel + " " + std::to_string(k) + " 1.0\n";
    write_file(dir + "/valley.gst", gst);

    project_file p;
    p.card("WATERSHED_MASK", "mask.asc")
        .card("ELEVATION", "elev.asc")
        .card("GRIDSIZE", c.cell)
        .card("ROWS", std::to_string(c.rows))
        .card("COLS", std::to_string(c.cols()))
        .card("TOT_TIME", std::to_string(c.total_minutes))
        .card("TIMESTEP", "5")
        .card("OUTROW", std::to_string(c.rows))
        .card("OUTCOL", std::to_string(mid))
        .card("OUTSLOPE", c.valley_slope)
        .card("HYD_FREQ", "1")
        .card("MAP_FREQ", std::to_string(c.total_minutes))
        .card("SUMMARY", "valley.sum")
        .card("OUTLET_HYDRO", "valley.otl")
        .card("START_DATE", "2020 6 1")
        .card("START_TIME", "0 0")
        .card("PRECIP_UNIF")
        .card("RAIN_INTENSITY", c.rain_mm_h)
        .card("RAIN_DURATION", std::to_string(c.rain_minutes))
        .card("MANNING_N", "0.05")
        .card("OVERTYPE", std::to_string(c.overtype))
        .card("CHAN_EXPLIC")
        .card("CHANNEL_INPUT", "valley.chn")
        .card("STREAM_CELL", "valley.gst")
        .card("SUPER_QUIET");
    if (c.threads > 0) p.card("NUM_THREADS", std::to_string(c.threads));
    p.write(dir + "/valley.prj");
}

// Value after `label` in a summary text (NaN when the label is missing).
double summary_value(const std::string& text, const std::string& label) {
    const size_t at = text.find(label);
    if (at == std::string::npos) return std::nan("");
    return std::atof(text.c_str() + at + label.size());
}

struct valley_run {
    std::string summary;   // summary file
    std::string outlet;    // outlet hydrograph
};

// Runs the valley `c` (its threads forced onto every loop over 16 cells and
// more when c.threads > 1).
valley_run run_valley(const lake_valley& c) {
    temp_dir dir;
    write_lake_valley(dir.path(), c);
    std::vector<std::string> env;
    if (c.threads > 1) env.push_back(parallel_from_cells_env(16));
    const run_result r = run_pluvo({"valley.prj"}, dir.path(), "", env);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    return {read_file(dir.file("valley.sum")), read_file(dir.file("valley.otl"))};
}

// The run and lake balances of a summary. The event balance figures carry six
// decimals (m3), so they agree to 1e-9 relative or their last digit.
void expect_balances_close(const std::string& summary) {
    const double in = summary_value(summary, "Mass input + original mass:");
    const double out = summary_value(summary, "Mass output + final mass:");
    EXPECT_NEAR(out, in, std::max(1e-9 * in, 1e-6)) << summary;
    EXPECT_NEAR(summary_value(summary, "Overall mass balance error ="), 0.0, 1e-6) << summary;
    // The lake's own books: start + in - out = end (two decimals printed).
    EXPECT_NEAR(summary_value(summary, "Perennial lake mass bal error m^3="), 0.0, 0.01) << summary;
    EXPECT_GE(summary_value(summary, "Final volume in perennial lakes"), 0.0) << summary;
}

const int kOvertypes[] = {1, 2, 3};

// Under each scheme, with the lake draining straight into the channel and
// through a weir.
TEST(LakeValleyEndToEnd, RunoffReachingTheLakeGoesIntoItAndTheBalanceCloses) {
    for (const int overtype : kOvertypes) {
        for (const bool weir : {false, true}) {
            SCOPED_TRACE("OVERTYPE " + std::to_string(overtype) + (weir ? ", weir" : ""));
            lake_valley c;
            c.overtype = overtype;
            c.weir = weir;
            const std::string summary = run_valley(c).summary;
            expect_balances_close(summary);
            // The lake got more than the rain on its own cells: the planes
            // beside it ran onto it.
            const double rain = c.rain_volume();
            const double on_lake = summary_value(summary, "Volume precip to lakes=");
            const double into_lake = summary_value(summary, "Volume of flow into lakes=");
            EXPECT_NEAR(on_lake, c.rain_mm_h / 1000.0 / 60.0 * c.rain_minutes * c.lake_rows *
                                     c.cell * c.cell, 0.01) << summary;
            EXPECT_GT(into_lake, on_lake + 0.01 * rain) << summary;
            EXPECT_LT(into_lake, rain) << summary;
            // Some of it went on down the channel below the lake.
            EXPECT_GT(summary_value(summary, "Volume of flow from lakes="), 0.0) << summary;
        }
    }
}

// A lake filled 0.3 m above the land beside its pit (over the pit and the
// cells beside it) spills onto the land and drains into the channel; it
// gives what it holds and no more, and ends empty.
TEST(LakeValleyEndToEnd, SpillingLakeGivesNoMoreThanItHolds) {
    for (const int overtype : kOvertypes) {
        SCOPED_TRACE("OVERTYPE " + std::to_string(overtype));
        lake_valley c;
        c.overtype = overtype;
        c.lake_depth = c.pit + 0.3;
        c.rain_minutes = 5;
        const std::string summary = run_valley(c).summary;
        expect_balances_close(summary);
        const double start = summary_value(summary, "Initial volume in perennial lakes");
        const double end = summary_value(summary, "Final volume in perennial lakes");
        const double into_lake = summary_value(summary, "Volume of flow into lakes=");
        const double from_lake = summary_value(summary, "Volume of flow from lakes=");
        EXPECT_NEAR(start, c.initial_lake_volume(), 0.01) << summary;
        EXPECT_GT(from_lake, 0.5 * start) << summary;
        EXPECT_LE(from_lake, start + into_lake + 0.01) << summary;
        EXPECT_NEAR(end, 0.0, 0.01) << summary;
    }
}

TEST(LakeValleyEndToEnd, OneAndEightThreadsWriteIdenticalFiles) {
    for (const int overtype : kOvertypes) {
        SCOPED_TRACE("OVERTYPE " + std::to_string(overtype));
        std::string outputs[2];
        const int threads[2] = {1, 8};
        for (int k = 0; k < 2; ++k) {
            lake_valley c;
            c.overtype = overtype;
            c.threads = threads[k];
            const valley_run r = run_valley(c);
            const size_t from = r.summary.find("SIMULATION TOTALS");
            ASSERT_NE(from, std::string::npos);
            outputs[k] = r.outlet + "\n--\n" + r.summary.substr(from);
            EXPECT_GT(r.outlet.size(), 200u);
        }
        EXPECT_TRUE(outputs[0] == outputs[1]) << "outputs differ between 1 and 8 threads";
    }
}
}  // namespace
