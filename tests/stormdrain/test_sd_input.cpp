// Grading of long pipes into computational pipes, and the nodes the
// grading adds.
#include <gtest/gtest.h>

#include <numeric>

#include "sd_test_support.h"

using namespace sd_test;

namespace {

TEST(GradedPieces, LengthsOfTheComputationalPipes) {
    struct grading_case {
        double length;
        std::vector<double> pieces;
    };
    const grading_case cases[] = {
        {470.0, {10, 20, 50, 100, 110, 100, 50, 20, 10}},
        {400.0, {10, 20, 50, 120, 120, 50, 20, 10}},   // no middle piece: the rest goes to both 100s
        {45.0, {10, 25, 10}},
        {15.0, {7.5, 7.5}},
        {10.0, {10}},
        {6.0, {6}},
        {25.0, {12.5, 12.5}},                           // 5 m left: each 10-m piece grows
        {130.0, {10, 20, 70, 20, 10}},
        {150.0, {10, 20, 90, 20, 10}},
        {170.0, {10, 20, 55, 55, 20, 10}},              // 10 m left after the 50s: each grows
        {720.0, {10, 20, 50, 100, 100, 100, 160, 100, 50, 20, 10}},   // the last middle piece takes the rest
    };
    for (const grading_case& c : cases) {
        SCOPED_TRACE(c.length);
        const std::vector<double> got = graded_pieces(c.length);
        ASSERT_EQ(got.size(), c.pieces.size());
        for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], c.pieces[i], 1e-9);
    }
    // Whatever the length, the pieces add up to the pipe and none reaches 200 m.
    for (double L = 0.5; L < 2000.0; L += 7.3) {
        const std::vector<double> got = graded_pieces(L);
        EXPECT_NEAR(std::accumulate(got.begin(), got.end(), 0.0), L, 1e-9) << L;
        for (double p : got) EXPECT_LT(p, 200.0) << L;
    }
}

TEST(GradedPieces, NodesAddedAlongAPipeAreInterpolatedAndCarryNoInlet) {
    state_ptr rs = grid_state(2, 2, 10.0);
    sd_link a = chain(1, 2, 2, 1.0, 45.0, 0.01, 0.013, 10.0);
    a.read_nodes[2].storage_area = 3.0;
    a.read_nodes[2].inlet = 2;
    a.read_nodes[2].cell = 4;
    install(*rs, {junction(10.0, 1.0), junction(9.0, 0.0, 888, 1)}, {a}, true);
    const sd_link& s = rs->sd_links[1];
    ASSERT_EQ(s.pipe_count(), 6);   // each 45-m pipe gives 10, 25, 10
    EXPECT_EQ(s.first_node, (std::vector<int>{0, 1, 4, 7}));
    EXPECT_EQ(s.pipe_read, (std::vector<int>{0, 1, 1, 1, 2, 2, 2}));
    EXPECT_NEAR(s.nodes[2].invert, 10.0 - 0.45 * 10.0 / 45.0, 1e-12);
    EXPECT_NEAR(s.nodes[3].invert, 10.0 - 0.45 * 35.0 / 45.0, 1e-12);
    EXPECT_EQ(s.nodes[2].inlet, 0);
    EXPECT_EQ(s.nodes[2].storage_area, 0.0);
    // The node as read keeps its storage, inlet and cell.
    EXPECT_EQ(s.nodes[4].inlet, 2);
    EXPECT_EQ(s.nodes[4].cell, 4);
    EXPECT_EQ(s.nodes[4].storage_area, 3.0);
    EXPECT_NEAR(s.nodes[4].invert, 10.0 - 0.45, 1e-12);
    EXPECT_NEAR(s.pipes[5].length, 25.0, 1e-12);
}

}  // namespace
