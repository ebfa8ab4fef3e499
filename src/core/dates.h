// Julian dates (the day turns at noon) and the console printer.
#pragma once

double julian_day(int year, int month, int day, int hour, int minute, double seconds);
void julian_to_date(double julian, int& year, int& month, int& day, int& hour, int& minute,
                    double& seconds);

// Calendar checks of dates read from input files (Gregorian leap years, as
// julian_day counts them): a date that fails would otherwise be carried into
// the next month or year by julian_day without a word.
constexpr int kFirstYear = 1;      // earliest year accepted
constexpr int kLastYear = 9999;    // latest year accepted (four digits)
// Days of `month` (1..12) in `year`; 0 for a month outside 1..12.
int days_in_month_of(int year, int month);
// True for year kFirstYear..kLastYear, month 1..12 and a day of that month.
bool valid_date(int year, int month, int day);
// True for hour 0..23 and minute 0..59.
bool valid_time_of_day(int hour, int minute);

extern unsigned char super_quiet_flag;   // set by the super_quiet card

// printf to standard output unless super_quiet_flag is set; returns characters printed.
int print_message(const char* format, ...) __attribute__((format(printf, 1, 2)));
