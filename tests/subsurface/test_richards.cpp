// Richards soil functions and the column solver against analytic results.
//
// References (Haverkamp sand: Ks 33.984 cm/h, theta_s .287, theta_r .075,
// alpha 36.936 cm, beta 3.96, A 1.175e6, B 4.74; Brooks-Corey loam: Ks 2
// cm/h, theta_s .45, theta_r .04, lambda .32, hb -14.66 cm):
// - Under a steady rain q on a deep column the wetted zone drains at unit
//   gradient, so its head solves K(h) = q: at q = 0.1 Ks the sand gives
//   |h|^B = 9A, h = -30.33 cm; the loam gives (h/hb)^(2 + 3 lambda) = 10,
//   h = -31.913 cm.
// - The wetting front between the initial content theta_0 (h = -61.5 cm,
//   theta_0 = .09985) and the wetted content theta_1 (.22036) moves at
//   (q - K(theta_0)) / (theta_1 - theta_0) = 27.11 cm/h.
// - Over a water table with the same rain, the steady heads solve
//   dz = dh / (q/K(h) - 1) from h = 0 at the table: -8.995, -17.745 and
//   -28.586 cm at 10, 20 and 40 cm above it.
// - A ponded column that has wetted through drains at Ks (unit gradient,
//   the pond depth adding p/L).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/file_object.h"
#include "run/run_state.h"
#include "subsurface_fixture.h"
#include "subsurface/richards.h"
#include "subsurface/richards_soil.h"

namespace {

constexpr double kSandKs = 33.984;   // cm/h

richards_node_soil sand() {
    richards_node_soil s;
    s.ks = kSandKs;
    s.theta_r = 0.075;
    s.alpha = 36.936;
    s.beta = 3.96;
    s.a = 1.175e6;
    s.b = 4.74;
    return s;
}
constexpr double kSandThetaS = 0.287;

richards_node_soil loam() {
    richards_node_soil s;
    s.ks = 2.0;
    s.theta_r = 0.04;
    s.lambda = 0.32;
    s.hb = -14.66;
    set_brooks_cutoff(s, 0.45);
    return s;
}
constexpr double kLoamThetaS = 0.45;

// A uniform column of `active` nodes of thickness dz (cm) at head h0 (cm);
// with a water table at depth active x dz, the bottom node lies just below it.
struct column {
    richards_column col;
    std::vector<double> theta, dz, ths;
    int count = 0;
    int model = 2;

    column(const richards_node_soil& soil, double theta_s, int model_, int active, double dz_cm,
           double h0, bool table = false)
        : model(model_) {
        count = active + 1;
        const size_t slots = static_cast<size_t>(count) + 2;
        for (std::vector<double>* v : {&col.head, &col.k_rel, &col.capacity, &col.flux, &col.source,
                                       &theta, &dz, &ths}) {
            v->assign(slots, 0.0);
        }
        col.soil.assign(slots, soil);
        for (size_t k = 0; k < slots; ++k) {
            dz[k] = dz_cm;
            ths[k] = theta_s;
            // Over a table the start is hydrostatic: h = -height above it.
            const double h = table ? -(active * dz_cm - (static_cast<double>(k) - 0.5) * dz_cm) : h0;
            col.head[k] = std::min(h, 0.0);
            theta[k] = richards_theta_of_head(soil, theta_s, col.head[k], model);
        }
        if (table) {
            col.head[static_cast<size_t>(count)] = 0.5 * dz_cm;
            theta[static_cast<size_t>(count)] = theta_s;
        }
        col.head[0] = col.head[1];
        theta[0] = theta[1];
        richards_update_row(col, theta.data(), ths.data(), count, model);
    }

    double water() const {   // cm over nodes 1..count-1
        double w = 0.0;
        for (int k = 1; k < count; ++k) w += theta[static_cast<size_t>(k)] * dz[static_cast<size_t>(k)];
        return w;
    }
    // Depth (cm) of the first node centre, interpolated, whose content falls to `level`.
    double front(double level) const {
        for (int k = 2; k < count; ++k) {
            const double a = theta[static_cast<size_t>(k - 1)], b = theta[static_cast<size_t>(k)];
            if (a >= level && b < level) {
                const double za = (k - 1.5) * dz[1];
                return za + (a - level) / (a - b) * dz[1];
            }
        }
        return -1.0;
    }
    // Head (cm) at `height` cm above the bottom of the active nodes (linear between centres).
    double head_above_bottom(double height) const {
        const double depth = (count - 1) * dz[1] - height;
        const double x = depth / dz[1] + 0.5;   // node index of that depth
        const int k = static_cast<int>(std::floor(x));
        const double f = x - k;
        return col.head[static_cast<size_t>(k)] * (1 - f) + col.head[static_cast<size_t>(k + 1)] * f;
    }
};

// Rain of `rate` cm/h in steps of `step` h; sums the water crossing the
// surface, the bottom and the column error.
struct rain_run {
    richards_settings s;
    richards_work w;
    richards_cell_io io;
    double rained = 0.0, infiltrated = 0.0, drained = 0.0, created = 0.0;
    int steps = 0;

