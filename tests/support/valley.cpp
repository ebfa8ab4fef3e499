#include "valley.h"

#include <algorithm>
#include <cctype>
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

}  // namespace pluvo_test
