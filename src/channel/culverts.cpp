// Flow through culvert elements (see culverts.h).
//
// The regime is chosen from the barrel length and slope, the headwater ratio
// F (head over the rise) and the tailwater: long flat barrels take the
// Manning friction form; otherwise inlet control (critical depth at the
// entrance), a partly full outlet, or a full barrel (submerged outlet with
// entrance and friction losses, or the smaller of inlet orifice and free
// outlet flow).
#include "channel/culverts.h"

#include <algorithm>
#include <cmath>

#include "channel/chan_messages.h"
#include "core/error.h"

namespace {

constexpr double kG = 9.81;              // gravity, m/s2
constexpr double kTwoG = 19.62;          // 2 g, m/s2
constexpr double kPi = 3.1415926;        // pi as used by the barrel sections
constexpr double kMinLength = 1e-4;      // shortest barrel, m
constexpr double kGivenInvert = 1e-4;    // a downstream invert below this counts as not given, m
constexpr double kSteep = 0.01;          // barrel slope above which the inlet invert governs, -
constexpr double kMinInletHead = 0.01;   // smallest specific energy that passes flow under inlet control, m
constexpr double kRootTolerance = 1e-4;  // flow tolerance of the inlet-control root, m3/s
constexpr double kVanishingFlow = 1e-10; // lower bracket end for the smallest inlet-control flows, m3/s
constexpr double kTiny = 1e-16;          // a smaller area counts as zero, m2

// Critical-depth Newton iteration of a round barrel.
constexpr int kCritMaxPasses = 1000;
constexpr double kCritEdge = 0.001;      // start offset and clamp margin of the surface from centre/crown, m
constexpr double kCritStep = 1e-8;       // convergence of the surface position, m

// Brent's method.
constexpr int kBrentMaxPasses = 100;
constexpr double kBrentEps = 3e-8;       // relative machine precision used in the step tolerance

// Full-barrel area (m2) and hydraulic radius (m) of a section kind.
void full_barrel(int kind, double D, double B, double& area, double& radius) {
    switch (kind) {
        case kCulvertCircular:
            area = 0.25 * kPi * D * D;
            radius = 0.25 * D;
            break;
        case kCulvertOval:
            area = 0.788 * B * D;
            radius = 0.299 * D;
            break;
        default:
            area = B * D;
            radius = B * D / (2.0 * B + 2.0 * D);
            break;
    }
}

// Manning friction form of a long barrel: Q = A sqrt(h / (n^2 L / R^(4/3) + 1/2g)),
// for area A (m2), hydraulic radius R (m), roughness n, length L (m), head h (m).
double friction_flow(double area, double radius, double n, double L, double h) {
    if (area <= kTiny || radius <= 0.0 || h <= 0.0) return 0.0;
    return area * std::sqrt(h / (n * n * L / std::pow(radius, 4.0 / 3.0) + 1.0 / kTwoG));
}

// The same with the section at depth y.
double friction_flow_at(int kind, double D, double B, double y, double n, double L, double h) {
    const culvert_section sec = compute_culvert_section(D, y, B, kind);
    if (sec.area <= kTiny || sec.perimeter <= 0.0) return 0.0;
    return friction_flow(sec.area, sec.area / sec.perimeter, n, L, h);
}

culvert_flow failed() {
    culvert_flow out;
    out.flow = kCulvertFailed;
    return out;
}

}  // namespace

culvert_section compute_culvert_section(double D, double y, double B, int kind) {
    culvert_section s;
    switch (kind) {
        case kCulvertCircular:
            if (y < 0.0 || D <= 0.0) return s;
            if (y >= D) {
                s.area = 0.25 * kPi * D * D;
                s.perimeter = kPi * D;
                s.top_width = 0.0;
            } else {
                const double r = 0.5 * D;
                const double theta = std::acos(std::clamp((r - y) / r, -1.0, 1.0));
                s.area = r * r * theta - (r - y) * r * std::sin(theta);
                s.perimeter = theta * D;
                s.top_width = D * std::sin(theta);
            }
            return s;
        case kCulvertOval: {
            if (y <= 0.0 || D <= 0.0) return s;
            const double b = std::min(y / D, 1.0);
            const double b2 = b * b, b3 = b2 * b, b4 = b3 * b;
            const double area =
                (0.450552317 * b2 + 0.850625935 * b - 0.0265118802 - 0.48046422 * b3) * D * B;
            const double radius =
                (1.1666329 * b - 0.0382820242 - 1.32389992 * b2 + 1.04200851 * b3 -
                 0.526837711 * b4) * D;
            s.top_width = (3.13077957 * b + 0.656758295 - 9.66782176 * b2 + 11.9256017 * b3 -
                           5.88560436 * b4) * B;
            // The fits turn negative in the first few percent of the rise:
            // there the section holds no flow.
            if (area > 0.0 && radius > 0.0) {
                s.area = area;
                s.perimeter = area / radius;
            }
            return s;
        }
        case kCulvertBox:
            if (y < 0.0) {
                s.perimeter = B;
                s.top_width = B;
            } else if (y >= D) {
                s.area = D * B;
                s.perimeter = 2.0 * D + 2.0 * B;
            } else {
                s.area = y * B;
                s.perimeter = 2.0 * y + B;
                s.top_width = B;
            }
            return s;
        default:
            return s;
    }
}

