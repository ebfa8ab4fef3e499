// End-to-end runs of the program that parse the files it writes: the outlet
// hydrograph in its unit and time forms, one depth map written as per-time
// ASCII grids, as an ASCII dataset and as a binary dataset, the event report
// and the end-of-run water balance, and the balance of a run without water.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "fixture.h"
#include "pluvo_test.h"

using namespace pluvo_test;

namespace {

constexpr double kRain = 36.0 / 3.6e6;         // 36 mm/h in m/s
constexpr double kFt3PerM3 = 35.314667;        // cubic feet per cubic metre

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::string format(const char* fmt, double v) {
    char buf[128];
    std::snprintf(buf, sizeof buf, fmt, v);
    return buf;
}

std::string format2(const char* fmt, double a, double b) {
    char buf[128];
    std::snprintf(buf, sizeof buf, fmt, a, b);
    return buf;
}

// Julian date of a civil date and time (day turning at noon), by the test's
// own calendar arithmetic.
double julian_date(int y, int m, int d, int h, int mi) {
    y -= m <= 2;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const long yoe = y - era * 400;
    const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long days = era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
    return 2440587.5 + days + (h * 60.0 + mi) / 1440.0;
}

// The number after `label` on the first line that begins with it.
bool value_after(const std::string& text, const std::string& label, double& value) {
    for (const std::string& line : split_lines(text)) {
        if (line.rfind(label, 0) == 0) {
            return std::sscanf(line.c_str() + label.size(), "%lf", &value) == 1;
        }
    }
    return false;
}

// Parts of `text` that must appear in this order.
void expect_in_order(const std::string& text, const std::vector<std::string>& parts,
                     const std::string& what) {
    size_t from = 0;
    for (const std::string& part : parts) {
        const size_t at = text.find(part, from);
        ASSERT_NE(at, std::string::npos) << what << ": missing or out of order:\n[" << part
                                         << "]\n" << text;
        from = at + part.size();
    }
}

// ---------------------------------------------------------------------------
// A strip of three 100 m cells falling 1 m per cell to the outlet in the last
// column, under 36 mm/h for the whole run: the outflow rises to rain x area.

constexpr double kStripCell = 100.0;
constexpr int kStripCells = 3;

project_file strip_project(const temp_dir& dir, double timestep, double hyd_freq) {
    grid_spec g;
    g.rows = 1;
    g.cols = kStripCells;
    g.cell = kStripCell;
    g.north = kStripCell;
    write_grid(dir.file("mask.asc"), g, [](int, int) { return 1.0; }, 0);
    write_grid(dir.file("elev.asc"), g, [](int, int c) { return 10.0 + (kStripCells - c); }, 3);
    project_file p;
    p.card("WATERSHED_MASK", "mask.asc")
        .card("ELEVATION", "elev.asc")
        .card("GRIDSIZE", kStripCell)
        .card("ROWS", "1")
        .card("COLS", std::to_string(kStripCells))
        .card("TOT_TIME", "120")
        .card("TIMESTEP", timestep)
        .card("OUTROW", "1")
        .card("OUTCOL", std::to_string(kStripCells))
        .card("OUTSLOPE", "0.01")
        .card("HYD_FREQ", hyd_freq)
        .card("MAP_FREQ", "120")
        .card("SUMMARY", "summ.out")
        .card("OUTLET_HYDRO", "outlet.hyd")
        .card("SIG_OUTLET_HYDRO", "outlet6.hyd")
        .card("PRECIP_UNIF")
        .card("RAIN_INTENSITY", "36")
        .card("RAIN_DURATION", "120")
        .card("START_DATE", "2000 6 1")
        .card("START_TIME", "0 0")
        .card("MANNING_N", "0.05")
        .card("OVERTYPE", "1")
        .card("NUM_THREADS", "1");
    return p;
}

// ---------------------------------------------------------------------------
// A 4 x 4 watershed of 10 m cells with a hole and corners outside the mask
// (11 cells), draining to the cell at row 4, column 3.

constexpr int kRows = 4;
constexpr int kCols = 4;
constexpr double kCell = 10.0;
const int kMask[kRows][kCols] = {{0, 1, 1, 0}, {1, 1, 1, 1}, {1, 0, 1, 1}, {0, 1, 1, 0}};

int active_cells() {
    int n = 0;
    for (const auto& row : kMask)
        for (int v : row) n += v != 0;
    return n;
}

grid_spec basin_grid() {
    grid_spec g;
    g.rows = kRows;
    g.cols = kCols;
    g.cell = kCell;
    g.north = 500.0;
    g.west = 200.0;
    return g;
}

// A run of `minutes` minutes with 30 s steps; `rain_minutes` of uniform rain
// at 36 mm/h, or, when 0, a gage file that records no rain.
project_file basin_project(const temp_dir& dir, int minutes, int rain_minutes) {
    const grid_spec g = basin_grid();
    write_grid(dir.file("mask.asc"), g, [](int r, int c) { return double(kMask[r - 1][c - 1]); }, 0);
    write_grid(dir.file("elev.asc"), g, [](int r, int c) { return 100.0 - 0.1 * r - 0.05 * c; }, 3);
    project_file p;
    p.card("WATERSHED_MASK", "mask.asc")
        .card("ELEVATION", "elev.asc")
        .card("GRIDSIZE", kCell)
        .card("ROWS", std::to_string(kRows))
        .card("COLS", std::to_string(kCols))
        .card("TOT_TIME", std::to_string(minutes))
        .card("TIMESTEP", "30")
        .card("OUTROW", "4")
        .card("OUTCOL", "3")
        .card("OUTSLOPE", "0.01")
        .card("HYD_FREQ", "1")
        .card("MAP_FREQ", "4")
        .card("SUMMARY", "summ.out")
        .card("OUTLET_HYDRO", "outlet.hyd")
        .card("SIG_OUTLET_HYDRO", "outlet6.hyd")
        .card("START_DATE", "2000 6 1")
        .card("START_TIME", "0 0")
        .card("MANNING_N", "0.05")
        .card("OVERTYPE", "1")
        .card("NUM_THREADS", "2");
    if (rain_minutes > 0) {
        p.card("PRECIP_UNIF").card("RAIN_INTENSITY", "36").card("RAIN_DURATION",
                                                                std::to_string(rain_minutes));
    } else {
        write_file(dir.file("dry.gag"),
                   "EVENT \"dry\"\nNRGAG 1\nNRPDS 2\nCOORD 220 480\n"
                   "GAGES 2000 6 1 0 0 0\nGAGES 2000 6 1 0 30 0\n");
        p.card("PRECIP_FILE", "dry.gag");
    }
    return p;
}

run_result run_project(const temp_dir& dir, const project_file& p) {
    p.write(dir.file("p.prj"));
    return run_pluvo({"p.prj"}, dir.path());
}

}  // namespace

