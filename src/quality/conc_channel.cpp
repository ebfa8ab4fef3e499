// Channel water-quality routing: node source rates from the pending amounts,
// then advection and dispersion along the links with a predictor and an
// iterated corrector per sub-step. Masses are grams, concentrations g/m3,
// the interval x and sub-steps seconds; node arrays use the flat index
// (maxnodes + 1) x link + node.
#include "quality/conc_channel.h"

#include <algorithm>
#include <cmath>

#include "quality/conc_lakes.h"
#include "quality/constituent_setup.h"
#include "run/run_state.h"

namespace {

inline size_t ix(int i) { return static_cast<size_t>(i); }

constexpr double kCourant = 0.5;          // largest share of a node's water leaving in a sub-step
constexpr double kDiffusion = 0.5;        // largest D dt / DX2
constexpr double kShortestSubstep = 0.1;  // s
constexpr double kVolumeFloor = 1e-6;     // node volumes at or below do not limit the sub-step, m3
constexpr double kConverged = 1e-6;       // largest change of a concentration between passes, relative to the largest concentration
constexpr int kMostPasses = 100;          // corrector passes of one sub-step
constexpr int kConStructureBit = 0x40;

struct chan_geometry {
    const run_state& rs;
    int stride;
    size_t at(int l, int j) const { return static_cast<size_t>(stride * l + j); }
};

// Fluxes from concentrations c: a (g per sub-step) and g (g/s) across the
// downstream face of every transport node (0 at the outlet); into a lake the
// upwind concentration is the lake's when the water runs back out of it.
// sa: the advective flux (g per sub-step) of each lake outflow into the
// node 1 it feeds, upwind the lake's concentration or the node's.
void compute_wq_fluxes(const run_state& rs, const double* c, double frac, double* a, double* g,
                       double* w, double* sa) {
    const constituent_channel& cc = rs.con_chan;
    const double* lc = cc.lake_conc_row;
    for (size_t k = 0; k < cc.src_lake.size(); ++k) {
        const double Q = rs.qp_vol(ix(cc.src_vol_node[k]), ix(cc.src_vol_link[k])) * frac;
        const size_t f1 = static_cast<size_t>(cc.stride * cc.src_link[k] + 1);
        // A lake gives at most what it holds at the start of the sub-step.
        sa[k] = Q >= 0.0 ? std::min(Q * lc[cc.src_lake[k]], std::max(cc.lake_mass_row[cc.src_lake[k]], 0.0))
                         : Q * c[f1];
    }
    const int stride = cc.stride;
    for (int l = 1; l <= rs.links; ++l) {
        if (!con_transport_link(rs.ltype[ix(l)])) continue;
        const int n = rs.nx[ix(l)];
        const double dx = rs.dx[ix(l)];
        const double* ao = rs.area_old.link_data(ix(l));
        const double* qv = rs.qp_vol.link_data(ix(l));
        const double* E = cc.disp_row + stride * l;
        // Water drawn from the nodes (stream loss, withdrawals) takes their concentration.
        for (int j = 1; j <= n; ++j) {
            const size_t f = static_cast<size_t>(stride * l + j);
            w[f] = (cc.draw_gw[f] + cc.draw_point[f]) * frac * c[f];
        }
        for (int j = 1; j < n; ++j) {
            const size_t f = static_cast<size_t>(stride * l + j);
            const double Q = qv[j] * frac;
            a[f] = Q * (Q >= 0.0 ? c[f] : c[f + 1]);
            g[f] = ao[j] > 0.0 && ao[j + 1] > 0.0
                       ? std::min(ao[j] * E[j], ao[j + 1] * E[j + 1]) * (c[f] - c[f + 1]) / dx
                       : 0.0;
        }
        const size_t f = static_cast<size_t>(stride * l + n);
        const int d = cc.downstream[ix(l)];
        if (d == 0) {
            const int u = cc.lake_below.empty() ? 0 : cc.lake_below[ix(l)];
            const double Q = qv[n] * frac;
            if (u > 0) {
                a[f] = Q * (Q >= 0.0 ? c[f] : lc[u]);
            } else {
                // The outlet passes the water that leaves at the node's
                // concentration of the moment; nothing comes back in.
                a[f] = l == rs.links && Q > 0.0 ? Q * c[f] : 0.0;
            }
            g[f] = 0.0;
            continue;
        }
        const size_t f1 = static_cast<size_t>(stride * d + 1);
        const double Q = qv[n] * frac;
        a[f] = Q * (Q >= 0.0 ? c[f] : c[f1]);
        const double a1 = rs.area_old(1, ix(d));
        g[f] = !cc.via_structure[ix(l)] && ao[n] > 0.0 && a1 > 0.0
                   ? std::min(ao[n] * E[n], a1 * cc.disp_row[f1]) * (c[f] - c[f1]) / rs.dx[ix(d)]
                   : 0.0;
    }
}

// New masses m and concentrations c from the start masses m0 with fluxes a, g
// and the lake outflows sa over a sub-step of h s; volumes from the
// interpolated areas.
void update_wq_nodes(const run_state& rs, const double* m0, const double* a, const double* g,
                     const double* w, const double* sa, double h, double* m, double* c) {
    const constituent_channel& cc = rs.con_chan;
    const int stride = cc.stride;
    for (int l = 1; l <= rs.links; ++l) {
        if (!con_transport_link(rs.ltype[ix(l)])) continue;
        const int n = rs.nx[ix(l)];
        const double dx = rs.dx[ix(l)];
        for (int j = 1; j <= n; ++j) {
            const size_t f = static_cast<size_t>(stride * l + j);
            double change = (cc.src[f] - g[f]) * h - a[f] - w[f];
            if (j > 1) {
                change += g[f - 1] * h + a[f - 1];
            } else {
                for (int u : cc.feeders[ix(l)]) {
                    const size_t fu = static_cast<size_t>(stride * u + rs.nx[ix(u)]);
                    change += g[fu] * h + a[fu];
                }
                for (size_t k = 0; k < cc.src_link.size(); ++k)
                    if (cc.src_link[k] == l) change += sa[k];
            }
            m[f] = m0[f] + change;
            const double v = cc.area_adt[f] * dx;
            c[f] = v >= kConDry ? m[f] / v : 0.0;
        }
    }
}

// Longest sub-step (s) over an interval of x s.
double wq_substep_limit(const run_state& rs, double x) {
    const constituent_channel& cc = rs.con_chan;
    const int stride = cc.stride;
    double lim = 1e300;
    for (int l = 1; l <= rs.links; ++l) {
        if (!con_transport_link(rs.ltype[ix(l)])) continue;
        const int n = rs.nx[ix(l)];
        const double dx = rs.dx[ix(l)];
        const double* qv = rs.qp_vol.link_data(ix(l));
        for (int j = 1; j <= n; ++j) {
            const double v = dx * std::min(rs.area_old(ix(j), ix(l)), rs.area(ix(j), ix(l)));
            const double E = cc.disp_row[static_cast<size_t>(stride * l + j)];
            if (E > 0.0 && dx > 0.0) lim = std::min(lim, kDiffusion * dx * dx / E);
            if (!(v > kVolumeFloor)) continue;
            const size_t fj = static_cast<size_t>(stride * l + j);
            double out = std::max(qv[j], 0.0) + cc.draw_gw[fj] + cc.draw_point[fj];   // m3 over the interval
            if (j > 1) {
                out += std::max(-qv[j - 1], 0.0);
            } else {
                for (int u : cc.feeders[ix(l)])
                    out += std::max(-rs.qp_vol(ix(rs.nx[ix(u)]), ix(u)), 0.0);
                for (size_t k = 0; k < cc.src_link.size(); ++k)
                    if (cc.src_link[k] == l)
                        out += std::max(-rs.qp_vol(ix(cc.src_vol_node[k]), ix(cc.src_vol_link[k])), 0.0);
            }
            if (out > 0.0) lim = std::min(lim, kCourant * v * x / out);
        }
    }
    return lim;
}

}  // namespace

