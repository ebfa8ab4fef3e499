// The infiltration step (due test, run totals, clock, long-term wait for the
// next event), the water-table exchange and the overland point sources.
#include <gtest/gtest.h>
#include <array>
#include <omp.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "subsurface/infiltration.h"
#include "subsurface_fixture.h"

namespace {

constexpr double kDay = 86400.0;
constexpr double kStart = 2451545.0;   // a Julian day

// A Green-Ampt state whose infiltration update is due at kStart + 60 s.
run_state_ptr due_green_ampt_state(int rows, int cols) {
    run_state_ptr rs = make_grid_state(rows, cols);
    set_uniform_soil(*rs, 2e-6, 0.1, 0.45, 0.2);
    init_infiltration_arrays(*rs);
    rs->infil_last = kStart;
    rs->infil_step_days = 60.0 / kDay;
    rs->infil_next = kStart + rs->infil_step_days;
    rs->time = rs->infil_next;
    rs->rain_step_days = 60.0 / kDay;
    return rs;
}

}  // namespace

TEST(InfiltrationStep, NotDueLeavesEverythingUnchanged) {
    run_state_ptr rs = due_green_ampt_state(2, 2);
    for (int i = 1; i <= 4; ++i) rs->ov_depth[i] = 0.01 * i;
    rs->time = rs->infil_next - 30.0 / kDay;   // half a step early
    const std::vector<double> depth = rs->ov_depth;
    const double next = rs->infil_next;
    compute_infiltration(*rs);
    EXPECT_EQ(rs->ov_depth, depth);
    EXPECT_EQ(rs->cum_infil, std::vector<double>(5, 0.0));
    EXPECT_EQ(rs->vol_infiltration, 0.0);
    EXPECT_EQ(rs->infil_next, next);
}

TEST(InfiltrationStep, DueStepBooksTheVolumeAndAdvancesTheClock) {
    run_state_ptr rs = due_green_ampt_state(2, 3);
    for (int i = 1; i <= 6; ++i) rs->ov_depth[i] = i % 2 ? 0.02 : 1e-5;
    const double before = [&] {
        double s = 0.0;
        for (int i = 1; i <= 6; ++i) s += rs->ov_depth[i];
        return s;
    }();
    compute_infiltration(*rs);
    ASSERT_EQ(error_record.code, 0);
    double water = 0.0, infiltrated = 0.0;
    for (int i = 1; i <= 6; ++i) {
        water += rs->ov_depth[i];
        infiltrated += rs->cum_infil[i];
        EXPECT_GE(rs->ov_depth[i], 0.0);
        EXPECT_EQ(rs->cum_infil_prev[i], rs->cum_infil[i]);
        EXPECT_EQ(rs->infil_depth[i], rs->cum_infil[i]);
    }
    EXPECT_GT(infiltrated, 0.0);
    EXPECT_NEAR(water + infiltrated, before, 1e-15);
    EXPECT_NEAR(rs->vol_infiltration, infiltrated * 900.0, 1e-12);
    EXPECT_DOUBLE_EQ(rs->infil_last, rs->time);
    EXPECT_DOUBLE_EQ(rs->infil_next, rs->time + 60.0 / kDay);
    // The next pass is not due: a second call changes nothing.
    const double vol = rs->vol_infiltration;
    compute_infiltration(*rs);
    EXPECT_EQ(rs->vol_infiltration, vol);
}

TEST(InfiltrationStep, TotalsOfOneAndEightThreadsAreIdentical) {
    auto run = [](int threads) {
        run_state_ptr rs = due_green_ampt_state(30, 40);
        for (int i = 1; i <= rs->GNUM; ++i) {
            rs->ksat[i] = 1e-7 * (1 + i % 13);
            rs->ov_depth[i] = 1e-3 * (1 + i % 5);
        }
        const int saved = omp_get_max_threads();
        omp_set_num_threads(threads);
        for (int step = 0; step < 10; ++step) {
            compute_infiltration(*rs);
            rs->time = rs->infil_next;
        }
        omp_set_num_threads(saved);
        return rs->vol_infiltration;
    };
    const double one = run(1);
    const double eight = run(8);
    EXPECT_GT(one, 0.0);
    EXPECT_EQ(std::memcmp(&one, &eight, sizeof one), 0);
}

