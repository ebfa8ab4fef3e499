// Tests of the opening of the run's files: the fixed order, the role and name
// of the first file that fails (code 4 and the location-output codes 48 to
// 51), the optional parameter maps, the summary file receiving the messages
// from the moment it is open, and the closing of every opened file.
#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/file_object.h"
#include "run/run_state.h"
#include "input/run_files.h"
#include "pluvo_test.h"

using namespace pluvo_test;

namespace {

struct run_state_deleter {
    void operator()(run_state* rs) const { destroy_run_state(rs); }
};
using run_state_ptr = std::unique_ptr<run_state, run_state_deleter>;

std::vector<std::string> files_in(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* d = opendir(folder.c_str())) {
        while (dirent* e = readdir(d)) {
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
                names.push_back(e->d_name);
            }
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

void set_name(char* slot, const std::string& name) {
    std::snprintf(slot, kCardNameSize, "%s", name.c_str());
}

// Names resolve against a temporary project folder; the four files every run
// opens are named and the two inputs exist.
class RunFiles : public ::testing::Test {
protected:
    // The program-wide path state is saved once and restored at the end.
    RunFiles() {
        std::memcpy(saved_project_, project_folder_path, sizeof(saved_project_));
        std::memcpy(saved_output_, output_folder_path, sizeof(saved_output_));
        saved_output_set_ = output_folder_set;
        saved_prefix_ = prefix_run_number;
    }
    ~RunFiles() override {
        std::memcpy(project_folder_path, saved_project_, sizeof(saved_project_));
        std::memcpy(output_folder_path, saved_output_, sizeof(saved_output_));
        output_folder_set = saved_output_set_;
        prefix_run_number = saved_prefix_;
    }

    // A fresh project folder and run state (tests of several cases call it per case).
    void SetUp() override {
        dir_.reset(new temp_dir());
        std::snprintf(project_folder_path, sizeof(project_folder_path), "%s/",
                      dir_->path().c_str());
        output_folder_path[0] = '\0';
        output_folder_set = 0;
        prefix_run_number = 0;
        error_record = error_info{};
        current_summary_file = nullptr;

        rs_.reset(create_run_state());
        ASSERT_NE(rs_, nullptr);
        input("mask.asc");
        input("elev.asc");
        set_name(rs_->files.watershed_mask, "mask.asc");
        set_name(rs_->files.elevation, "elev.asc");
        set_name(rs_->files.summary, "summary.txt");
        set_name(rs_->files.outlet_hydro, "outlet.otl");
    }
    void TearDown() override {
        if (rs_) close_run_file_objects(*rs_);
        rs_.reset();
        current_summary_file = nullptr;
        error_record = error_info{};
    }

    // Creates an input file in the project folder.
    void input(const std::string& name) { write_file(dir_->file(name), "1\n"); }

    // open_run_files with the console captured.
    std::string open_files() {
        testing::internal::CaptureStdout();
        open_run_files(*rs_);
        return testing::internal::GetCapturedStdout();
    }

    run_state& rs() { return *rs_; }
    const temp_dir& dir() const { return *dir_; }

private:
    std::unique_ptr<temp_dir> dir_;
    run_state_ptr rs_;
    char saved_project_[1024] = {};
    char saved_output_[1024] = {};
    int saved_output_set_ = 0;
    int saved_prefix_ = 0;
};

TEST_F(RunFiles, PlainProjectOpensOnlyTheFourFilesOfEveryRun) {
    open_files();
    EXPECT_EQ(error_record.code, 0);
    EXPECT_EQ(error_record.stop, 0);
    EXPECT_TRUE(rs().watershed_mask_file.is_open());
    EXPECT_TRUE(rs().elevation_file.is_open());
    EXPECT_TRUE(rs().summary_file.is_open());
    EXPECT_TRUE(rs().outlet_hydro_file.is_open());
    EXPECT_EQ(current_summary_file, &rs().summary_file);
    EXPECT_FALSE(rs().evap_out_file.is_open());
    EXPECT_FALSE(rs().precip_data_file.is_open());
    EXPECT_FALSE(rs().hmet_data_file.is_open());
    EXPECT_FALSE(rs().channel_input_file.is_open());
    close_run_file_objects(rs());
    EXPECT_EQ(files_in(dir().path()),
              (std::vector<std::string>{"elev.asc", "mask.asc", "outlet.otl", "summary.txt"}));
    // This step writes nothing into the summary file.
    EXPECT_EQ(read_file(dir().file("summary.txt")), "");
}

struct failure_case {
    const char* what;
    void (*setup)(run_state& rs);
    int code;
    const char* description;   // error_record.what
    const char* file_name;     // error_record.file_name
    bool summary_created;
};

const failure_case kFailures[] = {
    {"missing watershed mask",
     [](run_state& rs) { set_name(rs.files.watershed_mask, "none.asc"); set_name(rs.files.elevation, "none2.asc"); },
     4, "watershed mask", "none.asc", false},
    {"missing elevation", [](run_state& rs) { set_name(rs.files.elevation, "none.asc"); }, 4,
     "elevation data", "none.asc", false},
    {"summary in a missing folder",
     [](run_state& rs) { set_name(rs.files.summary, "nofolder/summary.txt"); }, 4,
     "output summary", "nofolder/summary.txt", false},
    {"outlet hydrograph not given", [](run_state& rs) { rs.files.outlet_hydro[0] = '\0'; }, 4,
     "output hydrograph", "", true},
    {"missing precipitation file",
     [](run_state& rs) { rs.gage_rain = 1; set_name(rs.files.precip_file, "storm.gag"); }, 4,
     "raingage data", "storm.gag", true},
    {"missing groundwater boundary",
     [](run_state& rs) { rs.groundwater = 1; set_name(rs.files.gw_boundfile, "bound.gw"); }, 4,
     "groundwater boundary", "bound.gw", true},
    {"Richards soil type without a Richards section",
     [](run_state& rs) { rs.inf_richards = 1; set_name(rs.files.soil_type_map, "soils.asc"); },
     4, "soil type", "soils.asc", true},
    {"multi-layer soil table without its section",
     [](run_state& rs) {
         rs.inf_layered_soil = 1;
         set_name(rs.files.soil_type_map, "mask.asc");
         set_name(rs.files.soil_layer_input_file, "layers.txt");
     },
     4, "multi-layer soil table", "layers.txt", true},
    {"mapping table without a moisture map",
     [](run_state& rs) { rs.green_ampt = 1; rs.moisture = 1; rs.mapping_table_given = 1; }, 4,
     "soil moisture", "", true},
    {"missing conductivity map",
     [](run_state& rs) { rs.green_ampt = 1; rs.conductivity = 1; set_name(rs.files.conductivity, "ks.asc"); },
     4, "Ks", "ks.asc", true},
    {"missing channel discharge hotstart",
     [](run_state& rs) {
         rs.cards.read_chan_hotstart_given = 1;
         set_name(rs.files.chan_depth_hotstart_in, "mask.asc");
         set_name(rs.files.chan_discharge_hotstart_in, "hot.qht");
     },
     4, "channel discharge", "hot.qht", true},
    {"hydrograph location output",
     [](run_state& rs) {
         rs.in_hyd_location = 1;
         set_name(rs.files.in_hyd_location, "mask.asc");
         set_name(rs.files.out_hyd_location, "nofolder/hyd.out");
     },
     51, "nofolder/hyd.out", "mask.asc", true},
    {"super-junction flow output",
     [](run_state& rs) {
         rs.superlink_junc_location = rs.superlink_junc_flow = 1;
         set_name(rs.files.superlink_junc_location, "elev.asc");
         set_name(rs.files.superlink_junc_flow, "nofolder/junc.out");
     },
     51, "nofolder/junc.out", "elev.asc", true},
    {"depth output at the locations",
     [](run_state& rs) {
         rs.out_dep_location = 1;
         set_name(rs.files.in_hyd_location, "hyd.loc");
         set_name(rs.files.out_dep_location, "nofolder/dep.out");
     },
     50, "nofolder/dep.out", "hyd.loc", true},
    {"mass output at the locations",
     [](run_state& rs) {
         rs.cards.out_mass_location_given = 1;
         set_name(rs.files.in_hyd_location, "hyd.loc");
         set_name(rs.files.out_mass_location, "nofolder/mass.out");
     },
     49, "nofolder/mass.out", "hyd.loc", true},
    {"soil moisture output at the locations",
     [](run_state& rs) {
         rs.in_theta_location = 1;
         set_name(rs.files.in_theta_location, "mask.asc");
         set_name(rs.files.out_theta_location, "nofolder/theta.out");
     },
     48, "mask.asc", "nofolder/theta.out (out_theta_location_file)", true},
    {"channel depth output",
     [](run_state& rs) { rs.chan_depth = 1; set_name(rs.cards.chan_depth, "nofolder/depth.out"); },
     4, "output channel depth", "nofolder/depth.out", true},
    {"contaminant map", [](run_state& rs) { rs.contam_map = 1; set_name(rs.files.contam_map, "c.map"); },
     4, "contam", "c.map", true},
};

TEST_F(RunFiles, FirstFailureNamesTheFileAndItsRole) {
    for (const failure_case& c : kFailures) {
        SetUp();
        c.setup(rs());
        open_files();
        EXPECT_EQ(error_record.code, c.code) << c.what;
        EXPECT_EQ(error_record.stop, 1) << c.what;
        EXPECT_STREQ(error_record.what, c.description) << c.what;
        EXPECT_STREQ(error_record.file_name, c.file_name) << c.what;
        close_run_file_objects(rs());
        EXPECT_EQ(file_exists(dir().file("summary.txt")), c.summary_created) << c.what;
        TearDown();
    }
}

TEST_F(RunFiles, ParameterMapsOfAMappingTableSectionAreOptional) {
    struct optional_case {
        const char* what;
        void (*setup)(run_state& rs);
    };
    const optional_case cases[] = {
        {"moisture from the table",
         [](run_state& rs) {
             rs.green_ampt = rs.moisture = rs.mapping_table_given = 1;
             rs.mapping_sections[input_state::kMapSoilMoisture] = 1;
         }},
        {"Green-Ampt maps from the table",
         [](run_state& rs) {
             rs.inf_redist = rs.conductivity = rs.capillary = rs.porosity = rs.pore_index =
                 rs.residual_sat = 1;
             set_name(rs.files.conductivity, "ks.asc");
             rs.mapping_sections[input_state::kMapGreenAmpt] = 1;
         }},
        {"redistribution without a soil type map",
         [](run_state& rs) { rs.inf_redist = 1; }},
        {"Richards soils from the table",
         [](run_state& rs) {
             rs.inf_richards = 1;
             rs.mapping_sections[input_state::kMapRichardsBrooks] = 1;
         }},
        {"interception from the table",
         [](run_state& rs) {
             rs.interception = 1;
             rs.mapping_sections[input_state::kMapInterception] = 1;
         }},
        {"roughness from the table",
         [](run_state& rs) {
             rs.roughness_given = 1;
             rs.mapping_sections[input_state::kMapRoughness] = 1;
         }},
    };
    for (const optional_case& c : cases) {
        SetUp();
        c.setup(rs());
        open_files();
        EXPECT_EQ(error_record.code, 0) << c.what << ": " << error_record.what;
        EXPECT_EQ(error_record.stop, 0) << c.what;
        EXPECT_FALSE(rs().conductivity_file.is_open()) << c.what;
        EXPECT_TRUE(rs().outlet_hydro_file.is_open()) << c.what;
        TearDown();
    }
}

TEST_F(RunFiles, SoilTypeMapComesFromTheRichardsSectionWhenNoCardNamesIt) {
    struct soil_case {
        int richards_c_option;
        const char* soil_type_map;   // slot after the opening
        bool opened;
    };
    const soil_case cases[] = {
        {1, "soils.asc", true},   // Brooks: the section's index map
        {2, "", false},           // Havercamp: the table has no such section
    };
    for (const soil_case& c : cases) {
        SetUp();
        input("soils.asc");
        write_file(dir().file("table.cmt"),
                   "PLUVO_INDEX_MAP_TABLES\n"
                   "INDEX_MAP soils.asc \"Soils\"\n"
                   "RICHARDS_EQN_INFILTRATION_BROOKS \"Soils\"\n");
        rs().inf_richards = 1;
        rs().richards_c_option = c.richards_c_option;
        rs().mapping_table_given = 1;
        rs().mapping_sections[input_state::kMapRichardsBrooks] = 1;
        set_name(rs().files.mapping_table, "table.cmt");
        open_files();
        EXPECT_EQ(error_record.code, 0) << error_record.what;
        EXPECT_STREQ(rs().files.soil_type_map, c.soil_type_map);
        EXPECT_EQ(rs().soil_type_file.is_open(), c.opened);
        TearDown();
    }
}

TEST_F(RunFiles, EvaporationOutputHeaderFollowsTheInfiltrationMethod) {
    const std::string base =
        "yr/mo/day  hour     avg_theta    avg_pot      avgetrate    avgfav      avgbottomfav  "
        "CFGI         temp(C)  ";
    struct header_case {
        void (*setup)(run_state& rs);
        std::string header;
    };
    const header_case cases[] = {
        {[](run_state& rs) { rs.inf_redist = 1; }, base + " avg_theta_L1  avg_theta_L2\n"},
        {[](run_state& rs) {
             rs.inf_layered_soil = 1;
             rs.mapping_sections[input_state::kMapMultiLayer] = 1;
         },
         base + " avg_theta_L1  avg_theta_L2\n"},
        {[](run_state& rs) {
             rs.inf_richards = 1;
             rs.mapping_sections[input_state::kMapRichardsHavercamp] = 1;
         },
         base + "\n"},
    };
    for (const header_case& c : cases) {
        SetUp();
        c.setup(rs());
        open_files();
        ASSERT_EQ(error_record.code, 0) << error_record.what;
        close_run_file_objects(rs());
        EXPECT_EQ(read_file(dir().file("evap_out")), c.header);
        TearDown();
    }
}

TEST_F(RunFiles, WaterTableIsOpenedOnceWhicheverRowComesFirst) {
    struct table_case {
        const char* what;
        int richards;
    };
    for (const table_case& c : {table_case{"groundwater", 0}, table_case{"Richards", 1}}) {
        SetUp();
        input("wt.asc");
        input("bottom.asc");
        input("bound.gw");
        rs().groundwater = 1;
        rs().water_table = 1;
        rs().inf_richards = c.richards;
        rs().aquifer_delta_z = 1.0;
        rs().mapping_sections[input_state::kMapRichardsBrooks] = 1;
        set_name(rs().files.water_table, "wt.asc");
        set_name(rs().files.aquifer_bottom, "bottom.asc");
        set_name(rs().files.gw_boundfile, "bound.gw");
        const std::string out = open_files();
        EXPECT_EQ(error_record.code, 0) << c.what << ": " << error_record.what;
        EXPECT_TRUE(rs().water_table_file.is_open()) << c.what;
        EXPECT_TRUE(rs().aquifer_bottom_file.is_open()) << c.what;
        EXPECT_EQ(out.find("previous file was not closed"), std::string::npos) << c.what << out;
        TearDown();
    }
}

TEST_F(RunFiles, SummaryReceivesEveryMessageOnceItIsOpen) {
    // A failure after the summary file is open reaches console and summary file.
    rs().gage_rain = 1;
    set_name(rs().files.precip_file, "storm.gag");
    open_files();
    ASSERT_EQ(error_record.code, 4);
    char expected[4096];
    compose_message(4, error_record, expected, sizeof(expected));
    testing::internal::CaptureStdout();
    report_error(error_record);
    const std::string console = testing::internal::GetCapturedStdout();
    EXPECT_EQ(console, std::string("\n") + expected);
    close_run_file_objects(rs());
    EXPECT_EQ(current_summary_file, nullptr);
    EXPECT_EQ(read_file(dir().file("summary.txt")), std::string("\n") + expected);
}

TEST_F(RunFiles, FailureBeforeTheSummaryReachesOnlyTheConsole) {
    // A summary file left over from an earlier run must not receive this run's messages.
    file_object stale;
    ASSERT_TRUE(open_file_named(stale, "stale_summary.txt", "w"));
    current_summary_file = &stale;
    set_name(rs().files.elevation, "none.asc");
    open_files();
    ASSERT_EQ(error_record.code, 4);
    EXPECT_EQ(current_summary_file, nullptr);
    testing::internal::CaptureStdout();
    report_error(error_record);
    const std::string console = testing::internal::GetCapturedStdout();
    EXPECT_NE(console.find("Unable to open elevation data file"), std::string::npos);
    close_file_object(stale);
    EXPECT_EQ(read_file(dir().file("stale_summary.txt")), "");
}

TEST_F(RunFiles, EveryOpenedFileIsClosedAtTheEnd) {
    for (const char* name : {"hyd.loc", "storm.gag", "stream.txt", "chan.in", "hot.dht", "hot.qht"}) {
        input(name);
    }
    rs().gage_rain = 1;
    rs().chan_explic = 1;
    rs().in_hyd_location = 1;
    rs().cards.explic_hotstart_given = 1;
    set_name(rs().files.precip_file, "storm.gag");
    set_name(rs().files.stream_cell, "stream.txt");
    set_name(rs().files.channel_input, "chan.in");
    set_name(rs().files.chan_depth_hotstart_in, "hot.dht");
    set_name(rs().files.chan_discharge_hotstart_in, "hot.qht");
    set_name(rs().files.in_hyd_location, "hyd.loc");
    set_name(rs().files.out_hyd_location, "hyd.out");
    rs().chan_discharge = 1;
    set_name(rs().cards.chan_discharge, "q.out");
    open_files();
    ASSERT_EQ(error_record.code, 0) << error_record.what;
    file_object* opened[] = {&rs().summary_file,        &rs().precip_data_file,
                             &rs().stream_cell_file,    &rs().channel_input_file,
                             &rs().chan_depth_hotstart_in_file,
                             &rs().chan_discharge_hotstart_in_file,
                             &rs().hyd_location_file,   &rs().hyd_location_out_file,
                             &rs().chan_discharge_file};
    for (file_object* f : opened) EXPECT_TRUE(f->is_open()) << f->name;
    close_run_file_objects(rs());
    for (file_object* f : opened) EXPECT_FALSE(f->is_open());
    EXPECT_FALSE(rs().watershed_mask_file.is_open());
    EXPECT_EQ(current_summary_file, nullptr);
    EXPECT_TRUE(file_exists(dir().file("hyd.out")));
    EXPECT_TRUE(file_exists(dir().file("q.out")));
}

}  // namespace
