// One row per water path: each path run with a tracer at a known
// concentration, the mass it moved compared with the water it moved times
// that concentration. Overland paths on a small tilted plane whose water
// holds 10 g/m3 throughout (initial water and rain at 10 g/m3), channel
// paths on the V-catchment under rain at 2 g/m3, lake paths on the pit lake
// of the lake valley held at 2 g/m3 without rain; water that enters brings
// the concentration of its source (a point source 30 g/m3, the aquifer its
// groundwater column, 7 g/m3). Paths that cannot carry mass refuse the run
// by name before any file opens.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "../overland/boundary_case.h"
#include "conc_e2e_support.h"
#include "lake_valley.h"
#include "model_run.h"
#include "pluvo_test.h"
#include "v_catchment.h"
#include "valley.h"
#include "quality/constituent_setup.h"
#include "run/run_state.h"

using namespace pluvo_test;

namespace {

inline size_t ix(int i) { return static_cast<size_t>(i); }

// Water a path moved (m3) and the tracer mass it moved (g), read at the run end.
struct moved {
    double water = 0.0;
    double mass = 0.0;
};

enum class site { plane, vee, lake };   // the tilted plane, the V-catchment, the lake valley

struct path_row {
    const char* name;
    site where;
    double conc;                                          // concentration the moved water carries, g/m3
    double tolerance;                                     // relative
    std::function<void(const temp_dir&, project_file&, std::string& table)> setup;
    std::function<moved(const run_state&)> read;
    std::vector<std::pair<double, double>> boundaries = {};   // (type, parameter) of boundary IDs 1, 2, ...
    std::function<int(int, int)> boundary_id = [](int, int) { return 0; };   // ID of a cell, 0 none
};

constexpr int kRows = 10, kCols = 6;

double plane_ground(int r, int) { return 100.0 + 0.1 * (kRows - r); }

// The plane: 10 x 6 cells of 10 m falling 0.1 m per row, 1 cm of water at
// 10 g/m3, 50 mm/h of rain at 10 g/m3 for the 30 minutes simulated, the
// outlet in the lower left corner; `boundaries` are (type, parameter) rows
// on the cells `boundary_id` gives. `table` text joins the mapping table.
project_file plane(const temp_dir& dir, const std::vector<std::pair<double, double>>& boundaries,
                   const std::function<int(int, int)>& boundary_id, const std::string& table) {
    boundary_test::boundary_case c;
    c.grid.rows = kRows;
    c.grid.cols = kCols;
    c.grid.cell = 10.0;
    c.grid.north = 100.0;
    c.ground = plane_ground;
    c.outrow = kRows;
    c.outcol = 1;
    c.rain_mm_h = 50.0;
    c.rain_minutes = 30;
    c.total_minutes = 30;
    c.timestep = 10.0;
    project_file p = boundary_test::write_boundary_case(dir, c);
    write_grid(dir.file("bnd.idx"), c.grid, [&](int r, int col) { return static_cast<double>(boundary_id(r, col)); }, 0);
    write_grid(dir.file("con.idx"), c.grid, [](int, int) { return 1.0; }, 0);
    write_grid(dir.file("depth.asc"), c.grid, [](int, int) { return 0.01; });
    std::string t = "PLUVO_INDEX_MAP_TABLES\nINDEX_MAP bnd.idx \"Boundaries\"\nINDEX_MAP con.idx \"Con\"\n";
    if (!boundaries.empty()) {
        t += "OVERLAND_BOUNDARY \"Boundaries\"\nNUM_IDS " + std::to_string(boundaries.size()) +
             "\nID    DESCRIPTION      TYPE PARAM\n";
        for (size_t k = 0; k < boundaries.size(); ++k) {
            char v[64];
            std::snprintf(v, sizeof v, "%.12g %.12g", boundaries[k].first, boundaries[k].second);
            t += boundary_test::id_row(static_cast<int>(k) + 1, v);
        }
    }
    t += "CONTAMINANT_TRANSPORT\nNUM_CONTAM 1\n\"Tracer\" \"Con\" \"tracer\"\nPRECIP_CONC 10\n"
         "NUM_IDS 1\nID    DESCRIPTION\n" + boundary_test::id_row(1, "0 0 0 0 10 0 0 7") + table;
    write_file(dir.file("table.cmt"), t);
    p.remove("MAPPING_TABLE").card("MAPPING_TABLE", "table.cmt").card("OV_CON_TRANS");
    p.card("READ_OV_HOTSTART", "depth.asc");
    if (!boundaries.empty()) p.remove("OV_BOUNDARY").card("OV_BOUNDARY");
    return p;
}

// The V-catchment: 40 minutes of 10.8 mm/h of rain at 2 g/m3, the cells and
// the channel carrying it; groundwater at 7 g/m3 (the table's column).
project_file catchment(const temp_dir& dir) {
    return conc_e2e::tracer_v_catchment(dir.path(), 40, 40, 10.0, "2", "0 0 0 0 0 0 0 7");
}

// The lake valley's pit lake (0.2 m deep over four cells) behind a weir it
// never reaches, no rain, 30 minutes at 5 s: the lake and the channel hold
// 2 g/m3 at the start, the cells none. The lake seeps through a bed of
// 0.05 m over a soil of 1 cm/h; the groundwater column is 7 g/m3.
project_file lake(const temp_dir& dir) {
    lake_valley c;
    c.weir = true;
    c.weir_crest = 0.3;
    c.bed_thickness = 0.05;
    c.rain_mm_h = 0.0;
    c.total_minutes = 30;
    project_file p = write_lake_valley(dir.path(), c);
    grid_spec g;
    g.rows = c.rows;
    g.cols = c.cols();
    g.cell = c.cell;
    g.north = c.rows * c.cell;
    const struct {
        const char* card;
        const char* file;
        double value;
    } soils[] = {{"CONDUCTIVITY", "ks.asc", 1.0}, {"CAPILLARY", "hc.asc", 11.0},
                 {"POROSITY", "por.asc", 0.45}, {"MOISTURE", "moist.asc", 0.15}};
    for (const auto& m : soils) {
        write_grid(dir.file(m.file), g, [&](int, int) { return m.value; }, 3);
        p.card(m.card, m.file);
    }
    conc_e2e::write_contaminant_table(dir.path(), g, "0", "0 0 0 0 0 0 0 7", "tracer");
    p.card("GREEN_AMPT").card("MAPPING_TABLE", "table.cmt").card("OV_CON_TRANS").card("CHAN_CON_TRANS");
    p.card("INIT_CHAN_CONC", "2");
    return p;
}

// A water table 0.5 m above the lake's ground under the lake, 3 m below the
// ground elsewhere: the lake gains from the ground.
void lake_table_above(const temp_dir& dir, project_file& p) {
    const lake_valley c;
    grid_spec g;
    g.rows = c.rows;
    g.cols = c.cols();
    g.cell = c.cell;
    g.north = c.rows * c.cell;
    write_grid(dir.file("wt.asc"), g, [&](int r, int col) {
        return (r <= c.lake_rows && col == c.mid()) ? c.floor() + 0.5 : c.ground(r, col) - 3.0;
    });
    p.card("WATER_TABLE", "wt.asc");
}

double kg(const std::vector<double>& v) { return v[1] * 1000.0; }   // g of the tracer

std::vector<path_row> rows() {
    auto none = [](const temp_dir&, project_file&, std::string&) {};
    return {
        // Overland paths: the water leaves at the cells' 10 g/m3.
        {"free outflow over the lower edge", site::plane, 10.0, 1e-9, none,
         [](const run_state& rs) { return moved{rs.vol_slope_bc_loss, kg(rs.con_tot.bc_out)}; },
         {{1, 0.01}}, [](int r, int col) { return r == kRows && col > 1 ? 1 : 0; }},
        {"rating-curve outflow into a type 99 cell", site::plane, 10.0, 1e-9,
         [](const temp_dir& dir, project_file& p, std::string& table) {
             write_file(dir.file("curve.es"), "PLUVO_ES\nCURVE\n0 0\n1 1\nEND_ES\n");
             p.card("ELEV_SERIES_FILE", "curve.es");
             table = "RATINGCURVES\nNUM_IDS 1\nID   SERIES\n" + boundary_test::id_row(1, "", "CURVE");
         },
         [](const run_state& rs) { return moved{rs.con.moved_volume, kg(rs.con_tot.surface_moved)}; },
         {{7, 1}, {99, 0}}, [](int r, int col) { return col == 3 && r == 5 ? 1 : (col == 3 && r == 6 ? 2 : 0); }},
        {"pump of 0.005 m3/s", site::plane, 10.0, 1e-9,
         [](const temp_dir& dir, project_file& p, std::string&) {
             write_file(dir.file("pump.ts"), "PLUVO_TS\nPUMPQ\nABSOLUTE\n2000 6 1 0 0 0.005\n2000 6 1 2 0 0.005\nEND_TS\n");
             write_file(dir.file("pumps.txt"), std::to_string(5 * kCols + 3) + " TS PUMPQ\n");
             p.card("TIME_SERIES_FILE", "pump.ts").card("OV_PUMP", "pumps.txt");
         },
         [](const run_state& rs) { return moved{rs.vol_ov_pumps, kg(rs.con_tot.bc_out)}; }},
        {"low spot from row 5 to row 6", site::plane, 10.0, 1e-9,
         [](const temp_dir& dir, project_file& p, std::string&) {
             write_file(dir.file("spots.txt"), "LOWSPOT\nSPOT 5 3 4 0.5 " + fixed(plane_ground(5, 3)) + "\n");
             p.card("LOWSPOT_FILE", "spots.txt");
         },
         [](const run_state& rs) { return moved{rs.con.moved_volume, kg(rs.con_tot.surface_moved)}; }},
        {"point sink of 0.002 m3/s", site::plane, 10.0, 1e-9,
         [](const temp_dir& dir, project_file& p, std::string&) {
             write_file(dir.file("points.txt"), "1\n4 3 -0.002\n");
             p.card("OV_POINT_SOURCE", "points.txt");
         },
         [](const run_state& rs) { return moved{-rs.vol_ov_point_sources, -kg(rs.con_tot.ov_point)}; }},
        {"point source of 0.002 m3/s at 30 g/m3", site::plane, 30.0, 1e-9,
         [](const temp_dir& dir, project_file& p, std::string&) {
             write_file(dir.file("points.txt"), "1\n4 3 0.002 30\n");
             p.card("OV_POINT_SOURCE", "points.txt");
         },
         [](const run_state& rs) { return moved{rs.vol_ov_point_sources, kg(rs.con_tot.ov_point)}; }},
        {"overland outlet", site::plane, 10.0, 1e-9, none,
         [](const run_state& rs) { return moved{rs.vol_discharge, kg(rs.con_tot.ov_out)}; }},
        {"water table above the ground (exfiltration at 7 g/m3)", site::plane, 7.0, 1e-9,
         [](const temp_dir& dir, project_file& p, std::string&) {
             grid_spec g;
             g.rows = kRows;
             g.cols = kCols;
             g.cell = 10.0;
             g.north = 100.0;
             write_grid(dir.file("wt.asc"), g, [](int r, int c) { return plane_ground(r, c) + 0.5; });
             use_redistribution_soils(p, dir.path(), kRows, kCols, 10.0);
             p.card("WATER_TABLE", "wt.asc");
         },
         [](const run_state& rs) { return moved{rs.vol_exfiltration, kg(rs.con_tot.ov_exfil)}; }},
        // Channel paths: the nodes hold the rain's 2 g/m3.
        {"lateral inflow into the channel", site::vee, 2.0, 1e-9, none,
         [](const run_state& rs) { return moved{rs.vol_lateral_inflow, kg(rs.con_tot.qlat)}; }},
        {"channel outlet", site::vee, 2.0, 1e-3, none,
         [](const run_state& rs) { return moved{rs.vol_discharge, kg(rs.con_tot.chan_out)}; }},
        {"stream loss to dry ground", site::vee, 2.0, 1e-3,
         [](const temp_dir&, project_file& p, std::string&) { p.card("STREAM_LOSS").card("K_RIVER", "20"); },
         [](const run_state& rs) { return moved{rs.vol_river_to_gw, -kg(rs.con_tot.chan_gw)}; }},
        {"groundwater into the channel at 7 g/m3", site::vee, 7.0, 1e-9,
         [](const temp_dir& dir, project_file& p, std::string&) {
             // The table at the ground, 1 m above the channel bed: every node gains.
             write_file(dir.file("wt.asc"), read_file(dir.file("elev.asc")));
             p.card("STREAM_LOSS").card("K_RIVER", "0.5").card("WATER_TABLE", "wt.asc");
         },
         [](const run_state& rs) { return moved{rs.vol_gw_to_river, kg(rs.con_tot.chan_gw)}; }},
        {"channel point inflow of 0.05 m3/s at 7 g/m3", site::vee, 7.0, 1e-9,
         [](const temp_dir& dir, project_file& p, std::string&) {
             write_file(dir.file("chpoints.txt"), "NUMPT 1\nPOINT 20 1 0.05 7\nNRPDS 0\n");
             p.card("CHAN_POINT_INPUT", "chpoints.txt");
         },
         [](const run_state& rs) { return moved{rs.vol_stream_point_sources, kg(rs.con_tot.chan_point)}; }},
        {"channel withdrawal of 0.01 m3/s the node meets", site::vee, 2.0, 1e-3,
         [](const temp_dir& dir, project_file& p, std::string&) {
             write_file(dir.file("chpoints.txt"), "NUMPT 1\nPOINT 45 1 0\nNRPDS 1\nINPUT 2020 6 1 0 15\n-0.01\n");
             p.card("CHAN_POINT_INPUT", "chpoints.txt");
         },
         [](const run_state& rs) {
             EXPECT_EQ(rs.vol_stream_point_unmet, 0.0);
             return moved{rs.vol_stream_point_sinks, -kg(rs.con_tot.chan_point)};
         }},
        // Lake paths: the lake holds 2 g/m3.
        {"lake seepage to dry ground", site::lake, 2.0, 1e-9, none,
         [](const run_state& rs) {
             EXPECT_EQ(rs.vol_gw_to_lake, 0.0);
             return moved{rs.vol_lake_to_gw, -kg(rs.con_tot.lake_gw)};
         }},
        {"groundwater into the lake at 7 g/m3", site::lake, 7.0, 1e-9,
         [](const temp_dir& dir, project_file& p, std::string&) { lake_table_above(dir, p); },
         [](const run_state& rs) {
             EXPECT_EQ(rs.vol_lake_to_gw, 0.0);
             return moved{rs.vol_gw_to_lake, kg(rs.con_tot.lake_gw)};
         }},
        {"lake point inflow of 0.01 m3/s at 7 g/m3", site::lake, 7.0, 1e-9,
         [](const temp_dir& dir, project_file& p, std::string&) {
             write_file(dir.file("chpoints.txt"), "NUMPT 1\nPOINT 1 1 0.01 7\nNRPDS 0\n");
             p.card("CHAN_POINT_INPUT", "chpoints.txt");
         },
         [](const run_state& rs) { return moved{rs.vol_lake_point_sources, kg(rs.con_tot.lake_point)}; }},
        {"lake withdrawal of 0.01 m3/s the lake meets", site::lake, 2.0, 1e-9,
         [](const temp_dir& dir, project_file& p, std::string&) {
             write_file(dir.file("chpoints.txt"), "NUMPT 1\nPOINT 1 1 0\nNRPDS 1\nINPUT 2020 6 1 0 15\n-0.01\n");
             p.card("CHAN_POINT_INPUT", "chpoints.txt");
         },
         [](const run_state& rs) {
             EXPECT_EQ(rs.vol_lake_point_unmet, 0.0);
             return moved{rs.vol_lake_point_sinks, -kg(rs.con_tot.lake_point)};
         }},
    };
}

}  // namespace

