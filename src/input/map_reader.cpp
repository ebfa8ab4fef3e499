// The ASCII grid map reader (see map_reader.h for the format and the kinds).
//
// The reader never writes outside its targets: the integer grid is indexed
// only after the header has been found equal to the run's grid, and the
// per-cell arrays are filled only up to their size. Integer maps must hold
// whole numbers and real maps finite numbers; anything else is refused with a
// message naming the map, the row and the column.
#include "input/map_reader.h"

#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <system_error>
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

// Reads one header line "word value": the word (at most `width` characters)
// is ignored. Returns true when the value was read; otherwise it is unchanged.
bool read_header_real(FILE* in, const char* format, double& value) {
    char word[8] = {};
    double v = 0.0;
    if (std::fscanf(in, format, word, &v) != 2) return false;
    value = v;
    return true;
}

// The count is taken only when its whole token is an integer in the int range
// ("%d" would wrap 4294967326 round to 30 without a word).
bool read_header_int(FILE* in, int& value) {
    char word[8] = {};
    char number[32] = {};
    int v = 0;
    if (std::fscanf(in, "%5s %31s\n", word, number) != 2) return false;
    if (parse_int_token(number, v) != number_status::ok) return false;
    value = v;
    return true;
}

enum class int_read { ok, end_of_file, not_integer };

// Next whitespace-separated token of an integer map as a whole number. The
// token is taken as "%Ns" of scanf takes it (read_stream_token), character by
// character from the stream's buffer: scanf spent most of a large map's
// reading time parsing its format for every value. The caller holds the
// stream's lock (flockfile).
int_read next_map_int(FILE* in, int& value, char* token, int token_size) {
    const int length = read_stream_token(in, token, token_size);
    if (length < 0) return int_read::end_of_file;

    // Up to 9 digits after an optional minus sign cannot leave the int range:
    // summed directly. Any other token goes through strtol.
    const int first = token[0] == '-' ? 1 : 0;
    if (length > first && length - first <= 9) {
        int v = 0;
        int k = first;
        while (k < length && token[k] >= '0' && token[k] <= '9') v = 10 * v + (token[k++] - '0');
        if (k == length) {
            value = first == 1 ? -v : v;
            return int_read::ok;
        }
    }
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(token, &end, 10);
    if (end == token || *end != '\0' || errno == ERANGE || v < INT_MIN || v > INT_MAX) {
        return int_read::not_integer;
    }
    value = static_cast<int>(v);
    return int_read::ok;
}

// Separators of a real map row, as the shared token readers have them: blank,
// tab, comma and newline (a carriage return is not one).
inline bool is_row_sep(char c) { return c == ' ' || c == '\t' || c == ',' || c == '\n'; }

