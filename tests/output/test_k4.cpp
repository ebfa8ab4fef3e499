// Segment-model (K4) coupling: set-up from a segment map and a
// nodes-to-segments file, the face-flux counting rule, averaged rows, and
// the checks of the files.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "input/cards.h"
#include "input/project_reader.h"
#include "output/k4.h"
#include "output/step_output.h"
#include "output_test_support.h"
#include "pluvo_test.h"

using output_test::run_state_owner;
using pluvo_test::read_file;
using pluvo_test::temp_dir;
using pluvo_test::write_file;

namespace {

// Segment map of the small grid:   1 1 0
//                                  2 0 0
const char kSegmentMap[] = "north: 20\nsouth: 0\neast: 30\nwest: 0\nrows: 2\ncols: 3\n1 1 0\n2 0 0\n";

struct k4_case {
    temp_dir dir;
    run_state_owner owner;
    k4_card_block cards;

    k4_case(const std::string& segment_map, const std::string& nodes_to_segs) {
        run_state& rs = *owner;
        output_test::set_small_grid(rs);
        output_test::set_small_network(rs);
        write_file(dir.file("seg.map"), segment_map);
        std::snprintf(cards.k4_segment_map, sizeof cards.k4_segment_map, "%s",
                      dir.file("seg.map").c_str());
        if (!nodes_to_segs.empty()) {
            write_file(dir.file("n2s.txt"), nodes_to_segs);
            std::snprintf(cards.k4_nodes_to_segs, sizeof cards.k4_nodes_to_segs, "%s",
                          dir.file("n2s.txt").c_str());
        }
        std::snprintf(cards.k4_segment_fluxes, sizeof cards.k4_segment_fluxes, "%s",
                      dir.file("fluxes.out").c_str());
        cards.k4_fluxes = 1;
    }

    bool setup(k4_data& k4, std::string* out = nullptr) {
        run_state& rs = *owner;
        testing::internal::CaptureStdout();
        const bool ok = k4_setup(k4, cards, rs.mask, rs.rows, rs.cols, rs.GNUM, rs.links, rs.nx);
        const std::string text = testing::internal::GetCapturedStdout();
        if (out) *out = text;
        return ok;
    }
};

}  // namespace

TEST(K4, FluxesCrossingSegmentEdgesAreAveragedPerInterval) {
    k4_case t(kSegmentMap, "1\n1 2 2\n");
    run_state& rs = *t.owner;
    k4_data k4;
    ASSERT_TRUE(t.setup(k4));
    EXPECT_EQ(k4.max_segment, 2);
    EXPECT_EQ(k4.pairs, 1);

    // Faces: 1|2 inside segment 1 (not counted); 2|3 leaves segment 1; 4|5 leaves
    // segment 2; 1-4 joins two segments (not counted); 2-5 leaves segment 1;
    // 5|6 and 3-6 lie outside all segments (not counted).
    rs.ov_qx = {0, 10.0, -2.0, 100.0, -3.0, 1000.0, 0};
    rs.ov_qy = {0, 11.0, 5.0, 1000.0, 0, 0, 0};
    rs.qp[2][1] = -4.0;   // the listed channel node delivers to segment 2
    for (int pass = 0; pass < 2; ++pass) {
        k4_accumulate(k4, rs.ov_qx, rs.ov_qy, rs.GNUM, rs.rightcon, rs.belowcon, true, rs.qp);
    }
    k4_write_step(k4, 100.5);
    k4_write_step(k4, 100.75);   // no pass accumulated: no row
    k4_accumulate(k4, rs.ov_qx, rs.ov_qy, rs.GNUM, rs.rightcon, rs.belowcon, false, rs.qp);
    k4_write_step(k4, 101.0);
    free_k4_data(k4);
    EXPECT_EQ(read_file(t.dir.file("fluxes.out")),
              "   jday   1         2         \n"
              "1.000     7.00      7.00      \n"
              "1.500     7.00      3.00      \n");
}

