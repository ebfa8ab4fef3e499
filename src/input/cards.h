// The card records of the project file and the one card table that drives
// its reader.
//
// Every value a card stores lives in a field that bears the card's keyword
// (for synonyms the first keyword); a presence flag bears the keyword with
// the ending `_given`. File names are texts of kCardNameSize characters
// (always NUL-terminated; a longer argument is cut), flags are ints 0 or 1.
// Values are kept in the units of the project file; read_run_parameters
// converts them into the working members of the run state.
#pragma once
#include <cstddef>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>
#include "output/xy_boundary.h"
#include "quality/nutrients.h"

constexpr int kCardNameSize = 1024;   // file-name field, including the NUL
constexpr int kIgnoreCardCode = 176;  // comments, blank lines, unknown and ignored keywords
constexpr int kLastCardCode = 421;    // card codes run from 0 to here
constexpr int kNutrientPartitionSize = 12;  // km of no2 no3 nh4 on op dp, then koc of the same

// Run-control cards.
struct run_settings {
    int units = 0;                  // units flag (units card)
    double gridsize = 0.0;          // cell size, m
    int rows = 0;                   // grid rows
    int cols = 0;                   // grid columns
    int tot_time = 0;               // total simulation time, min
    double timestep = 0.0;          // model time step, s
    double outslope = 0.0;          // outlet slope, m/m
    int outrow = 0;                 // outlet cell row
    int outcol = 0;                 // outlet cell column
    double hyd_freq = 0.0;          // hydrograph output interval, min
    int map_freq = 0;               // map output interval, min
    int map_type = 0;               // map output format (0 grid, 1 dataset, 2 binary dataset, 4 refused)
    double latitude = 0.0;          // latitude, degrees
    double longitude = 0.0;         // longitude, degrees
    double gmt = 0.0;               // time-zone offset from GMT, h
    int gmt_given = 0;              // gmt card present
    int qout_cfs = 0;               // report flows in ft3/s
    int quiet = 0;                  // quiet card
    int start_date[3] = {};         // year, month, day
    int start_time[2] = {};         // hour, minute
    int end_time[5] = {};           // year, month, day, hour, minute
    double st_time_step = 0.0;      // stream time step, s
    int gw_fluxboundtable_given = 0;  // groundwater flux boundary table given (name in project_cards)
    int infiltration_method = 0;    // 0 none, 1 green_ampt, 2 inf_redist, 3 inf_layered_soil, 4 inf_richards
    int channel_method = 0;         // 0 none, 1 chan_preiss, 2 chan_drain, 3 chan_explic, 4 chan_mesh, 5 chan_backwater
    int open_failed = 0;            // 1 when the project file could not be opened
};

// Precipitation cards.
struct rain_settings {
    int rain_mode = 0;              // 0 uniform rain, 1 rain from the precipitation file
    int interpolation = 0;          // 0 inverse distance, 1 Thiessen (nearest gage)
    double rain_intensity = 0.0;    // uniform rain intensity, mm/h
    int rain_duration = 0;          // uniform rain duration, min
    char precip_file[kCardNameSize] = {};  // precipitation (gage) file
};

// The segment-model (K4) cards, handed as one block to the K4 writer.
struct k4_card_block {
    char k4_input[kCardNameSize] = {};          // segment-model flow file written at the outlet
    int k4_input_given = 0;
    int k4_fluxes = 0;                          // write segment fluxes
    char k4_nodes_to_segs[kCardNameSize] = {};  // node-to-segment table
    char k4_segment_map[kCardNameSize] = {};    // segment map
    char k4_segment_fluxes[kCardNameSize] = {}; // segment flux output
};

// Every other card value: plain data, cleared as a whole before each read.
struct project_card_values {
    // Watershed, grid and general inputs
    char watershed_mask[kCardNameSize] = {};    // watershed mask map
    char elevation[kCardNameSize] = {};         // elevation map, m
    char mapping_table[kCardNameSize] = {};     // mapping-table file
    int mapping_table_given = 0;
    char st_mapping_table[kCardNameSize] = {};  // stream mapping-table file
    int st_mapping_table_given = 0;
    char project_folder[kCardNameSize] = {};    // project folder (project_folder, project_path)
    int long_term = 0;                          // long-term (continuous) simulation
    int strict_julian_date = 0;                 // strict Julian date handling of the hydromet data
    int pause = 0;                              // wait for a key after a fatal input error
    int super_quiet = 0;                        // suppress console output
    int suppress_printing = 0;                  // suppress-printing level
    int flush_buffer = 0;                       // output flush interval, steps
    int flush_buffer_given = 0;
    int stream_info = 0;                        // print stream information
    int radar_mm = 0;                           // radar rainfall given in mm
    double event_min_q = 0.0;                   // event-end cutoff discharge, m3/s

