// Canopy interception: the held and passed rain of one step (held + passed
// always equals the rain), the seasonal divisor, and the start-up maps.
#include <gtest/gtest.h>

#include <string>

#include "hydromet/interception.h"
#include "input/grid.h"
#include "pluvo_test.h"
#include "rain_test_support.h"

using namespace rain_test;
using pluvo_test::temp_dir;
using pluvo_test::write_file;

namespace {

struct canopy_case {
    const char* what;
    double stor_mm, coef, dep_mm;   // capacity, coefficient, depth held before the step
    double rain_mmh, dt;            // rain intensity (mm/h) over dt seconds
    double divisor;
    double held_mm;                 // hand-computed depth held in the step
    double passed_mmh;              // hand-computed intensity passing the canopy
};

const canopy_case kCanopyCases[] = {
    {"free storage larger than the rain", 2.0, 0.3, 0.0, 36.0, 100.0, 1.0, 1.0, 0.0},
    {"no capacity: the share c is held", 0.0, 0.25, 0.0, 36.0, 100.0, 1.0, 0.25, 27.0},
    {"canopy filled before the step", 1.0, 0.5, 1.0, 36.0, 100.0, 1.0, 0.5, 18.0},
    // 0.5 mm free of 1 mm rain; c = 0.5 of the other 0.5 mm: 0.75 held, 0.25 mm passes.
    {"canopy fills during the step", 1.0, 0.5, 0.5, 36.0, 100.0, 1.0, 0.75, 9.0},
    // divisor 4: capacity 1 mm (0.5 free), c = 0.2: held 0.5 + 0.1, 0.4 mm passes.
    {"seasonal divisor", 4.0, 0.8, 0.5, 36.0, 100.0, 4.0, 0.6, 14.4},
    {"free storage equal to the rain", 1.0, 0.4, 0.0, 36.0, 100.0, 1.0, 1.0, 0.0},
    {"no rain", 0.0, 0.5, 0.0, 0.0, 100.0, 1.0, 0.0, 0.0},
    {"negative rain passes nothing", 1.0, 0.5, 0.0, -36.0, 100.0, 1.0, 0.0, 0.0},
};

}  // namespace

TEST(Interception, HeldPlusPassedEqualsTheRain) {
    for (const canopy_case& c : kCanopyCases) {
        run_state_ptr rs = make_row(1, 10.0);
        rs->icep_stor[1] = c.stor_mm / 1000.0;
        rs->icep_coef[1] = c.coef;
        rs->icep_dep[1] = c.dep_mm / 1000.0;
        rs->cell_rain_rate[1] = mmh(c.rain_mmh);
        std::vector<double> held_volume;
        const double total =
            apply_interception(1, c.dt, rs->icep_stor, rs->icep_coef, rs->cell_rain_rate,
                               rs->ri_eff, rs->icep_dep, held_volume, 10.0, c.divisor, 0, {});
        const double held_mm = rs->icep_dep[1] * 1000.0 - c.dep_mm;
        const double passed_mmh = rs->ri_eff[1] * kMmPerHourPerMps;
        EXPECT_NEAR(held_mm, c.held_mm, 1e-12) << c.what;
        EXPECT_NEAR(passed_mmh, c.passed_mmh, 1e-9) << c.what;
        EXPECT_NEAR(total, c.held_mm / 1000.0 * 100.0, 1e-12) << c.what;   // m3 on 10 m x 10 m
        if (c.rain_mmh >= 0.0) {
            const double rain_mm = c.rain_mmh * c.dt / 3600.0;
            EXPECT_NEAR(held_mm + passed_mmh * c.dt / 3600.0, rain_mm, 1e-12) << c.what;
        }
    }
}

