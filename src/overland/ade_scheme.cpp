// ADE and ADE-PC overland schemes.
//
// One sub-step of length u (seconds) is one parallel region (on one thread
// below the overland threshold of core/parallel.h) holding, for each of the
// two sweeps in the order of the x/y switch:
//   1. (ADE-PC) predictor discharges of every face of the sweep from the
//      depths, and the predictor depths;
//   2. the face discharges, m3/s: each cell c computes the one across its own
//      face of the sweep (right face for x, bottom face for y) into ov_qx(c)
//      or ov_qy(c); ADE-PC takes the mean of the predictor and the corrector
//      (from the predictor depths, the predictor held within the level cap
//      of step 3); faces that move more than half of their donor's water, or
//      more than the level cap, are counted;
//   3. only when such a face exists: the share of its outflow each donor may
//      pass (a donor never gives more than it holds), and the faces scaled by
//      their donor's share; an overdraft beyond 1e-5 m ends the region and
//      restarts the step with half the sub-step; then (only when such a face
//      exists) every face held to a quarter of the level difference of its
//      two cells, so that no face carries a level past its neighbour's;
//   4. the new depths: (face of the upstream neighbour - own face) x u / dx^2.
// Every iteration writes only its own cell or its own face, and the verdicts
// are integer maxima, so the depths are bit-identical for any thread count.
// Volumes that leave the cells (head boundaries, clips) are kept per cell
// during the step and summed in cell order at its end; the outlet is drained
// on one thread between the sub-steps.
//
// Overland lakes: a lake cell holds no depth; a face between a lake cell and
// a cell outside the lakes carries the lake law (olake.h) with the lake's
// level as the lake cell's water surface, a face between two lake cells
// nothing. In the donor limit a lake gives without end; after the level cap
// the faces through which a lake gives water are scaled to its budget
// (serial, cell order), so a lake never gives water below its initial
// level. The depth update leaves a lake cell's depth alone and books what
// its face pair moved as the cell's gain; the step adds the gains to the
// lakes' inflow in cell order at its end, and a restart clears them.
//
// Channel-network lakes take the same path with lake_mask as the lake of the
// cell and each lake's level from its volume (channel_lake_faces.h): lake
// water leaves with its depth above the ground of the cell outside, the
// faces through which a lake gives water are scaled to what it holds, and
// after every sweep the lake cells' exchanges go into the lakes' volumes
// in cell order (one thread), so the next sweep sees the new levels.
#include "overland/ade_scheme.h"

#include <omp.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "channel/lateral_inflow.h"
#include "core/error.h"
#include "core/parallel.h"
#include "overland/ade_scheme_fused.h"
#include "overland/channel_lake_faces.h"
#include "overland/depth_power.h"
#include "overland/explicit_scheme.h"
#include "overland/lowspots.h"
#include "overland/olake.h"
#include "overland/view_setup.h"
#include "run/run_state.h"

