// Small fixtures shared by the event-control tests: a run state on the heap,
// a channel network of a few links, and stdout capture.
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "run/run_state.h"

namespace event_test {

struct run_state_deleter {
    void operator()(run_state* rs) const { destroy_run_state(rs); }
};
using run_state_ptr = std::unique_ptr<run_state, run_state_deleter>;

inline run_state_ptr make_run_state() {
    return run_state_ptr(create_run_state());
}

// Per-cell arrays of GNUM + 1 zeros.
inline void size_cells(run_state& rs, int cells, double cell_size) {
    rs.GNUM = cells;
    rs.cell_size = cell_size;
    rs.ov_depth.assign(cells + 1, 0.0);
    rs.ov_aux.assign(cells + 1, 0.0);
    rs.elevation.assign(cells + 1, 0.0);
}

// A network of `links` channel links with `nodes` nodes each; node arrays
// are [node][link] with rows 0..nodes+1 and columns 0..links+1.
inline void size_network(run_state& rs, int links, int nodes, int type = 0x04, double dx = 10.0) {
    rs.links = links;
    rs.maxnodes = nodes;
    rs.nx.assign(links + 1, nodes);
    rs.nx[0] = 0;
    rs.ltype.assign(links + 1, type);
    rs.dx.assign(links + 1, dx);
    const std::vector<double> row(links + 2, 0.0);
    for (node_array* a : {&rs.yp, &rs.qp, &rs.bel, &rs.area, &rs.qlat, &rs.chan_node_depth}) {
        a->assign(nodes + 2, row);
    }
}

// Runs `f` with standard output captured and returns what it printed.
template <class F>
std::string captured(F f) {
    testing::internal::CaptureStdout();
    f();
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

}  // namespace event_test
