#include "output/xy_output.h"
#include <cmath>
#include <cstdio>
#include <cstring>
#include "core/error.h"
#include "core/file_object.h"
#include "core/file_write.h"
#include "core/text.h"

namespace {

constexpr double kSameSpot = 1e-5;      // offsets below this are a point on the centre, m
constexpr double kLeastDistance = 1e-4; // distances are at least this for the weights, m

bool active(const xy_grid& g, int row, int col) {
    if (row < 1 || row > g.rows || col < 1 || col > g.cols) return false;
    return g.mask[row][col] > 0;
}

double centre_x(const xy_grid& g, int col) { return g.west + (col - 0.5) * g.size; }
double centre_y(const xy_grid& g, int row) { return g.north - (row - 0.5) * g.size; }

// Distance of (x, y) from a centre, 0 on the centre itself, m.
double centre_distance(double x, double y, double cx, double cy) {
    const double dx = x - cx, dy = y - cy;
    if (std::fabs(dx) < kSameSpot && std::fabs(dy) < kSameSpot) return 0.0;
    return std::hypot(dx, dy);
}

void refuse(const char* path, int line, const char* what) {
    std::printf("Error: XY output file %s, line %d: %s\n", path, line, what);
    set_error(kErrorPrinted);
}

// Reads the next line, counting lines; false at the end of the file.
bool next_line(text_line& line, file_object& f, int& number) {
    if (!read_line(line, f)) return false;
    ++number;
    return true;
}

}  // namespace

bool xy_nearest_cell(const xy_grid& g, double x, double y, xy_out_point& p) {
    p.count = 0;
    const int row = static_cast<int>(std::floor((g.north - y) / g.size)) + 1;
    const int col = static_cast<int>(std::floor((x - g.west) / g.size)) + 1;
    double d[4] = {0.0, 0.0, 0.0, 0.0};   // m
    if (active(g, row, col)) {
        // The 2 x 2 block on the side of the cell where the point lies.
        const bool upper = std::fmod(g.north - y, g.size) / g.size < 0.5;
        const bool left = std::fmod(x - g.west, g.size) / g.size < 0.5;
        const int r0 = upper ? row - 1 : row;
        const int c0 = left ? col - 1 : col;
        for (int r = r0; r <= r0 + 1; ++r) {
            for (int c = c0; c <= c0 + 1; ++c) {
                if (!active(g, r, c)) continue;
                p.cell[p.count] = g.mask[r][c];
                d[p.count] = centre_distance(x, y, centre_x(g, c), centre_y(g, r));
                ++p.count;
            }
        }
    } else {
        std::printf("Warning... an XY output point (x=%8.2lf, y=%8.2lf) is not located in an "
                    "active cell. \n    The result will be the value of the single nearest "
                    "neighbor.\n",
                    x, y);
        double best = 9e16;   // m
        for (int r = 1; r <= g.rows; ++r) {
            for (int c = 1; c <= g.cols; ++c) {
                if (!active(g, r, c)) continue;
                const double dist = centre_distance(x, y, centre_x(g, c), centre_y(g, r));
                if (dist < best) {
                    best = dist;
                    p.cell[0] = g.mask[r][c];
                    p.count = 1;
                }
            }
        }
        if (p.count == 0) return false;
    }
    if (p.count < 2) {
        p.weight[0] = 1.0;
        p.weight_sum = 1.0;
        return true;
    }
    p.weight_sum = 0.0;
    for (int k = 0; k < p.count; ++k) {
        const double dist = d[k] < kLeastDistance ? kLeastDistance : d[k];
        p.weight[k] = 1.0 / (dist * dist);
        p.weight_sum += p.weight[k];
    }
    return true;
}

