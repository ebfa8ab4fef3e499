// Two-dimensional unconfined groundwater solver.
//
// Per cell: sum_j c_j (h_j - h) - (S / dt)(h - h0) = net, where c_j (1/s) is
// the harmonic-mean transmissivity towards neighbour j over the squared cell
// length and net (m/s) the sink of the step. The coefficients are symmetric
// on the uniform grid, so the flows between active cells cancel in the sum
// and the stored-water change S dh A equals the sources plus the flow through
// fixed-head cells, which is booked with the very coefficients of the solve.
#include "subsurface/gw_solver.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "core/dates.h"
#include "core/error.h"
#include "run/run_state.h"
#include "subsurface/gw_richards.h"
#include "subsurface/gw_wells.h"

namespace {

constexpr double kLeakPumpThickness = 0.01;   // no leakage or pumping below this saturation, m
constexpr double kMinThickness = 0.001;       // saturation kept by withdrawals, transmissivity floor, m
constexpr double kOuterTolerance = 0.001;     // head change ending the transmissivity iteration, m
constexpr int kOuterWarn = 49;                // outer iterations before the warning line
constexpr int kOuterLimit = 1000;             // outer iterations before the stop
constexpr int kSweepPassCap = 20000;          // line-sweep passes before the stop
constexpr int kStorageBlended = 10;           // outer iterations taking the crossed ground's storage whole
constexpr int kStorageHeld = 200;             // outer iterations after which the storage stays
constexpr double kCmPerM = 100.0;
constexpr double kSecondsPerHour = 3600.0;

inline bool fixed_head(int code) { return code == 2 || code == 5; }
// Code 0: no groundwater flows through the cell's faces; its head still
// moves with what it gains and loses vertically (recharge, wells, leakage).
constexpr int kNoFlowCode = 0;

inline size_t ix(int i) { return static_cast<size_t>(i); }

void ensure_work(run_state& rs) {
    const size_t n = ix(rs.GNUM) + 1;
    for (std::vector<double>* v :
         {&rs.gw_trans_x, &rs.gw_trans_y, &rs.gw_coef_up, &rs.gw_coef_down, &rs.gw_coef_left,
          &rs.gw_coef_right, &rs.gw_coef_diag, &rs.gw_coef_rhs, &rs.gw_head_sub, &rs.gw_head_iter}) {
        if (v->size() != n) v->assign(n, 0.0);
    }
    for (std::vector<double>* v :
         {&rs.gw_well_rate, &rs.gw_net_sink, &rs.gw_leakage, &rs.gw_unsat_exchange,
          &rs.gw_chan_exchange_vol, &rs.gw_lake_exchange_vol, &rs.gw_tile_vol, &rs.gw_flux,
          &rs.gw_static_flux, &rs.gw_recharge_depth}) {
        if (v->size() < n) v->resize(n, 0.0);
    }
}

bool stop_with(const char* format, double a, double b) {
    std::printf(format, a, b);
    error_record.code = kErrorPrinted;
    return false;
}

// Step A: the net sink of every cell for the interval dt (s); returns the
// volume the sources and sinks add (m3). Withdrawals that the saturated
// thickness cannot supply are cut, leakage first, then pumping.
double compute_sinks(run_state& rs, double dt) {
    const int n = rs.GNUM;
    const double area = rs.cell_size * rs.cell_size;   // m2
    const double leak_rate = rs.gw_leakage_rate / kCmPerM / kSecondsPerHour;   // m/s
    if (rs.gw_wells_active) {
        std::fill(rs.gw_well_rate.begin(), rs.gw_well_rate.end(), 0.0);
        well_rates(rs, rs.gw_well_rate, rs.time);
    }
    double volume = 0.0;
    for (int c = 1; c <= n; ++c) {
        const size_t i = ix(c);
        if (fixed_head(rs.gwbound[i])) {
            rs.gw_net_sink[i] = 0.0;
            rs.gw_leakage[i] = 0.0;
            rs.gw_well_rate[i] = 0.0;
            continue;
        }
        const double s = rs.elevgw[i] - rs.bottom_elev[i];   // saturated thickness, m
        const double S = rs.gw_storage[i];
        const double tile = rs.gw_tile_vol[i] / dt / area;   // m/s
        const double lake = rs.gw_lake_exchange_vol[i] / dt / area;
        rs.gw_vol_from_lakes -= rs.gw_lake_exchange_vol[i];   // the aquifer's book of the lakes' seepage
        const double chan = rs.gw_chan_exchange_vol[i] / dt / area;
        const double unsat = rs.gw_unsat_exchange[i];         // cm
        rs.gw_tile_vol[i] = rs.gw_lake_exchange_vol[i] = rs.gw_chan_exchange_vol[i] = 0.0;
        if (rs.gw_chan_exchange_booked.size() > i) rs.gw_chan_exchange_booked[i] = 0.0;
        rs.gw_unsat_exchange[i] = 0.0;
        double leak = s < kLeakPumpThickness ? 0.0 : leak_rate;
        double well = rs.gw_wells_active ? rs.gw_well_rate[i] : rs.gw_static_flux[i];
        if (s < kLeakPumpThickness && well > 0.0) well = 0.0;
        double net = -rs.gw_recharge_depth[i] / kCmPerM / dt - unsat / kCmPerM / dt + chan + lake +
                     tile + leak + well;
        // What the cell can give without going below the kept thickness, m/s.
        const double available = std::max(0.0, S * (s - kMinThickness) / dt);
        if (net > available) {
            double excess = net - available;
            const double cut_leak = std::min(excess, std::max(leak, 0.0));
            leak -= cut_leak;
            excess -= cut_leak;
            const double cut_well = std::min(excess, std::max(well, 0.0));
            well -= cut_well;
            net -= cut_leak + cut_well;
        }
        rs.gw_leakage[i] = leak;
        rs.gw_well_rate[i] = well;
        rs.gw_net_sink[i] = net;
        volume -= dt * net * area;
    }
    return volume;
}

// Coefficient of the face between cells with transmissivities t and tn (m2/s), 1/s.
inline double face(double t, double tn, double d) {
    const double sum = d * tn + d * t;
    return sum > 0.0 ? 2.0 * t * tn / sum / d : 0.0;
}

// Step B.4 a-b: transmissivities from the current heads and the coefficients.
void assemble(run_state& rs, double delta) {
    const int n = rs.GNUM;
    const double d = rs.cell_size;
    for (int c = 1; c <= n; ++c) {
        const size_t i = ix(c);
        const double s = std::max(rs.elevgw[i] - rs.bottom_elev[i], kMinThickness);
        rs.gw_trans_x[i] = s * rs.gw_hycond[i];
        rs.gw_trans_y[i] = s * rs.gw_hycond_y[i];
    }
    for (int r = 1; r <= rs.rows; ++r) {
        for (int col = 1; col <= rs.cols; ++col) {
            const int c = rs.mask[r][col];
            if (c < 1) continue;
            const size_t i = ix(c);
            if (fixed_head(rs.gwbound[i])) {
                rs.gw_coef_up[i] = rs.gw_coef_down[i] = rs.gw_coef_left[i] = rs.gw_coef_right[i] = 0.0;
                rs.gw_coef_diag[i] = 1.0;
                rs.gw_coef_rhs[i] = rs.gw_head_sub[i];
                continue;
            }
            // A face of a no-flow cell carries nothing, from either side.
            const bool open = rs.gwbound[i] != kNoFlowCode;
            auto flowing = [&](int nb) { return open && nb > 0 && rs.gwbound[ix(nb)] != kNoFlowCode ? nb : 0; };
            const int up = flowing(r > 1 ? rs.mask[r - 1][col] : 0);
            const int down = flowing(r < rs.rows ? rs.mask[r + 1][col] : 0);
            const int left = flowing(col > 1 ? rs.mask[r][col - 1] : 0);
            const int right = flowing(col < rs.cols ? rs.mask[r][col + 1] : 0);
            const double tx = rs.gw_trans_x[i], ty = rs.gw_trans_y[i];
            rs.gw_coef_up[i] = up > 0 ? face(ty, rs.gw_trans_y[ix(up)], d) : 0.0;
            rs.gw_coef_down[i] = down > 0 ? face(ty, rs.gw_trans_y[ix(down)], d) : 0.0;
            rs.gw_coef_left[i] = left > 0 ? face(tx, rs.gw_trans_x[ix(left)], d) : 0.0;
            rs.gw_coef_right[i] = right > 0 ? face(tx, rs.gw_trans_x[ix(right)], d) : 0.0;
            const double store = rs.gw_storage[i] / delta;   // 1/s
            rs.gw_coef_diag[i] = -(rs.gw_coef_up[i] + rs.gw_coef_down[i] + rs.gw_coef_left[i] +
                                   rs.gw_coef_right[i] + store);
            rs.gw_coef_rhs[i] = rs.gw_net_sink[i] - store * rs.gw_head_sub[i];
        }
    }
}

// Step B.8: flow from every fixed-head cell into its non-fixed neighbours
// over delta seconds, with the neighbours' coefficients of the solve (m3).
void book_fixed_flux(run_state& rs, double delta) {
    const double area = rs.cell_size * rs.cell_size;
    for (int r = 1; r <= rs.rows; ++r) {
        for (int col = 1; col <= rs.cols; ++col) {
            const int c = rs.mask[r][col];
            if (c < 1 || !fixed_head(rs.gwbound[ix(c)])) continue;
            const double h = rs.elevgw[ix(c)];
            double flow = 0.0;   // m3/s into the aquifer
            auto add = [&](int nb, const std::vector<double>& coef) {
                if (nb < 1 || fixed_head(rs.gwbound[ix(nb)])) return;
                flow += coef[ix(nb)] * (h - rs.elevgw[ix(nb)]) * area;
            };
            if (r > 1) add(rs.mask[r - 1][col], rs.gw_coef_down);
            if (r < rs.rows) add(rs.mask[r + 1][col], rs.gw_coef_up);
            if (col > 1) add(rs.mask[r][col - 1], rs.gw_coef_right);
            if (col < rs.cols) add(rs.mask[r][col + 1], rs.gw_coef_left);
            rs.gw_flux[ix(c)] += flow * delta;
        }
    }
}

}  // namespace