    // Outputs
    char summary[kCardNameSize] = {};           // summary file
    char outlet_hydro[kCardNameSize] = {};      // outlet hydrograph
    char sig_outlet_hydro[kCardNameSize] = {};  // outlet hydrograph with six significant digits
    int sig_outlet_hydro_given = 0;
    char zov_hydro[kCardNameSize] = {};         // hydrograph in the ZOV format
    int zov_hydro_given = 0;
    char cell_hydro[kCardNameSize] = {};        // cell hydrograph
    char daily_output[kCardNameSize] = {};      // daily output
    int daily_output_given = 0;
    char analyzers[kCardNameSize] = {};         // analyzer file
    int analyzers_given = 0;
    char lake_output[kCardNameSize] = {};       // lake output
    int lake_output_given = 0;
    char overland_depths[kCardNameSize] = {};   // overland depth output
    int overland_depths_given = 0;
    char overland_depth_location[kCardNameSize] = {};  // overland depth location list
    char overland_wse[kCardNameSize] = {};      // overland water-surface output
    int overland_wse_given = 0;
    char overland_wse_location[kCardNameSize] = {};    // overland water-surface location list
    char in_hyd_location[kCardNameSize] = {};   // hydrograph location list
    int in_hyd_location_given = 0;
    char out_hyd_location[kCardNameSize] = {};  // hydrograph output at the locations
    char in_gwflux_location[kCardNameSize] = {};  // groundwater flux location list
    int in_gwflux_location_given = 0;
    char out_gwflux_location[kCardNameSize] = {}; // groundwater flux output
    char in_celldepdis_location[kCardNameSize] = {};  // depth/discharge cell location list
    int in_celldepdis_location_given = 0;
    char out_celldepdis_location[kCardNameSize] = {}; // depth/discharge cell output
    char out_dep_location[kCardNameSize] = {};  // depth output at the location points
    int out_dep_location_given = 0;
    char in_theta_location[kCardNameSize] = {}; // soil moisture location list
    int in_theta_location_given = 0;
    char out_theta_location[kCardNameSize] = {};  // soil moisture output
    char dis_profile[kCardNameSize] = {};
    char dis_profile_out[kCardNameSize] = {};
    char wat_surf_profile[kCardNameSize] = {};
    char wat_surf_profile_out[kCardNameSize] = {};

    // Map outputs
    char depth[kCardNameSize] = {};             // overland depth maps
    int depth_given = 0;
    char discharge[kCardNameSize] = {};         // discharge maps
    int discharge_given = 0;
    char inf_depth[kCardNameSize] = {};         // infiltration depth maps
    int inf_depth_given = 0;
    char surf_moist[kCardNameSize] = {};        // surface soil moisture maps
    int surf_moist_given = 0;
    char rate_of_infil[kCardNameSize] = {};     // infiltration rate maps
    int rate_of_infil_given = 0;
    char dis_rain[kCardNameSize] = {};          // distributed rain maps
    int dis_rain_given = 0;
    char gw_recharge_cum[kCardNameSize] = {};   // cumulative recharge maps
    int gw_recharge_cum_given = 0;
    char gw_recharge_inc[kCardNameSize] = {};   // incremental recharge maps
    int gw_recharge_inc_given = 0;
    char chan_depth[kCardNameSize] = {};        // channel depth output
    int chan_depth_given = 0;
    char chan_sed_flux[kCardNameSize] = {};     // stream sediment flux output
    int chan_sed_flux_given = 0;
    char chan_discharge[kCardNameSize] = {};    // channel discharge output
    int chan_discharge_given = 0;
    char chan_stage[kCardNameSize] = {};        // channel stage output
    int chan_stage_given = 0;
    char chan_velocity[kCardNameSize] = {};     // channel velocity output
    int chan_velocity_given = 0;
    char flood_grid[kCardNameSize] = {};        // flood grid output
    int flood_grid_given = 0;
    char flood_stream[kCardNameSize] = {};      // flood stream stage output
    int flood_stream_given = 0;
    int include_channel_depth = 0;              // depth maps include the channel depth

    // Display window
    int xwindows = 0, xrain = 0, xgwrecharge = 0, xdepth = 0, xinfdep = 0, xchan = 0,
        xbig = 0, xsurf = 0;                    // display switches
    int x_freq = 0;                             // display interval, steps
    int xwin_width = 0;                         // window width, pixels
    int xwin_height = 0;                        // window height, pixels

