// End-of-event accounting: the gate, the event's mass balance from
// synthetic volumes, the surface and soil storages, the final soil moisture,
// and the calibration line and record of each event.
#include <gtest/gtest.h>

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

// An event waiting for its accounting, on `cells` cells of 10 m (100 m2).
run_state_ptr pending_event(int cells = 1) {
    run_state_ptr rs = make_run_state();
    event_test::size_cells(*rs, cells, 10.0);
    rs->finish_pending = 1;
    rs->quiet = 1;
    rs->event_index = 1;
    return rs;
}

}  // namespace

TEST(EventAccounting, RunsOncePerEvent) {
    run_state_ptr rs = pending_event();
    rs->quiet = 0;
    EXPECT_EQ(captured([&] { finish_event(*rs); }), "finished event \n");
    EXPECT_EQ(rs->finish_pending, 0);
    EXPECT_EQ(rs->events_finished, 1);
    EXPECT_EQ(captured([&] { finish_event(*rs); }), "");
    EXPECT_EQ(rs->events_finished, 1);
}

TEST(EventAccounting, MassBalanceWithoutChannelRouting) {
    struct balance_case {
        const char* name;
        double rain, surface_init, infil_depth, surface_final_depth, outflow;
        double error;
    };
    // One cell of 100 m2; volumes in m3, depths in m.
    const balance_case cases[] = {
        {"closed balance", 1000.0, 0.0, 3.0, 2.0, 500.0, 0.0},
        {"tenth of the water lost", 1000.0, 0.0, 3.0, 2.0, 400.0, 0.1},
        {"water gained", 500.0, 500.0, 4.0, 3.0, 400.0, -0.1},
        {"no inputs at all", 0.0, 0.0, 0.0, 0.0, 0.0, -1.0},
    };
    for (const balance_case& c : cases) {
        SCOPED_TRACE(c.name);
        run_state_ptr rs = pending_event();
        rs->green_ampt = 1;
        rs->cum_infil = {0.0, c.infil_depth};
        rs->ov_depth[1] = c.surface_final_depth;
        rs->event_rain_volume = c.rain;
        rs->event_surface_init = c.surface_init;
        rs->event_outflow_vol = c.outflow;
        finish_event(*rs);
        EXPECT_DOUBLE_EQ(rs->event_infil_volume, c.infil_depth * 100.0);
        EXPECT_DOUBLE_EQ(rs->vol_surface_final, c.surface_final_depth * 100.0);
        EXPECT_DOUBLE_EQ(rs->event_outflow_total, c.outflow);
        EXPECT_NEAR(rs->event_mass_error, c.error, 1e-12);
        if (c.error != -1.0) {
            EXPECT_DOUBLE_EQ(rs->event_inputs, c.rain + c.surface_init);
        }
    }
}

TEST(EventAccounting, MassBalanceWithChannelRoutingCountsChannelsAndBoundaries) {
    run_state_ptr rs = pending_event();
    rs->chan_explic = 1;
    event_test::size_network(*rs, 2, 2, 0x04, 5.0);
    rs->ltype = {0, 0x04, 0x40};            // the structure link holds no counted water
    rs->area[1][1] = rs->area[2][1] = 3.0;  // 2 nodes x 3 m2 x 5 m = 30 m3
    rs->area[1][2] = 100.0;
    rs->ov_boundary = 1;
    rs->vol_head_bc_gain = 70.0;            // 50 m3 of it in this event
    rs->event_start_vol_head_bc_gain = 20.0;
    rs->vol_slope_bc_loss = 40.0;
    rs->event_rain_volume = 900.0;
    rs->event_channel_init = 50.0;
    rs->event_outflow_vol = 870.0;          // 1000 in, 30 + 40 + 870 = 940 out
    rs->ov_depth[1] = 0.0;
    finish_event(*rs);
    EXPECT_DOUBLE_EQ(rs->vol_channel_final, 30.0);
    EXPECT_DOUBLE_EQ(rs->event_vol_head_bc_gain, 50.0);
    EXPECT_DOUBLE_EQ(rs->event_vol_slope_bc_loss, 40.0);
    EXPECT_DOUBLE_EQ(rs->event_inputs, 1000.0);
    EXPECT_DOUBLE_EQ(rs->event_outputs, 940.0);
    EXPECT_NEAR(rs->event_mass_error, 0.06, 1e-12);
}

