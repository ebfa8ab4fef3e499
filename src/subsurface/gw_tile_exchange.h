// Exchange between the aquifer and the tile drains of the storm-drain
// network: drain flow by the equivalent-depth (Hooghoudt) formulas from the
// water table above each tile's hydraulic grade line.
#pragma once
#include <vector>

// One piece of tile under one cell: length (m), superlink, node (both from
// 1; the piece runs from node to node + 1) and the cell it drains (from 1).
struct tile_entry {
    double length = 0.0;   // m
    int superlink = 0;
    int node = 0;
    int cell = 0;
};

// Per-node tables are indexed [superlink][node], both from 1; per-cell
// vectors [cell] from 1.
struct tile_network {
    std::vector<std::vector<tile_entry>> groups;         // connection groups of entries
    std::vector<std::vector<double>> conductivity;      // tile-bed conductivity, cm/h
    std::vector<std::vector<double>> diameter;          // tile diameter, m
    std::vector<std::vector<double>> multiplier;        // flow multiplier, -
    std::vector<std::vector<double>> spacing;           // drain spacing, m
    std::vector<std::vector<double>> flow_depth;        // flow depth in the tile, m
    std::vector<std::vector<double>> invert;            // invert elevation, m
    std::vector<std::vector<int>> node_cell;            // cell above the node
    int computational_nodes = 0;                        // 1: end nodes and properties through the maps
    std::vector<std::vector<int>> end_node_map;         // node n -> computational node of the ends
    std::vector<std::vector<int>> property_node_map;    // node n -> node whose properties apply
    int equivalent_depth_method = 1;                    // 1: Hooghoudt series form, else the exponential sum
};

// Outputs of one call; the caller sizes them (tile_inflow [superlink][node],
// cell_rate [cell]); the call clears and fills them.
struct tile_exchange_result {
    std::vector<std::vector<double>> tile_inflow;   // flow from the aquifer into the node, m3/s
    std::vector<double> superlink_inflow;           // per superlink total, m3/s
    std::vector<double> cell_rate;                  // flow out of the cell's aquifer, m3/s
};

// Fills `out` from the heads `elevgw` (m), aquifer bottom `bottom_elev` (m)
// and ground `elevation` (m). Returns 0 when the table lies nowhere above a
// tile's hydraulic grade (nothing exchanged), 1 when an exchange was
// computed or an error stopped it: a tile below the aquifer bottom (code
// 131) or a flow that is not a number (code 133), both with the stop flag.
int exchange_gw_tile(const tile_network& net, const std::vector<double>& elevgw,
                     const std::vector<double>& bottom_elev, const std::vector<double>& elevation,
                     tile_exchange_result& out);
