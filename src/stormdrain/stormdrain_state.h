// Members of the run state owned by the stormdrain subsystem.
#pragma once
#include <vector>
#include "core/file_object.h"
#include "subsurface/gw_tile_exchange.h"

// One superjunction (manhole, inlet or outfall). Inlet codes: 0 none, 1..9
// the number of identical inlets on the junction's cell, 888 an outfall that
// returns its water to its own cell, 999 an outfall into a channel node.
struct sd_junction {
    double ground = 0.0;          // ground elevation, m
    double bottom = 0.0;          // bottom (invert) elevation, m
    double storage_area = 0.0;    // plan storage area, m2
    int inlet = 0;                // inlet code (see above)
    int row = 0, col = 0;         // grid row and column of the cell (999: channel link and node)
    double grate_side = 0.0;      // grate side length, m
    double grate_dia = 0.0;       // orifice diameter, m
    int fixed_head = 0;           // 1: the head is held at the bottom (outfalls)
    int cell = 0;                 // cell number, 0 for none
    int chan_link = 0, chan_node = 0;   // channel link and node of a 999 outfall
    int line = 0;                 // line of its SJUNC record, 0 while undefined
    double head = 0.0;            // water-surface elevation, m
    double volume = 0.0;          // water it holds with the half pipes at its superlink ends, m3
    double inflow = 0.0;          // surface and tile inflow of the call, m3/s (outfalls: mean outflow, negative)
    double tile_inflow = 0.0;     // groundwater its superlinks' tile drains bring in the call, m3/s
    double capacity = 0.0;        // rate its inlets can take from its cell in the call, m3/s
    double hold_level = 0.0;      // level its head is held at while it is full to its cell, m
    int held = 0;                 // 1: full to its cell, head held at hold_level, exchange from its balance
    double exchange = 0.0;        // water it took from its cell (inlets) or gave out (outfalls, negative), m3/s
    double captured = 0.0;        // water its inlets took from its cell in the call, m3
    double spilled = 0.0;         // water it put onto its cell in the call (surcharge), m3
    double delivered = 0.0;       // water a 999 outfall delivered to its channel node and not yet routed, m3
    double returned = 0.0;        // water an 888 outfall gave its cell in the call (negative: took back), m3
    double chan_stage = 0.0;      // channel water level at a 999 outfall, m
    // Takes water from its cell through inlets (and may be held at a level or spill onto it).
    bool inlet_on_cell() const { return inlet >= 1 && inlet <= 9 && cell > 0 && !fixed_head; }
};

// One pipe node; node k is the upstream end of pipe k.
struct sd_node {
    double ground = 0.0;          // ground elevation, m
    double invert = 0.0;          // invert elevation, m
    double storage_area = 0.0;    // plan storage area, m2
    int inlet = 0;                // 0 none, 1..9 inlets on the node's cell
    int row = 0, col = 0;         // grid row and column of the cell, 0 for none
    double grate_side = 0.0;      // grate side length, m
    double grate_dia = 0.0;       // orifice diameter, m
    int cell = 0;                 // cell number, 0 for none
    int line = 0;                 // line of its NODE record, 0 while undefined
    double depth = 0.0;           // water depth above the invert, m
    double volume = 0.0;          // water of the node and the half pipes beside it, m3 (interior nodes)
    double inflow = 0.0;          // lateral inflow from the surface of the call, m3/s
    double captured = 0.0;        // water its inlets took from its cell in the call, m3
    double spilled = 0.0;         // water it put onto its cell in the call (surcharge), m3
};

// One pipe between two nodes.
struct sd_pipe {
    int type = 0;                 // section kind (pipe_section.h)
    double size = 0.0;            // diameter or box height, m
    double width = 0.0;           // box width, m
    double slope = 0.0;           // bed slope, m/m
    double roughness = 0.0;       // Manning n, s/m^(1/3)
    double length = 0.0;          // m
    double conductivity = 0.0;    // tile-bed conductivity, cm/h (above 0: a leaky tile drain)
    double spacing = 0.0;         // drain spacing, m
    int line = 0;                 // line of its PIPE record, 0 while undefined
    double tile_flow = 0.0;       // groundwater inflow of the call, m3/s
};

