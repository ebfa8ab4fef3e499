// Snow pack: the temperature-index melt against its analytic rate, the
// seasonal melt factor, water conservation of every method (rain never
// counted twice, held liquid never released twice), the parameter set-up
// from cards and elevation bands, and the snow routine on a run state.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>

#include "core/error.h"
#include "hydromet/rain_apply.h"
#include "hydromet/snow.h"
#include "hydromet/snow_melt.h"
#include "pluvo_test.h"
#include "rain_test_support.h"

using namespace pluvo_test;

namespace {

std::string captured(const std::function<void()>& f) {
    testing::internal::CaptureStdout();
    f();
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

// Forcing of an hour (or a part of it) on June 21 from the hydromet step.
snow_forcing warm(double T, double seconds = 3600.0) {
    snow_forcing f;
    f.air_temp = T;
    f.seconds = seconds;
    f.from_hmet = true;
    f.month = 6;
    f.day = 21;
    return f;
}

// Melt factor 1 mm/(degree C 6 h) all year.
snow_params flat_factor(double plwhc) {
    snow_params p;
    p.mf_max = 1.0;
    p.mf_min = 1.0;
    p.plwhc = plwhc;
    return p;
}

// Temperature index at 6 degrees C with a flat melt factor of 1: T x MF / 6 =
// 1 mm/h, so a 100 mm pack is gone in 100 h and lets out 100 mm (to 1e-9 mm).
// Liquid water held by the ice delays the first outflow: with plwhc 0.1 the
// 90 mm of ice hold 9 mm, filled by hour 9, so water first leaves in hour 10.
// With 15-minute calls the computation acts on every fourth call.
TEST(SnowTemperatureIndex, MeltRateFirstOutflowAndTotal) {
    struct row {
        double plwhc;
        double seconds;       // length of a call, s
        int first_hour;       // hour of the first outflow
        int empty_by_hour;    // hour by which the pack is gone (0: not checked)
    };
    const row rows[] = {{0.0, 3600.0, 1, 100}, {0.1, 3600.0, 10, 0}, {0.0, 900.0, 1, 100},
                        {0.1, 900.0, 10, 0}};
    for (const row& r : rows) {
        SCOPED_TRACE("plwhc " + std::to_string(r.plwhc) + ", call " + std::to_string(r.seconds) + " s");
        snow_cell c;
        c.swe = 0.1;   // m
        const snow_params p = flat_factor(r.plwhc);
        const int calls_per_hour = static_cast<int>(3600.0 / r.seconds + 0.5);
        double out = 0.0;   // mm
        int first = 0, gone = 0;
        for (int h = 1; h <= 400 && c.swe > 0.0; ++h) {
            double hour_out = 0.0;
            for (int k = 0; k < calls_per_hour; ++k) {
                unsigned w = 0;
                const double melt = snow_cell_step(c, p, warm(6.0, r.seconds), snow_method::temp_index, false, w);
                if (k + 1 < calls_per_hour) {
                    EXPECT_EQ(melt, 0.0) << "hour " << h << " call " << k;
                }
                hour_out += melt * 1000.0;
                EXPECT_EQ(w, 0u);
            }
            if (r.plwhc == 0.0 && c.swe > 0.0) {
                EXPECT_NEAR(hour_out, 1.0, 1e-12) << "hour " << h;
            }
            if (hour_out > 0.0 && first == 0) first = h;
            out += hour_out;
            if (!(c.swe > 1e-16) && gone == 0) gone = h;
        }
        EXPECT_EQ(first, r.first_hour);
        EXPECT_NEAR(out, 100.0, 1e-9);
        EXPECT_GT(gone, 0);
        if (r.empty_by_hour > 0) {
            EXPECT_LE(gone, r.empty_by_hour);
            EXPECT_GE(gone, r.empty_by_hour - 1);
        }
        EXPECT_EQ(c.liquid, 0.0);
        EXPECT_EQ(c.ice, 0.0);
    }
}

// The seasonal melt factor: mf_max on June 21 and mf_min on December 21 per
// 6 h, so for 1.2/0.2 and 1 h 0.2000 and 0.0333 (to 5e-5); the March day
// numbers jump at the 21st; a month outside 1..12 has none.
TEST(SnowMeltFactor, SeasonAndDayNumbers) {
    struct row {
        int month, day;
        double mf;   // mm/(degree C h), -1: no day number
    };
    const row rows[] = {{6, 21, 0.2000}, {12, 21, 0.0333}, {13, 1, -1.0}, {0, 5, -1.0}};
    for (const row& r : rows) {
        const int N = melt_day_number(r.month, r.day);
        if (r.mf < 0.0) {
            EXPECT_EQ(N, -1) << r.month;
            continue;
        }
        EXPECT_NEAR(seasonal_melt_factor(1.2, 0.2, N, 1.0), r.mf, 5e-5) << r.month << "/" << r.day;
    }
    EXPECT_EQ(melt_day_number(3, 20), 364);
    EXPECT_EQ(melt_day_number(3, 21), 21);
    EXPECT_EQ(melt_day_number(1, 1), 286);
}

// Rain on a warm pack is already on the surface: the pack lets out only its
// own melt, T x MF + 0.0125 Ph fr_use T (no fr_use x Ph), and its SWE drops
// by exactly what leaves. Once the six-hour mean passes 1.5 mm, the rain
// application's hours switch to the rain-on-snow equation (TK^4 - 273.15^4) 6.12e-10 + 0.0125 Ph f T.
TEST(SnowTemperatureIndex, RainIsNotPartOfThePackOutflow) {
    snow_params p = flat_factor(0.0);
    p.fr_use = 0.5;
    const double T = 4.0;
    const double rain = 3.0;   // mm/h
    snow_cell c;
    c.swe = 0.2;
    for (int h = 1; h <= 7; ++h) {
        snow_forcing f = warm(T);
        f.from_hmet = false;
        f.event_rain = true;
        f.rain_rate = rain;
        const double before = c.swe;
        unsigned w = 0;
        const double melt = snow_cell_step(c, p, f, snow_method::temp_index, false, w) * 1000.0;   // mm
        const bool ros = h >= 4;   // six-hour mean 4 x 3 / 6 = 2 > 1.5 from the fourth hour on
        const double expected =
            ros ? (std::pow(T + 273.15, 4) - std::pow(273.15, 4)) * 6.12e-10 + 0.0125 * rain * 0.5 * T
                : T * 1.0 / 6.0 + 0.0125 * rain * 0.5 * T;
        EXPECT_NEAR(melt, expected, 1e-12) << "hour " << h;
        EXPECT_NEAR((before - c.swe) * 1000.0, melt, 1e-12) << "hour " << h;
    }
}

// Every method conserves the pack's water: what left plus what is left is
// the pack at the start, through cold and warm hours, rain, snowfall cold
// content, held liquid and the lag store; no state becomes non-finite.
TEST(SnowConservation, EveryMethodKeepsItsWater) {
    struct row {
        const char* name;
        snow_method method;
        bool retention;
        double seconds;
    };
    const row rows[] = {
        {"energy budget", snow_method::energy_budget, false, 3600.0},
        {"energy budget, 10 min", snow_method::energy_budget, false, 600.0},
        {"temperature index", snow_method::temp_index, false, 3600.0},
        {"temperature index, retention", snow_method::temp_index, true, 3600.0},
        {"temperature index, retention, 15 min", snow_method::temp_index, true, 900.0},
        {"hybrid", snow_method::hybrid, false, 3600.0},
        {"hybrid, retention", snow_method::hybrid, true, 3600.0},
    };
    const double temps[] = {-8.0, -2.0, 0.0, 1.0, 3.0, 6.0, 9.0, 12.0};
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        snow_cell c;
        c.swe = 0.05;
        snow_params p;   // defaults, plwhc 0.2
        p.fr_use = 0.3;
        double out = 0.0;   // m
        const int calls = static_cast<int>(24 * 20 * 3600.0 / r.seconds);
        for (int i = 0; i < calls; ++i) {
            const int hour = static_cast<int>(i * r.seconds / 3600.0);
            snow_forcing f = warm(temps[(hour / 5) % 8], r.seconds);
            f.wind = 2.0;
            f.rel_humidity = 70.0;
            f.pressure = 900.0;
            f.from_hmet = (hour / 7) % 2 == 0;
            f.event_rain = !f.from_hmet;
            f.rain_rate = f.event_rain ? 2.5 : 0.0;
            unsigned w = 0;
            const double melt = snow_cell_step(c, p, f, r.method, r.retention, w);
            ASSERT_GE(melt, 0.0);
            out += melt;
            for (double v : {c.swe, c.ati, c.deficit, c.liquid, c.ice, c.lag, c.density, c.new_density,
                             c.pack_temp})
                ASSERT_TRUE(std::isfinite(v)) << "call " << i;
            ASSERT_LE(c.pack_temp, 0.0);
            ASSERT_LE(c.density, 0.4);
        }
        EXPECT_NEAR(out + c.swe, 0.05, 1e-15);
        EXPECT_GT(out, 0.0);
    }
}

// A cold pack takes no melt, and below freezing the deficit grows and the
// antecedent index follows the air.
TEST(SnowTemperatureIndex, ColdHoursBuildAHeatDeficit) {
    snow_cell c;
    c.swe = 0.05;
    const snow_params p;
    for (int h = 0; h < 12; ++h) {
        unsigned w = 0;
        EXPECT_EQ(snow_cell_step(c, p, warm(-5.0), snow_method::temp_index, false, w), 0.0);
    }
    EXPECT_EQ(c.swe, 0.05);
    EXPECT_LT(c.ati, 0.0);
    EXPECT_GE(c.ati, -5.0);
    EXPECT_GT(c.deficit, 0.0);
}

using rain_test::make_row;

// The set-up: card values over the defaults, elevation bands for cells
// strictly inside a band (a cell on a limit keeps its values), and the
// refusals naming the card or the file and line.
class SnowSetup : public ::testing::Test {
protected:
    void SetUp() override {
        rs = make_row(4, 10.0);
        rs->elevation = {0.0, 50.0, 100.0, 150.0, 250.0};
        rs->long_term = 1;
        rs->nwsrfs_snow = 1;
    }
    void bands(const std::string& text) {
        write_file(dir.file("bands.txt"), text);
        std::snprintf(rs->files.nwsrfs_elev_snow, sizeof rs->files.nwsrfs_elev_snow, "%s",
                      dir.file("bands.txt").c_str());
        rs->nwsrfs_elev_snow = 1;
    }
    std::string setup() {
        return captured([&] {
            read_snow_bands(*rs);
            if (error_record.code == 0) init_snow_array(*rs);
        });
    }
    static std::string header() {
        return "Number_Bands: 2\nLower_Elevation Upper_Elevation MF_Min MF_Max SCF FR_USE TIPM NMF FUA PLWHC\n";
    }
    temp_dir dir;
    rain_test::run_state_ptr rs;
};

TEST_F(SnowSetup, CardsBandsAndDefaults) {
    rs->cards.nwsrfs_plwhc_given = 1;
    rs->cards.nwsrfs_plwhc = 0.05;
    bands(header() + "0 100 0.1 0.9 1.1 0.2 0.3 0.4 0.5 0.6\n100 200 0.2 1.5 1.2 0.3 0.4 0.5 0.6 0.7\n");
    const std::string out = setup();
    ASSERT_EQ(error_record.code, 0) << out;
    const snow_params& a = rs->snow_par[1];   // 50 m: first band
    EXPECT_EQ(a.mf_min, 0.1);
    EXPECT_EQ(a.mf_max, 0.9);
    EXPECT_EQ(a.scf, 1.1);
    EXPECT_EQ(a.plwhc, 0.05);                 // the card wins
    const snow_params& on_limit = rs->snow_par[2];   // 100 m
    EXPECT_EQ(on_limit.mf_max, 1.2);
    EXPECT_EQ(on_limit.tipm, 0.2);
    EXPECT_EQ(on_limit.plwhc, 0.05);
    EXPECT_EQ(rs->snow_par[3].nmf, 0.5);      // 150 m: second band
    EXPECT_EQ(rs->snow_par[4].fua, 0.18);     // 250 m: no band
    EXPECT_EQ(rs->snow_par[4].scf, 1.0);
}

TEST_F(SnowSetup, RefusalsNameCardOrFileAndLine) {
    struct row {
        const char* name;
        std::string band_text;   // empty: no band file
        std::function<void(run_state&)> cards;
        const char* expected;
    };
    const row rows[] = {
        {"both models", "", [](run_state& r) { r.eb_nwsrfs_snow = 1; }, "nwsrfs_snow and eb_nwsrfs_snow"},
        {"zero scf card", "", [](run_state& r) { r.cards.nwsrfs_scf_given = 1; r.cards.nwsrfs_scf = 0.0; },
         "nwsrfs_scf value 0"},
        {"plwhc 1", "", [](run_state& r) { r.cards.nwsrfs_plwhc_given = 1; r.cards.nwsrfs_plwhc = 1.0; },
         "nwsrfs_plwhc value 1"},
        {"bad header", "Number_Band: 2\n", [](run_state&) {}, "line 1: expected \"Number_Bands:\""},
        {"bad column", "Number_Bands: 1\nLower_Elevation Upper_Elevation MF_Min MF_Max SCF FR_USE TIPM NMF FUA\n"
                       "0 1 0 1 1 0 0 0 0 0\n",
         [](run_state&) {}, "expected \"PLWHC\""},
        {"text value", header() + "0 100 0.1 0.9 x 0.2 0.3 0.4 0.5 0.6\n", [](run_state&) {},
         "line 3: band 1 SCF \"x\" is not a number"},
        {"zero scf band", header() + "0 100 0.1 0.9 1 0.2 0.3 0.4 0.5 0.6\n100 200 0.1 0.9 0 0.2 0.3 0.4 0.5 0.6\n",
         [](run_state&) {}, "line 4: band 2 SCF \"0\" must be above 0"},
        {"short file", header() + "0 100 0.1 0.9 1\n", [](run_state&) {}, "band 1 FR_USE \"\" is missing"},
        {"limits", header() + "100 0 0.1 0.9 1 0.2 0.3 0.4 0.5 0.6\n", [](run_state&) {},
         "is not above the lower elevation"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        SetUp();
        rain_test::clear_error();
        if (!r.band_text.empty()) bands(r.band_text);
        r.cards(*rs);
        const std::string out = setup();
        EXPECT_EQ(error_record.code, kErrorPrinted);
        EXPECT_NE(out.find(r.expected), std::string::npos) << out;
        if (!r.band_text.empty()) {
            EXPECT_NE(out.find(dir.file("bands.txt")), std::string::npos) << out;
        }
    }
    rain_test::clear_error();
}

// The snow routine on a run state: melt reaches the surface water of its own
// cell only, SWE plus surface water is conserved (with 8 threads on cells
// that each hold a different pack), the flag tells whether snow is left, and
// a date with no melt-factor day stops the run with an error.
TEST_F(SnowSetup, RoutinePutsMeltOnTheSurfaceAndConserves) {
    parallel_from_cells many(1);
    rs = make_row(64, 10.0);
    rs->elevation.assign(65, 0.0);
    rs->long_term = 1;
    rs->nwsrfs_snow = 1;
    rs->cards.nwsrfs_mf_max_given = rs->cards.nwsrfs_mf_min_given = 1;
    rs->cards.nwsrfs_mf_max = rs->cards.nwsrfs_mf_min = 1.0;
    rs->cards.nwsrfs_plwhc_given = 1;
    rs->cards.nwsrfs_plwhc = 0.0;
    ASSERT_EQ(setup(), "");
    rs->month = 4;
    rs->day = 2;
    rs->hmet_current.air_temp = 6.0;
    double water = 0.0;
    for (int k = 1; k <= 64; ++k) {
        rs->snow_swe[static_cast<size_t>(k)] = 0.001 * (k % 5);   // 0 .. 4 mm
        water += rs->snow_swe[static_cast<size_t>(k)];
    }
    int flag = 1;
    for (int h = 1; h <= 5 && flag; ++h) {
        flag = compute_snow(*rs, 3600.0, 1);
        double now = 0.0;
        for (int k = 1; k <= 64; ++k) {
            now += rs->snow_swe[static_cast<size_t>(k)] + rs->ov_depth[static_cast<size_t>(k)];
            const double left = std::max(0.0, 0.001 * (k % 5) - 0.001 * h);
            EXPECT_NEAR(rs->snow_swe[static_cast<size_t>(k)], left, 1e-15) << "cell " << k << " hour " << h;
        }
        EXPECT_NEAR(now, water, 1e-14);
        EXPECT_EQ(flag, h < 4 ? 1 : 0) << h;
    }
    EXPECT_NEAR(rs->vol_snow_melt, water * 100.0, 1e-10);

    rs->month = 0;
    rs->snow_swe[1] = 0.01;
    const std::string out = captured([&] { compute_snow(*rs, 3600.0, 1); });
    EXPECT_EQ(error_record.code, kErrorPrinted);
    EXPECT_NE(out.find("WE HAVE A PROBLEM WITH THE DATES!!!"), std::string::npos);
    rain_test::clear_error();
}

// The hydromet step's reset of the hourly history: after rainy hours a pack
// melts by the rain-on-snow equation; once the history is cleared the same
// hour melts by the temperature index, T x MF.
TEST_F(SnowSetup, ClearedHistoryEndsRainOnSnow) {
    rs->cards.nwsrfs_mf_max_given = rs->cards.nwsrfs_mf_min_given = 1;
    rs->cards.nwsrfs_mf_max = rs->cards.nwsrfs_mf_min = 1.0;
    rs->cards.nwsrfs_plwhc_given = 1;
    rs->cards.nwsrfs_plwhc = 0.0;
    ASSERT_EQ(setup(), "");
    rs->month = 2;
    rs->day = 1;
    rs->hmet_current.air_temp = 4.0;
    rs->rain_state = 1;
    const double T = 4.0;
    const double ros = (std::pow(T + 273.15, 4) - std::pow(273.15, 4)) * 6.12e-10;   // mm
    for (bool cleared : {false, true}) {
        SCOPED_TRACE(cleared ? "cleared" : "rainy history");
        for (int k = 1; k <= 4; ++k) {
            rs->snow_swe[static_cast<size_t>(k)] = 0.05;
            rs->snow_precip_hours[static_cast<size_t>(k)] = {3.0, 3.0, 3.0, 3.0, 3.0, 3.0};
            rs->cell_rain_rate[static_cast<size_t>(k)] = rain_test::mmh(0.5);
        }
        if (cleared) clear_snow_precip_history(*rs);
        compute_snow(*rs, 3600.0, 0);
        const double melt = (0.05 - rs->snow_swe[1]) * 1000.0;   // mm
        EXPECT_NEAR(melt, cleared ? T / 6.0 : ros, 1e-12);
    }
}

}  // namespace
