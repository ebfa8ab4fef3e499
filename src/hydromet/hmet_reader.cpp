// The hmet reader: the counting call that parses and checks the whole file,
// the data calls that serve one record per hmet step with missing values
// replaced by remembered ones, the start-up checks of the hmet cards, and
// the helpers the format readers share.
#include "hydromet/hmet_reader.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/dates.h"
#include "core/error.h"
#include "core/file_object.h"
#include "hydromet/hmet_formats.h"
#include "run/run_state.h"

namespace {

constexpr double kHourDays = 1.0 / 24.0;
constexpr double kHalfHourDays = 1.0 / 48.0;

const char* const kElementNames[kHmetElements] = {
    "pressure", "relative humidity", "cloud cover", "wind speed",
    "air temperature", "direct radiation", "global radiation"};

// Before the first data call: the memory of each element starts from its
// first valid value in the file, so that a file that begins with missing
// values takes the next value read rather than a zero. An element with no
// valid value at all is refused, radiation excepted (0: no sunshine data).
bool seed_memory(hmet_file_records& h) {
    for (int e = 0; e < kHmetElements; ++e) {
        bool found = false;
        for (const hmet_raw_record& r : h.records) {
            if (!r.missing[e]) {
                h.last[e] = r.value[e];
                found = true;
                break;
            }
        }
        if (found || h.records.empty()) continue;
        if (e == kHmetDirect || e == kHmetGlobal) {
            h.last[e] = 0.0;
            continue;
        }
        std::printf("Error: the hydromet file %s holds no valid %s value in its %d records\n",
                    h.file_name, kElementNames[e], static_cast<int>(h.records.size()));
        error_record.code = kErrorPrinted;
        return false;
    }
    return true;
}

// Record `rec` with its missing values replaced: by the last valid value of
// the same hour of day where the format remembers by hour (else by the last
// valid value); valid values are remembered.
void serve_record(run_state& rs, const hmet_raw_record& rec) {
    hmet_file_records& h = rs.hmet_records;
    double v[kHmetElements];
    const int hr = rec.hour;
    for (int e = 0; e < kHmetElements; ++e) {
        if (!rec.missing[e]) {
            v[e] = rec.value[e];
            h.last[e] = v[e];
            h.by_hour[e][hr] = v[e];
            h.hour_known[e][hr] = 1;
        } else {
            v[e] = (h.per_hour[e] && h.hour_known[e][hr]) ? h.by_hour[e][hr] : h.last[e];
            ++rs.hmet_missing_count;
        }
    }
    set_hmet_current(rs, v, rec);
}

bool count_records(run_state& rs) {
    hmet_file_records& h = rs.hmet_records;
    h = hmet_file_records();
    std::snprintf(h.file_name, sizeof(h.file_name), "%s",
                  rs.hmet_data_file.name[0] ? rs.hmet_data_file.name : rs.cards.hmet_file);
    file_object& f = rs.hmet_data_file;
    if (!f.is_open()) {
        std::printf("Error: the hydromet file %s is not open\n", h.file_name);
        error_record.code = kErrorPrinted;
        return false;
    }
    std::rewind(f.handle);
    bool ok = false;
    // Elements remembered per hour of day; the others keep their last value.
    const bool hourly[kHmetElements] = {false, true, false, false, true, true, true};
    for (int e = 0; e < kHmetElements; ++e) h.per_hour[e] = hourly[e] ? 1 : 0;
    if (rs.hmet_kev) {
        ok = count_kev_records(f, h);
        if (ok && !rs.quiet)
            std::printf("End of hmet_KEV file encountered after %d lines\n",
                        static_cast<int>(h.records.size()));
    } else if (rs.hmet_ascii) {
        ok = count_grid_records(f, h);
        if (ok && !rs.quiet)
            std::printf("End of hmet_ASCII file encountered after %d lines\n",
                        static_cast<int>(h.grid_words.size()));
    } else if (rs.hmet_surfaways) {
        for (int e = 0; e < kHmetElements; ++e) h.per_hour[e] = e == kHmetCloud ? 0 : 1;
        ok = count_surfaways_records(f, h, rs.quiet != 0);
    } else if (rs.hmet_samson) {
        ok = count_samson_records(f, h, rs.hmet_station);
    } else {
        std::printf("Error: a long-term run needs one of the cards hmet_kev, hmet_ascii, "
                    "hmet_samson or hmet_surfaways\n");
        error_record.code = kErrorPrinted;
        return false;
    }
    if (!ok) {
        if (error_record.code == 0) error_record.code = kErrorPrinted;
        return false;
    }
    const std::vector<hmet_raw_record>& dates = rs.hmet_ascii ? h.grid_dates : h.records;
    rs.hmet_record_count = static_cast<int>(dates.size());
    if (!dates.empty()) {
        const hmet_raw_record& a = dates.front();
        const hmet_raw_record& b = dates.back();
        rs.hmet_start_year = a.year;
        rs.hmet_start_month = a.month;
        rs.hmet_start_day = a.day;
        rs.hmet_start_hour = a.hour;
        rs.hmet_end_year = b.year;
        rs.hmet_end_month = b.month;
        rs.hmet_end_day = b.day;
        rs.hmet_end_hour = b.hour;
        rs.hmet_current.year = a.year;
        rs.hmet_current.month = a.month;
        rs.hmet_current.day = a.day;
        rs.hmet_current.hour = a.hour;
    }
    if (!rs.hmet_ascii && !seed_memory(h)) return false;
    // Per-cell temperatures of the gridded and orographic forms.
    if ((rs.orogvar_hmet || rs.hmet_ascii) && rs.hmet_cell_temp.size != rs.GNUM) {
        rs.hmet_cell_temp.release();
        rs.hmet_cell_temp.set_name("hmet_cell_temp");
        rs.hmet_cell_temp.grow(rs.GNUM);
    }
    return true;
}

}  // namespace

