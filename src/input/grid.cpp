// Watershed mask, cell numbering, cell positions, "maskmap" and the
// elevation map with the outlet cell.
#include "input/grid.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>

#include "core/alloc.h"
#include "core/error.h"
#include "core/file_object.h"
#include "core/file_write.h"
#include "core/parallel.h"
#include "core/partition.h"
#include "core/run_options.h"
#include "run/run_state.h"
#include "input/map_reader.h"

namespace {

// The map file handed over by open_run_files, or, when it is not open (a
// reader called on its own), the file opened here by its name. False with
// code 4 and the stop flag set when it cannot be opened.
bool ensure_open(file_object& f, const char* name, const char* what) {
    if (f.is_open()) return true;
    if (open_file_named(f, name, "r")) return true;
    set_error(4, what, name);
    error_record.stop = 1;
    return false;
}

// Integer part (toward zero) of 10 x (size + 0.001); false for a size that
// cannot be represented (not finite or far outside any grid).
bool tenths(double size, long long& out) {
    const double v = 10.0 * (size + 0.001);
    if (!std::isfinite(v) || std::fabs(v) > 1e15) return false;
    out = static_cast<long long>(v);   // truncation toward zero
    return true;
}

// A refusal: printed whatever the quiet cards say.
void print_size_mismatch(const run_state& rs, double map_size, bool north_south) {
    std::printf("\nThe grid size specified in the project file: %7.4f m differs from\n",
                rs.cell_size);
    if (north_south) {
        std::printf("the north-south dimension of the raster grid cells %7.4f m as calculated\n",
                    map_size);
    } else {
        std::printf("the east-west dimension of the raster grid cells %7.4f m as calculated\n",
                    map_size);
    }
    std::printf("from the WATERSHED_MASK header.  Check your data to make sure they agree.\n");
    std::printf("PLUVO terminating.\n\n");
}

// Writes the numbered mask as a grid map named "maskmap"; a file that cannot
// be opened is reported and the run goes on.
void write_mask_map(const run_state& rs) {
    file_object out;
    if (!open_file_named(out, "maskmap", "w")) {
        std::printf("Error: unable to open mask map file for writing\n");
        return;
    }
    std::fprintf(out.handle, "north: %9.2lf\n", rs.map_north);
    std::fprintf(out.handle, "south: %9.2lf\n", rs.map_south);
    std::fprintf(out.handle, "east: %9.2lf\n", rs.map_east);
    std::fprintf(out.handle, "west: %9.2lf\n", rs.map_west);
    std::fprintf(out.handle, "rows: %5d\n", rs.map_rows);
    std::fprintf(out.handle, "cols: %5d\n", rs.map_cols);
    // Each row "%d " per cell and a newline, formatted into one buffer and
    // written at once (a call of fprintf per cell took a third of a second on
    // a grid of 4 million cells).
    std::string row;
    for (int i = 1; i <= rs.map_rows; ++i) {
        row.clear();
        for (int j = 1; j <= rs.map_cols; ++j) {
            char text[16];
            const std::to_chars_result r = std::to_chars(text, text + sizeof text, rs.mask[i][j]);
            row.append(text, r.ptr);
            row.push_back(' ');
        }
        row.push_back('\n');
        std::fwrite(row.data(), 1, row.size(), out.handle);
    }
    close_file_object(out);
}

// Warns (codes 356 and 357) when the mask holds values other than 0 and 1:
// every value other than 0 marks a watershed cell, so a no-data value such as
// -9999 outside the watershed makes the whole rectangle the watershed. Names
// each such value with its cell count, in ascending order of value, the
// first kMaskValuesNamed of them; the rest in one line.
void warn_other_mask_values(const run_state& rs) {
    constexpr size_t kMaskValuesNamed = 8;
    std::map<int, int> counts;   // value -> cells
    int last = 1;                // the value counted last, and its entry
    int* last_count = nullptr;
    for (int i = 1; i <= rs.rows; ++i) {
        for (int j = 1; j <= rs.cols; ++j) {
            const int v = rs.mask[i][j];
            if (v == 0 || v == 1) continue;
            if (last_count == nullptr || v != last) {
                last = v;
                last_count = &counts[v];
            }
            ++*last_count;
        }
    }
    size_t named = 0;
    long long further_cells = 0;
    for (const auto& value : counts) {
        if (named < kMaskValuesNamed) {
            set_error(356, nullptr, rs.files.watershed_mask);
            set_error_numbers(356, value.first, value.second);
            report_error(error_record);
            ++named;
        } else {
            further_cells += value.second;
        }
    }
    if (counts.size() > named) {
        set_error(357, nullptr, rs.files.watershed_mask);
        set_error_numbers(357, static_cast<int>(counts.size() - named),
                          static_cast<int>(further_cells));
        report_error(error_record);
    }
}

}  // namespace

