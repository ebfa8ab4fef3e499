// Overland lakes as constituent stores: each lake holds one well-mixed mass
// per constituent over the water it holds. Its cells carry no overland mass;
// water that flows in across a lake cell's face brings the cell's
// concentration, water that flows out takes the lake's.
#pragma once

struct run_state;

// True when the run carries overland lakes as constituent stores.
bool overland_lake_stores(const run_state& rs);

// Sizes the lake stores; each lake's initial mass is the initial overland
// concentration (g/m3) of each of its map cells times the water above the
// cell's ground (m3), its decay coefficient (1/s) the mean over its map cells
// of the cell coefficients (given per day). Call before the cells' initial
// state clears the concentrations of cells without depth.
void init_overland_lake_constituents(run_state& rs);

// Water lake u holds now, m3: its volume plus the inflow the lake step has
// not taken yet, never below 0.
double overland_lake_water(const run_state& rs, int u);

// Amounts of a transport step booked by the lake stores, g.
struct lake_step_sums {
    double precip = 0.0;    // rain on lake cells
    double exchange = 0.0;  // soil-surface exchange queued for a cell before it joined a lake
    double decay = 0.0;     // decayed in the lakes
    double made = 0.0;      // made by raising a negative lake mass to 0
};

// Before the cell budgets of constituent i in a transport step of dt s, in
// cell order: a lake cell hands its overland mass and its pending rain and
// exchange to its lake and drops its pending sinks (queued for water it no
// longer holds); each lake decays (contaminant table read, first-order
// k x mass x dt, at most its mass); the lake cells' concentration becomes
// their lake's for the advection.
void lake_cells_into_lakes(run_state& rs, int i, double dt, lake_step_sums& s);

// After the advection of constituent i: each lake cell's face gain added to
// its lake in cell order, a negative lake mass raised to 0 and booked, the
// lakes' concentrations from their water; lake cells show their lake's
// concentration and hold no mass.
void book_lake_gains(run_state& rs, int i, lake_step_sums& s);

// Mass of constituent i in all overland lakes, g.
double overland_lake_mass(const run_state& rs, int i);
