// The erosion and deposition step on hand-built grids: the per-class balance
// after every step for every formula, nothing without rain or flow, face
// transfers that do not depend on the direction of the cell numbering, a
// source that shares what it holds among its faces, the outlet on any edge,
// and the ground that follows erosion and deposition.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "../overland/overland_grid.h"
#include "quality/sediment.h"
#include "quality/sediment_output.h"
#include "quality/sediment_state.h"
#include "quality/sediment_step.h"

namespace {

constexpr int kClasses = 3;

// A grid with overland sediment of three classes (0.01, 0.1 and 1 mm, soil
// shares 0.5, 0.3, 0.2) and the default erosion parameters.
struct sediment_grid : overland_grid {
    sediment_grid(const std::vector<std::string>& rows, double cell, int formula)
        : overland_grid(rows, cell) {
        ov_sed_record& s = rs->ov_sed;
        s.classes = kClasses;
        s.formula = formula;
        s.sand_size = 0.0625;
        s.water_kin_viscosity = water_viscosity(20.0);
        s.spec_grav = {0, 2.65, 2.65, 2.65};
        s.part_diam = {0, 0.01, 0.1, 1.0};
        size_sediment_record(s, rs->GNUM);
        derive_class_properties(s);
        const size_t size = static_cast<size_t>(rs->GNUM) + 1;
        s.splash_K.assign(size, 60.0);
        s.sed_K.assign(size, 1.0);
        s.detach_coef.assign(size, 1e-5);
        s.detach_exp.assign(size, 1.0);
        s.detach_crit.assign(size, 0.0);
        const double shares[kClasses + 1] = {0, 0.5, 0.3, 0.2};
        for (int k = 1; k <= rs->GNUM; ++k)
            for (int j = 1; j <= kClasses; ++j) s.soil_fract[at(k, j)] = shares[j];
        s.on = 1;
        rs->cell_rain_rate.assign(size, 0.0);
        rs->chan_explic = 0;
    }
    static size_t at(int cell, int j) { return static_cast<size_t>(cell) * (kClasses + 1) + j; }
    ov_sed_record& sed() { return rs->ov_sed; }

    struct totals {
        double ero[kClasses + 1], sus[kClasses + 1], dep[kClasses + 1], out[kClasses + 1];
    };
    totals sum() {
        totals t;
        sum_sediment_totals(sed(), rs->GNUM, {t.ero, t.sus, t.dep, t.out});
        return t;
    }
    double suspended(int cell) {
        double v = 0.0;
        for (int j = 1; j <= kClasses; ++j) v += sed().suspended[at(cell, j)];
        return v;
    }
};

// Depths and face flows of a plane draining south towards the middle of its
// lower edge, varying with the step number so that flows rise and fall.
void set_plane_flow(sediment_grid& g, int step) {
    run_state& rs = *g.rs;
    const double scale = 0.5 + 0.5 * std::sin(0.3 * step);
    for (int k = 1; k <= rs.GNUM; ++k) {
        const int row = (k - 1) / rs.cols + 1, col = (k - 1) % rs.cols + 1;
        rs.elevation[k] = 100.0 - 0.05 * 20.0 * row;
        rs.ov_depth[k] = 0.002 + 0.004 * row * scale;
        rs.ov_qy[k] = rs.belowcon[k] ? 0.002 * row * scale : 0.0;
        const int mid = (rs.cols + 1) / 2;
        rs.ov_qx[k] = rs.rightcon[k] ? (col < mid ? 0.0005 : -0.0005) * scale : 0.0;
        rs.cell_rain_rate[k] = step < 10 ? 3e-5 * (1 + col) : 0.0;   // 108 to 432 mm/h, then dry
    }
    rs.outlet_flow = 0.01 * scale;
}

}  // namespace

TEST(SedimentStep, EveryClassBalancesAfterEveryStepWithEveryFormula) {
    for (int formula = 1; formula <= 6; ++formula) {
        SCOPED_TRACE(formula);
        sediment_grid g({"111", "111", "111", "111"}, 20.0, formula);
        g.rs->outlet_cell = 11;   // middle of the lower edge
        g.rs->outslope = 0.05;
        double exported = 0.0;
        for (int step = 0; step < 20; ++step) {
            set_plane_flow(g, step);
            g.rs->time = step;
            step_overland_sediment(*g.rs, 10.0);
            const sediment_grid::totals t = g.sum();
            for (int j = 1; j <= kClasses; ++j) {
                SCOPED_TRACE(j);
                ASSERT_GT(t.ero[j], 0.0);
                EXPECT_LE(std::fabs(t.ero[j] - (t.dep[j] + t.sus[j] + t.out[j])), 1e-9 * t.ero[j]);
            }
            // The outlet rate of the step times the step is what left in it.
            exported += outlet_sediment_rate(g.sed(), step) * 10.0;
            EXPECT_NEAR(exported, t.out[0], 1e-12 + 1e-9 * t.out[0]);
        }
        EXPECT_GT(g.sum().out[0], 0.0);
    }
}

