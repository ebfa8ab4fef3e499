// Rain application: each rain step's depth onto the cells after interception,
// with the rain volume totals of the run and of the event.
//
// The per-cell work runs in a parallel loop that writes only its own cell;
// the volume totals and the lake inflows are then summed on the main thread
// in cell order, so that they are the same with any number of threads.
#include <cmath>
#include <cstdio>

#include "core/error.h"
#include "core/parallel.h"
#include "run/run_state.h"
#include "hydromet/interception.h"
#include "hydromet/precip.h"
#include "hydromet/precip_types.h"
#include "hydromet/rain_apply.h"
#include "hydromet/rain_cells.h"

namespace {

constexpr double kNegativeDepth = -1e-16;   // m

bool arrays_ready(const run_state& rs) {
    const size_t slots = static_cast<size_t>(rs.GNUM) + 1;
    const bool ready = rs.GNUM >= 0 && rs.cell_rain_rate.size() >= slots &&
                       rs.ov_depth.size() >= slots && rs.ov_aux.size() >= slots &&
                       (!rs.interception ||
                        (rs.ri_eff.size() >= slots && rs.icep_stor.size() >= slots &&
                         rs.icep_coef.size() >= slots && rs.icep_dep.size() >= slots)) &&
                       (!rs.long_term || rs.snow_swe.size() >= slots);
    if (!ready) {
        std::printf("Error: the rain application arrays do not hold the %d watershed cells\n",
                    rs.GNUM);
        error_record.code = kErrorPrinted;
    }
    return ready;
}

// Sum of v[1..n] in cell order, by halves down to short runs added in turn:
// the same sum with any number of threads, and a rounding error that grows
// with log2(n) rather than n on large grids.
double cell_order_sum(const double* v, int n) {
    struct run {
        static double sum(const double* a, int count) {
            if (count <= 256) {
                double s = 0.0;
                for (int i = 0; i < count; ++i) s += a[i];
                return s;
            }
            const int half = count / 2;
            return sum(a, half) + sum(a + half, count - half);
        }
    };
    return n > 0 ? run::sum(v + 1, n) : 0.0;
}

// Air temperature over cell k, degrees C.
double cell_air_temperature(const run_state& rs, int k, bool per_cell) {
    return per_cell ? rs.hmet_cell_temp[k] : rs.hmet_current.air_temp;
}

}  // namespace

double rain_step_length(const run_state& rs) {
    const double elapsed = (rs.time - rs.rain_last) * 86400.0;
    const double tolerance = rs.time_tolerance * 86400.0;
    if (rs.rain_step_seconds > 0.0 && std::fabs(elapsed - rs.rain_step_seconds) < tolerance)
        return rs.rain_step_seconds;
    return elapsed;
}

