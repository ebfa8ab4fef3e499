// The hydrometeorological reader and the long-term hmet step: the four
// formats converted into one record, missing values replaced by remembered
// ones, hour 24 carried into the next day, exactly N records served, the
// orographic spread, bad files refused naming file and line, and the step
// that matches the records to the model hours.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "core/alloc.h"
#include "core/dates.h"
#include "core/text.h"
#include "hydromet/hmet_reader.h"
#include "hydromet/hydromet.h"
#include "pluvo_test.h"
#include "rain_test_support.h"

using pluvo_test::temp_dir;
using pluvo_test::write_file;
using rain_test::run_state_ptr;

namespace {

constexpr double kHour = 1.0 / 24.0;   // days

enum class fmt { kev, samson, surfaways, grid };

// A SAMSON data line with every field at its columns.
std::string samson_line(int y, int mo, int d, int h, double direct, double global, int sky,
                        double temp, int rh, int press, double wind) {
    std::string s(85, ' ');
    auto put = [&](int from, int to, const std::string& text) {
        const int width = to - from + 1;
        std::string t = text.size() < static_cast<size_t>(width)
                            ? std::string(static_cast<size_t>(width) - text.size(), ' ') + text
                            : text.substr(0, static_cast<size_t>(width));
        s.replace(static_cast<size_t>(from - 1), static_cast<size_t>(width), t);
    };
    char b[32];
    auto num = [&](const char* f, double v) {
        std::snprintf(b, sizeof b, f, v);
        return std::string(b);
    };
    put(2, 3, num("%02.0f", y % 100));
    put(5, 6, num("%2.0f", mo));
    put(8, 9, num("%2.0f", d));
    put(11, 12, num("%2.0f", h));
    put(34, 37, num("%4.0f", direct));
    put(42, 45, num("%4.0f", global));
    put(50, 51, num("%2.0f", sky));
    put(56, 60, num("%5.1f", temp));
    put(68, 70, num("%3.0f", rh));
    put(72, 75, num("%4.0f", press));
    put(80, 85, num("%6.1f", wind));
    return s + "\n";
}

const char* kSamsonHeader =
    "~      STATION-ID-CHARACTERS  X     N40 01 W105 15\n~ YR MO DA HR I    1    2\n";

// A Surface Airways line: element, date and (hour, value) groups.
std::string airways_line(const char* code, int y, int mo, int d,
                         const std::vector<std::pair<int, long>>& groups) {
    char head[64];
    std::snprintf(head, sizeof head, "12345678901%-4s  %04d%02d  %02d%03d", code, y, mo, d,
                  static_cast<int>(groups.size()));
    std::string s = head;
    for (const auto& g : groups) {
        char grp[16];
        std::snprintf(grp, sizeof grp, "%02d00 %05ld  ", g.first, g.second);
        s += grp;
    }
    return s + "\n";
}

// One day of Surface Airways data with the same value at every hour.
std::string airways_day(int y, int mo, int d, long tm, long rh, long ts, long wi) {
    std::vector<std::pair<int, long>> t, r, c, w;
    for (int h = 0; h < 24; ++h) {
        t.emplace_back(h, tm);
        r.emplace_back(h, rh);
        c.emplace_back(h, ts);
        w.emplace_back(h, wi);
    }
    return airways_line("TMPD", y, mo, d, t) + airways_line("RHUM", y, mo, d, r) +
           airways_line("TSKC", y, mo, d, c) + airways_line("WIND", y, mo, d, w) +
           airways_line("PRES", y, mo, d, {{0, 29920}});
}

// A one-row ASCII grid of the given values (cells of 10 m from x = 0).
std::string grid_map(const std::vector<double>& v) {
    std::string s = "ncols " + std::to_string(v.size()) +
                    "\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 10\nNODATA_value -9999\n";
    for (double x : v) s += std::to_string(x) + " ";
    return s + "\n";
}

// A run state of `cells` cells in a row, reading `text` in format f.
struct reader_case {
    temp_dir dir;
    run_state_ptr rs;

