// Members of the run state owned by the channel subsystem.
#pragma once
#include <vector>
#include <forward_list>
#include "channel/channel_records.h"
#include "channel/node_array.h"
#include "core/file_object.h"

// Channel node arrays (node_array, int_node_array) are indexed [node][link] with
// rows 0..maxnodes+1 and columns 0..links+1, stored link by link (channel/node_array.h).

struct channel_state {

    // Channel switches copied from the project cards (read_run_parameters)
    int chan_explic = 0;            // explicit diffusive-wave channel routing
    int chan_drain = 0;             // drain channel initialisation
    int chan_drain_only = 0;        // drain method alone
    int chan_mesh = 0;              // mesh channel routing
    int chan_preiss = 0;            // Preissmann routing asked for (refused by the option check)
    double max_courant_number = 0.04; // largest channel Courant number (the card default)
    int overbank_flow = 0;          // overbank exchange with the grid
    double overbank_max_dv = 0.01;  // largest overbank exchange per step, m
    int overland_backwater = 0;     // overland backwater from the channel
    int stream_cell_on = 0;         // grid-stream connection used
    int head_bound = 0;             // head boundary at the outlet
    double bound_depth = 0.0;       // outlet boundary depth, m
    int bound_ts = 0;               // outlet boundary time series given
    double k_river = 0.0;           // river bed conductivity (card value), m/h
    double m_river = 0.0;           // river bed thickness (card value)
    double m_lake = 0.0;            // lake bed thickness (card value)
    int hotstart_is_depth = 0;      // channel hotstart holds depths
    int chan_hotstart_write = 0;    // write the channel hotstart at the end
    int chan_hotstart_read = 0;     // read the channel hotstart at the start
    int chan_backwater = 0;         // backwater channel initialisation (refused together with drain)
    int channel_has_water = 0;      // the channel is active (routed from the start of the run)

    // Channel-network lakes (LAKE links), used from 1
    int channel_lakes = 0;          // the network has lakes
    int num_channel_lakes = 0;      // number of lakes
    std::vector<double> lake_initwse;  // initial water surface of each lake, m
    std::vector<double> lake_minwse;   // minimum water surface of each lake, m

    int chan_first_call = 1;        // the channel step fills its one-time tables while set
    std::vector<int> lake_mask;     // channel-network lake number of each cell (GNUM+1), 0 none

    // Network size read by the stream mapping tables (filled by the channel input reader)
    int links = 0;                  // number of links, numbered 1..links
    std::vector<int> nx;            // node count of each link 1..links (slot 0 unused)

    // Network state read by the output writers (filled by the channel input reader and
    // the routing step). Per-link vectors are used from 1; node grids are [node][link]
    // with rows 0..maxnodes+1 and columns 0..links+1.
    int maxnodes = 0;               // largest node count of a link
    std::vector<int> ltype;         // link type bits of each link (0x04/0x08/0x10 channel, 0x20 lake, 0x40 structure)
    std::vector<int> lake2link;     // channel-lake number of a lake link, 0 otherwise
    std::vector<double> dx;         // node spacing of each link, m
    node_array yp;                          // water-surface elevation [node][link], m
    node_array qp;                          // discharge [node][link], m3/s
    node_array bel;                         // bed elevation [node][link], m
    node_array area;                        // flow area [node][link], m2
    std::vector<double> lake_elev;  // water-surface elevation of each channel lake 1..num_channel_lakes, m
    std::vector<double> lake_volume;  // water volume of each channel lake 1..num_channel_lakes, m3

    // Channel members read by event control (start_event, next_event, finish_event)
    node_array qlat;                // lateral inflow [node][link], m3/s
    node_array chan_node_depth;     // water depth [node][link], m (yp - bel)
    node_array av_qriv;             // averaged stream-aquifer exchange [node][link], m2/s
    int xsec_init_mode = 0;         // mode handed to ex_section at an event start
    int xsec_error = 0;             // set by ex_section on a failure
    int lake_level_flag = 0;        // a channel-network lake stands above its reference level
    int chan_points_on = 0;         // channel point sources exist
    std::vector<double> lake_ov_inflow;  // overland inflow of each lake since the last accounting, m3
    int num_bp_erode_links = 0;     // erodible break-point links
    std::vector<int> bplink;        // number of a link among the erodible break-point links, 0 none
    std::vector<std::vector<double>> max_yp;       // [bp link][node] running maximum of yp, m
    std::vector<std::vector<double>> ch_sand_vol0; // [bp link][node] sand volume of the section, m3
    // Cross-section update after a bed change (xsec_update), kept for the run
    double chan_bed_porosity = 0.4;     // porosity of the channel bed sand, - (sediment set-up may set it)
    std::vector<std::vector<double>> min_bel;  // [node][link] lowest bed: bel - max_eros at the first update, m
    std::vector<double> xsec_work_x;    // stations of the section being moved, m (longest section)
    std::vector<double> xsec_work_z0;   // its elevations before the move, m
    std::vector<double> xsec_work_z;    // its elevations after the move, m

