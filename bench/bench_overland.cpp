// Benchmark of the overland schemes: a synthetic watershed of 2000 x 2000
// cells, a plane tilted in both directions under rain, routed step after
// step. Reports overland cell-updates per second with one thread and with all
// threads: cells x steps / wall time of the scheme for the explicit scheme,
// cells x sub-steps / wall time for ADE and ADE-PC; beside it the rate of the
// fastest step, which on a machine shared with other work shows what the
// scheme does when it has the processors to itself. An ADE step includes the
// overland step's look over the surface (which makes the sub-step estimate)
// and leaving the step's mean discharges on the faces. The plane has one Manning
// n and no retention, which the ADE pass then does not read cell by cell; the
// last line runs ADE with the n taken as from a map. It also counts the
// allocations made during the timed steps (there should be none). Around the
// run on all threads it shows how whole the machine's cores were: on a
// virtual machine a processor may share its core with other guests, and a
// step on all threads waits for its slowest one (see core_probe.h).
//
// Usage: bench_overland [rows cols steps [explicit|ade|ade-pc|ade-map]]
#include <omp.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/alloc.h"
#include "core/parallel.h"
#include "run/run_state.h"
#include "overland/connectivity.h"
#include "overland/ade_scheme.h"
#include "overland/explicit_scheme.h"
#include "allocation_count.h"
#include "core_probe.h"
#include "tilted_plane.h"

namespace {

struct watershed {
    run_state* rs = nullptr;
    watershed(int rows, int cols, bool n_map) {
        // Outlet in the south-east corner.
        rs = make_tilted_plane(rows, cols);
        rs->outlet_cell = rs->GNUM;
        rs->outslope = 0.01;
        // As from a roughness map: the cells' n are read one by one.
        if (n_map) rs->rough_all = 0.0;
    }
    ~watershed() { destroy_run_state(rs); }
};

// Rain of `rate` m/s for dt seconds onto every cell (not timed: the scheme is).
void add_rain(run_state& rs, double rate, double dt) {
    const int n = rs.GNUM;
    double* h = rs.ov_depth.data();
#pragma omp parallel for schedule(static)
    for (int k = 1; k <= n; ++k) h[k] += rate * dt;
}

// One step of the scheme (1 explicit, 2 ADE, 3 ADE-PC; 4 ADE with the n of a
// map). An ADE step goes as in the program's overland step: the look over the
// surface for water, flow and non-real depths, which also makes the scheme's
// sub-step estimate, then the scheme.
void route(run_state& rs, int scheme, double dt, int step) {
    if (scheme == 1) {
        route_overland_explicit(rs, dt);
        return;
    }
    int water = 0, flow = 0, bad = 0;
    scan_surface_for_ade(rs, dt, water, flow, bad);
    route_overland_ade(rs, dt, scheme == 4 ? 2 : scheme, step % 2 + 1);
}

struct rate {
    double mean = 0.0;   // cell-updates over all timed steps / their time, 1/s
    double best = 0.0;   // cell-updates of the fastest step / its time, 1/s
    long long allocations = 0;   // made during the timed steps
};

rate run(int rows, int cols, int steps, int threads, int scheme) {
    omp_set_num_threads(threads);
    watershed w(rows, cols, scheme == 4);
    w.rs->overtype = scheme == 4 ? 2 : scheme;   // the OVERTYPE of the scheme
    const double dt = 2.0;          // s
    const double rain = 2.778e-5;   // 100 mm/h, m/s
    // Warm-up: wet the surface so every face carries flow.
    for (int s = 0; s < 20; ++s) {
        add_rain(*w.rs, rain, dt);
        route(*w.rs, scheme, dt, s);
    }
    double seconds = 0.0;
    rate r;
    const long long substeps_before = w.rs->ade_substeps;
    for (int s = 0; s < steps; ++s) {
        add_rain(*w.rs, rain, dt);
        const long long before = w.rs->ade_substeps;
        const long long allocated = allocations.load();
        auto t0 = std::chrono::steady_clock::now();
        route(*w.rs, scheme, dt, s);
        const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        r.allocations += allocations.load() - allocated;
        seconds += t;
        const double step_updates =
            scheme == 1 ? 1.0 : static_cast<double>(w.rs->ade_substeps - before);
        const double step_rate = static_cast<double>(w.rs->GNUM) * step_updates / t;
        if (step_rate > r.best) r.best = step_rate;
    }
    const double updates = scheme == 1 ? static_cast<double>(steps)
                                       : static_cast<double>(w.rs->ade_substeps - substeps_before);
    r.mean = static_cast<double>(w.rs->GNUM) * updates / seconds;
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    wait_passively_by_default(argv);   // idle threads wait as in the program
    int rows = 2000, cols = 2000, steps = 30;
    if (argc >= 4) {
        rows = std::atoi(argv[1]);
        cols = std::atoi(argv[2]);
        steps = std::atoi(argv[3]);
    }
    const int all = omp_get_num_procs();
    const char* names[] = {"", "explicit", "ADE", "ADE-PC", "ADE, n map"};
    const char* keys[] = {"", "explicit", "ade", "ade-pc", "ade-map"};
    int only = 0;   // one scheme (its key as the fourth argument), or all
    if (argc >= 5) {
        for (int k = 1; k <= 4; ++k)
            if (std::string(argv[4]) == keys[k]) only = k;
        if (only == 0) {
            std::fprintf(stderr, "bench_overland: unknown scheme %s\n", argv[4]);
            return 1;
        }
    }
    std::printf("overland schemes, %d x %d cells, %d steps of 2 s under rain; one Manning n and no\n"
                "retention (as the MANNING_N card gives them), or the n of a map\n",
                rows, cols, steps);
    const double alone = core_probe::alone_seconds();
    for (int scheme = 1; scheme <= 4; ++scheme) {
        if (only != 0 && scheme != only) continue;
        const rate one = run(rows, cols, steps, 1, scheme);
        const double before = core_probe::median_slowdown(all, alone, 25);
        const rate many = run(rows, cols, steps, all, scheme);
        const double after = core_probe::median_slowdown(all, alone, 25);
        std::printf("  %-10s 1 thread : %.3e cell-updates/s   %d threads: %.3e (%.1f x one thread)\n",
                    names[scheme], one.mean, all, many.mean, many.mean / one.mean);
        std::printf("  %-10s fastest step: %.3e                  %.3e (%.1f x)\n", "",
                    one.best, many.best, many.best / one.best);
        std::printf("  %-10s arithmetic loop on %d threads, slowest thread's time over one thread "
                    "alone (1.0: whole cores): %.2f before, %.2f after\n", "", all, before, after);
        std::printf("  %-10s allocations during the timed steps: %lld\n", "",
                    one.allocations + many.allocations);
    }
    return 0;
}
