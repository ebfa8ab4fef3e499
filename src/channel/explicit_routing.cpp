// Explicit diffusive-wave channel routing.
//
// One channel step is cut into sub-steps that keep the largest Courant number
// |Q| dt / (A dx) below max_courant_number. A sub-step is a predictor-corrector
// pass: the link-end flows of the start state move the areas to a predicted
// state, the flows of that state are averaged with the first ones, and the
// average flows move the start areas to the new ones (continuity per node,
// with the lateral inflow). A sub-step that drives an area below -1e-8 m2 is
// tried again from its saved state with half the step.
//
// Every volume of a sub-step (outlet, lateral, boundary, point sources,
// output points) is booked only once the sub-step has been accepted, so a
// retry neither loses the volumes of earlier sub-steps nor counts any twice.
//
// Around the routing the channel-network lakes take the nodes whose cells
// they flood, from the downstream end of a link upwards, and give them back
// as they recede.
#include "channel/explicit_routing.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "channel/chan_messages.h"
#include "channel/lateral_inflow.h"
#include "channel/channel_records.h"
#include "channel/link_end_flows.h"
#include "channel/xsection.h"
#include "run/run_state.h"
#include "core/error.h"
#include "subsurface/stream_exchange.h"
#include "input/time_series.h"

namespace {

constexpr double kZero = 1e-16;            // magnitudes at or below count as zero
constexpr double kChangeTolerance = 0.01;  // area change that ends the corrector iterations, m2
constexpr double kRetryArea = -1e-8;       // an area below this makes the sub-step retry, m2
constexpr double kSmallestStep = 0.001;    // shortest sub-step, s
constexpr double kFoldRemainder =
    0.001;  // a rest of the channel step this short joins the sub-step, s
constexpr double kFullShareLow = 0.999;   // a node is flooded when its flooded share lies
constexpr double kFullShareHigh = 1.001;  // strictly between these, -
constexpr double kReleaseDepth = 0.01;    // depth of a released node that would be dry, m

inline size_t ix(int i) {
    return static_cast<size_t>(i);
}

bool same_shape(const node_array& a, const node_array& b) {
    return a.rows() == b.rows() && a.cols() == b.cols();
}

// True when the node state the routing works on has the network's shape.
bool network_ready(const run_state& rs) {
    if (rs.links < 1 || rs.area.empty()) return false;
    const size_t need = ix(rs.links) + 1;
    if (rs.ltype.size() < need || rs.nx.size() < need || rs.dx.size() < need) return false;
    if (rs.area.cols() < need) return false;
    for (const node_array* a : {&rs.yp, &rs.qp, &rs.bel, &rs.qlat, &rs.conv, &rs.chan_node_depth}) {
        if (!same_shape(*a, rs.area)) return false;
    }
    return true;
}

// Work arrays of the routing, allocated once per run in the shape of `area`.
void ensure_work_arrays(run_state& rs) {
    const size_t R = rs.area.rows(), C = rs.area.cols();
    for (node_array* a : {&rs.area_iter, &rs.area_try_start, &rs.qp_old, &rs.qp_last, &rs.qp_iter,
                          &rs.qlat_org, &rs.qlat_old}) {
        if (a->rows() != R || a->cols() != C) a->assign(R, C, 0.0);
    }
    if (rs.stream_exchange && !rs.qriv.empty() && !same_shape(rs.qriv_old, rs.area))
        rs.qriv_old.assign(R, C, 0.0);
    if (rs.channel_lakes && (rs.status_node.rows() != R || rs.status_node.cols() != C))
        rs.status_node.assign(R, C, 0);
    if (rs.channel_lakes && (rs.taken_by_lake.rows() != R || rs.taken_by_lake.cols() != C))
        rs.taken_by_lake.assign(R, C, 0);
    if (rs.overbank_flow && rs.ov_depth_copy.size() != rs.ov_depth.size())
        rs.ov_depth_copy.assign(rs.ov_depth.size(), 0.0);
}

bool exchange_on(const run_state& rs) {
    return rs.stream_exchange && !rs.qriv.empty();
}

// Copies `from` into `to` on the nodes 1..nx of the routed links.
void copy_routed(const run_state& rs, const node_array& from, node_array& to) {
    for (int l = 1; l <= rs.links; ++l) {
        if (!routed_link(rs.ltype[ix(l)])) continue;
        const double* f = from.link_data(ix(l));
        double* t = to.link_data(ix(l));
        std::copy(f + 1, f + 1 + rs.nx[ix(l)], t + 1);
    }
}

void stop(const char* text) {
    chan_say("%s", text);
    chan_fail();
}

// ---------------------------------------------------------------------------
// Channel-network lakes: capture and release of nodes.

// Flooded share of every node: the shares of its segments whose cell belongs
// to a lake (any lake number).
void compute_flooded_shares(run_state& rs) {
    for (int l = 1; l <= rs.links; ++l) {
        const int type = rs.ltype[ix(l)];
        if (is_lake(type) || is_structure(type)) continue;
        double* pf = rs.pct_flooded.link_data(ix(l));
        std::fill(pf, pf + rs.pct_flooded.rows(), 0.0);
    }
    for (int i = 1; i <= rs.num_stream_cells; ++i) {
        for (int k = 1; k <= rs.gst_ncellsingrid[ix(i)]; ++k) {
            const int L = rs.gst_link[ix(i)][ix(k)];
            const int n = rs.gst_node[ix(i)][ix(k)];
            const int c = rs.gst_gnum[ix(i)][ix(k)];
            if (L < 1 || L > rs.links || c < 1 || c > rs.GNUM || !rs.pct_flooded.has(n, L))
                continue;
            const int type = rs.ltype[ix(L)];
            if (is_lake(type) || is_structure(type)) continue;
            if (rs.lake_mask[ix(c)] < 1) continue;
            double& pf = rs.pct_flooded(ix(n), ix(L));
            pf += rs.gst_pct[ix(i)][ix(k)];
            if (pf > kFullShareHigh) {
                std::printf(
                    "Problem with the stream capturing routine, verify channel setup "
                    "[%d][%d]:%.10lf\n",
                    n, L, pf);
            }
        }
    }
}

// Lake that holds (or would take) the nodes of link `link`: the lake of the
// downstream link, which is the one that floods its nodes from below.
int lake_of_link(const run_state& rs, int link) {
    int lake = rs.lake2link[ix(link)];
    const int ds = rs.dslink[ix(link)];
    if (lake == 0 && ds >= 1 && ds <= rs.links) lake = rs.lake2link[ix(ds)];
    return (lake >= 1 && ix(lake) < rs.lake_volume.size()) ? lake : 0;
}

void capture_nodes(run_state& rs) {
    for (int link = rs.links - 1; link >= 1; --link) {
        const size_t li = ix(link);
        const int type = rs.ltype[li];
        if (is_lake(type) || is_structure(type) || is_overtaken(type)) continue;
        const int ds = rs.dslink[li];
        const int start = rs.nx[li];
        for (int node = start; node >= 1; --node) {
            const size_t ni = ix(node);
            const double pf = rs.pct_flooded(ni, li);
            if (!(pf > kFullShareLow && pf < kFullShareHigh) || rs.status_node(ni, li) != 0)
                continue;
            bool below_taken = false;
            if (node < rs.nx[li]) {
                below_taken = rs.status_node(ni + 1, li) == 1;
            } else if (ds >= 1 && ds <= rs.links) {
                const int dtype = rs.ltype[ix(ds)];
                below_taken =
                    rs.status_node(1, ix(ds)) == 1 || is_overtaken(dtype) || is_lake(dtype);
            }
            if (!below_taken) continue;
            // The lake that holds the node just downstream takes this one too.
            int lake = 0;
            if (node < rs.nx[li]) {
                lake = rs.taken_by_lake(ni + 1, li);
            } else if (ds >= 1 && ds <= rs.links) {
                const int dtype = rs.ltype[ix(ds)];
                lake = (is_lake(dtype) || is_overtaken(dtype)) ? rs.lake2link[ix(ds)]
                                                                : rs.taken_by_lake(1, ix(ds));
            }
            if (lake == 0 && ds >= 1) lake = rs.lake2link[ix(ds)];
            rs.status_node(ni, li) = 1;
            rs.taken_by_lake(ni, li) = lake;
            if (lake >= 1 && ix(lake) < rs.lake_volume.size()) {
                const double volume = rs.dx[li] * rs.area(ni, li);
                rs.lake_volume[ix(lake)] += volume;
                rs.lake_in_dv[ix(lake)] += volume;
            }
            rs.area(ni, li) = 0.0;
            rs.qp(ni, li) = 0.0;
            rs.yp(ni, li) = 0.0;
            rs.chan_node_depth(ni, li) = 0.0;
            rs.nx[li] -= 1;
            const double level =
                (lake >= 1 && ix(lake) < rs.lake_elev.size()) ? rs.lake_elev[ix(lake)] : 0.0;
            std::printf("node taken: [%d][%d] lake_elev: %7.2lf, dslink:%d nx: %d\n", node, link,
                        level, ds, rs.nx[li]);
            if (rs.nx[li] == 0) {
                std::printf("***PLUVO  has overtaken link: %d***\n", link);
                rs.ltype[li] |= kLtOvertaken;
                rs.lake2link[li] = lake;
            }
        }
    }
}

// Gives back the nodes whose cells the lakes no longer flood. False after a stop.
bool release_nodes(run_state& rs) {
    for (int link = 1; link <= rs.links - 1; ++link) {
        const size_t li = ix(link);
        const int type = rs.ltype[li];
        if (is_lake(type) || is_structure(type)) continue;
        if (is_overtaken(type) && rs.pct_flooded(1, li) > kZero) continue;
        const int first = rs.nx[li] + 1;
        for (int node = first; node <= rs.og_nx1[li]; ++node) {
            const size_t ni = ix(node);
            if (rs.status_node(ni, li) != 1 || rs.pct_flooded(ni, li) != 0.0) continue;
            if (node > 1 && rs.status_node(ni - 1, li) == 1) continue;
            // The node goes back out of the lake that took it.
            int lake = rs.taken_by_lake(ni, li);
            if (lake < 1 || ix(lake) >= rs.lake_volume.size()) lake = lake_of_link(rs, link);
            const double lake_level =
                (lake >= 1 && ix(lake) < rs.lake_elev.size()) ? rs.lake_elev[ix(lake)] : 0.0;
            rs.status_node(ni, li) = 0;
            rs.taken_by_lake(ni, li) = 0;
            const int was = rs.nx[li];
            rs.nx[li] = std::min(was + 1, rs.og_nx1[li]);
            if (was == 0) {
                rs.lake2link[li] = 0;
                rs.ltype[li] &= ~kLtOvertaken;
            }
            const double bed = rs.bel(ni, li);
            double depth = lake_level - bed;
            if (depth < 0.0) {
                depth = node == 1 ? kReleaseDepth : rs.yp(ni - 1, li) - bed;
                if (depth < 0.0) depth = kReleaseDepth;
            }
            if (std::isnan(depth)) {
                chan_say("In ex_flow_route A:  Channel depth is not a number at link %d node %d\n",
                         link, node);
                chan_fail();
                return false;
            }
            rs.yp(ni, li) = bed + depth;
            // The node's area from its level; the other nodes keep their areas.
            rs.area_iter = rs.area;
            if (!ex_section(rs, kSectionFromLevel, rs.area_iter)) return false;
            rs.area(ni, li) = rs.area_iter(ni, li);
            rs.chan_node_depth(ni, li) = depth;
            if (lake >= 1) {
                // The lake gives the node no more water than it holds.
                const double held = std::max(rs.lake_volume[ix(lake)], 0.0);
                if (rs.area(ni, li) * rs.dx[li] > held) {
                    rs.area(ni, li) = held / rs.dx[li];
                    if (!ex_section(rs, kSectionFromArea, rs.area)) return false;
                    depth = rs.chan_node_depth(ni, li);
                }
                const double volume = rs.area(ni, li) * rs.dx[li];
                rs.lake_volume[ix(lake)] -= volume;
                rs.lake_out_dv[ix(lake)] += volume;
            } else {
                // No lake to take the water from: the node comes back dry.
                rs.area(ni, li) = 0.0;
                if (!ex_section(rs, kSectionFromArea, rs.area)) return false;
                depth = 0.0;
            }
            std::printf(
                "node released:[%d][%d], elev:%.1lf, depth:%.3lf, lakeelev:%.1lf, dslink:%d,nx: "
                "%d, "
                "nx1_og: %d\n",
                node, link, bed, depth, lake_level, rs.dslink[li], rs.nx[li], rs.og_nx1[li]);
        }
    }
    return true;
}

// Lake volumes after a sub-step: an overtaken link's lake gains what its
// upstream links deliver; a lake link gains what its upstream links deliver
// and loses what its downstream link draws.
void book_lake_volumes(run_state& rs, double dt) {
    auto book = [&](int lake, double v) {
        if (lake < 1 || ix(lake) >= rs.lake_volume.size()) return;
        rs.lake_volume[ix(lake)] += v;
        if (v > 0.0)
            rs.lake_in_dv[ix(lake)] += v;
        else
            rs.lake_out_dv[ix(lake)] -= v;
    };
    for (int l = 1; l <= rs.links; ++l) {
        const size_t li = ix(l);
        const int type = rs.ltype[li];
        const bool overtaken = is_overtaken(type);
        if (!overtaken && !is_lake(type)) continue;
        const int lake = rs.lake2link[li];
        for (int k = 1; k <= rs.ndep[li]; ++k) {
            const int up = rs.uslinks[li][ix(k)];
            if (up < 1 || up > rs.links) continue;
            const int utype = rs.ltype[ix(up)];
            if (is_overtaken(utype) || (overtaken && is_lake(utype))) continue;
            book(lake, dt * rs.qp(ix(rs.nx[ix(up)]), ix(up)));
        }
        if (is_lake(type)) {
            const int ds = rs.dslink[li];
            // A routed link below takes the lake link's own outflow; a
            // structure link draws its first-node flow from the lake.
            if (ds >= 1 && ds <= rs.links && routed_link(rs.ltype[ix(ds)]))
                book(lake, -dt * rs.qp(ix(rs.nx[li]), li));
            else if (ds >= 1 && ds <= rs.links)
                book(lake, -dt * rs.qp(1, ix(ds)));
        }
    }
}

// ---------------------------------------------------------------------------
// Sub-steps.

// Checks every routed node and gives the largest Courant number of the
// sub-step dt. Sets `failed` after a stop.
double courant_number(run_state& rs, double dt, bool& failed) {
    failed = false;
    double cmax = 0.0;
    for (int l = 1; l <= rs.links; ++l) {
        const size_t li = ix(l);
        if (!routed_link(rs.ltype[li])) continue;
        const double dx = rs.dx[li];
        double* a = rs.area.link_data(li);
        double* y = rs.yp.link_data(li);
        const double* bed = rs.bel.link_data(li);
        const double* q = rs.qp.link_data(li);
        for (int j = 1; j <= rs.nx[li]; ++j) {
            if (std::isnan(a[j])) {
                chan_say(
                    "In ex_flow_route 1:  cross-sectional area is not a number at link %d node "
                    "%d\n",
                    l, j);
                a[j] = 0.0;
                y[j] = bed[j];
                chan_fail();
                failed = true;
                return 0.0;
            }
            if (y[j] - bed[j] < 0.0) {
                chan_say("in ex_flow_route 2, negative depth at link %d node %d\n", l, j);
                stop("program stopped.\n");
                failed = true;
                return 0.0;
            }
            // Upstream flow moves water across the node as fast as downstream flow.
            if (a[j] > kZero) cmax = std::max(cmax, dt / dx * (std::fabs(q[j]) / a[j]));
        }
    }
    return cmax;
}

// Sets negative areas of routed nodes to 0; gives the smallest area before.
double clear_negative_areas(const run_state& rs, node_array& areas) {
    double smallest = 0.0;
    for (int l = 1; l <= rs.links; ++l) {
        if (!routed_link(rs.ltype[ix(l)])) continue;
        double* a = areas.link_data(ix(l));
        for (int j = 1; j <= rs.nx[ix(l)]; ++j) {
            smallest = std::min(smallest, a[j]);
            if (a[j] < 0.0) a[j] = 0.0;
        }
    }
    return smallest;
}

// qp = (qp_last + qp_iter) / 2 on every node of the routed, structure and lake links.
void average_flows(run_state& rs) {
    for (int l = 1; l <= rs.links; ++l) {
        const size_t li = ix(l);
        const int type = rs.ltype[li];
        if (is_overtaken(type)) continue;
        const int n = is_structure(type) ? std::max(rs.nx[li], 2) : rs.nx[li];
        const double* a = rs.qp_last.link_data(li);
        const double* b = rs.qp_iter.link_data(li);
        double* q = rs.qp.link_data(li);
        for (int j = 1; j <= n && ix(j) < rs.qp.rows(); ++j) q[j] = 0.5 * (a[j] + b[j]);
    }
}

// Largest |area - area_iter| over the routed nodes (m2) and the smallest area.
void compare_areas(const run_state& rs, double& change, double& smallest) {
    change = 0.0;
    smallest = 0.0;
    for (int l = 1; l <= rs.links; ++l) {
        if (!routed_link(rs.ltype[ix(l)])) continue;
        const double* a = rs.area.link_data(ix(l));
        const double* b = rs.area_iter.link_data(ix(l));
        for (int j = 1; j <= rs.nx[ix(l)]; ++j) {
            change = std::max(change, std::fabs(a[j] - b[j]));
            smallest = std::min(smallest, a[j]);
        }
    }
}

// The state saved at the start of a sub-step, put back before a retry.
void restore_substep_start(run_state& rs) {
    copy_routed(rs, rs.area_try_start, rs.area);
    rs.qp = rs.qp_old;
    rs.qp_last = rs.qp_old;
    rs.qp_iter = rs.qp_old;
    if (exchange_on(rs)) rs.qriv = rs.qriv_old;
    if (rs.overbank_flow) {
        rs.qlat = rs.qlat_old;
        rs.ov_depth = rs.ov_depth_copy;
    }
}

// Overbank return: segments whose water would still leave the channel while
// the channel stands below its bank or below the cell's water surface stop
// doing so for the rest of the channel step; qlat is rebuilt from the others.
void overbank_return(run_state& rs, double remaining, const int* boundary_type, route_volumes& v) {
    rs.qlat_org = rs.qlat;
    rs.qlat.fill(0.0);
    const double a = rs.cell_size * rs.cell_size;
    for (int i = rs.num_stream_cells; i >= 1; --i) {
        const size_t si = ix(i);
        for (int k = 1; k <= rs.gst_ncellsingrid[si]; ++k) {
            const size_t sk = ix(k);
            int L = 0, n = 0, c = 0;
            if (!routed_segment(rs, i, k, L, n, c)) continue;
            const size_t li = ix(L), ni = ix(n), ci = ix(c);
            double& qs = rs.gst_qlat[si][sk];
            const double y = rs.yp(ni, li);
            const double bank =
                rs.bel(ni, li) + (rs.bankfull_dep.empty() ? 0.0 : rs.bankfull_dep(ni, li));
            if (qs < -kZero && (y < bank || y < rs.elevation[ci] + rs.ov_depth[ci])) {
                const double volume =
                    qs * remaining;  // water the cell would still receive, as negative
                if (head_boundary_cell(boundary_type, c)) {
                    if (volume < 0.0)
                        v.overbank_gain += -volume;
                    else
                        v.overbank_loss += volume;
                } else {
                    rs.ov_depth[ci] += volume / a;
                    if (rs.ov_depth[ci] < -kZero) rs.ov_depth[ci] = 0.0;
                }
                qs = 0.0;
                continue;
            }
            rs.qlat(ni, li) += qs / rs.dx[li];
        }
    }
}

// Flow, outlet and output-point volumes of an accepted sub-step.
void book_flow_volumes(run_state& rs, double dt, route_volumes& v) {
    const bool constituents = rs.chan_con_trans && same_shape(rs.qp_vol, rs.qp);
    const bool sediment = rs.channel_sediment && same_shape(rs.qp_vol_sed, rs.qp);
    if (constituents || sediment) {
        for (int l = 1; l <= rs.links; ++l) {
            const int type = rs.ltype[ix(l)];
            // Wash load and dissolved constituents also cross structure and
            // lake links: their face volumes are kept too.
            const bool routed = routed_link(type);
            if (!routed && !is_structure(type) && !is_lake(type)) continue;
            const double* q = rs.qp.link_data(ix(l));
            for (int j = 1; j <= rs.nx[ix(l)]; ++j) {
                if (constituents) rs.qp_vol(ix(j), ix(l)) += dt * q[j];
                if (sediment) rs.qp_vol_sed(ix(j), ix(l)) += dt * q[j];
            }
        }
    }
    const size_t L = ix(rs.links);
    v.outlet += dt * rs.qp(ix(rs.nx[L]), L);
    if (rs.hyd_locations_on) {
        for (int k = 1; k <= rs.num_hyd_locations; ++k) {
            if (ix(k) >= rs.hyd_point_volume.size() || ix(k) >= rs.hlink.size() ||
                ix(k) >= rs.hnode.size())
                break;
            const int node = rs.hnode[ix(k)], link = rs.hlink[ix(k)];
            if (rs.qp.has(node, link)) rs.hyd_point_volume[ix(k)] += dt * rs.qp(ix(node), ix(link));
        }
    }
}

// Each segment's share of the accepted exchange (its rate scaled as its node
// was limited) goes to its cell's exchange volume, m3 (+ aquifer to channel).
void book_exchange_volumes(run_state& rs, double dt) {
    // Sized here too when no water table or aquifer set it up (losses to dry ground).
    if (rs.gw_chan_exchange_vol.size() <= ix(rs.GNUM))
        rs.gw_chan_exchange_vol.assign(ix(rs.GNUM) + 1, 0.0);
    for (int k = 1; k <= rs.num_stream_cells; ++k) {
        for (int g = 1; g <= rs.gst_ncellsingrid[ix(k)]; ++g) {
            const int L = rs.gst_link[ix(k)][ix(g)], j = rs.gst_node[ix(k)][ix(g)];
            const int c = rs.gst_gnum[ix(k)][ix(g)];
            if (L < 1 || L > rs.links || c < 1 || c > rs.GNUM || !routed_link(rs.ltype[ix(L)]))
                continue;
            double& s = rs.gst_qriv[ix(k)][ix(g)];
            if (j < 1 || j > rs.nx[ix(L)]) {
                s = 0.0;
                continue;
            }
            const double before = rs.qriv_old(ix(j), ix(L));
            s = std::fabs(before) < kZero ? 0.0 : s * rs.qriv(ix(j), ix(L)) / before;
            const double v = rs.dx[ix(L)] * s * dt * rs.gst_pct[ix(k)][ix(g)];   // m3
            rs.gw_chan_exchange_vol[ix(c)] += v;
            // The channel constituents move the mass of this water.
            if (rs.chan_con_trans && ix(k) < rs.gst_Vriv.size() && ix(g) < rs.gst_Vriv[ix(k)].size())
                rs.gst_Vriv[ix(k)][ix(g)] += v;
        }
    }
}

// The point volumes of an accepted sub-step go to the channel step's, m3,
// for the channel constituents.
void book_point_volumes(run_state& rs) {
    if (!rs.chan_points_on || !rs.chan_con_trans || !same_shape(rs.chan_point_try, rs.area)) return;
    if (!same_shape(rs.chan_point_vol, rs.area)) rs.chan_point_vol.assign(rs.area.rows(), rs.area.cols(), 0.0);
    for (int l = 1; l <= rs.links; ++l) {
        if (!routed_link(rs.ltype[ix(l)])) continue;
        for (int j = 1; j <= rs.nx[ix(l)]; ++j) {
            rs.chan_point_vol(ix(j), ix(l)) += rs.chan_point_try(ix(j), ix(l));
            rs.chan_point_try(ix(j), ix(l)) = 0.0;
        }
    }
}

}  // namespace

