// End-to-end refusals of file names that cannot serve the run: an output that
// would overwrite an input or another output, an output folder that cannot
// take files, a folder where a file belongs, a batch run beyond the rows of
// its replacement values.
// Every refused run exits with status 1, names the card or file, and leaves
// every file of its folder as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "fixture.h"
#include "pluvo_test.h"

using namespace pluvo_test;

namespace {

// The contents of every plain file below `dir`, by path.
std::map<std::string, std::string> snapshot(const std::string& dir) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
        if (entry.is_regular_file()) files[entry.path().string()] = read_file(entry.path().string());
    }
    return files;
}

// A 3 x 3 plane draining south for 10 minutes, with the replacement files
// of a two-row batch (Manning n per run).
project_file small_plane(const temp_dir& dir) {
    plane_case c;
    c.grid.rows = 3;
    c.grid.cols = 3;
    c.total_minutes = 10;
    c.rain_minutes = 5;
    c.timestep = 30.0;
    project_file p = write_plane_case(dir.path(), c);
    write_file(dir.file("params.txt"), "1\n[N] \"%4.2lf\"\n");
    write_file(dir.file("values.txt"), "0.05\n0.10\n");
    return p;
}

struct bad_case {
    const char* name;
    std::function<void(const temp_dir&, project_file&)> change;   // edits files and cards
    std::vector<std::string> args;                                // program arguments
    std::vector<std::string> messages;                            // each must be printed
    std::vector<std::string> run_times = {};   // run-time logs that runs before the refused one append
};

// A copy of `from` under the name `to` in the case folder.
void copy_as(const temp_dir& d, const char* from, const char* to) {
    write_file(d.file(to), read_file(d.file(from)));
}

