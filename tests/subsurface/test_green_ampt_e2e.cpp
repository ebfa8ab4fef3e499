// Green-Ampt infiltration through the program: a plane under rain heavier
// than the soil's conductivity stays dry at its outlet until the ponding
// time of Green-Ampt theory, and the event balance rain = infiltration +
// outlet + surface storage closes in the summary.
//
// Reference: under rain i > K the surface ponds when the infiltrated depth
// reaches Fp = K S / (i - K), at tp = Fp / i, with S = capillary drive x
// (porosity - initial water content).
#include <gtest/gtest.h>
#include <cmath>
#include <cstdlib>
#include <string>
#include "fixture.h"
#include "pluvo_test.h"

using namespace pluvo_test;

namespace {

double number_after(const std::string& text, const std::string& label) {
    size_t pos = text.rfind(label);
    if (pos == std::string::npos) return std::nan("");
    return std::strtod(text.c_str() + pos + label.size(), nullptr);
}

}  // namespace

TEST(GreenAmptProgram, OutletStaysDryUntilPondingAndTheBalanceCloses) {
    temp_dir dir;
    plane_case c;
    c.grid.rows = 10;
    c.grid.cols = 5;
    c.grid.cell = 10.0;
    c.slope = 0.02;
    c.rain_mm_h = 50.0;     // i = 5 cm/h
    c.rain_minutes = 40;
    c.total_minutes = 80;
    c.timestep = 10.0;
    project_file p = write_plane_case(dir.path(), c);
    p.card("SIG_OUTLET_HYDRO", "outlet6.hyd");

    const double k_cm_h = 1.0, capillary_cm = 10.0, porosity = 0.45, moisture = 0.2;
    const struct {
        const char* card;
        const char* file;
        double value;
    } soils[] = {{"CONDUCTIVITY", "ks.asc", k_cm_h}, {"CAPILLARY", "hc.asc", capillary_cm},
                 {"POROSITY", "por.asc", porosity}, {"MOISTURE", "moist.asc", moisture}};
    for (const auto& m : soils) {
        write_grid(dir.file(m.file), c.grid, [&](int, int) { return m.value; }, 3);
        p.card(m.card, m.file);
    }
    p.card("GREEN_AMPT").write(dir.file("plane.prj"));
    run_result r = run_pluvo({"plane.prj"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.out << r.err;

    // Ponding time, minutes.
    const double i_cm_h = c.rain_mm_h / 10.0;
    const double s_cm = capillary_cm * (porosity - moisture);
    const double tp = k_cm_h * s_cm / (i_cm_h - k_cm_h) / i_cm_h * 60.0;
    const double step_min = c.timestep / 60.0;
    bool flowed = false;
    for (const auto& [minute, q] : read_hydrograph(dir.file("outlet6.hyd"))) {
        if (minute < tp - step_min) {
            EXPECT_EQ(q, 0.0) << "minute " << minute;
        }
        if (minute <= c.rain_minutes && q > 0.0) flowed = true;
    }
    EXPECT_TRUE(flowed);

    // The event balance of the summary.
    const std::string s = read_file(dir.file("summ.out"));
    const double area = c.grid.rows * c.grid.cols * c.grid.cell * c.grid.cell;
    const double rain = c.rain_mm_h / 1000.0 * c.rain_minutes / 60.0 * area;
    const double rained = number_after(s, "volume of rainfall to overland:");
    const double infiltrated = number_after(s, "volume of infiltrated water:");
    const double discharged = number_after(s, "volume of discharge:");
    const double remaining = number_after(s, "volume remaining on surface:");
    EXPECT_NEAR(rained, rain, 0.05);
    // At least K x duration soaked in everywhere, at most all the rain.
    EXPECT_GT(infiltrated, k_cm_h / 100.0 * c.rain_minutes / 60.0 * area);
    EXPECT_LT(infiltrated, rain);
    EXPECT_GT(discharged, 0.0);
    // Volumes print with one decimal: the sum closes within their rounding.
    EXPECT_NEAR(infiltrated + discharged + remaining, rained, 0.2) << s;
    const double in = number_after(s, "Mass input + original mass:");
    const double out = number_after(s, "Mass output + final mass:");
    // Both print in m3 with six decimals: closed to that resolution.
    EXPECT_NEAR(in, rain, 1e-9 * rain + 1e-6);
    EXPECT_NEAR(out, in, 1e-9 * in + 1e-6) << s;
}
