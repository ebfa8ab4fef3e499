// Junction head system. Row R of a free junction is its storage balance
//   S_R (H_R - H_R,old) / dt = sum over superlinks ending at R of Q_d
//                              - sum over superlinks starting at R of Q_u + Q_junc,
// with Q_u = alpha_u H_us + beta_u H_ds + chi_u and Q_d = alpha_d H_us +
// beta_d H_ds + chi_d from the superlink solver; S_R (m2) is the junction's
// plan area plus the half pipes at its superlink ends. Superlinks in
// parallel between one pair of junctions each add their terms. An outfall's
// row holds its head at its bottom, the row of a junction full to its cell
// at its hold level.
//
// The system is sparse (a junction meets only the junctions of its
// superlinks): it is solved by elimination in minimum-degree order, found
// once from the network, which for a tree network adds no entries at all.
// The dense factorisation below gives the same heads and serves the tests.
#include "stormdrain/junction_heads.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>

#include "core/error.h"
#include "run/run_state.h"

namespace {

inline size_t ix(int i) { return static_cast<size_t>(i); }

constexpr double kTinyPivot = 1e-20;

// Head of a junction the system takes as known (outfalls, held junctions), m.
bool known_head(const sd_junction& j, bool holds) { return j.fixed_head || (holds && j.held); }
double known_level(const sd_junction& j) { return j.fixed_head ? j.bottom : j.hold_level; }

}  // namespace

bool lu_factor(std::vector<double>& a, int n, std::vector<int>& pivot) {
    std::vector<double> scale(ix(n), 0.0);
    pivot.assign(ix(n), 0);
    for (int i = 0; i < n; ++i) {
        double big = 0.0;
        for (int j = 0; j < n; ++j) big = std::max(big, std::fabs(a[ix(i * n + j)]));
        if (big == 0.0) {
            std::fprintf(stderr, "Numerical Recipes run-time error...\n");
            std::fprintf(stderr, "Singular matrix in routine ludcmp\n");
            std::fprintf(stderr, "...now exiting to system...\n");
            return false;
        }
        scale[ix(i)] = 1.0 / big;
    }
    for (int j = 0; j < n; ++j) {
        for (int i = 0; i < j; ++i) {
            double sum = a[ix(i * n + j)];
            for (int k = 0; k < i; ++k) sum -= a[ix(i * n + k)] * a[ix(k * n + j)];
            a[ix(i * n + j)] = sum;
        }
        double big = 0.0;
        int imax = j;
        for (int i = j; i < n; ++i) {
            double sum = a[ix(i * n + j)];
            for (int k = 0; k < j; ++k) sum -= a[ix(i * n + k)] * a[ix(k * n + j)];
            a[ix(i * n + j)] = sum;
            const double t = scale[ix(i)] * std::fabs(sum);
            if (t >= big) {
                big = t;
                imax = i;
            }
        }
        if (j != imax) {
            for (int k = 0; k < n; ++k) std::swap(a[ix(imax * n + k)], a[ix(j * n + k)]);
            scale[ix(imax)] = scale[ix(j)];
        }
        pivot[ix(j)] = imax;
        if (a[ix(j * n + j)] == 0.0) a[ix(j * n + j)] = kTinyPivot;
        if (j != n - 1) {
            const double inv = 1.0 / a[ix(j * n + j)];
            for (int i = j + 1; i < n; ++i) a[ix(i * n + j)] *= inv;
        }
    }
    return true;
}

void lu_solve(const std::vector<double>& a, int n, const std::vector<int>& pivot, std::vector<double>& b) {
    int first = -1;
    for (int i = 0; i < n; ++i) {
        const int p = pivot[ix(i)];
        double sum = b[ix(p)];
        b[ix(p)] = b[ix(i)];
        if (first >= 0) {
            for (int j = first; j < i; ++j) sum -= a[ix(i * n + j)] * b[ix(j)];
        } else if (sum != 0.0) {
            first = i;
        }
        b[ix(i)] = sum;
    }
    for (int i = n - 1; i >= 0; --i) {
        double sum = b[ix(i)];
        for (int j = i + 1; j < n; ++j) sum -= a[ix(i * n + j)] * b[ix(j)];
        b[ix(i)] = sum / a[ix(i * n + i)];
    }
}

void assemble_junction_system(const run_state& rs, double dt, const std::vector<double>& storage_area,
                              junction_system& sys, bool holds) {
    const int n = rs.n_sjunc;
    sys.n = n;
    sys.entries.clear();
    sys.rhs.assign(ix(n), 0.0);
    auto add = [&](int r, int c, double v) {
        const sd_junction& col = rs.sd_junctions[ix(c)];
        if (c != r && known_head(col, holds)) sys.rhs[ix(r - 1)] -= v * known_level(col);   // a known head
        else sys.entries.push_back({r - 1, c - 1, v});
    };
    for (int R = 1; R <= n; ++R) {
        const sd_junction& j = rs.sd_junctions[ix(R)];
        if (known_head(j, holds)) {
            sys.entries.push_back({R - 1, R - 1, 1.0});
            sys.rhs[ix(R - 1)] = known_level(j);
            continue;
        }
        const double S = storage_area[ix(R)];
        add(R, R, S / dt);
        sys.rhs[ix(R - 1)] += S * j.head / dt + j.inflow;
    }
    for (int l = 1; l <= rs.n_slink; ++l) {
        const sd_link& s = rs.sd_links[ix(l)];
        const sd_link_work& w = s.w;
        if (!known_head(rs.sd_junctions[ix(s.ds)], holds)) {   // + Q_d into the downstream junction
            add(s.ds, s.ds, -w.beta_d);
            add(s.ds, s.us, -w.alpha_d);
            sys.rhs[ix(s.ds - 1)] += w.chi_d;
        }
        if (!known_head(rs.sd_junctions[ix(s.us)], holds)) {   // - Q_u out of the upstream junction
            add(s.us, s.us, w.alpha_u);
            add(s.us, s.ds, w.beta_u);
            sys.rhs[ix(s.us - 1)] -= w.chi_u;
        }
    }
}

