// Node flows of the channel network for one state of its nodes: the
// diffusive-wave flow between neighbouring nodes, the flow across junctions,
// into lakes and through hydraulic-structure links, and the outlet flow.
#pragma once
#include "channel/node_array.h"

struct run_state;

// Fills flows[j][link] (m3/s) for every node of every routed and structure
// link: the flow from node j to node j+1, or out of the link at its last
// node. Links are processed from the highest number down, so a structure
// link's flow is ready for the links that drain into it. Lake links and
// overtaken links are left as they are. Levels are bed + chan_node_depth of
// the current state; dt is the sub-step (s), limiting what a structure may
// draw from a node, and time (Julian days) the time of scheduled releases.
// Returns 0, or -1 after a negative outlet slope or a failed structure
// evaluation (message printed, code 4000 raised).
int compute_link_end_flows(run_state& rs, node_array& flows, double dt, double time);

// Flow (m3/s) through the elements of structure link `link` for the
// upstream level hw and the downstream level tw (m); sets the culvert inlet
// coefficients on the way. Sets `failed` after a failed element evaluation
// (message printed, code 4000 raised).
double structure_link_flow(run_state& rs, int link, double hw, double tw, double time,
                           bool& failed);
