// The snow routine: every cell's pack for one call (melt onto the cell's
// surface water), from the rain application or the hourly hydromet step.
//
// The per-cell work runs in a parallel loop in which each iteration reads and
// writes only its own cell; the melt volume is summed afterwards in cell
// order, so results do not depend on the number of threads.
#include <cstdio>

#include "core/error.h"
#include "core/parallel.h"
#include "hydromet/rain_apply.h"
#include "hydromet/snow_melt.h"
#include "run/run_state.h"

namespace {

constexpr double kTiny = 1e-16;          // m
constexpr double kMmPerHourPerMs = 3.6e6;   // mm/h in 1 m/s

bool snow_arrays_ready(const run_state& rs, size_t slots) {
    return rs.snow_swe.size() >= slots && rs.snow_ice.size() >= slots && rs.snow_ati.size() >= slots &&
           rs.snow_heat_deficit.size() >= slots && rs.snow_liquid.size() >= slots &&
           rs.snow_density.size() >= slots && rs.snow_pack_temp.size() >= slots &&
           rs.tsnow_p.size() >= slots && rs.tsnow_t.size() >= slots && rs.qlr.size() >= slots &&
           rs.snow_par.size() >= slots && rs.snow_lag_storage.size() >= slots &&
           rs.snow_new_density.size() >= slots && rs.snow_prev_temp.size() >= slots &&
           rs.snow_precip_hours.size() >= slots && rs.ov_depth.size() >= slots;
}

snow_cell gather(const run_state& rs, size_t k) {
    snow_cell c;
    c.swe = rs.snow_swe[k];
    c.ati = rs.snow_ati[k];
    c.deficit = rs.snow_heat_deficit[k];
    c.liquid = rs.snow_liquid[k];
    c.ice = rs.snow_ice[k];
    c.lag = rs.snow_lag_storage[k];
    c.density = rs.snow_density[k];
    c.new_density = rs.snow_new_density[k];
    c.pack_temp = rs.snow_pack_temp[k];
    c.prev_temp = rs.snow_prev_temp[k];
    c.hours = rs.snow_precip_hours[k];
    c.part_p = rs.tsnow_p[k];
    c.part_t = rs.tsnow_t[k];
    c.qlr = rs.qlr[k];
    return c;
}

void scatter(run_state& rs, size_t k, const snow_cell& c) {
    rs.snow_swe[k] = c.swe;
    rs.snow_ati[k] = c.ati;
    rs.snow_heat_deficit[k] = c.deficit;
    rs.snow_liquid[k] = c.liquid;
    rs.snow_ice[k] = c.ice;
    rs.snow_lag_storage[k] = c.lag;
    rs.snow_density[k] = c.density;
    rs.snow_new_density[k] = c.new_density;
    rs.snow_pack_temp[k] = c.pack_temp;
    rs.snow_prev_temp[k] = c.prev_temp;
    rs.snow_precip_hours[k] = c.hours;
    rs.tsnow_p[k] = c.part_p;
    rs.tsnow_t[k] = c.part_t;
    rs.qlr[k] = c.qlr;
}

void print_warnings(unsigned w) {
    if (w & kSnowLongHour) {
        std::printf("\nTime Step Became Greater Than 1 hour in Snow Melt\n");
        std::printf("Changing dtp to 1.0 hour \n");
    }
    if (w & kSnowBothMelts) std::printf("ERROR, Can't have melting form non-precip and precip functions\n\n");
    if (w & kSnowNegativeDeficit) std::printf("\nThe Heat Deficit(s) are below 0, THIS IS A PROBLEM!!!\n");
    if (w & kSnowRetention) std::printf("Running into problems with the Retention in the snow melt \n");
}

}  // namespace

