// Reading the project file into the card records, and copying the card
// values into the working members of the run state.
#pragma once
#include "core/file_object.h"

struct run_state;
struct project_cards;
struct run_settings;
struct rain_settings;

// Program-wide flag of the pause card: wait for a key after a fatal input
// error. Set by read_run_parameters, never cleared.
extern int pause_prompt;

// Segment-model (K4) flow file, opened and headed by read_run_parameters and
// appended to by the K4 writer.
extern file_object k4_flow_file;

// Reads the project file at `path` into the three card records (cleared and
// given their defaults first). The outcome is settings.open_failed, the error
// record and the records themselves.
void read_project_file(const char* path, project_cards& cards, run_settings& settings,
                       rain_settings& rain);

// Takes the first token (and the separators after it) off `line` and returns
// its card code; the line then holds only the card's arguments. Unknown
// keywords print a warning and give the ignore code.
int project_card_code(char* line);

// Pre-scan of a project file that only sets project_folder_path: from the
// first project_folder/project_path card, else from the file's own folder.
void read_project_folder(const char* path);

// Reads the project file and copies its card values into the run state.
void read_run_parameters(const char* path, run_state& rs);
// The same for the run's own project path (rs.project_file).
void read_run_parameters(run_state& rs);
