// Overland constituent transport in one streaming sweep per sub-step.
//
// The two-loop form of conc_transport.cpp reads and writes every cell's
// fluxes, predicted values and masses through whole-grid arrays several
// times per pass; on large grids it is bound by memory traffic. Here both
// passes of a sub-step (columns and rows, each a predictor and a corrector)
// run as one pipeline over the cells in number order: the face fluxes, the
// predicted concentrations and the first pass's results live in short rings
// that stay in cache, so each cell's mass and concentration are read and
// written once per sub-step. The arithmetic is that of the two-loop form,
// operation for operation, so the results are the same to the bit.
//
// The pipeline needs the cell numbering of the grid: every upper and left
// neighbour numbered below the cell, the pairs consistent, and the distance
// between neighbours' numbers bounded ("reach", one row at most).
//
// Threads take contiguous chunks of cells. A chunk's pipeline starts and ends
// `lag` cells outside its chunk, recomputing what the neighbouring chunks
// compute, from copies of the start values near its two ends taken before any
// thread writes; it writes only its own cells.
//
// The whole-step sweep (sweep_overland_step) carries several constituents
// through one pipeline, block by block, so that the depths, discharges and
// neighbours of a block are read from memory once for all of them; it folds
// in the cell budgets (their rates kept in a ring, or in a row for later
// sub-steps) and the clean-up after the last sub-step. Its chunks are whole
// blocks of kSumBlock cells, so that every block's amounts are summed by one
// thread in cell order. Per cell and constituent it moves about 100 bytes
// where the budget, sweep and clean-up passes one constituent at a time
// moved about 230.
#include <omp.h>

#include <algorithm>
#include <cstring>

#include "core/parallel.h"
#include "quality/conc_transport.h"
#include "quality/constituent_setup.h"
#include "quality/constituent_store.h"

