// Event report: headings of single-event and long-term runs, the water
// budget lines with their conditions, the mass conservation lines (also for
// an event without rainfall), the blocks of Richards and groundwater runs,
// and the warnings. Values are hand-set event totals; one case runs the
// real end-of-event accounting.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/dates.h"
#include "run/event_control.h"
#include "core/file_object.h"
#include "output/event_report.h"
#include "output_test_support.h"
#include "pluvo_test.h"
#include "summary_test_support.h"

using output_test::run_state_owner;
using pluvo_test::count_of;
using pluvo_test::read_file;
using pluvo_test::temp_dir;
using summary_test::contains;

namespace {

// A run state writing its summary into a temporary file.
struct report_case {
    temp_dir dir;
    run_state_owner owner;
    run_state& rs = *owner;

    report_case() {
        rs.event_index = 1;
        rs.dt = 30.0;
        rs.event_begin_time = julian_day(2024, 3, 5, 14, 30, 0.0);
        rs.map_write_steps = 10;
        rs.hydro_write_steps = 2;
    }

    std::string report() {
        output_test::open_on(rs.summary_file, dir.file("summary"));
        write_event_summary(rs);
        close_file_object(rs.summary_file);
        return read_file(dir.file("summary"));
    }
};

}  // namespace

TEST(EventReport, SingleEventHeadingWithoutSeparator) {
    report_case t;
    const std::string text = t.report();
    EXPECT_EQ(text.rfind("         PLUVO EVENT RUNOFF SIMULATION SUMMARY\n"
                         "            Event began on 03/05/2024 at 14:30\n"
                         "elevation and gridsize are in meters\n"
                         "timestep                                    30.0 seconds\n"
                         "number of timesteps with rain:             0\n"
                         "elapsed time when rain began:              -0.50\n \n"
                         "Event peak discharge (cubic meters per second):        0.0000\n\n"
                         "Note: all volumes in cubic meters.\n",
                         0),
              0u);
    EXPECT_FALSE(contains(text, "-----"));
    EXPECT_FALSE(contains(text, "LONG-TERM"));
}

TEST(EventReport, LongTermSeparatorFromTheSecondEventOn) {
    const std::string separator =
        "\n\n------------------------------------------------------------------------------\n";
    for (int event : {1, 2, 3}) {
        report_case t;
        t.rs.long_term = 1;
        t.rs.event_index = event;
        t.rs.time = t.rs.event_begin_time + 0.25;
        t.rs.gmt = -6.0;
        const std::string text = t.report();
        const std::string heading = "       PLUVO LONG-TERM RUNOFF SIMULATION SUMMARY- EVENT " + std::to_string(event) +
                                    "\n";
        EXPECT_EQ(text.rfind(event > 1 ? separator + heading : heading, 0), 0u) << event;
        EXPECT_TRUE(contains(text, "Event began on 03/05/2024 at 14:30  GMT -6.0 hours.\n\n")) << event;
        EXPECT_FALSE(contains(text, "EVENT RUNOFF")) << event;
    }
}

TEST(EventReport, LongTermHydrometeorologyLines) {
    report_case t;
    run_state& rs = t.rs;
    rs.long_term = 1;
    rs.hmet_samson = 1;
    std::snprintf(rs.hmet_station, sizeof rs.hmet_station, "%s", "DENVER 23062 CO");
    rs.hmet_start_year = 2001, rs.hmet_start_month = 1, rs.hmet_start_day = 2, rs.hmet_start_hour = 0;
    rs.hmet_end_year = 2001, rs.hmet_end_month = 12, rs.hmet_end_day = 31, rs.hmet_end_hour = 23;
    rs.hmet_missing_count = 7;
    rs.et_penman = 1;
    rs.avg_soil_moisture = 0.25;
    rs.avg_soil_moisture_final = 0.3125;
    const std::string text = t.report();
    EXPECT_TRUE(contains(text, "PLUVO used NCDC/SAMSON hydrometeorological data from the DENVER station\n"));
    EXPECT_TRUE(contains(text, "Hydrometeorology data began on: 01/02/2001 at  0:00\n"
                               "and ended on:                   12/31/2001 at 23:00\n"
                               "The following number of hydromet. data points were repaired:7\n"
                               "Penman-Montieth evapotranspiration was calculated.\n\n"));
    EXPECT_TRUE(contains(text, "initial basin-averaged soil water content: 25.00 percent\n"));
    EXPECT_TRUE(contains(text, "final basin-averaged soil water content: 31.25 percent\n"));
}

