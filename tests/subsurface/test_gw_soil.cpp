// The soil column over a moving water table: each move against hand-worked
// depths, and the water of column, zone below the soil and aquifer kept over
// long random walks of the table.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "subsurface/gw_soil.h"

namespace {

// 100 cm of soil, upper part 30 cm; retained .30 / .25, porosity .45 / .40,
// residual .05 / .04; the zone below the soil retains .20.
table_soil test_soil() {
    table_soil s;
    s.depth = 100.0;
    s.layer1 = 30.0;
    s.drained[0] = 0.30;
    s.drained[1] = 0.25;
    s.porosity[0] = 0.45;
    s.porosity[1] = 0.40;
    s.residual[0] = 0.05;
    s.residual[1] = 0.04;
    s.below = 0.20;
    return s;
}

// Water of the zone between the soil bottom and the table, cm.
double zone(const table_soil& s, double depth) {
    return depth > s.depth ? (depth - s.depth) * s.below : 0.0;
}

}  // namespace

TEST(SoilOverTable, EachMoveAgainstHandWorkedDepths) {
    struct move_case {
        const char* what;
        table_column before;
        double old_depth, new_depth;   // cm below ground
        table_column after;
        double recharge, exchange;     // cm into the aquifer
        bool at_ground;
    };
    const move_case cases[] = {
        // 30 cm of lower soil at .25 = 7.5 cm taken from the aquifer.
        {"falls from 50 to 80 cm in the soil", {50, 14, 9, 5}, 50, 80, {80, 21.5, 9, 12.5},
         -7.5, 0, false},
        // 10 cm upper at .30 and 10 cm lower at .25.
        {"falls across the upper part", {20, 6, 6, 0}, 20, 40, {40, 11.5, 9, 2.5}, -5.5, 0, false},
        // Column filled to the soil bottom (20 cm at .25), then 50 cm of zone at .20.
        {"falls below the soil", {80, 24, 9, 15}, 80, 150, {100, 29, 9, 20}, -5, -10, false},
        {"falls within the zone", {100, 29, 9, 20}, 150, 170, {100, 29, 9, 20}, 0, -4, false},
        {"rises within the zone", {100, 29, 9, 20}, 170, 120, {100, 29, 9, 20}, 0, 10, false},
        // Rises to 60 cm: 29 cm over 60 cm exceeds 30 x .45 + 30 x .40 = 25.5 cm.
        {"rises from the zone into the soil", {100, 29, 9, 20}, 120, 60, {60, 25.5, 13.5, 12},
         3.5, 4, false},
        // 10 cm below a table at 10 cm: the lower part joins the upper one.
        {"rises into the upper part", {60, 4, 3, 1}, 60, 10, {10, 4, 4, 0}, 0, 0, false},
        // Drier than residual: 30 x .05 + 10 x .04 = 1.9 cm.
        {"shortfall below residual", {40, 1, 1, 0}, 40, 40, {40, 1.9, 1.5, 0.4}, -0.9, 0, false},
        {"reaches the ground", {60, 20, 10, 10}, 60, 0, {0, 0, 0, 0}, 20, 0, true},
        {"stands above the ground", {0, 0, 0, 0}, -5, -3, {0, 0, 0, 0}, 0, 0, true},
        // From above the ground to 40 cm: 30 x .30 + 10 x .25 retained.
        {"falls from above the ground", {0, 0, 0, 0}, -5, 40, {40, 11.5, 9, 2.5}, -11.5, 0,
         false},
        {"reaches the ground from the zone", {100, 29, 9, 20}, 150, 0, {0, 0, 0, 0}, 29, 10,
         true},
    };
    const table_soil s = test_soil();
    for (const move_case& c : cases) {
        SCOPED_TRACE(c.what);
        table_column col = c.before;
        const table_move m = adjust_soil_to_table(s, col, c.old_depth, c.new_depth);
        EXPECT_NEAR(col.front, c.after.front, 1e-12);
        EXPECT_NEAR(col.water, c.after.water, 1e-12);
        EXPECT_NEAR(col.upper, c.after.upper, 1e-12);
        EXPECT_NEAR(col.lower, c.after.lower, 1e-12);
        EXPECT_NEAR(m.recharge, c.recharge, 1e-12);
        EXPECT_NEAR(m.exchange, c.exchange, 1e-12);
        EXPECT_EQ(m.at_ground, c.at_ground);
        // What the column and zone lose, the aquifer gains.
        EXPECT_NEAR(c.before.water + zone(s, std::max(c.old_depth, 0.0)),
                    col.water + zone(s, std::max(c.new_depth, 0.0)) + m.recharge + m.exchange,
                    1e-12);
    }
}

// A table walking up and down through ground, soil and zone for 20000 steps:
// column + zone + everything handed to the aquifer stays what it was, the
// column always reaches the table or the soil bottom, and its parts add up.
TEST(SoilOverTable, RandomWalkKeepsTheWater) {
    const table_soil s = test_soil();
    std::mt19937 rng(12345);
    std::uniform_real_distribution<double> step(-12.0, 12.0);   // cm
    std::uniform_real_distribution<double> rain(0.0, 0.5);      // cm
    table_column col{60.0, 20.0, 10.0, 10.0};
    double depth = 60.0;
    double handed = 0.0;   // cm given to the aquifer
    double added = 0.0;    // cm of rain let into the column
    const double start = col.water + zone(s, depth);
    for (int k = 0; k < 20000; ++k) {
        const double r = rain(rng);
        col.water += r;
        col.upper += r;
        added += r;
        const double next = std::clamp(depth + step(rng), -20.0, 250.0);
        const table_move m = adjust_soil_to_table(s, col, depth, next);
        handed += m.recharge + m.exchange;
        depth = next;
        ASSERT_NEAR(col.water, col.upper + col.lower, 1e-9);
        ASSERT_NEAR(col.front, std::clamp(depth, 0.0, s.depth), 1e-12);
        ASSERT_GE(col.lower, -1e-12);
    }
    EXPECT_NEAR(start + added, col.water + zone(s, std::max(depth, 0.0)) + handed,
                1e-9 * (start + added));
}
