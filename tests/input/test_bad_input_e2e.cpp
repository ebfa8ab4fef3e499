// End-to-end refusals of bad input values: the real program on a small valid
// project with one thing broken must stop with exit status 1 and a message
// naming the file (and its line, row and column, or card), leave every input
// file as it was, and never crash or trip a sanitizer on the way.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "fixture.h"
#include "pluvo_test.h"

using namespace pluvo_test;
namespace fs = std::filesystem;

namespace {

// ---------------------------------------------------------------------------
// The plane base: 4 x 4 cells of 10 m falling towards the south-east corner,
// with a mapping table for the roughness, a time-series file and overland and
// soil-moisture hotstarts. Every real map value is unique in its file so that
// a row can break exactly one of them.

constexpr int kRows = 4;
constexpr int kCols = 4;

grid_spec plane_grid() {
    grid_spec g;
    g.rows = kRows;
    g.cols = kCols;
    g.cell = 10.0;
    g.north = kRows * g.cell;
    return g;
}

// Row 2, column 3 of the real maps below holds 99.77 (elevation, m), 0.007
// (overland depth, m) and 0.27 (soil moisture).
double ground(int r, int c) { return 100.0 - 0.1 * r - 0.01 * c; }
double ov_depth(int r, int c) { return 0.001 * ((r - 1) * kCols + c); }
double moisture(int r, int c) { return 0.2 + 0.01 * ((r - 1) * kCols + c); }

std::string id_row(int id, const std::string& values) {
    char head[8];
    std::snprintf(head, sizeof head, "%-6d", id);
    return std::string(head) + std::string(80, ' ') + values + "\n";
}

const char kPlaneProject[] =
    "PLUVOPROJECT\n"
    "WATERSHED_MASK mask.asc\n"
    "ELEVATION elev.asc\n"
    "GRIDSIZE 10\n"
    "ROWS 4\n"
    "COLS 4\n"
    "TOT_TIME 10\n"
    "TIMESTEP 30\n"
    "OUTROW 4\n"
    "OUTCOL 4\n"
    "OUTSLOPE 0.01\n"
    "HYD_FREQ 5\n"
    "MAP_FREQ 10\n"
    "SUMMARY summ.out\n"
    "OUTLET_HYDRO outlet.hyd\n"
    "PRECIP_UNIF\n"
    "RAIN_INTENSITY 36\n"
    "RAIN_DURATION 5\n"
    "START_DATE 2000 6 1\n"
    "START_TIME 0 0\n"
    "OVERTYPE 1\n"
    "MAPPING_TABLE table.cmt\n"
    "TIME_SERIES_FILE series.ts\n"
    "READ_OV_HOTSTART ovh.asc\n"
    "READ_SM_HOTSTART smh.asc\n";

void write_plane_base(const std::string& dir) {
    const grid_spec g = plane_grid();
    write_grid(dir + "/mask.asc", g, [](int, int) { return 1.0; }, 0);
    write_grid(dir + "/elev.asc", g, ground, 2);
    write_grid(dir + "/ovh.asc", g, ov_depth, 3);
    write_grid(dir + "/smh.asc", g, moisture, 2);
    write_grid(dir + "/land.idx", g, [](int r, int) { return r <= 2 ? 1.0 : 2.0; }, 0);
    write_file(dir + "/table.cmt", "PLUVO_INDEX_MAP_TABLES\n"
                                   "INDEX_MAP land.idx \"Land use\"\n"
                                   "ROUGHNESS \"Land use\"\n"
                                   "NUM_IDS 2\n"
                                   "ID    DESCRIPTION\n" +
                                       id_row(1, "0.0500") + id_row(2, "0.0400"));
    write_file(dir + "/series.ts", "PLUVO_TS\n"
                                   "inflow\n"
                                   "ABSOLUTE\n"
                                   "2000 6 1 0 0 0.5\n"
                                   "2000 6 1 0 10 1.5\n"
                                   "END_TS\n");
    write_file(dir + "/p.prj", kPlaneProject);
}

// ---------------------------------------------------------------------------
// The valley base: the example watershed with its channel network.

void write_valley_base(const std::string& dir) {
    for (const char* name : {"example.prj", "mask.asc", "elev.asc", "valley.chn", "valley.gst"}) {
        fs::copy_file(std::string(PLUVO_EXAMPLES) + "/" + name, dir + "/" + name);
    }
    fs::create_directory(dir + "/out");
}

// Channel hotstart of the valley's link: one line per node, 0.5 m of water.
std::string valley_hotstart(const std::string& first_level) {
    std::string text = "1 1 " + first_level + "\n";
    for (int node = 2; node <= 31; ++node) text += "1 " + std::to_string(node) + " 100.5\n";
    return text;
}

// ---------------------------------------------------------------------------
// The nutrient valley: the watershed of every constituent (long-term, KEV
// hydromet data, sediment, contaminants, nutrients with an aquatic
// environment file).

void write_nutrient_base(const std::string& dir) { copy_case("all_constituents", dir); }

// ---------------------------------------------------------------------------
// The study base: the plane with Manning n a calibration parameter, an
// observation file and the inputs of a Monte Carlo (mc.in) and an SCE study
// (sce.in) of one parameter.

void write_study_base(const std::string& dir) {
    write_plane_base(dir);
    std::string prj = read_file(dir + "/p.prj");
    prj += "MANNING_N [n]\n";
    write_file(dir + "/p.prj", prj);
    write_file(dir + "/params.txt", "1\n[n] \"%8.6lf\"\n");
    write_file(dir + "/obs.txt", "1\n0.01 1 1 0\n");
    write_file(dir + "/mc.in", "p.prj\nparams.txt\nobs.txt\n1\n0.01 0.1\n");
    write_file(dir + "/sce.in", "p.prj\nparams.txt\nobs.txt\n4 3 0.1 1 1 0 1\n5 3 5 1 0 0\n"
                                "0.05 0.01 0.1\n");
}

enum class base { plane, valley, nutrient, study };

std::string project_of(base b) {
    switch (b) {
        case base::plane: return "p.prj";
        case base::valley: return "example.prj";
        case base::nutrient: return "valley.prj";
        case base::study: return "p.prj";
    }
    return "";
}

void write_base(base b, const std::string& dir) {
    switch (b) {
        case base::plane: write_plane_base(dir); break;
        case base::valley: write_valley_base(dir); break;
        case base::nutrient: write_nutrient_base(dir); break;
        case base::study: write_study_base(dir); break;
    }
}

// A 4 x 4 map of the plane with value(row, col) as written.
std::string plane_map(const std::function<std::string(int, int)>& value) {
    std::string text = "north: 40\nsouth: 0\neast: 40\nwest: 0\nrows: 4\ncols: 4\n";
    for (int r = 1; r <= kRows; ++r) {
        for (int c = 1; c <= kCols; ++c) text += value(r, c) + (c < kCols ? " " : "\n");
    }
    return text;
}

// The plane map of `fill` everywhere but `odd` at row 2, column 3.
std::string plane_map_with(const std::string& fill, const std::string& odd) {
    return plane_map([&](int r, int c) { return r == 2 && c == 3 ? odd : fill; });
}

// Green-Ampt maps of the plane: conductivity, capillary head, porosity 0.4
// and the initial moisture `moisture` at row 2, column 3 (0.2 elsewhere).
std::vector<std::pair<std::string, std::string>> green_ampt_maps(const std::string& moisture) {
    return {{"ks.asc", plane_map_with("1.0", "1.0")},
            {"hc.asc", plane_map_with("10.0", "10.0")},
            {"por.asc", plane_map_with("0.4", "0.4")},
            {"moist.asc", plane_map_with("0.2", moisture)}};
}

const char kGreenAmptCards[] = "GREEN_AMPT\nCONDUCTIVITY ks.asc\nCAPILLARY hc.asc\n"
                               "POROSITY por.asc\nMOISTURE moist.asc\n";

// A layered soil table of one soil (id 1) whose layer-1 conductivity is `ks`.
std::string layered_soils(const std::string& ks) {
    return "1\nsoils\n1\n" + ks + " 0.3 11.0 0.45 0.3 0.1 0.05 0.15 20.0\n"
           "0.5 0.3 15.0 0.40 0.3 0.1 0.05 0.20 60.0\n"
           "0.2 0.3 20.0 0.35 0.3 0.1 0.05 0.20\n";
}

// The Sacramento parameter file with one line replaced.
std::string sacramento_file(const std::string& from, const std::string& to) {
    std::string text = "PLUVO_SACRAMENTO basin\nUZTWM 50\nUZFWM 40\nUZK 0.3\nZPERC 40\nREXP 2\n"
                       "LZTWM 120\nLZFSM 25\nLZFPM 60\nLZSK 0.05\nLZPK 0.01\nPFREE 0.3\n"
                       "UZTWC 0.5\nUZFWC 0.5\nLZTWC 0.5\nLZFSC 0.2\nLZFPC 0.5\nSAVED 0\n";
    text.replace(text.find(from), from.size(), to);
    return text;
}

// One map of the gridded hydromet format: a single cell of 1 km over the
// nutrient valley holding `value`.
std::string hmet_grid_map(const std::string& value) {
    return "ncols 1\nnrows 1\nxllcorner -400\nyllcorner -400\ncellsize 1000\n"
           "NODATA_value -9999\n" + value + "\n";
}

// The gridded hydromet inputs of the nutrient valley: the record list of its
// 48 hours and the maps of the first record, its temperature map holding
// `temperature` (F).
std::vector<std::pair<std::string, std::string>> hmet_grid_files(const std::string& temperature) {
    std::string words;
    for (int hour = 0; hour < 48; ++hour) {
        char word[32];
        std::snprintf(word, sizeof word, "g202006%02d%02d\n", 1 + hour / 24, hour % 24);
        words += word;
    }
    return {{"grid.txt", words},
            {"g2020060100_Clod.asc", hmet_grid_map("60")},
            {"g2020060100_Pres.asc", hmet_grid_map("29.92")},
            {"g2020060100_RlHm.asc", hmet_grid_map("40")},
            {"g2020060100_Temp.asc", hmet_grid_map(temperature)},
            {"g2020060100_Drad.asc", hmet_grid_map("300")},
            {"g2020060100_Grad.asc", hmet_grid_map("450")},
            {"g2020060100_WndS.asc", hmet_grid_map("6")}};
}

// One broken input: in `file`, the first `from` becomes `to` (an empty `from`
// appends `to`); `extra` files are written too. Every text of `messages` must
// appear in the output, "{line}" standing for the number of the file's first
// line that holds `to`.
struct bad_input {
    const char* what;
    base project;
    const char* file;
    std::string from;
    std::string to;
    std::vector<std::string> messages;
    std::vector<std::pair<std::string, std::string>> extra = {};
    std::vector<std::string> args = {};     // command line; empty: the base's project alone
    std::vector<std::string> absent = {};   // texts that must not appear in the output
};

void spoil(const std::string& dir, const bad_input& c) {
    for (const auto& f : c.extra) write_file(dir + "/" + f.first, f.second);
    const std::string path = dir + "/" + c.file;
    std::string text = read_file(path);
    if (c.from.empty()) {
        text += c.to;
    } else {
        const size_t at = text.find(c.from);
        ASSERT_NE(at, std::string::npos) << c.what << ": no \"" << c.from << "\" in " << c.file;
        text.replace(at, c.from.size(), c.to);
    }
    write_file(path, text);
}

// Number (from 1) of the first line of `text` that holds `part` (its line end
// left out); 0 when none does.
int line_holding(const std::string& text, std::string part) {
    while (!part.empty() && part.back() == '\n') part.pop_back();
    const std::vector<std::string> lines = split_lines(text);
    for (size_t i = 0; i < lines.size(); ++i) {
        if (!part.empty() && lines[i].find(part) != std::string::npos) return static_cast<int>(i) + 1;
    }
    return 0;
}

std::string with_line(std::string message, int line) {
    const std::string mark = "{line}";
    const size_t at = message.find(mark);
    if (at != std::string::npos) message.replace(at, mark.size(), std::to_string(line));
    return message;
}

// Contents of every file in the folder and its sub-folders, by relative path.
std::map<std::string, std::string> snapshot(const std::string& dir) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        if (entry.is_regular_file()) {
            files[fs::relative(entry.path(), dir).string()] = read_file(entry.path().string());
        }
    }
    return files;
}