// Reference: mass moved = water moved x the concentration it carries (the
// cells' or the nodes' where water leaves, the source's where it enters),
// within each row's tolerance: round-off where the concentration is the
// source's or the uniform cells', 1e-3 where the channel nodes' (the
// channel routing keeps them at 2 g/m3 within some 1e-4); every path moved
// a fair amount of water and the run's balance closes to 1e-9.
TEST(WaterPathMass, EveryPathMovesItsWaterAtItsConcentration) {
    for (const path_row& row : rows()) {
        SCOPED_TRACE(row.name);
        temp_dir dir;
        std::string table;
        project_file p;
        if (row.where != site::plane) {
            p = row.where == site::vee ? catchment(dir) : lake(dir);
            row.setup(dir, p, table);
        } else {
            // The setup may add mapping-table sections: it runs first on a scratch project.
            project_file scratch;
            row.setup(dir, scratch, table);
            p = plane(dir, row.boundaries, row.boundary_id, table);
            row.setup(dir, p, table);
        }
        const std::string name =
            row.where == site::vee ? "vee.prj" : (row.where == site::lake ? "valley.prj" : "case.prj");
        p.write(dir.file(name));
        moved m;
        double residual = 1.0, in = 0.0;
        ASSERT_TRUE(run_model_in(dir.path(), name, [&](const run_state& rs) {
            m = row.read(rs);
            const constituent_balance b = compute_constituent_balance(rs, 1);
            residual = b.residual;
            in = b.initial + b.rain + std::max(b.point, 0.0) + std::max(b.groundwater, 0.0);
        }));
        EXPECT_GT(m.water, 1.0);   // m3
        EXPECT_NEAR(m.mass, row.conc * m.water, row.tolerance * row.conc * m.water);
        EXPECT_NEAR(residual, 0.0, 1e-9 * in);
    }
}