    reader_case(fmt f, const std::string& text, int cells = 2) : rs(rain_test::make_row(cells, 10.0)) {
        const std::string path = dir.file("hmet.dat");
        write_file(path, text);
        EXPECT_TRUE(open_file_named(rs->hmet_data_file, path.c_str(), "r"));
        rs->long_term = 1;
        rs->quiet = 1;
        rs->hmet_kev = f == fmt::kev;
        rs->hmet_samson = f == fmt::samson;
        rs->hmet_surfaways = f == fmt::surfaways;
        rs->hmet_ascii = f == fmt::grid;
        rs->elevation.assign(static_cast<size_t>(cells) + 1, 0.0);
    }
    // The counting call; its result.
    int count(std::string* out = nullptr) {
        testing::internal::CaptureStdout();
        const int r = read_hmet_record(*rs);
        const std::string text = testing::internal::GetCapturedStdout();
        if (out) *out = text;
        return r;
    }
};

std::string kev_line(int y, int mo, int d, int h, const char* rest) {
    char b[128];
    std::snprintf(b, sizeof b, "%d %d %d %d %s\n", y, mo, d, h, rest);
    return b;
}

// Hourly KEV lines from 2001-06-01 00:00 with the given temperatures (F).
std::string kev_hours(const std::vector<int>& temps_f) {
    std::string s;
    for (size_t k = 0; k < temps_f.size(); ++k) {
        char rest[96];
        std::snprintf(rest, sizeof rest, "29.92 50 40 10 %d 100.0 200.0", temps_f[k]);
        s += kev_line(2001, 6, 1 + static_cast<int>(k / 24), static_cast<int>(k % 24), rest);
    }
    return s;
}

}  // namespace

