// Julian dates (the day turns at noon) and the console printer.
#pragma once

double julian_day(int year, int month, int day, int hour, int minute, double seconds);
void julian_to_date(double julian, int& year, int& month, int& day, int& hour, int& minute,
                    double& seconds);

extern unsigned char super_quiet_flag;   // set by the super_quiet card

// printf to standard output unless super_quiet_flag is set; returns characters printed.
int print_message(const char* format, ...) __attribute__((format(printf, 1, 2)));
