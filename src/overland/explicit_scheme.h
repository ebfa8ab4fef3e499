// Explicit overland scheme: a Manning (diffusive-wave) flux across every cell
// face, the depths updated from the face flows, repeated in sub-steps until
// the overland step is covered. A face that would move too much water in one
// sub-step restarts the step with a sub-step three times shorter, which is
// then kept for the next four steps.
#pragma once

struct run_state;

// Routes the overland water of one overland step of dt seconds. Afterwards
// ov_qx / ov_qy hold the flow (m3/s, positive towards rightcon / belowcon) of
// the last sub-step. Returns the volume that left through the outlet cell
// (m3); 0 when a channel network is routed.
//
// Sound behaviour beyond the plain face law: every face flow is computed by
// the cell that owns the face and every cell then sums its four faces, so the
// result is the same for any number of threads; a donor never passes more
// water than it holds in a sub-step (its outflows are scaled down when they
// would); the outlet drains at most its own water; the last sub-step ends
// exactly at dt; a level water surface carries no flow; the outflow part of
// the split test looks at the cell the water leaves.
double route_overland_explicit(run_state& rs, double dt);

// The face loops run as AVX2 code where the processor has it, else as plain
// x86-64 (or portable) code; both give the same bits. True makes every later
// step run the plain code (tests that compare the two, benchmarks); not while
// a step runs.
// The ADE sweeps follow the same choice.
void set_plain_overland_kernel(bool plain);

// True while set_plain_overland_kernel(true) holds.
bool plain_overland_kernel();