    // Overland flow and storage
    int overtype = 0;                           // overland scheme: 1 explicit, 2 ade, 3 ade-pc
    double manning_n = 0.0;                     // uniform Manning roughness, s/m^(1/3)
    int manning_n_given = 0;
    char roughness[kCardNameSize] = {};         // roughness map
    int roughness_given = 0;
    char storage_capacity[kCardNameSize] = {};  // interception storage map, mm
    int storage_capacity_given = 0;
    char interception_coeff[kCardNameSize] = {};  // interception coefficient map
    int interception_coeff_given = 0;
    char reten_depth[kCardNameSize] = {};       // retention depth map, mm
    int reten_depth_given = 0;
    double retention = 0.0;                     // uniform retention depth (retention, reten_depth), mm
    int retention_given = 0;
    char dike_map[kCardNameSize] = {};          // dike map (dike_map, embankment)
    int dike_map_given = 0;
    char lowspot_file[kCardNameSize] = {};      // low-spot file
    int lowspot_file_given = 0;
    char overland_lake_map[kCardNameSize] = {}; // overland lake map
    int overland_lake_map_given = 0;
    char overland_lake_file[kCardNameSize] = {};  // overland lake data
    int ov_boundary = 0;                        // overland boundary conditions
    int xybdyinput_ovdep_given = 0;             // overland XY boundary read
    char ov_pump[kCardNameSize] = {};           // overland pump file
    int ov_pump_given = 0;
    char lake_pump[kCardNameSize] = {};         // lake pump file
    int lake_pump_given = 0;
    char initial_depth[kCardNameSize] = {};     // initial depth map, m
    int initial_depth_given = 0;
    char ov_init_depth[kCardNameSize] = {};     // overland depth hotstart read (ov_init_depth, read_ov_hotstart)
    int ov_init_depth_given = 0;
    char write_ov_hotstart[kCardNameSize] = {}; // overland hotstart written at the end
    int write_ov_hotstart_given = 0;
    char area_reduction[kCardNameSize] = {};    // area reduction map
    int area_reduction_given = 0;
    double unif_area_reduction = 0.0;           // uniform area reduction factor
    int unif_area_reduction_given = 0;
    char adjust_elev[kCardNameSize] = {};       // elevation adjustment file
    int adjust_elev_given = 0;

    // Infiltration and soils
    char soil_type_map[kCardNameSize] = {};     // soil type index map
    char soil_layer_input_file[kCardNameSize] = {};  // multi-layer soil table
    char conductivity[kCardNameSize] = {};      // hydraulic conductivity map, cm/h
    int conductivity_given = 0;
    char capillary[kCardNameSize] = {};         // capillary head map, cm
    int capillary_given = 0;
    char porosity[kCardNameSize] = {};          // porosity map
    int porosity_given = 0;
    char moisture[kCardNameSize] = {};          // initial soil moisture map
    int moisture_given = 0;
    char pore_index[kCardNameSize] = {};        // pore distribution index map
    int pore_index_given = 0;
    char residual_sat[kCardNameSize] = {};      // residual saturation map
    int residual_sat_given = 0;
    char read_sm_hotstart[kCardNameSize] = {};  // soil moisture hotstart read
    int read_sm_hotstart_given = 0;
    char write_sm_hotstart[kCardNameSize] = {}; // soil moisture hotstart written
    int write_sm_hotstart_given = 0;
    double soil_moist_depth = 0.0;              // depth of the soil moisture layer, m
    double top_layer_depth = 0.0;               // top soil layer depth, m
    double mixing_layer_depth = 0.0;            // mixing layer depth, m
    int no_cont_inf_redist = 0;                 // no continuous redistribution
    int seasonal_rs = 0;                        // seasonal canopy resistance
    int richards_iter_max = 0;                  // Richards iterations per step
    double richards_weight = 0.0;               // Richards time weighting
    double richards_dtheta_max = 0.0;           // Richards largest moisture change per step
    int richards_k_option = 0;                  // 1 arithmetic, 2 geometric mean conductivity
    int richards_c_option = 0;                  // 1 brooks, 2 havercamp soil functions
    int richards_upper_option = 0;              // upper boundary: 0 other, 1 default, 2 green_ampt, 3 average
    char sacramento[kCardNameSize] = {};        // Sacramento parameter file (sacramento, sacramento_pars)
    int sacramento_given = 0;
    int topo_index = 0;                         // Sacramento with the topographic index

    // Groundwater
    char water_table[kCardNameSize] = {};       // water table map, m
    int water_table_given = 0;
    int gw_simulation = 0;                      // two-dimensional groundwater
    int gw_assign_theta = 0;                    // assign moisture from the water table
    char aquifer_bottom[kCardNameSize] = {};    // aquifer bottom map, m
    double aquifer_delta_z = 0.0;               // aquifer cell height, m
    int gw_lsor_dir = 0;                        // line-SOR direction
    double gw_timestep = 0.0;                   // groundwater time step, s
    double gw_lsor_con = 0.0;                   // line-SOR convergence criterion, m
    double single_unsat_sat = 0.0;              // single unsaturated/saturated switch limit
    double gw_leakage_rate = 0.0;               // leakage rate, m/s
    double gw_relax_coeff = 0.0;                // relaxation coefficient
    int gw_relax_coeff_given = 0;
    char gw_porosity_map[kCardNameSize] = {};   // aquifer porosity map
    int gw_porosity_map_given = 0;
    double gw_unif_porosity = 0.0;              // uniform aquifer porosity
    int gw_unif_porosity_given = 0;
    char gw_hycond_map[kCardNameSize] = {};     // aquifer conductivity map, cm/h
    int gw_hycond_map_given = 0;
    double gw_unif_hycond = 0.0;                // uniform aquifer conductivity, cm/h
    int gw_unif_hycond_given = 0;
    char gw_fluxboundtable[kCardNameSize] = {}; // flux boundary table (flag in run_settings)
    char gw_boundfile[kCardNameSize] = {};      // groundwater boundary file
    int gw_boundfile_given = 0;
    char gw_output[kCardNameSize] = {};         // groundwater output
    int gw_output_given = 0;
    char gw_well_level[kCardNameSize] = {};     // well level output
    int gw_well_level_given = 0;
    char out_well_location[kCardNameSize] = {}; // well location list
    int use_wells = 0;                          // wells switched on
    double init_elev_head = 0.0;                // initial head, m
    int init_elev_head_given = 0;

