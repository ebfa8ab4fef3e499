// Superlink solver: steady flow in a chain of pipes against Manning's
// normal depth and the critical depth at a free outfall, conservation of
// the network's water, and the junction head system.
#include <gtest/gtest.h>

#include <cmath>

#include "sd_test_support.h"
#include "stormdrain/junction_heads.h"

using namespace sd_test;

namespace {

constexpr double kNormal = 0.592793;     // m, D 1 m, n 0.013, S0 0.001, Q 0.5 m3/s (bisection)
constexpr double kCritical = 0.398841;   // m, D 1 m, Q 0.5 m3/s

TEST(SuperlinkSolver, SteadyFlowReachesNormalDepthAndCriticalAtTheFreeOutfall) {
    state_ptr rs = grid_state(3, 3, 100.0);
    std::vector<sd_junction> j{junction(10.0, 10.0), junction(8.0, 0.0, 888, 1)};
    std::vector<sd_link> l{chain(1, 2, 10, 1.0, 100.0, 0.001, 0.013, 10.0)};
    install(*rs, j, l);
    feed(*rs, 1, 0.5);
    for (int step = 0; step < 1440; ++step) ASSERT_EQ(superlink_step(*rs, 5.0), 0);
    const sd_link& s = rs->sd_links[1];
    for (int k = 1; k <= 10; ++k) {
        SCOPED_TRACE(k);
        EXPECT_NEAR(s.w.Q[static_cast<size_t>(k)], 0.5, 0.0025);
    }
    for (int k = 1; k <= 6; ++k) {   // 500 m and more above the outfall
        SCOPED_TRACE(k);
        EXPECT_NEAR(s.nodes[static_cast<size_t>(k)].depth, kNormal, 0.02 * kNormal);
    }
    EXPECT_NEAR(s.nodes[11].depth, kCritical, 0.02 * kCritical);
    // The outfall returned the steady flow to its cell; no floor had to add water.
    EXPECT_NEAR(rs->superlink_tally.returned / 5.0, 0.5, 0.0025);
    EXPECT_EQ(rs->superlink_tally.corrections, 0.0);
}

}  // namespace

