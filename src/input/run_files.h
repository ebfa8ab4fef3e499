// Opening the run's input and output files at start-up.
#pragma once

struct run_state;

// Opens, in one fixed order, every file that the cards name and the chosen
// options need, each through its own file object of the run state. The first
// file that cannot be opened ends the step with its role in error_record.what,
// the name tried in error_record.file_name, the code (4, or 48 to 51 for the
// location outputs) and the stop flag. current_summary_file designates the
// summary file as soon as it is open.
void open_run_files(run_state& rs);

// Opens the segment-model flow file of the card k4_input (not with map type 4)
// and writes its header lines; called last by open_run_files, after the
// output names were checked. A file that does not open is not reported.
void open_segment_flow_file(run_state& rs);

// Closes every file object that open_run_files may have opened (those still
// open; the summary file last).
void close_run_file_objects(run_state& rs);

// Header line of the evaporation output "evap_out" for the run's infiltration method.
const char* evap_out_header(const run_state& rs);

// Service of the output part that the opening calls (defined with the
// nutrient outputs): opens the nutrient hydrograph-style outputs; a failure
// leaves code 4 and the stop flag.
void open_nutrient_hydrograph_files(run_state& rs);