    // Channels
    char channel_input[kCardNameSize] = {};     // channel input file
    char stream_cell[kCardNameSize] = {};       // grid-stream connection file
    char links[kCardNameSize] = {};             // links file
    char nodes[kCardNameSize] = {};             // nodes file
    char section_table[kCardNameSize] = {};     // cross-section table
    char chan_point_input[kCardNameSize] = {};  // channel point inputs
    char sourcefile[kCardNameSize] = {};        // source file
    int sourcefile_given = 0;
    int non_ortho_channels = 0;                 // non-orthogonal channels (set by chan_explic)
    int overbank_flow = 0;                      // overbank exchange
    double overbank_max_dv = 0.0;               // largest overbank exchange per step, m
    int overbank_max_dv_given = 0;
    int overland_backwater = 0;                 // overland backwater from the channel
    int head_bound = 0;                         // head boundary at the outlet
    double bound_depth = 0.0;                   // outlet boundary depth, m
    char bound_ts[kCardNameSize] = {};          // outlet boundary time series
    int bound_ts_given = 0;
    int stream_loss = 0;                        // stream-aquifer exchange
    double k_river = 0.0;                       // river bed conductivity, m/h
    double m_river = 0.0;                       // river bed thickness, m
    double m_lake = 0.0;                        // lake bed thickness, m
    int hotstart_is_depth = 0;                  // channel hotstart holds depths
    char explic_backwater[kCardNameSize] = {};  // channel hotstart written (explic_backwater, write_chan_hotstart)
    int explic_backwater_given = 0;
    int write_chan_hotstart_given = 0;
    char explic_hotstart[kCardNameSize] = {};   // channel hotstart read (explic_hotstart, read_chan_hotstart)
    int explic_hotstart_given = 0;
    int read_chan_hotstart_given = 0;
    double max_courant_number = 0.0;            // largest channel Courant number
    double first_order_chan_q = 0.0;            // first-order channel discharge
    double chan_ph = 0.0;                       // channel water pH
    int adjust_channel_bed = 0;                 // channel bed change

    // Storm drains
    char storm_sewer[kCardNameSize] = {};       // storm-drain network file
    int storm_sewer_given = 0;
    char grid_pipe[kCardNameSize] = {};         // grid-pipe file
    int superlink_c_opt = 0, high_head_release = 0, superlink_drainmod = 0;  // solver options
    char pipe_flow[kCardNameSize] = {};         // superlink flow output
    int pipe_flow_given = 0;
    char pipe_head[kCardNameSize] = {};         // superlink head output
    int pipe_head_given = 0;
    char pipe_tile[kCardNameSize] = {};         // superlink tile output
    int pipe_tile_given = 0;
    char superlink_junc_location[kCardNameSize] = {};
    int superlink_junc_location_given = 0;
    char superlink_node_location[kCardNameSize] = {};
    int superlink_node_location_given = 0;
    char superlink_junc_flow[kCardNameSize] = {};
    int superlink_junc_flow_given = 0;
    char superlink_node_flow[kCardNameSize] = {};
    int superlink_node_flow_given = 0;

