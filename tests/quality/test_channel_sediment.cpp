// Channel sediment kernels on networks built in memory: the sand capacity
// and bed update against hand computation, the depth-table interpolation,
// the sand and wash-load balances over a network with erodible trapezoid
// and break-point links, a structure and a lake, the wash-load pulse, and
// the guards of dry nodes, empty lakes and re-sized networks.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "channel/channel_records.h"
#include "quality/channel_sediment.h"
#include "quality/channel_sediment_step.h"
#include "quality/channel_washload.h"
#include "quality/conc_lakes.h"
#include "quality/constituent_setup.h"
#include "quality/constituent_steps.h"
#include "quality/sediment_bound_step.h"
#include "run/run_state.h"

namespace {

struct run_state_deleter {
    void operator()(run_state* rs) const { destroy_run_state(rs); }
};
using run_state_ptr = std::unique_ptr<run_state, run_state_deleter>;

constexpr double kNu = 1.004e-6;   // m2/s

inline size_t ix(int i) { return static_cast<size_t>(i); }

TEST(SandCapacity, MatchesHandComputation) {
    struct row {
        double b, z, h, S, Q, d_mm, expected;
    };
    const row rows[] = {
        {5, 2, 0.8, 0.002, 5.695555, 0.5, 3.264176e-3},
        {5, 2, 0.8, 0.002, 5.695555, 0.25, 5.050255e-3},
        {10, 0, 1.5, 0.001, 20.872919, 0.5, 7.533486e-3},
        {5, 2, 0.05, 0.0005, 0.025387, 2.0, 0.0},   // below the critical velocity ratio
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.expected);
        const double A = r.z * r.h * r.h + r.b * r.h;
        const double P = 2.0 * r.h * std::sqrt(r.z * r.z + 1.0) + r.b;
        const double got = sand_capacity(A, P, r.S, r.Q, r.d_mm / 1000.0, kNu);
        EXPECT_NEAR(got, r.expected, 1e-6 * r.expected + (r.expected == 0.0 ? 0.0 : 0.0));
        if (r.expected > 0.0) {
            // Flow against the link moves the same volume upstream.
            EXPECT_NEAR(sand_capacity(A, P, r.S, -r.Q, r.d_mm / 1000.0, kNu), -r.expected,
                        1e-6 * r.expected);
        }
    }
    // No section, no perimeter, no slope, no flow: no capacity and no NaN.
    EXPECT_EQ(sand_capacity(0.0, 5.0, 0.002, 1.0, 5e-4, kNu), 0.0);
    EXPECT_EQ(sand_capacity(4.0, 0.0, 0.002, 1.0, 5e-4, kNu), 0.0);
    EXPECT_EQ(sand_capacity(4.0, 5.0, 0.0, 1.0, 5e-4, kNu), 0.0);
    EXPECT_EQ(sand_capacity(4.0, 5.0, 0.002, 0.0, 5e-4, kNu), 0.0);
}

TEST(SandBedChange, AgainstTheInitialStore) {
    // b 5 m, z 2, dx 100 m, p 0.4, e 0.5 m: initial store 150 m3.
    struct row {
        double store, z, expected;
    };
    const row rows[] = {
        {150.0, 2.0, 0.0},
        {180.0, 2.0, 0.096291},   // (sqrt(25 + 4 x 2 x 0.5) - 5) / 4
        {120.0, 2.0, -0.1},       // 30 / (100 x 0.6 x 5)
        {0.0, 2.0, -0.5},         // the whole erodible depth
        {180.0, 0.0, 0.1},        // a rectangle: 0.5 m2 over 5 m
        {-50.0, 2.0, -0.5},       // never below the erodible depth
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.store);
        EXPECT_NEAR(sand_bed_change(r.store, 5.0, r.z, 100.0, 0.4, 0.5), r.expected, 1e-6);
    }
}

// A run state whose break-point table 1 has `steps` rows of 0.5 m with areas
// `area` and perimeters `perim` (row 0 the empty section), node 1 of link 1.
run_state_ptr table_state(const std::vector<double>& area, const std::vector<double>& perim,
                          int steps) {
    run_state_ptr rs(create_run_state());
    rs->links = 1;
    rs->num_xsec_tables = 1;
    rs->table_num.assign(3, 2, 0);
    rs->table_num(1, 1) = 1;
    rs->ht_spc = {0.0, 0.5};
    rs->numhts = {0, steps};
    rs->xarea.assign(area.size() + 1, 2, 1e9);   // a row past the table reads 1e9
    rs->xp.assign(perim.size() + 1, 2, 1e9);
    for (size_t r = 0; r < area.size(); ++r) {
        rs->xarea(r, 1) = area[r];
        rs->xp(r, 1) = perim[r];
    }
    return rs;
}

