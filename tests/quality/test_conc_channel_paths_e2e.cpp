// Water that enters or leaves the channel nodes other than through their
// faces carries its mass: the stream-aquifer loss of a losing valley, point
// inflows at their own concentration and withdrawals at the node's, on the
// V-catchment under rain at 2 g/m3.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "conc_e2e_support.h"
#include "constituent_books.h"
#include "fixture.h"
#include "model_run.h"
#include "pluvo_test.h"
#include "v_catchment.h"
#include "valley.h"
#include "quality/conc_channel.h"
#include "quality/constituent_setup.h"
#include "run/run_state.h"

using namespace pluvo_test;

namespace {

inline size_t ix(int i) { return static_cast<size_t>(i); }

// The V-catchment under 20 minutes of rain at 2 g/m3 (no dispersion or
// decay), 40 minutes simulated, the cells and the channel carrying it.
project_file tracer_catchment(const temp_dir& dir, double timestep = 5.0) {
    return conc_e2e::tracer_v_catchment(dir.path(), 20, 40, timestep, "2", "0 0 0 0 0 0 0 0");
}

// Concentration (g/m3) and water (m3) of node j of link 1.
double node_conc(const run_state& rs, int j) {
    return rs.con_chan.conc[1][ix(rs.con_chan.stride + j)];
}
double node_water(const run_state& rs, int j) { return rs.area(ix(j), 1) * rs.dx[1]; }

// What a run shows of its tracer.
struct run_books {
    constituent_balance balance;          // whole run, kg
    std::vector<section_books> sections;  // every summary section, event and run
    double river_to_gw = 0.0;             // m3 the channels lost to the ground
    double point_in = 0.0, point_out = 0.0, unmet = 0.0;   // m3 of the channel point inputs
    double chan_gw = 0.0, chan_point = 0.0;                // kg booked on those paths
    std::string summary;
};

run_books run_case(const temp_dir& dir, const std::function<void(const run_state&)>& each_step) {
    run_books r;
    EXPECT_TRUE(run_model_in(
        dir.path(), "vee.prj",
        [&](const run_state& rs) {
            r.balance = compute_constituent_balance(rs, 1);
            r.sections = constituent_section_books(rs);
            r.river_to_gw = rs.vol_river_to_gw;
            r.point_in = rs.vol_stream_point_sources;
            r.point_out = rs.vol_stream_point_sinks;
            r.unmet = rs.vol_stream_point_unmet;
            r.chan_gw = rs.con_tot.chan_gw[1];
            r.chan_point = rs.con_tot.chan_point[1];
        },
        each_step));
    r.summary = read_file(dir.file("vee.sum"));
    return r;
}

void expect_closed(const run_books& r) {
    const double in = r.balance.initial + r.balance.rain;
    ASSERT_GT(in, 0.0);
    EXPECT_NEAR(r.balance.residual, 0.0, 1e-9 * in) << r.summary;
    for (const section_books& s : r.sections)
        EXPECT_NEAR(s.residual, 0.0, 1e-9 * std::max(s.in, in)) << s.what << "\n" << r.summary;
}

}  // namespace

// A losing valley (stream loss to dry ground, river-bed conductivity 50 m/h):
// most of the channel's water goes to the ground. Reference: the water that
// leaves takes the node's concentration, so every node stays at the rain's
// 2 g/m3 (within 1 %) at every step while it loses water, and the mass
// booked to the ground is the lost water at 2 g/m3 (within 1 %); every
// section of the summary closes to 1e-9.
TEST(ChannelMassPaths, StreamLossTakesTheNodeConcentrationToTheGround) {
    temp_dir dir;
    project_file p = tracer_catchment(dir);
    p.card("STREAM_LOSS").card("K_RIVER", "50");
    p.write(dir.file("vee.prj"));
    double worst = 0.0;
    int losing = 0;
    const run_books r = run_case(dir, [&](const run_state& rs) {
        for (int j = 1; j <= rs.nx[1]; ++j) {
            if (!(node_water(rs, j) > 0.01) || !(rs.qriv(ix(j), 1) < 0.0)) continue;
            ++losing;
            worst = std::max(worst, std::fabs(node_conc(rs, j) - 2.0) / 2.0);
        }
    });
    EXPECT_GT(losing, 100);
    EXPECT_LT(worst, 0.01);
    ASSERT_GT(r.river_to_gw, 100.0) << r.summary;
    EXPECT_NEAR(-r.chan_gw * 1000.0, 2.0 * r.river_to_gw, 0.01 * 2.0 * r.river_to_gw) << r.summary;
    EXPECT_NEAR(r.balance.groundwater, r.chan_gw, 1e-15);
    expect_closed(r);
}

