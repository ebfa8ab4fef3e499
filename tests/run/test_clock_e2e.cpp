// Time steps that do not divide the hour and starts off the hour, through
// the program. Every process step acts in the first pass at or after its
// time with the time elapsed since its last step, so a long-term run takes
// the same evapotranspiration whatever its step and start, writes one
// "evap_out" row per record hour labelled with the record's hour, rains the
// recorded rain and ends with its records; a single-event run rains its
// uniform rain for exactly its duration and ends at TOT_TIME. The balances
// close in every case.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "fixture.h"
#include "pluvo_test.h"

using namespace pluvo_test;

namespace {

constexpr int kRows = 3, kCols = 3;
constexpr double kCell = 30.0;                                  // m
constexpr double kArea = kRows * kCols * kCell * kCell;         // m2
constexpr int kDays = 3;
constexpr double kEventRate = 5.0;                              // mm/h for one hour

// The grid of the plane: 3 x 3 cells of 30 m.
grid_spec plane_grid() {
    grid_spec g;
    g.rows = kRows;
    g.cols = kCols;
    g.cell = kCell;
    g.north = kRows * kCell;
    return g;
}

// Ground of the plane, m: falling 0.3 m a row to the south.
double plane_ground(int r, int) { return 100.0 + 0.01 * kCell * (kRows - r); }

// A uniform map of the plane.
struct uniform_map {
    const char* card;
    const char* file;   // in the project folder
    double value;
};

// Writes each map and names it on its card.
void add_uniform_maps(project_file& p, const std::string& dir, const std::vector<uniform_map>& maps) {
    for (const uniform_map& m : maps) {
        write_grid(dir + "/" + m.file, plane_grid(), [&](int, int) { return m.value; }, 3);
        p.card(m.card, m.file);
    }
}

// A plane of 3 x 3 cells draining south, its mask and ground.
void write_plane(const std::string& dir) {
    const grid_spec g = plane_grid();
    write_grid(dir + "/mask.asc", g, [](int, int) { return 1.0; }, 0);
    write_grid(dir + "/elev.asc", g, plane_ground, 4);
}

// Three July days of hourly KEV records: sun and wind from 09:00 to 17:00,
// still nights without sun, so that no water evaporates before 09:00 of
// the first day (a start at 06:30 misses no evapotranspiration).
std::string kev_records() {
    std::string s;
    char line[128];
    for (int h = 0; h < kDays * 24; ++h) {
        const bool day = h % 24 >= 9 && h % 24 <= 17;
        std::snprintf(line, sizeof line, "2001 7 %d %d 29.92 40 20 %d %d %.1f %.1f\n", 1 + h / 24,
                      h % 24, day ? 6 : 0, day ? 85 : 60, day ? 500.0 : 0.0, day ? 700.0 : 0.0);
        s += line;
    }
    return s;
}

// A long-term run of the plane: redistribution soils, Penman-Monteith, one
// event of 5 mm/h on day 2 from 20:00 to 21:00 (off the pass grid of a
// 420-s or a 0:05 start with a 600-s step).
project_file long_term_plane(const std::string& dir, double timestep) {
    write_plane(dir);
    const std::vector<uniform_map> maps = {{"ALBEDO", "alb.asc", 0.2},        {"VHEIGHT", "vh.asc", 0.12},
                {"TCOEFF", "tc.asc", 0.5},         {"CANOPY", "can.asc", 70.0},
                {"WILTING_POINT", "wp.asc", 0.08}, {"CONDUCTIVITY", "ks.asc", 0.5},
                {"CAPILLARY", "hc.asc", 10.0},     {"POROSITY", "por.asc", 0.45},
                {"MOISTURE", "moist.asc", 0.3},    {"PORE_INDEX", "pi.asc", 0.4},
                {"RESIDUAL_SAT", "rs.asc", 0.05}};
    project_file p;
    p.card("WATERSHED_MASK", "mask.asc").card("ELEVATION", "elev.asc").card("GRIDSIZE", kCell);
    p.card("ROWS", std::to_string(kRows)).card("COLS", std::to_string(kCols));
    p.card("TOT_TIME", std::to_string(kDays * 1440)).card("TIMESTEP", timestep);
    p.card("OUTROW", std::to_string(kRows)).card("OUTCOL", "2").card("OUTSLOPE", "0.01");
    p.card("HYD_FREQ", "60").card("MAP_FREQ", std::to_string(kDays * 1440));
    p.card("SUMMARY", "lt.sum").card("OUTLET_HYDRO", "lt.otl");
    p.card("MANNING_N", "0.05").card("OVERTYPE", "1").card("PRECIP_FILE", "rain.gag");
    p.card("LONG_TERM").card("HMET_KEV", "hmet.kev").card("ET_CALC_PENMAN");
    p.card("LATITUDE", "40").card("LONGITUDE", "105").card("GMT", "-7");
    add_uniform_maps(p, dir, maps);
    p.card("INF_REDIST").card("SOIL_MOIST_DEPTH", "1.0").card("TOP_LAYER_DEPTH", "0.2");
    p.card("SUPER_QUIET");
    write_file(dir + "/hmet.kev", kev_records());
    write_file(dir + "/rain.gag",
               "EVENT e1\nNRGAG 1\nNRPDS 2\nCOORD 10 10\nRATES 2001 7 2 20 0 5.0\n"
               "RATES 2001 7 2 21 0 0\n");
    return p;
}

struct long_term_result {
    double rain = 0.0, et = 0.0, residual = 0.0;   // m3
    std::vector<std::string> rows;                   // evap_out data rows
    std::string files;                               // evap_out and the global balance
};

long_term_result run_long_term(double timestep, int start_hour, int start_minute, int threads = 0) {
    temp_dir dir;
    project_file p = long_term_plane(dir.path(), timestep);
    if (start_hour >= 0) {
        p.card("START_DATE", "2001 7 1")
            .card("START_TIME", std::to_string(start_hour) + " " + std::to_string(start_minute));
    }
    if (threads > 0) p.card("NUM_THREADS", std::to_string(threads));
    p.write(dir.file("lt.prj"));
    run_result r = run_pluvo({"lt.prj"}, dir.path(), "", {parallel_from_cells_env(4)});
    long_term_result out;
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    const std::string s = read_file(dir.file("lt.sum"));
    const std::vector<double> v = numbers_after_last(s, "Long-term volumes (m3):", 12);
    EXPECT_EQ(v.size(), 12u) << s;
    if (v.size() == 12u) {
        out.rain = v[0];
        out.et = v[2];
        // rain = outlet + evapotranspiration + drainage + change of the stores
        out.residual = v[0] - (v[1] + v[2] + v[3] + (v[5] - v[4]) + (v[7] - v[6]) +
                               (v[9] - v[8]) + (v[11] - v[10]));
    }
    const std::string evap = read_file(dir.file("evap_out"));
    const std::vector<std::string> lines = split_lines(evap);
    for (size_t k = 1; k < lines.size(); ++k)
        if (!lines[k].empty()) out.rows.push_back(lines[k]);
    const size_t at = s.find("GLOBAL MASS BALANCE");
    out.files = evap + "\n--\n" + read_file(dir.file("lt.otl")) + "\n--\n" +
                (at == std::string::npos ? s : s.substr(at));
    return out;
}

}  // namespace