TEST(BreakpointInterpolation, RowsNeverPastTheTable) {
    const run_state_ptr rs = table_state({0, 1, 3, 6}, {0, 2, 3, 4}, 3);
    struct row {
        double depth, area, perim;
    };
    const row rows[] = {
        {0.25, std::pow(0.5, 5.0 / 3.0), 2.0 * std::pow(0.5, 5.0 / 3.0)},
        {0.75, 2.0, 2.5},
        {1.5, 6.0, 4.0},                          // exactly the top: row N, not N + 1
        {std::nextafter(1.5, 0.0), 6.0, 4.0},     // just below it
        {2.0, 9.0, 5.0},                          // above: extrapolated from rows N - 1 and N
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.depth);
        double A = 0.0, P = 0.0;
        ASSERT_TRUE(interpolate_xsec_area_perimeter(*rs, 1, 1, r.depth, A, P));
        EXPECT_NEAR(A, r.area, 1e-12);
        EXPECT_NEAR(P, r.perim, 1e-12);
    }
    // A one-row table interpolates from the empty section.
    const run_state_ptr one = table_state({0, 1}, {0, 2}, 1);
    double A = 0.0, P = 0.0;
    ASSERT_TRUE(interpolate_xsec_area_perimeter(*one, 1, 1, 0.5, A, P));
    EXPECT_NEAR(A, 1.0, 1e-12);
    ASSERT_TRUE(interpolate_xsec_area_perimeter(*one, 1, 1, 0.75, A, P));
    EXPECT_NEAR(A, 1.5, 1e-12);
    EXPECT_NEAR(P, 3.0, 1e-12);
}

// ---------------------------------------------------------------------------
// Networks in memory.

struct link_def {
    int type;       // ltype bits
    int nodes;      // node count
    int down;       // downstream link, 0 at the outlet
    double dx;      // node spacing, m
};

constexpr int kTrapErode = kLtTrapezoid | kLtErodible;
constexpr int kBreakErode = kLtBreakpoint | kLtErodible;

// A network of `links` with one lake (when a lake link is given), two fine
// classes (0.01, 0.05 mm) and one sand class (1 mm), sand size 0.5 mm,
// porosity 0.4, erodible depth e, bottom width 5 m, side slope 2.
struct network {
    run_state_ptr rs{create_run_state()};
    double dt = 10.0;

    explicit network(const std::vector<link_def>& links, double e = 0.5, int lake_cells = 4) {
        run_state& r = *rs;
        const int L = static_cast<int>(links.size());
        int maxn = 1;
        for (const link_def& s : links) maxn = std::max(maxn, s.nodes);
        r.links = L;
        r.maxnodes = maxn;
        const size_t R = ix(maxn) + 2, C = ix(L) + 2;
        for (node_array* a : {&r.yp, &r.qp, &r.bel, &r.area, &r.bottom, &r.sslope, &r.max_eros,
                              &r.qp_vol_sed, &r.chan_node_depth})
            a->assign(R, C, 0.0);
        r.table_num.assign(R, C, 0);
        r.ltype.assign(C, 0);
        r.nx.assign(C, 0);
        r.dx.assign(C, 0.0);
        r.dslink.assign(C, 0);
        r.ndep.assign(C, 0);
        r.uslinks.assign(C, std::vector<int>(8, 0));
        r.lake2link.assign(C, 0);
        r.bplink.assign(C, 0);
        int lakes = 0, bps = 0;
        for (int l = 1; l <= L; ++l) {
            const link_def& s = links[ix(l - 1)];
            r.ltype[ix(l)] = s.type;
            r.nx[ix(l)] = s.nodes;
            r.dx[ix(l)] = s.dx;
            r.dslink[ix(l)] = s.down;
            if (s.down >= 1) {
                r.ndep[ix(s.down)] += 1;
                r.uslinks[ix(s.down)][ix(r.ndep[ix(s.down)])] = l;
            }
            if (s.type & kLtLake) r.lake2link[ix(l)] = ++lakes;
            if ((s.type & kLtBreakpoint) && (s.type & kLtErodible)) r.bplink[ix(l)] = ++bps;
            for (int k = 1; k <= s.nodes; ++k) {
                r.bottom(ix(k), ix(l)) = 5.0;
                r.sslope(ix(k), ix(l)) = 2.0;
                r.max_eros(ix(k), ix(l)) = e;
                r.table_num(ix(k), ix(l)) = (s.type & kLtBreakpoint) ? 1 : 0;
            }
        }
        // Break-point table 1: a 4 m wide rectangle, 8 steps of 0.25 m.
        r.num_xsec_tables = 1;
        r.num_bp_erode_links = bps;
        r.ht_spc = {0.0, 0.25};
        r.numhts = {0, 8};
        r.numpairs = {0, 2};
        r.xarea.assign(10, 2, 0.0);
        r.xp.assign(10, 2, 0.0);
        for (int s = 0; s <= 9; ++s) {
            r.xarea(ix(s), 1) = 4.0 * 0.25 * s;
            r.xp(ix(s), 1) = s == 0 ? 0.0 : 4.0 + 2.0 * 0.25 * s;
        }
        r.xbp_lnn.assign(ix(bps) + 1, std::vector<std::vector<double>>(R, {0.0, 0.0, 4.0}));
        r.ch_sand_vol0.assign(ix(bps) + 1, std::vector<double>(R, 0.0));
        // Lakes: 1000 m3, 400 m2, its cells 1..lake_cells of 6.
        r.channel_lakes = lakes > 0 ? 1 : 0;
        r.num_channel_lakes = lakes;
        r.lake_volume.assign(ix(lakes) + 1, 1000.0);
        r.lake_area.assign(ix(lakes) + 1, 400.0);
        r.lake_elev.assign(ix(lakes) + 1, 90.0);
        r.GNUM = 6;
        r.lake_mask.assign(7, 0);
        for (int c = 1; c <= lake_cells && lakes > 0; ++c) r.lake_mask[ix(c)] = 1;

        ov_sed_record& s = r.ov_sed;
        s.on = 1;
        s.classes = 3;
        s.sand_size = 0.5;
        s.sed_porosity = 0.4;
        s.water_kin_viscosity = kNu;
        s.part_diam = {0.0, 0.01, 0.05, 1.0};
        s.sand = {0, 0, 0, 1};
        s.sed_class = {0, 1, 2, 3};
        s.n_fine_classes = 2;
        s.n_sand_classes = 1;
        s.particle_density = {0.0, 2.65e6, 2.65e6, 2.65e6};
        s.fall_velocity = {0.0, 1e-4, 2e-3, 0.1};
        s.deposited.assign(7 * 4, 0.0);
        s.suspended.assign(7 * 4, 0.0);
        r.channel_sediment = 1;
        r.soil_erosion = 1;
    }

