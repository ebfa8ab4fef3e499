// Link-end flows of the explicit channel routing.
//
// Between two nodes of a link, or across a junction, the diffusive-wave flow
// is Q = K sqrt(S) with S the water-surface slope between the two nodes and K
// the conveyance of the node the water leaves (for a reversed slope, the
// conveyance of the higher, downstream node carries the negative flow).
// Structure links pass the sum of their elements' flows; a lake takes what a
// link delivers but never flows back up it; the outlet passes the normal-depth
// flow on its bed slope, or, with the stream head boundary, everything it
// receives.
#include "channel/link_end_flows.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "channel/chan_messages.h"
#include "channel/channel_records.h"
#include "channel/culverts.h"
#include "channel/weirs.h"
#include "run/run_state.h"
#include "input/elevation_series.h"
#include "input/time_series.h"

namespace {

constexpr double kZero = 1e-16;           // flows at or below count as zero, m3/s
constexpr double kTwoG = 19.62;           // 2 g, m/s2
constexpr double kCoeffStart = 1.07;      // inlet coefficient of the calibration evaluations, -
constexpr double kCoeffCap = 0.99;        // coefficient used when the calibrated one exceeds 1, -
constexpr double kCalibHead = 1.5;        // calibration headwater above the invert, spans
constexpr double kCalibHeadBelow = 1.49;  // the second calibration headwater, spans

inline size_t ix(int i) {
    return static_cast<size_t>(i);
}

// Water level of a routed node from its depth, m.
inline double level(const run_state& rs, int node, int link) {
    return rs.bel(ix(node), ix(link)) + rs.chan_node_depth(ix(node), ix(link));
}

// Level of the lake that link `link` belongs to (a lake link or an overtaken link), m.
double lake_level_of(const run_state& rs, int link) {
    if (ix(link) >= rs.lake2link.size()) return 0.0;
    const int lake = rs.lake2link[ix(link)];
    if (lake < 1 || ix(lake) >= rs.lake_elev.size()) return 0.0;
    return rs.lake_elev[ix(lake)];
}

// Diffusive-wave flow for water-surface slope s with the conveyance of the
// donor node (k_up for s >= 0, k_down for s < 0), m3/s.
inline double slope_flow(double s, double k_up, double k_down) {
    return s >= 0.0 ? std::sqrt(s) * k_up : -std::sqrt(-s) * k_down;
}

void culvert_failure(int link, bool first) {
    if (first)
        chan_say("Error in link number: %d ", link);
    else
        chan_say("Error in link number %d: ", link);
    chan_fail();
}

// Flow of one culvert element at hw and tw, after calibrating its inlet
// coefficient to the section: the flow at a headwater of 1.5 spans over the
// invert, divided by area x sqrt(2 g x (1.49 spans - depth)) at 1.49 spans.
double culvert_element_flow(run_state& rs, int link, int e, double hw, double tw, bool& failed) {
    hydraulic_structure& s = rs.structures[ix(e)];
    const double span = s.width;
    culvert_inlet_coeff(s) = kCoeffStart;
    const culvert_flow high = culv_flow(rs.structures, e, s.upinvert + kCalibHead * span, 0.0);
    if (high.flow == kCulvertFailed) {
        culvert_failure(link, true);
        failed = true;
        return 0.0;
    }
    const culvert_flow low = culv_flow(rs.structures, e, s.upinvert + kCalibHeadBelow * span, 0.0);
    if (low.flow == kCulvertFailed) {
        culvert_failure(link, false);
        failed = true;
        return 0.0;
    }
    // A section that reports no area or no head at the calibration level
    // gives no quotient; it keeps the capped coefficient.
    const double head = kCalibHeadBelow * span - low.depth;
    double coeff = kCoeffCap;
    if (low.area > 0.0 && head > 0.0) {
        coeff = high.flow / (low.area * std::sqrt(kTwoG * head));
        if (coeff > 1.0) coeff = kCoeffCap;
    }
    culvert_inlet_coeff(s) = coeff;
    const culvert_flow real = culv_flow(rs.structures, e, hw, tw);
    if (real.flow == kCulvertFailed) {
        culvert_failure(link, false);
        failed = true;
        return 0.0;
    }
    return real.flow;
}

// Structure link: headwater from the first upstream link, tailwater from the
// first node of the downstream link; the flow is limited to what the node it
// draws from holds for the sub-step. Returns false after a failure.
bool structure_flows(run_state& rs, int i, node_array& flows, double dt, double time) {
    const size_t li = ix(i);
    const int ds = rs.dslink[li];
    const int up = rs.ndep[li] >= 1 ? rs.uslinks[li][1] : 0;
    double hw = rs.yp(1, li);
    if (up >= 1) {
        hw = is_lake(rs.ltype[ix(up)]) ? lake_level_of(rs, up) : rs.yp(ix(rs.nx[ix(up)]), ix(up));
    }
    const double tw = ds >= 1 ? rs.yp(1, ix(ds)) : rs.yp(2, li);

    bool failed = false;
    double q = structure_link_flow(rs, i, hw, tw, time, failed);
    if (failed) return false;

    if (up >= 1 && is_lake(rs.ltype[ix(up)]) && q > kZero) {
        // A lake gives no more than it holds in the sub-step.
        const int lake = rs.lake2link[ix(up)];
        const double v = (lake >= 1 && ix(lake) < rs.lake_volume.size())
                             ? std::max(rs.lake_volume[ix(lake)], 0.0)
                             : 0.0;
        if (v < q * dt) q = v / dt;
    } else if (up >= 1 && routed_link(rs.ltype[ix(up)])) {
        if (q > kZero) {
            const double v = rs.area(ix(rs.nx[ix(up)]), ix(up)) * rs.dx[ix(up)];
            if (v < q * dt) q = v / dt;
        } else if (q < -kZero && ds >= 1) {
            const double v = rs.area(1, ix(ds)) * rs.dx[ix(ds)];
            if (v + q * dt < 0.0) q = -v / dt;
        }
    }
    flows(1, li) = q;
    flows(2, li) = q;
    return true;
}

// Flow out of the last node of link i (not the last link) into its downstream link.
double junction_flow(const run_state& rs, int i, const node_array& flows) {
    const size_t li = ix(i);
    const int d = rs.dslink[li];
    if (d < 1 || d > rs.links) return 0.0;  // a link without a downstream link passes nothing on
    const size_t di = ix(d);
    const int n = rs.nx[li];
    const int dtype = rs.ltype[di];
    if (is_structure(dtype)) return flows(1, di);
    if (is_lake(dtype) || is_overtaken(dtype)) {
        const double s = (level(rs, n, i) - lake_level_of(rs, d)) / (2.0 * rs.dx[li]);
        return s > 0.0 ? std::sqrt(s) * rs.conv(ix(n), li) : 0.0;
    }
    const double s = (level(rs, n, i) - level(rs, 1, d)) / (0.5 * (rs.dx[di] + rs.dx[li]));
    return slope_flow(s, rs.conv(ix(n), li), rs.conv(1, di));
}

// Lake link i draining straight into a routed channel link: the flow from the
// lake's level into the first node of that link over the node spacing, with
// the node's conveyance, stored as the lake link's own last-node flow (m3/s),
// which the first node receives and the lake pays. The lake gives no more
// than it holds in the sub-step `dt` (s), the node no more than its water
// when the flow runs back into the lake. Below any other link the lake link
// passes nothing this way (a structure link draws from the lake itself).
void lake_outlet_flow(const run_state& rs, int i, node_array& flows, double dt) {
    const size_t li = ix(i);
    const int n = rs.nx[li];
    if (n < 1) return;
    double q = 0.0;
    const int d = rs.dslink[li];
    if (d >= 1 && d <= rs.links && routed_link(rs.ltype[ix(d)]) && rs.nx[ix(d)] >= 1) {
        const size_t di = ix(d);
        const double s = (lake_level_of(rs, i) - level(rs, 1, d)) / rs.dx[di];
        q = slope_flow(s, rs.conv(1, di), rs.conv(1, di));
        const int lake = rs.lake2link[li];
        const double held = (lake >= 1 && ix(lake) < rs.lake_volume.size())
                                ? std::max(rs.lake_volume[ix(lake)], 0.0)
                                : 0.0;   // m3
        if (q > 0.0 && q * dt > held) q = held / dt;
        const double node = std::max(rs.area(1, di), 0.0) * rs.dx[di];   // m3
        if (q < 0.0 && -q * dt > node) q = -node / dt;
    }
    flows(ix(n), li) = q;
}

// Outlet node N of the last link. Returns false on a negative outlet slope.
bool outlet_flow(run_state& rs, node_array& flows) {
    const int L = rs.links;
    const size_t li = ix(L);
    const int n = rs.nx[li];
    const size_t ni = ix(n);
    const double dx = rs.dx[li];
    if (rs.head_bound) {
        double q = rs.qlat(ni, li) * dx + (n >= 2 ? flows(ni - 1, li) : 0.0);
        if (rs.stream_exchange && !rs.qriv.empty()) q += rs.qriv(ni, li) * dx;
        if (rs.chan_points_on && rs.chan_point_q.has(n, L)) q += rs.chan_point_q(ni, li);
        flows(ni, li) = q;
        return true;
    }
    // A one-node outlet link has no bed slope of its own: it takes the slope
    // from its upstream link's last node when there is one.
    double upstream_bed = n >= 2 ? rs.bel(ni - 1, li) : rs.bel(ni, li);
    if (n < 2 && rs.ndep[li] >= 1) {
        const int u = rs.uslinks[li][1];
        if (routed_link(rs.ltype[ix(u)])) upstream_bed = rs.bel(ix(rs.nx[ix(u)]), ix(u));
    }
    const double s0 = (upstream_bed - rs.bel(ni, li)) / dx;
    if (s0 < 0.0) {
        chan_say("The outlet slope is negative.  Make sure that the bed\n");
        chan_say("elevation of the most downstream node is lower than\n");
        chan_say("the bed elevation of the node just upstream from it.\n");
        chan_say("Program stopped.\n");
        chan_fail();
        return false;
    }
    flows(ni, li) = std::sqrt(s0) * rs.conv(ni, li);
    return true;
}

}  // namespace

