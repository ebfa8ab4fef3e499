// Outer and inset models through the program: an outer run writes the
// overland depths along an inset model's mask boundary and the discharge
// where its channel crosses that boundary; an inset run holds its boundary
// cells at those depths. Also the exact form of the written files, their
// independence from the thread count and the refusal of bad inputs.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "../overland/boundary_case.h"

using namespace boundary_test;

namespace {

// Rows of an XY_OV_DEPTH file: the values of each row after the date and time.
struct xy_file {
    int points = 0;
    std::vector<int> ids;
    std::vector<std::string> labels;            // "yyyy mm dd hh mm"
    std::vector<std::vector<double>> values;    // per row, per point (m)
    bool ended = false;                         // last line "END_TS"
};

xy_file parse_xy_ov(const std::string& text) {
    xy_file f;
    const std::vector<std::string> lines = split_lines(text);
    if (lines.size() < 3 || lines[0] != "XY_OV_DEPTH") return f;
    f.points = std::atoi(lines[1].c_str());
    std::istringstream head(lines[2]);
    std::string word;
    head >> word >> word;
    for (int id = 0; head >> id;) f.ids.push_back(id);
    for (size_t i = 3; i < lines.size(); ++i) {
        if (lines[i] == "END_TS") {
            f.ended = i + 1 == lines.size();
            break;
        }
        f.labels.push_back(lines[i].substr(0, 16));
        std::istringstream row(lines[i].substr(16));
        std::vector<double> v;
        for (double x = 0; row >> x;) v.push_back(x);
        f.values.push_back(v);
    }
    return f;
}

// The outer model: 8 x 8 cells of 10 m (north 1000, west 0) on a plane
// falling 0.05 m per row to the south, rained on for 20 of its 40 minutes.
boundary_case outer_case() {
    boundary_case c;
    c.grid.rows = 8;
    c.grid.cols = 8;
    c.grid.cell = 10.0;
    c.ground = [](int r, int) { return 100.0 + 0.05 * (8 - r); };
    c.outrow = 8;
    c.outcol = 4;
    c.rain_mm_h = 60.0;
    c.rain_minutes = 20;
    c.total_minutes = 40;
    c.timestep = 10.0;
    return c;
}

// The inset model: the outer rows 2..6 and columns 2..6 (north 990, west 10),
// with the outer ground and rain, and a dry outlet cell apart at row 5,
// column 7 (numbered 26, after the 25 cells of the inset mask).
boundary_case inset_case() {
    boundary_case c = outer_case();
    c.grid.rows = 5;
    c.grid.cols = 7;
    c.grid.north = 990.0;
    c.grid.west = 10.0;
    c.in_mask = [](int r, int col) { return col <= 5 || (r == 5 && col == 7); };
    c.ground = [](int r, int) { return 100.0 + 0.05 * (8 - (r + 1)); };
    c.outrow = 5;
    c.outcol = 7;
    return c;
}

void write_inset_mask(const temp_dir& dir) {
    grid_spec g;
    g.rows = 5;
    g.cols = 5;
    g.cell = 10.0;
    g.north = 990.0;
    g.west = 10.0;
    write_grid(dir.file("inset.msk"), g, [](int, int) { return 1.0; }, 0);
}

// Runs the outer model in `dir`; its XY depth file's text.
std::string run_outer(const temp_dir& dir, int threads, int scheme = 1) {
    write_inset_mask(dir);
    boundary_case c = outer_case();
    c.overtype = scheme;
    project_file p = write_boundary_case(dir, c);
    p.card("XYBDYOUTPUT_MASK", "inset.msk").card("XYBDYOUTPUT_OVDEP", "outer_xy.ov");
    p.card("NUM_THREADS", std::to_string(threads));
    p.write(dir.file("case.prj"));
    run_result r = run_pluvo({"case.prj"}, dir.path(), "", {parallel_from_cells_env(4)});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    return read_file(dir.file("outer_xy.ov"));
}

// Runs the inset model in `dir` on the outer depths `outer`; the summary and
// the inset's own depths along its boundary.
std::pair<std::string, std::string> run_inset(const temp_dir& dir, const std::string& outer,
                                              int threads, int scheme = 1) {
    write_inset_mask(dir);
    write_file(dir.file("outer_xy.ov"), outer);
    boundary_case c = inset_case();
    c.overtype = scheme;
    project_file p = write_boundary_case(dir, c);
    p.card("XYBDYINPUT_OVDEP", "outer_xy.ov")
        .card("XYBDYOUTPUT_MASK", "inset.msk")
        .card("XYBDYOUTPUT_OVDEP", "inset_xy.ov")
        .card("NUM_THREADS", std::to_string(threads));
    p.write(dir.file("case.prj"));
    run_result r = run_pluvo({"case.prj"}, dir.path(), "", {parallel_from_cells_env(4)});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    return {read_file(dir.file("summ.out")), read_file(dir.file("inset_xy.ov"))};
}

}  // namespace