namespace {

constexpr double kMinSubstep = 0.001;      // shortest sub-step, s
constexpr double kEstimateShare = 0.25;    // depth share of the sub-step estimate
constexpr double kUpdateShare = 0.5;       // depth share of a change that halves the next sub-step
constexpr double kTestDepth = 0.01;        // both tests look at cells deeper than this, m
constexpr double kTestSubstep = 0.1;       // both tests look at sub-steps longer than this, s
constexpr double kOverdraft = 1e-5;        // outflow beyond the donor's water that restarts, m
constexpr double kNoTimeLeft = 1e-16;      // time left below this counts as none, s
constexpr double kDoublingSlack = 1e-16;   // a doubled sub-step may pass dt by this, s
constexpr double kNegativeEntry = -1e-16;  // entry depth below this is raised to 0, m
constexpr double kZeroFlow = 1e-16;        // depths (m) and discharges (m3/s) at most this count
                                           // as none in the scan of the surface
constexpr double kWetlandExponent = 1.25;  // exponent of the wetland power law
constexpr double kViscosity = 1e-6;        // kinematic viscosity of water, m2/s
constexpr double kDonorShare = 0.5;        // a face moving more than this share of its donor's
                                           // water calls for the outflow limit
constexpr double kLimitMargin = 1.0 - 1e-12;  // a limited donor keeps this share of its outflow
constexpr double kLevelShare = 0.25;       // a face moves at most this share of the level
                                           // difference of its two cells in a sub-step
constexpr double kLakeDonorDepth = 1e30;   // depth a lake stands for in the donor test, m

// d^(5/3) for a depth d > 0, m^(5/3).
inline double five_thirds(double d) {
    return overland_power::depth_power(d);
}

// Arrays of the scheme as plain pointers (1-based cells, slot 0 unused).
struct ade_view {
    const double* z = nullptr;      // ground elevation, m
    const double* r = nullptr;      // retention depth, m
    const double* n = nullptr;      // Manning n, s/m^(1/3)
    const int* right = nullptr;
    const int* below = nullptr;
    const int* left = nullptr;
    const int* above = nullptr;
    const int* dike = nullptr;      // dike side bits, when dikes are on
    const int* wmask = nullptr;     // wetland number, when wetlands are on
    const wetland_record* wrec = nullptr;
    const double* swe = nullptr;    // snow water equivalent, m, when snow flows by Darcy's law
    double darcy_k = 0.0;           // Darcy conductivity of snow, m/s
    double reynolds = 0.0;          // Reynolds number from which snow flows by Manning again
    bool reynolds_on = false;       // the snow_reynolds card is given
    const int* btype = nullptr;     // overland boundary type per cell, when boundaries are on
    const int* lake = nullptr;      // overland lake of the cell (0 none), when lakes run
    const double* stage = nullptr;  // water level of the cell's lake (lake cells), m
    const double* lake_level = nullptr;  // per lake: level of each channel lake, m (set only
                                         // when the lakes are those of the channel network)
    run_state* rs = nullptr;        // the run, for the lake outflow limit (with lakes)
    double dx = 0.0;                // cell size, m
    double inv_dx = 0.0;            // 1 / cell size, 1/m
    double area = 0.0;              // cell area, m2
    int cells = 0;                  // GNUM
};

// Work arrays of one step.
struct ade_work {
    double* h = nullptr;            // depths, updated, m
    double* qx = nullptr;           // right-face discharges, m3/s
    double* qy = nullptr;           // bottom-face discharges, m3/s
    double* qx_sum = nullptr;       // right-face volumes of the step, m3
    double* qy_sum = nullptr;       // bottom-face volumes of the step, m3
    double* hp = nullptr;           // ADE-PC predictor depths, m
    double* fp = nullptr;           // ADE-PC predictor discharges, m3/s
    double* scale = nullptr;        // share of its outflow a donor may pass, 0..1
    double* head_gain = nullptr;    // water given by a held boundary cell in the step, m3
    double* head_loss = nullptr;    // water taken by a held boundary cell in the step, m3
    double* clip = nullptr;         // water created by a clip in the step, m3
    double* lake_gain = nullptr;    // water into the lake through a lake cell's faces in the
                                    // step, m3 (with lakes)
    double* lake_in = nullptr;      // per cell: water into the channel lake through the faces
                                    // of this lake cell in the sweep, m3
    double* lake_out = nullptr;     // per cell: water out of it likewise, m3
};

inline bool held(const ade_view& v, int c) {
    return head_boundary_cell(v.btype, c);
}

inline bool in_lake(const ade_view& v, int c) {
    return v.lake != nullptr && v.lake[c] != 0;
}

// Water surface of cell c from the depths h, m: its lake's level for a lake
// cell.
template <bool kLakes>
inline double water_level(const ade_view& v, const double* h, int c) {
    if (kLakes && in_lake(v, c))
        return v.lake_level != nullptr ? v.lake_level[v.lake[c]] : v.stage[c];
    return v.z[c] + h[c];
}

// Depth of cell c as a donor, m: a lake gives without end (its budget
// limits it instead).
template <bool kLakes>
inline double donor_depth(const ade_view& v, const double* h, int c) {
    return (kLakes && in_lake(v, c)) ? kLakeDonorDepth : h[c];
}

// Wetland discharge of a face whose flowing cell holds `depth` m of water
// with record w; s is the water-surface slope (positive from the face's own
// cell to its neighbour), m/m; m3/s.
double wetland_discharge(const wetland_record& w, double s, double depth, double dx) {
    const double t = w.threshold_depth;
    if (depth <= t) return w.linear_coef * s * depth * dx;
    const double d = depth - t;
    const double base = s * t * w.linear_coef * dx;
    double power = 0.0;
    if (w.wetland_n > 0.0) {
        power = std::sqrt(std::fabs(s)) / w.wetland_n * std::pow(d, kWetlandExponent) * dx;
        if (s < 0.0) power = -power;
    }
    if (!(w.transition_depth > 0.0) || d >= w.transition_depth) return base + power;
    const double share = d / w.transition_depth;
    const double lin = d * s * w.transition_coef * dx;
    return base + (1.0 - share) * lin + share * power;
}

// Discharge across the face of cell c towards b on side `side_bit` (2 right,
// 4 bottom) from the depths h, m3/s, positive from c to b. The flowing cell
// (the higher water surface) gives its depth above its own retention, its n,
// its wetland law and its snow.
// With lakes, a face that touches a lake cell takes the lake law (the cell
// outside the lake gives its depth, retention, n and wetland law in both
// directions); a face between two lake cells carries nothing.
template <bool kDikes, bool kWetlands, bool kSnow, bool kLakes>
inline double face_discharge(const ade_view& v, const double* h, int c, int b, int side_bit) {
    if (b == 0) return 0.0;
    if (kDikes && v.dike != nullptr && (v.dike[c] & side_bit) != 0) return 0.0;
    if (kLakes && (v.lake[c] | v.lake[b]) != 0) {
        const bool lake_c = v.lake[c] != 0;
        if (lake_c && v.lake[b] != 0) return 0.0;
        const int o = lake_c ? b : c;   // the cell outside the lake
        const wetland_record* w =
            (v.wmask != nullptr && v.wmask[o] >= 1) ? &v.wrec[v.wmask[o]] : nullptr;
        const int l = lake_c ? c : b;   // the lake cell
        const double q =
            v.lake_level != nullptr
                ? channel_lake_face_flow(v.z[o], h[o], v.r[o], v.n[o], w,
                                         v.lake_level[v.lake[l]], v.dx)
                : lake_face_flow(v.z[o] + h[o], h[o], v.r[o], v.n[o], w, v.stage[l], v.dx);
        return lake_c ? -q : q;
    }
    const double hc = h[c];
    const double hb = h[b];
    const double s = ((v.z[c] + hc) - (v.z[b] + hb)) * v.inv_dx;
    if (s == 0.0) return 0.0;
    const bool forward = s > 0.0;
    const int f = forward ? c : b;
    const double hf = forward ? hc : hb;
    if (kWetlands && v.wmask != nullptr && v.wmask[f] >= 1) return wetland_discharge(v.wrec[v.wmask[f]], s, hf, v.dx);
    const double d = hf - v.r[f];
    if (!(d > 0.0)) return 0.0;
    const double as = forward ? s : -s;
    double q;
    if (kSnow && v.swe[f] > 0.0 &&
        !(v.reynolds_on && std::fabs(as * v.darcy_k * hf / kViscosity) >= v.reynolds)) {
        q = as * v.darcy_k * d * v.dx;   // Darcy velocity through the snow pack
    } else {
        q = std::sqrt(as) / v.n[f] * five_thirds(d) * v.dx;
    }
    return forward ? q : -q;
}

// Largest discharge (m3/s) the face c -> b may carry in a sub-step: a
// quarter of the difference of the two water levels (z + h, m), c2 = u / dx^2
// (1/m). A sweep gives each cell two faces, so its new level is a weighted
// mean of its own and its two neighbours' levels with its own weight at least
// a half: water standing almost level (where the Manning law has no bound on
// its diffusion) settles instead of sloshing past the levels around it, and
// no level rises above the highest of the three, nor a held level.
// A lake cell's level is its lake's.
template <bool kLakes>
inline double level_cap(const ade_view& v, const double* h, int c, int b, double c2) {
    return kLevelShare *
           std::fabs(water_level<kLakes>(v, h, c) - water_level<kLakes>(v, h, b)) / c2;
}

// q (m3/s) held within +-cap.
inline double capped_to(double q, double cap) {
    return q > cap ? cap : (q < -cap ? -cap : q);
}

// One sweep of a sub-step: next/up are the neighbour arrays across the own
// face and the upstream face, q and q_sum the discharges and volumes of the
// sweep, side_bit its dike bit. Loops run inside a parallel region (or on one
// thread); heavy, capped and overdraft are per-sweep flags shared by the
// threads.
struct sweep_arrays {
    const int* next;
    const int* up;
    double* q;
    double* q_sum;
    int side_bit;
};

// Faces of the cells of a sweep without dikes, wetlands, snow or lakes, in
// blocks of consecutive cells, as vector code where it pays:
//   1. the face law of every face from the depths `depth` into q, for depths
//      in the fast range of the power (overland/depth_power.h), else 0 and
//      the block is marked; only for a marked block, those faces again one by
//      one (the library power). Together this is face_discharge of every face;
//   2. by the kind of loop: the ADE-PC predictor held within the level cap,
//      or the ADE-PC corrector as the mean of the predictor and the law;
//   3. (ADE faces and ADE-PC corrector) the donor and level-cap tests of
//      sweep_faces, from the depths h.
// The same operations in the same order as the one-by-one code of
// sweep_faces (no fused multiply-add), so the same bits.
constexpr int kBlock = 512;   // cells of a block

enum block_kind { kFaces = 0, kPredictor = 1, kCorrector = 2 };

struct block_args {
    const ade_view* v;
    const double* depth;   // depths the face law takes, m
    const double* h;       // depths of the tests and the level cap, m
    const double* fp;      // ADE-PC predictor discharges (corrector), m3/s
    const int* next;       // neighbour across the own face of the sweep
    double* q;             // face discharges, m3/s
    double c2;             // sub-step / cell area, s/m2
    int side_bit;          // dike bit of the sweep
    int kind;              // block_kind
};

// Returns 1 when some face of the block calls for the donor limit, + 2 when
// some face passes its level cap (kinds kFaces and kCorrector).
[[gnu::always_inline]] inline int plain_face_block(const block_args& a, int first, int last) {
    const ade_view& v = *a.v;
    const double* depth = a.depth;
    const double* h = a.h;
    const double* z = v.z;
    const double* r = v.r;
    const double* n = v.n;
    const int* next = a.next;
    double* q = a.q;
    const double inv_dx = v.inv_dx;
    const double dx = v.dx;
    const double c2 = a.c2;
    // Into a block on the stack first: the compiler knows it overlaps no
    // grid array, so the loop becomes vector code. Every value is loaded
    // whatever the direction (slot 0 of the arrays exists) and then chosen.
    double law_of[kBlock];
    const int count = last - first;
    int slow = 0;
    for (int i = 0; i < count; ++i) {
        const int c = first + i;
        const int b = next[c];
        const double hc = depth[c];
        const double hb = depth[b];
        const double rc = r[c];
        const double rb = r[b];
        const double nc = n[c];
        const double nb = n[b];
        const double s = ((z[c] + hc) - (z[b] + hb)) * inv_dx;
        const bool forward = s > 0.0;
        const double hf = forward ? hc : hb;
        const double d = hf - (forward ? rc : rb);
        const double nf = forward ? nc : nb;
        const double as = forward ? s : -s;
        const bool flows = (b != 0) & (s != 0.0) & (d > 0.0);
        const bool fast = overland_power::in_fast_range(d);
        const double m = std::sqrt(as) / nf * overland_power::fast_depth_power(fast ? d : 1.0) * dx;
        const double law = forward ? m : -m;
        law_of[i] = (flows & fast) ? law : 0.0;
        slow |= static_cast<int>(flows & !fast);
    }
    for (int i = 0; i < count; ++i) q[first + i] = law_of[i];
    if (slow != 0) {
        for (int c = first; c < last; ++c)
            q[c] = face_discharge<false, false, false, false>(v, depth, c, next[c], a.side_bit);
    }
    if (a.kind == kPredictor) {
        for (int c = first; c < last; ++c) {
            const int b = next[c];
            const double cap = kLevelShare * std::fabs((z[c] + h[c]) - (z[b] + h[b])) / c2;
            const double qc = q[c];
            q[c] = qc == 0.0 ? 0.0 : capped_to(qc, cap);
        }
        return 0;
    }
    if (a.kind == kCorrector) {
        for (int c = first; c < last; ++c) q[c] = 0.5 * (a.fp[c] + q[c]);
    }
    int heavy = 0;
    int capped = 0;
    for (int c = first; c < last; ++c) {
        const int b = next[c];
        const double qc = q[c];
        const double aq = std::fabs(qc);
        const double donor = qc > 0.0 ? h[c] : h[b];
        const double cap = kLevelShare * std::fabs((z[c] + h[c]) - (z[b] + h[b])) / c2;
        const bool moves = qc != 0.0;
        heavy |= static_cast<int>(moves & (aq * c2 > kDonorShare * donor));
        capped |= static_cast<int>(moves & (aq > cap));
    }
    return heavy | (capped << 1);
}

int plain_faces_portable(const block_args& a, int first, int last) {
    return plain_face_block(a, first, last);
}

using block_function = int (*)(const block_args&, int, int);

#if defined(__x86_64__) && defined(__GNUC__)
__attribute__((target("avx2"))) int plain_faces_avx2(const block_args& a, int first, int last) {
    return plain_face_block(a, first, last);
}

block_function plain_faces_for_this_processor() {
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return avx2 && !plain_overland_kernel() ? &plain_faces_avx2 : &plain_faces_portable;
}
#else
block_function plain_faces_for_this_processor() {
    return &plain_faces_portable;
}
#endif

// One loop of the parallel region over the blocks of a plain sweep (no
// dikes, wetlands, snow or lakes); returns this thread's test bits (1 donor
// limit, 2 level cap). Without `wait` the loop ends without a barrier.
int plain_faces(const block_args& a, bool wait) {
    const int n = a.v->cells;
    const int blocks = (n + kBlock - 1) / kBlock;
    const block_function f = plain_faces_for_this_processor();
    int found = 0;
    if (wait) {
#pragma omp for schedule(static)
        for (int i = 0; i < blocks; ++i) {
            const int first = 1 + i * kBlock;
            found |= f(a, first, first + kBlock <= n + 1 ? first + kBlock : n + 1);
        }
    } else {
#pragma omp for schedule(static) nowait
        for (int i = 0; i < blocks; ++i) {
            const int first = 1 + i * kBlock;
            found |= f(a, first, first + kBlock <= n + 1 ? first + kBlock : n + 1);
        }
    }
    return found;
}

template <bool kDikes, bool kWetlands, bool kSnow, bool kPc, bool kLakes>
void sweep_faces(const ade_view& v, const ade_work& w, const sweep_arrays& s, double c2,
                 int& heavy, int& capped) {
    const int n = v.cells;
    const double* h = w.h;
    constexpr bool kPlain = !kDikes && !kWetlands && !kSnow && !kLakes;
    if (kPlain) {
        // Blocks of vector code; the same faces and tests as below.
        if (kPc) {
            plain_faces(block_args{&v, h, h, nullptr, s.next, w.fp, c2, s.side_bit, kPredictor},
                        true);
#pragma omp for schedule(static)
            for (int c = 1; c <= n; ++c)
                w.hp[c] = held(v, c) ? h[c] : h[c] + (w.fp[s.up[c]] - w.fp[c]) * c2;
        }
        const int found =
            kPc ? plain_faces(block_args{&v, w.hp, h, w.fp, s.next, s.q, c2, s.side_bit, kCorrector},
                              false)
                : plain_faces(block_args{&v, h, h, nullptr, s.next, s.q, c2, s.side_bit, kFaces},
                              false);
        raise_shared_flag(heavy, found & 1);
        raise_shared_flag(capped, found & 2);
#pragma omp barrier
        return;
    }
    if (kPc) {
#pragma omp for schedule(static)
        for (int c = 1; c <= n; ++c) {
            // The predictor is held by the levels so that its depths stay
            // within their neighbours' levels.
            const int b = s.next[c];
            const double q =
                face_discharge<kDikes, kWetlands, kSnow, kLakes>(v, h, c, b, s.side_bit);
            w.fp[c] = q == 0.0 ? 0.0 : capped_to(q, level_cap<kLakes>(v, h, c, b, c2));
        }
#pragma omp for schedule(static)
        for (int c = 1; c <= n; ++c) {
            const bool keep = held(v, c) || (kLakes && v.lake[c] != 0);
            w.hp[c] = keep ? h[c] : h[c] + (w.fp[s.up[c]] - w.fp[c]) * c2;
        }
    }
    int own_heavy = 0;
    int own_capped = 0;
#pragma omp for schedule(static) nowait
    for (int c = 1; c <= n; ++c) {
        const int b = s.next[c];
        const double q =
            kPc ? 0.5 * (w.fp[c] + face_discharge<kDikes, kWetlands, kSnow, kLakes>(
                                       v, w.hp, c, b, s.side_bit))
                : face_discharge<kDikes, kWetlands, kSnow, kLakes>(v, h, c, b, s.side_bit);
        s.q[c] = q;
        if (q != 0.0) {
            const double donor = donor_depth<kLakes>(v, h, q > 0.0 ? c : b);
            if (std::fabs(q) * c2 > kDonorShare * donor) own_heavy = 1;
            if (std::fabs(q) > level_cap<kLakes>(v, h, c, b, c2)) own_capped = 1;
        }
    }
    raise_shared_flag(heavy, own_heavy);
    raise_shared_flag(capped, own_capped);
#pragma omp barrier
}

// Scales the outflows of every donor that would pass more than it holds;
// an overdraft beyond kOverdraft (or any, below the shortest sub-step) sets
// `overdraft`. A lake cell passes all (its budget limits it).
void limit_donors(const ade_view& v, const ade_work& w, const sweep_arrays& s, double c2, double u,
                  int& overdraft) {
    const int n = v.cells;
    const double* h = w.h;
    int own_overdraft = 0;
#pragma omp for schedule(static) nowait
    for (int c = 1; c <= n; ++c) {
        double out = 0.0;
        const double own = s.q[c];
        if (own > 0.0) out += own;
        const double upstream = s.q[s.up[c]];
        if (upstream < 0.0) out -= upstream;
        const double moved = out * c2;
        double share = 1.0;
        if (!held(v, c) && !in_lake(v, c) && moved > h[c]) {
            if (h[c] - moved <= -kOverdraft || u < kMinSubstep) own_overdraft = 1;
            share = h[c] > 0.0 ? h[c] * kLimitMargin / moved : 0.0;
        }
        w.scale[c] = share;
    }
    raise_shared_flag(overdraft, own_overdraft);
#pragma omp barrier
    if (overdraft) return;   // the same for every thread after the barrier
#pragma omp for schedule(static)
    for (int c = 1; c <= n; ++c) {
        const double q = s.q[c];
        if (q > 0.0) s.q[c] = q * w.scale[c];
        else if (q < 0.0) s.q[c] = q * w.scale[s.next[c]];
    }
}

// New depths of one sweep; sets halve when a change exceeds half the depth
// (cells deeper than kTestDepth, sub-steps longer than kTestSubstep) and
// clipped when a depth went below zero by rounding. A lake cell keeps its
// depth and books the change as its lake gain.
void apply_sweep(const ade_view& v, const ade_work& w, const sweep_arrays& s, double c2, double u,
                 int& halve, int& clipped) {
    const int n = v.cells;
    double* h = w.h;
    const bool test = u > kTestSubstep;
    int own_halve = 0;
    int own_clipped = 0;
#pragma omp for schedule(static) nowait
    for (int c = 1; c <= n; ++c) {
        const double q = s.q[c];
        s.q_sum[c] += q * u;
        const double dh = (s.q[s.up[c]] - q) * c2;
        const double before = h[c];
        if (in_lake(v, c)) {
            if (v.lake_level == nullptr) {
                w.lake_gain[c] += dh * v.area;
                continue;
            }
            // Each face's water by its direction: into the channel lake or out of it.
            const double into_up = s.q[s.up[c]] * u;   // m3, positive into c
            const double into_own = -q * u;            // m3, positive into c
            double in = 0.0;
            double out = 0.0;
            (into_up > 0.0 ? in : out) += std::fabs(into_up);
            (into_own > 0.0 ? in : out) += std::fabs(into_own);
            w.lake_in[c] += in;
            w.lake_out[c] += out;
            continue;
        }
        if (held(v, c)) {
            if (dh > 0.0) w.head_loss[c] += dh * v.area;
            else w.head_gain[c] -= dh * v.area;
            continue;
        }
        double after = before + dh;
        if (after < 0.0) {
            w.clip[c] -= after * v.area;
            after = 0.0;
            own_clipped = 1;
        }
        h[c] = after;
        if (test && before > kTestDepth && std::fabs(dh) > kUpdateShare * before) own_halve = 1;
    }
    raise_shared_flag(halve, own_halve);
    raise_shared_flag(clipped, own_clipped);
#pragma omp barrier
}

// Holds every face within its level cap, after the donor limit: the donor
// test and the restart see the flows of the face law, so the sub-step still
// shortens where they move too much water, and the cap only trims what would
// carry a level past its neighbour's.
void cap_faces(const ade_view& v, const ade_work& w, const sweep_arrays& s, double c2) {
    const int n = v.cells;
#pragma omp for schedule(static)
    for (int c = 1; c <= n; ++c) {
        const double q = s.q[c];
        if (q != 0.0) s.q[c] = capped_to(q, level_cap<true>(v, w.h, c, s.next[c], c2));
    }
}

enum verdict { kGoOn = 0, kHalveNext = 1, kRestart = 2 };

struct substep_flags {
    int heavy[2] = {0, 0};
    int capped[2] = {0, 0};
    int overdraft[2] = {0, 0};
    int halve = 0;
    int clipped = 0;
};

// One sub-step of u seconds: both sweeps, x first when x_first.
template <bool kDikes, bool kWetlands, bool kSnow, bool kPc, bool kLakes>
int run_substep(const ade_view& v, const ade_work& w, double u, bool x_first, bool parallel,
                int& clipped) {
    const sweep_arrays x{v.right, v.left, w.qx, w.qx_sum, 2};
    const sweep_arrays y{v.below, v.above, w.qy, w.qy_sum, 4};
    const double c2 = u / v.area;
    substep_flags f;
#pragma omp parallel if (parallel)
    {
        for (int pass = 0; pass < 2; ++pass) {
            const sweep_arrays& s = (pass == 0) == x_first ? x : y;
            sweep_faces<kDikes, kWetlands, kSnow, kPc, kLakes>(v, w, s, c2, f.heavy[pass],
                                                               f.capped[pass]);
            if (f.heavy[pass]) {
                limit_donors(v, w, s, c2, u, f.overdraft[pass]);
                if (f.overdraft[pass]) break;
            }
            if (f.capped[pass]) cap_faces(v, w, s, c2);
            if (kLakes) {
                // One thread, in cell order; the barrier at its end lets the
                // others see the faces.
                const bool x_pass = s.q == w.qx;
                double* qx = x_pass ? s.q : nullptr;
                double* qy = x_pass ? nullptr : s.q;
#pragma omp single
                {
                    if (v.lake_level != nullptr)
                        limit_channel_lake_outflow(*v.rs, qx, qy, u);
                    else
                        limit_lake_outflow(*v.rs, qx, qy, u);
                }
            }
            apply_sweep(v, w, s, c2, u, f.halve, f.clipped);
            if (kLakes && v.lake_level != nullptr) {
                // The sweep's exchanges into the lakes' volumes and levels.
#pragma omp single
                book_channel_lake_substep(*v.rs);
            }
        }
    }
    clipped = f.clipped;
    if (f.overdraft[0] || f.overdraft[1]) return kRestart;
    return f.halve ? kHalveNext : kGoOn;
}

template <bool kPc>
int run_any_substep(const ade_view& v, const ade_work& w, double u, bool x_first, bool parallel,
                    int& clipped) {
    const bool dikes = v.dike != nullptr;
    const bool wet = v.wmask != nullptr;
    const bool snow = v.swe != nullptr;
    if (v.lake != nullptr) {
        // Lakes: one variant (two with snow) that tests for dikes and
        // wetlands at every face.
        return snow ? run_substep<true, true, true, kPc, true>(v, w, u, x_first, parallel, clipped)
                    : run_substep<true, true, false, kPc, true>(v, w, u, x_first, parallel,
                                                                clipped);
    }
    if (snow) {
        // Snow flow by Darcy's law is rare: one variant that tests for dikes
        // and wetlands at every face.
        return run_substep<true, true, true, kPc, false>(v, w, u, x_first, parallel, clipped);
    }
    if (dikes) {
        return wet ? run_substep<true, true, false, kPc, false>(v, w, u, x_first, parallel,
                                                                clipped)
                   : run_substep<true, false, false, kPc, false>(v, w, u, x_first, parallel,
                                                                 clipped);
    }
    return wet ? run_substep<false, true, false, kPc, false>(v, w, u, x_first, parallel, clipped)
               : run_substep<false, false, false, kPc, false>(v, w, u, x_first, parallel,
                                                              clipped);
}

// Largest ratio of the estimated depth change of a sub-step s to a quarter
// of the depth, over the cells deeper than kTestDepth, from the discharges
// the faces hold; 0 when no cell fails (ratio at most 1). Sets `negative`
// when a depth is below kNegativeEntry.
double estimate_ratio(const ade_view& v, const ade_work& w, double s, bool parallel,
                      int& negative) {
    const int n = v.cells;
    const double c2 = s / v.area;
    double worst = 0.0;
    int below_zero = 0;
#pragma omp parallel for schedule(static) if (parallel) reduction(max : worst, below_zero)
    for (int c = 1; c <= n; ++c) {
        const double h = w.h[c];
        if (h < kNegativeEntry) below_zero = 1;
        if (!(h > kTestDepth) || held(v, c)) continue;
        const double ex = std::fabs((w.qx[v.left[c]] - w.qx[c]) * c2);
        const double ey = std::fabs((w.qy[v.above[c]] - w.qy[c]) * c2);
        const double e = ex > ey ? ex : ey;
        const double ratio = e / (kEstimateShare * h);
        if (ratio > 1.0 && ratio > worst) worst = ratio;
    }
    negative = below_zero;
    return worst;
}

// The sub-step the step's estimate tries, s: the step dt at the first step
// of the run; after it the last sub-step when it is shorter than dt by more
// than the shortest sub-step, else dt.
double tried_substep(const run_state& rs, double dt) {
    if (rs.ade_calls < 1) return dt;
    if (dt - rs.ade_last_substep > kMinSubstep && rs.ade_last_substep > 0.0)
        return rs.ade_last_substep;
    return dt;
}

// Sizes the work arrays of the scheme at the first call of the run.
void size_ade_arrays(run_state& rs, bool pc, bool heads) {
    const size_t size = static_cast<size_t>(rs.GNUM) + 1;
    for (std::vector<double>* a : {&rs.ov_qx, &rs.ov_qy, &rs.ov_slope_x, &rs.ov_slope_y,
                                   &rs.retent_dep, &rs.dist_rough, &rs.elevation}) {
        if (a->size() < size) a->resize(size, 0.0);
    }
    for (std::vector<int>* a : {&rs.rightcon, &rs.belowcon, &rs.leftcon, &rs.abovecon}) {
        if (a->size() < size) a->resize(size, 0);
    }
    for (std::vector<double>* a : {&rs.ov_qx_sum, &rs.ov_qy_sum, &rs.ade_start_depth,
                                   &rs.ov_out_scale, &rs.ade_clip}) {
        if (a->size() != size) a->assign(size, 0.0);
    }
    if (pc) {
        for (std::vector<double>* a : {&rs.ov_depth_pred, &rs.ov_flux_pred}) {
            if (a->size() != size) a->assign(size, 0.0);
        }
    }
    if (heads) {
        for (std::vector<double>* a : {&rs.ade_head_gain, &rs.ade_head_loss}) {
            if (a->size() != size) a->assign(size, 0.0);
        }
    }
}

// Boundary types of the cells (0 none, 2 and 3 hold their depth), or null
// when the project has no overland boundary table.
const int* head_boundary_types(const run_state& rs) {
    return rs.boundary_type.empty() ? nullptr : rs.boundary_type.data();
}

ade_view make_view(run_state& rs) {
    ade_view v;
    point_view_at_cells(v, rs);
    v.z = rs.elevation.data();
    const size_t size = static_cast<size_t>(rs.GNUM) + 1;
    if (rs.snow_darcy_given && rs.snow_swe.size() >= size) {
        v.swe = rs.snow_swe.data();
        v.darcy_k = rs.snow_darcy;
        v.reynolds_on = rs.snow_reynolds_given != 0;
        v.reynolds = rs.snow_reynolds;
    }
    if (rs.ov_boundary) v.btype = head_boundary_types(rs);
    v.area = rs.cell_size * rs.cell_size;
    return v;
}

// Lists the held cells of the grid in cell order, so that the step's end
// sums their volumes without a pass over every cell (the types are fixed
// for the run).
void list_held_cells(run_state& rs, const ade_view& v) {
    rs.ade_held_cells.clear();
    rs.ade_held_listed = 1;
    if (v.btype == nullptr) return;
    for (int c = 1; c <= v.cells; ++c)
        if (held(v, c)) rs.ade_held_cells.push_back(c);
}

// Manning discharge out of the outlet cell at depth h, m3/s.
inline double outlet_discharge(const ade_view& v, double h, double n, double slope_root) {
    return h > 0.0 ? five_thirds(h) / n * slope_root * v.dx : 0.0;
}

// Drains the outlet cell for a sub-step of u seconds (ADE-PC: the mean of
// the discharges at the depth and at the depth after that discharge); at
// most its water. Returns the volume, m3.
double drain_outlet(const ade_view& v, double* h, int outlet, double n, double slope_root, double u,
                    bool pc) {
    const double depth = h[outlet];
    if (!(depth > 0.0)) return 0.0;
    double q = outlet_discharge(v, depth, n, slope_root);
    if (pc) {
        const double after = depth - q * u / v.area;
        q = 0.5 * (q + outlet_discharge(v, after, n, slope_root));
    }
    const double volume = q * u;
    if (volume / v.area <= depth) {
        h[outlet] = depth - volume / v.area;
        return volume;
    }
    h[outlet] = 0.0;
    return v.area * depth;
}

// Clears the clip and held-cell volumes of a step (they are zero between
// steps).
void clear_step_volumes(const ade_work& w, int n, bool heads) {
    for (int c = 1; c <= n; ++c) {
        w.clip[c] = 0.0;
        if (heads) {
            w.head_gain[c] = 0.0;
            w.head_loss[c] = 0.0;
        }
    }
}

// The faces' step volumes (m3) as the step's mean discharges (m3/s).
void mean_discharges(const ade_work& w, int n, double dt, bool parallel) {
#pragma omp parallel for schedule(static) if (parallel)
    for (int c = 1; c <= n; ++c) {
        w.qx[c] = w.qx_sum[c] / dt;
        w.qy[c] = w.qy_sum[c] / dt;
    }
}

// The one-pass sub-step for the run (ade_scheme_fused.h), or false: a grid
// numbered row by row without dikes, wetlands, snow or lakes. Sets `g` and
// `st` and sizes its rings for the threads of the step.
bool prepare_fused(run_state& rs, const ade_view& v, const ade_work& w, bool parallel,
                   ade_fused_grid& g, ade_fused_state& st) {
    if (v.dike != nullptr || v.wmask != nullptr || v.swe != nullptr || v.lake != nullptr)
        return false;
    if (rs.ade_span < 0) {
        rs.ade_span = ade_row_span(v.right, v.left, v.below, v.above, v.cells);
        if (rs.ade_span > 0) ade_block_links(v.right, v.below, v.above, v.cells, rs.ade_links);
        // Once a run: the uniform retention and n are taken only when every
        // cell holds them.
        for (int c = 1; c <= v.cells && (rs.rough_all > 0.0 || rs.retention_all >= 0.0); ++c) {
            if (v.n[c] != rs.rough_all) rs.rough_all = 0.0;
            if (v.r[c] != rs.retention_all) rs.retention_all = -1.0;
        }
    }
    if (rs.ade_span == 0) return false;
    const size_t size = ade_fused_work_size(rs.ade_span, parallel ? omp_get_max_threads() : 1);
    if (rs.ade_rings.size() < size) rs.ade_rings.assign(size, 0.0);
    g.z = v.z;
    g.r = v.r;
    g.n = v.n;
    g.uniform_rn = rs.rough_all > 0.0 && rs.retention_all >= 0.0;
    g.r_all = rs.retention_all;
    g.n_all = rs.rough_all;
    g.right = v.right;
    g.left = v.left;
    g.below = v.below;
    g.above = v.above;
    // Without held cells (types 2, 3, 9) the pass reads no boundary types.
    g.btype = rs.ade_held_cells.empty() ? nullptr : v.btype;
    g.dx = v.dx;
    g.inv_dx = v.inv_dx;
    g.area = v.area;
    g.cells = v.cells;
    g.span = rs.ade_span;
    g.links = rs.ade_links.data();
    st.h = w.h;
    st.qx = w.qx;
    st.qy = w.qy;
    st.qx_sum = w.qx_sum;
    st.qy_sum = w.qy_sum;
    st.clip = w.clip;
    st.head_gain = w.head_gain;
    st.head_loss = w.head_loss;
    st.work = rs.ade_rings.data();
    st.shares = &rs.ade_shares;
    return true;
}

}  // namespace

