// Rain to cells: inverse-distance and nearest-gage intensities on a
// three-gage layout against hand-computed values, the single-gage and
// failure cases, and thread-count independence.
#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <cstring>
#include <string>

#include "hydromet/precip_file.h"
#include "hydromet/rain_cells.h"
#include "rain_test_support.h"

using namespace rain_test;

namespace {

// Gages 1 (0,0) = 10, 2 (100,0) = 20, 3 (0,100) = 40 for period 1.
void set_three_gages(run_state& rs) {
    rs.num_gages = 3;
    rs.gage_x = {0.0, 0.0, 100.0, 0.0};
    rs.gage_y = {0.0, 0.0, 0.0, 100.0};
    resize_gage_table(rs.gage_values, 4, 2, 0.0);
    rs.gage_values.rows[1][1] = 10.0;
    rs.gage_values.rows[2][1] = 20.0;
    rs.gage_values.rows[3][1] = 40.0;
}

struct cell_case {
    const char* what;
    double x, y;          // cell centre, m
    double idw;           // hand-computed inverse-distance value
    int nearest;          // hand-computed nearest gage
};

// Squared distances worked out by hand for each centre.
const cell_case kThreeGageCells[] = {
    // d2 = 2500, 2500, 12500: (10*5 + 20*5 + 40*1) / (5 + 5 + 1)
    {"between gages 1 and 2", 50.0, 0.0, 190.0 / 11.0, 1},
    // 7.07 m from gage 1, closer than dx = 10 m: gage 1's own value
    {"inside dx of gage 1", 5.0, 5.0, 10.0, 1},
    // d2 = 5000 for all three: the mean; equal distances give the lower gage
    {"equidistant", 50.0, 50.0, 70.0 / 3.0, 1},
    // d2 = 18050, 9050, 9050
    {"gages 2 and 3 tied", 95.0, 95.0,
     (10.0 / 18050.0 + 20.0 / 9050.0 + 40.0 / 9050.0) / (1.0 / 18050.0 + 2.0 / 9050.0), 2},
    // on gage 2 itself: no division by a zero distance
    {"on gage 2", 100.0, 0.0, 20.0, 2},
    // d2 = 10000+1600=11600 (gage 1 at 107.7), 1600 (gage 2), 20000+... far
    {"near gage 2", 100.0, 40.0,
     (10.0 / 11600.0 + 20.0 / 1600.0 + 40.0 / 13600.0) /
         (1.0 / 11600.0 + 1.0 / 1600.0 + 1.0 / 13600.0),
     2},
};

run_state_ptr three_gage_state() {
    std::vector<std::pair<double, double>> centres;
    for (const cell_case& c : kThreeGageCells) centres.emplace_back(c.x, c.y);
    run_state_ptr rs = make_state(centres, 10.0);
    set_three_gages(*rs);
    return rs;
}

}  // namespace

TEST(RainToCells, InverseDistanceMatchesHandValues) {
    run_state_ptr rs = three_gage_state();
    interpolate_gages(rs->cell_size, 1, rs->num_gages, rs->gage_x, rs->gage_y, rs->gage_values,
                      rs->cell_x, rs->cell_y, rs->cell_rain_rate, rs->GNUM);
    int k = 1;
    for (const cell_case& c : kThreeGageCells) {
        EXPECT_NEAR(rs->cell_rain_rate[static_cast<size_t>(k)], c.idw, 1e-12) << c.what;
        ++k;
    }
}

TEST(RainToCells, NearestGageMatchesHandTable) {
    run_state_ptr rs = three_gage_state();
    ASSERT_TRUE(build_nearest_gage_table(rs->num_gages, rs->gage_x, rs->gage_y, rs->cell_x,
                                         rs->cell_y, rs->nearest, rs->GNUM));
    fork_gage_rain_to_cells(1, rs->num_gages, rs->nearest, rs->gage_values, rs->cell_rain_rate,
                            rs->GNUM);
    int k = 1;
    for (const cell_case& c : kThreeGageCells) {
        EXPECT_EQ(rs->nearest[static_cast<size_t>(k)], c.nearest) << c.what;
        EXPECT_DOUBLE_EQ(rs->cell_rain_rate[static_cast<size_t>(k)],
                         rs->gage_values.rows[c.nearest][1])
            << c.what;
        ++k;
    }
}

