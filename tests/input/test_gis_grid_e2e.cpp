// From a GIS grid to a run: the README's conversion of an ESRI ASCII grid and
// its four-neighbour pit fill, run as the README gives them; the folders of
// the outputs checked (and made one level deep) before any file opens; an
// ESRI header refused with the words pluvo reads; a mask whose outside cells
// hold a no-data value warned about, value by value.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "core/error.h"
#include "fixture.h"
#include "pluvo_test.h"

using namespace pluvo_test;

namespace {

// The catalogue's message of `code` with its fields filled in.
std::string catalogue_text(int code, const std::string& what, const std::string& file, int n1 = 0,
                           int n2 = 0) {
    error_info rec;
    std::snprintf(rec.what, sizeof rec.what, "%s", what.c_str());
    std::snprintf(rec.file_name, sizeof rec.file_name, "%s", file.c_str());
    rec.number1 = n1;
    rec.number2 = n2;
    char text[4096];
    compose_message(code, rec, text, sizeof text);
    return text;
}

// The fenced code block of `markdown` whose first line starts with `first`;
// empty when there is none.
std::string fenced_block(const std::string& markdown, const std::string& first) {
    size_t at = 0;
    while ((at = markdown.find("\n```", at)) != std::string::npos) {
        const size_t body = markdown.find('\n', at + 4);
        if (body == std::string::npos) break;
        const size_t end = markdown.find("\n```", body);
        if (end == std::string::npos) break;
        const std::string text = markdown.substr(body + 1, end - body);
        if (text.rfind(first, 0) == 0) return text;
        at = end + 4;
    }
    return "";
}

// The value after `word` in the lines of `text` ("word value"), or NaN.
double header_value(const std::string& text, const std::string& word) {
    std::istringstream in(text);
    std::string key;
    double v = 0.0;
    while (in >> key) {
        if (key == word && in >> v) return v;
    }
    return std::nan("");
}

// A plane of 4 x 5 cells of 10 m for 10 minutes (30 s steps), written in `dir`.
project_file small_plane(const temp_dir& dir) {
    plane_case c;
    c.grid.rows = 4;
    c.grid.cols = 5;
    c.total_minutes = 10;
    c.rain_minutes = 5;
    c.timestep = 30.0;
    return write_plane_case(dir.path(), c);
}

TEST(GisGridEndToEnd, ReadmeRecipeTurnsAnEsriGridIntoARunAndFillsItsPits) {
    const std::string readme = read_file(PLUVO_README);
    const std::string awk = fenced_block(readme, "# esri_to_pluvo.awk");
    const std::string fill = fenced_block(readme, "# fill_pits.py");
    const std::string convert = fenced_block(readme, "# convert:");
    ASSERT_FALSE(awk.empty());
    ASSERT_FALSE(fill.empty());
    ASSERT_FALSE(convert.empty());

    temp_dir dir;
    copy_case("esri_grid", dir.path());
    write_file(dir.file("esri_to_pluvo.awk"), awk);
    write_file(dir.file("fill_pits.py"), fill);
    write_file(dir.file("convert.sh"), "set -e\n" + convert);
    const run_result conversion = run_program("/bin/sh", {"convert.sh"}, dir.path());
    ASSERT_EQ(conversion.status, 0) << conversion.out << conversion.err;

    // The ESRI header read here, independently: corner, size, counts, no-data.
    const std::string esri = read_file(dir.file("dem_esri.asc"));
    const double x = header_value(esri, "xllcorner");
    const double y = header_value(esri, "yllcorner");
    const double size = header_value(esri, "cellsize");
    const int rows = static_cast<int>(header_value(esri, "nrows"));
    const int cols = static_cast<int>(header_value(esri, "ncols"));
    const double nodata = header_value(esri, "NODATA_value");
    int watershed_cells = 0;   // cells with a value
    {
        std::istringstream in(esri);
        std::string line;
        for (int k = 0; k < 6; ++k) std::getline(in, line);
        double v = 0.0;
        while (in >> v) watershed_cells += v != nodata ? 1 : 0;
    }
    ASSERT_EQ(watershed_cells, 32);
    for (const char* map : {"mask.asc", "elev.asc", "elev_filled.asc"}) {
        SCOPED_TRACE(map);
        const std::string text = read_file(dir.file(map));
        EXPECT_DOUBLE_EQ(header_value(text, "north:"), y + rows * size);
        EXPECT_DOUBLE_EQ(header_value(text, "south:"), y);
        EXPECT_DOUBLE_EQ(header_value(text, "east:"), x + cols * size);
        EXPECT_DOUBLE_EQ(header_value(text, "west:"), x);
        EXPECT_EQ(header_value(text, "rows:"), rows);
        EXPECT_EQ(header_value(text, "cols:"), cols);
    }

    // The DEM has two pits: row 2, column 4, 1 m below its lowest neighbour,
    // and row 3, column 3, 0.5 m; the outlet (row 6, column 4) lies below
    // its neighbours too but passes its water on.
    struct run_case {
        const char* elevation;
        const char* pit_lines;
    } runs[] = {
        {"elev.asc",
         "  (2 pit cells, whose ground lies below every neighbour across their 4 faces;\n"
         "  they hold 1350.00 m3 up to their lowest neighbours, the deepest 1.000 m)\n"},
        {"elev_filled.asc",
         "  (0 pit cells, whose ground lies below every neighbour across their 4 faces;\n"
         "  they hold 0.00 m3 up to their lowest neighbours, the deepest 0.000 m)\n"},
    };
    for (const run_case& c : runs) {
        SCOPED_TRACE(c.elevation);
        project_file p;
        p.card("WATERSHED_MASK", "mask.asc").card("ELEVATION", c.elevation);
        p.card("SUMMARY", "summ.out").card("OUTLET_HYDRO", "outlet.hyd");
        p.card("GRIDSIZE", size).card("ROWS", std::to_string(rows)).card("COLS", std::to_string(cols));
        p.card("OUTROW", "6").card("OUTCOL", "4").card("OUTSLOPE", "0.03");
        p.card("TOT_TIME", "30").card("TIMESTEP", "5").card("HYD_FREQ", "1").card("MANNING_N", "0.05");
        p.card("PRECIP_UNIF").card("RAIN_INTENSITY", "50").card("RAIN_DURATION", "10");
        p.card("START_DATE", "2000 6 1").card("START_TIME", "0 0").card("SUPER_QUIET");
        p.write(dir.file("run.prj"));
        const run_result r = run_pluvo({"run.prj"}, dir.path());
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        const std::string summary = read_file(dir.file("summ.out"));
        EXPECT_NE(summary.find("number of grid cells in watershed: " +
                               std::to_string(watershed_cells) + "\n"),
                  std::string::npos)
            << summary;
        EXPECT_NE(summary.find(c.pit_lines), std::string::npos) << summary;
    }
}

struct folder_case {
    const char* name;
    std::function<void(const temp_dir&, project_file&)> change;   // edits files and cards
    std::vector<std::string> args;                                // program arguments
    int status;                                                   // exit status
    std::vector<std::string> made;      // files the run writes (status 0)
    std::string message;                // the refusal (status 1)
};

// A missing folder of an output is made when the folder above it exists; any
// other folder that cannot take the output refuses the run before any file
// opens (no summary, no hydrograph).
TEST(GisGridEndToEnd, OutputFoldersAreMadeOneLevelDeepOrRefusedBeforeAnyFileOpens) {
    const folder_case cases[] = {
        {"map folder of map type 0",
         [](const temp_dir&, project_file& p) { p.card("MAP_TYPE", "0").card("DEPTH", "maps"); },
         {"plane.prj"}, 0, {"maps/depth.0001.asc", "summ.out"}, ""},
        {"map folder given with its separator",
         [](const temp_dir&, project_file& p) { p.card("MAP_TYPE", "0").card("DISCHARGE", "q/"); },
         {"plane.prj"}, 0, {"q/discharge.0001.asc"}, ""},
        {"summary file in a new folder",
         [](const temp_dir&, project_file& p) { p.remove("SUMMARY").card("SUMMARY", "res/summ.out"); },
         {"plane.prj"}, 0, {"res/summ.out", "outlet.hyd"}, ""},
        {"dataset file in a new folder",
         [](const temp_dir&, project_file& p) { p.card("MAP_TYPE", "1").card("DEPTH", "sets/depth.dat"); },
         {"plane.prj"}, 0, {"sets/depth.dat"}, ""},
        // An output folder below the project folder is made (one level) like the rest.
        {"new folder of the new output folder",
         [](const temp_dir&, project_file& p) {
             p.card("PROJECT_FOLDER", "./").card("OUTPUT_FOLDER", "./out");
             p.card("MAP_TYPE", "0").card("DEPTH", "maps");
         },
         {"plane.prj"}, 0, {"out/maps/depth.0001.asc", "out/summ.out"}, ""},
        // Batch runs put the run number in front of the whole name, folder included.
        {"map folders of a batch",
         [](const temp_dir& d, project_file& p) {
             write_file(d.file("params.txt"), "1\n[N] \"%4.2lf\"\n");
             write_file(d.file("values.txt"), "0.05\n0.10\n");
             p.card("REPLACE_PARAMS", "params.txt").card("REPLACE_VALS", "values.txt");
             p.remove("MANNING_N").card("MANNING_N", "[N]");
             p.card("MAP_TYPE", "0").card("DEPTH", "maps");
         },
         {"-b2", "plane.prj"}, 0, {"0000_maps/depth.0001.asc", "0001_maps/depth.0001.asc"}, ""},
        {"map folder two levels deep",
         [](const temp_dir&, project_file& p) { p.card("MAP_TYPE", "0").card("DEPTH", "a/b"); },
         {"plane.prj"}, 1, {}, catalogue_text(350, "card DEPTH", "a/b")},
        {"summary two levels deep",
         [](const temp_dir&, project_file& p) { p.remove("SUMMARY").card("SUMMARY", "x/y/summ.out"); },
         {"plane.prj"}, 1, {}, catalogue_text(350, "card SUMMARY", "x/y")},
        // The flood grid is one file with map type 0 as with the others.
        {"flood grid two levels deep",
         [](const temp_dir&, project_file& p) {
             p.card("MAP_TYPE", "0").card("FLOOD_GRID", "x/y/flood.asc");
         },
         {"plane.prj"}, 1, {}, catalogue_text(350, "card FLOOD_GRID", "x/y")},
        {"map folder that is a file",
         [](const temp_dir& d, project_file& p) {
             write_file(d.file("notes.txt"), "not a folder\n");
             p.card("MAP_TYPE", "0").card("DEPTH", "notes.txt");
         },
         {"plane.prj"}, 1, {}, catalogue_text(351, "card DEPTH", "notes.txt")},
    };
    for (const folder_case& c : cases) {
        SCOPED_TRACE(c.name);
        temp_dir dir;
        project_file p = small_plane(dir);
        c.change(dir, p);
        p.write(dir.file("plane.prj"));
        const run_result r = run_pluvo(c.args, dir.path());
        ASSERT_EQ(r.status, c.status) << r.out << r.err;
        for (const std::string& f : c.made) EXPECT_TRUE(file_exists(dir.file(f))) << f;
        if (c.status == 0) continue;
        EXPECT_NE(r.out.find(c.message), std::string::npos) << c.message << "\n" << r.out;
        EXPECT_FALSE(file_exists(dir.file("summ.out")));
        EXPECT_FALSE(file_exists(dir.file("outlet.hyd")));
        EXPECT_FALSE(std::filesystem::exists(dir.file("a")));
        EXPECT_FALSE(std::filesystem::exists(dir.file("x")));
    }
}

// An ESRI ASCII grid given as a map is refused with the six words pluvo reads;
// another unreadable header names the word it begins with.
TEST(GisGridEndToEnd, MapHeadersThatGiveNoGridAreRefusedWithTheWordsPluvoReads) {
    const std::string esri =
        "ncols 5\nnrows 4\nxllcorner 0\nyllcorner 960\ncellsize 10\nNODATA_value -9999\n";
    std::string rows;
    for (int r = 0; r < 4; ++r) rows += "1 1 1 1 1\n";
    struct header_case {
        const char* card;
        std::string text;
        std::string message;
    } cases[] = {
        {"WATERSHED_MASK", esri + rows, catalogue_text(354, "ncols", "bad.asc")},
        {"ELEVATION", "NROWS 4\nNCOLS 5\nXLLCENTER 5\nYLLCENTER 965\nCELLSIZE 10\n" + rows,
         catalogue_text(354, "NROWS", "bad.asc")},
        {"WATERSHED_MASK", "n: 1000\ns: 960\ne: 50\nw: 0\nr: four\nc: 5\n" + rows,
         "Error: map bad.asc, line 5: the number of rows \"four\" is not a number."},
    };
    for (const header_case& c : cases) {
        SCOPED_TRACE(c.text);
        temp_dir dir;
        project_file p = small_plane(dir);
        write_file(dir.file("bad.asc"), c.text);
        p.remove(c.card).card(c.card, "bad.asc").write(dir.file("plane.prj"));
        const run_result r = run_pluvo({"plane.prj"}, dir.path());
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.out.find(c.message), std::string::npos) << c.message << "\n" << r.out;
        EXPECT_NE(read_file(dir.file("summ.out")).find(c.message), std::string::npos);
    }
}

