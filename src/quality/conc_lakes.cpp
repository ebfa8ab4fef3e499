// Lakes as constituent stores. All loops here run on the time-loop thread in
// cell order, so the lake sums never depend on the thread count.
#include "quality/conc_lakes.h"

#include <algorithm>

#include "quality/constituent_setup.h"
#include "quality/nutrients.h"
#include "run/run_state.h"

namespace {

inline size_t ix(int i) { return static_cast<size_t>(i); }

// Lake of cell j in its present extent, 0 none.
inline int lake_of(const run_state& rs, int j) {
    const int u = rs.con_lake.channel ? rs.lake_mask[ix(j)] : rs.oland_lake_new[ix(j)];
    return u >= 1 && u <= rs.con_lake.lakes ? u : 0;
}

void init_overland_lakes(run_state& rs) {
    constituent_lakes& cl = rs.con_lake;
    const int n = rs.num_constituents, lakes = rs.num_overland_lakes, cells = rs.GNUM;
    cl.lakes = lakes;
    cl.mass.assign(ix(n) + 1, std::vector<double>(ix(lakes) + 1, 0.0));
    cl.conc = cl.mass;
    cl.decay.assign(ix(lakes) + 1, 0.0);
    cl.gain.assign(ix(cells) + 1, 0.0);
    const double area = rs.cell_size * rs.cell_size;   // m2
    std::vector<int> count(ix(lakes) + 1, 0);
    for (int i = 1; i <= n; ++i) {
        for (int j = 1; j <= cells; ++j) {
            const int u = rs.oland_lake_mask[ix(j)];
            if (u < 1 || u > lakes) continue;
            const double water = std::max(rs.overland_lakes[ix(u)].level - rs.elevation[ix(j)], 0.0) * area;
            cl.mass[ix(i)][ix(u)] += rs.con.conc[ix(i)][ix(j)] * water;
            if (i == 1) {
                ++count[ix(u)];
                cl.decay[ix(u)] += rs.con.decay[ix(i)][ix(j)];
            }
        }
        double total = 0.0;   // g
        for (int u = 1; u <= lakes; ++u) {
            set_lake_conc(rs, i, u);
            total += cl.mass[ix(i)][ix(u)];
        }
        rs.con_tot.lake_init[ix(i)] = total / 1000.0;
    }
    // The decay coefficients are given per day; one per lake, from constituent 1's cells.
    for (int u = 1; u <= lakes; ++u)
        if (count[ix(u)] > 0) cl.decay[ix(u)] /= count[ix(u)] * kConSecondsPerDay;
}

// Initial concentration of constituent i in a channel-network lake, g/m3:
// a contaminant the channel's (init_chan_conc); a nutrient species its
// stream value when that is one uniform value (a stream map or table gives
// values at nodes, and a lake has none: it starts without the species); a
// soil pool never enters the water.
double channel_lake_initial_conc(const run_state& rs, int i) {
    if (rs.constituent_type[ix(i)] == 1) return rs.init_chan_conc;
    const int k = i - rs.first_nsm_constituent;   // species slot
    if (rs.nsm == nullptr || k < 0 || k >= kNsmSpecies) return 0.0;
    return rs.nsm->st_init_mode[k] == kNsmInitUniform ? rs.nsm->st_init_value[k] : 0.0;
}

void init_channel_lakes(run_state& rs) {
    constituent_lakes& cl = rs.con_lake;
    const int n = rs.num_constituents, lakes = rs.num_channel_lakes;
    cl.lakes = lakes;
    cl.channel = 1;
    cl.mass.assign(ix(n) + 1, std::vector<double>(ix(lakes) + 1, 0.0));
    cl.conc = cl.mass;
    cl.decay.assign(ix(lakes) + 1, rs.chan_decay_coef / kConSecondsPerDay);
    cl.gain.assign(ix(rs.GNUM) + 1, 0.0);
    cl.volume_last.assign(ix(lakes) + 1, 0.0);
    for (int u = 1; u <= lakes; ++u) cl.volume_last[ix(u)] = lake_store_water(rs, u);
    for (int i = 1; i <= n; ++i) {
        const double c0 = channel_lake_initial_conc(rs, i);   // g/m3
        double total = 0.0;   // g
        for (int u = 1; u <= lakes; ++u) {
            cl.mass[ix(i)][ix(u)] = c0 * lake_store_water(rs, u);
            set_lake_conc(rs, i, u);
            total += cl.mass[ix(i)][ix(u)];
        }
        rs.con_tot.lake_init[ix(i)] = total / 1000.0;
    }
}

}  // namespace

