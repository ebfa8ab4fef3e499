// ADE and ADE-PC overland schemes: alternating-direction explicit sweeps, x
// (across every cell's right face) and y (across its bottom face), the depths
// updated after each sweep, in adaptive sub-steps that cover the overland
// step. ADE-PC takes every sweep as a predictor-corrector (the mean of the
// discharges at the start depths and at the predicted depths).
#pragma once

struct run_state;

constexpr int kSchemeAde = 2;     // overtype of the ADE scheme
constexpr int kSchemeAdePc = 3;   // overtype of the ADE-PC scheme

// Routes the overland water of one overland step of dt seconds with scheme
// kSchemeAde or kSchemeAdePc; `order` 1 sweeps x first, anything else y
// first. Afterwards ov_qx / ov_qy hold the step's mean discharges with
// kSchemeAde and no lakes of either family, else the discharges of the last
// sweep (m3/s, positive towards rightcon / belowcon); ov_qx_sum / ov_qy_sum
// are work arrays of the step. Water exchanged by held
// head-boundary cells goes to vol_head_bc_gain / vol_head_bc_loss, water
// created by raising a negative depth to zero to vol_ov_depth_clip (m3).
// Returns the volume that left through the outlet cell (m3, never below 0;
// 0 when a channel network is routed). A held outlet (boundary type 2, 3 or
// 9) passes on as outlet volume what the basin gives it, and what it gives
// the basin goes to vol_head_bc_gain. A sub-step below 0.001 s stops the run
// through the error record (error_record.stop set) and returns 0.
//
// Sound behaviour beyond the plain sweeps: the flowing cell's depth above its
// retention drives the discharge in both directions; a donor never passes
// more water than it holds in a sweep (its outflows are scaled down when they
// would exceed it by less than 1e-5 m; a larger overdraft restarts the step
// with half the sub-step); ADE-PC has the same sub-steps and limit; the
// outlet drains at most its water; every sum is made per cell and then in
// cell order, so the result is the same for any number of threads. With
// overland lakes a lake cell holds no depth, its faces to cells outside the
// lakes carry the lake law at the lake's level, a lake gives no water below
// its initial level, and the water its cells' faces move goes to the lake's
// inflow (m3) at the end of the step.
double route_overland_ade(run_state& rs, double dt, int scheme, int order);

// The overland step's scan of the cells before an ADE or ADE-PC step of dt
// seconds, made in one pass over the cells together with the scheme's
// sub-step estimate when the step will make one (no lakes of either family,
// not the first step of the run, a first sub-step above 0.1 s): sets
// `water` (some depth above 1e-16 m), `flow` (some face discharge above
// 1e-16 m3/s in magnitude) and `bad` (the first cell whose depth is not a
// number, 0 for none), and keeps the estimate for the coming step, which
// takes it instead of reading the cells again. Returns false, with nothing
// set, when it does not apply.
bool scan_surface_for_ade(run_state& rs, double dt, int& water, int& flow, int& bad);
