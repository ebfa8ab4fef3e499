// Cross-section update after a bed change on erodible break-point links.
//
// The change of a node's sand store since its reference (ch_sand_vol0 minus
// the current store, over 1 - porosity) is a bulk volume V (m3, > 0 erosion).
// The wet part of the node's section (below the highest level reached,
// max_yp) is lowered (V > 0) or raised (V < 0) until the change of section
// area times the node length dx equals V within 1e-5 relative: the thalweg
// moves by the whole change, pairs at the depth reached do not move. The
// node's working bed (new_bel) follows the section's lowest point; neither
// goes below min_bel (bel - max_eros, taken at the first update of the run).
#pragma once

struct run_state;

// Moves the sections and new_bel of every erodible break-point node; with
// `commit` the sections are stored, bel takes new_bel and the node's depth
// tables are rebuilt. `porosity` is the bed porosity (-). Returns 1, or 0
// after a stop (message printed, code 4000 raised), leaving the nodes not yet
// reached unchanged.
int xsec_update(run_state& rs, bool commit, double porosity);
