// Derived nutrient outputs against values computed by hand from the ammonia
// equilibrium: ka = 10^-(0.09018 + 2729.92 / T[K]), nh3 = c ka / h 17.031 V
// with c the ammonium concentration (mol/m3); all to 1e-9 relative.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "quality/nutrient_derived.h"

namespace {

struct ammonia_case {
    const char* what;
    double temp_c, ph;
    double nh4_mass;     // g
    double volume;       // m3
    double min_molar;    // threshold of the compartment, mol/m3
    double nh3;          // expected, g
};

TEST(NutrientDerived, UnionisedAmmoniaTable) {
    const double ratio_25 = 8.98718e-3;   // ka / h_ion at 25 deg C, pH 7.2 (5 digits)
    EXPECT_NEAR(ammonium_ka(25.0) / hydrogen_ion(7.2), ratio_25, 1e-8);
    const double trace = 5e-8 * kAmmoniumMolarMass;   // ammonium at 5e-8 mol in 1 m3, g
    const ammonia_case cases[] = {
        {"25 C, pH 7.2, 1 g in 1 m3", 25.0, 7.2, 1.0, 1.0, kNh3MinMolarLand, 8.484986e-3},
        {"same in 10 m3 (mass unchanged)", 25.0, 7.2, 1.0, 10.0, kNh3MinMolarLand, 8.484986e-3},
        {"20 C, pH 8", 20.0, 8.0, 1.0, 1.0, kNh3MinMolarLand, 3.736646e-2},
        {"trace at a stream node", 25.0, 7.2, trace, 1.0, kNh3MinMolarStream, 7.653033e-9},
        {"trace on a cell", 25.0, 7.2, trace, 1.0, kNh3MinMolarLand, 0.0},
        {"volume below 1e-4 m3", 25.0, 7.2, 1.0, 0.99e-4, kNh3MinMolarStream, 0.0},
        {"no ammonium", 25.0, 7.2, 0.0, 1.0, kNh3MinMolarStream, 0.0},
    };
    for (const ammonia_case& c : cases) {
        const double got = unionised_ammonia(c.nh4_mass, c.volume, ammonium_ka(c.temp_c),
                                             hydrogen_ion(c.ph), c.min_molar);
        if (c.nh3 == 0.0) {
            EXPECT_EQ(got, 0.0) << c.what;
        } else {
            EXPECT_NEAR(got, c.nh3, 1e-6 * c.nh3) << c.what;   // expected values have 7 digits
        }
    }
}

TEST(NutrientDerived, TotalsOfOneElement) {
    const double nh3 = unionised_ammonia(1.0, 1.0, ammonium_ka(25.0), hydrogen_ion(7.2), kNh3MinMolarLand);
    EXPECT_NEAR(nsm_total_n(0.2, 3.0, 1.0, 0.7, nh3), 4.908484986, 1e-9 * 4.9);
    EXPECT_NEAR(nsm_tkn(1.0, 0.7, nh3), 1.708484986, 1e-9 * 1.7);
    EXPECT_NEAR(nsm_total_p(0.4, 0.15), 0.55, 1e-12);
}

TEST(NutrientDerived, OverlandCellsByDepthDryCellsGiveNone) {
    // Three 10 m cells: 0.01 m deep (1 m3), dry, 0.5 mm deep (0.05 m3).
    const std::vector<double> nh4 = {0.0, 1.0, 1.0, 1.0};
    const std::vector<double> depth = {0.0, 0.01, 0.0, 0.0005};
    std::vector<double> nh3(4, -1.0);
    overland_unionised_ammonia(nh4, depth, 100.0, 3, ammonium_ka(25.0), hydrogen_ion(7.2), nh3);
    EXPECT_EQ(nh3[0], -1.0);   // slot 0 untouched
    EXPECT_NEAR(nh3[1], 8.484986e-3, 1e-6 * 8.5e-3);
    EXPECT_EQ(nh3[2], 0.0);
    EXPECT_NEAR(nh3[3], 8.484986e-3, 1e-6 * 8.5e-3);   // the mass fraction does not depend on V
}

TEST(NutrientDerived, StreamNodesAndLakesByTheirWater) {
    const double ka = ammonium_ka(25.0), h = hydrogen_ion(7.2);
    const double trace = 5e-8 * kAmmoniumMolarMass;   // g in 1 m3: 5e-8 mol/m3
    // Two links of 2 and 1 nodes (maxnodes 2), 0.5 m2 of flow area and 2 m
    // spacing: 1 m3 at every node.
    const int links = 2, maxnodes = 2;
    const size_t stride = maxnodes + 1;
    std::vector<double> nh4(stride * (links + 1), 0.0);
    nh4[stride * 1 + 1] = 1.0;
    nh4[stride * 1 + 2] = trace;
    nh4[stride * 2 + 1] = 1.0;
    nh4[stride * 2 + 2] = 1.0;   // beyond link 2's single node
    node_array area(maxnodes + 2, links + 2, 0.5);
    node_array nh3(maxnodes + 2, links + 2, -1.0);
    stream_unionised_ammonia(nh4, area, {0.0, 2.0, 2.0}, {0, 2, 1}, links, maxnodes, ka, h, nh3);
    EXPECT_NEAR(nh3(1, 1), 8.484986e-3, 1e-6 * 8.5e-3);
    EXPECT_NEAR(nh3(2, 1), 7.653033e-9, 1e-6 * 7.7e-9);   // a trace counts in the stream
    EXPECT_NEAR(nh3(1, 2), 8.484986e-3, 1e-6 * 8.5e-3);
    EXPECT_EQ(nh3(2, 2), -1.0);   // not a node of link 2: untouched
    EXPECT_EQ(nh3(0, 1), -1.0);

    // Lakes: 1 g in 1 m3, the trace (none in a lake), a lake nearly empty.
    std::vector<double> lake_nh4 = {0.0, 1.0, trace, 1.0};
    std::vector<double> volume = {0.0, 1.0, 1.0, 0.5e-4};
    std::vector<double> lake_nh3(4, -1.0);
    lake_unionised_ammonia(lake_nh4, volume, 3, ka, h, lake_nh3);
    EXPECT_NEAR(lake_nh3[1], 8.484986e-3, 1e-6 * 8.5e-3);
    EXPECT_EQ(lake_nh3[2], 0.0);
    EXPECT_EQ(lake_nh3[3], 0.0);
    EXPECT_EQ(lake_nh3[0], -1.0);
}

}  // namespace
