// End-of-event accounting: once per event (while finish_pending is set) the
// event's final storages and exchange volumes, its mass balance and final
// soil moisture, the event summary, and in calibration runs the event's peak
// and volume line and the calibration record. Volumes m3, discharges m3/s,
// soil depths and fluxes of the soil schemes cm.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "calibration/calibration.h"
#include "channel/channel_lakes.h"
#include "core/dates.h"
#include "run/event_access.h"
#include "run/event_control.h"
#include "run/event_volumes.h"
#include "core/file_write.h"
#include "run/run_state.h"
#include "output/event_report.h"
#include "overland/pits.h"
#include "subsurface/sacramento.h"

namespace {

constexpr double kCalibFt3 = 35.32;   // ft3 per m3 of the calibration lines

bool channel_lake_cell(const run_state& rs, int j) {
    return rs.channel_lakes && spans(rs.lake_mask, j) && rs.lake_mask[j] > 0;
}

// Step 2: infiltration of the event.
void account_infiltration(run_state& rs, double area) {
    rs.event_infil_volume = 0.0;
    if (!(rs.green_ampt || rs.inf_redist || rs.inf_richards || rs.inf_layered_soil)) return;
    if (!spans(rs.cum_infil, rs.GNUM)) return;
    double volume = 0.0;
    for (int j = 1; j <= rs.GNUM; ++j) volume += area * rs.cum_infil[j];
    rs.event_infil_volume = volume;
}

// Step 3: overland inflow of the channel-network lakes.
void account_lake_inflow(run_state& rs) {
    update_lake_cells(rs);
    for (int i = 1; i <= rs.num_channel_lakes && spans(rs.lake_ov_inflow, i); ++i) {
        rs.vol_lake_inflow += rs.lake_ov_inflow[i];
        rs.event_vol_ov_to_lake += rs.lake_ov_inflow[i];
        rs.lake_ov_inflow[i] = 0.0;
    }
}

// Step 4: water on the surface at the event end.
void account_surface(run_state& rs, double area) {
    rs.vol_surface_final = 0.0;
    if (rs.lakes) rs.vol_ovlake_final = 0.0;   // the lakes' water of this event only
    const int n = rs.GNUM;
    if (!spans(rs.ov_depth, n)) return;
    if (rs.lakes && rs.channel_lakes) {
        for (int j = 1; j <= n; ++j) {
            std::printf("You are simulating overland lakes and perennial lakes, not recommended presently. "
                        "Contact your PLUVO developer for further advice\n\n");
        }
        return;
    }
    if (rs.lakes) {
        const bool extent = spans(rs.oland_lake_new, n) && spans(rs.elevation, n);
        for (int j = 1; j <= n; ++j) {
            const int lake = extent ? rs.oland_lake_new[j] : 0;
            if (lake > 0 && lake < static_cast<int>(rs.overland_lakes.size())) {
                const double volume = (rs.overland_lakes[lake].level - rs.elevation[j]) * area;
                rs.vol_surface_final += volume;
                rs.vol_ovlake_final += volume;
            } else {
                rs.vol_surface_final += rs.ov_depth[j] * area;
            }
        }
        return;
    }
    for (int j = 1; j <= n; ++j) {
        if (!channel_lake_cell(rs, j)) rs.vol_surface_final += rs.ov_depth[j] * area;
    }
}

// Step 5: water in the unsaturated soil at the event end.
void account_soil(run_state& rs, double area) {
    const int n = rs.GNUM;
    const bool richards = rs.inf_richards;
    // Downward flux out of the soil columns (cm): the Richards drainage, or the
    // root-zone drainage of the soil evapotranspiration schemes.
    std::vector<double>& flux = richards ? rs.gw_recharge_depth : rs.bottom_flux;
    for (int j = 1; j <= n && spans(flux, j); ++j) {
        rs.richards_downward_total += flux[j];
        if (!rs.groundwater) {
            rs.vol_unsat_downward += flux[j] / 100.0 * area;
            flux[j] = 0.0;
        }
    }
    rs.event_richards_evap = 0.0;
    rs.event_richards_infil = 0.0;
    rs.vol_soil_final = 0.0;
    rs.richards_node_count = 0;
    rs.richards_downward_volume = rs.richards_downward_total / 100.0 * area;
    for (int j = 1; j <= n; ++j) {
        if (rs.long_term && spans(rs.direct_evaporation, j)) {
            rs.event_richards_evap += rs.direct_evaporation[j] / 100.0 * area;
            rs.direct_evaporation[j] = 0.0;
        }
        if (richards) {
            if (spans(rs.inf_rich, j)) rs.event_richards_infil += rs.inf_rich[j] * area;
            add_richards_column(rs, j, area, rs.vol_soil_final, rs.richards_node_count);
        } else {
            const double water = spans(rs.root_zone_water, j) ? rs.root_zone_water[j] : 0.0;   // cm
            rs.vol_soil_final += water / 100.0 * area;
            if (rs.water_table && spans(rs.elevation, j) && spans(rs.elevgw, j)) {
                double sample = rs.soil_moist_depth;   // cm
                if (rs.inf_layered_soil && spans(rs.soiltype, j) && rs.soiltype[j] >= 0 &&
                    rs.soiltype[j] < subsurface_state::kSoilTableSize) {
                    const soil_layer_record& soil = rs.soil_table[rs.soiltype[j]];
                    sample = soil.thickness[0] + soil.thickness[1];
                }
                const double to_table = rs.elevation[j] - rs.elevgw[j];   // m
                const double theta = spans(rs.gw_inf_redist_theta, j) ? rs.gw_inf_redist_theta[j] : 0.0;
                if (to_table >= sample / 100.0) rs.vol_soil_final += (to_table - sample / 100.0) * theta * area;
            }
        }
    }
    rs.vol_direct_evaporation += rs.event_richards_evap;
    // The withdrawal's evaporation of surface water is in the run total
    // already; the event's share joins the event's direct evaporation.
    rs.event_richards_evap += rs.event_surface_evaporation;
    if (richards) {
        if (rs.richards_soil_start > 0.0) {
            rs.richards_balance_error = (rs.vol_soil_final - rs.richards_soil_start - rs.event_richards_infil +
                                         rs.richards_downward_volume - rs.event_vol_gw_to_unsat +
                                         rs.event_richards_soil_et) /
                                        rs.richards_soil_start * 100.0;
        } else {
            rs.richards_balance_error = 0.0;
            file_printf(rs.summary_file, "\n No Unsaturated Cells in Grid, No infiltration \n");
        }
    }
}

// Step 9: event volumes as differences of the cumulative volumes.
void account_event_differences(run_state& rs) {
    rs.event_outflow_total = rs.event_outflow_vol;
    rs.event_peak_discharge = rs.peak_flow;
    if (rs.interception) rs.event_vol_interception = rs.vol_interception - rs.event_start_vol_interception;
    if (rs.ov_boundary || rs.ov_pump || rs.xy_ov_boundary) {
        for (const boundary_volume& b : boundary_volumes()) rs.*b.event = rs.*b.total - rs.*b.start;
    }
    if (rs.chan_points_on || !rs.cards.xy_in.stpts.empty()) {
        for (const point_source_volume& p : point_source_volumes()) rs.*p.event = rs.*p.total - rs.*p.start;
    }
    if (rs.channel_lakes) {
        rs.event_vol_lake_evaporation = rs.vol_lake_evaporation - rs.event_start_vol_lake_evaporation;
    }
    if (rs.superlink) rs.vol_drains_final = rs.superlink_storage;
}

double channel_water(const run_state& rs) {
    double volume = 0.0;
    for (int l = 1; l <= rs.links && spans(rs.ltype, l) && spans(rs.nx, l); ++l) {
        if (!ordinary_link(rs.ltype[l])) continue;
        const double length = spans(rs.dx, l) ? rs.dx[l] : 0.0;
        for (int k = 1; k <= rs.nx[l]; ++k) {
            const double* a = node_entry(rs.area, k, l);
            if (a) volume += *a * length;
        }
    }
    return volume;
}

// Step 10: the event's mass balance.
void account_mass_balance(run_state& rs) {
    const double head_gain = rs.event_vol_head_bc_gain;
    const double discharge_gain = rs.event_vol_discharge_bc_gain;
    const double boundary_losses = rs.event_vol_slope_bc_loss + rs.event_vol_head_bc_loss +
                                   rs.event_vol_discharge_bc_loss + rs.event_vol_ov_pumps;
    const double ov_points = rs.event_vol_ov_point_sources;
    if (rs.chan_explic || rs.chan_mesh) {
        rs.vol_channel_final = channel_water(rs);
        double sac_final = 0.0;
        if (rs.sacramento) {
            // With the water in transit, which later steps or events take on.
            sac_final = sacramento_water(rs);
            rs.event_sac_storage_end = sac_final;
        }
        const double inputs = rs.event_rain_volume + rs.event_vol_precip_to_lake + rs.event_exfil_volume +
                              rs.event_channel_init + rs.event_surface_init + rs.event_vol_gw_to_chan +
                              rs.event_vol_gw_to_lakes + rs.event_lake_init + rs.event_snow_init + ov_points +
                              rs.event_vol_stream_point_sources + rs.event_vol_lake_point_sources + head_gain +
                              discharge_gain + rs.event_vol_gw_to_tile + rs.event_vol_xy_stream_boundary;
        if (!(inputs > 1e-16)) {
            rs.event_mass_error = -1.0;
            return;
        }
        if (!rs.sacramento) {
            const double outputs = rs.event_infil_volume + rs.vol_surface_final + rs.vol_channel_final +
                                   rs.event_outflow_total + rs.event_richards_evap + rs.event_snow_final +
                                   rs.event_lake_final + rs.event_vol_chan_to_gw + rs.event_vol_lakes_to_gw +
                                   boundary_losses + rs.event_vol_stream_point_sinks +
                                   rs.event_vol_lake_point_sinks + rs.event_vol_lake_evaporation;
            rs.event_inputs = inputs;
            rs.event_outputs = outputs;
            rs.event_mass_error = (inputs - outputs) / inputs;
            return;
        }
        const double sac_start = rs.event_sac_storage_start;
        const double x = rs.event_rain_volume + rs.event_vol_precip_to_lake + sac_start + rs.event_exfil_volume +
                         rs.event_channel_init + rs.event_surface_init + rs.event_vol_gw_to_chan -
                         rs.event_vol_chan_to_gw + rs.event_vol_gw_to_lakes - rs.event_vol_lakes_to_gw +
                         rs.event_lake_init + rs.event_snow_init + ov_points - rs.vol_surface_final -
                         rs.vol_channel_final - rs.event_outflow_total - sac_final;
        const double denominator = rs.event_rain_volume + rs.event_exfil_volume + rs.event_channel_init +
                                   rs.event_surface_init + rs.event_snow_init + ov_points + rs.event_lake_init +
                                   sac_start;
        // The surface water evaporated in the event leaves it too.
        const double unexplained = x - rs.event_sac_et - rs.event_richards_evap - rs.event_snow_final -
                                   rs.event_lake_final + head_gain + discharge_gain - boundary_losses;
        rs.event_mass_error = denominator != 0.0 ? -unexplained / denominator : -1.0;
        return;
    }
    const double base = rs.event_surface_init + rs.event_rain_volume + rs.event_exfil_volume + rs.event_snow_init +
                        ov_points + head_gain;
    if (base > 0.0) {
        const double inputs = base + discharge_gain;
        const double outputs = rs.event_infil_volume + rs.vol_surface_final + rs.event_outflow_total +
                               rs.event_richards_evap + rs.event_snow_final + boundary_losses +
                               rs.event_vol_gw_to_tile;
        rs.event_inputs = inputs;
        rs.event_outputs = outputs;
        rs.event_mass_error = (inputs - outputs) / inputs;
    } else {
        rs.event_mass_error = -1.0;
    }
}

// Step 13: basin-averaged relative soil moisture at the event end.
void account_final_soil_moisture(run_state& rs) {
    const int n = rs.GNUM;
    double sum = 0.0;
    rs.avg_soil_moisture_final = 0.0;
    if (n <= 0) return;
    if (rs.inf_redist) {
        if (!spans(rs.redist_theta, n) || !spans(rs.phi, n)) return;
        for (int j = 1; j <= n; ++j) {
            if (rs.phi[j] > 0.0) sum += rs.redist_theta[j] / rs.phi[j];
            if (std::isnan(sum)) std::printf("problem with final soil moisture in cell: %d\n", j);
        }
        rs.avg_soil_moisture_final = sum / n;
    } else if (rs.inf_layered_soil) {
        for (int j = 1; j <= n; ++j) {
            double theta[3];
            if (!layered_water_contents(rs, j, theta)) continue;
            const double porosity = rs.soil_table[rs.soiltype[j]].porosity[0];
            if (porosity > 0.0) sum += theta[0] / porosity;
        }
        rs.avg_soil_moisture_final = sum / n;
    } else if (rs.inf_richards && rs.long_term) {
        for (int j = 1; j <= n; ++j) sum += richards_top_saturation(rs, j);
        rs.avg_soil_moisture_final = sum / n;
    }
}

// Stores one value into a calibration array at `index`; nothing outside it.
void put_calib(std::vector<double>& values, long index, double value) {
    if (index >= 0 && index < static_cast<long>(values.size())) values[index] = value;
}

// Step 16: the calibration line of the event and the calibration record.
void account_calibration(run_state& rs) {
    const int e = rs.event_index;
    calib_output* record = rs.calib_output;
    file_object& optim = rs.optimization_file;
    const bool english = rs.english_units != 0;
    const bool sediment = rs.optimize_sed != 0;
    const double factor = (english && !sediment) ? kCalibFt3 : 1.0;
    const double peak = (sediment ? rs.event_sed_peak : rs.event_peak_discharge) * factor;
    const double volume = (sediment ? rs.event_sed_volume : rs.event_outflow_total) * factor;

    const std::vector<double>& point_peak = sediment ? rs.sed_point_peak : rs.hyd_point_peak;
    const std::vector<double>& point_volume = sediment ? rs.sed_point_volume : rs.hyd_point_volume;
    const int locations = sediment ? (rs.channel_sediment && rs.sed_locations_on ? rs.num_sed_locations : 0)
                                   : (rs.hyd_locations_on ? rs.num_hyd_locations : 0);

    if (sediment) {
        file_printf(optim, "%d %9.6lf %13.3lf", e, peak, volume);
    } else if (english) {
        file_printf(optim, "%d %8.2lf %13.1lf", e, peak, volume);
    } else {
        file_printf(optim, "%d %9.3lf %13.1lf", e, peak, volume);
    }
    for (int m = 1; m <= locations; ++m) {
        const double p = (spans(point_peak, m) ? point_peak[m] : 0.0) * factor;
        const double v = (spans(point_volume, m) ? point_volume[m] : 0.0) * factor;
        if (record != nullptr) {
            put_calib(record->location_peak, m, p);
            put_calib(record->location_volume, m, v);
        }
        if (sediment) {
            file_printf(optim, "%9.6lf %13.3lf", p, v);
        } else if (english) {
            file_printf(optim, "%8.2lf %13.1lf", p, v);
        } else {
            file_printf(optim, "%9.3lf %13.1lf", p, v);
        }
    }
    if (sediment) {
        if (optim.is_open()) std::fflush(optim.handle);
        file_printf(optim, "\n");
    } else {
        file_printf(optim, "\n");
        if (optim.is_open()) std::fflush(optim.handle);
    }

    if (record == nullptr || e < 1) return;
    const int stride = record->stride;
    if (stride < 1) return;
    // The record holds stride x events + 2 slots: the events' rows fill slots
    // 1..stride x events. A row that does not fit (an event beyond the record)
    // is not written.
    const long row = static_cast<long>(e - 1) * stride + 1;   // the outlet's slot of event e
    const long last_slot = static_cast<long>(std::min(record->peaks.size(), record->volumes.size())) - 2;
    if (row + stride - 1 > last_slot) return;
    put_calib(record->peaks, row, peak);
    put_calib(record->volumes, row, volume);
    for (int m = 1; m <= locations && m < stride; ++m) {
        put_calib(record->peaks, row + m, (spans(point_peak, m) ? point_peak[m] : 0.0) * factor);
        put_calib(record->volumes, row + m, (spans(point_volume, m) ? point_volume[m] : 0.0) * factor);
    }
}

}  // namespace