// ---------------------------------------------------------------------------
// Outlet hydrograph

TEST(OutputProgram, OutletHydrographRowsInTheirUnitsAndTimeForms) {
    struct hydrograph_case {
        double timestep;   // s
        double hyd_freq;   // min
        bool julian;       // STRICT_JULIAN_DATE: Julian dates instead of minutes
    };
    const hydrograph_case cases[] = {{20.0, 1.0, false}, {7.0, 1.0, false}, {30.0, 2.0, true}};
    const double start = julian_date(2000, 6, 1, 0, 0);
    const double equilibrium = kRain * kStripCells * kStripCell * kStripCell;   // m3/s
    for (const hydrograph_case& c : cases) {
        // Rows at the counters 0, n, 2n, ... with n = int(60 / dt x hyd_freq);
        // the run's last counter is the first whose time reaches 120 minutes.
        const int n = static_cast<int>(60.0 / c.timestep * c.hyd_freq);
        const int last = static_cast<int>(std::ceil(120.0 * 60.0 / c.timestep - 1e-9));
        const size_t expected_rows = static_cast<size_t>(last / n + 1);
        std::vector<double> six_digit[2];   // outlet6 discharges of the SI and English runs
        for (int english = 0; english < 2; ++english) {
            const std::string what = format("dt %g", c.timestep) + (english ? " cfs" : " cms") +
                                     (c.julian ? " julian" : " minutes");
            temp_dir dir;
            project_file p = strip_project(dir, c.timestep, c.hyd_freq);
            if (english) p.card("QOUT_CFS");
            if (c.julian) p.card("STRICT_JULIAN_DATE");
            const run_result r = run_project(dir, p);
            ASSERT_EQ(r.status, 0) << what << r.out << r.err;
            const char* layout = c.julian ? (english ? "%16.8lf %10.3lf" : "%16.8lf %9.3lf")
                                          : (english ? "%8.2lf %10.3lf" : "%8.2lf %9.3lf");
            const double factor = english ? kFt3PerM3 : 1.0;
            const std::vector<std::string> lines = split_lines(read_file(dir.file("outlet.hyd")));
            const std::vector<std::string> sig = split_lines(read_file(dir.file("outlet6.hyd")));
            ASSERT_EQ(lines.size(), expected_rows) << what;
            ASSERT_EQ(sig.size(), expected_rows) << what;
            double previous = 0.0;
            for (size_t j = 0; j < lines.size(); ++j) {
                double t = 0.0, q = 0.0, t6 = 0.0, q6 = 0.0;
                ASSERT_EQ(std::sscanf(lines[j].c_str(), "%lf %lf", &t, &q), 2) << lines[j];
                ASSERT_EQ(std::sscanf(sig[j].c_str(), "%lf %lf", &t6, &q6), 2) << sig[j];
                EXPECT_EQ(lines[j], format2(layout, t, q)) << what << " row " << j;
                EXPECT_EQ(sig[j], format2("%8.2lf %12.6lf", t6, q6)) << what << " row " << j;
                const double seconds = static_cast<double>(j) * n * c.timestep;
                const double expected_t = c.julian ? start + seconds / 86400.0 : seconds / 60.0;
                EXPECT_NEAR(t, expected_t, c.julian ? 2e-8 : 0.0051) << what << " row " << j;
                EXPECT_NEAR(t6, expected_t, 0.0051) << what << " row " << j;
                // Both files carry the same discharge, rounded to their decimals.
                EXPECT_NEAR(q, q6, 0.0005 + 1e-6) << what << " row " << j;
                // Under steady rain the outflow never falls.
                EXPECT_GE(q6, previous - 1e-6) << what << " row " << j;
                previous = q6;
                six_digit[english].push_back(q6);
            }
            // Counter 0 holds at most the first step's outflow of a dry strip.
            EXPECT_LT(six_digit[english].front(), 0.01 * equilibrium * factor) << what;
            EXPECT_NEAR(six_digit[english].back(), equilibrium * factor, 0.001 * equilibrium * factor)
                << what;
            // The progress line carries the unit as well.
            EXPECT_TRUE(has(r.out, english ? " cfs\n" : " cms\n")) << what;
            EXPECT_FALSE(has(r.out, english ? " cms\n" : " cfs\n")) << what;
        }
        // The English run writes the SI discharges times 35.314667 ft3/m3.
        ASSERT_EQ(six_digit[0].size(), six_digit[1].size());
        for (size_t j = 0; j < six_digit[0].size(); ++j) {
            EXPECT_NEAR(six_digit[1][j], six_digit[0][j] * kFt3PerM3, 5e-7 * (kFt3PerM3 + 1.0))
                << "row " << j;
        }
    }
}

