// A hand-built watershed for the overland tests: a run state with the mask,
// the cell numbering and the per-cell arrays of the overland routines, built
// from rows of '1' (watershed cell) and '0' (outside).
#pragma once
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "core/alloc.h"
#include "core/error.h"
#include "run/run_state.h"
#include "overland/connectivity.h"

struct overland_grid {
    run_state* rs = nullptr;

    overland_grid(const std::vector<std::string>& rows, double cell_size) {
        error_record = error_info{};
        rs = create_run_state();
        rs->rows = static_cast<int>(rows.size());
        rs->cols = rows.empty() ? 0 : static_cast<int>(rows[0].size());
        rs->cell_size = cell_size;
        alloc_int_2d(rs->mask, rs->rows + 1, rs->cols + 1, "mask");
        int n = 0;
        for (int r = 1; r <= rs->rows; ++r)
            for (int c = 1; c <= rs->cols; ++c)
                if (rows[static_cast<size_t>(r - 1)][static_cast<size_t>(c - 1)] == '1')
                    rs->mask[r][c] = ++n;
        rs->GNUM = n;
        const size_t size = static_cast<size_t>(n) + 1;
        for (std::vector<double>* a : {&rs->ov_depth, &rs->ov_qx, &rs->ov_qy, &rs->ov_slope_x,
                                       &rs->ov_slope_y, &rs->retent_dep, &rs->elevation})
            a->assign(size, 0.0);
        rs->dist_rough.assign(size, 0.05);
        for (std::vector<int>* a : {&rs->rightcon, &rs->belowcon, &rs->leftcon, &rs->abovecon})
            a->assign(size, 0);
        fill_neighbour_arrays(rs->rows, rs->cols, rs->rightcon, rs->belowcon, rs->leftcon,
                              rs->abovecon, rs->mask);
        rs->overtype = 1;
        rs->quiet = 1;
        rs->chan_explic = 1;   // no outlet drain unless a test asks for it
    }
    ~overland_grid() { destroy_run_state(rs); }
    overland_grid(const overland_grid&) = delete;
    overland_grid& operator=(const overland_grid&) = delete;

    // Surface water volume, m3.
    double volume() const {
        double v = 0.0;
        for (int j = 1; j <= rs->GNUM; ++j) v += rs->ov_depth[static_cast<size_t>(j)];
        return v * rs->cell_size * rs->cell_size;
    }
    double min_depth() const {
        double m = 1e300;
        for (int j = 1; j <= rs->GNUM; ++j)
            if (rs->ov_depth[static_cast<size_t>(j)] < m) m = rs->ov_depth[static_cast<size_t>(j)];
        return m;
    }
};

// Rows of a rows x cols rectangle of watershed cells with holes: each
// position is left out with probability `share`, drawn row by row from a
// generator seeded with `seed`.
inline std::vector<std::string> mask_with_holes(int rows, int cols, double share, unsigned seed) {
    std::vector<std::string> mask(static_cast<size_t>(rows), std::string(static_cast<size_t>(cols), '1'));
    std::mt19937 holes(seed);
    std::uniform_real_distribution<double> u01(0.0, 1.0);
    for (std::string& row : mask)
        for (char& ch : row)
            if (u01(holes) < share) ch = '0';
    return mask;
}

// Sends the standard output to /dev/null while it lives (for calls whose
// many progress lines do not matter to a test).
struct silenced_stdout {
    int saved = -1;
    silenced_stdout() {
        std::fflush(stdout);
        saved = dup(1);
        int null_fd = open("/dev/null", O_WRONLY);
        if (null_fd >= 0) {
            dup2(null_fd, 1);
            close(null_fd);
        }
    }
    ~silenced_stdout() {
        std::fflush(stdout);
        if (saved >= 0) {
            dup2(saved, 1);
            close(saved);
        }
    }
    silenced_stdout(const silenced_stdout&) = delete;
    silenced_stdout& operator=(const silenced_stdout&) = delete;
};