// Reference: the inset's boundary cells are held at the outer depth of each
// step, so the depths it writes at its own boundary are the outer's as
// written (values of 1 mm resolution, read back and written again); the water held in or let out is booked with the
// head-boundary totals, and the inset's balance closes (1e-6 relative).
TEST(XyInsetRun, InsetBoundaryCarriesTheOuterDepthsAndItsBalanceCloses) {
  for (int scheme : {1, 2, 3}) {   // explicit, ADE, ADE-PC
    SCOPED_TRACE("OVERTYPE " + std::to_string(scheme));
    temp_dir outer_dir;
    const std::string outer_text = run_outer(outer_dir, 1, scheme);
    const xy_file outer = parse_xy_ov(outer_text);
    // The 5 x 5 inset mask has 16 boundary cells: all but ids 7-9, 12-14, 17-19.
    const std::vector<int> ids = {1, 2, 3, 4, 5, 6, 10, 11, 15, 16, 20, 21, 22, 23, 24, 25};
    ASSERT_EQ(outer.points, 16) << outer_text;
    EXPECT_EQ(outer.ids, ids);
    EXPECT_TRUE(outer.ended) << outer_text;
    ASSERT_GE(outer.values.size(), 40u) << outer_text;   // a row per minute
    double wettest = 0.0;
    for (const std::vector<double>& row : outer.values) {
        ASSERT_EQ(row.size(), 16u);
        for (double v : row) wettest = std::max(wettest, v);
    }
    EXPECT_GT(wettest, 0.005) << "the outer run must put water on the boundary";

    temp_dir inset_dir;
    const auto [summary, inset_text] = run_inset(inset_dir, outer_text, 1, scheme);
    const xy_file inset = parse_xy_ov(inset_text);
    ASSERT_EQ(inset.ids, ids);
    ASSERT_EQ(inset.labels, outer.labels);
    for (size_t i = 0; i < inset.values.size(); ++i)
        for (size_t k = 0; k < 16; ++k)
            EXPECT_NEAR(inset.values[i][k], outer.values[i][k], 1e-4)
                << inset.labels[i] << " point " << ids[k];
    const double gain = number_after(summary, "Volume gained from specified head boundary:");
    const double loss = number_after(summary, "Volume lost to specified head boundary:");
    EXPECT_GT(gain, 0.0) << summary;
    EXPECT_GT(loss, 0.0) << summary;
    const double in = number_after(summary, "Mass input + original mass:");
    const double out = number_after(summary, "Mass output + final mass:");
    EXPECT_NEAR(out, in, 1e-6 * in) << summary;
  }
}

TEST(XyInsetRun, OneAndEightThreadsWriteTheSameFiles) {
    temp_dir one, eight;
    const std::string outer1 = run_outer(one, 1);
    EXPECT_EQ(run_outer(eight, 8), outer1);
    temp_dir inset1, inset8;
    EXPECT_EQ(run_inset(inset8, outer1, 8).second, run_inset(inset1, outer1, 1).second);
}

