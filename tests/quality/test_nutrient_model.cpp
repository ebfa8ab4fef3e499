// The nutrient sub-model on hand-made grids and networks: initial values by
// mode in cells and nodes, the hand-over of infiltrating species into their
// soil pools, the soil uptake, and the derived outputs read from the right
// constituents.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <omp.h>

#include "conc_test_support.h"
#include "pluvo_test.h"
#include "quality/nutrient_derived.h"
#include "quality/nutrients.h"

using namespace conc_test;
using pluvo_test::temp_dir;
using pluvo_test::write_file;

namespace {

constexpr double kCell = 10.0;   // cell size, m

class NutrientTest : public ConcTest {
protected:
    // `cells` cells in a row, `depth` m deep (dry where dry_cell), no flow;
    // the nutrient block after no contaminant, with the soil pools when
    // `soil`.
    void grid(int cells, double depth, bool soil, int dry_cell = 0) {
        run_state& r = rs();
        r.nsm_on = 1;
        r.nsm = &model_;
        r.GNUM = cells;
        r.cell_size = kCell;
        const size_t n = static_cast<size_t>(cells) + 1;
        r.ov_depth.assign(n, depth);
        if (dry_cell > 0) r.ov_depth[static_cast<size_t>(dry_cell)] = 0.0;
        for (std::vector<double>* v : {&r.ov_qx, &r.ov_qy}) v->assign(n, 0.0);
        for (std::vector<int>* v : {&r.leftcon, &r.rightcon, &r.abovecon, &r.belowcon}) v->assign(n, 0);
        for (int j = 1; j <= cells; ++j) {
            if (j > 1) r.leftcon[j] = j - 1;
            if (j < cells) r.rightcon[j] = j + 1;
        }
        if (soil) {
            r.soil_con_trans = 1;
            r.green_ampt = 1;
            r.soil_moist_depth = 10.0;   // cm
            r.phi.assign(n, 0.45);
            r.thi.assign(n, 0.3);
        }
        r.overland_constituents = 1;
        alloc_constituent_arrays(r, 0);
        ASSERT_EQ(r.first_nsm_constituent, 1);
        ASSERT_EQ(r.num_constituents, soil ? kNsmBlockWithSoil : kNsmBlock);
    }
    // Constituent row of species or pool k.
    size_t c(int k) { return static_cast<size_t>(rs().first_nsm_constituent + k); }

