// Members of the run state owned by the quality subsystem.
#pragma once
#include <vector>
#include "core/file_object.h"

struct quality_state {

    // Transport switches copied from the project cards (read_run_parameters)
    int nsm_on = 0;                 // nutrient sub-model on
    struct nsm_model* nsm = nullptr;  // nutrient container; owned by rs.cards, released with it
    int overland_constituents = 0;  // overland constituent transport (ov_con_trans)
    int ov_con_trans = 0;           // the same card value
    int contaminant_table_option = 0;  // contaminant table read (set with ov_con_trans)
    int ov_con_mass_budget = 0;     // overland constituent budgets kept (set with ov_con_trans)
    int all_contam_output = 0;      // output of every constituent
    int contam_map = 0;             // contaminant map given
    int soil_con_trans = 0, soil_static_conc = 0, sediment_contam = 0;  // soil and sediment-bound constituents
    double ov_decay_coef = 0.0, ov_disp_coef = 0.0, ov_mass_load = 0.0, ov_uptake_rate = 0.0;  // card values
    double kinetics_timestep_factor = 0.0;  // constituent kinetics sub-step factor
    int chan_con_trans = 0;         // channel constituent transport
    int global_con_summary = 0;     // global transport summaries (chan_con_trans 1)
    double first_order_chan_q = 0.0, chan_decay_coef = 0.0, chan_disp_coef = 0.0,
           init_chan_conc = 0.0;    // channel constituent card values
    int soil_erosion = 0;           // overland soil erosion on (soil_erosion card given)
    int adjust_channel_bed = 0;     // channel bed change on
    int channel_sediment = 0;       // channel sediment transport (explicit routing with soil_erosion)

    // Clock copies of the transport processes (Julian days; intervals in s and days)
    double con_chan_last = 0.0, con_chan_next = 0.0;   // channel constituent transport
    double nsm_chan_last = 0.0, nsm_chan_next = 0.0;   // nutrient sub-model, channel
    double nsm_rain_step_seconds = 0.0, nsm_rain_step_days = 0.0, nsm_rain_last = 0.0,
           nsm_rain_next = 0.0;                        // nutrient sub-model, rain
    double ov_con_step_seconds = 0.0, ov_con_step_days = 0.0;  // overland constituents interval
    double ov_con_rain_last = 0.0, ov_con_rain_next = 0.0;     // overland constituents, rain clock
    double ov_con_infil_last = 0.0, ov_con_infil_next = 0.0;   // overland constituents, infiltration clock

    // Constituent run defaults
    int con_sweep = 1;              // sweep handed to the overland constituent transport, alternates
    char con_output_name[1024] = "con_output";  // channel constituent output file name
    int contaminant_count = -1;     // number of contaminants, -1 until the table loader sets it
};
