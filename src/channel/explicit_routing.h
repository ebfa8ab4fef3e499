// Explicit diffusive-wave routing of the channel network over one channel
// step, in Courant-limited predictor-corrector sub-steps.
#pragma once
#include "channel/node_array.h"

struct run_state;

// Volumes of one channel step (m3).
struct route_volumes {
    double outlet = 0.0;         // water that left the outlet node
    double xy_boundary = 0.0;    // water added through stream XY boundary points
    double lateral_in = 0.0;     // lateral water into the channels (positive parts)
    double lateral_out = 0.0;    // lateral water out of the channels (negative parts, <= 0)
    double overbank_gain = 0.0;  // overbank water given back to head-boundary cells
    double overbank_loss = 0.0;  // overbank water taken back from head-boundary cells
};

// Volumes of one continuity update (m3).
struct node_update_volumes {
    double lateral_in = 0.0;   // sum of the positive lateral volumes
    double lateral_out = 0.0;  // sum of the negative lateral volumes (<= 0)
    double xy_boundary = 0.0;  // stream XY boundary volume
    double point_in = 0.0;     // water added by node point-source series and the head-link feed
    double point_out = 0.0;    // water they took (as a positive volume)
    double point_unmet = 0.0;  // point withdrawals the nodes could not give, m3
};

// Routes the network over a channel step of dt_c seconds and fills `v` with
// the step's volumes. `boundary_type` gives each cell's overland boundary
// type (null when not in use), read by the overbank return. Returns the
// stream-aquifer exchange result (0 without exchange), or -1 after a fatal
// error (message printed, code 4000 raised through report_error).
int ex_flow_route(run_state& rs, double dt_c, route_volumes& v, const int* boundary_type = nullptr);

// Continuity of every routed node over a sub-step of dt seconds with the
// node flows `flows` (m3/s): writes the new flow areas into `areas` (m2) in
// place. dt_c is the channel step (s) and time the current time (Julian
// days) of the node point sources.
node_update_volumes update_node_areas(run_state& rs, const node_array& flows, node_array& areas,
                                      double dt, double dt_c, double time);

// Refuses routing settings that cannot work: a largest Courant number of 0
// or below. Prints the message naming the card, raises code 4000 and returns
// false.
bool check_channel_routing_settings(run_state& rs);
