// Checked arrays: bounds reported at release, index shift, guard copies,
// row and block tables with owned and attached storage.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "core/checked_array.h"

namespace {

const char kBad2d[] = "\n\nError!! Bad pointers found in 2D array.\n\n";
const char kBad3d[] = "\n\nError!!!  Bad pointers found in 3D array.\n\n";

std::string bad_range(const char* name) {
    return std::string("Error: bad range addressed in array ") + name + "\n";
}

// ---------------------------------------------------------------- 1-D

TEST(CheckedArray, GrowAndGrowFillKeepContents) {
    checked_array<int> a;
    a.set_name("counts");
    a.grow(5);
    EXPECT_EQ(a.size, 5);
    for (int i = 0; i <= 5; ++i) a[i] = 10 * i;   // six slots 0..5
    a.grow_fill(2, 7);
    EXPECT_EQ(a.size, 7);
    EXPECT_EQ(a[6], 7);
    EXPECT_EQ(a[7], 7);
    for (int i = 0; i <= 5; ++i) EXPECT_EQ(a[i], 10 * i);

    checked_array<double> d;
    d.grow_fill(3, 1.25);   // empty array: slots 1..3 filled
    d.grow(2);
    EXPECT_EQ(d.size, 5);
    for (int i = 1; i <= 3; ++i) EXPECT_EQ(d[i], 1.25);

    testing::internal::CaptureStdout();
    a.release();
    d.release();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_FALSE(a.range_error);
    EXPECT_EQ(a.data, nullptr);
    EXPECT_EQ(a.size, 0);
}

TEST(CheckedArray, EmptyGrowTwiceFreesTheFirstAllocation) {
    // A grow of an empty array replaces its earlier one-slot allocation (the
    // leak checker of the sanitizer build fails this test if it is lost).
    checked_array<double> a;
    a.grow(0);
    EXPECT_EQ(a.size, 0);
    ASSERT_NE(a.data, nullptr);
    a[0] = 3.0;
    a.grow(4);
    EXPECT_EQ(a.size, 4);
    EXPECT_FALSE(a.range_error);
}

TEST(CheckedArray, OutOfRangeAccessIsReportedAtReleaseOnly) {
    const struct {
        const char* what;
        int size;
        char shift;
        int index;
        bool bad;
    } cases[] = {
        {"last slot", 4, 0, 4, false},
        {"slot 0", 4, 0, 0, false},
        {"size + 1", 4, 0, 5, true},
        {"negative", 4, 0, -1, true},
        {"shifted last", 4, 1, 3, false},
        {"shifted size", 4, 1, 4, true},
        {"shifted -1 is slot 0", 4, 1, -1, false},
        {"empty array", 0, 0, 0, true},
    };
    for (const auto& c : cases) {
        checked_array<double> a;
        a.set_name("ov_depth");
        a.index_shift = c.shift;
        if (c.size > 0) a.grow_fill(c.size, 1.0);

        testing::internal::CaptureStdout();
        double read = a[c.index];
        a[c.index] = 99.0;   // a write outside the bounds must not reach the storage
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << c.what;
        EXPECT_EQ(a.range_error != 0, c.bad) << c.what;
        (void)read;
        if (c.bad) {
            for (int k = 1; k <= a.size; ++k) EXPECT_EQ(a.data[k], 1.0) << c.what;
        }

        testing::internal::CaptureStdout();
        a.release();
        a.release();   // reported once only
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.bad ? bad_range("ov_depth") : "")
            << c.what;
    }
}

TEST(CheckedArray, DestructorReportsAPendingRangeError) {
    testing::internal::CaptureStdout();
    {
        checked_array<int> a;
        a.set_name("link_type");
        a.grow(2);
        a.at(3) = 1;
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), bad_range("link_type"));
}

TEST(CheckedArray, OverwrittenDataPointerStopsGrow) {
    checked_array<int> a;
    a.set_name("cells");
    a.grow(3);
    int* real = a.data;
    int other[8] = {};
    a.data = other;   // changed behind the container's back

    testing::internal::CaptureStdout();
    a.grow(5);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\n\nError!! Bad pointers found in array cells.\n\n");
    EXPECT_EQ(a.size, 3);
    EXPECT_EQ(a.data, other);

    a.size = 7;   // a changed size is caught the same way
    a.data = real;
    testing::internal::CaptureStdout();
    a.grow(1);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("Bad pointers found in array cells"),
              std::string::npos);
    a.size = 3;
}

TEST(CheckedArray, ReleaseAfterPointerOverwriteFreesTheOwnStorage) {
    checked_array<double> a;
    a.set_name("vol");
    a.grow(3);
    double foreign[4] = {};
    a.data = foreign;
    testing::internal::CaptureStdout();
    a.release();   // must not free the foreign pointer; must not leak its own
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\n\nError!! Bad pointers found in array vol.\n\n");
    EXPECT_EQ(a.data, nullptr);
}

