// Fused ADE / ADE-PC sub-step: see ade_scheme_fused.h.
//
// Stages of a sweep, per block of kBlock consecutive cells (the sweep's own
// face of cell c leads to next(c), its upstream face is that of up(c)):
//   P  (ADE-PC) predictor face from the depths, held within the level cap;
//   HP (ADE-PC) predictor depth: h + (fp(up) - fp) u / dx^2, a held cell keeps h;
//   R  face law (ADE: from the depths; ADE-PC: the mean of the predictor
//      face and the law from the predictor depths);
//   S  donor share: 1, or what a donor holds over what its outflows would
//      move (an overdraft beyond kOverdraft calls for a restart);
//   G  final face: the law scaled by its donor's share, then held within
//      the level cap;
//   U  new depth h + (g(up) - g) u / dx^2, the clip, the held cells' gains
//      and losses, the sub-step test; the face, its volume or the step's
//      mean discharge are written as the step needs (ade_faces_out).
// A stage of a block needs the stage before it in the block itself and in
// the blocks one neighbour away along the sweep: one block for x, `unit`
// blocks (the row span) for y. So each stage runs a fixed number of blocks
// behind the leading one (its lag), and keeps its results in a ring that
// outlives the readers. The first sweep reads the depths of the grid, the
// second the ring of the first sweep's depths; the second sweep writes the
// grid's depths, or the array asked for in the first sub-step of a step.
#include "overland/ade_scheme_fused.h"

#include <omp.h>

#include <cmath>
#include <cstdint>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/parallel.h"
#include "overland/depth_power.h"
#include "overland/explicit_scheme.h"