    // Steady flow Q (m3/s) at depth h (m) on every channel node, beds falling
    // `slope` along the network; face volumes Q dt on every node with a flow.
    void steady(double Q, double h, double slope) {
        run_state& r = *rs;
        double z = 100.0;
        for (int l = 1; l <= r.links; ++l) {
            const int type = r.ltype[ix(l)];
            for (int k = 1; k <= r.nx[ix(l)]; ++k) {
                z -= slope * r.dx[ix(l)];
                r.bel(ix(k), ix(l)) = z;
                r.yp(ix(k), ix(l)) = z + h;
                r.chan_node_depth(ix(k), ix(l)) = h;
                double A = 5.0 * h + 2.0 * h * h;
                if (type & kLtBreakpoint) A = 4.0 * h;
                r.area(ix(k), ix(l)) = (type & (kLtLake | kLtStructure)) ? 0.0 : A;
                r.qp(ix(k), ix(l)) = Q;
            }
        }
        for (size_t i = 1; i < r.lake_elev.size(); ++i) r.lake_elev[i] = z - 1.0;
    }

    void faces() {
        run_state& r = *rs;
        for (int l = 1; l <= r.links; ++l)
            for (int k = 1; k <= r.nx[ix(l)]; ++k) r.qp_vol_sed(ix(k), ix(l)) = r.qp(ix(k), ix(l)) * dt;
    }

    chan_sed_record& cs() { return rs->chan_sed; }
    double* sand(int k, int l) { return rs->ch_sand_vol[ix(k)][ix(l)].data(); }
    double* wash(int k, int l) { return cs().row(cs().wash_vol, k, l); }
    double* lat(int k, int l) { return cs().row(cs().qlat_sed, k, l); }
    // Puts v (m3) of fine class m into the wash store of node (k, l).
    void put_wash(int k, int l, int m, double v) {
        wash(k, l)[m] += v;
        wash(k, l)[0] += v;
    }

    double lake_deposits() const {
        double s = 0.0;
        const chan_sed_record& c = rs->chan_sed;
        for (int L = 1; L <= c.lakes; ++L) s += c.lake_depo[ix(L) * c.stride];
        return s;
    }
    double lake_suspended() const {
        double s = 0.0;
        const chan_sed_record& c = rs->chan_sed;
        for (int L = 1; L <= c.lakes; ++L) s += c.ss_vol[ix(L) * c.stride];
        return s;
    }
    double settled_on_cells() const {
        double s = 0.0;
        for (double v : rs->ov_sed.deposited) s += v;
        return s;
    }
    double min_store() {
        double m = 0.0;
        for (double v : cs().wash_vol) m = std::min(m, v);
        for (auto& row : rs->ch_sand_vol)
            for (auto& cell : row)
                for (double v : cell) m = std::min(m, v);
        for (double v : cs().ss_vol) m = std::min(m, v);
        return m;
    }
};

// Links: 1 erodible trapezoid -> 2 structure -> 3 erodible break-point -> 5
// lake; 4 erodible trapezoid -> 5 lake; 5 -> 6 erodible trapezoid, the outlet.
std::vector<link_def> mixed_network() {
    return {{kTrapErode, 3, 2, 50.0},   {kLtStructure, 1, 3, 10.0}, {kBreakErode, 3, 5, 40.0},
            {kTrapErode, 2, 5, 50.0},   {kLtLake, 1, 6, 10.0},      {kTrapErode, 3, 0, 50.0}};
}

TEST(ChannelSand, InitialStoresOfTrapezoidAndBreakpointNodes) {
    network n(mixed_network());
    alloc_channel_sediment_arrays(*n.rs);
    ASSERT_EQ(n.cs().on, 1);
    // Trapezoid: (1 - p) e b dx; break-point rectangle 4 m: (1 - p) x 4 m x e x dx.
    EXPECT_NEAR(n.sand(2, 1)[0], 0.6 * 0.5 * 5.0 * 50.0, 1e-12);
    EXPECT_NEAR(n.sand(2, 1)[2], n.sand(2, 1)[0], 1e-12);   // all of it bed material
    EXPECT_NEAR(n.sand(2, 3)[0], 0.6 * 4.0 * 0.5 * 40.0, 1e-9);
    EXPECT_NEAR(n.rs->ch_sand_vol0[1][2], n.sand(2, 3)[0], 1e-12);
    EXPECT_EQ(n.sand(1, 2)[0], 0.0);   // structures and lakes hold none
    EXPECT_NEAR(n.cs().sand_init_total, 0.6 * 0.5 * 5.0 * 50.0 * 8 + 0.6 * 4.0 * 0.5 * 40.0 * 3,
                1e-9);
}

