// The sorbed-mass step on a hand-built eroding plane driven by the overland
// sediment step: after every step each wet cell holds the linear isotherm
// on every sorbing class and nothing on a flagged class; water + sorbed +
// soil + outlet stays the initial mass, also with a channel-network lake on
// the plane; erosion never takes more than the soil layer's sorbed mass;
// without sediment-bound constituents nothing changes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "../overland/overland_grid.h"
#include "quality/constituent_setup.h"
#include "quality/constituent_steps.h"
#include "quality/sediment.h"
#include "quality/sediment_bound_step.h"
#include "quality/sediment_step.h"

namespace {

constexpr int kClasses = 3;
constexpr double kArea = 400.0;   // cell area of the 20 m grid, m2

struct bound_case {
    const char* name;
    double kd;                 // l/kg
    std::vector<double> fbind; // binding column per class 1..3 (nonzero: the class carries none)
    double layer_conc;         // constituent on the soil layer's solids, g per m3 of layer
    bool soil;                 // soil constituent layer present
    bool outlet;               // the overland outlet drains the grid (no channels)
};

// A 4 x 3 plane with three size classes (0.01, 0.1, 1 mm; soil shares 0.5,
// 0.3, 0.2), one contaminant at 2 g/m3 in the water and a 0.1 m soil layer
// of porosity 0.4 whose mass is 40 % dissolved.
struct bound_grid : overland_grid {
    explicit bound_grid(const bound_case& c) : overland_grid({"111", "111", "111", "111"}, 20.0) {
        ov_sed_record& s = rs->ov_sed;
        s.classes = kClasses;
        s.formula = 2;
        s.sand_size = 0.0625;
        s.water_kin_viscosity = water_viscosity(20.0);
        s.spec_grav = {0, 2.65, 2.4, 2.65};
        s.part_diam = {0, 0.01, 0.1, 1.0};
        s.f_bind = {0, c.fbind[0], c.fbind[1], c.fbind[2]};
        size_sediment_record(s, rs->GNUM);
        derive_class_properties(s);
        const size_t size = static_cast<size_t>(rs->GNUM) + 1;
        s.splash_K.assign(size, 60.0);
        s.sed_K.assign(size, 1.0);
        s.detach_coef.assign(size, 1e-5);
        s.detach_exp.assign(size, 1.0);
        s.detach_crit.assign(size, 0.0);
        const double shares[kClasses + 1] = {0, 0.5, 0.3, 0.2};
        for (int k = 1; k <= rs->GNUM; ++k)
            for (int j = 1; j <= kClasses; ++j) s.soil_fract[at(k, j)] = shares[j];
        s.on = 1;
        rs->cell_rain_rate.assign(size, 0.0);
        rs->chan_explic = c.outlet ? 0 : 1;
        rs->outlet_cell = c.outlet ? 11 : 0;
        rs->outslope = 0.05;

        rs->overland_constituents = 1;
        rs->sediment_contam = 1;
        rs->soil_con_trans = c.soil ? 1 : 0;
        alloc_constituent_arrays(*rs, 1);
        rs->water_soil_partition_coef.grow(1);
        rs->water_soil_partition_coef[1] = c.kd;
        rs->con.layer_thickness = 0.1;
        rs->phi.assign(size, 0.4);
        rs->thi.assign(size, 0.2);
        set_flow(0);
        for (int k = 1; k <= rs->GNUM; ++k) {
            rs->con.conc[1][k] = 2.0;
            rs->con.mass[1][k] = 2.0 * rs->ov_depth[k] * kArea;
            if (c.soil) {
                rs->con.layer_mass[1][k] = c.layer_conc * 0.1 * kArea;
                // theta 0.2 over porosity 0.4: the soil Kd that leaves 40 % dissolved.
                rs->con.kd[1][k] = 0.3 / (0.6 * 2.65);
                rs->con.land[1][k] = rs->con.layer_mass[1][k];
            } else {
                rs->con.land[1][k] = 5.0;
            }
        }
        rs->time_tolerance = 1e-6;
        init_sediment_bound_state(*rs);
    }
    static size_t at(int cell, int j) { return static_cast<size_t>(cell) * (kClasses + 1) + j; }

