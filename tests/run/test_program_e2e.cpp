// End-to-end tests of the program entry: run modes, banners, usage text,
// batch runs with their file prefixes, a missing project, web framing.
#include <gtest/gtest.h>
#include <unistd.h>
#include <string>
#include "fixture.h"
#include "pluvo_test.h"

using namespace pluvo_test;

namespace {

const char kUsage[] =
    "\nUsage: pluvo [-option] [inputfile]\n\n where -option is one of:\n"
    "      -c = SCE calibration mode (input file is the calibration control file)\n"
    "      -m = Monte Carlo calibration mode (input file is the calibration control file)\n"
    "      -b = batch mode (input file is the batch control file)\n"
    "      -s = sensitivity mode (input file is the sensitivity control file)\n"
    "      -v = display version information (no project will be run)\n"
    "  The c, m, b, and v commands are optional and if not present the input file is\n"
    " treated as the project file\n\n"
    "  For the -b option, the command line should be:\n"
    "      pluvo -b[num_batch] pluvo_inputfile\n\n"
    "  For the -c option, the command line should be:\n"
    "      pluvo -c sce_inputfile\n\n"
    "  For the -m option, the command line should be:\n"
    "      pluvo -m[num_batch] mc_inputfile\n\n"
    "  For the -s option, the command line should be:\n"
    "      pluvo -s sen_inputfile\n\n"
    "  For the -t option (and -tv), the command line should be:\n"
    "      pluvo -t[v]\n\n"
    "  where [num_batch] is the number of batch runs to make, sce_inputfile is the SCE input "
    "file, mc_intputfile is\n"
    "  the Monte Carlo input file, and sen_inputfile is the sensitivity input file.\n\n";

std::string banner_line(int threads) {
    return "Parallel version of PLUVO (5.7a) with SCE (OpenMP), " + std::to_string(threads) +
           " total threads.\n";
}

int processors() {
    long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<int>(n) : 1;
}

}  // namespace

TEST(ProgramEntry, NoArgumentsPrintsBannerThenUsageAndExitsWithTwo) {
    temp_dir dir;
    run_result r = run_pluvo({}, dir.path());
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, banner_line(processors()) + kUsage);
}

TEST(ProgramEntry, UnknownSwitchOrExtraArgumentPrintsUsage) {
    struct usage_case {
        std::vector<std::string> args;
    };
    const usage_case cases[] = {
        {{"-x", "p.prj"}},
        {{"-t", "p.prj"}},
        {{"-tv", "p.prj"}},
        {{"p.prj", "extra"}},
    };
    temp_dir dir;
    for (const usage_case& c : cases) {
        run_result r = run_pluvo(c.args, dir.path());
        EXPECT_EQ(r.status, 2) << c.args[0];
        EXPECT_EQ(r.out, banner_line(processors()) + kUsage) << c.args[0];
    }
}

TEST(ProgramEntry, VersionBannerAndHelp) {
    temp_dir dir;
    run_result v = run_pluvo({"-v", "x"}, dir.path());
    EXPECT_EQ(v.status, 0);
    EXPECT_NE(v.out.find("\n    -- PLUVO version 5.70a --\n \n"), std::string::npos);
    EXPECT_NE(v.out.find("developed in cooperation with: \n \n"), std::string::npos);
    EXPECT_NE(v.out.find("For information contact:\n"), std::string::npos);
    EXPECT_NE(v.out.find("Intended for use with ZOV Version 8.0 or higher\n \n"),
              std::string::npos);
    EXPECT_FALSE(file_exists(dir.file("out_time.out")));

    run_result h = run_pluvo({"-h", "x"}, dir.path());
    EXPECT_EQ(h.status, 0);
    EXPECT_EQ(h.out, banner_line(processors()));
}

