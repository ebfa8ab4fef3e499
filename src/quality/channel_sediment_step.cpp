// The channel sediment step and its books (see channel_sediment_step.h).
// Volumes are m3 of solids, rates m3/s.
#include "quality/channel_sediment_step.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "channel/channel_records.h"
#include "channel/lateral_inflow.h"
#include "core/error.h"
#include "core/file_object.h"
#include "core/file_write.h"
#include "quality/channel_sediment.h"
#include "quality/channel_washload.h"
#include "quality/sediment_bound_step.h"
#include "run/run_state.h"

namespace {

constexpr double kEmpty = 1e-16;   // a balance inflow at most this reports no error

inline size_t ix(int i) { return static_cast<size_t>(i); }

double error_percent(double in, double out) { return in > kEmpty ? (in - out) / in * 100.0 : 0.0; }

double lake_sum(const chan_sed_record& cs, const std::vector<double>& a, int slot) {
    double s = 0.0;
    for (int L = 1; L <= cs.lakes; ++L) s += a[ix(L) * cs.stride + ix(slot)];
    return s;
}

// Totals of the block (event or run).
struct channel_books {
    double sand_init = 0.0, sand_in = 0.0, sand_to_lakes = 0.0, sand_out = 0.0, sand_final = 0.0;
    double wash_init = 0.0, wash_in = 0.0, wash_to_lakes = 0.0, wash_from_lakes = 0.0,
           wash_out = 0.0, wash_final = 0.0;
    double sand_error() const {
        return error_percent(sand_in + sand_init, sand_final + sand_out + sand_to_lakes);
    }
    double wash_error() const {
        return error_percent(wash_init + wash_in + wash_from_lakes,
                             wash_out + wash_final + wash_to_lakes);
    }
    double overall_error() const {
        return error_percent(wash_init + sand_init + wash_in + sand_in + wash_from_lakes,
                             wash_out + wash_final + sand_final + sand_out + sand_to_lakes +
                                 wash_to_lakes);
    }
};

void write_errors(file_object& f, const channel_books& b, bool event) {
    file_printf(f, event ? "\n Event channel sediment mass-balance:\n"
                         : "\n Total channel sediment mass-balance:\n");
    file_printf(f, "Mass conservation error for wash load:     %10.6lf percent\n", b.wash_error());
    file_printf(f, "Mass conservation error for sand load:     %10.6lf percent\n", b.sand_error());
    file_printf(f, "Overall channel sediment mass cons. error: %10.6lf percent\n", b.overall_error());
}

// Sand and wash-load books of the event (`event`) or of the whole run, m3;
// the lake lines only when the network has lakes. The run books carry no
// initial wash load line.
void write_books(file_object& f, const channel_books& b, bool lakes, bool event) {
    const char* w = event ? "Event" : "Total";
    file_printf(f, "Initial volume of sand in channels:        %16.8lf m3\n", b.sand_init);
    file_printf(f, "%s sand to chan from overland:          %16.8lf m3\n", w, b.sand_in);
    if (lakes) file_printf(f, "%s sand from chan to lakes:             %16.8lf m3\n", w, b.sand_to_lakes);
    file_printf(f, "%s sand outlet discharge:               %16.8lf m3\n", w, b.sand_out);
    file_printf(f, "Final sand in channels:                    %16.8lf m3\n", b.sand_final);
    file_printf(f, "\n");
    if (event) file_printf(f, "Initial wash load in suspension:           %16.8lf m3 \n", b.wash_init);
    file_printf(f, "%s wash-load to chan from overland:     %16.8lf m3\n", w, b.wash_in);
    if (lakes) {
        file_printf(f, "%s wash-load from chan to lakes :       %16.8lf m3\n", w, b.wash_to_lakes);
        file_printf(f, "%s wash-load from lake to chan:         %16.8lf m3\n", w, b.wash_from_lakes);
    }
    file_printf(f, "%s wash-load outlet discharge:          %16.8lf m3\n", w, b.wash_out);
    file_printf(f, "Final wash-load remaining in suspension:   %16.8lf m3\n", b.wash_final);
}

// Books of lake L for the event (`event`, opened by its initial suspended
// volume) or for the whole run: suspended sediment exchanged with the
// channels and settled, and sand settled on the bed (lake rows of `stride`,
// m3, the lake's total in column 0), then the lake's present suspended
// volume (m3) and concentration (cc/m3 and mg/L).
void write_lake_books(file_object& f, const chan_sed_record& cs, int L, bool event,
                      const std::vector<double>& to_chan, const std::vector<double>& to_lake,
                      const std::vector<double>& settled, const std::vector<double>& sand_settled) {
    const char* w = event ? "Event" : "Total";
    const size_t r = ix(L) * cs.stride;
    file_printf(f, "Summary for lake %d \n", L);
    if (event) {
        file_printf(f, "Quanties are for this event \n");
        file_printf(f, "Initial vol of SS in lake:                  %16.8lf m3 \n", cs.ss_init_event[ix(L)]);
    } else {
        file_printf(f, "\n");
    }
    file_printf(f, "%s vol of SS from lake to chan           %16.8lf m3 \n", w, to_chan[r]);
    file_printf(f, "%s vol of SS from chan to lake           %16.8lf m3 \n", w, to_lake[r]);
    file_printf(f, "%s net vol of SS from overland to lake   %16.8lf m3 \n", w, 0.0);
    file_printf(f, "%s vol of SS settled in lake             %16.8lf m3 \n", w, settled[r]);
    file_printf(f, "Total Suspended Sediment in lake            %16.8lf m3 \n", cs.ss_vol[r]);
    file_printf(f, "\n");
    file_printf(f, "Suspended Sediment Concentration              %16.8lf cc/m3\n", cs.ss_conc_vol[r] * 1e6);
    file_printf(f, "Suspended Sediment Concentration              %16.8lf mg/L\n", cs.ss_conc[r]);
    file_printf(f, "\n");
    file_printf(f, "%s sand settled into lake bottom:        %16.8lf m3 \n", w, sand_settled[r]);
    file_printf(f, "%s sand settled in lake boundary:        %16.8lf m3 \n", w, 0.0);
}

}  // namespace

