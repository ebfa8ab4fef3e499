// Project input members of the run state: the card records, the run's
// file objects, the grid and the cell numbering.
#pragma once
#include <vector>
#include "core/checked_array.h"
#include "core/file_object.h"
#include "input/cards.h"

struct input_state {
    file_object summary_file;       // the run's summary file

    // The run's input and output files opened by open_run_files, in its order
    // (the readers and writers of the processes use and close them).
    file_object watershed_mask_file;          // watershed mask map (read and closed by the mask reader)
    file_object elevation_file;               // elevation map (read and closed by the elevation reader)
    file_object outlet_hydro_file;            // outlet hydrograph output
    file_object overland_depth_location_file; // overland depth location list
    file_object overland_depths_file;         // overland depth output
    file_object overland_wse_location_file;   // overland water-surface location list
    file_object overland_wse_file;            // overland water-surface output
    file_object gw_boundary_file;             // groundwater boundary file
    file_object well_location_file;           // well location list
    file_object well_level_file;              // well level output
    file_object gw_hycond_file;               // groundwater conductivity map
    file_object gw_porosity_file;             // groundwater porosity map
    file_object water_table_file;             // water table map
    file_object aquifer_bottom_file;          // aquifer bottom map
    file_object soil_type_file;               // soil type index map
    file_object soil_layer_file;              // multi-layer soil table
    file_object evap_out_file;                // evaporation output "evap_out"
    file_object moisture_file;                // initial soil moisture map
    file_object conductivity_file;            // hydraulic conductivity map
    file_object capillary_file;               // capillary head map
    file_object porosity_file;                // porosity map
    file_object pore_index_file;              // pore distribution index map
    file_object residual_sat_file;            // residual saturation map
    file_object hmet_data_file;               // hydrometeorological data
    file_object hmet_orog_file;               // orographic gage data
    file_object albedo_file;                  // albedo map
    file_object vheight_file;                 // vegetation height map
    file_object tcoeff_file;                  // transmission coefficient map
    file_object canopy_file;                  // canopy resistance map
    file_object wilting_point_file;           // wilting point map
    file_object precip_data_file;             // precipitation (rain gage) file
    file_object stream_cell_file;             // grid-stream connection file
    file_object storage_capacity_file;        // interception storage map
    file_object interception_coeff_file;      // interception coefficient map
    file_object overland_lake_map_file;       // overland lake map
    file_object overland_lake_data_file;      // overland lake data
    file_object reten_depth_file;             // retention depth map
    file_object roughness_file;               // roughness map
    file_object channel_input_file;           // channel input file
    file_object chan_depth_hotstart_out_file; // channel depth hotstart written (".dht")
    file_object chan_discharge_hotstart_out_file;  // channel discharge hotstart written (".qht")
    file_object ov_hotstart_file;             // overland depth hotstart map
    file_object swe_hotstart_file;            // initial snow water equivalent map
    file_object sm_hotstart_file;             // soil moisture hotstart map
    file_object chan_depth_hotstart_in_file;  // channel depth hotstart read (".dht")
    file_object chan_discharge_hotstart_in_file;   // channel discharge hotstart read (".qht")
    file_object hyd_location_file;            // hydrograph location list
    file_object hyd_location_out_file;        // hydrograph output at the locations
    file_object gwflux_location_file;         // groundwater flux location list
    file_object gwflux_location_out_file;     // groundwater flux output at the locations
    file_object celldepdis_location_file;     // depth/discharge cell location list
    file_object celldepdis_location_out_file; // depth/discharge output at the cells
    file_object sig_outlet_hydro_file;        // outlet hydrograph with six significant digits
    file_object superlink_junc_location_file; // super-junction location list
    file_object superlink_junc_flow_file;     // super-junction flow output
    file_object superlink_node_location_file; // superlink node location list
    file_object superlink_node_flow_file;     // superlink node flow output
    file_object lake_output_file;             // lake output
    file_object dep_location_out_file;        // depth output at the location points
    file_object con_location_out_file;        // concentration output at the location points
    file_object mass_location_out_file;       // mass output at the location points
    file_object theta_location_file;          // soil moisture location list
    file_object theta_location_out_file;      // soil moisture output at the locations
    file_object chan_depth_file;              // channel depth output
    file_object chan_discharge_file;          // channel discharge output
    file_object chan_stage_file;              // channel stage output
    file_object chan_velocity_file;           // channel velocity output
    file_object flood_stream_file;            // flood stream stage output
    file_object chan_sed_flux_file;           // stream sediment flux output
    file_object superlink_head_file;          // superlink head output
    file_object superlink_tile_file;          // superlink tile output
    file_object superlink_flow_file;          // superlink flow output
    file_object contam_map_file;              // contaminant map

