// Guarded look-ups and the channel clock alignment shared by the event-control
// steps (event start, watch, transition and end). Internal to those steps.
#pragma once
#include <algorithm>
#include <cstddef>
#include <vector>

#include "run/run_state.h"

// True when index n lies inside v (as the event steps index from 1).
template <class T>
inline bool spans(const std::vector<T>& v, int n) {
    return static_cast<int>(v.size()) > n;
}

// Node array entry [node][link] when it exists, else null.
inline double* node_entry(node_array& a, int node, int link) {
    if (!a.has(node, link)) return nullptr;
    return &a(static_cast<size_t>(node), static_cast<size_t>(link));
}
inline const double* node_entry(const node_array& a, int node, int link) {
    if (!a.has(node, link)) return nullptr;
    return &a(static_cast<size_t>(node), static_cast<size_t>(link));
}

// Node count of a link, 0 for a link outside the tables.
inline int link_nodes(const run_state& rs, int link) {
    if (link < 1 || !spans(rs.nx, link)) return 0;
    return rs.nx[link];
}

// Points the channel constituent clocks (contaminants, nutrients, stream
// loss; Julian days) at the channel clock's next and last times.
inline void align_channel_constituent_clocks(run_state& rs) {
    rs.con_chan_next = rs.chan_next;
    rs.con_chan_last = rs.chan_last;
    if (rs.contaminant_count > 0) {
        rs.chan_contam_next = rs.chan_next;
        rs.chan_contam_last = rs.chan_last;
    }
    if (rs.nsm_on) {
        rs.nsm_chan_next = rs.chan_next;
        rs.nsm_chan_last = rs.chan_last;
    }
    if (rs.stream_exchange) {
        rs.stream_loss_next = rs.chan_next;
        rs.stream_loss_last = rs.chan_last;
    }
}

// Adds the water of the Richards column of cell j (nodes 1..N-1: theta x dz,
// dz in cm) over the cell area `area` (m2) to `volume` (m3), node by node, and
// counts the nodes in `node_count`.
inline void add_richards_column(const run_state& rs, int j, double area, double& volume,
                                int& node_count) {
    if (!spans(rs.richards_nodes, j) || !spans(rs.richards_theta, j) || !spans(rs.richards_dz, j))
        return;
    const std::vector<double>& theta = rs.richards_theta[j];
    const std::vector<double>& dz = rs.richards_dz[j];
    const int nodes = std::min<int>(rs.richards_nodes[j],
                                    static_cast<int>(std::min(theta.size(), dz.size())));
    for (int k = 1; k <= nodes - 1; ++k) {
        volume += theta[k] * dz[k] / 100.0 * area;
        node_count += 1;
    }
}
