// Plain Green-Ampt infiltration (card green_ampt).
#include "subsurface/green_ampt.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/dates.h"
#include "core/error.h"
#include "core/file_write.h"
#include "core/parallel.h"
#include "run/run_state.h"

namespace {

constexpr double kZeroDepth = 1e-16;          // m: a depth at most this counts as none
constexpr double kMetresPerSecondToCmPerHour = 360000.0;

bool spans(const std::vector<double>& v, int n) {
    return static_cast<int>(v.size()) > n;
}

}  // namespace

green_ampt_solution solve_green_ampt_depth(double f0, double s, double kt) {
    green_ampt_solution r;
    r.depth = f0;
    if (!(kt > 0.0)) return r;          // no conductivity or no time: nothing infiltrates
    if (!(s > kGreenAmptMinSuction)) {  // no suction head: the wetting front moves at K
        r.depth = f0 + kt;
        return r;
    }
    const double base = f0 + s;
    // The root lies in (F0, F0 + K t + S + sqrt(S K t)]: g(F0) = K t > 0, and
    // ln(1 + y) <= sqrt(y) makes g non-positive at the upper end.
    double lo = f0;
    double f1 = f0 + kGreenAmptStartStep;
    double hi = std::max(f0 + kt + s + std::sqrt(s * kt), f1);
    double g = 0.0;
    bool done = false;
    while (!done) {
        g = s * std::log((f1 + s) / base) + kt - f1 + f0;
        ++r.passes;
        if (g > 0.0) lo = f1;
        else if (g < 0.0) hi = f1;
        done = !(std::fabs(g) > kGreenAmptTolerance) || r.passes >= kGreenAmptMaxPasses;
        double next = f1 - g / (s / (f1 + s) - 1.0);
        if (!std::isfinite(next) || !(next > lo) || !(next < hi)) {
            // A step out of the bracket: bisect, but keep a converged value.
            next = !(std::fabs(g) > kGreenAmptTolerance) ? f1 : 0.5 * (lo + hi);
        }
        f1 = next;
    }
    r.converged = !(std::fabs(g) > kGreenAmptTolerance);
    r.depth = std::max(f1, f0);
    return r;
}

void init_suction_deficit(run_state& rs) {
    const int n = rs.GNUM;
    rs.suction_deficit.assign(static_cast<size_t>(n) + 1, 0.0);
    double* out = rs.suction_deficit.data();
    const double* cap = rs.cap_drive.data();
    const double* phi = rs.phi.data();
    const double* thi = rs.thi.data();
#pragma omp parallel for schedule(static) if (n >= kParallelCells)
    for (int i = 1; i <= n; ++i) out[i] = cap[i] * (phi[i] - thi[i]);
}

void infiltrate_green_ampt(run_state& rs, double seconds) {
    const int n = rs.GNUM;
    if (n <= 0) return;
    if (!spans(rs.ksat, n) || !spans(rs.cap_drive, n) || !spans(rs.phi, n) ||
        !spans(rs.thi, n) || !spans(rs.cum_infil, n) || !spans(rs.ov_depth, n)) {
        std::printf("Error: Green & Ampt infiltration needs the hydraulic conductivity, capillary "
                    "head, porosity and initial moisture of every cell.\n");
        set_error(kErrorPrinted);
        return;
    }
    if (!(seconds > 0.0)) return;   // no time has passed: nothing infiltrates
    if (!spans(rs.suction_deficit, n)) init_suction_deficit(rs);
    if (!spans(rs.infil_rate, n)) rs.infil_rate.assign(static_cast<size_t>(n) + 1, 0.0);
    const bool reduce = rs.area_reduction && spans(rs.area_reduction_factor, n);

    double* depth = rs.ov_depth.data();
    double* cum = rs.cum_infil.data();
    double* rate = rs.infil_rate.data();
    const double* ksat = rs.ksat.data();
    const double* suction = rs.suction_deficit.data();
    const double* factor = reduce ? rs.area_reduction_factor.data() : nullptr;
    const double t = seconds;
    int unconverged = 0;

#pragma omp parallel for schedule(static) reduction(+ : unconverged) if (n >= kParallelCells)
    for (int i = 1; i <= n; ++i) {
        if (depth[i] < kZeroDepth) {
            rate[i] = 0.0;
            depth[i] = 0.0;
            continue;
        }
        const double k = ksat[i];
        const double s = suction[i] > kGreenAmptMinSuction ? suction[i] : 0.0;
        const green_ampt_solution sol = solve_green_ampt_depth(cum[i], s, k * t);
        if (!sol.converged) ++unconverged;
        double f = (sol.depth > kZeroDepth) ? k * (1.0 + s / sol.depth) : k;   // m/s
        if (factor != nullptr) f *= factor[i];
        double d = f * t;                  // potential depth of the step, m
        if (!(d > 0.0)) d = 0.0;
        if (d >= depth[i]) {               // all ponded water infiltrates
            d = depth[i];
            depth[i] = 0.0;
        } else {
            depth[i] -= d;
        }
        cum[i] += d;
        rate[i] = d / t * kMetresPerSecondToCmPerHour;
    }

    rs.green_ampt_unconverged = unconverged;
    if (unconverged > 0) {
        char text[160];
        std::snprintf(text, sizeof(text),
                      "Warning: the Green & Ampt iteration stopped at its pass limit in %d cells "
                      "(time %lf)\n",
                      unconverged, rs.time);
        if (!rs.quiet) print_message("%s", text);
        file_printf(rs.summary_file, "%s", text);
    }
}