bool hmet_data_remain(const run_state& rs) {
    return rs.long_term && rs.hmet_record_count > 0 && rs.hmet_next >= 0.0;
}

double hmet_record_time(int year, int month, int day, int hour) {
    return julian_day(year, month, day, hour, 0, 0.0);
}

void set_hmet_current(run_state& rs, const double* v, const hmet_raw_record& date) {
    hmet_record& c = rs.hmet_current;
    c.pressure = v[kHmetPressure];
    c.rel_humidity = v[kHmetHumidity];
    c.cloud_cover = v[kHmetCloud];
    c.wind_speed = v[kHmetWind];
    c.air_temp = v[kHmetTemp];
    c.direct_rad = v[kHmetDirect];
    c.global_rad = v[kHmetGlobal];
    c.year = date.year;
    c.month = date.month;
    c.day = date.day;
    c.hour = date.hour;
}

number_field hmet_element_field(int element) {
    switch (element) {
        case kHmetPressure: return {"barometric pressure (mb)", closed_range(250.0, 1100.0)};
        case kHmetHumidity: return {"relative humidity (%)", closed_range(0.0, 100.0)};
        case kHmetCloud: return {"cloud cover (tenths)", closed_range(0.0, 10.0)};
        case kHmetWind: return {"wind speed (m/s)", closed_range(0.0, 120.0)};
        case kHmetTemp: return {"air temperature (C)", closed_range(-80.0, 60.0)};
        case kHmetDirect: return {"direct radiation", at_least(0.0)};
        case kHmetGlobal: return {"global radiation", at_least(0.0)};
        default: return {"value"};
    }
}

bool hmet_record_in_range(const hmet_raw_record& r, const char* file) {
    for (int e = 0; e < kHmetElements; ++e) {
        if (r.missing[e]) continue;
        const number_field f = hmet_element_field(e);
        if (in_range(r.value[e], f.range)) continue;
        char rule[160];
        describe_range(f.range, rule, sizeof rule);
        hmet_fail(file, r.line, "the %s %g is outside its range: it must be %s", f.name,
                  r.value[e], rule);
        return false;
    }
    return true;
}

void hmet_fail(const char* file, int line, const char* format, ...) {
    char text[2048];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    std::printf("Error: %s (hydromet file %s, line %d)\n", text, file, line);
    error_record.code = kErrorPrinted;
}

bool settle_record_date(hmet_raw_record& r, const char* what, const char* file) {
    if (!valid_date(r.year, r.month, r.day) || r.hour < 0 || r.hour > 24) {
        hmet_fail(file, r.line, "%s date %d/%d/%d hour %d is not a calendar date with an hour "
                  "0..24", what, r.year, r.month, r.day, r.hour);
        return false;
    }
    if (r.hour == 24) {
        r.hour = 0;
        if (++r.day > days_in_month_of(r.year, r.month)) {
            r.day = 1;
            if (++r.month > 12) {
                r.month = 1;
                ++r.year;
            }
        }
    }
    return true;
}

