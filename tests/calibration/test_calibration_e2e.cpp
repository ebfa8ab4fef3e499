// Calibration and studies run by the program on a small real project: a
// tilted plane whose Manning n is a bracketed value, observed against its
// own run with n = 0.05.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "fixture.h"
#include "pluvo_test.h"

namespace {

using namespace pluvo_test;

constexpr double kTrueN = 0.05;   // Manning n of the "observed" run

// The plane: 20 x 20 cells of 30 m at slope 0.01, 50 mm/h for 20 min
// (kinematic time to equilibrium about 45 min, so the peak depends on n).
plane_case plane(int threads) {
    plane_case c;
    c.grid = {20, 20, 30.0, 1000.0, 0.0};
    c.slope = 0.01;
    c.manning = kTrueN;
    c.rain_mm_h = 50.0;
    c.rain_minutes = 20;
    c.total_minutes = 120;
    c.timestep = 5.0;
    c.threads = threads;
    return c;
}

std::vector<double> numbers(const std::string& line) {
    std::vector<double> v;
    std::istringstream in(line);
    double x;
    while (in >> x) v.push_back(x);
    return v;
}

// Writes plane.prj with Manning n as [n] (and the rain as [rain] and [dur]
// when `rain_params`), and obs.txt holding the outlet peak and volume of the
// run with n = 0.05 (weights 1).
void write_study_case(const std::string& dir, int threads, bool rain_params = false) {
    project_file p = write_plane_case(dir, plane(threads));
    p.card("OPTIMIZE", "optim.out");
    p.write(dir + "/reference.prj");
    ASSERT_EQ(run_pluvo({"reference.prj"}, dir).status, 0);
    const auto event = numbers(split_lines(read_file(dir + "/optim.out")).at(0));
    ASSERT_EQ(event.size(), 3u);
    std::ostringstream obs;
    obs.precision(10);
    obs << "1\n" << event[1] << " 1 " << event[2] << " 1\n";
    write_file(dir + "/obs.txt", obs.str());

    p.remove("OPTIMIZE").remove("MANNING_N").card("MANNING_N", "[n]");
    if (rain_params) p.remove("RAIN_INTENSITY").remove("RAIN_DURATION").card("RAIN_INTENSITY", "[rain]").card("RAIN_DURATION", "[dur]");
    p.write(dir + "/plane.prj");
    write_file(dir + "/params.txt", rain_params ? "3\n[n] \"%8.6lf\"\n[rain] \"%6.2lf\"\n[dur] \"%d\"\n"
                                                : "1\n[n] \"%8.6lf\"\n");
}

const char* const kSceFiles[] = {"sce_output.out", "0000_sce_log_file.txt", "0000_sce_best.out",
                                 "0000_results_all.out", "0000_0_cost.out", "0000_0_obs.log"};

// Runs `pluvo -c sce.in` on the study case in `dir` with trial limit `maxn`.
void run_sce(const std::string& dir, int threads, int maxn) {
    write_study_case(dir, threads);
    write_file(dir + "/sce.in", "plane.prj\nparams.txt\nobs.txt\n" + std::to_string(maxn) +
                                    " 10 0.00001 2 3737 0 1\n0 0 0 0 0 0\n0.1 0.01 0.2\n");
    const run_result r = run_pluvo({"-c", "sce.in"}, dir, "", {parallel_from_cells_env(16)});
    ASSERT_EQ(r.status, 0) << r.out;
    for (const char* name : kSceFiles) ASSERT_TRUE(file_exists(dir + "/" + name)) << name;
}

TEST(CalibrationEndToEnd, SceFindsManningN) {
    temp_dir dir;
    run_sce(dir.path(), 1, 300);
    // Every file written after the first trial carries the run-number prefix:
    // the unprefixed summary is still the reference run's.
    EXPECT_NE(read_file(dir.file("summ.out")).find("reference.prj"), std::string::npos);
    EXPECT_NE(read_file(dir.file("0000_summ.out")).find("plane.prj"), std::string::npos);

    const auto best = split_lines(read_file(dir.file("0000_sce_best.out")));
    ASSERT_EQ(best.size(), 2u);
    int runs = 0;
    ASSERT_EQ(std::sscanf(best[0].c_str(), "The best results of the SCE calibration %d runs:", &runs), 1);
    EXPECT_LE(runs - 1, 300);   // the counter is one past the last trial
    EXPECT_NEAR(std::stod(best[1]), kTrueN, 0.01 * kTrueN);
    // One log row and one results row per trial, each file with one header;
    // every trial's run finished and was scored on both points.
    EXPECT_EQ(split_lines(read_file(dir.file("0000_sce_log_file.txt"))).size(), static_cast<size_t>(runs));
    EXPECT_EQ(split_lines(read_file(dir.file("0000_results_all.out"))).size(), static_cast<size_t>(runs));
    EXPECT_EQ(count_of(read_file(dir.file("0000_0_cost.out")), "Total Points: 2"), runs - 1);
}

TEST(CalibrationEndToEnd, SceFilesDoNotDependOnTheThreadCount) {
    temp_dir one, eight;
    run_sce(one.path(), 1, 30);
    run_sce(eight.path(), 8, 30);
    for (const char* name : kSceFiles)
        EXPECT_TRUE(read_file(one.file(name)) == read_file(eight.file(name))) << name;
}

struct mc_files {
    std::string log, best, results;
};

// A Monte Carlo study with a fixed seed: n drawn in [0.03, 0.08), the rain
// fixed by one-number lines (with and without a comment).
mc_files monte_carlo(const std::string& dir, int threads, int runs, bool fresh = true) {
    if (fresh) {
        write_study_case(dir, threads, true);
        write_file(dir + "/mc.in", "plane.prj\nparams.txt\nobs.txt\n3\n0.03 0.08\n50 # mm/h, fixed\n20\n");
    }
    const run_result r = run_pluvo({"-m" + std::to_string(runs), "mc.in"}, dir, "",
                                   {"PLUVO_STUDY_SEED=4242", parallel_from_cells_env(16)});
    EXPECT_EQ(r.status, 0) << r.out;
    return {read_file(dir + "/0000_log_file_p0.log"), read_file(dir + "/0000_best.out"),
            read_file(dir + "/0000_results_all.out")};
}

TEST(CalibrationEndToEnd, MonteCarloDrawsWithinBoundsRepeatsAndAppends) {
    temp_dir one, eight;
    const mc_files a = monte_carlo(one.path(), 1, 20);
    const mc_files b = monte_carlo(eight.path(), 8, 20);
    EXPECT_EQ(a.log, b.log);
    EXPECT_EQ(a.best, b.best);
    EXPECT_EQ(a.results, b.results);

    const auto lines = split_lines(a.log);
    ASSERT_EQ(lines.size(), 21u) << a.log;
    EXPECT_EQ(lines[0], "Cost  \t[n]\t[rain]\t[dur]\t");
    double best = 1e300;
    std::vector<double> seen;
    for (size_t i = 1; i < lines.size(); ++i) {
        const auto v = numbers(lines[i]);
        ASSERT_EQ(v.size(), 4u) << lines[i];
        EXPECT_GE(v[1], 0.03);
        EXPECT_LT(v[1], 0.08);
        EXPECT_EQ(v[2], 50.0);
        EXPECT_EQ(v[3], 20.0);
        EXPECT_GE(v[0], 0.0);
        EXPECT_LT(v[0], 2.0);   // every run finished and was scored
        best = std::min(best, std::fabs(v[0]));
        seen.push_back(v[1]);
    }
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(std::unique(seen.begin(), seen.end()), seen.end());   // twenty different draws
    EXPECT_NEAR(numbers(a.best.substr(0, a.best.find(':')))[0], best, 1e-6);

    // A second study in the same folder appends, with no second header.
    const mc_files again = monte_carlo(one.path(), 1, 5, false);
    EXPECT_EQ(split_lines(again.log).size(), 26u);
    EXPECT_EQ(count_of(again.log, "Cost"), 1);
    EXPECT_EQ(count_of(again.results, "--Cost--"), 1);
    EXPECT_EQ(split_lines(again.results).size(), 26u);
}

TEST(CalibrationEndToEnd, SensitivityStudyMakesFiveHundredTrials) {
    temp_dir dir;
    // A small plane keeps the 500 runs short.
    plane_case c;
    c.grid = {3, 3, 10.0, 1000.0, 0.0};
    c.total_minutes = 10;
    c.rain_minutes = 5;
    project_file p = write_plane_case(dir.path(), c);
    p.remove("MANNING_N").card("MANNING_N", "[n]");
    p.write(dir.file("plane.prj"));
    write_file(dir.file("params.txt"), "1\n[n] \"%8.6lf\"\n");
    write_file(dir.file("obs.txt"), "1\n0.01 1 5 1\n");
    write_file(dir.file("s.in"), "plane.prj\nparams.txt\nobs.txt\n1\n0.02 0.1\n");
    const run_result r = run_pluvo({"-s", "s.in"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.out.substr(0, 2000);
    EXPECT_EQ(split_lines(read_file(dir.file("0000_log_file_p0.log"))).size(), 501u);
    EXPECT_NE(r.out.find("Best objective function value:"), std::string::npos);
}

// The contents of every plain file below `dir`, by path.
std::map<std::string, std::string> snapshot(const std::string& dir) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir))
        if (entry.is_regular_file()) files[entry.path().string()] = read_file(entry.path().string());
    return files;
}

