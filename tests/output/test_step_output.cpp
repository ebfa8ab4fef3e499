// Per-step time-series output: outlet hydrograph rows at the hydrograph
// interval in every time form and unit system, location series, stream
// link/node datasets, and intervals that truncate to zero passes.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "core/dates.h"
#include "output/map_output.h"
#include "output/output_setup.h"
#include "output/step_output.h"
#include "output_test_support.h"
#include "pluvo_test.h"

using output_test::open_on;
using output_test::run_state_owner;
using pluvo_test::read_file;
using pluvo_test::split_lines;
using pluvo_test::temp_dir;

namespace {

// Runs passes 0..last of the step output with a 10 s step; the outlet flow
// of pass s is 1.5 + s m3/s.
void run_passes(run_state& rs, int last) {
    for (int s = 0; s <= last; ++s) {
        rs.step = s;
        rs.elapsed_minutes = s * rs.dt / 60.0;
        rs.time = 2451545.0 + s * rs.dt / 86400.0;
        rs.minute = static_cast<int>(rs.elapsed_minutes);
        rs.outlet_flow = 1.5 + s;
        write_step_output(rs);
    }
}

}  // namespace

TEST(OutletHydrograph, RowsAtCountersZeroNAndTwoNInEveryForm) {
    struct row {
        const char* what;
        int english, strict_julian, long_term;
        std::string expected;
    };
    const row rows[] = {
        {"SI, minutes", 0, 0, 0,
         "    0.00     1.500\n    5.00    31.500\n   10.00    61.500\n"},
        {"English units, minutes", 1, 0, 0,
         "    0.00     52.972\n    5.00   1112.412\n   10.00   2171.852\n"},
        {"SI, Julian dates", 0, 1, 0,
         "2451545.00000000     1.500\n2451545.00347222    31.500\n2451545.00694444    61.500\n"},
        {"English units, Julian dates", 1, 1, 0,
         "2451545.00000000     52.972\n2451545.00347222   1112.412\n2451545.00694444   2171.852\n"},
        {"long-term, decimal year", 0, 0, 1,
         "   2000.00273224      1.5000\n   2000.00274173     31.5000\n   2000.00275121     61.5000\n"},
        {"long-term, strict Julian dates", 0, 1, 1,
         "2451545.00000000      1.5000\n2451545.00347222     31.5000\n2451545.00694444     61.5000\n"},
    };
    for (const row& r : rows) {
        temp_dir dir;
        run_state_owner owner;
        run_state& rs = *owner;
        rs.dt = 10.0;
        rs.hydro_write_steps = 30;   // hyd_freq 5 min with a 10 s step
        rs.english_units = r.english;
        rs.strict_julian_date = r.strict_julian;
        rs.long_term = r.long_term;
        rs.year = 2000;
        rs.day_of_year = 1;
        open_on(rs.outlet_hydro_file, dir.file("outlet.hyd"));
        run_passes(rs, 60);
        EXPECT_EQ(rs.hydro_rows_written, 3) << r.what;
        close_file_object(rs.outlet_hydro_file);
        EXPECT_EQ(read_file(dir.file("outlet.hyd")), r.expected) << r.what;
    }
}

TEST(OutletHydrograph, SixDigitFileTakesTheSameTimeValue) {
    temp_dir dir;
    run_state_owner owner;
    run_state& rs = *owner;
    rs.dt = 10.0;
    rs.hydro_write_steps = 30;
    rs.sig_outlet_hydro = 1;
    open_on(rs.outlet_hydro_file, dir.file("outlet.hyd"));
    open_on(rs.sig_outlet_hydro_file, dir.file("outlet6.hyd"));
    run_passes(rs, 30);
    close_file_object(rs.sig_outlet_hydro_file);
    EXPECT_EQ(read_file(dir.file("outlet6.hyd")), "    0.00     1.500000\n    5.00    31.500000\n");
}

TEST(OutputIntervals, TruncatedIntervalsCountAsOnePass) {
    // A 10-minute step with a 5-minute hydrograph interval truncates to 0 passes.
    temp_dir dir;
    run_state_owner owner;
    run_state& rs = *owner;
    output_test::set_small_grid(rs);
    rs.dt = 600.0;
    rs.hydro_write_steps = 0;
    rs.map_write_steps = 0;
    rs.settings.tot_time = 60;
    open_on(rs.outlet_hydro_file, dir.file("outlet.hyd"));
    run_passes(rs, 3);
    for (int s = 0; s <= 3; ++s) {
        rs.step = s;
        write_map_output(rs);
    }
    EXPECT_EQ(rs.hydro_rows_written, 4);
    EXPECT_EQ(output_interval_steps(0), 1);
    EXPECT_EQ(output_interval_steps(-3), 1);
    EXPECT_TRUE(output_step_due(7, 0));
    EXPECT_FALSE(map_output_due(0, 0));
    EXPECT_TRUE(map_output_due(1, 0));

    // Link/node header values with an interval below one minute: no division by 0.
    rs.dt = 10.0;
    EXPECT_EQ(linknode_time_step_minutes(rs), 0);
    EXPECT_EQ(linknode_time_steps(rs), 360);
}

