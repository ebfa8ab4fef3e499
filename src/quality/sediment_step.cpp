// Overland erosion and deposition step. Sediment is tracked per cell and
// class as volumes (m3): the change of the parent soil, the suspension in the
// water and the loose deposit on the surface; what leaves through the outlet
// is kept per class.
//
// Every loop runs over the cells with a static schedule and writes only its
// own cell. Face transfers are order-free: each source offers its suspended
// sediment as it stands before any transfer, a source asked for more than it
// holds gives every outgoing face the same share of its capacity, and a
// receiving cell computes what it gains with the same expression as the
// source computes what it loses, so sediment is conserved to the last bit of
// each face and the result does not depend on the thread count.
#include "quality/sediment_step.h"

#include <climits>
#include <cmath>
#include <cstdio>

#include "core/parallel.h"
#include "overland/connectivity.h"
#include "quality/sediment_capacity.h"
#include "run/run_state.h"

namespace {

constexpr double kUnitWeight = 9792.342;     // specific weight of water, N/m3
constexpr double kMmPerHourPerMps = 3.6e6;   // rain intensity: m/s to mm/h
constexpr double kUnderflow = 745.0;         // exp(-x) is 0 in double precision beyond it

// Splash coefficients a, b of the law a I^b by rain intensity I (mm/h).
void splash_coefficients(double I, double& a, double& b) {
    if (I < 10.0) {
        a = 2.69e-8; b = 1.6896;
    } else if (I < 50.0) {
        a = 3.75e-8; b = 1.5545;
    } else if (I < 100.0) {
        a = 6.12e-8; b = 1.4242;
    } else {
        a = 1.175e-7; b = 1.2821;
    }
}

// Read-only view of the grid and the flow of the step.
struct step_view {
    int cells = 0;
    int n = 0;                         // size classes
    size_t stride = 1;                 // n + 1
    double dt = 0.0, dx = 0.0;         // s, m
    const double* h = nullptr;         // depth, m
    const double* z = nullptr;         // ground, m
    const double* qx = nullptr;        // flow to the right neighbour, m3/s
    const double* qy = nullptr;        // flow to the lower neighbour, m3/s
    const double* rain = nullptr;      // rain intensity, m/s
    const int* right = nullptr;
    const int* below = nullptr;
    const int* left = nullptr;
    const int* above = nullptr;
    int outlet = 0;                    // outlet cell, 0 when sediment does not leave there
    double outlet_q = 0.0;             // outlet discharge, m3/s
    double outlet_slope = 0.0;         // outlet slope, m/m
    double outlet_depth = 0.0;         // depth that drove the outlet discharge, m
    int formula = 1;
    sediment_classes classes;
    // Running per-cell-and-class volumes of the sorbed-mass step (null when
    // no sediment-bound constituents are carried), m3: eroded, settled,
    // moved to the right and to the lower neighbour; and per class the
    // volume through the outlet.
    double* acc_eroded = nullptr;
    double* acc_deposited = nullptr;
    double* acc_face_x = nullptr;
    double* acc_face_y = nullptr;
    double* acc_outlet = nullptr;
};

inline bool is_channel_cell(const ov_sed_record& s, int k) {
    return static_cast<size_t>(k) < s.channel_cell.size() && s.channel_cell[static_cast<size_t>(k)] != 0;
}

inline cell_sediment cell_of(ov_sed_record& s, size_t base) {
    cell_sediment c;
    c.suspended = s.suspended.data() + base;
    c.deposited = s.deposited.data() + base;
    c.soil_fract = s.soil_fract.data() + base;
    return c;
}

// Takes `volume` (m3) of loose deposit and parent soil into suspension: from
// the deposit alone when it holds more, else all of it and the rest from the
// soil in the soil's class shares. A channel cell (channel_cell set) gives
// only a loose deposit larger than the volume: its soil is the channel bank.
void take_up(ov_sed_record& s, size_t base, int n, double volume, bool channel = false) {
    double* dep = s.deposited.data() + base;
    double* sus = s.suspended.data() + base;
    double* soil = s.soil_change.data() + base;
    double* ero = s.step_eroded.data() + base;
    const double* fr = s.soil_fract.data() + base;
    double loose = 0.0;
    for (int j = 1; j <= n; ++j) loose += dep[j];
    if (loose > kSedZero && loose > volume) {
        for (int j = 1; j <= n; ++j) {
            const double m = volume * dep[j] / loose;
            dep[j] -= m;
            sus[j] += m;
            ero[j] += m;
            ero[0] += m;
        }
        return;
    }
    if (channel) return;
    const double rest = volume > loose ? volume - loose : 0.0;
    for (int j = 1; j <= n; ++j) {
        const double from_soil = rest * fr[j];
        const double m = dep[j] + from_soil;
        sus[j] += m;
        dep[j] = 0.0;
        soil[j] -= from_soil;
        ero[j] += m;
        ero[0] += m;
    }
}

// Slope magnitude of the cell's outflow on one axis: the steepest of the
// faces through which water leaves (left/right or upper/lower), m/m.
inline double outgoing_slope(const step_view& v, int k, bool x_axis) {
    const int fwd = x_axis ? v.right[k] : v.below[k];
    const int back = x_axis ? v.left[k] : v.above[k];
    const double* q = x_axis ? v.qx : v.qy;
    const double hk = v.h[k] + v.z[k];
    double s = 0.0;
    if (fwd != 0 && q[k] > kSedZero) s = std::fabs(hk - v.h[fwd] - v.z[fwd]) / v.dx;
    if (back != 0 && q[back] < -kSedZero) {
        const double sb = std::fabs(hk - v.h[back] - v.z[back]) / v.dx;
        if (sb > s) s = sb;
    }
    return s;
}

void flow_detach(ov_sed_record& s, const step_view& v, int k, double Q, double S);

// The intensity terms of the splash law for the last intensity met by a
// thread (rain is often the same on many cells in a row).
struct splash_terms {
    double I = -1.0;        // intensity, mm/h
    double power = 0.0;     // a I^b
    double depth = 0.0;     // threshold depth 0.00124 I^0.182, m
    void set(double intensity) {
        if (intensity == I) return;
        I = intensity;
        double a = 0.0, b = 0.0;
        splash_coefficients(I, a, b);
        power = a * std::pow(I, b);
        depth = 0.00124 * std::pow(I, 0.182);
    }
};

// exp(-x) for x >= 0, taken as 0 where it falls below the smallest double
// (the library's slow underflow path is never entered).
inline double decay(double x) { return x < kUnderflow ? std::exp(-x) : 0.0; }

// x^e, exact and quick for the common exponent 1.
inline double power_of(double x, double e) { return e == 1.0 ? x : std::pow(x, e); }

// Pass 1 for cell k: slopes, outflow, splash and flow detachment; then the
// suspended total and, for the faces, its class shares and median diameter.
void detach(ov_sed_record& s, const step_view& v, int k, splash_terms& rain) {
    const size_t base = static_cast<size_t>(k) * v.stride;
    const int n = v.n;
    const double hk = v.h[k] + v.z[k];
    const int r = v.right[k], b = v.below[k];
    s.sx[k] = r != 0 ? (hk - v.h[r] - v.z[r]) / v.dx : 0.0;
    s.sy[k] = b != 0 ? (hk - v.h[b] - v.z[b]) / v.dx : 0.0;

    double q2 = 0.0;   // sum of the squares of the outgoing flows, m6/s2
    const int l = v.left[k], a = v.above[k];
    if (r != 0 && v.qx[k] > kSedZero) q2 += v.qx[k] * v.qx[k];
    if (l != 0 && v.qx[l] < -kSedZero) q2 += v.qx[l] * v.qx[l];
    if (b != 0 && v.qy[k] > kSedZero) q2 += v.qy[k] * v.qy[k];
    if (a != 0 && v.qy[a] < -kSedZero) q2 += v.qy[a] * v.qy[a];
    const double slope_x = outgoing_slope(v, k, true);
    const double slope_y = outgoing_slope(v, k, false);
    double S = std::sqrt(slope_x * slope_x + slope_y * slope_y);   // m/m
    if (k == v.outlet && v.outlet_q > kSedZero) {
        // The outlet discharge leaves over the outlet slope, whatever the edge.
        q2 += v.outlet_q * v.outlet_q;
        if (v.outlet_slope > S) S = v.outlet_slope;
    }
    const double Q = std::sqrt(q2);
    s.q_out[k] = Q;
    const double h = v.h[k];
    const double area = v.dx * v.dx;

    // Rain splash.
    const double I = v.rain[k] * kMmPerHourPerMps;   // mm/h
    if (I > kSedZero) {
        rain.set(I);
        const double dw = rain.depth;   // m
        const double damp = h > dw ? decay(h / dw - 1.0) : 1.0;
        const double D = damp * s.splash_K[k] * rain.power * v.dt * area / kCapacityDivisor;
        if (D > 0.0) take_up(s, base, n, D, is_channel_cell(s, k));
    }
    flow_detach(s, v, k, Q, S);

    double s2 = 0.0;
    for (int j = 1; j <= n; ++j) s2 += s.suspended[base + j];
    s.susp_total[k] = s2;
    double* fract = s.susp_fract.data() + base;
    for (int j = 1; j <= n; ++j) fract[j] = s2 > kSedZero ? s.suspended[base + j] / s2 : 0.0;
    s.susp_d50[k] = (v.formula >= 3 && s2 > kSedZero) ? median_grain_size(v.classes, fract) : 0.0;
}

// Flow detachment of cell k with outflow Q (m3/s) over slope S (m/m), up to
// the capacity of that outflow.
void flow_detach(ov_sed_record& s, const step_view& v, int k, double Q, double S) {
    const size_t base = static_cast<size_t>(k) * v.stride;
    const int n = v.n;
    const double h = v.h[k];
    const double area = v.dx * v.dx;

    const double q = Q / v.dx;
    if (!(q > kSedZero) || !(h > kSedZero) || !(S > kSedZero)) return;
    capacity_flow f;
    f.slope = S;
    f.depth = h;
    f.q = q;
    f.dt = v.dt;
    f.dx = v.dx;
    f.sed_K = s.sed_K[k];
    const double Tc = sediment_capacity(v.formula, f, v.classes, cell_of(s, base),
                                        s.work.data() + base);
    double s2 = 0.0, loose = 0.0;
    for (int j = 1; j <= n; ++j) {
        s2 += s.suspended[base + j];
        loose += s.deposited[base + j];
    }
    if (!(Tc > s2)) return;
    const double tau = h * kUnitWeight * S;   // N/m2
    const double t = 1.0 - s2 / Tc;
    const double scale = v.dt * area / kCapacityDivisor;
    const double P = power_of(tau, s.detach_exp[k]) * s.detach_coef[k] * t * scale;
    if (!(P > 0.0) || !std::isfinite(P)) return;
    if (loose > P) {
        take_up(s, base, n, P);
        return;
    }
    const double excess = tau - s.detach_crit[k];
    const double E = excess > 0.0
                         ? power_of(excess, s.detach_exp[k]) * s.detach_coef[k] * t * scale *
                               (1.0 - loose / P)
                         : 0.0;
    take_up(s, base, n, loose + E, is_channel_cell(s, k));
}

// Capacity (m3) of the face from `src` with flow `flow` (m3/s), slope
// `slope` and depth `depth` (m), by the shares of the source's suspension.
double face_capacity(const ov_sed_record& s, const step_view& v, int src, double flow,
                     double slope, double depth) {
    capacity_flow f;
    f.slope = std::fabs(slope);
    f.depth = depth;
    f.q = std::fabs(flow) / v.dx;
    f.dt = v.dt;
    f.dx = v.dx;
    f.sed_K = s.sed_K[src];
    return sediment_capacity_of_shares(v.formula, f, v.classes,
                                       s.susp_fract.data() + static_cast<size_t>(src) * v.stride,
                                       s.susp_d50[src]);
}

// Pass 2a for cell k: capacities of its own right and lower faces (0 without
// flow or without suspended sediment at the source).
void face_capacities(ov_sed_record& s, const step_view& v, int k) {
    double tx = 0.0, ty = 0.0;
    const int r = v.right[k], b = v.below[k];
    if (r != 0 && std::fabs(v.qx[k]) > kSedZero) {
        const int src = v.qx[k] > 0.0 ? k : r;
        if (s.susp_total[src] > kSedZero)
            tx = face_capacity(s, v, src, v.qx[k], s.sx[k], v.h[src]);
    }
    if (b != 0 && std::fabs(v.qy[k]) > kSedZero) {
        const int src = v.qy[k] > 0.0 ? k : b;
        if (s.susp_total[src] > kSedZero)
            ty = face_capacity(s, v, src, v.qy[k], s.sy[k], v.h[src]);
    }
    s.qsx[k] = tx;
    s.qsy[k] = ty;
}

// Pass 2b for cell k: the share of its faces' capacities that its suspended
// sediment can meet.
void offer(ov_sed_record& s, const step_view& v, int k, double outlet_capacity) {
    const int r = v.right[k], b = v.below[k], l = v.left[k], a = v.above[k];
    double demand = 0.0;   // m3
    if (r != 0 && v.qx[k] > kSedZero) demand += s.qsx[k];
    if (l != 0 && v.qx[l] < -kSedZero) demand += s.qsx[l];
    if (b != 0 && v.qy[k] > kSedZero) demand += s.qsy[k];
    if (a != 0 && v.qy[a] < -kSedZero) demand += s.qsy[a];
    if (k == v.outlet) demand += outlet_capacity;
    const double s2 = s.susp_total[k];
    double share = 0.0;
    if (demand > kSedZero && s2 > kSedZero) share = s2 < demand ? s2 / demand : 1.0;
    s.give_share[k] = share;
}

// Volume (m3) moved across the right (x) or lower face of cell k, signed like
// the flow; the same expression on both sides of the face.
inline double face_volume(const ov_sed_record& s, const step_view& v, int k, bool x_axis) {
    const int nb = x_axis ? v.right[k] : v.below[k];
    const double flow = x_axis ? v.qx[k] : v.qy[k];
    if (nb == 0 || !(std::fabs(flow) > kSedZero)) return 0.0;
    const double cap = x_axis ? s.qsx[k] : s.qsy[k];
    return flow > 0.0 ? cap * s.give_share[k] : -cap * s.give_share[nb];
}

// Pass 2c and 3 for cell k: its transfers, then settling, then the booking
// of the step's net deposition.
void move_and_settle(ov_sed_record& s, const step_view& v, int k, double outlet_volume,
                     double* z_out, double bulk) {
    const size_t base = static_cast<size_t>(k) * v.stride;
    const int n = v.n;
    const int r = v.right[k], b = v.below[k], l = v.left[k], a = v.above[k];
    // Faces: right, lower, left, upper, with the volume leaving k (> 0) or entering (< 0).
    const double out_r = face_volume(s, v, k, true);
    const double out_b = face_volume(s, v, k, false);
    const double out_l = l != 0 ? -face_volume(s, v, l, true) : 0.0;
    const double out_a = a != 0 ? -face_volume(s, v, a, false) : 0.0;
    const int nbs[4] = {r, b, l, a};
    const double vol[4] = {out_r, out_b, out_l, out_a};
    const double* own = s.susp_fract.data() + base;
    double* sus = s.suspended.data() + base;
    double* qsmax = s.max_sed_flux ? s.qsmax.data() + base : nullptr;
    if (qsmax) for (int j = 0; j <= n; ++j) qsmax[j] = 0.0;
    for (int j = 1; j <= n; ++j) {
        double out = 0.0, in = 0.0;
        for (int f = 0; f < 4; ++f) {
            if (vol[f] > 0.0) {
                out += vol[f] * own[j];
            } else if (vol[f] < 0.0) {
                in += -vol[f] * s.susp_fract[static_cast<size_t>(nbs[f]) * v.stride + j];
            }
        }
        if (k == v.outlet) out += outlet_volume * own[j];
        if (v.acc_face_x != nullptr) {
            // Class volume across the own right and lower faces, from the side it leaves.
            if (vol[0] != 0.0)
                v.acc_face_x[base + j] += vol[0] > 0.0 ? vol[0] * own[j]
                                                       : vol[0] * s.susp_fract[static_cast<size_t>(r) * v.stride + j];
            if (vol[1] != 0.0)
                v.acc_face_y[base + j] += vol[1] > 0.0 ? vol[1] * own[j]
                                                       : vol[1] * s.susp_fract[static_cast<size_t>(b) * v.stride + j];
            if (k == v.outlet) v.acc_outlet[j] += outlet_volume * own[j];
        }
        const double left = sus[j] - out;
        sus[j] = (left > 0.0 ? left : 0.0) + in;
        if (qsmax) {
            qsmax[j] = out / v.dt;
            qsmax[0] += qsmax[j];
        }
    }

    // Settling over the cell's length at the flow's velocity.
    const double h = v.h[k];
    const double V = h > kSedZero ? s.q_out[k] / (v.dx * h) : 0.0;   // m/s
    double* dep = s.deposited.data() + base;
    double* dstep = s.step_deposited.data() + base;
    for (int j = 1; j <= n; ++j) {
        const double trap = V > kSedZero ? 1.0 - decay(v.dx * s.fall_velocity[j] / (V * h)) : 1.0;
        const double m = trap * sus[j];
        sus[j] -= m;
        dep[j] += m;
        dstep[j] += m;
        dstep[0] += m;
    }

    // Net deposition of the step, and the ground that follows it.
    double* ero = s.step_eroded.data() + base;
    double* net = s.qsvol.data() + base;
    for (int j = 0; j <= n; ++j) net[j] += dstep[j] - ero[j];
    if (v.acc_eroded != nullptr) {
        for (int j = 1; j <= n; ++j) {
            v.acc_eroded[base + j] += ero[j];
            v.acc_deposited[base + j] += dstep[j];
        }
    }
    if (z_out) z_out[k] += (dstep[0] - ero[0]) / (v.dx * v.dx) / bulk;
    for (int j = 0; j <= n; ++j) {
        dstep[j] = 0.0;
        ero[j] = 0.0;
    }
}

// Prints a notice for every cell and class whose suspended, soil or
// deposited volume is not a number (the run goes on). The search runs in
// parallel; the printing, rare, in cell order.
void trace_not_a_number(const ov_sed_record& s, const step_view& v, bool parallel) {
    int first = INT_MAX;
#pragma omp parallel for schedule(static) if (parallel) reduction(min : first)
    for (int k = 1; k <= v.cells; ++k) {
        const size_t base = static_cast<size_t>(k) * v.stride;
        for (int j = 1; j <= v.n; ++j) {
            if (std::isnan(s.suspended[base + j] + s.soil_change[base + j] +
                           s.deposited[base + j]) && k < first)
                first = k;
        }
    }
    if (first == INT_MAX) return;
    for (int k = first; k <= v.cells; ++k) {
        const size_t base = static_cast<size_t>(k) * v.stride;
        for (int j = 1; j <= v.n; ++j) {
            if (std::isnan(s.suspended[base + j]))
                std::fprintf(stderr, "PT 3 suspended soil particle %2d=Nan at grid %d\n", j, k);
            if (std::isnan(s.soil_change[base + j]))
                std::fprintf(stderr, "PT 3 eroded soil particle %2d=Nan at grid %d\n", j, k);
            if (std::isnan(s.deposited[base + j]))
                std::fprintf(stderr, "PT 3 deposited soil particle %2d=Nan at grid %d\n", j, k);
        }
    }
}

}  // namespace