namespace {

// A row of four 30 m cells (north 30, west 0) with one link of five nodes
// under it whose X_Y points run along y = 15 m from x = 5 to x = 115 m.
void write_channel_project(const temp_dir& dir) {
    const std::string header = "north: 30\nsouth: 0\neast: 120\nwest: 0\nrows: 1\ncols: 4\n";
    write_file(dir.file("mask.asc"), header + "1 1 1 1\n");
    write_file(dir.file("elev.asc"), header + "100.9 100.6 100.3 100.0\n");
    write_file(dir.file("chan.chn"),
               "PLUVO_CHAN\nALPHA 1.0\nBETA 1.0\nTHETA 1.0\nLINKS 1\nMAXNODES 4\nCONNECT 1 0 0\n"
               "LINK 1\nDX 30.0\nNODES 5\nTRAPEZOID\nMANNINGS_N 0.035\n"
               "NODE 1\nX_Y 5 15\nELEV 100.0\nXSEC\nBOTTOM_WIDTH 2.0\nSIDE_SLOPE 1.0\n"
               "NODE 2\nX_Y 35 15\nELEV 99.7\nNODE 3\nX_Y 65 15\nELEV 99.4\n"
               "NODE 4\nX_Y 95 15\nELEV 99.1\nNODE 5\nX_Y 115 15\nELEV 98.8\n");
    write_file(dir.file("chan.gst"),
               "GRIDSTREAMFILE\nSTREAMCELLS 4\nNUMNODES 1\nNUMNODES 1\nNUMNODES 1\nNUMNODES 1\n"
               "CELLIJ 1 1\nLINKNODE 1 1 1.0\nCELLIJ 1 2\nLINKNODE 1 2 1.0\n"
               "CELLIJ 1 3\nLINKNODE 1 3 1.0\nCELLIJ 1 4\nLINKNODE 1 4 1.0\n");
    // The inset covers the middle two cells (x 30 to 90 m).
    write_file(dir.file("inset.msk"),
               "north: 30\nsouth: 0\neast: 90\nwest: 30\nrows: 1\ncols: 2\n1 1\n");
    write_file(dir.file("p.prj"),
               "PLUVOPROJECT\n"
               "WATERSHED_MASK mask.asc\nELEVATION elev.asc\n"
               "GRIDSIZE 30\nROWS 1\nCOLS 4\nTOT_TIME 15\nTIMESTEP 30\n"
               "OUTROW 1\nOUTCOL 4\nOUTSLOPE 0.01\nHYD_FREQ 5\nMAP_FREQ 600\n"
               "SUMMARY summ.sum\nOUTLET_HYDRO outlet.otl\n"
               "START_DATE 2020 6 1\nSTART_TIME 23 50\n"
               "PRECIP_UNIF\nRAIN_INTENSITY 0.001\nRAIN_DURATION 15\n"
               "MANNING_N 0.05\nOVERTYPE explicit\nSUPER_QUIET\n"
               "CHAN_EXPLIC\nCHANNEL_INPUT chan.chn\nSTREAM_CELL chan.gst\n"
               "XYBDYOUTPUT_MASK inset.msk\nXYBDYOUTPUT_OVDEP inset.ov\n"
               "XYBDYOUTPUT_STFLOW inset.st\n");
}

}  // namespace

