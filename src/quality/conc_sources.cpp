// Overland constituent sources and sinks: rain load, infiltration loss,
// soil-surface exchange, first-order decay, the overland outlet and the
// lateral exchange with the channel nodes. Rain and the lateral exchange
// move mass at once; the others queue amounts that the cell budget of the
// transport step applies.
#include <algorithm>
#include <cmath>

#include "channel/channel_records.h"
#include "quality/conc_lakes.h"
#include "quality/constituent_setup.h"
#include "quality/constituent_steps.h"
#include "quality/nutrients.h"
#include "run/run_state.h"

namespace {

inline size_t ix(int i) { return static_cast<size_t>(i); }

// Elapsed seconds of a block and its new last time.
double block_seconds(const run_state& rs, double& last) {
    const double s = (rs.time - last) * kConSecondsPerDay;
    last = rs.time;
    return s > 0.0 ? s : 0.0;
}

// Rain load: the effective rain volume of the step (m3) at the rain
// concentration, queued so that the transport adds it at the rate the water
// came (added at once, the cells would run about a Courant number of the
// step below the rain concentration at equilibrium).
void add_precipitation_load(run_state& rs) {
    const int n = rs.num_constituents, cells = rs.GNUM;
    // The volumes of the last rain step (the step that ends the rain
    // included), taken once: a pass without a new rain step takes none.
    if (rs.rain_cell_volume.size() <= ix(cells) || rs.con_rain_loaded == rs.rain_cell_volume_writes) return;
    rs.con_rain_loaded = rs.rain_cell_volume_writes;
    for (int i = 1; i <= n; ++i) {
        const double c0 = rs.precip_conc.size >= i ? rs.precip_conc[i] : 0.0;   // g/m3
        if (!(c0 > 0.0)) continue;
        std::vector<double>& P = rs.con.pend_precip[ix(i)];
        for (int j = 1; j <= cells; ++j) {
            const double p = rs.rain_cell_volume[ix(j)] * c0;
            if (p > 0.0) P[ix(j)] += p;
        }
    }
}

// Infiltration: a wet cell queues Cw x V; a cell that fell dry hands all of
// its mass to the soil at once.
void queue_infiltration_loss(run_state& rs) {
    const int n = rs.num_constituents, cells = rs.GNUM;
    if (rs.ov_con_infil_volume.size() <= ix(cells)) return;
    for (int i = 1; i <= n; ++i) {
        std::vector<double>& M = rs.con.mass[ix(i)];
        std::vector<double>& C = rs.con.conc[ix(i)];
        std::vector<double>& P = rs.con.pend_infil[ix(i)];
        std::vector<double>& S = rs.con.pend_soil_in[ix(i)];
        double handed = 0.0;   // g
        for (int j = 1; j <= cells; ++j) {
            const double V = rs.ov_con_infil_volume[ix(j)];   // m3
            const double h = rs.ov_depth[ix(j)];
            if (h < kConDry && M[ix(j)] > kConDry && V > kConDry) {
                S[ix(j)] += M[ix(j)];
                handed += M[ix(j)];
                M[ix(j)] = 0.0;
                C[ix(j)] = 0.0;
                rs.con_h_last[ix(j)] = h;   // no mass left in the water it held
            } else if (V > 0.0) {
                P[ix(j)] += C[ix(j)] * V;
            }
        }
        rs.con_tot.infil[ix(i)] += handed / 1000.0;
    }
    std::fill(rs.ov_con_infil_volume.begin(), rs.ov_con_infil_volume.end(), 0.0);
}

// Exchange with the surface soil (no soil layers): the water takes up to its
// surface-soil concentration t at rate a (m/s) x (t - Cw), from the land mass.
void exchange_soil_surface(run_state& rs, double dt) {
    const int n = rs.num_constituents, cells = rs.GNUM;
    const double area = rs.cell_size * rs.cell_size;
    for (int i = 1; i <= n; ++i) {
        std::vector<double>& C = rs.con.conc[ix(i)];
        std::vector<double>& land = rs.con.land[ix(i)];
        std::vector<double>& pend = rs.con.pend_exchange[ix(i)];
        const std::vector<double>& a = rs.con.uptake[ix(i)];
        const std::vector<double>& t = rs.con.soil_conc[ix(i)];
        for (int j = 1; j <= cells; ++j) {
            const double h = rs.ov_depth[ix(j)];
            if (h < kConDry || land[ix(j)] < kConDry || !(t[ix(j)] > C[ix(j)])) continue;
            const double W = h * area;   // m3
            double o = (t[ix(j)] - C[ix(j)]) * a[ix(j)] * area * dt;
            o = std::min(o, land[ix(j)]);
            // The water never passes the soil concentration.
            const double excess = (C[ix(j)] * W + o) / W - t[ix(j)];
            if (excess > kConDry) o -= excess * W;
            if (!(o > 0.0)) continue;
            pend[ix(j)] += o;
            land[ix(j)] -= o;
        }
    }
}

// Exchange with the soil layer: the water moves towards the pore-water
// concentration w of layer 1 at rate a (m/s) x (w - Cw), never past the
// common concentration of the two and never more than the dissolved mass of
// the side it leaves.
void exchange_soil_layer(run_state& rs, double dt) {
    const int n = rs.num_constituents, cells = rs.GNUM;
    const double area = rs.cell_size * rs.cell_size;
    for (int i = 1; i <= n; ++i) {
        if (rs.constituent_type[ix(i)] != 1) continue;
        std::vector<double>& C = rs.con.conc[ix(i)];
        std::vector<double>& M = rs.con.mass[ix(i)];
        std::vector<double>& land = rs.con.land[ix(i)];
        std::vector<double>& pend = rs.con.pend_exchange[ix(i)];
        const std::vector<double>& a = rs.con.uptake[ix(i)];
        for (int j = 1; j <= cells; ++j) {
            const double h = rs.ov_depth[ix(j)];
            const double t = layer_water_depth(rs, j);   // m
            if (h < kConDry || !(t > kConDry) || !(a[ix(j)] > 0.0) || !(dt > 0.0)) continue;
            const double f = layer_dissolved_fraction(rs, i, j);
            if (!(f > 0.0)) continue;
            const double W = h * area;                              // m3
            const double held = layer1_free_mass(rs, i, j);         // g in layer 1, not queued
            const double w = held * f / (t * area);                 // pore water, g/m3
            const double c = C[ix(j)] + pend[ix(j)] / W;            // water with what is queued
            double o = (w - c) * a[ix(j)] * area * dt;
            // The common concentration both sides reach when o has moved.
            const double even = (w - c) / (1.0 / W + f / (t * area));
            o = o > 0.0 ? std::min({o, even, f * held}) : std::max({o, even, -std::max(M[ix(j)] + pend[ix(j)], 0.0)});
            if (o == 0.0) continue;
            pend[ix(j)] += o;
            land[ix(j)] -= o;
        }
    }
}

// First-order decay over the step with the mean of the old and new depths,
// at most the mass held in the smaller of the two.
void queue_overland_decay(run_state& rs, double dt) {
    const int n = rs.num_constituents, cells = rs.GNUM;
    const double area = rs.cell_size * rs.cell_size;
    for (int i = 1; i <= n; ++i) {
        const std::vector<double>& C = rs.con.conc[ix(i)];
        const std::vector<double>& k = rs.con.decay[ix(i)];
        std::vector<double>& pend = rs.con.pend_decay[ix(i)];
        for (int j = 1; j <= cells; ++j) {
            const double h = rs.ov_depth[ix(j)], hl = rs.con_h_last[ix(j)];
            const double c = C[ix(j)];
            if (h < kConDry || c < kConDry) continue;
            pend[ix(j)] += c * k[ix(j)] * 0.5 * (h + hl) * area * dt;
            pend[ix(j)] = std::min(pend[ix(j)], c * std::min(h, hl) * area);
        }
    }
}

// Overland outlet (no channel routing): the outlet cell's water that left
// since the block last ran carries its concentration.
void queue_outlet_mass(run_state& rs) {
    const int o = rs.outlet_cell;
    if (o >= 1 && o <= rs.GNUM) {
        for (int i = 1; i <= rs.num_constituents; ++i)
            rs.con.exit_mass[ix(i)] += rs.con.conc[ix(i)][ix(o)] * rs.ov_con_outlet_volume;
    }
    rs.ov_con_outlet_volume = 0.0;
}

// Water that came into cell j at once (`volume` m3) bringing `mass` g of
// constituent i (added to its mass by the caller): the cell's mass stands in
// more water now. Sets the concentrations of every constituent of the cell.
void settle_cell(run_state& rs, int j, double area) {
    const double h0 = rs.con_h_last[ix(j)];
    for (int i = 1; i <= rs.num_constituents; ++i) {
        const double M = rs.con.mass[ix(i)][ix(j)];
        rs.con.conc[ix(i)][ix(j)] = h0 > kConDry && M > 0.0 ? M / (h0 * area) : 0.0;
    }
}

// Takes the mass of `volume` m3 of cell j's water at its concentration (at
// most what it holds), g, for constituent i.
double take_cell_water_mass(run_state& rs, int i, int j, double volume) {
    double& M = rs.con.mass[ix(i)][ix(j)];
    const double take = std::min(volume * rs.con.conc[ix(i)][ix(j)], std::max(M, 0.0));
    M -= take;
    return take;
}

// Lake store of cell j (0 none).
int lake_of_cell(const run_state& rs, int j) {
    const int* lake = lake_cell_ids(rs);
    return lake != nullptr && j >= 1 && j <= rs.GNUM ? lake[j] : 0;
}

// The surface water the processes moved between cells since the last
// sources step, in the order they moved it: each move takes the giving
// side's concentration (a lake side its lake's) and never more than it
// holds; water from outside carries nothing, water to outside takes its
// mass out of the watershed (booked with the boundary outflow).
void apply_surface_moves(run_state& rs) {
    std::vector<con_move>& moves = rs.con.moves;
    if (moves.empty()) return;
    const double area = rs.cell_size * rs.cell_size;
    constituent_lakes& cl = rs.con_lake;
    for (const con_move& mv : moves) {
        const double V = mv.volume;
        if (!(V > 0.0)) continue;
        const int from_lake = lake_of_cell(rs, mv.from), to_lake = lake_of_cell(rs, mv.to);
        rs.con.moved_volume += V;
        for (int i = 1; i <= rs.num_constituents; ++i) {
            if (rs.constituent_type[ix(i)] == 3) continue;
            double moved = 0.0;   // g
            if (from_lake > 0) {
                double& M = cl.mass[ix(i)][ix(from_lake)];
                moved = std::min(V * cl.conc[ix(i)][ix(from_lake)], std::max(M, 0.0));
                M -= moved;
                if (cl.channel) rs.con_tot.ov_to_lake[ix(i)] -= moved / 1000.0;
            } else if (mv.from >= 1 && mv.from <= rs.GNUM) {
                moved = take_cell_water_mass(rs, i, mv.from, V);
            }
            rs.con_tot.surface_moved[ix(i)] += moved / 1000.0;
            if (to_lake > 0) {
                cl.mass[ix(i)][ix(to_lake)] += moved;
                if (cl.channel) rs.con_tot.ov_to_lake[ix(i)] += moved / 1000.0;
            } else if (mv.to >= 1 && mv.to <= rs.GNUM) {
                rs.con.mass[ix(i)][ix(mv.to)] += moved;
            } else {
                rs.con_tot.bc_out[ix(i)] += moved / 1000.0;
            }
        }
        if (from_lake == 0 && mv.from >= 1 && mv.from <= rs.GNUM) {
            double& h0 = rs.con_h_last[ix(mv.from)];
            h0 = std::max(h0 - V / area, 0.0);
            if (!(h0 > kConDry)) settle_cell(rs, mv.from, area);
        }
        if (to_lake == 0 && mv.to >= 1 && mv.to <= rs.GNUM) {
            rs.con_h_last[ix(mv.to)] += V / area;
            settle_cell(rs, mv.to, area);
        }
        for (int u : {from_lake, to_lake})
            if (u > 0)
                for (int i = 1; i <= rs.num_constituents; ++i) set_lake_conc(rs, i, u);
    }
    moves.clear();
}

// Water the overland point sources gave (at their concentrations) or took
// (at the cell's) and the water the table exchanged with the surface
// (from the aquifer at its groundwater concentration, to it at the cell's),
// since the last sources step: the mass moves at once, booked as point and
// exfiltration mass.
void apply_point_and_table_water(run_state& rs) {
    const double area = rs.cell_size * rs.cell_size;
    const int n = rs.num_constituents;
    std::vector<double>* volumes[2] = {&rs.con.point_volume, &rs.ov_con_exchange_volume};
    for (int k = 0; k < 2; ++k) {
        std::vector<double>& vol = *volumes[k];
        if (vol.size() <= ix(rs.GNUM)) continue;
        for (int j = 1; j <= rs.GNUM; ++j) {
            const double V = vol[ix(j)];   // m3, + into the cell
            if (V == 0.0) continue;
            vol[ix(j)] = 0.0;
            if (lake_of_cell(rs, j) > 0) continue;   // a lake's water is the lake's
            for (int i = 1; i <= n; ++i) {
                if (rs.constituent_type[ix(i)] == 3) continue;
                double moved = 0.0;   // g, + into the cell
                if (V > 0.0) {
                    const double c = k == 0 ? (ix(i) < rs.con.point_conc.size() ? rs.con.point_conc[ix(i)][ix(j)] : 0.0)
                                            : groundwater_conc(rs, i, j);
                    moved = V * c;
                    rs.con.mass[ix(i)][ix(j)] += moved;
                } else {
                    moved = -take_cell_water_mass(rs, i, j, -V);
                }
                (k == 0 ? rs.con_tot.ov_point : rs.con_tot.ov_exfil)[ix(i)] += moved / 1000.0;
            }
            double& h0 = rs.con_h_last[ix(j)];
            h0 = std::max(h0 + V / area, 0.0);
            if (V > 0.0 || !(h0 > kConDry)) settle_cell(rs, j, area);
        }
    }
}

}  // namespace

