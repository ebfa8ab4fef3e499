// Helpers of the output tests: a run state with a small hand-set grid and
// channel network, and file objects opened on temporary files.
#pragma once
#include <string>
#include <vector>
#include "core/alloc.h"
#include "core/error.h"
#include "core/file_object.h"
#include "run/run_state.h"

namespace output_test {

// Owner of a run state made by create_run_state.
struct run_state_owner {
    run_state* rs = create_run_state();
    run_state_owner() { error_record = error_info(); }
    ~run_state_owner() {
        destroy_run_state(rs);
        error_record = error_info();
    }
    run_state& operator*() { return *rs; }
};

// Hands a 2 x 3 grid of 10 m cells to the run state, all six cells active:
//   1 2 3
//   4 5 6
// with the neighbour numbers and per-cell overland arrays sized GNUM + 1.
inline void set_small_grid(run_state& rs) {
    rs.rows = 2;
    rs.cols = 3;
    rs.cell_size = 10.0;
    rs.map_north = 20.0;
    rs.map_south = 0.0;
    rs.map_east = 30.0;
    rs.map_west = 0.0;
    rs.mask = make_int_2d(rs.rows + 1, rs.cols + 1);
    int k = 0;
    for (int r = 1; r <= rs.rows; ++r)
        for (int c = 1; c <= rs.cols; ++c) rs.mask[r][c] = ++k;
    rs.GNUM = k;
    const size_t n = static_cast<size_t>(rs.GNUM + 1);
    rs.ov_depth.assign(n, 0.0);
    rs.ov_qx.assign(n, 0.0);
    rs.ov_qy.assign(n, 0.0);
    rs.elevation.assign(n, 100.0);
    rs.rightcon = {0, 2, 3, 0, 5, 6, 0};
    rs.belowcon = {0, 4, 5, 6, 0, 0, 0};
    rs.leftcon = {0, 0, 1, 2, 0, 4, 5};
    rs.abovecon = {0, 0, 0, 0, 1, 2, 3};
}

// Three links: 1 a channel link of 3 nodes, 2 a lake link (lake 1), 3 a structure link.
inline void set_small_network(run_state& rs) {
    rs.links = 3;
    rs.maxnodes = 3;
    rs.nx = {0, 3, 1, 2};
    rs.ltype = {0, 4, 32, 64};
    rs.lake2link = {0, 0, 1, 0};
    rs.dx = {0.0, 50.0, 0.0, 0.0};
    rs.channel_lakes = 1;
    rs.num_channel_lakes = 1;
    rs.lake_elev = {0.0, 12.5};
    rs.lake_volume = {0.0, 3000.0};
    const node_array empty(static_cast<size_t>(rs.maxnodes + 2),
                           std::vector<double>(static_cast<size_t>(rs.links + 2), 0.0));
    rs.yp = rs.bel = rs.qp = rs.area = empty;
    for (int j = 1; j <= 3; ++j) {
        rs.yp[j][1] = 10.0 + j;
        rs.bel[j][1] = 10.0;
        rs.qp[j][1] = j;
    }
    rs.area[1][1] = 2.0;
    rs.area[2][1] = 0.0;   // a dry node
    rs.area[3][1] = 4.0;
    rs.yp[1][3] = 7.25;
}

// Opens a file object on a path for writing (or reading with mode "r").
inline void open_on(file_object& f, const std::string& path, const char* mode = "w") {
    open_file_named(f, path.c_str(), mode);
}

}  // namespace output_test
