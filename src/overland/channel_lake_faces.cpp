#include "overland/channel_lake_faces.h"

#include <algorithm>
#include <cmath>

#include "overland/olake.h"
#include "run/run_state.h"

namespace {

constexpr double kSlopeFloor = 1e-20;    // smallest friction slope magnitude, m/m
constexpr double kSlopeOffset = 1e-30;   // added to every friction slope, m/m
constexpr int kSaved = 3;                // saved values a lake: volume, in, out
constexpr double kSpillMargin = 1e-16;   // lake level above a cell's ground that spills, m

inline size_t ix(int i) {
    return static_cast<size_t>(i);
}

bool arrays_ready(const run_state& rs) {
    const size_t cells = ix(rs.GNUM) + 1;
    const size_t lakes = ix(rs.num_channel_lakes) + 1;
    return rs.channel_lakes && rs.num_channel_lakes >= 1 && rs.lake_mask.size() >= cells &&
           rs.elevation.size() >= cells && rs.lake_volume.size() >= lakes &&
           rs.prevlake_volume.size() >= lakes && rs.lake_elev.size() >= lakes &&
           rs.lake_area.size() >= lakes && rs.lake_in_dv.size() >= lakes &&
           rs.lake_out_dv.size() >= lakes;
}

// Level of every lake from its volume since its last cell update, m.
void set_levels(run_state& rs) {
    for (int u = 1; u <= rs.num_channel_lakes; ++u) {
        const double area = rs.lake_area[ix(u)];   // m2
        double level = rs.lake_elev[ix(u)];
        if (area > 0.0) level += (rs.lake_volume[ix(u)] - rs.prevlake_volume[ix(u)]) / area;
        rs.ov_chlake_level[ix(u)] = level;
    }
}

}  // namespace

double channel_lake_face_flow(double ground, double depth, double retention, double n,
                              const wetland_record* wetland, double level, double dx) {
    const double sf = (ground + depth - level) / dx + kSlopeOffset;   // towards the lake, m/m
    if (std::fabs(sf) < kSlopeFloor) return 0.0;
    if (sf > 0.0) return lake_face_flow(ground + depth, depth, retention, n, wetland, level, dx);
    const double hf = level - ground;   // lake water above the cell's ground, m
    if (!(hf > 0.0)) return 0.0;
    return -std::sqrt(-sf) / n * hf * std::cbrt(hf * hf) * dx;
}

// The lake cells with a face to the land and the cells whose right or lower
// face joins a lake to the land, in cell order, and the exchanges cleared.
static void build_cell_lists(run_state& rs) {
    const int n = rs.GNUM;
    const size_t slots = ix(n) + 1;
    rs.ov_chlake_in.assign(slots, 0.0);
    rs.ov_chlake_out.assign(slots, 0.0);
    rs.ov_chlake_cells.clear();
    rs.ov_chlake_ring.clear();
    const int* lake = rs.lake_mask.data();
    const int* right = rs.rightcon.data();
    const int* below = rs.belowcon.data();
    const int* left = rs.leftcon.data();
    const int* above = rs.abovecon.data();
    bool any = false;
    for (int j = 1; j <= n; ++j) {
        const bool in_lake = lake[j] > 0;
        if (in_lake) any = true;
        // A face joins a lake to the land when exactly one side is a lake cell.
        auto joins = [&](int k) { return k != 0 && in_lake != (lake[k] > 0); };
        if (joins(right[j]) || joins(below[j])) rs.ov_chlake_ring.push_back(j);
        if (in_lake && (joins(right[j]) || joins(below[j]) || joins(left[j]) || joins(above[j])))
            rs.ov_chlake_cells.push_back(j);
    }
    rs.ov_chlake_any = any ? 1 : 0;
    rs.ov_chlake_built = rs.lake_cell_changes;
}

bool prepare_channel_lake_step(run_state& rs) {
    if (!arrays_ready(rs)) return false;
    const int lakes = rs.num_channel_lakes;
    // The lists follow the lake cells: built again only after the lakes took
    // or gave back a cell (or the grid changed size).
    if (rs.ov_chlake_built != rs.lake_cell_changes || rs.ov_chlake_in.size() != ix(rs.GNUM) + 1)
        build_cell_lists(rs);
    if (!rs.ov_chlake_any) return false;
    rs.ov_chlake_level.assign(ix(lakes) + 1, 0.0);
    rs.ov_chlake_give.assign(ix(lakes) + 1, 0.0);
    rs.ov_chlake_saved.assign(kSaved * (ix(lakes) + 1), 0.0);
    for (int u = 1; u <= lakes; ++u) {
        rs.ov_chlake_saved[kSaved * ix(u)] = rs.lake_volume[ix(u)];
        rs.ov_chlake_saved[kSaved * ix(u) + 1] = rs.lake_in_dv[ix(u)];
        rs.ov_chlake_saved[kSaved * ix(u) + 2] = rs.lake_out_dv[ix(u)];
    }
    set_levels(rs);
    return true;
}

