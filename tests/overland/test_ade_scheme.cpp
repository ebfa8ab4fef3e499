// The ADE and ADE-PC schemes on hand-built grids: face laws (retention on
// both sides, wetlands, snow, dikes), the donor limit, the sub-step control
// and its stop.
#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/parallel.h"
#include "overland/ade_scheme.h"
#include "overland/explicit_scheme.h"
#include "overland_grid.h"

namespace {

constexpr int kSchemes[] = {kSchemeAde, kSchemeAdePc};

// A row of cells on flat ground.
struct row_grid {
    overland_grid g;
    run_state& rs = *g.rs;
    explicit row_grid(const std::string& row, double dx = 10.0) : g({row}, dx) {}
    double volume() const { return g.volume(); }
    double min_depth() const { return g.min_depth(); }
};

}  // namespace

// Two cells exchange the same water whichever side holds it: the flowing
// cell's depth above its own retention drives the face in both directions.
TEST(AdeScheme, RetentionActsTheSameFromBothSides) {
    for (int scheme : kSchemes) {
        SCOPED_TRACE(scheme);
        row_grid a("11"), b("11");
        for (row_grid* g : {&a, &b}) {
            g->rs.retent_dep[1] = 0.01;
            g->rs.retent_dep[2] = 0.01;
        }
        a.rs.ov_depth[1] = 0.05;   // water on the left
        b.rs.ov_depth[2] = 0.05;   // the mirror: water on the right
        route_overland_ade(a.rs, 5.0, scheme, 1);
        route_overland_ade(b.rs, 5.0, scheme, 1);
        EXPECT_GT(a.rs.ov_depth[2], 0.0);
        EXPECT_DOUBLE_EQ(a.rs.ov_depth[2], b.rs.ov_depth[1]);
        EXPECT_DOUBLE_EQ(a.rs.ov_depth[1], b.rs.ov_depth[2]);
        EXPECT_DOUBLE_EQ(a.rs.ov_qx[1], -b.rs.ov_qx[1]);
    }
}

// Closed grids keep their water exactly, never go below zero, and a cell at
// its retention depth gives nothing.
TEST(AdeScheme, NoDepthBelowZeroAndNoWaterLostOrMade) {
    struct conservation_case {
        const char* name;
        double depth;      // water on cell 1, m
        double drop;       // ground falls by this from each cell to the next, m
        double rough;      // Manning n
        double dt;         // step, s
    };
    const conservation_case cases[] = {
        {"gentle", 0.05, 0.01, 0.05, 10.0},
        {"steep and smooth", 0.5, 2.0, 0.01, 60.0},    // outflows far above the water: limits
        {"deep wall of water", 3.0, 0.0, 0.02, 120.0},  // restarts with shorter sub-steps
    };
    for (int scheme : kSchemes) {
        for (const conservation_case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (scheme == kSchemeAde ? " ade" : " ade-pc"));
            overland_grid g({"1111", "1111", "1111"}, 10.0);
            run_state& rs = *g.rs;
            for (int r = 1; r <= 3; ++r)
                for (int col = 1; col <= 4; ++col)
                    rs.elevation[static_cast<size_t>(rs.mask[r][col])] = -c.drop * (r + col);
            rs.dist_rough.assign(rs.dist_rough.size(), c.rough);
            rs.ov_depth[1] = c.depth;
            const double before = g.volume();
            for (int step = 0; step < 10; ++step) {
                ASSERT_GE(route_overland_ade(rs, c.dt, scheme, step % 2 + 1), 0.0);
                ASSERT_GE(g.min_depth(), 0.0) << "step " << step;
            }
            EXPECT_NEAR(g.volume(), before, 1e-12 * before);
            EXPECT_LT(rs.vol_ov_depth_clip, 1e-12 * before);
            EXPECT_GT(rs.ov_depth[12], 0.0);   // the water reached the far corner
        }
    }
    // At its retention depth a cell passes nothing.
    row_grid g("11");
    g.rs.elevation[2] = -1.0;
    g.rs.retent_dep[1] = 0.02;
    g.rs.ov_depth[1] = 0.02;
    route_overland_ade(g.rs, 10.0, kSchemeAde, 1);
    EXPECT_EQ(g.rs.ov_depth[1], 0.02);
    EXPECT_EQ(g.rs.ov_depth[2], 0.0);
}