// Sand: initial + lateral = stores + outlet + lake deposits, over many
// steps of steady flow with lateral sand at every node; no store negative.
TEST(ChannelSand, BalanceOverANetworkWithStructureAndLake) {
    network n(mixed_network());
    n.steady(5.7, 0.8, 0.002);
    alloc_channel_sediment_arrays(*n.rs);
    const double initial = channel_sand_total(*n.rs);
    double lateral = 0.0, outlet = 0.0;
    for (int step = 0; step < 200; ++step) {
        for (int l : {1, 3, 4, 6})
            for (int k = 1; k <= n.rs->nx[ix(l)]; ++k) {
                n.lat(k, l)[3] = 1e-3 * k;
                lateral += 1e-3 * k;
            }
        transport_channel_sediment(*n.rs, n.dt);
        outlet += n.cs().outlet_sand_rate[0] * n.dt;
        std::fill(n.cs().qlat_sed.begin(), n.cs().qlat_sed.end(), 0.0);
        ASSERT_GE(n.min_store(), 0.0);
    }
    EXPECT_GT(outlet, 0.0);
    EXPECT_GT(n.lake_deposits(), 0.0);
    const double in = initial + lateral;
    const double out = channel_sand_total(*n.rs) + outlet + n.lake_deposits();
    EXPECT_NEAR(out, in, 1e-9 * in);
    EXPECT_EQ(n.sand(1, 2)[0], 0.0) << "sand stayed in the structure";
    EXPECT_EQ(n.rs->nx[6], 3);
}

// Sand reaching the structure is on node 1 of the link below in the same
// step; a capacity above the store empties the classes in order.
TEST(ChannelSand, StructurePassAndEmptyingInClassOrder) {
    network n(mixed_network(), 0.0);   // no bed material: the stores are what is put in
    n.steady(5.7, 0.8, 0.002);
    alloc_channel_sediment_arrays(*n.rs);
    n.sand(3, 1)[1] = 1e-3;   // sand class 1
    n.sand(3, 1)[2] = 2e-3;   // bed material
    const double before = n.sand(1, 3)[1] + n.sand(1, 3)[2];
    transport_channel_sediment(*n.rs, n.dt);
    const double cap = n.cs().capacity[n.cs().flat(3, 1)] * n.dt;
    ASSERT_GT(cap, 3e-3) << "the fixture needs a capacity above the store";
    EXPECT_EQ(n.sand(3, 1)[1], 0.0);
    EXPECT_EQ(n.sand(3, 1)[2], 0.0);
    // Node 1 of link 3 got the whole store (and gave its own capacity on).
    const double* q = n.cs().row(n.cs().qsmax, 3, 1) + n.cs().nf;
    EXPECT_NEAR(q[1] * n.dt, 1e-3, 1e-15);
    EXPECT_NEAR(q[2] * n.dt, 2e-3, 1e-15);
    const double* q3 = n.cs().row(n.cs().qsmax, 1, 3) + n.cs().nf;
    EXPECT_NEAR(n.sand(1, 3)[1] + n.sand(1, 3)[2], before + 3e-3 - (q3[1] + q3[2]) * n.dt, 1e-15);
}

// A structure at the foot of the network keeps its node count, and the sand
// reaching it leaves the network with the water.
TEST(ChannelSand, StructureAtTheOutletKeepsItsNodesAndPassesSandOut) {
    network n({{kTrapErode, 3, 2, 50.0}, {kLtStructure, 2, 0, 10.0}});
    n.steady(5.7, 0.8, 0.002);
    alloc_channel_sediment_arrays(*n.rs);
    const double initial = channel_sand_total(*n.rs);
    double outlet = 0.0;
    for (int step = 0; step < 20; ++step) {
        transport_channel_sediment(*n.rs, n.dt);
        outlet += n.cs().outlet_sand_rate[0] * n.dt;
    }
    EXPECT_EQ(n.rs->nx[2], 2);
    EXPECT_GT(outlet, 0.0);
    EXPECT_NEAR(channel_sand_total(*n.rs) + outlet, initial, 1e-9 * initial);
}

// Lateral sand reaching a dry node stays in its store and moves once the node is wet.
TEST(ChannelSand, DryNodeKeepsItsLateralSand) {
    network n({{kTrapErode, 3, 0, 50.0}}, 0.0);
    n.steady(5.7, 0.8, 0.002);
    alloc_channel_sediment_arrays(*n.rs);
    n.rs->yp(2, 1) = n.rs->bel(2, 1);   // node 2 dry
    n.lat(2, 1)[3] = 0.01;
    transport_channel_sediment(*n.rs, n.dt);
    EXPECT_NEAR(n.sand(2, 1)[0], 0.01, 1e-15);
    EXPECT_EQ(n.cs().capacity[n.cs().flat(2, 1)], 0.0);
    std::fill(n.cs().qlat_sed.begin(), n.cs().qlat_sed.end(), 0.0);
    n.rs->yp(2, 1) = n.rs->bel(2, 1) + 0.8;
    transport_channel_sediment(*n.rs, n.dt);
    EXPECT_LT(n.sand(2, 1)[0], 0.01);
}