namespace {

constexpr int kBlock = 64;   // cells per pipeline stage step

inline long ring_size(int reach) {
    long r = 1;
    while (r < reach + kBlock) r <<= 1;
    return r;
}

// Start values of the cells: a whole-grid array, or a copy of a part of it
// starting at cell `first`.
struct array_src {
    const double* p;
    long first;
    double at(long x) const { return p[x - first]; }
};

// Values in a ring over the cell numbers.
struct ring_src {
    const double* p;
    long mask;
    double at(long x) const { return p[x & mask]; }
};

// One direction (columns or rows) of a sub-step.
struct pass_geo {
    const int* nb;     // upper or left neighbour, 0 none
    const int* far;    // lower or right neighbour, 0 none
    const double* q;   // discharge to the lower or right neighbour, m3/s
    long reach;        // largest distance between neighbours' numbers, cells
    long mask;         // ring size - 1
    double* a1;        // ring: first advective flux into the cell across its upper/left face, g/s
    double* d1;        // ring: first dispersive flux, g/s
    double* cp;        // ring: predicted concentration, g/m3
    double* fc;        // ring: corrected flux into the cell across that face, g/s
};

// The column pass (upper/lower neighbours, qy) and the row pass (left/right
// neighbours, qx) with their four flux rings of ry and rx doubles taken from
// the work space at `at`, which moves past them.
inline void carve_pass_rings(const overland_view& v, const overland_layout& l, long ry, long rx,
                             double*& at, pass_geo& col, pass_geo& row) {
    col = pass_geo{v.above, v.below, v.qy, l.reach_y, ry - 1, nullptr, nullptr, nullptr, nullptr};
    row = pass_geo{v.left, v.right, v.qx, l.reach_x, rx - 1, nullptr, nullptr, nullptr, nullptr};
    for (pass_geo* g : {&col, &row}) {
        const long size = g->mask + 1;
        g->a1 = at;
        g->d1 = at + size;
        g->cp = at + 2 * size;
        g->fc = at + 3 * size;
        at += 4 * size;
    }
}

// Fluxes into cell x across its face with neighbour k (0 none): advective
// Q x upwind concentration, dispersive min(h E) x (Ck - Cx), g/s.
inline void face_values(const overland_view& v, long x, long k, double Q, double Cx, double Ck,
                        double& adv, double& dsp) {
    if (k == 0) {
        adv = 0.0;
        dsp = 0.0;
        return;
    }
    adv = Q * (Q >= 0.0 ? Ck : Cx);
    const double hk = v.h[k], hx = v.h[x];
    dsp = hk > kConDry && hx > kConDry ? std::min(hk * v.E[k], hx * v.E[x]) * (Ck - Cx) : 0.0;
}

// Bounds of the cells a pass computes, from the range [lo, hi] of cells
// whose start values it reads.
struct pass_bounds {
    long flux_lo, flux_hi;   // first fluxes
    long pred_lo, pred_hi;   // predicted concentrations
    long corr_lo, corr_hi;   // corrected fluxes
    long out_lo, out_hi;     // results
};

pass_bounds bounds_of(long lo, long hi, long reach, long cells) {
    pass_bounds b;
    b.flux_lo = std::max(lo + reach, 1L);
    b.flux_hi = std::min(hi, cells);
    b.pred_lo = b.flux_lo;
    b.pred_hi = std::min(hi - reach, cells);
    b.corr_lo = std::max(lo + 2 * reach, 1L);
    b.corr_hi = b.pred_hi;
    b.out_lo = b.corr_lo;
    b.out_hi = std::min(hi - 2 * reach, cells);
    return b;
}

// Where a pass's results go: the first pass's into rings (cells outside the
// chunk are computed but not booked), the second pass's into the grid. The
// negative masses and lake gains of the chunk's own cells [lo, hi] are added
// to per-cell rows.
struct row_book {
    double* neg;    // per cell: negative masses raised to 0, g
    double* lake;   // per lake cell: net face inflow, g
    long lo, hi;    // own cells
    void neg_of(long x, double a) const {
        if (x >= lo && x <= hi) neg[x] += a;
    }
    void gain_of(long x, double a) const {
        if (x >= lo && x <= hi) lake[x] += a;
    }
};
struct ring_out {
    double* m;
    double* c;
    long mask;
    row_book book;
    void put(long x, double mx, double cx) const {
        m[x & mask] = mx;
        c[x & mask] = cx;
    }
    void neg(long x, double a) const { book.neg_of(x, a); }
    void gain(long x, double a) const { book.gain_of(x, a); }
};
struct grid_out {
    double* m;
    double* c;
    row_book book;
    void put(long x, double mx, double cx) const {
        m[x] = mx;
        c[x] = cx;
    }
    void neg(long x, double a) const { book.neg_of(x, a); }
    void gain(long x, double a) const { book.gain_of(x, a); }
};

// Where a pass ends within its step, as pass_block needs it (pass_point):
// at the step's end (the water of h; with h0 an emptied cell keeps its
// concentration), a first pass (with h0; a cell without water keeps it and
// its mass is not raised) or a second pass before the last (with h0).
enum pass_kind { kPassEnd, kPassFirst, kPassMid };

inline int pass_kind_of(const overland_view& v, const pass_point& pp) {
    if (v.h0 == nullptr || (pp.back == 0.0 && pp.half == 0.0)) return kPassEnd;
    return pp.half != 0.0 ? kPassFirst : kPassMid;
}

// Water of cell x at the end of a pass of kind kKind, m3 (pass_water).
template <int kKind>
inline double kind_water(const overland_view& v, long x, const pass_point& pp) {
    const double h1 = v.h[x];
    if (kKind == kPassEnd) return h1 * v.area;
    const double w = (h1 - (h1 - v.h0[x]) * pp.back) * v.area;
    return kKind == kPassFirst ? w + pp.half * v.tilt[x] : w;
}

// True when a pass of kind kKind leaves cell x (water w) its start
// concentration (pass_cell_of).
template <int kKind>
inline bool kind_keeps(const overland_view& v, long x, double w, double dry) {
    if (kKind == kPassFirst) return !(w > dry);
    if (kKind == kPassEnd) return v.emptied != nullptr && v.emptied[x] != 0;
    return false;
}

// One block of a pass with its front at cell p: first fluxes of the cells
// from p, predicted concentrations and corrected fluxes from p - reach,
// results from p - 2 reach, each clipped to its bounds. M0 and C0 give the
// start values, R the net source rates (g/s); `out` takes the results and
// books a negative mass raised to 0 and a lake cell's net face inflow. The
// concentrations divide by the water the cells hold at the end of the pass
// `pp` of kind kKind (pass_water, pass_cell_of).
template <bool kLakes, int kKind, class Src, class RSrc, class Out>
void pass_block(const overland_view& v, const pass_geo& g, const pass_bounds& b, long p,
                const Src& M0, const Src& C0, const RSrc& R, double dt, const pass_point& pp,
                const Out& out) {
    const double dry = kConDry * v.area;
    const long mask = g.mask;
    // First fluxes, from the start concentrations.
    for (long x = std::max(p, b.flux_lo), e = std::min(p + kBlock - 1, b.flux_hi); x <= e; ++x) {
        const long k = g.nb[x];
        double a, d;
        face_values(v, x, k, k != 0 ? g.q[k] : 0.0, C0.at(x), k != 0 ? C0.at(k) : 0.0, a, d);
        g.a1[x & mask] = a;
        g.d1[x & mask] = d;
    }
    // Predicted concentrations, then the corrected flux across the upper/left
    // face. The masses of a block first, their divisions in a loop of their
    // own (vector code), then the fluxes.
    double mb[kBlock], wb[kBlock], cb[kBlock];
    bool kb[kBlock];
    const long pb = p - g.reach;
    const long b0 = std::max(pb, b.pred_lo), b1 = std::min(pb + kBlock - 1, b.pred_hi);
    const int nbk = static_cast<int>(b1 - b0 + 1);
    for (int i = 0; i < nbk; ++i) {
        const long x = b0 + i;
        const long f = g.far[x];
        const double gone = f != 0 ? g.a1[f & mask] + g.d1[f & mask] : 0.0;
        mb[i] = (g.a1[x & mask] + g.d1[x & mask] - gone + 0.5 * R.at(x)) * dt + M0.at(x);
        wb[i] = kind_water<kKind>(v, x, pp);
        kb[i] = kind_keeps<kKind>(v, x, wb[i], dry) || (kLakes && v.lake[x] != 0);
    }
    for (int i = 0; i < nbk; ++i) cb[i] = wb[i] > dry && mb[i] >= 0.0 ? mb[i] / wb[i] : 0.0;
    for (int i = 0; i < nbk; ++i) {
        const long x = b0 + i;
        const double cp = kb[i] ? C0.at(x) : cb[i];
        g.cp[x & mask] = cp;
        if (x >= b.corr_lo) {
            const long k = g.nb[x];
            double a2, d2;
            face_values(v, x, k, k != 0 ? g.q[k] : 0.0, cp, k != 0 ? g.cp[k & mask] : 0.0, a2, d2);
            g.fc[x & mask] = 0.5 * (g.a1[x & mask] + a2 + g.d1[x & mask] + d2);
        }
    }
    // Results, the same way.
    const long pd = p - 2 * g.reach;
    const long d0 = std::max(pd, b.out_lo), d1 = std::min(pd + kBlock - 1, b.out_hi);
    const int ndk = static_cast<int>(d1 - d0 + 1);
    for (int i = 0; i < ndk; ++i) {
        const long x = d0 + i;
        const double in = g.fc[x & mask];
        const long f = g.far[x];
        const double gone = f != 0 ? g.fc[f & mask] : 0.0;
        if (kLakes && v.lake[x] != 0) {
            out.gain(x, (in - gone) * dt);
            mb[i] = 0.0;
            wb[i] = 0.0;
            kb[i] = true;
            continue;
        }
        double m = (in - gone + 0.5 * R.at(x)) * dt + M0.at(x);
        const double w = kind_water<kKind>(v, x, pp);
        const bool keep = kind_keeps<kKind>(v, x, w, dry);
        if (kKind == kPassEnd && keep) {
            // An emptied cell: its water holds the mass at its concentration.
            const double held = C0.at(x) * w;
            out.neg(x, held - m);
            m = held;
        } else if (m < 0.0 && !(kKind == kPassFirst && keep)) {
            out.neg(x, -m);
            m = 0.0;
        }
        mb[i] = m;
        wb[i] = w;
        kb[i] = keep;
    }
    for (int i = 0; i < ndk; ++i) cb[i] = wb[i] > dry ? mb[i] / wb[i] : 0.0;
    for (int i = 0; i < ndk; ++i) {
        const long x = d0 + i;
        if (kLakes && v.lake[x] != 0)
            out.put(x, M0.at(x), C0.at(x));
        else
            out.put(x, mb[i], kb[i] ? C0.at(x) : cb[i]);
    }
}

// pass_block for the kind of pass `pp` is.
template <bool kLakes, class Src, class RSrc, class Out>
void any_pass_block(const overland_view& v, const pass_geo& g, const pass_bounds& b, long p,
                    const Src& M0, const Src& C0, const RSrc& R, double dt, const pass_point& pp,
                    int kind, const Out& out) {
    if (kind == kPassFirst)
        pass_block<kLakes, kPassFirst>(v, g, b, p, M0, C0, R, dt, pp, out);
    else if (kind == kPassMid)
        pass_block<kLakes, kPassMid>(v, g, b, p, M0, C0, R, dt, pp, out);
    else
        pass_block<kLakes, kPassEnd>(v, g, b, p, M0, C0, R, dt, pp, out);
}

// Doubles of the rings of one thread.
long ring_doubles(const overland_layout& l) {
    const long ry = ring_size(static_cast<int>(l.reach_y));
    const long rx = ring_size(static_cast<int>(l.reach_x));
    const long rm = ring_size(static_cast<int>(2 * std::max(l.reach_x, l.reach_y)));
    return 4 * ry + 4 * rx + 2 * rm;
}

long lag_of(const overland_layout& l) { return 2 * (l.reach_x + l.reach_y); }

// Cells of one copy of start values near a chunk end.
long copy_cells(const overland_layout& l) {
    return lag_of(l) + 2 * std::max(l.reach_x, l.reach_y) + kBlock;
}

// One sub-step of the chunk [s, e] of thread `t`, after its copies were taken.
// Sub-step k of `steps`.
template <bool kLakes>
void sweep_chunk(const overland_view& v, const overland_layout& l, int sweep, long s, long e,
                 const double* M, const double* C, double* Mo, double* Co, const double* R,
                 double dt, int k, int steps, double* space, const double* copies,
                 overland_work& w) {
    const long n = v.cells;
    const bool columns_first = sweep == 1;
    const long ry = ring_size(static_cast<int>(l.reach_y));
    const long rx = ring_size(static_cast<int>(l.reach_x));
    const long rm = ring_size(static_cast<int>(2 * std::max(l.reach_x, l.reach_y)));
    double* at = space;
    auto take = [&at](long count) {
        double* p = at;
        at += count;
        return p;
    };
    pass_geo col, row;
    carve_pass_rings(v, l, ry, rx, at, col, row);
    double* mid_m = take(rm);
    double* mid_c = take(rm);
    const pass_geo& g1 = columns_first ? col : row;
    const pass_geo& g2 = columns_first ? row : col;
    const long lag = lag_of(l);
    const long lo = s - lag, hi = e + lag;
    const pass_bounds b1 = bounds_of(lo, hi, g1.reach, n);
    const pass_bounds b2 = bounds_of(lo + 2 * g1.reach, hi - 2 * g1.reach, g2.reach, n);
    // The copies: cells [head_first, ...) and [tail_first, ...), M then C.
    const long span = copy_cells(l);
    const long head_first = std::max(lo, 1L);
    const long tail_first = std::max(e + 1 - kBlock - 2 * g1.reach, 1L);
    const array_src head_m{copies, head_first}, head_c{copies + span, head_first};
    const array_src tail_m{copies + 2 * span, tail_first}, tail_c{copies + 3 * span, tail_first};
    const array_src live_m{M, 0}, live_c{C, 0};
    const ring_src mm{mid_m, rm - 1}, mc{mid_c, rm - 1};
    const row_book book{w.neg, w.lake_gain, s, e};
    const ring_out to_mid{mid_m, mid_c, rm - 1, book};
    const grid_out to_grid{Mo, Co, book};
    const array_src rates{R, 0};
    const pass_point p1 = pass_point_of(k, steps, dt, true, columns_first);
    const pass_point p2 = pass_point_of(k, steps, dt, false, columns_first);
    const int k1 = pass_kind_of(v, p1), k2 = pass_kind_of(v, p2);
    for (long p = b1.flux_lo; p <= hi; p += kBlock) {
        // Start values a block reads: cells p - 2 reach to p + kBlock - 1.
        const bool head = p - 2 * g1.reach < s;
        const bool tail = !head && p + kBlock - 1 > e;
        const array_src& m0 = head ? head_m : tail ? tail_m : live_m;
        const array_src& c0 = head ? head_c : tail ? tail_c : live_c;
        any_pass_block<kLakes>(v, g1, b1, p, m0, c0, rates, dt, p1, k1, to_mid);
        any_pass_block<kLakes>(v, g2, b2, p - 2 * g1.reach, mm, mc, rates, dt, p2, k2, to_grid);
    }
}

// The whole transport step in one sweep (sweep_overland_step).

// Arrays of one constituent copied near a chunk's ends: the start values of
// every sub-step, then the pending amounts the first sub-step's budgets read.
enum { kCopyM, kCopyC, kCopyPrecip, kCopyExchange, kCopyDecay, kCopyInfil, kCopies };

// Doubles of the ring of net source rates: they are worked out at the front
// of the pipeline and read up to the second pass's results, 2 (reach_x +
// reach_y) cells behind.
long rate_ring(const overland_layout& l) { return ring_size(static_cast<int>(2 * (l.reach_x + l.reach_y))); }

// Running sums of the budgets of one constituent over the block of cells
// being swept, kept in the block's slots kStepPrecip..kStepBoundary.
struct budget_sums {
    double* part = nullptr;   // the constituent's block sums
    long cur = -1;            // block being summed, -1 none
    double s[kStepBoundary + 1];
    void to(long x) {
        const long b = (x - 1) / kSumBlock;
        if (b == cur) return;
        flush();
        cur = b;
        for (int k = 0; k <= kStepBoundary; ++k) s[k] = part[b * kStepSlots + k];
    }
    void flush() {
        if (cur < 0) return;
        for (int k = 0; k <= kStepBoundary; ++k) part[cur * kStepSlots + k] = s[k];
    }
};

// Slot `slot` of the block sums of the block holding cell x, g.
inline double& slot_of(double* part, long x, int slot) {
    return part[(x - 1) / kSumBlock * kStepSlots + slot];
}

// The first pass's results into rings; negative masses of own cells booked
// in their block's first-pass slot.
struct mid_out {
    double* m;
    double* c;
    long mask;
    double* part;
    long lo, hi;   // own cells
    void put(long x, double mx, double cx) const {
        m[x & mask] = mx;
        c[x & mask] = cx;
    }
    void neg(long x, double a) const {
        if (x >= lo && x <= hi) slot_of(part, x, kStepNegFirst) += a;
    }
    void gain(long, double) const {}
};

// The second pass's results (own cells only) into the grid; after the last
// sub-step a cell that fell dry leaves its mass to the soil or the land.
struct step_out {
    double* M;
    double* C;
    const double* h;      // depth, m
    double* part;
    double* land;         // g
    double* soil_in;      // g
    bool last, soil;
    void put(long x, double mx, double cx) const {
        if (last && h[x] < kConDry && mx >= kConDry) {
            if (soil) {
                soil_in[x] += mx;
                slot_of(part, x, kStepDry) += mx;
            } else {
                land[x] += mx;
                slot_of(part, x, kStepToLand) += mx;
            }
            mx = 0.0;
            cx = 0.0;
        }
        M[x] = mx;
        C[x] = cx;
    }
    void neg(long x, double a) const { slot_of(part, x, kStepNegSecond) += a; }
    void gain(long, double) const {}
};

// Budgets of cells [x0, x1] of one constituent for the whole step: net
// source rates into the ring `rr`; for own cells [s, e] the pending amounts
// written back, the land and soil rows, the block sums, and (when asked) the
// rates row and the depth of the step.
void budget_cells(const overland_view& v, const overland_step_setting& st, const overland_step_item& it,
                  long x0, long x1, long s, long e, const array_src* src, double* rr, long rmask,
                  budget_sums& sums, bool keep_depth) {
    const double dt = st.dt;
    const double* bc = st.bc_volume;
    const double out = it.outlet_out / dt;
    // The block's sums in locals (stores through the rows could alias them).
    double acc[kStepBoundary + 1];
    long block = -1;
    for (long x = x0; x <= x1; ++x) {
        const double M = src[kCopyM].at(x);
        const cell_pending p0{src[kCopyPrecip].at(x), src[kCopyExchange].at(x), src[kCopyDecay].at(x),
                              src[kCopyInfil].at(x)};
        cell_pending p = p0;
        cell_taken t;
        double to_land = 0.0;
        double r = cell_budget(st.clock, dt, M, p, t, to_land);
        // Boundary or pumped water carried the cell's concentration of the
        // last step, at most what the cell holds after its budget.
        double gone = 0.0;
        if (bc != nullptr && bc[x] > 0.0) {
            const double held = std::max(M + r * dt, 0.0);
            gone = std::min(src[kCopyC].at(x) * bc[x], held);
            r -= gone / dt;
        }
        if (x == st.outlet) r -= out;
        rr[x & rmask] = r;
        if (x < s || x > e) continue;
        if (p.precip != p0.precip) it.pend_precip[x] = p.precip;
        if (p.exchange != p0.exchange) it.pend_exchange[x] = p.exchange;
        if (p.decay != p0.decay) it.pend_decay[x] = p.decay;
        if (p.infil != p0.infil) it.pend_infil[x] = p.infil;
        if (to_land != 0.0) it.land[x] += to_land;
        if (st.soil) {
            if (p0.exchange != 0.0) it.soil_exchange[x] += t.exchange;
            if (t.infil != 0.0) it.soil_in[x] += t.infil;
        }
        if ((x - 1) / kSumBlock != block) {
            if (block >= 0) std::copy(acc, acc + kStepBoundary + 1, sums.s);
            sums.to(x);
            block = sums.cur;
            std::copy(sums.s, sums.s + kStepBoundary + 1, acc);
        }
        acc[kStepPrecip] += t.precip;
        acc[kStepDecay] += t.decay;
        acc[kStepInfil] += t.infil;
        acc[kStepExchange] += t.exchange;
        acc[kStepBoundary] += gone;
        if (st.rates != nullptr) st.rates[x] = r;
        if (keep_depth) st.h_last[x] = v.h[x];
    }
    if (block >= 0) std::copy(acc, acc + kStepBoundary + 1, sums.s);
}

// Sub-step k (1..st.steps) of the whole-step sweep over the chunk [s, e],
// after the copies were taken; kBudget: the first sub-step, with the budgets.
template <bool kBudget>
void step_chunk(const overland_view& v, const overland_layout& l, const overland_step_setting& st,
                overland_step_item* items, int count, long s, long e, double* space, int k,
                bool keep_depth) {
    const bool last = k == st.steps;
    const long n = v.cells;
    const bool columns_first = st.sweep == 1;
    const long ry = ring_size(static_cast<int>(l.reach_y));
    const long rx = ring_size(static_cast<int>(l.reach_x));
    const long rm = ring_size(static_cast<int>(2 * std::max(l.reach_x, l.reach_y)));
    const long rr = rate_ring(l);
    const long span = copy_cells(l);
    const long per = overland_step_doubles(l);
    pass_geo g1[kStepItems], g2[kStepItems];
    double* mid_m[kStepItems];
    double* mid_c[kStepItems];
    double* rates[kStepItems];
    const double* copies[kStepItems];
    overland_view vi[kStepItems];
    budget_sums sums[kStepItems];
    for (int i = 0; i < count; ++i) {
        double* at = space + per * i;
        auto take = [&at](long size) {
            double* p = at;
            at += size;
            return p;
        };
        pass_geo col, row;
        carve_pass_rings(v, l, ry, rx, at, col, row);
        mid_m[i] = take(rm);
        mid_c[i] = take(rm);
        rates[i] = take(rr);
        copies[i] = take(kCopies * 2 * span);
        g1[i] = columns_first ? col : row;
        g2[i] = columns_first ? row : col;
        vi[i] = v;
        vi[i].E = items[i].E;
        sums[i].part = items[i].sums;
    }
    const long reach1 = g1[0].reach;
    const long lag = lag_of(l);
    const long lo = s - lag, hi = e + lag;
    const pass_bounds b1 = bounds_of(lo, hi, reach1, n);
    const pass_bounds b2 = bounds_of(lo + 2 * reach1, hi - 2 * reach1, g2[0].reach, n);
    const long head_first = std::max(lo, 1L);
    const long tail_first = std::max(e + 1 - kBlock - 2 * reach1, 1L);
    const pass_point p1 = pass_point_of(k, st.steps, st.h, true, columns_first);
    const pass_point p2 = pass_point_of(k, st.steps, st.h, false, columns_first);
    const int k1 = pass_kind_of(v, p1), k2 = pass_kind_of(v, p2);
    for (long p = b1.flux_lo; p <= hi; p += kBlock) {
        // Start values a block reads: cells p - 2 reach to p + kBlock - 1.
        const bool head = p - 2 * reach1 < s;
        const bool tail = !head && p + kBlock - 1 > e;
        const long f0 = std::max(p, b1.flux_lo), f1 = std::min(p + kBlock - 1, b1.flux_hi);
        for (int i = 0; i < count; ++i) {
            const overland_step_item& it = items[i];
            double* const live[kCopies] = {it.M, it.C, it.pend_precip, it.pend_exchange, it.pend_decay,
                                           it.pend_infil};
            array_src src[kCopies];
            for (int a = 0; a < (kBudget ? kCopies : kCopyC + 1); ++a) {
                if (head) src[a] = array_src{copies[i] + a * span, head_first};
                else if (tail) src[a] = array_src{copies[i] + (kCopies + a) * span, tail_first};
                else src[a] = array_src{live[a], 0};
            }
            const ring_src mm{mid_m[i], rm - 1}, mc{mid_c[i], rm - 1};
            const mid_out to_mid{mid_m[i], mid_c[i], rm - 1, it.sums, s, e};
            const step_out to_grid{it.M, it.C, v.h, it.sums, it.land, it.soil_in, last, st.soil};
            if constexpr (kBudget) {
                budget_cells(v, st, it, f0, f1, s, e, src, rates[i], rr - 1, sums[i],
                             i == 0 && keep_depth);
                const ring_src R{rates[i], rr - 1};
                any_pass_block<false>(vi[i], g1[i], b1, p, src[kCopyM], src[kCopyC], R, st.h, p1, k1, to_mid);
                any_pass_block<false>(vi[i], g2[i], b2, p - 2 * reach1, mm, mc, R, st.h, p2, k2, to_grid);
            } else {
                const array_src R{st.rates, 0};
                any_pass_block<false>(vi[i], g1[i], b1, p, src[kCopyM], src[kCopyC], R, st.h, p1, k1, to_mid);
                any_pass_block<false>(vi[i], g2[i], b2, p - 2 * reach1, mm, mc, R, st.h, p2, k2, to_grid);
            }
        }
    }
    if (kBudget)
        for (int i = 0; i < count; ++i) sums[i].flush();
}

}  // namespace

