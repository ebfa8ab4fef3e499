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
};
