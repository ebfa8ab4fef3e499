// Overland constituent transport: the cell budgets that apply the pending
// amounts of the source blocks, then advection and dispersion between
// neighbouring cells in two sweeps (columns and rows, alternating which goes
// first), each a predictor and a corrector. Every loop over cells writes
// only its own cell; sums go per cell, then one ordered sum, so results do
// not depend on the thread count.
#include "quality/conc_transport.h"

#include <omp.h>

#include <algorithm>
#include <cmath>

#include "core/parallel.h"
#include "quality/conc_lakes.h"
#include "quality/constituent_setup.h"
#include "quality/constituent_steps.h"
#include "quality/nutrients.h"
#include "run/run_state.h"

namespace {

inline size_t ix(int i) { return static_cast<size_t>(i); }

constexpr double kCourant = 0.5;        // largest share of a cell's water that leaves in a sub-step
constexpr double kDiffusion = 0.5;      // largest E dt / dx2 of a sub-step
constexpr double kShortestSubstep = 0.1;  // s

// Flux into cell c across its face with neighbour k (upper or left; 0 none):
// advective q x upwind concentration (q the face discharge from the
// neighbour to the cell, m3/s) and dispersive min(h E) x (Ck - Cc), g/s.
inline void face_flux(const overland_view& v, const double* C, int c, int k, double Q,
                      double& adv, double& dsp) {
    if (k == 0) {
        adv = 0.0;
        dsp = 0.0;
        return;
    }
    adv = Q * (Q >= 0.0 ? C[k] : C[c]);
    const double hk = v.h[k], hc = v.h[c];
    dsp = hk > kConDry && hc > kConDry ? std::min(hk * v.E[k], hc * v.E[c]) * (C[k] - C[c]) : 0.0;
}

// Predictor: new mass of each cell from its start mass M0, the fluxes across
// its own face and its far face (the far neighbour's own face, worked out
// here again so that no loop waits for another over the face fluxes) and
// half the net source rate; concentration from the mass (0 when negative).
// The fluxes across the own face are kept for the corrector. A work-sharing
// loop of the enclosing parallel region (serial outside one). A lake cell
// (kLakes) keeps its lake's concentration as its predicted one.
template <bool kLakes>
void predict_cells(const overland_view& v, const double* M0, const double* C, const int* nb,
                   const int* far, const double* q, const double* R, double dt,
                   const pass_point& pp, overland_work& w) {
    const int n = v.cells;
    const double dry = kConDry * v.area;
    double* adv = w.adv1;
    double* dsp = w.dsp1;
    double* M = w.m_pred;
    double* Cp = w.c_pred;
#pragma omp for schedule(static)
    for (int c = 1; c <= n; ++c) {
        double a_in, d_in;
        face_flux(v, C, c, nb[c], nb[c] != 0 ? q[nb[c]] : 0.0, a_in, d_in);
        adv[c] = a_in;
        dsp[c] = d_in;
        const int f = far[c];
        double out = 0.0;
        if (f != 0) {
            double a_out, d_out;
            face_flux(v, C, f, c, q[c], a_out, d_out);
            out = a_out + d_out;
        }
        if (kLakes && v.lake[c] != 0) {
            M[c] = M0[c];
            Cp[c] = C[c];
            continue;
        }
        const double m = (a_in + d_in - out + 0.5 * R[c]) * dt + M0[c];
        const double water = pass_water(v, c, pp);
        M[c] = m;
        Cp[c] = pass_cell_of(v, pp, c, water) != pass_cell::plain ? C[c]
                : water > dry && m >= 0.0                          ? m / water
                                                                   : 0.0;
    }
}

// Corrector with the mean of the first and the predicted fluxes; M is read
// and written for the own cell only. A negative mass is booked in `neg` and
// set to 0. A lake cell (kLakes) keeps M and C and adds the net inflow of its
// faces to its lake gain.
template <bool kLakes>
void correct_cells(const overland_view& v, const int* nb, const int* far, const double* q,
                   const overland_work& w, const double* R, double dt, const pass_point& pp,
                   double* M, double* C) {
    const int n = v.cells;
    const double dry = kConDry * v.area;
    const double* Cp = w.c_pred;
#pragma omp for schedule(static)
    for (int c = 1; c <= n; ++c) {
        double a2, d2;
        face_flux(v, Cp, c, nb[c], nb[c] != 0 ? q[nb[c]] : 0.0, a2, d2);
        const double in = 0.5 * (w.adv1[c] + a2 + w.dsp1[c] + d2);
        const int f = far[c];
        double out = 0.0;
        if (f != 0) {
            double a2f, d2f;
            face_flux(v, Cp, f, c, q[c], a2f, d2f);
            out = 0.5 * (w.adv1[f] + a2f + w.dsp1[f] + d2f);
        }
        if (kLakes && v.lake[c] != 0) {
            w.lake_gain[c] += (in - out) * dt;
            continue;
        }
        double m = (in - out + 0.5 * R[c]) * dt + M[c];
        const double water = pass_water(v, c, pp);
        const pass_cell kind = pass_cell_of(v, pp, c, water);
        if (kind == pass_cell::emptied) {
            const double held = C[c] * water;
            w.neg[c] += held - m;
            m = held;
        } else if (m < 0.0 && kind != pass_cell::no_water) {
            w.neg[c] += -m;
            m = 0.0;
        }
        M[c] = m;
        // An emptied cell keeps the concentration it started the pass with.
        if (kind == pass_cell::plain) C[c] = water > dry ? m / water : 0.0;
    }
}

}  // namespace

