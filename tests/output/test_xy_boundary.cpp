// Inset-model boundaries: the XY input readers and the overland hold, the
// candidate cells and weights of the XY outputs, the inset mask's boundary
// points and the stream crossings of its boundary. Expected values are
// worked out by hand from the geometry in each case.
#include <gtest/gtest.h>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>
#include "core/alloc.h"
#include "core/dates.h"
#include "core/error.h"
#include "core/file_object.h"
#include "input/time_series.h"
#include "output/xy_boundary.h"
#include "output/xy_output.h"
#include "pluvo_test.h"

using namespace pluvo_test;

namespace {

// Runs `f` with standard output captured and returns what it printed.
template <class F>
std::string captured(F f) {
    testing::internal::CaptureStdout();
    f();
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

class XyTest : public ::testing::Test {
protected:
    void SetUp() override { error_record = error_info{}; }
    void TearDown() override {
        free_time_series();
        error_record = error_info{};
    }
    temp_dir dir_;
};

const double kJune1 = julian_day(2000, 6, 1, 0, 0, 0.0);   // Julian days

}  // namespace

TEST_F(XyTest, EachLayoutReadsItsPointsAndSeries) {
    struct layout_case {
        const char* kind;
        const char* header;
        int layout;
        const char* points;      // the lines between the count and the rows
        int list;                // 0 overland, 1 groundwater, 2 interpolation
    };
    const layout_case cases[] = {
        {"overland", "XY_OV_DEPTH", kXyByIdentifier, "DATE TIME 4 9\r\n", 0},
        {"groundwater", "XY_GW_HEAD", kXyByIdentifier, "DATE TIME 4 9\n", 1},
        {"groundwater", "XY_GW_HEAD_INTERP", kXyByCoordinates, "X 100.5 200\nY 50 -7.25\n", 2},
    };
    for (const layout_case& c : cases) {
        SCOPED_TRACE(c.header);
        const std::string path = dir_.file("in.xy");
        write_file(path, std::string(c.header) + "\r\n2\n" + c.points +
                             "2000 06 01 00 00  0.10  5.0\r\n"
                             "2000 06 01 01 00  0.30  -1.0\n"
                             "END_TS\n");
        xy_input in;
        read_xy_boundary(in, path.c_str(), c.kind, c.header, c.layout);
        ASSERT_EQ(error_record.code, 0);
        const std::vector<xy_point>& pts = c.list == 0 ? in.ovpts : c.list == 1 ? in.gwpts : in.gwInterpPts;
        ASSERT_EQ(pts.size(), 2u);
        if (c.layout == kXyByIdentifier) {
            EXPECT_EQ(pts[0].cell, 4);
            EXPECT_EQ(pts[1].cell, 9);
        } else {
            EXPECT_EQ(pts[0].x, 100.5);
            EXPECT_EQ(pts[1].y, -7.25);
        }
        // Halfway between the rows: the mean of the two values of each column
        // (to the resolution of a Julian time near 2.45e6 days, about 1e-9 of a day).
        const double half = kJune1 + 0.5 / 24.0;
        EXPECT_NEAR(time_series_value(half, pts[0].series), 0.2, 1e-6);
        EXPECT_NEAR(time_series_value(half, pts[1].series), 2.0, 1e-6);
        free_time_series();
    }
}

TEST_F(XyTest, BadInputFilesStopNamingTheFileAndLine) {
    struct bad_case {
        const char* name;
        const char* text;        // null: the file does not exist
        const char* expected;    // part of the message
    };
    const bad_case cases[] = {
        {"missing", nullptr, "unable to open overland xy boundary input file"},
        {"header", "XY_GW_HEAD\n1\nD T 3\n2000 06 01 00 00 1\nEND_TS\n",
         "File header does not match XY_OV_DEPTH"},
        {"empty", "", "is empty"},
        {"no points", "XY_OV_DEPTH\n0\n", "line 2: the number of points must be"},
        {"negative count", "XY_OV_DEPTH\n-3\n", "line 2: the number of points must be"},
        {"count not a number", "XY_OV_DEPTH\nthree\n", "line 2"},
        {"short cell line", "XY_OV_DEPTH\n3\nDATE TIME 4 9\n2000 06 01 00 00 1 2 3\nEND_TS\n",
         "line 3: value 3 of 3 is missing"},
        {"cell not a number", "XY_OV_DEPTH\n2\nDATE TIME 4 x9\n", "line 3: value 2 of 2 is not"},
        {"no cell line", "XY_OV_DEPTH\n2\n", "ends at line 2 where the line of cell numbers"},
        {"short row", "XY_OV_DEPTH\n2\nDATE TIME 4 9\n2000 06 01 00 00 1 2\n2000 06 01 01 00 1\nEND_TS\n",
         "line 5"},
        {"non-finite value", "XY_OV_DEPTH\n1\nDATE TIME 4\n2000 06 01 00 00 inf\nEND_TS\n",
         "line 4"},
        {"no rows", "XY_OV_DEPTH\n1\nDATE TIME 4\nEND_TS\n", "holds no rows of values after line 3"},
    };
    for (const bad_case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir_.file(std::string(c.name) + ".xy");
        if (c.text != nullptr) write_file(path, c.text);
        xy_input in;
        const std::string out = captured([&] {
            read_xy_boundary(in, path.c_str(), "overland", "XY_OV_DEPTH", kXyByIdentifier);
        });
        EXPECT_EQ(error_record.code, kErrorPrinted) << out;
        EXPECT_NE(out.find(c.expected), std::string::npos) << out;
        EXPECT_NE(out.find(path), std::string::npos) << out;
        EXPECT_TRUE(in.ovpts.empty());
        error_record = error_info{};
        free_time_series();
    }
}

TEST_F(XyTest, CellsOutsideTheGridAreRefusedNamingTheLine) {
    const std::string path = dir_.file("ov.xy");
    write_file(path, "XY_OV_DEPTH\n3\nDATE TIME 1 9 10\n2000 06 01 00 00 1 2 3\nEND_TS\n");
    xy_input in;
    read_xy_boundary(in, path.c_str(), "overland", "XY_OV_DEPTH", kXyByIdentifier);
    ASSERT_EQ(error_record.code, 0);
    EXPECT_TRUE(check_xy_cells(in, 10));
    std::string out = captured([&] { EXPECT_FALSE(check_xy_cells(in, 9)); });
    EXPECT_NE(out.find(path + ", line 3: point 3 names cell 10, but the grid has cells 1 to 9"),
              std::string::npos)
        << out;
    EXPECT_EQ(error_record.code, kErrorPrinted);
}

TEST_F(XyTest, OverlandPointsTakeTheOuterDepthAndBookTheChange) {
    struct hold_case {
        double before;      // depth of the cell, m
        double outer;       // outer depth of the series, m
        double after;       // expected depth, m
        double gain;        // expected gain per m2 of cell, m
        double loss;        // expected loss per m2 of cell, m
    };
    const hold_case cases[] = {
        {0.10, 0.30, 0.30, 0.20, 0.0},
        {0.50, 0.20, 0.20, 0.0, 0.30},
        {0.25, -0.10, 0.0, 0.0, 0.25},   // a negative outer value empties the cell
        {0.0, 0.0, 0.0, 0.0, 0.0},
    };
    const double dx = 10.0;   // m
    for (const hold_case& c : cases) {
        SCOPED_TRACE(c.outer);
        const std::string path = dir_.file("ov.xy");
        char text[200];
        std::snprintf(text, sizeof text,
                      "XY_OV_DEPTH\n1\nDATE TIME 2\n2000 06 01 00 00 %.2f\n2000 06 02 00 00 %.2f\nEND_TS\n",
                      c.outer, c.outer);
        write_file(path, text);
        xy_input in;
        read_xy_boundary(in, path.c_str(), "overland", "XY_OV_DEPTH", kXyByIdentifier);
        ASSERT_EQ(error_record.code, 0);
        std::vector<double> depth = {0.0, 0.07, c.before, 0.09};
        double gain = 1.0, loss = 2.0;   // the hold adds to what is there
        apply_xy_ov_boundary(in, depth.data(), dx, kJune1 + 0.25, gain, loss);
        EXPECT_DOUBLE_EQ(depth[2], c.after);
        EXPECT_EQ(depth[1], 0.07);
        EXPECT_EQ(depth[3], 0.09);
        EXPECT_NEAR(gain - 1.0, c.gain * dx * dx, 1e-9);
        EXPECT_NEAR(loss - 2.0, c.loss * dx * dx, 1e-9);
        // Conservation: the depth change equals gain minus loss.
        EXPECT_NEAR((depth[2] - c.before) * dx * dx, (gain - 1.0) - (loss - 2.0), 1e-9);
        free_time_series();
    }
}

TEST_F(XyTest, InterpolationWeightsKeepTheFiveNearestInFileOrder) {
    struct weight_case {
        const char* name;
        std::vector<std::pair<double, double>> points;   // x, y of the points, m
        std::vector<int> chosen;                          // expected indices
        std::vector<double> weights;                      // expected weights, 1/m2
    };
    // Cell centre at (0, 0).
    const weight_case cases[] = {
        {"on the centre", {{5e-6, -5e-6}, {3.0, 4.0}}, {0, 1}, {1e8, 1.0 / 25.0}},
        {"very near but not on", {{2e-5, 0.0}}, {0}, {1e8}},   // d = 2e-5 m counts as 1e-4 m
        {"six points drop the farthest",
         {{1, 0}, {0, 2}, {30, 40}, {-3, 0}, {0, -4}, {5, 0}},
         {0, 1, 3, 4, 5},
         {1.0, 0.25, 1.0 / 9, 1.0 / 16, 1.0 / 25}},
        {"ties for the last place keep file order",
         {{0, 7}, {1, 0}, {7, 0}, {0, 2}, {-7, 0}, {0, 3}, {0, -4}},
         {1, 3, 5, 6, 0},
         {1.0, 0.25, 1.0 / 9, 1.0 / 16, 1.0 / 49}},
    };
    for (const weight_case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<xy_point> pts;
        for (const auto& p : c.points) {
            xy_point q;
            q.x = p.first;
            q.y = p.second;
            pts.push_back(q);
        }
        std::vector<int> chosen;
        std::vector<double> weights;
        xy_interpolation_weights(pts, 0.0, 0.0, chosen, weights);
        EXPECT_EQ(chosen, c.chosen);
        ASSERT_EQ(weights.size(), c.weights.size());
        for (size_t k = 0; k < weights.size(); ++k)
            EXPECT_NEAR(weights[k], c.weights[k], 1e-9 * c.weights[k]) << k;
    }
}

TEST_F(XyTest, WeightedSeriesValueIsTheWeightedMean) {
    time_series* a = new_time_series();
    time_series* b = new_time_series();
    a->times = {kJune1, kJune1 + 1};
    a->values = {2.0, 2.0};
    a->count = 2;
    b->times = {kJune1, kJune1 + 1};
    b->values = {6.0, 6.0};
    b->count = 2;
    time_series* s[2] = {a, b};
    const double w[2] = {3.0, 1.0};
    EXPECT_DOUBLE_EQ(weighted_series_value(s, w, 2, kJune1 + 0.5), (3 * 2.0 + 6.0) / 4.0);
}

namespace {

// A 3 x 3 grid of 10 m cells, north 30, west 0, whose cell (1, 3) is inactive:
//   1 2 .
//   3 4 5
//   6 7 8
struct three_by_three {
    int** mask = nullptr;
    three_by_three() {
        alloc_int_2d(mask, 5, 5, "mask");
        int n = 0;
        for (int r = 1; r <= 3; ++r)
            for (int c = 1; c <= 3; ++c) mask[r][c] = (r == 1 && c == 3) ? 0 : ++n;
    }
    ~three_by_three() { free_block_2d(mask); }
    xy_grid grid() const { return xy_grid{30.0, 0.0, 10.0, 3, 3, mask}; }
};

}  // namespace

TEST_F(XyTest, CandidateCellsAndWeightsMatchHandValues) {
    struct cell_case {
        const char* name;
        double x, y;                 // m
        std::vector<int> cells;
        std::vector<double> weights; // 1/m2
    };
    const cell_case cases[] = {
        {"cell centre", 15, 15, {4, 5, 7, 8}, {1e8, 0.01, 0.01, 0.005}},
        {"lower-right quarter", 17.5, 12.5, {4, 5, 7, 8}, {0.08, 0.016, 0.016, 1.0 / 112.5}},
        {"within 1e-5 m of a centre", 15 - 5e-6, 15 + 5e-6, {1, 2, 3, 4}, {0.005, 0.01, 0.01, 1e8}},
        {"block beside the grid edge", 27.5, 12.5, {5, 8}, {0.08, 0.016}},
        {"single active cell of the block", 27.5, 17.5, {5}, {1.0}},
        {"grid corner", 2, 28, {1}, {1.0}},
        {"west of the grid: nearest cell", -5, 15, {3}, {1.0}},
        {"in the inactive cell: first of two nearest", 25, 25, {2}, {1.0}},
    };
    three_by_three g;
    for (const cell_case& c : cases) {
        SCOPED_TRACE(c.name);
        xy_out_point p;
        const std::string out = captured([&] { ASSERT_TRUE(xy_nearest_cell(g.grid(), c.x, c.y, p)); });
        ASSERT_EQ(p.count, static_cast<int>(c.cells.size()));
        double sum = 0.0;
        for (int k = 0; k < p.count; ++k) {
            EXPECT_EQ(p.cell[k], c.cells[static_cast<size_t>(k)]) << k;
            EXPECT_NEAR(p.weight[k], c.weights[static_cast<size_t>(k)], 1e-5 * c.weights[static_cast<size_t>(k)]) << k;
            sum += c.weights[static_cast<size_t>(k)];
        }
        EXPECT_NEAR(p.weight_sum, sum, 1e-5 * sum);
        const bool outside = c.x < 0 || (c.x > 20 && c.y > 20);
        EXPECT_EQ(out.find("is not located in an active cell") != std::string::npos, outside) << out;
    }
    // The written value is the weighted mean of the depths.
    xy_output o;
    xy_out_point p;
    ASSERT_TRUE(xy_nearest_cell(g.grid(), 17.5, 12.5, p));
    o.points.push_back(p);
    const std::string path = dir_.file("row.txt");
    file_object f;
    ASSERT_TRUE(open_file_named(f, path.c_str(), "w"));
    const double depth[9] = {0, 0, 0, 0, 1.0, 2.0, 0, 3.0, 4.0};
    write_xy_ov_values(o, f, 2000, 6, 1, 0, 5, depth);
    close_file_object(f);
    const double mean = (0.08 * 1 + 0.016 * 2 + 0.016 * 3 + 4 / 112.5) / (0.08 + 0.032 + 1 / 112.5);
    char expected[100];
    std::snprintf(expected, sizeof expected, "2000 06 01 00 05\t  %8.3f\n", mean);
    EXPECT_EQ(read_file(path), expected);
}

TEST_F(XyTest, NoActiveCellIsReported) {
    int** mask = nullptr;
    alloc_int_2d(mask, 4, 4, "mask");
    xy_out_point p;
    captured([&] { EXPECT_FALSE(xy_nearest_cell(xy_grid{20, 0, 10, 2, 2, mask}, 5, 5, p)); });
    free_block_2d(mask);
}

namespace {

// The hand-drawn inset mask: 5 x 5 cells of 10 m, north 50, west 0.
const char* const kInsetMask =
    "north: 50\nsouth: 0\neast: 50\nwest: 0\nrows: 5\ncols: 5\n"
    "0 1 1 0 0\n"
    "1 1 1 1 0\n"
    "1 1 1 1 1\n"
    "0 1 1 1 0\n"
    "0 0 1 0 0\n";

}  // namespace

TEST_F(XyTest, InsetMaskGivesItsBoundaryPointsAndTheStreamCrossings) {
    const std::string mask = dir_.file("inset.msk");
    write_file(mask, kInsetMask);
    xy_output o;
    ASSERT_TRUE(read_xy_output_mask(o, mask.c_str()));
    // Nonzero cells numbered 1..15 in row order; interior ones (4, 5, 8, 9,
    // 10, 13) have four nonzero neighbours and are not boundary points.
    struct expected_point {
        int id;
        double x, y;   // m
    };
    const expected_point expected[] = {{1, 15, 45}, {2, 25, 45}, {3, 5, 35},  {6, 35, 35}, {7, 5, 25},
                                       {11, 45, 25}, {12, 15, 15}, {14, 35, 15}, {15, 25, 5}};
    ASSERT_EQ(o.points.size(), sizeof expected / sizeof expected[0]);
    for (size_t k = 0; k < o.points.size(); ++k) {
        EXPECT_EQ(o.points[k].id, expected[k].id) << k;
        EXPECT_DOUBLE_EQ(o.points[k].x, expected[k].x) << k;
        EXPECT_DOUBLE_EQ(o.points[k].y, expected[k].y) << k;
    }
    // Boundary edges: the sides facing outside. Cell (1, 2) has its top and
    // left open: top from (10, 50) to (20, 50), left from (10, 40) to (10, 50).
    const std::vector<xy_edge> edges = xy_mask_edges(o.inset);
    ASSERT_GE(edges.size(), 2u);
    EXPECT_EQ(edges[0].x1, 10.0);
    EXPECT_EQ(edges[0].y1, 50.0);
    EXPECT_EQ(edges[0].x2, 20.0);
    EXPECT_EQ(edges[1].x1, 10.0);
    EXPECT_EQ(edges[1].y1, 40.0);
    EXPECT_EQ(edges[1].y2, 50.0);
    // The perimeter of the shape is 20 sides of 10 m.
    EXPECT_EQ(edges.size(), 20u);

    // Link 1 enters through the top of cell (1, 3) between nodes 1 and 2 and
    // leaves through the right of cell (2, 4) between nodes 2 and 3: the
    // higher node (2) is kept. Link 2 enters through the bottom of cell
    // (4, 2) between its nodes 1 and 2.
    const std::string cif = dir_.file("chan.cif");
    write_file(cif, "LINKS 2\r\n"
                    "LINK 1\nNODES 4\n"
                    "NODE 1\nX_Y 25 60\nNODE 2\nX_Y 25 37\nNODE 3\nX_Y 45 37\nNODE 4\nX_Y 55 37\n"
                    "LINK 2\nNODES 3\n"
                    "NODE 1\nX_Y 15 -5\r\nNODE 2\nX_Y 15 12\nNODE 3\nX_Y 15 30\n");
    ASSERT_TRUE(find_xy_stream_crossings(o, cif.c_str()));
    ASSERT_EQ(o.crossings.size(), 2u);
    EXPECT_EQ(o.crossings[0].link, 1);
    EXPECT_EQ(o.crossings[0].node, 2);
    EXPECT_DOUBLE_EQ(o.crossings[0].x, 35.0);
    EXPECT_DOUBLE_EQ(o.crossings[0].y, 37.0);
    EXPECT_EQ(o.crossings[1].link, 2);
    EXPECT_EQ(o.crossings[1].node, 1);
    EXPECT_DOUBLE_EQ(o.crossings[1].x, 15.0);
    EXPECT_DOUBLE_EQ(o.crossings[1].y, 3.5);
}

TEST_F(XyTest, BadPointListsAndMasksAreRefusedNamingFileAndLine) {
    struct bad_case {
        const char* name;
        bool is_mask;
        const char* text;       // null: no such file
        const char* expected;   // part of the message
    };
    const bad_case cases[] = {
        {"list missing", false, nullptr, "unable to open the xy output file"},
        {"list count", false, "0\n", "line 1: the first line must hold the number of points"},
        {"list short", false, "3\n1 2 7\n3 4 8\n", "the number of points specified (3) is more"},
        {"list bad id", false, "1\n1 2 x\n", "line 2: a point line holds x, y"},
        {"list nan", false, "1\nnan 2 3\n", "line 2"},
        {"mask missing", true, nullptr, "unable to open the XY output mask file"},
        {"mask sizes disagree", true,
         "north: 50\nsouth: 0\neast: 40\nwest: 0\nrows: 5\ncols: 5\n1 1 1 1 1\n",
         "the cell size from north, south and rows (10 m) differs"},
        {"mask short", true, "north: 20\nsouth: 0\neast: 20\nwest: 0\nrows: 2\ncols: 2\n1 1\n1\n",
         "line 8: the mask ends after 3 of its 4 values"},
        {"mask header", true, "north: 20\nsouth: 0\neast: 20\nwest: 0\nrows: 2.5\ncols: 2\n",
         "line 5: the rows value"},
        {"mask no active cell", true,
         "north: 20\nsouth: 0\neast: 20\nwest: 0\nrows: 2\ncols: 2\n0 0\n0 0\n", "no active cell"},
    };
    for (const bad_case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir_.file(std::string(c.name) + ".txt");
        if (c.text != nullptr) write_file(path, c.text);
        xy_output o;
        bool ok = true;
        const std::string out = captured([&] {
            ok = c.is_mask ? read_xy_output_mask(o, path.c_str()) : read_xy_output_points(o, path.c_str());
        });
        EXPECT_FALSE(ok);
        EXPECT_EQ(error_record.code, kErrorPrinted);
        EXPECT_NE(out.find(c.expected), std::string::npos) << out;
        EXPECT_NE(out.find(path), std::string::npos) << out;
        error_record = error_info{};
    }
}

TEST_F(XyTest, StreamKeywordsAreTheFirstWordWithoutRegardToCase) {
    const std::pair<const char*, int> cases[] = {
        {"PLUVO_XY_ST_BDY_TS", 1}, {"pluvo_ts", 2},     {"Xy 1 2", 3},      {"LINKNODE 3 4", 4},
        {"END_TS", 5},             {"TimeSeries \"a\"", 6}, {"XYZ 1 2", 0}, {"  ", 0},
        {"PLUVO_TSX", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(stream_xy_series_keyword(c.first), c.second) << c.first;
}

TEST_F(XyTest, StreamPointsOfBothFilesKeepHydrographPointsFirst) {
    const std::string ts = dir_.file("series.ts");
    write_file(ts, "PLUVO_TS\n\"inflow a\"\nABSOLUTE\n2000 06 01 00 00 1.5\n2000 06 02 00 00 1.5\nEND_TS\n");
    ASSERT_TRUE(read_time_series_file(ts.c_str()));
    const std::string bdy = dir_.file("st.ts");
    write_file(bdy, "PLUVO_XY_ST_BDY_TS\r\n"
                    "PLUVO_TS\nXY 10 20\nLINKNODE 2 3\nTIMESERIES \"inflow a\"\nEND_TS\n"
                    "pluvo_ts\nxy 30.5 40\ntimeseries inflow\nend_ts\n");
    const std::string hyd = dir_.file("st.xy");
    write_file(hyd, "xy_stream_hydrographs\n2\nX 100 200\nY 300 400\n"
                    "2000 06 01 00 00 0.5 2.0\n2000 06 01 01 00 0.5 4.0\nEND_TS\n");
    xy_input in;
    read_stream_xy_series(in, bdy.c_str());   // read first, listed last
    read_stream_xy_boundary(in, hyd.c_str());
    ASSERT_EQ(error_record.code, 0);
    ASSERT_EQ(in.stpts.size(), 4u);
    EXPECT_EQ(in.stream_points, 4);
    const double t = kJune1 + 0.5 / 24.0;
    struct expected_point {
        double x, y;
        int placed, link, node;
        double q;   // m3/s at t
    };
    const expected_point expected[] = {{100, 300, 0, 0, 0, 0.5}, {200, 400, 0, 0, 0, 3.0},
                                       {10, 20, 1, 2, 3, 1.5},   {30.5, 40, 0, 0, 0, 1.5}};
    for (size_t k = 0; k < 4; ++k) {
        const xy_stream_point& p = in.stpts[k];
        EXPECT_EQ(p.x, expected[k].x) << k;
        EXPECT_EQ(p.y, expected[k].y) << k;
        EXPECT_EQ(p.placed, expected[k].placed) << k;
        EXPECT_EQ(p.link, expected[k].link) << k;
        EXPECT_EQ(p.node, expected[k].node) << k;
        EXPECT_NEAR(time_series_value(t, p.series), expected[k].q, 1e-6) << k;
    }
}

TEST_F(XyTest, BadStreamFilesStopNamingFileAndLine) {
    struct bad_case {
        const char* name;
        bool series_file;      // PLUVO_XY_ST_BDY_TS (else XY_STREAM_HYDROGRAPHS)
        const char* text;      // null: no such file
        const char* expected;
    };
    const bad_case cases[] = {
        {"hydrographs missing", false, nullptr, "unable to open stream xy boundary input file"},
        {"hydrographs header", false, "XY_OV_DEPTH\n1\n", "does not match XY_STREAM_HYDROGRAPHS"},
        {"hydrographs count", false, "XY_STREAM_HYDROGRAPHS\n0\n", "line 2: the number of points"},
        {"hydrographs y line", false, "XY_STREAM_HYDROGRAPHS\n2\nX 1 2\nY 3\n",
         "line 4: value 2 of 2 is missing"},
        {"hydrographs row", false, "XY_STREAM_HYDROGRAPHS\n1\nX 1\nY 3\n2000 06 01 00 00\n",
         "line 5"},
        {"series missing", true, nullptr, "unable to open stream xy boundary input file"},
        {"series header", true, "PLUVO_TS\nXY 1 2\n", "incorrectly formatted header"},
        {"series unknown", true, "PLUVO_XY_ST_BDY_TS\nPLUVO_TS\nXY 1 2\nTIMESERIES nope\nEND_TS\n",
         "line 4: the series is not loaded"},
        {"series linknode", true, "PLUVO_XY_ST_BDY_TS\nPLUVO_TS\nLINKNODE 1 x\n",
         "line 3: value 2 of 2 is not"},
        {"series outside block", true, "PLUVO_XY_ST_BDY_TS\nXY 1 2\n", "line 2: the line comes outside"},
        {"series unclosed", true, "PLUVO_XY_ST_BDY_TS\nPLUVO_TS\nXY 1 2\n", "line 3: the last point"},
        {"series no series line", true, "PLUVO_XY_ST_BDY_TS\nPLUVO_TS\nXY 1 2\nEND_TS\n",
         "line 4: the point needs a TIMESERIES line"},
        {"series no points", true, "PLUVO_XY_ST_BDY_TS\n", "No points"},
    };
    for (const bad_case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir_.file(std::string(c.name) + ".txt");
        if (c.text != nullptr) write_file(path, c.text);
        xy_input in;
        const std::string out = captured([&] {
            if (c.series_file) read_stream_xy_series(in, path.c_str());
            else read_stream_xy_boundary(in, path.c_str());
        });
        EXPECT_EQ(error_record.code, kErrorPrinted) << out;
        EXPECT_NE(out.find(c.expected), std::string::npos) << out;
        EXPECT_NE(out.find(path), std::string::npos) << out;
        EXPECT_TRUE(in.stpts.empty());
        error_record = error_info{};
        free_time_series();
    }
}

TEST_F(XyTest, GroundwaterCellsOfCode8AreHeldAtTheInterpolatedHead) {
    // Two interpolation points with constant heads 10 m and 20 m at (0, 0)
    // and (30, 0); cells 1..3 at (0, 0), (10, 0), (15, 0); cell 2 has code 3.
    const std::string path = dir_.file("interp.xy");
    write_file(path, "XY_GW_HEAD_INTERP\n2\nX 0 30\nY 0 0\n"
                     "2000 06 01 00 00 10 20\n2000 06 02 00 00 10 20\nEND_TS\n");
    xy_input in;
    read_xy_boundary(in, path.c_str(), "groundwater", "XY_GW_HEAD_INTERP", kXyByCoordinates);
    ASSERT_EQ(error_record.code, 0);
    std::vector<int> codes = {0, 8, 3, 8};
    const std::vector<double> x = {0, 0, 10, 15}, y = {0, 0, 0, 0};
    ASSERT_TRUE(setup_xy_gw_interpolation(in, codes, 3, x, y));
    EXPECT_EQ(codes, (std::vector<int>{0, 2, 3, 2}));
    ASSERT_EQ(in.gw_interp_cells.size(), 2u);
    EXPECT_EQ(in.gw_interp_cells[0].cell, 1);
    EXPECT_EQ(in.gw_interp_cells[1].cell, 3);

    struct head_case {
        double before;    // head of cells 1 and 3 before, m
        double storage;   // storage coefficient
    };
    // Expected heads: cell 1 on point 1: (1e8 x 10 + 20 / 900) / (1e8 + 1 / 900);
    // cell 3 halfway: 15 m.
    const double h1 = (1e8 * 10.0 + 20.0 / 900.0) / (1e8 + 1.0 / 900.0);
    const head_case cases[] = {{5.0, 0.3}, {25.0, 0.1}};
    for (const head_case& c : cases) {
        std::vector<double> head = {0.0, c.before, 7.0, c.before};
        const std::vector<double> storage = {0.0, c.storage, c.storage, c.storage};
        double gain = 0.0, loss = 0.0;
        apply_xy_gw_boundary(in, head.data(), storage.data(), 10.0, kJune1 + 0.5, gain, loss);
        EXPECT_NEAR(head[1], h1, 1e-9);
        EXPECT_NEAR(head[3], 15.0, 1e-6);
        EXPECT_EQ(head[2], 7.0);
        // Water stored by the change: (new - old) x 100 m2 x storage, rises as gain.
        const double change = ((h1 - c.before) + (15.0 - c.before)) * 100.0 * c.storage;
        EXPECT_NEAR(gain - loss, change, 1e-6);
        EXPECT_EQ(c.before < 10.0 ? loss : gain, 0.0);
    }

    // Code 8 without interpolation points would hold a head from nothing: refused.
    xy_input none;
    std::vector<int> more = {0, 1, 8};
    const std::string out = captured([&] { EXPECT_FALSE(setup_xy_gw_interpolation(none, more, 2, x, y)); });
    EXPECT_NE(out.find("cell 2 has the groundwater boundary code 8"), std::string::npos) << out;
    EXPECT_EQ(error_record.code, kErrorPrinted);
}