// Good files of every format: the record each data call serves, checked on
// the values the format defines (unit conversions, memory for missing
// values, hour 24, defaults), and exactly N records before -1.
TEST(HmetReader, EachFormatServesItsRecordsConverted) {
    struct good_case {
        const char* what;
        fmt f;
        std::function<std::string(const temp_dir&)> text;
        int records;                                   // count the counting call finds
        int serve;                                     // data calls made before the check
        std::function<void(const run_state&)> check;   // on the record served last
    };
    const double c10 = (50.0 - 32.0) * 5.0 / 9.0;   // 50 F in C
    const std::vector<good_case> cases = {
        {"KEV conversions", fmt::kev,
         [](const temp_dir&) { return kev_line(2001, 6, 1, 0, "29.92 50 40 10 50 100.5 200.25"); },
         1, 1,
         [&](const run_state& rs) {
             const hmet_record& c = rs.hmet_current;
             EXPECT_NEAR(c.pressure, 1013.25, 1e-9);
             EXPECT_DOUBLE_EQ(c.rel_humidity, 50.0);
             EXPECT_DOUBLE_EQ(c.cloud_cover, 4.0);
             EXPECT_NEAR(c.wind_speed, 5.14444, 1e-12);
             EXPECT_NEAR(c.air_temp, c10, 1e-12);
             EXPECT_DOUBLE_EQ(c.direct_rad, 100.5);
             EXPECT_DOUBLE_EQ(c.global_rad, 200.25);
         }},
        {"KEV missing temperature takes the same hour's", fmt::kev,
         [](const temp_dir&) {
             std::vector<int> t(30, 68);
             t[5] = 50;     // day 1, 05:00
             t[28] = 999;   // day 2, 04:00: remembered 04:00 is 68 F
             t[29] = 999;   // day 2, 05:00: remembered 05:00 is 50 F
             return kev_hours(t);
         },
         30, 30,
         [&](const run_state& rs) {
             EXPECT_NEAR(rs.hmet_current.air_temp, c10, 1e-12);
             EXPECT_EQ(rs.hmet_current.hour, 5);
             EXPECT_EQ(rs.hmet_missing_count, 2);
         }},
        {"KEV file starting with a missing value takes the first valid one", fmt::kev,
         [](const temp_dir&) { return kev_hours({999, 50}); }, 2, 1,
         [&](const run_state& rs) { EXPECT_NEAR(rs.hmet_current.air_temp, c10, 1e-12); }},
        {"KEV hour 24 is hour 0 of the next day", fmt::kev,
         [](const temp_dir&) {
             return kev_line(2001, 6, 30, 23, "29.92 50 40 10 50 0 0") +
                    kev_line(2001, 6, 30, 24, "29.92 50 40 10 50 0 0");
         },
         2, 2,
         [](const run_state& rs) {
             EXPECT_EQ(rs.hmet_current.month, 7);
             EXPECT_EQ(rs.hmet_current.day, 1);
             EXPECT_EQ(rs.hmet_current.hour, 0);
         }},
        {"empty KEV", fmt::kev, [](const temp_dir&) { return std::string(); }, 0, 0,
         [](const run_state&) {}},
        {"SAMSON hour 24 on December 31", fmt::samson,
         [](const temp_dir&) {
             return std::string(kSamsonHeader) +
                    samson_line(1990, 12, 31, 23, 10, 20, 5, 12.5, 40, 850, 3.5) +
                    samson_line(1990, 12, 31, 24, 9999, 30, 99, 999.9, 999, 9999, 9999);
         },
         2, 2,
         [](const run_state& rs) {
             const hmet_record& c = rs.hmet_current;
             EXPECT_EQ(c.year, 1991);
             EXPECT_EQ(c.month, 1);
             EXPECT_EQ(c.day, 1);
             EXPECT_EQ(c.hour, 0);
             EXPECT_DOUBLE_EQ(c.global_rad, 30.0);
             // Missing: hour 0 was never seen, so the last valid values.
             EXPECT_DOUBLE_EQ(c.direct_rad, 10.0);
             EXPECT_DOUBLE_EQ(c.air_temp, 12.5);
             EXPECT_DOUBLE_EQ(c.cloud_cover, 5.0);
             EXPECT_DOUBLE_EQ(c.pressure, 850.0);
             EXPECT_DOUBLE_EQ(c.wind_speed, 3.5);
             EXPECT_STREQ(rs.hmet_station, "STATION-ID-CHARACTERS ");
         }},
        {"Surface Airways day decoded by hour", fmt::surfaways,
         [](const temp_dir&) {
             // TS 00507: 7 tenths; WI 27010: 10 knots from direction 27.
             return airways_day(2001, 6, 1, 50, 60, 507, 27010) +
                    airways_line("DRAD", 2001, 6, 1, {{12, 1234}}) +
                    airways_day(2001, 6, 2, 68, 99999, 99905, 27999);
         },
         48, 37,   // day 2, 12:00
         [&](const run_state& rs) {
             const hmet_record& c = rs.hmet_current;
             EXPECT_EQ(c.day, 2);
             EXPECT_EQ(c.hour, 12);
             EXPECT_NEAR(c.air_temp, 20.0, 1e-12);
             EXPECT_DOUBLE_EQ(c.rel_humidity, 60.0);   // missing: day 1, 12:00
             EXPECT_DOUBLE_EQ(c.cloud_cover, 7.0);     // missing: last value
             EXPECT_NEAR(c.wind_speed, 10 * 0.514444, 1e-12);
             EXPECT_DOUBLE_EQ(c.direct_rad, 123.4);    // remembered 12:00
             EXPECT_DOUBLE_EQ(c.global_rad, 0.0);      // never given
             EXPECT_NEAR(c.pressure, 29920 * 33.86530748663101 / 1000, 1e-9);
         }},
        {"gridded without _WndS.asc gives 3.0; a no-data cell keeps its last value", fmt::grid,
         [](const temp_dir& d) {
             const std::string a = d.file("rec2001060100"), b = d.file("rec2001060101");
             for (const std::string& w : {a, b}) {
                 write_file(w + "_Clod.asc", grid_map({50, 50}));
                 write_file(w + "_Pres.asc", grid_map({29.92, 29.92}));
                 write_file(w + "_RlHm.asc", grid_map({40, 60}));
                 // One map cell only: cell 2 lies off it and takes its edge.
                 write_file(w + "_Drad.asc", grid_map({100}));
                 write_file(w + "_Grad.asc", grid_map({200, 200, 999}));
             }
             write_file(a + "_Temp.asc", grid_map({50, 68}));
             write_file(b + "_Temp.asc", grid_map({32, -9999}));
             write_file(a + "_WndS.asc", grid_map({7, 7}));
             return a + "\n" + b + "\n";
         },
         2, 2,
         [](const run_state& rs) {
             EXPECT_DOUBLE_EQ(rs.hmet_cell_wind[1], 3.0);
             EXPECT_DOUBLE_EQ(rs.hmet_cell_wind[2], 3.0);
             EXPECT_NEAR(rs.hmet_cell_temp[1], 0.0, 1e-12);
             EXPECT_NEAR(rs.hmet_cell_temp[2], 20.0, 1e-12);   // not (-9999 - 32) 5/9
             EXPECT_NEAR(rs.hmet_current.air_temp, 10.0, 1e-12);
             EXPECT_DOUBLE_EQ(rs.hmet_cell_cloud[1], 5.0);
             EXPECT_NEAR(rs.hmet_cell_pressure[2], 1013.25, 1e-9);
             EXPECT_DOUBLE_EQ(rs.hmet_cell_rel_humidity[2], 60.0);
             EXPECT_DOUBLE_EQ(rs.hmet_cell_global_rad[1], 200.0);
             EXPECT_DOUBLE_EQ(rs.hmet_cell_global_rad[2], 200.0);
             EXPECT_DOUBLE_EQ(rs.hmet_cell_direct_rad[2], 100.0);
             EXPECT_EQ(rs.hmet_current.hour, 1);
         }},
    };
    for (const good_case& c : cases) {
        SCOPED_TRACE(c.what);
        temp_dir files;
        reader_case k(c.f, c.text(files));
        std::string out;
        ASSERT_EQ(k.count(&out), 0) << out;
        ASSERT_EQ(k.rs->hmet_record_count, c.records);
        for (int i = 1; i <= c.serve; ++i) ASSERT_EQ(read_hmet_record(*k.rs), i) << out;
        c.check(*k.rs);
        // Exactly N records, then the end of the data, again and again.
        for (int i = c.serve + 1; i <= c.records; ++i) ASSERT_EQ(read_hmet_record(*k.rs), i);
        EXPECT_EQ(read_hmet_record(*k.rs), -1);
        EXPECT_EQ(read_hmet_record(*k.rs), -1);
        EXPECT_EQ(error_record.code, 0);
    }
}

