// Start-up check of the run's output names against its inputs and of the
// output folder, before any output file is opened.
#pragma once

struct run_state;

// Refuses the run (message naming the cards and files, code kErrorPrinted)
// when the output folder set by OUTPUT_FOLDER cannot take files, or when an
// output file of the run would open the same file as one of its inputs: the
// project file, every input named by a card (maps, tables, series, channel
// files, precipitation, hotstarts, replacement files, ...), or when two of its
// outputs would write one file. Names are compared as the files they resolve
// to, without opening anything.
void check_output_names(run_state& rs);