TEST(RainToCells, FirstGageInsideTheCellWins) {
    // Cell centre 10 m from gage 3 and 40 m from gage 1, dx = 30 m: gage 3.
    // With gage 1 also inside 30 m the first in gage order (gage 1) wins.
    struct {
        double g1x;
        double expected;
    } cases[] = {{40.0, 3.0}, {20.0, 1.0}};
    for (const auto& c : cases) {
        run_state_ptr rs = make_state({{0.0, 0.0}}, 30.0);
        rs->num_gages = 3;
        rs->gage_x = {0.0, c.g1x, 500.0, 10.0};
        rs->gage_y = {0.0, 0.0, 500.0, 0.0};
        resize_gage_table(rs->gage_values, 4, 2, 0.0);
        for (int j = 1; j <= 3; ++j) rs->gage_values.rows[j][1] = j;
        interpolate_gages(rs->cell_size, 1, 3, rs->gage_x, rs->gage_y, rs->gage_values, rs->cell_x,
                          rs->cell_y, rs->cell_rain_rate, rs->GNUM);
        EXPECT_DOUBLE_EQ(rs->cell_rain_rate[1], c.expected) << "gage 1 at x " << c.g1x;
    }
}

TEST(RainToCells, SingleGageRainsEverywhereByEitherMethod) {
    run_state_ptr rs = make_row(5, 10.0);
    rs->num_gages = 1;
    rs->gage_x = {0.0, 1.0e7};   // far away: the value is used anyway
    rs->gage_y = {0.0, 1.0e7};
    resize_gage_table(rs->gage_values, 2, 2, 0.0);
    rs->gage_values.rows[1][1] = mmh(12.0);
    for (int method = 0; method < 2; ++method) {
        std::fill(rs->cell_rain_rate.begin(), rs->cell_rain_rate.end(), -1.0);
        if (method == 0) {
            interpolate_gages(rs->cell_size, 1, 1, rs->gage_x, rs->gage_y, rs->gage_values,
                              rs->cell_x, rs->cell_y, rs->cell_rain_rate, rs->GNUM);
        } else {
            fork_gage_rain_to_cells(1, 1, rs->nearest, rs->gage_values, rs->cell_rain_rate,
                                    rs->GNUM);
        }
        for (int k = 1; k <= rs->GNUM; ++k)
            EXPECT_DOUBLE_EQ(rs->cell_rain_rate[static_cast<size_t>(k)], mmh(12.0)) << method;
    }
}

TEST(RainToCells, NoGageWithin900KilometresStopsTheRun) {
    run_state_ptr rs = make_state({{0.0, 0.0}, {950000.0, 0.0}}, 10.0);
    rs->num_gages = 2;
    rs->gage_x = {0.0, 0.0, 10.0};
    rs->gage_y = {0.0, 0.0, 0.0};
    testing::internal::CaptureStdout();
    const bool ok = build_nearest_gage_table(2, rs->gage_x, rs->gage_y, rs->cell_x, rs->cell_y,
                                             rs->nearest, rs->GNUM);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_FALSE(ok);
    EXPECT_EQ(error_record.code, kErrorPrinted);
    EXPECT_EQ(out,
              "Failure to identify closest raingauge in find_neighbor\n"
              "check rain gage data file, particularly gage coordinates\n");
    clear_error();
}

TEST(RainToCells, SameIntensitiesWithOneOrEightThreads) {
    // A 40 x 40 grid under five gages: every cell's value must be bit-identical.
    std::vector<std::pair<double, double>> centres;
    for (int i = 0; i < 40; ++i)
        for (int j = 0; j < 40; ++j) centres.emplace_back(5.0 + 10.0 * j, 395.0 - 10.0 * i);
    run_state_ptr rs = make_state(centres, 10.0);
    rs->num_gages = 5;
    rs->gage_x = {0.0, 13.0, 377.0, 201.0, 54.0, 299.0};
    rs->gage_y = {0.0, 17.0, 22.0, 208.0, 371.0, 333.0};
    resize_gage_table(rs->gage_values, 6, 2, 0.0);
    for (int j = 1; j <= 5; ++j) rs->gage_values.rows[j][1] = mmh(3.7 * j);
    std::vector<double> results[2];
    const int threads[2] = {1, 8};
    const int saved = omp_get_max_threads();
    for (int t = 0; t < 2; ++t) {
        omp_set_num_threads(threads[t]);
        interpolate_gages(rs->cell_size, 1, 5, rs->gage_x, rs->gage_y, rs->gage_values, rs->cell_x,
                          rs->cell_y, rs->cell_rain_rate, rs->GNUM);
        results[t] = rs->cell_rain_rate;
    }
    omp_set_num_threads(saved);
    ASSERT_EQ(results[0].size(), results[1].size());
    EXPECT_EQ(std::memcmp(results[0].data(), results[1].data(), results[0].size() * sizeof(double)),
              0);
}