// ---------------------------------------------------------------------------
// Depth maps in the three forms

namespace {

struct map_step {
    double time = 0.0;            // elapsed minutes
    std::vector<int> active;      // status flag per grid cell, row by row
    std::vector<double> values;   // value per grid cell, row by row
};

// Reads "ncols"... header and rows of a per-time ASCII grid; inactive cells
// must hold the header's no-data text.
void read_ascii_grid(const std::string& text, const grid_spec& g, map_step& step,
                     std::vector<std::string>& tokens) {
    const std::vector<std::string> lines = split_lines(text);
    ASSERT_EQ(lines.size(), static_cast<size_t>(6 + g.rows)) << text;
    EXPECT_EQ(lines[0], "ncols \t" + std::to_string(g.cols));
    EXPECT_EQ(lines[1], "nrows \t" + std::to_string(g.rows));
    EXPECT_EQ(lines[2], format("xllcenter %9.2lf", g.west + 0.5 * g.cell));
    EXPECT_EQ(lines[3], format("yllcenter %9.2lf", g.north - g.rows * g.cell + 0.5 * g.cell));
    EXPECT_EQ(lines[4], format("cellsize %9.2lf", g.cell));
    ASSERT_EQ(lines[5].rfind("NODATA_value ", 0), 0u) << lines[5];
    const std::string nodata = lines[5].substr(13);
    for (int r = 0; r < g.rows; ++r) {
        const std::string& line = lines[6 + r];
        ASSERT_FALSE(line.empty());
        EXPECT_EQ(line.back(), ' ') << "every value is followed by a blank";
        std::istringstream in(line);
        std::string token;
        int c = 0;
        while (in >> token) {
            ASSERT_LT(c, g.cols) << line;
            const bool on = kMask[r][c] != 0;
            tokens.push_back(token);
            step.active.push_back(on ? 1 : 0);
            if (on) {
                char* end = nullptr;
                const double v = std::strtod(token.c_str(), &end);
                EXPECT_EQ(*end, '\0') << token;
                EXPECT_EQ(token, format("%6.4lf", v));
                step.values.push_back(v);
            } else {
                // A reader of the common layout sees the cell as no data only
                // when it holds exactly the header's value.
                EXPECT_EQ(token, nodata) << "row " << r + 1 << " column " << c + 1;
                step.values.push_back(0.0);
            }
            ++c;
        }
        EXPECT_EQ(c, g.cols) << line;
    }
}

std::vector<map_step> read_ascii_dataset(const std::string& text, int cells) {
    std::vector<map_step> steps;
    const std::vector<std::string> lines = split_lines(text);
    const std::vector<std::string> header = {"DATASET", "OBJTYPE grid2d", "BEGSCL", "OBJID 1010",
                                             "ND " + std::to_string(cells),
                                             "NC " + std::to_string(cells), "NAME depth"};
    EXPECT_GE(lines.size(), header.size() + 1);
    if (lines.size() < header.size() + 1) return steps;
    for (size_t k = 0; k < header.size(); ++k) EXPECT_EQ(lines[k], header[k]);
    size_t k = header.size();
    while (k < lines.size() && lines[k].rfind("TS 1 ", 0) == 0) {
        map_step s;
        s.time = std::atof(lines[k].c_str() + 5);
        EXPECT_EQ(lines[k], format("TS 1 %lf", s.time));
        ++k;
        for (int i = 0; i < cells && k < lines.size(); ++i, ++k) s.active.push_back(std::atoi(lines[k].c_str()));
        for (int i = 0; i < cells && k < lines.size(); ++i, ++k) s.values.push_back(std::atof(lines[k].c_str()));
        steps.push_back(s);
    }
    EXPECT_EQ(k + 1, lines.size()) << "one closing line after the last step";
    if (k < lines.size()) {
        EXPECT_EQ(lines[k], "ENDDS");
    }
    return steps;
}

struct byte_reader {
    std::string s;
    size_t pos = 0;
    bool ok(size_t n) const { return pos + n <= s.size(); }
    int32_t i32() {
        uint32_t v = 0;
        for (int b = 0; b < 4; ++b) v |= static_cast<uint32_t>(static_cast<unsigned char>(s[pos + b])) << (8 * b);
        pos += 4;
        return static_cast<int32_t>(v);
    }
    int16_t i16() {
        const uint16_t v = static_cast<uint16_t>(static_cast<unsigned char>(s[pos]) |
                                                 (static_cast<unsigned char>(s[pos + 1]) << 8));
        pos += 2;
        return static_cast<int16_t>(v);
    }
    double f64() {
        uint64_t v = 0;
        for (int b = 0; b < 8; ++b) v |= static_cast<uint64_t>(static_cast<unsigned char>(s[pos + b])) << (8 * b);
        pos += 8;
        double d;
        std::memcpy(&d, &v, sizeof d);
        return d;
    }
};

std::vector<map_step> read_binary_dataset(const std::string& bytes, int cells) {
    std::vector<map_step> steps;
    byte_reader in{bytes};
    const int32_t header[] = {3000, 100, 4, 110, 8, 120, 2, 130, 160, 1010, 170, cells, 180, cells, 190};
    EXPECT_TRUE(in.ok(sizeof header + 40));
    if (!in.ok(sizeof header + 40)) return steps;
    for (int32_t want : header) EXPECT_EQ(in.i32(), want);
    EXPECT_EQ(bytes.substr(in.pos, 40), std::string("depth") + std::string(35, '\0'));
    in.pos += 40;
    const size_t step_bytes = 4 + 2 + 8 + static_cast<size_t>(cells) * (2 + 8);
    while (in.ok(step_bytes)) {
        EXPECT_EQ(in.i32(), 200);
        EXPECT_EQ(in.i16(), 1);
        map_step s;
        s.time = in.f64();
        for (int i = 0; i < cells; ++i) s.active.push_back(in.i16());
        for (int i = 0; i < cells; ++i) s.values.push_back(in.f64());
        steps.push_back(s);
    }
    EXPECT_TRUE(in.ok(4));
    if (in.ok(4)) {
        EXPECT_EQ(in.i32(), 210);
    }
    EXPECT_EQ(in.pos, bytes.size()) << "nothing after the closing record";
    return steps;
}

}  // namespace

