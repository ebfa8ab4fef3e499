// Channel point inputs: flows added to (or taken from) chosen channel nodes,
// changed at dated times (card chan_point_input).
//
// The file is read and checked whole at start-up; the time loop only moves
// from one record to the next. Routing applies the flows in force: a point on
// a routed node enters that node's continuity, a point on a lake link or on a
// node a lake has taken feeds that lake. A withdrawal never takes more than
// the node or lake holds; the rest is booked as unmet.
#pragma once

struct run_state;

// Start-up: reads the channel point-source file named by the card, checks
// every point and record, and puts the POINT values in force. Bad input prints
// a message naming file and line and raises code 4000.
void init_chan_point_inputs(run_state& rs);

// Time-loop step after channel routing: every record dated at or before the
// current time (within the time tolerance) is put in force, the last one
// winning, so a record dated between two steps applies from the next step.
void read_chan_point_inputs(run_state& rs);

// Puts record `record` (0 = the POINT values) into rs.chan_point_q.
void apply_chan_point_record(run_state& rs, int record);

// Lake that receives the point input of node `node` of link `link`: the lake
// of a lake link, the lake holding an overtaken link, or the lake that took
// the node; 0 when the node is routed as a channel node.
int chan_point_lake(const run_state& rs, int node, int link);

// Moves the lake point inputs of a channel step of `dt` seconds into the lake
// volumes (a withdrawal stops at the lake's water, the rest booked unmet).
void apply_lake_point_inputs(run_state& rs, double dt);
