// The channel sediment step of the channel routing and its bookkeeping and
// outputs: the hand-over of suspended sediment from stream cells to their
// nodes, the event start values, the outlet sediment rows, the sediment flux
// dataset, the channel blocks of the summaries and the bed-elevation file.
#pragma once

struct run_state;

// Suspended sediment of every stream cell goes to the nodes of its
// grid-stream segments in the share of the cell's water that the segment
// took into the channel in the step (gst_qlat x dt over the water the cell
// held before); the cell loses what its nodes gain. Fills qlat_sed (m3 per
// size class); false after a stop (a value that is not a number).
bool hand_sediment_to_channels(run_state& rs, double dt);

// One channel step of dt seconds with channel sediment on: the hand-over,
// sand transport, wash-load advection, the step's totals; clears the step's
// face volumes and lateral sediment.
void step_channel_sediment(run_state& rs, double dt);

// Event start: the channel and lake stores become the event's initial values
// and the event totals are cleared.
void start_channel_sediment_event(run_state& rs);

// Wash load held by the channel nodes, m3 of solids.
double channel_wash_total(const run_state& rs);

// Outlet sediment row of a run with channel sediment (time, the outlet rate
// of every size class, then the outlet wash-load rates: total and per fine
// class), m3/s (ft3/s in English units).
void write_channel_outlet_sediment_row(run_state& rs, double time);

// Rows of the sediment location series (time, then per location the flux of
// every size class and the wash-load flux, total and per fine class, m3/s)
// and of the concentration series (g/m3 of wash load).
void write_sediment_location_rows(run_state& rs, double time);

// Channel sediment block of the event summary, and of the run summary with
// the bed-elevation file (a file that cannot be opened stops the run).
void write_event_channel_sediment(run_state& rs);
void write_run_channel_sediment(run_state& rs);

// Writes "new_bed_elevations.txt" into the output folder; false after a stop.
bool write_new_bed_elevations(run_state& rs);
