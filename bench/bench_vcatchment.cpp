// Benchmark of a whole run of the program on the tilted V-catchment: two
// planes of 800 x 1000 m (Manning n 0.015) falling 0.05 across towards a
// 1000 m channel (Manning n 0.15) that falls 0.02 along the valley, the planes
// falling 0.02 along the valley too; 20 m cells, 81 columns x 50 rows (4050
// cells, the channel under the middle column); 10.8 mm/h of rain for 90
// minutes, 180 minutes simulated in 5 s steps.
//
// It writes the project and its maps to a temporary folder and runs the pluvo
// binary on it (as a user would, so the program's own thread set-up counts)
// with one thread and with all processors, each `runs` times, and prints the
// best and the slowest wall time of each. Both thread counts must write the
// same outlet hydrograph; the program says so. The environment is passed on,
// so OMP_WAIT_POLICY or GOMP_SPINCOUNT set by the caller apply.
//
// Usage: bench_vcatchment [runs [threads]]   (defaults: 3, all processors)
#include <fcntl.h>
#include <omp.h>
#include <sys/wait.h>
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

#ifndef PLUVO_BINARY
#error "PLUVO_BINARY (path of the pluvo program) must be defined by the build"
#endif

namespace {

namespace fs = std::filesystem;

constexpr int kRows = 50;                // cells along the valley
constexpr int kPlaneCols = 40;           // cells across one plane
constexpr int kCols = 2 * kPlaneCols + 1;
constexpr int kMid = kPlaneCols + 1;     // channel column
constexpr double kCell = 20.0;           // m
constexpr double kCrossSlope = 0.05;     // planes towards the channel, m/m
constexpr double kValleySlope = 0.02;    // along the valley, m/m
constexpr double kRainMmH = 10.8;        // mm/h
constexpr int kRainMinutes = 90;
constexpr int kTotalMinutes = 180;

void write_project(const fs::path& dir, int threads) {
    auto header = [](std::ofstream& f) {
        f << "north: " << kRows * kCell << "\nsouth: 0\neast: " << kCols * kCell
          << "\nwest: 0\nrows: " << kRows << "\ncols: " << kCols << "\n";
    };
    std::ofstream mask(dir / "mask.asc"), elev(dir / "elev.asc");
    header(mask);
    header(elev);
    char buf[64];
    for (int r = 1; r <= kRows; ++r) {
        for (int c = 1; c <= kCols; ++c) {
            const double ground = 100.0 + kValleySlope * kCell * (kRows - r) +
                                  kCrossSlope * kCell * std::abs(c - kMid);
            std::snprintf(buf, sizeof buf, "%.6f", ground);
            mask << "1" << (c < kCols ? " " : "\n");
            elev << buf << (c < kCols ? " " : "\n");
        }
    }
    // The channel bed 1 m below the ground of its cells; a 10 m wide
    // trapezoid of side slope 1, bank-full at 1 m.
    std::ofstream chan(dir / "vee.chn");
    chan << "PLUVO_CHAN\nALPHA 1.0\nBETA 1.0\nTHETA 1.0\nLINKS 1\nMAXNODES " << kRows
         << "\nCONNECT 1 0 0\nLINK 1\nDX " << kCell << "\nNODES " << kRows + 1
         << "\nTRAPEZOID\nMANNINGS_N 0.15\n";
    for (int p = 1; p <= kRows + 1; ++p) {
        std::snprintf(buf, sizeof buf, "%.6f", 99.0 + kValleySlope * kCell * (kRows + 0.5 - p));
        chan << "NODE " << p << "\nELEV " << buf << "\n";
        if (p == 1) chan << "XSEC\nBOTTOM_WIDTH 10.0\nSIDE_SLOPE 1.0\nBANKFULL_DEPTH 1.0\n";
    }
    std::ofstream gst(dir / "vee.gst");
    gst << "GRIDSTREAMFILE\nSTREAMCELLS " << kRows << "\n";
    for (int r = 1; r <= kRows; ++r) gst << "NUMNODES 1\n";
    for (int r = 1; r <= kRows; ++r)
        gst << "CELLIJ " << r << " " << kMid << "\nLINKNODE 1 " << r << " 1.0\n";
    std::ofstream prj(dir / "vee.prj");
    prj << "PLUVOPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elev.asc\nGRIDSIZE " << kCell
        << "\nROWS " << kRows << "\nCOLS " << kCols << "\nTOT_TIME " << kTotalMinutes
        << "\nTIMESTEP 5\nOUTROW " << kRows << "\nOUTCOL " << kMid << "\nOUTSLOPE "
        << kValleySlope << "\nHYD_FREQ 1\nMAP_FREQ " << kTotalMinutes
        << "\nSTART_DATE 2020 6 1\nSTART_TIME 0 0\nPRECIP_UNIF\nRAIN_INTENSITY " << kRainMmH
        << "\nRAIN_DURATION " << kRainMinutes << "\nMANNING_N 0.015\nOVERTYPE 1\nCHAN_EXPLIC\n"
        << "CHANNEL_INPUT vee.chn\nSTREAM_CELL vee.gst\nSUMMARY vee.sum\nOUTLET_HYDRO vee.otl\n"
        << "NUM_THREADS " << threads << "\nSUPER_QUIET\n";
}

// Runs the program in `dir` on vee.prj; wall time in s, or -1 when it failed.
double run_program(const fs::path& dir) {
    const auto t0 = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid < 0) return -1.0;
    if (pid == 0) {
        const int sink = open("/dev/null", O_WRONLY);
        if (sink >= 0) {
            dup2(sink, STDOUT_FILENO);
            dup2(sink, STDERR_FILENO);
        }
        if (chdir(dir.c_str()) != 0) _exit(127);
        execl(PLUVO_BINARY, PLUVO_BINARY, "vee.prj", static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1.0;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? seconds : -1.0;
}

std::string read_text(const fs::path& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

struct timing {
    double best = 1e300;   // s
    double worst = 0.0;    // s
    std::string hydrograph;
};

bool time_runs(const fs::path& dir, int threads, int runs, timing& t) {
    write_project(dir, threads);
    for (int i = 0; i < runs; ++i) {
        const double s = run_program(dir);
        if (s < 0.0) return false;
        t.best = std::min(t.best, s);
        t.worst = std::max(t.worst, s);
    }
    t.hydrograph = read_text(dir / "vee.otl");
    return !t.hydrograph.empty();
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc >= 2 ? std::max(1, std::atoi(argv[1])) : 3;
    const int many = argc >= 3 ? std::max(1, std::atoi(argv[2])) : omp_get_num_procs();
    const fs::path dir = fs::temp_directory_path() / ("pluvo_vee_" + std::to_string(getpid()));
    fs::create_directories(dir);
    std::printf("V-catchment: %d x %d cells of %.0f m, %d min of %.1f mm/h, %d min in 5 s steps; "
                "best (slowest) of %d runs\n",
                kRows, kCols, kCell, kRainMinutes, kRainMmH, kTotalMinutes, runs);
    std::fflush(stdout);
    timing one, all;
    const bool ok = time_runs(dir, 1, runs, one) && time_runs(dir, many, runs, all);
    fs::remove_all(dir);
    if (!ok) {
        std::fprintf(stderr, "bench_vcatchment: a run of %s failed\n", PLUVO_BINARY);
        return 1;
    }
    std::printf("  1 thread : %7.3f s (%7.3f s)\n", one.best, one.worst);
    std::printf("  %d threads: %7.3f s (%7.3f s), %.2f x the speed of one thread\n", many, all.best,
                all.worst, one.best / all.best);
    std::printf("  outlet hydrographs %s\n",
                one.hydrograph == all.hydrograph ? "identical" : "DIFFER between thread counts");
    return one.hydrograph == all.hydrograph ? 0 : 1;
}
