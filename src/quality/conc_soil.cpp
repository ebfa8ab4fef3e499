// Soil-layer constituents under single-layer Green-Ampt, with or without
// redistribution: one layer of the soil-moisture depth under each cell holds
// every contaminant, split between the pore water and the solids by its
// partition coefficient. The layer step
// decays the dissolved part and takes in what the overland water gave it
// (infiltration, exchange) or took from it.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/error.h"
#include "core/file_write.h"
#include "quality/constituent_setup.h"
#include "quality/constituent_steps.h"
#include "run/run_state.h"

namespace {

inline size_t ix(int i) { return static_cast<size_t>(i); }

constexpr double kSolidDensity = 2.65;   // density of the soil solids, kg/l (g/cm3)

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

// Solids of the layer of cell j, kg.
double layer_solids(const run_state& rs, int j) {
    return (1.0 - layer_porosity(rs, j)) * rs.con.layer_thickness * rs.cell_size * rs.cell_size *
           kSolidDensity * 1000.0;
}

}  // namespace

double dissolved_fraction(double theta, double porosity, double kd) {
    if (!(theta > 0.0)) return 0.0;   // no pore water: nothing dissolved, nothing moves
    return theta / ((1.0 - porosity) * kd * kSolidDensity + theta);
}

double layer_water_depth(const run_state& rs, int j) {
    return rs.con.layer_thickness * layer_theta(rs, j);
}

double layer_dissolved_fraction(const run_state& rs, int i, int j) {
    return dissolved_fraction(layer_theta(rs, j), layer_porosity(rs, j), rs.con.kd[ix(i)][ix(j)]);
}

void set_soil_layer_thickness(run_state& rs) {
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
            if (!rs.soil_static_conc) {
                m[jj] -= loss;
                // What the water took from the layer, and what infiltrated into it.
                m[jj] += -c.pend_soil_exchange[ii][jj] + c.pend_soil_in[ii][jj];
                c.pend_soil_exchange[ii][jj] = 0.0;
                c.pend_soil_in[ii][jj] = 0.0;
            }
            if (m[jj] < 0.0) m[jj] = 0.0;
            const double solids = layer_solids(rs, j);
            c.layer_conc[ii][jj] = solids > 0.0 ? m[jj] / solids * 1000.0 : 0.0;
            // Land mass: the layer less what is queued to leave it.
            c.land[ii][jj] = m[jj] - c.pend_exchange[ii][jj];
        }
        double decayed = 0.0;   // g, in cell order
        for (int j = 1; j <= cells; ++j) decayed += book[ix(j)];
        rs.con_tot.soil_decay[ii] += decayed / 1000.0;
    }
    rs.soil_con_last = rs.time;
    rs.soil_con_next = rs.time + rs.ov_con_step_days;
}