void alloc_mask_grids(run_state& rs) {
    // The numbered mask only: no step reads an integer work grid of its shape,
    // which would cost 4 bytes per grid cell.
    if (rs.mask == nullptr) alloc_int_2d(rs.mask, rs.mask_rows + 1, rs.mask_cols + 1, "mask");
}

bool cell_sizes_agree(double project_size, double map_size) {
    long long a = 0;
    long long b = 0;
    if (!tenths(project_size, a) || !tenths(map_size, b)) return false;
    return a == b;
}

void read_watershed_mask(run_state& rs) {
    rs.map_kind = kMapGridInts;
    print_reading_line(rs, "reading watershed mask from file: %s\n", rs.files.watershed_mask);
    if (!ensure_open(rs.watershed_mask_file, rs.files.watershed_mask, "watershed mask")) return;

    // The grid is read only when it matches the run's rows and columns, so a
    // mask allocated for mask_rows x mask_cols must be at least that large.
    // It is allocated only for a map whose header is the run's grid and
    // whose body can hold that many values.
    if (!map_file_fits(rs.watershed_mask_file, rs.files.watershed_mask, rs.rows, rs.cols)) {
        close_file_object(rs.watershed_mask_file);
        return;
    }
    alloc_mask_grids(rs);
    if (rs.mask == nullptr || rs.mask_rows < rs.rows || rs.mask_cols < rs.cols) {
        close_file_object(rs.watershed_mask_file);
        std::printf("Error: no grid of %d rows and %d columns for the watershed mask %s\n",
                    rs.rows, rs.cols, rs.files.watershed_mask);
        error_record.code = kErrorPrinted;
        report_error(error_record);
        return;
    }
    const bool read = read_map_file(rs.watershed_mask_file, rs.files.watershed_mask, kMapGridInts,
                                    rs.map_north, rs.map_south, rs.map_east, rs.map_west,
                                    rs.map_rows, rs.map_cols, rs.mask, nullptr, nullptr, nullptr,
                                    rs.rows, rs.cols);
    close_file_object(rs.watershed_mask_file);
    // A failed read (message printed, stop flag raised) may leave a header
    // larger than the grid behind: nothing below may walk it.
    if (!read) return;

    // Cell size: the project's against the header's row height and column width.
    const double height = (rs.map_north - rs.map_south) / rs.map_rows;
    const double width = (rs.map_east - rs.map_west) / rs.map_cols;
    const bool rows_agree = cell_sizes_agree(rs.cell_size, height);
    if (!rows_agree || !cell_sizes_agree(rs.cell_size, width)) {
        print_size_mismatch(rs, rows_agree ? width : height, !rows_agree);
        error_record.code = kErrorPrinted;
        report_error(error_record);
        return;
    }

    warn_other_mask_values(rs);

    // Numbering row by row; the border of the grid is 0 and is not walked.
    rs.GNUM = 0;
    for (int i = 1; i <= rs.rows; ++i) {
        for (int j = 1; j <= rs.cols; ++j) {
            if (rs.mask[i][j] != 0) rs.mask[i][j] = ++rs.GNUM;
        }
    }
    // The positions are filled when a step asks for them.
    rs.cell_row.release();
    rs.cell_col.release();
    rs.cell_x.release();
    rs.cell_y.release();
    rs.mask_west = rs.map_west;
    rs.mask_north = rs.map_north;
    rs.mask_column_width = width;
    rs.mask_row_height = height;
    if (run_options.part_count >= 2) partition_mask(rs.mask, rs.rows, rs.cols, rs.GNUM);
    write_mask_map(rs);

    if (console_lines_on(rs)) std::printf("number of grid cells in watershed: %d\n", rs.GNUM);
    file_printf(rs.summary_file, "number of grid cells in watershed: %d\n", rs.GNUM);
    rs.watershed_area = rs.cell_size * rs.cell_size * rs.GNUM;
}

void fill_cell_rows(run_state& rs) {
    if (rs.GNUM < 1 || rs.mask == nullptr) return;
    if (rs.cell_row.size >= rs.GNUM && rs.cell_col.size >= rs.GNUM) return;
    rs.cell_row.release();
    rs.cell_col.release();
    rs.cell_row.set_name("cell_row");
    rs.cell_col.set_name("cell_col");
    rs.cell_row.grow(rs.GNUM);
    rs.cell_col.grow(rs.GNUM);
    int* row = rs.cell_row.data;
    int* col = rs.cell_col.data;
    if (row == nullptr || col == nullptr) return;
#pragma omp parallel for schedule(static) if (rs.GNUM >= kParallelCells)
    for (int i = 1; i <= rs.rows; ++i) {
        for (int j = 1; j <= rs.cols; ++j) {
            const int k = rs.mask[i][j];
            if (k == 0) continue;
            row[k] = i;
            col[k] = j;
        }
    }
}

