// End-to-end runs of the overland boundaries, pumps and low spots through the
// program on generated projects: a basin filled from a held level, a plane
// draining over a free-outflow edge, pumps taking and giving water, the
// summary's balance, thread-count independence and bad inputs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "boundary_case.h"

using namespace boundary_test;

namespace {

// A closed flat 5 x 5 basin of 10 m cells (columns 1-5) whose middle cell of
// the east side (row 3, column 5) is of type 2, held 0.2 m above its ground
// and starting at that depth, and a dry outlet cell (row 1, column 7) that
// touches nothing.
boundary_case held_basin() {
    boundary_case c;
    c.grid.rows = 5;
    c.grid.cols = 7;
    c.grid.cell = 10.0;
    c.in_mask = [](int r, int col) { return col <= 5 || (r == 1 && col == 7); };
    c.boundary_id = [](int r, int col) { return (r == 3 && col == 5) ? 2 : 1; };
    c.rows = {{0, 0}, {2, 100.2}};
    c.outrow = 1;
    c.outcol = 7;
    c.manning = 0.03;
    c.total_minutes = 120;
    c.timestep = 5.0;
    return c;
}

// Writes the basin's start depths (the held cell at its level).
void write_basin_start(const temp_dir& dir, const boundary_case& c) {
    write_grid(dir.file("start.asc"), c.grid, [](int r, int col) { return (r == 3 && col == 5) ? 0.2 : 0.0; }, 3);
}

// Runs case.prj in `dir`; the summary text.
std::string run_case(const temp_dir& dir, const std::vector<std::string>& env = {}) {
    run_result r = run_pluvo({"case.prj"}, dir.path(), "", env);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    return read_file(dir.file("summ.out"));
}

}  // namespace

// Reference: the basin ends level with the held cell, 0.2 m deep, so its 24
// other cells gain 24 x 100 m2 x 0.2 m = 480 m3 from the boundary. The
// levels never pass the held level on the way (max depth within 1 mm).
// Every overland scheme holds the cell: explicit, ADE and ADE-PC.
TEST(OverlandBoundaryRun, HeldLevelFillsAClosedBasinToItsLevel) {
  for (int scheme : {1, 2, 3}) {
    SCOPED_TRACE("OVERTYPE " + std::to_string(scheme));
    temp_dir dir;
    boundary_case c = held_basin();
    c.overtype = scheme;
    write_basin_start(dir, c);
    write_boundary_case(dir, c)
        .card("OV_INIT_DEPTH", "start.asc")
        .card("FLOOD_GRID", "flood.asc")
        .write(dir.file("case.prj"));
    const std::string summary = run_case(dir);

    const std::vector<double> top = grid_values(read_file(dir.file("flood.asc")));
    ASSERT_EQ(top.size(), 35u);
    for (int r = 0; r < 5; ++r)
        for (int col = 0; col < 5; ++col)
            EXPECT_NEAR(top[static_cast<size_t>(r * 7 + col)], 0.2, 0.001) << r + 1 << " " << col + 1;
    // Still full at the end: the basin's 500 m3.
    EXPECT_NEAR(number_after(summary, "volume remaining on surface:"), 500.0, 0.001 * 24 * 100.0)
        << summary;
    const double gain = number_after(summary, "Volume gained from specified head boundary:");
    EXPECT_NEAR(gain, 480.0, 0.005 * 480.0) << summary;
    EXPECT_NEAR(number_after(summary, "Volume lost to specified head boundary:"), 0.0, 0.005) << summary;
    expect_balance_closes(summary);
  }
}

