#include "channel/xy_stream_points.h"
#include <cmath>
#include <cstdio>
#include "channel/channel_records.h"
#include "core/error.h"
#include "input/time_series.h"
#include "run/run_state.h"

namespace {

inline size_t ix(int i) { return static_cast<size_t>(i); }

void refuse_point(const xy_stream_point& p, const char* what) {
    std::printf("Error: stream xy boundary input file %s, line %d: %s\n", p.file.c_str(), p.line,
                what);
    set_error(kErrorPrinted);
}

bool routed(const run_state& rs, int link) {
    return link >= 1 && link <= rs.links && routed_link(rs.ltype[ix(link)]);
}

}  // namespace

void locate_stream_xy_points(run_state& rs) {
    std::vector<xy_stream_point>& points = rs.cards.xy_in.stpts;
    if (points.empty()) return;
    char what[400];
    if (!rs.chan_explic) {
        std::snprintf(what, sizeof what, "stream points need the explicit channel routing "
                      "(chan_explic).");
        refuse_point(points.front(), what);
        return;
    }
    for (xy_stream_point& p : points) {
        if (p.placed) {
            if (!routed(rs, p.link) || p.node < 1 || p.node > rs.nx[ix(p.link)]) {
                std::snprintf(what, sizeof what, "LINKNODE %d %d is not a node of a routed "
                              "channel link.", p.link, p.node);
                refuse_point(p, what);
                return;
            }
            continue;
        }
        // The nearest node centre, m; ties keep the first link and node.
        double best = rs.cell_size;
        for (int l = 1; l <= rs.links; ++l) {
            if (!routed(rs, l)) continue;
            for (int j = 1; j <= rs.nx[ix(l)]; ++j) {
                const double x = 0.5 * (rs.lnx(ix(j), ix(l)) + rs.lnx(ix(j + 1), ix(l)));
                const double y = 0.5 * (rs.lny(ix(j), ix(l)) + rs.lny(ix(j + 1), ix(l)));
                const double d = std::hypot(x - p.x, y - p.y);
                if (d < best || (!p.placed && d == best)) {
                    best = d;
                    p.link = l;
                    p.node = j;
                    p.placed = 1;
                }
            }
        }
        if (!p.placed) {
            std::snprintf(what, sizeof what, "no channel node lies within one cell size (%g m) "
                          "of the point (x=%.2f, y=%.2f).", rs.cell_size, p.x, p.y);
            refuse_point(p, what);
            return;
        }
    }
    rs.xy_stream_q.assign(rs.area.rows(), rs.area.cols(), 0.0);
}

void set_stream_xy_discharges(run_state& rs) {
    if (rs.xy_stream_q.empty()) return;
    rs.xy_stream_q.assign(rs.xy_stream_q.rows(), rs.xy_stream_q.cols(), 0.0);
    for (const xy_stream_point& p : rs.cards.xy_in.stpts)
        rs.xy_stream_q(ix(p.node), ix(p.link)) += time_series_value(rs.time, p.series);
}
