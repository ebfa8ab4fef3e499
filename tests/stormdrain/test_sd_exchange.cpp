// Surface exchange of the storm-drain network: the inlet rule, inlets that
// share a cell, surcharged junctions that release water onto their cells.
#include <gtest/gtest.h>

#include <cmath>

#include "sd_test_support.h"
#include "stormdrain/sd_exchange.h"

using namespace sd_test;

namespace {

constexpr double kFt = 3.28;   // ft per m, as the inlet rule uses it

// The inlet rule written out in feet: weir over three grate sides, orifice through the grate.
double weir(double d_m, double side) { return std::pow(kFt * d_m, 1.5) * 3.0 * kFt * 3.0 * side * 0.02832; }
double orifice(double d_m, double dia) {
    return std::sqrt(64.4 * kFt * d_m) * 0.785 * dia * dia * 10.764 * 0.67 * 0.02832;
}

TEST(InletRule, WeirOrifiseAndTheSmallerBetween) {
    const double side = 0.6, dia = 0.3;
    struct rule_case { double depth_ft; double expected; };
    const rule_case cases[] = {
        {0.2, weir(0.2 / kFt, side)},
        {0.4, weir(0.4 / kFt, side)},                                               // exactly 0.4 ft: weir
        {0.7, std::min(weir(0.7 / kFt, side), orifice(0.7 / kFt, dia))},          // between: the smaller
        {1.0, orifice(1.0 / kFt, dia)},                                             // exactly 1 ft: orifice
        {2.5, orifice(2.5 / kFt, dia)},
    };
    for (const rule_case& c : cases) {
        SCOPED_TRACE(c.depth_ft);
        EXPECT_NEAR(inlet_capture_rate(c.depth_ft / kFt, side, dia), c.expected, 1e-12);
    }
    // Between 0.4 and 1 ft the smaller of the two really is taken: the orifice here.
    EXPECT_LT(orifice(0.7 / kFt, dia), weir(0.7 / kFt, side));
    EXPECT_EQ(inlet_capture_rate(0.0, side, dia), 0.0);
}

// One junction with `inlets` inlets on cell 1 of 10 x 10 m holding `depth` m,
// a node inlet on the same cell, draining to an outfall.
state_ptr inlet_network(int inlets, double depth) {
    state_ptr rs = grid_state(1, 2, 10.0);
    sd_junction up = junction(10.0, 1.0, inlets, 1);
    up.grate_side = 0.6;
    up.grate_dia = 0.3;
    sd_link s = chain(1, 2, 2, 1.0, 50.0, 0.01, 0.013, 10.0);
    s.read_nodes[2].inlet = 1;
    s.read_nodes[2].cell = 1;
    s.read_nodes[2].grate_side = 0.6;
    s.read_nodes[2].grate_dia = 0.3;
    install(*rs, {up, junction(8.0, 0.0, 888, 2)}, {s});
    rs->ov_depth[1] = depth;
    return rs;
}

TEST(SurfaceExchange, InletsShareTheirCellsWater) {
    const double dt = 10.0, area = 100.0;
    const double d = 0.02;   // m: weir flow
    {
        // Two inlets can take twice the rate of one, set aside on the cell;
        // the node inlet on the same cell takes from what is left.
        state_ptr rs = inlet_network(2, d);
        sd_call_tally t;
        exchange_before_solve(*rs, dt, t);
        const double q = 2.0 * inlet_capture_rate(d, 0.6, 0.3);
        EXPECT_NEAR(rs->sd_junctions[1].capacity, q, 1e-12);
        const double left = d - q * dt / area;
        EXPECT_NEAR(rs->sd_links[1].nodes[2].inflow, inlet_capture_rate(left, 0.6, 0.3), 1e-12);
        EXPECT_NEAR(t.captured + q * dt + rs->ov_depth[1] * area, d * area, 1e-12);
    }
    {
        // Over 1000 s nine inlets could take more than the cell holds: they take it all, the node nothing.
        state_ptr rs = inlet_network(9, 0.01);
        sd_call_tally t;
        exchange_before_solve(*rs, 1000.0, t);
        EXPECT_NEAR(rs->sd_junctions[1].capacity * 1000.0, 0.01 * area, 1e-12);
        EXPECT_EQ(rs->ov_depth[1], 0.0);
        EXPECT_EQ(rs->sd_links[1].nodes[2].inflow, 0.0);
    }
}

TEST(SurfaceExchange, InletsTakeNothingWhileTheWaterInsideStandsAboveTheCells) {
    // A junction on a cell holding 0.2 m: below its grate the inlet rule at
    // the cell's depth; above the grate the rule at the difference of the
    // levels; at or above the cell's water surface nothing.
    struct level_case {
        double above_ground;   // junction head above its ground, m
        double head;           // water over the grate the rule sees, m
    };
    for (const level_case& c : {level_case{-1.0, 0.2}, level_case{0.05, 0.15}, level_case{0.2, 0.0},
                                level_case{0.7, 0.0}}) {
        SCOPED_TRACE(c.above_ground);
        state_ptr rs = inlet_network(1, 0.2);
        rs->sd_junctions[1].head = rs->sd_junctions[1].ground + c.above_ground;
        sd_call_tally t;
        exchange_before_solve(*rs, 1.0, t);
        EXPECT_NEAR(rs->sd_junctions[1].capacity, inlet_capture_rate(c.head, 0.6, 0.3), 1e-12);
    }
}

TEST(SurfaceExchange, NodeAboveItsGroundSpillsWithTheSwitch) {
    for (int release : {0, 1}) {
        SCOPED_TRACE(release);
        state_ptr rs = inlet_network(1, 0.05);
        rs->high_head_release = release;
        sd_link& s = rs->sd_links[1];
        s.nodes[2].storage_area = 2.0;
        s.nodes[2].depth = s.nodes[2].ground - s.nodes[2].invert + 0.3;   // 0.3 m above its ground
        s.nodes[2].volume = node_water(s, 2, s.nodes[2].depth);
        sd_call_tally t;
        exchange_before_solve(*rs, 10.0, t);
        if (release) {
            EXPECT_NEAR(t.released, 0.3 * 2.0, 1e-12);
            EXPECT_NEAR(s.nodes[2].spilled, 0.6, 1e-12);
            EXPECT_NEAR(s.nodes[2].inflow, -0.06, 1e-12);
            EXPECT_EQ(rs->superlink_ov_active, 1);
        } else {
            // Its water stands above the cell's: it neither spills nor takes.
            EXPECT_EQ(t.released, 0.0);
            EXPECT_EQ(s.nodes[2].inflow, 0.0);
        }
    }
}

}  // namespace

