// Grid partition into balanced bands of rows and of columns.
//
// A split makes a set of candidates, one per target band total around the
// average, scores each by the difference between its largest and smallest
// band total and keeps the best. Every part but the last leaves at least one
// item for each part after it. Marking covers the own band and the row (or
// column) after it, never beyond the last row (column) of the mask.
#include "core/partition.h"

#include <cstdlib>

#include "core/run_options.h"

mask_partition_record mask_partition;

namespace {

// Sets every entry 1..n of a 1-based array (n + 1 slots) to 0.
void clear_marks(std::vector<int>& marks, int n) { marks.assign(static_cast<size_t>(n) + 1, 0); }

}  // namespace

void mask_splitter::init(int total_cells, const std::vector<int>& item_counts, int item_count,
                         int part_count) {
    parts = part_count;
    total = total_cells;
    items = item_count;
    counts.release();
    counts.set_name("split_counts");
    counts.grow(items);
    for (int k = 1; k <= items && k < static_cast<int>(item_counts.size()); ++k) {
        counts[k] = item_counts[static_cast<size_t>(k)];
    }
    target_size = items > 0 ? total / items : 0;
    spread = std::abs(counts[items] - target_size) + 1;
    candidate_count = 4 * spread + 1;
}

void mask_splitter::make_candidate(int number, int target) {
    int* sizes = candidates.row(number);
    if (sizes == nullptr) return;
    int position = 0;   // last item taken so far
    for (int i = 1; i <= parts - 1; ++i) {
        int sum = 0;
        int size = 0;
        // Part i may take item position + 1 while one item stays for each later part.
        while (position + 1 <= items - (parts - i)) {
            ++position;
            ++size;
            sum += counts[position];
            if (sum >= target) break;
        }
        sizes[i] = size;
    }
    sizes[parts] = items - position;
}

void mask_splitter::make_candidates() {
    candidates.release();
    candidates.add_rows_fill(candidate_count, 0, parts);
    int number = 1;
    for (int d = -2 * spread; d <= 2 * spread; ++d) {
        make_candidate(number, total / parts + d);
        ++number;
    }
}

void mask_splitter::score_candidates() {
    scores.release();
    scores.set_name("split_scores");
    scores.grow(candidate_count);
    for (int c = 1; c <= candidate_count; ++c) {
        const int* sizes = candidates.row(c);
        if (sizes == nullptr) continue;
        int largest = -1;
        int smallest = 999999;
        int item = 0;
        for (int p = 1; p <= parts; ++p) {
            int band = 0;
            for (int k = 0; k < sizes[p] && item < items; ++k) band += counts[++item];
            if (band > largest) largest = band;
            if (band < smallest) smallest = band;
        }
        scores[c] = largest - smallest;
    }
}

int mask_splitter::choose_best() const {
    int best = 1;
    for (int c = 2; c <= candidate_count; ++c) {
        if (scores[c] < scores[best]) best = c;
    }
    return best;
}

int mask_splitter::best_split(std::vector<int>& sizes) {
    make_candidates();
    score_candidates();
    const int best = choose_best();
    sizes.assign(static_cast<size_t>(parts) + 1, 0);
    const int* row = candidates.row(best);
    if (row != nullptr) {
        for (int p = 1; p <= parts; ++p) sizes[static_cast<size_t>(p)] = row[p];
    }
    return scores[best];
}

void count_row_cells() {
    mask_partition_record& m = mask_partition;
    clear_marks(m.row_cell_counts, m.rows);
    for (int i = 1; i <= m.rows; ++i)
        for (int j = 1; j <= m.columns; ++j)
            if (m.at(i, j) != 0) ++m.row_cell_counts[static_cast<size_t>(i)];
}

void count_column_cells() {
    mask_partition_record& m = mask_partition;
    clear_marks(m.column_cell_counts, m.columns);
    for (int i = 1; i <= m.rows; ++i)
        for (int j = 1; j <= m.columns; ++j)
            if (m.at(i, j) != 0) ++m.column_cell_counts[static_cast<size_t>(j)];
}

void mark_own_part(int kind, const std::vector<int>& sizes) {
    mask_partition_record& m = mask_partition;
    const bool by_rows = kind == 1;
    const int n = by_rows ? m.rows : m.columns;
    std::vector<int>& marks = by_rows ? m.row_marks : m.column_marks;
    std::vector<int>& cell_marks = by_rows ? m.cell_row_part : m.cell_column_part;
    clear_marks(marks, n);
    clear_marks(cell_marks, m.cell_count);

    const int own = run_options.part_index + 1;
    const int parts = static_cast<int>(sizes.size()) - 1;
    int start = 1;
    for (int p = 1; p <= parts; ++p) {
        const int size = sizes[static_cast<size_t>(p)];
        const int last = start + size - 1;
        if (p == own && size > 0) {
            // The band and the line after it, never past the last line.
            const int end = last + 1 <= n ? last + 1 : n;
            for (int line = start; line <= end; ++line) {
                marks[static_cast<size_t>(line)] = 1;
                const int across = by_rows ? m.columns : m.rows;
                for (int k = 1; k <= across; ++k) {
                    const int cell = by_rows ? m.at(line, k) : m.at(k, line);
                    if (cell >= 1 && cell <= m.cell_count) cell_marks[static_cast<size_t>(cell)] = 1;
                }
            }
            return;
        }
        start = last + 1;
    }
}

void split_mask() {
    mask_partition_record& m = mask_partition;
    const int parts = run_options.part_count;
    // Every part computes the same sizes, so any part index finds its own band.
    {
        mask_splitter rows;
        rows.init(m.cell_count, m.row_cell_counts, m.rows, parts);
        rows.best_split(m.row_band_sizes);
    }
    mark_own_part(1, m.row_band_sizes);
    {
        mask_splitter columns;
        columns.init(m.cell_count, m.column_cell_counts, m.columns, parts);
        columns.best_split(m.column_band_sizes);
    }
    mark_own_part(0, m.column_band_sizes);
}

void partition_mask(int** mask, int rows, int cols, int cell_count) {
    if (run_options.part_count < 2 || mask == nullptr || rows < 1 || cols < 1) return;
    mask_partition_record& m = mask_partition;
    m.rows = rows;
    m.columns = cols;
    m.cell_count = cell_count;
    m.mask.assign(static_cast<size_t>(rows + 1) * static_cast<size_t>(cols + 1), 0);
    for (int i = 1; i <= rows; ++i)
        for (int j = 1; j <= cols; ++j)
            m.mask[static_cast<size_t>(i) * static_cast<size_t>(cols + 1) + static_cast<size_t>(j)] =
                mask[i][j];
    count_row_cells();
    count_column_cells();
    split_mask();
}
