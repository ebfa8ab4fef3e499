// Sediment-bound constituents in a run. Each constituent in the overland
// water, at the channel nodes and on the sediment suspended there is split
// between the water and the size classes by its partition coefficient Kd
// (l/kg); the sorbed part travels with the sediment.
//
// Overland (at the constituent transport time): the sediment volumes the
// overland sediment steps eroded, moved and settled since the last time
// carry the sorbed mass of the cells (move_sediment_bound_mass); the cell is
// split again and the water takes its dissolved share at once. Eroded
// sediment takes its sorbed mass from the top soil layer (the soil
// constituent layer; a run without soil constituents has no layer and takes
// none), deposited sediment gives it back there (or to the cell's land store
// without soil constituents).
//
// Sediment that the grid-to-channel hand-over moves from a stream cell to a
// node takes the cell's sorbed concentration with it. In the channels the
// sorbed mass rides on the wash load (fine classes): it crosses each node's
// downstream face with the wash-load volume that crossed it, at the sorbed
// concentration of the node the sediment leaves, never more than the node
// holds. Sand reaching a node brings its sorbed mass into the node's total,
// which the partition then spreads over the node's water and wash load (the
// bed material is not a sorbing store). At the channel water-quality time
// every wet node is split again and its water takes its dissolved share.
//
// Every transfer is taken from one store and given to another with the same
// number, so dissolved + sorbed + soil + outlet stays the initial mass.
#include "quality/sediment_bound_step.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "channel/channel_records.h"
#include "core/parallel.h"
#include "quality/constituent_setup.h"
#include "quality/constituent_steps.h"
#include "quality/sediment_bound.h"
#include "run/run_state.h"

namespace {

inline size_t ix(int i) { return static_cast<size_t>(i); }

// The size classes as the partition sees them.
sorbing_classes classes_of(const run_state& rs) {
    sorbing_classes sc;
    sc.count = rs.sed_bound.classes;
    sc.density = rs.ov_sed.particle_density.data();
    sc.flag = rs.sed_bound.flag.data();
    return sc;
}

bool channel_rows_ready(const run_state& rs) {
    const sed_bound_record& sb = rs.sed_bound;
    return sb.node_slots > 0 && rs.chan_sed.on && rs.con_chan.stride > 0 &&
           rs.chan_sed.links == rs.links && rs.chan_sed.maxnodes == rs.maxnodes;
}

void size_channel_rows(run_state& rs) {
    sed_bound_record& sb = rs.sed_bound;
    const chan_sed_record& cs = rs.chan_sed;
    const constituent_channel& cc = rs.con_chan;
    if (!rs.chan_con_trans || !cs.on || cc.stride <= 0 || cs.node_rows != ix(cc.stride)) return;
    const int n = rs.num_constituents;
    sb.node_slots = cc.slots;
    const size_t slots = ix(cc.slots);
    const size_t stride = ix(sb.classes) + 1;
    for (auto* r : {&sb.attached, &sb.qlat_attached, &sb.flux_rate})
        r->assign(ix(n) + 1, std::vector<double>(slots, 0.0));
    sb.node_conc.assign(ix(n) + 1, std::vector<double>(slots * stride, 0.0));
    sb.face_volume.assign(cs.flat_nodes * cs.stride, 0.0);
    for (auto* r : {&sb.face_down, &sb.face_up, &sb.leave_scale}) r->assign(slots, 0.0);
    sb.node_volume.assign(stride, 0.0);
    sb.node_scratch.assign(stride, 0.0);
}

// ---------------------------------------------------------------------------
// Overland

// Applies the soil exchange of constituent i in cell j (g, + into the soil):
// the soil constituent layer, or the land store without one.
void book_soil_exchange(run_state& rs, size_t i, size_t j, double g) {
    if (g == 0.0) return;
    if (rs.soil_con_trans) rs.con.layer_mass[i][j] += g;
    rs.con.land[i][j] += g;
}

}  // namespace