TEST(EventReport, WaterBudgetLinesOfHandSetTotals) {
    report_case t;
    run_state& rs = t.rs;
    rs.event_surface_init = 12.0;
    rs.event_snow_init = 3.5;
    rs.event_rain_volume = 1000.0;        // net rain
    rs.event_vol_interception = 50.0;
    rs.event_infil_volume = 300.0;
    rs.event_outflow_total = 600.0;
    rs.event_vol_ov_point_sources = 4.0;
    rs.vol_surface_final = 100.0;
    rs.event_peak_discharge = 2.5;
    rs.peak_time = 2460375.25;
    rs.peak_year = 2024, rs.peak_month = 3, rs.peak_day = 5, rs.peak_hour = 18, rs.peak_minute = 5,
    rs.peak_second = 9;
    rs.event_inputs = 1016.0;
    rs.event_outputs = 1000.0;
    rs.event_mass_error = (1016.0 - 1000.0) / 1016.0;   // 1.5748031 percent
    const std::string text = t.report();
    const std::string budget =
        "Note: all volumes in cubic meters.\n"
        "initial volume of overland flow:                  12.0\n"
        "initial liquid-equiv. volume of snow:              3.5\n \n"
        "volume of rainfall to overland:                1050.0\n"
        "volume of interception:                          50.0\n"
        "volume of direct evaporation:                     0.0\n"
        "volume of infiltrated water:                    300.0\n"
        "volume of water exfiltrated:                      0.0\n"
        "volume of discharge:                            600.0\n"
        "volume from overland point sources:               4.0\n"
        "\n"
        "volume remaining on surface:                    100.0\n"
        "final volume of snow (cu. m):                     0.0\n \n"
        "mass conservation error:                          1.574803 percent\n"
        "Note: positive mass conservation error indicates mass was created.\n"
        "Mass input + original mass:           1016.000000 m3\n"
        "Mass output + final mass:             1000.000000 m3\n"
        "mass cleanup error from overland:      0.000000 m3\n"
        "\n"
        "\n"   // no Richards, groundwater, constituent or sediment blocks
        "THE FOLLOWING WARNINGS ARE GIVEN:\n";
    EXPECT_TRUE(contains(text, budget)) << text;
    EXPECT_TRUE(contains(text, "peak occured on strict Julian date:       2460375.25000000\n"
                               "date/time of peak discharge:              3/5/2024  18:05:09\n"
                               "Event peak discharge (cubic meters per second):        2.5000\n\n"));
    EXPECT_FALSE(contains(text, "Note: no rainfall was input."));
    EXPECT_FALSE(contains(text, "WARNING - YOU HAVE SNOW"));
}

TEST(EventReport, MassConservationNotes) {
    struct row {
        double error;
        const char* line;
        const char* note;
        bool no_rainfall;
    };
    // An error that prints as zero has no sign and no note on the sign.
    const row rows[] = {
        {0.0, "mass conservation error:                          0.000000 percent\n",
         "Mass input + original mass:", false},
        {-1e-12, "mass conservation error:                          0.000000 percent\n",
         "Mass input + original mass:", false},
        {4e-9, "mass conservation error:                          0.000000 percent\n",
         "Mass input + original mass:", false},
        {-0.005, "mass conservation error:                         -0.500000 percent\n",
         "Note: negative mass conservation error indicates mass was gained.\n", false},
        {6e-9, "mass conservation error:                          0.000001 percent\n",
         "Note: positive mass conservation error indicates mass was created.\n", false},
        // an event without inputs stores -1: -100 percent, the note on created mass
        {-1.0, "mass conservation error:                         -100.000000 percent\n",
         "Note: positive mass conservation error indicates mass was created.\n", true},
    };
    for (const row& r : rows) {
        report_case t;
        t.rs.event_mass_error = r.error;
        const std::string text = t.report();
        EXPECT_TRUE(contains(text, std::string(r.line) + r.note)) << r.error;
        EXPECT_EQ(contains(text, "mass cleanup error from overland:      0.000000 m3\n\n"
                                 "Note: no rainfall was input.\n\n"
                                 "THE FOLLOWING WARNINGS ARE GIVEN:\n"),
                  r.no_rainfall)
            << r.error;
        EXPECT_EQ(count_of(text, "Note: no rainfall was input."), r.no_rainfall ? 1 : 0);
    }
}

