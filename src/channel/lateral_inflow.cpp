// Lateral exchange between the overland grid and the channel nodes.
//
// Each grid-stream segment ties a share p of a stream cell to one node of one
// link, along p x dx of the reach. Water passes over both banks as a
// broad-crested weir, W(h) = 3.40978982734 h^1.5 p dx (m3/s; twice the
// coefficient 1.705 of one bank), reduced for a submerged crest. Where the
// water stands high on both sides the flow is limited by Manning flow across
// half a cell, and flow out of the channel by critical flow over the crest and
// by the share overbank_max_dv of the segment's channel water above the crest.
// Water that enters the channel leaves the cell, water that leaves the channel
// goes onto the cell, so the exchange conserves the sum of both.
#include "channel/lateral_inflow.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "channel/channel_records.h"
#include "run/run_state.h"

namespace {

constexpr double kZero = 1e-16;                   // depths and volumes at or below count as zero
constexpr double kWeirBothBanks = 3.40978982734;  // weir coefficient of both banks, m^0.5/s
constexpr double kSubmergedRatio = 0.66;    // downstream / upstream head above which Manning limits
constexpr double kCriticalFactor = 0.8944;  // critical-flow bound factor, -
constexpr double kGravity = 9.81;           // m/s2
constexpr double kSurfaceSlack =
    1e-12;  // cell surface above the channel level that is taken back, m

inline size_t ix(int i) {
    return static_cast<size_t>(i);
}

// Flow area (m2) of node (n, l) with its water at level y (m); the node
// hydraulics of a trapezoid or break-point node for a set level.
double node_area_at_level(const run_state& rs, int n, int l, double y) {
    const size_t ni = ix(n), li = ix(l);
    double depth = y - rs.bel(ni, li);
    if (!(depth > 0.0)) return 0.0;
    const int type = rs.ltype[li];
    if (type & kLtTrapezoid) {
        return (rs.bottom(ni, li) + rs.sslope(ni, li) * depth) * depth;
    }
    if (!(type & kLtBreakpoint)) return 0.0;
    const int t = rs.table_num(ni, li);
    if (t < 1 || t > rs.num_xsec_tables || ix(t) >= rs.numhts.size()) return 0.0;
    const double delta = rs.ht_spc[ix(t)];
    const int steps = rs.numhts[ix(t)];
    if (!(delta > 0.0) || steps < 1) return 0.0;
    const double* xa = rs.xarea.link_data(ix(t));
    const double top = steps * delta;
    if (depth < delta) return xa[1] * std::pow(depth / delta, 5.0 / 3.0);
    if (depth > top) {
        return steps >= 2 ? xa[steps] + (depth - top) / delta * (xa[steps] - xa[steps - 1])
                          : xa[steps];
    }
    int s = static_cast<int>(depth / delta);
    s = std::max(std::min(s, steps - 1), std::min(1, steps - 1));
    return xa[s] + (depth - s * delta) / delta * (xa[s + 1] - xa[s]);
}

// Submergence reduction for a downstream head hd over an upstream head h.
inline double submergence(double hd, double h) {
    const double r = std::pow(hd / h, 1.5);
    return r >= 1e-7 ? interpolate_submergence_factor(r) : 1.0;
}

// Outcome of the bank hydraulics of one segment.
struct bank_flow {
    double q = 0.0;           // flow magnitude, m3/s
    double head = 0.0;        // head over the crest of flow out of the channel, m
    int code = 0;             // 0 none, 1 free weir, 2 submerged (Manning limit), 3 blocked
    bool out = false;         // the flow leaves the channel
    double mean_depth = 0.0;  // mean depth across the half cell, m
};

// Flow into the channel over a crest with head h and downstream head hd (both
// m); code 2 and the mean depth when the crest is drowned.
void inflow_over_crest(bank_flow& b, double h, double hd, double weir, double d, double hY) {
    hd = std::max(hd, 0.0);
    b.out = false;
    b.code = 0;
    b.q = 0.0;
    if (!(h > kZero)) return;
    b.q = weir * std::pow(h, 1.5) * submergence(hd, h);
    b.code = 1;
    if (hd / h > kSubmergedRatio) {
        b.code = 2;
        b.mean_depth = 0.5 * (d + hY);
    }
}

// Flow out of the channel over a crest with head h and downstream head hd (m).
void outflow_over_crest(bank_flow& b, double h, double hd, double weir, double d, double hY) {
    b.out = true;
    b.code = 0;
    b.q = 0.0;
    b.head = h;
    if (!(h > kZero)) return;
    b.q = weir * std::pow(h, 1.5) * submergence(std::max(hd, 0.0), h);
    b.code = 2;
    b.mean_depth = 0.5 * (d + hY);
}

}  // namespace

