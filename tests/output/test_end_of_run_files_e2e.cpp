// End-of-run files of a valley run: the channel and overland hotstarts read
// as the start of a second run reproduce the first run's final storages, the
// ZOV file carries the outlet hydrograph, the adjusted elevation map holds
// the ground the run ended with, and every grid dataset ends with exactly one
// terminator of its form while link/node files end with none.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "fixture.h"
#include "pluvo_test.h"
#include "valley.h"

using namespace pluvo_test;

namespace {

constexpr int kRows = 12, kCols = 5, kMid = 3;
constexpr double kCell = 10.0, kSlope = 0.005, kSide = 0.01;

double ground(int r, int c) {
    return 100.0 + kSlope * kCell * (kRows - r) + kSide * kCell * std::abs(c - kMid);
}

// A valley of 12 x 5 cells whose middle column holds the channel.
project_file write_valley(const std::string& dir, double rain_mm_h, int total_minutes) {
    grid_spec g;
    g.rows = kRows;
    g.cols = kCols;
    g.cell = kCell;
    g.north = kRows * kCell;
    write_grid(dir + "/mask.asc", g, [](int, int) { return 1.0; }, 0);
    write_grid(dir + "/elev.asc", g, ground, 6);
    write_valley_channel(dir, kRows, kMid, kCell, kSlope);
    project_file p = valley_project({kRows, kCols, kCell, kMid, kSlope, total_minutes, 5.0,
                                     rain_mm_h, 60});
    p.card("SUPER_QUIET");
    return p;
}

double summary_value(const std::string& text, const std::string& label) {
    const size_t at = text.find(label);
    if (at == std::string::npos) return std::nan("");
    return std::atof(text.c_str() + at + label.size());
}

// Numbers of each line of a text.
std::vector<std::vector<double>> number_rows(const std::string& text) {
    std::vector<std::vector<double>> rows;
    for (const std::string& line : split_lines(text)) {
        std::istringstream in(line);
        std::vector<double> row;
        double v;
        while (in >> v) row.push_back(v);
        if (!row.empty()) rows.push_back(row);
    }
    return rows;
}

// The cell values of a bounds grid (six header lines, then the rows).
std::vector<std::vector<double>> grid_values(const std::string& text) {
    std::vector<std::string> lines = split_lines(text);
    EXPECT_GE(lines.size(), 6u + kRows);
    EXPECT_EQ(lines[4].substr(0, 5), "rows:");
    EXPECT_EQ(lines[5].substr(0, 5), "cols:");
    lines.erase(lines.begin(), lines.begin() + 6);
    std::string body;
    for (const std::string& l : lines) body += l + "\n";
    return number_rows(body);
}

TEST(EndOfRunFilesEndToEnd, HotstartsRestartTheStoragesTheFirstRunEndedWith) {
    temp_dir dir;
    // Run 1: 20 minutes of a storm, hotstarts, ZOV file and elevation map.
    project_file first = write_valley(dir.path(), 50.0, 20);
    first.card("WRITE_CHAN_HOTSTART", "hot")
        .card("WRITE_OV_HOTSTART", "ovhot.asc")
        .card("ADJUST_ELEV", "adjusted.asc")
        .card("ZOV_HYDRO", "valley.zov");
    first.write(dir.file("first.prj"));
    const run_result r1 = run_pluvo({"first.prj"}, dir.path());
    ASSERT_EQ(r1.status, 0) << r1.out << r1.err;
    const std::string sum1 = read_file(dir.file("valley.sum"));

    // One line per node of the link, "node link value"; levels stand at or
    // above the bed, discharges grow down the link under uniform rain.
    const auto levels = number_rows(read_file(dir.file("hot.dht")));
    const auto flows = number_rows(read_file(dir.file("hot.qht")));
    ASSERT_EQ(levels.size(), static_cast<size_t>(kRows));
    ASSERT_EQ(flows.size(), static_cast<size_t>(kRows));
    for (int k = 1; k <= kRows; ++k) {
        const auto& l = levels[static_cast<size_t>(k - 1)];
        const auto& q = flows[static_cast<size_t>(k - 1)];
        ASSERT_EQ(l.size(), 3u);
        ASSERT_EQ(q.size(), 3u);
        EXPECT_EQ(l[0], k);
        EXPECT_EQ(l[1], 1.0);
        EXPECT_EQ(q[0], k);
        const double bed = 99.0 + kSlope * kCell * (kRows - k);
        EXPECT_GT(l[2], bed) << "node " << k;
        if (k > 1) {
            EXPECT_GT(q[2], flows[static_cast<size_t>(k - 2)][2]) << "node " << k;
        }
    }

    // The ZOV file: its header, then each outlet row's discharge in order.
    const auto outlet = read_hydrograph(dir.file("valley.otl"));
    const std::vector<std::string> zov = split_lines(read_file(dir.file("valley.zov")));
    ASSERT_GE(zov.size(), 7u);
    EXPECT_EQ(zov[0], "PLUVIAX_ZOV_HYDROGRAPH_FILE");
    EXPECT_EQ(zov[1], "0");
    EXPECT_EQ(zov[2], "20200601");
    EXPECT_EQ(zov[3], "0");
    EXPECT_EQ(zov[4], "12");   // one-minute rows of 5 s steps
    EXPECT_EQ(zov[5], std::to_string(outlet.size()));
    std::vector<double> values;
    for (size_t i = 6; i < zov.size(); ++i) {
        std::istringstream in(zov[i]);
        double v;
        int on_line = 0;
        while (in >> v) {
            values.push_back(v);
            ++on_line;
        }
        EXPECT_LE(on_line, 10);
    }
    ASSERT_EQ(values.size(), outlet.size());
    for (size_t i = 0; i < values.size(); ++i) EXPECT_NEAR(values[i], outlet[i].second, 5e-4) << i;

    // Without erosion the ground stays as read.
    const auto elev = grid_values(read_file(dir.file("adjusted.asc")));
    ASSERT_EQ(elev.size(), static_cast<size_t>(kRows));
    for (int r = 1; r <= kRows; ++r) {
        ASSERT_EQ(elev[static_cast<size_t>(r - 1)].size(), static_cast<size_t>(kCols));
        for (int c = 1; c <= kCols; ++c)
            EXPECT_NEAR(elev[static_cast<size_t>(r - 1)][static_cast<size_t>(c - 1)], ground(r, c), 1e-6);
    }

    // Run 2 starts from the hotstarts under a trace of rain (the program asks
    // for some; 1e-3 mm/h adds under 1e-6 m3): its initial storages are
    // the first run's final ones, to the six decimals of the hotstart values
    // (1e-6 m over 60 cells of 100 m2 and 120 m of channel) and the two of
    // the summary.
    project_file second = write_valley(dir.path(), 1e-3, 2);
    second.card("READ_CHAN_HOTSTART", "hot").card("READ_OV_HOTSTART", "ovhot.asc");
    second.remove("SUMMARY").card("SUMMARY", "second.sum");
    second.remove("OUTLET_HYDRO").card("OUTLET_HYDRO", "second.otl");
    second.write(dir.file("second.prj"));
    const run_result r2 = run_pluvo({"second.prj"}, dir.path());
    ASSERT_EQ(r2.status, 0) << r2.out << r2.err;
    const std::string sum2 = read_file(dir.file("second.sum"));
    const double surface1 = summary_value(sum1, "Final volume on surface=");
    const double channel1 = summary_value(sum1, "Final volume in channels=");
    ASSERT_GT(surface1, 1.0) << sum1;
    ASSERT_GT(channel1, 1.0) << sum1;
    EXPECT_NEAR(summary_value(sum2, "Initial volume on surface="), surface1, 0.02) << sum2;
    EXPECT_NEAR(summary_value(sum2, "Initial volume in channels="), channel1, 0.02) << sum2;
}

// The 4-byte little-endian integer at `pos` of a byte string.
int32_t int_at(const std::string& bytes, size_t pos) {
    uint32_t v = 0;
    for (int b = 0; b < 4; ++b)
        v |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[pos + static_cast<size_t>(b)])) << (8 * b);
    return static_cast<int32_t>(v);
}

