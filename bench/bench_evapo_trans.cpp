// Benchmark of the evapotranspiration of a long-term run: a generated year of
// hourly records (a daily cycle of temperature, humidity, sun and wind through
// the seasons) over a grid of cells with Penman-Monteith rates, the frozen
// ground index and the root-zone withdrawal of a redistribution soil each hour.
// Reports the wall time of the year with one thread and with all threads.
//
// Usage: bench_evapo_trans [cells hours]
#include <omp.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "core/parallel.h"
#include "hydromet/evapo_trans.h"
#include "hydromet/hydromet.h"
#include "run/run_state.h"

namespace {

constexpr double kHour = 1.0 / 24.0;   // days

run_state* make_state(int cells) {
    run_state* rs = create_run_state();
    rs->GNUM = cells;
    rs->cell_size = 30.0;
    rs->long_term = 1;
    rs->latitude = 40.0;
    rs->et_calc_penman = 1;
    rs->inf_redist = 1;
    rs->recharge_computed = 1;
    rs->soil_et = 1;
    rs->soil_moist_depth = 100.0;
    rs->top_layer_depth = 40.0;
    rs->time_tolerance = 1e-6;
    rs->et_step_days = kHour;
    const size_t n = static_cast<size_t>(cells) + 1;
    rs->veg_albedo.assign(n, 0.2);
    rs->veg_height.assign(n, 0.4);
    rs->veg_tcoeff.assign(n, 0.7);
    rs->veg_canopy_rs.assign(n, 60.0);
    rs->ov_slope_x.assign(n, 0.0);
    rs->ov_slope_y.assign(n, 0.0);
    for (size_t c = 1; c < n; ++c) {
        rs->ov_slope_x[c] = 0.01 * static_cast<double>(c % 11) - 0.05;
        rs->ov_slope_y[c] = 0.01 * static_cast<double>(c % 7) - 0.03;
    }
    for (std::vector<double>* v : {&rs->ov_depth, &rs->lt_infil_depth, &rs->bottom_flux}) v->assign(n, 0.0);
    rs->ksat.assign(n, 1.0 / 360000.0);
    rs->cap_drive.assign(n, 0.11);
    rs->phi.assign(n, 0.45);
    rs->thr.assign(n, 0.05);
    rs->pore_dist_index.assign(n, 0.3);
    rs->soil_wilting_point.assign(n, 0.1);
    rs->root_zone_upper.assign(n, 0.3 * 40.0);
    rs->root_zone_lower.assign(n, 0.3 * 60.0);
    rs->root_zone_water.assign(n, 0.3 * 100.0);
    return rs;
}

// The record of hour h of the year 2010.
void set_record(run_state& rs, int h) {
    static const int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int day = h / 24, month = 0;
    while (month < 11 && day >= kMonthDays[month]) day -= kMonthDays[month++];
    hmet_record& r = rs.hmet_current;
    r.year = 2010;
    r.month = month + 1;
    r.day = day + 1;
    r.hour = h % 24;
    const double season = std::cos(2.0 * et::kPi * (h / 24.0 - 200.0) / 365.0);   // 1 in July
    const double daily = std::cos(2.0 * et::kPi * (r.hour - 15) / 24.0);           // 1 at 15:00
    r.air_temp = 10.0 + 12.0 * season + 6.0 * daily;
    r.rel_humidity = 65.0 - 20.0 * daily;
    r.pressure = 1000.0;
    r.cloud_cover = 3.0 + 3.0 * std::sin(h * 0.37);
    r.wind_speed = 2.0 + 1.5 * std::sin(h * 0.11);
    r.global_rad = std::max(0.0, 500.0 * std::sin(et::kPi * (r.hour - 6) / 12.0)) * (1.0 + 0.3 * season);
}

double run(int cells, int hours, int threads, double* evaporated) {
    omp_set_num_threads(threads);
    run_state* rs = make_state(cells);
    rs->time = 1.0;
    rs->et_last = rs->time - kHour;
    rs->et_next = rs->time;
    const auto t0 = std::chrono::steady_clock::now();
    for (int h = 0; h < hours; ++h) {
        set_record(*rs, h);
        rs->hmet_current.air_temp = evapo_trans(*rs);
        update_frozen_ground_index(*rs);
        if (h % 240 == 0) {   // a wetting every ten days
            for (int c = 1; c <= cells; ++c) rs->lt_infil_depth[static_cast<size_t>(c)] = 0.01;
        }
        compute_soil_et(*rs);
        rs->time += kHour;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    *evaporated = rs->vol_evaporation;
    destroy_run_state(rs);
    return seconds;
}

}  // namespace

int main(int argc, char** argv) {
    wait_passively_by_default(argv);   // idle threads wait as in the program
    const int cells = argc > 1 ? std::atoi(argv[1]) : 2500;
    const int hours = argc > 2 ? std::atoi(argv[2]) : 8760;
    const int all = omp_get_max_threads();
    double v1 = 0.0, vn = 0.0;
    const double t1 = run(cells, hours, 1, &v1);
    const double tn = run(cells, hours, all, &vn);
    std::printf("evapotranspiration, %d cells, %d hourly records\n", cells, hours);
    std::printf("  1 thread:   %8.3f s  (%.2f us per cell-hour)\n", t1, t1 / cells / hours * 1e6);
    std::printf("  %d threads: %8.3f s  (%.2f us per cell-hour)\n", all, tn, tn / cells / hours * 1e6);
    std::printf("  evaporated %.6f m3 with 1 thread, %.6f m3 with %d: %s\n", v1, vn, all,
                v1 == vn ? "identical" : "DIFFERENT");
    return v1 == vn ? 0 : 1;
}
