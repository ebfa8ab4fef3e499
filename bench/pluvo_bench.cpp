// Benchmark of a whole model run with channel routing: the bundled valley
// example (two planes draining sideways into a channel, 50 mm/h for an hour,
// three hours simulated) on a grid refined by a factor, run by the model
// library exactly as the program runs it. Reports the wall time of the run and
// the shares spent in the overland step and in the channel routing step.
//
// The two steps are timed by wrapping them at link time (see
// bench/CMakeLists.txt): the run driver calls the wrappers below, which call
// the real steps, so the driver and the steps stay as they are.
//
// It runs the project with one thread and with `threads`, each `runs` times,
// and reports the best run of each; idle threads wait as in the program (see
// wait_passively_by_default).
//
// Usage: pluvo_bench [refine [threads [runs]]]   (defaults: 4, all processors, 3)
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
#include <string>

#include "core/parallel.h"
#include "run/run_model.h"
#include "run/run_state.h"
#include "quiet_run.h"

namespace {

using bench_clock = std::chrono::steady_clock;

struct step_timer {
    double seconds = 0.0;  // wall time inside the step, s
    long calls = 0;
};
step_timer overland_timer, channel_timer;
long channel_substeps = 0;  // routing sub-steps of the run
long channel_retries = 0;   // retried sub-steps of the run
int grid_cells = 0;

}  // namespace

// Link-time wrappers of the two steps (mangled names of route_overland(run_state&)
// and route_channels(run_state&)).
extern "C" void __real__Z14route_overlandR9run_state(run_state& rs);
extern "C" void __real__Z14route_channelsR9run_state(run_state& rs);

extern "C" void __wrap__Z14route_overlandR9run_state(run_state& rs) {
    const auto t0 = bench_clock::now();
    __real__Z14route_overlandR9run_state(rs);
    overland_timer.seconds += std::chrono::duration<double>(bench_clock::now() - t0).count();
    ++overland_timer.calls;
    grid_cells = rs.GNUM;
}

extern "C" void __wrap__Z14route_channelsR9run_state(run_state& rs) {
    const auto t0 = bench_clock::now();
    __real__Z14route_channelsR9run_state(rs);
    channel_timer.seconds += std::chrono::duration<double>(bench_clock::now() - t0).count();
    ++channel_timer.calls;
    channel_substeps = rs.chan_substeps;
    channel_retries = rs.chan_retries;
}

