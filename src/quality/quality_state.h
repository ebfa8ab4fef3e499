// Members of the run state owned by the quality subsystem.
#pragma once
#include <vector>
#include <string>
#include <memory>
#include "core/checked_array.h"
#include "core/file_object.h"
#include "quality/sediment_state.h"
#include "quality/constituent_store.h"
#include "output/map_dataset.h"
#include "output/linknode_dataset.h"
#include "quality/channel_sediment_state.h"
#include "quality/sediment_bound_state.h"

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
    long con_rain_loaded = 0;       // rain steps (rain_cell_volume_writes) whose load the constituents took
    char con_output_name[1024] = "con_output";  // channel constituent output file name
    int contaminant_count = -1;     // number of contaminants, -1 until the table loader sets it

    ov_sed_record ov_sed;           // overland sediment of a run with soil_erosion (on = 0 otherwise)
    chan_sed_record chan_sed;       // channel sediment of a run with soil erosion and channel routing

    // Sediment size classes (SEDIMENTS section of the mapping table), classes 1..sed_classes
    int sed_classes = 0;                     // number of sediment size classes
    std::vector<double> spec_grav;           // specific gravity of the class, -
    std::vector<double> part_diam;           // particle diameter of the class, mm (as the sediment formulas use it)
    std::vector<double> f_bind;              // binding fraction of the class, -
    std::vector<std::string> sed_output_filename;  // output file of the class

    // Soil erosion properties per cell 1..GNUM (SOIL_EROSION_PROPS section)
    std::vector<double> splash_K;            // rain-splash erodibility, units of the table
    std::vector<double> sed_K;               // flow erodibility, units of the table
    std::vector<double> detach_coef;         // detachment coefficient, units of the table
    std::vector<double> detach_crit;         // critical detachment value, units of the table
    std::vector<double> detach_exp;          // detachment exponent, -
    std::vector<std::vector<double>> soil_class_fract;  // [class 1..sed_classes][cell 1..GNUM] fraction of the soil, -

    // Contaminant tables (CONTAMINANT_TRANSPORT section): rows 1..contaminant_count, cells 1..GNUM
    checked_array_2d<double> contam_disp_coef;    // dispersion coefficient (table column 1), units of the table
    checked_array_2d<double> contam_decay_coef;   // first-order decay in overland water (column 2), units of the table
    checked_array_2d<double> contam_uptake_coef;  // surface-soil exchange coefficient (column 3), units of the table
    checked_array_2d<double> contam_land_load;    // land mass load (column 4), units of the table
    checked_array_2d<double> contam_init_conc;    // initial overland concentration (column 5), g/m3
    checked_array_2d<double> contam_soil_conc;    // surface-soil concentration parameter (column 6), units of the table
    checked_array_2d<double> contam_soil_kd;      // soil partition coefficient (column 7), l/kg
    checked_array_2d<double> contam_gw_conc;      // concentration of water entering from below (column 8), g/m3
    checked_array<double> precip_conc;            // concentration in rain per contaminant 1..n, g/m3
    checked_array<double> water_soil_partition_coef;  // Kd per contaminant 1..n, l/kg (0 without a PARTITION line)
    std::vector<std::string> contamdescriptions;  // description per contaminant 1..n (at most 298 characters)
    std::vector<std::string> contamoutputfilenames;  // output file per contaminant 1..n
    std::vector<std::string> indexmapfilenames;   // index map file per contaminant 1..n

    // Sediment calibration locations (optimize_sed), slots 1..num_sed_locations
    int sed_locations_on = 0;                // the sediment location list was read
    int num_sed_locations = 0;               // number of sediment calibration locations
    std::vector<double> sed_point_peak;      // event sediment peak at each location, m3/s
    std::vector<double> sed_point_volume;    // event sediment volume at each location, m3
    double event_sed_peak = 0.0;             // sediment peak of the event at the outlet, m3/s
    double event_sed_volume = 0.0;           // sediment volume of the event at the outlet, m3
    std::vector<int> slink, snode;           // link and node of each sediment location 1..num_sed_locations
    file_object sed_location_file;           // sediment location list (in_sed_loc), read at set-up
    file_object sed_location_out_file;       // sediment series at the locations (out_sed_loc)
    file_object tss_location_out_file;       // sediment concentration at the locations (out_tss_loc)

    // Channel sediment [node][link] (classes [0..n+1], 0 the total)
    std::vector<std::vector<double>> new_bel;               // bed elevation after erosion and deposition, m
    std::vector<std::vector<std::vector<double>>> ch_sand_vol;  // sand store of a node per class, m3

    // Further constituent sub-step clocks (Julian days): next and last update time
    double ov_con_outlet_last = 0.0, ov_con_outlet_next = 0.0;       // outlet mass (no channel routing)
    double ov_con_chan_last = 0.0, ov_con_chan_next = 0.0;           // lateral exchange with the channels
    double ov_con_transport_last = 0.0, ov_con_transport_next = 0.0; // overland transport
    double ov_con_exchange_last = 0.0, ov_con_exchange_next = 0.0;   // soil-surface exchange (contaminants)
    double ov_con_decay_last = 0.0, ov_con_decay_next = 0.0;         // first-order decay (contaminants)
    double nsm_kinetics_last = 0.0, nsm_kinetics_next = 0.0;         // nutrient kinetics
    double chan_contam_last = 0.0, chan_contam_next = 0.0;           // channel contaminants
    double stream_loss_last = 0.0, stream_loss_next = 0.0;           // channel stream loss
    double soil_con_last = 0.0, soil_con_next = 0.0;                 // soil-layer constituents

    // Dissolved constituents (contaminants 1..num_constituents), set up by
    // read_contaminant_inputs and init_constituent_state.
    int num_constituents = 0;                // constituents carried in this run
    std::vector<int> constituent_type;       // per constituent 1..n: 1 contaminant, 2 nutrient species, 3 nutrient soil pool
    int first_nsm_constituent = -1;          // first constituent of the nutrient block, -1 without one
    constituent_cells con;                   // per-cell overland stores and pending amounts
    constituent_totals con_tot;              // per-constituent run totals, kg
    constituent_channel con_chan;            // channel node stores and routing work rows
    constituent_lakes con_lake;              // overland lakes as constituent stores
    std::vector<double> con_h_last;          // depth the cells' masses stand in (GNUM+1), m: the depth at the
                                             // end of the last transport step, changed by every process that
                                             // moved mass with its water since
    std::vector<double> con_h_next;          // the depths of a transport step, written beside con_h_last, m
    double ov_con_outlet_volume = 0.0;       // overland outlet water since the outlet block last ran, m3
    double con_pending_interval[kConBlocks] = {};  // last interval of each source block, s
    std::vector<std::unique_ptr<map_dataset>> con_maps;          // conc and mass map per contaminant
    std::vector<std::unique_ptr<linknode_dataset>> con_linknode;  // conc and mass link/node per contaminant
    constituent_totals con_event_start;          // run totals at the start of the current event, kg
    std::vector<constituent_stocks> con_stocks_start;  // stocks at the start of the current event, kg
    constituent_errors con_errors;               // balance errors of the last summary written, percent
    sed_bound_record sed_bound;              // sorbed constituents on the sediment (sediment_contam)
};