// Bad files: the counting call refuses them with a message naming the file
// and the line.
TEST(HmetReader, BadFilesAreRefusedNamingFileAndLine) {
    struct bad_case {
        const char* what;
        fmt f;
        std::string text;
        const char* message;   // expected in the output
        const char* where;     // the line, as the message gives it
    };
    const std::string ok = "29.92 50 40 10 50 0 0";
    const std::vector<bad_case> cases = {
        {"KEV line of 10 fields", fmt::kev,
         kev_line(2001, 6, 1, 0, ok.c_str()) + "2001 6 1 1 29.92 50 40 10 50 0\n",
         "Problem encountered in hmet_KEV file, line 2, near parameter 11", "hmet.dat"},
        {"KEV line of 12 fields", fmt::kev, kev_line(2001, 6, 1, 0, (ok + " 7").c_str()),
         "line 1, near parameter 12", "hmet.dat"},
        {"KEV real where an integer belongs", fmt::kev, "2001 6 1 0 29.92 50.5 40 10 50 0 0\n",
         "line 1, near parameter 6", "hmet.dat"},
        {"KEV infinite pressure", fmt::kev, "2001 6 1 0 inf 50 40 10 50 0 0\n",
         "line 1, near parameter 5", "hmet.dat"},
        {"KEV humidity above 100", fmt::kev, kev_line(2001, 6, 1, 0, "29.92 150 40 10 50 0 0"),
         "the relative humidity (%) 150 is outside its range: it must be at least 0 and at most "
         "100", "line 1)"},
        // Values far outside what the weather can give: 9000 F, 1e6 inHg and 1e6 knots.
        {"KEV temperature 9000 F", fmt::kev, kev_line(2001, 6, 1, 0, "29.92 50 40 10 9000 0 0"),
         "the air temperature (C) 4982.22 is outside its range: it must be at least -80 and at "
         "most 60", "line 1)"},
        {"KEV pressure 1e6 inHg", fmt::kev, kev_line(2001, 6, 1, 0, "1e6 50 40 10 50 0 0"),
         "the barometric pressure (mb) 3.38653e+07 is outside its range", "line 1)"},
        {"KEV wind 1e6 knots", fmt::kev, kev_line(2001, 6, 1, 0, "29.92 50 40 1000000 50 0 0"),
         "the wind speed (m/s) 514444 is outside its range", "line 1)"},
        {"KEV gap of an hour", fmt::kev,
         kev_line(2001, 6, 1, 0, ok.c_str()) + kev_line(2001, 6, 1, 2, ok.c_str()),
         "does not follow the record of 2001/6/1 00:00", "line 2)"},
        {"KEV repeated hour", fmt::kev,
         kev_line(2001, 6, 1, 0, ok.c_str()) + kev_line(2001, 6, 1, 1, ok.c_str()) +
             kev_line(2001, 6, 1, 1, ok.c_str()),
         "does not follow", "line 3)"},
        {"KEV no such date", fmt::kev, kev_line(2001, 2, 30, 0, ok.c_str()),
         "is not a calendar date", "line 1)"},
        {"KEV without any valid temperature", fmt::kev,
         kev_line(2001, 6, 1, 0, "29.92 50 40 10 999 0 0"), "no valid air temperature",
         "hmet.dat"},
        {"SAMSON short line", fmt::samson,
         std::string(kSamsonHeader) + samson_line(1990, 6, 1, 1, 0, 0, 5, 10, 40, 850, 3) +
             samson_line(1990, 6, 1, 2, 0, 0, 5, 10, 40, 850, 3).substr(0, 62) + "\n",
         "relative humidity of a SAMSON record (columns 68-70)", "line 4)"},
        {"Surface Airways hour 2400", fmt::surfaways,
         airways_line("TMPD", 2001, 6, 1, {{23, 50}, {24, 50}}), "group 2 names hour 2400",
         "line 1)"},
        {"Surface Airways more groups than hours", fmt::surfaways,
         airways_line("TMPD", 2001, 6, 1, std::vector<std::pair<int, long>>(25, {1, 50})),
         "25 value groups on one line", "line 1)"},
        {"Surface Airways days apart", fmt::surfaways,
         airways_day(2001, 6, 1, 50, 60, 5, 10) + airways_day(2001, 6, 3, 50, 60, 5, 10),
         "does not follow the day 2001/6/1", "line 6)"},
        {"gridded word without a date", fmt::grid, "rec20010601\n",
         "Problem encountered in hmet_ASCII file, line 1", "hmet.dat"},
    };
    for (const bad_case& c : cases) {
        SCOPED_TRACE(c.what);
        rain_test::clear_error();
        reader_case k(c.f, c.text);
        std::string out;
        EXPECT_EQ(k.count(&out), -1);
        EXPECT_EQ(error_record.code, kErrorPrinted);
        EXPECT_NE(out.find(c.message), std::string::npos) << out;
        EXPECT_NE(out.find(c.where), std::string::npos) << out;
        rain_test::clear_error();
    }
}

