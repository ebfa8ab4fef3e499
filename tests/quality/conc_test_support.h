// A run state holding a hand-made channel network or grid for the
// constituent kernels, without reading any file.
#pragma once
#include <gtest/gtest.h>

#include <vector>

#include "core/error.h"
#include "quality/conc_channel.h"
#include "quality/constituent_setup.h"
#include "quality/constituent_steps.h"
#include "run/run_state.h"

namespace conc_test {

constexpr double kJulianStart = 2458000.5;   // any start date, Julian days

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
