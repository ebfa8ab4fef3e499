// The shuffled complex evolution search: initial population, competitive
// evolution of the complexes by simplex steps, shuffling, the stopping
// tests and the trial log. Arrays are 1-based like the settings.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <vector>

#include "calibration/sce_optimizer.h"

namespace {

using point = std::vector<double>;   // values [1..nopt], slot 0 unused

constexpr double kNoMinimum = 99999999.0;   // running minimum before the first trial
constexpr double kConverged = 0.001;        // normalised geometric range of a converged population
constexpr int kCriterionSlots = 20;
constexpr int kDrawTries = 10000;           // random draws before a draw loop takes a sure value

// Everything one search works on.
struct search {
    sce_optimizer& o;
    const sce_scorer& score;
    int nopt;
    int ngs;                     // current number of complexes
    int npt;                     // current population size
    std::vector<point> x;        // population [1..npt]
    std::vector<double> xf;      // criteria [1..npt]
    std::vector<double> bound;   // bu - bl, parameter units
    std::vector<double> xnstd;   // normalised standard deviation per parameter, -
    double gnrng = 0.0;          // normalised geometric range of the population, -
    int counter = 1;             // number of the next trial-log row
    double running_min = kNoMinimum;
    bool stopped = false;        // the scorer asked to stop

    search(sce_optimizer& opt, const sce_scorer& s) : o(opt), score(s), nopt(opt.nopt), ngs(opt.ngs), npt(0) {}

    void log_row(double f) {
        if (o.model_mode && !o.log_failed) {
            if (!o.log_open) {
                if (open_file_named(o.log_file, "sce_log_file.txt", "w")) {
                    o.log_open = 1;
                    std::fprintf(o.log_file.handle, "Sim No.   Cost     Minimum Cost:  Parameter Values\n");
                } else {
                    std::printf("Error: unable to open the log file.\n");
                    o.log_failed = 1;
                }
            }
        }
        if (o.log_open) {
            std::fprintf(o.log_file.handle, "%-5d  %9.4lf %9.4lf  : ", counter, f, running_min);
            last_row_point_pending = true;
        }
    }
    bool last_row_point_pending = false;
    void log_point(const point& p) {
        if (!last_row_point_pending) return;
        for (int j = 1; j <= nopt; ++j) std::fprintf(o.log_file.handle, " %le", p[static_cast<size_t>(j)]);
        std::fprintf(o.log_file.handle, "\n");
        std::fflush(o.log_file.handle);
        last_row_point_pending = false;
    }

    // Scores a point and writes its trial-log row; false when the scorer stopped.
    bool evaluate(const point& p, double& f) {
        if (!score(p, f)) {
            stopped = true;
            return false;
        }
        running_min = std::min(running_min, f);
        log_row(f);
        log_point(p);
        ++counter;
        return true;
    }

    bool in_bounds(const point& p) const {
        for (int j = 1; j <= nopt; ++j) {
            const size_t k = static_cast<size_t>(j);
            if (p[k] < o.bl[k] || p[k] > o.bu[k]) return false;
        }
        return true;
    }

    // A point drawn around `centre` with spread `spread[j]` x bound[j], each
    // value redrawn until it lies within its bounds (after kDrawTries draws
    // outside them, the centre held within the bounds).
    template <class Draw>
    point draw_point(const point& centre, const std::vector<double>& spread, Draw draw) {
        point p(static_cast<size_t>(nopt) + 1, 0.0);
        for (int j = 1; j <= nopt; ++j) {
            const size_t k = static_cast<size_t>(j);
            bool inside = false;
            for (int tries = 0; !inside && tries < kDrawTries; ++tries) {
                p[k] = centre[k] + draw() * spread[k] * (o.bu[k] - o.bl[k]);
                inside = p[k] >= o.bl[k] && p[k] <= o.bu[k];
            }
            if (!inside) p[k] = std::min(std::max(centre[k], o.bl[k]), o.bu[k]);
        }
        return p;
    }
    point uniform_point() {
        std::vector<double> unit(static_cast<size_t>(nopt) + 1, 1.0);
        return draw_point(o.bl, unit, [this] { return uniform_random(o.rng); });
    }
    point gaussian_point(const point& centre) {
        return draw_point(centre, xnstd, [this] { return gaussian_random(o.rng); });
    }