// Surface Airways elements of different day counts stop the count with the
// message of the element that differs from the temperature.
TEST(HmetReader, SurfaceAirwaysElementCountsMustAgree) {
    auto hours = [](long v) {
        std::vector<std::pair<int, long>> g;
        for (int h = 0; h < 24; ++h) g.emplace_back(h, v);
        return g;
    };
    const std::string text = airways_line("TMPD", 2001, 6, 1, hours(50)) +
                             airways_line("TSKC", 2001, 6, 1, hours(5)) +
                             airways_line("WIND", 2001, 6, 1, hours(27010));
    reader_case k(fmt::surfaways, text);
    std::string out;
    EXPECT_EQ(k.count(&out), -1);
    EXPECT_NE(out.find("days of rel. humidity data than temperature data"), std::string::npos)
        << out;
    rain_test::clear_error();
}

// A gridded record whose temperature map is missing for a cell never read
// before cannot be served: the message names the map and the cell.
TEST(HmetReader, GriddedValueNeverReadIsRefused) {
    temp_dir d;
    const std::string w = d.file("rec2001060100");
    write_file(w + "_Clod.asc", grid_map({50, 50}));
    write_file(w + "_Pres.asc", grid_map({29.92, 29.92}));
    write_file(w + "_RlHm.asc", grid_map({40, 60}));
    write_file(w + "_Temp.asc", grid_map({50, -9999}));
    write_file(w + "_Drad.asc", grid_map({1, 1}));
    write_file(w + "_Grad.asc", grid_map({1, 1, 1}));   // more columns: read by its own header
    reader_case k(fmt::grid, w + "\n");
    ASSERT_EQ(k.count(), 0);
    testing::internal::CaptureStdout();
    EXPECT_EQ(read_hmet_record(*k.rs), -2);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Temperature of cell 2 is missing from the record " + w + "_Temp.asc"),
              std::string::npos)
        << out;
    rain_test::clear_error();
}

// Orographic temperature: cells take the record's temperature plus the lapse
// rate times their height above the hmet gage, the lapse rate from the card
// or from the second gage of each record; a gage line of another date is
// refused naming the file and the line.
TEST(HmetReader, OrographicTemperatureFollowsElevation) {
    const std::string kev = kev_hours({50, 50});   // 10 C
    struct orog_case {
        const char* what;
        const char* gage_lines;   // nullptr: card lapse rate -5 per 1000 m
        double cell2_temp;        // cell 2 at 1500 m, gage at 1000 m, C
        bool refused;
    };
    const orog_case cases[] = {
        {"card lapse rate", nullptr, 10.0 - 2.5, false},
        {"second gage 6.5 C colder 1000 m higher", "2001 6 1 0 3.5\n2001 6 1 1 3.5\n",
         10.0 - 3.25, false},
        {"gage line of another hour", "2001 6 1 0 3.5\n2001 6 1 2 3.5\n", 0.0, true},
    };
    for (const orog_case& c : cases) {
        SCOPED_TRACE(c.what);
        reader_case k(fmt::kev, kev);
        run_state& rs = *k.rs;
        rs.orogvar_hmet = 1;
        rs.hmet_ref_elevation = 1000.0;
        rs.hmet_working_lapse = -5.0;
        rs.elevation = {0.0, 1000.0, 1500.0};
        if (c.gage_lines != nullptr) {
            const std::string path = k.dir.file("orog.dat");
            write_file(path, std::string("a b\nelev 1000 gage 2000\nyr mo dy hr temp\n") +
                                 c.gage_lines);
            ASSERT_TRUE(open_file_named(rs.hmet_orog_file, path.c_str(), "r"));
            text_line line;
            for (int i = 0; i < 3; ++i) read_line(line, rs.hmet_orog_file);
            rs.hmet_orog_gages = 1;
            rs.orog_gage_elevation = 2000.0;
        }
        ASSERT_EQ(k.count(), 0);
        ASSERT_EQ(read_hmet_record(rs), 1);
        testing::internal::CaptureStdout();
        const int second = read_hmet_record(rs);
        const std::string out = testing::internal::GetCapturedStdout();
        if (c.refused) {
            EXPECT_EQ(second, -2);
            EXPECT_NE(out.find("line 5 of the orographic gage file"), std::string::npos) << out;
            EXPECT_NE(out.find("orog.dat"), std::string::npos);
            rain_test::clear_error();
            continue;
        }
        ASSERT_EQ(second, 2) << out;
        EXPECT_NEAR(rs.hmet_cell_temp[1], 10.0, 1e-12);
        EXPECT_NEAR(rs.hmet_cell_temp[2], c.cell2_temp, 1e-12);
    }
}

