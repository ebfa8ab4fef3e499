// The channel routing step of the time loop: lateral inflow from the grid,
// the channel-network lakes, explicit routing of the network, the step's
// volume bookkeeping, the channel clock and, in long-term runs, its idle clock.
#include "channel/channel.h"
#include "subsurface/groundwater.h"

#include <algorithm>

#include "channel/channel_lakes.h"
#include "channel/channel_lakes_aquifer.h"
#include "channel/channel_records.h"
#include "channel/explicit_routing.h"
#include "channel/xy_stream_points.h"
#include "channel/lateral_inflow.h"
#include "quality/channel_sediment_step.h"
#include "run/run_state.h"
#include "stormdrain/superlink.h"

namespace {

constexpr double kSecondsPerDay = 86400.0;
constexpr double kShortestElapsed =
    1e-6;                            // elapsed time below which the default step is used, days
constexpr double kIdleShare = 0.01;  // channel volume share of the reference that counts as idle, -
constexpr double kRestingOutletFlow = 1e-6;  // outlet flow below which an idle channel rests, m3/s
constexpr double kLongestShortStep = 60.0;   // short channel steps are halved down to this, s

inline size_t ix(int i) {
    return static_cast<size_t>(i);
}

bool network_built(const run_state& rs) {
    return rs.links >= 1 && !rs.area.empty() && rs.area.cols() > ix(rs.links) &&
           rs.nx.size() > ix(rs.links) && rs.ltype.size() > ix(rs.links);
}

// True while some channel-network lake stands above its lowest level.
bool lake_above_minimum(const run_state& rs) {
    if (!rs.channel_lakes) return false;
    for (int k = 1; k <= rs.num_channel_lakes; ++k) {
        if (ix(k) >= rs.lake_elev.size() || ix(k) >= rs.lake_minwse.size()) break;
        if (rs.lake_elev[ix(k)] > rs.lake_minwse[ix(k)]) return true;
    }
    return false;
}

// Water held by the nodes of the routed links, m3.
double routed_channel_volume(const run_state& rs) {
    double volume = 0.0;
    for (int l = 1; l <= rs.links; ++l) {
        if (!routed_link(rs.ltype[ix(l)])) continue;
        const double* a = rs.area.link_data(ix(l));
        double sum = 0.0;
        for (int j = 1; j <= rs.nx[ix(l)]; ++j) sum += a[j];
        volume += sum * rs.dx[ix(l)];
    }
    return volume;
}

// Running maximum of the water level of erodible break-point nodes.
void track_max_yp(run_state& rs) {
    for (int l = 1; l <= rs.links; ++l) {
        const int type = rs.ltype[ix(l)];
        if (!(type & kLtBreakpoint) || !(type & kLtErodible)) continue;
        if (ix(l) >= rs.bplink.size()) continue;
        const int b = rs.bplink[ix(l)];
        if (b < 1 || ix(b) >= rs.max_yp.size()) continue;
        std::vector<double>& m = rs.max_yp[ix(b)];
        const double* y = rs.yp.link_data(ix(l));
        for (int j = 1; j <= rs.nx[ix(l)] && ix(j) < m.size(); ++j)
            m[ix(j)] = std::max(m[ix(j)], y[j]);
    }
}

// Running maximum of the water level of every routed node (card flood_stream).
void track_max_stage(run_state& rs) {
    if (rs.yp_max_flood.rows() != rs.yp.rows() || rs.yp_max_flood.cols() != rs.yp.cols()) return;
    for (int l = 1; l <= rs.links; ++l) {
        if (!routed_link(rs.ltype[ix(l)])) continue;
        const double* y = rs.yp.link_data(ix(l));
        double* m = rs.yp_max_flood.link_data(ix(l));
        for (int j = 1; j <= rs.nx[ix(l)]; ++j) m[j] = std::max(m[j], y[j]);
    }
}

// Short channel step (s) for lakes and gaining nodes, no longer than 60 s.
double short_channel_step(const run_state& rs) {
    double step = rs.gw_simulation ? rs.chan_event_short_step : kLongestShortStep;
    while (step > kLongestShortStep) step *= 0.5;
    return step;
}

// Long-term runs: while the channels hold almost no water, the channel clock
// rests (routing stops until lateral inflow or a lake wakes it) or, with an
// active lake or a node gaining from the aquifer, takes short steps.
void update_idle_clock(run_state& rs) {
    if (!rs.long_term) return;
    if (rs.exfiltration || rs.overbank_flow || rs.ov_pump) {
        rs.chan_idle_steps = 0;
        return;
    }
    const bool active_lake = lake_above_minimum(rs);
    const bool gaining = rs.chan_exchange_result == 1;
    if (rs.chan_idle_steps != 0 && (active_lake || gaining)) return;
    const double reference = rs.chan_reference_volume;
    const double volume = routed_channel_volume(rs);
    if (!(volume < kIdleShare * reference || reference == 0.0)) {
        rs.chan_idle_steps = 0;
        return;
    }
    rs.chan_idle_steps += 1;
    double step = 0.0;
    if (active_lake || gaining) {
        step = short_channel_step(rs);
    } else if (rs.outlet_flow < kRestingOutletFlow) {
        step = rs.dt;
        rs.chan_active = 0;
    } else {
        return;
    }
    if (!(step > 0.0)) return;
    rs.chan_step_seconds = step;
    rs.chan_step_days = step / kSecondsPerDay;
    rs.chan_next = rs.time + rs.chan_step_days;
}

}  // namespace

