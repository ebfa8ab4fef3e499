// Exchange of water between the overland grid and the channel nodes over the
// banks of the grid-stream segments, once per channel step.
#pragma once

struct run_state;

// Volumes of one lateral exchange.
struct lateral_volumes {
    double sacramento = 0.0;  // Sacramento channel inflow spread over the segments, m3
    double boundary = 0.0;  // channel water put on head-boundary cells (which keep their depth), m3
    double boundary_gain = 0.0;  // water head-boundary cells gave the channel (they keep their depth), m3
};

// Bank flow of every grid-stream segment for a channel step of dt seconds:
// adds each segment's flow / dx to qlat of its node (m2/s; callers clear qlat
// after routing), keeps the segment's flow in gst_qlat (m3/s, + into the
// channel), takes the inflow from the cell's ov_depth and puts the outflow on
// it. `sac_inflow` is the Sacramento channel inflow of the step (m3/s),
// shared by the segments by their gst_sac_weight. `boundary_type` gives the
// overland boundary type of each cell 1..GNUM, or null when boundary types are
// not in use; cells of types 2, 3 and 9 keep their depth. Segments of lake,
// structure and overtaken links exchange nothing, nor (with channel lakes)
// those of lake cells or of nodes a lake holds.
lateral_volumes lateral_inflow(run_state& rs, double dt, double sac_inflow,
                               const int* boundary_type);

// Link, node and grid cell of segment `segment` of stream cell `cell` (the
// grid-stream tables gst_*); true only when the link is routed, the node lies
// on it and the grid cell is one of 1..GNUM.
bool routed_segment(const run_state& rs, int cell, int segment, int& link, int& node,
                    int& grid_cell);

// Flow reduction of a submerged weir crest for the ratio r = (h_d / h)^1.5 of
// the downstream to the upstream head: 1 up to 0.76, 0 from 1 on.
double interpolate_submergence_factor(double r);

// True for a cell whose depth the overland boundary holds (types 2, 3 and 9).
inline bool head_boundary_cell(const int* boundary_type, int cell) {
    if (boundary_type == nullptr) return false;
    const int t = boundary_type[cell];
    return t == 2 || t == 3 || t == 9;
}
