// The one-run driver: start-up, time loop, end and clean-up of one model run.
#pragma once

struct run_state;
struct calib_output;

// Performs one complete model run of the project file; returns the code left
// in the error record after the clean-up (0 after every reported failure).
// Only a run that got through its start-up appends its time to "out_time.out":
// a refused run appends nothing.
int run_model(const char* project_path, calib_output* calib);

// The start-up of a calibration run up to its file-name checks (the project
// read with the replacement values in force, the options checked, every
// output name checked against the inputs): nothing is opened for writing and
// nothing appended. True when a trial of the project could open its files.
bool check_trial_files(const char* project_path);

void read_model_inputs(run_state& rs);
void close_run_files(run_state& rs);

// Whether the last run_model call stopped on an error (for the process exit status).
bool last_run_failed();

// Called with the run state after the run-end summary of a run that ended
// normally, before the state is freed; none by default (tests read the final
// state through it).
using run_end_observer = void (*)(const run_state& rs);
void set_run_end_observer(run_end_observer observer);

// Called with the run state after every pass of the time loop that did not
// stop the run; none by default (tests follow the state step by step).
using run_step_observer = void (*)(const run_state& rs);
void set_run_step_observer(run_step_observer observer);