// Bad inputs: each ends the study before the first trial with a message
// naming the file (and line), and exit status 1; no file is changed or made.
TEST(CalibrationEndToEnd, BadInputsStopTheStudy) {
    struct row {
        const char* name;
        const char* mode;
        std::string control;          // control file text
        std::string params, obs;      // parameter list and observation file texts
        std::vector<std::string> messages;
        std::vector<std::pair<std::string, std::string>> copies = {};   // (from, to) made before the study
    };
    const std::string head = "plane.prj\nparams.txt\nobs.txt\n";
    const std::string list1 = "1\n[n] \"%8.6lf\"\n", obs1 = "1\n1 1 3000 1\n";
    const std::string sce_tail = "300 10 0.00001 2 3737 0 1\n0 0 0 0 0 0\n0.1 0.01 0.2\n";
    const row rows[] = {
        // Files of the study that a study output or a trial's output would overwrite.
        {"observation file named as the SCE output", "-c", "plane.prj\nparams.txt\nsce_output.out\n" + sce_tail,
         list1, obs1,
         {"Error: the SCE study names the output file sce_output.out, which is the input file "
          "sce_output.out of the observation file named in sce.in; an output never overwrites an input",
          "plane.prj of the study cannot be run"},
         {{"obs.txt", "sce_output.out"}}},
        {"project file named as the SCE output", "-c", "sce_output.out\nparams.txt\nobs.txt\n" + sce_tail, list1,
         obs1, {"names the output file sce_output.out, which is the input file sce_output.out of the project file"},
         {{"plane.prj", "sce_output.out"}}},
        {"project file named as a trial's results file", "-m3", "0000_results_all.out\nparams.txt\nobs.txt\n1\n0.01 0.1\n",
         list1, obs1,
         {"Error: the Monte Carlo study names the output file results_all.out, which is the input file "
          "0000_results_all.out of the project file"},
         {{"plane.prj", "0000_results_all.out"}}},
        {"trial summary over the observation file", "-c", "plane.prj\nparams.txt\n0000_summ.out\n" + sce_tail, list1,
         obs1,
         {"Error: card SUMMARY names the output file summ.out, which is the input file 0000_summ.out of the "
          "observation file named in sce.in"},
         {{"obs.txt", "0000_summ.out"}}},
        {"missing project file", "-c", "absent.prj\nparams.txt\nobs.txt\n" + sce_tail, list1, obs1,
         {"Error: The specified project file was not found.",
          "Error: the project file absent.prj of the study cannot be run"}},
        {"Monte Carlo missing project file", "-m3", "absent.prj\nparams.txt\nobs.txt\n1\n0.01 0.1\n", list1, obs1,
         {"the project file absent.prj of the study cannot be run"}},
        {"parameter line without brackets", "-c", head + sce_tail, "1\nn \"%8.6lf\"\n", obs1,
         {"Error: parameter list file params.txt, line 2: a parameter line must hold a bracketed name"}},
        {"Monte Carlo parameter line without brackets", "-m3", head + "1\n0.01 0.1\n", "1\nn \"%8.6lf\"\n", obs1,
         {"parameter list file params.txt, line 2"}},
        {"six settings", "-c", head + "300 10 0.00001 2 3737 0\n0 0 0 0 0 0\n0.1 0.01 0.2\n", list1, obs1,
         {"The first line must have 7 parameters", "sce.in, line 4"}},
        {"lower equal to upper", "-c", head + "300 10 0.00001 2 3737 0 1\n0 0 0 0 0 0\n0.1 0.1 0.1\n", list1, obs1,
         {"Lower bound is greater than upper bound for varialbe 1", "sce.in, line 6"}},
        {"nopt 0", "-c", head + "300 10 0.00001 2 3737 0 0\n0 0 0 0 0 0\n", list1, obs1,
         {"sce.in, line 4", "nopt"}},
        {"observation line of three numbers", "-c", head + "300 10 0.00001 2 3737 0 1\n0 0 0 0 0 0\n0.1 0.01 0.2\n",
         list1, "2\n1 1 3000 1\n1 1 3000\n", {"obs.txt, line 3", "unable to open the observation file"}},
        {"no weighted observation", "-c", head + "300 10 0.00001 2 3737 0 1\n0 0 0 0 0 0\n0.1 0.01 0.2\n", list1,
         "1\n1 0 3000 0\n", {"obs.txt has no entry with a weight"}},
        {"list longer than nopt", "-c", head + "300 10 0.00001 2 3737 0 1\n0 0 0 0 0 0\n0.1 0.01 0.2\n",
         "2\n[n] \"%8.6lf\"\n[m] \"%8.6lf\"\n", obs1, {"params.txt names 2 parameters", "gives 1 trial values"}},
        {"unreadable list", "-c", head + "300 10 0.00001 2 3737 0 1\n0 0 0 0 0 0\n0.1 0.01 0.2\n", "", obs1,
         {"params.txt could not be read"}},
        {"missing SCE input", "-c", "", list1, obs1, {"Can't open SCE input file"}},
        {"Monte Carlo lower above upper", "-m3", head + "1\n0.2 0.1\n", list1, obs1, {"mc.in, line 5", "above the upper"}},
        {"Monte Carlo upper not a number", "-m3", head + "1\n0.1 abc\n", list1, obs1, {"mc.in, line 5"}},
        {"Monte Carlo list longer than n", "-m3", head + "1\n0.01 0.1\n", "2\n[n] \"%8.6lf\"\n[m] \"%8.6lf\"\n",
         obs1, {"params.txt names 2 parameters"}},
        {"Monte Carlo observation of three numbers", "-m3", head + "1\n0.01 0.1\n", list1, "1\n1 1 3000\n",
         {"obs.txt, line 2"}},
    };
    for (const row& c : rows) {
        SCOPED_TRACE(c.name);
        temp_dir dir;
        plane_case small;
        small.grid = {3, 3, 10.0, 1000.0, 0.0};
        write_plane_case(dir.path(), small).remove("MANNING_N").card("MANNING_N", "[n]").write(dir.file("plane.prj"));
        const std::string control = std::string(c.mode) == "-c" ? "sce.in" : "mc.in";
        if (!c.control.empty()) write_file(dir.file(control), c.control);
        if (!c.params.empty()) write_file(dir.file("params.txt"), c.params);
        write_file(dir.file("obs.txt"), c.obs);
        for (const auto& copy : c.copies) write_file(dir.file(copy.second), read_file(dir.file(copy.first)));
        const auto before = snapshot(dir.path());
        const run_result r = run_pluvo({c.mode, control}, dir.path());
        EXPECT_EQ(r.status, 1) << r.out;
        for (const std::string& m : c.messages) EXPECT_NE(r.out.find(m), std::string::npos) << m << "\n" << r.out;
        // No trial ran, nothing was written or appended, every file is as it was.
        EXPECT_EQ(snapshot(dir.path()), before) << r.out;
    }
}