double channel_wash_total(const run_state& rs) {
    const chan_sed_record& cs = rs.chan_sed;
    if (!cs.on) return 0.0;
    double total = 0.0;
    for (size_t f = 0; f < cs.flat_nodes; ++f) total += cs.wash_vol[f * cs.stride];
    return total;
}

bool hand_sediment_to_channels(run_state& rs, double dt) {
    chan_sed_record& cs = rs.chan_sed;
    ov_sed_record& s = rs.ov_sed;
    std::fill(cs.qlat_sed.begin(), cs.qlat_sed.end(), 0.0);
    if (!s.on || !(dt > 0.0) || rs.num_stream_cells < 1) return true;
    const int n = s.classes;
    const size_t stride = ix(n) + 1;
    const double a = rs.cell_size * rs.cell_size;   // m2
    // Water each cell gave its nodes in the step, m3.
    std::vector<double>& given = cs.cell_given;
    given.assign(ix(rs.GNUM) + 1, 0.0);
    for (int i = 1; i <= rs.num_stream_cells; ++i) {
        for (int k = 1; k <= rs.gst_ncellsingrid[ix(i)]; ++k) {
            int L = 0, node = 0, c = 0;
            if (!routed_segment(rs, i, k, L, node, c)) continue;
            const double v = rs.gst_qlat[ix(i)][ix(k)] * dt;
            if (v > 0.0) given[ix(c)] += v;
        }
    }
    // The cells' suspended sediment before the hand-over (kept in the record's work row).
    std::vector<double>& before = cs.cell_suspended;
    before.assign(s.suspended.size(), 0.0);
    for (int c = 1; c <= rs.GNUM; ++c)
        if (given[ix(c)] > 0.0)
            for (int j = 1; j <= n; ++j) before[ix(c) * stride + ix(j)] = s.suspended[ix(c) * stride + ix(j)];
    for (int i = 1; i <= rs.num_stream_cells; ++i) {
        for (int k = 1; k <= rs.gst_ncellsingrid[ix(i)]; ++k) {
            int L = 0, node = 0, c = 0;
            if (!routed_segment(rs, i, k, L, node, c)) continue;
            const double v = rs.gst_qlat[ix(i)][ix(k)] * dt;
            if (!(v > 0.0)) continue;
            const double held = rs.ov_depth[ix(c)] * a + given[ix(c)];   // water before, m3
            const double share = held > 0.0 ? std::min(v / held, 1.0) : 0.0;
            double* lat = cs.row(cs.qlat_sed, node, L);
            for (int j = 1; j <= n; ++j) {
                const double m = before[ix(c) * stride + ix(j)] * share;
                if (std::isnan(m)) {
                    std::printf("qlat_sed is not a number, exiting.\n");
                    error_record.code = kErrorPrinted;
                    report_error(error_record);
                    error_record.stop = 1;
                    return false;
                }
                double& sus = s.suspended[ix(c) * stride + ix(j)];
                const double taken = std::min(m, sus);
                sus -= taken;
                lat[j] += taken;
                lat[0] += taken;
                hand_sorbed_mass_to_node(rs, c, L, node, j, taken);
            }
        }
    }
    return true;
}

