// Members of the run state owned by the hydromet subsystem.
#pragma once
#include <array>
#include <string>
#include <vector>
#include "core/checked_array.h"
#include "core/file_object.h"
#include "hydromet/precip_types.h"
#include "hydromet/hmet_records.h"
#include "hydromet/snow_melt.h"

// The current hydrometeorological record (filled by the hydromet reader).
struct hmet_record {
    double global_rad = 0.0;        // global radiation, units of the record
    double direct_rad = 0.0;        // direct radiation, units of the record
    double cloud_cover = 0.0;       // cloud cover, tenths of sky 0-10
    double air_temp = 0.0;          // air temperature, degrees C
    double rel_humidity = 0.0;      // relative humidity, %
    double pressure = 0.0;          // barometric pressure, mb
    double wind_speed = 0.0;        // wind speed, m/s
    int year = 0, month = 0, day = 0, hour = 0;  // date of the record (hour 0-23)
};

struct hydromet_state {

    // Precipitation switches (read_run_parameters)
    int interception = 0;           // interception simulated (interception_coeff given)
    int uniform_rain = 0;           // uniform rain (precip_unif)
    double uniform_rain_intensity = 0.0;  // uniform rain intensity, mm/h
    double uniform_intensity = 0.0;       // the same intensity as applied to every cell, mm/h
    int uniform_rain_duration = 0;  // uniform rain duration, min
    int precip_uniform_mode = 0;    // the precipitation step runs in uniform mode
    double precip_start_time = 0.0; // start of the uniform rain, Julian days
    int gage_rain = 0;              // rain from the precipitation (gage) file
    int gage_idw = 0;               // gage interpolation by inverse distance
    int gage_thiessen = 0;          // gage interpolation by Thiessen polygons (nearest gage)

    // Precipitation event state (set up by set_start_clock, advanced by the precipitation steps)
    int rain_state = 0;             // 0 no rain, 1 event read, 2 no further event, 3 rates cleared
    int rain_on = 0;                // an event's rain is being applied (the in-event flag)
    int event_runoff = 0;           // an event's rain or runoff is going on
    int uniform_steps = 0;          // uniform rain applications so far (1 at the start)
    int num_periods = 0;            // rain periods of the current event (uniform: rain steps)
    double precip_next = 0.0;       // event start, then the line ending the period reached, Julian days

    // Hydrometeorological data period left by init_precip_input (long-term runs; hour 0..23)
    int hmet_start_year = 0, hmet_start_month = 0, hmet_start_day = 0, hmet_start_hour = 0;
    int hmet_end_year = 0, hmet_end_month = 0, hmet_end_day = 0, hmet_end_hour = 0;

    // Site of the watershed (copied from the run-control cards by check_time_settings)
    double latitude = 0.0;          // latitude of the basin centroid, degrees
    double longitude = 0.0;         // longitude of the basin centroid, degrees
    double gmt = 0.0;               // time-zone offset from GMT, h
    int gmt_given = 0;              // gmt card present

    // Hydrometeorology and evapotranspiration switches
    int hmet_surfaways = 0, hmet_samson = 0, hmet_kev = 0, hmet_ascii = 0,
        hmet_ascii_pet = 0;         // format of the hydrometeorological file
    int et_calc_penman = 0;         // Penman-Monteith evapotranspiration (card)
    int et_calc_deardorff = 0;      // Deardorff evapotranspiration (card)
    int et_penman = 0;              // Penman-Monteith in use (same as et_calc_penman)
    int et_deardorff = 0;           // Deardorff in use (same as et_calc_deardorff)
    int albedo = 0, vheight = 0, tcoeff = 0, canopy = 0, wilting_point = 0;  // ET maps given
    int seasonal_rs = 0;            // seasonal canopy resistance

    // Evapotranspiration per cell (GNUM+1, used from 1): vegetation maps read by
    // read_et_maps, ground temperature and rates written by evapo_trans, the frozen
    // ground index by update_frozen_ground_index
    std::vector<double> veg_albedo;        // surface albedo, -
    std::vector<double> veg_height;        // vegetation height, m
    std::vector<double> veg_tcoeff;        // transmission coefficient of the direct beam, - (0 read as 1)
    std::vector<double> veg_canopy_rs;     // canopy resistance, s/m
    std::vector<double> ground_temp;       // ground temperature, K
    std::vector<double> energy_residual;   // energy-balance residual of the last pass, kW/m2
    std::vector<double> pet_rate;          // potential evapotranspiration rate, cm/s (at least 0)
    std::vector<double> aet_rate;          // actual evapotranspiration rate, cm/s (at least 0)
    std::vector<double> cfgi;              // continuous frozen ground index, - (above 83: frozen)
    int et_ground_started = 0;             // 1 once evapo_trans has set the ground temperatures

