// Run-control and clock members of the run state: the time step, the model
// clock with the update times of every process, the end flags of the time
// loop, the event counters and the event accounting totals.
// Times are Julian days unless said otherwise; volumes m3, discharges m3/s.
#pragma once
#include <array>
#include <vector>
#include "core/file_object.h"

struct calib_output;

struct core_state {
    // Run identity
    char project_file[1024] = {};   // project path as given
    int calibration_run = 0;        // 1 when a calibration record is filled
    struct calib_output* calib_output = nullptr;  // record filled by a calibration run (not owned)
    int quiet = 0;                  // copy of the super_quiet card
    int long_term = 0;              // 1 for a long-term (continuous) run
    int qrm_mode = 0;               // run as an event of the QRM host
    int english_units = 0;          // report flows in ft3/s
    double m3_to_ft3 = 35.314667;   // ft3 per m3

    // Clock
    double dt = 0.0;                // model time step, s
    double dt_days = 0.0;           // model time step, days
    double time = 0.0;              // current model time
    double julian_start = 0.0;      // time of step 0
    double julian_end = 0.0;        // end time of a long-term simulation
    double time_tolerance = 1.1574074074074074e-7;  // due-test tolerance, days (0.01 s)
    int step = 0;                   // pass counter, 0 on the first pass
    int clock_passes = 0;           // calls of advance_clock so far
    double elapsed_minutes = 0.0;   // step x dt / 60, min
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;  // calendar of time
    int day_of_year = 0;            // day of the year of time
    int event_steps = 0;            // passes since the event began
    int infil_steps = 0;            // infiltration steps of the event
    int chan_steps = 0;             // channel steps of the event
    int hydro_write_steps = 0;      // passes between hydrograph writes
    int map_write_steps = 0;        // passes between map writes
    int start_date_given = 0;       // long-term run starts at the start_date card
    int first_event_index = 0;      // first event not before the start date (1-based)
    double next_event_start = 0.0;  // start time of the next precipitation event

    // Update clocks of the processes: interval (s and days), last and next update time
    double rain_step_seconds = 0.0, rain_step_days = 0.0, rain_last = 0.0, rain_next = 0.0;
    double infil_step_seconds = 0.0, infil_step_days = 0.0, infil_last = 0.0, infil_next = 0.0;
    double hmet_last = 0.0, hmet_next = 0.0;
    double et_step_seconds = 0.0, et_step_days = 0.0, et_last = 0.0, et_next = 0.0;
    double gw_step_seconds = 0.0, gw_step_days = 0.0, gw_last = 0.0, gw_next = 0.0;
    double chan_step_seconds = 0.0, chan_step_days = 0.0, chan_last = 0.0, chan_next = 0.0;
    double superlink_step_days = 0.0, superlink_last = 0.0, superlink_next = 0.0;
    int superlink_first_step = 0;
    double sac_step_seconds = 0.0, sac_step_days = 0.0, sac_next = 0.0;
    double hmet_step_seconds = 0.0, hmet_step_days = 0.0;  // hydromet record interval (long-term runs)
    double chan_step_minutes = 0.0; // channel time step, min

    // End flags of the time loop
    int running = 0;                // the loop goes on while set
    int event_ended = 0;            // set by the end tests, cleared by the event transition
    int finish_pending = 0;         // asks the end-of-event accounting to run
    int event_active = 0;           // an event is open

    // Events
    int event_index = 0;            // current event, counted from 1
    double event_begin_time = 0.0;  // start of the current event
    double end_time = 0.0;          // end time of a single-event run
    int end_time_given = 0;         // end_time card present
    double end_time_card = 0.0;     // its Julian time
    double flow_cutoff = 0.0;       // cutoff discharge of event separation, m3/s

    // Outlet discharge and peak
    double outlet_flow = 0.0;       // outlet discharge of the current step, m3/s
    double peak_flow = 0.0;         // running peak since the event start, m3/s
    double peak_time = 0.0;         // time of the peak
    int peak_year = 0, peak_month = 0, peak_day = 0, peak_hour = 0, peak_minute = 0,
        peak_second = 0;
    double event_peak_discharge = 0.0;  // the event's peak as reported, m3/s

