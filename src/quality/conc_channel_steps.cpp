// Channel constituent steps of the time loop: node stores at set-up, decay
// and outlet mass after the channel step, then the water-quality routing of
// every constituent.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "channel/channel_records.h"
#include "quality/conc_channel.h"
#include "quality/conc_lakes.h"
#include "quality/constituent_setup.h"
#include "quality/constituent_steps.h"
#include "quality/nutrients.h"
#include "run/run_state.h"

namespace {

inline size_t ix(int i) { return static_cast<size_t>(i); }

bool channel_network_ready(const run_state& rs) {
    return rs.links >= 1 && rs.nx.size() > ix(rs.links) && rs.ltype.size() > ix(rs.links) &&
           rs.dslink.size() > ix(rs.links) && rs.area.size() > 0;
}

void refresh_channel_topology(run_state& rs);

// Sizes the node stores and work rows once (the output datasets bind to them).
void size_channel_stores(run_state& rs) {
    constituent_channel& cc = rs.con_chan;
    if (cc.stride > 0 || !channel_network_ready(rs)) return;
    const int n = rs.num_constituents;
    cc.stride = rs.maxnodes + 1;
    cc.slots = cc.stride * (rs.links + 1);
    const size_t slots = ix(cc.slots);
    for (con_rows* r : {&cc.conc, &cc.mass, &cc.disp, &cc.qlat_mass, &cc.decay_mass, &cc.gw_gain, &cc.point_gain})
        r->assign(ix(n) + 1, std::vector<double>(slots, 0.0));
    for (std::vector<double>* w : {&cc.c, &cc.m, &cc.c_save, &cc.c_pred, &cc.m_pred,
                                   &cc.a1, &cc.g1, &cc.a2, &cc.g2, &cc.w1, &cc.w2, &cc.src, &cc.area_adt,
                                   &cc.draw_gw, &cc.draw_point})
        w->assign(slots, 0.0);
    cc.nx_seen.assign(rs.nx.begin(), rs.nx.end());
    refresh_channel_topology(rs);
    // The water volumes through the nodes are gathered by the channel step.
    rs.qp_vol = rs.qp;
    rs.qp_vol.fill(0.0);
}

// Lake a channel-lake or overtaken link belongs to, 0 none.
int lake_of_link(const run_state& rs, int l) {
    if (l < 1 || l > rs.links || ix(l) >= rs.lake2link.size()) return 0;
    const int type = rs.ltype[ix(l)];
    if (!is_lake(type) && !is_overtaken(type)) return 0;
    const int u = rs.lake2link[ix(l)];
    return u >= 1 && u <= rs.con_lake.lakes ? u : 0;
}

// First link below link l past its structure links (0 none); `structure`
// receives the last structure link passed (0 none).
int below_structures(const run_state& rs, int l, int& structure) {
    structure = 0;
    int d = rs.dslink[ix(l)];
    for (int guard = 0; d >= 1 && d <= rs.links && is_structure(rs.ltype[ix(d)]) && guard <= rs.links;
         ++guard) {
        structure = d;
        d = rs.dslink[ix(d)];
    }
    return d >= 1 && d <= rs.links ? d : 0;
}

// Which transport link feeds which (through structures), which drains into a
// channel lake, and which lake outflows feed which node 1. Lakes take nodes
// and whole links as they rise, so this is found again before each routing.
void refresh_channel_topology(run_state& rs) {
    constituent_channel& cc = rs.con_chan;
    const size_t L = ix(rs.links) + 1;
    cc.downstream.assign(L, 0);
    cc.via_structure.assign(L, 0);
    cc.lake_below.assign(L, 0);
    if (cc.feeders.size() != L) cc.feeders.assign(L, std::vector<int>());
    for (std::vector<int>& f : cc.feeders) f.clear();
    cc.src_lake.clear();
    cc.src_link.clear();
    cc.src_vol_link.clear();
    cc.src_vol_node.clear();
    const bool lakes = rs.con_lake.channel && rs.con_lake.lakes > 0;
    for (int l = 1; l <= rs.links; ++l) {
        const int type = rs.ltype[ix(l)];
        if (con_transport_link(type)) {
            const int d = downstream_transport_link(rs, l);
            cc.downstream[ix(l)] = d;
            cc.via_structure[ix(l)] = d != 0 && rs.dslink[ix(l)] != d ? 1 : 0;
            if (d != 0) cc.feeders[ix(d)].push_back(l);
            int structure = 0;
            if (lakes && d == 0) cc.lake_below[ix(l)] = lake_of_link(rs, below_structures(rs, l, structure));
            continue;
        }
        if (!lakes || !is_lake(type)) continue;
        // A lake drains into the first node of the link below it, straight
        // (its own last-node flow) or through a structure (the structure's flow).
        const int u = lake_of_link(rs, l);
        int structure = 0;
        const int d = below_structures(rs, l, structure);
        if (u == 0 || d == 0 || !con_transport_link(rs.ltype[ix(d)]) || rs.nx[ix(d)] < 1) continue;
        cc.src_lake.push_back(u);
        cc.src_link.push_back(d);
        cc.src_vol_link.push_back(structure != 0 ? structure : l);
        cc.src_vol_node.push_back(structure != 0 ? 1 : std::max(rs.nx[ix(l)], 1));
    }
    cc.src_a1.assign(cc.src_lake.size() + 1, 0.0);
    cc.src_a2.assign(cc.src_lake.size() + 1, 0.0);
}

template <class F>
void for_transport_nodes(const run_state& rs, F f) {
    for (int l = 1; l <= rs.links; ++l) {
        if (!con_transport_link(rs.ltype[ix(l)])) continue;
        for (int j = 1; j <= rs.nx[ix(l)]; ++j) f(l, j, static_cast<size_t>(rs.con_chan.stride * l + j));
    }
}

}  // namespace