TEST(OutputProgram, DepthMapReadsBackTheSameAsGridsAsciiAndBinaryDatasets) {
    // 10 minutes of 30 s steps with maps every 4 minutes (8 steps): the maps
    // come after the first step and then every interval, at counters 1, 9, 17.
    const std::vector<int> counters = {1, 9, 17};
    const grid_spec g = basin_grid();
    const int cells = kRows * kCols;
    std::vector<map_step> grid_steps, ascii_steps, binary_steps;
    std::vector<std::vector<std::string>> grid_tokens;
    for (int map_type = 0; map_type <= 2; ++map_type) {
        temp_dir dir;
        project_file p = basin_project(dir, 10, 10);
        const char* depth_name[] = {"maps", "depth.dat", "depth.bin"};
        p.card("MAP_TYPE", std::to_string(map_type)).card("DEPTH", depth_name[map_type]);
        if (map_type == 0) std::filesystem::create_directory(dir.file("maps"));
        const run_result r = run_project(dir, p);
        ASSERT_EQ(r.status, 0) << "map type " << map_type << r.out << r.err;
        if (map_type == 0) {
            for (size_t k = 0; k < counters.size(); ++k) {
                const std::string name = "maps/depth." + format("%04.0f", double(k + 1)) + ".asc";
                ASSERT_TRUE(file_exists(dir.file(name))) << name << r.out;
                EXPECT_TRUE(has(r.out, "opening file " + name + "\n")) << name;
                map_step s;
                s.time = counters[k] * 0.5;
                std::vector<std::string> tokens;
                read_ascii_grid(read_file(dir.file(name)), g, s, tokens);
                grid_steps.push_back(s);
                grid_tokens.push_back(tokens);
            }
            EXPECT_FALSE(file_exists(dir.file("maps/depth.0004.asc")));
        } else if (map_type == 1) {
            ascii_steps = read_ascii_dataset(read_file(dir.file("depth.dat")), cells);
        } else {
            binary_steps = read_binary_dataset(read_file(dir.file("depth.bin")), cells);
        }
    }
    ASSERT_EQ(grid_steps.size(), counters.size());
    ASSERT_EQ(ascii_steps.size(), counters.size());
    ASSERT_EQ(binary_steps.size(), counters.size());

    const double area = kCell * kCell;
    for (size_t k = 0; k < counters.size(); ++k) {
        const double minutes = counters[k] * 30.0 / 60.0;
        EXPECT_DOUBLE_EQ(ascii_steps[k].time, minutes);
        EXPECT_DOUBLE_EQ(binary_steps[k].time, minutes);
        ASSERT_EQ(ascii_steps[k].values.size(), static_cast<size_t>(cells));
        ASSERT_EQ(binary_steps[k].values.size(), static_cast<size_t>(cells));
        double volume = 0.0;
        for (int i = 0; i < cells; ++i) {
            const bool on = kMask[i / kCols][i % kCols] != 0;
            const double v = binary_steps[k].values[i];
            EXPECT_EQ(binary_steps[k].active[i], on ? 1 : 0) << "cell " << i;
            EXPECT_EQ(ascii_steps[k].active[i], on ? 1 : 0) << "cell " << i;
            if (!on) {
                EXPECT_EQ(v, 0.0);
                EXPECT_EQ(ascii_steps[k].values[i], 0.0);
                continue;
            }
            // The same deterministic run written three ways.
            EXPECT_NEAR(ascii_steps[k].values[i], v, 5e-7) << "map " << k << " cell " << i;
            EXPECT_EQ(grid_tokens[k][i], format("%6.4lf", v)) << "map " << k << " cell " << i;
            // Rain falls on every cell throughout: water stands everywhere.
            EXPECT_GT(v, 0.0) << "map " << k << " cell " << i;
            volume += v * area;
        }
        // No more water than the rain of the steps so far (passes 0..counter).
        const double rained = kRain * (counters[k] + 1) * 30.0 * active_cells() * area;
        EXPECT_LE(volume, rained * (1.0 + 1e-9)) << "map " << k;
        EXPECT_GT(volume, 0.0);
    }
}

