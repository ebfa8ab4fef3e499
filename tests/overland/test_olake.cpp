// Overland lakes on hand-built grids: the extent step against the
// hypsometric curve of a stepped basin, its edge cases, and the lake faces
// of the explicit, ADE and ADE-PC schemes (water booked to the lake, no
// water below the initial level).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "overland/ade_scheme.h"
#include "overland/explicit_scheme.h"
#include "overland/olake.h"
#include "overland_grid.h"

namespace {

// Turns on overland lakes with `count` lakes, every lake at `level` (m).
void add_lakes(overland_grid& g, int count, double level) {
    run_state& rs = *g.rs;
    rs.lakes = 1;
    rs.num_overland_lakes = count;
    rs.overland_lakes.assign(static_cast<size_t>(count) + 1, overland_lake{});
    for (int u = 1; u <= count; ++u) {
        rs.overland_lakes[static_cast<size_t>(u)].level = level;
        rs.overland_lakes[static_cast<size_t>(u)].initial_level = level;
    }
    rs.oland_lake_mask.assign(static_cast<size_t>(rs.GNUM) + 1, 0);
    rs.oland_lake_new = rs.oland_lake_mask;
}

// Puts cell j into lake u (map and extent) and books its water.
void put_in_lake(overland_grid& g, int j, int u) {
    run_state& rs = *g.rs;
    rs.oland_lake_mask[static_cast<size_t>(j)] = u;
    rs.oland_lake_new[static_cast<size_t>(j)] = u;
    overland_lake& r = rs.overland_lakes[static_cast<size_t>(u)];
    ++r.cell_count;
    r.volume += (r.level - rs.elevation[static_cast<size_t>(j)]) * rs.cell_size * rs.cell_size;
}

// Water of lake u from its cells and level, m3.
double lake_geometry_volume(const run_state& rs, int u) {
    double v = 0.0;
    for (int j = 1; j <= rs.GNUM; ++j) {
        if (rs.oland_lake_new[static_cast<size_t>(j)] == u)
            v += rs.overland_lakes[static_cast<size_t>(u)].level - rs.elevation[static_cast<size_t>(j)];
    }
    return v * rs.cell_size * rs.cell_size;
}

// Level at which the basin holds `volume` (m3): bisection on
// V(L) = sum over cells with ground below L of (L - ground) dx^2.
double hypsometric_level(const run_state& rs, double volume) {
    double lo = 0.0;
    double hi = 1000.0;
    for (int it = 0; it < 200; ++it) {
        const double mid = 0.5 * (lo + hi);
        double v = 0.0;
        for (int j = 1; j <= rs.GNUM; ++j) {
            const double g = rs.elevation[static_cast<size_t>(j)];
            if (g < mid) v += (mid - g) * rs.cell_size * rs.cell_size;
        }
        (v < volume ? lo : hi) = mid;
    }
    return 0.5 * (lo + hi);
}

}  // namespace

TEST(OverlandLakeExtent, SteppedBasinFollowsTheHypsometricCurveRisingAndFalling) {
    // 9 x 9 cells of 10 m; the ground rises by 0.1 m per ring around the
    // centre cell (100.0 m), which alone is the lake map at 100.05 m.
    overland_grid g(std::vector<std::string>(9, "111111111"), 10.0);
    run_state& rs = *g.rs;
    for (int r = 1; r <= 9; ++r)
        for (int c = 1; c <= 9; ++c)
            rs.elevation[static_cast<size_t>(rs.mask[r][c])] =
                100.0 + 0.1 * std::max(std::abs(r - 5), std::abs(c - 5));
    add_lakes(g, 1, 100.05);
    put_in_lake(g, rs.mask[5][5], 1);
    overland_lake& lake = rs.overland_lakes[1];
    double held = lake.volume;   // 5 m3
    double into = 0.0;
    double from = 0.0;

    // Inflows (m3): a rise over one ring, over several rings at once, a fall
    // back inside them, a tiny rise, a fall to the map, a rise over the grid.
    const double inflows[] = {50.0, 2000.0, -1500.0, 3.0, -540.0, 12000.0, -9000.0};
    for (const double b : inflows) {
        SCOPED_TRACE(b);
        lake.inflow = b;
        olake_extent(rs);
        held += b;
        (b > 0.0 ? into : from) += std::fabs(b);
        EXPECT_EQ(lake.inflow, 0.0);
        // Level: within 1 mm of the curve (the step is exact up to rounding).
        EXPECT_NEAR(lake.level, hypsometric_level(rs, held), 1e-3);
        EXPECT_NEAR(lake.level, hypsometric_level(rs, held), 1e-9);
        // Volume: the record, the geometry and the water given all agree.
        EXPECT_NEAR(lake.volume, held, 1e-9 * held);
        EXPECT_NEAR(lake_geometry_volume(rs, 1), held, 1e-9 * held);
        // The lake holds exactly the cells below its level (and its map cell).
        int below = 0;
        for (int j = 1; j <= rs.GNUM; ++j) {
            const bool wet = rs.elevation[static_cast<size_t>(j)] < lake.level;
            EXPECT_EQ(rs.oland_lake_new[static_cast<size_t>(j)] == 1, wet || j == rs.mask[5][5]) << j;
            below += wet ? 1 : 0;
        }
        EXPECT_EQ(lake.cell_count, std::max(below, 1));
    }
    EXPECT_NEAR(rs.vol_ovlake_inflow, into, 1e-9 * into);
    EXPECT_NEAR(rs.vol_ovlake_outflow, from, 1e-9 * into);
    EXPECT_EQ(rs.vol_ovlake_shortfall, 0.0);
}

