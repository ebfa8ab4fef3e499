// Channel wash load: advection of the fine size classes through the links,
// structures and channel lakes, and the lakes' suspended sediment.
#pragma once

struct run_state;

// One channel step of dt seconds: takes in the step's lateral fine sediment,
// moves the node stores with the water through each node's downstream face
// (predictor and corrector passes, their mean applied), reports the flux at
// every node and at the outlet, and, with channel lakes, settles each lake's
// suspended sediment onto its cells and books its inflow and outflow.
void channel_advection_step(run_state& rs, double dt);