    // Precipitation, hydrometeorology, evapotranspiration, snow
    char hmet_file[kCardNameSize] = {};         // hydrometeorological file, shared by the hmet_* format cards
    int hmet_surfaways_given = 0, hmet_samson_given = 0, hmet_kev_given = 0,
        hmet_ascii_given = 0, hmet_ascii_pet_given = 0;   // format of hmet_file
    char hmet_orog_gages[kCardNameSize] = {};   // orographic gage data
    int hmet_orog_gages_given = 0;
    int orogvar_hmet = 0;                       // orographic variation of the hydromet data
    double hmet_elev_gage = 0.0;                // gage elevation, m
    int hmet_elev_gage_given = 0;
    double hmet_lapse_rate = 0.0;               // temperature lapse rate, C/m
    int hmet_lapse_rate_given = 0;
    int et_calc_penman = 0, et_calc_deardorff = 0;  // evapotranspiration method
    char albedo[kCardNameSize] = {};            // albedo map
    int albedo_given = 0;
    char vheight[kCardNameSize] = {};           // vegetation height map, m
    int vheight_given = 0;
    char tcoeff[kCardNameSize] = {};            // transmission coefficient map
    int tcoeff_given = 0;
    char canopy[kCardNameSize] = {};            // canopy resistance map, s/m
    int canopy_given = 0;
    char wilting_point[kCardNameSize] = {};     // wilting point map
    int wilting_point_given = 0;
    int snow_no_infiltrate = 0;                 // no infiltration under snow
    double snow_roughness = 0.0;                // roughness of snow, s/m^(1/3)
    int snow_roughness_given = 0;
    double snow_darcy = 0.0;                    // Darcy friction of snow
    int snow_darcy_given = 0;
    double snow_reynolds = 0.0;                 // Reynolds number of snow
    int snow_reynolds_given = 0;
    char init_swe_depth[kCardNameSize] = {};    // initial snow water equivalent map
    double init_swe_depth_value = 0.0;          // uniform initial snow water equivalent, m
    int init_swe_depth_mode = 0;                // 1 map, 3 uniform value
    char snow_swe_file[kCardNameSize] = {};     // snow water equivalent output
    int snow_swe_file_given = 0;
    char snow_temp[kCardNameSize] = {};         // snow temperature output
    int snow_temp_given = 0;
    int nwsrfs_snow = 0, nwsrfs_retention = 0, eb_nwsrfs_snow = 0;  // snow model switches
    char nwsrfs_elev_snow[kCardNameSize] = {};  // elevation bands of the snow model
    int nwsrfs_elev_snow_given = 0;
    double nwsrfs_mf_max = 0.0;                 // largest melt factor, mm/(C 6h)
    int nwsrfs_mf_max_given = 0;
    double nwsrfs_mf_min = 0.0;                 // smallest melt factor, mm/(C 6h)
    int nwsrfs_mf_min_given = 0;
    double nwsrfs_fr_use = 0.0;                 // forest cover fraction
    int nwsrfs_fr_use_given = 0;
    double nwsrfs_scf = 0.0;                    // snow correction factor
    int nwsrfs_scf_given = 0;
    double nwsrfs_tipm = 0.0;                   // antecedent temperature index parameter
    int nwsrfs_tipm_given = 0;
    double nwsrfs_nmf = 0.0;                    // negative melt factor, mm/(C 6h)
    int nwsrfs_nmf_given = 0;
    double nwsrfs_fua = 0.0;                    // wind function
    int nwsrfs_fua_given = 0;
    double nwsrfs_plwhc = 0.0;                  // liquid water holding capacity
    int nwsrfs_plwhc_given = 0;
    double snow_temp_base = 0.0;                // base temperature of melt, C
    int snow_temp_base_given = 0;

    // Sediment and erosion
    int soil_erosion = 0;                       // erosion option number
    int soil_erosion_given = 0;                 // erosion switched on
    char soil_erodability[kCardNameSize] = {};
    char crop_management[kCardNameSize] = {};
    char conservation_practice[kCardNameSize] = {};
    char sand_map[kCardNameSize] = {};
    char silt_map[kCardNameSize] = {};
    char in_sed_loc[kCardNameSize] = {};
    int in_sed_loc_given = 0;
    char out_sed_loc[kCardNameSize] = {};
    char vol_sed_susp[kCardNameSize] = {};
    int vol_sed_susp_given = 0;
    char max_sed_flux[kCardNameSize] = {};
    int max_sed_flux_given = 0;
    char net_sed_volume[kCardNameSize] = {};
    int net_sed_volume_given = 0;
    char outlet_sed_flux[kCardNameSize] = {};
    char outlet_sed_tss[kCardNameSize] = {};
    int outlet_sed_tss_given = 0;
    char out_tss_loc[kCardNameSize] = {};
    int out_tss_loc_given = 0;
    double sand_size = 0.0, silt_size = 0.0, clay_size = 0.0;  // particle diameters, mm
    double water_temp = 0.0;                    // water temperature, C
    double sed_porosity = 0.0;                  // sediment porosity

    // Contaminants
    int ov_con_trans = 0;                       // overland constituent transport
    int chan_con_trans = 0;                     // channel constituent transport
    int soil_con_trans = 0;                     // soil constituents (soil_con_trans, soil_contam)
    int soil_static_conc = 0, sediment_contam = 0, all_contam_output = 0;
    char contam_map[kCardNameSize] = {};        // contaminant map
    int contam_map_given = 0;
    char ov_con_map[kCardNameSize] = {};
    int ov_con_map_given = 0;
    char ov_point_source[kCardNameSize] = {};
    int ov_point_source_given = 0;
    char out_con_location[kCardNameSize] = {};  // concentration output at the location points
    int out_con_location_given = 0;
    char out_mass_location[kCardNameSize] = {}; // mass output at the location points
    int out_mass_location_given = 0;
    char materials[kCardNameSize] = {};         // materials file
    double chan_decay_coef = 0.0, chan_disp_coef = 0.0, init_chan_conc = 0.0;
    double ov_decay_coef = 0.0, ov_disp_coef = 0.0, ov_uptake_rate = 0.0, ov_mass_load = 0.0;
    double kinetics_timestep_factor = 0.0;
    double soil_kinetics_timestep_factor = 0.0;

