// The groundwater step: books the exchange gathered since the last step,
// runs the solver, books its volumes and, while the channels are not routed,
// applies the stream-aquifer exchange to the channel nodes directly.
#include "subsurface/groundwater.h"

#include <cmath>
#include <cstdio>

#include "channel/channel_records.h"
#include "channel/xsection.h"
#include "core/dates.h"
#include "core/error.h"
#include "run/run_state.h"
#include "subsurface/gw_richards.h"
#include "subsurface/gw_xy.h"
#include "subsurface/gw_soil.h"
#include "subsurface/point_sources.h"
#include "subsurface/gw_solver.h"
#include "subsurface/stream_exchange.h"

namespace {

constexpr double kSecondsPerDay = 86400.0;
constexpr double kCmPerM = 100.0;
constexpr double kZeroArea = 1e-15;   // a channel area this small becomes 0, m2
constexpr int kStreamCode = 4;

inline size_t ix(int i) { return static_cast<size_t>(i); }
inline bool fixed_head(int code) { return code == 2 || code == 5; }

bool solver_method(const run_state& rs) { return gw_aquifer_solved(rs); }

// Step 6a: storage coefficient from the depth to the water table d (m):
// 1 above the ground, the soil's porosity while the table lies in the soil
// (the layered soil's upper or lower layer by the table's depth; for
// Richards columns the saturated content at the table), the aquifer's
// porosity below.
void set_storage_terms(run_state& rs) {
    for (int c = 1; c <= rs.GNUM; ++c) {
        const size_t i = ix(c);
        const double d = rs.elevation[i] - rs.elevgw[i];   // m
        double s = rs.gw_porosity[i];
        table_soil soil;
        if (rs.inf_richards) {
            s = gw_layer_average(rs, c, rs.elevgw[i], rs.elevgw[i]);
        } else if (d <= 0.0) {
            s = 1.0;
        } else if ((rs.inf_redist || rs.inf_layered_soil) && cell_table_soil(rs, c, soil) &&
                   d * kCmPerM <= soil.depth) {
            s = d * kCmPerM <= soil.layer1 ? soil.porosity[0] : soil.porosity[1];
        }
        if (!(s > 0.0)) {
            print_message("there is a problem with groundwater storage term");
            s = rs.gw_porosity[i];
        }
        rs.gw_storage[i] = s;
    }
}

// Steps 6c (recharge part) and 7: recharge booked, heads checked,
// exfiltration marked, per-cell volumes of the interval booked.
bool book_interval(run_state& rs, double dt) {
    const double area = rs.cell_size * rs.cell_size;
    rs.exfiltration = 0;
    for (int c = 1; c <= rs.GNUM; ++c) {
        const size_t i = ix(c);
        const double recharge = rs.gw_recharge_depth[i];   // cm
        rs.vol_unsat_downward += recharge / kCmPerM * area;
        if (!fixed_head(rs.gwbound[i])) {
            rs.gw_vol_recharge += recharge / kCmPerM * area;
            rs.gw_cum_recharge[i] += recharge;
        }
        rs.gw_recharge_depth[i] = 0.0;
        if (!std::isfinite(rs.elevgw[i])) {
            std::printf("A non-real value for the groudwater head was detected for in cell %d "
                          "after running the groundwater flow routine.\n", c);
            error_record.code = kErrorPrinted;
            return false;
        }
        rs.yes_exfil[i] = rs.elevation[i] - rs.elevgw[i] <= 1e-16 ? 1 : 0;
        if (rs.yes_exfil[i]) rs.exfiltration = 1;
        rs.gw_vol_leakage += dt * rs.gw_leakage[i] * area;
        rs.gw_vol_pumping += dt * rs.gw_well_rate[i] * area;
        if (fixed_head(rs.gwbound[i])) rs.gw_vol_boundary_flux += rs.gw_flux[i];
        rs.gw_flux[i] = 0.0;
    }
    return true;
}

// Step 9: the exchange applied to the channel nodes while they are not routed.
bool exchange_without_routing(run_state& rs, double dt) {
    const int code = exchange_channel_aquifer(rs);
    if (error_record.code != 0) return false;
    rs.gw_chan_update = code;
    if (code == 2) {
        for (int l = 1; l <= rs.links; ++l) {
            if (!routed_link(rs.ltype[ix(l)])) continue;
            const double dx = rs.dx[ix(l)];
            for (int j = 1; j <= rs.nx[ix(l)]; ++j) {
                double& q = rs.qriv(ix(j), ix(l));
                const double volume = rs.area(ix(j), ix(l)) * dx;   // m3
                const double loss = -q * dx * dt;
                if (q < 0.0 && loss > volume) {
                    // The node gives what it holds: its segments' losses scale down.
                    const double scale = loss > 0.0 ? volume / loss : 0.0;
                    q = 0.0;
                    for (int k = 1; k <= rs.num_stream_cells; ++k) {
                        for (int g = 1; g <= rs.gst_ncellsingrid[ix(k)]; ++g) {
                            if (rs.gst_link[ix(k)][ix(g)] != l || rs.gst_node[ix(k)][ix(g)] != j)
                                continue;
                            double& s = rs.gst_qriv[ix(k)][ix(g)];
                            if (s < 0.0) s *= scale;
                            q += s * rs.gst_pct[ix(k)][ix(g)];
                        }
                    }
                }
                double a = (volume + dt * q * dx) / dx;
                if (std::fabs(a) < kZeroArea) a = 0.0;
                if (a < 0.0) {
                    std::printf("Error undating channels for groundwater influence without "
                                  "routing: node %d link %d \n", j, l);
                    error_record.code = kErrorPrinted;
                    return false;
                }
                rs.area(ix(j), ix(l)) = a;
            }
        }
        for (int k = 1; k <= rs.num_stream_cells; ++k) {
            for (int g = 1; g <= rs.gst_ncellsingrid[ix(k)]; ++g) {
                const int L = rs.gst_link[ix(k)][ix(g)], j = rs.gst_node[ix(k)][ix(g)];
                const int c = rs.gst_gnum[ix(k)][ix(g)];
                if (L < 1 || L > rs.links || !routed_link(rs.ltype[ix(L)]) || j > rs.nx[ix(L)])
                    continue;
                if (c < 1 || c > rs.GNUM || rs.gwbound[ix(c)] != kStreamCode) continue;
                rs.gw_chan_exchange_vol[ix(c)] +=
                    dt * rs.gst_qriv[ix(k)][ix(g)] * rs.dx[ix(L)] * rs.gst_pct[ix(k)][ix(g)];
            }
        }
        if (!ex_section(rs, kSectionFromArea, rs.area)) return false;
    } else if (code == 1) {
        // A gaining node: the channels start routing now, covering the last interval.
        double step = rs.gw_timestep;
        while (step > 3600.0) step *= 0.5;
        rs.chan_step_seconds = step;
        rs.chan_step_days = step / kSecondsPerDay;
        rs.chan_last = rs.time - dt / kSecondsPerDay;
        rs.chan_next = rs.time;
        rs.chan_active = 1;
    }
    return true;
}

}  // namespace

