// Lakes of the channel network as constituent stores on hand-made chains:
// the well-mixed lake between two links against its analytic filling curve,
// mass conservation through it, decay in a still lake, and nodes the lake
// takes and gives back.
#include <cmath>

#include "conc_test_support.h"
#include "quality/conc_lakes.h"

namespace {

using conc_test::ConcTest;

constexpr int kChannel = 0x04;
constexpr int kLake = 0x20;

class ChannelLake : public ConcTest {
protected:
    // Chain link 1 (3 nodes, 10 m) -> lake link 2 (lake 1 holding `volume`
    // m3) [-> link 3 (3 nodes)], every node `area` m2; one contaminant.
    void lake_chain(bool below, double area, double volume) {
        if (below)
            chain({3, 1, 3}, {10.0, 10.0, 10.0}, {kChannel, kLake, kChannel}, area);
        else
            chain({3, 1}, {10.0, 10.0}, {kChannel, kLake}, area);
        run_state& r = rs();
        r.channel_lakes = 1;
        r.num_channel_lakes = 1;
        r.lake2link.assign(r.links + 1, 0);
        r.lake2link[2] = 1;
        r.lake_volume = {0.0, volume};
        r.lake_mask.assign(1, 0);
        r.con_chan.nx_seen.assign(r.nx.begin(), r.nx.end());
        init_lake_constituents(r);
        ASSERT_TRUE(lake_stores_on(r));
        r.time = conc_test::kJulianStart;
        r.con_chan_last = r.time;
    }
    // One routing interval of x s.
    void route(double x) {
        run_state& r = rs();
        r.time += x / 86400.0;
        r.con_chan_next = r.time;
        r.chan_next = r.time + x / 86400.0;
        route_channel_constituents(r);
    }
    double& lake_mass() { return rs().con_lake.mass[1][1]; }
    double lake_conc() { return rs().con_lake.conc[1][1]; }
    double link_mass(int l) {
        double s = 0.0;
        for (int j = 1; j <= rs().nx[l]; ++j) s += mass(l, j);
        return s;
    }
};

// Link 1 held at C_in = 10 g/m3 passes Q = 0.1 m3/s into a lake of V =
// 1000 m3 that passes Q on to link 3: C(t) = C_in (1 - exp(-Q t / V)). The
// lake takes one explicit update per interval, C_in (1 - (1 - Q x / V)^n),
// within 2e-3 C_in of it over 2 V / Q at 10 s; the error halves at 5 s. What
// entered the lake is in the lake or in link 3.
TEST_F(ChannelLake, WellMixedLakeFillsAlongTheAnalyticCurve) {
    const double c_in = 10.0, V = 1000.0, Q = 0.1, big = 1000.0;   // g/m3, m3, m3/s, m2
    const double steps[2] = {10.0, 5.0};
    double error[2] = {0.0, 0.0};
    for (int k = 0; k < 2; ++k) {
        lake_chain(true, 2.0, V);
        const double x = steps[k];
        for (int j = 1; j <= 3; ++j) rs().area(j, 1) = rs().area_old(j, 1) = big;
        const int n = static_cast<int>(2.0 * V / Q / x + 0.5);
        double entered = 0.0;   // g
        for (int s = 1; s <= n; ++s) {
            for (int j = 1; j <= 3; ++j) {
                conc(1, j) = c_in;
                mass(1, j) = c_in * big * 10.0;
                rs().qp_vol(j, 1) = Q * x;
            }
            rs().qp_vol(1, 2) = Q * x;   // the lake's outflow into link 3
            for (int j = 1; j <= 2; ++j) rs().qp_vol(j, 3) = Q * x;
            route(x);
            entered += Q * x * c_in;
            const double exact = c_in * (1.0 - std::exp(-Q * s * x / V));
            ASSERT_NEAR(lake_conc(), exact, 2e-3 * c_in) << "t " << s * x;
            error[k] = std::max(error[k], std::fabs(lake_conc() - exact));
        }
        EXPECT_NEAR(lake_mass() + link_mass(3), entered, 1e-9 * entered);
        EXPECT_GT(link_mass(3), 0.0);
    }
    EXPECT_NEAR(error[1] / error[0], 0.5, 0.05);
}

// A still lake starting at INIT_CHAN_CONC 4 g/m3 over 500 m3 decays with the
// channel coefficient, k = 8.64/day, interval 10 s: (1 - k dt)^360 =
// 0.697551 after 3600 s, within 2e-4 of exp(-0.36); booked as decayed.
TEST_F(ChannelLake, StillLakeDecaysAtTheChannelRate) {
    rs().init_chan_conc = 4.0;
    rs().chan_decay_coef = 8.64;
    lake_chain(false, 2.0, 500.0);
    const double start = lake_mass();
    EXPECT_NEAR(start, 2000.0, 1e-9);
    EXPECT_NEAR(rs().con_tot.lake_init[1] * 1000.0, start, 1e-9);
    for (int s = 0; s < 360; ++s) route(10.0);
    // The step lengths come from Julian-day clocks (about 4e-5 s resolution).
    EXPECT_NEAR(lake_mass() / start, 0.697551, 1e-5);
    EXPECT_NEAR(lake_mass() / start, std::exp(-0.36), 2e-4);
    EXPECT_NEAR(rs().con_tot.lake_decay[1] * 1000.0, start - lake_mass(), 1e-9 * start);
}

// A node the lake takes (its link keeps one node fewer) hands the lake its
// mass and the lateral mass on its way to it; given back with 20 m3 of lake
// water, it takes the lake's concentration for that water from the lake.
TEST_F(ChannelLake, NodesTakenAndGivenBackCarryTheirMass) {
    lake_chain(false, 2.0, 100.0);
    run_state& r = rs();
    mass(1, 3) = 50.0;
    r.con_chan.qlat_mass[1][at(1, 3)] = 5.0;
    set_conc_from_mass();
    r.taken_by_lake.assign(r.maxnodes + 2, r.links + 2, 0);
    r.status_node.assign(r.maxnodes + 2, r.links + 2, 0);
    r.taken_by_lake(3, 1) = 1;
    r.status_node(3, 1) = 1;
    r.lake_volume[1] += 20.0;
    r.area(3, 1) = r.area_old(3, 1) = 0.0;
    r.nx[1] = 2;
    route(10.0);
    EXPECT_NEAR(lake_mass(), 55.0, 1e-12);
    EXPECT_NEAR(lake_conc(), 55.0 / 120.0, 1e-12);
    EXPECT_DOUBLE_EQ(r.con_chan.mass[1][at(1, 3)], 0.0);
    EXPECT_DOUBLE_EQ(r.con_chan.qlat_mass[1][at(1, 3)], 0.0);

    r.nx[1] = 3;
    r.status_node(3, 1) = 0;
    r.taken_by_lake(3, 1) = 0;
    r.area(3, 1) = r.area_old(3, 1) = 2.0;
    r.lake_volume[1] -= 20.0;
    route(10.0);
    EXPECT_NEAR(mass(1, 3), 55.0 / 120.0 * 20.0, 1e-9);
    EXPECT_NEAR(lake_mass() + mass(1, 3), 55.0, 1e-12);
}

// An outflow of 60 m3 from a lake of 10 m3 at 3 g/m3 gives link 3 the
// lake's 30 g and no more: the lake ends empty and nothing is made.
TEST_F(ChannelLake, ALakeNeverGivesMoreThanItHolds) {
    rs().init_chan_conc = 3.0;
    lake_chain(true, 2.0, 10.0);
    for (int j = 1; j <= 3; ++j) mass(1, j) = conc(1, j) = 0.0;
    rs().qp_vol(1, 2) = 60.0;
    rs().lake_volume[1] = 0.0;   // the channel step gave its water away
    const double below = link_mass(3);   // link 3 starts at 3 g/m3 too
    route(60.0);
    EXPECT_DOUBLE_EQ(lake_mass(), 0.0);
    EXPECT_NEAR(link_mass(3) - below, 30.0, 1e-12);
    EXPECT_DOUBLE_EQ(rs().con_tot.chan_clip[1], 0.0);
}

// The lake's own water paths: point inputs bring their concentration and
// withdrawals take the lake's; the lake-aquifer exchange (the call the
// water exchange makes per cell and volume) brings the cell's groundwater
// concentration and loses the lake's, never more than the lake holds; each
// is booked on its path and the lake's mass follows exactly.
TEST_F(ChannelLake, PointInputsAndTheAquiferMoveTheirWatersMass) {
    rs().init_chan_conc = 3.0;
    lake_chain(false, 2.0, 1000.0);
    rs().GNUM = 1;   // one cell under the lake, outside it
    rs().lake_mask.assign(2, 0);
    rs().contam_gw_conc.add_rows(1, 1);
    rs().contam_gw_conc.row(1)[1] = 7.0;   // g/m3
    ASSERT_NEAR(lake_mass(), 3000.0, 1e-9);
    const double in = 5.0;   // g/m3 of the point
    lake_point_constituents(rs(), 1, 10.0, &in);
    EXPECT_NEAR(lake_mass(), 3050.0, 1e-9);
    lake_aquifer_constituents(rs(), 1, 1, 20.0);
    EXPECT_NEAR(lake_mass(), 3190.0, 1e-9);
    set_lake_conc(rs(), 1, 1);
    const double c = lake_conc();
    lake_point_constituents(rs(), 1, -4.0, &in);   // a withdrawal: the lake's concentration
    lake_aquifer_constituents(rs(), 1, 1, -6.0);
    EXPECT_NEAR(lake_mass(), 3190.0 - 10.0 * c, 1e-9);
    EXPECT_NEAR(rs().con_tot.lake_point[1] * 1000.0, 50.0 - 4.0 * c, 1e-9);
    EXPECT_NEAR(rs().con_tot.lake_gw[1] * 1000.0, 140.0 - 6.0 * c, 1e-9);
    // A loss larger than the lake's mass takes the mass and no more.
    lake_aquifer_constituents(rs(), 1, 1, -1e9);
    EXPECT_DOUBLE_EQ(lake_mass(), 0.0);
}

}  // namespace
