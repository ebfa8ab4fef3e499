// Observation file, the six measures of a run and the three result files.
#include "calibration/calib_objective.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "core/error.h"
#include "core/file_object.h"
#include "core/text.h"

namespace {

constexpr double kWeightFloor = 1e-6;     // a weight above this counts, -
constexpr double kNegative = -1e-16;      // a simulated value below this is missing
constexpr double kDry = 1e-16;            // largest observed value treated as zero
constexpr int kObservedDataFormat = 135;  // catalogue: observed data file improperly formatted

bool weighted(double w) { return w > kWeightFloor; }

// Simulated value of entry i; an entry beyond the array is missing (-1).
double sim_at(const std::vector<double>& a, int i) {
    return i >= 0 && i < static_cast<int>(a.size()) ? a[static_cast<size_t>(i)] : -1.0;
}
bool negative(double v) { return v < kNegative; }

// Golden-section ratios of the exponent search.
constexpr double kGoldenLow = 0.381966012;
constexpr double kGoldenHigh = 0.618033988;

}  // namespace

bool output_file_exists(const char* name) {
    char path[1024];
    if (!planned_path(name, "a", path)) return false;
    struct stat info {};
    return ::stat(path, &info) == 0;
}

int calib_objective::read_observations(const std::string& path) {
    failed_line = 0;
    failure.clear();
    file_object f;
    if (!open_file_named(f, path.c_str(), "r")) {
        failure = "cannot be opened";
        return -1;
    }
    text_line line;
    char token[kTokenSize];
    int n = 0;
    if (!read_line(line, f) || next_checked_int(line, n, token) != number_status::ok || n <= 0) {
        failed_line = 1;
        failure = "the first line must hold the number of entries, a whole number above 0";
        return -1;
    }
    // Grown as the entries are read: a count beyond the file ends at its end.
    // num_obs counts the entries held, so that nothing walks past them even
    // after a failed read.
    num_obs = 0;
    obs_peak.assign(1, 0.0);
    obs_volume.assign(1, 0.0);
    peak_weight.assign(1, 0.0);
    volume_weight.assign(1, 0.0);
    for (int i = 1; i <= n; ++i) {
        if (!read_line(line, f)) {
            failed_line = i + 1;
            failure = "the file ends before entry " + std::to_string(i) + " of " + std::to_string(n);
            return -1;
        }
        double v[4];
        for (int k = 0; k < 4; ++k) {
            const number_status s = next_checked_double(line, v[k], token);
            if (s != number_status::ok) {
                failed_line = i + 1;
                failure = "number " + std::to_string(k + 1) + " of four (peak, weight, volume, weight) " +
                          number_status_words(s);
                error_record.code = kObservedDataFormat;
                return -1;
            }
        }
        obs_peak.push_back(v[0]);
        peak_weight.push_back(v[1]);
        obs_volume.push_back(v[2]);
        volume_weight.push_back(v[3]);
        num_obs = i;
    }
    return 1;
}

bool calib_objective::has_weighted_entry() const {
    for (int i = 1; i <= num_obs; ++i) {
        if (weighted(peak_weight[static_cast<size_t>(i)]) || weighted(volume_weight[static_cast<size_t>(i)]))
            return true;
    }
    return false;
}

double calib_objective::ratio() {
    double peak = -1.0, volume = -1.0;
    for (int i = 1; i <= num_obs; ++i) {
        peak = std::max(peak, obs_peak[static_cast<size_t>(i)]);
        volume = std::max(volume, obs_volume[static_cast<size_t>(i)]);
    }
    // All-zero (or no) volumes would divide by zero: the volumes then count as they stand.
    peak_volume_ratio = volume > kDry ? peak / volume : 1.0;
    return peak_volume_ratio;
}

