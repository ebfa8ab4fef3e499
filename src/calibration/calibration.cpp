#include "calibration/calibration.h"
#include <cstdio>
#include "core/run_options.h"
#include "run/run_state.h"

// Not built yet: a calibration run records nothing.
void alloc_calib_output(run_state&) {}

static int calibration_not_available(const char* mode) {
    std::printf("%s is not available yet in this version of PLUVO.\n", mode);
    return 1;
}

int run_sce_calibration(run_options_t&, const char*) {
    return calibration_not_available("SCE calibration");
}

int run_montecarlo(run_options_t&, int, const char*) {
    return calibration_not_available("Monte Carlo calibration");
}

int run_sensitivity(run_options_t&, const char*) {
    return calibration_not_available("Sensitivity analysis");
}
