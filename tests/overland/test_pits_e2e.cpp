// The pit line of the run summary: water standing at the end on cells whose
// ground lies below every neighbour across their four faces, booked by the
// overland process, against the final depths the run writes.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "fixture.h"
#include "pluvo_test.h"

using namespace pluvo_test;

namespace {

// The number after `label` on the line that begins with it, or -1.
double value_after(const std::string& text, const std::string& label) {
    for (const std::string& line : split_lines(text)) {
        double v = 0.0;
        if (line.rfind(label, 0) == 0 && std::sscanf(line.c_str() + label.size(), "%lf", &v) == 1)
            return v;
    }
    return -1.0;
}

// Values of a map written with the six header lines, row by row from 1.
std::vector<std::vector<double>> map_values(const std::string& text, int rows, int cols) {
    std::istringstream in(text);
    std::string line;
    for (int k = 0; k < 6; ++k) std::getline(in, line);
    std::vector<std::vector<double>> v(static_cast<size_t>(rows) + 1,
                                       std::vector<double>(static_cast<size_t>(cols) + 1, 0.0));
    for (int r = 1; r <= rows; ++r)
        for (int c = 1; c <= cols; ++c) in >> v[static_cast<size_t>(r)][static_cast<size_t>(c)];
    return v;
}

// A plane of 5 x 6 cells of 10 m falling 0.1 m per row to the south, with
// two pits: row 2, column 2 lowered 0.3 m (0.2 m below its lowest
// neighbour) and row 3, column 5 lowered 0.5 m (0.4 m below). The outlet,
// row 5, column 3, lowered 0.05 m, lies below its neighbours too, but its
// water leaves over OUTSLOPE: no pit.
TEST(SurfacePits, SummaryBooksTheWaterStandingInTwoKnownPits) {
    const double kArea = 100.0;   // m2
    std::string pit_lines[2];
    for (int threads : {1, 8}) {
        SCOPED_TRACE(threads);
        temp_dir dir;
        plane_case c;
        c.grid.rows = 5;
        c.grid.cols = 6;
        c.total_minutes = 30;
        c.rain_minutes = 10;
        c.timestep = 2.0;
        c.threads = threads;
        project_file p = write_plane_case(dir.path(), c);
        ASSERT_EQ(plane_outlet(c), std::make_pair(5, 3));
        write_grid(dir.file("elev.asc"), c.grid, [](int r, int col) {
            double z = 100.0 + 0.1 * (5 - r);
            if (r == 2 && col == 2) z -= 0.3;
            if (r == 3 && col == 5) z -= 0.5;
            if (r == 5 && col == 3) z -= 0.05;
            return z;
        });
        p.card("WRITE_OV_HOTSTART", "final_depth.asc").write(dir.file("plane.prj"));
        const run_result r = run_pluvo({"plane.prj"}, dir.path());
        ASSERT_EQ(r.status, 0) << r.out << r.err;

        const std::string summary = read_file(dir.file("summ.out"));
        const std::string lines =
            "  (2 pit cells, whose ground lies below every neighbour across their 4 faces;\n"
            "  they hold 60.00 m3 up to their lowest neighbours, the deepest 0.400 m)\n";
        EXPECT_NE(summary.find(lines), std::string::npos) << summary;

        const auto depth = map_values(read_file(dir.file("final_depth.asc")), 5, 6);
        const double standing = (depth[2][2] + depth[3][5]) * kArea;   // m3
        const double booked = value_after(summary, "Final volume on surface in pits=");
        EXPECT_NEAR(booked, standing, 0.005 + 1e-4);
        // The rain on the pits themselves (8.33 mm each) cannot leave them.
        EXPECT_GT(booked, 2 * 50.0 / 1000.0 / 6.0 * kArea);
        EXPECT_LT(booked, value_after(summary, "Final volume on surface="));
        pit_lines[threads == 1 ? 0 : 1] =
            summary.substr(summary.find("Final volume on surface in pits="), 240);
    }
    EXPECT_EQ(pit_lines[0], pit_lines[1]);
}

}  // namespace
