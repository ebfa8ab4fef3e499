// The boundary conditions and the low-spot exchange on hand-built grids:
// each case checks the moved depths against the law and that the water
// moved between cells is conserved or booked.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "input/elevation_series.h"
#include "overland/boundaries.h"
#include "overland/lowspots.h"
#include "overland_grid.h"

namespace {

// A 3 x 3 grid of 10 m cells (1 2 3 / 4 5 6 / 7 8 9) at ground 100 m with
// boundary types per cell and the lists the reader would build.
void set_types(run_state& rs, const std::vector<int>& types, const std::vector<double>& values) {
    rs.ov_boundary = 1;
    rs.boundary_type = types;
    rs.ov_boundary_value = values;
    rs.ov_boundary_param = values;
    rs.ov_boundary_cells.clear();
    rs.ov_head_cells.clear();
    for (int j = 1; j <= rs.GNUM; ++j) {
        const int t = types[static_cast<size_t>(j)];
        if (t >= 1 && t <= 7) rs.ov_boundary_cells.push_back(j);
        if (t == 2 || t == 3) rs.ov_head_cells.push_back(j);
    }
}

double booked_in(const run_state& rs) {
    return rs.vol_head_bc_gain + rs.vol_discharge_bc_gain;
}
double booked_out(const run_state& rs) {
    return rs.vol_head_bc_loss + rs.vol_slope_bc_loss + rs.vol_discharge_bc_loss;
}

}  // namespace

TEST(OverlandBoundaries, FreeOutflowLosesItsLawOverEveryEdgeFace) {
    overland_grid g({"111", "111", "111"}, 10.0);
    run_state& rs = *g.rs;
    rs.elevation.assign(10, 100.0);
    std::vector<int> types(10, 0);
    std::vector<double> v(10, 0.0);
    types[5] = 1;   // middle: four neighbours, no edge face
    types[3] = 1;   // corner: two edge faces
    types[2] = 1;   // edge: one face, almost dry
    v[5] = v[3] = v[2] = 0.01;
    set_types(rs, types, v);
    rs.ov_depth[5] = 0.1;
    rs.ov_depth[3] = 0.1;
    rs.ov_depth[2] = 1e-6;
    const double dt = 10.0;
    // One face passes sqrt(S) h^(5/3) / n x dt / dx of depth.
    const double face = std::sqrt(0.01) * std::pow(0.1, 1.666667) / 0.05 * dt / 10.0;
    const double before = g.volume();
    apply_overland_boundaries(rs, dt);
    EXPECT_EQ(rs.ov_depth[5], 0.1);
    EXPECT_NEAR(rs.ov_depth[3], 0.1 - 2.0 * face, 1e-15);
    EXPECT_NEAR(rs.ov_depth[2], 1e-6 - std::sqrt(0.01) * std::pow(1e-6, 1.666667) / 0.05, 1e-15);
    EXPECT_NEAR(before - g.volume(), rs.vol_slope_bc_loss, 1e-12);
}

TEST(OverlandBoundaries, LevelsDischargesAndTheirTotals) {
    struct level_case {
        const char* name;
        int type;
        double value;     // level m (2, 3) or discharge (4 ft3/s, 5 m3/s)
        double depth;     // m before
        double after;     // m after
        double gain, loss, unmet;   // m3 booked
    };
    const double ft3 = 0.0283168466;
    const level_case cases[] = {
        {"constant level raises", 2, 100.3, 0.1, 0.3, 20.0, 0.0, 0.0},
        {"constant level lowers", 2, 100.05, 0.1, 0.05, 0.0, 5.0, 0.0},
        {"series level below ground", 3, 99.0, 0.1, 0.0, 0.0, 10.0, 0.0},
        {"inflow m3/s", 5, 2.0, 0.0, 0.2, 20.0, 0.0, 0.0},
        {"withdrawal m3/s", 5, -0.5, 0.1, 0.05, 0.0, 5.0, 0.0},
        {"withdrawal of ft3/s beyond the water", 4, -1.0, 0.001, 0.0, 0.0, 0.1,
         10.0 * ft3 - 0.1},
    };
    for (const level_case& c : cases) {
        SCOPED_TRACE(c.name);
        overland_grid g({"111"}, 10.0);
        run_state& rs = *g.rs;
        rs.elevation.assign(4, 100.0);
        std::vector<int> types(4, 0);
        std::vector<double> v(4, 0.0);
        types[2] = c.type;
        v[2] = c.value;
        set_types(rs, types, v);
        rs.ov_depth[2] = c.depth;
        apply_overland_boundaries(rs, 10.0);
        EXPECT_NEAR(rs.ov_depth[2], c.after, 1e-12);
        EXPECT_NEAR(booked_in(rs), c.gain, 1e-9);
        EXPECT_NEAR(booked_out(rs), c.loss, 1e-9);
        EXPECT_NEAR(rs.vol_discharge_bc_unmet, c.unmet, 1e-9);
    }
}

