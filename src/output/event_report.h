// End-of-event summary written into the summary file.
#pragma once

struct run_state;

// Writes the event report of the event that finish_event has just accounted.
void write_event_summary(run_state& rs);
