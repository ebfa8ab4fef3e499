// The Richards soil columns over a moving water table: storage coefficient
// of the aquifer from the ground the table crosses, re-layout of the columns
// after each groundwater step, and the water they exchange with the aquifer.
#include "subsurface/gw_richards.h"

#include <algorithm>
#include <cmath>

#include "core/parallel.h"
#include "run/run_state.h"
#include "subsurface/richards_soil.h"

namespace {

constexpr double kCmPerM = 100.0;
constexpr double kZeroDepth = 1e-16;        // cm: a depth at most this counts as none
constexpr double kSameHead = 1e-12;         // m: heads this close give the content at the table
constexpr double kSliverFraction = 1e-4;    // a cut node thinner than this x its spacing joins the node above
constexpr double kRelaidStep = 1.0 / 360.0; // h: longest first sub-step of a re-laid column
constexpr double kDerivedAquiferDz = 0.1;   // m: node spacing below the soil when not given

inline size_t ix(int i) { return static_cast<size_t>(i); }
inline bool fixed_head(int code) { return code == 2 || code == 5; }

template <class T>
bool spans(const std::vector<T>& v, int n) {
    return static_cast<int>(v.size()) > n;
}

const soil_layer_record* cell_soil(const run_state& rs, int i) {
    if (!spans(rs.soiltype, i)) return nullptr;
    const int id = rs.soiltype[ix(i)];
    if (id < 1 || id >= subsurface_state::kSoilTableSize) return nullptr;
    const soil_layer_record& s = rs.soil_table[id];
    return s.richards_nodes >= 1 ? &s : nullptr;
}

// Node spacing below the soil, cm.
double aquifer_dz(const run_state& rs) {
    return (rs.aquifer_delta_z > 0.0 ? rs.aquifer_delta_z : kDerivedAquiferDz) * kCmPerM;
}

// Saturated content of the aquifer material under cell i, m3/m3.
double aquifer_theta_s(const run_state& rs, int i, const soil_layer_record& soil) {
    return spans(rs.gw_porosity, i) && rs.gw_porosity[ix(i)] > 0.0 ? rs.gw_porosity[ix(i)]
                                                                    : soil.porosity[2];
}

// The saturated content of the ground as layers of depth (cm below the
// ground): 1 above the ground, the soil's layers on their node grid, then the
// aquifer material.
struct ground_layers {
    double base[3] = {};    // bottom of each soil layer's nodes, cm
    double theta_s[5] = {}; // above ground, layers 1-3, aquifer
    double at(double depth) const {   // content just above `depth`
        if (depth <= 0.0) return theta_s[0];
        for (int k = 0; k < 3; ++k)
            if (depth <= base[k]) return theta_s[k + 1];
        return theta_s[4];
    }
    double integral(double a, double b) const {   // a < b, cm x m3/m3
        const double edges[5] = {-1e300, 0.0, base[0], base[1], base[2]};
        double sum = 0.0;
        for (int k = 0; k < 5; ++k) {
            const double lo = std::max(a, edges[k]);
            const double hi = std::min(b, k < 4 ? edges[k + 1] : 1e300);
            if (hi > lo) sum += (hi - lo) * theta_s[k];
        }
        return sum;
    }
};

ground_layers layers_of(const run_state& rs, int i, const soil_layer_record& soil) {
    ground_layers g;
    const int ends[3] = {soil.layer1_end, soil.layer2_end, soil.richards_nodes};
    double depth = 0.0;
    int before = 0;
    for (int k = 0; k < 3; ++k) {
        const int nodes = std::max(0, ends[k] - before);
        depth += nodes * soil.node_dz[k];
        g.base[k] = depth;
        before = std::max(before, ends[k]);
        g.theta_s[k + 1] = soil.porosity[k];
    }
    g.theta_s[0] = 1.0;
    g.theta_s[4] = aquifer_theta_s(rs, i, soil);
    return g;
}

bool in_lake(const run_state& rs, int i) {
    if (rs.channel_lakes && spans(rs.lake_mask, i) && rs.lake_mask[ix(i)] > 0) return true;
    return rs.lakes && spans(rs.oland_lake_mask, i) && rs.oland_lake_mask[ix(i)] > 0;
}

// The column's node arrays hold at least `slots` entries (values kept).
void ensure_slots(richards_column& col, std::vector<double>& theta, std::vector<double>& dz,
                  std::vector<double>& theta_s, int slots) {
    const size_t n = ix(slots);
    if (theta.size() >= n && col.head.size() >= n && col.soil.size() >= n) return;
    for (std::vector<double>* v : {&col.head, &col.k_rel, &col.capacity, &col.flux, &col.source,
                                   &theta, &dz, &theta_s}) {
        if (v->size() < n) v->resize(n, 0.0);
    }
    if (col.soil.size() < n) col.soil.resize(n, richards_node_soil{});
}

// Node 0 mirrors node 1.
void mirror_top(richards_column& col, std::vector<double>& theta, std::vector<double>& dz,
                std::vector<double>& theta_s) {
    col.soil[0] = col.soil[1];
    dz[0] = dz[1];
    theta_s[0] = theta_s[1];
    theta[0] = theta[1];
    col.head[0] = col.head[1];
    col.flux[0] = 0.0;
}

// True when the head of cell i differs from its head at the start of the
// groundwater step (only held heads move a fixed-head cell).
bool held_head_moved(const run_state& rs, int i) {
    return spans(rs.gw_head_prev, i) && rs.elevgw[ix(i)] != rs.gw_head_prev[ix(i)];
}

}  // namespace

