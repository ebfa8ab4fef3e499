// Richards columns over a moving water table: the column re-laid to a new
// table keeps the node grid, hands the aquifer exactly the change of its
// unsaturated water, holds the equilibrium content in a newly drained part,
// and the aquifer's storage coefficient is the mean saturated content of the
// ground the table crosses.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "run/run_state.h"
#include "subsurface/gw_richards.h"
#include "subsurface/richards_soil.h"
#include "subsurface_fixture.h"

namespace {

constexpr double kPorosity[3] = {0.32, 0.30, 0.287};   // layers 1-3, m3/m3
constexpr double kAquiferPorosity = 0.35;              // m3/m3
constexpr double kGround = 100.0;                      // m

// One cell: Haverkamp sand in three layers of 10 cm with 2-cm nodes, then
// 5-cm aquifer nodes; the table starts `depth_cm` below the ground.
run_state_ptr table_column(double depth_cm) {
    run_state_ptr rs = make_grid_state(1, 1, 10.0);
    rs->inf_richards = 1;
    rs->gw_simulation = 1;
    rs->water_table = 1;
    rs->richards_c_option = kRichardsHavercamp;
    rs->richards_layer_limit = 151;
    rs->aquifer_delta_z = 0.05;   // m
    soil_layer_record& soil = rs->soil_table[7];
    for (int l = 0; l < 3; ++l) {
        soil.ksat[l] = 33.984;
        soil.porosity[l] = kPorosity[l];
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
    soil.richards_nodes = 15;
    rs->soiltype = {0, 7};
    rs->elevation = {0.0, kGround};
    rs->elevgw = {0.0, kGround - depth_cm / 100.0};
    rs->bottom_elev = {0.0, kGround - 2.0};
    rs->gw_porosity = {0.0, kAquiferPorosity};
    rs->gwbound = {0, 1};
    rs->gw_unsat_exchange = {0.0, 0.0};
    rs->dtr = {0.0, 0.01};
    EXPECT_TRUE(initial_soil_volumes(*rs));
    couple_richards_to_aquifer(*rs);
    return rs;
}

// Water of the unsaturated nodes 1..n-1, cm.
double column_water(const run_state& rs) {
    double w = 0.0;
    for (int k = 1; k < rs.richards_nodes[1]; ++k) w += rs.richards_theta[1][k] * rs.richards_dz[1][k];
    return w;
}

richards_node_soil sand() {
    richards_node_soil s;
    s.theta_r = 0.075;
    s.alpha = 36.936;
    s.beta = 3.96;
    s.a = 1.175e6;
    s.b = 4.74;
    return s;
}

}  // namespace

TEST(RichardsOverTable, StartColumnBelowTheSoilHoldsTheAquiferMaterialInEquilibrium) {
    run_state_ptr rs = table_column(42.0);
    // 15 soil nodes (30 cm), 30-35 and 35-40 cm, 40-42 cut at the table, bottom node.
    ASSERT_EQ(rs->richards_nodes[1], 19);
    for (int k = 16; k <= 19; ++k) EXPECT_EQ(rs->richards_theta_s[1][k], kAquiferPorosity) << k;
    EXPECT_EQ(rs->richards_theta_s[1][15], kPorosity[2]);
    for (int k = 1; k <= 18; ++k) {
        const double h = rs->richards_columns[1].head[k];
        EXPECT_NEAR(rs->richards_theta[1][k],
                    richards_theta_of_head(sand(), rs->richards_theta_s[1][k], h, kRichardsHavercamp),
                    1e-15) << k;
    }
    EXPECT_EQ(rs->richards_theta[1][19], kAquiferPorosity);
}

TEST(RichardsOverTable, ReLaidColumnKeepsTheGridAndHandsOverItsWaterChange) {
    struct relayout_case {
        const char* what;
        double from_cm, to_cm;   // table depth before and after, cm below the ground
        int nodes;               // node count after (bottom node included)
        double last_dz;          // thickness of the last unsaturated node, cm
        double bottom_theta_s;   // saturated content of the bottom node
    };
    const relayout_case cases[] = {
        {"still table", 25.0, 25.0, 14, 1.0, kPorosity[2]},
        {"falls inside the soil", 25.0, 28.0, 15, 2.0, kPorosity[2]},
        {"falls below the soil", 25.0, 42.0, 19, 2.0, kAquiferPorosity},
        {"rises inside the soil", 25.0, 13.0, 8, 1.0, kPorosity[1]},
        {"rises from the aquifer into the soil", 42.0, 25.0, 14, 1.0, kPorosity[2]},
        {"a sliver above the table joins the node above", 25.0, 24.0001, 13, 2.0001, kPorosity[2]},
        {"reaches the ground", 25.0, -10.0, 1, 0.0, kPorosity[0]},
    };
    for (const relayout_case& c : cases) {
        SCOPED_TRACE(c.what);
        run_state_ptr rs = table_column(c.from_cm);
        const std::vector<double> before = rs->richards_theta[1];
        const int old_nodes = rs->richards_nodes[1];
        const double held = column_water(*rs);
        rs->elevgw[1] = kGround - c.to_cm / 100.0;
        richards_relayout_work w;
        const double given = gw_soil_profile(*rs, 1, w);
        const int n = rs->richards_nodes[1];
        ASSERT_EQ(n, c.nodes);
        // The aquifer receives exactly what the unsaturated nodes lost.
        EXPECT_NEAR(given, held - column_water(*rs), 1e-12);
        const std::vector<double>& theta = rs->richards_theta[1];
        const std::vector<double>& dz = rs->richards_dz[1];
        const std::vector<double>& ths = rs->richards_theta_s[1];
        const richards_column& col = rs->richards_columns[1];
        EXPECT_EQ(theta[n], ths[n]);
        EXPECT_EQ(ths[n], c.bottom_theta_s);
        if (c.to_cm <= 0.0) {
            // One saturated node carrying the head of the water above the ground.
            EXPECT_EQ(rs->yes_exfil[1], 1);
            EXPECT_NEAR(col.head[1], -c.to_cm + 0.5 * dz[1], 1e-9);
            EXPECT_NEAR(given, held, 1e-12);
            continue;
        }
        EXPECT_EQ(rs->yes_exfil[1], 0);
        EXPECT_NEAR(col.head[n], 0.5 * dz[n], 1e-12);
        EXPECT_NEAR(dz[n - 1], c.last_dz, 1e-9);
        double depth = 0.0;
        for (int k = 1; k < n; ++k) {
            // Grid spacings: 2 cm in the soil, 5 cm below it (the last node cut).
            if (k < n - 1) {
                EXPECT_EQ(dz[k], k <= 15 ? 2.0 : 5.0) << k;
            }
            EXPECT_GT(theta[k], 0.075) << k;
            EXPECT_LE(theta[k], ths[k]) << k;
            const double top = depth;
            depth += dz[k];
            // Whole nodes above both tables keep their content (the node cut
            // at the new table takes the water of the part now saturated);
            // nodes wholly below the old table hold the equilibrium content
            // of the new one.
            if (depth <= std::min(c.from_cm, c.to_cm) && k < old_nodes - 1 && k < n - 1) {
                EXPECT_EQ(theta[k], before[k]) << k;
            } else if (top >= c.from_cm) {
                const double mid = 0.5 * (top + depth);
                EXPECT_NEAR(theta[k],
                            richards_theta_of_head(sand(), ths[k], -(c.to_cm - mid), kRichardsHavercamp),
                            1e-12) << k;
            }
        }
        EXPECT_NEAR(depth, c.to_cm, 1e-9);
        if (c.from_cm - c.to_cm > 5.0) {
            // The water of the part now below the table stays in the column:
            // far more than the cut node holds, which is left saturated.
            EXPECT_EQ(theta[n - 1], ths[n - 1]);
        }
        if (c.to_cm > c.from_cm) {
            EXPECT_LT(given, 0.0) << "a falling table drains the aquifer into the new column";
        }
        if (c.to_cm == c.from_cm) {
            EXPECT_NEAR(given, 0.0, 1e-12);
        }
    }
}

TEST(RichardsOverTable, StorageIsTheMeanSaturatedContentOfTheGroundCrossed) {
    struct storage_case {
        const char* what;
        double from_cm, to_cm;   // table depth before and after, cm below the ground
        double expected;
    };
    const storage_case cases[] = {
        {"still, in layer 3", 25.0, 25.0, kPorosity[2]},
        {"still, in layer 1", 4.0, 4.0, kPorosity[0]},
        {"still, below the soil", 50.0, 50.0, kAquiferPorosity},
        {"still, above the ground", -5.0, -5.0, 1.0},
        {"falls out of the soil", 25.0, 45.0, (5.0 * kPorosity[2] + 15.0 * kAquiferPorosity) / 20.0},
        {"rises above the ground", 15.0, -5.0,
         (5.0 * 1.0 + 10.0 * kPorosity[0] + 5.0 * kPorosity[1]) / 20.0},
    };
    run_state_ptr rs = table_column(25.0);
    for (const storage_case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_NEAR(gw_layer_average(*rs, 1, kGround - c.from_cm / 100.0, kGround - c.to_cm / 100.0),
                    c.expected, 1e-12);
    }
}

// After a groundwater step every column follows its cell's head: a solved
// cell hands its column's water change to the aquifer; a fixed-head cell
// whose head an outer model moved (held heads) follows it too, the water
// crossing its boundary; a fixed head that stayed leaves its column alone.
TEST(RichardsOverTable, ColumnsFollowSolvedAndHeldHeads) {
    struct follow_case {
        const char* what;
        int code;                // groundwater boundary code of the cell
        double from_cm, to_cm;   // table depth before and after, cm below the ground
    };
    const follow_case cases[] = {
        {"solved head rises", 1, 42.0, 25.0},
        {"held head rises into the soil", 2, 42.0, 13.0},
        {"held head falls below the soil", 2, 13.0, 42.0},
        {"held head stays", 2, 25.0, 25.0},
    };
    constexpr double kArea = 100.0;   // m2, cells of 10 m
    for (const follow_case& c : cases) {
        SCOPED_TRACE(c.what);
        run_state_ptr rs = table_column(c.from_cm);
        rs->gwbound[1] = c.code;
        rs->gw_head_prev = rs->elevgw;
        const std::vector<double> before = rs->richards_theta[1];
        const double held = column_water(*rs);   // cm
        rs->elevgw[1] = kGround - c.to_cm / 100.0;
        adjust_richards_to_table(*rs);
        double depth = 0.0;   // cm, the unsaturated nodes reach the table
        for (int k = 1; k < rs->richards_nodes[1]; ++k) depth += rs->richards_dz[1][k];
        EXPECT_NEAR(depth, c.to_cm, 1e-9);
        const double given = (held - column_water(*rs)) / 100.0 * kArea;   // m3 to the aquifer
        EXPECT_NEAR(rs->gw_vol_sat_unsat, given, 1e-12);
        if (c.code == 1) {
            EXPECT_NEAR(rs->gw_unsat_exchange[1] / 100.0 * kArea, given, 1e-12);
            EXPECT_EQ(rs->gw_vol_boundary_flux, 0.0);
        } else {
            // The fixed head takes it out across its boundary.
            EXPECT_EQ(rs->gw_unsat_exchange[1], 0.0);
            EXPECT_NEAR(rs->gw_vol_boundary_flux, -given, 1e-12);
            EXPECT_NEAR(rs->gw_vol_inputs, given, 1e-12);
        }
        if (c.from_cm == c.to_cm) {
            EXPECT_EQ(rs->richards_theta[1], before);
            EXPECT_EQ(given, 0.0);
        } else {
            EXPECT_GT(std::fabs(given), 0.1) << "the column moved no water";
        }
    }
}
