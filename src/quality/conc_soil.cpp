// Soil-layer constituents. Under single-layer Green-Ampt, with or without
// redistribution, one layer of the soil-moisture depth under each cell holds
// every contaminant. Under layered Green-Ampt the column has the soil's two
// layers, under Richards columns the soil's three layers of nodes; the water
// of each layer is read from the method's own state, and the water that the
// method moved across each layer bottom since the last soil step carries the
// pore water of the layer it leaves. In every layer the mass is split between
// the pore water and the solids by the partition coefficient; the step
// decays the dissolved part and takes in what the overland water gave the
// soil (infiltration, exchange) or took from it.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <vector>

#include "core/error.h"
#include "core/file_write.h"
#include "core/parallel.h"
#include "quality/constituent_setup.h"
#include "quality/constituent_steps.h"
#include "run/run_state.h"
#include "subsurface/multilayer.h"

namespace {

inline size_t ix(int i) { return static_cast<size_t>(i); }

constexpr double kSolidDensity = 2.65;   // density of the soil solids, kg/l (g/cm3)

constexpr double kCmPerMetre = 100.0;

// The soil column has several layers read from the infiltration method's own state.
bool column_layers(const run_state& rs) { return rs.inf_layered_soil || rs.inf_richards; }

// Soil record of cell j, or null when its soil id lies outside the table.
const soil_layer_record* cell_soil(const run_state& rs, int j) {
    if (ix(j) >= rs.soiltype.size()) return nullptr;
    const int id = rs.soiltype[ix(j)];
    if (id < 1 || id >= subsurface_state::kSoilTableSize) return nullptr;
    return &rs.soil_table[id];
}

// Length of [a, b] inside [c, d], cm.
double overlap(double a, double b, double c, double d) {
    return std::max(0.0, std::min(b, d) - std::max(a, c));
}

// Node range [first, last] of Richards layer k (1..3) of cell j: the soil's
// layer nodes, cut at the column's last node above its bottom boundary node.
void richards_layer_nodes(const run_state& rs, int j, int k, int& first, int& last) {
    first = 1;
    last = 0;
    const soil_layer_record* soil = cell_soil(rs, j);
    if (soil == nullptr || ix(j) >= rs.richards_nodes.size()) return;
    const int above_bottom = rs.richards_nodes[ix(j)] - 1;
    const int ends[4] = {0, soil->layer1_end, soil->layer2_end, above_bottom};
    first = ends[k - 1] + 1;
    last = std::min(ends[k], above_bottom);
}

// Water of layer k of cell j per unit area as the infiltration method holds
// it now, m. Layered Green-Ampt: the layer's content plus the deficit its
// wetting front filled; Richards: the layer's nodes, content x thickness.
double method_layer_water(const run_state& rs, int j, int k) {
    if (rs.inf_layered_soil) {
        const soil_layer_record* soil = cell_soil(rs, j);
        if (soil == nullptr || k > 2 || ix(j) >= rs.theta_ml.size()) return 0.0;
        const std::array<double, 5>& theta = rs.theta_ml[ix(j)];
        double deficit[3];
        layered_deficits(*soil, &theta[1], deficit);
        const double top = k == 1 ? 0.0 : soil->thickness[0];   // cm
        const double bottom = top + soil->thickness[k - 1];     // cm
        const double front = ix(j) < rs.wetdep.size() ? std::max(rs.wetdep[ix(j)], 0.0) : 0.0;
        return (theta[ix(k)] * (bottom - top) + deficit[k - 1] * overlap(top, bottom, 0.0, front)) /
               kCmPerMetre;
    }
    if (rs.inf_richards) {
        int first = 1, last = 0;
        richards_layer_nodes(rs, j, k, first, last);
        double w = 0.0;   // cm
        const std::vector<double>& theta = rs.richards_theta[ix(j)];
        const std::vector<double>& dz = rs.richards_dz[ix(j)];
        for (int n = first; n <= last; ++n) w += theta[ix(n)] * dz[ix(n)];
        return w / kCmPerMetre;
    }
    return 0.0;
}

// Water content of the layer of cell j, m3/m3: the cell's soil moisture, as
// the redistribution carries it at the top of the soil when it runs.
double layer_theta(const run_state& rs, int j) {
    if (rs.inf_redist && ix(j) < rs.redist_theta_out.size())
        return std::max(rs.redist_theta_out[ix(j)], 0.0);
    return ix(j) < rs.thi.size() ? std::max(rs.thi[ix(j)], 0.0) : 0.0;
}

double layer_porosity(const run_state& rs, int j) {
    return ix(j) < rs.phi.size() ? std::min(std::max(rs.phi[ix(j)], 0.0), 1.0) : 0.0;
}

// Solids of layer k of cell j, kg.
double layer_solids(const run_state& rs, int j, int k = 1) {
    const double area = rs.cell_size * rs.cell_size;   // m2
    if (rs.con.soil_layers > 0) {
        const double dz = rs.con.col_dz[ix(j)][ix(k)];
        const double phi = std::min(std::max(rs.con.col_phi[ix(j)][ix(k)], 0.0), 1.0);
        return (1.0 - phi) * dz * area * kSolidDensity * 1000.0;
    }
    return (1.0 - layer_porosity(rs, j)) * rs.con.layer_thickness * area * kSolidDensity * 1000.0;
}

// Layer k of constituent i in cell j: mass (g), concentration (mg/kg), dissolved share.
double& mass_of(constituent_cells& c, int k, int i, int j) {
    return k == 1 ? c.layer_mass[ix(i)][ix(j)] : c.deep_mass[ix(k)][ix(i)][ix(j)];
}
double& conc_of(constituent_cells& c, int k, int i, int j) {
    return k == 1 ? c.layer_conc[ix(i)][ix(j)] : c.deep_conc[ix(k)][ix(i)][ix(j)];
}
double& fraction_of(constituent_cells& c, int k, int i, int j) {
    return k == 1 ? c.layer_fraction[ix(i)][ix(j)] : c.deep_fraction[ix(k)][ix(i)][ix(j)];
}

// Dissolved share of layer k of constituent i in cell j (column layers).
double column_fraction(const run_state& rs, int i, int j, int k) {
    const double dz = rs.con.col_dz[ix(j)][ix(k)];
    if (!(dz > kConDry)) return 0.0;
    const double theta = rs.con.col_water[ix(j)][ix(k)] / dz;
    return dissolved_fraction(theta, std::min(std::max(rs.con.col_phi[ix(j)][ix(k)], 0.0), 1.0),
                              rs.con.kd[ix(i)][ix(j)]);
}

// Reads the water of every layer from the method and the water the method
// moved through each layer bottom since the last soil step: what entered the
// ground less what the layers above the bottom gained. A new event (the
// methods start their fronts again) only takes the new state in.
void read_column_water(run_state& rs) {
    constituent_cells& c = rs.con;
    const bool same_event = c.col_event == rs.event_index;
    const int cells = rs.GNUM;
#pragma omp parallel for schedule(static) if (cells >= kParallelCells)
    for (int j = 1; j <= cells; ++j) {
        std::array<double, 4>& w = c.col_water[ix(j)];
        std::array<double, 4>& q = c.col_flow[ix(j)];
        double passed = 0.0;   // m
        if (ix(j) < rs.ov_con_soil_infil.size()) {
            passed = rs.ov_con_soil_infil[ix(j)];
            rs.ov_con_soil_infil[ix(j)] = 0.0;
        }
        for (int k = 1; k <= c.soil_layers; ++k) {
            const double now = c.col_dz[ix(j)][ix(k)] > kConDry ? method_layer_water(rs, j, k) : 0.0;
            passed -= now - w[ix(k)];
            q[ix(k)] = same_event && c.col_dz[ix(j)][ix(k)] > kConDry ? passed : 0.0;
            w[ix(k)] = now;
        }
    }
    c.col_event = rs.event_index;
}

// One soil step of constituent i in the layers of cell j over dt s (column
// layers): decay of the dissolved part, the pore water that the method's
// water carried through each layer bottom (never more than a layer's
// dissolved mass), then what the overland water gave layer 1 or took from it.
// Returns the decayed mass (g); the mass leaving the column bottom goes to
// book_soil_out.
double column_step(run_state& rs, int i, int j, double dt) {
    constituent_cells& c = rs.con;
    const size_t ii = ix(i), jj = ix(j);
    int layers = 0;
    while (layers < c.soil_layers && c.col_dz[jj][ix(layers + 1)] > kConDry) ++layers;
    c.book_soil_out[jj] = 0.0;
    c.book_soil_held[jj] = 0.0;
    if (layers == 0) {
        // No soil above a water table at the ground: what the water gave the
        // soil stays on the land.
        c.land[ii][jj] += c.pend_soil_in[ii][jj] - c.pend_soil_exchange[ii][jj];
        c.pend_soil_in[ii][jj] = 0.0;
        c.pend_soil_exchange[ii][jj] = 0.0;
        return 0.0;
    }
    double m[4] = {0.0, 0.0, 0.0, 0.0}, f[4] = {0.0, 0.0, 0.0, 0.0};   // g, -
    double decayed = 0.0;   // g
    for (int k = 1; k <= layers; ++k) {
        m[k] = std::max(mass_of(c, k, i, j), 0.0);
        f[k] = column_fraction(rs, i, j, k);
        fraction_of(c, k, i, j) = f[k];
        const double dissolved = f[k] * m[k];
        const double loss = std::min(dissolved * c.soil_decay[ii][jj] * dt, dissolved);
        decayed += loss;
        if (!rs.soil_static_conc) m[k] -= loss;
    }
    if (!rs.soil_static_conc) {
        const std::array<double, 4>& w = c.col_water[jj];
        const std::array<double, 4>& q = c.col_flow[jj];
        // Pore water leaving each layer downward (through its bottom) and upward
        // (through its top, into the layer above; never out of the ground).
        double down[4] = {0.0, 0.0, 0.0, 0.0}, up[4] = {0.0, 0.0, 0.0, 0.0};   // g
        for (int k = 1; k <= layers; ++k) {
            if (!(w[ix(k)] > kConDry)) continue;
            const double dissolved = f[k] * m[k];
            if (q[ix(k)] > 0.0) down[k] = dissolved * std::min(q[ix(k)] / w[ix(k)], 1.0);
            if (k > 1 && q[ix(k - 1)] < 0.0) up[k] = dissolved * std::min(-q[ix(k - 1)] / w[ix(k)], 1.0);
            const double out = down[k] + up[k];
            if (out > dissolved && out > 0.0) {
                down[k] *= dissolved / out;
                up[k] *= dissolved / out;
            }
        }
        for (int k = 1; k <= layers; ++k) {
            m[k] -= down[k] + up[k];
            if (k < layers) m[k + 1] += down[k];
            if (k > 1) m[k - 1] += up[k];
        }
        c.book_soil_out[jj] = down[layers];
        // What the water took from layer 1, and what infiltrated into it.
        m[1] += -c.pend_soil_exchange[ii][jj] + c.pend_soil_in[ii][jj];
    } else {
        // Held fixed, the soil gave what the water took and the decay counted,
        // and swallowed what infiltrated.
        c.book_soil_held[jj] = c.pend_soil_exchange[ii][jj] + decayed - c.pend_soil_in[ii][jj];
    }
    c.pend_soil_exchange[ii][jj] = 0.0;
    c.pend_soil_in[ii][jj] = 0.0;
    double held = 0.0;   // g
    for (int k = 1; k <= layers; ++k) {
        if (m[k] < 0.0) m[k] = 0.0;
        mass_of(c, k, i, j) = m[k];
        const double solids = layer_solids(rs, j, k);
        conc_of(c, k, i, j) = solids > 0.0 ? m[k] / solids * 1000.0 : 0.0;
        held += m[k];
    }
    // Land mass: the column less what is queued to leave layer 1.
    c.land[ii][jj] = held - c.pend_exchange[ii][jj];
    return decayed;
}

}  // namespace