namespace {

// The valley of the example with every cell cut into refine x refine cells.
void write_valley(const std::filesystem::path& dir, int refine, int threads) {
    const int rows = 30 * refine, half = 8 * refine, cols = 2 * half + 1, mid = half + 1;
    const double cell = 10.0 / refine;                     // m
    const double side_slope = 0.01, valley_slope = 0.005;  // m/m
    auto header = [&](std::ofstream& f) {
        f << "north: " << rows * cell << "\nsouth: 0\neast: " << cols * cell
          << "\nwest: 0\nrows: " << rows << "\ncols: " << cols << "\n";
    };
    std::ofstream mask(dir / "mask.asc"), elev(dir / "elev.asc");
    header(mask);
    header(elev);
    char buf[64];
    for (int r = 1; r <= rows; ++r) {
        for (int c = 1; c <= cols; ++c) {
            const double ground =
                100.0 + valley_slope * cell * (rows - r) + side_slope * cell * std::abs(c - mid);
            std::snprintf(buf, sizeof buf, "%.6f", ground);
            mask << "1" << (c < cols ? " " : "\n");
            elev << buf << (c < cols ? " " : "\n");
        }
    }
    std::ofstream chan(dir / "valley.chn");
    chan << "PLUVO_CHAN\nALPHA 1.0\nBETA 1.0\nTHETA 1.0\nLINKS 1\nMAXNODES " << rows
         << "\nCONNECT 1 0 0\nLINK 1\nDX " << cell << "\nNODES " << rows + 1
         << "\nTRAPEZOID\nMANNINGS_N 0.035\n";
    for (int p = 1; p <= rows + 1; ++p) {
        std::snprintf(buf, sizeof buf, "%.6f", 99.0 + valley_slope * cell * (rows + 0.5 - p));
        chan << "NODE " << p << "\nELEV " << buf << "\n";
        if (p == 1) chan << "XSEC\nBOTTOM_WIDTH 2.0\nSIDE_SLOPE 1.0\nBANKFULL_DEPTH 1.0\n";
    }
    std::ofstream gst(dir / "valley.gst");
    gst << "GRIDSTREAMFILE\nSTREAMCELLS " << rows << "\n";
    for (int r = 1; r <= rows; ++r) gst << "NUMNODES 1\n";
    for (int r = 1; r <= rows; ++r)
        gst << "CELLIJ " << r << " " << mid << "\nLINKNODE 1 " << r << " 1.0\n";
    std::ofstream prj(dir / "bench.prj");
    prj << "PLUVOPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elev.asc\nGRIDSIZE " << cell
        << "\nROWS " << rows << "\nCOLS " << cols << "\nTOT_TIME 180\nTIMESTEP 5\nOUTROW " << rows
        << "\nOUTCOL " << mid << "\nOUTSLOPE " << valley_slope
        << "\nHYD_FREQ 1\nMAP_FREQ 180\nSTART_DATE 2020 6 1\nSTART_TIME 0 0\n"
        << "PRECIP_UNIF\nRAIN_INTENSITY 50\nRAIN_DURATION 60\nMANNING_N 0.05\nOVERTYPE "
           "1\nCHAN_EXPLIC\n"
        << "CHANNEL_INPUT valley.chn\nSTREAM_CELL valley.gst\nSUMMARY bench.sum\nOUTLET_HYDRO "
           "bench.otl\n"
        << "NUM_THREADS " << threads << "\nSUPER_QUIET\n";
}

struct run_figures {
    double total = 0.0;      // wall time of the run, s
    step_timer overland;
    step_timer channel;
    long substeps = 0;
    long retries = 0;
};

// One run of the project in `dir`; false when it failed.
bool run_once(const std::filesystem::path& dir, run_figures& f) {
    overland_timer = step_timer{};
    channel_timer = step_timer{};
    bool failed = false;
    f.total = run_quietly(dir, "bench.prj", failed);
    f.overland = overland_timer;
    f.channel = channel_timer;
    f.substeps = channel_substeps;
    f.retries = channel_retries;
    return !failed;
}

void print_figures(int threads, const run_figures& f) {
    std::printf("  %d thread%s\n", threads, threads == 1 ? "" : "s");
    std::printf("    whole run        : %8.3f s\n", f.total);
    std::printf("    overland step    : %8.3f s (%5.1f %%, %ld calls)\n", f.overland.seconds,
                100.0 * f.overland.seconds / f.total, f.overland.calls);
    std::printf("    channel routing  : %8.3f s (%5.1f %%, %ld calls, %ld sub-steps, %ld "
                "retried)\n",
                f.channel.seconds, 100.0 * f.channel.seconds / f.total, f.channel.calls,
                f.substeps, f.retries);
}

}  // namespace

int main(int argc, char** argv) {
    wait_passively_by_default(argv);
    const int refine = argc >= 2 ? std::max(1, std::atoi(argv[1])) : 4;
    const int many = argc >= 3 ? std::max(1, std::atoi(argv[2])) : omp_get_num_procs();
    const int runs = argc >= 4 ? std::max(1, std::atoi(argv[3])) : 3;
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("pluvo_bench_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    run_figures best[2];
    const int threads[2] = {1, many};
    bool ok = true;
    for (int t = 0; t < 2 && ok; ++t) {
        write_valley(dir, refine, threads[t]);
        for (int i = 0; i < runs && ok; ++i) {
            run_figures f;
            ok = run_once(dir, f);
            if (ok && (i == 0 || f.total < best[t].total)) best[t] = f;
        }
    }
    std::filesystem::remove_all(dir);
    if (!ok) {
        std::fprintf(stderr, "pluvo_bench: the model run failed\n");
        return 1;
    }
    std::printf("valley example refined %d x: %d cells, %d channel nodes, 180 min in 5 s steps; "
                "best of %d runs\n",
                refine, grid_cells, 30 * refine, runs);
    print_figures(1, best[0]);
    print_figures(many, best[1]);
    std::printf("  %d threads run at %.2f x the speed of one thread\n", many,
                best[0].total / best[1].total);
    return 0;
}
