// Output set-up at the start of a run: the built-in map datasets, the
// stream and storm-drain link/node dataset headers, and the readers of the
// output location lists.
#pragma once

struct run_state;

// Time-loop passes per output interval, never below 1 (a truncated interval
// of 0 passes would make every modulo test divide by zero).
int output_interval_steps(int steps);

// Number of passes of a time-loop counter value test: true when `step` is a
// multiple of the passes per interval.
bool output_step_due(int step, int steps_per_output);

// Opens each switched-on built-in map dataset (kinds in the order 0, 1, 2,
// 12, 13, 3, 4, 5, 6, 7, 8, 9, 10, 11, 14), then the snow-temperature map,
// and sizes the map source arrays. Failures: code 59 with the path.
void open_map_datasets(run_state& rs);
// Begins the dataset of one built-in kind by the map type.
void open_map_dataset_kind(int kind, run_state& rs);
// Dataset name and id of a built-in kind (null / 0 outside 0..14).
const char* map_kind_name(int kind);
int map_kind_id(int kind);
// True when the card of a built-in kind switches it on.
bool map_kind_on(const run_state& rs, int kind);
// File name given on the card of a built-in kind ("" when none).
const char* map_kind_card_name(const run_state& rs, int kind);

// Headers of the switched-on stream and storm-drain link/node datasets.
void write_linknode_headers(run_state& rs);
// TIME_STEP (whole minutes) and NUM_TS of the stream link/node headers.
int linknode_time_step_minutes(const run_state& rs);
int linknode_time_steps(const run_state& rs);

// Location-list readers (called by the channel set-up, in this order, once
// the network is read; read_soil_moisture_output_cells and
// read_cell_output_locations, whose cells need only the grid, by the input
// step, with or without channels). read_hydrograph_locations sets
// hyd_locations_on and sizes the per-location peaks and volumes.
// Each reads from the list file opened at start-up, checks every entry
// against the network or the grid, and stops the run (code 4000 after a
// message naming the file) on a short or bad list.
void read_hydrograph_locations(run_state& rs);
void read_gw_flux_locations(run_state& rs);
// With channel sediment and in_sed_loc: the sediment locations, their series
// file (out_sed_loc, headed by the list) and, with out_tss_loc, the
// concentration file.
void read_sediment_hydrograph_locations(run_state& rs);
void read_cell_output_locations(run_state& rs);
void read_superjunction_locations(run_state& rs);
void read_superlink_node_locations(run_state& rs);
void read_soil_moisture_output_cells(run_state& rs);

// Finishes every begun built-in dataset at the end of a run (dataset mode):
// 210 for binary datasets, "ENDDS\n" for ASCII ones; then closes them.
void close_map_datasets(run_state& rs);
