// Tests of the project option consistency check: every conflict with its
// code, the order of the tests, the inputs switched off, the groundwater
// warnings and the QRM announcement; and, end to end, that a conflicting
// project stops before any file is opened.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/error.h"
#include "run/option_check.h"
#include "run/run_state.h"
#include "pluvo_test.h"

namespace {

struct run_state_deleter {
    void operator()(run_state* rs) const { destroy_run_state(rs); }
};
using run_state_ptr = std::unique_ptr<run_state, run_state_deleter>;

// A long-term project that passes tests 1 to 7: Penman-Monteith, Green-Ampt
// with redistribution and every evapotranspiration map.
void valid_long_term(run_state& rs) {
    rs.long_term = 1;
    rs.et_calc_penman = 1;
    rs.inf_redist = 1;
    rs.albedo = rs.vheight = rs.tcoeff = rs.canopy = rs.wilting_point = 1;
}

// Groundwater with both aquifer properties given as uniform values.
void valid_groundwater(run_state& rs) {
    rs.groundwater = 1;
    rs.gw_unif_porosity_given = 1;
    rs.gw_unif_hycond_given = 1;
}

void uniform_rain(run_state& rs) {
    rs.uniform_rain = 1;
    rs.uniform_rain_intensity = 10.0;
    rs.uniform_rain_duration = 30;
}

struct option_case {
    const char* what;
    void (*setup)(run_state& rs);
    int code;
};

const option_case kCases[] = {
    {"no options", [](run_state&) {}, 0},
    {"valid long-term run", valid_long_term, 0},
    {"valid uniform rain", uniform_rain, 0},
    {"manning_n and roughness map",
     [](run_state& rs) { rs.cards.manning_n_given = rs.cards.roughness_given = 1; }, 6},
    {"both ET methods in a long-term run",
     [](run_state& rs) { valid_long_term(rs); rs.et_calc_deardorff = 1; }, 7},
    {"both ET methods in a single event are no conflict",
     [](run_state& rs) { rs.et_calc_penman = rs.et_calc_deardorff = 1; }, 0},
    {"surface airways and KEV", [](run_state& rs) { rs.hmet_surfaways = rs.hmet_kev = 1; }, 8},
    {"SAMSON and KEV", [](run_state& rs) { rs.hmet_samson = rs.hmet_kev = 1; }, 8},
    {"long-term run without an ET method",
     [](run_state& rs) { valid_long_term(rs); rs.et_calc_penman = 0; }, 9},
    {"gage file and uniform rain",
     [](run_state& rs) {
         uniform_rain(rs);
         std::strcpy(rs.rain_cards.precip_file, "storm.gag");
     },
     10},
    {"uniform rain of zero intensity",
     [](run_state& rs) { uniform_rain(rs); rs.uniform_rain_intensity = 0.0; }, 11},
    {"uniform rain of zero duration",
     [](run_state& rs) { uniform_rain(rs); rs.uniform_rain_duration = 0; }, 11},
    {"uniform rain of negative intensity",
     [](run_state& rs) { uniform_rain(rs); rs.uniform_rain_intensity = -5.0; }, 11},
    {"long-term run without a soil-moisture method",
     [](run_state& rs) { valid_long_term(rs); rs.inf_redist = 0; rs.green_ampt = 1; }, 20},
    {"long-term run without albedo",
     [](run_state& rs) { valid_long_term(rs); rs.albedo = 0; }, 21},
    {"Penman without vegetation height",
     [](run_state& rs) { valid_long_term(rs); rs.vheight = 0; }, 22},
    {"Penman without transmission coefficient",
     [](run_state& rs) { valid_long_term(rs); rs.tcoeff = 0; }, 23},
    {"Penman without canopy resistance",
     [](run_state& rs) { valid_long_term(rs); rs.canopy = 0; }, 24},
    {"Penman without wilting point",
     [](run_state& rs) { valid_long_term(rs); rs.wilting_point = 0; }, 25},
    {"Deardorff needs no Penman maps",
     [](run_state& rs) {
         valid_long_term(rs);
         rs.et_calc_penman = 0;
         rs.et_calc_deardorff = 1;
         rs.vheight = rs.tcoeff = rs.canopy = rs.wilting_point = 0;
     },
     0},
    {"Richards supplies the ET parameters",
     [](run_state& rs) {
         valid_long_term(rs);
         rs.inf_redist = 0;
         rs.inf_richards = 1;
         rs.albedo = rs.vheight = rs.tcoeff = rs.canopy = rs.wilting_point = 0;
     },
     0},
    {"the mapping table supplies the ET parameters",
     [](run_state& rs) {
         valid_long_term(rs);
         rs.albedo = rs.vheight = rs.tcoeff = rs.canopy = rs.wilting_point = 0;
         rs.mapping_sections[input_state::kMapEvapotranspiration] = 1;
     },
     0},
    {"multi-layer and Green-Ampt",
     [](run_state& rs) { rs.inf_layered_soil = rs.green_ampt = 1; }, 26},
    {"multi-layer and redistribution",
     [](run_state& rs) { rs.inf_layered_soil = rs.inf_redist = 1; }, 27},
    {"multi-layer and Richards",
     [](run_state& rs) { rs.inf_layered_soil = rs.inf_richards = 1; }, 28},
    {"Richards and Green-Ampt", [](run_state& rs) { rs.inf_richards = rs.green_ampt = 1; }, 29},
    {"Richards and redistribution",
     [](run_state& rs) { rs.inf_richards = rs.inf_redist = 1; }, 30},
    {"Richards with groundwater and no aquifer cell height",
     [](run_state& rs) {
         rs.inf_richards = 1;
         valid_groundwater(rs);
         rs.aquifer_delta_z = -999.9;
     },
     32},
    {"Richards with groundwater and an aquifer cell height",
     [](run_state& rs) {
         rs.inf_richards = 1;
         valid_groundwater(rs);
         rs.aquifer_delta_z = 0.5;
     },
     0},
    {"Green-Ampt and redistribution", [](run_state& rs) { rs.green_ampt = rs.inf_redist = 1; },
     33},
    {"drain and backwater initialisation",
     [](run_state& rs) { rs.chan_drain = rs.chan_drain_only = rs.chan_backwater = 1; }, 34},
    {"Preissmann routing", [](run_state& rs) { rs.chan_preiss = 1; }, 35},
    {"explicit and mesh routing", [](run_state& rs) { rs.chan_explic = rs.chan_mesh = 1; }, 37},
    {"groundwater porosity map and uniform porosity",
     [](run_state& rs) { valid_groundwater(rs); rs.gw_porosity_map = 1; }, 38},
    {"groundwater conductivity map and uniform conductivity",
     [](run_state& rs) { valid_groundwater(rs); rs.gw_hycond_map = 1; }, 40},
    {"groundwater without conductivity",
     [](run_state& rs) { valid_groundwater(rs); rs.gw_unif_hycond_given = 0; }, 41},
    {"groundwater properties from the mapping table",
     [](run_state& rs) {
         rs.groundwater = 1;
         rs.mapping_sections[input_state::kMapGroundwater] = 1;
     },
     0},
    {"groundwater and Sacramento",
     [](run_state& rs) { valid_groundwater(rs); rs.sacramento = 1; }, 42},
    {"QRM without VEGO", [](run_state& rs) { rs.qrm_host = 1; }, 43},
    {"QRM event call without a number",
     [](run_state& rs) {
         rs.qrm_host = rs.vego = rs.qrm_mode = 1;
         rs.qrm_event_num = -1;
     },
     44},
    {"QRM event call with a number",
     [](run_state& rs) {
         rs.qrm_host = rs.vego = rs.qrm_mode = 1;
         rs.qrm_event_num = 3;
     },
     0},
    {"QRM with groundwater",
     [](run_state& rs) {
         valid_groundwater(rs);
         rs.qrm_host = rs.vego = 1;
     },
     45},
    {"VEGO without QRM", [](run_state& rs) { rs.vego = 1; }, 46},
    // The tests run in a fixed order: the earlier conflict is the one reported.
    {"roughness before ET methods",
     [](run_state& rs) {
         valid_long_term(rs);
         rs.et_calc_deardorff = 1;
         rs.cards.manning_n_given = rs.cards.roughness_given = 1;
     },
     6},
    {"multi-layer before Richards",
     [](run_state& rs) { rs.inf_layered_soil = rs.inf_richards = rs.green_ampt = 1; }, 26},
    {"channel before groundwater",
     [](run_state& rs) {
         rs.chan_preiss = 1;
         valid_groundwater(rs);
         rs.sacramento = 1;
     },
     35},
    {"groundwater before QRM",
     [](run_state& rs) {
         valid_groundwater(rs);
         rs.sacramento = 1;
         rs.qrm_host = 1;
     },
     42},
};

class OptionCheck : public ::testing::Test {
protected:
    void SetUp() override {
        error_record = error_info{};
        current_summary_file = nullptr;
    }
    void TearDown() override { error_record = error_info{}; }