double overland_substep_limit(const overland_view& v, double* limit, bool parallel) {
    const int n = v.cells;
    const double area = v.area;
    const double dx2 = v.area;
    double smallest = 1e300;
    // The smallest value is the same in any order: a min reduction.
#pragma omp parallel for schedule(static) if (parallel) reduction(min : smallest)
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
        if (limit != nullptr) limit[c] = lim;
        smallest = std::min(smallest, lim);
    }
    return smallest;
}

void overland_step_water(const overland_view& v, double* tilt, unsigned char* emptied, bool parallel) {
    const int n = v.cells;
#pragma omp parallel for schedule(static) if (parallel)
    for (int c = 1; c <= n; ++c) {
        const int u = v.above[c], d = v.below[c], l = v.left[c], r = v.right[c];
        const double col = (u != 0 ? v.qy[u] : 0.0) - (d != 0 ? v.qy[c] : 0.0);
        const double row = (l != 0 ? v.qx[l] : 0.0) - (r != 0 ? v.qx[c] : 0.0);
        tilt[c] = col - row;
        emptied[c] = v.h[c] < kEmptiedShare * std::max(v.h0[c], v.h[c]) ? 1 : 0;
    }
}

int overland_substeps(double found, double dt, double& h) {
    const double lim = std::max(found, kShortestSubstep);
    const int steps = lim >= dt ? 1 : static_cast<int>(std::ceil(dt / lim));
    h = dt / steps;
    return steps;
}

void advect_overland_constituent(const overland_view& v, double dt, int sweep, double* M,
                                 double* C, const double* R, overland_work& w) {
    const bool parallel = v.cells >= parallel_cells().overland;
    const double found = w.substep > 0.0 ? w.substep : overland_substep_limit(v, w.limit, parallel);
    double h = 0.0;
    const int steps = overland_substeps(found, dt, h);
    if (sweep_overland_constituent(v, steps, h, sweep, M, C, R, w)) return;
    // One parallel region for the whole step; its loops share the cells statically.
#pragma omp parallel if (parallel)
    for (int s = 0; s < steps; ++s) {
        for (int pass = 0; pass < 2; ++pass) {
            const bool columns = (sweep == 1) == (pass == 0);
            const int* nb = columns ? v.above : v.left;
            const int* far = columns ? v.below : v.right;
            const double* q = columns ? v.qy : v.qx;
            const pass_point pp = pass_point_of(s + 1, steps, h, pass == 0, sweep == 1);
            if (v.lake != nullptr) {
                predict_cells<true>(v, M, C, nb, far, q, R, h, pp, w);
                correct_cells<true>(v, nb, far, q, w, R, h, pp, M, C);
            } else {
                predict_cells<false>(v, M, C, nb, far, q, R, h, pp, w);
                correct_cells<false>(v, nb, far, q, w, R, h, pp, M, C);
            }
        }
    }
}

