// The rainfall and rain application steps pass by pass: gage, radar and
// uniform events from their start to the end of their rain, the rain volume
// sums, the refusal of negative rain, channel-lake cells, and identical
// results with one or eight threads.
#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "core/dates.h"
#include "core/parallel.h"
#include "hydromet/precip.h"
#include "hydromet/precip_file.h"
#include "hydromet/rain_cells.h"
#include "pluvo_test.h"
#include "rain_test_support.h"

using namespace rain_test;
using pluvo_test::temp_dir;
using pluvo_test::write_file;

namespace {

// What the rain step prints when cell 1 gets a negative rate.
constexpr const char* kNegativeRainAtCell1 =
    "A negative rainfall has been detected for overland cell 1, check your rainfall input for "
    "negative values\n";

// Opens a precipitation file in a single-event run and counts its events;
// the clock starts at the first event with time step dt seconds.
void start_file_run(run_state& rs, const temp_dir& dir, const std::string& text, double dt) {
    const std::string path = dir.file("rain.gag");
    write_file(path, text);
    std::snprintf(rs.files.precip_file, sizeof(rs.files.precip_file), "%s", path.c_str());
    ASSERT_TRUE(open_file_named(rs.precip_data_file, path.c_str(), "r"));
    rs.gage_rain = 1;
    rs.quiet_card = 1;
    rs.quiet = 1;
    testing::internal::CaptureStdout();
    init_precip_input(rs);
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(error_record.code, 0);
    rs.dt = dt;
    rs.dt_days = dt / 86400.0;
    rs.julian_start = rs.event_starts[0];
    rs.rain_state = 0;
    rs.event_index = 0;
}

// One pass of the precipitation steps at step `step`; the rain clock is due
// in every pass (the overland step moves it on in a run).
void pass(run_state& rs, int step) {
    rs.step = step;
    rs.time = rs.julian_start + step * rs.dt_days;
    rs.elapsed_minutes = step * rs.dt / 60.0;
    rs.rain_step_seconds = rs.dt;
    rs.rain_next = rs.time;
    rs.rain_last = rs.time - rs.dt_days;
    // The run driver goes no further once a step has raised an error.
    read_precip_event(rs);
    if (error_record.code != 0) return;
    distribute_rainfall(rs);
    if (error_record.code != 0) return;
    apply_rainfall(rs);
}

// A row of `cells` cells of 10 m under uniform rain of `intensity` mm/h for
// 30 periods of dt seconds, from 1 August 2002 06:00.
run_state_ptr uniform_rain_row(int cells, double intensity, double dt) {
    run_state_ptr rs = make_row(cells, 10.0);
    rs->uniform_rain = 1;
    rs->uniform_intensity = intensity;   // mm/h
    rs->rain_state = 1;
    rs->uniform_steps = 1;
    rs->num_periods = 30;
    rs->uniform_rain_duration = static_cast<int>(30 * dt / 60.0);   // min
    rs->dt = dt;
    rs->dt_days = dt / 86400.0;
    rs->julian_start = julian_day(2002, 8, 1, 6, 0, 0.0);
    return rs;
}

}  // namespace

TEST(RainSteps, GageEventRainsItsWholeDepthUntilTheLastLine) {
    // Two lines one hour apart with 10 mm: all 10 mm reach every cell, the
    // last period included, and the rain ends at the last line's time.
    run_state_ptr rs = make_row(3, 10.0);
    rs->gage_idw = 1;
    temp_dir dir;
    start_file_run(*rs, dir,
                   "EVENT one hour\nNRGAG 1\nNRPDS 2\nCOORD 0 0\n"
                   "GAGES 2002 8 1 6 0 0\nGAGES 2002 8 1 7 0 10\n",
                   60.0);
    for (int step = 0; step < 60; ++step) {
        pass(*rs, step);
        ASSERT_EQ(error_record.code, 0);
        EXPECT_EQ(rs->rain_state, 1) << step;
    }
    pass(*rs, 60);
    EXPECT_EQ(rs->rain_state, 0);
    EXPECT_EQ(rs->rain_on, 0);
    for (int step = 61; step < 70; ++step) pass(*rs, step);
    for (int k = 1; k <= 3; ++k) {
        EXPECT_NEAR(rs->ov_depth[static_cast<size_t>(k)], 0.010, 1e-15) << k;
        EXPECT_EQ(rs->cell_rain_rate[static_cast<size_t>(k)], 0.0);
    }
    EXPECT_NEAR(rs->vol_precip, 3 * 0.010 * 100.0, 1e-12);
    EXPECT_NEAR(rs->event_rain_volume, rs->vol_precip, 1e-15);
    EXPECT_EQ(rs->rain_steps, 60);
}

