// Channel-network lakes: extent, levels and cells from their volume change.
#pragma once

struct run_state;

// Updates the extent, levels and cells of the channel-network lakes from
// their volume change (called by the end-of-event accounting).
void update_lake_cells(run_state& rs);
