#include "output/output.h"
#include "run/run_state.h"

// Not built yet: these steps do nothing.
void setup_contam_map_outputs(run_state&) {}
void setup_contam_linknode_outputs(run_state&) {}
void read_vego_exchange_maps(run_state&) {}
void setup_xy_outputs(run_state&) {}
void open_nsm_map_datasets(run_state&) {}

// Not built yet: the output parts of the sediment, constituent,
// nutrient and XY records do nothing until those records exist.
void write_contaminant_location_rows(run_state&, double) {}
void write_nutrient_point_series(run_state&) {}
void write_contam_linknode_steps(run_state&) {}
void write_xy_output_row(run_state&, double) {}
void write_nutrient_map_output(run_state&) {}
void write_contam_map_steps(run_state&) {}