// The storm drains hold water of the event: what they held at its start
// comes in, what they hold at its end goes out, and the groundwater their
// tile drains take in enters the event, with and without channel routing.
// 1000 m3 of rain, 40 m3 in the drains at the start, 60 m3 from the aquifer
// = 1100 m3 in; 300 infiltrated + 200 on the surface + 500 at the outlet +
// 100 left in the drains = 1100 m3 out.
TEST(EventAccounting, StormDrainWaterAndTileInflowCountInTheEventBalance) {
    for (bool channels : {false, true}) {
        SCOPED_TRACE(channels);
        run_state_ptr rs = pending_event();
        rs->green_ampt = 1;
        rs->cum_infil = {0.0, 3.0};
        rs->ov_depth[1] = 2.0;
        if (channels) {
            rs->chan_explic = 1;
            event_test::size_network(*rs, 1, 1);   // empty channel
        }
        rs->superlink = 1;
        rs->event_rain_volume = 1000.0;
        rs->event_vol_drains_init = 40.0;
        rs->event_vol_gw_to_tile = 60.0;
        rs->superlink_storage = 100.0;
        rs->event_outflow_vol = 500.0;
        finish_event(*rs);
        EXPECT_DOUBLE_EQ(rs->vol_drains_final, 100.0);
        EXPECT_DOUBLE_EQ(rs->event_inputs, 1100.0);
        EXPECT_DOUBLE_EQ(rs->event_outputs, 1100.0);
        EXPECT_NEAR(rs->event_mass_error, 0.0, 1e-15);
    }
}

TEST(EventAccounting, ChannelRunWithoutInputsReportsMinusOne) {
    run_state_ptr rs = pending_event();
    rs->chan_explic = 1;
    event_test::size_network(*rs, 1, 1);
    finish_event(*rs);
    EXPECT_EQ(rs->event_mass_error, -1.0);
}

TEST(EventAccounting, OverlandAndChannelLakesTogetherCountNoSurfaceWater) {
    run_state_ptr rs = pending_event(3);
    rs->lakes = 1;
    rs->channel_lakes = 1;
    rs->ov_depth = {0.0, 1.0, 1.0, 1.0};
    const std::string out = captured([&] { finish_event(*rs); });
    const std::string line =
        "You are simulating overland lakes and perennial lakes, not recommended presently. Contact your PLUVO "
        "developer for further advice\n\n";
    EXPECT_EQ(pluvo_test::count_of(out, line), 3);
    EXPECT_EQ(rs->vol_surface_final, 0.0);
}

TEST(EventAccounting, SurfaceWaterLeavesOutChannelLakeCellsAndTakesOverlandLakesAtTheirLevel) {
    run_state_ptr rs = pending_event(3);
    rs->channel_lakes = 1;
    rs->lake_mask = {0, 1, 0, 0};
    rs->ov_depth = {0.0, 5.0, 0.5, 0.25};
    finish_event(*rs);
    EXPECT_DOUBLE_EQ(rs->vol_surface_final, 75.0);

    run_state_ptr ov = pending_event(2);
    ov->lakes = 1;
    ov->oland_lake_new = {0, 1, 0};
    ov->overland_lakes.resize(2);
    ov->overland_lakes[1].level = 10.5;
    ov->elevation = {0.0, 10.0, 0.0};
    ov->ov_depth = {0.0, 9.0, 0.1};
    ov->vol_ovlake_final = 1e6;   // the previous event's value is not carried on
    finish_event(*ov);
    EXPECT_DOUBLE_EQ(ov->vol_ovlake_final, 50.0);
    EXPECT_DOUBLE_EQ(ov->vol_surface_final, 60.0);
}

TEST(EventAccounting, RichardsColumnsWithoutSoilWaterWriteTheNoUnsaturatedCellsLine) {
    pluvo_test::temp_dir dir;
    run_state_ptr rs = pending_event();
    rs->inf_richards = 1;
    rs->richards_soil_start = 0.0;
    const std::string path = dir.file("summary");
    ASSERT_TRUE(open_file_named(rs->summary_file, path.c_str(), "w"));
    finish_event(*rs);
    close_file_object(rs->summary_file);
    // The line comes first, before the event report.
    EXPECT_EQ(pluvo_test::read_file(path).rfind("\n No Unsaturated Cells in Grid, No infiltration \n", 0),
              0u);
    EXPECT_EQ(rs->richards_balance_error, 0.0);
}

