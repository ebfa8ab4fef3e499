// Overland constituent transport: the cell budgets that apply the pending
// amounts of the source blocks, then advection and dispersion between
// neighbouring cells in two sweeps (columns and rows, alternating which goes
// first), each a predictor and a corrector. Every loop over cells writes
// only its own cell; sums go per cell, then one ordered sum, so results do
// not depend on the thread count.
#include "quality/conc_transport.h"

#include <algorithm>
#include <cmath>

#include "core/parallel.h"
#include "quality/constituent_setup.h"
#include "quality/constituent_steps.h"
#include "run/run_state.h"

namespace {

inline size_t ix(int i) { return static_cast<size_t>(i); }

constexpr double kCourant = 0.5;        // largest share of a cell's water that leaves in a sub-step
constexpr double kDiffusion = 0.5;      // largest E dt / dx2 of a sub-step
constexpr double kShortestSubstep = 0.1;  // s
constexpr int kBooked = 5;                // amounts booked per cell: rain, decay, infiltration, exchange, made

// Face fluxes into each cell across its face with neighbour `nb` (upper or
// left): advective q x upwind concentration (q the face discharge from the
// neighbour to the cell, m3/s) and dispersive min(h E) x (Cn - Cc). g/s.
// A work-sharing loop of the enclosing parallel region (serial outside one).
void face_fluxes(const overland_view& v, const double* C, const int* nb, const double* q,
                 double* adv, double* dsp) {
    const int n = v.cells;
#pragma omp for schedule(static)
    for (int c = 1; c <= n; ++c) {
        const int k = nb[c];
        if (k == 0) {
            adv[c] = 0.0;
            dsp[c] = 0.0;
            continue;
        }
        const double Q = q[k];
        adv[c] = Q * (Q >= 0.0 ? C[k] : C[c]);
        const double hk = v.h[k], hc = v.h[c];
        dsp[c] = hk > kConDry && hc > kConDry ? std::min(hk * v.E[k], hc * v.E[c]) * (C[k] - C[c])
                                              : 0.0;
    }
}

// Predictor: new mass of each cell from its start mass M0, the fluxes across
// its own face (index c) and its far face (index of the far neighbour) and
// half the net source rate; concentration from the mass (0 when negative).
void predict_cells(const overland_view& v, const double* M0, const int* far, const double* adv,
                   const double* dsp, const double* R, double dt, double* M, double* C) {
    const int n = v.cells;
    const double area = v.area;
#pragma omp for schedule(static)
    for (int c = 1; c <= n; ++c) {
        const int f = far[c];
        const double out = f != 0 ? adv[f] + dsp[f] : 0.0;
        const double m = (adv[c] + dsp[c] - out + 0.5 * R[c]) * dt + M0[c];
        const double h = v.h[c];
        M[c] = m;
        C[c] = h > kConDry && m >= 0.0 ? m / (h * area) : 0.0;
    }
}

// Corrector with the mean of the first and the predicted fluxes; M is read
// and written for the own cell only. A negative mass is booked in `neg` and
// set to 0.
void correct_cells(const overland_view& v, const int* far, const overland_work& w,
                   const double* R, double dt, double* M, double* C) {
    const int n = v.cells;
    const double area = v.area;
#pragma omp for schedule(static)
    for (int c = 1; c <= n; ++c) {
        const int f = far[c];
        const double in = 0.5 * (w.adv1[c] + w.adv2[c] + w.dsp1[c] + w.dsp2[c]);
        const double out = f != 0 ? 0.5 * (w.adv1[f] + w.adv2[f] + w.dsp1[f] + w.dsp2[f]) : 0.0;
        double m = (in - out + 0.5 * R[c]) * dt + M[c];
        if (m < 0.0) {
            w.neg[c] += -m;
            m = 0.0;
        }
        const double h = v.h[c];
        M[c] = m;
        C[c] = h > kConDry ? m / (h * area) : 0.0;
    }
}

}  // namespace

double overland_substep_limit(const overland_view& v, double* limit, bool parallel) {
    const int n = v.cells;
    const double area = v.area;
    const double dx2 = v.area;
#pragma omp parallel for schedule(static) if (parallel)
    for (int c = 1; c <= n; ++c) {
        double lim = 1e300;
        const double h = v.h[c];
        if (h > kConDry) {
            // Outflow across the four faces, each sweep on its own.
            const double out_x = std::max(v.qx[c], 0.0) +
                                 (v.left[c] != 0 ? std::max(-v.qx[v.left[c]], 0.0) : 0.0);
            const double out_y = std::max(v.qy[c], 0.0) +
                                 (v.above[c] != 0 ? std::max(-v.qy[v.above[c]], 0.0) : 0.0);
            const double out = std::max(out_x, out_y);
            if (out > 0.0) lim = std::min(lim, kCourant * h * area / out);
            if (v.E[c] > 0.0) lim = std::min(lim, kDiffusion * dx2 / v.E[c]);
        }
        limit[c] = lim;
    }
    double smallest = 1e300;
    for (int c = 1; c <= n; ++c) smallest = std::min(smallest, limit[c]);
    return smallest;
}

