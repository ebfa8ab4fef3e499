// Program-wide run options and the program-wide values of the run modes.
#pragma once

struct run_options_t {
    int process_index = 0;   // index of this process among processes sharing calibration runs
    int thread_count = 1;    // number of processors at start-up (also handed to OpenMP)
    int part_index = 0;      // this process's part of a partitioned mask
    int part_count = 1;      // number of mask parts; 2 or more enables the partition
    int process_count = 1;   // number of processes sharing calibration runs
    int results_mode = 0;    // how calibration drivers merge ranked results
};

extern run_options_t run_options;
extern int web_mode;             // 1 when running as a web (CGI) program
extern int replace_line_index;   // row of the replacement values file, counted from 0

void init_run_options();

// The program version printed in the banners.
constexpr double kVersionNumber = 5.7;
constexpr char kVersionLetter = 'a';
