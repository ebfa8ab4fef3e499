// Gridded format of the hmet file: the file lists one word per hourly
// record, ending in the date yyyymmddhh; each record's values come from
// ASCII grid maps named by the word and a suffix. Every cell takes the value
// of the map cell that holds its centre; a missing map or a no-data value
// takes the cell's last valid value of that element.
#include <cmath>
#include "input/grid.h"
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/file_object.h"
#include "core/text.h"
#include "hydromet/hmet_formats.h"
#include "run/run_state.h"

namespace {

constexpr double kNoWind = 3.0;          // wind speed without a wind map, m/s
constexpr double kMissingBelow = -998000.0;

// The maps of one record in reading order: suffix, element, name for messages.
struct map_kind { const char* suffix; int element; const char* name; };
const map_kind kMaps[] = {
    {"_Clod.asc", kHmetCloud, "Cloud"},          {"_Pres.asc", kHmetPressure, "Pressure"},
    {"_RlHm.asc", kHmetHumidity, "Relative Humidity"}, {"_Temp.asc", kHmetTemp, "Temperature"},
    {"_Drad.asc", kHmetDirect, "Direct Radiation"}, {"_Grad.asc", kHmetGlobal, "Global Radiation"},
    {"_WndS.asc", kHmetWind, "Wind Speed"}};

// One ASCII grid map.
struct grid_map {
    int cols = 0, rows = 0;
    double xll = 0.0, yll = 0.0, size = 0.0, nodata = -9999.0;
    std::vector<double> values;   // cols x rows, row by row from the north
};

// Reads a map; false after a printed error naming the file and line.
bool read_map(file_object& f, grid_map& m) {
    text_line line;
    char word[kTokenSize];
    int line_no = 0;
    double head[6];
    for (int k = 0; k < 6; ++k) {
        if (!read_line(line, f)) {
            hmet_fail(f.name, line_no + 1, "the map ends inside its six header lines");
            return false;
        }
        ++line_no;
        char* cursor = line.data();
        if (!next_word_at(cursor, word) || !next_word_at(cursor, word) ||
            parse_real_token(word, head[k]) != number_status::ok) {
            hmet_fail(f.name, line_no, "header line %d needs a word and a finite number", k + 1);
            return false;
        }
    }
    m.cols = static_cast<int>(head[0]);
    m.rows = static_cast<int>(head[1]);
    m.xll = head[2];
    m.yll = head[3];
    m.size = head[4];
    m.nodata = head[5];
    if (m.cols < 1 || m.rows < 1 || m.cols != head[0] || m.rows != head[1] || !(m.size > 0.0) ||
        static_cast<double>(m.cols) * m.rows > 5e8) {
        hmet_fail(f.name, 6, "the map needs whole positive column and row counts and a cell "
                  "size above 0");
        return false;
    }
    const size_t want = static_cast<size_t>(m.cols) * static_cast<size_t>(m.rows);
    m.values.clear();
    // Room for what the rest of the file can hold (a value takes two bytes
    // at least), so a large header over a short body allocates little.
    const long left = stream_bytes_left(f.handle);
    const size_t fill = left < 0 ? 0 : static_cast<size_t>(left / 2 + 1);
    m.values.reserve(want < fill ? want : fill);
    while (read_line(line, f)) {
        ++line_no;
        char* cursor = line.data();
        while (next_word_at(cursor, word) && word[0] != '\0') {
            double v = 0.0;
            if (parse_real_token(word, v) != number_status::ok) {
                hmet_fail(f.name, line_no, "the value \"%s\" is not a finite number", word);
                return false;
            }
            if (m.values.size() == want) {
                hmet_fail(f.name, line_no, "the map holds more than its %d x %d values",
                          m.cols, m.rows);
                return false;
            }
            m.values.push_back(v);
        }
    }
    if (m.values.size() != want) {
        hmet_fail(f.name, line_no, "the map holds %d values where its header asks for %d x %d",
                  static_cast<int>(m.values.size()), m.cols, m.rows);
        return false;
    }
    return true;
}

// Index into m.values of the map cell holding (x, y), clamped to the map;
// `outside` is set when the point lies off the map.
size_t map_index(const grid_map& m, double x, double y, bool& outside) {
    double c = std::floor((x - m.xll) / m.size);
    double r = std::floor((m.rows * m.size + m.yll - y) / m.size);
    outside = c < 0 || r < 0 || c > m.cols - 1 || r > m.rows - 1;
    c = std::fmin(std::fmax(c, 0.0), m.cols - 1.0);
    r = std::fmin(std::fmax(r, 0.0), m.rows - 1.0);
    return static_cast<size_t>(c) + static_cast<size_t>(m.cols) * static_cast<size_t>(r);
}

double convert(int e, double v) {
    switch (e) {
    case kHmetCloud: return v / 10.0;
    case kHmetTemp: return fahrenheit_to_celsius(v);
    case kHmetPressure: return v * kInHgToMb;
    default: return v;
    }
}

checked_array<double>& cell_array(run_state& rs, int e) {
    switch (e) {
    case kHmetCloud: return rs.hmet_cell_cloud;
    case kHmetPressure: return rs.hmet_cell_pressure;
    case kHmetHumidity: return rs.hmet_cell_rel_humidity;
    case kHmetTemp: return rs.hmet_cell_temp;
    case kHmetDirect: return rs.hmet_cell_direct_rad;
    case kHmetGlobal: return rs.hmet_cell_global_rad;
    default: return rs.hmet_cell_wind;
    }
}

void size_array(checked_array<double>& a, int n, const char* name) {
    if (a.size == n && a.data != nullptr) return;
    a.release();
    a.set_name(name);
    a.grow(n);
}

}  // namespace

