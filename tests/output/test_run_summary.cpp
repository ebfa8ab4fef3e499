// End-of-run summary: final storages from the state arrays, the global
// balance section, the groundwater and Sacramento sections, the lake and
// drain balances, the water-balance identity of a run without water, the
// initial snow and drain storage in the global balance, and the closing of
// the map datasets and the K4 inflow file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "core/file_object.h"
#include "input/project_reader.h"
#include "output/k4.h"
#include "output/run_summary.h"
#include "output_test_support.h"
#include "pluvo_test.h"
#include "summary_test_support.h"

using output_test::run_state_owner;
using pluvo_test::read_file;
using pluvo_test::temp_dir;
using summary_test::contains;

namespace {

// A run state on the 2 x 3 grid of 10 m cells (100 m2 each) writing its
// summary into a temporary file.
struct run_case {
    temp_dir dir;
    run_state_owner owner;
    run_state& rs = *owner;

    run_case() {
        output_test::set_small_grid(rs);
        rs.watershed_area = rs.cell_size * rs.cell_size * rs.GNUM;
    }

    std::string summary() {
        output_test::open_on(rs.summary_file, dir.file("summary"));
        write_run_summary(rs);
        close_file_object(rs.summary_file);
        return read_file(dir.file("summary"));
    }
};

// The numbers of every line that reports a balance error (the last number
// of a line with "error" in it).
std::vector<double> error_values(const std::string& text) {
    std::vector<double> values;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.find("error") == std::string::npos) continue;
        std::istringstream fields(line);
        std::string field;
        double last = 0.0;
        bool found = false;
        while (fields >> field) {
            char* end = nullptr;
            const double v = std::strtod(field.c_str(), &end);
            if (end != field.c_str() && *end == '\0') {
                last = v;
                found = true;
            }
        }
        if (found) values.push_back(last);
    }
    return values;
}

}  // namespace

TEST(RunSummary, GlobalSectionOfAPlainRun) {
    run_case t;
    run_state& rs = t.rs;
    rs.green_ampt = 1;
    rs.vol_surface_init = 100.0;
    rs.ov_depth[1] = 0.5;   // 50 m3 left on the surface
    rs.vol_precip = 1000.0;
    rs.vol_interception = 20.0;
    rs.vol_infiltration = 400.0;
    rs.vol_discharge = 640.0;
    // The pits the overland process booked: formatted, no balance term.
    rs.pit_cells = 2;
    rs.pit_capacity = 12.5;
    rs.pit_deepest = 0.25;
    rs.vol_pits_final = 7.5;
    // overall: (100 + 1000 - (50 + 640 + 400)) / 1100; surface: the same 10 m3 over 50 + 1000
    const std::string text = t.summary();
    EXPECT_EQ(text,
              "\n \nSIMULATION TOTALS\nGLOBAL MASS BALANCE CALCULATIONS \nAll volumes are in cubic meters \n \n"
              "Initial volume on surface=                              100.00 \n"
              "Initial volume in channels=                               0.00 \n"
              "Initial volume in soils=                                  0.00 \n"
              "Initial volume in groundwater=                            0.00 \n"
              "\n"
              "Final volume on surface=                                 50.00\n"
              "Final volume on surface in pits=                          7.50\n"
              "  (2 pit cells, whose ground lies below every neighbour across their 4 faces;\n"
              "  they hold 12.50 m3 up to their lowest neighbours, the deepest 0.250 m)\n"
              "Final volume in channels=                                 0.00\n"
              "Final volume in soils=                                    0.00\n"
              "Final volume in groundwater=                              0.00\n"
              "Final volume of snow=                                     0.00\n"
              "\n"
              "Total amount of precip=                                1000.00\n"
              "Total amount of interception=                            20.00\n"
              "Total amount of infiltration=                           400.00\n"
              "Total amount of evaporation=                              0.00\n"
              "Total direct evaporation=                                 0.00\n"
              "Total amount of exfiltration=                             0.00\n"
              "\n"
              "Total downward flux from unsaturated zone=                0.00\n"
              "Total flux of gw across bounds=                           0.00\n"
              "Total overland point sources=                             0.00\n"
              "Total channel point sources=                              0.00\n\n"
              "Total lateral inflow into channels=                       0.00\n"
              "Total amount of discharge=                              640.00\n"
              "\n"
              "Mass balance error of surface components =                0.952381 percent\n\n"
              "Overall mass balance error =                              0.909091 percent\n \n"
              "Overall balance, relative error =                        9.091e-03\n \n");
    EXPECT_DOUBLE_EQ(rs.vol_total_init, 100.0);
    EXPECT_DOUBLE_EQ(rs.vol_total_final, 50.0);
    EXPECT_NEAR(rs.overall_mass_balance_error, 1000.0 / 1100.0, 1e-12);
    EXPECT_NEAR(rs.surface_mass_balance_error, 1000.0 / 1050.0, 1e-12);
}