    // Snow (values of the snow number cards stay in rs.cards)
    int snow_no_infiltrate = 0;     // no infiltration under snow
    int snow_roughness_on = 0;      // snow_roughness card given
    int snow_darcy_given = 0;       // snow_darcy card given
    double snow_darcy = 0.0;        // Darcy friction of snow (card value)
    int snow_reynolds_given = 0;    // snow_reynolds card given
    double snow_reynolds = 0.0;     // Reynolds number limit of snow flow (card value)
    int nwsrfs_snow = 0, nwsrfs_retention = 0, eb_nwsrfs_snow = 0;  // snow model switches
    int nwsrfs_mf_max = 0, nwsrfs_mf_min = 0, nwsrfs_fr_use = 0, nwsrfs_scf = 0,
        nwsrfs_tipm = 0, nwsrfs_nmf = 0, nwsrfs_fua = 0, nwsrfs_plwhc = 0,
        snow_temp_base = 0;         // snow parameter cards given (flags)
    int nwsrfs_elev_snow = 0;       // elevation-band snow parameter file given
    int orogvar_hmet = 0;           // orographic temperature variation
    int hmet_elev_gage = 0;         // hmet_elev_gage card given (flag)
    int hmet_lapse_rate = 0;        // hmet_lapse_rate card given (flag)
    int hmet_orog_gages = 0;        // orographic gage file given

    // Run-state defaults of the precipitation and snow steps
    int precip_step = 1;            // rain period the last rain step reached, from 1
    double snow_const_a = 80.0;     // eleventh argument of every snow routine call
    double snow_const_b = 27.0;     // tenth argument of every snow routine call

    // Snow and interception per cell (GNUM+1, used from 1) created by alloc_cell_arrays
    int snow = 0;                        // 1 while snow lies on some cell
    std::vector<double> snow_swe;        // snow water equivalent, m
    std::vector<double> snow_ice;        // frozen water of the pack (snow routine unit), 10 x snow_swe at the start
    std::vector<double> scf;             // snow correction factor, - (1.0 unless a band or card sets it)
    std::vector<std::array<double, 7>> qlr;  // lag record of the pack, hourly slots 1..6, mm
    std::vector<double> snow_ati;        // antecedent temperature index, degrees C
    std::vector<double> snow_heat_deficit;  // heat deficit of the pack, mm
    std::vector<double> snow_liquid;     // liquid water held by the pack, mm
    std::vector<double> snow_density;    // snow density, g/cm3 (0.15 at the start)
    std::vector<int> st_event;           // snow step: event counter of the cell
    std::vector<double> h_val;           // snow step: hourly value of the cell, mm
    std::vector<double> tsnow_p;         // snow step: precipitation of the partial hour, mm
    std::vector<double> tsnow_t;         // snow step: time of the partial hour, h
    std::vector<double> psnow_total;     // snow step: cumulative precipitation on snow, mm
    std::vector<double> wq;              // snow step: liquid water outflow, mm
    std::vector<double> wi;              // snow step: water input, mm
    std::vector<double> icep_stor;       // interception storage capacity, m
    std::vector<double> icep_coef;       // interception coefficient, -
    std::vector<double> icep_dep;        // intercepted depth, m
    std::vector<double> ri_eff;          // rainfall intensity after interception, m/s

    // Precipitation event block: the event read last from the precipitation file
    int card_radar = 0;             // 0 no RADAR lines; 1 RADAR lines with a value per gage; 2 radar files
    int card_gages = 0;             // 1 when the event's lines are GAGES lines
    int card_rates = 0;             // 1 when the event's lines are RATES lines
    int card_accum = 0;             // 1 when the event's lines are ACCUM lines
    int num_gages = 0;              // gages of the event (NRGAG; 1 for a radar-file event)
    int num_lines = 0;              // dated data lines of the event (NRPDS)
    std::vector<int> nearest;       // nearest gage of each cell 1..GNUM (nearest-gage rain)
    std::vector<double> gage_x;     // easting of each gage 1..num_gages, m
    std::vector<double> gage_y;     // northing of each gage 1..num_gages, m
    checked_array_2d<double> gage_values;  // [gage][line]: values as read (mm or mm/h), after
                                           // the event conversion the intensity of period i, m/s
    std::vector<int> precip_line_numbers;  // file line of each data line 1..num_lines
    int event_date[5] = {};         // year, month, day, hour, minute of the event's first line
    std::vector<std::string> radar_filenames;  // radar file of line i in slot i-1 (kRadarNameSlots once a radar event is counted)
    radar_grid radar;               // radar grid of the current radar-file event
    char event_title[kPrecipTitleSize] = {};  // title of the event read last
    int precip_event_counter = 0;   // EVENT cards met in the precipitation file (messages)
    int precip_file_line = 0;       // lines read from the precipitation file since its start
    int precip_event_reads = 0;     // event reads of this run
    double precip_last = 0.0;       // last precipitation update time, Julian days
    int precip_data_end = 0;        // no further event was found in the precipitation file

    // Rain of the event step by step: each rain step takes the recorded rain of
    // its own interval, the periods between data lines being piecewise constant.
    std::vector<double> precip_line_seconds;  // time of data line 1..num_lines after line 1, s
    double precip_done = 0.0;       // event time up to which the rain went to the cells, s after line 1
    int cells_hold_period = 0;      // period whose own rates the cells hold (-1: no rain, 0: a blend)
    int rain_ends_after_step = 0;   // 1: the step being applied reaches the last line; the rain ends after it
    checked_array_2d<double> gage_step_rates;  // [gage][1]: mean intensity of each gage over the step, m/s
    int radar_period_loaded = 0;    // period whose radar grid radar_period_rate holds (0: none)
    std::vector<double> radar_period_rate;     // per cell 1..GNUM: radar intensity of that period, m/s