bool count_grid_records(file_object& f, hmet_file_records& h) {
    text_line line;
    char word[kTokenSize];
    int line_no = 0;
    while (read_line(line, f)) {
        ++line_no;
        char* cursor = line.data();
        if (!next_word_at(cursor, word) || word[0] == '\0') continue;   // blank line
        const size_t len = std::strlen(word);
        bool digits = len >= 10;
        for (size_t k = len >= 10 ? len - 10 : 0; digits && k < len; ++k)
            digits = word[k] >= '0' && word[k] <= '9';
        if (!digits) {
            std::printf("Error: Problem encountered in hmet_ASCII file, line %d \n\n", line_no);
            std::printf("(hydromet file %s)\n", h.file_name);
            std::printf("Make sure your file is in the correct format, including making sure\n"
                        "the dates are in integers and in the following format:\n");
            std::printf(" Format:\nyyyymmddhh\n2008050100int\n\n");
            error_record.code = kErrorPrinted;
            return false;
        }
        const char* d = word + len - 10;
        auto num = [&](int from, int count) {
            int v = 0;
            for (int k = 0; k < count; ++k) v = v * 10 + (d[from + k] - '0');
            return v;
        };
        hmet_raw_record r;
        r.year = num(0, 4);
        r.month = num(4, 2);
        r.day = num(6, 2);
        r.hour = num(8, 2);
        r.line = line_no;
        if (!settle_record_date(r, "the record", h.file_name)) return false;
        if (!h.grid_dates.empty() && !follows_by_one_hour(h.grid_dates.back(), r, h.file_name))
            return false;
        h.grid_dates.push_back(r);
        h.grid_words.emplace_back(word);
    }
    return true;
}

bool read_grid_record(run_state& rs, int index, bool first_read) {
    fill_cell_centres(rs);
    hmet_file_records& h = rs.hmet_records;
    const int n = rs.GNUM;
    const std::string& word = h.grid_words[static_cast<size_t>(index)];
    const hmet_raw_record& date = h.grid_dates[static_cast<size_t>(index)];
    double mean[kHmetElements] = {};
    for (const map_kind& k : kMaps) {
        const int e = k.element;
        checked_array<double>& cells = cell_array(rs, e);
        size_array(cells, n, e == kHmetTemp ? "hmet_cell_temp" : k.name);
        if (h.cell_last[e].size() != static_cast<size_t>(n) + 1) {
            h.cell_last[e].assign(static_cast<size_t>(n) + 1, 0.0);
            h.cell_known[e].assign(static_cast<size_t>(n) + 1, 0);
        }
        const std::string path = word + k.suffix;
        file_object f;
        grid_map m;
        // An absent map is normal (its values are missing): looked for quietly first.
        char found[1024];
        const bool present =
            planned_path(path.c_str(), "r", found) && open_file_named(f, path.c_str(), "r");
        if (present) {
            const bool ok = read_map(f, m);
            close_file_object(f);
            if (!ok) return false;
            if (first_read && !rs.quiet) std::printf("Filling %s Array\n", k.name);
        } else if (first_read && !rs.quiet) {
            if (e == kHmetWind)
                std::printf("NO WIND VALUE READ, using %lf \n", kNoWind);
            else
                std::printf("ERROR!!! CANNOT OPEN %s FILE\n", k.name);
        }
        int outside_cells = 0;
        double sum = 0.0;
        for (int c = 1; c <= n; ++c) {
            double v = 0.0;
            bool valid = false;
            if (present) {
                bool outside = false;
                const size_t at = map_index(m, rs.cell_x[c], rs.cell_y[c], outside);
                const double raw = m.values[at];
                if (outside) ++outside_cells;
                // Markers are tested before any conversion; the value, in the
                // record's units after conversion, must lie in the element's
                // physical range.
                if (raw != m.nodata && raw > kMissingBelow) {
                    v = convert(e, raw);
                    valid = true;
                    const number_field field = hmet_element_field(e);
                    if (!in_range(v, field.range)) {
                        char range[160];
                        describe_range(field.range, range, sizeof range);
                        const input_place place{"hydromet map", path.c_str(), 0, nullptr,
                                                static_cast<int>(at / static_cast<size_t>(m.cols)) + 1,
                                                static_cast<int>(at % static_cast<size_t>(m.cols)) + 1};
                        refuse_atf(place,
                                   "the %s %g (map value %g, read for cell %d) is outside its "
                                   "range: it must be %s",
                                   field.name, v, raw, c, range);
                        return false;
                    }
                }
            } else if (e == kHmetWind) {
                v = kNoWind;
                valid = true;
            }
            if (valid) {
                h.cell_last[e][static_cast<size_t>(c)] = v;
                h.cell_known[e][static_cast<size_t>(c)] = 1;
            } else if (h.cell_known[e][static_cast<size_t>(c)]) {
                v = h.cell_last[e][static_cast<size_t>(c)];
                ++rs.hmet_missing_count;
            } else {
                std::printf("Error: the %s of cell %d is missing from the record %s (hydromet "
                            "file %s, line %d) and no earlier record gave it\n",
                            k.name, c, path.c_str(), h.file_name, date.line);
                error_record.code = kErrorPrinted;
                return false;
            }
            cells[c] = v;
            sum += v;
        }
        if (outside_cells > 0 && first_read) {
            std::printf("Warning: %d cell centres lie outside the %s map %s; they take its "
                        "nearest edge cell\n", outside_cells, k.name, path.c_str());
        }
        mean[e] = n > 0 ? sum / n : 0.0;
    }
    set_hmet_current(rs, mean, date);
    return true;
}
