// Junction head system. Row R of a free junction is its storage balance
//   S_R (H_R - H_R,old) / dt = sum over superlinks ending at R of Q_d
//                              - sum over superlinks starting at R of Q_u + Q_junc,
// with Q_u = alpha_u H_us + beta_u H_ds + chi_u and Q_d = alpha_d H_us +
// beta_d H_ds + chi_d from the superlink solver; S_R (m2) is the junction's
// plan area plus the half pipes at its superlink ends. Superlinks in
// parallel between one pair of junctions each add their terms. An outfall's
// row holds its head at its bottom.
#include "stormdrain/junction_heads.h"

#include <cmath>
#include <cstdio>

#include "core/error.h"
#include "run/run_state.h"

namespace {

inline size_t ix(int i) { return static_cast<size_t>(i); }

constexpr double kTinyPivot = 1e-20;
constexpr double kHeadFloorSlack = 0.001;   // m a head may lie below its bottom

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

bool solve_junction_heads(run_state& rs, double dt, const std::vector<double>& storage_area,
                          std::vector<char>& raised) {
    const int n = rs.n_sjunc;
    std::vector<double>& F = rs.sd_matrix;
    std::vector<double>& rhs = rs.sd_rhs;
    F.assign(ix(n) * ix(n), 0.0);
    rhs.assign(ix(n), 0.0);
    auto at = [&](int r, int c) -> double& { return F[ix(r - 1) * ix(n) + ix(c - 1)]; };

    for (int R = 1; R <= n; ++R) {
        const sd_junction& j = rs.sd_junctions[ix(R)];
        if (j.fixed_head) {
            at(R, R) = 1.0;
            rhs[ix(R - 1)] = j.bottom;
            continue;
        }
        const double S = storage_area[ix(R)];
        at(R, R) += S / dt;
        rhs[ix(R - 1)] += S * j.head / dt + j.inflow;
    }
    for (int l = 1; l <= rs.n_slink; ++l) {
        const sd_link& s = rs.sd_links[ix(l)];
        const sd_link_work& w = s.w;
        if (!rs.sd_junctions[ix(s.ds)].fixed_head) {   // + Q_d into the downstream junction
            at(s.ds, s.ds) -= w.beta_d;
            at(s.ds, s.us) -= w.alpha_d;
            rhs[ix(s.ds - 1)] += w.chi_d;
        }
        if (!rs.sd_junctions[ix(s.us)].fixed_head) {   // - Q_u out of the upstream junction
            at(s.us, s.us) += w.alpha_u;
            at(s.us, s.ds) += w.beta_u;
            rhs[ix(s.us - 1)] -= w.chi_u;
        }
    }

    if (!lu_factor(F, n, rs.sd_pivot)) {
        set_error(134, nullptr, "");
        return false;
    }
    lu_solve(F, n, rs.sd_pivot, rhs);
    raised.assign(ix(n) + 1, 0);
    for (int R = 1; R <= n; ++R) {
        sd_junction& j = rs.sd_junctions[ix(R)];
        double h = rhs[ix(R - 1)];
        if (h < j.bottom - kHeadFloorSlack) {
            raised[ix(R)] = 1;
            h = j.bottom;
        }
        j.head = h;
    }
    return true;
}
