// Multi-layer Green-Ampt infiltration: a wetting front moving down through
// three soil layers (layers 1 and 2 of thickness d1, d2, layer 3 below
// without bottom), each with its own conductivity, suction head and moisture
// deficit. Above the front the conductivity is the thickness-weighted
// harmonic mean of the wetted layers; the cumulative infiltration F solves
// the Green-Ampt relation of the front's layer. Lengths in cm, times in h.
#pragma once

struct run_state;
struct soil_layer_record;

// The layer that holds the wetting front and what the front sees there.
struct layered_front {
    int layer = 1;           // 1, 2 or 3
    double deficit = 0.0;    // moisture deficit of that layer, m3/m3 (above 0)
    double suction = 0.0;    // suction head of that layer, cm
    double conductivity = 0.0;  // harmonic-mean conductivity above the front, cm/h
};

// Moisture deficits of the three layers from their contents theta[0..2]
// (m3/m3): porosity - content, where a layer at or above its porosity
// counts a deficit of 0.01 x porosity.
void layered_deficits(const soil_layer_record& soil, const double* theta, double* deficit);

// Front depth (cm) of the infiltrated depth f (cm) filling the deficits layer by layer.
double layered_front_depth(const soil_layer_record& soil, const double* deficit, double f);

// The front's layer for the front depth zf (cm) and infiltrated depth f (cm);
// a front exactly at a layer boundary is still in the upper layer.
layered_front layered_front_layer(const soil_layer_record& soil, const double* deficit, double f,
                                  double zf);

// One infiltration update over `seconds` (s): lowers ov_depth (m), advances
// cum_infil (m) and wetdep (cm) and sets infil_rate (cm/h) of every cell from
// its soil's layers (soiltype, soil_table, theta_ml). Refuses with code 4000
// when the arrays are missing.
void infiltrate_multilayer(run_state& rs, double seconds);
