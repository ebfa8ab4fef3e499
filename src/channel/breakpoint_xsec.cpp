// Depth tables of break-point cross-sections.
//
// At each level the section is walked pair by pair and split into wet pieces
// ("islands"); each island contributes its width to the top width and the
// trapezoids under the level to the area. Where a section is already under
// water at its first or last pair, the water stands against a vertical wall
// at that station: the wall adds its height to the wetted perimeter and
// nothing to the width.
#include "channel/breakpoint_xsec.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "channel/chan_messages.h"
#include "channel/channel_records.h"
#include "run/run_state.h"

namespace {

constexpr int kMaxIslands = 50;          // a level with this many wet pieces is refused
constexpr int kMaxSteps = 30000;         // most depth steps of a table read from the file
constexpr double kMinStep = 0.0001;      // smallest depth step read from the file, m
constexpr double kMaxStep = 1.0;         // largest depth step read from the file, m

// Station where the segment (xa, za)-(xb, zb) crosses level h (xa for a level segment).
double crossing(double xa, double za, double xb, double zb, double h) {
    if (zb == za) return xa;
    double t = (h - za) / (zb - za);
    t = std::min(1.0, std::max(0.0, t));
    return xa + t * (xb - xa);
}

// Area (m2), perimeter (m) and top width (m) of a section below level h;
// false when the level makes kMaxIslands wet pieces.
bool wet_properties(const double* x, const double* z, int n, double h, double& area,
                    double& perimeter, double& width) {
    area = perimeter = width = 0.0;
    int islands = 0;
    bool wet = false;
    double left = 0.0;
    if (n >= 1 && h >= z[0]) {
        wet = true;
        left = x[0];
        islands = 1;
        perimeter += h - z[0];   // wall at the first station
    }
    for (int i = 1; i < n; ++i) {
        if (!wet) {
            if (z[i] > h) continue;
            if (++islands >= kMaxIslands) return false;
            left = crossing(x[i - 1], z[i - 1], x[i], z[i], h);
            area += (h - z[i]) * (x[i] - left) * 0.5;
            perimeter += std::hypot(x[i] - left, z[i] - h);
            wet = true;
        } else if (z[i] >= h) {
            const double right = crossing(x[i - 1], z[i - 1], x[i], z[i], h);
            area += (h - z[i - 1]) * (right - x[i - 1]) * 0.5;
            perimeter += std::hypot(right - x[i - 1], h - z[i - 1]);
            width += right - left;
            wet = false;
        } else {
            area += (h - z[i - 1] + h - z[i]) * (x[i] - x[i - 1]) * 0.5;
            perimeter += std::hypot(x[i] - x[i - 1], z[i] - z[i - 1]);
        }
    }
    if (wet && n >= 1) {
        width += x[n - 1] - left;
        perimeter += h - z[n - 1];   // wall at the last station
    }
    return true;
}

double conveyance_of(double inv_n, double area, double perimeter) {
    if (area <= 0.0 || perimeter <= 0.0) return 0.0;
    return inv_n * area * std::pow(area / perimeter, 2.0 / 3.0);
}

double slope_or_zero(double dk, double da) { return da != 0.0 ? dk / da : 0.0; }

// The mesh columns of a table from its top widths and conveyances.
void fill_mesh_columns(int steps, double delta, const double* area, const double* top_width,
                       const double* conveyance, double* first_moment, double* dk_da) {
    first_moment[0] = dk_da[0] = 0.0;
    first_moment[1] = delta * delta * top_width[1] * 0.5;
    for (int j = 2; j <= steps; ++j) {
        double sum = 0.0;
        for (int k = 1; k < j; ++k) sum += top_width[k] * delta * (j - k) * delta;
        first_moment[j] = sum;
    }
    for (int j = 1; j <= steps; ++j) {
        if (steps == 1) {
            dk_da[j] = slope_or_zero(conveyance[1], area[1]);
        } else if (j == 1) {
            dk_da[j] = slope_or_zero(conveyance[2] - conveyance[1], area[2] - area[1]);
        } else if (j == steps) {
            dk_da[j] = slope_or_zero(conveyance[j] - conveyance[j - 1], area[j] - area[j - 1]);
        } else {
            dk_da[j] = 0.5 * (slope_or_zero(conveyance[j] - conveyance[j - 1], area[j] - area[j - 1]) +
                              slope_or_zero(conveyance[j + 1] - conveyance[j], area[j + 1] - area[j]));
        }
    }
}

void lowest_highest(const double* z, int n, double& zmin, double& zmax) {
    zmin = zmax = n > 0 ? z[0] : 0.0;
    for (int i = 1; i < n; ++i) {
        zmin = std::min(zmin, z[i]);
        zmax = std::max(zmax, z[i]);
    }
}

void print_island_message(int link, bool leading_newlines) {
    chan_say("%sThere is a serious problem with a channel cross-section in\n",
             leading_newlines ? "\n\n" : "");
    chan_say("link %d.  The cross-section interpolation routine has found\n", link);
    chan_say("that this cross-section is very jagged, with over 50 'islands'\n");
    chan_say("for certain depths.  Calculating cross-section properties in\n");
    chan_say("this case is very dubious.  Check your cross section, smooth\n");
    chan_say("it if necessary and try again.\n");
}

// Column pointers of table t.
struct table_columns {
    double* area;
    double* top_width;
    double* conveyance;
    double* perimeter;
    double* first_moment;
    double* dk_da;
};

table_columns columns_of(run_state& rs, int t) {
    const size_t c = static_cast<size_t>(t);
    table_columns cols{rs.xarea.link_data(c), rs.xtw.link_data(c), rs.xk.link_data(c),
                       rs.xp.link_data(c), nullptr, nullptr};
    if (rs.chan_mesh && !rs.xi1.empty() && !rs.xdkda.empty()) {
        cols.first_moment = rs.xi1.link_data(c);
        cols.dk_da = rs.xdkda.link_data(c);
    }
    return cols;
}

bool table_fits(const run_state& rs, int t, int steps) {
    return t >= 1 && t <= rs.num_xsec_tables && steps >= 1 &&
           static_cast<size_t>(steps) + 1 < rs.xarea.rows() &&
           static_cast<size_t>(t) < rs.xarea.cols();
}

// Builds table t from pairs (x, z) with `steps` steps; the step is the
// section's height over `steps` and must lie in the file's range when
// `checked` (sections read from the file), or be positive otherwise.
bool build_table(run_state& rs, int link, int ordinal, int t, const double* x, const double* z,
                 int n, int steps, bool checked) {
    if (checked && (steps < 1 || steps > kMaxSteps)) {
        chan_say("\n\nError: The number of interpolation points [%d] for table %d in link %d is "
                 "invalid. (Range is 1-30000.) \n",
                 steps, ordinal, link);
        chan_fail();
        return false;
    }
    double zmin = 0.0, zmax = 0.0;
    lowest_highest(z, n, zmin, zmax);
    const double delta = steps > 0 ? (zmax - zmin) / steps : 0.0;
    if (checked && (delta < kMinStep || delta > kMaxStep)) {
        chan_say("\n\nError: The interpolation distance [%6.5lf] produced by the number of "
                 "interpolation points [%d]\nfor table %d in link %d is invalid. (Range is 0.0001 "
                 "to 1.0)\n",
                 delta, steps, ordinal, link);
        chan_fail();
        return false;
    }
    if (!(delta > 0.0) || steps < 1) {
        // A flat section (or one without steps) holds no water: every look-up would divide by 0.
        chan_say("\n\nError: the cross-section of link %d has no depth range (lowest and highest "
                 "elevation %lf, %d depth steps); it cannot carry water.\n",
                 link, zmin, steps);
        chan_fail();
        return false;
    }
    if (!table_fits(rs, t, steps)) {
        chan_say("\n\nError: cross-section table %d of link %d lies outside the %d tables "
                 "allocated.\n",
                 t, link, rs.num_xsec_tables);
        chan_fail();
        return false;
    }
    const size_t ti = static_cast<size_t>(t);
    rs.ht_spc[ti] = delta;
    rs.numhts[ti] = steps;
    rs.numpairs[ti] = n;
    table_columns c = columns_of(rs, t);
    if (fill_depth_table(x, z, n, steps, delta, zmin, rs.inv_n[static_cast<size_t>(link)], c.area,
                         c.top_width, c.conveyance, c.perimeter, c.first_moment, c.dk_da) != 0) {
        print_island_message(link, checked);
        chan_fail();
        return false;
    }
    return true;
}

// Table of node m between section nodes k (below) and j (above), interpolated
// from their tables tk and tj.
void interpolate_table(run_state& rs, int m, int k, int tk, int j, int tj, int t) {
    const size_t a = static_cast<size_t>(tk), b = static_cast<size_t>(tj), o = static_cast<size_t>(t);
    const int steps = rs.numhts[o];
    const double delta_k = rs.ht_spc[a], delta_j = rs.ht_spc[b];
    const double delta = delta_k + (m - k) * (delta_j - delta_k) / (j - k);
    rs.ht_spc[o] = delta;
    const double w = static_cast<double>(m - j) / static_cast<double>(k - j);
    table_columns ck = columns_of(rs, tk), cj = columns_of(rs, tj), cm = columns_of(rs, t);
    const int nk = rs.numhts[a], nj = rs.numhts[b];
    auto blend = [&](const double* vk, const double* vj, double* out) {
        if (vk == nullptr || vj == nullptr || out == nullptr) return;
        out[0] = 0.0;
        for (int i = 1; i <= steps; ++i) {
            const double d = i * delta;
            const double at_j = table_value_at(vj, nj, delta_j, d);
            const double at_k = table_value_at(vk, nk, delta_k, d);
            out[i] = at_j + (at_k - at_j) * w;
        }
    };
    blend(ck.area, cj.area, cm.area);
    blend(ck.top_width, cj.top_width, cm.top_width);
    blend(ck.conveyance, cj.conveyance, cm.conveyance);
    blend(ck.perimeter, cj.perimeter, cm.perimeter);
    blend(ck.first_moment, cj.first_moment, cm.first_moment);
    blend(ck.dk_da, cj.dk_da, cm.dk_da);
}

// A section resampled to n pairs at equal station spacing (stations as read assumed increasing).
void resample_section(const bp_section& s, int n, std::vector<double>& xs, std::vector<double>& zs) {
    const int m = static_cast<int>(s.x.size());
    xs.assign(static_cast<size_t>(n) + 1, 0.0);
    zs.assign(static_cast<size_t>(n) + 1, 0.0);
    if (m < 1 || n < 1) return;
    double xmin = s.x[0], xmax = s.x[0];
    for (double v : s.x) {
        xmin = std::min(xmin, v);
        xmax = std::max(xmax, v);
    }
    int first = 0;
    while (first < m - 1 && s.x[static_cast<size_t>(first)] < xmin) ++first;
    for (int p = 1; p <= n; ++p) {
        const double xp = n > 1 ? xmin + (xmax - xmin) * (p - 1) / (n - 1) : xmin;
        double zp = 0.0;
        if (p == 1) {
            zp = s.z[static_cast<size_t>(first)];
        } else if (p == n) {
            zp = s.z[static_cast<size_t>(m - 1)];
        } else {
            zp = s.z[static_cast<size_t>(m - 1)];
            for (int i = 1; i < m; ++i) {
                const double xa = s.x[static_cast<size_t>(i - 1)], xb = s.x[static_cast<size_t>(i)];
                if (xp <= xb) {
                    const double za = s.z[static_cast<size_t>(i - 1)], zb = s.z[static_cast<size_t>(i)];
                    zp = xb != xa ? za + (xp - xa) * (zb - za) / (xb - xa) : zb;
                    break;
                }
            }
        }
        xs[static_cast<size_t>(p)] = xp;
        zs[static_cast<size_t>(p)] = zp;
    }
}

// Sections sorted by node; n and steps those of the link's first section in file order.
bool erodible_link(run_state& rs, int link, std::vector<bp_section>& sections, int n, int steps,
                   int& next_table) {
    const size_t l = static_cast<size_t>(link);
    const int nx1 = rs.nx1[l];
    const int bp = rs.bplink[l];
    if (bp < 1 || static_cast<size_t>(bp) >= rs.xbp_lnn.size()) return false;
    std::vector<std::vector<double>>& xs = rs.xbp_lnn[static_cast<size_t>(bp)];
    std::vector<std::vector<double>>& zs = rs.ybp_lnn[static_cast<size_t>(bp)];
    // Every section at its node, resampled to the link's pair count.
    std::vector<double> rx, rz;
    for (const bp_section& s : sections) {
        resample_section(s, n, rx, rz);
        const size_t k = static_cast<size_t>(s.node);
        for (int p = 1; p <= n; ++p) {
            xs[k][static_cast<size_t>(p)] = rx[static_cast<size_t>(p)];
            zs[k][static_cast<size_t>(p)] = rz[static_cast<size_t>(p)];
        }
    }
    const int first = sections.front().node, last = sections.back().node;
    for (int k = 1; k <= nx1; ++k) {
        int src = 0;
        if (k < first) src = first;
        if (k > last) src = last;
        if (src != 0) {
            xs[static_cast<size_t>(k)] = xs[static_cast<size_t>(src)];
            zs[static_cast<size_t>(k)] = zs[static_cast<size_t>(src)];
            continue;
        }
        // Between sections: pair by pair, linear in the node number.
        int below = first, above = last;
        bool own = false;
        for (const bp_section& s : sections) {
            if (s.node == k) own = true;
            if (s.node <= k && s.node > below) below = s.node;
            if (s.node >= k && s.node < above) above = s.node;
        }
        if (own || above == below) continue;
        const double w = static_cast<double>(k - below) / static_cast<double>(above - below);
        for (int p = 1; p <= n; ++p) {
            const size_t pi = static_cast<size_t>(p);
            const size_t b = static_cast<size_t>(below), a = static_cast<size_t>(above);
            xs[static_cast<size_t>(k)][pi] = xs[b][pi] + w * (xs[a][pi] - xs[b][pi]);
            zs[static_cast<size_t>(k)][pi] = zs[b][pi] + w * (zs[a][pi] - zs[b][pi]);
        }
    }
    for (int k = 1; k <= nx1; ++k) {
        const int t = next_table++;
        rs.table_num[static_cast<size_t>(k)][l] = t;
        if (t <= rs.num_xsec_tables) {
            rs.numhts[static_cast<size_t>(t)] = steps;
            rs.numpairs[static_cast<size_t>(t)] = n;
        }
        if (!compute_xsec_tables(rs, link, k)) return false;
    }
    return true;
}

bool single_section_link(run_state& rs, int link, const bp_section& s, int& next_table) {
    const size_t l = static_cast<size_t>(link);
    const int t = next_table++;
    for (int k = 1; k <= rs.nx1[l]; ++k) rs.table_num[static_cast<size_t>(k)][l] = t;
    return build_table(rs, link, s.ordinal, t, s.x.data(), s.z.data(), s.npairs, s.num_interp, true);
}

// The warnings about the first two sections (in file order) of a link that differ.
void warn_section_mismatch(int link, const bp_section& s1, const bp_section& s2) {
    if (s1.npairs != s2.npairs) {
        chan_say("\n\nWARNING!!!! When using two break-point cross-sections the number of pairs \n"
                 "            must be equal, which they are not for link %d.\n\n",
                 link);
        if (s2.npairs > s1.npairs) {
            chan_say("  ---> Disregarding the last %d pairs of the second cross-section. <---\n\n",
                     s2.npairs - s1.npairs);
        } else {
            chan_say("  ---> Disregarding the last %d pairs of the first cross-section. <---\n\n",
                     s1.npairs - s2.npairs);
        }
    }
    if (s1.num_interp != s2.num_interp) {
        chan_say("\nUsing the greater of the two number of interpolation points \nfor both "
                 "cross-section in link %d.\n",
                 link);
    }
}

// Sections sorted by node.
bool several_section_link(run_state& rs, int link, std::vector<bp_section>& sections,
                          int& next_table) {
    const size_t l = static_cast<size_t>(link);
    // One pair count and one step count for every table of the link.
    int n = sections[0].npairs, steps = sections[0].num_interp;
    for (const bp_section& s : sections) {
        n = std::min(n, s.npairs);
        steps = std::max(steps, s.num_interp);
    }
    const int first = sections.front().node, last = sections.back().node;
    const int t0 = next_table;
    next_table += last - first + 1;
    auto table_of = [&](int k) { return t0 + (std::min(std::max(k, first), last) - first); };
    for (int k = 1; k <= rs.nx1[l]; ++k) rs.table_num[static_cast<size_t>(k)][l] = table_of(k);
    for (const bp_section& s : sections) {
        if (!build_table(rs, link, s.ordinal, table_of(s.node), s.x.data(), s.z.data(), n, steps,
                         true))
            return false;
    }
    if (last - first <= 1) return true;
    for (int m = first + 1; m < last; ++m) {
        bool own = false;
        int below = first, above = last;
        for (const bp_section& s : sections) {
            if (s.node == m) own = true;
            if (s.node < m && s.node > below) below = s.node;
            if (s.node > m && s.node < above) above = s.node;
        }
        if (own) continue;
        const int t = table_of(m);
        rs.numhts[static_cast<size_t>(t)] = steps;
        rs.numpairs[static_cast<size_t>(t)] = n;
        interpolate_table(rs, m, below, table_of(below), above, table_of(above), t);
    }
    return true;
}

}  // namespace

