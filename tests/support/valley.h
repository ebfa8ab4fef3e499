// Pieces of the end-to-end valley fixtures: a straight channel down the
// middle column of a grid, fed by the cells above its nodes, and the summary
// text without its timing lines.
#pragma once
#include <string>

#include "fixture.h"

namespace pluvo_test {

// `v` printed with `decimals` digits after the point.
std::string fixed(double v, int decimals = 6);

// Writes valley.chn and valley.gst in `dir`: one trapezoid link (bottom
// 2 m, side slope 1, bankfull 1 m, Manning n 0.035) under column
// `stream_col` of a grid of `rows` rows of `cell` m, with a node under each
// cell. The data points lie at the cell edges, falling `slope` (m/m) to the
// south, so node k (the mean of points k and k+1) lies 1 m below a ground at
// 100 + slope x cell x (rows - k) m.
void write_valley_channel(const std::string& dir, int rows, int stream_col, double cell,
                          double slope);

// Writes soil.idx (one soil on every cell of `g`) and table.cmt in `dir`:
// sediment classes 0.01 and 0.1 mm (wash load under a sand size of 0.5 mm)
// and 1 mm (sand), and the soil's erosion properties, ending in
// `class_fractions`, the three classes' fractions of the soil (summing to 1).
void write_three_class_sediment_table(const std::string& dir, const grid_spec& g,
                                      const std::string& class_fractions);

// Grid, time and rain of a valley run.
struct valley_cards {
    int rows = 1;
    int cols = 1;
    double cell = 10.0;        // cell size, m
    int stream_col = 1;        // column of the channel and of the outlet (from 1)
    double slope = 0.005;      // slope along the channel and at the outlet, m/m
    int total_minutes = 60;    // simulated time, min
    double timestep = 5.0;     // model time step, s
    double rain_mm_h = 50.0;   // uniform rain intensity, mm/h
    int rain_minutes = 60;     // rain duration, min
};

// The cards every valley project shares: mask.asc and elev.asc, the outlet
// at the foot of the channel, a hydrograph every minute into valley.otl, the
// summary in valley.sum, uniform rain, Manning n 0.05, explicit overland and
// channel routing with valley.chn and valley.gst. The caller adds its own
// cards and writes the project.
project_file valley_project(const valley_cards& v);

// A long-term valley: grid, simulated days and the texts of its input files.
struct long_term_valley_case {
    int rows = 1;
    int half_width = 1;        // columns on each side of the channel column
    double cell = 100.0;       // cell size, m
    int days = 1;              // simulated time, days
    std::string soil_table;    // soils.txt: the Richards soil layers
    std::string hmet;          // hmet.kev: hourly weather records
    std::string rain;          // rain.gag: the rain events
};

// Writes in `dir` a valley falling 0.005 m/m along the channel and 0.01 m/m
// towards it, one soil, the evapotranspiration maps (albedo 0.2, vegetation
// height 0.12 m, transmission coefficient 0.5, canopy resistance 70 s/m,
// wilting point 0.08) and the files of `v`, and returns its project: the
// valley cards with hourly hydrographs, rain from rain.gag, Penman
// evapotranspiration from hmet.kev and Richards infiltration over the soil
// layers of soils.txt. The caller may add cards and writes it.
project_file long_term_valley_project(const std::string& dir, const long_term_valley_case& v);

// Puts Green-Ampt redistribution soils in place of the Richards columns of a
// long-term valley of `rows` x `cols` cells of `cell` m written in `dir`:
// uniform maps of saturated conductivity `conductivity` (cm/h), capillary
// head 10 cm, porosity 0.45, moisture 0.2, pore index 0.4 and residual
// saturation 0.05, and the card INF_REDIST.
void use_redistribution_soils(project_file& p, const std::string& dir, int rows, int cols, double cell,
                              double conductivity = 0.5);

// The summary without lines that report run time.
std::string without_timing(const std::string& text);

}  // namespace pluvo_test