void finish_event(run_state& rs) {
    // 1
    if (!rs.finish_pending) return;
    rs.finish_pending = 0;
    const double area = rs.cell_size * rs.cell_size;   // m2

    // 2-4
    account_infiltration(rs, area);
    if (rs.channel_lakes) account_lake_inflow(rs);
    account_surface(rs, area);
    book_surface_pits(rs);

    // 5
    if (rs.soil_et || rs.inf_richards) account_soil(rs, area);

    // 6-8
    rs.event_exfil_volume = rs.vol_exfiltration - rs.exfil_at_event_start;
    if (rs.channel_lakes) {
        double lakes = 0.0;
        for (int i = 1; i <= rs.num_channel_lakes && spans(rs.lake_volume, i); ++i) lakes += rs.lake_volume[i];
        rs.event_lake_final = lakes;
    }
    if (rs.snow && spans(rs.snow_swe, rs.GNUM)) {
        for (int j = 1; j <= rs.GNUM; ++j) {
            if (!channel_lake_cell(rs, j)) rs.event_snow_final += rs.snow_swe[j] * area;
        }
    }

    // 9-10
    account_event_differences(rs);
    account_mass_balance(rs);

    // 13
    account_final_soil_moisture(rs);

    // 14-15
    write_event_summary(rs);
    if (!rs.quiet) print_message("finished event \n");
    if (rs.summary_file.is_open()) std::fflush(rs.summary_file.handle);
    rs.events_finished += 1;

    // 16
    if (rs.calibration_run) account_calibration(rs);
}
