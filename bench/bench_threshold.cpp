// Where threads start to pay on this machine: times one overland step (a
// single sub-step) of the explicit scheme and one light loop over cells (a
// few operations per cell, like the rain and infiltration loops) on grids of
// 1,000 to 1,024,000 cells, with one thread and with all processors, the
// parallel path forced at every size. The default thresholds of
// src/core/parallel.h were set from its output, with a margin.
//
// It waits as the program does (see wait_passively_by_default); set
// OMP_WAIT_POLICY to compare other policies.
//
// Usage: bench_threshold [threads]   (default: all processors)
#include <omp.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "core/alloc.h"
#include "core/parallel.h"
#include "overland/connectivity.h"
#include "overland/explicit_scheme.h"
#include "run/run_state.h"
#include "tilted_plane.h"

namespace {

using bench_clock = std::chrono::steady_clock;

// A plane of rows x cols 10 m cells falling 1 % to the south and 0.5 % to the
// east under 5 mm of water: one 1 s step is one sub-step without splits.
struct plane {
    run_state* rs = nullptr;
    std::vector<double> start;   // depths every timed step starts from, m
    plane(int rows, int cols) {
        rs = make_tilted_plane(rows, cols);
        rs->chan_explic = 1;   // no outlet drain
        start.assign(static_cast<size_t>(rs->GNUM) + 1, 0.005);
        start[0] = 0.0;
    }
    ~plane() { destroy_run_state(rs); }
};

// Seconds of one call of `work`, the best of repeats that fill about 0.1 s
// (at least 5); `reset` runs before every call, untimed.
template <class Reset, class Work>
double best_time(Reset reset, Work work) {
    double best = 1e300, total = 0.0;
    for (int i = 0; i < 5 || (total < 0.1 && i < 100000); ++i) {
        reset();
        const auto t0 = bench_clock::now();
        work();
        const double s = std::chrono::duration<double>(bench_clock::now() - t0).count();
        best = std::min(best, s);
        total += s;
    }
    return best;
}

double overland_step(int rows, int cols, int threads) {
    omp_set_num_threads(threads);
    plane p(rows, cols);
    run_state& rs = *p.rs;
    return best_time([&] { rs.ov_depth = p.start; },
                     [&] { route_overland_explicit(rs, 1.0); });
}

double light_loop(int cells, int threads) {
    omp_set_num_threads(threads);
    std::vector<double> h(static_cast<size_t>(cells) + 1, 0.0);
    double* d = h.data();
    return best_time([] {}, [&] {
#pragma omp parallel for schedule(static) if (cells >= kParallelCells)
        for (int k = 1; k <= cells; ++k) d[k] += 1.4e-5 * 5.0;
    });
}

}  // namespace

int main(int argc, char** argv) {
    wait_passively_by_default(argv);
    set_parallel_cells(parallel_thresholds{1, 1});   // the parallel path at every size
    const int many = argc >= 2 ? std::max(2, std::atoi(argv[1])) : omp_get_num_procs();
    const char* policy = std::getenv("OMP_WAIT_POLICY");
    std::printf("one overland step and one light loop, 1 and %d threads (OMP_WAIT_POLICY %s)\n",
                many, policy != nullptr ? policy : "not set");
    std::printf("%9s  %12s %12s %6s  %12s %12s %6s\n", "cells", "overland 1", "overland N",
                "ratio", "light 1", "light N", "ratio");
    int overland_from = 0, light_from = 0;   // smallest size from which N threads stay faster
    for (int cells = 1000; cells <= 1100000; cells *= 2) {
        const int cols = std::max(1, static_cast<int>(std::sqrt(static_cast<double>(cells))));
        const int rows = std::max(1, cells / cols);
        const int n = rows * cols;
        const double o1 = overland_step(rows, cols, 1), on = overland_step(rows, cols, many);
        const double l1 = light_loop(n, 1), ln = light_loop(n, many);
        std::printf("%9d  %10.1f us %10.1f us %6.2f  %10.1f us %10.1f us %6.2f\n", n, o1 * 1e6,
                    on * 1e6, o1 / on, l1 * 1e6, ln * 1e6, l1 / ln);
        if (on < o1) {
            if (overland_from == 0) overland_from = n;
        } else {
            overland_from = 0;
        }
        if (ln < l1) {
            if (light_from == 0) light_from = n;
        } else {
            light_from = 0;
        }
    }
    std::printf("threads pay from about %d cells (overland step) and %d cells (light loop); 0: "
                "not up to 1,024,000\n",
                overland_from, light_from);
    std::printf("thresholds in use without PLUVO_PARALLEL_CELLS: %d (overland step), %d (light "
                "loops)\n",
                kDefaultParallelOverlandCells, kDefaultParallelCells);
    return 0;
}