// The held cell keeps its level through the routing: hold_head_cells puts it
// back and books what it gave or took.
TEST(OverlandBoundaries, HeldCellsGoBackToTheirLevel) {
    overland_grid g({"11"}, 10.0);
    run_state& rs = *g.rs;
    rs.elevation.assign(3, 100.0);
    set_types(rs, {0, 3, 0}, {0, 100.2, 0});
    std::vector<double> depth = {0.0, 0.15, 0.05};
    double gain = 0.0, loss = 0.0;
    hold_head_cells(rs, depth.data(), gain, loss);
    EXPECT_NEAR(depth[1], 0.2, 1e-12);
    EXPECT_DOUBLE_EQ(depth[2], 0.05);
    EXPECT_NEAR(gain, 5.0, 1e-12);
    EXPECT_EQ(loss, 0.0);
}

// Rating-curve exchange: 1 m3/s per m of head, far more than the levels
// allow in 100 s; the exchange stops where the two levels meet.
TEST(OverlandBoundaries, RatingCurveExchangeNeverPassesEvenLevels) {
    elevation_series curve;
    curve.x_values = {0.0, 10.0};
    curve.y_values = {0.0, 10.0};
    curve.count = 2;
    struct rating_case {
        const char* name;
        int type;                 // of cell 1; cell 2 is of type 99
        double h1, h2;            // m before
        double after1, after2;    // m after
    };
    const rating_case cases[] = {
        {"two-way outflow", 6, 0.4, 0.0, 0.2, 0.2},
        {"two-way inflow", 6, 0.0, 0.4, 0.2, 0.2},
        {"two-way from a dry partner", 6, 0.0, 0.0, 0.0, 0.0},
        {"outflow only", 7, 0.4, 0.1, 0.25, 0.25},
        {"outflow only never uphill", 7, 0.1, 0.4, 0.1, 0.4},
    };
    for (const rating_case& c : cases) {
        SCOPED_TRACE(c.name);
        overland_grid g({"11"}, 10.0);
        run_state& rs = *g.rs;
        rs.elevation.assign(3, 100.0);
        set_types(rs, {0, c.type, 99}, {0, 0, 0});
        rs.ov_boundary_records.assign(3, ov_boundary_record{});
        rs.ov_boundary_records[1].rating_curve = &curve;
        rs.ov_depth[1] = c.h1;
        rs.ov_depth[2] = c.h2;
        apply_overland_boundaries(rs, 100.0);
        EXPECT_NEAR(rs.ov_depth[1], c.after1, 1e-12);
        EXPECT_NEAR(rs.ov_depth[2], c.after2, 1e-12);
        EXPECT_EQ(booked_in(rs) + booked_out(rs), 0.0);
    }
}

// Low spot on the right face of cell 1 of a 1 x 2 strip of 10 m cells at
// ground 100 m, width 1, crest as given.
TEST(LowSpotFaceFlow, WeirLawLimitsAndBooking) {
    struct spot_case {
        const char* name;
        double crest;          // m
        double h1, h2;         // m before
        int held;              // cell whose level the boundary holds, 0 none
        double dt;             // s
        double after1, after2; // m after
        double gain, loss;     // m3 booked
    };
    const double q1 = 1.48 * std::pow(0.05, 1.5) * 10.0;   // weir flow at 0.05 m head, m3/s
    const spot_case cases[] = {
        {"levels under 1 mm apart", 100.0, 0.1009, 0.100, 0, 10.0, 0.1009, 0.100, 0, 0},
        {"both below the crest", 100.5, 0.4, 0.0, 0, 10.0, 0.4, 0.0, 0, 0},
        {"weir law", 100.05, 0.1, 0.0, 0, 1.0, 0.1 - q1 / 100.0, q1 / 100.0, 0, 0},
        {"giver 1 mm above the crest", 100.099, 0.1, 0.0, 0, 10000.0, 0.099, 0.001, 0, 0},
        {"never past even levels", 100.0, 0.3, 0.1, 0, 1000.0, 0.2, 0.2, 0, 0},
        {"held giver", 100.0, 0.3, 0.1, 1, 1000.0, 0.3, 0.3, 20.0, 0},
        {"held taker", 100.0, 0.3, 0.1, 2, 1000.0, 0.1, 0.1, 0, 20.0},
    };
    for (const spot_case& c : cases) {
        SCOPED_TRACE(c.name);
        overland_grid g({"11"}, 10.0);
        run_state& rs = *g.rs;
        rs.elevation.assign(3, 100.0);
        std::vector<int> types(3, 0);
        if (c.held) types[static_cast<size_t>(c.held)] = 2;
        set_types(rs, types, {0, 0, 0});
        rs.num_lowspots = 1;
        rs.lowspot_file = 1;
        rs.lowspot_records.assign(2, low_spot{});
        rs.lowspot_records[1] = low_spot{1, 1, 2, 1.0, c.crest, 0.0, 2};
        rs.ov_depth[1] = c.h1;
        rs.ov_depth[2] = c.h2;
        double loss = -1.0, gain = -1.0;
        face_flow(rs, c.dt, loss, gain);
        EXPECT_NEAR(rs.ov_depth[1], c.after1, 1e-12);
        EXPECT_NEAR(rs.ov_depth[2], c.after2, 1e-12);
        EXPECT_NEAR(gain, c.gain, 1e-9);
        EXPECT_NEAR(loss, c.loss, 1e-9);
    }
}

