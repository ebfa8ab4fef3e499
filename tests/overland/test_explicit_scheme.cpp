// The explicit overland scheme: face law, water balance, thread independence,
// sub-step division and its memory across calls, and positivity.
#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "overland/explicit_scheme.h"
#include "overland_grid.h"
#include "pluvo_test.h"

namespace {

constexpr double kDx = 8.0;   // cell size of the face-law cases (1/8 is exact), m

// Manning flow of one face, m3/s, as the face law states it.
double manning(double sf, double hf, double n, double dx) {
    double root = sf < 0 ? -std::sqrt(-sf) : std::sqrt(sf);
    return root / n * std::pow(hf, 5.0 / 3.0) * dx;
}

struct face_case {
    const char* name;
    double h1, h2;          // depths of cell 1 (j) and cell 2 (k, its right neighbour), m
    double r1, r2;          // retention depths, m
    double s0;              // bed slope from 1 to 2
    int dike1;              // dike bits of cell 1
    bool wet1, wet2;        // cells in wetland 1
    double expected;        // flow across the face, m3/s
};

// Wetland 1: threshold 0.05 m, linear 1e-3 /s, transition depth 0.2 m,
// transition coefficient 2e-3 /s, n 0.08.
constexpr double kThr = 0.05, kLin = 1e-3, kTd = 0.2, kTc = 2e-3, kWn = 0.08, kN = 0.05;

double blend(double sf, double hu) {
    double m = manning(sf, hu, kWn, kDx);
    double l = sf * hu * kTc * kDx;
    double q0 = sf * kThr * kLin * kDx;
    return hu > kTd ? q0 + m : q0 + hu / kTd * m + (1 - hu / kTd) * l;
}

class FaceLaw : public ::testing::TestWithParam<face_case> {};

TEST_P(FaceLaw, FlowAcrossOneFace) {
    const face_case& c = GetParam();
    overland_grid g({"11"}, kDx);
    run_state& rs = *g.rs;
    rs.ov_depth = {0, c.h1, c.h2};
    rs.retent_dep = {0, c.r1, c.r2};
    rs.ov_slope_x = {0, c.s0, c.s0};
    if (c.dike1 != 0) {
        rs.dike_map = 1;
        rs.dike_mask = {0, c.dike1, 0};
    }
    if (c.wet1 || c.wet2) {
        rs.wetlands = 1;
        rs.wetland_count = 1;
        rs.wetland_mask = {0, c.wet1 ? 1 : 0, c.wet2 ? 1 : 0};
        rs.wetland_records.assign(2, wetland_record{});
        wetland_record& w = rs.wetland_records[1];
        w.threshold_depth = kThr;
        w.linear_coef = kLin;
        w.transition_depth = kTd;
        w.transition_coef = kTc;
        w.wetland_n = kWn;
    }
    const double before = g.volume();
    route_overland_explicit(rs, 1e-3);   // one short sub-step: no split, no limit
    EXPECT_NEAR(rs.ov_qx[1], c.expected, 1e-12 * std::fabs(c.expected));
    EXPECT_EQ(rs.ov_qx[2], 0.0);   // cell 2 has no right neighbour
    EXPECT_NEAR(g.volume(), before, 1e-13 * (before + 1.0));
    EXPECT_NEAR(rs.ov_depth[1], c.h1 - c.expected * 1e-3 / (kDx * kDx), 1e-15);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FaceLaw,
    ::testing::Values(
        face_case{"downslope", 0.1, 0, 0, 0, 0.01, 0, false, false,
                  manning(0.01 + 0.1 / kDx, 0.1, kN, kDx)},
        face_case{"deep_water", 3.0, 0, 0, 0, 0.001, 0, false, false,
                  manning(0.001 + 3.0 / kDx, 3.0, kN, kDx)},
        face_case{"thin_film", 2e-4, 0, 0, 0, 0.02, 0, false, false,
                  manning(0.02 + 2e-4 / kDx, 2e-4, kN, kDx)},
        face_case{"uphill_pushed_by_depth", 0.5, 0, 0, 0, -0.01, 0, false, false,
                  manning(-0.01 + 0.5 / kDx, 0.5, kN, kDx)},
        face_case{"back_from_the_neighbour", 0, 0.2, 0, 0, 0, 0, false, false,
                  manning(-0.2 / kDx, 0.2, kN, kDx)},
        // Depths far below any film of water take the library's cube root.
        face_case{"depth_beyond_the_fast_power", 1e-95, 0, 0, 0, 0.01, 0, false, false,
                  manning(0.01 + 1e-95 / kDx, 1e-95, kN, kDx)},
        face_case{"back_from_a_depth_beyond_the_fast_power", 0, 1e-95, 0, 0, -0.01, 0, false,
                  false, manning(-0.01 - 1e-95 / kDx, 1e-95, kN, kDx)},
        face_case{"below_retention_blocks_both_ways", 0.004, 0.3, 0.005, 0, 0.0, 0, false, false,
                  0.0},
        face_case{"retention_lowers_the_flow_depth", 0.1, 0, 0.02, 0, 0.01, 0, false, false,
                  manning(0.01 + 0.1 / kDx, 0.08, kN, kDx)},
        face_case{"inflow_depth_above_own_retention", 0.05, 0.3, 0.01, 0.2, 0, 0, false, false,
                  manning(-0.25 / kDx, 0.29, kN, kDx)},
        face_case{"dike_on_the_right_side", 0.1, 0, 0, 0, 0.01, 2, false, false, 0.0},
        face_case{"dike_on_the_bottom_side_only", 0.1, 0, 0, 0, 0.01, 4, false, false,
                  manning(0.01 + 0.1 / kDx, 0.1, kN, kDx)},
        face_case{"level_surface_on_a_slope", 0.25, 0.5, 0, 0, 0.03125, 0, false, false, 0.0},
        face_case{"wetland_linear_below_threshold", 0.02, 0, 0, 0, 0.01, 0, true, false,
                  (0.01 + 0.02 / kDx) * 0.02 * kLin * kDx},
        face_case{"wetland_backflow_below_retention", 0.01, 0.001, 0, 0.002, -0.05, 0, true, false,
                  0.0},
        face_case{"wetland_backflow_from_plain_cell", 0.0, 0.2, 0, 0.01, -0.05, 0, true, false,
                  manning(-0.05 - 0.2 / kDx, 0.19, kN, kDx)},
        face_case{"wetland_pair_blend", 0.15, 0, 0, 0, 0.01, 0, true, true,
                  blend(0.01 + 0.15 / kDx, 0.1)},
        face_case{"wetland_pair_power_law", 0.5, 0, 0, 0, 0.01, 0, true, true,
                  blend(0.01 + 0.5 / kDx, 0.45)},
        face_case{"wetland_pair_linear_backflow", 0.0, 0.03, 0, 0, -0.01, 0, true, true,
                  (-0.01 - 0.03 / kDx) * 0.03 * kLin * kDx}),
    [](const ::testing::TestParamInfo<face_case>& info) { return std::string(info.param.name); });

// A random watershed: holes, a tilted noisy bed, depths, retention, roughness,
// some dikes and a wetland.
void fill_random(overland_grid& g, unsigned seed, double depth_scale) {
    run_state& rs = *g.rs;
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    for (int r = 1; r <= rs.rows; ++r)
        for (int c = 1; c <= rs.cols; ++c) {
            int k = rs.mask[r][c];
            if (k == 0) continue;
            rs.elevation[static_cast<size_t>(k)] = 100.0 - 0.05 * r * rs.cell_size -
                                                    0.02 * c * rs.cell_size + 0.3 * u(rng);
        }
    compute_cell_slopes(rs);
    const size_t size = static_cast<size_t>(rs.GNUM) + 1;
    rs.dike_map = 1;
    rs.dike_mask.assign(size, 0);
    rs.wetlands = 1;
    rs.wetland_count = 1;
    rs.wetland_mask.assign(size, 0);
    rs.wetland_records.assign(2, wetland_record{});
    rs.wetland_records[1] = wetland_record{0, 0.03, 2e-3, 0.1, 1e-3, 0, 0.1, 0};
    for (size_t j = 1; j < size; ++j) {
        rs.ov_depth[j] = u(rng) < 0.2 ? 0.0 : depth_scale * u(rng);
        rs.retent_dep[j] = 0.005 * u(rng);
        rs.dist_rough[j] = 0.02 + 0.08 * u(rng);
        if (u(rng) < 0.05) rs.dike_mask[j] = 1 + static_cast<int>(15 * u(rng));
        if (u(rng) < 0.05) rs.wetland_mask[j] = 1;
    }
}

std::vector<std::string> random_mask(int rows, int cols, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::vector<std::string> m(static_cast<size_t>(rows), std::string(static_cast<size_t>(cols), '1'));
    for (auto& row : m)
        for (auto& ch : row)
            if (u(rng) < 0.12) ch = '0';
    return m;
}

TEST(ExplicitScheme, ConservesWaterOnARandomGrid) {
    overland_grid g(random_mask(30, 40, 7), 10.0);
    fill_random(g, 11, 0.3);
    const double before = g.volume();
    {
        silenced_stdout quiet;
        for (int call = 0; call < 5; ++call) route_overland_explicit(*g.rs, 30.0);
    }
    EXPECT_NEAR(g.volume(), before, 1e-12 * before);
    EXPECT_GE(g.min_depth(), 0.0);
}

TEST(ExplicitScheme, OutletVolumeClosesTheBalance) {
    overland_grid g(random_mask(20, 25, 3), 10.0);
    fill_random(g, 5, 0.2);
    run_state& rs = *g.rs;
    rs.chan_explic = 0;
    rs.outlet_cell = rs.GNUM;
    rs.outslope = 0.02;
    rs.ov_depth[static_cast<size_t>(rs.GNUM)] = 0.4;
    const double before = g.volume();
    double out = 0.0;
    {
        silenced_stdout quiet;
        for (int call = 0; call < 4; ++call) out += route_overland_explicit(rs, 20.0);
    }
    EXPECT_GT(out, 0.0);
    EXPECT_NEAR(g.volume() + out, before, 1e-12 * before);
}

TEST(ExplicitScheme, SameResultForOneAndEightThreads) {
    // Many tiles of cells, on many threads.
    const std::vector<std::string> mask = random_mask(50, 60, 21);
    const pluvo_test::parallel_from_cells parallel(2048);
    std::vector<double> depth[2], qx[2], qy[2];
    const int threads[2] = {1, 8};
    const int saved = omp_get_max_threads();
    for (int t = 0; t < 2; ++t) {
        omp_set_num_threads(threads[t]);
        overland_grid g(mask, 10.0);
        ASSERT_GE(g.rs->GNUM, 2048);
        fill_random(g, 99, 0.1);
        {
            silenced_stdout quiet;
            route_overland_explicit(*g.rs, 20.0);
        }
        depth[t] = g.rs->ov_depth;
        qx[t] = g.rs->ov_qx;
        qy[t] = g.rs->ov_qy;
    }
    omp_set_num_threads(saved);
    ASSERT_EQ(depth[0].size(), depth[1].size());
    EXPECT_EQ(std::memcmp(depth[0].data(), depth[1].data(), depth[0].size() * sizeof(double)), 0);
    EXPECT_EQ(std::memcmp(qx[0].data(), qx[1].data(), qx[0].size() * sizeof(double)), 0);
    EXPECT_EQ(std::memcmp(qy[0].data(), qy[1].data(), qy[0].size() * sizeof(double)), 0);
}

// The plain and the AVX2 builds of the face loops agree to the bit, with
// dikes, wetlands, splits and limited donors (on a processor without AVX2
// both runs take the plain code).
TEST(ExplicitScheme, SameResultForPlainAndVectorCode) {
    const std::vector<std::string> mask = random_mask(40, 45, 8);
    std::vector<double> depth[2], qx[2], qy[2];
    for (int plain = 0; plain < 2; ++plain) {
        set_plain_overland_kernel(plain == 1);
        overland_grid g(mask, 10.0);
        fill_random(g, 31, 0.3);
        {
            silenced_stdout quiet;
            for (int call = 0; call < 4; ++call) route_overland_explicit(*g.rs, 30.0);
        }
        depth[plain] = g.rs->ov_depth;
        qx[plain] = g.rs->ov_qx;
        qy[plain] = g.rs->ov_qy;
    }
    set_plain_overland_kernel(false);
    ASSERT_EQ(depth[0].size(), depth[1].size());
    EXPECT_EQ(std::memcmp(depth[0].data(), depth[1].data(), depth[0].size() * sizeof(double)), 0);
    EXPECT_EQ(std::memcmp(qx[0].data(), qx[1].data(), qx[0].size() * sizeof(double)), 0);
    EXPECT_EQ(std::memcmp(qy[0].data(), qy[1].data(), qy[0].size() * sizeof(double)), 0);
}

// Every face of a grid of many tiles of cells against the face law, with
// flows in both directions across the tile edges: the depth powers a tile
// computes once per cell must be those of the right cell, and a neighbour
// with another retention depth must not lend its own.
struct tile_case {
    const char* name;
    bool uniform_retention;
};

class FaceLawOnAGrid : public ::testing::TestWithParam<tile_case> {};

TEST_P(FaceLawOnAGrid, EveryFaceFollowsTheFaceLaw) {
    overland_grid g(random_mask(45, 37, 5), 10.0);
    run_state& rs = *g.rs;
    ASSERT_GT(rs.GNUM, 3 * 256);
    std::mt19937 rng(17);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    for (int r = 1; r <= rs.rows; ++r)
        for (int c = 1; c <= rs.cols; ++c) {
            const int k = rs.mask[r][c];
            // A bed with hills and hollows, so water flows every way.
            if (k != 0)
                rs.elevation[static_cast<size_t>(k)] = 0.2 * std::sin(0.7 * r) * std::cos(0.5 * c);
        }
    compute_cell_slopes(rs);
    for (int j = 1; j <= rs.GNUM; ++j) {
        const size_t s = static_cast<size_t>(j);
        rs.ov_depth[s] = u(rng) < 0.1 ? 0.0 : 0.2 * u(rng);
        rs.retent_dep[s] = GetParam().uniform_retention ? 0.002 : 0.01 * u(rng);
        rs.dist_rough[s] = 0.02 + 0.08 * u(rng);
    }
    const std::vector<double> h = rs.ov_depth;
    const double dt = 1e-4;   // one short sub-step: no split, no limit
    route_overland_explicit(rs, dt);
    int backward = 0;
    for (int j = 1; j <= rs.GNUM; ++j) {
        const size_t s = static_cast<size_t>(j);
        const int next[2] = {rs.rightcon[s], rs.belowcon[s]};
        const double slope[2] = {rs.ov_slope_x[s], rs.ov_slope_y[s]};
        const double got[2] = {rs.ov_qx[s], rs.ov_qy[s]};
        for (int f = 0; f < 2; ++f) {
            const int k = next[f];
            double expected = 0.0;
            if (k != 0 && h[s] >= rs.retent_dep[s]) {
                const double hk = h[static_cast<size_t>(k)];
                // The slope rounded as the scheme rounds it.
                const double sf = slope[f] - (hk - h[s]) * (1.0 / 10.0) + 1e-30;
                const double hf = (sf < 0 ? hk : h[s]) - rs.retent_dep[s];
                if (std::fabs(sf) >= 1e-20 && hf > 0.0)
                    expected = manning(sf, hf, rs.dist_rough[s], 10.0);
                if (expected < 0.0) ++backward;
            }
            ASSERT_NEAR(got[f], expected, 1e-13 * std::fabs(expected))
                << "cell " << j << (f == 0 ? " right" : " bottom") << " face";
        }
    }
    EXPECT_GT(backward, 100);   // many faces flow towards the cell that owns them
}

INSTANTIATE_TEST_SUITE_P(Cases, FaceLawOnAGrid,
                         ::testing::Values(tile_case{"uniform_retention", true},
                                           tile_case{"retention_of_every_cell", false}),
                         [](const ::testing::TestParamInfo<tile_case>& info) {
                             return std::string(info.param.name);
                         });

TEST(ExplicitScheme, LevelWaterOnAFlatBedStaysPut) {
    overland_grid g({"11111", "11011", "11111"}, 10.0);
    run_state& rs = *g.rs;
    compute_cell_slopes(rs);   // flat bed: every slope 0
    std::fill(rs.ov_depth.begin() + 1, rs.ov_depth.end(), 0.1);
    const std::vector<double> start = rs.ov_depth;
    route_overland_explicit(rs, 60.0);
    EXPECT_EQ(rs.ov_depth, start);
    for (int j = 1; j <= rs.GNUM; ++j) {
        EXPECT_EQ(rs.ov_qx[static_cast<size_t>(j)], 0.0);
        EXPECT_EQ(rs.ov_qy[static_cast<size_t>(j)], 0.0);
    }
}

// Two cells with a violent flow from cell 1 to cell 2: 10 m of water on a
// slope of 1 with n = 0.01 and 1 m cells moves far more than 0.06 m in any
// sub-step above a microsecond.
void make_violent(overland_grid& g) {
    run_state& rs = *g.rs;
    rs.ov_depth = {0, 10.0, 0.0};
    rs.ov_slope_x = {0, 1.0, 1.0};
    rs.dist_rough = {0, 0.01, 0.01};
    rs.quiet = 0;
}

TEST(ExplicitScheme, SplitAtTheShortestSubStepDoesNotDivide) {
    overland_grid g({"11"}, 1.0);
    make_violent(g);
    testing::internal::CaptureStdout();
    route_overland_explicit(*g.rs, 0.005);
    std::string out = testing::internal::GetCapturedStdout();
    // The face is counted for the event summary, not printed.
    EXPECT_EQ(g.rs->event_ov_split_faces, 1);
    EXPECT_EQ(out.find("need to split"), std::string::npos) << out;
    EXPECT_EQ(out.find("*Changing overland time step"), std::string::npos) << out;
    EXPECT_EQ(g.rs->ov_reduced_steps_left, 0);
    EXPECT_GE(g.min_depth(), 0.0);
}

TEST(ExplicitScheme, SplitAtALongerSubStepDivides) {
    overland_grid g({"11"}, 1.0);
    make_violent(g);
    testing::internal::CaptureStdout();
    route_overland_explicit(*g.rs, 0.0051);
    std::string out = testing::internal::GetCapturedStdout();
    // One division to 0.0017 s; below 0.005 s the splits are no longer divided.
    EXPECT_EQ(pluvo_test::count_of(out, " *Changing overland time step to 0.00 seconds...\n"), 1)
        << out;
    EXPECT_EQ(pluvo_test::count_of(out, "*Time step to small"), 0) << out;
    EXPECT_EQ(g.rs->ov_reduced_steps_left, 4);
    EXPECT_DOUBLE_EQ(g.rs->ov_reduced_dt, 0.0051 / 3.0);
    EXPECT_GE(g.min_depth(), 0.0);
}

// The outflow part of the split test looks at the donor of the face: an
// inflow into a dry cell is no reason to split, an outflow larger than the
// donor's water is (even when it moves less than 0.06 m).
struct donor_case {
    const char* name;
    double h1, h2, s0, n;
    bool divides;
};

class DonorSplit : public ::testing::TestWithParam<donor_case> {};

TEST_P(DonorSplit, OutflowTestLooksAtTheDonor) {
    const donor_case& c = GetParam();
    overland_grid g({"11"}, 1.0);
    run_state& rs = *g.rs;
    rs.ov_depth = {0, c.h1, c.h2};
    rs.ov_slope_x = {0, c.s0, c.s0};
    rs.dist_rough = {0, c.n, c.n};
    testing::internal::CaptureStdout();
    route_overland_explicit(rs, 1.0);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(rs.ov_reduced_steps_left, c.divides ? 4 : 0) << out;
    EXPECT_EQ(rs.event_ov_split_faces > 0, c.divides) << out;
    EXPECT_EQ(out.find("need to split"), std::string::npos) << out;
    EXPECT_GE(g.min_depth(), 0.0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DonorSplit,
    ::testing::Values(donor_case{"inflow_into_a_dry_cell", 0.0, 0.05, 0.0, 0.05, false},
                      donor_case{"outflow_beyond_the_water", 0.01, 0.0, 0.5, 0.01, true}),
    [](const ::testing::TestParamInfo<donor_case>& info) { return std::string(info.param.name); });

TEST(ExplicitScheme, FiveDivisionsThenTheTooSmallMessage) {
    overland_grid g({"11"}, 1.0);
    make_violent(g);
    const double before = g.volume();
    testing::internal::CaptureStdout();
    route_overland_explicit(*g.rs, 243.0);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(pluvo_test::count_of(out, " *Changing overland time step to"), 5) << out.substr(0, 2000);
    EXPECT_NE(out.find(" *Changing overland time step to 1.00 seconds...\n"), std::string::npos);
    EXPECT_EQ(pluvo_test::count_of(
                  out, " *Time step to small to divide, continuing with current time step\n"),
              1);
    EXPECT_EQ(g.rs->ov_reduced_dt, 1.0);   // 243 s / 3^5
    EXPECT_EQ(g.rs->ov_reduced_steps_left, 4);
    // The step went on with its too-large sub-steps: water is kept and no
    // depth went below zero.
    EXPECT_GE(g.min_depth(), 0.0);
    EXPECT_NEAR(g.volume(), before, 1e-12 * before);
}

TEST(ExplicitScheme, ReducedSubStepHeldForFourCallsThenReset) {
    overland_grid g({"11"}, 1.0);
    make_violent(g);
    run_state& rs = *g.rs;
    {
        silenced_stdout quiet;
        route_overland_explicit(rs, 60.0);
    }
    const double reduced = rs.ov_reduced_dt;
    ASSERT_LT(reduced, 60.0);
    rs.ov_depth = {0, 0.001, 0.0};   // calm from now on: no further split
    for (int call = 1; call <= 4; ++call) {
        testing::internal::CaptureStdout();
        route_overland_explicit(rs, 60.0);
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(out, "") << "call " << call;
        EXPECT_EQ(rs.ov_reduced_active, 1);
        EXPECT_EQ(rs.ov_reduced_steps_left, 4 - call);
        EXPECT_EQ(rs.ov_reduced_dt, reduced);
    }
    testing::internal::CaptureStdout();
    route_overland_explicit(rs, 60.0);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "Resetting time step to 60.00 for overland flow...\n");
    EXPECT_EQ(rs.ov_reduced_active, 0);
}

TEST(ExplicitScheme, ViolentStepLeavesNoNegativeDepth) {
    // Steep bed towards the outlet corner, deep water, a long step.
    overland_grid g({"111111", "111111", "111111", "111111", "111111"}, 2.0);
    run_state& rs = *g.rs;
    for (int r = 1; r <= rs.rows; ++r)
        for (int c = 1; c <= rs.cols; ++c)
            rs.elevation[static_cast<size_t>(rs.mask[r][c])] = 50.0 - 3.0 * r - 2.0 * c;
    compute_cell_slopes(rs);
    std::fill(rs.ov_depth.begin() + 1, rs.ov_depth.end(), 3.0);
    std::fill(rs.dist_rough.begin() + 1, rs.dist_rough.end(), 0.01);
    rs.chan_explic = 0;
    rs.outlet_cell = rs.GNUM;
    rs.outslope = 1.0;
    const double before = g.volume();
    double out = 0.0;
    {
        silenced_stdout quiet;
        out = route_overland_explicit(rs, 600.0);
    }
    EXPECT_GE(g.min_depth(), 0.0);
    EXPECT_GE(rs.ov_depth[static_cast<size_t>(rs.GNUM)], 0.0);   // the outlet too
    EXPECT_NEAR(g.volume() + out, before, 1e-12 * before);
}

TEST(ExplicitScheme, OutletDrainsAtMostItsWater) {
    overland_grid g({"1"}, 1.0);
    run_state& rs = *g.rs;
    rs.ov_depth = {0, 0.5};
    rs.chan_explic = 0;
    rs.outlet_cell = 1;
    rs.outslope = 0.5;
    const double out = route_overland_explicit(rs, 3600.0);
    EXPECT_EQ(rs.ov_depth[1], 0.0);
    EXPECT_DOUBLE_EQ(out, 0.5);
}

}  // namespace
