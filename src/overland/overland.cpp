// The overland flow step of the time loop: snow roughness, boundary values
// and pumps, the depth check, the routing scheme, the outlet discharge, the
// update times, and the long-term dry-spell jump to the next event.
#include "overland/overland.h"

#include <climits>
#include <cmath>
#include <cstdio>

#include "channel/channel_lakes.h"
#include "channel/channel_records.h"
#include "run/clock.h"
#include "core/dates.h"
#include "core/error.h"
#include "core/parallel.h"
#include "run/run_state.h"
#include "overland/ade_scheme.h"
#include "overland/boundaries.h"
#include "overland/channel_lake_faces.h"
#include "overland/explicit_scheme.h"
#include "overland/lowspots.h"
#include "overland/pumps.h"
#include "quality/sediment_step.h"

namespace {

constexpr double kZero = 1e-16;   // depths and flows at most this count as zero
constexpr double kDrainedShare = 1e-4;   // channel water per event rain below which runoff is over

void fail_printed() {
    error_record.code = kErrorPrinted;
    report_error(error_record);
}

// Snow-covered cells flow with the snow Manning n, the others with their own.
void apply_snow_roughness(run_state& rs) {
    if (rs.snow_roughness_on != 1) return;
    const int n = rs.GNUM;
    const size_t size = static_cast<size_t>(n) + 1;
    if (rs.dist_rough_copy.size() < size || rs.snow_swe.size() < size ||
        rs.dist_rough.size() < size)
        return;
    rs.rough_all = 0.0;   // the cells' n differ from now on
    double* rough = rs.dist_rough.data();
    const double* copy = rs.dist_rough_copy.data();
    const double* swe = rs.snow_swe.data();
    const double snow_n = rs.snow_manning_n;
#pragma omp parallel for schedule(static) if (n >= kParallelCells)
    for (int j = 1; j <= n; ++j) rough[j] = swe[j] > 0.0 ? snow_n : copy[j];
}

// Looks at the plain cells (cells of neither an overland lake nor a
// channel-network lake): `water` when some depth is above 1e-16 m, `flow`
// when some face discharge is, and `bad` the first cell whose depth is not a
// number (0 for none).
void scan_plain_cells(const run_state& rs, int& water, int& flow, int& bad) {
    const int n = rs.GNUM;
    const size_t size = static_cast<size_t>(n) + 1;
    const double* h = rs.ov_depth.data();
    const double* qx = rs.ov_qx.size() >= size ? rs.ov_qx.data() : nullptr;
    const double* qy = rs.ov_qy.size() >= size ? rs.ov_qy.data() : nullptr;
    const int* olake = (rs.lakes && rs.oland_lake_new.size() >= size) ? rs.oland_lake_new.data()
                                                                      : nullptr;
    const int* clake = (rs.channel_lakes && rs.lake_mask.size() >= size) ? rs.lake_mask.data()
                                                                          : nullptr;
    int wet = 0;
    int flowing = 0;
    int first_bad = INT_MAX;
#pragma omp parallel for schedule(static) if (n >= kParallelCells) \
    reduction(max : wet, flowing) reduction(min : first_bad)
    for (int j = 1; j <= n; ++j) {
        if (olake != nullptr && olake[j] >= 1) continue;
        if (clake != nullptr && clake[j] > 0) continue;
        const double d = h[j];
        if (std::isnan(d)) {
            if (j < first_bad) first_bad = j;
            continue;
        }
        if (d > kZero) wet = 1;
        // Once this thread has seen a flowing face its other faces need no
        // reading (a third of the loop's memory traffic each).
        if (flowing > 0) continue;   // (the private copy starts below 0)
        if ((qx != nullptr && std::fabs(qx[j]) > kZero) ||
            (qy != nullptr && std::fabs(qy[j]) > kZero))
            flowing = 1;
    }
    water = wet;
    flow = flowing;
    bad = first_bad == INT_MAX ? 0 : first_bad;
}

// Sets surface_has_water and surface_has_flow from the plain cells and the
// lakes. Returns the first cell whose depth is not a number, 0 when there is
// none. Before an ADE step of dt seconds (dt > 0) the scheme's sub-step
// estimate shares the pass over the cells when it can.
int check_surface(run_state& rs, double dt = 0.0) {
    rs.surface_has_water = 0;
    rs.surface_has_flow = 0;
    const int n = rs.GNUM;
    const size_t size = static_cast<size_t>(n) + 1;
    if (n < 1 || rs.ov_depth.size() < size) return 0;
    int water = 0;
    int flow = 0;
    int bad = 0;
    if (!(dt > 0.0 && scan_surface_for_ade(rs, dt, water, flow, bad)))
        scan_plain_cells(rs, water, flow, bad);
    // A lake standing above a low spot's crest drains through it even when
    // every plain cell is dry.
    if (!water && lake_may_pass_low_spot(rs)) water = 1;
    // So does a channel lake standing above the ground beside it.
    if (!water && channel_lake_may_spill(rs)) water = 1;
    rs.surface_has_water = water;
    rs.surface_has_flow = flow;
    return bad;
}

// A long-term run with a dry surface jumps its overland and infiltration
// clocks to the next event.
void jump_to_next_event(run_state& rs) {
    if (!rs.long_term || rs.exfiltration || rs.ov_pump || rs.overbank_flow) return;
    if (rs.surface_has_water && rs.surface_has_flow) return;
    rs.surface_water_present = 0;
    const double start = event_start_time(rs, rs.event_index + 1);
    rs.rain_next = start;
    // After the last event nothing wakes these clocks: their last time stays now.
    rs.rain_last = start < kNeverDue ? start - rs.rain_step_days : rs.time;
    rs.outlet_flow = 0.0;
    // Richards columns go on under the hourly evaporation demand, wet or dry.
    if (rs.inf_richards ||
        (rs.surface_has_water && (rs.gw_simulation || (rs.inf_redist && rs.inf_redist_ready)))) {
        // Infiltration (and evapotranspiration) follow the hydromet clock.
        rs.infil_next = rs.hmet_next;
        rs.infil_step_seconds = rs.hmet_step_seconds;
        rs.infil_step_days = rs.hmet_step_days;
        rs.et_next = rs.infil_next;
        rs.et_step_seconds = rs.infil_step_seconds;
        rs.et_step_days = rs.infil_step_days;
    } else {
        rs.infil_next = rs.rain_next;
        rs.infil_last = rs.rain_last;
        // Evapotranspiration and root-zone drainage go on between events on
        // the hydromet clock (1 h), as before the first event; left on the
        // event's rain step they would run at every model step.
        if (rs.soil_et && rs.hmet_next >= 0.0) {
            rs.et_next = rs.hmet_next;
            rs.et_step_seconds = rs.hmet_step_seconds;
            rs.et_step_days = rs.hmet_step_days;
        }
    }
}

// An event run with channel routing ends once the rain has stopped, the
// surface is dry and the channels hold less than 1e-4 of the event's rain.
void end_event_when_drained(run_state& rs) {
    if (rs.long_term || rs.surface_has_water || rs.qrm_host || rs.chan_explic != 1) return;
    double volume = 0.0;   // m3
    for (int l = 1; l <= rs.links && static_cast<size_t>(l) < rs.ltype.size(); ++l) {
        const size_t li = static_cast<size_t>(l);
        const int type = rs.ltype[li];
        if (type & (kLtLake | kLtStructure)) continue;
        if ((type & kLtOvertaken) && (type & kLtChannel)) continue;
        if (li >= rs.area.cols() || li >= rs.nx.size() || li >= rs.dx.size()) continue;
        const double* a = rs.area.link_data(li);
        double sum = 0.0;
        for (int k = 1; k <= rs.nx[li] && static_cast<size_t>(k) < rs.area.rows(); ++k) sum += a[k];
        volume += sum * rs.dx[li];
    }
    rs.vol_channel_final = volume;
    if (!(volume < kDrainedShare * rs.event_rain_volume)) return;
    print_message("Rainfall for this event has ended.\n");
    if (rs.summary_file.is_open()) {
        std::fprintf(rs.summary_file.handle, "Rainfall for this event ended. Runoff is complete\n");
        std::fflush(rs.summary_file.handle);
    }
    rs.event_active = 0;
    rs.finish_pending = 1;
    rs.running = 0;
}

}  // namespace

