// The one-pass ADE sub-step (grids numbered row by row without dikes,
// wetlands, snow or lakes): the layout it accepts, and the bits of the
// one-by-one faces on grids where threads share rows, held cells keep their
// depth and donors run dry.
#include <gtest/gtest.h>
#include <omp.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/parallel.h"
#include "overland/ade_scheme.h"
#include "overland/ade_scheme_fused.h"
#include "overland/explicit_scheme.h"
#include "overland_grid.h"

namespace {

// Neighbour arrays of a mask of '1' cells, numbered row by row.
struct neighbours {
    std::vector<int> right, below, left, above;
    int cells = 0;
};

neighbours neighbours_of(const std::vector<std::string>& rows) {
    overland_grid g(rows, 10.0);
    return {g.rs->rightcon, g.rs->belowcon, g.rs->leftcon, g.rs->abovecon, g.rs->GNUM};
}

int span_of(const neighbours& a) {
    return ade_row_span(a.right.data(), a.left.data(), a.below.data(), a.above.data(), a.cells);
}

}  // namespace

// The pass takes the grids the program builds (cells numbered row by row)
// and knows how far below a cell its lower neighbour is; it refuses arrays
// that link cells any other way and rows wider than its rings.
TEST(AdeOnePass, RowSpanOfTheNeighbourArrays) {
    struct span_case {
        const char* name;
        std::vector<std::string> rows;
        void (*spoil)(neighbours&);   // null: the arrays as built
        int span;
    };
    const span_case cases[] = {
        {"full rectangle: the row length", {"1111", "1111", "1111"}, nullptr, 4},
        {"holes: the most cells between a cell and the one below",
         {"1111", "1001", "1111"},
         nullptr,
         4},
        {"one row: no cell below", {"11111"}, nullptr, 1},
        {"one column", {"1", "1", "1"}, nullptr, 1},
        {"a right link one-sided",
         {"111", "111"},
         [](neighbours& a) { a.left[2] = 0; },
         0},
        {"a right link that skips a cell",
         {"111", "111"},
         [](neighbours& a) {
             a.right[1] = 3;
             a.left[3] = 1;
         },
         0},
        {"a cell below that comes first",
         {"11", "11"},
         [](neighbours& a) {
             a.below[3] = 1;
             a.above[1] = 3;
         },
         0},
        {"above and below not each other's inverse",
         {"11", "11"},
         [](neighbours& a) { a.above[4] = 1; },
         0},
        {"rows wider than the rings", {std::string(kAdeFusedMaxSpan + 1, '1'), std::string(kAdeFusedMaxSpan + 1, '1')}, nullptr, 0},
        {"rows as wide as the rings", {std::string(kAdeFusedMaxSpan, '1'), std::string(kAdeFusedMaxSpan, '1')}, nullptr, kAdeFusedMaxSpan},
    };
    for (const span_case& k : cases) {
        SCOPED_TRACE(k.name);
        neighbours a = neighbours_of(k.rows);
        if (k.spoil != nullptr) k.spoil(a);
        EXPECT_EQ(span_of(a), k.span);
    }
}

