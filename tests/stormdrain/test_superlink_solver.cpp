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

// Ten 100-m pipes falling 0.1 m each from a 10-m2 junction to an outfall
// onto cell 1 whose bottom lies 1 m below the last invert (a free fall).
void ten_pipes(run_state& rs, int us, int out, std::vector<sd_junction>& j, std::vector<sd_link>& l,
               double top) {
    (void)us;
    l.push_back(chain(static_cast<int>(j.size()) + 1, out, 10, 1.0, 100.0, 0.001, 0.013, top));
    j.push_back(junction(top, 10.0));
    (void)rs;
}

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
    // The outfall returned the steady flow to its cell.
    EXPECT_NEAR(rs->superlink_tally.returned / 5.0, 0.5, 0.0025);
}

}  // namespace
