// Multi-layer Green-Ampt infiltration (card inf_layered_soil).
#include "subsurface/multilayer.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <vector>

#include "core/dates.h"
#include "core/error.h"
#include "core/file_write.h"
#include "core/parallel.h"
#include "run/run_state.h"
#include "subsurface/green_ampt.h"

namespace {

constexpr double kZeroDepth = 1e-16;          // m: a depth at most this counts as none
constexpr double kCmPerMetre = 100.0;
constexpr double kSecondsPerHour = 3600.0;
constexpr double kSaturatedDeficit = 0.01;    // deficit of a saturated layer, fraction of porosity

template <class T>
bool spans(const std::vector<T>& v, int n) {
    return static_cast<int>(v.size()) > n;
}

// Harmonic mean conductivity (cm/h) of the wetted thicknesses th[0..count-1]
// (cm) with conductivities k[0..count-1] (cm/h); 0 when a wetted layer
// conducts nothing.
double harmonic_conductivity(const double* th, const double* k, int count) {
    double depth = 0.0;
    double resistance = 0.0;   // h
    for (int j = 0; j < count; ++j) {
        if (!(th[j] > 0.0)) continue;
        if (!(k[j] > 0.0)) return 0.0;
        depth += th[j];
        resistance += th[j] / k[j];
    }
    return resistance > 0.0 ? depth / resistance : k[0];
}

}  // namespace

void layered_deficits(const soil_layer_record& soil, const double* theta, double* deficit) {
    for (int k = 0; k < 3; ++k) {
        const double d = soil.porosity[k] - theta[k];
        deficit[k] = d > 0.0 ? d : kSaturatedDeficit * soil.porosity[k];
    }
}

double layered_front_depth(const soil_layer_record& soil, const double* deficit, double f) {
    const double d1 = soil.thickness[0];
    const double d2 = soil.thickness[1];
    double z = f / deficit[0];
    if (z > d1) z = (f - d1 * deficit[0]) / deficit[1] + d1;
    if (z > d1 + d2) z = (f - (d2 * deficit[1] + d1 * deficit[0])) / deficit[2] + d1 + d2;
    return z;
}

layered_front layered_front_layer(const soil_layer_record& soil, const double* deficit, double f,
                                  double zf) {
    const double d1 = soil.thickness[0];
    const double d2 = soil.thickness[1];
    layered_front r;
    if (zf > d1 + d2) {
        r.layer = 3;
        const double h = std::max((f - (d2 * deficit[1] + d1 * deficit[0])) / deficit[2], 0.0);
        const double th[3] = {d1, d2, h};
        r.conductivity = harmonic_conductivity(th, soil.ksat, 3);
    } else if (zf > d1) {
        r.layer = 2;
        const double h = std::max((f - d1 * deficit[0]) / deficit[1], 0.0);
        const double th[2] = {d1, h};
        r.conductivity = harmonic_conductivity(th, soil.ksat, 2);
    } else {
        r.conductivity = std::max(soil.ksat[0], 0.0);
    }
    r.deficit = deficit[r.layer - 1];
    r.suction = soil.cap_head[r.layer - 1];
    return r;
}

void infiltrate_multilayer(run_state& rs, double seconds) {
    const int n = rs.GNUM;
    if (n <= 0) return;
    if (!spans(rs.soiltype, n) || !spans(rs.theta_ml, n) || !spans(rs.cum_infil, n) ||
        !spans(rs.wetdep, n) || !spans(rs.ov_depth, n)) {
        std::printf("Error: multi-layer Green & Ampt infiltration needs the soil type, layer "
                    "water contents and wetting-front depth of every cell.\n");
        set_error(kErrorPrinted);
        return;
    }
    if (!(seconds > 0.0)) return;   // no time has passed: nothing infiltrates
    if (!spans(rs.infil_rate, n)) rs.infil_rate.assign(static_cast<size_t>(n) + 1, 0.0);
    const bool reduce = rs.area_reduction && spans(rs.area_reduction_factor, n);

    double* depth = rs.ov_depth.data();       // m
    double* cum = rs.cum_infil.data();        // m
    double* front = rs.wetdep.data();         // cm
    double* rate = rs.infil_rate.data();      // cm/h
    const int* type = rs.soiltype.data();
    const std::array<double, 5>* theta = rs.theta_ml.data();
    const soil_layer_record* table = rs.soil_table.data();
    const double* factor = reduce ? rs.area_reduction_factor.data() : nullptr;
    const double hours = seconds / kSecondsPerHour;
    // A water table at the ground (yes_exfil 1) leaves no room in the soil.
    const int* exfil = spans(rs.yes_exfil, n) ? rs.yes_exfil.data() : nullptr;
    int unconverged = 0;

#pragma omp parallel for schedule(static) reduction(+ : unconverged) if (n >= kParallelCells)
    for (int i = 1; i <= n; ++i) {
        if (depth[i] < kZeroDepth || (exfil != nullptr && exfil[i] == 1)) {
            rate[i] = 0.0;
            continue;
        }
        const int id = type[i];
        if (id < 1 || id >= subsurface_state::kSoilTableSize) continue;   // refused at start-up
        const soil_layer_record& soil = table[id];
        const double h = depth[i] * kCmPerMetre;   // ponded depth, cm
        double deficit[3];
        layered_deficits(soil, &theta[i][1], deficit);
        const double f0 = cum[i] * kCmPerMetre;    // cm
        const layered_front at = layered_front_layer(soil, deficit, f0, front[i]);
        const double s = at.suction * at.deficit;  // cm
        // The shared Green-Ampt solver works in metres: its tolerance of
        // 1e-6 m and first step of 0.001 m are 1e-4 cm and 0.1 cm here.
        const green_ampt_solution sol =
            solve_green_ampt_depth(f0 / kCmPerMetre, std::max(s, 0.0) / kCmPerMetre,
                                   at.conductivity * hours / kCmPerMetre);
        if (!sol.converged) ++unconverged;
        const double f1 = sol.depth * kCmPerMetre;  // cm
        double q = f1 > kZeroDepth ? (s / f1 + 1.0) * at.conductivity : at.conductivity;   // cm/h
        if (factor != nullptr && factor[i] < 1.0) q *= factor[i];
        if (!(q > 0.0)) q = 0.0;
        double taken;                               // m
        if (q * hours > h) {                        // not enough water: all of it goes in
            taken = depth[i];
            rate[i] = h / hours;
            depth[i] = 0.0;
        } else {
            taken = q * hours / kCmPerMetre;
            rate[i] = q;
            depth[i] -= taken;
        }
        cum[i] += taken;
        front[i] = layered_front_depth(soil, deficit, cum[i] * kCmPerMetre);
    }

    rs.green_ampt_unconverged = unconverged;
    if (unconverged > 0) {
        char text[160];
        std::snprintf(text, sizeof(text),
                      "Warning: the layered Green & Ampt iteration stopped at its pass limit in "
                      "%d cells (time %lf)\n",
                      unconverged, rs.time);
        if (!rs.quiet) print_message("%s", text);
        file_printf(rs.summary_file, "%s", text);
    }
}