// A run after a larger network has its arrays sized from its own network.
TEST(ChannelSand, ArraysFollowTheRunsNetwork) {
    network small({{kTrapErode, 2, 0, 50.0}});
    small.steady(5.7, 0.8, 0.002);
    alloc_channel_sediment_arrays(*small.rs);
    const size_t small_rows = small.cs().advect_flux.size();
    network big({{kTrapErode, 12, 2, 50.0}, {kTrapErode, 12, 3, 50.0}, {kTrapErode, 12, 0, 50.0}});
    big.steady(5.7, 0.8, 0.002);
    big.faces();
    alloc_channel_sediment_arrays(*big.rs);
    EXPECT_GT(big.cs().advect_flux.size(), small_rows);
    big.put_wash(12, 3, 1, 1.0);
    transport_channel_sediment(*big.rs, big.dt);
    channel_advection_step(*big.rs, big.dt);
    EXPECT_GT(big.cs().outlet_wash_rate[0], 0.0);
}

// ---------------------------------------------------------------------------
// Wash load.

double total_wash(network& n) { return channel_wash_total(*n.rs); }

// Along a link in steady flow the pulse's centroid moves at Q / A.
TEST(ChannelWash, PulseCentroidMovesAtTheFlowVelocity) {
    network n({{kTrapErode, 60, 0, 10.0}}, 0.0);
    const double h = 0.8, A = 5.0 * h + 2.0 * h * h;   // m, m2
    const double Q = 0.5 * A * 10.0 / n.dt;            // Courant number 0.5
    n.steady(Q, h, 0.0);
    n.faces();
    alloc_channel_sediment_arrays(*n.rs);
    n.put_wash(8, 1, 1, 1.0);
    auto centroid = [&]() {
        double m = 0.0, mx = 0.0;
        for (int k = 1; k <= 60; ++k) {
            m += n.wash(k, 1)[1];
            mx += n.wash(k, 1)[1] * 10.0 * k;
        }
        return mx / m;
    };
    const double x0 = centroid();
    const int steps = 40;
    double out = 0.0;
    for (int s = 0; s < steps; ++s) {
        channel_advection_step(*n.rs, n.dt);
        out += n.cs().outlet_wash_rate[0] * n.dt;
        ASSERT_GE(n.min_store(), 0.0);
    }
    EXPECT_NEAR(centroid() - x0, Q / A * n.dt * steps, 0.01 * 10.0);
    EXPECT_NEAR(total_wash(n) + out, 1.0, 1e-12);
    EXPECT_LT(out, 1e-9);
}

// Through a junction and a structure the wash load passes whole to the outlet.
TEST(ChannelWash, JunctionAndStructurePassMassWhole) {
    network n({{kTrapErode, 4, 2, 20.0},
               {kLtStructure, 1, 4, 10.0},
               {kTrapErode, 4, 4, 20.0},
               {kTrapErode, 6, 0, 20.0}},
              0.0);
    n.steady(8.0, 0.8, 0.001);
    n.faces();
    alloc_channel_sediment_arrays(*n.rs);
    n.put_wash(2, 1, 1, 0.7);
    n.put_wash(3, 3, 2, 0.3);
    double out = 0.0;
    for (int s = 0; s < 400; ++s) {
        channel_advection_step(*n.rs, n.dt);
        out += n.cs().outlet_wash_rate[0] * n.dt;
        ASSERT_GE(n.min_store(), 0.0);
    }
    EXPECT_NEAR(out + total_wash(n), 1.0, 1e-9);
    EXPECT_GT(out, 0.99);
}

// Through a lake: what entered = what left + settled + still suspended, and
// the settled volume lies on the lake's cells.
TEST(ChannelWash, LakeBooksInflowOutflowAndSettling) {
    network n({{kTrapErode, 4, 2, 20.0}, {kLtLake, 1, 3, 10.0}, {kTrapErode, 4, 0, 20.0}}, 0.0);
    n.steady(2.0, 0.6, 0.001);
    n.faces();
    alloc_channel_sediment_arrays(*n.rs);
    n.put_wash(2, 1, 1, 0.5);
    n.put_wash(2, 1, 2, 0.5);
    double out = 0.0;
    for (int s = 0; s < 300; ++s) {
        channel_advection_step(*n.rs, n.dt);
        out += n.cs().outlet_wash_rate[0] * n.dt;
        ASSERT_GE(n.min_store(), 0.0);
    }
    const chan_sed_record& c = n.cs();
    const size_t r = c.stride;   // lake 1
    const double in = c.ss_chan_to_lake_run[r];
    EXPECT_GT(in, 0.5);
    EXPECT_GT(c.ss_lake_to_chan_run[r], 0.0);
    EXPECT_NEAR(in, c.ss_lake_to_chan_run[r] + c.ss_settled_run[r] + c.ss_vol[r], 1e-12);
    EXPECT_NEAR(c.ss_settled_run[r], n.settled_on_cells(), 1e-12);
    EXPECT_NEAR(total_wash(n) + n.lake_suspended() + n.settled_on_cells() + out, 1.0, 1e-9);
}

