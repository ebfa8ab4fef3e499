// Grid partition: band sizes of the best split, and the marks of the own
// band, which never reach past the last row or column.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/alloc.h"
#include "core/partition.h"
#include "core/run_options.h"

namespace {

// A numbered mask [0..rows+1][0..cols+1] from rows of 0/1 values.
struct numbered_mask {
    int** cells = nullptr;
    int rows = 0, cols = 0, count = 0;
    explicit numbered_mask(const std::vector<std::string>& lines) {
        rows = static_cast<int>(lines.size());
        cols = static_cast<int>(lines[0].size());
        alloc_int_2d(cells, rows + 1, cols + 1, "mask");
        for (int i = 1; i <= rows; ++i)
            for (int j = 1; j <= cols; ++j)
                if (lines[i - 1][j - 1] == '1') cells[i][j] = ++count;
    }
    ~numbered_mask() { free_block_2d(cells); }
};

class PartitionTest : public ::testing::Test {
protected:
    void SetUp() override { reset(); }
    void TearDown() override {
        reset();
        run_options.part_count = 1;
        run_options.part_index = 0;
    }
    static void reset() { mask_partition = mask_partition_record{}; }
    static void run(const numbered_mask& m, int parts, int own) {
        run_options.part_count = parts;
        run_options.part_index = own;
        partition_mask(m.cells, m.rows, m.cols, m.count);
    }
};

TEST_F(PartitionTest, OnePartComputesNothing) {
    numbered_mask m({"11111", "11111"});
    run(m, 1, 0);
    EXPECT_EQ(mask_partition.rows, 0);
    EXPECT_TRUE(mask_partition.row_marks.empty());
    EXPECT_TRUE(mask_partition.cell_row_part.empty());
}

TEST_F(PartitionTest, FourEqualRowsSplitInTwoBandsOfTwo) {
    numbered_mask m({"11111", "11111", "11111", "11111"});
    std::vector<int> counts = {0, 5, 5, 5, 5};
    mask_splitter s;
    s.init(20, counts, 4, 2);
    EXPECT_EQ(s.spread, 1);
    EXPECT_EQ(s.candidate_count, 5);
    std::vector<int> sizes;
    EXPECT_EQ(s.best_split(sizes), 0);
    EXPECT_EQ(sizes, (std::vector<int>{0, 2, 2}));
    // Targets 8..12: the first candidate (target 8) scores 0 and wins.
    EXPECT_EQ(s.choose_best(), 1);
    EXPECT_EQ(s.candidates.row(5)[1], 3);   // target 12 takes three rows
    EXPECT_EQ(s.scores[5], 10);

    run(m, 2, 0);
    EXPECT_EQ(mask_partition.row_band_sizes, (std::vector<int>{0, 2, 2}));
    EXPECT_EQ(mask_partition.row_marks, (std::vector<int>{0, 1, 1, 1, 0}));
    for (int cell = 1; cell <= 20; ++cell)
        EXPECT_EQ(mask_partition.cell_row_part[cell], cell <= 15 ? 1 : 0) << cell;
}

TEST_F(PartitionTest, LastBandIsMarkedUpToTheLastRowOnly) {
    numbered_mask m({"11111", "11111", "11111", "11111"});
    run(m, 2, 1);
    // Rows 3 and 4 plus "the row after", which does not exist.
    ASSERT_EQ(mask_partition.row_marks.size(), 5u);
    EXPECT_EQ(mask_partition.row_marks, (std::vector<int>{0, 0, 0, 1, 1}));
    EXPECT_EQ(mask_partition.column_marks, (std::vector<int>{0, 0, 0, 1, 1, 1}));
    for (int cell = 1; cell <= 20; ++cell) {
        EXPECT_EQ(mask_partition.cell_row_part[cell], cell >= 11 ? 1 : 0) << cell;
        const int column = (cell - 1) % 5 + 1;
        EXPECT_EQ(mask_partition.cell_column_part[cell], column >= 3 ? 1 : 0) << cell;
    }
}

TEST_F(PartitionTest, UnevenMaskBalancesTheBandTotals) {
    // Row totals 1, 2, 6, 1, 6 cells (16): three parts of about 5.
    numbered_mask m({"100000", "110000", "111111", "000001", "111111"});
    run(m, 3, 0);
    EXPECT_EQ(mask_partition.row_cell_counts, (std::vector<int>{0, 1, 2, 6, 1, 6}));
    const std::vector<int>& sizes = mask_partition.row_band_sizes;
    ASSERT_EQ(sizes.size(), 4u);
    EXPECT_EQ(sizes[1] + sizes[2] + sizes[3], 5);
    for (int p = 1; p <= 3; ++p) EXPECT_GE(sizes[p], 1) << p;
    // The best of the candidates: bands {1,2,3} {4} {5} give 9, 1, 6 (score 8)
    // while {1,2} {3} {4,5} give 3, 6, 7 (score 4).
    EXPECT_EQ(sizes, (std::vector<int>{0, 2, 1, 2}));
}

TEST_F(PartitionTest, FewerItemsThanPartsMarksNothingOutside) {
    numbered_mask m({"11", "11"});
    // Two rows for three parts: the first band is empty, the others one row each.
    const std::vector<int> marks[] = {{0, 0, 0}, {0, 1, 1}, {0, 0, 1}};
    for (int own = 0; own < 3; ++own) {
        SCOPED_TRACE(own);
        run(m, 3, own);
        EXPECT_EQ(mask_partition.row_band_sizes, (std::vector<int>{0, 0, 1, 1}));
        EXPECT_EQ(mask_partition.row_marks, marks[own]);
        ASSERT_EQ(mask_partition.cell_row_part.size(), 5u);
    }
}

}  // namespace
