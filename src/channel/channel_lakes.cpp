// Channel-network lakes: cells taken and given back as the level moves, and
// open-water evaporation.
#include "channel/channel_lakes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "channel/chan_messages.h"
#include "run/run_state.h"

namespace {

constexpr double kRiseMargin = 1e-7;      // level rise short of the next ground that takes no cell, m
constexpr double kBeyondSearch = 999.9;   // height of the cell after the last search cell, m
constexpr double kSecondsPerDay = 86400.0;

inline size_t ix(int i) {
    return static_cast<size_t>(i);
}

// Cell number of search position p of lake k (0 when outside the grid).
int search_cell(const run_state& rs, int k, int p) {
    const auto& s = rs.lake_search[ix(k)];
    const int row = s[1][ix(p)], col = s[2][ix(p)];
    if (rs.mask == nullptr || row < 1 || row > rs.rows || col < 1 || col > rs.cols) return 0;
    return rs.mask[row][col];
}

bool lakes_ready(const run_state& rs) {
    const size_t n = ix(rs.num_channel_lakes) + 1;
    return rs.channel_lakes && rs.num_channel_lakes >= 1 && rs.lake_volume.size() >= n &&
           rs.lake_search.size() >= n && rs.lake_mask.size() > ix(rs.GNUM) &&
           rs.new_flooded_grid.size() > ix(rs.GNUM) && rs.elevation.size() > ix(rs.GNUM);
}

// One lake; false after a stop.
bool update_one_lake(run_state& rs, int i, bool& warned_full) {
    const size_t li = ix(i);
    const int npts = rs.lake_numpts[li];
    if (npts < 1) return true;
    const double cell_area = rs.cell_size * rs.cell_size;   // m2
    const bool gw = rs.gw_simulation && rs.gwbound.size() > ix(rs.GNUM) &&
                    rs.og_gwbound_type.size() > ix(rs.GNUM);
    const bool depths = rs.ov_depth.size() > ix(rs.GNUM);
    double V = rs.lake_volume[li];
    double y = rs.lake_elev[li];
    int k = rs.lake_cells[li];
    double A = k * cell_area;
    double dV = V - rs.prevlake_volume[li];

    // Falling: give back cells from the end of the held part of the search order.
    while (dV < 0.0 && k >= 1) {
        const int c = search_cell(rs, i, k);
        const double h = y - rs.elevation[ix(c)];
        if (std::fabs(dV / A) < h) {
            y -= std::fabs(dV / A);
            dV = 0.0;
            break;
        }
        --k;
        rs.lake_mask[ix(c)] = 0;
        dV += h * A;
        y -= h;
        rs.new_flooded_grid[ix(c)] = -1;
        ++rs.lake_cell_changes;
        A = k * cell_area;
        std::printf("Removing cell %d from lake\n", c);
        if (gw) rs.gwbound[ix(c)] = rs.og_gwbound_type[ix(c)];
    }

    // Rising: take the next search cells while the water reaches their ground.
    while (dV > 0.0) {
        int c = 0;
        double h = 0.0;
        if (k < npts) {
            c = search_cell(rs, i, k + 1);
            h = rs.elevation[ix(c)] - y;
        } else {
            c = search_cell(rs, i, npts);
            h = kBeyondSearch;
            if (!warned_full) {
                warned_full = true;
                std::printf("Warning: Lake #%d has reached your specified maximum areal extent\n",
                            i);
                std::printf("This likely means you should increase the maximum water surface "
                            "elevation\n");
                std::printf("The last grid cell coordinates defined in your input file are: "
                            "[%d][%d] \n",
                            rs.lake_search[li][1][ix(npts)], rs.lake_search[li][2][ix(npts)]);
            }
        }
        // Past its last search cell the lake keeps rising on its last area; a
        // lake without cells has no area and rises to the ground of its next cell.
        if (A > 0.0 && (k >= npts || dV / A < h + kRiseMargin)) {
            y += dV / A;
            dV = 0.0;
            break;
        }
        ++k;
        y += h;
        dV -= h * A;
        if (rs.lake_mask[ix(c)] > 0) {
            chan_say("Your lake has potentially merged with another lake.....\n");
            chan_say("Current PLUVO formulation is not up for this. Will be soon.\n");
            chan_say("PLUVO Terminating.\n");
            chan_fail();
            return false;
        }
        rs.lake_mask[ix(c)] = i;
        rs.new_flooded_grid[ix(c)] = 1;
        ++rs.lake_cell_changes;
        if (gw) rs.gwbound[ix(c)] = 7;
        A = k * cell_area;
        const double d = depths ? rs.ov_depth[ix(c)] : 0.0;
        if (d > 0.0) {
            const double v = d * cell_area;
            rs.lake_in_dv[li] += v;
            dV += v;
            V += v;
        }
        std::printf("Lake %d is taking cell %d with depth %lf\n", i, c, d);
        if (depths) rs.ov_depth[ix(c)] = 0.0;
    }

    rs.lake_volume[li] = V;
    rs.prevlake_volume[li] = V;
    rs.lake_area[li] = k * cell_area;
    rs.lake_elev[li] = y;
    rs.lake_cells[li] = k;
    return true;
}

}  // namespace

