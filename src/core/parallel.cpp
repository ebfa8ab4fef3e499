#include "core/parallel.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <initializer_list>

#include "core/text.h"

namespace {

// A whole number of cells from 1 to INT_MAX, else 0.
int cells_from_text(const char* text) {
    int value = 0;
    if (text == nullptr || !parse_int_text(text, 1, INT_MAX, value)) return 0;
    return value;
}

parallel_thresholds& thresholds_of_process() {
    static parallel_thresholds thresholds =
        thresholds_from_text(std::getenv("PLUVO_PARALLEL_CELLS"));
    return thresholds;
}

}  // namespace

parallel_thresholds thresholds_from_text(const char* text) {
    parallel_thresholds t;
    t.light = kDefaultParallelCells;
    t.overland = kDefaultParallelOverlandCells;
    const int cells = cells_from_text(text);
    if (cells > 0) {
        t.light = cells;
        t.overland = cells;
    }
    return t;
}

const parallel_thresholds& parallel_cells() {
    return thresholds_of_process();
}

void set_parallel_cells(const parallel_thresholds& thresholds) {
    thresholds_of_process() = thresholds;
}

void wait_passively_by_default(char** argv) {
#ifdef __linux__
    if (argv == nullptr || argv[0] == nullptr) return;
    for (const char* name : {"OMP_WAIT_POLICY", "GOMP_SPINCOUNT"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return;   // the user's choice
    }
    if (setenv("OMP_WAIT_POLICY", "PASSIVE", 1) != 0) return;
    execv("/proc/self/exe", argv);
    // Not executed again: go on with the runtime's own policy, and leave the
    // environment as it was.
    unsetenv("OMP_WAIT_POLICY");
#else
    (void)argv;
#endif
}
