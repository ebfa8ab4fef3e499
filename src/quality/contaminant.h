// Contaminant inputs and initial constituent state.
#pragma once

struct run_state;

void read_contaminant_inputs(run_state& rs);

// The constituent related to constituent r across the water/soil boundary,
// with the nutrient block starting at first_nsm (its 9 water species, then
// its 13 soil pools sharing the same indices): table 0 gives the water
// species a soil pool's dissolved part feeds, table 1 the soil pool a water
// species enters. r itself outside the block; -1 when there is none.
int related_constituent_offset(int first_nsm, int r, int table);
void init_constituent_state(run_state& rs);
