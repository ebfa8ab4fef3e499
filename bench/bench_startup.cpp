// Benchmark of the start-up of the program on large overland-only planes:
// the free-edge plane (free_edge_plane.h) of 1000 x 1000, 2000 x 2000 and
// 5000 x 5000 cells, default overland scheme, 10 min simulated in 10 s steps
// under 50 mm/h of rain.
//
// Each run is the pluvo binary in a child process of its own (so the peak
// resident memory of one size never mixes with another's), run as a user
// runs it. The set-up time is the program's own "total time to init" line
// (0.1 s resolution: the project read, the arrays made, the connectivity,
// slopes and initial state, up to the first step); the wall time is the whole
// run. The peak resident memory is the child's ru_maxrss (getrusage through
// wait4), printed per cell.
//
// With --vs OLD, the binary OLD runs on the same generated project, its runs
// interleaved with this build's (old, new, old, new, ...), so both see the
// same load; the outlet hydrographs of the two binaries must be identical and
// the benchmark says whether they are.
//
// Usage: bench_startup [--sizes 1000,2000,5000] [--threads 1,8] [--runs 1]
//                      [--minutes 10] [--vs OLD_BINARY] [--binary NEW_BINARY]
// Run the 5000 x 5000 case alone on the machine: it needs about 4-7 GiB.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "free_edge_plane.h"

#ifndef PLUVO_BINARY
#error "PLUVO_BINARY (path of the pluvo program) must be defined by the build"
#endif

namespace {

namespace fs = std::filesystem;

struct run_figures {
    bool ok = false;
    double init = NAN;        // the program's start-up time, s
    double wall = NAN;        // the whole run, s
    double peak_bytes = NAN;  // peak resident memory, bytes
};

std::string read_text(const fs::path& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

// Runs `binary` on plane.prj in `dir`, its console into console.txt.
run_figures run_program(const std::string& binary, const fs::path& dir) {
    run_figures r;
    const auto t0 = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid < 0) return r;
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0) _exit(127);
        const int out = open("console.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out >= 0) {
            dup2(out, STDOUT_FILENO);
            dup2(out, STDERR_FILENO);
        }
        // Set here so that the program need not execute itself again to set it.
        setenv("OMP_WAIT_POLICY", "PASSIVE", 0);
        execl(binary.c_str(), binary.c_str(), "plane.prj", static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    struct rusage usage {};
    if (wait4(pid, &status, 0, &usage) != pid) return r;
    r.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    r.peak_bytes = static_cast<double>(usage.ru_maxrss) * 1024.0;   // ru_maxrss is in KiB
    const std::string console = read_text(dir / "console.txt");
    const char* label = "total time to init(s):";
    const size_t pos = console.find(label);
    if (pos != std::string::npos) r.init = std::strtod(console.c_str() + pos + std::strlen(label), nullptr);
    r.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0 && pos != std::string::npos;
    return r;
}

std::vector<int> int_list(const char* text) {
    std::vector<int> values;
    std::stringstream s(text);
    std::string item;
    while (std::getline(s, item, ','))
        if (std::atoi(item.c_str()) > 0) values.push_back(std::atoi(item.c_str()));
    return values;
}

struct series {
    std::vector<run_figures> runs;
    double best(double run_figures::*m) const {
        double b = INFINITY;
        for (const run_figures& r : runs) b = std::min(b, r.*m);
        return b;
    }
    double worst(double run_figures::*m) const {
        double w = 0.0;
        for (const run_figures& r : runs) w = std::max(w, r.*m);
        return w;
    }
};

void print_series(const char* who, const series& s, double cells) {
    std::printf("    %-4s set-up %6.1f s (slowest %6.1f)  whole run %7.2f s (%7.2f)  peak %7.0f MiB "
                "= %5.1f B/cell\n",
                who, s.best(&run_figures::init), s.worst(&run_figures::init),
                s.best(&run_figures::wall), s.worst(&run_figures::wall),
                s.worst(&run_figures::peak_bytes) / 1048576.0,
                s.worst(&run_figures::peak_bytes) / cells);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<int> sizes = {1000, 2000, 5000};
    std::vector<int> thread_counts = {1, 8};
    int runs = 1;
    int minutes = 10;
    std::string old_binary;
    std::string new_binary = PLUVO_BINARY;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string flag = argv[i];
        if (flag == "--sizes") sizes = int_list(argv[i + 1]);
        else if (flag == "--threads") thread_counts = int_list(argv[i + 1]);
        else if (flag == "--runs") runs = std::max(1, std::atoi(argv[i + 1]));
        else if (flag == "--minutes") minutes = std::max(1, std::atoi(argv[i + 1]));
        else if (flag == "--vs") old_binary = argv[i + 1];
        else if (flag == "--binary") new_binary = argv[i + 1];
        else {
            std::fprintf(stderr, "bench_startup: unknown option %s\n", flag.c_str());
            return 2;
        }
    }
    const fs::path dir = fs::temp_directory_path() / ("pluvo_startup_" + std::to_string(getpid()));
    fs::create_directories(dir);
    std::printf("start-up of the free-edge plane (cells of %.0f m), %d min simulated in 10 s steps, "
                "default scheme; best (slowest) of %d run(s)%s\n",
                kPlaneCell, minutes, runs, old_binary.empty() ? "" : ", old and new interleaved");
    std::printf("  new: %s\n", new_binary.c_str());
    if (!old_binary.empty()) std::printf("  old: %s\n", old_binary.c_str());
    std::fflush(stdout);
    bool all_ok = true;
    for (int size : sizes) {
        const double cells = static_cast<double>(size) * size;
        free_edge_plane plane;
        plane.size = size;
        plane.minutes = minutes;
        plane.quiet = false;
        bool maps_written = false;
        for (int threads : thread_counts) {
            plane.threads = threads;
            write_free_edge_plane(dir, plane, maps_written);
            maps_written = true;
            series fresh, old;
            std::string fresh_otl, old_otl;
            for (int k = 0; k < runs; ++k) {
                if (!old_binary.empty()) {
                    old.runs.push_back(run_program(old_binary, dir));
                    old_otl = read_text(dir / "plane.otl");
                }
                fresh.runs.push_back(run_program(new_binary, dir));
                fresh_otl = read_text(dir / "plane.otl");
            }
            std::printf("  %d x %d = %.3g cells, %d thread%s\n", size, size, cells, threads,
                        threads > 1 ? "s" : "");
            bool ok = true;
            for (const run_figures& r : fresh.runs) ok = ok && r.ok;
            for (const run_figures& r : old.runs) ok = ok && r.ok;
            if (!ok) {
                std::printf("    a run failed (see %s)\n", (dir / "console.txt").c_str());
                all_ok = false;
                continue;
            }
            if (!old_binary.empty()) print_series("old", old, cells);
            print_series("new", fresh, cells);
            if (!old_binary.empty()) {
                std::printf("    set-up old/new %.2f x (best against best); outlet hydrographs %s\n",
                            old.best(&run_figures::init) / fresh.best(&run_figures::init),
                            old_otl == fresh_otl ? "identical" : "DIFFER");
                if (old_otl != fresh_otl) all_ok = false;
            }
            std::fflush(stdout);
        }
    }
    fs::remove_all(dir);
    return all_ok ? 0 : 1;
}