TEST(RunSummary, FinalStoragesFromTheStateArrays) {
    run_case t;
    run_state& rs = t.rs;
    output_test::set_small_network(rs);   // channel link of 6 m2 x 50 m, a lake of 3000 m3
    rs.chan_explic = 1;
    rs.ov_depth = {0.0, 0.1, 0.2, 0.0, 0.0, 0.0, 0.3};
    rs.lake_mask = {0, 0, 1, 0, 0, 0, 0};            // cell 2 lies in the lake
    rs.snow_swe = {0.0, 0.01, 0.0, 0.0, 0.0, 0.0, 0.02};
    rs.gw_simulation = 1;
    rs.elevgw.assign(7, 95.0);
    rs.bottom_elev.assign(7, 90.0);
    rs.gw_porosity.assign(7, 0.2);                    // 6 cells x 5 m x 0.2 x 100 m2
    rs.gw_vol_start = 600.0;
    rs.gw_vol_inputs = -6.0;                          // the aquifer lost 6 m3 to its sinks...
    rs.gw_vol_boundary_flux = 12.0;                   // ...and gained 12 m3 across its bounds
    rs.recharge_computed = 1;
    rs.water_table = 1;
    rs.soil_moist_depth = 100.0;                      // cm
    rs.root_zone_water.assign(7, 20.0);               // cm
    rs.gw_inf_redist_theta.assign(7, 0.25);
    rs.long_term = 1;
    rs.direct_evaporation.assign(7, 1.0);             // cm not yet booked
    rs.vol_direct_evaporation = 4.0;
    t.summary();

    EXPECT_DOUBLE_EQ(rs.vol_surface_final, (0.1 + 0.3) * 100.0);
    EXPECT_DOUBLE_EQ(rs.vol_channel_final, (2.0 + 0.0 + 4.0) * 50.0);
    EXPECT_DOUBLE_EQ(rs.event_lake_final, 3000.0);
    EXPECT_DOUBLE_EQ(rs.vol_snow_final, (0.01 + 0.02) * 100.0);
    EXPECT_DOUBLE_EQ(rs.gw_vol_end, 600.0);
    // (600 - 600 + 6 - 12) / 600
    EXPECT_DOUBLE_EQ(rs.gw_mass_balance_error, -1.0);
    // 20 cm per cell, plus (100 - 95 - 1) m x 0.25 below the soil store
    EXPECT_DOUBLE_EQ(rs.vol_soil_moist_final, 6 * 20.0);
    EXPECT_DOUBLE_EQ(rs.vol_soil_final, 6 * (20.0 + 4.0 * 0.25 * 100.0));
    EXPECT_DOUBLE_EQ(rs.vol_direct_evaporation, 4.0 + 6 * 1.0);
    EXPECT_EQ(rs.direct_evaporation[3], 0.0);
}

TEST(RunSummary, RichardsColumnsHoldTheFinalSoilWater) {
    run_case t;
    run_state& rs = t.rs;
    rs.inf_richards = 1;
    rs.richards_nodes = {0, 3, 1, 0, 0, 0, 0};   // a one-node column holds nothing
    rs.richards_theta = {{}, {0.0, 0.3, 0.2, 0.1}, {0.0, 0.5}, {}, {}, {}, {}};
    rs.richards_dz = {{}, {0.0, 10.0, 20.0, 30.0}, {0.0, 10.0}, {}, {}, {}, {}};
    t.summary();
    // nodes 1 and 2 of cell 1: (0.3 x 10 + 0.2 x 20) cm
    EXPECT_DOUBLE_EQ(rs.vol_soil_final, 7.0 / 100.0 * 100.0);
}

