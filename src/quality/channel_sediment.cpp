// Channel sand transport. Each node of a channel link has a transport
// capacity (m3/s of solids) from its hydraulics; on erodible links the node
// moves capacity x dt of sand from its store to the next store downstream
// (or draws it from the next store upstream when the flow runs backwards),
// the sand classes giving in class order and the bed material last. Sand
// reaching a structure link passes straight to the link below it; sand
// reaching a lake settles on the lake bed; sand leaving the outlet node
// leaves the network. Every transfer takes at most what the source holds, so
// stores stay >= 0 and the sand is conserved exactly.
//
// The step runs link by link in link order on the thread of the time loop:
// the network loops are short and their transfers depend on that order.
#include "quality/channel_sediment.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "channel/channel_records.h"
#include "run/run_state.h"

namespace {

constexpr double kZero = 1e-16;           // depths, flows and volumes at or below count as none
constexpr double kBuoyantGravity = 16.1865;   // g (s - 1) = 9.81 x 1.65, m/s2
constexpr double kThird = 0.33333333;     // exponent of the dimensionless grain size
constexpr double kUnitWeight = 9810.0;    // specific weight of water, N/m3
constexpr double kPpmToVolume = 2.59965e10;   // ppm by weight x N/m3 x m3/s -> m3/s of solids
constexpr double kAreaExponent = 1.6666666666666667;   // shallow part of a depth table

inline size_t ix(int i) { return static_cast<size_t>(i); }

inline bool lake_like(int type) { return is_lake(type) || is_overtaken(type); }

// Water depth of node (k, l), m.
inline double depth_of(const run_state& rs, int k, int l) {
    return rs.yp(ix(k), ix(l)) - rs.bel(ix(k), ix(l));
}

inline double* store_of(run_state& rs, int k, int l) { return rs.ch_sand_vol[ix(k)][ix(l)].data(); }

inline int lake_of(const run_state& rs, int link) {
    return ix(link) < rs.lake2link.size() ? rs.lake2link[ix(link)] : 0;
}

// Moves up to `volume` (m3) from store `from` to store `to` (null: out of
// the network) class by class, m = 1..classes in order; writes each class's
// rate moved / dt x sign into q[m] and returns the volume moved.
double move_sand(double volume, double* from, double* to, double* q, int classes, double dt,
                 double sign) {
    double moved_total = 0.0;
    for (int m = 1; m <= classes; ++m) {
        const double moved = std::min(volume, from[m]);
        if (moved > 0.0) {
            from[m] -= moved;
            if (to) to[m] += moved;
            volume -= moved;
            moved_total += moved;
        }
        q[m] = moved > 0.0 ? sign * moved / dt : 0.0;
    }
    return moved_total;
}

// Area and wetted perimeter of node (k, l) at depth h, m2 and m.
bool section_at(const run_state& rs, int k, int l, double h, double& A, double& P) {
    const int type = rs.ltype[ix(l)];
    if (type & kLtTrapezoid) {
        const double b = rs.bottom(ix(k), ix(l)), z = rs.sslope(ix(k), ix(l));
        A = z * h * h + b * h;
        P = 2.0 * h * std::sqrt(z * z + 1.0) + b;
        return true;
    }
    if (type & kLtBreakpoint) return interpolate_xsec_area_perimeter(rs, k, l, h, A, P);
    return false;
}

// Slope (m/m, magnitude) that drives the capacity at node k of link l.
double node_slope(const run_state& rs, const chan_sed_record& cs, int k, int l, int nodes) {
    const size_t li = ix(l);
    const double dx = rs.dx[li];
    if (k < nodes) {
        return std::fabs(rs.yp(ix(k), li) - rs.yp(ix(k + 1), li)) / dx;
    }
    // Own bed slope of the link's last segment (0 for a one-node link).
    const double own =
        nodes >= 2 ? std::fabs(rs.bel(ix(nodes - 1), li) - rs.bel(ix(nodes), li)) / dx : 0.0;
    if (l == rs.links) return own;
    const int D = rs.dslink[li];
    if (D < 1 || D > rs.links) return own;
    const int dtype = rs.ltype[ix(D)];
    if (lake_like(dtype)) {
        const int lake = lake_of(rs, D);
        const double level = (lake >= 1 && ix(lake) < rs.lake_elev.size()) ? rs.lake_elev[ix(lake)]
                                                                         : rs.yp(ix(k), li);
        return std::fabs(rs.yp(ix(k), li) - level) / (2.0 * dx);
    }
    if ((dtype & kLtChannel) != 0) {
        return std::fabs(rs.yp(ix(k), li) - rs.yp(1, ix(D))) / ((dx + rs.dx[ix(D)]) * 0.5);
    }
    // A structure below: the slope of the node before, or the link's own bed slope.
    return nodes >= 2 ? cs.slope[cs.flat(nodes - 1, l)] : own;
}

bool sized_for_network(const run_state& rs, const chan_sed_record& cs) {
    return cs.on && cs.links == rs.links && cs.maxnodes == rs.maxnodes &&
           rs.ch_sand_vol.size() == rs.bel.rows() && !rs.ch_sand_vol.empty() &&
           rs.ch_sand_vol[0].size() == rs.bel.cols();
}

}  // namespace

