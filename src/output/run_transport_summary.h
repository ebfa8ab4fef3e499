// End-of-run summary after the water balances: the sediment, constituent
// and nutrient sections, the calibration line, and the end-of-run files.
#pragma once

struct run_state;

// Overland and channel sediment totals with the updated bed-elevation file,
// the soil, overland, channel, lake and global constituent summaries, the
// nutrient dm/dt totals and the calibration line. A bed-elevation file that
// cannot be opened ends the summary through report_error (code 4000).
void write_run_transport_summaries(run_state& rs);
// End-of-run files other than the built-in map datasets and the K4 inflow
// file: flood outputs, nutrient dataset terminators, channel hotstart and
// stage output, groundwater and elevation maps, the saturated-source map,
// the ZOV hydrograph, overland and soil hotstarts, the sediment profile
// and the snow datasets.
void write_end_of_run_files(run_state& rs);
