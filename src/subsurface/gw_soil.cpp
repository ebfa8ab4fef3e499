// The redistribution and layered soil columns over a moving water table, and
// the water in transit between the soil, the surface and the aquifer.
#include "subsurface/gw_soil.h"

#include <algorithm>
#include <vector>

#include "core/parallel.h"
#include "run/run_state.h"
#include "subsurface/groundwater.h"

namespace {

constexpr double kZeroDepth = 1e-16;   // cm: a depth at most this counts as none
constexpr double kCmPerM = 100.0;
constexpr int kStreamCode = 4;

inline size_t ix(int i) { return static_cast<size_t>(i); }
inline bool fixed_head(int code) { return code == 2 || code == 5; }

template <class T>
bool spans(const std::vector<T>& v, int n) {
    return static_cast<int>(v.size()) > n;
}

// Water of the zone between the soil bottom and a table `depth` cm below
// the ground, cm.
double zone_water(const table_soil& s, double depth) {
    return depth > s.depth ? (depth - s.depth) * s.below : 0.0;
}

bool in_lake(const run_state& rs, int i) {
    if (rs.channel_lakes && spans(rs.lake_mask, i) && rs.lake_mask[ix(i)] > 0) return true;
    return rs.lakes && spans(rs.oland_lake_mask, i) && rs.oland_lake_mask[ix(i)] > 0;
}

}  // namespace

table_move adjust_soil_to_table(const table_soil& s, table_column& col, double old_depth,
                                double new_depth) {
    table_move m;
    m.exchange = zone_water(s, std::max(old_depth, 0.0)) - zone_water(s, std::max(new_depth, 0.0));
    if (new_depth <= kZeroDepth) {
        m.at_ground = true;
        m.recharge = col.water;
        col = table_column{};
        return m;
    }
    const double target = std::min(new_depth, s.depth);   // cm
    if (target < col.front) {
        // The table rose into the column: the saturated part leaves it, its water stays.
        col.front = target;
        if (target <= s.layer1) {
            col.upper += col.lower;
            col.lower = 0.0;
        }
    } else if (target > col.front) {
        // The table fell: the new part holds the retained content.
        const double top = col.front;
        const double split = std::clamp(s.layer1, top, target);
        const double up = (split - top) * s.drained[0];
        const double low = (target - split) * s.drained[1];
        col.upper += up;
        col.lower += low;
        col.water += up + low;
        m.recharge -= up + low;
        col.front = target;
    }
    if (!(col.front > kZeroDepth)) {
        // No soil above the table: nothing holds water.
        m.recharge += col.water;
        col = table_column{};
        return m;
    }
    const double u = std::min(col.front, s.layer1);           // cm
    const double l = std::max(col.front - s.layer1, 0.0);     // cm
    const double most = u * s.porosity[0] + l * s.porosity[1];
    const double least = u * s.residual[0] + l * s.residual[1];
    if (col.water > most) {
        m.recharge += col.water - most;
        col.upper = u * s.porosity[0];
        col.lower = l * s.porosity[1];
        col.water = col.upper + col.lower;
    } else if (col.water < least) {
        m.recharge -= least - col.water;
        col.upper = u * s.residual[0];
        col.lower = l * s.residual[1];
        col.water = col.upper + col.lower;
    }
    return m;
}

bool cell_table_soil(const run_state& rs, int i, table_soil& out) {
    const size_t c = ix(i);
    out = table_soil{};
    out.below = spans(rs.gw_inf_redist_theta, i) ? rs.gw_inf_redist_theta[c] : 0.0;
    if (rs.inf_layered_soil) {
        if (!spans(rs.soiltype, i)) return false;
        const int id = rs.soiltype[c];
        if (id < 1 || id >= subsurface_state::kSoilTableSize) return false;
        const soil_layer_record& soil = rs.soil_table[id];
        out.layer1 = soil.thickness[0];
        out.depth = soil.thickness[0] + soil.thickness[1];
        for (int k = 0; k < 2; ++k) {
            out.porosity[k] = soil.porosity[k];
            out.residual[k] = soil.residual[k];
            out.drained[k] = std::clamp(soil.field_capacity[k], soil.residual[k], soil.porosity[k]);
        }
        return true;
    }
    if (!rs.inf_redist || !spans(rs.phi, i) || !spans(rs.thr, i) || !spans(rs.thi, i)) return false;
    out.depth = rs.soil_moist_depth;
    out.layer1 = rs.top_layer_depth > 0.0 ? std::min(rs.top_layer_depth, out.depth) : out.depth;
    for (int k = 0; k < 2; ++k) {
        out.porosity[k] = rs.phi[c];
        out.residual[k] = rs.thr[c];
        // The scheme has no field capacity: the soil over the table retains the
        // same share of its porosity as the aquifer material below it.
        out.drained[k] = std::clamp(rs.phi[c] * rs.single_unsat_sat, rs.thr[c], rs.phi[c]);
    }
    return true;
}

