// Contaminant inputs and initial constituent state.
#pragma once

struct run_state;

void read_contaminant_inputs(run_state& rs);
void init_constituent_state(run_state& rs);
