// Channel-network lakes in the overland schemes on hand-built grids: the face
// law between a lake cell and the land beside it, water running into a lake,
// and a lake that never gives more than it holds, under the explicit, ADE and
// ADE-PC schemes.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "overland/ade_scheme.h"
#include "overland/channel_lake_faces.h"
#include "overland/connectivity.h"
#include "overland/explicit_scheme.h"
#include "overland_grid.h"

namespace {

constexpr double kCell = 10.0;   // cell size of the grids, m

// Turns on one channel-network lake holding the cells `cells` at `level`
// (m); its volume is the water above their ground.
// The bed slopes come from the ground set before.
void add_channel_lake(overland_grid& g, const std::vector<int>& cells, double level) {
    run_state& rs = *g.rs;
    compute_cell_slopes(rs);
    rs.channel_lakes = 1;
    rs.num_channel_lakes = 1;
    rs.lake_mask.assign(static_cast<size_t>(rs.GNUM) + 1, 0);
    for (std::vector<double>* a : {&rs.lake_volume, &rs.prevlake_volume, &rs.lake_elev,
                                   &rs.lake_area, &rs.lake_in_dv, &rs.lake_out_dv})
        a->assign(2, 0.0);
    for (const int j : cells) {
        rs.lake_mask[static_cast<size_t>(j)] = 1;
        rs.lake_volume[1] += (level - rs.elevation[static_cast<size_t>(j)]) * kCell * kCell;
    }
    rs.prevlake_volume[1] = rs.lake_volume[1];
    rs.lake_elev[1] = level;
    rs.lake_area[1] = static_cast<double>(cells.size()) * kCell * kCell;
}

// One overland step of dt seconds under overtype `scheme`.
void route(run_state& rs, int scheme, double dt, int step) {
    if (scheme == 1)
        route_overland_explicit(rs, dt);
    else
        ASSERT_GE(route_overland_ade(rs, dt, scheme, step % 2 + 1), 0.0);
}

const int kSchemes[] = {1, kSchemeAde, kSchemeAdePc};

}  // namespace

// Manning flow across one face, n 0.05 on a 10 m cell, 1 m apart. The cell
// gives its depth above retention when its surface stands higher; the lake
// gives its depth above the cell's ground when it stands higher.
TEST(ChannelLakeFaceFlow, EachSideGivesItsOwnFlowDepth) {
    struct face_case {
        const char* what;
        double ground, depth, retention, level;   // m
        double expected;                          // m3/s, positive towards the lake
    };
    const double n = 0.05;
    auto manning = [&](double surface_drop, double d) {
        return std::sqrt(surface_drop / kCell) / n * std::pow(d, 5.0 / 3.0) * kCell;
    };
    const face_case cases[] = {
        {"cell above the lake, retention held back", 100.0, 0.3, 0.1, 99.8, manning(0.5, 0.2)},
        {"cell water all in retention", 100.0, 0.1, 0.1, 99.8, 0.0},
        {"lake above a dry cell", 100.0, 0.0, 0.0, 100.4, -manning(0.4, 0.4)},
        {"lake above a wet cell: lake depth over the ground", 100.0, 0.1, 0.0, 100.4,
         -manning(0.3, 0.4)},
        {"lake below a dry cell's ground", 100.0, 0.0, 0.0, 99.5, 0.0},
        {"level surfaces", 100.0, 0.2, 0.0, 100.2, 0.0},
    };
    for (const face_case& c : cases) {
        SCOPED_TRACE(c.what);
        const double q =
            channel_lake_face_flow(c.ground, c.depth, c.retention, n, nullptr, c.level, kCell);
        EXPECT_NEAR(q, c.expected, 1e-9 * (1.0 + std::fabs(c.expected)));
    }
}