// Working values of the solver for one superlink (pipes 1..N, nodes 1..N+1).
struct sd_link_work {
    std::vector<double> Q;        // pipe discharge, m3/s
    std::vector<double> A;        // pipe flow area at the depth of its upwind node, m2
    std::vector<double> F;        // Manning friction of the pipe per unit discharge, s/m2
    std::vector<double> vel;      // pipe velocity, m/s
    std::vector<double> node_vel; // node velocity, m/s
    std::vector<double> a, b, c, P;   // momentum coefficients, m2/s and m3/s
    std::vector<double> E, D;     // node continuity: storage per second m2/s, right side m3/s
    std::vector<double> U, V, W;  // forward recurrence Q_k = U h_k+1 + V + W h_1
    std::vector<double> X, Y, Z;  // backward recurrence Q_k = X h_k + Y + Z h_N+1
    // Section of the pipe before (l) and after (r) each node at the node's
    // depth: flow area m2, top width m (never below the slot), wetted perimeter m.
    std::vector<double> Al, Bl, Pl, Ar, Br, Pr;
    std::vector<double> guess;    // depth of each node the linear solve gives, m
    std::vector<double> water;    // water of each interior node after the call's flows, m3
    double Qu = 0.0, Qd = 0.0;    // discharges into pipe 1 and out of pipe N, m3/s
    double kappa_u = 0.0, lambda_u = 1.0, mu_u = 0.0;   // h_1 = lambda H_us + kappa Q_u + mu
    double kappa_d = 0.0, lambda_d = 1.0, mu_d = 0.0;   // h_N+1 = lambda H_ds + kappa Q_d + mu
    double alpha_u = 0.0, beta_u = 0.0, chi_u = 0.0;    // Q_u = alpha_u H_us + beta_u H_ds + chi_u
    double alpha_d = 0.0, beta_d = 0.0, chi_d = 0.0;    // Q_d = alpha_d H_us + beta_d H_ds + chi_d
    double E_us = 0.0, E_ds = 0.0;   // storage of the half pipes at the two ends, m2 (area per m of head)
    double h_us = 0.0, h_ds = 0.0;   // end depths the end relations give with the solved heads, m
    double off_us = 0.0, off_ds = 0.0;   // end depth less the junction head of a tied end (kappa Q + mu), m
};

// One superlink: a chain of pipes between two superjunctions.
struct sd_link {
    int us = 0, ds = 0;           // upstream and downstream superjunction
    int line = 0;                 // line of its CONNECT record, 0 while undefined
    int slink_line = 0;           // line of its SLINK record, 0 while undefined
    int pipes_read = 0;           // pipe count of the SLINK record
    std::vector<sd_node> read_nodes;   // nodes as read, 1..pipes_read+1
    std::vector<sd_pipe> read_pipes;   // pipes as read, 1..pipes_read
    std::vector<sd_node> nodes;   // computational nodes, 1..N+1
    std::vector<sd_pipe> pipes;   // computational pipes, 1..N
    std::vector<int> first_node;  // computational node of each node as read
    std::vector<int> pipe_read;   // pipe as read of each computational pipe
    sd_link_work w;
    int pipe_count() const { return static_cast<int>(pipes.size()) - 1; }
};

// One share of a leaky pipe under a grid cell (grid-pipe file).
struct sd_pipe_share {
    int link = 0, pipe = 0;       // superlink and pipe as read
    int cell = 0;                 // cell number
    double share = 0.0;           // fraction of the pipe under the cell, -
};

