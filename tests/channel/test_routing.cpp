// Explicit channel routing: steady flow at normal depth, the Courant-limited
// sub-steps, retries and their volumes, the refused settings, and the
// channel-network lakes taking and giving back nodes.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "channel/culverts.h"
#include "channel/link_end_flows.h"
#include "routing_test_support.h"

namespace {

using chan_test::replaced;
using chan_test::three_link_file;
using routing_test::link_spec;
using routing_test::normal_depth;
using routing_test::RoutingTest;
using routing_test::single_link_file;

// Steady inflow into a long prismatic channel settles at the normal depth of
// Manning's equation all along, and the outlet passes the inflow.
TEST_F(RoutingTest, SteadyInflowSettlesAtNormalDepth) {
    struct row {
        const char* what;
        double bottom, side, manning, slope, inflow;
    };
    const row rows[] = {
        {"trapezoid", 2.0, 1.0, 0.035, 0.002, 1.5},
        {"wide side slopes", 1.0, 1.5, 0.040, 0.005, 0.8},
        {"narrow and steep", 0.5, 2.0, 0.050, 0.01, 0.3},
    };
    for (const row& c : rows) {
        SCOPED_TRACE(c.what);
        TearDown();
        SetUp();
        link_spec s;
        s.points = 61;
        s.dx = 20.0;
        s.slope = c.slope;
        s.bottom = c.bottom;
        s.side = c.side;
        s.manning = c.manning;
        ASSERT_TRUE(build(single_link_file(s))) << out_;
        const double yn = normal_depth(c.inflow, c.bottom, c.side, c.manning, c.slope);
        set_depth(0.5 * yn);
        run_state& r = rs();
        const double start = channel_volume();
        double outlet = 0.0;  // m3
        route_volumes v;
        int steady = 0;
        for (int step = 0; step < 2000 && steady < 20; ++step) {
            // The inflow at the head of the link (m3/s) rises over the first 20 minutes.
            r.first_order_chan_q = c.inflow * std::min(1.0, (step + 1) / 20.0);
            ASSERT_EQ(route(60.0, v), 0) << out_;
            outlet += v.outlet;
            const double q_out = r.qp[r.nx[1]][1];
            steady = std::fabs(q_out - c.inflow) < 1e-6 * c.inflow ? steady + 1 : 0;
        }
        ASSERT_EQ(steady, 20) << "no steady state";
        // The inflow is booked as a channel point input: start + input = end + outlet.
        EXPECT_NEAR(start + r.vol_stream_point_sources, channel_volume() + outlet,
                    1e-9 * r.vol_stream_point_sources);
        EXPECT_NEAR(r.qp[r.nx[1]][1], c.inflow, 0.01 * c.inflow);
        for (int k = 2; k <= r.nx[1]; k += 7) {
            EXPECT_NEAR(r.chan_node_depth[k][1], yn, 0.01 * yn) << "node " << k;
        }
    }
}

// A flat rectangular channel 1 m deep (area 1 m2) at rest, with one flow
// preset on node 2: the Courant number of that flow sets the sub-steps.
TEST_F(RoutingTest, CourantNumberOfTheFlowMagnitudeSetsTheSubSteps) {
    struct row {
        const char* what;
        double flow;  // preset discharge of node 2, m3/s
        long substeps;
    };
    const row rows[] = {
        {"below the limit", 0.039, 1},
        {"exactly at the limit halves", 0.04, 2},
        {"upstream flow counts too", -0.04, 2},
        {"two and a half times the limit", 0.1, 3},
    };
    for (const row& c : rows) {
        SCOPED_TRACE(c.what);
        TearDown();
        SetUp();
        link_spec s;
        s.points = 5;
        s.slope = 0.0;
        s.bottom = 1.0;
        s.side = 0.0;
        ASSERT_TRUE(build(single_link_file(s))) << out_;
        set_depth(1.0);
        ASSERT_DOUBLE_EQ(rs().area[2][1], 1.0);
        rs().qp[2][1] = c.flow;
        route_volumes v;
        ASSERT_EQ(route(10.0, v), 0) << out_;
        EXPECT_EQ(rs().chan_substeps, c.substeps);
        EXPECT_EQ(rs().chan_retries, 0);
    }
}

// A steep link with little water and a long channel step drains its nodes
// below zero in the first try: the sub-step is tried again with half the
// step, and the step's volumes still add up exactly.
TEST_F(RoutingTest, RetriedSubStepsKeepEveryVolumeOnce) {
    link_spec s;
    s.points = 6;
    s.slope = 0.1;
    s.bottom = 1.0;
    ASSERT_TRUE(build(single_link_file(s))) << out_;
    set_depth(0.1);
    run_state& r = rs();
    const double lateral = 0.01;  // m2/s on every node
    for (int k = 1; k <= r.nx[1]; ++k) r.qlat[k][1] = lateral;
    const double before = channel_volume();
    route_volumes v;
    ASSERT_EQ(route(60.0, v), 0) << out_;
    EXPECT_GT(r.chan_retries, 0);
    EXPECT_NEAR(v.lateral_in, lateral * s.dx * r.nx[1] * 60.0, 1e-9);
    EXPECT_EQ(v.lateral_out, 0.0);
    EXPECT_NEAR(before + v.lateral_in, channel_volume() + v.outlet, 1e-6);
    EXPECT_GT(v.outlet, 0.0);
}

TEST_F(RoutingTest, SubStepBelowAThousandthOfASecondStopsTheRun) {
    link_spec s;
    s.slope = 0.0;
    ASSERT_TRUE(build(single_link_file(s))) << out_;
    set_depth(0.01);
    rs().qlat[2][1] = -1.0;  // takes far more than the node holds, m2/s
    route_volumes v;
    EXPECT_EQ(route(10.0, v), -1);
    EXPECT_EQ(error_record.stop, 1);
    EXPECT_NE(out_.find("The channel routing time step is getting really small\n"
                        "less than 1/1000 of a second\n"
                        "Reduce the model time step and/or MAX_COURANT_NUMBER (default=0.04) \n"
                        "Program stopped.\n"),
              std::string::npos)
        << out_;
}

TEST_F(RoutingTest, CourantLimitOfZeroOrBelowIsRefused) {
    for (double limit : {0.0, -0.5}) {
        SCOPED_TRACE(limit);
        TearDown();
        SetUp();
        ASSERT_TRUE(build(single_link_file(link_spec{}))) << out_;
        set_depth(0.2);
        rs().max_courant_number = limit;
        route_volumes v;
        EXPECT_EQ(route(10.0, v), -1);
        EXPECT_EQ(error_record.stop, 1);
        EXPECT_NE(out_.find("max_courant_number"), std::string::npos) << out_;
        EXPECT_EQ(rs().chan_substeps, 0);
    }
}

// Node flows of a three-node link (points 4) for set water levels.
TEST_F(RoutingTest, LinkEndFlowsFollowTheWaterSurfaceSlope) {
    link_spec s;
    s.points = 4;
    s.slope = 0.0;
    ASSERT_TRUE(build(single_link_file(s))) << out_;
    run_state& r = rs();
    struct row {
        const char* what;
        double d1, d2;  // depths of nodes 1 and 2, m
    };
    const row rows[] = {{"equal levels", 0.5, 0.5}, {"falling", 0.6, 0.5}, {"reversed", 0.4, 0.7}};
    for (const row& c : rows) {
        SCOPED_TRACE(c.what);
        set_depth(0.5);
        r.yp[1][1] = r.bel[1][1] + c.d1;
        r.yp[2][1] = r.bel[2][1] + c.d2;
        ASSERT_TRUE(ex_section(r, kSectionFromLevel, r.area));
        ASSERT_TRUE(ex_section(r, kSectionFromArea, r.area));
        ASSERT_EQ(compute_link_end_flows(r, r.qp, 1.0, r.time), 0);
        const double drop = (c.d1 - c.d2) / s.dx;
        const double expected =
            drop >= 0 ? std::sqrt(drop) * r.conv[1][1] : -std::sqrt(-drop) * r.conv[2][1];
        EXPECT_NEAR(r.qp[1][1], expected, 1e-12);
        if (c.d1 == c.d2) {
            EXPECT_EQ(r.qp[1][1], 0.0);
        }
        EXPECT_EQ(r.qp[3][1], 0.0);  // a flat outlet bed passes nothing
    }
}

TEST_F(RoutingTest, OutletPassesNormalDepthFlowOrStopsOnANegativeSlope) {
    link_spec s;
    s.points = 4;
    s.slope = 0.004;
    ASSERT_TRUE(build(single_link_file(s))) << out_;
    set_depth(0.3);
    run_state& r = rs();
    ASSERT_EQ(compute_link_end_flows(r, r.qp, 1.0, r.time), 0);
    EXPECT_NEAR(r.qp[3][1], std::sqrt(0.004) * r.conv[3][1], 1e-12);

    // The last bed above the one before it.
    r.bel[3][1] = r.bel[2][1] + 0.01;
    ASSERT_TRUE(ex_section(r, kSectionFromLevel, r.area));
    std::string out =
        chan_test::captured([&] { EXPECT_EQ(compute_link_end_flows(r, r.qp, 1.0, r.time), -1); });
    EXPECT_NE(out.find("The outlet slope is negative.  Make sure that the bed\n"
                       "elevation of the most downstream node is lower than\n"
                       "the bed elevation of the node just upstream from it.\n"
                       "Program stopped.\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(error_record.stop, 1);

    // With the stream head boundary the outlet passes what it receives.
    error_record = error_info{};
    r.head_bound = 1;
    r.qlat[3][1] = 0.02;
    ASSERT_EQ(compute_link_end_flows(r, r.qp, 1.0, r.time), 0);
    EXPECT_NEAR(r.qp[3][1], 0.02 * s.dx + r.qp[2][1], 1e-12);
}

// Links 1 and 2 join link 3: the junction flow uses the spacing of both
// links; a lake downstream takes water but never gives it back up a link.
TEST_F(RoutingTest, JunctionAndLakeFlows) {
    ASSERT_TRUE(build(three_link_file())) << out_;
    set_depth(0.5);
    run_state& r = rs();
    ASSERT_EQ(compute_link_end_flows(r, r.qp, 1.0, r.time), 0);
    const double s = (r.yp[3][1] - r.yp[1][3]) / (0.5 * (r.dx[3] + r.dx[1]));
    EXPECT_NEAR(r.qp[3][1], std::sqrt(s) * r.conv[3][1], 1e-12);

    // Link 3 as a lake: level above link 2's last node, then below.
    r.ltype[3] = kLtLake;
    r.lake2link.assign(4, 0);
    r.lake2link[3] = 1;
    r.lake_elev.assign(2, 0.0);
    r.lake_elev[1] = r.yp[2][2] + 0.2;
    ASSERT_EQ(compute_link_end_flows(r, r.qp, 1.0, r.time), 0);
    EXPECT_EQ(r.qp[2][2], 0.0);
    r.lake_elev[1] = r.yp[2][2] - 0.2;
    ASSERT_EQ(compute_link_end_flows(r, r.qp, 1.0, r.time), 0);
    EXPECT_NEAR(r.qp[2][2], std::sqrt(0.2 / (2.0 * r.dx[2])) * r.conv[2][2], 1e-12);
}

// Link 1 drains through structure link 2 (one element) into link 3.
std::string structure_chain_file() {
    link_spec up;
    up.link = 1;
    up.points = 4;
    up.top_bed = 104.0;
    up.slope = 0.01;
    link_spec down;
    down.link = 3;
    down.points = 4;
    down.top_bed = 103.0;
    down.slope = 0.01;
    return "PLUVO_CHAN\nALPHA 1.0\nBETA 1.0\nTHETA 1.0\nLINKS 3\nMAXNODES 3\n"
           "CONNECT 1 2 0\nCONNECT 2 3 1 1\nCONNECT 3 0 1 2\n" +
           routing_test::link_block(up) +
           "LINK 2\nDX 10.0\nNODES 2\nSTRUCTURE\nNUMSTRUCTS 1\n"
           "STRUCTTYPE weir\nCREST_LENGTH 2.0\nCREST_LOW_ELEV 103.5\nDISCHARGE_COEFF_FORWARD 1.6\n"
           "DISCHARGE_COEFF_REVERSE 1.6\nNODE 1\nELEV 103.5\nNODE 2\nELEV 103.4\n" +
           routing_test::link_block(down);
}

TEST_F(RoutingTest, StructureMayNotDrawMoreThanItsNodeHolds) {
    ASSERT_TRUE(build(structure_chain_file())) << out_;
    set_depth(0.3);
    run_state& r = rs();
    elevation_series* curve = new_elevation_series();
    curve->x_values = {0.0, 1000.0};
    curve->count = 2;
    r.structures[1].structtype = kStructRatingCurve;
    r.structures[1].elev_series = curve;
    const double dt = 5.0;
    for (double q : {1000.0, -1000.0, 0.01}) {
        SCOPED_TRACE(q);
        curve->y_values = {q, q};
        ASSERT_EQ(compute_link_end_flows(r, r.qp, dt, r.time), 0);
        double expected = q;
        if (q > 0 && r.area[3][1] * r.dx[1] < q * dt) expected = r.area[3][1] * r.dx[1] / dt;
        if (q < 0) expected = -r.area[1][3] * r.dx[3] / dt;
        EXPECT_NEAR(r.qp[1][2], expected, 1e-12);
        EXPECT_EQ(r.qp[2][2], r.qp[1][2]);
        EXPECT_EQ(r.qp[3][1], r.qp[1][2]);  // the link above hands the structure's flow on
    }
    free_elevation_series();
}

// Before every culvert evaluation its inlet coefficient is calibrated: the
// flow at 1.5 spans of head over the invert (coefficient 1.07, no tailwater)
// over area x sqrt(2 g x (1.49 spans - depth)) at 1.49 spans; above 1 it is 0.99.
TEST_F(RoutingTest, CulvertInletCoefficientIsCalibratedBeforeEachEvaluation) {
    ASSERT_TRUE(build(structure_chain_file())) << out_;
    run_state& r = rs();
    hydraulic_structure& c = r.structures[1];
    c.structtype = kStructRectCulvert;
    c.width = 1.5;
    c.height = 1.0;
    c.length = 10.0;
    c.upinvert = 103.5;
    c.downinvert = 103.4;
    c.slope = 0.01;
    c.roughness = 0.013;
    c.fwd_coeff = 0.6;
    c.rev_coeff = 0.6;
    const double hw = 104.6, tw = 103.2;
    bool failed = true;
    const double q = structure_link_flow(r, 2, hw, tw, r.time, failed);
    ASSERT_FALSE(failed) << out_;

    std::vector<hydraulic_structure> probe = r.structures;
    culvert_inlet_coeff(probe[1]) = 1.07;
    const culvert_flow high = culv_flow(probe, 1, 103.5 + 1.5 * 1.5, 0.0);
    const culvert_flow low = culv_flow(probe, 1, 103.5 + 1.49 * 1.5, 0.0);
    double coeff = high.flow / (low.area * std::sqrt(19.62 * (1.49 * 1.5 - low.depth)));
    if (coeff > 1.0) coeff = 0.99;
    EXPECT_NEAR(culvert_inlet_coeff(c), coeff, 1e-12);
    culvert_inlet_coeff(probe[1]) = coeff;
    EXPECT_NEAR(q, culv_flow(probe, 1, hw, tw).flow, 1e-12);
    EXPECT_GT(q, 0.0);
}

// Links 1 and 2 drain into link 3, made a lake here. Cells 1..3 hold the
// three nodes of link 1 (one segment each, whole cells).
class LakeCaptureTest : public RoutingTest {
protected:
    void SetUp() override {
        RoutingTest::SetUp();
        const std::string gst =
            "GRIDSTREAMFILE\nSTREAMCELLS 3\nNUMNODES 1\nNUMNODES 1\nNUMNODES 1\n"
            "CELLIJ 1 1\nLINKNODE 1 1 1.0\nCELLIJ 1 2\nLINKNODE 1 2 1.0\nCELLIJ 1 3\nLINKNODE 1 3 "
            "1.0\n";
        ASSERT_TRUE(build(three_link_file(), gst)) << out_;
        set_depth(0.4);
        run_state& r = rs();
        r.ltype[3] = kLtLake;
        r.channel_lakes = 1;
        r.num_channel_lakes = 1;
        r.lake2link.assign(4, 0);
        r.lake2link[3] = 1;
        for (std::vector<double>* a : {&r.lake_elev, &r.lake_volume, &r.lake_in_dv, &r.lake_out_dv,
                                       &r.lake_minwse, &r.lake_volume_last_chan})
            a->assign(2, 0.0);
        r.lake_elev[1] = 103.8;
        r.lake_volume[1] = 5000.0;
        r.pct_flooded.assign(r.area.rows(), r.area.cols(), 0.0);
        r.lake_mask.assign(static_cast<size_t>(r.GNUM) + 1, 0);
    }
    double link1_node_volume(int k) { return rs().area[k][1] * rs().dx[1]; }
};

TEST_F(LakeCaptureTest, FloodedNodesOfAnyLakeAreTakenFromTheDownstreamEnd) {
    struct row {
        const char* what;
        int mask;      // lake number of cells 2 and 3
        double share;  // share of the segments
        int nodes_left;
    };
    const row rows[] = {
        {"cells of lake 1", 1, 1.0, 1},
        {"cells of lake 2 flood too", 2, 1.0, 1},
        {"share 1.0005 counts as full", 1, 1.0005, 1},
        {"share 0.998 does not", 1, 0.998, 3},
    };
    for (const row& c : rows) {
        SCOPED_TRACE(c.what);
        TearDown();
        SetUp();
        run_state& r = rs();
        r.lake_mask[2] = r.lake_mask[3] = c.mask;
        r.gst_pct[2][1] = r.gst_pct[3][1] = c.share;
        const double taken = link1_node_volume(2) + link1_node_volume(3);
        route_volumes v;
        ASSERT_EQ(route(1.0, v), 0) << out_;
        EXPECT_EQ(r.nx[1], c.nodes_left);
        if (c.nodes_left == 1) {
            EXPECT_NE(out_.find("node taken: [3][1] lake_elev:  103.80, dslink:3 nx: 2\n"),
                      std::string::npos)
                << out_;
            EXPECT_NE(out_.find("node taken: [2][1] lake_elev:  103.80, dslink:3 nx: 1\n"),
                      std::string::npos)
                << out_;
            EXPECT_EQ(r.status_node[3][1], 1);
            EXPECT_EQ(r.area[3][1], 0.0);
            EXPECT_GE(r.lake_volume[1], 5000.0 + taken - 1e-9);  // plus what link 2 delivered
        } else {
            EXPECT_EQ(out_.find("node taken"), std::string::npos) << out_;
        }
    }
}

TEST_F(LakeCaptureTest, WholeLinkIsOvertakenOnceAndGivenBackAsTheLakeRecedes) {
    run_state& r = rs();
    r.lake_mask[1] = r.lake_mask[2] = r.lake_mask[3] = 1;
    route_volumes v;
    ASSERT_EQ(route(1.0, v), 0) << out_;
    EXPECT_EQ(r.nx[1], 0);
    EXPECT_EQ(pluvo_test::count_of(out_, "***PLUVO  has overtaken link: 1***\n"), 1) << out_;
    EXPECT_TRUE(r.ltype[1] & kLtOvertaken);
    EXPECT_EQ(r.lake2link[1], 1);
    ASSERT_EQ(route(1.0, v), 0) << out_;
    EXPECT_EQ(out_.find("overtaken"), std::string::npos) << out_;

    // The lake recedes from every cell: the nodes come back from the top.
    r.lake_mask.assign(r.lake_mask.size(), 0);
    const double lake_before = r.lake_volume[1];
    ASSERT_EQ(route(1.0, v), 0) << out_;
    EXPECT_EQ(r.nx[1], 3);
    EXPECT_FALSE(r.ltype[1] & kLtOvertaken);
    EXPECT_EQ(r.lake2link[1], 0);
    EXPECT_NE(out_.find("node released:[1][1], elev:103.5, depth:0.300, lakeelev:103.8"),
              std::string::npos)
        << out_;
    double returned = 0.0;
    for (int k = 1; k <= 3; ++k) {
        EXPECT_GT(r.area[k][1], 0.0);
        EXPECT_EQ(r.status_node[k][1], 0);
    }
    returned = r.lake_out_dv[1];
    EXPECT_GT(returned, 0.0);
    EXPECT_LT(r.lake_volume[1], lake_before);
}

}  // namespace

namespace {

// Link 1 (one node) is made a lake at `level` (m) holding `volume` m3; it
// drains straight into routed link 2 (five nodes of 10 m, bed from 100 m at
// 0.001), 0.1 m deep, whose last node is the outlet.
class LakeAboveChannelTest : public RoutingTest {
protected:
    void build_lake(double level, double volume) {
        link_spec lake;
        lake.link = 1;
        lake.points = 2;
        lake.top_bed = 101.0;
        link_spec down;
        down.link = 2;
        down.points = 6;
        down.top_bed = 100.0;
        ASSERT_TRUE(build("PLUVO_CHAN\nALPHA 1.0\nBETA 1.0\nTHETA 1.0\nLINKS 2\nMAXNODES 5\n"
                          "CONNECT 1 2 0\nCONNECT 2 0 1 1\n" +
                          routing_test::link_block(lake) + routing_test::link_block(down)))
            << out_;
        set_depth(0.1);
        run_state& r = rs();
        r.ltype[1] = kLtLake;
        r.channel_lakes = 1;
        r.num_channel_lakes = 1;
        r.lake2link.assign(3, 0);
        r.lake2link[1] = 1;
        for (std::vector<double>* a : {&r.lake_elev, &r.lake_volume, &r.lake_in_dv, &r.lake_out_dv,
                                       &r.lake_minwse, &r.lake_volume_last_chan})
            a->assign(2, 0.0);
        r.lake_elev[1] = level;
        r.lake_volume[1] = volume;
        r.pct_flooded.assign(r.area.rows(), r.area.cols(), 0.0);
        r.lake_mask.assign(static_cast<size_t>(r.GNUM) + 1, 0);
    }
};

}  // namespace

// The lake 0.2 m above the channel's first node passes water into it; what
// the lake books as outflow is what the channel received: lake + channel +
// outlet water stays what it was. A lake holding 0.5 m3 at the same level
// gives those 0.5 m3 and no more.
TEST_F(LakeAboveChannelTest, LakePassesIntoTheChannelBelowWhatItPays) {
    struct lake_case {
        const char* what;
        double volume;   // m3
        bool empties;
    };
    for (const lake_case c : {lake_case{"large lake", 5000.0, false},
                              lake_case{"lake of 0.5 m3", 0.5, true}}) {
        SCOPED_TRACE(c.what);
        TearDown();
        SetUp();
        build_lake(100.3, c.volume);
        run_state& r = rs();
        const double start = r.lake_volume[1] + channel_volume();
        double outlet = 0.0;   // m3
        for (int step = 0; step < 30; ++step) {
            route_volumes v;
            ASSERT_EQ(route(10.0, v), 0) << out_;
            outlet += v.outlet;
            EXPECT_GE(r.lake_volume[1], 0.0);
        }
        const double paid = r.lake_out_dv[1] - r.lake_in_dv[1];
        EXPECT_GT(paid, 0.0);
        EXPECT_NEAR(c.volume - r.lake_volume[1], paid, 1e-9 * c.volume);
        EXPECT_NEAR(r.lake_volume[1] + channel_volume() + outlet, start, 1e-9 * start);
        if (c.empties) {
            EXPECT_NEAR(r.lake_volume[1], 0.0, 1e-12);
        }
    }
}
