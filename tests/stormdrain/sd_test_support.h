// Small storm-drain networks built in memory for the solver tests.
#pragma once
#include <cmath>
#include <memory>
#include <vector>

#include "core/alloc.h"
#include "core/error.h"
#include "run/run_state.h"
#include "stormdrain/pipe_section.h"
#include "stormdrain/sd_input.h"
#include "stormdrain/superlink_solver.h"

namespace sd_test {

struct state_deleter {
    void operator()(run_state* rs) const { destroy_run_state(rs); }
};
using state_ptr = std::unique_ptr<run_state, state_deleter>;

inline void clear_errors() {
    error_record.code = 0;
    error_record.stop = 0;
}

// A run state of rows x cols dry cells of `cell` m numbered row by row.
inline state_ptr grid_state(int rows, int cols, double cell) {
    clear_errors();
    state_ptr rs(create_run_state());
    rs->rows = rows;
    rs->cols = cols;
    rs->mask_rows = rows;
    rs->mask_cols = cols;
    rs->cell_size = cell;
    rs->GNUM = rows * cols;
    alloc_int_2d(rs->mask, rows + 1, cols + 1, "mask");
    int k = 0;
    for (int r = 1; r <= rows; ++r)
        for (int c = 1; c <= cols; ++c) rs->mask[r][c] = ++k;
    rs->ov_depth.assign(static_cast<size_t>(rs->GNUM) + 1, 0.0);
    rs->superlink = 1;
    return rs;
}

inline sd_junction junction(double bottom, double area, int inlet = 0, int cell = 0) {
    sd_junction j;
    j.bottom = bottom;
    j.ground = bottom + 5.0;
    j.storage_area = area;
    j.inlet = inlet;
    j.cell = cell;
    j.fixed_head = inlet >= 11 ? 1 : 0;
    j.line = 1;
    return j;
}

// A superlink of `pipes` equal circular pipes of diameter D (m), length L
// (m), slope S0 and roughness n, its first node's invert at `top` (m).
inline sd_link chain(int us, int ds, int pipes, double D, double L, double S0, double n, double top) {
    sd_link s;
    s.us = us;
    s.ds = ds;
    s.line = s.slink_line = 1;
    s.pipes_read = pipes;
    s.read_nodes.assign(static_cast<size_t>(pipes) + 2, sd_node());
    s.read_pipes.assign(static_cast<size_t>(pipes) + 1, sd_pipe());
    for (int k = 1; k <= pipes + 1; ++k) {
        sd_node& nd = s.read_nodes[static_cast<size_t>(k)];
        nd.invert = top - S0 * L * (k - 1);
        nd.ground = nd.invert + 5.0;
        nd.line = 1;
    }
    for (int k = 1; k <= pipes; ++k) {
        sd_pipe& p = s.read_pipes[static_cast<size_t>(k)];
        p.type = kSectionCircle;
        p.size = D;
        p.slope = S0;
        p.roughness = n;
        p.length = L;
        p.line = 1;
    }
    return s;
}

// Installs the junctions and superlinks (both from index 1) and sets the network to its start.
inline void install(run_state& rs, const std::vector<sd_junction>& junctions, const std::vector<sd_link>& links,
                    bool grade = false) {
    rs.sd_junctions.assign(1, sd_junction());
    rs.sd_junctions.insert(rs.sd_junctions.end(), junctions.begin(), junctions.end());
    rs.sd_links.assign(1, sd_link());
    rs.sd_links.insert(rs.sd_links.end(), links.begin(), links.end());
    rs.n_sjunc = static_cast<int>(junctions.size());
    rs.n_slink = static_cast<int>(links.size());
    build_computational_pipes(rs, grade);
    rs.vol_drains_init = init_superlink_state(rs);
    rs.superlink_storage = rs.vol_drains_init;
}

// Feeds superlink l's upstream junction with q m3/s through its first pipe's tile inflow.
inline void feed(run_state& rs, int l, double q) {
    rs.leaky_pipes = 1;
    rs.sd_links[static_cast<size_t>(l)].pipes[1].tile_flow = q;
}

// Water a pipe holds per metre at depth h (m): a circle's segment or a
// box's rectangle below h, and above the crown the full section plus a slot
// of 1 % of the width (the diameter of a circle), m2.
inline double pipe_water(const sd_pipe& p, double h) {
    if (h <= 0.0) return 0.0;
    const double D = p.size;
    if (p.type == kSectionBox) return h >= D ? D * p.width + 0.01 * p.width * (h - D) : h * p.width;
    const double r = 0.5 * D;
    if (h >= D) return M_PI * r * r + 0.01 * D * (h - D);
    // A film: the parabolic segment, free of the cancellation of the full formula.
    if (h < 1e-6 * D) return 4.0 / 3.0 * std::sqrt(2.0 * r * h) * h;
    return r * r * std::acos((r - h) / r) - (r - h) * std::sqrt(2.0 * r * h - h * h);
}

// The water the network's depths and heads stand for, from the geometry of
// its pipes: every node holds the half pipes beside it at its depth
// and its storage area times the depth, every free junction its plan area
// times its head above its bottom (m3).
inline double geometry_water(const run_state& rs) {
    double v = 0.0;
    for (int j = 1; j <= rs.n_sjunc; ++j) {
        const sd_junction& s = rs.sd_junctions[static_cast<size_t>(j)];
        if (!s.fixed_head) v += s.storage_area * std::max(0.0, s.head - s.bottom);
    }
    for (int l = 1; l <= rs.n_slink; ++l) {
        const sd_link& s = rs.sd_links[static_cast<size_t>(l)];
        const int N = s.pipe_count();
        for (int k = 1; k <= N + 1; ++k) {
            const double h = s.nodes[static_cast<size_t>(k)].depth;
            v += s.nodes[static_cast<size_t>(k)].storage_area * h;
            if (k >= 2) v += 0.5 * s.pipes[static_cast<size_t>(k - 1)].length * pipe_water(s.pipes[static_cast<size_t>(k - 1)], h);
            if (k <= N) v += 0.5 * s.pipes[static_cast<size_t>(k)].length * pipe_water(s.pipes[static_cast<size_t>(k)], h);
        }
    }
    return v;
}

// Storage change of the last call less the water it exchanged, m3.
inline double call_residual(const run_state& rs) {
    const sd_call_tally& t = rs.superlink_tally;
    return (t.storage_after - t.storage_before) -
           (t.captured + t.tile - t.released - t.delivered - t.returned);
}

}  // namespace sd_test