namespace {

pending_clock pending_clock_of(const run_state& rs) {
    pending_clock k;
    for (int b = 0; b < 4; ++b) k.interval[b] = rs.con_pending_interval[b];
    return k;
}

}  // namespace

double contam_cell_budget(run_state& rs, int i, int j, double dt, cell_taken& taken) {
    constituent_cells& c = rs.con;
    const size_t ii = ix(i), jj = ix(j);
    cell_pending p{c.pend_precip[ii][jj], c.pend_exchange[ii][jj], c.pend_decay[ii][jj], c.pend_infil[ii][jj]};
    const bool exchange = p.exchange != 0.0;
    double to_land = 0.0;
    const double rate = cell_budget(pending_clock_of(rs), dt, c.mass[ii][jj], p, taken, to_land);
    c.pend_precip[ii][jj] = p.precip;
    c.pend_exchange[ii][jj] = p.exchange;
    c.pend_decay[ii][jj] = p.decay;
    c.pend_infil[ii][jj] = p.infil;
    if (to_land != 0.0) c.land[ii][jj] += to_land;
    if (rs.soil_con_trans) {
        if (exchange) c.pend_soil_exchange[ii][jj] += taken.exchange;
        c.pend_soil_in[ii][jj] += taken.infil;
    }
    return rate;
}

