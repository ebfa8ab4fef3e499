// Benchmark of a long-term run: a year of hourly KEV records (2001) on a
// V-shaped catchment of 50 x 50 cells of 100 m with a channel down the middle
// column, Green-Ampt with redistribution, Penman-Monteith evapotranspiration,
// snow in the cold months and twelve rain events of 2 hours (one a month).
// The project is generated in a temporary folder and run in process with one
// thread and with all processors; both must write the same "evap_out" and
// outlet hydrograph.
//
// Usage: bench_long_term [days [threads]]   (defaults: 365, all processors);
// with PLUVO_BENCH_KEEP set the generated project stays in the temporary folder.
#include <omp.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "core/parallel.h"
#include "quiet_run.h"

namespace {

namespace fs = std::filesystem;

constexpr int kRows = 50;
constexpr int kCols = 50;
constexpr int kMid = kCols / 2 + 1;        // channel column
constexpr double kCell = 100.0;            // m
constexpr double kCrossSlope = 0.02;       // towards the channel, m/m
constexpr double kValleySlope = 0.005;     // along the valley, m/m
const int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

void write_map(const fs::path& path, double (*value)(int, int), const char* format = "%.6f") {
    std::ofstream f(path);
    f << "north: " << kRows * kCell << "\nsouth: 0\neast: " << kCols * kCell
      << "\nwest: 0\nrows: " << kRows << "\ncols: " << kCols << "\n";
    char buf[64];
    for (int r = 1; r <= kRows; ++r)
        for (int c = 1; c <= kCols; ++c) {
            std::snprintf(buf, sizeof buf, format, value(r, c));
            f << buf << (c < kCols ? " " : "\n");
        }
}

// Hourly records of `days` days from January 1: a seasonal and a daily
// temperature cycle (below freezing in winter nights), daytime sunshine.
void write_hmet(const fs::path& path, int days) {
    std::ofstream f(path);
    char line[160];
    int month = 1, day = 1;
    for (int d = 0; d < days; ++d) {
        for (int h = 0; h < 24; ++h) {
            const double season = 50.0 - 25.0 * std::cos(2.0 * M_PI * (d + 0.5) / 365.0);
            const double daily = -8.0 * std::cos(2.0 * M_PI * (h - 3) / 24.0);
            const double sun = (h >= 6 && h <= 18) ? 600.0 * std::sin(M_PI * (h - 6) / 12.0) : 0.0;
            std::snprintf(line, sizeof line, "2001 %d %d %d 29.80 %d 40 %d %d %.1f %.1f\n", month,
                          day, h, 55 + (h % 7), 4 + (d % 5), static_cast<int>(season + daily),
                          0.6 * sun, sun);
            f << line;
        }
        if (++day > kMonthDays[month - 1]) {
            day = 1;
            ++month;
        }
    }
}

// One event on the 10th of each month of the run, 2 h of 15 and 5 mm/h.
void write_rain(const fs::path& path, int days) {
    std::ofstream f(path);
    int first = 0;
    for (int m = 1; m <= 12; ++m) {
        if (first + 10 > days - 1) break;
        f << "EVENT month" << m << "\nNRGAG 1\nNRPDS 3\nCOORD 2500 2500\n";
        for (int k = 0; k < 3; ++k)
            f << "RATES 2001 " << m << " 10 " << 12 + k << " 0 " << (k == 0 ? 15 : k == 1 ? 5 : 0)
              << "\n";
        first += kMonthDays[m - 1];
    }
}

void write_project(const fs::path& dir, int days, int threads) {
    write_map(dir / "mask.asc", [](int, int) { return 1.0; }, "%.0f");
    write_map(dir / "elev.asc", [](int r, int c) {
        return 100.0 + kValleySlope * kCell * (kRows - r) + kCrossSlope * kCell * std::abs(c - kMid);
    });
    struct constant { const char* name; double value; };
    const constant maps[] = {{"ks.asc", 0.5},  {"hc.asc", 11.0},  {"por.asc", 0.45},
                             {"moist.asc", 0.2}, {"pi.asc", 0.3},  {"thr.asc", 0.05},
                             {"alb.asc", 0.2}, {"vh.asc", 0.12},  {"tc.asc", 0.5},
                             {"can.asc", 70.0}, {"wp.asc", 0.1}};
    for (const constant& m : maps) {
        std::ofstream f(dir / m.name);
        f << "north: " << kRows * kCell << "\nsouth: 0\neast: " << kCols * kCell
          << "\nwest: 0\nrows: " << kRows << "\ncols: " << kCols << "\n";
        for (int r = 1; r <= kRows; ++r)
            for (int c = 1; c <= kCols; ++c) f << m.value << (c < kCols ? " " : "\n");
    }
    std::ofstream chan(dir / "vee.chn");
    chan << "PLUVO_CHAN\nALPHA 1.0\nBETA 1.0\nTHETA 1.0\nLINKS 1\nMAXNODES " << kRows
         << "\nCONNECT 1 0 0\nLINK 1\nDX " << kCell << "\nNODES " << kRows + 1
         << "\nTRAPEZOID\nMANNINGS_N 0.035\n";
    char buf[64];
    for (int p = 1; p <= kRows + 1; ++p) {
        std::snprintf(buf, sizeof buf, "%.6f", 99.0 + kValleySlope * kCell * (kRows + 0.5 - p));
        chan << "NODE " << p << "\nELEV " << buf << "\n";
        if (p == 1) chan << "XSEC\nBOTTOM_WIDTH 5.0\nSIDE_SLOPE 1.0\nBANKFULL_DEPTH 2.0\n";
    }
    std::ofstream gst(dir / "vee.gst");
    gst << "GRIDSTREAMFILE\nSTREAMCELLS " << kRows << "\n";
    for (int r = 1; r <= kRows; ++r) gst << "NUMNODES 1\n";
    for (int r = 1; r <= kRows; ++r)
        gst << "CELLIJ " << r << " " << kMid << "\nLINKNODE 1 " << r << " 1.0\n";
    write_hmet(dir / "hmet.kev", days);
    write_rain(dir / "rain.gag", days);
    std::ofstream prj(dir / "lt.prj");
    prj << "PLUVOPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elev.asc\nGRIDSIZE " << kCell
        << "\nROWS " << kRows << "\nCOLS " << kCols << "\nTOT_TIME " << days * 1440
        << "\nTIMESTEP 30\nOUTROW " << kRows << "\nOUTCOL " << kMid << "\nOUTSLOPE "
        << kValleySlope << "\nHYD_FREQ 60\nMAP_FREQ " << days * 1440
        << "\nMANNING_N 0.05\nOVERTYPE 1\nCHAN_EXPLIC\nCHANNEL_INPUT vee.chn\n"
        << "STREAM_CELL vee.gst\nSUMMARY lt.sum\nOUTLET_HYDRO lt.otl\nPRECIP_FILE rain.gag\n"
        << "LONG_TERM\nHMET_KEV hmet.kev\nET_CALC_PENMAN\nLATITUDE 40\nLONGITUDE 105\nGMT -7\n"
        << "CONDUCTIVITY ks.asc\nCAPILLARY hc.asc\nPOROSITY por.asc\nMOISTURE moist.asc\n"
        << "PORE_INDEX pi.asc\nRESIDUAL_SAT thr.asc\nINF_REDIST\nSOIL_MOIST_DEPTH 1.0\n"
        << "TOP_LAYER_DEPTH 0.2\nALBEDO alb.asc\nVHEIGHT vh.asc\nTCOEFF tc.asc\nCANOPY can.asc\n"
        << "WILTING_POINT wp.asc\nNUM_THREADS " << threads << "\nSUPER_QUIET\n";
}

std::string read_text(const fs::path& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

}  // namespace

int main(int argc, char** argv) {
    wait_passively_by_default(argv);   // idle threads wait as in the program
    const int days = argc >= 2 ? std::clamp(std::atoi(argv[1]), 2, 365) : 365;
    const int many = argc >= 3 ? std::max(1, std::atoi(argv[2])) : omp_get_num_procs();
    const fs::path dir = fs::temp_directory_path() / ("pluvo_lt_" + std::to_string(getpid()));
    fs::create_directories(dir);
    std::printf("Long-term run: %d days of hourly KEV records, %d x %d cells of %.0f m, "
                "channel, redistribution, Penman-Monteith, snow, 30 s steps\n",
                days, kRows, kCols, kCell);
    std::fflush(stdout);
    double seconds[2] = {0.0, 0.0};
    std::string files[2];
    const int threads[2] = {1, many};
    for (int k = 0; k < 2; ++k) {
        write_project(dir, days, threads[k]);
        bool failed = false;
        seconds[k] = run_quietly(dir, "lt.prj", failed);
        if (failed) {
            std::fprintf(stderr, "bench_long_term: the run with %d threads failed (project in %s)\n",
                         threads[k], dir.c_str());
            return 1;
        }
        files[k] = read_text(dir / "evap_out") + read_text(dir / "lt.otl");
    }
    if (std::getenv("PLUVO_BENCH_KEEP") == nullptr) fs::remove_all(dir);
    std::printf("  1 thread : %7.3f s\n", seconds[0]);
    std::printf("  %d threads: %7.3f s, %.2f x the speed of one thread\n", many, seconds[1],
                seconds[0] / seconds[1]);
    std::printf("  evap_out and outlet hydrograph %s\n",
                files[0] == files[1] ? "identical" : "DIFFER between thread counts");
    return files[0] == files[1] ? 0 : 1;
}