TEST(OutputIntervals, HydrographIntervalOfFifteenMinutesGivesSixtySixSteps) {
    run_state_owner owner;
    run_state& rs = *owner;
    rs.dt = 60.0;
    rs.hydro_write_steps = 15;
    rs.settings.tot_time = 1000;
    EXPECT_EQ(linknode_time_step_minutes(rs), 15);
    EXPECT_EQ(linknode_time_steps(rs), 66);
}

TEST(SeriesTime, DecimalYearAndTheTimeColumns) {
    EXPECT_DOUBLE_EQ(decimal_year(2000, 1, 0, 0), 2000.0 + 1440.0 / 527040.0);
    EXPECT_DOUBLE_EQ(decimal_year(2001, 1, 0, 0), 2001.0 + 1440.0 / 525600.0);

    // A single-event run with strict Julian dates: Julian hydrograph, minutes elsewhere.
    run_state_owner owner;
    run_state& rs = *owner;
    rs.strict_julian_date = 1;
    rs.time = 2451545.25;
    rs.elapsed_minutes = 90.0;
    EXPECT_DOUBLE_EQ(hydrograph_time(rs), 2451545.25);
    EXPECT_DOUBLE_EQ(series_time(rs), 90.0);
    rs.day_of_year = 32;
    rs.hour = 12;
    rs.minute = 36;
    EXPECT_DOUBLE_EQ(k4_jday(rs), 32.525);
}

TEST(LocationSeries, CellDepthAndDischargeWithoutRescalingTheFaceFlows) {
    // Face discharges are m3/s already: the cell discharge is |(qx, qy)|.
    temp_dir dir;
    run_state_owner owner;
    run_state& rs = *owner;
    output_test::set_small_grid(rs);
    rs.dt = 10.0;
    rs.hydro_write_steps = 1;
    rs.in_celldepdis_location = 1;
    rs.num_cell_locations = 2;
    rs.gnumlocater = {0, 2, 6};
    rs.ov_depth[2] = 0.25;
    rs.ov_qx[2] = 3.0;
    rs.ov_qy[2] = -4.0;
    open_on(rs.celldepdis_location_out_file, dir.file("cells.out"));
    rs.step = 0;
    rs.elapsed_minutes = 0.0;
    write_step_output(rs);
    rs.english_units = 1;
    write_step_output(rs);
    close_file_object(rs.celldepdis_location_out_file);
    const std::vector<std::string> lines = split_lines(read_file(dir.file("cells.out")));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0],
              "    0.00000000         0.250000      0.000000              5.000000      0.000000  ");
    EXPECT_EQ(lines[1], "    0.00000000               176.573335      0.000000  ");
}

TEST(LocationSeries, HydrographLocationsFluxesDepthsAndOverlandCells) {
    temp_dir dir;
    run_state_owner owner;
    run_state& rs = *owner;
    output_test::set_small_grid(rs);
    output_test::set_small_network(rs);
    rs.dt = 10.0;
    rs.hydro_write_steps = 2;
    rs.in_hyd_location = rs.in_gwflux_location = rs.out_dep_location = 1;
    rs.num_hyd_locations = 2;
    rs.hlink = {0, 1, 1};
    rs.hnode = {0, 2, 3};
    rs.num_gwflux_locations = 1;
    rs.gwflink = {0, 1};
    rs.gwfnode = {0, 2};
    rs.gwflux_sum = {0.0, 0.004};   // two passes of 0.002 m2/s
    rs.overland_wse = 1;
    rs.overland_wse_count = 1;
    rs.overland_wse_row = {0, 2};
    rs.overland_wse_col = {0, 3};
    rs.ov_depth[6] = 0.5;
    open_on(rs.hyd_location_out_file, dir.file("hyd.out"));
    open_on(rs.gwflux_location_out_file, dir.file("gwflux.out"));
    open_on(rs.dep_location_out_file, dir.file("dep.out"));
    open_on(rs.overland_wse_file, dir.file("wse.out"));
    rs.step = 2;
    rs.elapsed_minutes = 20.0 / 60.0;
    write_step_output(rs);
    close_file_object(rs.hyd_location_out_file);
    close_file_object(rs.gwflux_location_out_file);
    close_file_object(rs.dep_location_out_file);
    close_file_object(rs.overland_wse_file);
    EXPECT_EQ(read_file(dir.file("hyd.out")), "    0.33333333     2.000000     3.000000 \n");
    // Mean per-length flux over the interval times the node spacing of 50 m.
    EXPECT_EQ(read_file(dir.file("gwflux.out")), "    0.33333333     0.100000 \n");
    EXPECT_DOUBLE_EQ(rs.gwflux_sum[1], 0.0);
    EXPECT_EQ(read_file(dir.file("dep.out")), "    0.33333333     2.000000     3.000000 \n");
    EXPECT_EQ(read_file(dir.file("wse.out")), "    0.33333333   100.500000 \n");
}