    // Channel network as read from the channel input file (read_chan_input).
    // Per-link vectors have links+1 slots used from 1; node arrays are [node][link].
    double chan_alpha = 0.0;        // ALPHA card (stored only), -
    double chan_beta = 0.0;         // BETA card (stored only), -
    double chan_theta = 0.0;        // THETA card (stored only), -
    int links_plus_one = 0;         // links + 1
    int node_grid_slots = 0;        // (links + 1) x (maxnodes + 1)
    int mlake_given = 0;            // the channel file has an MLAKE card (lake losses on)
    std::vector<int> ldex;          // own link number; the lake number for a lake link
    std::vector<int> ndep;          // number of upstream links (CONNECT), at most 20
    std::vector<std::vector<int>> uslinks;  // [link][k], k = 1..ndep: upstream links
    std::vector<int> dslink;        // downstream link, 0 at the outlet
    std::vector<int> nx1;           // data points of a link (NODES card)
    std::vector<int> og_nx1;        // copy of nx as read
    std::vector<double> chan_n;     // Manning roughness n of a link, s/m^(1/3)
    std::vector<double> inv_n;      // 1/n of a link, m^(1/3)/s
    std::vector<double> link_k_river;  // river-bed conductivity of a link (K_RIVER), m/h
    std::vector<double> link_m_river;  // river-bed thickness of a link (M_RIVER), m
    int num_struct_elements = 0;    // STRUCTTYPE elements in the file
    int max_npairs = 0;             // largest NPAIRS of a break-point section
    int max_num_interp = 0;         // largest NUM_INTERP of a break-point section
    int max_uslinks = 0;            // largest upstream count of a CONNECT card
    int num_head_links = 0;         // links without upstream links (ndep 0)
    // Copies of the connections as read (only when the network has lakes)
    std::vector<int> og_ndep;       // ndep as read
    std::vector<int> og_dslink;     // dslink as read
    std::vector<int> og_lytpe;      // ltype as read
    std::vector<std::vector<int>> og_uslinks;  // uslinks as read

    // Node geometry and state [node][link]
    node_array lnx, lny;            // x and y coordinates of each data point (X_Y), m
    node_array bottom;              // trapezoid bottom width, m
    node_array sslope;              // trapezoid side slope, horizontal per vertical, -
    node_array sslope2;             // second side slope (not read; zero), -
    node_array bankfull_dep;        // bank-full depth, m
    node_array max_eros;            // largest erosion depth of an erodible node, m
    node_array Fr;                  // Froude number, -
    node_array qp_vol;              // water volume through the node since the last quality update, m3
    node_array qp_vol_sed;          // the same since the last sediment step, m3
    int_node_array table_num;       // break-point table of a node
    node_array Krb;                 // river-bed hydraulic conductivity, m/h (card units of k_river)
    node_array Mrb;                 // river-bed thickness, m
    node_array pct_flooded;         // fraction of the node's cell flooded by a lake, -
    basic_node_array<time_series*> stream_pointsource;  // series feeding a node, or null (not owned)
    basic_node_array<chan_pump*> stream_pumps;          // pump of a node, or null (owned by chan_pumps)
    std::forward_list<chan_pump> chan_pumps;  // every channel pump, newest first

    // Hydraulic structures (only when the file has structure links)
    std::vector<hydraulic_structure> structures;   // elements 1..num_struct_elements (+1 spare)
    std::vector<link_structure> link_structures;   // element range of each link

    // Break-point depth tables [depth step][table], steps 0..max_num_interp+1 (step 0 the
    // empty section), tables 1..num_xsec_tables; stored table by table
    int num_xsec_tables = 0;        // number of tables
    node_array xarea;               // flow area, m2
    node_array xtw;                 // top width, m
    node_array xk;                  // conveyance A R^(2/3) / n, m3/s
    node_array xp;                  // wetted perimeter, m
    node_array xi1;                 // first moment of the area below the surface, m3 (chan_mesh)
    node_array xdkda;               // dK/dA, m/s (chan_mesh)
    std::vector<double> ht_spc;     // depth step of a table, m
    std::vector<int> numhts;        // number of steps of a table
    std::vector<int> numpairs;      // station-elevation pairs of a table
    std::vector<std::vector<std::vector<double>>> xbp_lnn;  // [bp link][node][pair] station, m
    std::vector<std::vector<std::vector<double>>> ybp_lnn;  // [bp link][node][pair] elevation, m

