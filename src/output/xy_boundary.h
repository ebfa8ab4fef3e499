// XY boundary inputs of an inset model (values of an outer model at XY
// points) and the XY boundary outputs; both records are held in the card
// record of the project file and are filled while the project file is read.
#pragma once
#include <string>
#include <vector>
#include "output/xy_output.h"

struct time_series;

// One overland or groundwater boundary point of the inset grid.
struct xy_point {
    int cell = 0;                    // inset cell number (from 1); 0 when given by coordinates
    double x = 0.0;                  // easting, m (points given by coordinates)
    double y = 0.0;                  // northing, m (points given by coordinates)
    time_series* series = nullptr;   // outer values: depth (m) or head (m) over Julian days
    int line = 0;                    // line of the file that named the point (for messages)
};

// One stream boundary point: outer discharge added at a channel node.
struct xy_stream_point {
    int link = 0;                    // channel link (once placed)
    int node = 0;                    // channel node of the link (once placed)
    double x = 0.0;                  // easting, m
    double y = 0.0;                  // northing, m
    time_series* series = nullptr;   // outer discharge, m3/s over Julian days
    int placed = 0;                  // 1 when the link and node are known
    int line = 0;                    // line of the file that gave the point (for messages)
    std::string file;                // file that gave the point (for messages)
};

// A groundwater cell whose head is interpolated from up to five points.
struct xy_interp_cell {
    int cell = 0;                          // cell number
    std::vector<time_series*> series;      // head series of the chosen points, m
    std::vector<double> weights;           // their inverse-distance-squared weights, 1/m2
};

// Boundary inputs read by the xybdyinput_* cards (points and their series).
struct xy_input {
    std::vector<xy_point> ovpts;         // overland depth points, given by cell
    std::vector<xy_point> gwpts;         // groundwater head points, given by cell
    std::vector<xy_point> gwInterpPts;   // groundwater interpolation points, given by x and y
    std::vector<xy_interp_cell> gw_interp_cells;   // cells of code 8, in cell order
    std::vector<xy_stream_point> stpts;  // stream points, XY_STREAM_HYDROGRAPHS ones first
    int stream_hydrograph_points = 0;    // how many of stpts came from XY_STREAM_HYDROGRAPHS files
    std::string ov_file;                 // file of the overland points (for messages)
    std::string gw_file;                 // file of the groundwater points (for messages)
    int overland_points = 0;             // size of ovpts
    int groundwater_points = 0;          // size of gwpts
    int stream_points = 0;               // points of the stream flow boundary
};

// True when groundwater heads are held: points given by cell or
// interpolation points.
inline bool xy_gw_points_given(const xy_input& in) {
    return in.groundwater_points > 0 || !in.gwInterpPts.empty();
}

// Point layouts of a boundary file.
constexpr int kXyByCoordinates = 0;   // each point given by x and y, m
constexpr int kXyByIdentifier = 1;    // each point given by an inset cell number

// Reads an XY boundary input file of the given kind ("overland" or
// "groundwater") whose first line must begin with `header` ("XY_OV_DEPTH",
// "XY_GW_HEAD" or "XY_GW_HEAD_INTERP"): the count n, the n cell numbers (or
// an x line and a y line, m), then rows of date and n values to "END_TS".
// The points are appended to the overland, groundwater or interpolation list
// with their series. Every failure (file not opened, wrong header, no
// points, a short or non-numeric point line, a bad row) prints a message
// naming the file (and line) and sets code 4000.
void read_xy_boundary(xy_input& in, const char* file_name, const char* kind,
                      const char* header, int layout);
// Reads an XY_STREAM_HYDROGRAPHS file (count, x line, y line, rows of
// discharges in m3/s to "END_TS"): unplaced stream points with their series.
// Failures print a message naming the file (and line) and set code 4000.
void read_stream_xy_boundary(xy_input& in, const char* file_name);
// Reads a PLUVO_XY_ST_BDY_TS file: blocks of "PLUVO_TS", "XY x y",
// optional "LINKNODE link node", "TIMESERIES name" (a series already loaded)
// and "END_TS"; the points are appended. Failures as above.
void read_stream_xy_series(xy_input& in, const char* file_name);
// Keyword code of a line of that file by its first word, without regard to
// case: 1 PLUVO_XY_ST_BDY_TS, 2 PLUVO_TS, 3 XY, 4 LINKNODE, 5 END_TS,
// 6 TIMESERIES, 0 other.
int stream_xy_series_keyword(const char* line);

// Refuses, naming the file and line, an overland or groundwater point whose
// cell is not a cell of the grid (1..cell_count); sets code 4000 and gives false.
bool check_xy_cells(const xy_input& in, int cell_count);

// Holds every overland point's cell at the outer depth of time t (Julian
// days): a negative series value counts as 0. `depth` is per cell (m, from
// 1), dx the cell size (m). The water that entered to reach the outer depth
// is added to `gain`, the water removed to `loss` (m3). Serial, in file order.
void apply_xy_ov_boundary(const xy_input& in, double* depth, double dx, double t, double& gain,
                          double& loss);

// Groundwater set-up: every cell of boundary code 8 (per cell from 1 in
// `codes`, n cells) becomes a fixed-head cell (code 2) whose head is
// interpolated from the interpolation points (cell centres x, y in m, per
// cell from 1). False, with a message and code 4000, when such cells exist
// but no interpolation points were read.
bool setup_xy_gw_interpolation(xy_input& in, std::vector<int>& codes, int n,
                               const std::vector<double>& x, const std::vector<double>& y);

// Sets the head of every groundwater point's cell, then of every
// interpolated cell, to its value at time t (Julian days); `head` (m) and
// `storage` (m3/m3) per cell from 1, dx the cell size (m). The water a
// rise stores is added to `gain`, the water a fall releases to `loss`
// (head change x dx^2 x storage, m3). With `codes` (boundary code per
// cell), cells of code 2 (fixed head) are set but not booked: their water
// lies outside the aquifer's books, and what they exchange with their
// neighbours is booked as boundary flux by the solver.
void apply_xy_gw_boundary(const xy_input& in, double* head, const double* storage, double dx,
                          double t, double& gain, double& loss, const int* codes = nullptr);

// sum(w_i x value_i(t)) / sum(w_i) over `count` series at Julian time t.
double weighted_series_value(time_series* const* series, const double* weights, int count,
                             double t);

// Inverse-distance-squared weights of up to five interpolation points for a
// cell centre (x, y in m): d = 0 when both offsets are below 1e-5 m, d below
// 1e-4 m counts as 1e-4 m, weight 1/d^2 (1/m2). With more than five points
// the five nearest are kept, ties in file order. `chosen` receives the point
// indices (0-based), `weights` their weights.
void xy_interpolation_weights(const std::vector<xy_point>& points, double x, double y,
                              std::vector<int>& chosen, std::vector<double>& weights);