// Steps of 60, 420 and 600 s from the first record, and starts at 00:05 and
// 06:30: every run ends with its records, rains the recorded 5 mm, takes the
// evapotranspiration of the 60-s run within 1 % and closes its balance to
// 1e-9; "evap_out" has one row per record hour from the record in force at
// the start, each labelled with its record's date and hour. (A 420-s step
// used to lose all but 0.3 % of the evapotranspiration and, like the 00:05
// start, never to end once the event was missed.)
TEST(OffHourClock, LongTermRunsTakeTheSameWaterWhateverTheStepAndStart) {
    struct clock_case {
        const char* what;
        double timestep;              // s
        int hour, minute;             // START_TIME; -1: the first record
        int first_hour;               // hour of the first evap_out row
    };
    const clock_case cases[] = {
        {"60 s from the first record", 60.0, -1, 0, 0},
        {"420 s from the first record", 420.0, -1, 0, 0},
        {"600 s from the first record", 600.0, -1, 0, 0},
        {"600 s from 00:05", 600.0, 0, 5, 0},
        {"420 s from 06:30", 420.0, 6, 30, 6},
        {"3600 s from the first record", 3600.0, -1, 0, 0},
    };
    const double recorded = kEventRate / 1000.0 * kArea;   // m3
    double reference_et = 0.0;
    for (const clock_case& c : cases) {
        SCOPED_TRACE(c.what);
        const long_term_result r = run_long_term(c.timestep, c.hour, c.minute);
        EXPECT_NEAR(r.rain, recorded, 1e-9 * recorded);
        EXPECT_NEAR(r.residual, 0.0, 1e-9 * (r.rain + r.et));
        EXPECT_GT(r.et, 0.0);
        if (reference_et == 0.0) reference_et = r.et;
        EXPECT_NEAR(r.et, reference_et, 0.01 * reference_et);
        const int hours = kDays * 24 - c.first_hour;
        ASSERT_EQ(r.rows.size(), static_cast<size_t>(hours));
        for (int k = 0; k < hours; ++k) {
            int y = 0, mo = 0, d = 0, h = 0;
            const std::string& row = r.rows[static_cast<size_t>(k)];
            ASSERT_EQ(std::sscanf(row.c_str(), "%d/%d/%d %d:00", &y, &mo, &d, &h), 4) << row;
            const int hour = c.first_hour + k;
            EXPECT_EQ(d, 1 + hour / 24) << row;
            EXPECT_EQ(h, hour % 24) << row;
        }
    }
}

