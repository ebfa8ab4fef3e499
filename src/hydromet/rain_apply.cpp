// Rain application: each rain step's depth onto the cells after interception,
// with the rain volume totals of the run and of the event.
//
// The per-cell work runs in a parallel loop that writes only its own cell;
// the volume totals and the lake inflows are then summed on the main thread
// in cell order, so that they are the same with any number of threads.
#include <climits>
#include <cmath>
#include <cstdio>

#include "core/error.h"
#include "core/parallel.h"
#include "run/run_state.h"
#include "hydromet/interception.h"
#include "hydromet/precip.h"
#include "hydromet/precip_types.h"
#include "hydromet/rain_apply.h"
#include "hydromet/rain_cells.h"

namespace {

constexpr double kNegativeDepth = -1e-16;   // m

bool arrays_ready(const run_state& rs) {
    const size_t slots = static_cast<size_t>(rs.GNUM) + 1;
    const bool ready = rs.GNUM >= 0 && rs.cell_rain_rate.size() >= slots &&
                       rs.ov_depth.size() >= slots && rs.ov_aux.size() >= slots &&
                       (!rs.interception ||
                        (rs.ri_eff.size() >= slots && rs.icep_stor.size() >= slots &&
                         rs.icep_coef.size() >= slots && rs.icep_dep.size() >= slots)) &&
                       (!rs.long_term || rs.snow_swe.size() >= slots);
    if (!ready) {
        std::printf("Error: the rain application arrays do not hold the %d watershed cells\n",
                    rs.GNUM);
        error_record.code = kErrorPrinted;
    }
    return ready;
}

// One pass over the cells 1..n that does each cell's work and sums two of its
// values in cell order, by halves down to runs of at most kRun cells added in
// turn: a rounding error that grows with log2(n) rather than n on large grids.
// The halving tree depends on n alone; on large grids its subtrees
// kSplitDepth levels down run in parallel (each iteration writes only its own
// cell) and their sums are then joined in the tree's own order, so the sums
// have the same bits with any number of threads.
constexpr int kRun = 256;          // cells added in turn at a leaf of the tree
constexpr int kSplitDepth = 6;     // levels of the tree above the subtrees run in parallel
constexpr int kSubtrees = 1 << kSplitDepth;

struct cell_sums {
    double volume = 0.0;   // rain volume onto the cells, m3
    double rate = 0.0;     // effective rain rates, m/s
};

inline cell_sums operator+(const cell_sums& a, const cell_sums& b) {
    return cell_sums{a.volume + b.volume, a.rate + b.rate};
}

// What the cells of a subtree found.
struct cell_flags {
    int snowfall = 0;      // 1 when some cell took snow
    int bad = INT_MAX;     // first cell whose depth is not a number or negative (INT_MAX none)
};

// `leaf(first, count, flags)` does the work of the cells first..first+count-1
// and returns their sums, each added in cell order from 0.
template <class Leaf>
cell_sums tree_pass(const Leaf& leaf, cell_flags& flags, int first, int count) {
    if (count <= kRun) return leaf(first, count, flags);
    const int half = count / 2;
    const cell_sums left = tree_pass(leaf, flags, first, half);
    return left + tree_pass(leaf, flags, first + half, count - half);
}

// The subtrees `depth` levels below the node (first, count), in cell order.
struct subtree {
    int first = 0;
    int count = 0;
};

void list_subtrees(int first, int count, int depth, subtree* out, int& used) {
    if (count <= kRun || depth == 0) {
        out[used++] = subtree{first, count};
        return;
    }
    const int half = count / 2;
    list_subtrees(first, half, depth - 1, out, used);
    list_subtrees(first + half, count - half, depth - 1, out, used);
}

// Joins the subtree sums (taken in order from `next`) as tree_pass would.
cell_sums join_subtrees(int count, int depth, const cell_sums*& next) {
    if (count <= kRun || depth == 0) return *next++;
    const int half = count / 2;
    const cell_sums left = join_subtrees(half, depth - 1, next);
    return left + join_subtrees(count - half, depth - 1, next);
}

template <class Leaf>
cell_sums cell_order_pass(const Leaf& leaf, int n, cell_flags& flags) {
    if (n <= 0) return cell_sums{};
    if (n < kParallelCells) return tree_pass(leaf, flags, 1, n);
    subtree parts[kSubtrees];
    cell_sums sums[kSubtrees];
    cell_flags found[kSubtrees];
    int used = 0;
    list_subtrees(1, n, kSplitDepth, parts, used);
#pragma omp parallel for schedule(static)
    for (int i = 0; i < used; ++i) sums[i] = tree_pass(leaf, found[i], parts[i].first, parts[i].count);
    for (int i = 0; i < used; ++i) {
        flags.snowfall |= found[i].snowfall;
        if (found[i].bad < flags.bad) flags.bad = found[i].bad;
    }
    const cell_sums* next = sums;
    return join_subtrees(n, kSplitDepth, next);
}

// Air temperature over cell k, degrees C.
double cell_air_temperature(const run_state& rs, int k, bool per_cell) {
    return per_cell ? rs.hmet_cell_temp[k] : rs.hmet_current.air_temp;
}

}  // namespace

