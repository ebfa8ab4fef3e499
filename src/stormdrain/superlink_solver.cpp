// Superlink solver. Along a superlink of N pipes the momentum equation of
// pipe k (discharge Q_k, m3/s) and the continuity equation of interior node k
// (depth h_k above its invert, m) are
//   a_k Q_k-1 + b_k Q_k + c_k Q_k+1 = P_k + g A_k (h_k - h_k+1)
//   E_k h_k,new = D_k + Q_k-1 - Q_k,  E_k = (storage area around node k) / dt
// with Q_0 = Q_1 and Q_N+1 = Q_N at the two ends. A forward and a backward
// recurrence reduce them to Q_k in terms of the end depths; the end depths
// follow the junction heads (or the critical depth at a free end), which
// gives each superlink's end discharges as linear functions of its two
// junction heads. The junction system (junction_heads.cpp) then gives the
// heads, and the discharges follow.
//
// Water. The network is a chain of control volumes joined by the pipe
// discharges: every interior node holds the half pipes on either side of it
// and its storage area; every junction holds its shaft (plan area times the
// head above its bottom) and the half pipes at the ends of its superlinks.
// Each control volume's water after the call is its water before plus the
// call's flows in less the flows out, so the network conserves water
// exactly; the depth of a node and the head of a junction are then the ones
// at which the section geometry holds that water (a full pipe keeps a slot
// of 1 % of its width above its crown, whose water stands for the pressure
// head). Outflows that would take a control volume below empty are cut back.
//
// Surcharge. An inlet junction whose head would rise above the level it can
// stand at (its ground with HIGH_HEAD_RELEASE, else the water level on its
// cell) is held at that level; its exchange with the cell is then what its
// balance needs: a capture no larger than its inlets take, or with
// HIGH_HEAD_RELEASE a spill onto the cell. Outfalls hold their heads at
// their bottoms and deliver what their balance gives.
#include "stormdrain/superlink_solver.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "core/error.h"
#include "core/parallel.h"
#include "run/run_state.h"
#include "stormdrain/junction_heads.h"
#include "stormdrain/pipe_section.h"
#include "stormdrain/sd_exchange.h"

