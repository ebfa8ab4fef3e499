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

// Exchange of water across the low spots for one overland step of dt seconds,
// spot after spot in file order: a broad weir, Q = width_fraction x 1.48 x
// H^1.5 x cell_size (m3/s) with H the higher level above the crest, when the
// two levels differ by more than 1 mm and one is above the crest; the level
// of a lake side is its lake's level. The depth moved is at most an ordinary
// giver's water above the crest, at most a lake's water above its initial
// level, and at most what evens the two levels. A lake side books the volume
// to its lake's inflow (and sets lakes_changed); a side
// whose level the boundary holds (types 2, 3, 9) keeps its depth and the
// volume goes to `gain` (it gave) or `loss` (it took), in m3, set here.
void face_flow(run_state& rs, double dt, double& loss, double& gain);

// The low-spot exchange of one overland step of dt seconds, when the project
// has low spots: face_flow, its held-side volumes added to the head-boundary
// totals (m3).
void exchange_low_spots(run_state& rs, double dt);

// True when some low spot has a side in an overland lake whose level stands
// above both the spot's crest and the lake's initial level: the lake can give
// water through it although no plain cell holds any.
bool lake_may_pass_low_spot(const run_state& rs);
