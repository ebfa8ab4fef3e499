// The long-term hydrometeorology step: at each hmet hour it takes the next
// hmet record, reports the hour that ended (console and "evap_out"),
// computes evapotranspiration and, between rain events, runs the snow
// routine; it ends the run when the hmet data run out.
#include "hydromet/hydromet.h"

#include <cmath>
#include <cstdio>

#include "channel/channel_lakes.h"
#include "core/dates.h"
#include "core/error.h"
#include "core/file_object.h"
#include "hydromet/evapo_trans.h"
#include "hydromet/hmet_reader.h"
#include "hydromet/rain_apply.h"
#include "hydromet/snow.h"
#include "run/run_state.h"

namespace {

constexpr double kNoLayerMean = 999.99;   // layer mean reported when no cell counts

// Julian time (days) of the record held in hmet_current.
double current_record_time(const run_state& rs) {
    const hmet_record& c = rs.hmet_current;
    return hmet_record_time(c.year, c.month, c.day, c.hour);
}

// File line of the record served last, for messages.
int served_line(const run_state& rs) {
    const hmet_file_records& h = rs.hmet_records;
    const int k = h.served - 1;
    const std::vector<hmet_raw_record>& v = rs.hmet_ascii ? h.grid_dates : h.records;
    return (k >= 0 && k < static_cast<int>(v.size())) ? v[static_cast<size_t>(k)].line : 0;
}

// Time of the record the next read serves, days; kNeverDue after the last.
double next_record_time(const run_state& rs) {
    const hmet_file_records& h = rs.hmet_records;
    const std::vector<hmet_raw_record>& v = rs.hmet_ascii ? h.grid_dates : h.records;
    const int k = h.served;
    if (k < 0 || k >= static_cast<int>(v.size()) || k >= rs.hmet_record_count) return kNeverDue;
    const hmet_raw_record& r = v[static_cast<size_t>(k)];
    return hmet_record_time(r.year, r.month, r.day, r.hour);
}

// Takes the record of the hmet hour due now into hmet_current. The first
// step of a run takes the record in force at the model time: the last one
// at or before it (the first record when the data begin later). Later steps
// take the record of each hmet hour passed since the last step (the last one
// read stays). 1: a record is held; 0: the data ran out; -1: an error was
// printed.
int take_due_record(run_state& rs) {
    const double tol = rs.time_tolerance;
    if (!rs.hmet_started) {
        for (;;) {
            const int got = read_hmet_record(rs);
            if (got < 0) return got == -1 ? 0 : -1;
            if (next_record_time(rs) > rs.time + tol) break;
        }
        rs.hmet_started = 1;
        return 1;
    }
    // Every hmet hour from hmet_next up to the model time has its record.
    double due = rs.hmet_next;
    for (;;) {
        const int got = read_hmet_record(rs);
        if (got < 0) return got == -1 ? 0 : -1;
        const double t = current_record_time(rs);
        if (std::fabs(t - due) > tol) {
            int y, mo, d, h, mi;
            double s;
            julian_to_date(due, y, mo, d, h, mi, s);
            const hmet_record& c = rs.hmet_current;
            std::printf("Error: the hydromet record of %d/%d/%d %02d:00 (file %s, line %d) is not "
                        "the record of the model hour %d/%d/%d %02d:%02d\n",
                        c.year, c.month, c.day, c.hour, rs.hmet_records.file_name,
                        served_line(rs), y, mo, d, h, mi);
            error_record.code = kErrorPrinted;
            return -1;
        }
        if (due + rs.hmet_step_days > rs.time + tol) return 1;
        due += rs.hmet_step_days;
    }
}

// Cells counted by the report: neither overland-lake nor channel-lake cells.
bool counted_cell(const run_state& rs, int c) {
    const size_t k = static_cast<size_t>(c);
    if (rs.lakes && k < rs.oland_lake_mask.size() && rs.oland_lake_mask[k] >= 1) return false;
    if (rs.channel_lakes && k < rs.lake_mask.size() && rs.lake_mask[k] >= 1) return false;
    return true;
}

double cell_value(const std::vector<double>& v, int c) {
    const size_t k = static_cast<size_t>(c);
    return k < v.size() ? v[k] : 0.0;
}

// Depth of the root zone of cell c, cm: the depth above the water table,
// else the soil depth (layered soils: layers 1 and 2).
double root_depth(const run_state& rs, int c) {
    const double unsat = cell_value(rs.unsat_depth, c);
    if (unsat > 1e-16) return unsat;
    if (rs.inf_layered_soil) {
        const size_t k = static_cast<size_t>(c);
        const int type = k < rs.soiltype.size() ? rs.soiltype[k] : 0;
        if (type >= 0 && type < subsurface_state::kSoilTableSize)
            return rs.soil_table[type].thickness[0] + rs.soil_table[type].thickness[1];
        return 0.0;
    }
    return rs.soil_moist_depth;
}

// Upper layer thickness of cell c, cm.
double top_thickness(const run_state& rs, int c) {
    if (rs.inf_layered_soil) {
        const size_t k = static_cast<size_t>(c);
        const int type = k < rs.soiltype.size() ? rs.soiltype[k] : 0;
        if (type >= 0 && type < subsurface_state::kSoilTableSize) return rs.soil_table[type].thickness[0];
    }
    return rs.top_layer_depth;
}

// The report of the hmet hour that just ended: console line and "evap_out"
// row, labelled with the date and hour of the record that begins now.
void report_hour(run_state& rs) {
    const bool two_layers = rs.inf_redist || rs.inf_layered_soil;
    int n = 0, n1 = 0, n2 = 0;
    double bottom = 0.0, theta = 0.0, pet = 0.0, cfgi = 0.0, l1 = 0.0, l2 = 0.0;
    // Sums in cell order: the same figures for any thread count.
    for (int c = 1; c <= rs.GNUM; ++c) {
        if (!counted_cell(rs, c)) continue;
        ++n;
        // Richards columns show the water content of their top node.
        const size_t k = static_cast<size_t>(c);
        if (rs.inf_richards && k < rs.richards_theta.size() && rs.richards_theta[k].size() >= 2 &&
            k < rs.theta_all.size())
            rs.theta_all[k] = rs.richards_theta[k][1];
        bottom += cell_value(rs.bottom_flux, c);
        const double th = cell_value(rs.theta_all, c);
        if (std::isnan(th)) std::printf("Theta_all for cell %d is not a number \n", c);
        theta += th;
        const double p = cell_value(rs.pet_rate, c);
        pet += p * 3600.0;
        cfgi += cell_value(rs.cfgi, c);
        if (two_layers) {
            const double t = top_thickness(rs, c);
            const double d = root_depth(rs, c);
            if (t > 1e-16 && t < d) {
                l1 += cell_value(rs.root_zone_upper, c) / t;
                l2 += cell_value(rs.root_zone_lower, c) / (d - t);
                ++n1;
                ++n2;
            } else if (d > 1e-16) {
                l1 += cell_value(rs.root_zone_upper, c) / d;
                ++n1;
            }
        }
    }
    const double cells = n > 0 ? static_cast<double>(n) : 1.0;
    const double area = rs.cell_size * rs.cell_size * cells;   // m2 of the counted cells
    // Mean infiltration rate over the time since the last report, cm/h: the
    // water the cells took in, not the rate of a step long past.
    const double hours = (rs.time - rs.hmet_last) * 24.0;
    rs.avg_infil = (n > 0 && area > 0.0 && hours > 0.0)
                       ? (rs.vol_infiltration - rs.vol_infiltration_last) / area * 100.0 / hours
                       : 0.0;
    rs.vol_infiltration_last = rs.vol_infiltration;
    rs.avg_bottom_flux = n > 0 ? bottom / cells : 0.0;
    rs.avg_theta = n > 0 ? theta / cells : 0.0;
    const double mean_pet = n > 0 ? pet / cells : 0.0;
    const double mean_cfgi = n > 0 ? cfgi / cells : 0.0;
    rs.avg_et_rate =
        (n > 0 && area > 0.0) ? (rs.vol_evaporation - rs.vol_evaporation_last) / area * 100.0 : 0.0;
    rs.vol_evaporation_last = rs.vol_evaporation;
    const double mean_l1 = n1 > 0 ? l1 / n1 : kNoLayerMean;
    const double mean_l2 = n2 > 0 ? l2 / n2 : kNoLayerMean;

    const hmet_record& r = rs.hmet_current;
    if (!rs.quiet) {
        std::printf("%d/%d/%d %2d:00 PET cm/h %6.4lf AET cm/h %6.4lf Infil cm/h %6.4lf Theta "
                    "%5.2lf \n",
                    r.year, r.month, r.day, r.hour, mean_pet, rs.avg_et_rate, rs.avg_infil,
                    rs.avg_theta);
    }
    FILE* out = rs.evap_out_file.handle;
    if (out == nullptr) return;
    std::fprintf(out, "%d/%d/%d  %2d:00 %12.6lf %12.6lf %12.6lf %12.6lf %12.6lf %12.6lf %12.6lf",
                 r.year, r.month, r.day, r.hour, rs.avg_theta, mean_pet, rs.avg_et_rate,
                 rs.avg_infil, rs.avg_bottom_flux, mean_cfgi, rs.hmet_current.air_temp);
    if (two_layers) std::fprintf(out, "%12.6lf   %12.6lf", mean_l1, mean_l2);
    std::fprintf(out, "\n");
}

// Temperature-index snow: the hourly bookkeeping of the pack is cleared once
// the rain has ended and no snow is left.
void clear_snow_history(run_state& rs) {
    if (!(rs.nwsrfs_snow || rs.eb_nwsrfs_snow) || rs.rain_state != 0 || rs.snow) return;
    const size_t n = static_cast<size_t>(rs.GNUM) + 1;
    if (rs.snow_precip_hours.size() < n) return;
    if (!rs.hmet_ascii && !rs.orogvar_hmet) {
        double sum = 0.0;
        for (double h : rs.snow_precip_hours[1]) sum += h;
        if (!(sum > 0.0)) return;
    }
    clear_snow_precip_history(rs);
    for (size_t c = 1; c < n && c < rs.st_event.size(); ++c) rs.st_event[c] = 0;
}

}  // namespace