void init_channel_constituents(run_state& rs) {
    if (!rs.chan_con_trans || !rs.chan_explic) return;
    size_channel_stores(rs);
    constituent_channel& cc = rs.con_chan;
    if (cc.stride == 0) return;
    for (int i = 1; i <= rs.num_constituents; ++i) {
        const size_t ii = ix(i);
        if (rs.constituent_type[ii] != 1) continue;   // nutrients take their own stream values
        double total = 0.0;   // g
        for_transport_nodes(rs, [&](int l, int j, size_t f) {
            cc.disp[ii][f] = rs.chan_disp_coef;
            const double v = rs.area(ix(j), ix(l)) * rs.dx[ix(l)];
            if (v > kConDry) {
                cc.conc[ii][f] = rs.init_chan_conc;
                cc.mass[ii][f] = rs.init_chan_conc * v;
            }
            total += cc.mass[ii][f];
        });
        rs.con_tot.chan_init[ii] = total / 1000.0;
    }
    assign_nsm_stream_params(rs);
}

void ensure_channel_constituent_stores(run_state& rs) {
    if (rs.chan_con_trans && rs.chan_explic) size_channel_stores(rs);
}

void add_channel_lateral_constituents(run_state& rs) {
    if (!rs.chan_con_trans || rs.con_chan.stride == 0) return;
    if (!process_due(rs, rs.con_chan_next)) return;
    constituent_channel& cc = rs.con_chan;
    const double J = process_elapsed_seconds(rs, rs.con_chan_last);   // s
    // Decay: k x node mass x interval, queued for the routing.
    const double k = rs.chan_decay_coef / kConSecondsPerDay;   // 1/s
    if (k > 0.0) {
        for (int i = 1; i <= rs.num_constituents; ++i) {
            if (rs.constituent_type[ix(i)] != 1) continue;
            const size_t ii = ix(i);
            for_transport_nodes(rs, [&](int, int, size_t f) {
                if (cc.mass[ii][f] > 0.0) cc.decay_mass[ii][f] += k * cc.mass[ii][f] * J;
            });
        }
        cc.decay_interval = J;
    }
}

