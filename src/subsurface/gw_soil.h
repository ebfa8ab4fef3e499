// The soil column of the redistribution and layered Green-Ampt schemes over a
// moving water table. After every groundwater step the column (ground down to
// the table or to the soil bottom, whichever is higher) follows the table:
//   - a table at or above the ground empties the column into the aquifer;
//   - a rising table shortens the column, which keeps its water;
//   - a falling table lengthens it, the new part holding the retained
//     (drained) content, taken from the aquifer;
//   - a column whose mean content exceeds its porosity gives the excess to
//     the aquifer, one below its residual content takes the shortfall from it;
//   - the zone between the soil bottom and a deeper table holds the retained
//     content `below`; its change as the table moves is exchanged with the
//     aquifer.
// Every depth the column gains or loses is returned for the aquifer, so soil,
// zone and aquifer together keep their water.
#pragma once

struct run_state;

// Soil of one cell as the table adjustment sees it.
struct table_soil {
    double depth = 0.0;         // soil depth Ds, cm
    double layer1 = 0.0;        // thickness of the upper part of the column, cm
    double drained[2] = {};     // content retained above the table, upper / lower part, m3/m3
    double porosity[2] = {};    // upper / lower part, m3/m3
    double residual[2] = {};    // upper / lower part, m3/m3
    double below = 0.0;         // content retained between the soil bottom and the table, m3/m3
};

// Soil column of one cell.
struct table_column {
    double front = 0.0;   // depth of the column (wetted zone above the table), cm
    double water = 0.0;   // water held in the column, cm (upper + lower)
    double upper = 0.0;   // of which in the upper part, cm
    double lower = 0.0;   // of which below the upper part, cm
};

// What one adjustment moved.
struct table_move {
    double recharge = 0.0;   // column water handed to the aquifer (+) or taken from it (-), cm
    double exchange = 0.0;   // water of the zone below the soil handed to the aquifer (+), cm
    bool at_ground = false;  // the table stands at or above the ground
};

// Moves the column of a cell whose table went from `old_depth` to
// `new_depth` below the ground (cm; at or below 0 means at or above the
// ground).
table_move adjust_soil_to_table(const table_soil& s, table_column& col, double old_depth,
                                double new_depth);

// The soil of cell i for the running scheme (redistribution: soil_moist_depth,
// top_layer_depth, phi, thr, thi; layered: the cell's soil record, field
// capacity retained). False when the cell has no usable soil.
bool cell_table_soil(const run_state& rs, int i, table_soil& out);

// After a solved groundwater step: every cell's column follows the new head
// (gw_head_prev -> elevgw); recharge goes to gw_recharge_depth, the zone
// exchange to gw_unsat_exchange, exfiltration marks are set. Only for
// inf_redist and inf_layered_soil.
void adjust_soils_to_table(run_state& rs);

// Water-table water brought to (m > 0) or taken from (m < 0) the surface of
// cell i, m over the cell: taken from the aquifer when its heads are solved
// (a fixed-head cell supplies it across its boundary).
void take_exfiltration_from_aquifer(run_state& rs, int i, double m);

// End of the run: the recharge, zone and channel exchange gathered since the
// last groundwater step are booked into the aquifer's stored water and the run
// totals, as the next step would have taken them. Clears them; a second call
// adds nothing.
void book_pending_groundwater(run_state& rs);
