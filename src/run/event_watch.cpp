// Watching the outlet: the running peak of the outlet discharge, the
// progress line, and the end tests of the event and of the simulation.
// Discharges m3/s, times Julian days, volumes m3.
#include <cstdio>
#include <vector>

#include "core/dates.h"
#include "run/event_access.h"
#include "run/event_control.h"
#include "run/run_state.h"
#include "hydromet/hmet_reader.h"
#include "output/analyzer.h"

namespace {

bool channel_routing(const run_state& rs) {
    return rs.chan_explic || rs.chan_mesh;
}

// Console flushing of the progress step: on with the flush_buffer card,
// every flush_buffer calls (flush_every when the card gives no count).
void count_console_flush(run_state& rs) {
    if (!rs.flush_buffer_given) return;
    const int every = rs.flush_buffer > 0 ? rs.flush_buffer : rs.flush_every;
    rs.flush_count += 1;
    if (rs.flush_count >= every) {
        std::fflush(stdout);
        rs.flush_count = 0;
    }
}

// A running extreme of a node value (m or m3/s) and the node and link where it stands.
struct node_extreme {
    double value;
    int node = -1;
    int link = -1;
    void lower(double v, int k, int l) {
        if (v < value) *this = node_extreme{v, k, l};
    }
    void raise(double v, int k, int l) {
        if (v > value) *this = node_extreme{v, k, l};
    }
};

// Extremes of channel depth and discharge over links 1..links-1 (card stream_info).
void print_channel_extremes(const run_state& rs) {
    node_extreme min_depth{5000.0}, max_depth{-5000.0}, min_q{5000.0}, max_q{-5000.0};
    for (int l = 1; l <= rs.links - 1; ++l) {
        for (int k = 1; k <= link_nodes(rs, l); ++k) {
            const double* y = node_entry(rs.yp, k, l);
            const double* b = node_entry(rs.bel, k, l);
            const double* q = node_entry(rs.qp, k, l);
            if (y && b) {
                min_depth.lower(*y - *b, k, l);
                max_depth.raise(*y - *b, k, l);
            }
            if (q) {
                min_q.lower(*q, k, l);
                max_q.raise(*q, k, l);
            }
        }
    }
    print_message("    ==> Max Yp (N %d, L %d) = %lf\n", max_depth.node, max_depth.link, max_depth.value);
    print_message("    ==> Min Yp (N %d, L %d) = %lf\n", min_depth.node, min_depth.link, min_depth.value);
    print_message("    ==> Max Qp (N %d, L %d) = %lf\n", max_q.node, max_q.link, max_q.value);
    print_message("    ==> Min Qp (N %d, L %d) = %lf\n", min_q.node, min_q.link, min_q.value);
}

// True when some node of some link carries more than the cutoff discharge.
bool channel_above_cutoff(const run_state& rs) {
    for (int l = 1; l <= rs.links; ++l) {
        for (int k = 1; k <= link_nodes(rs, l); ++k) {
            const double* q = node_entry(rs.qp, k, l);
            if (q && *q > rs.flow_cutoff) return true;
        }
    }
    return false;
}

double surface_volume(const run_state& rs) {
    const double area = rs.cell_size * rs.cell_size;
    double volume = 0.0;
    if (!spans(rs.ov_depth, rs.GNUM)) return 0.0;
    for (int j = 1; j <= rs.GNUM; ++j) volume += rs.ov_depth[j] * area;
    return volume;
}

// Points the process clocks at the next event's start `s` after a long-term
// event ended (step 4 of the end tests). `cutoff` is the cutoff branch.
void point_clocks_at(run_state& rs, double s, bool cutoff) {
    rs.rain_next = s;
    rs.rain_last = s - rs.rain_step_days;
    if (rs.chan_explic) {
        rs.chan_next = s;
        if (cutoff) rs.channel_has_water = 0;
    }
    if (rs.overland_constituents) {
        const double next = s < rs.infil_next ? s : rs.infil_next;
        rs.ov_con_rain_next = next;
        rs.ov_con_rain_last = rs.rain_last;
        rs.ov_con_transport_next = next;
        rs.ov_con_transport_last = rs.rain_last;
        if (rs.soil_con_trans) {
            rs.soil_con_next = next;
            rs.soil_con_last = rs.rain_last;
        }
        if (channel_routing(rs)) {
            rs.ov_con_chan_next = s;
        } else {
            rs.ov_con_outlet_next = s;
        }
        if (rs.contaminant_count > 0) {
            rs.ov_con_exchange_next = s;
            rs.ov_con_decay_next = s;
        }
    }
    if (rs.chan_con_trans && (cutoff || rs.chan_explic)) align_channel_constituent_clocks(rs);
}

// Step 4 of the end tests: the event ends; the last event ends the run.
void end_long_term_event(run_state& rs, bool last, bool cutoff, const char* message) {
    rs.event_active = 0;
    rs.event_ended = 1;
    rs.finish_pending = 1;
    if (last) {
        rs.running = 0;
        if (!rs.quiet) print_message("%s", message);
    }
    if (rs.inf_richards || rs.groundwater || rs.ov_point_source || rs.inf_redist || rs.lake_level_flag) {
        return;   // these processes keep their own intervals between events
    }
    double s = 0.0;
    if (following_event_start(rs, s)) point_clocks_at(rs, s, cutoff);
}

}  // namespace