TEST(OutputProgram, DischargeMapHoldsTheFaceDischargeOfEachCell) {
    // At equilibrium on the strip the face below cell k carries the rain of
    // the k cells above it: i x k x dx^2 (m3/s), with no further cell-size factor.
    temp_dir dir;
    project_file p = strip_project(dir, 30.0, 10.0);
    // Maps at counters 1 and 239 (119.5 minutes) of the 240 steps.
    p.remove("MAP_FREQ").card("MAP_FREQ", "119").card("DISCHARGE", "flows");
    std::filesystem::create_directory(dir.file("flows"));
    const run_result r = run_project(dir, p);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::vector<std::string> lines = split_lines(read_file(dir.file("flows/discharge.0002.asc")));
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0], "ncols \t3");
    std::istringstream row(lines[6]);
    for (int k = 1; k < kStripCells; ++k) {
        double q = -1.0;
        ASSERT_TRUE(row >> q) << lines[6];
        const double expected = kRain * k * kStripCell * kStripCell;
        EXPECT_NEAR(q, expected, 0.005 * expected) << "cell " << k;
    }
    EXPECT_FALSE(file_exists(dir.file("flows/discharge.0003.asc")));
}

// ---------------------------------------------------------------------------
// Event report and run totals

TEST(OutputProgram, EventReportAndGlobalBalanceOfARainEvent) {
    // 5 minutes of 36 mm/h on 11 cells of 10 m, then 5 dry minutes.
    temp_dir dir;
    const run_result r = run_project(dir, basin_project(dir, 10, 5));
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::string s = read_file(dir.file("summ.out"));
    const double rain_volume = kRain * 5 * 60 * active_cells() * kCell * kCell;   // m3

    double discharge = -1, remaining = -1, error = 0, mass_in = 0, mass_out = 0, peak = -1;
    ASSERT_TRUE(value_after(s, "volume of discharge:", discharge)) << s;
    ASSERT_TRUE(value_after(s, "volume remaining on surface:", remaining));
    ASSERT_TRUE(value_after(s, "mass conservation error:", error));
    ASSERT_TRUE(value_after(s, "Mass input + original mass:", mass_in));
    ASSERT_TRUE(value_after(s, "Mass output + final mass:", mass_out));
    ASSERT_TRUE(value_after(s, "Event peak discharge (cubic meters per second):", peak));

    expect_in_order(s, {
        "         PLUVO EVENT RUNOFF SIMULATION SUMMARY\n",
        "            Event began on 06/01/2000 at 00:00\n",
        "   With uniform rainfall of   36.0 mm/h for    5.0 minutes.\n\n",
        "elevation and gridsize are in meters\n",
        "timestep                                    30.0 seconds\n",
        "number of timesteps with rain:             10\n",
        "elapsed time when rain began:               0.00\n \n",
        "peak occured on strict Julian date:       ",
        "date/time of peak discharge:              6/1/2000  0:",
        format("Event peak discharge (cubic meters per second):  %12.4lf\n\n", peak),
        "Note: all volumes in cubic meters.\n",
        format("initial volume of overland flow:      %16.1lf\n", 0.0),
        format("initial liquid-equiv. volume of snow: %16.1lf\n \n", 0.0),
        format("volume of rainfall to overland:      %16.1lf\n", rain_volume),
        format("volume of interception:              %16.1lf\n", 0.0),
        format("volume of direct evaporation:        %16.1lf\n", 0.0),
        format("volume of infiltrated water:         %16.1lf\n", 0.0),
        format("volume of water exfiltrated:         %16.1lf\n", 0.0),
        format("volume of discharge:                 %16.1lf\n", discharge),
        format("volume from overland point sources:  %16.1lf\n", 0.0),
        "\n",
        format("volume remaining on surface:         %16.1lf\n", remaining),
        format("final volume of snow (cu. m):        %16.1lf\n \n", 0.0),
        format("mass conservation error:                         %9.6lf percent\n", error),
        // A figure printed as zero carries no note on its sign.
        error == 0.0 ? ""
        : error < 0  ? "Note: negative mass conservation error indicates mass was gained.\n"
                     : "Note: positive mass conservation error indicates mass was created.\n",
        format("Mass input + original mass:           %9.6lf m3\n", mass_in),
        format("Mass output + final mass:             %9.6lf m3\n", mass_out),
        "mass cleanup error from overland:",
        "THE FOLLOWING WARNINGS ARE GIVEN:\n",
        "\n THE FOLLOWING INPUTS WERE READ:\nA ZOV Project File was used.\n",
        "\n THE FOLLOWING PROCESSES WERE SIMULATED:\n",
        "Uniform overland roughness.\n",
        "\n THE FOLLOWING OUTPUT MAPS WERE WRITTEN EVERY " + std::to_string(4 * 60 / 30) +
            " TIMESTEP(S):\n",
        "\n THE FOLLOWING ASCII OUTPUT FILES WERE WRITTEN TO EVERY " + std::to_string(60 / 30) +
            " TIMESTEP(S):\n     hydrograph at the catchment outlet.\n",
    }, "event report");
    EXPECT_EQ(count_of(s, "PLUVO EVENT RUNOFF SIMULATION SUMMARY"), 1);
    EXPECT_FALSE(has(s, "------------------------------------------------------------------------------"));
    EXPECT_FALSE(has(s, "Note: no rainfall was input."));
    EXPECT_EQ(count_of(s, " mass conservation error indicates"), error == 0.0 ? 0 : 1);

    // The event's water: rain = discharge + water left on the surface.
    EXPECT_NEAR(discharge + remaining, rain_volume, 0.11);
    EXPECT_NEAR(mass_in, rain_volume, 1e-6 * rain_volume);
    EXPECT_NEAR(mass_out, rain_volume, 1e-4 * rain_volume);
    EXPECT_NEAR(error, (mass_in - mass_out) / mass_in * 100.0, 1e-4);
    EXPECT_LT(std::fabs(error), 0.01);
    // "No Warnings." only when no more than 5 % of the rain is left on the surface.
    EXPECT_EQ(has(s, "No Warnings.\n"), remaining <= 0.05 * rain_volume) << remaining;

    // The peak is at least every sampled outflow and at most rain x area.
    double largest = 0.0;
    for (const auto& row : read_hydrograph(dir.file("outlet6.hyd"))) largest = std::max(largest, row.second);
    EXPECT_GE(peak, largest - 5e-5);
    EXPECT_LE(peak, kRain * active_cells() * kCell * kCell);
    double peak_julian = 0.0;
    ASSERT_TRUE(value_after(s, "peak occured on strict Julian date:", peak_julian));
    EXPECT_GE(peak_julian, julian_date(2000, 6, 1, 0, 0));
    EXPECT_LE(peak_julian, julian_date(2000, 6, 1, 0, 10) + 1e-8);

    // End-of-run balance.
    double final_surface = -1, total_discharge = -1, overall = 1, surface_error = 1;
    ASSERT_TRUE(value_after(s, "Final volume on surface=", final_surface));
    ASSERT_TRUE(value_after(s, "Total amount of discharge=", total_discharge));
    ASSERT_TRUE(value_after(s, "Overall mass balance error =", overall));
    ASSERT_TRUE(value_after(s, "Mass balance error of surface components =", surface_error));
    expect_in_order(s, {
        "\n \nSIMULATION TOTALS\nGLOBAL MASS BALANCE CALCULATIONS \nAll volumes are in cubic meters \n \n",
        format("Initial volume on surface=                      %14.2lf \n", 0.0),
        format("Initial volume in channels=                     %14.2lf \n", 0.0),
        format("Initial volume in soils=                        %14.2lf \n", 0.0),
        format("Initial volume in groundwater=                  %14.2lf \n\n", 0.0),
        format("Final volume on surface=                        %14.2lf\n", final_surface),
        format("Final volume in channels=                       %14.2lf\n", 0.0),
        format("Final volume in soils=                          %14.2lf\n", 0.0),
        format("Final volume in groundwater=                    %14.2lf\n", 0.0),
        format("Final volume of snow=                           %14.2lf\n\n", 0.0),
        format("Total amount of precip=                         %14.2lf\n", rain_volume),
        format("Total amount of interception=                   %14.2lf\n", 0.0),
        format("Total amount of infiltration=                   %14.2lf\n", 0.0),
        format("Total amount of evaporation=                    %14.2lf\n", 0.0),
        format("Total direct evaporation=                       %14.2lf\n", 0.0),
        format("Total amount of exfiltration=                   %14.2lf\n\n", 0.0),
        format("Total downward flux from unsaturated zone=      %14.2lf\n", 0.0),
        format("Total flux of gw across bounds=                 %14.2lf\n", 0.0),
        format("Total overland point sources=                   %14.2lf\n", 0.0),
        format("Total channel point sources=                    %14.2lf\n\n", 0.0),
        format("Total lateral inflow into channels=             %14.2lf\n", 0.0),
        format("Total amount of discharge=                      %14.2lf\n", total_discharge),
        format("\nMass balance error of surface components =              %10.6lf percent\n\n",
               surface_error),
        format("Overall mass balance error =                        %14.6lf percent\n \n", overall),
    }, "global balance");
    EXPECT_NEAR(final_surface + total_discharge, rain_volume, 0.011);
    EXPECT_NEAR(final_surface, remaining, 0.051);
    EXPECT_NEAR(total_discharge, discharge, 0.051);
    EXPECT_LT(std::fabs(overall), 1e-3);
    EXPECT_LT(std::fabs(surface_error), 1e-3);
}