// A lake side changes its lake's inflow by the volume the cell gives.
TEST(LowSpotFaceFlow, LakeSideTakesTheVolumeTheCellGives) {
    overland_grid g({"11"}, 10.0);
    run_state& rs = *g.rs;
    rs.elevation.assign(3, 100.0);
    rs.lakes = 1;
    rs.oland_lake_new = {0, 0, 1};
    rs.overland_lakes.assign(2, overland_lake{});
    rs.overland_lakes[1].level = 100.1;
    rs.num_lowspots = 1;
    rs.lowspot_records.assign(2, low_spot{});
    rs.lowspot_records[1] = low_spot{1, 1, 2, 1.0, 100.0, 0.0, 2};
    rs.ov_depth[1] = 0.3;
    double loss = 0.0, gain = 0.0;
    face_flow(rs, 1.0, loss, gain);
    const double given = (0.3 - rs.ov_depth[1]) * 100.0;
    EXPECT_GT(given, 0.0);
    EXPECT_NEAR(rs.overland_lakes[1].inflow, given, 1e-12);
    EXPECT_NEAR(rs.lowspot_records[1].discharge, 1.48 * std::pow(0.3, 1.5) * 10.0, 1e-12);
}

// Lake 1 holds cells 2 and 3 of a 1 x 3 strip of 10 m cells at ground 100 m;
// a low spot of width 1 and crest 100 m on the right face of the dry cell 1.
// The lake gives at most its water above its initial level (with its inflow
// not yet taken) and at most what evens its level with the cell's: a depth u
// on cell 1 lowers the two-cell lake by u / 2.
TEST(LowSpotFaceFlow, LakeGivesNoWaterBelowItsInitialLevel) {
    struct lake_case {
        const char* name;
        double level, initial, inflow;   // m, m, m3 before
        double depth;                    // m on cell 1 after
    };
    const lake_case cases[] = {
        {"levels even out", 100.2, 100.0, 0.0, 0.2 / 1.5},
        {"stops at the initial level", 100.2, 100.15, 0.0, 0.1},
        {"its pending inflow counts", 100.2, 100.18, 5.0, 0.09},
        {"at its initial level it gives nothing", 100.2, 100.2, 0.0, 0.0},
    };
    for (const lake_case& c : cases) {
        SCOPED_TRACE(c.name);
        overland_grid g({"111"}, 10.0);
        run_state& rs = *g.rs;
        rs.elevation.assign(4, 100.0);
        rs.lakes = 1;
        rs.num_overland_lakes = 1;
        rs.oland_lake_mask = {0, 0, 1, 1};
        rs.oland_lake_new = rs.oland_lake_mask;
        rs.overland_lakes.assign(2, overland_lake{});
        overland_lake& lake = rs.overland_lakes[1];
        lake.level = c.level;
        lake.initial_level = c.initial;
        lake.inflow = c.inflow;
        lake.cell_count = 2;
        rs.num_lowspots = 1;
        rs.lowspot_file = 1;
        rs.lowspot_records.assign(2, low_spot{});
        rs.lowspot_records[1] = low_spot{1, 1, 2, 1.0, 100.0, 0.0, 2};
        EXPECT_EQ(lake_may_pass_low_spot(rs), c.level > c.initial);
        double loss = 0.0, gain = 0.0;
        face_flow(rs, 1000.0, loss, gain);
        EXPECT_NEAR(rs.ov_depth[1], c.depth, 1e-12);
        EXPECT_NEAR(lake.inflow, c.inflow - c.depth * 100.0, 1e-9);
        EXPECT_EQ(loss + gain, 0.0);
    }
}