bool con_transport_link(int ltype) {
    if (ltype & (0x20 | kConStructureBit)) return false;
    if ((ltype & (0x04 | 0x08 | 0x10)) && (ltype & 0x80)) return false;
    return true;
}

int downstream_transport_link(const run_state& rs, int l) {
    int d = rs.dslink[ix(l)];
    for (int guard = 0; d >= 1 && d <= rs.links && (rs.ltype[ix(d)] & kConStructureBit) &&
                        guard <= rs.links;
         ++guard)
        d = rs.dslink[ix(d)];
    if (d < 1 || d > rs.links || !con_transport_link(rs.ltype[ix(d)])) return 0;
    return d;
}

double balance_node_sources(run_state& rs, int i, int link, int node, double x) {
    constituent_channel& cc = rs.con_chan;
    const size_t f = static_cast<size_t>(cc.stride * link + node);
    const size_t ii = ix(i);
    const double L = cc.mass[ii][f];
    double B = std::max(L, 0.0);
    double net = 0.0;
    // Lateral mass from the cells, moved after the channel step with its water: a gain, whole.
    double& lat = cc.qlat_mass[ii][f];
    if (lat > 0.0) {
        const double take = lat;
        lat = 0.0;
        B += take;
        net += take;
        cc.step_lateral += take;
    }
    // What the aquifer's water and the point inflows bring: gains, whole.
    for (double* gain : {&cc.gw_gain[ii][f], &cc.point_gain[ii][f]}) {
        if (!(*gain > 0.0)) continue;
        B += *gain;
        net += *gain;
        (gain == &cc.gw_gain[ii][f] ? cc.step_gw_in : cc.step_point_in) += *gain;
        *gain = 0.0;
    }
    // Decay: a loss.
    double& dec = cc.decay_mass[ii][f];
    if (dec > 0.0) {
        double take = scaled_pending_amount(x, cc.decay_interval, dec);
        if (take >= B) {
            take = B;
            dec = 0.0;
        } else {
            dec -= take;
        }
        B -= take;
        net -= take;
        cc.step_decay += take;
    }
    return x > 0.0 ? net / x : 0.0;
}

