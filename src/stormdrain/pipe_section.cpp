// Pipe section hydraulics. The critical and normal depths are found by
// Newton's method on the defining equation with the true derivative, kept
// inside a bracket that bisection narrows whenever a Newton step would leave
// it, so every search converges (to 1e-12 m) on the root of the equation.
#include "stormdrain/pipe_section.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr double kDepthTolerance = 1e-12;   // m
constexpr int kMaxIterations = 200;
// Relative depth at which a circular pipe carries its largest Manning flow.
constexpr double kCircleMaxConveyanceDepth = 0.9381;

double circle_angle(double D, double y) {
    const double r = 0.5 * D;
    const double c = std::clamp((r - y) / r, -1.0, 1.0);
    return std::acos(c);
}

// Safeguarded Newton search for f(y) = 0 on [lo, hi] with f(lo) <= 0 <= f(hi).
template <class F>
double bracketed_root(F f, double lo, double hi, double start) {
    double y = std::clamp(start, lo, hi);
    for (int i = 0; i < kMaxIterations; ++i) {
        double df = 0.0;
        const double v = f(y, df);
        if (v == 0.0) return y;
        if (v < 0.0) lo = y; else hi = y;
        double next = (df > 0.0 && std::isfinite(df)) ? y - v / df : 0.5 * (lo + hi);
        if (!(next > lo && next < hi)) next = 0.5 * (lo + hi);
        if (std::fabs(next - y) <= kDepthTolerance || hi - lo <= kDepthTolerance) return next;
        y = next;
    }
    return y;
}

void refuse_arch(const char* routine) {
    std::printf("Error: arch pipe sections have no %s depth rule.\n", routine);
}

}  // namespace

pipe_section pipe_section_geometry(int type, double D, double b, double y) {
    pipe_section s;
    if (type == kSectionCircle) {
        if (y <= 0.0) return s;
        if (y >= D) {
            s.area = kPipePi * D * D * 0.25;
            s.perimeter = kPipePi * D;
            return s;
        }
        const double r = 0.5 * D;
        const double theta = circle_angle(D, y);
        s.area = r * r * theta - (r - y) * r * std::sin(theta);
        s.top_width = D * std::sin(theta);
        s.perimeter = theta * D;
    } else if (type == kSectionBox) {
        if (y <= 0.0) {
            s.top_width = b;
            s.perimeter = b;
            return s;
        }
        if (y >= D) {
            s.area = D * b;
            s.perimeter = 2.0 * D + 2.0 * b;
            return s;
        }
        s.area = y * b;
        s.top_width = b;
        s.perimeter = 2.0 * y + b;
    } else if (type == kSectionArch) {
        if (y <= 0.0) return s;
        const double p = std::min(y / D, 1.0);
        const double p2 = p * p, p3 = p2 * p, p4 = p3 * p;
        s.area = (0.450552317 * p2 + 0.850625935 * p - 0.0265118802 - 0.48046422 * p3) * D * b;
        const double h = 1.1666329 * p - 0.0382820242 - 1.32389992 * p2 + 1.04200851 * p3 -
                         0.526837711 * p4;
        s.perimeter = s.area / (h * D);
        s.top_width = (3.13077957 * p + 0.656758295 - 9.66782176 * p2 + 11.9256017 * p3 -
                       5.88560436 * p4) * b;
    }
    return s;
}

double pipe_area(int type, double D, double b, double y) {
    return pipe_section_geometry(type, D, b, y).area;
}

bool pipe_critical_depth(int type, double D, double b, double Q, double& yc) {
    if (type == kSectionArch) {
        refuse_arch("critical");
        return false;
    }
    if (type != kSectionCircle && type != kSectionBox) return false;
    Q = std::fabs(Q);
    if (Q <= 0.0) {
        yc = 0.0;
        return true;
    }
    if (type == kSectionBox) {
        yc = std::cbrt((Q / b) * (Q / b) / kPipeGravity);
        return true;
    }
    // Circle: F(y) = A^1.5 T^-0.5 - Q / sqrt(g) rises from 0 to infinity on (0, D).
    const double target = Q / std::sqrt(kPipeGravity);
    auto f = [&](double y, double& df) {
        const pipe_section s = pipe_section_geometry(kSectionCircle, D, b, y);
        const double r = 0.5 * D;
        const double T = s.top_width;
        // dA/dy = T; dT/dy = (r - y) * 2 / sqrt(r^2 - (r - y)^2) = 4 (r - y) / T.
        const double dT = 4.0 * (r - y) / T;
        df = 1.5 * std::sqrt(s.area) * std::sqrt(T) - 0.5 * std::pow(s.area, 1.5) * std::pow(T, -1.5) * dT;
        return std::pow(s.area, 1.5) / std::sqrt(T) - target;
    };
    yc = bracketed_root(f, 0.0, D, 0.5 * D);
    return true;
}

bool pipe_normal_depth(int type, double D, double b, double n, double Q, double S0, double& yn) {
    if (type == kSectionArch) {
        refuse_arch("normal");
        return false;
    }
    if (type != kSectionCircle && type != kSectionBox) return false;
    Q = std::fabs(Q);
    if (Q <= 0.0) {
        yn = 0.0;
        return true;
    }
    if (S0 <= 0.0) {
        yn = D;
        return true;
    }
    const double k = std::sqrt(S0) / n;
    if (type == kSectionBox) {
        // Q(y) = k b y R^(2/3), R = y b / (2y + b), rising in y.
        auto f = [&](double y, double& df) {
            const double A = y * b, P = 2.0 * y + b, R = A / P;
            const double R23 = std::cbrt(R * R);
            df = k * (b * R23 + (2.0 / 3.0) * A * b * b / (P * P) / std::cbrt(R));
            return k * A * R23 - Q;
        };
        double dummy = 0.0;
        if (f(D, dummy) <= 0.0) {
            yn = D;
            return true;
        }
        yn = bracketed_root(f, 0.0, D, 0.5 * D);
        return true;
    }
    // Circle: the Manning flow rises up to about 0.938 D and falls to the full
    // flow after; a discharge above the largest part-full flow runs full.
    const double top = kCircleMaxConveyanceDepth * D;
    auto f = [&](double y, double& df) {
        const pipe_section s = pipe_section_geometry(kSectionCircle, D, b, y);
        const double theta = circle_angle(D, y);
        const double R = s.area / s.perimeter;
        const double R23 = std::cbrt(R * R);
        // dA/dy = T; dP/dy = D dtheta/dy = 2 D / T' with T = D sin(theta): dP/dy = 2 / sin(theta).
        const double dP = 2.0 / std::sin(theta);
        const double dR = (s.top_width * s.perimeter - s.area * dP) / (s.perimeter * s.perimeter);
        df = k * (s.top_width * R23 + (2.0 / 3.0) * s.area * dR / std::cbrt(R));
        return k * s.area * R23 - Q;
    };
    double dummy = 0.0;
    if (f(top, dummy) <= 0.0) {
        yn = D;
        return true;
    }
    yn = bracketed_root(f, 0.0, top, 0.25 * D);
    return true;
}
