// Overland sediment record of a run with soil erosion: size classes, per-cell
// erosion parameters and sediment volumes by class, outputs and work arrays.
// Per-cell-and-class arrays are flat, cell-major: entry cell x (classes + 1)
// + class, cells 1..GNUM, classes 1..n, class 0 the total where one is kept.
#pragma once
#include <string>
#include <vector>
#include "core/file_object.h"

struct ov_sed_record {
    int on = 0;                     // soil erosion set up for this run
    int classes = 0;                // number of size classes n
    int formula = 1;                // transport-capacity formula 1..6
    int mode = 1;                   // 1 overland sediment accounting (2, sediment as constituents, is refused)
    int max_sed_flux = 0, net_sed_volume = 0, vol_sed_susp = 0;  // map outputs given
    int adjust_elev = 0;            // the ground follows erosion and deposition
    double sand_size = 0.0;         // smallest diameter of a sand class, mm
    double water_temp = 0.0;        // water temperature, degrees C (0 when given below 0)
    double sed_porosity = 0.0;      // porosity of deposited sediment, -
    double water_kin_viscosity = 0.0;  // kinematic viscosity of water, m2/s

    // Per class 1..n (slot 0 unused)
    std::vector<double> spec_grav;       // specific gravity, -
    std::vector<double> part_diam;       // particle diameter, mm
    std::vector<double> f_bind;          // binding fraction, -
    std::vector<std::string> output_filename;  // output file of the class (read, not written here)
    std::vector<double> particle_density;  // density of the particles, g/m3
    std::vector<double> fall_velocity;   // settling velocity in still water, m/s
    std::vector<int> sand;               // 1 sand (diameter at least sand_size), 0 fine
    std::vector<int> sed_class;          // class numbers, fine classes first, each group in class order (1..n)
    std::vector<int> coarse_first;       // class numbers from the coarsest to the finest (0..n-1)
    int n_sand_classes = 0, n_fine_classes = 0;  // class counts

    // Per cell 1..GNUM
    std::vector<double> splash_K;        // rain-splash erodibility (60 when not positive), units of the table
    std::vector<double> sed_K;           // capacity factor of formulas 1 and 2, -
    std::vector<double> detach_coef;     // flow-detachment coefficient (1e-5 when not positive)
    std::vector<double> detach_exp;      // flow-detachment exponent (1 when not positive), -
    std::vector<double> detach_crit;     // critical shear stress (0 when not positive), N/m2
    std::vector<double> qsx, qsy;        // capacity of the cell's own right / lower face in the step, m3
    std::vector<unsigned char> channel_cell;  // 1 when a grid-stream segment ties the cell to a node (empty without channel sediment)

    // Per cell and class (flat, see above)
    std::vector<double> soil_fract;      // share of the class in the parent soil, -
    std::vector<double> susp_fract;      // share of the class in the suspended sediment, -
    std::vector<double> soil_change;     // change of the parent soil, m3 (negative when eroded)
    std::vector<double> suspended;       // sediment suspended in the water, m3
    std::vector<double> deposited;       // loose deposit on the surface, m3
    std::vector<double> step_eroded;     // volume taken up in the current step (class 0 total), m3
    std::vector<double> step_deposited;  // volume settled in the current step (class 0 total), m3
    std::vector<double> qsvol;           // running deposited minus eroded volume (class 0 total), m3
    std::vector<double> qsmax;           // sediment flux out of the cell in the step (class 0 total), m3/s (max_sed_flux)

    // Sediment that left through the outlet, per class (class 0 total), m3
    std::vector<double> exported;
    double outlet_step_volume = 0.0;     // sediment that left through the outlet in the last step, m3
    double outlet_step_seconds = 0.0;    // length of that step, s (0 before the first)
    double outlet_step_time = -1.0;      // time at the end of that step, Julian days

    file_object outlet_sed_flux_file;    // outlet sediment hydrograph output
    file_object outlet_tss_file;         // outlet wash-load concentration output (outlet_sed_tss)

    // Work arrays of the step, sized at set-up
    std::vector<double> sx, sy;          // water-surface slope to the right / lower neighbour, m/m
    std::vector<double> q_out;           // magnitude of the cell's outflow, m3/s
    std::vector<double> susp_total;      // suspended volume of the cell after detachment, m3
    std::vector<double> susp_d50;        // median diameter of that suspension, um (formulas 3 to 6)
    std::vector<double> give_share;      // share of each face's capacity that the source can give, -
    std::vector<double> work;            // per-cell scratch of classes + 1 doubles (capacity shares)
};
