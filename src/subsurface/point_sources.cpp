// Overland point sources and the redistribution start values.
#include "subsurface/point_sources.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "core/dates.h"
#include "run/run_state.h"

namespace {

constexpr double kZeroDepth = 1e-16;        // m or cm: a depth at most this counts as none
constexpr double kContentMargin = 0.01;     // m3/m3 kept from the residual content and porosity
constexpr double kCmPerMetre = 100.0;

template <class T>
void ensure_cells(std::vector<T>& v, int n) {
    if (static_cast<int>(v.size()) <= n) v.resize(static_cast<size_t>(n) + 1, T{});
}

}  // namespace

void start_redistribution_values(run_state& rs) {
    const int n = rs.GNUM;
    const double area = rs.cell_size * rs.cell_size;
    rs.inf_redist_ready = 1;
    for (std::vector<int>* v : {&rs.iter_pond_1, &rs.iter_n, &rs.no_wat_prof, &rs.iter_i_less_k}) {
        ensure_cells(*v, n);
    }
    for (std::vector<double>* v :
         {&rs.redist_water, &rs.cum_infil, &rs.cum_infil_prev, &rs.thi, &rs.thr, &rs.phi,
          &rs.redist_theta, &rs.redist_theta_out}) {
        ensure_cells(*v, n);
    }
    if (rs.long_term) {
        for (std::vector<double>* v : {&rs.top_soil_water, &rs.unsat_depth, &rs.gw_recharge_depth,
                                       &rs.direct_evaporation}) {
            ensure_cells(*v, n);
        }
    }
    for (int i = 1; i <= n; ++i) {
        rs.iter_pond_1[i] = 0;
        rs.iter_n[i] = 0;
        rs.no_wat_prof[i] = 0;
        rs.iter_i_less_k[i] = 0;
        rs.redist_water[i] = 0.0;
        rs.cum_infil[i] = 0.0;
        rs.cum_infil_prev[i] = 0.0;
        if (rs.long_term) {
            double& thi = rs.thi[i];
            const double unsat = rs.unsat_depth[i];
            const double held = std::min(unsat, rs.top_layer_depth);   // cm
            thi = (unsat > kZeroDepth && held > kZeroDepth) ? rs.top_soil_water[i] / held
                                                            : rs.phi[i];
            const double thr = rs.thr[i];
            const double phi = rs.phi[i];
            if (thi < thr || thi > phi) {
                print_message("cell: %d  thi: %lf  thr: %lf   phi: %lf\n", i, thi, thr, phi);
            }
            if (thr > thi) {
                thi = thr + kContentMargin;
                print_message("Problem initializing inf_redist in main loop, thi<thr at grid cell "
                              "%d, increasing it to %lf\n",
                              i, thi);
            }
            if (phi < thi) {
                thi = phi - kContentMargin;
                print_message("Problem initializing inf_redist in main loop, thi>phi at grid cell "
                              "%d, decreasing it to %lf\n",
                              i, thi);
            }
            if (!rs.gw_simulation) {
                rs.vol_unsat_downward += rs.gw_recharge_depth[i] / kCmPerMetre * area;
                rs.gw_recharge_depth[i] = 0.0;
            }
            rs.vol_direct_evaporation += rs.direct_evaporation[i] / kCmPerMetre * area;
            rs.direct_evaporation[i] = 0.0;
        }
        rs.redist_theta[i] = rs.thi[i];
        rs.redist_theta_out[i] = rs.thi[i];
    }
}

void apply_overland_point_sources(run_state& rs) {
    if (!rs.ov_point_source) return;
    if (!rs.ov_point_source_started) {
        // The point sources start on the constituent infiltration clock; a
        // clock that was never set starts now (no water for an unknown past).
        rs.ov_point_source_started = 1;
        const bool clock_set = rs.ov_con_infil_last > 0.0 && rs.ov_con_infil_next > 0.0;
        rs.ov_point_source_last = clock_set ? rs.ov_con_infil_last : rs.time;
        rs.ov_point_source_next = clock_set ? rs.ov_con_infil_next : rs.time;
    }
    if (!process_due(rs, rs.ov_point_source_next)) return;

    const int n = rs.GNUM;
    const double seconds = process_elapsed_seconds(rs, rs.ov_point_source_last);
    const double area = rs.cell_size * rs.cell_size;
    if (n > 0 && seconds > 0.0 && area > 0.0) {
        ensure_cells(rs.ov_point_source_rate, n);
        ensure_cells(rs.ov_depth, n);
        // Serial, in cell order: the totals come out the same for any thread count.
        for (int i = 1; i <= n; ++i) {
            double v = rs.ov_point_source_rate[i] * seconds;   // m3
            if (v == 0.0) continue;
            double& depth = rs.ov_depth[i];
            if (v < 0.0 && -v >= depth * area) {
                v = -depth * area;                 // a sink takes at most the cell's water
                depth = 0.0;
            } else {
                depth += v / area;
            }
            rs.event_vol_ov_point_sources += v;
            rs.vol_ov_point_sources += v;
            // The constituents move the mass of this water at their next sources step.
            if (static_cast<size_t>(i) < rs.con.point_volume.size()) rs.con.point_volume[i] += v;
        }
    }
    rs.ov_point_source_last = rs.time;
    rs.ov_point_source_next = rs.time + rs.rain_step_days;

    // Pull the rain and infiltration updates forward so the new water is taken up at once.
    const double f = rs.time + rs.rain_step_days;
    if (rs.rain_next > f) {
        rs.rain_next = f;
        if (rs.time < rs.rain_last) rs.rain_last = rs.time;
    }
    if (!(f < rs.infil_next)) return;
    rs.infil_next = f;
    if (rs.time < rs.infil_last) rs.infil_last = rs.time;

    if (rs.inf_redist && rs.inf_redist_ready == 0) start_redistribution_values(rs);
}