TEST(ProgramEntry, MissingProjectReportsCodeThreeAndAppendsNoRunTime) {
    // A run refused at its start-up prints its time but appends nothing.
    temp_dir dir;
    run_result r = run_pluvo({"nothere.prj"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("\nError: The specified project file was not found.\n"),
              std::string::npos);
    EXPECT_NE(r.out.find("Run time: "), std::string::npos);
    EXPECT_FALSE(file_exists(dir.file("out_time.out")));
    EXPECT_EQ(r.out.find("Running....\n"), std::string::npos);
}

TEST(ProgramEntry, LoneSwitchIsTakenAsProjectFileName) {
    temp_dir dir;
    run_result r = run_pluvo({"-v"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Error: The specified project file was not found.\n"),
              std::string::npos);
    EXPECT_EQ(r.out.find("-- PLUVO version"), std::string::npos);
}

TEST(ProgramEntry, BatchOfZeroRunsNothing) {
    temp_dir dir;
    write_file(dir.file("p.prj"), "PLUVOPROJECT\n");
    run_result r = run_pluvo({"-b0", "p.prj"}, dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("PLUVO is running in batch mode, and is running 0 runs...\n"),
              std::string::npos);
    EXPECT_EQ(count_of(r.out, "Run time: "), 0);
    EXPECT_FALSE(file_exists(dir.file("0000_out_time.out")));
}

TEST(ProgramEntry, BatchRunsEachWithItsOwnPrefixedFiles) {
    temp_dir dir;
    plane_case c;
    c.grid = {3, 3, 10.0, 1000.0, 0.0};
    c.total_minutes = 5;
    c.rain_minutes = 2;
    c.timestep = 30.0;
    write_plane_case(dir.path(), c);
    run_result r = run_pluvo({"-b3", "plane.prj"}, dir.path());
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("PLUVO is running in batch mode, and is running 3 runs...\n"),
              std::string::npos);
    EXPECT_EQ(count_of(r.out, "Run time: "), 3);
    for (const char* name : {"0000_out_time.out", "0001_out_time.out", "0002_out_time.out"}) {
        EXPECT_EQ(count_of(read_file(dir.file(name)), "total time (s): "), 1) << name;
    }
    for (const char* name : {"0000_summ.out", "0001_summ.out", "0002_summ.out"})
        EXPECT_TRUE(file_exists(dir.file(name))) << name;
    EXPECT_FALSE(file_exists(dir.file("0003_out_time.out")));
    EXPECT_FALSE(file_exists(dir.file("out_time.out")));
}

TEST(ProgramEntry, BatchOfRefusedRunsFailsAndAppendsNothing) {
    temp_dir dir;
    run_result r = run_pluvo({"-b3", "missing.prj"}, dir.path());
    // Every run of the batch stops on the missing project: the batch fails.
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(count_of(r.out, "Error: The specified project file was not found.\n"), 3);
    EXPECT_EQ(count_of(r.out, "Run time: "), 3);
    for (const char* name : {"0000_out_time.out", "0001_out_time.out", "0002_out_time.out"})
        EXPECT_FALSE(file_exists(dir.file(name))) << name;
}

TEST(ProgramEntry, BatchWithoutCountRunsOnce) {
    temp_dir dir;
    run_result r = run_pluvo({"-bogus", "missing.prj"}, dir.path());
    EXPECT_NE(r.out.find("is running 1 runs...\n"), std::string::npos);
    EXPECT_EQ(count_of(r.out, "Run time: "), 1);
    EXPECT_EQ(count_of(r.out, "Error: The specified project file was not found.\n"), 1);
}

TEST(ProgramEntry, CalibrationModesWithoutTheirInputFileFail) {
    temp_dir dir;
    struct row {
        const char* sw;
        const char* message;
    };
    const row rows[] = {
        {"-c", "Can't open SCE input file control.in"},
        {"-m20", "Error: unable to read the input monte carlo file."},
        {"-s", "Error: unable to read the input monte carlo file."},
    };
    for (const row& c : rows) {
        run_result r = run_pluvo({c.sw, "control.in"}, dir.path());
        EXPECT_EQ(r.status, 1) << c.sw;
        EXPECT_NE(r.out.find(c.message), std::string::npos) << c.sw << r.out;
        EXPECT_EQ(r.out.find("not available yet"), std::string::npos) << c.sw;
    }
}

TEST(ProgramEntry, WebInvocationFramesOutputAndEchoesFormData) {
    temp_dir dir;
    std::string web = dir.file("pluvo_web");
    ASSERT_EQ(symlink(PLUVO_EXE, web.c_str()), 0);
    const std::string preamble =
        "Content-Type:text/text;charset=iso-8859-1\r\n\n"
        "<title>PLUVO Test Case</title><body><P> Web version of PLUVO (5.7a) with SCE "
        "starting...</P><P>";

    struct web_case {
        const char* length;       // CONTENT_LENGTH, or null for none
        const char* form;         // standard input
        const char* echoed;       // what follows the preamble
    };
    const web_case cases[] = {
        {"9", "name=abc&rest\n", "name=abc&"},
        {"8", "name=abc&rest\n", "name=abc"},
        {"0", "ignored\n", ""},
        {"1025", "x\n", "<P>Error in invocation - wrong FORM probably."},
        {"-3", "x\n", "<P>Error in invocation - wrong FORM probably."},
        {"12x", "x\n", "<P>Error in invocation - wrong FORM probably."},
        {nullptr, "x\n", "<P>Error in invocation - wrong FORM probably."},
    };
    for (const web_case& c : cases) {
        std::vector<std::string> env = {c.length ? std::string("CONTENT_LENGTH=") + c.length
                                                 : std::string("CONTENT_LENGTH=")};
        run_result r = run_program(web, {"-h", "x"}, dir.path(), c.form, env);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, preamble + c.echoed + "</P></body>\n") << (c.length ? c.length : "none");
    }
}

