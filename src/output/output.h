// Output steps called by the run driver, and the parts of the step and map
// outputs that belong to processes not built yet (empty until they land).
#pragma once
#include "output/k4.h"
#include "output/map_output.h"
#include "output/output_setup.h"
#include "output/step_output.h"

struct run_state;

// Start-up and end of a run.
void setup_contam_map_outputs(run_state& rs);
void setup_contam_linknode_outputs(run_state& rs);
void read_vego_exchange_maps(run_state& rs);
void setup_xy_outputs(run_state& rs);
void write_run_summary(run_state& rs);

// Nutrient map and link/node outputs of open_map_datasets.
void open_nsm_map_datasets(run_state& rs);

// Rows of write_step_output that read the sediment, storm-drain, constituent,
// nutrient and XY records (time: the row's time value).
void write_outlet_sediment_rows(run_state& rs, double time);      // after the outlet hydrograph
void write_superlink_location_rows(run_state& rs, double time);   // superjunction and superlink node series
void write_contaminant_location_rows(run_state& rs, double time); // out_con_location, out_mass_location
void write_sediment_location_rows(run_state& rs, double time);    // in_sed_loc, out_tss_loc
void add_channel_sed_flux(run_state& rs);            // adds each node's class flux x 1e6 to chan_sed_flux_sum
void write_superlink_dataset_steps(run_state& rs);   // pipe_flow, pipe_head, pipe_tile blocks
void write_nutrient_point_series(run_state& rs);     // nutrient hydrograph rows
void write_contam_linknode_steps(run_state& rs);     // constituent link/node dataset blocks
void write_xy_output_row(run_state& rs, double julian);  // XY output row

// Parts of write_map_output.
void fill_sediment_map_sources(run_state& rs);       // map_sed_flux_out, map_sed_volume_out, map_susp_sed_out
void write_nutrient_map_output(run_state& rs);       // nutrient map and link/node steps
void write_contam_map_steps(run_state& rs);          // constituent concentration and mass maps
