// Channel water-quality routing against analytic results: a Gaussian pulse
// carried by steady flow in a prismatic channel, first-order decay in a
// still node, and the mass rules (dry nodes, limited losses, structures).
#include <cmath>

#include "conc_test_support.h"

namespace {

using conc_test::ConcTest;

constexpr double kPi = 3.14159265358979323846;

struct pulse_case {
    const char* name;
    double dx;          // node spacing, m
    double q;           // steady discharge, m3/s
    double x0;          // initial centroid, m
    double centroid;    // expected centroid after 2000 s, m
};

// Centroid (m), variance (m2), total (g) and peak line density (g/m) of the
// node masses of link 1, node j at (j - 0.5) x dx.
struct moments {
    double total = 0.0, centroid = 0.0, variance = 0.0, peak = 0.0;
};

class ChannelPulse : public ConcTest {
protected:
    moments measure(int nodes, double dx) {
        moments m;
        for (int j = 1; j <= nodes; ++j) {
            const double x = (j - 0.5) * dx;
            m.total += mass(1, j);
            m.centroid += mass(1, j) * x;
            m.peak = std::max(m.peak, mass(1, j) / dx);
        }
        m.centroid /= m.total;
        for (int j = 1; j <= nodes; ++j) {
            const double d = (j - 0.5) * dx - m.centroid;
            m.variance += mass(1, j) * d * d;
        }
        m.variance /= m.total;
        return m;
    }
};

// 1000 g with sigma 25 m in a channel of area 2 m2 and D 2 m2/s, routed 2000 s
// in 60 s intervals. Reference: the advection-dispersion solution whose
// variance grows by 2t(D + u DX/2 + u^2 dt/2), the diffusion of the upwind
// fluxes and of the implicit corrector at the sub-step dt used (6 s in case a:
// 11875 m2; case b 8706 m2, 8625 with D alone). Centroid within 0.01 DX,
// variance and peak within 1 %, mass within 1e-9.
TEST_F(ChannelPulse, GaussianPulseMovesAndSpreadsAsTheSchemeDiffusionPredicts) {
    const pulse_case cases[] = {
        {"a: DX 5 m, Q 0.5 m3/s", 5.0, 0.5, 250.0, 750.0},
        {"b: DX 2 m, Q 0.04 m3/s", 2.0, 0.04, 500.0, 540.0},
    };
    const double A = 2.0, D = 2.0, sigma0 = 25.0, total = 1000.0, length = 1500.0;
    for (const pulse_case& c : cases) {
        SCOPED_TRACE(c.name);
        const int nodes = static_cast<int>(length / c.dx);
        chain({nodes}, {c.dx}, {0x04}, A);
        rs().chan_disp_coef = D;
        init_channel_constituents(rs());
        double sum = 0.0;
        for (int j = 1; j <= nodes; ++j) {
            const double x = (j - 0.5) * c.dx;
            mass(1, j) = std::exp(-0.5 * (x - c.x0) * (x - c.x0) / (sigma0 * sigma0));
            sum += mass(1, j);
        }
        for (int j = 1; j <= nodes; ++j) mass(1, j) *= total / sum;
        set_conc_from_mass();
        const moments start = measure(nodes, c.dx);

        const double u = c.q / A;
        double t = 0.0, spread = 0.0;   // s, m2
        while (t < 2000.0 - 1e-9) {
            const double x = std::min(60.0, 2000.0 - t);
            for (int j = 1; j <= nodes; ++j) rs().qp_vol(j, 1) = c.q * x;
            const int steps = route_channel_water_quality(rs(), 1, x);
            ASSERT_GE(steps, 1);
            const double h = x / steps;
            if (x == 60.0 && c.dx == 5.0) {
                EXPECT_DOUBLE_EQ(h, 6.0);   // the dispersion limit
            }
            spread += 2.0 * x * (D + u * c.dx / 2.0 + u * u * h / 2.0);
            t += x;
        }
        const moments end = measure(nodes, c.dx);
        EXPECT_NEAR(end.total, total, 1e-9 * total);
        EXPECT_NEAR(end.centroid, c.centroid, 0.01 * c.dx);
        EXPECT_NEAR(end.centroid - start.centroid, u * 2000.0, 0.01 * c.dx);
        const double variance = start.variance + spread;
        EXPECT_NEAR(end.variance, variance, 0.01 * variance);
        const double peak = total / std::sqrt(2.0 * kPi * variance);
        EXPECT_NEAR(end.peak, peak, 0.01 * peak);
        for (int j = 1; j <= nodes; ++j) ASSERT_TRUE(std::isfinite(conc(1, j))) << j;
    }
}

// Decay in a still node with k = 8.64/day (1e-4/s), interval 10 s: after
// 3600 s the mass ratio is (1 - k dt)^360 = 0.697551, within 2e-4 of
// exp(-0.36) = 0.697676; at 5 s the error is about half.
TEST_F(ConcTest, StillChannelNodeDecaysAtTheFirstOrderRate) {
    double error[2] = {0.0, 0.0};
    const double steps[2] = {10.0, 5.0};
    for (int k = 0; k < 2; ++k) {
        chain({3}, {10.0}, {0x04}, 2.0);
        rs().chan_decay_coef = 8.64;
        rs().time = conc_test::kJulianStart;
        rs().con_chan_last = rs().time;
        for (int j = 1; j <= 3; ++j) mass(1, j) = 40.0;
        set_conc_from_mass();
        const double dt = steps[k];
        const int n = static_cast<int>(3600.0 / dt + 0.5);
        for (int s = 1; s <= n; ++s) {
            rs().time = conc_test::kJulianStart + s * dt / 86400.0;
            rs().con_chan_next = rs().time;
            rs().chan_next = rs().time + dt / 86400.0;
            add_channel_lateral_constituents(rs());
            route_channel_constituents(rs());
        }
        const double ratio = channel_mass() / 120.0;
        EXPECT_NEAR(ratio, std::exp(-0.36), 2e-4) << dt;
        // The step lengths come from Julian-day clocks (about 4e-5 s resolution).
        EXPECT_NEAR(ratio, std::pow(1.0 - 1e-4 * dt, n), 1e-5) << dt;
        EXPECT_NEAR(rs().con_tot.chan_decay[1], (120.0 - channel_mass()) / 1000.0, 1e-12);
        error[k] = std::fabs(ratio - std::exp(-0.36));
    }
    EXPECT_NEAR(error[1] / error[0], 0.5, 0.05);
}

// Mass rules of a node: a node without water keeps its mass (concentration
// 0); a decay loss larger than the node's mass takes the mass and no more;
// an outlet that passes ten times the outlet node's water in the interval
// drains its mass and books what left, never more than it held.
TEST_F(ConcTest, DryNodesKeepTheirMassAndLossesStopAtWhatANodeHolds) {
    chain({3}, {10.0}, {0x04}, 2.0);
    rs().area(2, 1) = 0.0;
    rs().area_old(2, 1) = 0.0;
    mass(1, 1) = 1.0;
    mass(1, 2) = 5.0;
    mass(1, 3) = 3.0;
    set_conc_from_mass();
    rs().con_chan.decay_mass[1][at(1, 1)] = 10.0;
    rs().con_chan.decay_interval = 60.0;
    for (int j = 1; j <= 3; ++j) rs().con_chan.src[at(1, j)] = balance_node_sources(rs(), 1, 1, j, 60.0);
    EXPECT_DOUBLE_EQ(rs().con_chan.step_decay, 1.0);
    EXPECT_DOUBLE_EQ(rs().con_chan.decay_mass[1][at(1, 1)], 0.0);
    rs().qp_vol(3, 1) = 10.0 * 2.0 * 10.0;   // m3 through the outlet face
    route_channel_water_quality(rs(), 1, 60.0);
    EXPECT_NEAR(mass(1, 1), 0.0, 1e-12);
    EXPECT_DOUBLE_EQ(mass(1, 2), 5.0);
    EXPECT_DOUBLE_EQ(conc(1, 2), 0.0);
    EXPECT_GE(mass(1, 3), 0.0);
    EXPECT_LT(mass(1, 3), 1e-3);
    EXPECT_LE(rs().con_chan.step_out, 3.0);
    EXPECT_NEAR(rs().con_chan.step_out + mass(1, 3), 3.0, 1e-12);
    EXPECT_NEAR(channel_mass() + rs().con_chan.step_out, 8.0, 1e-12);
}

// Mass that leaves the node above a structure link enters the first node of
// the link below it in the same interval; the network holds its mass.
TEST_F(ConcTest, StructureLinksPassMassToTheLinkBelow) {
    chain({4, 2, 4}, {10.0, 10.0, 10.0}, {0x04, 0x40, 0x04}, 2.0);
    for (int j = 1; j <= 4; ++j) mass(1, j) = 20.0;
    set_conc_from_mass();
    const double q = 0.1, x = 60.0;   // m3/s, s
    for (int l = 1; l <= 3; ++l)
        for (int j = 1; j <= rs().nx[l]; ++j) rs().qp_vol(j, l) = q * x;
    rs().qp_vol(4, 3) = 0.0;   // nothing leaves the outlet in this test
    const double before = channel_mass();
    route_channel_water_quality(rs(), 1, x);
    EXPECT_NEAR(channel_mass(), before, 1e-12 * before);
    double below = 0.0;
    for (int j = 1; j <= 4; ++j) below += mass(3, j);
    EXPECT_GT(mass(3, 1), 0.0);
    // About q x c x interval left link 1 (c = 1 g/m3 at its last node).
    EXPECT_NEAR(below, q * x * 1.0, 0.1 * q * x);
    EXPECT_DOUBLE_EQ(mass(2, 1), 0.0);
}

// With D 2 m2/s and DX 2 m the dispersion limit keeps a long interval finite
// and positive (without it the scheme blows up within 600 s).
TEST_F(ConcTest, DispersionLimitKeepsAStillChannelFinite) {
    chain({50}, {2.0}, {0x04}, 2.0);
    rs().chan_disp_coef = 2.0;
    init_channel_constituents(rs());
    mass(1, 25) = 100.0;
    set_conc_from_mass();
    for (int k = 0; k < 10; ++k) {
        const int steps = route_channel_water_quality(rs(), 1, 60.0);
        EXPECT_EQ(steps, 60);   // D dt / DX2 <= 0.5 gives dt = 1 s
    }
    for (int j = 1; j <= 50; ++j) {
        ASSERT_TRUE(std::isfinite(mass(1, j)));
        ASSERT_GE(mass(1, j), 0.0);
    }
    EXPECT_NEAR(channel_mass(), 100.0, 1e-9);
    EXPECT_DOUBLE_EQ(rs().con_chan.step_clip, 0.0);
}

}  // namespace
