// The precipitation file reader (one event block per call), its refusals of
// bad input, period lengths across month ends, and the radar grid readers.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "hydromet/precip_file.h"
#include "pluvo_test.h"
#include "rain_test_support.h"

using namespace rain_test;
using pluvo_test::temp_dir;
using pluvo_test::write_file;

namespace {

// Writes `text` as the precipitation file and opens it in the run state.
void open_precip(run_state& rs, const temp_dir& dir, const std::string& text) {
    const std::string path = dir.file("rain.gag");
    write_file(path, text);
    ASSERT_TRUE(open_file_named(rs.precip_data_file, path.c_str(), "r"));
}

struct block_result {
    int result;
    std::string out;
};

block_result read_block(run_state& rs, bool keep_names = true) {
    testing::internal::CaptureStdout();
    const int r = read_precip_block(rs, keep_names);
    return {r, testing::internal::GetCapturedStdout()};
}

const char* const kTwoGageEvent =
    "a note first\n"
    "EVENT \"storm of 99\"\n"
    "NRGAG 2\n"
    "NRPDS 3\n"
    "COORD 100.0 200.0  gage one\n"
    "coord 300.5 400.25\n"
    "GAGES 99 1 31 23 30  0.0 0.0\n"
    "GAGES 99 2 1 0 30  10.0 5.5\n"
    "gages 1999 2 1 0 30  2.0 0.0\n";

}  // namespace

TEST(PrecipFile, ReadsAGageEventBlock) {
    run_state_ptr rs = make_row(1, 10.0);
    temp_dir dir;
    open_precip(*rs, dir, kTwoGageEvent);
    const block_result r = read_block(*rs);
    ASSERT_EQ(r.result, 1) << r.out;
    EXPECT_EQ(error_record.code, 0);
    EXPECT_STREQ(rs->event_title, "\"storm of 99\"");
    EXPECT_EQ(rs->num_gages, 2);
    EXPECT_EQ(rs->num_lines, 3);
    EXPECT_EQ(rs->num_periods, 3);
    EXPECT_EQ(rs->card_gages, 1);
    EXPECT_EQ(rs->card_radar + rs->card_rates + rs->card_accum, 0);
    EXPECT_DOUBLE_EQ(rs->gage_x[1], 100.0);
    EXPECT_DOUBLE_EQ(rs->gage_y[2], 400.25);
    // A two-digit year is 1900 + year; equal dates on lines 2 and 3 are accepted.
    const int expected_dates[4][5] = {{0}, {1999, 1, 31, 23, 30}, {1999, 2, 1, 0, 30},
                                      {1999, 2, 1, 0, 30}};
    for (int l = 1; l <= 3; ++l)
        for (int f = 0; f < 5; ++f) EXPECT_EQ(rs->precip_dates[l][f], expected_dates[l][f]);
    EXPECT_DOUBLE_EQ(rs->gage_values.rows[1][2], 10.0);
    EXPECT_DOUBLE_EQ(rs->gage_values.rows[2][2], 5.5);
    EXPECT_DOUBLE_EQ(rs->gage_values.rows[1][3], 2.0);
    EXPECT_EQ(rs->precip_line_numbers[3], 9);   // file line of data line 3
    // No further event: 0 without an error.
    const block_result again = read_block(*rs);
    EXPECT_EQ(again.result, 0);
    EXPECT_EQ(error_record.code, 0);
}

TEST(PrecipFile, EndOfFileInsideAnEventIsMinusOne) {
    run_state_ptr rs = make_row(1, 10.0);
    temp_dir dir;
    open_precip(*rs, dir, "EVENT x\nNRGAG 1 NRPDS 3\nCOORD 0 0\nRATES 2000 1 1 0 0 1.0\n");
    const block_result r = read_block(*rs);
    EXPECT_EQ(r.result, -1);
    EXPECT_NE(r.out.find("\n last year 2000 last month 1 last day 1 last hour 0 last minute 0 \n"),
              std::string::npos)
        << r.out;
}

TEST(PrecipFile, RadarFilesAreSelectedByAnyWordHoldingFiles) {
    for (const char* word : {"FILES", "Files", "radarfiles"}) {
        run_state_ptr rs = make_row(1, 10.0);
        rs->radar_filenames.assign(kRadarNameSlots, std::string());
        temp_dir dir;
        open_precip(*rs, dir,
                    std::string("EVENT radar\nNRPDS 2\nNRGAG ") + word +
                        "\nRADAR 2001 7 4 12 0 a.asc\nRADAR 2001 7 4 12 15 \"b.asc\" extra\n");
        const block_result r = read_block(*rs);
        ASSERT_EQ(r.result, 1) << word << r.out;
        EXPECT_EQ(rs->card_radar, 2) << word;
        EXPECT_EQ(rs->num_gages, 1) << word;
        EXPECT_EQ(rs->radar_filenames[0], "a.asc");
        EXPECT_EQ(rs->radar_filenames[1], "b.asc");
        EXPECT_EQ(rs->radar_filenames[2], "b.asc");   // the last name repeated after the last line
    }
}