// Tallies of one coupling call, m3.
struct sd_call_tally {
    double entered = 0.0;         // surface capture and tile inflow
    double left = 0.0;            // spilled onto cells, delivered to channels and returned to cells
    double captured = 0.0;        // taken from the surface by inlets
    double tile = 0.0;            // groundwater into the tile drains
    double released = 0.0;        // surcharge spilled onto cells by junctions and nodes
    double delivered = 0.0;       // 999 outfalls into channel nodes
    double returned = 0.0;        // 888 outfalls onto their cells (negative: taken back)
    double storage_before = 0.0;  // network storage at the start of the call
    double storage_after = 0.0;   // and at its end
};

// One entry of the sparse junction system (rows and columns from 0).
struct junction_entry {
    int row = 0, col = 0;
    double value = 0.0;           // m2/s
};

// The junction system of one solve.
struct junction_system {
    int n = 0;                              // junctions
    std::vector<junction_entry> entries;    // repeated positions add up
    std::vector<double> rhs;                // m3/s (outfall rows: m)
};

// Elimination order of the junction system and the row patterns it fills.
struct junction_elimination {
    int n = -1;                             // junctions it was found for, -1 none yet
    std::vector<int> order;                 // junctions in elimination order
    std::vector<int> position;              // place of each junction in the order
    std::vector<std::vector<int>> pattern;  // sorted columns of each row after elimination
};

struct stormdrain_state {

    // Storm-drain switches copied from the project cards (read_run_parameters)
    int superlink = 0;              // storm-drain network simulated (storm_sewer given)
    int superlink_c_opt = 0, high_head_release = 0, superlink_drainmod = 0;  // solver options
    int superlink_junc_location = 0, superlink_node_location = 0, superlink_junc_flow = 0,
        superlink_node_flow = 0;    // storm-drain location lists and outputs given
    int leaky_pipes = 0;            // tile drains on (some pipe has a conductivity above 0)

    // Network size (filled by the storm-drain set-up; read by the output headers)
    int n_slink = 0;                // number of superlinks
    int n_sjunc = 0;                // number of superjunctions

    // Event control
    double superlink_storage = 0.0; // water stored in the storm-drain network, m3
    int superlink_event_begun = 0;  // an event has begun for the storm-drain step

    // Storm-drain water totals of the run (m3)
    double vol_drains_init = 0.0;         // water stored in the network at the start of the run
    double vol_ov_to_drains = 0.0;        // surface water captured by inlets
    double vol_drains_to_ov = 0.0;        // water returned to the surface
    double vol_drains_to_channels = 0.0;  // water delivered to channel nodes
    double vol_gw_to_tile = 0.0;          // groundwater into tile drains

    // The network (setup_superlink) and its solver
    std::vector<sd_junction> sd_junctions;        // 1..n_sjunc
    std::vector<sd_link> sd_links;                // 1..n_slink
    std::vector<std::vector<sd_pipe_share>> sd_pipe_cells;   // grid-pipe cells, each with its shares
    int superlink_calls = 0;        // coupling calls made in the run
    int superlink_running = 0;      // the network is awake
    int superlink_ov_active = 0;    // the last call put water on the surface
    int superlink_chan_active = 0;  // the last call delivered water to a channel
    sd_call_tally superlink_tally;  // volumes of the last call
    double superlink_worst_balance = 0.0;   // largest |balance residual| / throughput of a call, -
    junction_system sd_system;      // head system of the last solve
    junction_elimination sd_elimination;   // its elimination order
    std::vector<double> sd_rhs;     // heads of the last solve, m
    std::vector<std::vector<int>> sd_junction_ends;   // superlink ends at each junction: +l upstream, -l downstream
    file_object superlink_flows_file;   // "superlink_flows.out", open for the run
    tile_network sd_tiles;          // tile pieces and pipe properties for the aquifer exchange
    tile_exchange_result sd_tile_result;   // its flows of the last call
};
