// End-of-event summary: the event report that finish_event has written into
// the summary file once it has closed the event's books. The report only
// formats what the accounting left in the run state (volumes m3, discharge
// m3/s, soil water contents as fractions); its lines, their order and their
// conditions are the file's contract.
#include "output/event_report.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "core/dates.h"
#include "run/event_control.h"
#include "core/file_write.h"
#include "run/run_state.h"
#include "output/event_transport_summary.h"
#include "output/output_setup.h"

namespace {

constexpr double kNoRainfallError = -1.0;     // event_mass_error of an event without inputs
constexpr double kMassErrorWarning = 2.0;     // percent above which the data set is doubted
constexpr double kSurfaceRemainderShare = 0.05;  // share of the net rain left on the surface

// Explicit channel routing on: the lines of channel volumes need the flag to be exactly 1.
bool channel_routing(const run_state& rs) { return rs.chan_explic == 1; }

// Calendar date of a Julian time: year, month, day, hour, minute.
void calendar_of(double julian, int date[5]) {
    double seconds = 0.0;
    julian_to_date(julian, date[0], date[1], date[2], date[3], date[4], seconds);
}

// Section 1 and the heading of a single-event run (section 2).
void write_heading(run_state& rs, file_object& f) {
    if (rs.long_term && rs.event_index > 1) {
        file_printf(f, "\n\n");
        file_printf(f, "------------------------------------------------------------------------------\n");
    }
    // The event's start taken from its Julian start time: the same for gage,
    // radar and uniform rain (the precipitation file's date record is not
    // filled for uniform rain).
    int date[5];
    calendar_of(rs.event_begin_time, date);
    if (!rs.long_term) {
        file_printf(f, "         PLUVO EVENT RUNOFF SIMULATION SUMMARY\n");
        file_printf(f, "            Event began on %2.2d/%2.2d/%4.4d at %2.2d:%2.2d\n", date[1], date[2],
                    date[0], date[3], date[4]);
        return;
    }

    // Section 3: long-term runs.
    file_printf(f, "       PLUVO LONG-TERM RUNOFF SIMULATION SUMMARY- EVENT %ld\n",
                static_cast<long>(rs.event_index));
    file_printf(f, "Event began on strict Julian date:                    %16.8lf\n", rs.event_begin_time);
    file_printf(f, "Event ended on strict Julian date:                    %16.8lf\n", rs.time);
    file_printf(f, "Event began on %2.2ld/%2.2ld/%4.4ld at %2.2ld:%2.2ld  GMT %3.1f hours.\n\n",
                static_cast<long>(date[1]), static_cast<long>(date[2]), static_cast<long>(date[0]),
                static_cast<long>(date[3]), static_cast<long>(date[4]), rs.gmt);
    if (rs.hmet_samson) {
        // The leading run of capital letters of the station identifier.
        char station[sizeof rs.hmet_station] = {};
        size_t n = 0;
        while (n + 1 < sizeof station && rs.hmet_station[n] >= 'A' && rs.hmet_station[n] <= 'Z') {
            station[n] = rs.hmet_station[n];
            ++n;
        }
        file_printf(f, "PLUVO used NCDC/SAMSON hydrometeorological data from the %s station\n", station);
    }
    if (rs.hmet_surfaways) file_printf(f, "PLUVO used NCDC/Surface Airways hydrometeorological data.\n");
    file_printf(f, "Hydrometeorology data began on: %2.2d/%2.2d/%4d at %2d:00\n", rs.hmet_start_month,
                rs.hmet_start_day, rs.hmet_start_year, rs.hmet_start_hour);
    file_printf(f, "and ended on:                   %2.2d/%2.2d/%4d at %2d:00\n", rs.hmet_end_month,
                rs.hmet_end_day, rs.hmet_end_year, rs.hmet_end_hour);
    file_printf(f, "The following number of hydromet. data points were repaired:%d\n", rs.hmet_missing_count);
    if (rs.et_penman) file_printf(f, "Penman-Montieth evapotranspiration was calculated.\n");
    if (rs.et_deardorff) file_printf(f, "Deardorff bare-soil evaporation was calculated.\n");
    if (rs.sacramento) file_printf(f, "Sacramento soil moisture accounting was used.\n");
    file_printf(f, "\n");
}

// Section 4: rainfall and run facts.
void write_run_facts(run_state& rs, file_object& f) {
    if (rs.uniform_rain) {
        file_printf(f, "   With uniform rainfall of %6.1lf mm/h for %6.1lf minutes.\n\n", rs.uniform_rain_intensity,
                    static_cast<double>(rs.uniform_rain_duration));
    }
    if (rs.gage_rain) file_printf(f, "With raingage data ");
    if (rs.card_radar != 0) file_printf(f, "With radar-rainfall estimates ");
    if (rs.gage_idw) file_printf(f, "using inverse-distance squared interpolation.\n\n");
    if (rs.gage_thiessen) file_printf(f, "using Thiessen polygon interpolation.\n\n");
    if (rs.feet_input) {
        file_printf(f, "elevation and gridsize were converted from feet to meters\n");
    } else {
        file_printf(f, "elevation and gridsize are in meters\n");
    }
    file_printf(f, "timestep                                   %5.1lf seconds\n", rs.dt);
    if (rs.overtype == 1)
        file_printf(f, "Overland faces that needed a split:        %ld\n", rs.event_ov_split_faces);
    if (rs.long_term) {
        file_printf(f, "initial basin-averaged soil water content: %5.2lf percent\n", rs.avg_soil_moisture * 100.0);
    }
    file_printf(f, "number of timesteps with rain:             %d\n", rs.rain_steps);
    file_printf(f, "elapsed time when rain began:              %5.2lf\n \n", rs.rain_begin_minutes - rs.dt / 60.0);
    if (rs.event_peak_discharge > 0.0) {
        file_printf(f, "peak occured on strict Julian date:       %16.8lf\n", rs.peak_time);
        file_printf(f, "date/time of peak discharge:              %d/%d/%d  %d:%2.2d:%2.2d\n", rs.peak_month,
                    rs.peak_day, rs.peak_year, rs.peak_hour, rs.peak_minute, rs.peak_second);
    }
    file_printf(f, "Event peak discharge (cubic meters per second):  %12.4lf\n\n", rs.event_peak_discharge);
    file_printf(f, "Note: all volumes in cubic meters.\n");
}

// Section 5: the water budget of the event.
void write_water_budget(run_state& rs, file_object& f) {
    const bool channels = channel_routing(rs);
    const bool lakes = rs.channel_lakes != 0;
    const bool drains = rs.superlink != 0;

    if (lakes) file_printf(f, "initial volume in lakes               %16.1lf\n", rs.event_lake_init);
    file_printf(f, "initial volume of overland flow:      %16.1lf\n", rs.event_surface_init);
    if (channels) file_printf(f, "initial volume in channels:           %16.1lf\n", rs.event_channel_init);
    if (drains) file_printf(f, "initial volume in sub-surface drains: %16.1lf\n \n", rs.event_vol_drains_init);
    file_printf(f, "initial liquid-equiv. volume of snow: %16.1lf\n \n", rs.event_snow_init);

    file_printf(f, "volume of rainfall to overland:      %16.1lf\n", rs.event_vol_interception + rs.event_rain_volume);
    file_printf(f, "volume of interception:              %16.1lf\n", rs.event_vol_interception);
    if (rs.sacramento) {
        file_printf(f, "volume of base flow from Sacramento:   %16.1lf\n", rs.event_sac_baseflow);
        file_printf(f, "volume of subsurface at event start:   %16.1lf\n", rs.event_sac_storage_start);
        file_printf(f, "volume of subsurface at event end:     %16.1lf\n", rs.event_sac_storage_end);
        file_printf(f, "volume of et removed water:            %16.1lf\n", rs.event_richards_evap);
        file_printf(f, "volume of infil water SAC recieves:    %16.1lf\n", rs.event_sac_infiltration);
    }
    file_printf(f, "volume of direct evaporation:        %16.1lf\n", rs.event_richards_evap);
    file_printf(f, "volume of infiltrated water:         %16.1lf\n", rs.event_infil_volume);
    file_printf(f, "volume of water exfiltrated:         %16.1lf\n", rs.event_exfil_volume);
    file_printf(f, "volume of discharge:                 %16.1lf\n", rs.event_outflow_total);
    if (rs.recharge_computed) {
        file_printf(f, "volume of groundwater recharge:      %16.1lf\n", rs.event_vol_gw_recharge);
    }
    if (channels) {
        file_printf(f, "net volume of lateral inflow:        %16.1lf\n",
                    rs.vol_lateral_inflow - rs.event_start_lateral_inflow);
        file_printf(f, "lateral flow into channel            %16.1lf\n",
                    rs.vol_lateral_into_channel - rs.event_start_lateral_into_channel);
        // The out-of-channel total is kept negative: start minus now is the event's outflow.
        file_printf(f, "lateral flow out of channel          %16.1lf\n",
                    rs.event_start_lateral_out_of_channel - rs.vol_lateral_out_of_channel);
    }
    if (rs.chan_explic && rs.stream_exchange && !rs.sacramento) {
        file_printf(f, "volume of gw to chan:                %16.1lf\n", rs.event_vol_gw_to_chan);
        file_printf(f, "volume of water from chan to gw:     %16.1lf\n", rs.event_vol_chan_to_gw);
    }
    if (rs.chan_explic && lakes) {
        file_printf(f, "volume precip to lake:               %16.1lf\n", rs.event_vol_precip_to_lake);
        file_printf(f, "volume overland to lake:             %16.1lf\n", rs.event_vol_ov_to_lake);
        file_printf(f, "volume overland from lake:           %16.1lf\n", rs.event_vol_lake_to_ov);
        if (rs.mlake_given) {
            file_printf(f, "volume of gw to lakes:               %16.1lf\n", rs.event_vol_gw_to_lakes);
            file_printf(f, "volume of water from lakes to gw:    %16.1lf\n", rs.event_vol_lakes_to_gw);
        }
    }
    if (rs.chan_explic) {
        file_printf(f, "volume of stream point sources:      %16.1lf\n", rs.event_vol_stream_point_sources);
        file_printf(f, "volume of stream point sinks:        %16.1lf\n", rs.event_vol_stream_point_sinks);
        file_printf(f, "volume of lake point sources:        %16.1lf\n", rs.event_vol_lake_point_sources);
        file_printf(f, "volume of lake point sinks:          %16.1lf\n", rs.event_vol_lake_point_sinks);
        file_printf(f, "volume of lake evaporation:          %16.1lf\n", rs.event_vol_lake_evaporation);
    }
    if (rs.long_term && rs.inf_richards) {
        file_printf(f, "volume of total evaporation:         %16.1lf\n", rs.event_vol_total_evaporation);
    }
    file_printf(f, "volume from overland point sources:  %16.1lf\n", rs.event_vol_ov_point_sources);

    if (rs.ov_boundary || rs.xy_ov_boundary) {
        file_printf(f, "\n");
        file_printf(f, "Volume to specified head (out):      %16.1lf\n", rs.event_vol_head_bc_loss);
        file_printf(f, "Volume from specified head (in):     %16.1lf\n", rs.event_vol_head_bc_gain);
        if (rs.ov_boundary) {
            file_printf(f, "Volume to specified slope (out):     %16.1lf\n", rs.event_vol_slope_bc_loss);
            file_printf(f, "Volume from specified discharge (in):%16.1lf\n", rs.event_vol_discharge_bc_gain);
            file_printf(f, "Volume to specified discharge (out): %16.1lf\n", rs.event_vol_discharge_bc_loss);
            file_printf(f, "Volume of specified discharge unmet: %16.1lf\n", rs.event_vol_discharge_bc_unmet);
        }
        file_printf(f, "\n");
    }
    if (drains) {
        file_printf(f, "overland inputs to superlink:        %16.1lf\n", rs.event_vol_ov_to_superlink);
        file_printf(f, "volume of superlink to overland:     %16.1lf\n", rs.event_vol_superlink_to_ov);
        if (rs.chan_explic) {
            file_printf(f, "volume of superlink to channels:     %16.1lf\n", rs.event_vol_superlink_to_channels);
        }
        if (rs.leaky_pipes) file_printf(f, "volume of gw to tile drains:         %16.1lf\n", rs.event_vol_gw_to_tile);
    }
    file_printf(f, "\n");

    if (lakes) file_printf(f, "volume remaining in lakes            %16.1lf\n", rs.event_lake_final);
    file_printf(f, "volume remaining on surface:         %16.1lf\n", rs.vol_surface_final);
    if (channels) file_printf(f, "final volume in channels (cu. m):    %16.1lf\n", rs.vol_channel_final);
    if (drains) file_printf(f, "volume remaining in drains:          %16.1lf\n", rs.vol_drains_final);
    file_printf(f, "final volume of snow (cu. m):        %16.1lf\n \n", rs.event_snow_final);
    if (rs.event_snow_final > 0.0) {
        file_printf(f, "********WARNING - YOU HAVE SNOW ACCUMULATION !!!!!!!!!!!!!!!!\n");
    }

    const double error = rs.event_mass_error;
    // An error that prints as zero (round-off) is printed without a sign and
    // without a note on the sign.
    char figure[64];
    std::snprintf(figure, sizeof figure, "%9.6lf", error * 100.0);
    bool printed_zero = true;   // no digit but 0 in the printed figure
    for (const char* c = figure; *c != '\0'; ++c)
        if (*c >= '1' && *c <= '9') printed_zero = false;
    file_printf(f, "mass conservation error:                         %9.6lf percent\n",
                printed_zero ? 0.0 : error * 100.0);
    if (!printed_zero) {
        if (error < 0.0 && error != kNoRainfallError) {
            file_printf(f, "Note: negative mass conservation error indicates mass was gained.\n");
        } else {
            file_printf(f, "Note: positive mass conservation error indicates mass was created.\n");
        }
    }
    file_printf(f, "Mass input + original mass:           %9.6lf m3\n", rs.event_inputs);
    file_printf(f, "Mass output + final mass:             %9.6lf m3\n", rs.event_outputs);
    file_printf(f, "mass cleanup error from overland:     %9.6lf m3\n", rs.event_cleanup_error);
    file_printf(f, "\n");
    if (rs.long_term) {
        file_printf(f, "final basin-averaged soil water content: %5.2lf percent\n",
                    rs.avg_soil_moisture_final * 100.0);
    }
    if (error == kNoRainfallError) file_printf(f, "Note: no rainfall was input.\n");
}

// Section 6: the Richards columns.
void write_richards_block(run_state& rs, file_object& f) {
    file_printf(f, "\n \n Richard's EQ. Computations \n \n");
    file_printf(f, "volume lost due to dir. evap (cu. m):  %9.1lf\n", rs.event_richards_evap);
    file_printf(f, "net vol infiltrated to soil (cu. m.):  %9.1lf\n", rs.event_richards_infil);
    file_printf(f, "vol groundwater recharge (cu. m):      %9.1lf\n", rs.event_vol_gw_recharge);
    file_printf(f, "Initial volume in soils (cu. m.):      %9.1lf\n", rs.richards_soil_start);
    file_printf(f, "Final volume in soils (cu. m.):        %9.1lf\n", rs.vol_soil_final);
    file_printf(f, "Richard equation mass balance error         %5.4lf percent\n", rs.richards_balance_error);
    file_printf(f, "Number of cells at start of event   %12d\n", rs.richards_cells_start);
    file_printf(f, "Number of cells at end of event     %12d\n", rs.richards_node_count);
    file_printf(f, "net volume of infiltration is infiltration minus evaporation\n");
}

// Section 7: the groundwater block.
void write_groundwater_block(run_state& rs, file_object& f) {
    file_printf(f, "\n \n GROUNDWATER CALCULATION SUMMARIES FOR EVENT \n \n");
    file_printf(f, "volume of water directly to surface from groundwater (cu. m): %9.1lf\n", rs.event_exfil_volume);
    file_printf(f, "beginning vol of water exfiltrated this event (cu. m):        %9.1lf\n", rs.exfil_at_event_start);
    file_printf(f, "total vol of water exfiltrated this run (cu. m):              %9.1lf\n", rs.vol_exfiltration);
    file_printf(f, "vol from gw to unsat this event, w/o recharge (cu. m):        %9.1lf\n", rs.event_vol_gw_to_unsat);
    file_printf(f, "vol groundwater recharge (cu. m):                             %9.1lf\n", rs.event_vol_gw_recharge);
    if (channel_routing(rs)) {
        file_printf(f, "vol from gw to chan  this event (cu. m):                      %9.1lf\n", rs.event_vol_gw_to_chan);
        file_printf(f, "vol from chan to gw  this event (cu. m):                      %9.1lf\n", rs.event_vol_chan_to_gw);
        if (rs.channel_lakes) {
            file_printf(f, "vol from gw to lakes this event (cu. m):                      %9.1lf\n",
                        rs.event_vol_gw_to_lakes);
            file_printf(f, "vol from lakes to gw this event (cu. m):                      %9.1lf\n",
                        rs.event_vol_lakes_to_gw);
        }
    }
    if (rs.superlink) {
        file_printf(f, "vol gw to tile dtrains (cu. m):                               %9.1lf\n", rs.event_vol_gw_to_tile);
    }
    if (xy_gw_points_given(rs.cards.xy_in)) {
        file_printf(f, "vol gain for gw from XY boundaries:                           %9.1lf\n", rs.event_vol_xy_gain_gw);
        file_printf(f, "vol loss for gw from XY boundaries:                           %9.1lf\n", rs.event_vol_xy_loss_gw);
    }
}

// True when some link of the network has one of the type bits.
bool any_link_of_type(const run_state& rs, int bits) {
    for (int l = 1; l <= rs.links && l < static_cast<int>(rs.ltype.size()); ++l) {
        if (rs.ltype[static_cast<size_t>(l)] & bits) return true;
    }
    return false;
}

// Section 10: warnings, inputs, processes and outputs.
void write_warnings_and_options(run_state& rs, file_object& f) {
    file_printf(f, "THE FOLLOWING WARNINGS ARE GIVEN:\n");
    bool warned = false;
    if (std::fabs(rs.event_mass_error * 100.0) > kMassErrorWarning) {
        file_printf(f, "-Mass conservation error (absolute) is larger than typical values (<2 percent).\n");
        file_printf(f, " This indicates a problem with your data set, or that you are using the model\n");
        file_printf(f, " to simulate an extreme event which violates one or more assumptions made\n");
        file_printf(f, " in the development of PLUVO.  You should first check for errors in the\n");
        file_printf(f, " channel inputs, including cross-sectional data.  A decrease in the model\n");
        file_printf(f, " time step may also help alleviate this problem.\n\n");
        warned = true;
    }
    if (rs.xsec_table_exceeded) {
        file_printf(f, "-Depths exceeded the range of look-up table X-section data.\n");
        file_printf(f, " This is usually a source of error, particularly near hydrograph peaks.\n");
        warned = true;
    }
    // A surface remainder above 5 percent of the net rain suppresses the
    // all-clear without a text of its own.
    if (!warned && !(rs.vol_surface_final > kSurfaceRemainderShare * rs.event_rain_volume)) {
        file_printf(f, "No Warnings.\n");
    }

    file_printf(f, "\n THE FOLLOWING INPUTS WERE READ:\n");
    file_printf(f, "A ZOV Project File was used.\n");
    if (rs.float_maps_read) file_printf(f, "Floating point GRASS maps were read.\n");
    if (rs.in_hyd_location) file_printf(f, "Locations where discharge hydrographs are to be written.\n");
    if (rs.in_gwflux_location) file_printf(f, "Point stream/groundwater fluxes were written.\n");
    if (rs.in_celldepdis_location) file_printf(f, "cell depth, discharge were written.\n");

    const bool infiltration = rs.green_ampt || rs.inf_redist || rs.inf_richards || rs.inf_layered_soil;
    file_printf(f, "\n THE FOLLOWING PROCESSES WERE SIMULATED:\n");
    if (rs.chan_explic) file_printf(f, "Explicit diffusive-wave channel routing.\n");
    if (rs.chan_drain) file_printf(f, "This was a channel initialation run using the DRAIN method.\n");
    if (rs.chan_backwater) file_printf(f, "This was a channel initialzation run using thep backwater method.\n");
    if (any_link_of_type(rs, kLinkThirdSection)) file_printf(f, "APFA cross sections were simulated.\n");
    if (any_link_of_type(rs, kLinkTrapezoid)) file_printf(f, "Trapezoidal cross-sections with Preissmann slots were simulated.\n");
    if (any_link_of_type(rs, kLinkBreakpoint)) {
        file_printf(f, "Look-up table cross-sections with Preissmann slots were simulated.\n");
    }
    if (rs.num_xsec_tables > 0) file_printf(f, "Look-up table data were read.\n");
    if (rs.interception) file_printf(f, "Interception losses.\n");
    if (rs.roughness_given) file_printf(f, "Distributed overland roughness.\n");
    if (rs.manning_n_given) file_printf(f, "Uniform overland roughness.\n");
    if (rs.moisture) file_printf(f, "Distributed initial soil moisture.\n");
    if (infiltration && !rs.moisture) file_printf(f, "Uniform initial soil moisture.\n");
    if (rs.channel_lakes) file_printf(f, "Lakes were simulated.\n");
    if (rs.reten_depth) file_printf(f, "Spatially varied retention.\n");
    if (rs.retention) file_printf(f, "Uniform retention depth.\n");
    if (rs.inf_redist) file_printf(f, "Infiltration with redistribution.\n");
    if (rs.green_ampt) file_printf(f, "Green & Ampt infiltration.\n");
    if (rs.inf_richards) file_printf(f, "Infiltration by Richards Eq.\n");
    if (rs.inf_layered_soil) file_printf(f, "G&A Infiltration through layered soils.\n");
    if (rs.soil_erosion) file_printf(f, "Overland soil erosion.\n");
    if (rs.channel_sediment) file_printf(f, "Sediment transport in channels using Yang's eqn. for sand.\n");
    if (rs.sacramento) file_printf(f, "Base flow using the Sacramento Soil Moisture Accounting Model.\n");

    file_printf(f, "\n THE FOLLOWING OUTPUT MAPS WERE WRITTEN EVERY %d TIMESTEP(S):\n", rs.map_write_steps);
    if (rs.map_kind_grid) file_printf(f, "Floating point GRASS output maps were written.\n");
    if (rs.inf_redist) {
        file_printf(f, "Soil surface moisture maps were output.\n");
        file_printf(f, "Infiltration rate maps were output.\n");
    }
    if (rs.map_kind_dataset && !rs.map_kind_binary) file_printf(f, "ASCII ZOV maps of:\n");
    if (rs.map_kind_dataset && rs.map_kind_binary) file_printf(f, "BINARY ZOV maps of:\n");
    if (map_kind_on(rs, kMapKindDepth)) file_printf(f, "     overland flow depth.\n");
    if (map_kind_on(rs, kMapKindDischarge)) file_printf(f, "     discharge.\n");
    if (rs.chan_discharge) file_printf(f, "     discharge in channels.\n");
    if (map_kind_on(rs, kMapKindRain)) file_printf(f, "     distributed rainfall rate.\n");
    if (map_kind_on(rs, kMapKindInfDepth)) file_printf(f, "     distributed infiltration depth.\n");
    if (map_kind_on(rs, kMapKindInfRate)) file_printf(f, "     distributed infiltration rate.\n");
    if (map_kind_on(rs, kMapKindSurfMoist)) file_printf(f, "     distributed surface moisture.\n");
    if (map_kind_on(rs, kMapKindRechargeCum)) file_printf(f, "     groundwater recharge cumulative.\n");
    if (map_kind_on(rs, kMapKindRechargeInc)) file_printf(f, "     groundwater recharge incremental.\n");
    if (rs.chan_depth) file_printf(f, "     channel depth.\n");
    if (rs.chan_discharge) file_printf(f, "     channel discharge.\n");
    if (map_kind_on(rs, kMapKindSedVolume)) file_printf(f, "     net volume of erosion/deposition.\n");
    if (map_kind_on(rs, kMapKindSuspSed)) file_printf(f, "     suspended sediment volume.\n");
    if (map_kind_on(rs, kMapKindSedFlux)) file_printf(f, "     sediment flux.\n");
    if (rs.chan_sed_flux) file_printf(f, "      channel sediment flux.\n");

    file_printf(f, "\n THE FOLLOWING ASCII OUTPUT FILES WERE WRITTEN TO EVERY %d TIMESTEP(S):\n",
                rs.hydro_write_steps);
    file_printf(f, "     hydrograph at the catchment outlet.\n");
    if (rs.in_hyd_location) file_printf(f, "     hydrographs at selected locations.\n");
    if (rs.soil_erosion) file_printf(f, "     sediment outflow at the catchment outlet.\n");
    if (rs.soil_erosion && rs.cards.in_sed_loc_given) {
        file_printf(f, "     sediment hydrographs at selected locations.\n");
    }
    if (rs.superlink_junc_flow) file_printf(f, "Flows to/from selected superjunctions.\n");
    if (rs.superlink_node_flow) file_printf(f, "Flows to/from selected superlink nodes.\n");
    if (rs.in_gwflux_location) file_printf(f, "Stream/groundwater exchange fluxes.\n");
}

}  // namespace

void write_event_summary(run_state& rs) {
    compute_event_constituent_balances(rs);
    file_object& f = rs.summary_file;
    if (!f.is_open()) return;

    write_heading(rs, f);
    write_run_facts(rs, f);
    write_water_budget(rs, f);
    if (rs.inf_richards) write_richards_block(rs, f);
    if (rs.gw_simulation) write_groundwater_block(rs, f);
    file_printf(f, "\n");
    write_event_constituent_summaries(rs);
    if (rs.soil_erosion) write_event_sediment_summaries(rs);
    write_warnings_and_options(rs, f);
}
