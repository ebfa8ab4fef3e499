// Output set-up and per-step output.
#pragma once

struct run_state;

void open_map_datasets(run_state& rs);
void write_linknode_headers(run_state& rs);
void setup_contam_map_outputs(run_state& rs);
void setup_contam_linknode_outputs(run_state& rs);
void read_vego_exchange_maps(run_state& rs);
void setup_xy_outputs(run_state& rs);
void read_soil_moisture_output_cells(run_state& rs);
void setup_k4_coupling(run_state& rs);
void write_step_output(run_state& rs);
void write_map_output(run_state& rs);
void write_run_summary(run_state& rs);
