// 3-D checked array of doubles and its row-table helpers (see checked_array.h).
#include "core/checked_array.h"

double** alloc_filled_rows(int rows, int columns, double value) {
    if (rows < 0) rows = 0;
    if (columns < 0) columns = 0;
    double** table = new double*[rows + 1];
    table[0] = nullptr;
    for (int r = 1; r <= rows; ++r) {
        table[r] = new double[columns + 1]();
        for (int c = 1; c <= columns; ++c) table[r][c] = value;
    }
    return table;
}

void free_filled_rows(double** table, int rows) {
    if (table == nullptr) return;
    for (int r = 1; r <= rows; ++r) delete[] table[r];
    delete[] table;
}

bool checked_array_3d::check(int owned_only) const {
    bool good = table_guard == blocks && count_guard == block_count && rows_guard == rows;
    if (good && blocks != nullptr) {
        if (block_guards == nullptr || row_table_guards == nullptr) good = false;
        for (int k = 1; good && k <= block_count; ++k) {
            if (owned_only == 1 && !owned[k]) continue;
            if (block_guards[k] != blocks[k]) {
                good = false;
                break;
            }
            const double* const* copy = row_table_guards[k];
            if (blocks[k] == nullptr || copy == nullptr) continue;
            for (int r = 0; r <= block_rows[k]; ++r) {
                if (copy[r] != blocks[k][r]) {
                    good = false;
                    break;
                }
            }
        }
    }
    if (!good) std::printf("\n\nError!!!  Bad pointers found in 3D array.\n\n");
    return good;
}

void checked_array_3d::free_guards() {
    if (row_table_guards != nullptr) {
        for (int k = 1; k <= count_guard; ++k) delete[] row_table_guards[k];
    }
    delete[] row_table_guards;
    delete[] block_guards;
    row_table_guards = nullptr;
    block_guards = nullptr;
}

void checked_array_3d::sync_guard() {
    free_guards();
    if (block_count > 0 && blocks != nullptr) {
        block_guards = new double**[block_count + 1];
        row_table_guards = new double**[block_count + 1];
        row_table_guards[0] = nullptr;
        for (int k = 0; k <= block_count; ++k) block_guards[k] = blocks[k];
        for (int k = 1; k <= block_count; ++k) {
            if (blocks[k] == nullptr) {
                row_table_guards[k] = nullptr;
                continue;
            }
            row_table_guards[k] = new double*[block_rows[k] + 1];
            for (int r = 0; r <= block_rows[k]; ++r) row_table_guards[k][r] = blocks[k][r];
        }
    }
    table_guard = blocks;
    count_guard = block_count;
    rows_guard = rows;
}

// Checks all blocks, takes the new shape and makes room for n more blocks.
bool checked_array_3d::prepare_append(int n, int new_rows, int new_columns) {
    if (!check(0)) return false;
    if (new_rows >= 0) rows = new_rows;
    if (new_columns >= 0) columns = new_columns;
    if (n <= 0) {
        rows_guard = rows;
        return false;
    }
    int new_count = block_count + n;
    double*** new_blocks = new double**[new_count + 1]();
    char* new_owned = new char[new_count + 1]();
    int* new_block_rows = new int[new_count + 1]();
    for (int k = 1; k <= block_count; ++k) {
        new_blocks[k] = blocks[k];
        new_owned[k] = owned[k];
        new_block_rows[k] = block_rows[k];
    }
    delete[] blocks;
    delete[] owned;
    delete[] block_rows;
    blocks = new_blocks;
    owned = new_owned;
    block_rows = new_block_rows;
    return true;
}

void checked_array_3d::attach_blocks(int n, double*** given, int new_rows, int new_columns) {
    if (given == nullptr) return;
    if (!prepare_append(n, new_rows, new_columns)) return;
    for (int k = 1; k <= n; ++k) {
        blocks[block_count + k] = given[k];
        owned[block_count + k] = 0;
        block_rows[block_count + k] = rows;
    }
    block_count += n;
    sync_guard();
}

void checked_array_3d::add_blocks_fill(int n, double value, int new_rows, int new_columns) {
    if (!prepare_append(n, new_rows, new_columns)) return;
    for (int k = 1; k <= n; ++k) {
        blocks[block_count + k] = alloc_filled_rows(rows, columns, value);
        owned[block_count + k] = 1;
        block_rows[block_count + k] = rows;
    }
    block_count += n;
    sync_guard();
}

void checked_array_3d::release() {
    if (!check(1)) return;
    for (int k = 1; k <= block_count; ++k)
        if (owned[k]) free_filled_rows(blocks[k], block_rows[k]);
    delete[] blocks;
    delete[] owned;
    delete[] block_rows;
    free_guards();
    blocks = nullptr;
    owned = nullptr;
    block_rows = nullptr;
    block_count = 0;
    rows = 0;
    columns = 0;
    table_guard = nullptr;
    count_guard = 0;
    rows_guard = 0;
}
