// The shuffled complex evolution search on analytic functions (no model
// runs), and the settings check and input file of the optimiser.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "calibration/sce_optimizer.h"
#include "pluvo_test.h"

namespace {

using point = std::vector<double>;

// Rosenbrock's valley: minimum 0 at (1, 1).
double rosenbrock(const point& x) {
    return 100.0 * std::pow(x[2] - x[1] * x[1], 2) + std::pow(1.0 - x[1], 2);
}
// Goldstein-Price: global minimum 3 at (0, -1); a local minimum 30 at (-0.6, -0.4).
double goldstein_price(const point& x) {
    const double a = x[1], b = x[2];
    const double p = 1 + std::pow(a + b + 1, 2) * (19 - 14 * a + 3 * a * a - 14 * b + 6 * a * b + 3 * b * b);
    const double q = 30 + std::pow(2 * a - 3 * b, 2) * (18 - 32 * a + 12 * a * a + 48 * b - 36 * a * b + 27 * b * b);
    return p * q;
}

// An optimiser on [-2, 2]^2 with default settings, ready to search.
void box_settings(sce_optimizer& o, int seed, int ngs = 4) {
    o.nopt = 2;
    o.maxn = 2000;
    o.kstop = 10;
    o.pcento = 1e-5;
    o.ngs = ngs;
    o.iseed = seed;
    o.ideflt = 0;
    o.x0 = {0, 0, 0};
    o.bl = {0, -2, -2};
    o.bu = {0, 2, 2};
    ASSERT_TRUE(check_sce_settings(o));
    o.setup_ok = 1;
}

TEST(SceSearch, FindsTheMinimaOfRosenbrockAndGoldsteinPrice) {
    struct row {
        const char* name;
        double (*f)(const point&);
        double x1, x2;      // minimiser
        double f_limit;     // largest acceptable criterion at the end
    };
    const row rows[] = {
        {"Rosenbrock", rosenbrock, 1.0, 1.0, 1e-5},
        {"Goldstein-Price", goldstein_price, 0.0, -1.0, 3.001},
    };
    for (const row& c : rows) {
        for (int seed : {3737, 1969, 12345}) {
            SCOPED_TRACE(std::string(c.name) + " seed " + std::to_string(seed));
            sce_optimizer o;
            box_settings(o, seed);
            int calls = 0;
            const int counter = sceua(o, [&](const point& x, double& f) {
                ++calls;
                EXPECT_TRUE(x[1] >= -2 && x[1] <= 2 && x[2] >= -2 && x[2] <= 2);
                f = c.f(x);
                return true;
            });
            EXPECT_EQ(counter, calls + 1);   // the counter is the number of the next trial
            EXPECT_LE(calls, 2000);
            EXPECT_NEAR(o.bestx[1], c.x1, 5e-3);
            EXPECT_NEAR(o.bestx[2], c.x2, 5e-3);
            EXPECT_LE(o.bestf, c.f_limit);
            EXPECT_DOUBLE_EQ(o.bestf, c.f(o.bestx));
        }
    }
}

TEST(SceSearch, SameSeedSameTrials) {
    std::vector<point> runs[2];
    for (auto& trials : runs) {
        sce_optimizer o;
        box_settings(o, 77);
        sceua(o, [&](const point& x, double& f) {
            trials.push_back(x);
            f = goldstein_price(x);
            return true;
        });
    }
    EXPECT_EQ(runs[0], runs[1]);
}

TEST(SceSearch, StoppingRulesAndLimits) {
    // A constant criterion: with kstop 0 the first loop compares the best
    // with itself and stops, 0/0 counting as no change.
    {
        sce_optimizer o;
        box_settings(o, 5);
        o.kstop = 0;
        int calls = 0;
        const int counter = sceua(o, [&](const point&, double& f) {
            ++calls;
            f = 0.0;
            return true;
        });
        EXPECT_EQ(counter, calls + 1);
        EXPECT_GT(calls, 20);          // at least one loop after the 20 initial points
        EXPECT_LT(calls, 20 + 4 * 5 * 3 + 1);   // one loop: 4 complexes x 5 steps x at most 3
    }
    // Fewer allowed trials than the initial population: refused.
    {
        sce_optimizer o;
        box_settings(o, 5);
        o.maxn = 19;
        int calls = 0;
        EXPECT_EQ(sceua(o, [&](const point&, double& f) { ++calls; f = 1; return true; }), -1);
        EXPECT_EQ(calls, 0);
    }
    // The scorer stops the search.
    {
        sce_optimizer o;
        box_settings(o, 5);
        int calls = 0;
        EXPECT_EQ(sceua(o, [&](const point& x, double& f) { f = rosenbrock(x); return ++calls < 30; }), -1);
        EXPECT_EQ(calls, 30);
    }
    // A failed set-up runs nothing.
    {
        sce_optimizer o;
        int calls = 0;
        EXPECT_EQ(sceua(o, [&](const point&, double& f) { ++calls; f = 1; return true; }), -1);
        EXPECT_EQ(calls, 0);
    }
    // With the start point in the population (iniflg 1), it is the first trial.
    {
        sce_optimizer o;
        box_settings(o, 5);
        o.iniflg = 1;
        o.x0 = {0, 0.25, -0.75};
        point first;
        sceua(o, [&](const point& x, double& f) {
            if (first.empty()) first = x;
            f = rosenbrock(x);
            return true;
        });
        EXPECT_EQ(first, o.x0);
    }
}

// Complexes of two points (npg 2 with two parameters): every sub-complex is
// the whole complex, and the search ends within its trial limit.
TEST(SceSearch, ComplexesOfTwoPointsEndTheSearch) {
    sce_optimizer o;
    box_settings(o, 3737);
    o.ideflt = 1;
    o.npg = 2;
    o.nps = 3;
    o.nspl = 2;
    o.mings = 4;
    o.maxn = 400;
    testing::internal::CaptureStdout();
    ASSERT_TRUE(check_sce_settings(o));
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(o.nps, 2);
    int calls = 0;
    const int counter = sceua(o, [&](const point& x, double& f) {
        ++calls;
        f = rosenbrock(x);
        return true;
    });
    EXPECT_EQ(counter, calls + 1);
    EXPECT_GT(calls, 0);
    EXPECT_LE(calls, 400 + 4 * 2 * 3);   // the last loop may finish past the limit
}

TEST(SceSearch, ManyParametersBeyondNinetyNine) {
    // A sphere in 120 dimensions: the work arrays follow nopt.
    sce_optimizer o;
    o.nopt = 120;
    o.maxn = 1000;
    o.kstop = 5;
    o.pcento = 0.01;
    o.ngs = 2;
    o.iseed = 1;
    o.x0.assign(121, 0.0);
    o.bl.assign(121, -1.0);
    o.bu.assign(121, 1.0);
    ASSERT_TRUE(check_sce_settings(o));
    o.setup_ok = 1;
    double first = -1;
    const int counter = sceua(o, [&](const point& x, double& f) {
        f = 0;
        for (size_t j = 1; j < x.size(); ++j) f += x[j] * x[j];
        if (first < 0) first = f;
        return true;
    });
    EXPECT_GT(counter, 1);
    EXPECT_LT(o.bestf, first);
}

// The settings check: defaults, corrections with their warnings, refusals.
TEST(SceSettings, CheckTable) {
    struct in {
        int ideflt, nopt, ngs, npg, nps, nspl, mings, kstop;
    };
    struct out {
        bool ok;
        int ngs, npg, nps, nspl, mings, kstop;
        int warnings;
    };
    struct row {
        const char* name;
        in i;
        out o;
    };
    const row rows[] = {
        {"defaults for nopt 3", {0, 3, 4, 0, 0, 0, 0, 10}, {true, 4, 7, 4, 7, 4, 10, 0}},
        {"kstop 15 accepted", {0, 3, 4, 0, 0, 0, 0, 15}, {true, 4, 7, 4, 7, 4, 15, 0}},
        {"kstop 25 becomes 5", {0, 3, 4, 0, 0, 0, 0, 25}, {true, 4, 7, 4, 7, 4, 5, 1}},
        {"kstop -1 becomes 5", {0, 3, 4, 0, 0, 0, 0, -1}, {true, 4, 7, 4, 7, 4, 5, 1}},
        {"ngs 0 refused", {0, 3, 0, 0, 0, 0, 0, 10}, {false, 0, 0, 0, 0, 0, 0, 0}},
        {"ngs 1320 refused", {0, 3, 1320, 0, 0, 0, 0, 10}, {false, 0, 0, 0, 0, 0, 0, 0}},
        {"ngs 200 exceeds the population", {0, 3, 200, 0, 0, 0, 0, 10}, {true, 2, 7, 4, 7, 200, 10, 2}},
        {"nps 60 reset even with npg 70", {1, 3, 2, 70, 60, 5, 2, 10}, {true, 2, 70, 4, 5, 2, 10, 1}},
        {"mings 0 and nspl 0 reset", {1, 3, 2, 7, 4, 0, 0, 10}, {true, 2, 7, 4, 7, 2, 10, 2}},
        {"npg 1 reset", {1, 2, 3, 1, 1, 5, 3, 10}, {true, 3, 5, 3, 5, 3, 10, 2}},
        {"mings above ngs", {1, 2, 3, 5, 3, 5, 4, 10}, {true, 3, 5, 3, 5, 3, 10, 1}},
        // The default sub-complex (nopt + 1 = 3) would not fit a complex of 2
        // points, whose draws of distinct points would never end.
        {"nps above a complex of 2 points", {1, 2, 2, 2, 3, 2, 2, 10}, {true, 2, 2, 2, 2, 2, 10, 1}},
    };
    for (const row& c : rows) {
        SCOPED_TRACE(c.name);
        sce_optimizer o;
        o.ideflt = c.i.ideflt;
        o.nopt = c.i.nopt;
        o.ngs = c.i.ngs;
        o.npg = c.i.npg;
        o.nps = c.i.nps;
        o.nspl = c.i.nspl;
        o.mings = c.i.mings;
        o.kstop = c.i.kstop;
        testing::internal::CaptureStdout();
        const bool ok = check_sce_settings(o);
        const std::string text = testing::internal::GetCapturedStdout();
        ASSERT_EQ(ok, c.o.ok) << text;
        if (!ok) {
            EXPECT_NE(text.find("**ERROR** NUMBER OF COMPLEXES"), std::string::npos);
            continue;
        }
        EXPECT_EQ(o.ngs, c.o.ngs);
        EXPECT_EQ(o.npg, c.o.npg);
        EXPECT_EQ(o.nps, c.o.nps);
        EXPECT_EQ(o.nspl, c.o.nspl);
        EXPECT_EQ(o.mings, c.o.mings);
        EXPECT_EQ(o.kstop, c.o.kstop);
        EXPECT_EQ(pluvo_test::count_of(text, "**WARNING**"), c.o.warnings) << text;
        if (c.o.warnings > 0) {
            EXPECT_NE(text.find("TOTAL NUMBER OF WARNING MESSAGES IS " + std::to_string(c.o.warnings)),
                      std::string::npos);
        } else {
            EXPECT_EQ(text.find("TOTAL NUMBER"), std::string::npos);
        }
    }
}

}  // namespace