namespace {

// A closed 6 x 6 basin of 10 m cells, its ground falling 0.02 m a cell away
// from the north-west corner (100.2 m there, 100.0 m at the far corner),
// dry at the start. Its outlet is the north-west corner cell, held by a
// level series at 101 m.
boundary_case held_outlet_basin() {
    boundary_case c;
    c.grid.rows = 6;
    c.grid.cols = 6;
    c.grid.cell = 10.0;
    c.ground = [](int r, int col) { return 100.2 - 0.02 * ((r - 1) + (col - 1)); };
    c.boundary_id = [](int r, int col) { return (r == 1 && col == 1) ? 2 : 1; };
    c.rows = {{0, 0}, {3, 1}};
    c.extra_table = "TIME_SERIES_INDEX\nNUM_IDS 1\nID    SERIES\n1     LEVEL\n";
    c.outrow = 1;
    c.outcol = 1;
    c.manning = 0.03;
    c.total_minutes = 60;
    c.timestep = 5.0;
    return c;
}

}  // namespace

// Reference: the held outlet fills the basin until every cell stands at its
// level, 101 m: sum over the cells of (101 - ground) x 100 m2 = 3240 m3 on
// the surface, given by the boundary. The water the held outlet gives is
// boundary inflow under every scheme, so the flow goes on after the first
// step and the balance closes; 1 and 8 threads write the same files.
TEST(OverlandBoundaryRun, HeldLevelOutletFillsTheBasinUnderEveryScheme) {
    double stored = 0.0;   // m3 at 101 m
    for (int r = 1; r <= 6; ++r)
        for (int col = 1; col <= 6; ++col) stored += (101.0 - held_outlet_basin().ground(r, col)) * 100.0;
    for (int scheme : {1, 2, 3}) {
        std::string outputs[2];
        const int threads[2] = {1, 8};
        for (int k = 0; k < 2; ++k) {
            SCOPED_TRACE("OVERTYPE " + std::to_string(scheme) + ", " + std::to_string(threads[k]) +
                         " threads");
            temp_dir dir;
            boundary_case c = held_outlet_basin();
            c.overtype = scheme;
            write_file(dir.file("level.ts"),
                       "PLUVO_TS\nLEVEL\nABSOLUTE\n2000 6 1 0 0 101\n2000 6 2 0 0 101\nEND_TS\n");
            write_boundary_case(dir, c)
                .card("TIME_SERIES_FILE", "level.ts")
                .card("FLOOD_GRID", "flood.asc")
                .card("NUM_THREADS", std::to_string(threads[k]))
                .write(dir.file("case.prj"));
            const std::string summary = run_case(dir, {parallel_from_cells_env(8)});
            expect_balance_closes(summary);
            EXPECT_NEAR(number_after(summary, "volume remaining on surface:"), stored, 0.005 * 3600.0)
                << summary;
            EXPECT_NEAR(number_after(summary, "Volume gained from specified head boundary:"), stored,
                        0.005 * stored)
                << summary;
            // The highest level each cell reached is the held one.
            const std::vector<double> top = grid_values(read_file(dir.file("flood.asc")));
            ASSERT_EQ(top.size(), 36u);
            for (int r = 1; r <= 6; ++r)
                for (int col = 1; col <= 6; ++col)
                    EXPECT_NEAR(c.ground(r, col) + top[static_cast<size_t>((r - 1) * 6 + col - 1)], 101.0,
                                0.005)
                        << r << " " << col;
            outputs[k] = summary.substr(summary.find("Mass input")) + read_file(dir.file("flood.asc")) +
                         read_file(dir.file("outlet.hyd"));
        }
        EXPECT_TRUE(outputs[0] == outputs[1]) << outputs[0] << "\n---\n" << outputs[1];
    }
}