TEST(SedimentStep, NothingErodesWithoutRainOrFlow) {
    sediment_grid g({"111", "111"}, 20.0, 2);
    for (int k = 1; k <= g.rs->GNUM; ++k) g.rs->ov_depth[k] = 0.01;
    for (int step = 0; step < 3; ++step) step_overland_sediment(*g.rs, 10.0);
    const sediment_grid::totals t = g.sum();
    EXPECT_EQ(t.ero[0], 0.0);
    EXPECT_EQ(t.dep[0] + t.sus[0] + t.out[0], 0.0);
}

TEST(SedimentStep, SuspensionMovesOneCellPerStepWhicheverWayTheFlowRuns) {
    // A column of three cells; the sediment starts suspended in the upstream
    // end and does not settle (fall velocity 0) or erode (critical stress far
    // above the flow's): it reaches the middle cell only, flowing south as
    // flowing north.
    for (int south : {1, 0}) {
        SCOPED_TRACE(south ? "south" : "north");
        sediment_grid g({"1", "1", "1"}, 10.0, 2);
        ov_sed_record& s = g.sed();
        s.fall_velocity.assign(kClasses + 1, 0.0);
        s.detach_crit.assign(4, 1e9);
        const int source = south ? 1 : 3, middle = 2, last = south ? 3 : 1;
        for (int k = 1; k <= 3; ++k) {
            g.rs->ov_depth[k] = 0.05;
            g.rs->elevation[k] = south ? 10.0 - k : 10.0 + k;
        }
        const double q = south ? 0.01 : -0.01;   // m3/s across the lower faces
        g.rs->ov_qy[1] = q;
        g.rs->ov_qy[2] = q;
        s.suspended[g.at(source, 1)] = 1e-4;
        step_overland_sediment(*g.rs, 10.0);
        EXPECT_GT(g.suspended(middle), 0.0);
        EXPECT_EQ(g.suspended(last), 0.0);
        EXPECT_EQ(s.deposited[g.at(last, 1)], 0.0);
        EXPECT_NEAR(g.suspended(source) + g.suspended(middle), 1e-4, 1e-18);
    }
}

TEST(SedimentStep, SourceShortOfItsFacesCapacityGivesEachFaceItsShare) {
    // A centre cell draining equally to its four neighbours, holding far less
    // than the faces could carry: each neighbour receives a quarter (and,
    // without an outflow of its own, lets it settle).
    sediment_grid g({"111", "111", "111"}, 10.0, 2);
    ov_sed_record& s = g.sed();
    s.fall_velocity.assign(kClasses + 1, 0.0);
    s.detach_crit.assign(10, 1e9);
    run_state& rs = *g.rs;
    for (int k = 1; k <= 9; ++k) rs.ov_depth[k] = 0.05;
    rs.elevation[5] = 1.0;   // the others at 0
    rs.ov_qx[5] = 0.05;      // to 6
    rs.ov_qx[4] = -0.05;     // from 5 to 4
    rs.ov_qy[5] = 0.05;      // to 8
    rs.ov_qy[2] = -0.05;     // from 5 to 2
    s.suspended[g.at(5, 2)] = 1e-6;
    step_overland_sediment(rs, 10.0);
    EXPECT_EQ(g.suspended(5), 0.0);
    for (int k : {2, 4, 6, 8}) {
        SCOPED_TRACE(k);
        EXPECT_NEAR(s.suspended[g.at(k, 2)] + s.deposited[g.at(k, 2)], 0.25e-6, 1e-20);
    }
    // Stored on the face's own cell: the right face of 5 and of 4, the lower
    // face of 5 and of 2.
    EXPECT_GT(s.qsx[5], 0.0);
    EXPECT_GT(s.qsx[4], 0.0);
    EXPECT_GT(s.qsy[2], 0.0);
    EXPECT_EQ(s.qsx[6], 0.0);
}

TEST(SedimentStep, OutletCarriesSedimentOutOnAnyEdge) {
    // The outlet in a corner, on the upper edge, on the right edge: the
    // outlet's discharge carries its suspended sediment out.
    for (int outlet : {1, 2, 6}) {
        SCOPED_TRACE(outlet);
        sediment_grid g({"111", "111"}, 10.0, 2);
        ov_sed_record& s = g.sed();
        s.detach_crit.assign(7, 1e9);
        g.rs->outlet_cell = outlet;
        g.rs->outslope = 0.05;
        g.rs->outlet_flow = 0.02;
        g.rs->ov_depth[outlet] = 0.03;
        s.suspended[g.at(outlet, 1)] = 1e-5;
        g.rs->time = 2.0;
        step_overland_sediment(*g.rs, 10.0);
        const sediment_grid::totals t = g.sum();
        EXPECT_GT(t.out[1], 0.0);
        EXPECT_NEAR(outlet_sediment_rate(s, 2.0), t.out[0] / 10.0, 1e-18);
        // No sediment step at a later time: the rate written then is 0.
        EXPECT_EQ(outlet_sediment_rate(s, 3.0), 0.0);
    }
}

