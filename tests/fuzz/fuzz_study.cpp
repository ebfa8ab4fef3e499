// Fuzz harness of the study inputs: the input holds up to three parts
// separated by "%%" lines: a control file, the observation file "obs.txt"
// and the parameter list "params.txt" that it may name. The control file is
// read as an SCE input file (then searched with at most 40 trials of a
// cheap criterion in place of model runs) and as a Monte Carlo input file
// (then three trials with a cheap cost); the observation file is read on its
// own and scores a made-up run.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "calibration/calib_objective.h"
#include "calibration/montecarlo.h"
#include "calibration/sce_optimizer.h"
#include "core/error.h"
#include "fuzz_support.h"

namespace {

constexpr int kMaxTrials = 40;   // trials of the search per input

// A criterion with its minimum inside any box: the squared distance from 0.3.
double bowl(const std::vector<double>& x) {
    double sum = 0.0;
    for (size_t j = 1; j < x.size(); ++j) sum += (x[j] - 0.3) * (x[j] - 0.3);
    return sum;
}

void search(const std::string& path) {
    sce_optimizer o;
    open_sce_files(o, path.c_str());
    error_record = error_info{};
    if (!o.setup_ok) return;
    o.maxn = std::min(o.maxn, kMaxTrials);
    int trials = 0;
    sceua(o, [&trials](const std::vector<double>& x, double& criterion) {
        criterion = bowl(x);
        return ++trials <= kMaxTrials;
    });
}

void monte_carlo(const std::string& path) {
    montecarlo study(3, path.c_str(), 7u);
    error_record = error_info{};
    study.run_callback = [](const std::string&, const std::string&, const std::vector<double>& t,
                            calib_objective&, int, trial_status* status) {
        *status = trial_status::scored;
        return bowl(t);
    };
    study.run();
}

void observations(const std::string& path) {
    calib_objective o;
    if (o.read_observations(path) != 1) return;
    // A run that simulated every observed value a tenth too high.
    std::vector<double> peaks(static_cast<size_t>(o.num_obs) + 2, 0.0), volumes(peaks);
    for (int i = 1; i <= o.num_obs; ++i) {
        peaks[static_cast<size_t>(i)] = 1.1 * o.obs_peak[static_cast<size_t>(i)];
        volumes[static_cast<size_t>(i)] = 1.1 * o.obs_volume[static_cast<size_t>(i)];
    }
    o.evaluate(&peaks, &volumes, -1, 0, {}, true);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!pluvo_fuzz::begin_input(data, size, true)) return -1;
    const std::vector<std::string> parts = pluvo_fuzz::split_parts(data, size);
    const std::string control = pluvo_fuzz::write_input("study.in", parts[0]);
    const std::string obs = pluvo_fuzz::write_input("obs.txt", parts.size() > 1 ? parts[1] : std::string());
    pluvo_fuzz::write_input("params.txt", parts.size() > 2 ? parts[2] : std::string());
    search(control);
    error_record = error_info{};
    monte_carlo(control);
    error_record = error_info{};
    observations(obs);
    pluvo_fuzz::finish_input();
    return 0;
}
