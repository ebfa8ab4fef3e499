// Sediment-bound constituents of a run (card sediment_contam with soil
// erosion and overland constituents): the sorbed mass each cell and channel
// node holds on its suspended sediment, the split between water and
// sediment found by the last partition, and the sediment volumes the
// overland and channel sediment steps moved since the sorbed mass last
// followed them.
//
// Per-cell-and-class rows are flat, cell-major: entry cell x (classes + 1)
// + class, cells 1..GNUM, classes 1..n (slot 0 a total where one is kept).
// Node rows use the channel constituent index (maxnodes + 1) x link + node.
// Rows of constituents are numbered 1..n (row 0 unused).
#pragma once
#include <cstddef>
#include <vector>

// Attached mass wanted across one channel face in a step: from one store to
// another (a store is a transport node, a lake or the world beyond the outlet).
struct sorbed_move {
    int from_kind = 0, to_kind = 0;  // 0 node, 1 lake, 2 beyond the outlet
    std::size_t from = 0, to = 0;    // flat node or lake number of each side
    std::size_t face = 0;            // flat node whose downstream face it crosses
    double sign = 1.0;               // +1 downstream through that face, -1 upstream
    double mass = 0.0;               // g
};

struct sed_bound_record {
    int on = 0;                    // sorbed mass is carried in this run
    int classes = 0;               // sediment size classes
    int cells = 0;                 // cells the rows are sized for
    std::vector<int> flag;         // per class 1..n: 0 the class sorbs, 1 it carries none

    // Overland, per constituent (rows 1..n)
    std::vector<std::vector<double>> sorbed;      // per cell: mass sorbed on the suspended sediment, g
    std::vector<std::vector<double>> dissolved;   // per cell: dissolved share of the cell's mass, -
    std::vector<std::vector<double>> fract;       // per cell and class: sorbed share of the cell's mass, -
    std::vector<std::vector<double>> sorbed_conc; // per cell and class: sorbed mass per m3 of class sediment, g/m3

    // Overland sediment moved since the last sorbed-mass step (per cell and class), m3
    std::vector<double> start_volume;  // suspended volumes the last step left (less what went to the channels)
    std::vector<double> eroded;        // taken up from the soil and the loose deposit
    std::vector<double> deposited;     // settled onto the surface
    std::vector<double> face_x;        // moved to the right neighbour (negative: from it)
    std::vector<double> face_y;        // moved to the lower neighbour (negative: from it)
    std::vector<double> outlet;        // per class (slot 0 unused): left through the overland outlet

    // Work rows of the overland step
    std::vector<double> pending;       // per cell: change of the water mass, g
    std::vector<double> soil_exchange; // per cell: mass into the top soil layer (negative: taken), g
    std::vector<double> no_layer;      // per cell: zeros, the soil layer of a run without soil constituents
    std::vector<double> layer_share;   // per cell: dissolved share of the soil layer's mass now, -
    std::vector<double> work;          // 2 x (cells + 1) x (classes + 1) scratch of the movement

    // Channel nodes (with channel constituents), per constituent (rows 1..n), per flat node
    int node_slots = 0;                           // flat nodes the rows are sized for
    std::vector<std::vector<double>> attached;    // mass attached to the wash load of the node, g
    std::vector<std::vector<double>> node_conc;   // per flat node and class (rows of classes + 1): sorbed mass per m3 of class sediment, g/m3
    std::vector<std::vector<double>> qlat_attached;  // mass arrived with sediment from the grid, not yet taken in, g
    std::vector<std::vector<double>> flux_rate;   // mass leaving the node's downstream face in the last interval, g/s
    std::vector<double> face_volume;   // per flat node and fine class (rows of chan_sed.stride): wash load through the downstream face since the last step, m3
    std::vector<sorbed_move> moves;    // attached mass crossing the faces of the network in the step
    std::vector<double> node_want;     // per flat node: attached mass wanted out of it in the step, g
    std::vector<double> leave_scale;   // per flat node: share of the wanted outgoing mass the node can give, -
    std::vector<double> face_net;      // per flat node: attached mass through its downstream face in the step, g
    std::vector<double> node_volume;   // per fine class of one node: wash load, m3 (partition scratch)
    std::vector<double> node_scratch;  // per class of one node: partition scratch

    // Channel-network lakes (with channel constituents), lakes 1..lakes; rows of constituents 1..n
    int lakes = 0;                                 // lakes the rows are sized for (0 none)
    std::vector<std::vector<double>> lake_attached;  // per lake: mass sorbed on the lake's suspended sediment, g
    std::vector<std::vector<double>> lake_conc;      // per lake and class (rows of classes + 1): sorbed mass per m3 of class sediment, g/m3
    std::vector<std::vector<double>> lake_settled;   // per lake: sorbed mass settled with the lake's sediment over the run, g
    std::vector<double> lake_settle_volume;  // per lake and fine class (rows of chan_sed.stride): wash load settled since the last step, m3
    std::vector<double> lake_class_conc;     // per class of one lake: suspended sediment per m3 of lake water, g/m3 (partition scratch)
    std::vector<double> lake_out_conc;       // per lake and class (rows of classes + 1): sorbed concentration overland faces leaving a lake carry, g/m3
    std::vector<double> lake_from_grid;      // per lake: sorbed mass the overland faces handed over in a step, g
    std::vector<double> lake_want;           // per lake: attached mass wanted out of it in the step, g
    std::vector<double> lake_give_scale;     // per lake: share of the wanted outgoing mass the lake can give, -
};
