#include "output/output.h"
#include "core/run_state.h"

// Not built yet: these steps do nothing.
void open_map_datasets(run_state&) {}
void write_linknode_headers(run_state&) {}
void setup_contam_map_outputs(run_state&) {}
void setup_contam_linknode_outputs(run_state&) {}
void read_vego_exchange_maps(run_state&) {}
void setup_xy_outputs(run_state&) {}
void read_soil_moisture_output_cells(run_state&) {}
void setup_k4_coupling(run_state&) {}
void write_step_output(run_state&) {}
void write_map_output(run_state&) {}
void write_run_summary(run_state&) {}