    // Sorts the first n points of (pts, f) by criterion, ascending (heap sort of an index).
    static void sort_points(std::vector<point>& pts, std::vector<double>& f, int n) {
        std::vector<int> idx(static_cast<size_t>(n));
        std::iota(idx.begin(), idx.end(), 1);
        auto less = [&f](int a, int b) { return f[static_cast<size_t>(a)] < f[static_cast<size_t>(b)]; };
        std::make_heap(idx.begin(), idx.end(), less);
        std::sort_heap(idx.begin(), idx.end(), less);
        std::vector<point> p2(static_cast<size_t>(n));
        std::vector<double> f2(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i) {
            p2[static_cast<size_t>(i)] = std::move(pts[static_cast<size_t>(idx[static_cast<size_t>(i)])]);
            f2[static_cast<size_t>(i)] = f[static_cast<size_t>(idx[static_cast<size_t>(i)])];
        }
        for (int i = 0; i < n; ++i) {
            pts[static_cast<size_t>(i) + 1] = std::move(p2[static_cast<size_t>(i)]);
            f[static_cast<size_t>(i) + 1] = f2[static_cast<size_t>(i)];
        }
    }

    // Spread of the population; true when it has converged.
    bool parameter_spread() {
        double sum = 0.0;
        for (int i = 1; i <= nopt; ++i) {
            const size_t k = static_cast<size_t>(i);
            double hi = -1e20, lo = 1e20, mean = 0.0, square = 0.0;
            for (int p = 1; p <= npt; ++p) {
                const double v = x[static_cast<size_t>(p)][k];
                hi = std::max(hi, v);
                lo = std::min(lo, v);
                mean += v;
                square += v * v;
            }
            mean /= npt;
            square /= npt;
            double variance = square - mean * mean;
            if (variance <= 1e-20) variance = 1e-20;
            xnstd[k] = std::sqrt(variance) / bound[k];
            sum += std::log((hi - lo) / bound[k] + 1e-20);
        }
        gnrng = std::exp(sum / nopt);
        return gnrng <= kConverged;
    }

    // One competitive step on the sub-complex s (worst point last); false on a stop.
    bool simplex_step(std::vector<point>& s, std::vector<double>& sf, int nps) {
        const point& sb = s[1];
        const point& sw = s[static_cast<size_t>(nps)];
        const double fw = sf[static_cast<size_t>(nps)];
        point ce(static_cast<size_t>(nopt) + 1, 0.0);
        for (int j = 1; j <= nopt; ++j) {
            double c = 0.0;
            for (int i = 1; i < nps; ++i) c += s[static_cast<size_t>(i)][static_cast<size_t>(j)];
            ce[static_cast<size_t>(j)] = c / (nps - 1);
        }
        point snew(static_cast<size_t>(nopt) + 1, 0.0);
        for (int j = 1; j <= nopt; ++j) {
            const size_t k = static_cast<size_t>(j);
            snew[k] = ce[k] + (ce[k] - sw[k]);
        }
        if (!in_bounds(snew)) snew = gaussian_point(sb);
        double fnew = 0.0;
        if (!evaluate(snew, fnew)) return false;
        if (fnew > fw) {
            for (int j = 1; j <= nopt; ++j) {
                const size_t k = static_cast<size_t>(j);
                snew[k] = ce[k] - (ce[k] - sw[k]) * 0.5;
            }
            if (!evaluate(snew, fnew)) return false;
            if (fnew > fw) {
                snew = gaussian_point(sb);
                if (!evaluate(snew, fnew)) return false;
            }
        }
        s[static_cast<size_t>(nps)] = snew;
        sf[static_cast<size_t>(nps)] = fnew;
        return true;
    }

