// Channel wash load: the fine size classes travel with the water. Each step
// a predictor and a corrector pass compute the volume of every class that
// crosses each node's downstream face (concentration = store / water volume
// of the source node times the water volume through the face), their mean
// moves the stores, and the channel lakes take in, hand on and settle their
// suspended sediment.
//
// Every face volume is taken from the node (or lake) it leaves and given to
// the node (or lake) it enters with the same number, and no node gives more
// than it holds, so the wash load is conserved and no store goes negative.
// A node whose water volume is below 1e-16 m3 keeps its store (with
// concentration 0) and hands it on once it holds water again.
//
// The passes run link by link on the thread of the time loop: the network
// loops are short and the flux pass reads the links in order.
#include "quality/channel_washload.h"

#include <algorithm>
#include <cmath>

#include "channel/channel_records.h"
#include "run/run_state.h"

namespace {

constexpr double kZero = 1e-16;   // water and sediment volumes at or below count as none

inline size_t ix(int i) { return static_cast<size_t>(i); }

inline bool lake_like(int type) { return is_lake(type) || is_overtaken(type); }

struct wash_view {
    run_state& rs;
    chan_sed_record& cs;
    int nf;
    int lake_of(int link) const {
        const int lake = ix(link) < rs.lake2link.size() ? rs.lake2link[ix(link)] : 0;
        return lake >= 1 && lake <= cs.lakes ? lake : 0;
    }
    int last(int link) const { return std::max(rs.nx[ix(link)], 0); }
    double water(int k, int l) const { return rs.area(ix(k), ix(l)) * rs.dx[ix(l)]; }
    double face(int k, int l) const { return rs.qp_vol_sed(ix(k), ix(l)); }
    double* lake_row(std::vector<double>& a, int lake) { return a.data() + ix(lake) * cs.stride; }
    double lake_water(int lake) const {
        return ix(lake) < rs.lake_volume.size() ? rs.lake_volume[ix(lake)] : 0.0;
    }
};

// Concentration (volume per water volume) of class m at a node.
inline double conc(const wash_view& v, const double* store, int k, int l, int m) {
    const double w = v.water(k, l);
    return w > kZero ? store[m] / w : 0.0;
}

// Flux of a face with volume Qv leaving a source of concentration c that
// holds `held`: c Qv, at most `held` in the flow's direction.
inline double limited(double c, double Qv, double held) {
    const double f = c * Qv;
    if (f > held) return held;
    if (f < -held) return -held;
    return f;
}

// Lateral wash load of the step into the node stores of the transport links.
void take_in_lateral_wash_load(wash_view& v) {
    chan_sed_record& cs = v.cs;
    run_state& rs = v.rs;
    for (int l = 1; l <= rs.links; ++l) {
        if (!routed_link(rs.ltype[ix(l)])) continue;
        for (int k = 1; k <= rs.nx[ix(l)]; ++k) {
            double* st = cs.row(cs.wash_vol, k, l);
            const double* lat = cs.row(cs.qlat_sed, k, l);
            for (int m = 1; m <= v.nf; ++m) {
                const double add = lat[cs.fine_class[ix(m)]];
                st[m] += add;
                st[0] += add;
            }
        }
    }
}

// Face volumes (per fine class) of every node from the stores `S` into `F`.
void compute_wash_fluxes(wash_view& v, std::vector<double>& S, std::vector<double>& F) {
    run_state& rs = v.rs;
    chan_sed_record& cs = v.cs;
    const int nf = v.nf;
    std::fill(F.begin(), F.end(), 0.0);
    for (int L = rs.links; L >= 1; --L) {
        const int type = rs.ltype[ix(L)];
        const int ndep = rs.ndep[ix(L)];
        if (lake_like(type)) {
            const int lake = v.lake_of(L);
            double* ss = lake ? v.lake_row(cs.ss_vol, lake) : nullptr;
            const double W = lake ? v.lake_water(lake) : 0.0;
            double* given = cs.lake_given.data();   // lake wash load already drawn upstream
            std::fill(given, given + nf + 1, 0.0);
            for (int u = 1; u <= ndep; ++u) {
                const int U = rs.uslinks[ix(L)][ix(u)];
                if (U < 1 || U > rs.links || is_structure(rs.ltype[ix(U)])) continue;
                const int e = v.last(U);
                double* f = cs.row(F, e, U);
                if (lake_like(rs.ltype[ix(U)]) || e < 1) continue;
                const double Qv = v.face(e, U);
                double* st = cs.row(S, e, U);
                for (int m = 1; m <= nf; ++m) {
                    if (Qv > kZero) {
                        f[m] = limited(conc(v, st, e, U, m), Qv, st[m]);
                    } else if (Qv < -kZero && ss && W > kZero) {
                        const double left = std::max(ss[m] - given[m], 0.0);
                        f[m] = limited(ss[m] / W, Qv, left);
                        given[m] += -f[m];
                    }
                }
            }
            if (L == rs.links && lake && v.last(L) >= 1) {
                // A lake at the outlet: its outflow leaves the network.
                const double Qv = v.face(v.last(L), L);
                double* f = cs.row(F, v.last(L), L);
                for (int m = 1; m <= nf; ++m)
                    f[m] = (Qv > kZero && W > kZero) ? limited(ss[m] / W, Qv, ss[m]) : 0.0;
            }
            continue;
        }
        if (is_structure(type)) {
            const int n = v.last(L);
            if (n < 1 || ndep < 1) continue;
            const int U1 = rs.uslinks[ix(L)][1];
            const int D = rs.dslink[ix(L)];
            const double Qv1 = v.face(1, L);
            int src_link = 0, src_node = 0;
            if (Qv1 >= kZero && U1 >= 1 && U1 <= rs.links) {
                src_link = U1;
                src_node = v.last(U1);
            } else if (Qv1 <= -kZero && D >= 1 && D <= rs.links) {
                src_link = D;
                src_node = 1;
            }
            double* fu = (U1 >= 1 && U1 <= rs.links) ? cs.row(F, v.last(U1), U1) : nullptr;
            if (src_link == 0) {
                if (fu) for (int m = 1; m <= nf; ++m) fu[m] = 0.0;
                continue;
            }
            // One flux through every node of the structure (they hold no water),
            // from the face volume at its node 1.
            double* through = cs.through.data();
            std::fill(through, through + nf + 1, 0.0);
            if (lake_like(rs.ltype[ix(src_link)])) {
                const int lake = v.lake_of(src_link);
                const double W = lake ? v.lake_water(lake) : 0.0;
                if (lake && W > kZero) {
                    const double* ss = v.lake_row(cs.ss_vol, lake);
                    for (int m = 1; m <= nf; ++m) through[m] = limited(ss[m] / W, Qv1, ss[m]);
                }
            } else if (src_node >= 1) {
                const double* st = cs.row(S, src_node, src_link);
                for (int m = 1; m <= nf; ++m)
                    through[m] = limited(conc(v, st, src_node, src_link, m), Qv1, st[m]);
            }
            for (int k = 1; k <= n; ++k) {
                double* f = cs.row(F, k, L);
                for (int m = 1; m <= nf; ++m) f[m] = through[m];
            }
            if (fu) for (int m = 1; m <= nf; ++m) fu[m] = through[m];
            continue;
        }
        if (!routed_link(type)) continue;
        const int n = v.last(L);
        if (n < 1) continue;
        // Interior faces, from the last down.
        for (int E = n; E >= 2; --E) {
            const double Qv = v.face(E - 1, L);
            double* f = cs.row(F, E - 1, L);
            const double* up = cs.row(S, E - 1, L);
            const double* dn = cs.row(S, E, L);
            for (int m = 1; m <= nf; ++m)
                f[m] = Qv >= 0.0 ? limited(conc(v, up, E - 1, L, m), Qv, up[m])
                                 : limited(conc(v, dn, E, L, m), Qv, dn[m]);
        }
        // Node 1 and the last nodes of the upstream links (the first served first
        // when they draw from node 1 against the flow).
        if (ndep > 0) {
            const double* st1 = cs.row(S, 1, L);
            double* draw = cs.node_draw.data();
            const double* own = cs.row(F, 1, L);
            for (int m = 1; m <= nf; ++m) draw[m] = n >= 2 ? std::max(own[m], 0.0) : 0.0;
            for (int u = 1; u <= ndep; ++u) {
                const int U = rs.uslinks[ix(L)][ix(u)];
                if (U < 1 || U > rs.links || is_structure(rs.ltype[ix(U)])) continue;
                const int e = v.last(U);
                const double Qv = v.face(e, U);
                double* f = cs.row(F, e, U);
                const bool lake_up = lake_like(rs.ltype[ix(U)]);
                const int lake = lake_up ? v.lake_of(U) : 0;
                for (int m = 1; m <= nf; ++m) {
                    if (Qv >= 0.0) {
                        if (lake_up) {
                            const double W = lake ? v.lake_water(lake) : 0.0;
                            const double* ss = lake ? v.lake_row(cs.ss_vol, lake) : nullptr;
                            f[m] = (ss && W > kZero) ? limited(ss[m] / W, Qv, ss[m]) : 0.0;
                        } else if (e >= 1) {
                            const double* st = cs.row(S, e, U);
                            f[m] = limited(conc(v, st, e, U, m), Qv, st[m]);
                        }
                    } else {
                        const double want = -conc(v, st1, 1, L, m) * Qv;   // > 0
                        const double left = std::max(st1[m] - draw[m], 0.0);
                        const double got = std::min(want, left);
                        f[m] = -got;
                        draw[m] += got;
                    }
                }
            }
        }
        if (L == rs.links) {
            // Nothing comes back in at the outlet.
            const double Qv = v.face(n, L);
            double* f = cs.row(F, n, L);
            const double* st = cs.row(S, n, L);
            for (int m = 1; m <= nf; ++m)
                f[m] = Qv > 0.0 ? limited(conc(v, st, n, L, m), Qv, st[m]) : 0.0;
        }
    }
}

// Scales the face volumes leaving each node (and lake) so that together they
// take at most what it holds in `S` (lakes: their suspended store) plus what
// enters it in the same step; a few passes settle the nodes whose inflow a
// pass reduced. The fluxes of a structure follow the face that feeds it.
void limit_to_stores(wash_view& v, std::vector<double>& F, const std::vector<double>& S) {
    run_state& rs = v.rs;
    chan_sed_record& cs = v.cs;
    const int nf = v.nf;
    constexpr int kPasses = 8;
    std::vector<double*> faces;   // faces of the node being limited
    std::vector<int> sign;        // +1: positive flux leaves the node; -1: negative flux leaves it
    auto add = [&](double* f, int leaving_sign) {
        faces.push_back(f);
        sign.push_back(leaving_sign);
    };
    // Out and in of the node over its faces for class m; scales the out part
    // down to held + in. True when it changed something.
    auto settle = [&](double held, int m) {
        double out = 0.0, in = 0.0;
        for (size_t i = 0; i < faces.size(); ++i) {
            const double x = sign[i] * faces[i][m];
            if (x > 0.0) out += x; else in -= x;
        }
        const double room = held + in;
        if (!(out > room)) return false;
        const double r = room > 0.0 ? room / out : 0.0;
        for (size_t i = 0; i < faces.size(); ++i)
            if (sign[i] * faces[i][m] > 0.0) faces[i][m] *= r;
        return true;
    };
    auto sync_structures = [&]() {
        // Structures pass on what their feeding face gives: the last node of
        // their first upstream link (flow downstream) or their own last node (back).
        for (int L = 1; L <= rs.links; ++L) {
            if (!is_structure(rs.ltype[ix(L)]) || rs.ndep[ix(L)] < 1 || v.last(L) < 1) continue;
            const int U1 = rs.uslinks[ix(L)][1];
            if (U1 < 1 || U1 > rs.links) continue;
            double* fu = cs.row(F, v.last(U1), U1);
            for (int m = 1; m <= nf; ++m) {
                const double through = fu[m] > 0.0 ? fu[m] : cs.row(F, v.last(L), L)[m];
                fu[m] = through;
                for (int k = 1; k <= v.last(L); ++k) cs.row(F, k, L)[m] = through;
            }
        }
    };
    for (int pass = 0; pass < kPasses; ++pass) {
        bool changed = false;
        for (int L = 1; L <= rs.links; ++L) {
            const int type = rs.ltype[ix(L)];
            const int ndep = rs.ndep[ix(L)];
            if (routed_link(type)) {
                for (int k = 1; k <= v.last(L); ++k) {
                    const double* held = cs.row(S, k, L);
                    faces.clear();
                    sign.clear();
                    add(cs.row(F, k, L), 1);
                    if (k > 1) {
                        add(cs.row(F, k - 1, L), -1);
                    } else {
                        for (int u = 1; u <= ndep; ++u) {
                            const int U = rs.uslinks[ix(L)][ix(u)];
                            if (U >= 1 && U <= rs.links) add(cs.row(F, v.last(U), U), -1);
                        }
                    }
                    for (int m = 1; m <= nf; ++m) changed = settle(held[m], m) || changed;
                }
            } else if (lake_like(type)) {
                const int lake = v.lake_of(L);
                if (lake == 0) continue;
                const double* held = v.lake_row(cs.ss_vol, lake);
                faces.clear();
                sign.clear();
                if (v.last(L) >= 1) add(cs.row(F, v.last(L), L), 1);
                for (int u = 1; u <= ndep; ++u) {
                    const int U = rs.uslinks[ix(L)][ix(u)];
                    if (U < 1 || U > rs.links || lake_like(rs.ltype[ix(U)])) continue;
                    add(cs.row(F, v.last(U), U), -1);
                }
                for (int m = 1; m <= nf; ++m) changed = settle(held[m], m) || changed;
            }
        }
        sync_structures();
        if (!changed) break;
    }
}

// Moves the stores `S` by the face volumes `F` (transport links only).
void apply_wash_fluxes(wash_view& v, const std::vector<double>& F, std::vector<double>& S) {
    run_state& rs = v.rs;
    chan_sed_record& cs = v.cs;
    const int nf = v.nf;
    for (int L = 1; L <= rs.links; ++L) {
        if (!routed_link(rs.ltype[ix(L)])) continue;
        const int n = v.last(L);
        const int ndep = rs.ndep[ix(L)];
        for (int j = 1; j <= n; ++j) {
            double* st = cs.row(S, j, L);
            const double* fj = cs.row(F, j, L);
            double sum = 0.0;
            for (int m = 1; m <= nf; ++m) {
                double net = -fj[m];
                if (j > 1) {
                    net += cs.row(F, j - 1, L)[m];
                } else {
                    for (int u = 1; u <= ndep; ++u) {
                        const int U = rs.uslinks[ix(L)][ix(u)];
                        if (U < 1 || U > rs.links) continue;
                        net += cs.row(F, v.last(U), U)[m];
                    }
                }
                st[m] += net;
                if (st[m] < 0.0) st[m] = 0.0;   // rounding of a store given whole
                sum += st[m];
            }
            st[0] = sum;
        }
    }
}

// Volume concentrations of the nodes from their stores (0 where dry).
void node_concentrations(wash_view& v, const std::vector<double>& S, std::vector<double>& C) {
    run_state& rs = v.rs;
    chan_sed_record& cs = v.cs;
    for (int L = 1; L <= rs.links; ++L) {
        if (!routed_link(rs.ltype[ix(L)])) continue;
        for (int k = 1; k <= rs.nx[ix(L)]; ++k) {
            const double* st = cs.row(S, k, L);
            double* c = cs.row(C, k, L);
            const double w = v.water(k, L);
            for (int m = 0; m <= v.nf; ++m) c[m] = w > kZero ? st[m] / w : 0.0;
        }
    }
}

// Settling in each lake over the step onto the lake's cells.
void settle_lake_sediment(wash_view& v, double dt) {
    run_state& rs = v.rs;
    chan_sed_record& cs = v.cs;
    ov_sed_record& s = rs.ov_sed;
    std::fill(cs.lake_cells.begin(), cs.lake_cells.end(), 0);
    for (int c = 1; c <= rs.GNUM && ix(c) < rs.lake_mask.size(); ++c) {
        const int L = rs.lake_mask[ix(c)];
        if (L >= 1 && L <= cs.lakes) cs.lake_cells[ix(L)] += 1;
    }
    for (int L = 1; L <= cs.lakes; ++L) {
        double* settled = v.lake_row(cs.ss_settled, L);
        const double* ss = v.lake_row(cs.ss_vol, L);
        const double W = v.lake_water(L);
        const double area = ix(L) < rs.lake_area.size() ? rs.lake_area[ix(L)] : 0.0;
        settled[0] = 0.0;
        for (int m = 1; m <= v.nf; ++m) {
            settled[m] = 0.0;
            // A lake without cells in the lake map has no bed to settle on.
            if (cs.lake_cells[ix(L)] < 1 || !(W > kZero)) continue;
            const int c = cs.fine_class[ix(m)];
            const double volm = dt * s.fall_velocity[ix(c)] * area;   // water cleared, m3
            settled[m] = std::min(volm * ss[m] / W, ss[m]);
            settled[0] += settled[m];
        }
    }
    const size_t stride = ix(s.classes) + 1;
    for (int c = 1; c <= rs.GNUM && ix(c) < rs.lake_mask.size(); ++c) {
        const int L = rs.lake_mask[ix(c)];
        if (L < 1 || L > cs.lakes || cs.lake_cells[ix(L)] < 1) continue;
        const double* settled = v.lake_row(cs.ss_settled, L);
        for (int m = 1; m <= v.nf; ++m) {
            const size_t at = ix(c) * stride + ix(cs.fine_class[ix(m)]);
            if (at < s.deposited.size()) s.deposited[at] += settled[m] / cs.lake_cells[ix(L)];
        }
    }
}

// The lakes' suspended sediment: channel inflow and outflow of the step,
// minus what settled; then their concentrations.
void update_lake_suspended_sediment(wash_view& v) {
    run_state& rs = v.rs;
    chan_sed_record& cs = v.cs;
    const ov_sed_record& s = rs.ov_sed;
    const int nf = v.nf;
    for (int L = 1; L <= rs.links; ++L) {
        if (!lake_like(rs.ltype[ix(L)])) continue;
        const int lake = v.lake_of(L);
        if (lake == 0) continue;
        double* ss = v.lake_row(cs.ss_vol, lake);
        double* in_e = v.lake_row(cs.ss_chan_to_lake_event, lake);
        double* in_r = v.lake_row(cs.ss_chan_to_lake_run, lake);
        double* out_e = v.lake_row(cs.ss_lake_to_chan_event, lake);
        double* out_r = v.lake_row(cs.ss_lake_to_chan_run, lake);
        for (int u = 1; u <= rs.ndep[ix(L)]; ++u) {
            const int U = rs.uslinks[ix(L)][ix(u)];
            if (U < 1 || U > rs.links || lake_like(rs.ltype[ix(U)])) continue;
            const double* f = cs.row(cs.advect_flux, v.last(U), U);
            for (int m = 1; m <= nf; ++m) {
                ss[m] += f[m];
                ss[0] += f[m];
                in_e[m] += f[m];
                in_e[0] += f[m];
                in_r[m] += f[m];
                in_r[0] += f[m];
            }
        }
        const int D = rs.dslink[ix(L)];
        const bool out = D == 0 ? L == rs.links : (D >= 1 && D <= rs.links && !lake_like(rs.ltype[ix(D)]));
        if (out && v.last(L) >= 1) {
            // One flux, at the lake link's own last node, hands the lake's outflow on.
            const double* f = cs.row(cs.advect_flux, v.last(L), L);
            for (int m = 1; m <= nf; ++m) {
                ss[m] -= f[m];
                ss[0] -= f[m];
                out_e[m] += f[m];
                out_e[0] += f[m];
                out_r[m] += f[m];
                out_r[0] += f[m];
            }
        }
    }
    for (int lake = 1; lake <= cs.lakes; ++lake) {
        double* ss = v.lake_row(cs.ss_vol, lake);
        double* cv = v.lake_row(cs.ss_conc_vol, lake);
        double* cm = v.lake_row(cs.ss_conc, lake);
        const double* settled = v.lake_row(cs.ss_settled, lake);
        double* se = v.lake_row(cs.ss_settled_event, lake);
        double* sr = v.lake_row(cs.ss_settled_run, lake);
        const double W = v.lake_water(lake);
        cm[0] = 0.0;
        double total = 0.0;
        for (int m = 1; m <= nf; ++m) {
            ss[m] -= settled[m];
            if (ss[m] < 0.0) ss[m] = 0.0;   // rounding of a store given whole
            se[m] += settled[m];
            sr[m] += settled[m];
            total += ss[m];
            const int c = cs.fine_class[ix(m)];
            cv[m] = W > kZero ? ss[m] / W : 0.0;
            cm[m] = W > kZero ? ss[m] * s.particle_density[ix(c)] / W : 0.0;   // g/m3
            cm[0] += cm[m];
        }
        se[0] += settled[0];
        sr[0] += settled[0];
        ss[0] = total;
        cv[0] = W > kZero ? total / W : 0.0;
    }
}

}  // namespace