int fill_depth_table(const double* x, const double* z, int n, int steps, double delta,
                     double zmin, double inv_n, double* area, double* top_width,
                     double* conveyance, double* perimeter, double* first_moment,
                     double* dk_da) {
    area[0] = top_width[0] = conveyance[0] = perimeter[0] = 0.0;
    for (int j = 1; j <= steps; ++j) {
        const double h = zmin + j * delta;
        double a = 0.0, p = 0.0, w = 0.0;
        if (!wet_properties(x, z, n, h, a, p, w)) return -1;
        area[j] = a;
        top_width[j] = w;
        perimeter[j] = p;
        conveyance[j] = conveyance_of(inv_n, a, p);
    }
    if (first_moment != nullptr && dk_da != nullptr) {
        fill_mesh_columns(steps, delta, area, top_width, conveyance, first_moment, dk_da);
    }
    return 0;
}

double table_value_at(const double* v, int steps, double delta, double d) {
    if (steps < 1 || !(delta > 0.0)) return 0.0;
    if (d < delta) return v[1] * d / delta;
    const double top = steps * delta;
    if (d > top) return v[steps] + (d - top) * (v[steps] - v[steps - 1]) / delta;
    int s = static_cast<int>(d / delta);
    s = std::max(std::min(s, steps - 1), std::min(1, steps - 1));
    const double r = d - s * delta;
    return v[s] + r * (v[s + 1] - v[s]) / delta;
}

