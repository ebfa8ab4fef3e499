// Helpers of the mapping-table tests: a run state with a small numbered mask,
// mapping-table text in the fixed-column row layout, files in a temporary
// folder and the console output of a call.
#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/alloc.h"
#include "core/dates.h"
#include "core/error.h"
#include "core/file_object.h"
#include "run/run_state.h"
#include "input/elevation_series.h"
#include "input/replace.h"
#include "input/time_series.h"
#include "pluvo_test.h"

namespace mapping_test {

struct run_state_release {
    void operator()(run_state* rs) const { destroy_run_state(rs); }
};
using run_state_ptr = std::unique_ptr<run_state, run_state_release>;

// One ID row: the ID in characters 1..6, a description in 7..86, the values
// from character 87 on.
inline std::string id_row(int id, const std::string& values, const std::string& text = "row") {
    char head[8];
    std::snprintf(head, sizeof head, "%-6d", id);
    std::string line = head + text;
    line.resize(86, ' ');
    return line + values;
}

// A grid map text with the six header lines and the rows given.
inline std::string map_text(int rows, int cols, const std::vector<std::string>& lines) {
    std::ostringstream out;
    out << "north: 1000\nsouth: " << 1000 - 10 * rows << "\neast: " << 10 * cols
        << "\nwest: 0\nrows: " << rows << "\ncols: " << cols << "\n";
    for (const std::string& line : lines) out << line << "\n";
    return out.str();
}

// Joins lines with newlines (and a final newline).
inline std::string lines(const std::vector<std::string>& text) {
    std::string out;
    for (const std::string& l : text) out += l + "\n";
    return out;
}

// Clears what the readers leave outside the run state.
inline void reset_program_state() {
    error_record = error_info{};
    current_summary_file = nullptr;
    super_quiet_flag = 0;
    project_folder_path[0] = '\0';
    output_folder_path[0] = '\0';
    output_folder_set = 0;
    replace_active = 0;
    free_time_series();
    free_elevation_series();
}

// Fixture: a temporary folder and a run state whose 3 x 4 mask
//   0 1 1 0
//   1 1 1 1
//   0 1 1 1
// numbers nine cells row by row: (1,2)=1 (1,3)=2 (2,1)=3 .. (2,4)=6 (3,2)=7 .. (3,4)=9.
class MappingTest : public ::testing::Test {
protected:
    void SetUp() override {
        reset_program_state();
        rs_.reset(create_run_state());
        ASSERT_NE(rs_, nullptr);
        set_mask({"0110", "1111", "0111"});
    }
    void TearDown() override {
        rs_.reset();
        reset_program_state();
    }

    run_state& rs() { return *rs_; }

    // Sets the grid from rows of '0'/'1' and numbers the cells row by row.
    void set_mask(const std::vector<std::string>& pattern) {
        run_state& r = rs();
        free_block_2d(r.mask);
        r.rows = static_cast<int>(pattern.size());
        r.cols = static_cast<int>(pattern[0].size());
        alloc_int_2d(r.mask, r.rows + 1, r.cols + 1, "mask");
        r.GNUM = 0;
        for (int i = 1; i <= r.rows; ++i)
            for (int j = 1; j <= r.cols; ++j)
                if (pattern[static_cast<size_t>(i - 1)][static_cast<size_t>(j - 1)] != '0')
                    r.mask[i][j] = ++r.GNUM;
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

    pluvo_test::temp_dir dir_;
    run_state_ptr rs_;
};

}  // namespace mapping_test