const std::string kIntRange = "which is outside the int range.";
const std::string kNotFinite = "which is not finite.";

const std::vector<bad_input> kBadInputs = {
    // Grid size cards that do not fit the mask: the failed mask read stops the run.
    {"ROWS card missing", base::plane, "p.prj", "ROWS 4\n", "",
     {"Incorrect number of rows in map: mask.asc"}},
    {"ROWS card garbled", base::plane, "p.prj", "ROWS 4\n", "ROWS 2x\n",
     {"Error: project file p.prj, line {line}: card rows expects a whole number but found "
      "\"2x\"."}},
    {"COLS smaller than the mask", base::plane, "p.prj", "COLS 4\n", "COLS 3\n",
     {"Incorrect number of columns in map: mask.asc"}},
    // Integers beyond the int range and values outside a card's limits.
    {"ROWS beyond the int range", base::plane, "p.prj", "ROWS 4\n", "ROWS 2147483648\n",
     {"Error: project file p.prj, line {line}: card rows has the value \"2147483648\", " +
      kIntRange}},
    {"COLS beyond the int range", base::plane, "p.prj", "COLS 4\n", "COLS 2147483648\n",
     {"Error: project file p.prj, line {line}: card cols has the value \"2147483648\", " +
      kIntRange}},
    {"ROWS beyond the largest grid", base::plane, "p.prj", "ROWS 4\n", "ROWS 2147483647\n",
     {"Error: project file p.prj, line {line}: card rows has the value 2147483647; it must be "
      "at most 46340."}},
    {"HYD_FREQ too long", base::plane, "p.prj", "HYD_FREQ 5\n", "HYD_FREQ 1e12\n",
     {"Error: project file p.prj, line {line}: card hyd_freq has the value 1e+12; it must be at "
      "most 2147483647."}},
    {"MAP_FREQ negative", base::plane, "p.prj", "MAP_FREQ 10\n", "MAP_FREQ -5\n",
     {"Error: project file p.prj, line {line}: card map_freq has the value -5; it must be at "
      "least 0."}},
    {"TIMESTEP beyond the longest run", base::plane, "p.prj", "TIMESTEP 30\n",
     "TIMESTEP 1e300\n",
     {"Error: project file p.prj, line {line}: card timestep has the value 1e+300; it must be "
      "at most 128849018820."}},
    {"TOT_TIME negative", base::plane, "p.prj", "TOT_TIME 10\n", "TOT_TIME -5\n",
     {"Error: project file p.prj, line {line}: card tot_time has the value -5; it must be at "
      "least 0."}},
    // Dates and times off the calendar.
    {"START_TIME minute overflowing", base::plane, "p.prj", "START_TIME 0 0\n",
     "START_TIME 0 2147483647\n",
     {"Error: project file p.prj, line {line}: card start_time gives 0 2147483647, which is not "
      "a valid time of day"}},
    {"START_DATE month 13, day 45", base::plane, "p.prj", "START_DATE 2000 6 1\n",
     "START_DATE 2005 13 45\n",
     {"Error: project file p.prj, line {line}: card start_date gives 2005 13 45, which is not a "
      "valid date"}},
    {"START_DATE 29 February of a common year", base::plane, "p.prj", "START_DATE 2000 6 1\n",
     "START_DATE 2005 2 29\n",
     {"Error: project file p.prj, line {line}: card start_date gives 2005 2 29, which is not a "
      "valid date"}},
    // NaN and infinite values of the project cards.
    {"GRIDSIZE nan", base::plane, "p.prj", "GRIDSIZE 10\n", "GRIDSIZE nan\n",
     {"Error: project file p.prj, line {line}: card gridsize has the value \"nan\", " + kNotFinite}},
    {"TIMESTEP inf", base::plane, "p.prj", "TIMESTEP 30\n", "TIMESTEP inf\n",
     {"Error: project file p.prj, line {line}: card timestep has the value \"inf\", " +
      kNotFinite}},
    {"RAIN_INTENSITY beyond the double range", base::plane, "p.prj", "RAIN_INTENSITY 36\n",
     "RAIN_INTENSITY 1e999\n",
     {"Error: project file p.prj, line {line}: card rain_intensity has the value \"1e999\", " +
      kNotFinite}},
    // Real maps, hotstarts, mapping table and time series.
    {"mask header edge nan", base::plane, "mask.asc", "north: 40\n", "north: nan\n",
     {"Error: map mask.asc, line 1: the north edge \"nan\" is not finite."}},
    // 2^32 + 4 rows would wrap round to the 4 of the grid as a plain int.
    {"elevation header rows wrapping", base::plane, "elev.asc", "rows: 4\n",
     "rows: 4294967300\n",
     {"Error: map elev.asc, line 5: the number of rows \"4294967300\" is outside the int range."}},
    {"index map header rows wrapping", base::plane, "land.idx", "rows: 4\n",
     "rows: 4294967300\n",
     {"Error: map land.idx, line 5: the number of rows \"4294967300\" is outside the int range."}},
    {"elevation nan", base::plane, "elev.asc", " 99.77 ", " nan ",
     {"Error: map elev.asc, line 8, row 2, column 3: the elevation \"nan\" is not finite."}},
    {"elevation -inf", base::plane, "elev.asc", " 99.77 ", " -inf ",
     {"Error: map elev.asc, line 8, row 2, column 3: the elevation \"-inf\" is not finite."}},
    {"overland hotstart depth nan", base::plane, "ovh.asc", " 0.007 ", " NaN ",
     {"Error: map ovh.asc, line 8, row 2, column 3: the value \"NaN\" is not finite."}},
    {"soil moisture hotstart inf", base::plane, "smh.asc", " 0.27 ", " inf ",
     {"Error: map smh.asc, line 8, row 2, column 3: the value \"inf\" is not finite."}},
    {"mapping table value nan", base::plane, "table.cmt", "0.0400", "nan",
     {"Error: mapping table table.cmt, line {line}: value 1 of ID 2 of the ROUGHNESS table is "
      "not a number."}},
    {"time series value nan", base::plane, "series.ts", " 1.5\n", " nan\n",
     {"Error: time series file series.ts, line {line}: "}},
    {"time series file missing", base::plane, "p.prj", "TIME_SERIES_FILE series.ts\n",
     "TIME_SERIES_FILE absent.ts\n",
     {"Error: Time series file not found [absent.ts]",
      "Error: project file p.prj, line {line}: card time_series_file names the time-series file "
      "absent.ts, which cannot be opened."}},
    {"time series minute overflowing", base::plane, "series.ts", "0 10 1.5", "0 2147483647 1.5",
     {"Error: time series file series.ts, line {line}: the date of series [inflow] is not a "
      "valid date and time"}},
    // The channel network.
    {"channel MANNINGS_N nan", base::valley, "valley.chn", "MANNINGS_N 0.035\n",
     "MANNINGS_N nan\n",
     {"Error in the channel input file valley.chn, line {line} (MANNINGS_N card):",
      "the Manning roughness \"nan\" is not finite"}},
    {"channel bed elevation inf", base::valley, "valley.chn", "ELEV 100.475000\n", "ELEV inf\n",
     {"Error in the channel input file valley.chn, line {line} (ELEV card):",
      "the bed elevation \"inf\" is not finite"}},
    {"grid-stream fraction nan", base::valley, "valley.gst", "LINKNODE 1 1 1.0\n",
     "LINKNODE 1 1 nan\n",
     {"Error in the grid-stream file valley.gst, line {line}:",
      "the LINKNODE fraction \"nan\" is not finite"}},
    // The two integers of a pump card (the link's last node carries it).
    {"channel pump link beyond LINKS", base::valley, "valley.chn", "", "PUMPTO 2 1 TS q\n",
     {"Error in the channel input file valley.chn, line {line} (PUMPTO card):",
      "pump link 2 is outside the links 1..1 of the LINKS card"}},
    {"channel pump link garbled", base::valley, "valley.chn", "", "PUMPTO 1x 1 TS q\n",
     {"Error in the channel input file valley.chn, line {line} (PUMPTO card):",
      "the pump link \"1x\" is not a number"}},
    {"channel pump node beyond the int range", base::valley, "valley.chn", "",
     "PUMPTO 1 2147483648 TS q\n",
     {"Error in the channel input file valley.chn, line {line} (PUMPTO card):",
      "the pump node \"2147483648\" is outside the int range"}},
    {"channel pump node missing", base::valley, "valley.chn", "", "PUMPTO 1\n",
     {"Error in the channel input file valley.chn, line {line} (PUMPTO card):",
      "the pump node is missing"}},
    {"channel hotstart level nan", base::valley, "example.prj", "", "READ_CHAN_HOTSTART hs\n",
     {"Error in the channel hotstart file hs.dht, line 1: the water level or area of node 1 of "
      "link 1 is not a finite number."},
     {{"hs.dht", valley_hotstart("nan")}, {"hs.qht", ""}}},
    {"project MANNING_N nan", base::valley, "example.prj", "MANNING_N 0.05\n", "MANNING_N nan\n",
     {"Error: project file example.prj, line {line}: card manning_n has the value \"nan\", " +
      kNotFinite}},
    // ---- Numbers that do not parse or lie outside their range ----
    {"low-spot width that is no number", base::plane, "p.prj", "", "LOWSPOT_FILE spots.txt\n",
     {"Error: low-spot file spots.txt, line 3, card SPOT: the width fraction of low spot 1 \"abc\" "
      "is not a number."},
     {{"spots.txt", "LOWSPOT\n# a gap in no dike\nSPOT 2 2 2 abc 99.5\n"}}},
    {"low-spot crest that is a name", base::plane, "p.prj", "", "LOWSPOT_FILE spots.txt\n",
     {"Error: low-spot file spots.txt, line 2, card SPOT: the crest elevation of low spot 1 "
      "\"crest\" is not a number."},
     {{"spots.txt", "LOWSPOT\nSPOT 2 2 2 0.5 crest\n"}}},
    {"RETENTION negative", base::plane, "p.prj", "", "RETENTION -5\n",
     {"Error: project file p.prj, line {line}: card retention has the value -5; it must be at "
      "least 0."}},
    {"retention map negative", base::plane, "p.prj", "", "RETEN_DEPTH ret.asc\n",
     {"Error: map ret.asc, line 8, row 2, column 3: the retention depth -2 is outside its range: "
      "it must be at least 0."},
     {{"ret.asc", plane_map_with("5", "-2")}}},
    {"dike code 99", base::plane, "p.prj", "", "DIKE_MAP dikes.asc\n",
     {"Error: map dikes.asc, line 8, row 2, column 3: the dike code 99 is outside its range: it "
      "must be at least 0 and at most 15."},
     {{"dikes.asc", plane_map_with("0", "99")}}},
    {"dike code -3", base::plane, "p.prj", "", "DIKE_MAP dikes.asc\n",
     {"Error: map dikes.asc, line 8, row 2, column 3: the dike code -3 is outside its range"},
     {{"dikes.asc", plane_map_with("0", "-3")}}},
    {"layered-soil conductivity l.0", base::plane, "p.prj", "",
     "INF_LAYERED_SOIL\nSOIL_TYPE_MAP soils.asc\nSOIL_LAYER_INPUT_FILE layers.txt\n",
     {"Error: soil table layers.txt, line 4: layer 1 of soil 1: the value \"l.0\" is not a finite "
      "number."},
     {{"soils.asc", plane_map_with("1", "1")}, {"layers.txt", layered_soils("l.0")}}},
    {"Green-Ampt moisture above porosity", base::plane, "p.prj", "", kGreenAmptCards,
     {"Error: the initial soil moisture of cell 7 (0.5, from moist.asc) is above its porosity "
      "(0.4)."},
     green_ampt_maps("0.5")},
    {"channel MAX_EROSION negative", base::valley, "valley.chn", "ELEV 100.425000\n",
     "ELEV 100.425000\nMAX_EROSION -0.3\n",
     {"Error in the channel input file valley.chn, line 21 (MAX_EROSION card):",
      "the erosion depth -0.3 is outside its range: it must be at least 0"}},
    {"SED_POROSITY 1.2", base::plane, "p.prj", "", "SED_POROSITY 1.2\n",
     {"Error: project file p.prj, line {line}: card sed_porosity has the value 1.2; it must be "
      "below 1."}},
    {"SED_POROSITY -0.5", base::plane, "p.prj", "", "SED_POROSITY -0.5\n",
     {"Error: project file p.prj, line {line}: card sed_porosity has the value -0.5; it must be "
      "at least 0."}},
    {"SED_POROSITY 1.0", base::plane, "p.prj", "", "SED_POROSITY 1.0\n",
     {"Error: project file p.prj, line {line}: card sed_porosity has the value 1; it must be "
      "below 1."}},
    {"SAND_SIZE missing", base::plane, "p.prj", "", "SOIL_EROSION 1\nOUTLET_SED_FLUX sed.out\n",
     {"Error: overland sediment transport (card SOIL_EROSION) needs the card SAND_SIZE"}},
    {"Sacramento zperc -40", base::valley, "example.prj", "", "SACRAMENTO sac.txt\n",
     {"Error: Sacramento parameter file sac.txt, line 5: the zperc -40 is outside its range: it "
      "must be at least 0."},
     {{"sac.txt", sacramento_file("ZPERC 40", "ZPERC -40")}}},
    {"Sacramento rexp negative", base::valley, "example.prj", "", "SACRAMENTO sac.txt\n",
     {"Error: Sacramento parameter file sac.txt, line 6: the rexp -2 is outside its range"},
     {{"sac.txt", sacramento_file("REXP 2", "REXP -2")}}},
    {"Sacramento saved that is no number", base::valley, "example.prj", "", "SACRAMENTO sac.txt\n",
     {"Error: Sacramento parameter file sac.txt, line 18: the saved \"none\" is not a number."},
     {{"sac.txt", sacramento_file("SAVED 0", "SAVED none")}}},
    {"KEV temperature 9000 F", base::nutrient, "hmet.kev", "2020 6 1 4 29.92 60 40 6 50 ",
     "2020 6 1 4 29.92 60 40 6 9000 ",
     {"Error: the air temperature (C) 4982.22 is outside its range: it must be at least -80 and "
      "at most 60 (hydromet file hmet.kev, line 5)"}},
    {"KEV pressure 1e6 inHg", base::nutrient, "hmet.kev", "2020 6 1 4 29.92 ", "2020 6 1 4 1e6 ",
     {"Error: the barometric pressure (mb) 3.38653e+07 is outside its range: it must be at least "
      "250 and at most 1100 (hydromet file hmet.kev, line 5)"}},
    {"KEV wind 1e6 knots", base::nutrient, "hmet.kev", "2020 6 1 4 29.92 60 40 6 ",
     "2020 6 1 4 29.92 60 40 1000000 ",
     {"Error: the wind speed (m/s) 514444 is outside its range: it must be at least 0 and at "
      "most 120 (hydromet file hmet.kev, line 5)"}},
    {"LATITUDE 200", base::nutrient, "valley.prj", "LATITUDE 40\n", "LATITUDE 200\n",
     {"Error: project file valley.prj, line {line}: card latitude has the value 200; it must be "
      "at most 90."}},
    {"elevation 1e308", base::plane, "elev.asc", " 99.77 ", " 1e308 ",
     {"Error: map elev.asc, line 8, row 2, column 3: the elevation 1e+308 is outside its range: "
      "it must be at least -11000 and at most 9000."}},
    {"channel node missing", base::valley, "valley.chn", "NODE 2\nELEV 100.425000\n", "",
     {"Error in the channel input file valley.chn:",
      "node 2 of link 1 has no NODE card: every node 1..31 of the link (its NODES card) must be "
      "described once"}},
    {"channel node given twice", base::valley, "valley.chn", "NODE 3\n", "NODE 2\n",
     {"Error in the channel input file valley.chn, line 21 (NODE card):",
      "node 2 of link 1 is described twice: its first NODE card is on line 19"}},
    // ---- Counts with no upper bound ----
    {"Monte Carlo parameter count", base::study, "mc.in", "\n1\n", "\n2000000000\n",
     {"Error: Monte Carlo input file mc.in, line 6: the file ends before every parameter has its "
      "bounds."},
     {}, {"-m2", "mc.in"}},
    {"SCE parameter count", base::study, "sce.in", " 0 1\n", " 0 2000000000\n",
     {"Error: SCE input file sce.in, line 6: parameter 2 of 2000000000 needs a start value, a "
      "lower and an upper bound; the file ends before its start value."},
     {}, {"-c", "sce.in"}, {"unknown card found in the project file: pluvoproject"}},
    {"observation count", base::study, "obs.txt", "1\n", "2000000000\n",
     {"Error: observation file obs.txt, line 3: the file ends before entry 2 of 2000000000."},
     {}, {"-m2", "mc.in"}},
    {"aquatic environment NUM_IDS", base::nutrient, "aq.env", "NUM_IDS 1", "NUM_IDS 2000000000",
     {"Error: aquatic environment file aq.env, line {line}: the number of IDs 2000000000 is "
      "outside its range: it must be at least 0 and at most 9999."}},
    {"overland depth location count", base::plane, "p.prj", "",
     "OVERLAND_DEPTHS depths.out\nOVERLAND_DEPTH_LOCATION depth_loc.txt\n",
     {"Error: location file depth_loc.txt, line 1: the number of locations 2000000000 must be "
      "from 0 to 16."},
     {{"depth_loc.txt", "2000000000\n1 1\n"}}},
    {"cell depth/discharge location count", base::plane, "p.prj", "",
     "IN_CELLDEPDIS_LOCATION cells.txt\nOUT_CELLDEPDIS_LOCATION cells.out\n",
     {"End of file reached in file cells.txt, exiting",
      "Error: location file cells.txt, line 2: the file ends before the row."},
     {{"cells.txt", "2000000000\n1 1\n"}}},
    {"hydrograph location count", base::valley, "example.prj", "",
     "IN_HYD_LOCATION hyd.txt\nOUT_HYD_LOCATION hyd.out\n",
     {"End of file reached in file hyd.txt, exiting",
      "Error: location file hyd.txt, line 2: the file ends before the link."},
     {{"hyd.txt", "2000000000\n1 5\n"}}},
    {"map header far larger than its body", base::plane, "mask.asc", "rows: 4\ncols: 4\n",
     "rows: 10000\ncols: 10000\n",
     {"Unexpected end of file in file: mask.asc",
      "Error: map mask.asc, line 6: the header gives 10000 rows and 10000 columns, 100000000 "
      "values, but the 32 bytes after it hold at most 16 values."},
     {{"p.prj", std::string(kPlaneProject).replace(std::string(kPlaneProject).find("ROWS 4\nCOLS 4"),
                                                     13, "ROWS 10000\nCOLS 10000")}}},
    // ---- Messages that said nothing or the wrong thing ----
    {"TIMESTEP -5", base::plane, "p.prj", "TIMESTEP 30\n", "TIMESTEP -5\n",
     {"Error: project file p.prj, line {line}: card timestep has the value -5; it must be at "
      "least 0."},
     {}, {}, {"Time step is 0 seconds"}},
    {"TIMESTEP 0.0005", base::plane, "p.prj", "TIMESTEP 30\n", "TIMESTEP 0.0005\n",
     {"Error: Time step is 0.0005 seconds; it must be more than 0.001 seconds"}},
    {"OUTSLOPE 1e-16", base::plane, "p.prj", "OUTSLOPE 0.01\n", "OUTSLOPE 1e-16\n",
     {"Error: Outlet slope 1e-16 is below 1e-9 m/m (card OUTSLOPE)."}, {}, {}, {"not specified"}},
    {"1.0 in the integer mask", base::plane, "mask.asc", "\n1 1 1 1\n", "\n1 1.0 1 1\n",
     {"Error: map mask.asc, line 7, row 1, column 2: the value \"1.0\" is not a whole number."}},
    {"1.0 in an index map", base::plane, "land.idx", "\n1 1 1 1\n2 2 2 2\n",
     "\n1 1 1 1\n2 2 1.0 2\n",
     {"Error: index map land.idx, line 9, row 3, column 3: \"1.0\" is not an integer ID."}},
    {"elevation map ends early", base::plane, "elev.asc", "99.59 99.58 99.57 99.56\n", "",
     {"Unexpected end of file in file: elev.asc",
      "Error: map elev.asc, line 9: the file ends at this line, before row 4 of its 4 rows."}},
    {"aquatic environment ID above the count", base::nutrient, "aq.env", "title\n1\n",
     "title\n2\n",
     {"Error: An index [2] in the aquatic environment table is greater than the\nnumber of IDs "
      "specified [1]\n (File: aq.env, line 6)"}},
    {"aquatic environment header", base::nutrient, "aq.env", "AQUATIC_ENV_NSM10", "AQUATIC_ENV",
     {" The header should be : AQUATIC_ENV_NSM10\n"}},
    {"superlink input file missing", base::plane, "p.prj", "", "STORM_SEWER absent.txt\n",
     {"Error: Unable to open superlink input file.\n  (File: absent.txt)"}},
    // ---- Physical ranges of the side files ----
    {"START_DATE year beyond four digits", base::plane, "p.prj", "START_DATE 2000 6 1\n",
     "START_DATE 20202020 6 1\n",
     {"Error: project file p.prj, line {line}: card start_date gives 20202020 6 1, which is not "
      "a valid date"}},
    {"xy boundary overland depth 5000 m", base::plane, "p.prj", "", "XYBDYINPUT_OVDEP xy.txt\n",
     {"Error: series file xy.txt, line 4: the overland depth (m) 5000 (value 1 of the row) is "
      "outside its range: it must be at most 1000."},
     {{"xy.txt", "XY_OV_DEPTH\n1\nDATE TIME 7\n2000 06 01 00 00 5000\n2000 06 01 01 00 0.1\n"
                 "END_TS\n"}}},
    {"overland lake level 20000 m", base::plane, "p.prj", "",
     "OVERLAND_LAKE_MAP lakes.asc\nOVERLAND_LAKE_FILE lakes.txt\n",
     {"Error: lake file lakes.txt, line 2, card LAKE: the lake level 20000 m is outside its range: "
      "it must be at least -11000 and at most 9000."},
     {{"lakes.asc", plane_map_with("0", "1")},
      {"lakes.txt", "PLUVO_OVERLAND_LAKE_FILE\nLAKE 1 20000 0\n"}}},
    {"overland lake volume negative", base::plane, "p.prj", "",
     "OVERLAND_LAKE_MAP lakes.asc\nOVERLAND_LAKE_FILE lakes.txt\n",
     {"Error: lake file lakes.txt, line 2, card LAKE: the lake volume -5 m3 is outside its range: "
      "it must be at least 0."},
     {{"lakes.asc", plane_map_with("0", "1")},
      {"lakes.txt", "PLUVO_OVERLAND_LAKE_FILE\nLAKE 1 100 -5\n"}}},
    {"overland pump rate 1e5 m3/s", base::plane, "p.prj", "", "OV_PUMP pumps.txt\n",
     {"Error: overland pump file pumps.txt, line 1: entry 2 of the time series inflow gives the "
      "pump rate 100000 m3/s, outside its range: it must be at least -10000 and at most 10000."},
     {{"pumps.txt", "7 TS inflow\n"},
      {"series.ts", "PLUVO_TS\ninflow\nABSOLUTE\n2000 6 1 0 0 0.5\n2000 6 1 0 10 1e5\n"
                    "END_TS\n"}}},
    {"analyzer depth threshold 5000 m", base::valley, "example.prj", "", "ANALYZERS an.txt\n",
     {"Error: analyzer file an.txt, line 2: the threshold 5000 of the channel depth (m) is "
      "outside its range: it must be at least 0 and at most 1000."},
     {{"an.txt", "# deep water\n2DS depth S > 5000 s\n"}}},
    {"snow melt factor card 50", base::plane, "p.prj", "", "NWSRFS_SNOW\nNWSRFS_MF_MAX 50\n",
     {"Error: the card nwsrfs_mf_max value 50 must be at least 0 and at most 10"}},
    {"snow band below the sea floor", base::plane, "p.prj", "",
     "NWSRFS_SNOW\nNWSRFS_ELEV_SNOW bands.txt\n",
     {"Error: file bands.txt, line 3: band 1 Lower_Elevation \"-20000\" is not an elevation of "
      "the ground (m)"},
     {{"bands.txt", "Number_Bands: 1\nLower_Elevation Upper_Elevation MF_Min MF_Max SCF FR_USE "
                    "TIPM NMF FUA PLWHC\n-20000 100000000 0.1 0.9 1 0.2 0.3 0.4 0.5 0.6\n"}}},
    {"snow band SCF 40", base::plane, "p.prj", "", "NWSRFS_SNOW\nNWSRFS_ELEV_SNOW bands.txt\n",
     {"Error: file bands.txt, line 3: band 1 SCF \"40\" must be above 0 and at most 5"},
     {{"bands.txt", "Number_Bands: 1\nLower_Elevation Upper_Elevation MF_Min MF_Max SCF FR_USE "
                    "TIPM NMF FUA PLWHC\n0 100000000 0.1 0.9 40 0.2 0.3 0.4 0.5 0.6\n"}}},
    {"channel point inflow 5e6 m3/s", base::valley, "example.prj", "",
     "CHAN_POINT_INPUT pts.txt\n",
     {"Error: channel point-source file pts.txt, line 2: the flow in m3/s 5e+06 is outside its "
      "range: it must be at least -1000000 and at most 1000000"},
     {{"pts.txt", "NUMPT 1\nPOINT 5 1 5e6\n"}}},
    {"channel point record count beyond the file", base::valley, "example.prj", "",
     "CHAN_POINT_INPUT pts.txt\n",
     {"Error: channel point-source file pts.txt, line 3: record 1 of 100000000 is missing"},
     {{"pts.txt", "NUMPT 1\nPOINT 5 1 0.5\nNRPDS 100000000\n"}}},
    {"overland point source -2e6 m3/s", base::plane, "p.prj", "", "OV_POINT_SOURCE ps.txt\n",
     {"Error: overland point-source file ps.txt, line 2: the rate in m3/s -2e+06 is outside its "
      "range: it must be at least -1000000 and at most 1000000"},
     {{"ps.txt", "1\n2 3 -2e6\n"}}},
    {"hydromet grid temperature 9000 F", base::nutrient, "valley.prj", "HMET_KEV hmet.kev\n",
     "HMET_ASCII grid.txt\n",
     {"Error: hydromet map g2020060100_Temp.asc, row 1, column 1: the air temperature (C) 4982.22 "
      "(map value 9000, read for cell 1) is outside its range: it must be at least -80 and at "
      "most 60."},
     hmet_grid_files("9000")},
    {"orographic gage elevation 20000 m", base::nutrient, "valley.prj", "", "HMET_OROG_GAGES orog.txt\n",
     {"Error: orographic gage file orog.txt, line 2: the orographic gage elevation (m) 20000 is "
      "outside its range: it must be at least -11000 and at most 9000."},
     {{"orog.txt", "station x\nelev 1500 elev 20000\nyr mo dy hr temp\n2020 6 1 0 10\n"}}},
    {"orographic temperature 200 C", base::nutrient, "valley.prj", "", "HMET_OROG_GAGES orog.txt\n",
     {"Error: orographic gage file orog.txt, line 4: the air temperature 200 C is outside its "
      "range: it must be at least -80 and at most 60 (or below -998 for a missing reading)."},
     {{"orog.txt", "station x\nelev 1500 elev 2500\nyr mo dy hr temp\n2020 6 1 0 200\n"}}},
    // Channel methods this version cannot simulate.
    {"CHAN_DRAIN", base::valley, "example.prj", "CHAN_EXPLIC\n", "CHAN_DRAIN\n",
     {"Error: the card chan_drain asks for "}},
    {"CHAN_MESH", base::valley, "example.prj", "CHAN_EXPLIC\n", "CHAN_MESH\n",
     {"Error: the card chan_mesh asks for "}},
    {"CHAN_BACKWATER", base::valley, "example.prj", "CHAN_EXPLIC\n", "CHAN_BACKWATER\n",
     {"Error: the card chan_backwater asks for "}},
};

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

}  // namespace

