// The project-file reader: header check, defaults, the card loop and its
// argument forms, cards that act at once or need an earlier card, the
// pre-scan for the project folder, and the run-parameter step on a run state.
#include <omp.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "card_test_support.h"
#include "run/run_state.h"
#include "input/elevation_series.h"
#include "input/run_files.h"
#include "input/time_series.h"

namespace {

using card_test::card_set;
using card_test::ProjectTest;
using card_test::read_result;

const char kBadHeader[] =
    "File Does not Appear to be a Valid PLUVO/VORN2D Project file\n"
    "Perhaps you Should Issue a 'dos2unix' Command if you are on a Unix machine?\n"
    "PLUVO Terminating....\n";

// ---------------------------------------------------------------------------
// Header

class ProjectHeader : public ProjectTest {};

TEST_F(ProjectHeader, BothHeaderWordsAreAccepted) {
    for (const char* header : {"PLUVOPROJECT\n", "VORN2DPROJECT\n", "PLUVOPROJECT"}) {
        read_result r = read(std::string(header) + (header[std::strlen(header) - 1] == '\n'
                                                        ? "watershed_mask w.msk\n"
                                                        : ""));
        EXPECT_EQ(r.err, "") << header;
        EXPECT_EQ(error_record.stop, 0) << header;
        EXPECT_EQ(r.records->settings.open_failed, 0);
        EXPECT_EQ(r.records->cards.m_river, 1.0) << "defaults given after " << header;
    }
}

TEST_F(ProjectHeader, AnyOtherFirstLineIsRefusedWithItsCauseAndTheThreeMessages) {
    struct header_case {
        std::string text;
        const char* cause;   // the line that names the file and says why
    };
    const header_case cases[] = {
        {"PLUVOPROJECT\r\nwatershed_mask w.msk\r\n", "line 1: the header line ends in a carriage "
                                                   "return (CR LF line ends)"},
        {"\xEF\xBB\xBFPLUVOPROJECT\nwatershed_mask w.msk\n",
         "line 1: the file begins with a UTF-8 byte-order mark"},
        {"PLUVOPROJECT \nwatershed_mask w.msk\n",
         "line 1: the header line \"PLUVOPROJECT \" is not PLUVOPROJECT or VORN2DPROJECT"},
        {"pluvoproject\nwatershed_mask w.msk\n", "line 1: the header line \"pluvoproject\""},
        {" PLUVOPROJECT\n", "line 1: the header line \" PLUVOPROJECT\""},
        {"", "line 1: the file is empty"},
        {"watershed_mask w.msk\n", "line 1: the header line \"watershed_mask w.msk\""},
    };
    for (const header_case& c : cases) {
        card_test::reset_program_state();
        auto records = std::make_unique<card_set>();
        std::strcpy(records->cards.watershed_mask, "untouched");
        records->settings.rows = 77;
        std::string path = write("bad.prj", c.text);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        read_project_file(path.c_str(), records->cards, records->settings, records->rain);
        const std::string err = testing::internal::GetCapturedStderr();
        testing::internal::GetCapturedStdout();
        const std::string cause = "Error: project file " + path + ", " + c.cause;
        EXPECT_EQ(err.rfind(cause, 0), 0u) << "[" << c.text << "]\n" << err;
        EXPECT_EQ(err.substr(err.size() - std::strlen(kBadHeader)), kBadHeader) << c.text;
        // Code 4000 was reported at once: the stop flag is up, the code cleared.
        EXPECT_EQ(error_record.stop, 1) << c.text;
        EXPECT_EQ(error_record.code, 0) << c.text;
        // The records are not cleared and nothing was read.
        EXPECT_STREQ(records->cards.watershed_mask, "untouched") << c.text;
        EXPECT_EQ(records->settings.rows, 77) << c.text;
        EXPECT_EQ(records->cards.m_river, 0.0) << c.text;
    }
}

TEST_F(ProjectHeader, MissingFileSetsOpenFailedAndLeavesTheRecords) {
    auto records = std::make_unique<card_set>();
    records->settings.rows = 5;
    testing::internal::CaptureStderr();
    std::string path = dir_.file("none.prj");
    read_project_file(path.c_str(), records->cards, records->settings, records->rain);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Error opening project file named: " + path + "\n");
    EXPECT_EQ(records->settings.open_failed, 1);
    EXPECT_EQ(records->settings.rows, 5);
    EXPECT_EQ(error_record.code, 0);
}

// ---------------------------------------------------------------------------
// Defaults and the card loop

class ProjectDefaults : public ProjectTest {};

TEST_F(ProjectDefaults, HeaderOnlyGivesTheDefaultsAndZerosElsewhere) {
    // Values left by an earlier read must not survive: read into used records.
    auto records = std::make_unique<card_set>();
    std::strcpy(records->cards.summary, "old.sum");
    records->cards.long_term = 1;
    records->settings.timestep = 9.0;
    records->rain.rain_mode = 1;
    records->cards.nutrient_partition.assign(12, 1.0);
    records->cards.nsm.reset(new nsm_model());
    std::string path = write("only.prj", "PLUVOPROJECT\n");
    testing::internal::CaptureStdout();
    read_project_file(path.c_str(), records->cards, records->settings, records->rain);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(error_record.code, 0);

    project_cards& c = records->cards;
    EXPECT_EQ(c.m_river, 1.0);
    EXPECT_EQ(c.k_river, 0.0);
    EXPECT_EQ(c.event_min_q, 0.1);
    EXPECT_EQ(c.soil_moist_depth, 0.4);
    EXPECT_EQ(c.max_courant_number, 0.04);
    EXPECT_EQ(c.overtype, 2);
    EXPECT_EQ(c.richards_weight, 1.0);
    EXPECT_EQ(c.richards_dtheta_max, 0.0025);
    EXPECT_EQ(c.richards_k_option, 2);
    EXPECT_EQ(c.richards_upper_option, 1);
    EXPECT_EQ(c.richards_iter_max, 1);
    EXPECT_EQ(c.aquifer_delta_z, -999.9);
    EXPECT_EQ(c.soil_erosion, 1);
    EXPECT_EQ(c.soil_erosion_given, 0);
    EXPECT_EQ(c.gw_timestep, 1.0);
    EXPECT_EQ(c.gw_lsor_con, 0.00001);
    EXPECT_EQ(c.single_unsat_sat, 0.75);
    EXPECT_EQ(c.kinetics_timestep_factor, 1.0);
    EXPECT_EQ(c.qrm_event_num, -1);
    EXPECT_EQ(c.m_lake, 10.0);
    EXPECT_EQ(c.x_freq, -1);
    EXPECT_EQ(c.xwin_width, 1000);
    EXPECT_EQ(c.xwin_height, 660);
    EXPECT_EQ(c.calib_comp_data, 2);
    EXPECT_EQ(c.calib_obj_func, 2);
    EXPECT_EQ(c.chan_ph, 7.2);

    // Everything else is zero, empty or absent.
    EXPECT_STREQ(c.summary, "");
    EXPECT_EQ(c.long_term, 0);
    EXPECT_EQ(c.nsm, nullptr);
    EXPECT_TRUE(c.nutrient_partition.empty());
    EXPECT_EQ(records->settings.timestep, 0.0);
    EXPECT_EQ(records->rain.rain_mode, 0);
    int count = 0;
    const card_entry* table = card_table(&count);
    std::vector<const card_field*> seen;
    int nonzero = 0;
    for (int i = 0; i < count; ++i) {
        for (const card_field* f : {&table[i].field, &table[i].flag, &table[i].extra,
                                    &table[i].number_field}) {
            if (!f->present()) continue;
            bool repeated = false;
            for (const card_field* g : seen) {
                repeated = repeated || (g->record == f->record && g->offset == f->offset);
            }
            if (repeated) continue;
            seen.push_back(f);
            const void* p = card_field_address(*f, c, records->settings, records->rain);
            if (f->kind == field_kind::name) {
                nonzero += static_cast<const char*>(p)[0] != '\0';
            } else if (f->kind == field_kind::int_value) {
                nonzero += *static_cast<const int*>(p) != 0;
            } else if (f->kind == field_kind::double_value) {
                nonzero += *static_cast<const double*>(p) != 0.0;
            }
        }
    }
    // The defaults above that are not zero, and nothing else.
    EXPECT_EQ(nonzero, 24);
}

TEST_F(ProjectDefaults, CommentsAndBlankLinesAreSkippedSilently) {
    read_result r = read_cards(
        "# watershed_mask commented.msk\n"
        "#watershed_mask commented.msk\n"
        "   \t # timestep 5\n"
        "\n"
        "   \n"
        ",,,\n"
        "zov anything\n"
        "METRIC\n"
        "simulation_input x y\n"
        "lake 1 2 3\n"
        "ntr_sum\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    EXPECT_STREQ(r.records->cards.watershed_mask, "");
    EXPECT_EQ(r.records->settings.timestep, 0.0);
}

TEST_F(ProjectDefaults, LongLinesAreOneLineEach) {
    // A comment of 100,000 characters of words is one ignored line, and a card
    // whose argument follows 60,000 blanks still gets it.
    std::string comment = "#";
    while (comment.size() < 100000) comment += " watershed_mask";
    read_result r = read_cards(comment + "\ntimestep" + std::string(60000, ' ') + "7.5\n" +
                               "elevation dem.map\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    EXPECT_STREQ(r.records->cards.watershed_mask, "");
    EXPECT_EQ(r.records->settings.timestep, 7.5);
    EXPECT_STREQ(r.records->cards.elevation, "dem.map");
}

TEST_F(ProjectDefaults, UnknownCardIsWarnedInLowerCaseAndIgnored) {
    read_result r = read_cards("WATERSHED_MASKS basin.msk\nelevation dem.map\n");
    EXPECT_EQ(r.out, "Warning: unknown card found in the project file: watershed_masks\n");
    EXPECT_STREQ(r.records->cards.watershed_mask, "");
    EXPECT_STREQ(r.records->cards.elevation, "dem.map");
    EXPECT_EQ(error_record.code, 0);

    // Only process 0 prints the warning.
    run_options.process_index = 2;
    read_result quiet = read_cards("interceptions\n");
    EXPECT_EQ(quiet.out, "");
}

TEST_F(ProjectDefaults, QuotedNameKeepsItsBlanks) {
    read_result r = read_cards("watershed_mask \"my basin/mask file.msk\" trailing\n"
                               "summary \"out put.sum\"\n");
    EXPECT_STREQ(r.records->cards.watershed_mask, "my basin/mask file.msk");
    EXPECT_STREQ(r.records->cards.summary, "out put.sum");
}

TEST_F(ProjectDefaults, MissingNameGivesEmptyNameButTheFlag) {
    read_result r = read_cards("watershed_mask\nroughness\nmoisture\ngw_boundfile\narea_reduction\n");
    const project_cards& c = r.records->cards;
    EXPECT_STREQ(c.watershed_mask, "");
    EXPECT_STREQ(c.roughness, "");
    EXPECT_EQ(c.roughness_given, 1);
    EXPECT_EQ(c.moisture_given, 1);
    EXPECT_EQ(c.gw_boundfile_given, 0);   // only with a name
    EXPECT_EQ(c.area_reduction_given, 1);
    EXPECT_STREQ(c.area_reduction, "");

    read_result named = read_cards("gw_boundfile gw.bnd\nmoisture m.map\n");
    EXPECT_EQ(named.records->cards.gw_boundfile_given, 1);
    EXPECT_STREQ(named.records->cards.gw_boundfile, "gw.bnd");
    EXPECT_STREQ(named.records->cards.moisture, "m.map");
}

TEST_F(ProjectDefaults, OverlongNameIsCutAndTerminated) {
    const std::string longname(3000, 'n');
    read_result r = read_cards("watershed_mask " + longname + "\nelevation dem.map\n"
                               "nutrients\nout_hyd_no2 " + longname + "\n");
    const project_cards& c = r.records->cards;
    EXPECT_EQ(std::strlen(c.watershed_mask), static_cast<size_t>(kCardNameSize - 1));
    EXPECT_EQ(std::string(c.watershed_mask), longname.substr(0, kCardNameSize - 1));
    EXPECT_STREQ(c.elevation, "dem.map");   // the neighbouring field is intact
    ASSERT_NE(c.nsm, nullptr);
    EXPECT_EQ(std::strlen(c.nsm->out_hyd_file[0]), static_cast<size_t>(kNsmNameSize - 1));
    EXPECT_EQ(c.nsm->out_hyd_given[1], 0);
}

// A number card with a missing or malformed value is refused naming file,
// line and card: no value is read as 0 because it did not parse, and the
// reading stops at that line.
TEST_F(ProjectDefaults, MissingOrMalformedNumbersAreRefusedNamingFileLineAndCard) {
    struct number_case {
        const char* lines;
        const char* message_part;
    };
    const std::vector<number_case> cases = {
        {"max_courant_number\n", "line 2: card max_courant_number expects a number but has none."},
        {"\ntimestep abc\n", "line 3: card timestep expects a number but found \"abc\"."},
        {"rows 12x\n", "line 2: card rows expects a whole number but found \"12x\"."},
        {"rows 12.0\n", "line 2: card rows expects a whole number but found \"12.0\"."},
        {"end_time 2005 6 15 14 3o\n", "card end_time expects a whole number but found \"3o\"."},
        {"manning_n o.035\n", "card manning_n expects a number but found \"o.035\"."},
        {"qrm_event_num four\n", "card qrm_event_num expects a whole number but found \"four\"."},
    };
    for (const number_case& c : cases) {
        SCOPED_TRACE(c.lines);
        read_result r = read_cards(std::string(c.lines) + "summary b.sum\n");
        EXPECT_NE(r.out.find("Error: project file " + r.path + ", "), std::string::npos) << r.out;
        EXPECT_NE(r.out.find(c.message_part), std::string::npos) << r.out;
        EXPECT_EQ(error_record.code, kErrorPrinted);
        EXPECT_STREQ(r.records->cards.summary, "");   // the line after it was not read
        card_test::reset_program_state();
    }
    // Valid numbers, and qrm_event_num without any token (-1), say nothing.
    read_result ok = read_cards("timestep 10.5\nrows 3\ngridsize 1e2\nqrm_event_num\n");
    EXPECT_EQ(ok.out, "");
    EXPECT_EQ(ok.records->settings.gridsize, 100.0);
    EXPECT_EQ(ok.records->cards.qrm_event_num, -1);
    EXPECT_EQ(ok.records->cards.qrm_event_num_given, 1);
}

// A value that no run can use is refused where it is read, naming file, line
// and card: NaN and infinite reals, integers beyond the int range, grid sides
// and output intervals outside their limits, dates and times off the calendar.
// Reading stops at the refused line and code 4000 is left for the run driver.
TEST_F(ProjectDefaults, UnusableValuesAreRefusedAndEndTheReading) {
    struct refusal_case {
        const char* line;
        const char* message_part;   // after "Error: project file <path>, line 3: card "
    };
    const refusal_case cases[] = {
        {"gridsize nan", "gridsize has the value \"nan\", which is not finite"},
        {"timestep -inf", "timestep has the value \"-inf\", which is not finite"},
        {"outslope 1e999", "outslope has the value \"1e999\", which is not finite"},
        {"init_swe_depth inf", "init_swe_depth has the value \"inf\", which is not finite"},
        {"rows 2147483648", "rows has the value \"2147483648\", which is outside the int range"},
        {"cols 0", "cols has the value 0; it must be at least 1"},
        {"rows 46341", "rows has the value 46341; it must be at most 46340"},
        {"hyd_freq 1e12", "hyd_freq has the value 1e+12; it must be at most 2147483647"},
        {"timestep 1e300", "timestep has the value 1e+300; it must be at most 128849018820"},
        {"map_freq -5", "map_freq has the value -5; it must be at least 0"},
        {"start_date 2005 13 45", "start_date gives 2005 13 45, which is not a valid date"},
        {"start_date 2005 June 15", "start_date expects a whole number but found \"June\"."},
        {"start_date 2005 2 29", "start_date gives 2005 2 29, which is not a valid date"},
        {"start_date 1900 2 29", "start_date gives 1900 2 29, which is not a valid date"},
        {"start_time 24 0", "start_time gives 24 0, which is not a valid time of day"},
        {"start_time 0 2147483647", "start_time gives 0 2147483647, which is not a valid time"},
        {"end_time 2005 4 31 0 0", "end_time gives 2005 4 31 0 0, which is not a valid date and"},
        {"overtype 0", "overtype has the value 0, which names no choice (1 to 3)"},
        {"overtype 4", "overtype has the value 4, which names no choice (1 to 3)"},
        // Physical quantities outside their bounds.
        {"retention -5", "retention has the value -5; it must be at least 0"},
        {"latitude 200", "latitude has the value 200; it must be at most 90"},
        {"longitude -400", "longitude has the value -400; it must be at least -360"},
        {"sed_porosity 1.2", "sed_porosity has the value 1.2; it must be below 1"},
        {"sed_porosity 1.0", "sed_porosity has the value 1; it must be below 1"},
        {"sed_porosity -0.5", "sed_porosity has the value -0.5; it must be at least 0"},
        {"sand_size 0", "sand_size has the value 0; it must be above 0"},
        {"timestep -5", "timestep has the value -5; it must be at least 0"},
        {"gridsize 0", "gridsize has the value 0; it must be above 0"},
    };
    for (const refusal_case& c : cases) {
        SCOPED_TRACE(c.line);
        read_result r = read_cards(std::string("summary a.sum\n") + c.line + "\nsummary b.sum\n");
        EXPECT_NE(r.out.find("Error: project file " + r.path + ", line 3: card " + c.message_part),
                  std::string::npos)
            << r.out;
        EXPECT_EQ(error_record.code, kErrorPrinted);
        EXPECT_STREQ(r.records->cards.summary, "a.sum");   // the line after it was not read
        card_test::reset_program_state();
    }
    // Values at the edges of the limits and of the calendar are taken silently.
    read_result ok = read_cards("rows 46340\ncols 1\nmap_freq 0\nhyd_freq -1\noutslope 1e-320\n"
                                "start_date 2000 2 29\nstart_time 23 59\n"
                                "end_time 2004 2 29 0 0\nend_time 0 0 0 0 0\n");
    EXPECT_EQ(ok.out, "");
    EXPECT_EQ(error_record.code, 0);
    EXPECT_EQ(ok.records->settings.rows, 46340);
    EXPECT_EQ(ok.records->settings.start_date[2], 29);
    EXPECT_EQ(ok.records->settings.start_time[1], 59);
}

TEST_F(ProjectDefaults, UnknownWordOfAChoiceCardKeepsTheValueWithAWarning) {
    read_result r = read_cards("overtype ade_pc\nrichards_k_option harmonic\n");
    EXPECT_EQ(r.records->cards.overtype, 2);
    EXPECT_EQ(r.records->cards.richards_k_option, 2);
    EXPECT_NE(r.out.find("card overtype does not know the word \"ade_pc\""), std::string::npos);
    EXPECT_NE(r.out.find("card richards_k_option does not know the word"), std::string::npos);
}

TEST_F(ProjectDefaults, CalibrationWordsStopTheReadingWithTheirCodes) {
    struct stop_case {
        const char* line;
        int code;
    };
    for (const stop_case& c : {stop_case{"calib_comp_data daily", 103},
                               stop_case{"calib_obj_func RMSE ", 104},
                               stop_case{"calib_obj_func", 104}}) {
        card_test::reset_program_state();
        read_result r = read_cards(std::string(c.line) + "\nwatershed_mask after.msk\n");
        EXPECT_EQ(error_record.code, c.code) << c.line;
        EXPECT_STREQ(r.records->cards.watershed_mask, "") << "reading goes on after " << c.line;
        const project_cards& k = r.records->cards;
        EXPECT_EQ(c.code == 103 ? k.calib_comp_data : k.calib_obj_func, 2);
    }
}

TEST_F(ProjectDefaults, RetenDepthWithANumberIsAUniformDepthWithAWarning) {
    read_result r = read_cards("reten_depth 5.0\n");
    EXPECT_EQ(r.out,
              "Warning: Incorrect use of RETEN_DEPTH card\n  Usage: RETEN_DEPTH "
              "<filename>-or-\nRETENTION <value>  -or-\nRETEN_DEPTH \n  Using 5.000000 for the "
              "uniform retention depth\n\n");
    EXPECT_EQ(r.records->cards.retention, 5.0);
    EXPECT_EQ(r.records->cards.retention_given, 1);
    EXPECT_EQ(r.records->cards.reten_depth_given, 0);

    for (const char* line : {"reten_depth ret.map\n", "reten_depth\n"}) {
        read_result f = read_cards(line);
        EXPECT_EQ(f.out, "");
        EXPECT_EQ(f.records->cards.reten_depth_given, 1) << line;
        EXPECT_EQ(f.records->cards.retention_given, 0) << line;
    }
}

TEST_F(ProjectDefaults, EchoCardsPrintAndStoreNothing) {
    read_result r = read_cards("alpha 0.3\nchannel_deltat 30\nunits 1\nlake_elev 4\n");
    EXPECT_EQ(r.out, "Alpha = 0.300000\nChannel time step = 30\nUnits flag = 1\n");
    EXPECT_EQ(r.records->settings.units, 1);
}

// ---------------------------------------------------------------------------
// Cards that act at once, and cards that need an earlier card

class ProjectActions : public ProjectTest {};

TEST_F(ProjectActions, NutrientCardsNeedTheNutrientsCardAbove) {
    struct early_case {
        const char* line;
        const char* group;
    };
    for (const early_case& c : {early_case{"ov_init_no3 5.0", "OV_INIT_XXX"},
                                early_case{"ov_dispersion 1", "OV_INIT_XXX"},
                                early_case{"aq_env aq.env", "AQ_ENV"},
                                early_case{"st_init_do 2", "ST_INIT_XXX"},
                                early_case{"out_ov_no2 a", "OUT_OV_XXX"},
                                early_case{"out_st_cbod b", "OUT_ST_XXX"},
                                early_case{"out_hyd_do c", "OUT_HYD_XXX"}}) {
        card_test::reset_program_state();
        read_result r = read_cards(std::string(c.line) + "\nnutrients\nwatershed_mask w.msk\n");
        EXPECT_EQ(error_record.code, 79) << c.line;
        EXPECT_STREQ(error_record.what, c.group) << c.line;
        EXPECT_EQ(r.records->cards.nsm, nullptr) << "reading stopped at " << c.line;
        EXPECT_STREQ(r.records->cards.watershed_mask, "");
    }
    card_test::reset_program_state();
    read_result r = read_cards("nutrients\nov_init_no3 5.0\nov_init_nh4 nh4.map\nov_init_on\n"
                               "st_init_do 2.5\naq_env aq.env\nout_hyd_do hyd_do\n");
    EXPECT_EQ(error_record.code, 0);
    ASSERT_NE(r.records->cards.nsm, nullptr);
    const nsm_model& n = *r.records->cards.nsm;
    EXPECT_EQ(n.ov_init_mode[1], kNsmInitUniform);
    EXPECT_EQ(n.ov_init_value[1], 5.0);
    EXPECT_EQ(n.ov_init_mode[2], kNsmInitMap);
    EXPECT_STREQ(n.ov_init_file[2], "nh4.map");
    EXPECT_EQ(n.ov_init_mode[3], kNsmInitNone);
    EXPECT_EQ(n.ov_init_mode[0], 0);
    EXPECT_EQ(n.st_init_mode[8], kNsmInitUniform);
    EXPECT_EQ(n.st_init_value[8], 2.5);
    EXPECT_STREQ(n.aq_env, "aq.env");
    EXPECT_EQ(n.out_hyd_given[8], 1);
    EXPECT_STREQ(n.out_hyd_file[8], "hyd_do");
}

TEST_F(ProjectActions, SecondNutrientsCardStartsAFreshContainer) {
    read_result r = read_cards("nutrients\nov_init_no2 1.0\nnutrients\n");
    ASSERT_NE(r.records->cards.nsm, nullptr);
    EXPECT_EQ(r.records->cards.nsm->ov_init_mode[0], 0);
    EXPECT_EQ(r.records->cards.nutrients, 1);
}

TEST_F(ProjectActions, NumThreadsSetsTheThreadCountOrRefusesBelowOne) {
    const int before = omp_get_max_threads();
    read_result bad = read_cards("num_threads 0\n");
    EXPECT_EQ(bad.out, "Error: unable to set the thread level to 0.\n");
    EXPECT_EQ(omp_get_max_threads(), before);
    const int wanted = before == 3 ? 2 : 3;
    read_result good = read_cards("num_threads " + std::to_string(wanted) + "\n");
    EXPECT_EQ(good.out, "Setting the thread level to " + std::to_string(wanted) + ".\n");
    EXPECT_EQ(omp_get_max_threads(), wanted);
    omp_set_num_threads(before);
}

TEST_F(ProjectActions, SuperQuietSetsTheProgramWideFlagAndSilencesEchoes) {
    read_result r = read_cards("super_quiet\nalpha 1\n");
    EXPECT_EQ(super_quiet_flag, 1);
    EXPECT_EQ(r.records->cards.super_quiet, 1);
    EXPECT_EQ(r.out, "");
}

TEST_F(ProjectActions, ProjectAndOutputFoldersAreSetForTheLinesBelow) {
    read_result r = read_cards("project_path " + dir_.path() + "\noutput_folder results\n");
    EXPECT_EQ(std::string(project_folder_path), dir_.path() + "/");
    EXPECT_EQ(std::string(r.records->cards.project_folder), dir_.path());
    EXPECT_EQ(std::string(output_folder_path), "results/");
    card_test::reset_program_state();
    read_cards("replace_folder other\nproject_folder\n");
    EXPECT_EQ(std::string(output_folder_path), "other/");
    EXPECT_STREQ(project_folder_path, "");   // an empty folder card changes nothing
}

TEST_F(ProjectActions, SeriesFilesAreReadWhenTheirCardIsMet) {
    write("flows.ts", "PLUVO_TS\nINFLOW\nABSOLUTE\n2000 1 1 0 0 1.5\nEND_TS\n");
    read_cards("time_series_file " + dir_.file("flows.ts") + "\n");
    time_series* s = find_time_series("INFLOW");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->count, 1);
    free_time_series();
}

TEST_F(ProjectActions, ReplacementAppliesOnlyToLinesBelowReplaceVals) {
    write("params.txt", "2\n[MASK] \"%s\"\n[DT] %d\n");
    write("values.txt", "first.msk 10\nsecond.msk 20\n");
    read_result r = read_cards("elevation [MASK]\n"
                               "replace_params " + dir_.file("params.txt") + "\n"
                               "replace_line 2\n"
                               "replace_vals " + dir_.file("values.txt") + "\n"
                               "watershed_mask [MASK]\n"
                               "timestep [DT]\n");
    EXPECT_STREQ(r.records->cards.elevation, "[MASK]");
    EXPECT_STREQ(r.records->cards.watershed_mask, "second.msk");
    EXPECT_EQ(r.records->settings.timestep, 20.0);
    EXPECT_EQ(replace_active, 1);
}

// ---------------------------------------------------------------------------
// Pre-scan for the project folder

class ProjectFolderScan : public ProjectTest {};

TEST_F(ProjectFolderScan, FirstFolderCardWinsEvenAfterOtherCards) {
    std::string path = write("scan.prj",
                             "PLUVOPROJECT\nwatershed_mask w.msk\nproject_folder /data/basin\n"
                             "project_path /elsewhere\n");
    testing::internal::CaptureStdout();
    read_project_folder(path.c_str());
    testing::internal::GetCapturedStdout();
    EXPECT_STREQ(project_folder_path, "/data/basin/");
}

TEST_F(ProjectFolderScan, WithoutACardTheProjectFilesOwnFolderIsTaken) {
    std::string path = write("scan.prj", "PLUVOPROJECT\nwatershed_mask w.msk\n");
    testing::internal::CaptureStdout();
    read_project_folder(path.c_str());
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(std::string(project_folder_path), dir_.path() + "/");
}

TEST_F(ProjectFolderScan, EmptyFolderCardStopsTheScanAndChangesNothing) {
    std::strcpy(project_folder_path, "/kept/");
    std::string path = write("scan.prj", "PLUVOPROJECT\nproject_folder\nproject_path /late\n");
    testing::internal::CaptureStdout();
    read_project_folder(path.c_str());
    testing::internal::GetCapturedStdout();
    EXPECT_STREQ(project_folder_path, "/kept/");
}

TEST_F(ProjectFolderScan, OverlongFolderIsCutToTheFolderBuffer) {
    const std::string folder = "/" + std::string(1500, 'd');
    std::string path = write("scan.prj", "PLUVOPROJECT\nproject_folder " + folder + "\n");
    testing::internal::CaptureStdout();
    read_project_folder(path.c_str());
    testing::internal::GetCapturedStdout();
    EXPECT_LT(std::strlen(project_folder_path), sizeof(project_folder_path));
    EXPECT_EQ(std::string(project_folder_path).substr(0, 100), folder.substr(0, 100));
}

TEST_F(ProjectFolderScan, MissingFileIsReported) {
    std::strcpy(project_folder_path, "/kept/");
    testing::internal::CaptureStderr();
    read_project_folder("/nonexistent/pluvo/none.prj");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Error opening project file named: /nonexistent/pluvo/none.prj\n");
    EXPECT_STREQ(project_folder_path, "/kept/");
}

// ---------------------------------------------------------------------------
// Run parameters: the card values in the run state

class RunParameters : public ProjectTest {
protected:
    void TearDown() override {
        if (rs_ != nullptr) destroy_run_state(rs_);
        if (k4_flow_file.is_open()) close_file_object(k4_flow_file);
        ProjectTest::TearDown();
    }
    // Reads a project of the header and `lines` into a new run state.
    run_state& run(const std::string& lines, std::string* out = nullptr) {
        if (rs_ != nullptr) destroy_run_state(rs_);
        card_test::reset_program_state();
        rs_ = create_run_state();
        std::string path = write("run.prj", "PLUVOPROJECT\n" + lines);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        read_run_parameters(path.c_str(), *rs_);
        std::string printed = testing::internal::GetCapturedStdout();
        testing::internal::GetCapturedStderr();
        if (out != nullptr) *out = printed;
        return *rs_;
    }
    run_state* rs_ = nullptr;
};

TEST_F(RunParameters, MissingProjectFileStopsWithCode3) {
    rs_ = create_run_state();
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    std::strcpy(rs_->project_file, dir_.file("absent.prj").c_str());
    read_run_parameters(*rs_);
    testing::internal::GetCapturedStdout();
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Error opening project file named"),
              std::string::npos);
    EXPECT_EQ(error_record.code, 3);
    EXPECT_EQ(error_record.stop, 1);
}

TEST_F(RunParameters, AnnouncesTheReadingUnlessSuperQuiet) {
    std::string out;
    run("summary s.sum\n", &out);
    EXPECT_NE(out.find("reading run parameters from project file: "), std::string::npos);
    EXPECT_NE(out.find("\nfinished reading project file\n"), std::string::npos);
    run_state& rs = run("super_quiet\n", &out);
    EXPECT_EQ(out.find("finished reading project file"), std::string::npos);
    EXPECT_EQ(rs.quiet, 1);
}

TEST_F(RunParameters, EndTimeOnlyWithANonZeroYear) {
    EXPECT_EQ(run("").end_time_given, 0);
    EXPECT_EQ(run("end_time 0 5 5 5 5\n").end_time_given, 0);
    run_state& rs = run("end_time 2005 6 15 14 30\n");
    EXPECT_EQ(rs.end_time_given, 1);
    EXPECT_DOUBLE_EQ(rs.julian_end, julian_day(2005, 6, 15, 14, 30, 0.0));
    EXPECT_DOUBLE_EQ(rs.end_time_card, rs.julian_end);
}

TEST_F(RunParameters, EventCutoffNeverBelowTheFloor) {
    EXPECT_DOUBLE_EQ(run("").flow_cutoff, 0.1);
    EXPECT_DOUBLE_EQ(run("event_min_q 0\n").flow_cutoff, 0.05);
    EXPECT_DOUBLE_EQ(run("event_min_q 0.000001\n").flow_cutoff, 0.05);
    EXPECT_DOUBLE_EQ(run("event_min_q 2.5\n").flow_cutoff, 2.5);
}

TEST_F(RunParameters, SoilDepthsInCentimetres) {
    run_state& rs = run("soil_moist_depth 0.3\ntop_layer_depth 0.1\nmixing_layer_depth 0.02\n");
    EXPECT_DOUBLE_EQ(rs.soil_moist_depth, 30.0);
    EXPECT_DOUBLE_EQ(rs.top_layer_depth, 10.0);
    EXPECT_DOUBLE_EQ(rs.mixing_layer_depth, 2.0);
    EXPECT_DOUBLE_EQ(run("").soil_moist_depth, 40.0);
}

TEST_F(RunParameters, GroundwaterOnlyWithAWaterTable) {
    run_state& alone = run("gw_simulation\ngw_timestep 60\n");
    EXPECT_EQ(alone.groundwater, 0);
    EXPECT_EQ(alone.stream_exchange, 0);
    EXPECT_EQ(alone.gw_timestep, 0.0);
    run_state& rs = run("gw_simulation\nwater_table wt.map\ngw_timestep 60\naquifer_bottom ab.map\n");
    EXPECT_EQ(rs.groundwater, 1);
    EXPECT_EQ(rs.gw_simulation, 1);
    EXPECT_EQ(rs.water_table, 1);
    EXPECT_EQ(rs.stream_exchange, 1);
    EXPECT_EQ(rs.gw_timestep, 60.0);
    EXPECT_DOUBLE_EQ(rs.aquifer_delta_z, -999.9);
    EXPECT_STREQ(rs.files.water_table, "wt.map");
    EXPECT_STREQ(rs.files.aquifer_bottom, "ab.map");
}

TEST_F(RunParameters, VeltMapTypeStopsWithCode5BeforeTheCopies) {
    run_state& rs = run("map_type 4\nlong_term\nwatershed_mask w.msk\nk4_input "
                        + dir_.file("k4.out") + "\n");
    EXPECT_EQ(error_record.code, 5);
    EXPECT_EQ(error_record.stop, 1);
    EXPECT_EQ(rs.long_term, 0);
    EXPECT_STREQ(rs.files.watershed_mask, "");
    EXPECT_FALSE(pluvo_test::file_exists(dir_.file("k4.out")));
}

TEST_F(RunParameters, UniformRainStartsTheClockAtTheStartCards) {
    run_state& rs = run("precip_unif\nrain_intensity 25.4\nrain_duration 60\n"
                        "start_date 2005 6 15\nstart_time 14 30\n");
    const double start = julian_day(2005, 6, 15, 14, 30, 0.0);
    EXPECT_EQ(rs.uniform_rain, 1);
    EXPECT_EQ(rs.gage_rain, 0);
    EXPECT_DOUBLE_EQ(rs.uniform_rain_intensity, 25.4);
    EXPECT_EQ(rs.uniform_rain_duration, 60);
    EXPECT_DOUBLE_EQ(rs.time, start);
    EXPECT_DOUBLE_EQ(rs.event_begin_time, start);
    EXPECT_DOUBLE_EQ(rs.event_starts[0], start);
    EXPECT_DOUBLE_EQ(rs.precip_start_time, start);
    EXPECT_EQ(rs.start_yyyymmdd, 20050615);
    EXPECT_EQ(rs.start_hhmm, 1430);
    EXPECT_EQ(rs.year, 2005);
    EXPECT_EQ(rs.minute, 30);
    EXPECT_EQ(rs.precip_dates[0][3], 14);

    run_state& gage = run("precip_file storm.gag\nrain_thiessen\n");
    EXPECT_EQ(gage.uniform_rain, 0);
    EXPECT_EQ(gage.gage_rain, 1);
    EXPECT_EQ(gage.gage_thiessen, 1);
    EXPECT_EQ(gage.gage_idw, 0);
    EXPECT_STREQ(gage.files.precip_file, "storm.gag");
}

TEST_F(RunParameters, SegmentModelFlowFileIsHeadedOnlyWithK4Input) {
    const std::string k4 = dir_.file("k4.out");
    run_state& rs = run("map_type 0\nk4_input " + k4 + "\n");
    EXPECT_EQ(rs.k4_cards, &rs.cards.k4);
    // Reading the cards opens no output; the file opens with the other outputs.
    EXPECT_FALSE(k4_flow_file.is_open());
    EXPECT_FALSE(pluvo_test::file_exists(k4));
    open_segment_flow_file(rs);
    ASSERT_TRUE(k4_flow_file.is_open());
    close_file_object(k4_flow_file);
    EXPECT_EQ(pluvo_test::read_file(k4), "  output from PLUVO\n\n    JDAY     QIN\n");

    run_state& fluxes = run("k4_fluxes\n");
    EXPECT_EQ(fluxes.k4_cards, &fluxes.cards.k4);
    EXPECT_FALSE(k4_flow_file.is_open());
    EXPECT_EQ(run("").k4_cards, nullptr);
}

TEST_F(RunParameters, ChannelMethodsAndTheExplicitChannelGroup) {
    run_state& rs = run("diffusive_wave\nstream_cell gs.dat\nstream_loss\nwrite_chan_hotstart hs\n"
                        "read_chan_hotstart old\nchan_con_trans\n");
    EXPECT_EQ(rs.chan_explic, 1);
    EXPECT_EQ(rs.stream_cell_on, 1);
    EXPECT_EQ(rs.stream_exchange, 1);
    EXPECT_DOUBLE_EQ(rs.overbank_max_dv, 0.01);   // constructor value kept
    EXPECT_EQ(rs.chan_hotstart_write, 1);
    EXPECT_EQ(rs.chan_hotstart_read, 1);
    EXPECT_STREQ(rs.files.stream_cell, "gs.dat");
    EXPECT_STREQ(rs.files.chan_depth_hotstart_out, "hs.dht");
    EXPECT_STREQ(rs.files.chan_discharge_hotstart_out, "hs.qht");
    EXPECT_STREQ(rs.files.chan_depth_hotstart_in, "old.dht");
    EXPECT_STREQ(rs.files.chan_discharge_hotstart_in, "old.qht");
    EXPECT_EQ(rs.global_con_summary, 1);
    EXPECT_DOUBLE_EQ(rs.m_lake, 10.0);

    EXPECT_DOUBLE_EQ(run("chan_explic\noverbank_max_dv 0.5\n").overbank_max_dv, 0.5);
    // Without explicit routing the channel group is not copied.
    run_state& drain = run("chan_drain\nstream_loss\nchan_con_trans\n");
    EXPECT_EQ(drain.chan_drain, 1);
    EXPECT_EQ(drain.chan_drain_only, 1);
    EXPECT_EQ(drain.chan_explic, 0);
    EXPECT_EQ(drain.stream_exchange, 0);
    EXPECT_EQ(drain.chan_con_trans, 0);
    EXPECT_EQ(run("chan_backwater\n").chan_drain_only, 0);
    // A Preissmann request is kept visible for the option check.
    EXPECT_EQ(run("chan_preiss\n").chan_preiss, 1);
}

TEST_F(RunParameters, InfiltrationMethodsAndTheirSwitches) {
    run_state& redist = run("inf_redist\nno_cont_inf_redist\nrate_of_infil f.map\n");
    EXPECT_EQ(redist.inf_redist, 1);
    EXPECT_EQ(redist.green_ampt, 0);
    EXPECT_EQ(redist.recharge_computed, 1);
    EXPECT_EQ(redist.cont_inf_redist, 0);
    EXPECT_EQ(redist.rate_of_infil, 1);
    EXPECT_EQ(run("inf_redist\n").cont_inf_redist, 1);
    EXPECT_EQ(run("inf_layered_soil\n").recharge_computed, 1);
    EXPECT_EQ(run("inf_richards\n").inf_richards, 1);
    EXPECT_EQ(run("rate_of_infil f.map\n").rate_of_infil, 0);   // no method: no rate maps
    run_state& ga = run("green_ampt\nmapping_table t.idx\n");
    EXPECT_EQ(ga.green_ampt, 1);
    EXPECT_EQ(ga.moisture, 1);   // a mapping table supplies the moisture
    EXPECT_EQ(ga.mapping_table_given, 1);
    EXPECT_STREQ(ga.files.mapping_table, "t.idx");
}

TEST_F(RunParameters, HostAndExchangeNames) {
    run_state& rs = run("qrm\nvego control.txt\nqrm_event_num 3\nmoist_to_vego sm.map\n"
                        "et_demand_from_vego et.map\n");
    EXPECT_EQ(rs.qrm_host, 1);
    EXPECT_EQ(rs.vego, 1);
    EXPECT_EQ(rs.qrm_mode, 1);
    EXPECT_EQ(rs.qrm_event_num, 3);
    EXPECT_STREQ(rs.files.vego_file, "exchange/control.txt");
    EXPECT_EQ(rs.moist_to_vego_on, 1);
    EXPECT_STREQ(rs.files.moist_to_vego, "exchange/sm.map");
    EXPECT_EQ(rs.et_demand_from_vego_on, 1);
    EXPECT_STREQ(rs.files.et_demand_from_vego, "exchange/et.map");
    EXPECT_EQ(rs.ksat_to_vego_on, 0);
    EXPECT_EQ(run("").qrm_event_num, -1);
}

TEST_F(RunParameters, OverlongDerivedNameIsNotCutSilently) {
    const std::string name(kCardNameSize - 2, 'h');
    std::string out;
    run_state& rs = run("chan_explic\nwrite_chan_hotstart " + name + "\n", &out);
    EXPECT_STREQ(rs.files.chan_depth_hotstart_out, "");
    EXPECT_NE(out.find("is longer than 1023 characters and is not used"), std::string::npos);
}

TEST_F(RunParameters, MapKindsOutputsAndNames) {
    run_state& rs = run("map_type 2\ndepth d\nsummary run.sum\nwatershed_mask w.msk\n"
                        "elevation dem\nroughness n.map\nmanning_n 0.03\nnutrients\n"
                        "flood_grid fg\nflush_buffer 20\npause\nretention 2.5\n");
    EXPECT_EQ(rs.map_kind_grid, 0);
    EXPECT_EQ(rs.map_kind_dataset, 1);
    EXPECT_EQ(rs.map_kind_binary, 1);
    EXPECT_EQ(rs.depth, 1);
    EXPECT_STREQ(rs.files.summary, "run.sum");
    EXPECT_STREQ(rs.files.watershed_mask, "w.msk");
    EXPECT_STREQ(rs.files.elevation, "dem");
    EXPECT_STREQ(rs.files.data1, "data1");
    EXPECT_EQ(rs.manning_n_given, 1);
    EXPECT_EQ(rs.roughness_given, 1);
    EXPECT_EQ(rs.nsm_on, 1);
    EXPECT_EQ(rs.nsm, rs.cards.nsm.get());
    EXPECT_EQ(rs.flood_grid, 1);
    EXPECT_STREQ(rs.files.flood_grid, "fg");
    EXPECT_EQ(rs.flush_buffer_given, 1);
    EXPECT_EQ(rs.flush_buffer, 20);
    EXPECT_EQ(pause_prompt, 1);
    EXPECT_DOUBLE_EQ(rs.uniform_retention, 2.5);
    EXPECT_DOUBLE_EQ(rs.soil_coefficient, 0.15);
    EXPECT_EQ(run("map_type 0\n").map_kind_grid, 1);
    EXPECT_DOUBLE_EQ(run("").uniform_retention, 0.0);
}

TEST_F(RunParameters, BadHeaderStopsTheRunThroughTheErrorRecord) {
    rs_ = create_run_state();
    std::string path = write("dos.prj", "PLUVOPROJECT\r\nlong_term\r\n");
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    read_run_parameters(path.c_str(), *rs_);
    testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("dos.prj, line 1: the header line ends in a carriage return"),
              std::string::npos) << err;
    EXPECT_EQ(err.substr(err.size() - std::strlen(kBadHeader)), kBadHeader);
    EXPECT_EQ(error_record.stop, 1);
    EXPECT_EQ(rs_->long_term, 0);
}

}  // namespace
