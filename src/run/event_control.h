// Event control: the time-loop steps that open, watch, end and account a
// rainfall event.
//
//   start_event      re-synchronises the process clocks with a new event and
//                    resets the per-event accumulators (event start pass only)
//   track_peak_flow  running peak of the outlet discharge
//   print_progress   progress line after each overland or channel update
//   check_run_end    end tests of the event and of the simulation
//   next_event       hands the finished event over and points the clocks at
//                    the next event's start
//   finish_event     final storages, mass balance, event summary and the
//                    calibration values of the event (once per event)
//
// Flags shared with the other steps: `running` (the loop goes on),
// `event_ended` (set by check_run_end, cleared by next_event in the same
// pass), `finish_pending` (asks finish_event to run) and `event_active`.
//
// Events are numbered from 1; event_start_time(rs, k) (core/clock.h) is the
// start of event k. No step reads the start of an event after the last one.
#pragma once

struct run_state;

void start_event(run_state& rs);
void track_peak_flow(run_state& rs);
void print_progress(run_state& rs);
void check_run_end(run_state& rs);
void next_event(run_state& rs);
void finish_event(run_state& rs);

// Start (Julian days) of the event after the current one into `start`; false,
// leaving `start` alone, when the current event is the last one or the next
// start lies outside the event table.
bool following_event_start(const run_state& rs, double& start);

// Link-type bits of the channel network.
constexpr int kLinkErodible = 0x02;
constexpr int kLinkTrapezoid = 0x04;
constexpr int kLinkBreakpoint = 0x08;
constexpr int kLinkThirdSection = 0x10;
constexpr int kLinkLake = 0x20;
constexpr int kLinkStructure = 0x40;
constexpr int kLinkOvertaken = 0x80;

// An ordinary link: neither a structure nor a lake link, and not a channel
// link that a lake has overtaken.
bool ordinary_link(int ltype);

// Relative saturation (-) of the top sampling depth of a cell's Richards
// column: for K = 1, 2, ... the sum of theta/theta_s x dz over nodes 1..K
// divided by the sum of the thicknesses of nodes 2..K+1, at the first K whose
// thickness sum reaches the sampling depth (the whole column when none does).
// 0 for a cell without a column.
double richards_top_saturation(const run_state& rs, int cell);

// Water contents (m3/m3) of the three layers of a multi-layer soil column,
// recomputed from the wetting front and the root-zone water and clamped into
// [residual, porosity] of each layer; theta[0..2] receive layers 1..3.
// False when the cell's soil type lies outside the soil table.
bool layered_water_contents(const run_state& rs, int cell, double theta[3]);

// Refuses a start date that lies after the start of the last event: prints
// a message naming the date, sets code 4000 and returns false. True when an
// event starts at or after the date (or no start date was given).
bool check_start_date_event(run_state& rs);