double interpolate_submergence_factor(double r) {
    static const double ratio[] = {0.0, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.76, 0.8, 0.95, 1.0};
    static const double factor[] = {1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 0.947, 0.75, 0.0};
    constexpr int n = static_cast<int>(sizeof ratio / sizeof ratio[0]);
    constexpr double match = 1e-4;
    if (r > 1.0 - 1e-7) return 0.0;
    if (r < -match) return 0.0;
    for (int i = 0; i < n; ++i) {
        if (std::fabs(r - ratio[i]) <= match) return factor[i];
    }
    for (int i = 0; i + 1 < n; ++i) {
        if (r > ratio[i] && r < ratio[i + 1]) {
            return factor[i] +
                   (r - ratio[i]) / (ratio[i + 1] - ratio[i]) * (factor[i + 1] - factor[i]);
        }
    }
    return 0.0;
}

bool routed_segment(const run_state& rs, int cell, int segment, int& link, int& node,
                    int& grid_cell) {
    const size_t si = ix(cell), sk = ix(segment);
    link = rs.gst_link[si][sk];
    node = rs.gst_node[si][sk];
    grid_cell = rs.gst_gnum[si][sk];
    if (link < 1 || link > rs.links || grid_cell < 1 || grid_cell > rs.GNUM) return false;
    if (!routed_link(rs.ltype[ix(link)])) return false;
    return node >= 1 && node <= rs.nx[ix(link)];   // else a node a lake holds, or none
}