// Card checks of a long-term run: exactly one format card.
TEST(HmetReader, ExactlyOneFormatCard) {
    struct card_case {
        int kev, ascii, samson, airways, pet;
        const char* message;   // nullptr: accepted
    };
    const card_case cases[] = {
        {1, 0, 0, 0, 0, nullptr},
        {0, 0, 0, 1, 0, nullptr},
        {0, 0, 0, 0, 0, "none is given"},
        {0, 0, 0, 0, 1, "the card hmet_ascii_pet alone names a file that no process reads"},
        {1, 1, 0, 0, 0, "the project gives 2: hmet_kev hmet_ascii"},
        {0, 1, 0, 0, 1, "hmet_ascii_pet and hmet_ascii both name"},
    };
    for (const card_case& c : cases) {
        SCOPED_TRACE(c.message ? c.message : "accepted");
        rain_test::clear_error();
        run_state_ptr rs = rain_test::make_row(1, 10.0);
        rs->long_term = 1;
        rs->cards.hmet_kev_given = c.kev;
        rs->cards.hmet_ascii_given = c.ascii;
        rs->cards.hmet_samson_given = c.samson;
        rs->cards.hmet_surfaways_given = c.airways;
        rs->cards.hmet_ascii_pet_given = c.pet;
        testing::internal::CaptureStdout();
        check_hmet_cards(*rs);
        const std::string out = testing::internal::GetCapturedStdout();
        if (c.message == nullptr) {
            EXPECT_EQ(error_record.code, 0) << out;
            EXPECT_DOUBLE_EQ(rs->hmet_working_lapse, -5.0);   // cooler upwards by default
        } else {
            EXPECT_EQ(error_record.code, kErrorPrinted);
            EXPECT_NE(out.find(c.message), std::string::npos) << out;
        }
    }
    rain_test::clear_error();
}

namespace {

// A long-term state at model time `start` reading hourly KEV records from
// 2001-06-01 06:00 (n of them), hmet clock as the start clock leaves it.
struct step_case : reader_case {
    step_case(int n, double start) : reader_case(fmt::kev, hours_from_six(n)) {
        EXPECT_EQ(count(), 0);
        ++rs->hmet_read_count;
        rs->quiet = 0;
        rs->time = start;
        rs->hmet_step_days = kHour;
        rs->hmet_next = start;
        rs->hmet_last = start - kHour;
        rs->running = 1;
    }
    static std::string hours_from_six(int n) {
        std::string s;
        for (int k = 0; k < n; ++k) {
            char rest[96];
            std::snprintf(rest, sizeof rest, "29.92 50 40 10 %d 0 0", 40 + k);
            s += kev_line(2001, 6, 1, 6 + k, rest);
        }
        return s;
    }
    std::string step(double t) {
        rs->time = t;
        double sec = 0.0;
        julian_to_date(t, rs->year, rs->month, rs->day, rs->hour, rs->minute, sec);
        testing::internal::CaptureStdout();
        update_hydromet(*rs);
        return testing::internal::GetCapturedStdout();
    }
};

double at(int hour, int minute = 0) { return julian_day(2001, 6, 1, hour, minute, 0.0); }

}  // namespace