namespace {

inline size_t ix(int i) { return static_cast<size_t>(i); }

constexpr double g = kPipeGravity;
constexpr double kSlotShare = 0.01;        // slot width of a full pipe, share of its width
constexpr double kTinyFlow = 1e-11;        // m3/s
constexpr double kWetDepth = 1e-4;         // m: a thinner film carries no velocity
constexpr double kWaterTolerance = 1e-10;  // relative error of the water a found depth holds
constexpr double kWaterFloor = 1e-12;      // m3 of it that the section formulas cannot resolve near empty
constexpr double kDivergedLevel = 1000.0;  // m above the ground: a level beyond it has diverged
constexpr int kMaxHoldRounds = 8;          // solves of one call while junctions reach their levels
constexpr int kMaxStorageRounds = 6;       // solves of one call while junction storage is brought in line
constexpr double kHeadAgreement = 0.01;    // m between solved head and the head of the water
constexpr int kScalingPasses = 8;          // passes that scale outflows before any are cut to 0
// Pipes in the network from which the superlink loops use many threads
// (each pipe costs some hundred ns, about ten overland cells).
inline int parallel_pipes() { return std::max(1, parallel_cells().overland / 10); }

double full_width(const sd_pipe& p) { return p.type == kSectionBox ? p.width : p.size; }
double slot_width(const sd_pipe& p) { return kSlotShare * full_width(p); }

// Section of pipe p at depth h >= 0: flow area m2, top width m (the slot's
// above the crown and never below it: the storage width of the linear
// solve), wetted perimeter m, and the rate at which its water grows with
// depth (the true top width below the crown, the slot above), m.
struct side_section {
    double A = 0.0, B = 0.0, P = 0.0, dV = 0.0;
};

side_section side_at(const sd_pipe& p, double h) {
    const pipe_section s = pipe_section_geometry(p.type, p.size, p.width, std::min(h, p.size));
    side_section out;
    out.A = s.area;
    out.B = std::max(s.top_width, slot_width(p));
    out.P = s.perimeter;
    out.dV = h < p.size ? s.top_width : slot_width(p);
    return out;
}

bool same_section(const sd_pipe& a, const sd_pipe& b) {
    return a.type == b.type && a.size == b.size && a.width == b.width;
}

// Water of pipe p per metre at depth h with the section s there, m2.
double stored_area(const sd_pipe& p, double h, const side_section& s) {
    return s.A + slot_width(p) * std::max(0.0, h - p.size);
}

// Water of node k at depth h >= 0 (m3), its rate of change with depth
// (m2) and the sections beside it (l: the pipe before, r: the pipe after).
double node_water_at(const sd_link& s, int k, double h, side_section& l, side_section& r, double& rate) {
    const int N = s.pipe_count();
    const sd_node& n = s.nodes[ix(k)];
    double v = n.storage_area * h;
    rate = n.storage_area;
    const bool left = k >= 2, right = k <= N;
    if (left) {
        const sd_pipe& p = s.pipes[ix(k) - 1];
        l = side_at(p, h);
        v += 0.5 * p.length * stored_area(p, h, l);
        rate += 0.5 * p.length * l.dV;
    }
    if (right) {
        const sd_pipe& p = s.pipes[ix(k)];
        r = left && same_section(p, s.pipes[ix(k) - 1]) ? l : side_at(p, h);
        v += 0.5 * p.length * stored_area(p, h, r);
        rate += 0.5 * p.length * r.dV;
    }
    return v;
}

// Keeps the sections of node k at depth h in the superlink's working arrays.
void keep_sections(sd_link_work& w, int k, const side_section& l, const side_section& r) {
    const size_t i = ix(k);
    w.Al[i] = l.A;
    w.Bl[i] = l.B;
    w.Pl[i] = l.P;
    w.Ar[i] = r.A;
    w.Br[i] = r.B;
    w.Pr[i] = r.P;
}

// Solves water(x) = target for x >= lo, water increasing with
// water(lo) <= target: Newton from `start` inside a bracket that bisection
// narrows, `step` (m) the first widening of an open bracket. The last call of
// `water` is made at the value returned.
template <class F>
double solve_for_water(F water, double target, double lo, double start, double step) {
    const double tolerance = kWaterTolerance * std::fabs(target) + kWaterFloor;
    double hi = std::numeric_limits<double>::infinity();
    double x = std::max(start, lo);
    for (int i = 0; i < 200; ++i) {
        double rate = 0.0;
        const double f = water(x, rate) - target;
        if (std::fabs(f) <= tolerance) return x;
        if (f < 0.0) lo = x;
        else hi = x;
        double next = rate > 0.0 ? x - f / rate : std::numeric_limits<double>::quiet_NaN();
        if (!(next > lo && next < hi)) next = std::isfinite(hi) ? 0.5 * (lo + hi) : std::max(2.0 * x - lo, lo + step);
        if (!(next != x) || hi - lo <= 1e-14 * (1.0 + std::fabs(x))) return x;
        x = next;
        step *= 2.0;
    }
    return x;
}

// Depth of interior node k that holds `water` m3, from the depth `guess` (m);
// keeps the node's sections there.
double node_depth_for(sd_link& s, int k, double water, double guess) {
    side_section l, r;
    auto f = [&](double h, double& rate) { return node_water_at(s, k, h, l, r, rate); };
    const double h = water > 0.0 ? solve_for_water(f, water, 0.0, guess, 0.1 * s.pipes[ix(k)].size) : 0.0;
    if (water <= 0.0) {
        double rate = 0.0;
        node_water_at(s, k, 0.0, l, r, rate);
    }
    keep_sections(s.w, k, l, r);
    return h;
}

void size_work(sd_link& s) {
    const size_t n = s.nodes.size() + 1;
    sd_link_work& w = s.w;
    for (std::vector<double>* v : {&w.Q, &w.A, &w.F, &w.vel, &w.node_vel, &w.a, &w.b, &w.c, &w.P, &w.E, &w.D,
                                   &w.U, &w.V, &w.W, &w.X, &w.Y, &w.Z, &w.Al, &w.Bl, &w.Pl, &w.Ar, &w.Br,
                                   &w.Pr, &w.guess, &w.water}) {
        if (v->size() != n) v->assign(n, 0.0);
    }
}

// ---- Superlink ends at their junctions ----

// One end of a superlink at a junction: superlink l, its first node (upstream) or last.
struct link_end {
    sd_link* s;
    bool upstream;
    int node() const { return upstream ? 1 : s->pipe_count() + 1; }
    bool tied() const { return (upstream ? s->w.lambda_u : s->w.lambda_d) != 0.0; }
    // Depth of the end at junction head H, m: a tied end's from its relation
    // with the end discharge of the solve; a free end's the depth of its
    // relation until the junction's water rises over it.
    double depth_at(double H) const {
        if (tied()) return H + (upstream ? s->w.off_us : s->w.off_ds);
        return std::max(upstream ? s->w.h_us : s->w.h_ds, H - s->nodes[ix(node())].invert);
    }
    // Head at which the end's depth stops following the junction's (below it the end holds it), m.
    double follows_from() const {
        if (tied()) return -(upstream ? s->w.off_us : s->w.off_ds);
        return s->nodes[ix(node())].invert + std::max(0.0, upstream ? s->w.h_us : s->w.h_ds);
    }
};

link_end end_of(run_state& rs, int code) {
    return code > 0 ? link_end{&rs.sd_links[ix(code)], true} : link_end{&rs.sd_links[ix(-code)], false};
}

// Water of one end at depth h (m3), with its rate; keeps its sections when `keep`.
double end_water(const link_end& e, double h, double& rate, bool keep) {
    side_section l, r;
    const double v = node_water_at(*e.s, e.node(), std::max(h, 0.0), l, r, rate);
    if (keep) keep_sections(e.s->w, e.node(), l, r);
    return v;
}

// Water of junction j at head H: its shaft and the ends of its superlinks
// at their depths for H (m3).
double junction_water(run_state& rs, int j, double H, double& rate, bool keep) {
    const sd_junction& s = rs.sd_junctions[ix(j)];
    double v = s.storage_area * std::max(0.0, H - s.bottom);
    rate = H > s.bottom ? s.storage_area : 0.0;
    for (int code : rs.sd_junction_ends[ix(j)]) {
        const link_end e = end_of(rs, code);
        double r = 0.0;
        v += end_water(e, e.depth_at(H), r, keep);
        if (H > e.follows_from()) rate += r;
    }
    return v;
}

// Lowest head of junction j at which its shaft holds nothing and no end's
// depth follows the head, m.
double empty_head(run_state& rs, int j) {
    double H = rs.sd_junctions[ix(j)].bottom;
    for (int code : rs.sd_junction_ends[ix(j)]) H = std::min(H, end_of(rs, code).follows_from());
    return H;
}

// Sets the ends of junction j to depths that hold `water` m3 between them,
// each in proportion to the water it holds at head H (evenly when none
// holds any): the junction holds less than its ends at their relations.
void share_ends(run_state& rs, int j, double water, double H) {
    const std::vector<int>& ends = rs.sd_junction_ends[ix(j)];
    std::vector<double> held(ends.size(), 0.0);
    double total = 0.0;
    for (size_t i = 0; i < ends.size(); ++i) {
        const link_end e = end_of(rs, ends[i]);
        double r = 0.0;
        held[i] = end_water(e, e.depth_at(H), r, false);
        total += held[i];
    }
    for (size_t i = 0; i < ends.size(); ++i) {
        const link_end e = end_of(rs, ends[i]);
        const double target = total > 0.0 ? water * held[i] / total : water / static_cast<double>(ends.size());
        side_section l, sr;
        double r = 0.0;
        auto f = [&](double h, double& rate) { return node_water_at(*e.s, e.node(), h, l, sr, rate); };
        const double h = target > 0.0 ? solve_for_water(f, target, 0.0, 0.5 * e.s->pipes[ix(e.upstream ? 1 : e.s->pipe_count())].size, 0.01) : 0.0;
        if (target <= 0.0) f(0.0, r);
        keep_sections(e.s->w, e.node(), l, sr);
        e.s->nodes[ix(e.node())].depth = h;
    }
}

// Writes the depths of the ends of junction j at head H.
void set_end_depths(run_state& rs, int j, double H) {
    for (int code : rs.sd_junction_ends[ix(j)]) {
        const link_end e = end_of(rs, code);
        e.s->nodes[ix(e.node())].depth = std::max(0.0, e.depth_at(H));
    }
}

// Net discharge of the superlinks into junction j, m3/s.
double pipe_inflow(run_state& rs, int j) {
    double q = 0.0;
    for (int code : rs.sd_junction_ends[ix(j)]) {
        const sd_link& s = rs.sd_links[ix(std::abs(code))];
        q += code > 0 ? -s.w.Q[1] : s.w.Q[ix(s.pipe_count())];
    }
    return q;
}

// The same from the link coefficients at the heads of the last solve, m3/s.
double pipe_inflow_linear(const run_state& rs, int j) {
    double q = 0.0;
    for (int code : rs.sd_junction_ends[ix(j)]) {
        const sd_link& s = rs.sd_links[ix(std::abs(code))];
        const double Hu = rs.sd_junctions[ix(s.us)].head, Hd = rs.sd_junctions[ix(s.ds)].head;
        if (code > 0) q -= s.w.alpha_u * Hu + s.w.beta_u * Hd + s.w.chi_u;
        else q += s.w.alpha_d * Hu + s.w.beta_d * Hd + s.w.chi_d;
    }
    return q;
}

// Solves the heads, holding inlet junctions that would rise above their
// hold level at it while their exchange with the cell can keep them there.
bool solve_heads_with_holds(run_state& rs, double dt, const std::vector<double>& S,
                            const std::vector<double>& old_head) {
    const bool release = rs.high_head_release != 0;
    for (int round = 0; round < kMaxHoldRounds; ++round) {
        for (int j = 1; j <= rs.n_sjunc; ++j) rs.sd_junctions[ix(j)].head = old_head[ix(j)];
        if (!solve_junction_heads(rs, dt, S)) return false;
        bool changed = false;
        for (int j = 1; j <= rs.n_sjunc; ++j) {
            sd_junction& s = rs.sd_junctions[ix(j)];
            if (!s.inlet_on_cell()) continue;
            if (s.held) {
                // Surface exchange the held head needs, m3/s (into the network positive).
                const double x = S[ix(j)] * (s.hold_level - old_head[ix(j)]) / dt - s.tile_inflow -
                                 pipe_inflow_linear(rs, j);
                if (x > s.capacity || (!release && x < 0.0)) {
                    s.held = 0;
                    changed = true;
                }
            } else if (s.head > s.hold_level && (release || s.capacity > 0.0)) {
                s.held = 1;
                changed = true;
            }
        }
        if (!changed) break;
        if (round == kMaxHoldRounds - 1) {
            for (int j = 1; j <= rs.n_sjunc; ++j) rs.sd_junctions[ix(j)].head = old_head[ix(j)];
            if (!solve_junction_heads(rs, dt, S)) return false;
        }
    }
    return true;
}

// ---- Water of the control volumes after the call's flows ----

// State of a junction's control volume in the call.
struct junction_call {
    bool absorbing = false;   // held or an outfall: its exchange is what its balance needs
    double lo = 0.0, hi = 0.0;   // bounds of that exchange, m3/s
    double target = 0.0;      // water it then holds, m3
    double exchange = 0.0;    // surface or outfall exchange, m3/s (into the network positive)
    double water = 0.0;       // water after the call, m3
    double head = 0.0;        // head that holds it (free junctions), m
};

// Water of control volume (l, k) after the flows: an interior node of l, or
// for k = 1 and N+1 the junction at that end.
double& cv_water(run_state& rs, std::vector<junction_call>& jc, int l, int k) {
    sd_link& s = rs.sd_links[ix(l)];
    if (k == 1) return jc[ix(s.us)].water;
    if (k == s.pipe_count() + 1) return jc[ix(s.ds)].water;
    return s.w.water[ix(k)];
}

bool cv_absorbs(const run_state& rs, const std::vector<junction_call>& jc, int l, int k) {
    const sd_link& s = rs.sd_links[ix(l)];
    if (k == 1) return jc[ix(s.us)].absorbing;
    if (k == s.pipe_count() + 1) return jc[ix(s.ds)].absorbing;
    return false;
}

// One outflow of a control volume: pipe k of superlink l, towards node `to`.
struct outflow {
    int l, k, to;
};

// Cuts the outflows of a control volume holding `water` (m3, below 0) to the
// share that empties it (or to 0 when `cut`); the water they no longer carry
// is taken from the control volumes they fed.
void cut_outflows(run_state& rs, std::vector<junction_call>& jc, double dt, double& water,
                  const std::vector<outflow>& outs, bool cut) {
    double out = 0.0;
    for (const outflow& o : outs) out += dt * std::fabs(rs.sd_links[ix(o.l)].w.Q[ix(o.k)]);
    const double available = water + out;
    if (!(out > 0.0)) {
        water = std::max(water, 0.0);   // round-off
        return;
    }
    const double f = cut ? 0.0 : std::clamp(available / out, 0.0, 1.0);
    for (const outflow& o : outs) {
        double& q = rs.sd_links[ix(o.l)].w.Q[ix(o.k)];
        const double lost = dt * std::fabs(q) * (1.0 - f);
        q *= f;
        if (!cv_absorbs(rs, jc, o.l, o.to)) cv_water(rs, jc, o.l, o.to) -= lost;
    }
    water = cut ? available : 0.0;
}

// Cuts back outflows until no control volume that is not absorbing ends
// below empty. Scaling passes first; then outflows are cut to 0, each pass
// removing at least one, so the loop ends.
void keep_water_positive(run_state& rs, std::vector<junction_call>& jc, double dt) {
    std::vector<outflow> outs;
    for (int pass = 0; pass < 100000; ++pass) {
        const bool cut = pass >= kScalingPasses;
        bool any = false;
        for (int l = 1; l <= rs.n_slink; ++l) {
            sd_link& s = rs.sd_links[ix(l)];
            const int N = s.pipe_count();
            for (int k = 2; k <= N; ++k) {
                double& v = s.w.water[ix(k)];
                if (v >= 0.0) continue;
                any = true;
                outs.clear();
                if (s.w.Q[ix(k)] > 0.0) outs.push_back({l, k, k + 1});
                if (s.w.Q[ix(k) - 1] < 0.0) outs.push_back({l, k - 1, k - 1});
                cut_outflows(rs, jc, dt, v, outs, cut);
            }
        }
        for (int j = 1; j <= rs.n_sjunc; ++j) {
            junction_call& c = jc[ix(j)];
            if (c.absorbing || c.water >= 0.0) continue;
            any = true;
            outs.clear();
            for (int code : rs.sd_junction_ends[ix(j)]) {
                const int l = std::abs(code);
                const sd_link& s = rs.sd_links[ix(l)];
                const int N = s.pipe_count();
                if (code > 0 && s.w.Q[1] > 0.0) outs.push_back({l, 1, 2});
                if (code < 0 && s.w.Q[ix(N)] < 0.0) outs.push_back({l, N, N});
            }
            cut_outflows(rs, jc, dt, c.water, outs, cut);
        }
        if (!any) return;
    }
}

// Exchange an absorbing junction's balance needs with the current flows; a
// junction whose need lies outside its bounds takes the bound and keeps the
// water the flows give it. True when one did so.
bool settle_absorbing(run_state& rs, std::vector<junction_call>& jc, double dt) {
    bool clamped = false;
    for (int j = 1; j <= rs.n_sjunc; ++j) {
        junction_call& c = jc[ix(j)];
        if (!c.absorbing) continue;
        const sd_junction& s = rs.sd_junctions[ix(j)];
        const double net = s.tile_inflow + pipe_inflow(rs, j);
        c.exchange = (c.target - s.volume) / dt - net;
        c.water = c.target;
        if (c.exchange < c.lo || c.exchange > c.hi) {
            c.exchange = std::clamp(c.exchange, c.lo, c.hi);
            c.absorbing = false;
            c.water = s.volume + dt * (c.exchange + net);
            clamped = true;
        }
    }
    return clamped;
}

// The junction control volumes of the call with the recovered flows: free
// junctions keep what the flows give; held junctions and outfalls hold the
// water of their level and exchange the difference with their cell or
// channel, within bounds. Outflows that would empty a control volume are
// cut back.
void balance_junctions(run_state& rs, std::vector<junction_call>& jc, double dt, bool release) {
    const int nj = rs.n_sjunc;
    const double cell_area = rs.cell_size * rs.cell_size;
    jc.assign(ix(nj) + 1, junction_call());
    for (int j = 1; j <= nj; ++j) {
        sd_junction& s = rs.sd_junctions[ix(j)];
        junction_call& c = jc[ix(j)];
        if (s.fixed_head || (s.held && s.inlet_on_cell())) {
            c.absorbing = true;
            const double level = s.fixed_head ? s.bottom : s.hold_level;
            s.head = level;
            double rate = 0.0;
            c.target = junction_water(rs, j, level, rate, false);
            if (s.fixed_head) {
                // A channel outfall never draws water back; one onto a cell only what the cell holds.
                c.lo = -std::numeric_limits<double>::infinity();
                c.hi = s.inlet == 888 && s.cell > 0 ? rs.ov_depth[ix(s.cell)] * cell_area / dt : 0.0;
            } else {
                c.lo = release ? -std::numeric_limits<double>::infinity() : 0.0;
                c.hi = s.capacity;
            }
        } else {
            c.exchange = s.capacity;
            c.water = s.volume + dt * (s.capacity + s.tile_inflow + pipe_inflow(rs, j));
        }
    }
    settle_absorbing(rs, jc, dt);
    for (int round = 0; round <= nj; ++round) {
        keep_water_positive(rs, jc, dt);
        if (!settle_absorbing(rs, jc, dt)) break;
    }
    for (int l = 1; l <= rs.n_slink; ++l) {
        sd_link& s = rs.sd_links[ix(l)];
        s.w.Qu = s.w.Q[1];
        s.w.Qd = s.w.Q[ix(s.pipe_count())];
    }
}

// Head (m) and end depths of junction j holding `water` m3; keeps the ends'
// sections. `guess` is the head of the linear solve.
double junction_head_for(run_state& rs, int j, double water, double guess) {
    const double lo = empty_head(rs, j);
    double rate = 0.0;
    const double at_empty = junction_water(rs, j, lo, rate, false);
    if (water <= at_empty) {
        // The ends hold less than their relations ask: the shaft is empty.
        share_ends(rs, j, water, lo);
        return lo;
    }
    auto f = [&](double H, double& r) { return junction_water(rs, j, H, r, true); };
    const double H = solve_for_water(f, water, lo, guess, 0.1);
    set_end_depths(rs, j, H);
    return H;
}

// First pipe of superlink s whose discharge, or interior node whose water
// after the flows, is not finite; 0 when there is none.
int first_unfinite_flow(const sd_link& s) {
    const int N = s.pipe_count();
    for (int k = 1; k <= N; ++k) {
        if (!std::isfinite(s.w.Q[ix(k)])) return k;
        if (k >= 2 && !std::isfinite(s.w.water[ix(k)])) return k;
    }
    return 0;
}

// First interior node of superlink s whose depth is not finite or whose
// water stands more than kDivergedLevel above its ground; 0 when there is none.
int first_diverged_depth(const sd_link& s) {
    for (int k = 2; k <= s.pipe_count(); ++k) {
        const sd_node& n = s.nodes[ix(k)];
        if (!std::isfinite(n.depth) || n.invert + n.depth > n.ground + kDivergedLevel) return k;
    }
    return 0;
}

// Reports a solution that is not finite or has diverged (code 260 naming
// superlink and node, 261 naming the junction, with the time); true when it
// has. `link_bad` holds the first bad node of each superlink; with `depths`
// the junction heads and the end depths are looked at too.
bool report_divergence(run_state& rs, const std::vector<int>& link_bad, bool depths) {
    char when[32];
    std::snprintf(when, sizeof when, "%.2f", rs.elapsed_minutes);
    for (int l = 1; l <= rs.n_slink; ++l) {
        int k = link_bad[ix(l)];
        if (k == 0 && depths) {
            const sd_link& s = rs.sd_links[ix(l)];
            for (int end : {1, s.pipe_count() + 1}) {
                const sd_node& n = s.nodes[ix(end)];
                if (!std::isfinite(n.depth) || n.invert + n.depth > n.ground + kDivergedLevel) k = end;
                if (k != 0) break;
            }
        }
        if (k == 0) continue;
        set_error_numbers(260, l, k);
        set_error(260, when);
        return true;
    }
    for (int j = 1; j <= rs.n_sjunc; ++j) {
        const sd_junction& s = rs.sd_junctions[ix(j)];
        bool ok = std::isfinite(s.head);
        if (depths) ok = ok && std::isfinite(s.volume) && s.head <= s.ground + kDivergedLevel;
        if (ok) continue;
        set_error_numbers(261, j);
        set_error(261, when);
        return true;
    }
    return false;
}

// Head and end depths of junction j for the water of its control volume in
// the call (c): a free junction's head that holds it (into c.head), a held
// junction or an outfall at its level, an outfall short of its level with
// its ends holding what it has. Keeps the ends' sections.
void settle_junction_depths(run_state& rs, int j, junction_call& c) {
    const sd_junction& s = rs.sd_junctions[ix(j)];
    double rate = 0.0;
    if (c.absorbing) {
        junction_water(rs, j, s.head, rate, true);
        set_end_depths(rs, j, s.head);
    } else if (s.fixed_head) {
        const double full = junction_water(rs, j, s.bottom, rate, false);
        share_ends(rs, j, std::min(full, c.water), s.bottom);
    } else {
        c.head = junction_head_for(rs, j, c.water, s.head);
    }
}

// Reports a superlink whose reduction is not finite (code 260, naming the
// first pipe whose coefficients are not, and the time); true when one is.
bool reduction_diverged(run_state& rs) {
    for (int l = 1; l <= rs.n_slink; ++l) {
        const sd_link_work& w = rs.sd_links[ix(l)].w;
        if (std::isfinite(w.alpha_u + w.beta_u + w.chi_u + w.alpha_d + w.beta_d + w.chi_d)) continue;
        const int N = rs.sd_links[ix(l)].pipe_count();
        int k = 1;
        while (k < N && std::isfinite(w.b[ix(k)] + w.P[ix(k)] + w.U[ix(k)] + w.V[ix(k)] + w.W[ix(k)])) ++k;
        char when[32];
        std::snprintf(when, sizeof when, "%.2f", rs.elapsed_minutes);
        set_error_numbers(260, l, k);
        set_error(260, when);
        return true;
    }
    return false;
}

}  // namespace

