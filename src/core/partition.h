// Grid partition: splits the numbered watershed mask into bands of
// consecutive rows, and independently of consecutive columns, so that every
// band holds about the same number of active cells, and marks the band of
// this process's part (run_options.part_index of run_options.part_count).
// It runs only when the part count is 2 or more.
#pragma once
#include <vector>

#include "core/checked_array.h"

// The process-wide record of the last partition. Every array is 1-based; the
// arrays are kept and resized by later partitions of the same process.
struct mask_partition_record {
    std::vector<int> mask;              // numbered mask copied row-major, (rows+1) x (columns+1)
    int rows = 0;                       // rows of the mask
    int columns = 0;                    // columns of the mask
    int cell_count = 0;                 // GNUM
    std::vector<int> row_cell_counts;     // active cells per row 1..rows
    std::vector<int> column_cell_counts;  // active cells per column 1..columns
    std::vector<int> row_marks;           // "short_row_mask" over rows: 1 inside the own row band
    std::vector<int> column_marks;        // "short_row_mask" over columns: 1 inside the own column band
    std::vector<int> cell_row_part;       // per cell 1..cell_count: 1 inside the own row band
    std::vector<int> cell_column_part;    // per cell 1..cell_count: 1 inside the own column band
    std::vector<int> row_band_sizes;      // rows of each band 1..parts
    std::vector<int> column_band_sizes;   // columns of each band 1..parts

    int at(int row, int column) const {
        return mask[static_cast<size_t>(row) * static_cast<size_t>(columns + 1) +
                    static_cast<size_t>(column)];
    }
};

extern mask_partition_record mask_partition;

// Work object of one split of items (rows or columns) into parts.
struct mask_splitter {
    int parts = 0;                 // number of parts
    int total = 0;                 // active cells of the whole mask
    int items = 0;                 // rows or columns
    checked_array<int> counts;     // active cells of each item 1..items
    int target_size = 0;           // total / items (integer division)
    int spread = 0;                // |cells of the last item - target_size| + 1
    int candidate_count = 0;       // 4 x spread + 1
    checked_array_2d<int> candidates;  // per candidate, the items of each part 1..parts
    checked_array<int> scores;     // per candidate, largest minus smallest band total

    void init(int total_cells, const std::vector<int>& item_counts, int item_count, int part_count);
    void make_candidates();
    void make_candidate(int number, int target);
    void score_candidates();
    int choose_best() const;
    // Copies the sizes of the best candidate into sizes[1..parts]; returns its score.
    int best_split(std::vector<int>& sizes);
};

// The whole step: copies the numbered mask (rows x cols, cell_count cells)
// into the process-wide record, counts, splits and marks the own part.
// Does nothing when run_options.part_count is below 2.
void partition_mask(int** mask, int rows, int cols, int cell_count);
void count_row_cells();
void count_column_cells();
void split_mask();
// kind 1 rows, 0 columns; sizes[1..parts] are the bands laid end to end from 1.
void mark_own_part(int kind, const std::vector<int>& sizes);
