// Run clock: time step and output intervals, start clock, clock advance.
#pragma once

struct run_state;

void check_time_settings(run_state& rs);
void set_start_clock(run_state& rs);
void advance_clock(run_state& rs);
