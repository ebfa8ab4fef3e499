// Groundwater set-up pieces: placing wells from the well table, well rates
// per cell area, and the static flux table reader with its refusals.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "input/time_series.h"
#include "pluvo_test.h"
#include "subsurface/groundwater.h"
#include "subsurface/gw_wells.h"
#include "subsurface_fixture.h"

using pluvo_test::temp_dir;
using pluvo_test::write_file;

namespace {

well_record constant_well(int id, double rate) {
    well_record w;
    w.id = id;
    w.rate = rate;
    return w;
}

// Table rows are kept last row first, so the later row of a repeated ID wins.
TEST(GroundwaterWells, PlacedFromTheTableAndPumpingPerCellArea) {
    run_state_ptr rs = make_grid_state(2, 3, 10.0);
    std::vector<well_record> table = {constant_well(7, 0.5), constant_well(7, 9.0),
                                      constant_well(3, 2.0)};
    std::vector<int> ids(7, 0);
    ids[2] = 7;
    ids[6] = 3;
    ASSERT_TRUE(place_wells(*rs, table, ids, "wells.cmt"));
    EXPECT_TRUE(table.empty());
    ASSERT_EQ(rs->gw_active_wells.size(), 2u);
    std::vector<double> rate(7, 0.0);
    well_rates(*rs, rate, 0.0);
    EXPECT_DOUBLE_EQ(rate[2], 0.5 / 100.0);   // m3/s over a 10-m cell, m/s
    EXPECT_DOUBLE_EQ(rate[6], 2.0 / 100.0);
    EXPECT_EQ(rate[1] + rate[3] + rate[4] + rate[5], 0.0);
    free_wells(*rs);
    EXPECT_TRUE(rs->gw_active_wells.empty());
}

TEST(GroundwaterWells, RateFromAnIndexedSeriesAndUnknownIds) {
    run_state_ptr rs = make_grid_state(1, 2, 20.0);
    time_series* s = new_time_series();
    s->times = {0.0, 2.0};
    s->values = {0.0, 4.0};
    s->count = 2;
    add_time_series_index(11, s);
    well_record series_well;
    series_well.id = 5;
    series_well.rate_source = 1;
    series_well.series_id = 11;
    std::vector<well_record> table = {series_well};
    std::vector<int> ids = {0, 5, 8};   // well 8 is not in the table
    EXPECT_FALSE(place_wells(*rs, table, ids, "wells.cmt"));
    EXPECT_EQ(error_record.code, kErrorPrinted);
    clear_error_record();
    ASSERT_EQ(rs->gw_active_wells.size(), 1u);   // the known well is still placed
    std::vector<double> rate(3, 0.0);
    well_rates(*rs, rate, 1.0);   // halfway along the series: 2 m3/s
    EXPECT_DOUBLE_EQ(rate[1], 2.0 / 400.0);
    EXPECT_EQ(series_lookup_failures(), 0);

    rs->gw_active_wells[0].series_id = 12;   // bound to no series
    well_rates(*rs, rate, 1.0);
    EXPECT_EQ(rate[1], 0.0);
    EXPECT_NE(series_lookup_failures() & kLookupUnknownIndex, 0);
    report_series_lookup_failures();
    clear_error_record();
    free_time_series();
}

// A 3 x 3 grid of 10-m cells whose middle-right cell (row 2, column 3) lies
// outside the mask.
run_state_ptr flux_state(const std::string& path) {
    run_state_ptr rs = make_grid_state(3, 3, 10.0);
    rs->mask[2][3] = 0;
    rs->GNUM = 8;
    rs->gw_static_flux.assign(10, 0.0);
    std::snprintf(rs->files.gw_fluxboundtable, sizeof rs->files.gw_fluxboundtable, "%s",
                  path.c_str());
    return rs;
}

TEST(GroundwaterStaticFlux, RatesInMetresPerSecond) {
    temp_dir dir;
    const std::string path = dir.file("flux.txt");
    // CRLF ends and a blank line are accepted; 86400 m3/day on 100 m2 is 0.01 m/s.
    write_file(path, "2\r\n1 2 86400\r\n\r\n3 3 -864\r\n");
    run_state_ptr rs = flux_state(path);
    ASSERT_TRUE(read_static_flux_table(*rs));
    EXPECT_DOUBLE_EQ(rs->gw_static_flux[rs->mask[1][2]], 0.01);
    EXPECT_DOUBLE_EQ(rs->gw_static_flux[rs->mask[3][3]], -1e-4);
    EXPECT_EQ(rs->gw_flux_cell_count, 2);
}

TEST(GroundwaterStaticFlux, BadTablesAreRefusedNamingTheLine) {
    struct bad_case {
        const char* text;
        int line;   // line named in the message
    };
    const bad_case cases[] = {
        {"1\n2 3 5.0\n", 2},            // outside the mask (would write cell 0)
        {"1\n4 1 5.0\n", 2},            // outside the grid
        {"2\n1 1 5.0\n", 3},            // fewer rows than the count
        {"1\n1 1 nan\n", 2},            // rate not a finite number
        {"1\n1 x 5.0\n", 2},            // column not a number
        {"-1\n", 1},                    // negative count
    };
    for (const bad_case& c : cases) {
        SCOPED_TRACE(c.text);
        temp_dir dir;
        const std::string path = dir.file("flux.txt");
        write_file(path, c.text);
        run_state_ptr rs = flux_state(path);
        testing::internal::CaptureStdout();
        EXPECT_FALSE(read_static_flux_table(*rs));
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(error_record.code, kErrorPrinted);
        EXPECT_NE(out.find(path + ", line " + std::to_string(c.line) + ":"), std::string::npos)
            << out;
        EXPECT_EQ(rs->gw_static_flux[0], 0.0);
        clear_error_record();
    }
}

}  // namespace
