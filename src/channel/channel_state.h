// Members of the run state owned by the channel subsystem.
#pragma once
#include <vector>
#include "core/file_object.h"

struct channel_state {

    // Channel switches copied from the project cards (read_run_parameters)
    int chan_explic = 0;            // explicit diffusive-wave channel routing
    int chan_drain = 0;             // drain channel initialisation
    int chan_drain_only = 0;        // drain method alone
    int chan_mesh = 0;              // mesh channel routing
    int chan_preiss = 0;            // Preissmann routing asked for (refused by the option check)
    double max_courant_number = 0.0;  // largest channel Courant number
    int overbank_flow = 0;          // overbank exchange with the grid
    double overbank_max_dv = 0.01;  // largest overbank exchange per step, m
    int overland_backwater = 0;     // overland backwater from the channel
    int stream_cell_on = 0;         // grid-stream connection used
    int head_bound = 0;             // head boundary at the outlet
    double bound_depth = 0.0;       // outlet boundary depth, m
    int bound_ts = 0;               // outlet boundary time series given
    double k_river = 0.0;           // river bed conductivity (card value)
    double m_river = 0.0;           // river bed thickness (card value)
    double m_lake = 0.0;            // lake bed thickness (card value)
    int hotstart_is_depth = 0;      // channel hotstart holds depths
    int chan_hotstart_write = 0;    // write the channel hotstart at the end
    int chan_hotstart_read = 0;     // read the channel hotstart at the start
    int chan_backwater = 0;         // backwater channel initialisation (refused together with drain)
    int channel_has_water = 0;      // the channel is active (routed from the start of the run)

    // Channel-network lakes (LAKE links), used from 1
    int channel_lakes = 0;          // the network has lakes
    int num_channel_lakes = 0;      // number of lakes
    std::vector<double> lake_initwse;  // initial water surface of each lake, m
    std::vector<double> lake_minwse;   // minimum water surface of each lake, m

    int chan_first_call = 1;        // the channel step fills its one-time tables while set
};
