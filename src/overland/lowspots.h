// Low spots: gaps of given crest and width in the dikes, through which water
// passes between the two cells of a dike face.
#pragma once
#include <vector>

struct run_state;
struct file_object;
struct low_spot;

// Reads the low-spot file from the open object `f` (`path` names it in
// messages): line 1 must begin with the LOWSPOT card, every later line whose
// first word is SPOT gives row, col, direction, width fraction and crest.
// Fills count and records[1..count] (slot 0 unused). On a bad file prints the
// message, sets code 4000 and reports it; returns false then.
bool read_lowspot_file(file_object& f, const char* path, int& count,
                       std::vector<low_spot>& records);

// 0 when the first word of `line` (ended by a blank, tab or newline) is "spot"
// in any case, 1 otherwise (also for an empty line). The word is removed from
// the line in either case.
int is_spot_card(char* line);

// Exchange of water across the low spots for one overland step of dt seconds.
// Not built yet: it moves nothing and leaves loss and gain (m3) at 0.
void face_flow(run_state& rs, double dt, double& loss, double& gain);
