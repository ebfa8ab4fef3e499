// Soil constituents in the column of layers under layered Green-Ampt and
// Richards columns, on hand-made cells whose soil state the tests set as the
// infiltration methods would: sorption equilibrium with a pond, decay under a
// dry surface, and the pore water carried down (and up) with the water the
// method moved across each layer bottom, against their analytic values, with
// every gram accounted for.
#include <cmath>

#include "conc_test_support.h"

namespace {

using conc_test::ConcTest;
using conc_test::soil_spec;

enum class column { layered, richards };

const char* name_of(column m) { return m == column::layered ? "layered" : "Richards"; }

class SoilColumnTest : public ConcTest {
protected:
    // Layered Green-Ampt soil 1 under `cells` cells: layers of d1, d2 cm (the
    // third without bottom), porosity phi and content theta in every layer,
    // no wetting front yet.
    void layered(int cells, double d1, double d2, double phi, double theta) {
        run_state& r = rs();
        r.inf_layered_soil = 1;
        soil_layer_record& s = r.soil_table[1];
        s = soil_layer_record{};
        s.thickness[0] = d1;
        s.thickness[1] = d2;
        for (int k = 0; k < 3; ++k) s.porosity[k] = phi;
        const size_t n = static_cast<size_t>(cells) + 1;
        r.soiltype.assign(n, 1);
        r.theta_ml.assign(n, std::array<double, 5>{0.0, theta, theta, theta, 0.0});
        r.wetdep.assign(n, 0.0);
    }

    // Richards soil 1 under `cells` cells: three layers of `per_layer` nodes of
    // dz cm, porosity phi, content theta, and the bottom boundary node.
    void richards(int cells, int per_layer, double dz, double phi, double theta) {
        run_state& r = rs();
        r.inf_richards = 1;
        soil_layer_record& s = r.soil_table[1];
        s = soil_layer_record{};
        for (int k = 0; k < 3; ++k) s.porosity[k] = phi;
        s.layer1_end = per_layer;
        s.layer2_end = 2 * per_layer;
        const int count = 3 * per_layer + 1;
        const size_t n = static_cast<size_t>(cells) + 1;
        r.soiltype.assign(n, 1);
        r.richards_nodes.assign(n, count);
        r.richards_theta.assign(n, std::vector<double>(static_cast<size_t>(count) + 2, theta));
        r.richards_dz.assign(n, std::vector<double>(static_cast<size_t>(count) + 2, dz));
    }

    // Layer-1 water of the column methods set up below, m (10 cm of content theta).
    void method(column m, int cells, double phi, double theta) {
        if (m == column::layered)
            layered(cells, 10.0, 20.0, phi, theta);
        else
            richards(cells, 5, 2.0, phi, theta);
    }

    // Soil step only, at time + dt (s).
    void soil_pass(double dt) {
        run_state& r = rs();
        r.ov_con_step_days = dt / 86400.0;
        r.time += r.ov_con_step_days;
        r.soil_con_next = r.time;
        step_soil_constituents(r);
    }

    double layer(int k, int j = 1) {
        return k == 1 ? rs().con.layer_mass[1][j] : rs().con.deep_mass[k][1][j];
    }
    double column_mass(int j = 1) { return layer(1, j) + layer(2, j) + (rs().con.soil_layers > 2 ? layer(3, j) : 0.0); }
};

// A pond over the column, exchanging only (no water passes the ground): at
// equilibrium layer-1 mass / (pond concentration x layer-1 water) = R =
// 1 + (1 - phi) 2.65 Kd / theta (reference values below; within 1e-3) under
// both methods, and pond plus layer 1 hold all the mass.
TEST_F(SoilColumnTest, PondAndLayerOneReachTheSorptionEquilibrium) {
    const struct {
        double phi, theta, kd, R;
    } cases[] = {
        {0.45, 0.30, 0.0, 1.0},
        {0.45, 0.30, 2.0, 10.7167},
        {0.40, 0.20, 0.5, 4.975},
        {0.50, 0.45, 10.0, 30.4444},
    };
    for (column m : {column::layered, column::richards}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(name_of(m));
            SCOPED_TRACE(c.kd);
            TearDown();
            SetUp();
            method(m, 1, c.phi, c.theta);
            soil_spec soil;
            soil.on = true;
            soil.kd = c.kd;
            pond(1, 0.1, 10.0, 0.0, soil);
            rs().con.uptake[1][1] = 1e-4;   // m/s
            const double start = overland_mass();
            for (int s = 0; s < 3000; ++s) overland_pass(10.0);
            const double layer_water = 0.1 * c.theta * 100.0;   // m3
            EXPECT_NEAR(layer(1) / (rs().con.conc[1][1] * layer_water), c.R, 1e-3 * c.R);
            EXPECT_NEAR(overland_mass() + column_mass(), start, 1e-9 * start);
            EXPECT_DOUBLE_EQ(layer(2), 0.0);
            EXPECT_NEAR(rs().con.land[1][1], layer(1), 1e-9 * start);
        }
    }
}

