// Stream boundary points of an inset model: the outer model's discharge
// added at channel nodes (points read from the xybdyinput_stflow and
// xybdyinput_sttimeseries files).
#pragma once

struct run_state;

// Channel set-up: checks the link and node of every placed point (a routed
// channel link, a node of it) and places every other point on the routed
// node whose centre (the midpoint of its two X_Y points, m) lies nearest,
// refusing a point with no node within one cell size. Sizes the per-node
// discharges. Failures name the file and line and set code 4000.
void locate_stream_xy_points(run_state& rs);

// Each channel step: the discharge (m3/s) of every point at the current
// time, summed per node into rs.xy_stream_q.
void set_stream_xy_discharges(run_state& rs);