double gw_layer_average(const run_state& rs, int i, double h0, double h) {
    const size_t c = ix(i);
    const soil_layer_record* soil = cell_soil(rs, i);
    const double ground = rs.elevation[c];   // m
    if (soil == nullptr) return h > ground ? 1.0 : rs.gw_porosity[c];
    const ground_layers g = layers_of(rs, i, *soil);
    const double d0 = (ground - h0) * kCmPerM;   // cm below the ground
    const double d1 = (ground - h) * kCmPerM;
    if (std::fabs(h - h0) <= kSameHead) return g.at(d1);
    const double lo = std::min(d0, d1), hi = std::max(d0, d1);
    return g.integral(lo, hi) / (hi - lo);
}

double gw_soil_profile(run_state& rs, int i, richards_relayout_work& w) {
    const size_t c = ix(i);
    const soil_layer_record* soil = cell_soil(rs, i);
    if (soil == nullptr || !spans(rs.richards_nodes, i)) return 0.0;
    const int model = rs.richards_c_option;
    const double adz = aquifer_dz(rs);
    const double ath = aquifer_theta_s(rs, i, *soil);
    richards_column& col = rs.richards_columns[c];
    std::vector<double>& theta = rs.richards_theta[c];
    std::vector<double>& dz = rs.richards_dz[c];
    std::vector<double>& ths = rs.richards_theta_s[c];

    // The unsaturated nodes before the re-layout.
    const int old_count = rs.richards_nodes[c];
    w.top.clear();
    w.bottom.clear();
    w.theta.clear();
    double depth = 0.0, held = 0.0;   // cm
    for (int k = 1; k <= old_count - 1; ++k) {
        w.top.push_back(depth);
        depth += dz[ix(k)];
        w.bottom.push_back(depth);
        w.theta.push_back(theta[ix(k)]);
        held += theta[ix(k)] * dz[ix(k)];
    }
    const double old_depth = depth;
    const double new_depth = (rs.elevation[c] - rs.elevgw[c]) * kCmPerM;
    if (spans(rs.dtr, i)) rs.dtr[c] = std::min(rs.dtr[c], kRelaidStep);

    if (new_depth <= kZeroDepth) {
        // Table at or above the ground: one saturated node.
        ensure_slots(col, theta, dz, ths, 3);
        double spacing = 0.0;
        richards_grid_node(*soil, 1, model, ath, adz, col.soil[1], ths[1], spacing);
        dz[1] = spacing;
        theta[1] = ths[1];
        col.head[1] = -new_depth + 0.5 * spacing;
        rs.richards_nodes[c] = 1;
        mirror_top(col, theta, dz, ths);
        richards_update_row(col, theta.data(), ths.data(), 1, model);
        rs.yes_exfil[c] = in_lake(rs, i) ? 0 : 1;
        return held;
    }
    rs.yes_exfil[c] = 0;

    // Unsaturated nodes on the grid down to the table, the last one cut there.
    int k = 0;
    depth = 0.0;
    while (true) {
        ++k;
        ensure_slots(col, theta, dz, ths, k + 3);
        double spacing = 0.0;
        richards_grid_node(*soil, k, model, ath, adz, col.soil[ix(k)], ths[ix(k)], spacing);
        if (depth + spacing < new_depth) {
            dz[ix(k)] = spacing;
            depth += spacing;
            continue;
        }
        const double part = new_depth - depth;
        if (part < kSliverFraction * spacing && k > 1) {
            dz[ix(k - 1)] += part;   // a sliver joins the node above
            --k;
        } else {
            dz[ix(k)] = part;
        }
        break;
    }
    const int last = k;   // last unsaturated node

    // Water of each new node: the old nodes' water where they overlap, the
    // content in equilibrium with the new table below the old one; the old
    // water below the new table stays in the last node.
    const size_t old_nodes = w.top.size();
    size_t j = 0;
    double top = 0.0, kept = 0.0;
    for (int m = 1; m <= last; ++m) {
        const size_t mm = ix(m);
        const double bottom = top + dz[mm];
        double water = 0.0;   // cm
        while (j < old_nodes && w.bottom[j] <= top) ++j;
        for (size_t o = j; o < old_nodes && w.top[o] < bottom; ++o) {
            const double overlap = std::min(bottom, w.bottom[o]) - std::max(top, w.top[o]);
            if (overlap > 0.0) water += w.theta[o] * overlap;
        }
        const double below = bottom - std::max(top, old_depth);   // cm newly above the table
        if (below > 0.0) {
            const double mid = 0.5 * (bottom + std::max(top, old_depth));
            water += below * richards_theta_of_head(col.soil[mm], ths[mm], -(new_depth - mid), model);
        }
        theta[mm] = water / dz[mm];
        top = bottom;
    }
    for (size_t o = 0; o < old_nodes; ++o) {
        const double overlap = w.bottom[o] - std::max(new_depth, w.top[o]);
        if (overlap > 0.0) kept += w.theta[o] * overlap;
    }
    theta[ix(last)] += kept / dz[ix(last)];
    // Contents stay within the residual floor and saturation; going up from
    // the table, what lifts a node above saturation leaves for the aquifer.
    for (int m = 1; m <= last; ++m) {
        const size_t mm = ix(m);
        const double floor =
            col.soil[mm].theta_r + kRichardsResidualMargin * (ths[mm] - col.soil[mm].theta_r);
        theta[mm] = std::max(theta[mm], floor);
    }
    for (int m = last; m >= 1 && theta[ix(m)] >= ths[ix(m)]; --m) theta[ix(m)] = ths[ix(m)];
    double now = 0.0;   // cm
    for (int m = 1; m <= last; ++m) {
        const size_t mm = ix(m);
        // A node still above saturation (above an unsaturated one) keeps its
        // head at 0 and its content at saturation.
        theta[mm] = std::min(theta[mm], ths[mm]);
        col.head[mm] = richards_head_of_theta(col.soil[mm], ths[mm], theta[mm], model);
        now += theta[mm] * dz[mm];
    }

    // The saturated bottom node below the table.
    const int bottom_node = last + 1;
    double spacing = 0.0;
    richards_grid_node(*soil, bottom_node, model, ath, adz, col.soil[ix(bottom_node)],
                       ths[ix(bottom_node)], spacing);
    dz[ix(bottom_node)] = spacing;
    theta[ix(bottom_node)] = ths[ix(bottom_node)];
    col.head[ix(bottom_node)] = 0.5 * spacing;
    rs.richards_nodes[c] = bottom_node;
    mirror_top(col, theta, dz, ths);
    richards_update_row(col, theta.data(), ths.data(), bottom_node, model);
    return held - now;
}