overland_layout overland_transport_layout(const overland_view& v) {
    overland_layout l;
    const int n = v.cells;
    long ry = 0, rx = 0;
    bool ok = n >= 1 && v.above && v.below && v.left && v.right;
    for (int c = 1; ok && c <= n; ++c) {
        const int pairs[2][2] = {{v.above[c], v.below[c]}, {v.left[c], v.right[c]}};
        const int* back[2] = {v.below, v.right};
        const int* fore[2] = {v.above, v.left};
        for (int d = 0; d < 2 && ok; ++d) {
            const int up = pairs[d][0], down = pairs[d][1];
            if (up < 0 || up > n || down < 0 || down > n) ok = false;
            else if (up != 0 && (up >= c || back[d][up] != c)) ok = false;
            else if (down != 0 && (down <= c || fore[d][down] != c)) ok = false;
            else {
                long& r = d == 0 ? ry : rx;
                if (up != 0) r = std::max(r, static_cast<long>(c - up));
                if (down != 0) r = std::max(r, static_cast<long>(down - c));
            }
        }
    }
    l.ok = ok ? 1 : 0;
    l.reach_y = ry;
    l.reach_x = rx;
    return l;
}

long overland_sweep_doubles(const overland_layout& l) {
    return ring_doubles(l) + 4 * copy_cells(l);
}