// A run without water anywhere: every balance is 0 and no field of the
// summary is inf or nan, whatever processes are switched on.
TEST(RunSummary, EveryBalanceOfARunWithoutWaterIsZero) {
    const std::vector<std::pair<const char*, std::function<void(run_state&)>>> configurations = {
        {"plain", [](run_state&) {}},
        {"every process without Sacramento",
         [](run_state& rs) {
             rs.gw_simulation = 1;
             rs.channel_lakes = 1;
             rs.mlake_given = 1;
             rs.lakes = 1;
             rs.superlink = 1;
             rs.ov_boundary = 1;
             rs.recharge_computed = 1;
             rs.water_table = 1;
             rs.stream_exchange = 1;
             rs.chan_explic = 1;
             rs.cards.xy_in.groundwater_points = 1;
         }},
        {"Sacramento with empty zones",
         [](run_state& rs) {
             rs.sacramento = 1;
             rs.chan_explic = 1;
             rs.recharge_computed = 1;
         }},
    };
    for (const auto& c : configurations) {
        run_case t;
        c.second(t.rs);
        const std::string text = t.summary();
        SCOPED_TRACE(c.first);
        EXPECT_FALSE(summary_test::has_non_finite_field(text)) << text;
        const std::vector<double> errors = error_values(text);
        EXPECT_FALSE(errors.empty());
        for (double e : errors) EXPECT_EQ(e, 0.0);
        const run_state& rs = t.rs;
        for (double e : {rs.overall_mass_balance_error, rs.surface_mass_balance_error, rs.gw_mass_balance_error,
                         rs.soil_mass_balance_error, rs.ovlake_mass_error, rs.chan_lake_mass_error,
                         rs.drain_mass_error}) {
            EXPECT_EQ(e, 0.0);
        }
    }
}

// Snow and drain water present at the start and gone at the end must not
// read as water the run created: with 200 m3 of snow and 30 m3 in the drains
// leaving through the outlet with 1000 m3 of rain, the global balance closes.
TEST(RunSummary, InitialSnowAndDrainStorageCountInTheGlobalBalance) {
    run_case t;
    run_state& rs = t.rs;
    rs.superlink = 1;
    rs.vol_snow_init = 200.0;
    rs.vol_drains_init = 30.0;
    rs.vol_drains_to_channels = 30.0;
    rs.vol_precip = 1000.0;
    rs.vol_discharge = 1230.0;
    const std::string text = t.summary();
    EXPECT_DOUBLE_EQ(rs.vol_total_init, 230.0);
    EXPECT_EQ(rs.overall_mass_balance_error, 0.0);
    EXPECT_EQ(rs.surface_mass_balance_error, 0.0);
    EXPECT_EQ(rs.drain_mass_error, 0.0);
    EXPECT_TRUE(contains(text, "Subsurface drain mass bal error m^3=                      0.00\n\n"));
}

TEST(RunSummary, GroundwaterSectionAlwaysListsItsXyLines) {
    run_case t;
    run_state& rs = t.rs;
    rs.gw_simulation = 1;
    rs.elevgw.assign(7, 91.0);
    rs.bottom_elev.assign(7, 90.0);
    rs.gw_porosity.assign(7, 0.5);   // 300 m3 at the end
    rs.gw_vol_start = 250.0;
    rs.gw_vol_inputs = 40.0;
    rs.vol_xy_gain = 20.0;
    rs.vol_xy_loss = 15.0;
    // (300 - 250 - 40 - 20 + 15) / 250 = 2 percent
    const std::string text = t.summary();
    EXPECT_DOUBLE_EQ(rs.gw_mass_balance_error, 2.0);
    EXPECT_EQ(text.rfind("\n \nGROUNDWATER CALCULATIONS \n\n"
                         "GW volume start =                        250.00 \n"
                         "GW volume end =                          300.00 \n",
                         0),
              0u);
    EXPECT_TRUE(contains(text, "Gain from XY boundaries                   20.00 \n"
                               "Loss to XY boundaries                     15.00 \n"
                               "Mass Balance error =                       2.00 %  \n"
                               "\n"
                               "If you have any head boundaries \n"));
    EXPECT_TRUE(contains(text, "Total recharge inputs to groundwater=                     0.00\n"
                               "Total pumping from groundwater=                           0.00\n"));
    EXPECT_FALSE(contains(text, "Volume gained from XY boundaries"));   // no XY points in the lists

    run_case empty;
    empty.rs.gw_simulation = 1;
    empty.summary();
    EXPECT_EQ(empty.rs.gw_mass_balance_error, 0.0);   // no groundwater at the start
}

