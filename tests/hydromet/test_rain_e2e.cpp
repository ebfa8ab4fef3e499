// The program with gage rain and interception: the same output files with
// one and with eight threads, and a clean stop on a refused precipitation file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pluvo_test.h"

using namespace pluvo_test;

namespace {

const char kHeader[] = "north: 30\nsouth: 0\neast: 30\nwest: 0\nrows: 3\ncols: 3\n";

// A 3 x 3 grid of 10 m cells (8 in the watershed) under two gages.
void write_watershed(const temp_dir& dir, const std::string& rain, int threads) {
    write_file(dir.file("mask.asc"), std::string(kHeader) + "1 1 1\n1 1 1\n0 1 1\n");
    write_file(dir.file("elev.asc"), std::string(kHeader) + "10 9 8\n9 8 7\n0 7 6\n");
    write_file(dir.file("stor.asc"), std::string(kHeader) + "1 2 0\n0.5 1 1\n0 3 1\n");
    write_file(dir.file("coef.asc"), std::string(kHeader) + "0.2 0.5 0\n0.1 0.3 0.3\n0 0.2 1\n");
    write_file(dir.file("rain.gag"), rain);
    write_file(dir.file("test.prj"),
               "PLUVOPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elev.asc\nGRIDSIZE 10\nROWS 3\n"
               "COLS 3\nTOT_TIME 180\nTIMESTEP 30\nOUTROW 3\nOUTCOL 3\nOUTSLOPE 0.01\n"
               "HYD_FREQ 5\nMAP_FREQ 60\nSUMMARY sum.out\nOUTLET_HYDRO q.out\n"
               "PRECIP_FILE rain.gag\nRAIN_INV_DISTANCE\nMANNING_N 0.05\nOVERTYPE 1\n"
               "STORAGE_CAPACITY stor.asc\nINTERCEPTION_COEFF coef.asc\nNUM_THREADS " +
                   std::to_string(threads) + "\n");
}

const char kStorm[] =
    "EVENT \"test storm\"\nNRGAG 2\nNRPDS 4\nCOORD 0 30\nCOORD 30 0\n"
    "GAGES 2005 6 30 23 0 0 0\nGAGES 2005 7 1 0 0 10 20\nGAGES 2005 7 1 0 30 5 0\n"
    "GAGES 2005 7 1 1 0 2.5 7\n";

const std::vector<std::string> kEnv = {"OMP_WAIT_POLICY=passive"};

}  // namespace

TEST(RainProgram, SameOutputsWithOneOrEightThreads) {
    std::string hydrograph[2];
    const int threads[2] = {1, 8};
    for (int t = 0; t < 2; ++t) {
        temp_dir dir;
        write_watershed(dir, kStorm, threads[t]);
        const run_result r = run_pluvo({"test.prj"}, dir.path(), "", kEnv);
        ASSERT_EQ(r.status, 0) << r.out;
        EXPECT_NE(r.out.find("reading precip data from file: rain.gag\n"), std::string::npos);
        EXPECT_NE(r.out.find("reading interception storage from file: stor.asc\n"),
                  std::string::npos);
        hydrograph[t] = read_file(dir.file("q.out"));
    }
    EXPECT_FALSE(hydrograph[0].empty());
    EXPECT_EQ(hydrograph[0], hydrograph[1]);
}

TEST(RainProgram, RefusedPrecipitationFileEndsTheRunWithItsMessage) {
    temp_dir dir;
    write_watershed(dir,
                    "EVENT big\nNRGAG 1\nNRPDS 100000\nCOORD 0 0\nGAGES 2005 7 1 0 0 1\n", 1);
    const run_result r = run_pluvo({"test.prj"}, dir.path(), "", kEnv);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Error: NRPDS 100000 on line 3 of the precipitation file"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("Running...."), std::string::npos);
}

TEST(RainProgram, RefusedEventsNameThePrecipitationFileAndItsLine) {
    const struct {
        const char* what;
        const char* rain;
        std::vector<std::string> messages;
    } rows[] = {
        {"date earlier than the line before",
         "EVENT back\nNRGAG 2\nNRPDS 3\nCOORD 0 30\nCOORD 30 0\n"
         "GAGES 2005 6 30 23 0 0 0\nGAGES 2005 7 1 0 0 10 20\nGAGES 2005 6 30 23 30 5 0\n",
         {"Error: the date on line 8 of the precipitation file rain.gag is earlier than the date "
          "on line 7\n",
          "On line no. 8, the given time of the recorded data is:    2005/6/30 23:30\n"}},
        {"gage value missing at the end of the file",
         "EVENT short\nNRGAG 2\nNRPDS 3\nCOORD 0 30\nCOORD 30 0\n"
         "GAGES 2005 6 30 23 0 0 0\nGAGES 2005 7 1 0 0 10 20\nGAGES 2005 7 1 0 30 5\n",
         {"Error: the precipitation file rain.gag ends on line 8 without the value of gage 2 of "
          "the data line on line 8\n"}},
    };
    for (const auto& row : rows) {
        temp_dir dir;
        write_watershed(dir, row.rain, 1);
        const run_result r = run_pluvo({"test.prj"}, dir.path(), "", kEnv);
        EXPECT_EQ(r.status, 1) << row.what;
        for (const std::string& m : row.messages)
            EXPECT_NE(r.out.find(m), std::string::npos) << row.what << "\n" << r.out;
        EXPECT_EQ(r.out.find("Unexpected end of file"), std::string::npos) << row.what;
        EXPECT_EQ(r.out.find("Running...."), std::string::npos) << row.what;
    }
}
