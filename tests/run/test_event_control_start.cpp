// Event start: the gate, the process clocks, the surface storage, the end
// time of a single-event run, the soil moisture of the Green-Ampt schemes,
// the calibration points, wetlands and the channels at an event start.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "calibration/calibration.h"
#include "run/event_control.h"
#include "core/file_object.h"
#include "run/run_state.h"
#include "event_test_support.h"
#include "pluvo_test.h"

using event_test::captured;
using event_test::make_run_state;
using event_test::run_state_ptr;

namespace {

constexpr double kStart = 2451700.5;        // Julian days
constexpr double kRainStep = 60.0 / 86400;  // days

// A run state whose clock stands at the start of an event.
run_state_ptr event_start_state() {
    run_state_ptr rs = make_run_state();
    rs->time = kStart;
    rs->event_begin_time = kStart;
    rs->julian_start = kStart;
    rs->rain_step_seconds = 60.0;
    rs->rain_step_days = kRainStep;
    rs->infil_next = kStart + 1.0;
    rs->clock_passes = 1;
    rs->quiet = 1;
    rs->long_term = 1;
    return rs;
}

}  // namespace

// The event starts in the first pass at or after its begin (within the
// tolerance before it), once: a begin that falls between two passes starts
// the rain clock at the begin itself, so the first rain step takes the rain
// since then.
TEST(EventStart, ActsOnceInTheFirstPassAtOrAfterTheEventBegin) {
    struct gate_case {
        double offset;   // days from the event begin
        bool acts;
    };
    const double tol = 1.1574074074074074e-7;
    const gate_case cases[] = {{0.0, true},        {0.5 * tol, true}, {-0.5 * tol, true},
                               {2.0 * tol, true},  {3.0 * kRainStep / 7.0, true},
                               {-2.0 * tol, false}, {-1e-3, false}};
    for (const gate_case& c : cases) {
        SCOPED_TRACE(c.offset);
        run_state_ptr rs = event_start_state();
        rs->time = kStart + c.offset;
        rs->peak_flow = 7.0;
        rs->rain_next = 1.0;
        start_event(*rs);
        EXPECT_EQ(rs->peak_flow == 0.0, c.acts);
        const double from = std::min(rs->time, kStart);
        EXPECT_EQ(rs->rain_last == from && rs->rain_next == from + kRainStep, c.acts);
        // The next pass after the begin starts an event that had not
        // started yet; no later pass starts it again.
        rs->peak_flow = 7.0;
        rs->time = std::max(rs->time, kStart) + kRainStep;
        start_event(*rs);
        EXPECT_EQ(rs->peak_flow == 0.0, !c.acts);
        rs->peak_flow = 7.0;
        rs->time += kRainStep;
        start_event(*rs);
        EXPECT_EQ(rs->peak_flow, 7.0);
    }
}

TEST(EventStart, InfiltrationClockNeverMovesLater) {
    struct infil_case {
        double old_next;
        double expected;
    };
    const infil_case cases[] = {
        {kStart + 1.0, kStart + 2.0 * kRainStep},   // later than two rain steps: pulled in
        {kStart + kRainStep, kStart + kRainStep},   // earlier: kept
    };
    for (const infil_case& c : cases) {
        run_state_ptr rs = event_start_state();
        rs->infil_next = c.old_next;
        start_event(*rs);
        EXPECT_DOUBLE_EQ(rs->infil_next, c.expected);
        EXPECT_DOUBLE_EQ(rs->rain_last, kStart);
        EXPECT_DOUBLE_EQ(rs->infil_step_days, kRainStep);
    }
}

TEST(EventStart, SurfaceHoldingAtMostAMillilitreCountsAsDry) {
    struct surface_case {
        double depth;   // m on the single cell of 1 m2
        int dry;
    };
    const surface_case cases[] = {{1e-6, 1}, {3e-6, 0}, {0.0, 1}};
    for (const surface_case& c : cases) {
        run_state_ptr rs = event_start_state();
        event_test::size_cells(*rs, 1, 1.0);
        rs->cards.init_elev_head_given = 1;
        rs->ov_depth[1] = c.depth;
        start_event(*rs);
        EXPECT_DOUBLE_EQ(rs->event_surface_init, c.depth);
        EXPECT_EQ(rs->dry_start, c.dry);
        EXPECT_DOUBLE_EQ(rs->event_surface_init_copy, c.dry ? 0.0 : c.depth);
    }
}

