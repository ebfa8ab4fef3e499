// Exchange between the aquifer and the channel nodes.
#pragma once

struct run_state;

// Stream-aquifer exchange of every node, rs.qriv [node][link] (m2/s, + from
// the aquifer into the channel), and of every grid-stream segment,
// rs.gst_qriv. Returns 1 when some node gains from the aquifer, 2 when the
// aquifer only takes water from nodes that hold water, 0 when nothing is
// exchanged or after an error (message naming node and link, code 4000).
int exchange_channel_aquifer(run_state& rs);

// Exchange width (m) of a node at depth d (m): trapezoid bottom + 2 d side
// slope, or the top width of its break-point table. Sets code 4000 (message
// printed) and gives 0 for a table number beyond the tables.
double exchange_width(const run_state& rs, int node, int link, double d);
