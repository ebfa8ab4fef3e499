// One ADE or ADE-PC sub-step (both sweeps) in a single pass over the cells,
// for grids numbered row by row without dikes, wetlands, snow or lakes.
//
// The separate loops of a sweep (faces, donor limit, level cap, depths) read
// the ground, retention, roughness and neighbour arrays twice per sub-step
// and write every face and depth to memory between them; on a large grid the
// sub-step is then limited by memory traffic, not by arithmetic. Here every
// thread walks its own share of the cells in blocks and carries each block
// through all the stages of both sweeps while the rows around it are still in
// cache: the intermediate faces, donor shares and depths live in short rings
// of a few rows, and only the final depths and the faces or step volumes
// the step needs are written. The stages are the same operations in the same order as the
// separate loops, so the depths and faces carry the same bits.
//
// The donor limit and the level cap are applied at every face rather than
// only in sub-steps where some face calls for them: a donor share is 1 and a
// cap leaves the face alone wherever they were not called for, so this gives
// the bits of the separate loops, except that a donor whose two outflows each
// stay within half its water but together exceed it by rounding is held to
// its water here too.
//
// Threads: a thread also computes the rows next to its share (from the depths
// at the start of the sub-step, as their owner does) and, when the new
// depths replace the ones being read, writes its first and last rows only
// after every thread has passed them, so each thread writes only its own
// cells and the bits do not depend on the thread count.
#pragma once
#include <cstddef>
#include <vector>

// Read-only arrays of the grid (1-based cells, slot 0 unused).
struct ade_fused_grid {
    const double* z = nullptr;      // ground elevation, m
    const double* r = nullptr;      // retention depth, m
    const double* n = nullptr;      // Manning n, s/m^(1/3)
    bool uniform_rn = false;        // every cell holds the retention r_all and the n n_all (the
                                    // arrays hold them too): the pass reads neither array
    double r_all = 0.0;             // the retention depth of every cell when uniform_rn, m
    double n_all = 0.0;             // the Manning n of every cell when uniform_rn, s/m^(1/3)
    const int* right = nullptr;     // neighbour to the right (0 none)
    const int* left = nullptr;      // neighbour to the left (0 none)
    const int* below = nullptr;     // neighbour below (0 none)
    const int* above = nullptr;     // neighbour above (0 none)
    const int* btype = nullptr;     // overland boundary type per cell, or null when no cell is held
    double dx = 0.0;                // cell size, m
    double inv_dx = 0.0;            // 1 / cell size, 1/m
    double area = 0.0;              // cell area, m2
    int cells = 0;                  // number of cells
    int span = 0;                   // largest below - cell, cells (ade_row_span)
    const long long* links = nullptr;   // the links of each block (ade_block_links)
};

// How the threads of a parallel sub-step share the blocks of cells, kept from
// sub-step to sub-step. A thread on a processor that shares its physical
// core with other work (a virtual machine's, say) runs at about half speed,
// and a sub-step waits for its slowest thread; so each thread takes a share
// in proportion to the blocks per second it ran in the sub-steps before.
// Each thread still writes only its own cells, and the depths and faces do
// not depend on where the shares end.
struct ade_fused_shares {
    std::vector<double> speed;     // blocks per second of each thread, smoothed over the
                                   // sub-steps before, 1/s; 0 while not measured
    std::vector<double> seconds;   // each thread's time of its share in the last sub-step, s
    std::vector<int> first;        // first block of each thread's share; one more entry: the end
};

// Arrays the sub-step updates (1-based cells).
struct ade_fused_state {
    double* h = nullptr;            // depths, updated in place, m
    double* qx = nullptr;           // right-face discharges, m3/s (see ade_faces_out)
    double* qy = nullptr;           // bottom-face discharges, m3/s (see ade_faces_out)
    double* qx_sum = nullptr;       // right-face volumes of the step so far, m3
    double* qy_sum = nullptr;       // bottom-face volumes of the step so far, m3
    double* clip = nullptr;         // water created by a clip in the step, m3 (added to)
    double* head_gain = nullptr;    // water given by a held boundary cell, m3 (with btype)
    double* head_loss = nullptr;    // water taken by a held boundary cell, m3 (with btype)
    double* work = nullptr;         // ade_fused_work_size doubles of rings
    ade_fused_shares* shares = nullptr;   // the threads' shares on a large grid, or null: equal
                                          // shares (updated by each parallel sub-step)
};