// The step takes the record in force at the start (the last one at or
// before it, the first when the data begin later), then the record of each
// model hour at the first pass at or after it, and ends the run, with the
// event still open, when the records run out.
TEST(HmetStep, RecordsFollowTheModelHours) {
    {
        SCOPED_TRACE("a 06:30 start takes 06:00, then 07:00 at the first pass after it");
        step_case s(3, at(6, 30));
        s.step(at(6, 30));
        EXPECT_EQ(s.rs->hmet_current.hour, 6);
        EXPECT_NEAR(s.rs->hmet_next, at(7), 1e-9);
        s.step(at(6, 53));   // not due
        EXPECT_EQ(s.rs->hmet_current.hour, 6);
        s.step(at(7, 3));    // a 7-minute step passed 07:00
        EXPECT_EQ(s.rs->hmet_current.hour, 7);
        EXPECT_NEAR(s.rs->hmet_next, at(8), 1e-9);
        s.step(at(8));
        EXPECT_EQ(s.rs->hmet_current.hour, 8);
        s.rs->quiet = 1;   // the end of the run is said in a quiet run too
        const std::string out = s.step(at(9));
        EXPECT_EQ(s.rs->running, 0);
        EXPECT_NE(out.find("End of meteorology data reached."), std::string::npos);
    }
    {
        SCOPED_TRACE("a start on a record takes it");
        step_case s(3, at(6));
        s.step(at(6));
        EXPECT_EQ(s.rs->hmet_current.hour, 6);
    }
    {
        SCOPED_TRACE("a start before the data takes the first record");
        step_case s(3, at(5, 30));
        s.step(at(5, 30));
        EXPECT_EQ(s.rs->hmet_current.hour, 6);
        EXPECT_NEAR(s.rs->hmet_next, at(7), 1e-9);
    }
    {
        SCOPED_TRACE("a clock that jumped three hours takes the record of its hour");
        step_case s(6, at(6));
        s.step(at(6));
        s.step(at(9));
        EXPECT_EQ(s.rs->hmet_current.hour, 9);
        EXPECT_NEAR(s.rs->hmet_next, at(10), 1e-9);
        EXPECT_EQ(error_record.code, 0);
    }
    {
        SCOPED_TRACE("the end of data during the last event ends the event and the run");
        step_case s(1, at(6));
        s.rs->event_active = 1;
        s.rs->event_index = s.rs->num_events = 2;
        s.step(at(6));
        s.step(at(7));
        EXPECT_EQ(s.rs->running, 0);
        EXPECT_EQ(s.rs->event_active, 0);
        EXPECT_EQ(s.rs->event_ended, 1);
        EXPECT_EQ(s.rs->finish_pending, 1);
        EXPECT_DOUBLE_EQ(s.rs->hmet_next, -10.0);
    }
    {
        SCOPED_TRACE("a record that is not the model hour");
        step_case s(3, at(6));
        s.step(at(6));
        s.rs->hmet_next = at(7, 30);   // the model hours no longer meet the records
        const std::string out = s.step(at(7, 30));
        EXPECT_EQ(error_record.code, kErrorPrinted);
        EXPECT_NE(out.find(std::string("2001/6/1 07:00 (file ") + s.rs->hmet_records.file_name +
                           ", line 2) is not the record of the model hour"),
                  std::string::npos)
            << out;
        rain_test::clear_error();
    }
    {
        SCOPED_TRACE("a start after the last record is refused");
        step_case s(3, at(9));
        testing::internal::CaptureStdout();
        check_hmet_start(*s.rs);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(error_record.code, kErrorPrinted);
        EXPECT_NE(out.find("after the last record"), std::string::npos) << out;
        rain_test::clear_error();
        s.rs->time = at(8);
        check_hmet_start(*s.rs);
        EXPECT_EQ(error_record.code, 0);
    }
}

// The hourly report counts only cells outside lakes: with every cell in a
// lake it writes zero means and 999.99 for the layer means (no division by
// zero cells); otherwise the layer means are water over thickness.
TEST(HmetStep, ReportMeansOverCellsOutsideLakes) {
    for (bool all_lake : {true, false}) {
        SCOPED_TRACE(all_lake ? "every cell a lake cell" : "no lake cell");
        step_case s(2, at(6));
        run_state& rs = *s.rs;
        const std::string path = s.dir.file("evap_out");
        ASSERT_TRUE(open_file_named(rs.evap_out_file, path.c_str(), "w"));
        rs.inf_redist = 1;
        rs.lakes = 1;
        rs.oland_lake_mask.assign(3, all_lake ? 1 : 0);
        rs.top_layer_depth = 10.0;   // cm
        rs.soil_moist_depth = 40.0;  // cm
        rs.root_zone_upper = {0.0, 2.0, 4.0};    // cm of water
        rs.root_zone_lower = {0.0, 6.0, 12.0};
        rs.cell_size = 10.0;                     // m
        rs.vol_infiltration = 2.0 * 100.0 * 0.02;   // m3 over the hour: 2 cm/h on both cells
        s.step(at(6));
        close_file_object(rs.evap_out_file);
        const std::string row = pluvo_test::read_file(path);
        double v[9];
        ASSERT_EQ(std::sscanf(row.c_str(), "2001/6/1   6:00 %lf %lf %lf %lf %lf %lf %lf %lf %lf",
                              &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7], &v[8]),
                  9)
            << row;
        for (double x : v) EXPECT_TRUE(std::isfinite(x)) << row;
        if (all_lake) {
            EXPECT_DOUBLE_EQ(v[3], 0.0);
            EXPECT_DOUBLE_EQ(v[7], 999.99);
            EXPECT_DOUBLE_EQ(v[8], 999.99);
        } else {
            EXPECT_DOUBLE_EQ(v[3], 2.0);                        // mean infiltration, cm/h
            EXPECT_NEAR(v[7], (0.2 + 0.4) / 2, 1e-6);           // upper water / 10 cm
            EXPECT_NEAR(v[8], (6.0 / 30 + 12.0 / 30) / 2, 1e-6);   // lower water / 30 cm
        }
    }
}

