// Analyzers: state tests at chosen moments, notified by event masks.
#pragma once

struct run_state;

// Event masks of the analyzer notifications.
enum analyzer_event : int {
    kAnalyzerStep = 1,
    kAnalyzerEventBegin = 2,
    kAnalyzerEventEnd = 4,
    kAnalyzerSimBegin = 8,
    kAnalyzerSimEnd = 16,
    kAnalyzerCrash = 32,
};

void read_analyzer_file(run_state& rs, const char* file_name);
void run_analyzers(run_state& rs, int mask);
