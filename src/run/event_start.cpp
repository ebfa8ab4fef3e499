// Event start: in the pass whose time is the beginning of the current event,
// re-synchronise the process clocks with the event, zero the per-event
// accumulators that the end-of-event accounting reports, take the start
// copies of the cumulative volumes and re-establish the soil-moisture state
// of the infiltration scheme in use. Times are Julian days, volumes m3,
// soil depths and fluxes of the soil schemes cm.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "calibration/calibration.h"
#include "channel/xsection.h"
#include "core/dates.h"
#include "quality/channel_sediment_step.h"
#include "run/event_access.h"
#include "run/event_control.h"
#include "run/event_volumes.h"
#include "core/file_write.h"
#include "output/analyzer.h"
#include "output/constituent_summary.h"
#include "run/run_state.h"
#include "subsurface/richards.h"
#include "subsurface/sacramento.h"

namespace {

constexpr double kSecondsPerDay = 86400.0;
constexpr double kSurfaceWetVolume = 1e-6;    // m3: a surface holding more is not dry
constexpr double kNoCalibValue = -999.99;     // calibration location value before the event end

bool wetland_cell(const run_state& rs, int j) {
    if (!rs.wetlands || !spans(rs.wetland_mask, j)) return false;
    const int w = rs.wetland_mask[j];
    return w > 0 && w < static_cast<int>(rs.wetland_records.size());
}

// Wetland start of a cell: its water begins at the record's first value. The
// ground is lowered by the record's last value once per run only, so that in
// a long-term run the ground of a wetland does not sink again at every event.
void start_wetland_cell(run_state& rs, int j) {
    const wetland_record& w = rs.wetland_records[rs.wetland_mask[j]];
    rs.ov_depth[j] = w.initial_depth;
    if (!rs.wetland_bed_lowered && spans(rs.elevation, j)) rs.elevation[j] -= w.bed_lowering;
}

// Step 1: inter-event drying of the Richards columns (long-term, not the first event).
void dry_richards_between_events(run_state& rs, double t, double area) {
    const double depth = solve_richards(rs, (t - rs.infil_last) * kSecondsPerDay, 1);
    rs.richards_evap_depth = depth;
    rs.vol_evaporation += depth * area;
    file_printf(rs.summary_file, "Total evaporation at beginning of event %lf \n", rs.vol_evaporation);
    rs.event_evap_volume = 0.0;
    if (spans(rs.cum_infil, rs.GNUM) && spans(rs.cum_infil_prev, rs.GNUM)) {
        double infiltrated = 0.0;
        for (int j = 1; j <= rs.GNUM; ++j) infiltrated += (rs.cum_infil[j] - rs.cum_infil_prev[j]) * area;
        rs.vol_infiltration += infiltrated;
    }
    if (t + rs.rain_step_days < rs.infil_next) {
        rs.infil_last = t;
        rs.infil_next = t + rs.rain_step_days;
        if (rs.overland_constituents) rs.ov_con_infil_next = rs.infil_next;
    }
}

// Step 2.3: the overland constituent sub-step clocks follow the rain clock.
void start_constituent_clocks(run_state& rs, double t) {
    rs.ov_con_step_seconds = rs.rain_step_seconds;
    rs.ov_con_step_days = rs.rain_step_days;
    const double next = rs.rain_next;
    rs.ov_con_rain_next = next;
    rs.ov_con_rain_last = t;
    rs.ov_con_outlet_next = next;
    rs.ov_con_outlet_last = t;
    rs.ov_con_chan_next = next;
    rs.ov_con_chan_last = t;
    rs.ov_con_transport_next = next;
    rs.ov_con_transport_last = t;
    rs.ov_con_infil_next = rs.infil_next;
    rs.ov_con_infil_last = rs.infil_last;
    if (rs.soil_con_trans) {
        rs.soil_con_next = next;
        rs.soil_con_last = t;
    }
    if (rs.contaminant_count > 0) {
        rs.ov_con_exchange_next = next;
        rs.ov_con_exchange_last = t;
        rs.ov_con_decay_next = next;
        rs.ov_con_decay_last = t;
    }
    if (rs.nsm_on) {
        rs.nsm_rain_next = next;
        rs.nsm_rain_last = t;
        rs.nsm_kinetics_next = next;
        rs.nsm_kinetics_last = t;
    }
}

// Step 3.4: one cell of the Richards columns.
void start_richards_cell(run_state& rs, int j, double area) {
    if (spans(rs.infil_depth, j)) rs.infil_depth[j] = 0.0;
    if (spans(rs.inf_rich, j)) rs.inf_rich[j] = 0.0;
    if (spans(rs.bound_type, j)) rs.bound_type[j] = 1;
    if (rs.long_term && spans(rs.direct_evaporation, j)) {
        rs.vol_direct_evaporation += rs.direct_evaporation[j] / 100.0 * area;
        rs.direct_evaporation[j] = 0.0;
    }
    add_richards_column(rs, j, area, rs.richards_soil_start, rs.richards_node_count);
    if (rs.long_term && rs.richards_sampling_depth > 0.0) {
        rs.avg_soil_moisture += richards_top_saturation(rs, j);
    }
    if (spans(rs.dtr, j)) rs.dtr[j] = std::min(rs.dtr[j], rs.infil_step_seconds / 3600.0);
    if (!rs.groundwater && spans(rs.gw_recharge_depth, j)) {
        rs.vol_unsat_downward += rs.gw_recharge_depth[j] / 100.0 * area;
        rs.gw_recharge_depth[j] = 0.0;
    }
}

// Downward flux and direct evaporation of a cell booked into the run totals
// (Green-Ampt with redistribution and multi-layer soils).
void book_soil_fluxes(run_state& rs, int j, double area) {
    if (!rs.groundwater && spans(rs.bottom_flux, j)) {
        rs.vol_unsat_downward += rs.bottom_flux[j] / 100.0 * area;
        rs.bottom_flux[j] = 0.0;
    }
    if (spans(rs.direct_evaporation, j)) {
        rs.vol_direct_evaporation += rs.direct_evaporation[j] / 100.0 * area;
        rs.direct_evaporation[j] = 0.0;
    }
}

// Step 3: per-cell resets.
void reset_cells(run_state& rs, double area) {
    const int n = rs.GNUM;
    const bool surface_start = !rs.inf_richards && !rs.groundwater && !rs.ov_point_source &&
                               !rs.inf_redist && spans(rs.ov_depth, n) && spans(rs.ov_aux, n);
    const bool depth_given = rs.cards.ov_init_depth_given || rs.cards.init_elev_head_given;
    const bool green_ampt = rs.green_ampt && spans(rs.cum_infil, n) && spans(rs.cum_infil_prev, n);
    const bool layered = rs.inf_layered_soil && spans(rs.cum_infil, n) && spans(rs.cum_infil_prev, n);
    const bool richards = rs.inf_richards;
    const bool interception = rs.interception && spans(rs.icep_dep, n);
    if (richards) rs.event_vol_gw_to_unsat = 0.0;

    for (int j = 1; j <= n; ++j) {
        if (surface_start) {
            if (depth_given) {
                rs.ov_aux[j] = 0.0;
                if (wetland_cell(rs, j)) start_wetland_cell(rs, j);
            } else if (rs.wetlands) {
                if (wetland_cell(rs, j)) {
                    start_wetland_cell(rs, j);
                } else {
                    rs.ov_depth[j] = 0.0;
                }
            } else {
                rs.ov_aux[j] = 0.0;
            }
        }
        if (green_ampt) {
            rs.cum_infil[j] = 0.0;
            rs.cum_infil_prev[j] = 0.0;
        }
        if (layered) {
            if (spans(rs.wetdep, j)) rs.wetdep[j] = 0.0;
            if (spans(rs.infil_depth, j)) rs.infil_depth[j] = 0.0;
            rs.cum_infil[j] = 0.0;
            rs.cum_infil_prev[j] = 0.0;
        }
        if (richards) {
            if (spans(rs.cum_infil, j)) rs.cum_infil[j] = 0.0;
            if (spans(rs.cum_infil_prev, j)) rs.cum_infil_prev[j] = 0.0;
            start_richards_cell(rs, j, area);
        }
        if (interception) rs.icep_dep[j] = 0.0;
    }
    if (surface_start && rs.wetlands) rs.wetland_bed_lowered = 1;
    if (rs.long_term && richards && n > 0) rs.avg_soil_moisture /= n;
}

// Step 5: calibration points of the event.
void start_calibration_points(run_state& rs) {
    if (!rs.calibration_run) return;
    calib_output* record = rs.calib_output;
    auto clear_locations = [record](std::vector<double>& peak, std::vector<double>& volume, int count) {
        for (int i = 1; i <= count; ++i) {
            if (spans(peak, i)) peak[i] = 0.0;
            if (spans(volume, i)) volume[i] = 0.0;
            if (record != nullptr) {
                if (spans(record->location_peak, i)) record->location_peak[i] = kNoCalibValue;
                if (spans(record->location_volume, i)) record->location_volume[i] = kNoCalibValue;
            }
        }
    };
    if (!rs.optimize_sed) {
        if (rs.hyd_locations_on) clear_locations(rs.hyd_point_peak, rs.hyd_point_volume, rs.num_hyd_locations);
    } else if (rs.channel_sediment && rs.sed_locations_on) {
        clear_locations(rs.sed_point_peak, rs.sed_point_volume, rs.num_sed_locations);
    }
}

// Step 6: surface storage at the event start.
void start_surface_storage(run_state& rs, double area) {
    const bool depth_given = rs.cards.ov_init_depth_given || rs.cards.init_elev_head_given;
    if (!(rs.inf_richards || rs.groundwater || rs.soil_et || rs.lakes || rs.wetlands || depth_given)) return;
    const int n = rs.GNUM;
    if (!spans(rs.ov_depth, n)) return;
    const bool lakes = rs.lakes && spans(rs.oland_lake_new, n) && spans(rs.elevation, n);
    double volume = 0.0;
    for (int j = 1; j <= n; ++j) {
        const int lake = lakes ? rs.oland_lake_new[j] : 0;
        if (lake > 0 && lake < static_cast<int>(rs.overland_lakes.size())) {
            volume += (rs.overland_lakes[lake].level - rs.elevation[j]) * area;
        } else {
            volume += rs.ov_depth[j] * area;
        }
    }
    rs.event_surface_init = volume;
    if (volume > kSurfaceWetVolume) {
        rs.dry_start = 0;
        rs.event_surface_init_copy = volume;
    }
}

// Clamps the recomputed water content of a redistribution cell into
// [thr, phi]; values on the limits are left as they are.
void clamp_redist_theta(run_state& rs, int j) {
    double& thi = rs.thi[j];
    const double thr = rs.thr[j];
    const double phi = rs.phi[j];
    if (thi >= thr && thi <= phi) return;
    std::printf("cell: %d  thi: %lf  thr: %lf   phi: %lf\n", j, thi, thr, phi);
    if (thi < thr) {
        thi = thr + 0.01;
        std::printf("Problem initializing inf_redist in main loop, thi<thr at grid cell %d, increasing it to %lf\n",
                    j, thi);
    } else {
        thi = phi - 0.01;
        std::printf("Problem initializing inf_redist in main loop, thi>phi at grid cell %d, decreasing it to %lf\n",
                    j, thi);
    }
}

// Step 10: Green-Ampt with redistribution.
void start_redistribution(run_state& rs, double area) {
    const int n = rs.GNUM;
    rs.inf_redist_ready = 1;
    rs.avg_soil_moisture = 0.0;
    if (!spans(rs.thi, n) || !spans(rs.thr, n) || !spans(rs.phi, n)) return;
    for (int j = 1; j <= n; ++j) {
        if (spans(rs.iter_pond_1, j)) rs.iter_pond_1[j] = 0;
        if (spans(rs.iter_n, j)) rs.iter_n[j] = 0;
        if (spans(rs.no_wat_prof, j)) rs.no_wat_prof[j] = 0;
        if (spans(rs.iter_i_less_k, j)) rs.iter_i_less_k[j] = 0;
        if (spans(rs.redist_water, j)) rs.redist_water[j] = 0.0;
        if (spans(rs.cum_infil, j)) rs.cum_infil[j] = 0.0;
        if (spans(rs.cum_infil_prev, j)) rs.cum_infil_prev[j] = 0.0;
        if (rs.long_term) {
            const double front = spans(rs.unsat_depth, j) ? rs.unsat_depth[j] : 0.0;   // cm
            if (front > 1e-16) {
                const double upper = spans(rs.root_zone_upper, j) ? rs.root_zone_upper[j] : 0.0;
                double depth = front;
                if (rs.top_layer_depth > 1e-16) depth = std::min(front, rs.top_layer_depth);
                rs.thi[j] = upper / depth;
            } else {
                rs.thi[j] = rs.phi[j];
            }
            clamp_redist_theta(rs, j);
            if (rs.phi[j] > 0.0) rs.avg_soil_moisture += rs.thi[j] / rs.phi[j];
            if (std::isnan(rs.avg_soil_moisture)) std::printf("bad initial value of soil moisture cell %d\n", j);
            book_soil_fluxes(rs, j, area);
        }
        if (spans(rs.redist_theta, j)) rs.redist_theta[j] = rs.thi[j];
        if (spans(rs.redist_theta_prev, j)) rs.redist_theta_prev[j] = rs.thi[j];
    }
    if (n > 0) rs.avg_soil_moisture /= n;
}

// Step 11: multi-layer Green-Ampt in long-term runs.
void start_layered_soil(run_state& rs, double area) {
    const int n = rs.GNUM;
    for (int j = 1; j <= n; ++j) {
        double theta[3];
        if (!layered_water_contents(rs, j, theta)) continue;
        if (spans(rs.theta_ml, j)) {
            for (int k = 0; k < 3; ++k) rs.theta_ml[j][k + 1] = theta[k];
        }
        const double porosity = rs.soil_table[rs.soiltype[j]].porosity[0];
        if (porosity > 0.0) rs.avg_soil_moisture += theta[0] / porosity;
        if (std::isnan(rs.avg_soil_moisture)) std::printf("bad initial value of soil moisture cell %d\n", j);
        book_soil_fluxes(rs, j, area);
    }
    if (n > 0) rs.avg_soil_moisture /= n;
}

int link_type(const run_state& rs, int link) {
    return spans(rs.ltype, link) ? rs.ltype[link] : 0;
}

double link_length(const run_state& rs, int link) {
    return spans(rs.dx, link) ? rs.dx[link] : 0.0;
}

// Step 12: channels with explicit routing.
void start_channels(run_state& rs) {
    rs.chan_step_seconds = rs.rain_step_seconds;
    rs.chan_step_days = rs.rain_step_days;
    rs.chan_next = rs.rain_next;
    rs.chan_last = rs.rain_last;
    if (rs.chan_con_trans) align_channel_constituent_clocks(rs);
    if (rs.overland_constituents) {
        rs.ov_con_chan_next = rs.chan_next;
        rs.ov_con_chan_last = rs.chan_last;
    }

    rs.event_start_lateral_inflow = rs.vol_lateral_inflow;
    rs.event_start_lateral_into_channel = rs.vol_lateral_into_channel;
    rs.event_start_lateral_out_of_channel = rs.vol_lateral_out_of_channel;
    rs.event_vol_gw_to_chan = 0.0;
    rs.event_vol_chan_to_gw = 0.0;
    rs.event_vol_gw_to_lakes = 0.0;
    rs.event_vol_lakes_to_gw = 0.0;

    // Empty channels for an overland-only start (not with a channel hotstart).
    const bool continuous = rs.inf_richards || rs.groundwater || rs.soil_et;
    if ((!continuous || rs.clock_passes == 1) && !rs.chan_hotstart_read) {
        for (int l = 1; l <= rs.links; ++l) {
            for (int k = 1; k <= link_nodes(rs, l); ++k) {
                double* q = node_entry(rs.qp, k, l);
                double* y = node_entry(rs.yp, k, l);
                double* b = node_entry(rs.bel, k, l);
                double* lat = node_entry(rs.qlat, k, l);
                if (q) *q = 0.0;
                if (y && b) *y = *b;
                if (lat) *lat = 0.0;
            }
        }
        if (rs.head_bound && rs.links >= 1) {
            const int l = rs.links;
            const int k = link_nodes(rs, l);
            double* y = node_entry(rs.yp, k, l);
            double* b = node_entry(rs.bel, k, l);
            double* d = node_entry(rs.chan_node_depth, k, l);
            if (y && b) *y = *b + rs.bound_depth;
            if (d) *d = rs.bound_depth;
        }
    }

    ex_section(rs, rs.xsec_init_mode);

    if (rs.channel_lakes) {
        double lakes = 0.0;
        for (int i = 1; i <= rs.num_channel_lakes && spans(rs.lake_volume, i); ++i) lakes += rs.lake_volume[i];
        rs.event_lake_init = lakes;
    }

    double volume = 0.0;
    for (int l = 1; l <= rs.links; ++l) {
        const int type = link_type(rs, l);
        if (!ordinary_link(type)) continue;
        for (int k = 1; k <= link_nodes(rs, l); ++k) {
            const double* a = node_entry(rs.area, k, l);
            if (a == nullptr) continue;
            if (std::isnan(*a)) {
                std::printf("Negative Area Computed At Startup for [Node][Link]: [%d][%d] ltype: %d\n", k, l, type);
            }
            volume += *a * link_length(rs, l);
        }
    }
    rs.event_channel_init = volume;
    if (rs.channel_sediment) start_channel_sediment_event(rs);
}

// Step 13: snow water at the event start.
void start_snow(run_state& rs, double area) {
    rs.event_snow_final = 0.0;
    rs.event_snow_init = 0.0;
    if (!rs.snow || !spans(rs.snow_swe, rs.GNUM)) return;
    const bool lakes = rs.channel_lakes && spans(rs.lake_mask, rs.GNUM);
    double volume = 0.0;
    for (int j = 1; j <= rs.GNUM; ++j) {
        if (lakes && rs.lake_mask[j] > 0) continue;
        volume += rs.snow_swe[j] * area;
    }
    rs.event_snow_init = volume;
}

// Step 14: storm drains and overland boundaries.
void start_drains_and_boundaries(run_state& rs) {
    rs.event_vol_ov_point_sources = 0.0;
    rs.lakes_changed = 0;
    rs.event_vol_ov_to_superlink = 0.0;
    rs.event_vol_superlink_to_ov = 0.0;
    rs.event_vol_superlink_to_channels = 0.0;
    rs.event_vol_gw_to_tile = 0.0;
    // The water the storm drains hold when the event starts.
    rs.event_vol_drains_init = rs.superlink ? rs.superlink_storage : 0.0;
    rs.event_vol_xy_gain_gw = 0.0;
    rs.event_vol_xy_loss_gw = 0.0;
    if (rs.superlink) {
        if (rs.superlink_first_step > 0) rs.superlink_first_step = 1;
        rs.superlink_step_days = rs.rain_step_days;
        rs.superlink_next = rs.rain_next;
        rs.superlink_last = rs.rain_last;
        rs.superlink_event_begun = 1;
    }
    const bool boundary_cells = rs.ov_boundary || rs.ov_pump || rs.xy_ov_boundary;
    for (const boundary_volume& b : boundary_volumes()) {
        rs.*b.event = 0.0;
        if (boundary_cells) rs.*b.start = rs.*b.total;
    }
}

}  // namespace

