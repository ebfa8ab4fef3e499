// Cross-section hydraulics of the channel nodes and the rebuild of the
// break-point depth tables after bed change.
#pragma once
#include "channel/node_array.h"

struct run_state;

// Directions of ex_section.
constexpr int kSectionFromArea = 1;    // area -> depth, water level, conveyance
constexpr int kSectionFromLevel = 2;   // water level -> area, top width, conveyance, dK/dy

// Brings every node of the trapezoid and break-point links 1..links into
// agreement. Direction 1 reads the flow areas in `area` (m2; the run's area
// array or a work array of its shape; small negative areas are reset to 0)
// and writes chan_node_depth, yp and conv; direction 2 reads yp and writes
// `area`, topw, conv and dconv. Lake and structure links are left as they
// are. Sets xsec_table_exceeded when a break-point node lies above its table.
// On a negative area or depth, or a table number out of range, prints the
// message, raises code 4000 through report_error, sets rs.xsec_error and
// processes no further link. Returns 1 done, 0 failed; without a built
// network (the node arrays not allocated) it does nothing and returns 1.
int ex_section(run_state& rs, int direction, node_array& area);

// The same on the run's own flow areas (rs.area).
void ex_section(run_state& rs, int mode);

// Moves the sections of the erodible break-point links with their bed change
// (committed when bed adjustment is on); see channel/xsec_update.h.
void xsec_update(run_state& rs);
