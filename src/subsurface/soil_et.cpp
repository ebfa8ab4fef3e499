// Evapotranspiration withdrawal from surface water and the root zone, and the
// gravity drainage of the root zone (long-term runs, redistribution and
// layered Green-Ampt). Depths in cm inside the cell step; totals in m and m3.
#include "subsurface/soil_et.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/parallel.h"
#include "hydromet/hydromet.h"
#include "run/run_state.h"

namespace {

constexpr double kZero = 1e-16;              // cm: a depth at most this counts as none
constexpr double kSurfaceRedist = 1e-16;     // cm: surface water threshold, redistribution soils
constexpr double kSurfaceLayered = 1e-14;    // cm: the same, layered soils
constexpr double kSecondsPerDay = 86400.0;
constexpr double kSecondsPerHour = 3600.0;
constexpr double kCmPerMetre = 100.0;
constexpr double kFieldSuction = 336.5;      // cm of water at 33 kPa

template <class T>
void ensure_cells(std::vector<T>& v, int n) {
    if (static_cast<int>(v.size()) != n + 1) v.assign(static_cast<size_t>(n) + 1, T{});
}

template <class T>
T value_or(const std::vector<T>& v, int i, T fallback) {
    return static_cast<int>(v.size()) > i ? v[static_cast<size_t>(i)] : fallback;
}

// Brooks-Corey exponent 3/lambda + 2; 0 marks a soil that does not drain
// (lambda not a positive number: the limit of Se^(3/lambda) for Se < 1).
double drainage_exponent(double lambda) {
    return lambda > kZero && std::isfinite(lambda) ? 3.0 / lambda + 2.0 : 0.0;
}

root_layer make_layer(double thickness, double porosity, double residual, double field_capacity,
                      double wilting) {
    root_layer l;
    l.thickness = thickness;
    l.residual = residual * thickness;
    l.saturated = porosity * thickness;
    l.no_stress = field_capacity * thickness;
    l.wilting = wilting * thickness;
    return l;
}

// Depth of the root zone of a cell, cm: above a water table the unsaturated
// depth the water table leaves (0 when it reaches the ground); without one
// the depth of the soil store.
double root_depth(const run_state& rs, int i, double soil_depth) {
    if ((rs.water_table || rs.groundwater) && static_cast<int>(rs.unsat_depth.size()) > i) {
        return std::min(std::max(rs.unsat_depth[static_cast<size_t>(i)], 0.0), soil_depth);
    }
    return soil_depth;
}

// Root zone of a redistribution cell: one soil from the maps.
root_zone redist_zone(const run_state& rs, int i, double dt) {
    root_zone z;
    z.depth = root_depth(rs, i, rs.soil_moist_depth);
    if (z.depth < kZero) return z;
    const size_t c = static_cast<size_t>(i);
    const double phi = rs.phi[c], thr = rs.thr[c];
    const double lambda = rs.pore_dist_index[c];
    const double fc = brooks_corey_field_capacity(phi, thr, lambda, rs.cap_drive[c] * kCmPerMetre);
    const double wilting = std::min(value_or(rs.soil_wilting_point, i, thr), phi);
    layer_drainage d;
    d.k_a = d.k_b = rs.ksat[c] * dt * kCmPerMetre;
    d.exp_a = d.exp_b = drainage_exponent(lambda);
    const double t = rs.top_layer_depth;
    if (t < z.depth) {
        z.layers = 2;
        z.upper = make_layer(t, phi, thr, fc, wilting);
        z.lower = make_layer(z.depth - t, phi, thr, fc, wilting);
    } else {
        z.layers = 1;
        z.upper = make_layer(z.depth, phi, thr, fc, wilting);
    }
    z.upper.drain = z.lower.drain = d;
    return z;
}

// Root zone of a layered cell: layers 1 and 2 of its soil (layer 3 adds to
// the lower layer's conductivity when the root zone reaches it).
root_zone layered_zone(const soil_layer_record& s, double depth, double dt) {
    root_zone z;
    z.depth = depth;
    z.cap_upper_drain = true;
    if (z.depth < kZero) return z;
    auto k = [&](int layer) { return s.ksat[layer] * dt / kSecondsPerHour; };   // cm over the step
    auto x = [&](int layer) { return drainage_exponent(s.pore_index[layer]); };
    auto layer = [&](int m, double thickness) {
        return make_layer(thickness, s.porosity[m], s.residual[m], s.field_capacity[m], s.wilting_point[m]);
    };
    const double t = s.thickness[0];
    if (t < z.depth) {
        z.layers = 2;
        z.upper = layer(0, t);
        z.lower = layer(1, z.depth - t);
        z.upper.drain = {k(1), x(1), k(0), x(0)};
        const bool third = z.depth >= s.thickness[0] + s.thickness[1];
        z.lower.drain = third ? layer_drainage{k(1), x(1), k(2), x(2)} : layer_drainage{k(1), x(1), k(1), x(1)};
    } else {
        z.layers = 1;
        z.upper = layer(0, z.depth);
        z.upper.drain = {k(0), x(0), k(0), x(0)};
    }
    return z;
}

// 0 below lo, 1 above hi, linear between.
double ramp(double w, double lo, double hi) {
    if (w >= hi) return 1.0;
    if (w <= lo) return 0.0;
    return (w - lo) / (hi - lo);
}

bool lake_cell(const run_state& rs, int i) {
    if (rs.lakes && value_or(rs.oland_lake_new, i, 0) > 0) return true;
    return rs.channel_lakes && value_or(rs.lake_mask, i, 0) > 0;
}

}  // namespace

