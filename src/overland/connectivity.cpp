#include "overland/connectivity.h"

#include <cstdio>

#include "core/error.h"
#include "core/run_options.h"
#include "run/run_state.h"

namespace {

// Side words of the messages, by side code 1, 2, 4, 8.
const char* side_word(int side) {
    switch (side) {
        case 2: return "right";
        case 4: return "bottom";
        case 8: return "left";
        default: return "top";
    }
}

int opposite_side(int side) {
    switch (side) {
        case 1: return 4;
        case 2: return 8;
        case 4: return 1;
        default: return 2;
    }
}

void print_dike_side_line(int side) {
    switch (side) {
        case 2: std::printf("Dike / low spot on right side of cell\n"); break;
        case 4: std::printf("Dike / low spot on bottom side of cell\n"); break;
        case 8: std::printf("Dike / low spot on left side of cell\n"); break;
        default: std::printf("Dike / low spot on top side of cell\n"); break;
    }
}

void print_along_dike_lines(int side) {
    switch (side) {
        case 1:
            std::printf("at this low spot across the top boundary of the cell, while the dike\n");
            std::printf("is running in a different direction than along the top of the cell.\n");
            break;
        case 2:
            std::printf("at this low spot across the right boundary of the cell, while the dike\n");
            std::printf("is running in a different direction than along the right side of the "
                        "cell.\n");
            break;
        case 4:
            std::printf("at this low spot across the bottom boundary of the cell, while the dike\n");
            std::printf("is running in a different direction than along the bottom of the cell.\n");
            break;
        default:
            std::printf("at this low spot across the left boundary of the cell, while the dike\n");
            std::printf("is running in a different direction than along the left side of the "
                        "cell.\n");
            break;
    }
}

// Value of a per-cell int array, 0 for a cell the array does not hold.
int cell_value(const std::vector<int>& v, int cell) {
    return (cell > 0 && cell < static_cast<int>(v.size())) ? v[static_cast<size_t>(cell)] : 0;
}

// Checks one low spot; false (message printed) on the first failed test.
bool check_lowspot(run_state& rs, low_spot& s) {
    s.discharge = 0.0;

    // The spot must name a watershed cell: the position indexes the mask grid.
    int c = 0;
    if (s.row >= 1 && s.row <= rs.rows && s.col >= 1 && s.col <= rs.cols && rs.mask != nullptr)
        c = rs.mask[s.row][s.col];
    if (c < 1 || c > rs.GNUM) {
        std::printf("\nThe low spot specified in row %d col %d on line %d of the file %s\n", s.row,
                    s.col, s.line, rs.files.lowspot_file);
        std::printf("does not lie on a grid cell inside the watershed.  Program terminated.\n");
        return false;
    }
    if (s.width_fraction < 0.0 || s.width_fraction > 1.5 || s.width_fraction != s.width_fraction) {
        std::printf("\nThe fraction of the grid-size specified for the lowspot in the grid at\n");
        std::printf("row %d col %d is unreasonable, with a value of %f.  Acceptable\n", s.row,
                    s.col, s.width_fraction);
        std::printf(" values range from 0.0 to 1.5.  Change the value.  Program terminated.\n");
        return false;
    }
    int side = s.direction;
    if (side != 1 && side != 2 && side != 4 && side != 8) {
        std::printf("\nThe low spot flow direction specified in row %d col %d in the file %s\n",
                    s.row, s.col, rs.files.lowspot_file);
        std::printf("is not valid.  The only possible directions are: 1- top boundary, 2- right\n");
        std::printf("boundary, 4- bottom boundary, or 8- left boundary.\n");
        std::printf("Edit your lowspot file and try again.  Program terminated.\n");
        return false;
    }
    int o = 0;
    switch (side) {
        case 1: o = cell_value(rs.abovecon, c); break;
        case 2: o = cell_value(rs.rightcon, c); break;
        case 4: o = cell_value(rs.belowcon, c); break;
        default: o = cell_value(rs.leftcon, c); break;
    }
    if (!rs.dike_map && o == 0) {
        // Without dikes the spot must still join two watershed cells.
        std::printf("\nYou have specified a low spot on the %s boundary of the grid\n",
                    side_word(side));
        std::printf("cell at row %d col %d on line %d of the file %s, but the cell on the other\n",
                    s.row, s.col, s.line, rs.files.lowspot_file);
        std::printf("side is out of the watershed.  Check your low spot file.  Program terminated.\n");
        return false;
    }
    if (rs.dike_map && cell_value(rs.dike_mask, c) == 0) {
        std::printf("\nYou have specified an overland flow dike in row %d col %d\n", s.row, s.col);
        std::printf("There is no dike adjacent to this grid cell.  Program stopped.\n");
        return false;
    }
    if (rs.dike_map && (o == 0 || cell_value(rs.dike_mask, o) == 0)) {
        std::printf("\nYou have specified a low spot on the %s boundary of the grid\n",
                    side_word(side));
        std::printf("cell at row %d col %d.  Either the side you have specified is not on\n",
                    s.row, s.col);
        std::printf("an overland flow dike, or the cell on the other side is out of the\n");
        std::printf("watershed.  Check your low spot file.  Program terminated.\n");
        return false;
    }
    double zc = rs.elevation[static_cast<size_t>(c)];
    double zo = rs.elevation[static_cast<size_t>(o)];
    if (s.crest < zc) {
        std::printf("\nThe elevation of the overland flow dike low spot you specified in the "
                    "grid\n");
        std::printf("cell located at row %d col %d is %f m.  This elevation is lower than the\n",
                    s.row, s.col, s.crest);
        std::printf("elevation of the grid cell, which is %f m.  This situation is impossible.\n",
                    zc);
        std::printf("Please raise the low spot elevation to be greater than the grid cell "
                    "elevation.\n");
        print_dike_side_line(side);
        std::printf("Program terminated\n");
        return false;
    }
    if (s.crest < zo) {
        std::printf("\nThe elevation of the overland flow dike low spot you specified in the "
                    "grid\n");
        std::printf("cell located at row %d col %d is %f m.  This elevation is lower than the\n",
                    s.row, s.col, s.crest);
        std::printf("elevation of the grid cell on the other side of the dike, which is %f m.\n",
                    zo);
        std::printf("This situation is impossible.  Please raise the low spot elevation to be\n");
        std::printf("greater than the grid cell elevation.\n");
        print_dike_side_line(side);
        std::printf("Program terminated\n");
        return false;
    }
    if (rs.dike_map && (cell_value(rs.dike_mask, o) & opposite_side(side)) == 0) {
        std::printf("\nThe low spot you have specified in the grid at row %d  col %d does not\n",
                    s.row, s.col);
        std::printf("cross the dike.  Rather, it runs _along_ the dike.  You specified flow\n");
        print_along_dike_lines(side);
        std::printf("Program terminated.\n");
        return false;
    }
    return true;
}

}  // namespace

