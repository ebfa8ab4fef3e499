// Trials made in this process one after another: the record's layout, a
// failed run ranking last, nothing of one trial reaching the next, and no
// file handle left open by a trial.
#include <gtest/gtest.h>
#include <dirent.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "calibration/calib_objective.h"
#include "calibration/calibration.h"
#include "core/file_object.h"
#include "fixture.h"
#include "pluvo_test.h"
#include "run/run_state.h"

namespace {

using namespace pluvo_test;

int open_descriptors() {
    int n = 0;
    DIR* d = opendir("/proc/self/fd");
    if (d == nullptr) return -1;
    while (readdir(d) != nullptr) ++n;
    closedir(d);
    return n;
}

// Works in `dir` while it lives, and comes back.
class in_folder {
public:
    explicit in_folder(const std::string& dir) : back_(std::filesystem::current_path()) {
        std::filesystem::current_path(dir);
    }
    ~in_folder() { std::filesystem::current_path(back_); }

private:
    std::filesystem::path back_;
};

TEST(CalibTrial, RecordLayoutFollowsEventsAndLocations) {
    struct row {
        int events, locations;
        bool uniform;
        int stride;
        size_t flat;
        int sed_locations = -1;   // sediment calibration with this many sediment locations
    };
    const row rows[] = {
        {1, 0, false, 1, 3},    // outlet only: entry e is the peak of event e
        {2, 2, false, 3, 8},    // entry 3 is location 2 of event 1, entry 4 the outlet of event 2
        {0, 0, true, 1, 3},     // a uniform rain is one event
        {2, 2, false, 2, 6, 1},   // sediment: the sediment location, not the hydrograph ones
        {2, 2, false, 1, 4, 0},   // sediment without a location list: outlet only
    };
    for (const row& c : rows) {
        run_state* rs = create_run_state();
        calib_output record;
        rs->calibration_run = 1;
        rs->calib_output = &record;
        rs->num_events = c.events;
        rs->uniform_rain = c.uniform ? 1 : 0;
        rs->hyd_locations_on = c.locations > 0;
        rs->num_hyd_locations = c.locations;
        if (c.sed_locations >= 0) {
            rs->optimize_sed = 1;
            rs->chan_sed.on = 1;
            rs->sed_locations_on = c.sed_locations > 0;
            rs->num_sed_locations = c.sed_locations;
        }
        alloc_calib_output(*rs);
        EXPECT_EQ(record.stride, c.stride);
        EXPECT_EQ(record.peaks.size(), c.flat);
        EXPECT_EQ(record.volumes.size(), c.flat);
        EXPECT_EQ(record.location_peak.size(), static_cast<size_t>(c.stride) + 1);
        EXPECT_EQ(record.run_completed, 0);
        rs->calib_output = nullptr;
        destroy_run_state(rs);
    }
}

// The end-of-run line: the outlet's wash-load total (m3, never scaled) in
// sediment calibration, else the discharge volume (ft3 in English units).
TEST(CalibTrial, EndOfRunLineTotalsWhatTheModeCompares) {
    struct row {
        bool sediment, english;
        const char* line;
    };
    const row rows[] = {
        {false, false, "3   1000.000000\n"},
        {false, true, "3  35320.000000\n"},
        {true, false, "3      2.500000\n"},
        {true, true, "3      2.500000\n"},
    };
    for (const row& c : rows) {
        temp_dir dir;
        run_state* rs = create_run_state();
        rs->calibration_run = 1;
        rs->event_index = 2;
        rs->vol_discharge = 1000.0;
        rs->chan_sed.wash_outlet_run = 2.5;
        rs->optimize_sed = c.sediment ? 1 : 0;
        rs->english_units = c.english ? 1 : 0;
        ASSERT_TRUE(open_file_named(rs->optimization_file, dir.file("optim.out").c_str(), "w"));
        write_calibration_total(*rs);
        EXPECT_FALSE(rs->optimization_file.is_open());
        EXPECT_EQ(read_file(dir.file("optim.out")), c.line) << c.sediment << c.english;
        destroy_run_state(rs);
    }
}

TEST(CalibTrial, TrialsLeaveNothingBehind) {
    temp_dir dir;
    plane_case c;
    c.grid = {5, 5, 10.0, 1000.0, 0.0};
    c.total_minutes = 10;
    c.rain_minutes = 5;
    c.threads = 1;
    project_file p = write_plane_case(dir.path(), c);
    p.remove("MANNING_N").card("MANNING_N", "[n]");
    p.write(dir.file("plane.prj"));
    write_file(dir.file("params.txt"), "1\n[n] \"%8.6lf\"\n");
    write_file(dir.file("obs.txt"), "1\n0.01 1 5 1\n");

    in_folder here(dir.path());
    study_scope scope;
    calib_objective objective;
    ASSERT_EQ(objective.read_observations("obs.txt"), 1);

    // A run that stops on an error (Manning n of 0 is refused) ranks last.
    trial_status status = trial_status::list_failed;
    EXPECT_EQ(calib_run_callback("params.txt", "plane.prj", {0, 0.0}, objective, 1, &status), kFailedCost);
    EXPECT_EQ(status, trial_status::run_failed);
    objective.finish(0);

    // Two values in turn, a hundred trials: each value always scores the
    // same, and the open files after trial 10 are those after trial 100.
    const double values[2] = {0.03, 0.06};
    double first_cost[2] = {0, 0};
    int after_ten = -1;
    for (int trial = 1; trial <= 100; ++trial) {
        const int k = trial % 2;
        // Three trial values for a one-entry list: the first is used.
        const double cost = calib_run_callback("params.txt", "plane.prj", {0, values[k], 9.0, 9.0}, objective, 3,
                                               &status);
        ASSERT_EQ(status, trial_status::scored);
        ASSERT_LT(cost, kFailedCost) << "trial " << trial;   // the run finished and was scored
        if (trial <= 2) {
            first_cost[k] = cost;
        } else {
            ASSERT_EQ(cost, first_cost[k]) << "trial " << trial;
        }
        objective.finish(0);
        if (trial == 10) after_ten = open_descriptors();
    }
    EXPECT_NE(first_cost[0], first_cost[1]);
    EXPECT_EQ(open_descriptors(), after_ten);
    EXPECT_EQ(split_lines(read_file(dir.file("0000_results_all.out"))).size(), 102u);

    // A list that cannot be read stops the study.
    EXPECT_EQ(calib_run_callback("absent.txt", "plane.prj", {0, 0.05}, objective, 1, &status), kFailedCost);
    EXPECT_EQ(status, trial_status::list_failed);
}

}  // namespace