bool read_xy_output_points(xy_output& out, const char* path) {
    if (path == nullptr || path[0] == '\0') {
        std::printf("Error: filename for XY Output File not specified.\n");
        set_error(kErrorPrinted);
        return false;
    }
    file_object f;
    if (!open_file_named(f, path, "r")) {
        std::printf("Error: unable to open the xy output file %s.\n", path);
        set_error(kErrorPrinted);
        return false;
    }
    text_line line;
    int number = 0;
    char token[kTokenSize];
    int n = 0;
    if (!next_line(line, f, number) || next_checked_int(line, n, token) != number_status::ok ||
        n <= 0) {
        refuse(path, number < 1 ? 1 : number,
               "the first line must hold the number of points, a whole number above 0.");
        return false;
    }
    out.points.clear();
    for (int j = 0; j < n; ++j) {
        if (!next_line(line, f, number)) {
            std::printf("Error: XY output file %s: the number of points specified (%d) is more "
                        "than the %d point lines in the file.\n",
                        path, n, j);
            set_error(kErrorPrinted);
            return false;
        }
        xy_out_point p;
        const number_status sx = next_checked_double(line, p.x, token);
        const number_status sy = sx == number_status::ok ? next_checked_double(line, p.y, token) : sx;
        const number_status si = sy == number_status::ok ? next_checked_int(line, p.id, token) : sy;
        if (si != number_status::ok) {
            char what[kTokenSize + 100];
            std::snprintf(what, sizeof what, "a point line holds x, y (m) and an integer id: "
                          "a value %s (%.100s).", number_status_words(si), token);
            refuse(path, number, what);
            return false;
        }
        out.points.push_back(p);
    }
    out.point_count = n;
    return true;
}

bool read_xy_output_mask(xy_output& out, const char* path) {
    file_object f;
    if (!open_file_named(f, path, "r")) {
        std::printf("Error: unable to open the XY output mask file.\n");
        std::printf("       The file %s cannot be opened.\n", path);
        set_error(kErrorPrinted);
        return false;
    }
    xy_inset_mask& m = out.inset;
    text_line line;
    int number = 0;
    char token[kTokenSize];
    double header[6] = {0, 0, 0, 0, 0, 0};   // north, south, east, west (m), rows, cols
    static const char* const kNames[6] = {"north", "south", "east", "west", "rows", "cols"};
    for (int k = 0; k < 6; ++k) {
        if (!next_line(line, f, number)) {
            refuse(path, number + 1, "the mask ends within its six header lines.");
            return false;
        }
        next_word(line, token);   // the keyword
        if (next_checked_double(line, header[k], token) != number_status::ok ||
            (k >= 4 && (header[k] < 1.0 || header[k] > 46340.0 ||
                        header[k] != std::floor(header[k])))) {
            char what[200];
            std::snprintf(what, sizeof what, "the %s value of the mask header is missing or "
                          "not valid.", kNames[k]);
            refuse(path, number, what);
            return false;
        }
    }
    m.north = header[0];
    m.south = header[1];
    m.east = header[2];
    m.west = header[3];
    m.rows = static_cast<int>(header[4]);
    m.cols = static_cast<int>(header[5]);
    m.size = (m.north - m.south) / m.rows;
    const double size_we = (m.east - m.west) / m.cols;   // m
    if (!(m.size > 0.0) || std::fabs(m.size - size_we) > 1e-6 * m.size) {
        char what[300];
        std::snprintf(what, sizeof what, "the cell size from north, south and rows (%.6g m) "
                      "differs from that from east, west and cols (%.6g m).", m.size, size_we);
        refuse(path, 6, what);
        return false;
    }
    m.value.assign(static_cast<size_t>(m.rows) * static_cast<size_t>(m.cols), 0);
    size_t filled = 0;
    while (filled < m.value.size() && next_line(line, f, number)) {
        char* cursor = line;
        while (filled < m.value.size() && next_word_at(cursor, token) > 0) {
            int v = 0;
            const number_status s = parse_int_token(token, v);
            if (s != number_status::ok) {
                char what[kTokenSize + 100];
                std::snprintf(what, sizeof what, "a mask value %s (%.100s).",
                              number_status_words(s), token);
                refuse(path, number, what);
                return false;
            }
            m.value[filled++] = v;
        }
    }
    if (filled < m.value.size()) {
        char what[200];
        std::snprintf(what, sizeof what, "the mask ends after %zu of its %zu values.", filled,
                      m.value.size());
        refuse(path, number, what);
        return false;
    }

    // A nonzero cell on the grid edge or beside a zero cell is a boundary cell;
    // the ids are the running numbers of the nonzero cells in row order.
    out.points.clear();
    int id = 0;
    for (int r = 1; r <= m.rows; ++r) {
        for (int c = 1; c <= m.cols; ++c) {
            if (m.at(r, c) == 0) continue;
            ++id;
            const bool edge = m.at(r - 1, c) == 0 || m.at(r + 1, c) == 0 || m.at(r, c - 1) == 0 ||
                              m.at(r, c + 1) == 0;
            if (!edge) continue;
            xy_out_point p;
            p.x = m.west + (c - 1 + 0.5) * m.size;
            p.y = m.north - (r - 1 + 0.5) * m.size;
            p.id = id;
            out.points.push_back(p);
        }
    }
    if (out.points.empty()) {
        refuse(path, 7, "the mask has no active cell.");
        return false;
    }
    out.point_count = static_cast<int>(out.points.size());
    return true;
}