TEST(EventReport, ConditionalBudgetLines) {
    struct row {
        const char* name;
        std::function<void(run_state&)> set;
        std::vector<std::string> present;
        std::vector<std::string> absent;
    };
    const std::vector<row> rows = {
        {"no options", [](run_state&) {},
         {},
         {"initial volume in lakes", "initial volume in channels", "sub-surface drains", "lateral inflow",
          "stream point sources", "superlink", "Volume to specified head", "Sacramento",
          "groundwater recharge", "total evaporation", "final volume in channels", "remaining in drains"}},
        {"channel routing",
         [](run_state& rs) {
             rs.chan_explic = 1;
             rs.vol_lateral_inflow = 70.0;
             rs.event_start_lateral_inflow = 20.0;
             rs.vol_lateral_out_of_channel = -9.0;
             rs.event_start_lateral_out_of_channel = -4.0;
             rs.event_channel_init = 8.0;
             rs.vol_channel_final = 6.0;
         },
         {"initial volume in channels:                        8.0\n",
          "net volume of lateral inflow:                    50.0\n",
          "lateral flow out of channel                       5.0\n",
          "volume of stream point sources:", "volume of lake evaporation:",
          "final volume in channels (cu. m):                 6.0\n"},
         {"volume of gw to chan", "volume precip to lake"}},
        {"channel flag other than 1",
         [](run_state& rs) { rs.chan_explic = 2; },
         {"volume of stream point sources:"},
         {"initial volume in channels", "net volume of lateral inflow", "final volume in channels"}},
        {"channel lakes with lake losses and stream exchange",
         [](run_state& rs) {
             rs.chan_explic = 1;
             rs.channel_lakes = 1;
             rs.mlake_given = 1;
             rs.stream_exchange = 1;
             rs.event_lake_init = 40.0;
             rs.event_lake_final = 45.0;
         },
         {"initial volume in lakes                           40.0\n", "volume of gw to chan:",
          "volume overland from lake:", "volume of water from lakes to gw:",
          "volume remaining in lakes                        45.0\n"},
         {}},
        {"sacramento hides the channel-aquifer lines",
         [](run_state& rs) {
             rs.chan_explic = 1;
             rs.stream_exchange = 1;
             rs.sacramento = 1;
             rs.event_sac_baseflow = 11.0;
         },
         {"volume of base flow from Sacramento:               11.0\n", "volume of infil water SAC recieves:"},
         {"volume of gw to chan"}},
        {"storm drains with tile drains, no channels",
         [](run_state& rs) {
             rs.superlink = 1;
             rs.leaky_pipes = 1;
             rs.event_vol_drains_init = 2.0;
             rs.vol_drains_final = 1.0;
         },
         {"initial volume in sub-surface drains:              2.0\n \n", "overland inputs to superlink:",
          "volume of gw to tile drains:", "volume remaining in drains:                       1.0\n"},
         {"volume of superlink to channels"}},
        {"XY overland boundary: head lines only",
         [](run_state& rs) { rs.xy_ov_boundary = 1; },
         {"\nVolume to specified head (out):                   0.0\n"
          "Volume from specified head (in):                  0.0\n\n"},
         {"Volume to specified slope"}},
        {"overland boundary card: all six lines",
         [](run_state& rs) {
             rs.ov_boundary = 1;
             rs.event_vol_discharge_bc_unmet = 1.5;
         },
         {"Volume from specified head (in):                  0.0\n"
          "Volume to specified slope (out):                  0.0\n"
          "Volume from specified discharge (in):             0.0\n"
          "Volume to specified discharge (out):              0.0\n"
          "Volume of specified discharge unmet:              1.5\n\n"},
         {}},
        {"recharge and long-term Richards totals",
         [](run_state& rs) {
             rs.recharge_computed = 1;
             rs.long_term = 1;
             rs.inf_richards = 1;
         },
         {"volume of groundwater recharge:", "volume of total evaporation:"},
         {}},
    };
    for (const row& r : rows) {
        report_case t;
        r.set(t.rs);
        const std::string text = t.report();
        for (const std::string& p : r.present) EXPECT_TRUE(contains(text, p)) << r.name << ": " << p;
        for (const std::string& a : r.absent) EXPECT_FALSE(contains(text, a)) << r.name << ": " << a;
    }
}

