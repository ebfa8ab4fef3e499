// The Richards soil columns over a moving water table (two-dimensional
// groundwater under inf_richards).
//
// Every column lies on a fixed grid of nodes from the ground down (the
// soil's layers with their spacings, then the aquifer material below the
// soil: layer 3's functions with the aquifer porosity and the spacing
// aquifer_delta_z). Its unsaturated nodes reach the water table, the last
// one cut at the table, and one saturated node below the table holds the
// bottom head. After each groundwater step the column is re-laid to the new
// table:
//   - a table at or above the ground leaves one saturated node; the column's
//     water goes to the aquifer;
//   - a rising table shortens the column; the water of the part now below
//     the table stays in the last unsaturated node, and whatever lifts a
//     node above saturation (walking up from the table) goes to the aquifer;
//   - a falling table lengthens it; the new part holds the content in
//     equilibrium with the new table (head = -height above it), taken from
//     the aquifer.
// The aquifer receives exactly the change of the water held in the
// unsaturated nodes, so soil and aquifer together keep their water. The
// aquifer's storage coefficient is the mean saturated content of the ground
// the table crosses (1 above the ground).
// Depths and thicknesses in cm below the ground, heads in m (aquifer) or cm
// (columns), contents in m3/m3.
#pragma once
#include <vector>

struct run_state;

// Per-thread scratch of the re-layout (old node bounds and contents).
struct richards_relayout_work {
    std::vector<double> top, bottom, theta;   // cm, cm, m3/m3
};

// Storage coefficient (-) of cell i for a head going from h0 to h (m): the
// mean saturated content of the ground between the two table depths, on the
// cell's node grid (1 above the ground); at h = h0 the content at the table.
double gw_layer_average(const run_state& rs, int i, double h0, double h);

// Re-lays the column of cell i to its current head (rs.elevgw). Returns the
// water the unsaturated nodes gave to the aquifer, cm over the cell
// (negative when they took it). Sets yes_exfil of the cell.
double gw_soil_profile(run_state& rs, int i, richards_relayout_work& w);

// Start-up, once the aquifer maps are read: the nodes below the soil take
// the aquifer's material and the content in equilibrium with their head.
void couple_richards_to_aquifer(run_state& rs);

// After a solved groundwater step: every column follows the new head (a
// fixed-head column only when a held head moved it away from gw_head_prev,
// m); the water moved goes to gw_unsat_exchange (the aquifer takes it at its
// next step), or across the boundary of a fixed-head cell, and to the
// exchange totals; exfiltration marks are set.
void adjust_richards_to_table(run_state& rs);