// Wetland and snow laws of one face, checked on the first sweep (x first,
// one sub-step of the whole step on the first call).
TEST(AdeScheme, WetlandAndSnowFaceLaws) {
    // A wetland cell below its threshold drains by linear_coef x S x h x dx.
    {
        row_grid g("11");
        run_state& rs = g.rs;
        rs.elevation[1] = 0.2;
        rs.wetlands = 1;
        rs.wetland_mask.assign(3, 0);
        rs.wetland_mask[1] = 1;
        rs.wetland_records.assign(2, wetland_record{});
        rs.wetland_records[1].threshold_depth = 0.05;
        rs.wetland_records[1].linear_coef = 1e-3;   // 1/s
        rs.wetland_records[1].wetland_n = 0.2;
        rs.ov_depth[1] = 0.03;
        route_overland_ade(rs, 1.0, kSchemeAde, 1);
        const double slope = (0.2 + 0.03) / 10.0;
        EXPECT_NEAR(rs.ov_qx[1], 1e-3 * slope * 0.03 * 10.0, 1e-15);
    }
    // Snow on the flowing cell: the Darcy velocity S k replaces Manning's,
    // unless the Reynolds number reaches the snow_reynolds limit.
    for (bool laminar : {true, false}) {
        SCOPED_TRACE(laminar);
        row_grid g("11");
        run_state& rs = g.rs;
        rs.elevation[2] = 0.5;
        rs.snow_darcy_given = 1;
        rs.snow_darcy = 0.02;   // m/s
        rs.snow_reynolds_given = 1;
        rs.snow_reynolds = laminar ? 1e9 : 10.0;
        rs.snow_swe.assign(3, 0.0);
        rs.snow_swe[2] = 0.1;
        rs.retent_dep[2] = 0.01;
        rs.ov_depth[2] = 0.1;
        route_overland_ade(rs, 1.0, kSchemeAde, 1);
        const double s = (0.5 + 0.1) / 10.0;
        const double expected = laminar ? -s * 0.02 * 0.09 * 10.0
                                        : -std::sqrt(s) / 0.05 * std::pow(0.09, 5.0 / 3.0) * 10.0;
        EXPECT_NEAR(rs.ov_qx[1], expected, 1e-12 * std::fabs(expected));
    }
}

// A dike on the bottom side closes that face in the y sweep only.
TEST(AdeScheme, BottomDikeClosesOnlyTheYFace) {
    overland_grid g({"11", "11"}, 10.0);
    run_state& rs = *g.rs;
    rs.dike_map = 1;
    rs.dike_mask.assign(5, 0);
    rs.dike_mask[1] = 4;
    rs.ov_depth[1] = 0.1;
    route_overland_ade(rs, 2.0, kSchemeAde, 1);
    EXPECT_EQ(rs.ov_qy[1], 0.0);
    EXPECT_EQ(rs.ov_qy_sum[1], 0.0);
    EXPECT_GT(rs.ov_qx[1], 0.0);
    EXPECT_GT(rs.ov_depth[2], 0.0);
    // Cell 3 below gets water only around, through cell 2 and 4.
    EXPECT_LT(rs.ov_depth[3], rs.ov_depth[2]);
}

// The sub-step shrinks when the step would move too much water and grows
// back by doubling to the whole step; the outlet drains at most its water.
TEST(AdeScheme, SubStepShrinksAndGrowsBackAndOutletDrainsAtMostItsWater) {
    row_grid g("1111111111");
    run_state& rs = g.rs;
    for (int j = 1; j <= 10; ++j) rs.elevation[static_cast<size_t>(j)] = -0.5 * j;
    rs.dist_rough.assign(rs.dist_rough.size(), 0.01);
    rs.ov_depth[1] = 1.0;
    rs.chan_explic = 0;
    rs.outlet_cell = 10;
    rs.outslope = 0.5;
    const double before = g.volume();
    double out = 0.0;
    double shortest = 1e300;
    for (int step = 0; step < 40; ++step) {
        const double v = route_overland_ade(rs, 30.0, kSchemeAde, step % 2 + 1);
        ASSERT_GE(v, 0.0);
        out += v;
        if (rs.ade_last_substep < shortest) shortest = rs.ade_last_substep;
        ASSERT_GE(g.min_depth(), 0.0);
    }
    EXPECT_LT(shortest, 30.0);
    EXPECT_DOUBLE_EQ(rs.ade_last_substep, 30.0);   // the calm grid is back to whole steps
    EXPECT_NEAR(g.volume() + out, before, 1e-12 * before);
    EXPECT_GT(out, 0.99 * before);
}