TEST(OutputProgram, RunWithoutWaterBalancesToZeroWithoutNanOrInf) {
    // No rain from the gage, no water on the ground, Green-Ampt soils that
    // have nothing to take in.
    temp_dir dir;
    project_file p = basin_project(dir, 10, 0);
    const grid_spec g = basin_grid();
    const struct {
        const char* card;
        const char* file;
        double value;
    } soils[] = {{"CONDUCTIVITY", "ks.asc", 1.0}, {"CAPILLARY", "hc.asc", 10.0},
                 {"POROSITY", "por.asc", 0.45}, {"MOISTURE", "moist.asc", 0.2}};
    for (const auto& m : soils) {
        write_grid(dir.file(m.file), g, [&](int, int) { return m.value; }, 3);
        p.card(m.card, m.file);
    }
    p.card("GREEN_AMPT");
    const run_result r = run_project(dir, p);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::string s = read_file(dir.file("summ.out"));

    // Every number in the summary is finite: no token reads as nan or inf.
    std::istringstream words(s);
    std::string word;
    while (words >> word) {
        char* end = nullptr;
        const double v = std::strtod(word.c_str(), &end);
        if (end != word.c_str() && *end == '\0') {
            EXPECT_TRUE(std::isfinite(v)) << word;
        }
    }
    for (const char* bad : {"nan", "NaN", "NAN"}) EXPECT_FALSE(has(s, bad)) << bad;

    // Every volume and balance line of the event and of the run is 0.
    int budget_lines = 0;
    for (const std::string& line : split_lines(s)) {
        const bool event_line = line.rfind("volume ", 0) == 0 || line.rfind("initial ", 0) == 0 ||
                                line.rfind("final volume", 0) == 0 ||
                                line.rfind("Mass input", 0) == 0 || line.rfind("Mass output", 0) == 0 ||
                                line.rfind("mass cleanup", 0) == 0;
        const bool run_line = line.rfind("Initial volume", 0) == 0 ||
                              line.rfind("Final volume", 0) == 0 || line.rfind("Total ", 0) == 0 ||
                              line.rfind("Mass balance error", 0) == 0 ||
                              line.rfind("Overall mass balance error", 0) == 0;
        if (!event_line && !run_line) continue;
        const size_t mark = line.find_first_of(":=");
        ASSERT_NE(mark, std::string::npos) << line;
        double v = 1.0;
        ASSERT_EQ(std::sscanf(line.c_str() + mark + 1, "%lf", &v), 1) << line;
        EXPECT_EQ(v, 0.0) << line;
        ++budget_lines;
    }
    EXPECT_GE(budget_lines, 30) << s;

    // An event without inputs reports an error of -1 as -100 percent.
    EXPECT_TRUE(has(s, "mass conservation error:                         -100.000000 percent\n"
                       "Note: positive mass conservation error indicates mass was created.\n"))
        << s;
    EXPECT_TRUE(has(s, "Note: no rainfall was input.\n"));
    EXPECT_TRUE(has(s, format("Event peak discharge (cubic meters per second):  %12.4lf\n\n", 0.0)));
    EXPECT_FALSE(has(s, "peak occured"));
    EXPECT_TRUE(has(s, "Green & Ampt infiltration.\n"));
    for (const auto& row : read_hydrograph(dir.file("outlet6.hyd"))) EXPECT_EQ(row.second, 0.0);
}

