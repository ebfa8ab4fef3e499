// Flow through the culvert elements of hydraulic-structure links: round,
// oval and rectangular (box) barrels under friction, inlet, partly full
// outlet, orifice and full-barrel control, with the critical-depth and root
// finder helpers of the round-barrel inlet-control balance.
//
// Pure functions: they read the element record and their arguments only.
// The one write into shared state is the error record when the critical
// depth cannot be found (codes 122 and 123 with the stop flag).
//
// Units: levels, inverts, depths and lengths in m, areas in m2, flows m3/s.
#pragma once
#include <vector>

#include "channel/channel_records.h"

// Flow value that marks a failed culvert (or sag weir) evaluation, m3/s.
constexpr double kCulvertFailed = -9999.99;

// Section kinds of the culvert formulas (element type minus 2).
constexpr int kCulvertCircular = 1;   // round barrel (type 3)
constexpr int kCulvertOval = 2;       // oval barrel, polynomial fits (type 4)
constexpr int kCulvertBox = 3;        // rectangular box barrel (type 5)

// Flow regime codes of culv_flow (signed like the flow).
constexpr int kCulvertNoFlow = 0;        // dry inlet, too little head, or no regime applies
constexpr int kCulvertInletSteep = 1;    // inlet control, head over the inlet invert
constexpr int kCulvertInletFlat = 2;     // inlet control (head over the outlet invert) or long barrel, free outlet
constexpr int kCulvertPartFull = 3;      // outlet partly full, or long barrel with tailwater
constexpr int kCulvertFullSubmerged = 4; // full barrel, submerged outlet
constexpr int kCulvertOrifice = 5;       // inlet orifice
constexpr int kCulvertFullFree = 6;      // full barrel, free outlet

// The inlet-control coefficient C_i of a culvert element (-). Link-end flows
// set it before every evaluation; it lives in the record's second spare slot,
// which the channel-file reader never fills.
inline double& culvert_inlet_coeff(hydraulic_structure& s) { return s.spare_b; }
inline double culvert_inlet_coeff(const hydraulic_structure& s) { return s.spare_b; }

// Result of culv_flow.
struct culvert_flow {
    double flow = 0.0;    // m3/s, + from the upstream to the downstream end; kCulvertFailed on failure
    int regime = 0;       // regime code (kCulvert*), signed like flow
    double area = 0.0;    // flow area reported to the caller, m2
    double depth = 0.0;   // depth reported to the caller (critical depth under inlet control), m
};

// Area, wetted perimeter and top width of a culvert section at depth y.
struct culvert_section {
    double area = 0.0;        // m2
    double perimeter = 0.0;   // wetted perimeter, m (oval: the fitted A/R term)
    double top_width = 0.0;   // m (0 for a full closed barrel)
};

// Result of zbrent.
struct brent_root {
    double root = kCulvertFailed;   // flow Q at the root, m3/s; kCulvertFailed on failure
    int iterations = 0;             // passes made
};

// Flow through culvert element `element` (1-based index into `elements`,
// types 3..5) for headwater HW and tailwater TW (water levels, m). The inlet
// control coefficient must be set (culvert_inlet_coeff) beforehand. A zero
// barrel length, rise or span, an element out of range or not a culvert,
// or a failed root search prints a message naming the culvert and returns
// flow kCulvertFailed; the caller raises the error.
culvert_flow culv_flow(const std::vector<hydraulic_structure>& elements, int element, double HW,
                       double TW);

// Section terms of a barrel of rise D and span B (m) at depth y (m), for
// section kind 1 circular (diameter D), 2 oval, 3 box.
culvert_section compute_culvert_section(double D, double y, double B, int kind);

// Critical depth (m) of flow Q (m3/s) in a barrel of rise D and span B (m).
// Kind 1 by Newton iteration (code 122 with the stop flag after 1000 passes
// without convergence; the last iterate is returned); kind 2 is not
// supported (code 123 with the stop flag, returns 0); kind 3 closed form.
// Q <= 0, or a non-positive rise or span, gives 0.
double crit_calc(int kind, double D, double B, double Q);

// Flow area (m2) of kind 1 (circular, diameter D) or kind 3 (box, span B) at
// depth y (m), with y held to the section (0..D for the circle, >= 0 for the box).
double compute_culvert_area(int kind, double D, double B, double y);

// Residual of the inlet-control energy balance at flow Q (m3/s):
// Q - A(y_c) * C_e * sqrt(2g) * sqrt(E - y_c), y_c the critical depth of Q,
// E the specific energy at the inlet (m), C_e the inlet coefficient (-).
// Where the critical depth exceeds E the root term counts as 0.
double compute_culvert_residual(int kind, double D, double B, double C_e, double E, double Q);

// Root Q in [x1, x2] (m3/s) of compute_culvert_residual by Brent's method
// with tolerance tol (m3/s) and at most 100 passes. An unbracketed interval
// or running out of passes prints its message and returns kCulvertFailed.
brent_root zbrent(int kind, double D, double B, double C_e, double E, double x1, double x2,
                  double tol);
