// Overland pumps (card ov_pump) and the running maximum depth of the flood
// grid (card flood_grid).
#pragma once

struct run_state;

// Start-up: reads the overland pump file of the ov_pump card, one pump a
// line, "cell TS|ELEV series": the cell number (1..GNUM), TS for a rate (m3/s)
// from a time series or ELEV for a rate from an elevation series of the
// cell's depth (m), and the series name (series read from the
// time_series_file / elev_series_file cards). Blank lines are skipped. A file
// that cannot be opened gives code 83; a bad line a message naming the file
// and line (code 4000). With flood_grid on, sizes max_ov_depth to zero.
void read_overland_pumps(run_state& rs);

// Takes the pumped water out of the pumped cells for a step of dt seconds, in
// file order, at most the water a cell holds; a negative rate adds water. The
// net volume taken out (m3) is added to vol_ov_pumps.
void apply_overland_pumps(run_state& rs, double dt);

// Keeps the running maximum depth per cell (card flood_grid), m.
void update_max_depth(run_state& rs);
