// Members of the run state owned by the stormdrain subsystem.
#pragma once
#include <vector>
#include "core/file_object.h"

struct stormdrain_state {

    // Storm-drain switches copied from the project cards (read_run_parameters)
    int superlink = 0;              // storm-drain network simulated (storm_sewer given)
    int superlink_c_opt = 0, high_head_release = 0, superlink_drainmod = 0;  // solver options
    int superlink_junc_location = 0, superlink_node_location = 0, superlink_junc_flow = 0,
        superlink_node_flow = 0;    // storm-drain location lists and outputs given
    int leaky_pipes = 0;            // tile drains on (some pipe has a conductivity above 0)

    // Network size (filled by the storm-drain set-up; read by the output headers)
    int n_slink = 0;                // number of superlinks
    int n_sjunc = 0;                // number of superjunctions

    // Event control
    double superlink_storage = 0.0; // water stored in the storm-drain network, m3
    int superlink_event_begun = 0;  // an event has begun for the storm-drain step

    // Storm-drain water totals of the run (m3)
    double vol_drains_init = 0.0;         // water stored in the network at the start of the run
    double vol_ov_to_drains = 0.0;        // surface water captured by inlets
    double vol_drains_to_ov = 0.0;        // water returned to the surface
    double vol_drains_to_channels = 0.0;  // water delivered to channel nodes
    double vol_gw_to_tile = 0.0;          // groundwater into tile drains
};