node_update_volumes update_node_areas(run_state& rs, const node_array& flows, node_array& areas,
                                      double dt, double dt_c, double time) {
    (void)dt_c;  // the XY volume Q x dt_c of a step enters as dt / dt_c of it per sub-step: Q x dt
    node_update_volumes out;
    const bool xy_points = same_shape(rs.xy_stream_q, areas);
    const bool exchange = exchange_on(rs);
    const bool point_sources = !rs.stream_pointsource.empty();
    const bool point_inputs = rs.chan_points_on && same_shape(rs.chan_point_q, areas);
    // The point volumes of the sub-step being tried, for the constituents.
    const bool point_volumes = point_inputs && rs.chan_con_trans;
    if (point_volumes && !same_shape(rs.chan_point_try, areas)) rs.chan_point_try.assign(areas.rows(), areas.cols(), 0.0);
    for (int l = 1; l <= rs.links; ++l) {
        const size_t li = ix(l);
        if (!routed_link(rs.ltype[li])) continue;
        const int n = rs.nx[li];
        const double dx = rs.dx[li];
        const double* lat = rs.qlat.link_data(li);
        const double* q = flows.link_data(li);
        double* a = areas.link_data(li);
        double* riv = exchange ? rs.qriv.link_data(li) : nullptr;
        for (int j = 1; j <= n; ++j) {
            const double A = dx * lat[j] * dt;
            double B;
            if (j == 1) {
                if (rs.ndep[li] > 0) {
                    double in = 0.0;
                    for (int k = 1; k <= rs.ndep[li]; ++k) {
                        const int u = rs.uslinks[li][ix(k)];
                        if (u >= 1 && u <= rs.links) in += flows(ix(rs.nx[ix(u)]), ix(u));
                    }
                    B = A + dt * in - dt * q[1];
                } else {
                    // A head link is fed first_order_chan_q, booked as a channel point input.
                    const double fed = rs.first_order_chan_q * dt;
                    B = A + fed - q[1] * dt;
                    if (fed > 0.0)
                        out.point_in += fed;
                    else
                        out.point_out += -fed;
                }
            } else {
                B = A + (q[j - 1] - q[j]) * dt;
            }
            const bool held_outlet = rs.head_bound && l == rs.links && j == n;
            if (held_outlet) B = 0.0;
            if (point_sources) {
                time_series* s = rs.stream_pointsource(ix(j), li);
                if (s != nullptr) {
                    const double v = dt * time_series_value(time, s);
                    B += v;
                    if (v > 0.0)
                        out.point_in += v;
                    else
                        out.point_out += -v;
                }
            }
            if (xy_points) {
                // Outer model discharge at a stream XY boundary point of this node.
                const double q_xy = rs.xy_stream_q(ix(j), li);   // m3/s
                if (std::fabs(q_xy) > kZero) {
                    double v = dt * q_xy;                        // m3
                    // An outer withdrawal takes at most the water the node holds.
                    if (v < 0.0) v = -std::min(-v, std::max(B + dx * a[j], 0.0));
                    B += v;
                    out.xy_boundary += v;
                }
            }
            if (point_inputs) {
                double v = dt * rs.chan_point_q(ix(j), li);
                if (v < 0.0 && !held_outlet) {
                    // A withdrawal takes at most the water the node holds.
                    const double taken = std::min(-v, std::max(B + dx * a[j], 0.0));
                    out.point_unmet += -v - taken;
                    v = -taken;
                }
                // The held outlet passes its point input on with the outlet flow.
                if (!held_outlet) B += v;
                if (point_volumes) rs.chan_point_try(ix(j), li) = held_outlet ? 0.0 : v;
                if (v > 0.0)
                    out.point_in += v;
                else
                    out.point_out += -v;
            }
            if (exchange) {
                if (riv[j] * dt * dx + B + dx * a[j] < 0.0 && riv[j] < 0.0) {
                    riv[j] = B < 0.0 ? -(B + dx * a[j]) / (dx * dt) : -a[j] / dt;
                }
                if (!held_outlet) a[j] = (B + dt * riv[j] * dx + dx * a[j]) / dx;
            } else {
                a[j] = (B + dx * a[j]) / dx;
            }
            if (A > 0.0)
                out.lateral_in += A;
            else
                out.lateral_out += A;
        }
    }
    return out;
}

