// The two-dimensional groundwater solver against analytic flows: Dupuit
// flow between two fixed heads (with and without recharge), Theis drawdown
// around a well, and the balance of stored water against sources and
// fixed-head flow.
#include <gtest/gtest.h>

#include <cmath>

#include "subsurface/gw_solver.h"
#include "subsurface_fixture.h"

namespace {

// A grid of 20-m cells with uniform aquifer, all codes 1; K in m/s.
run_state_ptr make_aquifer(int rows, int cols, double k, double storage, double head,
                           double bottom, double cell = 20.0) {
    run_state_ptr rs = make_grid_state(rows, cols, cell);
    const size_t n = static_cast<size_t>(rs->GNUM) + 1;
    rs->gw_simulation = 1;
    rs->gw_relax_coeff = 1.5;
    rs->gw_lsor_con = 1e-12;
    rs->gw_lsor_dir = 1;
    rs->gw_sweep = 1;
    rs->gwbound.assign(n, 1);
    rs->elevgw.assign(n, head);
    rs->bottom_elev.assign(n, bottom);
    rs->gw_hycond.assign(n, k);
    rs->gw_hycond_y.assign(n, k);
    rs->gw_storage.assign(n, storage);
    rs->gw_porosity.assign(n, storage);
    rs->gw_static_flux.assign(n, 0.0);
    rs->gw_recharge_depth.assign(n, 0.0);
    return rs;
}

double head_at(const run_state& rs, int row, int col) { return rs.elevgw[rs.mask[row][col]]; }

// Dupuit: h^2 = h1^2 - (h1^2 - h2^2) x / L + (R / K) x (L - x), fixed heads
// 10 m and 5 m 1000 m apart, K 1e-4 m/s, bottom 0; reference values at
// x = 500 m 7.906 m and, with 1e-8 m/s recharge injected as a static flux,
// 9.354 m; tolerance 0.2 %.
TEST(GroundwaterSolver, DupuitHeadsBetweenFixedHeads) {
    struct dupuit_case {
        double recharge;   // m/s
        double expected;   // m at x = 500 m
    };
    for (const dupuit_case& dc : {dupuit_case{0.0, 7.906}, dupuit_case{1e-8, 9.354}}) {
        SCOPED_TRACE(dc.recharge);
        const int cols = 51;   // cell centres 0, 20, .., 1000 m
        run_state_ptr rs = make_aquifer(3, cols, 1e-4, 0.2, 7.5, 0.0);
        for (int r = 1; r <= 3; ++r) {
            rs->gwbound[rs->mask[r][1]] = 2;
            rs->elevgw[rs->mask[r][1]] = 10.0;
            rs->gwbound[rs->mask[r][cols]] = 2;
            rs->elevgw[rs->mask[r][cols]] = 5.0;
            for (int c = 2; c < cols; ++c) rs->gw_static_flux[rs->mask[r][c]] = -dc.recharge;
        }
        for (int step = 0; step < 40; ++step) {
            solve_groundwater_2d(*rs, 1e8);
            ASSERT_EQ(error_record.code, 0);
        }
        const double h = head_at(*rs, 2, 26);
        EXPECT_NEAR(h, dc.expected, 0.002 * dc.expected);
        const double exact = std::sqrt(100.0 - 75.0 * 0.5 + dc.recharge / 1e-4 * 500.0 * 500.0);
        EXPECT_NEAR(h, exact, 0.002 * exact);
    }
}

// Theis: Q 1500 m3/day from a 1000-m-thick aquifer with T 600 m2/day and
// S 4e-4, fixed rim at +-2500 m, 1-h steps; after 1 day the drawdown is
// s = Q / (4 pi T) W(u), u = r^2 S / (4 T t): 1.158 m at 100 m, 0.883 m at
// 200 m (tolerance 2 %).
TEST(GroundwaterSolver, TheisDrawdownAroundAWell) {
    const int n = 251;   // 20-m cells, centre cell 126
    const double thickness = 1000.0;
    const double k = 600.0 / 86400.0 / thickness;   // m/s
    run_state_ptr rs = make_aquifer(n, n, k, 4e-4, 0.0, -thickness);
    for (int r = 1; r <= n; ++r) {
        for (int c = 1; c <= n; ++c) {
            if (r == 1 || c == 1 || r == n || c == n) rs->gwbound[rs->mask[r][c]] = 2;
        }
    }
    rs->gw_lsor_con = 1e-8;   // m; drawdowns are checked to 2 %
    rs->gw_relax_coeff = 1.9;
    const int well = rs->mask[126][126];
    rs->gw_static_flux[well] = 1500.0 / 86400.0 / (20.0 * 20.0);
    single_thread one;
    for (int hour = 0; hour < 24; ++hour) {
        solve_groundwater_2d(*rs, 3600.0);
        ASSERT_EQ(error_record.code, 0);
        rs->gw_sweep = rs->gw_sweep == 1 ? 2 : 1;
    }
    EXPECT_NEAR(-head_at(*rs, 126, 131), 1.158, 0.02 * 1.158);
    EXPECT_NEAR(-head_at(*rs, 126, 136), 0.883, 0.02 * 0.883);
}

// Every volume the solver moves is booked: stored-water change (S dh A) =
// source volume returned + flow through fixed heads + floor lift, to 1e-9
// relative, with a well, recharge, leakage and a withdrawal the thin
// aquifer cannot give (cut and lifted, never created unbooked).
TEST(GroundwaterSolver, StoredChangeEqualsBookedVolumes) {
    run_state_ptr rs = make_aquifer(6, 7, 2e-4, 0.15, 3.0, 0.0);
    rs->gwbound[rs->mask[1][1]] = 2;
    rs->elevgw[rs->mask[1][1]] = 4.0;
    rs->gwbound[rs->mask[6][7]] = 5;
    rs->elevgw[rs->mask[6][7]] = 2.0;
    rs->gw_leakage_rate = 0.01;                         // cm/h
    rs->gw_static_flux[rs->mask[3][4]] = 5e-6;          // m/s withdrawn
    rs->gw_recharge_depth[rs->mask[2][5]] = 1.5;        // cm
    rs->elevgw[rs->mask[5][2]] = 0.02;                  // thin: its withdrawal is cut
    rs->gw_chan_exchange_vol.assign(static_cast<size_t>(rs->GNUM) + 1, 0.0);
    rs->gw_chan_exchange_vol[rs->mask[5][2]] = 50.0;    // m3 the channel took from it
    double returned = 0.0;
    for (int step = 0; step < 5; ++step) {
        returned += solve_groundwater_2d(*rs, 3600.0);
        ASSERT_EQ(error_record.code, 0);
    }
    double boundary = 0.0;
    for (int c = 1; c <= rs->GNUM; ++c) boundary += rs->gw_flux[c];
    const double booked = returned + boundary + rs->gw_vol_floor_lift;
    EXPECT_GT(rs->gw_vol_floor_lift, 0.0);
    EXPECT_NEAR(rs->gw_vol_storage_change, booked,
                1e-9 * (std::fabs(booked) + std::fabs(returned) + std::fabs(boundary)));
    // The thin cell keeps at least 0.001 m and gives no leakage.
    EXPECT_GE(head_at(*rs, 5, 2), 0.001 - 1e-12);
    EXPECT_EQ(rs->gw_leakage[rs->mask[5][2]], 0.0);
}

// Fixed-head cells keep their heads; sweep order 2 reaches the same heads.
TEST(GroundwaterSolver, FixedHeadsHoldAndSweepOrderDoesNotMatter) {
    double heads[2] = {};
    for (int order = 1; order <= 2; ++order) {
        run_state_ptr rs = make_aquifer(5, 9, 1e-4, 0.2, 6.0, 0.0);
        rs->gw_sweep = order;
        rs->gwbound[rs->mask[3][1]] = 2;
        rs->elevgw[rs->mask[3][1]] = 8.0;
        solve_groundwater_2d(*rs, 86400.0);
        ASSERT_EQ(error_record.code, 0);
        EXPECT_EQ(head_at(*rs, 3, 1), 8.0);
        heads[order - 1] = head_at(*rs, 3, 5);
    }
    EXPECT_NEAR(heads[0], heads[1], 1e-9);
    EXPECT_GT(heads[0], 6.0);
}

// Cells coded 0 pass no groundwater through their faces: a wall of them
// across the aquifer keeps a raised head on one side from the other, while
// the wall's own heads still move with what they gain vertically (here a
// recharge of 1e-8 m/s over 1e7 s at storage 0.2: 0.5 m).
TEST(GroundwaterSolver, CellsCodedZeroPassNoFlow) {
    run_state_ptr rs = make_aquifer(3, 7, 1e-4, 0.2, 5.0, 0.0);
    for (int r = 1; r <= 3; ++r) {
        rs->gwbound[rs->mask[r][1]] = 2;
        rs->elevgw[rs->mask[r][1]] = 10.0;
        rs->gwbound[rs->mask[r][4]] = 0;
        rs->gw_static_flux[rs->mask[r][4]] = -1e-8;
    }
    for (int step = 0; step < 10; ++step) {
        solve_groundwater_2d(*rs, 1e6);
        ASSERT_EQ(error_record.code, 0);
    }
    for (int r = 1; r <= 3; ++r) {
        EXPECT_GT(head_at(*rs, r, 3), 9.0) << r;   // the near side fills towards 10 m
        EXPECT_NEAR(head_at(*rs, r, 4), 5.5, 1e-9) << r;
        for (int c = 5; c <= 7; ++c) EXPECT_NEAR(head_at(*rs, r, c), 5.0, 1e-12) << r << " " << c;
    }
}

// A head that is not a number stops the solve naming cell and time.
TEST(GroundwaterSolver, NotANumberHeadStops) {
    run_state_ptr rs = make_aquifer(2, 2, 1e-4, 0.2, 6.0, 0.0);
    rs->elevgw[3] = std::nan("");
    EXPECT_EQ(solve_groundwater_2d(*rs, 60.0), 0.0);
    EXPECT_EQ(error_record.code, kErrorPrinted);
    clear_error_record();
}

}  // namespace
