#include "v_catchment.h"

#include <cmath>

#include "pluvo_test.h"
#include "valley.h"

namespace pluvo_test {

project_file write_v_catchment(const std::string& dir, const v_catchment_case& v) {
    constexpr double kCross = 0.05, kValley = 0.02;   // m/m
    grid_spec g;
    g.rows = v.rows;
    g.cols = v_catchment_cols(v);
    g.cell = v.cell;
    g.north = v.rows * v.cell;
    const int mid = v_catchment_channel_col(v);
    write_grid(dir + "/mask.asc", g, [](int, int) { return 1.0; }, 0);
    write_grid(dir + "/elev.asc", g, [&](int r, int c) {
        return 100.0 + kValley * v.cell * (v.rows - r) + kCross * v.cell * std::abs(c - mid);
    });
    std::string chan = "PLUVO_CHAN\nALPHA 1.0\nBETA 1.0\nTHETA 1.0\nLINKS 1\nMAXNODES " +
                       std::to_string(v.rows) + "\nCONNECT 1 0 0\nLINK 1\nDX " + fixed(v.cell) +
                       "\nNODES " + std::to_string(v.rows + 1) + "\nTRAPEZOID\nMANNINGS_N 0.15\n";
    for (int p = 1; p <= v.rows + 1; ++p) {
        chan += "NODE " + std::to_string(p) + "\nELEV " +
                fixed(99.0 + kValley * v.cell * (v.rows + 0.5 - p)) + "\n";
        if (p == 1) chan += "XSEC\nBOTTOM_WIDTH 10.0\nSIDE_SLOPE 1.0\nBANKFULL_DEPTH 1.0\n";
    }
    write_file(dir + "/vee.chn", chan);
    std::string gst = "GRIDSTREAMFILE\nSTREAMCELLS " + std::to_string(v.rows) + "\n";
    for (int r = 1; r <= v.rows; ++r) gst += "NUMNODES 1\n";
    for (int r = 1; r <= v.rows; ++r)
        gst += "CELLIJ " + std::to_string(r) + " " + std::to_string(mid) + "\nLINKNODE 1 " +
               std::to_string(r) + " 1.0\n";
    write_file(dir + "/vee.gst", gst);
    project_file p;
    p.card("WATERSHED_MASK", "mask.asc")
        .card("ELEVATION", "elev.asc")
        .card("GRIDSIZE", v.cell)
        .card("ROWS", std::to_string(v.rows))
        .card("COLS", std::to_string(g.cols))
        .card("TOT_TIME", std::to_string(v.total_minutes))
        .card("TIMESTEP", v.timestep)
        .card("OUTROW", std::to_string(v.rows))
        .card("OUTCOL", std::to_string(mid))
        .card("OUTSLOPE", kValley)
        .card("HYD_FREQ", "1")
        .card("MAP_FREQ", std::to_string(v.total_minutes))
        .card("START_DATE", "2020 6 1")
        .card("START_TIME", "0 0")
        .card("PRECIP_UNIF")
        .card("RAIN_INTENSITY", v.rain_mm_h)
        .card("RAIN_DURATION", std::to_string(v.rain_minutes))
        .card("MANNING_N", "0.015")
        .card("OVERTYPE", "1")
        .card("CHAN_EXPLIC")
        .card("CHANNEL_INPUT", "vee.chn")
        .card("STREAM_CELL", "vee.gst")
        .card("SUMMARY", "vee.sum")
        .card("OUTLET_HYDRO", "vee.otl")
        .card("SUPER_QUIET");
    return p;
}

}  // namespace pluvo_test