bool follows_by_one_hour(const hmet_raw_record& prev, const hmet_raw_record& cur,
                         const char* file) {
    const double gap = hmet_record_time(cur.year, cur.month, cur.day, cur.hour) -
                       hmet_record_time(prev.year, prev.month, prev.day, prev.hour);
    if (std::fabs(gap - kHourDays) < kHalfHourDays / 60.0) return true;
    hmet_fail(file, cur.line,
              "the record of %d/%d/%d %02d:00 does not follow the record of %d/%d/%d %02d:00 "
              "(line %d) by one hour; records must be hourly without gaps or repeats",
              cur.year, cur.month, cur.day, cur.hour, prev.year, prev.month, prev.day, prev.hour,
              prev.line);
    return false;
}

bool fixed_real(const char* line, int from, int to, double& value) {
    const int n = static_cast<int>(std::strlen(line));
    if (from < 1 || to < from || n < to) return false;
    char buf[64];
    int k = 0;
    for (int i = from - 1; i < to && k < 63; ++i) {
        if (line[i] != ' ' && line[i] != '\t') buf[k++] = line[i];
    }
    buf[k] = '\0';
    if (k == 0) return false;
    return parse_real_token(buf, value) == number_status::ok;
}

int read_hmet_record(run_state& rs) {
    if (rs.hmet_read_count <= 0) {
        if (!count_records(rs)) return -1;
        rs.hmet_read_count = 1;
        return 0;
    }
    hmet_file_records& h = rs.hmet_records;
    if (h.served >= rs.hmet_record_count) return -1;
    const int index = h.served++;
    if (rs.hmet_ascii) {
        if (!read_grid_record(rs, index, index == 0)) return -2;
        return index + 1;
    }
    serve_record(rs, h.records[static_cast<size_t>(index)]);
    if (rs.orogvar_hmet && !spread_orographic_temperature(rs)) return -2;
    return index + 1;
}

void check_hmet_cards(run_state& rs) {
    if (!rs.long_term) return;
    const project_cards& c = rs.cards;
    const char* names[4] = {"hmet_kev", "hmet_ascii", "hmet_samson", "hmet_surfaways"};
    const int given[4] = {c.hmet_kev_given, c.hmet_ascii_given, c.hmet_samson_given,
                          c.hmet_surfaways_given};
    int count = 0;
    char list[128] = {};
    for (int k = 0; k < 4; ++k) {
        if (!given[k]) continue;
        ++count;
        std::strncat(list, " ", sizeof(list) - std::strlen(list) - 1);
        std::strncat(list, names[k], sizeof(list) - std::strlen(list) - 1);
    }
    if (count != 1) {
        if (count == 0) {
            std::printf("Error: a long-term run needs exactly one hydromet format card "
                        "(hmet_kev, hmet_ascii, hmet_samson or hmet_surfaways); %s\n",
                        c.hmet_ascii_pet_given ? "the card hmet_ascii_pet alone names a file "
                                                 "that no process reads"
                                               : "none is given");
        } else {
            std::printf("Error: a long-term run needs exactly one hydromet format card; the "
                        "project gives %d:%s\n", count, list);
        }
        error_record.code = kErrorPrinted;
        return;
    }
    if (c.hmet_ascii_pet_given) {
        std::printf("Error: the cards hmet_ascii_pet and%s both name the hydromet file; give "
                    "only the format card\n", list);
        error_record.code = kErrorPrinted;
        return;
    }
    rs.hmet_ref_elevation = c.hmet_elev_gage_given ? c.hmet_elev_gage : 0.0;
    rs.hmet_working_lapse = c.hmet_lapse_rate_given ? c.hmet_lapse_rate : -5.0;
    if (rs.orogvar_hmet && !(std::isfinite(rs.hmet_ref_elevation) &&
                             std::isfinite(rs.hmet_working_lapse))) {
        std::printf("Error: the cards hmet_elev_gage and hmet_lapse_rate need finite values\n");
        error_record.code = kErrorPrinted;
    }
}

void check_hmet_start(run_state& rs) {
    if (!rs.long_term || rs.hmet_record_count <= 0) return;
    const double last = hmet_record_time(rs.hmet_end_year, rs.hmet_end_month, rs.hmet_end_day,
                                         rs.hmet_end_hour);
    if (rs.time <= last + rs.time_tolerance) return;
    std::printf("Error: the simulation starts on %d/%d/%d %02d:%02d, after the last record "
                "(%d/%d/%d %02d:00) of the hydromet file %s\n",
                rs.year, rs.month, rs.day, rs.hour, rs.minute, rs.hmet_end_year,
                rs.hmet_end_month, rs.hmet_end_day, rs.hmet_end_hour, rs.hmet_records.file_name);
    error_record.code = kErrorPrinted;
}
