#include "output/run_transport_summary.h"
#include "output/constituent_summary.h"
#include "run/run_state.h"

// The sediment sections and the bed-elevation file are written before these
// (write_run_sediment_summary).
void write_run_transport_summaries(run_state& rs) { write_run_constituent_sections(rs); }
