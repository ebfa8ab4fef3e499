// The watershed mask and its numbering, the cell-size check, "maskmap", the
// cell positions, the elevation map, the outlet cell and cell_number_at.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/alloc.h"
#include "core/error.h"
#include "core/file_object.h"
#include "run/run_state.h"
#include "grid_test_support.h"
#include "input/grid.h"

namespace {

using grid_test::map_text;

class GridReadTest : public grid_test::GridTest {
protected:
    std::string mask_path() const { return dir_.file("mask.map"); }
    std::string maskmap() const { return pluvo_test::read_file(dir_.file("maskmap")); }
};

TEST_F(GridReadTest, PlusShapedMaskIsNumberedRowByRowAndWrittenAsMaskmap) {
    set_grid(3, 3);
    std::string out = load_mask({"0 1 0", "1 1 1", "0 1 0"});
    ASSERT_EQ(error_record.stop, 0) << out;
    EXPECT_EQ(out, "reading watershed mask from file: " + mask_path() +
                       "\nnumber of grid cells in watershed: 5\n");
    EXPECT_EQ(rs().GNUM, 5);
    EXPECT_EQ(rs().mask[1][2], 1);
    EXPECT_EQ(rs().mask[2][1], 2);
    EXPECT_EQ(rs().mask[2][2], 3);
    EXPECT_EQ(rs().mask[2][3], 4);
    EXPECT_EQ(rs().mask[3][2], 5);
    EXPECT_EQ(rs().mask[1][1], 0);
    // The zero border around the grid is part of the allocation and stays 0.
    for (int k = 0; k <= 4; ++k) {
        EXPECT_EQ(rs().mask[0][k], 0);
        EXPECT_EQ(rs().mask[4][k], 0);
        EXPECT_EQ(rs().mask[k][0], 0);
        EXPECT_EQ(rs().mask[k][4], 0);
    }
    EXPECT_EQ(maskmap(),
              "north:   1000.00\nsouth:    970.00\neast:     30.00\nwest:      0.00\n"
              "rows:     3\ncols:     3\n"
              "0 1 0 \n2 3 4 \n0 5 0 \n");
    EXPECT_DOUBLE_EQ(rs().watershed_area, 500.0);
    // Rows and columns of the cells, made when a step asks for them.
    EXPECT_EQ(rs().cell_row.size, 0);
    fill_cell_rows(rs());
    const int rows[] = {0, 1, 2, 2, 2, 3};
    const int cols[] = {0, 2, 1, 2, 3, 2};
    for (int k = 1; k <= 5; ++k) {
        EXPECT_EQ(rs().cell_row[k], rows[k]) << k;
        EXPECT_EQ(rs().cell_col[k], cols[k]) << k;
    }
    EXPECT_EQ(rs().cell_row.range_error, 0);
}

TEST_F(GridReadTest, AnyNonZeroValueIsACellAndHolesStayOutside) {
    set_grid(3, 4);
    std::string out = load_mask({"-1 7 0 2", "3 0 0 -5", "0 0 1 1"});
    ASSERT_EQ(error_record.stop, 0) << out;
    EXPECT_EQ(rs().GNUM, 7);
    EXPECT_EQ(maskmap().substr(maskmap().find("cols:")),
              "cols:     4\n1 2 0 3 \n4 0 0 5 \n0 0 6 7 \n");
}

TEST_F(GridReadTest, CellCentresFollowTheMaskHeader) {
    set_grid(2, 3);
    std::string path = write("mask.map", "north: 1000\nsouth: 980\neast: 30\nwest: 0\n"
                                         "rows: 2\ncols: 3\n1 0 1\n0 1 1\n");
    std::snprintf(rs().files.watershed_mask, kCardNameSize, "%s", path.c_str());
    console([&] { read_watershed_mask(rs()); });
    ASSERT_EQ(rs().GNUM, 4);
    // A later map's header does not move the centres.
    rs().map_west = 100.0;
    rs().map_north = 5000.0;
    EXPECT_EQ(rs().cell_x.size, 0);
    fill_cell_centres(rs());
    EXPECT_DOUBLE_EQ(rs().cell_x[1], 5.0);
    EXPECT_DOUBLE_EQ(rs().cell_y[1], 995.0);
    EXPECT_DOUBLE_EQ(rs().cell_x[2], 25.0);
    EXPECT_DOUBLE_EQ(rs().cell_x[3], 15.0);
    EXPECT_DOUBLE_EQ(rs().cell_y[4], 985.0);
}

TEST_F(GridReadTest, CellSizeMustAgreeToATenthOfAMetre) {
    const std::string first = "\nThe grid size specified in the project file: 30.0000 m differs from\n";
    const std::string tail = "from the WATERSHED_MASK header.  Check your data to make sure they "
                             "agree.\nPLUVO terminating.\n\n";
    struct size_case {
        double row_height, column_width;
        std::string lines;   // empty: accepted
    } cases[] = {
        {30.04, 30.04, ""},
        {30.0, 30.0, ""},
        {29.99, 30.0,
         first + "the north-south dimension of the raster grid cells 29.9900 m as calculated\n" +
             tail},
        {30.0, 29.99,
         first + "the east-west dimension of the raster grid cells 29.9900 m as calculated\n" +
             tail},
        {29.99, 29.99,
         first + "the north-south dimension of the raster grid cells 29.9900 m as calculated\n" +
             tail},
    };
    for (const size_case& c : cases) {
        SCOPED_TRACE(std::to_string(c.row_height) + " x " + std::to_string(c.column_width));
        rs_.reset(create_run_state());
        grid_test::reset_program_state();
        std::snprintf(project_folder_path, sizeof(project_folder_path), "%s/", dir_.path().c_str());
        std::remove(dir_.file("maskmap").c_str());
        set_grid(2, 2, 30.0);
        std::string path = write("mask.map", map_text(2, 2, {"1 1", "1 0"}, 2 * c.row_height, 0.0,
                                                      2 * c.column_width, 0.0));
        std::snprintf(rs().files.watershed_mask, kCardNameSize, "%s", path.c_str());
        std::string out = console([&] { read_watershed_mask(rs()); });
        if (c.lines.empty()) {
            EXPECT_EQ(error_record.stop, 0);
            EXPECT_EQ(rs().GNUM, 3);
            EXPECT_TRUE(pluvo_test::file_exists(dir_.file("maskmap")));
        } else {
            EXPECT_EQ(out, "reading watershed mask from file: " + path + "\n" + c.lines +
                               grid_test::kReported);
            EXPECT_EQ(error_record.stop, 1);
            EXPECT_EQ(rs().GNUM, 0);   // nothing numbered
            EXPECT_EQ(rs().mask[1][1], 1);
            EXPECT_FALSE(pluvo_test::file_exists(dir_.file("maskmap")));
            // The run then ends cleanly: the elevation step reads nothing and
            // stores nothing into the per-cell arrays that were never sized.
            std::string elev = load_elevation(map_text(2, 2, {"1 1", "1 1"}));
            EXPECT_EQ(elev, "");
            EXPECT_TRUE(rs().elevation.empty());
            EXPECT_FALSE(rs().elevation_file.is_open());
        }
    }
}

TEST_F(GridReadTest, CellSizeTestTruncatesTenths) {
    EXPECT_TRUE(cell_sizes_agree(30.0, 30.04));
    EXPECT_TRUE(cell_sizes_agree(30.0, 30.098));
    EXPECT_FALSE(cell_sizes_agree(30.0, 30.099));
    EXPECT_FALSE(cell_sizes_agree(30.0, 29.99));
    EXPECT_FALSE(cell_sizes_agree(30.0, 1.0 / 0.0));
    EXPECT_FALSE(cell_sizes_agree(30.0, 0.0 / 0.0));
}

TEST_F(GridReadTest, MaskReadFailureLeavesTheRunStopped) {
    set_grid(3, 3);
    std::string path = write("mask.map", map_text(2, 3, {"1 1 1", "1 1 1"}));
    std::snprintf(rs().files.watershed_mask, kCardNameSize, "%s", path.c_str());
    std::string out = console([&] { read_watershed_mask(rs()); });
    EXPECT_NE(out.find("Incorrect number of rows in map: " + path), std::string::npos);
    EXPECT_EQ(error_record.stop, 1);
    EXPECT_EQ(rs().GNUM, 0);
    EXPECT_FALSE(rs().watershed_mask_file.is_open());
}

TEST_F(GridReadTest, MissingMaskFileIsCode4WithItsRole) {
    set_grid(3, 3);
    std::snprintf(rs().files.watershed_mask, kCardNameSize, "%s", dir_.file("none.map").c_str());
    console([&] { read_watershed_mask(rs()); });
    EXPECT_EQ(error_record.code, 4);
    EXPECT_EQ(error_record.stop, 1);
    EXPECT_STREQ(error_record.what, "watershed mask");
}

TEST_F(GridReadTest, QuietRunsWriteTheReadingLinesOnlyIntoTheSummary) {
    set_grid(3, 3);
    rs().quiet = 1;
    ASSERT_TRUE(open_file_named(rs().summary_file, dir_.file("summary.txt").c_str(), "w"));
    std::string out = load_mask({"0 1 0", "1 1 1", "0 1 0"});
    EXPECT_EQ(out, "");
    close_file_object(rs().summary_file);
    EXPECT_EQ(pluvo_test::read_file(dir_.file("summary.txt")),
              "reading watershed mask from file: " + mask_path() +
                  "\nnumber of grid cells in watershed: 5\n");
}

class ElevationTest : public GridReadTest {
protected:
    void SetUp() override {
        GridReadTest::SetUp();
        set_grid(3, 3);
        load_mask({"0 1 0", "1 1 1", "0 1 0"});
        ASSERT_EQ(rs().GNUM, 5);
        rs().outrow = 3;
        rs().outcol = 2;
    }
    std::string elev_path() const { return dir_.file("elev.map"); }
};

TEST_F(ElevationTest, ElevationOfEveryCellAndTheOutletCell) {
    std::string out = load_elevation(map_text(3, 3, {"0 101 0", "102 103 104", "0 105 0"}));
    EXPECT_EQ(error_record.stop, 0);
    EXPECT_EQ(out, "reading elevation map from file: " + elev_path() +
                       "\noutlet is in grid cell: 5\n");
    EXPECT_EQ(rs().elevation, (std::vector<double>{0, 101, 102, 103, 104, 105}));
    EXPECT_EQ(rs().outlet_cell, 5);
    EXPECT_FALSE(rs().elevation_file.is_open());
}

TEST_F(ElevationTest, ZeroElevationCellIsWarned) {
    std::string out = load_elevation(map_text(3, 3, {"0 101 0", "102 0 104", "0 105 0"}));
    EXPECT_EQ(error_record.stop, 0);
    EXPECT_NE(out.find("Warning: Map contains 1 cells with zero values. Map: " + elev_path() + "\n"),
              std::string::npos)
        << out;
}

TEST_F(ElevationTest, WrongRowCountNamesTheElevationMap) {
    std::string out = load_elevation(map_text(4, 3, {"1 1 1", "1 1 1", "1 1 1", "1 1 1"}));
    EXPECT_EQ(out, "reading elevation map from file: " + elev_path() +
                       "\nIncorrect number of rows in map: " + elev_path() + "\n" +
                       grid_test::kReported);
    EXPECT_EQ(error_record.stop, 1);
}

TEST_F(ElevationTest, OutletOutsideTheWatershedStopsUnlessChannelsAreRouted) {
    const std::string message =
        "\nThe outlet row and column you specified in the project file are not\n"
        "inside the watershed mask.  Check the outlet row and column again, and\n"
        "make sure they are correctly specified in the project file using the\n"
        "OUTROW and OUTCOL project file cards.  PLUVO terminating.\n\n";
    struct outlet_case {
        int row, col;
    } cases[] = {{1, 1}, {0, 2}, {4, 2}, {2, 0}, {2, 4}, {-1, -1}, {100000, 2}};
    for (const outlet_case& c : cases) {
        SCOPED_TRACE(std::to_string(c.row) + "," + std::to_string(c.col));
        for (int explicit_channels = 0; explicit_channels <= 1; ++explicit_channels) {
            error_record = error_info{};
            rs().outrow = c.row;
            rs().outcol = c.col;
            rs().chan_explic = explicit_channels;
            rs().quiet = 1;   // the outlet message is printed even then
            std::string out = load_elevation(map_text(3, 3, {"0 1 0", "1 1 1", "0 1 0"}));
            EXPECT_EQ(rs().outlet_cell, 0);
            if (explicit_channels) {
                EXPECT_EQ(out, "");
                EXPECT_EQ(error_record.stop, 0);
            } else {
                EXPECT_EQ(out, message + grid_test::kReported);
                EXPECT_EQ(error_record.stop, 1);
            }
        }
    }
    rs().quiet = 0;
    error_record = error_info{};
    rs().outrow = 0;
    rs().chan_explic = 1;
    std::string out = load_elevation(map_text(3, 3, {"0 1 0", "1 1 1", "0 1 0"}));
    EXPECT_NE(out.find("outlet is in grid cell: 0\n"), std::string::npos);
}

TEST_F(ElevationTest, CellNumberAtFindsMaskCellsAndLeavesOtherEntries) {
    std::vector<int> rows = {0, 2, 1, 3, 0, 4, -1, 2};
    std::vector<int> cols = {0, 3, 1, 2, 2, 2, 1, 99};
    std::vector<int> cells(rows.size(), -7);
    std::string out = console([&] {
        for (int k = 1; k < static_cast<int>(rows.size()); ++k)
            cell_number_at(rs().mask, 3, 3, rows, cols, cells, k);
        EXPECT_FALSE(cell_number_at(rs().mask, 3, 3, rows, cols, cells, 8));   // past the list
    });
    EXPECT_EQ(cells, (std::vector<int>{-7, 4, -7, 5, -7, -7, -7, -7}));
    EXPECT_EQ(cells[1], rs().mask[2][3]);
    EXPECT_EQ(out, "2  3   4 \n3  2   5 \n");

    // On a mask that is not numbered the count gives the same numbers.
    int** raw = nullptr;
    alloc_int_2d(raw, 4, 4, "raw");
    raw[1][2] = raw[2][1] = raw[2][2] = raw[2][3] = raw[3][2] = 1;
    console([&] { cell_number_at(raw, 3, 3, rows, cols, cells, 3); });
    EXPECT_EQ(cells[3], 5);
    free_block_2d(raw);
}

}  // namespace