    // Channel-network lakes (only when the file has LAKE links), lakes 1..num_channel_lakes
    std::vector<double> lake_maxwse;         // highest water surface of a lake, m
    std::vector<int> lake_numpts;            // search-order cells of a lake
    std::vector<std::vector<std::vector<int>>> lake_search;  // [lake][plane 0..3][point]: plane 1 row, 2 column
    std::vector<double> Mlake;               // lake bed thickness, m (MLAKE)
    std::vector<int> calc_loss;              // 1 when the lake has MLAKE
    std::vector<double> lake_area;           // surface area of a lake, m2
    std::vector<int> lake_cells;             // cells of a lake
    std::vector<double> cumulative_lake_evap;  // evaporation of a lake so far, m3
    std::vector<double> prevlake_volume;     // lake volume at the last lake update, m3
    std::vector<double> lake_volume_last_chan;  // lake volume at the last channel step, m3
    std::vector<double> lake_in_dv;          // inflow volume since the last accounting, m3
    std::vector<double> lake_out_dv;         // outflow volume since the last accounting, m3
    std::vector<int> new_flooded_grid;       // per cell 1..GNUM: newly flooded by a lake
    int lake_full_warned = 0;                // the full-extent warning of a lake was printed
    long lake_cell_changes = 0;              // cells taken or given back by the lakes so far
    double lakes_init_volume = 0.0;          // water of the channel lakes at set-up, m3
    std::vector<double> lake_source;         // per cell 1..GNUM: lake-aquifer exchange of the last channel step, m3/s (+ into the lake)
    std::vector<double> lake_gw_step_volume; // per lake: its lake-aquifer exchange over the last channel step, m3 (+ into the lake)
    std::vector<int> og_gwbound_type;        // per cell 1..GNUM: groundwater boundary code as read

    // Grid-stream file: stream cells 1..num_stream_cells, segments 1..gst_ncellsingrid[cell]
    int num_stream_cells = 0;                // STREAMCELLS
    int gst_max_segments = 0;                // largest NUMNODES
    std::vector<int> gst_ncellsingrid;       // segments of a stream cell
    std::vector<std::vector<int>> gst_link;  // [stream cell][segment] link
    std::vector<std::vector<int>> gst_node;  // [stream cell][segment] node
    std::vector<std::vector<int>> gst_gnum;  // [stream cell][segment] active cell number
    std::vector<std::vector<double>> gst_pct;         // [stream cell][segment] fraction of the cell, -
    std::vector<std::vector<double>> gst_sac_weight;  // [stream cell][segment] Sacramento weight, -
    std::vector<std::vector<double>> gst_Vlat;        // [stream cell][segment] lateral volume, m3
    std::vector<std::vector<double>> gst_Vriv;        // [stream cell][segment] stream-aquifer volume of the channel
                                                      // step (+ aquifer to channel), m3, while channel constituents
                                                      // are carried (their routing takes and clears it)
    std::vector<std::vector<int>> gst_row;   // [stream cell][segment] grid row of the cell
    std::vector<std::vector<int>> gst_col;   // [stream cell][segment] grid column of the cell
    std::vector<std::vector<double>> gst_qlat;      // [stream cell][segment] lateral inflow, m3/s
    std::vector<std::vector<double>> gst_qriv;      // [stream cell][segment] stream-aquifer exchange, m2/s
    std::vector<std::vector<double>> gst_qriv_vol;  // [stream cell][segment] transport exchange volume, m3
    node_array gst_Vp;                       // [node][link] exchange volume of a node, m3

    // Node state allocated by the channel set-up [node][link]
    node_array yp_max_flood;        // highest water level reached, m
    node_array area_old;            // flow area of the previous step, m2
    node_array conv;                // conveyance K = A R^(2/3) / n, m3/s
    node_array dconv;               // dK/dy, m2/s
    node_array stdummy;             // work array of the routing, m2
    node_array topw;                // top width, m
    node_array qriv;                // stream-aquifer exchange per unit length, m2/s (+ into the channel)
    int_node_array con_vect;        // active cell holding each node, 0 none
    std::vector<int> cell_chan_link;  // per cell 1..GNUM: link the cell holds, 0 none
    std::vector<int> cell_chan_node;  // per cell 1..GNUM: node the cell holds, 0 none
    int chan_active = 0;            // some node holds water (hotstart, head boundary, point inputs)
    int xsec_table_exceeded = 0;    // a break-point node lay above the top of its table
    double vol_channel_init = 0.0;  // channel water at the start of the run, m3
    time_series* head_series = nullptr;  // series of the stream head boundary (bound_ts), m (not owned)