void start_event(run_state& rs) {
    // The event starts in the first pass at or after its beginning, once. A
    // beginning between two passes starts the processes' clocks at the
    // beginning itself, so their first steps take in the rain and the time
    // since then.
    const double begin = rs.event_begin_time;   // 0 until an event is read
    if (!(begin > 0.0) || !process_due(rs, begin) || rs.event_started_at == begin) return;
    rs.event_started_at = begin;
    const double t = std::min(rs.time, begin);
    // The precipitation reader tells the analyzers of a gage event; uniform
    // rain has no reading, its one event begins here.
    if (rs.uniform_rain) run_analyzers(rs, kAnalyzerEventBegin);
    const double area = rs.cell_size * rs.cell_size;   // m2
    const double rain_days = rs.rain_step_days;

    // 1
    if (rs.long_term == 1 && rs.clock_passes != 1 && rs.inf_richards) dry_richards_between_events(rs, t, area);

    // 2: process clocks
    rs.rain_last = t;
    rs.rain_next = t + rain_days;
    rs.infil_step_seconds = rs.rain_step_seconds;
    rs.infil_step_days = rain_days;
    rs.infil_next = std::min(rs.infil_next, t + 2.0 * rain_days);
    if (rs.overland_constituents) start_constituent_clocks(rs, t);
    start_constituent_event_books(rs);
    if (rs.groundwater) {
        rs.gw_step_seconds = rs.rain_step_seconds;
        rs.gw_step_days = rain_days;
        rs.gw_next = std::min(rs.gw_next, rs.rain_next + rain_days);
        rs.event_vol_gw_recharge = 0.0;
        rs.av_qriv.fill(0.0);
    }
    if (rs.soil_et) {
        rs.et_step_seconds = rs.infil_step_seconds;
        rs.et_step_days = rs.infil_step_days;
        rs.et_next = rs.infil_next;
    }
    // The soil-layer constituents follow the infiltration clock, with or
    // without evapotranspiration.
    if (rs.soil_con_trans) rs.soil_con_next = rs.infil_next;
    if (rs.inf_richards) {
        rs.avg_soil_moisture = 0.0;
        rs.richards_soil_start = 0.0;
        rs.richards_node_count = 0;
    }
    if (rs.sacramento) {
        rs.event_sac_baseflow = 0.0;
        rs.event_sac_infiltration = 0.0;
        rs.event_sac_et = 0.0;
        // With the water in transit: outflow waiting for the channels since
        // the last event enters them in this one.
        rs.event_sac_storage_start = sacramento_water(rs);
    }

    // 3
    reset_cells(rs, area);

    // 4: event accumulators and start values
    rs.richards_downward_total = 0.0;
    if (rs.clock_passes != 1) rs.event_steps = 1;
    rs.infil_steps = 1;
    rs.peak_flow = 0.0;
    rs.xsec_error = 0;
    rs.event_rain_volume = 0.0;
    rs.event_vol_precip_to_lake = 0.0;
    rs.event_vol_ov_to_lake = 0.0;
    rs.event_vol_lake_to_ov = 0.0;
    rs.event_surface_init = 0.0;
    rs.event_outflow_vol = 0.0;
    rs.event_outflow_total = 0.0;
    rs.event_peak_discharge = 0.0;
    rs.event_richards_evap = 0.0;
    rs.event_richards_infil = 0.0;
    rs.event_richards_soil_et = 0.0;
    rs.event_vol_total_evaporation = 0.0;
    rs.event_surface_evaporation = 0.0;
    rs.exfil_at_event_start = rs.vol_exfiltration;
    rs.event_start_vol_slope_bc_loss = rs.vol_slope_bc_loss;
    rs.event_start_vol_head_bc_gain = rs.vol_head_bc_gain;
    rs.event_start_vol_head_bc_loss = rs.vol_head_bc_loss;
    rs.event_exfil_volume = 0.0;
    rs.event_start_vol_lake_evaporation = rs.vol_lake_evaporation;
    rs.event_start_vol_interception = rs.vol_interception;
    for (const point_source_volume& p : point_source_volumes()) rs.*p.start = rs.*p.total;
    rs.dry_start = 1;
    rs.event_surface_init_copy = 0.0;

    // 5-7
    start_calibration_points(rs);
    start_surface_storage(rs, area);
    rs.event_infil_volume = 0.0;
    rs.rain_begin_minutes = 0.0;
    rs.rain_steps = 0;
    rs.event_ov_split_faces = 0;
    rs.rain_first_step = 1;
    if (!rs.quiet) print_message("Initialized Arrays\n");

    // 9: end time of a single-event run (the start is the clock's step-0 time);
    // a host event ends at it too when its flow never falls below the cutoff.
    if (rs.long_term == 0) {
        if (!rs.quiet) print_message("simulation duration %d minutes\n", rs.tot_time);
        rs.end_time = rs.julian_start + rs.tot_time / 1440.0;
    }

    // 10-11: soil moisture of the Green-Ampt family
    if (rs.inf_redist) start_redistribution(rs, area);
    if (rs.inf_layered_soil && rs.long_term) {
        rs.avg_soil_moisture = 0.0;
        start_layered_soil(rs, area);
    }

    // 12-14
    if (rs.chan_explic) start_channels(rs);
    start_snow(rs, area);
    start_drains_and_boundaries(rs);
}