// Decay of the dissolved part under a dry surface, Kd 2 (R = 10.7167), k
// 8.64/day: layer 1 follows exp(-k t / R), 0.446542 after one day (within
// 1e-4), under both methods; the decay total is what the layer lost.
TEST_F(SoilColumnTest, DecayUnderADrySurfaceFollowsTheRetardedRate) {
    for (column m : {column::layered, column::richards}) {
        SCOPED_TRACE(name_of(m));
        TearDown();
        SetUp();
        method(m, 2, 0.45, 0.30);
        soil_spec soil;
        soil.on = true;
        soil.kd = 2.0;
        soil.load = 3.0;   // mg/kg
        pond(2, 0.0, 0.0, 8.64, soil);
        const double solids = 0.55 * 0.1 * 100.0 * 2650.0;   // kg in layer 1
        EXPECT_NEAR(layer(1), solids * 3.0 / 1000.0, 1e-9);
        const double start = layer(1);
        for (int s = 0; s < 8640; ++s) soil_pass(10.0);
        EXPECT_NEAR(layer(1) / start, 0.446542, 1e-4);
        EXPECT_NEAR(rs().con_tot.soil_decay[1] * 1000.0, 2.0 * (start - layer(1)), 1e-9 * start);
        EXPECT_NEAR(rs().con.layer_conc[1][1], layer(1) / solids * 1000.0, 1e-12);
    }
}

// Layered soil with its front below both layers: each layer is at porosity
// and every centimetre that enters the ground passes both layer bottoms. A
// layer of water W under a throughflow q per step keeps (1 - q / (R W)) of
// its mass per step (R = 1 + (1 - phi) 2.65 Kd / phi), and what leaves layer
// 2 leaves the column: layers + outflow = initial to 1e-9. With static soil
// concentrations nothing moves.
TEST_F(SoilColumnTest, SaturatedLayersLeachAtTheRetardedThroughflowRate) {
    const struct {
        double kd;
        bool fixed;   // soil_static_conc
    } cases[] = {{0.0, false}, {0.5, false}, {2.0, false}, {2.0, true}};
    const double phi = 0.45, theta = 0.25, q = 0.005;   // -, -, m per step
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kd);
        TearDown();
        SetUp();
        layered(1, 10.0, 20.0, phi, theta);
        rs().wetdep[1] = 40.0;   // cm: past both layers
        soil_spec soil;
        soil.on = true;
        soil.kd = c.kd;
        soil.load = 3.0;
        pond(1, 0.0, 0.0, 0.0, soil);
        rs().soil_static_conc = c.fixed ? 1 : 0;
        const double start = layer(1);
        const int steps = 40;
        for (int s = 0; s < steps; ++s) {
            rs().ov_con_soil_infil[1] += q;
            rs().wetdep[1] += q * 100.0 / (phi - theta);
            soil_pass(60.0);
        }
        const double R = 1.0 + (1.0 - phi) * 2.65 * c.kd / phi;
        const double kept = c.fixed ? 1.0 : std::pow(1.0 - q / (R * phi * 0.1), steps);
        EXPECT_NEAR(layer(1) / start, kept, 1e-12);
        const double out = rs().con_tot.soil_out[1] * 1000.0;
        EXPECT_NEAR(layer(1) + layer(2) + out, start, 1e-9 * start);
        EXPECT_NEAR(rs().con.land[1][1], layer(1) + layer(2), 1e-9 * start);
        if (c.fixed)
            EXPECT_DOUBLE_EQ(out, 0.0);
        else
            EXPECT_GT(out, 0.0);
    }
}