    // Rain application totals
    double rain_rate_sum = 0.0;     // effective rates applied since the event start (sign used), m/s
    double vol_precip = 0.0;        // rain on the watershed (past the canopy), m3
    double vol_interception = 0.0;  // rain held on the canopy, m3
    double vol_lake_inflow = 0.0;   // water into channel-network lakes, m3
    double vol_precip_to_lakes = 0.0;       // rain on channel-network lakes, m3
    double event_vol_precip_to_lake = 0.0;  // rain on channel-network lakes in the event, m3
    double vol_precip_ovlakes = 0.0;        // rain on overland lakes, m3
    std::vector<double> rain_cell_volume;   // effective rain volume of each cell in the step, m3 (kept for the contaminant rain load; 0 on channel-lake cells)
    long rain_cell_volume_writes = 0;     // rain steps that wrote rain_cell_volume so far
    std::vector<double> icep_cell_volume;   // work: volume held by each cell's canopy in the step, m3

    // Hydrometeorological record read by the rain application and the snow routine
    hmet_record hmet_current;       // the current record
    checked_array<double> hmet_cell_temp;   // air temperature per cell 1..GNUM (gridded or orographic), degrees C
    checked_array<double> hmet_cell_direct_rad;    // gridded: direct radiation per cell, units of the record
    checked_array<double> hmet_cell_global_rad;    // gridded: global radiation per cell, units of the record
    checked_array<double> hmet_cell_cloud;         // gridded: cloud cover per cell, tenths of sky 0-10
    checked_array<double> hmet_cell_rel_humidity;  // gridded: relative humidity per cell, %
    checked_array<double> hmet_cell_pressure;      // gridded: barometric pressure per cell, mb
    checked_array<double> hmet_cell_wind;          // gridded: wind speed per cell, m/s
    double hmet_ref_elevation = 0.0;        // elevation of the hmet gage (orographic header), m
    double orog_gage_elevation = 0.0;       // elevation of the orographic gage (orographic header), m

    // Snow pack temperature per cell (GNUM+1, used from 1), written by the snow step, degrees C
    std::vector<double> snow_pack_temp;

    // Event control of the precipitation steps
    int rain_first_step = 0;        // 1 until the rainfall step has taken the event's first step
    int soil_et = 0;                // soil evapotranspiration withdrawal on (compute_soil_et)
    file_object optimization_file;  // optimization output of calibration runs (init_precip_input)

    // Hydrometeorological station and data repairs (SAMSON header; missing values replaced)
    char hmet_station[23] = {};     // station identifier, at most 22 characters
    int hmet_missing_count = 0;     // hydrometeorological data points repaired

    // Snow water of the run (m3): at the start (initial state) and at the end (run summary)
    double vol_snow_init = 0.0;
    double vol_snow_final = 0.0;

    // Hydrometeorological reader (hmet_reader.cpp): every record of the file,
    // parsed and validated by the counting call, served one per hmet step.
    hmet_file_records hmet_records;
    int hmet_record_count = 0;      // records found by the counting call
    int hmet_read_count = 0;        // 1 after the counting call, 2 at the first data read, +1 per step
    double hmet_working_lapse = -5.0;  // working lapse rate, degrees C per 1000 m of elevation
    // Hourly report of the long-term step (update_hydromet)
    double vol_evaporation_last = 0.0;  // evapotranspiration volume at the previous report, m3
    double vol_infiltration_last = 0.0; // infiltrated volume at the previous report, m3
    double avg_theta = 0.0;         // mean top-soil water content, m3/m3
    double avg_et_rate = 0.0;       // evapotranspiration over the last hmet step, cm
    double avg_infil = 0.0;         // mean infiltration rate, cm/h
    double avg_bottom_flux = 0.0;   // mean root-zone bottom flux, cm
    int hmet_started = 0;           // 1 once the first hmet step of the run has taken its record
    int snow_from_hmet = 0;         // 1 while the snow routine runs from the hmet step

    // Snow pack model: per-cell parameters and the state the pack kernel keeps
    // beside the arrays above (GNUM+1, used from 1; sized by init_snow_array)
    std::vector<snow_params> snow_par;          // melt parameters of each cell
    std::vector<double> snow_lag_storage;       // excess liquid water in transit, mm
    std::vector<double> snow_new_density;       // density of new snow, g/cm3
    std::vector<double> snow_prev_temp;         // air temperature at the previous call, degrees C
    std::vector<std::array<double, 6>> snow_precip_hours;  // last six whole hours' precipitation, [0] latest, mm
    double vol_snow_melt = 0.0;                 // melt water the packs put on the surface, m3
    std::vector<double> melt_cell_volume;       // work: melt volume of each cell in a call, m3
};
