#include "run/run_state.h"
#include <cstdio>
#include <new>
#include "input/replace.h"
#include "input/time_series.h"

run_state::~run_state() {
    // The lists outside the object belong to this run: empty them so the next
    // run of a batch or calibration reads its own. The member groups are then
    // destroyed in reverse order of construction, the run files last.
    free_time_series();
    free_elevation_series();
    free_replace_params();
}

run_state* create_run_state() {
    run_state* rs = new (std::nothrow) run_state();
    if (rs == nullptr) {
        std::printf("Error allocating memory for variable %s\n", "run_state");
    }
    return rs;
}

void destroy_run_state(run_state* rs) {
    delete rs;
}