// A lake settles at most what it holds; one without cells in the lake map
// keeps its sediment; an empty lake has concentration 0.
TEST(ChannelWash, LakeSettlingGuards) {
    struct row {
        const char* what;
        double fall;        // settling velocity of fine class 1, m/s
        int cells;          // lake cells in the map
        double volume;      // lake water, m3
        double settled;     // expected settled of the 1 m3 held
        double left;        // expected still suspended
    };
    const row rows[] = {
        {"fast settling takes all, never more", 10.0, 4, 1000.0, 1.0, 0.0},
        {"no cells: nothing settles", 1e-3, 0, 1000.0, 0.0, 1.0},
        {"empty lake: concentration 0, nothing settles", 1e-3, 4, 0.0, 0.0, 1.0},
        {"slow settling: v dt A C", 1e-5, 4, 1000.0, 1e-5 * 10.0 * 400.0 / 1000.0,
         1.0 - 1e-5 * 10.0 * 400.0 / 1000.0},
    };
    for (const row& t : rows) {
        SCOPED_TRACE(t.what);
        network n({{kTrapErode, 2, 2, 20.0}, {kLtLake, 1, 3, 10.0}, {kTrapErode, 2, 0, 20.0}},
                  0.0, t.cells);
        n.steady(0.0, 0.6, 0.0);
        n.rs->lake_volume[1] = t.volume;
        n.rs->ov_sed.fall_velocity[1] = t.fall;
        alloc_channel_sediment_arrays(*n.rs);
        n.cs().ss_vol[n.cs().stride + 1] = 1.0;
        n.cs().ss_vol[n.cs().stride] = 1.0;
        channel_advection_step(*n.rs, n.dt);
        EXPECT_NEAR(n.cs().ss_settled_run[n.cs().stride + 1], t.settled, 1e-12);
        EXPECT_NEAR(n.cs().ss_vol[n.cs().stride + 1], t.left, 1e-12);
        EXPECT_TRUE(std::isfinite(n.cs().ss_conc[n.cs().stride]));
        if (t.volume == 0.0) {
            EXPECT_EQ(n.cs().ss_conc_vol[n.cs().stride + 1], 0.0);
        }
    }
}

// A dry node keeps the wash load it holds and what reaches it; the load moves
// on once the node holds water.
TEST(ChannelWash, DryNodeKeepsItsStore) {
    network n({{kTrapErode, 3, 0, 20.0}}, 0.0);
    n.steady(2.0, 0.6, 0.001);
    n.faces();
    alloc_channel_sediment_arrays(*n.rs);
    n.rs->area(2, 1) = 0.0;   // node 2 dry
    n.put_wash(2, 1, 1, 0.2);
    n.lat(2, 1)[1] = 0.1;
    channel_advection_step(*n.rs, n.dt);
    EXPECT_NEAR(n.wash(2, 1)[1], 0.3, 1e-15);
    EXPECT_EQ(n.cs().conc_vol[n.cs().flat(2, 1) * n.cs().stride + 1], 0.0);
    std::fill(n.cs().qlat_sed.begin(), n.cs().qlat_sed.end(), 0.0);
    n.rs->area(2, 1) = n.rs->area(1, 1);
    n.faces();
    channel_advection_step(*n.rs, n.dt);
    EXPECT_LT(n.wash(2, 1)[1], 0.3);
}

// Two reverse-flow draws from one node 1 take no more than it holds: the
// first upstream link is served first, the outlet never takes water back.
TEST(ChannelWash, ReverseDrawsAreLimitedByTheStore) {
    network n({{kTrapErode, 2, 3, 20.0}, {kTrapErode, 2, 3, 20.0}, {kTrapErode, 2, 0, 20.0}}, 0.0);
    n.steady(-50.0, 0.6, 0.0);   // everything flows back, far beyond one node's water
    n.faces();
    alloc_channel_sediment_arrays(*n.rs);
    n.put_wash(1, 3, 1, 0.4);
    const double before = total_wash(n);
    channel_advection_step(*n.rs, n.dt);
    EXPECT_GE(n.min_store(), 0.0);
    EXPECT_EQ(n.cs().outlet_wash_rate[0], 0.0);
    EXPECT_NEAR(total_wash(n), before, 1e-15);
    const double first = n.wash(1, 1)[1] + n.wash(2, 1)[1];
    const double second = n.wash(1, 2)[1] + n.wash(2, 2)[1];
    EXPECT_GT(first, 0.0) << "the first upstream link is served first";
    EXPECT_EQ(second, 0.0);
}

// ---------------------------------------------------------------------------
// Mass sorbed on the wash load.