void update_hydromet(run_state& rs) {
    if (!rs.long_term || rs.hmet_next < 0.0) return;
    if (!process_due(rs, rs.hmet_next)) return;

    // Seconds since the last hmet step, for the snow routine.
    const double elapsed = process_elapsed_seconds(rs, rs.hmet_last);
    const int got = take_due_record(rs);
    if (got < 0) return;
    if (got == 0) {
        // The run ends with its records: an event still open ends here and
        // is accounted in this pass.
        rs.hmet_next = -10.0;
        rs.running = 0;
        if (rs.event_active) {
            rs.event_active = 0;
            rs.event_ended = 1;
            rs.finish_pending = 1;
        }
        // The end of the run is said even in a quiet run.
        std::printf("End of meteorology data reached.  PLUVO terminated\n");
        return;
    }
    // The report of the hour that ended.
    if (rs.inf_richards || rs.inf_redist || rs.inf_layered_soil) {
        report_hour(rs);
    } else if (!rs.quiet) {
        const hmet_record& r = rs.hmet_current;
        std::printf("longterm %d/%d/%d  %2d:00 Avg. Soil Moisture: %7.2lf  \n", r.year, r.month,
                    r.day, r.hour, rs.avg_theta);
    }
    rs.hmet_current.air_temp = evapo_trans(rs);
    if (error_record.code != 0) return;
    // The channel-network lakes lose the hour's open-water evaporation.
    if (rs.channel_lakes) {
        const hmet_record& w = rs.hmet_current;
        lake_evaporation(rs, w.wind_speed, w.air_temp, w.rel_humidity);
        if (error_record.code != 0) return;
    }
    update_frozen_ground_index(rs);
    // The next hmet hour follows the record just taken.
    rs.hmet_last = rs.time;
    ++rs.hmet_read_count;
    rs.hmet_next = current_record_time(rs) + rs.hmet_step_days;
    // Between rain events the pack melts or builds here.
    if (rs.snow && (!rs.rain_on || rs.rain_state == 0)) {
        rs.snow_from_hmet = 1;
        rs.snow = compute_snow(rs, elapsed, 1);
        rs.snow_from_hmet = 0;
    }
    clear_snow_history(rs);
}