TEST(RainSteps, RadarFileEventTakesTheNextLinesGrid) {
    temp_dir dir;
    const char* header =
        "ncols 2\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 10\nNODATA_value -9999\n";
    write_file(dir.file("a.asc"), std::string(header) + "99 99\n");
    write_file(dir.file("b.asc"), std::string(header) + "6 12\n");
    write_file(dir.file("c.asc"), std::string(header) + "3 -9999\n");
    run_state_ptr rs = make_row(2, 10.0);
    rs->cards.radar_mm = 1;
    start_file_run(*rs, dir,
                   "EVENT radar\nNRGAG files\nNRPDS 3\n"
                   "RADAR 2002 8 1 6 0 " + dir.file("a.asc") + "\n"
                   "RADAR 2002 8 1 6 10 " + dir.file("b.asc") + "\n"
                   "RADAR 2002 8 1 6 20 " + dir.file("c.asc") + "\n",
                   600.0);
    testing::internal::CaptureStdout();
    for (int step = 0; step <= 4; ++step) pass(*rs, step);
    const std::string out = testing::internal::GetCapturedStdout();
    ASSERT_EQ(error_record.code, 0) << out;
    EXPECT_NE(out.find("Reading radar precip file " + dir.file("b.asc") + ".\n"),
              std::string::npos);
    EXPECT_EQ(rs->rain_state, 0);
    // 600 s at b's rates, then 600 s at c's: mm/h x 600 s.
    EXPECT_NEAR(rs->ov_depth[1], (6.0 + 3.0) / kMmPerHourPerMps * 600.0, 1e-15);
    EXPECT_NEAR(rs->ov_depth[2], (12.0 + 0.0) / kMmPerHourPerMps * 600.0, 1e-15);
}

TEST(RainSteps, EventOfOneLineEndsAtOnce) {
    run_state_ptr rs = make_row(1, 10.0);
    temp_dir dir;
    start_file_run(*rs, dir, "EVENT dot\nNRGAG 1\nNRPDS 1\nCOORD 0 0\nGAGES 2002 8 1 6 0 4\n",
                   60.0);
    pass(*rs, 0);
    EXPECT_EQ(rs->rain_state, 0);
    EXPECT_EQ(rs->rain_on, 0);
    EXPECT_EQ(rs->ov_depth[1], 0.0);
}

TEST(RainSteps, StepAcrossALineTakesTheShareOfEachPeriod) {
    // Lines at 0, 3 and 10 minutes with 120 s steps: the 3-minute line falls
    // inside the step from 120 s to 240 s, which takes 60 s of each period;
    // the step before the first line has no rain, and the rain ends with the
    // step that reaches the last line.
    run_state_ptr rs = make_row(1, 10.0);
    temp_dir dir;
    start_file_run(*rs, dir,
                   "EVENT odd\nNRGAG 1\nNRPDS 3\nCOORD 0 0\nRATES 2002 8 1 6 0 36\n"
                   "RATES 2002 8 1 6 3 72\nRATES 2002 8 1 6 10 0\n",
                   120.0);
    const double rates[6] = {0, 36, 54, 72, 72, 72};   // mm/h, mean of each step
    for (int step = 0; step < 6; ++step) {
        pass(*rs, step);
        ASSERT_EQ(error_record.code, 0);
        if (step < 5) {
            EXPECT_NEAR(rs->cell_rain_rate[1], mmh(rates[step]), 1e-18) << step;
        }
        EXPECT_EQ(rs->rain_state, step < 5 ? 1 : 0) << step;
    }
    // The recorded rain: 3 minutes at 36 mm/h and 7 minutes at 72 mm/h.
    EXPECT_NEAR(rs->ov_depth[1], (180.0 * 36.0 + 420.0 * 72.0) / kMmPerHourPerMps, 1e-15);
    EXPECT_EQ(rs->rain_steps, 5);
}