    void run(column& c, double rate, double hours, double step, double hold_pond = -1.0) {
        io.dtr = step;
        const int n = static_cast<int>(std::lround(hours / step));
        for (int i = 0; i < n; ++i) {
            if (hold_pond >= 0.0) {
                rained += hold_pond - io.pond;
                io.pond = hold_pond;
            } else {
                io.pond += rate * step;
                rained += rate * step;
            }
            richards_step_column(c.col, c.theta.data(), c.dz.data(), c.ths.data(), c.count, step, s, w, io);
            ASSERT_FALSE(io.failed);
            infiltrated += io.infiltrated;
            drained += io.drained;
            created += io.column_error;
            ++steps;
        }
    }
};

}  // namespace

TEST(RichardsSoil, HeadContentRoundTripsAndBranchesMeet) {
    const struct {
        const char* name;
        richards_node_soil soil;
        double ths;
        int model;
    } soils[] = {{"Haverkamp sand", sand(), kSandThetaS, kRichardsHavercamp},
                 {"Brooks-Corey loam", loam(), kLoamThetaS, kRichardsBrooks}};
    for (const auto& x : soils) {
        // Heads to contents and back where the curve resolves the head (below
        // -1 cm and above -500 cm: beyond both ends the content differs from
        // theta_s or theta_r by less than rounding resolves).
        for (double h = -500.0; h < -1.0; h *= 0.93) {
            const double th = richards_theta_of_head(x.soil, x.ths, h, x.model);
            const double back = richards_head_of_theta(x.soil, x.ths, th, x.model);
            EXPECT_NEAR(back, h, 1e-9 * std::fabs(h)) << x.name << " h " << h;
            // Capacity is the slope of the retention curve (central difference).
            const double e = 1e-5 * std::fabs(h);
            const double slope = (richards_theta_of_head(x.soil, x.ths, h + e, x.model) -
                                  richards_theta_of_head(x.soil, x.ths, h - e, x.model)) / (2 * e);
            EXPECT_NEAR(richards_capacity(x.soil, x.ths, h, x.model), slope, 1e-4 * std::fabs(slope))
                << x.name << " h " << h;
        }
        // Contents to heads and back over the whole range.
        for (double f = 1e-4; f < 1.0; f += 0.0137) {
            const double th = x.soil.theta_r + f * (x.ths - x.soil.theta_r);
            const double h = richards_head_of_theta(x.soil, x.ths, th, x.model);
            EXPECT_NEAR(richards_theta_of_head(x.soil, x.ths, h, x.model), th, 1e-9 * th) << x.name << " f " << f;
        }
        EXPECT_EQ(richards_head_of_theta(x.soil, x.ths, x.ths, x.model), 0.0);
        EXPECT_EQ(richards_theta_of_head(x.soil, x.ths, 0.5, x.model), x.ths);
        EXPECT_EQ(richards_rel_conductivity(x.soil, x.ths, 0.5, x.ths, x.model), 1.0);
    }
    // Model 1: content and conductivity continuous at the cut-off head.
    const richards_node_soil l = loam();
    const double below = l.hc * (1 + 1e-12), above = l.hc * (1 - 1e-12);
    const double tb = richards_theta_of_head(l, kLoamThetaS, below, 1);
    const double ta = richards_theta_of_head(l, kLoamThetaS, above, 1);
    EXPECT_NEAR(ta, tb, 1e-10);
    EXPECT_NEAR(richards_rel_conductivity(l, kLoamThetaS, below, tb, 1),
                richards_rel_conductivity(l, kLoamThetaS, above, ta, 1), 1e-9);
    // Unit-gradient head at 0.1 Ks.
    EXPECT_NEAR(richards_rel_conductivity(l, kLoamThetaS, -31.913, 0.0, 1), 0.1, 1e-4);
}

