// Overland constituent sources, cell budgets and transport on small hand-made
// grids: decay in a still pond against exp(-kt), the share rule of pending
// amounts, limits that keep masses non-negative without making or losing
// mass, and advection between cells.
#include <cmath>

#include "conc_test_support.h"
#include "quality/conc_transport.h"

namespace {

using conc_test::ConcTest;
using conc_test::soil_spec;

// Decay in a still pond (flat, no infiltration), k = 8.64/day = 1e-4/s, every
// interval dt: after 3600 s the ratio is (1 - k dt)^(3600/dt), 0.697551 at
// 10 s, within 2e-4 of exp(-0.36) = 0.697676; the error halves at 5 s.
TEST_F(ConcTest, StillPondDecaysAtTheFirstOrderRate) {
    double error[2] = {0.0, 0.0};
    const double steps[2] = {10.0, 5.0};
    for (int k = 0; k < 2; ++k) {
        rs().time = conc_test::kJulianStart;
        pond(4, 0.2, 5.0, 8.64);
        const double start = overland_mass();
        EXPECT_NEAR(start, 4 * 0.2 * 100.0 * 5.0, 1e-9);
        const int n = static_cast<int>(3600.0 / steps[k] + 0.5);
        for (int s = 0; s < n; ++s) overland_pass(steps[k]);
        const double ratio = overland_mass() / start;
        EXPECT_NEAR(ratio, std::exp(-0.36), 2e-4) << steps[k];
        // The step lengths come from Julian-day clocks (about 4e-5 s resolution).
        EXPECT_NEAR(ratio, std::pow(1.0 - 1e-4 * steps[k], n), 1e-5) << steps[k];
        EXPECT_NEAR(rs().con_tot.ov_decay[1] * 1000.0, start - overland_mass(), 1e-9 * start);
        error[k] = std::fabs(ratio - std::exp(-0.36));
    }
    EXPECT_NEAR(error[1] / error[0], 0.5, 0.05);
}

// A block that ran over a longer interval than the transport step is spread:
// 1/60 of a 3600 s block per 60 s step; within 0.5 s of the step, all at once.
TEST(PendingShare, LongBlocksAreSpreadOverTheTransportSteps) {
    const struct {
        double dt, interval, amount, applied;
    } cases[] = {
        {60.0, 3600.0, 120.0, 2.0},
        {60.0, 60.5, 120.0, 120.0},
        {60.0, 60.6, 120.0, 120.0 * 60.0 / 60.6},
        {60.0, 30.0, 120.0, 120.0},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(scaled_pending_amount(c.dt, c.interval, c.amount), c.applied) << c.interval;
}

// Sinks queued beyond what a cell holds take the cell's mass and no more,
// empty their stores and book what they took; a cell that falls dry with
// infiltration hands its whole mass to the soil in one step.
TEST_F(ConcTest, SinksNeverTakeMoreThanACellHolds) {
    pond(2, 0.1, 2.0, 0.0);   // 20 g in each cell (0.1 m x 100 m2 x 2 g/m3)
    rs().con.pend_decay[1][1] = 15.0;
    rs().con.pend_infil[1][1] = 15.0;
    rs().con_pending_interval[kConBlockDecay] = 10.0;
    rs().con_pending_interval[kConBlockInfil] = 10.0;
    cell_taken t;
    const double rate = contam_cell_budget(rs(), 1, 1, 10.0, t);
    EXPECT_DOUBLE_EQ(t.decay, 15.0);
    EXPECT_DOUBLE_EQ(t.infil, 5.0);
    EXPECT_DOUBLE_EQ(rate, -2.0);
    EXPECT_DOUBLE_EQ(rs().con.pend_infil[1][1], 0.0);

    // Cell 2 falls dry while water infiltrates: all of its mass goes to the soil.
    rs().ov_depth[2] = 0.0;
    rs().ov_con_infil_volume.assign(3, 0.0);
    rs().ov_con_infil_volume[2] = 0.5;
    overland_pass(10.0);
    EXPECT_DOUBLE_EQ(rs().con.mass[1][2], 0.0);
    EXPECT_DOUBLE_EQ(rs().con.conc[1][2], 0.0);
    EXPECT_DOUBLE_EQ(rs().con.pend_soil_in[1][2], 20.0);
    EXPECT_NEAR(rs().con_tot.infil[1], 0.02, 1e-15);
}

// Decay queued over a step never exceeds the mass in the smaller of the old
// and new depths.
TEST_F(ConcTest, QueuedDecayStopsAtTheMassOfTheSmallerDepth) {
    pond(1, 0.1, 2.0, 8640.0);   // 0.1/s: a 10 s step would take the whole mass
    rs().con_h_last[1] = 0.05;
    overland_pass(10.0);
    EXPECT_NEAR(rs().con_tot.ov_decay[1] * 1000.0, 2.0 * 0.05 * 100.0, 1e-12);
    EXPECT_NEAR(overland_mass(), 10.0, 1e-12);
}

// Advection: a discharge q across a face moves q x C(upwind) x dt, both
// sweep orders; the grid holds its mass and the sub-steps keep every cell
// non-negative even when the step is many times the cells' residence time.
TEST_F(ConcTest, AdvectionMovesMassDownstreamWithoutMakingAny) {
    for (int sweep = 1; sweep <= 2; ++sweep) {
        SCOPED_TRACE(sweep);
        pond(5, 0.01, 0.0, 0.0);
        rs().con.conc[1][1] = 100.0;
        rs().con.mass[1][1] = 100.0 * 0.01 * 100.0;
        for (int j = 1; j <= 5; ++j) rs().ov_qx[j] = j < 5 ? 0.05 : 0.0;   // m3/s to the right
        rs().con_sweep = sweep;
        const double start = overland_mass();
        overland_pass(60.0);   // 3 m3 pass a face: three times a cell's water
        EXPECT_NEAR(overland_mass(), start, 1e-12 * start);
        for (int j = 1; j <= 5; ++j) EXPECT_GE(rs().con.mass[1][j], 0.0) << j;
        EXPECT_GT(rs().con.mass[1][5], 0.0);
        EXPECT_LT(rs().con.mass[1][1], 0.25 * start);
        EXPECT_DOUBLE_EQ(rs().con_tot.ov_neg[1], 0.0);
        EXPECT_EQ(rs().con_sweep, sweep == 1 ? 2 : 1);
    }
}

}  // namespace

namespace {

// Sorption, a pond over soil exchanging only: at equilibrium the layer holds
// R times the pore water's share, layer mass / (pond concentration x layer
// water) = R = 1 + (1 - phi) 2.65 Kd / theta (reference values below; within
// 1e-3), and the pond, the layer and nothing else hold the mass.
TEST_F(ConcTest, PondAndSoilLayerReachTheSorptionEquilibrium) {
    const struct {
        double phi, theta, kd, R;
    } cases[] = {
        {0.45, 0.30, 0.0, 1.0},
        {0.45, 0.30, 2.0, 10.7167},
        {0.40, 0.20, 0.5, 4.975},
        {0.50, 0.45, 10.0, 30.4444},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kd);
        rs().time = conc_test::kJulianStart;
        soil_spec soil;
        soil.on = true;
        soil.phi = c.phi;
        soil.theta = c.theta;
        soil.kd = c.kd;
        pond(1, 0.1, 10.0, 0.0, soil);
        rs().con.uptake[1][1] = 1e-4;   // m/s
        const double start = overland_mass();
        for (int s = 0; s < 3000; ++s) overland_pass(10.0);
        const double layer_water = 0.1 * c.theta * 100.0;   // m3
        const double ratio = rs().con.layer_mass[1][1] / (rs().con.conc[1][1] * layer_water);
        EXPECT_NEAR(ratio, c.R, 1e-3 * c.R);
        EXPECT_NEAR(overland_mass() + rs().con.layer_mass[1][1], start, 1e-9 * start);
        EXPECT_NEAR(rs().con.land[1][1], rs().con.layer_mass[1][1], 1e-9 * start);
    }
}

// Decay in the soil under a dry surface acts on the dissolved part only: with
// Kd 2 (R = 10.7167) and k 8.64/day the mass follows exp(-k t / R), 0.446542
// after one day (within 1e-4).
TEST_F(ConcTest, SoilDecayUnderADrySurfaceFollowsTheRetardedRate) {
    soil_spec soil;
    soil.on = true;
    soil.kd = 2.0;
    soil.load = 3.0;   // mg/kg
    pond(2, 0.0, 0.0, 8.64, soil);
    const double solids = 0.55 * 0.1 * 100.0 * 2650.0;   // kg
    EXPECT_NEAR(rs().con.layer_mass[1][1], solids * 3.0 / 1000.0, 1e-9);
    const double start = rs().con.layer_mass[1][1];
    for (int s = 0; s < 8640; ++s) overland_pass(10.0);
    EXPECT_NEAR(rs().con.layer_mass[1][1] / start, 0.446542, 1e-4);
    EXPECT_NEAR(rs().con_tot.soil_decay[1] * 1000.0, 2.0 * (start - rs().con.layer_mass[1][1]),
                1e-9 * start);
    EXPECT_NEAR(rs().con.layer_conc[1][1], rs().con.layer_mass[1][1] / solids * 1000.0, 1e-12);
}

}  // namespace

