// Map output at the map interval: the switched-on built-in maps as one
// ASCII grid per time or as dataset blocks, then the nutrient, constituent
// and snow-temperature map outputs.
#pragma once
#include <vector>

struct run_state;

// The time-loop step: writes when the pass counter is at least 1 and
// (counter - 1) is a multiple of the passes per map output, so the first
// maps follow the first time step.
void write_map_output(run_state& rs);

// True when the run writes maps at the map interval: a built-in map kind
// of the interval, a constituent, nutrient or snow-temperature map.
bool map_output_on(const run_state& rs);

// True when write_map_output writes at this pass counter.
bool map_output_due(int step, int steps_per_output);

// The depth output array: the overland depth of every cell; in channel-lake
// cells the lake's water level minus the ground elevation (m).
void map_copy_rows(run_state& rs);

// Cell discharge of every cell from its two face discharges (m3/s).
void map_fill_discharge(run_state& rs);

// Source array of a built-in map kind (an empty array when it has none).
const std::vector<double>& map_kind_source(const run_state& rs, int kind);

// Writes the grid of the largest overland depth of the run (card flood_grid,
// m) at the end of the run: one last step of its dataset when map datasets are
// written, else an ASCII grid into the card's file. A file that cannot be
// opened prints its name and sets code 4000.
void write_flood_grid(run_state& rs);
