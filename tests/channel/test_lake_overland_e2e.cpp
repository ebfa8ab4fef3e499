// The program with a lake of the channel network under rain: a valley whose
// top rows hold the lake in a pit of the middle column; the planes beside it
// run onto the lake cells and the lake drains into the channel below it.
// Every overland scheme runs it; the run balance closes, the lake gives no
// more than it holds, and one and eight threads write the same files. In a
// long-term run the lake loses the hourly open-water evaporation of the
// hydromet records.
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
    int long_term_days = 0;       // above 0: a long-term run of that many days of hourly
                                  // records (wind 6 knots, RH 60 %, 50 deg F) and one
                                  // event of `rain_mm_h` for an hour on the first day
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
    if (c.long_term_days > 0) {
        std::string kev;
        char line[128];
        for (int h = 0; h < c.long_term_days * 24; ++h) {
            std::snprintf(line, sizeof line, "2020 6 %d %d 29.92 60 40 6 50 300 450\n", h / 24 + 1, h % 24);
            kev += line;
        }
        write_file(dir + "/hmet.kev", kev);
        write_file(dir + "/rain.gag", "EVENT event1\nNRGAG 1\nNRPDS 2\nCOORD 50 100\nRATES 2020 6 1 6 0 " +
                                          fixed(c.rain_mm_h) + "\nRATES 2020 6 1 7 0 0.0\n");
        p.remove("PRECIP_UNIF").remove("RAIN_INTENSITY").remove("RAIN_DURATION");
        p.remove("START_DATE").remove("START_TIME").remove("TOT_TIME").remove("MAP_FREQ");
        p.remove("TIMESTEP").remove("HYD_FREQ");
        p.card("TOT_TIME", std::to_string(c.long_term_days * 1440)).card("TIMESTEP", "30");
        p.card("HYD_FREQ", "60").card("MAP_FREQ", std::to_string(c.long_term_days * 1440));
        p.card("PRECIP_FILE", "rain.gag").card("LONG_TERM").card("HMET_KEV", "hmet.kev");
        p.card("LATITUDE", "40").card("LONGITUDE", "105").card("GMT", "-7").card("ET_CALC_DEARDORFF");
        // Albedo 0.2 and Green-Ampt soils with redistribution (conductivity 0.5
        // cm/h, capillary head 10 cm, porosity 0.45, moisture 0.2, pore index
        // 0.4, residual 0.05).
        const struct {
            const char* card;
            const char* file;
            double value;
        } soils[] = {{"ALBEDO", "alb.asc", 0.2},         {"CONDUCTIVITY", "ks.asc", 0.5},
                     {"CAPILLARY", "hc.asc", 10.0},     {"POROSITY", "por.asc", 0.45},
                     {"MOISTURE", "moist.asc", 0.2},    {"PORE_INDEX", "pi.asc", 0.4},
                     {"RESIDUAL_SAT", "rs.asc", 0.05}};
        for (const auto& m : soils) {
            write_grid(dir + "/" + m.file, g, [&](int, int) { return m.value; }, 3);
            p.card(m.card, m.file);
        }
        p.card("INF_REDIST");
    }
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
// A long-term run: a still lake 5 cm deep in its pit (four 10-m cells, below
// the weir crest and the land beside it) loses each hour's evaporation
// E = a^-0.05 x 1.69e-4 x (W x 86.4) x (1 - RH/100) x 6.11 exp(17.3 T / (T +
// 273.3)) / 24 x A / 100 m3 (a = A in km2, W m/s, T deg C) over its constant
// area A, once per hydromet record; the lake and run balances close, and one
// and eight threads write the same files.
TEST(LakeValleyEndToEnd, LongTermStillLakeLosesTheHourlyEvaporation) {
    const double A = 4 * 10.0 * 10.0;   // m2
    const double W = 6 * 0.514444, RH = 60.0, T = (50.0 - 32.0) * 5.0 / 9.0;
    const double hourly = std::pow(A / 1e6, -0.05) * 1.69e-4 * (W * 86.4) * (1.0 - RH / 100.0) * 6.11 *
                          std::exp(17.3 * T / (T + 273.3)) / 24.0 * A / 100.0;   // m3
    const int days = 2;
    std::string outputs[2];
    const int threads[2] = {1, 8};
    for (int k = 0; k < 2; ++k) {
        SCOPED_TRACE(threads[k]);
        lake_valley c;
        c.weir = true;             // crest 0.1 m above the lake floor
        c.lake_depth = 0.05;
        c.rain_mm_h = 0.1;         // raises the lake by well under the 5 cm to the crest
        c.long_term_days = days;
        c.threads = threads[k];
        const valley_run r = run_valley(c);
        const std::string& s = r.summary;
        expect_balances_close(s);
        EXPECT_NEAR(summary_value(s, "Overall balance, relative error ="), 0.0, 1e-9) << s;
        // Still: no water left the lake, and it kept its four cells.
        EXPECT_NEAR(summary_value(s, "Volume of flow from lakes="), 0.0, 0.005) << s;
        // The lake's storage and evaporation to full precision.
        double start = 0.0, end = 0.0, evaporated = 0.0;
        const size_t at = s.find("Long-term channel lakes (m3):");
        ASSERT_NE(at, std::string::npos) << s;
        ASSERT_EQ(std::sscanf(s.c_str() + at, "Long-term channel lakes (m3): initial %lf final %lf evaporation %lf",
                              &start, &end, &evaporated), 3) << s;
        EXPECT_NEAR(evaporated, days * 24 * hourly, 1e-9 * days * 24 * hourly) << s;
        // Inflow: the rain on the lake cells (0.1 mm over 400 m2), printed to 2 decimals.
        const double in = summary_value(s, "Volume of flow into lakes=");
        EXPECT_NEAR(summary_value(s, "Volume precip to lakes="), 0.04, 0.005) << s;
        EXPECT_NEAR(start, 0.05 * A, 1e-9) << s;
        EXPECT_NEAR(end, start + in - evaporated, 0.005) << s;
        const size_t from = s.find("SIMULATION TOTALS");
        ASSERT_NE(from, std::string::npos);
        outputs[k] = r.outlet + "\n--\n" + s.substr(from);
    }
    EXPECT_TRUE(outputs[0] == outputs[1]) << "outputs differ between 1 and 8 threads";
}
}  // namespace
