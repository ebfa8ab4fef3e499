// Superlink solver: steady flow in a chain of pipes against Manning's
// normal depth and the critical depth at a free outfall, the water the
// network books against the water its depths stand for, surcharge, and the
// junction head system.
#include <gtest/gtest.h>

#include <cmath>
#include <utility>

#include "sd_test_support.h"
#include "stormdrain/junction_heads.h"

using namespace sd_test;

namespace {

constexpr double kNormal = 0.592793;     // m, D 1 m, n 0.013, S0 0.001, Q 0.5 m3/s (bisection)
constexpr double kCritical = 0.398841;   // m, D 1 m, Q 0.5 m3/s

// Ten equal pipes of D 1 m at slope 0.001 fed 0.5 m3/s to a free outfall,
// for pipes of 100 m and of 1000 m, each at two steps. Upstream of the
// outfall's drawdown every node runs at normal depth (the 1000-m pipes
// once swung about it: 0.92, 1.10, 0.87 of it at successive nodes); the
// outfall stands at critical depth; the booked water is the geometry's.
TEST(SuperlinkSolver, SteadyFlowRunsAtNormalDepthAndCriticalAtTheFreeOutfall) {
    struct steady_case {
        double length;   // m per pipe
        double dt;       // s
        int steps;
        int last_normal; // last node upstream of the drawdown
    };
    for (const steady_case& c : {steady_case{100.0, 5.0, 1440, 6}, steady_case{100.0, 10.0, 720, 6},
                                 steady_case{1000.0, 10.0, 2160, 9}, steady_case{1000.0, 20.0, 1080, 9}}) {
        SCOPED_TRACE(testing::Message() << c.length << " m pipes, dt " << c.dt);
        state_ptr rs = grid_state(3, 3, 100.0);
        std::vector<sd_junction> j{junction(10.0, 10.0), junction(0.0, 0.0, 888, 1)};
        std::vector<sd_link> l{chain(1, 2, 10, 1.0, c.length, 0.001, 0.013, 10.0)};
        install(*rs, j, l);
        feed(*rs, 1, 0.5);
        for (int step = 0; step < c.steps; ++step) ASSERT_EQ(superlink_step(*rs, c.dt), 0);
        const sd_link& s = rs->sd_links[1];
        for (int k = 1; k <= 10; ++k) EXPECT_NEAR(s.w.Q[static_cast<size_t>(k)], 0.5, 0.0025) << k;
        for (int k = 1; k <= c.last_normal; ++k)
            EXPECT_NEAR(s.nodes[static_cast<size_t>(k)].depth, kNormal, 0.02 * kNormal) << k;
        EXPECT_NEAR(s.nodes[11].depth, kCritical, 0.02 * kCritical);
        // The outfall returned the steady flow to its cell.
        EXPECT_NEAR(rs->superlink_tally.returned / c.dt, 0.5, 0.0025);
        EXPECT_NEAR(rs->superlink_storage, geometry_water(*rs), 1e-9 * rs->superlink_storage);
    }
}

// Fed for 20 minutes, then left to drain: every call's storage change is
// what came in less what went out, and the booked water is the water the
// depths and heads stand for, never below empty. Two networks: two
// superlinks of mild pipes that drain to films of a millimetre or so (they
// run on slowly by Manning and the books hold their water), and a short
// steep chain whose outflows empty every node within a call (it ends with
// no water at all and books none).
TEST(SuperlinkSolver, FillAndDrainReturnsWhatItTookAndEndsEmpty) {
    struct drain_case {
        const char* name;
        std::vector<sd_junction> junctions;
        std::vector<sd_link> links;
        double dt;     // s
        double feed;   // m3/s into junction 1
        bool empties;
    };
    const drain_case cases[] = {
        {"mild pipes", {junction(10.0, 10.0), junction(9.0, 4.0), junction(7.9, 0.0, 888, 1)},
         {chain(1, 2, 4, 0.6, 50.0, 0.004, 0.013, 10.0), chain(2, 3, 6, 0.8, 80.0, 0.002, 0.013, 9.0)}, 10.0, 0.3, false},
        {"steep chain", {junction(10.0, 2.0), junction(6.5, 0.0, 888, 1)},
         {chain(1, 2, 3, 0.3, 20.0, 0.05, 0.013, 10.0)}, 10.0, 0.05, true},
    };
    for (const drain_case& c : cases) {
        SCOPED_TRACE(c.name);
        state_ptr rs = grid_state(3, 3, 100.0);
        install(*rs, c.junctions, c.links);
        double fed = 0.0, returned = 0.0, worst = 0.0, peak = 0.0;
        const int steps = static_cast<int>(6.0 * 3600.0 / c.dt), feeding = static_cast<int>(1200.0 / c.dt);
        for (int step = 0; step < steps; ++step) {
            feed(*rs, 1, step < feeding ? c.feed : 0.0);
            ASSERT_EQ(superlink_step(*rs, c.dt), 0);
            const sd_call_tally& t = rs->superlink_tally;
            fed += t.tile;
            returned += t.returned;
            worst = std::max(worst, std::fabs(call_residual(*rs)));
            peak = std::max(peak, rs->superlink_storage);
            ASSERT_NEAR(rs->superlink_storage, geometry_water(*rs), 1e-9 * peak + 1e-12) << step;
            ASSERT_GE(rs->superlink_storage, 0.0);
        }
        EXPECT_NEAR(fed, c.feed * 1200.0, 1e-9);
        EXPECT_LT(worst, 1e-12 * fed);   // every call: storage change = in - out
        EXPECT_NEAR(returned + rs->superlink_storage, fed, 1e-10 * fed);
        EXPECT_GT(peak, 0.05 * fed);
        EXPECT_LT(rs->superlink_storage, 1e-3 * fed);
        if (!c.empties) continue;
        // Empty pipes book nothing, and all that was fed has come out.
        const sd_link& s = rs->sd_links[1];
        for (int k = 1; k <= s.pipe_count() + 1; ++k) EXPECT_EQ(s.nodes[static_cast<size_t>(k)].depth, 0.0) << k;
        EXPECT_NEAR(rs->superlink_storage, 0.0, 1e-6);
        EXPECT_NEAR(returned, fed, 1e-6);
    }
}

// A chain of box culverts (1 m high, 2 m wide) into an outfall whose head
// stands at their crown, fed, then left to drain: the half culvert at the
// outfall holds water at the outfall's head, and the books hold it too.
TEST(SuperlinkSolver, BoxCulvertsIntoAFixedHeadBookTheirWaterToTheOutfall) {
    state_ptr rs = grid_state(1, 2, 10.0);
    sd_link s = chain(1, 2, 4, 1.0, 50.0, 0.002, 0.015, 10.0);
    for (sd_pipe& p : s.read_pipes) {
        p.type = kSectionBox;
        p.width = 2.0;
    }
    install(*rs, {junction(10.0, 4.0), junction(9.6 + 1.0, 0.0, 888, 2)}, {s});
    double fed = 0.0, out = 0.0;
    for (int step = 0; step < 720; ++step) {
        feed(*rs, 1, step < 360 ? 1.0 : 0.0);
        ASSERT_EQ(superlink_step(*rs, 5.0), 0);
        fed += rs->superlink_tally.tile;
        out += rs->superlink_tally.returned;
        ASSERT_LT(std::fabs(call_residual(*rs)), 1e-10 * (fed + 1.0));
        ASSERT_NEAR(rs->superlink_storage, geometry_water(*rs), 1e-9 * (rs->superlink_storage + 1.0)) << step;
    }
    const sd_link& c = rs->sd_links[1];
    EXPECT_NEAR(c.nodes[5].depth, 1.0, 0.05);   // the last half culvert stands at the outfall's head
    EXPECT_GT(0.5 * 50.0 * 2.0 * c.nodes[5].depth, 45.0);   // some 50 m3 of it
    EXPECT_NEAR(fed - out, rs->superlink_storage, 1e-9 * fed);
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

// A manhole (5 m2, 2.5 m deep) with an inlet on cell 1, fed 0.15 m3/s
// from its superlink's tile drains, drains through five 50-m pipes of 0.3 m
// (n 0.013, S0 0.005) to an outfall whose head stands at the crown of the
// last pipe. Full-pipe flow by Manning with the velocity head lost at the
// outfall, from the manhole's ground to the outfall's head:
//   dH = Q^2 / (2 g A^2) + n^2 Q^2 L / (A^2 R^(4/3)).
double pressurised_capacity(double dH, double D, double n, double L) {
    const double A = M_PI * D * D / 4.0, R = D / 4.0;
    return A * std::sqrt(dH / (1.0 / (2.0 * 9.81) + n * n * L / std::pow(R, 4.0 / 3.0)));
}

state_ptr surcharged_manhole(int release, double depth) {
    state_ptr rs = grid_state(1, 2, 10.0);
    sd_junction up = junction(100.0 - depth, 5.0, 1, 1);
    up.ground = 100.0;
    up.grate_side = 0.6;
    up.grate_dia = 0.6;
    const double end = 100.0 - depth - 5 * 50.0 * 0.005;   // invert at the outfall, m
    sd_junction out = junction(end + 0.3, 0.0, 888, 2);
    install(*rs, {up, out}, {chain(1, 2, 5, 0.3, 50.0, 0.005, 0.013, 100.0 - depth)});
    rs->high_head_release = release;
    feed(*rs, 1, 0.15);
    return rs;
}

TEST(SuperlinkSolver, SurchargedManholeSpillsOrPondsAndRunsOn) {
    using run = std::pair<int, double>;   // release switch, step (s)
    for (const auto& [release, dt] : {run{1, 2.0}, run{1, 0.5}, run{0, 2.0}, run{0, 0.5}}) {
        SCOPED_TRACE(testing::Message() << "release " << release << ", dt " << dt);
        state_ptr rs = surcharged_manhole(release, 2.5);
        double spilled = 0.0;
        const int steps = static_cast<int>(3600.0 / dt), last = static_cast<int>(600.0 / dt);
        for (int step = 0; step < steps; ++step) {   // an hour
            ASSERT_EQ(superlink_step(*rs, dt), 0) << step;
            ASSERT_LT(std::fabs(call_residual(*rs)), 1e-9);
            if (step >= steps - last) spilled += rs->superlink_tally.released;   // the last 10 minutes
        }
        const sd_link& s = rs->sd_links[1];
        for (int k = 1; k <= 6; ++k) EXPECT_GE(s.nodes[static_cast<size_t>(k)].depth, 0.3) << k;   // pipes full
        const double capacity = pressurised_capacity(2.5 + 1.25 - 0.3, 0.3, 0.013, 250.0);
        const sd_junction& m = rs->sd_junctions[1];
        if (release) {
            // Head at the ground; what the pipes cannot carry spills onto the cell.
            EXPECT_NEAR(m.head, m.ground, 1e-9);
            EXPECT_NEAR(s.w.Qd, capacity, 0.01 * capacity);
            EXPECT_NEAR(spilled / 600.0, 0.15 - capacity, 0.03 * (0.15 - capacity));
        } else {
            // Held as ponding in the manhole: its head has risen above the ground, nothing spilled.
            EXPECT_GT(m.head, m.ground + 1.0);
            EXPECT_EQ(spilled, 0.0);
            EXPECT_GT(s.w.Qd, capacity);
        }
        EXPECT_NEAR(rs->superlink_storage, geometry_water(*rs), 1e-9 * rs->superlink_storage);
    }
}

TEST(SuperlinkSolver, DeepManholeOverASmallPipeRunsUnderPressureHead) {
    // 5 m of head over a 0.3-m pipe (16 pipe sizes) is ordinary surcharge, at either step.
    for (const double dt : {2.0, 0.5}) {
        SCOPED_TRACE(dt);
        state_ptr rs = surcharged_manhole(0, 5.0);
        for (int step = 0; step < static_cast<int>(1200.0 / dt); ++step) ASSERT_EQ(superlink_step(*rs, dt), 0) << step;
        EXPECT_GT(rs->sd_links[1].nodes[1].depth, 10.0 * 0.3);
        EXPECT_EQ(error_record.code, 0);
    }
}

// Trees of up to eight junctions (some without plan area, some with inlets
// on wet cells), superlinks of one to five circular or box pipes of 5 to
// 105 m, some uphill, graded or not, fed up to 0.5 m3/s a superlink for 400
// s and left to drain, with the release switch on and off: every call runs,
// conserves water to round-off and books the water its depths stand for.
TEST(SuperlinkSolver, RandomNetworksUnderHeavyLoadRunOnAndBalance) {
    unsigned seed = 7u;
    auto next = [&]() { seed = seed * 1103515245u + 12345u; return ((seed >> 8) & 0xffff) / 65536.0; };
    for (int trial = 0; trial < 40; ++trial) {
        SCOPED_TRACE(trial);
        state_ptr rs = grid_state(4, 4, 10.0);
        const int nj = 2 + trial % 7;
        std::vector<sd_junction> js;
        for (int j = 1; j < nj; ++j) {
            sd_junction s = junction(20.0 - j * (0.5 + next()), next() < 0.3 ? 0.0 : 3.0 * next(),
                                     next() < 0.5 ? 1 + j % 3 : 0, 1 + j % 16);
            s.ground = s.bottom + 0.5 + 3.0 * next();
            s.grate_side = 0.6;
            s.grate_dia = 0.4;
            js.push_back(s);
        }
        js.push_back(junction(20.0 - nj * 1.5 - 1.0 - next(), 0.0, 888, 16));
        std::vector<sd_link> ls;
        for (int j = 1; j < nj; ++j) {
            const double slope = next() < 0.2 ? -0.002 * next() : 0.01 * next();
            sd_link l = chain(j, j == 1 ? nj : j / 2, 1 + static_cast<int>(next() * 5), 0.2 + next(),
                              5.0 + 100.0 * next(), slope, 0.013, js[static_cast<size_t>(j) - 1].bottom);
            if (next() < 0.3) {
                const double width = 0.5 + next();
                for (sd_pipe& p : l.read_pipes) {
                    p.type = kSectionBox;
                    p.width = width;
                }
            }
            ls.push_back(l);
        }
        install(*rs, js, ls, next() < 0.3);
        rs->high_head_release = trial % 2;
        const double dt = trial % 4 < 2 ? 2.0 : 5.0;
        for (int step = 0; step < 400; ++step) {
            if (step * dt < 400.0) {
                for (int c = 1; c <= 16; ++c)
                    if (next() < 0.3) rs->ov_depth[static_cast<size_t>(c)] += 0.05 * next();
                for (int l = 1; l <= rs->n_slink; ++l) feed(*rs, l, 0.5 * next());
            } else {
                for (int l = 1; l <= rs->n_slink; ++l) feed(*rs, l, 0.0);
            }
            ASSERT_EQ(superlink_step(*rs, dt), 0) << step;
            const sd_call_tally& t = rs->superlink_tally;
            ASSERT_LT(std::fabs(call_residual(*rs)), 1e-12 * (t.entered + t.left + rs->superlink_storage) + 1e-12) << step;
            ASSERT_NEAR(rs->superlink_storage, geometry_water(*rs), 1e-9 * rs->superlink_storage + 1e-12) << step;
            for (int c = 1; c <= 16; ++c) ASSERT_GE(rs->ov_depth[static_cast<size_t>(c)], 0.0);
        }
    }
}

TEST(SuperlinkSolver, SolutionThatIsNotFiniteOrDivergesStopsTheRunNamingWhere) {
    state_ptr rs = grid_state(1, 2, 10.0);
    install(*rs, {junction(10.0, 1.0), junction(8.0, 0.0, 888, 2)}, {chain(1, 2, 3, 0.3, 20.0, 0.01, 0.013, 10.0)});
    rs->elapsed_minutes = 12.5;
    feed(*rs, 1, 0.05);
    for (int step = 0; step < 20; ++step) ASSERT_EQ(superlink_step(*rs, 5.0), 0);
    rs->sd_links[1].pipes[2].roughness = std::nan("");
    EXPECT_EQ(superlink_step(*rs, 5.0), -1);
    EXPECT_EQ(error_record.code, 260);
    EXPECT_EQ(error_record.number1, 1);
    char text[400];
    compose_message(260, error_record, text, sizeof text);
    EXPECT_NE(std::string(text).find("at superlink 1 node 2,"), std::string::npos) << text;
    EXPECT_NE(std::string(text).find("12.50 minutes"), std::string::npos) << text;
    clear_errors();

    // A sealed junction of 1 cm2 fed 1 m3/s over a pipe of 5 cm: its head
    // runs away, beyond 1000 m above its ground (its nodes stand far higher,
    // so none of them is named first), and the run stops naming it.
    rs = grid_state(1, 2, 10.0);
    sd_link tiny = chain(1, 2, 2, 0.05, 20.0, 0.01, 0.013, 10.0);
    for (sd_node& n : tiny.read_nodes) n.ground = 1e5;
    install(*rs, {junction(10.0, 1e-4), junction(9.0, 0.0, 888, 2)}, {tiny});
    rs->elapsed_minutes = 3.0;
    feed(*rs, 1, 1.0);
    int status = 0;
    for (int step = 0; step < 100 && status == 0; ++step) status = superlink_step(*rs, 5.0);
    EXPECT_EQ(status, -1);
    EXPECT_EQ(error_record.code, 261);
    EXPECT_EQ(error_record.number1, 1);
    compose_message(261, error_record, text, sizeof text);
    EXPECT_NE(std::string(text).find("at superjunction 1,"), std::string::npos) << text;
    clear_errors();
}

}  // namespace

namespace {

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
        ASSERT_TRUE(solve_junction_heads(*rs, 10.0, S));
        EXPECT_NEAR(rs->sd_junctions[1].head, 1.25, 1e-12);
        EXPECT_NEAR(rs->sd_junctions[2].head, 0.5, 1e-12);
        EXPECT_DOUBLE_EQ(rs->sd_junctions[3].head, 0.0);
    }
}

