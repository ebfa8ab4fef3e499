// The infiltration step: method dispatch, water-table exchange, run totals
// and the infiltration clock.
#include "subsurface/infiltration.h"

#include <algorithm>
#include <vector>

#include "core/error.h"
#include "run/run_state.h"
#include "subsurface/green_ampt.h"
#include "subsurface/gw_soil.h"
#include "subsurface/multilayer.h"
#include "subsurface/redistribution.h"
#include "subsurface/richards.h"

namespace {

constexpr double kSecondsPerHour = 3600.0;
constexpr double kCmPerMetre = 100.0;
constexpr double kCmPerHourPerMetrePerSecond = 360000.0;

template <class T>
bool spans(const std::vector<T>& v, int n) {
    return static_cast<int>(v.size()) > n;
}

template <class T>
void ensure_cells(std::vector<T>& v, int n) {
    if (static_cast<int>(v.size()) <= n) v.resize(static_cast<size_t>(n) + 1, T{});
}

bool any_method_on(const run_state& rs) {
    return rs.green_ampt || rs.inf_redist || rs.inf_layered_soil || rs.inf_richards;
}

bool in_overland_lake(const run_state& rs, int i) {
    return rs.lakes && spans(rs.oland_lake_new, i) && rs.oland_lake_new[static_cast<size_t>(i)] > 0;
}

bool in_wetland(const run_state& rs, int i) {
    return rs.wetlands && spans(rs.wetland_mask, i) && rs.wetland_mask[static_cast<size_t>(i)] > 0;
}

bool any_cell_exfiltrates(const run_state& rs) {
    const int n = std::min(rs.GNUM, static_cast<int>(rs.yes_exfil.size()) - 1);
    for (int i = 1; i <= n; ++i) {
        if (rs.yes_exfil[static_cast<size_t>(i)] >= 1) return true;
    }
    return false;
}

// Exchange depth M (m, positive up) of one cell over t seconds; d is the
// height of the water table above the water surface (m).
double exchange_depth(run_state& rs, int i, double d, double t) {
    const double leakage = rs.gw_leakage_rate / -kCmPerHourPerMetrePerSecond * t;
    if (rs.inf_redist) {
        const double depth = rs.soil_moist_depth / kCmPerMetre;   // m
        if (!(depth > 0.0) || !spans(rs.ksat, i)) return 0.0;
        const double m = d * rs.ksat[static_cast<size_t>(i)] / depth * t;
        if (rs.gw_simulation) return d > 0.0 ? m : leakage;
        return std::max(m, 0.0);
    }
    if (rs.inf_layered_soil) {
        if (!spans(rs.soiltype, i)) return 0.0;
        const int id = rs.soiltype[static_cast<size_t>(i)];
        if (id < 1 || id >= subsurface_state::kSoilTableSize) return 0.0;
        const soil_layer_record& soil = rs.soil_table[id];
        const double k = soil.ksat[0];                               // cm/h
        const double depth = soil.thickness[0] + soil.thickness[1];  // cm
        rs.soil_moist_depth = depth;
        if (!(depth > 0.0)) return 0.0;
        const double m = d * k / depth * t / kSecondsPerHour;
        if (rs.gw_simulation) return d > 0.0 ? m : leakage;
        return std::max(m, 0.0);
    }
    if (rs.inf_richards) {
        if (rs.gw_simulation && d <= 0.0) return leakage;
        if (!spans(rs.avgks, i) || !spans(rs.totaldz, i)) return 0.0;
        const double depth = rs.totaldz[static_cast<size_t>(i)];      // cm
        if (!(depth > 0.0)) return 0.0;
        // A water table above the water surface pushes water up through the
        // column at its average conductivity (with or without the groundwater model).
        return d * rs.avgks[static_cast<size_t>(i)] / depth * t / kSecondsPerHour;
    }
    return 0.0;
}

}  // namespace

bool soil_accounting_on(const run_state& rs) {
    return rs.long_term && (rs.inf_redist || rs.inf_layered_soil);
}

void init_infiltration_arrays(run_state& rs) {
    const int n = rs.GNUM;
    if (n <= 0) return;
    for (std::vector<double>* v : {&rs.theta_all, &rs.infil_rate, &rs.infil_depth,
                                   &rs.exfil_depth, &rs.cum_infil, &rs.cum_infil_prev}) {
        ensure_cells(*v, n);
    }
    if (soil_accounting_on(rs)) ensure_cells(rs.lt_infil_depth, n);
    if (rs.overland_constituents) {
        ensure_cells(rs.ov_con_exchange_volume, n);
        ensure_cells(rs.ov_con_infil_volume, n);
        if (rs.ov_point_source) ensure_cells(rs.ov_point_source_rate, n);
    }
}

void exchange_water_table(run_state& rs, double seconds) {
    if (rs.exfiltration != 1) return;
    const int n = rs.GNUM;
    if (n <= 0 || !spans(rs.yes_exfil, n) || !spans(rs.elevgw, n) || !spans(rs.elevation, n)) {
        return;
    }
    ensure_cells(rs.ov_depth, n);
    ensure_cells(rs.exfil_depth, n);
    if (rs.overland_constituents) ensure_cells(rs.ov_con_exchange_volume, n);
    const double area = rs.cell_size * rs.cell_size;
    for (int i = 1; i <= n; ++i) {
        const int mark = rs.yes_exfil[static_cast<size_t>(i)];
        if (rs.inf_richards ? mark != 1 : mark < 1) continue;
        if (in_overland_lake(rs, i) || in_wetland(rs, i)) continue;
        double& depth = rs.ov_depth[static_cast<size_t>(i)];
        const double d = rs.elevgw[static_cast<size_t>(i)] -
                         (rs.elevation[static_cast<size_t>(i)] + depth);
        double m = exchange_depth(rs, i, d, seconds);
        if (m < -depth) {   // never more than the cell holds
            m = -depth;
            depth = 0.0;
        } else {
            depth += m;
        }
        rs.exfil_depth[static_cast<size_t>(i)] += m;
        rs.vol_exfiltration += m * area;
        take_exfiltration_from_aquifer(rs, i, m);
        if (rs.overland_constituents) rs.ov_con_exchange_volume[static_cast<size_t>(i)] += m * area;
    }
}

