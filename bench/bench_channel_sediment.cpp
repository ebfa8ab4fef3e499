// Benchmark of the channel sediment step on a network built in memory: a
// binary tree of erodible trapezoid links (depth levels, each link `nodes`
// nodes of 50 m) in steady flow, with lateral sand and wash load at every
// node each step, and one contaminant sorbed on the wash load (Kd 50 l/kg)
// with sorbed mass arriving at every node. Reports the wall time per channel
// step of the sand step, of the wash-load step and of the sediment-bound
// step, and their shares of the three.
//
// Usage: bench_channel_sediment [levels nodes steps]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "channel/channel_records.h"
#include "quality/channel_sediment.h"
#include "quality/channel_washload.h"
#include "quality/constituent_setup.h"
#include "quality/constituent_steps.h"
#include "quality/sediment_bound_step.h"
#include "run/run_state.h"

namespace {

inline size_t ix(int i) { return static_cast<size_t>(i); }

// Links numbered so that every link drains into a higher number and the
// last link is the outlet: level by level from the leaves.
run_state* make_tree(int levels, int nodes) {
    run_state* rs = create_run_state();
    run_state& r = *rs;
    const int links = (1 << levels) - 1;
    r.links = links;
    r.maxnodes = nodes;
    const size_t R = ix(nodes) + 2, C = ix(links) + 2;
    for (node_array* a : {&r.yp, &r.qp, &r.bel, &r.area, &r.bottom, &r.sslope, &r.max_eros,
                          &r.qp_vol_sed, &r.chan_node_depth})
        a->assign(R, C, 0.0);
    r.table_num.assign(R, C, 0);
    r.ltype.assign(C, kLtTrapezoid | kLtErodible);
    r.nx.assign(C, nodes);
    r.dx.assign(C, 50.0);
    r.dslink.assign(C, 0);
    r.ndep.assign(C, 0);
    r.uslinks.assign(C, std::vector<int>(3, 0));
    r.lake2link.assign(C, 0);
    r.bplink.assign(C, 0);
    // Heap order reversed: link k (1-based heap index h = links + 1 - k).
    for (int k = 1; k < links; ++k) {
        const int h = links + 1 - k;
        const int parent = links + 1 - h / 2;
        r.dslink[ix(k)] = parent;
        r.ndep[ix(parent)] += 1;
        r.uslinks[ix(parent)][ix(r.ndep[ix(parent)])] = k;
    }
    for (int l = 1; l <= links; ++l) {
        const int h = links + 1 - l;
        int depth = 0;
        for (int x = h; x > 1; x /= 2) ++depth;
        const double Q = 6.0 / (1 << depth) + 0.5;   // m3/s, more water downstream
        for (int k = 1; k <= nodes; ++k) {
            const double z = 100.0 + 0.1 * (levels - depth) * nodes - 0.1 * k;
            r.bottom(ix(k), ix(l)) = 5.0;
            r.sslope(ix(k), ix(l)) = 2.0;
            r.max_eros(ix(k), ix(l)) = 0.5;
            r.bel(ix(k), ix(l)) = z;
            r.yp(ix(k), ix(l)) = z + 0.8;
            r.area(ix(k), ix(l)) = 5.0 * 0.8 + 2.0 * 0.64;
            r.qp(ix(k), ix(l)) = Q;
        }
    }
    r.GNUM = 1;
    ov_sed_record& s = r.ov_sed;
    s.on = 1;
    s.classes = 3;
    s.sand_size = 0.5;
    s.sed_porosity = 0.4;
    s.water_kin_viscosity = 1.004e-6;
    s.part_diam = {0.0, 0.01, 0.05, 1.0};
    s.sand = {0, 0, 0, 1};
    s.sed_class = {0, 1, 2, 3};
    s.n_fine_classes = 2;
    s.n_sand_classes = 1;
    s.particle_density = {0.0, 2.65e6, 2.65e6, 2.65e6};
    s.fall_velocity = {0.0, 1e-4, 2e-3, 0.1};
    s.deposited.assign(8, 0.0);
    s.suspended.assign(8, 0.0);
    r.channel_sediment = 1;
    alloc_channel_sediment_arrays(r);
    // One contaminant carried on the wash load.
    r.overland_constituents = 1;
    r.sediment_contam = 1;
    r.chan_con_trans = 1;
    r.chan_explic = 1;
    alloc_constituent_arrays(r, 1);
    r.water_soil_partition_coef.grow(1);
    r.water_soil_partition_coef[1] = 50.0;
    ensure_channel_constituent_stores(r);
    init_sediment_bound_state(r);
    r.time_tolerance = 1e-9;
    return rs;
}

}  // namespace

int main(int argc, char** argv) {
    const int levels = argc > 1 ? std::atoi(argv[1]) : 8;
    const int nodes = argc > 2 ? std::atoi(argv[2]) : 20;
    const int steps = argc > 3 ? std::atoi(argv[3]) : 500;
    run_state* rs = make_tree(levels, nodes);
    run_state& r = *rs;
    chan_sed_record& cs = r.chan_sed;
    const double dt = 10.0;   // s
    double sand_s = 0.0, wash_s = 0.0, bound_s = 0.0;
    sed_bound_record& sb = r.sed_bound;
    for (int s = 0; s < steps; ++s) {
        for (int l = 1; l <= r.links; ++l)
            for (int k = 1; k <= nodes; ++k) {
                r.qp_vol_sed(ix(k), ix(l)) = r.qp(ix(k), ix(l)) * dt;
                double* lat = cs.row(cs.qlat_sed, k, l);
                lat[1] = 1e-4;
                lat[2] = 1e-4;
                lat[3] = 1e-4;
                sb.qlat_attached[1][static_cast<size_t>(r.con_chan.stride * l + k)] += 1e-3;
            }
        auto t0 = std::chrono::steady_clock::now();
        transport_channel_sediment(r, dt);
        auto t1 = std::chrono::steady_clock::now();
        channel_advection_step(r, dt);
        auto t2 = std::chrono::steady_clock::now();
        gather_wash_faces(r);
        r.con_chan_last = s * dt / 86400.0;
        r.time = r.con_chan_next = (s + 1) * dt / 86400.0;
        step_channel_sediment_constituents(r);
        auto t3 = std::chrono::steady_clock::now();
        sand_s += std::chrono::duration<double>(t1 - t0).count();
        wash_s += std::chrono::duration<double>(t2 - t1).count();
        bound_s += std::chrono::duration<double>(t3 - t2).count();
    }
    const double all_s = sand_s + wash_s + bound_s;
    const int links = r.links;
    std::printf("channel sediment: %d links x %d nodes, %d steps\n", links, nodes, steps);
    std::printf("  sand step:          %10.3f us per step (%5.1f %%)\n", sand_s / steps * 1e6,
                100.0 * sand_s / all_s);
    std::printf("  wash-load step:     %10.3f us per step (%5.1f %%)\n", wash_s / steps * 1e6,
                100.0 * wash_s / all_s);
    std::printf("  sediment-bound step:%10.3f us per step (%5.1f %%)\n", bound_s / steps * 1e6,
                100.0 * bound_s / all_s);
    std::printf("  sorbed mass out on sediment %.6g kg\n", r.con_tot.sed_out[1]);
    std::printf("  outlet sand %.6g m3/s, wash %.6g m3/s\n", cs.outlet_sand_rate[0],
                cs.outlet_wash_rate[0]);
    destroy_run_state(rs);
    return 0;
}
