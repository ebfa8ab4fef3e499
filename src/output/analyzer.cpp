// Analyzer notification and evaluation.
#include "output/analyzer.h"

#include "run/run_state.h"

void analyzer_list_release::operator()(analyzer_list* p) const {
    if (p == nullptr) return;
    for (auto& a : p->items) close_file_object(a->out_file);
    delete p;
}

void analyzer::check_step(int mask) {
    const int fired = triggers & mask;
    if (fired == 0) return;
    bool due = false;
    if ((fired & kAnalyzerStep) && time != nullptr && *time >= next_check - tolerance) {
        due = true;
        last_check = *time;
        // The next check lies on the grid first + k x interval: no drift by
        // repeated addition, and a check within the tolerance of the grid is
        // not skipped. A check passed over by a long step is not made late.
        if (interval > 0.0) {
            while (next_check <= *time + tolerance) {
                ++check_count;
                next_check = first_check + static_cast<double>(check_count) * interval;
            }
        }
    }
    if (due || (fired & ~kAnalyzerStep) != 0) evaluate(mask);
}

void analyzer::evaluate(int mask) {
    if (!test) return;
    if (op_kind < kOpLess || op_kind > kOpGreaterEqual) return;
    test->run_test(op_kind, threshold);
    test->print_results(print_flags, mask, &out_file);
}

void run_analyzers(run_state& rs, int mask) {
    if (!rs.analyzers) return;
    for (auto& a : rs.analyzers->items) a->check_step(mask);
    if (rs.analyzers->items.empty()) return;
    std::fflush(stdout);
}

void release_analyzers(run_state& rs) {
    rs.analyzers.reset();
}