// On random watersheds (with and without holes, a noisy tilted bed, dry cells, depths too
// thin for the fast power, retention, roughness, held boundary cells of
// types 2 and 3, a first 5 s sub-step that makes donors run dry and faces
// meet the level cap) the one-pass sub-step gives the bits of the one-by-one
// faces (the same grid with a dike map of no dike): depths, the faces the
// step leaves (ADE: its mean discharges, which the one pass writes in its
// last sub-step and the one-by-one faces take from the summed face volumes
// afterwards; ADE-PC: the last sweep's) and booked volumes, over steps of one
// and of several sub-steps, in the 512-bit (where the processor has it),
// the AVX2 and the plain build, with stores through the caches or past
// them, on 1, 3 and
// (one grid and scheme, as a region of many threads is slow on a busy
// machine) 8 threads, rows shared between threads, for both schemes over
// several calls. Rows wider than the rings take the block loops, with the same bits.
// Closed grids: the water stays, up to what held cells and clips booked.
TEST(AdeOnePass, GivesTheBitsOfTheOneByOneFacesOnAnyThreadCount) {
    struct way {
        const char* name;
        bool one_by_one;   // an empty dike map sends every face one by one
        bool plain;        // the plain build
        int threads;
        bool stream;       // faces, volumes and start depths written past the caches
        int vector_bits;   // 256: at most AVX2 code; 0: the widest vectors the processor has
    };
    const way ways[] = {
        {"one by one", true, false, 1, false, 0},
        {"one pass, vector build", false, false, 1, false, 0},
        {"one pass, plain build, stores past the caches", false, true, 1, true, 0},
        {"one pass, three threads, stores past the caches", false, false, 3, true, 0},
        {"one pass, 256-bit vector build", false, false, 1, false, 256},
        {"one pass, three threads sharing the blocks by speed", false, false, 3, false, 0},
        {"one pass, eight threads", false, false, 8, false, 0},
    };
    struct grid_case {
        const char* name;
        int rows, cols;
        double holes;   // share of the cells outside the watershed
        bool held;      // some cells are held boundary cells
        bool eight;     // also on eight threads (ADE)
        int one_value = 0;   // 1: every cell has n 0.05 and retention 1 mm, marked so for the
                             // pass; 2: the same marks, but one cell's n differs
    };
    const grid_case grids[] = {
        {"30 x 40: every block of a thread near another thread", 30, 40, 0.1, false, false},
        {"90 x 150 with held cells: threads own rows of their own", 90, 150, 0.1, true, true},
        {"70 x 300 without holes: neighbours above and below as runs", 70, 300, 0.0, true, false},
        {"2 x (widest row + 100): block loops", 2, kAdeFusedMaxSpan + 100, 0.1, true, false},
        {"60 x 90, one n and retention", 60, 90, 0.1, true, true, 1},
        {"60 x 90, marked one n, one cell differs", 60, 90, 0.1, false, false, 2},
    };
    const parallel_thresholds saved = parallel_cells();
    const int saved_threads = omp_get_max_threads();
    set_parallel_cells({1, 1});
    for (const grid_case& gc : grids) {
        const std::vector<std::string> mask = mask_with_holes(gc.rows, gc.cols, gc.holes, 5);
        for (int scheme : {kSchemeAde, kSchemeAdePc}) {
            struct result {
                std::vector<double> depth, faces;
                double gain = 0.0, loss = 0.0, clip = 0.0;
                long long substeps = 0;
            };
            result got[7];
            const int way_count = gc.eight && scheme == kSchemeAde ? 7 : 6;
            for (int w = 0; w < way_count; ++w) {
                SCOPED_TRACE(std::string(gc.name) + ", " + ways[w].name +
                             (scheme == kSchemeAde ? ", ade" : ", ade-pc"));
                omp_set_num_threads(ways[w].threads);
                set_plain_overland_kernel(ways[w].plain);
                set_ade_stream_cells(ways[w].stream ? 1 : 0);
                set_ade_vector_bits(ways[w].vector_bits);
                // One way shares the blocks by the threads' speeds, the first
                // sub-step of the first and of the last step by very uneven
                // ones; the others share them equally.
                const bool by_speed = w == 5;
                set_ade_share_cells(by_speed ? 1 : (1 << 30));
                overland_grid g(mask, 10.0);
                run_state& rs = *g.rs;
                const std::vector<double> uneven = {1.0, 7.0, 0.6};   // blocks/s
                if (by_speed) rs.ade_shares.speed = uneven;
                std::mt19937 rng(17);
                std::uniform_real_distribution<double> u(0.0, 1.0);
                for (int r = 1; r <= rs.rows; ++r)
                    for (int c = 1; c <= rs.cols; ++c) {
                        const int k = rs.mask[r][c];
                        if (k != 0)
                            rs.elevation[static_cast<size_t>(k)] =
                                100.0 - 0.4 * r - 0.2 * c + 0.05 * u(rng);
                    }
                const size_t size = rs.ov_depth.size();
                if (gc.held) {
                    rs.ov_boundary = 1;
                    rs.boundary_type.assign(size, 0);
                }
                for (size_t j = 1; j < size; ++j) {
                    const double pick = u(rng);
                    rs.ov_depth[j] = pick < 0.2 ? 0.0 : (pick < 0.25 ? 1e-95 : 0.05 * u(rng));
                    if (pick > 0.97) rs.ov_depth[j] = 0.6;   // deep cells empty fast
                    rs.retent_dep[j] = pick < 0.25 ? 0.0 : 0.004 * u(rng);
                    rs.dist_rough[j] = 0.02 + 0.08 * u(rng);
                    if (gc.held && u(rng) < 0.02) rs.boundary_type[j] = u(rng) < 0.5 ? 2 : 3;
                    if (gc.one_value != 0) {
                        rs.retent_dep[j] = 0.001;
                        rs.dist_rough[j] = 0.05;
                    }
                }
                if (gc.one_value != 0) {
                    rs.retention_all = 0.001;
                    rs.rough_all = 0.05;
                    if (gc.one_value == 2) rs.dist_rough[size / 2] = 0.06;
                }
                if (ways[w].one_by_one) {
                    rs.dike_map = 1;
                    rs.dike_mask.assign(size, 0);
                }
                const double before = g.volume();
                // Three steps of several sub-steps, then one short enough for one.
                const double steps[] = {5.0, 5.0, 5.0, 0.05};   // s
                long long substeps[4];   // sub-steps of each step
                std::vector<double> faces;   // the faces after each step, x then y
                for (int call = 0; call < 4; ++call) {
                    const long long earlier = rs.ade_substeps;
                    if (by_speed && call == 3) rs.ade_shares.speed = uneven;
                    ASSERT_GE(route_overland_ade(rs, steps[call], scheme, call % 2 + 1), 0.0);
                    substeps[call] = rs.ade_substeps - earlier;
                    faces.insert(faces.end(), rs.ov_qx.begin(), rs.ov_qx.end());
                    faces.insert(faces.end(), rs.ov_qy.begin(), rs.ov_qy.end());
                }
                EXPECT_GT(substeps[0], 1);
                EXPECT_EQ(substeps[3], 1);
                EXPECT_NEAR(g.volume(),
                            before + rs.vol_head_bc_gain - rs.vol_head_bc_loss + rs.vol_ov_depth_clip,
                            1e-11 * before);
                if (by_speed) {
                    // The last step's one sub-step shared the blocks in order,
                    // the second thread taking over five times the first's.
                    const std::vector<int>& first = rs.ade_shares.first;
                    ASSERT_EQ(first.size(), 4u);
                    EXPECT_EQ(first[0], 0);
                    EXPECT_EQ(first[3], static_cast<int>(size - 1) / 128 + 1);
                    EXPECT_GT(first[1], 0);
                    EXPECT_GT(first[2] - first[1], 5 * first[1]);
                    EXPECT_GT(first[3], first[2]);
                }
                got[w] = {rs.ov_depth,         faces,
                          rs.vol_head_bc_gain, rs.vol_head_bc_loss, rs.vol_ov_depth_clip,
                          rs.ade_substeps};
            }
            if (gc.held) {
                // The held cells exchanged water in both directions.
                EXPECT_GT(got[0].gain, 0.0);
                EXPECT_GT(got[0].loss, 0.0);
            }
            for (int w = 1; w < way_count; ++w) {
                SCOPED_TRACE(std::string(gc.name) + ", " + ways[w].name +
                             (scheme == kSchemeAde ? ", ade" : ", ade-pc"));
                const std::vector<double>* mine[] = {&got[w].depth, &got[w].faces};
                const std::vector<double>* ref[] = {&got[0].depth, &got[0].faces};
                const char* what[] = {"depth", "faces after each step"};
                for (int a = 0; a < 2; ++a) {
                    ASSERT_EQ(mine[a]->size(), ref[a]->size()) << what[a];
                    EXPECT_EQ(std::memcmp(mine[a]->data(), ref[a]->data(),
                                          ref[a]->size() * sizeof(double)),
                              0)
                        << what[a];
                }
                EXPECT_EQ(got[w].gain, got[0].gain);
                EXPECT_EQ(got[w].loss, got[0].loss);
                EXPECT_EQ(got[w].clip, got[0].clip);
                EXPECT_EQ(got[w].substeps, got[0].substeps);
            }
        }
    }
    set_plain_overland_kernel(false);
    set_ade_stream_cells(0);
    set_ade_vector_bits(0);
    set_ade_share_cells(0);
    set_parallel_cells(saved);
    omp_set_num_threads(saved_threads);
}