// With 3 contaminants the nutrient block starts at 4: water species 4..12
// (NO2, NO3, NH4, ON, OP, DP, Alg, CBOD, DO), soil pools at the same indices
// and 13..16. Contaminants map to themselves; nitrite has no soil pool;
// nitrate enters the nitrate pool (offset 3) and that pool feeds nitrate.
TEST(RelatedConstituent, WaterSpeciesAndSoilPoolsPair) {
    const struct {
        int r, table, related;
    } cases[] = {
        {2, 1, 2},    {3, 0, 3},   {4, 1, -1},  {5, 1, 7},  {6, 1, 6},   {7, 1, 8},
        {8, 1, 14},   {9, 1, 12},  {10, 1, -1}, {7, 0, 5},  {6, 0, 6},   {8, 0, 7},
        {12, 0, 9},   {14, 0, 8},  {16, 0, -1}, {17, 0, 17}, {17, 1, 17},
    };
    for (const auto& c : cases)
        EXPECT_EQ(related_constituent_offset(4, c.r, c.table), c.related) << c.r << " " << c.table;
}

namespace {

// A transport step due with no time passed since the last one moves nothing
// and keeps every pending amount for the next step.
TEST_F(ConcTest, ZeroElapsedTimeMovesNothing) {
    pond(2, 0.1, 2.0, 0.0);
    rs().con.pend_infil[1][1] = 5.0;
    rs().con_pending_interval[kConBlockInfil] = 0.2;   // a block shorter than 0.5 s
    rs().ov_con_transport_next = rs().time;             // due, at its last time
    step_overland_constituent_transport(rs());
    EXPECT_DOUBLE_EQ(rs().con.pend_infil[1][1], 5.0);
    EXPECT_DOUBLE_EQ(overland_mass(), 40.0);
    EXPECT_DOUBLE_EQ(rs().con_tot.infil[1], 0.0);
}

}  // namespace
