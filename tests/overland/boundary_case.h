// Generated projects for the end-to-end tests of the overland boundaries,
// pumps and low spots: a grid of any mask and ground, an OVERLAND_BOUNDARY
// section of (type, parameter) rows bound to the cells by an index map, and
// the numbers the run summary prints.
#pragma once
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "fixture.h"
#include "pluvo_test.h"

namespace boundary_test {

using namespace pluvo_test;

// A mapping-table ID row: ID in characters 1..6, text up to 86, then values.
inline std::string id_row(int id, const std::string& values, const std::string& text = "row") {
    char head[16];
    std::snprintf(head, sizeof head, "%-6d", id);
    std::string line = head + text;
    line.resize(86, ' ');
    return line + values + "\n";
}

struct boundary_case {
    grid_spec grid;
    std::function<bool(int, int)> in_mask = [](int, int) { return true; };
    std::function<double(int, int)> ground = [](int, int) { return 100.0; };   // m
    std::function<int(int, int)> boundary_id = [](int, int) { return 0; };     // row of `rows`, 0 none
    std::vector<std::pair<double, double>> rows;   // (type, parameter) of the IDs 1, 2, ...
    std::string extra_table;                       // text appended to the mapping table
    int outrow = 1, outcol = 1;
    double outslope = 0.01;
    double manning = 0.05;
    double rain_mm_h = 1e-3;   // mm/h (a run needs some rain; this much adds some 1e-4 m3)
    int rain_minutes = 1;
    int total_minutes = 60;
    double timestep = 10.0;   // s
    int overtype = 1;         // overland scheme: 1 explicit, 2 ADE, 3 ADE-PC
};

// Writes mask.asc, elev.asc, bnd.idx, table.cmt and case.prj into `dir`.
inline project_file write_boundary_case(const temp_dir& dir, const boundary_case& c) {
    write_grid(dir.file("mask.asc"), c.grid, [&](int r, int col) { return c.in_mask(r, col) ? 1.0 : 0.0; }, 0);
    write_grid(dir.file("elev.asc"), c.grid, c.ground, 9);
    write_grid(dir.file("bnd.idx"), c.grid,
               [&](int r, int col) { return static_cast<double>(c.boundary_id(r, col)); }, 0);
    project_file p;
    p.card("WATERSHED_MASK", "mask.asc")
        .card("ELEVATION", "elev.asc")
        .card("SUMMARY", "summ.out")
        .card("OUTLET_HYDRO", "outlet.hyd")
        .card("GRIDSIZE", c.grid.cell)
        .card("ROWS", std::to_string(c.grid.rows))
        .card("COLS", std::to_string(c.grid.cols))
        .card("TOT_TIME", std::to_string(c.total_minutes))
        .card("TIMESTEP", c.timestep)
        .card("OUTROW", std::to_string(c.outrow))
        .card("OUTCOL", std::to_string(c.outcol))
        .card("OUTSLOPE", c.outslope)
        .card("HYD_FREQ", "1")
        .card("MAP_FREQ", std::to_string(c.total_minutes))
        .card("MANNING_N", c.manning)
        .card("OVERTYPE", std::to_string(c.overtype))
        .card("PRECIP_UNIF")
        .card("RAIN_INTENSITY", c.rain_mm_h)
        .card("RAIN_DURATION", std::to_string(c.rain_minutes))
        .card("START_DATE", "2000 6 1")
        .card("START_TIME", "0 0")
        .card("SUPER_QUIET");
    if (!c.rows.empty()) {
        std::string t = "PLUVO_INDEX_MAP_TABLES\nINDEX_MAP bnd.idx \"Boundaries\"\n\n"
                        "OVERLAND_BOUNDARY \"Boundaries\"\nNUM_IDS " +
                        std::to_string(c.rows.size()) + "\nID    DESCRIPTION      TYPE PARAM\n";
        for (size_t i = 0; i < c.rows.size(); ++i) {
            char values[96];
            std::snprintf(values, sizeof values, "%.12g %.12g", c.rows[i].first, c.rows[i].second);
            t += id_row(static_cast<int>(i) + 1, values);
        }
        write_file(dir.file("table.cmt"), t + c.extra_table);
        p.card("MAPPING_TABLE", "table.cmt").card("OV_BOUNDARY");
    }
    p.write(dir.file("case.prj"));
    return p;
}

// The number after the last occurrence of `label` (NaN when absent).
inline double number_after(const std::string& text, const std::string& label) {
    const size_t pos = text.rfind(label);
    if (pos == std::string::npos) return std::nan("");
    return std::strtod(text.c_str() + pos + label.size(), nullptr);
}

// Values of an ASCII grid written by the program (header of six lines, then
// the rows top first), row by row; inactive cells hold -9999.99.
inline std::vector<double> grid_values(const std::string& text) {
    std::vector<double> out;
    const std::vector<std::string> lines = split_lines(text);
    for (size_t i = 6; i < lines.size(); ++i) {
        const char* p = lines[i].c_str();
        char* end = nullptr;
        for (double v = std::strtod(p, &end); end != p; v = std::strtod(p, &end)) {
            out.push_back(v);
            p = end;
        }
    }
    return out;
}

// Checks of the event's water balance in the summary: inputs and outputs
// agree to 1e-9 relative (both are printed with six decimals in m3).
inline void expect_balance_closes(const std::string& summary) {
    const double in = number_after(summary, "Mass input + original mass:");
    const double out = number_after(summary, "Mass output + final mass:");
    ASSERT_FALSE(std::isnan(in)) << summary;
    EXPECT_GT(in, 0.0) << summary;
    EXPECT_NEAR(out, in, 1e-9 * in + 2e-6) << summary;
}

}  // namespace boundary_test
