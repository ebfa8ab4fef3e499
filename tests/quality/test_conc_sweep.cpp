// The streaming sweep of the overland constituent transport against the
// two-loop form on masked grids: the same masses, concentrations, booked
// negative masses and lake gains to the bit, for both sweep orders, several
// sub-steps, lakes, and one or many chunks of cells; and numberings the
// sweep cannot follow are left to the two-loop form.
#include <gtest/gtest.h>
#include <omp.h>

#include <cstring>
#include <random>
#include <vector>

#include "core/alloc.h"
#include "core/parallel.h"
#include "overland/connectivity.h"
#include "quality/conc_transport.h"

namespace {

// A grid of rows x cols with some cells masked out, random wet and dry
// depths, signed face discharges, dispersion, masses and source rates.
struct grid_case {
    int rows, cols;
    double hole_share;   // share of map cells outside the grid
    bool lakes;          // a block of cells forms a lake
};

struct grid {
    int n = 0;
    std::vector<int> above, below, left, right, lake;
    std::vector<double> h, qx, qy, E, M, C, R;
};

grid make_grid(const grid_case& gc, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    int** mask = nullptr;
    alloc_int_2d(mask, gc.rows + 1, gc.cols + 1, "mask");
    grid g;
    for (int r = 1; r <= gc.rows; ++r)
        for (int c = 1; c <= gc.cols; ++c) mask[r][c] = u(rng) < gc.hole_share ? 0 : ++g.n;
    const size_t size = static_cast<size_t>(g.n) + 1;
    for (std::vector<int>* a : {&g.above, &g.below, &g.left, &g.right, &g.lake}) a->assign(size, 0);
    fill_neighbour_arrays(gc.rows, gc.cols, g.right, g.below, g.left, g.above, mask);
    for (std::vector<double>* a : {&g.h, &g.qx, &g.qy, &g.E, &g.M, &g.C, &g.R}) a->assign(size, 0.0);
    const double area = 100.0;   // m2
    for (int r = 1; r <= gc.rows; ++r) {
        for (int c = 1; c <= gc.cols; ++c) {
            const int k = mask[r][c];
            if (k == 0) continue;
            const size_t j = static_cast<size_t>(k);
            if (gc.lakes && r > gc.rows / 3 && r <= gc.rows / 2 && c > 2 && c <= gc.cols / 2)
                g.lake[j] = 1 + (c > gc.cols / 4 ? 1 : 0);
            g.h[j] = u(rng) < 0.15 ? 0.0 : 0.001 + 0.05 * u(rng);   // m
            g.qx[j] = g.right[j] != 0 ? 0.02 * (u(rng) - 0.3) : 0.0;   // m3/s
            g.qy[j] = g.below[j] != 0 ? 0.02 * (u(rng) - 0.3) : 0.0;
            g.E[j] = u(rng) < 0.2 ? 0.0 : 2.0 * u(rng);   // m2/s
            g.C[j] = g.h[j] > 0.0 ? 50.0 * u(rng) : 0.0;   // g/m3
            g.M[j] = g.C[j] * g.h[j] * area;
            g.R[j] = 0.05 * (u(rng) - 0.5);   // g/s, sinks too
        }
    }
    free_block_2d(mask);
    return g;
}

struct outcome {
    std::vector<double> M, C, neg, gain;
};

// Transport over dt s with the two-loop form (streaming false) or the sweep.
outcome transport(const grid& g, double dt, int sweep, bool streaming, int threads) {
    omp_set_num_threads(threads);
    overland_view v;
    v.cells = g.n;
    v.area = 100.0;
    v.h = g.h.data();
    v.qx = g.qx.data();
    v.qy = g.qy.data();
    v.above = g.above.data();
    v.below = g.below.data();
    v.left = g.left.data();
    v.right = g.right.data();
    v.E = g.E.data();
    bool lakes = false;
    for (int l : g.lake) lakes = lakes || l != 0;
    v.lake = lakes ? g.lake.data() : nullptr;
    const size_t size = g.M.size();
    std::vector<double> adv(size), dsp(size), mp(size), cp(size), lim(size);
    outcome o{g.M, g.C, std::vector<double>(size, 0.0), std::vector<double>(size, 0.0)};
    overland_work w;
    w.adv1 = adv.data();
    w.dsp1 = dsp.data();
    w.m_pred = mp.data();
    w.c_pred = cp.data();
    w.limit = lim.data();
    w.neg = o.neg.data();
    w.lake_gain = o.gain.data();
    const overland_layout layout = overland_transport_layout(v);
    std::vector<double> space;
    if (streaming) {
        EXPECT_EQ(layout.ok, 1);
        space.assign(static_cast<size_t>(threads * overland_sweep_doubles(layout)), 0.0);
        w.layout = &layout;
        w.sweep_space = space.data();
        w.sweep_threads = threads;
    }
    advect_overland_constituent(v, dt, sweep, o.M.data(), o.C.data(), g.R.data(), w);
    return o;
}

bool same_bits(const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

class SweepTest : public ::testing::Test {
protected:
    void SetUp() override { saved_ = parallel_cells(); }
    void TearDown() override {
        set_parallel_cells(saved_);
        omp_set_num_threads(omp_get_num_procs());
    }
    parallel_thresholds saved_;
};

TEST_F(SweepTest, StreamingSweepMatchesTheTwoLoopFormToTheBit) {
    // Grids large enough for several chunks of 8 threads (a chunk spans at
    // least twice 2 x (rows + cols) reach plus a block), and small ones.
    const grid_case cases[] = {
        {1, 9, 0.0, false},     {7, 1, 0.0, false},    {5, 6, 0.2, false},
        {40, 30, 0.0, false},   {60, 25, 0.25, false}, {50, 40, 0.1, true},
        {120, 7, 0.05, true},   {300, 6, 0.05, true},
    };
    set_parallel_cells(parallel_thresholds{1, 1});
    unsigned seed = 11;
    for (const grid_case& gc : cases) {
        const grid g = make_grid(gc, seed++);
        for (int sweep = 1; sweep <= 2; ++sweep) {
            // 5 s: one sub-step; 400 s: many, limited by the outflow and E dt / dx2.
            for (double dt : {5.0, 400.0}) {
                SCOPED_TRACE(::testing::Message() << gc.rows << " x " << gc.cols << " lakes "
                                                  << gc.lakes << " sweep " << sweep << " dt " << dt);
                const outcome ref = transport(g, dt, sweep, false, 1);
                for (int threads : {1, 3, 8}) {
                    SCOPED_TRACE(threads);
                    const outcome got = transport(g, dt, sweep, true, threads);
                    EXPECT_TRUE(same_bits(got.M, ref.M));
                    EXPECT_TRUE(same_bits(got.C, ref.C));
                    EXPECT_TRUE(same_bits(got.neg, ref.neg));
                    EXPECT_TRUE(same_bits(got.gain, ref.gain));
                }
            }
        }
    }
}

// The sweep follows only numberings with upper/left neighbours numbered
// below the cell and consistent pairs; any other is refused and the
// two-loop form runs.
TEST_F(SweepTest, NumberingsTheSweepCannotFollowAreRefused) {
    grid g = make_grid({4, 5, 0.0, false}, 3);
    overland_view v;
    v.cells = g.n;
    v.above = g.above.data();
    v.below = g.below.data();
    v.left = g.left.data();
    v.right = g.right.data();
    const overland_layout good = overland_transport_layout(v);
    EXPECT_EQ(good.ok, 1);
    EXPECT_EQ(good.reach_y, 5);
    EXPECT_EQ(good.reach_x, 1);
    struct edit {
        std::vector<int> grid::*nb;
        int cell, value;
    } const edits[] = {
        {&grid::above, 7, 3},    // not the cell whose lower neighbour is 7
        {&grid::below, 2, 1},    // a lower neighbour numbered below the cell
        {&grid::left, 2, 3},     // a left neighbour numbered above the cell
        {&grid::right, 20, 21},  // beyond the grid
    };
    for (const edit& e : edits) {
        grid bad = g;
        (bad.*e.nb)[static_cast<size_t>(e.cell)] = e.value;
        v.above = bad.above.data();
        v.below = bad.below.data();
        v.left = bad.left.data();
        v.right = bad.right.data();
        EXPECT_EQ(overland_transport_layout(v).ok, 0) << e.cell;
    }
}

}  // namespace