void init_sediment_bound_state(run_state& rs) {
    const int n = rs.num_constituents;
    sed_bound_record& sb = rs.sed_bound;
    sb = sed_bound_record{};
    const ov_sed_record& s = rs.ov_sed;
    if (!rs.sediment_contam || !rs.overland_constituents || n < 1 || !s.on || s.classes < 1)
        return;
    const int cells = rs.GNUM;
    const int classes = s.classes;
    const size_t stride = ix(classes) + 1;
    const size_t rows = (ix(cells) + 1) * stride;
    sb.on = 1;
    sb.classes = classes;
    sb.cells = cells;
    // The binding column of the size-class table: 0 lets the class sorb.
    sb.flag.assign(stride, 0);
    for (int k = 1; k <= classes; ++k)
        sb.flag[ix(k)] = ix(k) < s.f_bind.size() && s.f_bind[ix(k)] != 0.0 ? 1 : 0;
    sb.sorbed.assign(ix(n) + 1, std::vector<double>(ix(cells) + 1, 0.0));
    sb.dissolved.assign(ix(n) + 1, std::vector<double>(ix(cells) + 1, 1.0));
    sb.fract.assign(ix(n) + 1, std::vector<double>(rows, 0.0));
    sb.sorbed_conc.assign(ix(n) + 1, std::vector<double>(rows, 0.0));
    sb.start_volume = s.suspended;
    sb.start_volume.resize(rows, 0.0);
    for (auto* v : {&sb.eroded, &sb.deposited, &sb.face_x, &sb.face_y}) v->assign(rows, 0.0);
    sb.outlet.assign(stride, 0.0);
    for (auto* v : {&sb.pending, &sb.soil_exchange, &sb.no_layer, &sb.layer_share})
        v->assign(ix(cells) + 1, 0.0);
    sb.work.assign(2 * rows, 0.0);
    size_channel_rows(rs);
}

void hand_sorbed_mass_to_node(run_state& rs, int cell, int link, int node, int cls,
                              double volume) {
    sed_bound_record& sb = rs.sed_bound;
    if (!sb.on || !(volume > 0.0) || cell < 1 || cell > sb.cells || cls < 1 || cls > sb.classes)
        return;
    const size_t stride = ix(sb.classes) + 1;
    const size_t at = ix(cell) * stride + ix(cls);
    sb.start_volume[at] = std::max(sb.start_volume[at] - volume, 0.0);
    if (sb.flag[ix(cls)] != 0) return;
    const bool nodes = channel_rows_ready(rs);
    const size_t f = ix(rs.con_chan.stride * link + node);
    for (int i = 1; i <= rs.num_constituents; ++i) {
        const size_t ii = ix(i);
        double& held = sb.sorbed[ii][ix(cell)];
        const double m = std::min(sb.sorbed_conc[ii][at] * volume, std::max(held, 0.0));   // g
        if (!(m > 0.0)) continue;
        held -= m;
        rs.con_tot.sed_to_chan[ii] += m / 1000.0;
        if (nodes) {
            sb.qlat_attached[ii][f] += m;
        } else {
            // Channels without constituents: the mass leaves with their water.
            rs.con_tot.sed_out[ii] += m / 1000.0;
            rs.con_tot.chan_attached_out[ii] += m / 1000.0;
        }
    }
}

