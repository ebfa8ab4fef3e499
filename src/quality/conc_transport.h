// Overland constituent transport kernels, exposed for tests and benchmarks.
#pragma once

#include <algorithm>

#include "quality/conc_budget.h"

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
    const double* h0 = nullptr;        // depth the masses stood in at the start of the step, m
                                       // (null: every sub-step takes the water of h)
    const double* tilt = nullptr;      // with h0, per cell: net inflow across the column faces less
                                       // that across the row faces, m3/s (overland_step_water)
    const unsigned char* emptied = nullptr;  // with h0, per cell: 1 when the step drains it
};

// Share of the larger of a cell's start and end water below which the
// step's end leaves too little water in it to divide its mass by: the mass
// is then the rounding left over from what flowed out.
constexpr double kEmptiedShare = 1e-7;

// The rows a step with h0 needs beside the view's depths and discharges:
// `tilt` and `emptied` per cell 1..cells (see overland_view).
void overland_step_water(const overland_view& v, double* tilt, unsigned char* emptied, bool parallel);

// Where one pass of a transport sub-step ends within the step, for the water
// the cells hold then. The depth goes from h0 to h over the step, each
// sub-step an equal share; the first pass of a sub-step moves the water of
// its own faces and half of the rest of the sub-step's change, the second
// pass the other half.
struct pass_point {
    double back = 0.0;   // share of the step's depth change still to come after the pass, -
    double half = 0.0;   // first pass: half the sub-step, s, + for columns first, - for rows
                         // first (0: the second pass)
};

// The pass of sub-step k (1..steps) of a step of `steps` sub-steps of h s;
// `first`: the first of its two passes; `columns_first`: the sweep takes the
// columns first.
inline pass_point pass_point_of(int k, int steps, double h, bool first, bool columns_first) {
    pass_point p;
    if (first) {
        p.back = (steps - k + 0.5) / steps;
        p.half = (columns_first ? 0.5 : -0.5) * h;
    } else {
        p.back = static_cast<double>(steps - k) / steps;
    }
    return p;
}

// Water of cell x at the end of the pass `p`, m3. Without h0 the water of
// h; at the end of the step (back 0) the water of h exactly.
inline double pass_water(const overland_view& v, long x, const pass_point& p) {
    const double h1 = v.h[x];
    if (v.h0 == nullptr || (p.back == 0.0 && p.half == 0.0)) return h1 * v.area;
    return (h1 - (h1 - v.h0[x]) * p.back) * v.area + p.half * v.tilt[x];
}

// How a pass treats cell x that it leaves with water w (m3, pass_water).
enum class pass_cell {
    plain,     // concentration = mass / water (0 without water)
    emptied,   // the step's end drained the cell: it keeps the concentration it
               // started the pass with, and its mass becomes what its water
               // holds at that concentration (the rounding left booked as made)
    no_water,  // a first pass whose own faces took more than the cell held
               // at that point: it keeps its concentration and its mass is
               // not raised, so that the second pass, which gives the water
               // back, sees a consistent cell
};
inline pass_cell pass_cell_of(const overland_view& v, const pass_point& p, long x, double w) {
    if (v.h0 == nullptr) return pass_cell::plain;
    if (p.half != 0.0) return w > kConDry * v.area ? pass_cell::plain : pass_cell::no_water;
    return p.back == 0.0 && v.emptied[x] ? pass_cell::emptied : pass_cell::plain;
}

// How the cells are numbered, for the streaming sweep (conc_sweep.cpp).
struct overland_layout {
    int ok = 0;        // 1: upper and left neighbours numbered below the cell, pairs consistent
    long reach_y = 0;  // largest number distance to an upper or lower neighbour, cells
    long reach_x = 0;  // largest number distance to a left or right neighbour, cells
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
    const overland_layout* layout = nullptr;  // the grid's numbering (null: two-loop form)
    double* sweep_space = nullptr;  // overland_sweep_doubles() per thread, for sweep_threads threads
                                    // (whole-step sweep: overland_step_doubles() x sweep_items)
    int sweep_threads = 0;          // threads sweep_space serves
    int sweep_items = 0;            // constituents per thread sweep_space serves in a whole-step sweep
};

// Checks the numbering of the grid's cells and measures its neighbour reaches.
overland_layout overland_transport_layout(const overland_view& v);

// Work space of one thread of the streaming sweep, doubles.
long overland_sweep_doubles(const overland_layout& l);

// The streaming form of `steps` sub-steps of h s each (see
// advect_overland_constituent); same results to the bit. Returns false, having
// done nothing, when the work has no layout, no space or a numbering the
// sweep cannot follow.
bool sweep_overland_constituent(const overland_view& v, int steps, double h, int sweep,
                                double* M, double* C, const double* R, overland_work& w);


