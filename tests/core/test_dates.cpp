// Julian date conversions (day turns at noon) and the quiet-aware printer.
#include <gtest/gtest.h>

#include <string>

#include "core/dates.h"

namespace {

struct calendar {
    int year, month, day, hour, minute;
    double seconds;
};

TEST(JulianDay, KnownDates) {
    const struct {
        calendar c;
        double julian;
    } cases[] = {
        {{2000, 1, 1, 12, 0, 0.0}, 2451545.0},   // noon begins the Julian day
        {{2000, 1, 1, 0, 0, 0.0}, 2451544.5},    // midnight is half a day earlier
        {{2000, 1, 1, 18, 0, 0.0}, 2451545.25},
        {{2000, 1, 1, 6, 0, 0.0}, 2451544.75},
        {{1970, 1, 1, 0, 0, 0.0}, 2440587.5},
        {{1858, 11, 17, 0, 0, 0.0}, 2400000.5},
        {{1900, 1, 1, 0, 0, 0.0}, 2415020.5},
        {{2000, 1, 1, 11, 59, 59.5}, 2451545.0 - 0.5 / 86400.0},
    };
    for (const auto& k : cases) {
        const calendar& c = k.c;
        EXPECT_NEAR(julian_day(c.year, c.month, c.day, c.hour, c.minute, c.seconds), k.julian, 1e-9)
            << c.year << "-" << c.month << "-" << c.day << " " << c.hour << ":" << c.minute;
    }
}

TEST(JulianDay, FebruaryLengthsOfTheGregorianCalendar) {
    const struct {
        int year;
        double days;   // days from 28 February to 1 March
    } cases[] = {{1900, 1.0}, {2000, 2.0}, {2004, 2.0}, {2001, 1.0}, {2100, 1.0}};
    for (const auto& c : cases) {
        double span = julian_day(c.year, 3, 1, 0, 0, 0.0) - julian_day(c.year, 2, 28, 0, 0, 0.0);
        EXPECT_DOUBLE_EQ(span, c.days) << c.year;
    }
}

TEST(CalendarCheck, ValidDatesAreExactlyThoseTheJulianDayKeeps) {
    // A date that julian_day carries into another day does not come back
    // unchanged from julian_to_date: those and only those are refused.
    for (int year : {1899, 1900, 1999, 2000, 2003, 2004, 2100}) {
        for (int month = 1; month <= 12; ++month) {
            for (int day = 1; day <= 32; ++day) {
                int y = 0, m = 0, d = 0, h = 0, mi = 0;
                double s = 0.0;
                julian_to_date(julian_day(year, month, day, 6, 0, 0.0), y, m, d, h, mi, s);
                const bool kept = y == year && m == month && d == day;
                EXPECT_EQ(valid_date(year, month, day), kept) << year << "-" << month << "-" << day;
            }
        }
    }
    const struct {
        int year, month, day;
    } refused[] = {{2005, 13, 45}, {2005, 0, 1}, {2005, 1, 0}, {2005, -1, 10},
                   {0, 6, 1},      {10000, 1, 1}, {2005, 12, 32}};
    for (const auto& r : refused) {
        EXPECT_FALSE(valid_date(r.year, r.month, r.day)) << r.year << " " << r.month << " " << r.day;
    }
    EXPECT_TRUE(valid_date(1, 1, 1));
    EXPECT_TRUE(valid_date(9999, 12, 31));
    EXPECT_EQ(days_in_month_of(2000, 2), 29);
    EXPECT_EQ(days_in_month_of(1900, 2), 28);
    EXPECT_EQ(days_in_month_of(2000, 13), 0);
}

TEST(CalendarCheck, TimesOfDayAndFieldsBeyondThem) {
    const struct {
        int hour, minute;
        bool valid;
    } cases[] = {{0, 0, true},    {23, 59, true}, {24, 0, false},  {-1, 30, false},
                 {12, 60, false}, {12, -1, false}, {0, 2147483647, false}};
    for (const auto& c : cases) {
        EXPECT_EQ(valid_time_of_day(c.hour, c.minute), c.valid) << c.hour << ":" << c.minute;
    }
    // Fields beyond the day still count in whole minutes without overflowing.
    const double base = julian_day(2000, 1, 1, 0, 0, 0.0);
    EXPECT_NEAR(julian_day(2000, 1, 1, 0, 2147483647, 0.0) - base, 2147483647.0 / 1440.0, 1e-6);
    EXPECT_NEAR(julian_day(2000, 1, 1, 48, 0, 0.0) - base, 2.0, 1e-9);
}

TEST(JulianToDate, DayTurnAtNoonAndRounding) {
    const struct {
        double julian;
        calendar c;
    } cases[] = {
        {2451544.5, {2000, 1, 1, 0, 0, 0.0}},
        {2451545.0, {2000, 1, 1, 12, 0, 0.0}},
        {2451545.0 - 1e-9, {2000, 1, 1, 12, 0, 0.0}},   // not 11:59:59
        {2451545.5, {2000, 1, 2, 0, 0, 0.0}},
        {2451544.5 - 1e-9, {2000, 1, 1, 0, 0, 0.0}},    // not 23:59:59 of the day before
        {2451544.5 - 10.0 / 86400.0, {1999, 12, 31, 23, 59, 50.0}},
        {2451545.0 - 0.5 / 86400.0, {2000, 1, 1, 11, 59, 59.5}},
    };
    for (const auto& k : cases) {
        calendar got{};
        julian_to_date(k.julian, got.year, got.month, got.day, got.hour, got.minute, got.seconds);
        EXPECT_EQ(got.year, k.c.year) << k.julian;
        EXPECT_EQ(got.month, k.c.month) << k.julian;
        EXPECT_EQ(got.day, k.c.day) << k.julian;
        EXPECT_EQ(got.hour, k.c.hour) << k.julian;
        EXPECT_EQ(got.minute, k.c.minute) << k.julian;
        EXPECT_GE(got.seconds, k.c.seconds - 1e-4) << k.julian;
        EXPECT_LT(got.seconds, k.c.seconds + 0.011) << k.julian;
    }
}

TEST(JulianToDate, RoundTripsAcrossFebruariesAndYearEnds) {
    const int dates[][3] = {
        {1900, 2, 28}, {1900, 3, 1},  {2000, 2, 28}, {2000, 2, 29}, {2000, 3, 1},
        {2004, 2, 28}, {2004, 2, 29}, {2004, 3, 1},  {1999, 12, 31}, {2000, 1, 1},
        {2003, 12, 31}, {2004, 1, 1}, {2004, 12, 31}, {1900, 12, 31},
    };
    const int times[][3] = {{0, 0, 0}, {0, 0, 1}, {11, 59, 59}, {12, 0, 0},
                            {12, 0, 1}, {17, 30, 45}, {23, 59, 59}};
    for (const auto& d : dates) {
        for (const auto& t : times) {
            double jd = julian_day(d[0], d[1], d[2], t[0], t[1], t[2]);
            calendar got{};
            julian_to_date(jd, got.year, got.month, got.day, got.hour, got.minute, got.seconds);
            std::string what = std::to_string(d[0]) + "-" + std::to_string(d[1]) + "-" +
                               std::to_string(d[2]) + " " + std::to_string(t[0]) + ":" +
                               std::to_string(t[1]) + ":" + std::to_string(t[2]);
            EXPECT_EQ(got.year, d[0]) << what;
            EXPECT_EQ(got.month, d[1]) << what;
            EXPECT_EQ(got.day, d[2]) << what;
            EXPECT_EQ(got.hour, t[0]) << what;
            EXPECT_EQ(got.minute, t[1]) << what;
            EXPECT_GE(got.seconds, t[2]) << what;
            EXPECT_LT(got.seconds, t[2] + 0.011) << what;
        }
    }
}

TEST(PrintMessage, PrintsUnlessSuperQuiet) {
    unsigned char saved = super_quiet_flag;

    super_quiet_flag = 0;
    testing::internal::CaptureStdout();
    int n = print_message("count %d of %s\n", 42, "cells");
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "count 42 of cells\n");
    EXPECT_EQ(n, static_cast<int>(out.size()));

    super_quiet_flag = 1;
    testing::internal::CaptureStdout();
    n = print_message("count %d\n", 42);
    out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "");
    EXPECT_EQ(n, 0);

    super_quiet_flag = saved;
}

}  // namespace