TEST(BadFilesEndToEnd, RefusedRunsNameTheCardOrFileAndChangeNoInput) {
    const bad_case cases[] = {
        {"outlet hydrograph over the project file",
         [](const temp_dir&, project_file& p) { p.remove("OUTLET_HYDRO").card("OUTLET_HYDRO", "plane.prj"); },
         {"plane.prj"},
         {"Error: card OUTLET_HYDRO names the output file plane.prj, which is the input file "
          "plane.prj of the project file; an output never overwrites an input"}},
        {"summary over the elevation map, spelt another way",
         [](const temp_dir& d, project_file& p) {
             std::filesystem::create_directory(d.file("sub"));
             p.remove("SUMMARY").card("SUMMARY", "sub/../elev.asc");
         },
         {"plane.prj"},
         {"Error: card SUMMARY names the output file sub/../elev.asc, which is the input file "
          "elev.asc of card ELEVATION"}},
        {"segment-model flow file over the elevation map",
         [](const temp_dir&, project_file& p) { p.card("K4_INPUT", "elev.asc"); },
         {"plane.prj"},
         {"Error: card K4_INPUT names the output file elev.asc, which is the input file "
          "elev.asc of card ELEVATION"}},
        {"map dataset over the replacement values",
         [](const temp_dir&, project_file& p) {
             p.card("REPLACE_PARAMS", "params.txt").card("REPLACE_VALS", "values.txt");
             p.card("MAP_TYPE", "1").card("DEPTH", "values.txt");
         },
         {"plane.prj"},
         {"Error: card DEPTH names the output file values.txt, which is the input file "
          "values.txt of card REPLACE_VALS"}},
        // Two outputs resolving to one file: the later would overwrite the earlier.
        {"two cards naming one output file",
         [](const temp_dir&, project_file& p) { p.card("SIG_OUTLET_HYDRO", "outlet.hyd"); },
         {"plane.prj"},
         {"Error: card OUTLET_HYDRO names the output file outlet.hyd, which is also the output "
          "file outlet.hyd of card SIG_OUTLET_HYDRO; two outputs never write one file"}},
        {"two outputs spelling one new file two ways",
         [](const temp_dir&, project_file& p) { p.card("SIG_OUTLET_HYDRO", "./summ.out"); },
         {"plane.prj"},
         {"Error: card SUMMARY names the output file summ.out, which is also the output file "
          "./summ.out of card SIG_OUTLET_HYDRO"}},
        {"two outputs spelling one existing file two ways",
         [](const temp_dir& d, project_file& p) {
             std::filesystem::create_directory(d.file("sub"));
             write_file(d.file("summ.out"), "summary of an earlier run\n");
             p.card("SIG_OUTLET_HYDRO", "sub/../summ.out");
         },
         {"plane.prj"},
         {"Error: card SUMMARY names the output file summ.out, which is also the output file "
          "sub/../summ.out of card SIG_OUTLET_HYDRO"}},
        {"an output over the run-time log the program appends to",
         [](const temp_dir&, project_file& p) { p.remove("SUMMARY").card("SUMMARY", "out_time.out"); },
         {"plane.prj"},
         {"names the output file out_time.out, which is also the output file out_time.out of "
          "card SUMMARY; two outputs never write one file"}},
        // Outputs the program names itself.
        {"elevation map named as the numbered mask the program writes",
         [](const temp_dir& d, project_file& p) {
             copy_as(d, "elev.asc", "maskmap");
             p.remove("ELEVATION").card("ELEVATION", "maskmap");
         },
         {"plane.prj"},
         {"Error: the program (fixed name) names the output file maskmap, which is the input file "
          "maskmap of card ELEVATION; an output never overwrites an input"}},
        {"watershed mask named as the numbered mask the program writes",
         [](const temp_dir& d, project_file& p) {
             copy_as(d, "mask.asc", "maskmap");
             p.remove("WATERSHED_MASK").card("WATERSHED_MASK", "maskmap");
         },
         {"plane.prj"},
         {"names the output file maskmap, which is the input file maskmap of card WATERSHED_MASK"}},
        {"project file named as the run-time log",
         [](const temp_dir& d, project_file& p) { p.write(d.file("out_time.out")); },
         {"out_time.out"},
         {"Error: the program (fixed name) names the output file out_time.out, which is the input "
          "file out_time.out of the project file"}},
        {"storm-drain file named as the storm-drain flows file",
         [](const temp_dir& d, project_file& p) {
             write_file(d.file("superlink_flows.out"), "a storm-drain network\n");
             p.card("STORM_SEWER", "superlink_flows.out");
         },
         {"plane.prj"},
         {"names the output file superlink_flows.out, which is the input file superlink_flows.out "
          "of card STORM_SEWER"}},
        {"per-time depth grid over the elevation map",
         [](const temp_dir& d, project_file& p) {
             std::filesystem::create_directory(d.file("maps"));
             copy_as(d, "elev.asc", "maps/depth.0001.asc");
             p.remove("ELEVATION").card("ELEVATION", "maps/depth.0001.asc");
             p.card("MAP_TYPE", "0").card("DEPTH", "maps");
         },
         {"plane.prj"},
         {"Error: the output file", "maps/depth.0001.asc would overwrite the input file",
          "an output never overwrites an input", "Can't open depth map for writing"},
         {"out_time.out"}},   // refused in its time loop, at the first map: the run had started
        // Under the quiet cards a refusal is still printed.
        {"cell size that disagrees with the mask, quiet",
         [](const temp_dir&, project_file& p) { p.remove("GRIDSIZE").card("GRIDSIZE", "20"); },
         {"plane.prj"},
         {"The grid size specified in the project file: 20.0000 m differs from",
          "from the WATERSHED_MASK header", "PLUVO terminating."}},
        {"output folder that does not exist",
         [](const temp_dir&, project_file& p) { p.card("OUTPUT_FOLDER", "nowhere/deeper"); },
         {"plane.prj"},
         {"Error: card OUTPUT_FOLDER: the output folder nowhere/deeper/ does not exist"}},
        {"output folder that is a file",
         [](const temp_dir& d, project_file& p) {
             write_file(d.file("notes.txt"), "not a folder\n");
             p.card("OUTPUT_FOLDER", "notes.txt");
         },
         {"plane.prj"},
         {"Error: card OUTPUT_FOLDER: the output folder notes.txt/ is not a folder"}},
        {"folder given as the elevation map",
         [](const temp_dir& d, project_file& p) {
             std::filesystem::create_directory(d.file("maps"));
             p.remove("ELEVATION").card("ELEVATION", "maps");
         },
         {"plane.prj"},
         {"Error: maps is a folder, not a file", "(File: maps)"}},
        {"folder given as the replacement values",
         [](const temp_dir& d, project_file& p) {
             std::filesystem::create_directory(d.file("vals"));
             p.card("REPLACE_PARAMS", "params.txt").card("REPLACE_VALS", "vals");
         },
         {"plane.prj"},
         {"Error: vals is a folder, not a file", "Error: unable to open the value file vals"}},
        {"folder given as the project file",
         [](const temp_dir& d, project_file&) { std::filesystem::create_directory(d.file("proj")); },
         {"proj"},
         {"Error: proj is a folder, not a file"}},
        {"overland point source outside the grid",
         [](const temp_dir& d, project_file& p) {
             write_file(d.file("sources.txt"), "2\n2 2 0.1\n9 2 0.1\n");
             p.card("OV_POINT_SOURCE", "sources.txt");
         },
         {"plane.prj"},
         {"Error: overland point-source file sources.txt, line 3: row 9 is not a whole number "
          "from 1 to 3"}},
        {"overland point source with a rate that is no number",
         [](const temp_dir& d, project_file& p) {
             write_file(d.file("sources.txt"), "1\n2 2 nan\n");
             p.card("OV_POINT_SOURCE", "sources.txt");
         },
         {"plane.prj"},
         {"Error: overland point-source file sources.txt, line 2: \"nan\" is not a finite number "
          "(rate in m3/s)"}},
        {"batch of three runs with two rows of values",
         [](const temp_dir&, project_file& p) {
             p.card("REPLACE_PARAMS", "params.txt").card("REPLACE_VALS", "values.txt");
             p.remove("MANNING_N").card("MANNING_N", "[N]");
         },
         {"-b3", "plane.prj"},
         {"Error: the replacement values file values.txt holds 2 row(s) of values; run 3 needs "
          "row 3"},
         {"0000_out_time.out", "0001_out_time.out"}},
    };
    for (const bad_case& c : cases) {
        SCOPED_TRACE(c.name);
        temp_dir dir;
        project_file p = small_plane(dir);
        c.change(dir, p);
        p.write(dir.file("plane.prj"));
        const auto before = snapshot(dir.path());
        const run_result r = run_pluvo(c.args, dir.path());
        EXPECT_EQ(r.status, 1) << r.out << r.err;
        for (const std::string& m : c.messages) {
            EXPECT_NE((r.out + r.err).find(m), std::string::npos) << m << "\n" << r.out << r.err;
        }
        for (const auto& file : before) {
            ASSERT_TRUE(file_exists(file.first)) << file.first;
            EXPECT_EQ(read_file(file.first), file.second) << file.first;
        }
        // The refused run appends no run time (the rows are every run's but the refused one's).
        for (const char* log : {"out_time.out", "0000_out_time.out", "0001_out_time.out", "0002_out_time.out"}) {
            const bool allowed = std::find(c.run_times.begin(), c.run_times.end(), log) != c.run_times.end();
            if (before.count(dir.file(log)) == 0) {
                EXPECT_EQ(file_exists(dir.file(log)), allowed) << log;
            }
        }
    }
}