double compute_culvert_area(int kind, double D, double B, double y) {
    if (kind == kCulvertCircular) {
        if (D <= 0.0) return 0.0;
        const double r = 0.5 * D;
        const double depth = std::clamp(y, 0.0, D);
        const double theta = std::acos(std::clamp((r - depth) / r, -1.0, 1.0));
        return r * r * theta - std::sin(theta) * (r - depth) * r;
    }
    if (kind == kCulvertBox) return std::max(0.0, B * y);
    if (kind == kCulvertOval) return compute_culvert_section(D, y, B, kind).area;
    return 0.0;
}

double crit_calc(int kind, double D, double B, double Q) {
    if (kind == kCulvertOval) {
        set_error(123);
        error_record.stop = 1;
        return 0.0;
    }
    if (!(Q > 0.0)) return 0.0;
    if (kind == kCulvertBox) {
        if (!(B > 0.0)) return 0.0;
        return std::pow((Q / B) * (Q / B) / kG, 0.3333333333333);
    }
    if (kind != kCulvertCircular || !(D > 0.0)) return 0.0;

    // Newton on t, the height of the centre above the water surface (depth r - t),
    // for f(t) = A^(3/2) / T^(1/2) - Q / sqrt(g) = 0 (Froude number 1).
    const double r = 0.5 * D;
    const double edge = std::min(kCritEdge, 0.5 * r);   // keeps the surface off the crown and invert
    const double target = Q / std::sqrt(kG);
    double t = edge;
    for (int pass = 1; pass <= kCritMaxPasses; ++pass) {
        const double depth = r - t;
        const double A = compute_culvert_area(kCulvertCircular, D, B, depth);
        const double root = std::sqrt(std::max(r * r - t * t, 0.0));   // half the top width, m
        const double T = 2.0 * root;
        const double f = std::sqrt(A / T) * A - target;
        // dA/dt = -T, dT/dt = -2 t / root
        const double df = -1.5 * std::sqrt(A * T) + std::pow(A / T, 1.5) * t / root;
        if (!std::isfinite(f) || !std::isfinite(df) || df == 0.0) break;
        double next = t - f / df;
        if (next <= -r) next = edge - r;
        if (next >= r) next = r - edge;
        const double step = next - t;
        t = next;
        if (std::fabs(step) <= kCritStep) return r - t;
    }
    set_error(122);
    error_record.stop = 1;
    return std::clamp(r - t, 0.0, D);
}

double compute_culvert_residual(int kind, double D, double B, double C_e, double E, double Q) {
    const double yc = crit_calc(kind, D, B, Q);
    const double A = compute_culvert_area(kind, D, B, yc);
    return Q - A * C_e * std::sqrt(kTwoG) * std::sqrt(std::max(0.0, E - yc));
}

