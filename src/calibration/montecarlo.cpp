// Monte Carlo (-m) and sensitivity (-s) studies.
#include "calibration/montecarlo.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "core/file_object.h"
#include "core/run_options.h"
#include "core/text.h"
#include "input/replace.h"

namespace {

constexpr int kStudyFailed = 1;          // exit status of a study that could not be made
constexpr int kSensitivityRuns = 500;    // trials of the sensitivity study
constexpr double kDrawRange = 32768.0;   // the draws are 0..32767

}  // namespace

std::uint32_t study_seed(int process_index) {
    const char* text = std::getenv("PLUVO_STUDY_SEED");
    int seed = 0;
    if (text != nullptr && parse_int_text(text, 0, INT_MAX, seed)) {
        return static_cast<std::uint32_t>(seed);
    }
    return static_cast<std::uint32_t>(process_index) + static_cast<std::uint32_t>(std::time(nullptr));
}

montecarlo::montecarlo(int run_count, const char* input_path, std::uint32_t seed)
    : num_runs(run_count), generator_(seed) {
    run_callback = calib_run_callback;
    draw_enabled = run_options.part_index == 0 ? 1 : 0;
    input_ok = read_input(input_path) ? 1 : 0;
    if (!input_ok) return;
    best.assign(static_cast<size_t>(num_params) + 1, 0.0);
    const int read = objective.read_observations(obs_path);
    if (read != 1) {
        std::printf("Error: unable to open the observation file for reading or problem while reading it.\n"
                    "Attempted to read file: %s\n",
                    obs_path.c_str());
        if (objective.failed_line > 0)
            std::printf("Error: observation file %s, line %d: %s.\n", obs_path.c_str(), objective.failed_line,
                        objective.failure.c_str());
    } else if (!objective.has_weighted_entry()) {
        std::printf("Error: observation file %s has no entry with a weight above 1e-6; there is nothing "
                    "to score the trials against.\n",
                    obs_path.c_str());
    } else {
        obs_ok = 1;
    }
}

montecarlo::~montecarlo() = default;

bool montecarlo::read_input(const char* path) {
    file_object f;
    if (!open_file_named(f, path, "r")) return false;
    text_line line;
    char word[kTokenSize];
    int number = 0;
    auto fail = [&](const char* what) {
        std::printf("Error: Monte Carlo input file %s, line %d: %s.\n", path, number, what);
        return false;
    };
    std::string* paths[] = {&project_path, &param_list_path, &obs_path};
    const char* names[] = {"the project file name is missing", "the parameter list file name is missing",
                           "the observation file name is missing"};
    for (int k = 0; k < 3; ++k) {
        ++number;
        if (!read_line(line, f) || !next_word(line, word)) return fail(names[k]);
        *paths[k] = word;
    }
    ++number;
    if (!read_line(line, f) || next_checked_int(line, num_params, word) != number_status::ok || num_params < 1)
        return fail("the number of parameters must be a whole number of 1 or more");
    // Grown as the bounds are read: a count beyond the file ends at its end.
    lower.assign(1, 0.0);
    upper.assign(1, 0.0);
    for (int j = 1; j <= num_params; ++j) {
        ++number;
        if (!read_line(line, f)) return fail("the file ends before every parameter has its bounds");
        double lo = 0.0;
        if (next_checked_double(line, lo, word) != number_status::ok)
            return fail("the lower bound is missing or not a finite number");
        // The rest: a second number is the upper bound; '#' or nothing fixes the value.
        char* rest = line.data();
        while (*rest == ' ' || *rest == '\t' || *rest == ',') ++rest;
        double hi = lo;
        if (*rest != '\0' && *rest != '#') {
            if (next_checked_double(line, hi, word) != number_status::ok)
                return fail("the upper bound is not a finite number (put '#' before a comment)");
            if (lo > hi) return fail("the lower bound is above the upper bound");
        }
        lower.push_back(lo);
        upper.push_back(hi);
    }
    trial.assign(static_cast<size_t>(num_params) + 1, 0.0);
    return true;
}

void montecarlo::draw_parameters() {
    for (int j = 1; j <= num_params; ++j) {
        const size_t k = static_cast<size_t>(j);
        const double r = generator_.next();
        trial[k] = lower[k] + (r / kDrawRange) * (upper[k] - lower[k]);
    }
}

