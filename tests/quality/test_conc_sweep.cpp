// The streaming sweep of the overland constituent transport against the
// two-loop form on masked grids: the same masses, concentrations, booked
// negative masses and lake gains to the bit, for both sweep orders, several
// sub-steps, lakes, and one or many chunks of cells; and numberings the
// sweep cannot follow are left to the two-loop form. The whole transport
// step of several constituents in one sweep against the step taken one
// constituent at a time by the two-loop form.
#include <gtest/gtest.h>
#include <omp.h>

#include <cstring>
#include <random>
#include <vector>

#include "core/alloc.h"
#include "core/parallel.h"
#include "overland/connectivity.h"
#include "quality/conc_transport.h"
#include "quality/constituent_setup.h"
#include "quality/constituent_steps.h"
#include "run/run_state.h"

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


// A run on a masked grid with three constituents of their own dispersion,
// every kind of pending amount (sinks beyond what a cell holds, negative
// exchange beyond it), boundary outflow, an outlet with queued mass and dry
// cells that hold mass: one transport step by the whole-step sweep (all
// constituents in one pass over the cells) and by the per-constituent
// two-loop form give the same cells, stores and totals to the bit, for one
// and many sub-steps, with and without a soil layer, on 1, 3 and 8 threads.
// The mass made by raising negative masses is summed per pass in the sweep,
// so its total agrees to rounding.
struct whole_step_case {
    int rows, cols;
    double hole_share;
    double q_scale;   // factor on the face discharges: small for one sub-step
    double dt;        // s
    bool soil;
};

run_state* make_step_run(const whole_step_case& wc, unsigned seed) {
    const grid g = make_grid({wc.rows, wc.cols, wc.hole_share, false}, seed);
    std::mt19937 rng(seed + 100);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    run_state* r = create_run_state();
    r->GNUM = g.n;
    r->cell_size = 10.0;   // m
    r->ov_depth = g.h;
    r->ov_qx = g.qx;
    r->ov_qy = g.qy;
    for (std::vector<double>* q : {&r->ov_qx, &r->ov_qy})
        for (double& f : *q) f *= wc.q_scale;
    r->abovecon = g.above;
    r->belowcon = g.below;
    r->leftcon = g.left;
    r->rightcon = g.right;
    r->overland_constituents = 1;
    r->soil_con_trans = wc.soil ? 1 : 0;
    r->ov_boundary = 1;
    r->outlet_cell = g.n / 2;
    while (g.h[static_cast<size_t>(r->outlet_cell)] < 0.01) ++r->outlet_cell;   // a wet outlet
    alloc_constituent_arrays(*r, 3);
    constituent_cells& c = r->con;
    const double intervals[4] = {wc.dt, 3.0 * wc.dt, wc.dt, 2.0 * wc.dt};   // s
    for (int b = 0; b < 4; ++b) r->con_pending_interval[b] = intervals[b];
    for (int j = 1; j <= g.n; ++j) {
        const size_t jj = static_cast<size_t>(j);
        c.bc_volume[jj] = u(rng) < 0.1 ? 0.2 * u(rng) : 0.0;   // m3
        for (size_t i = 1; i <= 3; ++i) {
            c.disp[i][jj] = g.E[jj] * (0.5 * static_cast<double>(i));
            c.conc[i][jj] = g.C[jj] * static_cast<double>(i);
            c.mass[i][jj] = g.M[jj] * static_cast<double>(i);
            if (g.h[jj] == 0.0 && u(rng) < 0.5) c.mass[i][jj] = 3.0 * u(rng);   // mass left in a dry cell
            const double held = c.mass[i][jj];
            c.pend_precip[i][jj] = u(rng) < 0.6 ? 5.0 * u(rng) : 0.0;
            c.pend_exchange[i][jj] = u(rng) < 0.3 ? (u(rng) - 0.6) * 4.0 * (held + 1.0) : 0.0;
            c.pend_decay[i][jj] = u(rng) < 0.5 ? 2.0 * held * u(rng) : (u(rng) < 0.1 ? -1.0 : 0.0);
            c.pend_infil[i][jj] = u(rng) < 0.5 ? 2.0 * held * u(rng) : 0.0;
            c.land[i][jj] = 10.0 * u(rng);
        }
    }
    // The outlet takes part of what its cell holds, no sink taking it first.
    const size_t out = static_cast<size_t>(r->outlet_cell);
    for (size_t i = 1; i <= 3; ++i) {
        c.pend_exchange[i][out] = c.pend_decay[i][out] = c.pend_infil[i][out] = 0.0;
        c.exit_mass[i] = 0.5 * c.mass[i][out];
    }
    r->time = 2458000.5;
    r->ov_con_transport_last = r->time;
    r->ov_con_step_days = wc.dt / 86400.0;
    r->time += wc.dt / 86400.0;
    r->ov_con_transport_next = r->time;
    return r;
}