TEST(EventStart, SurfaceStorageTakesOverlandLakesAtTheirLevel) {
    run_state_ptr rs = event_start_state();
    event_test::size_cells(*rs, 2, 10.0);
    rs->lakes = 1;
    rs->oland_lake_new = {0, 1, 0};
    rs->overland_lakes.resize(2);
    rs->overland_lakes[1].level = 101.5;
    rs->elevation = {0.0, 100.0, 0.0};
    rs->ov_depth = {0.0, 9.0, 0.25};   // the lake cell's depth is not used
    start_event(*rs);
    EXPECT_DOUBLE_EQ(rs->event_surface_init, 1.5 * 100.0 + 0.25 * 100.0);
}

TEST(EventStart, SingleEventRunEndsTheTotalTimeAfterTheStart) {
    run_state_ptr rs = event_start_state();
    rs->long_term = 0;
    rs->quiet = 0;
    rs->tot_time = 1440;
    const std::string out = captured([&] { start_event(*rs); });
    EXPECT_DOUBLE_EQ(rs->end_time, kStart + 1.0);
    EXPECT_NE(out.find("Initialized Arrays\nsimulation duration 1440 minutes\n"), std::string::npos) << out;
}

TEST(EventStart, ResetsTheEventAccumulators) {
    run_state_ptr rs = event_start_state();
    rs->clock_passes = 5;
    rs->event_steps = 40;
    rs->event_rain_volume = 3.0;
    rs->event_outflow_vol = 4.0;
    rs->event_peak_discharge = 5.0;
    rs->vol_exfiltration = 12.0;
    rs->vol_interception = 8.0;
    rs->rain_steps = 9;
    rs->rain_begin_minutes = 30.0;
    start_event(*rs);
    EXPECT_EQ(rs->event_steps, 1);
    EXPECT_EQ(rs->infil_steps, 1);
    EXPECT_EQ(rs->event_rain_volume, 0.0);
    EXPECT_EQ(rs->event_outflow_vol, 0.0);
    EXPECT_EQ(rs->event_peak_discharge, 0.0);
    EXPECT_DOUBLE_EQ(rs->exfil_at_event_start, 12.0);
    EXPECT_DOUBLE_EQ(rs->event_start_vol_interception, 8.0);
    EXPECT_EQ(rs->rain_steps, 0);
    EXPECT_EQ(rs->rain_begin_minutes, 0.0);
    EXPECT_EQ(rs->rain_first_step, 1);
    EXPECT_EQ(rs->dry_start, 1);

    run_state_ptr first = event_start_state();   // the first pass keeps its step count
    first->event_steps = 0;
    start_event(*first);
    EXPECT_EQ(first->event_steps, 0);
}

namespace {

// A long-term redistribution run with one cell whose soil column holds
// `upper` cm of water over a front of `front` cm.
run_state_ptr redistribution_state(double front, double upper) {
    run_state_ptr rs = event_start_state();
    event_test::size_cells(*rs, 1, 10.0);
    rs->inf_redist = 1;
    rs->top_layer_depth = 40.0;
    for (std::vector<double>* v : {&rs->thi, &rs->thr, &rs->phi, &rs->redist_theta, &rs->redist_theta_prev,
                                   &rs->cum_infil, &rs->cum_infil_prev, &rs->redist_water, &rs->unsat_depth,
                                   &rs->root_zone_upper, &rs->bottom_flux, &rs->direct_evaporation}) {
        v->assign(2, 0.0);
    }
    for (std::vector<int>* v : {&rs->iter_pond_1, &rs->iter_n, &rs->no_wat_prof, &rs->iter_i_less_k}) {
        v->assign(2, 7);
    }
    rs->thr[1] = 0.05;
    rs->phi[1] = 0.45;
    rs->unsat_depth[1] = front;
    rs->root_zone_upper[1] = upper;
    rs->cum_infil[1] = 0.3;
    return rs;
}

}  // namespace

