// Calibration and batch studies: the record a calibration run fills and the
// drivers of the calibration modes.
#pragma once
#include <vector>

struct run_state;
struct run_options_t;

// Per-event peaks and volumes of a calibration run, filled by the run.
struct calib_output {
    int stride = 0;                      // number of locations + 1
    std::vector<double> peaks;           // m3/s, index (event-1) x stride + 1 (+ location)
    std::vector<double> volumes;         // m3, same indexing
    std::vector<double> location_peak;   // current event's peak per location, m3/s
    std::vector<double> location_volume; // current event's volume per location, m3
};

void alloc_calib_output(run_state& rs);

// Drivers of the calibration modes; each returns the process exit status.
int run_sce_calibration(run_options_t& options, const char* input_path);
int run_montecarlo(run_options_t& options, int run_count, const char* input_path);
int run_sensitivity(run_options_t& options, const char* input_path);