namespace {

// The limits of the scheme, as in ade_scheme.cpp.
constexpr double kMinSubstep = 0.001;       // shortest sub-step, s
constexpr double kUpdateShare = 0.5;        // depth share of a change that halves the next sub-step
constexpr double kTestDepth = 0.01;         // the sub-step test looks at cells deeper than this, m
constexpr double kTestSubstep = 0.1;        // and at sub-steps longer than this, s
constexpr double kOverdraft = 1e-5;         // outflow beyond the donor's water that restarts, m
constexpr double kLimitMargin = 1.0 - 1e-12;  // a limited donor keeps this share of its outflow
constexpr double kLevelShare = 0.25;        // a face moves at most this share of the level
                                            // difference of its two cells in a sub-step

constexpr int kBlock = 128;   // cells of a block
constexpr int kStreamCells = 1 << 19;   // grids from this many cells write their write-only
                                        // arrays past the caches, cells
int stream_cells = kStreamCells;        // the same, as set for this process, cells
constexpr int kShareCells = 1 << 16;    // grids from this many cells share their blocks by the
                                        // threads' speed, cells
int share_cells = kShareCells;          // the same, as set for this process, cells
constexpr double kSpeedWeight = 0.5;    // weight of the last sub-step in a thread's speed
constexpr double kLeastShare = 0.25;    // a thread's speed counts at least this share of the mean
int vector_bits = 0;                    // widest vector code asked for (set_ade_vector_bits), bits
constexpr int kRings = 9;     // rings per thread: f, s, fp, hp of each sweep and the middle depths
constexpr int kLinkWords = 4;   // numbers per block in the block links
static_assert(kBlock == 128, "two 64-bit words of right links per block");

// Blocks one neighbour below may be away, for a row span (cells).
inline int span_blocks(int span) {
    return (span + kBlock - 1) / kBlock;
}

// Blocks of a ring: a power of two above the longest life of a value
// (three neighbours along the sweep, plus one).
inline int ring_blocks(int span) {
    const int need = 3 * (span_blocks(span) > 1 ? span_blocks(span) : 1) + 2;
    int blocks = 1;
    while (blocks < need) blocks *= 2;
    return blocks;
}

// Blocks at each end of a thread's share that other threads read: written last.
inline int deferred_blocks(int span) {
    return 3 * (span_blocks(span) + 1);
}

inline std::size_t per_thread(int span) {
    return static_cast<std::size_t>(kRings) * ring_blocks(span) * kBlock +
           static_cast<std::size_t>(2 * deferred_blocks(span)) * kBlock;
}

// A depth or face array: the grid's (mask all ones) or a ring (mask R - 1).
struct cells_of {
    double* p;
    int mask;
    double& operator[](int c) const { return p[c & mask]; }
};

// One sweep's geometry and outputs.
struct sweep {
    const int* next;   // neighbour across the own face
    const int* up;     // neighbour across the upstream face (y; x takes cell - 1)
    double* q;         // face discharges written for the own cells, m3/s
    double* q_sum;     // face volumes of the step, m3
    int unit;          // blocks to the farthest neighbour along the sweep
    bool along_x;      // the x sweep
};

struct pass_context {
    const ade_fused_grid* g;
    const ade_fused_state* st;
    double u;          // sub-step, s
    double c2;         // u / dx^2, s/m2
    bool test;         // the sub-step test applies (u > kTestSubstep)
    bool fresh;        // the face volumes are set (0 + volume), not added to
    ade_faces_out out; // what is kept of the final faces
    double step;       // the step the mean discharge is taken over, s
    bool stream;       // write-only arrays are written past the caches
    double* h_out;     // where the new depths go: the grid's depths, or another array, m
    int blocks;        // blocks of the grid
    const double* r_block;   // a block of the uniform retention (m), or null: read the grid's
    const double* n_block;   // a block of the uniform Manning n (s/m^(1/3)), or null
};

// Flags of one thread.
struct thread_flags {
    int overdraft = 0;
    int halve = 0;
    int clipped = 0;
};

inline int block_first(int m) {
    return m == 0 ? 1 : m * kBlock;
}

inline int block_last(const pass_context& x, int m) {
    const int last = (m + 1) * kBlock;
    return last <= x.g->cells + 1 ? last : x.g->cells + 1;
}

inline double capped_to(double q, double cap) {
    return q > cap ? cap : (q < -cap ? -cap : q);
}

// Copies count values (m, m3/s or m3) to dst. With `stream` the stores go
// past the caches: the old lines of an array that is only written are then
// not read from memory first, which on a large grid saves a third of the
// traffic of that array. The same values either way.
[[gnu::always_inline]] inline void write_values(double* dst, const double* src, int count,
                                                bool stream) {
#if defined(__SSE2__)
    if (stream) {
        int i = 0;
        if ((reinterpret_cast<std::uintptr_t>(dst) & 15u) != 0 && count > 0) {
            dst[0] = src[0];
            i = 1;
        }
        for (; i + 1 < count; i += 2) _mm_stream_pd(dst + i, _mm_loadu_pd(src + i));
        for (; i < count; ++i) dst[i] = src[i];
        return;
    }
#else
    (void)stream;
#endif
    for (int i = 0; i < count; ++i) dst[i] = src[i];
}

// The face law across c -> b from the depths d, m3/s, one face at a time
// (the library power outside the fast range).
inline double face_law(const ade_fused_grid& g, const cells_of& d, int c, int b) {
    if (b == 0) return 0.0;
    const double hc = d[c];
    const double hb = d[b];
    const double s = ((g.z[c] + hc) - (g.z[b] + hb)) * g.inv_dx;
    if (s == 0.0) return 0.0;
    const bool forward = s > 0.0;
    const int f = forward ? c : b;
    const double hf = forward ? hc : hb;
    const double dd = hf - g.r[f];
    if (!(dd > 0.0)) return 0.0;
    const double as = forward ? s : -s;
    const double q = std::sqrt(as) / g.n[f] * overland_power::depth_power(dd) * g.dx;
    return forward ? q : -q;
}

// The cells of block m of an array as a plain pointer: a block never
// wraps around a ring (rings hold whole blocks), so its cells are contiguous.
inline double* block_of(const cells_of& a, int first) {
    return a.p + (first & a.mask);
}

// k when link[c] = c + k (k not 0) for every cell c of [first, first + count),
// else 0: a block of whole rows of a rectangle has its cells below (k the
// row length) and above (-k) as one run.
inline int run_offset(const int* link, int first, int count) {
    const int k = link[first] != 0 ? link[first] - first : 0;
    int same = 1;
    for (int i = 0; i < count; ++i) same &= static_cast<int>(link[first + i] == first + i + k);
    return same != 0 ? k : 0;
}

// A run of count values of a starting at cell `from`, in place when the
// array holds it in one piece (the grid, or a ring where it does not wrap),
// else copied into buffer.
inline const double* run_at(const cells_of& a, int from, int count, double* buffer) {
    const int pos = from & a.mask;
    if (a.mask == -1 || pos + count <= a.mask + 1) return a.p + pos;
    for (int i = 0; i < count; ++i) buffer[i] = a[from + i];
    return buffer;
}

// The block links of the block that starts at cell `first`.
inline const long long* links_of(const ade_fused_grid& g, int first) {
    return g.links + static_cast<std::size_t>(first / kBlock) * kLinkWords;
}

// Distance to the neighbours across the own faces when every cell of the
// block has one that far (1 along x, where a missing one carries no face),
// else 0.
inline int own_run(const ade_fused_grid& g, const sweep& s, int first) {
    return s.along_x ? 1 : static_cast<int>(links_of(g, first)[0]);
}

// 1 for each cell of [first, first + count) with a neighbour across its own
// face, into `linked`.
inline void own_links(const ade_fused_grid& g, const sweep& s, int first, int count, int k,
                      int* linked) {
    if (s.along_x) {
        const long long* l = links_of(g, first);
        const unsigned long long low = static_cast<unsigned long long>(l[2]);
        const unsigned long long high = static_cast<unsigned long long>(l[3]);
        for (int i = 0; i < count; ++i) {
            const int bit = (first + i) & (kBlock - 1);
            const unsigned long long word = bit < 64 ? low : high;
            linked[i] = static_cast<int>((word >> (bit & 63)) & 1ull);
        }
    } else if (k != 0) {
        for (int i = 0; i < count; ++i) linked[i] = 1;
    } else {
        for (int i = 0; i < count; ++i) linked[i] = s.next[first + i] != 0;
    }
}

// The values of a (m, or m3/s) at the neighbours across the own faces of
// the cells [first, first + count), as a run of `count` values (any value
// where there is no neighbour): along x the neighbour is the next cell, so
// the run is the array itself from the next cell on, unless the block ends
// the grid or a ring (then copied into `buffer`); along y they are a run
// too when every cell of the block has its neighbour k cells on (k not 0,
// run_offset), else they are gathered into `buffer`.
[[gnu::always_inline]] inline const double* next_values(const ade_fused_grid& g, const sweep& s,
                                                        const cells_of& a, int first, int count,
                                                        double* buffer, int k) {
    const int after = first + count;   // the cell after the block
    if (s.along_x) {
        const int pos = first & a.mask;
        const bool run = a.mask == -1 ? after <= g.cells : pos + count <= a.mask;
        if (run) return a.p + pos + 1;
        const double* ab = a.p + pos;
        for (int i = 0; i + 1 < count; ++i) buffer[i] = ab[i + 1];
        buffer[count - 1] = after <= g.cells ? a[after] : 0.0;
        return buffer;
    }
    if (k != 0) return run_at(a, first + k, count, buffer);
    const double* ap = a.p;
    const int am = a.mask;
    for (int i = 0; i < count; ++i) buffer[i] = ap[s.next[first + i] & am];   // slot 0: unused
    return buffer;
}

// The same for an array of the grid.
[[gnu::always_inline]] inline const double* next_values(const ade_fused_grid& g, const sweep& s,
                                                        const double* a, int first, int count,
                                                        double* buffer, int k) {
    return next_values(g, s, cells_of{const_cast<double*>(a), -1}, first, count, buffer, k);
}

// The face law of every face of cells [first, last) into out: vector code
// for depths in the fast range of the power, the faces of a block with any
// other depth again one by one.
[[gnu::always_inline]] inline void law_block(const pass_context& x, const sweep& sw,
                                             const cells_of& d, const cells_of& out, int first,
                                             int last) {
    const ade_fused_grid& g = *x.g;
    const int* next = sw.next;
    const double inv_dx = g.inv_dx;
    const double dx = g.dx;
    const int count = last - first;
    const double* hcs = block_of(d, first);
    const double* zc = g.z + first;
    const int k = own_run(g, sw, first);
    int linked[kBlock];
    own_links(g, sw, first, count, k, linked);
    double hbuf[kBlock], zbuf[kBlock], rbuf[kBlock], nbuf[kBlock];
    const double* hbs = next_values(g, sw, d, first, count, hbuf, k);
    const double* zbs = next_values(g, sw, g.z, first, count, zbuf, k);
    // Uniform retention and n come from a block of their one value, which
    // stays in the cache, instead of two grid arrays and their neighbours.
    const bool uniform = x.r_block != nullptr;
    const double* rc = uniform ? x.r_block : g.r + first;
    const double* nc = uniform ? x.n_block : g.n + first;
    const double* rbs = uniform ? x.r_block : next_values(g, sw, g.r, first, count, rbuf, k);
    const double* nbs = uniform ? x.n_block : next_values(g, sw, g.n, first, count, nbuf, k);
    double law_of[kBlock];
    int slow = 0;
    for (int i = 0; i < count; ++i) {
        const double hc = hcs[i];
        const double hb = hbs[i];
        const double s = ((zc[i] + hc) - (zbs[i] + hb)) * inv_dx;
        const bool forward = s > 0.0;
        const double hf = forward ? hc : hb;
        const double dd = hf - (forward ? rc[i] : rbs[i]);
        const double nf = forward ? nc[i] : nbs[i];
        const double as = forward ? s : -s;
        const bool flows = (linked[i] != 0) & (s != 0.0) & (dd > 0.0);
        const bool fast = overland_power::in_fast_range(dd);
        const double m = std::sqrt(as) / nf * overland_power::fast_depth_power(fast ? dd : 1.0) * dx;
        const double law = forward ? m : -m;
        law_of[i] = (flows & fast) ? law : 0.0;
        slow |= static_cast<int>(flows & !fast);
    }
    double* o = out.p + (first & out.mask);   // a block never wraps around a ring
    for (int i = 0; i < count; ++i) o[i] = law_of[i];
    if (slow != 0) {
        for (int c = first; c < last; ++c) out[c] = face_law(g, d, c, next[c]);
    }
}

// Held boundary cell (types 2, 3 and 9 keep their depth); btype may be null.
// (the same cells as head_boundary_cell, without branches).
inline bool held_cell(const int* btype, int c) {
    const int t = btype[c];
    return (t == 2) | (t == 3) | (t == 9);
}

// Level cap of the face c -> b: a quarter of the level difference of the
// two cells over u / dx^2, m3/s; z ground (m), hc and hb the depths (m).
inline double level_cap(double zc, double hc, double zb, double hb, double c2) {
    return kLevelShare * std::fabs((zc + hc) - (zb + hb)) / c2;
}

// True when the face q (m3/s) may pass the level cap of its two levels lc
// and lb (m): false only where |q| u / dx^2 stays below a quarter of the
// level difference by more than rounding, so that capped_to(q, cap) is
// surely q. Needs no division; the cap itself is computed only for the
// blocks where this holds for some face.
inline bool may_pass_cap(double q, double lc, double lb, double c2) {
    constexpr double kSafe = 1.0 - 1e-9;
    return std::fabs(q) * c2 > kLevelShare * std::fabs(lc - lb) * kSafe;
}

// The faces across the upstream faces of the cells [first, first + count)
// from the faces f of their owners, as a run of `count` values (m3/s; 0
// without a neighbour). Along x the owner is the cell before: on a grid
// numbered row by row a cell without a left neighbour follows one without a
// right neighbour, whose face carries 0, so the left links need not be read
// and the run is the ring itself from the cell before on (copied into
// `buffer` when the block starts the grid or the ring); along y they are a
// run too when every cell of the block has its upper neighbour k cells back
// (run_offset), else they are gathered into `buffer`.
[[gnu::always_inline]] inline const double* upstream_faces(const ade_fused_grid& g,
                                                           const sweep& s, const cells_of& f,
                                                           int first, int count, double* buffer) {
    if (s.along_x) {
        const int pos = first & f.mask;
        if (first > 1 && pos > 0) return f.p + pos - 1;
        buffer[0] = first > 1 ? f[first - 1] : 0.0;
        const double* fb = f.p + pos;
        for (int i = 1; i < count; ++i) buffer[i] = fb[i - 1];
        return buffer;
    }
    const int k = static_cast<int>(links_of(g, first)[1]);
    if (k != 0) return run_at(f, first + k, count, buffer);
    const double* fp = f.p;
    const int fm = f.mask;
    for (int i = 0; i < count; ++i) {
        const int up = s.up[first + i];
        const double face = fp[up & fm];   // slot 0 of a ring is read but not used
        buffer[i] = up != 0 ? face : 0.0;
    }
    return buffer;
}

// The loops below first compute a block into arrays on the stack, which
// overlap no grid array or ring, so that they become vector code.

// P: predictor faces from the depths h, held within the level cap.
[[gnu::always_inline]] inline void stage_predictor(const pass_context& x, const sweep& s,
                                                   const cells_of& h, const cells_of& fp, int m) {
    const int first = block_first(m), last = block_last(x, m), count = last - first;
    law_block(x, s, h, fp, first, last);
    const double* zc = x.g->z + first;
    const double* hc = block_of(h, first);
    const int k = own_run(*x.g, s, first);
    double zbuf[kBlock], hbuf[kBlock];
    const double* zb = next_values(*x.g, s, x.g->z, first, count, zbuf, k);
    const double* hb = next_values(*x.g, s, h, first, count, hbuf, k);
    double* fb = block_of(fp, first);
    double out[kBlock];
    int any = 0;
    for (int i = 0; i < count; ++i) {
        const double qc = fb[i];
        any |= static_cast<int>((qc != 0.0) &
                                may_pass_cap(qc, zc[i] + hc[i], zb[i] + hb[i], x.c2));
        out[i] = qc == 0.0 ? 0.0 : qc;
    }
    if (any != 0) {
        for (int i = 0; i < count; ++i) {
            const double qc = fb[i];
            const double cap = level_cap(zc[i], hc[i], zb[i], hb[i], x.c2);
            out[i] = qc == 0.0 ? 0.0 : capped_to(qc, cap);
        }
    }
    for (int i = 0; i < count; ++i) fb[i] = out[i];
}

// HP: predictor depths; a held cell keeps its depth.
template <bool kHeld>
[[gnu::always_inline]] inline void stage_predicted_depths(const pass_context& x, const sweep& s,
                                                          const cells_of& h, const cells_of& fp,
                                                          const cells_of& hp, int m) {
    const int first = block_first(m), last = block_last(x, m), count = last - first;
    const int* btype = x.g->btype;
    const double* hb = block_of(h, first);
    const double* fb = block_of(fp, first);
    double in_buffer[kBlock];
    const double* in = upstream_faces(*x.g, s, fp, first, count, in_buffer);
    double out[kBlock];
    for (int i = 0; i < count; ++i) {
        const int c = first + i;
        const double moved = hb[i] + (in[i] - fb[i]) * x.c2;
        out[i] = (kHeld && held_cell(btype, c)) ? hb[i] : moved;
    }
    double* ob = block_of(hp, first);
    for (int i = 0; i < count; ++i) ob[i] = out[i];
}

// R: the faces; ADE-PC the mean of the predictor and the law from the
// predictor depths.
template <bool kPc>
[[gnu::always_inline]] inline void stage_faces(const pass_context& x, const sweep& s,
                                               const cells_of& h, const cells_of& hp,
                                               const cells_of& fp, const cells_of& f, int m) {
    const int first = block_first(m), last = block_last(x, m), count = last - first;
    if (kPc) {
        law_block(x, s, hp, f, first, last);
        double* fb = block_of(f, first);
        const double* pb = block_of(fp, first);
        double out[kBlock];
        for (int i = 0; i < count; ++i) out[i] = 0.5 * (pb[i] + fb[i]);
        for (int i = 0; i < count; ++i) fb[i] = out[i];
    } else {
        law_block(x, s, h, f, first, last);
    }
}

// S: the share of its outflow each donor may pass; a held cell passes all.
template <bool kHeld>
[[gnu::always_inline]] inline void stage_shares(const pass_context& x, const sweep& s,
                                                const cells_of& h, const cells_of& f,
                                                const cells_of& share, int m,
                                                thread_flags& flags) {
    const int first = block_first(m), last = block_last(x, m), count = last - first;
    const int* btype = x.g->btype;
    const double c2 = x.c2;
    const double* hb = block_of(h, first);
    const double* fb = block_of(f, first);
    double in_buffer[kBlock];
    const double* in = upstream_faces(*x.g, s, f, first, count, in_buffer);
    const bool short_step = x.u < kMinSubstep;
    double out[kBlock];          // what each donor's outflows would move, m
    unsigned char held_back[kBlock];   // 1 for a donor that would pass more than it holds
    int overdraft = 0;
    int any = 0;
    for (int i = 0; i < count; ++i) {
        const int c = first + i;
        // The outflows: own face forwards, upstream face backwards.
        const double own = fb[i];
        const double upstream = in[i];
        double out_flow = own > 0.0 ? own : 0.0;
        out_flow = upstream < 0.0 ? out_flow - upstream : out_flow;
        const double moved = out_flow * c2;
        const double hc = hb[i];
        const bool limited = (moved > hc) & !(kHeld && held_cell(btype, c));
        overdraft |= static_cast<int>(limited & ((hc - moved <= -kOverdraft) | short_step));
        any |= static_cast<int>(limited);
        out[i] = moved;
        held_back[i] = limited ? 1 : 0;
    }
    double* ob = block_of(share, first);
    if (any == 0) {
        for (int i = 0; i < count; ++i) ob[i] = 1.0;
    } else {
        // Some donor would pass more than it holds (rare): the shares.
        for (int i = 0; i < count; ++i) {
            const double hc = hb[i];
            ob[i] = held_back[i] == 0 ? 1.0 : (hc > 0.0 ? hc * kLimitMargin / out[i] : 0.0);
        }
    }
    flags.overdraft |= overdraft;
}

// G: each face scaled by its donor's share, then held within the level cap
// (written over the law in f).
[[gnu::always_inline]] inline void stage_final_faces(const pass_context& x, const sweep& s,
                                                     const cells_of& h, const cells_of& share,
                                                     const cells_of& f, int m) {
    const int first = block_first(m), last = block_last(x, m), count = last - first;
    const double* zc = x.g->z + first;
    const double* hc = block_of(h, first);
    const double* sc = block_of(share, first);
    const int k = own_run(*x.g, s, first);
    double zbuf[kBlock], hbuf[kBlock], sbuf[kBlock];
    const double* zb = next_values(*x.g, s, x.g->z, first, count, zbuf, k);
    const double* hb = next_values(*x.g, s, h, first, count, hbuf, k);
    const double* sb = next_values(*x.g, s, share, first, count, sbuf, k);
    double* fb = block_of(f, first);
    double out[kBlock];
    int any = 0;
    for (int i = 0; i < count; ++i) {
        const double law = fb[i];
        const double donor_share = law > 0.0 ? sc[i] : sb[i];
        const double scaled = law != 0.0 ? law * donor_share : law;
        any |= static_cast<int>((scaled != 0.0) &
                                may_pass_cap(scaled, zc[i] + hc[i], zb[i] + hb[i], x.c2));
        out[i] = scaled;
    }
    if (any != 0) {
        for (int i = 0; i < count; ++i) {
            const double scaled = out[i];
            const double cap = level_cap(zc[i], hc[i], zb[i], hb[i], x.c2);
            out[i] = scaled != 0.0 ? capped_to(scaled, cap) : scaled;
        }
    }
    for (int i = 0; i < count; ++i) fb[i] = out[i];
}

// U: the new depths from the final faces g into h_new (past the caches with
// stream_new); for the thread's own cells (own) also the faces, their
// volumes, clips and held-cell exchanges.
template <bool kHeld>
[[gnu::always_inline]] inline void stage_depths(const pass_context& x, const sweep& s,
                                                const cells_of& h, const cells_of& g,
                                                const cells_of& h_new, int m, bool own,
                                                bool stream_new, thread_flags& flags) {
    const int first = block_first(m), last = block_last(x, m), count = last - first;
    const ade_fused_grid& grid = *x.g;
    const ade_fused_state& st = *x.st;
    const double c2 = x.c2;
    const double u = x.u;
    const double* hb = block_of(h, first);
    const double* gb = block_of(g, first);
    double in_buffer[kBlock];
    const double* in = upstream_faces(grid, s, g, first, count, in_buffer);
    double out[kBlock];
    double change[kBlock];
    int special = 0;
    int halve = 0;
    for (int i = 0; i < count; ++i) {
        const int c = first + i;
        const double dh = (in[i] - gb[i]) * c2;
        const double before = hb[i];
        const double after = before + dh;
        const bool keep = kHeld && held_cell(grid.btype, c);
        const bool below_zero = after < 0.0;
        out[i] = keep ? before : (below_zero ? 0.0 : after);
        change[i] = dh;
        special |= static_cast<int>(keep | below_zero);
        halve |= static_cast<int>(!keep & (before > kTestDepth) &
                                  (std::fabs(dh) > kUpdateShare * before));
    }
    double* ob = block_of(h_new, first);
    if (stream_new) {
        write_values(ob, out, count, true);
    } else {
        for (int i = 0; i < count; ++i) ob[i] = out[i];
    }
    if (!own) return;
    if (x.test) flags.halve |= halve;
    double* q_sum = s.q_sum + first;
    switch (x.out) {
        case ade_faces_out::volumes:
            if (x.fresh) {
                double volume[kBlock];
                for (int i = 0; i < count; ++i) volume[i] = 0.0 + gb[i] * u;   // as added to a cleared sum
                write_values(q_sum, volume, count, x.stream);
            } else {
                for (int i = 0; i < count; ++i) q_sum[i] += gb[i] * u;
            }
            break;
        case ade_faces_out::mean: {
            // The volume the sum would reach, over the step.
            double mean[kBlock];
            const double step = x.step;
            if (x.fresh) {
                for (int i = 0; i < count; ++i) mean[i] = (0.0 + gb[i] * u) / step;
            } else {
                for (int i = 0; i < count; ++i) mean[i] = (q_sum[i] + gb[i] * u) / step;
            }
            write_values(s.q + first, mean, count, x.stream);
            break;
        }
        case ade_faces_out::faces:
            write_values(s.q + first, gb, count, x.stream);
            break;
        case ade_faces_out::none:
            break;
    }
    if (special == 0) return;
    // Held cells and clips, one by one.
    const double area = grid.area;
    for (int i = 0; i < count; ++i) {
        const int c = first + i;
        const double dh = change[i];
        if (kHeld && held_cell(grid.btype, c)) {
            if (dh > 0.0) st.head_loss[c] += dh * area;
            else st.head_gain[c] -= dh * area;
            continue;
        }
        const double after = hb[i] + dh;
        if (after < 0.0) {
            st.clip[c] -= after * area;
            flags.clipped = 1;
        }
    }
}

// One stage of the pipeline: the blocks it covers around the thread's share
// [m0, m1) are [m0 - lo, m1 + hi); it runs `lag` blocks behind the leading one.
struct stage_span {
    int lag, lo, hi;
};

inline bool stage_block(const pass_context& x, const stage_span& sp, int k, int m0, int m1,
                        int& m) {
    m = k - sp.lag;
    return m >= m0 - sp.lo && m < m1 + sp.hi && m >= 0 && m < x.blocks;
}

// The pipeline of one thread over its share [m0, m1) of the blocks. Returns
// its flags; the depths of its first and last `deferred` blocks wait in
// `later` for pass_write_deferred.
template <bool kPc, bool kHeld>
[[gnu::always_inline]] inline thread_flags pipeline(const pass_context& x, const sweep& s1,
                                                    const sweep& s2, double* work, int ring_mask,
                                                    int m0, int m1, int defer_low,
                                                    int defer_high) {
    const int ring = ring_mask + 1;
    const cells_of grid_h{x.st->h, -1};
    const cells_of f1{work, ring_mask}, sh1{work + ring, ring_mask},
        fp1{work + 2 * ring, ring_mask}, hp1{work + 3 * ring, ring_mask};
    const cells_of f2{work + 4 * ring, ring_mask}, sh2{work + 5 * ring, ring_mask},
        fp2{work + 6 * ring, ring_mask}, hp2{work + 7 * ring, ring_mask};
    const cells_of h1{work + 8 * ring, ring_mask};
    double* later = work + static_cast<std::size_t>(kRings) * ring;
    const int a = s1.unit, b = s2.unit;
    // Lags and spans of the stages (see the top of the file); ADE-PC adds
    // the predictor stages in front of each sweep.
    const int p = kPc ? 1 : 0;
    const stage_span P1{0, 3 * a + 3 * b, 2 * a + 3 * b};
    const stage_span HP1{0, 2 * a + 3 * b, 2 * a + 3 * b};
    const stage_span R1{p * a, (2 + p) * b + 2 * a, (2 + p) * b + a};
    const stage_span S1{p * a, (2 + p) * b + a, (2 + p) * b + a};
    const stage_span G1{(1 + p) * a, (2 + p) * b + a, (2 + p) * b};
    const stage_span U1{(1 + p) * a, (2 + p) * b, (2 + p) * b};
    const stage_span P2{2 * a + b, 3 * b, 2 * b};
    const stage_span HP2{2 * a + b, 2 * b, 2 * b};
    const stage_span R2{(1 + p) * a + (1 + p) * b, 2 * b, b};
    const stage_span S2{(1 + p) * a + (1 + p) * b, b, b};
    const stage_span G2{(1 + p) * a + (2 + p) * b, b, 0};
    const stage_span U2{(1 + p) * a + (2 + p) * b, 0, 0};
    const int k_first = m0 - (kPc ? P1.lo : R1.lo);
    const int k_last = m1 - 1 + U2.lag;
    thread_flags flags;
    for (int k = k_first; k <= k_last; ++k) {
        int m;
        if (kPc) {
            if (stage_block(x, P1, k, m0, m1, m)) stage_predictor(x, s1, grid_h, fp1, m);
            if (stage_block(x, HP1, k, m0, m1, m))
                stage_predicted_depths<kHeld>(x, s1, grid_h, fp1, hp1, m);
        }
        if (stage_block(x, R1, k, m0, m1, m)) stage_faces<kPc>(x, s1, grid_h, hp1, fp1, f1, m);
        if (stage_block(x, S1, k, m0, m1, m)) stage_shares<kHeld>(x, s1, grid_h, f1, sh1, m, flags);
        if (stage_block(x, G1, k, m0, m1, m)) stage_final_faces(x, s1, grid_h, sh1, f1, m);
        if (stage_block(x, U1, k, m0, m1, m)) {
            const bool own = m >= m0 && m < m1;
            stage_depths<kHeld>(x, s1, grid_h, f1, h1, m, own, false, flags);
        }
        if (kPc) {
            if (stage_block(x, P2, k, m0, m1, m)) stage_predictor(x, s2, h1, fp2, m);
            if (stage_block(x, HP2, k, m0, m1, m)) stage_predicted_depths<kHeld>(x, s2, h1, fp2, hp2, m);
        }
        if (stage_block(x, R2, k, m0, m1, m)) stage_faces<kPc>(x, s2, h1, hp2, fp2, f2, m);
        if (stage_block(x, S2, k, m0, m1, m)) stage_shares<kHeld>(x, s2, h1, f2, sh2, m, flags);
        if (stage_block(x, G2, k, m0, m1, m)) stage_final_faces(x, s2, h1, sh2, f2, m);
        if (stage_block(x, U2, k, m0, m1, m)) {
            // Blocks other threads still read keep their new depths aside.
            if (m < m0 + defer_low) {
                stage_depths<kHeld>(x, s2, h1, f2, cells_of{later - static_cast<std::ptrdiff_t>(m0) * kBlock, -1},
                             m, true, false, flags);
            } else if (m >= m1 - defer_high) {
                const std::ptrdiff_t slot = defer_low + (m - (m1 - defer_high));
                stage_depths<kHeld>(x, s2, h1, f2,
                             cells_of{later + (slot - m) * static_cast<std::ptrdiff_t>(kBlock), -1},
                             m, true, false, flags);
            } else {
                // Depths into another array are only written: past the caches.
                stage_depths<kHeld>(x, s2, h1, f2, cells_of{x.h_out, -1}, m, true,
                                    x.stream && x.h_out != x.st->h, flags);
            }
        }
    }
#if defined(__SSE2__)
    if (x.stream) _mm_sfence();   // the stores past the caches are seen by every thread
#endif
    return flags;
}

// The first block of each of `threads` threads' shares of `blocks` blocks
// into sh.first: in proportion to the threads' speeds once each has been
// measured, else equal shares. Sizes the vectors for the thread count
// (allocates only when it changes).
void plan_shares(ade_fused_shares& sh, int threads, int blocks) {
    const std::size_t n = static_cast<std::size_t>(threads);
    if (sh.speed.size() != n) sh.speed.assign(n, 0.0);
    if (sh.seconds.size() != n) sh.seconds.assign(n, 0.0);
    if (sh.first.size() != n + 1) sh.first.assign(n + 1, 0);
    double total = 0.0;
    bool measured = true;
    for (double v : sh.speed) {
        total += v;
        measured = measured && v > 0.0;
    }
    // A thread slowed by a moment's interruption keeps a share of the blocks.
    const double least = kLeastShare * total / threads;
    double weight = 0.0;
    for (double v : sh.speed) weight += v > least ? v : least;
    double sum = 0.0;
    for (int t = 0; t < threads; ++t) {
        sh.first[static_cast<std::size_t>(t)] =
            measured ? static_cast<int>(static_cast<double>(blocks) * sum / weight + 0.5)
                     : static_cast<int>(static_cast<long long>(blocks) * t / threads);
        const double v = sh.speed[static_cast<std::size_t>(t)];
        sum += v > least ? v : least;
    }
    sh.first[static_cast<std::size_t>(threads)] = blocks;
}

// Each thread's speed from its share and its time in the sub-step just run.
void measure_shares(ade_fused_shares& sh) {
    for (std::size_t t = 0; t < sh.speed.size(); ++t) {
        const int share = sh.first[t + 1] - sh.first[t];
        if (share <= 0 || !(sh.seconds[t] > 0.0)) continue;
        const double now = share / sh.seconds[t];
        sh.speed[t] = sh.speed[t] > 0.0 ? (1.0 - kSpeedWeight) * sh.speed[t] + kSpeedWeight * now
                                        : now;
    }
}

using pipeline_function = thread_flags (*)(const pass_context&, const sweep&, const sweep&,
                                           double*, int, int, int, int, int);

template <bool kPc, bool kHeld>
thread_flags pipeline_portable(const pass_context& x, const sweep& s1, const sweep& s2,
                               double* work, int ring_mask, int m0, int m1, int defer_low,
                               int defer_high) {
    return pipeline<kPc, kHeld>(x, s1, s2, work, ring_mask, m0, m1, defer_low, defer_high);
}

#if defined(__x86_64__) && defined(__GNUC__)
template <bool kPc, bool kHeld>
__attribute__((target("avx2"))) thread_flags pipeline_avx2(const pass_context& x, const sweep& s1,
                                                           const sweep& s2, double* work,
                                                           int ring_mask, int m0, int m1,
                                                           int defer_low, int defer_high) {
    return pipeline<kPc, kHeld>(x, s1, s2, work, ring_mask, m0, m1, defer_low, defer_high);
}

// The same in 512-bit vector code: on a processor that has it the long
// chains of the face law (square root, division, the power's Newton steps)
// take half the instructions, and masks replace the blends of the branches.
template <bool kPc, bool kHeld>
__attribute__((target("avx512f,avx512dq,avx512vl,avx512bw,prefer-vector-width=512"))) thread_flags
pipeline_avx512(const pass_context& x, const sweep& s1, const sweep& s2, double* work,
                int ring_mask, int m0, int m1, int defer_low, int defer_high) {
    return pipeline<kPc, kHeld>(x, s1, s2, work, ring_mask, m0, m1, defer_low, defer_high);
}
#endif

// The pipeline for the scheme (pc), for grids with held cells (held) and
// for this processor: 512-bit vector code where it has it, else AVX2 code
// where it has that (unless the plain kernel or at most 256-bit vectors are
// asked for), else plain code; all give the same bits.
pipeline_function pipeline_for(bool pc, bool held) {
#if defined(__x86_64__) && defined(__GNUC__)
    static const bool avx2 = __builtin_cpu_supports("avx2");
    static const bool avx512 = __builtin_cpu_supports("avx512f") &&
                               __builtin_cpu_supports("avx512dq") &&
                               __builtin_cpu_supports("avx512vl") &&
                               __builtin_cpu_supports("avx512bw");
    if (avx512 && vector_bits != 256 && !plain_overland_kernel()) {
        if (pc) return held ? &pipeline_avx512<true, true> : &pipeline_avx512<true, false>;
        return held ? &pipeline_avx512<false, true> : &pipeline_avx512<false, false>;
    }
    if (avx2 && !plain_overland_kernel()) {
        if (pc) return held ? &pipeline_avx2<true, true> : &pipeline_avx2<true, false>;
        return held ? &pipeline_avx2<false, true> : &pipeline_avx2<false, false>;
    }
#endif
    if (pc) return held ? &pipeline_portable<true, true> : &pipeline_portable<true, false>;
    return held ? &pipeline_portable<false, true> : &pipeline_portable<false, false>;
}

}  // namespace

