// Overland lakes as constituent stores on a hand-made row of three cells
// whose middle cell is a lake: the well-mixed lake against its analytic
// filling curve, decay in a still lake, cells and rain handing their mass to
// the lake, and a lake that gives more than it holds.
#include <cmath>

#include "conc_test_support.h"
#include "quality/conc_lakes.h"

namespace {

using conc_test::ConcTest;

constexpr double kArea = 100.0;   // cell area of the row, m2

class LakeRow : public ConcTest {
protected:
    // Cells 1 and 3 `depth` m deep without constituent, cell 2 overland lake
    // 1 holding `volume` m3 at `lake_conc` g/m3; decay k_per_day everywhere.
    void lake_row(double depth, double volume, double lake_conc, double k_per_day) {
        run_state& r = rs();
        r.lakes = 1;
        r.num_overland_lakes = 1;
        r.oland_lake_mask.assign(4, 0);
        r.oland_lake_mask[2] = 1;
        r.oland_lake_new = r.oland_lake_mask;
        r.elevation.assign(4, 100.0);
        r.overland_lakes.assign(2, overland_lake{});
        overland_lake& lake = r.overland_lakes[1];
        lake.level = lake.initial_level = 100.0 + volume / kArea;
        lake.volume = volume;
        lake.cell_count = 1;
        // All cells dry at set-up, so only the lake takes the initial concentration.
        pond(3, 0.0, lake_conc, k_per_day);
        for (int j : {1, 3}) r.ov_depth[j] = r.con_h_last[j] = depth;
    }
    double lake_mass() { return rs().con_lake.mass[1][1]; }
    double lake_conc() { return rs().con_lake.conc[1][1]; }
};

// Inflow at C_in = 10 g/m3 into a lake of V = 1000 m3 with Q = 0.1 m3/s in
// and out: C(t) = C_in (1 - exp(-Q t / V)). The explicit lake update gives
// C_in (1 - (1 - Q dt / V)^n), within 2e-3 C_in of it at 10 s steps over
// 2 V / Q, and the error halves at 5 s.
TEST_F(LakeRow, WellMixedLakeFillsAlongTheAnalyticCurve) {
    const double c_in = 10.0, V = 1000.0, Q = 0.1, h = 100.0;
    const double steps[2] = {10.0, 5.0};
    double error[2] = {0.0, 0.0};
    for (int k = 0; k < 2; ++k) {
        rs().time = conc_test::kJulianStart;
        lake_row(h, V, 0.0, 0.0);
        rs().ov_qx[1] = rs().ov_qx[2] = Q;
        const int n = static_cast<int>(2.0 * V / Q / steps[k] + 0.5);
        for (int s = 1; s <= n; ++s) {
            // Cell 1 is a reservoir held at C_in.
            rs().con.conc[1][1] = c_in;
            rs().con.mass[1][1] = c_in * h * kArea;
            overland_pass(steps[k]);
            const double t = s * steps[k];
            const double exact = c_in * (1.0 - std::exp(-Q * t / V));
            ASSERT_NEAR(lake_conc(), exact, 2e-3 * c_in) << "t " << t;
            error[k] = std::max(error[k], std::fabs(lake_conc() - exact));
        }
        // The lake cell shows its lake's concentration and holds no mass.
        EXPECT_DOUBLE_EQ(rs().con.conc[1][2], lake_conc());
        EXPECT_DOUBLE_EQ(rs().con.mass[1][2], 0.0);
        EXPECT_GT(rs().con.mass[1][3], 0.0);
    }
    EXPECT_NEAR(error[1] / error[0], 0.5, 0.05);
}

// A still lake, k = 8.64/day, every interval 10 s: after 3600 s the mass
// ratio is (1 - k dt)^360 = 0.697551, within 2e-4 of exp(-0.36); the decayed
// mass is booked.
TEST_F(LakeRow, StillLakeDecaysAtTheFirstOrderRate) {
    lake_row(0.0, 500.0, 4.0, 8.64);
    const double start = lake_mass();
    EXPECT_NEAR(start, 2000.0, 1e-9);
    EXPECT_NEAR(rs().con_tot.lake_init[1] * 1000.0, start, 1e-9);
    for (int s = 0; s < 360; ++s) overland_pass(10.0);
    EXPECT_NEAR(lake_mass() / start, 0.697551, 1e-5);
    EXPECT_NEAR(lake_mass() / start, std::exp(-0.36), 2e-4);
    EXPECT_NEAR(rs().con_tot.lake_decay[1] * 1000.0, start - lake_mass(), 1e-9 * start);
    EXPECT_NEAR(compute_constituent_balance(rs(), 1).residual, 0.0, 1e-12);
}

// A cell that the lake took (depth 0, its water in the lake volume) hands
// its mass to the lake and drops its queued sinks; rain on lake cells goes
// into the lake and is booked as rain.
TEST_F(LakeRow, JoinedCellsAndRainEndInTheLake) {
    lake_row(0.1, 100.0, 1.0, 0.0);
    run_state& r = rs();
    r.con.mass[1][3] = 50.0;
    r.con.pend_infil[1][3] = 20.0;
    r.con.pend_decay[1][3] = 5.0;
    r.oland_lake_new[3] = 1;
    r.ov_depth[3] = 0.0;
    r.overland_lakes[1].volume += 0.1 * kArea;
    r.con_tot.ov_init[1] = 50.0 / 1000.0;
    r.rain_state = 1;
    r.rain_cell_volume.assign(4, 0.0);
    r.rain_cell_volume[2] = r.rain_cell_volume[3] = 1.0;   // m3
    r.rain_cell_volume_writes = 1;                           // written by one rain step
    r.precip_conc.grow(1);
    r.precip_conc[1] = 10.0;
    overland_pass(10.0);
    EXPECT_NEAR(lake_mass(), 100.0 + 50.0 + 20.0, 1e-12);
    EXPECT_NEAR(lake_conc(), 170.0 / 110.0, 1e-12);
    EXPECT_DOUBLE_EQ(r.con.mass[1][3], 0.0);
    EXPECT_DOUBLE_EQ(r.con.pend_infil[1][3], 0.0);
    EXPECT_DOUBLE_EQ(r.con_tot.infil[1], 0.0);
    EXPECT_NEAR(r.con_tot.precip[1] * 1000.0, 20.0, 1e-12);
    EXPECT_NEAR(compute_constituent_balance(r, 1).residual, 0.0, 1e-12);
}

// Faces that give 60 m3 from a lake of 10 m3 take its mass and no more: the
// lake ends at 0 and the mass its faces carried beyond it is booked as made,
// so the balance closes.
TEST_F(LakeRow, ALakeNeverGivesMoreThanItHolds) {
    lake_row(1.0, 10.0, 3.0, 0.0);
    rs().ov_qx[2] = 1.0;   // m3/s from the lake to cell 3
    overland_pass(60.0);
    EXPECT_DOUBLE_EQ(lake_mass(), 0.0);
    // The step length comes from Julian-day clocks (about 4e-5 s resolution).
    EXPECT_NEAR(rs().con.mass[1][3], 60.0 * 3.0, 1e-4);
    EXPECT_NEAR(rs().con_tot.ov_neg[1] * 1000.0, rs().con.mass[1][3] - 30.0, 1e-9);
    EXPECT_NEAR(compute_constituent_balance(rs(), 1).residual, 0.0, 1e-12);
}

}  // namespace
