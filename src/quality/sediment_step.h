// Overland erosion and deposition of one overland step.
#pragma once

struct run_state;
struct ov_sed_record;

// Detaches soil by rain splash and by flow, moves suspended sediment across
// the cell faces up to the transport capacity of the face flows, lets the
// outlet carry its share out of the watershed, settles suspended sediment by
// its fall velocity, and books the step's net deposition per cell (moving the
// ground with adjust_elev). dt: the overland step, s. Runs after the water
// has been routed; does nothing unless overland sediment is set up.
void step_overland_sediment(run_state& rs, double dt);

// Sediment totals per class (classes + 1 slots, class 0 the sum over the
// classes), m3, summed over the cells in cell order.
struct sediment_totals {
    double* eroded;      // net volume taken from the parent soil (positive when eroded)
    double* suspended;   // suspended in the water
    double* deposited;   // loose deposit on the surface
    double* exported;    // left the watershed through the outlet
};
void sum_sediment_totals(const ov_sed_record& s, int cells, const sediment_totals& t);