// Reference: at equilibrium the free-outflow edge passes the rain on the
// plane, i x area, whatever its depth.
TEST(OverlandBoundaryRun, FreeOutflowEdgeLosesRainTimesAreaAtEquilibrium) {
    auto plane = [](int minutes) {
        boundary_case c;
        c.grid.rows = 40;
        c.grid.cols = 3;
        c.grid.cell = 30.0;
        c.in_mask = [](int r, int col) { return col == 1 || (r == 1 && col == 3); };
        c.ground = [](int r, int) { return 100.0 + 0.3 * (40 - r); };
        c.boundary_id = [](int r, int col) { return (r == 40 && col == 1) ? 2 : 1; };
        c.rows = {{0, 0}, {1, 0.01}};
        c.outrow = 1;
        c.outcol = 3;   // a dry island: the edge is the only way out
        c.rain_mm_h = 36.0;
        c.rain_minutes = 240;
        c.total_minutes = minutes;
        c.timestep = 10.0;
        return c;
    };
    double loss[2];
    const int minutes[2] = {150, 180};
    for (int k = 0; k < 2; ++k) {
        temp_dir dir;
        write_boundary_case(dir, plane(minutes[k]));
        const std::string summary = run_case(dir);
        loss[k] = number_after(summary, "Volume lost to specified slope boundary:");
        expect_balance_closes(summary);
    }
    const double rain_area = 36.0 / 1000.0 / 3600.0 * 40 * 30.0 * 30.0;   // m3/s
    EXPECT_NEAR((loss[1] - loss[0]) / 1800.0, rain_area, 0.01 * rain_area);
}

namespace {

// One pumped cell of 10 m holding 0.5 m (50 m3) and a dry outlet cell apart.
boundary_case pumped_cell(int minutes, double timestep) {
    boundary_case c;
    c.grid.rows = 1;
    c.grid.cols = 3;
    c.grid.cell = 10.0;
    c.in_mask = [](int, int col) { return col != 2; };
    c.outrow = 1;
    c.outcol = 3;
    c.total_minutes = minutes;
    c.timestep = timestep;
    return c;
}

std::string run_pump(const temp_dir& dir, const boundary_case& c, const std::string& pump_line,
                     const std::string& series) {
    write_grid(dir.file("start.asc"), c.grid, [](int, int col) { return col == 1 ? 0.5 : 0.0; }, 3);
    write_file(dir.file("pumps.txt"), pump_line + "\r\n");
    write_file(dir.file("pump.ts"), series);
    write_boundary_case(dir, c)
        .card("OV_INIT_DEPTH", "start.asc")
        .card(series.rfind("PLUVO_TS", 0) == 0 ? "TIME_SERIES_FILE" : "ELEV_SERIES_FILE", "pump.ts")
        .card("OV_PUMP", "pumps.txt")
        .card("FLOOD_GRID", "flood.asc")
        .write(dir.file("case.prj"));
    return run_case(dir);
}

}  // namespace

// Reference: 0.01 m3/s for 1000 s takes 10 m3 from the 50 m3 cell, leaving
// 40 m3 (0.4 m); 1 m3/s takes all 50 m3 and stops at an empty cell; a
// negative rate puts water on and is booked as such.
TEST(OverlandPumpRun, PumpsTakeTheirRateAndNoMoreThanTheCellHolds) {
    struct pump_case {
        const char* name;
        int minutes;
        double timestep;      // s
        std::string line;     // pump file line
        std::string series;   // series file
        double pumped;        // m3, net taken out
        double left;          // m3 on the surface at the end
        double top;           // largest depth after an overland update (the first or the last), m
    };
    // 0.01 m3/s up to minute 17, 0 from minute 20; sampled at 200 s steps
    // that is 0.01 for the steps ending at 200 .. 1000 s and 0 at 1200 s.
    const std::string ts =
        "PLUVO_TS\nPUMPQ\nABSOLUTE\n2000 6 1 0 0 0.01\n2000 6 1 0 17 0.01\n2000 6 1 0 20 0\nEND_TS\n";
    const std::string inject =
        "PLUVO_TS\nPUMPQ\nABSOLUTE\n2000 6 1 0 0 -0.01\n2000 6 1 0 20 -0.01\nEND_TS\n";
    const pump_case cases[] = {
        {"time series", 20, 200.0, "1 TS PUMPQ", ts, 10.0, 40.0, 0.5 - 0.01 * 200.0 / 100.0},
        {"elevation series beyond the water", 2, 10.0, "1 elev BIG", "PLUVO_ES\nBIG\n0 1\n10 1\nEND_ES\n",
         50.0, 0.0, 0.5 - 1.0 * 10.0 / 100.0},
        {"injection", 20, 200.0, "1 TS PUMPQ", inject, -12.0, 62.0, 0.62},
    };
    for (const pump_case& pc : cases) {
        SCOPED_TRACE(pc.name);
        temp_dir dir;
        const std::string summary = run_pump(dir, pumped_cell(pc.minutes, pc.timestep), pc.line, pc.series);
        EXPECT_NEAR(number_after(summary, "Volume taken by overland pumps (net):"), pc.pumped, 0.005)
            << summary;
        EXPECT_NEAR(number_after(summary, "volume remaining on surface:"), pc.left, 0.05) << summary;
        expect_balance_closes(summary);
        const std::vector<double> top = grid_values(read_file(dir.file("flood.asc")));
        ASSERT_EQ(top.size(), 3u);
        EXPECT_NEAR(top[0], pc.top, 1e-4);
    }
}

