// Surface, tile and outfall exchange of the storm-drain network. Inlets work
// through the cells in junction order, then superlink and node order, each
// taking at most the water left on its cell, so inlets sharing a cell never
// take more than the cell holds. An inlet takes nothing while the water
// inside stands at or above the cell's water surface. Every junction and
// node keeps the water it took from its cell and put onto it in the call,
// and every outfall what it delivered. Depths m, volumes m3, rates m3/s.
#include "stormdrain/sd_exchange.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/error.h"
#include "core/file_object.h"
#include "run/run_state.h"
#include "stormdrain/superlink_solver.h"

namespace {

inline size_t ix(int i) { return static_cast<size_t>(i); }

// Inlet rule in feet: weir coefficient 3.0, 2g = 64.4 ft/s2, orifice coefficient 0.67.
constexpr double kFeetPerMetre = 3.28;
constexpr double kSquareFeetPerSquareMetre = 10.764;
constexpr double kCubicMetresPerCubicFoot = 0.02832;   // (m3/s) per (ft3/s)
constexpr double kTwoG = 64.4;                        // ft/s2
constexpr double kWetCell = 1e-8;                     // m of water an inlet needs
constexpr double kActiveFlow = 1e-8;                  // m3/s that wakes the surface or channel routing
constexpr int kOutletChannel = 999;
constexpr int kOutletCell = 888;

// Rate `inlets` inlets take from water of depth d (m) on a cell of `area`
// m2 into a junction or node whose water stands at `level` (m) below the
// cell's water surface at `ground` + d: the inlet rule at the depth of water
// over the grate, or at the difference of the levels once the water inside
// stands above the grate; never more than the cell holds over dt (m3/s).
double inlet_rate(int inlets, double d, double ground, double level, double grate_side, double grate_dia,
                  double area, double dt) {
    if (inlets < 1 || d <= kWetCell) return 0.0;
    const double surface = ground + d;
    if (level >= surface) return 0.0;
    const double head = level > ground ? surface - level : d;
    return std::min(inlets * inlet_capture_rate(head, grate_side, grate_dia), d * area / dt);
}

// Returns volume v (m3) to cell c.
void return_to_cell(run_state& rs, int c, double v) {
    rs.ov_depth[ix(c)] += v / (rs.cell_size * rs.cell_size);
}

}  // namespace

double inlet_capture_rate(double depth, double grate_side, double grate_dia) {
    if (depth <= 0.0) return 0.0;
    const double d = kFeetPerMetre * depth;   // ft
    const double weir_length = 3.0 * kFeetPerMetre * 3.0 * grate_side;   // coefficient x ft of three sides
    const double orifice = 0.785 * grate_dia * grate_dia * kSquareFeetPerSquareMetre * 0.67;   // ft2
    const double weir = std::pow(d, 1.5) * weir_length;
    const double hole = std::sqrt(kTwoG * d) * orifice;
    double q = 0.0;   // ft3/s
    if (d <= 0.4) q = weir;
    else if (d >= 1.0) q = hole;
    else q = std::min(weir, hole);
    return q * kCubicMetresPerCubicFoot;
}

