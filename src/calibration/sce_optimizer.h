// Shuffled complex evolution (SCE-UA) calibration: the optimiser record, its
// input file, the settings check, its output files, the search and the
// driver of the -c mode.
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "calibration/calib_objective.h"
#include "calibration/calib_random.h"
#include "core/file_object.h"

struct sce_optimizer {
    file_object log_file;        // trial log "sce_log_file.txt"
    int log_failed = 0;          // 1 once the trial log failed to open
    int log_open = 0;            // 1 once the trial log was opened
    std::string input_path;      // the SCE input file, for messages
    std::string project_path;    // project file of the model runs
    std::string param_list_path; // replacement parameter-list file
    std::string obs_path;        // observation file
    int output_open = 0;         // 1 once the output file has been opened
    file_object output_file;     // "sce_output.out"
    int model_mode = 0;          // 1: trial points are model runs, logged to the trial log
    int setup_ok = 0;            // 1 when input and settings are usable

    int nopt = 0;                // number of parameters
    int maxn = 0;                // limit of the trial counter
    int kstop = 0;               // shuffling loops over which the criterion must change
    int iseed = 0;               // random seed (0 read as 3737)
    int ngs = 0;                 // number of complexes
    int npg = 0;                 // points per complex
    int nps = 0;                 // points per sub-complex
    int nspl = 0;                // evolution steps per complex before shuffling
    int mings = 0;               // minimum number of complexes
    int iniflg = 0;              // 1: the start point is a member of the initial population
    int iprint = 0;              // 1: write the population every loop
    int ideflt = 0;              // 1: the second settings line is used; 0: defaults
    double pcento = 0.0;         // fraction by which the criterion must change over kstop loops, -
    std::vector<double> x0, bl, bu;   // start values, lower and upper bounds [1..nopt], parameter units
    std::vector<double> bestx;        // best point [1..nopt], parameter units
    double bestf = 0.0;               // criterion of the best point, -
    std::unique_ptr<calib_objective> objective;   // observations and scoring
    sce_random rng;                   // uniform and Gaussian generators of the search
};

// Scores one trial point x[1..nopt]: false stops the search.
using sce_scorer = std::function<bool(const std::vector<double>& x, double& criterion)>;

// Reads the SCE input file (already open as `f`); true on success.
bool scein(sce_optimizer& o, file_object& f);
// Applies the defaults and corrects invalid settings with their warnings;
// false when the number of complexes is invalid.
bool check_sce_settings(sce_optimizer& o);
// Opens the input file, reads it and checks the settings; sets setup_ok.
void open_sce_files(sce_optimizer& o, const char* input_path);
// Opens the output file `output_name` (once the study's files are checked);
// false, with setup_ok cleared, when it cannot be opened.
bool open_sce_output(sce_optimizer& o, const char* output_name);

// The search: minimises the criterion that `score` returns over the box
// [bl, bu]. Returns the trial counter (number of the next log row), or -1
// when it cannot run or the scorer stopped it.
int sceua(sce_optimizer& o, const sce_scorer& score);