// Reference, written by hand: the mask's two cells are both boundary points
// (ids 1, 2); the link enters the inset between nodes 1 and 2 (x = 30 m) and
// leaves it between nodes 3 and 4 (x = 90 m), so node 3 is kept, at the
// midpoint (80, 15) of its segment. A trace of rain (1e-3 mm/h, some 1e-6 m
// of depth) leaves every value at zero to the decimals written. Rows every
// 5 minutes from the start at 23:50 (as the outlet hydrograph), across
// midnight, to the end at 00:05, then END_TS.
TEST(XyInsetRun, WrittenFilesMatchHandWrittenFilesByteForByte) {
    temp_dir dir;
    write_channel_project(dir);
    run_result r = run_pluvo({"p.prj"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("PLUVO identified 1 stream link/nodes as crossing the inset mask "
                         "boundary.\n1,3\t\n"),
              std::string::npos)
        << r.out;
    const char* times[] = {"2020 06 01 23 50", "2020 06 01 23 55", "2020 06 02 00 00", "2020 06 02 00 05"};
    std::string ov = "XY_OV_DEPTH\n2\nDATE       TIME \t         1         2\n";
    std::string st = "XY_STREAM_HYDROGRAPHS\n1\nX                 \t         80.000\n"
                     "Y                 \t         15.000\n";
    for (const char* t : times) {
        ov += std::string(t) + "\t     0.000     0.000\n";
        st += std::string(t) + "\t         0.0000\n";
    }
    ov += "END_TS\n";
    st += "END_TS\n";
    EXPECT_EQ(read_file(dir.file("inset.ov")), ov);
    EXPECT_EQ(read_file(dir.file("inset.st")), st);
}

TEST(XyInsetRun, BadInputsStopTheRunNamingFileAndLine) {
    struct bad_case {
        const char* name;
        const char* cards;     // card lines added to the plane project
        const char* file;      // name of the file written (null: none)
        const char* text;      // its text
        std::vector<const char*> expected;   // parts of the output
    };
    const std::string rows = "2000 06 01 00 00 0.1 0.1\n2000 06 01 02 00 0.1 0.1\nEND_TS\n";
    const bad_case cases[] = {
        {"input missing", "XYBDYINPUT_OVDEP none.xy", nullptr, "",
         {"unable to open overland xy boundary input file", "none.xy"}},
        {"input header", "XYBDYINPUT_OVDEP b.xy", "b.xy", "XY_GW_HEAD\n1\nD T 1\n",
         {"File header does not match XY_OV_DEPTH", "b.xy, line 1"}},
        {"no points", "XYBDYINPUT_OVDEP b.xy", "b.xy", "XY_OV_DEPTH\n0\n",
         {"No points in overland xy boundary input file", "b.xy, line 2"}},
        {"too few cells", "XYBDYINPUT_OVDEP b.xy", "b.xy", "XY_OV_DEPTH\n2\nDATE TIME 1\n",
         {"b.xy, line 3: value 2 of 2 is missing"}},
        {"cell outside", "XYBDYINPUT_OVDEP b.xy", "b.xy", "XY_OV_DEPTH\n2\nDATE TIME 1 99\n",
         {"b.xy, line 3: point 2 names cell 99, but the grid has cells 1 to 9"}},
        {"short row", "XYBDYINPUT_OVDEP b.xy", "b.xy",
         "XY_OV_DEPTH\n2\nDATE TIME 1 2\n2000 06 01 00 00 0.1\n", {"b.xy, line 4"}},
        {"point list short", "XYBDYOUTPUT_PTS p.txt\nXYBDYOUTPUT_OVDEP o.xy", "p.txt",
         "2\n5 995 1\n", {"p.txt", "more than the 1 point lines"}},
        {"point list missing", "XYBDYOUTPUT_PTS none.txt\nXYBDYOUTPUT_OVDEP o.xy", nullptr, "",
         {"unable to open the xy output file", "none.txt"}},
        {"mask missing", "XYBDYOUTPUT_MASK none.msk\nXYBDYOUTPUT_OVDEP o.xy", nullptr, "",
         {"unable to open the XY output mask file", "none.msk"}},
        {"mask sizes", "XYBDYOUTPUT_MASK m.msk\nXYBDYOUTPUT_OVDEP o.xy", "m.msk",
         "north: 1000\nsouth: 980\neast: 30\nwest: 0\nrows: 2\ncols: 2\n1 1\n1 1\n",
         {"m.msk, line 6: the cell size from north, south and rows (10 m) differs"}},
        // Refused at start-up, before any file opens.
        {"output not writable", "XYBDYOUTPUT_PTS p.txt\nXYBDYOUTPUT_OVDEP no/such/o.xy", "p.txt",
         "1\n5 995 1\n", {"Error: card XYBDYOUTPUT_OVDEP: the folder no/such for its output"}},
    };
    for (const bad_case& c : cases) {
        SCOPED_TRACE(c.name);
        temp_dir dir;
        boundary_case b;
        b.grid.rows = 3;
        b.grid.cols = 3;
        b.total_minutes = 5;
        project_file p = write_boundary_case(dir, b);
        p.card(c.cards).write(dir.file("case.prj"));
        if (c.file != nullptr) {
            std::string text = c.text;
            const std::string name = c.name;
            if (name == "short row" || name == "cell outside") text += rows;
            write_file(dir.file(c.file), text);
        }
        run_result r = run_pluvo({"case.prj"}, dir.path());
        EXPECT_EQ(r.status, 1) << r.out;
        for (const char* part : c.expected) EXPECT_NE(r.out.find(part), std::string::npos) << r.out;
    }
}

namespace {

// The channel of the outer row of four 30 m cells, its points from x = 5 to
// 115 m, or its part under the inset (the last three points, two nodes).
std::string channel_file(bool inset) {
    std::string t = "PLUVO_CHAN\nALPHA 1.0\nBETA 1.0\nTHETA 1.0\nLINKS 1\nMAXNODES 4\n"
                    "CONNECT 1 0 0\nLINK 1\nDX 30.0\n";
    t += inset ? "NODES 3\n" : "NODES 5\n";
    t += "TRAPEZOID\nMANNINGS_N 0.035\n";
    const double x[5] = {5, 35, 65, 95, 115};
    const double bed[5] = {100.0, 99.7, 99.4, 99.1, 98.8};
    for (int k = inset ? 2 : 0, node = 1; k < 5; ++k, ++node) {
        char line[160];
        std::snprintf(line, sizeof line, "NODE %d\nX_Y %g 15\nELEV %.1f\n", node, x[k], bed[k]);
        t += line;
        if (node == 1) t += "XSEC\nBOTTOM_WIDTH 2.0\nSIDE_SLOPE 1.0\n";
    }
    return t;
}

std::string stream_cells(int cells) {
    std::string t = "GRIDSTREAMFILE\nSTREAMCELLS " + std::to_string(cells) + "\n";
    for (int c = 1; c <= cells; ++c) t += "NUMNODES 1\n";
    for (int c = 1; c <= cells; ++c)
        t += "CELLIJ 1 " + std::to_string(c) + "\nLINKNODE 1 " + std::to_string(c) + " 1.0\n";
    return t;
}

std::string channel_run_cards(int cols, const std::string& extra) {
    return "PLUVOPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elev.asc\n"
           "GRIDSIZE 30\nROWS 1\nCOLS " + std::to_string(cols) +
           "\nTOT_TIME 90\nTIMESTEP 30\nOUTROW 1\nOUTCOL " + std::to_string(cols) +
           "\nOUTSLOPE 0.01\nHYD_FREQ 1\nMAP_FREQ 600\n"
           "SUMMARY summ.sum\nOUTLET_HYDRO outlet.otl\nSTART_DATE 2020 6 1\nSTART_TIME 0 0\n"
           "PRECIP_UNIF\nRAIN_INTENSITY 36\nRAIN_DURATION 60\nMANNING_N 0.05\n"
           "OVERTYPE explicit\nSUPER_QUIET\nCHAN_EXPLIC\nCHANNEL_INPUT chan.chn\n"
           "STREAM_CELL chan.gst\n" + extra;
}

// Rows of an XY_STREAM_HYDROGRAPHS file of one point: the discharges, m3/s.
std::vector<double> stream_rows(const std::string& text) {
    std::vector<double> q;
    const std::vector<std::string> lines = split_lines(text);
    for (size_t i = 4; i < lines.size() && lines[i] != "END_TS"; ++i)
        q.push_back(std::strtod(lines[i].c_str() + 17, nullptr));
    return q;
}

}  // namespace

// Reference: the outer run writes the depths of the inset's two cells and the
// discharge of the node whose segment enters the inset (link 1, node 2, at
// (50, 15)); the inset places that point on its first node (centre (80, 15),
// 30 m away: within one cell size), so its channel gains the integral of the
// outer discharge (trapezoid rule over the one-minute rows, 2 %), and its
// water balance with the head-boundary and stream XY totals closes (1e-6).
TEST(XyInsetRun, InsetChannelReceivesTheOuterDischarge) {
    temp_dir outer;
    const std::string header4 = "north: 30\nsouth: 0\neast: 120\nwest: 0\nrows: 1\ncols: 4\n";
    write_file(outer.file("mask.asc"), header4 + "1 1 1 1\n");
    write_file(outer.file("elev.asc"), header4 + "100.9 100.6 100.3 100.0\n");
    write_file(outer.file("chan.chn"), channel_file(false));
    write_file(outer.file("chan.gst"), stream_cells(4));
    const std::string mask = "north: 30\nsouth: 0\neast: 120\nwest: 60\nrows: 1\ncols: 2\n1 1\n";
    write_file(outer.file("inset.msk"), mask);
    write_file(outer.file("p.prj"),
               channel_run_cards(4, "XYBDYOUTPUT_MASK inset.msk\nXYBDYOUTPUT_OVDEP outer.ov\n"
                                    "XYBDYOUTPUT_STFLOW outer.st\n"));
    run_result r = run_pluvo({"p.prj"}, outer.path());
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("1,2\t\n"), std::string::npos) << r.out;
    const std::string st = read_file(outer.file("outer.st"));
    const std::vector<double> q = stream_rows(st);
    ASSERT_EQ(q.size(), 91u) << st;
    double volume = 0.0;   // m3
    for (size_t i = 1; i < q.size(); ++i) volume += 0.5 * (q[i - 1] + q[i]) * 60.0;
    ASSERT_GT(volume, 1.0) << st;

    temp_dir inset;
    const std::string header2 = "north: 30\nsouth: 0\neast: 120\nwest: 60\nrows: 1\ncols: 2\n";
    write_file(inset.file("mask.asc"), header2 + "1 1\n");
    write_file(inset.file("elev.asc"), header2 + "100.3 100.0\n");
    write_file(inset.file("chan.chn"), channel_file(true));
    write_file(inset.file("chan.gst"), stream_cells(2));
    write_file(inset.file("outer.ov"), read_file(outer.file("outer.ov")));
    write_file(inset.file("outer.st"), st);
    write_file(inset.file("p.prj"),
               channel_run_cards(2, "XYBDYINPUT_OVDEP outer.ov\nXYBDYINPUT_STFLOW outer.st\n"));
    r = run_pluvo({"p.prj"}, inset.path());
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::string summary = read_file(inset.file("summ.sum"));
    const double gained = number_after(summary, "Volume gained from stream XY boundaries");
    EXPECT_NEAR(gained, volume, 0.02 * volume) << summary;
    EXPECT_LT(std::fabs(number_after(summary, "Overall balance, relative error =")), 1e-6) << summary;
    const double in = number_after(summary, "Mass input + original mass:");
    const double out = number_after(summary, "Mass output + final mass:");
    EXPECT_NEAR(out, in, 1e-6 * in) << summary;
}

