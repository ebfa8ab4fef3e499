// Overland constituent transport kernels, exposed for tests and benchmarks.
#pragma once

struct run_state;

// The grid as the transport sees it; arrays over cells 1..cells (slot 0 unused).
struct overland_view {
    int cells = 0;
    double area = 0.0;                 // cell area, m2
    const double* h = nullptr;         // water depth, m
    const double* qx = nullptr;        // discharge to the right neighbour, m3/s
    const double* qy = nullptr;        // discharge to the lower neighbour, m3/s
    const int* above = nullptr;        // neighbours, 0 none
    const int* below = nullptr;
    const int* left = nullptr;
    const int* right = nullptr;
    const double* E = nullptr;         // dispersion coefficient of the constituent, m2/s
    const int* lake = nullptr;         // per cell: its overland lake (0 none); null without lakes.
                                       // A lake cell is not transported: C holds its lake's
                                       // concentration, its depth is 0 (no dispersion)
};

// Work rows over cells 1..cells, owned by the caller (no allocation in a step).
struct overland_work {
    double* adv1 = nullptr;   // advective flux into a cell across its upper/left face, g/s
    double* dsp1 = nullptr;   // dispersive flux, g/s
    double* m_pred = nullptr; // predicted mass, g
    double* c_pred = nullptr; // predicted concentration, g/m3
    double* limit = nullptr;  // per-cell sub-step limit, s
    double* neg = nullptr;    // per cell: mass made by raising a negative mass to 0, g (added to)
    double substep = 0.0;     // longest sub-step when found beforehand, s (0: found per call)
    double* lake_gain = nullptr;  // per lake cell: mass its faces passed into the lake, g (added to;
                                  // needed when the view has lakes)
};

// Longest sub-step (s) that keeps every wet cell's outflow in one sweep at
// most half its water and E dt / dx2 at most 0.5; 1e300 when nothing limits.
double overland_substep_limit(const overland_view& v, double* limit, bool parallel);

// Advances masses M (g) and concentrations C (g/m3) of one constituent over
// dt s with net source rates R (g/s), in equal sub-steps within the limit
// (at least 0.1 s) that end at dt; sweep 1 takes the columns first, 2 the rows.
// Lake cells (v.lake) keep M and C; the net flux across their faces is added
// to w.lake_gain.
void advect_overland_constituent(const overland_view& v, double dt, int sweep, double* M,
                                 double* C, const double* R, overland_work& w);

// Amounts one cell budget applied, g.
struct cell_taken {
    double precip = 0.0, exchange = 0.0, decay = 0.0, infil = 0.0;
};

// Applies the pending amounts of constituent i in cell j for a step of dt s;
// returns the net source rate (g/s) and the amounts taken. Sinks never take
// more than the cell holds; a limited sink empties its pending store.
double contam_cell_budget(run_state& rs, int i, int j, double dt, cell_taken& taken);
