// SAMSON format of the hmet file: a station header line, a line of column
// titles, then one hourly record per line in fixed columns.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/file_object.h"
#include "core/text.h"
#include "hydromet/hmet_formats.h"

namespace {

// Columns (1-based, inclusive) of the fields of a data line.
struct column { int from, to; };
constexpr column kYear{2, 3}, kMonth{5, 6}, kDay{8, 9}, kHour{11, 12};
constexpr column kDirect{34, 37}, kGlobal{42, 45}, kSky{50, 51}, kTemp{56, 60};
constexpr column kHumidity{68, 70}, kPressure{72, 75}, kWind{80, 85};

bool near(double v, double marker) { return std::fabs(v - marker) < 1e-6; }

}  // namespace

bool count_samson_records(file_object& f, hmet_file_records& h, char* station) {
    text_line line;
    int line_no = 0;
    // Line 1: the station header (identifier in columns 8-29); line 2: titles.
    if (read_line(line, f)) {
        ++line_no;
        const char* s = line.c_str();
        const int n = static_cast<int>(std::strlen(s));
        int k = 0;
        for (int i = 7; i < 29 && i < n; ++i) station[k++] = s[i];
        station[k] = '\0';
    }
    if (read_line(line, f)) ++line_no;
    while (read_line(line, f)) {
        ++line_no;
        const char* s = line.c_str();
        bool empty = true;
        for (const char* p = s; *p; ++p)
            if (*p != ' ' && *p != '\t') empty = false;
        if (empty) continue;
        double v[11];
        const column cols[11] = {kYear, kMonth, kDay, kHour, kDirect, kGlobal,
                                 kSky, kTemp, kHumidity, kPressure, kWind};
        const char* names[11] = {"year", "month", "day", "hour", "direct radiation",
                                 "global radiation", "sky cover", "temperature",
                                 "relative humidity", "pressure", "wind speed"};
        for (int k = 0; k < 11; ++k) {
            if (!fixed_real(s, cols[k].from, cols[k].to, v[k])) {
                hmet_fail(h.file_name, line_no,
                          "the %s of a SAMSON record (columns %d-%d) is missing or not a number "
                          "(the line has %d characters)",
                          names[k], cols[k].from, cols[k].to, static_cast<int>(std::strlen(s)));
                return false;
            }
        }
        hmet_raw_record r;
        r.line = line_no;
        r.year = static_cast<int>(v[0]);
        if (r.year < 100) r.year += 1900;
        r.month = static_cast<int>(v[1]);
        r.day = static_cast<int>(v[2]);
        r.hour = static_cast<int>(v[3]);
        if (!settle_record_date(r, "the record", h.file_name)) return false;
        r.missing[kHmetDirect] = near(v[4], 9999.0);
        r.value[kHmetDirect] = v[4];
        r.missing[kHmetGlobal] = near(v[5], 9999.0);
        r.value[kHmetGlobal] = v[5];
        r.missing[kHmetCloud] = near(v[6], 99.0);
        r.value[kHmetCloud] = v[6];
        r.missing[kHmetTemp] = near(v[7] * 10.0, 9999.0);
        r.value[kHmetTemp] = v[7];
        r.missing[kHmetHumidity] = near(v[8], 999.0);
        r.value[kHmetHumidity] = v[8];
        r.missing[kHmetPressure] = near(v[9], 9999.0);
        r.value[kHmetPressure] = v[9];
        r.missing[kHmetWind] = near(v[10], 99.0) || near(v[10], 9999.0);
        r.value[kHmetWind] = v[10];
        if (!hmet_record_in_range(r, h.file_name)) return false;
        if (!h.records.empty() && !follows_by_one_hour(h.records.back(), r, h.file_name))
            return false;
        h.records.push_back(r);
    }
    return true;
}