// The water a method moved across a layer bottom is what entered the ground
// less what the layers above gained. Layered soil (layers 10 and 20 cm,
// deficit 0.2, layer 1 at 4.5 cm of water when wetted), Kd 0: 1 cm into the
// ground stays in layer 1; 3 cm fill layer 1 (2 cm) and pass 1 cm on, taking
// 1/4.5 of layer 1's mass into layer 2. Richards (three layers of five 2-cm
// nodes), no water through the ground: water moving from layer 1 to 2 takes
// its share of layer 1 down; water moving up from layer 2 brings layer 2's
// share up; water draining from layer 3 out of the column takes its share out.
// More water than a layer holds takes its dissolved mass and no more: with
// Kd 2 in saturated layers (dissolved share 1 / 7.4778) 10 cm through the
// column moves that share out of each layer.
TEST_F(SoilColumnTest, LayerBottomsPassTheWaterTheMethodMoved) {
    const double f = 1.0 / (1.0 + 0.55 * 2.65 * 2.0 / 0.45);
    const struct {
        column m;
        double kd;           // l/kg
        double infil;        // m into the ground in the step
        double front0;       // layered: wetting front before the step, cm
        double front;        // layered: wetting front after the step, cm
        double dtheta[4];    // Richards: content change of the nodes of layers 1..3
        double moved[4];     // expected share of each layer's mass that leaves it downward (+) or upward (-)
    } cases[] = {
        {column::layered, 0.0, 0.01, 0.0, 5.0, {}, {0.0, 0.0, 0.0, 0.0}},
        {column::layered, 0.0, 0.03, 0.0, 15.0, {}, {0.0, 1.0 / 4.5, 0.0, 0.0}},
        {column::layered, 2.0, 0.10, 40.0, 90.0, {}, {0.0, f, f, 0.0}},
        {column::richards, 0.0, 0.0, 0.0, 0.0, {0.0, -0.05, 0.05, 0.0}, {0.0, 0.5 / 2.5, 0.0, 0.0}},
        {column::richards, 0.0, 0.0, 0.0, 0.0, {0.0, 0.05, -0.05, 0.0}, {0.0, 0.0, -0.5 / 2.5, 0.0}},
        {column::richards, 0.0, 0.0, 0.0, 0.0, {0.0, 0.0, 0.0, -0.05}, {0.0, 0.0, 0.0, 0.5 / 2.5}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(name_of(c.m));
        SCOPED_TRACE(c.infil);
        TearDown();
        SetUp();
        if (c.m == column::layered) {
            layered(1, 10.0, 20.0, 0.45, 0.25);
            rs().wetdep[1] = c.front0;
        } else {
            richards(1, 5, 2.0, 0.45, 0.30);
        }
        soil_spec soil;
        soil.on = true;
        soil.kd = c.kd;
        soil.load = 3.0;
        pond(1, 0.0, 0.0, 0.0, soil);
        // The same mass in every layer, 1 g.
        const int layers = rs().con.soil_layers;
        for (int k = 1; k <= layers; ++k) (k == 1 ? rs().con.layer_mass[1][1] : rs().con.deep_mass[k][1][1]) = 1.0;
        rs().con.land[1][1] = layers;
        if (c.m == column::layered) {
            rs().wetdep[1] = c.front;
        } else {
            for (int k = 1; k <= 3; ++k)
                for (int n = 5 * (k - 1) + 1; n <= 5 * k; ++n) rs().richards_theta[1][n] += c.dtheta[k];
        }
        rs().ov_con_soil_infil[1] = c.infil;
        soil_pass(60.0);
        double expect[4] = {0.0, 1.0, 1.0, 1.0};
        double out = 0.0;
        for (int k = 1; k <= layers; ++k) {
            const double s = c.moved[k];
            expect[k] -= std::fabs(s);
            if (s > 0.0 && k < layers) expect[k + 1] += s;
            if (s > 0.0 && k == layers) out += s;
            if (s < 0.0) expect[k - 1] += -s;
        }
        for (int k = 1; k <= layers; ++k) EXPECT_NEAR(layer(k), expect[k], 1e-12) << k;
        EXPECT_NEAR(rs().con_tot.soil_out[1] * 1000.0, out, 1e-12);
    }
}

}  // namespace

