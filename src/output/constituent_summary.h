// Constituent sections of the event and run-end summaries: the totals of a
// span (one event or the whole run) gathered from the booked run totals and
// the stores, the soil, overland, channel, lake and global balances formed
// from them, and the writers of the sections.
#pragma once
#include "quality/constituent_store.h"

struct run_state;
struct file_object;

// Processes that decide which lines and balance terms a constituent's
// sections hold.
struct con_summary_flags {
    int type = 1;                  // 1 contaminant, 2 nutrient species, 3 nutrient soil pool
    bool table = false;            // decay and exchange: the contaminant table came from the mapping table
    bool soil = false;             // soil-layer constituents (soil_con_trans)
    bool static_soil = false;      // static soil concentrations (soil_static_conc)
    bool water_table = false;      // a water table is simulated
    bool channel_routing = false;  // explicit channel routing
    bool channel_nodes = false;    // channel constituent transport (chan_con_trans)
    bool boundaries = false;       // overland boundaries or pumps take water from the cells
    bool lakes = false;            // channel-network lakes
    bool lake_gw = false;          // lake-groundwater exchange (MLAKE)
    bool stream_exchange = false;  // stream-aquifer exchange
    bool chan_decay = false;       // the channel decays this constituent (type 1, a decay rate)
    bool nsm = false;              // nutrient sub-model
    bool sediment = false;         // sediment-bound constituents (sediment_contam)
};

// One constituent's amounts over a span, kg: the stocks at its start and end
// and what each process booked during it (the run totals' meanings).
struct con_span {
    constituent_stocks start, end;
    double land_event_start = 0.0;   // land mass at the span's start (no soil layer), kg
    double precip = 0, infil = 0, ov_decay = 0, uptake = 0, ov_out = 0, qlat = 0, ov_neg = 0;
    double chan_out = 0, chan_decay = 0, chan_clip = 0, soil_decay = 0;
    double ov_point = 0, ov_exfil = 0, exfil_related = 0, soil_seep_down = 0, soil_seep_up = 0;
    double soil_nsm_uptake = 0, soil_sediment = 0, ov_sed_source = 0, ov_attached_out = 0;
    double ov_to_lake = 0, ov_nsm_gain = 0, ov_nsm_loss = 0;
    double chan_point = 0, chan_gw = 0, chan_nsm_gain = 0, chan_nsm_loss = 0, chan_sed_exchange = 0;
    double chan_attached_qlat = 0, chan_attached_out = 0;
    double lake_precip = 0, lake_point = 0, lake_gw = 0, lake_decay = 0, chan_to_lake = 0;
    double lake_to_chan = 0, lake_chan_exchange = 0, lake_nsm_gain = 0, lake_nsm_loss = 0;
    double lake_attached_exchange = 0, lake_attached_ov_in = 0, lake_attached_chan_in = 0;
    // What infiltration brought this constituent's soil less its own
    // infiltration, kg: 0 but for a nutrient soil pool, whose soil takes in
    // what the species related to it infiltrate.
    double soil_infil_shift = 0;
    // What a nutrient species without a soil pool infiltrated into its own
    // land store, kg (0 for every other constituent).
    double land_infil = 0;
};

// What came in and went out of one store and its error (in - out) / in x 100
// (0 when `in` does not exceed the section's threshold), kg and percent.
struct con_balance {
    double in = 0.0, out = 0.0, error = 0.0;
};

// Flags of constituent i (1..n) in this run.
con_summary_flags constituent_summary_flags(const run_state& rs, int i);
// Stocks of constituent i now, summed per store in cell, layer, node and lake order.
constituent_stocks constituent_stocks_now(const run_state& rs, int i);
// Totals of constituent i over the current event (since the event-start
// books) or over the whole run (initial stocks from the set-up).
con_span constituent_event_span(const run_state& rs, int i);
con_span constituent_run_span(const run_state& rs, int i);

// Balances of one store; `threshold` is the least `in` that gives an error.
con_balance soil_constituent_balance(const con_span& s, const con_summary_flags& f, double threshold);
con_balance overland_constituent_balance(const con_span& s, const con_summary_flags& f, double threshold);
con_balance channel_constituent_balance(const con_span& s, const con_summary_flags& f, double threshold);
con_balance lake_constituent_balance(const con_span& s, const con_summary_flags& f);
// The whole watershed over the run; `mass_out` receives what left the system, kg.
con_balance global_constituent_balance(const con_span& s, const con_summary_flags& f, double& mass_out);

// Books of the event start: the run totals and the stocks of every constituent.
void start_constituent_event_books(run_state& rs);
// Balance errors of every constituent over the current event (soil,
// overland, channel, lake), percent, into run_state::con_errors.
void compute_event_constituent_errors(run_state& rs);
// Constituent sections of the event report (soil, overland, channel with
// lakes), with the errors of compute_event_constituent_errors.
void write_event_constituent_sections(run_state& rs);
// Constituent sections of the run-end summary (soil, overland, channel, lake,
// global) and the nutrient dm/dt totals.
void write_run_constituent_sections(run_state& rs);
