// Green-Ampt infiltration: the implicit relation and its solver, a ponded
// cell against the analytic solution, ponding under rain, the soil without
// suction head, and the per-cell rules of the update.
#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "subsurface/green_ampt.h"
#include "subsurface_fixture.h"

namespace {

// Root of F - F0 - S ln((F + S) / (F0 + S)) = K t by bisection (reference).
double reference_depth(double f0, double s, double kt) {
    double lo = f0;
    double hi = f0 + kt + s + std::sqrt(s * kt) + 1.0;
    for (int i = 0; i < 200; ++i) {
        const double mid = 0.5 * (lo + hi);
        const double g = s * std::log((mid + s) / (f0 + s)) + kt - mid + f0;
        (g > 0.0 ? lo : hi) = mid;
    }
    return 0.5 * (lo + hi);
}

// Cumulative infiltration of a cell ponded from time 0 after `total` seconds
// in steps of `dt`, by the model's update.
double ponded_depth_after(double total, double dt, double k, double cap, double phi, double thi) {
    run_state_ptr rs = make_grid_state(1, 1);
    set_uniform_soil(*rs, k, cap, phi, thi);
    const int steps = static_cast<int>(std::lround(total / dt));
    for (int s = 0; s < steps; ++s) {
        rs->ov_depth[1] = 10.0;   // always ponded
        infiltrate_green_ampt(*rs, dt);
    }
    return rs->cum_infil[1];
}

}  // namespace

TEST(GreenAmptSolver, MatchesTheReferenceRootAndStaysInsideTheBracket) {
    struct solver_case {
        double f0, s, kt;
    };
    // Ordinary soils and extremes of wet, dry, early and late states.
    const solver_case cases[] = {
        {0.0, 0.06, 6e-4},   {0.02, 0.06, 6e-4},  {0.0, 0.3, 1e-9},     {5.0, 0.3, 1e-12},
        {0.0, 1e4, 10.0},    {0.0, 1e-12, 1e-3},  {1e-3, 1e-8, 1e-9},   {0.0, 0.1, 1e3},
        {100.0, 0.05, 0.36}, {0.0, 2.0, 1e-7},    {1e-6, 0.5, 2e-5},
    };
    for (const solver_case& c : cases) {
        SCOPED_TRACE(testing::Message() << "F0 " << c.f0 << " S " << c.s << " Kt " << c.kt);
        const green_ampt_solution sol = solve_green_ampt_depth(c.f0, c.s, c.kt);
        ASSERT_TRUE(std::isfinite(sol.depth));
        EXPECT_GE(sol.depth, c.f0);
        EXPECT_TRUE(sol.converged);
        EXPECT_LE(sol.passes, kGreenAmptMaxPasses);
        const double ref = reference_depth(c.f0, c.s, c.kt);
        // The iteration stops at |g| <= 1e-6 m; near the root |g'| = F/(F+S).
        const double slope = std::max(ref / (ref + c.s), 1e-6);
        EXPECT_NEAR(sol.depth, ref, std::max(2.0 * kGreenAmptTolerance / slope, 1e-9));
    }
}

// Absurd soil data (suction deficits of 1e13 m and more) send the plain
// Newton iteration below F0 or to NaN; the bracket keeps the depth
// finite, between F0 and the upper bound, within the pass limit.
TEST(GreenAmptSolver, NeverFallsBelowThePreviousDepth) {
    struct solver_case {
        double f0, s, kt;
    };
    const solver_case cases[] = {
        {0.0, 1e13, 1e-3}, {0.0, 1e14, 1e-3}, {0.0, 1e16, 1.0}, {0.2, 1e15, 1e-2},
    };
    for (const solver_case& c : cases) {
        SCOPED_TRACE(testing::Message() << "F0 " << c.f0 << " S " << c.s << " Kt " << c.kt);
        const green_ampt_solution sol = solve_green_ampt_depth(c.f0, c.s, c.kt);
        ASSERT_TRUE(std::isfinite(sol.depth));
        EXPECT_GE(sol.depth, c.f0);
        EXPECT_LE(sol.depth, c.f0 + c.kt + c.s + std::sqrt(c.s * c.kt) + kGreenAmptStartStep);
        EXPECT_LE(sol.passes, kGreenAmptMaxPasses);
    }
}