TEST(OffHourClock, LongTermStepOfFourHundredTwentySecondsOnOneAndEightThreads) {
    const long_term_result one = run_long_term(420.0, 0, 5, 1);
    const long_term_result eight = run_long_term(420.0, 0, 5, 8);
    EXPECT_GT(one.files.size(), 3000u);
    EXPECT_TRUE(one.files == eight.files) << "outputs differ between 1 and 8 threads";
}

// A long-term step longer than the hour of the records is refused by name
// before the run starts.
TEST(OffHourClock, LongTermStepAboveAnHourIsRefused) {
    temp_dir dir;
    long_term_plane(dir.path(), 5400.0).remove("SUPER_QUIET").write(dir.file("lt.prj"));
    run_result r = run_pluvo({"lt.prj"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Error: the model time step of 5400 s (card TIMESTEP) is longer than the "
                         "3600 s between the"),
              std::string::npos)
        << r.out;
    EXPECT_FALSE(file_exists(dir.file("evap_out")) && read_file(dir.file("evap_out")).size() > 200);
}

// Single-event runs of the plane under uniform rain of 36 mm/h for 25
// minutes, on and off the hour, with steps that divide the rain and the hour
// and steps that do not: each rains exactly 36 mm/h x 25 min, ends at
// TOT_TIME (its last pass the first at or after it) and closes its balance.
TEST(OffHourClock, SingleEventRunsRainTheirDurationAndEndAtTheirTime) {
    struct event_case {
        double timestep;   // s
        const char* start; // START_TIME
    };
    const event_case cases[] = {{5.0, "0 0"}, {7.0, "0 0"}, {60.0, "6 30"}, {420.0, "13 17"},
                                {600.0, "0 5"}};
    constexpr int kTotal = 60;   // min
    for (const event_case& c : cases) {
        SCOPED_TRACE(std::to_string(c.timestep) + " s from " + c.start);
        temp_dir dir;
        write_plane(dir.path());
        project_file p;
        p.card("WATERSHED_MASK", "mask.asc").card("ELEVATION", "elev.asc").card("GRIDSIZE", kCell);
        p.card("ROWS", std::to_string(kRows)).card("COLS", std::to_string(kCols));
        p.card("TOT_TIME", std::to_string(kTotal)).card("TIMESTEP", c.timestep);
        p.card("OUTROW", std::to_string(kRows)).card("OUTCOL", "2").card("OUTSLOPE", "0.01");
        p.card("HYD_FREQ", "1").card("MAP_FREQ", std::to_string(kTotal));
        p.card("SUMMARY", "ev.sum").card("OUTLET_HYDRO", "ev.otl");
        p.card("START_DATE", "2020 6 1").card("START_TIME", c.start);
        p.card("PRECIP_UNIF").card("RAIN_INTENSITY", "36").card("RAIN_DURATION", "25");
        p.card("MANNING_N", "0.05").card("OVERTYPE", "1").card("SUPER_QUIET");
        p.write(dir.file("ev.prj"));
        run_result r = run_pluvo({"ev.prj"}, dir.path());
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        const std::string s = read_file(dir.file("ev.sum"));
        const std::vector<double> rain = numbers_after_last(s, "Total amount of precip=", 1);
        ASSERT_EQ(rain.size(), 1u) << s;
        const double expected = 0.036 * 25.0 / 60.0 * kArea;   // m3
        EXPECT_NEAR(rain[0], expected, 0.005 + 1e-9 * expected);   // printed to 2 decimals
        const std::vector<double> error = numbers_after_last(s, "Overall balance, relative error =", 1);
        ASSERT_EQ(error.size(), 1u) << s;
        EXPECT_LT(std::fabs(error[0]), 1e-9) << s;
        // The last pass is the first at or after TOT_TIME.
        const std::vector<std::pair<double, double>> q = read_hydrograph(dir.file("ev.otl"));
        ASSERT_FALSE(q.empty());
        const double last_pass = std::ceil(kTotal * 60.0 / c.timestep - 1e-9) * c.timestep / 60.0;
        EXPECT_LE(q.back().first, last_pass + 1e-6);
        EXPECT_GT(q.back().first, kTotal - c.timestep / 60.0 - 1.0 - 1e-6);
    }
}