// Input the reader must refuse: result, code 4000 and a message naming the
// file's line (or the system's own message for the fault).
struct bad_block {
    const char* what;
    const char* text;
    const char* message;   // part of the printed output
};

const bad_block kBadBlocks[] = {
    {"date earlier than the line before",
     "EVENT t\nNRGAG 1\nNRPDS 2\nCOORD 0 0\nGAGES 2000 1 1 10 0 1\nGAGES 2000 1 1 9 59 1\n",
     "On line no. 6, the given time of the recorded data is:    2000/1/1 9:59\n"
     "Which is earlier than the date/time on the previous line:  2000/1/1 10:00\n"},
    {"accumulated depth decreases",
     "EVENT t\nNRGAG 1\nNRPDS 3\nCOORD 0 0\nACCUM 2000 1 1 0 0 1\nACCUM 2000 1 1 1 0 1\n"
     "ACCUM 2000 1 1 2 0 0.5\n",
     "On line no. 7, the accumulated precip. for gage number 1 is:  0.50000 mm\n"},
    {"gage value missing at the end of the file",
     "EVENT t\nNRGAG 2\nNRPDS 1\nCOORD 0 0\nCOORD 9 9\nGAGES 2000 1 1 0 0 1\n",
     "ends on line 6 without the value of gage 2 of the data line on line 6\n"},
    {"gage value missing before the next line",
     "EVENT t\nNRGAG 2\nNRPDS 2\nCOORD 0 0\nCOORD 9 9\nGAGES 2000 1 1 0 0 1\n"
     "GAGES 2000 1 1 1 0 1 2\n",
     "\"GAGES\" on line 7 of the precipitation file"},
    {"two card kinds",
     "EVENT t\nNRGAG 1\nNRPDS 2\nCOORD 0 0\nGAGES 2000 1 1 0 0 1\nRATES 2000 1 1 1 0 1\n",
     "More than one precipitation data card type has been specified.\n"},
    {"no card kind", "EVENT t\nNRGAG 1\nNRPDS 1\nCOORD 0 0\nDEPTH 2000 1 1 0 0 1\n",
     "At least one precipitation data card type must be specified.\n"},
    {"values out of step with the gage count",
     "EVENT t\nNRGAG 1\nNRPDS 2\nCOORD 0 0\nGAGES 2000 1 1 0 0 1\n3.0 2000 1 1 1 0 1\n",
     "\"3.0\" on line 6 of the precipitation file"},
    {"missing COORD line", "EVENT t\nNRGAG 2\nNRPDS 1\nCOORD 0 0\nGAGES 2000 1 1 0 0 1 1\n",
     "Cannot find gage coordinate card in rainfall input file for event entitled:\n       t\n"},
    {"too many data lines", "EVENT t\nNRGAG 1\nNRPDS 100000\n",
     "NRPDS 100000 on line 3 of the precipitation file"},
    {"no data line", "EVENT t\nNRGAG 1\nNRPDS 0\n", "NRPDS 0 on line 3"},
    {"NRPDS not a number", "EVENT t\nNRGAG 1\nNRPDS many\n", "NRPDS \"many\" on line 3"},
    {"no gage", "EVENT t\nNRPDS 1\nNRGAG 0\nGAGES 2000 1 1 0 0\n", "NRGAG 0 on line 3"},
    {"too many radar lines", "EVENT t\nNRGAG files\nNRPDS 2001\n",
     "NRPDS 2001 on line 3 of the precipitation file"},
    {"month 13", "EVENT t\nNRGAG 1\nNRPDS 1\nCOORD 0 0\nRATES 2000 13 1 0 0 1\n",
     "the date 2000/13/1 0:00 on line 5"},
    {"February 30", "EVENT t\nNRGAG 1\nNRPDS 1\nCOORD 0 0\nRATES 2001 2 29 0 0 1\n",
     "the date 2001/2/29 0:00 on line 5"},
    {"year not an integer", "EVENT t\nNRGAG 1\nNRPDS 1\nCOORD 0 0\nRATES 2000.5 1 1 0 0 1\n",
     "the year \"2000.5\" on line 5"},
    {"coordinate not a number", "EVENT t\nNRGAG 1\nNRPDS 1\nCOORD east 0\n",
     "the gage coordinate \"east\" on line 4"},
    {"radar event with gage lines", "EVENT t\nNRGAG files\nNRPDS 1\nGAGES 2000 1 1 0 0 a.asc\n",
     "line 4 of the precipitation file"},
};

