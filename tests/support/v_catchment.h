// The tilted V-catchment: two planes of Manning n 0.015 falling 0.05 across
// towards a channel under the middle column (trapezoid 10 m wide at the
// bottom, side slope 1, bank-full at 1 m, Manning n 0.15), the planes and
// the channel falling 0.02 along the valley; 20 m cells, one node per
// stream cell, the outlet at the foot of the channel.
#pragma once
#include <string>

#include "fixture.h"

namespace pluvo_test {

struct v_catchment_case {
    int rows = 50;             // cells along the valley
    int plane_cols = 40;       // cells across one plane
    double cell = 20.0;        // m
    double rain_mm_h = 10.8;   // uniform rain, mm/h
    int rain_minutes = 90;
    int total_minutes = 180;
    double timestep = 5.0;     // s
};

// Columns of the grid and the channel's column (from 1).
inline int v_catchment_cols(const v_catchment_case& v) { return 2 * v.plane_cols + 1; }
inline int v_catchment_channel_col(const v_catchment_case& v) { return v.plane_cols + 1; }

// Writes mask.asc, elev.asc, vee.chn and vee.gst into `dir` and returns the
// project: explicit overland and channel routing, a hydrograph every minute
// into vee.otl, the summary in vee.sum. The caller adds cards and writes it.
project_file write_v_catchment(const std::string& dir, const v_catchment_case& v);

}  // namespace pluvo_test
