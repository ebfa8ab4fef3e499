// Initial snow, surface water and soil moisture, hotstart maps, the soil and
// lake start values and the initial storages.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/error.h"
#include "run/run_state.h"
#include "grid_test_support.h"
#include "input/cell_arrays.h"
#include "input/grid.h"
#include "input/initial_state.h"

namespace {

using grid_test::map_text;

// The plus-shaped watershed of five 10 m cells with ground 101..105 m.
class InitialStateTest : public grid_test::GridTest {
protected:
    void SetUp() override {
        GridTest::SetUp();
        set_grid(3, 3, 10.0);
        rs().outrow = 2;
        rs().outcol = 2;
    }
    // Numbers the mask, reads the elevation and allocates the arrays of the
    // options set so far.
    void build() {
        load_mask({"0 1 0", "1 1 1", "0 1 0"});
        load_elevation(map_text(3, 3, {"0 101 0", "102 103 104", "0 105 0"}));
        ASSERT_EQ(rs().GNUM, 5);
        ASSERT_EQ(error_record.stop, 0);
        console([&] { alloc_cell_arrays(rs()); });
    }
    std::string hotstart(const std::string& name, const std::vector<std::string>& rows) {
        return write(name, map_text(3, 3, rows));
    }
    static void set_name(char* slot, const std::string& name) {
        std::snprintf(slot, kCardNameSize, "%s", name.c_str());
    }
    static std::vector<double> cells(double c1, double c2, double c3, double c4, double c5) {
        return {0.0, c1, c2, c3, c4, c5};
    }
};

TEST_F(InitialStateTest, UniformSnowWaterEquivalent) {
    build();
    rs().cards.init_swe_depth_mode = 3;
    rs().cards.init_swe_depth_value = 0.2;
    EXPECT_EQ(console([&] { read_initial_surface_state(rs()); }), "");
    EXPECT_EQ(rs().snow_swe, cells(0.2, 0.2, 0.2, 0.2, 0.2));
    // The ice of the pack (mm) is left unset: the snow routine sets it from the SWE.
    EXPECT_EQ(rs().snow_ice, cells(0.0, 0.0, 0.0, 0.0, 0.0));
    EXPECT_EQ(rs().snow, 1);
}

TEST_F(InitialStateTest, SnowWaterEquivalentMap) {
    rs().long_term = 1;
    build();
    std::string path = hotstart("swe.map", {"0 0.1 0", "0 0.3 0", "0 0.5 0"});
    rs().cards.init_swe_depth_mode = 1;
    set_name(rs().cards.init_swe_depth, path);
    std::string out = console([&] { read_initial_surface_state(rs()); });
    EXPECT_EQ(out, "reading initial snow swe map from file: " + path + "\n" +
                       "Warning: Map contains 2 cells with zero values. Map: " + path + "\n");
    EXPECT_EQ(rs().snow_swe, cells(0.1, 0.0, 0.3, 0.0, 0.5));
    EXPECT_EQ(rs().snow_ice[5], 0.0);   // set by the snow routine
    EXPECT_EQ(rs().snow, 1);
    EXPECT_EQ(rs().surface_water_present, 0);
}

TEST_F(InitialStateTest, OverlandHotstartFillsDepthAndItsPreviousCopy) {
    build();
    std::string path = hotstart("ov.map", {"0 0.01 0", "0.02 0.03 0.04", "0 0.05 0"});
    rs().cards.ov_init_depth_given = 1;
    set_name(rs().cards.ov_init_depth, path);
    std::string out = console([&] { read_initial_surface_state(rs()); });
    EXPECT_EQ(out, "reading overland hotstart map from file: " + path + "\n");
    EXPECT_EQ(rs().ov_depth, cells(0.01, 0.02, 0.03, 0.04, 0.05));
    EXPECT_EQ(rs().ov_depth_prev, rs().ov_depth);
    EXPECT_FALSE(rs().ov_hotstart_file.is_open());
}

TEST_F(InitialStateTest, BadHotstartMapStopsTheRun) {
    build();
    std::string path = write("ov.map", map_text(2, 3, {"0 1 0", "1 1 1"}));
    rs().cards.ov_init_depth_given = 1;
    set_name(rs().cards.ov_init_depth, path);
    std::string out = console([&] { read_initial_surface_state(rs()); });
    EXPECT_NE(out.find("Incorrect number of rows in map: " + path), std::string::npos);
    EXPECT_EQ(error_record.stop, 1);
}

TEST_F(InitialStateTest, UniformWaterSurfaceFillsOnlyLowerCells) {
    build();
    rs().cards.init_elev_head_given = 1;
    struct head_case {
        double head;
        std::vector<double> depths;
    } cases[] = {
        {100.0, cells(0, 0, 0, 0, 0)},
        {103.5, cells(2.5, 1.5, 0.5, 0, 0)},
    };
    for (const head_case& c : cases) {
        SCOPED_TRACE(c.head);
        std::fill(rs().ov_depth.begin(), rs().ov_depth.end(), 0.0);
        rs().cards.init_elev_head = c.head;
        console([&] { read_initial_surface_state(rs()); });
        EXPECT_EQ(rs().ov_depth, c.depths);
        EXPECT_EQ(rs().ov_depth_prev, c.depths);
    }
}

TEST_F(InitialStateTest, LongTermSurfaceWaterFlagFollowsTheInitialDepth) {
    rs().long_term = 1;
    build();
    rs().cards.init_elev_head_given = 1;
    rs().cards.init_elev_head = 50.0;
    console([&] { read_initial_surface_state(rs()); });
    EXPECT_EQ(rs().surface_water_present, 0);
    EXPECT_EQ(rs().snow, 0);
    rs().cards.init_elev_head = 101.5;
    console([&] { read_initial_surface_state(rs()); });
    EXPECT_EQ(rs().surface_water_present, 1);
}

class SoilHotstartTest : public InitialStateTest {
protected:
    std::string read_hotstart() {
        path_ = hotstart("sm.map", {"0 0.11 0", "0.12 0.13 0.14", "0 0.15 0"});
        rs().cards.read_sm_hotstart_given = 1;
        set_name(rs().cards.read_sm_hotstart, path_);
        return console([&] { read_soil_moisture_hotstart(rs()); });
    }
    std::string path_;
};

TEST_F(SoilHotstartTest, GreenAmptFamilyTakesTheInitialContent) {
    for (int redistribution = 0; redistribution <= 1; ++redistribution) {
        SCOPED_TRACE(redistribution);
        rs_.reset(create_run_state());
        set_grid(3, 3);
        rs().outrow = rs().outcol = 2;
        rs().green_ampt = !redistribution;
        rs().inf_redist = redistribution;
        build();
        std::string out = read_hotstart();
        EXPECT_EQ(out, "reading soil moisture hotstart map from file: " + path_ + "\n");
        EXPECT_EQ(rs().thi, cells(0.11, 0.12, 0.13, 0.14, 0.15));
        if (redistribution) {
            EXPECT_EQ(rs().redist_theta, rs().thi);
            EXPECT_EQ(rs().redist_theta_prev, rs().thi);
        }
    }
}

TEST_F(SoilHotstartTest, RichardsTakesOnlyTheFirstNodeOfEachColumn) {
    rs().inf_richards = 1;
    build();
    rs().richards_nodes.assign(6, 3);
    rs().richards_theta.assign(6, std::vector<double>(4, 0.3));
    rs().richards_dz.assign(6, std::vector<double>(4, 5.0));
    read_hotstart();
    for (int j = 1; j <= 5; ++j) {
        EXPECT_DOUBLE_EQ(rs().richards_theta[j][1], 0.1 + 0.01 * j);
        EXPECT_DOUBLE_EQ(rs().richards_theta[j][0], 0.3);
        EXPECT_DOUBLE_EQ(rs().richards_theta[j][2], 0.3);
        EXPECT_DOUBLE_EQ(rs().richards_theta[j][3], 0.3);
    }
}

TEST_F(SoilHotstartTest, LayeredSoilTakesTheFirstLayer) {
    rs().inf_layered_soil = 1;
    build();
    read_hotstart();
    EXPECT_DOUBLE_EQ(rs().theta_ml[3][1], 0.13);
    EXPECT_DOUBLE_EQ(rs().theta_ml[3][2], 0.0);
}

// Start values of the redistribution scheme over a water table.
TEST_F(InitialStateTest, RedistributionSoilColumnsOverAWaterTable) {
    rs().inf_redist = 1;
    rs().water_table = 1;
    rs().porosity = 1;              // the porosity map switch creates phi
    rs().soil_moist_depth = 40.0;   // cm
    rs().top_layer_depth = 0.0;     // takes the soil-moisture depth
    build();
    for (int j = 1; j <= 5; ++j) {
        rs().thi[j] = 0.2;
        rs().phi[j] = 0.45;
    }
    // Water table: deep, 0.25 m below ground, at the ground, above it, and above
    // it in a channel-lake cell.
    const double ground[] = {0, 101, 102, 103, 104, 105};
    const double table[] = {0, 90, 101.75, 103, 104.5, 106};
    for (int j = 1; j <= 5; ++j) rs().elevgw[j] = table[j];
    rs().channel_lakes = 1;
    rs().lake_mask.assign(6, 0);
    rs().lake_mask[5] = 1;
    ASSERT_EQ(rs().elevation[1], ground[1]);

    console([&] { set_initial_state(rs()); });
    EXPECT_EQ(error_record.stop, 0);
    EXPECT_DOUBLE_EQ(rs().top_layer_depth, 40.0);
    EXPECT_DOUBLE_EQ(rs().mixing_layer_depth, 40.0);
    EXPECT_EQ(rs().unsat_depth, cells(40.0, 25.0, 0.0, 0.0, 0.0));
    EXPECT_EQ(rs().yes_exfil, (std::vector<int>{0, 0, 0, 1, 1, 0}));
    EXPECT_EQ(rs().exfiltration, 1);
    EXPECT_EQ(rs().thi, cells(0.2, 0.2, 0.45, 0.45, 0.45));
    EXPECT_DOUBLE_EQ(rs().root_zone_upper[1], 8.0);
    EXPECT_DOUBLE_EQ(rs().root_zone_upper[2], 5.0);
    EXPECT_DOUBLE_EQ(rs().root_zone_water[3], 0.0);
    // Working copies hold the content before saturation.
    EXPECT_DOUBLE_EQ(rs().redist_theta[3], 0.2);
    // Soil columns: (8 + 5) cm over 100 m2.
    EXPECT_NEAR(rs().vol_soil_moist_init, 13.0, 1e-12);
    EXPECT_NEAR(rs().vol_soil_init, 13.0, 1e-12);
}

TEST_F(InitialStateTest, RedistributionColumnSplitsAtTheTopLayer) {
    rs().inf_redist = 1;
    rs().soil_moist_depth = 60.0;
    rs().top_layer_depth = 25.0;
    build();
    for (int j = 1; j <= 5; ++j) rs().thi[j] = 0.3;
    console([&] { set_initial_state(rs()); });
    EXPECT_DOUBLE_EQ(rs().root_zone_upper[1], 7.5);
    EXPECT_DOUBLE_EQ(rs().root_zone_lower[1], 10.5);
    EXPECT_DOUBLE_EQ(rs().root_zone_water[1], 18.0);
    EXPECT_NEAR(rs().vol_soil_moist_init, 5 * 18.0, 1e-9);
    EXPECT_DOUBLE_EQ(rs().mixing_layer_depth, 25.0);
}

TEST_F(InitialStateTest, LayeredSoilColumnSplitByLayerDepths) {
    rs().inf_layered_soil = 1;
    rs().water_table = 1;
    build();
    soil_layer_record& soil = rs().soil_table[7];
    soil.thickness[0] = 20.0;
    soil.thickness[1] = 30.0;
    soil.porosity[0] = 0.4;
    soil.porosity[1] = 0.42;
    soil.porosity[2] = 0.44;
    for (int j = 1; j <= 5; ++j) {
        rs().soiltype[j] = 7;
        rs().theta_ml[j][1] = 0.2;
        rs().theta_ml[j][2] = 0.3;
    }
    // Depth to the water table: 0.1 m (d <= L1), 0.35 m (L1 < d < L1 + L2),
    // 1 m (d >= L1 + L2), at the ground, and far below.
    const double table[] = {0, 100.9, 101.65, 102, 104, 0};
    for (int j = 1; j <= 5; ++j) rs().elevgw[j] = table[j];
    console([&] { set_initial_state(rs()); });
    EXPECT_EQ(error_record.stop, 0);
    struct split_case {
        int cell;
        double depth, top, lower;
    } cases[] = {{1, 10.0, 2.0, 0.0}, {2, 35.0, 4.0, 4.5}, {3, 50.0, 4.0, 9.0},
                 {4, 0.0, 0.0, 0.0},  {5, 50.0, 4.0, 9.0}};
    for (const split_case& c : cases) {
        SCOPED_TRACE(c.cell);
        EXPECT_NEAR(rs().unsat_depth[c.cell], c.depth, 1e-9);
        EXPECT_NEAR(rs().root_zone_upper[c.cell], c.top, 1e-9);
        EXPECT_NEAR(rs().root_zone_lower[c.cell], c.lower, 1e-9);
    }
    // The saturated cell takes the porosity of its soil's three layers.
    EXPECT_DOUBLE_EQ(rs().theta_ml[4][1], 0.4);
    EXPECT_DOUBLE_EQ(rs().theta_ml[4][2], 0.42);
    EXPECT_DOUBLE_EQ(rs().theta_ml[4][3], 0.44);
    EXPECT_EQ(rs().yes_exfil[4], 1);
}

TEST_F(InitialStateTest, SoilTypeOutsideTheSoilTableIsRefused) {
    rs().inf_layered_soil = 1;
    build();
    rs().soiltype[4] = 10000;
    std::string out = console([&] { set_initial_state(rs()); });
    EXPECT_EQ(out, std::string("Error: soil type 10000 of grid cell 4 is outside the soil table "
                               "(0 to 9999)\n") +
                       grid_test::kReported);
    EXPECT_EQ(error_record.stop, 1);
}

TEST_F(InitialStateTest, OverlandLakeVolumeAndALakeBelowTheGround) {
    rs().lakes = 1;
    build();
    rs().num_overland_lakes = 1;
    rs().overland_lakes.assign(2, overland_lake{});
    rs().oland_lake_mask[2] = 1;
    rs().oland_lake_mask[3] = 1;
    rs().overland_lakes[1].initial_level = 103.5;
    console([&] { set_initial_state(rs()); });
    EXPECT_EQ(error_record.stop, 0);
    EXPECT_NEAR(rs().vol_ovlake_init, (1.5 + 0.5) * 100.0, 1e-9);

    rs().overland_lakes[1].initial_level = 102.5;
    std::string out = console([&] { set_initial_state(rs()); });
    EXPECT_EQ(out,
              "\nWARNING: initial water surface elevation in lake 1 is 102.500000 which is\n"
              "less than the land surface elevation in grid cell 3, 103.000000.\n"
              "You should either raise your initial lake elevation or lower that grid\n"
              "cell elevation.  Program stopped.\n" +
                  std::string(grid_test::kReported));
    EXPECT_EQ(error_record.stop, 1);

    // A lake id without a record is refused, not read past the records.
    error_record = error_info{};
    rs().oland_lake_mask[5] = 4;
    rs().overland_lakes[1].initial_level = 110.0;
    out = console([&] { set_initial_state(rs()); });
    EXPECT_EQ(out, std::string("Error: grid cell 5 lies in lake 4, which the lake file does not "
                               "define\n") +
                       grid_test::kReported);
    EXPECT_EQ(error_record.stop, 1);
}

TEST_F(InitialStateTest, GroundwaterAndRichardsVolumes) {
    rs().inf_richards = 1;
    rs().gw_simulation = 1;
    build();
    for (int j = 1; j <= 5; ++j) {
        rs().elevgw[j] = 100.0;
        rs().bottom_elev[j] = 90.0;
        rs().gw_porosity[j] = 0.3;
    }
    // Columns of three nodes of 10 cm: nodes 1 and 2 count, as in the final
    // volume; node 3 is the bottom boundary (saturated at a water table).
    rs().richards_nodes.assign(6, 3);
    rs().richards_theta.assign(6, std::vector<double>{0.3, 0.3, 0.2, 0.4});
    rs().richards_dz.assign(6, std::vector<double>(4, 10.0));
    rs().bound_type[2] = 5;
    console([&] { set_initial_state(rs()); });
    EXPECT_NEAR(rs().gw_vol_start, 5 * 10.0 * 0.3 * 100.0, 1e-9);
    EXPECT_NEAR(rs().vol_soil_init, 5 * (0.3 + 0.2) * 10.0 / 100.0 * 100.0, 1e-9);
    EXPECT_EQ(rs().bound_type[2], 1);
}

TEST_F(InitialStateTest, LongTermSnowStateStartsClean) {
    rs().long_term = 1;
    rs().green_ampt = 1;
    build();
    rs().snow_swe[2] = 0.4;
    rs().snow_ati[2] = -3.0;
    rs().qlr[2][6] = 1.0;
    console([&] { set_initial_state(rs()); });
    EXPECT_DOUBLE_EQ(rs().snow_swe[2], 0.0);   // no initial snow was given
    EXPECT_DOUBLE_EQ(rs().snow_ati[2], 0.0);
    EXPECT_DOUBLE_EQ(rs().qlr[2][6], 0.0);
    EXPECT_DOUBLE_EQ(rs().snow_density[2], 0.15);

    rs().cards.init_swe_depth_mode = 3;
    rs().snow_swe[2] = 0.4;
    console([&] { set_initial_state(rs()); });
    EXPECT_DOUBLE_EQ(rs().snow_swe[2], 0.4);
}

TEST_F(InitialStateTest, InitialSurfaceVolumeLeavesOutLakeCells) {
    build();
    for (int j = 1; j <= 5; ++j) rs().ov_depth[j] = 0.01 * j;
    const double all = (0.01 + 0.02 + 0.03 + 0.04 + 0.05) * 100.0;
    compute_initial_surface_volume(rs());
    EXPECT_NEAR(rs().vol_surface_init, all, 1e-9);

    rs().channel_lakes = 1;
    rs().lake_mask.assign(6, 0);
    rs().lake_mask[5] = 2;
    compute_initial_surface_volume(rs());
    EXPECT_NEAR(rs().vol_surface_init, all - 5.0, 1e-9);

    // With overland lakes the overland lake cells are left out instead.
    rs().lakes = 1;
    rs().oland_lake_mask.assign(6, 0);
    rs().oland_lake_mask[1] = 1;
    compute_initial_surface_volume(rs());
    EXPECT_NEAR(rs().vol_surface_init, all - 1.0, 1e-9);
}

TEST_F(InitialStateTest, SampledSaturationStopsAtTheLastNode) {
    rs().inf_richards = 1;
    build();
    // Column of cell 1: four nodes of 10 cm, theta/theta_s = 0.5 everywhere.
    rs().richards_nodes.assign(6, 0);
    rs().richards_theta.assign(6, {});
    rs().richards_dz.assign(6, {});
    rs().richards_theta_s.assign(6, {});
    rs().richards_nodes[1] = 4;
    rs().richards_theta[1] = {0.2, 0.2, 0.2, 0.2, 0.2};
    rs().richards_theta_s[1] = {0.4, 0.4, 0.4, 0.4, 0.4};
    rs().richards_dz[1] = {10, 10, 10, 10, 10};
    struct depth_case {
        double depth, value;
    } cases[] = {
        {10.0, 0.5},   // K = 1: 5 / 10
        {20.0, 0.5},   // K = 2: 10 / 20
        {40.0, 0.5},   // deeper than the column: K = 3, the last possible
        {1e9, 0.5},
    };
    for (const depth_case& c : cases) {
        EXPECT_DOUBLE_EQ(richards_sampled_saturation(rs(), 1, c.depth), c.value) << c.depth;
    }
    // A two-node column with a drier top node.
    rs().richards_nodes[2] = 2;
    rs().richards_theta[2] = {0.1, 0.1, 0.4};
    rs().richards_theta_s[2] = {0.4, 0.4, 0.4};
    rs().richards_dz[2] = {5, 5, 20};
    EXPECT_DOUBLE_EQ(richards_sampled_saturation(rs(), 2, 40.0), 0.25 * 5 / 20);
    // No column, a one-node column, a cell outside the arrays.
    rs().richards_nodes[3] = 1;
    rs().richards_theta[3] = {0.1, 0.1};
    rs().richards_dz[3] = {5, 5};
    EXPECT_DOUBLE_EQ(richards_sampled_saturation(rs(), 3, 40.0), 0.0);
    EXPECT_DOUBLE_EQ(richards_sampled_saturation(rs(), 4, 40.0), 0.0);
    EXPECT_DOUBLE_EQ(richards_sampled_saturation(rs(), 9, 40.0), 0.0);
    // A node count larger than the arrays hold is cut to what they hold.
    rs().richards_nodes[1] = 50;
    EXPECT_DOUBLE_EQ(richards_sampled_saturation(rs(), 1, 1e9), 0.5);
}

}  // namespace
