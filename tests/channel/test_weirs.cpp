// Weir and sag-weir flows against their closed-form ratings, the joins of
// the submerged forms, the sign convention and the refused elements.
#include "channel_test_support.h"

#include "channel/weirs.h"

namespace {

using chan_test::captured;

constexpr double kGravity = 9.81;   // m/s2, as in the model

// A weir element of crest length L (m), crest elevation zc (m) and the
// forward and reverse coefficients, as element 1 of a list.
std::vector<hydraulic_structure> weir_list(double L, double zc, double fwd, double rev) {
    std::vector<hydraulic_structure> list(2);
    list[1].structtype = kStructWeir;
    list[1].length = L;
    list[1].upinvert = zc;
    list[1].fwd_coeff = fwd;
    list[1].rev_coeff = rev;
    return list;
}

// A sag weir of crest length L, lowest crest elevation zc and the end slopes
// s1 (steep_slope, width field) and s2 (shallow_slope, height field).
std::vector<hydraulic_structure> sag_list(double L, double zc, double s1, double s2, double fwd,
                                          double rev) {
    std::vector<hydraulic_structure> list(2);
    list[1].structtype = kStructSagWeir;
    list[1].length = L;
    list[1].upinvert = zc;
    list[1].width = s1;
    list[1].height = s2;
    list[1].fwd_coeff = fwd;
    list[1].rev_coeff = rev;
    return list;
}

class WeirTest : public ::testing::Test {
protected:
    void SetUp() override {
        error_record = error_info{};
        current_summary_file = nullptr;   // messages go to the console only
    }
    void TearDown() override { error_record = error_info{}; }
};

// Free flow over a broad crest passes critical depth yc = 2H/3 on the crest,
// so Q = Cd L sqrt(g yc^3) = Cd L sqrt(g) (2H/3)^(3/2) (e.g. Henderson,
// Open Channel Flow, 1966, sec. 6.5). That is the weir's free-flow rating;
// note it is the sharp-crested (2/3) Cd L sqrt(2g) H^(3/2) divided by sqrt(3).
TEST_F(WeirTest, FreeFlowMatchesTheCriticalDepthRating) {
    struct row {
        double L, zc, cd, head, tail;   // m, m, -, head over crest, downstream level over crest
    };
    const row rows[] = {
        {5.0, 10.0, 0.9, 0.05, -1.0},  // tailwater below the crest
        {5.0, 10.0, 0.9, 0.2, -0.1},
        {5.0, 10.0, 0.9, 1.0, 0.0},    // tailwater at the crest
        {12.0, 250.0, 1.1, 0.5, 0.3},  // tailwater above the crest, still free (0.3 < 2/3 x 0.5)
        {2.0, -3.0, 0.6, 2.5, 1.6},
        {30.0, 0.0, 1.0, 3.0, 1.999},  // just below the submergence limit
    };
    for (const row& r : rows) {
        const auto list = weir_list(r.L, r.zc, r.cd, 0.5);
        const double q = compute_weir_flow(list, 1, r.zc + r.head, r.zc + r.tail);
        const double expected = r.cd * r.L * std::sqrt(kGravity) * std::pow(2.0 * r.head / 3.0, 1.5);
        EXPECT_NEAR(q, expected, 0.02 * expected) << "head " << r.head;
        EXPECT_NEAR(q, expected, 1e-9 * expected) << "head " << r.head;
    }
}

// Sweeping the downstream level from below the crest up to the upstream
// level: the flow never rises, never jumps (free/submerged join at 2/3 of the
// head, linear/square-root join at 0.01 m), and ends at 0 for equal levels.
TEST_F(WeirTest, SubmergedFormsJoinContinuously) {
    const double heads[] = {0.03, 0.1, 0.75, 2.0};
    for (const double head : heads) {
        const double zc = 50.0;
        const auto list = weir_list(4.0, zc, 0.8, 0.6);
        const double H = zc + head;
        const int steps = 20000;
        double previous = compute_weir_flow(list, 1, H, zc - 0.5);
        double largest_jump = 0.0;
        for (int i = 1; i <= steps; ++i) {
            const double h = zc - 0.5 + (head + 0.5) * i / steps;
            const double q = compute_weir_flow(list, 1, H, h);
            EXPECT_LE(q, previous + 1e-12) << "head " << head << " tail " << h;
            largest_jump = std::max(largest_jump, previous - q);
            previous = q;
        }
        EXPECT_EQ(previous, 0.0) << "equal levels pass no flow, head " << head;
        // With 20000 steps a continuous rating changes by a small part of its range per step.
        const double free_q = compute_weir_flow(list, 1, H, zc - 0.5);
        EXPECT_LT(largest_jump, 0.01 * free_q) << "head " << head;

        // The two joins approached from both sides.
        const double join = zc + 2.0 * head / 3.0;
        EXPECT_NEAR(compute_weir_flow(list, 1, H, join - 1e-9), compute_weir_flow(list, 1, H, join),
                    1e-6 * free_q);
        if (head > 0.03) {
            EXPECT_NEAR(compute_weir_flow(list, 1, H, H - 0.01 - 1e-9),
                        compute_weir_flow(list, 1, H, H - 0.01 + 1e-9), 1e-6 * free_q);
        }
    }
}

// The submerged square-root form itself: Q = Cd L (h - zc) sqrt(2g (H - h)).
TEST_F(WeirTest, SubmergedFlowFollowsTheOrificeForm) {
    const double zc = 1.0, L = 3.0, cd = 0.7;
    const auto list = weir_list(L, zc, cd, 0.5);
    const double cases[][2] = {{2.0, 1.8}, {3.0, 2.5}, {1.5, 1.45}};   // H, h
    for (const auto& c : cases) {
        const double expected = cd * L * (c[1] - zc) * std::sqrt(2.0 * kGravity * (c[0] - c[1]));
        EXPECT_NEAR(compute_weir_flow(list, 1, c[0], c[1]), expected, 1e-9 * expected);
    }
}

TEST_F(WeirTest, SignAndCoefficientFollowTheDirection) {
    const double fwd = 0.9, rev = 0.45, zc = 10.0;
    const auto list = weir_list(6.0, zc, fwd, rev);
    const double pairs[][2] = {{11.0, 9.0}, {11.0, 10.8}, {10.4, 10.35}, {12.0, 10.0}};
    for (const auto& p : pairs) {
        const double down = compute_weir_flow(list, 1, p[0], p[1]);
        const double up = compute_weir_flow(list, 1, p[1], p[0]);
        EXPECT_GT(down, 0.0);
        EXPECT_LT(up, 0.0);
        EXPECT_NEAR(-up, down * rev / fwd, 1e-9 * down);
    }
}

TEST_F(WeirTest, NoFlowBelowTheCrestOrWithoutHeadDifference) {
    const auto list = weir_list(6.0, 10.0, 0.9, 0.5);
    EXPECT_EQ(compute_weir_flow(list, 1, 9.9, 9.0), 0.0);
    EXPECT_EQ(compute_weir_flow(list, 1, 9.0, 9.9), 0.0);
    EXPECT_EQ(compute_weir_flow(list, 1, 10.0, 10.0), 0.0);
    EXPECT_EQ(compute_weir_flow(list, 1, 11.0, 11.0), 0.0);
    EXPECT_EQ(compute_weir_flow(list, 1, 10.0, 9.0), 0.0);   // upstream level at the crest
}

// The sag-weir crest is the parabola z = zc + a (x - x0)^2 with
// a = (s2 - s1) / (2L); the flow spans the width 2 sqrt(h/a) at head h over the
// low point, and the rating is Q = sqrt(2g) Cd h^2 / sqrt(a) (the weir law
// integrated across a parabolic section, its shape factor 3 pi / 8 taken into Cd).
TEST_F(WeirTest, SagWeirMatchesTheParabolicCrestRating) {
    struct row {
        double L, zc, s1, s2, cd, head;
    };
    const row rows[] = {
        {20.0, 100.0, -0.5, 0.1, 0.8, 0.3},
        {20.0, 100.0, -0.5, 0.1, 0.8, 1.2},
        {20.0, 100.0, -0.2, 0.4, 0.8, 1.2},   // same a, other low point: same flow
        {5.0, 3.0, -0.05, 0.02, 1.0, 0.05},
        {100.0, -2.0, -1.0, 0.5, 0.6, 2.0},
    };
    for (const row& r : rows) {
        const auto list = sag_list(r.L, r.zc, r.s1, r.s2, r.cd, 0.3);
        const double a = (r.s2 - r.s1) / (2.0 * r.L);
        const double expected = std::sqrt(2.0 * kGravity) * r.cd * r.head * r.head / std::sqrt(a);
        const double q = compute_sag_weir_flow(list, 1, r.zc + r.head, r.zc - 1.0);
        EXPECT_NEAR(q, expected, 0.02 * expected) << "head " << r.head;
        EXPECT_NEAR(q, expected, 1e-9 * expected) << "head " << r.head;
        // Reverse flow: reverse coefficient, negative sign.
        const double back = compute_sag_weir_flow(list, 1, r.zc - 1.0, r.zc + r.head);
        EXPECT_NEAR(back, -expected * 0.3 / r.cd, 1e-9 * expected);
    }
}

TEST_F(WeirTest, SagWeirNoFlowCases) {
    const auto list = sag_list(20.0, 100.0, -0.5, 0.1, 0.8, 0.3);
    EXPECT_EQ(compute_sag_weir_flow(list, 1, 100.0, 99.0), 0.0);    // at the low point
    EXPECT_EQ(compute_sag_weir_flow(list, 1, 99.0, 100.0), 0.0);
    EXPECT_EQ(compute_sag_weir_flow(list, 1, 101.0, 101.0), 0.0);   // equal levels
}

// Elements whose formulas would divide by zero or take the root of a negative
// number are refused with a message that names them.
TEST_F(WeirTest, BadElementsAreRefused) {
    struct row {
        const char* what;
        std::vector<hydraulic_structure> list;
        int element;
        bool sag;
        const char* message;
    };
    const row rows[] = {
        {"zero crest length", sag_list(0.0, 100.0, -0.5, 0.1, 0.8, 0.3), 1, true,
         "The crest length of sag weir\nnumber 1 is 0.0."},
        {"equal slopes", sag_list(20.0, 100.0, 0.1, 0.1, 0.8, 0.3), 1, true,
         "sag weir\nnumber 1 give no sag"},
        {"hump instead of sag", sag_list(20.0, 100.0, 0.5, -0.1, 0.8, 0.3), 1, true,
         "sag weir\nnumber 1 give no sag"},
        {"sag element out of range", sag_list(20.0, 100.0, -0.5, 0.1, 0.8, 0.3), 2, true,
         "Structure element number 2 does not exist"},
        {"weir element out of range", weir_list(5.0, 1.0, 0.8, 0.8), 0, false,
         "Structure element number 0 does not exist"},
        {"not a weir", sag_list(20.0, 100.0, -0.5, 0.1, 0.8, 0.3), 1, false,
         "Structure element number 1 is of type 2"},
    };
    for (const row& r : rows) {
        double q = 0.0;
        const std::string out = captured([&] {
            q = r.sag ? compute_sag_weir_flow(r.list, r.element, 101.0, 99.0)
                      : compute_weir_flow(r.list, r.element, 101.0, 99.0);
        });
        EXPECT_EQ(q, kWeirFailed) << r.what;
        EXPECT_NE(out.find(r.message), std::string::npos) << r.what << ": " << out;
        EXPECT_TRUE(std::isfinite(q)) << r.what;
    }
}

}  // namespace
