// Monte Carlo and sensitivity studies: trials with parameter values drawn
// uniformly between bounds, each run scored, logged, and the best reported.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "calibration/calib_objective.h"
#include "calibration/calib_random.h"
#include "calibration/calibration.h"
#include "core/file_object.h"

struct run_options_t;

// The trial runner: (list path, project path, trial values [1..n], objective, n, status) -> cost.
using trial_fn = std::function<double(const std::string&, const std::string&, const std::vector<double>&,
                                      calib_objective&, int, trial_status*)>;

class montecarlo {
public:
    // Reads the input file; `seed` starts the 15-bit generator of the draws.
    montecarlo(int run_count, const char* input_path, std::uint32_t seed);
    virtual ~montecarlo();
    montecarlo(const montecarlo&) = delete;
    montecarlo& operator=(const montecarlo&) = delete;

    // Reads the Monte Carlo input file; true when it can be used (else the
    // message naming file and line is printed).
    virtual bool read_input(const char* path);
    // Draws one trial vector into trial[1..n].
    virtual void draw_parameters();

    // Runs the trials; 1 when they were made, 0 when the study could not run.
    int run();
    // Reports the best trial on the console and in "best.out".
    void write_best();

    int draw_enabled = 1;          // 1 when this process logs (part index 0)
    calib_objective objective;     // observations and scoring
    file_object log_file;          // trial log, opened at the first trial
    std::string project_path;      // project file of the model runs
    std::string param_list_path;   // replacement parameter-list file
    std::string obs_path;          // observation file
    int num_runs = 0;              // number of trials
    int completed_trials = 0;      // trials whose run ran to its end
    int num_params = 0;            // number of parameters n
    std::vector<double> lower, upper;   // bounds [1..n], parameter units
    int input_ok = 0;              // 1 when the input file was read
    int obs_ok = 0;                // 1 when the observations can score a run
    std::vector<double> trial;     // current trial [0..n], slot 0 is 0
    std::vector<double> best;      // best trial [1..n]
    double best_cost = 0.0;        // cost of the best trial, -
    trial_fn run_callback;         // the trial runner (calib_run_callback)
    std::vector<std::string> param_names;   // bracketed names of the parameter list, in order

private:
    void log_run(double cost);
    draw15 generator_;
};

// Seed of the draws: process index + calendar seconds, or the value of the
// environment variable PLUVO_STUDY_SEED when it is set (for repeatable studies).
std::uint32_t study_seed(int process_index);