// Every mask value other than 0 is a watershed cell, as before; values other
// than 0 and 1 are named with their cell counts, the first eight of them one
// by one, in ascending order.
TEST(GisGridEndToEnd, MaskValuesOtherThanZeroAndOneAreWarnedAboutWithTheirCounts) {
    struct mask_case {
        const char* name;
        std::function<int(int, int)> value;   // mask value at row, column
        std::vector<std::string> messages;
        int warnings;                         // warning messages printed
        int cells;                            // watershed cells taken
    } cases[] = {
        {"no-data value outside the watershed",
         [](int r, int c) { return (r == 1 || c == 1) ? -9999 : 1; },
         {catalogue_text(356, "", "mask.asc", -9999, 8)}, 1, 20},
        // 2 to 5, 11 to 15 and 21 to 25 in one cell each: eight named, six more.
        {"fourteen values",
         [](int r, int c) { return r == 4 ? 1 : 10 * (r - 1) + c; },
         {catalogue_text(356, "", "mask.asc", 2, 1), catalogue_text(356, "", "mask.asc", 14, 1),
          catalogue_text(357, "", "mask.asc", 6, 6)},
         9, 20},
        {"zeros and ones", [](int r, int) { return r == 1 ? 0 : 1; }, {}, 0, 15},
    };
    for (const mask_case& c : cases) {
        SCOPED_TRACE(c.name);
        temp_dir dir;
        project_file p = small_plane(dir);
        grid_spec g;
        g.rows = 4;
        g.cols = 5;
        write_grid(dir.file("mask.asc"), g, [&](int r, int col) { return c.value(r, col); }, 0);
        p.write(dir.file("plane.prj"));
        const run_result r = run_pluvo({"plane.prj"}, dir.path());
        ASSERT_EQ(r.status, 0) << r.out;
        const std::string summary = read_file(dir.file("summ.out"));
        for (const std::string& m : c.messages) {
            EXPECT_NE(r.out.find(m), std::string::npos) << m << "\n" << r.out;
            EXPECT_NE(summary.find(m), std::string::npos) << m;
        }
        EXPECT_EQ(count_of(r.out, "Warning: "), c.warnings) << r.out;
        EXPECT_NE(summary.find("number of grid cells in watershed: " + std::to_string(c.cells) + "\n"),
                  std::string::npos);
    }
}

