// Benchmark of the two-dimensional groundwater solver: a square aquifer of
// 20-m cells (K 1e-4 m/s, porosity 0.2, 20 m saturated) with a fixed-head
// rim, a well of 0.05 m3/s in the middle and 1e-8 m/s recharge elsewhere,
// advanced in 1-h groundwater steps. Reports cell-updates per second
// (cells x steps / wall time of the solver) with one thread and with all
// threads; the solver runs on the calling thread, so the two agree.
//
// Usage: bench_groundwater [side steps]
#include <omp.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include "core/alloc.h"
#include "core/error.h"
#include "run/run_state.h"
#include "subsurface/gw_solver.h"

namespace {

constexpr double kStep = 3600.0;   // s

run_state* make_state(int side) {
    run_state* rs = create_run_state();
    rs->rows = rs->cols = rs->mask_rows = rs->mask_cols = side;
    rs->cell_size = 20.0;   // m
    rs->GNUM = side * side;
    alloc_int_2d(rs->mask, side + 1, side + 1, "mask");
    int k = 0;
    for (int r = 1; r <= side; ++r)
        for (int c = 1; c <= side; ++c) rs->mask[r][c] = ++k;
    const size_t n = static_cast<size_t>(rs->GNUM) + 1;
    rs->gw_simulation = 1;
    rs->gw_relax_coeff = 1.5;
    rs->gw_lsor_con = 1e-6;   // m
    rs->gw_lsor_dir = 1;
    rs->gw_sweep = 1;
    rs->gwbound.assign(n, 1);
    rs->elevgw.assign(n, 20.0);        // m
    rs->bottom_elev.assign(n, 0.0);    // m
    rs->gw_hycond.assign(n, 1e-4);     // m/s
    rs->gw_hycond_y.assign(n, 1e-4);
    rs->gw_storage.assign(n, 0.2);
    rs->gw_porosity.assign(n, 0.2);
    rs->gw_static_flux.assign(n, -1e-8);   // m/s, negative adds water
    rs->gw_recharge_depth.assign(n, 0.0);
    for (int r = 1; r <= side; ++r) {
        for (int c = 1; c <= side; ++c) {
            if (r == 1 || c == 1 || r == side || c == side) rs->gwbound[rs->mask[r][c]] = 2;
        }
    }
    rs->gw_static_flux[rs->mask[side / 2][side / 2]] = 0.05 / 400.0;   // well, m/s
    return rs;
}

double run(int side, int steps, int threads) {
    omp_set_num_threads(threads);
    run_state* rs = make_state(side);
    double seconds = 0.0;
    for (int s = 0; s < steps; ++s) {
        auto t0 = std::chrono::steady_clock::now();
        solve_groundwater_2d(*rs, kStep);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (error_record.code != 0) {
            std::printf("the solver failed at step %d\n", s + 1);
            std::exit(1);
        }
    }
    destroy_run_state(rs);
    return static_cast<double>(side) * side * steps / seconds;
}

}  // namespace

int main(int argc, char** argv) {
    const int side = argc > 1 ? std::atoi(argv[1]) : 500;
    const int steps = argc > 2 ? std::atoi(argv[2]) : 5;
    const int all = omp_get_max_threads();
    const double one = run(side, steps, 1);
    const double many = run(side, steps, all);
    std::printf("Groundwater: %d x %d cells of 20 m, %d steps of %.0f s\n", side, side, steps, kStep);
    std::printf("  1 thread:   %12.0f cell-updates/s\n", one);
    std::printf("  %d threads: %12.0f cell-updates/s (%.2fx)\n", all, many, many / one);
    return 0;
}