void advect_overland_constituent(const overland_view& v, double dt, int sweep, double* M,
                                 double* C, const double* R, overland_work& w) {
    const bool parallel = v.cells >= parallel_cells().overland;
    const double found = w.substep > 0.0 ? w.substep : overland_substep_limit(v, w.limit, parallel);
    const double lim = std::max(found, kShortestSubstep);
    const int steps = lim >= dt ? 1 : static_cast<int>(std::ceil(dt / lim));
    const double h = dt / steps;
    // One parallel region for the whole step; its loops share the cells statically.
#pragma omp parallel if (parallel)
    for (int s = 0; s < steps; ++s) {
        for (int pass = 0; pass < 2; ++pass) {
            const bool columns = (sweep == 1) == (pass == 0);
            const int* nb = columns ? v.above : v.left;
            const int* far = columns ? v.below : v.right;
            const double* q = columns ? v.qy : v.qx;
            face_fluxes(v, C, nb, q, w.adv1, w.dsp1);
            predict_cells(v, M, far, w.adv1, w.dsp1, R, h, w.m_pred, w.c_pred);
            face_fluxes(v, w.c_pred, nb, q, w.adv2, w.dsp2);
            correct_cells(v, far, w, R, h, M, C);
        }
    }
}

double contam_cell_budget(run_state& rs, int i, int j, double dt, cell_taken& taken) {
    constituent_cells& c = rs.con;
    const size_t ii = ix(i), jj = ix(j);
    const double M = c.mass[ii][jj];
    double S = M;
    taken = cell_taken{};

    // Rain: a source.
    double& pp = c.pend_precip[ii][jj];
    if (pp > 0.0) {
        const double take = scaled_pending_amount(dt, rs.con_pending_interval[kConBlockRain], pp);
        pp -= take;
        S += take;
        taken.precip = take;
    }
    // Soil-surface exchange: a source; a negative amount is limited to what the water holds.
    double& pe = c.pend_exchange[ii][jj];
    if (pe != 0.0) {
        double take = scaled_pending_amount(dt, rs.con_pending_interval[kConBlockExchange], pe);
        if (take < 0.0 && -take > S) {
            take = -S;
            c.land[ii][jj] += pe - take;   // the part not taken returns to the land
            pe = 0.0;
        } else {
            pe -= take;
        }
        S += take;
        taken.exchange = take;
        if (rs.soil_con_trans) c.pend_soil_exchange[ii][jj] += take;
    }
    // Decay: a sink.
    double& pd = c.pend_decay[ii][jj];
    if (pd > 0.0) {
        double take = scaled_pending_amount(dt, rs.con_pending_interval[kConBlockDecay], pd);
        if (take > S) {
            take = S;
            pd = 0.0;
        } else {
            pd -= take;
        }
        S -= take;
        taken.decay = take;
    } else {
        pd = 0.0;
    }
    // Infiltration: a sink.
    double& pi = c.pend_infil[ii][jj];
    if (pi > 0.0) {
        double take = scaled_pending_amount(dt, rs.con_pending_interval[kConBlockInfil], pi);
        if (take > S) {
            take = S;
            pi = 0.0;
        } else {
            pi -= take;
        }
        S -= take;
        taken.infil = take;
        if (rs.soil_con_trans) c.pend_soil_in[ii][jj] += take;
    } else {
        pi = 0.0;
    }
    return dt > 0.0 ? (S - M) / dt : 0.0;
}

