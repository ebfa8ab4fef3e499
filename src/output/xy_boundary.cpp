#include "output/xy_boundary.h"
#include <algorithm>
#include <cfloat>
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
    // Grown value by value: a count beyond what the line holds ends at the
    // line's end, not in a huge allocation.
    values.clear();
    for (int j = 0; j < n; ++j) {
        number_status s = number_status::ok;
        double value = 0.0;
        if (integers) {
            int v = 0;
            s = next_checked_int(line, v, token);
            value = v;
        } else {
            s = next_checked_double(line, value, token);
        }
        values.push_back(value);
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

// The values of an XY series: an overland depth (m; a negative value is a
// dry cell, taken as 0) or a groundwater head (an elevation, m).
number_field xy_value_field(const char* kind) {
    if (std::strcmp(kind, "groundwater") == 0) return {"groundwater head (m)", kElevationMetres};
    return {"overland depth (m)", {-DBL_MAX, 1.0e3}};
}

// Opens an XY input file for reading; false (with a message naming the
// `kind` of boundary and the file) when it cannot be opened.
bool open_xy_file(file_object& f, const char* file_name, const char* kind) {
    if (open_file_named(f, file_name, "r")) return true;
    std::printf("Error: unable to open %s xy boundary input file.\n", kind);
    std::printf("       The file %s cannot be opened.\n", file_name);
    set_error(kErrorPrinted);
    return false;
}

}  // namespace

