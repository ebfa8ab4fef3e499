// KEV format of the hmet file: one hourly record per line, eleven
// whitespace-separated fields (year month day hour, pressure in inches of
// mercury, relative humidity %, sky cover %, wind speed in knots, temperature
// in degrees F, direct and global radiation); 999 (radiation: above 9999.9)
// marks a missing value.
#include <cstdio>

#include "core/error.h"
#include "core/file_object.h"
#include "core/text.h"
#include "hydromet/hmet_formats.h"

namespace {

constexpr int kFields = 11;
constexpr double kMissing = 999.0;
constexpr double kRadiationMissing = 9999.9;

void print_format_help(const char* file, int line, int parameter) {
    std::printf("Error: Problem encountered in hmet_KEV file, line %d, near parameter %d\n\n",
                line, parameter);
    std::printf("(hydromet file %s)\n", file);
    std::printf("Make sure your file is in the correct format, including making sure\nall input "
                "data are listed as floats or ints as specified in the following\nformat "
                "table:\n");
    std::printf(" Format:\n1   2   3   4    5     6           7        8         9    10        "
                "11  \nYr  Mo  Day Hr  Press. RelHumidity SkyCover WindSpeed Temp DirectRad "
                "GlobalRad\nint int int int float  int         int      int       int  float     "
                "float\n\n");
    error_record.code = kErrorPrinted;
}

bool blank(const char* s) {
    for (; *s; ++s)
        if (*s != ' ' && *s != '\t') return false;
    return true;
}

}  // namespace

bool count_kev_records(file_object& f, hmet_file_records& h) {
    // Fields 5, 10 and 11 are reals, the others integers.
    const bool real_field[kFields] = {false, false, false, false, true, false,
                                      false, false, false, true,  true};
    text_line line;
    int line_no = 0;
    char token[kTokenSize];
    while (read_line(line, f)) {
        ++line_no;
        if (blank(line.c_str())) continue;
        double v[kFields + 1] = {};
        char* cursor = line.data();
        int good = 0;
        for (; good < kFields; ++good) {
            if (!next_word_at(cursor, token) || token[0] == '\0') break;
            number_status st;
            if (real_field[good]) {
                st = parse_real_token(token, v[good]);
            } else {
                int iv = 0;
                st = parse_int_token(token, iv);
                v[good] = iv;
            }
            if (st != number_status::ok) break;
        }
        // A twelfth field is as wrong as a missing one.
        const bool extra = good == kFields && next_word_at(cursor, token) && token[0] != '\0';
        if (good != kFields || extra) {
            print_format_help(h.file_name, line_no, good + 1);
            return false;
        }
        hmet_raw_record r;
        r.line = line_no;
        r.year = static_cast<int>(v[0]);
        r.month = static_cast<int>(v[1]);
        r.day = static_cast<int>(v[2]);
        r.hour = static_cast<int>(v[3]);
        if (!settle_record_date(r, "the record", h.file_name)) return false;
        const double press = v[4], rh = v[5], sky = v[6], wind = v[7], temp = v[8];
        r.missing[kHmetPressure] = press == kMissing;
        r.value[kHmetPressure] = press * kInHgToMb;
        r.missing[kHmetHumidity] = rh == kMissing;
        r.value[kHmetHumidity] = rh;
        r.missing[kHmetCloud] = sky == kMissing;
        r.value[kHmetCloud] = sky / 10.0;
        r.missing[kHmetWind] = wind == kMissing;
        r.value[kHmetWind] = wind * kKnotsToMps;
        r.missing[kHmetTemp] = temp == kMissing;
        r.value[kHmetTemp] = fahrenheit_to_celsius(temp);
        r.missing[kHmetDirect] = v[9] > kRadiationMissing;
        r.value[kHmetDirect] = v[9];
        r.missing[kHmetGlobal] = v[10] > kRadiationMissing;
        r.value[kHmetGlobal] = v[10];
        if (!hmet_record_in_range(r, h.file_name)) return false;
        if (!h.records.empty() && !follows_by_one_hour(h.records.back(), r, h.file_name))
            return false;
        h.records.push_back(r);
    }
    return true;
}