TEST(InfiltrationStep, LongTermRunWaitsForTheNextEventBetweenEvents) {
    run_state_ptr rs = due_green_ampt_state(1, 1);
    // The accounting between events belongs to the schemes with a soil state.
    rs->green_ampt = 0;
    rs->inf_layered_soil = 1;
    rs->long_term = 1;
    rs->event_index = 2;
    rs->event_starts[2] = kStart + 3.0;
    rs->num_events = 3;
    rs->soiltype.assign(2, 1);
    rs->theta_ml.assign(2, std::array<double, 5>{});
    rs->wetdep.assign(2, 0.0);
    compute_infiltration(*rs);
    ASSERT_EQ(error_record.code, 0);
    EXPECT_DOUBLE_EQ(rs->infil_next, kStart + 3.0 + 60.0 / kDay);
    // During an event the clock keeps its interval.
    rs->time = rs->infil_next;
    rs->event_active = 1;
    compute_infiltration(*rs);
    EXPECT_DOUBLE_EQ(rs->infil_next, rs->time + 60.0 / kDay);
}

// Water-table exchange of a marked cell (yes_exfil) with 0.002 m of water.
TEST(WaterTableExchange, LeakageTakesAtMostTheWaterOfTheCell) {
    struct leak_case {
        double seconds, expected_depth;
    };
    const leak_case cases[] = {{600.0, 0.002 - 6e-4}, {2000.0, 0.0}, {3600.0, 0.0}};
    for (const leak_case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.seconds << " s");
        run_state_ptr rs = make_grid_state(1, 1);
        rs->inf_redist = 1;
        rs->gw_simulation = 1;
        rs->exfiltration = 1;
        rs->gw_leakage_rate = 0.36;   // cm/h = 1e-6 m/s
        rs->soil_moist_depth = 40.0;
        rs->ksat[1] = 1e-6;
        rs->yes_exfil[1] = 1;
        rs->elevation[1] = 100.0;
        rs->elevgw.assign(2, 99.5);   // 0.5 m below the surface
        rs->ov_depth[1] = 0.002;
        exchange_water_table(*rs, c.seconds);
        EXPECT_NEAR(rs->ov_depth[1], c.expected_depth, 1e-15);
        EXPECT_GE(rs->ov_depth[1], 0.0);
        EXPECT_NEAR(rs->exfil_depth[1], c.expected_depth - 0.002, 1e-15);
        EXPECT_NEAR(rs->vol_exfiltration, (c.expected_depth - 0.002) * 900.0, 1e-12);
    }
}

TEST(WaterTableExchange, WaterTableBelowTheSurfaceWithoutGroundwaterModel) {
    struct method_case {
        int run_state::*method;
        bool loses;
    };
    const method_case cases[] = {{&run_state::inf_redist, false},
                                 {&run_state::inf_richards, true}};
    for (const method_case& c : cases) {
        run_state_ptr rs = make_grid_state(1, 1);
        (*rs).*(c.method) = 1;
        rs->exfiltration = 1;
        rs->soil_moist_depth = 40.0;
        rs->ksat[1] = 1e-6;
        rs->avgks.assign(2, 1.0);     // cm/h
        rs->totaldz.assign(2, 100.0); // cm
        rs->yes_exfil[1] = 1;
        rs->elevation[1] = 100.0;
        rs->elevgw.assign(2, 99.9);
        rs->ov_depth[1] = 0.05;
        exchange_water_table(*rs, 3600.0);
        if (c.loses) {
            // d = -0.15 m: M = d x 1 cm/h / 100 cm x 1 h
            EXPECT_NEAR(rs->ov_depth[1], 0.05 - 0.15 / 100.0, 1e-15);
        } else {
            EXPECT_EQ(rs->ov_depth[1], 0.05);
        }
    }
}

TEST(WaterTableExchange, OnlyMarkedCellsOutsideLakesAndWetlands) {
    run_state_ptr rs = make_grid_state(1, 4);
    rs->inf_redist = 1;
    rs->exfiltration = 1;
    rs->soil_moist_depth = 40.0;
    rs->lakes = 1;
    rs->wetlands = 1;
    rs->oland_lake_new = {0, 0, 0, 3, 0};
    rs->wetland_mask = {0, 0, 0, 0, 1};
    rs->yes_exfil = {0, 0, 1, 1, 1};
    rs->elevgw.assign(5, 100.4);   // 0.4 m above the ground
    for (int i = 1; i <= 4; ++i) {
        rs->elevation[i] = 100.0;
        rs->ksat[i] = 1e-6;
    }
    exchange_water_table(*rs, 100.0);
    EXPECT_EQ(rs->ov_depth[1], 0.0);                        // not marked
    EXPECT_NEAR(rs->ov_depth[2], 0.4 * 1e-6 / 0.4 * 100.0, 1e-15);
    EXPECT_EQ(rs->ov_depth[3], 0.0);                        // overland lake
    EXPECT_EQ(rs->ov_depth[4], 0.0);                        // wetland
}