TEST(GreenAmptSolver, NoSuctionHeadOrNoTimeTakesTheLimits) {
    struct limit_case {
        double f0, s, kt, expected;
    };
    const limit_case cases[] = {
        {0.0, 0.0, 3.6e-3, 3.6e-3},     // no suction head: F = F0 + K t
        {0.01, 0.0, 1e-4, 0.0101},
        {0.01, -0.02, 1e-4, 0.0101},    // soil wetter than its porosity
        {0.0, 1e-320, 1e-3, 1e-3},      // a deficit too small to matter
        {0.02, 0.06, 0.0, 0.02},        // K = 0: nothing moves
    };
    for (const limit_case& c : cases) {
        SCOPED_TRACE(testing::Message() << "F0 " << c.f0 << " S " << c.s << " Kt " << c.kt);
        const green_ampt_solution sol = solve_green_ampt_depth(c.f0, c.s, c.kt);
        EXPECT_DOUBLE_EQ(sol.depth, c.expected);
        EXPECT_TRUE(sol.converged);
    }
}

// A ponded cell follows F - S ln(1 + F/S) = K t. The update books the rate
// at the end of each step, the lowest of the step, so it stays below the
// analytic depth by an error of first order in the step.
TEST(GreenAmpt, PondedCellConvergesToTheAnalyticSolution) {
    const single_thread one_thread;   // many one-cell updates
    const double k = 1e-6, cap = 0.2, phi = 0.45, thi = 0.15, total = 7200.0;
    const double s = cap * (phi - thi);
    const double exact = reference_depth(0.0, s, k * total);
    const double steps[] = {600.0, 300.0, 150.0, 75.0, 37.5};
    double previous_error = 0.0;
    for (double dt : steps) {
        SCOPED_TRACE(testing::Message() << "dt " << dt);
        const double f = ponded_depth_after(total, dt, k, cap, phi, thi);
        EXPECT_LT(f, exact);
        const double error = exact - f;
        if (previous_error > 0.0) {
            // Halving the step about halves the error.
            EXPECT_GT(error / previous_error, 0.45);
            EXPECT_LT(error / previous_error, 0.65);
        }
        previous_error = error;
    }
    EXPECT_LT(previous_error, 0.008 * exact);   // 37.5 s steps: within 0.8 %
}

// Rain i > K ponds the surface at tp = K S / (i (i - K)); before that all rain infiltrates.
TEST(GreenAmpt, PondingTimeUnderRainMatchesTheAnalyticValue) {
    const single_thread one_thread;   // many one-cell updates
    const double k = 1e-6, cap = 0.2, phi = 0.45, thi = 0.15;
    const double s = cap * (phi - thi);
    const double i = 5e-6;   // m/s
    const double tp = k * s / (i * (i - k));
    const double steps[] = {120.0, 60.0, 30.0, 10.0};
    for (double dt : steps) {
        SCOPED_TRACE(testing::Message() << "dt " << dt);
        run_state_ptr rs = make_grid_state(1, 1);
        set_uniform_soil(*rs, k, cap, phi, thi);
        double t = 0.0;
        double ponded_at = -1.0;
        double rain = 0.0;
        while (t < 3.0 * tp && ponded_at < 0.0) {
            rs->ov_depth[1] += i * dt;
            rain += i * dt;
            infiltrate_green_ampt(*rs, dt);
            t += dt;
            if (rs->ov_depth[1] > 0.0) ponded_at = t;
            else EXPECT_NEAR(rs->cum_infil[1], rain, 1e-15);   // no ponding: all rain in
        }
        ASSERT_GT(ponded_at, 0.0);
        EXPECT_NEAR(ponded_at, tp, 2.0 * dt);
        EXPECT_NEAR(rs->cum_infil[1] + rs->ov_depth[1], rain, 1e-15);   // water kept
    }
}

TEST(GreenAmpt, SoilWithoutSuctionHeadInfiltratesAtItsConductivity) {
    struct soil_case {
        double cap, phi, thi;
    };
    const soil_case cases[] = {{0.0, 0.45, 0.15}, {0.2, 0.45, 0.45}, {0.2, 0.45, 0.5}};
    for (const soil_case& c : cases) {
        SCOPED_TRACE(testing::Message() << "cap " << c.cap << " thi " << c.thi);
        run_state_ptr rs = make_grid_state(1, 1);
        set_uniform_soil(*rs, 2e-6, c.cap, c.phi, c.thi);
        for (int step = 0; step < 3; ++step) {
            rs->ov_depth[1] = 1.0;
            infiltrate_green_ampt(*rs, 600.0);
            ASSERT_EQ(error_record.code, 0);
            EXPECT_NEAR(rs->infil_rate[1], 2e-6 * 360000.0, 1e-12);
            EXPECT_NEAR(rs->ov_depth[1], 1.0 - 1.2e-3, 1e-15);
        }
        EXPECT_NEAR(rs->cum_infil[1], 3.6e-3, 1e-15);
    }
}

