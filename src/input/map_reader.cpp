// The ASCII grid map reader (see map_reader.h for the format and the kinds).
//
// The reader never writes outside its targets: the integer grid is indexed
// only after the header has been found equal to the run's grid, and the
// per-cell arrays are filled only up to their size. Integer maps must hold
// whole numbers and real maps finite numbers; anything else is refused with a
// message naming the map, the row and the column.
#include "input/map_reader.h"

#include <cstdio>
#include <cstring>
#include <strings.h>
#include <vector>

#include "core/error.h"
#include "core/file_object.h"
#include "core/file_write.h"
#include "core/run_options.h"
#include "run/run_state.h"
#include "core/text.h"

namespace {

// Counters of IDs 1..kMapCategoryCount of the last kind-4 map (ID k at slot k - 1).
int g_category_counts[kMapCategoryCount] = {};

// Prints nothing more: the caller printed its message. Raises the stop flag.
void fail_printed() {
    error_record.code = kErrorPrinted;
    report_error(error_record);
}

const char* shown(const char* path) { return path != nullptr ? path : ""; }

// Places of a map for the checked reader: the map, a line, a row and column.
input_place map_place(const char* path, int line, int row = 0, int col = 0) {
    input_place at;
    at.kind = "map";
    at.path = shown(path);
    at.line = line;
    at.row = row;
    at.col = col;
    return at;
}

// Prints the mismatch line of a header that is not the run's grid.
void print_size_mismatch(const char* path, const map_header& h, int expected_rows,
                         int expected_cols) {
    if (h.rows != expected_rows && h.cols != expected_cols) {
        std::printf("Incorrect number of rows and columns in map: %s\n", shown(path));
    } else if (h.rows != expected_rows) {
        std::printf("Incorrect number of rows in map: %s\n", shown(path));
    } else {
        std::printf("Incorrect number of columns in map: %s\n", shown(path));
    }
}

// The checked value of a map cell: `value` in the field's range (when one is
// given), else the message naming the map, line, row and column.
bool value_in_field(double value, const char* text, const number_field* field, const char* path,
                    int line, int row, int col) {
    if (field == nullptr || in_range(value, field->range)) return true;
    char why[512];
    describe_number_fault(number_status::outside_field, field->name, text, field->range, why,
                          sizeof why);
    refuse_at(map_place(path, line, row, col), why);
    return false;
}

// Stores `value` in the next slot of a per-cell array; false when the array
// has no slot left (slot 0 is never used).
template <class T>
bool store_cell(std::vector<T>& target, int& slot, T value) {
    ++slot;
    if (slot >= static_cast<int>(target.size())) return false;
    target[static_cast<size_t>(slot)] = value;
    return true;
}

void print_too_many_cells(const char* path, size_t size) {
    const int cells = size > 0 ? static_cast<int>(size) - 1 : 0;
    std::printf("Error: map %s has more watershed cells than the %d cells of its target array\n",
                shown(path), cells);
}

}  // namespace

bool read_map_header(file_object& f, const char* path, map_header& header, int& lines) {
    lines = 0;
    // The edges must be finite (a NaN edge gives every cell a size and centre
    // that is no number); rows and columns whole numbers that size a grid.
    static const number_field kEdges[4] = {
        {"north edge"}, {"south edge"}, {"east edge"}, {"west edge"}};
    static const number_field kRows{"number of rows", closed_range(1, kMaxGridSide)};
    static const number_field kCols{"number of columns", closed_range(1, kMaxGridSide)};
    double* const edges[4] = {&header.north, &header.south, &header.east, &header.west};
    text_line line;
    for (int k = 1; k <= 6; ++k) {
        if (!read_line(line, f)) {
            refuse_atf(map_place(path, k), "the file ends inside its six header lines (north, "
                                           "south, east, west, rows, cols)");
            return false;
        }
        lines = k;
        char* cursor = line.data();
        char word[kTokenSize];
        next_word_at(cursor, word);   // the header word: any text
        if (k == 1 && is_esri_header_word(word)) {
            // An ESRI ASCII grid: say which header pluvo reads instead of
            // refusing one of its numbers.
            set_error(354, word, shown(path));
            char text[2048];
            compose_message(354, error_record, text, sizeof text);
            write_report_text(current_summary_file, text);
            error_record.code = kErrorPrinted;
            return false;
        }
        const input_place at = map_place(path, k);
        bool good = true;
        if (k <= 4) {
            good = read_real_at(cursor, kEdges[k - 1], at, *edges[k - 1]);
        } else {
            good = read_int_at(cursor, k == 5 ? kRows : kCols, at, k == 5 ? header.rows : header.cols);
        }
        if (!good) return false;
    }
    return true;
}

