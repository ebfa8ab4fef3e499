// Event books of long-term runs with evaporation through the program: a
// 3 x 3 valley with redistribution soils whose two rain events begin some
// hours after the start of the run and a day apart. Surface water that
// evaporates while an event is under way (after its rain has stopped) leaves
// in that event's books, so each event's balance closes: initial surface and
// channel water + rain = infiltrated + evaporated + discharged + final surface
// and channel water. The run's own balance closes as well, and no event
// books more evaporation than the run does.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fixture.h"
#include "pluvo_test.h"
#include "valley.h"

using namespace pluvo_test;

namespace {

constexpr int kRows = 3;
constexpr int kHalfWidth = 1;
constexpr int kCols = 2 * kHalfWidth + 1;
constexpr double kCell = 100.0;                          // m
constexpr int kDays = 3;                                 // simulated days
constexpr double kRainMmH = 20.0;                        // rate of the two rain hours of an event, mm/h
constexpr double kArea = kRows * kCols * kCell * kCell;  // m2
constexpr double kEventRain = 2.0 * kRainMmH / 1000.0 * kArea;   // m3

// Hourly KEV records from 2001-11-01 00:00: 60 % humidity, 6 knots of wind,
// 60 F, sun from 07:00 to 17:00 (the surface dries by day, hardly at night).
std::string kev_records(int days) {
    std::string s;
    char line[128];
    for (int h = 0; h < days * 24; ++h) {
        const bool sun = h % 24 >= 7 && h % 24 <= 17;
        std::snprintf(line, sizeof line, "2001 11 %d %d 29.92 60 40 6 60 %.1f %.1f\n", 1 + h / 24,
                      h % 24, sun ? 300.0 : 0.0, sun ? 450.0 : 0.0);
        s += line;
    }
    return s;
}

// A gage event: its first hour (from the start of the data) and the rates
// of its hours, mm/h.
struct gage_event {
    int first_hour;
    std::vector<double> rates;
};

std::string rain_file(const std::vector<gage_event>& events) {
    std::string s;
    char line[128];
    for (size_t e = 0; e < events.size(); ++e) {
        const gage_event& g = events[e];
        s += "EVENT event" + std::to_string(e + 1) + "\nNRGAG 1\nNRPDS " + std::to_string(g.rates.size()) +
             "\nCOORD 150 150\n";
        for (size_t k = 0; k < g.rates.size(); ++k) {
            const int h = g.first_hour + static_cast<int>(k);
            std::snprintf(line, sizeof line, "RATES 2001 11 %d %d 0 %.1f\n", 1 + h / 24, h % 24, g.rates[k]);
            s += line;
        }
    }
    return s;
}

// Two events of two hours of rain and a dry hour, the first `first_hour`
// hours after the start of the data, the second a day later.
std::string two_events(int first_hour) {
    const std::vector<double> rates = {kRainMmH, kRainMmH, 0.0};
    return rain_file({{first_hour, rates}, {first_hour + 24, rates}});
}

// The valley with redistribution soils of saturated conductivity
// `conductivity` (cm/h) over a root zone of 1 m, rain from `rain` and the
// evapotranspiration method `et_card`.
project_file evaporation_valley(const temp_dir& dir, const std::string& rain, const std::string& et_card,
                                double conductivity = 0.5) {
    project_file p = long_term_valley_project(
        dir.path(), {kRows, kHalfWidth, kCell, kDays, "", kev_records(kDays + 1), rain});
    p.remove("ET_CALC_PENMAN").card(et_card);
    use_redistribution_soils(p, dir.path(), kRows, kCols, kCell, conductivity);
    p.card("SOIL_MOIST_DEPTH", "1.0").card("TOP_LAYER_DEPTH", "0.2");
    return p;
}

// The first `count` numbers after `label` in `text`; fewer when absent.
std::vector<double> numbers_after(const std::string& text, const std::string& label, int count) {
    std::vector<double> v;
    const size_t at = text.find(label);
    if (at == std::string::npos) return v;
    const char* p = text.c_str() + at + label.size();
    for (int k = 0; k < count; ++k) {
        char* end = nullptr;
        const double x = std::strtod(p, &end);
        if (end == p) break;
        v.push_back(x);
        p = end;
        while (*p == ' ' || (*p >= 'a' && *p <= 'z')) ++p;   // the names between the long-term volumes
    }
    return v;
}

double number_after(const std::string& text, const std::string& label) {
    const std::vector<double> v = numbers_after(text, label, 1);
    return v.empty() ? std::nan("") : v[0];
}

// The volumes of one event's report, m3.
struct event_books {
    double surface0 = 0, channel0 = 0, rain = 0, evaporated = 0, infiltrated = 0, discharged = 0,
           surface1 = 0, channel1 = 0;   // printed to 0.1 m3
    double in = 0, out = 0;              // "Mass input + original mass", "Mass output + final mass", to 1e-6 m3
    double error_percent = 0;            // "mass conservation error", to 1e-6 percent
};

// The event reports of a summary, in order.
std::vector<event_books> read_event_books(const std::string& summary) {
    const std::string head = "RUNOFF SIMULATION SUMMARY- EVENT";
    std::vector<event_books> books;
    size_t at = summary.find(head);
    while (at != std::string::npos) {
        const size_t next = summary.find(head, at + head.size());
        const std::string block = summary.substr(at, next == std::string::npos ? std::string::npos : next - at);
        event_books b;
        b.surface0 = number_after(block, "initial volume of overland flow:");
        b.channel0 = number_after(block, "initial volume in channels:");
        b.rain = number_after(block, "volume of rainfall to overland:");
        b.evaporated = number_after(block, "volume of direct evaporation:");
        b.infiltrated = number_after(block, "volume of infiltrated water:");
        b.discharged = number_after(block, "volume of discharge:");
        b.surface1 = number_after(block, "volume remaining on surface:");
        b.channel1 = number_after(block, "final volume in channels (cu. m):");
        b.in = number_after(block, "Mass input + original mass:");
        b.out = number_after(block, "Mass output + final mass:");
        b.error_percent = number_after(block, "mass conservation error:");
        books.push_back(b);
        at = next;
    }
    return books;
}

}  // namespace

