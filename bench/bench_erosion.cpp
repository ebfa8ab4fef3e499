// Benchmark of the overland erosion step: the 2000 x 2000 tilted plane of the
// overland benchmark under rain, routed by the explicit scheme, with erosion
// of three size classes after every step and one contaminant (Kd 50 l/kg,
// 2 g/m3 in the rain water) following the sediment with its sorbed part
// after every step. Reports erosion cell-updates per second (cells x steps /
// wall time of the erosion step) with one thread and with all threads, the
// erosion step's share of the overland time (routing, erosion and the
// sediment-bound step) and the sediment-bound step's.
//
// Usage: bench_erosion [rows cols steps]
#include <omp.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include "core/parallel.h"
#include "overland/explicit_scheme.h"
#include "quality/constituent_setup.h"
#include "quality/constituent_steps.h"
#include "quality/sediment.h"
#include "quality/sediment_bound_step.h"
#include "quality/sediment_state.h"
#include "quality/sediment_step.h"
#include "run/run_state.h"
#include "tilted_plane.h"

namespace {

// Three classes (0.01, 0.1 and 1 mm, soil shares 0.5, 0.3, 0.2), formula 3,
// default erosion parameters.
void set_up_erosion(run_state& rs) {
    ov_sed_record& s = rs.ov_sed;
    s.classes = 3;
    s.formula = 3;
    s.sand_size = 0.0625;
    s.water_kin_viscosity = water_viscosity(20.0);
    s.spec_grav = {0, 2.65, 2.65, 2.65};
    s.part_diam = {0, 0.01, 0.1, 1.0};
    size_sediment_record(s, rs.GNUM);
    derive_class_properties(s);
    const size_t size = static_cast<size_t>(rs.GNUM) + 1;
    s.splash_K.assign(size, 60.0);
    s.sed_K.assign(size, 1.0);
    s.detach_coef.assign(size, 1e-5);
    s.detach_exp.assign(size, 1.0);
    s.detach_crit.assign(size, 0.0);
    const double shares[4] = {0, 0.5, 0.3, 0.2};
    for (int k = 1; k <= rs.GNUM; ++k)
        for (int j = 1; j <= 3; ++j) s.soil_fract[static_cast<size_t>(k) * 4 + j] = shares[j];
    s.on = 1;
    rs.overland_constituents = 1;
    rs.sediment_contam = 1;
    alloc_constituent_arrays(rs, 1);
    rs.water_soil_partition_coef.grow(1);
    rs.water_soil_partition_coef[1] = 50.0;
    rs.time_tolerance = 1e-9;
    init_sediment_bound_state(rs);
}

struct timing {
    double erosion_rate = 0.0;   // erosion cell-updates per second
    double share = 0.0;          // erosion time / overland time
    double bound_share = 0.0;    // sediment-bound step time / overland time
    double bound_rate = 0.0;     // sediment-bound cell-updates per second
};

timing run(int rows, int cols, int steps, int threads) {
    omp_set_num_threads(threads);
    run_state* rs = make_tilted_plane(rows, cols);
    rs->outlet_cell = rs->GNUM;   // south-east corner
    rs->outslope = 0.01;
    set_up_erosion(*rs);
    const double dt = 2.0;          // s
    const double rain = 2.778e-5;   // 100 mm/h, m/s
    rs->cell_rain_rate.assign(static_cast<size_t>(rs->GNUM) + 1, rain);
    const int n = rs->GNUM;
    double* h = rs->ov_depth.data();
    double route_s = 0.0, erosion_s = 0.0, bound_s = 0.0;
    double* mass = rs->con.mass[1].data();
    for (int s = 0; s < 20 + steps; ++s) {
#pragma omp parallel for schedule(static)
        for (int k = 1; k <= n; ++k) {
            h[k] += rain * dt;
            mass[k] += 2.0 * rain * dt * rs->cell_size * rs->cell_size;   // g
        }
        auto t0 = std::chrono::steady_clock::now();
        rs->outlet_flow = route_overland_explicit(*rs, dt) / dt;
        auto t1 = std::chrono::steady_clock::now();
        step_overland_sediment(*rs, dt);
        auto t2 = std::chrono::steady_clock::now();
        rs->time = rs->ov_con_transport_next = (s + 1) * dt / 86400.0;
        step_sediment_bound_sources(*rs);
        auto t3 = std::chrono::steady_clock::now();
        if (s >= 20) {   // after the warm-up that wets every face
            route_s += std::chrono::duration<double>(t1 - t0).count();
            erosion_s += std::chrono::duration<double>(t2 - t1).count();
            bound_s += std::chrono::duration<double>(t3 - t2).count();
        }
    }
    destroy_run_state(rs);
    timing t;
    t.erosion_rate = static_cast<double>(n) * steps / erosion_s;
    t.share = erosion_s / (route_s + erosion_s + bound_s);
    t.bound_share = bound_s / (route_s + erosion_s + bound_s);
    t.bound_rate = static_cast<double>(n) * steps / bound_s;
    return t;
}

}  // namespace

int main(int argc, char** argv) {
    wait_passively_by_default(argv);   // idle threads wait as in the program
    int rows = 2000, cols = 2000, steps = 20;
    if (argc == 4) {
        rows = std::atoi(argv[1]);
        cols = std::atoi(argv[2]);
        steps = std::atoi(argv[3]);
    }
    const int all = omp_get_num_procs();
    std::printf("overland erosion, 3 classes, %d x %d cells, %d steps of 2 s under rain\n", rows,
                cols, steps);
    const timing one = run(rows, cols, steps, 1);
    const timing many = run(rows, cols, steps, all);
    std::printf("  1 thread : %.3e erosion cell-updates/s, %.0f %% of the overland time; "
                "sediment-bound step %.3e cell-updates/s, %.0f %%\n",
                one.erosion_rate, 100.0 * one.share, one.bound_rate, 100.0 * one.bound_share);
    std::printf("  %d threads: %.3e erosion cell-updates/s (%.1f x one thread), %.0f %% of the "
                "overland time; sediment-bound step %.3e cell-updates/s (%.1f x), %.0f %%\n",
                all, many.erosion_rate, many.erosion_rate / one.erosion_rate, 100.0 * many.share,
                many.bound_rate, many.bound_rate / one.bound_rate, 100.0 * many.bound_share);
    return 0;
}
