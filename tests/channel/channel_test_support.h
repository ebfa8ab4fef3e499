// Helpers of the channel tests: a run state with a small grid, channel and
// grid-stream files written into a temporary folder (also the project
// folder), and the readers run with their console output captured.
#pragma once
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "channel/chan_input.h"
#include "channel/channel.h"
#include "core/alloc.h"
#include "core/dates.h"
#include "core/error.h"
#include "core/file_object.h"
#include "core/run_options.h"
#include "run/run_state.h"
#include "input/time_series.h"
#include "pluvo_test.h"

namespace chan_test {

// A network of three links: trapezoid links 1 (4 points, 3 nodes) and 2
// (3 points, 2 nodes) join into break-point link 3 (3 points, 2 nodes) whose
// one section is the V (0, 2), (1, 0), (2, 2) with 2 depth steps of 1 m.
inline std::string three_link_file() {
    return "PLUVO_CHAN\n"
           "ALPHA 1.0\n"
           "BETA 1.0\n"
           "THETA 1.0\n"
           "LINKS 3\n"
           "MAXNODES 4\n"
           "\n"
           "CONNECT 1 3 0\n"
           "CONNECT 2 3 0\n"
           "CONNECT 3 0 2 1 2\n"
           "\n"
           "LINK 1\n"
           "DX 10.0\n"
           "NODES 4\n"
           "TRAPEZOID\n"
           "MANNINGS_N 0.035\n"
           "NODE 1\n"
           "ELEV 104.0\n"
           "X_Y 5.0 15.0\n"
           "NODE 2\n"
           "ELEV 103.0\n"
           "XSEC\n"
           "BOTTOM_WIDTH 2.0\n"
           "SIDE_SLOPE 1.5\n"
           "BANKFULL_DEPTH 1.2\n"
           "NODE 3\n"
           "ELEV 102.0\n"
           "NODE 4\n"
           "ELEV 101.0\n"
           "\n"
           "LINK 2\n"
           "DX 10.0\n"
           "NODES 3\n"
           "TRAPEZOID\n"
           "MANNINGS_N 0.05\n"
           "NODE 1\n"
           "ELEV 103.0\n"
           "XSEC\n"
           "BOTTOM_WIDTH 1.0\n"
           "SIDE_SLOPE 2.0\n"
           "NODE 2\n"
           "ELEV 102.0\n"
           "NODE 3\n"
           "ELEV 101.0\n"
           "\n"
           "LINK 3\n"
           "DX 20.0\n"
           "NODES 3\n"
           "BREAKPOINT\n"
           "MANNINGS_N 0.04\n"
           "NODE 1\n"
           "ELEV 101.0\n"
           "NPAIRS 3\n"
           "NUM_INTERP 2\n"
           "X1 0.0 2.0\n"
           "X1 1.0 0.0\n"
           "X1 2.0 2.0\n"
           "NODE 2\n"
           "ELEV 100.0\n"
           "NODE 3\n"
           "ELEV 99.0\n";
}

// Replaces the first occurrence of `from` (which must be there) by `to`.
inline std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

// Runs `f` with standard output captured and gives what it printed.
inline std::string captured(const std::function<void()>& f) {
    testing::internal::CaptureStdout();
    f();
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

// Fixture: a temporary project folder and a run state with a 3 x 4 grid of
// 10 m cells, all active, ground 100 m.
class ChannelTest : public ::testing::Test {
protected:
    void SetUp() override {
        reset_program_state();
        std::snprintf(project_folder_path, sizeof(project_folder_path), "%s/", dir_.path().c_str());
        rs_ = create_run_state();
        set_grid(3, 4, 100.0);
    }
    void TearDown() override {
        destroy_run_state(rs_);
        rs_ = nullptr;
        free_time_series();
        reset_program_state();
    }

    static void reset_program_state() {
        error_record = error_info{};
        current_summary_file = nullptr;
        super_quiet_flag = 0;
        project_folder_path[0] = '\0';
        output_folder_path[0] = '\0';
        output_folder_set = 0;
        prefix_run_number = 0;
        run_number = 0;
        run_options.process_index = 0;
    }

    run_state& rs() { return *rs_; }

    // Every grid position active, cells numbered row by row, ground `ground` m.
    void set_grid(int rows, int cols, double ground) {
        run_state& r = rs();
        r.rows = rows;
        r.cols = cols;
        r.cell_size = 10.0;
        if (r.mask != nullptr) free_block_2d(r.mask);
        r.mask = make_int_2d(rows + 1, cols + 1);
        int k = 0;
        for (int i = 1; i <= rows; ++i)
            for (int j = 1; j <= cols; ++j) r.mask[i][j] = ++k;
        r.GNUM = k;
        r.elevation.assign(static_cast<size_t>(k) + 1, ground);
    }

    std::string write(const std::string& name, const std::string& text) {
        const std::string path = dir_.file(name);
        pluvo_test::write_file(path, text);
        return path;
    }

    // Opens `f` on a new file holding `text`.
    void open_on(file_object& f, const std::string& name, const std::string& text) {
        if (f.is_open()) close_file_object(f);
        const std::string path = write(name, text);
        ASSERT_TRUE(open_file_named(f, path.c_str(), "r")) << path;
    }

    // Reads a channel file (and a grid-stream file when given); true when the
    // run may go on. The console output is kept in out_.
    bool read_channel(const std::string& text, const std::string& gst = "") {
        open_on(rs().channel_input_file, "network.chan", text);
        if (!gst.empty()) {
            rs().stream_cell_on = 1;
            open_on(rs().stream_cell_file, "network.gst", gst);
        }
        out_ = captured([&] { read_chan_input(rs(), rs().channel_input_file); });
        return error_record.stop == 0;
    }

    // The whole channel set-up with explicit routing on.
    bool set_up_channel(const std::string& text, const std::string& gst = "") {
        rs().chan_explic = 1;
        open_on(rs().channel_input_file, "network.chan", text);
        if (!gst.empty()) {
            rs().stream_cell_on = 1;
            open_on(rs().stream_cell_file, "network.gst", gst);
        }
        out_ = captured([&] { setup_channel_network(rs()); });
        return error_record.stop == 0;
    }

    pluvo_test::temp_dir dir_;
    run_state* rs_ = nullptr;
    std::string out_;
};

// Relative difference (absolute near zero).
inline double rel_diff(double a, double b) {
    const double scale = std::max(std::fabs(a), std::fabs(b));
    return scale > 1e-12 ? std::fabs(a - b) / scale : std::fabs(a - b);
}

}  // namespace chan_test