TEST(EventStart, RedistributionWaterContentIsClampedIntoItsLimits) {
    struct clamp_case {
        const char* name;
        double front, upper;   // cm
        double thi;            // m3/m3 after the start
        const char* message;   // printed lines ("" none)
    };
    const clamp_case cases[] = {
        {"inside the limits", 20.0, 4.0, 0.2, ""},
        {"on the residual limit", 20.0, 1.0, 0.05, ""},
        {"on porosity", 80.0, 18.0, 0.45, ""},     // 18 cm over the 40 cm top layer
        {"no front: porosity", 0.0, 3.0, 0.45, ""},
        {"below residual", 20.0, 0.8,
         0.06,
         "cell: 1  thi: 0.040000  thr: 0.050000   phi: 0.450000\n"
         "Problem initializing inf_redist in main loop, thi<thr at grid cell 1, increasing it to 0.060000\n"},
        {"above porosity", 20.0, 10.0,
         0.44,
         "cell: 1  thi: 0.500000  thr: 0.050000   phi: 0.450000\n"
         "Problem initializing inf_redist in main loop, thi>phi at grid cell 1, decreasing it to 0.440000\n"},
    };
    for (const clamp_case& c : cases) {
        SCOPED_TRACE(c.name);
        run_state_ptr rs = redistribution_state(c.front, c.upper);
        const std::string out = captured([&] { start_event(*rs); });
        EXPECT_EQ(out, c.message);
        EXPECT_NEAR(rs->thi[1], c.thi, 1e-12);
        EXPECT_DOUBLE_EQ(rs->redist_theta[1], rs->thi[1]);
        EXPECT_DOUBLE_EQ(rs->redist_theta_prev[1], rs->thi[1]);
        EXPECT_NEAR(rs->avg_soil_moisture, rs->thi[1] / 0.45, 1e-12);
        EXPECT_EQ(rs->cum_infil[1], 0.0);
        EXPECT_EQ(rs->iter_n[1], 0);
        EXPECT_EQ(rs->inf_redist_ready, 1);
    }
}

TEST(EventStart, RedistributionBooksTheSoilFluxesOfTheDryPeriod) {
    run_state_ptr rs = redistribution_state(20.0, 4.0);
    rs->bottom_flux[1] = 2.0;          // cm
    rs->direct_evaporation[1] = 0.5;   // cm
    start_event(*rs);
    EXPECT_DOUBLE_EQ(rs->vol_unsat_downward, 2.0);        // 0.02 m over 100 m2
    EXPECT_DOUBLE_EQ(rs->vol_direct_evaporation, 0.5);
    EXPECT_EQ(rs->bottom_flux[1], 0.0);
    EXPECT_EQ(rs->direct_evaporation[1], 0.0);
}

TEST(EventStart, LayeredSoilWaterContentsFollowTheWettingFront) {
    struct layer_case {
        const char* name;
        double front, upper, lower;   // cm
        double theta[3];
    };
    // Layers 1 and 2 of 10 cm and 20 cm; porosities 0.4, 0.35, 0.3; residuals 0.05.
    const layer_case cases[] = {
        {"no front", 0.0, 1.0, 1.0, {0.4, 0.35, 0.3}},
        {"front in layer 1", 5.0, 1.0, 9.0, {0.2, 0.35, 0.3}},
        {"front at the layer boundary", 10.0, 2.0, 9.0, {0.2, 0.35, 0.3}},
        {"front in layer 2", 20.0, 2.5, 2.0, {0.25, 0.2, 0.3}},
        {"front below layer 2", 50.0, 3.0, 5.0, {0.3, 0.25, 0.25}},
        {"clamped to residual", 50.0, 0.1, 0.2, {0.05, 0.05, 0.05}},
    };
    for (const layer_case& c : cases) {
        SCOPED_TRACE(c.name);
        run_state_ptr rs = event_start_state();
        event_test::size_cells(*rs, 1, 1.0);
        rs->inf_layered_soil = 1;
        rs->soiltype = {0, 3};
        soil_layer_record& soil = rs->soil_table[3];
        soil.thickness[0] = 10.0;
        soil.thickness[1] = 20.0;
        soil.porosity[0] = 0.4;
        soil.porosity[1] = 0.35;
        soil.porosity[2] = 0.3;
        for (double& r : soil.residual) r = 0.05;
        rs->unsat_depth = {0.0, c.front};
        rs->root_zone_upper = {0.0, c.upper};
        rs->root_zone_lower = {0.0, c.lower};
        rs->theta_ml.assign(2, {});
        rs->cum_infil.assign(2, 0.0);
        rs->cum_infil_prev.assign(2, 0.0);
        start_event(*rs);
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(rs->theta_ml[1][k + 1], c.theta[k], 1e-12) << k;
        EXPECT_NEAR(rs->avg_soil_moisture, c.theta[0] / 0.4, 1e-12);
    }
}