// Sediment calibration (card optimize_sed): the event's outlet wash-load peak
// (m3/s) and volume (m3), and the running wash-load peak and volume of each
// sediment location after the channel step of dt seconds.
static void track_sediment_calibration(run_state& rs, double dt) {
    const chan_sed_record& cs = rs.chan_sed;
    if (!rs.optimize_sed) return;
    rs.event_sed_peak = cs.wash_peak_rate;
    rs.event_sed_volume = cs.wash_outlet_event;
    if (!rs.calibration_run || !rs.sed_locations_on) return;
    for (int k = 1; k <= rs.num_sed_locations; ++k) {
        if (ix(k) >= rs.sed_point_peak.size() || ix(k) >= rs.sed_point_volume.size()) break;
        const double* q = cs.row(cs.qsmax, rs.snode[ix(k)], rs.slink[ix(k)]);
        double wash = 0.0;
        for (int m = 1; m <= cs.nf; ++m) wash += q[m];
        rs.sed_point_peak[ix(k)] = std::max(rs.sed_point_peak[ix(k)], wash);
        rs.sed_point_volume[ix(k)] += wash * dt;
    }
}

void step_channel_sediment(run_state& rs, double dt) {
    chan_sed_record& cs = rs.chan_sed;
    if (!cs.on || !(dt > 0.0)) return;
    if (!hand_sediment_to_channels(rs, dt)) return;
    // Lateral sediment of the step per size class, before the steps take it in.
    std::vector<double>& lat = cs.step_lateral;
    lat.assign(cs.stride, 0.0);
    for (size_t f = 0; f < cs.flat_nodes; ++f)
        for (int c = 1; c <= cs.n; ++c) lat[ix(c)] += cs.qlat_sed[f * cs.stride + ix(c)];

    transport_channel_sediment(rs, dt);
    channel_advection_step(rs, dt);
    gather_wash_faces(rs);

    const ov_sed_record& s = rs.ov_sed;
    for (int c = 1; c <= cs.n; ++c) {
        cs.to_channels_run[ix(c)] += lat[ix(c)];
        cs.to_channels_event[ix(c)] += lat[ix(c)];
        if (!s.sand[ix(c)]) {
            cs.to_channels_run[0] += lat[ix(c)];
            cs.to_channels_event[0] += lat[ix(c)];
        }
    }
    cs.sand_lateral_run += cs.lateral_sand[0];
    cs.sand_lateral_event += cs.lateral_sand[0];
    cs.sand_outlet_run += cs.outlet_sand_rate[0] * dt;
    cs.sand_outlet_event += cs.outlet_sand_rate[0] * dt;
    cs.wash_outlet_run += cs.outlet_wash_rate[0] * dt;
    cs.wash_outlet_event += cs.outlet_wash_rate[0] * dt;
    cs.wash_peak_rate = std::max(cs.wash_peak_rate, cs.outlet_wash_rate[0]);
    track_sediment_calibration(rs, dt);
    cs.step_seconds = dt;
    cs.step_time = rs.time;

    // Sediment flux of every node for the flux dataset (all classes), m3/s.
    for (size_t f = 0; f < cs.flat_nodes; ++f) {
        const double* q = cs.qsmax.data() + f * cs.stride;
        double sum = 0.0;
        for (int m = 1; m <= cs.n + 1; ++m) sum += q[m];
        cs.qsmax_total[f] = sum;
    }
    rs.qp_vol_sed.fill(0.0);
    std::fill(cs.qlat_sed.begin(), cs.qlat_sed.end(), 0.0);
}