void fill_cell_centres(run_state& rs) {
    if (rs.GNUM < 1 || rs.mask == nullptr) return;
    if (rs.cell_x.size >= rs.GNUM && rs.cell_y.size >= rs.GNUM) return;
    rs.cell_x.release();
    rs.cell_y.release();
    rs.cell_x.set_name("cell_x");
    rs.cell_y.set_name("cell_y");
    rs.cell_x.grow(rs.GNUM);
    rs.cell_y.grow(rs.GNUM);
    double* x = rs.cell_x.data;
    double* y = rs.cell_y.data;
    if (x == nullptr || y == nullptr) return;
    const double west = rs.mask_west;          // m
    const double north = rs.mask_north;        // m
    const double width = rs.mask_column_width;  // m
    const double height = rs.mask_row_height;   // m
#pragma omp parallel for schedule(static) if (rs.GNUM >= kParallelCells)
    for (int i = 1; i <= rs.rows; ++i) {
        for (int j = 1; j <= rs.cols; ++j) {
            const int k = rs.mask[i][j];
            if (k == 0) continue;
            x[k] = west + (j - 0.5) * width;
            y[k] = north - (i - 0.5) * height;
        }
    }
}

void read_elevation_map(run_state& rs) {
    // A run stopped by the mask step (cell size, map size) reads no more maps.
    if (error_record.stop) {
        close_file_object(rs.elevation_file);
        return;
    }
    rs.map_kind = kMapCellReals;
    print_reading_line(rs, "reading elevation map from file: %s\n", rs.files.elevation);
    if (!ensure_open(rs.elevation_file, rs.files.elevation, "elevation data")) return;

    // Sized from the numbering; an empty watershed has no per-cell slot.
    const size_t slots = rs.GNUM > 0 ? static_cast<size_t>(rs.GNUM) + 1 : 0;
    if (rs.elevation.size() != slots) rs.elevation.assign(slots, 0.0);
    // Ground elevations, m: from the deepest trench to the highest summit
    // (a value like 1e308 would overflow every level and slope).
    static const number_field kElevation{"elevation", closed_range(-11000.0, 9000.0)};
    const bool read = read_map_file(rs.elevation_file, rs.files.elevation, kMapCellReals,
                                    rs.map_north, rs.map_south, rs.map_east, rs.map_west,
                                    rs.map_rows, rs.map_cols, rs.mask, &rs.elevation, nullptr,
                                    nullptr, rs.rows, rs.cols, &kElevation);
    close_file_object(rs.elevation_file);
    if (!read) return;

    // Outlet: the mask value at (outrow, outcol), 0 outside the grid.
    rs.outlet_cell = 0;
    if (rs.outrow >= 1 && rs.outrow <= rs.map_rows && rs.outrow <= rs.rows && rs.outcol >= 1 &&
        rs.outcol <= rs.map_cols && rs.outcol <= rs.cols) {
        rs.outlet_cell = rs.mask[rs.outrow][rs.outcol];
    }
    if (rs.outlet_cell == 0 && !rs.chan_explic) {
        std::printf("\nThe outlet row and column you specified in the project file are not\n");
        std::printf("inside the watershed mask.  Check the outlet row and column again, and\n");
        std::printf("make sure they are correctly specified in the project file using the\n");
        std::printf("OUTROW and OUTCOL project file cards.  PLUVO terminating.\n\n");
        error_record.code = kErrorPrinted;
        report_error(error_record);
        return;
    }
    if (console_lines_on(rs)) std::printf("outlet is in grid cell: %d\n", rs.outlet_cell);
    file_printf(rs.summary_file, "outlet is in grid cell: %d\n", rs.outlet_cell);
}

bool cell_number_at(int** mask, int rows, int cols, const std::vector<int>& row_list,
                    const std::vector<int>& col_list, std::vector<int>& cell_list, int index) {
    if (mask == nullptr || index < 0 || index >= static_cast<int>(row_list.size()) ||
        index >= static_cast<int>(col_list.size()) || index >= static_cast<int>(cell_list.size())) {
        return false;
    }
    const int row = row_list[static_cast<size_t>(index)];
    const int col = col_list[static_cast<size_t>(index)];
    if (row < 1 || row > rows || col < 1 || col > cols || mask[row][col] == 0) return false;
    // The cell number is the count of mask cells up to this one in numbering order.
    int count = 0;
    for (int i = 1; i <= rows; ++i) {
        for (int j = 1; j <= cols; ++j) {
            if (mask[i][j] == 0) continue;
            ++count;
            if (i == row && j == col) {
                cell_list[static_cast<size_t>(index)] = count;
                std::printf("%d  %d   %d \n", row, col, count);
                return true;
            }
        }
    }
    return false;
}
