// Records of the precipitation input: the radar grid that rain rates are read
// from, and the capacities of the precipitation event block.
#pragma once
#include <vector>

// Capacities of one precipitation event (refused with a message when exceeded).
constexpr int kMaxPrecipLines = 99999;      // dated data lines of one event (lines 1..99999)
constexpr int kMaxRadarLines = 2000;        // data lines of one radar-file event
constexpr int kRadarNameSize = 151;         // radar file name, including the NUL
constexpr int kRadarNameSlots = kMaxRadarLines + 1;  // slot i-1 holds the file of line i
constexpr int kPrecipTitleSize = 255;       // event title, including the NUL
constexpr int kPrecipSearchTokens = 10000;  // tokens searched for a keyword before giving up

// Conversion between the file's intensity unit and the internal one.
constexpr double kMmPerHourPerMps = 3.6e6;  // 1 m/s = 3.6e6 mm/h

// A radar grid of rain rates (ASCII grid with the six-line header ncols,
// nrows, xllcorner, yllcorner, cellsize, NODATA_value) and the radar cell of
// every watershed cell.
struct radar_grid {
    int ncols = 0;                  // radar grid columns
    int nrows = 0;                  // radar grid rows
    double xllcorner = 0.0;         // west edge of the radar grid, m
    double yllcorner = 0.0;         // south edge of the radar grid, m
    double cellsize = 0.0;          // radar cell size, m
    double nodata = 0.0;            // NODATA value of the radar file (file units)
    double west = 0.0;              // radar west edge (= xllcorner), m
    double top = 0.0;               // radar north edge (= yllcorner + nrows x cellsize), m
    std::vector<int> pluvo_to_precip;   // per cell 1..GNUM: 0-based radar index row x ncols + col
    std::vector<double> precip_data;    // nrows x ncols rain rates, row 0 northernmost, m/s
};
