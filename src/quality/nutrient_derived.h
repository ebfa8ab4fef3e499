// Derived nutrient outputs of one element of water (an overland cell, a
// stream node or a channel lake): un-ionised ammonia from the ammonium mass,
// and total nitrogen, total Kjeldahl nitrogen and total phosphorus from the
// species masses. Masses in grams, volumes in m3.
#pragma once
#include <vector>
#include "channel/node_array.h"

constexpr double kAmmoniumMolarMass = 18.039;   // NH4+, g/mol
constexpr double kAmmoniaMolarMass = 17.031;    // NH3, g/mol
constexpr double kNh3MinVolume = 1e-4;          // below this water volume no ammonia is reported, m3
constexpr double kNh3MinMolarLand = 1e-7;       // ammonium below this gives no ammonia on cells and lakes, mol/m3
constexpr double kNh3MinMolarStream = 1e-8;     // the same at stream nodes, mol/m3

// Dissociation constant of ammonium at the water temperature (deg C), mol/l.
double ammonium_ka(double temp_c);
// Hydrogen ion activity 10^-pH, mol/l.
double hydrogen_ion(double ph);

// Un-ionised ammonia mass (g) of an element holding `nh4_mass` g of ammonium
// in `volume` m3: 0 below kNh3MinVolume or when the ammonium concentration
// lies below `min_molar` (mol/m3); else c x ka / h_ion x 17.031 x volume.
double unionised_ammonia(double nh4_mass, double volume, double ka, double h_ion, double min_molar);

// Totals of one element (g).
inline double nsm_total_n(double no2, double no3, double nh4, double on, double nh3) {
    return no2 + no3 + nh4 + on + nh3;
}
inline double nsm_tkn(double nh4, double on, double nh3) { return nh4 + on + nh3; }
inline double nsm_total_p(double op, double dp) { return op + dp; }

// Un-ionised ammonia of the cells 1..cells into nh3 (g): water volume
// depth (m) x cell_area (m2). Every array is used from slot 1.
void overland_unionised_ammonia(const std::vector<double>& nh4_mass, const std::vector<double>& depth,
                                double cell_area, int cells, double ka, double h_ion,
                                std::vector<double>& nh3);

// Un-ionised ammonia of every node 1..nx[l] of links 1..links into nh3
// [node][link] (g): ammonium mass at the flat index (maxnodes + 1) x link +
// node, water volume area [node][link] (m2) x dx[link] (m). Nodes beyond a
// link's count keep their values.
void stream_unionised_ammonia(const std::vector<double>& nh4_mass, const node_array& area,
                              const std::vector<double>& dx, const std::vector<int>& nx, int links,
                              int maxnodes, double ka, double h_ion, node_array& nh3);

// Un-ionised ammonia of the lakes 1..lakes into nh3 (g), water volume the
// lake's volume (m3).
void lake_unionised_ammonia(const std::vector<double>& nh4_mass, const std::vector<double>& volume,
                            int lakes, double ka, double h_ion, std::vector<double>& nh3);
