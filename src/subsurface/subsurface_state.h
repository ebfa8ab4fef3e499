// Members of the run state owned by the subsurface subsystem.
#pragma once
#include <vector>
#include "core/file_object.h"

struct subsurface_state {

    // Infiltration and soil switches copied from the project cards (read_run_parameters)
    double soil_coefficient = 0.0;  // uniform initial water content, set to 0.15 every run
    int green_ampt = 0;             // Green-Ampt infiltration
    int inf_redist = 0;             // Green-Ampt with redistribution
    int inf_layered_soil = 0;       // multi-layer Green-Ampt
    int inf_richards = 0;           // Richards equation
    int recharge_computed = 0;      // wetting-front recharge computed (inf_redist, inf_layered_soil)
    int cont_inf_redist = 0;        // continuous redistribution (not no_cont_inf_redist)
    int moisture = 0;               // initial soil moisture map given (or a mapping table)
    int conductivity = 0, capillary = 0, porosity = 0, pore_index = 0,
        residual_sat = 0;           // Green-Ampt parameter maps given (or mapping table section)
    double soil_moist_depth = 0.0;  // depth of the soil moisture layer, cm
    double top_layer_depth = 0.0;   // top soil layer depth, cm
    double mixing_layer_depth = 0.0;  // mixing layer depth, cm
    int richards_iter_max = 0;      // Richards iterations per step
    double richards_weight = 0.0;   // Richards time weighting
    int richards_k_option = 0;      // 1 arithmetic, 2 geometric mean conductivity
    int richards_c_option = 0;      // 1 brooks, 2 havercamp soil functions
    double richards_dtheta_max = 0.0;  // largest moisture change per Richards step
    int richards_upper_option = 0;  // Richards upper boundary option

    // Groundwater
    int water_table = 0;            // water table map given
    int water_table_on = 0;         // the same (water table present)
    int gw_assign_theta = 0;        // moisture assigned from the water table
    int groundwater = 0;            // two-dimensional groundwater simulated
    int gw_simulation = 0;          // the same as groundwater
    int stream_exchange = 0;        // stream-aquifer exchange
    int gw_lsor_dir = 0;            // line-SOR direction
    double gw_timestep = 0.0;       // groundwater time step, s
    double gw_lsor_con = 0.0;       // line-SOR convergence criterion, m
    double single_unsat_sat = 0.0;  // single unsaturated/saturated switch limit
    double gw_leakage_rate = 0.0;   // leakage rate (card value)
    double gw_relax_coeff = 0.0;    // relaxation coefficient
    int gw_porosity_map = 0;        // aquifer porosity map given
    int gw_unif_porosity_given = 0; // uniform aquifer porosity given
    double gw_unif_porosity = 0.0;  // uniform aquifer porosity
    int gw_hycond_map = 0;          // aquifer conductivity map given
    int gw_unif_hycond_given = 0;   // uniform aquifer conductivity given
    double gw_unif_hycond = 0.0;    // uniform aquifer conductivity (card value)
    int gw_well_level = 0;          // well level output given
    int gw_output = 0;              // groundwater output given
    int gw_fluxboundtable = 0;      // groundwater flux boundary table given
    double aquifer_delta_z = 0.0;   // aquifer cell height, m (below 0: not given)

    // Sacramento soil-moisture accounting
    int sacramento = 0;             // Sacramento on
    int sac_topo_index = 0;         // Sacramento with the topographic index
    int sac_plain = 0;              // Sacramento without the topographic index

    // Start-up state read by the clock set-up
    int exfiltration_cells = 0;     // some cell exfiltrates at the start (Richards set-up, initial state)
    int redist_started = 0;         // the redistribution scheme steps from the start of the run
    double gw_chan_last = 0.0, gw_chan_next = 0.0;  // channel clock copy of the groundwater exchange, Julian days

    int gw_sweep = 1;               // sweep handed to the groundwater solver, alternates 1, 2, 1 ...
};