    nsm_model model_;
};

// Captures what a call prints on the console.
template <class F>
std::string printed(F f) {
    testing::internal::CaptureStdout();
    f();
    return testing::internal::GetCapturedStdout();
}

// The block follows the contaminants: species of type 2, then the four
// soil-only pools of type 3 when soil constituents are on.
TEST_F(NutrientTest, BlockNumberingAfterTheContaminants) {
    const struct {
        int contaminants;
        bool nutrients, soil;
        int count, first;
    } cases[] = {
        {0, true, false, 9, 1}, {0, true, true, 13, 1}, {2, true, false, 11, 3},
        {2, true, true, 15, 3}, {2, false, true, 2, -1},
    };
    for (const auto& k : cases) {
        run_state& r = rs();
        r.GNUM = 2;
        r.nsm_on = k.nutrients ? 1 : 0;
        r.nsm = k.nutrients ? &model_ : nullptr;
        r.soil_con_trans = k.soil ? 1 : 0;
        alloc_constituent_arrays(r, k.contaminants);
        EXPECT_EQ(r.num_constituents, k.count);
        EXPECT_EQ(r.first_nsm_constituent, k.first);
        for (int i = 1; i <= k.count; ++i) {
            const int type = i <= k.contaminants ? 1 : i < k.contaminants + 1 + kNsmSpecies ? 2 : 3;
            EXPECT_EQ(r.constituent_type[i], type) << "constituent " << i;
            EXPECT_EQ(r.con.mass[i].size(), 3u);
            EXPECT_EQ(r.con_tot.nsm_gain.size(), static_cast<size_t>(k.count) + 1);
        }
    }
}

// Each mode of the overland compartment: the concentrations it gives, the
// masses conc x depth x dx2 (0 on a dry cell), or the stop it raises with
// the catalogue's message.
TEST_F(NutrientTest, OverlandModesTable) {
    const std::vector<double> table = {0.0, 4.0, 5.0, 6.0};
    const struct {
        const char* what;
        int mode;
        const std::vector<double>* table;
        const char* file;
        std::vector<double> conc;    // expected per cell 1..3; empty when the run stops
        const char* message;         // expected in the console text
    } cases[] = {
        {"uniform", kNsmInitUniform, nullptr, "", {2.5, 2.5, 2.5},
         "Assigning spatially uniform parameters for the Nitrate (NO3-) constituent"},
        {"mapping table", kNsmInitNone, &table, "", {4.0, 5.0, 6.0},
         "Assigning parameters for the Nitrate (NO3-) constituent from the mapping table."},
        {"mapping table without the section (119)", kNsmInitNone, nullptr, "", {},
         "no mapping table exists (Grid): Nitrate (NO3-)"},
        {"map file that does not open (80)", kNsmInitMap, nullptr, "no_such_map.asc", {},
         "Error: Unable to open the nutrient file no_such_map.asc"},
        {"no card", 0, &table, "", {0.0, 0.0, 0.0}, ""},
    };
    grid(3, 0.02, false, 2);
    for (const auto& k : cases) {
        error_record = error_info{};
        std::vector<double> conc, mass;
        bool ok = true;
        const std::string out = printed([&] {
            ok = assign_nsm_overland_values(rs(), kNsmNo3, k.mode, 2.5, k.file, k.table, conc, &mass);
        });
        EXPECT_NE(out.find(k.message), std::string::npos) << k.what << ": " << out;
        if (k.conc.empty()) {
            EXPECT_FALSE(ok) << k.what;
            EXPECT_EQ(error_record.stop, 1) << k.what;
            continue;
        }
        ASSERT_TRUE(ok) << k.what;
        if (k.mode == 0) {
            EXPECT_TRUE(out.empty()) << k.what;
        }
        for (int j = 1; j <= 3; ++j) {
            EXPECT_EQ(conc[j], k.conc[j - 1]) << k.what << " cell " << j;
            if (k.mode == 0) continue;
            const double h = rs().ov_depth[j];
            EXPECT_NEAR(mass[j], k.conc[j - 1] * h * kCell * kCell, 1e-12) << k.what << " cell " << j;
        }
        EXPECT_EQ(mass.size() > 2 ? mass[2] : 0.0, 0.0) << k.what << ": the dry cell holds no mass";
    }
}

// The stream compartment: nodes of channel links take the value, nodes of a
// lake link keep 0; node mass = flow area x node spacing x value; a dry node
// holds neither.
TEST_F(NutrientTest, StreamModesTable) {
    temp_dir dir;
    write_file(dir.file("st.map"), "STREAM_MAP\nNLINKS 3\n7.0 8.0 9.0\n");
    const std::string map = dir.file("st.map");
    const struct {
        const char* what;
        int mode;
        const char* file;
        bool table;
        std::vector<double> link_value;   // expected per link 1..3; empty when the run stops
        const char* message;
    } cases[] = {
        {"uniform", kNsmInitUniform, "", false, {2.5, 2.5, 0.0},
         "Assigning spatially uniform parameters for the stream constituent Ammonium (NH4+)"},
        {"stream map", kNsmInitMap, map.c_str(), false, {7.0, 8.0, 0.0},
         "Assigning parameters from a continuous map for the stream constituent Ammonium (NH4+)"},
        {"stream table", kNsmInitNone, "", true, {3.0, 3.0, 0.0},
         "Assigning parameters for the stream constituent Ammonium (NH4+) from the mapping table."},
        {"stream table without the section (120)", kNsmInitNone, "", false, {},
         "no mapping table exists (Stream): Ammonium (NH4+)"},
        {"stream map that does not open (80)", kNsmInitMap, "none.map", false, {},
         "Error: Unable to open the nutrient file none.map"},
    };
    // Links of 3, 2 and 2 nodes, 4 m, 5 m, 6 m apart; link 3 a lake link.
    chain({3, 2, 2}, {4.0, 5.0, 6.0}, {0x04, 0x08, 0x20}, 0.5);
    run_state& r = rs();
    r.area(2, 2) = 0.0;   // node 2 of link 2 is dry
    const int stride = r.maxnodes + 1;
    std::vector<double> table(static_cast<size_t>(stride * (r.links + 1)), 3.0);
    for (const auto& k : cases) {
        error_record = error_info{};
        std::vector<double> conc, mass;
        bool ok = true;
        const std::string out = printed([&] {
            ok = assign_nsm_stream_values(r, kNsmNh4, k.mode, 2.5, k.file, k.table ? &table : nullptr, conc,
                                          &mass);
        });
        EXPECT_NE(out.find(k.message), std::string::npos) << k.what << ": " << out;
        if (k.link_value.empty()) {
            EXPECT_FALSE(ok) << k.what;
            EXPECT_EQ(error_record.stop, 1) << k.what;
            continue;
        }
        ASSERT_TRUE(ok) << k.what;
        for (int l = 1; l <= 3; ++l) {
            for (int j = 1; j <= r.nx[l]; ++j) {
                const size_t f = static_cast<size_t>(stride * l + j);
                const double value = l == 2 && j == 2 ? 0.0 : k.link_value[l - 1];
                EXPECT_EQ(conc[f], value) << k.what << " link " << l << " node " << j;
                EXPECT_NEAR(mass[f], value * r.area(j, l) * r.dx[l], 1e-12)
                    << k.what << " link " << l << " node " << j;
            }
        }
    }
}

// The stream ID map of the aquatic environment file: each node takes its
// link's ID; a map that is missing, or made for another network, leaves
// every node at ID 1 and stops nothing.
TEST_F(NutrientTest, StreamIdMapOrOnes) {
    temp_dir dir;
    write_file(dir.file("ids.map"), "STREAM_MAP\nNLINKS 2\n4 7\n");
    write_file(dir.file("other.map"), "STREAM_MAP\nNLINKS 3\n4 7 9\n");
    chain({3, 2}, {4.0, 5.0}, {0x04, 0x04}, 0.5);
    const struct {
        const char* file;
        int link1, link2;
    } cases[] = {{"ids.map", 4, 7}, {"other.map", 1, 1}, {"none.map", 1, 1}, {"", 1, 1}};
    for (const auto& k : cases) {
        aquatic_env_tables t;
        t.st_map = k.file[0] ? dir.file(k.file) : "";
        error_record = error_info{};
        read_aquatic_stream_ids(t, rs());
        EXPECT_EQ(error_record.code, 0) << k.file;
        const int stride = rs().maxnodes + 1;
        for (int j = 1; j <= 3; ++j) EXPECT_EQ(t.st_id[static_cast<size_t>(stride + j)], k.link1) << k.file;
        for (int j = 1; j <= 2; ++j) EXPECT_EQ(t.st_id[static_cast<size_t>(2 * stride + j)], k.link2) << k.file;
    }
}

// Infiltrated or stranded mass of each species enters its related pool once
// (NO3 -> nitrate 3, NH4 -> ammonium 2, ON -> organic active N 4, OP ->
// organic active P 10, DP -> mineral solution P 8); NO2, Alg, CBOD and DO
// stay in the cell's land store. No other pool changes, and a second call
// hands nothing more.
TEST_F(NutrientTest, HandOverTable) {
    const struct {
        int species;
        int pool;   // -1: the land store
    } cases[] = {
        {kNsmNo2, -1}, {kNsmNo3, 3}, {kNsmNh4, 2}, {kNsmOn, 4}, {kNsmOp, 10},
        {kNsmDp, 8},   {kNsmAlg, -1}, {kNsmCbod, -1}, {kNsmDo, -1},
    };
    grid(2, 0.01, true);
    run_state& r = rs();
    for (const auto& k : cases) r.con.pend_soil_in[c(k.species)][2] = 1.0 + k.species;   // g
    hand_nutrients_to_soil(r);
    hand_nutrients_to_soil(r);
    std::vector<double> expect_pool(kNsmPools, 0.0);
    for (const auto& k : cases) {
        const double amount = 1.0 + k.species;
        EXPECT_EQ(r.con.pend_soil_in[c(k.species)][2], 0.0) << k.species;
        if (k.pool < 0) {
            EXPECT_EQ(r.con.land[c(k.species)][2], amount) << k.species;
            EXPECT_EQ(r.con_tot.to_pool[c(k.species)], 0.0) << k.species;
        } else {
            expect_pool[static_cast<size_t>(k.pool)] += amount;
            EXPECT_EQ(r.con.land[c(k.species)][2], 0.0) << k.species;
            EXPECT_NEAR(r.con_tot.to_pool[c(k.species)], amount / 1000.0, 1e-15) << k.species;
            EXPECT_NEAR(r.con_tot.pool_in[c(k.pool)], amount / 1000.0, 1e-15) << k.species;
        }
    }
    for (int p = 0; p < kNsmPools; ++p) {
        EXPECT_EQ(r.con.layer_mass[c(p)][2], expect_pool[static_cast<size_t>(p)]) << "pool " << p;
        EXPECT_EQ(r.con.layer_mass[c(p)][1], 0.0) << "pool " << p;
    }
}

// Through the overland steps: cells that infiltrate (and one that falls dry
// with its mass) hand each species to its pool; every constituent of the
// block keeps its balance to 1e-12 of what it started with, and each pool
// gained what its species lost.
TEST_F(NutrientTest, InfiltrationEntersThePoolsOnceThroughTheSteps) {
    grid(4, 0.02, true, 3);
    run_state& r = rs();
    r.ov_con_infil_volume.assign(5, 0.0);
    for (int k = 0; k < kNsmSpecies; ++k)
        for (int j = 1; j <= 4; ++j) r.con.conc[c(k)][j] = 10.0 * (k + 1);
    init_constituent_state(r);
    // The dry cell keeps a stranded mass; the others lose 0.5 m3 in the step.
    for (int k = 0; k < kNsmSpecies; ++k) r.con.mass[c(k)][3] = 3.0 * (k + 1);
    for (int j = 1; j <= 4; ++j) r.ov_con_infil_volume[j] = 0.5;
    std::vector<double> start(kNsmBlockWithSoil, 0.0);
    for (int k = 0; k < kNsmSpecies; ++k)
        for (int j = 1; j <= 4; ++j) start[k] += r.con.mass[c(k)][j];
    for (int k = 0; k < kNsmSpecies; ++k) r.con_tot.ov_init[c(k)] = start[k] / 1000.0;
    for (double* last : {&r.soil_con_last, &r.ov_con_rain_last, &r.ov_con_infil_last,
                         &r.ov_con_exchange_last, &r.ov_con_decay_last, &r.ov_con_outlet_last,
                         &r.ov_con_chan_last, &r.ov_con_transport_last})
        *last = r.time;
    overland_pass(10.0);
    const int pools[kNsmSpecies] = {-1, 3, 2, 4, 10, 8, -1, -1, -1};
    for (int k = 0; k < kNsmSpecies; ++k) {
        double water = 0.0, land = 0.0;
        for (int j = 1; j <= 4; ++j) {
            water += r.con.mass[c(k)][j];
            land += r.con.land[c(k)][j];
        }
        const double lost = start[k] - water;   // g
        EXPECT_GT(lost, 0.0) << k;
        if (pools[k] >= 0) {
            double pool = 0.0;
            for (int j = 1; j <= 4; ++j) pool += r.con.layer_mass[c(pools[k])][j];
            EXPECT_NEAR(pool, lost, 1e-12 * start[k]) << "species " << k;
            EXPECT_EQ(land, 0.0) << k;
        } else {
            EXPECT_NEAR(land, lost, 1e-12 * start[k]) << "species " << k;
        }
    }
    for (int k = 0; k < kNsmBlockWithSoil; ++k) {
        const constituent_balance b = compute_constituent_balance(r, static_cast<int>(c(k)));
        EXPECT_NEAR(b.residual, 0.0, 1e-12 * (b.initial + b.nsm_in + 1e-3)) << "constituent " << c(k);
    }
    for (int p : {0, 1, 5, 6, 7, 9, 11, 12})
        for (int j = 1; j <= 4; ++j) EXPECT_EQ(r.con.layer_mass[c(p)][j], 0.0) << "pool " << p;
}

// The uptake over t s frees pool x (1 - exp(-P / 0.01 m)) with P the cell's
// rain depth below the canopy (rate x t): the pool loses exactly what the
// species gains (to 1e-12), never more than the pool holds, nothing on a dry
// cell, without rain or once the event's rain has ended; carbon, fresh and
// stable pools never change.
TEST_F(NutrientTest, UptakeTable) {
    const struct {
        const char* what;
        double rain;    // m/s
        double depth;   // m
        double share;   // expected share of each pool
        int state;      // rain state of the event
        double below_canopy;   // rate after interception (m/s), -1 without interception
    } cases[] = {
        {"1 mm over the 10 s", 1e-4, 0.01, 1.0 - std::exp(-0.1), 1, -1.0},
        {"1 cm", 1e-3, 0.01, 1.0 - std::exp(-1.0), 1, -1.0},
        {"a metre of rain frees the whole pool", 1e-1, 0.01, 1.0, 1, -1.0},
        {"no rain", 0.0, 0.01, 0.0, 1, -1.0},
        {"dry cell", 1e-3, 0.0, 0.0, 1, -1.0},
        {"the event's rain has ended", 1e-3, 0.01, 0.0, 3, -1.0},
        {"1 mm of the 1 cm passes the canopy", 1e-3, 0.01, 1.0 - std::exp(-0.1), 1, 1e-4},
    };
    const int pairs[kNsmUptakePairs][2] = {{2, kNsmNh4}, {3, kNsmNo3}, {4, kNsmOn}, {8, kNsmDp}, {10, kNsmOp}};
    for (const auto& k : cases) {
        grid(1, k.depth, true);
        run_state& r = rs();
        r.cell_rain_rate.assign(2, k.rain);
        r.rain_state = k.state;
        if (k.below_canopy >= 0.0) {
            r.interception = 1;
            r.ri_eff.assign(2, k.below_canopy);
        }
        for (int p = 0; p < kNsmPools; ++p) r.con.layer_mass[c(p)][1] = 100.0 + p;   // g
        for (int s = 0; s < kNsmSpecies; ++s) {
            r.con.mass[c(s)][1] = k.depth > 0.0 ? 1.0 : 0.0;
            r.con.conc[c(s)][1] = k.depth > 0.0 ? 1.0 / (k.depth * kCell * kCell) : 0.0;
        }
        fork_nsm_overland_sums(r, 10.0);
        for (const auto& pr : pairs) {
            const double pool0 = 100.0 + pr[0];
            const double lost = pool0 - r.con.layer_mass[c(pr[0])][1];
            const double gained = r.con.mass[c(pr[1])][1] - (k.depth > 0.0 ? 1.0 : 0.0);
            EXPECT_NEAR(lost, pool0 * k.share, 1e-12 * pool0) << k.what << " pool " << pr[0];
            EXPECT_NEAR(gained, lost, 1e-12 * pool0) << k.what << " pool " << pr[0];
            EXPECT_LE(lost, pool0) << k.what;
            EXPECT_GE(r.con.layer_mass[c(pr[0])][1], 0.0) << k.what;
            EXPECT_NEAR(r.con_tot.nsm_loss[c(pr[0])], lost / 1000.0, 1e-15) << k.what;
            EXPECT_NEAR(r.con_tot.nsm_gain[c(pr[1])], gained / 1000.0, 1e-15) << k.what;
            if (k.depth > 0.0) {
                EXPECT_NEAR(r.con.conc[c(pr[1])][1], r.con.mass[c(pr[1])][1] / (k.depth * kCell * kCell), 1e-12)
                    << k.what;
            }
        }
        for (int p : {0, 1, 5, 6, 7, 9, 11, 12})
            EXPECT_EQ(r.con.layer_mass[c(p)][1], 100.0 + p) << k.what << " pool " << p;
        for (int s : {kNsmNo2, kNsmAlg, kNsmCbod, kNsmDo})
            EXPECT_EQ(r.con.mass[c(s)][1], k.depth > 0.0 ? 1.0 : 0.0) << k.what;
        TearDown();
        SetUp();
    }
}

// Over a soil column of three layers (layered Green-Ampt or Richards) the
// pools lie in layer 1 and the layers below: a metre of rain frees all of
// layer 1 of the five uptake pools and nothing of the layers below, the
// hand-over fills layer 1 only, and the balance counts every layer of a pool
// once (its residual stays 0 with the deep layers in the initial mass).
TEST_F(NutrientTest, ColumnPoolsGiveAndTakeThroughLayerOne) {
    const int cells = 2;
    grid(cells, 0.01, true);
    run_state& r = rs();
    constituent_cells& con = r.con;
    con.soil_layers = 3;
    const size_t slots = static_cast<size_t>(cells) + 1, rows = static_cast<size_t>(r.num_constituents) + 1;
    for (int k = 2; k <= 3; ++k) con.deep_mass[static_cast<size_t>(k)].assign(rows, std::vector<double>(slots, 0.0));
    const double layer_g[4] = {0.0, 100.0, 10.0, 1.0};   // g in layers 1..3 of pool p, plus p
    for (int p = 0; p < kNsmPools; ++p) {
        for (int j = 1; j <= cells; ++j) {
            con.layer_mass[c(p)][j] = layer_g[1] + p;
            for (int k = 2; k <= 3; ++k) con.deep_mass[static_cast<size_t>(k)][c(p)][j] = layer_g[k] + p;
        }
        r.con_tot.pool_init[c(p)] = cells * (layer_g[1] + layer_g[2] + layer_g[3] + 3.0 * p) / 1000.0;
    }
    for (int s = 0; s < kNsmSpecies; ++s) {
        for (int j = 1; j <= cells; ++j) {
            con.mass[c(s)][j] = 1.0;
            con.conc[c(s)][j] = 1.0 / (0.01 * kCell * kCell);
        }
        r.con_tot.ov_init[c(s)] = cells * 1.0 / 1000.0;
    }
    // 5 g of NO3 infiltrated in cell 1, on its way to pool 3.
    con.pend_soil_in[c(kNsmNo3)][1] = 5.0;
    r.con_tot.ov_init[c(kNsmNo3)] += 5.0 / 1000.0;
    r.cell_rain_rate.assign(slots, 1e-1);   // m/s
    r.rain_state = 1;
    fork_nsm_overland_sums(r, 10.0);
    hand_nutrients_to_soil(r);
    const int pairs[kNsmUptakePairs][2] = {{2, kNsmNh4}, {3, kNsmNo3}, {4, kNsmOn}, {8, kNsmDp}, {10, kNsmOp}};
    for (const auto& pr : pairs) {
        for (int j = 1; j <= cells; ++j) {
            const double handed = pr[0] == 3 && j == 1 ? 5.0 : 0.0;
            EXPECT_EQ(con.layer_mass[c(pr[0])][j], handed) << "pool " << pr[0] << " cell " << j;
            // The species gained layer 1 of its pool, not the column.
            EXPECT_NEAR(con.mass[c(pr[1])][j], 1.0 + layer_g[1] + pr[0], 1e-12) << "pool " << pr[0];
        }
    }
    for (int p = 0; p < kNsmPools; ++p)
        for (int j = 1; j <= cells; ++j)
            for (int k = 2; k <= 3; ++k)
                EXPECT_EQ(con.deep_mass[static_cast<size_t>(k)][c(p)][j], layer_g[k] + p) << "pool " << p;
    for (int k = 0; k < kNsmBlockWithSoil; ++k) {
        const constituent_balance b = compute_constituent_balance(r, static_cast<int>(c(k)));
        EXPECT_NEAR(b.residual, 0.0, 1e-12 * (b.initial + b.nsm_in)) << "constituent " << c(k);
    }
    // An untouched pool is its whole column.
    EXPECT_NEAR(compute_constituent_balance(r, static_cast<int>(c(0))).pools, r.con_tot.pool_init[c(0)], 1e-15);
}

// The uptake over a grid large enough to run on many threads gives the same
// pools, species and totals bit for bit with 1 and 8 threads.
TEST_F(NutrientTest, UptakeDoesNotDependOnTheThreadCount) {
    const int cells = 5000;
    std::vector<double> result[2];
    for (int t = 0; t < 2; ++t) {
        grid(cells, 0.01, true);
        run_state& r = rs();
        r.cell_rain_rate.assign(cells + 1, 0.0);
        r.rain_state = 1;
        for (int j = 1; j <= cells; ++j) {
            r.cell_rain_rate[j] = 1e-6 * (1 + j % 7);
            for (int p = 0; p < kNsmPools; ++p) r.con.layer_mass[c(p)][j] = 0.1 * p + 1e-3 * j;
        }
        omp_set_num_threads(t == 0 ? 1 : 8);
        fork_nsm_overland_sums(r, 60.0);
        for (int k = 0; k < kNsmBlockWithSoil; ++k) {
            result[t].push_back(r.con_tot.nsm_gain[c(k)]);
            result[t].push_back(r.con_tot.nsm_loss[c(k)]);
            for (int j = 1; j <= cells; ++j) {
                result[t].push_back(r.con.layer_mass[c(k)][j]);
                result[t].push_back(r.con.mass[c(k)][j]);
            }
        }
        TearDown();
        SetUp();
    }
    omp_set_num_threads(omp_get_num_procs());
    ASSERT_EQ(result[0].size(), result[1].size());
    EXPECT_TRUE(result[0] == result[1]);
}

// Derived outputs of a cell and a node holding NO2 0.2, NO3 3, NH4 1, ON 0.7,
// OP 0.4, DP 0.15 g in 1 m3 at 25 deg C and pH 7.2 (references computed by
// hand from the ammonia equilibrium: nh3 8.484986e-3 g): TN 4.908484986,
// TKN 1.708484986, TP 0.55 g, to 1e-9 relative; a cell or a channel-network
// lake whose water is below 1e-4 m3 reports no ammonia.
TEST_F(NutrientTest, DerivedOutputsOfCellsAndNodes) {
    const double masses[kNsmSpecies] = {0.2, 3.0, 1.0, 0.7, 0.4, 0.15, 5.0, 6.0, 7.0};
    chain({2}, {4.0}, {0x04}, 0.25);   // 1 m3 per node
    run_state& r = rs();
    r.nsm_on = 1;
    r.nsm = &model_;
    r.GNUM = 2;
    r.cell_size = kCell;
    r.ov_depth = {0.0, 0.01, 0.5e-6};   // 1 m3, then 5e-5 m3
    r.con = constituent_cells{};
    alloc_constituent_arrays(r, 0);
    r.con_chan = constituent_channel{};
    init_channel_constituents(r);
    ASSERT_GT(r.con_chan.stride, 0);
    model_.ka = ammonium_ka(25.0);
    model_.h_ion = hydrogen_ion(7.2);
    for (int s = 0; s < kNsmSpecies; ++s) {
        r.con.mass[c(s)][1] = r.con.mass[c(s)][2] = masses[s];
        r.con_chan.mass[c(s)][static_cast<size_t>(r.con_chan.stride + 1)] = masses[s];
    }
    compute_nsm_overland_outputs(r);
    compute_nsm_stream_outputs(r);
    const nsm_overland_outputs& o = model_.ov_out;
    const nsm_stream_outputs& st = model_.st_out;
    EXPECT_NEAR(o.nh3[1], 8.484986e-3, 1e-6 * 8.5e-3);
    EXPECT_NEAR(o.total_n[1], 4.908484986, 1e-9 * 4.9);
    EXPECT_NEAR(o.total_p[1], 0.55, 1e-9 * 0.55);
    EXPECT_EQ(o.nh3[2], 0.0);
    EXPECT_NEAR(o.total_n[2], 4.9, 1e-12);
    EXPECT_NEAR(st.nh3(1, 1), 8.484986e-3, 1e-6 * 8.5e-3);
    EXPECT_NEAR(st.total_n(1, 1), 4.908484986, 1e-9 * 4.9);
    EXPECT_NEAR(st.tkn(1, 1), 1.708484986, 1e-9 * 1.7);
    EXPECT_NEAR(st.total_p(1, 1), 0.55, 1e-9 * 0.55);
    EXPECT_EQ(st.total_n(2, 1), 0.0);   // node 2 holds nothing

    // Two channel-network lakes with the same masses, in 1 m3 and 5e-5 m3.
    r.con_lake = constituent_lakes{};
    r.con_lake.lakes = 2;
    r.con_lake.channel = 1;
    r.con_lake.mass.assign(c(kNsmSpecies), std::vector<double>(3, 0.0));
    for (int s = 0; s < kNsmSpecies; ++s) r.con_lake.mass[c(s)] = {0.0, masses[s], masses[s]};
    r.lake_mask.assign(3, 0);
    r.lake_volume = {0.0, 1.0, 5e-5};
    compute_nsm_lake_outputs(r);
    const nsm_lake_outputs& lk = model_.lake_out;
    ASSERT_EQ(lk.nh3.size(), 3u);
    EXPECT_NEAR(lk.nh3[1], 8.484986e-3, 1e-6 * 8.5e-3);
    EXPECT_NEAR(lk.total_n[1], 4.908484986, 1e-9 * 4.9);
    EXPECT_NEAR(lk.tkn[1], 1.708484986, 1e-9 * 1.7);
    EXPECT_NEAR(lk.total_p[1], 0.55, 1e-9 * 0.55);
    EXPECT_EQ(lk.nh3[2], 0.0);
    EXPECT_NEAR(lk.total_n[2], 4.9, 1e-12);
    EXPECT_NEAR(lk.tkn[2], 1.7, 1e-12);
}

}  // namespace
