// A run state with a hand-set grid for the precipitation tests: cells at
// given centres, the cell size, and the per-cell arrays of the rain steps.
#pragma once
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/error.h"
#include "core/file_object.h"
#include "run/run_state.h"
#include "hydromet/precip_types.h"

namespace rain_test {

struct run_state_release {
    void operator()(run_state* rs) const { destroy_run_state(rs); }
};
using run_state_ptr = std::unique_ptr<run_state, run_state_release>;

inline void clear_error() { error_record = error_info{}; }

// Cells 1..n at `centres` (easting, northing in m), cell size dx (m), with
// the rain, depth and interception arrays zeroed.
inline run_state_ptr make_state(const std::vector<std::pair<double, double>>& centres, double dx) {
    clear_error();
    run_state_ptr rs(create_run_state());
    const int n = static_cast<int>(centres.size());
    rs->GNUM = n;
    rs->cell_size = dx;
    rs->cell_x.set_name("cell_x");
    rs->cell_y.set_name("cell_y");
    if (n > 0) {
        rs->cell_x.grow(n);
        rs->cell_y.grow(n);
    }
    for (int k = 1; k <= n; ++k) {
        rs->cell_x[k] = centres[static_cast<size_t>(k - 1)].first;
        rs->cell_y[k] = centres[static_cast<size_t>(k - 1)].second;
    }
    const size_t slots = static_cast<size_t>(n) + 1;
    for (std::vector<double>* a : {&rs->cell_rain_rate, &rs->ov_depth, &rs->ov_aux, &rs->ri_eff,
                                   &rs->icep_stor, &rs->icep_coef, &rs->icep_dep, &rs->snow_swe}) {
        a->assign(slots, 0.0);
    }
    rs->time_tolerance = 1.1574074074074074e-7;
    return rs;
}

// A row of n cells along the x axis, centres at (dx/2 + i dx, dx/2).
inline run_state_ptr make_row(int n, double dx) {
    std::vector<std::pair<double, double>> centres;
    for (int i = 0; i < n; ++i) centres.emplace_back(dx / 2 + i * dx, dx / 2);
    return make_state(centres, dx);
}

// mm/h to the internal intensity, m/s.
inline double mmh(double v) { return v / kMmPerHourPerMps; }

}  // namespace rain_test
