// The channel input file and the grid-stream file: the reader that builds the
// link/node network of the run state (link types, connections, node
// geometry, cross-sections, hydraulic structures, pumps, point sources and
// lakes) and the grid-stream coupling entries.
#pragma once

struct run_state;
struct file_object;
struct chan_pump;

// Reads the open channel input file `chan_file` (and, when rs.stream_cell_on,
// the open grid-stream file rs.stream_cell_file) into the network members of
// the run state and prints the "Channel input data:" summary. Returns 1 when
// the file has an MLAKE card (lake losses on), else 0. Every failure prints a
// message naming the file and raises its code (4000 through report_error, or
// 85 to 90 with the stop flag for a structure series); the caller tests
// error_record.stop.
int read_chan_input(run_state& rs, file_object& chan_file);

// Builds a channel pump from the rest of a PUMPTO line (two integers, flow type
// "ELEV..." or "TS...", series name) and puts it first on the pump list. A
// wrong flow type prints its message, raises code 4000 and gives null.
chan_pump* read_chan_pump(run_state& rs, char* line, int link, int link_type);

// Reads the open grid-stream file into the gst_ members (called by
// read_chan_input once the network is known). 1 read; 0 after an error
// (raised), a file that does not begin with GRIDSTREAMFILE among them.
int read_grid_stream_file(run_state& rs, file_object& gst);

// The lake search order [lake][plane 0..3][point 0..points], all zero.
void alloc_lake_search(run_state& rs, int lakes, int points);
// The node grids of point-source series and pumps, all null.
void alloc_stream_pointsource(run_state& rs);
void alloc_stream_pumps(run_state& rs);