void set_lake_conc(run_state& rs, int i, int u) {
    constituent_lakes& cl = rs.con_lake;
    const double W = lake_store_water(rs, u);
    const double m = cl.mass[ix(i)][ix(u)];
    cl.conc[ix(i)][ix(u)] = W > kConDry && m > 0.0 ? m / W : 0.0;
}

bool lake_stores_on(const run_state& rs) {
    const constituent_lakes& cl = rs.con_lake;
    if (cl.lakes < 1) return false;
    return cl.channel ? rs.lake_mask.size() > ix(rs.GNUM) : rs.oland_lake_new.size() > ix(rs.GNUM);
}

const int* lake_cell_ids(const run_state& rs) {
    if (!lake_stores_on(rs)) return nullptr;
    return rs.con_lake.channel ? rs.lake_mask.data() : rs.oland_lake_new.data();
}

double lake_store_water(const run_state& rs, int u) {
    if (rs.con_lake.channel)
        return ix(u) < rs.lake_volume.size() ? std::max(rs.lake_volume[ix(u)], 0.0) : 0.0;
    const overland_lake& lake = rs.overland_lakes[ix(u)];
    return std::max(lake.volume + lake.inflow, 0.0);
}

void init_lake_constituents(run_state& rs) {
    constituent_lakes& cl = rs.con_lake;
    cl = constituent_lakes{};
    const int cells = rs.GNUM;
    // Overland lakes carry only what the cells bring them.
    if (rs.overland_constituents && rs.lakes && rs.num_overland_lakes >= 1 &&
        rs.oland_lake_mask.size() > ix(cells) &&
        rs.oland_lake_new.size() > ix(cells) && rs.elevation.size() > ix(cells) &&
        static_cast<int>(rs.overland_lakes.size()) > rs.num_overland_lakes) {
        init_overland_lakes(rs);
    } else if (rs.channel_lakes && rs.chan_con_trans && rs.num_channel_lakes >= 1 &&
               rs.lake_mask.size() > ix(cells) &&
               static_cast<int>(rs.lake_volume.size()) > rs.num_channel_lakes) {
        init_channel_lakes(rs);
    }
}

void lake_cells_into_lakes(run_state& rs, int i, double dt, lake_step_sums& s) {
    constituent_lakes& cl = rs.con_lake;
    constituent_cells& c = rs.con;
    const size_t ii = ix(i);
    std::vector<double>& lm = cl.mass[ii];
    for (int j = 1; j <= rs.GNUM; ++j) {
        const int u = lake_of(rs, j);
        if (u == 0) continue;
        const size_t jj = ix(j);
        double& pp = c.pend_precip[ii][jj];
        double& pe = c.pend_exchange[ii][jj];
        lm[ix(u)] += c.mass[ii][jj];
        s.to_lake += c.mass[ii][jj];
        if (pp > 0.0) {
            lm[ix(u)] += pp;
            s.precip += pp;
        }
        if (pe != 0.0) {
            // Exchange queued before the cell joined the lake: the lake takes
            // it as the cell's water would have (negative: the soil's share).
            lm[ix(u)] += pe;
            s.exchange += pe;
            if (rs.soil_con_trans) c.pend_soil_exchange[ii][jj] += pe;
        }
        pp = pe = 0.0;
        c.pend_infil[ii][jj] = c.pend_decay[ii][jj] = 0.0;
        c.mass[ii][jj] = 0.0;
    }
    // First-order decay over the step, as in a cell: k x mass x dt, at most
    // the mass (a channel lake decays in the channel routing).
    const bool decays = !cl.channel && rs.contaminant_table_option == 1 && rs.mapping_table_given &&
                        rs.constituent_type[ii] == 1;
    for (int u = 1; u <= cl.lakes; ++u) {
        if (decays && cl.decay[ix(u)] > 0.0 && lm[ix(u)] > 0.0) {
            const double d = std::min(cl.decay[ix(u)] * lm[ix(u)] * dt, lm[ix(u)]);
            lm[ix(u)] -= d;
            s.decay += d;
        }
        set_lake_conc(rs, i, u);
    }
    for (int j = 1; j <= rs.GNUM; ++j) {
        const int u = lake_of(rs, j);
        if (u != 0) c.conc[ii][ix(j)] = cl.conc[ii][ix(u)];
    }
}

