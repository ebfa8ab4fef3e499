// Named array containers that guard themselves against two kinds of misuse:
//  - an index outside the bounds: remembered in a flag and reported by the
//    array's name when the array is released; the access itself is redirected
//    to a spare slot, so it never touches memory outside the storage;
//  - a data pointer or size overwritten behind the container's back: detected
//    by comparing guard copies before every change of size and reported at once.
// All containers grow at the end only and never shrink. They are not copyable.
//
// checked_array<T>      1-D, slots 0..size (used from 1, or from 0 with the index shift)
// checked_array_2d<T>   table of rows 1..row_count of row_length + 1 elements each
// checked_array_3d      table of blocks 1..block_count, each a table of row pointers
//                       1..rows to rows of columns + 1 doubles
//
// Sizes, growth, element access and release happen on the main thread, except
// element access, which may happen inside parallel loops: the range flag is
// only ever set to 1 there.
#pragma once

#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

#include "core/file_object.h"

constexpr int kCheckedNameSize = 50;   // name text including the NUL

// Moves one element into a freshly grown storage.
template <class T>
inline void checked_slot_move(T& dst, T& src) {
    dst = std::move(src);
}

// File objects cannot be copied: the handle moves to the new slot and the old
// slot is cleared, so freeing the old storage closes nothing.
inline void checked_slot_move(file_object& dst, file_object& src) {
    dst.handle = src.handle;
    dst.guard = src.guard;
    std::memcpy(dst.name, src.name, sizeof dst.name);
    std::memcpy(dst.mode, src.mode, sizeof dst.mode);
    src.handle = nullptr;
    src.guard = nullptr;
    src.name[0] = '\0';
    src.mode[0] = '\0';
}

inline void checked_copy_name(char* out, const char* name) {
    if (name == nullptr) name = "";
    std::strncpy(out, name, kCheckedNameSize - 1);
    out[kCheckedNameSize - 1] = '\0';
}

// ---------------------------------------------------------------------------
// 1-D checked array.
// ---------------------------------------------------------------------------
template <class T>
struct checked_array {
    T* data_guard = nullptr;            // copy of data, renewed whenever data changes
    int size_guard = 0;                 // copy of size, renewed with it
    T* data = nullptr;                  // size + 1 slots 0..size; null when nothing was allocated
    int size = 0;                       // highest slot; 0 for an empty array
    mutable char range_error = 0;       // set by an access outside the bounds; never cleared
    char name[kCheckedNameSize] = {};   // the array's name, used in messages
    char index_shift = 0;               // 1: index i addresses slot i + 1
    char range_reported = 0;            // 1 once release has printed the range error
    mutable T spare{};                  // target of accesses outside the bounds

    checked_array() = default;
    checked_array(const checked_array&) = delete;
    checked_array& operator=(const checked_array&) = delete;
    ~checked_array() { release(); }

    void set_name(const char* text) { checked_copy_name(name, text); }

    // Element i (slot i, or i + 1 with the index shift). Outside the slots
    // 0..size, or when nothing is allocated, the range flag is set and the
    // spare slot is returned.
    T& operator[](int i) { return *slot_ptr(i); }
    const T& operator[](int i) const { return *slot_ptr(i); }
    T& at(int i) { return (*this)[i]; }
    const T& at(int i) const { return (*this)[i]; }

    // True when data and size agree with their guard copies; otherwise prints
    // the bad-pointers message with the name.
    bool check() const {
        if (size == size_guard && data == data_guard) return true;
        std::printf("\n\nError!! Bad pointers found in array %s.\n\n", name);
        return false;
    }

    // Adds n slots at the end, keeping the contents (new slots are zeroed).
    // An empty array gets n + 1 slots 0..n; its earlier empty allocation is freed.
    void grow(int n) {
        if (!check()) return;
        if (n < 0 || (size > 0 && n == 0)) return;
        long long new_size = static_cast<long long>(size) + n;
        T* fresh = nullptr;
        if (new_size < 0x7fffffff) fresh = new (std::nothrow) T[new_size + 1]();
        if (fresh == nullptr) {
            std::printf("Error allocating memory for variable %s\n", name);
            return;
        }
        if (size > 0) {
            for (int k = 0; k <= size; ++k) checked_slot_move(fresh[k], data[k]);
        }
        delete[] data;
        data = fresh;
        size = static_cast<int>(new_size);
        data_guard = data;
        size_guard = size;
    }