double sand_capacity(double area, double perimeter, double slope, double Q, double d, double nu) {
    const double S = std::fabs(slope);
    if (!(area > kZero) || !(perimeter > kZero) || !(S > kZero) || !(d > 0.0) || !(nu > 0.0))
        return 0.0;
    const double dstar = d * std::pow(kBuoyantGravity / (nu * nu), kThird);
    const double w = (std::sqrt(1.0 + 0.0139 * dstar * dstar * dstar) - 1.0) * 8.0 * nu / d;
    if (!(w > 0.0)) return 0.0;
    const double G = std::log10(w * d / nu);
    const double tau = area / perimeter * kUnitWeight * S;   // N/m2
    if (!(tau > kZero)) return 0.0;
    const double ustar = std::sqrt(tau / 1000.0);              // m/s
    const double re = ustar * d / nu;
    if (re < 1.2) return 0.0;
    const double rc = re < 70.0 ? 2.5 / (std::log10(re) - 0.06) : 2.05;
    const double V = std::fabs(Q) / area;
    const double ratio = V / w;
    if (!(ratio > rc)) return 0.0;                             // at or below the critical ratio
    const double arg = ratio * S - rc * S;
    if (!(arg > 0.0)) return 0.0;
    const double B = std::log10(ustar / w);
    const double logc = 5.435 - 0.286 * G - 0.457 * B + (1.799 - 0.409 * G - 0.314 * B) * std::log10(arg);
    const double cw = std::pow(10.0, logc);                    // ppm by weight
    const double cap = cw * kUnitWeight * std::fabs(Q) / kPpmToVolume;
    return Q < -kZero ? -cap : cap;
}

double sand_bed_change(double store, double b, double z, double dx, double p, double e) {
    const double solid = dx * (1.0 - p);   // m of node length x solid share
    if (!(solid > 0.0)) return 0.0;
    const double initial = solid * e * b;
    const double diff = store - initial;
    if (diff >= 0.0) {
        const double A = diff / solid;     // bulk area of the layer, m2
        if (A <= 0.0) return 0.0;
        if (z > 0.0) return (std::sqrt(b * b + 4.0 * z * A) - b) / (2.0 * z);
        return b > 0.0 ? A / b : 0.0;
    }
    const double down = b > 0.0 ? -diff / (solid * b) : e;
    return -std::min(down, e);
}