    // Evolves complex igs (points igs, igs + ngs, ...); false on a stop.
    bool evolve_complex(int igs) {
        const int npg = o.npg, nps = o.nps;
        std::vector<point> cx(static_cast<size_t>(npg) + 1);
        std::vector<double> cf(static_cast<size_t>(npg) + 1, 0.0);
        for (int k = 1; k <= npg; ++k) {
            cx[static_cast<size_t>(k)] = x[static_cast<size_t>(igs + (k - 1) * ngs)];
            cf[static_cast<size_t>(k)] = xf[static_cast<size_t>(igs + (k - 1) * ngs)];
        }
        std::vector<int> lcs(static_cast<size_t>(nps) + 1, 0);
        std::vector<point> s(static_cast<size_t>(nps) + 1);
        std::vector<double> sf(static_cast<size_t>(nps) + 1, 0.0);
        const double top = npg + 0.5;
        for (int step = 1; step <= o.nspl; ++step) {
            if (nps == npg) {
                for (int k = 1; k <= nps; ++k) lcs[static_cast<size_t>(k)] = k;
            } else {
                auto draw = [&] {
                    const double u = uniform_random(o.rng);
                    return 1 + static_cast<int>(top - std::sqrt(top * top - npg * (npg + 1.0) * u));
                };
                lcs[1] = draw();
                for (int k = 2; k <= nps; ++k) {
                    auto is_taken = [&](int p) {
                        return std::find(lcs.begin() + 1, lcs.begin() + k, p) != lcs.begin() + k;
                    };
                    int pos = draw();
                    bool taken = is_taken(pos);
                    for (int tries = 1; taken && tries < kDrawTries; ++tries) {
                        pos = draw();
                        taken = is_taken(pos);
                    }
                    // Draws that keep meeting taken points: the first free one.
                    for (int p = 1; taken && p <= npg; ++p) {
                        if (!is_taken(p)) {
                            pos = p;
                            taken = false;
                        }
                    }
                    if (taken) {
                        std::printf("Error: a sub-complex of %d points cannot be drawn from a complex "
                                    "of %d points\n", nps, npg);
                        stopped = true;
                        return false;
                    }
                    lcs[static_cast<size_t>(k)] = pos;
                }
                std::sort(lcs.begin() + 1, lcs.end());
            }
            for (int k = 1; k <= nps; ++k) {
                s[static_cast<size_t>(k)] = cx[static_cast<size_t>(lcs[static_cast<size_t>(k)])];
                sf[static_cast<size_t>(k)] = cf[static_cast<size_t>(lcs[static_cast<size_t>(k)])];
            }
            if (!simplex_step(s, sf, nps)) return false;
            for (int k = 1; k <= nps; ++k) {
                cx[static_cast<size_t>(lcs[static_cast<size_t>(k)])] = s[static_cast<size_t>(k)];
                cf[static_cast<size_t>(lcs[static_cast<size_t>(k)])] = sf[static_cast<size_t>(k)];
            }
            sort_points(cx, cf, npg);
        }
        for (int k = 1; k <= npg; ++k) {
            x[static_cast<size_t>(igs + (k - 1) * ngs)] = cx[static_cast<size_t>(k)];
            xf[static_cast<size_t>(igs + (k - 1) * ngs)] = cf[static_cast<size_t>(k)];
        }
        return true;
    }

    // From ngs + 1 complexes to ngs: keeps the points of the first ngs complexes.
    void shuffle_complexes() {
        std::vector<point> nx(static_cast<size_t>(npt) + 1);
        std::vector<double> nf(static_cast<size_t>(npt) + 1, 0.0);
        for (int igs = 1; igs <= ngs; ++igs) {
            for (int k = 1; k <= o.npg; ++k) {
                nx[static_cast<size_t>((k - 1) * ngs + igs)] = x[static_cast<size_t>((k - 1) * (ngs + 1) + igs)];
                nf[static_cast<size_t>((k - 1) * ngs + igs)] = xf[static_cast<size_t>((k - 1) * (ngs + 1) + igs)];
            }
        }
        for (int i = 1; i <= npt; ++i) {
            x[static_cast<size_t>(i)] = std::move(nx[static_cast<size_t>(i)]);
            xf[static_cast<size_t>(i)] = nf[static_cast<size_t>(i)];
        }
    }

    void write_loop(int loop, double worst) {
        FILE* out = o.output_file.handle;
        if (!o.output_open || out == nullptr) return;
        std::fprintf(out, "%5d %5d   %5d %10.3lf %10.3lf %10.3lf\n", loop, counter, ngs, o.bestf, worst, gnrng);
        for (int j = 1; j <= std::min(nopt, 8); ++j) std::fprintf(out, "%10.3lf ", o.bestx[static_cast<size_t>(j)]);
        std::fprintf(out, "\n");
        if (nopt > 8) {
            for (int j = 9; j <= nopt; ++j) std::fprintf(out, "%10.3lf ", o.bestx[static_cast<size_t>(j)]);
            std::fprintf(out, "\n");
        }
        if (o.iprint == 1) {
            std::fprintf(out, " POPULATION AT LOOP %d\n", loop);
            for (int i = 1; i <= npt; ++i) {
                std::fprintf(out, "%10.5lf ", xf[static_cast<size_t>(i)]);
                for (int j = 1; j <= std::min(nopt, 8); ++j)
                    std::fprintf(out, "%10.5lf ", x[static_cast<size_t>(i)][static_cast<size_t>(j)]);
                std::fprintf(out, "\n");
                for (int j = 9; j <= nopt; ++j)
                    std::fprintf(out, "%10.3lf ", x[static_cast<size_t>(i)][static_cast<size_t>(j)]);
            }
        }
        std::fflush(out);
    }

    void take_best() {
        o.bestx = x[1];
        o.bestf = xf[1];
    }

