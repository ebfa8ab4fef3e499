// Projects that ask for a process this version cannot simulate stop before
// any file is opened, naming the card, instead of running without it.
#include <gtest/gtest.h>
#include <set>
#include <string>
#include "run/feature_check.h"
#include "fixture.h"
#include "pluvo_test.h"

using namespace pluvo_test;

TEST(FeatureCheck, EveryUnbuiltFeatureStopsTheRunNamingItsCard) {
    struct feature_case {
        const char* line;       // card lines added to a runnable project
        const char* card;       // card named in the message
    };
    const feature_case cases[] = {
        {"OV_POINT_SOURCE_X", nullptr},   // an unknown card is only warned: the run goes on
        {"GW_SIMULATION\nWATER_TABLE wt.asc", "gw_simulation"},
        {"SOIL_EROSION 12", "soil_erosion"},
        {"SOIL_EROSION 1\nOVERLAND_LAKE_MAP lakes.asc", "soil_erosion"},
        {"OPTIMIZE_SED", nullptr},   // sediment calibration: a plain run goes on
        {"CHAN_CON_TRANS", "chan_con_trans"},   // no channel routing to carry it
        {"SEDIMENT_CONTAM", nullptr},   // without erosion and contaminants it carries nothing
        {"SOIL_CON_TRANS", "soil_con_trans"},
        {"SOIL_CON_TRANS\nINF_LAYERED_SOIL\nGW_SIMULATION\nWATER_TABLE wt.asc", "soil_con_trans"},
        {"ZOV_HYDRO zov.hyd", nullptr},   // built: the run goes on and writes the file
        // Water paths that carry no constituent mass are refused with constituents.
        {"STORM_SEWER net.sl\nOV_CON_TRANS", "storm_sewer"},
        {"STORM_SEWER net.sl\nNUTRIENTS", "storm_sewer"},   // the nutrients are overland constituents
    };
    for (const feature_case& c : cases) {
        SCOPED_TRACE(c.line);
        temp_dir dir;
        plane_case pc;
        pc.grid.rows = 3;
        pc.grid.cols = 3;
        pc.total_minutes = 10;
        project_file p = write_plane_case(dir.path(), pc);
        p.card(c.line).write(dir.file("plane.prj"));
        run_result r = run_pluvo({"plane.prj"}, dir.path());
        if (c.card == nullptr) {
            EXPECT_EQ(r.status, 0) << r.out;
            continue;
        }
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_NE(r.out.find(std::string("Error: the card ") + c.card + " asks for "),
                  std::string::npos)
            << r.out;
        EXPECT_NE(r.out.find("which is not available yet"), std::string::npos);
        // Stopped before the run's files were opened.
        EXPECT_FALSE(file_exists(dir.file("summ.out")));
        EXPECT_FALSE(file_exists(dir.file("outlet.hyd")));
    }
}

TEST(FeatureCheck, TableNamesEachCardOnce) {
    int n = 0;
    const unbuilt_feature* f = unbuilt_features(&n);
    std::set<std::string> cards;
    ASSERT_GT(n, 0);
    for (int i = 0; i < n; ++i) {
        EXPECT_TRUE(cards.insert(f[i].card).second) << f[i].card;
        EXPECT_NE(f[i].asked, nullptr) << f[i].card;
        EXPECT_GT(std::string(f[i].what).size(), 0u) << f[i].card;
    }
}