bool sweep_overland_constituent(const overland_view& v, int steps, double h, int sweep,
                                double* M, double* C, const double* R, overland_work& w) {
    const overland_layout* lp = w.layout;
    if (lp == nullptr || !lp->ok || w.sweep_space == nullptr || w.sweep_threads < 1) return false;
    const overland_layout& l = *lp;
    const long n = v.cells;
    const long per = overland_sweep_doubles(l);
    const long span = copy_cells(l);
    // Chunks at least twice the copies long, so that a block reads from one copy at most.
    const bool parallel = v.cells >= parallel_cells().overland;
    const int most = parallel ? std::min(omp_get_max_threads(), w.sweep_threads) : 1;
    const long fit = std::max(1L, n / (2 * span));
    const int chunks = static_cast<int>(std::min<long>(most, fit));
    const bool lakes = v.lake != nullptr;
#pragma omp parallel num_threads(chunks) if (chunks > 1)
    {
        const int t = chunks > 1 ? omp_get_thread_num() : 0;
        const int used = chunks > 1 ? omp_get_num_threads() : 1;
        const long s = 1 + n * t / used, e = n * (t + 1) / used;
        double* space = w.sweep_space + per * t;
        double* copies = space + ring_doubles(l);
        const long lag = lag_of(l);
        const bool columns_first = sweep == 1;
        const long reach1 = columns_first ? l.reach_y : l.reach_x;
        const long head_first = std::max(s - lag, 1L);
        const long head_last = std::min(head_first + span - 1, n);
        const long tail_first = std::max(e + 1 - kBlock - 2 * reach1, 1L);
        const long tail_last = std::min(tail_first + span - 1, n);
        for (int k = 0; k < steps; ++k) {
            const size_t hn = static_cast<size_t>(head_last - head_first + 1);
            const size_t tn = static_cast<size_t>(tail_last - tail_first + 1);
            std::memcpy(copies, M + head_first, hn * sizeof(double));
            std::memcpy(copies + span, C + head_first, hn * sizeof(double));
            std::memcpy(copies + 2 * span, M + tail_first, tn * sizeof(double));
            std::memcpy(copies + 3 * span, C + tail_first, tn * sizeof(double));
#pragma omp barrier
            if (lakes)
                sweep_chunk<true>(v, l, sweep, s, e, M, C, M, C, R, h, k + 1, steps, space, copies, w);
            else
                sweep_chunk<false>(v, l, sweep, s, e, M, C, M, C, R, h, k + 1, steps, space, copies, w);
#pragma omp barrier
        }
    }
    return true;
}

