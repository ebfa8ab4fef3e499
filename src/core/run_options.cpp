#include "core/run_options.h"

#include <omp.h>

run_options_t run_options;
int web_mode = 0;
int replace_line_index = 0;

void init_run_options() {
    run_options.thread_count = omp_get_num_procs();
    omp_set_num_threads(run_options.thread_count);
    run_options.process_index = 0;
    run_options.results_mode = 0;
    run_options.part_index = 0;
    run_options.process_count = 1;
    run_options.part_count = 1;
}

namespace {
// Builds the run options before main runs.
struct run_options_initialiser {
    run_options_initialiser() { init_run_options(); }
} run_options_init_instance;
}  // namespace