double structure_link_flow(run_state& rs, int link, double hw, double tw, double time,
                           bool& failed) {
    failed = false;
    if (ix(link) >= rs.link_structures.size()) return 0.0;
    const link_structure& ls = rs.link_structures[ix(link)];
    double q = 0.0;
    for (int e = ls.first; e <= ls.last && ix(e) < rs.structures.size(); ++e) {
        hydraulic_structure& s = rs.structures[ix(e)];
        switch (s.structtype) {
            case kStructWeir:
            case kStructSagWeir: {
                const double f = s.structtype == kStructWeir
                                     ? compute_weir_flow(rs.structures, e, hw, tw)
                                     : compute_sag_weir_flow(rs.structures, e, hw, tw);
                if (f == kWeirFailed) {
                    culvert_failure(link, false);
                    failed = true;
                    return 0.0;
                }
                q += f;
                break;
            }
            case kStructRoundCulvert:
            case kStructOvalCulvert:
            case kStructRectCulvert:
                q += culvert_element_flow(rs, link, e, hw, tw, failed);
                if (failed) return 0.0;
                break;
            case kStructRatingCurve:
                q += elevation_series_value(hw, s.elev_series);
                break;
            case kStructRuleCurve:
                q += elevation_series_step_value(hw, s.elev_series);
                break;
            case kStructScheduledRelease:
                q += time_series_value(time, s.release_series);
                break;
            default:
                break;
        }
    }
    return q;
}