namespace {

// An outfall held above the pipe it ends would send water back up the pipe:
// it gives no more than its cell holds, and no water is made.
TEST(SurfaceExchange, BackflowFromAnOutfallTakesOnlyTheCellsWater) {
    for (double on_cell : {0.0, 0.001}) {
        SCOPED_TRACE(on_cell);
        state_ptr rs = grid_state(1, 2, 10.0);
        install(*rs, {junction(10.0, 1.0), junction(10.6, 0.0, 888, 2)},
                {chain(1, 2, 2, 0.5, 20.0, 0.005, 0.013, 10.0)});
        rs->ov_depth[2] = on_cell;
        double backflow = 0.0;
        for (int step = 0; step < 20; ++step) {
            const double held = rs->ov_depth[2] * 100.0;   // m3 on the outfall's cell
            ASSERT_EQ(superlink_step(*rs, 5.0), 0);
            const sd_call_tally& t = rs->superlink_tally;
            if (t.returned < 0.0) backflow += -t.returned;
            EXPECT_LE(-t.returned, held + 1e-12);   // never more than the cell held
            EXPECT_NEAR(t.storage_after - t.storage_before, -t.returned, 1e-12);
            EXPECT_GE(rs->ov_depth[2], 0.0);
        }
        EXPECT_NEAR(backflow, on_cell * 100.0, 1e-9);   // the cell's water went back up the pipe, all of it
        EXPECT_NEAR(rs->superlink_storage, backflow, 1e-12);
    }
}

}  // namespace