    // Event control (start_event, print_progress, check_run_end, finish_event)
    int events_finished = 0;        // events accounted so far by finish_event
    int dry_start = 0;              // 1: no water on the surface at the event start (cleared by the first rain)
    int rain_steps = 0;             // steps with rain in the event
    double rain_begin_minutes = 0.0;  // elapsed minutes when the event's rain began, min
    int flush_count = 0;            // progress calls since standard output was last flushed
    int flush_every = 5000;         // progress calls between flushes when flush_buffer gives no count

    // Event volumes (m3), reset by start_event and closed by finish_event
    double event_rain_volume = 0.0;       // rain of the event (added by the rain application)
    double event_outflow_vol = 0.0;       // running outlet volume of the event (added by routing)
    double event_outflow_total = 0.0;     // the event's outlet volume as reported
    double event_surface_init = 0.0;      // surface storage at the event start
    double event_surface_init_copy = 0.0; // its copy kept by the rain application
    double event_infil_volume = 0.0;      // infiltration of the event
    double event_channel_init = 0.0;      // channel water at the event start
    double event_exfil_volume = 0.0;      // exfiltration of the event
    double exfil_at_event_start = 0.0;    // vol_exfiltration at the event start
    double event_evap_volume = 0.0;       // evaporation of the event between Richards steps
    double event_lake_init = 0.0;         // water of the channel-network lakes at the event start
    double event_lake_final = 0.0;        // and at the event end
    double event_snow_init = 0.0;         // snow water at the event start
    double event_snow_final = 0.0;        // and at the event end
    double vol_surface_final = 0.0;       // surface water at the event end (and at the last-event test)
    double vol_ovlake_final = 0.0;        // overland-lake water at the event end
    double vol_channel_final = 0.0;       // channel water at the event end
    double vol_soil_final = 0.0;          // unsaturated soil water at the event end
    double vol_drains_final = 0.0;        // storm-drain storage at the event end
    double event_inputs = 0.0;            // input side of the event balance
    double event_outputs = 0.0;           // output side of the event balance
    double event_mass_error = 0.0;        // (inputs - outputs) / inputs, -; -1 when the event had no inputs
    double avg_soil_moisture = 0.0;       // basin-averaged relative soil moisture at the event start, -
    double avg_soil_moisture_final = 0.0; // the same at the event end, -

    // Event exchange volumes (m3), zeroed at the event start, added by the process steps
    double event_vol_ov_to_lake = 0.0;    // overland water into channel-network lakes
    double event_vol_lake_to_ov = 0.0;    // lake water onto the overland grid
    double event_vol_gw_to_chan = 0.0;    // aquifer to channels
    double event_vol_chan_to_gw = 0.0;    // channels to the aquifer
    double event_vol_gw_to_lakes = 0.0;   // aquifer to channel-network lakes
    double event_vol_lakes_to_gw = 0.0;   // channel-network lakes to the aquifer
    double event_vol_gw_to_tile = 0.0;    // aquifer to tile drains
    double event_vol_gw_to_unsat = 0.0;   // aquifer to the unsaturated zone (Richards)
    double event_vol_gw_recharge = 0.0;   // recharge of the aquifer
    double event_vol_xy_gain_gw = 0.0;    // gained through XY groundwater boundaries
    double event_vol_xy_loss_gw = 0.0;    // lost through XY groundwater boundaries
    double event_vol_ov_to_superlink = 0.0;        // overland into storm drains
    double event_vol_superlink_to_ov = 0.0;        // storm drains onto the overland grid
    double event_vol_superlink_to_channels = 0.0;  // storm drains into channels
    double event_vol_drains_init = 0.0;   // storm-drain storage of the event's start