// Uniform rain falls from the run's start for its duration: thirty 60-s
// steps take it whole, and a step that does not divide the duration takes
// its share of the last part, so the depth is intensity x duration either way.
TEST(RainSteps, UniformRainFallsForItsDurationWhateverTheStep) {
    {
        SCOPED_TRACE("thirty steps of 60 s");
        run_state_ptr rs = uniform_rain_row(2, 36.0, 60.0);
        for (int step = 0; step < 40; ++step) {
            pass(*rs, step);
            EXPECT_EQ(rs->rain_on, step < 30 ? 1 : 0) << step;
        }
        EXPECT_EQ(rs->rain_state, 3);
        EXPECT_EQ(rs->event_runoff, 0);
        EXPECT_NEAR(rs->ov_depth[1], 30 * 60.0 * 1e-5, 1e-15);
        EXPECT_EQ(rs->cell_rain_rate[2], 0.0);
    }
    {
        SCOPED_TRACE("steps of 420 s over 30 minutes");
        run_state_ptr rs = uniform_rain_row(2, 36.0, 60.0);   // 30 min of rain
        rs->dt = 420.0;
        rs->dt_days = 420.0 / 86400.0;
        for (int step = 0; step < 8; ++step) {
            pass(*rs, step);
            // The fifth step (1680 s to 2100 s) ends the rain at 1800 s.
            EXPECT_EQ(rs->rain_on, step < 5 ? 1 : 0) << step;
        }
        EXPECT_EQ(rs->rain_state, 3);
        EXPECT_NEAR(rs->ov_depth[1], 1800.0 * 1e-5, 1e-15);
        EXPECT_NEAR(rs->vol_precip, 2 * 1800.0 * 1e-5 * 100.0, 1e-12);
    }
}

TEST(RainSteps, OneStepOfRainGivesItsDepthAndVolume) {
    // 36 mm/h over 100 s on a 10 m cell: 0.001 m and 0.1 m3.
    run_state_ptr rs = make_row(4, 10.0);
    rs->rain_state = 1;
    rs->rain_first_step = 1;
    rs->dry_start = 1;
    rs->time = 2452000.5;
    rs->elapsed_minutes = 12.0;
    rs->rain_next = rs->time;
    rs->rain_last = rs->time - 100.0 / 86400.0;
    rs->rain_step_seconds = 100.0;
    for (int k = 1; k <= 4; ++k) rs->cell_rain_rate[static_cast<size_t>(k)] = mmh(36.0);
    rs->ov_aux[2] = 0.3;
    apply_rainfall(*rs);
    ASSERT_EQ(error_record.code, 0);
    for (int k = 1; k <= 4; ++k) EXPECT_NEAR(rs->ov_depth[static_cast<size_t>(k)], 0.001, 1e-12);
    EXPECT_NEAR(rs->vol_precip, 0.4, 1e-9);
    EXPECT_NEAR(rs->event_rain_volume, 0.4, 1e-9);
    EXPECT_EQ(rs->ov_aux[2], 0.0);
    EXPECT_EQ(rs->rain_steps, 1);
    EXPECT_EQ(rs->dry_start, 0);
    EXPECT_EQ(rs->rain_first_step, 0);
    EXPECT_DOUBLE_EQ(rs->rain_begin_minutes, 12.0);
    // Not due: nothing more is added.
    rs->rain_next = rs->time + 1.0;
    apply_rainfall(*rs);
    EXPECT_NEAR(rs->vol_precip, 0.4, 1e-9);
}

TEST(RainSteps, NegativeRainStopsTheRun) {
    run_state_ptr rs = make_row(3, 10.0);
    rs->gage_thiessen = 1;
    temp_dir dir;
    start_file_run(*rs, dir,
                   "EVENT neg\nNRGAG 1\nNRPDS 2\nCOORD 0 0\nRATES 2002 8 1 6 0 -2\n"
                   "RATES 2002 8 1 7 0 0\n",
                   60.0);
    // The step before the first line has no rain; the next one takes -2 mm/h.
    testing::internal::CaptureStdout();
    pass(*rs, 0);
    EXPECT_EQ(error_record.code, 0);
    pass(*rs, 1);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(error_record.code, kErrorPrinted);
    EXPECT_EQ(out, kNegativeRainAtCell1);
    clear_error();
}

