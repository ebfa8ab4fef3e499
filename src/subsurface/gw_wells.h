// Active wells of the two-dimensional groundwater model.
#pragma once
#include <vector>

struct run_state;
struct well_record;

// Places every well of the index map: for each cell with a well ID, the
// table row of that ID becomes an active well (newest first) whose id is the
// cell number. An ID without a table row prints a message naming the map and
// the grid row and column and sets code 4000; the remaining wells are still
// placed. Empties `table`. False after an unknown ID.
bool place_wells(run_state& rs, std::vector<well_record>& table, const std::vector<int>& well_ids,
                 const char* map_name);

// Rate of every active well at Julian time `time` (days), m3/s pumped out,
// divided by the cell area (m2) into rate[cell] (m/s). A series that cannot
// be evaluated is recorded by the series look-up and gives 0.
void well_rates(const run_state& rs, std::vector<double>& rate, double time);

// Releases the active wells.
void free_wells(run_state& rs);