void record_surface_move(run_state& rs, int from, int to, double volume) {
    if (!rs.overland_constituents || !(volume > 0.0) || from == to) return;
    rs.con.moves.push_back(con_move{from, to, volume});
}

void step_overland_constituent_sources(run_state& rs) {
    if (!rs.overland_constituents || rs.num_constituents < 1) return;
    // Water moved at once with its mass first: the blocks below and the
    // transport then see the cells as that water left them.
    apply_surface_moves(rs);
    apply_point_and_table_water(rs);
    const bool table = rs.contaminant_table_option == 1 && rs.mapping_table_given;
    const double interval_days = rs.ov_con_step_days;
    if (process_due(rs, rs.ov_con_rain_next)) {
        rs.con_pending_interval[kConBlockRain] = block_seconds(rs, rs.ov_con_rain_last);
        add_precipitation_load(rs);
        rs.ov_con_rain_next = rs.rain_next;
    }
    if (process_due(rs, rs.ov_con_infil_next)) {
        rs.con_pending_interval[kConBlockInfil] = block_seconds(rs, rs.ov_con_infil_last);
        queue_infiltration_loss(rs);
        rs.ov_con_infil_next = rs.infil_next > rs.time + rs.time_tolerance
                                   ? rs.infil_next
                                   : rs.time + interval_days;
    }
    if (table && process_due(rs, rs.ov_con_exchange_next)) {
        const double dt = block_seconds(rs, rs.ov_con_exchange_last);
        rs.con_pending_interval[kConBlockExchange] = dt;
        if (rs.soil_con_trans) {
            exchange_soil_layer(rs, dt);
            rs.ov_con_exchange_next = rs.time + interval_days;
        } else {
            exchange_soil_surface(rs, dt);
            rs.ov_con_exchange_next = rs.time + interval_days * kinetics_factor(rs);
        }
    }
    if (table && process_due(rs, rs.ov_con_decay_next)) {
        const double dt = block_seconds(rs, rs.ov_con_decay_last);
        rs.con_pending_interval[kConBlockDecay] = dt;
        queue_overland_decay(rs, dt);
        rs.ov_con_decay_next = rs.time + interval_days * kinetics_factor(rs);
    }
    step_nutrient_uptake(rs);
    if (!rs.chan_explic && process_due(rs, rs.ov_con_outlet_next)) {
        rs.con_pending_interval[kConBlockOutlet] = block_seconds(rs, rs.ov_con_outlet_last);
        queue_outlet_mass(rs);
        rs.ov_con_outlet_next = rs.time + interval_days;
    }
}