    // Event differences of cumulative volumes (m3): start copy and event volume
    double event_start_vol_interception = 0.0, event_vol_interception = 0.0;
    double event_start_vol_lake_evaporation = 0.0, event_vol_lake_evaporation = 0.0;
    double event_start_lateral_inflow = 0.0;          // vol_lateral_inflow at the event start
    double event_start_lateral_into_channel = 0.0;    // vol_lateral_into_channel at the event start
    double event_start_lateral_out_of_channel = 0.0;  // vol_lateral_out_of_channel at the event start
    double event_start_vol_slope_bc_loss = 0.0, event_vol_slope_bc_loss = 0.0;
    double event_start_vol_head_bc_gain = 0.0, event_vol_head_bc_gain = 0.0;
    double event_start_vol_head_bc_loss = 0.0, event_vol_head_bc_loss = 0.0;
    double event_start_vol_discharge_bc_gain = 0.0, event_vol_discharge_bc_gain = 0.0;
    double event_start_vol_discharge_bc_loss = 0.0, event_vol_discharge_bc_loss = 0.0;
    double event_start_vol_discharge_bc_unmet = 0.0, event_vol_discharge_bc_unmet = 0.0;
    double event_start_vol_ov_pumps = 0.0, event_vol_ov_pumps = 0.0;
    double event_start_vol_stream_point_sources = 0.0, event_vol_stream_point_sources = 0.0;
    double event_start_vol_stream_point_sinks = 0.0, event_vol_stream_point_sinks = 0.0;
    double event_start_vol_lake_point_sources = 0.0, event_vol_lake_point_sources = 0.0;
    double event_start_vol_lake_point_sinks = 0.0, event_vol_lake_point_sinks = 0.0;

    // Richards event totals (m3 unless said)
    double richards_soil_start = 0.0;       // soil water of the columns at the event start
    int richards_node_count = 0;            // nodes summed into it (and into vol_soil_final)
    double richards_downward_total = 0.0;   // downward flux of the event summed over cells, cm
    double richards_downward_volume = 0.0;  // that flux as a volume
    double event_richards_evap = 0.0;       // direct evaporation of the event
    double event_richards_infil = 0.0;      // infiltration into the columns in the event
    double richards_balance_error = 0.0;    // balance error of the columns, percent
    int richards_cells_start = 0;           // column nodes counted at the event start (richards_node_count then)

    // Sacramento event totals (m3)
    double event_sac_storage_start = 0.0;   // zone storages at the event start
    double event_sac_storage_end = 0.0;     // zone storages at the event end
    double event_sac_baseflow = 0.0;        // base flow of the event
    double event_sac_infiltration = 0.0;    // infiltration the accounting received
    double event_sac_et = 0.0;              // evapotranspiration of the event
    std::vector<double> scratch_grid;       // per-cell work array (Ksat exchange map in cm/h)

    // Run-control values copied from the project cards (read_run_parameters)
    int units = 0;                  // units flag of the units card
    int strict_julian_date = 0;     // strict_julian_date card
    int stream_info = 0;            // stream_info card: print the channel extremes block
    int qrm_host = 0;               // running inside the QRM host (qrm card)
    int qrm_event_num = 0;          // event number asked by the host, -1 none
    int vego = 0;                   // exchange with the co-run model VEGO (vego card)
    int vego_first = 0;             // vego_first card
    int start_yyyymmdd = 0;         // start date as year x 10000 + month x 100 + day
    int start_hhmm = 0;             // start time as hour x 100 + minute
    int tot_time = 0;               // total simulation time of the tot_time card, min
    int quiet_card = 0;             // the quiet card (run_state.quiet is the super_quiet card)

    // Event tables (fixed capacities; entry 0 is the first event)
    static constexpr int kMaxEvents = 2000;            // precipitation events per run
    int num_events = 0;             // number of precipitation events
    double event_starts[kMaxEvents] = {};               // Julian start time of each event
    // Date of each data line of the event read last (line 0: the start of a
    // uniform-rain run): year, month, day, hour, minute, spare. Grown by the
    // precipitation reader to the event's line count, never shrunk.
    std::vector<std::array<int, 6>> precip_dates = std::vector<std::array<int, 6>>(1);
};
