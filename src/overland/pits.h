// Pits of the land surface: cells whose ground lies below that of every
// neighbour across their four faces, where overland flow (which crosses the
// four faces only) leaves the water that gathers there standing.
#pragma once

struct run_state;

// Books the pits of the ground as it stands and the water on them now (the
// overland_state members pit_cells, pit_capacity, pit_deepest and
// vol_pits_final). Only neighbours inside the watershed count: no overland
// flow crosses the watershed's edge. The outlet cell, whose water leaves
// over OUTSLOPE, and the cells of overland and channel-network lakes, which
// hold their water as lake storage, are no pits.
void book_surface_pits(run_state& rs);
