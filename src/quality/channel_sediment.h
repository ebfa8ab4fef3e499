// Channel sediment: set-up of the channel and lake sediment arrays, the sand
// (bed material) step with its transport capacity and bed update, and the
// depth-table interpolation of break-point sections.
#pragma once

struct run_state;
struct chan_sed_record;

// Sand transport capacity (m3/s of solids, sign of Q) of a node with flow
// area `area` (m2), wetted perimeter `perimeter` (m), slope `slope` (m/m, its
// magnitude is used), discharge Q (m3/s), bed grain diameter d (m) and water
// viscosity nu (m2/s), by a unit-stream-power law with a critical velocity.
// 0 for an empty section, a zero slope, a shear Reynolds number below 1.2 or
// a velocity ratio at or below its critical value.
double sand_capacity(double area, double perimeter, double slope, double Q, double d, double nu);

// Bed change (m, + up) of an erodible trapezoid node of bottom width b (m),
// side slope z (-), node length dx (m), porosity p (-) and erodible depth e
// (m) whose sand store is `store` (m3 of solids), measured against its
// initial store (1 - p) e b dx: an excess fills the trapezoid layer above
// the bed, a deficit lowers the bed over the bottom width, at most by e.
double sand_bed_change(double store, double b, double z, double dx, double p, double e);

// Flow area (m2) and wetted perimeter (m) of break-point node (node, link)
// at `depth` (m) from its section's depth tables; false when the node has no
// usable table.
bool interpolate_xsec_area_perimeter(const run_state& rs, int node, int link, double depth,
                                     double& area, double& perimeter);

// Sizes the channel sediment arrays for the run's network and classes and
// fills the initial sand stores of the erodible links (called by the channel
// set-up when channel sediment is on).
void alloc_channel_sediment_arrays(run_state& rs);

// One channel step of sand transport over dt seconds: lateral sand intake,
// capacities, movement between node stores (to the next node, across
// junctions and structures, into lakes and out of the outlet), store totals
// and the bed update of erodible trapezoid links.
void transport_channel_sediment(run_state& rs, double dt);

// Sand held by the node stores of the network, m3 of solids.
double channel_sand_total(const run_state& rs);