long overland_step_doubles(const overland_layout& l) {
    return ring_doubles(l) + rate_ring(l) + kCopies * 2 * copy_cells(l);
}

bool sweep_overland_step(const overland_view& v, const overland_step_setting& st,
                         overland_step_item* items, int count, overland_work& w) {
    const overland_layout* lp = w.layout;
    if (lp == nullptr || !lp->ok || w.sweep_space == nullptr || w.sweep_threads < 1) return false;
    if (count < 1 || count > kStepItems || count > w.sweep_items || v.lake != nullptr) return false;
    if (st.steps > 1 && (count != 1 || st.rates == nullptr)) return false;
    const overland_layout& l = *lp;
    const long n = v.cells;
    const long per = overland_step_doubles(l);
    const long span = copy_cells(l);
    const long blocks = (n + kSumBlock - 1) / kSumBlock;
    // Chunks of whole blocks of kSumBlock cells, so that each block is summed
    // by one thread in cell order; each chunk at least twice the copies long,
    // so that a block of the pipeline reads from one copy at most.
    const bool parallel = v.cells >= parallel_cells().overland;
    int chunks = parallel ? std::min(omp_get_max_threads(), w.sweep_threads) : 1;
    auto chunk_of = [n, blocks](int t, int used, long& s, long& e) {
        s = 1 + kSumBlock * (blocks * t / used);
        e = std::min(n, kSumBlock * (blocks * (t + 1) / used));
    };
    for (; chunks > 1; --chunks) {
        bool fits = true;
        for (int t = 0; t < chunks && fits; ++t) {
            long s, e;
            chunk_of(t, chunks, s, e);
            fits = e - s + 1 >= 2 * span;
        }
        if (fits) break;
    }
    const long reach1 = st.sweep == 1 ? l.reach_y : l.reach_x;
#pragma omp parallel num_threads(chunks) if (chunks > 1)
    {
        const int t = chunks > 1 ? omp_get_thread_num() : 0;
        const int used = chunks > 1 ? omp_get_num_threads() : 1;
        long s, e;
        chunk_of(t, used, s, e);
        double* space = w.sweep_space + per * count * t;
        for (int i = 0; i < count; ++i)
            for (long b = (s - 1) / kSumBlock; b <= (e - 1) / kSumBlock; ++b)
                for (int k = 0; k < kStepSlots; ++k) items[i].sums[b * kStepSlots + k] = 0.0;
        const long lag = lag_of(l);
        const long head_first = std::max(s - lag, 1L);
        const long head_last = std::min(head_first + span - 1, n);
        const long tail_first = std::max(e + 1 - kBlock - 2 * reach1, 1L);
        const long tail_last = std::min(tail_first + span - 1, n);
        const size_t hn = static_cast<size_t>(head_last - head_first + 1);
        const size_t tn = static_cast<size_t>(tail_last - tail_first + 1);
        // On one thread the sweep is bound by arithmetic, not by memory
        // traffic: one constituent at a time keeps its rings in the first
        // cache level. On several, all constituents together read the shared
        // rows once. Each constituent's results are the same either way.
        const int together = chunks > 1 ? count : 1;
        for (int first = 0; first < count; first += together) {
            for (int k = 0; k < st.steps; ++k) {
                overland_step_item* group = items + first;
                const int size = std::min(together, count - first);
                // Copies of what the neighbouring chunks write: the start values,
                // and in the first sub-step the pending amounts.
                for (int i = 0; i < size; ++i) {
                    const overland_step_item& it = group[i];
                    const double* live[kCopies] = {it.M, it.C, it.pend_precip, it.pend_exchange, it.pend_decay,
                                                   it.pend_infil};
                    double* copies = space + per * i + (per - kCopies * 2 * span);
                    for (int a = 0; a < (k == 0 ? kCopies : kCopyC + 1); ++a) {
                        std::memcpy(copies + a * span, live[a] + head_first, hn * sizeof(double));
                        std::memcpy(copies + (kCopies + a) * span, live[a] + tail_first, tn * sizeof(double));
                    }
                }
#pragma omp barrier
                const bool depth = first == 0 && st.h_last != nullptr;
                if (k == 0)
                    step_chunk<true>(v, l, st, group, size, s, e, space, k + 1, depth);
                else
                    step_chunk<false>(v, l, st, group, size, s, e, space, k + 1, depth);
#pragma omp barrier
            }
        }
    }
    return true;
}
