// Sacramento soil-moisture accounting: a lumped accounting of the
// watershed's soil stores (mm) fed by the infiltrated water, whose runoff,
// interflow and base flow enter the channels.
#pragma once
#include <vector>

struct run_state;
struct sacramento_state;
struct file_object;

// Fluxes of one accounting step, mm.
struct sacramento_fluxes {
    double evaporation = 0.0;   // actual evapotranspiration (E1 + E2)
    double runoff = 0.0;        // surface runoff of the upper free water's overflow
    double interflow = 0.0;     // lateral drainage of the upper free water
    double baseflow = 0.0;      // drainage of the lower free stores
    double residual = 0.0;      // storage change + input - evaporation - outflow of the step
    double outflow() const { return runoff + interflow + baseflow; }
};

// Start-up: reads the parameter file of the card `sacramento` and refuses a
// run the accounting cannot serve (no channel routing, a capacity <= 0).
void load_sacramento_params(run_state& rs);

// Reads the parameter file: header, the 17 parameters (start contents given
// as fractions of their capacity, then made depths), the clamps of the
// contents and depletion fractions, and pbase. False (message printed, code
// 4000 set) on any refusal; `path` names the file in messages.
bool read_sacramento_input(file_object& f, const char* path, sacramento_state& s, int& num_basins);

// Topographic index ln(a / tan b) of every watershed cell by multiple flow
// directions over the grid; `elevation` per cell (m), `mask` the cell number
// of every grid position [0..rows+1][0..cols+1], dx the cell size (m).
// False (message printed, code 4000) when it cannot be resolved or is negative.
bool topodex(const std::vector<double>& elevation, int** mask, std::vector<double>& index, int rows,
             int cols, double dx);

// After the channel set-up: the share of the Sacramento channel inflow of
// every grid-stream segment (gst_sac_weight, adding to 1), by channel length
// and, with the topographic index, by the cell's share of the index sum.
void compute_sacramento_weights(run_state& rs);

// Time-loop step: one accounting step per Sacramento interval.
void compute_sacramento(run_state& rs);

// Water of the accounting outside its zone stores, m3: the water infiltrated
// since its last step (its next step takes it in) and the outflow the channel
// steps have not taken in yet.
double sacramento_in_transit(const run_state& rs);

// All water of the accounting, m3: the five zone stores over the watershed
// area and the water in transit.
double sacramento_water(const run_state& rs);

// One accounting step of `days` (the daily depletion fractions and pbase
// are scaled to it) with evaporation demand `demand` (mm) and input `input`
// (mm).
sacramento_fluxes sacramento_step(sacramento_state& s, double demand, double input, double days);