// The lake gaining from the ground, fed by a point inflow at 7 g/m3 and
// drawn from 00:15 by a withdrawal, on one thread and on eight (the loops
// forced onto the threads): the lake's mass after every step and the books
// agree to the bit.
TEST(WaterPathMass, LakePathsMoveTheSameMassOnOneAndEightThreads) {
    std::vector<double> lake_mass[2];
    std::string books[2];
    for (int k = 0; k < 2; ++k) {
        temp_dir dir;
        project_file p = lake(dir);
        lake_table_above(dir, p);
        write_file(dir.file("chpoints.txt"), "NUMPT 1\nPOINT 1 1 0\nNRPDS 2\n"
                                             "INPUT 2020 6 1 0 0\n0.01 7\nINPUT 2020 6 1 0 15\n-0.02\n");
        p.card("CHAN_POINT_INPUT", "chpoints.txt").card("NUM_THREADS", k == 0 ? "1" : "8");
        p.write(dir.file("valley.prj"));
        parallel_from_cells many(16);
        ASSERT_TRUE(run_model_in(dir.path(), "valley.prj",
                                 [&](const run_state& rs) { books[k] = constituent_balance_text(rs); },
                                 [&](const run_state& rs) { lake_mass[k].push_back(rs.con_lake.mass[1][1]); }));
    }
    ASSERT_FALSE(lake_mass[0].empty());
    EXPECT_GT(lake_mass[0].back(), lake_mass[0].front());
    EXPECT_EQ(lake_mass[0], lake_mass[1]);
    EXPECT_EQ(books[0], books[1]);
}

// The storm-drain network's inlets, tile drains and outfalls carry no mass:
// with constituents the run is refused, naming the card, before any file opens.
TEST(WaterPathMass, StormDrainsWithConstituentsAreRefusedByName) {
    temp_dir dir;
    project_file p = catchment(dir);
    p.card("STORM_SEWER", "net.sl").write(dir.file("vee.prj"));
    const run_result r = run_pluvo({"vee.prj"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Error: the card storm_sewer asks for a storm-drain network together with "
                         "constituent transport"),
              std::string::npos)
        << r.out;
    EXPECT_FALSE(file_exists(dir.file("vee.sum")));
}