TEST(EventStart, SoilTypeOutsideTheSoilTableIsSkipped) {
    run_state_ptr rs = event_start_state();
    event_test::size_cells(*rs, 2, 1.0);
    rs->inf_layered_soil = 1;
    rs->soiltype = {0, -4, subsurface_state::kSoilTableSize};
    rs->unsat_depth = {0.0, 5.0, 5.0};
    rs->root_zone_upper = {0.0, 1.0, 1.0};
    rs->root_zone_lower = {0.0, 1.0, 1.0};
    rs->theta_ml.assign(3, {});
    start_event(*rs);
    EXPECT_EQ(rs->theta_ml[1][1], 0.0);
    EXPECT_EQ(rs->theta_ml[2][1], 0.0);
    double theta[3];
    EXPECT_FALSE(layered_water_contents(*rs, 1, theta));
}

TEST(EventStart, RichardsDryingRunsFromTheSecondEventOnAndWritesTheSummaryLine) {
    pluvo_test::temp_dir dir;
    for (int passes : {1, 50}) {
        run_state_ptr rs = event_start_state();
        rs->inf_richards = 1;
        rs->clock_passes = passes;
        const std::string path = dir.file("summary" + std::to_string(passes));
        ASSERT_TRUE(open_file_named(rs->summary_file, path.c_str(), "w"));
        start_event(*rs);
        close_file_object(rs->summary_file);
        const std::string text = pluvo_test::read_file(path);
        EXPECT_EQ(text.find("Total evaporation at beginning of event") != std::string::npos, passes != 1);
    }
}

TEST(EventStart, RichardsColumnsGiveTheSoilWaterAndTheTopSaturation) {
    run_state_ptr rs = event_start_state();
    event_test::size_cells(*rs, 1, 10.0);
    rs->inf_richards = 1;
    rs->richards_sampling_depth = 40.0;
    rs->richards_nodes = {0, 4};
    // Nodes 1..4: contents, saturated contents and thicknesses (cm).
    rs->richards_theta = {{}, {0.0, 0.2, 0.3, 0.4, 0.1}};
    rs->richards_theta_s = {{}, {0.0, 0.4, 0.4, 0.4, 0.4}};
    rs->richards_dz = {{}, {0.0, 10.0, 20.0, 20.0, 30.0}};
    rs->dtr = {0.0, 5.0};
    rs->infil_step_seconds = 0.0;
    start_event(*rs);
    // Nodes 1..3 hold 2 + 6 + 8 cm of water over 100 m2.
    EXPECT_DOUBLE_EQ(rs->richards_soil_start, 16.0);
    EXPECT_EQ(rs->richards_node_count, 3);
    // K = 1: 5 / 20 (not yet 40 cm); K = 2: (5 + 15) / 40 reaches the sampling depth.
    EXPECT_DOUBLE_EQ(richards_top_saturation(*rs, 1), 0.5);
    EXPECT_DOUBLE_EQ(rs->avg_soil_moisture, 0.5);
    EXPECT_DOUBLE_EQ(rs->dtr[1], 60.0 / 3600.0);   // capped at the infiltration step
}

TEST(EventStart, CalibrationLocationsAreResetWithinTheRecord) {
    run_state_ptr rs = event_start_state();
    calib_output record;
    record.location_peak.assign(3, 1.0);   // room for locations 1 and 2 only
    record.location_volume.assign(3, 1.0);
    rs->calibration_run = 1;
    rs->calib_output = &record;
    rs->hyd_locations_on = 1;
    rs->num_hyd_locations = 4;
    rs->hyd_point_peak = {9.0, 9.0, 9.0, 9.0, 9.0};
    rs->hyd_point_volume = {9.0, 9.0, 9.0, 9.0, 9.0};
    start_event(*rs);
    EXPECT_EQ(record.location_peak, (std::vector<double>{1.0, -999.99, -999.99}));
    EXPECT_EQ(record.location_volume, (std::vector<double>{1.0, -999.99, -999.99}));
    EXPECT_EQ(rs->hyd_point_peak, (std::vector<double>{9.0, 0.0, 0.0, 0.0, 0.0}));
}