// Uniform rain applies its one intensity without reading the cells' rates;
// the depths and sums keep the bits of the rates read cell by cell, and a
// grid whose rates were written by another path reads them again.
TEST(RainSteps, UniformRainAppliesItsOneRateAsTheCellsWouldGiveIt) {
    const int n = 5000;
    auto run = [&](bool read_cells) {
        run_state_ptr rs = uniform_rain_row(n, 37.3, 7.0);
        for (int k = 1; k <= n; ++k) rs->ov_depth[static_cast<size_t>(k)] = 1e-4 * (k % 17);
        for (int step = 0; step < 5; ++step) {
            rs->step = step;
            rs->time = rs->julian_start + step * rs->dt_days;
            rs->rain_step_seconds = rs->dt;
            rs->rain_next = rs->time;
            rs->rain_last = rs->time - rs->dt_days;
            distribute_rainfall(*rs);
            if (read_cells) rs->cell_rain_common = kNoCommonRain;
            apply_rainfall(*rs);
        }
        EXPECT_EQ(error_record.code, 0);
        return rs;
    };
    run_state_ptr common = run(false);
    run_state_ptr cells = run(true);
    for (int k = 1; k <= n; ++k)
        ASSERT_EQ(common->ov_depth[static_cast<size_t>(k)], cells->ov_depth[static_cast<size_t>(k)])
            << k;
    EXPECT_EQ(common->vol_precip, cells->vol_precip);
    EXPECT_EQ(common->event_rain_volume, cells->event_rain_volume);
    EXPECT_EQ(common->rain_rate_sum, cells->rain_rate_sum);
    EXPECT_GT(common->vol_precip, 0.0);

    // A run whose rain is not uniform gives its cells their own rates: no
    // common rate is left to apply.
    run_state_ptr rs = make_row(3, 10.0);
    set_uniform_cell_rain(*rs, 1e-5);
    EXPECT_EQ(rs->cell_rain_common, 1e-5);
    rs->uniform_rain = 0;
    distribute_rainfall(*rs);
    EXPECT_EQ(rs->cell_rain_common, kNoCommonRain);
}

TEST(RainSteps, NegativeUniformRainStopsTheRunAtItsFirstPass) {
    // The uniform intensities are checked when they are set, not at every pass.
    run_state_ptr rs = uniform_rain_row(3, -2.0, 60.0);
    testing::internal::CaptureStdout();
    pass(*rs, 0);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(error_record.code, kErrorPrinted);
    EXPECT_EQ(out, kNegativeRainAtCell1);
    clear_error();
}

TEST(RainSteps, RainOnAChannelLakeCellGoesToTheLake) {
    run_state_ptr rs = make_row(3, 10.0);
    rs->channel_lakes = 1;
    rs->lake_mask = {0, 0, 1, 0};
    rs->lake_volume = {0.0, 5.0};
    rs->interception = 1;
    for (int k = 1; k <= 3; ++k) {
        rs->icep_stor[static_cast<size_t>(k)] = 0.002;
        rs->icep_coef[static_cast<size_t>(k)] = 0.5;
        rs->cell_rain_rate[static_cast<size_t>(k)] = mmh(36.0);
    }
    rs->rain_state = 1;
    rs->time = 2452000.5;
    rs->rain_next = rs->time;
    rs->rain_last = rs->time - 100.0 / 86400.0;
    rs->rain_step_seconds = 100.0;
    apply_rainfall(*rs);
    EXPECT_EQ(rs->ov_depth[2], 0.0);
    EXPECT_EQ(rs->icep_dep[2], 0.0);
    EXPECT_NEAR(rs->lake_volume[1], 5.1, 1e-12);
    EXPECT_NEAR(rs->vol_precip_to_lakes, 0.1, 1e-12);
    EXPECT_NEAR(rs->event_vol_precip_to_lake, 0.1, 1e-12);
    // The other cells: 1 mm of rain all held by the 2 mm canopy.
    EXPECT_NEAR(rs->icep_dep[1], 0.001, 1e-15);
    EXPECT_EQ(rs->ov_depth[1], 0.0);
    EXPECT_NEAR(rs->vol_interception, 0.2, 1e-12);
    EXPECT_NEAR(rs->vol_precip, 0.1, 1e-12);   // only the lake's rain
}