TEST(RichardsSoil, EdgeCasesOfBothModels) {
    // Model 1 with lambda = 2: s = 1/2, hc = hb sqrt(2), theta_c halfway
    // between theta_r and theta_s.
    richards_node_soil b;
    b.theta_r = 0.05;
    b.lambda = 2.0;
    b.hb = -10.0;
    set_brooks_cutoff(b, 0.45);
    EXPECT_NEAR(b.hc, -10.0 * std::sqrt(2.0), 1e-12);
    EXPECT_NEAR(b.theta_c, 0.25, 1e-15);
    // Model 2 at h = -alpha: the content halfway between theta_r and theta_s.
    const richards_node_soil s = sand();
    EXPECT_NEAR(richards_theta_of_head(s, kSandThetaS, -s.alpha, 2), (kSandThetaS + 0.075) / 2, 1e-15);
    // The sand's reference contents.
    EXPECT_NEAR(richards_theta_of_head(s, kSandThetaS, -61.5, 2), 0.09985, 5e-6);
    EXPECT_NEAR(richards_theta_of_head(s, kSandThetaS, -30.33, 2), 0.22036, 5e-5);
}

TEST(RichardsSolver, ThomasAlgorithmSolvesATridiagonalSystem) {
    // 2x - y = 1; -x + 2y - z = 0; -y + 2z = 1: x = y = z = 1.
    double up[4] = {0, -1, -1, 0}, diag[4] = {0, 2, 2, 2}, low[4] = {0, 0, -1, -1}, rhs[4] = {0, 1, 0, 1};
    solve_tridiagonal(1, 3, up, diag, low, rhs);
    for (int i = 1; i <= 3; ++i) EXPECT_NEAR(rhs[i], 1.0, 1e-15);
}

TEST(RichardsSolver, SandWettingFrontMovesAtTheAnalyticSpeedAndTheColumnDrainsAtUnitGradient) {
    column c(sand(), kSandThetaS, kRichardsHavercamp, 200, 1.0, -61.5);
    const double w0 = c.water();
    rain_run r;
    const double q = 0.1 * kSandKs;   // cm/h
    const double mid = 0.5 * (0.09985 + 0.22036);
    r.run(c, q, 1.0, 1.0 / 60.0);
    const double z1 = c.front(mid);
    r.run(c, q, 3.0, 1.0 / 60.0);
    const double z4 = c.front(mid);
    const double speed = (z4 - z1) / 3.0;
    EXPECT_NEAR(speed, 27.11, 0.03 * 27.11) << z1 << " " << z4;
    // Every step closes: soil change = infiltrated - drained + resets.
    EXPECT_NEAR(c.water() - w0 + r.io.pond, r.rained - r.drained + r.created, 1e-9 * r.rained);
    EXPECT_LT(std::fabs(r.created), 1e-3 * r.infiltrated);
    EXPECT_EQ(r.io.state, 1);   // the rain never ponds on the sand

    // Long after the front left the column, every node drains at unit gradient.
    r.run(c, q, 10.0, 1.0 / 60.0);
    for (int k = 1; k < c.count; ++k) EXPECT_NEAR(c.col.head[static_cast<size_t>(k)], -30.33, 0.01 * 30.33) << k;
    EXPECT_NEAR(c.water() - w0 + r.io.pond, r.rained - r.drained + r.created, 1e-9 * r.rained);
}

TEST(RichardsSolver, HeadsOverAFixedWaterTableReachTheSteadyProfile) {
    column c(sand(), kSandThetaS, kRichardsHavercamp, 80, 1.0, 0.0, true);
    const double w0 = c.water();
    rain_run r;
    r.s.water_table = true;
    r.run(c, 0.1 * kSandKs, 20.0, 1.0 / 60.0);
    const struct { double height, head; } expect[] = {{10, -8.995}, {20, -17.745}, {40, -28.586}};
    for (const auto& e : expect) {
        EXPECT_NEAR(c.head_above_bottom(e.height), e.head, 0.02 * std::fabs(e.head)) << e.height;
    }
    // The bottom face passes the rain to the table.
    EXPECT_NEAR(r.drained / 20.0, 0.1 * kSandKs, 0.02 * kSandKs);
    EXPECT_NEAR(c.water() - w0 + r.io.pond, r.rained - r.drained + r.created, 1e-9 * r.rained);
}

