// How much of a whole core each thread of a parallel region has at a moment.
//
// On a virtual machine a virtual processor can share its physical core with
// other work (another guest on the core's second hardware thread).
// Arithmetic then runs at about half speed on it, and a parallel step, which
// waits for its slowest thread, slows with it; the benchmark cannot tell this
// from a fault of the scheme by its own timings. The probe runs one short
// loop of independent square roots and divisions on every thread at once and
// compares the slowest thread's time with the loop's time on one thread alone.
#pragma once

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace core_probe {

constexpr int kLanes = 1024;     // values of the loop, fits the first-level cache
constexpr int kRounds = 400;     // passes over them: about 1 ms on one core

// Time of one probe loop on the calling thread, s.
inline double loop_seconds(int seed) {
    alignas(64) double v[kLanes];
    for (int i = 0; i < kLanes; ++i) v[i] = 1.0 + 1e-3 * i + seed;
    const double t0 = omp_get_wtime();
    for (int r = 0; r < kRounds; ++r)
        for (int i = 0; i < kLanes; ++i) v[i] = std::sqrt(v[i]) * 1.5 / (v[i] + 0.5) + 1.0;
    const double t = omp_get_wtime() - t0;
    volatile double keep = v[seed & (kLanes - 1)];   // the loop's result is used
    (void)keep;
    return t;
}

// The loop alone on one thread: the fastest of several runs, s.
inline double alone_seconds() {
    double best = 1e30;
    for (int k = 0; k < 20; ++k) {
        const double t = loop_seconds(k);
        if (t < best) best = t;
    }
    return best;
}

// The slowest thread's time of the loop run on `threads` threads at once,
// over the loop's time alone: 1 when every thread has a whole core, about 2
// when one shares its core with equal work.
inline double slowdown(int threads, double alone) {
    std::vector<double> t(static_cast<std::size_t>(threads), 0.0);
#pragma omp parallel num_threads(threads)
    {
        const int k = omp_get_thread_num();
#pragma omp barrier
        t[static_cast<std::size_t>(k)] = loop_seconds(k);
    }
    double worst = 0.0;
    for (double s : t) worst = s > worst ? s : worst;
    return worst / alone;
}

// The median slowdown of `probes` runs of the loop on `threads` threads.
inline double median_slowdown(int threads, double alone, int probes) {
    std::vector<double> s;
    for (int k = 0; k < probes; ++k) s.push_back(slowdown(threads, alone));
    std::sort(s.begin(), s.end());
    return s[s.size() / 2];
}

}  // namespace core_probe