    int run() {
        FILE* out = o.output_open ? o.output_file.handle : nullptr;
        std::printf(" ENTER THE SCEUA SUBROUTINE --- \n");
        if (out) std::fprintf(out, "ENTER THE SHUFFLED COMPLEX EVOLUTION GLOBAL SEARCH\n");
        seed_sce_random(o.rng, o.iseed);
        std::printf(" ***  Evolution Loop Number %d\n", 0);
        npt = ngs * o.npg;
        if (o.maxn < npt) {
            std::printf("Error: maximum number of function calls is less than the number of points in "
                        "the initial population\n");
            std::printf("Increase the number of function calls to at least %d\n", npt);
            return -1;
        }
        bound.assign(static_cast<size_t>(nopt) + 1, 0.0);
        for (int j = 1; j <= nopt; ++j)
            bound[static_cast<size_t>(j)] = o.bu[static_cast<size_t>(j)] - o.bl[static_cast<size_t>(j)];
        xnstd.assign(static_cast<size_t>(nopt) + 1, 0.0);
        x.assign(static_cast<size_t>(npt) + 1, point());
        xf.assign(static_cast<size_t>(npt) + 1, 0.0);

        // Initial population: scored first, then logged with one running minimum.
        for (int i = 1; i <= npt; ++i) {
            x[static_cast<size_t>(i)] = (i == 1 && o.iniflg == 1) ? o.x0 : uniform_point();
            if (!score(x[static_cast<size_t>(i)], xf[static_cast<size_t>(i)])) return -1;
        }
        counter = 1;
        for (int i = 1; i <= npt; ++i) running_min = std::min(running_min, xf[static_cast<size_t>(i)]);
        for (int i = 1; i <= npt; ++i) {
            log_row(xf[static_cast<size_t>(i)]);
            log_point(x[static_cast<size_t>(i)]);
            ++counter;
        }
        sort_points(x, xf, npt);
        take_best();
        bool converged = parameter_spread();

        double criter[kCriterionSlots + 1] = {};
        if (counter < o.maxn && !converged) {
            for (int loop = 1;; ++loop) {
                std::printf(" ***  Evolution Loop Number %d\n", loop);
                for (int igs = 1; igs <= ngs; ++igs) {
                    if (!evolve_complex(igs)) return -1;
                }
                sort_points(x, xf, npt);
                take_best();
                const double worst = xf[static_cast<size_t>(npt)];
                converged = parameter_spread();
                write_loop(loop, worst);
                if (counter >= o.maxn) {
                    std::printf(" *** OPTIMIZATION SEARCH TERMINATED BECAUSE THE LIMIT ON THE\n");
                    std::printf(" MAXIMUM NUMBER OF TRIALS %d EXCEEDED.  SEARCH WAS STOPPED AT\n", o.maxn);
                    std::printf(" SUB-COMPLEX %d OF COMPLEX %d IN SHUFFLING LOOP %d ***\n", 0, ngs + 1, loop);
                    break;
                }
                criter[kCriterionSlots] = o.bestf;
                if (loop >= o.kstop + 1) {
                    const double earlier = criter[kCriterionSlots - o.kstop];
                    const double denominator = std::fabs(earlier + o.bestf) * 0.5;
                    // Both criteria 0: nothing changed.
                    const double change = denominator > 0.0 ? std::fabs(earlier - o.bestf) / denominator : 0.0;
                    if (o.pcento > change) {
                        if (out) {
                            std::fprintf(out, " *** OPTIMIZATION TERMINATED BECAUSE THE CRITERION VALUE HAS NOT\n");
                            std::fprintf(out, " CHANGED %5.2lf PERCENT IN %5d SHUFFLING LOOPS ***\n",
                                         o.pcento * 100.0, o.kstop);
                        }
                        break;
                    }
                }
                for (int k = 1; k < kCriterionSlots; ++k) criter[k] = criter[k + 1];
                if (converged) {
                    if (out) {
                        std::fprintf(out, " *** OPTIMIZATION TERMINATED BECAUSE THE POPULATION HAS CONVERGED INTO\n");
                        std::fprintf(out, "    %5.2lf PERCENT OF THE FEASIBLE SPACE ***\n", gnrng * 100.0);
                    }
                    break;
                }
                if (o.mings < ngs) {
                    ngs -= 1;
                    npt = o.npg * ngs;
                    shuffle_complexes();
                }
            }
        }
        if (out) {
            std::fprintf(out, " *** PRINT THE FINAL PARAMETER ESTIMATE AND ITS CRITERION VALUE ***\n");
            std::fprintf(out, "%lf ", o.bestf);
            for (int j = 1; j <= nopt; ++j) std::fprintf(out, "%le ", o.bestx[static_cast<size_t>(j)]);
            std::fprintf(out, "\n");
            std::fflush(out);
        }
        return counter;
    }
};

}  // namespace

int sceua(sce_optimizer& o, const sce_scorer& score) {
    if (!o.setup_ok) {
        std::printf("Error: unable to successufully setup SCE-UA. Unable to run.\n");
        return -1;
    }
    search s(o, score);
    return s.run();
}
