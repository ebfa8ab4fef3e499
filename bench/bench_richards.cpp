// Benchmark of the Richards column solver: every cell of a synthetic grid
// holds a 100-node column of Haverkamp sand (1-cm nodes, start at -61.5 cm)
// under rain of 0.1 Ks, advanced one 60-s infiltration step after another.
// Reports column-steps per second (cells x steps / wall time of the solver)
// with one thread and with all threads.
//
// Usage: bench_richards [cells steps]
#include <omp.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include "run/run_state.h"
#include "subsurface/richards.h"
#include "subsurface/richards_soil.h"

namespace {

constexpr int kNodes = 100;            // active nodes per column
constexpr double kRain = 3.3984;       // cm/h, 0.1 Ks of the sand
constexpr double kStep = 60.0;         // s

run_state* make_state(int cells) {
    run_state* rs = create_run_state();
    rs->GNUM = cells;
    rs->cell_size = 10.0;   // m
    rs->inf_richards = 1;
    rs->richards_c_option = kRichardsHavercamp;
    rs->richards_k_option = 2;
    rs->richards_weight = 1.0;
    rs->richards_upper_option = 1;
    rs->richards_iter_max = 1;
    rs->richards_dtheta_max = 0.0025;
    const size_t n = static_cast<size_t>(cells) + 1;
    for (std::vector<double>* v : {&rs->ov_depth, &rs->cum_infil, &rs->inf_rich, &rs->infil_rate,
                                   &rs->gw_recharge_depth, &rs->masserror, &rs->dtr}) {
        v->assign(n, 0.0);
    }
    rs->bound_type.assign(n, 1);
    rs->yes_exfil.assign(n, 0);
    rs->richards_nodes.assign(n, kNodes + 1);
    rs->richards_columns.assign(n, richards_column{});
    rs->richards_theta.assign(n, {});
    rs->richards_dz.assign(n, {});
    rs->richards_theta_s.assign(n, {});
    richards_node_soil sand;
    sand.ks = 33.984;
    sand.theta_r = 0.075;
    sand.alpha = 36.936;
    sand.beta = 3.96;
    sand.a = 1.175e6;
    sand.b = 4.74;
    const double ths = 0.287;
    const size_t slots = kNodes + 3;
    for (size_t c = 1; c < n; ++c) {
        richards_column& col = rs->richards_columns[c];
        for (std::vector<double>* v : {&col.head, &col.k_rel, &col.capacity, &col.flux, &col.source}) v->assign(slots, 0.0);
        col.soil.assign(slots, sand);
        rs->richards_dz[c].assign(slots, 1.0);
        rs->richards_theta_s[c].assign(slots, ths);
        rs->richards_theta[c].assign(slots, richards_theta_of_head(sand, ths, -61.5, kRichardsHavercamp));
        for (double& h : col.head) h = -61.5;
        richards_update_row(col, rs->richards_theta[c].data(), rs->richards_theta_s[c].data(), kNodes + 1,
                            kRichardsHavercamp);
        rs->dtr[c] = kStep / 3600.0;
    }
    return rs;
}

double run(int cells, int steps, int threads) {
    omp_set_num_threads(threads);
    run_state* rs = make_state(cells);
    double seconds = 0.0;
    for (int s = 0; s < steps; ++s) {
        for (int c = 1; c <= cells; ++c) rs->ov_depth[static_cast<size_t>(c)] += kRain / 100.0 * kStep / 3600.0;
        auto t0 = std::chrono::steady_clock::now();
        solve_richards(*rs, kStep, 0);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    }
    destroy_run_state(rs);
    return static_cast<double>(cells) * steps / seconds;
}

}  // namespace

int main(int argc, char** argv) {
    const int cells = argc > 1 ? std::atoi(argv[1]) : 4000;
    const int steps = argc > 2 ? std::atoi(argv[2]) : 60;
    const int all = omp_get_max_threads();
    const double one = run(cells, steps, 1);
    const double many = run(cells, steps, all);
    std::printf("Richards columns: %d cells x %d nodes, %d steps of %.0f s\n", cells, kNodes, steps, kStep);
    std::printf("  1 thread:   %12.0f column-steps/s\n", one);
    std::printf("  %d threads: %12.0f column-steps/s (%.2fx)\n", all, many, many / one);
    return 0;
}