// Nodes a channel lake took since the last routing (the link has fewer
// nodes now) hand their mass, and the lateral mass on its way to them, to
// the lake; nodes it gave back take the water they got from the lake at its
// concentration of the last routing, at most what the lake holds.
void follow_lake_captures(run_state& rs, int i) {
    constituent_channel& cc = rs.con_chan;
    constituent_lakes& cl = rs.con_lake;
    const size_t ii = ix(i);
    double taken = 0.0;   // g the lakes took from the nodes (negative: gave them)
    for (int l = 1; l <= rs.links; ++l) {
        const int type = rs.ltype[ix(l)];
        if (is_lake(type) || is_structure(type)) continue;
        const int seen = cc.nx_seen[ix(l)], now = rs.nx[ix(l)];
        for (int j = now + 1; j <= seen; ++j) {
            const size_t f = static_cast<size_t>(cc.stride * l + j);
            int u = rs.taken_by_lake.has(j, l) ? rs.taken_by_lake(ix(j), ix(l)) : 0;
            if (u < 1 || u > cl.lakes) u = lake_of_link(rs, l);
            if (u < 1 || u > cl.lakes) u = lake_of_link(rs, rs.dslink[ix(l)]);
            if (u >= 1 && u <= cl.lakes) {
                cl.mass[ii][ix(u)] += cc.mass[ii][f] + cc.qlat_mass[ii][f];
                taken += cc.mass[ii][f] + cc.qlat_mass[ii][f];
                cc.mass[ii][f] = cc.qlat_mass[ii][f] = 0.0;
            }
            cc.conc[ii][f] = 0.0;
            cc.decay_mass[ii][f] = 0.0;
        }
        for (int j = seen + 1; j <= now; ++j) {
            const size_t f = static_cast<size_t>(cc.stride * l + j);
            int u = lake_of_link(rs, l);
            if (u < 1) u = lake_of_link(rs, rs.dslink[ix(l)]);
            const double v = std::max(rs.area(ix(j), ix(l)), 0.0) * rs.dx[ix(l)];   // m3
            double take = 0.0;   // g
            if (u >= 1) {
                // The lake's concentration over the water it held before it gave the node some.
                const double v0 = cc.lake_v0[ix(u)], M = std::max(cl.mass[ii][ix(u)], 0.0);
                const double c = v0 > kConDry ? M / v0 : 0.0;   // g/m3
                take = std::min(c * v, M);
                cl.mass[ii][ix(u)] -= take;
                taken -= take;
            }
            cc.mass[ii][f] += take;
            cc.conc[ii][f] = v > kConDry ? cc.mass[ii][f] / v : 0.0;
        }
    }
    rs.con_tot.lake_chan_exchange[ii] += taken / 1000.0;
}

// The stream-aquifer and point-input water of the channel steps since the
// last routing: what enters brings the aquifer's (the cell's groundwater)
// or the point's concentration, queued as node gains; what leaves is drawn
// from the node during the routing at its concentration of the moment.
void gather_node_exchange(run_state& rs) {
    constituent_channel& cc = rs.con_chan;
    std::fill(cc.draw_gw.begin(), cc.draw_gw.end(), 0.0);
    std::fill(cc.draw_point.begin(), cc.draw_point.end(), 0.0);
    const int n = rs.num_constituents;
    for (int s = 1; s <= rs.num_stream_cells && ix(s) < rs.gst_Vriv.size(); ++s) {
        for (int k = 1; k <= rs.gst_ncellsingrid[ix(s)] && ix(k) < rs.gst_Vriv[ix(s)].size(); ++k) {
            const double V = rs.gst_Vriv[ix(s)][ix(k)];   // m3, + aquifer to channel
            rs.gst_Vriv[ix(s)][ix(k)] = 0.0;
            const int l = rs.gst_link[ix(s)][ix(k)], j = rs.gst_node[ix(s)][ix(k)];
            const int cell = rs.gst_gnum[ix(s)][ix(k)];
            if (V == 0.0 || l < 1 || l > rs.links || !con_transport_link(rs.ltype[ix(l)])) continue;
            if (j < 1 || j > rs.nx[ix(l)] || cell < 1 || cell > rs.GNUM) continue;
            const size_t f = static_cast<size_t>(cc.stride * l + j);
            if (V < 0.0) {
                cc.draw_gw[f] += -V;
                continue;
            }
            for (int i = 1; i <= n; ++i)
                if (rs.constituent_type[ix(i)] != 3) cc.gw_gain[ix(i)][f] += V * groundwater_conc(rs, i, cell);
        }
    }
    if (!rs.chan_points_on || rs.chan_point_vol.empty()) return;
    const size_t rows = rs.chan_point_vol.rows();
    for_transport_nodes(rs, [&](int l, int j, size_t f) {
        if (!rs.chan_point_vol.has(j, l)) return;
        double& V = rs.chan_point_vol(ix(j), ix(l));   // m3, + into the node
        if (V < 0.0) {
            cc.draw_point[f] += -V;
        } else if (V > 0.0) {
            const size_t at = rows * ix(l) + ix(j);
            for (int i = 1; i <= n && i <= rs.chan_point_values; ++i)
                if (rs.constituent_type[ix(i)] != 3) cc.point_gain[ix(i)][f] += V * rs.chan_point_in_conc[ix(i)][at];
        }
        V = 0.0;
    });
}