void read_xy_boundary(xy_input& in, const char* file_name, const char* kind, const char* header,
                      int layout) {
    file_object f;
    if (!open_xy_file(f, file_name, kind)) return;
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

    std::vector<xy_point> points;
    std::vector<double> values;
    if (layout == kXyByIdentifier) {
        if (!next_line(line, f, number, kind, file_name, "the line of cell numbers")) return;
        if (!read_number_line(line, 2, n, true, values, kind, file_name, number)) return;
        points.resize(static_cast<size_t>(n));
        for (int j = 0; j < n; ++j) {
            points[static_cast<size_t>(j)].cell = static_cast<int>(values[static_cast<size_t>(j)]);
            points[static_cast<size_t>(j)].line = number;
        }
    } else {
        if (!next_line(line, f, number, kind, file_name, "the line of x coordinates")) return;
        if (!read_number_line(line, 1, n, false, values, kind, file_name, number)) return;
        points.resize(static_cast<size_t>(n));
        for (int j = 0; j < n; ++j) points[static_cast<size_t>(j)].x = values[static_cast<size_t>(j)];
        if (!next_line(line, f, number, kind, file_name, "the line of y coordinates")) return;
        if (!read_number_line(line, 1, n, false, values, kind, file_name, number)) return;
        for (int j = 0; j < n; ++j) {
            points[static_cast<size_t>(j)].y = values[static_cast<size_t>(j)];
            points[static_cast<size_t>(j)].line = number;
        }
    }

    time_series* first = read_series_columns(f, n, header, xy_value_field(kind));
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

void read_stream_xy_boundary(xy_input& in, const char* file_name) {
    const char* kind = "stream";
    file_object f;
    if (!open_xy_file(f, file_name, "stream")) return;
    text_line line;
    int number = 0;
    if (!next_line(line, f, number, kind, file_name, "the header")) return;
    if (!same_keyword(line.c_str(), "XY_STREAM_HYDROGRAPHS")) {
        std::printf("Error: file used for stream xy boundary input file is not of appropriate "
                    "type. File header does not match XY_STREAM_HYDROGRAPHS.\n");
        std::printf("       File %s, line 1: %s\n", file_name, line.c_str());
        set_error(kErrorPrinted);
        return;
    }
    if (!next_line(line, f, number, kind, file_name, "the number of points")) return;
    int n = 0;
    char token[kTokenSize];
    if (next_checked_int(line, n, token) != number_status::ok || n <= 0) {
        std::printf("Error: No points in the stream xy boundary input file %s, line %d: the "
                    "number of points must be a whole number above 0 (%.100s).\n",
                    file_name, number, token);
        set_error(kErrorPrinted);
        return;
    }
    std::vector<double> xs, ys;
    if (!next_line(line, f, number, kind, file_name, "the line of x coordinates")) return;
    if (!read_number_line(line, 1, n, false, xs, kind, file_name, number)) return;
    if (!next_line(line, f, number, kind, file_name, "the line of y coordinates")) return;
    if (!read_number_line(line, 1, n, false, ys, kind, file_name, number)) return;
    const int y_line = number;
    time_series* first = read_series_columns(f, n, "XY_STREAM_HYDROGRAPHS",
                                             {"stream flow (m3/s)", kPointFlowM3s});
    if (first == nullptr) return;
    if (first->count < 1) {
        std::printf("Error: stream xy boundary input file %s holds no rows of values after line "
                    "%d.\n",
                    file_name, number);
        set_error(kErrorPrinted);
        return;
    }
    time_series* s_at = first;
    std::vector<xy_stream_point> points;
    for (int j = 0; j < n && s_at != nullptr; ++j, s_at = s_at->next) {
        xy_stream_point p;
        p.x = xs[static_cast<size_t>(j)];
        p.y = ys[static_cast<size_t>(j)];
        p.series = s_at;
        p.line = y_line;
        p.file = file_name;
        points.push_back(p);
    }
    // Points of this file come before those of the time-series boundary file.
    in.stpts.insert(in.stpts.begin() + in.stream_hydrograph_points, points.begin(), points.end());
    in.stream_hydrograph_points += n;
    in.stream_points = static_cast<int>(in.stpts.size());
}

int stream_xy_series_keyword(const char* line) {
    static const char* const kWords[] = {"PLUVO_XY_ST_BDY_TS", "PLUVO_TS", "XY", "LINKNODE",
                                         "END_TS", "TIMESERIES"};
    for (int k = 0; k < 6; ++k)
        if (same_keyword(line, kWords[k])) return k + 1;
    return 0;
}

void read_stream_xy_series(xy_input& in, const char* file_name) {
    const char* kind = "stream time series";
    file_object f;
    if (!open_xy_file(f, file_name, "stream")) return;
    text_line line;
    int number = 0;
    if (!next_line(line, f, number, kind, file_name, "the header")) return;
    if (stream_xy_series_keyword(line.c_str()) != 1) {
        std::printf("Error: incorrectly formatted header for stream xy time series boundary input "
                    "file.\n");
        std::printf("       File %s, line 1 must be PLUVO_XY_ST_BDY_TS: %s\n", file_name,
                    line.c_str());
        set_error(kErrorPrinted);
        return;
    }
    std::vector<xy_stream_point> points;
    bool open = false;   // inside a PLUVO_TS block
    bool have_xy = false;
    char token[kTokenSize];
    std::vector<double> v;
    while (read_line(line, f)) {
        ++number;
        const int code = stream_xy_series_keyword(line.c_str());
        if (code == 0) continue;
        if (code != 2 && !open) {
            refuse_line(kind, file_name, number, "the line comes outside a PLUVO_TS block.");
            return;
        }
        xy_stream_point* p = open ? &points.back() : nullptr;
        switch (code) {
            case 1:
                refuse_line(kind, file_name, number, "a second PLUVO_XY_ST_BDY_TS header.");
                return;
            case 2:
                if (open) {
                    refuse_line(kind, file_name, number, "PLUVO_TS before the END_TS of the point.");
                    return;
                }
                points.emplace_back();
                points.back().line = number;
                points.back().file = file_name;
                open = true;
                have_xy = false;
                break;
            case 3:
                if (!read_number_line(line, 1, 2, false, v, kind, file_name, number)) return;
                p->x = v[0];
                p->y = v[1];
                have_xy = true;
                break;
            case 4:
                if (!read_number_line(line, 1, 2, true, v, kind, file_name, number)) return;
                p->link = static_cast<int>(v[0]);
                p->node = static_cast<int>(v[1]);
                p->placed = 1;
                p->line = number;
                break;
            case 6: {
                next_word(line, token);   // the keyword
                next_word(line, token);
                strip_quotes(token);
                p->series = find_time_series(token);
                if (p->series == nullptr) {
                    std::printf("Error!!! unable to find time series [%s] for the xy boundary "
                                "stream time series file.\n",
                                token);
                    std::printf("         Perhaps the related TIME_SERIES_FILE card in the project "
                                "file is below the XYBDYINPUT_STTIMESERIES card?\n");
                    refuse_line(kind, file_name, number, "the series is not loaded.");
                    return;
                }
                break;
            }
            case 5:
                if (p->series == nullptr || (!have_xy && !p->placed)) {
                    refuse_line(kind, file_name, number,
                                "the point needs a TIMESERIES line and an XY or LINKNODE line.");
                    return;
                }
                open = false;
                break;
            default:
                break;
        }
    }
    if (open) {
        refuse_line(kind, file_name, number, "the last point has no END_TS line.");
        return;
    }
    if (points.empty()) {
        std::printf("Error: No points in the stream xy time series boundary input file %s.\n",
                    file_name);
        set_error(kErrorPrinted);
        return;
    }
    in.stpts.insert(in.stpts.end(), points.begin(), points.end());
    in.stream_points = static_cast<int>(in.stpts.size());
}

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

bool setup_xy_gw_interpolation(xy_input& in, std::vector<int>& codes, int n,
                               const std::vector<double>& x, const std::vector<double>& y) {
    constexpr int kInterpolatedCode = 8;
    constexpr int kFixedHeadCode = 2;
    in.gw_interp_cells.clear();
    std::vector<int> chosen;
    std::vector<double> weights;
    for (int c = 1; c <= n; ++c) {
        if (codes[static_cast<size_t>(c)] != kInterpolatedCode) continue;
        if (in.gwInterpPts.empty()) {
            std::printf("Error: cell %d has the groundwater boundary code 8 (head interpolated "
                        "from XY points), but no XYBDYINPUT_GWHEADINTERP file gave points.\n",
                        c);
            set_error(kErrorPrinted);
            return false;
        }
        codes[static_cast<size_t>(c)] = kFixedHeadCode;
        xy_interpolation_weights(in.gwInterpPts, x[static_cast<size_t>(c)],
                                 y[static_cast<size_t>(c)], chosen, weights);
        xy_interp_cell cell;
        cell.cell = c;
        for (int k : chosen) cell.series.push_back(in.gwInterpPts[static_cast<size_t>(k)].series);
        cell.weights = weights;
        in.gw_interp_cells.push_back(cell);
    }
    return true;
}

void apply_xy_gw_boundary(const xy_input& in, double* head, const double* storage, double dx,
                          double t, double& gain, double& loss, const int* codes) {
    const double area = dx * dx;   // m2
    auto set_head = [&](int c, double v) {
        const double volume = (v - head[c]) * area * storage[c];   // m3
        if (codes != nullptr && codes[c] == 2) {
            head[c] = v;
            return;
        }
        if (volume >= 0.0) gain += volume;
        else loss += -volume;
        head[c] = v;
    };
    for (const xy_point& p : in.gwpts) set_head(p.cell, time_series_value(t, p.series));
    for (const xy_interp_cell& c : in.gw_interp_cells)
        set_head(c.cell, weighted_series_value(c.series.data(), c.weights.data(),
                                               static_cast<int>(c.series.size()), t));
}
