// The program with a storm-drain network: a plane drains to an inlet whose
// superlink returns the water to a cell lower down (888 outfall) or delivers
// it to a channel node (999 outfall); the water balances close in the
// summary and the results do not depend on the thread count.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fixture.h"
#include "pluvo_test.h"
#include "sd_e2e_checks.h"
#include "valley.h"

using namespace pluvo_test;

namespace {

// Plane of 7 x 5 cells of 10 m falling 0.01 to the south (ground of row r:
// 100 + 0.1 (7 - r) m); a junction with two inlets at row 3, column 3, a
// superlink of two 15-m pipes (D 0.3 m, S0 0.01) to an outfall onto the cell
// at row 6, column 3.
std::string plane_network(const std::string& outfall_code = "888") {
    return "SJUNC 1 100.4 98.4 1.0 2 3 3 0.6 0.3\n"
           "SJUNC 2 100.1 98.0 0.0 " + outfall_code + " 6 3 0 0\n"
           "CONNECT 1 1 2\n"
           "SLINK 1 2\n"
           "NODE 1 100.4 98.4 0 0 3 3 0 0\n"
           "NODE 2 100.25 98.25 0.5 0 4 3 0 0\n"
           "NODE 3 100.1 98.1 0 0 6 3 0 0\n"
           "PIPE 1 1 0.3 0 0.01 0.013 15 0 0\n"
           "PIPE 2 1 0.3 0 0.01 0.013 15 0 0\n";
}

plane_case drained_plane(int threads) {
    plane_case pc;
    pc.grid.rows = 7;
    pc.grid.cols = 5;
    pc.grid.cell = 10.0;
    pc.slope = 0.01;
    pc.rain_mm_h = 60.0;
    pc.rain_minutes = 20;
    pc.total_minutes = 40;
    pc.timestep = 2.0;
    pc.threads = threads;
    return pc;
}

run_result run_drained_plane(const temp_dir& dir, int threads, const std::string& network,
                             const std::string& extra_cards = "") {
    project_file p = write_plane_case(dir.path(), drained_plane(threads));
    write_file(dir.file("drains.txt"), network);
    p.card("STORM_SEWER", "drains.txt").card("PIPE_HEAD", "head.out").card("PIPE_FLOW", "flow.out");
    if (!extra_cards.empty()) p.card(extra_cards);
    p.write(dir.file("plane.prj"));
    return run_pluvo({"plane.prj"}, dir.path(), "", {parallel_from_cells_env(8)});
}

TEST(StormDrainEndToEnd, OutfallOntoACellClosesTheBalances) {
    // As read; with the pipes graded into computational pipes and surcharge released.
    for (const char* cards : {"", "SUPERLINK_C_OPT\nHIGH_HEAD_RELEASE"}) {
        SCOPED_TRACE(cards);
        temp_dir dir;
        const run_result r = run_drained_plane(dir, 1, plane_network(), cards);
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        const std::string summary = read_file(dir.file("summ.out"));
        const double captured = number_in_summary(summary, "Volume of overland to subsurface drains");
        const double returned = number_in_summary(summary, "Volume of subsurface drains to overland");
        EXPECT_GT(captured, 1.0) << summary;   // the inlets took water in
        EXPECT_GT(returned, 0.5 * captured);   // and the outfall gave most of it back
        // What the network holds at the end is what it took less what it gave back.
        const double held = number_in_summary(summary, "Final volume in drains=");
        EXPECT_GE(held, 0.0);
        EXPECT_NEAR(captured - returned, held, 0.011) << summary;
        EXPECT_LT(number_in_summary(summary, "Largest drain balance error per call (share)"), 1e-12);
        // Whole watershed, event and run: rain = outlet + surface + network storage.
        sd_test::expect_balances_close(summary, 1e-9);
        EXPECT_LT(std::fabs(number_in_summary(summary, "Mass balance error of surface components =")), 0.1);
        const std::string flows = read_file(dir.file("superlink_flows.out"));
        EXPECT_EQ(flows.rfind("Call# VtoSL VtoPLUVO   QtoSL    QtoPLUVO \n", 0), 0u);
        EXPECT_NE(flows.find("\n0 "), std::string::npos);
        // Two 15-m pipes are two pipes as read, four graded (7.5 m each): 3 or 5 heads.
        EXPECT_NE(read_file(dir.file("head.out")).find(cards[0] ? "TS    0\n5   1  " : "TS    0\n3   1  "),
                  std::string::npos);
    }
}

TEST(StormDrainEndToEnd, OneAndEightThreadsWriteTheSameFiles) {
    temp_dir one, eight;
    ASSERT_EQ(run_drained_plane(one, 1, plane_network()).status, 0);
    ASSERT_EQ(run_drained_plane(eight, 8, plane_network()).status, 0);
    for (const char* name : {"superlink_flows.out", "head.out", "flow.out", "outlet.hyd"}) {
        SCOPED_TRACE(name);
        const std::string a = read_file(one.file(name));
        EXPECT_FALSE(a.empty());
        EXPECT_EQ(a, read_file(eight.file(name)));
    }
}

// Valley of 8 x 3 cells of 10 m with a channel under the middle column; a
// junction with one inlet on the cell at row 2, column 1 drains through two
// 15-m pipes to an outfall into channel node 6.
void write_valley_case(const temp_dir& dir, int threads, const std::string& network) {
    const int rows = 8;
    const double slope = 0.005;
    grid_spec g;
    g.rows = rows;
    g.cols = 3;
    g.cell = 10.0;
    g.north = rows * 10.0;
    write_grid(dir.file("mask.asc"), g, [](int, int) { return 1.0; }, 0);
    write_grid(dir.file("elev.asc"), g, [&](int r, int col) {
        return 100.0 + slope * 10.0 * (rows - r) + 0.1 * std::abs(col - 2);
    });
    write_valley_channel(dir.path(), rows, 2, 10.0, slope);
    write_file(dir.file("drains.txt"), network);
    project_file p = valley_project({rows, 3, 10.0, 2, slope, 40, 2.0, 60.0, 20});
    p.card("STORM_SEWER", "drains.txt").card("PIPE_HEAD", "head.out").card("SUPER_QUIET");
    if (threads > 0) p.card("NUM_THREADS", std::to_string(threads));
    p.write(dir.file("valley.prj"));
}

const char* kValleyNetwork =
    "SJUNC 1 100.4 98.4 1.0 1 2 1 0.6 0.3\n"
    "SJUNC 2 99.3 98.0 0.0 999 1 6 0 0\n"
    "CONNECT 1 1 2\n"
    "SLINK 1 2\n"
    "NODE 1 100.4 98.4 0 0 2 1 0 0\n"
    "NODE 2 100.35 98.25 0 0 3 1 0 0\n"
    "NODE 3 100.3 98.1 0 0 4 1 0 0\n"
    "PIPE 1 1 0.3 0 0.01 0.013 15 0 0\n"
    "PIPE 2 1 0.3 0 0.01 0.013 15 0 0\n";

TEST(StormDrainEndToEnd, OutfallIntoAChannelNodeClosesTheBalances) {
    temp_dir dir, eight;
    write_valley_case(dir, 1, kValleyNetwork);
    const run_result r = run_pluvo({"valley.prj"}, dir.path(), "", {parallel_from_cells_env(8)});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::string summary = read_file(dir.file("valley.sum"));
    const double captured = number_in_summary(summary, "Volume of overland to subsurface drains");
    const double delivered = number_in_summary(summary, "Volume of subsurface drains to channels");
    EXPECT_GT(captured, 0.5) << summary;
    EXPECT_GT(delivered, 0.5 * captured);
    // rain = channel outlet + surface + channel + network storage, for the event and the run.
    sd_test::expect_balances_close(summary, 1e-9);
    EXPECT_LT(std::fabs(number_in_summary(summary, "Mass balance error of surface components =")), 0.1);

    write_valley_case(eight, 8, kValleyNetwork);
    ASSERT_EQ(run_pluvo({"valley.prj"}, eight.path(), "", {parallel_from_cells_env(8)}).status, 0);
    for (const char* name : {"superlink_flows.out", "head.out", "valley.otl"})
        EXPECT_EQ(read_file(dir.file(name)), read_file(eight.file(name))) << name;
}

TEST(StormDrainEndToEnd, ChannelOutfallToAMissingNodeStopsTheRun) {
    temp_dir dir;
    std::string network(kValleyNetwork);
    network.replace(network.find("999 1 6"), 7, "999 1 60");
    write_valley_case(dir, 1, network);
    const run_result r = run_pluvo({"valley.prj"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("drains.txt, line 2: the channel outfall of superjunction 2 (link 1 node 60) names a "
                         "channel node that does not exist"),
              std::string::npos)
        << r.out;
}

TEST(StormDrainEndToEnd, FlowsFileThatCannotBeCreatedStopsTheRun) {
    temp_dir dir;
    ASSERT_EQ(run_program("/bin/mkdir", {dir.file("superlink_flows.out")}, dir.path()).status, 0);
    const run_result r = run_drained_plane(dir, 1, plane_network());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("cannot create the storm-drain flows file superlink_flows.out"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Running...."), std::string::npos);
}

TEST(StormDrainEndToEnd, JunctionAndNodeSeries) {
    struct series_case {
        const char* junctions;   // superjunction location list
        const char* nodes;       // superlink node location list
        int status;
        const char* message;
    };
    const series_case cases[] = {
        {"2\n1 2\n", "1\n1 2\n", 0, ""},
        {"1\n3\n", "1\n1 2\n", 1, "names superjunction 3, which is not a superjunction of the network"},
        {"1\n1\n", "1\n1 4\n", 1, "names superlink 1 node 4, which is not a node of the network"},
    };
    for (const series_case& c : cases) {
        SCOPED_TRACE(c.junctions);
        temp_dir dir;
        project_file p = write_plane_case(dir.path(), drained_plane(1));
        write_file(dir.file("drains.txt"), plane_network());
        write_file(dir.file("junctions.txt"), c.junctions);
        write_file(dir.file("nodes.txt"), c.nodes);
        p.card("STORM_SEWER", "drains.txt")
            .card("SUPERLINK_JUNC_LOCATION", "junctions.txt")
            .card("SUPERLINK_JUNC_FLOW", "junctions.out")
            .card("SUPERLINK_NODE_LOCATION", "nodes.txt")
            .card("SUPERLINK_NODE_FLOW", "nodes.out");
        p.write(dir.file("plane.prj"));
        const run_result r = run_pluvo({"plane.prj"}, dir.path());
        ASSERT_EQ(r.status, c.status) << r.out;
        if (c.status != 0) {
            EXPECT_NE(r.out.find(c.message), std::string::npos) << r.out;
            continue;
        }
        // One row per minute (41 rows); the inlet junction captures, the outfall gives back (negative).
        const std::vector<std::string> rows = split_lines(read_file(dir.file("junctions.out")));
        ASSERT_GE(rows.size(), 41u);
        double t = 0.0, inlet = 0.0, outfall = 0.0;
        ASSERT_EQ(std::sscanf(rows[20].c_str(), "%lf %lf %lf", &t, &inlet, &outfall), 3) << rows[20];
        EXPECT_GT(inlet, 0.0);
        EXPECT_LT(outfall, 0.0);
        EXPECT_GE(split_lines(read_file(dir.file("nodes.out"))).size(), 41u);
    }
}

}  // namespace