TEST(CheckedArray, CopyFromCopiesTheCommonSlots) {
    checked_array<int> big;
    checked_array<int> small;
    big.grow(10);
    small.grow(4);
    for (int i = 0; i <= 10; ++i) big[i] = 100 + i;
    for (int i = 0; i <= 4; ++i) small[i] = i;

    checked_array<int> target;
    target.grow_fill(10, -1);
    target.copy_from(small);   // sizes 10 and 4: slots 1..4
    for (int i = 1; i <= 4; ++i) EXPECT_EQ(target[i], i);
    for (int i = 5; i <= 10; ++i) EXPECT_EQ(target[i], -1);

    small.copy_from(big);   // sizes 4 and 10: slots 1..4, slot 0 untouched
    EXPECT_EQ(small[0], 0);
    for (int i = 1; i <= 4; ++i) EXPECT_EQ(small[i], 100 + i);
    EXPECT_FALSE(small.range_error);
}

TEST(CheckedArray, NameIsCutTo49Characters) {
    checked_array<char> a;
    std::string long_name(80, 'n');
    a.set_name(long_name.c_str());
    EXPECT_EQ(std::string(a.name), std::string(49, 'n'));
}

TEST(CheckedArray, FileObjectsKeepTheirHandlesWhenGrown) {
    checked_array<file_object> files;
    files.grow(1);
    FILE* h = std::tmpfile();
    ASSERT_NE(h, nullptr);
    files[1].handle = h;
    files[1].guard = h;
    std::snprintf(files[1].name, sizeof files[1].name, "%s", "sediment.out");
    files.grow(3);
    EXPECT_EQ(files[1].handle, h);
    EXPECT_EQ(files[1].guard, h);
    EXPECT_STREQ(files[1].name, "sediment.out");
    EXPECT_GT(std::fprintf(files[1].handle, "still open\n"), 0);
    files.release_files();   // closes the file with its element
    EXPECT_EQ(files.data, nullptr);
}

// ---------------------------------------------------------------- 2-D

TEST(CheckedArray2d, AddRowsWidths) {
    const struct {
        const char* what;
        int n;
        double value;
        int width;
        bool fill;            // add_rows_fill instead of add_rows
        int rows, row_length;
        double expect;        // elements 1..row_length of the new rows
    } cases[] = {
        {"add none, width -1", 0, 0.0, -1, false, 0, 1, 0.0},
        {"add two, width 3", 2, 0.0, 3, false, 2, 3, 0.0},
        {"fill one, width -1 on empty", 1, 5.0, -1, true, 1, 1, 0.0},   // nothing filled
        {"fill three, width 4", 3, 0.0, 4, true, 3, 4, 0.0},
        {"fill three, width 4, 2.5", 3, 2.5, 4, true, 3, 4, 2.5},
        {"fill zero rows adds one", 0, 1.5, 2, true, 1, 2, 1.5},
    };
    for (const auto& c : cases) {
        checked_array_2d<double> t;
        if (c.fill) {
            t.add_rows_fill(c.n, c.value, c.width);
        } else {
            t.add_rows(c.n, c.width);
        }
        EXPECT_EQ(t.row_count, c.rows) << c.what;
        EXPECT_EQ(t.row_length, c.row_length) << c.what;
        EXPECT_EQ(t.row(0), nullptr) << c.what;
        EXPECT_EQ(t.row(c.rows + 1), nullptr) << c.what;
        for (int i = 1; i <= t.row_count; ++i) {
            ASSERT_NE(t.row(i), nullptr) << c.what;
            EXPECT_EQ(t.owned[i], 1) << c.what;
            for (int j = 1; j <= t.row_length; ++j) EXPECT_EQ(t.row(i)[j], c.expect) << c.what;
        }
    }
}

TEST(CheckedArray2d, LaterRowsKeepTheRowLengthAndOldRows) {
    checked_array_2d<int> t;
    t.add_rows_fill(2, 0, 3);
    t.row(1)[3] = 13;
    t.add_rows(1, 8);             // the row length stays 3
    t.add_rows_fill(1, 4, -1);    // fills 1..3
    EXPECT_EQ(t.row_count, 4);
    EXPECT_EQ(t.row_length, 3);
    EXPECT_EQ(t.row(1)[3], 13);
    for (int j = 1; j <= 3; ++j) EXPECT_EQ(t.row(4)[j], 4);
    EXPECT_TRUE(t.check());
}