// Columns over a water table called hourly, as between events of a long-term
// run, each call starting on the short sub-step a column re-laid to a moving
// table gets (10 s). Near the table the nodes lie within a few cm of
// saturation, where the capacity of the sand falls steeply towards 0: a
// capacity taken at the sub-step start overstates what a node can still
// take, and the water pushed past saturation would be lost to the content
// cap. The column keeps its water: the resets stay below 1e-6 of the water
// that crossed its faces, and the column balance closes to 1e-9.
TEST(RichardsSolver, ColumnsOverAWaterTableKeepTheirWaterInHourlyCalls) {
    const struct {
        const char* what;
        double ks;       // cm/h
        int active;      // unsaturated nodes
        double dz;       // cm
        double shift;    // cm: the start is in equilibrium with a table this much higher
        double rain;     // cm/h in the first hour
    } cases[] = {
        {"table just rose 20 cm: water rises into the drier nodes above it", 2.0, 40, 2.0, -20.0, 0.0},
        {"table just fell 20 cm under 10-cm nodes: the wetter nodes drain to it", 2.0, 20, 10.0, 20.0, 0.0},
        {"rain of 2 cm/h on a table 40 cm down", 2.0, 20, 2.0, 0.0, 2.0},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.what);
        richards_node_soil soil = sand();
        soil.ks = k.ks;
        column c(soil, kSandThetaS, kRichardsHavercamp, k.active, k.dz, 0.0, true);
        for (int l = 0; l < c.count; ++l) {
            const size_t x = static_cast<size_t>(l);
            c.col.head[x] = std::min(c.col.head[x] + k.shift, 0.0);
            c.theta[x] = richards_theta_of_head(soil, kSandThetaS, c.col.head[x], kRichardsHavercamp);
        }
        richards_update_row(c.col, c.theta.data(), c.ths.data(), c.count, kRichardsHavercamp);
        const double w0 = c.water();
        richards_settings s;
        s.water_table = true;
        richards_work w;
        richards_cell_io io;
        double infiltrated = 0.0, drained = 0.0, moved = 0.0, created = 0.0;   // cm
        for (int hour = 0; hour < 24; ++hour) {
            if (hour == 0) io.pond += k.rain;
            io.dtr = 10.0 / 3600.0;
            richards_step_column(c.col, c.theta.data(), c.dz.data(), c.ths.data(), c.count, 1.0, s, w, io);
            ASSERT_FALSE(io.failed);
            infiltrated += io.infiltrated;
            drained += io.drained;
            moved += std::fabs(io.infiltrated) + std::fabs(io.drained);
            created += io.column_error;
        }
        EXPECT_GT(moved, 0.05);
        EXPECT_LT(std::fabs(created), 1e-6 * moved);
        EXPECT_NEAR(c.water() - w0, infiltrated - drained + created, 1e-9 * (w0 + moved));
    }
}

TEST(RichardsSolver, PondedSandTakesWaterAtTheSaturatedConductivity) {
    // 300 cm of sand under a 1-cm pond: once wet through, Ks (1 + 1/300).
    column c(sand(), kSandThetaS, kRichardsHavercamp, 300, 1.0, -61.5);
    const double w0 = c.water();
    rain_run r;
    const double pond = 1.0;   // cm, held
    r.run(c, 0.0, 6.0, 1.0 / 60.0, pond);
    const double before = r.infiltrated;
    r.run(c, 0.0, 1.0, 1.0 / 60.0, pond);
    EXPECT_NEAR(r.infiltrated - before, kSandKs, 0.01 * kSandKs);
    EXPECT_EQ(r.io.state, 2);
    EXPECT_NEAR(c.water() - w0 + r.io.pond, r.rained - r.drained + r.created, 1e-9 * r.rained);
    EXPECT_LT(std::fabs(r.created), 1e-3 * r.infiltrated);
}

TEST(RichardsSolver, BrooksCoreyColumnDrainsAtTheUnitGradientHead) {
    column c(loam(), kLoamThetaS, kRichardsBrooks, 60, 1.0, -100.0);
    const double w0 = c.water();
    rain_run r;
    r.s.model = kRichardsBrooks;
    r.run(c, 0.2, 200.0, 0.25);
    for (int k = 1; k < c.count; ++k) EXPECT_NEAR(c.col.head[static_cast<size_t>(k)], -31.913, 0.01 * 31.913) << k;
    EXPECT_NEAR(c.water() - w0 + r.io.pond, r.rained - r.drained + r.created, 1e-9 * r.rained);
}

TEST(RichardsSolver, OnePassInTheFluxStateAndFivePassesAtMostWhenPonded) {
    column c(sand(), kSandThetaS, kRichardsHavercamp, 30, 1.0, -61.5);
    rain_run r;
    r.s.iter_max = 1;
    r.run(c, 0.05 * kSandKs, 0.1, 0.1);
    EXPECT_EQ(r.io.state, 1);
    EXPECT_GT(r.io.sub_steps, 0);
}

