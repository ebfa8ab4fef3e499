// Multi-layer Green-Ampt infiltration: three equal layers against the
// single-layer method, the wetting-front depth against the depth of the
// infiltrated water filling the layer deficits, and the front's layer,
// conductivity and suction in the cases that matter.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "subsurface/green_ampt.h"
#include "subsurface/multilayer.h"
#include "subsurface_fixture.h"

namespace {

struct layer {
    double ksat;       // cm/h
    double psi;        // cm
    double porosity;   // m3/m3
    double theta;      // m3/m3
    double thickness;  // cm (layers 1 and 2)
};

// A run state of `cells` cells of one layered soil (id 7).
run_state_ptr make_layered_state(const layer (&l)[3], int cells = 1) {
    run_state_ptr rs = make_grid_state(1, cells);
    rs->inf_layered_soil = 1;
    const size_t n = static_cast<size_t>(rs->GNUM) + 1;
    rs->soiltype.assign(n, 7);
    rs->wetdep.assign(n, 0.0);
    rs->theta_ml.assign(n, std::array<double, 5>{});
    soil_layer_record& soil = rs->soil_table[7];
    for (int k = 0; k < 3; ++k) {
        soil.ksat[k] = l[k].ksat;
        soil.cap_head[k] = l[k].psi;
        soil.porosity[k] = l[k].porosity;
        soil.initial_theta[k] = l[k].theta;
        soil.thickness[k] = k < 2 ? l[k].thickness : 0.0;
        for (size_t c = 1; c < n; ++c) rs->theta_ml[c][static_cast<size_t>(k + 1)] = l[k].theta;
    }
    return rs;
}

// Depth (cm) reached by f cm of water filling the layer deficits from the top.
double filled_depth(const layer (&l)[3], double f) {
    double z = 0.0;
    for (int k = 0; k < 3; ++k) {
        const double deficit = l[k].porosity - l[k].theta;
        const double room = k < 2 ? l[k].thickness * deficit : 1e300;   // cm of water
        if (f <= room) return z + f / deficit;
        f -= room;
        z += l[k].thickness;
    }
    return z;
}

}  // namespace

// Three equal layers behave as the homogeneous soil of the plain method
// (the same relation, solved in cm and hours against m and seconds):
// ponded steps and supply-limited steps give the same depths and rates.
TEST(MultiLayer, EqualLayersMatchSingleLayerGreenAmpt) {
    single_thread one;
    const layer same = {1.2, 9.0, 0.43, 0.18, 15.0};
    const layer layers[3] = {same, same, same};
    run_state_ptr ml = make_layered_state(layers);
    run_state_ptr ga = make_grid_state(1, 1);
    set_uniform_soil(*ga, same.ksat / 360000.0, same.psi / 100.0, same.porosity, same.theta);
    const double dt = 120.0;
    for (int s = 0; s < 200; ++s) {
        // Ponded, then light rain that all goes in, then ponded again.
        const double add = (s < 60 || s >= 120) ? 0.05 : 0.2 * same.ksat / 360000.0 * dt;
        ml->ov_depth[1] += add;
        ga->ov_depth[1] += add;
        infiltrate_multilayer(*ml, dt);
        infiltrate_green_ampt(*ga, dt);
        SCOPED_TRACE(testing::Message() << "step " << s);
        ASSERT_NEAR(ml->cum_infil[1], ga->cum_infil[1], 1e-12);
        ASSERT_NEAR(ml->infil_rate[1], ga->infil_rate[1], 1e-9 * ga->infil_rate[1] + 1e-12);
        ASSERT_NEAR(ml->ov_depth[1], ga->ov_depth[1], 1e-12);
    }
    EXPECT_GT(ml->cum_infil[1], 0.05);
}

// A dry, slow layer 1 over a wetter, fast layer 2 and a slow layer 3: the
// front crosses both boundaries. After every step, ponded or supply-limited,
// wetdep is the depth of the infiltrated water filling the deficits, and the
// water on the surface plus the water infiltrated is what was supplied.
TEST(MultiLayer, FrontDepthFollowsTheInfiltratedWater) {
    single_thread one;
    const layer layers[3] = {{0.8, 12.0, 0.45, 0.15, 6.0},
                             {3.0, 5.0, 0.40, 0.25, 8.0},
                             {0.3, 20.0, 0.35, 0.20, 0.0}};
    run_state_ptr rs = make_layered_state(layers);
    double supplied = 0.0;
    bool crossed = false;
    for (int s = 0; s < 300; ++s) {
        const double add = s % 50 < 30 ? 0.004 : 0.00001;   // m per 5 min
        rs->ov_depth[1] += add;
        supplied += add;
        infiltrate_multilayer(*rs, 300.0);
        const double f_cm = rs->cum_infil[1] * 100.0;
        SCOPED_TRACE(testing::Message() << "step " << s << " F " << f_cm << " cm");
        ASSERT_NEAR(rs->wetdep[1], filled_depth(layers, f_cm), 1e-9);
        ASSERT_NEAR(rs->ov_depth[1] + rs->cum_infil[1], supplied, 1e-14);
        ASSERT_GE(rs->ov_depth[1], 0.0);
        if (rs->wetdep[1] > 14.0) crossed = true;
    }
    EXPECT_TRUE(crossed);
}