namespace {

// Network balance of the last call: storage change against the exchanged water, m3.
double call_residual(const run_state& rs) {
    const sd_call_tally& t = rs.superlink_tally;
    return (t.storage_after - t.storage_before) -
           (t.captured + t.tile - t.released - t.delivered - t.returned + t.corrections);
}

TEST(SuperlinkSolver, FillAndDrainReturnsAllItsInflow) {
    state_ptr rs = grid_state(3, 3, 100.0);
    std::vector<sd_junction> j{junction(10.0, 10.0), junction(9.0, 4.0), junction(8.0, 0.0, 888, 1)};
    std::vector<sd_link> l{chain(1, 2, 4, 0.6, 50.0, 0.004, 0.013, 10.0), chain(2, 3, 6, 0.8, 80.0, 0.002, 0.013, 9.0)};
    install(*rs, j, l);
    const double start = rs->superlink_storage;
    double fed = 0.0, returned = 0.0, corrections = 0.0, worst = 0.0;
    const double dt = 10.0;
    for (int step = 0; step < 2160; ++step) {
        feed(*rs, 1, step < 120 ? 0.3 : 0.0);   // 20 minutes of inflow, then 5 h 40 min of draining
        ASSERT_EQ(superlink_step(*rs, dt), 0);
        const sd_call_tally& t = rs->superlink_tally;
        fed += t.tile;
        returned += t.returned;
        corrections += t.corrections;
        worst = std::max(worst, std::fabs(call_residual(*rs)) / (t.entered + t.left + 1e-12));
    }
    EXPECT_NEAR(fed, 0.3 * 1200.0, 1e-9);
    // Every call balances, and the cycle returns what it took in less what the pipes still hold.
    EXPECT_LT(worst, 1e-9);
    const double held = rs->superlink_storage - start;
    EXPECT_NEAR(returned + held - corrections, fed, 1e-6 * fed);
    EXPECT_LT(held, 0.01 * fed);          // drained
    // While the pipes and junctions run dry the depth and head floors add
    // water (about 0.3 % of the inflow here); it is booked, and stays small.
    EXPECT_GT(corrections, 0.0);
    EXPECT_LT(corrections, 0.01 * fed);
}

TEST(SuperlinkSolver, TwoSuperlinksJoiningDeliverTheSum) {
    state_ptr rs = grid_state(3, 3, 100.0);
    std::vector<sd_junction> j{junction(10.0, 10.0), junction(10.0, 10.0), junction(8.9, 2.0),
                               junction(7.0, 0.0, 888, 1)};
    std::vector<sd_link> l{chain(1, 3, 10, 1.0, 100.0, 0.001, 0.013, 10.0),
                           chain(2, 3, 10, 1.0, 100.0, 0.001, 0.013, 10.0),
                           chain(3, 4, 5, 1.5, 100.0, 0.002, 0.013, 8.9)};
    install(*rs, j, l);
    feed(*rs, 1, 0.5);
    feed(*rs, 2, 0.5);
    for (int step = 0; step < 1440; ++step) ASSERT_EQ(superlink_step(*rs, 5.0), 0);
    EXPECT_NEAR(rs->sd_links[3].w.Qd, 1.0, 0.005);
    EXPECT_NEAR(rs->superlink_tally.returned / 5.0, 1.0, 0.005);
    for (int k = 1; k <= 6; ++k) {   // the two feeding chains still run at normal depth up top
        EXPECT_NEAR(rs->sd_links[1].nodes[static_cast<size_t>(k)].depth, kNormal, 0.02 * kNormal);
        EXPECT_NEAR(rs->sd_links[2].nodes[static_cast<size_t>(k)].depth, kNormal, 0.02 * kNormal);
    }
}

// Three junctions: 1 and 2 free (storage 100 and 50 m2), 3 an outfall at 0 m;
// link 1 carries 2 (H1 - H2), link 2 carries 3 (H2 - H3) m3/s. With dt 10 s,
// old heads 1 and 0.5 m and 4 m3/s into junction 1:
//   12 H1 - 2 H2 = 14,  -2 H1 + 10 H2 = 2.5  ->  H1 = 1.25 m, H2 = 0.5 m.
void set_link(sd_link& s, int us, int ds, double k) {
    s.us = us;
    s.ds = ds;
    s.w.alpha_u = s.w.alpha_d = k;
    s.w.beta_u = s.w.beta_d = -k;
    s.w.chi_u = s.w.chi_d = 0.0;
}

state_ptr three_junctions(int parallel_copies) {
    state_ptr rs = grid_state(1, 1, 10.0);
    rs->n_sjunc = 3;
    rs->sd_junctions.assign(4, sd_junction());
    rs->sd_junctions[1] = junction(0.0, 100.0);
    rs->sd_junctions[2] = junction(0.0, 50.0);
    rs->sd_junctions[3] = junction(0.0, 0.0, 999);
    rs->sd_junctions[1].head = 1.0;
    rs->sd_junctions[2].head = 0.5;
    rs->sd_junctions[1].inflow = 4.0;
    rs->n_slink = 1 + parallel_copies;
    rs->sd_links.assign(static_cast<size_t>(rs->n_slink) + 1, sd_link());
    for (int c = 1; c <= parallel_copies; ++c) set_link(rs->sd_links[static_cast<size_t>(c)], 1, 2, 2.0 / parallel_copies);
    set_link(rs->sd_links[static_cast<size_t>(rs->n_slink)], 2, 3, 3.0);
    return rs;
}

TEST(JunctionHeads, ThreeJunctionsMatchTheHandSolutionAlsoWithParallelSuperlinks) {
    for (int copies : {1, 2, 3}) {
        SCOPED_TRACE(copies);
        state_ptr rs = three_junctions(copies);
        const std::vector<double> S{0.0, 100.0, 50.0, 0.0};
        std::vector<char> raised;
        ASSERT_TRUE(solve_junction_heads(*rs, 10.0, S, raised));
        EXPECT_NEAR(rs->sd_junctions[1].head, 1.25, 1e-12);
        EXPECT_NEAR(rs->sd_junctions[2].head, 0.5, 1e-12);
        EXPECT_DOUBLE_EQ(rs->sd_junctions[3].head, 0.0);
        EXPECT_EQ(raised, std::vector<char>(4, 0));
    }
}

TEST(JunctionHeads, SingularSystemAndHeadFloor) {
    // A junction with neither superlink nor storage: code 134, heads untouched.
    state_ptr rs = three_junctions(1);
    rs->sd_links[2].us = 1;   // junction 2 loses both its superlinks
    rs->sd_links[1].ds = 3;
    const std::vector<double> S{0.0, 100.0, 0.0, 0.0};
    std::vector<char> raised;
    EXPECT_FALSE(solve_junction_heads(*rs, 10.0, S, raised));
    EXPECT_EQ(error_record.code, 134);
    EXPECT_DOUBLE_EQ(rs->sd_junctions[2].head, 0.5);
    clear_errors();

    // A head solved 0.25 m below its bottom is raised to it and flagged;
    // one 0.0005 m below stays.
    struct floor_case { double bottom2; double expected; char flagged; };
    for (const floor_case& c : {floor_case{0.75, 0.75, 1}, floor_case{0.5005, 0.5, 0}}) {
        state_ptr r = three_junctions(1);
        r->sd_junctions[2].bottom = c.bottom2;
        const std::vector<double> S2{0.0, 100.0, 50.0, 0.0};
        std::vector<char> raised;
        ASSERT_TRUE(solve_junction_heads(*r, 10.0, S2, raised));
        EXPECT_NEAR(r->sd_junctions[2].head, c.expected, 1e-12);
        EXPECT_EQ(raised[2], c.flagged);
    }
}

TEST(SuperlinkSolver, DepthBeyondTenPipeSizesStopsTheRun) {
    // A 0.1-m pipe fed 5 m3/s through a junction without storage surcharges far beyond its size.
    state_ptr rs = grid_state(1, 1, 10.0);
    std::vector<sd_junction> j{junction(10.0, 0.0), junction(5.0, 0.0, 888, 1)};
    std::vector<sd_link> l{chain(1, 2, 3, 0.1, 10.0, 0.01, 0.013, 10.0)};
    install(*rs, j, l);
    feed(*rs, 1, 5.0);
    testing::internal::CaptureStdout();
    int result = 0;
    for (int step = 0; step < 50 && result == 0; ++step) result = superlink_step(*rs, 5.0);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(result, -1);
    EXPECT_EQ(error_record.code, kErrorPrinted);
    EXPECT_NE(out.find("superlink 1 node"), std::string::npos) << out;
    clear_errors();
}

}  // namespace

