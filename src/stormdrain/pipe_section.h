// Geometry of a partly full storm-drain pipe and its critical and normal
// depths. Lengths m, areas m2, discharges m3/s, gravity 9.81 m/s2.
#pragma once

// Section kinds as read from the superlink file.
constexpr int kSectionCircle = 1;   // circular pipe, size = diameter
constexpr int kSectionArch = 2;     // arch pipe (geometry only; no depth routines)
constexpr int kSectionBox = 3;      // box culvert, size = height, plus a width

constexpr double kPipePi = 3.14159265358979323846;
constexpr double kPipeGravity = 9.81;   // m/s2

struct pipe_section {
    double area = 0.0;        // flow area, m2
    double top_width = 0.0;   // water-surface width, m (0 for a full closed section)
    double perimeter = 0.0;   // wetted perimeter, m
};

// Area, top width and wetted perimeter at depth y (m) of a section of kind
// `type`, size D (m; diameter or height) and width b (m, boxes and arches).
// A full section (y >= D) has top width 0; unknown kinds give zeros.
pipe_section pipe_section_geometry(int type, double D, double b, double y);

// Flow area only, m2 (same rules as above).
double pipe_area(int type, double D, double b, double y);

// Critical depth (m) for discharge Q >= 0 (m3/s): A^3 / T = Q^2 / g. False,
// after a message on standard output, for kinds without a rule (arches);
// `yc` is then left unchanged.
bool pipe_critical_depth(int type, double D, double b, double Q, double& yc);

// Normal depth (m) by Manning, Q = (1/n) A R^(2/3) sqrt(S0), for discharge
// Q >= 0 (m3/s), roughness n (s/m^(1/3)) and slope S0 (m/m). A discharge the
// section cannot carry at any part-full depth, or a slope of 0 or less,
// gives D (the pipe runs full). False as above for arches.
bool pipe_normal_depth(int type, double D, double b, double n, double Q, double S0, double& yn);