    // Depths and face flows of a plane draining south, rising and falling.
    void set_flow(int step) {
        const double scale = 0.5 + 0.5 * std::sin(0.3 * step);
        for (int k = 1; k <= rs->GNUM; ++k) {
            const int row = (k - 1) / rs->cols + 1, col = (k - 1) % rs->cols + 1;
            rs->elevation[k] = 100.0 - 0.05 * 20.0 * row;
            rs->ov_depth[k] = 0.002 + 0.004 * row * scale;
            rs->ov_qy[k] = rs->belowcon[k] ? 0.002 * row * scale : 0.0;
            rs->ov_qx[k] = rs->rightcon[k] ? (col < 2 ? 0.0005 : -0.0005) * scale : 0.0;
            rs->cell_rain_rate[k] = step < 10 ? 3e-5 * (1 + col) : 0.0;
        }
        rs->outlet_flow = 0.01 * scale;
    }

    // One overland step of 10 s; every `every`-th step the sorbed mass follows.
    void step(int n, int every) {
        set_flow(n);
        // Julian days from 1: a clock at 0 is one never set, never due.
        rs->time = n + 1.0;
        step_overland_sediment(*rs, 10.0);
        if (n % every == 0) {
            rs->ov_con_transport_next = rs->time;
            step_sediment_bound_sources(*rs);
        }
    }

    // Constituent held in the water, on the sediment and in the soil, and
    // gone through the outlet, g.
    double held() const {
        double m = 0.0;
        for (int k = 1; k <= rs->GNUM; ++k) m += rs->con.mass[1][k] + rs->con.land[1][k];
        return m + sorbed_overland_mass(*rs, 1) + rs->con_tot.sed_out[1] * 1000.0;
    }
};

const std::vector<bound_case> kCases = {
    {"soil layer, every class sorbs", 50.0, {0, 0, 0}, 30.0, true, false},
    {"soil layer, middle class flagged", 400.0, {0, 1, 0}, 30.0, true, false},
    {"soil layer, outlet drains the grid", 20.0, {0, 0, 0}, 80.0, true, true},
    {"no soil layer: deposits go to the land store", 100.0, {0, 0, 1}, 0.0, false, true},
    {"strong sorption", 1e4, {0, 0, 0}, 5.0, true, false},
    {"Kd 0: eroded mass all goes into the water", 0.0, {0, 0, 0}, 30.0, true, false},
};

}  // namespace

// Reference: sorbed mass per gram of class sediment / dissolved concentration
// = Kd x 1e-6 m3/g (Kd l/kg), to 1e-12 relative, on every wet cell and class
// with suspended sediment; 0 on flagged classes.
TEST(SedimentBoundStep, EveryStepLeavesTheLinearIsotherm) {
    for (const bound_case& c : kCases) {
        SCOPED_TRACE(c.name);
        bound_grid g(c);
        run_state& rs = *g.rs;
        const sed_bound_record& sb = rs.sed_bound;
        ASSERT_EQ(sb.on, 1);
        int checked = 0;
        double most = 0.0;   // largest sorbed mass seen, g
        for (int n = 0; n < 20; ++n) {
            g.step(n, 2);
            if (n % 2 != 0) continue;
            most = std::max(most, sorbed_overland_mass(rs, 1));
            for (int k = 1; k <= rs.GNUM; ++k) {
                const double h = rs.ov_depth[k];
                const double dissolved = rs.con.mass[1][k] / (h * kArea);   // g/m3
                for (int j = 1; j <= kClasses; ++j) {
                    const double sk = sb.sorbed_conc[1][g.at(k, j)];   // g per m3 of sediment
                    if (c.fbind[j - 1] != 0.0) {
                        EXPECT_EQ(sk, 0.0);
                        continue;
                    }
                    if (!(rs.ov_sed.suspended[g.at(k, j)] > 1e-16)) continue;
                    const double ratio = sk / rs.ov_sed.particle_density[j] / dissolved;
                    EXPECT_NEAR(ratio, c.kd * 1e-6, 1e-12 * c.kd * 1e-6)
                        << "cell " << k << " class " << j;
                    ++checked;
                }
            }
        }
        EXPECT_GT(checked, 20);
        if (c.kd > 0.0) EXPECT_GT(most, 0.0);
        else EXPECT_EQ(most, 0.0);
    }
}