TEST(PrecipFile, RefusesBadInputWithAMessage) {
    for (const bad_block& c : kBadBlocks) {
        run_state_ptr rs = make_row(1, 10.0);
        temp_dir dir;
        open_precip(*rs, dir, c.text);
        const block_result r = read_block(*rs);
        EXPECT_EQ(r.result, 0) << c.what;
        EXPECT_EQ(error_record.code, kErrorPrinted) << c.what;
        EXPECT_NE(r.out.find(c.message), std::string::npos) << c.what << "\n" << r.out;
        clear_error();
    }
}

TEST(PrecipFile, AccumulatedDepthMayStayEqual) {
    run_state_ptr rs = make_row(1, 10.0);
    temp_dir dir;
    open_precip(*rs, dir,
                "EVENT t\nNRGAG 1\nNRPDS 3\nCOORD 0 0\nACCUM 2000 1 1 0 0 1\nACCUM 2000 1 1 1 0 1\n"
                "ACCUM 2000 1 1 2 0 4\n");
    EXPECT_EQ(read_block(*rs).result, 1);
    EXPECT_EQ(error_record.code, 0);
}

TEST(PrecipFile, EventCardNotFoundInTenThousandTokens) {
    run_state_ptr rs = make_row(1, 10.0);
    temp_dir dir;
    std::string text;
    for (int i = 0; i < 10000; ++i) text += "x\n";
    text += "EVENT late\n";
    open_precip(*rs, dir, text);
    const block_result r = read_block(*rs);
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(error_record.code, kErrorPrinted);
    EXPECT_NE(r.out.find("find the first event card."), std::string::npos);
    clear_error();
}

TEST(PrecipFile, PeriodLengthsAcrossMonthAndYearEnds) {
    struct {
        int a[5];
        int b[5];
        double seconds;
    } cases[] = {
        {{2001, 1, 31, 23, 30}, {2001, 2, 1, 0, 30}, 3600.0},
        {{2001, 1, 3, 10, 0}, {2001, 1, 5, 10, 0}, 172800.0},
        {{2000, 2, 28, 12, 0}, {2000, 3, 1, 12, 0}, 2 * 86400.0},   // leap year
        {{2001, 2, 28, 12, 0}, {2001, 3, 1, 12, 0}, 86400.0},
        {{2001, 12, 31, 23, 0}, {2002, 1, 1, 1, 0}, 7200.0},
        {{2001, 1, 5, 0, 0}, {2001, 3, 10, 0, 0}, (26 + 28 + 10) * 86400.0},
        {{2001, 4, 30, 6, 15}, {2001, 4, 30, 6, 15}, 0.0},
    };
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(precip_period_seconds(c.a, c.b), c.seconds)
            << c.a[0] << "/" << c.a[1] << "/" << c.a[2] << " to " << c.b[1] << "/" << c.b[2];
    }
}

// ---------------------------------------------------------------------------
// Radar grids
// ---------------------------------------------------------------------------

namespace {

// A 3 x 2 radar grid of 10 m cells with its lower-left corner at (0, 0).
std::string radar_text(const std::string& rows) {
    return "ncols 2\nnrows 3\nxllcorner 0.0\nyllcorner 0.0\ncellsize 10.0\nNODATA_value -9999\n" +
           rows;
}

}  // namespace

