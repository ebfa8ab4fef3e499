// Node cross-section hydraulics: flow area, depth, water level, top width and
// conveyance of every trapezoid and break-point node, one link at a time
// along the link's contiguous node storage.
//
// Trapezoid: bottom width b, side slope z (horizontal per vertical, both
// banks), area A = (b + z y) y. The depth from an area is taken as
// y = 2A / (sqrt(b^2 + 4 z A) + b), the root of the area relation written
// without the cancellation of (sqrt(..) - b) / 2z; it gives A / b for a
// rectangle (z = 0) and sqrt(A / z) for a triangle (b = 0).
//
// Break-point: the depth tables of the node's table (steps of ht_spc); below
// the first step area and conveyance follow (y / delta)^(5/3), so that depth
// -> area -> depth returns the start; above the top the last step is
// extended linearly.
#include "channel/xsection.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "channel/chan_messages.h"
#include "channel/channel_records.h"
#include "run/run_state.h"

namespace {

constexpr double kZero = 1e-16;           // magnitudes at or below count as zero
constexpr double kAreaResetLimit = 1e-4;  // trapezoid areas in (-limit, 0) are reset to 0, m2

bool rows_cover(const node_array& a, int maxnodes, int links) {
    return a.rows() > static_cast<size_t>(maxnodes) && a.cols() > static_cast<size_t>(links);
}

// True when every array ex_section touches has the shape of the network.
bool network_ready(const run_state& rs, const node_array& area) {
    const int L = rs.links, M = rs.maxnodes;
    if (L < 1 || M < 1) return false;
    const size_t need = static_cast<size_t>(L) + 1;
    if (rs.ltype.size() < need || rs.nx.size() < need || rs.inv_n.size() < need) return false;
    for (const node_array* a : {&area, &rs.bel, &rs.yp, &rs.chan_node_depth, &rs.conv, &rs.topw,
                                &rs.dconv, &rs.bottom, &rs.sslope}) {
        if (!rows_cover(*a, M, L)) return false;
    }
    if (rs.table_num.rows() <= static_cast<size_t>(M) || rs.table_num.cols() <= static_cast<size_t>(L))
        return false;
    for (int l = 1; l <= L; ++l) {
        if (rs.nx[static_cast<size_t>(l)] > M) return false;
    }
    return true;
}

void negative_stop(run_state& rs, int which, const char* what, int node, int link) {
    chan_say("In ex_section - %d\n", which);
    chan_say("program stopped for negative %s, node %d, link %d\n", what, node, link);
    rs.xsec_error = 1;
    chan_fail();
}

// Depth y (m) of a node from its level minus its bed (m): a small negative
// value is taken as dry, a larger one stops the run (which: the message's number).
bool depth_at_level(run_state& rs, double above_bed, int which, int node, int link, double& y) {
    y = above_bed;
    if (y < 0.0) {
        if (y < -kZero) {
            negative_stop(rs, which, "depth", node, link);
            return false;
        }
        y = 0.0;
    }
    return true;
}

// The table of a node, or 0 after the table message when it is out of range.
int node_table(run_state& rs, int node, int link) {
    const int t = rs.table_num(static_cast<size_t>(node), static_cast<size_t>(link));
    const bool ok = t >= 1 && t <= rs.num_xsec_tables &&
                    static_cast<size_t>(t) < rs.numhts.size() &&
                    static_cast<size_t>(t) < rs.xarea.cols() && rs.numhts[static_cast<size_t>(t)] >= 1 &&
                    static_cast<size_t>(rs.numhts[static_cast<size_t>(t)]) < rs.xarea.rows() &&
                    rs.ht_spc[static_cast<size_t>(t)] > 0.0;
    if (ok) return t;
    std::fprintf(stderr, "Error in section: Request for table beyond max. table number.\n");
    rs.xsec_error = 1;
    chan_fail();
    return 0;
}

// Manning conveyance of area a and wetted perimeter p.
inline double conveyance(double inv_n, double a, double p) {
    if (a <= 0.0 || p <= 0.0) return 0.0;
    return inv_n * a * std::cbrt((a / p) * (a / p));
}

// Step s with xarea[s] <= a < xarea[s + 1] among 1..N-1 (a = xarea[N] takes N-1);
// for a one-step table, step 0 (the empty section).
int area_step(const double* xa, int steps, double a) {
    if (steps <= 1) return 0;
    const double* first = xa + 1;
    const double* last = xa + steps;   // one past xarea[N-1]
    const int s = static_cast<int>(std::upper_bound(first, last, a) - xa) - 1;
    return std::min(std::max(s, 1), steps - 1);
}

bool area_to_depth_trapezoid(run_state& rs, int link, node_array& area) {
    const size_t l = static_cast<size_t>(link);
    const int n = rs.nx[l];
    const double inv_n = rs.inv_n[l];
    double* a = area.link_data(l);
    const double* b = rs.bottom.link_data(l);
    const double* z = rs.sslope.link_data(l);
    const double* bed = rs.bel.link_data(l);
    double* y = rs.yp.link_data(l);
    double* depth = rs.chan_node_depth.link_data(l);
    double* k = rs.conv.link_data(l);
    for (int j = 1; j <= n; ++j) {
        double h = 0.0;
        if (a[j] < 0.0) {
            if (a[j] <= -kAreaResetLimit) {
                negative_stop(rs, 1, "area", j, link);
                return false;
            }
            a[j] = 0.0;
        } else if (a[j] > 0.0) {
            const double d = std::sqrt(4.0 * z[j] * a[j] + b[j] * b[j]) + b[j];
            h = d > 0.0 ? 2.0 * a[j] / d : 0.0;
            if (h < 0.0 && h > -kAreaResetLimit) h = 0.0;
        }
        depth[j] = h;
        y[j] = h + bed[j];
        k[j] = h > 0.0 ? conveyance(inv_n, a[j], b[j] + 2.0 * h * std::sqrt(1.0 + z[j] * z[j]))
                       : 0.0;
    }
    return true;
}

bool area_to_depth_breakpoint(run_state& rs, int link, node_array& area) {
    const size_t l = static_cast<size_t>(link);
    const int n = rs.nx[l];
    double* a = area.link_data(l);
    const double* bed = rs.bel.link_data(l);
    double* y = rs.yp.link_data(l);
    double* depth = rs.chan_node_depth.link_data(l);
    double* k = rs.conv.link_data(l);
    for (int j = 1; j <= n; ++j) {
        if (a[j] < -kZero) {
            negative_stop(rs, 4, "area", j, link);
            return false;
        }
        const int t = node_table(rs, j, link);
        if (t == 0) return false;
        const size_t ti = static_cast<size_t>(t);
        const double delta = rs.ht_spc[ti];
        const int steps = rs.numhts[ti];
        const double* xa = rs.xarea.link_data(ti);
        const double* xk = rs.xk.link_data(ti);
        const double A = a[j] > 0.0 ? a[j] : 0.0;
        if (a[j] < 0.0) a[j] = 0.0;
        double h = 0.0, conv = 0.0;
        if (A <= 0.0) {
            h = 0.0;
        } else if (A < xa[1]) {
            h = delta * std::pow(A / xa[1], 0.6);
            conv = xk[1] / std::pow(delta, 5.0 / 3.0) * std::pow(h, 5.0 / 3.0);
        } else if (A > xa[steps]) {
            const double top = steps * delta;
            const double da = xa[steps] - xa[steps - 1];
            h = top + (da > 0.0 ? (A - xa[steps]) * delta / da : 0.0);
            conv = xk[steps] + (h - top) * (xk[steps] - xk[steps - 1]) / delta;
            rs.xsec_table_exceeded = 1;
        } else {
            const int s = area_step(xa, steps, A);
            const double da = xa[s + 1] - xa[s];
            h = s * delta + (da > 0.0 ? (A - xa[s]) * delta / da : 0.0);
            conv = xk[s] + (h - s * delta) * (xk[s + 1] - xk[s]) / delta;
        }
        depth[j] = h;
        y[j] = h + bed[j];
        k[j] = conv;
    }
    return true;
}

bool level_to_area_trapezoid(run_state& rs, int link, node_array& area) {
    const size_t l = static_cast<size_t>(link);
    const int n = rs.nx[l];
    const double inv_n = rs.inv_n[l];
    double* a = area.link_data(l);
    const double* b = rs.bottom.link_data(l);
    const double* z = rs.sslope.link_data(l);
    const double* bed = rs.bel.link_data(l);
    const double* yp = rs.yp.link_data(l);
    double* k = rs.conv.link_data(l);
    double* dk = rs.dconv.link_data(l);
    double* tw = rs.topw.link_data(l);
    for (int j = 1; j <= n; ++j) {
        double y = 0.0;
        if (!depth_at_level(rs, yp[j] - bed[j], 1, j, link, y)) return false;
        const double side = std::sqrt(1.0 + z[j] * z[j]);
        tw[j] = b[j] + 2.0 * z[j] * y;
        const double A = (b[j] + z[j] * y) * y;
        const double P = b[j] + 2.0 * y * side;
        a[j] = A;
        if (A <= 0.0 || P <= 0.0) {
            k[j] = 0.0;
            dk[j] = 0.0;
            continue;
        }
        const double r23 = std::cbrt((A / P) * (A / P));   // (A/P)^(2/3)
        k[j] = inv_n * A * r23;
        dk[j] = inv_n * ((5.0 / 3.0) * r23 * tw[j] - (2.0 / 3.0) * A * r23 / P * 2.0 * side);
    }
    return true;
}

bool level_to_area_breakpoint(run_state& rs, int link, node_array& area) {
    const size_t l = static_cast<size_t>(link);
    const int n = rs.nx[l];
    double* a = area.link_data(l);
    const double* bed = rs.bel.link_data(l);
    const double* yp = rs.yp.link_data(l);
    double* k = rs.conv.link_data(l);
    double* dk = rs.dconv.link_data(l);
    double* tw = rs.topw.link_data(l);
    for (int j = 1; j <= n; ++j) {
        double y = 0.0;
        if (!depth_at_level(rs, yp[j] - bed[j], 3, j, link, y)) return false;
        const int t = node_table(rs, j, link);
        if (t == 0) return false;
        const size_t ti = static_cast<size_t>(t);
        const double delta = rs.ht_spc[ti];
        const int N = rs.numhts[ti];
        const double* xa = rs.xarea.link_data(ti);
        const double* xt = rs.xtw.link_data(ti);
        const double* xk = rs.xk.link_data(ti);
        const double top = N * delta;
        if (y < delta) {
            const double d53 = std::pow(delta, 5.0 / 3.0);
            const double f = std::pow(y, 5.0 / 3.0) / d53;
            a[j] = xa[1] * f;
            tw[j] = xt[1] * f;
            k[j] = xk[1] * f;
            dk[j] = xk[1] * std::pow(y, 2.0 / 3.0) / d53;
        } else if (y > top) {
            rs.xsec_table_exceeded = 1;
            const double r = (y - top) / delta;
            a[j] = xa[N] + r * (xa[N] - xa[N - 1]);
            tw[j] = xt[N] + r * (xt[N] - xt[N - 1]);
            k[j] = xk[N] + r * (xk[N] - xk[N - 1]);
            dk[j] = (xk[N] - xk[N - 1]) / delta;
        } else {
            // A level exactly at the top reads the last interval, never past the table.
            int s = static_cast<int>(y / delta);
            s = std::max(std::min(s, N - 1), std::min(1, N - 1));
            const double r = (y - s * delta) / delta;
            a[j] = xa[s] + r * (xa[s + 1] - xa[s]);
            tw[j] = xt[s] + r * (xt[s + 1] - xt[s]);
            k[j] = xk[s] + r * (xk[s + 1] - xk[s]);
            dk[j] = (xk[s + 1] - xk[s]) / delta;
        }
    }
    return true;
}

}  // namespace

int ex_section(run_state& rs, int direction, node_array& area) {
    if (!network_ready(rs, area)) return 1;
    for (int l = 1; l <= rs.links; ++l) {
        const int type = rs.ltype[static_cast<size_t>(l)];
        const bool trapezoid = (type & kLtTrapezoid) != 0;
        const bool breakpoint = !trapezoid && (type & kLtBreakpoint) != 0;
        if (!trapezoid && !breakpoint) continue;
        bool ok = true;
        if (direction == kSectionFromArea) {
            ok = trapezoid ? area_to_depth_trapezoid(rs, l, area)
                           : area_to_depth_breakpoint(rs, l, area);
        } else if (direction == kSectionFromLevel) {
            ok = trapezoid ? level_to_area_trapezoid(rs, l, area)
                           : level_to_area_breakpoint(rs, l, area);
        }
        if (!ok) return 0;
    }
    return 1;
}

void ex_section(run_state& rs, int mode) { ex_section(rs, mode, rs.area); }
