// Seepage between the channel-network lakes and the ground below them
// (lakes with an MLAKE card: the bed thickness in m).
//
// Darcy flow through the lake bed of each lake cell, per unit cell area
// K / M x (head difference), K the saturated conductivity of the cell's soil
// (m/s) and M the bed thickness (m):
// - over dry ground (no water table, or a table at or below the ground, or
//   an aquifer less than 0.01 m thick) the lake loses K / M x depth, its
//   depth being level - ground, as long as the aquifer bottom lies below the
//   lake level;
// - over a water table above the ground (more than 0.01 m saturated) the
//   lake gains K / M x (head - level), which is negative, a loss, when the
//   level stands above the head.
// With the two-dimensional groundwater model only lake cells of boundary
// code 7 exchange (the lakes give their cells that code). Water the lakes
// lose goes into the aquifer the groundwater solver takes it from
// (gw_lake_exchange_vol); without the solver the water table is a store
// outside the books and the volumes enter or leave the run.
#pragma once

struct run_state;

// Exchange of one lake cell, m3/s (+ from the ground into the lake).
// level, ground, head, bottom: m; k m/s; thickness m; area m2; `table` a
// water table is simulated; `exchanging` the cell takes part (with the
// two-dimensional groundwater model: its code is 7).
double lake_cell_exchange_rate(double level, double ground, double k, double thickness, double area,
                               bool table, bool exchanging, double head, double bottom);

// Saturated conductivity of the soil under cell c, m/s: the Green-Ampt
// conductivity map, else the first layer of the cell's soil (layered and
// Richards soils); negative when the run has none.
double lake_bed_conductivity(const run_state& rs, int c);

// Refuses (message, code 4000) a lake with an MLAKE card whose bed has no
// conductivity or a thickness that is not a positive number. Start-up.
void check_lake_beds(run_state& rs);

// One channel step of dt s: every lake cell's rate into lake_source (m3/s,
// + into the lake), each lake's volume of the step into lake_gw_step_volume
// (m3, + into the lake), the lake volumes changed by it (a lake gives at
// most what it holds), the lake and aquifer books and, with the solver,
// gw_lake_exchange_vol of the cells; with channel constituents each cell's
// volume moves its mass (the cell's groundwater concentration into a lake,
// the lake's out of it, booked as lake groundwater mass).
void exchange_lakes_with_aquifer(run_state& rs, double dt);