bool map_body_can_hold(file_object& f, const char* path, const map_header& header) {
    const long left = stream_bytes_left(f.handle);
    if (left < 0) return true;   // not a plain file: read on
    // n values take at least 2n - 1 bytes: one character each and a separator between.
    const long long bytes = static_cast<long long>(left);
    const long long values = static_cast<long long>(header.rows) * header.cols;
    const long long room = (bytes + 1) / 2;
    if (values <= room) return true;
    std::printf("Unexpected end of file in file: %s\n", shown(path));
    refuse_atf(map_place(path, 6),
               "the header gives %d rows and %d columns, %lld values, but the %lld bytes after "
               "it hold at most %lld values",
               header.rows, header.cols, values, bytes, room);
    return false;
}

bool map_file_fits(file_object& f, const char* path, int expected_rows, int expected_cols) {
    if (f.handle == nullptr) return true;   // the reader reports a file that is not open
    map_header h;
    int lines = 0;
    bool good = read_map_header(f, path, h, lines);
    if (good && (h.rows != expected_rows || h.cols != expected_cols)) {
        print_size_mismatch(path, h, expected_rows, expected_cols);
        error_record.code = kErrorPrinted;
        good = false;
    }
    good = good && map_body_can_hold(f, path, h);
    std::rewind(f.handle);
    if (!good) fail_printed();
    return good;
}

bool read_map_file(file_object& f, const char* path, int map_kind, double& north, double& south,
                   double& east, double& west, int& rows, int& cols, int** grid,
                   std::vector<double>* first_reals, std::vector<double>* second_reals,
                   std::vector<int>* ids, int expected_rows, int expected_cols,
                   const number_field* field) {
    FILE* in = f.handle;
    if (in == nullptr) {
        std::printf("Error: map file %s is not open\n", shown(path));
        fail_printed();
        return false;
    }
    if (map_kind < kMapCellReals || map_kind > kMapCellIds) {
        std::printf("Error: unknown kind %d of map %s\n", map_kind, shown(path));
        fail_printed();
        return false;
    }
    std::vector<double>* reals = map_kind == kMapCellReals ? first_reals : second_reals;
    if ((map_kind == kMapCellReals || map_kind == kMapSecondReals) && reals == nullptr) {
        std::printf("Error: no array given to hold map %s\n", shown(path));
        fail_printed();
        return false;
    }
    if (map_kind == kMapCellIds && ids == nullptr) {
        std::printf("Error: no array given to hold map %s\n", shown(path));
        fail_printed();
        return false;
    }

    // 1. Header: six positional lines; the words are ignored.
    map_header h;
    int line_number = 0;   // line of the file last read
    const bool header_read = read_map_header(f, path, h, line_number);
    north = h.north;
    south = h.south;
    east = h.east;
    west = h.west;
    if (line_number >= 5) rows = h.rows;
    if (line_number >= 6) cols = h.cols;
    if (!header_read) {
        fail_printed();
        return false;
    }

    // 2. Size against the run's grid, and against what the file can hold;
    // nothing is read on a mismatch.
    if (rows != expected_rows || cols != expected_cols) {
        print_size_mismatch(path, h, expected_rows, expected_cols);
        fail_printed();
        return false;
    }
    if (!map_body_can_hold(f, path, h)) {
        fail_printed();
        return false;
    }

    bool nonzero = false;   // some value of the map is not exactly 0
    int zero_cells = 0;     // mask cells holding exactly 0 (kinds 1 and 3)
    int slot = 0;           // last per-cell slot written

    if (map_kind == kMapCellReals || map_kind == kMapSecondReals) {
        // 3. One text line per grid row; whole finite numbers only.
        text_line line;
        char token[kTokenSize];   // text of a refused value, for its message
        for (int i = 1; i <= rows; ++i) {
            if (std::feof(in) || !read_line(line, f)) {
                std::printf("Unexpected end of file in file: %s\n", shown(path));
                refuse_atf(map_place(path, line_number),
                           "the file ends at this line, before row %d of its %d rows", i, rows);
                fail_printed();
                return false;
            }
            ++line_number;
            char* cursor = line;   // walks the row once, however long it is
            for (int j = 1; j <= cols; ++j) {
                double value = 0.0;
                // NaN and infinite values are refused like words: no kernel can use them.
                const number_status status = next_real_at(cursor, value, token);
                if (status == number_status::missing) {
                    refuse_atf(map_place(path, line_number, i),
                               "the row holds %d values for %d columns", j - 1, cols);
                    fail_printed();
                    return false;
                }
                if (status != number_status::ok) {
                    char why[512];
                    describe_number_fault(status, field != nullptr ? field->name : "value", token,
                                          kAnyNumber, why, sizeof why);
                    refuse_at(map_place(path, line_number, i, j), why);
                    fail_printed();
                    return false;
                }
                if (value != 0.0) nonzero = true;
                if (grid == nullptr || grid[i][j] == 0) continue;
                if (field != nullptr && !in_range(value, field->range)) {
                    char text[64];
                    std::snprintf(text, sizeof text, "%.15g", value);
                    value_in_field(value, text, field, path, line_number, i, j);
                    fail_printed();
                    return false;
                }
                if (!store_cell(*reals, slot, value)) {
                    print_too_many_cells(path, reals->size());
                    fail_printed();
                    return false;
                }
                if (value == 0.0) ++zero_cells;
            }
            char extra[kTokenSize];
            if (next_word_at(cursor, extra)) {
                refuse_atf(map_place(path, line_number, i),
                           "the row holds more than %d values (\"%.63s\" follows the last column)",
                           cols, extra);
                fail_printed();
                return false;
            }
        }
    } else {
        // 4 and 5. Whole numbers separated by any white space.
        if (map_kind == kMapCellIds) {
            for (int& c : g_category_counts) c = 0;
        }
        char token[256];
        int line = line_number + 1;   // the line the next token stands on
        int last_line = line_number;  // the line of the last value read
        stream_lock lock(in);         // next_stream_int reads the stream unlocked
        for (int i = 1; i <= rows; ++i) {
            for (int j = 1; j <= cols; ++j) {
                int value = 0;
                const number_status r =
                    next_stream_int(in, value, token, static_cast<int>(sizeof token), line);
                if (r == number_status::missing) {
                    std::printf("Unexpected end of file in file: %s\n", shown(path));
                    refuse_atf(map_place(path, last_line),
                               "the file ends at this line, before the value of row %d, column %d",
                               i, j);
                    fail_printed();
                    return false;
                }
                if (r != number_status::ok) {
                    refuse_atf(map_place(path, line, i, j),
                               "the %s \"%.63s\" is not a whole number",
                               field != nullptr ? field->name : "value", token);
                    fail_printed();
                    return false;
                }
                last_line = line;
                if (value != 0) nonzero = true;
                const bool stored = map_kind == kMapGridInts || (grid != nullptr && grid[i][j] != 0);
                if (stored && field != nullptr && !in_range(value, field->range)) {
                    value_in_field(value, token, field, path, line, i, j);
                    fail_printed();
                    return false;
                }
                if (map_kind == kMapGridInts) {
                    if (grid != nullptr) grid[i][j] = value;
                    continue;
                }
                if (!stored) continue;
                if (!store_cell(*ids, slot, value)) {
                    print_too_many_cells(path, ids->size());
                    fail_printed();
                    return false;
                }
                // The table has slots for IDs 1..9999 only; other IDs are stored, not counted.
                if (value >= 1 && value <= kMapCategoryCount) ++g_category_counts[value - 1];
            }
        }
        if (map_kind == kMapCellIds) {
            for (int id = 1; id <= kMapCategoryCount; ++id) {
                if (g_category_counts[id - 1] > 0) {
                    std::printf("In map %s category %d has %d values\n", shown(path), id,
                                g_category_counts[id - 1]);
                }
            }
        }
    }

    // 6. Warnings only: the run goes on.
    if (!nonzero) std::printf("Warning: Map contains only zero values. Map: %s\n", shown(path));
    if (zero_cells > 0) {
        std::printf("Warning: Map contains %d cells with zero values. Map: %s\n", zero_cells,
                    shown(path));
    }
    return true;
}

