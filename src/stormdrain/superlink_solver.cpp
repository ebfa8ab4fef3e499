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
// heads, and every depth and discharge is recovered.
//
// Water is conserved exactly by construction: interior depths are taken
// from continuity with the recovered discharges, and the half pipes at the
// two ends of a superlink store their water with the junction they join.
#include "stormdrain/superlink_solver.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/error.h"
#include "core/parallel.h"
#include "run/run_state.h"
#include "stormdrain/junction_heads.h"
#include "stormdrain/pipe_section.h"
#include "stormdrain/sd_exchange.h"

namespace {

inline size_t ix(int i) { return static_cast<size_t>(i); }

constexpr double g = kPipeGravity;
constexpr double kDepthFloor = 1e-4;      // m
constexpr double kSlotShare = 0.01;       // surface width of a full pipe, share of its width
constexpr double kTinyFlow = 1e-11;       // m3/s
constexpr double kDepthLimit = 10.0;      // node depths beyond this many pipe sizes stop the run
// Pipes in the network from which the superlink loops use many threads
// (each pipe costs some hundred ns, about ten overland cells).
inline int parallel_pipes() { return std::max(1, parallel_cells().overland / 10); }

// Width of the section at the water surface (m), never below the slot of a full pipe.
double full_width(const sd_pipe& p) { return p.type == kSectionBox ? p.width : p.size; }

pipe_section section_at(const sd_pipe& p, double y) {
    pipe_section s = pipe_section_geometry(p.type, p.size, p.width, y);
    s.top_width = std::max(s.top_width, kSlotShare * full_width(p));
    return s;
}

void size_work(sd_link& s) {
    const size_t n = s.nodes.size() + 1;
    sd_link_work& w = s.w;
    for (std::vector<double>* v : {&w.Q, &w.A, &w.B, &w.R, &w.vel, &w.node_vel, &w.a, &w.b, &w.c, &w.P,
                                   &w.E, &w.D, &w.U, &w.V, &w.W, &w.X, &w.Y, &w.Z}) {
        if (v->size() != n) v->assign(n, 0.0);
    }
}

// Water that raising heads to their junction bottoms added, m3: the raised
// heads change the discharges of their superlinks from those the system
// balanced, so the storage balance of every free junction at a raised
// junction or next to one is taken again with the recovered discharges.
double raised_head_water(const run_state& rs, double dt, const std::vector<double>& S,
                         const std::vector<double>& old_head, const std::vector<char>& raised) {
    const int nj = rs.n_sjunc;
    std::vector<char> redo(raised);
    bool any = false;
    for (int l = 1; l <= rs.n_slink; ++l) {
        const sd_link& s = rs.sd_links[ix(l)];
        if (raised[ix(s.us)] || raised[ix(s.ds)]) redo[ix(s.us)] = redo[ix(s.ds)] = 1;
    }
    std::vector<double> net(ix(nj) + 1, 0.0);   // discharge into each junction, m3/s
    for (int j = 1; j <= nj; ++j) {
        if (redo[ix(j)] && !rs.sd_junctions[ix(j)].fixed_head) any = true;
        net[ix(j)] = rs.sd_junctions[ix(j)].inflow;
    }
    if (!any) return 0.0;
    for (int l = 1; l <= rs.n_slink; ++l) {
        const sd_link& s = rs.sd_links[ix(l)];
        net[ix(s.ds)] += s.w.Qd;
        net[ix(s.us)] -= s.w.Qu;
    }
    double water = 0.0;
    for (int j = 1; j <= nj; ++j) {
        const sd_junction& s = rs.sd_junctions[ix(j)];
        if (!redo[ix(j)] || s.fixed_head) continue;
        water += S[ix(j)] * (s.head - old_head[ix(j)]) - dt * net[ix(j)];
    }
    return water;
}

}  // namespace

double init_superlink_state(run_state& rs) {
    for (int j = 1; j <= rs.n_sjunc; ++j) {
        sd_junction& s = rs.sd_junctions[ix(j)];
        s.head = s.bottom;
        s.inflow = 0.0;
    }
    for (int l = 1; l <= rs.n_slink; ++l) {
        sd_link& s = rs.sd_links[ix(l)];
        size_work(s);
        s.w.Qu = s.w.Qd = 0.0;
        for (sd_node& n : s.nodes) {
            n.depth = kDepthFloor;
            n.inflow = 0.0;
        }
    }
    // Starting storage: the interior nodes' water at the floor depth.
    double v = 0.0;
    for (int l = 1; l <= rs.n_slink; ++l) {
        const sd_link& s = rs.sd_links[ix(l)];
        const int N = s.pipe_count();
        for (int k = 2; k <= N; ++k) {
            const double h = s.nodes[ix(k)].depth;
            v += 0.5 * (pipe_area(s.pipes[ix(k - 1)].type, s.pipes[ix(k - 1)].size, s.pipes[ix(k - 1)].width, h) *
                            s.pipes[ix(k - 1)].length +
                        pipe_area(s.pipes[ix(k)].type, s.pipes[ix(k)].size, s.pipes[ix(k)].width, h) *
                            s.pipes[ix(k)].length) +
                 s.nodes[ix(k)].storage_area * h;
        }
    }
    return v;
}