TEST(BadInputProgram, BasesRunToTheirEnd) {
    // The rows below break one thing each; unbroken, the projects run. The
    // nutrient valley names no stream ID map ("ST_MAP none"), which is no
    // file to look for.
    for (base b : {base::plane, base::valley, base::nutrient}) {
        temp_dir dir;
        write_base(b, dir.path());
        const run_result r = run_pluvo({project_of(b)}, dir.path());
        EXPECT_EQ(r.status, 0) << project_of(b) << "\n" << r.out << r.err;
        if (b != base::nutrient) {
            EXPECT_TRUE(has(r.out, "finished event")) << r.out;
        }
        EXPECT_FALSE(has(r.out, "Error")) << r.out;
    }
}

TEST(BadInputProgram, ZeroTotalTimeIsNoErrorButEndsTheRunAtItsFirstPass) {
    // Only a negative TOT_TIME is refused: 0 is the length of a run that
    // stops at its start.
    temp_dir dir;
    write_plane_base(dir.path());
    spoil(dir.path(), {"TOT_TIME 0", base::plane, "p.prj", "TOT_TIME 10\n", "TOT_TIME 0\n", {}});
    const run_result r = run_pluvo({"p.prj"}, dir.path());
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(has(r.out, "simulation duration 0 minutes")) << r.out;
    EXPECT_TRUE(has(r.out, "finished event")) << r.out;
}