TEST(GreenAmpt, CellRulesOfOneUpdate) {
    run_state_ptr rs = make_grid_state(1, 4);
    set_uniform_soil(*rs, 1e-5, 0.1, 0.45, 0.25);
    rs->ov_depth[1] = 1e-17;   // counts as dry
    rs->ov_depth[2] = 1e-4;    // less than the potential infiltration
    rs->ov_depth[3] = 5.0;     // no ponding limit
    rs->ov_depth[4] = -1e-9;   // a negative depth is cleared, nothing infiltrates
    rs->cum_infil[3] = 0.05;
    infiltrate_green_ampt(*rs, 60.0);
    EXPECT_EQ(rs->ov_depth[1], 0.0);
    EXPECT_EQ(rs->infil_rate[1], 0.0);
    EXPECT_EQ(rs->cum_infil[1], 0.0);
    EXPECT_EQ(rs->ov_depth[2], 0.0);
    EXPECT_DOUBLE_EQ(rs->cum_infil[2], 1e-4);
    EXPECT_DOUBLE_EQ(rs->infil_rate[2], 1e-4 / 60.0 * 360000.0);
    EXPECT_GE(rs->infil_rate[3], 3.6);
    EXPECT_NEAR(rs->ov_depth[3] + rs->cum_infil[3], 5.05, 1e-12);
    EXPECT_EQ(rs->ov_depth[4], 0.0);
    EXPECT_EQ(rs->cum_infil[4], 0.0);
}

TEST(GreenAmpt, AreaReductionScalesTheRate) {
    run_state_ptr rs = make_grid_state(1, 2);
    set_uniform_soil(*rs, 1e-6, 0.0, 0.45, 0.15);
    rs->area_reduction = 1;
    rs->area_reduction_factor = {0.0, 1.0, 0.25};
    rs->ov_depth[1] = rs->ov_depth[2] = 1.0;
    infiltrate_green_ampt(*rs, 100.0);
    EXPECT_NEAR(rs->cum_infil[1], 1e-4, 1e-18);
    EXPECT_NEAR(rs->cum_infil[2], 0.25e-4, 1e-18);
}

TEST(GreenAmpt, SuctionDeficitIsFixedAtTheFirstStep) {
    run_state_ptr rs = make_grid_state(1, 1);
    set_uniform_soil(*rs, 1e-6, 0.2, 0.45, 0.15);
    rs->ov_depth[1] = 1.0;
    infiltrate_green_ampt(*rs, 60.0);
    ASSERT_EQ(rs->suction_deficit.size(), 2u);
    EXPECT_DOUBLE_EQ(rs->suction_deficit[1], 0.2 * (0.45 - 0.15));
    rs->thi[1] = 0.4;   // a later change of thi does not alter the run's deficit
    infiltrate_green_ampt(*rs, 60.0);
    EXPECT_DOUBLE_EQ(rs->suction_deficit[1], 0.2 * (0.45 - 0.15));
}

TEST(GreenAmpt, MissingSoilParametersStopTheRun) {
    run_state_ptr rs = make_grid_state(1, 2);
    set_uniform_soil(*rs, 1e-6, 0.2, 0.45, 0.15);
    rs->cap_drive.clear();
    rs->ov_depth[1] = 1.0;
    testing::internal::CaptureStdout();
    infiltrate_green_ampt(*rs, 60.0);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(error_record.code, kErrorPrinted);
    EXPECT_NE(out.find("Green & Ampt"), std::string::npos);
    EXPECT_EQ(rs->ov_depth[1], 1.0);
    clear_error_record();
}

// The cells are independent: 1 and 8 threads give the same bytes.
TEST(GreenAmpt, ResultsDoNotDependOnTheThreadCount) {
    auto run = [](int threads) {
        run_state_ptr rs = make_grid_state(40, 50);
        rs->green_ampt = 1;
        for (int i = 1; i <= rs->GNUM; ++i) {
            rs->ksat[i] = 1e-7 * (1 + i % 17);
            rs->cap_drive[i] = 0.01 * (i % 23);
            rs->phi[i] = 0.35 + 0.001 * (i % 50);
            rs->thi[i] = 0.1 + 0.002 * (i % 31);
            rs->ov_depth[i] = 1e-3 * (i % 7);
        }
        const int saved = omp_get_max_threads();
        omp_set_num_threads(threads);
        for (int step = 0; step < 20; ++step) {
            for (int i = 1; i <= rs->GNUM; ++i) rs->ov_depth[i] += 2e-4;
            infiltrate_green_ampt(*rs, 60.0);
        }
        omp_set_num_threads(saved);
        std::vector<double> out(rs->cum_infil);
        out.insert(out.end(), rs->ov_depth.begin(), rs->ov_depth.end());
        out.insert(out.end(), rs->infil_rate.begin(), rs->infil_rate.end());
        return out;
    };
    const std::vector<double> one = run(1);
    const std::vector<double> eight = run(8);
    ASSERT_EQ(one.size(), eight.size());
    EXPECT_EQ(std::memcmp(one.data(), eight.data(), one.size() * sizeof(double)), 0);
}
