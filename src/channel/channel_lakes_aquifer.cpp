// Seepage between the channel-network lakes and the ground below them.
#include "channel/channel_lakes_aquifer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "channel/chan_messages.h"
#include "quality/conc_lakes.h"
#include "run/run_state.h"
#include "subsurface/groundwater.h"

namespace {

constexpr double kZero = 1e-16;             // depths at or below count as none, m
constexpr double kThinAquifer = 0.01;       // saturation below which the aquifer gives nothing, m
constexpr double kCmPerHourPerMps = 360000.0;
constexpr int kLakeCode = 7;                // groundwater boundary code of a lake cell

inline size_t ix(int i) { return static_cast<size_t>(i); }

template <class T>
bool spans(const std::vector<T>& v, int i) {
    return i >= 0 && static_cast<size_t>(i) < v.size();
}

// The lake of cell c when it seeps (its lake has an MLAKE card), else 0.
int seeping_lake(const run_state& rs, int c) {
    if (!spans(rs.lake_mask, c)) return 0;
    const int k = rs.lake_mask[ix(c)];
    if (k < 1 || k > rs.num_channel_lakes || !spans(rs.calc_loss, k) || !spans(rs.Mlake, k)) return 0;
    return rs.calc_loss[ix(k)] ? k : 0;
}

}  // namespace

double lake_cell_exchange_rate(double level, double ground, double k, double thickness, double area,
                               bool table, bool exchanging, double head, double bottom) {
    if (!(thickness > 0.0) || !(k > 0.0)) return 0.0;
    const double depth = level - ground;   // m
    const double leakance = k / thickness * area;   // m2/s
    if (!table) return depth > kZero ? -depth * leakance : 0.0;
    if (!exchanging) return 0.0;
    if (head <= ground || head - bottom <= kThinAquifer) {
        // The bed drains into unsaturated ground.
        return (bottom < level && depth > kZero) ? -depth * leakance : 0.0;
    }
    return (head - level) * leakance;
}

double lake_bed_conductivity(const run_state& rs, int c) {
    if (rs.conductivity && spans(rs.ksat, c)) return rs.ksat[ix(c)];
    if ((rs.inf_layered_soil || rs.inf_richards) && spans(rs.soiltype, c)) {
        const int id = rs.soiltype[ix(c)];
        if (id >= 1 && id < subsurface_state::kSoilTableSize)
            return rs.soil_table[id].ksat[0] / kCmPerHourPerMps;
    }
    return -1.0;
}

void check_lake_beds(run_state& rs) {
    if (!rs.channel_lakes || !rs.mlake_given) return;
    for (int k = 1; k <= rs.num_channel_lakes; ++k) {
        if (!spans(rs.calc_loss, k) || !rs.calc_loss[ix(k)] || !spans(rs.Mlake, k)) continue;
        if (!(rs.Mlake[ix(k)] > 0.0) || !std::isfinite(rs.Mlake[ix(k)])) {
            chan_say("Error: lake %d of the channel file has an MLAKE bed thickness of %g m; the "
                     "thickness must be a positive number of metres.\n",
                     k, rs.Mlake[ix(k)]);
            chan_fail();
            return;
        }
        // The bed under the lake's cells needs the soil's conductivity.
        const int npts = spans(rs.lake_numpts, k) ? rs.lake_numpts[ix(k)] : 0;
        for (int p = 1; p <= npts; ++p) {
            const int row = rs.lake_search[ix(k)][1][ix(p)], col = rs.lake_search[ix(k)][2][ix(p)];
            const int c = rs.mask != nullptr ? rs.mask[row][col] : 0;
            if (c < 1) continue;
            if (!(lake_bed_conductivity(rs, c) >= 0.0)) {
                chan_say("Error: lake %d of the channel file seeps through its bed (MLAKE), which "
                         "needs the saturated conductivity of the soil under its cells; the run "
                         "gives none (cell %d, row %d, column %d): give a CONDUCTIVITY map or a "
                         "soil table.\n",
                         k, c, row, col);
                chan_fail();
                return;
            }
        }
    }
}

void exchange_lakes_with_aquifer(run_state& rs, double dt) {
    if (!rs.channel_lakes || !rs.mlake_given || !(dt > 0.0)) return;
    const int n = rs.GNUM;
    const int lakes = rs.num_channel_lakes;
    if (!spans(rs.lake_mask, n) || !spans(rs.lake_source, n) || !spans(rs.lake_volume, lakes) ||
        !spans(rs.lake_elev, lakes))
        return;
    if (!spans(rs.lake_gw_step_volume, lakes)) rs.lake_gw_step_volume.assign(ix(lakes) + 1, 0.0);
    const bool table = rs.water_table && spans(rs.elevgw, n);
    const bool gw_codes = table && rs.gw_simulation && spans(rs.gwbound, n);
    const bool bottoms = table && (rs.gw_simulation || rs.inf_richards) && spans(rs.bottom_elev, n);
    const bool solved = gw_aquifer_solved(rs) && spans(rs.gw_lake_exchange_vol, n);
    const double area = rs.cell_size * rs.cell_size;   // m2

    // Rates of the cells; each lake's loss over the step.
    std::vector<double> loss(ix(lakes) + 1, 0.0);   // m3
    for (int c = 1; c <= n; ++c) {
        rs.lake_source[ix(c)] = 0.0;
        const int k = seeping_lake(rs, c);
        if (k == 0) continue;
        const bool exchanging = !gw_codes || rs.gwbound[ix(c)] == kLakeCode;
        const double head = table ? rs.elevgw[ix(c)] : 0.0;
        const double bottom = bottoms ? rs.bottom_elev[ix(c)] : -HUGE_VAL;
        const double q = lake_cell_exchange_rate(rs.lake_elev[ix(k)], rs.elevation[ix(c)],
                                                 lake_bed_conductivity(rs, c), rs.Mlake[ix(k)], area,
                                                 table, exchanging, head, bottom);
        rs.lake_source[ix(c)] = q;
        if (q < 0.0) loss[ix(k)] -= q * dt;
    }
    // A lake gives at most the water it holds: its losing cells share it.
    std::vector<double> scale(ix(lakes) + 1, 1.0);
    for (int k = 1; k <= lakes; ++k) {
        const double held = std::max(rs.lake_volume[ix(k)], 0.0);
        if (loss[ix(k)] > held) scale[ix(k)] = held / loss[ix(k)];
        rs.lake_gw_step_volume[ix(k)] = 0.0;
    }
    // In cell order: the books come out the same for any thread count.
    for (int c = 1; c <= n; ++c) {
        double& q = rs.lake_source[ix(c)];
        if (q == 0.0) continue;
        const int k = rs.lake_mask[ix(c)];
        if (q < 0.0) q *= scale[ix(k)];
        const double v = q * dt;   // m3, + into the lake
        rs.lake_volume[ix(k)] += v;
        rs.lake_gw_step_volume[ix(k)] += v;
        // Its constituents: the cell's groundwater concentration into the
        // lake, the lake's out of it.
        lake_aquifer_constituents(rs, k, c, v);
        if (v > 0.0) {
            rs.vol_gw_to_lake += v;
            rs.event_vol_gw_to_lakes += v;
        } else {
            rs.vol_lake_to_gw -= v;
            rs.event_vol_lakes_to_gw -= v;
        }
        // The solved aquifer gives (or takes) it at its next step.
        if (solved) rs.gw_lake_exchange_vol[ix(c)] += v;
    }
}
