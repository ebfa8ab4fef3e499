// Small run states for the soil and infiltration tests: a grid whose cells
// are all inside the watershed, with the per-cell arrays of the Green-Ampt
// method sized and filled by hand.
#pragma once
#include <cstring>
#include <memory>
#include <omp.h>
#include <vector>

#include "core/alloc.h"
#include "core/error.h"
#include "run/run_state.h"

struct run_state_deleter {
    void operator()(run_state* rs) const { destroy_run_state(rs); }
};
using run_state_ptr = std::unique_ptr<run_state, run_state_deleter>;

// Runs the parallel loops of a test on one thread: tests that make thousands
// of one-cell updates would otherwise mostly measure thread start-up.
struct single_thread {
    int saved = omp_get_max_threads();
    single_thread() { omp_set_num_threads(1); }
    ~single_thread() { omp_set_num_threads(saved); }
};

inline void clear_error_record() {
    error_record.code = 0;
    error_record.stop = 0;
    error_record.number1 = 0;
    error_record.number2 = 0;
    error_record.what[0] = '\0';
    error_record.file_name[0] = '\0';
}

// A run state of rows x cols active cells numbered row by row, cells of
// `cell_size` metres; every per-cell array of the plain Green-Ampt method
// sized GNUM + 1 and zero.
inline run_state_ptr make_grid_state(int rows, int cols, double cell_size = 30.0) {
    clear_error_record();
    run_state_ptr rs(create_run_state());
    rs->rows = rows;
    rs->cols = cols;
    rs->mask_rows = rows;
    rs->mask_cols = cols;
    rs->cell_size = cell_size;
    rs->GNUM = rows * cols;
    alloc_int_2d(rs->mask, rows + 1, cols + 1, "mask");
    int k = 0;
    for (int r = 1; r <= rows; ++r) {
        for (int c = 1; c <= cols; ++c) rs->mask[r][c] = ++k;
    }
    const size_t n = static_cast<size_t>(rs->GNUM) + 1;
    for (std::vector<double>* v : {&rs->ov_depth, &rs->ksat, &rs->cap_drive, &rs->phi, &rs->thi,
                                   &rs->cum_infil, &rs->cum_infil_prev, &rs->elevation}) {
        v->assign(n, 0.0);
    }
    rs->yes_exfil.assign(n, 0);
    return rs;
}

// Gives every cell of a Green-Ampt state the same soil.
inline void set_uniform_soil(run_state& rs, double ksat_m_per_s, double cap_drive_m, double phi,
                             double thi) {
    rs.green_ampt = 1;
    rs.conductivity = rs.capillary = rs.porosity = 1;
    for (int i = 1; i <= rs.GNUM; ++i) {
        rs.ksat[i] = ksat_m_per_s;
        rs.cap_drive[i] = cap_drive_m;
        rs.phi[i] = phi;
        rs.thi[i] = thi;
    }
}
