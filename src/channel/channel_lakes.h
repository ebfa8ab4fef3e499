// Channel-network lakes: extent, levels and cells from their volume change,
// and open-water evaporation.
//
// A lake takes grid cells in the fixed search order of its LAKE block as it
// rises and gives them back in reverse order as it falls; its water surface is
// flat over the cells it holds (area = cells x cell_size^2). The cells flooded
// at set-up lead the search order (the channel reader puts them first).
#pragma once

struct run_state;

// Turns each lake's volume change since its last update (lake_volume -
// prevlake_volume, m3) into a new level (m), area (m2) and cell set. A newly
// taken cell's surface water (ov_depth, m) moves into the lake; a released
// cell keeps whatever surface water it holds. A lake that would take a cell
// of another lake stops the run (code 4000). Lakes without search cells keep
// their level.
void update_lake_cells(run_state& rs);

// Open-water evaporation of every lake over one hydrometeorological record
// (wind speed m/s, air temperature deg C, relative humidity %), never more
// than the lake holds; booked in cumulative_lake_evap and
// vol_lake_evaporation (m3); then update_lake_cells.
void lake_evaporation(run_state& rs, double wind, double air_temp, double humidity);

// Moves the lakes' inflow and outflow volumes since the last call (lake_in_dv,
// lake_out_dv, m3) into the run and event totals and clears them.
void move_lake_volumes_to_totals(run_state& rs);