TEST(K4, FileChecksStopTheSetUp) {
    struct row {
        const char* what;
        std::string map;
        std::string nodes;
        bool flux_file_ok;
        int code;
        const char* message;
    };
    const row rows[] = {
        {"segment not in the map", kSegmentMap, "1\n1 1 3\n", true, 97, ""},
        {"segment 0", kSegmentMap, "1\n1 1 0\n", true, 97, ""},
        {"link outside the network", kSegmentMap, "1\n7 1 1\n", true, kErrorPrinted,
         "names link 7 node 1"},
        {"node outside the link", kSegmentMap, "1\n1 4 1\n", true, kErrorPrinted,
         "names link 1 node 4"},
        {"short file", kSegmentMap, "2\n1 1 1\n", true, kErrorPrinted, "End of file reached in file"},
        {"negative segment in the map",
         "north: 20\nsouth: 0\neast: 30\nwest: 0\nrows: 2\ncols: 3\n1 -1 0\n2 0 0\n", "", true,
         kErrorPrinted, "segment number -1 of cell 2"},
        {"flux file cannot be opened", kSegmentMap, "", false, 98, ""},
    };
    for (const row& r : rows) {
        k4_case t(r.map, r.nodes);
        if (!r.flux_file_ok) {
            std::snprintf(t.cards.k4_segment_fluxes, sizeof t.cards.k4_segment_fluxes, "%s",
                          "/nonexistent_pluvo_folder/f.out");
        }
        k4_data k4;
        std::string out;
        EXPECT_FALSE(t.setup(k4, &out)) << r.what;
        EXPECT_EQ(error_record.code, r.code) << r.what;
        EXPECT_NE(out.find(r.message), std::string::npos) << r.what << ": " << out;
        error_record = error_info();
    }
}

TEST(K4, MapWithoutSegmentsWarnsTwiceAndTheRunGoesOn) {
    k4_case t("north: 20\nsouth: 0\neast: 30\nwest: 0\nrows: 2\ncols: 3\n0 0 0\n0 0 0\n", "");
    k4_data k4;
    std::string out;
    EXPECT_TRUE(t.setup(k4, &out));
    EXPECT_NE(out.find("Warning: There are no segments in the K4 segment map.\n"), std::string::npos)
        << out;
    EXPECT_NE(out.find("But there are no segments in the K4 segment map or in the link-node to "
                       "segment file.\n"),
              std::string::npos);
    EXPECT_EQ(error_record.stop, 0);
    // Nothing accumulates without segments.
    run_state& rs = *t.owner;
    k4_accumulate(k4, rs.ov_qx, rs.ov_qy, rs.GNUM, rs.rightcon, rs.belowcon, true, rs.qp);
    EXPECT_EQ(k4.count, 0);
}

TEST(K4, StepOutputAccumulatesEveryPassAndWritesAtTheInterval) {
    k4_case t(kSegmentMap, "");
    run_state& rs = *t.owner;
    rs.k4.reset(new k4_data());
    ASSERT_TRUE(t.setup(*rs.k4));
    open_file_named(k4_flow_file, t.dir.file("k4_inflow.txt").c_str(), "w");
    rs.hydro_write_steps = 3;
    rs.ov_qx[2] = 6.0;   // leaves segment 1
    rs.outlet_flow = 12.0;
    rs.day_of_year = 10;
    for (int s = 0; s <= 6; ++s) {
        rs.step = s;
        rs.hour = 4 * s;
        write_step_output(rs);
    }
    rs.k4.reset();
    close_k4_flow_file();
    // Rows at passes 0 (one pass), 3 and 6 (three passes each).
    EXPECT_EQ(read_file(t.dir.file("fluxes.out")),
              "   jday   1         2         \n"
              "1.000     6.00      0.00      \n"
              "1.500     6.00      0.00      \n"
              "2.000     6.00      0.00      \n");
    EXPECT_EQ(read_file(t.dir.file("k4_inflow.txt")),
              "10.0     12.0   \n10.5     12.0   \n11.0     12.0   \n");
}
