// Analyzers: tests of a channel stream array against a threshold at chosen
// moments, notified by event masks, each reporting on the console and in a
// file of its own. The analyzer file lists one analyzer per line; reading it
// (analyzer_file.cpp) is apart from the notification and evaluation here.
#pragma once
#include <memory>
#include <vector>

#include "core/file_object.h"
#include "output/logical_op.h"

struct run_state;

// Event masks of the analyzer notifications (also the trigger bits of a line).
enum analyzer_event : int {
    kAnalyzerStep = 1,        // 't': a time step has passed (timed analyzers)
    kAnalyzerEventBegin = 2,  // 'E': an event begins
    kAnalyzerEventEnd = 4,    // 'e': an event ends
    kAnalyzerSimBegin = 8,    // 'S': the simulation begins (set-up done)
    kAnalyzerSimEnd = 16,     // 's': the simulation ends normally
    kAnalyzerCrash = 32,      // 'c': the run failed
};

// One analyzer of the file. The array class (2DS channel arrays, 1DS
// constituent stores) only decides which logical_op it binds.
struct analyzer {
    int triggers = 0;                  // bit set of analyzer_event masks that fire it
    int print_flags = 0;               // bit set of the print letters (kPrint*)
    int op_kind = kOpNone;             // operator kind (analyzer_op)
    double threshold = 0.0;            // comparison value, units of the array
    file_object out_file;              // the analyzer's own file (print letter 'f')
    char out_name[1024] = {};          // name of that file as written in the line
    const double* time = nullptr;      // the run's current time, Julian days
    double tolerance = 0.0;            // the run's time tolerance, days
    double first_check = 0.0;          // time of the first timed check, Julian days
    long check_count = 0;              // timed checks made (the next is first + count x interval)
    double last_check = 0.0;           // time of the last timed check, Julian days
    double next_check = 0.0;           // time of the next timed check, Julian days
    double interval = 0.0;             // interval of timed checks, days (0: every step)
    std::unique_ptr<logical_op> test;  // the bound node test

    // Runs the evaluation when the mask fires the analyzer (a timed check
    // only once its time has come).
    void check_step(int mask);
    // Compares the array with the threshold and writes the report.
    void evaluate(int mask);
};

// The analyzers of a run in file order.
struct analyzer_list {
    std::vector<std::unique_ptr<analyzer>> items;
};

// Reads the analyzer file named by the card `analyzers` and sets up its
// analyzers in run_state.analyzers. A file that cannot be opened or a bad
// analyzer line stops the run with a message naming the file (and line).
void read_analyzer_file(run_state& rs, const char* file_name);
// Notifies every analyzer, in file order, of the moment `mask`.
void run_analyzers(run_state& rs, int mask);
// Closes the analyzers' files and releases them (the next run starts with none).
void release_analyzers(run_state& rs);