void order_junction_system(const junction_system& sys, junction_elimination& e) {
    const int n = sys.n;
    std::vector<std::set<int>> adj(ix(n));
    for (const junction_entry& t : sys.entries) {
        if (t.row == t.col) continue;
        adj[ix(t.row)].insert(t.col);
        adj[ix(t.col)].insert(t.row);
    }
    std::vector<std::set<int>> filled(adj);
    e.n = n;
    e.order.clear();
    e.position.assign(ix(n), 0);
    std::vector<char> done(ix(n), 0);
    // Minimum degree: the junction with the fewest remaining neighbours goes
    // next (the lowest number among equals); its neighbours become joined.
    std::set<std::pair<size_t, int>> queue;
    for (int i = 0; i < n; ++i) queue.insert({adj[ix(i)].size(), i});
    while (!queue.empty()) {
        const int p = queue.begin()->second;
        queue.erase(queue.begin());
        done[ix(p)] = 1;
        e.position[ix(p)] = static_cast<int>(e.order.size());
        e.order.push_back(p);
        const std::vector<int> nb(adj[ix(p)].begin(), adj[ix(p)].end());
        for (int a : nb) {
            queue.erase({adj[ix(a)].size(), a});
            adj[ix(a)].erase(p);
            for (int b : nb) {
                if (b == a) continue;
                if (adj[ix(a)].insert(b).second) filled[ix(a)].insert(b);
            }
            queue.insert({adj[ix(a)].size(), a});
        }
    }
    e.pattern.assign(ix(n), std::vector<int>());
    for (int i = 0; i < n; ++i) {
        filled[ix(i)].insert(i);
        e.pattern[ix(i)].assign(filled[ix(i)].begin(), filled[ix(i)].end());
    }
}

bool solve_junction_system(const junction_system& sys, const junction_elimination& e, std::vector<double>& x) {
    const int n = sys.n;
    std::vector<std::vector<double>> val(ix(n));
    for (int i = 0; i < n; ++i) val[ix(i)].assign(e.pattern[ix(i)].size(), 0.0);
    auto slot = [&](int r, int c) -> double& {
        const std::vector<int>& p = e.pattern[ix(r)];
        const auto it = std::lower_bound(p.begin(), p.end(), c);
        return val[ix(r)][static_cast<size_t>(it - p.begin())];
    };
    for (const junction_entry& t : sys.entries) slot(t.row, t.col) += t.value;
    bool singular = false;
    for (int i = 0; i < n && !singular; ++i) {
        double big = 0.0;
        for (double v : val[ix(i)]) big = std::max(big, std::fabs(v));
        if (big == 0.0) singular = true;
    }
    x = sys.rhs;
    for (int k = 0; k < n && !singular; ++k) {
        const int p = e.order[ix(k)];
        const double pivot = slot(p, p);
        if (pivot == 0.0) {
            singular = true;
            break;
        }
        const std::vector<int>& cols = e.pattern[ix(p)];
        for (int r : cols) {
            if (e.position[ix(r)] <= k) continue;
            const double f = slot(r, p) / pivot;
            if (f == 0.0) continue;
            for (size_t i = 0; i < cols.size(); ++i) {
                const int c = cols[i];
                if (e.position[ix(c)] <= k) continue;
                slot(r, c) -= f * val[ix(p)][i];
            }
            x[ix(r)] -= f * x[ix(p)];
        }
    }
    if (singular) {
        std::fprintf(stderr, "Numerical Recipes run-time error...\n");
        std::fprintf(stderr, "Singular matrix in routine ludcmp\n");
        std::fprintf(stderr, "...now exiting to system...\n");
        return false;
    }
    for (int k = n - 1; k >= 0; --k) {
        const int p = e.order[ix(k)];
        const std::vector<int>& cols = e.pattern[ix(p)];
        double sum = x[ix(p)];
        for (size_t i = 0; i < cols.size(); ++i) {
            const int c = cols[i];
            if (e.position[ix(c)] > k) sum -= val[ix(p)][i] * x[ix(c)];
        }
        x[ix(p)] = sum / slot(p, p);
    }
    return true;
}

bool solve_junction_heads(run_state& rs, double dt, const std::vector<double>& storage_area) {
    const int n = rs.n_sjunc;
    junction_system& sys = rs.sd_system;
    // The elimination order comes from the full structure, held junctions free.
    if (rs.sd_elimination.n != n) {
        assemble_junction_system(rs, dt, storage_area, sys, false);
        order_junction_system(sys, rs.sd_elimination);
    }
    assemble_junction_system(rs, dt, storage_area, sys);
    std::vector<double>& heads = rs.sd_rhs;
    if (!solve_junction_system(sys, rs.sd_elimination, heads)) {
        set_error(134, nullptr, "");
        return false;
    }
    for (int R = 1; R <= n; ++R) rs.sd_junctions[ix(R)].head = heads[ix(R - 1)];
    return true;
}