TEST(EventAccounting, RichardsBalanceErrorComparesTheColumnWater) {
    run_state_ptr rs = pending_event();
    rs->inf_richards = 1;
    rs->richards_nodes = {0, 3};
    rs->richards_theta = {{}, {0.0, 0.3, 0.3, 0.0}};
    rs->richards_dz = {{}, {0.0, 10.0, 10.0, 10.0}};
    rs->inf_rich = {0.0, 0.02};          // m of infiltration into the column: 2 m3
    rs->gw_recharge_depth = {0.0, 1.0};  // cm draining downward: 1 m3
    rs->richards_soil_start = 5.0;       // m3; final: 0.6 cm x 10 = 6 m3
    finish_event(*rs);
    EXPECT_DOUBLE_EQ(rs->vol_soil_final, 6.0);
    EXPECT_DOUBLE_EQ(rs->richards_downward_volume, 1.0);
    EXPECT_DOUBLE_EQ(rs->vol_unsat_downward, 1.0);
    EXPECT_EQ(rs->gw_recharge_depth[1], 0.0);
    // (6 - 5 - 2 + 1 - 0) / 5 x 100
    EXPECT_DOUBLE_EQ(rs->richards_balance_error, 0.0);
}

TEST(EventAccounting, FinalSoilMoistureOfTheRedistributionScheme) {
    run_state_ptr rs = pending_event(2);
    rs->inf_redist = 1;
    rs->redist_theta = {0.0, 0.2, 0.3};
    rs->phi = {0.0, 0.4, 0.4};
    finish_event(*rs);
    EXPECT_DOUBLE_EQ(rs->avg_soil_moisture_final, (0.5 + 0.75) / 2);

    run_state_ptr none = pending_event(2);
    none->avg_soil_moisture_final = 3.0;
    finish_event(*none);
    EXPECT_EQ(none->avg_soil_moisture_final, 0.0);
}

TEST(EventAccounting, EventDifferencesOfTheCumulativeVolumes) {
    run_state_ptr rs = pending_event();
    rs->interception = 1;
    rs->vol_interception = 12.0;
    rs->event_start_vol_interception = 2.0;
    rs->chan_points_on = 1;
    rs->vol_stream_point_sources = 30.0;
    rs->event_start_vol_stream_point_sources = 10.0;
    rs->channel_lakes = 1;
    rs->vol_lake_evaporation = 4.0;
    rs->event_start_vol_lake_evaporation = 1.5;
    rs->vol_exfiltration = 9.0;
    rs->exfil_at_event_start = 6.0;
    rs->peak_flow = 3.25;
    rs->num_channel_lakes = 2;
    rs->lake_volume = {0.0, 100.0, 50.0};
    rs->lake_ov_inflow = {0.0, 5.0, 7.0};
    finish_event(*rs);
    EXPECT_DOUBLE_EQ(rs->event_vol_interception, 10.0);
    EXPECT_DOUBLE_EQ(rs->event_vol_stream_point_sources, 20.0);
    EXPECT_DOUBLE_EQ(rs->event_vol_lake_evaporation, 2.5);
    EXPECT_DOUBLE_EQ(rs->event_exfil_volume, 3.0);
    EXPECT_DOUBLE_EQ(rs->event_peak_discharge, 3.25);
    EXPECT_DOUBLE_EQ(rs->event_lake_final, 150.0);
    EXPECT_DOUBLE_EQ(rs->event_vol_ov_to_lake, 12.0);
    EXPECT_DOUBLE_EQ(rs->vol_lake_inflow, 12.0);
    EXPECT_EQ(rs->lake_ov_inflow, (std::vector<double>{0.0, 0.0, 0.0}));
}

// ---------------------------------------------------------------------------
// Calibration
// ---------------------------------------------------------------------------

namespace {

// A calibration record for `events` events and `locations` locations, sized as
// the calibration set-up sizes it.
calib_output calibration_record(int events, int locations) {
    calib_output record;
    record.stride = locations + 1;
    record.peaks.assign(record.stride * events + 2, 0.0);
    record.volumes.assign(record.stride * events + 2, 0.0);
    record.location_peak.assign(record.stride + 1, 0.0);
    record.location_volume.assign(record.stride + 1, 0.0);
    return record;
}

run_state_ptr calibration_event(calib_output& record, int event, int locations) {
    run_state_ptr rs = pending_event();
    rs->calibration_run = 1;
    rs->calib_output = &record;
    rs->event_index = event;
    rs->peak_flow = 2.0;
    rs->event_outflow_vol = 1000.0;
    rs->hyd_locations_on = locations > 0;
    rs->num_hyd_locations = locations;
    rs->hyd_point_peak.assign(locations + 1, 0.0);
    rs->hyd_point_volume.assign(locations + 1, 0.0);
    for (int m = 1; m <= locations; ++m) {
        rs->hyd_point_peak[m] = 0.5 * m;
        rs->hyd_point_volume[m] = 100.0 * m;
    }
    return rs;
}

}  // namespace

