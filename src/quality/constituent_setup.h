// Set-up and shared rules of the dissolved-constituent transport.
#pragma once
#include <vector>

struct run_state;

constexpr double kConDry = 1e-16;            // depths, masses and volumes at or below count as none
constexpr double kConSecondsPerDay = 86400.0;
constexpr double kConShareTolerance = 0.5;   // a block interval longer than the step by more, s

// Channel constituents without overland ones (card chan_con_trans without
// ov_con_trans, explicit channel routing): the contaminants are those of the
// mapping table's contaminant section, the cells carry none, so the lateral
// inflow brings no mass.
bool channel_constituents_only(const run_state& rs);

// Sizes the stores of the contaminants 1..n and, with the nutrient
// sub-model, of its block after them (all zero) over the run's cells.
void alloc_constituent_arrays(run_state& rs, int n);
// Sizes the channel node stores from the network and sets the initial node
// concentrations and masses (init_chan_conc); nothing without channel transport.
void init_channel_constituents(run_state& rs);
// Sizes the channel node stores once the network is set up (idempotent).
void ensure_channel_constituent_stores(run_state& rs);

// Thickness of the constituent soil layer (m) from the soil-moisture depth;
// a depth not above 0 stops the run with a message. Under layered Green-Ampt
// and Richards columns: the column of the soil's layers under every cell
// (thickness, porosity, water), its layer rows sized for every constituent.
void set_soil_layer_thickness(run_state& rs);
// Initial layer of constituent i in cell j: its land load read as the
// concentration on the solids (mg/kg) over the layer, the mass from it.
void init_soil_layer(run_state& rs, int i, int j);

// Dissolved share of a layer's mass: theta / ((1 - porosity) x Kd x 2.65 + theta)
// (Kd l/kg, solids 2.65 kg/l); 0 without pore water.
double dissolved_fraction(double theta, double porosity, double kd);
double layer_dissolved_fraction(const run_state& rs, int i, int j);
// Water of the layer of cell j per unit area, m (thickness x soil moisture;
// with a column of layers, layer 1's water as the infiltration method holds it).
double layer_water_depth(const run_state& rs, int j);
// Mass of constituent i in soil layer 1 of cell j not queued to leave it, g.
double layer1_free_mass(const run_state& rs, int i, int j);

// Part of a pending amount that a step of dt s applies when its block ran
// over `interval` s: amount x dt / interval when the interval exceeds dt by
// more than 0.5 s, else all of it.
double scaled_pending_amount(double dt, double interval, double amount);

// Factor on the interval of the decay and exchange timers (card
// kinetics_timestep_factor; 1 when not above 0).
double kinetics_factor(const run_state& rs);

// Concentration of constituent i in the groundwater under cell `cell`,
// g/m3: for a contaminant the groundwater column of the contaminant table,
// for a nutrient species its NSM_GW section; 0 where neither gives one.
double groundwater_conc(const run_state& rs, int i, int cell);

// A link whose nodes carry constituents: not a lake, structure or overtaken link.
bool con_transport_link(int ltype);

// Mass balance of constituent i over the whole run, kg: what came in
// (initial, rain), what left (outlets, infiltration, decay, drainage out of
// the soil column), what is stored
// now (overland water, land, channel nodes, overland lakes, amounts in flight) and the
// residual in - out - stored.
struct constituent_balance {
    double initial = 0.0, rain = 0.0, made = 0.0;                 // in
    double outlet = 0.0, infiltrated = 0.0, decayed = 0.0;        // out
    double boundaries = 0.0;   // out with the water of the overland boundary conditions
    double water = 0.0, land = 0.0, channel = 0.0, pending = 0.0;  // stored
    double sorbed = 0.0;       // stored on the suspended sediment of the cells, the channel nodes and the channel lakes
    double outlet_sorbed = 0.0;  // part of the outlet mass that left on sediment
    // Nutrients: received from and given to the compartment across the
    // water/soil boundary (uptake, hand-over), and the soil pool of this number
    double nsm_in = 0.0, nsm_out = 0.0, pools = 0.0;
    double residual = 0.0;
    double lakes = 0.0;   // stored in the overland lakes
    double drained = 0.0;      // out of the bottom of the soil column with the water draining out
    double held = 0.0;         // given (+) or swallowed (-) by soil held at fixed concentrations
    double lake_settled = 0.0;  // settled with the suspended sediment of the channel-network lakes
    double point = 0.0;        // brought by point inflows less what point withdrawals took (cells, channels, lakes)
    double groundwater = 0.0;  // brought by the aquifer's water less what water to the aquifer took
};
constituent_balance compute_constituent_balance(const run_state& rs, int i);
// Writes the balance of every constituent, %.12e per amount, to the file
// object rs.summary_file (the summaries print their own sections; tests read
// the full-precision books of a run through this).
void write_constituent_balances(run_state& rs);