// Outflows that no sub-step above 0.001 s can hold stop the run with the
// ADE message; the stop is in the error record, not in the outlet volume.
TEST(AdeScheme, SubStepBelowAMillisecondStopsTheRun) {
    row_grid g("11");
    run_state& rs = g.rs;
    rs.elevation[2] = -10.0;
    rs.dist_rough.assign(rs.dist_rough.size(), 1e-15);
    rs.ov_depth[1] = 1.0;
    testing::internal::CaptureStdout();
    const double v = route_overland_ade(rs, 10.0, kSchemeAde, 1);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(v, 0.0);
    EXPECT_NE(out.find("The ADE overland routing time step is getting really small\n"
                       "Reduce the model time step by a factor of 2 and try again.\n"
                       "Program stopped.\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(error_record.stop, 1);
}

// A negative depth handed to the scheme is raised to zero with its message,
// and the water that creates is booked.
TEST(AdeScheme, NegativeEntryDepthIsRaisedAndBooked) {
    row_grid g("111");
    run_state& rs = g.rs;
    rs.ov_depth[2] = -0.001;
    rs.ov_depth[1] = 0.01;
    testing::internal::CaptureStdout();
    route_overland_ade(rs, 1.0, kSchemeAdePc, 1);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("A negative number for water depth has been sent to overland routing for "
                       "overland cell 2 \nValue being set to zero\n"),
              std::string::npos)
        << out;
    EXPECT_NEAR(rs.vol_ov_depth_clip, 0.001 * 100.0, 1e-15);
    EXPECT_NEAR(g.volume(), 0.01 * 100.0, 1e-14);
    EXPECT_GE(g.min_depth(), 0.0);
}

// Runs without dikes, wetlands, snow or lakes take their faces in blocks of
// vector code. On a random watershed of several blocks (holes, a noisy
// tilted bed, dry cells, depths too thin for the fast power, retention,
// roughness) they give the bits of the one-by-one faces (the same grid with a
// dike map of no dike), in the plain and the AVX2 builds and on one or three
// threads (the blocks split between them), for both schemes over several calls.
TEST(AdeScheme, BlockFacesGiveTheBitsOfTheOneByOneFaces) {
    struct way {
        const char* name;
        bool one_by_one;   // an empty dike map sends every face one by one
        bool plain;        // the plain build of the block loops
        int threads;
    };
    const way ways[] = {
        {"one by one", true, false, 1},
        {"blocks, vector build", false, false, 1},
        {"blocks, plain build", false, true, 1},
        {"blocks, three threads", false, false, 3},
    };
    const parallel_thresholds saved = parallel_cells();
    const int saved_threads = omp_get_max_threads();
    set_parallel_cells({1, 1});
    const std::vector<std::string> mask = mask_with_holes(30, 40, 0.1, 5);
    for (int scheme : kSchemes) {
        std::vector<double> depth[4], qx[4], qy[4];
        for (int w = 0; w < 4; ++w) {
            SCOPED_TRACE(std::string(ways[w].name) + (scheme == kSchemeAde ? " ade" : " ade-pc"));
            omp_set_num_threads(ways[w].threads);
            set_plain_overland_kernel(ways[w].plain);
            overland_grid g(mask, 10.0);
            run_state& rs = *g.rs;
            std::mt19937 rng(17);
            std::uniform_real_distribution<double> u(0.0, 1.0);
            for (int r = 1; r <= rs.rows; ++r)
                for (int c = 1; c <= rs.cols; ++c) {
                    const int k = rs.mask[r][c];
                    if (k != 0)
                        rs.elevation[static_cast<size_t>(k)] =
                            100.0 - 0.4 * r - 0.2 * c + 0.05 * u(rng);
                }
            for (size_t j = 1; j < rs.ov_depth.size(); ++j) {
                const double pick = u(rng);
                rs.ov_depth[j] = pick < 0.2 ? 0.0 : (pick < 0.25 ? 1e-95 : 0.05 * u(rng));
                rs.retent_dep[j] = pick < 0.25 ? 0.0 : 0.004 * u(rng);
                rs.dist_rough[j] = 0.02 + 0.08 * u(rng);
            }
            if (ways[w].one_by_one) {
                rs.dike_map = 1;
                rs.dike_mask.assign(rs.ov_depth.size(), 0);
            }
            const double before = g.volume();
            for (int call = 0; call < 3; ++call)
                ASSERT_GE(route_overland_ade(rs, 5.0, scheme, call % 2 + 1), 0.0);
            // Closed grid: the water stays.
            EXPECT_NEAR(g.volume(), before, 1e-11 * before);
            depth[w] = rs.ov_depth;
            qx[w] = rs.ov_qx;
            qy[w] = rs.ov_qy;
        }
        for (int w = 1; w < 4; ++w) {
            SCOPED_TRACE(std::string(ways[w].name) + (scheme == kSchemeAde ? " ade" : " ade-pc"));
            ASSERT_EQ(depth[w].size(), depth[0].size());
            EXPECT_EQ(std::memcmp(depth[w].data(), depth[0].data(), depth[0].size() * sizeof(double)), 0);
            EXPECT_EQ(std::memcmp(qx[w].data(), qx[0].data(), qx[0].size() * sizeof(double)), 0);
            EXPECT_EQ(std::memcmp(qy[w].data(), qy[0].data(), qy[0].size() * sizeof(double)), 0);
        }
    }
    set_plain_overland_kernel(false);
    set_parallel_cells(saved);
    omp_set_num_threads(saved_threads);
}
