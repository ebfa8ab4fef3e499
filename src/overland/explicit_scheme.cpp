// Explicit overland scheme.
//
// One sub-step of length s (seconds) is one parallel region (on one thread
// below the overland threshold of core/parallel.h) holding three loops:
//   1. face flows, over tiles of consecutive cells: every cell j computes the
//      flow across its own right face (to rightcon) into ov_qx(j) and across
//      its own bottom face (to belowcon) into ov_qy(j), in m3/s, from the
//      depths at the start of the sub-step; the faces that need a split are
//      counted (integer sums);
//   2. only when some face moves more than a fifth of its donor's water: the
//      share of its outflow each cell may pass (so no donor goes below zero),
//      and the face flows scaled by their donor's share;
//   3. apply: every cell adds its four faces, (ov_qx(leftcon) - ov_qx(j) +
//      ov_qy(abovecon) - ov_qy(j)) x s / dx^2.
// Loops 2 and 3 run in the same region only when no face needs a split; else
// the region ends after loop 1 and the step prints, divides or goes on.
// Each iteration writes only its own cell or its own faces and the sums are
// integers, so the depths are bit-identical for any thread count.
//
// The depths at the start of the step stay in ov_depth until the last
// sub-step, so a restart reads them again without a copy: the first sub-step
// writes into ov_substep_depth, later ones update it in place and the last
// one writes back into ov_depth (a single sub-step updates ov_depth in place).
//
// Overland lakes: a lake cell holds no depth; a face between a lake cell and
// a cell outside it carries the lake law (olake.h) with the lake's level, a
// face between two lake cells nothing. In the outflow limit a lake is a donor
// without end; before it, the faces through which a lake gives water are
// scaled to its budget (serial, cell order). In the apply loop a lake cell
// keeps its depth and books what its faces moved as its own gain, which the
// step adds to the lake's inflow in cell order at its end.
//
// Channel-network lakes take the same path with lake_mask as the lake of the
// cell and each lake's level from its volume (channel_lake_faces.h): the
// face law lets lake water out with its depth above the cell's ground, the
// faces of a lake are scaled to the water it holds, and after every sub-step
// the lake cells' exchanges go into the lakes' volumes in cell order, so the
// next sub-step sees the new levels.
#include "overland/explicit_scheme.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "core/parallel.h"
#include "run/run_state.h"
#include "overland/boundaries.h"
#include "overland/channel_lake_faces.h"
#include "overland/depth_power.h"
#include "overland/lowspots.h"
#include "overland/olake.h"
#include "overland/view_setup.h"