void route_channel_constituents(run_state& rs) {
    if (!rs.chan_con_trans || rs.con_chan.stride == 0) return;
    if (!process_due(rs, rs.con_chan_next)) return;
    constituent_channel& cc = rs.con_chan;
    constituent_lakes& cl = rs.con_lake;
    const bool lakes = cl.channel && cl.lakes > 0;
    const double J = process_elapsed_seconds(rs, rs.con_chan_last);   // s
    if (lakes) {
        refresh_channel_topology(rs);
        cc.lake_v0.assign(ix(cl.lakes) + 1, 0.0);
        for (int u = 1; u <= cl.lakes; ++u) cc.lake_v0[ix(u)] = cl.volume_last[ix(u)];
    }
    if (J > 0.0) gather_node_exchange(rs);
    for (int i = 1; i <= rs.num_constituents && J > 0.0; ++i) {
        const size_t ii = ix(i);
        if (rs.constituent_type[ii] == 3) continue;
        cc.step_out = cc.step_decay = cc.step_lateral = cc.step_clip = 0.0;
        cc.step_gw_in = cc.step_gw_out = cc.step_point_in = cc.step_point_out = 0.0;
        if (lakes) {
            follow_lake_captures(rs, i);
            // Lake decay over the interval, as in a node: k x mass x J, at most the mass.
            double decayed = 0.0;   // g
            for (int u = 1; u <= cl.lakes && rs.constituent_type[ii] == 1; ++u) {
                double& M = cl.mass[ii][ix(u)];
                if (!(cl.decay[ix(u)] > 0.0) || !(M > 0.0)) continue;
                const double d = std::min(cl.decay[ix(u)] * M * J, M);
                M -= d;
                decayed += d;
            }
            rs.con_tot.lake_decay[ii] += decayed / 1000.0;
            for (int u = 1; u <= cl.lakes; ++u) {
                // The concentration at the start of the interval.
                const double v0 = cc.lake_v0[ix(u)], M = cl.mass[ii][ix(u)];
                cl.conc[ii][ix(u)] = v0 > kConDry && M > 0.0 ? M / v0 : 0.0;
            }
        }
        std::fill(cc.src.begin(), cc.src.end(), 0.0);
        for_transport_nodes(rs, [&](int l, int j, size_t f) {
            cc.src[f] = balance_node_sources(rs, i, l, j, J);
        });
        route_channel_water_quality(rs, i, J);
        for_transport_nodes(rs, [&](int, int, size_t f) {
            if (std::isnan(cc.mass[ii][f]))
                std::printf("Total node mass, contam %d chaddr %d NAN \n", i, static_cast<int>(f));
        });
        rs.con_tot.chan_out[ii] += cc.step_out / 1000.0;
        rs.con_tot.chan_decay[ii] += cc.step_decay / 1000.0;
        rs.con_tot.chan_clip[ii] += cc.step_clip / 1000.0;
        rs.con_tot.chan_gw[ii] += (cc.step_gw_in - cc.step_gw_out) / 1000.0;
        rs.con_tot.chan_point[ii] += (cc.step_point_in - cc.step_point_out) / 1000.0;
    }
    rs.qp_vol.fill(0.0);
    if (J > 0.0) cc.nx_seen.assign(rs.nx.begin(), rs.nx.end());
    if (lakes && J > 0.0)
        for (int u = 1; u <= cl.lakes; ++u) cl.volume_last[ix(u)] = lake_store_water(rs, u);
    rs.con_chan_last = rs.time;
    rs.con_chan_next = rs.chan_next;
}