double brooks_corey_field_capacity(double porosity, double residual, double lambda, double cap_drive_cm) {
    if (!(lambda > kZero) || !(cap_drive_cm > 0.0) || !(porosity > residual)) return residual;
    const double bubbling = cap_drive_cm * (1.0 + 3.0 * lambda) / (2.0 + 3.0 * lambda);   // cm
    const double se = std::min(1.0, std::pow(bubbling / kFieldSuction, lambda));
    return residual + (porosity - residual) * se;
}

void stress_factors(const root_zone& z, double upper, double lower, bool deardorff, double& f1,
                    double& f2) {
    f1 = f2 = 0.0;
    if (z.layers == 0) return;
    if (deardorff) {
        double f = 0.0;
        if (upper > z.upper.residual) f = z.upper.no_stress > kZero ? upper / z.upper.no_stress : 1.0;
        f1 = f2 = std::min(f, 1.0);
    } else {
        f1 = ramp(upper, z.upper.wilting, z.upper.no_stress);
        f2 = ramp(lower, z.lower.wilting, z.lower.no_stress);
    }
    if (z.layers == 2) {
        f1 *= z.upper.thickness / z.depth;
        f2 *= z.lower.thickness / z.depth;
    } else {
        f2 = 0.0;
    }
}

double layer_drainage_depth(const root_layer& l, double water) {
    if (water - l.no_stress < kZero) return 0.0;
    const double free_space = l.saturated - l.residual;
    if (!(free_space > kZero)) return 0.0;
    const layer_drainage& d = l.drain;
    if (!(d.exp_a > 0.0 && d.exp_b > 0.0 && d.k_a > 0.0 && d.k_b > 0.0)) return 0.0;
    const double se = std::min(1.0, std::max(0.0, (water - l.residual) / free_space));
    const double q = std::sqrt(std::pow(se, d.exp_a) * d.k_a * std::pow(se, d.exp_b) * d.k_b);
    return std::isfinite(q) ? q : 0.0;
}