int gw_implicit_sweep(run_state& rs, double w, double tolerance, int order, int direction,
                      int pass_cap, double& largest) {
    const bool rows = direction == 1;
    const int lines = rows ? rs.rows : rs.cols;
    const int length = rows ? rs.cols : rs.rows;
    std::vector<int> cells(ix(length) + 1);
    std::vector<double> sub(ix(length) + 1), diag(ix(length) + 1), sup(ix(length) + 1),
        rhs(ix(length) + 1);
    std::vector<double>& h = rs.elevgw;
    // Along a row the previous cell is the left one; along a column the one above.
    const std::vector<double>& before = rows ? rs.gw_coef_left : rs.gw_coef_up;
    const std::vector<double>& after = rows ? rs.gw_coef_right : rs.gw_coef_down;
    const std::vector<double>& cross_a = rows ? rs.gw_coef_up : rs.gw_coef_left;
    const std::vector<double>& cross_b = rows ? rs.gw_coef_down : rs.gw_coef_right;
    for (int pass = 1; pass <= pass_cap; ++pass) {
        largest = 1e-20;
        for (int k = 1; k <= lines; ++k) {
            const int line = order == 1 ? k : lines + 1 - k;
            int m = 0;
            for (int p = 1; p <= length; ++p) {
                const int r = rows ? line : p;
                const int col = rows ? p : line;
                const int c = rs.mask[r][col];
                if (c < 1) continue;
                const size_t i = ix(c);
                ++m;
                cells[ix(m)] = c;
                sub[ix(m)] = before[i];
                diag[ix(m)] = rs.gw_coef_diag[i];
                sup[ix(m)] = after[i];
                double b = rs.gw_coef_rhs[i];
                const int na = rows ? (r > 1 ? rs.mask[r - 1][col] : 0)
                                    : (col > 1 ? rs.mask[r][col - 1] : 0);
                const int nb = rows ? (r < rs.rows ? rs.mask[r + 1][col] : 0)
                                    : (col < rs.cols ? rs.mask[r][col + 1] : 0);
                if (na > 0) b -= cross_a[i] * h[ix(na)];
                if (nb > 0) b -= cross_b[i] * h[ix(nb)];
                rhs[ix(m)] = b;
            }
            if (m == 0) continue;
            // Thomas algorithm on sub/diag/sup; the solution overwrites rhs.
            for (int j = 2; j <= m; ++j) {
                const double f = sub[ix(j)] / diag[ix(j - 1)];
                diag[ix(j)] -= f * sup[ix(j - 1)];
                rhs[ix(j)] -= f * rhs[ix(j - 1)];
            }
            rhs[ix(m)] /= diag[ix(m)];
            for (int j = m - 1; j >= 1; --j)
                rhs[ix(j)] = (rhs[ix(j)] - sup[ix(j)] * rhs[ix(j + 1)]) / diag[ix(j)];
            for (int j = 1; j <= m; ++j) {
                double& head = h[ix(cells[ix(j)])];
                const double change = rhs[ix(j)] - head;
                head += w * change;
                largest = std::max(largest, std::fabs(change));
            }
        }
        if (!(largest >= tolerance)) return std::isfinite(largest) ? pass : -1;
    }
    return -1;
}

