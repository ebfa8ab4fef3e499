// Channel network set-up and routing step.
#pragma once
#include "channel/chan_point_inputs.h"

struct run_state;

// Start-up: reads the channel input file (and the grid-stream file) and
// builds the node state, hotstart levels, grid-stream coupling and cell-to-node
// connection of the network; calls the output location readers. Acts only
// with explicit channel routing; a failure raises the stop flag.
void setup_channel_network(run_state& rs);
// Start-up, after every reader: stream head boundary, node hydraulics from the
// levels, the initial channel volume and the channel point inputs.
void init_channel_state(run_state& rs);
// Time-loop step at the channel update time (explicit routing): lateral
// inflow from the stream cells, the channel-network lakes, explicit routing
// of the network over the elapsed channel step, the step's volumes (lateral
// totals, outlet discharge into vol_discharge and the event outflow), qlat
// cleared, the next channel time, and in long-term runs the idle clock. At its
// first call of a run it refuses a largest Courant number of 0 or below.
void route_channels(run_state& rs);

// Parts of the set-up.
// Levels (and areas) of the channel hotstart file, link by link and node by node.
void read_channel_hotstart(run_state& rs);
// Grid rows and columns and exchange arrays of the grid-stream entries.
void setup_grid_stream(run_state& rs);
// Level and depth of the outlet node (last node of the last link) from the
// stream head boundary; gives 0.
int apply_stream_head_boundary(run_state& rs);