TEST(RichardsSetup, ColumnsOverAWaterTableStopAtTheTableOrHoldOneSaturatedNode) {
    // Three 10-cm layers of sand, 2-cm nodes; cell 1's table 25 cm below
    // the ground, cell 2's 0.3 m above it; aquifer bottom 2 m down.
    run_state* rs = create_run_state();
    rs->GNUM = 2;
    rs->cell_size = 10.0;
    rs->water_table = 1;
    rs->richards_c_option = kRichardsHavercamp;
    rs->richards_layer_limit = 151;
    rs->aquifer_delta_z = 0.05;   // m
    soil_layer_record& soil = rs->soil_table[7];
    for (int l = 0; l < 3; ++l) {
        soil.ksat[l] = kSandKs;
        soil.porosity[l] = kSandThetaS;
        soil.residual[l] = 0.075;
        soil.initial_theta[l] = 0.1;
        soil.thickness[l] = 10.0;
        soil.node_dz[l] = 2.0;
        soil.hav_alpha[l] = 36.936;
        soil.hav_beta[l] = 3.96;
        soil.hav_a[l] = 1.175e6;
        soil.hav_b[l] = 4.74;
    }
    soil.layer1_end = 5;
    soil.layer2_end = 10;
    soil.richards_nodes = 15;   // with a water table: no bottom node of its own
    rs->soiltype = {0, 7, 7};
    rs->elevation = {0.0, 100.0, 100.0};
    rs->elevgw = {0.0, 99.75, 100.3};
    rs->bottom_elev = {0.0, 98.0, 98.0};
    ASSERT_TRUE(initial_soil_volumes(*rs));
    // Cell 1: twelve 2-cm nodes reach 24 cm, node 13 is cut to the 1 cm
    // above the table (head -0.5 cm), node 14 is the saturated bottom node.
    EXPECT_EQ(rs->richards_nodes[1], 14);
    EXPECT_NEAR(rs->richards_dz[1][13], 1.0, 1e-9);
    EXPECT_NEAR(rs->richards_columns[1].head[13], -0.5, 1e-9);
    EXPECT_NEAR(rs->richards_columns[1].head[1], -24.0, 1e-9);   // centre 1 cm down, table at 25 cm
    EXPECT_NEAR(rs->richards_columns[1].head[14], 1.0, 1e-12);
    EXPECT_EQ(rs->richards_theta[1][14], kSandThetaS);
    for (int k = 1; k <= 13; ++k) {
        const double h = rs->richards_columns[1].head[static_cast<size_t>(k)];
        EXPECT_NEAR(rs->richards_theta[1][static_cast<size_t>(k)],
                    richards_theta_of_head(sand(), kSandThetaS, h, 2), 1e-15) << k;
    }
    EXPECT_EQ(rs->yes_exfil[1], 0);
    // Cell 2: a single saturated node with the table's head above the ground.
    EXPECT_EQ(rs->richards_nodes[2], 1);
    EXPECT_NEAR(rs->richards_columns[2].head[1], 1.0 + 30.0, 1e-9);
    EXPECT_EQ(rs->richards_theta[2][1], kSandThetaS);
    EXPECT_EQ(rs->yes_exfil[2], 1);
    // Averages of the column.
    EXPECT_NEAR(rs->totaldz[1], 30.0, 1e-12);
    EXPECT_NEAR(rs->avgks[1], kSandKs, 1e-12);

    // A table below the nodes the aquifer bottom allows is refused naming the cell.
    rs->elevgw = {0.0, 90.0, 100.3};
    clear_error_record();
    testing::internal::CaptureStdout();
    EXPECT_FALSE(initial_soil_volumes(*rs));
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Error: cell 1: the water table"), std::string::npos) << out;
    EXPECT_EQ(error_record.stop, 1);   // reported: the run stops
    clear_error_record();
    destroy_run_state(rs);
}