double route_overland_ade(run_state& rs, double dt, int scheme, int order) {
    const int n = rs.GNUM;
    if (n < 1 || rs.ov_depth.size() < static_cast<size_t>(n) + 1 || !(dt > 0.0) ||
        !(rs.cell_size > 0.0))
        return 0.0;
    const bool pc = scheme == kSchemeAdePc;
    ade_view v = make_view(rs);
    size_ade_arrays(rs, pc, v.btype != nullptr);
    v = make_view(rs);   // the arrays may have moved
    const bool parallel = n >= parallel_cells().overland;
    if (!rs.ade_held_listed) list_held_cells(rs, v);

    ade_work w;
    w.h = rs.ov_depth.data();
    w.qx = rs.ov_qx.data();
    w.qy = rs.ov_qy.data();
    w.qx_sum = rs.ov_qx_sum.data();
    w.qy_sum = rs.ov_qy_sum.data();
    w.scale = rs.ov_out_scale.data();
    w.clip = rs.ade_clip.data();
    if (pc) {
        w.hp = rs.ov_depth_pred.data();
        w.fp = rs.ov_flux_pred.data();
        w.fp[0] = 0.0;
    }
    if (v.btype != nullptr) {
        w.head_gain = rs.ade_head_gain.data();
        w.head_loss = rs.ade_head_loss.data();
    }
    w.qx[0] = 0.0;   // the face of a missing neighbour carries nothing
    w.qy[0] = 0.0;
    const bool lakes = prepare_lake_step(rs);
    if (lakes) {
        v.lake = rs.oland_lake_new.data();
        v.stage = rs.ov_lake_stage.data();
        v.rs = &rs;
        w.lake_gain = rs.ov_lake_gain.data();
    }
    // Lakes of the channel network (never together with overland lakes).
    const bool channel_lakes = !lakes && prepare_channel_lake_step(rs);
    if (channel_lakes) {
        v.lake = rs.lake_mask.data();
        v.lake_level = rs.ov_chlake_level.data();
        v.rs = &rs;
        w.lake_in = rs.ov_chlake_in.data();
        w.lake_out = rs.ov_chlake_out.data();
    }
    double* start = rs.ade_start_depth.data();
    ade_fused_grid fused_grid;
    ade_fused_state fused_state;
    const bool fused = prepare_fused(rs, v, w, parallel, fused_grid, fused_state);

    // The first sub-step: the last one (or dt), shortened when the present
    // discharges would change some depth by more than a quarter, else doubled.
    double s = tried_substep(rs, dt);
    // The estimate of the overland step's scan, when it made one for this step.
    const bool scanned = rs.ade_scan_call == rs.ade_calls && rs.ade_scan_time == rs.time &&
                         rs.ade_scan_substep == s && !lakes && !channel_lakes;
    rs.ade_scan_call = -1;
    ++rs.ade_calls;
    int negative = 0;
    bool looked = false;   // negative depths looked for
    if (rs.ade_calls > 1) {
        looked = s > kTestSubstep;
        double ratio = 0.0;
        if (scanned) {
            ratio = rs.ade_scan_ratio;
            negative = rs.ade_scan_negative;
        } else if (looked) {
            ratio = estimate_ratio(v, w, s, parallel, negative);
        }
        if (ratio > 1.0) {
            s /= ratio;
            if (s < kMinSubstep) s = kMinSubstep;
        } else if (2.0 * s <= dt + kDoublingSlack) {
            s *= 2.0;
        }
    }

    // Start depths; a negative one is raised to 0 and the water booked. When
    // none is negative the one-pass sub-step writes the new depths of its
    // first sub-step into the start array, and the two arrays swap.
    if (fused && !looked) {
#pragma omp parallel for schedule(static) if (parallel) reduction(max : negative)
        for (int c = 1; c <= n; ++c)
            if (w.h[c] < kNegativeEntry) negative = 1;
    }
    const bool start_in_pass = fused && !negative && dt > kNoTimeLeft &&
                               rs.ov_depth.size() == rs.ade_start_depth.size();
    if (!start_in_pass) {
#pragma omp parallel for schedule(static) if (parallel) reduction(max : negative)
        for (int c = 1; c <= n; ++c) {
            if (w.h[c] < kNegativeEntry) negative = 1;
            start[c] = w.h[c];
        }
    }
    if (negative) {
        for (int c = 1; c <= n; ++c) {
            if (!(start[c] < kNegativeEntry)) continue;
            std::printf("A negative number for water depth has been sent to overland routing for "
                        "overland cell %d \n",
                        c);
            std::printf("Value being set to zero\n");
            rs.vol_ov_depth_clip -= start[c] * v.area;
            rs.event_cleanup_error -= start[c] * v.area;
            start[c] = 0.0;
        }
    }

    const int outlet = rs.outlet_cell;
    const bool drains = !rs.chan_explic && outlet >= 1 && outlet <= n && !held(v, outlet) &&
                        rs.outslope > 0.0 && rs.dist_rough[static_cast<size_t>(outlet)] > 0.0;
    const double outlet_n = drains ? rs.dist_rough[static_cast<size_t>(outlet)] : 0.0;
    const double slope_root = drains ? std::sqrt(rs.outslope) : 0.0;
    const bool x_first = order == 1;

    double outlet_volume = 0.0;   // m3
    int clipped_any = 0;
    // ADE without lakes ends with the step's mean discharges on the faces;
    // the one-pass sub-step writes them in the last sub-step.
    // Carried constituents move with the mean discharges under every variant.
    const bool mean_faces = (!pc && !rs.lakes && !rs.channel_lakes) || rs.overland_constituents;
    bool means_written = false;
    const bool heads = v.btype != nullptr;
    // The clip and held-cell volumes are zero between steps (summed and
    // cleared at the end of a step). The one-pass sub-step sets the face
    // volumes in the first sub-step, so its first attempt needs no pass that
    // clears them.
    bool first_attempt = true;
    bool first_attempt_substep = true;   // the start depths are still to be kept
    for (;;) {
        // Restart point: the start depths and empty sums.
        if (s < kMinSubstep) {
            std::printf("The ADE overland routing time step is getting really small\n");
            std::printf("Reduce the model time step by a factor of 2 and try again.\n");
            std::printf("Program stopped.\n");
            clear_step_volumes(w, n, heads);
            error_record.code = kErrorPrinted;
            report_error(error_record);
            return 0.0;   // the stop is in the error record
        }
        if (fused && first_attempt && dt > kNoTimeLeft) {
            if (negative) {
                for (int c = 1; c <= n; ++c) w.h[c] = start[c];
            }
        } else {
#pragma omp parallel for schedule(static) if (parallel)
            for (int c = 1; c <= n; ++c) {
                w.h[c] = start[c];
                w.qx_sum[c] = 0.0;
                w.qy_sum[c] = 0.0;
                w.clip[c] = 0.0;
                if (heads) {
                    w.head_gain[c] = 0.0;
                    w.head_loss[c] = 0.0;
                }
            }
        }
        first_attempt = false;
        outlet_volume = 0.0;
        clipped_any = 0;
        if (lakes) restart_lake_step(rs);
        if (channel_lakes) restart_channel_lake_step(rs);

        bool restart = false;
        bool halve = false;
        bool fresh = true;   // the first sub-step of the attempt
        double left = dt;
        for (; left > kNoTimeLeft; fresh = false) {
            if (halve) s *= 0.5;
            halve = false;
            left -= s;
            double u = s;
            if (left < 0.5 * s) {
                u += left;
                left = 0.0;
            }
            rs.ade_last_substep = s;
            ++rs.ade_substeps;
            int clipped = 0;
            int verdict;
            if (fused) {
                double* into = start_in_pass && first_attempt_substep ? start : nullptr;
                const bool last = !(left > kNoTimeLeft);
                const ade_faces_out out =
                    mean_faces ? (last ? ade_faces_out::mean : ade_faces_out::volumes)
                               : (last ? ade_faces_out::faces : ade_faces_out::none);
                const ade_fused_verdict f = ade_fused_substep(fused_grid, fused_state, u, x_first,
                                                              pc, parallel, fresh, out, dt, into);
                means_written = last && !f.restart;
                if (into != nullptr) {
                    into[0] = w.h[0];   // slot 0 stays as it was
                    rs.ov_depth.swap(rs.ade_start_depth);
                    w.h = rs.ov_depth.data();
                    start = rs.ade_start_depth.data();
                    fused_state.h = w.h;
                }
                first_attempt_substep = false;
                clipped = f.clipped;
                verdict = f.restart ? kRestart : (f.halve ? kHalveNext : kGoOn);
            } else {
                verdict = pc ? run_any_substep<true>(v, w, u, x_first, parallel, clipped)
                             : run_any_substep<false>(v, w, u, x_first, parallel, clipped);
            }
            if (clipped) clipped_any = 1;
            if (verdict == kRestart) {
                s = 0.5 * u;
                restart = true;
                break;
            }
            if (verdict == kHalveNext) halve = true;
            if (drains) outlet_volume += drain_outlet(v, w.h, outlet, outlet_n, slope_root, u, pc);
        }
        if (!restart) break;
    }
    if (mean_faces && !means_written) mean_discharges(w, n, dt, parallel);

    // Volumes kept per cell, summed in cell order.
    if (clipped_any) {
        double created = 0.0;
        for (int c = 1; c <= n; ++c) {
            created += w.clip[c];
            w.clip[c] = 0.0;
        }
        rs.vol_ov_depth_clip += created;
        rs.event_cleanup_error += created;
    }
    if (v.btype != nullptr) {
        double gain = 0.0;
        double loss = 0.0;
        for (const int c : rs.ade_held_cells) {
            const double cell_gain = w.head_gain[c];
            const double cell_loss = w.head_loss[c];
            w.head_gain[c] = 0.0;
            w.head_loss[c] = 0.0;
            // A held outlet passes on what the basin gives it through the
            // outlet; what it gives the basin is boundary inflow.
            if (c == outlet && !rs.chan_explic) {
                outlet_volume += cell_loss;
                gain += cell_gain;
                continue;
            }
            gain += cell_gain;
            loss += cell_loss;
        }
        rs.vol_head_bc_gain += gain;
        rs.vol_head_bc_loss += loss;
    }

    if (lakes) book_lake_step(rs);
    exchange_low_spots(rs, dt);
    return rs.chan_explic ? 0.0 : outlet_volume;
}

