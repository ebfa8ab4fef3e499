// Program entry and run modes (kept apart from main() so tests can call them).
#pragma once

// Run modes of the command line.
enum run_mode : int {
    kModeNone = 0,
    kModeSingle = 1,
    kModeSce = 2,
    kModeBatch = 3,
    kModeVersion = 4,
    kModeHelp = 5,
    kModeMonteCarlo = 6,
    kModeSensitivity = 7,
};

struct command_line {
    int mode = kModeNone;       // one of run_mode
    char input_path[1024] = {}; // project or control file (at most 1023 characters)
};

// Fills the mode and path; returns the run count, or -1 after printing the
// usage text when the command line matches no mode.
int parse_command_line(int argc, char** argv, command_line& result);
void print_usage();
void print_banner();

// Process exit status of the whole program (see program.cpp).
constexpr int kExitOk = 0;
constexpr int kExitRunFailed = 1;
constexpr int kExitUsage = 2;

int program_main(int argc, char** argv);
