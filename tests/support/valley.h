// Pieces of the end-to-end valley fixtures: a straight channel down the
// middle column of a grid, fed by the cells above its nodes, and the summary
// text without its timing lines.
#pragma once
#include <string>

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

// The summary without lines that report run time.
std::string without_timing(const std::string& text);

}  // namespace pluvo_test