struct ade_fused_verdict {
    int restart = 0;   // a donor overdrew by more than the limit: restart the step
    int halve = 0;     // a depth changed by more than half: halve the next sub-step
    int clipped = 0;   // a depth was raised to zero (booked in clip)
};

// What a sub-step keeps of its final faces. Faces that nothing reads later
// are not written: on a large grid each array written costs as much memory
// traffic as one read.
enum class ade_faces_out {
    volumes,   // a sub-step before the last of a step whose faces end as its
               // mean: u x face into the face volumes (set when fresh, else
               // added to), m3; the discharges are not written
    mean,      // the last sub-step of such a step: the step's mean discharge,
               // (volumes + u x face) / step, into qx / qy (m3/s), the same
               // bits as summing the volumes and dividing afterwards; the
               // volumes are not written
    faces,     // the last sub-step of a step that ends with the faces of its
               // last sweep: the faces into qx / qy (m3/s)
    none,      // a sub-step before the last of such a step: nothing
};

// Largest distance (cells) from a cell to the cell below it when the
// neighbour arrays number the cells row by row (right = cell + 1, left =
// cell - 1, above and below each other's inverse, below after the cell, the
// right and left links each other's inverse), else 0. It is at most
// kAdeFusedMaxSpan for the fused pass to take the grid; 0 also when it is
// larger. A grid of one row gives 1.
constexpr int kAdeFusedMaxSpan = 16384;
int ade_row_span(const int* right, const int* left, const int* below, const int* above,
                 int cells);

// Grids of at least this many cells (default 2^19) write the faces, face
// volumes and start depths past the caches (tests; 0 or less: the default);
// not while a step runs.
void set_ade_stream_cells(int cells);

// Grids of at least this many cells (default 2^16) share their blocks between
// the threads by their speed (ade_fused_shares); smaller grids share them
// equally (tests; 0 or less: the default). Not while a step runs.
void set_ade_share_cells(int cells);

// The widest vector code the pass takes (tests): 256 holds it to AVX2 on a
// processor with 512-bit vectors, anything else lets it take the widest the
// processor has; the same bits either way. Not while a step runs.
void set_ade_vector_bits(int bits);

// The links of the grid by block of cells, so that the pass reads four
// numbers per block rather than three links per cell: for each block the
// offset of the cells below when every cell of it has one that far (else
// 0), the same (negative) for the cells above, and two words whose bits
// (cell number modulo the block) mark the cells with a right neighbour. Sized and filled
// from the neighbour arrays of a grid numbered row by row.
void ade_block_links(const int* right, const int* below, const int* above, int cells,
                     std::vector<long long>& links);

// Doubles of work the fused pass needs with `threads` threads for a row span.
std::size_t ade_fused_work_size(int span, int threads);

// One sub-step of u seconds (s) over both sweeps, x first when x_first,
// ADE-PC when pc, on the threads of a parallel region when parallel (at most
// the threads the work was sized for). The faces are kept as `out` says, for
// a step of `step` seconds (s; used by ade_faces_out::mean); with `fresh`
// (the first sub-step of a step) the face volumes are set rather than added
// to. With `new_depths` (not null, cells 1..cells) the new depths go there
// (m) and st.h keeps the depths before the sub-step, so that the step can
// restart from them: writing another array in place of copying the depths
// aside saves a read and a write of every depth; the caller then takes
// new_depths as the depths. Else they replace st.h.
ade_fused_verdict ade_fused_substep(const ade_fused_grid& g, const ade_fused_state& st, double u,
                                    bool x_first, bool pc, bool parallel, bool fresh,
                                    ade_faces_out out, double step, double* new_depths);
