// Plain Green-Ampt infiltration: each cell's ponded water infiltrates at the
// rate of a homogeneous soil with a sharp wetting front. Over an interval of
// t seconds the cumulative infiltration F (m) moves from F0 to the F1 that
// solves the implicit relation
//     g(F1) = S ln((F1 + S) / (F0 + S)) + K t - F1 + F0 = 0,
// where K is the saturated conductivity (m/s) and S the suction head times
// the moisture deficit (m).
#pragma once

struct run_state;

constexpr double kGreenAmptTolerance = 1e-6;    // |g| (m) at which the iteration stops
constexpr double kGreenAmptStartStep = 0.001;   // first guess F1 = F0 + this, m
constexpr int kGreenAmptMaxPasses = 100;        // pass limit of the iteration
constexpr double kGreenAmptMinSuction = 1e-12;  // m: a smaller suction deficit counts as none

// Result of one solution of the implicit relation.
struct green_ampt_solution {
    double depth = 0.0;     // F1, m (never below F0)
    int passes = 0;         // evaluations of g made
    bool converged = true;  // false when the pass limit was reached with |g| above the tolerance
};

// Solves g(F1) = 0 for F1 from f0 (m) with suction deficit s (m) and kt = K t (m).
// Newton's method from F0 + 0.001 m, kept inside the bracket [F0, F0 + K t +
// S + sqrt(S K t)] that holds the root (a step leaving it, or giving a value
// that is not finite, bisects instead). With s <= kGreenAmptMinSuction (no
// suction head, or a soil wetter than its porosity) the limit F1 = F0 + K t
// is returned; with kt <= 0 nothing infiltrates and F1 = F0.
green_ampt_solution solve_green_ampt_depth(double f0, double s, double kt);

// Fills run_state.suction_deficit (m) per cell: cap_drive x (phi - thi). Done
// once per run, at the first infiltration step.
void init_suction_deficit(run_state& rs);

// One infiltration update over `seconds` (s): lowers ov_depth (m), advances
// cum_infil (m) and sets infil_rate (cm/h) of every cell. Needs ksat (m/s),
// cap_drive (m), phi, thi and cum_infil; area_reduction_factor when the card
// area_reduction is on. Refuses with code 4000 when they are missing.
void infiltrate_green_ampt(run_state& rs, double seconds);
