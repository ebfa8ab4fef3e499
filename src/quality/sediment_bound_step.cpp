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
// A lake of the channel network is one store: the wash load that enters it
// brings the sorbed concentration of the node it leaves, its outflow wash
// load takes the lake's, and overland faces of its cells do the same (a
// cell the lake holds gives the lake its sorbed mass). The sediment the lake
// settles takes its sorbed mass with it (a lake deposit), and at the channel
// water-quality time the lake's mass is split again between its water (the
// lake store of the dissolved constituents) and its suspended sediment. A
// lake, like a node, never gives more than it holds; nodes a lake takes
// hand it their sorbed mass.
//
// Every transfer is taken from one store and given to another with the same
// number, so dissolved + sorbed + soil + outlet stays the initial mass.
#include "quality/sediment_bound_step.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "channel/channel_records.h"
#include "core/parallel.h"
#include "quality/conc_lakes.h"
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
    for (auto* r : {&sb.node_want, &sb.leave_scale, &sb.face_net}) r->assign(slots, 0.0);
    sb.node_volume.assign(stride, 0.0);
    sb.node_scratch.assign(stride, 0.0);
    // Channel-network lakes hold sorbed mass on their suspended sediment.
    if (rs.channel_lakes && rs.num_channel_lakes >= 1 && cs.lakes == rs.num_channel_lakes) {
        const int lakes = cs.lakes;
        sb.lakes = lakes;
        for (auto* r : {&sb.lake_attached, &sb.lake_settled})
            r->assign(ix(n) + 1, std::vector<double>(ix(lakes) + 1, 0.0));
        sb.lake_conc.assign(ix(n) + 1, std::vector<double>((ix(lakes) + 1) * stride, 0.0));
        sb.lake_settle_volume.assign((ix(lakes) + 1) * cs.stride, 0.0);
        sb.lake_class_conc.assign(stride, 0.0);
        sb.lake_out_conc.assign((ix(lakes) + 1) * stride, 0.0);
        for (auto* r : {&sb.lake_from_grid, &sb.lake_want, &sb.lake_give_scale})
            r->assign(ix(lakes) + 1, 0.0);
    }
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

// True when the lakes of the channel network carry sorbed mass and the cell
// lake map is there to tell their cells.
bool lake_rows_ready(const run_state& rs) {
    const sed_bound_record& sb = rs.sed_bound;
    return sb.lakes > 0 && rs.channel_lakes && sb.lake_attached.size() > 0 &&
           rs.lake_mask.size() > ix(sb.cells) && rs.con_lake.channel && rs.con_lake.lakes == sb.lakes;
}

