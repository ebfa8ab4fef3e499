// Time series: reading "PLUVO_TS" blocks and column blocks, the name search,
// the thread-safe evaluation and the recording of failed lookups.
#include "input/time_series.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/dates.h"
#include "core/error.h"
#include "core/file_object.h"
#include "core/linked_list.h"
#include "core/text.h"
#include "input/replace.h"

time_series* time_series_list = nullptr;
time_series_index_entry* time_series_index = nullptr;

namespace {

// Julian day of the fields 0 0 0 0 0: subtracted from relative entries so
// that they count days from the run's start.
constexpr double kRelativeOrigin = 1721028.5;

// Failure records of the lookups (written only when a lookup fails).
std::atomic<int> lookup_failures{0};    // OR of kLookup* bits since the last report
std::atomic<int> unknown_index_id{0};   // last ID not found in the index table

bool starts_with(const char* line, const char* word) {
    return std::strncmp(line, word, std::strlen(word)) == 0;
}

// Copies at most size-1 characters of `src` into `dst` and terminates it.
void copy_cut(char* dst, const char* src, size_t size) {
    size_t n = std::strlen(src);
    if (n > size - 1) n = size - 1;
    std::memcpy(dst, src, n);
    dst[n] = '\0';
}

// Removes blanks (not tabs) at both ends, in place.
void trim_blanks(char* text) {
    size_t n = std::strlen(text);
    while (n > 0 && text[n - 1] == ' ') text[--n] = '\0';
    size_t k = 0;
    while (text[k] == ' ') ++k;
    if (k > 0) std::memmove(text, text + k, n - k + 1);
}

// Parses "year month day hour minute" at `p`, each a whole number; advances `p`.
bool parse_date_fields(char*& p, int fields[5]) {
    char token[kTokenSize];
    for (int k = 0; k < 5; ++k) {
        if (next_int_at(p, fields[k], token) != number_status::ok) return false;
    }
    return true;
}

// True when year, month, day, hour and minute name a moment of the calendar
// (entries of absolute series; relative entries are offsets, not dates).
bool calendar_fields(const int fields[5]) {
    return valid_date(fields[0], fields[1], fields[2]) && valid_time_of_day(fields[3], fields[4]);
}

// Parses one whole finite real at `p`; advances `p`.
bool parse_real(char*& p, double& value) {
    char token[kTokenSize];
    return next_real_at(p, value, token) == number_status::ok;
}

}  // namespace

int time_series_keyword(const char* line) {
    if (starts_with(line, "END_TS")) return kTsEnd;
    if (starts_with(line, "ABSOLUTE")) return kTsAbsolute;
    if (starts_with(line, "RELATIVE")) return kTsRelative;
    if (starts_with(line, "PLUVO_TS")) return kTsHeader;
    return kTsOther;
}

int file_line_number(file_object& f, long position) {
    FILE* fp = f.handle;
    if (fp == nullptr || position <= 0) return 1;
    long here = std::ftell(fp);
    std::rewind(fp);
    int line = 1;
    for (long k = 0; k < position; ++k) {
        int c = std::fgetc(fp);
        if (c == EOF) break;
        if (c == '\n') ++line;
    }
    std::fseek(fp, here, SEEK_SET);
    return line;
}

time_series* new_time_series() { return append_node(time_series_list, new time_series()); }

void free_time_series() {
    delete_list(time_series_list);
    delete_list(time_series_index);
}

time_series_index_entry* add_time_series_index(int id, time_series* s) {
    time_series_index_entry* e = new time_series_index_entry();
    e->id = id;
    e->series = s;
    return append_node(time_series_index, e);
}

time_series* find_time_series(const char* name) { return find_named(time_series_list, name); }