TEST(EventCalibration, EventValuesLandAtTheirSlotsOfTheRecord) {
    struct slot_case {
        int event;
        int english;
        int outlet_slot;
        double factor;
    };
    const slot_case cases[] = {{1, 0, 1, 1.0}, {2, 0, 5, 1.0}, {2, 1, 5, 35.32}};
    for (const slot_case& c : cases) {
        SCOPED_TRACE(c.event * 10 + c.english);
        calib_output record = calibration_record(3, 3);
        run_state_ptr rs = calibration_event(record, c.event, 3);
        rs->english_units = c.english;
        finish_event(*rs);
        EXPECT_DOUBLE_EQ(record.peaks[c.outlet_slot], 2.0 * c.factor);
        EXPECT_DOUBLE_EQ(record.volumes[c.outlet_slot], 1000.0 * c.factor);
        for (int m = 1; m <= 3; ++m) {
            EXPECT_DOUBLE_EQ(record.peaks[c.outlet_slot + m], 0.5 * m * c.factor);
            EXPECT_DOUBLE_EQ(record.volumes[c.outlet_slot + m], 100.0 * m * c.factor);
            EXPECT_DOUBLE_EQ(record.location_peak[m], 0.5 * m * c.factor);
        }
        int filled = 0;
        for (double v : record.peaks) filled += v != 0.0;
        EXPECT_EQ(filled, 4);   // nothing outside the event's row
    }
}

TEST(EventCalibration, EventsBeyondTheRecordAreNotWritten) {
    struct bound_case {
        int event;
        int locations;   // locations of the run; the record has room for 2
    };
    const bound_case cases[] = {{4, 2}, {0, 2}, {-3, 2}, {3, 5}};
    for (const bound_case& c : cases) {
        SCOPED_TRACE(c.event);
        calib_output record = calibration_record(3, 2);
        const std::vector<double> empty = record.peaks;
        run_state_ptr rs = calibration_event(record, c.event, c.locations);
        finish_event(*rs);
        if (c.event == 3) {
            // Event 3 fills slots 7..9; the locations the record has no column for stay out.
            EXPECT_DOUBLE_EQ(record.peaks[7], 2.0);
            EXPECT_DOUBLE_EQ(record.peaks[9], 1.0);
            EXPECT_EQ(record.peaks[10], 0.0);
            EXPECT_EQ(record.location_peak.size(), 4u);
        } else {
            EXPECT_EQ(record.peaks, empty);
        }
    }
}

TEST(EventCalibration, OptimizationLineInSiAndEnglishUnits) {
    struct line_case {
        int english;
        int sediment;
        const char* expected;
    };
    const line_case cases[] = {
        {0, 0, "2     2.000        1000.0    0.500         100.0\n"},
        {1, 0, "2    70.64       35320.0   17.66        3532.0\n"},
        {1, 1, "2  0.125000       300.500\n"},
    };
    pluvo_test::temp_dir dir;
    for (const line_case& c : cases) {
        SCOPED_TRACE(c.expected);
        calib_output record = calibration_record(2, 1);
        run_state_ptr rs = calibration_event(record, 2, 1);
        rs->english_units = c.english;
        rs->optimize_sed = c.sediment;
        rs->event_sed_peak = 0.125;
        rs->event_sed_volume = 300.5;
        const std::string path = dir.file("optim" + std::to_string(c.english) + std::to_string(c.sediment));
        ASSERT_TRUE(open_file_named(rs->optimization_file, path.c_str(), "w"));
        finish_event(*rs);
        close_file_object(rs->optimization_file);
        EXPECT_EQ(pluvo_test::read_file(path), c.expected);
        if (c.sediment) {
            EXPECT_DOUBLE_EQ(record.peaks[3], 0.125);   // unconverted
            EXPECT_DOUBLE_EQ(record.volumes[3], 300.5);
        }
    }
}
