// Start-up check of the run's output names against its inputs and of the
// output folder, before any output file is opened.
#pragma once
#include <string>
#include <vector>

struct run_state;

// Refuses the run (message naming the cards and files, code kErrorPrinted)
// when the output folder set by OUTPUT_FOLDER cannot take files, or when an
// output file of the run would open the same file as one of its inputs: the
// project file, every input named by a card (maps, tables, series, channel
// files, precipitation, hotstarts, replacement files, ...), or when two of its
// outputs would write one file. Names are compared as the files they resolve
// to, without opening anything. Before the comparison every output's folder
// (with map type 0 the folder a map card names) must take files: a missing
// folder whose parent takes files is made; a deeper missing path, a file in
// the way or a folder that takes no files refuses the run (codes 350 to 353,
// naming the card and the folder).
void check_output_names(run_state& rs);

// The same check for one further output that the run opens later (e.g. a
// file named inside an input file): refuses it (message beginning with
// `origin`, code kErrorPrinted) and gives false when it would open one of the
// run's inputs or one of the outputs that its cards name.
bool check_extra_output_name(run_state& rs, const char* origin, const char* name);

// A file of the study (SCE calibration, Monte Carlo or sensitivity study)
// whose trials are being run: `origin` names it in messages ("the SCE input
// file"); `prefixed` tells whether the study writes it with the run-number
// prefix (the files it opens once its trials have begun).
struct study_file {
    std::string origin;
    std::string name;
    bool prefixed = false;
};

// Registers the files of the study being made: its inputs and the outputs it
// writes besides its runs' own files. Every run's check compares its names
// with them as with its own, so no trial overwrites a file of the study and
// no study output is a file of a trial. clear_study_files forgets them.
void set_study_files(const std::vector<study_file>& inputs, const std::vector<study_file>& outputs);
void clear_study_files();
