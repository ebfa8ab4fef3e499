// Checks the storm-drain end-to-end tests share on the program's summary.
#pragma once
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "pluvo_test.h"

namespace sd_test {

// The event balance (inputs with the water held at the start, against the
// outputs with the water held at the end) and the run balance close to
// `tolerance` (relative), and the drains' own balance to the printed 0.01 m3.
inline void expect_balances_close(const std::string& summary, double tolerance) {
    using pluvo_test::number_in_summary;
    const double in = number_in_summary(summary, "Mass input + original mass:");
    const double out = number_in_summary(summary, "Mass output + final mass:");
    ASSERT_GT(in, 0.0) << summary;
    EXPECT_LT(std::fabs(in - out) / in, tolerance) << summary;
    EXPECT_LT(std::fabs(number_in_summary(summary, "Overall balance, relative error =")), tolerance) << summary;
    EXPECT_NEAR(number_in_summary(summary, "Subsurface drain mass bal error m^3="), 0.0, 0.011) << summary;
}

}  // namespace sd_test