bool interpolate_xsec_area_perimeter(const run_state& rs, int node, int link, double depth,
                                     double& area, double& perimeter) {
    area = perimeter = 0.0;
    if (!rs.table_num.has(node, link)) return false;
    const int t = rs.table_num(ix(node), ix(link));
    if (t < 1 || t > rs.num_xsec_tables || ix(t) >= rs.numhts.size()) return false;
    const double a = rs.ht_spc[ix(t)];
    const int N = rs.numhts[ix(t)];
    if (!(a > 0.0) || N < 1 || ix(N) >= rs.xarea.rows() || ix(N) >= rs.xp.rows()) return false;
    const double* xa = rs.xarea.link_data(ix(t));
    const double* xp = rs.xp.link_data(ix(t));
    if (!(depth > 0.0)) return true;
    if (depth < a) {
        const double f = std::pow(depth / a, kAreaExponent);
        area = xa[1] * f;
        perimeter = xp[1] * f;
        return true;
    }
    // Rows e and e + 1, never past row N (row 0 is the empty section, so a
    // one-row table interpolates from it); above the top the last two rows
    // extrapolate.
    int e = static_cast<int>(depth / a);
    e = std::max(0, std::min(e, N - 1));
    const double r = (depth - e * a) / a;
    area = xa[e] + (xa[e + 1] - xa[e]) * r;
    perimeter = xp[e] + (xp[e + 1] - xp[e]) * r;
    return true;
}