// A run inside the QRM host exchanging maps with VEGO under uniform rain has
// no rain file whose flows could end its event: it ends at TOT_TIME like any
// single-event run (it used to run on for ever), with the conductivity VEGO
// gave (36 cm/h, the whole rain soaks in).
TEST(OffHourClock, HostRunWithUniformRainEndsAtItsTime) {
    temp_dir dir;
    write_plane(dir.path());
    project_file p;
    add_uniform_maps(p, dir.path(), {{"CONDUCTIVITY", "ks.asc", 1.0}, {"CAPILLARY", "hc.asc", 10.0},
                                     {"POROSITY", "por.asc", 0.45}, {"MOISTURE", "moist.asc", 0.2}});
    // The VEGO exchange maps lie in the folder "exchange".
    std::filesystem::create_directories(dir.file("exchange"));
    write_grid(dir.file("exchange/vego_ks.asc"), plane_grid(), [](int, int) { return 36.0; }, 3);
    p.card("KSAT_FROM_VEGO", "vego_ks.asc");
    p.card("WATERSHED_MASK", "mask.asc").card("ELEVATION", "elev.asc").card("GRIDSIZE", kCell);
    p.card("ROWS", std::to_string(kRows)).card("COLS", std::to_string(kCols));
    p.card("TOT_TIME", "60").card("TIMESTEP", "30");
    p.card("OUTROW", std::to_string(kRows)).card("OUTCOL", "2").card("OUTSLOPE", "0.01");
    p.card("HYD_FREQ", "1").card("MAP_FREQ", "60").card("SUMMARY", "ev.sum").card("OUTLET_HYDRO", "ev.otl");
    p.card("START_DATE", "2020 6 1").card("START_TIME", "0 0");
    p.card("PRECIP_UNIF").card("RAIN_INTENSITY", "10").card("RAIN_DURATION", "30");
    p.card("MANNING_N", "0.05").card("OVERTYPE", "1").card("GREEN_AMPT");
    p.card("QRM").card("VEGO", "vego.ctl").card("VEGO_FIRST").card("SUPER_QUIET");
    p.write(dir.file("ev.prj"));
    run_result r = run_pluvo({"ev.prj"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::vector<std::pair<double, double>> q = read_hydrograph(dir.file("ev.otl"));
    ASSERT_FALSE(q.empty());
    EXPECT_NEAR(q.back().first, 60.0, 1e-6);
    const std::string s = read_file(dir.file("ev.sum"));
    const std::vector<double> rain = numbers_after_last(s, "Total amount of precip=", 1);
    const std::vector<double> infil = numbers_after_last(s, "Total amount of infiltration=", 1);
    ASSERT_EQ(rain.size(), 1u) << s;
    ASSERT_EQ(infil.size(), 1u) << s;
    EXPECT_NEAR(rain[0], 0.010 * 0.5 * kArea, 0.005);
    EXPECT_NEAR(infil[0], rain[0], 0.01);
}

// The long-term plane without rain over a water table at the ground: no
// root zone is left, and the vegetation draws the whole demand from the
// table (it used to draw none), as much as from the unstressed soil (moist
// above field capacity) of the plane without a table, and charged to the
// cells' bottom flux; the balance closes and 1 and 8 threads write the same
// files.
TEST(OffHourClock, TableAtTheGroundGivesTheWholeDemand) {
    double et[3] = {0.0, 0.0, 0.0};   // m3: no table, table on 1 and on 8 threads
    std::string files[3];
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(k == 0 ? "no water table" : k == 1 ? "table, 1 thread" : "table, 8 threads");
        temp_dir dir;
        project_file p = long_term_plane(dir.path(), 600.0);
        write_file(dir.file("rain.gag"), "EVENT e1\nNRGAG 1\nNRPDS 2\nCOORD 10 10\n"
                                         "RATES 2001 7 2 20 0 0.0\nRATES 2001 7 2 21 0 0\n");
        if (k > 0) {
            write_grid(dir.file("wt.asc"), plane_grid(), plane_ground, 4);
            p.card("WATER_TABLE", "wt.asc").card("NUM_THREADS", k == 1 ? "1" : "8");
        }
        p.write(dir.file("lt.prj"));
        const run_result r = run_pluvo({"lt.prj"}, dir.path(), "", {parallel_from_cells_env(4)});
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        const std::string s = read_file(dir.file("lt.sum"));
        const std::vector<double> v = numbers_after_last(s, "Long-term volumes (m3):", 12);
        ASSERT_EQ(v.size(), 12u) << s;
        et[k] = v[2];
        const std::vector<double> e = numbers_after_last(s, "Overall balance, relative error =", 1);
        ASSERT_EQ(e.size(), 1u) << s;
        EXPECT_LT(std::fabs(e[0]), 1e-9) << s;
        const std::string evap = read_file(dir.file("evap_out"));
        if (k > 0) {
            // Through the first day (before the event) the mean bottom flux
            // falls by the hourly evapotranspiration drawn from the table, cm.
            double drawn = 0.0, bottom = 0.0;
            int rows = 0;
            for (const std::string& line : split_lines(evap)) {
                int day = 0;
                double et_cm = 0.0;
                if (std::sscanf(line.c_str(), "%*d/%*d/%d %*d:00 %*f %*f %lf %*f %lf", &day, &et_cm,
                                &bottom) != 3 || day != 1)
                    continue;
                drawn += et_cm;
                ++rows;
                EXPECT_NEAR(bottom, -drawn, 1e-5 * rows) << line;
            }
            EXPECT_EQ(rows, 24);
            EXPECT_GT(drawn, 0.5);
        }
        const size_t at = s.find("GLOBAL MASS BALANCE");
        files[k] = evap + "\n--\n" + (at == std::string::npos ? s : s.substr(at));
    }
    EXPECT_GT(et[0], 0.01 * kArea);   // over 1 cm in three July days
    EXPECT_NEAR(et[1], et[0], 1e-6 * et[0]);
    EXPECT_TRUE(files[1] == files[2]) << "outputs differ between 1 and 8 threads";
}