TEST(RainSteps, RainOnAnOverlandLakeCellCountsOnceInTheLake) {
    // 36 mm/h over 100 s on 10 m cells: 1 mm, 0.1 m3 per cell.
    run_state_ptr rs = make_row(3, 10.0);
    rs->lakes = 1;
    rs->num_overland_lakes = 1;
    rs->overland_lakes.assign(2, overland_lake{});
    rs->overland_lakes[1].inflow = 0.25;   // not yet taken by the lake step: kept
    rs->oland_lake_new = {0, 1, 1, 0};
    for (int k = 1; k <= 3; ++k) rs->cell_rain_rate[static_cast<size_t>(k)] = mmh(36.0);
    rs->rain_state = 1;
    rs->time = 2452000.5;
    rs->rain_next = rs->time;
    rs->rain_last = rs->time - 100.0 / 86400.0;
    rs->rain_step_seconds = 100.0;
    apply_rainfall(*rs);
    EXPECT_EQ(rs->ov_depth[1], 0.0);   // lake cells hold no depth
    EXPECT_EQ(rs->ov_depth[2], 0.0);
    EXPECT_NEAR(rs->ov_depth[3], 0.001, 1e-15);
    EXPECT_NEAR(rs->overland_lakes[1].inflow, 0.25 + 0.2, 1e-12);
    EXPECT_NEAR(rs->vol_precip_ovlakes, 0.2, 1e-12);
    EXPECT_EQ(rs->lakes_changed, 1);
    // Each cell's rain once in the total: the lake's and the plain cell's.
    EXPECT_NEAR(rs->vol_precip, 0.3, 1e-12);
}

TEST(RainSteps, SameVolumesWithOneOrEightThreads) {
    struct totals {
        double vol_precip, event_rain, vol_icep;
        std::vector<double> depth;
    } results[2];
    const int threads[2] = {1, 8};
    const int saved = omp_get_max_threads();
    for (int t = 0; t < 2; ++t) {
        omp_set_num_threads(threads[t]);
        run_state_ptr rs = make_row(5000, 7.0);
        rs->interception = 1;
        for (int k = 1; k <= 5000; ++k) {
            const size_t s = static_cast<size_t>(k);
            rs->icep_stor[s] = 1e-4 * (k % 7);
            rs->icep_coef[s] = 0.1 * (k % 5);
            rs->cell_rain_rate[s] = mmh(0.37 * (k % 11) + 0.013 * k);
        }
        rs->rain_state = 1;
        for (int step = 0; step < 10; ++step) {
            rs->time = 2452000.5 + step * 30.0 / 86400.0;
            rs->rain_next = rs->time;
            rs->rain_last = rs->time - 30.0 / 86400.0;
            rs->rain_step_seconds = 30.0;
            apply_rainfall(*rs);
        }
        results[t] = {rs->vol_precip, rs->event_rain_volume, rs->vol_interception, rs->ov_depth};
    }
    omp_set_num_threads(saved);
    EXPECT_EQ(std::memcmp(&results[0].vol_precip, &results[1].vol_precip, sizeof(double)), 0);
    EXPECT_EQ(std::memcmp(&results[0].event_rain, &results[1].event_rain, sizeof(double)), 0);
    EXPECT_EQ(std::memcmp(&results[0].vol_icep, &results[1].vol_icep, sizeof(double)), 0);
    EXPECT_TRUE(results[0].depth == results[1].depth);
}

namespace {

// Keeps the parallel thresholds of the process for the life of a test.
struct thresholds_kept {
    parallel_thresholds saved = parallel_cells();
    int threads = omp_get_max_threads();
    ~thresholds_kept() {
        set_parallel_cells(saved);
        omp_set_num_threads(threads);
    }
};

// One due rain step of 30 s on the state.
void rain_step(run_state& rs, int step) {
    rs.time = 2452000.5 + step * 30.0 / 86400.0;
    rs.rain_next = rs.time;
    rs.rain_last = rs.time - 30.0 / 86400.0;
    rs.rain_step_seconds = 30.0;
    apply_rainfall(rs);
}

}  // namespace

