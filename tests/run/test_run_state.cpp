// The run-state object: defaults of a fresh object, fresh objects per run,
// and the program-wide lists emptied when a run's object is destroyed.
#include <gtest/gtest.h>
#include <cstring>
#include "run/run_state.h"
#include "input/replace.h"

TEST(RunState, FreshObjectHoldsTheRunDefaults) {
    run_state* rs = create_run_state();
    ASSERT_NE(rs, nullptr);
    EXPECT_DOUBLE_EQ(rs->overbank_max_dv, 0.01);
    EXPECT_DOUBLE_EQ(rs->m3_to_ft3, 35.314667);
    EXPECT_EQ(rs->precip_step, 1);
    EXPECT_EQ(rs->float_maps_read, 1);
    EXPECT_EQ(rs->write_satsource_map, 1);
    EXPECT_EQ(rs->ov_sweep, 1);
    EXPECT_EQ(rs->gw_sweep, 1);
    EXPECT_EQ(rs->con_sweep, 1);
    EXPECT_EQ(rs->chan_first_call, 1);
    EXPECT_STREQ(rs->con_output_name, "con_output");
    EXPECT_EQ(rs->contaminant_count, -1);
    EXPECT_DOUBLE_EQ(rs->snow_const_a, 80.0);
    EXPECT_DOUBLE_EQ(rs->snow_const_b, 27.0);
    EXPECT_DOUBLE_EQ(rs->time_tolerance, 1.1574074074074074e-7);
    EXPECT_EQ(rs->running, 0);
    EXPECT_EQ(rs->GNUM, 0);
    EXPECT_EQ(rs->mask, nullptr);
    EXPECT_FALSE(rs->summary_file.is_open());
    destroy_run_state(rs);
}

TEST(RunState, NoValueOfOneRunReachesTheNext) {
    run_state* first = create_run_state();
    first->ov_sweep = 2;
    first->time = 2451545.0;
    first->contaminant_count = 4;
    destroy_run_state(first);
    run_state* second = create_run_state();
    EXPECT_EQ(second->ov_sweep, 1);
    EXPECT_EQ(second->time, 0.0);
    EXPECT_EQ(second->contaminant_count, -1);
    destroy_run_state(second);
}

TEST(RunState, DestroyingTheObjectEmptiesTheReplacementList) {
    char line[] = "[slope] %4.2lf";
    ASSERT_EQ(parse_replace_param(line), 0);
    ASSERT_NE(replace_list, nullptr);
    run_state* rs = create_run_state();
    destroy_run_state(rs);
    EXPECT_EQ(replace_list, nullptr);
}

// A run state is made for every run of a batch, every trial of a study and
// every fuzz input: it must cost little before any grid is read. The soil
// table (4.3 MB when made) and the precipitation dates exist only once a run
// reads them.
TEST(RunState, FreshObjectHoldsNoLargeTable) {
    EXPECT_LT(sizeof(run_state), size_t{1} << 20);
    run_state* rs = create_run_state();
    ASSERT_NE(rs, nullptr);
    EXPECT_FALSE(rs->soil_table.allocated());
    EXPECT_EQ(rs->precip_dates.size(), 1u);   // line 0: the start of a uniform-rain run
    destroy_run_state(rs);
}

TEST(RunState, SoilTableReadsZeroUntilWrittenThenHoldsEveryId) {
    run_state* rs = create_run_state();
    ASSERT_NE(rs, nullptr);
    const soil_table_store& table = rs->soil_table;
    for (int id : {0, 1, 4321, subsurface_state::kSoilTableSize - 1}) {
        EXPECT_EQ(table[id].ksat[0], 0.0);
        EXPECT_EQ(table[id].thickness[2], 0.0);
        EXPECT_EQ(table[id].richards_nodes, 0);
    }
    EXPECT_FALSE(rs->soil_table.allocated());   // reading made nothing

    rs->soil_table[4321].ksat[1] = 2.5;
    ASSERT_TRUE(rs->soil_table.allocated());
    EXPECT_EQ(table[4321].ksat[1], 2.5);
    EXPECT_EQ(table[4321].ksat[0], 0.0);
    EXPECT_EQ(table[subsurface_state::kSoilTableSize - 1].porosity[2], 0.0);
    EXPECT_EQ(rs->soil_table.data() + 4321, &table[4321]);   // one table, whichever access
    destroy_run_state(rs);
}
