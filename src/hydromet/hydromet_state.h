// Members of the run state owned by the hydromet subsystem.
#pragma once
#include <vector>
#include "core/file_object.h"

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
    double precip_next = 0.0;       // start of the next precipitation event, Julian days

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
    int precip_step = 1;            // current precipitation record of the event, from 1
    double snow_const_a = 80.0;     // eleventh argument of every snow routine call
    double snow_const_b = 27.0;     // tenth argument of every snow routine call
};
