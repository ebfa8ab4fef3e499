// Culvert flows against the closed-form ratings of each regime, the round
// barrel's critical depth against an independent bisection, the root finder,
// the orientation rules and the refused elements.
#include "channel_test_support.h"

#include "channel/culverts.h"

namespace {

using chan_test::captured;

constexpr double kGravity = 9.81;   // m/s2, as in the model
constexpr double kPi = 3.14159265358979;

// Independent circle geometry from the central angle phi of the wetted arc.
struct circle {
    double area, top_width, perimeter;
};
circle circle_at(double D, double y) {
    const double phi = 2.0 * std::acos(1.0 - 2.0 * y / D);
    return {D * D / 8.0 * (phi - std::sin(phi)), D * std::sin(0.5 * phi), 0.5 * phi * D};
}

// Critical depth of a circular section by bisection of Q^2 T / (g A^3) = 1.
double circle_critical_depth(double D, double Q) {
    double lo = 0.0, hi = D;
    for (int i = 0; i < 200; ++i) {
        const double mid = 0.5 * (lo + hi);
        const circle c = circle_at(D, mid);
        if (Q * Q * c.top_width / (kGravity * c.area * c.area * c.area) > 1.0) {
            lo = mid;   // Froude number above 1: the critical depth is deeper
        } else {
            hi = mid;
        }
    }
    return 0.5 * (lo + hi);
}

struct barrel {
    int type = kStructRoundCulvert;
    double length = 10.0;      // m
    double upinvert = 100.0;   // m
    double downinvert = 99.8;  // m
    double slope = 0.0;        // m/m (used when the downstream invert is not given)
    double rise = 1.0;         // height field, m
    double span = 1.0;         // width / diameter field, m
    double n = 0.013;          // Manning roughness
    double fwd = 0.8, rev = 0.6;
    double inlet = 0.0;        // inlet-control coefficient C_i
};

std::vector<hydraulic_structure> culvert_list(const barrel& b) {
    std::vector<hydraulic_structure> list(2);
    hydraulic_structure& s = list[1];
    s.structtype = b.type;
    s.length = b.length;
    s.upinvert = b.upinvert;
    s.downinvert = b.downinvert;
    s.slope = b.slope;
    s.height = b.rise;
    s.width = b.span;
    s.roughness = b.n;
    s.fwd_coeff = b.fwd;
    s.rev_coeff = b.rev;
    culvert_inlet_coeff(s) = b.inlet;
    return list;
}

culvert_flow flow_of(const barrel& b, double HW, double TW) {
    return culv_flow(culvert_list(b), 1, HW, TW);
}

class CulvertTest : public ::testing::Test {
protected:
    void SetUp() override {
        error_record = error_info{};
        current_summary_file = nullptr;   // messages go to the console only
    }
    void TearDown() override { error_record = error_info{}; }
};

// Inlet control of a box: the entrance acts as a broad-crested control with
// critical depth 2E/3 for specific energy E, Q = C_i B sqrt(g) (2E/3)^(3/2)
// (critical flow in a rectangle, e.g. Chow, Open-Channel Hydraulics, 1959,
// sec. 3-3). E is the head over the inlet invert on a steep barrel (regime 1)
// and over the outlet invert on a mild one (regime 2).
TEST_F(CulvertTest, BoxInletControlIsCriticalFlowAtTheEntrance) {
    struct row {
        double downinvert, E, Ci, span;
        int regime;
    };
    const row rows[] = {
        {99.8, 0.05, 0.8, 2.0, 1},   // slope 0.02
        {99.8, 0.3, 0.8, 2.0, 1},
        {99.8, 1.0, 1.0, 2.0, 1},
        {99.8, 2.2, 0.95, 3.5, 1},   // F = 2.2 / 1.5 just below 1.5
        {99.95, 0.55, 0.9, 2.0, 2},  // slope 0.005: head over the outlet invert
        {99.95, 1.3, 0.9, 1.0, 2},
    };
    for (const row& r : rows) {
        barrel b;
        b.type = kStructRectCulvert;
        b.downinvert = r.downinvert;
        b.rise = 1.5;
        b.span = r.span;
        b.inlet = r.Ci;
        const double invert = r.regime == 1 ? b.upinvert : b.downinvert;
        const culvert_flow f = flow_of(b, invert + r.E, 0.0);
        const double expected = r.Ci * r.span * std::sqrt(kGravity) * std::pow(2.0 * r.E / 3.0, 1.5);
        EXPECT_NEAR(f.flow, expected, 0.02 * expected) << "E " << r.E;
        EXPECT_NEAR(f.flow, expected, 1e-9 * expected) << "E " << r.E;
        EXPECT_EQ(f.regime, r.regime);
        EXPECT_NEAR(f.depth, 2.0 * r.E / 3.0, 1e-12);
        EXPECT_NEAR(f.area, r.span * 2.0 * r.E / 3.0, 1e-12);
    }
}

TEST_F(CulvertTest, RoundCriticalDepthMatchesBisection) {
    const double diameters[] = {0.3, 1.0, 2.4};
    const double fractions[] = {0.02, 0.1, 0.3, 0.5, 0.7, 0.9, 0.98};   // of the diameter
    for (const double D : diameters) {
        for (const double fraction : fractions) {
            // The flow whose critical depth is this fraction of the diameter.
            const circle c = circle_at(D, fraction * D);
            const double Q = std::sqrt(kGravity * c.area * c.area * c.area / c.top_width);
            const double yc = crit_calc(kCulvertCircular, D, D, Q);
            EXPECT_NEAR(yc, circle_critical_depth(D, Q), 1e-6 * D) << "D " << D << " Q " << Q;
            EXPECT_NEAR(yc, fraction * D, 1e-6 * D);
        }
    }
    EXPECT_EQ(error_record.code, 0);
}

TEST_F(CulvertTest, BoxCriticalDepthAndDegenerateFlows) {
    struct row {
        int kind;
        double D, B, Q, expected;
    };
    const row rows[] = {
        {kCulvertBox, 2.0, 3.0, 4.5, std::cbrt(1.5 * 1.5 / kGravity)},
        {kCulvertBox, 2.0, 0.5, 0.1, std::cbrt(0.2 * 0.2 / kGravity)},
        {kCulvertBox, 2.0, 3.0, 0.0, 0.0},
        {kCulvertBox, 2.0, 0.0, 1.0, 0.0},       // no span: no section
        {kCulvertCircular, 1.0, 1.0, 0.0, 0.0},
        {kCulvertCircular, 1.0, 1.0, -2.0, 0.0},
        {kCulvertCircular, 0.0, 0.0, 1.0, 0.0},  // no diameter
    };
    for (const row& r : rows) {
        EXPECT_NEAR(crit_calc(r.kind, r.D, r.B, r.Q), r.expected, 1e-9);
    }
    EXPECT_EQ(error_record.code, 0);
}

TEST_F(CulvertTest, CriticalDepthFailuresSetTheirCodes) {
    crit_calc(kCulvertOval, 1.0, 1.5, 0.5);
    EXPECT_EQ(error_record.code, 123);
    EXPECT_EQ(error_record.stop, 1);

    error_record = error_info{};
    const double y = crit_calc(kCulvertCircular, 1.0, 1.0, INFINITY);
    EXPECT_EQ(error_record.code, 122);
    EXPECT_EQ(error_record.stop, 1);
    EXPECT_TRUE(std::isfinite(y));
}

// Round inlet control: the flow Q solves Q = A(yc) C_e sqrt(2g (E - yc)),
// energy E at the entrance with critical depth yc(Q), where C_e blends the
// barrel coefficient u into C_i as the headwater ratio F approaches 1.5.
TEST_F(CulvertTest, RoundInletControlSatisfiesTheEntranceEnergyBalance) {
    struct row {
        double D, E, u, Ci;
    };
    const row rows[] = {
        {1.0, 0.011, 0.8, 0.0},   // E just above 0.01
        {1.0, 0.2, 0.8, 0.0},
        {1.0, 0.9, 0.8, 1.0},
        {1.0, 1.2, 0.7, 0.95},    // E above the rise: upper end 0.4 E
        {1.0, 1.49, 0.6, 0.9},
        {0.45, 0.3, 0.8, 1.07},
        {3.0, 2.0, 0.9, 0.5},
    };
    for (const row& r : rows) {
        barrel b;
        b.rise = r.D;
        b.span = r.D;
        b.fwd = r.u;
        b.inlet = r.Ci;
        const culvert_flow f = flow_of(b, b.upinvert + r.E, 0.0);
        ASSERT_NE(f.flow, kCulvertFailed) << "E " << r.E;
        EXPECT_EQ(f.regime, 1);
        const double F = r.E / r.D;
        const double Ce = r.Ci >= 0.01 ? (1.0 - F / 1.5) * r.u + F / 1.5 * r.Ci : r.u;
        const double yc = circle_critical_depth(r.D, f.flow);
        const double balance = circle_at(r.D, yc).area * Ce * std::sqrt(2.0 * kGravity * (r.E - yc));
        EXPECT_NEAR(f.flow, balance, std::max(0.02 * balance, 2e-4)) << "E " << r.E;
        EXPECT_NEAR(f.depth, yc, 1e-4 * r.D + 1e-6) << "E " << r.E;
        EXPECT_GT(f.flow, 0.0);
    }
    EXPECT_EQ(error_record.code, 0);
}

TEST_F(CulvertTest, RootFinderBracketsAndPassLimit) {
    // E just above 0.01 m converges well inside the pass limit.
    const double E = 0.0101, D = 1.0, Ce = 0.8;
    const double Qmax = compute_culvert_area(kCulvertCircular, D, D, E) * Ce * std::sqrt(19.62) *
                        std::sqrt(E / 3.0);
    const brent_root r = zbrent(kCulvertCircular, D, D, Ce, E, 1e-4, Qmax, 1e-4);
    EXPECT_NE(r.root, kCulvertFailed);
    EXPECT_LE(r.iterations, 100);
    EXPECT_GE(r.root, 1e-4);
    EXPECT_LE(r.root, Qmax);

    // An interval whose ends have the same sign is refused with the messages.
    brent_root bad;
    const std::string out = captured([&] {
        bad = zbrent(kCulvertCircular, D, D, Ce, 0.5, 50.0, 60.0, 1e-4);
    });
    EXPECT_EQ(bad.root, kCulvertFailed);
    EXPECT_EQ(out, "Problem in ZBRENT root finder\nRoot must be bracketed\n");
}

// At a head of about a centimetre a small barrel's flow lies below the root
// finder's usual lower end of 1e-4 m3/s: the flow is still found, not refused.
TEST_F(CulvertTest, TinyHeadOnASmallBarrelStillGivesFlow) {
    barrel b;
    b.rise = 0.1;
    b.span = 0.1;
    b.fwd = 0.6;
    const double heads[] = {0.0102, 0.011, 0.015};
    for (const double E : heads) {
        culvert_flow f;
        const std::string out = captured([&] { f = flow_of(b, b.upinvert + E, 0.0); });
        EXPECT_EQ(out, "") << "E " << E;
        ASSERT_NE(f.flow, kCulvertFailed) << "E " << E;
        EXPECT_GT(f.flow, 0.0);
        EXPECT_LT(f.flow, 1e-4);
    }
}

// Full barrel with a submerged outlet (outlet control): the energy balance
// dH = (1/u^2 + 2g n^2 L / R^(4/3)) V^2 / 2g, entrance and exit losses in the
// coefficient u and the Manning friction loss h_f = n^2 L V^2 / R^(4/3) in SI
// units (full-flow outlet control, e.g. FHWA HDS-5, 2012, eq. 3.2 with k_u = 1);
// barrels of 15 m or less are taken without friction.
TEST_F(CulvertTest, SubmergedFullBarrelFollowsTheOutletControlBalance) {
    struct row {
        int type;
        double length, rise, span, n, u, full_area, radius;
    };
    const double round_area = 0.25 * kPi, box_area = 1.2 * 2.0;
    const row rows[] = {
        {kStructRoundCulvert, 20.0, 1.0, 1.0, 0.024, 0.8, round_area, 0.25},
        {kStructRoundCulvert, 10.0, 1.0, 1.0, 0.024, 0.8, round_area, 0.25},   // no friction
        {kStructRoundCulvert, 35.0, 1.0, 1.0, 0.013, 0.6, round_area, 0.25},
        {kStructRectCulvert, 30.0, 1.2, 2.0, 0.015, 0.7, box_area, 2.4 / 6.4},
        {kStructOvalCulvert, 25.0, 1.0, 1.6, 0.02, 0.75, 0.788 * 1.6, 0.299},
    };
    for (const row& r : rows) {
        barrel b;
        b.type = r.type;
        b.length = r.length;
        b.downinvert = b.upinvert - 0.02 * r.length;
        b.rise = r.rise;
        b.span = r.span;
        b.n = r.n;
        b.fwd = r.u;
        const double HW = b.upinvert + 2.0 * r.rise;
        const double TW = b.downinvert + 1.5 * r.rise;
        const double friction =
            r.length > 15.0 ? 2.0 * kGravity * r.n * r.n * r.length / std::pow(r.radius, 4.0 / 3.0)
                            : 0.0;
        const double expected =
            r.full_area * std::sqrt(2.0 * kGravity * (HW - TW) / (1.0 / (r.u * r.u) + friction));
        const culvert_flow f = flow_of(b, HW, TW);
        EXPECT_NEAR(f.flow, expected, 0.02 * expected) << "type " << r.type << " L " << r.length;
        EXPECT_NEAR(f.flow, expected, 1e-6 * expected) << "type " << r.type << " L " << r.length;
        EXPECT_EQ(f.regime, 4);
    }
}

// A long flat barrel (L > 40 D, slope below 0.01) is friction controlled:
// Q = A sqrt(h / (n^2 L / R^(4/3) + 1/2g)), the Manning loss plus one
// velocity head at the outlet; h is the head difference with the outlet
// above mid-height submerged, else the head over the outlet's mid-height.
TEST_F(CulvertTest, LongFlatBarrelFollowsTheFrictionForm) {
    struct row {
        int type;
        double rise, span, tail_depth;   // tailwater over the outlet invert, m
        double full_area, radius;
        int regime;
    };
    const row rows[] = {
        {kStructRoundCulvert, 1.0, 1.0, 0.8, 0.25 * kPi, 0.25, 4},
        {kStructRoundCulvert, 1.0, 1.0, 0.2, 0.25 * kPi, 0.25, 6},
        {kStructRectCulvert, 1.0, 2.5, 0.8, 2.5, 2.5 / 7.0, 4},   // a box keeps its own full area
        {kStructRectCulvert, 1.0, 2.5, 0.1, 2.5, 2.5 / 7.0, 6},
    };
    for (const row& r : rows) {
        barrel b;
        b.type = r.type;
        b.length = 120.0;
        b.downinvert = b.upinvert - 0.12;   // slope 0.001
        b.rise = r.rise;
        b.span = r.span;
        b.n = 0.015;
        const double HW = b.upinvert + 2.0 * r.rise;
        const double TW = b.downinvert + r.tail_depth;
        const double h = r.regime == 4 ? HW - TW : HW - (b.downinvert + 0.5 * r.rise);
        const double expected =
            r.full_area *
            std::sqrt(h / (b.n * b.n * b.length / std::pow(r.radius, 4.0 / 3.0) + 1.0 / (2.0 * kGravity)));
        const culvert_flow f = flow_of(b, HW, TW);
        EXPECT_NEAR(f.flow, expected, 1e-6 * expected) << "type " << r.type << " tail " << r.tail_depth;
        EXPECT_EQ(f.regime, r.regime);
    }

    // Part full with a free outlet: the section at half the head over the inlet.
    barrel b;
    b.length = 120.0;
    b.downinvert = b.upinvert - 0.12;
    b.n = 0.015;
    const double Hi = 0.9;
    const circle c = circle_at(1.0, 0.5 * Hi);
    const double R = c.area / c.perimeter;
    const double HW = b.upinvert + Hi, TW = b.downinvert - 1.0;
    const double expected = c.area * std::sqrt((HW - TW) / (b.n * b.n * b.length /
                                               std::pow(R, 4.0 / 3.0) + 1.0 / (2.0 * kGravity)));
    const culvert_flow f = flow_of(b, HW, TW);
    EXPECT_NEAR(f.flow, expected, 1e-6 * expected);
    EXPECT_EQ(f.regime, 2);
}

// Outlet partly full (orifice on the tailwater section) and the two free
// full-barrel forms: inlet orifice on the head over the inlet invert, or
// the outlet flowing full on the head over its crown; the smaller governs.
TEST_F(CulvertTest, PartFullAndOrificeRegimes) {
    barrel b;
    b.type = kStructRectCulvert;
    b.rise = 1.0;
    b.span = 2.0;
    b.fwd = 0.7;
    // Partly full: HW 1.2 m over the inlet, tailwater 0.9 m deep at the outlet.
    {
        const double HW = b.upinvert + 1.2, TW = b.downinvert + 0.9;
        const double expected = 0.7 * 2.0 * 0.9 * std::sqrt(2.0 * kGravity * (HW - TW));
        const culvert_flow f = flow_of(b, HW, TW);
        EXPECT_NEAR(f.flow, expected, 1e-9 * expected);
        EXPECT_EQ(f.regime, 3);
    }
    struct row {
        double drop;   // outlet invert below the inlet invert, m
        double head;   // headwater over the inlet invert, m
        int regime;
    };
    const row rows[] = {
        {0.2, 2.0, 6},   // head over the outlet crown 1.2 m < head over the inlet 2.0 m
        {1.5, 1.8, 5},   // a steep drop: head over the outlet crown 2.3 m > 1.8 m
    };
    for (const row& r : rows) {
        b.downinvert = b.upinvert - r.drop;
        const double HW = b.upinvert + r.head, TW = b.downinvert + 0.3;
        const double inlet = 0.7 * 2.0 * std::sqrt(2.0 * kGravity * r.head);
        const double outlet = 0.7 * 2.0 * std::sqrt(2.0 * kGravity * (HW - b.downinvert - 1.0));
        const culvert_flow f = flow_of(b, HW, TW);
        EXPECT_NEAR(f.flow, std::min(inlet, outlet), 1e-9 * inlet) << "drop " << r.drop;
        EXPECT_EQ(f.regime, r.regime) << "drop " << r.drop;
    }
}

TEST_F(CulvertTest, OrientationSignAndNoFlowCases) {
    barrel b;
    b.type = kStructRectCulvert;
    b.span = 2.0;
    b.inlet = 0.9;
    b.fwd = 0.8;
    b.rev = 0.5;
    // Reverse flow: the downstream level is the headwater, the reverse
    // coefficient applies and flow and regime are negative.
    {
        const double TW = b.downinvert + 2.1, HW = b.upinvert + 1.6;   // full, submerged
        const culvert_flow back = flow_of(b, HW, TW);
        const double expected = 0.5 * 2.0 * std::sqrt(2.0 * kGravity * (TW - HW));
        EXPECT_NEAR(back.flow, -expected, 1e-9 * expected);
        EXPECT_EQ(back.regime, -4);
    }
    struct row {
        const char* what;
        double HW, TW;
    };
    const row rows[] = {
        {"both below the inverts", 99.0, 99.5},
        {"headwater below the inlet", 99.9, 99.0},
        {"equal levels", 100.5, 100.5},
        {"equal levels, inlet control seen in reverse", 100.15, 100.15},
        {"inlet head under 1 cm", 100.005, 0.0},
    };
    for (const row& r : rows) {
        const culvert_flow f = flow_of(b, r.HW, r.TW);
        EXPECT_EQ(f.flow, 0.0) << r.what;
        EXPECT_EQ(f.regime, 0) << r.what;
    }
    // The same for a round barrel (the root-finder path): equal levels 0.35 m
    // above the lower invert and 0.05 m above the raised one.
    barrel r = b;
    r.type = kStructRoundCulvert;
    r.span = 1.0;
    r.upinvert = 100.3;
    r.downinvert = 100.0;
    EXPECT_EQ(flow_of(r, 100.35, 100.35).flow, 0.0);
}

// The round barrel given only by its diameter (width field) is the same
// barrel as with the rise given.
TEST_F(CulvertTest, RoundBarrelByDiameterAlone) {
    barrel with_rise, diameter_only;
    with_rise.rise = with_rise.span = 1.2;
    diameter_only.rise = 0.0;
    diameter_only.span = 1.2;
    const double levels[][2] = {{100.5, 0.0}, {101.5, 100.5}, {102.5, 99.9}, {102.0, 101.9}};
    for (const auto& l : levels) {
        const culvert_flow a = flow_of(with_rise, l[0], l[1]);
        const culvert_flow d = flow_of(diameter_only, l[0], l[1]);
        EXPECT_EQ(a.flow, d.flow);
        EXPECT_EQ(a.regime, d.regime);
        EXPECT_GT(a.flow, 0.0);
    }
}

// Barrels whose formulas would divide by zero are refused, naming the culvert.
TEST_F(CulvertTest, BadElementsAreRefused) {
    struct row {
        const char* what;
        barrel b;
        int element;
        const char* message;
    };
    barrel no_length, flat_box, narrow_box, no_diameter, oval_no_rise, weir;
    no_length.length = 0.0;
    flat_box.type = kStructRectCulvert;
    flat_box.rise = 0.0;
    narrow_box.type = kStructRectCulvert;
    narrow_box.span = 0.0;
    no_diameter.rise = 0.0;
    no_diameter.span = 0.0;
    oval_no_rise.type = kStructOvalCulvert;
    oval_no_rise.rise = 0.0;
    weir.type = kStructWeir;
    const row rows[] = {
        {"zero length", no_length, 1,
         "Problem in culv_flow (ex_flow_route).  The culvert barrel length\n"
         "in culvert number 1 is 0.0.  This is not possible. Program terminated.\n"},
        {"zero rise", flat_box, 1, "rise (height) or span\n(width, diameter) in culvert number 1 is 0.0."},
        {"zero span", narrow_box, 1, "in culvert number 1 is 0.0."},
        {"zero diameter", no_diameter, 1, "in culvert number 1 is 0.0."},
        {"oval without rise", oval_no_rise, 1, "in culvert number 1 is 0.0."},
        {"element out of range", barrel{}, 5, "Culvert number 5 does not exist"},
        {"not a culvert", weir, 1, "Structure element number 1 is of\ntype 1, not a culvert."},
    };
    for (const row& r : rows) {
        culvert_flow f;
        const std::string out = captured([&] { f = culv_flow(culvert_list(r.b), r.element, 101.5, 99.0); });
        EXPECT_EQ(f.flow, kCulvertFailed) << r.what;
        EXPECT_NE(out.find(r.message), std::string::npos) << r.what << ": " << out;
    }
}

// Over a grid of levels every barrel kind gives a finite flow, never a failure,
// and the flow takes the sign of the level difference.
TEST_F(CulvertTest, EveryRegimeStaysFiniteOverALevelGrid) {
    barrel kinds[4];
    kinds[0].rise = kinds[0].span = 0.6;
    kinds[1].type = kStructRectCulvert;
    kinds[1].span = 1.8;
    kinds[1].inlet = 0.9;
    kinds[2].type = kStructOvalCulvert;
    kinds[2].span = 1.5;
    kinds[3] = kinds[0];
    kinds[3].length = 60.0;   // long flat barrel
    kinds[3].downinvert = 99.95;
    for (const barrel& b : kinds) {
        for (double HW = 99.0; HW <= 103.0; HW += 0.037) {
            for (double TW = 99.0; TW <= 103.0; TW += 0.041) {
                const culvert_flow f = flow_of(b, HW, TW);
                ASSERT_TRUE(std::isfinite(f.flow)) << HW << " " << TW;
                ASSERT_NE(f.flow, kCulvertFailed) << HW << " " << TW;
                if (f.flow != 0.0) {
                    ASSERT_EQ(f.flow > 0.0, HW > TW) << HW << " " << TW;
                }
                ASSERT_TRUE(std::isfinite(f.area) && std::isfinite(f.depth));
            }
        }
    }
    EXPECT_EQ(error_record.code, 0);
}

TEST_F(CulvertTest, SectionTermsOfTheThreeKinds) {
    // Circle against the independent geometry, inside and at the edges.
    const double depths[] = {0.05, 0.3, 0.5, 0.77, 0.99};
    for (const double y : depths) {
        const culvert_section s = compute_culvert_section(1.0, y, 1.0, kCulvertCircular);
        const circle c = circle_at(1.0, y);
        EXPECT_NEAR(s.area, c.area, 1e-9);
        EXPECT_NEAR(s.perimeter, c.perimeter, 1e-9);
        EXPECT_NEAR(s.top_width, c.top_width, 1e-9);
        EXPECT_NEAR(compute_culvert_area(kCulvertCircular, 1.0, 1.0, y), c.area, 1e-9);
    }
    const culvert_section full = compute_culvert_section(1.0, 1.3, 1.0, kCulvertCircular);
    EXPECT_NEAR(full.area, 0.25 * 3.1415926, 1e-12);
    EXPECT_EQ(full.top_width, 0.0);
    EXPECT_EQ(compute_culvert_section(1.0, -0.1, 1.0, kCulvertCircular).area, 0.0);
    EXPECT_NEAR(compute_culvert_area(kCulvertCircular, 1.0, 1.0, 1.5), 0.25 * kPi, 1e-9);

    // Box.
    const culvert_section part = compute_culvert_section(1.5, 0.4, 2.0, kCulvertBox);
    EXPECT_DOUBLE_EQ(part.area, 0.8);
    EXPECT_DOUBLE_EQ(part.perimeter, 2.8);
    EXPECT_DOUBLE_EQ(part.top_width, 2.0);
    const culvert_section box_full = compute_culvert_section(1.5, 2.0, 2.0, kCulvertBox);
    EXPECT_DOUBLE_EQ(box_full.area, 3.0);
    EXPECT_DOUBLE_EQ(box_full.perimeter, 7.0);
    EXPECT_EQ(box_full.top_width, 0.0);
    EXPECT_EQ(compute_culvert_area(kCulvertBox, 1.5, 2.0, -0.2), 0.0);

    // Oval: the fits at the full rise, and no negative area near the invert.
    const culvert_section oval = compute_culvert_section(1.0, 1.0, 1.6, kCulvertOval);
    EXPECT_NEAR(oval.area, 0.794201 * 1.6, 1e-5);
    EXPECT_NEAR(oval.area / oval.perimeter, 0.319622, 1e-5);
    for (double y = 0.0; y <= 1.2; y += 0.005) {
        const culvert_section s = compute_culvert_section(1.0, y, 1.6, kCulvertOval);
        EXPECT_GE(s.area, 0.0) << y;
        EXPECT_GE(s.perimeter, 0.0) << y;
    }
}

}  // namespace