double pipe_slot_width(int type, double size, double width) {
    return kSlotShare * (type == kSectionBox ? width : size);
}

double node_water(const sd_link& s, int k, double h) {
    side_section l, r;
    double rate = 0.0;
    return node_water_at(s, k, std::max(h, 0.0), l, r, rate);
}

double init_superlink_state(run_state& rs) {
    rs.sd_junction_ends.assign(ix(rs.n_sjunc) + 1, std::vector<int>());
    for (int l = 1; l <= rs.n_slink; ++l) {
        const sd_link& s = rs.sd_links[ix(l)];
        rs.sd_junction_ends[ix(s.us)].push_back(l);
        rs.sd_junction_ends[ix(s.ds)].push_back(-l);
    }
    for (int j = 1; j <= rs.n_sjunc; ++j) {
        sd_junction& s = rs.sd_junctions[ix(j)];
        s.head = s.bottom;
        s.volume = 0.0;
        s.inflow = s.tile_inflow = s.capacity = 0.0;
        s.held = 0;
    }
    for (int l = 1; l <= rs.n_slink; ++l) {
        sd_link& s = rs.sd_links[ix(l)];
        size_work(s);
        s.w.Qu = s.w.Qd = 0.0;
        s.w.lambda_u = s.w.lambda_d = 1.0;
        for (size_t k = 1; k < s.nodes.size(); ++k) {
            sd_node& n = s.nodes[k];
            n.depth = 0.0;
            n.volume = 0.0;
            n.inflow = 0.0;
            side_section left, right;
            double rate = 0.0;
            node_water_at(s, static_cast<int>(k), 0.0, left, right, rate);
            keep_sections(s.w, static_cast<int>(k), left, right);
        }
    }
    return 0.0;
}