// One contaminant with partition coefficient `kd` (l/kg) sorbing on both
// fine classes of network n, with the channel constituent stores sized.
void carry_sorbed(network& n, double kd) {
    run_state& r = *n.rs;
    r.overland_constituents = 1;
    r.sediment_contam = 1;
    r.chan_con_trans = 1;
    r.chan_explic = 1;
    alloc_constituent_arrays(r, 1);
    r.water_soil_partition_coef.grow(1);
    r.water_soil_partition_coef[1] = kd;
    ensure_channel_constituent_stores(r);
    init_sediment_bound_state(r);
    r.time_tolerance = 1e-9;
}

// Channel step s (dt s) and the sorbed-mass step after it over `elapsed` s.
void sorbed_step(network& n, int s, double elapsed) {
    run_state& r = *n.rs;
    channel_advection_step(r, n.dt);
    gather_wash_faces(r);
    r.time = (s + 1) * n.dt / 86400.0;
    r.con_chan_last = r.time - elapsed / 86400.0;
    r.con_chan_next = r.time;
    step_channel_sediment_constituents(r);
}

size_t node_slot(const network& n, int k, int l) {
    return ix(n.rs->con_chan.stride * l + k);
}

// Constituent on the wash load, in the node water and gone out, g.
double sorbed_books(network& n) {
    run_state& r = *n.rs;
    double water = 0.0;
    for (int l = 1; l <= r.links; ++l)
        if (con_transport_link(r.ltype[ix(l)]))
            for (int k = 1; k <= r.nx[ix(l)]; ++k) water += r.con_chan.mass[1][node_slot(n, k, l)];
    return sorbed_channel_mass(r, 1) + water + r.con_tot.sed_out[1] * 1000.0;
}

// Mass put on the wash load rides it through a junction and a structure to
// the outlet (also when a structure is the outlet link): what is held + what
// left stays the 10 g put in (1e-9), no node holds a negative mass, and
// every wet node with wash load holds the linear isotherm (sorbed g per g of
// class sediment over the dissolved concentration = Kd x 1e-6 m3/g, 1e-12
// relative).
TEST(ChannelSorbed, MassRidesTheWashLoadThroughJunctionAndStructure) {
    struct sorbed_case {
        const char* name;
        std::vector<link_def> links;
        int k1, l1, k2, l2;   // nodes given the two loads
    };
    const sorbed_case cases[] = {
        {"junction and structure",
         {{kTrapErode, 4, 2, 20.0}, {kLtStructure, 1, 4, 10.0}, {kTrapErode, 4, 4, 20.0},
          {kTrapErode, 6, 0, 20.0}},
         2, 1, 3, 3},
        {"structure at the outlet", {{kTrapErode, 5, 2, 20.0}, {kLtStructure, 1, 0, 10.0}}, 1, 1, 3, 1},
    };
    for (const sorbed_case& c : cases) {
        SCOPED_TRACE(c.name);
        network n(c.links, 0.0);
        n.steady(8.0, 0.8, 0.001);
        n.faces();
        alloc_channel_sediment_arrays(*n.rs);
        const double kd = 1e6;
        carry_sorbed(n, kd);
        run_state& r = *n.rs;
        sed_bound_record& sb = r.sed_bound;
        n.put_wash(c.k1, c.l1, 1, 0.7);
        n.put_wash(c.k2, c.l2, 2, 0.3);
        sb.attached[1][node_slot(n, c.k1, c.l1)] += 7.0;
        sb.attached[1][node_slot(n, c.k2, c.l2)] += 3.0;
        int checked = 0;
        for (int s = 0; s < 400; ++s) {
            sorbed_step(n, s, n.dt);
            ASSERT_NEAR(sorbed_books(n), 10.0, 1e-9 * 10.0) << "step " << s;
            for (int l = 1; l <= r.links; ++l) {
                if (!con_transport_link(r.ltype[ix(l)])) continue;
                for (int k = 1; k <= r.nx[ix(l)]; ++k) {
                    const size_t f = node_slot(n, k, l);
                    ASSERT_GE(sb.attached[1][f], 0.0);
                    const double V = r.area(ix(k), ix(l)) * r.dx[ix(l)];
                    const double dissolved = r.con_chan.mass[1][f] / V;   // g/m3
                    for (int m = 1; m <= 2; ++m) {
                        if (!(n.wash(k, l)[m] > 1e-9) || !(dissolved > 0.0)) continue;
                        const double sk = sb.node_conc[1][f * 4 + ix(m)];   // g per m3 of sediment
                        EXPECT_NEAR(sk / 2.65e6 / dissolved, kd * 1e-6, 1e-12 * kd * 1e-6);
                        ++checked;
                    }
                }
            }
        }
        EXPECT_GT(checked, 100);
        EXPECT_GT(r.con_tot.sed_out[1] * 1000.0, 9.0) << "the mass left on the sediment";
    }
}

// Constituent of lake 1 in its water and settled, g (sorbed_channel_mass
// holds what its suspended sediment carries).
double lake_books(network& n) {
    run_state& r = *n.rs;
    return r.con_lake.mass[1][1] + r.con_tot.sed_lake_settled[1] * 1000.0;
}