// Each hmet step evaporates the channel-network lakes by the record's
// weather: E = a^-0.05 x 1.69e-4 x (W x 86.4) x (1 - RH/100) x 6.11
// exp(17.3 T / (T + 273.3)) / 24 x A / 100 m3 with a the area in km2 (at
// least 1e-6), W m/s, T deg C; the level falls by E / A. The records of
// step_case hold RH 50 %, wind 10 knots and 40, 41 deg F.
TEST(HmetStep, ChannelLakesLoseTheHoursEvaporation) {
    step_case s(2, at(6));
    run_state& rs = *s.rs;
    rs.rows = 1;
    rs.cols = 2;
    alloc_int_2d(rs.mask, 2, 3, "mask");
    rs.mask[1][1] = 1;
    rs.mask[1][2] = 2;
    rs.elevation = {0.0, 100.0, 101.0};
    rs.channel_lakes = 1;
    rs.num_channel_lakes = 1;
    rs.lake_mask = {0, 1, 0};
    rs.new_flooded_grid = {0, 0, 0};
    rs.lake_numpts = {0, 2};
    rs.lake_search = {{}, {{0, 0, 0}, {0, 1, 1}, {0, 1, 2}, {0, 0, 0}}};
    const double A = 100.0;   // one 10-m cell, m2
    rs.lake_volume = {0.0, 50.0};
    rs.prevlake_volume = {0.0, 50.0};
    rs.lake_elev = {0.0, 100.5};
    rs.lake_area = {0.0, A};
    rs.lake_cells = {0, 1};
    rs.cumulative_lake_evap = {0.0, 0.0};
    rs.lake_in_dv = {0.0, 0.0};
    auto hour_evaporation = [&](double fahrenheit) {
        const double W = 10 * 0.514444, T = (fahrenheit - 32.0) * 5.0 / 9.0;
        return std::pow(1e-4, -0.05) * 1.69e-4 * (W * 86.4) * 0.5 * 6.11 *
               std::exp(17.3 * T / (T + 273.3)) / 24.0 * A / 100.0;
    };
    s.step(at(6));
    const double e1 = hour_evaporation(40.0);
    EXPECT_NEAR(rs.vol_lake_evaporation, e1, 1e-12);
    EXPECT_NEAR(rs.lake_volume[1], 50.0 - e1, 1e-12);
    EXPECT_NEAR(rs.lake_elev[1], 100.5 - e1 / A, 1e-12);
    s.step(at(7));
    const double e2 = hour_evaporation(41.0);
    EXPECT_GT(e2, e1);   // warmer air
    EXPECT_NEAR(rs.vol_lake_evaporation, e1 + e2, 1e-12);
    EXPECT_NEAR(rs.cumulative_lake_evap[1], e1 + e2, 1e-12);
    EXPECT_NEAR(rs.lake_volume[1], 50.0 - e1 - e2, 1e-12);
    EXPECT_EQ(rs.lake_cells[1], 1);
}

// With Richards columns the reported water content is that of each column's
// top node, whatever the display array held before.
TEST(HmetStep, RichardsReportTakesTheTopNodes) {
    step_case s(2, at(6));
    run_state& rs = *s.rs;
    const std::string path = s.dir.file("evap_out");
    ASSERT_TRUE(open_file_named(rs.evap_out_file, path.c_str(), "w"));
    rs.inf_richards = 1;
    rs.theta_all = {0.0, 0.5, 0.5};
    rs.richards_theta = {{}, {0.0, 0.10, 0.3}, {0.0, 0.20, 0.3}};
    s.step(at(6));
    close_file_object(rs.evap_out_file);
    double theta = 0.0;
    const std::string row = pluvo_test::read_file(path);
    ASSERT_EQ(std::sscanf(row.c_str(), "2001/6/1   6:00 %lf", &theta), 1) << row;
    EXPECT_NEAR(theta, 0.15, 1e-12);
    EXPECT_NEAR(rs.avg_theta, 0.15, 1e-12);
}
