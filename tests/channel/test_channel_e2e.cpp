// The program with explicit channel routing: the run's start-up reads the
// channel and grid-stream files named by the project cards.
#include <gtest/gtest.h>

#include <string>

#include "pluvo_test.h"

using namespace pluvo_test;

namespace {

// A row of four 30 m cells draining east, with one trapezoid link of four
// nodes under it, one node per cell.
void write_project(const temp_dir& dir, const std::string& chan_header) {
    const std::string header = "north: 30\nsouth: 0\neast: 120\nwest: 0\nrows: 1\ncols: 4\n";
    write_file(dir.file("mask.asc"), header + "1 1 1 1\n");
    write_file(dir.file("elev.asc"), header + "100.9 100.6 100.3 100.0\n");
    write_file(dir.file("chan.chn"),
               chan_header +
                   "\nALPHA 1.0\nBETA 1.0\nTHETA 1.0\nLINKS 1\nMAXNODES 4\nCONNECT 1 0 0\n"
                   "LINK 1\nDX 30.0\nNODES 5\nTRAPEZOID\nMANNINGS_N 0.035\n"
                   "NODE 1\nELEV 100.0\nXSEC\nBOTTOM_WIDTH 2.0\nSIDE_SLOPE 1.0\n"
                   "NODE 2\nELEV 99.7\nNODE 3\nELEV 99.4\nNODE 4\nELEV 99.1\nNODE 5\nELEV 98.8\n");
    write_file(dir.file("chan.gst"),
               "GRIDSTREAMFILE\nSTREAMCELLS 4\nNUMNODES 1\nNUMNODES 1\nNUMNODES 1\nNUMNODES 1\n"
               "CELLIJ 1 1\nLINKNODE 1 1 1.0\nCELLIJ 1 2\nLINKNODE 1 2 1.0\n"
               "CELLIJ 1 3\nLINKNODE 1 3 1.0\nCELLIJ 1 4\nLINKNODE 1 4 1.0\n");
    write_file(dir.file("p.prj"),
               "PLUVOPROJECT\n"
               "WATERSHED_MASK mask.asc\nELEVATION elev.asc\n"
               "GRIDSIZE 30\nROWS 1\nCOLS 4\nTOT_TIME 60\nTIMESTEP 30\n"
               "OUTROW 1\nOUTCOL 4\nOUTSLOPE 0.01\nHYD_FREQ 5\nMAP_FREQ 600\n"
               "SUMMARY summ.sum\nOUTLET_HYDRO outlet.otl\n"
               "START_DATE 2020 6 1\nSTART_TIME 0 0\n"
               "PRECIP_UNIF\nRAIN_INTENSITY 36\nRAIN_DURATION 60\n"
               "MANNING_N 0.05\nOVERTYPE explicit\n"
               "CHAN_EXPLIC\nCHANNEL_INPUT chan.chn\nSTREAM_CELL chan.gst\n");
}

TEST(ChannelEndToEnd, StartUpReadsTheNetworkAndWritesItsCheckFiles) {
    temp_dir dir;
    write_project(dir, "PLUVO_CHAN");
    const run_result r = run_pluvo({"p.prj"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("reading channel input data from file chan.chn\n"), std::string::npos) << r.out;
    const std::string summary = read_file(dir.file("summ.sum"));
    EXPECT_NE(summary.find("  number of trapezoidal links:           1\n"), std::string::npos) << summary;
    EXPECT_NE(summary.find("Finished reading non-orthogonal channel information from gst file.\n"),
              std::string::npos)
        << summary;
    EXPECT_EQ(read_file(dir.file("short_links.out")), "Links with 1 node:\n");
    // Node beds (99.85 .. 98.95 m) lie below the ground of their cells.
    EXPECT_EQ(count_of(read_file(dir.file("bad_thalweg.out")), "\n"), 2);
}

TEST(ChannelEndToEnd, WrongHeaderWordStopsTheRun) {
    temp_dir dir;
    write_project(dir, "chan");
    const run_result r = run_pluvo({"p.prj"}, dir.path());
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find("the channel input file chan.chn does not begin with the header word "
                         "pluvo_chan"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("Running...."), std::string::npos) << r.out;
}

}  // namespace
