// Elevation series: reading "PLUVO_ES" blocks, the name search and the
// thread-safe linear and step evaluations.
#include "input/elevation_series.h"

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
#include "input/time_series.h"

elevation_series* elevation_series_list = nullptr;

namespace {

bool starts_with(const char* line, const char* word) {
    return std::strncmp(line, word, std::strlen(word)) == 0;
}

// Parses two whole finite reals "x y" at the front of `line`.
bool parse_pair(const char* line, double& x, double& y) {
    std::string text = line;
    char* p = text.data();
    char token[kTokenSize];
    return next_real_at(p, x, token) == number_status::ok &&
           next_real_at(p, y, token) == number_status::ok;
}

// The checks shared by both evaluations. Returns true with `result` set when
// the value is decided without an interval (failure, one pair or outside the
// range); otherwise sets `interval` to the first interval holding x.
bool locate(double x, elevation_series* s, double& result, int& interval) {
    result = 0.0;
    if (s == nullptr) {
        record_series_lookup_failure(kLookupMissingElevation);
        return true;
    }
    int n = s->count;
    if (n > static_cast<int>(s->x_values.size())) n = static_cast<int>(s->x_values.size());
    if (n > static_cast<int>(s->y_values.size())) n = static_cast<int>(s->y_values.size());
    if (n <= 0) {
        record_series_lookup_failure(kLookupEmptySeries, &s->lookup_failed);
        return true;
    }
    const double* xs = s->x_values.data();
    const double* ys = s->y_values.data();
    if (n == 1 || x <= xs[0]) {
        result = ys[0];
        return true;
    }
    if (x >= xs[n - 1]) {
        result = ys[n - 1];
        return true;
    }
    for (int i = 0; i <= n - 2; ++i) {
        if (xs[i] <= x && x <= xs[i + 1]) {
            interval = i;
            return false;
        }
    }
    record_series_lookup_failure(kLookupNoInterval, &s->lookup_failed);
    return true;
}

}  // namespace

elevation_series* new_elevation_series() {
    return append_node(elevation_series_list, new elevation_series());
}

void free_elevation_series() { delete_list(elevation_series_list); }

elevation_series* find_elevation_series(const char* name) {
    return find_named(elevation_series_list, name);
}

int read_elevation_series(file_object& f) {
    if (f.handle == nullptr || std::feof(f.handle)) return 0;
    text_line line;

    for (;;) {
        if (!read_line(line, f)) return 0;
        if (starts_with(line, "PLUVO_ES")) break;
    }
    elevation_series* s = new_elevation_series();

    // Name: the first token of the line, one pair of quotes removed.
    if (read_line(line, f)) {
        char token[kTokenSize] = {};
        next_word(line, token);
        strip_quotes(token);
        size_t n = std::strlen(token);
        if (n > sizeof s->name - 1) n = sizeof s->name - 1;
        std::memcpy(s->name, token, n);
        s->name[n] = '\0';
    }

    // Pairs up to "END_ES" or the end of the file, one per line.
    for (;;) {
        long start = std::ftell(f.handle);
        if (!read_line(line, f)) break;
        if (starts_with(line, "END_ES")) break;
        double x = 0.0;
        double y = 0.0;
        if (!parse_pair(line, x, y)) {
            std::printf("Error: elevation series file %s, line %d: a pair of series [%s] must hold "
                        "two numbers x and y: %s\n",
                        f.name, file_line_number(f, start), s->name, line.c_str());
            s->count = static_cast<int>(s->x_values.size());
            set_error(kErrorPrinted);
            return -1;
        }
        if (!s->x_values.empty() && !(x > s->x_values.back())) {
            std::printf("Error: elevation series file %s, line %d: the x value of series [%s] "
                        "does not increase: %s\n",
                        f.name, file_line_number(f, start), s->name, line.c_str());
            s->count = static_cast<int>(s->x_values.size());
            set_error(kErrorPrinted);
            return -1;
        }
        s->x_values.push_back(x);
        s->y_values.push_back(y);
    }
    s->count = static_cast<int>(s->x_values.size());
    return 1;
}

void read_elevation_series_file(const char* path) {
    file_object f;
    if (!open_file_named(f, path, "r")) {
        std::printf("Error: Elevation series file not found [%s]\n", path);
        return;
    }
    int blocks = 0;
    int result = 0;
    while ((result = read_elevation_series(f)) == 1) ++blocks;
    if (result == 0) print_message("%d elevation series read from file %s\n", blocks, path);
    close_file_object(f);
}

double elevation_series_value(double x, elevation_series* s) {
    double result = 0.0;
    int i = 0;
    if (locate(x, s, result, i)) return result;
    const double* xs = s->x_values.data();
    const double* ys = s->y_values.data();
    double f = (x - xs[i]) / (xs[i + 1] - xs[i]);
    return (1.0 - f) * ys[i] + f * ys[i + 1];
}

double elevation_series_step_value(double x, elevation_series* s) {
    double result = 0.0;
    int i = 0;
    if (locate(x, s, result, i)) return result;
    return s->y_values[i];
}
