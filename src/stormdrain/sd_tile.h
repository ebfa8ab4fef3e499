// Tile drains: leaky pipes of the storm-drain network that take groundwater
// from the cells of the grid-pipe file.
#pragma once

struct run_state;

// Builds the tile network of the aquifer exchange from the pipes and the
// grid-pipe cells; false after a message (a leaky pipe whose end node has
// no cell).
bool setup_tile_drains(run_state& rs);

// Tile inflow of every pipe for an interval of dt seconds (0 unless the
// groundwater solver moves the aquifer); the water each cell's aquifer gives up goes to its
// tile-drain volume for the groundwater step (m3).
void exchange_tile_drains(run_state& rs, double dt);
