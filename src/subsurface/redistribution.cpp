// Green-Ampt infiltration with redistribution (card inf_redist).
#include "subsurface/redistribution.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "core/error.h"
#include "core/parallel.h"
#include "run/run_state.h"

namespace {

constexpr double kZeroDepth = 1e-16;          // m: a depth at most this counts as none
constexpr double kMetresPerSecondToCmPerHour = 360000.0;
constexpr double kNoDeficit = 1e-20;          // m3/m3: smallest deficit above a profile
constexpr double kSlowRise = 1e-6;            // m/s: supply excess below which the profile rises slowly
constexpr double kSlowRiseTime = 100000.0;    // s: time scale of that slow rise

template <class T>
bool spans(const std::vector<T>& v, int n) {
    return static_cast<int>(v.size()) > n;
}

template <class T>
void ensure_cells(std::vector<T>& v, int n) {
    if (static_cast<int>(v.size()) <= n) v.resize(static_cast<size_t>(n) + 1, T{});
}

// The per-cell arrays of one update.
struct redist_arrays {
    double* depth;            // ov_depth, m
    double* cum;              // F, m
    double* water;            // W, m
    double* theta;            // theta0, m3/m3
    double* shown;            // redist_theta_out, m3/m3
    double* rate;             // infil_rate, cm/h
    int* pond_call;           // iter_pond_1
    int* redist_call;         // iter_n
    int* fronts;              // no_wat_prof
    int* absorb_call;         // iter_i_less_k
    const double* ksat;       // m/s
    const double* psi;        // m
    const double* phi;        // m3/m3
    const double* thr;        // m3/m3
    const double* lambda;     // -
    const double* thi;        // m3/m3
    const int* exfil;         // yes_exfil, null when absent
    const double* factor;     // area_reduction_factor, null when off
    const int* lake;          // oland_lake_new, null when lakes are off
    const int* wetland;       // wetland_mask, null when wetlands are off
    const double* frozen;     // cfgi, frozen-ground index (-), null outside long-term runs
};

// Frozen-ground index above which a cell takes no infiltration (-).
constexpr double kFrozenIndex = 83.0;

// Explicit Green-Ampt mean rate over t seconds (m/s) for a front that has
// taken f (m) into a deficit `deficit` (m3/m3).
double mean_green_ampt_rate(const redist_soil& s, double f, double deficit, double t) {
    const double a = s.ks * t - 2.0 * f;
    const double b = 8.0 * s.ks * t * (s.psi * std::max(deficit, 0.0) + f);
    return (a + std::sqrt(a * a + std::max(b, 0.0))) / (2.0 * t);
}

// One cell of one update (call number n, t seconds).
void redistribute_cell(const redist_arrays& a, int i, int n, double t) {
    if (a.lake != nullptr && a.lake[i] > 0) return;
    if (a.wetland != nullptr && a.wetland[i] > 0) return;
    if (a.frozen != nullptr && a.frozen[i] > kFrozenIndex) return;   // frozen: keeps its pond
    const redist_soil s{a.ksat[i], a.psi[i], a.phi[i], a.thr[i], a.lambda[i]};
    const double thi = a.thi[i];
    double& depth = a.depth[i];
    double& f = a.cum[i];
    double& w = a.water[i];
    double& theta0 = a.theta[i];
    int& fronts = a.fronts[i];

    if (n < 2) theta0 = a.shown[i] = thi;
    if (a.exfil != nullptr && a.exfil[i] == 1) {   // water table at the surface
        theta0 = s.phi;
        return;
    }
    double kr = s.ks;
    if (a.factor != nullptr) kr *= a.factor[i];
    if (!(kr > 0.0)) {                             // a soil that takes no water
        a.rate[i] = 0.0;
        return;
    }
    if (!(depth > kZeroDepth)) depth = 0.0;
    const double r = depth / t;                    // supply rate, m/s

    // Continued absorption: all supply has gone in since the first call.
    if (a.absorb_call[i] == n - 1 && kr >= r) {
        a.rate[i] = r * kMetresPerSecondToCmPerHour;
        f += depth;
        depth = 0.0;
        a.absorb_call[i] = n;
        a.shown[i] = thi;
        return;
    }

    if (kr <= r) {
        // Supply at or above the conductivity: a front moves down.
        double front_f = f;                        // water behind the moving front, m
        double deficit = s.phi - thi;
        if (a.redist_call[i] > 0 && fronts != 1) {
            fronts = 1;
            const double d = std::max(s.phi - theta0, kNoDeficit);
            // A second front above the first profile; the old profile keeps
            // redistributing under it as under no supply.
            if (theta0 > 0.0 && (f - w) / d < w / theta0) {
                fronts = 2;
                theta0 = redistribute_profile(s, theta0, thi, w, 0.0, t);
                front_f = f - w;
                deficit = s.phi - theta0;
            }
        }
        double rate = mean_green_ampt_rate(s, front_f, deficit, t);
        if (a.factor != nullptr) rate *= a.factor[i];
        double taken = 0.0;                        // m
        if (rate < r) {                            // ponding
            a.rate[i] = rate * kMetresPerSecondToCmPerHour;
            taken = rate * t;
            depth -= taken;
            if (a.pond_call[i] == 0) {
                a.pond_call[i] = n;
                if (a.redist_call[i] == 0) theta0 = s.phi;
            }
        } else {                                   // all supply infiltrates
            a.rate[i] = r * kMetresPerSecondToCmPerHour;
            if (a.pond_call[i] == 0 && a.redist_call[i] == 0) {
                // The surface content rises toward saturation on the way to ponding.
                const double e = r - s.ks;
                double c = kSlowRiseTime;          // s
                if (e >= kSlowRise) c = (s.phi - theta0) * s.psi * s.ks / (e * r);
                if (c > 0.0) theta0 += (s.phi - theta0) * t / c;
                else theta0 = s.phi;
                if (theta0 > s.phi) {
                    theta0 = s.phi;
                    a.pond_call[i] = n;
                }
            }
            taken = depth;
            depth = 0.0;
        }
        f += taken;
        if (fronts == 1) theta0 = s.phi;
        a.shown[i] = fronts == 2 ? s.phi : theta0;
        return;
    }

    // Supply below the conductivity: the profile redistributes.
    if (fronts == 1) {
        theta0 = s.phi;
        fronts = 0;
    } else if (fronts == 2) {
        // The two profiles merge into one of the same water.
        if (f > kZeroDepth) {
            theta0 = ((theta0 + s.phi - 2.0 * thi) * (f - w) + (theta0 - thi) * w) / f + thi;
            theta0 = std::min(theta0, s.phi);
        }
        fronts = 0;
    }
    a.rate[i] = r * kMetresPerSecondToCmPerHour;
    f += depth;
    depth = 0.0;
    w = f;
    a.redist_call[i] = n;
    if (theta0 != thi) theta0 = redistribute_profile(s, theta0, thi, w, r, t);
    a.shown[i] = theta0;
}

}  // namespace