namespace {

// What a transport step applied to one constituent, g, summed per block of
// cells in cell order and then the blocks in order.
struct step_amounts {
    double precip = 0.0, decay = 0.0, infil = 0.0, exchange = 0.0, made = 0.0, boundary = 0.0;
    double outlet = 0.0;   // taken by the overland outlet
};

// Books the amounts of constituent i (and those of its lakes) in the run totals, kg.
void book_step(run_state& rs, int i, const step_amounts& a, const lake_step_sums& lk) {
    const size_t ii = ix(i);
    constituent_totals& t = rs.con_tot;
    if (rs.con_lake.channel) {
        // Channel-network lakes are stores of their own: the rain on
        // their cells is theirs, and what the cells pass them (with the
        // exchange queued on a cell before it joined) leaves the cells.
        t.precip[ii] += a.precip / 1000.0;
        t.lake_precip[ii] += lk.precip / 1000.0;
        t.ov_to_lake[ii] += (lk.to_lake + lk.exchange) / 1000.0;
    } else {
        t.precip[ii] += (a.precip + lk.precip) / 1000.0;
    }
    t.ov_decay[ii] += a.decay / 1000.0;
    t.infil[ii] += a.infil / 1000.0;
    t.uptake[ii] += (a.exchange + lk.exchange) / 1000.0;
    t.ov_neg[ii] += (a.made + lk.made) / 1000.0;
    t.lake_decay[ii] += lk.decay / 1000.0;
    t.ov_out[ii] += a.outlet / 1000.0;
    t.bc_out[ii] += a.boundary / 1000.0;
}

// What every transport step does last; `depth_kept`: the depths of the step
// were already copied to con_h_last.
void finish_step(run_state& rs, bool depth_kept) {
    constituent_cells& c = rs.con;
    if ((rs.ov_boundary || rs.ov_pump) && c.bc_volume.size() > ix(rs.GNUM))
        std::fill(c.bc_volume.begin(), c.bc_volume.end(), 0.0);
    hand_nutrients_to_soil(rs);
    advance_process_clock(rs, rs.ov_con_transport_last, rs.ov_con_transport_next, rs.ov_con_step_days);
    rs.con_sweep = rs.con_sweep == 1 ? 2 : 1;
    if (depth_kept) {
        // The sweep wrote the depths of the step beside the start depths it read.
        rs.con_h_last.swap(rs.con_h_next);
        return;
    }
    const int cells = rs.GNUM;
    double* h_last = rs.con_h_last.data();
    const double* h = rs.ov_depth.data();
#pragma omp parallel for schedule(static) if (cells >= parallel_cells().overland)
    for (int j = 0; j <= cells; ++j) h_last[j] = h[j];
}

// The overland outlet's take of constituent i for the step: what is queued,
// at most what the outlet cell holds after its budget and boundary outflow
// (worked out here on values, before the sweep applies them), g.
double outlet_take(const run_state& rs, int i, int outlet, double dt, const double* bc_vol) {
    const constituent_cells& c = rs.con;
    const size_t ii = ix(i), jj = ix(outlet);
    if (outlet < 1 || outlet > rs.GNUM || !(c.exit_mass[ii] > 0.0)) return 0.0;
    cell_pending p{c.pend_precip[ii][jj], c.pend_exchange[ii][jj], c.pend_decay[ii][jj], c.pend_infil[ii][jj]};
    cell_taken t;
    double to_land = 0.0;
    const double M = c.mass[ii][jj];
    double r = cell_budget(pending_clock_of(rs), dt, M, p, t, to_land);
    if (bc_vol != nullptr && bc_vol[jj] > 0.0) {
        const double held = std::max(M + r * dt, 0.0);
        r -= std::min(c.conc[ii][jj] * bc_vol[jj], held) / dt;
    }
    return std::min(c.exit_mass[ii], std::max(M + r * dt, 0.0));
}

// A cell dry at the start of the step (no water, no mass) has no
// concentration of its own, yet the step's first estimate of its outflow
// takes its start concentration: with 0 the water it passes on in the step
// that wets it would leave at half its concentration. It starts instead at the
// concentration of the water that arrives in the step: the rain (at the
// rain concentration) and the inflow across its faces from cells wet at the
// start (at theirs); a cell nothing arrives at keeps its value. Only dry
// cells are written and only wet ones read, so the loop is parallel.
void start_dry_cells_at_arriving_conc(run_state& rs, const overland_view& v, double dt, bool parallel) {
    const int cells = v.cells, n = rs.num_constituents;
    constituent_cells& c = rs.con;
    const bool raining = rs.rain_state == 1 && rs.rain_cell_volume.size() > ix(cells);
    const double* rain = raining ? rs.rain_cell_volume.data() : nullptr;   // m3 in the step
    const double* h0 = v.h0;
    const double* h = v.h;
#pragma omp parallel for schedule(static) if (parallel)
    for (int x = 1; x <= cells; ++x) {
        if (h0[x] > kConDry || !(h[x] > kConDry)) continue;
        // Inflows of the step from cells wet at its start, m3/s.
        const int from[4] = {v.left[x], v.right[x], v.above[x], v.below[x]};
        double q[4] = {v.qx[v.left[x]], -v.qx[x], v.qy[v.above[x]], -v.qy[x]};
        const double rain_q = rain != nullptr ? rain[x] / dt : 0.0;   // m3/s
        double water = rain_q;
        for (int f = 0; f < 4; ++f) {
            if (from[f] == 0 || !(q[f] > 0.0) || !(h0[from[f]] > kConDry)) q[f] = 0.0;
            water += q[f];
        }
        if (!(water > 0.0)) continue;
        for (int i = 1; i <= n; ++i) {
            const size_t ii = ix(i);
            if (rs.constituent_type[ii] == 3 || c.mass[ii][ix(x)] > kConDry) continue;
            const double c_rain = rs.precip_conc.size >= i ? rs.precip_conc[i] : 0.0;   // g/m3
            const double* C = c.conc[ii].data();
            double mass = rain_q * c_rain;   // g/s
            for (int f = 0; f < 4; ++f)
                if (q[f] > 0.0) mass += q[f] * C[from[f]];
            c.conc[ii][ix(x)] = mass / water;
        }
    }
}

// The whole step of every transported constituent in streaming sweeps
// (grids without lakes whose numbering the sweep follows): all constituents
// together when one sub-step suffices, one at a time otherwise (their rates
// kept in the rate row for the later sub-steps). Returns false, having done
// nothing, when the sweep cannot run.
bool sweep_whole_step(run_state& rs, const overland_view& v, overland_work& w, double dt,
                      const double* bc_vol, int outlet, bool& depth_kept) {
    constituent_cells& c = rs.con;
    const int cells = rs.GNUM;
    // Everything sweep_overland_step asks for, checked before the first
    // constituent moves (a refusal half-way would leave some moved).
    if (v.lake != nullptr || w.layout == nullptr || !w.layout->ok || w.sweep_items < 1 ||
        w.sweep_items > kStepItems || w.sweep_space == nullptr || w.sweep_threads < 1 ||
        c.rate.size() <= ix(cells))
        return false;
    overland_step_setting st;
    st.dt = dt;
    st.steps = overland_substeps(w.substep, dt, st.h);
    st.sweep = rs.con_sweep;
    st.clock = pending_clock_of(rs);
    st.bc_volume = bc_vol;
    st.outlet = outlet >= 1 && outlet <= cells ? outlet : 0;
    st.soil = rs.soil_con_trans != 0;
    st.rates = st.steps > 1 ? c.rate.data() : nullptr;
    const int group = st.steps > 1 ? 1 : w.sweep_items;
    const int blocks = (cells + kSumBlock - 1) / kSumBlock;
    overland_step_item items[kStepItems];
    int numbers[kStepItems];
    int i = 1;
    while (i <= rs.num_constituents) {
        int count = 0;
        for (; i <= rs.num_constituents && count < group; ++i) {
            const size_t ii = ix(i);
            if (rs.constituent_type[ii] == 3) continue;
            overland_step_item& it = items[count];
            it.M = c.mass[ii].data();
            it.C = c.conc[ii].data();
            it.E = c.disp[ii].data();
            it.pend_precip = c.pend_precip[ii].data();
            it.pend_exchange = c.pend_exchange[ii].data();
            it.pend_decay = c.pend_decay[ii].data();
            it.pend_infil = c.pend_infil[ii].data();
            it.land = c.land[ii].data();
            it.soil_exchange = st.soil ? c.pend_soil_exchange[ii].data() : nullptr;
            it.soil_in = st.soil ? c.pend_soil_in[ii].data() : nullptr;
            it.outlet_out = st.outlet != 0 ? outlet_take(rs, i, st.outlet, dt, bc_vol) : 0.0;
            it.sums = c.block_sums.data() + static_cast<size_t>(count) * blocks * kStepSlots;
            numbers[count++] = i;
        }
        if (count == 0) break;
        // The depths of the step go beside the start depths the sweep reads.
        if (rs.con_h_next.size() != rs.con_h_last.size()) rs.con_h_next.assign(rs.con_h_last.size(), 0.0);
        st.h_last = depth_kept ? nullptr : rs.con_h_next.data();
        if (!sweep_overland_step(v, st, items, count, w)) return false;
        if (!depth_kept) rs.con_h_next[0] = rs.ov_depth[0];
        depth_kept = true;
        for (int k = 0; k < count; ++k) {
            const double* part = items[k].sums;
            step_amounts a;
            for (int b = 0; b < blocks; ++b) {
                const double* q = part + static_cast<size_t>(b) * kStepSlots;
                a.precip += q[kStepPrecip];
                a.decay += q[kStepDecay];
                a.infil += q[kStepInfil] + q[kStepDry];
                a.exchange += q[kStepExchange] - q[kStepToLand];
                a.made += q[kStepNegFirst] + q[kStepNegSecond];
                a.boundary += q[kStepBoundary];
            }
            a.outlet = items[k].outlet_out;
            c.exit_mass[ix(numbers[k])] = 0.0;
            book_step(rs, numbers[k], a, lake_step_sums{});
        }
    }
    return true;
}

}  // namespace

