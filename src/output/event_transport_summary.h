// Constituent and sediment sections of the end-of-event summary.
#pragma once

struct run_state;

// Per-constituent mass-balance errors of the event (soil, overland, channel,
// lake), computed before the event report is written.
void compute_event_constituent_balances(run_state& rs);
// Soil, overland, channel and lake constituent summaries of the event.
void write_event_constituent_summaries(run_state& rs);
// Overland and channel sediment blocks of the event (overland erosion on).
void write_event_sediment_summaries(run_state& rs);