    // grow(n), then sets the n new slots (old size + 1 .. old size + n) to value.
    void grow_fill(int n, const T& value) {
        int old_size = size;
        T* old_data = data;
        grow(n);
        if (n <= 0 || data == old_data || size != old_size + n) return;
        for (int k = old_size + 1; k <= size; ++k) data[k] = value;
    }

    // Copies slots 1 .. min(size, other size) from the other array (no guard check).
    void copy_from(const checked_array& other) {
        if (data == nullptr || other.data == nullptr) return;
        int count = size < other.size ? size : other.size;
        for (int k = 1; k <= count; ++k) data[k] = other.data[k];
    }

    // Reports a pending range error once by name, frees the storage and leaves
    // an empty array (elements are destroyed, so file objects close). When the
    // data pointer was overwritten, the storage recorded in the guard is freed
    // instead of the foreign pointer.
    void release() {
        if (range_error && !range_reported) {
            std::printf("Error: bad range addressed in array %s\n", name);
            range_reported = 1;
        }
        if (data != data_guard || size != size_guard) {
            check();
            data = data_guard;
        }
        delete[] data;
        data = nullptr;
        size = 0;
        data_guard = nullptr;
        size_guard = 0;
    }

    // The element of index i, or the spare slot (with the range flag set) for
    // an index outside the slots 0..size or while nothing is allocated.
    T* slot_ptr(int i) const {
        int slot = index_shift ? i + 1 : i;
        if (data == nullptr || slot < 0 || slot > size) {
            range_error = 1;
            return &spare;
        }
        return data + slot;
    }

    // Release of an array of file objects: every element is destroyed (closing
    // an open file) with the storage.
    void release_files() { release(); }
};

// ---------------------------------------------------------------------------
// 2-D checked array: a table of rows, each row_length + 1 elements used from 1.
// ---------------------------------------------------------------------------
template <class T>
struct checked_array_2d {
    T** table_guard = nullptr;   // copy of the row-table pointer
    T** row_guards = nullptr;    // copy of every row pointer, row_count + 1 entries
    int count_guard = 0;         // copy of the row count
    int row_length = 0;          // elements per row minus one; 0 until the first rows are added
    int row_count = 0;           // rows 1..row_count; row 0 is always null
    T** rows = nullptr;          // row table, row_count + 1 entries
    char* owned = nullptr;       // per row: 1 when allocated (and freed) by the container
    int own_attached = 0;        // 1: rows attached later are owned as well

    checked_array_2d() = default;
    checked_array_2d(const checked_array_2d&) = delete;
    checked_array_2d& operator=(const checked_array_2d&) = delete;
    ~checked_array_2d() { release(); }

    // True when the guards match; otherwise prints the bad-pointers message.
    bool check() const {
        bool good = table_guard == rows && count_guard == row_count;
        if (good && rows != nullptr) {
            if (row_guards == nullptr) {
                good = false;
            } else {
                for (int i = 0; i <= row_count && good; ++i) good = row_guards[i] == rows[i];
            }
        }
        if (!good) std::printf("\n\nError!! Bad pointers found in 2D array.\n\n");
        return good;
    }

    // Row i when 1 <= i <= row_count, null otherwise (no range flag).
    T* row(int i) const { return (i >= 1 && i <= row_count && rows) ? rows[i] : nullptr; }

    // Renews the guards after the owner changed row pointers directly.
    void sync_guard() {
        delete[] row_guards;
        row_guards = nullptr;
        if (rows != nullptr) {
            row_guards = new T*[row_count + 1];
            for (int i = 0; i <= row_count; ++i) row_guards[i] = rows[i];
        }
        table_guard = rows;
        count_guard = row_count;
    }

    // Adds max(n, 0) owned rows of row_length + 1 zeroed elements. The first
    // call with a width > 0 sets the row length; it is at least 1.
    void add_rows(int n, int width) {
        if (!check()) return;
        settle_row_length(width);
        int added = n > 0 ? n : 0;
        extend_table(added);
        for (int i = row_count + 1; i <= row_count + added; ++i) {
            rows[i] = new T[row_length + 1]();
            owned[i] = 1;
        }
        row_count += added;
        sync_guard();
    }

    // Adds max(n, 1) rows and sets elements 1..w of each new row to value; w is
    // width, or the row length before the call when width is -1 (never more
    // than the row length).
    void add_rows_fill(int n, const T& value, int width) {
        int w = width == -1 ? row_length : width;
        int old_count = row_count;
        int added = n > 1 ? n : 1;
        add_rows(added, width);
        if (row_count != old_count + added) return;
        if (w > row_length) w = row_length;
        for (int i = old_count + 1; i <= row_count; ++i)
            for (int j = 1; j <= w; ++j) rows[i][j] = value;
    }