TEST(EndOfRunFilesEndToEnd, EachDatasetEndsWithOneTerminatorOfItsForm) {
    struct dataset_case {
        int map_type;        // 0 per-time grids, 1 ASCII datasets, 2 binary datasets
        const char* card;    // output card
        const char* file;    // file the card names
        int terminator;      // 0 none, 1 "ENDDS\n", 2 the integer 210
    };
    const dataset_case cases[] = {
        {1, "DEPTH", "depth.dat", 1},        {1, "DISCHARGE", "q.dat", 1},
        {1, "DIS_RAIN", "rain.dat", 1},      {1, "FLOOD_GRID", "flood.dat", 1},
        {1, "CHAN_DEPTH", "chan.lnd", 0},    {2, "DEPTH", "depth.bin", 2},
        {2, "DISCHARGE", "q.bin", 2},        {2, "DIS_RAIN", "rain.bin", 2},
        {2, "FLOOD_GRID", "flood.bin", 2},   {2, "CHAN_DEPTH", "chan.lnd", 0},
        {0, "FLOOD_GRID", "flood.asc", 0},   {0, "CHAN_DEPTH", "chan.lnd", 0},
        {1, "SNOW_SWE_FILE", "swe.dat", 1},  {2, "SNOW_SWE_FILE", "swe.bin", 2},
        // A contaminant's maps and link/node files (cards of every map type below).
        {1, "", "tracer.conc", 1},           {1, "", "tracer.mass", 1},
        {2, "", "tracer.conc", 2},           {2, "", "tracer.mass", 2},
        {0, "", "tracer.chan.conc", 0},      {1, "", "tracer.chan.mass", 0},
        {2, "", "tracer.chan.conc", 0},
    };
    for (int map_type = 0; map_type <= 2; ++map_type) {
        SCOPED_TRACE("map type " + std::to_string(map_type));
        temp_dir dir;
        project_file p = write_valley(dir.path(), 50.0, 10);
        p.remove("MAP_FREQ").card("MAP_FREQ", "3").card("MAP_TYPE", std::to_string(map_type));
        for (const dataset_case& c : cases)
            if (c.map_type == map_type && c.card[0] != '\0') p.card(c.card, c.file);
        grid_spec g;
        g.rows = kRows;
        g.cols = kCols;
        g.cell = kCell;
        g.north = kRows * kCell;
        write_grid(dir.file("con.idx"), g, [](int, int) { return 1.0; }, 0);
        std::filesystem::create_directory(dir.file("tracer"));   // per-time grids of map type 0
        std::string row = "1     row";
        row.resize(86, ' ');
        write_file(dir.file("table.cmt"),
                   "PLUVO_INDEX_MAP_TABLES\nINDEX_MAP con.idx \"Con\"\nCONTAMINANT_TRANSPORT\nNUM_CONTAM 1\n"
                   "\"Tracer\" \"Con\" \"tracer\"\nPRECIP_CONC 10\nNUM_IDS 1\nID    DESCRIPTION\n" +
                       row + "0 0 0 0 0 0 0 0\n");
        p.card("MAPPING_TABLE", "table.cmt").card("OV_CON_TRANS").card("CHAN_CON_TRANS").card("ALL_CONTAM_OUTPUT");
        p.write(dir.file("valley.prj"));
        const run_result r = run_pluvo({"valley.prj"}, dir.path());
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        for (const dataset_case& c : cases) {
            if (c.map_type != map_type) continue;
            SCOPED_TRACE(c.file);
            const std::string text = read_file(dir.file(c.file));
            ASSERT_GT(text.size(), 8u);
            const int endds = count_of(text, "ENDDS");
            const bool ends_210 = int_at(text, text.size() - 4) == 210;
            switch (c.terminator) {
                case 0:
                    EXPECT_EQ(endds, 0);
                    EXPECT_FALSE(ends_210);
                    break;
                case 1:
                    EXPECT_EQ(endds, 1);
                    EXPECT_EQ(text.substr(text.size() - 6), "ENDDS\n");
                    break;
                default:
                    // A value record ends in a double; a second closing record
                    // would put 210 in the four bytes before the last.
                    EXPECT_TRUE(ends_210);
                    EXPECT_NE(int_at(text, text.size() - 8), 210);
                    EXPECT_EQ(endds, 0);
                    break;
            }
        }
    }
}