void montecarlo::log_run(double cost) {
    if (!draw_enabled) return;
    if (!log_file.is_open()) {
        char name[64];
        std::snprintf(name, sizeof name, "log_file_p%d.log", 0);
        const bool existed = output_file_exists(name);
        if (!open_file_named(log_file, name, "a")) return;
        if (!existed) {
            std::fprintf(log_file.handle, "Cost  \t");
            // Each name once, in list order (the run has emptied the list itself).
            for (size_t i = 0; i < param_names.size(); ++i) {
                if (std::find(param_names.begin(), param_names.begin() + static_cast<long>(i), param_names[i]) ==
                    param_names.begin() + static_cast<long>(i))
                    std::fprintf(log_file.handle, "%s\t", param_names[i].c_str());
            }
            std::fprintf(log_file.handle, "\n");
        }
    }
    std::fprintf(log_file.handle, "%lf\t", cost);
    for (int j = 1; j <= num_params; ++j) std::fprintf(log_file.handle, "%le\t", trial[static_cast<size_t>(j)]);
    std::fprintf(log_file.handle, "\n");
    std::fflush(log_file.handle);
}

int montecarlo::run() {
    if (!input_ok) {
        std::printf("Error: unable to read the input monte carlo file.\n");
        return 0;
    }
    if (!obs_ok) return 0;
    if (!check_param_list(param_list_path, num_params, &param_names)) return 0;
    for (int i = 0; i < num_runs; ++i) {
        draw_parameters();
        trial_status status = trial_status::scored;
        const double cost = run_callback(param_list_path, project_path, trial, objective, num_params, &status);
        if (status == trial_status::list_failed) return 0;
        if (status == trial_status::scored) ++completed_trials;
        log_run(cost);
        if (i == 0 || std::fabs(best_cost) > std::fabs(cost)) {
            best_cost = cost;
            for (int j = 1; j <= num_params; ++j) best[static_cast<size_t>(j)] = trial[static_cast<size_t>(j)];
        }
        objective.finish(run_options.process_index);
    }
    return 1;
}

void montecarlo::write_best() {
    std::fflush(stdout);
    std::printf("\n\nBest objective function value: %lf\nParameters:\n ", best_cost);
    for (int j = 1; j <= num_params; ++j) std::printf("%lf ", best[static_cast<size_t>(j)]);
    std::printf("\n");
    file_object f;
    if (!open_file_named(f, "best.out", "w")) {
        std::printf("Warning: Unable to open the best.out file. Only printing results to stdout.\n");
        return;
    }
    std::fprintf(f.handle, "%lf:  ", best_cost);
    for (int j = 1; j <= num_params; ++j) std::fprintf(f.handle, "%le ", best[static_cast<size_t>(j)]);
    std::fprintf(f.handle, "\n");
}

namespace {

// The files of the study for the output checks of its trials (every output
// of the study is opened once the trials have begun, so it is prefixed).
void register_study_files(const montecarlo& study, const char* input_path, const char* kind,
                          std::vector<study_file>& inputs, std::vector<study_file>& outputs) {
    const std::string named = std::string(" named in ") + input_path;
    inputs = {{std::string("the ") + kind + " input file", input_path},
              {"the parameter list" + named, study.param_list_path},
              {"the observation file" + named, study.obs_path}};
    const std::string origin = std::string("the ") + kind;
    outputs.clear();
    for (const char* name : {"log_file_p0.log", "best.out", "results_all.out", "0_cost.out", "0_obs.log"})
        outputs.push_back({origin, name, true});
}

// The middle of each parameter's range [1..n], for the check of the project
// before the first trial.
std::vector<double> middle_point(const montecarlo& study) {
    std::vector<double> x(static_cast<size_t>(study.num_params) + 1, 0.0);
    for (size_t j = 1; j < x.size(); ++j) x[j] = 0.5 * (study.lower[j] + study.upper[j]);
    return x;
}

int run_study(run_options_t& options, int run_count, const char* input_path, const char* kind) {
    study_scope scope;
    input_guard_scope guard;   // the study's inputs are held until its end
    const int processes = options.process_count > 0 ? options.process_count : 1;
    montecarlo study(run_count / processes, input_path, study_seed(options.process_index));
    study.run_callback = calib_run_callback;
    std::vector<study_file> inputs, outputs;
    register_study_files(study, input_path, kind, inputs, outputs);
    study_files_scope files(inputs, outputs);
    if (study.input_ok && study.obs_ok &&
        !check_study_trial(study.param_list_path, study.project_path, middle_point(study), study.num_params))
        return kStudyFailed;
    if (study.run() != 1) return kStudyFailed;
    if (study.completed_trials == 0) {
        std::printf("Error: none of the %d trials of the %s ran to its end (each run of project file %s "
                    "stopped on an error or before its last event: see the messages above and the "
                    "trials' summary files); no best parameter set is written.\n",
                    study.num_runs, kind, study.project_path.c_str());
        return kStudyFailed;
    }
    study.write_best();
    return 0;
}

}  // namespace

int run_montecarlo(run_options_t& options, int run_count, const char* input_path) {
    return run_study(options, run_count, input_path, "Monte Carlo study");
}

int run_sensitivity(run_options_t& options, const char* input_path) {
    options.process_count = 1;
    return run_study(options, kSensitivityRuns, input_path, "sensitivity study");
}