void add_infiltration_totals(run_state& rs) {
    const int n = rs.GNUM;
    if (n <= 0 || !spans(rs.cum_infil, n)) return;
    ensure_cells(rs.cum_infil_prev, n);
    ensure_cells(rs.infil_depth, n);
    const bool long_term = soil_accounting_on(rs);
    const bool constituents = rs.overland_constituents != 0;
    if (long_term) ensure_cells(rs.lt_infil_depth, n);
    if (constituents) ensure_cells(rs.ov_con_infil_volume, n);
    // Without the long-term accounting nothing drains or dries the soil
    // column of the redistribution and layered schemes: it holds what infiltrates.
    const bool column = rs.recharge_computed && !long_term;
    if (column) {
        ensure_cells(rs.root_zone_upper, n);
        ensure_cells(rs.root_zone_water, n);
    }
    const double area = rs.cell_size * rs.cell_size;
    // Serial, in cell order: the totals come out the same for any thread count.
    for (int i = 1; i <= n; ++i) {
        const size_t c = static_cast<size_t>(i);
        const double inc = rs.cum_infil[c] - rs.cum_infil_prev[c];
        rs.vol_infiltration += inc * area;
        rs.infil_depth[c] += inc;
        if (rs.sacramento) rs.sac_infiltration += inc;
        if (long_term) rs.lt_infil_depth[c] += inc;
        if (constituents) rs.ov_con_infil_volume[c] += inc * area;
        if (constituents && c < rs.ov_con_soil_infil.size()) rs.ov_con_soil_infil[c] += inc;
        if (column) {
            rs.root_zone_upper[c] += inc * kCmPerMetre;
            rs.root_zone_water[c] += inc * kCmPerMetre;
        }
        rs.cum_infil_prev[c] = rs.cum_infil[c];
    }
}

void compute_infiltration(run_state& rs) {
    if (!any_method_on(rs) || !process_due(rs, rs.infil_next)) return;
    const double t = process_elapsed_seconds(rs, rs.infil_last);

    if (rs.inf_redist) {
        infiltrate_redistribution(rs, t);
        ++rs.inf_redist_calls;
        exchange_water_table(rs, t);
    } else if (rs.green_ampt) {
        infiltrate_green_ampt(rs, t);
    } else if (rs.inf_layered_soil) {
        infiltrate_multilayer(rs, t);
        exchange_water_table(rs, t);
    } else if (rs.inf_richards) {
        exchange_water_table(rs, t);
        const double evaporation = solve_richards(rs, t, 0);   // m over the cell area
        const double volume = evaporation * rs.cell_size * rs.cell_size;
        rs.richards_evap_depth = evaporation;
        rs.vol_evaporation += volume;
        rs.event_vol_total_evaporation += volume;
        const int n = rs.GNUM;
        if (spans(rs.richards_theta, n)) {
            ensure_cells(rs.theta_all, n);
            for (int i = 1; i <= n; ++i) {
                const std::vector<double>& column = rs.richards_theta[static_cast<size_t>(i)];
                if (in_overland_lake(rs, i) || column.size() < 2) continue;
                rs.theta_all[static_cast<size_t>(i)] = column[1];
            }
        }
    }
    if (error_record.code > 0) return;

    add_infiltration_totals(rs);

    advance_process_clock(rs, rs.infil_last, rs.infil_next, rs.infil_step_days);
    // Long-term run between events: infiltration waits for the next event.
    if (soil_accounting_on(rs) && !any_cell_exfiltrates(rs) && !rs.event_active && !rs.rain_on &&
        !rs.event_runoff) {
        if (rs.inf_redist) rs.inf_redist_ready = 0;
        if (rs.event_index >= 0) {
            const double start = event_start_time(rs, rs.event_index + 1);
            rs.infil_next = start < kNeverDue ? start + rs.rain_step_days : kNeverDue;
            if (rs.overland_constituents) rs.ov_point_source_next = rs.infil_next;
        }
    }
}

void book_pending_drainage(run_state& rs) {
    if (rs.groundwater) return;
    // The Richards columns' drainage, or the root-zone drainage of the
    // redistribution and layered schemes (booked otherwise only at an event end).
    std::vector<double>& pending = rs.inf_richards ? rs.gw_recharge_depth : rs.bottom_flux;   // cm
    if (!rs.inf_richards && !rs.recharge_computed) return;
    const int n = rs.GNUM;
    if (n <= 0 || !spans(pending, n)) return;
    const double area = rs.cell_size * rs.cell_size;   // m2
    // Serial, in cell order: the total is the same for any thread count.
    for (int i = 1; i <= n; ++i) {
        double& depth = pending[static_cast<size_t>(i)];   // cm
        rs.vol_unsat_downward += depth / kCmPerMetre * area;
        depth = 0.0;
    }
}
