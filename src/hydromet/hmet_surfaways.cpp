// Surface Airways format of the hmet file: each line holds one element for
// one day, as up to 24 groups of an hour (hh00) and a value. The lines of a
// day are gathered into 24 hourly records.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/error.h"
#include "core/file_object.h"
#include "core/text.h"
#include "hydromet/hmet_formats.h"
#include "hydromet/hmet_reader.h"

namespace {

constexpr double kMissingValue = 99999.0;
constexpr double kInHgThousandthsToMb = 33.86530748663101 / 1000.0;   // mb per 0.001 inHg

// The element of a two-letter code, or -1 for a code the model does not use.
int element_of(const char* code) {
    const struct { const char* code; int element; } table[] = {
        {"DR", kHmetDirect}, {"GR", kHmetGlobal}, {"PR", kHmetPressure}, {"RH", kHmetHumidity},
        {"TM", kHmetTemp},   {"TS", kHmetCloud},  {"WI", kHmetWind}};
    for (const auto& t : table)
        if (code[0] == t.code[0] && code[1] == t.code[1]) return t.element;
    return -1;
}

// One day of values, per element and hour.
struct day_block {
    hmet_raw_record date;                      // year, month, day and first line of the day
    double value[kHmetElements][24] = {};      // decoded values (units of hmet_element)
    unsigned char have[kHmetElements][24] = {};   // 1 where a valid value was read
    unsigned char given[kHmetElements][24] = {};  // 1 where a group named the hour
};

// Decodes one group value of element e; false when it marks a missing value.
bool decode(int e, double raw, double& out) {
    switch (e) {
    case kHmetCloud: {
        const long v = std::lround(raw);
        if (v / 100 == 999) return false;
        out = static_cast<double>(v % 100);
        return true;
    }
    case kHmetWind: {
        const long v = std::lround(raw);
        if (v % 1000 == 999) return false;
        out = static_cast<double>(v % 1000) * kKnotsToMps;
        return true;
    }
    default:
        break;
    }
    if (raw == kMissingValue) return false;
    switch (e) {
    case kHmetDirect:
    case kHmetGlobal: out = raw / 10.0; break;
    case kHmetPressure: out = raw * kInHgThousandthsToMb; break;
    case kHmetTemp: out = fahrenheit_to_celsius(raw); break;
    default: out = raw; break;
    }
    return true;
}

// The value in its element's physical range (radiation 0 or more).
bool valid_value(int e, double v) { return in_range(v, hmet_element_field(e).range); }

void print_count_mismatch(int which) {
    std::printf("There is an error in the Surface Airways hydrometeorology\n");
    if (which == kHmetHumidity) {
        std::printf("data file.  There appears to be a different number of \n");
        std::printf("days of rel. humidity data than temperature data.  Rel. hum.\n");
        std::printf("data is required for each day.  Examine the file and supply\n");
        std::printf("the missing data.  Program terminating\n\n");
    } else if (which == kHmetCloud) {
        std::printf("data file.  There appear to be a different number of days\n");
        std::printf("of cloud cover data than temperature data.  Clouds data is\n");
        std::printf("required for each day.  Examine the file and supply the \n");
        std::printf("missing data.  Program terminating\n\n");
    } else {
        std::printf("data file.  There appear to be different number of days of ");
        std::printf("wind data than temperature data.  Wind speed data is\n");
        std::printf("required for each day.  Examine the file and supply the \n");
        std::printf("missing data.  Program terminating\n\n");
    }
}

}  // namespace