// Lateral exchange with the channel nodes over the water each grid-stream
// segment passed in the channel step just made (m3, + from cell to
// channel), so that the mass reaches the node in the step its water does.
// The mass moves at once and never exceeds what the giving side holds, so
// both sides book the same amount; the cell's mass stands in the water it
// kept (con_h_last follows the water the exchange moved).
void exchange_lateral_constituents(run_state& rs) {
    if (!rs.overland_constituents || rs.num_constituents < 1 || !rs.chan_explic) return;
    const bool nodes = rs.chan_con_trans && rs.con_chan.stride > 0;
    const double area = rs.cell_size * rs.cell_size;
    const int stride = rs.con_chan.stride;
    bool moved_any = false;
    for (int s = 1; s <= rs.num_stream_cells; ++s) {
        if (ix(s) >= rs.gst_Vlat.size()) break;
        for (int k = 1; k <= rs.gst_ncellsingrid[ix(s)]; ++k) {
            if (ix(k) >= rs.gst_Vlat[ix(s)].size()) break;
            const double V = rs.gst_Vlat[ix(s)][ix(k)];
            rs.gst_Vlat[ix(s)][ix(k)] = 0.0;
            const int link = rs.gst_link[ix(s)][ix(k)], node = rs.gst_node[ix(s)][ix(k)];
            const int cell = rs.gst_gnum[ix(s)][ix(k)];
            if (cell < 1 || cell > rs.GNUM || link < 1 || link > rs.links) continue;
            // A cell of a channel-network lake gives the channel nothing of its own.
            if (rs.channel_lakes && ix(cell) < rs.lake_mask.size() && rs.lake_mask[ix(cell)] >= 1)
                continue;
            if (!con_transport_link(rs.ltype[ix(link)]) || node < 1 || node > rs.nx[ix(link)])
                continue;
            if (V == 0.0) continue;
            moved_any = true;
            const size_t f = static_cast<size_t>(stride * link + node);
            double& h0 = rs.con_h_last[ix(cell)];
            const double kept = std::max(h0 - V / area, 0.0);   // m
            for (int i = 1; i <= rs.num_constituents; ++i) {
                if (rs.constituent_type[ix(i)] == 3) continue;
                double& M = rs.con.mass[ix(i)][ix(cell)];
                double& C = rs.con.conc[ix(i)][ix(cell)];
                double moved = 0.0;   // g, + from cell to channel
                if (V > 0.0) {
                    // Without channel transport the mass leaves the watershed with the water.
                    moved = std::min(V * C, std::max(M, 0.0));
                    M -= moved;
                    if (!(kept > kConDry)) C = 0.0;   // the cell gave all its water
                    if (nodes) rs.con_chan.qlat_mass[ix(i)][f] += moved;
                } else if (nodes) {
                    double& nm = rs.con_chan.mass[ix(i)][f];
                    const double take = std::min(-V * rs.con_chan.conc[ix(i)][f], std::max(nm, 0.0));
                    nm -= take;
                    M += take;
                    moved = -take;
                    C = kept > kConDry && M > 0.0 ? M / (kept * area) : 0.0;
                }
                if (moved != 0.0) rs.con_tot.qlat[ix(i)] += moved / 1000.0;
            }
            h0 = kept;
        }
    }
    // Node concentrations follow the masses taken from them.
    if (nodes && moved_any) {
        for (int i = 1; i <= rs.num_constituents; ++i) {
            for (int l = 1; l <= rs.links; ++l) {
                if (!con_transport_link(rs.ltype[ix(l)])) continue;
                for (int j = 1; j <= rs.nx[ix(l)]; ++j) {
                    const size_t f = static_cast<size_t>(stride * l + j);
                    const double v = rs.area(ix(j), ix(l)) * rs.dx[ix(l)];
                    double& nm = rs.con_chan.mass[ix(i)][f];
                    rs.con_chan.conc[ix(i)][f] = v > kConDry && nm > 0.0 ? nm / v : 0.0;
                }
            }
        }
    }
}