void reduce_superlink(sd_link& s, double dt, double H_us, double H_ds, bool us_pool, bool ds_pool) {
    const int N = s.pipe_count();
    size_work(s);
    sd_link_work& w = s.w;
    std::vector<sd_node>& nd = s.nodes;
    const std::vector<sd_pipe>& pp = s.pipes;

    // Conveyance of each pipe at the depth of its upwind node, the one whose
    // water stands higher: a long mild pipe then runs at normal depth down to
    // the drawdown of its outfall without the odd-even swing that the mean
    // of its two depths lets in.
    // Friction by Manning; below a film of kWetDepth the pipe carries no
    // velocity and the friction of that film, so it passes next to nothing.
    for (int k = 1; k <= N; ++k) {
        const size_t i = ix(k);
        const sd_pipe& p = pp[i];
        const bool from_start = nd[i].invert + nd[i].depth >= nd[i + 1].invert + nd[i + 1].depth;
        const double h = from_start ? nd[i].depth : nd[i + 1].depth;
        double A = from_start ? w.Ar[i] : w.Al[i + 1];
        double P = from_start ? w.Pr[i] : w.Pl[i + 1];
        w.A[i] = A;
        w.vel[i] = h >= kWetDepth && A > 0.0 ? w.Q[i] / A : 0.0;
        if (h < kWetDepth) {
            const side_section film = side_at(p, kWetDepth);
            A = film.A;
            P = film.P;
        }
        const double R = A / P;
        w.F[i] = p.roughness * p.roughness * g * p.length / (std::pow(R, 4.0 / 3.0) * A);
    }
    w.E_us = w.Br[1] * pp[1].length * 0.5 + nd[1].storage_area;
    w.E_ds = w.Bl[ix(N) + 1] * pp[ix(N)].length * 0.5 + nd[ix(N) + 1].storage_area;

    // Node velocities, length-weighted between the pipes on either side.
    w.node_vel[1] = w.vel[1];
    w.node_vel[ix(N) + 1] = w.vel[ix(N)];
    for (int k = 2; k <= N; ++k) {
        const double l0 = pp[ix(k) - 1].length, l1 = pp[ix(k)].length;
        w.node_vel[ix(k)] = (l0 * w.vel[ix(k) - 1] + l1 * w.vel[ix(k)]) / (l0 + l1);
    }

    // Momentum coefficients, m2/s and m3/s. The momentum flux through node k
    // is its velocity times the discharge of the pipe upwind of it, so the
    // convection of pipe k is the flux out of node k+1 minus that into node k;
    // in a pipe whose flow slows down, the part of it that would take from
    // the diagonal is taken as u_in (Q_k - Q_k-1) instead, so a + b + c stays
    // above dx/dt and the recurrences never meet a vanishing pivot.
    for (int k = 1; k <= N; ++k) {
        const sd_pipe& p = pp[ix(k)];
        const double A = w.A[ix(k)], Q = w.Q[ix(k)], dx = p.length;
        const double u_in = w.node_vel[ix(k)], u_out = w.node_vel[ix(k) + 1];
        const double a = -std::max(u_in, 0.0);
        const double c = std::min(u_out, 0.0);
        // Pipes join without contraction, so no local loss.
        const double b = dx / dt + std::max(u_out, 0.0) - std::min(u_in, 0.0) + std::max(0.0, u_in - u_out) +
                         w.F[ix(k)] * std::fabs(Q);
        w.a[ix(k)] = a;
        w.b[ix(k)] = b;
        w.c[ix(k)] = c;
        w.P[ix(k)] = g * A * p.slope * dx + Q * dx / dt;
    }

    // Continuity of the interior nodes, m2/s and m3/s: the storage width of
    // the half pipes beside the node at its depth, and its storage area.
    for (int k = 2; k <= N; ++k) {
        const double area = w.Bl[ix(k)] * pp[ix(k) - 1].length * 0.5 + w.Br[ix(k)] * pp[ix(k)].length * 0.5 +
                            nd[ix(k)].storage_area;
        w.E[ix(k)] = area / dt;
        w.D[ix(k)] = w.E[ix(k)] * nd[ix(k)].depth + nd[ix(k)].inflow;
    }

    // Forward recurrence Q_k = U_k h_k+1 + V_k + W_k h_1.
    {
        const bool last = N == 1;
        const double T = w.a[1] + w.b[1] + w.c[1];
        const double gA = g * w.A[1];
        w.U[1] = ((last ? 0.0 : w.E[2] * w.c[1]) - gA) / T;
        w.V[1] = (w.P[1] - (last ? 0.0 : w.D[2] * w.c[1])) / T;
        w.W[1] = gA / T;
        for (int k = 2; k <= N; ++k) {
            const size_t i = ix(k);
            const double gAk = g * w.A[i];
            const double G = (gAk - w.E[i] * w.a[i]) / (w.U[i - 1] - w.E[i]);
            const double Tk = w.a[i] + w.b[i] + w.c[i] - G;
            const bool end = k == N;
            w.U[i] = ((end ? 0.0 : w.E[i + 1] * w.c[i]) - gAk) / Tk;
            w.V[i] = (w.D[i] * w.a[i] + w.P[i] - (end ? 0.0 : w.D[i + 1] * w.c[i]) - G * (w.D[i] + w.V[i - 1])) / Tk;
            w.W[i] = -G * w.W[i - 1] / Tk;
        }
    }
    // Backward recurrence Q_k = X_k h_k + Y_k + Z_k h_N+1.
    {
        const size_t n = ix(N);
        const double O = w.a[n] + w.b[n] + w.c[n];
        const double gA = g * w.A[n];
        const bool first = N == 1;
        w.X[n] = (gA - (first ? 0.0 : w.E[n] * w.a[n])) / O;
        w.Y[n] = ((first ? 0.0 : w.D[n] * w.a[n]) + w.P[n]) / O;
        w.Z[n] = -gA / O;
        for (int k = N - 1; k >= 1; --k) {
            const size_t i = ix(k);
            const double gAk = g * w.A[i];
            const double H = (gAk - w.E[i + 1] * w.c[i]) / (w.E[i + 1] + w.X[i + 1]);
            const double Ok = w.a[i] + w.b[i] + w.c[i] + H;
            const bool begin = k == 1;
            w.X[i] = (gAk - (begin ? 0.0 : w.E[i] * w.a[i])) / Ok;
            w.Y[i] = ((begin ? 0.0 : w.D[i] * w.a[i]) + w.P[i] - w.D[i + 1] * w.c[i] - H * (w.D[i + 1] - w.Y[i + 1])) / Ok;
            w.Z[i] = H * w.Z[i + 1] / Ok;
        }
    }

    // End relations h_1 = lambda_u H_us + kappa_u Q_u + mu_u, h_N+1 likewise.
    // An end is free (at the lesser of critical and normal depth) when the
    // flow leaves the superlink there and the critical depth stands above
    // the junction's water; the depths are found only when that can be so.
    const double us_invert = nd[1].invert, ds_invert = nd[ix(N) + 1].invert;
    {
        const sd_pipe& p = pp[1];
        w.lambda_u = 1.0;
        w.mu_u = -us_invert;
        w.kappa_u = 0.0;
        double yc = 0.0;
        if (us_pool && w.Qu < 0.0 && pipe_critical_depth(p.type, p.size, p.width, -w.Qu, yc) &&
            yc > H_us - us_invert) {
            double yn = yc;
            pipe_normal_depth(p.type, p.size, p.width, p.roughness, -w.Qu, std::fabs(p.slope), yn);
            w.lambda_u = w.mu_u = 0.0;
            w.kappa_u = -w.Qu < kTinyFlow ? 0.0 : std::min(yc, yn) / w.Qu;
        }
    }
    {
        const sd_pipe& p = pp[ix(N)];
        w.lambda_d = 1.0;
        w.mu_d = -ds_invert;
        double yc = 0.0;
        if (ds_pool && w.Qd > 0.0 && pipe_critical_depth(p.type, p.size, p.width, w.Qd, yc) &&
            yc > H_ds - ds_invert) {
            double yn = yc;
            pipe_normal_depth(p.type, p.size, p.width, p.roughness, w.Qd, std::fabs(p.slope), yn);
            w.lambda_d = w.mu_d = 0.0;
            w.kappa_d = w.Qd < kTinyFlow ? 0.0 : std::min(yc, yn) / w.Qd;
        } else {
            // The velocity head of the pipe's end is lost into the junction.
            const double Ad = w.Al[ix(N) + 1];
            const double den = 2.0 * g * Ad * Ad;
            w.kappa_d = std::fabs(den) <= 1e-9 ? 0.0 : std::fabs(w.Qd) / den;
        }
    }

    // Link coefficients: the end discharges as functions of the two heads.
    const size_t n = ix(N);
    const double ku = w.kappa_u, kd = w.kappa_d;
    const double X1 = w.X[1], Y1 = w.Y[1], Z1 = w.Z[1];
    const double UN = w.U[n], VN = w.V[n], WN = w.W[n];
    const double m11 = 1.0 - X1 * ku, m12 = -Z1 * kd;
    const double m21 = -WN * ku, m22 = 1.0 - UN * kd;
    const double det = m11 * m22 - m12 * m21;
    // Right sides r1 = X1 lu Hus + Z1 ld Hds + (X1 mu_u + Y1 + Z1 mu_d), r2 likewise.
    const double r1u = X1 * w.lambda_u, r1d = Z1 * w.lambda_d, r1c = X1 * w.mu_u + Y1 + Z1 * w.mu_d;
    const double r2u = WN * w.lambda_u, r2d = UN * w.lambda_d, r2c = UN * w.mu_d + VN + WN * w.mu_u;
    w.alpha_u = (m22 * r1u - m12 * r2u) / det;
    w.beta_u = (m22 * r1d - m12 * r2d) / det;
    w.chi_u = (m22 * r1c - m12 * r2c) / det;
    w.alpha_d = (m11 * r2u - m21 * r1u) / det;
    w.beta_d = (m11 * r2d - m21 * r1d) / det;
    w.chi_d = (m11 * r2c - m21 * r1c) / det;
}

