#include "output/run_transport_summary.h"
#include "quality/constituent_setup.h"
#include "run/run_state.h"

// Not built yet: these sections write nothing until the sediment,
// constituent and nutrient records exist.
void write_run_transport_summaries(run_state& rs) { write_constituent_balances(rs); }