// The front's layer, conductivity and suction deficit, and the rate of a
// ponded step of 0.05 h from F0: q = K (1 + S / F1) with F1 the root of the
// relation for that K and S.
TEST(MultiLayer, FrontLayerCases) {
    single_thread one;
    struct front_case {
        const char* name;
        layer l1, l2, l3;
        double f0;       // infiltrated depth, cm
        double factor;   // area-reduction factor (1: off)
        int front_layer; // expected layer of the front
        double k;        // expected conductivity above the front, cm/h
        double s;        // expected suction x deficit, cm
    };
    const layer a = {2.0, 10.0, 0.40, 0.20, 10.0};
    const layer b = {0.5, 20.0, 0.30, 0.20, 10.0};
    const layer c = {0.25, 30.0, 0.50, 0.30, 0.0};
    const front_case cases[] = {
        // Layer 1 saturated: its deficit counts as 0.01 x 0.40.
        {"saturated layer 1", {2.0, 10.0, 0.40, 0.40, 10.0}, b, c, 0.02, 1.0, 1, 2.0, 0.04},
        // Wetter than porosity: also 0.01 x porosity.
        {"oversaturated layer 1", {2.0, 10.0, 0.40, 0.45, 10.0}, b, c, 0.02, 1.0, 1, 2.0, 0.04},
        // Front exactly at d1 (F0 = d1 x D1 = 2 cm): still layer 1.
        {"front at d1", a, b, c, 2.0, 1.0, 1, 2.0, 2.0},
        // 1 cm into layer 2 at D2 0.1 (H 10 cm): K = 20 / (10/2 + 10/0.5) = 0.8.
        {"front in layer 2", a, b, c, 3.0, 1.0, 2, 0.8, 2.0},
        // 2 cm into layer 3 at D3 0.2 (H 10 cm): K = 30 / (5 + 20 + 40) = 6/13.
        {"front in layer 3", a, b, c, 5.0, 1.0, 3, 30.0 / 65.0, 6.0},
        // An area factor of 1 leaves the rate; 0.5 halves it.
        {"area factor 1", a, b, c, 1.0, 1.0, 1, 2.0, 2.0},
        {"area factor 0.5", a, b, c, 1.0, 0.5, 1, 1.0, 2.0},
    };
    for (const front_case& fc : cases) {
        SCOPED_TRACE(fc.name);
        const layer layers[3] = {fc.l1, fc.l2, fc.l3};
        run_state_ptr rs = make_layered_state(layers);
        double deficit[3];
        layered_deficits(rs->soil_table[7], &rs->theta_ml[1][1], deficit);
        const double zf = filled_depth(layers, fc.f0);
        rs->wetdep[1] = layered_front_depth(rs->soil_table[7], deficit, fc.f0);
        const layered_front at = layered_front_layer(rs->soil_table[7], deficit, fc.f0, rs->wetdep[1]);
        EXPECT_EQ(at.layer, fc.front_layer);
        EXPECT_NEAR(at.conductivity, fc.k / fc.factor, 1e-12);
        EXPECT_NEAR(at.suction * at.deficit, fc.s, 1e-12);
        if (fc.l1.theta < fc.l1.porosity) {
            EXPECT_NEAR(rs->wetdep[1], zf, 1e-12);
        }

        rs->area_reduction = fc.factor < 1.0;
        rs->area_reduction_factor.assign(2, fc.factor);
        rs->cum_infil[1] = fc.f0 / 100.0;
        rs->ov_depth[1] = 1.0;
        infiltrate_multilayer(*rs, 180.0);   // 0.05 h
        // F1 of the step by bisection on F1 - F0 - S ln((F1 + S)/(F0 + S)) = K T.
        const double kt = fc.k / fc.factor * 0.05;
        double lo = fc.f0, hi = fc.f0 + kt + fc.s + std::sqrt(fc.s * kt);
        for (int it = 0; it < 200; ++it) {
            const double mid = 0.5 * (lo + hi);
            (mid - fc.f0 - fc.s * std::log((mid + fc.s) / (fc.f0 + fc.s)) < kt ? lo : hi) = mid;
        }
        const double expected = fc.k * (1.0 + fc.s / lo);
        // The iteration stops at |g| <= 1e-4 cm.
        EXPECT_NEAR(rs->infil_rate[1], expected, 1e-3 * expected);
        EXPECT_NEAR(rs->cum_infil[1] * 100.0, fc.f0 + expected * 0.05, 1e-9);
    }
}

TEST(MultiLayer, DryCellZeroTimeAndSaturatedSoil) {
    const layer same = {1.0, 10.0, 0.4, 0.2, 10.0};
    const layer layers[3] = {same, same, same};
    run_state_ptr rs = make_layered_state(layers);
    rs->infil_rate.assign(2, 5.0);
    rs->ov_depth[1] = 1e-17;
    infiltrate_multilayer(*rs, 60.0);
    EXPECT_EQ(rs->infil_rate[1], 0.0);
    EXPECT_EQ(rs->cum_infil[1], 0.0);
    rs->ov_depth[1] = 0.01;
    infiltrate_multilayer(*rs, 0.0);
    EXPECT_EQ(rs->ov_depth[1], 0.01);
    EXPECT_EQ(rs->cum_infil[1], 0.0);
    // A water table at the ground: the saturated soil takes nothing.
    rs->yes_exfil.assign(2, 1);
    rs->infil_rate[1] = 5.0;
    infiltrate_multilayer(*rs, 60.0);
    EXPECT_EQ(rs->ov_depth[1], 0.01);
    EXPECT_EQ(rs->cum_infil[1], 0.0);
    EXPECT_EQ(rs->infil_rate[1], 0.0);
    rs->yes_exfil[1] = 0;
    infiltrate_multilayer(*rs, 60.0);
    EXPECT_GT(rs->cum_infil[1], 0.0);
}
