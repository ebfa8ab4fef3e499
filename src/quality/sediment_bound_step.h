// Sediment-bound constituents in a run: set-up, the hooks the overland and
// channel sediment steps call as sediment leaves a cell or crosses a node
// face, and the stores the mass balance reads. The time-loop steps
// (step_sediment_bound_sources, step_channel_sediment_constituents) are
// declared with the other constituent steps.
#pragma once

struct run_state;

// Sizes the sorbed stores and the sediment-volume rows when the run carries
// sediment-bound constituents (card sediment_contam with soil erosion and
// overland constituents; nothing otherwise). Called once the constituent and
// channel stores are set up.
void init_sediment_bound_state(run_state& rs);

// Sediment of class `cls` (volume m3) left cell `cell` for node `node` of
// link `link` in the grid-to-channel hand-over: the cell gives the mass
// sorbed on it (at the cell's sorbed concentration, at most what the cell
// holds), which waits at the node for the next channel step of the sorbed
// mass, or leaves the watershed when the channels carry no constituents.
void hand_sorbed_mass_to_node(run_state& rs, int cell, int link, int node, int cls,
                              double volume);

// Adds the wash-load face volumes of the channel step just taken to those
// the sorbed mass will follow at its next step.
void gather_wash_faces(run_state& rs);

// Sorbed mass now held, g: on the suspended sediment of the cells, and
// attached to the wash load of the channel nodes (with what waits to join
// it) and to the suspended sediment of the channel-network lakes;
// constituent i.
double sorbed_overland_mass(const run_state& rs, int i);
double sorbed_channel_mass(const run_state& rs, int i);