void book_lake_gains(run_state& rs, int i, lake_step_sums& s) {
    constituent_lakes& cl = rs.con_lake;
    constituent_cells& c = rs.con;
    const size_t ii = ix(i);
    std::vector<double>& lm = cl.mass[ii];
    for (int j = 1; j <= rs.GNUM; ++j) {
        const int u = lake_of(rs, j);
        if (u == 0) continue;
        lm[ix(u)] += cl.gain[ix(j)];
        s.to_lake += cl.gain[ix(j)];
        cl.gain[ix(j)] = 0.0;
        c.mass[ii][ix(j)] = 0.0;
    }
    for (int u = 1; u <= cl.lakes; ++u) {
        if (lm[ix(u)] < 0.0) {
            // Water left by the faces' last discharges beyond what the lake held.
            s.made += -lm[ix(u)];
            lm[ix(u)] = 0.0;
        }
        set_lake_conc(rs, i, u);
    }
    for (int j = 1; j <= rs.GNUM; ++j) {
        const int u = lake_of(rs, j);
        if (u != 0) c.conc[ii][ix(j)] = cl.conc[ii][ix(u)];
    }
}

double lake_store_mass(const run_state& rs, int i) {
    const constituent_lakes& cl = rs.con_lake;
    if (cl.lakes < 1 || ix(i) >= cl.mass.size()) return 0.0;
    double s = 0.0;
    for (int u = 1; u <= cl.lakes; ++u) s += cl.mass[ix(i)][ix(u)];
    return s;
}

namespace {

// Moves `volume` m3 of channel lake u's water (+ in, - out) with constituent
// i at `conc_in` g/m3 when it comes in, the lake's concentration when it
// leaves; returns the mass moved into the lake, g (negative: out).
double move_lake_water_mass(run_state& rs, int i, int u, double volume, double conc_in) {
    constituent_lakes& cl = rs.con_lake;
    double& M = cl.mass[ix(i)][ix(u)];
    double moved = 0.0;
    if (volume > 0.0) {
        moved = volume * conc_in;
    } else if (volume < 0.0) {
        moved = -std::min(-volume * cl.conc[ix(i)][ix(u)], std::max(M, 0.0));
    }
    M += moved;
    return moved;
}

bool channel_lake_store(const run_state& rs, int u) {
    return rs.con_lake.channel && lake_stores_on(rs) && u >= 1 && u <= rs.con_lake.lakes;
}

}  // namespace

void lake_point_constituents(run_state& rs, int u, double volume, const double* conc) {
    if (!channel_lake_store(rs, u) || volume == 0.0) return;
    for (int i = 1; i <= rs.num_constituents; ++i) {
        if (rs.constituent_type[ix(i)] == 3) continue;
        const double moved = move_lake_water_mass(rs, i, u, volume, conc != nullptr ? conc[i - 1] : 0.0);
        rs.con_tot.lake_point[ix(i)] += moved / 1000.0;
    }
}

void lake_aquifer_constituents(run_state& rs, int u, int cell, double volume) {
    if (!channel_lake_store(rs, u) || volume == 0.0) return;
    for (int i = 1; i <= rs.num_constituents; ++i) {
        if (rs.constituent_type[ix(i)] == 3) continue;
        const double moved = move_lake_water_mass(rs, i, u, volume, groundwater_conc(rs, i, cell));
        rs.con_tot.lake_gw[ix(i)] += moved / 1000.0;
    }
}
