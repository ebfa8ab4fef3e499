// Flow over the weir and sag-weir elements of hydraulic-structure links.
//
// Pure functions of the element record and the two water levels. Flow is
// positive from the upstream to the downstream side: +Q with the forward
// discharge coefficient when h1 > h2, -Q with the reverse one otherwise.
// Units: levels and lengths in m, flows in m3/s.
#pragma once
#include <vector>

#include "channel/channel_records.h"

// Flow value that marks a failed weir evaluation (the culvert failure value), m3/s.
constexpr double kWeirFailed = -9999.99;

// Flow (m3/s) over weir element `element` (1-based index into `elements`,
// type 1) for the upstream-side level h1 and the downstream-side level h2 (m):
// free flow, or the submerged forms. An element out of range or not a weir
// prints a message naming it and returns kWeirFailed.
double compute_weir_flow(const std::vector<hydraulic_structure>& elements, int element, double h1,
                         double h2);

// Flow (m3/s) over sag-weir element `element` (type 2), whose crest is a
// parabola with its low point at the crest elevation and slopes steep_slope
// (width field) and shallow_slope (height field) at its ends. Equal levels
// give 0. A crest length of 0 or slopes that give no sag (shallow slope not
// above the steep one), an element out of range or not a sag weir print a
// message naming the element and return kWeirFailed.
double compute_sag_weir_flow(const std::vector<hydraulic_structure>& elements, int element,
                             double h1, double h2);