TEST(JunctionHeads, HeldJunctionAndSingularSystem) {
    // Junction 1 held at 2 m: junction 2 sees it as known,
    //   10 H2 = 0.5 x 50 / 10 + 2 x 2  ->  H2 = 0.65 m.
    {
        state_ptr rs = three_junctions(1);
        rs->sd_junctions[1].held = 1;
        rs->sd_junctions[1].hold_level = 2.0;
        const std::vector<double> S{0.0, 100.0, 50.0, 0.0};
        ASSERT_TRUE(solve_junction_heads(*rs, 10.0, S));
        EXPECT_DOUBLE_EQ(rs->sd_junctions[1].head, 2.0);
        EXPECT_NEAR(rs->sd_junctions[2].head, 0.65, 1e-12);
    }
    // A junction with neither superlink nor storage: code 134, heads untouched.
    state_ptr rs = three_junctions(1);
    rs->sd_links[2].us = 1;   // junction 2 loses both its superlinks
    rs->sd_links[1].ds = 3;
    const std::vector<double> S{0.0, 100.0, 0.0, 0.0};
    EXPECT_FALSE(solve_junction_heads(*rs, 10.0, S));
    EXPECT_EQ(error_record.code, 134);
    EXPECT_DOUBLE_EQ(rs->sd_junctions[2].head, 0.5);
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