// The same valley from a channel hotstart held at 2 g/m3 (INIT_CHAN_CONC)
// under a trace of rain: the channel drains into the ground, its nodes keep
// 2 g/m3 (within 1 %) until they are dry and hand their mass to the ground
// with the water (almost none stays in the empty channel).
TEST(ChannelMassPaths, AChannelDrainingIntoTheGroundKeepsItsConcentration) {
    temp_dir dir;
    {
        project_file wet = tracer_catchment(dir);
        wet.card("WRITE_CHAN_HOTSTART", "hot").write(dir.file("vee.prj"));
        ASSERT_TRUE(run_model_in(dir.path(), "vee.prj", [](const run_state&) {}));
    }
    project_file p = tracer_catchment(dir);
    p.remove("RAIN_INTENSITY").card("RAIN_INTENSITY", "0.0001");
    p.remove("TOT_TIME").card("TOT_TIME", "60");
    p.card("STREAM_LOSS").card("K_RIVER", "50").card("READ_CHAN_HOTSTART", "hot").card("INIT_CHAN_CONC", "2");
    p.write(dir.file("vee.prj"));
    double worst = 0.0, left = 0.0, water = 0.0;
    const run_books r = run_case(dir, [&](const run_state& rs) {
        left = water = 0.0;
        for (int j = 1; j <= rs.nx[1]; ++j) {
            left += rs.con_chan.mass[1][ix(rs.con_chan.stride + j)];
            water += node_water(rs, j);
            if (node_water(rs, j) > 1e-6) worst = std::max(worst, std::fabs(node_conc(rs, j) - 2.0) / 2.0);
        }
    });
    ASSERT_GT(r.balance.initial, 1.0) << r.summary;   // kg in the channel at the start
    EXPECT_LT(worst, 0.01);
    EXPECT_LT(water, 1.0);                            // m3 left in the channel
    EXPECT_LT(left, 2.0 * 1.0 + 1e-6);                // g: at most what that water holds
    EXPECT_GT(-r.chan_gw, 0.9 * r.balance.initial) << r.summary;
    expect_closed(r);
}

