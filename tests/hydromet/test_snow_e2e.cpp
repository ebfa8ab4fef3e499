// Snow in an event run through the program: a plane under an initial snow
// pack and rain at 0 degrees C (no hydromet record) keeps its pack whole, the
// rain runs off as it does without snow, and the run balance books the pack
// as storage at the start and at the end, with 1 and 8 threads alike.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "fixture.h"
#include "pluvo_test.h"

using namespace pluvo_test;

namespace {

double number_after(const std::string& text, const std::string& label) {
    const size_t pos = text.rfind(label);
    if (pos == std::string::npos) return std::nan("");
    return std::strtod(text.c_str() + pos + label.size(), nullptr);
}

struct snow_run {
    std::string summary;
    std::string hydrograph;
};

// One run of the plane; `swe` m of initial snow (0: none), `model` a snow model card or "".
snow_run run_plane(double swe, const std::string& model, int threads) {
    temp_dir dir;
    plane_case c;
    c.grid.rows = 10;
    c.grid.cols = 8;
    c.grid.cell = 10.0;
    c.rain_mm_h = 40.0;
    c.rain_minutes = 30;
    c.total_minutes = 90;
    c.timestep = 10.0;
    c.threads = threads;
    project_file p = write_plane_case(dir.path(), c);
    if (swe > 0.0) p.card("INIT_SWE_DEPTH", swe);
    if (!model.empty()) p.card(model);
    p.write(dir.file("plane.prj"));
    const run_result r = run_pluvo({"plane.prj"}, dir.path(), "", {parallel_from_cells_env(16)});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    return {read_file(dir.file("summ.out")), read_file(dir.file("outlet.hyd"))};
}

TEST(SnowProgram, EventRunKeepsThePackAndBooksIt) {
    const double swe = 0.05;                       // m
    const double area = 10 * 8 * 10.0 * 10.0;      // m2
    const snow_run bare = run_plane(0.0, "", 1);
    struct row {
        const char* model;
    };
    const row rows[] = {{"NWSRFS_SNOW"}, {"EB_NWSRFS_SNOW"}, {""}};
    for (const row& r : rows) {
        SCOPED_TRACE(std::string("model card ") + r.model);
        const snow_run one = run_plane(swe, r.model, 1);
        const snow_run eight = run_plane(swe, r.model, 8);
        EXPECT_EQ(one.hydrograph, bare.hydrograph);   // the rain runs off as without snow
        EXPECT_EQ(one.hydrograph, eight.hydrograph);
        EXPECT_NEAR(number_after(one.summary, "Final volume of snow="), swe * area, 0.005);
        EXPECT_NEAR(number_after(one.summary, "Overall mass balance error ="), 0.0, 1e-6) << one.summary;
        EXPECT_NEAR(number_after(one.summary, "initial liquid-equiv. volume of snow:"), swe * area, 0.05);
        EXPECT_NEAR(number_after(one.summary, "final volume of snow (cu. m):"), swe * area, 0.05);
    }
}

}  // namespace