int ade_row_span(const int* right, const int* left, const int* below, const int* above,
                 int cells) {
    if (cells < 1 || right == nullptr || left == nullptr || below == nullptr || above == nullptr)
        return 0;
    int span = 1;
    for (int c = 1; c <= cells; ++c) {
        const int r = right[c];
        const int l = left[c];
        if (r != 0 && (r != c + 1 || r > cells || left[r] != c)) return 0;
        if (l != 0 && (l != c - 1 || right[l] != c)) return 0;
        const int b = below[c];
        if (b != 0) {
            if (b <= c || b > cells || above[b] != c) return 0;
            if (b - c > span) span = b - c;
        }
        const int t = above[c];
        if (t != 0 && (t >= c || t < 1 || below[t] != c)) return 0;
    }
    return span <= kAdeFusedMaxSpan ? span : 0;
}

void set_ade_stream_cells(int cells) {
    stream_cells = cells > 0 ? cells : kStreamCells;
}

void set_ade_share_cells(int cells) {
    share_cells = cells > 0 ? cells : kShareCells;
}

void set_ade_vector_bits(int bits) {
    vector_bits = bits == 256 ? 256 : 0;
}

void ade_block_links(const int* right, const int* below, const int* above, int cells,
                     std::vector<long long>& links) {
    const int blocks = cells / kBlock + 1;
    links.assign(static_cast<std::size_t>(blocks) * kLinkWords, 0);
    for (int m = 0; m < blocks; ++m) {
        const int first = m == 0 ? 1 : m * kBlock;
        const int last = (m + 1) * kBlock <= cells + 1 ? (m + 1) * kBlock : cells + 1;
        if (first >= last) continue;
        long long* l = &links[static_cast<std::size_t>(m) * kLinkWords];
        l[0] = run_offset(below, first, last - first);
        l[1] = run_offset(above, first, last - first);   // negative: above comes first
        for (int c = first; c < last; ++c) {
            if (right[c] == 0) continue;
            const int bit = c & (kBlock - 1);
            l[2 + bit / 64] |= static_cast<long long>(1ull << (bit % 64));
        }
    }
}

