#include "valley.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

#include "pluvo_test.h"

namespace pluvo_test {

std::string fixed(double v, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

void write_valley_channel(const std::string& dir, int rows, int stream_col, double cell,
                          double slope) {
    std::string chan = "PLUVO_CHAN\nALPHA 1.0\nBETA 1.0\nTHETA 1.0\nLINKS 1\nMAXNODES " +
                       std::to_string(rows) + "\nCONNECT 1 0 0\nLINK 1\nDX " + fixed(cell) +
                       "\nNODES " + std::to_string(rows + 1) + "\nTRAPEZOID\nMANNINGS_N 0.035\n";
    for (int p = 1; p <= rows + 1; ++p) {
        chan += "NODE " + std::to_string(p) + "\nELEV " +
                fixed(99.0 + slope * cell * (rows + 0.5 - p)) + "\n";
        if (p == 1) chan += "XSEC\nBOTTOM_WIDTH 2.0\nSIDE_SLOPE 1.0\nBANKFULL_DEPTH 1.0\n";
    }
    write_file(dir + "/valley.chn", chan);
    std::string gst = "GRIDSTREAMFILE\nSTREAMCELLS " + std::to_string(rows) + "\n";
    for (int r = 1; r <= rows; ++r) gst += "NUMNODES 1\n";
    for (int r = 1; r <= rows; ++r)
        gst += "CELLIJ " + std::to_string(r) + " " + std::to_string(stream_col) +
               "\nLINKNODE 1 " + std::to_string(r) + " 1.0\n";
    write_file(dir + "/valley.gst", gst);
}

project_file valley_project(const valley_cards& v) {
    project_file p;
    p.card("WATERSHED_MASK", "mask.asc")
        .card("ELEVATION", "elev.asc")
        .card("GRIDSIZE", v.cell)
        .card("ROWS", std::to_string(v.rows))
        .card("COLS", std::to_string(v.cols))
        .card("TOT_TIME", std::to_string(v.total_minutes))
        .card("TIMESTEP", v.timestep)
        .card("OUTROW", std::to_string(v.rows))
        .card("OUTCOL", std::to_string(v.stream_col))
        .card("OUTSLOPE", v.slope)
        .card("HYD_FREQ", "1")
        .card("MAP_FREQ", std::to_string(v.total_minutes))
        .card("SUMMARY", "valley.sum")
        .card("OUTLET_HYDRO", "valley.otl")
        .card("START_DATE", "2020 6 1")
        .card("START_TIME", "0 0")
        .card("PRECIP_UNIF")
        .card("RAIN_INTENSITY", v.rain_mm_h)
        .card("RAIN_DURATION", std::to_string(v.rain_minutes))
        .card("MANNING_N", "0.05")
        .card("OVERTYPE", "1")
        .card("CHAN_EXPLIC")
        .card("CHANNEL_INPUT", "valley.chn")
        .card("STREAM_CELL", "valley.gst");
    return p;
}

std::string without_timing(const std::string& text) {
    std::string kept;
    for (const std::string& line : split_lines(text)) {
        std::string lower = line;
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](unsigned char ch) { return std::tolower(ch); });
        if (lower.find("run time") != std::string::npos ||
            lower.find("time to init") != std::string::npos ||
            lower.find("time (s)") != std::string::npos || lower.find("wall") != std::string::npos)
            continue;
        kept += line + "\n";
    }
    return kept;
}

void write_three_class_sediment_table(const std::string& dir, const grid_spec& g,
                                      const std::string& class_fractions) {
    write_grid(dir + "/soil.idx", g, [](int, int) { return 1.0; }, 0);
    std::string d(40, ' ');
    d.replace(0, 5, "class");
    std::string row = "1     row";
    row.resize(86, ' ');
    write_file(dir + "/table.cmt",
               "PLUVO_INDEX_MAP_TABLES\nINDEX_MAP soil.idx Soil\nSEDIMENTS\nNUM_SED 3\n"
               "Description SG D(mm) fbind file\n" +
                   d + "2.65 0.01 0.0 silt.out\n" + d + "2.65 0.1 0.0 fine.out\n" + d +
                   "2.65 1.0 0.0 sand.out\nSOIL_EROSION_PROPS Soil\nNUM_IDS 1\nNUM_SED 3\n"
                   "ID title\n" + row + "100 1 0.002 0 1 " + class_fractions + "\n");
}