namespace {

constexpr double kSlopeFloor = 1e-20;         // smallest friction slope magnitude
constexpr double kSlopeOffset = 1e-30;        // added to every friction slope
constexpr double kSplitShift = 0.06;          // depth moved across a face that needs a split, m
constexpr double kSplitDepthChange = 0.1;     // depth change that needs a split, m
constexpr double kSplitNegative = -0.0001;    // donor depth after the face that needs a split, m
constexpr double kShortestDivisible = 0.005;  // sub-steps at most this long are not divided, s
constexpr double kDivisor = 3.0;              // a division makes the sub-step this much shorter
constexpr int kMaxDivisions = 5;              // divisions per call
constexpr int kHeldCalls = 4;                 // further calls that keep a reduced sub-step
constexpr double kDoneTolerance = 1e-4;       // the step is covered within this, s
constexpr double kOutletExponent = 1.666667;  // exponent of the outlet law
constexpr double kDonorShare = 0.2;           // a face moving more than this share of its donor's
                                              // water calls for the outflow check
constexpr double kLimitMargin = 1.0 - 1e-12;  // a limited donor keeps this safety share
constexpr double kLevelShare = 0.25;          // a face moves at most this share of the level
                                              // difference of its two cells in a sub-step
constexpr double kLakeDonorDepth = 1e30;      // depth a lake stands for in the split tests, m

// Arrays of one sub-step, as plain pointers (1-based cells, slot 0 unused).
struct face_view {
    const double* h = nullptr;      // depths at the start of the sub-step, m
    const double* r = nullptr;      // retention depth, m
    const double* n = nullptr;      // Manning n, s/m^(1/3)
    const double* sx = nullptr;     // bed slope to the right neighbour, m/m
    const double* sy = nullptr;     // bed slope to the lower neighbour, m/m
    const int* right = nullptr;
    const int* below = nullptr;
    const int* left = nullptr;
    const int* above = nullptr;
    const int* dike = nullptr;      // dike side bits, when dikes are on
    const int* wmask = nullptr;     // wetland number, when wetlands are on
    const wetland_record* wrec = nullptr;
    double* qx = nullptr;           // flow to the right neighbour, m3/s
    double* qy = nullptr;           // flow to the lower neighbour, m3/s
    const int* lake = nullptr;      // overland lake of the cell (0 none), when lakes run
    const double* stage = nullptr;  // water level of the cell's lake (lake cells), m
    const double* z = nullptr;      // ground elevation, m (with lakes)
    double* lake_gain = nullptr;    // water into the lake through the cell's faces, m3 (with lakes)
    run_state* rs = nullptr;        // the run, for the lake outflow limit (with lakes)
    const double* lake_level = nullptr;  // per lake: level of each channel lake, m (set only
                                         // when the lakes are those of the channel network)
    double* lake_in = nullptr;      // per cell: water into the channel lake through the faces
                                    // of this lake cell in the sub-step, m3
    double* lake_out = nullptr;     // per cell: water out of it likewise, m3
    double dx = 0.0;                // cell size, m
    double inv_dx = 0.0;            // 1 / cell size, 1/m
    int cells = 0;                  // GNUM
};

using overland_power::depth_power;
using overland_power::fast_depth_power;
using overland_power::in_fast_range;

inline double signed_root(double s) {
    return s < 0.0 ? -std::sqrt(-s) : std::sqrt(s);
}

// Friction slope of the face j -> k with bed slope s0 (m/m). A slope below
// kSlopeFloor in magnitude is a level water surface, which carries no flow
// (callers test level_surface first): raising it to the floor would make
// level water creep towards the right and lower neighbours.
inline double friction_slope(const face_view& v, double s0, double hj, double hk) {
    return s0 - (hk - hj) * v.inv_dx + kSlopeOffset;
}

inline bool level_surface(double sf) {
    return std::fabs(sf) < kSlopeFloor;
}

// Wetland law of the face j -> k (j is a wetland cell), m3/s.
double wetland_face(const face_view& v, int j, int k, double s0) {
    const wetland_record& w = v.wrec[v.wmask[j]];
    const double hj = v.h[j];
    const double hk = v.h[k];
    const double sf = friction_slope(v, s0, hj, hk);
    if (level_surface(sf)) return 0.0;
    const bool k_wet = v.wmask[k] >= 1;
    double hf;
    if (sf >= 0.0) hf = hj - w.threshold_depth;
    else hf = k_wet ? hk - w.threshold_depth : hk - v.r[k];
    double q;
    if (hf <= 0.0) {
        if (sf >= 0.0) q = sf * hj * w.linear_coef;
        else q = k_wet ? sf * hk * w.linear_coef : 0.0;
    } else if (!k_wet) {
        q = signed_root(sf) / v.n[j] * depth_power(hf);
    } else {
        const double hu = (sf < 0.0 ? hk : hj) - w.threshold_depth;
        const double m = signed_root(sf) / w.wetland_n * depth_power(hu);
        const double l = sf * hu * w.transition_coef;
        const double q0 = sf * w.threshold_depth * w.linear_coef;
        if (hu > w.transition_depth) {
            q = q0 + m;
        } else {
            const double t = hu / w.transition_depth;
            q = q0 + t * m + (1.0 - t) * l;
        }
    }
    return q * v.dx;
}

// Flow across the face j -> k when one of them is a lake cell, m3/s,
// positive from j to k.
double lake_face(const face_view& v, int j, int k) {
    const bool lake_j = v.lake[j] != 0;
    if (lake_j && v.lake[k] != 0) return 0.0;
    const int c = lake_j ? k : j;   // the cell outside the lake
    const int l = lake_j ? j : k;
    const wetland_record* w =
        (v.wmask != nullptr && v.wmask[c] >= 1) ? &v.wrec[v.wmask[c]] : nullptr;
    const double q =
        v.lake_level != nullptr
            ? channel_lake_face_flow(v.z[c], v.h[c], v.r[c], v.n[c], w, v.lake_level[v.lake[l]],
                                     v.dx)
            : lake_face_flow(v.z[c] + v.h[c], v.h[c], v.r[c], v.n[c], w, v.stage[l], v.dx);
    return lake_j ? -q : q;
}

// The cells of a sub-step are taken in tiles of kTile consecutive cells. A
// tile first computes, in short loops without branches that the compiler
// turns into vector code, what each face needs from the depths: the friction
// slope of the cell's right and bottom faces and the square roots of their
// magnitudes, and what depends on the cell alone: dx / n and the flow depth
// above retention raised to 5/3. The faces then only combine these. The tile
// arrays live on the stack (10 x 2 kB), so a step allocates nothing.
constexpr int kTile = 256;
constexpr double kPowerLater = -1.0;   // power of a flow depth out of the fast range or <= 0

struct tile_values {
    int first = 0;                 // first cell of the tile
    int count = 0;                 // cells in the tile
    double neighbour[2][kTile];    // depth of the right [0] and lower [1] neighbour, m
                                   // (slot 0 of the depths when there is none)
    double present[2][kTile];      // 1 when that neighbour exists, else 0
    double slope[2][kTile];        // friction slope of the right [0] and bottom [1] face, m/m
    double root[2][kTile];         // sqrt(|slope|)
    double power[kTile];           // (h - r)^(5/3), m^(5/3), or kPowerLater
    double conveyance[kTile];      // dx / n, m s/m^(1/3)