void step_overland_sediment(run_state& rs, double dt) {
    ov_sed_record& s = rs.ov_sed;
    if (!s.on || s.mode != 1 || !(dt > 0.0)) return;
    const int cells = rs.GNUM;
    const size_t size = static_cast<size_t>(cells) + 1;
    if (cells < 1 || s.susp_total.size() < size) return;

    step_view v;
    v.cells = cells;
    v.n = s.classes;
    v.stride = static_cast<size_t>(s.classes) + 1;
    v.dt = dt;
    v.dx = rs.cell_size;
    v.h = rs.ov_depth.data();
    v.z = rs.elevation.data();
    v.qx = rs.ov_qx.data();
    v.qy = rs.ov_qy.data();
    v.rain = (rs.interception && rs.ri_eff.size() >= size) ? rs.ri_eff.data()
                                                           : rs.cell_rain_rate.data();
    v.right = rs.rightcon.data();
    v.below = rs.belowcon.data();
    v.left = rs.leftcon.data();
    v.above = rs.abovecon.data();
    v.formula = s.formula;
    v.classes.count = s.classes;
    v.classes.diam_mm = s.part_diam.data();
    v.classes.spec_grav = s.spec_grav.data();
    v.classes.coarse_first = s.coarse_first.data();
    const int o = rs.outlet_cell;
    if (!rs.chan_explic && o >= 1 && o <= cells) {
        v.outlet = o;
        v.outlet_q = rs.outlet_flow > 0.0 ? rs.outlet_flow : 0.0;
        v.outlet_slope = rs.outslope;
        // The outlet drained this step's outflow from the depth it had before.
        v.outlet_depth = v.h[o] + v.outlet_q * dt / (v.dx * v.dx);
    }
    const bool parallel = cells >= parallel_cells().overland;
    const size_t stride = v.stride;
    sed_bound_record& sb = rs.sed_bound;
    if (sb.on && sb.cells == cells && sb.classes == s.classes) {
        v.acc_eroded = sb.eroded.data();
        v.acc_deposited = sb.deposited.data();
        v.acc_face_x = sb.face_x.data();
        v.acc_face_y = sb.face_y.data();
        v.acc_outlet = sb.outlet.data();
    }

#pragma omp parallel if (parallel)
    {
        splash_terms rain;
#pragma omp for schedule(static)
        for (int k = 1; k <= cells; ++k) detach(s, v, k, rain);
    }

#pragma omp parallel for schedule(static) if (parallel)
    for (int k = 1; k <= cells; ++k) face_capacities(s, v, k);

    // The outlet's own face: the outlet discharge over the outlet slope.
    double outlet_capacity = 0.0;   // m3
    if (v.outlet != 0 && v.outlet_q > kSedZero && s.susp_total[o] > kSedZero)
        outlet_capacity = face_capacity(s, v, o, v.outlet_q, v.outlet_slope, v.outlet_depth);

#pragma omp parallel for schedule(static) if (parallel)
    for (int k = 1; k <= cells; ++k) offer(s, v, k, outlet_capacity);

    // Sediment leaving through the outlet, per class.
    double outlet_volume = 0.0;   // m3, all classes
    s.outlet_step_volume = 0.0;
    s.outlet_step_seconds = dt;
    s.outlet_step_time = rs.time;
    if (v.outlet != 0) {
        outlet_volume = outlet_capacity * s.give_share[o];
        const size_t ob = static_cast<size_t>(o) * stride;
        for (int j = 1; j <= v.n; ++j) {
            const double e = outlet_volume * s.susp_fract[ob + j];
            s.exported[j] += e;
            s.exported[0] += e;
            s.outlet_step_volume += e;
        }
    }

    const double bulk = 1.0 - s.sed_porosity;   // solid share of deposited sediment, -
    double* z_out = (s.adjust_elev && bulk > 0.0) ? rs.elevation.data() : nullptr;
#pragma omp parallel for schedule(static) if (parallel)
    for (int k = 1; k <= cells; ++k) move_and_settle(s, v, k, outlet_volume, z_out, bulk);

    if (z_out) compute_cell_slopes(rs);
    trace_not_a_number(s, v, parallel);
}

void sum_sediment_totals(const ov_sed_record& s, int cells, const sediment_totals& t) {
    const int n = s.classes;
    const size_t stride = static_cast<size_t>(n) + 1;
    for (int j = 0; j <= n; ++j) t.eroded[j] = t.suspended[j] = t.deposited[j] = t.exported[j] = 0.0;
    if (!s.on) return;
    for (int k = 1; k <= cells; ++k) {
        const size_t base = static_cast<size_t>(k) * stride;
        for (int j = 1; j <= n; ++j) {
            t.eroded[j] -= s.soil_change[base + j];
            t.suspended[j] += s.suspended[base + j];
            t.deposited[j] += s.deposited[base + j];
        }
    }
    for (int j = 1; j <= n; ++j) {
        t.exported[j] = s.exported[j];
        t.eroded[0] += t.eroded[j];
        t.suspended[0] += t.suspended[j];
        t.deposited[0] += t.deposited[j];
        t.exported[0] += t.exported[j];
    }
}
