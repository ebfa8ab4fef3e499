// Observation file and the measures of a run: a hand-computed case, the
// guards that keep every measure finite, and the observation reader's table
// of good and bad files.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "calibration/calib_objective.h"
#include "core/error.h"
#include "pluvo_test.h"

namespace {

using vec = std::vector<double>;

// Observations from (peak, peak weight, volume, volume weight) rows.
calib_objective make(const std::vector<std::array<double, 4>>& rows) {
    calib_objective o;
    o.num_obs = static_cast<int>(rows.size());
    o.obs_peak = o.peak_weight = o.obs_volume = o.volume_weight = vec(rows.size() + 1, 0.0);
    for (size_t i = 0; i < rows.size(); ++i) {
        o.obs_peak[i + 1] = rows[i][0];
        o.peak_weight[i + 1] = rows[i][1];
        o.obs_volume[i + 1] = rows[i][2];
        o.volume_weight[i + 1] = rows[i][3];
    }
    return o;
}

vec one_based(const vec& v) {
    vec r{0.0};
    r.insert(r.end(), v.begin(), v.end());
    return r;
}

TEST(CalibObjective, HandCaseOfAllMeasures) {
    // Peaks 10, 20, 40 (weights 1) against 12, 17, 45; volumes 1000, 3000,
    // 500 (weights 1, 0.5, 0) against 900, 3300, 450.
    calib_objective o = make({{10, 1, 1000, 1}, {20, 1, 3000, 0.5}, {40, 1, 500, 0}});
    const vec p = one_based({12, 17, 45}), v = one_based({900, 3300, 450});
    // R = 40 / 3000. RMSE = sqrt(2^2 + 3^2 + 5^2 + (100 R)^2 + (300 R)^2): the root of
    // the sum of squares, not divided by the number of terms.
    // Cost = 2/10 + 3/20 + 5/40 + 100/1000 + 0.5 x 300/3000 over 5 points.
    // Log error = sum of |ln sim - ln obs| over the five weighted values.
    // HMLE: exponent where sum w e^2 = sum w e^2 ln(o)/L, L = ln 20.
    const double r = 40.0 / 3000.0;
    const double log_error = std::log(1.2) + std::log(20.0 / 17.0) + std::log(45.0 / 40.0) +
                             std::log(1000.0 / 900.0) + std::log(1.1);
    struct expect { const char* name; double got; double want; };
    const double cost = o.evaluate(&p, &v, -1, 0, {}, true);
    const expect rows[] = {
        {"ratio", o.ratio(), 0.0133333333},
        {"rmse", o.rmse_value, std::sqrt(4 + 9 + 25 + std::pow(100 * r, 2) + std::pow(300 * r, 2))},
        {"rmse hand value", o.rmse_value, 7.468452},
        {"cost", cost, 0.625},
        {"log error", o.log_error_value, log_error},
        {"log error hand value", o.log_error_value, 0.663294},
        {"hmle", o.hmle, 9.666667},
        {"max peak", o.max_peak, 45},
        {"max volume", o.max_volume, 3300},
    };
    for (const expect& e : rows) EXPECT_NEAR(e.got, e.want, 1e-6 * std::fabs(e.want)) << e.name;

    std::vector<double> obs = {10, 20, 40}, err = {-2, 3, -5};
    const double lambda = hmle_exponent(obs, err, std::log(20.0));
    EXPECT_NEAR(lambda, 0.339036, 1e-6 * 0.339036);
    // At the exponent the two sums of g balance (its root), to the search's width.
    double plain = 0, logged = 0;
    for (int k = 0; k < 3; ++k) {
        const double w = std::pow(obs[k], 2 * (lambda - 1)) * err[k] * err[k];
        plain += w;
        logged += w * std::log(obs[k]) / std::log(20.0);
    }
    EXPECT_NEAR(plain / logged - 1.0, 0.0, 1e-5);
}

// Guards and edge cases: every measure of each case, never NaN or infinite.
TEST(CalibObjective, GuardsAndEdgeCases) {
    const double F = kFailedCost, N = kNoMaximum;
    struct row {
        const char* name;
        std::vector<std::array<double, 4>> obs;
        vec sim_peak, sim_volume;
        double cost, hmle, rmse, log_error, max_peak, max_volume;
    };
    const row rows[] = {
        {"all weights 0", {{10, 0, 100, 0}, {5, 0, 50, 0}}, {10, 5}, {100, 50}, -1, -1, 0, 0, N, N},
        {"no entries", {}, {}, {}, -1, -1, 0, 0, N, N},
        {"observed peak 0 uses the plain difference", {{0, 2, 100, 0}}, {3}, {100}, 6, -1, 3, F, 3, N},
        {"weighted volume simulated -1", {{10, 1, 100, 1}}, {10}, {-1}, F, F, F, F, 10, N},
        {"missing entry beyond the record", {{10, 1, 100, 1}, {10, 1, 100, 1}}, {10}, {100}, F, F, F, F, 10, 100},
        {"all-zero observed volumes: R = 1", {{10, 1, 0, 1}}, {10}, {5}, 5, 0, 5, F, 10, 5},
        {"simulated peak 0 on a weighted entry", {{10, 1, 100, 0}}, {0}, {100}, 1, 100, 10, F, 0, N},
        {"observed peaks all 1 (mean log 0)", {{1, 1, 100, 0}, {1, 1, 100, 0}}, {2, 0.5}, {100, 100},
         1.5, (1 + 0.25) / 2, std::sqrt(1.25), std::log(2.0) * 2, 2, N},
        {"perfect fit", {{10, 1, 100, 1}}, {10}, {100}, 0, 0, 0, 0, 10, 100},
    };
    for (const row& c : rows) {
        SCOPED_TRACE(c.name);
        calib_objective o = make(c.obs);
        const vec p = one_based(c.sim_peak), v = one_based(c.sim_volume);
        const double cost = o.evaluate(&p, &v, -1, 0, {}, true);
        const double got[] = {cost, o.hmle, o.rmse_value, o.log_error_value, o.max_peak, o.max_volume};
        const double want[] = {c.cost, c.hmle, c.rmse, c.log_error, c.max_peak, c.max_volume};
        const char* names[] = {"cost", "hmle", "rmse", "log error", "max peak", "max volume"};
        for (int k = 0; k < 6; ++k) {
            EXPECT_TRUE(std::isfinite(got[k])) << names[k];
            EXPECT_NEAR(got[k], want[k], 1e-9 * std::max(1.0, std::fabs(want[k]))) << names[k];
        }
    }
}

TEST(CalibObjective, MissingArraysAndIncompleteRunsScoreLast) {
    calib_objective o = make({{10, 1, 100, 1}});
    EXPECT_EQ(o.hmle_cost(nullptr, nullptr), kFailedCost);
    EXPECT_EQ(o.rmse(nullptr, nullptr), kFailedCost);
    EXPECT_EQ(o.log_error(nullptr, nullptr), kFailedCost);
    EXPECT_EQ(o.largest_peak(nullptr), kNoMaximum);
    EXPECT_EQ(o.largest_volume(nullptr), kNoMaximum);
    // A run that stopped early would otherwise score like this perfect one.
    const vec p = one_based({10}), v = one_based({100});
    EXPECT_EQ(o.evaluate(&p, &v, -1, 0, {}, true), 0.0);
    EXPECT_EQ(o.evaluate(&p, &v, -1, 0, {}, false), kFailedCost);
    ASSERT_EQ(o.run_list.size(), 2u);
    EXPECT_EQ(o.run_list[1].cost, kFailedCost);
}

TEST(CalibObjective, HmleLeavesOutNonPositiveObservedPeaks) {
    calib_objective with_zero = make({{0, 1, 0, 0}, {10, 1, 0, 0}, {20, 1, 0, 0}});
    calib_objective without = make({{10, 1, 0, 0}, {20, 1, 0, 0}});
    const vec p3 = one_based({4, 12, 17}), v3 = one_based({0, 0, 0});
    const vec p2 = one_based({12, 17}), v2 = one_based({0, 0});
    EXPECT_NEAR(with_zero.hmle_cost(&p3, &v3), without.hmle_cost(&p2, &v2), 1e-12);
}

// Observation files: what loads and what fails, with the line named.
TEST(CalibObjective, ObservationFileTable) {
    struct row {
        const char* name;
        std::string text;
        int result;
        int entries;       // entries held after the read (those read whole)
        int failed_line;
        int code;
    };
    const row rows[] = {
        {"two entries, commas and tabs", "2\n10, 1, 1000, 1\n20\t0.5\t3000\t0\n", 1, 2, 0, 0},
        {"CRLF line ends", "1\r\n10 1 1000 1\r\n", 1, 1, 0, 0},
        {"zero entries", "0\n", -1, 0, 1, 0},
        {"negative count", "-2\n", -1, 0, 1, 0},
        {"count not a number", "two\n", -1, 0, 1, 0},
        {"ends early", "3\n10 1 1000 1\n", -1, 1, 3, 0},
        // A count far beyond the file ends at its end, not in tables of its size.
        {"count far beyond the file", "2000000000\n10 1 1000 1\n", -1, 1, 3, 0},
        {"three numbers", "2\n10 1 1000 1\n10 1 1000\n", -1, 1, 3, 135},
        {"not finite", "1\n10 1 nan 1\n", -1, 0, 2, 135},
        {"empty file", "", -1, 0, 1, 0},
    };
    pluvo_test::temp_dir dir;
    for (const row& c : rows) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file("obs.txt");
        pluvo_test::write_file(path, c.text);
        error_record.code = 0;
        calib_objective o;
        EXPECT_EQ(o.read_observations(path), c.result);
        EXPECT_EQ(o.num_obs, c.entries);
        EXPECT_EQ(o.failed_line, c.failed_line);
        EXPECT_EQ(error_record.code, c.code);
        error_record.code = 0;
    }
    calib_objective o;
    EXPECT_EQ(o.read_observations(dir.file("absent.txt")), -1);
    pluvo_test::write_file(dir.file("obs.txt"), "2\n10, 1, 1000, 1\n20\t0.5\t3000\t0\n");
    ASSERT_EQ(o.read_observations(dir.file("obs.txt")), 1);
    EXPECT_EQ(o.obs_peak, (vec{0, 10, 20}));
    EXPECT_EQ(o.peak_weight, (vec{0, 1, 0.5}));
    EXPECT_EQ(o.obs_volume, (vec{0, 1000, 3000}));
    EXPECT_EQ(o.volume_weight, (vec{0, 1, 0}));
}

}  // namespace
