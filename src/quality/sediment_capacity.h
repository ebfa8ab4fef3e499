// Transport capacity of overland flow for sediment (volume per step) and the
// median grain size of a cell's sediment. Pure functions: they read the
// cell's class volumes and write nothing, so faces may call them in parallel.
#pragma once

// The size classes as the capacity formulas see them (arrays of classes + 1
// slots, used from 1).
struct sediment_classes {
    int count = 0;                    // number of size classes
    const double* diam_mm = nullptr;  // particle diameter of each class, mm
    const double* spec_grav = nullptr;  // specific gravity of each class, -
    const int* coarse_first = nullptr;  // class numbers from the coarsest to the finest (count entries)
};

// Sediment of one cell per class (classes + 1 slots, used from 1): what the
// grain-size and capacity rules take their class shares from.
struct cell_sediment {
    const double* suspended = nullptr;  // suspended volume, m3
    const double* deposited = nullptr;  // loose deposit on the surface, m3
    const double* soil_fract = nullptr; // fraction of the parent soil, -
};

constexpr double kSedZero = 1e-16;     // volumes, depths and flows at most this count as none
constexpr double kCapacityDivisor = 2645.23;   // scale of the per-step formulas, as F = dt dx / 2645.23

// Class shares of the cell's sediment into `fract` (classes + 1 slots): of the
// suspended volumes when they total 1e-16 m3 or more, else of the loose
// deposit when that does, else the soil fractions.
void sediment_shares(const sediment_classes& sc, const cell_sediment& cell, double* fract);

// Median diameter D50 (micrometres) of the shares `fract` (classes + 1 slots):
// walking the classes from the coarsest, the diameter at which the share
// coarser than it reaches one half, interpolated in the logarithm of the
// diameter between the two classes whose cumulative shares bracket it. When
// the coarsest class alone holds half or more, or the shares never reach
// half, it is the coarsest diameter.
double median_grain_size(const sediment_classes& sc, const double* fract);

// Inputs of one capacity evaluation.
struct capacity_flow {
    double slope = 0.0;   // water-surface slope magnitude, m/m
    double depth = 0.0;   // water depth, m
    double q = 0.0;       // discharge per unit width, m2/s
    double dt = 0.0;      // step, s
    double dx = 0.0;      // cell size, m
    double sed_K = 1.0;   // capacity factor of the cell (formulas 1 and 2), -
};

// Volume (m3) of sediment the flow can carry in one step by formula 1..6:
// 0 with no depth or no discharge, or for another formula number. `work`
// holds classes + 1 doubles of scratch space (formulas 1 and 3 to 6).
double sediment_capacity(int formula, const capacity_flow& f, const sediment_classes& sc,
                         const cell_sediment& cell, double* work);

// The same with the class shares (classes + 1 slots) and their D50
// (micrometres) already known, as sediment_shares and median_grain_size give them.
double sediment_capacity_of_shares(int formula, const capacity_flow& f, const sediment_classes& sc,
                                   const double* shares, double d50);