double hmle_exponent(const std::vector<double>& o, const std::vector<double>& e, double mean_log) {
    const size_t m = o.size();
    const bool no_scale = std::fabs(mean_log) < 1e-300;
    // g(lambda): the weighted sum of squared errors over its log-weighted
    // sum, minus 1. With a mean log of 0 the same roots come from
    // sum w e^2 (ln o - L), which needs no division by L.
    auto g = [&](double lambda) {
        double plain = 0.0, logged = 0.0;
        for (size_t k = 0; k < m; ++k) {
            const double w = std::pow(o[k], 2.0 * (lambda - 1.0));
            const double we2 = w * e[k] * e[k];
            if (no_scale) {
                logged += we2 * (std::log(o[k]) - mean_log);
            } else {
                plain += we2;
                logged += we2 * std::log(o[k]) / mean_log;
            }
        }
        if (no_scale) return logged;
        if (logged == 0.0) return HUGE_VAL;   // no root can lie here
        return plain / logged - 1.0;
    };
    double a = 0.1, b = 3.0;
    double c = a + kGoldenLow * (b - a);
    double d = a + kGoldenHigh * (b - a);
    const double ga = std::fabs(g(a)), gb = std::fabs(g(b));
    double gc = std::fabs(g(c)), gd = std::fabs(g(d));
    double best = a, best_g = ga;
    if (gc < best_g) best = c, best_g = gc;
    if (gd < best_g) best = d, best_g = gd;
    if (gb < best_g) best = b, best_g = gb;
    double width = b - a;
    while (width > 1e-6) {
        if (gc > gd) {
            a = c;
            c = d;
            gc = gd;
            width = b - a;
            d = a + kGoldenHigh * width;
            gd = std::fabs(g(d));
            if (gd < best_g) best = d, best_g = gd;
        } else {
            b = d;
            d = c;
            gd = gc;
            width = b - a;
            c = a + kGoldenLow * width;
            gc = std::fabs(g(c));
            if (gc < best_g) best = c, best_g = gc;
        }
    }
    return best;
}

double calib_objective::hmle_cost(const std::vector<double>* sim_peaks,
                                  const std::vector<double>* sim_volumes) {
    ratio();
    if (sim_peaks == nullptr || sim_volumes == nullptr) return kFailedCost;
    int count = 0;
    for (int i = 1; i <= num_obs; ++i) {
        if (weighted(peak_weight[static_cast<size_t>(i)])) {
            if (negative(sim_at(*sim_peaks, i))) return kFailedCost;
            ++count;
        }
        if (weighted(volume_weight[static_cast<size_t>(i)])) {
            if (negative(sim_at(*sim_volumes, i))) return kFailedCost;
            ++count;
        }
    }
    if (num_obs == 0 || count == 0) return -1.0;
    // Weighted peaks with a positive observation (a logarithm needs one).
    std::vector<double> o, e;
    for (int i = 1; i <= num_obs; ++i) {
        const double obs = obs_peak[static_cast<size_t>(i)];
        if (!weighted(peak_weight[static_cast<size_t>(i)]) || obs <= 0.0) continue;
        o.push_back(obs);
        e.push_back(obs - sim_at(*sim_peaks, i));
    }
    if (o.empty()) return -1.0;
    const double m = static_cast<double>(o.size());
    double mean_log = 0.0;
    for (double v : o) mean_log += std::log(v);
    mean_log /= m;
    bool exact = true;
    for (double v : e) exact = exact && v == 0.0;
    if (exact) return 0.0;
    const double lambda = hmle_exponent(o, e, mean_log);
    double sum = 0.0;
    for (size_t k = 0; k < o.size(); ++k) sum += std::pow(o[k], 2.0 * (lambda - 1.0)) * e[k] * e[k];
    return sum / m / std::exp(2.0 * (lambda - 1.0) * mean_log);
}

double calib_objective::rmse(const std::vector<double>* sim_peaks, const std::vector<double>* sim_volumes) {
    const double r = ratio();
    if (sim_peaks == nullptr || sim_volumes == nullptr) return kFailedCost;
    // The root of the sum of squares, not divided by the number of terms.
    double sum = 0.0;
    for (int i = 1; i <= num_obs; ++i) {
        const double p = sim_at(*sim_peaks, i), v = sim_at(*sim_volumes, i);
        if (negative(p)) return kFailedCost;
        if (weighted(peak_weight[static_cast<size_t>(i)])) {
            const double d = p - obs_peak[static_cast<size_t>(i)];
            sum += d * d;
        }
        if (negative(v)) return kFailedCost;
        if (weighted(volume_weight[static_cast<size_t>(i)])) {
            const double d = (v - obs_volume[static_cast<size_t>(i)]) * r;
            sum += d * d;
        }
    }
    return std::sqrt(sum);
}