    // Grid and outlet copied from the run-control cards by check_time_settings
    int mask_rows = 0;              // rows the mask grid is sized from
    int mask_cols = 0;              // columns the mask grid is sized from
    int outrow = 0;                 // outlet cell row
    int outcol = 0;                 // outlet cell column
    double outslope = 0.0;          // outlet slope, m/m

    // Initial state
    int surface_water_present = 0;  // long-term run starts with water on the surface (set by the initial state)

    // Grid (metres)
    int rows = 0;                   // grid rows
    int cols = 0;                   // grid columns
    double cell_size = 0.0;         // cell size, m
    int GNUM = 0;                   // number of active cells, numbered 1..GNUM row by row
    int** mask = nullptr;           // cell number of every grid position [0..rows+1][0..cols+1]
    std::vector<double> elevation;  // ground elevation per cell, m (GNUM+1, used from 1)

    // Card records of the project file and the run's file names
    project_cards cards;            // every card that is neither run control nor precipitation
    run_settings settings;          // run-control cards
    rain_settings rain_cards;       // precipitation cards
    run_files files;                // working file names filled from the cards

    // Mapping tables
    int mapping_table_given = 0;    // mapping_table card given
    int st_mapping_table_given = 0; // st_mapping_table card given
    int mapping_sections[32] = {};  // 1 when the mapping table holds section 1..31 (kMap* below)
    int stream_sections[6] = {};    // 1 when the stream mapping table holds table 0..5
    int ts_index_built = 0;         // 1 once this run built the time-series index (TIME_SERIES_INDEX)

    // Sections of the mapping table as recorded by check_mapping_tables.
    static constexpr int kMapRoughness = 1, kMapInterception = 2, kMapRetention = 3,
                         kMapGreenAmpt = 4, kMapSoilMoisture = 5, kMapMultiLayer = 6,
                         kMapRichardsHavercamp = 7, kMapRichardsBrooks = 8,
                         kMapEvapotranspiration = 9, kMapSediments = 10, kMapErosion = 11,
                         kMapContaminants = 12, kMapWetlands = 13, kMapOverlandBoundary = 14,
                         kMapWells = 15, kMapGroundwater = 16, kMapGroundwaterBoundary = 17,
                         kMapAreaReduction = 18;

    input_state() = default;
    input_state(const input_state&) = delete;
    input_state& operator=(const input_state&) = delete;
    ~input_state();

    // Header of the grid map read last (read_map_file) and the kind being read
    int map_kind = 0;               // storage kind of the map being read, 1..4 (input/map_reader.h)
    double map_north = 0.0;         // northern edge of the map, m
    double map_south = 0.0;         // southern edge of the map, m
    double map_east = 0.0;          // eastern edge of the map, m
    double map_west = 0.0;          // western edge of the map, m
    int map_rows = 0;               // rows given by the map header
    int map_cols = 0;               // columns given by the map header

    // Cell positions (filled by the first step that needs them: 8 and 16
    // bytes per cell that a run of uniform rain does without) and watershed
    // (read_watershed_mask, read_elevation_map)
    checked_array<int> cell_row;    // grid row of each cell 1..GNUM (fill_cell_rows)
    checked_array<int> cell_col;    // grid column of each cell 1..GNUM (fill_cell_rows)
    checked_array<double> cell_x;   // easting of each cell centre 1..GNUM, m (fill_cell_centres)
    checked_array<double> cell_y;   // northing of each cell centre 1..GNUM, m (fill_cell_centres)
    double mask_west = 0.0;         // western edge of the watershed mask, m
    double mask_north = 0.0;        // northern edge of the watershed mask, m
    double mask_column_width = 0.0; // column width of the watershed mask, m
    double mask_row_height = 0.0;   // row height of the watershed mask, m
    double watershed_area = 0.0;    // cell_size^2 x GNUM, m2
    int outlet_cell = 0;            // cell number at (outrow, outcol); 0 outside the watershed
    int feet_input = 0;             // elevations and grid size were given in feet and converted to metres
};