    [[gnu::always_inline]] void fill(const face_view& v, int first_cell, int cells) {
        first = first_cell;
        count = cells;
        const double* h = v.h;
        const double* r = v.r + first_cell;
        const double* n = v.n + first_cell;
        const double* sx = v.sx + first_cell;
        const double* sy = v.sy + first_cell;
        const int* right = v.right + first_cell;
        const int* below = v.below + first_cell;
        // A missing neighbour is slot 0 of the depths: a finite number whose
        // slope no face uses.
        for (int i = 0; i < cells; ++i) {
            const double hj = h[first_cell + i];
            const double hx = h[right[i]];
            const double hy = h[below[i]];
            const double fx = friction_slope(v, sx[i], hj, hx);
            const double fy = friction_slope(v, sy[i], hj, hy);
            neighbour[0][i] = hx;
            neighbour[1][i] = hy;
            present[0][i] = right[i] != 0 ? 1.0 : 0.0;
            present[1][i] = below[i] != 0 ? 1.0 : 0.0;
            slope[0][i] = fx;
            slope[1][i] = fy;
            root[0][i] = std::sqrt(std::fabs(fx));
            root[1][i] = std::sqrt(std::fabs(fy));
            conveyance[i] = v.dx / n[i];
        }
        // Every cell through the fast power (of 1 m for a depth out of its
        // range, then marked to be done by the library where a face needs it).
        for (int i = 0; i < cells; ++i) {
            const double hf = h[first_cell + i] - r[i];
            const bool fast = in_fast_range(hf);
            const double p = fast_depth_power(fast ? hf : 1.0);
            power[i] = fast ? p : kPowerLater;
        }
    }

    // Own power of slot i, whose flow depth above retention is hf > 0.
    double own_power(int i, double hf) const {
        return power[i] != kPowerLater ? power[i] : depth_power(hf);
    }

