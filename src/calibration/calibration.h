// Calibration and batch studies: the record a calibration run fills, the
// trial callback that turns trial values into a scored model run, and the
// drivers of the calibration modes.
#pragma once
#include <string>
#include <vector>

#include "input/output_names.h"

struct run_state;
struct run_options_t;
class calib_objective;

// Per-event peaks and volumes of a calibration run, filled by the run. The
// value of event e (from 1) at location m (0 the outlet, 1.. the listed
// hydrograph locations) is at index (e - 1) x stride + m + 1.
struct calib_output {
    int num_events = 0;                  // precipitation events of the run
    int stride = 0;                      // number of locations + 1
    std::vector<double> peaks;           // m3/s (ft3/s in English units), stride x events + 2 slots
    std::vector<double> volumes;         // m3 (ft3), same indexing
    std::vector<double> location_peak;   // current event's peak per location [0..stride], m3/s
    std::vector<double> location_volume; // current event's volume per location [0..stride], m3
    int events_finished = 0;             // events the run accounted for (set at its normal end)
    int run_completed = 0;               // 1 once the run reached its end-of-run summary
};

// Start-up step of a calibration run: sizes the record held in the run state.
// Sediment calibration (card optimize_sed) without channel sediment transport
// stops the run with a message naming the project.
void alloc_calib_output(run_state& rs);
// End-of-run calibration line: the run's simulated total (the outlet's wash
// load, m3, in sediment calibration; else the discharge volume) into the
// optimization output file (then flushed and closed), and the record marked
// complete.
void write_calibration_total(run_state& rs);

// Outcome of one trial.
enum class trial_status {
    scored,        // the run was made, ran to its end and was scored
    run_failed,    // the run stopped on an error or before its last event: scored 999999.99
    list_failed,   // the parameter list could not be used: the study must stop
};

// One trial: rebuilds the replacement list from `param_list_path`, writes
// params[1..param_count] into it, runs the project and scores the run with
// `objective` (trial files carry the run-number prefix). Returns the cost.
double calib_run_callback(const std::string& param_list_path, const std::string& project_path,
                          const std::vector<double>& params, calib_objective& objective,
                          int param_count, trial_status* status = nullptr);

// Checks before the first trial that the parameter list can be read and has
// no more entries than `param_count` trial values; prints the reason and
// returns false otherwise. `names` receives the bracketed names in list order.
bool check_param_list(const std::string& param_list_path, int param_count,
                      std::vector<std::string>* names = nullptr);

// Before the first trial: the parameter list read with the trial values
// `params` and the project checked as a trial would start it (read, options
// checked, every output name against every input, the study's files
// included), opening and appending nothing; prints the reason and returns
// false when a trial could not run.
bool check_study_trial(const std::string& param_list_path, const std::string& project_path,
                       const std::vector<double>& params, int param_count);

// The files of a study registered for the output checks of its runs while
// it lives (see set_study_files).
class study_files_scope {
public:
    study_files_scope(const std::vector<study_file>& inputs, const std::vector<study_file>& outputs);
    ~study_files_scope();
    study_files_scope(const study_files_scope&) = delete;
    study_files_scope& operator=(const study_files_scope&) = delete;
};

// Program-wide state a study changes (prefixing, replacement), put back as
// it was when the study ends.
class study_scope {
public:
    study_scope();
    ~study_scope();
    study_scope(const study_scope&) = delete;
    study_scope& operator=(const study_scope&) = delete;

private:
    int prefix_;
    int run_number_;
    int replace_active_;
};

// Drivers of the calibration modes; each returns the process exit status.
int run_sce_calibration(run_options_t& options, const char* input_path);
int run_montecarlo(run_options_t& options, int run_count, const char* input_path);
int run_sensitivity(run_options_t& options, const char* input_path);
