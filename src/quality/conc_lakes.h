// Lakes as constituent stores: each overland lake, or each lake of the
// channel network, holds one well-mixed mass per constituent over the water
// it holds. Its cells carry no overland mass; water that flows in across a
// lake cell's face brings the cell's concentration, water that flows out
// takes the lake's. Channel links bring and take lake mass in the channel
// routing (conc_channel.h).
#pragma once

struct run_state;

// True when the run carries lakes as constituent stores.
bool lake_stores_on(const run_state& rs);

// Per cell (GNUM+1): the lake of each cell, 0 none (null without lake stores).
const int* lake_cell_ids(const run_state& rs);

// Sizes the lake stores and sets each lake's initial mass and decay:
// - overland lakes: the initial overland concentration (g/m3) of each map
//   cell times the water above its ground (m3); decay coefficient (1/s) the
//   mean over its map cells of the cell coefficients (given per day). Call
//   before the cells' initial state clears the concentrations of cells
//   without depth.
// - channel-network lakes (channel constituents on): the initial channel
//   concentration over the lake's water (a nutrient species its uniform
//   stream value, else none); the channel decay coefficient.
void init_lake_constituents(run_state& rs);

// Water lake u holds now, m3, never below 0: an overland lake's volume plus
// the inflow its lake step has not taken yet; a channel lake's volume.
double lake_store_water(const run_state& rs, int u);

// Amounts of a transport step booked by the lake stores, g.
struct lake_step_sums {
    double precip = 0.0;    // rain on lake cells
    double exchange = 0.0;  // soil-surface exchange queued for a cell before it joined a lake
    double decay = 0.0;     // decayed in the lakes
    double made = 0.0;      // made by raising a negative lake mass to 0
    double to_lake = 0.0;   // passed by the cells joining the lakes and by the lake cells' faces (negative: taken)
};

// Before the cell budgets of constituent i in a transport step of dt s, in
// cell order: a lake cell hands its overland mass and its pending rain and
// exchange to its lake and drops its pending sinks (queued for water it no
// longer holds); each overland lake decays (contaminant table read,
// first-order k x mass x dt, at most its mass); the lake cells'
// concentration becomes their lake's for the advection.
void lake_cells_into_lakes(run_state& rs, int i, double dt, lake_step_sums& s);

// After the advection of constituent i: each lake cell's face gain added to
// its lake in cell order, a negative lake mass raised to 0 and booked, the
// lakes' concentrations from their water; lake cells show their lake's
// concentration and hold no mass.
void book_lake_gains(run_state& rs, int i, lake_step_sums& s);

// Concentration of constituent i in lake u from its mass over its water, g/m3.
void set_lake_conc(run_state& rs, int i, int u);

// Mass of constituent i in all lakes, g.
double lake_store_mass(const run_state& rs, int i);

// A point input of channel lake u moved `volume` m3 of water (+ into the
// lake, - a withdrawal): an inflow brings the point's concentrations `conc`
// (g/m3, constituents 1..n at conc[0..n-1]), a withdrawal takes the lake's;
// booked as lake point mass. Nothing without channel-network lake stores.
void lake_point_constituents(run_state& rs, int u, double volume, const double* conc);

// Lake-aquifer exchange of channel lake u through cell `cell`: `volume` m3
// (+ from the aquifer into the lake) brings the cell's groundwater
// concentrations, a loss to the aquifer takes the lake's (at most what the
// lake holds); booked as lake groundwater mass. The water exchange calls it
// with every volume it moves. Nothing without channel-network lake stores.
void lake_aquifer_constituents(run_state& rs, int u, int cell, double volume);
