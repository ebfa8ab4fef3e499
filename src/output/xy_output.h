// XY boundary outputs of an outer model: overland depths at listed points or
// at the boundary cells of an inset model's mask, written in the form the
// inset model reads back as its boundary input.
#pragma once
#include <memory>
#include <string>
#include <vector>

struct file_object;

// The grid of this run as the candidate-cell search sees it.
struct xy_grid {
    double north = 0.0;       // northern edge, m
    double west = 0.0;        // western edge, m
    double size = 0.0;        // cell size, m
    int rows = 0;             // grid rows
    int cols = 0;             // grid columns
    int** mask = nullptr;     // cell number per [row][col] (1-based, 0 outside), border included
};

// One output point with its candidate cells.
struct xy_out_point {
    double x = 0.0;             // easting, m
    double y = 0.0;             // northing, m
    int id = 0;                 // identifier written in the header
    int count = 0;              // candidate cells used (1..4)
    int cell[4] = {0, 0, 0, 0};            // candidate cell numbers
    double weight[4] = {0.0, 0.0, 0.0, 0.0};   // inverse-distance-squared weights, 1/m2
    double weight_sum = 0.0;    // sum of the weights used, 1/m2
};

// A stream crossing of the inset mask boundary.
struct xy_crossing {
    double x = 0.0;   // easting of the crossing (midpoint of the crossing reach segment), m
    double y = 0.0;   // northing, m
    int link = 0;     // channel link
    int node = 0;     // channel node whose discharge is written
};

// A side of an inset mask boundary cell, from (x1, y1) to (x2, y2), m.
struct xy_edge {
    double x1 = 0.0, y1 = 0.0, x2 = 0.0, y2 = 0.0;
};

// The inset model's mask read from the xybdyoutput_mask file.
struct xy_inset_mask {
    double north = 0.0, south = 0.0, east = 0.0, west = 0.0;   // edges, m
    int rows = 0, cols = 0;                                    // grid shape
    double size = 0.0;                                         // cell size, m
    std::vector<int> value;                                    // rows x cols, row 1 first, 0 outside
    int at(int row, int col) const {                            // 0 outside the grid
        if (row < 1 || row > rows || col < 1 || col > cols) return 0;
        return value[static_cast<size_t>((row - 1) * cols + (col - 1))];
    }
};

// Boundary outputs named by the xybdyoutput_* cards.
struct xy_output {
    std::vector<xy_out_point> points;          // output points in file or mask order
    xy_inset_mask inset;                       // the inset mask (mask kind only)
    std::vector<xy_crossing> crossings;        // stream crossings of the inset mask boundary
    std::shared_ptr<file_object> ov_file;      // overland depth file, null when off
    std::shared_ptr<file_object> gw_file;      // groundwater head file, null when off
    std::shared_ptr<file_object> st_file;      // stream flow file, null when off
    int point_count = 0;                       // size of points
};

// Candidate cells of a point (x, y in m) on `grid`, with their weights:
// inside an active cell the active cells of the 2 x 2 block on the point's
// side (1/d^2, d below 1e-4 m taken as 1e-4 m); elsewhere the active cell
// of the nearest centre (weight 1). False when the grid has no active cell.
bool xy_nearest_cell(const xy_grid& grid, double x, double y, xy_out_point& p);

// Reads the point list (count, then "x y id" lines). Failures print a
// message naming the file (and line) and set code 4000; false then.
bool read_xy_output_points(xy_output& out, const char* path);
// Reads the inset mask (six header lines and the grid) and makes a point at
// the centre of every boundary cell, numbered by the running number of the
// nonzero cells. Refuses a cell size from north, south and rows that differs
// from that of east, west and columns. False (code 4000) on failure.
bool read_xy_output_mask(xy_output& out, const char* path);

// Sides of the inset mask's boundary cells that face a cell outside it, in
// the order top, right, bottom, left of each boundary cell.
std::vector<xy_edge> xy_mask_edges(const xy_inset_mask& mask);
// Crossings of the channel reaches of the channel input file (LINK, NODE,
// X_Y lines) with the edges; a link crossing more than once keeps the
// crossing of the higher node. False (code 4000) when the file cannot be read.
bool find_xy_stream_crossings(xy_output& out, const char* channel_file);

// Header of the overland depth ("XY_OV_DEPTH") or groundwater head
// ("XY_GW_HEAD") file, and one row of either (values per point: m; the
// weighted mean of `values` over each point's cells, per cell from 1).
void write_xy_ov_header(const xy_output& out, file_object& f, const char* word = "XY_OV_DEPTH");
void write_xy_ov_values(const xy_output& out, file_object& f, int year, int month, int day,
                        int hour, int minute, const double* values);
// Header and one row of the stream flow file (discharges per node, m3/s).
void write_xy_st_header(const xy_output& out, file_object& f);
// Writes "END_TS" to every open file and closes it.
void close_xy_output(xy_output& out);