// Point inputs on node 5: 0.05 m3/s at 10 g/m3 for the whole run, and from
// 00:20 a withdrawal of 0.3 m3/s on node 3, which carries less. Reference:
// the inflow brings Q x 10 g/m3 (to 1e-9), so the nodes below it rise
// above 2 g/m3 and stay below 10; the withdrawal takes what the node holds
// (the rest booked unmet) and never more mass than that water holds at
// 2 g/m3; the run ends at its end time and every section closes to 1e-9.
// (A node the withdrawal empties every step passes part of its inflow's
// mass downstream instead: the water it withdraws at its own concentration
// exactly is shown by the withdrawal the node can meet, in the table of
// paths.)
TEST(ChannelMassPaths, PointInflowsBringTheirConcentrationAndWithdrawalsTakeTheNodes) {
    temp_dir dir;
    write_file(dir.file("points.txt"), "NUMPT 2\nPOINT 5 1 0.05 10\nPOINT 3 1 0\nNRPDS 1\n"
                                       "INPUT 2020 6 1 0 20\n0.05 10\n-0.3\n");
    project_file p = tracer_catchment(dir);
    p.card("CHAN_POINT_INPUT", "points.txt");
    p.write(dir.file("vee.prj"));
    double lowest_below = 1e300, highest = 0.0, last_minute = 0.0;
    const run_books r = run_case(dir, [&](const run_state& rs) {
        last_minute = rs.elapsed_minutes;
        for (int j = 6; j <= 10; ++j) {
            if (!(node_water(rs, j) > 0.01) || rs.elapsed_minutes < 5.0) continue;
            lowest_below = std::min(lowest_below, node_conc(rs, j));
            highest = std::max(highest, node_conc(rs, j));
        }
    });
    EXPECT_NEAR(last_minute, 40.0, 1e-6);
    EXPECT_NEAR(r.point_in, 0.05 * 2400.0, 1e-6) << r.summary;
    ASSERT_GT(r.point_out, 1.0) << r.summary;
    EXPECT_GT(r.unmet, 100.0) << r.summary;   // node 3 carried far less than 0.3 m3/s
    EXPECT_NEAR(r.point_out + r.unmet, 0.3 * 1200.0, 1e-3);   // the clock's days to 4e-5 s
    const double withdrawn = r.point_in * 10.0 - r.chan_point * 1000.0;   // g
    EXPECT_GT(withdrawn, 0.0) << r.summary;
    EXPECT_LE(withdrawn, 2.0 * r.point_out * (1.0 + 1e-9)) << r.summary;
    EXPECT_GT(lowest_below, 2.0);
    EXPECT_LT(highest, 10.0);
    EXPECT_GT(highest, 3.0);
    expect_closed(r);
}

// The losing point-input valley with its withdrawal larger than the node's
// flow, on one thread and on eight (its loops forced onto the threads): the
// node masses after every step and the books agree to the bit.
TEST(ChannelMassPaths, OneAndEightThreadsMoveTheSameMass) {
    std::vector<double> nodes[2];
    std::string books[2];
    for (int k = 0; k < 2; ++k) {
        temp_dir dir;
        write_file(dir.file("points.txt"), "NUMPT 2\nPOINT 5 1 0.05 10\nPOINT 3 1 0\nNRPDS 1\n"
                                           "INPUT 2020 6 1 0 20\n0.05 10\n-0.3\n");
        project_file p = tracer_catchment(dir, 10.0);
        p.card("CHAN_POINT_INPUT", "points.txt").card("STREAM_LOSS").card("K_RIVER", "50");
        p.card("NUM_THREADS", k == 0 ? "1" : "8");
        p.write(dir.file("vee.prj"));
        parallel_from_cells many(16);
        ASSERT_TRUE(run_model_in(dir.path(), "vee.prj",
                                 [&](const run_state& rs) { books[k] = constituent_balance_text(rs); },
                                 [&](const run_state& rs) {
                                     nodes[k].insert(nodes[k].end(), rs.con_chan.mass[1].begin(),
                                                     rs.con_chan.mass[1].end());
                                 }));
    }
    ASSERT_FALSE(nodes[0].empty());
    EXPECT_EQ(nodes[0], nodes[1]);
    EXPECT_EQ(books[0], books[1]);
}

// A point inflow needs a concentration for every constituent the channels
// carry: a line without them is refused, naming the file and its line.
TEST(ChannelMassPaths, AnInflowWithoutItsConcentrationsIsRefused) {
    temp_dir dir;
    write_file(dir.file("points.txt"), "NUMPT 1\nPOINT 5 1 0.05\nNRPDS 0\n");
    project_file p = tracer_catchment(dir);
    p.card("CHAN_POINT_INPUT", "points.txt");
    p.write(dir.file("vee.prj"));
    const run_result r = run_pluvo({"vee.prj"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("points.txt, line 2"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("0 of the 1 constituent concentrations"), std::string::npos) << r.out;
}