TEST(BadInputProgram, EachBrokenValueStopsCleanlyNamingWhereItIs) {
    for (const bad_input& c : kBadInputs) {
        SCOPED_TRACE(c.what);
        temp_dir dir;
        write_base(c.project, dir.path());
        spoil(dir.path(), c);
        const int line = line_holding(read_file(dir.file(c.file)), c.to);
        const std::map<std::string, std::string> before = snapshot(dir.path());

        const std::vector<std::string> args =
            c.args.empty() ? std::vector<std::string>{project_of(c.project)} : c.args;
        const run_result r = run_pluvo(args, dir.path());
        const std::string all = r.out + r.err;
        EXPECT_EQ(r.status, 1) << all;
        for (const std::string& m : c.messages) {
            EXPECT_TRUE(has(all, with_line(m, line))) << with_line(m, line) << "\n" << all;
        }
        for (const std::string& m : c.absent) EXPECT_FALSE(has(all, m)) << m << "\n" << all;
        EXPECT_FALSE(has(all, "Running....")) << all;
        EXPECT_FALSE(has(r.err, "Sanitizer")) << r.err;
        EXPECT_FALSE(has(r.err, "runtime error")) << r.err;
        // Every input is still there, byte for byte.
        const std::map<std::string, std::string> after = snapshot(dir.path());
        for (const auto& f : before) {
            const auto found = after.find(f.first);
            ASSERT_NE(found, after.end()) << f.first << " was removed";
            EXPECT_TRUE(found->second == f.second) << f.first << " was changed";
        }
    }
}