TEST(RadarGrid, ValuesAreConvertedCappedAndCleared) {
    temp_dir dir;
    const std::string path = dir.file("r1.asc");
    write_file(path, radar_text("100.5 -3\n-9999 2.0\n0 4.5\n"));
    struct {
        int radar_mm;
        const char* first_value;   // the capped value as the warning prints it
        double expected[6];        // mm/h, row 0 north first
    } cases[] = {
        {1, "100.500000", {100.0, 0.0, 0.0, 2.0, 0.0, 4.5}},
        // inches per hour: 2.0 -> 50.8, 4.5 -> 114.3 -> 100
        {0, "2552.700000", {100.0, 0.0, 0.0, 50.8, 0.0, 100.0}},
    };
    for (const auto& c : cases) {
        radar_grid grid;
        ASSERT_EQ(read_radar_header(grid, path.c_str()), 0);
        EXPECT_EQ(grid.ncols, 2);
        EXPECT_EQ(grid.nrows, 3);
        EXPECT_DOUBLE_EQ(grid.top, 30.0);
        testing::internal::CaptureStdout();
        ASSERT_EQ(read_radar_grid(grid, path.c_str(), c.radar_mm), 0);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_NE(out.find(std::string("Warning: really big precip value (") + c.first_value +
                           ") in cell (0,0) from radar rainfall.\n resetting value to 100.0\n"),
                  std::string::npos)
            << out;
        EXPECT_NE(out.find("Peak rainfall rate read: 100.000000 mm/hr\n"), std::string::npos);
        for (int i = 0; i < 6; ++i)
            EXPECT_NEAR(grid.precip_data[static_cast<size_t>(i)] * kMmPerHourPerMps, c.expected[i],
                        1e-9)
                << "radar_mm " << c.radar_mm << " value " << i;
    }
}

TEST(RadarGrid, CellsTakeTheRadarCellHoldingTheirCentre) {
    temp_dir dir;
    const std::string path = dir.file("r1.asc");
    write_file(path, radar_text("1 2\n3 4\n5 6\n"));
    // Centres: north-west radar cell, south-east radar cell, on a radar cell edge.
    run_state_ptr rs = make_state({{5.0, 25.0}, {15.0, 5.0}, {10.0, 20.0}}, 10.0);
    rs->radar.pluvo_to_precip.assign(4, 0);
    map_cells_to_radar(*rs, path.c_str());
    ASSERT_EQ(error_record.code, 0);
    EXPECT_EQ(rs->radar.pluvo_to_precip[1], 0);
    EXPECT_EQ(rs->radar.pluvo_to_precip[2], 5);
    EXPECT_EQ(rs->radar.pluvo_to_precip[3], 3);   // row 1, column 1
    testing::internal::CaptureStdout();
    ASSERT_EQ(read_radar_grid(rs->radar, path.c_str(), 1), 0);
    radar_to_cells(*rs);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Peak rainfall applied to watershed: 6.000000 mm/hr\n"), std::string::npos);
    EXPECT_NEAR(rs->cell_rain_rate[1], mmh(1.0), 1e-18);
    EXPECT_NEAR(rs->cell_rain_rate[2], mmh(6.0), 1e-18);
    EXPECT_NEAR(rs->cell_rain_rate[3], mmh(4.0), 1e-18);
}

TEST(RadarGrid, CellOutsideTheRadarGridStopsTheRun) {
    temp_dir dir;
    const std::string path = dir.file("r1.asc");
    write_file(path, radar_text("1 2\n3 4\n5 6\n"));
    run_state_ptr rs = make_state({{5.0, 25.0}, {25.0, 5.0}}, 10.0);
    testing::internal::CaptureStdout();
    map_cells_to_radar(*rs, path.c_str());
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "Error!! p_I=2, p_J=2\n");
    EXPECT_EQ(error_record.code, 102);
    EXPECT_EQ(error_record.stop, 1);
    clear_error();
}

TEST(RadarGrid, UnreadableFilesAreRefused) {
    temp_dir dir;
    const std::string good = dir.file("good.asc");
    write_file(good, radar_text("1 2\n3 4\n5 6\n"));
    const std::string other = dir.file("other.asc");
    write_file(other, "ncols 3\nnrows 3\nxllcorner 0\nyllcorner 0\ncellsize 10\nNODATA_value -1\n"
                      "1 2 3\n4 5 6\n7 8 9\n");
    const std::string short_file = dir.file("short.asc");
    write_file(short_file, radar_text("1 2\n3\n"));
    const std::string no_size = dir.file("nosize.asc");
    write_file(no_size, "ncols 2\nnrows 3\nxllcorner 0\nyllcorner 0\ncellsize 0\nNODATA_value -1\n");

    radar_grid grid;
    ASSERT_EQ(read_radar_header(grid, good.c_str()), 0);
    testing::internal::CaptureStdout();
    EXPECT_EQ(read_radar_grid(grid, dir.file("missing.asc").c_str(), 1), -1);
    EXPECT_EQ(read_radar_grid(grid, other.c_str(), 1), -1);
    EXPECT_EQ(read_radar_grid(grid, short_file.c_str(), 1), -1);
    radar_grid fresh;
    EXPECT_EQ(read_radar_header(fresh, no_size.c_str()), -1);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Error in reading radar precip file " + short_file), std::string::npos);
    EXPECT_NE(out.find("line 5 of the radar file " + no_size), std::string::npos);
}