void start_channel_sediment_event(run_state& rs) {
    chan_sed_record& cs = rs.chan_sed;
    if (!cs.on) return;
    cs.sand_init_event = channel_sand_total(rs);
    cs.wash_init_event = channel_wash_total(rs);
    std::fill(cs.to_channels_event.begin(), cs.to_channels_event.end(), 0.0);
    cs.sand_lateral_event = cs.sand_outlet_event = cs.wash_outlet_event = 0.0;
    cs.wash_peak_rate = 0.0;
    rs.event_sed_peak = rs.event_sed_volume = 0.0;
    for (std::vector<double>* a : {&cs.lake_depo_event, &cs.ss_settled_event,
                                   &cs.ss_chan_to_lake_event, &cs.ss_lake_to_chan_event})
        std::fill(a->begin(), a->end(), 0.0);
    for (int L = 1; L <= cs.lakes; ++L) cs.ss_init_event[ix(L)] = cs.ss_vol[ix(L) * cs.stride];
}

void write_channel_outlet_sediment_row(run_state& rs, double time) {
    ov_sed_record& s = rs.ov_sed;
    const chan_sed_record& cs = rs.chan_sed;
    if (!cs.on || !s.outlet_sed_flux_file.is_open()) return;
    FILE* out = s.outlet_sed_flux_file.handle;
    const double factor = rs.english_units ? rs.m3_to_ft3 : 1.0;
    if (!rs.long_term && !rs.english_units) {
        std::fprintf(out, "%16.10lf", time);
    } else if (!rs.long_term && rs.strict_julian_date) {
        std::fprintf(out, "%16.8lf ", time);
    } else {
        std::fprintf(out, "%16.8lf", time);
    }
    // Rate of each size class: wash classes first in the class order, then sand.
    for (int c = 1; c <= cs.n; ++c) {
        double rate = 0.0;
        for (int m = 1; m <= cs.nf; ++m)
            if (cs.fine_class[ix(m)] == c) rate = cs.outlet_wash_rate[ix(m)];
        for (int m = 1; m <= cs.ns; ++m)
            if (cs.sand_class[ix(m)] == c) rate = cs.outlet_sand_rate[ix(m)];
        std::fprintf(out, " %16.10lf", rate * factor);
    }
    for (int m = 0; m <= cs.nf; ++m) std::fprintf(out, " %16.10lf", cs.outlet_wash_rate[ix(m)] * factor);
    // Last, the channel's own bed material (grain size SAND_SIZE), which no
    // size class holds: with it the sand columns add up to the outlet sand.
    std::fprintf(out, " %16.10lf", cs.outlet_sand_rate[ix(cs.ns + 1)] * factor);
    std::fprintf(out, "\n");
    if (s.outlet_tss_file.is_open()) {
        const int L = rs.links;
        const int node = std::max(rs.nx[ix(L)], 0);
        std::fprintf(s.outlet_tss_file.handle, "%16.4lf %16.4lf \n", time,
                     cs.row(cs.conc_mass, node, L)[0]);
    }
}