void alloc_channel_sediment_arrays(run_state& rs) {
    chan_sed_record& cs = rs.chan_sed;
    ov_sed_record& s = rs.ov_sed;
    cs = chan_sed_record();
    if (!rs.channel_sediment || !s.on || rs.links < 1 || rs.bel.empty()) return;
    cs.links = rs.links;
    cs.maxnodes = rs.maxnodes;
    cs.n = s.classes;
    cs.nf = s.n_fine_classes;
    cs.ns = s.n_sand_classes;
    cs.fine_class.assign(ix(cs.nf) + 1, 0);
    cs.sand_class.assign(ix(cs.ns) + 1, 0);
    for (int m = 1; m <= cs.nf; ++m) cs.fine_class[ix(m)] = s.sed_class[ix(m)];
    for (int m = 1; m <= cs.ns; ++m) cs.sand_class[ix(m)] = s.sed_class[ix(cs.nf + m)];
    cs.porosity = s.sed_porosity;
    cs.sand_size = s.sand_size;
    cs.viscosity = s.water_kin_viscosity;
    rs.chan_bed_porosity = s.sed_porosity;

    cs.stride = ix(cs.n) + 2;
    cs.node_rows = ix(rs.maxnodes) + 1;
    // Nodes up to maxnodes + 1 of links up to links + 1 (the node arrays' shape).
    cs.flat_nodes = cs.node_rows * (ix(rs.links) + 2) + 2;
    const size_t rows = cs.flat_nodes * cs.stride;
    for (std::vector<double>* a :
         {&cs.wash_vol, &cs.conc_vol, &cs.conc_mass, &cs.qlat_sed, &cs.qsmax, &cs.advect_flux,
          &cs.temp_conc, &cs.temp_flux, &cs.temp_mass})
        a->assign(rows, 0.0);
    for (std::vector<double>* a : {&cs.qsmax_total, &cs.capacity, &cs.slope, &cs.org_bel})
        a->assign(cs.flat_nodes, 0.0);
    for (std::vector<double>* a : {&cs.outlet_sand_rate, &cs.outlet_wash_rate, &cs.lateral_sand,
                                   &cs.to_channels_run, &cs.to_channels_event, &cs.node_draw,
                                   &cs.lake_given, &cs.through})
        a->assign(cs.stride, 0.0);

    cs.lakes = rs.channel_lakes ? rs.num_channel_lakes : 0;
    const size_t lake_rows = (ix(cs.lakes) + 1) * cs.stride;
    for (std::vector<double>* a :
         {&cs.lake_depo, &cs.lake_depo_event, &cs.ss_vol, &cs.ss_conc_vol, &cs.ss_conc,
          &cs.ss_settled, &cs.ss_settled_event, &cs.ss_settled_run, &cs.ss_chan_to_lake_event,
          &cs.ss_chan_to_lake_run, &cs.ss_lake_to_chan_event, &cs.ss_lake_to_chan_run})
        a->assign(lake_rows, 0.0);
    cs.ss_init_event.assign(ix(cs.lakes) + 1, 0.0);
    cs.lake_cells.assign(ix(cs.lakes) + 1, 0);

    const size_t R = rs.bel.rows(), C = rs.bel.cols();
    rs.ch_sand_vol.assign(R, std::vector<std::vector<double>>(C, std::vector<double>(cs.stride, 0.0)));
    rs.new_bel.assign(R, std::vector<double>(C, 0.0));
    for (size_t k = 0; k < R; ++k)
        for (size_t l = 0; l < C; ++l) rs.new_bel[k][l] = rs.bel(k, l);

    // Initial sand stores of the erodible links.
    const double p = cs.porosity;
    const int bed = cs.ns + 1;
    for (int l = 1; l <= rs.links; ++l) {
        const int type = rs.ltype[ix(l)];
        if (!(type & kLtErodible) || is_lake(type) || is_structure(type)) continue;
        const double dx = rs.dx[ix(l)];
        for (int k = 1; k <= rs.nx[ix(l)]; ++k) {
            const size_t ki = ix(k), li = ix(l);
            cs.org_bel[cs.flat(k, l)] = rs.bel(ki, li);
            const double e = rs.max_eros.has(k, l) ? rs.max_eros(ki, li) : 0.0;
            double V = 0.0;
            if (type & kLtTrapezoid) {
                // Along the node spacing (not the cell size): the bed update
                // measures the store by the same length, so an untouched
                // store leaves the bed where it is on a meandering link.
                V = (1.0 - p) * e * rs.bottom(ki, li) * dx;
            } else if (type & kLtBreakpoint) {
                const int t = rs.table_num(ki, li);
                const int b = ix(l) < rs.bplink.size() ? rs.bplink[li] : 0;
                if (t < 1 || t > rs.num_xsec_tables || b < 1 || ix(b) >= rs.xbp_lnn.size() ||
                    ki >= rs.xbp_lnn[ix(b)].size())
                    continue;
                const std::vector<double>& x = rs.xbp_lnn[ix(b)][ki];
                const int np = rs.numpairs[ix(t)];
                const int N = rs.numhts[ix(t)];
                if (np < 1 || ix(np) >= x.size()) continue;
                const double width = std::fabs(x[ix(np)] - x[1]);
                V = (1.0 - p) * (width * (N * rs.ht_spc[ix(t)] + e) * dx -
                                 rs.xarea(ix(N), ix(t)) * dx);
                V = std::max(V, 0.0);
                if (ix(b) < rs.ch_sand_vol0.size() && ki < rs.ch_sand_vol0[ix(b)].size())
                    rs.ch_sand_vol0[ix(b)][ki] = V;
            }
            std::vector<double>& st = rs.ch_sand_vol[ki][li];
            st[0] = V;
            st[ix(bed)] = V;
            cs.sand_init_total += V;
        }
    }
    // Cells tied to channel nodes: their soil is the channel's bank, not eroded by the grid.
    rs.ov_sed.channel_cell.assign(ix(rs.GNUM) + 1, 0);
    for (int i = 1; i <= rs.num_stream_cells && ix(i) < rs.gst_gnum.size(); ++i)
        for (int k = 1; k <= rs.gst_ncellsingrid[ix(i)] && ix(k) < rs.gst_gnum[ix(i)].size(); ++k) {
            const int c = rs.gst_gnum[ix(i)][ix(k)];
            if (c >= 1 && c <= rs.GNUM) rs.ov_sed.channel_cell[ix(c)] = 1;
        }
    cs.sand_init_run = cs.sand_init_total;
    cs.sand_init_event = cs.sand_init_total;
    cs.on = 1;
}