// Idle threads sleep unless the user chose how they wait: the program then
// executes itself once more with OMP_WAIT_POLICY=PASSIVE, before any output
// and with the same arguments. The runtime shows its settings at every start.
TEST(ProgramEntry, IdleThreadsSleepUnlessTheUserChoseHowTheyWait) {
    struct wait_case {
        std::vector<std::string> env;
        const char* setting;   // a line of the settings of the last start
        int starts;            // starts of the runtime
    };
    const wait_case cases[] = {
        {{"OMP_WAIT_POLICY=", "GOMP_SPINCOUNT="}, "  GOMP_SPINCOUNT = '0'\n", 2},
        {{"OMP_WAIT_POLICY=ACTIVE", "GOMP_SPINCOUNT="}, "  OMP_WAIT_POLICY = 'ACTIVE'\n", 1},
        {{"OMP_WAIT_POLICY=", "GOMP_SPINCOUNT=5000"}, "  GOMP_SPINCOUNT = '5000'\n", 1},
    };
    const std::string begin = "OPENMP DISPLAY ENVIRONMENT BEGIN";
    for (const wait_case& c : cases) {
        temp_dir dir;
        std::vector<std::string> env = c.env;
        env.push_back("OMP_DISPLAY_ENV=VERBOSE");
        const run_result r = run_pluvo({"-v", "x"}, dir.path(), "", env);
        if (r.err.find(begin) == std::string::npos)
            GTEST_SKIP() << "the OpenMP runtime does not show its settings";
        EXPECT_EQ(r.status, 0) << c.setting;
        EXPECT_EQ(count_of(r.out, banner_line(processors())), 1) << r.out;
        EXPECT_NE(r.out.find("-- PLUVO version"), std::string::npos) << r.out;
        EXPECT_EQ(count_of(r.err, begin), c.starts) << r.err;
        const std::string last = r.err.substr(r.err.rfind(begin));
        EXPECT_NE(last.find(c.setting), std::string::npos) << r.err;
    }
}

TEST(ProgramEntry, ExecutedAgainItKeepsArgumentsAndExitStatus) {
    temp_dir dir;
    const run_result r = run_pluvo({"-x", "p.prj"}, dir.path(), "", {"OMP_WAIT_POLICY="});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, banner_line(processors()) + kUsage);
}