void write_sediment_location_rows(run_state& rs, double time) {
    const chan_sed_record& cs = rs.chan_sed;
    if (!cs.on || !rs.sed_locations_on) return;
    const double factor = rs.english_units ? rs.m3_to_ft3 : 1.0;
    const char* time_format = rs.long_term ? "%16.8lf " : "%14.8lf ";
    if (rs.sed_location_out_file.is_open()) {
        FILE* out = rs.sed_location_out_file.handle;
        std::fprintf(out, time_format, time);
        for (int k = 1; k <= rs.num_sed_locations; ++k) {
            const double* q = cs.row(cs.qsmax, rs.snode[ix(k)], rs.slink[ix(k)]);
            for (int c = 1; c <= cs.n; ++c) {
                double rate = 0.0;
                for (int m = 1; m <= cs.nf; ++m)
                    if (cs.fine_class[ix(m)] == c) rate = q[m];
                for (int m = 1; m <= cs.ns; ++m)
                    if (cs.sand_class[ix(m)] == c) rate = q[cs.nf + m];
                std::fprintf(out, "%16.10lf ", rate * factor);
            }
            double wash = 0.0;
            for (int m = 1; m <= cs.nf; ++m) wash += q[m];
            std::fprintf(out, "%16.10lf ", wash * factor);
            for (int m = 1; m <= cs.nf; ++m) std::fprintf(out, "%16.10lf ", q[m] * factor);
        }
        std::fprintf(out, "\n");
    }
    if (rs.tss_location_out_file.is_open()) {
        FILE* out = rs.tss_location_out_file.handle;
        std::fprintf(out, time_format, time);
        for (int k = 1; k <= rs.num_sed_locations; ++k)
            std::fprintf(out, "%16.4lf", cs.row(cs.conc_mass, rs.snode[ix(k)], rs.slink[ix(k)])[0]);
        std::fprintf(out, "\n");
    }
}

void write_event_channel_sediment(run_state& rs) {
    chan_sed_record& cs = rs.chan_sed;
    if (!cs.on || !rs.summary_file.is_open()) return;
    file_object& f = rs.summary_file;
    const bool lakes = cs.lakes > 0;
    channel_books b;
    b.sand_init = cs.sand_init_event;
    b.sand_in = cs.sand_lateral_event;
    b.sand_to_lakes = lakes ? lake_sum(cs, cs.lake_depo_event, 0) : 0.0;
    b.sand_out = cs.sand_outlet_event;
    b.sand_final = channel_sand_total(rs);
    b.wash_init = cs.wash_init_event;
    b.wash_in = cs.to_channels_event[0];
    b.wash_to_lakes = lakes ? lake_sum(cs, cs.ss_chan_to_lake_event, 0) : 0.0;
    b.wash_from_lakes = lakes ? lake_sum(cs, cs.ss_lake_to_chan_event, 0) : 0.0;
    b.wash_out = cs.wash_outlet_event;
    b.wash_final = channel_wash_total(rs);

    file_printf(f, "Channel sediment routing mass quantities\n");
    file_printf(f, "Quanties are this Event \n");
    for (int c = 1; c <= cs.n; ++c)
        file_printf(f, "Total sediment %d transported into channels this event: %10.2lf m3\n", c,
                    cs.to_channels_event[ix(c)]);
    file_printf(f, "\n");
    write_books(f, b, lakes, true);
    file_printf(f, "\n");
    file_printf(f, "Maximum rate of wash-load discharge: %16.8lf cms\n", cs.wash_peak_rate);
    write_errors(f, b, true);
    if (lakes) {
        file_printf(f, "\n");
        file_printf(f, "Lake Summary \n");
        file_printf(f, "Quanties are for this event \n");
        file_printf(f, "Net wash-load into lakes from overland:                     %16.8lf m3\n", 0.0);
        file_printf(f, "Total wash-load settled in lakes:                           %16.8lf m3\n",
                    lake_sum(cs, cs.ss_settled_event, 0));
        file_printf(f, "Total sand-load from upstream channel settled in lake bed:  %16.8lf m3\n",
                    b.sand_to_lakes);
        file_printf(f, "Total overland sand-load settled in lake boundaries:        %16.8lf m3\n", 0.0);
        file_printf(f, "\n");
        for (int L = 1; L <= cs.lakes; ++L)
            write_lake_books(f, cs, L, true, cs.ss_lake_to_chan_event, cs.ss_chan_to_lake_event,
                             cs.ss_settled_event, cs.lake_depo_event);
    }
    file_printf(f, "\n");
}