// Water + sorbed + soil (or land) + outlet = initial, 1e-12 relative, after
// every step; the soil layer never goes negative; eroded sediment took
// sorbed mass from the layer only when there is one; the outlet case sends
// sorbed mass out.
TEST(SedimentBoundStep, MassStaysWhereItIsBooked) {
    for (const bound_case& c : kCases) {
        SCOPED_TRACE(c.name);
        bound_grid g(c);
        run_state& rs = *g.rs;
        const double initial = g.held();
        ASSERT_GT(initial, 0.0);
        for (int n = 0; n < 30; ++n) {
            g.step(n, 3);
            ASSERT_NEAR(g.held(), initial, 1e-12 * initial) << "step " << n;
            for (int k = 1; k <= rs.GNUM; ++k) {
                ASSERT_GE(rs.con.layer_mass[1][k], 0.0);
                ASSERT_GE(rs.con.mass[1][k], 0.0);
            }
        }
        const constituent_totals& t = rs.con_tot;
        if (c.soil) EXPECT_GT(t.sed_from_soil[1], 0.0);
        else EXPECT_EQ(t.sed_from_soil[1], 0.0);
        if (c.kd > 0.0) EXPECT_GT(t.sed_to_soil[1], 0.0);
        else EXPECT_EQ(t.sed_to_soil[1], 0.0);   // nothing sorbed settles back
        if (c.outlet) EXPECT_GT(t.sed_out[1], 0.0);
        else EXPECT_EQ(t.sed_out[1], 0.0);
    }
}

// A layer holding little sorbed mass under heavy erosion: the eroded
// sediment takes the layer's sorbed mass (layer mass x (1 - dissolved
// share)) and no more, so the layer keeps its dissolved part.
TEST(SedimentBoundStep, ErosionTakesAtMostTheLayersSorbedMass) {
    bound_case c = kCases[0];
    bound_grid g(c);
    run_state& rs = *g.rs;
    // A layer 1e-7 m thick: its solids are far less than one step erodes.
    rs.con.layer_thickness = 1e-7;
    std::vector<double> before(static_cast<size_t>(rs.GNUM) + 1);
    for (int k = 1; k <= rs.GNUM; ++k) before[k] = rs.con.layer_mass[1][k];
    g.step(0, 1);
    double taken = 0.0;
    for (int k = 1; k <= rs.GNUM; ++k) {
        // What left the layer is at most its sorbed part (deposits only add).
        EXPECT_GE(rs.con.layer_mass[1][k], 0.4 * before[k] * (1.0 - 1e-12)) << "cell " << k;
        taken += before[k] * 0.6;
    }
    EXPECT_LE(rs.con_tot.sed_from_soil[1] * 1000.0, taken * (1.0 + 1e-12));
    // The erosion was heavy enough to empty most layers of their sorbed part.
    EXPECT_GT(rs.con_tot.sed_from_soil[1] * 1000.0, 0.5 * taken);
}