TEST(RainSteps, ParallelRainStepsGiveTheSameBitsAsOneThread) {
    // Above the parallel threshold the cells run in pieces on the threads:
    // every cell is rained on once, and totals, depths, snow and lakes keep
    // their bits whatever the number of threads.
    struct scenario {
        const char* name;
        bool channel_lakes;   // every 97th cell in a channel lake
        bool snow;            // a long-term run below the snow temperature
    };
    const scenario scenarios[] = {
        {"plain cells", false, false},
        {"channel lake cells", true, false},
        {"snowfall", false, true},
    };
    thresholds_kept kept;
    set_parallel_cells({1000, 1000});
    const int n = 20011;
    const double dx = 7.0;   // m
    for (const scenario& sc : scenarios) {
        SCOPED_TRACE(sc.name);
        struct result {
            double vol_precip, event_rain, rate_sum;
            std::vector<double> depth, swe, lake_volume;
        } results[2];
        const int threads[2] = {1, 8};
        double expected = 0.0;   // m3, the rain of the cells outside the lakes
        for (int t = 0; t < 2; ++t) {
            omp_set_num_threads(threads[t]);
            clear_error();
            run_state_ptr rs = make_row(n, dx);
            rs->cards.snow_temp_base = 0.0;
            if (sc.snow) {
                rs->long_term = 1;
                rs->hmet_current.air_temp = -3.0;
            }
            if (sc.channel_lakes) {
                rs->channel_lakes = 1;
                rs->lake_mask.assign(static_cast<size_t>(n) + 1, 0);
                rs->lake_volume.assign(3, 0.0);
                for (int k = 97; k <= n; k += 97) rs->lake_mask[static_cast<size_t>(k)] = 1 + k % 2;
            }
            for (int k = 1; k <= n; ++k) {
                rs->cell_rain_rate[static_cast<size_t>(k)] = mmh(0.37 * (k % 11) + 0.0013 * k);
                rs->ov_aux[static_cast<size_t>(k)] = k % 3 == 0 ? 0.5 : 0.0;
            }
            rs->rain_state = 1;
            for (int step = 1; step <= 4; ++step) rain_step(*rs, step);
            ASSERT_EQ(error_record.code, 0);
            if (t == 0) {
                for (int k = 1; k <= n; ++k) {
                    if (sc.channel_lakes && rs->lake_mask[static_cast<size_t>(k)] != 0) continue;
                    expected += 4 * 30.0 * rs->cell_rain_rate[static_cast<size_t>(k)] * dx * dx;
                }
            }
            // The work depth of every cell outside the lakes is cleared.
            for (int k = 1; k <= n; ++k) {
                if (sc.channel_lakes && rs->lake_mask[static_cast<size_t>(k)] != 0) continue;
                ASSERT_EQ(rs->ov_aux[static_cast<size_t>(k)], 0.0) << k;
            }
            results[t] = {rs->vol_precip, rs->event_rain_volume, rs->rain_rate_sum,
                          rs->ov_depth, rs->snow_swe, rs->lake_volume};
        }
        EXPECT_NEAR(results[0].event_rain, expected, 1e-12 * expected);
        EXPECT_GT(results[0].rate_sum, 0.0);
        EXPECT_EQ(std::memcmp(&results[0].vol_precip, &results[1].vol_precip, sizeof(double)), 0);
        EXPECT_EQ(std::memcmp(&results[0].event_rain, &results[1].event_rain, sizeof(double)), 0);
        EXPECT_TRUE(results[0].depth == results[1].depth);
        EXPECT_TRUE(results[0].swe == results[1].swe);
        EXPECT_TRUE(results[0].lake_volume == results[1].lake_volume);
        if (sc.snow) EXPECT_EQ(results[0].depth[static_cast<size_t>(n)], 0.0);
        else EXPECT_GT(results[0].depth[static_cast<size_t>(n)], 0.0);
    }
}

TEST(RainSteps, FirstBadDepthOfAParallelStepIsTheOneNamed) {
    // Bad depths in pieces of different threads: the lowest cell is named,
    // with the message of its own fault.
    struct case_row {
        int nan_cell;        // 0: none
        int negative_cell;   // 0: none
        const char* expected;
    };
    const case_row rows[] = {
        {19000, 150,
         "A negative depth has been detected for overland cell 150 after applying rainfall, "
         "check your rainfall input for negative values\n"},
        {3001, 17500,
         "A non-real number for water depth has been detected for overland cell 3001 after "
         "applying rainfall\n"},
        {0, 20011,
         "A negative depth has been detected for overland cell 20011 after applying rainfall, "
         "check your rainfall input for negative values\n"},
    };
    thresholds_kept kept;
    set_parallel_cells({1000, 1000});
    omp_set_num_threads(8);
    const int n = 20011;
    for (const case_row& row : rows) {
        SCOPED_TRACE(row.expected);
        clear_error();
        run_state_ptr rs = make_row(n, 10.0);
        for (int k = 1; k <= n; ++k) rs->cell_rain_rate[static_cast<size_t>(k)] = mmh(10.0);
        if (row.nan_cell != 0)
            rs->ov_depth[static_cast<size_t>(row.nan_cell)] = std::numeric_limits<double>::quiet_NaN();
        if (row.negative_cell != 0) rs->ov_depth[static_cast<size_t>(row.negative_cell)] = -1.0;
        rs->rain_state = 1;
        testing::internal::CaptureStdout();
        rain_step(*rs, 1);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), row.expected);
        EXPECT_EQ(error_record.code, kErrorPrinted);
        EXPECT_EQ(rs->vol_precip, 0.0);   // the step's totals are not booked
        clear_error();
    }
}

