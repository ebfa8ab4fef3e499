#include "output/event_transport_summary.h"
#include "output/constituent_summary.h"
#include "run/run_state.h"

void compute_event_constituent_balances(run_state& rs) { compute_event_constituent_errors(rs); }
void write_event_constituent_summaries(run_state& rs) { write_event_constituent_sections(rs); }