TEST(RichardsSoilTable, MappingTableFormReadsTheBrooksLayersAndTheirNodes) {
    // "NUM_SOILS n", a second count line, a heading line, then the first
    // layer line of a soil: its id, a description, values from character 88.
    std::string first = "3     Loam described in words";
    first.resize(87, ' ');
    first += "2 0.45 0.04 0.2 0.1 0.3 10 0.32 14.66 2";
    const std::string text = "NUM_SOILS 1\nNUM_LAYERS 3\nID DESCRIPTION KS THS\n" + first +
                             "\n1 0.40 0.04 0.2 0.1 0.3 20 0.32 -14.66 5\n"
                             "0.5 0.40 0.04 0.2 0.1 0.3 30 0.32 14.66 3\n";
    const std::string path = testing::TempDir() + "richards_table.txt";
    FILE* out = std::fopen(path.c_str(), "w");
    ASSERT_NE(out, nullptr);
    std::fputs(text.c_str(), out);
    std::fclose(out);
    file_object f;
    ASSERT_TRUE(open_file_named(f, path.c_str(), "r"));
    std::vector<soil_layer_record> table(10000);
    std::vector<char> defined(10000, 0);
    EXPECT_EQ(read_richards_soil_table(f, true, kRichardsBrooks, false, false, 151, table.data(), &defined), 1);
    close_file_object(f);
    const soil_layer_record& s = table[3];
    EXPECT_TRUE(defined[3]);
    EXPECT_EQ(s.ksat[0], 2.0);
    EXPECT_EQ(s.bc_bubbling[0], -14.66);   // stored negative whatever its sign
    EXPECT_EQ(s.bc_bubbling[1], -14.66);
    EXPECT_EQ(s.node_dz[2], 3.0);
    EXPECT_EQ(s.layer1_end, 5);              // 10 cm / 2 cm
    EXPECT_EQ(s.layer2_end, 9);              // + 20 cm / 5 cm
    EXPECT_EQ(s.richards_nodes, 9 + 10 + 1); // + 30 cm / 3 cm and the bottom node
}

// Evaporation demand of long-term runs. The soil barely conducts (Ks
// 1e-12 cm/h), so every change of the column's water is the demand's:
// - the surface water gives pet x t while it lasts; a pond of P cm against
//   pet dries at P / pet and the root zone then gives aet for the rest;
// - an unstressed root zone (all nodes at or above field capacity) gives
//   aet, spread per cm of its depth R: a node of thickness dz wholly within
//   R loses aet x t / R of content, a node half within R half of that;
// - a stressed node (wilting point wp < theta < field capacity fc) loses
//   aet / R x (theta - wp) / (fc - wp) per hour: theta - wp decays as
//   exp(-aet t / (R (fc - wp))) and never falls below wp.
namespace {

constexpr double kWilting = 0.08;    // m3/m3
constexpr double kFieldCap = 0.15;   // m3/m3

richards_node_soil tight_sand() {
    richards_node_soil s = sand();
    s.ks = 1e-12;
    s.theta_wp = kWilting;
    s.theta_fc = kFieldCap;
    return s;
}

// Ten 2-cm nodes at content theta0 under free drainage.
column dry_column(double theta0) {
    const richards_node_soil s = tight_sand();
    return column(s, kSandThetaS, kRichardsHavercamp, 10, 2.0,
                  richards_head_of_theta(s, kSandThetaS, theta0, kRichardsHavercamp));
}

struct demand_run {
    richards_settings s;
    richards_work w;
    richards_cell_io io;
    double pond_evaporated = 0.0, soil_evaporated = 0.0, infiltrated = 0.0, drained = 0.0,
           created = 0.0;   // cm

    // Hourly steps of `hours` h under the demand pet, aet (cm/h) with root depth `root` cm.
    void run(column& c, double pet, double aet, double root, int hours) {
        io.pet = pet;
        io.aet = aet;
        io.root_depth = root;
        io.dtr = 0.1;
        for (int i = 0; i < hours; ++i) {
            richards_step_column(c.col, c.theta.data(), c.dz.data(), c.ths.data(), c.count, 1.0, s, w, io);
            ASSERT_FALSE(io.failed);
            pond_evaporated += io.pond_evaporated;
            soil_evaporated += io.soil_evaporated;
            infiltrated += io.infiltrated;
            drained += io.drained;
            created += io.column_error;
        }
    }
};

}  // namespace

TEST(RichardsEvaporation, SurfaceWaterFirstThenTheRootZone) {
    const struct {
        const char* what;
        double pond, pet, aet;   // cm, cm/h, cm/h
        int hours;
        double surface, soil;    // expected evaporated, cm
    } cases[] = {
        {"a pond that outlasts the demand gives pet x t", 1.0, 0.1, 0.05, 5, 0.5, 0.0},
        {"0.2 cm against 0.5 cm/h dries at 0.4 h, the soil gives aet for 0.6 h", 0.2, 0.5, 0.25, 1, 0.2,
         0.15},
        {"the same pond over three hours", 0.2, 0.5, 0.25, 3, 0.2, 0.65},
        {"no pond: the root zone gives aet all along", 0.0, 0.3, 0.2, 3, 0.0, 0.6},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.what);
        column c = dry_column(0.25);   // above field capacity all through
        const double before = c.water();
        demand_run r;
        r.io.pond = k.pond;
        r.run(c, k.pet, k.aet, 10.0, k.hours);
        EXPECT_NEAR(r.pond_evaporated, k.surface, 1e-9);   // the tight soil takes ~1e-12 cm
        EXPECT_NEAR(r.soil_evaporated, k.soil, 1e-9);
        EXPECT_NEAR(r.io.pond, k.pond - k.surface, 1e-9);
        // Surface water: what was there = evaporated + infiltrated + left.
        EXPECT_NEAR(k.pond, r.pond_evaporated + r.infiltrated + r.io.pond, 1e-12);
        // Column: the change is infiltrated - drained - evapotranspired + resets.
        EXPECT_NEAR(c.water() - before, r.infiltrated - r.drained - r.soil_evaporated + r.created, 1e-12);
    }
}