    // Runs the check on a fresh run state; returns the console output.
    std::string check(run_state& rs) {
        testing::internal::CaptureStdout();
        check_project_options(rs);
        return testing::internal::GetCapturedStdout();
    }
};

TEST_F(OptionCheck, EveryConflictLeavesItsCode) {
    for (const option_case& c : kCases) {
        error_record = error_info{};
        run_state_ptr rs(create_run_state());
        ASSERT_NE(rs, nullptr);
        c.setup(*rs);
        check(*rs);
        EXPECT_EQ(error_record.code, c.code) << c.what;
        if (c.code != 0) {
            ASSERT_NE(find_message(c.code), nullptr) << c.what;
            EXPECT_EQ(find_message(c.code)->warning, c.code == 41) << c.what;
        }
    }
}

TEST_F(OptionCheck, UnusedInputsAreSwitchedOffWhenTheMethodPasses) {
    struct switch_case {
        const char* what;
        void (*setup)(run_state& rs);
        int maps_left_on;        // the six Green-Ampt map switches afterwards
        int channel_sediment;
        int chan_discharge;
    };
    const switch_case cases[] = {
        {"Green-Ampt keeps its maps", [](run_state& rs) { rs.green_ampt = 1; }, 1, 0, 0},
        {"multi-layer drops them", [](run_state& rs) { rs.inf_layered_soil = 1; }, 0, 0, 0},
        {"Richards drops them", [](run_state& rs) { rs.inf_richards = 1; }, 0, 0, 0},
        {"a multi-layer conflict changes nothing",
         [](run_state& rs) { rs.inf_layered_soil = rs.green_ampt = 1; }, 1, 0, 1},
        {"explicit routing with erosion carries sediment",
         [](run_state& rs) { rs.chan_explic = rs.soil_erosion = 1; }, 1, 1, 1},
        {"explicit routing without erosion", [](run_state& rs) { rs.chan_explic = 1; }, 1, 0, 1},
        {"erosion without explicit routing", [](run_state& rs) { rs.soil_erosion = 1; }, 1, 0, 0},
    };
    for (const switch_case& c : cases) {
        error_record = error_info{};
        run_state_ptr rs(create_run_state());
        c.setup(*rs);
        rs->moisture = rs->conductivity = rs->capillary = rs->porosity = rs->pore_index =
            rs->residual_sat = 1;
        rs->chan_discharge = 1;
        check(*rs);
        const int maps[] = {rs->moisture,   rs->conductivity, rs->capillary,
                            rs->porosity,   rs->pore_index,   rs->residual_sat};
        for (int m : maps) EXPECT_EQ(m, c.maps_left_on) << c.what;
        EXPECT_EQ(rs->channel_sediment, c.channel_sediment) << c.what;
        EXPECT_EQ(rs->chan_discharge, c.chan_discharge) << c.what;
    }
}

TEST_F(OptionCheck, MissingGroundwaterPropertiesWarnThenEndTheTests) {
    run_state_ptr rs(create_run_state());
    rs->groundwater = 1;
    rs->sacramento = 1;   // not detected: the tests end with the conductivity warning
    const std::string out = check(*rs);
    ASSERT_NE(find_message(39), nullptr);
    // 39 is reported at once as a warning and the tests go on to 41.
    EXPECT_EQ(out, std::string("\n") + find_message(39)->text);
    EXPECT_EQ(error_record.code, 41);
    EXPECT_EQ(error_record.stop, 0);
}

TEST_F(OptionCheck, QrmRunIsAnnounced) {
    run_state_ptr rs(create_run_state());
    rs->qrm_host = rs->vego = rs->qrm_mode = 1;
    rs->qrm_event_num = -1;
    std::strcpy(rs->files.vego_file, "exchange/vego.ctl");
    const std::string out = check(*rs);
    EXPECT_EQ(out,
              "Running PLUVO in QRM environment\n"
              "PLUVO will share data with VEGO through file: exchange/vego.ctl\n"
              "This is an event call of PLUVO by QRM, qrm_event_num=-1\n");
    EXPECT_EQ(error_record.code, 44);

    error_record = error_info{};
    run_state_ptr plain(create_run_state());
    plain->qrm_host = 1;
    EXPECT_EQ(check(*plain), "Running PLUVO in QRM environment\n");
    EXPECT_EQ(error_record.code, 43);
}

// End to end: a project with a conflict stops with the conflict's message
// before any input or output file is opened.
TEST(OptionCheckProgram, ConflictingProjectStopsBeforeOpeningFiles) {
    using namespace pluvo_test;
    struct project_case {
        const char* what;
        const char* cards;
        int code;
    };
    const project_case cases[] = {
        {"roughness twice", "MANNING_N 0.05\nROUGHNESS rough.map\n", 6},
        {"two ET methods", "LONG_TERM\nET_CALC_PENMAN\nET_CALC_DEARDORFF\n", 7},
        {"two hydromet formats", "HMET_SAMSON met.dat\nHMET_KEV met.dat\n", 8},
        {"gage file then uniform rain", "PRECIP_FILE rain.gag\nPRECIP_UNIF\n", 10},
        {"uniform rain without intensity", "PRECIP_UNIF\nRAIN_INTENSITY 0\n", 11},
        {"long term without canopy",
         "LONG_TERM\nET_CALC_PENMAN\nINF_REDIST\nALBEDO a.map\nVHEIGHT v.map\nTCOEFF t.map\n"
         "WILTING_POINT w.map\n",
         24},
        {"Preissmann routing", "CHAN_PREISS\n", 35},
        {"VEGO without QRM", "VEGO vego.ctl\n", 46},
    };
    for (const project_case& c : cases) {
        temp_dir dir;
        const std::string project =
            std::string("PLUVOPROJECT\n"
                        "WATERSHED_MASK mask.asc\nELEVATION elev.asc\n"
                        "SUMMARY summary.txt\nOUTLET_HYDRO outlet.otl\n"
                        "TIMESTEP 60\nTOT_TIME 60\nOUTSLOPE 0.01\nHYD_FREQ 1\nMAP_FREQ 60\n"
                        "RAIN_INTENSITY 10\nRAIN_DURATION 30\nSTART_DATE 2005 6 15\n"
                        "START_TIME 14 30\n") +
            c.cards;
        write_file(dir.file("p.prj"), project);
        write_file(dir.file("mask.asc"), "north: 1\n");
        write_file(dir.file("elev.asc"), "north: 1\n");
        // A bounded run: a check that let the project through would enter the time loop.
        run_result r = run_program("/usr/bin/timeout", {"60", PLUVO_EXE, "p.prj"}, dir.path());
        error_info none;
        char expected[8192];
        compose_message(c.code, none, expected, sizeof(expected));
        EXPECT_NE(r.status, 124) << c.what << ": the run was not stopped";
        EXPECT_NE(r.out.find(std::string("\n") + expected), std::string::npos)
            << c.what << "\n" << r.out;
        EXPECT_FALSE(file_exists(dir.file("summary.txt"))) << c.what;
        EXPECT_FALSE(file_exists(dir.file("outlet.otl"))) << c.what;
    }
}

}  // namespace