// Rows: events beginning at the run start, at night and by day (the day's
// event loses water to evaporation once its rain stops), with Deardorff and
// with Penman-Monteith, and a second event that begins on a surface still
// wet from the first with a dry hour (its initial surface water evaporates
// in it). Each event closes to 1e-9 of its water (the printed
// input and output to their last digit) and its printed terms add up to
// within their rounding; the run closes to 1e-9 of the rain, and so do its
// surface and soil books; the events' evaporation is part of the run's; 1
// and 8 threads write the same files.
TEST(EventEvaporation, EachEventAndTheRunClose) {
    struct row {
        const char* name;
        std::string rain;     // the rain file
        const char* et;       // evapotranspiration card
        double conductivity;  // saturated conductivity of the soil, cm/h
        const char* retention;  // retention depth, mm; "" for none
        bool sunny_end;       // the rain of the events stops by day
    };
    // Water held in depressions on a slowly draining soil is still on the
    // surface when the second event begins, and evaporates in its dry first hour.
    const std::string wet_start =
        rain_file({{6, {kRainMmH, kRainMmH, 0.0}}, {12, {0.0, kRainMmH, kRainMmH, 0.0}}});
    const row rows[] = {
        {"events at the run start, Deardorff", two_events(0), "ET_CALC_DEARDORFF", 0.5, "", false},
        {"events 3 h after the run start, Deardorff", two_events(3), "ET_CALC_DEARDORFF", 0.5, "", false},
        {"events 8 h after the run start, Deardorff", two_events(8), "ET_CALC_DEARDORFF", 0.5, "", true},
        {"events 8 h after the run start, Penman-Monteith", two_events(8), "ET_CALC_PENMAN", 0.5, "", true},
        {"second event on a wet surface, beginning dry", wet_start, "ET_CALC_DEARDORFF", 0.05, "10", true},
    };
    for (const row& c : rows) {
        SCOPED_TRACE(c.name);
        std::string files[2];
        const int threads[2] = {1, 8};
        for (int k = 0; k < 2; ++k) {
            temp_dir dir;
            project_file p = evaporation_valley(dir, c.rain, c.et, c.conductivity);
            if (*c.retention) p.card("RETENTION", c.retention);
            p.card("NUM_THREADS", std::to_string(threads[k])).write(dir.file("valley.prj"));
            run_result r = run_pluvo({"valley.prj"}, dir.path(), "", {parallel_from_cells_env(1)});
            ASSERT_EQ(r.status, 0) << r.out << r.err;
            const std::string s = read_file(dir.file("valley.sum"));
            files[k] = read_file(dir.file("evap_out")) + "\n--\n" + read_file(dir.file("valley.otl")) +
                       "\n--\n" + without_timing(s);
            if (k == 1) continue;

            const std::vector<event_books> events = read_event_books(s);
            ASSERT_EQ(events.size(), 2u) << s;
            double event_evaporation = 0.0;
            for (size_t e = 0; e < events.size(); ++e) {
                SCOPED_TRACE("event " + std::to_string(e + 1));
                const event_books& b = events[e];
                EXPECT_NEAR(b.rain, kEventRain, 0.05);
                EXPECT_NEAR(b.in, b.surface0 + b.channel0 + b.rain, 0.15);
                EXPECT_NEAR(b.out, b.infiltrated + b.evaporated + b.discharged + b.surface1 + b.channel1,
                            0.3);
                EXPECT_NEAR(b.in, b.out, std::max(1e-9 * b.in, 1e-6)) << s;
                EXPECT_NEAR(b.error_percent, 0.0, 1e-6);
                EXPECT_GE(b.evaporated, 0.0);
                // By day the wet surface left after the rain loses some water
                // before the event ends.
                if (c.sunny_end) {
                    EXPECT_GT(b.evaporated, 0.5);
                }
                event_evaporation += b.evaporated;
            }
            if (*c.retention) {
                EXPECT_GT(events[1].surface0, 0.1 * kEventRain);
            }
            EXPECT_LE(event_evaporation, number_after(s, "Total direct evaporation=") + 0.1) << s;

            const std::vector<double> v = numbers_after(s, "Long-term volumes (m3): precipitation", 12);
            ASSERT_EQ(v.size(), 12u) << s;
            const double rain = v[0], outlet = v[1], et = v[2], drained = v[3];
            const double surface = v[5] - v[4], channel = v[7] - v[6], soil = v[9] - v[8],
                         snow = v[11] - v[10];
            EXPECT_NEAR(rain, 2.0 * kEventRain, 1e-9 * rain);
            EXPECT_NEAR(rain, outlet + et + drained + surface + channel + soil + snow, 1e-9 * rain) << s;
            // The run's direct evaporation holds the surface water once: the
            // surface and the soil books close with it (to the printed digit).
            EXPECT_NEAR(number_after(s, "Mass balance error of surface components ="), 0.0, 1e-6) << s;
            EXPECT_NEAR(number_after(s, "Simple soil moisture mass balance ="), 0.0, 1e-6) << s;
        }
        EXPECT_TRUE(files[0] == files[1]) << "outputs differ between 1 and 8 threads";
    }
}

