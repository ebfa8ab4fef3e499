// Channel-network lakes in the explicit and ADE overland schemes: the water
// that crosses a face between a lake cell and a cell outside the lakes goes
// into (or comes out of) the lake's volume, booked in lake_in_dv /
// lake_out_dv.
//
// The faces see each lake at the level of its volume within the step:
// lake_elev + (lake_volume - prevlake_volume) / lake_area, so lake_elev itself
// only moves in update_lake_cells (channel step), which also takes and gives
// back cells from that volume change.
#pragma once

struct run_state;
struct wetland_record;

// Flow across a face from a cell outside the lakes towards a channel lake
// standing at `level` (m), m3/s (negative: from the lake into the cell). The
// cell has ground `ground` (m), depth `depth` (m), retention depth
// `retention` (m), Manning n `n` (s/m^(1/3)) and, for a wetland cell, its
// record `wetland` (else null). Water leaving the cell flows with the cell's
// depth above retention (the overland lake law); water leaving the lake flows
// with the depth of the lake above the cell's ground. `dx` is the cell size (m).
double channel_lake_face_flow(double ground, double depth, double retention, double n,
                              const wetland_record* wetland, double level, double dx);

// Before a step (serial): the lake cells and the faces that join a lake to a
// cell outside the lakes (listed again only after the lakes took or gave
// back a cell: lake_cell_changes), the lakes' volumes and accumulators
// saved, each lake's level. False when no cell lies in a channel lake.
bool prepare_channel_lake_step(run_state& rs);

// At a restart of the step: the saved volumes and accumulators back, the
// levels from them, the per-cell exchanges cleared.
void restart_channel_lake_step(run_state& rs);

// In a sub-step of `seconds` s, after the face flows (m3/s, positive towards
// rightcon / belowcon): scales down the faces through which a lake gives
// water so that it never gives more than it holds (lake_volume, m3). A null
// qx or qy leaves that direction out (an ADE sweep moves one at a time).
void limit_channel_lake_outflow(run_state& rs, double* qx, double* qy, double seconds);

// After the depths of a sub-step or an ADE sweep (serial, cell order): each
// lake cell's exchange (ov_chlake_in / ov_chlake_out, m3) added to its lake's
// volume, lake_in_dv and lake_out_dv, then cleared; the levels from the new
// volumes.
void book_channel_lake_substep(run_state& rs);

// True when some channel lake stands above the ground of a cell beside it
// outside the lakes (so the overland step has water to move even when every
// plain cell is dry).
bool channel_lake_may_spill(const run_state& rs);