namespace {

// The scan's neighbours by block of 64 cells (block k holds the cells
// 64k + 1 .. 64k + 64), four words a block: 1 when the block has a left or
// upper neighbour that is not described by the next three words (the scan
// then reads leftcon and abovecon for it); the cells (bit i for cell
// 64k + 1 + i) whose left neighbour is the cell before them; the cells that
// have an upper neighbour; and its distance back, the same for every such
// cell of the block. A grid numbered row by row needs 1.5 MB of these for
// 4 million cells, where the two neighbour arrays take 32 MB.
constexpr int kScanBlock = 64;   // cells of a block
constexpr int kScanWords = 4;    // words of a block

void make_scan_links(const int* left, const int* above, int cells, std::vector<long long>& links) {
    const int blocks = (cells + kScanBlock - 1) / kScanBlock;
    links.assign(static_cast<size_t>(blocks) * kScanWords, 0);
    for (int k = 0; k < blocks; ++k) {
        long long* l = &links[static_cast<size_t>(k) * kScanWords];
        const int first = 1 + k * kScanBlock;
        const int last = first + kScanBlock <= cells + 1 ? first + kScanBlock : cells + 1;
        bool seen = false;   // an upper neighbour was met in the block
        int offset = 0;      // cells back to the upper neighbour
        for (int c = first; c < last; ++c) {
            const unsigned long long bit = 1ull << (c - first);
            if (left[c] == c - 1 && c > 1) {
                l[1] |= static_cast<long long>(bit);
            } else if (left[c] != 0) {
                l[0] = 1;
            }
            if (above[c] == 0) continue;
            if (!seen) offset = c - above[c];
            seen = true;
            if (above[c] < 1 || c - above[c] != offset) l[0] = 1;
            l[2] |= static_cast<long long>(bit);
        }
        l[3] = offset;
    }
}

// Flags of the scan over some cells.
struct scan_flags {
    int wet = 0;          // a depth above kZeroFlow
    int flowing = 0;      // a face discharge above kZeroFlow in magnitude
    int below_zero = 0;   // a depth below kNegativeEntry
};

// The cells c0 .. c0 + count - 1, each with its left neighbour the cell
// before it and its upper neighbour `back` cells before it: true, with the
// flags raised from them, when none has a depth that is not a number and
// none fails the estimate; false (nothing raised) otherwise, and the cells
// are then looked at one by one. The depths come first: a run without a cell
// deep enough to count, once the thread has seen a flowing face
// (flow_seen), needs no discharge read (two thirds of the scan's memory
// traffic on a shallow sheet of water). Straight-line code over 64-bit
// flags, as wide as the doubles, which the AVX2 build makes vector code of.
[[gnu::always_inline]] inline bool quiet_run_body(const double* h, const double* qx,
                                                  const double* qy, int c0, int count, int back,
                                                  double c2, bool flow_seen, scan_flags& f) {
    const double* hr = h + c0;
    long long not_number = 0;
    long long deep = 0;   // a depth deep enough to count in the estimate
    long long wet = 0;
    long long below_zero = 0;
    for (int i = 0; i < count; ++i) {
        const double d = hr[i];
        not_number |= static_cast<long long>(d != d);
        deep |= static_cast<long long>(d > kTestDepth);
        wet |= static_cast<long long>(d > kZeroFlow);
        below_zero |= static_cast<long long>(d < kNegativeEntry);
    }
    if (not_number != 0) return false;
    long long fails = 0;
    long long flowing = 0;
    if (deep != 0 || !flow_seen) {
        const double* xr = qx + c0;
        const double* yr = qy + c0;
        const double* yu = qy + (c0 - back);
        for (int i = 0; i < count; ++i) {
            const double d = hr[i];
            const double own_x = xr[i];
            const double own_y = yr[i];
            flowing |= static_cast<long long>((std::fabs(own_x) > kZeroFlow) |
                                              (std::fabs(own_y) > kZeroFlow));
            const double ex = std::fabs((xr[i - 1] - own_x) * c2);
            const double ey = std::fabs((yu[i] - own_y) * c2);
            const double e = ex > ey ? ex : ey;
            fails |= static_cast<long long>((d > kTestDepth) & (e > kEstimateShare * d));
        }
        if (fails != 0) return false;
    }
    f.wet |= static_cast<int>(wet);
    f.flowing |= static_cast<int>(flowing);
    f.below_zero |= static_cast<int>(below_zero);
    return true;
}

bool quiet_run_portable(const double* h, const double* qx, const double* qy, int c0, int count,
                        int back, double c2, bool flow_seen, scan_flags& f) {
    return quiet_run_body(h, qx, qy, c0, count, back, c2, flow_seen, f);
}

using quiet_run_function = bool (*)(const double*, const double*, const double*, int, int, int,
                                    double, bool, scan_flags&);

#if defined(__x86_64__) && defined(__GNUC__)
__attribute__((target("avx2"))) bool quiet_run_avx2(const double* h, const double* qx,
                                                    const double* qy, int c0, int count, int back,
                                                    double c2, bool flow_seen, scan_flags& f) {
    return quiet_run_body(h, qx, qy, c0, count, back, c2, flow_seen, f);
}

quiet_run_function quiet_run_for_this_processor() {
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return avx2 && !plain_overland_kernel() ? &quiet_run_avx2 : &quiet_run_portable;
}
#else
quiet_run_function quiet_run_for_this_processor() {
    return &quiet_run_portable;
}
#endif

}  // namespace

