// Overland lakes: bodies of standing water drawn on the grid by a lake map.
// Each lake has one water level; its cells hold no overland depth. The rain,
// the overland scheme and the low spots add to the lake's `inflow`; the lake
// step then moves its level and grows over neighbouring cells whose water
// surface lies below the level, or shrinks back off cells outside its map.
//
// Lake file (text, any line length, CR LF accepted):
//   PLUVO_OVERLAND_LAKE_FILE        first word (any case; a leading part passes),
//                                   PLUVO_CHANNEL_LAKE_FILE for channel lakes
//   LAKE id level volume            one card per lake of the map: id 1..n,
//                                   level in m, volume in m3 (only printed)
// Other lines are skipped.
#pragma once
#include <vector>

struct run_state;
struct file_object;
struct overland_lake;
struct wetland_record;

// Kinds of lake file.
constexpr int kOverlandLakeFile = 1;
constexpr int kChannelLakeFile = 2;

// 0 when the first word of `line` is "lake" in any case, 1 otherwise (also
// for a blank line); the leading blanks and the first word are removed from
// the line in either case.
int is_lake_card(char* line);

// Reads the lake cards of the open lake file `f` (`path` names it in
// messages) into records[1..count] (level and initial_level, m); card_lines
// (when given) receives the line of each lake's card. Refuses a wrong header,
// a card without a whole id, a finite level and a finite volume, an id outside
// 1..count or given twice, and a card count other than `count`. On failure
// prints the message, sets code 4000, reports it and returns false.
bool read_lake_file(file_object& f, const char* path, int kind, int count,
                    std::vector<overland_lake>& records, std::vector<int>* card_lines);

// Start-up: reads the lake map and the lake file, counts each lake's cells
// and its volume above the ground; refuses a lake cell whose ground lies
// above its lake's level.
void read_overland_lakes(run_state& rs);

// Time loop: when some lake gained or lost water since the last call, moves
// every lake's level and extent (olake_extent).
void update_overland_lakes(run_state& rs);

// The extent step for all lakes. A lake takes its `inflow` (m3), unless that
// is below 1e-10 m over its area (then it is carried to the next call):
// - rising, it floods every cell outside all lakes that it reaches across
//   undiked faces and whose water surface lies below the new level, the
//   level and the flooded cells found together so that the stored volume is
//   exactly the old one plus the inflow plus the water of the flooded cells;
// - falling, cells outside its map whose ground ends above the level leave
//   it; a lake gives no water below its initial level: a demand beyond that
//   is booked in vol_ovlake_shortfall (printed) and the level stays there.
// Lakes without cells are skipped. Totals: vol_ovlake_inflow,
// vol_ovlake_outflow (m3).
void olake_extent(run_state& rs);

// The water each lake could give without falling below its initial level:
// over every cell of its current extent, (level - max(initial level, ground))
// x cell_size^2, plus its inflow not yet taken by the lake step, in m3, never
// below 0. water[u] for lake u (slot 0 unused), sized here.
void lake_water_above_initial(const run_state& rs, std::vector<double>& water);

// Flow across a face from a cell outside the lakes towards a lake whose
// water level is `stage` (m), m3/s (negative: from the lake into the cell).
// The cell's water surface is `surface` (m), its depth `depth` (m) over the
// retention depth `retention` (m) is the flow depth in both directions, with
// the cell's Manning n `n` (s/m^(1/3)) or, for a wetland cell (`wetland` not
// null), the linear law of its record below the threshold depth. `dx` is the
// cell size (m).
double lake_face_flow(double surface, double depth, double retention, double n,
                      const wetland_record* wetland, double stage, double dx);

// Hooks of the explicit and the ADE schemes (all serial, cell order):
// Before a step: each lake cell's stage, the cells whose faces meet a lake,
// each lake's budget (the water above its initial level plus its inflow so
// far, m3), gains cleared. False when no lake has a cell (nothing to do).
bool prepare_lake_step(run_state& rs);
// At a restart of the step: gains cleared, budgets back to their start.
void restart_lake_step(run_state& rs);
// In a sub-step of `seconds` s, after the face flows (m3/s, positive towards
// rightcon / belowcon) and before the depths: scales down the faces through
// which a lake gives water so that it never gives more than its budget. A
// null qx or qy leaves that direction out (a sweep of the ADE schemes moves
// one direction at a time).
void limit_lake_outflow(run_state& rs, double* qx, double* qy, double seconds);
// After the step: each lake cell's gain added to its lake's inflow, in cell
// order; sets lakes_changed when some lake gained or lost water.
void book_lake_step(run_state& rs);
