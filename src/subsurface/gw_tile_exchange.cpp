// Aquifer-to-tile-drain exchange. The drain flow per tile piece follows the
// equivalent-depth formulas: Hooghoudt's series form (method 1) or the
// exponential-sum form (otherwise), with the head H (m) of the water table
// above the tile's hydraulic grade, tile-bed conductivity K (m/h) and drain
// spacing S (m); flows in m3/s.
#include "subsurface/gw_tile_exchange.h"

#include <cmath>
#include <cstdio>

#include "core/dates.h"
#include "core/error.h"

namespace {

constexpr double kZero = 1e-16;            // magnitudes at or below count as zero
constexpr double kPi = 3.14;               // the formulas' value of pi
constexpr double kEightOverPi = 2.5477707006369426;
constexpr double kSecondsPerHour = 3600.0;
constexpr int kCodeBelowBottom = 131;
constexpr int kCodeNotANumber = 133;

inline size_t ix(int i) { return static_cast<size_t>(i); }

// End nodes and the property node of an entry.
void entry_nodes(const tile_network& net, const tile_entry& e, int& a, int& b, int& p) {
    a = e.node;
    b = e.node + 1;
    p = e.node;
    if (net.computational_nodes == 1) {
        const std::vector<int>& ends = net.end_node_map[ix(e.superlink)];
        a = ends[ix(e.node)];
        b = ends[ix(e.node + 1)];
        p = net.property_node_map[ix(e.superlink)][ix(e.node)];
    }
}

double burial(const tile_network& net, const std::vector<double>& elevation, int L, int j) {
    return elevation[ix(net.node_cell[ix(L)][ix(j)])] - net.invert[ix(L)][ix(j)];
}

// Pipe invert (m) and hydraulic grade (m) of an entry at its cell.
void grade_of(const tile_network& net, const std::vector<double>& elevation, const tile_entry& e,
              double& z, double& grade) {
    int a = 0, b = 0, p = 0;
    entry_nodes(net, e, a, b, p);
    const int L = e.superlink;
    z = elevation[ix(e.cell)] -
        0.5 * (burial(net, elevation, L, a) + burial(net, elevation, L, b));
    grade = z + 0.5 * (net.flow_depth[ix(L)][ix(a)] + net.flow_depth[ix(L)][ix(b)]);
}

// Equivalent depth (m) of a tile of diameter D (m) at height d (m) above the
// aquifer bottom with spacing S (m). A tile on the bottom (d = 0) has none;
// where the series form's denominator is not positive (spacing within a few
// radii) the equivalent depth is the depth itself, which it never exceeds.
double equivalent_depth(int method, double d, double S, double D) {
    if (d <= kZero) return 0.0;
    if (method == 1) {
        const double r = 0.5 * D;
        const double ratio = d / S;
        double de = 0.0;
        if (ratio >= 0.3) {
            const double den = 8.0 * (std::log(S / r) - 1.15);
            de = den > 0.0 ? kPi * S / den : d;
        } else {
            const double den = 1.0 + ratio * (kEightOverPi * std::log(d / r) -
                                              (3.55 - 1.6 * ratio + 2.0 * ratio * ratio));
            de = den > 0.0 ? d / den : d;
        }
        return std::fmin(de, d);
    }
    const double half = 0.5 * S;
    const double x = 2.0 * kPi * d / half;
    double sum = 0.0;
    for (double k : {2.0, 6.0, 10.0}) {
        const double e = std::exp(-k * x);
        sum += 4.0 * e / (1.0 - e);
    }
    const double den = std::log(half / (kPi * D / 2.0)) + sum;
    return den > 0.0 ? std::fmin(kPi * half * 0.125 / den, d) : d;
}

}  // namespace

int exchange_gw_tile(const tile_network& net, const std::vector<double>& elevgw,
                     const std::vector<double>& bottom_elev, const std::vector<double>& elevation,
                     tile_exchange_result& out) {
    for (std::vector<double>& row : out.tile_inflow) row.assign(row.size(), 0.0);
    out.superlink_inflow.assign(out.superlink_inflow.size(), 0.0);
    out.cell_rate.assign(out.cell_rate.size(), 0.0);

    bool any_above = false;
    for (const std::vector<tile_entry>& group : net.groups) {
        for (const tile_entry& e : group) {
            double z = 0.0, grade = 0.0;
            grade_of(net, elevation, e, z, grade);
            if (elevgw[ix(e.cell)] > grade) any_above = true;
        }
    }
    if (!any_above) return 0;

    for (const std::vector<tile_entry>& group : net.groups) {
        for (const tile_entry& e : group) {
            int a = 0, b = 0, p = 0;
            entry_nodes(net, e, a, b, p);
            const int L = e.superlink;
            double z = 0.0, grade = 0.0;
            grade_of(net, elevation, e, z, grade);
            const double H = elevgw[ix(e.cell)] - grade;                  // m
            const double K = net.conductivity[ix(L)][ix(p)] / 100.0;      // m/h
            const double S = net.spacing[ix(L)][ix(p)];                   // m
            if (!(H > kZero) || !(K >= kZero) || !(S >= kZero)) continue;
            const double d = z - bottom_elev[ix(e.cell)];
            if (d < 0.0) {
                std::printf("\n Node elevation must be above bottom of groundwater media: Link "
                              "%d Node %d Comp Node %d", L, e.node, p);
                error_record.code = kCodeBelowBottom;
                error_record.stop = 1;
                return 1;
            }
            const double D = net.diameter[ix(L)][ix(p)];
            const double m = net.multiplier[ix(L)][ix(p)];
            const double de = equivalent_depth(net.equivalent_depth_method, d, S, D);
            double Q = 0.0;   // m3/s
            if (net.equivalent_depth_method == 1) {
                Q = (8.0 * K * de * H + 4.0 * K * H * H) / (S * S) * (kPi * D / kSecondsPerHour) *
                    e.length * m;
            } else {
                const double half = 0.5 * S;
                Q = (2.0 * H * de + H * H) * (K / half) * 2.0 / kSecondsPerHour * e.length * m;
            }
            if (!std::isfinite(Q)) {
                std::printf("\n NaN error in groundwater tile exchange: Link %d Node %d Comp "
                              "Node %d", L, e.node, p);
                error_record.code = kCodeNotANumber;
                error_record.stop = 1;
                return 1;
            }
            out.cell_rate[ix(e.cell)] += Q;
            out.tile_inflow[ix(L)][ix(e.node)] += Q;
            out.superlink_inflow[ix(L)] += Q;
        }
    }
    return 1;
}
