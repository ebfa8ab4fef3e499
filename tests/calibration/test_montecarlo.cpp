// The Monte Carlo study with a trial runner that makes no model run: the
// best trial by absolute cost, the draws against their bounds, and the
// fixed parameters.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "calibration/montecarlo.h"
#include "pluvo_test.h"

namespace {

using namespace pluvo_test;

class in_folder {
public:
    explicit in_folder(const std::string& dir) : back_(std::filesystem::current_path()) {
        std::filesystem::current_path(dir);
    }
    ~in_folder() { std::filesystem::current_path(back_); }

private:
    std::filesystem::path back_;
};

TEST(MonteCarlo, BestTrialByAbsoluteCostAndDrawsWithinBounds) {
    temp_dir dir;
    write_file(dir.file("p.prj"), "PLUVOPROJECT\nMANNING_N [a]\n");
    write_file(dir.file("list.txt"), "3\n[a] \"%lf\"\n[b] \"%lf\"\n[c] \"%lf\"\n");
    write_file(dir.file("obs.txt"), "1\n1 1 1 1\n");
    write_file(dir.file("mc.in"), "p.prj\nlist.txt\nobs.txt\n3\n-2 5\n7 # fixed\n-1.5\n");
    in_folder here(dir.path());
    study_scope scope;

    const double costs[] = {-3.0, 2.0, 2.0, -2.5, 4.0};
    std::vector<std::vector<double>> trials;
    montecarlo study(5, "mc.in", 99u);
    ASSERT_EQ(study.input_ok, 1);
    study.run_callback = [&](const std::string& list, const std::string& project, const std::vector<double>& t,
                             calib_objective&, int n, trial_status* status) {
        EXPECT_EQ(list, "list.txt");
        EXPECT_EQ(project, "p.prj");
        EXPECT_EQ(n, 3);
        *status = trial_status::scored;
        trials.push_back(t);
        return costs[trials.size() - 1];
    };
    ASSERT_EQ(study.run(), 1);
    ASSERT_EQ(trials.size(), 5u);
    for (const auto& t : trials) {
        EXPECT_GE(t[1], -2.0);
        EXPECT_LT(t[1], 5.0);
        EXPECT_EQ(t[2], 7.0);
        EXPECT_EQ(t[3], -1.5);
    }
    // |2| beats |-3|; the later 2 and the larger |-2.5| do not replace it.
    EXPECT_EQ(study.best_cost, 2.0);
    EXPECT_EQ(study.best[1], trials[1][1]);
    study.write_best();
    const std::string best = read_file(dir.file("best.out"));
    EXPECT_EQ(best.substr(0, best.find(':')), "2.000000");

    // The same seed draws the same trials.
    std::vector<std::vector<double>> again;
    montecarlo repeat(5, "mc.in", 99u);
    repeat.run_callback = [&](const std::string&, const std::string&, const std::vector<double>& t, calib_objective&,
                              int, trial_status* status) {
        *status = trial_status::scored;
        again.push_back(t);
        return 1.0;
    };
    ASSERT_EQ(repeat.run(), 1);
    EXPECT_EQ(again, trials);
}

}  // namespace