void step_overland_constituent_transport(run_state& rs) {
    if (!rs.overland_constituents || rs.num_constituents < 1) return;
    if (!process_due(rs, rs.ov_con_transport_next)) return;
    const double dt = (rs.time - rs.ov_con_transport_last) * kConSecondsPerDay;
    if (!(dt > 0.0)) {
        // No time has passed: nothing moves and the pending amounts wait.
        rs.ov_con_transport_next = rs.time + rs.ov_con_step_days;
        return;
    }
    const int cells = rs.GNUM;
    constituent_cells& c = rs.con;
    const double area = rs.cell_size * rs.cell_size;
    const bool parallel = cells >= parallel_cells().overland;
    overland_view v;
    v.cells = cells;
    v.area = area;
    v.h = rs.ov_depth.data();
    v.qx = rs.ov_qx.data();
    v.qy = rs.ov_qy.data();
    v.above = rs.abovecon.data();
    v.below = rs.belowcon.data();
    v.left = rs.leftcon.data();
    v.right = rs.rightcon.data();
    overland_work w;
    w.adv1 = c.adv1.data();
    w.dsp1 = c.dsp1.data();
    w.adv2 = c.adv2.data();
    w.dsp2 = c.dsp2.data();
    w.m_pred = c.m_pred.data();
    w.c_pred = c.c_pred.data();
    w.limit = c.limit.data();
    // Per-cell booking rows: decay, infiltration, exchange, negative mass (g).
    std::vector<double>& b_precip = c.book_precip;
    std::vector<double>& b_decay = c.book_decay;
    std::vector<double>& b_infil = c.book_infil;
    std::vector<double>& b_exch = c.book_exchange;
    std::vector<double>& b_neg = c.book_neg;
    w.neg = b_neg.data();
    const int outlet = !rs.chan_explic ? rs.outlet_cell : 0;
    // One sub-step limit for every constituent, with the largest dispersion
    // coefficient of each cell (the coefficients do not change in a run).
    if (!c.disp_max_ready) {
        c.disp_max_ready = 1;
        for (int i = 1; i <= rs.num_constituents; ++i)
            for (int j = 1; j <= cells; ++j)
                c.disp_max[ix(j)] = std::max(c.disp_max[ix(j)], c.disp[ix(i)][ix(j)]);
    }
    v.E = c.disp_max.data();
    w.substep = dt > 0.0 ? overland_substep_limit(v, w.limit, parallel) : 0.0;

    for (int i = 1; i <= rs.num_constituents; ++i) {
        const size_t ii = ix(i);
        if (rs.constituent_type[ii] == 3) continue;
        double* M = c.mass[ii].data();
        double* C = c.conc[ii].data();
        double* R = c.rate.data();
        v.E = c.disp[ii].data();
        // 1-2. Budgets.
#pragma omp parallel for schedule(static) if (parallel)
        for (int j = 1; j <= cells; ++j) {
            cell_taken t;
            R[j] = contam_cell_budget(rs, i, j, dt, t);
            b_precip[ix(j)] = t.precip;
            b_decay[ix(j)] = t.decay;
            b_infil[ix(j)] = t.infil;
            b_exch[ix(j)] = t.exchange;
            b_neg[ix(j)] = 0.0;
        }
        // The overland outlet: at most what the outlet cell holds after its budget.
        double out = 0.0;
        if (outlet >= 1 && outlet <= cells && c.exit_mass[ii] > 0.0) {
            const double held = M[outlet] + R[outlet] * dt;
            out = std::min(c.exit_mass[ii], std::max(held, 0.0));
            if (dt > 0.0) R[outlet] -= out / dt;
        }
        c.exit_mass[ii] = 0.0;
        // 3. Advection and dispersion.
        if (dt > 0.0) advect_overland_constituent(v, dt, rs.con_sweep, M, C, R, w);
        // 4-5. Negative masses and cells that fell dry; the step's amounts
        // summed per block of cells in cell order, then the blocks in order.
        const int blocks = (cells + kSumBlock - 1) / kSumBlock;
        double* part = c.block_sums.data();
        const bool soil = rs.soil_con_trans != 0;
        double* land = c.land[ii].data();
        double* soil_in = c.pend_soil_in[ii].data();
        const double* h = rs.ov_depth.data();
#pragma omp parallel for schedule(static) if (parallel)
        for (int b = 0; b < blocks; ++b) {
            double s[kBooked] = {0.0, 0.0, 0.0, 0.0, 0.0};
            const int last = std::min(cells, (b + 1) * kSumBlock);
            for (int j = b * kSumBlock + 1; j <= last; ++j) {
                if (M[j] < 0.0) {
                    b_neg[ix(j)] += -M[j];
                    M[j] = 0.0;
                    C[j] = 0.0;
                }
                if (h[j] < kConDry && M[j] >= kConDry) {
                    // A cell that fell dry leaves its mass to the soil (or the land store).
                    if (soil) {
                        soil_in[j] += M[j];
                        b_infil[ix(j)] += M[j];
                    } else {
                        land[j] += M[j];
                    }
                    M[j] = 0.0;
                    C[j] = 0.0;
                }
                s[0] += b_precip[ix(j)];
                s[1] += b_decay[ix(j)];
                s[2] += b_infil[ix(j)];
                s[3] += b_exch[ix(j)];
                s[4] += b_neg[ix(j)];
            }
            for (int k = 0; k < kBooked; ++k) part[b * kBooked + k] = s[k];
        }
        double precip = 0.0, decay = 0.0, infil = 0.0, exch = 0.0, neg = 0.0;
        for (int b = 0; b < blocks; ++b) {
            precip += part[b * kBooked];
            decay += part[b * kBooked + 1];
            infil += part[b * kBooked + 2];
            exch += part[b * kBooked + 3];
            neg += part[b * kBooked + 4];
        }
        // 7. Totals, kg.
        constituent_totals& t = rs.con_tot;
        t.precip[ii] += precip / 1000.0;
        t.ov_decay[ii] += decay / 1000.0;
        t.infil[ii] += infil / 1000.0;
        t.uptake[ii] += exch / 1000.0;
        t.ov_neg[ii] += neg / 1000.0;
        t.ov_out[ii] += out / 1000.0;
    }
    rs.ov_con_transport_last = rs.time;
    rs.ov_con_transport_next = rs.time + rs.ov_con_step_days;
    rs.con_sweep = rs.con_sweep == 1 ? 2 : 1;
    double* h_last = rs.con_h_last.data();
    const double* h = rs.ov_depth.data();
#pragma omp parallel for schedule(static) if (parallel)
    for (int j = 0; j <= cells; ++j) h_last[j] = h[j];
}
