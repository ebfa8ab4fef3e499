// End-to-end runs of the program on small generated projects: the project
// file's header and cards, the files a run opens, series and mapping tables
// read at start-up, batch runs with replacement values, the watershed grid
// and its numbering, and a single event run from its start to its end.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "fixture.h"
#include "pluvo_test.h"

using namespace pluvo_test;

namespace {

// ---------------------------------------------------------------------------
// A small watershed: 4 x 4 cells of 10 m whose mask has a hole at row 3,
// column 2, negative values and a 7; every nonzero value is a watershed cell.
// The ground falls towards the south and the east, the outlet is the cell at
// row 4, column 3.

constexpr int kRows = 4;
constexpr int kCols = 4;
constexpr double kCell = 10.0;   // m
const int kMask[kRows][kCols] = {{0, 1, -1, 0}, {1, 1, 1, 7}, {1, 0, 1, 1}, {0, -2, 1, 0}};
constexpr int kOutRow = 4;
constexpr int kOutCol = 3;

grid_spec small_grid() {
    grid_spec g;
    g.rows = kRows;
    g.cols = kCols;
    g.cell = kCell;
    g.north = kRows * kCell;
    g.west = 0.0;
    return g;
}

double ground(int r, int c) { return 100.0 - 0.1 * r - 0.05 * c; }

void write_mask(const std::string& path, const grid_spec& g) {
    write_grid(path, g, [](int r, int c) { return static_cast<double>(kMask[r - 1][c - 1]); }, 0);
}

// Mask, elevation and the cards of a 10-minute run under 5 minutes of 36 mm/h.
project_file small_project(const temp_dir& dir) {
    const grid_spec g = small_grid();
    write_mask(dir.file("mask.asc"), g);
    write_grid(dir.file("elev.asc"), g, ground, 3);
    project_file p;
    p.card("WATERSHED_MASK", "mask.asc")
        .card("ELEVATION", "elev.asc")
        .card("GRIDSIZE", kCell)
        .card("ROWS", std::to_string(kRows))
        .card("COLS", std::to_string(kCols))
        .card("TOT_TIME", "10")
        .card("TIMESTEP", "30")
        .card("OUTROW", std::to_string(kOutRow))
        .card("OUTCOL", std::to_string(kOutCol))
        .card("OUTSLOPE", "0.01")
        .card("HYD_FREQ", "5")
        .card("MAP_FREQ", "10")
        .card("SUMMARY", "summ.out")
        .card("OUTLET_HYDRO", "outlet.hyd")
        .card("PRECIP_UNIF")
        .card("RAIN_INTENSITY", "36")
        .card("RAIN_DURATION", "5")
        .card("START_DATE", "2000 6 1")
        .card("START_TIME", "0 0")
        .card("MANNING_N", "0.05")
        .card("OVERTYPE", "1")
        .card("NUM_THREADS", "2");
    return p;
}

run_result run_project(const temp_dir& dir, const project_file& p,
                       const std::string& name = "p.prj") {
    p.write(dir.file(name));
    return run_pluvo({name}, dir.path());
}

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Position of `part` in `text`, or npos.
size_t where(const std::string& text, const std::string& part) { return text.find(part); }

std::string format(const char* fmt, double v) {
    char buf[128];
    std::snprintf(buf, sizeof buf, fmt, v);
    return buf;
}

// A crash or a sanitizer report is never a clean stop.
void expect_clean_stop(const run_result& r, const std::string& what) {
    EXPECT_EQ(r.status, 1) << what << "\n" << r.out << r.err;
    EXPECT_FALSE(has(r.err, "runtime error")) << what << r.err;
    EXPECT_FALSE(has(r.err, "AddressSanitizer")) << what << r.err;
    EXPECT_FALSE(has(r.out, "Running....")) << what;
}

const char kBadHeader[] =
    "File Does not Appear to be a Valid PLUVO/VORN2D Project file\n"
    "Perhaps you Should Issue a 'dos2unix' Command if you are on a Unix machine?\n"
    "PLUVO Terminating....\n";

// ---------------------------------------------------------------------------
// Calendar arithmetic of the tests (proleptic Gregorian), independent of the
// program's own date routines.

long days_from_civil(int y, int m, int d) {
    y -= m <= 2;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const long yoe = y - era * 400;
    const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

struct civil_time {
    int year, month, day, hour, minute, second;
};

civil_time civil_from_seconds(long long s) {
    long long days = s / 86400;
    long long rem = s % 86400;
    if (rem < 0) {
        rem += 86400;
        --days;
    }
    const long long z = days + 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    const int y = static_cast<int>(yoe + era * 400 + (m <= 2));
    return {y, m, d, static_cast<int>(rem / 3600), static_cast<int>(rem % 3600 / 60),
            static_cast<int>(rem % 60)};
}

long long seconds_of(int y, int mo, int d, int h, int mi) {
    return days_from_civil(y, mo, d) * 86400LL + h * 3600LL + mi * 60LL;
}

// The progress line up to its discharge, as the program prints it.
std::string progress_prefix(double minutes, const civil_time& t) {
    char buf[160];
    std::snprintf(buf, sizeof buf, "event %2d elapsed time %8.2lf  %2d/%2.2d/%2.2d %2.2d:%2.2d:%2.2d Qout=",
                  1, minutes, t.month, t.day, t.year, t.hour, t.minute, t.second);
    return buf;
}

std::vector<std::string> progress_lines(const std::string& out) {
    std::vector<std::string> lines;
    for (const std::string& line : split_lines(out))
        if (line.rfind("event ", 0) == 0 && has(line, " elapsed time ")) lines.push_back(line);
    return lines;
}

}  // namespace

// ---------------------------------------------------------------------------
// Project file header and cards

TEST(ProjectInputProgram, HeaderLineDecidesWhetherTheProjectIsRead) {
    struct header_case {
        const char* what;
        std::string header;     // first line, without its line end
        std::string line_end;   // line end of every line of the file
        bool accepted;
    };
    const header_case cases[] = {
        {"PLUVOPROJECT", "PLUVOPROJECT", "\n", true},
        {"VORN2DPROJECT", "VORN2DPROJECT", "\n", true},
        {"DOS line ends", "PLUVOPROJECT", "\r\n", false},
        {"lower case", "pluvoproject", "\n", false},
        {"trailing blank", "PLUVOPROJECT ", "\n", false},
    };
    for (const header_case& c : cases) {
        temp_dir dir;
        const project_file p = small_project(dir);
        // The builder writes "PLUVOPROJECT\n" first; replace header and line ends.
        std::string body = p.text().substr(std::string("PLUVOPROJECT\n").size());
        std::string text = c.header + c.line_end;
        for (const std::string& line : split_lines(body)) text += line + c.line_end;
        write_file(dir.file("p.prj"), text);
        const run_result r = run_pluvo({"p.prj"}, dir.path());
        if (c.accepted) {
            EXPECT_EQ(r.status, 0) << c.what << r.out << r.err;
            EXPECT_EQ(r.err, "") << c.what;
            EXPECT_EQ(count_of(r.out, "finished event \n"), 1) << c.what;
            EXPECT_TRUE(file_exists(dir.file("summ.out"))) << c.what;
        } else {
            EXPECT_EQ(r.status, 1) << c.what;
            // One line naming the file and its line 1, then the three lines.
            EXPECT_EQ(r.err.rfind("Error: project file p.prj, line 1: ", 0), 0u) << c.what << r.err;
            EXPECT_EQ(count_of(r.err, "\n"), 4) << c.what << r.err;
            const std::string three = kBadHeader;
            EXPECT_TRUE(r.err.size() > three.size() &&
                        r.err.compare(r.err.size() - three.size(), three.size(), three) == 0)
                << c.what << r.err;
            EXPECT_FALSE(has(r.out, "reading watershed mask")) << c.what;
            EXPECT_FALSE(file_exists(dir.file("summ.out"))) << c.what;
            EXPECT_FALSE(file_exists(dir.file("maskmap"))) << c.what;
        }
    }
}

TEST(ProjectInputProgram, HeaderOnlyProjectStopsWithTheRainCardMessage) {
    temp_dir dir;
    write_file(dir.file("p.prj"), "PLUVOPROJECT\n");
    const run_result r = run_pluvo({"p.prj"}, dir.path());
    expect_clean_stop(r, "header only");
    EXPECT_TRUE(has(r.out,
                    "\nError: You have an error in your input due to one of the following:\n"
                    "\n"
                    " - You have not specified a precipitation card in your project file.\n"
                    "   One of either PRECIP_UNIF or PRECIP_FILE must be specified.\n"
                    "   The PRECIP_FILE card must be followed by the name of the precipitation\n"
                    "   input data file.  If PRECIP_UNIF is specified, then the RAIN_DURATION\n"
                    "   and RAIN_INTENSITY cards must also be given, followed by the proper values\n"
                    " - You have specified spatially-uniform rainfall with either a zero\n"
                    "   rate or duration.  Please check that your rain rate in mm/h or\n"
                    "   rain duration in minutes are both non-zero.\n"))
        << r.out;
    // The option check comes before any file is opened.
    EXPECT_FALSE(has(r.out, "reading watershed mask"));
    EXPECT_FALSE(file_exists(dir.file("maskmap")));
}

TEST(ProjectInputProgram, FileThatCannotBeOpenedIsNamedWithItsRole) {
    struct open_case {
        const char* card;
        const char* name;
        const char* role;
        bool summary_open;   // the summary file is opened before this file
        bool folder;         // a folder of that name stands in the way
    };
    const open_case cases[] = {
        {"WATERSHED_MASK", "nomask.asc", "watershed mask", false, false},
        {"ELEVATION", "noelev.asc", "elevation data", false, false},
        {"OUTLET_HYDRO", "hydrographs", "output hydrograph", true, true},
    };
    for (const open_case& c : cases) {
        temp_dir dir;
        if (c.folder) std::filesystem::create_directory(dir.file(c.name));
        project_file p = small_project(dir);
        p.remove(c.card).card(c.card, c.name);
        const run_result r = run_project(dir, p);
        expect_clean_stop(r, c.card);
        const std::string message = std::string("\nError: Unable to open ") + c.role +
                                    " file.\n  (File: " + c.name + ")\n";
        EXPECT_TRUE(has(r.out, message)) << c.card << "\n" << r.out;
        EXPECT_FALSE(has(r.out, "number of grid cells in watershed")) << c.card;
        EXPECT_EQ(file_exists(dir.file("summ.out")), c.summary_open) << c.card;
        if (c.summary_open) {
            EXPECT_TRUE(has(read_file(dir.file("summ.out")), message)) << c.card;
        }
    }
}

TEST(ProjectInputProgram, QuotedFileNamesKeepTheirBlanks) {
    temp_dir dir;
    project_file p = small_project(dir);
    write_mask(dir.file("my mask.asc"), small_grid());
    p.remove("WATERSHED_MASK").remove("SUMMARY");
    p.card("WATERSHED_MASK", "\"my mask.asc\"").card("SUMMARY", "\"my summary.out\"");
    const run_result r = run_project(dir, p);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(has(r.out, "reading watershed mask from file: my mask.asc\n")) << r.out;
    ASSERT_TRUE(file_exists(dir.file("my summary.out")));
    EXPECT_TRUE(has(read_file(dir.file("my summary.out")),
                    "reading watershed mask from file: my mask.asc\n"));
    EXPECT_FALSE(file_exists(dir.file("\"my")));
    EXPECT_FALSE(file_exists(dir.file("my")));
}

TEST(ProjectInputProgram, MissingOutputIntervalsWarnInOrderAndFallBackToDefaults) {
    const char kHydWarning[] =
        "\nWarning: Write hydrograph time step not specified, defaulting to 1 hour.\n";
    const char kMapWarning[] = "Warning: Write solution time step not specified, defaulting to 6 hours.\n";
    struct interval_case {
        const char* what;
        bool remove;   // the cards are left out instead of given as 0
    };
    for (const interval_case& c : {interval_case{"given as 0", false}, interval_case{"absent", true}}) {
        temp_dir dir;
        project_file p = small_project(dir);
        p.remove("HYD_FREQ").remove("MAP_FREQ").remove("TOT_TIME").remove("RAIN_DURATION");
        p.card("TOT_TIME", "120").card("RAIN_DURATION", "120");
        if (!c.remove) p.card("HYD_FREQ", "0").card("MAP_FREQ", "0");
        const run_result r = run_project(dir, p);
        ASSERT_EQ(r.status, 0) << c.what << r.out << r.err;
        const size_t hyd = where(r.out, kHydWarning);
        const size_t map = where(r.out, kMapWarning);
        const size_t mask = where(r.out, "reading watershed mask");
        ASSERT_NE(hyd, std::string::npos) << c.what << r.out;
        ASSERT_NE(map, std::string::npos) << c.what << r.out;
        EXPECT_LT(hyd, map) << c.what;
        EXPECT_LT(map, mask) << c.what;
        EXPECT_EQ(count_of(r.out, kHydWarning), 1) << c.what;
        // The warning of code 55 also reaches the summary file.
        const std::string summary = read_file(dir.file("summ.out"));
        EXPECT_TRUE(has(summary, kHydWarning)) << c.what;

        // Defaults: one hydrograph row an hour, maps every 6 hours (30 s steps).
        const auto rows = read_hydrograph(dir.file("outlet.hyd"));
        ASSERT_EQ(rows.size(), 3u) << c.what;
        for (size_t k = 0; k < rows.size(); ++k) EXPECT_DOUBLE_EQ(rows[k].first, 60.0 * k);
        EXPECT_TRUE(has(summary, "WRITTEN EVERY " + std::to_string(360 * 60 / 30) + " TIMESTEP(S)"))
            << c.what;
        EXPECT_TRUE(has(summary, "WRITTEN TO EVERY " + std::to_string(60 * 60 / 30) + " TIMESTEP(S)"))
            << c.what;
    }
}

TEST(ProjectInputProgram, IntervalsShorterThanOneStepWriteAtEveryStep) {
    // 2-minute steps: a hydrograph interval of 0.001 minutes and a map
    // interval of 1 minute both fall below one step and become one step.
    temp_dir dir;
    project_file p = small_project(dir);
    p.remove("TIMESTEP").remove("HYD_FREQ").remove("MAP_FREQ");
    p.card("TIMESTEP", "120").card("HYD_FREQ", "0.001").card("MAP_FREQ", "1").card("DEPTH", "maps");
    std::filesystem::create_directory(dir.file("maps"));
    const run_result r = run_project(dir, p);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const int steps = 10 * 60 / 120;
    const auto rows = read_hydrograph(dir.file("outlet.hyd"));
    ASSERT_EQ(rows.size(), static_cast<size_t>(steps + 1));
    for (int k = 0; k <= steps; ++k) EXPECT_DOUBLE_EQ(rows[static_cast<size_t>(k)].first, 2.0 * k);
    // Maps follow every step after the first pass.
    for (int k = 1; k <= steps; ++k) {
        char name[32];
        std::snprintf(name, sizeof name, "maps/depth.%04d.asc", k);
        EXPECT_TRUE(file_exists(dir.file(name))) << name;
    }
    EXPECT_FALSE(file_exists(dir.file("maps/depth.0006.asc")));
}

TEST(ProjectInputProgram, UnknownCardsAreWarnedAndIgnored) {
    temp_dir dir;
    project_file p = small_project(dir);
    p.card("WATERSHED_MASKS", "other.asc")      // not a keyword: warned, ignored
        .card("Bogus_Card", "1 2")
        .card("#WATERSHED_MASK", "nothere.asc")   // comments change nothing
        .card("  # a comment with blanks before it")
        .card("ZOV")                             // known words without effect
        .card("METRIC")
        .card("SIMULATION_INPUT")
        .card("LAKE", "1 2");
    const run_result r = run_project(dir, p);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(count_of(r.out, "Warning: unknown card found in the project file: "), 2) << r.out;
    EXPECT_TRUE(has(r.out, "Warning: unknown card found in the project file: watershed_masks\n"));
    EXPECT_TRUE(has(r.out, "Warning: unknown card found in the project file: bogus_card\n"));
    EXPECT_TRUE(has(r.out, "reading watershed mask from file: mask.asc\n"));
    EXPECT_EQ(count_of(r.out, "finished event \n"), 1);
}

// ---------------------------------------------------------------------------
// Series and mapping tables

namespace {

// An ID row of a mapping table: the ID in characters 1-6, description up to
// character 86, the values from character 87 on.
std::string id_row(int id, const std::string& values) {
    char head[8];
    std::snprintf(head, sizeof head, "%-6d", id);
    return std::string(head) + std::string(80, ' ') + values + "\n";
}

// Index map of two land classes: class 1 in rows 1 and 2, class 2 below.
int land_class(int r) { return r <= 2 ? 1 : 2; }

const std::vector<std::string> kCheckLabels = {
    "Roughness", "Interception", "Retention", "G&A Infiltration", "G&A Soil Moisture",
    "Multi layer G&A Infiltration", "Richards Havercamp", "Richards Brooks",
    "Evapotranspiration", "Sediments", "Sediment Erosion Properties", "Contaminants", "Wetlands",
    "Overland Boundary", "Groundwater Wells", "Groundwater", "Groundwater Boundary",
    "Area Reduction", "NSM Nitrogen", "NSM Phosphorus", "NSM Other", "NSM Carbon",
    "NSM Dispersion", "NSM Soil Carbon", "NSM Soil Nitrogen", "NSM Soil Phosphorus",
    "NSM Groundwater Nitrogen", "NSM Groundwater Phosphorus", "NSM Groundwater Other",
    "NSM Soil Km", "NSM Soil Koc"};

// Mapping table with a roughness section of Manning n `n1` (class 1) and `n2`
// (class 2) on "land.idx", an interception section whose index map file is
// missing, a retention section naming no listed index map, and `extra` text.
void write_mapping_table(const temp_dir& dir, double n1, double n2, const std::string& extra = "") {
    write_grid(dir.file("land.idx"), small_grid(), [](int r, int) { return land_class(r); }, 0);
    std::string t = "PLUVO_INDEX_MAP_TABLES\n"
                    "INDEX_MAP land.idx \"Land use\"\n"
                    "INDEX_MAP gone.idx \"Gone\"\n"
                    "\n"
                    "ROUGHNESS \"Land use\"\n"
                    "NUM_IDS 2\n"
                    "ID    DESCRIPTION                      ROUGHNESS\n" +
                    id_row(1, format("%.4f", n1)) + id_row(2, format("%.4f", n2)) +
                    "INTERCEPTION \"Gone\"\n"
                    "NUM_IDS 1\n"
                    "ID    DESCRIPTION\n" +
                    id_row(1, "1.0 0.5") +
                    "RETENTION \"Not listed\"\n"
                    "NUM_IDS 1\n"
                    "ID    DESCRIPTION\n" +
                    id_row(1, "0.001") + extra;
    write_file(dir.file("table.cmt"), t);
}

}  // namespace

TEST(ProjectInputProgram, MappingTableCheckLinesAndTheRoughnessItBinds) {
    // The same Manning n from the table and from the MANNING_N card give the
    // same outlet hydrograph; other values in the table change it.
    std::string hydrograph[3];
    struct roughness_case {
        double n1, n2;
        bool table;
    };
    const roughness_case cases[] = {{0.05, 0.05, true}, {0.05, 0.05, false}, {0.05, 0.2, true}};
    for (int k = 0; k < 3; ++k) {
        temp_dir dir;
        project_file p = small_project(dir);
        p.remove("TOT_TIME").card("TOT_TIME", "20");
        if (cases[k].table) {
            write_mapping_table(dir, cases[k].n1, cases[k].n2);
            p.remove("MANNING_N").card("MAPPING_TABLE", "table.cmt");
        }
        const run_result r = run_project(dir, p);
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        hydrograph[k] = read_file(dir.file("outlet.hyd"));
        if (!cases[k].table) {
            EXPECT_FALSE(has(r.out, "Checking 2D grid mapping tables"));
            continue;
        }
        std::string block = "\nChecking 2D grid mapping tables...\n";
        for (const std::string& label : kCheckLabels) {
            block += "  " + label + std::string(35 - label.size(), '.') +
                     (label == "Roughness" ? "Y\n" : "N\n");
        }
        // The failed open of the interception section's index map is announced
        // by the file layer in the middle of the block; the lines stay whole.
        EXPECT_EQ(count_of(r.out, "Error getting new filename from gone.idx\n"), 1) << r.out;
        std::string checked;
        for (const std::string& line : split_lines(r.out))
            if (line.rfind("Error getting new filename", 0) != 0) checked += line + "\n";
        EXPECT_TRUE(has(checked, block)) << r.out;
        // The index map's classes inside the watershed, counted by the test.
        int count[3] = {0, 0, 0};
        for (int row = 1; row <= kRows; ++row)
            for (int col = 1; col <= kCols; ++col)
                if (kMask[row - 1][col - 1] != 0) ++count[land_class(row)];
        for (int id : {1, 2}) {
            EXPECT_TRUE(has(r.out, "In map land.idx category " + std::to_string(id) + " has " +
                                       std::to_string(count[id]) + " values\n"))
                << r.out;
        }
    }
    ASSERT_NE(hydrograph[0], "");
    EXPECT_EQ(hydrograph[0], hydrograph[1]);
    EXPECT_NE(hydrograph[0], hydrograph[2]);
}

TEST(ProjectInputProgram, TimeSeriesFileWithAnAbsoluteAndARelativeSeries) {
    temp_dir dir;
    write_file(dir.file("series.ts"),
               "Series of the test watershed\n"
               "PLUVO_TS\n"
               "\"inflow A\"\n"
               "ABSOLUTE\n"
               "2000 6 1 0 0 1.5\n"
               "2000 6 1 1 0 2.5\n"
               "END_TS\n"
               "text between the blocks\n"
               "PLUVO_TS\n"
               "  pump B  \n"
               "RELATIVE\n"
               "0 0 0 0 0 0.0\n"
               "0 0 0 1 0 3.0\n"
               "END_TS\n");
    // The time-series index of the mapping table looks the series up by name:
    // "pump" finds the first series whose name begins with it.
    write_mapping_table(dir, 0.05, 0.05,
                        "TIME_SERIES_INDEX\n"
                        "NUM_IDS 3\n"
                        "ID    SERIES\n"
                        "1     \"inflow A\"\n"
                        "2     pump\n"
                        "3     nothere\n");
    project_file p = small_project(dir);
    p.remove("MANNING_N")
        .card("TIME_SERIES_FILE", "series.ts")
        .card("MAPPING_TABLE", "table.cmt");
    const run_result r = run_project(dir, p);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    const std::vector<std::string> in_order = {
        "Read time series inflow A\n",
        "Read time series pump B\n",
        "2 time series read from file series.ts\n",
        "finished reading project file\n",
        "Adding table to list: inflow A... Success!\n",
        "Adding table to list: pump... Success!\n",
        "Adding table to list: nothere... Failure, table not found.\n",
        "Running....\n",
    };
    size_t last = 0;
    for (const std::string& line : in_order) {
        const size_t at = r.out.find(line, last);
        ASSERT_NE(at, std::string::npos) << "missing or out of order: " << line << r.out;
        last = at + line.size();
    }
}

TEST(ProjectInputProgram, MalformedSeriesOrTableLinesStopTheRunNamingFileAndLine) {
    struct bad_input_case {
        const char* what;
        const char* file;       // file written
        std::string text;
        bool table;             // a mapping table (else a time-series file)
        std::string message;    // start of the message naming the file and line
    };
    const std::string table_head = "PLUVO_INDEX_MAP_TABLES\n"
                                   "INDEX_MAP land.idx \"Land use\"\n"
                                   "ROUGHNESS \"Land use\"\n"
                                   "NUM_IDS 2\n"
                                   "ID    DESCRIPTION\n" + id_row(1, "0.05");
    const bad_input_case cases[] = {
        {"entry without its hour", "bad.ts",
         "PLUVO_TS\nA\nABSOLUTE\n2000 6 1 0 0 1.5\n2000 6 1 x 0 2\nEND_TS\n", false,
         "Error: time series file bad.ts, line 5: "},
        {"times going back", "bad.ts",
         "PLUVO_TS\nB\nABSOLUTE\n2000 6 1 2 0 1.5\n2000 6 1 1 0 2\nEND_TS\n", false,
         "Error: time series file bad.ts, line 5: "},
        // A decimal comma is no number: the row is refused, not read as 0.
        {"decimal comma", "bad.cmt", table_head + id_row(2, "0,05"), true,
         "Error: mapping table bad.cmt, line 7: "},
        {"letters after the number", "bad.cmt", table_head + id_row(2, "0.05x"), true,
         "Error: mapping table bad.cmt, line 7: "},
    };
    for (const bad_input_case& c : cases) {
        temp_dir dir;
        project_file p = small_project(dir);
        write_file(dir.file(c.file), c.text);
        if (c.table) {
            write_grid(dir.file("land.idx"), small_grid(), [](int r, int) { return land_class(r); }, 0);
            p.remove("MANNING_N").card("MAPPING_TABLE", c.file);
        } else {
            p.card("TIME_SERIES_FILE", c.file);
        }
        const run_result r = run_project(dir, p);
        expect_clean_stop(r, c.what);
        EXPECT_TRUE(has(r.out, c.message)) << c.what << "\n" << r.out;
    }
}

// ---------------------------------------------------------------------------
// Batch runs with replacement values

TEST(ProjectInputProgram, BatchRunsEachReadTheirOwnReplacementRow) {
    // One cell of 100 m under 36 mm/h for two hours drains through the outlet
    // at its equilibrium depth h, where rain x area = dx sqrt(S) h^(5/3) / n.
    // Each row of the values file gives the run its time step and outlet slope.
    struct batch_row {
        double timestep;   // s
        double slope;      // m/m
    };
    const batch_row rows[] = {{30.0, 0.01}, {20.0, 0.04}};
    constexpr double dx = 100.0, n = 0.05, rain = 36.0 / 3.6e6;   // m, -, m/s
    temp_dir dir;
    grid_spec g;
    g.rows = g.cols = 1;
    g.cell = dx;
    g.north = dx;
    write_grid(dir.file("mask.asc"), g, [](int, int) { return 1.0; }, 0);
    write_grid(dir.file("elev.asc"), g, [](int, int) { return 10.0; }, 0);
    write_file(dir.file("params.txt"), "2\n[TS] \"%4.1lf\"\n[SLOPE] \"%6.4lf\"\n");
    std::string values;
    for (const batch_row& b : rows) values += format("%g", b.timestep) + " " + format("%g", b.slope) + "\n";
    write_file(dir.file("values.txt"), values);
    project_file p;
    p.card("REPLACE_PARAMS", "params.txt")
        .card("REPLACE_VALS", "values.txt")
        .card("WATERSHED_MASK", "mask.asc")
        .card("ELEVATION", "elev.asc")
        .card("GRIDSIZE", dx)
        .card("ROWS", "1")
        .card("COLS", "1")
        .card("TOT_TIME", "120")
        .card("TIMESTEP", "[TS]")
        .card("OUTROW", "1")
        .card("OUTCOL", "1")
        .card("OUTSLOPE", "[SLOPE]")
        .card("HYD_FREQ", "10")
        .card("MAP_FREQ", "120")
        .card("SUMMARY", "summ.out")
        .card("OUTLET_HYDRO", "outlet.hyd")
        .card("PRECIP_UNIF")
        .card("RAIN_INTENSITY", "36")
        .card("RAIN_DURATION", "120")
        .card("START_DATE", "2000 6 1")
        .card("START_TIME", "0 0")
        .card("MANNING_N", n)
        .card("OVERTYPE", "1")
        .card("NUM_THREADS", "1")
        .card("SUPER_QUIET");
    p.write(dir.file("batch.prj"));
    const run_result r = run_pluvo({"-b2", "batch.prj"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_FALSE(file_exists(dir.file("summ.out")));
    EXPECT_FALSE(file_exists(dir.file("0002_summ.out")));

    std::string hydrograph[2];
    for (int k = 0; k < 2; ++k) {
        const batch_row& b = rows[k];
        char prefix[8];
        std::snprintf(prefix, sizeof prefix, "%04d_", k);
        const std::string summary = read_file(dir.file(std::string(prefix) + "summ.out"));
        ASSERT_FALSE(summary.empty()) << prefix;
        EXPECT_TRUE(has(summary, std::string("\nUsing replacement values:\n") +
                                     "  [TS]           = " + format("%4.1lf", b.timestep) + "\n" +
                                     "  [SLOPE]        = " + format("%6.4lf", b.slope) + "\n"))
            << prefix << summary;
        EXPECT_TRUE(has(summary, format("timestep                                   %5.1lf seconds\n",
                                        b.timestep)))
            << prefix;

        // Surface storage at the end: the equilibrium depth less the rain of
        // one step, which the outlet drains in the last step.
        const double h = std::pow(rain * dx * n / std::sqrt(b.slope), 0.6);
        const double expected = (h - rain * b.timestep) * dx * dx;
        double final_surface = -1.0;
        for (const std::string& line : split_lines(summary))
            if (line.rfind("Final volume on surface=", 0) == 0)
                std::sscanf(line.c_str() + 24, "%lf", &final_surface);
        EXPECT_NEAR(final_surface, expected, 0.01 * expected) << prefix;

        hydrograph[k] = read_file(dir.file(std::string(prefix) + "outlet.hyd"));
        const auto q = read_hydrograph(dir.file(std::string(prefix) + "outlet.hyd"));
        ASSERT_EQ(q.size(), 13u) << prefix;
        EXPECT_NEAR(q.back().second, rain * dx * dx, 0.0015) << prefix;   // the outflow settles at i x A
    }
    // The rising limbs differ: the runs did not share one row.
    EXPECT_NE(hydrograph[0], hydrograph[1]);
}

// ---------------------------------------------------------------------------
// Watershed grid and cell numbering

TEST(WatershedGridProgram, MaskWithAHoleAndNegativeValuesIsNumberedRowByRow) {
    temp_dir dir;
    const run_result r = run_project(dir, small_project(dir));
    ASSERT_EQ(r.status, 0) << r.out << r.err;

    // The numbering and the maskmap text, derived from the mask by the test.
    const grid_spec g = small_grid();
    std::string expected;
    char line[64];
    std::snprintf(line, sizeof line, "north: %9.2lf\n", g.north);
    expected += line;
    std::snprintf(line, sizeof line, "south: %9.2lf\n", g.north - g.rows * g.cell);
    expected += line;
    std::snprintf(line, sizeof line, "east: %9.2lf\n", g.west + g.cols * g.cell);
    expected += line;
    std::snprintf(line, sizeof line, "west: %9.2lf\n", g.west);
    expected += line;
    std::snprintf(line, sizeof line, "rows: %5d\ncols: %5d\n", g.rows, g.cols);
    expected += line;
    int cells = 0, outlet = 0;
    for (int row = 1; row <= kRows; ++row) {
        for (int col = 1; col <= kCols; ++col) {
            const int number = kMask[row - 1][col - 1] != 0 ? ++cells : 0;
            if (row == kOutRow && col == kOutCol) outlet = number;
            expected += std::to_string(number) + " ";
        }
        expected += "\n";
    }
    EXPECT_EQ(read_file(dir.file("maskmap")), expected);
    EXPECT_TRUE(has(r.out, "number of grid cells in watershed: " + std::to_string(cells) + "\n"));
    EXPECT_TRUE(has(r.out, "outlet is in grid cell: " + std::to_string(outlet) + "\n"));
    const std::string summary = read_file(dir.file("summ.out"));
    EXPECT_TRUE(has(summary, "number of grid cells in watershed: " + std::to_string(cells) + "\n"));
}

TEST(WatershedGridProgram, ElevationMapOfTheWrongSizeIsNamedInItsMessage) {
    struct size_case {
        int rows, cols;
        const char* message;
    };
    const size_case cases[] = {
        {kRows - 1, kCols, "Incorrect number of rows in map: elev.asc\n"},
        {kRows, kCols + 1, "Incorrect number of columns in map: elev.asc\n"},
        {kRows + 1, kCols + 1, "Incorrect number of rows and columns in map: elev.asc\n"},
    };
    for (const size_case& c : cases) {
        temp_dir dir;
        const project_file p = small_project(dir);
        grid_spec g = small_grid();
        g.rows = c.rows;
        g.cols = c.cols;
        write_grid(dir.file("elev.asc"), g, ground, 3);
        const run_result r = run_project(dir, p);
        expect_clean_stop(r, c.message);
        const size_t reading = where(r.out, "reading elevation map from file: elev.asc\n");
        ASSERT_NE(reading, std::string::npos) << r.out;
        EXPECT_NE(r.out.find(c.message, reading), std::string::npos) << r.out;
        EXPECT_FALSE(has(r.out, "outlet is in grid cell")) << c.message;
    }
}

TEST(WatershedGridProgram, CellSizeMismatchOrOutletOutsideStopsCleanly) {
    const std::string kOutletMessage =
        "\nThe outlet row and column you specified in the project file are not\n"
        "inside the watershed mask.  Check the outlet row and column again, and\n"
        "make sure they are correctly specified in the project file using the\n"
        "OUTROW and OUTCOL project file cards.  PLUVO terminating.\n\n";
    const std::string kSizeEnd =
        "from the WATERSHED_MASK header.  Check your data to make sure they agree.\n"
        "PLUVO terminating.\n\n";
    struct grid_case {
        const char* what;
        double gridsize;       // GRIDSIZE card, m
        double mask_north;     // northern edge of the mask header (4 rows)
        double mask_east;      // eastern edge of the mask header (4 columns)
        int outrow, outcol;
        std::string message;   // empty: the run goes on
    };
    const grid_case cases[] = {
        {"north-south size", 12.0, 40.0, 40.0, kOutRow, kOutCol,
         "\nThe grid size specified in the project file: 12.0000 m differs from\n"
         "the north-south dimension of the raster grid cells 10.0000 m as calculated\n" + kSizeEnd},
        {"east-west size", 10.0, 40.0, 48.0, kOutRow, kOutCol,
         "\nThe grid size specified in the project file: 10.0000 m differs from\n"
         "the east-west dimension of the raster grid cells 12.0000 m as calculated\n" + kSizeEnd},
        {"sizes agreeing within 0.1 m", 10.0, 40.16, 40.0, kOutRow, kOutCol, ""},
        {"outlet in the hole", 10.0, 40.0, 40.0, 3, 2, kOutletMessage},
        {"outlet beyond the last row", 10.0, 40.0, 40.0, kRows + 5, kOutCol, kOutletMessage},
        {"outlet at column 0", 10.0, 40.0, 40.0, 2, 0, kOutletMessage},
    };
    for (const grid_case& c : cases) {
        temp_dir dir;
        project_file p = small_project(dir);
        write_file(dir.file("mask.asc"),
                   "north: " + format("%g", c.mask_north) + "\nsouth: 0\neast: " +
                       format("%g", c.mask_east) + "\nwest: 0\nrows: 4\ncols: 4\n"
                       "0 1 -1 0\n1 1 1 7\n1 0 1 1\n0 -2 1 0\n");
        p.remove("GRIDSIZE").remove("OUTROW").remove("OUTCOL");
        p.card("GRIDSIZE", c.gridsize)
            .card("OUTROW", std::to_string(c.outrow))
            .card("OUTCOL", std::to_string(c.outcol));
        const run_result r = run_project(dir, p);
        if (c.message.empty()) {
            EXPECT_EQ(r.status, 0) << c.what << r.out << r.err;
            EXPECT_FALSE(has(r.out, "differs from")) << c.what;
            continue;
        }
        expect_clean_stop(r, c.what);
        EXPECT_TRUE(has(r.out, c.message)) << c.what << "\n" << r.out;
        const bool size_case = c.message != kOutletMessage;
        // A size mismatch numbers nothing; the outlet test follows the numbering.
        EXPECT_EQ(has(r.out, "number of grid cells in watershed"), !size_case) << c.what;
    }
}

TEST(WatershedGridProgram, ZeroElevationInsideTheWatershedIsWarned) {
    temp_dir dir;
    const project_file p = small_project(dir);
    // Zero at row 4, column 2 (mask -2, inside) and at row 1, column 1 (outside).
    write_grid(dir.file("elev.asc"), small_grid(), [](int r, int c) {
        return (r == 4 && c == 2) || (r == 1 && c == 1) ? 0.0 : ground(r, c);
    }, 3);
    const run_result r = run_project(dir, p);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(count_of(r.out, "Warning: Map contains 1 cells with zero values. Map: elev.asc\n"), 1)
        << r.out;
    EXPECT_FALSE(has(r.out, "Warning: Map contains only zero values"));
    EXPECT_EQ(count_of(r.out, "Warning: Map contains"), 1);
}

// ---------------------------------------------------------------------------
// The time loop of a single event

TEST(EventLoopProgram, SingleEventRunsFromStartToEndAndClosesItsEvent) {
    temp_dir dir;
    const run_result r = run_project(dir, small_project(dir));
    ASSERT_EQ(r.status, 0) << r.out << r.err;

    // One progress line per 30 s step from 0 to 10 minutes, dated from the start cards.
    const std::vector<std::string> lines = progress_lines(r.out);
    const int steps = 10 * 60 / 30;
    ASSERT_EQ(lines.size(), static_cast<size_t>(steps + 1)) << r.out;
    const long long start = seconds_of(2000, 6, 1, 0, 0);
    for (int k = 0; k <= steps; ++k) {
        const std::string prefix = progress_prefix(k * 0.5, civil_from_seconds(start + 30LL * k));
        EXPECT_EQ(lines[k].substr(0, prefix.size()), prefix);
        EXPECT_EQ(lines[k].size(), prefix.size() + 12) << lines[k];   // "%8.2lf cms"
    }
    const size_t init = where(r.out, "Initialized Arrays\n");
    const size_t duration = where(r.out, "simulation duration 10 minutes\n");
    const size_t first = where(r.out, lines.front());
    const size_t last = where(r.out, lines.back());
    const size_t finished = where(r.out, "finished event \n");
    ASSERT_NE(finished, std::string::npos) << r.out;
    EXPECT_LT(init, duration);
    EXPECT_LT(duration, first);
    EXPECT_LT(last, finished);
    EXPECT_EQ(count_of(r.out, "finished event \n"), 1);

    // The event's lines in the summary, then the run totals.
    const std::string summary = read_file(dir.file("summ.out"));
    const std::vector<std::string> in_order = {
        "         PLUVO EVENT RUNOFF SIMULATION SUMMARY\n",
        "            Event began on 06/01/2000 at 00:00\n",
        "   With uniform rainfall of   36.0 mm/h for    5.0 minutes.\n\n",
        "timestep                                    30.0 seconds\n",
        "number of timesteps with rain:             " + std::to_string(5 * 60 / 30) + "\n",
        format("volume of rainfall to overland:      %16.1lf\n",
               36.0 / 3.6e6 * 5 * 60 * 11 * kCell * kCell),
        "mass conservation error:",
        "SIMULATION TOTALS",
    };
    size_t from = 0;
    for (const std::string& part : in_order) {
        const size_t at = summary.find(part, from);
        ASSERT_NE(at, std::string::npos) << "missing or out of order: " << part << summary;
        from = at + part.size();
    }
    const auto rows = read_hydrograph(dir.file("outlet.hyd"));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_DOUBLE_EQ(rows.back().first, 10.0);
}

TEST(EventLoopProgram, ProgressDatesAndTheEndOfTheRun) {
    struct clock_case {
        const char* what;
        int year;             // start on 28 February of this year at 23:59
        int timestep;         // s
        int total_minutes;
        bool end_card;        // END_TIME on 1 March (or 29 February) 00:00 of the year
        int passes;           // expected passes of the loop
    };
    const clock_case cases[] = {
        // 2000 is a leap year, 1900 is not: the dates after midnight differ.
        {"leap year 2000", 2000, 30, 2, false, 5},
        {"common year 1900", 1900, 30, 2, false, 5},
        // The run ends in the pass that first reaches or passes the total time.
        {"total time between two steps", 2000, 45, 2, false, 4},
        // The END_TIME card ends the run once the time is strictly past it.
        {"end time card", 2000, 30, 10, true, 4},
    };
    for (const clock_case& c : cases) {
        temp_dir dir;
        project_file p = small_project(dir);
        p.remove("START_DATE").remove("START_TIME").remove("TIMESTEP").remove("TOT_TIME");
        p.remove("RAIN_DURATION").remove("HYD_FREQ");
        p.card("START_DATE", std::to_string(c.year) + " 2 28")
            .card("START_TIME", "23 59")
            .card("TIMESTEP", std::to_string(c.timestep))
            .card("TOT_TIME", std::to_string(c.total_minutes))
            .card("RAIN_DURATION", "1")
            .card("HYD_FREQ", "1");
        const long long start = seconds_of(c.year, 2, 28, 23, 59);
        if (c.end_card) {
            const civil_time midnight = civil_from_seconds(start + 60);
            p.card("END_TIME", std::to_string(midnight.year) + " " + std::to_string(midnight.month) +
                                   " " + std::to_string(midnight.day) + " 0 0");
        }
        const run_result r = run_project(dir, p);
        ASSERT_EQ(r.status, 0) << c.what << r.out << r.err;
        const std::vector<std::string> lines = progress_lines(r.out);
        ASSERT_EQ(lines.size(), static_cast<size_t>(c.passes)) << c.what << "\n" << r.out;
        for (int k = 0; k < c.passes; ++k) {
            const std::string prefix = progress_prefix(k * c.timestep / 60.0,
                                                       civil_from_seconds(start + 1LL * k * c.timestep));
            EXPECT_EQ(lines[k].substr(0, prefix.size()), prefix) << c.what;
        }
        EXPECT_EQ(count_of(r.out, "finished event \n"), 1) << c.what;
        EXPECT_LT(where(r.out, lines.back()), where(r.out, "finished event \n")) << c.what;
    }
}