// Four cells of a row slope down (1 %) to a lake in the first cell (ground
// 99.0 m, level 99.1 m) and hold 0.05 m each. After 30 min the water stands
// in the lake, which stays below the land: the lake gained what the cells
// lost, booked as inflow, and its volume plus the surface water stays what
// it was.
TEST(ChannelLakeOverland, RunoffRunsIntoTheLakeAndIsBookedAsInflow) {
    for (const int scheme : kSchemes) {
        SCOPED_TRACE("OVERTYPE " + std::to_string(scheme));
        overland_grid g({"11111"}, kCell);
        run_state& rs = *g.rs;
        rs.overtype = scheme;
        rs.elevation[1] = 99.0;
        for (int j = 2; j <= 5; ++j) {
            rs.elevation[static_cast<size_t>(j)] = 100.0 + 0.1 * (j - 2);
            rs.ov_depth[static_cast<size_t>(j)] = 0.05;
        }
        add_channel_lake(g, {1}, 99.1);
        const double lake0 = rs.lake_volume[1];   // 10 m3
        const double surface0 = g.volume();       // 20 m3
        double in = 0.0;
        double out = 0.0;
        for (int step = 0; step < 180; ++step) {
            route(rs, scheme, 10.0, step);
            in += rs.lake_in_dv[1];
            out += rs.lake_out_dv[1];
            rs.lake_in_dv[1] = rs.lake_out_dv[1] = 0.0;
        }
        EXPECT_NEAR(rs.lake_volume[1] + g.volume(), lake0 + surface0, 1e-9);
        EXPECT_NEAR(rs.lake_volume[1] - lake0, in - out, 1e-9);
        // Most of the water reached the lake (the cells keep little more than
        // a film); the lake cell itself holds no depth.
        EXPECT_GT(rs.lake_volume[1] - lake0, 0.8 * surface0);
        EXPECT_EQ(rs.ov_depth[1], 0.0);
        EXPECT_GE(g.min_depth(), 0.0);
    }
}

// A lake of 2 m3 on a mesa (its cell at 100.0 m, level 100.02 m) beside land
// at 99.0 m: the face law asks far more than 2 m3 in the first sub-step. The
// lake gives exactly what it holds and never goes below empty; the water
// goes onto the land.
TEST(ChannelLakeOverland, LakeGivesNoMoreThanItHolds) {
    for (const int scheme : kSchemes) {
        SCOPED_TRACE("OVERTYPE " + std::to_string(scheme));
        overland_grid g({"111"}, kCell);
        run_state& rs = *g.rs;
        rs.overtype = scheme;
        rs.elevation = {0.0, 99.0, 100.0, 99.0};
        add_channel_lake(g, {2}, 100.02);
        ASSERT_NEAR(rs.lake_volume[1], 2.0, 1e-9);
        for (int step = 0; step < 6; ++step) {
            route(rs, scheme, 10.0, step);
            EXPECT_GE(rs.lake_volume[1], 0.0);
        }
        EXPECT_NEAR(rs.lake_volume[1], 0.0, 1e-12);
        EXPECT_NEAR(rs.lake_out_dv[1] - rs.lake_in_dv[1], 2.0, 1e-9);
        EXPECT_NEAR(g.volume(), 2.0, 1e-9);
        // The two sides of the mesa got the same.
        EXPECT_NEAR(rs.ov_depth[1], rs.ov_depth[3], 1e-12);
        EXPECT_EQ(rs.ov_depth[2], 0.0);
    }
}

// With a channel lake the explicit scheme prints no line per split, quiet
// card or not: the faces outside the lake that needed one are counted for
// the event summary instead.
TEST(ChannelLakeOverland, ExplicitSplitsAreCountedNotPrinted) {
    for (const int quiet : {0, 1}) {
        SCOPED_TRACE("quiet " + std::to_string(quiet));
        overland_grid g({"111"}, kCell);
        run_state& rs = *g.rs;
        rs.quiet = quiet;
        rs.elevation = {0.0, 99.0, 100.0, 99.0};
        add_channel_lake(g, {2}, 100.02);
        rs.event_ov_split_faces = 0;
        testing::internal::CaptureStdout();
        route_overland_explicit(rs, 10.0);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(out.find("need to split"), std::string::npos) << out;
        EXPECT_EQ(out.find("]x"), std::string::npos) << out;
        // The face law asks 0.255 m of the lake for cell 1 in the first 10 s:
        // at least that face needed a split.
        EXPECT_GT(rs.event_ov_split_faces, 0);
    }
}