double channel_sand_total(const run_state& rs) {
    double total = 0.0;
    for (size_t k = 0; k < rs.ch_sand_vol.size(); ++k)
        for (size_t l = 0; l < rs.ch_sand_vol[k].size(); ++l)
            if (!rs.ch_sand_vol[k][l].empty()) total += rs.ch_sand_vol[k][l][0];
    return total;
}

void transport_channel_sediment(run_state& rs, double dt) {
    chan_sed_record& cs = rs.chan_sed;
    if (!sized_for_network(rs, cs) || !(dt > 0.0)) return;
    const int ns = cs.ns, nf = cs.nf, classes = ns + 1;
    const double d = cs.sand_size / 1000.0;   // m
    std::fill(cs.outlet_sand_rate.begin(), cs.outlet_sand_rate.end(), 0.0);
    std::fill(cs.lateral_sand.begin(), cs.lateral_sand.end(), 0.0);

    // Capacities of every channel node (erodible or not), and the lateral sand intake.
    for (int l = 1; l <= rs.links; ++l) {
        const int type = rs.ltype[ix(l)];
        const int nodes = rs.nx[ix(l)];
        if (!routed_link(type) || nodes < 1) continue;
        for (int k = 1; k <= nodes; ++k) {
            const size_t f = cs.flat(k, l);
            cs.capacity[f] = 0.0;
            cs.slope[f] = 0.0;
            // Lateral sand enters the store also at a dry node; it moves once the node is wet.
            double* st = store_of(rs, k, l);
            const double* lat = cs.row(cs.qlat_sed, k, l);
            for (int m = 1; m <= ns; ++m) {
                const double v = lat[cs.sand_class[ix(m)]];
                st[m] += v;
                cs.lateral_sand[ix(m)] += v;
                cs.lateral_sand[0] += v;
            }
            const double h = depth_of(rs, k, l);
            if (h < kZero) continue;
            double A = 0.0, P = 0.0;
            if (!section_at(rs, k, l, h, A, P)) continue;
            const double S = node_slope(rs, cs, k, l, nodes);
            cs.slope[f] = S;
            double X = sand_capacity(A, P, S, rs.qp(ix(k), ix(l)), d, cs.viscosity);
            if (std::isnan(X)) {
                std::printf("bed load NaN\n");
                X = 0.0;
            }
            cs.capacity[f] = X;
        }
    }

    // Movement on the erodible links.
    for (int l = 1; l <= rs.links; ++l) {
        const int type = rs.ltype[ix(l)];
        const int nodes = rs.nx[ix(l)];
        if (!routed_link(type) || !(type & kLtErodible) ||
            !(type & (kLtTrapezoid | kLtBreakpoint)) || nodes < 1)
            continue;
        for (int j = 1; j <= nodes; ++j) {
            const double X = cs.capacity[cs.flat(j, l)];
            double* q = cs.row(cs.qsmax, j, l) + nf;   // q[m], m = 1..ns+1
            for (int m = 1; m <= classes; ++m) q[m] = 0.0;
            const bool outlet = l == rs.links && j == nodes;
            const int D = rs.dslink[ix(l)];
            const bool has_down = !outlet && j == nodes && D >= 1 && D <= rs.links;
            if (X > kZero) {
                if (depth_of(rs, j, l) < kZero) continue;
                double* from = store_of(rs, j, l);
                const double vol = X * dt;
                if (j < nodes) {
                    move_sand(vol, from, store_of(rs, j + 1, l), q, classes, dt, 1.0);
                } else if (outlet) {
                    move_sand(vol, from, nullptr, q, classes, dt, 1.0);
                    for (int m = 1; m <= classes; ++m) {
                        cs.outlet_sand_rate[ix(m)] = q[m];
                        cs.outlet_sand_rate[0] += q[m];
                    }
                } else if (has_down) {
                    const int dtype = rs.ltype[ix(D)];
                    int target_link = D;
                    int target_type = dtype;
                    if (is_structure(dtype)) {
                        // Sand reaching a structure passes to the link below it.
                        target_link = rs.dslink[ix(D)];
                        target_type = target_link >= 1 && target_link <= rs.links
                                          ? rs.ltype[ix(target_link)]
                                          : 0;
                    }
                    if (target_link >= 1 && target_link <= rs.links && lake_like(target_type)) {
                        const int lake = lake_of(rs, target_link);
                        if (lake >= 1 && lake <= cs.lakes) {
                            double* depo = cs.lake_depo.data() + ix(lake) * cs.stride;
                            double* ev = cs.lake_depo_event.data() + ix(lake) * cs.stride;
                            move_sand(vol, from, depo, q, classes, dt, 1.0);
                            for (int m = 1; m <= classes; ++m) {
                                const double v = q[m] * dt;
                                ev[m] += v;
                                depo[0] += v;
                                ev[0] += v;
                            }
                        }
                    } else if (target_link >= 1 && target_link <= rs.links) {
                        move_sand(vol, from, store_of(rs, 1, target_link), q, classes, dt, 1.0);
                    } else if (is_structure(dtype)) {
                        // A structure at the foot of the network: the sand leaves with the water.
                        move_sand(vol, from, nullptr, q, classes, dt, 1.0);
                        for (int m = 1; m <= classes; ++m) {
                            cs.outlet_sand_rate[ix(m)] += q[m];
                            cs.outlet_sand_rate[0] += q[m];
                        }
                    }
                }
            } else if (X < -kZero) {
                double* to = store_of(rs, j, l);
                const double vol = -X * dt;
                double* from = nullptr;
                if (j < nodes) {
                    if (depth_of(rs, j + 1, l) >= kZero) from = store_of(rs, j + 1, l);
                } else if (has_down) {
                    const int dtype = rs.ltype[ix(D)];
                    int src = D;
                    if (is_structure(dtype)) {
                        src = rs.dslink[ix(D)];
                        if (src < 1 || src > rs.links) src = 0;
                    }
                    if (src != 0 && !lake_like(rs.ltype[ix(src)]) &&
                        !(src == rs.links && rs.nx[ix(src)] == 1) && rs.nx[ix(src)] >= 1 &&
                        depth_of(rs, 1, src) >= kZero)
                        from = store_of(rs, 1, src);
                }
                if (from) move_sand(vol, from, to, q, classes, dt, -1.0);
            }
        }
    }

    // Store totals and the bed of erodible trapezoid links.
    const double p = cs.porosity;
    for (int l = 1; l <= rs.links; ++l) {
        const int type = rs.ltype[ix(l)];
        if (is_lake(type) || is_structure(type)) continue;
        const int nodes = std::max(rs.nx[ix(l)], ix(l) < rs.og_nx1.size() ? rs.og_nx1[ix(l)] : 0);
        for (int j = 1; j <= nodes && ix(j) < rs.ch_sand_vol.size(); ++j) {
            double* st = store_of(rs, j, l);
            double s = 0.0;
            for (int m = 1; m <= classes; ++m) s += st[m];
            st[0] = s;
            if (!routed_link(type) || !(type & kLtErodible) || !(type & kLtTrapezoid) ||
                j > rs.nx[ix(l)])
                continue;
            const size_t ki = ix(j), li = ix(l);
            const double e = rs.max_eros.has(j, l) ? rs.max_eros(ki, li) : 0.0;
            rs.new_bel[ki][li] = cs.org_bel[cs.flat(j, l)] +
                                 sand_bed_change(s, rs.bottom(ki, li), rs.sslope(ki, li),
                                                 rs.dx[li], p, e);
        }
    }
}
