// A uniform concentration stays uniform whatever the water does: a flat
// basin whose one raised cell drains into its neighbours within a step, under
// every overland scheme and time step, followed step by step; and rain of one
// concentration on the tilted V-catchment, whose channel nodes carry the
// rain's concentration as soon as they carry its water.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "conc_e2e_support.h"
#include "fixture.h"
#include "model_run.h"
#include "pluvo_test.h"
#include "v_catchment.h"
#include "valley.h"
#include "channel/channel_records.h"
#include "quality/conc_channel.h"
#include "quality/constituent_setup.h"
#include "run/run_state.h"

using namespace pluvo_test;

namespace {

// Flat 10 x 10 basin of 10 m cells at 100 m, cell (5, 5) raised 1 m, 0.02 m
// of water at 100 g/m3 everywhere; the only rain is 1e-6 mm/h at 100 g/m3
// (the program needs some), the outlet corner drains over a slope of 1e-6.
project_file raised_cell_basin(const temp_dir& dir, double timestep, int overtype) {
    grid_spec g;
    g.rows = 10;
    g.cols = 10;
    g.cell = 10.0;
    g.north = 100.0;
    write_grid(dir.file("mask.asc"), g, [](int, int) { return 1.0; }, 0);
    write_grid(dir.file("elev.asc"), g, [](int r, int c) { return r == 5 && c == 5 ? 101.0 : 100.0; });
    write_grid(dir.file("depth.asc"), g, [](int, int) { return 0.02; });
    conc_e2e::write_contaminant_table(dir.path(), g, "100", "0 0 0 0 100 0 0 0", "tracer");
    project_file p;
    p.card("WATERSHED_MASK", "mask.asc")
        .card("ELEVATION", "elev.asc")
        .card("READ_OV_HOTSTART", "depth.asc")
        .card("SUMMARY", "summ.out")
        .card("OUTLET_HYDRO", "outlet.hyd")
        .card("GRIDSIZE", "10")
        .card("ROWS", "10")
        .card("COLS", "10")
        .card("TOT_TIME", "10")
        .card("TIMESTEP", timestep)
        .card("OUTROW", "10")
        .card("OUTCOL", "10")
        .card("OUTSLOPE", "0.000001")
        .card("HYD_FREQ", "1")
        .card("MAP_FREQ", "10")
        .card("MANNING_N", "0.05")
        .card("OVERTYPE", std::to_string(overtype))
        .card("PRECIP_UNIF")
        .card("RAIN_INTENSITY", "0.000001")
        .card("RAIN_DURATION", "1")
        .card("START_DATE", "2000 6 1")
        .card("START_TIME", "0 0")
        .card("MAPPING_TABLE", "table.cmt")
        .card("OV_CON_TRANS")
        .card("SUPER_QUIET");
    return p;
}

}  // namespace

// Reference: every source of water carries 100 g/m3, so every wet cell holds
// 100 g/m3 after every step (within 1e-9 relative: round-off), while the
// raised cell gives nearly all its 2 m3 to its neighbours in the first steps
// (the depth change that moved the field by up to 5 % when the sub-steps took
// the concentration from the step's end depth); the balance closes.
TEST(UniformConcentration, RaisedCellBasinStaysUniformUnderEverySchemeAndStep) {
    for (const int overtype : {1, 2, 3}) {
        for (const double timestep : {1.0, 5.0, 10.0}) {
            SCOPED_TRACE("OVERTYPE " + std::to_string(overtype) + ", TIMESTEP " + fixed(timestep, 0));
            temp_dir dir;
            raised_cell_basin(dir, timestep, overtype).write(dir.file("basin.prj"));
            int steps = 0;
            double worst = 0.0;   // largest relative departure from 100 g/m3
            double raised_min = 1.0;   // smallest depth of the raised cell, m
            double residual = 1.0, initial = 0.0;
            const bool ok = run_model_in(
                dir.path(), "basin.prj",
                [&](const run_state& rs) {
                    const constituent_balance b = compute_constituent_balance(rs, 1);
                    residual = b.residual;
                    initial = b.initial;
                },
                [&](const run_state& rs) {
                    ++steps;
                    raised_min = std::min(raised_min, rs.ov_depth[45]);
                    for (int j = 1; j <= rs.GNUM; ++j) {
                        if (!(rs.ov_depth[static_cast<size_t>(j)] > 1e-16)) continue;
                        const double c = rs.con.conc[1][static_cast<size_t>(j)];
                        worst = std::max(worst, std::fabs(c - 100.0) / 100.0);
                    }
                });
            ASSERT_TRUE(ok);
            EXPECT_GE(steps, static_cast<int>(600 / timestep));
            EXPECT_LT(raised_min, 0.002);   // the raised cell drained
            EXPECT_LT(worst, 1e-9);
            EXPECT_NEAR(residual, 0.0, 1e-9 * initial);
        }
    }
}