void couple_richards_to_aquifer(run_state& rs) {
    if (!rs.inf_richards || !rs.gw_simulation || !rs.water_table) return;
    const int model = rs.richards_c_option;
    const double adz = aquifer_dz(rs);
    for (int i = 1; i <= rs.GNUM && spans(rs.richards_nodes, i); ++i) {
        const soil_layer_record* soil = cell_soil(rs, i);
        if (soil == nullptr) continue;
        const size_t c = ix(i);
        const int count = rs.richards_nodes[c];
        if (count < 2) continue;   // the table stands at the ground
        richards_column& col = rs.richards_columns[c];
        std::vector<double>& theta = rs.richards_theta[c];
        std::vector<double>& ths = rs.richards_theta_s[c];
        const double ath = aquifer_theta_s(rs, i, *soil);
        for (int k = soil->richards_nodes + 1; k <= count; ++k) {
            const size_t kk = ix(k);
            double spacing = 0.0;   // the walk to the table may have cut the node
            richards_grid_node(*soil, k, model, ath, adz, col.soil[kk], ths[kk], spacing);
            theta[kk] = k == count ? ths[kk]
                                   : richards_theta_of_head(col.soil[kk], ths[kk], col.head[kk], model);
        }
        richards_update_row(col, theta.data(), ths.data(), count, model);
    }
}

void adjust_richards_to_table(run_state& rs) {
    if (!rs.inf_richards) return;
    const int n = rs.GNUM;
    if (n <= 0 || !spans(rs.richards_nodes, n) || !spans(rs.yes_exfil, n) ||
        !spans(rs.gw_unsat_exchange, n))
        return;
    std::vector<double> moved(ix(n) + 1, 0.0);   // cm per cell, + to the aquifer
    double* out = moved.data();
#pragma omp parallel if (n >= kParallelCells)
    {
        richards_relayout_work w;
#pragma omp for schedule(static)
        for (int i = 1; i <= n; ++i) {
            // A fixed head moves only when an outer model's held head moved it.
            if (fixed_head(rs.gwbound[ix(i)]) && !held_head_moved(rs, i)) continue;
            out[i] = gw_soil_profile(rs, i, w);
        }
    }
    // Serial, in cell order: totals independent of the thread count.
    const double area = rs.cell_size * rs.cell_size;
    rs.exfiltration = 0;
    for (int i = 1; i <= n; ++i) {
        const size_t c = ix(i);
        if (rs.yes_exfil[c]) rs.exfiltration = 1;
        if (moved[c] == 0.0) continue;
        const double v = moved[c] / kCmPerM * area;   // m3 into the aquifer
        rs.event_vol_gw_to_unsat -= v;
        rs.gw_vol_sat_unsat += v;
        if (fixed_head(rs.gwbound[c])) {
            // The fixed head takes it out of the model across its boundary.
            rs.gw_vol_inputs += v;
            rs.gw_vol_boundary_flux -= v;
        } else {
            rs.gw_unsat_exchange[c] += moved[c];
        }
    }
}
