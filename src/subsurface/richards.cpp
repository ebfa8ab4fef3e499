// Richards column solver and its infiltration step.
#include "subsurface/richards.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "core/error.h"
#include "core/file_write.h"
#include "run/run_state.h"
#include "subsurface/richards_soil.h"

namespace {

constexpr double kSecondsPerHour = 3600.0;
constexpr double kCmPerMetre = 100.0;
constexpr double kZeroDepth = 1e-16;         // cm: a depth at most this counts as none
constexpr double kPondedStart = 0.001;       // h: a first sub-step longer than this under a wet top ...
constexpr double kPondedFirstStep = 5.0 / kSecondsPerHour;   // ... becomes 5 s, in h
constexpr double kLimitedStep = 0.02;        // h: longest sub-step after the surface limited the flux
constexpr double kSmallestChange = 1e-4;     // m3/m3: the content change a sub-step is sized from
constexpr double kPicardTolerance = 0.1;     // percent: head change that ends the passes
constexpr int kPondedPasses = 5;             // passes in the ponded state
constexpr double kStepTolerance = 1e-8;      // h: a remainder this close to a full sub-step is taken whole
constexpr double kSmallestStep = 1e-7;       // h: halving the sub-step below this stops the run
constexpr double kResetTolerance = 1e-9;     // cm: content resets of a pass beyond this call for another
constexpr int kResetPasses = 8;              // passes a sub-step may add to mend content resets
constexpr double kShortestResetStep = 1e-5;  // h: a sub-step still resetting is halved down to this
constexpr int kParallelColumns = 4;          // fewer columns run on one thread
constexpr double kFrozenIndex = 83.0;        // frozen-ground index above which a column rests, -

// Conductivity of the face between nodes l-1 and l, cm/h.
double face_conductivity(double ks, double k_upper, double k_lower, const richards_settings& s) {
    if (s.k_option == 1) return ks * ((1.0 - s.weight) * k_lower + s.weight * k_upper);
    return ks * std::sqrt(k_upper * k_lower);
}

// 0 at or below lo, 1 at or above hi, linear between.
double ramp(double x, double lo, double hi) {
    if (x >= hi) return 1.0;
    if (x <= lo) return 0.0;
    return (x - lo) / (hi - lo);
}

// Spreads a root-zone demand of `rate` cm/h over the nodes within `root`
// cm of the surface (per cm of depth), each node's share scaled by its
// content between wilting point and field capacity and capped so that the
// sub-step `dt` (h) leaves it at or above its wilting point. Fills sink
// (1/h, <= 0) and returns the rate the nodes give, cm/h.
double spread_root_sink(const richards_node_soil* soil, const double* theta, const double* theta_s,
                        const double* dz, int n, double rate, double root, double dt, double* sink) {
    double taken = 0.0;
    double top = 0.0;   // depth of the node's top face, cm
    for (int l = 1; l <= n - 1 && top < root; ++l) {
        const double bottom = top + dz[l];
        const double share = (std::min(bottom, root) - top) / dz[l];
        top = bottom;
        const double floor = soil[l].theta_r + kRichardsResidualMargin * (theta_s[l] - soil[l].theta_r);
        const double lowest = std::max(soil[l].theta_wp, floor);
        double s = rate / root * share * ramp(theta[l], soil[l].theta_wp, soil[l].theta_fc);
        s = std::min(s, std::max(0.0, theta[l] - lowest) / dt);
        sink[l] = -s;
        taken += s * dz[l];
    }
    return taken;
}

// The top face conductivity of the ponded state, cm/h.
double ponded_face(const richards_column& col, const richards_settings& s) {
    const double ks = col.soil[1].ks;
    const double k1 = col.k_rel[1];
    if (s.upper_option == 2) return ks;
    if (s.upper_option == 3) return face_conductivity(ks, 1.0, k1, s);
    return face_conductivity(ks, k1, k1, s);
}

}  // namespace

void richards_work::size(int slots) {
    const size_t n = static_cast<size_t>(slots);
    if (up.size() >= n) return;
    for (std::vector<double>* v : {&up, &diag, &low, &rhs, &kface, &head0, &theta0, &head_prev, &k0, &cap0, &sink}) {
        v->assign(n, 0.0);
    }
}