TEST(SedimentStep, GroundFollowsTheBulkVolumeAndSlopesFollowTheGround) {
    sediment_grid g({"111", "111", "111", "111"}, 20.0, 3);
    g.rs->outlet_cell = 11;
    g.rs->outslope = 0.05;
    g.sed().adjust_elev = 1;
    g.sed().sed_porosity = 0.4;
    set_plane_flow(g, 0);
    std::vector<double> before = g.rs->elevation;
    // The flow keeps its fields (set once); only the ground moves.
    for (int step = 0; step < 5; ++step) step_overland_sediment(*g.rs, 10.0);
    double moved = 0.0;
    for (int k = 1; k <= g.rs->GNUM; ++k) {
        const double dz = g.rs->elevation[k] - before[k];
        // Net deposit of the cell (solids, m3) over the solid share of the bed.
        EXPECT_NEAR(dz * 400.0 * 0.6, g.sed().qsvol[g.at(k, 0)], 1e-11);   // ground near 100 m
        moved += std::fabs(dz);
        if (g.rs->rightcon[k]) {
            EXPECT_DOUBLE_EQ(g.rs->ov_slope_x[k],
                             (g.rs->elevation[k] - g.rs->elevation[g.rs->rightcon[k]]) / 20.0);
        }
    }
    EXPECT_GT(moved, 0.0);
}

TEST(SedimentStep, DryFlatAndStillCellsKeepFiniteVolumes) {
    // Rain on dry cells (no damping depth), a flat wet cell with loose
    // deposit (no shear: the loose potential is 0), a cell whose outflow
    // leaves over no slope, and a fractional detachment exponent at zero
    // stress: every volume stays a finite number and the balance closes.
    sediment_grid g({"111", "111"}, 10.0, 4);
    ov_sed_record& s = g.sed();
    run_state& rs = *g.rs;
    s.detach_exp.assign(7, 0.5);
    s.detach_crit.assign(7, 5.0);
    for (int k = 1; k <= 6; ++k) {
        rs.cell_rain_rate[k] = 2e-5;
        s.deposited[g.at(k, 1)] = 1e-6;
    }
    rs.ov_depth[2] = 0.01;   // flat and still
    rs.ov_depth[3] = 0.02;   // drains to 6 over level ground
    rs.ov_qy[3] = 0.001;
    rs.ov_depth[6] = 0.01;
    for (int step = 0; step < 3; ++step) step_overland_sediment(rs, 10.0);
    for (int k = 1; k <= 6; ++k)
        for (int j = 1; j <= kClasses; ++j) {
            EXPECT_TRUE(std::isfinite(s.suspended[g.at(k, j)]));
            EXPECT_TRUE(std::isfinite(s.deposited[g.at(k, j)]));
            EXPECT_TRUE(std::isfinite(s.soil_change[g.at(k, j)]));
        }
    const sediment_grid::totals t = g.sum();
    const double loose = 6e-6;   // deposit present at the start, m3
    EXPECT_NEAR(t.ero[0] + loose, t.dep[0] + t.sus[0] + t.out[0], 1e-9 * (t.ero[0] + loose));
}

// A cell tied to a channel node gives the grid no soil: rain and flow take
// only a loose deposit larger than what they detach. Its neighbours erode.
TEST(SedimentStep, ChannelCellsKeepTheirSoil) {
    sediment_grid g({"111", "111", "111", "111"}, 20.0, 2);
    g.rs->outlet_cell = 11;
    g.rs->outslope = 0.05;
    g.sed().channel_cell.assign(static_cast<size_t>(g.rs->GNUM) + 1, 0);
    for (int k : {2, 5, 8, 11}) g.sed().channel_cell[static_cast<size_t>(k)] = 1;   // middle column
    for (int step = 0; step < 10; ++step) {
        set_plane_flow(g, step);
        g.rs->time = step;
        step_overland_sediment(*g.rs, 10.0);
    }
    for (int k = 1; k <= g.rs->GNUM; ++k) {
        SCOPED_TRACE(k);
        double soil = 0.0;
        for (int j = 1; j <= kClasses; ++j) soil += g.sed().soil_change[sediment_grid::at(k, j)];
        if (g.sed().channel_cell[static_cast<size_t>(k)])
            EXPECT_EQ(soil, 0.0);
        else
            EXPECT_LT(soil, 0.0);
    }
    const sediment_grid::totals t = g.sum();
    EXPECT_LE(std::fabs(t.ero[0] - (t.dep[0] + t.sus[0] + t.out[0])), 1e-9 * t.ero[0]);
}