std::vector<xy_edge> xy_mask_edges(const xy_inset_mask& m) {
    std::vector<xy_edge> edges;
    for (int r = 1; r <= m.rows; ++r) {
        for (int c = 1; c <= m.cols; ++c) {
            if (m.at(r, c) == 0) continue;
            const double left = m.west + (c - 1) * m.size, right = left + m.size;   // m
            const double top = m.north - (r - 1) * m.size, bottom = top - m.size;   // m
            if (m.at(r - 1, c) == 0) edges.push_back({left, top, right, top});
            if (m.at(r, c + 1) == 0) edges.push_back({right, top, right, bottom});
            if (m.at(r + 1, c) == 0) edges.push_back({right, bottom, left, bottom});
            if (m.at(r, c - 1) == 0) edges.push_back({left, bottom, left, top});
        }
    }
    return edges;
}

namespace {

// True when the reach segment (a -> b) crosses the edge: overlapping boxes,
// then the parameter along the edge in 0..1 and along the reach in (0, 1].
bool crosses(const xy_edge& e, double ax, double ay, double bx, double by) {
    if (std::fmax(ax, bx) < std::fmin(e.x1, e.x2) || std::fmin(ax, bx) > std::fmax(e.x1, e.x2) ||
        std::fmax(ay, by) < std::fmin(e.y1, e.y2) || std::fmin(ay, by) > std::fmax(e.y1, e.y2))
        return false;
    const double rx = bx - ax, ry = by - ay;             // reach direction, m
    const double sx = e.x2 - e.x1, sy = e.y2 - e.y1;     // edge direction, m
    const double den = rx * sy - ry * sx;                // m2
    if (den == 0.0) return false;                        // parallel
    const double qx = e.x1 - ax, qy = e.y1 - ay;
    const double t = (qx * sy - qy * sx) / den;          // along the reach
    const double u = (qx * ry - qy * rx) / den;          // along the edge
    return u >= 0.0 && u <= 1.0 && t > 0.0 && t <= 1.0;
}

}  // namespace

