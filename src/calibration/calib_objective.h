// Observed event peaks and volumes and the measures that score one finished
// model run against them: HMLE, RMSE, log error, the largest simulated peak
// and volume, and the weighted cost that the studies minimise. After each
// scored trial the run is appended to "%d_cost.out", "%d_obs.log" and, at
// finish, "results_all.out". Peaks are in the run's discharge units (m3/s,
// or ft3/s for English reports), volumes in m3 (ft3).
#pragma once
#include <string>
#include <vector>

// Cost given to a trial that produced no usable result (missing or negative
// simulated values, a run that stopped early, a cost that is not finite).
constexpr double kFailedCost = 999999.99;
// Value of the maxima when no simulated array is given.
constexpr double kNoMaximum = -99999.999;

// One scored trial, kept until finish().
struct scored_run {
    double cost = 0.0;        // weighted cost, -
    double hmle = 0.0;        // HMLE, (discharge units)^2
    double rmse = 0.0;        // RMSE: root of the summed squared differences (not divided by their number), discharge units
    double log_error = 0.0;   // sum of absolute log differences, -
    double max_peak = 0.0;    // largest weighted simulated peak, discharge units
    double max_volume = 0.0;  // largest weighted simulated volume, volume units
    std::vector<double> params;   // trial values, [1..count] (slot 0 unused)
};

class calib_objective {
public:
    // Measures of the last evaluated run.
    double hmle = 0.0;
    double rmse_value = 0.0;
    double log_error_value = 0.0;
    double max_peak = 0.0;
    double max_volume = 0.0;
    double cost = 0.0;

    // Observations, entries 1..num_obs (slot 0 unused).
    std::vector<double> obs_peak;        // observed peak, discharge units
    std::vector<double> obs_volume;      // observed volume, volume units
    std::vector<double> peak_weight;     // weight of the peak, -
    std::vector<double> volume_weight;   // weight of the volume, -
    int num_obs = 0;
    double peak_volume_ratio = 1.0;      // largest observed peak / largest observed volume, 1/time units
    std::vector<scored_run> run_list;    // trials scored since the last finish()
    // After a failed read: the line (from 1) and the reason, for the messages.
    int failed_line = 0;
    std::string failure;

    // Reads the observation file: 1 on success, -1 on failure. A data line
    // without four finite numbers also sets error code 135.
    int read_observations(const std::string& path);
    // True when at least one peak or volume carries a weight above 1e-6.
    bool has_weighted_entry() const;

    // Scores a run. `sim_peaks` and `sim_volumes` are the calibration
    // record's arrays (entries from 1; an entry beyond them is missing);
    // `complete` is false when the run stopped on an error or before its last
    // event, which scores kFailedCost. Returns the weighted cost.
    double evaluate(const std::vector<double>* sim_peaks, const std::vector<double>* sim_volumes,
                    int file_index, int param_count, const std::vector<double>& params,
                    bool complete = true);
    // Appends the trials scored since the last call to "results_all.out"
    // (process 0 only) and forgets them.
    void finish(int process_index);

    // The measures on their own (null arrays: kFailedCost, maxima kNoMaximum).
    double ratio();   // recomputes peak_volume_ratio and returns it
    double hmle_cost(const std::vector<double>* sim_peaks, const std::vector<double>* sim_volumes);
    double rmse(const std::vector<double>* sim_peaks, const std::vector<double>* sim_volumes);
    double log_error(const std::vector<double>* sim_peaks, const std::vector<double>* sim_volumes);
    double largest_peak(const std::vector<double>* sim_peaks);
    double largest_volume(const std::vector<double>* sim_volumes);
    // Writes the per-entry differences to "%d_cost.out" when `file_index` >= 0.
    double weighted_cost(const std::vector<double>* sim_peaks,
                         const std::vector<double>* sim_volumes, int file_index);
    void write_obs_log(const std::vector<double>* sim_peaks, const std::vector<double>* sim_volumes,
                       int file_index) const;
};

// Exponent of the HMLE: golden-section search on [0.1, 3] for the root of
// g(lambda) given the observed peaks o, their errors e and weights w
// (entries 0..m-1) and the mean log L of the observed peaks.
double hmle_exponent(const std::vector<double>& o, const std::vector<double>& e, double mean_log);

// True when a file of this name would be found for appending (the run-number
// prefix included); nothing is created or changed.
bool output_file_exists(const char* name);