// With hydrograph locations the ZOV file heads each location series and
// carries its rows after the outlet's; the end-of-run files are the same
// byte for byte with 1 and 8 threads.
TEST(EndOfRunFilesEndToEnd, ZovLocationSeriesAndThreadCountsAgree) {
    std::string files[2][5];
    const char* names[5] = {"valley.zov", "hot.dht", "hot.qht", "ovhot.asc", "locations.out"};
    for (int run = 0; run < 2; ++run) {
        temp_dir dir;
        project_file p = write_valley(dir.path(), 50.0, 15);
        write_file(dir.file("locations.txt"), "2\n1 6\n1 12\n");
        p.card("IN_HYD_LOCATION", "locations.txt")
            .card("OUT_HYD_LOCATION", "locations.out")
            .card("ZOV_HYDRO", "valley.zov")
            .card("WRITE_CHAN_HOTSTART", "hot")
            .card("WRITE_OV_HOTSTART", "ovhot.asc")
            .card("NUM_THREADS", run == 0 ? "1" : "8");
        p.write(dir.file("valley.prj"));
        const run_result r = run_pluvo({"valley.prj"}, dir.path());
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        for (int k = 0; k < 5; ++k) files[run][k] = read_file(dir.file(names[k]));
    }
    for (int k = 0; k < 5; ++k) EXPECT_EQ(files[0][k], files[1][k]) << names[k];

    const auto series = number_rows(files[0][4]);   // minute, then one discharge per location
    const std::vector<std::string> zov = split_lines(files[0][0]);
    ASSERT_GE(zov.size(), 8u);
    EXPECT_EQ(zov[1], "2");
    EXPECT_EQ(zov[5], std::to_string(series.size()));
    EXPECT_EQ(zov[6], "Link 1 Node 6");
    EXPECT_EQ(zov[7], "Link 1 Node 12");
    // The values follow the headers by count: the outlet's rows, then each
    // location's (each series begins after a line end of its own).
    std::vector<double> values;
    for (size_t i = 8; i < zov.size(); ++i) {
        std::istringstream in(zov[i]);
        double v;
        while (in >> v) values.push_back(v);
    }
    const size_t n = series.size();
    ASSERT_EQ(values.size(), 3 * n);
    std::vector<std::vector<double>> blocks;
    for (size_t b = 0; b < 3; ++b)
        blocks.emplace_back(values.begin() + static_cast<std::ptrdiff_t>(b * n),
                            values.begin() + static_cast<std::ptrdiff_t>((b + 1) * n));
    for (size_t m = 1; m <= 2; ++m) {
        for (size_t i = 0; i < n; ++i) {
            ASSERT_EQ(series[i].size(), 3u);
            EXPECT_NEAR(blocks[m][i], series[i][m], 5e-5) << "location " << m << " row " << i;
        }
    }
    // The last node is the outlet node: its series is the outlet's.
    EXPECT_NEAR(blocks[0].back(), blocks[2].back(), 2e-3);
}