double calib_objective::log_error(const std::vector<double>* sim_peaks,
                                  const std::vector<double>* sim_volumes) {
    const double r = ratio();
    if (sim_peaks == nullptr || sim_volumes == nullptr) return kFailedCost;
    double sum = 0.0;
    for (int i = 1; i <= num_obs; ++i) {
        const double p = sim_at(*sim_peaks, i), v = sim_at(*sim_volumes, i);
        if (negative(p)) return kFailedCost;
        if (weighted(peak_weight[static_cast<size_t>(i)])) {
            const double o = obs_peak[static_cast<size_t>(i)];
            if (p <= 0.0 || o <= 0.0) return kFailedCost;   // ln of 0 or less
            sum += std::fabs(std::log(p) - std::log(o));
        }
        if (negative(v)) return kFailedCost;
        if (weighted(volume_weight[static_cast<size_t>(i)])) {
            const double o = obs_volume[static_cast<size_t>(i)];
            if (v <= 0.0 || o <= 0.0 || r <= 0.0) return kFailedCost;
            sum += std::fabs(std::log(v * r) - std::log(r * o));
        }
    }
    return sum;
}

double calib_objective::largest_peak(const std::vector<double>* sim_peaks) {
    ratio();
    if (sim_peaks == nullptr) return kNoMaximum;
    double best = kNoMaximum;
    for (int i = 1; i <= num_obs; ++i) {
        const double p = sim_at(*sim_peaks, i);
        if (negative(p)) break;
        if (weighted(peak_weight[static_cast<size_t>(i)]) && p > best) best = p;
    }
    return best;
}

double calib_objective::largest_volume(const std::vector<double>* sim_volumes) {
    ratio();
    if (sim_volumes == nullptr) return kNoMaximum;
    double best = kNoMaximum;
    for (int i = 1; i <= num_obs; ++i) {
        const double v = sim_at(*sim_volumes, i);
        if (negative(v)) break;
        if (weighted(volume_weight[static_cast<size_t>(i)]) && v > best) best = v;
    }
    return best;
}

double calib_objective::weighted_cost(const std::vector<double>* sim_peaks,
                                     const std::vector<double>* sim_volumes, int file_index) {
    if (sim_peaks == nullptr || sim_volumes == nullptr) return kFailedCost;
    file_object f;
    if (file_index >= 0) {
        char name[64];
        std::snprintf(name, sizeof name, "%d_cost.out", file_index);
        open_file_named(f, name, "a");
    }
    FILE* out = f.handle;
    double total = 0.0;
    int points = 0;
    for (int i = 1; i <= num_obs; ++i) {
        const size_t k = static_cast<size_t>(i);
        if (weighted(peak_weight[k])) {
            const double p = sim_at(*sim_peaks, i);
            if (negative(p)) return kFailedCost;   // f closes on the way out
            const double diff = p - obs_peak[k];
            if (out) std::fprintf(out, "p:%lf, %lf  ", p, diff);
            const double term = obs_peak[k] > kDry ? diff / obs_peak[k] : diff;
            total += std::fabs(term * peak_weight[k]);
            ++points;
        }
        if (weighted(volume_weight[k])) {
            const double v = sim_at(*sim_volumes, i);
            if (negative(v)) return kFailedCost;
            const double diff = v - obs_volume[k];
            if (out) std::fprintf(out, "v:%lf, %lf  \n", v, diff);
            const double term = obs_volume[k] > 0.0 ? diff / obs_volume[k] : diff;
            total += std::fabs(term * volume_weight[k]);
            ++points;
        }
    }
    if (num_obs == 0 || points == 0) return -1.0;
    if (out) {
        std::fprintf(out, "Total Points: %d\n", points);
        std::fprintf(out, "cost: %lf\n", total);
        std::fprintf(out, "%s\n", std::string(79, '-').c_str());
    }
    return total;
}