void recover_superlink(sd_link& s, double dt, double H_us, double H_ds) {
    const int N = s.pipe_count();
    sd_link_work& w = s.w;
    w.Qu = w.alpha_u * H_us + w.beta_u * H_ds + w.chi_u;
    w.Qd = w.alpha_d * H_us + w.beta_d * H_ds + w.chi_d;
    const double h1 = w.lambda_u * H_us + w.kappa_u * w.Qu + w.mu_u;
    const double hN1 = w.lambda_d * H_ds + w.kappa_d * w.Qd + w.mu_d;
    w.h_us = h1;
    w.h_ds = hN1;
    w.off_us = w.kappa_u * w.Qu + w.mu_u;
    w.off_ds = w.kappa_d * w.Qd + w.mu_d;
    // Depth of each interior node from the forward relation of the pipe
    // before it, the backward relation of the pipe after it and its
    // continuity (the denominator holds the node's storage, so it never vanishes).
    for (int k = 2; k <= N; ++k) {
        const size_t i = ix(k);
        w.guess[i] = (w.D[i] + w.V[i - 1] + w.W[i - 1] * h1 - w.Y[i] - w.Z[i] * hN1) / (w.E[i] - w.U[i - 1] + w.X[i]);
    }
    w.Q[1] = w.Qu;
    w.Q[ix(N)] = w.Qd;
    for (int k = 2; k < N; ++k) w.Q[ix(k)] = w.U[ix(k)] * w.guess[ix(k) + 1] + w.V[ix(k)] + w.W[ix(k)] * h1;
    for (int k = 2; k <= N; ++k) {
        const size_t i = ix(k);
        w.water[i] = s.nodes[i].volume + dt * (w.Q[i - 1] - w.Q[i] + s.nodes[i].inflow);
    }
}