root_zone_flows step_root_zone(const root_zone& z, double& upper, double& lower, double infiltrated,
                               double demand, bool deardorff) {
    root_zone_flows f;
    const double v = infiltrated;
    if (z.layers == 0) {
        // No root zone: what infiltrated goes on down; nothing is held to withdraw.
        f.q1 = f.q2 = v;
        return f;
    }
    const bool two = z.layers == 2;
    if (demand > kZero) {
        double f1 = 0.0, f2 = 0.0;
        stress_factors(z, upper, lower, deardorff, f1, f2);
        // Only water held above residual (with this step's infiltration) is withdrawn.
        f.e1 = std::min(demand * f1, std::max(0.0, upper + v - z.upper.residual));
        if (two) f.e2 = std::min(demand * f2, std::max(0.0, lower - z.lower.residual));
    }
    // Drainage by the formula from the contents at the start of the step.
    const double tol = 1e-12;   // cm
    double q1 = upper >= z.upper.saturated - tol ? v : layer_drainage_depth(z.upper, upper);
    double q2 = 0.0;
    if (two) {
        const bool lower_full = lower >= z.lower.saturated - tol;
        q2 = lower_full ? q1 : layer_drainage_depth(z.lower, lower);
        if (z.cap_upper_drain && !lower_full) q1 = std::min(q1, q2);
    }
    // Upper layer: never drained below residual, never above saturation.
    q1 = std::min(q1, std::max(0.0, upper + v - f.e1 - z.upper.residual));
    upper += v - q1 - f.e1;
    if (upper > z.upper.saturated) {
        q1 += upper - z.upper.saturated;
        upper = z.upper.saturated;
    }
    if (!two) {
        q2 = q1;
    } else {
        q2 = std::min(q2, std::max(0.0, lower + q1 - f.e2 - z.lower.residual));
        lower += q1 - q2 - f.e2;
        if (lower > z.lower.saturated) {
            q2 += lower - z.lower.saturated;
            lower = z.lower.saturated;
        }
    }
    f.q1 = q1;
    f.q2 = q2;
    return f;
}

double withdraw_surface(double& depth_cm, double dt, double pet, double aet, double threshold,
                        double& evaporated) {
    evaporated = 0.0;
    if (depth_cm > threshold) {
        const double demand = dt * pet;
        if (depth_cm < demand) {
            evaporated = depth_cm;
            depth_cm = 0.0;
            return (dt - evaporated / demand * dt) * aet;
        }
        depth_cm -= demand;
        evaporated = demand;
        return 0.0;
    }
    return dt * aet;
}

