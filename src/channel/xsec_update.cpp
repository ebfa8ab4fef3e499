// Cross-section update after a bed change (see xsec_update.h).
#include "channel/xsec_update.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "channel/breakpoint_xsec.h"
#include "channel/chan_messages.h"
#include "channel/channel_records.h"
#include "channel/xsection.h"
#include "run/run_state.h"

namespace {

constexpr double kZero = 1e-16;        // magnitudes at or below count as zero
constexpr double kTolerance = 1e-5;    // relative volume error that ends the passes, -
constexpr int kMaxPasses = 500;        // passes before the update gives up
constexpr int kMaxRanges = 49;         // wet pair ranges of one level; one more stops the run

inline size_t ix(int i) {
    return static_cast<size_t>(i);
}

bool erodible_breakpoint(int type) {
    return (type & kLtBreakpoint) != 0 && (type & kLtErodible) != 0;
}

// Node arrays of the update as [node][link] vectors, allocated from bel at the
// first call of the run (min_bel = bel - max_eros; new_bel = bel).
void ensure_state(run_state& rs) {
    const size_t R = rs.bel.rows(), C = rs.bel.cols();
    auto shaped = [&](const std::vector<std::vector<double>>& a) {
        return a.size() == R && (R == 0 || a[0].size() == C);
    };
    if (!shaped(rs.new_bel)) {
        rs.new_bel.assign(R, std::vector<double>(C, 0.0));
        for (size_t k = 0; k < R; ++k)
            for (size_t l = 0; l < C; ++l) rs.new_bel[k][l] = rs.bel(k, l);
    }
    if (!shaped(rs.min_bel)) {
        rs.min_bel.assign(R, std::vector<double>(C, 0.0));
        const bool eros = rs.max_eros.rows() == R && rs.max_eros.cols() == C;
        for (size_t k = 0; k < R; ++k)
            for (size_t l = 0; l < C; ++l)
                rs.min_bel[k][l] = rs.bel(k, l) - (eros ? rs.max_eros(k, l) : 0.0);
    }
    // Work vectors sized for the longest section (pairs 1..max_npairs).
    const size_t need = ix(std::max(rs.max_npairs, 1)) + 1;
    for (std::vector<double>* w : {&rs.xsec_work_x, &rs.xsec_work_z0, &rs.xsec_work_z})
        if (w->size() < need) w->assign(need, 0.0);
}

// Current sand store of node k of link l, m3 (false when none is kept).
bool current_sand(const run_state& rs, int k, int l, double& vol) {
    if (ix(k) >= rs.ch_sand_vol.size() || ix(l) >= rs.ch_sand_vol[ix(k)].size()) return false;
    const std::vector<double>& classes = rs.ch_sand_vol[ix(k)][ix(l)];
    if (classes.empty()) return false;
    vol = classes[0];
    return true;
}

// Moves one node's section; 1 done (or skipped), 0 after a stop.
int update_node(run_state& rs, int link, int i, bool commit, double porosity) {
    const size_t li = ix(link), ni = ix(i);
    const int b = rs.bplink[li];
    const int t = rs.table_num(ni, li);
    if (b < 1 || ix(b) >= rs.ch_sand_vol0.size() || ni >= rs.ch_sand_vol0[ix(b)].size() ||
        t < 1 || t > rs.num_xsec_tables)
        return 1;
    double sand = 0.0;
    if (!current_sand(rs, i, link, sand)) return 1;
    double V = (rs.ch_sand_vol0[ix(b)][ni] - sand) / (1.0 - porosity);   // m3, > 0 erosion
    double& bed = rs.new_bel[ni][li];
    const double floor_bed = rs.min_bel[ni][li];
    if (std::fabs(V) <= kZero || (V > kZero && bed <= floor_bed)) return 1;

    const size_t ti = ix(t);
    const int n = rs.numpairs[ti];
    std::vector<double>& xs = rs.xbp_lnn[ix(b)][ni];
    std::vector<double>& zs = rs.ybp_lnn[ix(b)][ni];
    if (n < 2 || ix(n) >= xs.size()) return 1;
    double* x = rs.xsec_work_x.data();
    double* z0 = rs.xsec_work_z0.data();
    double* z = rs.xsec_work_z.data();
    double zmin = zs[1];
    for (int p = 1; p <= n; ++p) {
        x[p] = xs[ix(p)];
        z0[p] = z[p] = zs[ix(p)];
        zmin = std::min(zmin, z0[p]);
    }

    const double D = rs.max_yp[ix(b)][ni] - bed;   // depth at the highest level reached, m
    if (D < 0.0) {
        chan_say("In ex_section.c - 3\n");
        chan_say("program stopped for negative depth, node %d, link %d\n", i, link);
        chan_fail();
        return 0;
    }
    if (D <= kZero) return 1;   // no wet section to move
    const double delta = rs.ht_spc[ti];
    const double dx = rs.dx[li];
    const int s = std::min(rs.numhts[ti], static_cast<int>(std::floor(D / delta)) + 1);
    const double p0 = rs.xp(ix(s), ti);   // wetted perimeter at step s, m
    if (!(p0 > kZero) || !(dx > kZero)) return 1;
    double dz = V / (p0 * dx);
    if (std::fabs(dz) > D) {
        chan_say("In xsec_update.c - 3\n");
        chan_say("It is impossible that change of stream bed elevation is greater than maximum "
                 "channel depth\n");
        chan_say("Setting the change in stream bed elevation equal to the depth of the channel\n");
        dz = dz < -kZero ? -D : D;
        V = p0 * dx * dz;
    }

    // Wet pair ranges at the level of step s.
    const double level = zmin + s * delta;
    std::vector<std::pair<int, int>> ranges;
    int first = 0;
    for (int p = 1; p <= n; ++p) {
        if (first == 0) {
            if (z0[p] <= level) first = p;
        } else if (z0[p] >= level) {
            ranges.emplace_back(first, p);
            first = 0;
            if (z0[p] <= level) first = p;   // a pair exactly at the level starts the next range
        }
        if (static_cast<int>(ranges.size()) > kMaxRanges) {
            chan_say("There is a serious problem with a channel cross-section in\n");
            chan_say("link %d.  The cross-section interpolation routine has found\n", link);
            chan_say("that this cross-section is very jagged, with over 50 'islands'\n");
            chan_say("for certain depths.  Calculating cross-section properties in\n");
            chan_say("this case is very dubious.  Check your cross-section, smooth\n");
            chan_say("it if necessary and try again.\n");
            chan_fail();
            return 0;
        }
    }
    if (first != 0 && first < n) ranges.emplace_back(first, n);

    bool converged = false;
    for (int pass = 1; pass <= kMaxPasses; ++pass) {
        double total = 0.0, P = 0.0;
        for (const auto& r : ranges) {
            for (int l = r.first + 1; l <= r.second; ++l) {
                const double ratio = std::min((z0[l] - zmin) / D, 1.0);
                const double M = (V < 0.0 ? 1.0 - std::sqrt(std::max(ratio, 0.0)) : 1.0 - ratio) * dz;
                z[l] -= M;
                total += ((z0[l] - z[l]) + (z0[l - 1] - z[l - 1])) * (x[l] - x[l - 1]) * 0.5 * dx;
                P += std::hypot(z[l] - z[l - 1], x[l] - x[l - 1]);
            }
        }
        if (std::fabs((total - V) / V) <= kTolerance) {
            converged = true;
            break;
        }
        if (!(P > kZero)) break;
        dz = (V - total) / (P * dx);
    }
    if (!converged) {
        chan_say("In xsec_update- \n");
        chan_say("program stopped for difficulty in convergence, node %d, link %d\n", i, link);
        chan_fail();
        return 0;
    }

    // Section and bed stop together at the lowest bed allowed.
    const double floor_z = zmin - (bed - floor_bed);
    double znew = z[1];
    for (int p = 1; p <= n; ++p) {
        z[p] = std::max(z[p], floor_z);
        znew = std::min(znew, z[p]);
    }
    bed = std::max(bed + (znew - zmin), floor_bed);

    if (commit) {
        for (int p = 1; p <= n; ++p) zs[ix(p)] = z[p];
        rs.bel(ni, li) = bed;
        if (!compute_xsec_tables(rs, link, i)) return 0;
    }
    return 1;
}

}  // namespace

int xsec_update(run_state& rs, bool commit, double porosity) {
    if (rs.num_bp_erode_links < 1 || rs.links < 1 || rs.bel.empty()) return 1;
    ensure_state(rs);
    for (int link = 1; link <= rs.links; ++link) {
        if (!erodible_breakpoint(rs.ltype[ix(link)])) continue;
        for (int i = 1; i <= rs.nx[ix(link)]; ++i) {
            if (!update_node(rs, link, i, commit, porosity)) return 0;
        }
    }
    return 1;
}

void xsec_update(run_state& rs) {
    xsec_update(rs, rs.adjust_channel_bed != 0, rs.chan_bed_porosity);
}