TEST(Interception, SeasonalDivisorByMonthAndLatitude) {
    struct {
        int month;
        int seasonal;
        double latitude;
        double divisor;
    } cases[] = {
        {4, 0, 40.0, 1.0}, {1, 0, 20.0, 1.0},   // card off: 1 in every month
        {4, 1, 40.0, 4.0}, {4, 1, 30.0, 2.5},   {4, 1, 37.0, 4.0},
        {1, 1, 40.0, 4.0}, {2, 1, 30.0, 4.0},   {3, 1, 30.0, 4.0},  {11, 1, 50.0, 4.0},
        {12, 1, 10.0, 4.0}, {5, 1, 40.0, 3.0},  {5, 1, 30.0, 1.0},  {6, 1, 40.0, 2.0},
        {6, 1, 30.0, 1.0}, {7, 1, 40.0, 1.0},   {8, 1, 30.0, 1.0},  {9, 1, 45.0, 1.0},
        {10, 1, 40.0, 2.5}, {10, 1, 30.0, 2.5},
    };
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(seasonal_divisor(c.month, c.seasonal, c.latitude), c.divisor)
            << "month " << c.month << " latitude " << c.latitude << " card " << c.seasonal;
    }
}

namespace {

// A one-row watershed of three cells and its two interception maps.
void read_maps(run_state& rs, const temp_dir& dir, const std::string& storage,
               const std::string& coefficient, std::string& out) {
    rs.rows = rs.mask_rows = 1;
    rs.cols = rs.mask_cols = 3;
    alloc_mask_grids(rs);
    for (int j = 1; j <= 3; ++j) rs.mask[1][j] = j;
    rs.interception = 1;
    const std::string header = "north: 10\nsouth: 0\neast: 30\nwest: 0\nrows: 1\ncols: 3\n";
    const std::string stor_path = dir.file("icep_stor.asc");
    const std::string coef_path = dir.file("icep_coef.asc");
    write_file(stor_path, header + storage);
    write_file(coef_path, header + coefficient);
    std::snprintf(rs.files.storage_capacity, sizeof(rs.files.storage_capacity), "%s",
                  stor_path.c_str());
    std::snprintf(rs.files.interception_coeff, sizeof(rs.files.interception_coeff), "%s",
                  coef_path.c_str());
    ASSERT_TRUE(open_file_named(rs.storage_capacity_file, stor_path.c_str(), "r"));
    ASSERT_TRUE(open_file_named(rs.interception_coeff_file, coef_path.c_str(), "r"));
    testing::internal::CaptureStdout();
    read_interception_maps(rs);
    out = testing::internal::GetCapturedStdout();
}

}  // namespace

TEST(Interception, MapsGiveCapacityInMetresAndCoefficients) {
    run_state_ptr rs = make_row(3, 10.0);
    temp_dir dir;
    std::string out;
    read_maps(*rs, dir, "2 0.5 4\n", "0.1 0.2 1\n", out);
    ASSERT_EQ(error_record.code, 0) << out;
    EXPECT_NE(out.find("reading interception storage from file: " + dir.file("icep_stor.asc")),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("reading interception coeff. from file: " + dir.file("icep_coef.asc")),
              std::string::npos);
    const double stor[3] = {0.002, 0.0005, 0.004};
    const double coef[3] = {0.1, 0.2, 1.0};
    for (int k = 1; k <= 3; ++k) {
        EXPECT_NEAR(rs->icep_stor[static_cast<size_t>(k)], stor[k - 1], 1e-15) << k;
        EXPECT_DOUBLE_EQ(rs->icep_coef[static_cast<size_t>(k)], coef[k - 1]) << k;
    }
    EXPECT_FALSE(rs->storage_capacity_file.is_open());
    EXPECT_FALSE(rs->interception_coeff_file.is_open());
}

TEST(Interception, ValuesThatWouldMakeWaterAreRefused) {
    struct {
        const char* storage;
        const char* coefficient;
        const char* cell;
    } cases[] = {
        {"2 0.5 4\n", "0.1 1.5 0.3\n", "cell 2 "},
        {"2 -0.5 4\n", "0.1 0.2 0.3\n", "cell 2 "},
        {"2 0.5 4\n", "0.1 0.2 -0.1\n", "cell 3 "},
    };
    for (const auto& c : cases) {
        run_state_ptr rs = make_row(3, 10.0);
        temp_dir dir;
        std::string out;
        read_maps(*rs, dir, c.storage, c.coefficient, out);
        EXPECT_EQ(error_record.stop, 1) << out;
        EXPECT_NE(out.find(std::string("Error: ") + c.cell), std::string::npos) << out;
        clear_error();
    }
}
