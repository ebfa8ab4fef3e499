// End-to-end outputs at chosen locations: hydrograph locations of a V-shaped
// valley (two planes draining to a channel) with their per-location peaks and
// volumes on the optimization line and the link/node header of a gage-rain
// run; cell depth and discharge locations of a run without channels; and the
// water that overland point sources add, closing the balance.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "fixture.h"
#include "pluvo_test.h"

using namespace pluvo_test;

namespace {

std::string fixed(double v, int decimals = 6) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

// Rows of whitespace-separated numbers.
std::vector<std::vector<double>> read_rows(const std::string& path) {
    std::vector<std::vector<double>> rows;
    for (const std::string& line : split_lines(read_file(path))) {
        std::istringstream in(line);
        std::vector<double> row;
        double v = 0.0;
        while (in >> v) row.push_back(v);
        if (!row.empty()) rows.push_back(row);
    }
    return rows;
}

// Value after `label` in a text (NaN when the label is missing).
double value_after(const std::string& text, const std::string& label) {
    const size_t at = text.find(label);
    if (at == std::string::npos) return std::nan("");
    return std::atof(text.c_str() + at + label.size());
}

// ---------------------------------------------------------------------------
// V-shaped valley: `rows` x 9 cells of 10 m; the middle column holds one
// trapezoid link with a node under each cell, the planes on either side
// fall 1 % towards it and the valley 0.5 % towards the outlet at the south.
// One gage rains 50 mm/h from 2005-07-01 00:00 for one hour.

constexpr int kValleyRows = 20;
constexpr int kHalfWidth = 4;
constexpr double kCell = 10.0;        // m
constexpr double kRainMmH = 50.0;     // mm/h

void write_valley(const std::string& dir) {
    const int cols = 2 * kHalfWidth + 1, mid = kHalfWidth + 1;
    const double valley_slope = 0.005, side_slope = 0.01;
    grid_spec g;
    g.rows = kValleyRows;
    g.cols = cols;
    g.cell = kCell;
    g.north = kValleyRows * kCell;
    write_grid(dir + "/mask.asc", g, [](int, int) { return 1.0; }, 0);
    write_grid(dir + "/elev.asc", g, [&](int r, int c) {
        return 100.0 + valley_slope * kCell * (kValleyRows - r) + side_slope * kCell * std::abs(c - mid);
    });
    std::string chan = "PLUVO_CHAN\nALPHA 1.0\nBETA 1.0\nTHETA 1.0\nLINKS 1\nMAXNODES " +
                       std::to_string(kValleyRows) + "\nCONNECT 1 0 0\nLINK 1\nDX " + fixed(kCell) +
                       "\nNODES " + std::to_string(kValleyRows + 1) + "\nTRAPEZOID\nMANNINGS_N 0.035\n";
    for (int p = 1; p <= kValleyRows + 1; ++p) {
        chan += "NODE " + std::to_string(p) + "\nELEV " +
                fixed(99.0 + valley_slope * kCell * (kValleyRows + 0.5 - p)) + "\n";
        if (p == 1) chan += "XSEC\nBOTTOM_WIDTH 2.0\nSIDE_SLOPE 1.0\nBANKFULL_DEPTH 1.0\n";
    }
    write_file(dir + "/valley.chn", chan);
    std::string gst = "GRIDSTREAMFILE\nSTREAMCELLS " + std::to_string(kValleyRows) + "\n";
    for (int r = 1; r <= kValleyRows; ++r) gst += "NUMNODES 1\n";
    for (int r = 1; r <= kValleyRows; ++r)
        gst += "CELLIJ " + std::to_string(r) + " " + std::to_string(mid) + "\nLINKNODE 1 " +
               std::to_string(r) + " 1.0\n";
    write_file(dir + "/valley.gst", gst);
    // GAGES: the depth (mm) of the period that ends at the line.
    write_file(dir + "/rain.gag",
               "EVENT \"storm\"\nNRGAG 1\nNRPDS 3\nCOORD 0 0\nGAGES 2005 7 1 0 0 0\n"
               "GAGES 2005 7 1 1 0 " + fixed(kRainMmH, 1) + "\nGAGES 2005 7 1 2 0 0\n");
    // Locations: the middle of the link and its last node.
    write_file(dir + "/locations.txt", "2\n1 10\n1 " + std::to_string(kValleyRows) + "\n");
    project_file p;
    p.card("WATERSHED_MASK", "mask.asc")
        .card("ELEVATION", "elev.asc")
        .card("GRIDSIZE", kCell)
        .card("ROWS", std::to_string(kValleyRows))
        .card("COLS", std::to_string(cols))
        .card("TOT_TIME", "120")
        .card("TIMESTEP", "5")
        .card("OUTROW", std::to_string(kValleyRows))
        .card("OUTCOL", std::to_string(mid))
        .card("OUTSLOPE", valley_slope)
        .card("HYD_FREQ", "1")
        .card("MAP_FREQ", "120")
        .card("SUMMARY", "valley.sum")
        .card("OUTLET_HYDRO", "valley.otl")
        .card("PRECIP_FILE", "rain.gag")
        .card("RAIN_INV_DISTANCE")
        .card("MANNING_N", "0.05")
        .card("OVERTYPE", "1")
        .card("CHAN_EXPLIC")
        .card("CHANNEL_INPUT", "valley.chn")
        .card("STREAM_CELL", "valley.gst")
        .card("CHAN_DISCHARGE", "flow.lnd")
        .card("IN_HYD_LOCATION", "locations.txt")
        .card("OUT_HYD_LOCATION", "locations.out")
        .card("OPTIMIZE", "optim.out")
        .card("SUPER_QUIET");
    p.write(dir + "/valley.prj");
}

TEST(LocationOutputsEndToEnd, ValleyLocationsGivePeaksAndVolumesOfTheirOwnSeries) {
    temp_dir dir;
    write_valley(dir.path());
    const run_result r = run_pluvo({"valley.prj"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.out << r.err;

    // Optimization line of event 1: outlet peak and volume, then each location's;
    // then the end-of-run line: events + 1 and the run's discharge volume,
    // which for one event is the event's outlet volume (both m3).
    const auto optim = read_rows(dir.file("optim.out"));
    ASSERT_EQ(optim.size(), 2u) << read_file(dir.file("optim.out"));
    ASSERT_EQ(optim[0].size(), 7u) << read_file(dir.file("optim.out"));
    EXPECT_EQ(optim[0][0], 1.0);
    ASSERT_EQ(optim[1].size(), 2u);
    EXPECT_EQ(optim[1][0], 2.0);
    EXPECT_GT(optim[1][1], 0.0);
    EXPECT_NEAR(optim[1][1], optim[0][2], 0.1);   // the event line has one decimal

    // Location series: minute, then the discharge at each location (m3/s).
    const auto series = read_rows(dir.file("locations.out"));
    ASSERT_EQ(series.size(), 121u);
    for (int m = 1; m <= 2; ++m) {
        double peak = 0.0, volume = 0.0;
        for (const auto& row : series) {
            ASSERT_EQ(row.size(), 3u);
            peak = std::max(peak, row[static_cast<size_t>(m)]);
            volume += row[static_cast<size_t>(m)] * 60.0;   // one-minute rows, m3
        }
        const double line_peak = optim[0][1 + 2 * static_cast<size_t>(m)];
        const double line_volume = optim[0][2 + 2 * static_cast<size_t>(m)];
        // The tracked peak is the largest discharge of every step; the rows
        // sample it each minute on a flat equilibrium (both printed to 1e-3).
        EXPECT_NEAR(line_peak, peak, 1.5e-3) << "location " << m;
        EXPECT_NEAR(line_volume, volume, 0.01 * volume) << "location " << m;
        EXPECT_GT(line_peak, 0.0);
    }
    // The last node is the outlet: at equilibrium it passes rain x area, and
    // its volume is the outlet's.
    const double rain_flow = kRainMmH / 3.6e6 * kValleyRows * (2 * kHalfWidth + 1) * kCell * kCell;
    EXPECT_NEAR(optim[0][5], rain_flow, 0.01 * rain_flow);
    EXPECT_NEAR(optim[0][1], optim[0][5], 1e-3);
    EXPECT_NEAR(optim[0][2], optim[0][6], 0.1);
    // Half-way down the link less water passes than at the outlet.
    EXPECT_LT(optim[0][3], 0.6 * optim[0][5]);

    // The link/node dataset starts at the first rain of the gage file.
    const std::string flow = read_file(dir.file("flow.lnd"));
    EXPECT_NE(flow.find("START_TIME     1  7 2005  0  0  0\n"), std::string::npos) << flow.substr(0, 200);
}

// ---------------------------------------------------------------------------
// A plane of 6 x 5 cells of 10 m draining south, without channels.

project_file write_plane(const temp_dir& dir, double rain_mm_h) {
    plane_case c;
    c.grid.rows = 6;
    c.grid.cols = 5;
    c.total_minutes = 30;
    c.rain_minutes = 20;
    c.rain_mm_h = rain_mm_h;
    c.timestep = 5.0;
    return write_plane_case(dir.path(), c);
}

TEST(LocationOutputsEndToEnd, CellLocationsWithoutChannelsCarryTheMapValues) {
    temp_dir dir;
    project_file p = write_plane(dir, 50.0);
    std::filesystem::create_directory(dir.file("maps"));
    write_file(dir.file("cells.txt"), "2\n3 3\n6 3\n");
    // A row every step (0.1 minute rounds down to one 5 s step) and maps
    // every 10 minutes from the first step on.
    p.remove("HYD_FREQ").card("HYD_FREQ", "0.1").remove("MAP_FREQ").card("MAP_FREQ", "10");
    p.card("IN_CELLDEPDIS_LOCATION", "cells.txt")
        .card("OUT_CELLDEPDIS_LOCATION", "cells.out")
        .card("DEPTH", "maps")
        .card("DISCHARGE", "maps");
    p.write(dir.file("plane.prj"));
    const run_result r = run_pluvo({"plane.prj"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.out << r.err;

    // Rows: minute, the depth (m) of each cell, then the discharge (m3/s) of each.
    const auto rows = read_rows(dir.file("cells.out"));
    ASSERT_EQ(rows.size(), 30u * 12u + 1u);
    const int cells[2][2] = {{3, 3}, {6, 3}};
    for (int k = 1; k <= 3; ++k) {
        const double minute = (1 + (k - 1) * 120) * 5.0 / 60.0;   // map k: step 1 + (k-1) x 120
        const auto row = std::find_if(rows.begin(), rows.end(), [&](const std::vector<double>& v) {
            return std::fabs(v[0] - minute) < 1e-6;
        });
        ASSERT_NE(row, rows.end()) << "minute " << minute;
        ASSERT_EQ(row->size(), 5u);
        char name[64];
        std::snprintf(name, sizeof name, "maps/depth.%04d.asc", k);
        const auto depth = read_rows(dir.file(name));
        std::snprintf(name, sizeof name, "maps/discharge.%04d.asc", k);
        const auto discharge = read_rows(dir.file(name));
        ASSERT_EQ(depth.size(), 6u);   // the rows (the header lines hold words)
        ASSERT_EQ(discharge.size(), 6u);
        for (int m = 0; m < 2; ++m) {
            const auto at = [&](const std::vector<std::vector<double>>& map) {
                return map[static_cast<size_t>(cells[m][0] - 1)][static_cast<size_t>(cells[m][1] - 1)];
            };
            // The maps print four decimals.
            EXPECT_NEAR((*row)[static_cast<size_t>(1 + m)], at(depth), 5.1e-5) << name << " cell " << m;
            EXPECT_NEAR((*row)[static_cast<size_t>(3 + m)], at(discharge), 5.1e-5) << name << " cell " << m;
        }
        if (k > 1) {
            EXPECT_GT((*row)[1], 1e-3);   // water stands on the plane
        }
    }
}

TEST(LocationOutputsEndToEnd, OverlandPointSourcesAddTheirVolumeAndTheBalanceCloses) {
    // Two sources of 0.2 m3/s on a plane without constituents, under rain.
    temp_dir dir;
    project_file p = write_plane(dir, 50.0);
    write_file(dir.file("sources.txt"), "2\n2 2 0.2\n2 4 0.2\n");
    p.card("OV_POINT_SOURCE", "sources.txt");
    p.write(dir.file("plane.prj"));
    const run_result r = run_pluvo({"plane.prj"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::string summary = read_file(dir.file("summ.out"));

    const double sources = value_after(summary, "volume from overland point sources:");
    const double run_sources = value_after(summary, "Total overland point sources=");
    const double rate = 0.4;                  // m3/s
    const double seconds = 30.0 * 60.0;       // the run
    const double rain = 50.0 / 3.6e6 * 20.0 * 60.0 * 30.0 * 100.0;   // m3 on 30 cells
    EXPECT_NEAR(sources, rate * seconds, 0.05 + 1e-9) << summary;
    EXPECT_NEAR(run_sources, sources, 0.05);
    const double in = value_after(summary, "Mass input + original mass:");
    const double out = value_after(summary, "Mass output + final mass:");
    // The clock counts in Julian days (about 5e-5 s per step at today's dates),
    // so the elapsed seconds of the sources carry a relative error near 1e-8.
    EXPECT_NEAR(in, rain + rate * seconds, 1e-7 * in) << summary;
    // Closed to 1e-9 relative, within the six decimals (m3) the summary prints.
    EXPECT_NEAR(out, in, 1e-9 * in + 1e-6) << summary;
    EXPECT_GT(value_after(summary, "Total amount of discharge="), 0.5 * rate * seconds);
}

}  // namespace