double rain_step_length(const run_state& rs) {
    const double elapsed = process_elapsed_seconds(rs, rs.rain_last);   // s
    const double tolerance = rs.time_tolerance * 86400.0;
    if (rs.rain_step_seconds > 0.0 && std::fabs(elapsed - rs.rain_step_seconds) < tolerance)
        return rs.rain_step_seconds;
    return elapsed;
}

void apply_rainfall(run_state& rs) {
    if (!process_due(rs, rs.rain_next) || rs.rain_state != 1) return;
    if (!arrays_ready(rs)) return;
    const int n = rs.GNUM;
    const size_t slots = static_cast<size_t>(n) + 1;
    const double dt = rain_step_length(rs);                 // s
    const double area = rs.cell_size * rs.cell_size;        // m2

    if (rs.uniform_rain) ++rs.uniform_steps;

    const bool chan_lakes = rs.channel_lakes && rs.lake_mask.size() >= slots;
    if (rs.interception) {
        const double divisor = seasonal_divisor(rs.month, rs.seasonal_rs, rs.latitude);
        rs.vol_interception +=
            apply_interception(n, dt, rs.icep_stor, rs.icep_coef, rs.cell_rain_rate, rs.ri_eff,
                               rs.icep_dep, rs.icep_cell_volume, rs.cell_size, divisor,
                               chan_lakes ? 1 : 0, rs.lake_mask);
    }
    // An overland lake keeps its inflow until the lake step takes it (an
    // inflow too small to move the level is carried to later steps).
    const bool ov_lakes = rs.lakes && rs.oland_lake_new.size() >= slots &&
                          static_cast<int>(rs.overland_lakes.size()) > rs.num_overland_lakes;

    const double* effective = rs.interception ? rs.ri_eff.data() : rs.cell_rain_rate.data();
    const int* lake = chan_lakes ? rs.lake_mask.data() : nullptr;
    const int* ov_lake = ov_lakes ? rs.oland_lake_new.data() : nullptr;
    const bool snow_possible = rs.long_term != 0;
    const bool per_cell_temp =
        (rs.orogvar_hmet || rs.hmet_ascii) && rs.hmet_cell_temp.size >= n;
    const double snow_threshold = rs.cards.snow_temp_base;   // degrees C
    double* depth = rs.ov_depth.data();
    double* aux = rs.ov_aux.data();
    double* swe = snow_possible ? rs.snow_swe.data() : nullptr;
    // The contaminant rain load reads each cell's effective rain volume.
    double* cell_volume = nullptr;   // m3 per cell, or none
    if (rs.ov_con_trans) {
        if (rs.rain_cell_volume.size() < slots) rs.rain_cell_volume.assign(slots, 0.0);
        cell_volume = rs.rain_cell_volume.data();
        ++rs.rain_cell_volume_writes;
    }
    // Per cell: depth (or snow water), the effective rain volume and the
    // checks, with the step's rain volume and rate sums in the same pass. The
    // usual case (no lake, no snow) has a loop of its own.
    const bool plain =
        lake == nullptr && ov_lake == nullptr && !snow_possible && cell_volume == nullptr;
    // Uniform rain that set every cell's rate to one value: that value,
    // instead of a read of every cell's.
    const bool common_rate =
        rs.uniform_rain && !rs.interception && rs.cell_rain_common != kNoCommonRain;
    const double common = common_rate ? rs.cell_rain_common : 0.0;   // m/s
    // The work depths are cleared at every step; once known clear, no pass
    // looks at them again.
    const bool clear_work = rs.ov_aux_clear == 0;
    const auto leaf = [&](int first, int count, cell_flags& flags) {
        const double step = dt;    // s
        const double cell_area = area;   // m2
        const double* rates = effective;
        double* h = depth;
        double* work = aux;
        double volume = 0.0;   // m3
        double rates_sum = 0.0;   // m/s
        int bad_cell = flags.bad;
        const int last = first + count;
        if (plain && common_rate && !clear_work) {
            // Uniform rain on clear work depths: every cell gets the same
            // depth and volume, and no other array is read. (Written out
            // here, not shared with the loop below through a lambda or a
            // template: the compiler then kept the sums in memory, which
            // took three times as long.)
            const double added = step * common;             // m
            const double added_volume = added * cell_area;  // m3
            for (int k = first; k < last; ++k) {
                const double d = h[k] + added;
                h[k] = d;
                if ((std::isnan(d) || d < kNegativeDepth) && k < bad_cell) bad_cell = k;
                volume += added_volume;
                rates_sum += common;
            }
            flags.bad = bad_cell;
            return cell_sums{volume, rates_sum};
        }
        if (plain) {
            for (int k = first; k < last; ++k) {
                const double rate = rates[k];   // m/s
                // Cleared without a store where it is clear already: a store
                // costs the cache line's read and write-back on every step.
                if (clear_work && work[k] != 0.0) work[k] = 0.0;
                const double d = h[k] + step * rate;
                h[k] = d;
                if ((std::isnan(d) || d < kNegativeDepth) && k < bad_cell) bad_cell = k;
                volume += step * rate * cell_area;
                rates_sum += rate;
            }
            flags.bad = bad_cell;
            return cell_sums{volume, rates_sum};
        }
        for (int k = first; k < last; ++k) {
            // A channel-network lake takes the rain of its cells (below); the
            // contaminant rain load reads the lake's share too.
            if (lake != nullptr && lake[k] >= 1) {
                volume += 0.0;
                rates_sum += 0.0;
                if (cell_volume != nullptr) cell_volume[k] = step * rs.cell_rain_rate[k] * cell_area;
                continue;
            }
            const double rate = rates[k];   // m/s
            if (cell_volume != nullptr) cell_volume[k] = step * rate * cell_area;
            if (work[k] != 0.0) work[k] = 0.0;
            if (ov_lake == nullptr || ov_lake[k] < 1) {   // an overland lake takes its rain below
                if (!snow_possible ||
                    cell_air_temperature(rs, k, per_cell_temp) > snow_threshold) {
                    h[k] += step * rate;
                } else {
                    // Snowfall: all of it joins the cell's snow water equivalent.
                    flags.snowfall = 1;
                    swe[k] += step * rate;
                }
            }
            const double d = h[k];
            if ((std::isnan(d) || d < kNegativeDepth) && k < bad_cell) bad_cell = k;
            volume += step * rate * cell_area;
            rates_sum += rate;
        }
        flags.bad = bad_cell;
        return cell_sums{volume, rates_sum};
    };
    cell_flags flags;
    const cell_sums sums = cell_order_pass(leaf, n, flags);
    // Every cell's work depth is clear now, unless lake cells kept theirs.
    if (lake == nullptr) rs.ov_aux_clear = 1;
    const int bad = flags.bad;
    const int snowfall = flags.snowfall;
    // The first bad depth stops the run.
    if (bad != INT_MAX) {
        if (std::isnan(depth[bad])) {
            std::printf("A non-real number for water depth has been detected for overland cell %d "
                        "after applying rainfall\n",
                        bad);
        } else {
            std::printf("A negative depth has been detected for overland cell %d after applying "
                        "rainfall, check your rainfall input for negative values\n",
                        bad);
        }
        error_record.code = kErrorPrinted;
        return;
    }

    // Lake inflows and the step's rain on lakes in cell order. The run and
    // event totals take the step's sums, so that a long run adds one total
    // per step rather than one per cell.
    double lake_rain = 0.0;   // m3
    if (lake != nullptr || ov_lakes) {
        for (int k = 1; k <= n; ++k) {
            if (lake != nullptr && lake[k] >= 1) {
                const double rain_volume =
                    dt * rs.cell_rain_rate[static_cast<size_t>(k)] * area;   // m3
                const size_t id = static_cast<size_t>(lake[k]);
                if (id < rs.lake_volume.size()) rs.lake_volume[id] += rain_volume;
                lake_rain += rain_volume;
                continue;
            }
            if (ov_lakes) {
                const int id = rs.oland_lake_new[static_cast<size_t>(k)];
                if (id > 0 && id <= rs.num_overland_lakes) {
                    // The rain that passed the canopy; the cell itself holds no depth.
                    const double volume = dt * effective[k] * area;   // m3
                    rs.overland_lakes[static_cast<size_t>(id)].inflow += volume;
                    rs.vol_precip_ovlakes += volume;
                    rs.lakes_changed = 1;
                }
            }
        }
    }
    const double rate_sum = sums.rate;     // m/s (only its sign is used)
    const double step_rain = sums.volume;  // m3, lake cells hold 0
    rs.vol_precip += step_rain + lake_rain;
    rs.event_rain_volume += step_rain;
    rs.rain_rate_sum += rate_sum;
    if (lake_rain != 0.0) {
        rs.vol_lake_inflow += lake_rain;
        rs.vol_precip_to_lakes += lake_rain;
        rs.event_vol_precip_to_lake += lake_rain;
    }

    if (rs.rain_rate_sum > 0.0) {
        ++rs.rain_steps;
        rs.dry_start = 0;
        if (rs.rain_first_step) {
            rs.rain_begin_minutes = rs.elapsed_minutes;
            rs.rain_first_step = 0;
        }
    }

    if (snowfall) rs.snow = 1;
    const bool snow_model = rs.nwsrfs_snow || rs.eb_nwsrfs_snow;
    if (rs.snow && n >= 1 &&
        (cell_air_temperature(rs, n, per_cell_temp) > 0.0 || snow_model)) {
        rs.snow = compute_snow(rs, dt, 0);
    }
    // The step reached the event's last data line: its rain is over.
    if (rs.rain_ends_after_step) end_event_rain(rs);
}