void step_overland_constituent_transport(run_state& rs) {
    if (!rs.overland_constituents || rs.num_constituents < 1) return;
    if (!process_due(rs, rs.ov_con_transport_next)) return;
    const double dt = process_elapsed_seconds(rs, rs.ov_con_transport_last);
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
    // The masses stand in the water of the last step's end, as the processes
    // that moved mass with water since then left it (con_h_last); the
    // sub-steps take the water between that and the depth of now.
    v.h0 = rs.con_h_last.size() > ix(cells) ? rs.con_h_last.data() : nullptr;
    if (v.h0 != nullptr) {
        if (c.tilt.size() != ix(cells) + 1) c.tilt.assign(ix(cells) + 1, 0.0);
        if (c.emptied.size() != ix(cells) + 1) c.emptied.assign(ix(cells) + 1, 0);
        overland_step_water(v, c.tilt.data(), c.emptied.data(), parallel);
        v.tilt = c.tilt.data();
        v.emptied = c.emptied.data();
        start_dry_cells_at_arriving_conc(rs, v, dt, parallel);
    }
    overland_work w;
    w.adv1 = c.adv1.data();
    w.dsp1 = c.dsp1.data();
    w.m_pred = c.m_pred.data();
    w.c_pred = c.c_pred.data();
    w.limit = c.limit.data();
    bool depth_kept = false;
    // Per-cell row of the mass made by raising negative masses (g); the other
    // amounts of the step are summed per block of cells as they are taken.
    std::vector<double>& b_neg = c.book_neg;
    w.neg = b_neg.data();
    const int blocks = (cells + kSumBlock - 1) / kSumBlock;
    // Water the boundary conditions and pumps took since the last step, m3 per cell.
    const double* bc_vol = (rs.ov_boundary || rs.ov_pump) && c.bc_volume.size() > ix(cells) ? c.bc_volume.data() : nullptr;
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
    w.substep = overland_substep_limit(v, nullptr, parallel);
    c.transport_substeps = overland_substeps(w.substep, dt, c.transport_substep);
    // The streaming sweep: the numbering checked and its space sized once per run.
    if (!c.sweep_ready) {
        c.sweep_ready = 1;
        const overland_layout found = overland_transport_layout(v);
        c.sweep_ok = found.ok;
        c.sweep_reach_y = found.reach_y;
        c.sweep_reach_x = found.reach_x;
        c.sweep_threads = found.ok ? omp_get_max_threads() : 0;
        // Constituents one whole-step sweep carries together.
        int moved = 0;
        for (int i = 1; i <= rs.num_constituents; ++i) moved += rs.constituent_type[ix(i)] != 3 ? 1 : 0;
        c.sweep_items = found.ok ? std::max(1, std::min(moved, kStepItems)) : 0;
        const long per = std::max(overland_sweep_doubles(found), c.sweep_items * overland_step_doubles(found));
        c.sweep_space.assign(static_cast<size_t>(c.sweep_threads) * static_cast<size_t>(per), 0.0);
        const size_t sums = static_cast<size_t>(c.sweep_items) * static_cast<size_t>(blocks) * kStepSlots;
        if (c.block_sums.size() < sums) c.block_sums.assign(sums, 0.0);
    }
    overland_layout layout;
    layout.ok = c.sweep_ok;
    layout.reach_y = c.sweep_reach_y;
    layout.reach_x = c.sweep_reach_x;
    w.layout = &layout;
    w.sweep_space = c.sweep_space.data();
    w.sweep_threads = c.sweep_threads;
    w.sweep_items = c.sweep_items;
    // Lakes: their cells are not transported (budget rate 0); what
    // crosses their faces goes into their lake's store.
    const bool lakes = lake_stores_on(rs);
    const int* lake = lake_cell_ids(rs);
    v.lake = lake;
    w.lake_gain = lakes ? rs.con_lake.gain.data() : nullptr;
    if (sweep_whole_step(rs, v, w, dt, bc_vol, outlet, depth_kept)) {
        finish_step(rs, depth_kept);
        return;
    }
    double* part = c.block_sums.data();
    for (int i = 1; i <= rs.num_constituents; ++i) {
        const size_t ii = ix(i);
        if (rs.constituent_type[ii] == 3) continue;
        double* M = c.mass[ii].data();
        double* C = c.conc[ii].data();
        double* R = c.rate.data();
        v.E = c.disp[ii].data();
        lake_step_sums lk;
        if (lakes) lake_cells_into_lakes(rs, i, dt, lk);
        // 1-2. Budgets; what they took summed per block of cells in cell order.
        double* b_n = b_neg.data();
#pragma omp parallel for schedule(static) if (parallel)
        for (int b = 0; b < blocks; ++b) {
            double s[kConBooked] = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
            const int last = std::min(cells, (b + 1) * kSumBlock);
            for (int j = b * kSumBlock + 1; j <= last; ++j) {
                b_n[j] = 0.0;
                if (lake != nullptr && lake[j] != 0) {
                    R[j] = 0.0;
                    continue;
                }
                cell_taken t;
                R[j] = contam_cell_budget(rs, i, j, dt, t);
                s[0] += t.precip;
                s[1] += t.decay;
                s[2] += t.infil;
                s[3] += t.exchange;
                // The boundary or pumped water carried the cell's concentration of
                // the last step, at most what the cell holds after its budget.
                if (bc_vol != nullptr && bc_vol[j] > 0.0) {
                    const double held = std::max(M[j] + R[j] * dt, 0.0);
                    const double gone = std::min(C[j] * bc_vol[j], held);
                    R[j] -= gone / dt;
                    s[5] += gone;
                }
            }
            for (int k = 0; k < kConBooked; ++k) part[b * kConBooked + k] = s[k];
        }
        // The overland outlet: at most what the outlet cell holds after its budget.
        double out = 0.0;
        if (outlet >= 1 && outlet <= cells && c.exit_mass[ii] > 0.0) {
            if (lake != nullptr && lake[outlet] != 0) {
                // An outlet in a lake takes the lake's water.
                double& held = rs.con_lake.mass[ii][ix(lake[outlet])];
                out = std::min(c.exit_mass[ii], std::max(held, 0.0));
                held -= out;
            } else {
                const double held = M[outlet] + R[outlet] * dt;
                out = std::min(c.exit_mass[ii], std::max(held, 0.0));
                if (dt > 0.0) R[outlet] -= out / dt;
            }
        }
        c.exit_mass[ii] = 0.0;
        // 3. Advection and dispersion.
        if (dt > 0.0) advect_overland_constituent(v, dt, rs.con_sweep, M, C, R, w);
        if (lakes) book_lake_gains(rs, i, lk);
        // 4-5. Negative masses and cells that fell dry, added to the block
        // sums; then the blocks in order.
        const bool soil = rs.soil_con_trans != 0;
        double* land = c.land[ii].data();
        double* soil_in = c.pend_soil_in[ii].data();
        const double* h = rs.ov_depth.data();
#pragma omp parallel for schedule(static) if (parallel)
        for (int b = 0; b < blocks; ++b) {
            double dry = 0.0, made = 0.0, to_land = 0.0;   // g
            const int last = std::min(cells, (b + 1) * kSumBlock);
            for (int j = b * kSumBlock + 1; j <= last; ++j) {
                if (M[j] < 0.0) {
                    b_n[j] += -M[j];
                    M[j] = 0.0;
                    C[j] = 0.0;
                }
                if (h[j] < kConDry && M[j] >= kConDry) {
                    // A cell that fell dry leaves its mass to the soil (or the land store).
                    if (soil) {
                        soil_in[j] += M[j];
                        dry += M[j];
                    } else {
                        land[j] += M[j];
                        to_land += M[j];
                    }
                    M[j] = 0.0;
                    C[j] = 0.0;
                }
                made += b_n[j];
            }
            part[b * kConBooked + 2] += dry;
            // Left on the land: booked with the exchange, as mass the surface took.
            part[b * kConBooked + 3] -= to_land;
            part[b * kConBooked + 4] = made;
        }
        step_amounts a;
        for (int b = 0; b < blocks; ++b) {
            a.precip += part[b * kConBooked];
            a.decay += part[b * kConBooked + 1];
            a.infil += part[b * kConBooked + 2];
            a.exchange += part[b * kConBooked + 3];
            a.made += part[b * kConBooked + 4];
            a.boundary += part[b * kConBooked + 5];
        }
        a.outlet = out;
        book_step(rs, i, a, lk);
    }
    finish_step(rs, depth_kept);
}
