// Plain array allocators.
//
// A 1-D array asked for with size n has n+1 zeroed elements used from index 1
// and is freed by its owner with delete[]. A 2-D grid [0..rows][0..cols] is one
// block of (rows+1)(cols+1) values with a table of row pointers into it; a 3-D
// block adds a table of plane pointers between the rows and the values. The
// sizes handed to the make routines are the highest indices, not counts.
#include "core/alloc.h"

#include <cstdint>
#include <cstdio>
#include <new>

namespace {

const char kSizeZeroMessage[] = "Error: Attempting to allocate array of size 0\n";

void print_alloc_failure(const char* name) {
    std::printf("Error allocating memory for variable %s\n", name ? name : "");
}

// True when count1 x count2 x count3 elements of elem_size bytes can be addressed.
bool size_fits(size_t count1, size_t count2, size_t count3, size_t elem_size) {
    const size_t limit = SIZE_MAX / 2;   // keep well below what new[] can express
    if (count1 == 0 || count2 == 0 || count3 == 0) return true;
    if (count1 > limit / count2) return false;
    size_t c12 = count1 * count2;
    if (c12 > limit / count3) return false;
    return c12 * count3 <= limit / elem_size;
}

// One 1-D array of n+1 zeroed elements; n = 0 gives null, n < 0 the size-0 message.
template <class T>
T* alloc_array_1d(int n) {
    if (n == 0) return nullptr;
    if (n < 0) {
        std::printf("%s", kSizeZeroMessage);
        return nullptr;
    }
    size_t count = static_cast<size_t>(n) + 1;
    if (!size_fits(count, 1, 1, sizeof(T))) return nullptr;
    return new (std::nothrow) T[count]();
}

// Contiguous grid [0..rows][0..cols], not filled.
template <class T>
T** make_grid(int rows, int cols) {
    if (rows <= 0 || cols <= 0) {
        std::printf("%s", kSizeZeroMessage);
        return nullptr;
    }
    size_t nr = static_cast<size_t>(rows) + 1;
    size_t nc = static_cast<size_t>(cols) + 1;
    if (!size_fits(nr, nc, 1, sizeof(T))) return nullptr;
    T** table = new (std::nothrow) T*[nr];
    if (table == nullptr) return nullptr;
    T* block = new (std::nothrow) T[nr * nc];
    if (block == nullptr) {
        delete[] table;
        return nullptr;
    }
    for (size_t i = 0; i < nr; ++i) table[i] = block + i * nc;
    return table;
}

// Contiguous block [0..a][0..b][0..c], not filled.
template <class T>
T*** make_block(int a, int b, int c) {
    size_t na = static_cast<size_t>(a) + 1;
    size_t nb = static_cast<size_t>(b) + 1;
    size_t nc = static_cast<size_t>(c) + 1;
    if (!size_fits(na, nb, nc, sizeof(T))) return nullptr;
    T*** rows = new (std::nothrow) T**[na];
    if (rows == nullptr) return nullptr;
    T** planes = new (std::nothrow) T*[na * nb];
    if (planes == nullptr) {
        delete[] rows;
        return nullptr;
    }
    T* values = new (std::nothrow) T[na * nb * nc];
    if (values == nullptr) {
        delete[] planes;
        delete[] rows;
        return nullptr;
    }
    for (size_t i = 0; i < na; ++i) {
        rows[i] = planes + i * nb;
        for (size_t j = 0; j < nb; ++j) planes[i * nb + j] = values + (i * nb + j) * nc;
    }
    return rows;
}

template <class T>
void fill_grid(T** grid, int rows, int cols, T value) {
    if (grid == nullptr) return;
    for (int i = 0; i <= rows; ++i)
        for (int j = 0; j <= cols; ++j) grid[i][j] = value;
}

}  // namespace

void alloc_double_array(double*& out, int n, const char* name) {
    out = alloc_array_1d<double>(n);
    // A failed allocation is named too (a size request of -1 only gets the size-0 message).
    if (out == nullptr && n > 0) print_alloc_failure(name);
}

void alloc_int_array(int*& out, int n, const char* name) {
    out = alloc_array_1d<int>(n);
    if (out == nullptr && n != 0) print_alloc_failure(name);
}

void alloc_double_2d(int rows, int cols, double**& out, const char* name) {
    out = make_double_2d(rows, cols);
    if (out == nullptr) {
        print_alloc_failure(name);
        return;
    }
    fill_double_2d(out, rows, cols, 0.0);
}

void alloc_char_2d(int rows, int cols, char**& out, const char* name) {
    out = make_char_2d(rows, cols);
    if (out == nullptr) {
        print_alloc_failure(name);
        return;
    }
    fill_grid<char>(out, rows, cols, 0);
}

void alloc_int_2d(int**& out, int rows, int cols, const char* name) {
    out = make_int_2d(rows, cols);
    if (out == nullptr) {
        print_alloc_failure(name);
        return;
    }
    fill_grid<int>(out, rows, cols, 0);
}

void alloc_double_3d(int a, int b, int c, double***& out, const char* name) {
    out = make_double_3d(a, b, c);
    if (out == nullptr) {
        print_alloc_failure(name);
        return;
    }
    fill_double_3d(out, a, b, c, 0.0);
}

double** make_double_2d(int rows, int cols) { return make_grid<double>(rows, cols); }
int** make_int_2d(int rows, int cols) { return make_grid<int>(rows, cols); }
char** make_char_2d(int rows, int cols) { return make_grid<char>(rows, cols); }

double*** make_double_3d(int a, int b, int c) {
    if (a <= 0 || b <= 0 || c <= 0) {
        std::printf("%s", kSizeZeroMessage);
        return nullptr;
    }
    return make_block<double>(a, b, c);
}

int*** make_int_3d4(int a, int b) {
    if (a <= 0 || b <= 0) {
        std::printf("%s", kSizeZeroMessage);
        return nullptr;
    }
    return make_block<int>(a, 3, b);   // middle dimension fixed at 4 (indices 0..3)
}

void fill_double_2d(double** grid, int rows, int cols, double value) {
    fill_grid<double>(grid, rows, cols, value);
}

void fill_double_3d(double*** block, int a, int b, int c, double value) {
    if (block == nullptr) return;
    for (int i = 0; i <= a; ++i)
        for (int j = 0; j <= b; ++j)
            for (int k = 0; k <= c; ++k) block[i][j][k] = value;
}

template <class T>
void free_block_2d(T**& grid) {
    if (grid == nullptr) return;
    delete[] grid[0];   // row 0 points at the start of the value block
    delete[] grid;
    grid = nullptr;
}

template <class T>
void free_block_3d(T***& block) {
    if (block == nullptr) return;
    delete[] block[0][0];   // the value block
    delete[] block[0];      // the plane table
    delete[] block;         // the row table
    block = nullptr;
}

template void free_block_2d<double>(double**&);
template void free_block_2d<int>(int**&);
template void free_block_2d<char>(char**&);
template void free_block_3d<double>(double***&);
template void free_block_3d<int>(int***&);