void restart_channel_lake_step(run_state& rs) {
    for (int u = 1; u <= rs.num_channel_lakes; ++u) {
        rs.lake_volume[ix(u)] = rs.ov_chlake_saved[kSaved * ix(u)];
        rs.lake_in_dv[ix(u)] = rs.ov_chlake_saved[kSaved * ix(u) + 1];
        rs.lake_out_dv[ix(u)] = rs.ov_chlake_saved[kSaved * ix(u) + 2];
    }
    for (const int j : rs.ov_chlake_cells) {
        rs.ov_chlake_in[ix(j)] = 0.0;
        rs.ov_chlake_out[ix(j)] = 0.0;
    }
    set_levels(rs);
}

void limit_channel_lake_outflow(run_state& rs, double* qx, double* qy, double seconds) {
    const int* lake = rs.lake_mask.data();
    const int* right = rs.rightcon.data();
    const int* below = rs.belowcon.data();
    double* give = rs.ov_chlake_give.data();
    std::fill(rs.ov_chlake_give.begin(), rs.ov_chlake_give.end(), 0.0);
    // Lake of the face j -> k when it gives water through it (q m3/s), else 0.
    auto giver = [&](int j, int k, double q) {
        if (k == 0 || (lake[j] > 0) == (lake[k] > 0)) return 0;
        if (lake[j] > 0 && q > 0.0) return lake[j];
        if (lake[k] > 0 && q < 0.0) return lake[k];
        return 0;
    };
    bool giving = false;
    for (const int j : rs.ov_chlake_ring) {
        const int ux = qx != nullptr ? giver(j, right[j], qx[j]) : 0;
        if (ux != 0) give[ux] += std::fabs(qx[j]) * seconds;
        const int uy = qy != nullptr ? giver(j, below[j], qy[j]) : 0;
        if (uy != 0) give[uy] += std::fabs(qy[j]) * seconds;
        giving = giving || ux != 0 || uy != 0;
    }
    if (!giving) return;
    // Share of its demand each lake can meet; the faces scaled by it.
    for (int u = 1; u <= rs.num_channel_lakes; ++u) {
        if (!(give[u] > 0.0)) continue;
        const double held = std::max(rs.lake_volume[ix(u)], 0.0);
        give[u] = give[u] > held ? held / give[u] : 1.0;   // from here on the share
    }
    for (const int j : rs.ov_chlake_ring) {
        const int ux = qx != nullptr ? giver(j, right[j], qx[j]) : 0;
        if (ux != 0) qx[j] *= give[ux];
        const int uy = qy != nullptr ? giver(j, below[j], qy[j]) : 0;
        if (uy != 0) qy[j] *= give[uy];
    }
}

void book_channel_lake_substep(run_state& rs) {
    const int* lake = rs.lake_mask.data();
    for (const int j : rs.ov_chlake_cells) {
        const size_t u = ix(lake[j]);
        const double in = rs.ov_chlake_in[ix(j)];
        const double out = rs.ov_chlake_out[ix(j)];
        rs.lake_volume[u] += in - out;
        rs.lake_in_dv[u] += in;
        rs.lake_out_dv[u] += out;
        rs.ov_chlake_in[ix(j)] = 0.0;
        rs.ov_chlake_out[ix(j)] = 0.0;
    }
    set_levels(rs);
}

bool channel_lake_may_spill(const run_state& rs) {
    if (!arrays_ready(rs)) return false;
    const size_t cells = ix(rs.GNUM) + 1;
    if (rs.rightcon.size() < cells || rs.belowcon.size() < cells || rs.leftcon.size() < cells ||
        rs.abovecon.size() < cells)
        return false;
    const int* lake = rs.lake_mask.data();
    const double* z = rs.elevation.data();
    for (int j = 1; j <= rs.GNUM; ++j) {
        const int u = lake[j];
        if (u <= 0 || u > rs.num_channel_lakes) continue;
        const double area = rs.lake_area[ix(u)];   // m2
        double level = rs.lake_elev[ix(u)];        // m
        if (area > 0.0) level += (rs.lake_volume[ix(u)] - rs.prevlake_volume[ix(u)]) / area;
        for (const int k : {rs.rightcon[ix(j)], rs.belowcon[ix(j)], rs.leftcon[ix(j)],
                            rs.abovecon[ix(j)]}) {
            if (k != 0 && lake[k] == 0 && level > z[k] + kSpillMargin) return true;
        }
    }
    return false;
}
