// Members of the run state owned by the calibration subsystem.
#pragma once
#include <vector>
#include "core/file_object.h"

struct calibration_state {

    // Calibration switches copied from the project cards (read_run_parameters)
    int optimize_sed = 0;           // optimize_sed card
    int calib_sediment = 0;         // sediment calibration mode (optimize_sed)
};
