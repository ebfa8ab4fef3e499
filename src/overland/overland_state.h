// Members of the run state owned by the overland subsystem.
#pragma once
#include <vector>
#include "core/file_object.h"

struct overland_state {

    // Overland switches copied from the project cards (read_run_parameters)
    int ov_boundary = 0;            // overland boundary conditions (ov_boundary card)
    int xy_ov_boundary = 0;         // XY overland depth boundary read (xybdyinput_ovdep)
    int ov_pump = 0;                // overland pumps (ov_pump card given)
    int dike_map = 0;               // dike map given
    int lowspot_file = 0;           // low-spot file given
    double manning_n = 0.0;         // uniform Manning roughness, s/m^(1/3)
    int manning_n_given = 0;        // manning_n card given
    int roughness_given = 0;        // roughness from a map or the mapping table
    int retention = 0;              // uniform retention depth given
    int reten_depth = 0;            // retention depth map given
    double uniform_retention = 0.0; // uniform retention depth as given by the card (0 when none)
    int overtype = 0;               // overland scheme: 1 explicit, 2 ade, 3 ade-pc
    int lakes = 0;                  // overland lakes (overland_lake_map given)
    int wetlands = 0;               // the mapping table holds the wetland section
    int area_reduction = 0;         // area reduction map given

    int ov_sweep = 1;               // sweep handed to the overland scheme, alternates 1, 2, 1 ...
};