// With the card off, or with every class flagged (no sorbing solids in the
// soil either), the step leaves every store as it found it.
TEST(SedimentBoundStep, NothingMovesWithoutSorption) {
    struct off_case {
        const char* name;
        bool card;
        double kd;
        std::vector<double> fbind;
    };
    const off_case cases[] = {{"card off", false, 50.0, {0, 0, 0}},
                              {"every class flagged", true, 50.0, {1, 2, 1}}};
    for (const off_case& oc : cases) {
        SCOPED_TRACE(oc.name);
        bound_case c = kCases[0];
        c.kd = oc.kd;
        c.fbind = oc.fbind;
        bound_grid g(c);
        run_state& rs = *g.rs;
        if (!oc.card) {
            rs.sediment_contam = 0;
            init_sediment_bound_state(rs);
        }
        const std::vector<double> water = rs.con.mass[1];
        const std::vector<double> layer = rs.con.layer_mass[1];
        for (int n = 0; n < 6; ++n) g.step(n, 1);
        EXPECT_EQ(rs.con.mass[1], water);
        EXPECT_EQ(rs.con.layer_mass[1], layer);
        EXPECT_EQ(sorbed_overland_mass(rs, 1), 0.0);
    }
}

// Row 2 of the plane is a lake of the channel network holding `attached` g
// on its suspended sediment at `lake_conc` g per m3 of class sediment. Each
// step its cells hand the lake what they hold, sediment running onto them
// gives the lake its sorbed mass, and sediment running off them into row 3
// takes the lake's concentration, never more than the lake holds: water +
// sorbed (cells and lake) + soil = initial to 1e-12 relative, the lake never
// goes below 0 and its cells hold no sorbed mass.
TEST(SedimentBoundStep, LakeCellsAndFacesKeepTheLakesBooks) {
    const struct {
        const char* name;
        double attached;   // g
        double lake_conc;  // g/m3
    } cases[] = {{"lake rich in sorbed mass", 50.0, 20.0},
                 {"lake holding little: its faces give only that", 1e-3, 5e3}};
    for (const auto& lc : cases) {
        SCOPED_TRACE(lc.name);
        bound_grid g(kCases[0]);
        run_state& rs = *g.rs;
        sed_bound_record& sb = rs.sed_bound;
        const size_t stride = kClasses + 1;
        // One lake of the channel network on cells 4..6 (row 2).
        rs.channel_lakes = 1;
        rs.lake_mask.assign(static_cast<size_t>(rs.GNUM) + 1, 0);
        for (int k = 4; k <= 6; ++k) rs.lake_mask[k] = 1;
        rs.con_lake.channel = 1;
        rs.con_lake.lakes = 1;
        sb.lakes = 1;
        sb.lake_attached.assign(2, std::vector<double>(2, 0.0));
        sb.lake_attached[1][1] = lc.attached;
        sb.lake_conc.assign(2, std::vector<double>(2 * stride, 0.0));
        for (size_t l = 1; l < stride; ++l) sb.lake_conc[1][stride + l] = lc.lake_conc;
        sb.lake_out_conc.assign(2 * stride, 0.0);
        for (auto* r : {&sb.lake_from_grid, &sb.lake_want}) r->assign(2, 0.0);
        // The lake cells start with sorbed mass of their own.
        for (int k = 4; k <= 6; ++k) sb.sorbed[1][k] = 0.5;
        const double initial = g.held() + sb.lake_attached[1][1];
        double gave = 0.0;   // g the lake gave to row 3, at most
        for (int n = 0; n < 12; ++n) {
            const double lake_before = sb.lake_attached[1][1];
            g.step(n, 1);
            ASSERT_NEAR(g.held() + sb.lake_attached[1][1], initial, 1e-12 * initial) << "step " << n;
            ASSERT_GE(sb.lake_attached[1][1], 0.0);
            for (int k = 4; k <= 6; ++k) ASSERT_EQ(sb.sorbed[1][k], 0.0) << "cell " << k;
            gave = std::max(gave, lake_before - sb.lake_attached[1][1]);
        }
        EXPECT_GT(gave, 0.0) << "sediment left the lake cells with sorbed mass";
    }
}