TEST(OverlandLakeExtent, EdgeCases) {
    const double dx = 10.0;
    const double a = dx * dx;
    struct edge_case {
        const char* what;
        std::vector<std::string> rows;
        std::vector<double> ground;     // per cell, m
        std::vector<double> depth;      // per cell, m
        std::vector<int> map;           // lake of the cell
        int dikes_round_cell;           // cell with dikes on all sides, 0 none
        double inflow;                  // lake 1, m3
        double level;                   // expected level, m
        int cells;                      // expected cell count
        double shortfall;               // expected booked shortfall, m3
    };
    const double d = 100.0 + 50.0 / a;   // one lake cell at 100 m with 50 m3 more
    const edge_case cases[] = {
        // A single dry-enough neighbour below the tentative level: (z + k D) / (k + 1).
        {"one candidate", {"111"}, {99.0, 100.0, 101.0}, {0.0, 0.02, 0.0}, {1, 0, 0}, 0, 50.0,
         (100.02 + d) / 2.0, 2, 0.0},
        // A cell beside two lake cells is one candidate: k = 3.
        {"deduped candidate", {"11", "11"}, {99.0, 99.0, 99.0, 100.0}, {0.0, 0.0, 0.0, 0.0},
         {1, 1, 1, 0}, 0, 3.0 * a * 0.4, (100.0 + 3.0 * 100.4) / 4.0, 4, 0.0},
        // Dikes on every side: the lake never grows, whatever lies around it.
        {"diked", {"111", "111", "111"}, {99, 99, 99, 99, 99, 99, 99, 99, 99},
         std::vector<double>(9, 0.0), {0, 0, 0, 0, 1, 0, 0, 0, 0}, 5, 50.0, d, 1, 0.0},
        // Falling inside its map: the level goes down, the run goes on.
        {"falls inside its map", {"11"}, {99.0, 99.0}, {0.0, 0.0}, {1, 1}, 0, -2.0 * a * 0.2,
         99.8, 2, 0.0},
        // Asked for more than it holds above its initial level (0 here): stays, booked.
        {"shortfall", {"11"}, {99.0, 99.0}, {0.0, 0.0}, {1, 1}, 0, -30.0, 100.0, 2, 30.0},
        // Less than 1e-10 m over its area: carried, not dropped.
        {"carried", {"11"}, {99.0, 101.0}, {0.0, 0.0}, {1, 0}, 0, 5e-9, 100.0, 1, 0.0},
    };
    for (const edge_case& c : cases) {
        SCOPED_TRACE(c.what);
        overland_grid g(c.rows, dx);
        run_state& rs = *g.rs;
        add_lakes(g, 2, 100.0);   // lake 2 has no cell and is skipped
        if (std::string(c.what) == "falls inside its map") {
            rs.overland_lakes[1].level = 100.0;
            rs.overland_lakes[1].initial_level = 99.5;
        }
        for (int j = 1; j <= rs.GNUM; ++j) {
            rs.elevation[static_cast<size_t>(j)] = c.ground[static_cast<size_t>(j - 1)];
            rs.ov_depth[static_cast<size_t>(j)] = c.depth[static_cast<size_t>(j - 1)];
        }
        for (int j = 1; j <= rs.GNUM; ++j)
            if (c.map[static_cast<size_t>(j - 1)] != 0) put_in_lake(g, j, 1);
        if (c.dikes_round_cell != 0) {
            rs.dike_map = 1;
            rs.dike_mask.assign(static_cast<size_t>(rs.GNUM) + 1, 0);
            rs.dike_mask[static_cast<size_t>(c.dikes_round_cell)] = 1 | 2 | 4 | 8;
        }
        const double before = rs.overland_lakes[1].volume + g.volume();
        rs.overland_lakes[1].inflow = c.inflow;
        rs.overland_lakes[2].inflow = 7.0;   // never applied: the lake has no cells
        testing::internal::CaptureStdout();
        olake_extent(rs);
        const std::string out = testing::internal::GetCapturedStdout();
        const overland_lake& lake = rs.overland_lakes[1];
        EXPECT_NEAR(lake.level, c.level, 1e-12);
        EXPECT_EQ(lake.cell_count, c.cells);
        EXPECT_NEAR(rs.vol_ovlake_shortfall, c.shortfall, 1e-9);
        EXPECT_EQ(rs.overland_lakes[2].level, 100.0);
        EXPECT_EQ(error_record.code, 0);
        if (c.shortfall > 0.0) {
            EXPECT_NE(out.find("Warning: overland lake 1 was asked"), std::string::npos);
        }
        // Water kept: lake + surface = before + the inflow the lake took.
        const double taken = std::string(c.what) == "carried" ? 0.0 : c.inflow + c.shortfall;
        EXPECT_NEAR(lake.volume, lake_geometry_volume(rs, 1), 1e-9);
        EXPECT_NEAR(lake.volume + g.volume(), before + taken, 1e-9);
        for (int j = 1; j <= rs.GNUM; ++j) {
            if (rs.oland_lake_new[static_cast<size_t>(j)] != 0) {
                EXPECT_EQ(rs.ov_depth[static_cast<size_t>(j)], 0.0) << j;
            }
        }
        if (std::string(c.what) == "carried") {
            // Kept for the next update, which takes it with what came since.
            EXPECT_EQ(lake.inflow, 5e-9);
            rs.overland_lakes[1].inflow += 1.0;
            olake_extent(rs);
            EXPECT_NEAR(lake.level, 100.0 + (1.0 + 5e-9) / a, 1e-12);
        }
    }
}