void compute_soil_et(run_state& rs) {
    if (!rs.soil_et || !process_due(rs, rs.et_next)) return;
    const int n = rs.GNUM;
    const double dt = (rs.time - rs.et_last) * kSecondsPerDay;   // s
    if (n > 0) {
        for (std::vector<double>* v :
             {&rs.root_zone_upper, &rs.root_zone_lower, &rs.root_zone_water, &rs.bottom_flux,
              &rs.bottom_flux_event, &rs.surface_evap_total, &rs.upper_perc_total, &rs.lower_perc_total,
              &rs.lt_infil_depth, &rs.theta_all, &rs.ov_depth}) {
            ensure_cells(*v, n);
        }
        ensure_cells(rs.no_root_zone, n);
        const bool layered = rs.inf_layered_soil != 0;
        const bool redist_ready = rs.inf_redist && static_cast<int>(rs.phi.size()) > n &&
                                  static_cast<int>(rs.thr.size()) > n && static_cast<int>(rs.ksat.size()) > n &&
                                  static_cast<int>(rs.pore_dist_index.size()) > n &&
                                  static_cast<int>(rs.cap_drive.size()) > n;
        const bool layered_ready = layered && static_cast<int>(rs.soiltype.size()) > n;
        const double threshold = layered ? kSurfaceLayered : kSurfaceRedist;
        const bool deardorff = rs.et_calc_deardorff != 0;
        const bool snow = rs.snow != 0;
        // Per-cell depths of the step (m), summed in cell order below.
        std::vector<double> et_depth(static_cast<size_t>(n) + 1, 0.0);
        std::vector<double> surface_depth(static_cast<size_t>(n) + 1, 0.0);
        std::vector<double> infil_depth(static_cast<size_t>(n) + 1, 0.0);

        const soil_table_store& soils = rs.soil_table;   // read-only on the threads

        // A few powers per cell (about 0.3 us): worth threads on far fewer
        // cells than the light loops, as the rates of evapo_trans.
#pragma omp parallel for schedule(static) if (n >= kParallelCells / 128)
        for (int i = 1; i <= n; ++i) {
            const size_t c = static_cast<size_t>(i);
            if (lake_cell(rs, i)) continue;
            root_zone z;
            const soil_layer_record* soil = nullptr;
            if (layered_ready) {
                const int id = rs.soiltype[c];
                if (id < 0 || id >= subsurface_state::kSoilTableSize) continue;
                soil = &soils[id];
                z = layered_zone(*soil, root_depth(rs, i, soil->thickness[0] + soil->thickness[1]), dt);
            } else if (redist_ready) {
                z = redist_zone(rs, i, dt);
            } else {
                continue;
            }
            const double v = rs.lt_infil_depth[c] * kCmPerMetre;   // cm

            // Withdrawal only from a dry, snow-free cell.
            double demand = 0.0, evaporated = 0.0;
            const bool raining = value_or(rs.cell_rain_rate, i, 0.0) > kZero;
            const bool snowy = snow && value_or(rs.snow_swe, i, 0.0) >= kZero;
            if (!raining && !snowy) {
                double depth_cm = rs.ov_depth[c] * kCmPerMetre;
                demand = withdraw_surface(depth_cm, dt, value_or(rs.pet_rate, i, 0.0),
                                          value_or(rs.aet_rate, i, 0.0), threshold, evaporated);
                if (evaporated > 0.0) rs.ov_depth[c] = depth_cm > 0.0 ? rs.ov_depth[c] - evaporated / kCmPerMetre : 0.0;
            }

            double upper = rs.root_zone_upper[c], lower = rs.root_zone_lower[c];
            const root_zone_flows f = step_root_zone(z, upper, lower, v, demand, deardorff);
            rs.root_zone_upper[c] = upper;
            rs.root_zone_lower[c] = lower;
            rs.root_zone_water[c] = upper + lower;
            rs.no_root_zone[c] = z.layers == 0 ? 1 : 0;
            rs.bottom_flux[c] += f.q2;
            rs.bottom_flux_event[c] += f.q2;
            rs.lower_perc_total[c] += f.q2;
            rs.upper_perc_total[c] += f.q1;
            rs.surface_evap_total[c] += evaporated;
            rs.lt_infil_depth[c] = 0.0;
            et_depth[c] = (evaporated + f.e1 + f.e2) / kCmPerMetre;
            surface_depth[c] = evaporated / kCmPerMetre;
            infil_depth[c] = v / kCmPerMetre;

            // Moisture shown for the top of the soil.
            if (z.layers == 0) rs.theta_all[c] = soil != nullptr ? soil->porosity[0] : rs.phi[c];
            else rs.theta_all[c] = upper / z.upper.thickness;
        }

        double total = 0.0, surface = 0.0, infiltrated = 0.0;
        for (int i = 1; i <= n; ++i) {
            total += et_depth[static_cast<size_t>(i)];
            surface += surface_depth[static_cast<size_t>(i)];
            infiltrated += infil_depth[static_cast<size_t>(i)];
        }
        const double area = rs.cell_size * rs.cell_size;   // m2
        rs.et_depth_step = total;
        rs.et_surface_depth_step = surface;
        rs.infil_depth_total += infiltrated;
        rs.vol_evaporation += area * total;
        rs.event_vol_total_evaporation += area * total;
        // Surface water is not soil water: the soil balance leaves it out.
        rs.vol_direct_evaporation += area * surface;
        // The surface water of an event left by evaporation: the event's books
        // count it (zeroed at the event start, taken at the event end).
        rs.event_surface_evaporation += area * surface;
    }
    rs.et_last = rs.time;
    rs.et_next = rs.time + rs.et_step_days;
}
