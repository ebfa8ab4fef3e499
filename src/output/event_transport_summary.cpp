#include "output/event_transport_summary.h"
#include "quality/constituent_setup.h"
#include "run/run_state.h"

// Not built yet: the constituent and sediment sections write nothing until
// the transport records of those processes exist.
void compute_event_constituent_balances(run_state&) {}
// Until then each event end shows the run's constituent mass balances so far.
void write_event_constituent_summaries(run_state& rs) { write_constituent_balances(rs); }
