// Orographic temperature: the air temperature of the hmet record spread over
// the cells by their elevation with a lapse rate, which the orographic gage
// file (one temperature per record at a second gage) sets record by record.
#include <cmath>
#include <cstdio>

#include "core/error.h"
#include "core/file_object.h"
#include "core/text.h"
#include "hydromet/hmet_formats.h"
#include "run/run_state.h"

namespace {

constexpr double kMissingBelow = -998.0;   // orographic temperatures below are missing, degrees C

// The next orographic record; false after a printed error.
bool next_orographic_temperature(run_state& rs, double& temp) {
    hmet_file_records& h = rs.hmet_records;
    file_object& f = rs.hmet_orog_file;
    const hmet_record& cur = rs.hmet_current;
    text_line line;
    char token[kTokenSize];
    for (;;) {
        if (!read_line(line, f)) {
            std::printf("Error: the orographic gage file %s ends (after line %d) before the "
                        "hydromet record of %d/%d/%d %02d:00\n",
                        f.name, h.orog_line + 3, cur.year, cur.month, cur.day, cur.hour);
            error_record.code = kErrorPrinted;
            return false;
        }
        ++h.orog_line;
        char* cursor = line.data();
        int date[4];
        int k = 0;
        for (; k < 4; ++k) {
            if (!next_word_at(cursor, token) || parse_int_token(token, date[k]) != number_status::ok)
                break;
        }
        if (k == 0 && token[0] == '\0') continue;   // blank line
        const int line_no = h.orog_line + 3;        // after the three header lines
        if (k < 4 || !next_word_at(cursor, token) ||
            parse_real_token(token, temp) != number_status::ok) {
            std::printf("Error: line %d of the orographic gage file %s needs year, month, day, "
                        "hour and a finite temperature\n", line_no, f.name);
            error_record.code = kErrorPrinted;
            return false;
        }
        // A value below the missing mark stands for a missing reading; any
        // other must be an air temperature.
        if (!(temp < kMissingBelow) && !in_range(temp, kAirTemperatureC)) {
            char range[96];
            describe_range(kAirTemperatureC, range, sizeof range);
            refuse_atf({"orographic gage file", f.name, line_no},
                       "the air temperature %g C is outside its range: it must be %s (or below "
                       "%g for a missing reading)",
                       temp, range, kMissingBelow);
            return false;
        }
        hmet_raw_record r;
        r.year = date[0];
        r.month = date[1];
        r.day = date[2];
        r.hour = date[3];
        r.line = line_no;
        if (!settle_record_date(r, "the orographic", f.name)) return false;
        if (r.year != cur.year || r.month != cur.month || r.day != cur.day || r.hour != cur.hour) {
            std::printf("Error: line %d of the orographic gage file %s is dated %d/%d/%d "
                        "%02d:00 where the hydromet record is of %d/%d/%d %02d:00\n",
                        line_no, f.name, r.year, r.month, r.day, r.hour, cur.year, cur.month,
                        cur.day, cur.hour);
            error_record.code = kErrorPrinted;
            return false;
        }
        return true;
    }
}

}  // namespace

bool spread_orographic_temperature(run_state& rs) {
    if (rs.hmet_orog_gages && rs.hmet_orog_file.is_open()) {
        double temp = 0.0;
        if (!next_orographic_temperature(rs, temp)) return false;
        if (temp < kMissingBelow) {
            // A missing gage value keeps the lapse rate of the record before.
            ++rs.hmet_missing_count;
        } else {
            rs.hmet_working_lapse = (temp - rs.hmet_current.air_temp) /
                                 ((rs.orog_gage_elevation - rs.hmet_ref_elevation) / 1000.0);
        }
    }
    const int n = rs.GNUM;
    if (rs.hmet_cell_temp.size != n || rs.elevation.size() < static_cast<size_t>(n) + 1) {
        std::printf("Error: the per-cell temperatures of the orographic spread are not set up\n");
        error_record.code = kErrorPrinted;
        return false;
    }
    const double base = rs.hmet_current.air_temp;
    for (int i = 1; i <= n; ++i) {
        rs.hmet_cell_temp[i] =
            (rs.elevation[static_cast<size_t>(i)] - rs.hmet_ref_elevation) / 1000.0 *
                rs.hmet_working_lapse + base;
    }
    return true;
}