TEST(RichardsEvaporation, RootZoneSinkSpreadsByDepthAndStress) {
    {
        SCOPED_TRACE("unstressed, root depth 7 cm over 2-cm nodes");
        column c = dry_column(0.25);
        demand_run r;
        r.run(c, 0.3, 0.2, 7.0, 2);
        const double full = 0.2 * 2.0 / 7.0;   // content lost by a node wholly within 7 cm
        const double expected[] = {0.0, full, full, full, 0.5 * full, 0, 0, 0, 0, 0, 0};
        for (int k = 1; k <= 10; ++k)
            EXPECT_NEAR(0.25 - c.theta[static_cast<size_t>(k)], expected[k], 1e-9) << "node " << k;
        EXPECT_NEAR(r.soil_evaporated, 0.4, 1e-9);
    }
    {
        SCOPED_TRACE("stressed between wilting point and field capacity, root depth 10 cm");
        column c = dry_column(0.12);
        const double before = c.water();
        demand_run r;
        r.s.dtheta_max = 1e-4;   // small sub-steps for the comparison with the exponential
        r.run(c, 0.5, 0.5, 10.0, 1);
        const double rate = 0.5 / (10.0 * (kFieldCap - kWilting));   // 1/h
        const double analytic = kWilting + (0.12 - kWilting) * std::exp(-rate * 1.0);
        for (int k = 1; k <= 5; ++k)
            EXPECT_NEAR(c.theta[static_cast<size_t>(k)], analytic, 5e-3 * (analytic - kWilting)) << k;
        for (int k = 6; k <= 10; ++k) EXPECT_NEAR(c.theta[static_cast<size_t>(k)], 0.12, 1e-9) << k;
        // A long dry spell with a large demand: down to the wilting point, never below.
        r.s.dtheta_max = 0.0025;
        for (int h = 0; h < 100; ++h) {
            r.run(c, 5.0, 5.0, 10.0, 1);
            for (int k = 1; k <= 5; ++k) ASSERT_GE(c.theta[static_cast<size_t>(k)], kWilting - 1e-12) << h;
        }
        for (int k = 1; k <= 5; ++k) EXPECT_NEAR(c.theta[static_cast<size_t>(k)], kWilting, 1e-6) << k;
        EXPECT_NEAR(r.soil_evaporated, 10.0 * (0.12 - kWilting), 1e-5);
        EXPECT_NEAR(c.water() - before, r.infiltrated - r.drained - r.soil_evaporated + r.created, 1e-12);
    }
}