// The cells' concentrations after every step are the same to the bit with
// one thread and with eight (the basin's loops forced onto the threads).
TEST(UniformConcentration, RaisedCellBasinIsTheSameOnOneAndEightThreads) {
    std::vector<double> fields[2];
    for (int k = 0; k < 2; ++k) {
        temp_dir dir;
        project_file p = raised_cell_basin(dir, 5.0, 2);
        p.card("NUM_THREADS", k == 0 ? "1" : "8");
        p.write(dir.file("basin.prj"));
        parallel_from_cells many(16);
        ASSERT_TRUE(run_model_in(dir.path(), "basin.prj", [](const run_state&) {},
                                 [&](const run_state& rs) {
                                     for (int j = 1; j <= rs.GNUM; ++j) {
                                         fields[k].push_back(rs.con.conc[1][static_cast<size_t>(j)]);
                                         fields[k].push_back(rs.con.mass[1][static_cast<size_t>(j)]);
                                     }
                                 }));
    }
    ASSERT_FALSE(fields[0].empty());
    EXPECT_EQ(fields[0], fields[1]);
}

namespace {

// The V-catchment under 20 minutes of 10.8 mm/h of rain at 2 g/m3, 30
// minutes simulated, the cells and the channel carrying the tracer.
project_file rain_tracer_catchment(const temp_dir& dir, double timestep) {
    return conc_e2e::tracer_v_catchment(dir.path(), 20, 30, timestep, "2", "0 0 0 0 0 0 0 0");
}

// Largest relative departure from c0 of the concentration of a channel node
// that holds more than 0.01 m3 of water.
double worst_node_departure(const run_state& rs, double c0) {
    double worst = 0.0;
    const constituent_channel& cc = rs.con_chan;
    for (int l = 1; l <= rs.links; ++l) {
        if (!con_transport_link(rs.ltype[static_cast<size_t>(l)])) continue;
        for (int j = 1; j <= rs.nx[static_cast<size_t>(l)]; ++j) {
            if (!(rs.area(static_cast<size_t>(j), static_cast<size_t>(l)) * rs.dx[static_cast<size_t>(l)] > 0.01))
                continue;
            const double c = cc.conc[1][static_cast<size_t>(cc.stride * l + j)];
            worst = std::max(worst, std::fabs(c - c0) / c0);
        }
    }
    return worst;
}

}  // namespace

// Reference: the rain is the only source, so the cells hold 2 g/m3 and so
// does every channel node from the step its first water arrives (within
// 0.5 %: the lateral mass reaches a node in the channel step of its water,
// and the outlet passes each sub-step's concentration; a step late, the
// nodes ran 0.9 / 4.6 / 8.8 % off at TIMESTEP 1 / 5 / 10); every wet cell
// holds 2 g/m3 within 1e-9 relative after every step, while it rains and
// while the planes drain after the rain (the step that first wets a dry
// cell starts it at the rain's concentration: from 0, its outflow carried
// too little and the cells left that step 0.005 / 0.07 / 0.23 % high at
// TIMESTEP 1 / 5 / 10); the channel carries water through most of the run
// and the balance closes.
TEST(UniformConcentration, RainOnTheVCatchmentReachesTheChannelAtItsConcentration) {
    for (const double timestep : {1.0, 5.0, 10.0}) {
        SCOPED_TRACE("TIMESTEP " + fixed(timestep, 0));
        temp_dir dir;
        rain_tracer_catchment(dir, timestep).write(dir.file("vee.prj"));
        double worst = 0.0, worst_cell = 0.0, residual = 1.0, rain = 0.0, outlet = 0.0;
        int wet_steps = 0;
        ASSERT_TRUE(run_model_in(
            dir.path(), "vee.prj",
            [&](const run_state& rs) {
                const constituent_balance b = compute_constituent_balance(rs, 1);
                residual = b.residual;
                rain = b.rain;
                outlet = b.outlet;
            },
            [&](const run_state& rs) {
                const double w = worst_node_departure(rs, 2.0);
                worst = std::max(worst, w);
                if (rs.area(static_cast<size_t>(rs.nx[1]), 1) > 0.0) ++wet_steps;
                for (int j = 1; j <= rs.GNUM; ++j) {
                    if (!(rs.ov_depth[static_cast<size_t>(j)] > 1e-16)) continue;
                    const double c = rs.con.conc[1][static_cast<size_t>(j)];
                    worst_cell = std::max(worst_cell, std::fabs(c - 2.0) / 2.0);
                }
            }));
        EXPECT_GT(wet_steps, static_cast<int>(0.5 * 1800 / timestep));
        EXPECT_LT(worst, 0.005);
        EXPECT_LT(worst_cell, 1e-9);   // the planes, raining and draining after the rain
        EXPECT_GT(outlet, 0.1 * rain);
        EXPECT_NEAR(residual, 0.0, 1e-9 * rain);
    }
}

// Node concentrations and masses after every step are the same to the bit
// with one thread and with eight.
TEST(UniformConcentration, RainOnTheVCatchmentIsTheSameOnOneAndEightThreads) {
    std::vector<double> nodes[2];
    for (int k = 0; k < 2; ++k) {
        temp_dir dir;
        project_file p = rain_tracer_catchment(dir, 10.0);
        p.card("NUM_THREADS", k == 0 ? "1" : "8");
        p.write(dir.file("vee.prj"));
        parallel_from_cells many(16);
        ASSERT_TRUE(run_model_in(dir.path(), "vee.prj", [](const run_state&) {},
                                 [&](const run_state& rs) {
                                     const constituent_channel& cc = rs.con_chan;
                                     nodes[k].insert(nodes[k].end(), cc.conc[1].begin(), cc.conc[1].end());
                                     nodes[k].insert(nodes[k].end(), cc.mass[1].begin(), cc.mass[1].end());
                                 }));
    }
    ASSERT_FALSE(nodes[0].empty());
    EXPECT_EQ(nodes[0], nodes[1]);
}