lateral_volumes lateral_inflow(run_state& rs, double dt, double sac_inflow,
                               const int* boundary_type) {
    lateral_volumes out;
    for (int i = 1; i <= rs.num_stream_cells; ++i) {
        std::vector<double>& q = rs.gst_qlat[ix(i)];
        std::fill(q.begin(), q.end(), 0.0);
    }
    if (!(dt > 0.0)) return out;                   // no time, no exchange (and no division by it)
    const double a = rs.cell_size * rs.cell_size;  // cell area, m2
    const bool transport = rs.chan_con_trans || rs.channel_sediment || rs.overland_constituents;
    const bool lakes = rs.channel_lakes && rs.lake_mask.size() > ix(rs.GNUM);
    int nan_node = 0, nan_link = 0;

    for (int i = 1; i <= rs.num_stream_cells; ++i) {
        const size_t si = ix(i);
        for (int k = 1; k <= rs.gst_ncellsingrid[si]; ++k) {
            const size_t sk = ix(k);
            int L = 0, n = 0, c = 0;
            if (!routed_segment(rs, i, k, L, n, c)) continue;
            const size_t li = ix(L), ni = ix(n), ci = ix(c);
            if (lakes && rs.lake_mask[ci] >= 1) continue;
            const double p = rs.gst_pct[si][sk];
            const double dx = rs.dx[li];
            const double d = rs.ov_depth[ci];
            const double weir = kWeirBothBanks * p * dx;

            // Sacramento inflow of the segment.
            if (rs.sacramento && sac_inflow != 0.0) {
                const double v = sac_inflow * rs.gst_sac_weight[si][sk];
                out.sacramento += v * dt;
                rs.qlat(ni, li) += v / dx;
            }

            bank_flow b;
            b.mean_depth = d;
            const double z = rs.bel(ni, li);
            const double T = z + (rs.bankfull_dep.empty() ? 0.0 : rs.bankfull_dep(ni, li));
            const double G = rs.elevation[ci];
            const double S = G + d;
            const double Y = rs.yp(ni, li);
            const double hY = Y - G;
            if (!rs.overland_backwater && !rs.overbank_flow) {
                if (d > kZero) {
                    b.q = weir * std::pow(d, 1.5);
                    b.code = 1;
                }
            } else {
                if (rs.overland_backwater) {
                    if (S <= Y || S <= T) {
                        b.code = 3;
                    } else if (G <= T) {
                        inflow_over_crest(b, S - T, Y - T, weir, d, hY);
                    } else {
                        inflow_over_crest(b, d, hY, weir, d, hY);
                    }
                }
                if (rs.overbank_flow) {
                    if (T <= G) {
                        if (Y <= S) {
                            if (!rs.overland_backwater) inflow_over_crest(b, d, hY, weir, d, hY);
                        } else if (G > z) {
                            outflow_over_crest(b, hY, d, weir, d, hY);
                        }
                    } else if (Y <= T || Y <= S) {
                        if (!rs.overland_backwater) inflow_over_crest(b, d, hY, weir, d, hY);
                    } else {
                        outflow_over_crest(b, Y - T, S - T, weir, d, hY);
                    }
                }
                if (b.code == 2 && b.mean_depth > kZero) {
                    const double nk = rs.dist_rough[ci];
                    if (nk > 0.0) {
                        const double qm = 2.0 * p * dx / nk * std::pow(b.mean_depth, 5.0 / 3.0) *
                                          std::sqrt(std::fabs(Y - S) / (0.5 * rs.cell_size));
                        b.q = std::min(b.q, qm);
                    }
                }
                if (b.out && b.head > kZero) {
                    const double hc = 2.0 * b.head / 3.0;
                    b.q = std::min(b.q,
                                   kCriticalFactor * std::sqrt(kGravity * hc) * hc * 2.0 * p * dx);
                }
                if (b.code == 0 || b.code == 3) b.q = 0.0;
            }

            double q = b.q;
            if (std::isnan(q)) {
                nan_node = n;
                nan_link = L;
                continue;
            }
            if (!b.out) {
                if (q > 0.0 && head_boundary_cell(boundary_type, c)) out.boundary_gain += q * dt;
                if (q > 0.0 && !head_boundary_cell(boundary_type, c)) {
                    if (d * a - q * dt >= -kZero) {
                        rs.ov_depth[ci] = d - q * dt / a;
                    } else {
                        q = d * a / dt;  // the cell gives all it holds
                        rs.ov_depth[ci] = 0.0;
                    }
                }
            } else if (q > 0.0) {
                // The segment's channel water above the crest bounds the step's outflow.
                const double V =
                    (node_area_at_level(rs, n, L, Y) - node_area_at_level(rs, n, L, Y - b.head)) *
                    dx * p;
                if (!(V > kZero)) {
                    q = 0.0;
                } else if ((V - q * dt) / V < 1.0 - rs.overbank_max_dv) {
                    q = V * rs.overbank_max_dv / dt;
                }
                q = -q;
                if (head_boundary_cell(boundary_type, c)) {
                    out.boundary += -q * dt;
                } else {
                    double depth = d - q * dt / a;
                    const double excess = G + depth - Y;
                    if (excess > kSurfaceSlack) {
                        q += excess * a / dt;
                        depth -= excess;
                        if (depth < -kZero) {
                            q += a * depth / dt;
                            depth = 0.0;
                        }
                    }
                    rs.ov_depth[ci] = depth;
                }
            }
            rs.qlat(ni, li) += q / dx;
            rs.gst_qlat[si][sk] += q;
            if (transport && si < rs.gst_Vlat.size() && sk < rs.gst_Vlat[si].size())
                rs.gst_Vlat[si][sk] += q * dt;
        }
    }
    if (nan_link != 0) {
        std::printf("lateral inflow for node %ld link %ld is not a number \n",
                    static_cast<long>(nan_node), static_cast<long>(nan_link));
    }
    return out;
}
