// Opening the run's input and output files at start-up.
#pragma once

struct run_state;

void open_run_files(run_state& rs);