void route_overland(run_state& rs) {
    apply_snow_roughness(rs);
    if (!process_due(rs, rs.rain_next)) return;

    // The schemes give a face one lake family at a time.
    if (rs.lakes && rs.channel_lakes) {
        std::printf("\nError: overland lakes and lakes of the channel network cannot be "
                    "simulated together yet.\n");
        fail_printed();
        return;
    }

    const double dt = process_elapsed_seconds(rs, rs.rain_last);   // s
    if (rs.ov_boundary) {
        compute_boundary_values(rs);
        apply_overland_boundaries(rs, dt);
    }
    if (rs.ov_pump) apply_overland_pumps(rs, dt);

    int bad = check_surface(rs, dt);
    if (bad != 0) {
        std::printf("A non-real overland flow water depth has been detected in cell %d after "
                    "applying overland boundary conditions and overland pumping.\n",
                    bad);
        fail_printed();
        return;
    }

    rs.outlet_flow = 0.0;
    if (rs.surface_has_water) {
        double outlet_volume = 0.0;   // m3
        if (rs.overtype == 1) {
            outlet_volume = route_overland_explicit(rs, dt);
        } else {
            outlet_volume = route_overland_ade(rs, dt, rs.overtype, rs.ov_sweep);
            if (error_record.stop) return;   // sub-step too short: the run stops
        }
        if (rs.flood_grid) update_max_depth(rs);
        rs.ov_sweep = rs.ov_sweep == 1 ? 2 : 1;
        if (!rs.chan_explic) {
            rs.event_outflow_vol += outlet_volume;
            rs.vol_discharge += outlet_volume;
            if (rs.overland_constituents) rs.ov_con_outlet_volume += outlet_volume;
            rs.outlet_flow = dt > 0.0 ? outlet_volume / dt : 0.0;
        }
    }
    if (rs.ov_sed.on && rs.surface_has_flow) step_overland_sediment(rs, dt);

    // The lake step runs after every overland step (its inflows may also come from the rain).
    if (rs.lakes) rs.lakes_changed = 1;
    // The channel lakes' exchanges of the step go into the run totals.
    if (rs.channel_lakes) move_lake_volumes_to_totals(rs);

    advance_process_clock(rs, rs.rain_last, rs.rain_next, rs.rain_step_days);

    if (rs.rain_on) return;
    bad = check_surface(rs);
    if (bad != 0) {
        std::printf("A non-real overland flow water depth has been detected in cell %d after "
                    "overland flow routing.\n",
                    bad);
        fail_printed();
        return;
    }
    end_event_when_drained(rs);
    jump_to_next_event(rs);
}
