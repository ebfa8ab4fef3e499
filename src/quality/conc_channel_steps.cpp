// Channel constituent steps of the time loop: node stores at set-up, decay
// and outlet mass after the channel step, then the water-quality routing of
// every constituent.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "quality/conc_channel.h"
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

// Sizes the node stores and work rows once (the output datasets bind to them).
void size_channel_stores(run_state& rs) {
    constituent_channel& cc = rs.con_chan;
    if (cc.stride > 0 || !channel_network_ready(rs)) return;
    const int n = rs.num_constituents;
    cc.stride = rs.maxnodes + 1;
    cc.slots = cc.stride * (rs.links + 1);
    const size_t slots = ix(cc.slots);
    for (con_rows* r : {&cc.conc, &cc.mass, &cc.disp, &cc.qlat_mass, &cc.decay_mass})
        r->assign(ix(n) + 1, std::vector<double>(slots, 0.0));
    cc.outlet_mass.assign(ix(n) + 1, 0.0);
    for (std::vector<double>* w : {&cc.c, &cc.m, &cc.c_save, &cc.c_pred, &cc.m_pred,
                                   &cc.a1, &cc.g1, &cc.a2, &cc.g2, &cc.src, &cc.area_adt})
        w->assign(slots, 0.0);
    cc.downstream.assign(ix(rs.links) + 1, 0);
    cc.via_structure.assign(ix(rs.links) + 1, 0);
    cc.feeders.assign(ix(rs.links) + 1, std::vector<int>());
    for (int l = 1; l <= rs.links; ++l) {
        if (!con_transport_link(rs.ltype[ix(l)])) continue;
        const int d = downstream_transport_link(rs, l);
        cc.downstream[ix(l)] = d;
        const int first = rs.dslink[ix(l)];
        cc.via_structure[ix(l)] = d != 0 && first != d ? 1 : 0;
        if (d != 0) cc.feeders[ix(d)].push_back(l);
    }
    // The water volumes through the nodes are gathered by the channel step.
    rs.qp_vol = rs.qp;
    rs.qp_vol.fill(0.0);
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
    const double J = (rs.time - rs.con_chan_last) * kConSecondsPerDay;   // s
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
    // Outlet: the water that left the outlet node in the channel step carries its concentration.
    const double vol = rs.chan_step_outlet_volume;   // m3
    if (vol > 0.0) {
        const size_t f = static_cast<size_t>(cc.stride * rs.links + rs.nx[ix(rs.links)]);
        for (int i = 1; i <= rs.num_constituents; ++i) {
            // The node's mass over its end-of-step water; a dry node passes nothing.
            cc.outlet_mass[ix(i)] += cc.conc[ix(i)][f] * vol;
        }
    }
    cc.outlet_interval = J;
}

void route_channel_constituents(run_state& rs) {
    if (!rs.chan_con_trans || rs.con_chan.stride == 0) return;
    if (!process_due(rs, rs.con_chan_next)) return;
    constituent_channel& cc = rs.con_chan;
    const double J = (rs.time - rs.con_chan_last) * kConSecondsPerDay;   // s
    for (int i = 1; i <= rs.num_constituents && J > 0.0; ++i) {
        const size_t ii = ix(i);
        if (rs.constituent_type[ii] == 3) continue;
        cc.step_out = cc.step_decay = cc.step_lateral = cc.step_clip = 0.0;
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
    }
    rs.qp_vol.fill(0.0);
    rs.con_chan_last = rs.time;
    rs.con_chan_next = rs.chan_next;
}