TEST(RunSummary, SacramentoSectionAndItsTotals) {
    run_case t;
    run_state& rs = t.rs;
    rs.sacramento = 1;
    sacramento_state& start = rs.sac_state_start;
    start.uztwm = 50.0, start.uzfwm = 40.0, start.lztwm = 100.0, start.lzfpm = 200.0, start.lzfsm = 0.0;
    start.uztwc = 25.0, start.uzfwc = 10.0, start.lztwc = 50.0, start.lzfpc = 100.0, start.lzfsc = 0.0;
    rs.sac_state = start;
    rs.sac_state.uztwc = 20.0;   // 5 mm evaporated
    rs.sac_init_storage = 185.0;
    rs.sac_aet = 5.0;
    rs.sac_deep_recharge = 2.0;  // mm
    rs.vol_precip = 100.0;
    rs.vol_discharge = 60.0;
    rs.vol_infiltration = 40.0;
    const std::string text = t.summary();

    EXPECT_TRUE(contains(text, "Initial state variable values:\n"
                               "uztwc:      25.000 mm,    50.00%\n"
                               "uzfwc:      10.000 mm,    25.00%\n"
                               "lztwc:      50.000 mm,    50.00%\n"
                               "lzfpc:     100.000 mm,    50.00%\n"
                               "lzfsc:       0.000 mm,     0.00%\n"   // empty capacity: 0, not nan
                               "Final state variable values:\n"
                               "uztwc:      20.000 mm,    40.00%\n"));
    EXPECT_TRUE(contains(text, "Final volume of subsurface water (mm):    180.000\n"
                               "Residual (neg. means mass created (mm):    -2.000\n"));
    // 2 mm over 600 m2
    EXPECT_TRUE(contains(text, "Total recharge to deep g.w.=                              1.20\n"));
    EXPECT_FALSE(contains(text, "Total amount of exfiltration="));
    EXPECT_FALSE(contains(text, "Total downward flux from unsaturated zone="));
    EXPECT_TRUE(contains(text, "*overall mass balance error will not be zero when using the Sacramento\n"));
    const double a = 600.0 / 1000.0;
    EXPECT_DOUBLE_EQ(rs.vol_soil_init, 75.0 * a);
    EXPECT_DOUBLE_EQ(rs.gw_vol_end, 110.0 * a);
    EXPECT_DOUBLE_EQ(rs.vol_evaporation, 5.0 * a);
    EXPECT_DOUBLE_EQ(rs.sac_final_storage, 180.0);
    // (final 108 - initial 111 - 100 + 3 + 60) / (100 + 111)
    EXPECT_NEAR(rs.overall_mass_balance_error, -40.0 / 211.0 * 100.0, 1e-9);
    // (100 - (60 + 40)) / 100
    EXPECT_NEAR(rs.surface_mass_balance_error, 0.0, 1e-12);
}

