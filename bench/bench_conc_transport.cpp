// Benchmark of the overland constituent transport: the tilted plane of the
// overland benchmarks (2000 x 2000 cells by default) wetted by rain and
// routed by the explicit scheme until every face carries flow, then three
// contaminants (dispersion 0.5 m2/s, no decay) advected and dispersed step
// after step. Reports cell-constituent updates per second (cells x
// constituents x steps / wall time of the transport step) with one thread
// and with all threads, over all steps and over the fastest step (the one
// least disturbed by other work on the machine), the sub-steps the
// transport took per step and the allocations made during the timed steps
// after the first (there should be none; the first sizes the sweep's work
// space once per run).
//
// Usage: bench_conc_transport [rows cols steps [threads]]
// (with a thread count: that run alone, e.g. to profile it)
#include <omp.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "core/parallel.h"
#include "overland/explicit_scheme.h"
#include "quality/constituent_setup.h"
#include "quality/constituent_steps.h"
#include "run/run_state.h"
#include "allocation_count.h"
#include "tilted_plane.h"

namespace {

constexpr int kConstituents = 3;

struct result {
    double rate = 0.0;       // cell-constituent updates per second, over all steps
    double best = 0.0;       // the same over the fastest step (least disturbed by other load)
    double substeps = 0.0;   // transport sub-steps per step
    long long allocations = 0;   // made during the timed steps after the first
};

result run(int rows, int cols, int steps, int threads) {
    omp_set_num_threads(threads);
    run_state* rs = make_tilted_plane(rows, cols);
    rs->outlet_cell = rs->GNUM;
    rs->outslope = 0.01;
    const double dt = 5.0;          // s
    const double rain = 2.778e-5;   // 100 mm/h, m/s
    const int n = rs->GNUM;
    for (int s = 0; s < 20; ++s) {
        for (int k = 1; k <= n; ++k) rs->ov_depth[k] += rain * dt;
        route_overland_explicit(*rs, dt);
    }
    rs->overland_constituents = 1;
    alloc_constituent_arrays(*rs, kConstituents);
    for (int i = 1; i <= kConstituents; ++i) {
        for (int k = 1; k <= n; ++k) {
            rs->con.disp[i][k] = 0.5;
            rs->con.conc[i][k] = (k % 7) * i;   // a patchy field, g/m3
            rs->con.mass[i][k] = rs->con.conc[i][k] * rs->ov_depth[k] * 100.0;
        }
    }
    rs->time = 2458000.5;
    rs->ov_con_step_seconds = dt;
    rs->ov_con_step_days = dt / 86400.0;
    rs->ov_con_transport_last = rs->time;
    double seconds = 0.0, fastest = 1e300;
    long long allocated = 0;
    for (int s = 0; s < steps; ++s) {
        rs->time += dt / 86400.0;
        rs->ov_con_transport_next = rs->time;
        const long long before = allocations.load();
        const auto t0 = std::chrono::steady_clock::now();
        step_overland_constituent_transport(*rs);
        const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (s > 0) allocated += allocations.load() - before;
        seconds += took;
        fastest = took < fastest ? took : fastest;
    }
    result r;
    r.rate = static_cast<double>(n) * kConstituents * steps / seconds;
    r.best = static_cast<double>(n) * kConstituents / fastest;
    r.substeps = rs->con.transport_substeps;
    r.allocations = allocated;
    destroy_run_state(rs);
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    wait_passively_by_default(argv);   // idle threads wait as in the program
    int rows = 2000, cols = 2000, steps = 10;
    if (argc >= 4) {
        rows = std::atoi(argv[1]);
        cols = std::atoi(argv[2]);
        steps = std::atoi(argv[3]);
    }
    if (argc == 5) {
        const int threads = std::atoi(argv[4]);
        const result only = run(rows, cols, steps, threads);
        std::printf("overland constituent transport, %d x %d cells, %d constituents, %d steps\n",
                    rows, cols, kConstituents, steps);
        std::printf("  %d threads: %.3e cell-constituent updates/s, fastest step %.3e (%.0f sub-steps per "
                    "step), %lld allocations during the timed steps after the first\n",
                    threads, only.rate, only.best, only.substeps, only.allocations);
        return 0;
    }
    const int all = omp_get_num_procs();
    const result one = run(rows, cols, steps, 1);
    const result many = run(rows, cols, steps, all);
    std::printf("overland constituent transport, %d x %d cells, %d constituents, %d steps\n", rows,
                cols, kConstituents, steps);
    std::printf("  1 thread:   %.3e cell-constituent updates/s, fastest step %.3e (%.0f sub-steps per step)\n",
                one.rate, one.best, one.substeps);
    std::printf("  %d threads: %.3e cell-constituent updates/s, fastest step %.3e, speed-up %.2f (fastest steps %.2f)\n",
                all, many.rate, many.best, many.rate / one.rate, many.best / one.best);
    std::printf("  allocations during the timed steps after the first: %lld with 1 thread, %lld with %d\n", one.allocations,
                many.allocations, all);
    return 0;
}
