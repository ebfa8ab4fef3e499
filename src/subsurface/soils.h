// Soil parameter maps and soil tables: the start-up reader of the soil
// parameters of every infiltration method, the two text readers of the
// layered soil table, and the split of a cell's two-layer soil water into the
// water contents of the transport layers.
//
// Units: map inputs in cm/h and cm are stored in m/s and m; the soil table
// keeps its own units (cm, cm/h, volumetric contents).
#pragma once
#include <vector>

struct run_state;
struct file_object;
struct soil_layer_record;

constexpr int kSoilIdLimit = 9999;   // soil ids of the soil table lie in 1..kSoilIdLimit

// Start-up step: area reduction, Green-Ampt parameters, layered soil table and
// soil types, initial soil moisture, the water-table and Richards set-up and
// the uniform initial water content. Failures through the error record.
void read_soil_maps(run_state& rs);

// Refuses, with a message naming the card and code 4000, the Green-Ampt
// methods without their conductivity, capillary head or porosity. True when
// the run may go on.
bool check_infiltration_method(run_state& rs);

// Area-reduction factor per cell: 1 - map value (a cell without a value gets 1).
void read_area_reduction_map(run_state& rs);

// Initial water content `content` (m3/m3) for every cell, bounded by residual
// content and porosity where they are known; theta_all takes `content` as given.
void fork_initial_soil_water(run_state& rs, double content);

// Layered soil table of card soil_layer_input_file into soil_table (entries
// 1..kSoilIdLimit). Marks each id read in `defined` (kSoilIdLimit + 1 flags)
// when given. Result: number of soils read, or -1 after a message naming the
// file and line (code 4000 reported).
int read_layered_soil_file(file_object& f, soil_layer_record* soil_table,
                           std::vector<char>* defined = nullptr);

// MULTI_LAYER_SOIL section of the mapping table, read from the open table
// positioned after the section's keyword line. Result as above.
int read_multilayer_soil_table(file_object& f, soil_layer_record* soil_table,
                               std::vector<char>* defined = nullptr);

// Soil types and starting water contents of the layered scheme: soiltype per
// cell from the MULTI_LAYER_SOIL section or the soil map and the layered soil
// file, then theta_all and theta_ml from each soil's initial contents. Every
// cell's soil must be in the table. False after a reported failure.
bool read_layered_soil_inputs(run_state& rs);

// Water contents of n_layers (2 or 3) transport layers of one cell from the
// two-layer soil water: upper_water and lower_water (cm), the water table and
// ground elevations (m), layer_thickness[1..n_layers] (m). theta_out and
// porosity_out receive entries 1..n_layers of the cell's rows. False (nothing
// written) for a soil type outside the table, a layer count other than 2 or
// 3, or a layer thickness that is not positive.
bool distribute_layer_moisture(int cell, double upper_water, double lower_water,
                               double water_table, double ground, const double* layer_thickness,
                               bool use_water_table, const soil_layer_record* soil_table,
                               const std::vector<int>& soiltype, int n_layers, double* theta_out,
                               double* porosity_out);