double dissolved_fraction(double theta, double porosity, double kd) {
    if (!(theta > 0.0)) return 0.0;   // no pore water: nothing dissolved, nothing moves
    return theta / ((1.0 - porosity) * kd * kSolidDensity + theta);
}

double layer_water_depth(const run_state& rs, int j) {
    if (rs.con.soil_layers > 0) return rs.con.col_water[ix(j)][1];
    return rs.con.layer_thickness * layer_theta(rs, j);
}

double layer_dissolved_fraction(const run_state& rs, int i, int j) {
    if (rs.con.soil_layers > 0) return column_fraction(rs, i, j, 1);
    return dissolved_fraction(layer_theta(rs, j), layer_porosity(rs, j), rs.con.kd[ix(i)][ix(j)]);
}

double layer1_free_mass(const run_state& rs, int i, int j) {
    double m = rs.con.land[ix(i)][ix(j)];
    for (int k = 2; k <= rs.con.soil_layers; ++k) m -= rs.con.deep_mass[ix(k)][ix(i)][ix(j)];
    return std::max(m, 0.0);
}

void set_soil_layer_thickness(run_state& rs) {
    if (column_layers(rs)) {
        // Layered Green-Ampt: the soil's two layers (the third has no bottom);
        // Richards: the soil's three layers of nodes.
        constituent_cells& c = rs.con;
        const int n = rs.num_constituents, cells = rs.GNUM;
        c.soil_layers = rs.inf_layered_soil ? 2 : 3;
        const size_t slots = static_cast<size_t>(cells) + 1;
        for (std::vector<std::array<double, 4>>* v : {&c.col_dz, &c.col_phi, &c.col_water, &c.col_flow})
            v->assign(slots, std::array<double, 4>{});
        rs.ov_con_soil_infil.assign(slots, 0.0);
        c.book_soil_out.assign(slots, 0.0);
        for (int k = 2; k <= c.soil_layers; ++k) {
            for (con_rows* r : {&c.deep_mass[ix(k)], &c.deep_conc[ix(k)], &c.deep_fraction[ix(k)]})
                r->assign(static_cast<size_t>(n) + 1, std::vector<double>(slots, 0.0));
        }
        for (int j = 1; j <= cells; ++j) {
            const soil_layer_record* soil = cell_soil(rs, j);
            if (soil == nullptr) continue;
            for (int k = 1; k <= c.soil_layers; ++k) {
                double dz = 0.0;   // cm
                if (rs.inf_layered_soil) {
                    dz = soil->thickness[k - 1];
                } else if (ix(j) < rs.richards_dz.size()) {
                    int first = 1, last = 0;
                    richards_layer_nodes(rs, j, k, first, last);
                    for (int m = first; m <= last; ++m) dz += rs.richards_dz[ix(j)][ix(m)];
                }
                c.col_dz[ix(j)][ix(k)] = std::max(dz, 0.0) / kCmPerMetre;
                c.col_phi[ix(j)][ix(k)] = soil->porosity[k - 1];
                c.col_water[ix(j)][ix(k)] = dz > 0.0 ? method_layer_water(rs, j, k) : 0.0;
            }
        }
        c.col_event = rs.event_index;
        return;
    }
    rs.con.layer_thickness = rs.soil_moist_depth / 100.0;   // cm to m
    if (rs.con.layer_thickness > 0.0) return;
    std::printf("\nError: soil contaminants (soil_con_trans) need the depth of the soil layer: the "
                "card soil_moist_depth gives %g m.\n",
                rs.soil_moist_depth / 100.0);
    error_record.code = kErrorPrinted;
    report_error(error_record);
}

