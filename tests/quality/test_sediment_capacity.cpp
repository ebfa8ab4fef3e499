// Water viscosity, settling velocities, the median grain size and the six
// transport-capacity formulas against values worked by hand from their laws.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "quality/sediment.h"
#include "quality/sediment_capacity.h"
#include "quality/sediment_state.h"

namespace {

// Classes of the given diameters (mm), specific gravity 2.65, with the
// suspended volumes, deposit and soil fractions a test sets.
struct class_set {
    std::vector<double> diam, grav;
    std::vector<int> order;
    std::vector<double> suspended, deposited, soil;
    std::vector<double> work;
    sediment_classes sc;

    explicit class_set(const std::vector<double>& diam_mm) {
        const int n = static_cast<int>(diam_mm.size());
        diam.assign(1, 0.0);
        diam.insert(diam.end(), diam_mm.begin(), diam_mm.end());
        grav.assign(n + 1, 2.65);
        for (int j = 1; j <= n; ++j) order.push_back(j);
        std::sort(order.begin(), order.end(), [&](int a, int b) { return diam[a] > diam[b]; });
        suspended.assign(n + 1, 0.0);
        deposited.assign(n + 1, 0.0);
        soil.assign(n + 1, 0.0);
        work.assign(n + 1, 0.0);
        sc.count = n;
        sc.diam_mm = diam.data();
        sc.spec_grav = grav.data();
        sc.coarse_first = order.data();
    }
    cell_sediment cell() const { return {suspended.data(), deposited.data(), soil.data()}; }
};

double relative(double a, double b) { return std::fabs(a - b) / std::fabs(b); }

}  // namespace

TEST(SedimentSetup, ViscosityByThePowerLawAndSettlingVelocities) {
    // Power law in the temperature; below 0 degrees the value at 0.
    EXPECT_LT(relative(water_viscosity(20.0), 9.98821e-7), 1e-5);
    EXPECT_LT(relative(water_viscosity(0.0), 1.78470e-6), 1e-5);
    EXPECT_EQ(water_viscosity(-5.0), water_viscosity(0.0));

    // Specific gravity 2.65 at 20 degrees: Stokes up to 0.1 mm inclusive,
    // the dimensionless-diameter law above.
    struct fall_case {
        double d_mm, w;
    };
    const fall_case cases[] = {
        {0.01, 9.0031e-5}, {0.1, 9.0031e-3}, {0.2, 2.6951e-2}, {1.0, 0.112273}};
    const double nu = water_viscosity(20.0);
    for (const fall_case& c : cases) {
        SCOPED_TRACE(c.d_mm);
        EXPECT_LT(relative(fall_velocity(c.d_mm, 2.65, nu), c.w), 1e-5);
    }
    // Stokes' law: the velocity goes with the square of the diameter.
    EXPECT_NEAR(fall_velocity(0.1, 2.65, nu) / fall_velocity(0.01, 2.65, nu), 100.0, 1e-9);
}

TEST(SedimentSetup, ClassesSplitAtTheSandSizeAndOrderFinesFirst) {
    ov_sed_record s;
    s.classes = 4;
    s.sand_size = 0.0625;
    s.water_kin_viscosity = water_viscosity(20.0);
    s.spec_grav = {0, 2.65, 2.65, 2.65, 2.65};
    s.part_diam = {0, 0.5, 0.002, 0.0625, 0.01};   // sand, fine, sand (exactly the limit), fine
    derive_class_properties(s);
    EXPECT_EQ(s.sand, (std::vector<int>{0, 1, 0, 1, 0}));
    EXPECT_EQ(s.n_sand_classes, 2);
    EXPECT_EQ(s.n_fine_classes, 2);
    EXPECT_EQ(s.sed_class, (std::vector<int>{0, 2, 4, 1, 3}));
    EXPECT_EQ(s.coarse_first, (std::vector<int>{1, 3, 4, 2}));
    EXPECT_NEAR(s.particle_density[1], 2.65 * 998.2 * 1000.0, 1e-6);
}

