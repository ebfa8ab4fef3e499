// One run of the model, in process, for the whole-run benchmarks: from the
// project's folder and with the run's console lines sent to /dev/null, as
// they are not part of a report.
#pragma once
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "run/run_model.h"

// Runs `project` (a file name in `dir`) and comes back to the folder it was
// called from; `failed` tells whether the run stopped on an error. Returns
// the wall time of the run, s.
inline double run_quietly(const std::filesystem::path& dir, const char* project, bool& failed) {
    const std::filesystem::path start = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    std::fflush(stdout);
    const int console = dup(STDOUT_FILENO);
    const int sink = open("/dev/null", O_WRONLY);
    if (sink >= 0) dup2(sink, STDOUT_FILENO);
    const auto t0 = std::chrono::steady_clock::now();
    run_model(project, nullptr);
    const double total =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    failed = last_run_failed();
    std::fflush(stdout);
    if (console >= 0) dup2(console, STDOUT_FILENO);
    if (sink >= 0) close(sink);
    if (console >= 0) close(console);
    std::filesystem::current_path(start);
    return total;
}
