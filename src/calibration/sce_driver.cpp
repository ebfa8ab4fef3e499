// Driver of the SCE calibration mode (-c): set-up, observations, the search
// over model runs and the best parameter set.
#include <cmath>
#include <cstdio>

#include "calibration/calibration.h"
#include "calibration/sce_optimizer.h"
#include "core/file_object.h"
#include "core/run_options.h"

namespace {

constexpr int kStudyFailed = 1;   // exit status of a study that could not be made
constexpr char kSceOutput[] = "sce_output.out";

// Reads the observation file into the optimiser; false (with the messages) when unusable.
bool read_sce_observations(sce_optimizer& o) {
    o.objective = std::make_unique<calib_objective>();
    calib_objective& obj = *o.objective;
    const bool read = !o.obs_path.empty() && obj.read_observations(o.obs_path) == 1;
    if (!read) {
        std::printf("Error: unable to open the observation file for reading or problem while reading "
                    "it.\nAttempted to read file: %s\n",
                    o.obs_path.c_str());
        if (obj.failed_line > 0)
            std::printf("Error: observation file %s, line %d: %s.\n", o.obs_path.c_str(), obj.failed_line,
                        obj.failure.c_str());
        return false;
    }
    if (!obj.has_weighted_entry()) {
        std::printf("Error: observation file %s has no entry with a weight above 1e-6; there is nothing "
                    "to calibrate against.\n",
                    o.obs_path.c_str());
        return false;
    }
    return true;
}

void write_sce_best(const sce_optimizer& o, int runs) {
    file_object best;
    const bool open = open_file_named(best, "sce_best.out", "w");
    std::printf("The best results of the SCE calibration after %d runs:\n", runs);
    if (open) std::fprintf(best.handle, "The best results of the SCE calibration %d runs:\n", runs);
    for (int j = 1; j <= o.nopt; ++j) {
        const double v = o.bestx[static_cast<size_t>(j)];
        if (open) std::fprintf(best.handle, "%le\n", v);
        std::printf("%le\n", v);
    }
}

// The files of the study for the output checks of its trials: the three it
// reads and the ones it writes ("sce_output.out" before the first trial, the
// others, prefixed, once the trials have begun).
void register_sce_files(const sce_optimizer& o, std::vector<study_file>& inputs,
                        std::vector<study_file>& outputs) {
    const std::string named = " named in " + o.input_path;
    inputs = {{"the SCE input file", o.input_path},
              {"the parameter list" + named, o.param_list_path},
              {"the observation file" + named, o.obs_path}};
    outputs = {{"the SCE study", kSceOutput, false},    {"the SCE study", "sce_log_file.txt", true},
               {"the SCE study", "sce_best.out", true}, {"the SCE study", "results_all.out", true},
               {"the SCE study", "0_cost.out", true},   {"the SCE study", "0_obs.log", true}};
}

// The middle of each parameter's range [1..nopt]: trial values that every
// bound allows, for the check of the project before the first trial.
std::vector<double> middle_point(const sce_optimizer& o) {
    std::vector<double> x(static_cast<size_t>(o.nopt) + 1, 0.0);
    for (size_t j = 1; j < x.size(); ++j) x[j] = 0.5 * (o.bl[j] + o.bu[j]);
    return x;
}

}  // namespace

int run_sce_calibration(run_options_t& options, const char* input_path) {
    study_scope scope;
    input_guard_scope guard;   // the study's inputs are held until its end
    sce_optimizer o;
    open_sce_files(o, input_path);
    if (!o.setup_ok && o.project_path.empty()) {
        return kStudyFailed;   // the input file could not be opened or read: its message is out
    }
    if (!read_sce_observations(o)) return kStudyFailed;
    if (o.setup_ok && !check_param_list(o.param_list_path, o.nopt))
        return kStudyFailed;
    std::vector<study_file> inputs, outputs;
    register_sce_files(o, inputs, outputs);
    study_files_scope files(inputs, outputs);
    if (o.setup_ok && !check_study_trial(o.param_list_path, o.project_path, middle_point(o), o.nopt))
        return kStudyFailed;
    if (o.setup_ok && !open_sce_output(o, kSceOutput)) return kStudyFailed;

    const int process = options.process_index;
    int completed = 0;   // trials whose run ran to its end
    auto score = [&o, &completed, process](const std::vector<double>& x, double& criterion) {
        trial_status status = trial_status::scored;
        const double cost = calib_run_callback(o.param_list_path, o.project_path, x, *o.objective, o.nopt, &status);
        if (status == trial_status::list_failed) return false;
        if (status == trial_status::scored) ++completed;
        o.objective->finish(process);
        criterion = std::fabs(cost);
        return true;
    };
    const int runs = sceua(o, score);
    if (runs <= 0) {
        std::printf("Error: unable to successfully run the SCE method\n");
        return kStudyFailed;
    }
    if (completed == 0) {
        std::printf("Error: none of the %d trials of the SCE calibration ran to its end (each run of "
                    "project file %s stopped on an error or before its last event: see the messages "
                    "above and the trials' summary files); no best parameter set is written.\n",
                    runs - 1, o.project_path.c_str());
        return kStudyFailed;
    }
    write_sce_best(o, runs);
    return 0;
}