brent_root zbrent(int kind, double D, double B, double C_e, double E, double x1, double x2,
                  double tol) {
    brent_root out;
    double a = x1, b = x2, c = x2, d = 0.0, e = 0.0;
    double fa = compute_culvert_residual(kind, D, B, C_e, E, a);
    double fb = compute_culvert_residual(kind, D, B, C_e, E, b);
    if (!std::isfinite(fa) || !std::isfinite(fb) || (fa > 0.0 && fb > 0.0) ||
        (fa < 0.0 && fb < 0.0)) {
        chan_say("Problem in ZBRENT root finder\n");
        chan_say("Root must be bracketed\n");
        return out;
    }
    double fc = fb;
    for (int pass = 1; pass <= kBrentMaxPasses; ++pass) {
        out.iterations = pass;
        if ((fb > 0.0 && fc > 0.0) || (fb < 0.0 && fc < 0.0)) {
            // The root lies between a and b: restart the far end there.
            c = a;
            fc = fa;
            e = d = b - a;
        }
        if (std::fabs(fc) < std::fabs(fb)) {
            // Keep b the best estimate.
            a = b;
            b = c;
            c = a;
            fa = fb;
            fb = fc;
            fc = fa;
        }
        const double tol1 = 2.0 * kBrentEps * std::fabs(b) + 0.5 * tol;
        const double xm = 0.5 * (c - b);
        if (std::fabs(xm) <= tol1 || fb == 0.0) {
            out.root = b;
            return out;
        }
        if (std::fabs(e) >= tol1 && std::fabs(fa) > std::fabs(fb)) {
            // Secant (two points) or inverse quadratic interpolation (three).
            const double s = fb / fa;
            double p, q;
            if (a == c) {
                p = 2.0 * xm * s;
                q = 1.0 - s;
            } else {
                const double qa = fa / fc;
                const double rb = fb / fc;
                p = s * (2.0 * xm * qa * (qa - rb) - (b - a) * (rb - 1.0));
                q = (qa - 1.0) * (rb - 1.0) * (s - 1.0);
            }
            if (p > 0.0) q = -q;
            p = std::fabs(p);
            const double min1 = 3.0 * xm * q - std::fabs(tol1 * q);
            const double min2 = std::fabs(e * q);
            if (2.0 * p < std::min(min1, min2)) {
                e = d;   // interpolation accepted
                d = p / q;
            } else {
                d = xm;  // bisection
                e = d;
            }
        } else {
            d = xm;      // the bracket shrinks too slowly: bisection
            e = d;
        }
        a = b;
        fa = fb;
        b += std::fabs(d) > tol1 ? d : std::copysign(tol1, xm);
        fb = compute_culvert_residual(kind, D, B, C_e, E, b);
    }
    chan_say("Maximum number of iterations exceeded in ZBRENT\n");
    out.root = kCulvertFailed;
    return out;
}