TEST(RunSummary, SimpleSoilBalanceAndItsLabels) {
    run_case t;
    run_state& rs = t.rs;
    rs.recharge_computed = 1;
    rs.vol_soil_init = 600.0;
    rs.vol_soil_moist_init = 600.0;
    rs.root_zone_water.assign(7, 15.0);  // cm: 90 m3 at the end
    rs.vol_infiltration = 100.0;
    rs.vol_evaporation = 50.0;
    rs.vol_unsat_downward = 560.0;
    rs.vol_precip = 100.0;
    // (100 + 600 - 90 - 50 - 560) / (100 + 600)
    const std::string text = t.summary();
    EXPECT_DOUBLE_EQ(rs.soil_mass_balance_error, 0.0);
    EXPECT_TRUE(contains(text, "Initial volume in soil over simple soil depth           600.00 \n"));
    EXPECT_TRUE(contains(text, "Final volume in soil over simple soil depth              90.00\n"));
    EXPECT_TRUE(contains(text, "Simple soil moisture mass balance =                        0.000000 percent \n\n"));

    run_case u;   // the same run with 7 m3 unexplained
    u.rs.recharge_computed = 1;
    u.rs.vol_soil_init = 600.0;
    u.rs.vol_soil_moist_init = 600.0;
    u.rs.root_zone_water.assign(7, 15.0);
    u.rs.vol_infiltration = 100.0;
    u.rs.vol_evaporation = 50.0;
    u.rs.vol_unsat_downward = 553.0;
    u.summary();
    EXPECT_DOUBLE_EQ(u.rs.soil_mass_balance_error, 1.0);
}

TEST(RunSummary, LakeAndDrainBalances) {
    run_case t;
    run_state& rs = t.rs;
    rs.lakes = 1;
    rs.vol_ovlake_init = 500.0;
    rs.vol_ovlake_inflow = 80.0;
    rs.vol_ovlake_final = 520.0;
    rs.vol_ovlake_outflow = 50.0;
    rs.channel_lakes = 1;
    rs.num_channel_lakes = 2;
    rs.lake_volume = {0.0, 300.0, 400.0};
    rs.lakes_init_volume = 650.0;
    rs.vol_lake_inflow = 120.0;
    rs.vol_lake_outflow = 60.0;
    rs.vol_lake_evaporation = 5.0;
    rs.superlink = 1;
    rs.vol_ov_to_drains = 40.0;
    rs.vol_gw_to_tile = 2.0;
    rs.vol_drains_to_ov = 10.0;
    rs.vol_drains_to_channels = 25.0;
    rs.vol_drains_final = 4.0;
    const std::string text = t.summary();
    EXPECT_DOUBLE_EQ(rs.ovlake_mass_error, 10.0);
    EXPECT_DOUBLE_EQ(rs.chan_lake_mass_error, 120.0 - 60.0 - 700.0 + 650.0 - 5.0);
    EXPECT_DOUBLE_EQ(rs.drain_mass_error, 3.0);
    EXPECT_TRUE(contains(text, "Volume of flow into overland lakes:                      80.00\n"
                               "Volume of flow from overland lakes:                      50.00\n"
                               "Volume of evaporation from lakes:                         5.00\n"
                               "Overland lake mass bal error m^3:                        10.00\n\n"
                               "Perennial lake mass bal error m^3=                        5.00\n\n"
                               "Subsurface drain mass bal error m^3=                      3.00\n\n"));
    EXPECT_TRUE(contains(text, "Initial volume in perennial lakes                       650.00 \n"));
    EXPECT_TRUE(contains(text, "Final volume in perennial lakes                         700.00\n"));
    EXPECT_FALSE(contains(text, "Total flux from lakes to gw="));   // no lake losses
}

TEST(RunSummary, ClosesTheMapDatasetsAndTheK4InflowFile) {
    for (int map_type : {1, 4}) {
        run_case t;
        run_state& rs = t.rs;
        rs.settings.map_type = map_type;
        rs.map_kind_dataset = 1;
        rs.map_kind_started[kMapKindDepth] = 1;
        output_test::open_on(rs.map_kind_file[kMapKindDepth], t.dir.file("depth.dat"));
        rs.cards.k4.k4_input_given = 1;
        output_test::open_on(k4_flow_file, t.dir.file("k4.txt"));
        t.summary();
        EXPECT_FALSE(rs.map_kind_file[kMapKindDepth].is_open());
        EXPECT_EQ(read_file(t.dir.file("depth.dat")), "ENDDS\n");
        // The inflow file of map type 4 is never opened by the run, so it is not closed here.
        EXPECT_EQ(k4_flow_file.is_open(), map_type == 4) << map_type;
        close_k4_flow_file();
    }
}
