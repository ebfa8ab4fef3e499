// Richards-equation infiltration in soil columns: the column solver and the
// infiltration-step entry that runs it for every cell.
//
// Each cell's column (richards_column with richards_theta, richards_dz and
// richards_theta_s, see subsurface_state.h) is advanced by an implicit
// finite-volume scheme in pressure head with adaptive sub-steps and Picard
// passes; the water contents move by the face fluxes, so every change of the
// column's water is either a face flux or a content reset (a floor at the
// residual content, a cap at saturation, a surface depth rounded to 0), and
// the resets are booked as the column error. The Picard passes solve the
// mixed form about the last pass's heads and contents; a pass that would
// reset contents (a node near saturation, whose capacity falls steeply, takes
// more than its pore room) is followed by further passes, and failing those
// the sub-step is halved, so that resets stay negligible. Depth downward, heads and
// thicknesses in cm, times in h, fluxes in cm/h (positive downward).
#pragma once
#include <vector>

struct run_state;
struct richards_column;

// Start-up of the soil columns (called by read_soil_maps; richards_soil.cpp).
void init_richards(run_state& rs);

// Advances every cell's soil column over `seconds` (s), taking water from
// and giving it to the surface depth ov_depth, and returns the evaporation
// depth of that interval summed over the cells (m). `event_start` is 1 when
// the event start calls it between events, 0 from the infiltration step.
// A column that cannot be advanced stops the run naming the cell and time.
//
// In long-term runs a dry cell (no rain or snow on it, not a lake cell) meets the
// hour's evaporation demand: its surface water evaporates at pet_rate; once
// that is gone the root zone (the vegetation height with Penman-Monteith
// vegetation maps, at most soil_moist_depth; else soil_moist_depth) gives
// aet_rate, spread over its depth and scaled per node by the node's content
// between wilting point (0) and field capacity (1). A cell whose frozen-ground
// index cfgi is above 83 is left as it is; a cell whose water table reaches
// the ground only loses its surface water. Surface evaporation goes to
// direct_evaporation (cm); soil evapotranspiration to vol_richards_soil_et.
double solve_richards(run_state& rs, double seconds, int event_start);

// Settings of the column solver (from the project cards).
struct richards_settings {
    int model = 2;              // 1 Brooks-Corey, 2 Haverkamp
    int k_option = 2;           // 1 weighted arithmetic, otherwise geometric interface conductivity
    double weight = 1.0;        // weight of the upper node in the arithmetic mean, -
    int upper_option = 1;       // ponded top face: 2 Ks, 3 mean with a saturated node 0, else node 1's K
    int iter_max = 1;           // Picard passes per sub-step in the flux state (more after content resets)
    double dtheta_max = 0.0025; // water-content change aimed at per sub-step, m3/m3
    bool water_table = false;   // bottom node holds a fixed head (else free drainage)
};

// Per-thread work arrays of the column solver.
struct richards_work {
    std::vector<double> up, diag, low, rhs;   // tridiagonal system and solution (heads, cm)
    std::vector<double> kface;                // face conductivity above each node, cm/h
    std::vector<double> head0, theta0;        // heads (cm) and contents at the sub-step start
    std::vector<double> head_prev;            // heads of the previous Picard pass, cm
    std::vector<double> k0, cap0;             // conductivities and capacities at the sub-step start
    std::vector<double> sink;                 // root-zone evapotranspiration sink of each node, 1/h (<= 0)
    void size(int slots);
};

// State of one cell that the column step reads and writes.
struct richards_cell_io {
    double pond = 0.0;          // surface water depth, cm (in and out)
    double pet = 0.0;           // evaporation demand on the surface water, cm/h (in)
    double aet = 0.0;           // demand on the root zone once the surface is dry, cm/h (in)
    double root_depth = 0.0;    // depth of the root zone from the surface, cm (in)
    int state = 1;              // surface state: 1 flux, 2 ponded, 3 just drained at saturation
    double dtr = 0.0;           // sub-step carried between calls, h (in and out)
    double infiltrated = 0.0;   // water that crossed the surface downward in the step, cm (out)
    double drained = 0.0;       // water that left through the bottom face, cm (out)
    double column_error = 0.0;  // water created by content resets, cm (out)
    double pond_evaporated = 0.0;  // surface water evaporated in the step, cm (out)
    double soil_evaporated = 0.0;  // water the root zone gave up in the step, cm (out)
    int sub_steps = 0;          // sub-steps taken (out)
    bool failed = false;        // a sub-step of the floor length still gave no finite solution
};

// Advances one column of `count` nodes (node 0 the surface mirror, node
// `count` the bottom boundary node) over `hours` (h). Each sub-step the
// surface water first gives io.pet x dt; if it runs dry, the root zone is
// asked io.aet over the rest of the sub-step: per node the share of its
// thickness within io.root_depth, times 1 at or above field capacity, 0 at
// or below wilting point and linear between, never taking a node below its
// wilting point. A node's sink is fixed at the sub-step start.
void richards_step_column(richards_column& col, double* theta, double* dz, const double* theta_s,
                          int count, double hours, const richards_settings& s, richards_work& w,
                          richards_cell_io& io);

// Thomas algorithm for rows first..n (no pivoting); the solution replaces rhs.
void solve_tridiagonal(int first, int n, const double* up, double* diag, const double* low,
                       double* rhs);