TEST(OverlandBoundaryRun, OneAndEightThreadsWriteIdenticalFiles) {
    std::string outputs[2];
    const int threads[2] = {1, 8};
    for (int k = 0; k < 2; ++k) {
        temp_dir dir;
        boundary_case c = held_basin();
        // A second boundary: a free-outflow cell on the basin's lower left corner.
        c.boundary_id = [](int r, int col) {
            if (r == 3 && col == 5) return 2;
            return (r == 5 && col == 1) ? 3 : 1;
        };
        write_basin_start(dir, c);
        c.rows = {{0, 0}, {2, 100.2}, {1, 0.05}};
        c.rain_mm_h = 20.0;
        c.rain_minutes = 30;
        c.total_minutes = 40;
        write_file(dir.file("spots.txt"), "LOWSPOT\nSPOT 2 2 2 0.5 100.01\n");
        write_file(dir.file("pumps.txt"), "13 ELEV Q\n");
        write_file(dir.file("pump.es"), "PLUVO_ES\nQ\n0 0\n1 0.02\nEND_ES\n");
        write_boundary_case(dir, c)
            .card("LOWSPOT_FILE", "spots.txt")
            .card("ELEV_SERIES_FILE", "pump.es")
            .card("OV_PUMP", "pumps.txt")
            .card("FLOOD_GRID", "flood.asc")
            .card("OV_INIT_DEPTH", "start.asc")
            .card("NUM_THREADS", std::to_string(threads[k]))
            .write(dir.file("case.prj"));
        const std::string summary = run_case(dir, {parallel_from_cells_env(8)});
        expect_balance_closes(summary);
        std::string volumes;
        for (const char* label : {"Volume gained from specified head boundary:",
                                  "Volume lost to specified slope boundary:",
                                  "Volume taken by overland pumps (net):", "Mass output + final mass:"}) {
            const size_t at = summary.rfind(label);
            ASSERT_NE(at, std::string::npos) << label;
            volumes += summary.substr(at, summary.find('\n', at) - at) + "\n";
        }
        outputs[k] = volumes + read_file(dir.file("flood.asc")) + read_file(dir.file("outlet.hyd"));
    }
    EXPECT_TRUE(outputs[0] == outputs[1]) << outputs[0] << "\n---\n" << outputs[1];
}