bool check_channel_routing_settings(run_state& rs) {
    if (rs.max_courant_number > 0.0) return true;
    chan_say(
        "\nError: the card max_courant_number gives %g; the largest channel Courant number must be "
        "above 0.\n",
        rs.max_courant_number);
    chan_fail();
    return false;
}

int ex_flow_route(run_state& rs, double dt_c, route_volumes& v, const int* boundary_type) {
    v = route_volumes{};
    if (!network_ready(rs)) return 0;
    if (!check_channel_routing_settings(rs)) return -1;
    ensure_work_arrays(rs);
    const bool lakes = rs.channel_lakes && same_shape(rs.pct_flooded, rs.area) &&
                       rs.lake2link.size() > ix(rs.links) && rs.lake_mask.size() > ix(rs.GNUM);
    const int iterations =
        (rs.overbank_flow || rs.channel_sediment || rs.chan_con_trans || rs.channel_lakes) ? 2 : 1;
    if (rs.channel_lakes && rs.chan_con_trans) rs.lake_volume_last_chan = rs.lake_volume;

    if (lakes) {
        compute_flooded_shares(rs);
        capture_nodes(rs);
        if (!release_nodes(rs)) return -1;
    }
    if (dt_c <= kZero) return 0;

    const double max_courant = rs.max_courant_number;
    int exchange_result = 0;
    double remaining = dt_c;
    double dt = dt_c;
    // Set while depths, levels and conveyances were last computed from `area`
    // as it stands (true after every accepted or restored sub-step).
    bool state_from_area = false;
    while (remaining > kZero) {
        bool failed = false;
        const double cmax = courant_number(rs, dt, failed);
        if (failed) return -1;
        if (cmax >= max_courant) dt = dt / std::floor(cmax / max_courant + 1.0);

        if (exchange_on(rs)) {
            exchange_result = exchange_channel_aquifer(rs);
            if (error_record.code != 0) {
                chan_fail();
                return -1;
            }
        }
        copy_routed(rs, rs.area, rs.area_try_start);
        rs.qp_old = rs.qp;
        if (exchange_on(rs)) rs.qriv_old = rs.qriv;
        if (rs.chan_first_substep) {
            rs.qp_last = rs.qp;
            rs.qp_iter = rs.qp;
            rs.chan_first_substep = 0;
        }
        if (rs.overbank_flow) {
            rs.qlat_old = rs.qlat;
            rs.ov_depth_copy = rs.ov_depth;
        }

        node_update_volumes step;
        for (;;) {
            if (dt < kSmallestStep) {
                chan_say("The channel routing time step is getting really small\n");
                chan_say("less than 1/1000 of a second\n");
                chan_say("Reduce the model time step and/or MAX_COURANT_NUMBER (default=0.04) \n");
                stop("Program stopped.\n");
                return -1;
            }
            remaining -= dt;
            if (remaining <= kFoldRemainder) {
                dt += remaining;
                remaining = 0.0;
            }
            double change = 1.0;
            bool retry = false;
            for (int it = 0; change > kChangeTolerance && it < iterations; ++it) {
                if (it > 0 && !ex_section(rs, kSectionFromArea, rs.area)) return -1;
                if (compute_link_end_flows(rs, rs.qp_last, dt, rs.time) < 0) return -1;
                copy_routed(rs, rs.area_try_start, rs.area);
                copy_routed(rs, rs.area_try_start, rs.area_iter);
                if (exchange_on(rs)) rs.qriv = rs.qriv_old;
                // The start state needs no new hydraulics when they are still those of its areas.
                if (!(it == 0 && state_from_area) &&
                    !ex_section(rs, kSectionFromArea, rs.area_iter))
                    return -1;
                update_node_areas(rs, rs.qp_last, rs.area_iter, dt, dt_c, rs.time);
                clear_negative_areas(rs, rs.area_iter);
                if (!ex_section(rs, kSectionFromArea, rs.area_iter)) return -1;
                if (compute_link_end_flows(rs, rs.qp_iter, dt, rs.time) < 0) return -1;
                average_flows(rs);
                if (exchange_on(rs)) rs.qriv = rs.qriv_old;
                step = update_node_areas(rs, rs.qp, rs.area, dt, dt_c, rs.time);
                double smallest = 0.0;
                compare_areas(rs, change, smallest);
                if (smallest < kRetryArea) {
                    retry = true;
                    break;
                }
            }
            if (!retry) break;
            ++rs.chan_retries;
            remaining += dt;
            restore_substep_start(rs);
            if (!ex_section(rs, kSectionFromArea, rs.area)) return -1;
            state_from_area = true;
            dt *= 0.5;
        }

        // The sub-step stands: book it.
        clear_negative_areas(rs, rs.area);
        if (!ex_section(rs, kSectionFromArea, rs.area)) return -1;
        state_from_area = true;
        if (lakes) book_lake_volumes(rs, dt);
        if (exchange_on(rs)) book_exchange_volumes(rs, dt);
        book_point_volumes(rs);
        if (rs.overbank_flow && remaining > kZero) overbank_return(rs, remaining, boundary_type, v);
        book_flow_volumes(rs, dt, v);
        v.lateral_in += step.lateral_in;
        v.lateral_out += step.lateral_out;
        v.xy_boundary += step.xy_boundary;
        rs.vol_stream_point_sources += step.point_in;
        rs.vol_stream_point_sinks += step.point_out;
        rs.vol_stream_point_unmet += step.point_unmet;
        ++rs.chan_substeps;
    }
    return exchange_result;
}