// The next value of a real map row at `cursor`, which moves past it and the
// separators after it. Takes and checks tokens exactly as next_word_at and
// parse_real_token do (a carriage return may end the token), but parses plain
// tokens where they stand instead of copying each one out first. Returns
// `missing` when the row holds no more tokens; for any status but ok and
// missing, `token` receives the token's text (cut to kTokenSize - 1
// characters) for the message.
number_status next_row_real(char*& cursor, double& value, char* token) {
    value = 0.0;
    char* p = cursor;
    while (is_row_sep(*p)) ++p;
    cursor = p;
    if (*p == '\0') return number_status::missing;
    if (*p == '"') {
        // Quoted tokens: the shared reader's rules (the quotes become blanks).
        if (!next_word_at(cursor, token)) return number_status::missing;
        return parse_real_token(token, value);
    }
    char* const start = p;
    while (*p != '\0' && !is_row_sep(*p)) ++p;
    char* const stop = p;   // one past the token's last character
    while (is_row_sep(*p)) ++p;
    cursor = p;
    const size_t length = static_cast<size_t>(stop - start);
    auto copy_out = [&] {
        const size_t n = length < static_cast<size_t>(kTokenSize - 1) ? length : kTokenSize - 1;
        std::memcpy(token, start, n);
        token[n] = '\0';
    };
    if (length > static_cast<size_t>(kTokenSize - 1)) {
        // Only the first kTokenSize - 1 characters count, as for a copied token.
        copy_out();
        return parse_real_token(token, value);
    }

    // Plain decimals: from_chars rounds correctly like strtod and is faster.
    double v = 0.0;
    const std::from_chars_result fast = std::from_chars(start, stop, v);
    if (fast.ec == std::errc() && fast.ptr == stop) {
        if (!std::isfinite(v)) {
            copy_out();
            return number_status::not_finite;
        }
        value = v;
        return number_status::ok;
    }
    // Everything else (a plus sign, hexadecimal, a value beyond the double
    // range, a carriage return at the end, words): strtod where the token
    // stands. The character after the token is a separator or the end of the
    // row, which no number continues into.
    char* end = nullptr;
    errno = 0;
    v = std::strtod(start, &end);
    const bool whole = end != start && (end == stop || (end + 1 == stop && *end == '\r'));
    if (!whole) {
        copy_out();
        return number_status::not_number;
    }
    if (!std::isfinite(v)) {
        copy_out();
        return number_status::not_finite;
    }
    value = v;
    return number_status::ok;
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

bool read_map_file(file_object& f, const char* path, int map_kind, double& north, double& south,
                   double& east, double& west, int& rows, int& cols, int** grid,
                   std::vector<double>* first_reals, std::vector<double>* second_reals,
                   std::vector<int>* ids, int expected_rows, int expected_cols) {
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

    // 1. Header: six positional lines; the words are ignored. A NaN or
    // infinite edge would give every cell a size and centre that is no number.
    const char* const edge_names[4] = {"north", "south", "east", "west"};
    double* const edges[4] = {&north, &south, &east, &west};
    const char* const edge_formats[4] = {"%6s %lf\n", "%6s %lf\n", "%5s %lf\n", "%5s %lf\n"};
    for (int k = 0; k < 4; ++k) {
        if (read_header_real(in, edge_formats[k], *edges[k]) && !std::isfinite(*edges[k])) {
            std::printf("Error: the %s edge on header line %d of map %s is not finite.\n",
                        edge_names[k], k + 1, shown(path));
            fail_printed();
            return false;
        }
    }
    const bool rows_read = read_header_int(in, rows);
    const bool cols_read = read_header_int(in, cols);
    if (!rows_read || !cols_read || rows < 1 || cols < 1) {
        report_unreadable_map_header(in, path);
        return false;
    }

    // 2. Size against the run's grid; nothing is read on a mismatch.
    if (rows != expected_rows || cols != expected_cols) {
        if (rows != expected_rows && cols != expected_cols) {
            std::printf("Incorrect number of rows and columns in map: %s\n", shown(path));
        } else if (rows != expected_rows) {
            std::printf("Incorrect number of rows in map: %s\n", shown(path));
        } else {
            std::printf("Incorrect number of columns in map: %s\n", shown(path));
        }
        fail_printed();
        return false;
    }

    bool nonzero = false;   // some value of the map is not exactly 0
    int zero_cells = 0;     // mask cells holding exactly 0 (kinds 1 and 3)
    int slot = 0;           // last per-cell slot written

    if (map_kind == kMapCellReals || map_kind == kMapSecondReals) {
        // 3. One text line per grid row; values by the token rules of next_double.
        text_line line;
        char token[kTokenSize];   // text of a refused value, for its message
        for (int i = 1; i <= rows; ++i) {
            if (std::feof(in) || !read_line(line, f)) {
                std::printf("Unexpected end of file in file: %s\n", shown(path));
                fail_printed();
                return false;
            }
            char* cursor = line;   // walks the row once, however long it is
            int missing = 0;   // values the row lacks (taken as 0)
            for (int j = 1; j <= cols; ++j) {
                double value = 0.0;
                // NaN and infinite values are refused like words: no kernel can use them.
                const number_status status = next_row_real(cursor, value, token);
                if (status == number_status::missing) {
                    ++missing;
                } else if (status != number_status::ok) {
                    std::printf("Error: the value \"%s\" in row %d, column %d of map %s %s.\n",
                                token, i, j, shown(path), number_status_words(status));
                    fail_printed();
                    return false;
                }
                if (value != 0.0) nonzero = true;
                if (grid == nullptr || grid[i][j] == 0) continue;
                if (!store_cell(*reals, slot, value)) {
                    print_too_many_cells(path, reals->size());
                    fail_printed();
                    return false;
                }
                if (value == 0.0) ++zero_cells;
            }
            char extra[kTokenSize];
            if (next_word_at(cursor, extra)) {
                std::printf("Error: row %d of map %s holds more than %d values (\"%s\" follows "
                            "the last column).\n",
                            i, shown(path), cols, extra);
                fail_printed();
                return false;
            }
            if (missing > 0) {
                std::printf("Warning: row %d of map %s holds %d values for %d columns; the "
                            "missing values are taken as 0.\n",
                            i, shown(path), cols - missing, cols);
            }
        }
    } else {
        // 4 and 5. Whole numbers separated by any white space.
        if (map_kind == kMapCellIds) {
            for (int& c : g_category_counts) c = 0;
        }
        char token[256];
        stream_lock lock(in);   // next_map_int reads the stream unlocked
        for (int i = 1; i <= rows; ++i) {
            for (int j = 1; j <= cols; ++j) {
                int value = 0;
                const int_read r = next_map_int(in, value, token, static_cast<int>(sizeof token));
                if (r == int_read::end_of_file) {
                    std::printf("Unexpected end of file in file: %s\n", shown(path));
                    fail_printed();
                    return false;
                }
                if (r == int_read::not_integer) {
                    std::printf("Error: the value \"%s\" in row %d, column %d of map %s is not a "
                                "whole number\n",
                                token, i, j, shown(path));
                    fail_printed();
                    return false;
                }
                if (value != 0) nonzero = true;
                if (map_kind == kMapGridInts) {
                    if (grid != nullptr) grid[i][j] = value;
                    continue;
                }
                if (grid == nullptr || grid[i][j] == 0) continue;
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

void report_unreadable_map_header(FILE* in, const char* path) {
    // The header words of an ESRI ASCII grid (the first is ncols or nrows).
    static const char* const kEsriWords[] = {"ncols",     "nrows",     "xllcorner", "xllcenter",
                                             "yllcorner", "yllcenter", "cellsize",  "nodata_value"};
    char word[kTokenSize] = {};
    if (in != nullptr && std::fseek(in, 0, SEEK_SET) == 0) {
        char format[16];
        std::snprintf(format, sizeof format, "%%%ds", kTokenSize - 1);
        if (std::fscanf(in, format, word) != 1) word[0] = '\0';
    }
    bool esri = false;
    for (const char* w : kEsriWords) esri = esri || strcasecmp(word, w) == 0;
    set_error(esri ? 354 : 355, word, shown(path));
    report_error(error_record);
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