int read_time_series(file_object& f) {
    if (f.handle == nullptr || std::feof(f.handle)) return 0;
    text_line line;

    // Find the next block header.
    for (;;) {
        if (!read_line(line, f)) return 0;
        if (time_series_keyword(line) == kTsHeader) break;
    }
    time_series* s = new_time_series();

    // Name line: the whole line, blanks trimmed, one pair of quotes removed.
    if (read_line(line, f)) {
        trim_blanks(line);
        strip_quotes(line);
        copy_cut(s->name, line, sizeof s->name);
    }
    // Type line: "RELATIVE" gives relative time, anything else absolute.
    if (read_line(line, f)) s->relative = time_series_keyword(line) == kTsRelative ? 1 : 0;

    // Entries up to "END_TS" or the end of the file, one per line.
    for (;;) {
        long start = std::ftell(f.handle);
        if (!read_line(line, f)) break;
        if (time_series_keyword(line) == kTsEnd) break;
        int fields[5] = {0, 0, 0, 0, 0};
        double value = 0.0;
        std::string text = line.c_str();   // the line stays whole for the message
        char* p = text.data();
        if (!parse_date_fields(p, fields) || !parse_real(p, value)) {
            std::printf("Error: time series file %s, line %d: an entry of series [%s] must hold "
                        "year, month, day, hour, minute and value: %s\n",
                        f.name, file_line_number(f, start), s->name, line.c_str());
            s->count = static_cast<int>(s->times.size());
            set_error(kErrorPrinted);
            return -1;
        }
        if (!s->relative && !calendar_fields(fields)) {
            std::printf("Error: time series file %s, line %d: the date of series [%s] is not a "
                        "valid date and time: %s\n",
                        f.name, file_line_number(f, start), s->name, line.c_str());
            s->count = static_cast<int>(s->times.size());
            set_error(kErrorPrinted);
            return -1;
        }
        double t = julian_day(fields[0], fields[1], fields[2], fields[3], fields[4], 0.0);
        if (s->relative) t -= kRelativeOrigin;
        if (!s->times.empty() && !(t > s->times.back())) {
            std::printf("Error: time series file %s, line %d: the time of series [%s] does not "
                        "increase: %s\n",
                        f.name, file_line_number(f, start), s->name, line.c_str());
            s->count = static_cast<int>(s->times.size());
            set_error(kErrorPrinted);
            return -1;
        }
        s->times.push_back(t);
        s->values.push_back(value);
    }
    s->count = static_cast<int>(s->times.size());
    print_message("Read time series %s\n", s->name);
    return 1;
}

bool read_time_series_file(const char* path) {
    file_object f;
    if (!open_file_named(f, path, "r")) {
        // The inputs that name its series would run without them: stop.
        std::printf("Error: Time series file not found [%s]\n", path);
        set_error(kErrorPrinted);
        return false;
    }
    int blocks = 0;
    int result = 0;
    while ((result = read_time_series(f)) == 1) ++blocks;
    if (result == 0) print_message("%d time series read from file %s\n", blocks, path);
    close_file_object(f);
    return true;
}

void shift_relative_time_series(double start_time) {
    for (time_series* s = time_series_list; s != nullptr; s = s->next) {
        if (!s->relative || s->shifted) continue;
        for (double& t : s->times) t += start_time;
        s->shifted = 1;
    }
}

double time_series_value(double t, time_series* s) {
    if (s == nullptr) {
        record_series_lookup_failure(kLookupMissingSeries);
        return 0.0;
    }
    int n = s->count;
    if (n > static_cast<int>(s->times.size())) n = static_cast<int>(s->times.size());
    if (n > static_cast<int>(s->values.size())) n = static_cast<int>(s->values.size());
    if (n <= 0) {
        record_series_lookup_failure(kLookupEmptySeries, &s->lookup_failed);
        return 0.0;
    }
    const double* times = s->times.data();
    const double* values = s->values.data();
    if (n == 1 || t <= times[0]) return values[0];
    if (t >= times[n - 1]) return values[n - 1];

    // Search from the interval used last, then once more from the first one.
    // The result does not depend on the hint, only the search length does.
    int hint = s->cursor.load(std::memory_order_relaxed);
    if (hint < 0 || hint > n - 2) hint = 0;
    int found = -1;
    for (int i = hint; i <= n - 2 && found < 0; ++i)
        if (times[i] <= t && t <= times[i + 1]) found = i;
    for (int i = 0; i <= n - 2 && found < 0; ++i)
        if (times[i] <= t && t <= times[i + 1]) found = i;
    if (found < 0) {
        record_series_lookup_failure(kLookupNoInterval, &s->lookup_failed);
        return 0.0;
    }
    if (found != hint) s->cursor.store(found, std::memory_order_relaxed);
    double f = (t - times[found]) / (times[found + 1] - times[found]);
    return (1.0 - f) * values[found] + f * values[found + 1];
}

double indexed_series_value(int id, double t) {
    for (time_series_index_entry* e = time_series_index; e != nullptr; e = e->next)
        if (e->id == id) return time_series_value(t, e->series);
    record_series_lookup_failure(kLookupUnknownIndex, nullptr, id);
    return 0.0;
}