    // Appends max(n, 1) rows given by their owner (given[1..]); they are freed
    // by the container only when own_attached is set. The guard check is
    // skipped when own_attached is set.
    void attach_rows(int n, T** given, int width) {
        if (given == nullptr) return;
        if (!own_attached && !check()) return;
        settle_row_length(width);
        int added = n > 1 ? n : 1;
        extend_table(added);
        for (int k = 1; k <= added; ++k) {
            rows[row_count + k] = given[k];
            owned[row_count + k] = own_attached ? 1 : 0;
        }
        row_count += added;
        sync_guard();
    }

    // Frees the owned rows, the row table, the flags and the guards; frees
    // nothing when the guards do not match.
    void release() {
        if (!check()) return;
        for (int i = 1; i <= row_count; ++i)
            if (owned[i]) delete[] rows[i];
        delete[] rows;
        delete[] owned;
        delete[] row_guards;
        rows = nullptr;
        owned = nullptr;
        row_guards = nullptr;
        table_guard = nullptr;
        row_count = 0;
        count_guard = 0;
    }

  private:
    void settle_row_length(int width) {
        if (width > 0 && row_length == 0) row_length = width;
        if (row_length == 0) row_length = 1;
    }

    // Replaces the row table and flags by ones with `added` more entries
    // (new entries null and not owned); row 0 is null and not owned.
    void extend_table(int added) {
        int new_count = row_count + added;
        T** new_rows = new T*[new_count + 1]();
        char* new_owned = new char[new_count + 1]();
        for (int i = 1; i <= row_count; ++i) {
            new_rows[i] = rows[i];
            new_owned[i] = owned[i];
        }
        delete[] rows;
        delete[] owned;
        rows = new_rows;
        owned = new_owned;
    }
};

// ---------------------------------------------------------------------------
// 3-D checked array of doubles: blocks 1..block_count, each a table of rows + 1
// row pointers (entry 0 holds no row) to rows of columns + 1 doubles.
// ---------------------------------------------------------------------------

// A table of rows + 1 row pointers (entry 0 null) to separate rows of
// columns + 1 doubles whose elements 1..columns are value (element 0 is 0).
double** alloc_filled_rows(int rows, int columns, double value);
// Frees a table made by alloc_filled_rows with the given number of rows.
void free_filled_rows(double** table, int rows);

struct checked_array_3d {
    int count_guard = 0;                  // copy of the block count
    int rows_guard = 0;                   // copy of the rows per block
    double*** table_guard = nullptr;      // copy of the block-table pointer
    double*** block_guards = nullptr;     // copy of every block pointer, count + 1 entries
    double*** row_table_guards = nullptr; // per block 1..count a copy of its row table
    int block_count = 0;                  // blocks 1..block_count
    int rows = 0;                         // rows per block
    int columns = 0;                      // values per row minus one
    double*** blocks = nullptr;           // block table, count + 1 entries (entry 0 null)
    char* owned = nullptr;                // per block: 1 when made by the container
    int* block_rows = nullptr;            // per block: the rows it holds (for guards and freeing)
    char name[kCheckedNameSize] = {};     // the array's name

    checked_array_3d() = default;
    checked_array_3d(const checked_array_3d&) = delete;
    checked_array_3d& operator=(const checked_array_3d&) = delete;
    ~checked_array_3d() { release(); }

    void set_name(const char* text) { checked_copy_name(name, text); }

    // Block k when 1 <= k <= block_count, null otherwise.
    double** block(int k) const {
        return (k >= 1 && k <= block_count && blocks) ? blocks[k] : nullptr;
    }

    // True when the guards match (the row tables of all blocks, or of the
    // owned blocks only when owned_only is 1); otherwise prints the message.
    bool check(int owned_only) const;
    // Appends n blocks given by their owner (given[1..n]), not owned.
    void attach_blocks(int n, double*** given, int new_rows, int new_columns);
    // Appends n owned blocks made by alloc_filled_rows(rows, columns, value).
    void add_blocks_fill(int n, double value, int new_rows, int new_columns);
    // Renews all guards.
    void sync_guard();
    // Frees the owned blocks, the block table and the flags when the guards of
    // the owned blocks match; otherwise frees nothing.
    void release();

  private:
    void free_guards();
    bool prepare_append(int n, int new_rows, int new_columns);
};
