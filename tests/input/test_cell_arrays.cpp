// Per-cell array allocation by option groups and the overland output
// location lists with their checks.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/file_object.h"
#include "run/run_state.h"
#include "grid_test_support.h"
#include "input/cell_arrays.h"

namespace {

constexpr int kCells = 6;

class CellArraysTest : public grid_test::GridTest {
protected:
    void SetUp() override {
        GridTest::SetUp();
        set_grid(4, 5);
        rs().GNUM = kCells;
    }
    std::string alloc() {
        return console([&] { alloc_cell_arrays(rs()); });
    }
};

// Every array created here, by its name, as a size probe.
struct probe {
    const char* name;
    std::function<size_t(run_state&)> size;
};

#define PROBE(member) probe{#member, [](run_state& r) { return r.member.size(); }}

const std::vector<probe>& always_arrays() {
    static const std::vector<probe> list = {
        PROBE(ov_depth),  PROBE(cell_rain_rate), PROBE(ov_aux),
        PROBE(ov_slope_x), PROBE(ov_slope_y),   PROBE(ov_qx),          PROBE(ov_qy),
        PROBE(belowcon),  PROBE(rightcon),      PROBE(abovecon),       PROBE(leftcon),
        PROBE(retent_dep),    PROBE(dist_rough),
    };
    return list;
}

const std::vector<probe>& optional_arrays() {
    static const std::vector<probe> list = {
        PROBE(ksat),        PROBE(cap_drive),     PROBE(phi),           PROBE(pore_dist_index),
        PROBE(thr),         PROBE(thi),           PROBE(redist_theta_prev), PROBE(cum_infil),
        PROBE(cum_infil_prev), PROBE(redist_theta), PROBE(iter_pond_1),  PROBE(iter_n),
        PROBE(no_wat_prof), PROBE(iter_i_less_k), PROBE(redist_water),  PROBE(unsat_depth),
        PROBE(root_zone_upper), PROBE(root_zone_lower), PROBE(root_zone_water),
        PROBE(gw_inf_redist_theta), PROBE(sm_bottom_loss), PROBE(topo_dex), PROBE(soiltype),
        PROBE(wetdep),      PROBE(theta_ml),      PROBE(volchange),     PROBE(masserror),
        PROBE(dtr),         PROBE(avgks),         PROBE(totaldz),       PROBE(num1),
        PROBE(num2),        PROBE(num3),          PROBE(numcells),      PROBE(numtot),
        PROBE(bound_type),  PROBE(elevgw),        PROBE(gw_flux),       PROBE(bottom_elev),
        PROBE(inf_rich),    PROBE(gwbound),       PROBE(num_unsat_cells), PROBE(gw_porosity),
        PROBE(snow_swe),    PROBE(snow_ice),      PROBE(qlr),           PROBE(scf),
        PROBE(snow_ati),    PROBE(snow_heat_deficit), PROBE(snow_liquid), PROBE(snow_density),
        PROBE(st_event),    PROBE(h_val),         PROBE(tsnow_p),       PROBE(tsnow_t),
        PROBE(psnow_total), PROBE(wq),            PROBE(wi),            PROBE(icep_stor),
        PROBE(icep_coef),   PROBE(icep_dep),      PROBE(ri_eff),        PROBE(oland_lake_mask),
        PROBE(oland_lake_new), PROBE(overland_depth_row), PROBE(overland_wse_row),
    };
    return list;
}

// The names of the optional arrays that exist (any size).
std::vector<std::string> created(run_state& r) {
    std::vector<std::string> names;
    for (const probe& p : optional_arrays())
        if (p.size(r) != 0) names.push_back(p.name);
    return names;
}

TEST_F(CellArraysTest, WithoutOptionsOnlyTheAlwaysGroupsExist) {
    EXPECT_EQ(alloc(), "");
    for (const probe& p : always_arrays()) EXPECT_EQ(p.size(rs()), kCells + 1u) << p.name;
    EXPECT_EQ(created(rs()), std::vector<std::string>{});
    // No step of an overland-only run reads these: they are not made.
    EXPECT_TRUE(rs().ov_depth_prev.empty());
    EXPECT_TRUE(rs().yes_exfil.empty());
    EXPECT_EQ(rs().ov_depth, std::vector<double>(kCells + 1, 0.0));
    EXPECT_EQ(error_record.stop, 0);
}

TEST_F(CellArraysTest, EachOptionCreatesItsGroups) {
    struct option_case {
        const char* option;
        std::function<void(run_state&)> set;
        std::vector<std::string> arrays;
    } cases[] = {
        {"conductivity and porosity",
         [](run_state& r) { r.conductivity = r.porosity = 1; },
         {"ksat", "phi"}},
        {"pore index and residual",
         [](run_state& r) { r.pore_index = r.residual_sat = 1; },
         {"pore_dist_index", "thr"}},
        {"green_ampt",
         [](run_state& r) { r.green_ampt = 1; },
         {"thi", "redist_theta_prev", "cum_infil", "cum_infil_prev"}},
        {"inf_redist",
         [](run_state& r) { r.inf_redist = 1; },
         {"thi", "redist_theta_prev", "cum_infil", "cum_infil_prev", "redist_theta",
          "iter_pond_1", "iter_n", "no_wat_prof", "iter_i_less_k", "redist_water", "unsat_depth",
          "root_zone_upper", "root_zone_lower", "root_zone_water"}},
        {"inf_layered_soil with groundwater",
         [](run_state& r) { r.inf_layered_soil = r.gw_simulation = r.water_table = 1; },
         {"thi", "redist_theta_prev", "cum_infil", "cum_infil_prev", "unsat_depth",
          "root_zone_upper", "root_zone_lower", "root_zone_water", "gw_inf_redist_theta",
          "sm_bottom_loss", "soiltype", "wetdep", "theta_ml", "elevgw", "gw_flux", "bottom_elev",
          "gwbound", "num_unsat_cells", "gw_porosity"}},
        {"sacramento with topo_index",
         [](run_state& r) { r.green_ampt = r.sacramento = r.sac_topo_index = 1; },
         {"thi", "redist_theta_prev", "cum_infil", "cum_infil_prev", "topo_dex"}},
        {"inf_richards",
         [](run_state& r) { r.inf_richards = 1; },
         {"thi", "redist_theta_prev", "cum_infil", "cum_infil_prev", "soiltype", "volchange",
          "masserror", "dtr", "avgks", "totaldz", "num1", "num2", "num3", "numcells", "numtot",
          "bound_type", "elevgw", "gw_flux", "bottom_elev", "inf_rich"}},
        {"channel constituents",
         [](run_state& r) { r.chan_con_trans = 1; },
         {"elevgw", "gw_flux", "gwbound"}},
        {"long_term",
         [](run_state& r) { r.long_term = 1; },
         {"snow_swe", "snow_ice", "qlr", "scf", "snow_ati", "snow_heat_deficit", "snow_liquid",
          "snow_density", "st_event", "h_val", "tsnow_p", "tsnow_t", "psnow_total", "wq", "wi"}},
        {"interception",
         [](run_state& r) { r.interception = 1; },
         {"icep_stor", "icep_coef", "icep_dep", "ri_eff"}},
        {"overland lakes",
         [](run_state& r) { r.lakes = 1; },
         {"oland_lake_mask", "oland_lake_new"}},
    };
    for (const option_case& c : cases) {
        SCOPED_TRACE(c.option);
        rs_.reset(create_run_state());
        set_grid(4, 5);
        rs().GNUM = kCells;
        c.set(rs());
        EXPECT_EQ(alloc(), "");
        std::vector<std::string> expected = c.arrays;
        std::vector<std::string> got = created(rs());
        std::sort(expected.begin(), expected.end());
        std::sort(got.begin(), got.end());
        EXPECT_EQ(got, expected);
    }
}

TEST_F(CellArraysTest, RichardsStartValuesAndFixedLayerTables) {
    for (int cells : {kCells, 0}) {
        SCOPED_TRACE(cells);
        rs_.reset(create_run_state());
        set_grid(4, 5);
        rs().GNUM = cells;
        rs().inf_richards = 1;
        EXPECT_EQ(alloc(), "");
        EXPECT_EQ(rs().richards_layer_limit, 151);
        EXPECT_EQ(rs().num1.size(), 152u);
        EXPECT_EQ(rs().num2.size(), 152u);
        EXPECT_EQ(rs().num3.size(), 152u);
        if (cells > 0) {
            std::vector<int> bound(kCells + 1, 1);
            bound[0] = 0;
            EXPECT_EQ(rs().bound_type, bound);
            EXPECT_EQ(rs().inf_rich, std::vector<double>(kCells + 1, 0.0));
        } else {
            EXPECT_TRUE(rs().bound_type.empty());
            EXPECT_TRUE(rs().ov_depth.empty());
        }
    }
}

TEST_F(CellArraysTest, LongTermSnowFactorStartsAtOneAndTheRestAtZero) {
    rs().long_term = 1;
    alloc();
    std::vector<double> ones(kCells + 1, 1.0);
    ones[0] = 0.0;
    EXPECT_EQ(rs().scf, ones);
    EXPECT_EQ(rs().snow_swe, std::vector<double>(kCells + 1, 0.0));
    EXPECT_EQ(rs().qlr.size(), kCells + 1u);
    for (const auto& slots : rs().qlr) EXPECT_EQ(slots, (std::array<double, 7>{}));
}

TEST_F(CellArraysTest, NegativeSizeGivesTheSizeZeroMessage) {
    std::vector<double> v(3, 1.0);
    std::string out = console([&] { EXPECT_FALSE(size_cell_array(v, -1, "probe")); });
    EXPECT_EQ(out, "Error: Attempting to allocate array of size 0\n");
    EXPECT_TRUE(v.empty());
}

class LocationListTest : public CellArraysTest {
protected:
    // Allocates with the depth location list `text` (and the water-surface list
    // `wse` when given); returns the console output.
    std::string with_lists(const std::string& text, const std::string& wse = "") {
        rs().overland_depths = 1;
        depth_path_ = write("depth_loc.txt", text);
        std::snprintf(rs().files.overland_depth_location, kCardNameSize, "%s", depth_path_.c_str());
        if (!wse.empty()) {
            rs().overland_wse = 1;
            wse_path_ = write("wse_loc.txt", wse);
            std::snprintf(rs().files.overland_wse_location, kCardNameSize, "%s", wse_path_.c_str());
        }
        return alloc();
    }
    std::string depth_path_, wse_path_;
};

TEST_F(LocationListTest, PairsFillSlotsOneToCount) {
    std::string out = with_lists("2\n3 4\n4 5\n", "1\n1 1\n");
    EXPECT_EQ(out, "");
    EXPECT_EQ(error_record.stop, 0);
    EXPECT_EQ(rs().overland_depth_count, 2);
    EXPECT_EQ(rs().overland_depth_row, (std::vector<int>{0, 3, 4, 0}));
    EXPECT_EQ(rs().overland_depth_col, (std::vector<int>{0, 4, 5, 0}));
    EXPECT_EQ(rs().overland_wse_count, 1);
    EXPECT_EQ(rs().overland_wse_row, (std::vector<int>{0, 1, 0}));
    EXPECT_EQ(rs().overland_wse_col, (std::vector<int>{0, 1, 0}));
}

TEST_F(LocationListTest, EmptyListIsAccepted) {
    EXPECT_EQ(with_lists("0\n"), "");
    EXPECT_EQ(rs().overland_depth_count, 0);
    EXPECT_EQ(rs().overland_depth_row.size(), 2u);
}

TEST_F(LocationListTest, BadCountsAndPositionsAreRefusedWithTheFileName) {
    struct list_case {
        const char* text;
        std::string message;   // after the file name is put in place of %s
    } cases[] = {
        {"-1\n", "Error: location file %s, line 1: the number of locations -1 must be from 0 to 20.\n"},
        {"21\n", "Error: location file %s, line 1: the number of locations 21 must be from 0 to 20.\n"},
        {"x\n", "Error: location file %s, line 1: the number of locations \"x\" is not a number.\n"},
        {"", "Error: location file %s, line 1: the file ends before the number of locations.\n"},
        {"3\n1 1\n2 2\n", "Error: location file %s, line 3: the file ends before the row of location 3.\n"},
        {"2\n1 1\n2 x\n", "Error: location file %s, line 3: the column of location 2 \"x\" is not a number.\n"},
        {"2\n1 1.5\n", "Error: location file %s, line 2: the column of location 1 \"1.5\" is not a number.\n"},
        {"2\n1 1\n0 2\n",
         "Error: location 2 (row 0, column 2) in file %s lies outside the grid of 4 rows and 5 "
         "columns (line 3)\n"},
        {"1\n5 1\n",
         "Error: location 1 (row 5, column 1) in file %s lies outside the grid of 4 rows and 5 "
         "columns (line 2)\n"},
        {"1\n1 6\n",
         "Error: location 1 (row 1, column 6) in file %s lies outside the grid of 4 rows and 5 "
         "columns (line 2)\n"},
        {"1\n-3 -3\n",
         "Error: location 1 (row -3, column -3) in file %s lies outside the grid of 4 rows and 5 "
         "columns (line 2)\n"},
    };
    for (const list_case& c : cases) {
        SCOPED_TRACE(c.text);
        rs_.reset(create_run_state());
        set_grid(4, 5);
        rs().GNUM = kCells;
        error_record = error_info{};
        std::string out = with_lists(c.text);
        std::string expected = c.message;
        expected.replace(expected.find("%s"), 2, depth_path_);
        EXPECT_EQ(out, expected + grid_test::kReported);
        EXPECT_EQ(error_record.stop, 1);
        EXPECT_EQ(rs().overland_depth_count, 0);
        EXPECT_TRUE(rs().overland_depth_row.empty());
    }
}

TEST_F(LocationListTest, MissingLocationFileIsCode4) {
    rs().overland_depths = 1;
    std::snprintf(rs().files.overland_depth_location, kCardNameSize, "%s",
                  dir_.file("none.txt").c_str());
    alloc();
    EXPECT_EQ(error_record.code, 4);
    EXPECT_STREQ(error_record.what, "overland depth locations");
    EXPECT_EQ(rs().ov_depth.size(), kCells + 1u);   // the arrays exist before the lists are read
}

}  // namespace