double solve_groundwater_2d(run_state& rs, double dt) {
    if (rs.GNUM < 1 || !(dt > 0.0)) return 0.0;
    ensure_work(rs);
    const int n = rs.GNUM;
    const double area = rs.cell_size * rs.cell_size;
    const double volume = compute_sinks(rs, dt);
    const int direction = rs.gw_lsor_dir == 1 ? 1 : 2;

    double remaining = dt;
    while (remaining > 0.0) {
        for (int c = 1; c <= n; ++c) {
            const double h = rs.elevgw[ix(c)];
            if (!std::isfinite(h)) {
                std::printf("Error: the groundwater head of cell %d is not a number at time "
                              "%.6f (Julian days).\n", c, rs.time);
                error_record.code = kErrorPrinted;
                return 0.0;
            }
            rs.gw_head_sub[ix(c)] = h;
        }
        const double delta = remaining;
        double change = 0.0;
        int iteration = 0;
        do {
            ++iteration;
            if (iteration >= kOuterWarn) print_message("GW IS NOT CONVERGING \n");
            if (iteration >= kOuterLimit) {
                stop_with("Error: Non-convergence in the groundwater after 1000 tries at time "
                          "%.6f (Julian days); largest head change %g m.\n", rs.time, change);
                return 0.0;
            }
            for (int c = 1; c <= n; ++c) rs.gw_head_iter[ix(c)] = rs.elevgw[ix(c)];
            assemble(rs, delta);
            double largest = 0.0;
            if (gw_implicit_sweep(rs, rs.gw_relax_coeff, rs.gw_lsor_con, rs.gw_sweep, direction,
                                  kSweepPassCap, largest) < 0) {
                stop_with("Error: the groundwater line sweeps did not converge at time %.6f "
                          "(Julian days); largest head change of the last pass %g m.\n",
                          rs.time, largest);
                return 0.0;
            }
            change = 0.0;
            for (int c = 1; c <= n; ++c)
                change = std::max(change, std::fabs(rs.elevgw[ix(c)] - rs.gw_head_iter[ix(c)]));
            // Under Richards columns the storage follows the ground the table
            // crosses; the last solve used the storage it is booked with. A
            // head that swings across a change of ground (the ground surface
            // itself: 1 above, the soil's content below) moves its storage
            // half-way only after the first passes, and it is held at last.
            if (rs.inf_richards && change > kOuterTolerance && iteration < kStorageHeld) {
                const double weight = iteration < kStorageBlended ? 1.0 : 0.5;
                for (int c = 1; c <= n; ++c) {
                    if (fixed_head(rs.gwbound[ix(c)])) continue;
                    const double s =
                        gw_layer_average(rs, c, rs.gw_head_sub[ix(c)], rs.elevgw[ix(c)]);
                    rs.gw_storage[ix(c)] += weight * (s - rs.gw_storage[ix(c)]);
                }
            }
        } while (change > kOuterTolerance);

        book_fixed_flux(rs, delta);
        double stored = 0.0, lift = 0.0;
        for (int c = 1; c <= n; ++c) {
            const size_t i = ix(c);
            if (fixed_head(rs.gwbound[i])) continue;
            const double floor = rs.bottom_elev[i] + kMinThickness;
            if (rs.elevgw[i] < floor) {
                lift += rs.gw_storage[i] * (floor - rs.elevgw[i]) * area;
                rs.elevgw[i] = floor;
            }
            stored += rs.gw_storage[i] * (rs.elevgw[i] - rs.gw_head_sub[i]) * area;
        }
        rs.gw_vol_storage_change += stored;
        rs.gw_vol_floor_lift += lift;
        remaining -= delta;
        for (int c = 1; c <= n; ++c) {
            if (!std::isfinite(rs.elevgw[ix(c)])) {
                std::printf("Error: the groundwater head of cell %d is not a number after the "
                              "solve at time %.6f (Julian days).\n", c, rs.time);
                error_record.code = kErrorPrinted;
                return 0.0;
            }
        }
    }
    return volume;
}