void channel_advection_step(run_state& rs, double dt) {
    chan_sed_record& cs = rs.chan_sed;
    if (!cs.on || cs.links != rs.links || cs.maxnodes != rs.maxnodes || !(dt > 0.0)) return;
    wash_view v{rs, cs, cs.nf};
    const int nf = v.nf;
    take_in_lateral_wash_load(v);
    cs.temp_mass = cs.wash_vol;
    compute_wash_fluxes(v, cs.wash_vol, cs.temp_flux);
    limit_to_stores(v, cs.temp_flux, cs.wash_vol);
    apply_wash_fluxes(v, cs.temp_flux, cs.temp_mass);
    compute_wash_fluxes(v, cs.temp_mass, cs.advect_flux);
    limit_to_stores(v, cs.advect_flux, cs.temp_mass);

    std::fill(cs.outlet_wash_rate.begin(), cs.outlet_wash_rate.end(), 0.0);
    for (size_t f = 0; f < cs.flat_nodes; ++f) {
        double* a = cs.advect_flux.data() + f * cs.stride;
        const double* t = cs.temp_flux.data() + f * cs.stride;
        for (int m = 1; m <= nf; ++m) a[m] = 0.5 * (t[m] + a[m]);
    }
    // The mean of two passes, each limited by its own stores, is limited again
    // by the stores it is applied to.
    limit_to_stores(v, cs.advect_flux, cs.wash_vol);
    for (size_t f = 0; f < cs.flat_nodes; ++f) {
        double* a = cs.advect_flux.data() + f * cs.stride;
        double* q = cs.qsmax.data() + f * cs.stride;
        a[0] = 0.0;
        for (int m = 1; m <= nf; ++m) {
            q[m] = a[m] / dt;
            a[0] += a[m];
        }
        q[0] = a[0];
    }
    const int L = rs.links;
    const double* out = cs.row(cs.advect_flux, std::max(rs.nx[ix(L)], 0), L);
    for (int m = 1; m <= nf; ++m) {
        cs.outlet_wash_rate[ix(m)] = out[m] / dt;
        cs.outlet_wash_rate[0] += out[m] / dt;
    }
    apply_wash_fluxes(v, cs.advect_flux, cs.wash_vol);
    node_concentrations(v, cs.wash_vol, cs.conc_vol);

    // Mass concentration by size class.
    const ov_sed_record& s = rs.ov_sed;
    for (int l = 1; l <= rs.links; ++l) {
        if (!routed_link(rs.ltype[ix(l)])) continue;
        for (int k = 1; k <= rs.nx[ix(l)]; ++k) {
            const double w = v.water(k, l);
            const double* st = cs.row(cs.wash_vol, k, l);
            double* c = cs.row(cs.conc_mass, k, l);
            c[0] = 0.0;
            for (int m = 1; m <= nf; ++m) {
                const int cls = cs.fine_class[ix(m)];
                c[cls] = w > kZero ? st[m] * s.particle_density[ix(cls)] / w : 0.0;
                c[0] += c[cls];
            }
        }
    }
    if (cs.lakes > 0) {
        settle_lake_sediment(v, dt);
        update_lake_suspended_sediment(v);
    }
}