TEST(EventReport, RichardsAndGroundwaterBlocks) {
    report_case t;
    run_state& rs = t.rs;
    rs.inf_richards = 1;
    rs.gw_simulation = 1;
    rs.chan_explic = 1;
    rs.event_richards_evap = 1.3;
    rs.event_richards_infil = 20.0;
    rs.richards_soil_start = 500.0;
    rs.vol_soil_final = 515.0;
    rs.richards_balance_error = 0.5;
    rs.richards_cells_start = 40;
    rs.richards_node_count = 41;
    rs.event_exfil_volume = 3.0;
    rs.exfil_at_event_start = 10.0;
    rs.vol_exfiltration = 13.0;
    rs.cards.xy_in.groundwater_points = 2;
    rs.event_vol_xy_gain_gw = 7.0;
    const std::string text = t.report();
    EXPECT_TRUE(contains(text,
                         "\n \n Richard's EQ. Computations \n \n"
                         "volume lost due to dir. evap (cu. m):        1.3\n"
                         "net vol infiltrated to soil (cu. m.):       20.0\n"
                         "vol groundwater recharge (cu. m):            0.0\n"
                         "Initial volume in soils (cu. m.):          500.0\n"
                         "Final volume in soils (cu. m.):            515.0\n"
                         "Richard equation mass balance error         0.5000 percent\n"
                         "Number of cells at start of event             40\n"
                         "Number of cells at end of event               41\n"
                         "net volume of infiltration is infiltration minus evaporation\n"
                         "\n \n GROUNDWATER CALCULATION SUMMARIES FOR EVENT \n \n"
                         "volume of water directly to surface from groundwater (cu. m):       3.0\n"
                         "beginning vol of water exfiltrated this event (cu. m):             10.0\n"
                         "total vol of water exfiltrated this run (cu. m):                   13.0\n"))
        << text;
    EXPECT_TRUE(contains(text, "vol from chan to gw  this event (cu. m):                            0.0\n"
                               "vol gain for gw from XY boundaries:                                 7.0\n"
                               "vol loss for gw from XY boundaries:                                 0.0\n"
                               "\n"
                               "THE FOLLOWING WARNINGS ARE GIVEN:\n"));
    EXPECT_FALSE(contains(text, "vol from gw to lakes"));
    EXPECT_FALSE(contains(text, "tile dtrains"));
}

