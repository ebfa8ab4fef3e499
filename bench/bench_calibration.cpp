// Benchmark of a Monte Carlo study of the bundled valley example: the
// example's Manning n is drawn in [0.03, 0.08] and each trial is scored
// against the example's own peak and volume. Reports the trials per second
// and the share of each trial spent outside the model run (replacement list,
// scoring, result files, logging), timed by wrapping run_model at link time
// (see bench/CMakeLists.txt).
//
// Usage: bench_calibration [trials]   (default 40)
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "calibration/montecarlo.h"
#include "core/run_options.h"
#include "run/run_model.h"

namespace {

using bench_clock = std::chrono::steady_clock;
double model_seconds = 0.0;   // wall time inside run_model, s
long model_runs = 0;

std::string read_text(const std::filesystem::path& p) {
    std::ifstream in(p);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

extern "C" int __real__Z9run_modelPKcP12calib_output(const char* project, calib_output* calib);
extern "C" int __wrap__Z9run_modelPKcP12calib_output(const char* project, calib_output* calib) {
    const auto t0 = bench_clock::now();
    const int code = __real__Z9run_modelPKcP12calib_output(project, calib);
    model_seconds += std::chrono::duration<double>(bench_clock::now() - t0).count();
    ++model_runs;
    return code;
}

int main(int argc, char** argv) {
    const int trials = argc > 1 ? std::atoi(argv[1]) : 40;
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("pluvo_bench_calib_" + std::to_string(getpid()));
    fs::create_directories(dir / "out");   // the example writes into out/
    for (const auto& e : fs::directory_iterator(PLUVO_EXAMPLES)) {
        if (e.is_regular_file()) fs::copy_file(e.path(), dir / e.path().filename());
    }
    const fs::path start = fs::current_path();
    fs::current_path(dir);

    // The example's own event is the observation.
    std::string project = read_text("example.prj");
    std::ofstream("reference.prj") << project << "OPTIMIZE optim.out\n";
    const int console = dup(STDOUT_FILENO);
    const int errors = dup(STDERR_FILENO);
    const int sink = open("/dev/null", O_WRONLY);
    std::fflush(stdout);
    dup2(sink, STDOUT_FILENO);
    dup2(sink, STDERR_FILENO);
    run_model("reference.prj", nullptr);
    double event = 0, peak = 0, volume = 0;
    std::istringstream(read_text("out/optim.out")) >> event >> peak >> volume;
    const auto at = project.find("MANNING_N 0.05");
    project.replace(at, 14, "MANNING_N [n]");
    std::ofstream("study.prj") << project;
    std::ofstream("params.txt") << "1\n[n] \"%8.6lf\"\n";
    std::ofstream("obs.txt") << "1\n" << peak << " 1 " << volume << " 1\n";
    std::ofstream("mc.in") << "study.prj\nparams.txt\nobs.txt\n1\n0.03 0.08\n";
    model_seconds = 0.0;
    model_runs = 0;

    const auto t0 = bench_clock::now();
    int status = 0;
    {
        montecarlo study(trials, "mc.in", 1234u);
        status = study.run();
        if (status == 1) study.write_best();
    }
    const double total = std::chrono::duration<double>(bench_clock::now() - t0).count();
    std::fflush(stdout);
    std::fflush(stderr);
    dup2(console, STDOUT_FILENO);
    dup2(errors, STDERR_FILENO);
    close(sink);
    close(console);
    close(errors);
    fs::current_path(start);
    fs::remove_all(dir);

    if (status != 1 || model_runs != trials) {
        std::printf("the study failed (%ld of %d runs made)\n", model_runs, trials);
        return 1;
    }
    std::printf("Monte Carlo study of the valley example: %d trials, %d thread(s)\n", trials,
                run_options.thread_count);
    std::printf("  observed peak %.3f m3/s, volume %.1f m3\n", peak, volume);
    std::printf("  wall time %.3f s, %.2f trials/s\n", total, trials / total);
    std::printf("  per trial: %.2f ms in the model run, %.3f ms outside it (%.2f %% of the trial)\n",
                1e3 * model_seconds / trials, 1e3 * (total - model_seconds) / trials,
                100.0 * (total - model_seconds) / total);
    return 0;
}