// Maps follow the first time step, then every interval; the summary says so,
// with the count and the last map's time, which the written files bear out.
TEST(GisGridEndToEnd, MapsFollowTheFirstStepAndTheSummarySaysWhen) {
    struct timing_case {
        const char* map_freq;   // minutes
        int maps;               // map outputs in 20 steps of 30 s: steps 1, 1 + k x interval
        const char* lines;
    } cases[] = {
        {"10", 1,
         "MAP OUTPUT (MAP_FREQ): 1 time(s), after the first time step (minute 0.50),\n"
         "then every 20 time steps (10.00 minutes); the last at minute 0.50 of 10.00.\n"},
        {"4", 3,
         "MAP OUTPUT (MAP_FREQ): 3 time(s), after the first time step (minute 0.50),\n"
         "then every 8 time steps (4.00 minutes); the last at minute 8.50 of 10.00.\n"},
    };
    for (const timing_case& c : cases) {
        SCOPED_TRACE(c.map_freq);
        temp_dir dir;
        project_file p = small_plane(dir);
        p.remove("MAP_FREQ").card("MAP_FREQ", c.map_freq).card("MAP_TYPE", "0").card("DEPTH", "maps");
        p.write(dir.file("plane.prj"));
        const run_result r = run_pluvo({"plane.prj"}, dir.path());
        ASSERT_EQ(r.status, 0) << r.out;
        const std::string summary = read_file(dir.file("summ.out"));
        EXPECT_NE(summary.find(c.lines), std::string::npos) << summary;
        EXPECT_NE(summary.find("The state at the end of the run is in the hotstart maps "
                               "(WRITE_OV_HOTSTART\n"),
                  std::string::npos);
        for (int k = 1; k <= c.maps + 1; ++k) {
            char name[32];
            std::snprintf(name, sizeof name, "maps/depth.%04d.asc", k);
            EXPECT_EQ(file_exists(dir.file(name)), k <= c.maps) << name;
        }
    }
}

}  // namespace
