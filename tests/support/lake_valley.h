// The lake valley of the channel-lake tests: a valley whose top rows hold a
// pit lake of the channel network in the middle column, above a trapezoid
// channel down the same column; optionally behind a weir link, optionally a
// long-term run with hourly records and redistribution soils.
#pragma once
#include <cmath>
#include <string>

#include "fixture.h"

namespace pluvo_test {

struct lake_valley {
    int rows = 20;
    int half_width = 5;
    int lake_rows = 4;            // rows 1..lake_rows of the middle column hold the lake
    double cell = 10.0;           // m
    double side_slope = 0.01;     // slope of the planes towards the middle column, m/m
    double valley_slope = 0.005;  // slope along the valley, m/m
    double pit = 0.3;             // lake floor below the ground of the last lake row, m
    double lake_depth = 0.2;      // initial lake depth over its floor, m
    double rain_mm_h = 50.0;      // 0: no rain (a gage of zero rates)
    int rain_minutes = 30;
    int total_minutes = 60;
    int overtype = 1;
    bool weir = false;            // the lake drains through a weir link into the channel
    double weir_crest = 0.1;      // crest of that weir above the lake floor, m
    double bed_thickness = 0.0;   // above 0: the lake seeps through a bed this thick (MLAKE), m
    int threads = 0;              // NUM_THREADS card when above 0
    int long_term_days = 0;       // above 0: a long-term run of that many days of hourly
                                  // records (wind 6 knots, RH 60 %, 50 deg F) and one
                                  // event of `rain_mm_h` for an hour on the first day
    int cols() const { return 2 * half_width + 1; }
    int mid() const { return half_width + 1; }
    // Ground of the planes, m.
    double plane(int r, int col) const {
        return 100.0 + valley_slope * cell * (rows - r) + side_slope * cell * std::abs(col - mid());
    }
    double floor() const { return plane(lake_rows, mid()) - pit; }   // m
    double ground(int r, int col) const {
        return (r <= lake_rows && col == mid()) ? floor() : plane(r, col);
    }
    // Water of the lake at set-up over its search cells (the pit and the
    // cells beside it), each taken when the level stands 1 mm above it, m3.
    double initial_lake_volume() const {
        const double level = floor() + lake_depth;
        double v = 0.0;
        for (int r = 1; r <= lake_rows; ++r) {
            for (const int col : {mid() - 1, mid(), mid() + 1}) {
                const double g = ground(r, col);
                if (level > g + 0.001) v += (level - g) * cell * cell;
            }
        }
        return v;
    }
    double rain_volume() const {   // m3
        return rain_mm_h / 1000.0 / 60.0 * rain_minutes * rows * cols() * cell * cell;
    }
};

// Writes the valley's grids, channel and stream-cell files and valley.prj
// into `dir`; returns the project.
project_file write_lake_valley(const std::string& dir, const lake_valley& c);

}  // namespace pluvo_test
