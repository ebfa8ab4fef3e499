// The cell budget of the overland constituent transport on plain values:
// what the pending amounts of the source blocks give to and take from a
// cell's water in one transport step. Inline: the transport sweep applies it
// to every cell.
#pragma once

#include "quality/constituent_setup.h"
#include "quality/constituent_store.h"

// Amounts one cell budget applied, g.
struct cell_taken {
    double precip = 0.0, exchange = 0.0, decay = 0.0, infil = 0.0;
};

// Pending amounts of one cell and constituent, g (see constituent_cells).
struct cell_pending {
    double precip = 0.0, exchange = 0.0, decay = 0.0, infil = 0.0;
};

// Intervals over which the source blocks queued their pending amounts, s
// (indexed by kConBlockRain .. kConBlockDecay).
struct pending_clock {
    double interval[4] = {0.0, 0.0, 0.0, 0.0};
};

// Takes from the mass `S` (g) of a cell's water the part of the pending sink
// `pending` (g) that a step of `dt` s applies when its block ran over
// `interval` s, at most all of S (the rest of the sink is then dropped). A
// pending sink that is not positive is cleared. Returns the mass taken, g.
inline double take_pending_sink(double dt, double interval, double& pending, double& S) {
    if (pending <= 0.0) {
        pending = 0.0;
        return 0.0;
    }
    double take = scaled_pending_amount(dt, interval, pending);
    if (take > S) {
        take = S;
        pending = 0.0;
    } else {
        pending -= take;
    }
    S -= take;
    return take;
}

// The cell budget on values: applies the pending amounts `p` to a cell that
// holds M g for a step of dt s (> 0), updating `p`; returns the net source
// rate, g/s. `to_land` gets the part of a limited negative exchange that
// returns to the land (g, 0 when none). Sinks never take more than the cell
// holds; a limited sink empties its pending store.
inline double cell_budget(const pending_clock& k, double dt, double M, cell_pending& p,
                          cell_taken& taken, double& to_land) {
    double S = M;
    taken = cell_taken{};
    to_land = 0.0;
    // Rain: a source.
    if (p.precip > 0.0) {
        const double take = scaled_pending_amount(dt, k.interval[kConBlockRain], p.precip);
        p.precip -= take;
        S += take;
        taken.precip = take;
    }
    // Soil-surface exchange: a source; a negative amount is limited to what the water holds.
    if (p.exchange != 0.0) {
        double take = scaled_pending_amount(dt, k.interval[kConBlockExchange], p.exchange);
        if (take < 0.0 && -take > S) {
            take = -S;
            to_land = p.exchange - take;   // the part not taken returns to the land
            p.exchange = 0.0;
        } else {
            p.exchange -= take;
        }
        S += take;
        taken.exchange = take;
    }
    // Decay and infiltration: sinks.
    taken.decay = take_pending_sink(dt, k.interval[kConBlockDecay], p.decay, S);
    taken.infil = take_pending_sink(dt, k.interval[kConBlockInfil], p.infil, S);
    return dt > 0.0 ? (S - M) / dt : 0.0;
}