// Studies in which every trial's run stopped: each made its trials, then
// exits 1 with the message and writes no best set.
TEST(CalibrationEndToEnd, StudiesWhereNoTrialRanToItsEndFail) {
    temp_dir dir;
    plane_case small;
    small.grid = {3, 3, 10.0, 1000.0, 0.0};
    small.total_minutes = 10;
    // The elevation map is missing: every run stops when it opens its files.
    write_plane_case(dir.path(), small).remove("MANNING_N").card("MANNING_N", "[n]")
        .remove("ELEVATION").card("ELEVATION", "absent.asc").write(dir.file("plane.prj"));
    write_file(dir.file("params.txt"), "1\n[n] \"%8.6lf\"\n");
    write_file(dir.file("obs.txt"), "1\n1 1 3000 1\n");
    write_file(dir.file("sce.in"), "plane.prj\nparams.txt\nobs.txt\n4 10 0.00001 1 3737 0 1\n0 0 0 0 0 0\n0.1 0.01 0.2\n");
    write_file(dir.file("mc.in"), "plane.prj\nparams.txt\nobs.txt\n1\n0.01 0.1\n");
    struct row {
        std::vector<std::string> args;
        std::string message, best;
    };
    const row rows[] = {
        {{"-c", "sce.in"}, "trials of the SCE calibration ran to its end", "0000_sce_best.out"},
        {{"-m2", "mc.in"}, "Error: none of the 2 trials of the Monte Carlo study ran to its end", "0000_best.out"},
    };
    for (const row& c : rows) {
        const run_result r = run_pluvo(c.args, dir.path());
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_NE(r.out.find("Unable to open elevation data file"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find(c.message), std::string::npos) << r.out;
        EXPECT_FALSE(file_exists(dir.file(c.best))) << c.best;
        EXPECT_EQ(r.out.find("Best objective function value"), std::string::npos);
    }
}

}  // namespace

namespace {

TEST(CalibrationEndToEnd, MonteCarloTakesPathsOfAnyLength) {
    temp_dir dir;
    plane_case small;
    small.grid = {3, 3, 10.0, 1000.0, 0.0};
    small.total_minutes = 10;
    const std::string longer(230, 'p');   // names beyond 200 characters
    write_plane_case(dir.path(), small).remove("MANNING_N").card("MANNING_N", "[n]")
        .write(dir.file(longer + ".prj"));
    write_file(dir.file("l" + longer + ".txt"), "1\n[n] \"%8.6lf\"\n");
    write_file(dir.file("o" + longer + ".txt"), "1\n0.01 1 5 1\n");
    write_file(dir.file("mc.in"), longer + ".prj\nl" + longer + ".txt\no" + longer + ".txt\n1\n0.02 0.1\n");
    const run_result r = run_pluvo({"-m2", "mc.in"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(split_lines(read_file(dir.file("0000_log_file_p0.log"))).size(), 3u);
}

}  // namespace