bool same_rows(const con_rows& a, const con_rows& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (!same_bits(a[i], b[i])) return false;
    return true;
}

TEST_F(SweepTest, WholeStepSweepMatchesTheStepOneConstituentAtATime) {
    // Grids of more than one block of summed cells, so that 3 and 8 threads
    // take several chunks.
    const whole_step_case cases[] = {
        {7, 9, 0.1, 0.02, 5.0, false},
        {150, 120, 0.05, 0.02, 5.0, false},
        {150, 120, 0.05, 0.02, 5.0, true},
        {90, 200, 0.1, 1.0, 400.0, false},
        {90, 200, 0.1, 1.0, 400.0, true},
    };
    set_parallel_cells(parallel_thresholds{1, 1});
    unsigned seed = 41;
    for (const whole_step_case& wc : cases) {
        SCOPED_TRACE(::testing::Message() << wc.rows << " x " << wc.cols << " dt " << wc.dt << " soil "
                                          << wc.soil);
        // The per-constituent form: the numbering marked as one the sweep cannot follow.
        omp_set_num_threads(1);
        run_state* ref = make_step_run(wc, seed);
        ref->con.sweep_ready = 1;
        ref->con.sweep_ok = 0;
        step_overland_constituent_transport(*ref);
        EXPECT_EQ(ref->con.transport_substeps > 1, wc.dt > 100.0);
        for (int threads : {1, 3, 8}) {
            SCOPED_TRACE(threads);
            omp_set_num_threads(threads);
            run_state* got = make_step_run(wc, seed);
            step_overland_constituent_transport(*got);
            ASSERT_EQ(got->con.sweep_ok, 1);
            const constituent_cells& a = got->con;
            const constituent_cells& b = ref->con;
            EXPECT_TRUE(same_rows(a.mass, b.mass));
            EXPECT_TRUE(same_rows(a.conc, b.conc));
            EXPECT_TRUE(same_rows(a.land, b.land));
            EXPECT_TRUE(same_rows(a.pend_precip, b.pend_precip));
            EXPECT_TRUE(same_rows(a.pend_exchange, b.pend_exchange));
            EXPECT_TRUE(same_rows(a.pend_infil, b.pend_infil));
            EXPECT_TRUE(same_rows(a.pend_soil_in, b.pend_soil_in));
            EXPECT_TRUE(same_rows(a.pend_soil_exchange, b.pend_soil_exchange));
            EXPECT_TRUE(same_rows(a.pend_decay, b.pend_decay));
            EXPECT_TRUE(same_bits(got->con_h_last, ref->con_h_last));
            EXPECT_TRUE(same_bits(a.exit_mass, b.exit_mass));
            const constituent_totals& ta = got->con_tot;
            const constituent_totals& tb = ref->con_tot;
            for (const std::vector<double> constituent_totals::*m :
                 {&constituent_totals::precip, &constituent_totals::ov_decay, &constituent_totals::infil,
                  &constituent_totals::uptake, &constituent_totals::ov_out, &constituent_totals::bc_out})
                EXPECT_TRUE(same_bits(ta.*m, tb.*m));
            for (size_t i = 1; i <= 3; ++i) {
                EXPECT_GT(tb.ov_out[i], 0.0);
                EXPECT_GT(tb.bc_out[i], 0.0);
                EXPECT_NEAR(ta.ov_neg[i], tb.ov_neg[i], 1e-12 * (tb.ov_neg[i] + 1e-9));
            }
            destroy_run_state(got);
        }
        destroy_run_state(ref);
        ++seed;
    }
}

}  // namespace