namespace {

// A looped network of 60 junctions (a 6 x 10 lattice of superlinks, two
// outfalls), with coefficients from a fixed pseudo-random sequence: the
// sparse elimination gives the heads of the dense factorisation.
TEST(JunctionHeads, SparseEliminationMatchesTheDenseFactorisation) {
    state_ptr rs = grid_state(1, 1, 10.0);
    const int rows = 6, cols = 10, n = rows * cols;
    unsigned seed = 12345u;
    auto next = [&]() { seed = seed * 1103515245u + 12345u; return ((seed >> 8) & 0xffff) / 65536.0; };
    rs->n_sjunc = n;
    rs->sd_junctions.assign(static_cast<size_t>(n) + 1, sd_junction());
    std::vector<double> S(static_cast<size_t>(n) + 1, 0.0);
    for (int j = 1; j <= n; ++j) {
        const bool outfall = j == n || j == cols;
        rs->sd_junctions[static_cast<size_t>(j)] = junction(-100.0, 0.0, outfall ? 999 : 0);
        rs->sd_junctions[static_cast<size_t>(j)].head = 10.0 * next();
        rs->sd_junctions[static_cast<size_t>(j)].inflow = next();
        S[static_cast<size_t>(j)] = outfall ? 0.0 : 5.0 * next();
    }
    rs->sd_links.assign(1, sd_link());
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            const int j = r * cols + c + 1;
            for (int to : {c + 1 < cols ? j + 1 : 0, r + 1 < rows ? j + cols : 0}) {
                if (to == 0) continue;
                sd_link s;
                s.us = j;
                s.ds = to;
                const double k = 0.5 + next();
                s.w.alpha_u = k * (1.0 + 0.1 * next());
                s.w.beta_u = -k;
                s.w.alpha_d = k;
                s.w.beta_d = -k * (1.0 + 0.1 * next());
                s.w.chi_u = next() - 0.5;
                s.w.chi_d = next() - 0.5;
                rs->sd_links.push_back(s);
            }
        }
    }
    rs->n_slink = static_cast<int>(rs->sd_links.size()) - 1;

    junction_system sys;
    assemble_junction_system(*rs, 10.0, S, sys);
    std::vector<double> dense(static_cast<size_t>(n) * n, 0.0), b = sys.rhs;
    for (const junction_entry& e : sys.entries) dense[static_cast<size_t>(e.row) * n + e.col] += e.value;
    std::vector<int> pivot;
    ASSERT_TRUE(lu_factor(dense, n, pivot));
    lu_solve(dense, n, pivot, b);

    junction_elimination order;
    order_junction_system(sys, order);
    std::vector<double> x;
    ASSERT_TRUE(solve_junction_system(sys, order, x));
    for (int i = 0; i < n; ++i) EXPECT_NEAR(x[static_cast<size_t>(i)], b[static_cast<size_t>(i)], 1e-9 * (1.0 + std::fabs(b[static_cast<size_t>(i)]))) << i;
    EXPECT_DOUBLE_EQ(x[static_cast<size_t>(n - 1)], -100.0);   // outfall at its bottom
}

}  // namespace
