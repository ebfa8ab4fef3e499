// Pipe section hydraulics checked against bisection on the defining
// equations (critical flow A^3/T = Q^2/g, Manning Q = A R^(2/3) sqrt(S0)/n)
// and against the closed forms of full and empty sections.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "stormdrain/pipe_section.h"

namespace {

// Plain bisection of g(y) = 0 on [lo, hi], g(lo) < 0 < g(hi), to 1e-13 m.
double bisect(const std::function<double(double)>& g, double lo, double hi) {
    while (hi - lo > 1e-13) {
        const double mid = 0.5 * (lo + hi);
        (g(mid) < 0.0 ? lo : hi) = mid;
    }
    return 0.5 * (lo + hi);
}

double critical_reference(int type, double D, double b, double Q) {
    return bisect([&](double y) {
        const pipe_section s = pipe_section_geometry(type, D, b, y);
        return s.area * s.area * s.area / s.top_width - Q * Q / 9.81;
    }, 1e-9, D - 1e-9);
}

double manning_flow(int type, double D, double b, double n, double S0, double y) {
    const pipe_section s = pipe_section_geometry(type, D, b, y);
    return s.area * std::pow(s.area / s.perimeter, 2.0 / 3.0) * std::sqrt(S0) / n;
}

struct depth_case {
    const char* name;
    bool critical;     // critical depth, else normal depth
    int type;
    double D, b, n, S0, Q;
    double expected;   // m, from the table; the bisection must agree too
};

TEST(PipeSection, DepthsAgreeWithBisectionOnTheDefiningEquations) {
    const depth_case cases[] = {
        {"circle normal", false, kSectionCircle, 1.0, 0.0, 0.013, 0.01, 0.5, 0.309931},
        {"circle critical 0.5", true, kSectionCircle, 1.0, 0.0, 0.0, 0.0, 0.5, 0.398841},
        {"circle critical 1", true, kSectionCircle, 1.0, 0.0, 0.0, 0.0, 1.0, 0.573022},
        {"box critical", true, kSectionBox, 1.0, 2.0, 0.0, 0.0, 1.0, 0.294277},
        {"box normal mild", false, kSectionBox, 1.0, 2.0, 0.013, 0.001, 1.0, 0.448916},
        {"box normal wide steep", false, kSectionBox, 1.0, 4.0, 0.013, 0.01, 0.1, 0.032353},
        {"circle normal 0.5 at S0 0.001", false, kSectionCircle, 1.0, 0.0, 0.013, 0.001, 0.5, 0.592793},
    };
    for (const depth_case& c : cases) {
        SCOPED_TRACE(c.name);
        double y = -1.0;
        double reference = 0.0;
        if (c.critical) {
            ASSERT_TRUE(pipe_critical_depth(c.type, c.D, c.b, c.Q, y));
            reference = critical_reference(c.type, c.D, c.b, c.Q);
        } else {
            ASSERT_TRUE(pipe_normal_depth(c.type, c.D, c.b, c.n, c.Q, c.S0, y));
            reference = bisect([&](double d) { return manning_flow(c.type, c.D, c.b, c.n, c.S0, d) - c.Q; },
                               1e-9, c.type == kSectionCircle ? 0.93 * c.D : c.D);
        }
        EXPECT_NEAR(y, reference, 1e-6);
        EXPECT_NEAR(y, c.expected, 1e-6);
    }
}

TEST(PipeSection, EdgeCasesOfTheDepthRoutines) {
    double y = -1.0;
    // More than the largest part-full Manning flow of a 1-m pipe (about 1.3 m3/s here).
    ASSERT_TRUE(pipe_normal_depth(kSectionCircle, 1.0, 0.0, 0.013, 3.0, 0.01, y));
    EXPECT_DOUBLE_EQ(y, 1.0);
    ASSERT_TRUE(pipe_normal_depth(kSectionBox, 1.0, 2.0, 0.013, 50.0, 0.01, y));
    EXPECT_DOUBLE_EQ(y, 1.0);
    ASSERT_TRUE(pipe_critical_depth(kSectionBox, 1.0, 2.0, 0.0, y));
    EXPECT_DOUBLE_EQ(y, 0.0);
    // Arches have no depth rule: refused, result untouched.
    y = 0.7;
    EXPECT_FALSE(pipe_critical_depth(kSectionArch, 1.0, 1.0, 0.5, y));
    EXPECT_FALSE(pipe_normal_depth(kSectionArch, 1.0, 1.0, 0.013, 0.5, 0.01, y));
    EXPECT_DOUBLE_EQ(y, 0.7);
}

TEST(PipeSection, FullAndEmptySections) {
    const double pi = 3.14159265358979323846;
    const pipe_section full_circle = pipe_section_geometry(kSectionCircle, 2.0, 0.0, 2.0);
    EXPECT_NEAR(full_circle.area, pi, 1e-14);
    EXPECT_NEAR(full_circle.perimeter, 2.0 * pi, 1e-14);
    EXPECT_DOUBLE_EQ(full_circle.top_width, 0.0);
    const pipe_section half = pipe_section_geometry(kSectionCircle, 2.0, 0.0, 1.0);
    EXPECT_NEAR(half.area, 0.5 * pi, 1e-12);
    EXPECT_NEAR(half.top_width, 2.0, 1e-12);
    const pipe_section full_box = pipe_section_geometry(kSectionBox, 1.5, 3.0, 1.5);
    EXPECT_DOUBLE_EQ(full_box.area, 4.5);
    EXPECT_DOUBLE_EQ(full_box.perimeter, 9.0);
    const pipe_section dry_box = pipe_section_geometry(kSectionBox, 1.5, 3.0, 0.0);
    EXPECT_DOUBLE_EQ(dry_box.area, 0.0);
    EXPECT_DOUBLE_EQ(dry_box.top_width, 3.0);
    EXPECT_DOUBLE_EQ(dry_box.perimeter, 3.0);
}

}  // namespace
