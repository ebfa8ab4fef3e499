// Event control: event start, peak flow, progress line, end tests, event transition and end-of-event accounting.
#pragma once

struct run_state;

void start_event(run_state& rs);
void track_peak_flow(run_state& rs);
void print_progress(run_state& rs);
void check_run_end(run_state& rs);
void next_event(run_state& rs);
void finish_event(run_state& rs);
