// Capacity formulas of overland sediment transport. Every formula gives a
// volume per step, so each scales with the step dt: formulas 1 directly,
// 2 to 6 through F = dt dx / 2645.23.
#include "quality/sediment_capacity.h"

#include <cmath>

namespace {

constexpr double kGravity = 9.81;          // m/s2
constexpr double kUnitWeight = 9792.342;   // specific weight of water, N/m3
constexpr double kWaterDensity = 998.2;    // kg/m3

// Formula 3 (unit stream power P = V S x 100): coefficient and exponents by D50.
double formula3(double V, double S, double d50, double F) {
    const double P = V * S * 100.0;
    if (d50 < 122.0) return 0.006025596 * std::pow(P, 1.52) * std::pow(d50, 0.59) / 10.0 * F;
    return 0.316227766 * std::pow(P, 2.59) * std::pow(d50, -0.39) / 10.0 * F;
}

// Formula 4 (stream power W = (h gamma S V x 1000)^1.5).
double formula4(double V, double S, double h, double d50, double F) {
    const double W = std::pow(h * kUnitWeight * S * V * 1000.0, 1.5);
    if (d50 < 122.0) return 1.977e-06 * std::pow(W, 1.044) * std::pow(d50, 0.478) / 10.0 * F;
    return 4.6e-07 * std::pow(W, 1.75) * std::pow(d50, -0.56) / 10.0 * F;
}

// Formula 5 (discharge per width Q = q x 1e4) by D50 band.
double formula5(double S, double q, double d50, double F) {
    const double Q = q * 100.0 * 100.0;
    double a = 20.41738, bs = 2.81, bq = 3.1;   // 190 um or more
    if (d50 < 33.0) {
        a = 6.16595; bs = 1.9; bq = 1.1;
    } else if (d50 < 61.0) {
        a = 10.96478; bs = 1.94; bq = 1.19;
    } else if (d50 < 122.0) {
        a = 9.332543; bs = 1.77; bq = 1.79;
    } else if (d50 < 190.0) {
        a = 64.56542; bs = 2.96; bq = 2.18;
    }
    return a * std::pow(S, bs) * std::pow(Q, bq) / 10.0 * F;
}

// Formula 6 (shear velocity U, cm/s, against a critical Uc) by D50 band.
double formula6(double S, double h, double d50, double F) {
    const double U = std::sqrt(h * kUnitWeight * S / kWaterDensity) * 100.0;
    double uc = 1.8, b = 5.06, a = 0.0092;   // 190 um or more
    if (d50 < 33.0) {
        uc = 1.4; b = 2.88; a = 0.035;
    } else if (d50 < 61.0) {
        uc = 1.4; b = 2.95; a = 0.052;
    } else if (d50 < 122.0) {
        uc = 1.45; b = 3.74; a = 0.029;
    } else if (d50 < 190.0) {
        uc = 1.55; b = 4.14; a = 0.024;
    }
    if (!(U > uc)) return 0.0;
    return a * std::pow(U - uc, b) / 10.0 * F;
}

}  // namespace

void sediment_shares(const sediment_classes& sc, const cell_sediment& cell, double* fract) {
    const int n = sc.count;
    double s2 = 0.0;
    for (int j = 1; j <= n; ++j) s2 += cell.suspended[j];
    if (s2 >= kSedZero) {
        for (int j = 1; j <= n; ++j) fract[j] = cell.suspended[j] / s2;
        return;
    }
    double s3 = 0.0;
    for (int j = 1; j <= n; ++j) s3 += cell.deposited[j];
    if (s3 >= kSedZero) {
        for (int j = 1; j <= n; ++j) fract[j] = cell.deposited[j] / s3;
        return;
    }
    for (int j = 1; j <= n; ++j) fract[j] = cell.soil_fract[j];
}

double median_grain_size(const sediment_classes& sc, const double* fract) {
    const int n = sc.count;
    if (n < 1) return 0.0;
    const int coarsest = sc.coarse_first[0];
    double below = 0.0;   // share of the classes coarser than the current one
    for (int k = 0; k < n; ++k) {
        const int i = sc.coarse_first[k];
        const double t = below + fract[i];
        if (t >= 0.5) {
            if (k == 0 || !(t > below)) return sc.diam_mm[i] * 1000.0;
            const int coarser = sc.coarse_first[k - 1];
            const double d_i = sc.diam_mm[i];
            const double d_c = sc.diam_mm[coarser];
            return std::exp(std::log(d_i / d_c) * (0.5 - below) / (t - below) + std::log(d_c)) *
                   1000.0;
        }
        below = t;
    }
    return sc.diam_mm[coarsest] * 1000.0;
}

double sediment_capacity(int formula, const capacity_flow& f, const sediment_classes& sc,
                         const cell_sediment& cell, double* work) {
    if (!(f.q >= kSedZero) || !(f.depth >= kSedZero)) return 0.0;
    if (formula < 1 || formula > 6) return 0.0;
    if (formula == 2) return sediment_capacity_of_shares(formula, f, sc, nullptr, 0.0);
    sediment_shares(sc, cell, work);
    const double d50 = formula >= 3 ? median_grain_size(sc, work) : 0.0;
    return sediment_capacity_of_shares(formula, f, sc, work, d50);
}

double sediment_capacity_of_shares(int formula, const capacity_flow& f, const sediment_classes& sc,
                                   const double* shares, double d50) {
    if (!(f.q >= kSedZero) || !(f.depth >= kSedZero)) return 0.0;
    const double V = f.q / f.depth;   // m/s
    const double S = f.slope;
    const double F = f.dt * f.dx / kCapacityDivisor;
    switch (formula) {
        case 1: {
            const double sh = std::pow(S * f.depth, 1.5);
            double K = 0.0;   // m3/s
            for (int j = 1; j <= sc.count; ++j) {
                const double g1 = sc.spec_grav[j] - 1.0;
                K += shares[j] * 0.05 * f.dx * V * V * sh /
                     (g1 * g1 * (sc.diam_mm[j] / 1000.0) * std::sqrt(kGravity));
            }
            return K * f.dt * f.sed_K;
        }
        case 2:
            return 1.7e8 * std::pow(S, 1.6667) * std::pow(f.q, 2.035) * f.sed_K * F;
        case 3:
            return formula3(V, S, d50, F);
        case 4:
            return formula4(V, S, f.depth, d50, F);
        case 5:
            return formula5(S, f.q, d50, F);
        case 6:
            return formula6(S, f.depth, d50, F);
        default:
            return 0.0;
    }
}
