// Overland sediment outputs: the outlet sediment hydrograph row, the
// sediment map sources and the per-class balance of the event and run
// summaries. Volumes in m3, discharges in m3/s (ft3/s in English units).
#include "quality/sediment_output.h"

#include <cmath>
#include <vector>

#include "core/file_write.h"
#include "output/event_transport_summary.h"
#include "output/output.h"
#include "quality/channel_sediment_step.h"
#include "quality/sediment_step.h"
#include "run/run_state.h"

namespace {

constexpr double kEmpty = 1e-16;          // an eroded volume at most this gives no balance error, m3
constexpr double kFluxMapFactor = 1e6;    // sediment flux map: m3/s x 1e6

// Per-class balance lines; `event` adds the running-totals note and the word
// "percent" of the event summary.
void write_class_balances(run_state& rs, bool event) {
    const ov_sed_record& s = rs.ov_sed;
    file_object& f = rs.summary_file;
    const int n = s.classes;
    std::vector<double> ero(n + 1), sus(n + 1), dep(n + 1), out(n + 1);
    sum_sediment_totals(s, rs.GNUM, {ero.data(), sus.data(), dep.data(), out.data()});
    file_printf(f, "Overland Sediment Summary\n");
    if (event) file_printf(f, "Quantities are running totals for simulation - NOT EVENT \n");
    // With channel sediment the sediment leaves the grid into the channels.
    const chan_sed_record& cs = rs.chan_sed;
    const bool channels = cs.on != 0;
    for (int j = 1; j <= n; ++j) {
        const long l = j;
        const double E = ero[j];
        const double to_channels = channels ? cs.to_channels_run[static_cast<size_t>(j)] : 0.0;
        const double A = dep[j] + sus[j] + (channels ? to_channels : out[j]);
        const double error = E > kEmpty ? (E - A) / E * 100.0 : 0.0;
        file_printf(f, "Total sediment %ld eroded from surface:        %16.8lf m3\n", l, E);
        file_printf(f, "Total sediment %ld deposited on surface:       %16.8lf m3\n", l, dep[j]);
        file_printf(f, "Total sediment %ld remaining in suspension:    %16.8lf m3\n", l, sus[j]);
        const bool lake_note = channels && cs.lakes > 0 && !s.sand[static_cast<size_t>(j)];
        if (channels) {
            file_printf(f, "Total sediment %ld transported into channels:  %16.8lf m3\n", l, to_channels);
            // Overland flow hands no sediment to channel lakes (it stays on their cells).
            if (cs.lakes > 0)
                file_printf(f, "Net sediment %ld from overland to lakes:       %16.8lf m3\n", l, 0.0);
        } else {
            file_printf(f, "Total sediment %ld routed through outlet       %16.8lf m3\n", l, out[j]);
        }
        if (event)
            file_printf(f, "Mass balance error for sediment %ld %10.4lf percent \n", l, error);
        else
            file_printf(f, "Mass balance error for sediment %ld %10.4lf \n", l, error);
        if (lake_note) {
            file_printf(f, "NOTE:  Interactions between sediment %ld and lakes in the watershed prevent "
                           "an exact mass balance calculation \n", l);
            file_printf(f, "       Reported errors are likely accounting errors only \n");
        }
        file_printf(f, "\n");
    }
}

}  // namespace

double outlet_sediment_rate(const ov_sed_record& s, double now) {
    if (!(s.outlet_step_seconds > 0.0) || s.outlet_step_time != now) return 0.0;
    return s.outlet_step_volume / s.outlet_step_seconds;
}

void write_outlet_sediment_rows(run_state& rs, double time) {
    ov_sed_record& s = rs.ov_sed;
    if (!s.on || !s.outlet_sed_flux_file.is_open()) return;
    if (rs.chan_sed.on) {
        write_channel_outlet_sediment_row(rs, time);
        return;
    }
    const double factor = rs.english_units ? rs.m3_to_ft3 : 1.0;
    std::fprintf(s.outlet_sed_flux_file.handle, "%16.8lf %16.10lf\n", time,
                 outlet_sediment_rate(s, rs.time) * factor);
}

void fill_sediment_map_sources(run_state& rs) {
    const ov_sed_record& s = rs.ov_sed;
    if (!s.on) return;
    const int n = s.classes;
    const size_t stride = static_cast<size_t>(n) + 1;
    const int cells = rs.GNUM;
    const size_t size = static_cast<size_t>(cells) + 1;
    const bool flux = s.max_sed_flux && rs.map_sed_flux_out.size() >= size &&
                      s.qsmax.size() >= size * stride;
    const bool net = rs.map_sed_volume_out.size() >= size;
    const bool susp = rs.map_susp_sed_out.size() >= size;
    for (int k = 1; k <= cells; ++k) {
        const size_t base = static_cast<size_t>(k) * stride;
        if (flux) {
            double sum = 0.0;
            for (int j = 1; j <= n; ++j) sum += s.qsmax[base + j] * kFluxMapFactor;
            rs.map_sed_flux_out[k] = sum;
        }
        if (net) rs.map_sed_volume_out[k] = s.qsvol[base];
        if (susp) {
            double sum = 0.0;
            for (int j = 1; j <= n; ++j) sum += s.suspended[base + j];
            rs.map_susp_sed_out[k] = sum;
        }
    }
}

void write_event_sediment_summaries(run_state& rs) {
    if (!rs.ov_sed.on || rs.ov_sed.mode != 1 || !rs.summary_file.is_open()) return;
    write_class_balances(rs, true);
    file_printf(rs.summary_file, "\n");
    write_event_channel_sediment(rs);
}

void write_run_sediment_summary(run_state& rs) {
    if (!rs.ov_sed.on || !rs.summary_file.is_open()) return;
    if (rs.ov_sed.mode == 1) write_class_balances(rs, false);
    file_printf(rs.summary_file, "\n");
    write_run_channel_sediment(rs);
}

void add_channel_sed_flux(run_state& rs) {
    const chan_sed_record& cs = rs.chan_sed;
    node_array& sum = rs.chan_sed_flux_sum;
    if (!cs.on) return;
    for (int l = 1; l <= rs.links; ++l)
        for (int k = 1; k <= rs.nx[static_cast<size_t>(l)]; ++k)
            if (sum.has(k, l)) sum(static_cast<size_t>(k), static_cast<size_t>(l)) +=
                cs.qsmax_total[cs.flat(k, l)] * kFluxMapFactor;
}