// Reference: an outer withdrawal of 2 m3/s from the inset's last node, far
// beyond the some 0.02 m3/s of rain the inset gathers, takes only the water
// the node holds: the stream XY volume is negative but never more than the
// rain and the held-cell water that came in, the channel never holds less
// than nothing, and the balance closes (1e-6).
TEST(XyInsetRun, OuterWithdrawalTakesOnlyTheWaterTheNodeHolds) {
    temp_dir dir;
    const std::string header2 = "north: 30\nsouth: 0\neast: 120\nwest: 60\nrows: 1\ncols: 2\n";
    write_file(dir.file("mask.asc"), header2 + "1 1\n");
    write_file(dir.file("elev.asc"), header2 + "100.3 100.0\n");
    write_file(dir.file("chan.chn"), channel_file(true));
    write_file(dir.file("chan.gst"), stream_cells(2));
    write_file(dir.file("take.ts"),
               "PLUVO_TS\n\"take\"\nABSOLUTE\n2020 06 01 00 00 -2\n2020 06 02 00 00 -2\nEND_TS\n");
    write_file(dir.file("points.ts"),
               "PLUVO_XY_ST_BDY_TS\nPLUVO_TS\nLINKNODE 1 2\nTIMESERIES take\nEND_TS\n");
    write_file(dir.file("p.prj"), channel_run_cards(2, "TIME_SERIES_FILE take.ts\n"
                                                       "XYBDYINPUT_STTIMESERIES points.ts\n"));
    const run_result r = run_pluvo({"p.prj"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::string summary = read_file(dir.file("summ.sum"));
    const double taken = number_after(summary, "Volume gained from stream XY boundaries");
    const double rain = 36.0 / 1000.0 * 2 * 30.0 * 30.0;   // m3 in the hour of rain
    EXPECT_LT(taken, -0.5 * rain) << summary;
    EXPECT_GE(taken, -rain) << summary;
    EXPECT_GE(number_after(summary, "Final volume in channels="), 0.0) << summary;
    EXPECT_LT(std::fabs(number_after(summary, "Overall balance, relative error =")), 1e-6) << summary;
    const double in = number_after(summary, "Mass input + original mass:");
    const double out = number_after(summary, "Mass output + final mass:");
    EXPECT_NEAR(out, in, 1e-6 * in) << summary;
}