void init_soil_layer(run_state& rs, int i, int j) {
    constituent_cells& c = rs.con;
    const size_t ii = ix(i), jj = ix(j);
    c.layer_conc[ii][jj] = c.land[ii][jj] / 1000.0;   // mg/kg
    c.layer_mass[ii][jj] = layer_solids(rs, j) * c.layer_conc[ii][jj] / 1000.0;   // g
    c.land[ii][jj] = c.layer_mass[ii][jj];
}

void step_soil_constituents(run_state& rs) {
    if (!rs.soil_con_trans || !rs.overland_constituents || rs.num_constituents < 1) return;
    if (!process_due(rs, rs.soil_con_next)) return;
    const double last = rs.soil_con_last > 0.0 ? rs.soil_con_last : rs.time - rs.ov_con_step_days;
    const double dt = std::max((rs.time - last) * kConSecondsPerDay, 0.0);   // s
    constituent_cells& c = rs.con;
    const int cells = rs.GNUM;
    if (c.soil_layers > 0) {
        read_column_water(rs);
        for (int i = 1; i <= rs.num_constituents; ++i) {
            if (rs.constituent_type[ix(i)] != 1) continue;
            // Each cell's column alone; the totals in cell order below.
#pragma omp parallel for schedule(static) if (cells >= kParallelCells)
            for (int j = 1; j <= cells; ++j) c.book_soil_decay[ix(j)] = column_step(rs, i, j, dt);
            double decayed = 0.0, out = 0.0, held = 0.0;   // g, in cell order
            for (int j = 1; j <= cells; ++j) {
                decayed += c.book_soil_decay[ix(j)];
                out += c.book_soil_out[ix(j)];
                held += c.book_soil_held[ix(j)];
            }
            rs.con_tot.soil_decay[ix(i)] += decayed / 1000.0;
            rs.con_tot.soil_out[ix(i)] += out / 1000.0;
            rs.con_tot.soil_held[ix(i)] += held / 1000.0;
        }
        advance_process_clock(rs, rs.soil_con_last, rs.soil_con_next, rs.ov_con_step_days);
        return;
    }
    for (int i = 1; i <= rs.num_constituents; ++i) {
        if (rs.constituent_type[ix(i)] != 1) continue;
        const size_t ii = ix(i);
        std::vector<double>& m = c.layer_mass[ii];
        std::vector<double>& book = c.book_soil_decay;
        for (int j = 1; j <= cells; ++j) {
            const size_t jj = ix(j);
            const double f = layer_dissolved_fraction(rs, i, j);
            c.layer_fraction[ii][jj] = f;
            // Decay of the dissolved part, at most all of it.
            const double dissolved = f * std::max(m[jj], 0.0);
            const double loss = std::min(dissolved * c.soil_decay[ii][jj] * dt, dissolved);
            book[jj] = loss;
            c.book_soil_held[jj] = 0.0;
            if (!rs.soil_static_conc) {
                m[jj] -= loss;
                // What the water took from the layer, and what infiltrated into it.
                m[jj] += -c.pend_soil_exchange[ii][jj] + c.pend_soil_in[ii][jj];
            } else {
                // Held fixed, the layer gave what the water took and the decay
                // counted, and swallowed what infiltrated.
                c.book_soil_held[jj] = c.pend_soil_exchange[ii][jj] + loss - c.pend_soil_in[ii][jj];
            }
            c.pend_soil_exchange[ii][jj] = 0.0;
            c.pend_soil_in[ii][jj] = 0.0;
            if (m[jj] < 0.0) m[jj] = 0.0;
            const double solids = layer_solids(rs, j);
            c.layer_conc[ii][jj] = solids > 0.0 ? m[jj] / solids * 1000.0 : 0.0;
            // Land mass: the layer less what is queued to leave it.
            c.land[ii][jj] = m[jj] - c.pend_exchange[ii][jj];
        }
        double decayed = 0.0, held = 0.0;   // g, in cell order
        for (int j = 1; j <= cells; ++j) {
            decayed += book[ix(j)];
            held += c.book_soil_held[ix(j)];
        }
        rs.con_tot.soil_decay[ii] += decayed / 1000.0;
        rs.con_tot.soil_held[ii] += held / 1000.0;
    }
    advance_process_clock(rs, rs.soil_con_last, rs.soil_con_next, rs.ov_con_step_days);
}