    // hf^(5/3) for the water of cell k above the retention depth rj of the
    // cell that receives it (hf = h(k) - rj > 0): the tile's value when k is
    // in the tile and has the same retention depth, so the same difference.
    double power_of(const face_view& v, int k, double rj, double hf) const {
        const unsigned i = static_cast<unsigned>(k - first);
        if (i < static_cast<unsigned>(count) && v.r[k] == rj)
            return own_power(static_cast<int>(i), hf);
        return depth_power(hf);
    }
};

// Flow across the face `f` (0 right, 1 bottom) of cell j (slot i of the tile)
// towards k (not 0), m3/s, positive from j to k.
template <bool kDikes, bool kWetlands, bool kLakes>
inline double face_flow_of(const face_view& v, const tile_values& t, int i, int j, int k, int f) {
    if (kDikes && (v.dike[j] & (f == 0 ? 2 : 4)) != 0) return 0.0;
    if (kLakes && (v.lake[j] | v.lake[k]) != 0) return lake_face(v, j, k);
    if (kWetlands && v.wmask[j] >= 1) return wetland_face(v, j, k, f == 0 ? v.sx[j] : v.sy[j]);
    const double hj = v.h[j];
    const double rj = v.r[j];
    if (hj < rj) return 0.0;
    const double hk = v.h[k];
    if (hk <= rj && hj <= rj) return 0.0;   // no flow depth on either side
    const double sf = t.slope[f][i];
    if (level_surface(sf)) return 0.0;
    // sign(sf) sqrt|sf| x power x dx / n, negated as a whole: the same bits.
    if (sf < 0.0) {
        const double hf = hk - rj;   // water from k, above the retention of j
        if (hf <= 0.0) return 0.0;
        return -(t.root[f][i] * t.power_of(v, k, rj, hf) * t.conveyance[i]);
    }
    const double hf = hj - rj;
    if (hf <= 0.0) return 0.0;
    return t.root[f][i] * t.own_power(i, hf) * t.conveyance[i];
}

// Depth the donor of the face j -> k keeps after the face moves dhh (m,
// positive from j to k): the outflow test of the split looks at the cell the
// water leaves, not at cell j whatever the direction (that would split on
// every inflow into a dry cell and never on an outflow larger than the water).
inline double donor_depth_after(double dhh, double hj, double hk) {
    return dhh > 0.0 ? hj - dhh : hk + dhh;
}

// True when the face that moves dhh needs a split. (Bitwise operators on the
// tests, so that a loop of it becomes vector code.)
inline bool needs_split(double dhh, double hj, double hk) {
    const double a = std::fabs(dhh);
    return (a >= kSplitShift) | (a > kSplitDepthChange) |
           (donor_depth_after(dhh, hj, hk) < kSplitNegative);
}

// True when the face takes more than kDonorShare of its donor's water.
inline bool heavy_donor(double dhh, double hj, double hk) {
    const bool out = dhh > 0.0;
    return (out & (dhh > kDonorShare * hj)) | (!out & (-dhh > kDonorShare * hk));
}

// The flow q (m3/s) of the face j -> k held to a quarter of the level
// difference of the two cells per sub-step: with four faces each cell's new
// level is then a weighted mean of its own and its neighbours' levels, so
// water standing almost level (where the Manning law has no bound on its
// diffusion) settles instead of sloshing past the level around it.
// c2 = s / dx^2 (1/m), s0 the bed slope j -> k (m/m).
inline double level_limited(const face_view& v, double q, double c2, double s0, double hj,
                            double hk) {
    const double cap = kLevelShare * std::fabs(s0 * v.dx + hj - hk) / c2;   // m3/s
    return q > cap ? cap : (q < -cap ? -cap : q);
}

// Tiles of cells with a face of each kind (0: no such face anywhere).
struct pass_counts {
    int split_x = 0;     // tiles with a right face that needs a split
    int split_y = 0;     // tiles with a bottom face that needs a split
    int heavy = 0;       // tiles with a face that calls for the outflow check
};

// Depth of cell j as a donor in the split tests, m: a lake gives without end.
template <bool kLakes>
inline double donor_depth(const face_view& v, int j) {
    return (kLakes && v.lake[j] != 0) ? kLakeDonorDepth : v.h[j];
}

// Depth of cell j in the level limit, m: a channel lake cell stands for its
// lake's water above its ground; otherwise `depth`.
template <bool kLakes>
inline double level_depth(const face_view& v, int j, double depth) {
    if (kLakes && v.lake_level != nullptr && v.lake[j] != 0) return v.lake_level[v.lake[j]] - v.z[j];
    return depth;
}

// The face flows of the cells of one tile with lakes, one face at a time;
// adds to the split counts. c2 = s / dx^2, 1/m.
template <bool kDikes, bool kWetlands, bool kLakes>
inline void tile_faces_one_by_one(const face_view& v, const tile_values& t, double c2, int& split_x,
                                  int& split_y, int& heavy) {
    for (int i = 0; i < t.count; ++i) {
        const int j = t.first + i;
        const double hj = donor_depth<kLakes>(v, j);
        // The faces of a channel lake's cells call for no split: the lake
        // gives no more than it holds, and the cell outside tests its own.
        const bool tested = !(kLakes && v.lake_level != nullptr && v.lake[j] != 0);
        const int kr = v.right[j];
        double q = 0.0;
        if (kr != 0) {
            q = face_flow_of<kDikes, kWetlands, kLakes>(v, t, i, j, kr, 0);
            if (q != 0.0)
                q = level_limited(v, q, c2, v.sx[j], level_depth<kLakes>(v, j, hj),
                                  level_depth<kLakes>(v, kr, v.h[kr]));
        }
        v.qx[j] = q;
        if (q != 0.0) {
            const double dhh = q * c2;
            const double hk = donor_depth<kLakes>(v, kr);
            if (tested && needs_split(dhh, hj, hk)) ++split_x;
            if (heavy_donor(dhh, hj, hk)) ++heavy;
        }
        const int kb = v.below[j];
        q = 0.0;
        if (kb != 0) {
            q = face_flow_of<kDikes, kWetlands, kLakes>(v, t, i, j, kb, 1);
            if (q != 0.0)
                q = level_limited(v, q, c2, v.sy[j], level_depth<kLakes>(v, j, hj),
                                  level_depth<kLakes>(v, kb, v.h[kb]));
        }
        v.qy[j] = q;
        if (q != 0.0) {
            const double dhh = q * c2;
            const double hk = donor_depth<kLakes>(v, kb);
            if (tested && needs_split(dhh, hj, hk)) ++split_y;
            if (heavy_donor(dhh, hj, hk)) ++heavy;
        }
    }
}

// The face flows of the cells of one tile; adds the tile to the counts of
// the kinds of faces it has. c2 = s / dx^2, 1/m.
//   1. Every face whose water comes from its own cell with a depth in the
//      fast range, in vector code: the face law with the tile's values, or 0.
//   2. Only when the tile has faces step 1 cannot know (water coming from the
//      neighbour, a slope or depth that is not a number, a depth out of the
//      fast range, a wetland cell): these, one by one. Together with step 1
//      every face gets the value of face_flow_of.
//   3. The level limit of every face, in vector code.
//   4. The split tests, in vector code.
// A tile of a run with lakes goes face by face.
template <bool kDikes, bool kWetlands, bool kLakes>
[[gnu::always_inline]] inline void tile_faces(const face_view& v, const tile_values& t, double c2,
                                              int& split_x, int& split_y, int& heavy) {
    if (kLakes) {
        tile_faces_one_by_one<kDikes, kWetlands, kLakes>(v, t, c2, split_x, split_y, heavy);
        return;
    }
    const int first = t.first;
    const int m = t.count;
    const double* h = v.h + first;
    const double* r = v.r + first;
    for (int f = 0; f < 2; ++f) {
        const int* next = (f == 0 ? v.right : v.below) + first;
        double* q = (f == 0 ? v.qx : v.qy) + first;
        const double* sf = t.slope[f];
        const double* root = t.root[f];
        const double* hk = t.neighbour[f];
        const int side_bit = f == 0 ? 2 : 4;
        for (int i = 0; i < m; ++i) {
            const double hj = h[i];
            const double rj = r[i];
            const bool neighbour = t.present[f][i] != 0.0;
            bool own = (sf[i] >= 0.0) & (t.power[i] != kPowerLater);
            if (kWetlands) own &= v.wmask[first + i] < 1;
            bool flows = neighbour & own & (hj >= rj) & ((hk[i] > rj) | (hj > rj)) &
                         (std::fabs(sf[i]) >= kSlopeFloor) & (hj - rj > 0.0);
            if (kDikes) flows &= (v.dike[first + i] & side_bit) == 0;
            const double law = root[i] * t.power[i] * t.conveyance[i];
            q[i] = flows ? law : 0.0;
        }
        // (A face without a neighbour may be taken too; step 2 skips it.)
        bool others = kWetlands;
        for (int i = 0; i < m && !others; ++i)
            others = !((sf[i] >= 0.0) & (t.power[i] != kPowerLater));
        if (others) {
            for (int i = 0; i < m; ++i) {
                bool own = (sf[i] >= 0.0) & (t.power[i] != kPowerLater);
                if (kWetlands) own &= v.wmask[first + i] < 1;
                if (!own && next[i] != 0)
                    q[i] = face_flow_of<kDikes, kWetlands, false>(v, t, i, first + i, next[i], f);
            }
        }
        const double* s0 = (f == 0 ? v.sx : v.sy) + first;
        for (int i = 0; i < m; ++i) q[i] = level_limited(v, q[i], c2, s0[i], h[i], hk[i]);
        // The tests of every face as a code (1 split, 2 heavy) in vector code,
        // then whether any face has them.
        double code[kTile];
        for (int i = 0; i < m; ++i) {
            const double dhh = q[i] * c2;
            const bool moves = q[i] != 0.0;
            code[i] = ((moves & needs_split(dhh, h[i], hk[i])) ? 1.0 : 0.0) +
                      ((moves & heavy_donor(dhh, h[i], hk[i])) ? 2.0 : 0.0);
        }
        int found = 0;
        for (int i = 0; i < m; ++i) found |= static_cast<int>(code[i]);
        (f == 0 ? split_x : split_y) += found & 1;
        heavy += found >> 1;
    }
}

// One tile of cells: its values, then its faces. The same code is built twice
// on x86-64, once for the plain instruction set and once with AVX2, whose
// vectors of four doubles do the tile loops in about half the time; the AVX2
// build runs where the processor has it. Both do the same operations in the
// same order (no fused multiply-add), so they give the same bits.
struct tile_counts {
    int split_x = 0;   // tiles with a right face that needs a split
    int split_y = 0;   // tiles with a bottom face that needs a split
    int heavy = 0;     // tiles with a face that calls for the outflow check
};

template <bool kDikes, bool kWetlands, bool kLakes>
[[gnu::always_inline]] inline void tile_work(const face_view& v, int first, int cells, double c2,
                                             tile_counts& c) {
    tile_values t;   // on the stack: the compiler knows it overlaps no grid array
    t.fill(v, first, cells);
    tile_faces<kDikes, kWetlands, kLakes>(v, t, c2, c.split_x, c.split_y, c.heavy);
}

template <bool kDikes, bool kWetlands, bool kLakes>
void tile_plain(const face_view& v, int first, int cells, double c2, tile_counts& c) {
    tile_work<kDikes, kWetlands, kLakes>(v, first, cells, c2, c);
}

using tile_function = void (*)(const face_view&, int, int, double, tile_counts&);

bool plain_kernel_only = false;   // set_plain_overland_kernel

#if defined(__x86_64__) && defined(__GNUC__)
template <bool kDikes, bool kWetlands, bool kLakes>
__attribute__((target("avx2"))) void tile_avx2(const face_view& v, int first, int cells,
                                               double c2, tile_counts& c) {
    tile_work<kDikes, kWetlands, kLakes>(v, first, cells, c2, c);
}

template <bool kDikes, bool kWetlands, bool kLakes>
tile_function tile_function_for_this_processor() {
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return avx2 && !plain_kernel_only ? &tile_avx2<kDikes, kWetlands, kLakes>
                                      : &tile_plain<kDikes, kWetlands, kLakes>;
}
#else
template <bool kDikes, bool kWetlands, bool kLakes>
tile_function tile_function_for_this_processor() {
    return &tile_plain<kDikes, kWetlands, kLakes>;
}
#endif

// The outflow limit and the new depths of one sub-step: loops meant to run
// as the last part of a parallel region (every thread calls this), or on one
// thread.
//   - limit (only when `heavy`): scales the outflows of every donor that would
//     pass more water than it holds to (almost) that water; scale is per cell;
//   - apply: new depths from the four faces of every cell (dst may be v.h).
// The implicit barriers of the loops separate the writes of a face flow from
// its reads by the neighbour.
template <bool kLakes>
void limit_and_apply(const face_view& v, double c2, double* scale, double* dst, bool heavy) {
    const int n = v.cells;
    if (kLakes) {
        // One thread; the barrier at its end lets the others see the faces.
#pragma omp single
        {
            if (v.lake_level != nullptr)
                limit_channel_lake_outflow(*v.rs, v.qx, v.qy, c2 * v.dx * v.dx);
            else
                limit_lake_outflow(*v.rs, v.qx, v.qy, c2 * v.dx * v.dx);
        }
    }
    if (heavy) {
#pragma omp for schedule(static)
        for (int j = 1; j <= n; ++j) {
            if (kLakes && v.lake[j] != 0) {
                scale[j] = 1.0;   // the lake's budget limits what it gives
                continue;
            }
            double out = 0.0;
            if (v.qx[j] > 0.0) out += v.qx[j];
            if (v.qy[j] > 0.0) out += v.qy[j];
            const double ql = v.qx[v.left[j]];
            if (ql < 0.0) out -= ql;
            const double qa = v.qy[v.above[j]];
            if (qa < 0.0) out -= qa;
            const double moved = out * c2;
            const double held = v.h[j] > 0.0 ? v.h[j] * kLimitMargin : 0.0;
            scale[j] = moved > held ? held / moved : 1.0;
        }
#pragma omp for schedule(static)
        for (int j = 1; j <= n; ++j) {
            const double qxj = v.qx[j];
            if (qxj > 0.0) v.qx[j] = qxj * scale[j];
            else if (qxj < 0.0) v.qx[j] = qxj * scale[v.right[j]];
            const double qyj = v.qy[j];
            if (qyj > 0.0) v.qy[j] = qyj * scale[j];
            else if (qyj < 0.0) v.qy[j] = qyj * scale[v.below[j]];
        }
    }
    // No barrier after this loop: the region that calls this ends with one.
#pragma omp for schedule(static) nowait
    for (int j = 1; j <= n; ++j) {
        const double net = (v.qx[v.left[j]] - v.qx[j]) + (v.qy[v.above[j]] - v.qy[j]);
        if (kLakes && v.lake[j] != 0) {
            dst[j] = v.h[j];
            if (v.lake_level == nullptr) {
                v.lake_gain[j] += net * c2 * (v.dx * v.dx);
                continue;
            }
            // Each face's water by its direction: into the lake or out of it.
            const double seconds = c2 * (v.dx * v.dx);
            const double faces[4] = {v.qx[v.left[j]], -v.qx[j], v.qy[v.above[j]], -v.qy[j]};
            double in = 0.0;
            double out = 0.0;
            for (const double q : faces) (q > 0.0 ? in : out) += std::fabs(q) * seconds;
            v.lake_in[j] += in;
            v.lake_out[j] += out;
            continue;
        }
        dst[j] = v.h[j] + net * c2;
    }
}

// One sub-step of length c2 x dx^2 seconds, in one parallel region when
// `parallel`: the face flows of every tile and the split counts, then, when
// no face needs a split, the outflow limit and the new depths into dst
// (`applied` is then true). With a split the depths are left alone: the
// caller prints, divides or goes on (finish_substep).
template <bool kDikes, bool kWetlands, bool kLakes>
pass_counts run_substep(const face_view& v, double c2, double* scale, double* dst, bool parallel,
                        bool& applied) {
    const int n = v.cells;
    const int tiles = (n + kTile - 1) / kTile;
    const tile_function tile = tile_function_for_this_processor<kDikes, kWetlands, kLakes>();
    int split_x = 0;
    int split_y = 0;
    int heavy = 0;
#pragma omp parallel if (parallel)
    {
#pragma omp for schedule(static) reduction(+ : split_x, split_y, heavy)
        for (int b = 0; b < tiles; ++b) {
            const int first = 1 + b * kTile;
            tile_counts c;
            tile(v, first, first + kTile <= n + 1 ? kTile : n + 1 - first, c2, c);
            split_x += c.split_x;
            split_y += c.split_y;
            heavy += c.heavy;
        }
        // After the barrier of the loop every thread sees the summed counts.
        if (split_x == 0 && split_y == 0) limit_and_apply<kLakes>(v, c2, scale, dst, heavy > 0);
    }
    applied = split_x == 0 && split_y == 0;
    return pass_counts{split_x, split_y, heavy};
}

template <bool kDikes, bool kWetlands>
pass_counts run_lakes_or_not(const face_view& v, double c2, double* scale, double* dst,
                             bool parallel, bool& applied) {
    return v.lake != nullptr
               ? run_substep<kDikes, kWetlands, true>(v, c2, scale, dst, parallel, applied)
               : run_substep<kDikes, kWetlands, false>(v, c2, scale, dst, parallel, applied);
}

pass_counts run_any_substep(const face_view& v, double c2, double* scale, double* dst,
                            bool parallel, bool& applied) {
    if (v.dike != nullptr) {
        return v.wmask != nullptr
                   ? run_lakes_or_not<true, true>(v, c2, scale, dst, parallel, applied)
                   : run_lakes_or_not<true, false>(v, c2, scale, dst, parallel, applied);
    }
    return v.wmask != nullptr ? run_lakes_or_not<false, true>(v, c2, scale, dst, parallel, applied)
                              : run_lakes_or_not<false, false>(v, c2, scale, dst, parallel, applied);
}

// The rest of a sub-step that had faces needing a split but goes on.
void finish_substep(const face_view& v, double c2, double* scale, double* dst, bool heavy,
                    bool parallel) {
    if (v.lake != nullptr) {
#pragma omp parallel if (parallel)
        limit_and_apply<true>(v, c2, scale, dst, heavy);
    } else {
#pragma omp parallel if (parallel)
        limit_and_apply<false>(v, c2, scale, dst, heavy);
    }
}

// The faces of one pass that need a split, counted in cell order on one
// thread (the pass is rare): every face of the pass, or with `outside_lakes`
// only the faces of cells outside the lakes.
long count_split_faces(const face_view& v, bool x_pass, double c2, bool outside_lakes) {
    const double* q = x_pass ? v.qx : v.qy;
    const int* next = x_pass ? v.right : v.below;
    const int n = v.cells;
    long count = 0;
    for (int j = 1; j <= n; ++j) {
        if (q[j] == 0.0) continue;
        if (outside_lakes && v.lake[j] != 0) continue;
        const double dhh = q[j] * c2;
        const double hj = v.lake != nullptr ? donor_depth<true>(v, j) : v.h[j];
        const double hk = v.lake != nullptr ? donor_depth<true>(v, next[j]) : v.h[next[j]];
        if (needs_split(dhh, hj, hk)) ++count;
    }
    return count;
}

// Sizes the work arrays of the scheme at the first call of the run.
void size_scheme_arrays(run_state& rs) {
    const size_t size = static_cast<size_t>(rs.GNUM) + 1;
    if (rs.ov_substep_depth.size() != size) rs.ov_substep_depth.assign(size, 0.0);
    if (rs.ov_out_scale.size() != size) rs.ov_out_scale.assign(size, 1.0);
    for (std::vector<double>* a : {&rs.ov_qx, &rs.ov_qy, &rs.ov_slope_x, &rs.ov_slope_y,
                                   &rs.retent_dep, &rs.dist_rough}) {
        if (a->size() < size) a->resize(size, 0.0);
    }
    for (std::vector<int>* a : {&rs.rightcon, &rs.belowcon, &rs.leftcon, &rs.abovecon}) {
        if (a->size() < size) a->resize(size, 0);
    }
}

face_view make_view(run_state& rs) {
    face_view v;
    point_view_at_cells(v, rs);
    v.sx = rs.ov_slope_x.data();
    v.sy = rs.ov_slope_y.data();
    v.qx = rs.ov_qx.data();
    v.qy = rs.ov_qy.data();
    return v;
}

// Adds the faces of a sub-step of u seconds to the step's face volumes
// (m3), starting them when `fresh`.
void add_face_volumes(run_state& rs, double u, bool fresh, bool parallel) {
    const int n = rs.GNUM;
    const double* qx = rs.ov_qx.data();
    const double* qy = rs.ov_qy.data();
    double* sx = rs.ov_qx_sum.data();
    double* sy = rs.ov_qy_sum.data();
#pragma omp parallel for schedule(static) if (parallel)
    for (int j = 1; j <= n; ++j) {
        sx[j] = (fresh ? 0.0 : sx[j]) + qx[j] * u;
        sy[j] = (fresh ? 0.0 : sy[j]) + qy[j] * u;
    }
}

// The step's face volumes as its mean discharges (m3/s).
void mean_face_discharges(run_state& rs, double dt, bool parallel) {
    const int n = rs.GNUM;
    double* qx = rs.ov_qx.data();
    double* qy = rs.ov_qy.data();
    const double* sx = rs.ov_qx_sum.data();
    const double* sy = rs.ov_qy_sum.data();
#pragma omp parallel for schedule(static) if (parallel)
    for (int j = 1; j <= n; ++j) {
        qx[j] = sx[j] / dt;
        qy[j] = sy[j] / dt;
    }
}

// Drains the outlet cell for the whole step; at most the water it holds. m3.
// A held outlet (boundary type 2, 3 or 9) keeps its level: it does not drain.
double drain_outlet(run_state& rs, double dt) {
    const int o = rs.outlet_cell;
    if (o < 1 || o > rs.GNUM) return 0.0;
    const size_t oc = static_cast<size_t>(o);
    if (rs.ov_boundary && oc < rs.boundary_type.size() && held_boundary_type(rs.boundary_type[oc]))
        return 0.0;
    const double h = rs.ov_depth[oc];
    const double n = rs.dist_rough[oc];
    if (!(h > 0.0) || !(rs.outslope > 0.0) || !(n > 0.0)) return 0.0;
    const double area = rs.cell_size * rs.cell_size;
    const double q = rs.cell_size * std::pow(h, kOutletExponent) * std::sqrt(rs.outslope) / n;
    double volume = q * dt;
    if (volume >= h * area) {
        volume = h * area;
        rs.ov_depth[oc] = 0.0;
    } else {
        rs.ov_depth[oc] = h - volume / area;
    }
    return volume;
}

}  // namespace