bool write_new_bed_elevations(run_state& rs) {
    file_object file;
    if (!open_file_named(file, "new_bed_elevations.txt", "w")) {
        std::printf("Can't open the file for printing updated bed elevations: %s\n",
                    "new_bed_elevations.txt");
        error_record.code = kErrorPrinted;
        report_error(error_record);
        error_record.stop = 1;
        return false;
    }
    const chan_sed_record& cs = rs.chan_sed;
    file_printf(file, "Link Node  New Elev(m) Old ELev (m) struct_flag: 0 no structure, 1 - "
                      "structure, 2 - lake \n");
    const bool committed = rs.adjust_channel_bed == 1;
    for (int l = 1; l <= rs.links; ++l) {
        const int type = rs.ltype[ix(l)];
        if (is_lake(type)) {
            file_printf(file, "Link %5ld is a lake %5ld  \n", static_cast<long>(l), 2L);
            continue;
        }
        const long flag = is_structure(type) ? 1 : 0;
        const int nodes = std::max(rs.nx[ix(l)], ix(l) < rs.og_nx1.size() ? rs.og_nx1[ix(l)] : 0);
        for (int k = 1; k <= nodes; ++k) {
            const double old_bed = cs.org_bel.size() > cs.flat(k, l) && (type & kLtErodible)
                                       ? cs.org_bel[cs.flat(k, l)]
                                       : rs.bel(ix(k), ix(l));
            if (committed) {
                file_printf(file, "%ld %ld %10.3lf %10.3lf %ld \n", static_cast<long>(l),
                            static_cast<long>(k), rs.bel(ix(k), ix(l)), old_bed, flag);
            } else {
                file_printf(file, "%ld %ld %10.3lf %10.3lf  %ld \n", static_cast<long>(l),
                            static_cast<long>(k), rs.new_bel[ix(k)][ix(l)], old_bed, flag);
            }
        }
    }
    close_file_object(file);
    return true;
}

void write_run_channel_sediment(run_state& rs) {
    chan_sed_record& cs = rs.chan_sed;
    if (!cs.on || !rs.summary_file.is_open()) return;
    file_object& f = rs.summary_file;
    const bool lakes = cs.lakes > 0;
    channel_books b;
    b.sand_init = cs.sand_init_run;
    b.sand_in = cs.sand_lateral_run;
    b.sand_to_lakes = lakes ? lake_sum(cs, cs.lake_depo, 0) : 0.0;
    b.sand_out = cs.sand_outlet_run;
    b.sand_final = channel_sand_total(rs);
    b.wash_in = cs.to_channels_run[0];
    b.wash_to_lakes = lakes ? lake_sum(cs, cs.ss_chan_to_lake_run, 0) : 0.0;
    b.wash_from_lakes = lakes ? lake_sum(cs, cs.ss_lake_to_chan_run, 0) : 0.0;
    b.wash_out = cs.wash_outlet_run;
    b.wash_final = channel_wash_total(rs);

    file_printf(f, "Channel sediment routing mass quantities\n");
    for (int c = 1; c <= cs.n; ++c)
        file_printf(f, "Total sediment %d transported into channels: %16.8lf m3\n", c,
                    cs.to_channels_run[ix(c)]);
    file_printf(f, "\n");
    write_books(f, b, lakes, false);
    write_errors(f, b, false);
    if (lakes) {
        file_printf(f, "\n");
        file_printf(f, "Lake Summary \n");
        file_printf(f, "Net wash-load into lakes from overland:                     %16.8lf m3\n", 0.0);
        file_printf(f, "Total wash-load settled in lakes:                           %16.8lf m3\n",
                    lake_sum(cs, cs.ss_settled_run, 0));
        file_printf(f, "Total sand-load from upstream channel settled in lake bed:  %16.8lf m3\n",
                    b.sand_to_lakes);
        file_printf(f, "Total overland sand-load settled in lake boundaries:        %16.8lf m3\n", 0.0);
        file_printf(f, "\n");
        for (int L = 1; L <= cs.lakes; ++L)
            write_lake_books(f, cs, L, false, cs.ss_lake_to_chan_run, cs.ss_chan_to_lake_run,
                             cs.ss_settled_run, cs.lake_depo);
    }
    if (!write_new_bed_elevations(rs)) return;
    file_printf(f, "\n");
}
