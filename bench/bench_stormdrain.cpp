// Benchmark of the storm-drain solver: a binary tree of 1000 junctions
// (999 free junctions, one outfall), each superlink ten 20-m circular pipes
// (D 0.6 m, n 0.013) falling 1 m, every leaf fed 5 l/s. Reports the wall
// time per solve (one coupling interval of 10 s) with one thread and with
// all threads, after an hour of filling.
//
// Usage: bench_stormdrain [junctions calls]
#include <omp.h>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include "core/alloc.h"
#include "core/parallel.h"
#include "run/run_state.h"
#include "stormdrain/pipe_section.h"
#include "stormdrain/sd_input.h"
#include "stormdrain/superlink_solver.h"

namespace {

constexpr double kInterval = 10.0;   // s
constexpr int kPipes = 10;

int level(int j) { return static_cast<int>(std::floor(std::log2(static_cast<double>(j)))); }

run_state* make_tree(int junctions) {
    run_state* rs = create_run_state();
    rs->rows = rs->cols = rs->mask_rows = rs->mask_cols = 1;
    rs->cell_size = 10.0;
    rs->GNUM = 1;
    alloc_int_2d(rs->mask, 2, 2, "mask");
    rs->mask[1][1] = 1;
    rs->ov_depth.assign(2, 0.0);
    rs->superlink = 1;
    rs->leaky_pipes = 1;   // the leaves are fed through their pipes' tile inflow
    const int free_junctions = junctions - 1;
    rs->n_sjunc = junctions;
    rs->sd_junctions.assign(static_cast<size_t>(junctions) + 1, sd_junction());
    for (int j = 1; j <= free_junctions; ++j) {
        sd_junction& s = rs->sd_junctions[static_cast<size_t>(j)];
        s.bottom = 90.0 + level(j);
        s.ground = s.bottom + 3.0;
        s.storage_area = 1.0;
    }
    sd_junction& out = rs->sd_junctions[static_cast<size_t>(junctions)];
    out.bottom = 88.0;
    out.ground = 91.0;
    out.inlet = 999;
    out.fixed_head = 1;
    rs->n_slink = free_junctions;
    rs->sd_links.assign(static_cast<size_t>(free_junctions) + 1, sd_link());
    for (int j = 1; j <= free_junctions; ++j) {
        sd_link& s = rs->sd_links[static_cast<size_t>(j)];
        s.us = j;
        s.ds = j == 1 ? junctions : j / 2;
        s.pipes_read = kPipes;
        s.read_nodes.assign(kPipes + 2, sd_node());
        s.read_pipes.assign(kPipes + 1, sd_pipe());
        const double top = rs->sd_junctions[static_cast<size_t>(j)].bottom;
        for (int k = 1; k <= kPipes + 1; ++k) {
            s.read_nodes[static_cast<size_t>(k)].invert = top - 0.1 * (k - 1);
            s.read_nodes[static_cast<size_t>(k)].ground = top + 3.0;
        }
        for (int k = 1; k <= kPipes; ++k) {
            sd_pipe& p = s.read_pipes[static_cast<size_t>(k)];
            p.type = kSectionCircle;
            p.size = 0.6;
            p.slope = 0.005;
            p.roughness = 0.013;
            p.length = 20.0;
        }
    }
    build_computational_pipes(*rs, false);
    rs->vol_drains_init = init_superlink_state(*rs);
    rs->superlink_storage = rs->vol_drains_init;
    for (int j = junctions / 2; j <= free_junctions; ++j) rs->sd_links[static_cast<size_t>(j)].pipes[1].tile_flow = 0.005;
    return rs;
}

double run(int junctions, int calls, int threads) {
    omp_set_num_threads(threads);
    run_state* rs = make_tree(junctions);
    for (int c = 0; c < 360; ++c) superlink_step(*rs, kInterval);   // an hour to fill
    auto t0 = std::chrono::steady_clock::now();
    for (int c = 0; c < calls; ++c) superlink_step(*rs, kInterval);
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::printf("  threads %2d: %8.3f ms per solve (outfall %.3f m3/s, last call's balance residual %.1e m3)\n", threads,
                1000.0 * s / calls, -rs->sd_junctions[static_cast<size_t>(junctions)].inflow,
                rs->superlink_tally.storage_after - rs->superlink_tally.storage_before -
                    (rs->superlink_tally.tile - rs->superlink_tally.delivered));
    destroy_run_state(rs);
    return s / calls;
}

}  // namespace

int main(int argc, char** argv) {
    wait_passively_by_default(argv);   // idle threads wait as in the program
    const int junctions = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int calls = argc > 2 ? std::atoi(argv[2]) : 200;
    std::printf("storm-drain tree of %d junctions, %d pipes per superlink, %d solves of %.0f s\n", junctions,
                kPipes, calls, kInterval);
    run(junctions, calls, 1);
    run(junctions, calls, omp_get_num_procs());
    return 0;
}