void fill_neighbour_arrays(int rows, int cols, std::vector<int>& rightcon,
                           std::vector<int>& belowcon, std::vector<int>& leftcon,
                           std::vector<int>& abovecon, int** mask) {
    if (mask == nullptr) return;
    // Count the cells first so that no array is written beyond its end.
    int cells = 0;
    for (int r = 1; r <= rows; ++r)
        for (int c = 1; c <= cols; ++c)
            if (mask[r][c] != 0) ++cells;
    for (std::vector<int>* v : {&rightcon, &belowcon, &leftcon, &abovecon}) {
        if (static_cast<int>(v->size()) < cells + 1) v->resize(static_cast<size_t>(cells) + 1, 0);
    }
    size_t i = 1;
    for (int r = 1; r <= rows; ++r) {
        for (int c = 1; c <= cols; ++c) {
            if (mask[r][c] == 0) continue;
            rightcon[i] = (c < cols) ? mask[r][c + 1] : 0;
            leftcon[i] = (c > 1) ? mask[r][c - 1] : 0;
            belowcon[i] = (r < rows) ? mask[r + 1][c] : 0;
            abovecon[i] = (r > 1) ? mask[r - 1][c] : 0;
            ++i;
        }
    }
}

void build_cell_connectivity(run_state& rs) {
    if (!rs.quiet && run_options.process_index == 0)
        std::printf("building cell to cell connectivity information\n");
    fill_neighbour_arrays(rs.rows, rs.cols, rs.rightcon, rs.belowcon, rs.leftcon, rs.abovecon,
                          rs.mask);

    // Low spots are checked with or without a dike map: a spot off the grid or
    // with a bad direction would otherwise index outside the mask.
    if (!rs.lowspot_file || rs.num_lowspots < 1) return;
    int n = rs.num_lowspots;
    const int held = static_cast<int>(rs.lowspot_records.size()) - 1;
    if (n > held) n = held;   // never past the records that exist
    for (int k = 1; k <= n; ++k) {
        if (!check_lowspot(rs, rs.lowspot_records[static_cast<size_t>(k)])) {
            error_record.code = kErrorPrinted;
            report_error(error_record);
            return;
        }
    }
}

void compute_cell_slopes(run_state& rs) {
    const int n = rs.GNUM;
    if (n < 1) return;
    const size_t size = static_cast<size_t>(n) + 1;
    if (rs.ov_slope_x.size() < size) rs.ov_slope_x.resize(size, 0.0);
    if (rs.ov_slope_y.size() < size) rs.ov_slope_y.resize(size, 0.0);
    if (rs.rightcon.size() < size || rs.belowcon.size() < size || rs.elevation.size() < size)
        return;   // no neighbours or elevations: the slopes stay 0
    const double dx = rs.cell_size;
    std::vector<double>& sx = rs.ov_slope_x;
    std::vector<double>& sy = rs.ov_slope_y;
    const std::vector<double>& z = rs.elevation;

    sx[0] = 0.0;
    for (size_t i = 1; i < size; ++i) {
        int r = rs.rightcon[i];
        sx[i] = (r != 0) ? (z[i] - z[static_cast<size_t>(r)]) / dx : sx[i - 1];
    }
    for (size_t i = 0; i < size; ++i) sy[i] = 0.0;
    for (size_t i = 1; i < size; ++i) {
        int b = rs.belowcon[i];
        if (b == 0) continue;
        size_t bb = static_cast<size_t>(b);
        sy[i] = (z[i] - z[bb]) / dx;
        if (rs.belowcon[bb] == 0) sy[bb] = sy[i];
    }
}