int compute_link_end_flows(run_state& rs, node_array& flows, double dt, double time) {
    for (int i = rs.links; i >= 1; --i) {
        const size_t li = ix(i);
        const int type = rs.ltype[li];
        if (is_lake(type)) {
            lake_outlet_flow(rs, i, flows, dt);
            continue;
        }
        if (is_overtaken(type)) continue;
        if (is_structure(type)) {
            if (!structure_flows(rs, i, flows, dt, time)) return -1;
            continue;
        }
        if ((type & kLtChannel) == 0) continue;
        const int n = rs.nx[li];
        if (n < 1) continue;
        const double dx = rs.dx[li];
        double* q = flows.link_data(li);
        const double* bed = rs.bel.link_data(li);
        const double* depth = rs.chan_node_depth.link_data(li);
        const double* k = rs.conv.link_data(li);
        // Interior nodes, downstream first.
        for (int m = n - 1; m >= 1; --m) {
            const double s = ((bed[m] + depth[m]) - (bed[m + 1] + depth[m + 1])) / dx;
            q[m] = slope_flow(s, k[m], k[m + 1]);
        }
        if (i == rs.links) {
            if (!outlet_flow(rs, flows)) return -1;
        } else {
            q[n] = junction_flow(rs, i, flows);
        }
    }
    return 0;
}
