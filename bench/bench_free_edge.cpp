// Benchmark of a whole run on the tilted plane users compare models on:
// 2000 x 2000 cells of 10 m falling 0.01 to the south, Manning n 0.05, 50 mm/h
// of rain for 1 h, 1 h simulated in 10 s steps by the default overland
// scheme (ADE; a third argument "explicit" runs OVERTYPE 1 instead), the
// whole south edge a free-outflow boundary of slope 0.01 (type 1), quiet.
//
// The run goes through the model library exactly as the program runs it. It
// reports the wall time of the run, of its overland steps and of its rain
// steps (the rates to the cells and their application), the face sweeps
// (sub-steps) per overland step and how many steps took one, two or more,
// the outflow over the edge at 1 h
// (the slope-boundary volume of the last step over its length; the
// kinematic wave gives a (i t)^(5/3) x width = 271 m3/s for a plane this long,
// which has not yet reached equilibrium at 1 h) and the water balance of the
// summary.
//
// Usage: bench_free_edge [threads [size [explicit]]]   (defaults: all processors, 2000, ADE)
#include <fcntl.h>
#include <omp.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "core/parallel.h"
#include "run/run_model.h"
#include "run/run_state.h"
#include "free_edge_plane.h"
#include "quiet_run.h"

namespace {

using bench_clock = std::chrono::steady_clock;

constexpr double kCell = kPlaneCell;   // m
constexpr double kSlope = kPlaneSlope; // m/m, towards the south
constexpr double kRainMmH = 50.0;      // mm/h
constexpr double kStep = 10.0;         // s

double overland_seconds = 0.0;   // wall time inside the overland step, s
long overland_calls = 0;
long sweeps = 0;                 // face sweeps of the run
long updates = 0;                // overland updates that routed water
double last_edge_flow = 0.0;     // slope-boundary outflow of the last update, m3/s
long steps_by_sweeps[4] = {0, 0, 0, 0};   // overland updates of 1, 2, 3 and more sweeps
double rain_seconds = 0.0;       // wall time inside the two rain steps, s

}  // namespace

extern "C" void __real__Z19distribute_rainfallR9run_state(run_state& rs);
extern "C" void __real__Z14apply_rainfallR9run_state(run_state& rs);

extern "C" void __wrap__Z19distribute_rainfallR9run_state(run_state& rs) {
    const auto t0 = bench_clock::now();
    __real__Z19distribute_rainfallR9run_state(rs);
    rain_seconds += std::chrono::duration<double>(bench_clock::now() - t0).count();
}

extern "C" void __wrap__Z14apply_rainfallR9run_state(run_state& rs) {
    const auto t0 = bench_clock::now();
    __real__Z14apply_rainfallR9run_state(rs);
    rain_seconds += std::chrono::duration<double>(bench_clock::now() - t0).count();
}

extern "C" void __real__Z14route_overlandR9run_state(run_state& rs);

extern "C" void __wrap__Z14route_overlandR9run_state(run_state& rs) {
    const double lost = rs.vol_slope_bc_loss;
    const long long swept = rs.ov_sweeps + rs.ade_substeps;
    const double last = rs.rain_last;
    const auto t0 = bench_clock::now();
    __real__Z14route_overlandR9run_state(rs);
    overland_seconds += std::chrono::duration<double>(bench_clock::now() - t0).count();
    ++overland_calls;
    if (rs.ov_sweeps + rs.ade_substeps != swept) {
        const long long made = rs.ov_sweeps + rs.ade_substeps - swept;
        ++updates;
        sweeps += made;
        ++steps_by_sweeps[made < 4 ? made - 1 : 3];
    }
    if (rs.rain_last != last) {
        const double dt = (rs.rain_last - last) * 86400.0;
        if (dt > 0.0) last_edge_flow = (rs.vol_slope_bc_loss - lost) / dt;
    }
}

namespace {

double number_after(const std::string& text, const std::string& label) {
    const size_t pos = text.rfind(label);
    if (pos == std::string::npos) return std::nan("");
    return std::strtod(text.c_str() + pos + label.size(), nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    wait_passively_by_default(argv);
    const int threads = argc >= 2 ? std::max(1, std::atoi(argv[1])) : omp_get_num_procs();
    const int size = argc >= 3 ? std::max(10, std::atoi(argv[2])) : 2000;
    const bool explicit_scheme = argc >= 4 && std::string(argv[3]) == "explicit";
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("pluvo_edge_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    free_edge_plane plane;
    plane.size = size;
    plane.threads = threads;
    plane.minutes = 60;
    plane.step = kStep;
    plane.rain_mm_h = kRainMmH;
    plane.explicit_scheme = explicit_scheme;
    write_free_edge_plane(dir, plane);

    bool failed = false;
    const double total = run_quietly(dir, "plane.prj", failed);

    std::ifstream sf(dir / "plane.sum");
    std::stringstream summary;
    summary << sf.rdbuf();
    std::filesystem::remove_all(dir);
    if (failed) {
        std::fprintf(stderr, "bench_free_edge: the model run failed\n");
        return 1;
    }
    const double in = number_after(summary.str(), "Mass input + original mass:");
    const double out = number_after(summary.str(), "Mass output + final mass:");
    const double rain = kRainMmH / 1000.0 / 3600.0;                      // m/s
    const double kinematic = std::sqrt(kSlope) / 0.05 * std::pow(rain * 3600.0, 5.0 / 3.0) *
                             size * kCell;                               // m3/s
    std::printf("free-edge plane: %d x %d cells of %.0f m, slope %.2f, 50 mm/h for 1 h, 1 h in "
                "%.0f s steps, %s scheme, %d threads\n",
                size, size, kCell, kSlope, kStep, explicit_scheme ? "explicit" : "ADE", threads);
    std::printf("  whole run (reading, writing included): %8.3f s\n", total);
    std::printf("  overland steps                       : %8.3f s (%ld calls)\n", overland_seconds,
                overland_calls);
    std::printf("  rain steps                           : %8.3f s\n", rain_seconds);
    std::printf("  sweeps per overland step             : %8.3f (%ld sweeps, %ld steps)\n",
                updates > 0 ? static_cast<double>(sweeps) / updates : 0.0, sweeps, updates);
    std::printf("  steps of 1, 2, 3, more sweeps        : %ld, %ld, %ld, %ld\n",
                steps_by_sweeps[0], steps_by_sweeps[1], steps_by_sweeps[2], steps_by_sweeps[3]);
    std::printf("  outflow over the edge at 1 h         : %8.3f m3/s (kinematic estimate %.1f)\n",
                last_edge_flow, kinematic);
    std::printf("  balance: in %.6f m3, out %.6f m3, relative %.3e\n", in, out,
                in > 0.0 ? (in - out) / in : 0.0);
    return 0;
}
