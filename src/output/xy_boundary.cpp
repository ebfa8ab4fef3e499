#include "output/xy_boundary.h"
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include "core/error.h"
#include "core/file_object.h"
#include "core/text.h"
#include "input/time_series.h"

namespace {

// Prints the start of a message about line `line` of an XY input file.
void refuse_line(const char* kind, const char* path, int line, const char* what) {
    std::printf("Error: %s xy boundary input file %s, line %d: %s\n", kind, path, line, what);
    set_error(kErrorPrinted);
}

// Reads the next line; false (with a message) at the end of the file.
bool next_line(text_line& line, file_object& f, int& number, const char* kind, const char* path,
               const char* expected) {
    if (!read_line(line, f)) {
        if (number == 0)
            std::printf("Error: %s xy boundary input file %s is empty.\n", kind, path);
        else
            std::printf("Error: %s xy boundary input file %s ends at line %d where %s was "
                        "expected.\n",
                        kind, path, number, expected);
        set_error(kErrorPrinted);
        return false;
    }
    ++number;
    return true;
}

// Skips `skip` leading words and reads n numbers of one kind off the line.
bool read_number_line(char* line, int skip, int n, bool integers, std::vector<double>& values,
                      const char* kind, const char* path, int number) {
    char token[kTokenSize];
    for (int k = 0; k < skip; ++k) next_word(line, token);
    values.assign(static_cast<size_t>(n), 0.0);
    for (int j = 0; j < n; ++j) {
        number_status s = number_status::ok;
        if (integers) {
            int v = 0;
            s = next_checked_int(line, v, token);
            values[static_cast<size_t>(j)] = v;
        } else {
            s = next_checked_double(line, values[static_cast<size_t>(j)], token);
        }
        if (s != number_status::ok) {
            char what[kTokenSize + 200];
            std::snprintf(what, sizeof what, "value %d of %d %s (%.100s).", j + 1, n,
                          number_status_words(s), token);
            refuse_line(kind, path, number, what);
            return false;
        }
    }
    return true;
}

}  // namespace

void read_xy_boundary(xy_input& in, const char* file_name, const char* kind, const char* header,
                      int layout) {
    file_object f;
    if (!open_file_named(f, file_name, "r")) {
        std::printf("Error: unable to open %s xy boundary input file.\n", kind);
        std::printf("       The file %s cannot be opened.\n", file_name);
        set_error(kErrorPrinted);
        return;
    }
    text_line line;
    int number = 0;   // line number of `line`
    if (!next_line(line, f, number, kind, file_name, "the header")) return;
    if (std::strncmp(line.c_str(), header, std::strlen(header)) != 0) {
        std::printf("Error: file used for %s xy boundary input file is not of appropriate type. "
                    "File header does not match %s.\n",
                    kind, header);
        std::printf("       File %s, line 1: %s\n", file_name, line.c_str());
        set_error(kErrorPrinted);
        return;
    }
    if (!next_line(line, f, number, kind, file_name, "the number of points")) return;
    int n = 0;
    char token[kTokenSize];
    const number_status s = next_checked_int(line, n, token);
    if (s != number_status::ok || n <= 0) {
        std::printf("Error: No points in %s xy boundary input file %s, line %d: the number of "
                    "points must be a whole number above 0 (%.100s).\n",
                    kind, file_name, number, token);
        set_error(kErrorPrinted);
        return;
    }

    std::vector<xy_point> points(static_cast<size_t>(n));
    std::vector<double> values;
    if (layout == kXyByIdentifier) {
        if (!next_line(line, f, number, kind, file_name, "the line of cell numbers")) return;
        if (!read_number_line(line, 2, n, true, values, kind, file_name, number)) return;
        for (int j = 0; j < n; ++j) {
            points[static_cast<size_t>(j)].cell = static_cast<int>(values[static_cast<size_t>(j)]);
            points[static_cast<size_t>(j)].line = number;
        }
    } else {
        if (!next_line(line, f, number, kind, file_name, "the line of x coordinates")) return;
        if (!read_number_line(line, 1, n, false, values, kind, file_name, number)) return;
        for (int j = 0; j < n; ++j) points[static_cast<size_t>(j)].x = values[static_cast<size_t>(j)];
        if (!next_line(line, f, number, kind, file_name, "the line of y coordinates")) return;
        if (!read_number_line(line, 1, n, false, values, kind, file_name, number)) return;
        for (int j = 0; j < n; ++j) {
            points[static_cast<size_t>(j)].y = values[static_cast<size_t>(j)];
            points[static_cast<size_t>(j)].line = number;
        }
    }

    time_series* first = read_series_columns(f, n, header);
    if (first == nullptr) return;   // the row reader printed why (file and line)
    if (first->count < 1) {
        std::printf("Error: %s xy boundary input file %s holds no rows of values after line %d.\n",
                    kind, file_name, number);
        set_error(kErrorPrinted);
        return;
    }
    time_series* s_at = first;
    for (int j = 0; j < n && s_at != nullptr; ++j, s_at = s_at->next)
        points[static_cast<size_t>(j)].series = s_at;

    std::vector<xy_point>* list = &in.ovpts;
    if (std::strcmp(kind, "groundwater") == 0)
        list = layout == kXyByIdentifier ? &in.gwpts : &in.gwInterpPts;
    list->insert(list->end(), points.begin(), points.end());
    if (list == &in.ovpts) in.ov_file = file_name;
    else in.gw_file = file_name;
    in.overland_points = static_cast<int>(in.ovpts.size());
    in.groundwater_points = static_cast<int>(in.gwpts.size());
}

