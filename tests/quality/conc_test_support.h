// A run state holding a hand-made channel network or grid for the
// constituent kernels, without reading any file.
#pragma once
#include <gtest/gtest.h>

#include <vector>

#include "core/error.h"
#include "quality/conc_channel.h"
#include "quality/contaminant.h"
#include "quality/constituent_setup.h"
#include "quality/constituent_steps.h"
#include "run/run_state.h"

namespace conc_test {

constexpr double kJulianStart = 2458000.5;   // any start date, Julian days

// A soil layer of porosity phi and water content theta, contaminant
// partition kd (l/kg) and initial solids concentration load (mg/kg).
struct soil_spec {
    bool on = false;
    double phi = 0.45, theta = 0.3, kd = 0.0, load = 0.0;
};

class ConcTest : public ::testing::Test {
protected:
    void SetUp() override {
        error_record = error_info{};
        rs_ = create_run_state();
        rs_->time = kJulianStart;
    }
    void TearDown() override { destroy_run_state(rs_); }
    run_state& rs() { return *rs_; }

    // Links in a chain 1 -> 2 -> ... (the last one the outlet link), each of
    // `nodes[l]` nodes spaced `dx[l]` m, link type bits `types[l]`, every
    // node holding flow area `area` m2; one constituent, no cells.
    void chain(const std::vector<int>& nodes, const std::vector<double>& dx,
               const std::vector<int>& types, double area) {
        run_state& r = rs();
        const int links = static_cast<int>(nodes.size());
        r.links = links;
        r.maxnodes = 0;
        for (int n : nodes) r.maxnodes = std::max(r.maxnodes, n);
        r.nx.assign(links + 1, 0);
        r.dx.assign(links + 1, 0.0);
        r.ltype.assign(links + 1, 0);
        r.dslink.assign(links + 1, 0);
        r.ndep.assign(links + 1, 0);
        r.uslinks.assign(links + 1, std::vector<int>(2, 0));
        for (int l = 1; l <= links; ++l) {
            r.nx[l] = nodes[l - 1];
            r.dx[l] = dx[l - 1];
            r.ltype[l] = types[l - 1];
            r.dslink[l] = l < links ? l + 1 : 0;
            if (l > 1) {
                r.ndep[l] = 1;
                r.uslinks[l][1] = l - 1;
            }
        }
        const size_t rows = static_cast<size_t>(r.maxnodes) + 2, cols = static_cast<size_t>(links) + 2;
        r.qp.assign(rows, cols, 0.0);
        r.area.assign(rows, cols, area);
        r.area_old.assign(rows, cols, area);
        r.chan_con_trans = 1;
        r.chan_explic = 1;
        r.overland_constituents = 1;
        r.con_chan = constituent_channel{};   // a fresh network each time
        alloc_constituent_arrays(r, 1);
        init_channel_constituents(r);
        ASSERT_GT(r.con_chan.stride, 0);
    }

    // A row of `cells` cells of 10 m, all `depth` m deep with no flow, one
    // contaminant from the table path at `conc` g/m3 decaying at k_per_day.
    // With `soil.on`, a soil layer of 0.1 m under each cell (see soil_spec).
    void pond(int cells, double depth, double conc, double k_per_day, soil_spec soil = soil_spec()) {
        run_state& r = rs();
        if (soil.on) {
            r.soil_con_trans = 1;
            r.green_ampt = 1;
            r.soil_moist_depth = 10.0;   // cm
            r.phi.assign(static_cast<size_t>(cells) + 1, soil.phi);
            r.thi.assign(static_cast<size_t>(cells) + 1, soil.theta);
        }
        r.GNUM = cells;
        r.cell_size = 10.0;
        const size_t n = static_cast<size_t>(cells) + 1;
        r.ov_depth.assign(n, depth);
        r.ov_qx.assign(n, 0.0);
        r.ov_qy.assign(n, 0.0);
        r.leftcon.assign(n, 0);
        r.rightcon.assign(n, 0);
        r.abovecon.assign(n, 0);
        r.belowcon.assign(n, 0);
        for (int j = 1; j <= cells; ++j) {
            if (j > 1) r.leftcon[j] = j - 1;
            if (j < cells) r.rightcon[j] = j + 1;
        }
        r.overland_constituents = 1;
        r.mapping_table_given = 1;
        r.contaminant_table_option = 1;
        alloc_constituent_arrays(r, 1);
        for (int j = 1; j <= cells; ++j) {
            r.con.conc[1][j] = conc;
            r.con.decay[1][j] = k_per_day;
            r.con.kd[1][j] = soil.kd;
            r.con.land[1][j] = soil.load;
        }
        init_constituent_state(r);
        for (double* last : {&r.soil_con_last, &r.ov_con_rain_last, &r.ov_con_infil_last, &r.ov_con_exchange_last,
                             &r.ov_con_decay_last, &r.ov_con_outlet_last, &r.ov_con_chan_last,
                             &r.ov_con_transport_last})
            *last = r.time;
    }

    // One pass of the overland constituent steps at time + dt (s), every block due.
    void overland_pass(double dt) {
        run_state& r = rs();
        const double days = dt / 86400.0;
        r.ov_con_step_seconds = dt;
        r.ov_con_step_days = days;
        r.time += days;
        for (double* next : {&r.soil_con_next, &r.ov_con_rain_next, &r.ov_con_infil_next, &r.ov_con_exchange_next,
                             &r.ov_con_decay_next, &r.ov_con_outlet_next, &r.ov_con_chan_next,
                             &r.ov_con_transport_next})
            *next = r.time;
        r.rain_next = r.infil_next = r.time + days;
        step_soil_constituents(r);
        step_overland_constituent_sources(r);
        step_overland_constituent_transport(r);
    }

    double overland_mass() {
        double s = 0.0;
        for (int j = 1; j <= rs().GNUM; ++j) s += rs().con.mass[1][j];
        return s;
    }

    size_t at(int link, int node) { return static_cast<size_t>(rs().con_chan.stride * link + node); }
    double& mass(int link, int node) { return rs().con_chan.mass[1][at(link, node)]; }
    double& conc(int link, int node) { return rs().con_chan.conc[1][at(link, node)]; }

    // Sum of the node masses of constituent 1, g.
    double channel_mass() {
        double s = 0.0;
        for (int l = 1; l <= rs().links; ++l)
            for (int j = 1; j <= rs().nx[l]; ++j) s += mass(l, j);
        return s;
    }

    // Concentrations from the masses over area x DX.
    void set_conc_from_mass() {
        for (int l = 1; l <= rs().links; ++l)
            for (int j = 1; j <= rs().nx[l]; ++j) {
                const double v = rs().area(j, l) * rs().dx[l];
                conc(l, j) = v > 0.0 ? mass(l, j) / v : 0.0;
            }
    }

private:
    run_state* rs_ = nullptr;
};

}  // namespace conc_test