// Mass on the wash load of link 1 rides into a lake (link 2), is split
// between the lake water and the lake's suspended sediment, settles with
// the sediment the lake settles and leaves on the lake's outflow wash load
// into link 3 and the outlet: nodes + lake (water, suspended, settled) +
// out stays the 10 g put in (1e-9) at every step, no store goes negative,
// and the lake holds the linear isotherm on each class it carries (1e-12).
// Nodes the lake took since the last routing hand it their mass.
TEST(ChannelSorbed, LakeTakesSplitsSettlesAndPassesOn) {
    network n({{kTrapErode, 4, 2, 20.0}, {kLtLake, 1, 3, 10.0}, {kTrapErode, 4, 0, 20.0}}, 0.0);
    n.steady(2.0, 0.6, 0.001);
    n.faces();
    alloc_channel_sediment_arrays(*n.rs);
    const double kd = 1e5;
    carry_sorbed(n, kd);
    run_state& r = *n.rs;
    init_lake_constituents(r);
    ASSERT_EQ(r.con_lake.lakes, 1);
    sed_bound_record& sb = r.sed_bound;
    ASSERT_EQ(sb.lakes, 1);
    n.put_wash(2, 1, 1, 0.6);
    n.put_wash(2, 1, 2, 0.4);
    sb.attached[1][node_slot(n, 2, 1)] = 10.0;
    int checked = 0;
    for (int s = 0; s < 300; ++s) {
        sorbed_step(n, s, n.dt);
        ASSERT_NEAR(sorbed_books(n) + lake_books(n), 10.0, 1e-9 * 10.0)
            << "step " << s;
        ASSERT_GE(sb.lake_attached[1][1], 0.0);
        ASSERT_GE(r.con_lake.mass[1][1], 0.0);
        const double W = r.lake_volume[1];
        const double dissolved = r.con_lake.mass[1][1] / W;   // g/m3
        const chan_sed_record& c = n.cs();
        for (int m = 1; m <= 2; ++m) {
            if (!(c.ss_conc[c.stride + ix(m)] > 1e-9) || !(dissolved > 0.0)) continue;
            const double sk = sb.lake_conc[1][4 + ix(m)];   // g per m3 of class sediment
            EXPECT_NEAR(sk / 2.65e6 / dissolved, kd * 1e-6, 1e-12 * kd * 1e-6);
            ++checked;
        }
    }
    EXPECT_GT(checked, 100);
    EXPECT_GT(r.con_tot.sed_lake_settled[1], 0.0) << "sorbed mass settled in the lake";
    EXPECT_GT(r.con_tot.sed_out[1] * 1000.0, 0.1) << "sorbed mass left the lake for the outlet";
    EXPECT_GT(sb.lake_attached[1][1], 0.0);
    EXPECT_GT(r.con_lake.mass[1][1], 0.0);

    // Link 1 loses its last node to the lake: its sorbed mass goes into the
    // lake (its water follows with the routing, counted here beside).
    const double before = sorbed_books(n) + lake_books(n);
    const size_t f4 = node_slot(n, 4, 1);
    sb.attached[1][f4] += 2.0;
    sb.qlat_attached[1][f4] += 1.0;
    r.con_chan.nx_seen.assign(r.nx.begin(), r.nx.end());
    r.nx[1] = 3;
    r.taken_by_lake.assign(r.yp.rows(), r.yp.cols(), 0);
    r.taken_by_lake(4, 1) = 1;
    const double lake_before = sb.lake_attached[1][1] + r.con_lake.mass[1][1];
    sorbed_step(n, 300, n.dt);
    EXPECT_EQ(sb.attached[1][f4], 0.0);
    EXPECT_EQ(sb.qlat_attached[1][f4], 0.0);
    EXPECT_NEAR(sorbed_books(n) + lake_books(n) + r.con_chan.mass[1][f4], before + 3.0, 1e-9 * 10.0);
    EXPECT_GT(sb.lake_attached[1][1] + r.con_lake.mass[1][1], lake_before + 2.9);
}

// A dry node keeps its sorbed mass and what arrives from the grid; no time
// elapsed gives a flux rate of 0, not a division by 0; both keep the books.
TEST(ChannelSorbed, DryNodeAndZeroElapsedTime) {
    network n({{kTrapErode, 3, 0, 20.0}}, 0.0);
    n.steady(2.0, 0.6, 0.001);
    n.faces();
    alloc_channel_sediment_arrays(*n.rs);
    carry_sorbed(n, 100.0);
    run_state& r = *n.rs;
    sed_bound_record& sb = r.sed_bound;
    r.area(2, 1) = 0.0;   // node 2 dry
    n.put_wash(1, 1, 1, 0.2);
    sb.attached[1][node_slot(n, 1, 1)] = 4.0;
    sb.attached[1][node_slot(n, 2, 1)] = 5.0;
    sb.qlat_attached[1][node_slot(n, 2, 1)] = 1.0;
    sorbed_step(n, 0, 0.0);
    EXPECT_NEAR(sorbed_books(n), 10.0, 1e-12);
    for (int k = 1; k <= 3; ++k) {
        const double rate = sb.flux_rate[1][node_slot(n, k, 1)];
        EXPECT_EQ(rate, 0.0);
    }
    EXPECT_GE(sb.attached[1][node_slot(n, 2, 1)], 6.0);
    sorbed_step(n, 1, n.dt);
    EXPECT_NEAR(sorbed_books(n), 10.0, 1e-12);
    EXPECT_GT(sb.flux_rate[1][node_slot(n, 1, 1)], 0.0);
}

}  // namespace
