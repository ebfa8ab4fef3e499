// Evapotranspiration withdrawn from surface water and from a root zone of one
// or two layers, and gravity drainage of the root zone (long-term runs of the
// redistribution and layered Green-Ampt forms). The step itself,
// compute_soil_et, is declared in hydromet/hydromet.h.
#pragma once

// Drainage of a layer over one step, cm: the geometric mean of two
// Brooks-Corey terms, sqrt(Se^exp_a k_a x Se^exp_b k_b), Se the layer's
// effective saturation (one term when a and b agree).
struct layer_drainage {
    double k_a = 0.0, exp_a = 0.0;   // conductivity x step, cm; exponent 3/lambda + 2
    double k_b = 0.0, exp_b = 0.0;   // the same for the second term
};

// One root-zone layer: water depths held at its characteristic contents, cm.
struct root_layer {
    double thickness = 0.0;   // cm
    double residual = 0.0;    // residual content x thickness, cm
    double saturated = 0.0;   // porosity x thickness, cm
    double no_stress = 0.0;   // field capacity x thickness, cm
    double wilting = 0.0;     // wilting point x thickness, cm
    layer_drainage drain;     // drainage by the formula
};

// The root zone of one cell: upper layer, and a lower one when two.
struct root_zone {
    int layers = 0;             // 0 no root zone, 1 or 2
    double depth = 0.0;         // root depth d, cm
    root_layer upper, lower;
    bool cap_upper_drain = false;   // upper drainage capped at the lower's (layered soils)
};

// Water moved in one cell over one step, cm.
struct root_zone_flows {
    double e1 = 0.0;   // withdrawn from the upper layer
    double e2 = 0.0;   // withdrawn from the lower layer
    double q1 = 0.0;   // drained out of the upper layer
    double q2 = 0.0;   // drained out of the root zone
};

// Stress factors of the soil demand, - (0..1 each, scaled by layer share):
// Deardorff from the upper layer's water against its no-stress water,
// Penman-Monteith per layer between wilting and no-stress water.
void stress_factors(const root_zone& z, double upper, double lower, bool deardorff, double& f1,
                    double& f2);

// Drainage of a layer holding `water` cm, cm over the step: 0 at or below its
// no-stress water (field capacity), else by the Brooks-Corey terms.
double layer_drainage_depth(const root_layer& l, double water);

// One step of a cell's root zone: `upper`, `lower` (cm) take in the
// infiltrated depth `infiltrated` (cm), give up the soil demand `demand` (cm)
// as far as they hold water above residual, and drain. Afterwards
// (upper + lower) changed by exactly infiltrated - e1 - e2 - q2; neither layer
// is left above saturation, nor taken below residual by the step.
root_zone_flows step_root_zone(const root_zone& z, double& upper, double& lower, double infiltrated,
                               double demand, bool deardorff);

// Field capacity of a Brooks-Corey soil, m3/m3: the content at a suction of
// 33 kPa (336.5 cm of water), the bubbling head taken from the Green-Ampt
// capillary drive as cap_drive (1 + 3 lambda) / (2 + 3 lambda).
double brooks_corey_field_capacity(double porosity, double residual, double lambda, double cap_drive_cm);

// Demand on the surface water of a cell, cm; returns the soil demand of the
// step, cm, and lowers `depth_cm` by what evaporates (`evaporated`, cm).
// The surface gives up to pet x dt; when it dries first the soil takes the
// actual rate over the rest of the step. dt s; pet, aet cm/s; threshold cm:
// surface water at or below it counts as none.
double withdraw_surface(double& depth_cm, double dt, double pet, double aet, double threshold,
                        double& evaporated);