void read_stream_xy_boundary(xy_input&, const char*) {}
void read_stream_xy_series(xy_input&, const char*) {}

bool check_xy_cells(const xy_input& in, int cell_count) {
    struct list_of {
        const std::vector<xy_point>* points;
        const std::string* file;
        const char* kind;
    };
    const list_of lists[] = {{&in.ovpts, &in.ov_file, "overland"},
                             {&in.gwpts, &in.gw_file, "groundwater"}};
    for (const list_of& l : lists) {
        for (size_t j = 0; j < l.points->size(); ++j) {
            const xy_point& p = (*l.points)[j];
            if (p.cell >= 1 && p.cell <= cell_count) continue;
            std::printf("Error: %s xy boundary input file %s, line %d: point %d names cell %d, "
                        "but the grid has cells 1 to %d.\n",
                        l.kind, l.file->c_str(), p.line, static_cast<int>(j) + 1, p.cell,
                        cell_count);
            set_error(kErrorPrinted);
            return false;
        }
    }
    return true;
}

void apply_xy_ov_boundary(const xy_input& in, double* depth, double dx, double t, double& gain,
                          double& loss) {
    const double area = dx * dx;   // m2
    for (const xy_point& p : in.ovpts) {
        double v = time_series_value(t, p.series);   // m
        if (v < 0.0) v = 0.0;
        const double dh = v - depth[p.cell];
        if (dh >= 0.0) gain += dh * area;
        else loss += -dh * area;
        depth[p.cell] = v;
    }
}

double weighted_series_value(time_series* const* series, const double* weights, int count,
                             double t) {
    double sum = 0.0, wsum = 0.0;
    for (int k = 0; k < count; ++k) {
        sum += weights[k] * time_series_value(t, series[k]);
        wsum += weights[k];
    }
    return wsum > 0.0 ? sum / wsum : 0.0;
}

void xy_interpolation_weights(const std::vector<xy_point>& points, double x, double y,
                              std::vector<int>& chosen, std::vector<double>& weights) {
    constexpr size_t kMostPoints = 5;
    const size_t n = points.size();
    std::vector<double> d(n);   // m
    for (size_t l = 0; l < n; ++l) {
        const double dx = points[l].x - x;
        const double dy = points[l].y - y;
        double dist = (std::fabs(dx) < 1e-5 && std::fabs(dy) < 1e-5) ? 0.0 : std::hypot(dx, dy);
        if (dist < 1e-4) dist = 1e-4;
        d[l] = dist;
    }
    chosen.resize(n);
    for (size_t l = 0; l < n; ++l) chosen[l] = static_cast<int>(l);
    if (n > kMostPoints) {
        // Equal distances keep file order, so the chosen points never depend on the sort.
        std::stable_sort(chosen.begin(), chosen.end(),
                         [&d](int a, int b) { return d[static_cast<size_t>(a)] < d[static_cast<size_t>(b)]; });
        chosen.resize(kMostPoints);
    }
    weights.resize(chosen.size());
    for (size_t k = 0; k < chosen.size(); ++k) {
        const double dist = d[static_cast<size_t>(chosen[k])];
        weights[k] = 1.0 / (dist * dist);
    }
}