TEST(LocationSeries, ChannelLakeLevelsAndVolumes) {
    temp_dir dir;
    run_state_owner owner;
    run_state& rs = *owner;
    output_test::set_small_network(rs);
    rs.hydro_write_steps = 1;
    rs.lake_output = 1;
    open_on(rs.lake_output_file, dir.file("lakes.out"));
    rs.elapsed_minutes = 30.0;
    write_step_output(rs);
    rs.long_term = 1;
    rs.time = 2451545.0;   // 1 January 2000, 12:00
    write_step_output(rs);
    close_file_object(rs.lake_output_file);
    EXPECT_EQ(read_file(dir.file("lakes.out")),
              "   30.00000000    12.500   3000.000 \n"
              "2000  1  1 12  0    12.500   3000.000 \n");
}

TEST(StreamDatasets, HeadersAndStepsOfDepthAndVelocityOnAHandSetNetwork) {
    temp_dir dir;
    run_state_owner owner;
    run_state& rs = *owner;
    output_test::set_small_network(rs);
    rs.chan_explic = 1;
    rs.chan_depth = rs.chan_velocity = 1;
    rs.dt = 60.0;
    rs.hydro_write_steps = 15;
    rs.settings.tot_time = 1000;
    rs.time = julian_day(2001, 6, 5, 13, 7, 0.0);   // the start the headers carry
    open_on(rs.chan_depth_file, dir.file("depth.lnd"));
    open_on(rs.chan_velocity_file, dir.file("velocity.lnd"));
    write_linknode_headers(rs);
    for (int s = 0; s <= 30; ++s) {
        rs.step = s;
        write_step_output(rs);
    }
    close_file_object(rs.chan_depth_file);
    close_file_object(rs.chan_velocity_file);
    const std::string header_tail =
        "NUM_LINKS     3\nTIME_STEP     15\nNUM_TS        66\nSTART_TIME     5  6 2001 13  7  0\n";
    const std::string depth_block =
        "3   1  1.00000   1  2.00000   1  3.00000   \n-1 12.50000   \n0  -999.999   \n\n";
    const std::string velocity_block =
        "3   1  0.50000   1  0.00000   1  0.75000   \n-1 12.50000   \n0  -999.999   \n\n";
    EXPECT_EQ(read_file(dir.file("depth.lnd")),
              "PLUVO_LINKNODE_STREAM_DEPTH\n" + header_tail + "TS    0\n" + depth_block +
                  "TS    1\n" + depth_block + "TS    2\n" + depth_block);
    EXPECT_EQ(read_file(dir.file("velocity.lnd")),
              "PLUVO_LINKNODE_STREAM_VELOCITY\n" + header_tail + "TS    0\n" + velocity_block +
                  "TS    1\n" + velocity_block + "TS    2\n" + velocity_block);
}

TEST(StreamDatasets, EmptyNetworkStillWritesHeaderAndSteps) {
    temp_dir dir;
    run_state_owner owner;
    run_state& rs = *owner;
    rs.chan_explic = 1;
    rs.chan_discharge = 1;
    rs.dt = 60.0;
    rs.hydro_write_steps = 1;
    open_on(rs.chan_discharge_file, dir.file("q.lnd"));
    write_linknode_headers(rs);
    rs.step = 0;
    write_step_output(rs);
    close_file_object(rs.chan_discharge_file);
    const std::string text = read_file(dir.file("q.lnd"));
    EXPECT_EQ(text.rfind("PLUVO_LINKNODE_STREAM_FLOW\nNUM_LINKS     0\nTIME_STEP     1\n", 0), 0u)
        << text;
    EXPECT_NE(text.find("TS    0\n\n"), std::string::npos);
}
