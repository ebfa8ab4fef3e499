// Nutrient mass between the overland water and the soil pools: what the
// water species lose to infiltration or leave in cells that fell dry enters
// the related pool once; the soil uptake returns pool mass to the water when
// rain falls. Pools are the top-layer masses of the block's constituents
// (pool k is the layer mass of constituent first_nsm + k), in g; over a soil
// column of layers the pools stay in layer 1, which alone takes the hand-over
// and gives the uptake.
#include <algorithm>
#include <cmath>

#include "core/parallel.h"
#include "quality/constituent_setup.h"
#include "quality/contaminant.h"
#include "quality/nutrients.h"
#include "run/run_state.h"

namespace {

inline size_t ix(int i) { return static_cast<size_t>(i); }

// (soil pool, water species) pairs of the uptake, in their order.
constexpr int kUptakePairs[kNsmUptakePairs][2] = {
    {2, kNsmNh4}, {3, kNsmNo3}, {4, kNsmOn}, {8, kNsmDp}, {10, kNsmOp},
};

bool soil_pools(const run_state& rs) {
    return rs.nsm_on && rs.soil_con_trans && rs.first_nsm_constituent >= 1 &&
           nutrient_block_size(rs) == kNsmBlockWithSoil;
}

}  // namespace

void hand_nutrients_to_soil(run_state& rs) {
    if (!soil_pools(rs)) return;
    const int b = rs.first_nsm_constituent, cells = rs.GNUM;
    constituent_cells& c = rs.con;
    for (int k = 0; k < kNsmSpecies; ++k) {
        const int i = b + k;
        const int pool = related_constituent_offset(b, i, 1);
        std::vector<double>& pending = c.pend_soil_in[ix(i)];
        double handed = 0.0;   // g, in cell order
        if (pool >= 1) {
            std::vector<double>& to = c.layer_mass[ix(pool)];
            for (int j = 1; j <= cells; ++j) {
                const double p = pending[ix(j)];
                if (p == 0.0) continue;
                to[ix(j)] += p;
                handed += p;
                pending[ix(j)] = 0.0;
            }
            rs.con_tot.to_pool[ix(i)] += handed / 1000.0;
            rs.con_tot.pool_in[ix(pool)] += handed / 1000.0;
        } else {
            // No pool takes this species: it stays on the cell's land.
            std::vector<double>& land = c.land[ix(i)];
            for (int j = 1; j <= cells; ++j) {
                land[ix(j)] += pending[ix(j)];
                pending[ix(j)] = 0.0;
            }
        }
    }
}

void fork_nsm_overland_sums(run_state& rs, double seconds) {
    if (!soil_pools(rs) || !(seconds > 0.0)) return;
    nsm_model& m = *rs.nsm;
    const int b = rs.first_nsm_constituent, cells = rs.GNUM;
    const size_t stride = ix(cells) + 1;
    if (m.uptake_book.size() < stride * kNsmUptakePairs) m.uptake_book.assign(stride * kNsmUptakePairs, 0.0);
    // The rain that reaches the ground: after interception when it is on.
    const std::vector<double>& rate = rs.interception ? rs.ri_eff : rs.cell_rain_rate;
    const bool rain = rs.rain_state == 1 && rate.size() > ix(cells);
    const double area = rs.cell_size * rs.cell_size;   // m2
    double* book = m.uptake_book.data();
    constituent_cells& c = rs.con;
    const bool parallel = cells >= parallel_cells().overland;
#pragma omp parallel for schedule(static) if (parallel)
    for (int j = 1; j <= cells; ++j) {
        const double h = rs.ov_depth[ix(j)];
        const double P = rain ? std::max(rate[ix(j)], 0.0) * seconds : 0.0;   // m
        const double share = h > kConDry && P > 0.0 ? 1.0 - std::exp(-P / kNsmUptakeMixDepth) : 0.0;
        for (int p = 0; p < kNsmUptakePairs; ++p) {
            const size_t pool = ix(b + kUptakePairs[p][0]), species = ix(b + kUptakePairs[p][1]);
            double& held = c.layer_mass[pool][ix(j)];
            const double amount = std::min(std::max(held, 0.0) * share, std::max(held, 0.0));
            book[ix(p) * stride + ix(j)] = amount;
            if (!(amount > 0.0)) continue;
            held -= amount;
            double& M = c.mass[species][ix(j)];
            M += amount;
            c.conc[species][ix(j)] = M / (h * area);
        }
    }
    for (int p = 0; p < kNsmUptakePairs; ++p) {
        double moved = 0.0;   // g, in cell order
        for (int j = 1; j <= cells; ++j) moved += book[ix(p) * stride + ix(j)];
        rs.con_tot.nsm_loss[ix(b + kUptakePairs[p][0])] += moved / 1000.0;
        rs.con_tot.nsm_gain[ix(b + kUptakePairs[p][1])] += moved / 1000.0;
    }
}

void step_nutrient_uptake(run_state& rs) {
    if (!soil_pools(rs) || !rs.overland_constituents) return;
    if (!process_due(rs, rs.nsm_kinetics_next)) return;
    const double seconds = std::max(process_elapsed_seconds(rs, rs.nsm_kinetics_last), 0.0);
    fork_nsm_overland_sums(rs, seconds);
    advance_process_clock(rs, rs.nsm_kinetics_last, rs.nsm_kinetics_next,
                          rs.ov_con_step_days * kinetics_factor(rs));
}