bool count_surfaways_records(file_object& f, hmet_file_records& h, bool quiet) {
    std::vector<day_block> days;
    int counts[kHmetElements] = {};
    text_line line;
    int line_no = 0;
    long lines = 0;
    while (read_line(line, f)) {
        ++line_no;
        const char* s = line.c_str();
        bool empty = true;
        for (const char* p = s; *p; ++p)
            if (*p != ' ' && *p != '\t') empty = false;
        if (empty) continue;
        ++lines;
        if (std::strlen(s) < 30) {
            hmet_fail(h.file_name, line_no,
                      "a Surface Airways line needs at least 30 columns (element, date and "
                      "group count); this one has %d", static_cast<int>(std::strlen(s)));
            return false;
        }
        const int e = element_of(s + 11);
        double year = 0, month = 0, day = 0, groups = 0;
        if (!fixed_real(s, 18, 21, year) || !fixed_real(s, 22, 23, month) ||
            !fixed_real(s, 26, 27, day) || !fixed_real(s, 28, 30, groups)) {
            hmet_fail(h.file_name, line_no,
                      "the year (columns 18-21), month (22-23), day (26-27) or group count "
                      "(28-30) is not a number");
            return false;
        }
        hmet_raw_record date;
        date.year = static_cast<int>(year);
        date.month = static_cast<int>(month);
        date.day = static_cast<int>(day);
        date.hour = 0;
        date.line = line_no;
        if (!settle_record_date(date, "the day's", h.file_name)) return false;
        if (days.empty() || days.back().date.year != date.year ||
            days.back().date.month != date.month || days.back().date.day != date.day) {
            if (!days.empty()) {
                const double gap = hmet_record_time(date.year, date.month, date.day, 0) -
                                   hmet_record_time(days.back().date.year, days.back().date.month,
                                                    days.back().date.day, 0);
                if (std::fabs(gap - 1.0) > 1e-6) {
                    hmet_fail(h.file_name, line_no,
                              "the day %d/%d/%d does not follow the day %d/%d/%d (line %d); the "
                              "lines of each day must be together and days must follow one "
                              "another", date.year, date.month, date.day, days.back().date.year,
                              days.back().date.month, days.back().date.day,
                              days.back().date.line);
                    return false;
                }
            }
            days.emplace_back();
            days.back().date = date;
        }
        if (e < 0) continue;
        ++counts[e];
        const int n = static_cast<int>(groups);
        if (n < 0 || n > 24 || n != groups) {
            hmet_fail(h.file_name, line_no, "%g value groups on one line; a day has 24 hours",
                      groups);
            return false;
        }
        day_block& b = days.back();
        for (int g = 0; g < n; ++g) {
            double hhmm = 0, raw = 0;
            if (!fixed_real(s, 31 + 12 * g, 34 + 12 * g, hhmm) ||
                !fixed_real(s, 36 + 12 * g, 40 + 12 * g, raw)) {
                hmet_fail(h.file_name, line_no,
                          "group %d (columns %d-%d) is short or not a number", g + 1,
                          31 + 12 * g, 40 + 12 * g);
                return false;
            }
            const long t = std::lround(hhmm);
            const int hr = static_cast<int>(t / 100);
            if (t != hhmm || t % 100 != 0 || hr < 0 || hr > 23) {
                hmet_fail(h.file_name, line_no, "group %d names hour %g; hours are 0000-2300",
                          g + 1, hhmm);
                return false;
            }
            if (b.given[e][hr]) {
                hmet_fail(h.file_name, line_no, "hour %02d00 is given twice for the same element",
                          hr);
                return false;
            }
            b.given[e][hr] = 1;
            double v = 0.0;
            if (decode(e, raw, v)) {
                if (!valid_value(e, v)) {
                    const number_field field = hmet_element_field(e);
                    char rule[160];
                    describe_range(field.range, rule, sizeof rule);
                    hmet_fail(h.file_name, line_no,
                              "the %s %g of group %d (%g as written) is outside its range: it "
                              "must be %s",
                              field.name, v, g + 1, raw, rule);
                    return false;
                }
                b.value[e][hr] = v;
                b.have[e][hr] = 1;
            }
        }
    }
    if (!quiet) {
        std::printf("End of hmet_NCDC file encountered after %ld lines\n", lines);
        std::printf("DRAD GRAD PRES RHUM TMPD TSKC WIND\n");
        std::printf(" %d  %d  %d  %d  %d  %d  %d\n", counts[kHmetDirect], counts[kHmetGlobal],
                    counts[kHmetPressure], counts[kHmetHumidity], counts[kHmetTemp],
                    counts[kHmetCloud], counts[kHmetWind]);
    }
    for (int e : {kHmetHumidity, kHmetCloud, kHmetWind}) {
        if (counts[e] != counts[kHmetTemp]) {
            print_count_mismatch(e);
            std::printf("(hydromet file %s)\n", h.file_name);
            error_record.code = kErrorPrinted;
            return false;
        }
    }
    for (const day_block& b : days) {
        for (int hr = 0; hr < 24; ++hr) {
            hmet_raw_record r = b.date;
            r.hour = hr;
            for (int e = 0; e < kHmetElements; ++e) {
                const bool never = counts[e] == 0 && (e == kHmetDirect || e == kHmetGlobal);
                r.value[e] = never ? 0.0 : b.value[e][hr];
                r.missing[e] = never ? 0 : (b.have[e][hr] ? 0 : 1);
            }
            h.records.push_back(r);
        }
    }
    return true;
}