// A point source of 0.01 m3/s over 60 s on a 30 m cell raises its depth by 0.6/900 m.
TEST(PointSources, AddTheirVolumeAndPullTheUpdatesForward) {
    run_state_ptr rs = make_grid_state(1, 2);
    rs->overland_constituents = 1;
    rs->ov_point_source = 1;
    rs->rain_step_days = 60.0 / kDay;
    rs->ov_con_infil_last = kStart;
    rs->ov_con_infil_next = kStart + 60.0 / kDay;
    rs->time = kStart + 60.0 / kDay;
    rs->rain_last = kStart;
    rs->rain_next = kStart + 5.0;
    rs->infil_last = kStart;
    rs->infil_next = kStart + 10.0;
    rs->ov_point_source_rate = {0.0, 0.01, 0.0};
    rs->ov_depth[1] = 0.001;
    apply_overland_point_sources(*rs);
    // Julian times near 2.45e6 days resolve the 60 s interval to about 1e-4 s.
    EXPECT_NEAR(rs->ov_depth[1], 0.001 + 0.6 / 900.0, 1e-9);
    EXPECT_EQ(rs->ov_depth[2], 0.0);
    EXPECT_NEAR(rs->vol_ov_point_sources, 0.6, 1e-6);
    EXPECT_DOUBLE_EQ(rs->event_vol_ov_point_sources, rs->vol_ov_point_sources);
    EXPECT_NEAR(rs->ov_depth[1] - 0.001, rs->vol_ov_point_sources / 900.0, 1e-15);
    EXPECT_DOUBLE_EQ(rs->rain_next, rs->time + 60.0 / kDay);
    EXPECT_DOUBLE_EQ(rs->infil_next, rs->time + 60.0 / kDay);
    // Not due again until its next time; then only the new interval counts.
    const double first = rs->vol_ov_point_sources;
    apply_overland_point_sources(*rs);
    EXPECT_EQ(rs->vol_ov_point_sources, first);
    rs->time += 60.0 / kDay;
    apply_overland_point_sources(*rs);
    EXPECT_NEAR(rs->vol_ov_point_sources, 1.2, 1e-6);
    EXPECT_NEAR(rs->ov_depth[1] - 0.001, rs->vol_ov_point_sources / 900.0, 1e-15);
}

TEST(PointSources, SinkTakesAtMostTheWaterOfTheCell) {
    run_state_ptr rs = make_grid_state(1, 1);
    rs->overland_constituents = 1;
    rs->ov_point_source = 1;
    rs->rain_step_days = 60.0 / kDay;
    rs->ov_con_infil_last = kStart;
    rs->ov_con_infil_next = kStart + 60.0 / kDay;
    rs->time = kStart + 60.0 / kDay;
    rs->ov_point_source_rate = {0.0, -0.01};
    rs->ov_depth[1] = 1e-4;   // 0.09 m3 on the cell, the sink asks for 0.6 m3
    apply_overland_point_sources(*rs);
    EXPECT_EQ(rs->ov_depth[1], 0.0);
    EXPECT_NEAR(rs->vol_ov_point_sources, -0.09, 1e-15);
}

TEST(PointSources, OffWithoutConstituentTransportOrCard) {
    for (int constituents = 0; constituents <= 1; ++constituents) {
        run_state_ptr rs = make_grid_state(1, 1);
        rs->overland_constituents = constituents;
        rs->ov_point_source = 1 - constituents;
        rs->ov_point_source_rate = {0.0, 0.01};
        rs->time = kStart;
        apply_overland_point_sources(*rs);
        EXPECT_EQ(rs->ov_depth[1], 0.0);
        EXPECT_EQ(rs->vol_ov_point_sources, 0.0);
    }
}

// A point-source clock that nothing set starts at the current time: the
// first pass adds no water for the time before the run.
TEST(PointSources, UnsetClockStartsAtTheCurrentTime) {
    run_state_ptr rs = make_grid_state(1, 1);
    rs->overland_constituents = 1;
    rs->ov_point_source = 1;
    rs->rain_step_days = 60.0 / kDay;
    rs->time = kStart;
    rs->ov_point_source_rate = {0.0, 0.01};
    apply_overland_point_sources(*rs);
    EXPECT_EQ(rs->ov_depth[1], 0.0);
    EXPECT_EQ(rs->vol_ov_point_sources, 0.0);
    rs->time += 60.0 / kDay;
    apply_overland_point_sources(*rs);
    EXPECT_NEAR(rs->vol_ov_point_sources, 0.6, 1e-6);
}