    // Nutrient sub-model
    int nutrients = 0;                          // nutrient sub-model on
    int soils_nsm_p = 0, soils_nsm_c = 0, soils_nsm_n = 0;  // soil nutrient parts (2 when on)
    char total_ov_n[kCardNameSize] = {};
    int total_ov_n_given = 0;
    char total_ov_p[kCardNameSize] = {};
    int total_ov_p_given = 0;
    char total_chan_n[kCardNameSize] = {};
    int total_chan_n_given = 0;
    char total_chan_kn[kCardNameSize] = {};
    int total_chan_kn_given = 0;
    char total_chan_p[kCardNameSize] = {};
    int total_chan_p_given = 0;

    // Calibration
    char optimize[kCardNameSize] = {};          // calibration output
    int optimize_given = 0;
    int optimize_sed = 0;
    char calib_obs_data[kCardNameSize] = {};    // observed data
    int calib_comp_data = 0;                    // 0 DAILY, 1 EVENT, 2 not given
    int calib_obj_func = 0;                     // 0 RMSE, 1 HMLE, 2 not given

    // Host (QRM) and co-run (VEGO) exchange
    int qrm = 0;                                // running inside the QRM host
    int qrm_event_num = 0;                      // host event number, -1 none
    int qrm_event_num_given = 0;
    char vego[kCardNameSize] = {};              // VEGO exchange control file
    int vego_given = 0;
    int vego_first = 0;
    char moist_to_vego[kCardNameSize] = {};
    int moist_to_vego_given = 0;
    char ksat_to_vego[kCardNameSize] = {};
    int ksat_to_vego_given = 0;
    char rough_to_vego[kCardNameSize] = {};
    int rough_to_vego_given = 0;
    char poros_to_vego[kCardNameSize] = {};
    int poros_to_vego_given = 0;
    char erosivity_to_vego[kCardNameSize] = {};
    int erosivity_to_vego_given = 0;
    char crop_fact_to_vego[kCardNameSize] = {};
    int crop_fact_to_vego_given = 0;
    char net_erosion_to_vego[kCardNameSize] = {};
    int net_erosion_to_vego_given = 0;
    char moist_from_vego[kCardNameSize] = {};
    int moist_from_vego_given = 0;
    char ksat_from_vego[kCardNameSize] = {};
    int ksat_from_vego_given = 0;
    char rough_from_vego[kCardNameSize] = {};
    int rough_from_vego_given = 0;
    char erosivity_from_vego[kCardNameSize] = {};
    int erosivity_from_vego_given = 0;
    char crop_fact_from_vego[kCardNameSize] = {};
    int crop_fact_from_vego_given = 0;
    char et_demand_from_vego[kCardNameSize] = {};
    int et_demand_from_vego_given = 0;
    k4_card_block k4;                           // segment-model (K4) cards

    // VELT format (refused) and other accepted cards
    char velt_file[kCardNameSize] = {};
    char velt_base_grid[kCardNameSize] = {};
    char velt_base_stream[kCardNameSize] = {};
    char velt_datasetgroup[kCardNameSize] = {};
    int velt_compression = 0;
    char fyssi[kCardNameSize] = {};
    int fyssi_given = 0;

    // XY boundaries of an inset model
    char xybdyinput_ovdep[kCardNameSize] = {};
    char xybdyinput_gwhead[kCardNameSize] = {};
    char xybdyinput_gwheadinterp[kCardNameSize] = {};
    char xybdyinput_stflow[kCardNameSize] = {};
    char xybdyinput_sttimeseries[kCardNameSize] = {};
    char xybdyoutput_pts[kCardNameSize] = {};   // output points or mask (xybdyoutput_pts, xybdyoutput_mask)
    int xybdyoutput_pts_given = 0;
    int xybdyoutput_kind = 0;                   // 0 points, 1 mask
    char xybdyoutput_ovdep[kCardNameSize] = {};
    char xybdyoutput_gwhead[kCardNameSize] = {};
    char xybdyoutput_stflow[kCardNameSize] = {};
};

// Owner of the nutrient container: runs its destructor, then frees it.
struct nsm_model_release {
    void operator()(nsm_model* p) const;
};

// The card record of every card that is neither run control nor precipitation,
// plus the records that the cards fill while the file is read.
struct project_cards : project_card_values {
    xy_input xy_in;                             // XY boundary inputs read by the xybdyinput_* cards
    xy_output xy_out;                           // XY boundary outputs
    std::unique_ptr<nsm_model, nsm_model_release> nsm;  // nutrient container of the nutrients card
    std::vector<double> nutrient_partition;     // empty, or kNutrientPartitionSize values after the first partition card
    std::vector<std::pair<std::string, std::string>> acted_files;  // (keyword, name) of each file an acting card read at once