time_series* read_series_columns(file_object& f, int n, const char* base_name,
                                 const number_field& field) {
    if (n <= 0 || f.handle == nullptr) return nullptr;
    // Rows are taken whole from the file (no replacement), up to "END_TS" or
    // the end of the file; the file is left at the start of the "END_TS" line.
    std::vector<double> row_times;
    std::vector<double> row_values;   // row-major, n per row
    std::string row;
    for (;;) {
        long start = std::ftell(f.handle);
        row.clear();
        int c = 0;
        while ((c = std::fgetc(f.handle)) != EOF && c != '\n') row.push_back(static_cast<char>(c));
        if (c == EOF && row.empty()) break;
        if (!row.empty() && row.back() == '\r') row.pop_back();   // CR LF line end
        if (starts_with(row.c_str(), "END_TS")) {
            std::fseek(f.handle, start, SEEK_SET);
            break;
        }
        int fields[5] = {0, 0, 0, 0, 0};
        std::string text = row;   // the row stays whole for the message
        char* p = text.data();
        bool ok = parse_date_fields(p, fields);
        for (int j = 0; j < n && ok; ++j) {
            double v = 0.0;
            ok = parse_real(p, v);
            row_values.push_back(v);
        }
        if (!ok) {
            std::printf("Error: series file %s, line %d: a row of the series %.100s_0000.. must "
                        "hold year, month, day, hour, minute and %d values: %s\n",
                        f.name, file_line_number(f, start), base_name, n, row.c_str());
            set_error(kErrorPrinted);
            return nullptr;
        }
        for (size_t j = row_values.size() - static_cast<size_t>(n); j < row_values.size(); ++j) {
            const double v = row_values[j];
            if (in_range(v, field.range)) continue;
            char range[160];
            describe_range(field.range, range, sizeof range);
            refuse_atf({"series file", f.name, file_line_number(f, start)},
                       "the %s %g (value %d of the row) is outside its range: it must be %s",
                       field.name, v, static_cast<int>(j % static_cast<size_t>(n)) + 1, range);
            return nullptr;
        }
        if (!calendar_fields(fields)) {
            std::printf("Error: series file %s, line %d: the date of the series %.100s_0000.. is "
                        "not a valid date and time: %s\n",
                        f.name, file_line_number(f, start), base_name, row.c_str());
            set_error(kErrorPrinted);
            return nullptr;
        }
        double t = julian_day(fields[0], fields[1], fields[2], fields[3], fields[4], 0.0);
        if (!row_times.empty() && !(t > row_times.back())) {
            std::printf("Error: series file %s, line %d: the time of the series %.100s_0000.. "
                        "does not increase: %s\n",
                        f.name, file_line_number(f, start), base_name, row.c_str());
            set_error(kErrorPrinted);
            return nullptr;
        }
        row_times.push_back(t);
    }

    char base[101];
    copy_cut(base, base_name, sizeof base);
    size_t rows = row_times.size();
    time_series* first = nullptr;
    for (int j = 0; j < n; ++j) {
        time_series* s = new_time_series();
        if (first == nullptr) first = s;
        std::snprintf(s->name, sizeof s->name, "%s_%04d", base, j);
        s->relative = 0;
        s->times = row_times;
        s->values.resize(rows);
        for (size_t r = 0; r < rows; ++r) s->values[r] = row_values[r * n + j];
        s->count = static_cast<int>(rows);
    }
    return first;
}

void record_series_lookup_failure(int kind, std::atomic<int>* series_flag, int id) {
    if (series_flag != nullptr) series_flag->fetch_or(kind, std::memory_order_relaxed);
    if (kind == kLookupUnknownIndex) unknown_index_id.store(id, std::memory_order_relaxed);
    lookup_failures.fetch_or(kind, std::memory_order_relaxed);
}

int series_lookup_failures() {
    return lookup_failures.load(std::memory_order_relaxed);
}

int report_series_lookup_failures() {
    int kinds = lookup_failures.exchange(0, std::memory_order_relaxed);
    if (kinds == 0) return 0;
    int stop = 0;
    if (kinds & kLookupMissingSeries) {
        std::printf("Error: attempting to extract a value from a time series that does not exist.\n");
        stop = 1;
    }
    if (kinds & kLookupMissingElevation) {
        std::printf("Error: attempting to extract a value from an elevation series that does not "
                    "exist.\n");
        stop = 1;
    }
    if (kinds & kLookupUnknownIndex) {
        std::printf("Error: attempting to extract a value from an unknown time series in the time "
                    "series table.    Check the mapping table file (.cmt). The specified time "
                    "series index is %d, but the \nindex is not found in the time series index "
                    "table.\n",
                    unknown_index_id.load(std::memory_order_relaxed));
        stop = 1;
    }
    for (time_series* s = time_series_list; s != nullptr; s = s->next) {
        int k = s->lookup_failed.exchange(0, std::memory_order_relaxed);
        if (k & kLookupEmptySeries) {
            std::printf("Error: attempting to extract a value from a time series [%s] with no "
                        "entries.\n",
                        s->name);
            stop = 1;
        }
        if (k & kLookupNoInterval)
            std::printf("Error: something is really messed up with your time series [%s].\n",
                        s->name);
    }
    for (elevation_series* s = elevation_series_list; s != nullptr; s = s->next) {
        int k = s->lookup_failed.exchange(0, std::memory_order_relaxed);
        if (k & kLookupEmptySeries) {
            std::printf("Error: attempting to extract a value from an elevation series [%s] with "
                        "no entries.\n",
                        s->name);
            stop = 1;
        }
        if (k & kLookupNoInterval)
            std::printf("Error: something is really messed up with your elevation series [%s].\n",
                        s->name);
    }
    if (stop) set_error(kErrorPrinted);
    return stop;
}