int compute_snow(run_state& rs, double elapsed_seconds, int from_hmet) {
    const int n = rs.GNUM;
    const size_t slots = static_cast<size_t>(n) + 1;
    if (n < 1 || rs.snow_swe.size() < slots) return 0;
    if (!snow_arrays_ready(rs, slots)) {
        std::printf("Error: the snow arrays do not hold the %d watershed cells\n", n);
        set_error(kErrorPrinted);
        return rs.snow;
    }
    const snow_method method = rs.nwsrfs_snow      ? snow_method::temp_index
                               : rs.eb_nwsrfs_snow ? snow_method::hybrid
                                                   : snow_method::energy_budget;
    // The seasonal melt factor needs the calendar date of the model clock.
    if (method != snow_method::energy_budget && melt_day_number(rs.month, rs.day) < 0) {
        std::printf("WE HAVE A PROBLEM WITH THE DATES!!!\n");
        std::printf("Error: the snow melt factor has no day number for month %d, day %d\n", rs.month,
                    rs.day);
        set_error(kErrorPrinted);
        return rs.snow;
    }

    snow_forcing base;
    base.air_temp = rs.hmet_current.air_temp;
    base.wind = rs.hmet_current.wind_speed;
    base.rel_humidity = rs.hmet_current.rel_humidity;
    base.pressure = rs.hmet_current.pressure;
    base.seconds = elapsed_seconds;
    base.from_hmet = from_hmet != 0;
    base.event_rain = !from_hmet && rs.rain_state == 1;
    base.month = rs.month;
    base.day = rs.day;
    base.temp_base = rs.cards.snow_temp_base;
    base.latent_heat = rs.snow_const_a;
    base.longwave_offset = rs.snow_const_b;
    const bool per_cell_temp = (rs.orogvar_hmet || rs.hmet_ascii) && rs.hmet_cell_temp.size >= n;
    const bool per_cell_air = rs.hmet_ascii && rs.hmet_cell_wind.size >= n &&
                              rs.hmet_cell_rel_humidity.size >= n && rs.hmet_cell_pressure.size >= n;
    const double* rate = rs.interception && rs.ri_eff.size() >= slots ? rs.ri_eff.data()
                         : rs.cell_rain_rate.size() >= slots     ? rs.cell_rain_rate.data()
                                                                  : nullptr;   // m/s
    const bool chan_lakes = rs.channel_lakes && rs.lake_mask.size() >= slots;
    const bool ov_lakes = rs.lakes && rs.oland_lake_new.size() >= slots;
    const bool retention = rs.nwsrfs_retention != 0;

    if (rs.melt_cell_volume.size() < slots) rs.melt_cell_volume.assign(slots, 0.0);
    double* melt_volume = rs.melt_cell_volume.data();
    const double area = rs.cell_size * rs.cell_size;   // m2
    unsigned warnings = 0;
    int snow_left = 0;
#pragma omp parallel for schedule(static) reduction(| : warnings, snow_left) if (n >= kParallelCells)
    for (int j = 1; j <= n; ++j) {
        const size_t k = static_cast<size_t>(j);
        melt_volume[k] = 0.0;
        if ((chan_lakes && rs.lake_mask[k] >= 1) || (ov_lakes && rs.oland_lake_new[k] >= 1)) continue;
        snow_forcing f = base;
        if (per_cell_temp) f.air_temp = rs.hmet_cell_temp[j];
        if (per_cell_air) {
            f.wind = rs.hmet_cell_wind[j];
            f.rel_humidity = rs.hmet_cell_rel_humidity[j];
            f.pressure = rs.hmet_cell_pressure[j];
        }
        f.rain_rate = rate != nullptr ? rate[k] * kMmPerHourPerMs : 0.0;
        snow_cell c = gather(rs, k);
        unsigned w = 0;
        const double melt = snow_cell_step(c, rs.snow_par[k], f, method, retention, w);   // m
        scatter(rs, k, c);
        if (melt > 0.0) {
            rs.ov_depth[k] += melt;
            melt_volume[k] = melt * area;
        }
        warnings |= w;
        if (c.swe > kTiny) snow_left = 1;
    }
    double melted = 0.0;   // m3
    for (int j = 1; j <= n; ++j) melted += melt_volume[j];
    rs.vol_snow_melt += melted;
    if (melted > 0.0 && rs.long_term) rs.surface_water_present = 1;
    print_warnings(warnings);
    return snow_left;
}