TEST(OverlandBoundaryRun, BadInputsStopNamingTheFileAndLine) {
    struct bad_case {
        const char* name;
        std::vector<std::pair<double, double>> rows;   // boundary rows (ID 2 on the first cell)
        std::string extra_table;                      // appended to the mapping table
        std::string pump_line;                        // pump file line ("" none; "-" missing file)
        std::string spot_line;                        // SPOT card ("" no low-spot file)
        std::string message;                          // printed on the console
    };
    const bad_case cases[] = {
        {"boundary type 8", {{0, 0}, {8, 0}}, "", "", "",
         "Error: mapping table table.cmt, line 8: the overland boundary type 8"},
        {"boundary type not whole", {{0, 0}, {1.5, 0.01}}, "", "", "",
         "Error: mapping table table.cmt, line 8: the overland boundary type 1.5"},
        {"free-outflow slope 0", {{0, 0}, {1, 0}}, "", "", "",
         "Error: mapping table table.cmt, line 8: the free-outflow slope 0"},
        {"free-outflow slope below 0", {{0, 0}, {1, -0.01}}, "", "", "",
         "Error: mapping table table.cmt, line 8: the free-outflow slope -0.01"},
        {"level series without a series", {{0, 0}, {3, 4}}, "", "", "",
         "Error: mapping table table.cmt, line 8: the time-series ID 4"},
        {"rating-curve ID not whole", {{0, 0}, {6, 1.5}}, "", "", "",
         "Error: mapping table table.cmt, line 8: the rating-curve ID 1.5"},
        {"rating curve without its row", {{0, 0}, {6, 3}, {99, 0}},
         "RATINGCURVES\nNUM_IDS 1\nID   SERIES\n" + id_row(1, "", "CURVE"), "", "",
         "no RATINGCURVES row has the ID 3"},
        {"pump cell 0", {}, "", "0 TS Q", "", "Error: overland pump file pumps.txt, line 2: the first value"},
        {"pump cell beyond the grid", {}, "", "99 TS Q", "",
         "Error: overland pump file pumps.txt, line 2: the first value"},
        {"pump type", {}, "", "1 FLOW Q", "", "Error: overland pump file pumps.txt, line 2: the pump type"},
        {"pump series", {}, "", "1 TS NOSUCH", "",
         "Error: overland pump file pumps.txt, line 2: no time series of that name"},
        {"pump file missing", {}, "", "-", "", "Error: Unable to open the overland pump file"},
        {"low spot off the grid", {}, "", "", "SPOT 9 9 2 1.0 100.5",
         "The low spot specified in row 9 col 9 on line 3 of the file spots.txt"},
        {"low spot direction", {}, "", "", "SPOT 1 1 3 1.0 100.5",
         "The low spot flow direction specified in row 1 col 1 in the file spots.txt"},
        {"low spot towards no cell", {}, "", "", "SPOT 1 1 1 1.0 100.5",
         "on line 3 of the file spots.txt, but the cell on the other"},
    };
    for (const bad_case& bc : cases) {
        SCOPED_TRACE(bc.name);
        temp_dir dir;
        boundary_case c;
        c.grid.rows = 2;
        c.grid.cols = 3;
        c.boundary_id = [](int r, int col) { return (r == 1 && col == 1) ? 2 : (r == 2 && col == 1 ? 3 : 1); };
        c.rows = bc.rows;
        c.extra_table = bc.extra_table;
        c.outrow = 2;
        c.outcol = 3;
        c.total_minutes = 5;
        write_file(dir.file("q.ts"), "PLUVO_TS\nQ\nABSOLUTE\n2000 6 1 0 0 0.01\nEND_TS\n");
        write_file(dir.file("curve.es"), "PLUVO_ES\nCURVE\n0 0\n1 1\nEND_ES\n");
        project_file p = write_boundary_case(dir, c);
        p.card("TIME_SERIES_FILE", "q.ts").card("ELEV_SERIES_FILE", "curve.es");
        if (!bc.pump_line.empty()) {
            if (bc.pump_line != "-") write_file(dir.file("pumps.txt"), "\n" + bc.pump_line + "\n");
            p.card("OV_PUMP", "pumps.txt");
        }
        if (!bc.spot_line.empty()) {
            write_file(dir.file("spots.txt"), "LOWSPOT\r\n\r\n" + bc.spot_line + "\r\n");
            p.card("LOWSPOT_FILE", "spots.txt");
        }
        p.write(dir.file("case.prj"));
        run_result r = run_pluvo({"case.prj"}, dir.path());
        EXPECT_EQ(r.status, 1) << r.out << r.err;
        EXPECT_NE((r.out + r.err).find(bc.message), std::string::npos) << r.out << r.err;
    }
}