void step_sediment_bound_sources(run_state& rs) {
    sed_bound_record& sb = rs.sed_bound;
    if (!sb.on || rs.GNUM != sb.cells) return;
    if (!process_due(rs, rs.ov_con_transport_next)) return;
    ov_sed_record& s = rs.ov_sed;
    const int cells = sb.cells;
    const size_t stride = ix(sb.classes) + 1;
    const double area = rs.cell_size * rs.cell_size;   // m2
    const bool parallel = cells >= parallel_cells().overland;
    const sorbing_classes sc = classes_of(rs);

    sorbed_grid g;
    g.cells = cells;
    g.stride = stride;
    g.dx = rs.cell_size;
    g.right = rs.rightcon.data();
    g.below = rs.belowcon.data();
    g.left = rs.leftcon.data();
    g.above = rs.abovecon.data();
    g.depth = rs.ov_depth.data();
    g.start_volume = sb.start_volume.data();
    g.end_volume = s.suspended.data();
    g.eroded = sb.eroded.data();
    g.deposited = sb.deposited.data();
    g.face_x = sb.face_x.data();
    g.face_y = sb.face_y.data();
    g.soil_fract = s.soil_fract.data();
    const bool soil = rs.soil_con_trans != 0;
    g.layer_depth_cm = soil ? rs.con.layer_thickness * 100.0 : 0.0;
    if (soil && rs.phi.size() > ix(cells)) g.cell_porosity = rs.phi.data();
    if (!rs.chan_explic && rs.outlet_cell >= 1 && rs.outlet_cell <= cells) {
        g.outlet = rs.outlet_cell;
        g.outlet_volume = sb.outlet.data();
    }
    g.parallel = parallel;

    for (int i = 1; i <= rs.num_constituents; ++i) {
        const size_t ii = ix(i);
        if (rs.constituent_type[ii] != 1) continue;
        double* total = sb.sorbed[ii].data();
        double* water = rs.con.mass[ii].data();
        double* conc = rs.con.conc[ii].data();
        double* pending = sb.pending.data();
        double* exchange = sb.soil_exchange.data();
        // The cell's mass: what its sediment holds and what its water holds.
#pragma omp parallel for schedule(static) if (parallel)
        for (int k = 1; k <= cells; ++k) {
            total[k] += water[k];
            pending[k] = 0.0;
            exchange[k] = 0.0;
        }
        sorbed_stores st;
        st.kd = rs.water_soil_partition_coef.size >= i ? rs.water_soil_partition_coef[i] : 0.0;
        st.total = total;
        st.water = water;
        st.pending = pending;
        st.soil_exchange = exchange;
        st.layer_mass = soil ? rs.con.layer_mass[ii].data() : sb.no_layer.data();
        if (soil) {
            // The layer's split as its water content stands now (the soil step
            // keeps its own copy only at its own times).
            for (int k = 1; k <= cells; ++k) sb.layer_share[ix(k)] = layer_dissolved_fraction(rs, i, k);
        }
        st.layer_dissolved = soil ? sb.layer_share.data() : sb.no_layer.data();
        st.dissolved_fraction = sb.dissolved[ii].data();
        st.fract = sb.fract[ii].data();
        st.sorbed = sb.sorbed_conc[ii].data();
        move_sediment_bound_mass(sc, g, st, sb.work.data());
        if (st.nan_seen) std::printf("bad number");

        // The water takes its dissolved share; the soil its exchange.
        const double* h = rs.ov_depth.data();
#pragma omp parallel for schedule(static) if (parallel)
        for (int k = 1; k <= cells; ++k) {
            if (pending[k] == 0.0) continue;
            water[k] += pending[k];
            conc[k] = h[k] > kConDry && water[k] > 0.0 ? water[k] / (h[k] * area) : 0.0;
        }
        double taken = 0.0, returned = 0.0, given = 0.0;   // g, in cell order
        for (int k = 1; k <= cells; ++k) {
            if (std::isnan(pending[k])) std::printf("Sed source contam %d cell %d NAN", i, k);
            given += pending[k];
            const double e = exchange[k];
            if (e < 0.0) taken -= e; else returned += e;
            book_soil_exchange(rs, ii, ix(k), e);
        }
        constituent_totals& t = rs.con_tot;
        t.sed_from_soil[ii] += taken / 1000.0;
        t.sed_to_soil[ii] += returned / 1000.0;
        t.sed_out[ii] += st.out_of_grid / 1000.0;
        t.ov_attached_out[ii] += st.out_of_grid / 1000.0;
        t.ov_sed_source[ii] += given / 1000.0;
    }

    // The sorbed mass has followed the sediment moved so far.
    const size_t rows = (ix(cells) + 1) * stride;
    double* v0 = sb.start_volume.data();
    const double* sus = s.suspended.data();
    double* acc[4] = {sb.eroded.data(), sb.deposited.data(), sb.face_x.data(), sb.face_y.data()};
#pragma omp parallel for schedule(static) if (parallel)
    for (long long r = 0; r < static_cast<long long>(rows); ++r) {
        v0[r] = sus[r];
        for (double* a : acc) a[r] = 0.0;
    }
    std::fill(sb.outlet.begin(), sb.outlet.end(), 0.0);
}

// ---------------------------------------------------------------------------
// Channels

void gather_wash_faces(run_state& rs) {
    sed_bound_record& sb = rs.sed_bound;
    if (!sb.on || !channel_rows_ready(rs)) return;
    const chan_sed_record& cs = rs.chan_sed;
    for (size_t f = 0; f < cs.flat_nodes; ++f) {
        const double* a = cs.advect_flux.data() + f * cs.stride;
        double* v = sb.face_volume.data() + f * cs.stride;
        for (int m = 1; m <= cs.nf; ++m) v[m] += a[m];
    }
}