int route_channel_water_quality(run_state& rs, int i, double x) {
    constituent_channel& cc = rs.con_chan;
    const size_t ii = ix(i);
    const int stride = cc.stride;
    std::vector<double>& C = cc.conc[ii];
    std::vector<double>& M = cc.mass[ii];
    cc.disp_row = cc.disp[ii].data();
    if (!(x > 0.0)) return 0;
    const double lim = std::max(wq_substep_limit(rs, x), kShortestSubstep);
    const int steps = lim >= x ? 1 : static_cast<int>(std::ceil(x / lim));
    const double h = x / steps;
    const double frac = h / x;   // share of the interval's water volumes in one sub-step
    double* c = cc.c.data();
    double* m = cc.m.data();
    std::copy(C.begin(), C.end(), cc.c.begin());
    std::copy(M.begin(), M.end(), cc.m.begin());
    // Lakes of the channel network: one mass each, its concentration over
    // the lake's water interpolated across the interval.
    constituent_lakes& cl = rs.con_lake;
    const bool lakes = cl.channel && cl.lakes > 0;
    std::vector<double>* lake_m = lakes ? &cl.mass[ii] : nullptr;
    std::vector<double>* lake_c = lakes ? &cl.conc[ii] : nullptr;
    static const double kNoLake[1] = {0.0};
    cc.lake_conc_row = lakes ? lake_c->data() : kNoLake;
    cc.lake_mass_row = lakes ? lake_m->data() : kNoLake;
    double* sa1 = cc.src_a1.data();
    double* sa2 = cc.src_a2.data();
    double lake_in = 0.0, lake_out = 0.0;   // g the links gave the lakes and the lakes gave the links
    // The outlet node (last node of the last link), 0 when that link carries nothing.
    const size_t outlet = con_transport_link(rs.ltype[ix(rs.links)]) && rs.nx[ix(rs.links)] >= 1
                              ? static_cast<size_t>(stride * rs.links + rs.nx[ix(rs.links)])
                              : 0;

    for (int s = 1; s <= steps; ++s) {
        // Areas at the end of the sub-step, interpolated over the interval.
        const double w = static_cast<double>(s) / steps;
        for (int l = 1; l <= rs.links; ++l) {
            if (!con_transport_link(rs.ltype[ix(l)])) continue;
            for (int j = 1; j <= rs.nx[ix(l)]; ++j) {
                const double a0 = rs.area_old(ix(j), ix(l)), a1 = rs.area(ix(j), ix(l));
                cc.area_adt[static_cast<size_t>(stride * l + j)] = a0 + (a1 - a0) * w;
            }
        }
        compute_wq_fluxes(rs, c, frac, cc.a1.data(), cc.g1.data(), cc.w1.data(), sa1);
        update_wq_nodes(rs, m, cc.a1.data(), cc.g1.data(), cc.w1.data(), sa1, h, cc.m_pred.data(),
                        cc.c_pred.data());
        for (int pass = 0; pass < kMostPasses; ++pass) {
            compute_wq_fluxes(rs, cc.c_pred.data(), frac, cc.a2.data(), cc.g2.data(), cc.w2.data(), sa2);
            for (size_t f = 0; f < cc.a2.size(); ++f) {
                cc.a2[f] = 0.5 * (cc.a1[f] + cc.a2[f]);
                cc.g2[f] = 0.5 * (cc.g1[f] + cc.g2[f]);
                cc.w2[f] = 0.5 * (cc.w1[f] + cc.w2[f]);
            }
            for (size_t k = 0; k < cc.src_a2.size(); ++k) sa2[k] = 0.5 * (sa1[k] + sa2[k]);
            std::copy(cc.c_pred.begin(), cc.c_pred.end(), cc.c_save.begin());
            update_wq_nodes(rs, m, cc.a2.data(), cc.g2.data(), cc.w2.data(), sa2, h, cc.m_pred.data(),
                            cc.c_pred.data());
            double change = 0.0, scale = 0.0;   // g/m3
            for (size_t f = 0; f < cc.c_pred.size(); ++f) {
                change = std::max(change, std::fabs(cc.c_pred[f] - cc.c_save[f]));
                scale = std::max(scale, std::fabs(cc.c_pred[f]));
            }
            std::swap(cc.a1, cc.a2);
            std::swap(cc.g1, cc.g2);
            std::swap(cc.w1, cc.w2);
            std::swap(sa1, sa2);
            // Converged relative to the field, so that the passes (and the
            // results) scale with the concentrations.
            if (change <= kConverged * scale) break;
        }
        // What the outlet passed in the sub-step (the accepted, averaged flux),
        // and what left with the drawn water, by its path.
        if (outlet != 0) cc.step_out += cc.a1[outlet];
        for (int l = 1; l <= rs.links; ++l) {
            if (!con_transport_link(rs.ltype[ix(l)])) continue;
            for (int j = 1; j <= rs.nx[ix(l)]; ++j) {
                const size_t f = static_cast<size_t>(stride * l + j);
                const double drawn = cc.draw_gw[f] + cc.draw_point[f];
                if (!(drawn > 0.0)) continue;
                const double gw = cc.w1[f] * (cc.draw_gw[f] / drawn);
                cc.step_gw_out += gw;
                cc.step_point_out += cc.w1[f] - gw;
            }
        }
        // Accept; a negative mass is raised to 0 and booked.
        for (int l = 1; l <= rs.links; ++l) {
            if (!con_transport_link(rs.ltype[ix(l)])) continue;
            for (int j = 1; j <= rs.nx[ix(l)]; ++j) {
                const size_t f = static_cast<size_t>(stride * l + j);
                double mass = cc.m_pred[f];
                if (mass < 0.0) {
                    cc.step_clip += -mass;
                    mass = 0.0;
                }
                m[f] = mass;
                const double v = cc.area_adt[f] * rs.dx[ix(l)];
                c[f] = v >= kConDry ? mass / v : 0.0;
            }
        }
        // The lakes take what the links above them passed in and give what
        // their outflows took (the accepted, averaged fluxes).
        if (lakes) {
            std::vector<double>& LM = *lake_m;
            for (int l = 1; l <= rs.links; ++l) {
                if (!con_transport_link(rs.ltype[ix(l)])) continue;
                const int u = cc.lake_below[ix(l)];
                if (u <= 0) continue;
                const double a = cc.a1[static_cast<size_t>(stride * l + rs.nx[ix(l)])];
                LM[ix(u)] += a;
                lake_in += a;
            }
            for (size_t k = 0; k < cc.src_lake.size(); ++k) {
                LM[ix(cc.src_lake[k])] -= sa1[k];
                lake_out += sa1[k];
            }
            for (int u = 1; u <= cl.lakes; ++u) {
                if (LM[ix(u)] < 0.0) {
                    cc.step_clip += -LM[ix(u)];
                    LM[ix(u)] = 0.0;
                }
                const double v0 = cc.lake_v0[ix(u)];
                const double V = v0 + (lake_store_water(rs, u) - v0) * static_cast<double>(s) / steps;
                (*lake_c)[ix(u)] = V > kConDry && LM[ix(u)] > 0.0 ? LM[ix(u)] / V : 0.0;
            }
        }
    }
    if (lakes) {
        for (int u = 1; u <= cl.lakes; ++u) set_lake_conc(rs, i, u);
        rs.con_tot.chan_to_lake[ii] += lake_in / 1000.0;
        rs.con_tot.lake_to_chan[ii] += lake_out / 1000.0;
    }
    std::copy(cc.c.begin(), cc.c.end(), C.begin());
    std::copy(cc.m.begin(), cc.m.end(), M.begin());
    return steps;
}