bool is_esri_header_word(const char* word) {
    // The header words of an ESRI ASCII grid (the first is ncols or nrows).
    static const char* const kEsriWords[] = {"ncols",     "nrows",     "xllcorner", "xllcenter",
                                             "yllcorner", "yllcenter", "cellsize",  "nodata_value"};
    for (const char* w : kEsriWords) {
        if (strcasecmp(word, w) == 0) return true;
    }
    return false;
}

int map_category_count(int id) {
    if (id < 1 || id > kMapCategoryCount) return 0;
    return g_category_counts[id - 1];
}

bool refuse_negative_map_ids(const std::vector<int>& ids, int cell_count, const char* path) {
    const int last = cell_count < static_cast<int>(ids.size()) ? cell_count
                                                              : static_cast<int>(ids.size()) - 1;
    for (int k = 1; k <= last; ++k) {
        if (ids[static_cast<size_t>(k)] < 0) {
            std::printf("Error: negative ID %d at cell %d of map %s\n", ids[static_cast<size_t>(k)],
                        k, shown(path));
            fail_printed();
            return false;
        }
    }
    return true;
}

bool console_lines_on(const run_state& rs) {
    return rs.quiet == 0 && run_options.process_index == 0;
}

void print_reading_line(run_state& rs, const char* format, const char* name) {
    if (console_lines_on(rs)) std::printf(format, shown(name));
    file_printf(rs.summary_file, format, shown(name));
}