    // Every value, flag and name to zero, no nutrient container or table.
    void clear();
};

// Working file names of the run, filled from the cards by read_run_parameters
// and opened by open_run_files; an empty slot means the card was not given.
struct run_files {
    char watershed_mask[kCardNameSize] = {};
    char elevation[kCardNameSize] = {};
    char data1[kCardNameSize] = {};             // fixed name "data1"
    char moisture[kCardNameSize] = {};
    char conductivity[kCardNameSize] = {};
    char capillary[kCardNameSize] = {};
    char porosity[kCardNameSize] = {};
    char pore_index[kCardNameSize] = {};
    char residual_sat[kCardNameSize] = {};
    char roughness[kCardNameSize] = {};
    char precip_file[kCardNameSize] = {};
    char links[kCardNameSize] = {};
    char nodes[kCardNameSize] = {};
    char chan_depth_hotstart_out[kCardNameSize] = {};      // write name + ".dht"
    char chan_discharge_hotstart_out[kCardNameSize] = {};  // write name + ".qht"
    char chan_discharge_hotstart_in[kCardNameSize] = {};   // read name + ".qht"
    char chan_depth_hotstart_in[kCardNameSize] = {};       // read name + ".dht"
    char channel_input[kCardNameSize] = {};
    char section_table[kCardNameSize] = {};
    char summary[kCardNameSize] = {};
    char outlet_hydro[kCardNameSize] = {};
    char sig_outlet_hydro[kCardNameSize] = {};
    char lake_output[kCardNameSize] = {};
    char zov_hydro[kCardNameSize] = {};
    char storage_capacity[kCardNameSize] = {};
    char interception_coeff[kCardNameSize] = {};
    char reten_depth[kCardNameSize] = {};
    char out_hyd_location[kCardNameSize] = {};
    char out_gwflux_location[kCardNameSize] = {};
    char out_celldepdis_location[kCardNameSize] = {};
    char out_dep_location[kCardNameSize] = {};
    char chan_point_input[kCardNameSize] = {};
    char out_con_location[kCardNameSize] = {};
    char out_mass_location[kCardNameSize] = {};
    char ov_point_source[kCardNameSize] = {};
    char in_theta_location[kCardNameSize] = {};
    char out_theta_location[kCardNameSize] = {};
    char contam_map[kCardNameSize] = {};
    char in_hyd_location[kCardNameSize] = {};
    char in_gwflux_location[kCardNameSize] = {};
    char in_celldepdis_location[kCardNameSize] = {};
    char albedo[kCardNameSize] = {};
    char vheight[kCardNameSize] = {};
    char tcoeff[kCardNameSize] = {};
    char canopy[kCardNameSize] = {};
    char wilting_point[kCardNameSize] = {};
    char materials[kCardNameSize] = {};
    char soil_type_map[kCardNameSize] = {};
    char soil_layer_input_file[kCardNameSize] = {};
    char mapping_table[kCardNameSize] = {};
    char st_mapping_table[kCardNameSize] = {};
    char overland_depth_location[kCardNameSize] = {};
    char overland_depths[kCardNameSize] = {};
    char overland_wse_location[kCardNameSize] = {};
    char overland_wse[kCardNameSize] = {};
    char dike_map[kCardNameSize] = {};
    char lowspot_file[kCardNameSize] = {};
    char overland_lake_map[kCardNameSize] = {};
    char overland_lake_file[kCardNameSize] = {};
    char storm_sewer[kCardNameSize] = {};
    char grid_pipe[kCardNameSize] = {};
    char superlink_junc_location[kCardNameSize] = {};
    char superlink_node_location[kCardNameSize] = {};
    char superlink_junc_flow[kCardNameSize] = {};
    char superlink_node_flow[kCardNameSize] = {};
    char hmet_file[kCardNameSize] = {};
    char optimize[kCardNameSize] = {};
    char water_table[kCardNameSize] = {};
    char gw_porosity_map[kCardNameSize] = {};
    char gw_hycond_map[kCardNameSize] = {};
    char gw_fluxboundtable[kCardNameSize] = {};
    char gw_boundfile[kCardNameSize] = {};
    char gw_output[kCardNameSize] = {};
    char gw_well_level[kCardNameSize] = {};
    char out_well_location[kCardNameSize] = {};
    char aquifer_bottom[kCardNameSize] = {};
    char sacramento[kCardNameSize] = {};
    char stream_cell[kCardNameSize] = {};
    char bound_ts[kCardNameSize] = {};
    char flood_grid[kCardNameSize] = {};
    char flood_stream[kCardNameSize] = {};
    char daily_output[kCardNameSize] = {};
    char nwsrfs_elev_snow[kCardNameSize] = {};
    char hmet_orog_gages[kCardNameSize] = {};
    char vego_file[kCardNameSize] = {};         // "exchange/" + the vego card's name
    char moist_to_vego[kCardNameSize] = {};     // each VEGO name: "exchange/" + the card's name
    char ksat_to_vego[kCardNameSize] = {};
    char rough_to_vego[kCardNameSize] = {};
    char poros_to_vego[kCardNameSize] = {};
    char erosivity_to_vego[kCardNameSize] = {};
    char crop_fact_to_vego[kCardNameSize] = {};
    char net_erosion_to_vego[kCardNameSize] = {};
    char moist_from_vego[kCardNameSize] = {};
    char ksat_from_vego[kCardNameSize] = {};
    char rough_from_vego[kCardNameSize] = {};
    char erosivity_from_vego[kCardNameSize] = {};
    char crop_fact_from_vego[kCardNameSize] = {};
    char et_demand_from_vego[kCardNameSize] = {};
};

