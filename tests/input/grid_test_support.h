// Helpers of the grid, map, cell-array and initial-state tests: a run state
// with a small grid, map files written into a temporary folder, and the
// console output of a call.
#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/dates.h"
#include "core/error.h"
#include "core/file_object.h"
#include "core/run_options.h"
#include "run/run_state.h"
#include "input/grid.h"
#include "input/replace.h"
#include "pluvo_test.h"

namespace grid_test {

// The blank line that report_error prints after a message of code 4000.
constexpr char kReported[] = "\n";

struct run_state_release {
    void operator()(run_state* rs) const { destroy_run_state(rs); }
};
using run_state_ptr = std::unique_ptr<run_state, run_state_release>;

// A grid map text: the six header lines (written forms) and the rows given.
inline std::string map_text(int rows, int cols, const std::vector<std::string>& lines,
                            double north = 1000.0, double south = 0.0, double east = 0.0,
                            double west = 0.0) {
    if (east == 0.0 && west == 0.0 && south == 0.0 && north == 1000.0) {
        // Default: 10 m cells with the north-west corner at (0, 1000).
        south = north - 10.0 * rows;
        east = 10.0 * cols;
    }
    std::ostringstream out;
    out << "north: " << north << "\nsouth: " << south << "\neast: " << east
        << "\nwest: " << west << "\nrows: " << rows << "\ncols: " << cols << "\n";
    for (const std::string& line : lines) out << line << "\n";
    return out.str();
}

// Clears what the readers leave outside the run state.
inline void reset_program_state() {
    error_record = error_info{};
    current_summary_file = nullptr;
    super_quiet_flag = 0;
    project_folder_path[0] = '\0';
    output_folder_path[0] = '\0';
    output_folder_set = 0;
    prefix_run_number = 0;
    free_replace_params();
    replace_active = 0;
    run_options.process_index = 0;
    run_options.part_count = 1;
    run_options.part_index = 0;
}

// Fixture: a temporary folder (also the project folder, so "maskmap" is
// written there) and a fresh run state with a grid of `rows` x `cols`.
class GridTest : public ::testing::Test {
protected:
    void SetUp() override {
        reset_program_state();
        std::snprintf(project_folder_path, sizeof(project_folder_path), "%s/",
                      dir_.path().c_str());
        rs_.reset(create_run_state());
        ASSERT_NE(rs_, nullptr);
    }
    void TearDown() override {
        rs_.reset();
        reset_program_state();
    }

    run_state& rs() { return *rs_; }

    // Sets the run's grid (rows, columns, cell size in m).
    void set_grid(int rows, int cols, double cell_size = 10.0) {
        rs().rows = rows;
        rs().cols = cols;
        rs().mask_rows = rows;
        rs().mask_cols = cols;
        rs().cell_size = cell_size;
    }

    std::string write(const std::string& name, const std::string& text) {
        std::string path = dir_.file(name);
        pluvo_test::write_file(path, text);
        return path;
    }

    // Runs f with standard output captured; returns what it printed.
    static std::string console(const std::function<void()>& f) {
        testing::internal::CaptureStdout();
        f();
        std::fflush(stdout);
        return testing::internal::GetCapturedStdout();
    }

    // Writes a mask for the run's grid, reads and numbers it; returns the console output.
    std::string load_mask(const std::vector<std::string>& lines) {
        std::string path = write("mask.map", map_text(rs().rows, rs().cols, lines));
        std::snprintf(rs().files.watershed_mask, kCardNameSize, "%s", path.c_str());
        return console([&] { read_watershed_mask(rs()); });
    }

    // Writes an elevation map and reads it; returns the console output.
    std::string load_elevation(const std::string& text) {
        std::string path = write("elev.map", text);
        std::snprintf(rs().files.elevation, kCardNameSize, "%s", path.c_str());
        return console([&] { read_elevation_map(rs()); });
    }

    pluvo_test::temp_dir dir_;
    run_state_ptr rs_;
};

}  // namespace grid_test
