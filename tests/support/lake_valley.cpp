#include "lake_valley.h"

#include <cstdio>
#include <utility>
#include <vector>

#include "fixture.h"
#include "pluvo_test.h"
#include "valley.h"

namespace pluvo_test {

project_file write_lake_valley(const std::string& dir, const lake_valley& c) {
    grid_spec g;
    g.rows = c.rows;
    g.cols = c.cols();
    g.cell = c.cell;
    g.north = c.rows * c.cell;
    write_grid(dir + "/mask.asc", g, [](int, int) { return 1.0; }, 0);
    write_grid(dir + "/elev.asc", g, [&](int r, int col) { return c.ground(r, col); }, 6);

    // Link 1 is the lake: its pit cells first, then the cells beside them
    // (row-column pairs, ten to a line).
    const int mid = c.mid();
    std::vector<std::pair<int, int>> search;
    for (int r = 1; r <= c.lake_rows; ++r) search.push_back({r, mid});
    for (int r = c.lake_rows; r >= 1; --r) {
        search.push_back({r, mid - 1});
        search.push_back({r, mid + 1});
    }
    std::string pairs;
    for (size_t k = 0; k < search.size(); ++k) {
        pairs += std::to_string(search[k].first) + " " + std::to_string(search[k].second);
        pairs += (k % 10 == 9 || k + 1 == search.size()) ? "\n" : " ";
    }
    const int npts = static_cast<int>(search.size());
    // The channel runs down the middle column below the lake, a node under
    // each cell 1 m below its ground; it is link 2, or link 3 behind a weir
    // (link 2, crest 0.1 m above the lake floor, 2 m long).
    const int nodes = c.rows - c.lake_rows;
    const std::string channel = c.weir ? "3" : "2";
    std::string chan = "PLUVO_CHAN\nALPHA 1.0\nBETA 1.0\nTHETA 1.0\nLINKS " + channel +
                       "\nMAXNODES " + std::to_string(nodes + 1) + "\n";
    chan += c.weir ? "CONNECT 1 2 0\nCONNECT 2 3 1 1\nCONNECT 3 0 1 2\n"
                   : "CONNECT 1 2 0\nCONNECT 2 0 1 1\n";
    chan += "LINK 1\nDX " + fixed(c.cell) + "\nNODES 1\nLAKE\n";
    if (c.bed_thickness > 0.0) chan += "MLAKE " + fixed(c.bed_thickness) + "\n";
    chan += "MINWSE " + fixed(c.floor() - 1.0) +
            "\nINITWSE " + fixed(c.floor() + c.lake_depth) + "\nMAXWSE " +
            fixed(c.floor() + 3.0) + "\nNUMPTS " + std::to_string(npts) + "\n" + pairs;
    if (c.weir) {
        chan += "LINK 2\nDX " + fixed(c.cell) +
                "\nSTRUCTURE\nNUMSTRUCTS 1\nSTRUCTTYPE weir\nCREST_LENGTH 2.0\nCREST_LOW_ELEV " +
                fixed(c.floor() + c.weir_crest) + "\nDISCHARGE_COEFF_FORWARD 1.6\n";
    }
    chan += "LINK " + channel + "\nDX " + fixed(c.cell) + "\nNODES " + std::to_string(nodes + 1) +
            "\nTRAPEZOID\nMANNINGS_N 0.035\n";
    for (int p = 1; p <= nodes + 1; ++p) {
        const double row = c.lake_rows + p - 0.5;   // data points at the cell edges
        chan += "NODE " + std::to_string(p) + "\nELEV " +
                fixed(99.0 + c.valley_slope * c.cell * (c.rows - row)) + "\n";
        if (p == 1) chan += "XSEC\nBOTTOM_WIDTH 2.0\nSIDE_SLOPE 1.0\nBANKFULL_DEPTH 1.0\n";
    }
    write_file(dir + "/valley.chn", chan);
    std::string gst = "GRIDSTREAMFILE\nSTREAMCELLS " + std::to_string(nodes) + "\n";
    for (int k = 1; k <= nodes; ++k) gst += "NUMNODES 1\n";
    for (int k = 1; k <= nodes; ++k)
        gst += "CELLIJ " + std::to_string(c.lake_rows + k) + " " + std::to_string(mid) +
               "\nLINKNODE " + channel + " " + std::to_string(k) + " 1.0\n";
    write_file(dir + "/valley.gst", gst);

    project_file p;
    p.card("WATERSHED_MASK", "mask.asc")
        .card("ELEVATION", "elev.asc")
        .card("GRIDSIZE", c.cell)
        .card("ROWS", std::to_string(c.rows))
        .card("COLS", std::to_string(c.cols()))
        .card("TOT_TIME", std::to_string(c.total_minutes))
        .card("TIMESTEP", "5")
        .card("OUTROW", std::to_string(c.rows))
        .card("OUTCOL", std::to_string(mid))
        .card("OUTSLOPE", c.valley_slope)
        .card("HYD_FREQ", "1")
        .card("MAP_FREQ", std::to_string(c.total_minutes))
        .card("SUMMARY", "valley.sum")
        .card("OUTLET_HYDRO", "valley.otl")
        .card("START_DATE", "2020 6 1")
        .card("START_TIME", "0 0")
        .card("PRECIP_UNIF")
        .card("RAIN_INTENSITY", c.rain_mm_h)
        .card("RAIN_DURATION", std::to_string(c.rain_minutes))
        .card("MANNING_N", "0.05")
        .card("OVERTYPE", std::to_string(c.overtype))
        .card("CHAN_EXPLIC")
        .card("CHANNEL_INPUT", "valley.chn")
        .card("STREAM_CELL", "valley.gst")
        .card("SUPER_QUIET");
    if (c.threads > 0) p.card("NUM_THREADS", std::to_string(c.threads));
    if (!(c.rain_mm_h > 0.0) && c.long_term_days == 0) {
        // No rain: a gage whose rates are 0 over the first hour.
        write_file(dir + "/rain.gag", "EVENT dry\nNRGAG 1\nNRPDS 2\nCOORD 50 100\n"
                                      "RATES 2020 6 1 0 0 0.0\nRATES 2020 6 1 1 0 0.0\n");
        p.remove("PRECIP_UNIF").remove("RAIN_INTENSITY").remove("RAIN_DURATION");
        p.remove("START_DATE").remove("START_TIME");
        p.card("PRECIP_FILE", "rain.gag");
    }
    if (c.long_term_days > 0) {
        std::string kev;
        char line[128];
        for (int h = 0; h < c.long_term_days * 24; ++h) {
            std::snprintf(line, sizeof line, "2020 6 %d %d 29.92 60 40 6 50 300 450\n", h / 24 + 1, h % 24);
            kev += line;
        }
        write_file(dir + "/hmet.kev", kev);
        write_file(dir + "/rain.gag", "EVENT event1\nNRGAG 1\nNRPDS 2\nCOORD 50 100\nRATES 2020 6 1 6 0 " +
                                          fixed(c.rain_mm_h) + "\nRATES 2020 6 1 7 0 0.0\n");
        p.remove("PRECIP_UNIF").remove("RAIN_INTENSITY").remove("RAIN_DURATION");
        p.remove("START_DATE").remove("START_TIME").remove("TOT_TIME").remove("MAP_FREQ");
        p.remove("TIMESTEP").remove("HYD_FREQ");
        p.card("TOT_TIME", std::to_string(c.long_term_days * 1440)).card("TIMESTEP", "30");
        p.card("HYD_FREQ", "60").card("MAP_FREQ", std::to_string(c.long_term_days * 1440));
        p.card("PRECIP_FILE", "rain.gag").card("LONG_TERM").card("HMET_KEV", "hmet.kev");
        p.card("LATITUDE", "40").card("LONGITUDE", "105").card("GMT", "-7").card("ET_CALC_DEARDORFF");
        // Albedo 0.2 and Green-Ampt soils with redistribution (conductivity 0.5
        // cm/h, capillary head 10 cm, porosity 0.45, moisture 0.2, pore index
        // 0.4, residual 0.05).
        const struct {
            const char* card;
            const char* file;
            double value;
        } soils[] = {{"ALBEDO", "alb.asc", 0.2},         {"CONDUCTIVITY", "ks.asc", 0.5},
                     {"CAPILLARY", "hc.asc", 10.0},     {"POROSITY", "por.asc", 0.45},
                     {"MOISTURE", "moist.asc", 0.2},    {"PORE_INDEX", "pi.asc", 0.4},
                     {"RESIDUAL_SAT", "rs.asc", 0.05}};
        for (const auto& m : soils) {
            write_grid(dir + "/" + m.file, g, [&](int, int) { return m.value; }, 3);
            p.card(m.card, m.file);
        }
        p.card("INF_REDIST");
    }
    p.write(dir + "/valley.prj");
    return p;
}

}  // namespace pluvo_test