namespace {

// A layer without pore water (content 0, also with Kd 0) dissolves nothing:
// the pond does not exchange with it, nothing decays or moves down with the
// water that passes, and every mass stays finite.
TEST_F(SoilColumnTest, LayerWithoutWaterKeepsItsMass) {
    for (column m : {column::layered, column::richards}) {
        SCOPED_TRACE(name_of(m));
        TearDown();
        SetUp();
        method(m, 1, 0.45, 0.0);
        soil_spec soil;
        soil.on = true;
        soil.load = 3.0;
        pond(1, 0.1, 10.0, 8.64, soil);
        rs().con.uptake[1][1] = 1e-4;   // m/s
        rs().con.decay[1][1] = 0.0;      // no decay in the pond
        const double start = layer(1);
        ASSERT_GT(start, 0.0);
        for (int s = 0; s < 100; ++s) overland_pass(10.0);
        EXPECT_DOUBLE_EQ(layer(1), start);
        EXPECT_DOUBLE_EQ(layer(2), 0.0);
        EXPECT_DOUBLE_EQ(overland_mass(), 0.1 * 100.0 * 10.0);
        EXPECT_DOUBLE_EQ(rs().con_tot.soil_decay[1], 0.0);
        EXPECT_TRUE(std::isfinite(rs().con.layer_conc[1][1]));
    }
}

}  // namespace

namespace {

// A Richards cell whose water table stands at the ground has a column of
// its one saturated node and no layer above it: mass that the water hands to
// the soil stays on the land (booked there, nothing left in transit).
TEST_F(SoilColumnTest, CellWithoutSoilLayersKeepsWhatTheWaterGaveOnTheLand) {
    richards(1, 5, 2.0, 0.45, 0.30);
    rs().richards_nodes[1] = 1;
    soil_spec soil;
    soil.on = true;
    soil.load = 3.0;
    pond(1, 0.0, 0.0, 0.0, soil);
    EXPECT_DOUBLE_EQ(rs().con.land[1][1], 0.0);
    rs().con.pend_soil_in[1][1] = 5.0;
    soil_pass(10.0);
    EXPECT_DOUBLE_EQ(rs().con.land[1][1], 5.0);
    EXPECT_DOUBLE_EQ(rs().con.pend_soil_in[1][1], 0.0);
    EXPECT_DOUBLE_EQ(layer(1), 0.0);
}

}  // namespace

namespace {

// With static soil concentrations the soil is a store held fixed: what the
// water takes from it or gives it, and the decay counted in it, leave its
// mass as it was; the balance books the difference as held by the fixed
// soil, so initial + rain + held = out + stored closes (to 1e-9 of what came
// in) under every soil method, and the layers keep their initial mass.
TEST_F(SoilColumnTest, StaticSoilKeepsItsMassAndTheBalanceCloses) {
    for (int method_index = 0; method_index < 3; ++method_index) {
        SCOPED_TRACE(method_index);
        TearDown();
        SetUp();
        if (method_index == 1) method(column::layered, 2, 0.45, 0.30);
        if (method_index == 2) method(column::richards, 2, 0.45, 0.30);
        soil_spec soil;
        soil.on = true;
        soil.kd = 2.0;
        soil.load = 3.0;
        pond(2, 0.1, 1.0, 8.64, soil);
        rs().soil_static_conc = 1;
        for (int j = 1; j <= 2; ++j) rs().con.uptake[1][j] = 1e-4;   // m/s
        const double start = layer(1);
        // Cell 2 loses water to the soil: its mass is queued into the soil.
        rs().ov_con_infil_volume.assign(3, 0.0);
        for (int s = 0; s < 200; ++s) {
            rs().ov_con_infil_volume[2] = 0.01;   // m3 per step
            rs().ov_depth[2] -= 1e-4;
            overland_pass(10.0);
        }
        EXPECT_DOUBLE_EQ(layer(1), start);
        EXPECT_GT(rs().con_tot.soil_decay[1], 0.0);
        const constituent_balance b = compute_constituent_balance(rs(), 1);
        EXPECT_NEAR(b.residual, 0.0, 1e-9 * (b.initial + b.rain)) << b.made;
    }
}

}  // namespace