void apply_rainfall(run_state& rs) {
    if (!process_due(rs, rs.rain_next) || rs.rain_state != 1) return;
    if (!arrays_ready(rs)) return;
    const int n = rs.GNUM;
    const size_t slots = static_cast<size_t>(n) + 1;
    const double dt = rain_step_length(rs);                 // s
    const double area = rs.cell_size * rs.cell_size;        // m2

    if (rs.uniform_rain) ++rs.uniform_steps;

    const bool chan_lakes = rs.channel_lakes && rs.lake_mask.size() >= slots;
    if (rs.interception) {
        const double divisor = seasonal_divisor(rs.month, rs.seasonal_rs, rs.latitude);
        rs.vol_interception +=
            apply_interception(n, dt, rs.icep_stor, rs.icep_coef, rs.cell_rain_rate, rs.ri_eff,
                               rs.icep_dep, rs.icep_cell_volume, rs.cell_size, divisor,
                               chan_lakes ? 1 : 0, rs.lake_mask);
    }
    // An overland lake keeps its inflow until the lake step takes it (an
    // inflow too small to move the level is carried to later steps).
    const bool ov_lakes = rs.lakes && rs.oland_lake_new.size() >= slots &&
                          static_cast<int>(rs.overland_lakes.size()) > rs.num_overland_lakes;

    // Per cell: depth (or snow water) and the effective rain volume.
    if (rs.rain_cell_volume.size() < slots) rs.rain_cell_volume.assign(slots, 0.0);
    const double* effective = rs.interception ? rs.ri_eff.data() : rs.cell_rain_rate.data();
    const int* lake = chan_lakes ? rs.lake_mask.data() : nullptr;
    const int* ov_lake = ov_lakes ? rs.oland_lake_new.data() : nullptr;
    const bool snow_possible = rs.long_term != 0;
    const bool per_cell_temp =
        (rs.orogvar_hmet || rs.hmet_ascii) && rs.hmet_cell_temp.size >= n;
    const double snow_threshold = rs.cards.snow_temp_base;   // degrees C
    double* depth = rs.ov_depth.data();
    double* aux = rs.ov_aux.data();
    double* volume = rs.rain_cell_volume.data();
    double* swe = snow_possible ? rs.snow_swe.data() : nullptr;
    int snowfall = 0;
#pragma omp parallel for schedule(static) reduction(| : snowfall) if (n >= kParallelCells)
    for (int k = 1; k <= n; ++k) {
        if (lake != nullptr && lake[k] >= 1) {
            volume[k] = 0.0;   // the channel-network lake takes the rain (below)
            continue;
        }
        const double rate = effective[k];   // m/s
        volume[k] = dt * rate * area;
        if (ov_lake != nullptr && ov_lake[k] >= 1) {
            aux[k] = 0.0;
            continue;   // the overland lake takes the rain (below)
        }
        if (!snow_possible || cell_air_temperature(rs, k, per_cell_temp) > snow_threshold) {
            depth[k] += dt * rate;
        } else {
            // Snowfall: all of it joins the cell's snow water equivalent.
            snowfall |= 1;
            swe[k] += dt * rate;
        }
        aux[k] = 0.0;
    }

    // Lake inflows and the step's rain on lakes in cell order; the first bad
    // depth stops the run. The run and event totals take the step's sums, so
    // that a long run adds one total per step rather than one per cell.
    double lake_rain = 0.0;   // m3
    double rate_sum = 0.0;    // m/s (only its sign is used)
    for (int k = 1; k <= n; ++k) {
        const double rain_volume = dt * rs.cell_rain_rate[static_cast<size_t>(k)] * area;   // m3
        if (lake != nullptr && lake[k] >= 1) {
            const size_t id = static_cast<size_t>(lake[k]);
            if (id < rs.lake_volume.size()) rs.lake_volume[id] += rain_volume;
            lake_rain += rain_volume;
            continue;
        }
        if (ov_lakes) {
            const int id = rs.oland_lake_new[static_cast<size_t>(k)];
            if (id > 0 && id <= rs.num_overland_lakes) {
                // The rain that passed the canopy; the cell itself holds no depth.
                rs.overland_lakes[static_cast<size_t>(id)].inflow += volume[k];
                rs.vol_precip_ovlakes += volume[k];
                rs.lakes_changed = 1;
            }
        }
        rate_sum += effective[k];
        if (std::isnan(depth[k])) {
            std::printf("A non-real number for water depth has been detected for overland cell %d "
                        "after applying rainfall\n",
                        k);
            error_record.code = kErrorPrinted;
            return;
        }
        if (depth[k] < kNegativeDepth) {
            std::printf("A negative depth has been detected for overland cell %d after applying "
                        "rainfall, check your rainfall input for negative values\n",
                        k);
            error_record.code = kErrorPrinted;
            return;
        }
    }
    const double step_rain = cell_order_sum(volume, n);   // m3, lake cells hold 0
    rs.vol_precip += step_rain + lake_rain;
    rs.event_rain_volume += step_rain;
    rs.rain_rate_sum += rate_sum;
    if (lake_rain != 0.0) {
        rs.vol_lake_inflow += lake_rain;
        rs.vol_precip_to_lakes += lake_rain;
        rs.event_vol_precip_to_lake += lake_rain;
    }

    if (rs.rain_rate_sum > 0.0) {
        ++rs.rain_steps;
        rs.dry_start = 0;
        if (rs.rain_first_step) {
            rs.rain_begin_minutes = rs.elapsed_minutes;
            rs.rain_first_step = 0;
        }
    }

    if (snowfall) rs.snow = 1;
    const bool snow_model = rs.nwsrfs_snow || rs.eb_nwsrfs_snow;
    if (rs.snow && n >= 1 &&
        (cell_air_temperature(rs, n, per_cell_temp) > 0.0 || snow_model)) {
        rs.snow = compute_snow(rs, dt, 0);
    }
    // The step reached the event's last data line: its rain is over.
    if (rs.rain_ends_after_step) end_event_rain(rs);
}