int breakpoint_table_count(int nx1, bool erodible, int sections, int first_node, int last_node) {
    if (sections < 1) return 0;
    if (erodible) return nx1;
    if (sections == 1) return 1;
    return last_node - first_node + 1;
}

int read_breakpoint_xsecs(run_state& rs, int link, std::vector<bp_section>& sections,
                          int& next_table) {
    if (sections.empty()) return 1;
    const bool erodible = (rs.ltype[static_cast<size_t>(link)] & kLtErodible) != 0;
    const int first_pairs = sections[0].npairs, first_steps = sections[0].num_interp;
    if (!erodible && sections.size() > 1) warn_section_mismatch(link, sections[0], sections[1]);
    // Sections in node order (the table layout assumes it).
    std::stable_sort(sections.begin(), sections.end(),
                     [](const bp_section& a, const bp_section& b) { return a.node < b.node; });
    bool ok = false;
    if (erodible) {
        ok = erodible_link(rs, link, sections, first_pairs, first_steps, next_table);
    } else if (sections.size() == 1) {
        ok = single_section_link(rs, link, sections.front(), next_table);
    } else {
        ok = several_section_link(rs, link, sections, next_table);
    }
    return ok ? 1 : 0;
}

int compute_xsec_tables(run_state& rs, int link, int node) {
    const size_t l = static_cast<size_t>(link), k = static_cast<size_t>(node);
    const int t = rs.table_num[k][l];
    const int bp = rs.bplink[l];
    if (t < 1 || t > rs.num_xsec_tables || bp < 1 ||
        static_cast<size_t>(bp) >= rs.xbp_lnn.size()) {
        chan_say("\n\nError: node %d of link %d has no erodible cross-section table.\n", node, link);
        chan_fail();
        return 0;
    }
    const size_t ti = static_cast<size_t>(t);
    const int n = rs.numpairs[ti];
    const std::vector<double>& xs = rs.xbp_lnn[static_cast<size_t>(bp)][k];
    const std::vector<double>& zs = rs.ybp_lnn[static_cast<size_t>(bp)][k];
    if (n < 1 || static_cast<size_t>(n) >= xs.size()) {
        chan_say("\n\nError: node %d of link %d has %d cross-section pairs, outside its table.\n",
                 node, link, n);
        chan_fail();
        return 0;
    }
    return build_table(rs, link, 0, t, xs.data() + 1, zs.data() + 1, n, rs.numhts[ti], false) ? 1
                                                                                               : 0;
}