void solve_tridiagonal(int first, int n, const double* up, double* diag, const double* low,
                       double* rhs) {
    for (int i = first + 1; i <= n; ++i) {
        const double m = low[i] / diag[i - 1];
        diag[i] -= m * up[i - 1];
        rhs[i] -= m * rhs[i - 1];
    }
    rhs[n] = rhs[n] / diag[n];
    for (int i = n - 1; i >= first; --i) rhs[i] = (rhs[i] - up[i] * rhs[i + 1]) / diag[i];
}

void richards_step_column(richards_column& col, double* theta, double* dz, const double* theta_s,
                          int count, double hours, const richards_settings& s, richards_work& w,
                          richards_cell_io& io) {
    io.infiltrated = io.drained = io.column_error = 0.0;
    io.pond_evaporated = io.soil_evaporated = 0.0;
    io.sub_steps = 0;
    io.failed = false;
    const int n = count;
    if (n < 2 || !(hours > 0.0)) return;   // no active node, or no time
    w.size(n + 2);
    double* h = col.head.data();
    double* kr = col.k_rel.data();
    double* cap = col.capacity.data();
    double* q = col.flux.data();
    double* src = col.source.data();
    const richards_node_soil* soil = col.soil.data();

    double dt = std::min(io.dtr > 0.0 ? io.dtr : hours, hours);
    if (dt > kPondedStart && h[1] >= kZeroDepth) dt = kPondedFirstStep;
    double dt_next = dt;
    double remaining = hours;

    while (remaining > 0.0) {
        for (int l = 0; l <= n; ++l) {
            w.head0[l] = h[l];
            w.theta0[l] = theta[l];
            w.k0[l] = kr[l];
            w.cap0[l] = cap[l];
            src[l] = 0.0;
            w.sink[l] = 0.0;
        }
        // Evaporation demand: the surface water first; when it runs dry the
        // root zone is asked the actual rate over the rest of the sub-step.
        double p = io.pond;          // surface water after evaporation, cm
        double pond_evap = 0.0;      // cm
        double soil_rate = 0.0;      // demand on the root zone, cm/h
        if (io.pet > 0.0) {
            const double want = io.pet * dt;
            if (io.pond > want) {
                pond_evap = want;
                p = io.pond - want;
            } else {
                pond_evap = std::max(io.pond, 0.0);
                p = 0.0;
                soil_rate = io.aet * (dt - pond_evap / io.pet) / dt;
            }
        }
        int state = io.state;
        double top_head = 0.0;       // head of node 0 in the ponded state, cm
        double sink_rate = 0.0;      // rate the root-zone nodes give, cm/h
        if (state == 2 && p > kZeroDepth) {
            top_head = p - 0.5 * dz[0];
        } else if ((state == 2 && h[1] >= 0.0) || state == 3) {
            top_head = -0.5 * dz[0];
            state = 2;
        } else {
            state = 1;
            if (soil_rate > 0.0 && io.root_depth > kZeroDepth) {
                sink_rate = spread_root_sink(soil, w.theta0.data(), theta_s, dz, n, soil_rate,
                                             io.root_depth, dt, w.sink.data());
            } else if (p > 0.0) {
                src[1] = p / remaining / dz[1];
            }
        }

        for (int l = 0; l <= n; ++l) w.head_prev[l] = w.head0[l];
        // The ponded state takes no root-zone sink.
        auto clear_sink = [&]() {
            for (int l = 0; l <= n; ++l) w.sink[l] = 0.0;
            sink_rate = 0.0;
        };
        bool failed = false;
        bool limited = false;
        double err = 0.0;    // resets of the last pass, cm
        double change = 0.0; // largest content change of the sub-step's passes
        int passes = state == 1 ? s.iter_max : kPondedPasses;
        int extra = 0;       // passes added to mend content resets
        for (int pass = 1; pass <= passes; ++pass) {
            // Face conductivities; in the flux state the top face is closed
            // and the surface water enters node 1 as a source.
            w.kface[1] = state == 1 ? 0.0 : ponded_face(col, s);
            for (int l = 2; l <= n; ++l) w.kface[l] = face_conductivity(soil[l].ks, kr[l - 1], kr[l], s);
            for (int l = 1; l <= n - 1; ++l) {
                const double mp = 0.5 * (dz[l] + dz[l + 1]);
                const double mm = 0.5 * (dz[l - 1] + dz[l]);
                const double kp = w.kface[l + 1];
                const double km = w.kface[l];
                w.up[l] = -kp / (dz[l] * mp);
                w.low[l] = -km / (mm * dz[l]);
                w.diag[l] = kp / (dz[l] * mp) + cap[l] / dt + km / (dz[l] * mm);
                // Mixed form about the pass's heads and contents (the sub-step
                // start on the first pass): cap (h' - h) + theta - theta0 is
                // the content change, so that the passes converge on contents
                // that match their heads.
                w.rhs[l] = cap[l] / dt * h[l] - (theta[l] - w.theta0[l]) / dt - kp / dz[l] + km / dz[l] +
                           src[l] + w.sink[l];
            }
            if (state == 2) w.rhs[1] -= w.low[1] * top_head;
            w.low[1] = 0.0;
            if (s.water_table) {
                w.rhs[n - 1] -= w.up[n - 1] * h[n];
            } else {
                w.diag[n - 1] += w.up[n - 1];
            }
            w.up[n - 1] = 0.0;
            solve_tridiagonal(1, n - 1, w.up.data(), w.diag.data(), w.low.data(), w.rhs.data());
            for (int l = 1; l <= n - 1; ++l) {
                if (!std::isfinite(w.rhs[l])) failed = true;
            }
            if (failed && state == 1) {
                // The flux state gave no solution: try the ponded state.
                state = 2;
                top_head = p - 0.5 * dz[0];
                src[1] = 0.0;
                clear_sink();
                failed = false;
                passes = kPondedPasses;
                pass = 0;
                continue;
            }
            if (failed) break;
            const double h_bottom = s.water_table ? h[n] : w.rhs[n - 1];
            const double h_top = state == 2 ? top_head : w.rhs[1];
            auto head_at = [&](int l) { return l == 0 ? h_top : (l == n ? h_bottom : w.rhs[l]); };
            for (int l = 1; l <= n; ++l) {
                const double mm = 0.5 * (dz[l - 1] + dz[l]);
                q[l] = w.kface[l] * (1.0 - (head_at(l) - head_at(l - 1)) / mm);
            }
            if (state == 1) {
                const double supply = src[1] * dz[1];   // cm/h
                const double can_pass =
                    ponded_face(col, s) * (1.0 - (w.rhs[1] + 0.5 * dz[0]) / dz[1]);
                if (supply > 0.0 && supply > can_pass) {
                    // The top face cannot take the surface water: ponded state.
                    state = 2;
                    top_head = p - 0.5 * dz[0];
                    src[1] = 0.0;
                    clear_sink();
                    passes = kPondedPasses;
                    pass = 0;
                    continue;
                }
                q[1] = supply;
            }
            limited = false;
            if (q[1] > 0.0 && q[1] > p / dt) {
                q[1] = std::max(0.0, p / dt);
                limited = true;
            }
            // Contents from the face fluxes, then heads from the contents.
            err = 0.0;
            for (int l = 1; l <= n - 1; ++l) {
                double th = w.theta0[l] + ((q[l] - q[l + 1]) / dz[l] + w.sink[l]) * dt;
                if (!std::isfinite(th)) {
                    failed = true;
                    break;
                }
                change = std::max(change, std::fabs(th - w.theta0[l]));
                const double floor = soil[l].theta_r + kRichardsResidualMargin * (theta_s[l] - soil[l].theta_r);
                if (th < floor) {
                    err += (floor - th) * dz[l];
                    th = floor;
                }
                if (th >= theta_s[l]) {
                    err += (theta_s[l] - th) * dz[l];
                    th = theta_s[l];
                    h[l] = std::max(w.rhs[l], 0.0);
                } else {
                    h[l] = richards_head_of_theta(soil[l], theta_s[l], th, s.model);
                }
                theta[l] = th;
            }
            if (failed) break;
            if (!s.water_table) {
                h[n] = h[n - 1];
                theta[n] = theta[n - 1];
            }
            h[0] = h[1];
            theta[0] = theta[1];
            richards_update_row(col, theta, theta_s, n, s.model);
            double c = 0.0;
            for (int l = 1; l <= n - 1; ++l) {
                if (h[l] != 0.0) c = std::max(c, std::fabs((h[l] - w.head_prev[l]) / h[l]) * 100.0);
            }
            // Another pass from this pass's heads, contents, conductivities
            // and capacities. A pass that reset contents (a node pushed past
            // saturation by a capacity taken at a drier head, or below the
            // floor) is not final: up to kResetPasses passes are added.
            const bool reset = std::fabs(err) > kResetTolerance;
            if ((pass < passes && c > kPicardTolerance) || (reset && extra < kResetPasses)) {
                if (pass >= passes) {
                    ++extra;
                    ++passes;
                }
                for (int l = 0; l <= n; ++l) w.head_prev[l] = h[l];
                continue;
            }
            break;
        }
        if (failed || (std::fabs(err) > kResetTolerance && dt > kShortestResetStep)) {
            // No finite solution, or contents still reset beyond the
            // tolerance after the added passes: the sub-step is halved from
            // the saved state.
            for (int l = 0; l <= n; ++l) {
                h[l] = w.head0[l];
                theta[l] = w.theta0[l];
                kr[l] = w.k0[l];
                cap[l] = w.cap0[l];
            }
            dt *= 0.5;
            if (failed && dt < kSmallestStep) {
                io.failed = true;
                return;
            }
            continue;
        }
        ++io.sub_steps;
        io.column_error += err;
        double next = dt * s.dtheta_max / std::max(change, kSmallestChange);
        if (limited) next = std::min(next, kLimitedStep);

        // Surface water after the step's evaporation and top flux.
        double pond = io.pond - pond_evap - q[1] * dt;
        if (pond > kZeroDepth) {
            const double losing = std::max(q[1], 0.0) + io.pet;   // cm/h
            if (losing > 0.0) next = std::min(next, pond / losing);
            io.state = state;
        } else {
            io.column_error -= pond;   // a rounding remainder of the surface water is reset to 0
            pond = 0.0;
            if (state == 2 && h[1] >= 0.0) {
                io.state = 3;
                next = std::min(next, kLimitedStep);
            } else {
                io.state = 1;
            }
        }
        io.pond = pond;
        io.infiltrated += q[1] * dt;
        io.drained += q[n] * dt;
        io.pond_evaporated += pond_evap;
        io.soil_evaporated += sink_rate * dt;

        remaining -= dt;
        const double full = std::min(hours, next);
        dt = (remaining < full || std::fabs(remaining - full) < kStepTolerance) ? remaining : full;
        dt_next = next;
    }
    io.dtr = dt_next;
}