bool gw_aquifer_solved(const run_state& rs) {
    return rs.gw_simulation && (rs.inf_richards || rs.inf_redist || rs.inf_layered_soil);
}

void book_channel_exchange(run_state& rs) {
    if (rs.gw_chan_exchange_vol.size() <= ix(rs.GNUM)) return;
    std::vector<double>& booked = rs.gw_chan_exchange_booked;
    if (booked.size() != rs.gw_chan_exchange_vol.size())
        booked.assign(rs.gw_chan_exchange_vol.size(), 0.0);
    const bool solved = gw_aquifer_solved(rs);
    for (int c = 1; c <= rs.GNUM; ++c) {
        if (rs.gw_simulation && rs.gwbound[ix(c)] != kStreamCode) continue;
        // m3, + aquifer to channel: what moved since the last booking.
        const double v = rs.gw_chan_exchange_vol[ix(c)] - booked[ix(c)];
        if (v > 0.0) {
            rs.vol_gw_to_river += v;
            rs.event_vol_gw_to_chan += v;
        } else {
            rs.vol_river_to_gw -= v;
            rs.event_vol_chan_to_gw -= v;
        }
        if (solved) {
            booked[ix(c)] = rs.gw_chan_exchange_vol[ix(c)];   // the solver takes the volume later
        } else {
            rs.gw_chan_exchange_vol[ix(c)] = 0.0;   // nothing else takes it
            booked[ix(c)] = 0.0;
        }
    }
}

bool restart_surface_on_exfiltration(run_state& rs) {
    if (!rs.long_term || !rs.exfiltration || rs.rain_on) return false;
    const double step = rs.rain_step_days > 0.0 ? rs.rain_step_days : rs.dt_days;   // days
    const double next = rs.time + step;
    bool moved = false;
    if (rs.rain_next > next + rs.time_tolerance) {
        rs.rain_next = next;
        if (rs.time < rs.rain_last) rs.rain_last = rs.time;
        moved = true;
    }
    if (rs.infil_next > next + rs.time_tolerance || rs.infil_step_days > step + rs.time_tolerance) {
        rs.infil_step_days = step;
        rs.infil_step_seconds = step * kSecondsPerDay;
        if (rs.infil_next > next) rs.infil_next = next;
        if (rs.time < rs.infil_last) rs.infil_last = rs.time;
        moved = true;
    }
    if (moved && rs.inf_redist && rs.inf_redist_ready == 0) start_redistribution_values(rs);
    return moved;
}

void update_groundwater(run_state& rs) {
    if (!rs.gw_simulation || !process_due(rs, rs.gw_next)) return;
    rs.exfiltration = 0;
    // The soil columns follow the table from where it stood before the held
    // heads moved it: their zone below the soil changes with the held heads too.
    for (int c = 1; c <= rs.GNUM; ++c) rs.gw_head_prev[ix(c)] = rs.elevgw[ix(c)];
    apply_gw_xy_heads(rs);
    if (rs.stream_exchange && solver_method(rs)) book_channel_exchange(rs);
    const double dt = process_elapsed_seconds(rs, rs.gw_last);   // s, elapsed since the last step

    if (solver_method(rs)) {
        set_storage_terms(rs);
        rs.gw_vol_inputs += solve_groundwater_2d(rs, dt);
        if (error_record.code != 0) return;
        rs.gw_sweep = rs.gw_sweep == 1 ? 2 : 1;
        if (!book_interval(rs, dt)) return;
        if (rs.inf_richards) {
            adjust_richards_to_table(rs);
        } else {
            adjust_soils_to_table(rs);
        }
    }
    restart_surface_on_exfiltration(rs);

    if (rs.chan_explic && rs.stream_exchange && !rs.chan_active && !rs.qriv.empty()) {
        if (!exchange_without_routing(rs, dt)) return;
        // Without the solver the aquifer is a fixed store outside the balance.
        if (!solver_method(rs)) book_channel_exchange(rs);
    }
    if (rs.stream_exchange && !rs.qriv.empty() && !rs.av_qriv.empty()) {
        for (int l = 1; l <= rs.links; ++l)
            for (int j = 1; j <= rs.nx[ix(l)]; ++j) rs.av_qriv(ix(j), ix(l)) += rs.qriv(ix(j), ix(l));
    }
    advance_process_clock(rs, rs.gw_last, rs.gw_next, rs.gw_step_days);
}