void adjust_soils_to_table(run_state& rs) {
    if (!rs.inf_redist && !rs.inf_layered_soil) return;
    const int n = rs.GNUM;
    if (n <= 0 || !spans(rs.unsat_depth, n) || !spans(rs.root_zone_water, n) ||
        !spans(rs.root_zone_upper, n) || !spans(rs.root_zone_lower, n) ||
        !spans(rs.yes_exfil, n) || !spans(rs.gw_head_prev, n))
        return;
    std::vector<double> exchange(ix(n) + 1, 0.0);   // cm per cell
    double* zone = exchange.data();
    const run_state& view = rs;
#pragma omp parallel for schedule(static) if (n >= kParallelCells)
    for (int i = 1; i <= n; ++i) {
        const size_t c = ix(i);
        table_soil s;
        if (!cell_table_soil(view, i, s)) continue;
        table_column col{rs.unsat_depth[c], rs.root_zone_water[c], rs.root_zone_upper[c],
                         rs.root_zone_lower[c]};
        const double old_depth = (rs.elevation[c] - rs.gw_head_prev[c]) * kCmPerM;
        const double new_depth = (rs.elevation[c] - rs.elevgw[c]) * kCmPerM;
        const table_move m = adjust_soil_to_table(s, col, old_depth, new_depth);
        rs.unsat_depth[c] = col.front;
        rs.root_zone_water[c] = col.water;
        rs.root_zone_upper[c] = col.upper;
        rs.root_zone_lower[c] = col.lower;
        rs.yes_exfil[c] = m.at_ground && !in_lake(view, i) ? 1 : 0;
        rs.gw_recharge_depth[c] += m.recharge;
        if (!fixed_head(rs.gwbound[c])) rs.gw_cum_recharge[c] += m.recharge;
        zone[i] = m.exchange;
    }
    // Serial, in cell order: totals independent of the thread count.
    const double area = rs.cell_size * rs.cell_size;
    rs.exfiltration = 0;
    for (int i = 1; i <= n; ++i) {
        const size_t c = ix(i);
        if (rs.yes_exfil[c]) rs.exfiltration = 1;
        const double v = zone[i] / kCmPerM * area;   // m3 into the aquifer
        if (v == 0.0) continue;
        rs.event_vol_gw_to_unsat -= v;
        rs.gw_vol_sat_unsat += v;
        if (fixed_head(rs.gwbound[c])) {
            // The fixed head takes it out of the model across its boundary.
            rs.gw_vol_inputs += v;
            rs.gw_vol_boundary_flux -= v;
        } else {
            rs.gw_unsat_exchange[c] += zone[i];
        }
    }
}

void take_exfiltration_from_aquifer(run_state& rs, int i, double m) {
    if (!gw_aquifer_solved(rs) || m == 0.0) return;
    const size_t c = ix(i);
    if (!spans(rs.gwbound, i) || !spans(rs.gw_unsat_exchange, i)) return;
    if (fixed_head(rs.gwbound[c])) {
        // The fixed head supplies it across its boundary.
        const double v = m * rs.cell_size * rs.cell_size;   // m3
        rs.gw_vol_boundary_flux += v;
        rs.gw_vol_inputs -= v;
    } else {
        rs.gw_unsat_exchange[c] -= m * kCmPerM;
    }
}

void book_pending_groundwater(run_state& rs) {
    if (!gw_aquifer_solved(rs)) return;
    const int n = rs.GNUM;
    if (n <= 0 || !spans(rs.gwbound, n) || !spans(rs.gw_recharge_depth, n) ||
        !spans(rs.gw_unsat_exchange, n))
        return;
    if (rs.stream_exchange) book_channel_exchange(rs);
    const bool channel = spans(rs.gw_chan_exchange_vol, n);
    const double area = rs.cell_size * rs.cell_size;
    double stored = 0.0;   // m3
    for (int i = 1; i <= n; ++i) {
        const size_t c = ix(i);
        const double recharge = rs.gw_recharge_depth[c] / kCmPerM * area;   // m3
        rs.vol_unsat_downward += recharge;
        rs.gw_recharge_depth[c] = 0.0;
        if (fixed_head(rs.gwbound[c])) continue;
        rs.gw_vol_recharge += recharge;
        double v = recharge + rs.gw_unsat_exchange[c] / kCmPerM * area;
        rs.gw_unsat_exchange[c] = 0.0;
        if (channel && rs.gwbound[c] == kStreamCode) {
            v -= rs.gw_chan_exchange_vol[c];
            rs.gw_chan_exchange_vol[c] = 0.0;
        }
        // Lake seepage the solver has not taken yet.
        if (spans(rs.gw_lake_exchange_vol, i)) {
            v -= rs.gw_lake_exchange_vol[c];
            rs.gw_vol_from_lakes -= rs.gw_lake_exchange_vol[c];
            rs.gw_lake_exchange_vol[c] = 0.0;
        }
        stored += v;
    }
    rs.gw_vol_storage_change += stored;
    rs.gw_vol_inputs += stored;
}
