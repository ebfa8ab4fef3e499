// Richards soils: the hydraulic functions of the two soil models, the soil
// table of the Richards method and the start-up of the soil columns.
//
// Units: heads and node thicknesses in cm, conductivities in cm/h, water
// contents in m3/m3, moisture capacities in 1/cm. Model 1 is Brooks-Corey
// with a parabolic cap between the cut-off head hc and saturation; model 2
// is the Haverkamp pair of functions.
#pragma once
#include <vector>

struct run_state;
struct file_object;
struct soil_layer_record;
struct richards_node_soil;
struct richards_column;

constexpr int kRichardsBrooks = 1;     // richards_c_option of model 1
constexpr int kRichardsHavercamp = 2;  // richards_c_option of model 2

// Lowest water content the columns hold, as a fraction of theta_s - theta_r
// above theta_r: at theta_r itself the head of either model is -infinity.
constexpr double kRichardsResidualMargin = 1e-6;

// Model 1 parameters of a node from lambda (-) and the bubbling head hb (cm,
// negative): the cut-off content theta_c = thr + (ths - thr) s and head
// hc = hb s^(-1/lambda), s = (2/lambda)/(2/lambda + 1); both branches of the
// retention curve meet at hc.
void set_brooks_cutoff(richards_node_soil& soil, double theta_s);

// Water content (m3/m3) at pressure head h (cm).
double richards_theta_of_head(const richards_node_soil& soil, double theta_s, double h, int model);
// Pressure head (cm) at water content theta (m3/m3); 0 at or above theta_s.
// theta must lie above theta_r.
double richards_head_of_theta(const richards_node_soil& soil, double theta_s, double theta,
                              int model);
// Relative conductivity K/Ks (-) at head h (cm); model 1 takes the node's
// content theta (m3/m3) between hc and saturation.
double richards_rel_conductivity(const richards_node_soil& soil, double theta_s, double h,
                                 double theta, int model);
// Moisture capacity dtheta/dh (1/cm) at head h (cm).
double richards_capacity(const richards_node_soil& soil, double theta_s, double h, int model);

// Row functions of one column: k_rel and capacity of nodes 1..count from
// head and theta (model 2 also sets theta = theta_s where h >= 0), then node
// 0 copies node 1. theta and theta_s are the column's content arrays.
void richards_update_row(richards_column& col, double* theta, const double* theta_s, int count,
                         int model);

// Richards soil table, file form (card soil_layer_input_file: a line with the
// number of soils, a second line, then per soil its id line, in long-term
// runs a line of four ET values, and three layer lines) or mapping-table form
// (from the open table right after the section keyword: "NUM_SOILS n", a
// second count line, the heading, then per soil three layer lines, the first
// beginning with the soil id and holding its values from character 88 on).
// A layer line holds Ks (cm/h), theta_s, theta_r, theta_i, wilting point,
// field capacity, thickness (cm), then lambda and hb (cm) for model 1 or
// alpha (cm), beta, A and B for model 2, and last the node spacing (cm).
// Fills soil_table[id] (node counts included; `water_table` drops the
// bottom node of the soil, which the water-table nodes replace) and marks
// `defined`. Result: number of soils, or -1 after a message naming the file
// and line (code 4000 reported).
int read_richards_soil_table(file_object& f, bool mapping_form, int model, bool long_term,
                             bool water_table, int layer_limit, soil_layer_record* soil_table,
                             std::vector<char>* defined);

// Node k (1..) of a column of `soil` over a water table, on the fixed grid
// the column follows as the table moves: the soil's own nodes (its layers'
// spacings and functions, the harmonic-mean conductivity at the top of
// layers 2 and 3), then nodes of the aquifer material below the soil (layer
// 3's functions with the aquifer's porosity `aquifer_theta_s`, m3/m3, and
// spacing `aquifer_dz`, cm). Gives the node's soil, saturated content
// (m3/m3) and thickness (cm).
void richards_grid_node(const soil_layer_record& soil, int k, int model, double aquifer_theta_s,
                        double aquifer_dz, richards_node_soil& out, double& theta_s, double& dz);

// (init_richards, the start-up of the method, is declared in richards.h.)

// Fills the column of every cell from its soil (and the water table when
// one is simulated) and writes the initial soil water into the summary
// file. False after a reported failure.
bool initial_soil_volumes(run_state& rs);