TEST(BadFilesEndToEnd, BatchRunsWithinTheRowsStillRun) {
    // The two runs that have rows write their own outputs before the third stops.
    temp_dir dir;
    project_file p = small_plane(dir);
    p.card("REPLACE_PARAMS", "params.txt").card("REPLACE_VALS", "values.txt");
    p.remove("MANNING_N").card("MANNING_N", "[N]");
    p.write(dir.file("plane.prj"));
    const run_result r = run_pluvo({"-b3", "plane.prj"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(read_file(dir.file("0000_outlet.hyd")).empty());
    EXPECT_FALSE(read_file(dir.file("0001_outlet.hyd")).empty());
    EXPECT_FALSE(file_exists(dir.file("0002_outlet.hyd")));
}

TEST(BadFilesEndToEnd, QuotedReplacementValueIsTheNumberInsideTheQuotes) {
    // The same plane run with Manning n 0.2 given plainly and as a quoted
    // replacement value writes the same hydrograph.
    std::string hydrograph[2];
    for (int quoted = 0; quoted < 2; ++quoted) {
        temp_dir dir;
        project_file p = small_plane(dir);
        p.remove("MANNING_N");
        if (quoted) {
            write_file(dir.file("values.txt"), "\"0.2\"\n");
            p.card("REPLACE_PARAMS", "params.txt").card("REPLACE_VALS", "values.txt");
            p.card("MANNING_N", "[N]");
        } else {
            p.card("MANNING_N", "0.2");
        }
        p.write(dir.file("plane.prj"));
        const run_result r = run_pluvo({"plane.prj"}, dir.path());
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        hydrograph[quoted] = read_file(dir.file("outlet.hyd"));
        ASSERT_FALSE(hydrograph[quoted].empty());
    }
    EXPECT_EQ(hydrograph[1], hydrograph[0]);
}

}  // namespace
