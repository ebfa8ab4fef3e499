// Surface, tile and outfall exchange of the storm-drain network. Inlets work
// through the cells in junction order, then superlink and node order, each
// taking at most the water left on its cell, so inlets sharing a cell never
// take more than the cell holds. Depths m, volumes m3, rates m3/s.
#include "stormdrain/sd_exchange.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/error.h"
#include "core/file_object.h"
#include "run/run_state.h"

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

// Takes up to `inlets` x the inlet rate from cell c over dt; returns the rate (m3/s).
double capture(run_state& rs, int c, int inlets, double grate_side, double grate_dia, double dt,
               sd_call_tally& t) {
    if (c < 1 || inlets < 1) return 0.0;
    double& d = rs.ov_depth[ix(c)];
    if (d <= kWetCell) return 0.0;
    const double area = rs.cell_size * rs.cell_size;
    double q = inlets * inlet_capture_rate(d, grate_side, grate_dia);
    q = std::min(q, d * area / dt);
    const double v = q * dt;
    d = std::max(0.0, d - v / area);
    t.captured += v;
    return q;
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
    for (int j = 1; j <= rs.n_sjunc; ++j) {
        sd_junction& s = rs.sd_junctions[ix(j)];
        s.inflow = 0.0;
        if (s.inlet < 1 || s.inlet > 9) continue;
        if (release && s.head > s.ground) {
            const double v = (s.head - s.ground) * s.storage_area;
            s.inflow = -v / dt;
            return_to_cell(rs, s.cell, v);
            s.returned += v;
            t.released += v;
            if (v / dt > kActiveFlow) rs.superlink_ov_active = 1;
        } else {
            s.inflow = capture(rs, s.cell, s.inlet, s.grate_side, s.grate_dia, dt, t);
        }
    }
    if (rs.leaky_pipes) {
        for (int l = 1; l <= rs.n_slink; ++l) {
            const sd_link& s = rs.sd_links[ix(l)];
            sd_junction& j = rs.sd_junctions[ix(s.us)];
            double q = 0.0;
            for (int k = 1; k <= s.pipe_count(); ++k) q += s.pipes[ix(k)].tile_flow;
            j.inflow += q;
            t.tile += q * dt;
        }
    }
    for (int l = 1; l <= rs.n_slink; ++l) {
        sd_link& s = rs.sd_links[ix(l)];
        const int N = s.pipe_count();
        for (int k = 2; k <= N; ++k) {
            sd_node& n = s.nodes[ix(k)];
            n.inflow = 0.0;
            const double surface = n.invert + n.depth;
            if (release && n.cell > 0 && surface > n.ground && n.storage_area > 0.0) {
                const double v = (surface - n.ground) * n.storage_area;
                n.inflow = -v / dt;
                return_to_cell(rs, n.cell, v);
                rs.sd_junctions[ix(s.ds)].returned += v;
                t.released += v;
                if (v / dt > kActiveFlow) rs.superlink_ov_active = 1;
            } else {
                n.inflow = capture(rs, n.cell, n.inlet, n.grate_side, n.grate_dia, dt, t);
            }
        }
    }
    t.entered = t.captured + t.tile;
}

void exchange_after_solve(run_state& rs, double dt, sd_call_tally& t) {
    for (int l = 1; l <= rs.n_slink; ++l) {
        const sd_link& s = rs.sd_links[ix(l)];
        sd_junction& j = rs.sd_junctions[ix(s.ds)];
        if (!j.fixed_head) continue;
        const double v = dt * s.w.Qd;
        j.inflow -= s.w.Qd;
        if (j.inlet == kOutletChannel) {
            j.delivered += v;
            t.delivered += v;
            if (s.w.Qd > kActiveFlow) rs.superlink_chan_active = 1;
        } else if (j.inlet == kOutletCell) {
            // Backflow takes at most the water on the outfall's cell; the network books the rest.
            const double area = rs.cell_size * rs.cell_size;
            double given = v;
            if (rs.ov_depth[ix(j.cell)] * area + v < 0.0) {
                given = -rs.ov_depth[ix(j.cell)] * area;
                t.corrections += given - v;
            }
            return_to_cell(rs, j.cell, given);
            if (rs.ov_depth[ix(j.cell)] < 0.0) rs.ov_depth[ix(j.cell)] = 0.0;
            j.returned += given;
            t.returned += given;
            if (std::fabs(s.w.Qd) > kActiveFlow) rs.superlink_ov_active = 1;
        }
    }
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
