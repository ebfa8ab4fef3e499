// The overland step of the time loop: due test, scheme choice, outlet flow,
// update times, depth check, the ADE sub-step estimate of its scan and snow
// roughness.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <omp.h>

#include "core/parallel.h"
#include "overland/ade_scheme.h"
#include "overland/connectivity.h"
#include "overland/explicit_scheme.h"
#include "overland/overland.h"
#include "overland_grid.h"

namespace {

constexpr double kStepDays = 60.0 / 86400.0;

// A tilted 3 x 3 watershed draining to cell 9, due now, last update 60 s ago.
// Slopes from the ground, the ADE scheme and the clock at the end of a
// step of kStepDays (the overland step is due).
void start_ade_step(run_state& rs) {
    compute_cell_slopes(rs);
    rs.overtype = kSchemeAde;
    rs.time = 2450000.5;
    rs.rain_step_days = kStepDays;
    rs.rain_last = rs.time - kStepDays;
    rs.rain_next = rs.time;
}

// One step of dt seconds through the overland step (whole) or through the
// ADE scheme alone, x sweep first, as the overland step's first call makes it.
void step_whole_or_scheme(run_state& rs, bool whole, double dt) {
    if (whole) {
        route_overland(rs);
    } else {
        ASSERT_GE(route_overland_ade(rs, dt, kSchemeAde, 1), 0.0);
    }
}

struct step_fixture {
    overland_grid g{{"111", "111", "111"}, 10.0};
    run_state& rs = *g.rs;
    step_fixture() {
        for (int r = 1; r <= 3; ++r)
            for (int c = 1; c <= 3; ++c)
                rs.elevation[static_cast<size_t>(rs.mask[r][c])] = 10.0 - 0.1 * r - 0.1 * c;
        compute_cell_slopes(rs);
        rs.time = 2450000.5;
        rs.rain_step_days = kStepDays;
        rs.rain_last = rs.time - kStepDays;
        rs.rain_next = rs.time;
        rs.chan_explic = 0;
        rs.outlet_cell = 9;
        rs.outslope = 0.01;
    }
};

// OVERTYPE 2 and 3 route by the ADE schemes: water reaches the outlet and
// is booked; only ADE leaves the step's mean discharges on the faces, so
// that they carry every cell's change of water over the step (the outlet
// cell's less what it drained).
TEST(OverlandStep, AdeSchemesRouteAndBookTheOutlet) {
    for (int scheme : {2, 3}) {
        SCOPED_TRACE(scheme);
        step_fixture f;
        f.rs.overtype = scheme;
        f.rs.ov_depth[9] = 0.1;
        f.rs.ov_depth[1] = 0.05;
        const double before = f.g.volume();
        const std::vector<double> start = f.rs.ov_depth;
        const double dt = process_elapsed_seconds(f.rs, f.rs.rain_last);   // the step, s
        route_overland(f.rs);
        EXPECT_EQ(error_record.stop, 0);
        EXPECT_GT(f.rs.outlet_flow, 0.0);
        EXPECT_GT(f.rs.ov_depth[2] + f.rs.ov_depth[4], 0.0);   // cell 1 gave water
        EXPECT_NEAR(f.rs.vol_discharge, f.rs.outlet_flow * dt, 1e-12 * f.rs.vol_discharge);
        EXPECT_NEAR(f.g.volume() + f.rs.vol_discharge, before, 1e-12 * before);
        EXPECT_EQ(f.rs.ov_sweep, 2);
        const double area = 100.0;   // m2
        for (int j = 1; j <= 9; ++j) {
            const size_t c = static_cast<size_t>(j);
            if (scheme == 2) {
                const std::vector<double>& qx = f.rs.ov_qx;
                const std::vector<double>& qy = f.rs.ov_qy;
                const double net = qx[static_cast<size_t>(f.rs.leftcon[c])] - qx[c] +
                                   qy[static_cast<size_t>(f.rs.abovecon[c])] - qy[c];   // m3/s
                const double drained = j == 9 ? f.rs.vol_discharge : 0.0;   // m3
                EXPECT_NEAR((f.rs.ov_depth[c] - start[c]) * area, net * dt - drained,
                            1e-12 * before)
                    << j;
            }
            EXPECT_GE(f.rs.ov_depth[c], 0.0) << j;
        }
        EXPECT_GT(f.rs.ov_qx[1] + f.rs.ov_qy[1], 0.0);   // cell 1's faces carried its water away
    }
}

TEST(OverlandStep, NotDueDoesNothing) {
    step_fixture f;
    f.rs.rain_next = f.rs.time + kStepDays;
    f.rs.ov_depth[5] = 0.2;
    route_overland(f.rs);
    EXPECT_EQ(f.rs.ov_depth[5], 0.2);
    EXPECT_EQ(f.rs.rain_next, f.rs.time + kStepDays);
}

TEST(OverlandStep, DryGridRoutesNothingButAdvancesTheClock) {
    step_fixture f;
    f.rs.outlet_flow = 3.0;
    const int xy_first = f.rs.ov_xy_first;
    route_overland(f.rs);
    EXPECT_EQ(error_record.stop, 0);
    EXPECT_EQ(f.rs.surface_has_water, 0);
    EXPECT_EQ(f.rs.outlet_flow, 0.0);
    EXPECT_EQ(f.rs.ov_xy_first, xy_first);   // the scheme was not called
    EXPECT_EQ(f.rs.rain_last, f.rs.time);
    EXPECT_DOUBLE_EQ(f.rs.rain_next, f.rs.time + kStepDays);
}

TEST(OverlandStep, OutletFlowAndVolumes) {
    step_fixture f;
    f.rs.ov_depth[9] = 0.1;
    f.rs.ov_depth[1] = 0.05;
    const double before = f.g.volume();
    route_overland(f.rs);
    EXPECT_EQ(f.rs.surface_has_water, 1);
    EXPECT_GT(f.rs.outlet_flow, 0.0);
    const double dt = 60.0;   // the step, s
    EXPECT_NEAR(f.rs.vol_discharge, f.rs.outlet_flow * dt, 1e-12 * f.rs.vol_discharge);
    EXPECT_EQ(f.rs.event_outflow_vol, f.rs.vol_discharge);
    EXPECT_NEAR(f.g.volume() + f.rs.vol_discharge, before, 1e-12 * before);
    EXPECT_EQ(f.rs.ov_sweep, 2);
}

TEST(OverlandStep, ChannelRoutingLeavesTheOutletToTheChannel) {
    step_fixture f;
    f.rs.chan_explic = 1;
    f.rs.ov_depth[9] = 0.1;
    const double before = f.g.volume();
    route_overland(f.rs);
    EXPECT_EQ(f.rs.outlet_flow, 0.0);
    EXPECT_EQ(f.rs.vol_discharge, 0.0);
    EXPECT_NEAR(f.g.volume(), before, 1e-12 * before);
}

TEST(OverlandStep, LongTermDrySpellJumpsToTheNextEvent) {
    step_fixture f;
    f.rs.long_term = 1;
    f.rs.event_index = 1;
    f.rs.event_starts[0] = f.rs.time - 1.0;
    f.rs.event_starts[1] = f.rs.time + 3.0;   // the next event
    f.rs.num_events = 2;
    route_overland(f.rs);
    EXPECT_EQ(f.rs.rain_next, f.rs.time + 3.0);
    EXPECT_DOUBLE_EQ(f.rs.rain_last, f.rs.time + 3.0 - kStepDays);
    EXPECT_EQ(f.rs.infil_next, f.rs.rain_next);
    EXPECT_EQ(f.rs.infil_last, f.rs.rain_last);

    // After the last event no pass is ever due: the clocks wait for ever.
    step_fixture g;
    g.rs.long_term = 1;
    g.rs.event_index = 2;
    g.rs.event_starts[0] = g.rs.time - 2.0;
    g.rs.event_starts[1] = g.rs.time - 1.0;
    g.rs.num_events = 2;
    route_overland(g.rs);
    EXPECT_EQ(g.rs.rain_next, kNeverDue);
    EXPECT_EQ(g.rs.rain_last, g.rs.time);
    g.rs.time += 1000.0;
    EXPECT_FALSE(process_due(g.rs, g.rs.rain_next));
    EXPECT_FALSE(process_due(g.rs, g.rs.infil_next));
}

TEST(OverlandStep, LongTermRunKeepsItsClockWhileWaterFlows) {
    step_fixture f;
    f.rs.long_term = 1;
    f.rs.event_index = 1;
    f.rs.event_starts[1] = f.rs.time + 3.0;
    f.rs.ov_depth[1] = 0.2;   // water on a slope: it flows
    route_overland(f.rs);
    EXPECT_EQ(f.rs.surface_has_water, 1);
    EXPECT_EQ(f.rs.surface_has_flow, 1);
    EXPECT_DOUBLE_EQ(f.rs.rain_next, f.rs.time + kStepDays);
}

TEST(OverlandStep, DepthThatIsNotANumberStopsTheRun) {
    step_fixture f;
    f.rs.ov_depth[2] = 0.1;
    f.rs.ov_depth[4] = std::numeric_limits<double>::quiet_NaN();
    f.rs.ov_depth[7] = std::numeric_limits<double>::quiet_NaN();
    testing::internal::CaptureStdout();
    route_overland(f.rs);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("A non-real overland flow water depth has been detected in cell 4 after "
                       "applying overland boundary conditions and overland pumping.\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(error_record.stop, 1);
    EXPECT_EQ(f.rs.rain_last, f.rs.time - kStepDays);
}

TEST(OverlandStep, SnowCoveredCellsUseTheSnowRoughnessEvenWhenNotDue) {
    step_fixture f;
    f.rs.rain_next = f.rs.time + kStepDays;   // not due
    f.rs.snow_roughness_on = 1;
    f.rs.snow_manning_n = 0.3;
    f.rs.dist_rough_copy.assign(10, 0.04);
    f.rs.snow_swe.assign(10, 0.0);
    f.rs.snow_swe[3] = 0.01;
    route_overland(f.rs);
    EXPECT_EQ(f.rs.dist_rough[3], 0.3);
    EXPECT_EQ(f.rs.dist_rough[4], 0.04);
    f.rs.snow_swe[3] = 0.0;   // melted
    route_overland(f.rs);
    EXPECT_EQ(f.rs.dist_rough[3], 0.04);
}

}  // namespace

// A channel-network lake in the low corner (cell 9, ground 9.4 m) beside
// dry cells 6 and 8 (ground 9.5 m): standing above their ground it gives the
// step water to move and spills onto them; standing below it leaves the dry
// grid alone.
TEST(OverlandStep, ChannelLakeAboveTheDryLandBesideItSpills) {
    struct spill_case {
        double level;   // lake level, m
        bool spills;
    };
    for (const spill_case c : {spill_case{9.6, true}, spill_case{9.45, false}}) {
        SCOPED_TRACE(c.level);
        for (int scheme : {1, 2, 3}) {
            SCOPED_TRACE(scheme);
            step_fixture f;
            run_state& rs = f.rs;
            rs.overtype = scheme;
            rs.chan_explic = 1;
            rs.channel_lakes = 1;
            rs.num_channel_lakes = 1;
            rs.lake_mask.assign(10, 0);
            rs.lake_mask[9] = 1;
            const double volume = (c.level - rs.elevation[9]) * 100.0;   // m3
            rs.lake_volume = rs.prevlake_volume = {0.0, volume};
            rs.lake_elev = {0.0, c.level};
            rs.lake_area = {0.0, 100.0};
            rs.lake_in_dv = rs.lake_out_dv = {0.0, 0.0};
            route_overland(rs);
            EXPECT_EQ(error_record.stop, 0);
            EXPECT_EQ(rs.surface_has_water, c.spills ? 1 : 0);
            EXPECT_EQ(f.g.volume() > 0.0, c.spills);
            EXPECT_NEAR(f.g.volume() + rs.lake_volume[1], volume, 1e-12 * volume);
            // The step moved the lake's exchanges into the run totals.
            EXPECT_NEAR(rs.vol_lake_outflow - rs.vol_lake_inflow, f.g.volume(), 1e-12 * volume);
        }
    }
}

// Overland lakes together with channel-network lakes stop the run at the
// first overland step, water left where it stands.
TEST(OverlandStep, OverlandAndChannelLakesTogetherStopTheRun) {
    step_fixture f;
    f.rs.lakes = 1;
    f.rs.channel_lakes = 1;
    f.rs.ov_depth[1] = 0.05;
    testing::internal::CaptureStdout();
    route_overland(f.rs);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(error_record.stop, 1);
    EXPECT_NE(out.find("Error: overland lakes and lakes of the channel network cannot be "
                       "simulated together yet.\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(f.rs.ov_depth[1], 0.05);
}

// The ADE step shortens its first sub-step by the largest ratio of a cell's
// estimated depth change, |upstream face - own face| x s / dx^2 from the
// faces the cells hold, to a quarter of its depth; cells held by the
// boundary and cells not deeper than 0.01 m do not count. The overland step
// estimates while it scans the cells; the scheme called alone estimates
// itself: both give the same sub-step. Flat ground at one depth, so the
// routing itself moves nothing and keeps the sub-step.
TEST(OverlandStep, AdeFirstSubStepFollowsTheEstimateOfTheFaces) {
    // The step as the overland step takes it from the run's clock, s.
    const double dt = [] {
        step_fixture f;
        return process_elapsed_seconds(f.rs, f.rs.rain_last);
    }();
    constexpr double kArea = 100.0;   // m2
    // Face discharge (m3/s) that changes a cell of depth h by `ratio`
    // quarters of its depth in dt.
    auto face = [dt](double ratio, double h) { return ratio * 0.25 * h * kArea / dt; };
    struct estimate_case {
        const char* name;
        double depth;          // every cell, m
        double qx5, qy5, qy2;  // faces set by hand, m3/s factors of `face` (ratio)
        bool held_5_6_8;       // cells 5, 6 and 8 held by the boundary
        double ratio;          // expected largest failure ratio, 0 none
    };
    const estimate_case cases[] = {
        {"right face of the centre", 0.05, 1.25, 0.0, 0.0, false, 1.25},
        {"bottom face of the centre", 0.05, 0.0, 1.4, 0.0, false, 1.4},
        {"the larger of both directions", 0.05, 1.2, 0.0, 1.3, false, 1.3},
        {"below a quarter: no failure", 0.05, 0.9, 0.0, 0.0, false, 0.0},
        {"held cells do not count", 0.05, 1.25, 1.4, 0.0, true, 0.0},
        {"cells of 0.01 m do not count", 0.01, 3.0, 0.0, 0.0, false, 0.0},
        {"cells just deeper count", 0.0101, 3.0, 0.0, 0.0, false, 3.0},
    };
    for (const estimate_case& c : cases) {
        double last[2] = {0.0, 0.0};
        for (int way = 0; way < 2; ++way) {
            SCOPED_TRACE(std::string(c.name) + (way == 0 ? ", overland step" : ", scheme alone"));
            step_fixture f;
            run_state& rs = f.rs;
            rs.overtype = kSchemeAde;
            for (int j = 1; j <= 9; ++j) {
                rs.elevation[static_cast<size_t>(j)] = 10.0;
                rs.ov_depth[static_cast<size_t>(j)] = c.depth;
            }
            compute_cell_slopes(rs);
            rs.chan_explic = 1;   // no outlet drain
            if (c.held_5_6_8) {
                rs.ov_boundary = 1;
                rs.boundary_type.assign(10, 0);
                rs.boundary_type[5] = rs.boundary_type[6] = rs.boundary_type[8] = 2;
            }
            // Not the first ADE step, and the last sub-step was the whole step.
            rs.ade_calls = 1;
            rs.ade_last_substep = dt;
            rs.ov_qx[5] = c.qx5 * face(1.0, c.depth);
            rs.ov_qy[5] = c.qy5 * face(1.0, c.depth);
            rs.ov_qy[2] = c.qy2 * face(1.0, c.depth);
            step_whole_or_scheme(rs, way == 0, dt);
            ASSERT_EQ(error_record.stop, 0);
            last[way] = rs.ade_last_substep;
            // A shortened sub-step is the step over the ratio; without a
            // failure the whole step stays (doubling would pass it).
            const double expected = c.ratio > 0.0 ? dt / c.ratio : dt;
            EXPECT_NEAR(rs.ade_last_substep, expected, 1e-12 * dt);
            for (int j = 1; j <= 9; ++j)
                EXPECT_EQ(rs.ov_depth[static_cast<size_t>(j)], c.depth) << j;
        }
        EXPECT_EQ(last[0], last[1]) << c.name;
    }
}

// A negative depth that the overland step's scan finds is raised to zero by
// the ADE step with its message, and the water that creates is booked.
TEST(OverlandStep, NegativeDepthFoundByTheScanIsRaisedAndBooked) {
    step_fixture f;
    run_state& rs = f.rs;
    rs.overtype = kSchemeAde;
    rs.ade_calls = 1;
    rs.ade_last_substep = 60.0;
    rs.ov_depth[2] = -0.001;
    rs.ov_depth[1] = 0.01;
    testing::internal::CaptureStdout();
    route_overland(rs);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("A negative number for water depth has been sent to overland routing for "
                       "overland cell 2 \nValue being set to zero\n"),
              std::string::npos)
        << out;
    EXPECT_NEAR(rs.vol_ov_depth_clip, 0.001 * 100.0, 1e-15);
    EXPECT_NEAR(f.g.volume() + rs.vol_discharge, 0.01 * 100.0, 1e-14);
    EXPECT_GE(f.g.min_depth(), 0.0);
}

// On a watershed with holes (blocks of cells whose upper neighbours lie at
// different distances, rows broken by gaps), steps of the overland step
// give the bits of the scheme called alone with the step-mean discharges
// the overland step leaves: the estimate its scan makes picks the same
// sub-steps, some of them shortened.
TEST(OverlandStep, ScanEstimateGivesTheSchemesBitsOnAGridWithHoles) {
    const std::vector<std::string> mask = mask_with_holes(12, 23, 0.15, 3);
    // The overland step in its plain and its vector build, the scheme alone.
    std::vector<double> depth[3];
    std::vector<double> substeps[3];
    for (int way = 0; way < 3; ++way) {
        set_plain_overland_kernel(way == 1);
        overland_grid g(mask, 10.0);
        run_state& rs = *g.rs;
        std::mt19937 rng(11);
        std::uniform_real_distribution<double> u(0.0, 1.0);
        for (int r = 1; r <= rs.rows; ++r)
            for (int c = 1; c <= rs.cols; ++c) {
                const int k = rs.mask[r][c];
                if (k == 0) continue;
                rs.elevation[static_cast<size_t>(k)] = 10.0 - 0.05 * r - 0.02 * c + 0.03 * u(rng);
                rs.ov_depth[static_cast<size_t>(k)] = u(rng) < 0.1 ? 0.3 : 0.05 * u(rng);
            }
        start_ade_step(rs);
        for (int step = 0; step < 8; ++step) {
            if (way < 2) {
                route_overland(rs);
            } else {
                // What the overland step does around the scheme on this grid
                // (the scheme leaves the step-mean discharges on the faces).
                const double dt = process_elapsed_seconds(rs, rs.rain_last);
                ASSERT_GE(route_overland_ade(rs, dt, kSchemeAde, rs.ov_sweep), 0.0);
                rs.ov_sweep = rs.ov_sweep == 1 ? 2 : 1;
                rs.rain_last = rs.time;
                rs.rain_next = rs.time + rs.rain_step_days;
            }
            ASSERT_EQ(error_record.stop, 0);
            substeps[way].push_back(rs.ade_last_substep);
            rs.time = rs.rain_next;
        }
        depth[way] = rs.ov_depth;
    }
    set_plain_overland_kernel(false);
    EXPECT_LT(*std::min_element(substeps[2].begin() + 1, substeps[2].end()), 0.99 * 60.0);
    for (int way = 0; way < 2; ++way) {
        EXPECT_EQ(substeps[way], substeps[2]) << way;
        ASSERT_EQ(depth[way].size(), depth[2].size());
        EXPECT_EQ(std::memcmp(depth[way].data(), depth[2].data(), depth[2].size() * sizeof(double)),
                  0)
            << way;
    }
}

// Water and flow only inside the grid, where the scan tests runs of cells
// together: the cells it looks at one by one (the first row and the first
// column) are dry. The step still sees the water and routes it, on one
// thread and on eight; a flag or-ed into a thread's copy of a maximum (which
// starts below 0) was lost, and the step then left the water standing.
TEST(OverlandStep, AdeScanSeesWaterThatOnlyRunsOfCellsHold) {
    const parallel_thresholds saved = parallel_cells();
    const int saved_threads = omp_get_max_threads();
    set_parallel_cells({1, 1});
    for (int threads : {1, 8}) {
        SCOPED_TRACE(threads);
        omp_set_num_threads(threads);
        overland_grid g(std::vector<std::string>(6, std::string(90, '1')), 10.0);
        run_state& rs = *g.rs;
        for (int r = 1; r <= rs.rows; ++r)
            for (int c = 1; c <= rs.cols; ++c) {
                const size_t k = static_cast<size_t>(rs.mask[r][c]);
                rs.elevation[k] = 10.0 - 0.01 * r - 0.02 * c;
                // Shallow water (no cell deep enough to count in the
                // estimate) away from the first row and column.
                rs.ov_depth[k] = (r == 1 || c == 1) ? 0.0 : 0.004;
            }
        start_ade_step(rs);
        const double dt = kStepDays * 86400.0;
        rs.ade_calls = 1;   // a later step: the scan makes the estimate
        rs.ade_last_substep = dt;
        const std::vector<double> start = rs.ov_depth;
        route_overland(rs);
        ASSERT_EQ(error_record.stop, 0);
        EXPECT_EQ(rs.surface_has_water, 1);
        EXPECT_NE(rs.ov_depth, start);   // the water moved
        EXPECT_EQ(rs.ade_calls, 2);
    }
    set_parallel_cells(saved);
    omp_set_num_threads(saved_threads);
}

// A gap in a row puts the upper neighbours of one block of cells at two
// distances (5 cells back in the first rows, 4 below the gap's row start):
// the estimate of cell 10 still reads the bottom face of cell 6 above it.
// Every water level the same (the shallow cells stand higher), so nothing
// flows; only cell 10 is deep enough to count, so its upper face alone sets
// the ratio.
TEST(OverlandStep, AdeEstimateReadsTheUpperFaceAcrossAGapInTheRow) {
    const double dt = [] {
        step_fixture f;
        return process_elapsed_seconds(f.rs, f.rs.rain_last);
    }();
    const double ratio = 1.3;
    double last[2] = {0.0, 0.0};
    for (int way = 0; way < 2; ++way) {
        SCOPED_TRACE(way == 0 ? "overland step" : "scheme alone");
        // Cells 1-5 / 6, 7, gap, 8, 9 / 10-14: above 6 is 1, above 10 is 6.
        overland_grid g({"11111", "11011", "11111"}, 10.0);
        run_state& rs = *g.rs;
        ASSERT_EQ(rs.abovecon[6], 1);
        ASSERT_EQ(rs.abovecon[10], 6);
        for (int j = 1; j <= rs.GNUM; ++j) {
            const size_t c = static_cast<size_t>(j);
            rs.ov_depth[c] = j == 10 ? 0.05 : 0.005;
            rs.elevation[c] = 10.05 - rs.ov_depth[c];
        }
        start_ade_step(rs);
        rs.ade_calls = 1;
        rs.ade_last_substep = dt;
        rs.ov_qy[6] = ratio * 0.25 * 0.05 * 100.0 / dt;   // m3/s into cell 10
        step_whole_or_scheme(rs, way == 0, dt);
        ASSERT_EQ(error_record.stop, 0);
        last[way] = rs.ade_last_substep;
        EXPECT_NEAR(rs.ade_last_substep, dt / ratio, 1e-9 * dt);
    }
    EXPECT_EQ(last[0], last[1]);
}
