// Thresholds of the parallel loops: the defaults, the value of
// PLUVO_PARALLEL_CELLS, and an override seen by the loops' own threshold.
#include <gtest/gtest.h>

#include "core/parallel.h"
#include "pluvo_test.h"

TEST(ParallelThresholds, TextOfTheVariable) {
    struct text_case {
        const char* text;
        int cells;   // expected thresholds, 0 for the defaults
    };
    const text_case cases[] = {
        {nullptr, 0}, {"", 0},      {"abc", 0},  {"0", 0},          {"-5", 0},
        {"12x", 0},   {"1e5", 0},   {"99999999999", 0},             {"1", 1},
        {"50000", 50000},           {"2147483647", 2147483647},
    };
    for (const text_case& c : cases) {
        const parallel_thresholds t = thresholds_from_text(c.text);
        const char* shown = c.text != nullptr ? c.text : "(unset)";
        EXPECT_EQ(t.light, c.cells != 0 ? c.cells : kDefaultParallelCells) << shown;
        EXPECT_EQ(t.overland, c.cells != 0 ? c.cells : kDefaultParallelOverlandCells) << shown;
    }
}

TEST(ParallelThresholds, OverrideReachesTheLightLoopsAndIsUndone) {
    const int before = kParallelCells;
    const int overland_before = parallel_cells().overland;
    {
        const pluvo_test::parallel_from_cells parallel(777);
        EXPECT_EQ(kParallelCells, 777);
        EXPECT_EQ(parallel_cells().overland, 777);
    }
    EXPECT_EQ(kParallelCells, before);
    EXPECT_EQ(parallel_cells().overland, overland_before);
}
