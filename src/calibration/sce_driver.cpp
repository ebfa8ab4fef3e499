// Driver of the SCE calibration mode (-c): set-up, observations, the search
// over model runs and the best parameter set.
#include <cmath>
#include <cstdio>

#include "calibration/calibration.h"
#include "calibration/sce_optimizer.h"
#include "core/run_options.h"

namespace {

constexpr int kStudyFailed = 1;   // exit status of a study that could not be made

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

}  // namespace

int run_sce_calibration(run_options_t& options, const char* input_path) {
    study_scope scope;
    sce_optimizer o;
    open_sce_files(o, input_path, "sce_output.out");
    if (!o.setup_ok && o.project_path.empty()) {
        return kStudyFailed;   // the input file could not be opened or read: its message is out
    }
    if (!read_sce_observations(o)) return kStudyFailed;
    if (o.setup_ok && !check_param_list(o.param_list_path, o.nopt))
        return kStudyFailed;

    const int process = options.process_index;
    auto score = [&o, process](const std::vector<double>& x, double& criterion) {
        trial_status status = trial_status::scored;
        const double cost = calib_run_callback(o.param_list_path, o.project_path, x, *o.objective, o.nopt, &status);
        if (status != trial_status::scored) return false;
        o.objective->finish(process);
        criterion = std::fabs(cost);
        return true;
    };
    const int runs = sceua(o, score);
    if (runs <= 0) {
        std::printf("Error: unable to successfully run the SCE method\n");
        return kStudyFailed;
    }
    write_sce_best(o, runs);
    return 0;
}
