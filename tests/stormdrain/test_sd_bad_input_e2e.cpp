// Bad storm-drain input stops the run before the time loop with a message
// naming the file (and the line where there is one), exit status 1.
#include <gtest/gtest.h>

#include <string>

#include "fixture.h"
#include "pluvo_test.h"

using namespace pluvo_test;

namespace {

// The good network of a 7 x 5 plane (rows from the top), one edit at a time.
const std::string kJ1 = "SJUNC 1 100.4 98.4 1.0 2 3 3 0.6 0.3\n";
const std::string kJ2 = "SJUNC 2 100.1 98.0 0.0 888 6 3 0 0\n";
const std::string kC1 = "CONNECT 1 1 2\n";
const std::string kS1 = "SLINK 1 2\n";
const std::string kN1 = "NODE 1 100.4 98.4 0 0 3 3 0 0\n";
const std::string kN2 = "NODE 2 100.25 98.25 0.5 0 4 3 0 0\n";
const std::string kN3 = "NODE 3 100.1 98.1 0 0 6 3 0 0\n";
const std::string kP1 = "PIPE 1 1 0.3 0 0.01 0.013 15 0 0\n";
const std::string kP2 = "PIPE 2 1 0.3 0 0.01 0.013 15 0 0\n";

// 1001 junctions: one more than the solver takes.
std::string many_junctions() {
    std::string text;
    for (int j = 1; j <= 1001; ++j) text += "SJUNC " + std::to_string(j) + " 100.4 98.4 1.0 0 3 3 0 0\n";
    return text + kC1 + kS1 + kN1 + kN2 + kN3 + kP1 + kP2;
}

TEST(StormDrainInput, BadFilesStopTheRunNamingFileAndLine) {
    struct bad_case {
        const char* name;
        std::string network;
        std::string message;   // part of the printed message
        std::string grid_pipe = "";   // grid-pipe file text ("" none)
    };
    const bad_case cases[] = {
        {"missing number", "SJUNC 1 100.4 98.4 1.0 2 3 3 0.6\n" + kJ2 + kC1 + kS1 + kN1 + kN2 + kN3 + kP1 + kP2,
         "drains.txt, line 1: the grate diameter is missing"},
        {"not a number", kJ1 + "SJUNC 2 100.1 low 0.0 888 6 3 0 0\n" + kC1 + kS1 + kN1 + kN2 + kN3 + kP1 + kP2,
         "drains.txt, line 2: the bottom elevation \"low\" is not a number."},
        {"not finite", kJ1 + kJ2 + kC1 + kS1 + kN1 + "NODE 2 100.25 inf 0.5 0 4 3 0 0\n" + kN3 + kP1 + kP2,
         "drains.txt, line 6: the invert elevation \"inf\" is not finite."},
        {"ground far above any summit", "SJUNC 1 1e308 98.4 1.0 2 3 3 0.6 0.3\n" + kJ2 + kC1 + kS1 + kN1 + kN2 + kN3 + kP1 + kP2,
         "drains.txt, line 1: the ground elevation 1e308 is outside its range: it must be at least -11000 and at most 9000."},
        // Graded into pieces of at most 100 m, such a pipe would make pieces without end.
        {"pipe of 1e15 m", kJ1 + kJ2 + kC1 + kS1 + kN1 + kN2 + kN3 + kP1 + "PIPE 2 1 0.3 0 0.01 0.013 1e15 0 0\n",
         "drains.txt, line 9: the length 1e15 is outside its range: it must be at most 100000."},
        {"inlet code", kJ1 + "SJUNC 2 100.1 98.0 0.0 500 6 3 0 0\n" + kC1 + kS1 + kN1 + kN2 + kN3 + kP1 + kP2,
         "drains.txt, line 2: the inlet code must be 0 to 9, 888 or 999"},
        {"repeated junction", kJ1 + kJ1 + kC1 + kS1 + kN1 + kN2 + kN3 + kP1 + kP2,
         "drains.txt, line 2: superjunction 1 is defined again (first on line 1)"},
        {"undefined junction", kJ1 + kJ2 + "CONNECT 1 1 3\n" + kS1 + kN1 + kN2 + kN3 + kP1 + kP2,
         "drains.txt, line 3: the downstream superjunction 3 is outside 1..2"},
        {"self link", kJ1 + kJ2 + "CONNECT 1 2 2\n" + kS1 + kN1 + kN2 + kN3 + kP1 + kP2,
         "drains.txt, line 3: a superlink cannot join a superjunction to itself"},
        {"cell outside", "SJUNC 1 100.4 98.4 1.0 2 9 3 0.6 0.3\n" + kJ2 + kC1 + kS1 + kN1 + kN2 + kN3 + kP1 + kP2,
         "drains.txt, line 1: the row and column lie outside the watershed"},
        {"arch pipe", kJ1 + kJ2 + kC1 + kS1 + kN1 + kN2 + kN3 + "PIPE 1 2 0.3 0.3 0.01 0.013 15 0 0\n" + kP2,
         "drains.txt, line 8: arch pipe sections (type 2) are not supported"},
        {"section type", kJ1 + kJ2 + kC1 + kS1 + kN1 + kN2 + kN3 + kP1 + "PIPE 2 4 0.3 0 0.01 0.013 15 0 0\n",
         "drains.txt, line 9: the pipe cross-section type must be 1 (circle) or 3 (box)"},
        {"roughness", kJ1 + kJ2 + kC1 + kS1 + kN1 + kN2 + kN3 + "PIPE 1 1 0.3 0 0.01 0 15 0 0\n" + kP2,
         "drains.txt, line 8: the pipe roughness must be above 0"},
        {"length", kJ1 + kJ2 + kC1 + kS1 + kN1 + kN2 + kN3 + kP1 + "PIPE 2 1 0.3 0 0.01 0.013 -3 0 0\n",
         "drains.txt, line 9: the pipe length must be above 0"},
        {"spacing", kJ1 + kJ2 + kC1 + kS1 + kN1 + kN2 + kN3 + kP1 + "PIPE 2 1 0.3 0 0.01 0.013 15 2.5 0\n",
         "drains.txt, line 9: the drain spacing cannot be zero"},
        {"node number", kJ1 + kJ2 + kC1 + kS1 + kN1 + "NODE 4 100.25 98.25 0.5 0 4 3 0 0\n" + kN3 + kP1 + kP2,
         "drains.txt, line 6: the node number 4 is outside 1..3"},
        {"undefined node", kJ1 + kJ2 + kC1 + kS1 + kN1 + kN3 + kP1 + kP2,
         "drains.txt: superlink 1 node 2 is not defined"},
        {"lonely junction", kJ1 + kJ2 + "SJUNC 3 100.0 98.0 0.0 0 5 5 0 0\n" + kC1 + kS1 + kN1 + kN2 + kN3 + kP1 + kP2,
         "drains.txt: superjunction 3 has no superlink and no storage area"},
        {"channel outfall without channels", kJ1 + "SJUNC 2 100.1 98.0 0.0 999 1 6 0 0\n" + kC1 + kS1 + kN1 + kN2 + kN3 + kP1 + kP2,
         "drains.txt, line 2: the channel outfall of superjunction 2 (link 1 node 6) needs explicit channel routing"},
        {"leaky pipe without grid-pipe file", kJ1 + kJ2 + kC1 + kS1 + kN1 + kN2 + kN3 + kP1 + "PIPE 2 1 0.3 0 0.01 0.013 15 2.5 10\n",
         "you must include the GRID_PIPE card"},
        // A pipe-cell count the watershed cannot hold would only size a list.
        {"PIPECELLS beyond the watershed", kJ1 + kJ2 + kC1 + kS1 + kN1 + kN2 + kN3 + kP1 + "PIPE 2 1 0.3 0 0.01 0.013 15 2.5 10\n",
         "Error: grid-pipe file pipes.txt, line 2: PIPECELLS 2000000000 is more than the 35 cells of the watershed.",
         "GRIDPIPEFILE\nPIPECELLS 2000000000\n"},
        {"too many junctions", many_junctions(), "Too many super-junctions (>1000!) in superlink."},
        {"too many pipes", kJ1 + kJ2 + kC1 + "SLINK 1 1001\n" + kN1, "Too many nodes (>1000!) in one link in superlink."},
        {"no records", "SJUNC 1 100.4 98.4 1.0 2 3 3 0.6 0.3\n", "drains.txt holds no SJUNC or no CONNECT record"},
    };
    for (const bad_case& c : cases) {
        SCOPED_TRACE(c.name);
        temp_dir dir;
        plane_case pc;
        pc.grid.rows = 7;
        pc.grid.cols = 5;
        pc.total_minutes = 2;
        project_file p = write_plane_case(dir.path(), pc);
        write_file(dir.file("drains.txt"), c.network);
        p.card("STORM_SEWER", "drains.txt");
        if (!c.grid_pipe.empty()) {
            write_file(dir.file("pipes.txt"), c.grid_pipe);
            p.card("GRID_PIPE", "pipes.txt");
        }
        p.write(dir.file("plane.prj"));
        const run_result r = run_pluvo({"plane.prj"}, dir.path());
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_NE(r.out.find(c.message), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("Running...."), std::string::npos) << r.out;
    }
}

TEST(StormDrainInput, LongLinesAndCrLfAreRead) {
    temp_dir dir;
    plane_case pc;
    pc.grid.rows = 7;
    pc.grid.cols = 5;
    pc.total_minutes = 2;
    project_file p = write_plane_case(dir.path(), pc);
    std::string network = kJ1 + kJ2 + kC1 + kS1 + kN1 + kN2 + kN3 + kP1 + kP2;
    std::string crlf;
    for (char ch : network) crlf += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
    write_file(dir.file("drains.txt"), "# " + std::string(5000, 'x') + "\r\n" + crlf);
    p.card("STORM_SEWER", "drains.txt").write(dir.file("plane.prj"));
    const run_result r = run_pluvo({"plane.prj"}, dir.path());
    EXPECT_EQ(r.status, 0) << r.out;
}

}  // namespace