project_file long_term_valley_project(const std::string& dir, const long_term_valley_case& v) {
    grid_spec g;
    g.rows = v.rows;
    g.cols = 2 * v.half_width + 1;
    g.cell = v.cell;
    g.north = v.rows * v.cell;
    const int mid = v.half_width + 1;
    const double slope = 0.005;
    write_grid(dir + "/mask.asc", g, [](int, int) { return 1.0; }, 0);
    write_grid(dir + "/elev.asc", g, [&](int r, int c) {
        return 100.0 + slope * v.cell * (v.rows - r) + 0.01 * v.cell * std::abs(c - mid);
    }, 6);
    write_grid(dir + "/soils.asc", g, [](int, int) { return 1.0; }, 0);
    const struct { const char* name; double value; } maps[] = {
        {"alb.asc", 0.2}, {"vh.asc", 0.12}, {"tc.asc", 0.5}, {"can.asc", 70.0}, {"wp.asc", 0.08}};
    for (const auto& m : maps)
        write_grid(dir + "/" + m.name, g, [&](int, int) { return m.value; }, 3);
    write_valley_channel(dir, v.rows, mid, v.cell, slope);
    write_file(dir + "/soils.txt", v.soil_table);
    write_file(dir + "/hmet.kev", v.hmet);
    write_file(dir + "/rain.gag", v.rain);
    project_file p = valley_project({v.rows, g.cols, v.cell, mid, slope, v.days * 1440, 30.0, 0.0, 0});
    p.remove("PRECIP_UNIF").remove("RAIN_INTENSITY").remove("RAIN_DURATION");
    p.remove("START_DATE").remove("START_TIME").remove("HYD_FREQ");
    p.card("HYD_FREQ", "60").card("PRECIP_FILE", "rain.gag").card("LONG_TERM");
    p.card("HMET_KEV", "hmet.kev").card("ET_CALC_PENMAN");
    p.card("LATITUDE", "40").card("LONGITUDE", "105").card("GMT", "-7");
    p.card("ALBEDO", "alb.asc").card("VHEIGHT", "vh.asc").card("TCOEFF", "tc.asc");
    p.card("CANOPY", "can.asc").card("WILTING_POINT", "wp.asc");
    p.card("INF_RICHARDS").card("RICHARDS_C_OPTION", "havercamp");
    p.card("SOIL_TYPE_MAP", "soils.asc").card("SOIL_LAYER_INPUT_FILE", "soils.txt");
    p.card("SUPER_QUIET");
    return p;
}

void use_redistribution_soils(project_file& p, const std::string& dir, int rows, int cols, double cell,
                              double conductivity) {
    p.remove("INF_RICHARDS").remove("RICHARDS_C_OPTION").remove("SOIL_TYPE_MAP").remove("SOIL_LAYER_INPUT_FILE");
    grid_spec g;
    g.rows = rows;
    g.cols = cols;
    g.cell = cell;
    g.north = rows * cell;
    const struct {
        const char* card;
        const char* file;
        double value;
    } soils[] = {{"CONDUCTIVITY", "ks.asc", conductivity}, {"CAPILLARY", "hc.asc", 10.0},
                 {"POROSITY", "por.asc", 0.45}, {"MOISTURE", "moist.asc", 0.2},
                 {"PORE_INDEX", "pi.asc", 0.4}, {"RESIDUAL_SAT", "rs.asc", 0.05}};
    for (const auto& m : soils) {
        write_grid(dir + "/" + m.file, g, [&](int, int) { return m.value; }, 3);
        p.card(m.card, m.file);
    }
    p.card("INF_REDIST");
}

}  // namespace pluvo_test
