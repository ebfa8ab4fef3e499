// End-of-run summary: the final storages of the run, the groundwater and
// Sacramento sections, the global water balance ("SIMULATION TOTALS") and
// the lake and storm-drain balances, then the transport sections and the
// end-of-run files.
#pragma once

struct run_state;

// Called once by the run driver at a normal end. Completes the final
// storages (surface, soil, groundwater, channels, lakes, snow; m3), computes
// the balance errors into the run state (percent, or m3 for the lake and
// drain balances; 0 for an empty balance) and appends the sections to the
// summary file; then closes the built-in map datasets and the K4 inflow
// file. A failure of the transport part (bed-elevation file) ends it early.
void write_run_summary(run_state& rs);