// The sorbed concentration (g per m3 of class sediment) that overland faces
// leaving a lake cell carry: the lake's, scaled down so that all such faces
// of the step together take at most the mass the lake holds on its sediment.
void lake_faces_limit(run_state& rs, size_t i) {
    sed_bound_record& sb = rs.sed_bound;
    const size_t stride = ix(sb.classes) + 1;
    const int* lake = rs.lake_mask.data();
    const double* sk = sb.lake_conc[i].data();
    std::fill(sb.lake_want.begin(), sb.lake_want.end(), 0.0);
    auto lake_cell = [&](int c) { return c >= 1 && lake[c] >= 1 && lake[c] <= sb.lakes; };
    for (int k = 1; k <= sb.cells; ++k) {
        if (lake_cell(k)) continue;
        const size_t b = ix(k) * stride;
        const int nb[4] = {rs.leftcon[ix(k)], rs.rightcon[ix(k)], rs.abovecon[ix(k)], rs.belowcon[ix(k)]};
        for (int l = 1; l <= sb.classes; ++l) {
            if (sb.flag[ix(l)] != 0) continue;
            // Volume entering k across its left, right, upper and lower faces.
            const double in[4] = {
                nb[0] != 0 ? sb.face_x[ix(nb[0]) * stride + ix(l)] : 0.0, nb[1] != 0 ? -sb.face_x[b + ix(l)] : 0.0,
                nb[2] != 0 ? sb.face_y[ix(nb[2]) * stride + ix(l)] : 0.0, nb[3] != 0 ? -sb.face_y[b + ix(l)] : 0.0};
            for (int f = 0; f < 4; ++f) {
                if (!(in[f] > 0.0) || !lake_cell(nb[f])) continue;
                const int u = lake[nb[f]];
                sb.lake_want[ix(u)] += in[f] * sk[ix(u) * stride + ix(l)];
            }
        }
    }
    for (int u = 1; u <= sb.lakes; ++u) {
        const double held = std::max(sb.lake_attached[i][ix(u)], 0.0);
        const double want = sb.lake_want[ix(u)];
        const double r = want > held ? (held > 0.0 ? held / want : 0.0) : 1.0;
        for (size_t l = 0; l < stride; ++l)
            sb.lake_out_conc[ix(u) * stride + l] = sk[ix(u) * stride + l] * r;
        sb.lake_from_grid[ix(u)] = 0.0;
    }
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
    // Cells of the channel-network lakes: their lake holds what reaches them.
    const int* lake = lake_rows_ready(rs) ? rs.lake_mask.data() : nullptr;
    g.lake = lake;

    for (int i = 1; i <= rs.num_constituents; ++i) {
        const size_t ii = ix(i);
        if (rs.constituent_type[ii] != 1) continue;
        double* total = sb.sorbed[ii].data();
        double* water = rs.con.mass[ii].data();
        double* conc = rs.con.conc[ii].data();
        double* pending = sb.pending.data();
        double* exchange = sb.soil_exchange.data();
        // A cell a lake holds gives its sorbed mass to the lake; the lake's
        // water holds the cell's dissolved mass.
        if (lake != nullptr) {
            for (int k = 1; k <= cells; ++k) {
                if (lake[k] < 1 || lake[k] > sb.lakes) continue;
                sb.lake_attached[ii][ix(lake[k])] += total[k];
                total[k] = 0.0;
            }
        }
        // The cell's mass: what its sediment holds and what its water holds.
#pragma omp parallel for schedule(static) if (parallel)
        for (int k = 1; k <= cells; ++k) {
            if (lake == nullptr || lake[k] < 1) total[k] += water[k];
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
        if (lake != nullptr) {
            lake_faces_limit(rs, ii);
            st.lake_sorbed = sb.lake_out_conc.data();
            st.lake_source = sb.lake_from_grid.data();
        }
        move_sediment_bound_mass(sc, g, st, sb.work.data());
        if (lake != nullptr) {
            // In lake order: what the faces gave each lake (negative: took).
            for (int u = 1; u <= sb.lakes; ++u) {
                double& A = sb.lake_attached[ii][ix(u)];
                A += sb.lake_from_grid[ix(u)];
                if (A < 0.0) A = 0.0;   // rounding of a lake given whole
            }
        }
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
    for (int u = 1; u <= sb.lakes && u <= cs.lakes; ++u) {
        const double* settled = cs.ss_settled.data() + ix(u) * cs.stride;
        double* v = sb.lake_settle_volume.data() + ix(u) * cs.stride;
        for (int m = 1; m <= cs.nf; ++m) v[m] += settled[m];
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

inline bool lake_like(int type) { return is_lake(type) || is_overtaken(type); }

// Lake of a channel-lake or overtaken link, 0 none (or beyond the rows).
int lake_of_link(const run_state& rs, int l) {
    if (l < 1 || l > rs.links || ix(l) >= rs.lake2link.size() || !lake_like(rs.ltype[ix(l)])) return 0;
    const int u = rs.lake2link[ix(l)];
    return u >= 1 && u <= rs.sed_bound.lakes ? u : 0;
}

// First link below link l past its structure links, 0 when the water leaves
// the network.
int below_structures(const run_state& rs, int l) {
    int d = rs.dslink[ix(l)];
    for (int guard = 0; d >= 1 && d <= rs.links && is_structure(rs.ltype[ix(d)]) && guard < rs.links; ++guard)
        d = rs.dslink[ix(d)];
    return d >= 1 && d <= rs.links ? d : 0;
}

constexpr int kNode = 0, kLake = 1, kOut = 2;

// Attached mass of constituent i that the wash load gathered since the last
// step carries across every face of the network, each face at the sorbed
// concentration of the side its sediment leaves: between nodes, from a node
// into the lake below it, from a lake into the node (or lake) below it, and
// out of the network. Then each node and each lake gives at most what it
// holds.
void collect_moves(run_state& rs, size_t i) {
    sed_bound_record& sb = rs.sed_bound;
    const chan_sed_record& cs = rs.chan_sed;
    const size_t cstride = ix(sb.classes) + 1;
    const std::vector<double>& node_sk = sb.node_conc[i];
    const double* lake_sk = sb.lakes > 0 ? sb.lake_conc[i].data() : nullptr;
    sb.moves.clear();
    auto conc = [&](int kind, size_t at, int c) {
        if (kind == kNode) return node_sk[at * cstride + ix(c)];
        if (kind == kLake) return lake_sk[at * cstride + ix(c)];
        return 0.0;
    };
    // Face `face` between store a (above) and store b (below).
    auto add = [&](int ak, size_t a, int bk, size_t b, size_t face) {
        const double* v = sb.face_volume.data() + face * cs.stride;
        double down = 0.0, up = 0.0;   // g
        for (int m = 1; m <= cs.nf; ++m) {
            const int c = cs.fine_class[ix(m)];
            if (v[m] > 0.0) down += v[m] * conc(ak, a, c);
            else if (v[m] < 0.0 && bk != kOut) up += -v[m] * conc(bk, b, c);
        }
        if (down > 0.0) sb.moves.push_back({ak, bk, a, b, face, 1.0, down});
        if (up > 0.0) sb.moves.push_back({bk, ak, b, a, face, -1.0, up});
    };
    const int stride = rs.con_chan.stride;
    for_transport_nodes(rs, [&](int l, int j, size_t f) {
        if (j < rs.nx[ix(l)]) {
            add(kNode, f, kNode, f + 1, f);
            return;
        }
        const int d = below_structures(rs, l);
        if (d == 0) {
            add(kNode, f, kOut, 0, f);
        } else if (lake_like(rs.ltype[ix(d)])) {
            const int u = lake_of_link(rs, d);
            if (u != 0) add(kNode, f, kLake, ix(u), f);
        } else if (con_transport_link(rs.ltype[ix(d)]) && rs.nx[ix(d)] >= 1) {
            add(kNode, f, kNode, ix(stride * d + 1), f);
        }
        // Otherwise the sediment stays at the node; so does its mass.
    });
    // A lake's outflow, as the wash load books it: the face at the lake
    // link's last node, when the link below is no lake (or at the outlet).
    for (int L = 1; L <= rs.links && sb.lakes > 0; ++L) {
        const int u = lake_of_link(rs, L);
        const int n = rs.nx[ix(L)];
        if (u == 0 || n < 1) continue;
        const int D = rs.dslink[ix(L)];
        const bool out = D == 0 ? L == rs.links : (D >= 1 && D <= rs.links && !lake_like(rs.ltype[ix(D)]));
        if (!out) continue;
        const size_t f = ix(stride * L + n);
        const int d = below_structures(rs, L);
        if (d == 0) {
            add(kLake, ix(u), kOut, 0, f);
        } else if (lake_like(rs.ltype[ix(d)])) {
            const int u2 = lake_of_link(rs, d);
            if (u2 != 0 && u2 != u) add(kLake, ix(u), kLake, ix(u2), f);
        } else if (con_transport_link(rs.ltype[ix(d)]) && rs.nx[ix(d)] >= 1) {
            add(kLake, ix(u), kNode, ix(stride * d + 1), f);
        }
    }
    // Each store gives at most what it holds.
    std::fill(sb.node_want.begin(), sb.node_want.end(), 0.0);
    std::fill(sb.lake_want.begin(), sb.lake_want.end(), 0.0);
    for (const sorbed_move& mv : sb.moves)
        (mv.from_kind == kNode ? sb.node_want[mv.from] : sb.lake_want[mv.from]) += mv.mass;
    auto scale = [](double want, double held) {
        held = std::max(held, 0.0);
        return want > held ? (held > 0.0 ? held / want : 0.0) : 1.0;
    };
    const std::vector<double>& A = sb.attached[i];
    for (size_t f = 0; f < sb.node_want.size(); ++f) sb.leave_scale[f] = scale(sb.node_want[f], A[f]);
    for (int u = 1; u <= sb.lakes; ++u)
        sb.lake_give_scale[ix(u)] = scale(sb.lake_want[ix(u)], sb.lake_attached[i][ix(u)]);
    for (sorbed_move& mv : sb.moves)
        mv.mass *= mv.from_kind == kNode ? sb.leave_scale[mv.from] : sb.lake_give_scale[mv.from];
}

// Nodes that a lake took since the last routing give their attached mass,
// and the mass on its way to them, to that lake.
void attached_into_lakes(run_state& rs, size_t i) {
    sed_bound_record& sb = rs.sed_bound;
    const constituent_channel& cc = rs.con_chan;
    if (sb.lakes < 1 || cc.nx_seen.size() <= ix(rs.links)) return;
    for (int l = 1; l <= rs.links; ++l) {
        const int type = rs.ltype[ix(l)];
        if (is_lake(type) || is_structure(type)) continue;
        for (int j = std::max(rs.nx[ix(l)], 0) + 1; j <= cc.nx_seen[ix(l)]; ++j) {
            const size_t f = ix(cc.stride * l + j);
            int u = rs.taken_by_lake.has(j, l) ? rs.taken_by_lake(ix(j), ix(l)) : 0;
            if (u < 1 || u > sb.lakes) u = lake_of_link(rs, l);
            if (u < 1 || u > sb.lakes) u = lake_of_link(rs, rs.dslink[ix(l)]);
            if (u < 1 || u > sb.lakes) continue;
            sb.lake_attached[i][ix(u)] += sb.attached[i][f] + sb.qlat_attached[i][f];
            sb.attached[i][f] = sb.qlat_attached[i][f] = 0.0;
        }
    }
}

// Each lake's attached mass settles with the wash load the lake settled
// since the last step, at the lake's sorbed concentration, at most what it
// holds. Returns the mass settled, g.
double settle_lake_attached(run_state& rs, size_t i) {
    sed_bound_record& sb = rs.sed_bound;
    const chan_sed_record& cs = rs.chan_sed;
    const size_t cstride = ix(sb.classes) + 1;
    double settled = 0.0;   // g, in lake order
    for (int u = 1; u <= sb.lakes; ++u) {
        const double* v = sb.lake_settle_volume.data() + ix(u) * cs.stride;
        const double* sk = sb.lake_conc[i].data() + ix(u) * cstride;
        double want = 0.0;   // g
        for (int m = 1; m <= cs.nf; ++m) want += v[m] * sk[cs.fine_class[ix(m)]];
        double& A = sb.lake_attached[i][ix(u)];
        const double s = std::min(want, std::max(A, 0.0));
        if (!(s > 0.0)) continue;
        A -= s;
        sb.lake_settled[i][ix(u)] += s;
        settled += s;
    }
    return settled;
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

// Splits the mass of every lake of constituent i between its water (the
// lake store of the dissolved constituents) and its suspended sediment (the
// lake's class concentrations of the wash-load step). Returns the mass
// passed into the water (negative: sorbed), g.
double partition_lakes(run_state& rs, size_t i) {
    sed_bound_record& sb = rs.sed_bound;
    const chan_sed_record& cs = rs.chan_sed;
    constituent_lakes& cl = rs.con_lake;
    if (sb.lakes < 1 || cl.lakes != sb.lakes || cl.mass.size() <= i) return 0.0;
    const sorbing_classes sc = classes_of(rs);
    const size_t cstride = ix(sb.classes) + 1;
    const double kd =
        rs.water_soil_partition_coef.size >= static_cast<int>(i) ? rs.water_soil_partition_coef[static_cast<int>(i)] : 0.0;
    double* conc = sb.lake_class_conc.data();
    double released = 0.0;   // g, in lake order
    for (int u = 1; u <= sb.lakes; ++u) {
        std::fill(sb.lake_class_conc.begin(), sb.lake_class_conc.end(), 0.0);
        const double* ss = cs.ss_conc.data() + ix(u) * cs.stride;   // g/m3 per fine class
        for (int m = 1; m <= cs.nf; ++m) conc[cs.fine_class[ix(m)]] = ss[m];
        released += split_lake(sc, kd, lake_store_water(rs, u), conc, cl.mass[i][ix(u)],
                               sb.lake_attached[i][ix(u)], sb.node_scratch.data(),
                               sb.lake_conc[i].data() + ix(u) * cstride);
        set_lake_conc(rs, static_cast<int>(i), u);
    }
    return released;
}

}  // namespace

void step_channel_sediment_constituents(run_state& rs) {
    sed_bound_record& sb = rs.sed_bound;
    if (!sb.on || !channel_rows_ready(rs)) return;
    if (!process_due(rs, rs.con_chan_next)) return;
    const double t = process_elapsed_seconds(rs, rs.con_chan_last);   // s
    for (int i = 1; i <= rs.num_constituents; ++i) {
        const size_t ii = ix(i);
        if (rs.constituent_type[ii] != 1) continue;
        std::vector<double>& A = sb.attached[ii];
        std::vector<double>& lat = sb.qlat_attached[ii];
        attached_into_lakes(rs, ii);
        collect_moves(rs, ii);
        // Lateral mass joins the nodes, then the faces move what they carry.
        for_transport_nodes(rs, [&](int, int, size_t f) {
            A[f] += lat[f];
            lat[f] = 0.0;
        });
        std::fill(sb.face_net.begin(), sb.face_net.end(), 0.0);
        double gone = 0.0;   // g through the outlet
        for (const sorbed_move& mv : sb.moves) {
            (mv.from_kind == kNode ? A[mv.from] : sb.lake_attached[ii][mv.from]) -= mv.mass;
            if (mv.to_kind == kNode) A[mv.to] += mv.mass;
            else if (mv.to_kind == kLake) sb.lake_attached[ii][mv.to] += mv.mass;
            else gone += mv.mass;
            sb.face_net[mv.face] += mv.sign * mv.mass;
        }
        for_transport_nodes(rs, [&](int, int, size_t f) {
            if (A[f] < 0.0) A[f] = 0.0;   // rounding of a node given whole
            sb.flux_rate[ii][f] = t > 0.0 ? sb.face_net[f] / t : 0.0;
        });
        for (int u = 1; u <= sb.lakes; ++u)
            if (sb.lake_attached[ii][ix(u)] < 0.0) sb.lake_attached[ii][ix(u)] = 0.0;
        rs.con_tot.sed_out[ii] += gone / 1000.0;
        rs.con_tot.chan_attached_out[ii] += gone / 1000.0;
        rs.con_tot.sed_lake_settled[ii] += settle_lake_attached(rs, ii) / 1000.0;
        const double nodes = partition_nodes(rs, ii), lakes = partition_lakes(rs, ii);   // g released
        rs.con_tot.sed_released[ii] += (nodes + lakes) / 1000.0;
        rs.con_tot.chan_sed_exchange[ii] += nodes / 1000.0;
        rs.con_tot.lake_attached_exchange[ii] += lakes / 1000.0;
    }
    std::fill(sb.face_volume.begin(), sb.face_volume.end(), 0.0);
    std::fill(sb.lake_settle_volume.begin(), sb.lake_settle_volume.end(), 0.0);
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
    // Every slot: a node a lake took keeps its mass until the lake takes it.
    const std::vector<double>& A = sb.attached[ix(i)];
    const std::vector<double>& lat = sb.qlat_attached[ix(i)];
    for (size_t f = 0; f < A.size(); ++f) m += A[f] + lat[f];
    for (int u = 1; u <= sb.lakes; ++u) m += sb.lake_attached[ix(i)][ix(u)];
    return m;
}
