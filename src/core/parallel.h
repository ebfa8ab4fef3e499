// When the loops over cells use more than one thread, and how idle threads
// wait.
//
// A loop over fewer cells than its threshold runs on one thread: waking the
// other threads of a parallel region and meeting them at its end costs tens
// to hundreds of microseconds (threads that sleep between regions, on a
// virtual machine), more than the work they would share. The defaults were
// measured on an 8-core machine with passive waiting (see README, "Threads").
// Results never depend on the thresholds: every iteration writes only its own
// cell or face.
#pragma once

struct parallel_thresholds {
    int light = 0;      // loops of a few operations per cell (rain, infiltration, checks), cells
    int overland = 0;   // the overland sub-step (10 to 20 ns of work per cell), cells
};

// Default thresholds, cells.
constexpr int kDefaultParallelCells = 200000;
constexpr int kDefaultParallelOverlandCells = 40000;

// The thresholds of this process: the defaults, or both set to the value of
// the environment variable PLUVO_PARALLEL_CELLS (a whole number of cells, 1 or
// more) when it holds one; read at the first call.
const parallel_thresholds& parallel_cells();

// Thresholds from the text of PLUVO_PARALLEL_CELLS (null when unset): the
// defaults unless it is a whole number from 1 to INT_MAX.
parallel_thresholds thresholds_from_text(const char* text);

// Replaces the thresholds of this process (tests that need small grids on
// many threads, benchmarks); not while loops run.
void set_parallel_cells(const parallel_thresholds& thresholds);

// Threshold of the light loops, cells.
inline const int& kParallelCells = parallel_cells().light;

// Makes idle threads sleep rather than spin: when neither OMP_WAIT_POLICY nor
// GOMP_SPINCOUNT is set (or both are empty), sets OMP_WAIT_POLICY=PASSIVE and executes the program
// again with the same arguments (the OpenMP runtime reads its settings when
// it is loaded, before main). Spinning threads take the processors from the
// threads that work, so a loaded machine ran many times slower with them.
// Call first thing in main, before any output; returns only when nothing was
// done or the program could not be executed again.
void wait_passively_by_default(char** argv);

// Sets `shared`, a flag of the threads of a parallel region, to 1 when this
// thread's own verdict `own` is set; the threads meet at a barrier before any
// of them reads the flag. (A reduction clause on a flag passed by reference to
// a loop outside the region's own text is refused by some compilers.)
inline void raise_shared_flag(int& shared, int own) {
    if (own != 0) {
#pragma omp atomic write
        shared = 1;
    }
}
