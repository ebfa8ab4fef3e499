// One trial of a calibration or study: the replacement list filled with the
// trial values, one model run with a calibration record, and its score; the
// start-up sizing of the record and the run's end-of-run calibration line.
#include <cmath>
#include <cstdio>

#include "calibration/calib_objective.h"
#include "calibration/calibration.h"
#include "core/error.h"
#include "core/file_object.h"
#include "core/file_write.h"
#include "core/run_options.h"
#include "core/text.h"
#include "input/output_names.h"
#include "input/replace.h"
#include "run/run_model.h"
#include "run/run_state.h"

namespace {

constexpr double kCalibFt3 = 35.32;   // ft3 per m3 of the calibration lines

int list_length() {
    int n = 0;
    for (const replace_pair* p = replace_list; p != nullptr; p = p->next) ++n;
    return n;
}

// Reads the list and checks it: every parameter line a bracketed name and
// its format, and no more entries than trial values.
bool load_param_list(const std::string& path, int param_count) {
    int malformed = 0;
    if (read_replace_params(path.c_str(), &malformed) != 0) {
        std::printf("Error: the parameter list file %s could not be read; the study stops.\n", path.c_str());
        return false;
    }
    if (malformed > 0) {
        // A skipped line would leave its bracketed name without a value in every trial.
        std::printf("Error: parameter list file %s, line %d: a parameter line must hold a bracketed "
                    "name and its format in quotes, e.g. [n] \"%%8.6lf\"; the study stops.\n",
                    path.c_str(), malformed);
        return false;
    }
    const int entries = list_length();
    if (entries > param_count) {
        std::printf("Error: the parameter list file %s names %d parameters, but the study gives %d "
                    "trial values.\n",
                    path.c_str(), entries, param_count);
        return false;
    }
    return true;
}

}  // namespace

void alloc_calib_output(run_state& rs) {
    if (!rs.calibration_run) return;
    if (rs.optimize_sed && !rs.chan_sed.on) {
        // Without channel sediment the record would hold zeros for every trial.
        std::printf("Error: project file %s: the card optimize_sed asks for sediment calibration, which "
                    "needs channel sediment transport (soil_erosion with explicit channel routing).\n",
                    rs.project_file);
        set_error(kErrorPrinted);
        return;
    }
    if (rs.calib_output == nullptr) return;
    calib_output& r = *rs.calib_output;
    const int locations = rs.optimize_sed ? (rs.sed_locations_on ? rs.num_sed_locations : 0)
                                          : (rs.hyd_locations_on ? rs.num_hyd_locations : 0);
    // A uniform rain is one event; its run counts no precipitation file.
    r.num_events = rs.uniform_rain && rs.num_events < 1 ? 1 : rs.num_events;
    r.stride = 1 + locations;
    const size_t flat = static_cast<size_t>(r.stride) * static_cast<size_t>(r.num_events > 0 ? r.num_events : 0) + 2;
    r.peaks.assign(flat, 0.0);
    r.volumes.assign(flat, 0.0);
    r.location_peak.assign(static_cast<size_t>(r.stride) + 1, 0.0);
    r.location_volume.assign(static_cast<size_t>(r.stride) + 1, 0.0);
    r.events_finished = 0;
    r.run_completed = 0;
}

void write_calibration_total(run_state& rs) {
    if (!rs.calibration_run) return;
    // Sediment calibration totals the wash load through the outlet, m3 unscaled;
    // otherwise the discharge volume, m3 (ft3 in English units).
    const double total = rs.optimize_sed ? rs.chan_sed.wash_outlet_run
                                         : rs.vol_discharge * (rs.english_units ? kCalibFt3 : 1.0);
    file_printf(rs.optimization_file, "%d %13lf\n", rs.event_index + 1, total);
    if (rs.optimization_file.is_open()) close_file_object(rs.optimization_file);
    if (rs.calib_output != nullptr) {
        rs.calib_output->events_finished = rs.events_finished;
        rs.calib_output->run_completed = 1;
    }
}

bool check_param_list(const std::string& param_list_path, int param_count, std::vector<std::string>* names) {
    const bool ok = load_param_list(param_list_path, param_count);
    if (names != nullptr) {
        names->clear();
        for (const replace_pair* p = replace_list; p != nullptr; p = p->next) names->push_back(p->token);
    }
    free_replace_params();
    return ok;
}

namespace {

// Prefixing on, the list rebuilt and the trial values written into it; false
// when the list cannot be used.
bool prepare_trial(const std::string& param_list_path, const std::vector<double>& params, int param_count) {
    prefix_run_number = 1;
    run_number = run_options.process_index;
    if (!load_param_list(param_list_path, param_count)) return false;
    int k = 1;
    for (replace_pair* p = replace_list; p != nullptr; p = p->next, ++k) {
        const double v = k < static_cast<int>(params.size()) ? params[static_cast<size_t>(k)] : 0.0;
        p->real_value = v;
        p->int_value = static_cast<int>(std::lround(v));
    }
    replace_active = 1;
    set_line_filter(&replace_line_filter);
    return true;
}

}  // namespace

double calib_run_callback(const std::string& param_list_path, const std::string& project_path,
                          const std::vector<double>& params, calib_objective& objective,
                          int param_count, trial_status* status) {
    if (status) *status = trial_status::scored;
    if (!prepare_trial(param_list_path, params, param_count)) {
        if (status) *status = trial_status::list_failed;
        return kFailedCost;
    }
    calib_output record;
    run_model(project_path.c_str(), &record);
    const bool complete =
        !last_run_failed() && record.run_completed && record.events_finished >= record.num_events;
    if (!complete && status) *status = trial_status::run_failed;
    return objective.evaluate(&record.peaks, &record.volumes, run_options.process_index, param_count, params,
                              complete);
}

bool check_study_trial(const std::string& param_list_path, const std::string& project_path,
                       const std::vector<double>& params, int param_count) {
    const int prefix = prefix_run_number, number = run_number, active = replace_active;
    bool ok = prepare_trial(param_list_path, params, param_count);
    if (ok && !check_trial_files(project_path.c_str())) {
        std::printf("Error: the project file %s of the study cannot be run (see above); the study "
                    "stops before its first trial.\n",
                    project_path.c_str());
        ok = false;
    }
    // The study's own files opened before its first trial carry no prefix.
    prefix_run_number = prefix;
    run_number = number;
    replace_active = active;
    free_replace_params();
    return ok;
}

study_files_scope::study_files_scope(const std::vector<study_file>& inputs,
                                     const std::vector<study_file>& outputs) {
    set_study_files(inputs, outputs);
}

study_files_scope::~study_files_scope() { clear_study_files(); }

study_scope::study_scope()
    : prefix_(prefix_run_number), run_number_(run_number), replace_active_(replace_active) {}

study_scope::~study_scope() {
    prefix_run_number = prefix_;
    run_number = run_number_;
    replace_active = replace_active_;
    free_replace_params();
}