void calib_objective::write_obs_log(const std::vector<double>* sim_peaks,
                                    const std::vector<double>* sim_volumes, int file_index) const {
    char name[64];
    std::snprintf(name, sizeof name, "%d_obs.log", file_index);
    file_object f;
    if (!open_file_named(f, name, "a")) return;
    std::fprintf(f.handle, "%s\n", std::string(55, '-').c_str());
    std::fprintf(f.handle, "Event\tWeight\tObs Peak   \tSim Peak    \tDiff        \tWeight\tObs Vol     "
                           "\tSim Vol     \tDiff\n");
    static const std::vector<double> kNone;
    const std::vector<double>& sp = sim_peaks ? *sim_peaks : kNone;
    const std::vector<double>& sv = sim_volumes ? *sim_volumes : kNone;
    for (int i = 1; i <= num_obs; ++i) {
        const size_t k = static_cast<size_t>(i);
        const double p = sim_at(sp, i), v = sim_at(sv, i);
        std::fprintf(f.handle,
                     "%-5d\t%-6.2lf\t%-12.2lf\t%-12.2lf\t%-12.2lf\t%-6.2lf\t%-12.2lf\t%-12.2lf\t%-12.2lf\n",
                     i, peak_weight[k], obs_peak[k], p, obs_peak[k] - p, volume_weight[k], obs_volume[k], v,
                     obs_volume[k] - v);
    }
    std::fprintf(f.handle, "\n\n");
}

double calib_objective::evaluate(const std::vector<double>* sim_peaks,
                                 const std::vector<double>* sim_volumes, int file_index,
                                 int param_count, const std::vector<double>& params, bool complete) {
    hmle = hmle_cost(sim_peaks, sim_volumes);
    rmse_value = rmse(sim_peaks, sim_volumes);
    cost = weighted_cost(sim_peaks, sim_volumes, file_index);
    max_peak = largest_peak(sim_peaks);
    max_volume = largest_volume(sim_volumes);
    log_error_value = log_error(sim_peaks, sim_volumes);
    // A run that stopped early (or a measure that is not a number) ranks last.
    if (!complete || !std::isfinite(cost)) cost = kFailedCost;
    if (!std::isfinite(hmle)) hmle = kFailedCost;
    if (!std::isfinite(rmse_value)) rmse_value = kFailedCost;
    if (!std::isfinite(log_error_value)) log_error_value = kFailedCost;

    scored_run run;
    run.cost = cost;
    run.hmle = hmle;
    run.rmse = rmse_value;
    run.log_error = log_error_value;
    run.max_peak = max_peak;
    run.max_volume = max_volume;
    run.params.assign(static_cast<size_t>(param_count) + 1, 0.0);
    for (int j = 1; j <= param_count && j < static_cast<int>(params.size()); ++j)
        run.params[static_cast<size_t>(j)] = params[static_cast<size_t>(j)];
    run_list.push_back(std::move(run));
    if (file_index >= 0) write_obs_log(sim_peaks, sim_volumes, file_index);
    return cost;
}

void calib_objective::finish(int process_index) {
    if (process_index == 0 && !run_list.empty()) {
        const char* name = "results_all.out";
        const bool existed = output_file_exists(name);
        file_object f;
        if (open_file_named(f, name, "a")) {
            if (!existed)
                std::fprintf(f.handle, "--Cost--\t----HMLE----\t----RMSE----\t-Log Error--\t--Max Peak--\t"
                                       "--Max Vol---\t: params\n");
            for (const scored_run& r : run_list) {
                std::fprintf(f.handle, "%-8.2lf\t%-12.4lf\t%-12.2lf\t%-12.6lf\t%-12.2lf\t%-12.2lf\t: ", r.cost,
                             r.hmle, r.rmse, r.log_error, r.max_peak, r.max_volume);
                for (size_t j = 1; j < r.params.size(); ++j) std::fprintf(f.handle, "%-6.4lf  ", r.params[j]);
                std::fprintf(f.handle, "\n");
            }
        }
    }
    run_list.clear();
}
