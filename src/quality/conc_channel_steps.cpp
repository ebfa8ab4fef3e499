// Channel constituent steps of the time loop: node stores at set-up, decay
// and outlet mass after the channel step, then the water-quality routing of
// every constituent; and the constituent mass balance of the run.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/file_write.h"
#include "quality/conc_channel.h"
#include "quality/constituent_setup.h"
#include "quality/constituent_steps.h"
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
    for (std::vector<double>* w : {&cc.c, &cc.m, &cc.c_save, &cc.m_save, &cc.c_pred, &cc.m_pred,
                                   &cc.a1, &cc.g1, &cc.a2, &cc.g2, &cc.src, &cc.area_adt,
                                   &cc.flux_sum})
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

double scaled_pending_amount(double dt, double interval, double amount) {
    return interval - dt > kConShareTolerance ? amount * dt / interval : amount;
}

double kinetics_factor(const run_state& rs) {
    return rs.kinetics_timestep_factor > 0.0 ? rs.kinetics_timestep_factor : 1.0;
}

void init_channel_constituents(run_state& rs) {
    if (!rs.chan_con_trans || !rs.chan_explic) return;
    size_channel_stores(rs);
    constituent_channel& cc = rs.con_chan;
    if (cc.stride == 0) return;
    for (int i = 1; i <= rs.num_constituents; ++i) {
        const size_t ii = ix(i);
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
    for (int i = 1; i <= rs.num_constituents; ++i) {
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

constituent_balance compute_constituent_balance(const run_state& rs, int i) {
    constituent_balance b;
    const size_t ii = ix(i);
    const constituent_totals& t = rs.con_tot;
    const bool channel = rs.chan_con_trans && rs.con_chan.stride > 0;
    b.initial = t.ov_init[ii] + t.land_init[ii] + t.chan_init[ii];
    b.rain = t.precip[ii];
    b.made = t.ov_neg[ii] + t.chan_clip[ii];
    // With soil constituents what infiltrates stays in the soil layer.
    b.infiltrated = rs.soil_con_trans ? 0.0 : t.infil[ii];
    b.decayed = t.ov_decay[ii] + t.chan_decay[ii] + t.soil_decay[ii];
    b.outlet = t.ov_out[ii] + t.chan_out[ii] + (channel ? 0.0 : t.qlat[ii]);
    double water = 0.0, land = 0.0, pending = 0.0;   // g
    for (int j = 1; j <= rs.GNUM; ++j) {
        water += rs.con.mass[ii][ix(j)];
        land += rs.con.land[ii][ix(j)];
        // Exchange left the land but has not reached the water yet; with soil
        // constituents, infiltrated mass on its way into the layer.
        pending += rs.con.pend_exchange[ii][ix(j)];
        if (rs.soil_con_trans) pending += rs.con.pend_soil_in[ii][ix(j)];
    }
    double chan = 0.0;
    if (channel) {
        const constituent_channel& cc = rs.con_chan;
        for_transport_nodes(rs, [&](int, int, size_t f) {
            chan += cc.mass[ii][f];
            pending += cc.qlat_mass[ii][f];
        });
    }
    b.water = water / 1000.0;
    b.land = land / 1000.0;
    b.channel = chan / 1000.0;
    b.pending = pending / 1000.0;
    b.residual = b.initial + b.rain + b.made - b.outlet - b.infiltrated - b.decayed - b.water -
                 b.land - b.channel - b.pending;
    return b;
}

void write_constituent_balances(run_state& rs) {
    if (!rs.overland_constituents) return;
    for (int i = 1; i <= rs.num_constituents; ++i) {
        const constituent_balance b = compute_constituent_balance(rs, i);
        const char* name = ix(i) < rs.contamdescriptions.size() ? rs.contamdescriptions[ix(i)].c_str() : "";
        file_printf(rs.summary_file, "\nConstituent %d (%s) mass balance, kg:\n", i, name);
        file_printf(rs.summary_file, "  initial               %.12e\n", b.initial);
        file_printf(rs.summary_file, "  rain                  %.12e\n", b.rain);
        file_printf(rs.summary_file, "  raised from negative  %.12e\n", b.made);
        file_printf(rs.summary_file, "  outlet                %.12e\n", b.outlet);
        file_printf(rs.summary_file, "  infiltrated           %.12e\n", b.infiltrated);
        file_printf(rs.summary_file, "  decayed               %.12e\n", b.decayed);
        file_printf(rs.summary_file, "  overland water        %.12e\n", b.water);
        file_printf(rs.summary_file, "  land                  %.12e\n", b.land);
        file_printf(rs.summary_file, "  channel               %.12e\n", b.channel);
        file_printf(rs.summary_file, "  in transit            %.12e\n", b.pending);
        file_printf(rs.summary_file, "  residual              %.12e\n", b.residual);
    }
}