    // Cumulative channel volumes of the run (m3), advanced by routing and point inputs
    double vol_lateral_inflow = 0.0;          // net lateral inflow from the grid
    double vol_lateral_into_channel = 0.0;    // lateral flow into the channels
    double vol_lateral_out_of_channel = 0.0;  // lateral flow out of the channels (kept negative)
    double vol_stream_point_sources = 0.0;    // channel point sources at stream nodes
    double vol_stream_point_sinks = 0.0;      // channel point sinks at stream nodes
    double vol_lake_point_sources = 0.0;      // point sources into channel-network lakes
    double vol_lake_point_sinks = 0.0;        // point sinks out of channel-network lakes
    double vol_lake_evaporation = 0.0;        // evaporation from channel-network lakes
    double vol_stream_point_unmet = 0.0;      // point withdrawals a stream node could not give
    double vol_lake_point_unmet = 0.0;        // point withdrawals a lake could not give

    // Channel point inputs (card chan_point_input), read whole at start-up.
    // Points 1..chan_point_count in file order; record 0 holds the POINT
    // values, records 1..chan_point_changes the dated changes.
    int chan_point_count = 0;                  // points of the file
    int chan_point_changes = 0;                // dated records of the file
    std::vector<int> chan_point_link;          // link of each point
    std::vector<int> chan_point_node;          // node of each point
    std::vector<double> chan_point_dates;      // Julian day of each record 1..changes (slot 0 unused)
    std::vector<double> chan_point_flows;      // flow of point i in record r at r x count + i - 1, m3/s
    int chan_point_values = 0;                 // constituent values on each point's line (the channel
                                               // constituents of the run, 0 without them)
    std::vector<double> chan_point_conc;       // value c (1..values) of point i in record r at
                                               // ((r x count + i - 1) x values + c - 1), g/m3
    std::vector<std::vector<double>> chan_point_in_conc;  // [constituent][flat node] concentration of the
                                               // point inflow in force (flow-weighted over the node's
                                               // inflowing points), g/m3
    int chan_point_record = 0;                 // record in force
    double chan_point_next = 0.0;              // Julian day of the next record, 0 when none follows
    node_array chan_point_q;                   // [node][link] point inflow in force (<0 withdrawal), m3/s
    node_array chan_point_vol;                 // [node][link] point input volume of the channel step (<0
                                               // withdrawn), m3, while channel constituents are carried (their
                                               // routing takes and clears it)
    node_array chan_point_try;                 // [node][link] the same of the sub-step being tried, m3
    int_node_array taken_by_lake;              // [node][link] lake holding a captured node, 0 none

    // Explicit channel routing (ex_flow_route): work arrays [node][link] sized
    // like `area` at the first call and kept for the run, so no sub-step allocates.
    node_array area_iter;           // predicted flow area of a sub-step, m2
    node_array area_try_start;      // flow area at the start of the sub-step (a retry restarts from it), m2
    node_array qp_old;              // discharge at the start of the sub-step, m3/s
    node_array qp_last;             // link-end flows of the state at the start of an iteration, m3/s
    node_array qp_iter;             // link-end flows of the predicted state, m3/s
    node_array qriv_old;            // stream-aquifer exchange at the start of the sub-step, m2/s
    node_array qlat_org;            // lateral inflow before the overbank return rebuilt it, m2/s
    node_array qlat_old;            // lateral inflow at the start of the sub-step, m2/s
    int_node_array status_node;     // 1 while a channel-network lake holds the node (lakes only)
    std::vector<double> ov_depth_copy;  // per cell 1..GNUM: overland depth at the start of the sub-step, m
    long chan_substeps = 0;         // routing sub-steps taken in the run
    long chan_retries = 0;          // sub-steps tried again with half the step in the run
    int chan_first_substep = 1;     // set until the run's first sub-step has saved its flows

    // Channel routing step (route_channels) and its idle clock (long-term runs)
    long chan_route_calls = 0;      // calls of ex_flow_route in the run
    int chan_exchange_result = 0;   // result of the last routing: 1 a node gained water from the aquifer
    int chan_idle_steps = 0;        // consecutive channel steps found idle
    double chan_reference_volume = 0.0;  // channel volume the idle test compares with (0: none), m3
    double chan_event_short_step = 60.0; // short channel step set at an event start with 2-D groundwater, s
    double vol_xy_stream_boundary = 0.0;    // water added through stream XY boundary points, m3
    double event_start_vol_xy_stream_boundary = 0.0;  // vol_xy_stream_boundary at the event start, m3
    double event_vol_xy_stream_boundary = 0.0;        // water of the stream XY points in the event, m3
    node_array xy_stream_q;                 // discharge of the stream XY points at each node [node][link], m3/s (empty: none)
    double chan_step_outlet_volume = 0.0;   // water that left the outlet node in the last channel step, m3
};