TEST(SedimentCapacity, MedianGrainSizeInterpolatesBetweenCumulativeShares) {
    struct d50_case {
        double f1, f2, f3;   // shares of 0.01, 0.1 and 1 mm
        double d50;          // um
    };
    // 0.6/0.2/0.2: half lies between 0.1 mm (0.4 coarser) and 0.01 mm (1.0):
    // 10^(-1 - 1/6) mm. 0.2/0.4/0.4: between 1 mm (0.4) and 0.1 mm (0.8): 10^-0.25 mm.
    const d50_case cases[] = {{0.6, 0.2, 0.2, 68.129}, {0.3, 0.1, 0.6, 1000.0},
                              {0.0, 0.0, 1.0, 1000.0}, {0.2, 0.4, 0.4, 562.34}};
    for (bool reversed : {false, true}) {
        // The classes in either table order give the same D50.
        for (const d50_case& c : cases) {
            SCOPED_TRACE(c.d50);
            class_set k(reversed ? std::vector<double>{1.0, 0.1, 0.01}
                                 : std::vector<double>{0.01, 0.1, 1.0});
            const std::vector<double> shares = reversed ? std::vector<double>{0, c.f3, c.f2, c.f1}
                                                        : std::vector<double>{0, c.f1, c.f2, c.f3};
            EXPECT_LT(relative(median_grain_size(k.sc, shares.data()), c.d50), 1e-5);
        }
    }
    class_set one({0.05});
    const double all[] = {0.0, 1.0};
    EXPECT_DOUBLE_EQ(median_grain_size(one.sc, all), 50.0);
}

TEST(SedimentCapacity, SharesComeFromSuspensionThenDepositThenSoil) {
    class_set k({0.01, 1.0});
    k.soil = {0, 0.25, 0.75};
    double f[3] = {};
    sediment_shares(k.sc, k.cell(), f);
    EXPECT_EQ(f[1], 0.25);   // nothing loose: the soil
    k.deposited = {0, 3.0, 1.0};
    sediment_shares(k.sc, k.cell(), f);
    EXPECT_EQ(f[1], 0.75);   // the deposit
    k.suspended = {0, 1.0, 1.0};
    sediment_shares(k.sc, k.cell(), f);
    EXPECT_EQ(f[1], 0.5);    // the suspension
}

TEST(SedimentCapacity, SixFormulasMatchTheirLawsAndScaleWithTheStep) {
    // S 0.05, h 0.02 m, q 0.004 m2/s (V 0.2 m/s), dt 10 s, dx 30 m, sed_K 1,
    // one class of 0.05 mm: values of each law worked by hand.
    const double expected[7] = {0, 4.45019e-2, 1.72533, 6.87148e-4, 2.07928e-2, 2.99993e-2,
                                3.25936e-1};
    class_set k({0.05});
    k.soil = {0, 1.0};
    capacity_flow f;
    f.slope = 0.05;
    f.depth = 0.02;
    f.q = 0.004;
    f.dt = 10.0;
    f.dx = 30.0;
    f.sed_K = 1.0;
    for (int formula = 1; formula <= 6; ++formula) {
        SCOPED_TRACE(formula);
        const double T = sediment_capacity(formula, f, k.sc, k.cell(), k.work.data());
        EXPECT_LT(relative(T, expected[formula]), 1e-5);
        capacity_flow half = f;
        half.dt = 5.0;
        EXPECT_NEAR(sediment_capacity(formula, half, k.sc, k.cell(), k.work.data()), T / 2.0,
                    1e-12 * T);
        capacity_flow dry = f;
        dry.depth = 0.0;
        EXPECT_EQ(sediment_capacity(formula, dry, k.sc, k.cell(), k.work.data()), 0.0);
        capacity_flow still = f;
        still.q = 0.0;
        EXPECT_EQ(sediment_capacity(formula, still, k.sc, k.cell(), k.work.data()), 0.0);
    }
    EXPECT_EQ(sediment_capacity(7, f, k.sc, k.cell(), k.work.data()), 0.0);
}

TEST(SedimentCapacity, ShearVelocityLawAtItsBandEdgesAndBelowCritical) {
    // D50 exactly 190 um takes the "190 or more" row: Uc 1.8, b 5.06, a 0.0092.
    class_set k({0.19});
    k.soil = {0, 1.0};
    capacity_flow f;
    f.slope = 0.05;
    f.depth = 0.02;
    f.q = 0.004;
    f.dt = 10.0;
    f.dx = 30.0;
    const double U = std::sqrt(0.02 * 9792.342 * 0.05 / 998.2) * 100.0;   // cm/s
    const double F = 10.0 * 30.0 / 2645.23;
    EXPECT_LT(relative(sediment_capacity(6, f, k.sc, k.cell(), k.work.data()),
                       0.0092 * std::pow(U - 1.8, 5.06) / 10.0 * F),
              1e-12);
    // Below the critical shear velocity nothing moves.
    f.depth = 0.0002;
    EXPECT_EQ(sediment_capacity(6, f, k.sc, k.cell(), k.work.data()), 0.0);
}