bool plain_overland_kernel() {
    return plain_kernel_only;
}

void set_plain_overland_kernel(bool plain) {
    plain_kernel_only = plain;
}

double route_overland_explicit(run_state& rs, double dt) {
    const int cells = rs.GNUM;
    rs.ov_xy_first = rs.ov_xy_first == 0 ? 1 : 0;
    if (cells < 1 || rs.ov_depth.size() < static_cast<size_t>(cells) + 1 || !(dt > 0.0) ||
        !(rs.cell_size > 0.0))
        return 0.0;
    size_scheme_arrays(rs);

    // The sub-step this call starts with.
    double sub = dt;
    if (rs.ov_reduced_steps_left > 0) {
        sub = rs.ov_reduced_dt;
        rs.ov_reduced_active = 1;
        --rs.ov_reduced_steps_left;
    } else if (rs.ov_reduced_active) {
        if (!rs.quiet) std::printf("Resetting time step to %4.2lf for overland flow...\n", dt);
        rs.ov_reduced_active = 0;
    }
    if (!(sub > 0.0)) sub = dt;

    face_view v = make_view(rs);
    v.qx[0] = 0.0;   // the face of a missing neighbour carries nothing
    v.qy[0] = 0.0;
    const double area = rs.cell_size * rs.cell_size;
    double* const start_depth = rs.ov_depth.data();
    double* const work_depth = rs.ov_substep_depth.data();
    double* const scale = rs.ov_out_scale.data();
    const bool parallel = cells >= parallel_cells().overland;
    const bool lakes = prepare_lake_step(rs);
    if (lakes) {
        v.lake = rs.oland_lake_new.data();
        v.stage = rs.ov_lake_stage.data();
        v.z = rs.elevation.data();
        v.lake_gain = rs.ov_lake_gain.data();
        v.rs = &rs;
    }
    // Lakes of the channel network (never together with overland lakes).
    const bool channel_lakes = !lakes && prepare_channel_lake_step(rs);
    if (channel_lakes) {
        v.lake = rs.lake_mask.data();
        v.lake_level = rs.ov_chlake_level.data();
        v.z = rs.elevation.data();
        v.lake_in = rs.ov_chlake_in.data();
        v.lake_out = rs.ov_chlake_out.data();
        v.rs = &rs;
    }

    // Carried constituents move with the step's mean face discharges: with
    // more than one sub-step the faces' volumes are summed and divided at
    // the end (one sub-step leaves its own faces, which are the mean).
    const bool means = rs.overland_constituents != 0;
    if (means) {
        for (std::vector<double>* a : {&rs.ov_qx_sum, &rs.ov_qy_sum})
            if (a->size() != static_cast<size_t>(cells) + 1) a->assign(static_cast<size_t>(cells) + 1, 0.0);
    }
    int substeps = 0;   // accepted sub-steps of the attempt that stands

    int divisions = 0;
    bool too_short = false;
    bool restart = true;
    double held_gain = 0.0;   // water the held boundary cells gave in this attempt, m3
    double held_loss = 0.0;   // water they took, m3
    double* held_cell_loss = nullptr;   // the same per held cell, m3 (while constituents are carried)
    while (restart) {
        restart = false;
        if (lakes) restart_lake_step(rs);
        if (channel_lakes) restart_channel_lake_step(rs);
        double elapsed = 0.0;
        held_gain = 0.0;
        held_loss = 0.0;
        held_cell_loss = clear_head_cell_losses(rs);
        v.h = start_depth;
        substeps = 0;
        for (;;) {
            double used = sub;
            if (used > dt - elapsed) used = dt - elapsed;   // the last sub-step ends at dt
            const double c2 = used / area;
            const double next_elapsed = elapsed + used;
            const bool last = std::fabs(next_elapsed - dt) < kDoneTolerance || next_elapsed > dt;
            double* dst = last ? start_depth : work_depth;
            bool applied = false;
            const pass_counts counts = run_any_substep(v, c2, scale, dst, parallel, applied);
            ++rs.ov_sweeps;

            // The two passes in the order of ov_xy_first.
            for (int pass = 0; pass < 2 && !restart; ++pass) {
                const bool x_pass = (pass == 0) == (rs.ov_xy_first == 0);
                const int splits = x_pass ? counts.split_x : counts.split_y;
                if (splits == 0) continue;
                const bool short_step = used <= kShortestDivisible;
                // Counted for the event summary, never printed a face at a time.
                rs.event_ov_split_faces += count_split_faces(v, x_pass, c2, channel_lakes);
                if (short_step) too_short = true;
                if (too_short) continue;
                if (divisions < kMaxDivisions) {
                    sub /= kDivisor;
                    if (!rs.quiet)
                        std::printf(" *Changing overland time step to %4.2lf seconds...\n", sub);
                    rs.ov_reduced_dt = sub;
                    rs.ov_reduced_steps_left = kHeldCalls;
                    ++divisions;
                    restart = true;
                } else {
                    too_short = true;
                    if (!rs.quiet)
                        std::printf(" *Time step to small to divide, continuing with current time "
                                    "step\n");
                }
            }
            if (restart) break;

            if (!applied) finish_substep(v, c2, scale, dst, counts.heavy > 0, parallel);
            if (means && !(last && substeps == 0)) add_face_volumes(rs, used, substeps == 0, parallel);
            ++substeps;
            if (channel_lakes) book_channel_lake_substep(rs);
            if (!rs.ov_head_cells.empty()) hold_head_cells(rs, dst, held_gain, held_loss, held_cell_loss);
            v.h = dst;
            elapsed = next_elapsed;
            if (last) break;
        }
    }

    if (means && substeps > 1) mean_face_discharges(rs, dt, parallel);
    rs.vol_head_bc_gain += held_gain;
    rs.vol_head_bc_loss += held_loss;
    if (held_cell_loss != nullptr) book_head_cell_losses(rs);
    if (lakes) book_lake_step(rs);
    exchange_low_spots(rs, dt);
    if (rs.chan_explic) return 0.0;
    return drain_outlet(rs, dt);
}
