// Overland sediment set-up: size classes, per-cell erosion parameters,
// settling velocities and the arrays of the overland sediment record.
#pragma once

struct run_state;
struct ov_sed_record;

// Sets up overland sediment when the soil_erosion card is given (nothing
// otherwise); failures stop the run through the error record.
void init_overland_sediment(run_state& rs);

// Kinematic viscosity of water (m2/s) at temp_c degrees C (0 below 0), by a
// power law in the temperature.
double water_viscosity(double temp_c);

// Settling velocity (m/s) in still water of viscosity nu (m2/s) of a particle
// of diameter d_mm (mm) and specific gravity sg: Stokes up to 0.1 mm, a
// dimensionless-diameter law above.
double fall_velocity(double d_mm, double sg, double nu);

// Sizes every per-cell and per-class array of `s` for `cells` cells and
// s.classes classes, all zero (the flux array only with max_sed_flux).
void size_sediment_record(ov_sed_record& s, int cells);

// Particle densities, settling velocities (at s.water_kin_viscosity), the
// sand/fine split at s.sand_size and the class orders, from the classes'
// specific gravities and diameters.
void derive_class_properties(ov_sed_record& s);
