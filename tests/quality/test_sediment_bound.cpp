// Sorbed constituents: the linear isotherm of the partition in one water
// body, the sorbed mass erosion takes from the top soil layer, and the mass
// balance of a whole overland step on a small grid (with and without a lake
// cell), on one thread and on many.
#include <gtest/gtest.h>

#include <omp.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "quality/sediment_bound.h"

namespace {

constexpr double kRho = 2.65e6;  // particle density, g/m3

struct classes_fixture {
    std::vector<double> density;
    std::vector<int> flag;
    sorbing_classes sc;
    explicit classes_fixture(const std::vector<int>& flags) {
        flag.assign(1, 0);
        flag.insert(flag.end(), flags.begin(), flags.end());
        density.assign(flag.size(), kRho);
        for (std::size_t k = 1; k < density.size(); ++k) density[k] = kRho * (1.0 + 0.1 * k);
        sc.count = static_cast<int>(flags.size());
        sc.density = density.data();
        sc.flag = flag.data();
    }
};

struct sorption_case {
    const char* name;
    double kd;                     // l/kg
    double volume;                 // m3 of water
    double mass;                   // g
    std::vector<double> sed;       // class volumes 1..n, m3
    std::vector<int> flags;        // class flags 1..n
};

// For each sorbing class the sorbed mass per gram of class sediment over the
// dissolved concentration is Kd x 1e-6 m3/g (to 1e-12 relative); flagged
// classes hold nothing; dissolved plus sorbed mass is the body's mass.
TEST(SedimentBound, PartitionFollowsLinearIsotherm) {
    const std::vector<sorption_case> cases = {
        {"one class", 50.0, 2.0, 10.0, {1e-4}, {0}},
        {"three classes, middle flagged", 200.0, 0.5, 3.0, {2e-5, 5e-4, 1e-3}, {0, 1, 0}},
        {"strong sorption, much sediment", 1e4, 1.0, 7.0, {0.01, 0.02}, {0, 0}},
        {"weak sorption, trace sediment", 0.1, 30.0, 1e-3, {1e-9, 3e-8}, {0, 0}},
        {"every class flagged", 80.0, 1.0, 5.0, {1e-3, 1e-3}, {2, 1}},
        {"kd zero", 0.0, 1.0, 5.0, {1e-3, 1e-3}, {0, 0}},
        {"a sorbing class without sediment", 60.0, 1.0, 5.0, {0.0, 1e-3}, {0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        classes_fixture cf(c.flags);
        const int n = cf.sc.count;
        std::vector<double> sed(1, 0.0), conc(n + 1), fract(n + 1), sorbed(n + 1);
        sed.insert(sed.end(), c.sed.begin(), c.sed.end());
        const partition_result r = partition_body(cf.sc, c.kd, c.volume, c.mass, sed.data(),
                                                  nullptr, conc.data(), fract.data(), sorbed.data());
        ASSERT_EQ(r.partitioned, 1);
        const double dissolved_conc = r.dissolved_fraction * c.mass / c.volume;  // g/m3
        double held = r.dissolved_fraction * c.mass;
        for (int k = 1; k <= n; ++k) {
            EXPECT_NEAR(conc[k], sed[k] * cf.density[k] / c.volume, 1e-12 * conc[k]);
            if (cf.flag[k] != 0 || c.kd == 0.0) {
                EXPECT_EQ(fract[k], 0.0) << "class " << k;
                EXPECT_EQ(sorbed[k], 0.0) << "class " << k;
            } else if (sed[k] > 0.0) {
                const double per_gram = sorbed[k] / cf.density[k];  // g per g of sediment
                EXPECT_NEAR(per_gram / dissolved_conc, c.kd * 1e-6, 1e-12 * c.kd * 1e-6)
                    << "class " << k;
            } else {
                EXPECT_EQ(sorbed[k], 0.0) << "class " << k;
            }
            held += sorbed[k] * sed[k];
        }
        EXPECT_NEAR(held, c.mass, 1e-12 * c.mass);
        EXPECT_NEAR(r.dissolved_fraction + r.sorbed_fraction, 1.0, 1e-15);
        if (c.kd == 0.0) {
            EXPECT_EQ(r.dissolved_fraction, 1.0);
        }
    }
}

// A lake takes its class concentrations from its own table; the isotherm
// holds on them the same way. A body without water keeps what it had.
TEST(SedimentBound, LakeTableAndDryBody) {
    classes_fixture cf({0, 0});
    const double table[3] = {0.0, 40.0, 250.0};  // g/m3
    double fract[3] = {-1, -1, -1}, sorbed[3] = {-1, -1, -1};
    const double kd = 300.0, volume = 1e4, mass = 50.0;
    partition_result r = partition_body(cf.sc, kd, volume, mass, nullptr, table, nullptr, fract, sorbed);
    ASSERT_EQ(r.partitioned, 1);
    const double dissolved_conc = r.dissolved_fraction * mass / volume;
    for (int k = 1; k <= 2; ++k)
        EXPECT_NEAR(sorbed[k] / cf.density[k] / dissolved_conc, kd * 1e-6, 1e-12 * kd * 1e-6);

    const double sed[3] = {0.0, 1.0, 1.0};
    for (double dry : {0.0, 1e-16, -1.0}) {
        double f[3] = {0.25, 0.5, 0.75}, s[3] = {9, 8, 7};
        r = partition_body(cf.sc, kd, dry, mass, sed, nullptr, nullptr, f, s);
        EXPECT_EQ(r.partitioned, 0) << dry;
        EXPECT_EQ(f[1], 0.5);
        EXPECT_EQ(s[2], 7.0);
    }
}

struct lake_split_case {
    const char* name;
    double kd;                   // l/kg
    double water;                // m3
    double dissolved, attached;  // g
    double table[4];             // class concentrations 1..3 in the lake water, g/m3
    std::vector<int> flags;      // class flags 1..3
};

// A lake's mass (water plus suspended sediment) is kept and split so that
// each sorbing class holds Kd x 1e-6 m3/g per gram over the dissolved
// concentration (1e-12 relative), whether the mass arrived dissolved or on
// sediment; a class without sediment in the lake, or flagged, holds none;
// an empty lake, or one without mass, keeps its masses and reports 0.
TEST(SedimentBound, LakeSplitKeepsMassAndIsotherm) {
    const std::vector<lake_split_case> cases = {
        {"mass arrived on sediment", 50.0, 2e4, 0.0, 12.0, {0, 30.0, 120.0, 0.0}, {0, 0, 0}},
        {"mass arrived dissolved", 50.0, 2e4, 12.0, 0.0, {0, 30.0, 120.0, 0.0}, {0, 0, 0}},
        {"strong sorption, flagged class", 5000.0, 500.0, 3.0, 4.0, {0, 800.0, 200.0, 50.0}, {0, 1, 0}},
        {"no sediment left in the lake", 300.0, 100.0, 1.0, 2.0, {0, 0.0, 0.0, 0.0}, {0, 0, 0}},
        {"empty lake", 300.0, 1e-16, 1.0, 2.0, {0, 30.0, 120.0, 0.0}, {0, 0, 0}},
        {"lake without mass", 300.0, 100.0, 0.0, 0.0, {0, 30.0, 120.0, 0.0}, {0, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        classes_fixture cf(c.flags);
        double dissolved = c.dissolved, attached = c.attached;
        double fract[4] = {-1, -1, -1, -1}, sorbed[4] = {-1, -1, -1, -1};
        const double released =
            split_lake(cf.sc, c.kd, c.water, c.table, dissolved, attached, fract, sorbed);
        const double total = c.dissolved + c.attached;
        EXPECT_NEAR(dissolved + attached, total, 1e-12 * total);
        EXPECT_NEAR(released, dissolved - c.dissolved, 1e-12 * (total + 1.0));
        if (!(c.water > 1e-16) || !(total > 0.0)) {
            EXPECT_EQ(dissolved, c.dissolved);
            EXPECT_EQ(attached, c.attached);
            for (int k = 0; k <= 3; ++k) EXPECT_EQ(sorbed[k], 0.0) << "class " << k;
            continue;
        }
        const double dissolved_conc = dissolved / c.water;   // g/m3
        double on_sediment = 0.0;                             // g
        for (int k = 1; k <= 3; ++k) {
            const double sediment = c.table[k] * c.water / cf.density[k];   // m3 of class sediment
            if (cf.flag[k] != 0 || c.table[k] == 0.0) {
                EXPECT_EQ(sorbed[k], 0.0) << "class " << k;
                continue;
            }
            EXPECT_NEAR(sorbed[k] / cf.density[k] / dissolved_conc, c.kd * 1e-6, 1e-12 * c.kd * 1e-6)
                << "class " << k;
            on_sediment += sorbed[k] * sediment;
        }
        EXPECT_NEAR(on_sediment, attached, 1e-12 * total);
    }
}

struct erosion_case {
    const char* name;
    double layer_mass, layer_dissolved;  // g, -
    std::vector<double> soil;            // class shares 1..n
    std::vector<int> flags;
    std::vector<double> eroded;          // m3
    std::vector<double> expect;          // g per class
};

// Layer 10 cm, cell 10 m x 10 m, porosity 0.4: solids 6 m3 x sorbing share.
TEST(SedimentBound, ErosionTakesSorbedMassOfTopLayerOnly) {
    const std::vector<erosion_case> cases = {
        // sorbed 60 g over 6 m3 of solids: J = 10 g/m3
        {"all classes sorb", 100.0, 0.4, {0.5, 0.5}, {0, 0}, {0.2, 0.1}, {2.0, 1.0}},
        // sorbing share 0.5: 3 m3 of solids, J = 20 g/m3; the flagged class takes none
        {"flagged class", 100.0, 0.4, {0.5, 0.5}, {0, 1}, {0.2, 0.1}, {4.0, 0.0}},
        // 12 m3 eroded of 6 m3: the layer's 60 g sorbed mass is split 2:1
        {"erosion beyond the layer", 100.0, 0.4, {0.5, 0.5}, {0, 0}, {8.0, 4.0}, {40.0, 20.0}},
        {"no sorbing soil", 100.0, 0.4, {0.0, 1.0}, {0, 3}, {0.2, 0.1}, {0.0, 0.0}},
        {"nothing sorbed", 100.0, 1.0, {0.5, 0.5}, {0, 0}, {0.2, 0.1}, {0.0, 0.0}},
        {"empty layer", 0.0, 0.4, {0.5, 0.5}, {0, 0}, {0.2, 0.1}, {0.0, 0.0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        classes_fixture cf(c.flags);
        std::vector<double> soil(1, 0.0), ero(1, 0.0), taken(3, -1.0);
        soil.insert(soil.end(), c.soil.begin(), c.soil.end());
        ero.insert(ero.end(), c.eroded.begin(), c.eroded.end());
        const double m = eroded_sorbed_mass(cf.sc, c.layer_mass, c.layer_dissolved, soil.data(),
                                            10.0, 100.0, 0.4, ero.data(), taken.data());
        double sum = 0.0;
        for (int k = 1; k <= 2; ++k) {
            EXPECT_NEAR(taken[k], c.expect[k - 1], 1e-12 * (1.0 + c.expect[k - 1])) << k;
            sum += c.expect[k - 1];
        }
        EXPECT_NEAR(m, sum, 1e-12 * (1.0 + sum));
        EXPECT_EQ(taken[0], m);
        EXPECT_LE(m, c.layer_mass * (1.0 - c.layer_dissolved) * (1.0 + 1e-15));
    }
}

// A 4 x 4 grid with two sorbing classes and one flagged one: erosion,
// transfers across every face in both directions, deposition and an outlet.
struct grid_fixture {
    static constexpr int kSide = 4, kCells = kSide * kSide, kN = 3;
    static constexpr std::size_t kStride = kN + 1;
    classes_fixture cf{{0, 0, 1}};
    std::vector<int> right, below, left, above, lake, lake_of;
    std::vector<double> depth, start, end, eroded, deposited, fx, fy, soil, outlet_vol;
    std::vector<double> total, water, pending, exchange, layer, layer_d, dfrac, fract, sorbed;
    std::vector<double> lake_sorbed, lake_source, work;
    sorbed_grid g;
    sorbed_stores st;

    explicit grid_fixture(bool with_lake) {
        const std::size_t cs = kCells + 1, ps = cs * kStride;
        right.assign(cs, 0); below.assign(cs, 0); left.assign(cs, 0); above.assign(cs, 0);
        lake.assign(cs, 0);
        for (int r = 0; r < kSide; ++r)
            for (int c = 0; c < kSide; ++c) {
                const int k = r * kSide + c + 1;
                if (c + 1 < kSide) right[k] = k + 1;
                if (c > 0) left[k] = k - 1;
                if (r + 1 < kSide) below[k] = k + kSide;
                if (r > 0) above[k] = k - kSide;
            }
        if (with_lake) lake[6] = 1;
        unsigned seed = 12345u;
        auto rnd = [&seed]() {
            seed = seed * 1103515245u + 12345u;
            return ((seed >> 8) & 0xffff) / 65536.0;
        };
        depth.assign(cs, 0.0);
        start.assign(ps, 0.0); end.assign(ps, 0.0); eroded.assign(ps, 0.0);
        deposited.assign(ps, 0.0); fx.assign(ps, 0.0); fy.assign(ps, 0.0); soil.assign(ps, 0.0);
        fract.assign(ps, 0.0); sorbed.assign(ps, 0.0); work.assign(2 * ps, 0.0);
        total.assign(cs, 0.0); water.assign(cs, 0.0); pending.assign(cs, 0.0);
        exchange.assign(cs, 0.0); layer.assign(cs, 0.0); layer_d.assign(cs, 0.0);
        dfrac.assign(cs, 1.0);
        lake_sorbed.assign(2 * kStride, 0.0);
        lake_source.assign(2, 0.0);
        outlet_vol.assign(kStride, 0.0);
        for (int k = 1; k <= kCells; ++k) {
            depth[k] = k == 3 ? 0.0 : 0.01 + 0.05 * rnd();  // one dry cell
            water[k] = 5.0 * rnd();
            total[k] = water[k] + 2.0 * rnd();  // water plus sorbed at the start
            layer[k] = 50.0 + 100.0 * rnd();
            layer_d[k] = 0.2 + 0.5 * rnd();
            for (int l = 1; l <= kN; ++l) {
                const std::size_t i = k * kStride + l;
                start[i] = 1e-3 * rnd();
                eroded[i] = 5e-4 * rnd();
                deposited[i] = 8e-4 * rnd();
                end[i] = 1e-3 * rnd();
                soil[i] = 1.0 / kN;
                // Large faces (some above what the cell holds) to reach the limits.
                fx[i] = right[k] ? 4e-3 * (rnd() - 0.5) : 0.0;
                fy[i] = below[k] ? 4e-3 * (rnd() - 0.5) : 0.0;
            }
        }
        for (int l = 1; l <= kN; ++l) {
            outlet_vol[l] = 2e-3 * rnd();
            lake_sorbed[kStride + l] = 500.0 * rnd();
        }
        g.cells = kCells; g.stride = kStride; g.dx = 10.0;
        g.right = right.data(); g.below = below.data(); g.left = left.data(); g.above = above.data();
        g.lake = with_lake ? lake.data() : nullptr;
        g.depth = depth.data(); g.start_volume = start.data(); g.end_volume = end.data();
        g.eroded = eroded.data(); g.deposited = deposited.data();
        g.face_x = fx.data(); g.face_y = fy.data(); g.soil_fract = soil.data();
        g.layer_depth_cm = 5.0; g.porosity = 0.4; g.outlet = kCells; g.outlet_volume = outlet_vol.data();
        st.kd = 400.0;
        st.total = total.data(); st.water = water.data(); st.pending = pending.data();
        st.soil_exchange = exchange.data(); st.layer_mass = layer.data();
        st.layer_dissolved = layer_d.data(); st.dissolved_fraction = dfrac.data();
        st.fract = fract.data(); st.sorbed = sorbed.data();
        st.lake_sorbed = lake_sorbed.data(); st.lake_source = lake_source.data();
    }

    // Constituent mass of the grid cells (lake cells are the lake's) and of
    // the top soil layer, g.
    double grid_and_soil(bool after) const {
        double m = 0.0;
        for (int k = 1; k <= kCells; ++k) {
            if (lake[k] > 0 && g.lake != nullptr) continue;
            m += layer[k] + exchange[k];
            m += after ? total[k] + water[k] + pending[k] : total[k];
        }
        return m;
    }
};

// dissolved + sorbed + soil + outlet + lake = initial, 1e-9 relative; no
// store negative; the same bytes on one thread and on eight.
TEST(SedimentBound, OverlandStepConservesMassOnAnyThreadCount) {
    for (bool with_lake : {false, true}) {
        SCOPED_TRACE(with_lake ? "with a lake cell" : "without lakes");
        std::vector<double> totals[2], pendings[2], sorbeds[2];
        for (int t = 0; t < 2; ++t) {
            grid_fixture f(with_lake);
            f.g.parallel = true;
            const double before = f.grid_and_soil(false);
            omp_set_num_threads(t == 0 ? 1 : 8);
            move_sediment_bound_mass(f.cf.sc, f.g, f.st, f.work.data());
            const double after = f.grid_and_soil(true) + f.st.out_of_grid + f.lake_source[1];
            EXPECT_NEAR(after, before, 1e-9 * before);
            EXPECT_GT(f.st.out_of_grid, 0.0);
            if (with_lake) {
                EXPECT_NE(f.lake_source[1], 0.0);
            }
            for (int k = 1; k <= grid_fixture::kCells; ++k) {
                EXPECT_GE(f.total[k], 0.0) << k;
                EXPECT_GE(f.water[k] + f.pending[k], -1e-12) << k;
                EXPECT_EQ(f.fract[k * grid_fixture::kStride + 3], 0.0) << "flagged class, cell " << k;
            }
            totals[t] = f.total;
            pendings[t] = f.pending;
            sorbeds[t] = f.sorbed;
        }
        omp_set_num_threads(omp_get_num_procs());
        EXPECT_EQ(0, std::memcmp(totals[0].data(), totals[1].data(), totals[0].size() * sizeof(double)));
        EXPECT_EQ(0, std::memcmp(pendings[0].data(), pendings[1].data(), pendings[0].size() * sizeof(double)));
        EXPECT_EQ(0, std::memcmp(sorbeds[0].data(), sorbeds[1].data(), sorbeds[0].size() * sizeof(double)));
    }
}

// Sediment crossing the face between a lake cell and a grid cell carries the
// sorbed concentration of the side it leaves: the lake's own when it comes
// out of the lake, the grid cell's (w rho M / (V (1 + S))) when it goes in.
TEST(SedimentBound, LakeFaceCarriesConcentrationOfSideLeft) {
    struct lake_face_case {
        const char* name;
        double face;     // class volume moved from the lake cell to the grid cell, m3
    };
    const lake_face_case cases[] = {{"out of the lake", 2e-4}, {"into the lake", -2e-4}};
    const double kd = 500.0, mass = 4.0, vol = 1e-3, lake_conc = 3000.0;  // l/kg, g, m3, g/m3
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        classes_fixture cf({0});
        const std::size_t st2 = 2;
        std::vector<int> right = {0, 2, 0}, left = {0, 0, 1}, none = {0, 0, 0}, lake = {0, 1, 0};
        std::vector<double> depth = {0, 1, 1}, v = {0, 0, 0, vol, 0, vol}, zero(6, 0.0);
        std::vector<double> fx = {0, 0, 0, c.face, 0, 0};
        std::vector<double> soil = {0, 0, 0, 1, 0, 1};
        std::vector<double> total = {0, 0, mass}, water = {0, 0, 0}, pending(3, 0.0);
        std::vector<double> exch(3, 0.0), layer(3, 0.0), layer_d(3, 1.0), dfrac(3, 1.0);
        std::vector<double> fract(6, 0.0), sorbed(6, 0.0), work(12, 0.0), out_vol(2, 0.0);
        std::vector<double> lake_sorbed = {0, 0, 0, lake_conc}, lake_source(2, 0.0);
        sorbed_grid g;
        g.cells = 2; g.stride = st2; g.dx = 1.0;
        g.right = right.data(); g.left = left.data(); g.below = none.data(); g.above = none.data();
        g.lake = lake.data(); g.depth = depth.data(); g.start_volume = v.data(); g.end_volume = v.data();
        g.eroded = zero.data(); g.deposited = zero.data(); g.face_x = fx.data(); g.face_y = zero.data();
        g.soil_fract = soil.data(); g.layer_depth_cm = 5.0; g.porosity = 0.4;
        g.outlet_volume = out_vol.data();
        sorbed_stores st;
        st.kd = kd; st.total = total.data(); st.water = water.data(); st.pending = pending.data();
        st.soil_exchange = exch.data(); st.layer_mass = layer.data(); st.layer_dissolved = layer_d.data();
        st.dissolved_fraction = dfrac.data(); st.fract = fract.data(); st.sorbed = sorbed.data();
        st.lake_sorbed = lake_sorbed.data(); st.lake_source = lake_source.data();
        move_sediment_bound_mass(cf.sc, g, st, work.data());

        const double w = kd * 1e-6, rho = cf.density[1];
        const double cell_conc = w * rho * mass / (1.0 + w * rho * vol);  // g per m3 of sediment
        const double expect = c.face > 0.0 ? -c.face * lake_conc : -c.face * cell_conc;
        EXPECT_NEAR(lake_source[1], expect, 1e-12 * std::fabs(expect));
        // What the lake gained the grid cell lost.
        EXPECT_NEAR(total[2] + water[2] + pending[2] + lake_source[1], mass, 1e-12 * mass);
    }
}

}  // namespace