// The infiltration step's columns in a long-term run: which cells meet the
// demand. Seven cells of the tight sand, each with a 0.2 cm pond, under pet
// 0.5 cm/h and aet 0.25 cm/h for one hour (root zone: soil_moist_depth 10 cm).
TEST(RichardsEvaporation, LongTermCellsMeetTheDemandUnlessRainedOnSnowedOnFrozenOrUnderALake) {
    enum { kDry = 1, kRaining, kSnowCovered, kFrozen, kAtTheFrozenLimit, kTableAtGround, kChannelLake,
           kCells = kChannelLake };
    const struct {
        int cell;
        const char* what;
        double surface, soil;   // evaporated in a long-term run, cm
        int unchanged;          // column untouched: 0 never, 1 in long-term runs, 2 always
    } cases[] = {
        {kDry, "dry cell", 0.2, 0.15, 0},
        {kRaining, "raining cell takes no demand", 0.0, 0.0, 0},
        {kSnowCovered, "cell under a snow pack takes no demand", 0.0, 0.0, 0},
        {kFrozen, "frozen cell (cfgi 90) rests, its pond too", 0.0, 0.0, 1},
        {kAtTheFrozenLimit, "cfgi 83 is not frozen", 0.2, 0.15, 0},
        {kTableAtGround, "water table at the ground: the surface water only", 0.2, 0.0, 2},
        {kChannelLake, "channel-lake cell: the lake evaporates instead", 0.0, 0.0, 0},
    };
    for (int long_term = 0; long_term <= 1; ++long_term) {
        SCOPED_TRACE(long_term ? "long-term run" : "event run: no demand");
        run_state_ptr rs(create_run_state());
        clear_error_record();
        rs->GNUM = kCells;
        rs->cell_size = 10.0;
        rs->richards_c_option = kRichardsHavercamp;
        rs->richards_layer_limit = 151;
        rs->richards_k_option = 2;
        rs->richards_weight = 1.0;
        rs->richards_iter_max = 1;
        rs->richards_dtheta_max = 0.0025;
        rs->long_term = long_term;
        rs->soil_moist_depth = 10.0;   // cm
        soil_layer_record& soil = rs->soil_table[3];
        for (int l = 0; l < 3; ++l) {
            soil.ksat[l] = 1e-12;
            soil.porosity[l] = kSandThetaS;
            soil.residual[l] = 0.075;
            soil.initial_theta[l] = 0.25;
            soil.wilting_point[l] = kWilting;
            soil.field_capacity[l] = kFieldCap;
            soil.thickness[l] = 10.0;
            soil.node_dz[l] = 2.0;
            soil.hav_alpha[l] = 36.936;
            soil.hav_beta[l] = 3.96;
            soil.hav_a[l] = 1.175e6;
            soil.hav_b[l] = 4.74;
        }
        soil.layer1_end = 5;
        soil.layer2_end = 10;
        soil.richards_nodes = 16;
        const size_t slots = kCells + 1;
        rs->soiltype.assign(slots, 3);
        ASSERT_TRUE(initial_soil_volumes(*rs));
        for (std::vector<double>* v : {&rs->ov_depth, &rs->cell_rain_rate, &rs->cfgi, &rs->snow_swe})
            v->assign(slots, 0.0);
        rs->pet_rate.assign(slots, 0.5 / 3600.0);    // cm/s
        rs->aet_rate.assign(slots, 0.25 / 3600.0);   // cm/s
        rs->lake_mask.assign(slots, 0);
        rs->channel_lakes = 1;
        for (size_t c = 1; c < slots; ++c) {
            rs->ov_depth[c] = 0.002;   // m
            rs->dtr[c] = 0.1;
        }
        rs->cell_rain_rate[kRaining] = 1e-6;   // m/s
        rs->snow = 1;
        rs->snow_swe[kSnowCovered] = 0.01;     // m
        rs->cfgi[kFrozen] = 90.0;
        rs->cfgi[kAtTheFrozenLimit] = 83.0;
        rs->yes_exfil[kTableAtGround] = 1;
        rs->lake_mask[kChannelLake] = 1;
        const std::vector<std::vector<double>> before = rs->richards_theta;

        const double returned = solve_richards(*rs, 3600.0, 0);
        ASSERT_EQ(error_record.code, 0);
        double surface = 0.0, soil_et = 0.0;
        for (const auto& k : cases) {
            SCOPED_TRACE(k.what);
            const size_t c = static_cast<size_t>(k.cell);
            const double want_surface = long_term ? k.surface : 0.0;
            const double want_soil = long_term ? k.soil : 0.0;
            const double direct = rs->direct_evaporation.size() > c ? rs->direct_evaporation[c] : 0.0;
            EXPECT_NEAR(direct, want_surface, 1e-9);
            double lost = 0.0;   // cm the column's nodes lost
            for (int n = 1; n < rs->richards_nodes[c]; ++n)
                lost += (before[c][static_cast<size_t>(n)] - rs->richards_theta[c][static_cast<size_t>(n)]) *
                        rs->richards_dz[c][static_cast<size_t>(n)];
            EXPECT_NEAR(lost, want_soil - rs->cum_infil[c] * 100.0, 1e-9);
            if (k.unchanged == 2 || (k.unchanged == 1 && long_term)) {
                EXPECT_EQ(rs->richards_theta[c], before[c]);
                EXPECT_EQ(rs->cum_infil[c], 0.0);
                EXPECT_EQ(rs->ov_depth[c], 0.002 - want_surface / 100.0);
            }
            surface += want_surface;
            soil_et += want_soil;
        }
        EXPECT_NEAR(returned, (surface + soil_et) / 100.0, 1e-11);
        EXPECT_NEAR(rs->vol_richards_soil_et, soil_et / 100.0 * 100.0, 1e-7);   // m3 over 100 m2 cells
    }
}