bool find_xy_stream_crossings(xy_output& out, const char* channel_file) {
    file_object f;
    if (!open_file_named(f, channel_file, "r")) {
        std::printf("Error: unable to open the .cif file for reading for the stream boundary XY "
                    "hydrograph ouput file\n");
        std::printf("       The file %s cannot be opened.\n", channel_file);
        set_error(kErrorPrinted);
        return false;
    }
    const std::vector<xy_edge> edges = xy_mask_edges(out.inset);
    out.crossings.clear();
    text_line line;
    int number = 0;
    int link = 0, node = 0, points = 0;
    double px = 0.0, py = 0.0;   // previous point of the reach, m
    char token[kTokenSize];
    while (next_line(line, f, number)) {
        if (std::strncmp(line.c_str(), "LINK ", 5) == 0) {
            next_word(line, token);
            if (next_checked_int(line, link, token) != number_status::ok) {
                std::printf("Error: channel file %s, line %d: LINK needs a link number.\n",
                            channel_file, number);
                set_error(kErrorPrinted);
                return false;
            }
            points = 0;
        } else if (std::strncmp(line.c_str(), "NODE ", 5) == 0) {
            next_word(line, token);
            if (next_checked_int(line, node, token) != number_status::ok) {
                std::printf("Error: channel file %s, line %d: NODE needs a node number.\n",
                            channel_file, number);
                set_error(kErrorPrinted);
                return false;
            }
        } else if (std::strncmp(line.c_str(), "X_Y ", 4) == 0) {
            next_word(line, token);
            double x = 0.0, y = 0.0;
            if (next_checked_double(line, x, token) != number_status::ok ||
                next_checked_double(line, y, token) != number_status::ok) {
                std::printf("Error: channel file %s, line %d: X_Y needs two finite "
                            "coordinates (m).\n",
                            channel_file, number);
                set_error(kErrorPrinted);
                return false;
            }
            if (points > 0) {
                for (const xy_edge& e : edges) {
                    if (!crosses(e, px, py, x, y)) continue;
                    xy_crossing c{0.5 * (px + x), 0.5 * (py + y), link, node - 1};
                    bool found = false;
                    for (xy_crossing& k : out.crossings) {
                        if (k.link != link) continue;
                        found = true;
                        if (c.node > k.node) k = c;   // the higher node of a link kept
                    }
                    if (!found) out.crossings.push_back(c);
                    break;
                }
            }
            px = x;
            py = y;
            ++points;
        }
    }
    return true;
}

void write_xy_ov_header(const xy_output& out, file_object& f, const char* word) {
    file_printf(f, "%s\n", word);
    file_printf(f, "%d\n", static_cast<int>(out.points.size()));
    file_printf(f, "DATE       TIME \t");
    for (const xy_out_point& p : out.points) file_printf(f, "  %8d", p.id);
    file_printf(f, "\n");
}

void write_xy_ov_values(const xy_output& out, file_object& f, int year, int month, int day,
                        int hour, int minute, const double* values) {
    file_printf(f, "%4d %02d %02d %02d %02d\t", year, month, day, hour, minute);
    for (const xy_out_point& p : out.points) {
        double sum = 0.0;
        for (int k = 0; k < p.count; ++k) sum += p.weight[k] * values[p.cell[k]];
        file_printf(f, "  %8.3lf", sum / p.weight_sum);
    }
    file_printf(f, "\n");
}

void write_xy_st_header(const xy_output& out, file_object& f) {
    file_printf(f, "%s\n", "XY_STREAM_HYDROGRAPHS");
    file_printf(f, "%d\n", static_cast<int>(out.crossings.size()));
    file_printf(f, "X                 \t");
    for (const xy_crossing& c : out.crossings) file_printf(f, "   %12.3lf", c.x);
    file_printf(f, "\nY                 \t");
    for (const xy_crossing& c : out.crossings) file_printf(f, "   %12.3lf", c.y);
    file_printf(f, "\n");
}

void close_xy_output(xy_output& out) {
    for (std::shared_ptr<file_object>* f : {&out.ov_file, &out.gw_file, &out.st_file}) {
        if (*f == nullptr) continue;
        if ((*f)->is_open()) {
            file_printf(**f, "END_TS\n");
            close_file_object(**f);
        }
        f->reset();
    }
}
