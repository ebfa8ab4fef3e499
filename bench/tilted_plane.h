// The synthetic watershed of the overland benchmarks: a run state for a full
// rectangle of rows x cols cells of 10 m whose bed falls 0.5 % to the east
// and 1 % to the south, dry, Manning n 0.05 (one value for every cell, as the
// MANNING_N card gives it), no retention, explicit scheme,
// quiet. The caller sets the outlet (or turns it off) and the water.
#pragma once
#include <cstddef>
#include <vector>

#include "core/alloc.h"
#include "overland/connectivity.h"
#include "run/run_state.h"

inline run_state* make_tilted_plane(int rows, int cols) {
    run_state* rs = create_run_state();
    rs->rows = rows;
    rs->cols = cols;
    rs->cell_size = 10.0;   // m
    alloc_int_2d(rs->mask, rows + 1, cols + 1, "mask");
    int n = 0;
    for (int r = 1; r <= rows; ++r)
        for (int c = 1; c <= cols; ++c) rs->mask[r][c] = ++n;
    rs->GNUM = n;
    const size_t size = static_cast<size_t>(n) + 1;
    for (std::vector<double>* a : {&rs->ov_depth, &rs->ov_qx, &rs->ov_qy, &rs->ov_slope_x,
                                   &rs->ov_slope_y, &rs->retent_dep, &rs->elevation})
        a->assign(size, 0.0);
    rs->dist_rough.assign(size, 0.05);
    rs->rough_all = 0.05;       // one n and no retention, as the loader marks a MANNING_N card
    rs->retention_all = 0.0;
    for (std::vector<int>* a : {&rs->rightcon, &rs->belowcon, &rs->leftcon, &rs->abovecon})
        a->assign(size, 0);
    fill_neighbour_arrays(rows, cols, rs->rightcon, rs->belowcon, rs->leftcon, rs->abovecon,
                          rs->mask);
    // Ground elevation, m.
    for (int r = 1; r <= rows; ++r)
        for (int c = 1; c <= cols; ++c)
            rs->elevation[static_cast<size_t>(rs->mask[r][c])] =
                500.0 - 0.005 * rs->cell_size * c - 0.01 * rs->cell_size * r;
    compute_cell_slopes(*rs);
    rs->overtype = 1;
    rs->quiet = 1;
    return rs;
}