namespace {

template <class F>
void for_transport_nodes(const run_state& rs, F f) {
    for (int l = 1; l <= rs.links; ++l) {
        if (!con_transport_link(rs.ltype[ix(l)])) continue;
        for (int j = 1; j <= rs.nx[ix(l)]; ++j) f(l, j, ix(rs.con_chan.stride * l + j));
    }
}

// Flat node below the downstream face of node j of link l, 0 when the face
// leaves the network (or feeds a link that carries nothing).
size_t node_below(const run_state& rs, int l, int j) {
    const int stride = rs.con_chan.stride;
    if (j < rs.nx[ix(l)]) return ix(stride * l + j + 1);
    const int d = rs.con_chan.downstream[ix(l)];
    return d != 0 ? ix(stride * d + 1) : 0;
}

// True when the water leaving link l's last node leaves the network (at
// once or through structure links only).
bool drains_out(const run_state& rs, int l) {
    int d = rs.dslink[ix(l)];
    for (int guard = 0; d >= 1 && d <= rs.links && is_structure(rs.ltype[ix(d)]) && guard < rs.links; ++guard)
        d = rs.dslink[ix(d)];
    return d == 0;
}

// Attached mass of constituent i crossing every transport node's downstream
// face with the wash load gathered since the last step: face_down leaves the
// node, face_up comes back from the node below; each node gives at most
// what it holds.
void attached_face_masses(run_state& rs, size_t i) {
    sed_bound_record& sb = rs.sed_bound;
    const chan_sed_record& cs = rs.chan_sed;
    const size_t cstride = ix(sb.classes) + 1;
    const std::vector<double>& A = sb.attached[i];
    const std::vector<double>& sk = sb.node_conc[i];
    std::fill(sb.face_down.begin(), sb.face_down.end(), 0.0);
    std::fill(sb.face_up.begin(), sb.face_up.end(), 0.0);
    for_transport_nodes(rs, [&](int l, int j, size_t f) {
        const size_t below = node_below(rs, l, j);
        const bool outlet = below == 0 && j == rs.nx[ix(l)] && drains_out(rs, l);
        if (below == 0 && !outlet) return;   // the sediment stays; so does its mass
        const double* v = sb.face_volume.data() + f * cs.stride;
        double down = 0.0, up = 0.0;   // g
        for (int m = 1; m <= cs.nf; ++m) {
            const size_t c = ix(cs.fine_class[ix(m)]);
            if (v[m] > 0.0) down += v[m] * sk[f * cstride + c];
            else if (v[m] < 0.0 && below != 0) up += -v[m] * sk[below * cstride + c];
        }
        sb.face_down[f] = down;
        sb.face_up[f] = up;
    });
    // What each node is asked to give: its own face down, and back up
    // through the face above it (or the faces of the links feeding node 1).
    std::fill(sb.leave_scale.begin(), sb.leave_scale.end(), 0.0);
    for_transport_nodes(rs, [&](int l, int j, size_t f) {
        double want = sb.face_down[f];
        if (j > 1) {
            want += sb.face_up[f - 1];
        } else {
            for (int u : rs.con_chan.feeders[ix(l)]) want += sb.face_up[ix(rs.con_chan.stride * u + rs.nx[ix(u)])];
        }
        const double held = std::max(A[f], 0.0);
        sb.leave_scale[f] = want > held ? (held > 0.0 ? held / want : 0.0) : 1.0;
    });
    for_transport_nodes(rs, [&](int l, int j, size_t f) {
        sb.face_down[f] *= sb.leave_scale[f];
        const size_t below = node_below(rs, l, j);
        sb.face_up[f] = below != 0 ? sb.face_up[f] * sb.leave_scale[below] : 0.0;
    });
}

// Splits the mass of every wet transport node of constituent i between its
// water and its wash load; the water takes its share at once. Returns the
// mass passed into the water (negative: sorbed), g.
double partition_nodes(run_state& rs, size_t i) {
    sed_bound_record& sb = rs.sed_bound;
    const chan_sed_record& cs = rs.chan_sed;
    constituent_channel& cc = rs.con_chan;
    const sorbing_classes sc = classes_of(rs);
    const size_t cstride = ix(sb.classes) + 1;
    const double kd =
        rs.water_soil_partition_coef.size >= static_cast<int>(i) ? rs.water_soil_partition_coef[static_cast<int>(i)] : 0.0;
    double* sed = sb.node_volume.data();
    double* fract = sb.node_scratch.data();
    double released = 0.0;
    for (int l = rs.links; l >= 1; --l) {
        if (!con_transport_link(rs.ltype[ix(l)])) continue;
        for (int j = rs.nx[ix(l)]; j >= 1; --j) {
            const size_t f = ix(cc.stride * l + j);
            const double V = rs.area(ix(j), ix(l)) * rs.dx[ix(l)];   // m3 of water
            if (!(V > kSorbZero)) continue;
            std::fill(sb.node_volume.begin(), sb.node_volume.end(), 0.0);
            const double* wash = cs.row(cs.wash_vol, j, l);
            for (int m = 1; m <= cs.nf; ++m) sed[cs.fine_class[ix(m)]] = wash[m];
            double& water = cc.mass[i][f];
            double& att = sb.attached[i][f];
            const double total = std::max(water, 0.0) + std::max(att, 0.0);
            const partition_result r = partition_body(sc, kd, V, total, sed, nullptr, nullptr,
                                                      fract, sb.node_conc[i].data() + f * cstride);
            if (r.nan_seen) std::printf("bad number");
            const double d = total * r.dissolved_fraction;   // g in the water
            released += d - water;
            water = d;
            att = total - d;
            if (att < -kSorbZero) std::printf("error");
            cc.conc[i][f] = water > 0.0 ? water / V : 0.0;
        }
    }
    return released;
}

}  // namespace