// A solved aquifer under redistributing soils whose table stands at the
// ground in the upper half of the valley and 1.5 m down in the lower half:
// the saturated-source map marks the first row's cells, held at the ground,
// and none where the table starts 1.5 m down; the head map holds the fixed
// heads of the first row as given; the head dataset ends with one terminator.
TEST(EndOfRunFilesEndToEnd, SaturatedSourcesAndGroundwaterHeadMaps) {
    temp_dir dir;
    const std::string d = dir.path();
    project_file p = write_valley(d, 50.0, 20);
    grid_spec g;
    g.rows = kRows;
    g.cols = kCols;
    g.cell = kCell;
    g.north = kRows * kCell;
    auto table = [](int r, int c) { return ground(r, c) - (r <= kRows / 2 ? 0.0 : 1.5); };
    auto map = [&](const char* card, const char* file, double value) {
        write_grid(d + "/" + file, g, [&](int, int) { return value; }, 3);
        p.card(card, file);
    };
    write_grid(d + "/wt.asc", g, table, 6);
    write_grid(d + "/bottom.asc", g, [](int r, int c) { return ground(r, c) - 6.0; }, 6);
    write_grid(d + "/gwbound.asc", g,
               [](int r, int c) { return c == kMid ? 4.0 : (r == 1 ? 2.0 : 1.0); }, 0);
    map("CONDUCTIVITY", "ks.asc", 1.0);
    map("CAPILLARY", "hc.asc", 11.0);
    map("POROSITY", "por.asc", 0.45);
    map("MOISTURE", "moist.asc", 0.15);
    map("PORE_INDEX", "pi.asc", 0.3);
    map("RESIDUAL_SAT", "thr.asc", 0.05);
    p.card("SOIL_MOIST_DEPTH", "0.8")
        .card("INF_REDIST")
        .card("K_RIVER", "0.36")
        .card("M_RIVER", "0.5")
        .card("WATER_TABLE", "wt.asc")
        .card("GW_SIMULATION")
        .card("AQUIFER_BOTTOM", "bottom.asc")
        .card("GW_BOUNDFILE", "gwbound.asc")
        .card("GW_UNIF_HYCOND", "36")
        .card("GW_UNIF_POROSITY", "0.3")
        .card("GW_RELAX_COEFF", "1.2")
        .card("GW_LSOR_CON", "1e-12")
        .card("GW_TIMESTEP", "60")
        .card("GW_LEAKAGE_RATE", "0")
        .card("MAP_TYPE", "1")
        .card("GW_OUTPUT", "heads.dat");
    p.write(dir.file("valley.prj"));
    const run_result r = run_pluvo({"valley.prj"}, d);
    ASSERT_EQ(r.status, 0) << r.out << r.err;

    const std::string sat_text = read_file(dir.file("satsource_file"));
    const std::vector<std::string> sat_lines = split_lines(sat_text);
    ASSERT_GE(sat_lines.size(), 6u);
    char expected_rows[32];
    std::snprintf(expected_rows, sizeof expected_rows, "rows: %5d", kRows);
    EXPECT_EQ(sat_lines[4], expected_rows);
    const auto sat = grid_values(sat_text);
    ASSERT_EQ(sat.size(), static_cast<size_t>(kRows));
    // The first row's fixed heads stand at the ground: saturated sources at
    // the end; a table 1.5 m down cannot reach the ground from 17 mm of rain;
    // the stream cells are no aquifer cells.
    for (int row = 1; row <= kRows; ++row) {
        ASSERT_EQ(sat[static_cast<size_t>(row - 1)].size(), static_cast<size_t>(kCols));
        for (int c = 1; c <= kCols; ++c) {
            const double v = sat[static_cast<size_t>(row - 1)][static_cast<size_t>(c - 1)];
            const double want = (row == 1 && c != kMid) ? 1.0 : 0.0;
            if (row == 1 || row > kRows / 2 || c == kMid) {
                EXPECT_EQ(v, want) << "row " << row << " col " << c << "\n" << sat_text;
            } else {
                EXPECT_TRUE(v == 0.0 || v == 1.0) << v;
            }
        }
    }
    // The head dataset of the run ends with one terminator.
    const std::string head_set = read_file(dir.file("heads.dat"));
    EXPECT_EQ(count_of(head_set, "ENDDS"), 1);
    EXPECT_EQ(head_set.substr(head_set.size() - 6), "ENDDS\n");

    const auto heads = grid_values(read_file(dir.file("hotstart_file")));
    ASSERT_EQ(heads.size(), static_cast<size_t>(kRows));
    for (int c = 1; c <= kCols; ++c) {
        if (c == kMid) continue;
        EXPECT_NEAR(heads[0][static_cast<size_t>(c - 1)], table(1, c), 1e-6) << "col " << c;
    }
    for (int row = 1; row <= kRows; ++row)
        for (int c = 1; c <= kCols; ++c) {
            const double h = heads[static_cast<size_t>(row - 1)][static_cast<size_t>(c - 1)];
            EXPECT_GT(h, ground(row, c) - 6.0) << row << " " << c;
            EXPECT_LT(h, ground(row, c) + 0.01) << row << " " << c;
        }
}