// ---------------------------------------------------------------------------
// The card table.

// Record a card field lies in.
enum class card_record : unsigned char { none, cards, settings, rain };
// Type of a card field.
enum class field_kind : unsigned char { none, int_value, double_value, name, int_array };

// One field of a card record: the record, its byte offset and its kind.
struct card_field {
    card_record record = card_record::none;
    std::size_t offset = 0;
    field_kind kind = field_kind::none;
    int count = 0;                  // elements of an int array
    bool present() const { return record != card_record::none; }
};

// How a card's arguments are read.
enum class card_form : unsigned char {
    ignore,          // the line is accepted and ignored
    set,             // field := value (switch and method cards); no argument
    number,          // one int or double into field
    name,            // one token into field
    name_if_rest,    // name and flag only when the rest of the line is not empty (gw_boundfile)
    moisture,        // flag always; name only when the rest of the line is not empty
    ints,            // `count` ints into an int array (start_date, start_time, end_time)
    host_event,      // qrm_event_num: int, -1 when no token follows
    choice,          // one word of a small set (see choice_rule)
    reten_depth,     // retention map name, or a uniform depth with a warning
    number_or_name,  // number into number_field (mode 3) or name into field (mode 1)
    nutrient,        // a field of the nutrient container (see nutrient_group)
    partition,       // one entry of the nutrient partition table (index in value)
    echo,            // read and print a number, store nothing
    action,          // acts at once (see card_action)
};

// Word-choice rules.
enum class choice_rule : unsigned char {
    none,
    int_or_word,     // int when the token reads as one, else the whole lower-cased word
    first_four,      // first four characters of the lower-cased token
    first_four_or_zero,  // the same; no match gives 0
    exact_five,      // rest of the line compared case-sensitively over five characters
};

// Groups of the nutrient cards.
enum class nutrient_group : unsigned char { none, aq_env, ov_init, st_init, out_ov, out_st, out_hyd };

// Cards that act at once while the file is read.
enum class card_action : unsigned char {
    none, time_series_file, elev_series_file, replace_params, replace_vals, replace_line,
    output_folder, project_folder, num_threads, super_quiet, nutrients,
    xy_ovdep, xy_gwhead, xy_gwheadinterp, xy_stflow, xy_sttimeseries,
};

struct card_choice {
    const char* word;
    int value;
};

// One row of the card table.
struct card_entry {
    const char* keyword;            // lower case
    const char* synonyms[2];        // further keywords of the same card, or null
    int code;                       // card code 0..kLastCardCode
    card_form form;
    card_field field;               // main field
    card_field flag;                // presence flag set to 1 (or the second switch)
    card_field extra;               // further field set to `value` (shared fields)
    int value;                      // value of set cards and of `extra`; nutrient species or partition index
    const char* text;               // echo format; code-79 group name of nutrient cards
    choice_rule rule;
    card_choice choices[3];         // words of a choice card
    int error_code;                 // code of a choice card without a match (0: keep reading)
    nutrient_group group;
    card_action action;
    card_field number_field;        // number of number_or_name cards
};

// The whole table in lookup order, and its length.
const card_entry* card_table(int* count);
// The entry of a card code, or null (57, 348 and the ignore code have none with an effect).
const card_entry* find_card(int code);

// Address of a field inside the records.
void* card_field_address(const card_field& f, project_card_values& cards, run_settings& settings,
                         rain_settings& rain);

// Typed builders of card fields (the kind follows the declared type).
template <class T>
constexpr field_kind field_kind_of() {
    if constexpr (std::is_same<T, int>::value) return field_kind::int_value;
    else if constexpr (std::is_same<T, double>::value) return field_kind::double_value;
    else if constexpr (std::is_same<T, char[kCardNameSize]>::value) return field_kind::name;
    else if constexpr (std::is_array<T>::value &&
                       std::is_same<typename std::remove_extent<T>::type, int>::value)
        return field_kind::int_array;
    else return field_kind::none;
}

template <class T>
constexpr card_field make_card_field(card_record r, std::size_t offset) {
    static_assert(field_kind_of<T>() != field_kind::none, "unsupported card field type");
    return card_field{r, offset, field_kind_of<T>(),
                      static_cast<int>(std::is_array<T>::value ? std::extent<T>::value : 1)};
}