void route_channels(run_state& rs) {
    // The routing settings were checked when the channel state was set up.
    rs.chan_first_call = 0;
    if (!process_due(rs, rs.chan_next)) return;
    if (rs.chan_explic != 1 && rs.chan_mesh != 1) return;

    const double elapsed = rs.time - rs.chan_last;  // days
    const double dt_c =
        elapsed > kShortestElapsed ? process_elapsed_seconds(rs, rs.chan_last) : rs.chan_step_seconds;
    const bool built = network_built(rs);
    // Stream cells whose level the overland boundary holds keep their depth.
    const int* boundary_type =
        rs.ov_boundary && rs.boundary_type.size() > static_cast<size_t>(rs.GNUM)
            ? rs.boundary_type.data()
            : nullptr;

    if (built) {
        rs.area_old = rs.area;
        // Sacramento outflow enters the channels every step, dry surface or not.
        // It never takes more than the accounting has let out.
        if (rs.surface_has_water || rs.overbank_flow || rs.sacramento) {
            const double sac = rs.sacramento ? std::min(rs.sac_channel_inflow, rs.sac_pending / dt_c) : 0.0;
            const lateral_volumes lv = lateral_inflow(rs, dt_c, sac, boundary_type);
            rs.sac_vol_to_channels += lv.sacramento;
            rs.sac_pending = std::max(rs.sac_pending - lv.sacramento, 0.0);
            // Channel water put on head-boundary cells leaves the watershed there.
            rs.vol_head_bc_loss += lv.boundary;
            rs.vol_head_bc_gain += lv.boundary_gain;
            rs.chan_active = 1;
        }
        add_superlink_outflow_to_channels(rs, dt_c);
        if (rs.channel_lakes) {
            rs.chan_active = 1;
            apply_lake_point_inputs(rs, dt_c);
            exchange_lakes_with_aquifer(rs, dt_c);
            move_lake_volumes_to_totals(rs);
            update_lake_cells(rs);
            move_lake_volumes_to_totals(rs);
            rs.lake_level_flag = lake_above_minimum(rs) ? 1 : 0;
        }
    }

    double outlet_volume = 0.0;  // m3
    if (built && rs.chan_explic && rs.chan_active) {
        ++rs.chan_route_calls;
        route_volumes v;
        set_stream_xy_discharges(rs);
        const int result = ex_flow_route(rs, dt_c, v, boundary_type);
        if (result < 0) return;
        rs.chan_exchange_result = result;
        rs.vol_lateral_into_channel += v.lateral_in;
        rs.vol_lateral_out_of_channel += v.lateral_out;
        rs.vol_lateral_inflow = rs.vol_lateral_into_channel + rs.vol_lateral_out_of_channel;
        rs.vol_head_bc_gain += v.overbank_gain;
        rs.vol_head_bc_loss += v.overbank_loss;
        rs.vol_xy_stream_boundary += v.xy_boundary;
        const size_t L = ix(rs.links);
        rs.outlet_flow = rs.qp(ix(rs.nx[L]), L);
        outlet_volume = v.outlet;
    } else if (!rs.chan_explic) {
        outlet_volume = dt_c * rs.outlet_flow;
    }

    if (built) {
        track_max_yp(rs);
        if (rs.channel_lakes) move_lake_volumes_to_totals(rs);
        if (rs.flood_stream) track_max_stage(rs);
    }
    rs.chan_step_outlet_volume = outlet_volume;
    rs.vol_discharge += outlet_volume;
    rs.event_outflow_vol += outlet_volume;

    // The exchange is booked every channel step (a solved aquifer takes it later).
    if (built && (rs.water_table || rs.stream_exchange)) book_channel_exchange(rs);
    if (built && rs.channel_sediment) step_channel_sediment(rs, dt_c);
    if (built) rs.qlat.fill(0.0);
    advance_process_clock(rs, rs.chan_last, rs.chan_next, rs.chan_step_days);
    rs.chan_steps += 1;
    if (built) update_idle_clock(rs);
}
