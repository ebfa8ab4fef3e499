// Stream-aquifer exchange: Darcy flow through the river bed,
// q = Krb / Mrb x (head difference) x width per unit channel length, with
// Krb in m/h (river-bed conductivity of the channel file) and Mrb in m.
#include "subsurface/stream_exchange.h"

#include <cmath>
#include <cstdio>

#include "channel/channel_records.h"
#include "core/dates.h"
#include "core/error.h"
#include "run/run_state.h"

namespace {

constexpr double kZero = 1e-16;           // magnitudes at or below count as zero
constexpr double kDryDepth = 1e-6;        // a node this shallow is dry, m
constexpr double kThinAquifer = 0.01;     // saturated thickness below which the aquifer gives nothing, m
constexpr double kSecondsPerHour = 3600.0;
constexpr int kStreamCode = 4;

inline size_t ix(int i) { return static_cast<size_t>(i); }

// A segment takes part in the exchange.
bool segment_active(const run_state& rs, int link, int node, int cell, bool gw_cells) {
    if (link < 1 || link > rs.links || cell < 1 || cell > rs.GNUM) return false;
    if (!routed_link(rs.ltype[ix(link)])) return false;
    if (rs.channel_lakes && node > rs.nx[ix(link)]) return false;
    if (node < 1 || !rs.qriv.has(node, link)) return false;
    if (gw_cells && rs.gwbound[ix(cell)] != kStreamCode) return false;
    return true;
}

}  // namespace

double exchange_width(const run_state& rs, int node, int link, double d) {
    if ((rs.ltype[ix(link)] & kLtBreakpoint) == 0)
        return rs.bottom(ix(node), ix(link)) + 2.0 * d * rs.sslope(ix(node), ix(link));
    const int t = rs.table_num(ix(node), ix(link));
    if (t < 1 || t > rs.num_xsec_tables) {
        std::fprintf(stderr, "Error in section: Request for table beyond max. table number.\n");
        error_record.code = kErrorPrinted;
        return 0.0;
    }
    const double s = rs.ht_spc[ix(t)];   // depth step, m
    const int steps = rs.numhts[ix(t)];
    auto tw = [&](int i) { return rs.xtw(ix(i), ix(t)); };
    if (!(s > 0.0) || steps < 1) return 0.0;
    if (d < s) return tw(1) * std::pow(d / s, 1.6666666666666667);
    if (d <= steps * s) {
        const int i = static_cast<int>(d / s);
        if (i + 1 > steps) return tw(i);
        return tw(i) + (tw(i + 1) - tw(i)) * (d - i * s) / s;
    }
    if (steps < 2) return tw(steps);
    return tw(steps) + (tw(steps) - tw(steps - 1)) * (d - steps * s) / s;
}

int exchange_channel_aquifer(run_state& rs) {
    if (!rs.stream_exchange || rs.qriv.empty()) return 0;
    const bool table = rs.water_table && rs.elevgw.size() > ix(rs.GNUM);
    const bool gw_cells = table && rs.gw_simulation && rs.gwbound.size() > ix(rs.GNUM);
    const bool bottoms = table && rs.bottom_elev.size() > ix(rs.GNUM);

    // 1. Is anything exchanged at all?
    bool any = false;
    for (int k = 1; k <= rs.num_stream_cells && !any; ++k) {
        for (int g = 1; g <= rs.gst_ncellsingrid[ix(k)] && !any; ++g) {
            const int L = rs.gst_link[ix(k)][ix(g)], j = rs.gst_node[ix(k)][ix(g)];
            const int c = rs.gst_gnum[ix(k)][ix(g)];
            if (!segment_active(rs, L, j, c, gw_cells)) continue;
            const double y = rs.chan_node_depth(ix(j), ix(L));
            if (!table) {
                any = y > kZero;
                continue;
            }
            any = true;   // with a table every segment is either a loss or a gain
        }
    }
    // 2. Start from nothing.
    for (int l = 1; l <= rs.links; ++l) {
        double* q = rs.qriv.link_data(ix(l));
        for (size_t j = 0; j < rs.qriv.rows(); ++j) q[j] = 0.0;
    }
    for (int k = 1; k <= rs.num_stream_cells; ++k)
        for (int g = 1; g <= rs.gst_ncellsingrid[ix(k)]; ++g) rs.gst_qriv[ix(k)][ix(g)] = 0.0;
    if (!any) return 0;

    // 3-5. Rate of every segment, summed onto its node by its share.
    for (int k = 1; k <= rs.num_stream_cells; ++k) {
        for (int g = 1; g <= rs.gst_ncellsingrid[ix(k)]; ++g) {
            const int L = rs.gst_link[ix(k)][ix(g)], j = rs.gst_node[ix(k)][ix(g)];
            const int c = rs.gst_gnum[ix(k)][ix(g)];
            if (!segment_active(rs, L, j, c, gw_cells)) continue;
            const double z = rs.bel(ix(j), ix(L));
            const double y = rs.chan_node_depth(ix(j), ix(L));
            const double k_bed = rs.Krb(ix(j), ix(L)) / kSecondsPerHour;   // m/s
            const double m_bed = rs.Mrb(ix(j), ix(L));                     // m
            if (!(m_bed > 0.0)) continue;
            double rate = 0.0;   // m2/s
            if (!table) {
                if (y > kZero) rate = -y * k_bed / m_bed * exchange_width(rs, j, L, y);
            } else {
                const double h = rs.elevgw[ix(c)];
                const double b = bottoms ? rs.bottom_elev[ix(c)] : -1e300;
                const double ground = rs.elevation[ix(c)];
                if (h <= z) {
                    if (y > kDryDepth) rate = -y * k_bed / m_bed * exchange_width(rs, j, L, y);
                } else if (h <= z + y || h - b >= kThinAquifer) {
                    const double d = h > z + y ? h - z : (y > kDryDepth ? y : 0.0);
                    if (h < ground || h >= z + y)
                        rate = k_bed / m_bed * (h - (z + y)) * exchange_width(rs, j, L, d);
                }
            }
            if (error_record.code != 0) return 0;
            rs.gst_qriv[ix(k)][ix(g)] = rate;
            rs.qriv(ix(j), ix(L)) += rs.gst_pct[ix(k)][ix(g)] * rate;
        }
    }
    // 6. The verdict; a rate that is not a number stops the run.
    bool gain = false, loss = false;
    for (int l = 1; l <= rs.links; ++l) {
        if (!routed_link(rs.ltype[ix(l)])) continue;
        for (int j = 1; j <= rs.nx[ix(l)]; ++j) {
            const double q = rs.qriv(ix(j), ix(l));
            if (!std::isfinite(q)) {
                std::printf("Error: the stream-aquifer exchange of node %d of link %d is not a "
                              "number; check the river-bed conductivity and thickness and the "
                              "groundwater heads.\n", j, l);
                error_record.code = kErrorPrinted;
                return 0;
            }
            if (q > 0.0) gain = true;
            if (q < 0.0 && rs.chan_node_depth(ix(j), ix(l)) > kZero) loss = true;
        }
    }
    return gain ? 1 : (loss ? 2 : 0);
}