TEST(EventReport, WarningsAndTheAllClear) {
    struct row {
        const char* name;
        double error;
        double surface_final;
        int xsec_exceeded;
        bool mass_warning;
        bool all_clear;
    };
    const row rows[] = {
        {"balanced", 0.01, 4.0, 0, false, true},
        {"large error", -0.03, 0.0, 0, true, false},
        {"look-up tables exceeded", 0.0, 0.0, 1, false, false},
        {"surface holds over 5 percent of the net rain", 0.0, 6.0, 0, false, false},
    };
    for (const row& r : rows) {
        report_case t;
        t.rs.event_mass_error = r.error;
        t.rs.event_rain_volume = 100.0;
        t.rs.vol_surface_final = r.surface_final;
        t.rs.xsec_table_exceeded = r.xsec_exceeded;
        const std::string text = t.report();
        EXPECT_EQ(contains(text, "-Mass conservation error (absolute) is larger than typical values (<2 percent).\n"),
                  r.mass_warning)
            << r.name;
        EXPECT_EQ(contains(text, "-Depths exceeded the range of look-up table X-section data.\n"),
                  r.xsec_exceeded != 0)
            << r.name;
        EXPECT_EQ(contains(text, "No Warnings.\n"), r.all_clear) << r.name;
    }
}

TEST(EventReport, SnowAccumulationWarning) {
    report_case t;
    t.rs.event_snow_final = 12.0;
    const std::string text = t.report();
    EXPECT_TRUE(contains(text, "final volume of snow (cu. m):                    12.0\n \n"
                               "********WARNING - YOU HAVE SNOW ACCUMULATION !!!!!!!!!!!!!!!!\n"
                               "mass conservation error:"));
}

TEST(EventReport, InputsProcessesAndOutputs) {
    report_case t;
    run_state& rs = t.rs;
    rs.in_hyd_location = 1;
    rs.interception = 1;
    rs.green_ampt = 1;
    rs.manning_n_given = 1;
    rs.map_kind_dataset = 1;
    rs.depth = 1;
    rs.chan_discharge = 1;
    rs.superlink_junc_flow = 1;
    const std::string text = t.report();
    EXPECT_TRUE(contains(text, "\n THE FOLLOWING INPUTS WERE READ:\n"
                               "A ZOV Project File was used.\n"
                               "Floating point GRASS maps were read.\n"
                               "Locations where discharge hydrographs are to be written.\n"
                               "\n THE FOLLOWING PROCESSES WERE SIMULATED:\n"
                               "Interception losses.\n"
                               "Uniform overland roughness.\n"
                               "Uniform initial soil moisture.\n"
                               "Green & Ampt infiltration.\n"
                               "\n THE FOLLOWING OUTPUT MAPS WERE WRITTEN EVERY 10 TIMESTEP(S):\n"
                               "ASCII ZOV maps of:\n"
                               "     overland flow depth.\n"
                               "     discharge in channels.\n"
                               "     channel discharge.\n"
                               "\n THE FOLLOWING ASCII OUTPUT FILES WERE WRITTEN TO EVERY 2 TIMESTEP(S):\n"
                               "     hydrograph at the catchment outlet.\n"
                               "     hydrographs at selected locations.\n"
                               "Flows to/from selected superjunctions.\n"))
        << text;
    EXPECT_EQ(text.substr(text.size() - 39), "Flows to/from selected superjunctions.\n");
}

// The accounting of an event without any water hands the report -1, which
// it prints as -100 percent with the no-rainfall note.
TEST(EventReport, WrittenByTheEndOfEventAccounting) {
    temp_dir dir;
    run_state_owner owner;
    run_state& rs = *owner;
    rs.GNUM = 2;
    rs.cell_size = 10.0;
    rs.ov_depth.assign(3, 0.0);
    rs.event_index = 1;
    rs.quiet = 1;
    rs.finish_pending = 1;
    rs.event_begin_time = julian_day(2020, 7, 1, 6, 0, 0.0);
    output_test::open_on(rs.summary_file, dir.file("summary"));
    finish_event(rs);
    close_file_object(rs.summary_file);
    const std::string text = read_file(dir.file("summary"));
    EXPECT_EQ(text.rfind("         PLUVO EVENT RUNOFF SIMULATION SUMMARY\n"
                         "            Event began on 07/01/2020 at 06:00\n",
                         0),
              0u);
    EXPECT_TRUE(contains(text, "mass conservation error:                         -100.000000 percent\n"));
    EXPECT_TRUE(contains(text, "Note: no rainfall was input.\n"));
    EXPECT_FALSE(summary_test::has_non_finite_field(text));
}