void reduce_superlink(sd_link& s, double dt, double H_us, double H_ds) {
    const int N = s.pipe_count();
    size_work(s);
    sd_link_work& w = s.w;
    std::vector<sd_node>& nd = s.nodes;
    const std::vector<sd_pipe>& pp = s.pipes;

    // Geometry of each pipe at the mean depth of its two nodes.
    for (int k = 1; k <= N; ++k) {
        const sd_pipe& p = pp[ix(k)];
        const double mean = 0.5 * (nd[ix(k)].depth + nd[ix(k) + 1].depth);
        const pipe_section sec = section_at(p, std::min(mean, p.size));
        w.A[ix(k)] = sec.area;
        w.B[ix(k)] = sec.top_width;
        w.R[ix(k)] = sec.perimeter > 0.0 ? sec.area / sec.perimeter : 0.0;
        w.vel[ix(k)] = sec.area > 0.0 ? w.Q[ix(k)] / sec.area : 0.0;
    }
    const pipe_section end_u = section_at(pp[1], nd[1].depth);
    const pipe_section end_d = section_at(pp[ix(N)], nd[ix(N) + 1].depth);
    w.E_us = end_u.top_width * pp[1].length * 0.5 + nd[1].storage_area;
    w.E_ds = end_d.top_width * pp[ix(N)].length * 0.5 + nd[ix(N) + 1].storage_area;

    // Node velocities, length-weighted between the pipes on either side.
    w.node_vel[1] = w.vel[1];
    w.node_vel[ix(N) + 1] = w.vel[ix(N)];
    for (int k = 2; k <= N; ++k) {
        const double l0 = pp[ix(k) - 1].length, l1 = pp[ix(k)].length;
        w.node_vel[ix(k)] = (l0 * w.vel[ix(k) - 1] + l1 * w.vel[ix(k)]) / (l0 + l1);
    }

    // Momentum coefficients, m2/s and m3/s. The momentum flux through node k
    // is its velocity times the discharge of the pipe upwind of it, so the
    // convection of pipe k is the flux out of node k+1 minus that into node k.
    for (int k = 1; k <= N; ++k) {
        const sd_pipe& p = pp[ix(k)];
        const double A = w.A[ix(k)], Q = w.Q[ix(k)], dx = p.length;
        const double u_in = w.node_vel[ix(k)], u_out = w.node_vel[ix(k) + 1];
        const double a = -std::max(u_in, 0.0);
        const double c = std::min(u_out, 0.0);
        // Friction by Manning; pipes join without contraction, so no local loss.
        double b = dx / dt + std::max(u_out, 0.0) - std::min(u_in, 0.0);
        if (A > 0.0 && w.R[ix(k)] > 0.0)
            b += p.roughness * p.roughness * g * std::fabs(Q) * dx / (std::pow(w.R[ix(k)], 4.0 / 3.0) * A);
        w.a[ix(k)] = a;
        w.b[ix(k)] = b;
        w.c[ix(k)] = c;
        w.P[ix(k)] = g * A * p.slope * dx + Q * dx / dt;
    }

    // Continuity of the interior nodes, m2/s and m3/s.
    for (int k = 2; k <= N; ++k) {
        const double area = w.B[ix(k)] * pp[ix(k)].length * 0.5 + w.B[ix(k) - 1] * pp[ix(k) - 1].length * 0.5 +
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
    const double us_invert = nd[1].invert, ds_invert = nd[ix(N) + 1].invert;
    {
        const sd_pipe& p = pp[1];
        double yc = 0.0, yn = 0.0;
        const double q = std::fabs(w.Qu);
        pipe_critical_depth(p.type, p.size, p.width, q, yc);
        pipe_normal_depth(p.type, p.size, p.width, p.roughness, q, std::fabs(p.slope), yn);
        if (w.Qu < 0.0 && yc > H_us - us_invert) {
            w.lambda_u = w.mu_u = 0.0;
            w.kappa_u = q < kTinyFlow ? 0.0 : std::min(yc, yn) / w.Qu;
        } else {
            w.lambda_u = 1.0;
            w.mu_u = -us_invert;
            w.kappa_u = 0.0;
        }
    }
    {
        const sd_pipe& p = pp[ix(N)];
        double yc = 0.0, yn = 0.0;
        const double q = std::fabs(w.Qd);
        pipe_critical_depth(p.type, p.size, p.width, q, yc);
        pipe_normal_depth(p.type, p.size, p.width, p.roughness, q, std::fabs(p.slope), yn);
        if (w.Qd > 0.0 && yc > H_ds - ds_invert) {
            w.lambda_d = w.mu_d = 0.0;
            w.kappa_d = q < kTinyFlow ? 0.0 : std::min(yc, yn) / w.Qd;
        } else {
            w.lambda_d = 1.0;
            w.mu_d = -ds_invert;
            const double den = 2.0 * g * end_d.area * end_d.area;
            w.kappa_d = std::fabs(den) <= 1e-9 ? 0.0 : q / den;
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

int recover_superlink(sd_link& s, double dt, double H_us, double H_ds) {
    const int N = s.pipe_count();
    sd_link_work& w = s.w;
    std::vector<sd_node>& nd = s.nodes;
    w.corrections = 0.0;
    w.Qu = w.alpha_u * H_us + w.beta_u * H_ds + w.chi_u;
    w.Qd = w.alpha_d * H_us + w.beta_d * H_ds + w.chi_d;
    const double h1 = w.lambda_u * H_us + w.kappa_u * w.Qu + w.mu_u;
    const double hN1 = w.lambda_d * H_ds + w.kappa_d * w.Qd + w.mu_d;
    w.Q[1] = w.Qu;
    w.Q[ix(N)] = w.Qd;
    int bad = 0;
    for (int k = N; k >= 2; --k) {
        const size_t i = ix(k);
        // Discharge into node k from the forward relation at its depth from the backward one.
        const double h = (w.Q[i] - w.Y[i] - w.Z[i] * hN1) / w.X[i];
        if (k > 2) w.Q[i - 1] = w.U[i - 1] * h + w.V[i - 1] + w.W[i - 1] * h1;
    }
    // Interior depths from continuity with the recovered discharges.
    for (int k = 2; k <= N; ++k) {
        const size_t i = ix(k);
        double h = (w.D[i] + w.Q[i - 1] - w.Q[i]) / w.E[i];
        const double size = s.pipes[i].size;
        if (std::fabs(h) > kDepthLimit * size || !std::isfinite(h)) {
            if (bad == 0) bad = k;
        }
        if (h < kDepthFloor) {
            w.corrections += w.E[i] * dt * (kDepthFloor - h);
            h = kDepthFloor;
        }
        nd[i].depth = h;
    }
    nd[1].depth = std::max(h1, kDepthFloor);
    nd[ix(N) + 1].depth = std::max(hN1, kDepthFloor);
    return bad;
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

    // Surface and tile water before the solve (sets Q_junc and the node inflows).
    exchange_before_solve(rs, dt, t);

    // Node depths never lie below the floor here: the set-up starts them at
    // it and every solve leaves them at it or above (the water that adds is booked).

    int pipes = 0;
    for (int l = 1; l <= nl; ++l) pipes += rs.sd_links[ix(l)].pipe_count();
    const bool threads = pipes >= parallel_pipes();

#pragma omp parallel for schedule(static) if (threads)
    for (int l = 1; l <= nl; ++l) {
        sd_link& s = rs.sd_links[ix(l)];
        reduce_superlink(s, dt, rs.sd_junctions[ix(s.us)].head, rs.sd_junctions[ix(s.ds)].head);
    }

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
    // Interior storage before the solve, m3 (per link, then one ordered sum).
    std::vector<double> link_before(ix(nl) + 1, 0.0), link_after(ix(nl) + 1, 0.0);
    std::vector<int> link_bad(ix(nl) + 1, 0);
    for (int l = 1; l <= nl; ++l) {
        const sd_link& s = rs.sd_links[ix(l)];
        double v = 0.0;
        for (int k = 2; k <= s.pipe_count(); ++k) v += s.w.E[ix(k)] * dt * s.nodes[ix(k)].depth;
        link_before[ix(l)] = v;
    }

    std::vector<char> raised;
    if (!solve_junction_heads(rs, dt, S, raised)) return -1;

#pragma omp parallel for schedule(static) if (threads)
    for (int l = 1; l <= nl; ++l) {
        sd_link& s = rs.sd_links[ix(l)];
        link_bad[ix(l)] = recover_superlink(s, dt, rs.sd_junctions[ix(s.us)].head, rs.sd_junctions[ix(s.ds)].head);
        double v = 0.0;
        for (int k = 2; k <= s.pipe_count(); ++k) v += s.w.E[ix(k)] * dt * s.nodes[ix(k)].depth;
        link_after[ix(l)] = v;
    }
    for (int l = 1; l <= nl; ++l) {
        if (link_bad[ix(l)] == 0) continue;
        std::printf("\nError: the storm-drain solver gave superlink %d node %d a depth beyond ten pipe sizes; "
                    "check the pipes and the time step.\n", l, link_bad[ix(l)]);
        error_record.code = kErrorPrinted;
        return -1;
    }

    // Storage change by the solver's measure, then the corrections.
    double change = 0.0;
    for (int j = 1; j <= nj; ++j) {
        const sd_junction& s = rs.sd_junctions[ix(j)];
        if (!s.fixed_head) change += S[ix(j)] * (s.head - old_head[ix(j)]);
    }
    double corrections = 0.0;
    for (int l = 1; l <= nl; ++l) {
        change += link_after[ix(l)] - link_before[ix(l)];
        corrections += rs.sd_links[ix(l)].w.corrections;
    }
    corrections += raised_head_water(rs, dt, S, old_head, raised);
    t.corrections = corrections;

    // Outfalls deliver the discharge of the superlinks ending at them.
    exchange_after_solve(rs, dt, t);

    rs.superlink_storage += change;
    t.storage_after = rs.superlink_storage;
    write_flows_line(rs, dt, t);
    return 0;
}