culvert_flow culv_flow(const std::vector<hydraulic_structure>& elements, int element, double HW,
                       double TW) {
    if (element < 1 || static_cast<size_t>(element) >= elements.size()) {
        chan_say("Problem in culv_flow (ex_flow_route).  Culvert number %d does not exist\n"
                 "(structure elements 1..%d).  Program terminated.\n",
                 element, static_cast<int>(elements.size()) - 1);
        return failed();
    }
    const hydraulic_structure& s = elements[static_cast<size_t>(element)];
    if (s.structtype < kStructRoundCulvert || s.structtype > kStructRectCulvert) {
        chan_say("Problem in culv_flow (ex_flow_route).  Structure element number %d is of\n"
                 "type %d, not a culvert.  Program terminated.\n",
                 element, s.structtype);
        return failed();
    }
    const int kind = s.structtype - 2;
    const double L = s.length;   // barrel length, m
    if (L < kMinLength) {
        chan_say("Problem in culv_flow (ex_flow_route).  The culvert barrel length\n");
        chan_say("in culvert number %d is 0.0.  This is not possible. Program terminated.\n",
                 element);
        return failed();
    }
    // Rise D and span B, m. A round barrel given by its diameter alone has
    // the diameter in the span field: it serves as the rise too.
    double D = s.height;
    double B = s.width;
    if (kind == kCulvertCircular) {
        if (!(D > 0.0)) D = B;
        if (!(B > 0.0)) B = D;
    }
    if (!(D > 0.0) || !(B > 0.0)) {
        chan_say("Problem in culv_flow (ex_flow_route).  The culvert rise (height) or span\n");
        chan_say("(width, diameter) in culvert number %d is 0.0.  This is not possible. "
                 "Program terminated.\n",
                 element);
        return failed();
    }
    const double n = s.roughness;   // barrel Manning roughness, s/m^(1/3)
    const double zu = s.upinvert;   // upstream invert, m
    const bool down_given = s.downinvert >= kGivenInvert;
    const double zd = down_given ? s.downinvert : zu - L * s.slope;   // downstream invert, m

    // Orientation: the higher level is the headwater.
    double sign = 1.0, zi = zu, zo = zd, u = s.fwd_coeff;
    if (!(HW > TW)) {
        sign = -1.0;
        std::swap(HW, TW);
        zi = zd;
        zo = zu;
        u = s.rev_coeff;
    }

    culvert_flow out;
    out.area = 0.5 * 3.14 * D * D;   // area reported when the regime sets none, m2
    if (zi > HW || HW < zo) return out;   // dry inlet
    if (HW == TW) return out;             // no head difference, no flow

    const double S = sign * (down_given ? (zu - zd) / L : s.slope);   // slope along the flow, -
    const double Hi = HW - zi;     // head over the inlet invert, m
    const double Ho = HW - zo;     // head over the outlet invert, m
    const double yt = TW - zo;     // tailwater depth at the outlet, m
    const double dH = HW - TW;     // head difference, m
    const double F = (S > kSteep ? Hi : Ho) / D;   // headwater ratio, -
    const double Ci = culvert_inlet_coeff(s);

    double Q = 0.0;
    int regime = kCulvertNoFlow;
    if (L > 40.0 * D && S < kSteep) {
        // Long flat barrel: friction governs.
        if (F < 1.5) {
            if (TW <= zo + 1e-6) {
                Q = friction_flow_at(kind, D, B, 0.5 * Hi, n, L, dH);
                regime = kCulvertInletFlat;
            } else if (D > yt && TW > zo) {
                Q = friction_flow_at(kind, D, B, 0.5 * (0.7 * Hi + yt), n, L, dH);
                regime = kCulvertPartFull;
            }
        } else {
            double A = 0.0, R = 0.0;
            full_barrel(kind, D, B, A, R);
            const double mid = zo + 0.5 * D;   // mid-height of the outlet, m
            if (TW > mid) {
                Q = friction_flow(A, R, n, L, dH);
                regime = kCulvertFullSubmerged;
            } else {
                Q = friction_flow(A, R, n, L, HW - mid);
                regime = kCulvertFullFree;
            }
        }
    } else if (F < 1.5 && TW < zo + 0.7 * Hi) {
        // Inlet control: critical depth at the entrance with specific energy E.
        const bool steep = S > kSteep;
        const double E = steep ? Hi : Ho;
        regime = steep ? kCulvertInletSteep : kCulvertInletFlat;
        if (E < kMinInletHead) {
            regime = kCulvertNoFlow;
        } else if (kind == kCulvertCircular) {
            const double Ce = Ci >= 0.01 ? (1.0 - F / 1.5) * u + (F / 1.5) * Ci : u;
            const double Qmax = compute_culvert_area(kind, D, B, std::min(D, E)) * Ce *
                                std::sqrt(kTwoG) * std::sqrt(D > E ? E / 3.0 : 0.4 * E);
            if (Qmax > 0.0) {
                // At heads of a centimetre or so the flow can lie below the
                // usual lower end (its critical depth would exceed E): the root
                // is then searched between a vanishing flow and that end.
                double lower = std::min(kRootTolerance, 0.5 * Qmax);
                if (compute_culvert_residual(kind, D, B, Ce, E, lower) > 0.0) {
                    lower = std::min(kVanishingFlow, 0.5 * Qmax);
                }
                const brent_root root = zbrent(kind, D, B, Ce, E, lower, Qmax, kRootTolerance);
                if (root.root == kCulvertFailed) {
                    chan_say("Problem in zbrent (ex_flow_route). Hydraulic short culvert routine \n");
                    chan_say("The flow cannot be determine in culvert number %d\n", element);
                    return failed();
                }
                Q = root.root;
                out.depth = crit_calc(kind, D, B, Q);
                out.area = compute_culvert_area(kind, D, B, crit_calc(kind, D, B, Qmax));
            }
        } else if (kind == kCulvertBox) {
            const double yc = 2.0 * E / 3.0;   // critical depth of a rectangle, m
            const double A = B * yc;
            Q = Ci * A * std::sqrt(kTwoG) * std::sqrt(E - yc);
            out.depth = yc;
            out.area = A;
        }
        // Oval barrels pass no flow under inlet control (no critical-depth solution).
    } else if (F < 1.5 && TW < zo + D) {
        // Outlet partly full: orifice on the flow area at the tailwater depth.
        const culvert_section sec = compute_culvert_section(D, yt, B, kind);
        Q = u * sec.area * std::sqrt(kTwoG * dH);
        regime = kCulvertPartFull;
    } else {
        double A = 0.0, R = 0.0;
        full_barrel(kind, D, B, A, R);
        if (F >= 1.0 && D <= yt) {
            // Full barrel, submerged outlet: energy balance with the entrance and
            // exit losses in u and the Manning friction loss of barrels over 15 m:
            // dH = (1/u^2 + 2g n^2 L / R^(4/3)) V^2 / 2g.
            double M = 1.0;
            if (L > 15.0) M = 1.0 + kTwoG * u * u * n * n * L / std::pow(R, 4.0 / 3.0);
            Q = u * A * std::sqrt(2.0 * kG * dH / M);
            regime = kCulvertFullSubmerged;
        } else if (F >= 1.5 && TW < zo + D) {
            const double inlet = u * A * std::sqrt(kTwoG * std::max(0.0, Hi));
            const double outlet = u * A * std::sqrt(kTwoG * std::max(0.0, HW - zo - D));
            Q = std::min(inlet, outlet);
            regime = inlet < outlet ? kCulvertOrifice : kCulvertFullFree;
        }
    }
    out.flow = sign * Q;
    out.regime = static_cast<int>(sign) * regime;
    return out;
}