TEST(OverlandLakeScheme, FaceWaterIsBookedToTheLakeWhichGivesNothingBelowItsInitialLevel) {
    // Three cells of 10 m in a row: cell 3 is the lake (ground 99 m).
    struct scheme_case {
        const char* what;
        double ground1, ground2;   // m
        double depth1, depth2;     // m
        double level, initial;     // lake level and initial level, m
        double most_given;         // the most the lake may give, m3 (< 0: it only takes)
    };
    const scheme_case cases[] = {
        {"cells drain into the lake", 100.2, 100.0, 0.1, 0.1, 99.5, 99.5, -1.0},
        {"lake at its initial level above a wet cell", 100.2, 100.0, 0.0, 0.1, 100.5, 100.5, 0.0},
        {"lake 0.1 m above its initial level", 100.0, 100.0, 0.0, 0.1, 100.6, 100.5, 10.0},
    };
    const int schemes[] = {1, kSchemeAde, kSchemeAdePc};   // overtype
    for (const int scheme : schemes)
    for (const scheme_case& c : cases) {
        SCOPED_TRACE(std::string(c.what) + ", overtype " + std::to_string(scheme));
        overland_grid g({"111"}, 10.0);
        run_state& rs = *g.rs;
        add_lakes(g, 1, c.level);
        rs.overland_lakes[1].initial_level = c.initial;
        rs.elevation = {0.0, c.ground1, c.ground2, 99.0};
        rs.ov_slope_x[1] = (c.ground1 - c.ground2) / 10.0;
        rs.ov_slope_x[2] = (c.ground2 - 99.0) / 10.0;
        rs.ov_depth = {0.0, c.depth1, c.depth2, 0.0};
        put_in_lake(g, 3, 1);
        const double plain_before = g.volume();
        {
            silenced_stdout quiet;   // the split lines of the first steps
            for (int step = 0; step < 20; ++step) {
                if (scheme == 1) route_overland_explicit(rs, 10.0);
                else route_overland_ade(rs, 10.0, scheme, step % 2 == 0 ? 1 : 2);
            }
        }
        EXPECT_EQ(rs.ov_depth[3], 0.0);   // the lake cell holds no depth
        const double inflow = rs.overland_lakes[1].inflow;
        // What the cells lost, the lake took (to rounding).
        EXPECT_NEAR(plain_before - g.volume(), inflow, 1e-12 * (1.0 + plain_before));
        EXPECT_GE(g.min_depth(), 0.0);
        if (c.most_given < 0.0) {
            EXPECT_GT(inflow, 0.5 * plain_before);
            EXPECT_EQ(rs.lakes_changed, 1);
        } else {
            EXPECT_GE(inflow, -c.most_given - 1e-9);
        }
        if (c.most_given == 0.0) {
            EXPECT_EQ(rs.ov_depth[2], 0.1);
        }
        if (c.most_given > 0.0) {
            EXPECT_NEAR(inflow, -c.most_given, 1e-9);   // all it may give
        }
    }
}