double solve_richards(run_state& rs, double seconds, int /*event_start*/) {
    const int n = rs.GNUM;
    if (n <= 0 || static_cast<int>(rs.richards_columns.size()) <= n || !(seconds > 0.0)) return 0.0;
    const double hours = seconds / kSecondsPerHour;
    richards_settings s;
    s.model = rs.richards_c_option;
    s.k_option = rs.richards_k_option;
    s.weight = rs.richards_weight;
    s.upper_option = rs.richards_upper_option;
    s.iter_max = rs.richards_iter_max;
    s.dtheta_max = rs.richards_dtheta_max;
    s.water_table = rs.water_table != 0;

    const size_t slots = static_cast<size_t>(n) + 1;
    std::vector<char> failed(slots, 0);
    std::vector<double> created(slots, 0.0);     // column error of the step, cm
    std::vector<double> pond_evap(slots, 0.0);   // surface water evaporated in the step, cm
    std::vector<double> soil_et(slots, 0.0);     // root-zone evapotranspiration of the step, cm
    const bool wetlands = rs.wetlands && rs.wetland_mask.size() > static_cast<size_t>(n);

    // Long-term runs: evaporation demand of dry cells and frozen ground.
    const bool long_term = rs.long_term != 0;
    const bool demand = long_term && rs.pet_rate.size() >= slots && rs.aet_rate.size() >= slots;
    const bool frozen_known = long_term && rs.cfgi.size() >= slots;
    const bool rain_known = rs.cell_rain_rate.size() >= slots;
    const bool snow_known = rs.snow != 0 && rs.snow_swe.size() >= slots;
    const bool overland_lakes = rs.lakes && rs.oland_lake_new.size() >= slots;
    const bool channel_lakes = rs.channel_lakes && rs.lake_mask.size() >= slots;
    const bool vegetation_roots = rs.et_calc_penman && rs.veg_height.size() >= slots;
    if (demand && rs.direct_evaporation.size() < slots) rs.direct_evaporation.resize(slots, 0.0);

#pragma omp parallel if (n >= kParallelColumns)
    {
        richards_work w;
#pragma omp for schedule(static)
        for (int i = 1; i <= n; ++i) {
            const size_t c = static_cast<size_t>(i);
            if (wetlands && rs.wetland_mask[c] > 0) continue;
            if (frozen_known && rs.cfgi[c] > kFrozenIndex) {
                rs.infil_rate[c] = 0.0;   // frozen: the column rests and takes no water
                continue;
            }
            richards_cell_io io;
            // Lake water evaporates as the lake's; a raining cell, or one under
            // a snow pack, takes none.
            const bool lake = (overland_lakes && rs.oland_lake_new[c] > 0) || (channel_lakes && rs.lake_mask[c] > 0);
            const bool covered = (rain_known && rs.cell_rain_rate[c] > 0.0) ||
                                 (snow_known && rs.snow_swe[c] >= kZeroDepth);
            if (demand && !lake && !covered) {
                io.pet = rs.pet_rate[c] * kSecondsPerHour;
                io.aet = rs.aet_rate[c] * kSecondsPerHour;
                io.root_depth = rs.soil_moist_depth;
                if (vegetation_roots) io.root_depth = std::min(io.root_depth, rs.veg_height[c] * kCmPerMetre);
            }
            if (rs.yes_exfil[c] == 1) {
                // The water table stands at the ground: only the surface water evaporates.
                const double pond = rs.ov_depth[c] * kCmPerMetre;
                const double e = std::min(std::max(pond, 0.0), io.pet * hours);
                if (e > 0.0) {
                    rs.ov_depth[c] = (pond - e) / kCmPerMetre;
                    rs.direct_evaporation[c] += e;
                    pond_evap[c] = e;
                }
                continue;
            }
            io.pond = rs.ov_depth[c] * kCmPerMetre;
            io.state = rs.bound_type[c];
            io.dtr = rs.dtr[c];
            richards_step_column(rs.richards_columns[c], rs.richards_theta[c].data(),
                                 rs.richards_dz[c].data(), rs.richards_theta_s[c].data(),
                                 rs.richards_nodes[c], hours, s, w, io);
            if (io.failed) {
                failed[c] = 1;
                continue;
            }
            rs.ov_depth[c] = io.pond / kCmPerMetre;
            rs.bound_type[c] = io.state;
            rs.dtr[c] = io.dtr;
            rs.cum_infil[c] += io.infiltrated / kCmPerMetre;
            rs.inf_rich[c] += io.infiltrated / kCmPerMetre;
            rs.infil_rate[c] = io.infiltrated / hours;
            rs.gw_recharge_depth[c] += io.drained;
            rs.masserror[c] += io.column_error;
            created[c] = io.column_error;
            if (io.pond_evaporated > 0.0) rs.direct_evaporation[c] += io.pond_evaporated;
            pond_evap[c] = io.pond_evaporated;
            soil_et[c] = io.soil_evaporated;
        }
    }
    for (int i = 1; i <= n; ++i) {
        if (!failed[static_cast<size_t>(i)]) continue;
        char text[400];
        std::snprintf(text, sizeof(text),
                      "Error: the Richards column of cell %d has no finite solution even with "
                      "sub-steps of %g s, in the infiltration step ending at day %.6f.\n",
                      i, kSmallestStep * kSecondsPerHour, rs.time);
        write_report_text(current_summary_file, text);
        set_error(kErrorPrinted);
        error_record.stop = 1;
        return 0.0;
    }
    const double area = rs.cell_size * rs.cell_size;   // m2
    double total = 0.0, surface = 0.0, soil = 0.0;   // cm summed over the cells, in cell order
    for (size_t c = 1; c < slots; ++c) {
        total += created[c];
        surface += pond_evap[c];
        soil += soil_et[c];
    }
    rs.vol_richards_column_error += total / kCmPerMetre * area;
    rs.vol_richards_soil_et += soil / kCmPerMetre * area;
    rs.event_richards_soil_et += soil / kCmPerMetre * area;
    return (surface + soil) / kCmPerMetre;
}
