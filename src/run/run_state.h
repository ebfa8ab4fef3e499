// The run-state object: everything that belongs to one model run. It is
// composed of the member groups of the subsystems, each owned and filled by
// its subsystem; the groups are constructed in this order and destroyed in
// reverse, so the run's file objects of the input group close last.
#pragma once
#include "core/core_state.h"
#include "input/input_state.h"
#include "hydromet/hydromet_state.h"
#include "overland/overland_state.h"
#include "subsurface/subsurface_state.h"
#include "channel/channel_state.h"
#include "output/output_state.h"
#include "stormdrain/stormdrain_state.h"
#include "quality/quality_state.h"
#include "calibration/calibration_state.h"

struct run_state : input_state, core_state, hydromet_state, overland_state, subsurface_state,
                   channel_state, output_state, stormdrain_state, quality_state,
                   calibration_state {
    run_state() = default;
    run_state(const run_state&) = delete;
    run_state& operator=(const run_state&) = delete;
    ~run_state();
};

// Creates a run state with every member at its default (always on the heap).
run_state* create_run_state();
// Releases the run's lists outside the object and the object itself.
void destroy_run_state(run_state* rs);
#include "run/clock.h"