void update_lake_cells(run_state& rs) {
    if (!lakes_ready(rs)) return;
    std::fill(rs.new_flooded_grid.begin(), rs.new_flooded_grid.end(), 0);
    // The full-extent warning is printed once per run.
    for (int i = 1; i <= rs.num_channel_lakes; ++i) {
        bool warned = rs.lake_full_warned != 0;
        const bool ok = update_one_lake(rs, i, warned);
        rs.lake_full_warned = warned ? 1 : 0;
        if (!ok) return;
    }
}

void lake_evaporation(run_state& rs, double wind, double air_temp, double humidity) {
    if (!lakes_ready(rs)) return;
    for (int i = 1; i <= rs.num_channel_lakes; ++i) {
        const size_t li = ix(i);
        const double A = rs.lake_area[li];                // m2
        const double a = std::max(A / 1.0e6, 1e-6);       // km2
        // Vapour pressure of saturated air at the air temperature, mb.
        const double es = 6.11 * std::exp(17.3 * air_temp / (air_temp + 273.3));
        double E = std::pow(a, -0.05) * 1.69e-4 * (wind * 0.001 * kSecondsPerDay) *
                   (1.0 - humidity / 100.0) * es / 24.0 * A / 100.0;   // m3
        // Saturated air, no area or a missing value: nothing evaporates (a
        // negative volume would put water into the lake).
        if (!(E > 0.0) || !std::isfinite(E)) E = 0.0;
        const double taken = rs.lake_volume[li] > E ? E : std::max(rs.lake_volume[li], 0.0);
        rs.lake_volume[li] -= taken;
        rs.cumulative_lake_evap[li] += taken;
        rs.vol_lake_evaporation += taken;
    }
    update_lake_cells(rs);
}

void move_lake_volumes_to_totals(run_state& rs) {
    const int n =
        std::min<int>(rs.num_channel_lakes,
                      static_cast<int>(std::min(rs.lake_in_dv.size(), rs.lake_out_dv.size())) - 1);
    for (int k = 1; k <= n; ++k) {
        rs.vol_lake_inflow += rs.lake_in_dv[ix(k)];
        rs.event_vol_ov_to_lake += rs.lake_in_dv[ix(k)];
        rs.vol_lake_outflow += rs.lake_out_dv[ix(k)];
        rs.event_vol_lake_to_ov += rs.lake_out_dv[ix(k)];
        rs.lake_in_dv[ix(k)] = 0.0;
        rs.lake_out_dv[ix(k)] = 0.0;
    }
}