TEST(CheckedArray2d, AttachedRowsBelongToTheirOwnerUnlessOwnAttached) {
    // Not owned: the rows survive the release and are freed here.
    double* mine[3] = {nullptr, new double[3](), new double[3]()};
    {
        checked_array_2d<double> t;
        t.add_rows(1, 2);
        t.attach_rows(2, mine, -1);
        EXPECT_EQ(t.row_count, 3);
        EXPECT_EQ(t.row(2), mine[1]);
        EXPECT_EQ(t.row(3), mine[2]);
        EXPECT_EQ(t.owned[2], 0);
        t.release();
        mine[1][2] = 1.0;   // still valid memory
    }
    delete[] mine[1];
    delete[] mine[2];

    // Owned when own_attached is set: the container frees them (a leak
    // otherwise shows in the sanitizer build).
    double* given[2] = {nullptr, new double[3]()};
    checked_array_2d<double> t;
    t.own_attached = 1;
    t.attach_rows(0, given, 2);   // max(n, 1) = 1 row
    EXPECT_EQ(t.row_count, 1);
    EXPECT_EQ(t.owned[1], 1);
}

TEST(CheckedArray2d, GuardMismatchIsReportedAndBlocksChanges) {
    checked_array_2d<double> t;
    t.add_rows(2, 2);
    double* real = t.rows[1];
    double other[3] = {};
    t.rows[1] = other;   // changed behind the container's back

    testing::internal::CaptureStdout();
    EXPECT_FALSE(t.check());
    t.add_rows(3, 2);
    t.release();   // frees nothing
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              std::string(kBad2d) + kBad2d + kBad2d);
    EXPECT_EQ(t.row_count, 2);

    t.rows[1] = real;
    EXPECT_TRUE(t.check());

    // A deliberate change announced with sync_guard is accepted.
    double* spare_row = new double[3]();
    double* kept = t.rows[2];
    t.rows[2] = spare_row;
    t.sync_guard();
    EXPECT_TRUE(t.check());
    t.rows[2] = kept;
    t.sync_guard();
    delete[] spare_row;
}

// ---------------------------------------------------------------- 3-D

TEST(CheckedArray3d, FilledRowsLayout) {
    double** r = alloc_filled_rows(2, 3, 7.0);
    EXPECT_EQ(r[0], nullptr);
    for (int i = 1; i <= 2; ++i) {
        EXPECT_EQ(r[i][0], 0.0);
        for (int j = 1; j <= 3; ++j) EXPECT_EQ(r[i][j], 7.0);
    }
    free_filled_rows(r, 2);
}

TEST(CheckedArray3d, OwnedAndAttachedBlocks) {
    double** outside[2] = {nullptr, alloc_filled_rows(2, 5, -1.0)};
    {
        checked_array_3d b;
        b.set_name("sed_conc");
        b.add_blocks_fill(2, 1.5, 3, 4);
        EXPECT_EQ(b.block_count, 2);
        EXPECT_EQ(b.rows, 3);
        EXPECT_EQ(b.columns, 4);
        EXPECT_EQ(b.block(2)[3][4], 1.5);
        EXPECT_EQ(b.block(1)[0], nullptr);
        EXPECT_EQ(b.block(3), nullptr);

        b.attach_blocks(1, outside, 2, 5);   // fewer rows than the owned blocks
        EXPECT_EQ(b.block_count, 3);
        EXPECT_EQ(b.block(3), outside[1]);
        EXPECT_EQ(b.owned[3], 0);
        b.add_blocks_fill(1, 0.5, -1, -1);   // keeps rows 2 and columns 5
        EXPECT_EQ(b.block(4)[2][5], 0.5);
        EXPECT_TRUE(b.check(0));
    }   // the owned blocks are freed; the attached one is not
    EXPECT_EQ(outside[1][2][5], -1.0);
    free_filled_rows(outside[1], 2);
}

TEST(CheckedArray3d, GuardMismatch) {
    double** outside[2] = {nullptr, alloc_filled_rows(1, 1, 0.0)};
    checked_array_3d b;
    b.add_blocks_fill(1, 0.0, 2, 2);
    b.attach_blocks(1, outside, 1, 1);

    // A row pointer of the attached block changed: only the full check sees it.
    double* kept = outside[1][1];
    double other[2] = {};
    outside[1][1] = other;
    testing::internal::CaptureStdout();
    EXPECT_TRUE(b.check(1));
    EXPECT_FALSE(b.check(0));
    b.add_blocks_fill(1, 0.0, -1, -1);   // refused
    EXPECT_EQ(testing::internal::GetCapturedStdout(), std::string(kBad3d) + kBad3d);
    EXPECT_EQ(b.block_count, 2);
    outside[1][1] = kept;

    // A row pointer of an owned block changed: release frees nothing.
    double* owned_row = b.block(1)[2];
    b.block(1)[2] = other;
    testing::internal::CaptureStdout();
    b.release();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), kBad3d);
    EXPECT_EQ(b.block_count, 2);
    b.block(1)[2] = owned_row;
    EXPECT_TRUE(b.check(0));

    b.release();
    EXPECT_EQ(b.block_count, 0);
    free_filled_rows(outside[1], 1);
}

}  // namespace