std::size_t ade_fused_work_size(int span, int threads) {
    return per_thread(span) * static_cast<std::size_t>(threads > 0 ? threads : 1);
}

ade_fused_verdict ade_fused_substep(const ade_fused_grid& g, const ade_fused_state& st, double u,
                                    bool x_first, bool pc, bool parallel, bool fresh,
                                    ade_faces_out out, double step, double* new_depths) {
    pass_context x;
    x.g = &g;
    x.st = &st;
    x.u = u;
    x.c2 = u / g.area;
    x.test = u > kTestSubstep;
    x.fresh = fresh;
    x.out = out;
    x.step = step;
    x.stream = g.cells >= stream_cells;
    x.h_out = new_depths != nullptr ? new_depths : st.h;
    x.blocks = g.cells / kBlock + 1;
    double r_block[kBlock], n_block[kBlock];   // read by every thread, written before them
    x.r_block = nullptr;
    x.n_block = nullptr;
    if (g.uniform_rn) {
        for (int i = 0; i < kBlock; ++i) {
            r_block[i] = g.r_all;
            n_block[i] = g.n_all;
        }
        x.r_block = r_block;
        x.n_block = n_block;
    }
    const int yunit = span_blocks(g.span) > 1 ? span_blocks(g.span) : 1;
    const sweep sx{g.right, g.left, st.qx, st.qx_sum, 1, true};
    const sweep sy{g.below, g.above, st.qy, st.qy_sum, yunit, false};
    const sweep& s1 = x_first ? sx : sy;
    const sweep& s2 = x_first ? sy : sx;
    const int ring_mask = ring_blocks(g.span) * kBlock - 1;
    // Threads hold back the new depths of the blocks other threads still
    // read only when they write them over the depths being read.
    const int defer = x.h_out == st.h ? deferred_blocks(g.span) : 0;
    const std::size_t stride = per_thread(g.span);
    const pipeline_function run = pipeline_for(pc, g.btype != nullptr);
    ade_fused_verdict verdict;
    // On a large grid the threads share the blocks by their speed.
    ade_fused_shares* const shares =
        parallel && st.shares != nullptr && g.cells >= share_cells ? st.shares : nullptr;
    const int planned = shares != nullptr ? omp_get_max_threads() : 0;
    if (shares != nullptr) plan_shares(*shares, planned, x.blocks);
    int used = 0;   // threads of the region
#pragma omp parallel if (parallel)
    {
        const int threads = omp_get_num_threads();
        const int t = omp_get_thread_num();
        if (t == 0) used = threads;
        const bool planned_share = shares != nullptr && threads == planned;
        const int m0 = planned_share ? shares->first[static_cast<std::size_t>(t)]
                                     : static_cast<int>(static_cast<long long>(x.blocks) * t / threads);
        const int m1 = planned_share
                           ? shares->first[static_cast<std::size_t>(t) + 1]
                           : static_cast<int>(static_cast<long long>(x.blocks) * (t + 1) / threads);
        const int low = t > 0 ? (defer < m1 - m0 ? defer : m1 - m0) : 0;
        const int high_room = m1 - m0 - low;
        const int high = t + 1 < threads ? (defer < high_room ? defer : high_room) : 0;
        double* work = st.work + stride * static_cast<std::size_t>(t);
        thread_flags flags;
        const double start = planned_share ? omp_get_wtime() : 0.0;
        if (m1 > m0) flags = run(x, s1, s2, work, ring_mask, m0, m1, low, high);
        if (planned_share) shares->seconds[static_cast<std::size_t>(t)] = omp_get_wtime() - start;
        raise_shared_flag(verdict.restart, flags.overdraft);
        raise_shared_flag(verdict.halve, flags.halve);
        raise_shared_flag(verdict.clipped, flags.clipped);
        if (threads > 1 && defer > 0) {
            // Every thread has read the depths it needed from this one.
#pragma omp barrier
        }
        const double* later = work + static_cast<std::size_t>(kRings) * (ring_mask + 1);
        for (int m = m0; m < m0 + low; ++m)
            for (int c = block_first(m); c < block_last(x, m); ++c)
                x.h_out[c] = later[c - m0 * kBlock];
        for (int m = m1 - high; m < m1; ++m) {
            const std::ptrdiff_t slot = low + (m - (m1 - high));
            for (int c = block_first(m); c < block_last(x, m); ++c)
                x.h_out[c] = later[slot * kBlock + (c - m * kBlock)];
        }
    }
    if (shares != nullptr && used == planned) measure_shares(*shares);
    return verdict;
}
