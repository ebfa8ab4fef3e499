// Overland pumps and the running maximum depth.
#include "overland/pumps.h"

#include <cstdio>
#include <cstring>

#include "core/error.h"
#include "core/file_object.h"
#include "core/parallel.h"
#include "core/text.h"
#include "input/elevation_series.h"
#include "input/time_series.h"
#include "run/run_state.h"

namespace {

constexpr int kPumpFileMissing = 83;   // catalogue code: the pump file cannot be opened
// Rates a pump may be given, m3/s (negative: water put on the cell).
constexpr number_range kPumpRate = closed_range(-1.0e4, 1.0e4);

bool bad_line(const char* path, int line, const char* what) {
    std::printf("Error: overland pump file %s, line %d: %s\n", path, line, what);
    error_record.code = kErrorPrinted;
    report_error(error_record);
    return false;
}

// Reads one pump line (already known not to be blank) into `p`.
bool read_pump_line(run_state& rs, char* text, const char* path, int line, ov_pump_record& p) {
    char token[kTokenSize];
    int cell = 0;
    const number_status s = next_checked_int(text, cell, token);
    if (s != number_status::ok || cell < 1 || cell > rs.GNUM)
        return bad_line(path, line, "the first value must be a cell number of the watershed.");
    token[0] = '\0';
    next_word(text, token);
    int type = 0;
    if (same_keyword(token, "TS")) type = 1;
    else if (same_keyword(token, "ELEV")) type = 2;
    else return bad_line(path, line, "the pump type after the cell must be TS or ELEV.");
    token[0] = '\0';
    next_word(text, token);
    if (token[0] == '\0') return bad_line(path, line, "the series name is missing.");
    p.cell = cell;
    p.flow_type = type;
    if (type == 1) {
        p.series = find_time_series(token);
        if (p.series == nullptr || p.series->count < 1)
            return bad_line(path, line, "no time series of that name was read.");
    } else {
        p.curve = find_elevation_series(token);
        if (p.curve == nullptr || p.curve->count < 1)
            return bad_line(path, line, "no elevation series of that name was read.");
    }
    // Every rate the series can give lies within what a pump moves (a
    // negative rate puts water on the cell).
    const std::vector<double>& rates = type == 1 ? p.series->values : p.curve->y_values;
    for (size_t k = 0; k < rates.size(); ++k) {
        if (in_range(rates[k], kPumpRate)) continue;
        char range[160];
        describe_range(kPumpRate, range, sizeof range);
        refuse_atf({"overland pump file", path, line},
                   "entry %d of the %s series %s gives the pump rate %g m3/s, outside its "
                   "range: it must be %s",
                   static_cast<int>(k) + 1, type == 1 ? "time" : "elevation", token, rates[k],
                   range);
        report_error(error_record);
        return false;
    }
    return true;
}

bool blank(const char* text) {
    for (const char* c = text; *c != '\0'; ++c)
        if (*c != ' ' && *c != '\t') return false;
    return true;
}

}  // namespace

void read_overland_pumps(run_state& rs) {
    if (rs.flood_grid) rs.max_ov_depth.assign(static_cast<size_t>(rs.GNUM) + 1, 0.0);
    rs.ov_pumps.clear();
    if (!rs.ov_pump) return;
    const char* path = rs.cards.ov_pump;
    file_object f;
    if (!open_file_named(f, path, "r")) {
        set_error(kPumpFileMissing, nullptr, path);
        report_error(error_record);
        return;
    }
    text_line line;
    int number = 0;
    while (read_line(line, f)) {
        ++number;
        if (blank(line)) continue;
        ov_pump_record p;
        if (!read_pump_line(rs, line, path, number, p)) {
            rs.ov_pumps.clear();
            close_file_object(f);
            return;
        }
        rs.ov_pumps.push_back(p);
    }
    close_file_object(f);
    if (rs.ov_pumps.empty()) {
        std::printf("Error: overland pump file %s holds no pump.\n", path);
        error_record.code = kErrorPrinted;
        report_error(error_record);
    }
}

void apply_overland_pumps(run_state& rs, double dt) {
    if (!(dt > 0.0)) return;
    const double area = rs.cell_size * rs.cell_size;   // m2
    double taken = 0.0;                                // m3
    for (const ov_pump_record& p : rs.ov_pumps) {
        double& h = rs.ov_depth[static_cast<size_t>(p.cell)];
        const double rate = p.flow_type == 1 ? time_series_value(rs.time, p.series)
                                             : elevation_series_value(h, p.curve);   // m3/s
        double d = rate * dt / area;   // m
        if (d > h) d = h;              // never more than the water present
        h -= d;
        taken += d * area;
        // Pumped water carries its constituents away (kept per cell while they are carried).
        std::vector<double>& gone = rs.con.bc_volume;
        if (d > 0.0 && static_cast<size_t>(p.cell) < gone.size()) gone[static_cast<size_t>(p.cell)] += d * area;
    }
    rs.vol_ov_pumps += taken;
    if (series_lookup_failures() != 0) report_series_lookup_failures();
}

void update_max_depth(run_state& rs) {
    const int n = rs.GNUM;
    if (rs.max_ov_depth.size() < static_cast<size_t>(n) + 1) return;
    double* top = rs.max_ov_depth.data();
    const double* h = rs.ov_depth.data();
#pragma omp parallel for schedule(static) if (n >= kParallelCells)
    for (int j = 1; j <= n; ++j)
        if (h[j] > top[j]) top[j] = h[j];
}