TEST(RainSteps, RainTotalsOfALargeGridHoldEveryStepsRain) {
    // 250,000 cells under 50 mm/h for 100 steps of 30 s. Added cell by cell
    // into the run's total, the rain would come out about 4e-10 of the total
    // short; summed per step, then added, it stays within rounding.
    const int n = 250000;
    const int steps = 100;
    run_state_ptr rs = make_row(n, 10.0);
    for (int k = 1; k <= n; ++k) rs->cell_rain_rate[static_cast<size_t>(k)] = mmh(50.0);
    rs->rain_state = 1;
    for (int step = 1; step <= steps; ++step) {
        rs->time = 2452000.5 + step * 30.0 / 86400.0;
        rs->rain_next = rs->time;
        rs->rain_last = rs->time - 30.0 / 86400.0;
        rs->rain_step_seconds = 30.0;
        apply_rainfall(*rs);
    }
    const double cell_volume = 30.0 * mmh(50.0) * 100.0;   // m3 per cell and step
    const double expected = cell_volume * n * steps;       // m3
    EXPECT_NEAR(rs->vol_precip, expected, 1e-12 * expected);
    EXPECT_NEAR(rs->event_rain_volume, expected, 1e-12 * expected);
}

TEST(RainSteps, MissingRadarFileStopsTheRun) {
    temp_dir dir;
    const char* header =
        "ncols 2\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 10\nNODATA_value -9999\n";
    write_file(dir.file("a.asc"), std::string(header) + "1 1\n");
    write_file(dir.file("b.asc"), std::string(header) + "1 1\n");
    run_state_ptr rs = make_row(2, 10.0);
    start_file_run(*rs, dir,
                   "EVENT radar\nNRGAG files\nNRPDS 3\n"
                   "RADAR 2002 8 1 6 0 " + dir.file("a.asc") + "\n"
                   "RADAR 2002 8 1 6 10 " + dir.file("b.asc") + "\n"
                   "RADAR 2002 8 1 6 20 " + dir.file("gone.asc") + "\n",
                   600.0);
    // The second period (from 10 to 20 minutes) is the first one that needs gone.asc.
    testing::internal::CaptureStdout();
    pass(*rs, 0);
    pass(*rs, 1);
    EXPECT_EQ(error_record.code, 0);
    pass(*rs, 2);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(error_record.code, kErrorPrinted);
    EXPECT_NE(out.find("Error: unable to read the rain rates of radar file " + dir.file("gone.asc")),
              std::string::npos)
        << out;
    clear_error();
}

TEST(RainSteps, NoFurtherEventClearsTheRates) {
    // The file held no further event (state 2): nothing falls and the state becomes 3.
    run_state_ptr rs = make_row(2, 10.0);
    rs->gage_rain = 1;
    rs->interception = 1;
    rs->rain_state = 2;
    rs->rain_on = 1;
    for (int k = 1; k <= 2; ++k) {
        rs->cell_rain_rate[static_cast<size_t>(k)] = mmh(5.0);
        rs->ri_eff[static_cast<size_t>(k)] = mmh(4.0);
    }
    distribute_rainfall(*rs);
    EXPECT_EQ(rs->rain_state, 3);
    EXPECT_EQ(rs->rain_on, 0);
    for (int k = 1; k <= 2; ++k) {
        EXPECT_EQ(rs->cell_rain_rate[static_cast<size_t>(k)], 0.0);
        EXPECT_EQ(rs->ri_eff[static_cast<size_t>(k)], 0.0);
    }
}