void track_peak_flow(run_state& rs) {
    if (rs.outlet_flow > rs.peak_flow) {
        rs.peak_flow = rs.outlet_flow;
        rs.peak_year = rs.year;
        rs.peak_month = rs.month;
        rs.peak_day = rs.day;
        rs.peak_hour = rs.hour;
        rs.peak_minute = rs.minute;
        rs.peak_second = rs.second;
        rs.peak_time = rs.time;
    }
    if (!rs.calibration_run || !rs.hyd_locations_on || !rs.chan_explic || rs.optimize_sed) return;
    for (int i = 1; i <= rs.num_hyd_locations; ++i) {
        if (!spans(rs.hlink, i) || !spans(rs.hnode, i) || !spans(rs.hyd_point_peak, i)) break;
        const double* q = node_entry(rs.qp, rs.hnode[i], rs.hlink[i]);
        if (q && *q >= rs.hyd_point_peak[i]) rs.hyd_point_peak[i] = *q;
    }
}

void print_progress(run_state& rs) {
    const double last_update = channel_routing(rs) ? rs.chan_last : rs.rain_last;
    if (rs.time != last_update) return;   // no overland (or channel) update in this pass
    if (rs.quiet_card) return;
    if (!rs.quiet) {
        if (rs.english_units) {
            print_message("event %2d elapsed time %8.2lf  %2d/%2.2d/%2.2d %2.2d:%2.2d:%2.2d Qout=%10.1lf cfs\n",
                          rs.event_index, rs.elapsed_minutes, rs.month, rs.day, rs.year, rs.hour,
                          rs.minute, rs.second, rs.m3_to_ft3 * rs.outlet_flow);
        } else {
            print_message("event %2d elapsed time %8.2lf  %2d/%2.2d/%2.2d %2.2d:%2.2d:%2.2d Qout=%8.2lf cms\n",
                          rs.event_index, rs.elapsed_minutes, rs.month, rs.day, rs.year, rs.hour,
                          rs.minute, rs.second, rs.outlet_flow);
        }
    }
    count_console_flush(rs);
    if (rs.stream_info) print_channel_extremes(rs);
}

void check_run_end(run_state& rs) {
    // 1: the end_time card ends the run once the time is strictly past it
    if (rs.end_time_given && rs.time > rs.end_time_card) {
        rs.event_ended = 1;
        rs.finish_pending = 1;
        rs.event_active = 0;
        rs.running = 0;
        return;
    }

    // 2: a single-event run ends when the time reaches or passes its end
    // time (within the clock tolerance); so does an event of the QRM host
    // whose flow never fell below the cutoff.
    if (rs.long_term == 0 && rs.end_time > 0.0 && rs.time > rs.end_time - rs.time_tolerance) {
        rs.running = 0;
        rs.event_active = 0;
        rs.event_ended = 1;
        rs.finish_pending = 1;
    }

    // A long-term run never outlasts its records (the hmet step ends it at
    // the hour after the last one; this holds whatever kept that step away).
    if (rs.long_term && rs.julian_end > 0.0 &&
        rs.time > rs.julian_end + rs.hmet_step_days + rs.time_tolerance) {
        if (rs.event_active) {
            rs.event_active = 0;
            rs.event_ended = 1;
            rs.finish_pending = 1;
        }
        rs.running = 0;
    }

    // 3: long-term event end, once no rain falls
    if ((rs.long_term || rs.qrm_host) && rs.event_active && (rs.rain_state == 0 || rs.rain_state == 3)) {
        // A long-term run goes on after its last event while hmet data remain.
        const bool last = rs.num_events == rs.event_index && !hmet_data_remain(rs);
        const bool keeps_water_table = rs.water_table_on || rs.sacramento;
        if (rs.outlet_flow < rs.flow_cutoff) {
            if (last) rs.vol_surface_final = surface_volume(rs);
            const bool rain_on_surface =
                last && rs.event_rain_volume > 0.0 &&
                rs.vol_surface_final - rs.event_surface_init >= 0.05 * rs.event_rain_volume &&
                !keeps_water_table;
            if (rain_on_surface) {
                rs.running = 1;   // 5 % or more of the event's rain still lies on the surface
            } else if (rs.flow_cutoff > rs.peak_flow) {
                if (rs.chan_explic && channel_above_cutoff(rs)) {
                    rs.running = 1;
                } else {
                    end_long_term_event(
                        rs, last, true,
                        "simulation ended normally; peak flow after last event fell below cutoff value.\n");
                }
            } else {
                end_long_term_event(rs, last, false,
                                    "simulation ended normally; end of data for last event reached\n");
            }
        } else if (last && rs.hmet_next == -10.0 && keeps_water_table) {
            rs.event_active = 0;
            rs.event_ended = 1;
            rs.finish_pending = 1;
            rs.running = 0;
        }
    }

    // 5: the analyzers learn that the event has ended
    if (rs.event_ended == 1) run_analyzers(rs, kAnalyzerEventEnd);
}