void exchange_before_solve(run_state& rs, double dt, sd_call_tally& t) {
    const bool release = rs.high_head_release != 0;
    const double area = rs.cell_size * rs.cell_size;
    // Junction inlets: the rate they can take; it is set aside on the cell
    // and what the junction's balance does not need goes back after the solve.
    for (int j = 1; j <= rs.n_sjunc; ++j) {
        sd_junction& s = rs.sd_junctions[ix(j)];
        s.capacity = s.tile_inflow = s.exchange = 0.0;
        s.captured = s.spilled = s.returned = 0.0;
        if (!s.inlet_on_cell()) {
            s.held = 0;
            continue;
        }
        double& d = rs.ov_depth[ix(s.cell)];
        s.hold_level = release ? s.ground : s.ground + d;
        s.capacity = inlet_rate(s.inlet, d, s.ground, s.head, s.grate_side, s.grate_dia, area, dt);
        d = std::max(0.0, d - s.capacity * dt / area);
    }
    // Tile inflow enters at the upstream junction of its superlink.
    if (rs.leaky_pipes) {
        for (int l = 1; l <= rs.n_slink; ++l) {
            const sd_link& s = rs.sd_links[ix(l)];
            double q = 0.0;
            for (int k = 1; k <= s.pipe_count(); ++k) q += s.pipes[ix(k)].tile_flow;
            rs.sd_junctions[ix(s.us)].tile_inflow += q;
            t.tile += q * dt;
        }
    }
    // The surface and tile inflow the junction system takes.
    for (int j = 1; j <= rs.n_sjunc; ++j) {
        sd_junction& s = rs.sd_junctions[ix(j)];
        s.inflow = s.capacity + s.tile_inflow;
    }
    // Interior nodes: a node with a storage area whose water stands above
    // its ground spills it with HIGH_HEAD_RELEASE; an inlet node takes what
    // its rule gives, no more than fills it to the level it can stand at and
    // carries away (its outflow of the last call).
    for (int l = 1; l <= rs.n_slink; ++l) {
        sd_link& s = rs.sd_links[ix(l)];
        const int N = s.pipe_count();
        for (int k = 2; k <= N; ++k) {
            sd_node& n = s.nodes[ix(k)];
            n.inflow = n.captured = n.spilled = 0.0;
            if (n.cell < 1) continue;
            const double level = n.invert + n.depth;
            double& d = rs.ov_depth[ix(n.cell)];
            if (release && level > n.ground && n.storage_area > 0.0) {
                const double v = std::min((level - n.ground) * n.storage_area, n.volume);
                n.inflow = -v / dt;
                return_to_cell(rs, n.cell, v);
                n.spilled = v;
                t.released += v;
                if (v / dt > kActiveFlow) rs.superlink_ov_active = 1;
                continue;
            }
            double q = inlet_rate(n.inlet, d, n.ground, level, n.grate_side, n.grate_dia, area, dt);
            if (q <= 0.0) continue;
            const double stand = release ? n.ground : n.ground + d;
            const double room = std::max(0.0, node_water(s, k, stand - n.invert) - n.volume) / dt +
                                std::max(0.0, s.w.Q[ix(k)] - s.w.Q[ix(k) - 1]);
            q = std::min(q, room);
            d = std::max(0.0, d - q * dt / area);
            n.inflow = q;
            n.captured = q * dt;
            t.captured += q * dt;
        }
    }
}

void exchange_after_solve(run_state& rs, double dt, sd_call_tally& t) {
    for (int j = 1; j <= rs.n_sjunc; ++j) {
        sd_junction& s = rs.sd_junctions[ix(j)];
        const double x = s.exchange;   // m3/s into the network
        if (s.inlet_on_cell()) {
            // What was set aside and not taken goes back; a spill comes on top.
            return_to_cell(rs, s.cell, (s.capacity - x) * dt);
            if (x >= 0.0) {
                s.captured = x * dt;
                t.captured += s.captured;
            } else {
                s.spilled = -x * dt;
                t.released += s.spilled;
                if (-x > kActiveFlow) rs.superlink_ov_active = 1;
            }
        } else if (s.fixed_head) {
            const double v = -x * dt;   // m3 out of the network
            if (s.inlet == kOutletChannel) {
                s.delivered += v;
                t.delivered += v;
                if (-x > kActiveFlow) rs.superlink_chan_active = 1;
            } else if (s.inlet == kOutletCell && s.cell > 0) {
                return_to_cell(rs, s.cell, v);
                if (rs.ov_depth[ix(s.cell)] < 0.0) rs.ov_depth[ix(s.cell)] = 0.0;   // round-off of a backflow
                s.returned = v;
                t.returned += v;
                if (std::fabs(x) > kActiveFlow) rs.superlink_ov_active = 1;
            }
        }
    }
    for (int l = 1; l <= rs.n_slink; ++l) {
        const sd_link& s = rs.sd_links[ix(l)];
        if (rs.sd_junctions[ix(s.ds)].fixed_head && s.w.Qd > kActiveFlow &&
            rs.sd_junctions[ix(s.ds)].inlet == kOutletChannel)
            rs.superlink_chan_active = 1;
    }
    t.entered = t.captured + t.tile;
    t.left = t.released + t.delivered + t.returned;
}

bool open_flows_file(run_state& rs) {
    if (!open_file_named(rs.superlink_flows_file, "superlink_flows.out", "w")) {
        std::printf("\nError: cannot create the storm-drain flows file superlink_flows.out.\n");
        error_record.code = kErrorPrinted;
        return false;
    }
    std::fprintf(rs.superlink_flows_file.handle, "Call# VtoSL VtoPLUVO   QtoSL    QtoPLUVO \n");
    return true;
}

void write_flows_line(run_state& rs, double dt, const sd_call_tally& t) {
    if (!rs.superlink_flows_file.is_open()) return;
    std::fprintf(rs.superlink_flows_file.handle, "%d %8.3lf %8.3lf %8.3lf %8.3lf \n", rs.superlink_calls,
                 t.entered, t.left, t.entered / dt, t.left / dt);
}