bool scan_surface_for_ade(run_state& rs, double dt, int& water, int& flow, int& bad) {
    rs.ade_scan_call = -1;
    const int n = rs.GNUM;
    const size_t size = static_cast<size_t>(n) + 1;
    if (rs.overtype == 1 || rs.lakes || rs.channel_lakes || rs.ade_calls < 1 || n < 1 ||
        !(dt > 0.0) || !(rs.cell_size > 0.0) || rs.ov_depth.size() < size ||
        rs.ov_qx.size() < size || rs.ov_qy.size() < size || rs.leftcon.size() < size ||
        rs.abovecon.size() < size)
        return false;
    const double s = tried_substep(rs, dt);
    if (!(s > kTestSubstep)) return false;
    const ade_view v = make_view(rs);
    const double* h = rs.ov_depth.data();
    const double* qx = rs.ov_qx.data();
    const double* qy = rs.ov_qy.data();
    const bool parallel = n >= parallel_cells().overland;
    const int blocks = (n + kScanBlock - 1) / kScanBlock;
    if (rs.ade_scan_links.size() != static_cast<size_t>(blocks) * kScanWords)
        make_scan_links(v.left, v.above, n, rs.ade_scan_links);
    const long long* links = rs.ade_scan_links.data();
    const quiet_run_function quiet_run = quiet_run_for_this_processor();
    // The same operations as check_surface and estimate_ratio, cell by cell;
    // maxima and minima, so the same result for any number of threads. A
    // change e of a cell of depth d fails when e / (d / 4) > 1, that is when
    // e > d / 4 (a quotient of two doubles is above 1 exactly when the
    // dividend is the larger): the quotient is taken only then.
    const double c2 = s / v.area;
    double worst = 0.0;
    int below_zero = 0;
    int wet = 0;
    int flowing = 0;
    int first_bad = INT_MAX;
#pragma omp parallel for schedule(static) if (parallel) \
    reduction(max : worst, below_zero, wet, flowing) reduction(min : first_bad)
    for (int k = 0; k < blocks; ++k) {
        const long long* l = links + static_cast<size_t>(k) * kScanWords;
        const bool listed = l[0] == 0;
        const unsigned long long has_left = static_cast<unsigned long long>(l[1]);
        const unsigned long long has_above = static_cast<unsigned long long>(l[2]);
        const int back = static_cast<int>(l[3]);
        const int first = 1 + k * kScanBlock;
        const int last = first + kScanBlock <= n + 1 ? first + kScanBlock : n + 1;
        // Cell c, its left neighbour lc and its upper neighbour ac (0 none)
        // one by one.
        const auto look = [&](int c, int lc, int ac) {
            const double d = h[c];
            if (std::isnan(d)) {
                if (c < first_bad) first_bad = c;
                return;
            }
            const double own_x = qx[c];
            const double own_y = qy[c];
            if (std::fabs(own_x) > kZeroFlow || std::fabs(own_y) > kZeroFlow) flowing = 1;
            if (d > kZeroFlow) wet = 1;
            if (d < kNegativeEntry) below_zero = 1;
            if (!(d > kTestDepth)) return;
            const double ex = std::fabs((qx[lc] - own_x) * c2);
            const double ey = std::fabs((qy[ac] - own_y) * c2);
            const double e = ex > ey ? ex : ey;
            const double quarter = kEstimateShare * d;
            if (!(e > quarter)) return;
            const double ratio = e / quarter;
            // The boundary type is read only for a cell that would count.
            if (ratio > worst && !held(v, c)) worst = ratio;
        };
        if (!listed) {
            for (int c = first; c < last; ++c) look(c, v.left[c], v.above[c]);
            continue;
        }
        // Runs of cells with both neighbours at their listed places go
        // through quiet_run (most hold no failing cell); the others, and a
        // run that holds one, one by one.
        const unsigned long long both = has_left & has_above;
        const int count = last - first;
        for (int i = 0; i < count;) {
            const int c = first + i;
            if (((both >> i) & 1u) == 0) {
                look(c, ((has_left >> i) & 1u) != 0 ? c - 1 : 0,
                     ((has_above >> i) & 1u) != 0 ? c - back : 0);
                ++i;
                continue;
            }
            const unsigned long long gaps = ~(both >> i);   // bit 0 clear
            int run = gaps == 0 ? kScanBlock - i : __builtin_ctzll(gaps);
            if (run > count - i) run = count - i;
            scan_flags f;
            // The flags are this thread's copies of the maxima, which start
            // below 0: set to 1, never or-ed into (INT_MIN | 1 is still
            // below the 0 they are joined with).
            if (quiet_run(h, qx, qy, c, run, back, c2, flowing > 0, f)) {
                if (f.wet != 0) wet = 1;
                if (f.flowing != 0) flowing = 1;
                if (f.below_zero != 0) below_zero = 1;
            } else {
                for (int j = c; j < c + run; ++j) look(j, j - 1, j - back);
            }
            i += run;
        }
    }
    water = wet;
    flow = flowing;
    bad = first_bad == INT_MAX ? 0 : first_bad;
    rs.ade_scan_call = rs.ade_calls;
    rs.ade_scan_time = rs.time;
    rs.ade_scan_substep = s;
    rs.ade_scan_ratio = worst;
    rs.ade_scan_negative = below_zero;
    return true;
}
