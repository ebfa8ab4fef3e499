// Outputs of overland sediment that the output steps call: the outlet
// sediment rows, the sediment map sources and the summary blocks.
#pragma once

struct run_state;
struct ov_sed_record;

// Overland sediment section of the end-of-run summary (running totals per class).
void write_run_sediment_summary(run_state& rs);

// Sediment discharge at the outlet in the current step, m3/s: the step's
// outlet volume over the step, 0 when no sediment step ran at this time.
double outlet_sediment_rate(const ov_sed_record& s, double now);