TEST(OutputProgram, InitialSurfaceWaterEntersBothBalances) {
    // 1 cm of water on every cell at the start and no rain: the water left
    // on the surface and the water discharged add up to what was there.
    temp_dir dir;
    project_file p = basin_project(dir, 10, 0);
    write_grid(dir.file("depth0.asc"), basin_grid(), [](int, int) { return 0.01; }, 3);
    p.card("READ_OV_HOTSTART", "depth0.asc");
    const run_result r = run_project(dir, p);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::string s = read_file(dir.file("summ.out"));
    const double initial = 0.01 * active_cells() * kCell * kCell;   // m3
    EXPECT_TRUE(has(s, format("initial volume of overland flow:      %16.1lf\n", initial))) << s;
    EXPECT_TRUE(has(s, format("Initial volume on surface=                      %14.2lf \n", initial)));
    double discharge = -1, remaining = -1, final_surface = -1, total_discharge = -1, mass_in = 0;
    double overall = 1, error = 1;
    ASSERT_TRUE(value_after(s, "volume of discharge:", discharge));
    ASSERT_TRUE(value_after(s, "volume remaining on surface:", remaining));
    ASSERT_TRUE(value_after(s, "Mass input + original mass:", mass_in));
    ASSERT_TRUE(value_after(s, "mass conservation error:", error));
    ASSERT_TRUE(value_after(s, "Final volume on surface=", final_surface));
    ASSERT_TRUE(value_after(s, "Total amount of discharge=", total_discharge));
    ASSERT_TRUE(value_after(s, "Overall mass balance error =", overall));
    EXPECT_GT(discharge, 0.0);
    EXPECT_NEAR(discharge + remaining, initial, 0.11);
    EXPECT_NEAR(mass_in, initial, 1e-6 * initial);
    EXPECT_LT(std::fabs(error), 0.01);
    EXPECT_FALSE(has(s, "Note: no rainfall was input."));
    EXPECT_NEAR(final_surface + total_discharge, initial, 0.011);
    EXPECT_LT(std::fabs(overall), 1e-3);
}
