// Rain to cells: the rain intensity of every watershed cell from the gages
// (inverse distance squared or nearest gage), a radar grid or uniform rain.
// Intensities are m/s; positions m. Every kernel loops over cells 1..GNUM in
// parallel (static schedule), each iteration writing only its own cell.
#pragma once
#include <vector>

#include "core/checked_array.h"

struct run_state;

// Intensity of every cell from the gage values of `period` weighted by the
// inverse squared distance from the cell centre to each gage. A gage closer
// than dx (m) to the centre gives the cell its own value (the first such gage
// in gage order); with a single gage every cell takes its value.
void interpolate_gages(double dx, int period, int num_gages, const std::vector<double>& gage_x,
                       const std::vector<double>& gage_y, const checked_array_2d<double>& gage_values,
                       const checked_array<double>& cell_x, const checked_array<double>& cell_y,
                       std::vector<double>& cell_rain_rate, int GNUM);

// Intensity of every cell = the value of its nearest gage for `period`
// (gage 1 when there is a single gage).
void fork_gage_rain_to_cells(int period, int num_gages, const std::vector<int>& nearest,
                             const checked_array_2d<double>& gage_values,
                             std::vector<double>& cell_rain_rate, int GNUM);

// nearest[k] = the gage nearest to the centre of cell k (the lower gage
// number on equal distances). A cell farther than 900,000 m from every gage
// gets 0; then the first such cell is reported and code 4000 set. Returns
// true when every cell has a gage.
bool build_nearest_gage_table(int num_gages, const std::vector<double>& gage_x,
                              const std::vector<double>& gage_y, const checked_array<double>& cell_x,
                              const checked_array<double>& cell_y, std::vector<int>& nearest,
                              int GNUM);

// Ends the event's rain: the rain switch off, rain_state 1 -> 0 (2 -> 3, no
// further event), and every cell's intensity (and ri_eff) cleared.
void end_event_rain(run_state& rs);

// Sets every cell's intensity rs.cell_rain_rate to `rate` (m/s).
void set_uniform_cell_rain(run_state& rs, double rate);