int superlink_step(run_state& rs, double dt) {
    sd_call_tally& t = rs.superlink_tally;
    t = sd_call_tally();
    t.storage_before = rs.superlink_storage;
    if (!(dt > 0.0)) {
        t.storage_after = rs.superlink_storage;
        return 0;
    }
    const int nl = rs.n_slink;
    const int nj = rs.n_sjunc;
    const bool release = rs.high_head_release != 0;

    // Surface and tile water before the solve (inlet capacities, tile
    // inflow, node inlets and releases).
    exchange_before_solve(rs, dt, t);

    int pipes = 0;
    for (int l = 1; l <= nl; ++l) pipes += rs.sd_links[ix(l)].pipe_count();
    const bool threads = pipes >= parallel_pipes();

#pragma omp parallel for schedule(static) if (threads)
    for (int l = 1; l <= nl; ++l) {
        sd_link& s = rs.sd_links[ix(l)];
        const sd_junction& u = rs.sd_junctions[ix(s.us)];
        const sd_junction& d = rs.sd_junctions[ix(s.ds)];
        reduce_superlink(s, dt, u.head, d.head, u.fixed_head || u.storage_area > 0.0,
                         d.fixed_head || d.storage_area > 0.0);
    }

    if (reduction_diverged(rs)) return -1;

    // Storage of each junction: plan area plus the half pipes at its superlink ends.
    std::vector<double> S(ix(nj) + 1, 0.0);
    std::vector<double> old_head(ix(nj) + 1, 0.0);
    for (int j = 1; j <= nj; ++j) {
        S[ix(j)] = rs.sd_junctions[ix(j)].storage_area;
        old_head[ix(j)] = rs.sd_junctions[ix(j)].head;
    }
    for (int l = 1; l <= nl; ++l) {
        const sd_link& s = rs.sd_links[ix(l)];
        S[ix(s.us)] += s.w.E_us;
        S[ix(s.ds)] += s.w.E_ds;
    }
    // The linear system takes each junction's storage at its present depths;
    // where the head that holds the junction's water after the flows lies far
    // from the solved head (ends that fill past their crowns, where the slot
    // takes over), the solve is repeated with the storage between the two.
    // Node water is committed once the last round is done (the rounds start
    // again from the water before the call).
    std::vector<junction_call> jc;
    std::vector<int> link_bad(ix(nl) + 1, 0);   // first node whose solution is not finite, per superlink
    std::vector<double> link_water(ix(nl) + 1, 0.0);
    for (int round = 0;; ++round) {
        if (!solve_heads_with_holds(rs, dt, S, old_head)) return -1;
#pragma omp parallel for schedule(static) if (threads)
        for (int l = 1; l <= nl; ++l) {
            sd_link& s = rs.sd_links[ix(l)];
            recover_superlink(s, dt, rs.sd_junctions[ix(s.us)].head, rs.sd_junctions[ix(s.ds)].head);
            link_bad[ix(l)] = first_unfinite_flow(s);
        }
        if (report_divergence(rs, link_bad, false)) return -1;
        balance_junctions(rs, jc, dt, release);
        // Heads of the junctions and depths of the nodes that hold the water;
        // each junction writes only itself and the ends of its superlinks,
        // each superlink only its interior nodes.
#pragma omp parallel if (threads)
        {
#pragma omp for schedule(static) nowait
            for (int j = 1; j <= nj; ++j) settle_junction_depths(rs, j, jc[ix(j)]);
#pragma omp for schedule(static)
            for (int l = 1; l <= nl; ++l) {
                sd_link& s = rs.sd_links[ix(l)];
                double v = 0.0;
                for (int k = 2; k <= s.pipe_count(); ++k) {
                    const double water = s.w.water[ix(k)];
                    s.nodes[ix(k)].depth = node_depth_for(s, k, water, std::max(0.0, s.w.guess[ix(k)]));
                    v += water;
                }
                link_water[ix(l)] = v;
                link_bad[ix(l)] = first_diverged_depth(s);
            }
        }
        if (round == kMaxStorageRounds) break;
        bool again = false;
        for (int j = 1; j <= nj; ++j) {
            const sd_junction& s = rs.sd_junctions[ix(j)];
            const junction_call& c = jc[ix(j)];
            if (c.absorbing || s.fixed_head) continue;
            const double rise = c.head - old_head[ix(j)];
            if (std::fabs(c.head - s.head) <= kHeadAgreement + 0.2 * std::fabs(rise) || std::fabs(rise) < 1e-9) continue;
            const double between = (c.water - s.volume) / rise;   // m2
            if (!(between > 0.0)) continue;
            S[ix(j)] = between;
            again = true;
        }
        if (!again) break;
    }

    // Commit the water and heads of the call.
    for (int l = 1; l <= nl; ++l) {
        sd_link& s = rs.sd_links[ix(l)];
        for (int k = 2; k <= s.pipe_count(); ++k) s.nodes[ix(k)].volume = s.w.water[ix(k)];
    }
    for (int j = 1; j <= nj; ++j) {
        sd_junction& s = rs.sd_junctions[ix(j)];
        const junction_call& c = jc[ix(j)];
        s.volume = c.water;
        if (!c.absorbing) s.head = s.fixed_head ? s.bottom : c.head;
        s.exchange = c.exchange;
        s.inflow = c.exchange + s.tile_inflow;
    }
    if (report_divergence(rs, link_bad, true)) return -1;

    // Cells, channels and the call's tallies.
    exchange_after_solve(rs, dt, t);

    double storage = 0.0;
    for (int j = 1; j <= nj; ++j) storage += rs.sd_junctions[ix(j)].volume;
    for (int l = 1; l <= nl; ++l) storage += link_water[ix(l)];
    rs.superlink_storage = storage;
    t.storage_after = storage;
    write_flows_line(rs, dt, t);
    return 0;
}
