// Julian dates and the console printer.
//
// A Julian date is a day number with a fraction in which the day turns at
// noon; midnight that starts civil day D is (day number of D) - 0.5. Both
// conversions use the integer calendar arithmetic of ACM Algorithm 199
// (Gregorian calendar for every date, integer divisions truncating toward zero).
#include "core/dates.h"

#include <cstdarg>
#include <cstdio>

unsigned char super_quiet_flag = 0;

double julian_day(int year, int month, int day, int hour, int minute, double seconds) {
    // Seconds since midnight, in double so that no field value overflows.
    double s = minute * 60.0 + hour * 3600.0 + seconds;
    long m = 0;
    long y = year;
    if (month > 2) {
        m = month - 3;
    } else {
        m = month + 9;
        y = y - 1;
    }
    long c = y / 100;
    long ya = y - 100 * c;
    long n = (146097 * c) / 4 + (1461 * ya) / 4 + (153 * m + 2) / 5 + day + 1721119;
    // The Julian day begins at noon: a time before noon belongs to the day before.
    if (s < 43200.0) {
        n = n - 1;
        s = s + 43200.0;
    } else {
        s = s - 43200.0;
    }
    return static_cast<double>(n) + s / 3600.0 / 24.0;
}

void julian_to_date(double julian, int& year, int& month, int& day, int& hour, int& minute,
                    double& seconds) {
    // 0.01 s added so that a time a rounding error below a whole second is not
    // printed one second early.
    double x = julian + 1.1574074074074074e-07;
    long j = static_cast<long>(x);
    double f = x - static_cast<double>(j);
    if (f >= 0.5) {
        j = j + 1;
        f = f - 0.5;
    } else {
        f = f + 0.5;
    }
    // j is now the number of the civil day, f the fraction of it since midnight.
    long t = 4 * (j - 1721119);
    long c = (t - 1) / 146097;
    long d = (t - 146097 * c - 1) / 4;
    long y = (4 * d + 3) / 1461;
    d = (4 * d - 1461 * y + 7) / 4;
    long m = (5 * d - 3) / 153;
    day = static_cast<int>((5 * d - 153 * m + 2) / 5);
    year = static_cast<int>(100 * c + y);
    if (m < 10) {
        month = static_cast<int>(m + 3);
    } else {
        month = static_cast<int>(m - 9);
        year = year + 1;
    }
    double s = f * 24.0 * 3600.0;
    hour = static_cast<int>(s / 3600.0);
    s = s - 3600.0 * hour;
    minute = static_cast<int>(s / 60.0);
    seconds = s - 60.0 * minute;
}

int days_in_month_of(int year, int month) {
    static const int kDays[13] = {0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    if (month != 2) return kDays[month];
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return leap ? 29 : 28;
}

bool valid_date(int year, int month, int day) {
    return year >= kFirstYear && year <= kLastYear && day >= 1 &&
           day <= days_in_month_of(year, month);
}

bool valid_time_of_day(int hour, int minute) {
    return hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59;
}

int print_message(const char* format, ...) {
    if (super_quiet_flag) return 0;
    va_list args;
    va_start(args, format);
    int written = std::vprintf(format, args);
    va_end(args);
    return written < 0 ? 0 : written;
}