// Sub-steps of a transport step of dt s when the longest stable sub-step is
// `found` s (at least 0.1 s is taken); `h` gets their length, s.
int overland_substeps(double found, double dt, double& h);

// Amounts a whole transport step books per block of kSumBlock cells, in
// cell order within the block (slots of overland_step_item::sums).
enum overland_step_slot {
    kStepPrecip,     // applied from the rain's pending amounts, g
    kStepDecay,      // applied from the decay's pending amounts, g
    kStepInfil,      // applied from the infiltration's pending amounts, g
    kStepExchange,   // applied from the soil-surface exchange, g
    kStepBoundary,   // left with the water of boundaries and pumps, g
    kStepNegFirst,   // made by raising negative masses in the first pass, g
    kStepNegSecond,  // in the second pass, g
    kStepDry,        // left to the soil by cells that fell dry, g
    kStepToLand,     // left on the land by cells that fell dry, g
    kStepSlots
};

// One constituent of a whole transport step in one sweep: rows over cells
// 1..cells of the run.
struct overland_step_item {
    double* M = nullptr;               // mass in the water, g
    double* C = nullptr;               // concentration, g/m3
    const double* E = nullptr;         // dispersion coefficient, m2/s
    double* pend_precip = nullptr;     // pending amounts, g (see constituent_cells)
    double* pend_exchange = nullptr;
    double* pend_decay = nullptr;
    double* pend_infil = nullptr;
    double* land = nullptr;            // mass on the land, g
    double* soil_exchange = nullptr;   // exchange not yet taken from the soil layer, g (soil runs)
    double* soil_in = nullptr;         // mass on its way into the soil layer, g (soil runs)
    double outlet_out = 0.0;           // mass the overland outlet takes in the step, g
    double* sums = nullptr;            // per block: kStepSlots amounts, g (set, not added to)
};

// What a whole transport step shares between its constituents.
struct overland_step_setting {
    double dt = 0.0;                   // step, s (> 0)
    int steps = 1;                     // sub-steps
    double h = 0.0;                    // sub-step, s
    int sweep = 1;                     // 1: columns first, 2: rows first
    pending_clock clock;               // intervals of the source blocks, s
    const double* bc_volume = nullptr; // per cell: water boundaries and pumps took, m3 (null: none)
    int outlet = 0;                    // overland outlet cell, 0 none
    bool soil = false;                 // cells that fall dry leave their mass to the soil layer
    double* h_last = nullptr;          // per cell: gets the depth of the step, m (null: not kept)
    double* rates = nullptr;           // per cell: net source rates of the later sub-steps, g/s
                                       // (needed with more than one sub-step, one item at a time)
};

// Most constituents one whole-step sweep carries.
constexpr int kStepItems = 16;

// Work space of one thread and one constituent of the whole-step sweep, doubles.
long overland_step_doubles(const overland_layout& l);

// A whole transport step of `count` constituents (no lakes): the cell
// budgets (pending amounts, boundary outflow, outlet), `steps` sub-steps of
// advection and dispersion, and the hand-over of the mass of cells that fell
// dry, in one streaming sweep per sub-step that reads each cell's depth,
// discharges and neighbours once for all constituents. The results are those
// of the cell budgets, advect_overland_constituent and the clean-up of the
// per-constituent step to the bit, but for the negative masses, summed per
// pass. Returns false, having done nothing, when the work has no layout, no
// space for `count` items or a numbering the sweep cannot follow.
bool sweep_overland_step(const overland_view& v, const overland_step_setting& s,
                         overland_step_item* items, int count, overland_work& w);

// Longest sub-step (s) that keeps every wet cell's outflow in one sweep at
// most half its water and E dt / dx2 at most 0.5; 1e300 when nothing limits.
// `limit` (null: not kept) gets each cell's own limit.
double overland_substep_limit(const overland_view& v, double* limit, bool parallel);

// Advances masses M (g) and concentrations C (g/m3) of one constituent over
// dt s with net source rates R (g/s), in equal sub-steps within the limit
// (at least 0.1 s) that end at dt; sweep 1 takes the columns first, 2 the rows.
// Lake cells (v.lake) keep M and C; the net flux across their faces is added
// to w.lake_gain.
void advect_overland_constituent(const overland_view& v, double dt, int sweep, double* M,
                                 double* C, const double* R, overland_work& w);


// Applies the pending amounts of constituent i in cell j for a step of dt s;
// returns the net source rate (g/s) and the amounts taken. Sinks never take
// more than the cell holds; a limited sink empties its pending store.
double contam_cell_budget(run_state& rs, int i, int j, double dt, cell_taken& taken);