double redist_saturation(const redist_soil& s, double theta) {
    const double range = s.phi - s.thr;
    if (!(range > 0.0)) return 1.0;
    return std::clamp((theta - s.thr) / range, 0.0, 1.0);
}

double redist_conductivity(const redist_soil& s, double theta) {
    return s.ks * std::pow(redist_saturation(s, theta), 2.0 / s.lambda + 3.0);
}

double redist_capillary_drive(const redist_soil& s, double thi, double theta0) {
    const double exponent = 1.0 / s.lambda + 3.0;
    const double bi = std::pow(redist_saturation(s, thi), exponent);
    if (!(bi < 1.0)) return s.psi;
    const double b0 = std::pow(redist_saturation(s, theta0), exponent);
    return s.psi * (b0 - bi) / (1.0 - bi);
}

double redistribute_profile(const redist_soil& s, double theta0, double thi, double water,
                            double r, double seconds) {
    const double lo = std::min(thi, s.phi);
    if (!(water > kZeroDepth) || !(theta0 > thi)) return std::clamp(theta0, lo, s.phi);
    const double excess = theta0 - thi;
    const double change = seconds * excess / water *
                          (r - redist_conductivity(s, thi) - redist_conductivity(s, theta0) -
                           s.ks * redist_capillary_drive(s, thi, theta0) * excess / water);
    return std::clamp(theta0 + change, lo, s.phi);
}

void infiltrate_redistribution(run_state& rs, double seconds) {
    const int n = rs.GNUM;
    if (n <= 0) return;
    if (!spans(rs.ksat, n) || !spans(rs.cap_drive, n) || !spans(rs.phi, n) ||
        !spans(rs.thr, n) || !spans(rs.pore_dist_index, n) || !spans(rs.thi, n) ||
        !spans(rs.cum_infil, n) || !spans(rs.ov_depth, n)) {
        std::printf("Error: Green & Ampt infiltration with redistribution needs the hydraulic "
                    "conductivity, capillary head, porosity, residual content, pore "
                    "distribution index and initial moisture of every cell.\n");
        set_error(kErrorPrinted);
        return;
    }
    if (!(seconds > 0.0)) return;   // no time has passed: nothing infiltrates
    for (std::vector<double>* v :
         {&rs.redist_water, &rs.redist_theta, &rs.redist_theta_out, &rs.infil_rate}) {
        ensure_cells(*v, n);
    }
    for (std::vector<int>* v : {&rs.iter_pond_1, &rs.iter_n, &rs.no_wat_prof, &rs.iter_i_less_k}) {
        ensure_cells(*v, n);
    }
    const bool reduce = rs.area_reduction && spans(rs.area_reduction_factor, n);
    const redist_arrays a{rs.ov_depth.data(),
                          rs.cum_infil.data(),
                          rs.redist_water.data(),
                          rs.redist_theta.data(),
                          rs.redist_theta_out.data(),
                          rs.infil_rate.data(),
                          rs.iter_pond_1.data(),
                          rs.iter_n.data(),
                          rs.no_wat_prof.data(),
                          rs.iter_i_less_k.data(),
                          rs.ksat.data(),
                          rs.cap_drive.data(),
                          rs.phi.data(),
                          rs.thr.data(),
                          rs.pore_dist_index.data(),
                          rs.thi.data(),
                          spans(rs.yes_exfil, n) ? rs.yes_exfil.data() : nullptr,
                          reduce ? rs.area_reduction_factor.data() : nullptr,
                          rs.lakes && spans(rs.oland_lake_new, n) ? rs.oland_lake_new.data()
                                                                  : nullptr,
                          rs.wetlands && spans(rs.wetland_mask, n) ? rs.wetland_mask.data()
                                                                   : nullptr,
                          rs.long_term && spans(rs.cfgi, n) ? rs.cfgi.data() : nullptr};
    const int calls = rs.inf_redist_calls;
#pragma omp parallel for schedule(static) if (n >= kParallelCells)
    for (int i = 1; i <= n; ++i) redistribute_cell(a, i, calls, seconds);
}
