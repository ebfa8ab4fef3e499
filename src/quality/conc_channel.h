// Channel water-quality routing of one dissolved constituent.
#pragma once

struct run_state;

// Turns the pending amounts of node (link, node) of constituent i into one
// source rate (g/s) over an interval of x s: the decay is a loss limited to
// what the node holds, the lateral mass a gain. What is taken is booked in
// the step totals.
double balance_node_sources(run_state& rs, int i, int link, int node, double x);

// Advances the node masses and concentrations of constituent i over x s by
// advection (upwind) and dispersion, in equal sub-steps that keep every
// node's outflow at most half its water, D dt / DX2 at most 0.5 (and at
// least 0.1 s), ending at x; each sub-step a predictor and up to 100
// corrector passes. The outlet node's outflow carries the node's
// concentration of each sub-step (booked in the step's outlet total). Sources come from the work row `src` (g/s). A node that
// dries keeps its mass (concentration 0); a negative mass is raised to 0 and
// booked in the step's clip total. Returns the number of sub-steps.
int route_channel_water_quality(run_state& rs, int i, double x);

// Transport link downstream of link l's last node (through structure links),
// 0 at the outlet or when the water goes into a link that carries nothing.
int downstream_transport_link(const run_state& rs, int l);