void step_channel_sediment_constituents(run_state& rs) {
    sed_bound_record& sb = rs.sed_bound;
    if (!sb.on || !channel_rows_ready(rs)) return;
    if (!process_due(rs, rs.con_chan_next)) return;
    const double t = (rs.time - rs.con_chan_last) * kConSecondsPerDay;   // s
    constituent_channel& cc = rs.con_chan;
    for (int i = 1; i <= rs.num_constituents; ++i) {
        const size_t ii = ix(i);
        if (rs.constituent_type[ii] != 1) continue;
        std::vector<double>& A = sb.attached[ii];
        std::vector<double>& lat = sb.qlat_attached[ii];
        attached_face_masses(rs, ii);
        double gone = 0.0;   // g through the outlet
        // Node update: lateral mass, then the faces.
        for_transport_nodes(rs, [&](int l, int j, size_t f) {
            double in = lat[f];
            lat[f] = 0.0;
            if (j > 1) {
                in += sb.face_down[f - 1] - sb.face_up[f - 1];
            } else {
                for (int u : cc.feeders[ix(l)]) {
                    const size_t e = ix(cc.stride * u + rs.nx[ix(u)]);
                    in += sb.face_down[e] - sb.face_up[e];
                }
            }
            const size_t below = node_below(rs, l, j);
            const double out = sb.face_down[f] - (below != 0 ? sb.face_up[f] : 0.0);
            A[f] += in - out;
            if (A[f] < 0.0) A[f] = 0.0;   // rounding of a node given whole
            sb.flux_rate[ii][f] = t > 0.0 ? out / t : 0.0;
            if (below == 0) gone += sb.face_down[f];   // left the network (0 where it stays)
        });
        rs.con_tot.sed_out[ii] += gone / 1000.0;
        rs.con_tot.chan_attached_out[ii] += gone / 1000.0;
        rs.con_tot.sed_released[ii] += partition_nodes(rs, ii) / 1000.0;
    }
    std::fill(sb.face_volume.begin(), sb.face_volume.end(), 0.0);
}

double sorbed_overland_mass(const run_state& rs, int i) {
    const sed_bound_record& sb = rs.sed_bound;
    if (!sb.on) return 0.0;
    double m = 0.0;
    for (int k = 1; k <= sb.cells; ++k) m += sb.sorbed[ix(i)][ix(k)];
    return m;
}

double sorbed_channel_mass(const run_state& rs, int i) {
    const sed_bound_record& sb = rs.sed_bound;
    if (!sb.on || !channel_rows_ready(rs)) return 0.0;
    double m = 0.0;
    for_transport_nodes(rs, [&](int, int, size_t f) {
        m += sb.attached[ix(i)][f] + sb.qlat_attached[ix(i)][f];
    });
    return m;
}
