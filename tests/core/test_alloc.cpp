// Plain allocators: sizes as highest indices, zeroed contents, contiguous
// layouts of the 2-D and 3-D blocks, and the size-0 / failure messages.
#include <gtest/gtest.h>

#include <string>

#include "core/alloc.h"

namespace {

const std::string kSizeZero = "Error: Attempting to allocate array of size 0\n";

std::string failure_for(const char* name) {
    return std::string("Error allocating memory for variable ") + name + "\n";
}

TEST(AllocArray, SizesAndMessages) {
    const struct {
        int n;
        bool is_null;
        std::string double_out;   // console text of alloc_double_array
        std::string int_out;      // console text of alloc_int_array
    } cases[] = {
        {0, true, "", ""},
        {-1, true, kSizeZero, kSizeZero + failure_for("cells")},
        {5, false, "", ""},
        {1, false, "", ""},
    };
    static double double_sentinel = 0.0;
    static int int_sentinel = 0;
    for (const auto& c : cases) {
        double* d = &double_sentinel;   // not null before the call
        testing::internal::CaptureStdout();
        alloc_double_array(d, c.n, "cells");
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.double_out) << c.n;
        EXPECT_EQ(d == nullptr, c.is_null) << c.n;

        int* i = &int_sentinel;
        testing::internal::CaptureStdout();
        alloc_int_array(i, c.n, "cells");
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.int_out) << c.n;
        EXPECT_EQ(i == nullptr, c.is_null) << c.n;

        for (int k = 0; !c.is_null && k <= c.n; ++k) {   // n+1 zeroed elements
            EXPECT_EQ(d[k], 0.0);
            EXPECT_EQ(i[k], 0);
        }
        if (d != &double_sentinel) delete[] d;
        if (i != &int_sentinel) delete[] i;
    }
}

TEST(Alloc2d, RowsAreSpacedInOneZeroedBlock) {
    double** g = nullptr;
    testing::internal::CaptureStdout();
    alloc_double_2d(2, 3, g, "grid");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    ASSERT_NE(g, nullptr);
    for (int r = 0; r <= 2; ++r) EXPECT_EQ(g[r], g[0] + 4 * r);
    EXPECT_EQ(&g[1][3] + 1, &g[2][0]);
    for (int k = 0; k < 12; ++k) EXPECT_EQ(g[0][k], 0.0);
    fill_double_2d(g, 2, 3, 2.5);
    for (int k = 0; k < 12; ++k) EXPECT_EQ(g[0][k], 2.5);
    free_block_2d(g);
    EXPECT_EQ(g, nullptr);

    int** gi = nullptr;
    alloc_int_2d(gi, 3, 1, "ints");
    ASSERT_NE(gi, nullptr);
    EXPECT_EQ(&gi[2][1] + 1, &gi[3][0]);
    for (int k = 0; k < 8; ++k) EXPECT_EQ(gi[0][k], 0);
    free_block_2d(gi);

    char** gc = nullptr;
    alloc_char_2d(1, 4, gc, "chars");
    ASSERT_NE(gc, nullptr);
    EXPECT_EQ(&gc[0][4] + 1, &gc[1][0]);
    for (int k = 0; k < 10; ++k) EXPECT_EQ(gc[0][k], 0);
    free_block_2d(gc);
    EXPECT_EQ(gc, nullptr);
}

TEST(Alloc3d, LastElementEndsTheBlock) {
    double*** b = nullptr;
    alloc_double_3d(1, 2, 3, b, "block");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(&b[1][2][3], b[0][0] + 23);   // the last of 2 x 3 x 4 values
    for (int i = 0; i <= 1; ++i)
        for (int j = 0; j <= 2; ++j) EXPECT_EQ(b[i][j], b[0][0] + (i * 3 + j) * 4);
    for (int k = 0; k < 24; ++k) EXPECT_EQ(b[0][0][k], 0.0);
    fill_double_3d(b, 1, 2, 3, -1.0);
    for (int k = 0; k < 24; ++k) EXPECT_EQ(b[0][0][k], -1.0);
    free_block_3d(b);
    EXPECT_EQ(b, nullptr);

    int*** q = make_int_3d4(2, 5);   // [0..2][0..3][0..5]
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(&q[2][3][5], q[0][0] + 3 * 4 * 6 - 1);
    EXPECT_EQ(q[1], q[0] + 4);
    EXPECT_EQ(q[1][2], q[0][0] + (4 + 2) * 6);
    free_block_3d(q);
    EXPECT_EQ(q, nullptr);
}

TEST(AllocBlocks, ZeroSizesGiveNullWithTheMessage) {
    const struct {
        const char* what;
        bool (*make)();   // true when the result was null
    } cases[] = {
        {"2d rows 0", [] { return make_double_2d(0, 3) == nullptr; }},
        {"2d cols 0", [] { return make_double_2d(3, 0) == nullptr; }},
        {"int 2d", [] { return make_int_2d(0, 1) == nullptr; }},
        {"char 2d", [] { return make_char_2d(1, 0) == nullptr; }},
        {"3d a 0", [] { return make_double_3d(0, 1, 1) == nullptr; }},
        {"3d c 0", [] { return make_double_3d(1, 1, 0) == nullptr; }},
        {"3d4 b 0", [] { return make_int_3d4(1, 0) == nullptr; }},
        {"negative", [] { return make_double_2d(-3, 2) == nullptr; }},
    };
    for (const auto& c : cases) {
        testing::internal::CaptureStdout();
        bool was_null = c.make();
        EXPECT_EQ(testing::internal::GetCapturedStdout(), kSizeZero) << c.what;
        EXPECT_TRUE(was_null) << c.what;
    }

    // The named allocators add the failure message with the array's name.
    double** g = nullptr;
    testing::internal::CaptureStdout();
    alloc_double_2d(0, 3, g, "slope_grid");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), kSizeZero + failure_for("slope_grid"));
    EXPECT_EQ(g, nullptr);

    double*** b = nullptr;
    testing::internal::CaptureStdout();
    alloc_double_3d(2, 0, 2, b, "conc");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), kSizeZero + failure_for("conc"));
    EXPECT_EQ(b, nullptr);
}

TEST(FreeBlock, NullReferenceIsLeftAlone) {
    double** g = nullptr;
    free_block_2d(g);
    EXPECT_EQ(g, nullptr);
    int*** q = nullptr;
    free_block_3d(q);
    EXPECT_EQ(q, nullptr);
}

}  // namespace