// The soil moisture hotstart holds the water content the reader puts
// back: under plain Green-Ampt the initial content (the scheme keeps its
// wetting front apart), under redistribution a content that 20
// minutes of rain above the conductivity raise above the initial 0.15 and
// no higher than the porosity 0.45: its soil store's mean content, so that,
// read as the start of a second run, it gives that run the soil water the
// first one ended with.
TEST(EndOfRunFilesEndToEnd, SoilMoistureHotstartRestartsTheSoilWater) {
    for (bool redistribution : {false, true}) {
        SCOPED_TRACE(redistribution ? "redistribution" : "Green-Ampt");
        temp_dir dir;
        const std::string d = dir.path();
        grid_spec g;
        g.rows = kRows;
        g.cols = kCols;
        g.cell = kCell;
        g.north = kRows * kCell;
        auto soil = [&](project_file& p) {
            auto map = [&](const char* card, const char* file, double value) {
                write_grid(d + "/" + file, g, [&](int, int) { return value; }, 3);
                p.card(card, file);
            };
            map("CONDUCTIVITY", "ks.asc", 1.0);
            map("CAPILLARY", "hc.asc", 11.0);
            map("POROSITY", "por.asc", 0.45);
            map("MOISTURE", "moist.asc", 0.15);
            if (redistribution) {
                map("PORE_INDEX", "pi.asc", 0.3);
                map("RESIDUAL_SAT", "thr.asc", 0.05);
                p.card("SOIL_MOIST_DEPTH", "0.8").card("INF_REDIST");
            } else {
                p.card("GREEN_AMPT");
            }
        };
        project_file first = write_valley(d, 50.0, 20);
        soil(first);
        first.card("WRITE_SM_HOTSTART", "sm.asc");
        first.write(dir.file("first.prj"));
        const run_result r1 = run_pluvo({"first.prj"}, d);
        ASSERT_EQ(r1.status, 0) << r1.out << r1.err;
        const auto theta = grid_values(read_file(dir.file("sm.asc")));
        ASSERT_EQ(theta.size(), static_cast<size_t>(kRows));
        for (const auto& row : theta) {
            ASSERT_EQ(row.size(), static_cast<size_t>(kCols));
            for (double v : row) {
                if (redistribution) {
                    EXPECT_GT(v, 0.15 + 1e-3);
                    EXPECT_LE(v, 0.45 + 1e-9);
                } else {
                    EXPECT_NEAR(v, 0.15, 1e-9);
                }
            }
        }
        if (!redistribution) continue;
        project_file second = write_valley(d, 1e-3, 2);
        soil(second);
        second.card("READ_SM_HOTSTART", "sm.asc");
        second.remove("SUMMARY").card("SUMMARY", "second.sum");
        second.remove("OUTLET_HYDRO").card("OUTLET_HYDRO", "second.otl");
        second.write(dir.file("second.prj"));
        const run_result r2 = run_pluvo({"second.prj"}, d);
        ASSERT_EQ(r2.status, 0) << r2.out << r2.err;
        const std::string sum1 = read_file(dir.file("valley.sum"));
        const std::string sum2 = read_file(dir.file("second.sum"));
        const char* soil_label_init = "Initial volume in soil over simple soil depth";
        const double final1 = summary_value(sum1, "Final volume in soil over simple soil depth");
        ASSERT_GT(final1, summary_value(sum1, soil_label_init) + 1.0) << sum1;
        // Contents printed with six decimals over 0.8 m of 6000 m2, volumes with two.
        EXPECT_NEAR(summary_value(sum2, soil_label_init), final1, 0.02) << sum2;
    }
}

}  // namespace