TEST(EventStart, WetlandWaterRestartsEveryEventButItsGroundSinksOnce) {
    run_state_ptr rs = event_start_state();
    event_test::size_cells(*rs, 2, 1.0);
    rs->wetlands = 1;
    rs->wetland_mask = {0, 1, 0};
    rs->wetland_records.resize(2);
    rs->wetland_records[1].initial_depth = 0.3;
    rs->wetland_records[1].bed_lowering = 0.5;
    rs->elevation = {0.0, 10.0, 12.0};
    for (int event = 0; event < 3; ++event) {
        rs->ov_depth = {0.0, 0.05, 0.2};
        rs->time = rs->event_begin_time = kStart + event;
        start_event(*rs);
        EXPECT_DOUBLE_EQ(rs->ov_depth[1], 0.3);
        EXPECT_DOUBLE_EQ(rs->ov_depth[2], 0.0);     // other cells start dry
        EXPECT_DOUBLE_EQ(rs->elevation[1], 9.5);    // lowered at the first event only
        EXPECT_DOUBLE_EQ(rs->elevation[2], 12.0);
    }
}

TEST(EventStart, ChannelsStartEmptyAndTheirOrdinaryLinksGiveTheInitialVolume) {
    run_state_ptr rs = event_start_state();
    rs->long_term = 0;
    rs->chan_explic = 1;
    event_test::size_network(*rs, 4, 2, 0x04, 10.0);
    rs->ltype = {0, 0x04, 0x20, 0x40, 0x84};   // channel, lake, structure, overtaken channel
    for (int l = 1; l <= 4; ++l) {
        for (int k = 1; k <= 2; ++k) {
            rs->bel[k][l] = 100.0 + l;
            rs->yp[k][l] = 105.0;
            rs->qp[k][l] = 3.0;
            rs->qlat[k][l] = 1.0;
            rs->area[k][l] = 2.0;
        }
    }
    rs->head_bound = 1;
    rs->bound_depth = 0.7;
    start_event(*rs);
    EXPECT_EQ(rs->qp[1][1], 0.0);
    EXPECT_EQ(rs->qlat[2][3], 0.0);
    EXPECT_DOUBLE_EQ(rs->yp[1][2], 102.0);
    EXPECT_DOUBLE_EQ(rs->yp[2][4], 104.7);   // the outlet node takes the head boundary
    EXPECT_DOUBLE_EQ(rs->chan_node_depth[2][4], 0.7);
    EXPECT_DOUBLE_EQ(rs->event_channel_init, 2 * 2.0 * 10.0);   // only link 1 is ordinary
    EXPECT_DOUBLE_EQ(rs->chan_next, rs->rain_next);
    EXPECT_DOUBLE_EQ(rs->chan_last, rs->rain_last);
}

TEST(EventStart, ChannelHotstartAndContinuousRunsKeepTheChannelWater) {
    struct keep_case {
        int hotstart, groundwater, passes;
        bool emptied;
    };
    const keep_case cases[] = {{1, 0, 1, false}, {0, 1, 5, false}, {0, 1, 1, true}, {0, 0, 5, true}};
    for (const keep_case& c : cases) {
        run_state_ptr rs = event_start_state();
        rs->chan_explic = 1;
        rs->chan_hotstart_read = c.hotstart;
        rs->groundwater = c.groundwater;
        rs->clock_passes = c.passes;
        event_test::size_network(*rs, 1, 1);
        rs->qp[1][1] = 3.0;
        start_event(*rs);
        EXPECT_EQ(rs->qp[1][1] == 0.0, c.emptied);
    }
}

TEST(EventStart, NotANumberAreaIsReported) {
    run_state_ptr rs = event_start_state();
    rs->chan_explic = 1;
    event_test::size_network(*rs, 1, 1, 0x08);
    rs->area[1][1] = std::numeric_limits<double>::quiet_NaN();
    const std::string out = captured([&] { start_event(*rs); });
    EXPECT_NE(out.find("Negative Area Computed At Startup for [Node][Link]: [1][1] ltype: 8\n"), std::string::npos);
}

TEST(EventStart, SnowWaterLeavesOutTheChannelLakeCells) {
    run_state_ptr rs = event_start_state();
    event_test::size_cells(*rs, 3, 10.0);
    rs->snow = 1;
    rs->snow_swe = {0.0, 0.1, 0.2, 0.4};
    rs->channel_lakes = 1;
    rs->lake_mask = {0, 0, 2, 0};
    rs->event_snow_final = 5.0;
    start_event(*rs);
    EXPECT_DOUBLE_EQ(rs->event_snow_init, (0.1 + 0.4) * 100.0);
    EXPECT_EQ(rs->event_snow_final, 0.0);
}
