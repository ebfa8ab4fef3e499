// Sacramento accounting: the lower-zone recession against its analytic
// decay at any step length, the step's water balance, evaporation from the
// stores, the parameter file and its refusals, the channel inflow rate of a
// step, the accounting's water with its water in transit, and the
// topographic index of small grids.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/file_object.h"
#include "pluvo_test.h"
#include "run/run_state.h"
#include "subsurface/sacramento.h"

using namespace pluvo_test;

namespace {

std::string captured(const std::function<void()>& f) {
    testing::internal::CaptureStdout();
    f();
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

// Capacities (mm) and daily fractions of a plausible basin.
sacramento_state basin() {
    sacramento_state s;
    s.uztwm = 50.0;
    s.uzfwm = 40.0;
    s.uzk = 0.3;
    s.zperc = 40.0;
    s.rexp = 2.0;
    s.lztwm = 120.0;
    s.lzfsm = 25.0;
    s.lzfpm = 60.0;
    s.lzsk = 0.05;
    s.lzpk = 0.01;
    s.pfree = 0.3;
    s.saved = 0.0;
    s.pbase = s.lzfsm * s.lzsk + s.lzfpm * s.lzpk;
    return s;
}

double storage(const sacramento_state& s) {
    return s.uztwc + s.uzfwc + s.lztwc + s.lzfsc + s.lzfpc;
}

// No input or demand, upper free water and lower supplementary water empty,
// tension stores full: only the primary store drains, lzfpc after N days =
// lzfpc0 (1 - lzpk)^N whatever the step (daily, hourly, 15 min), to 1e-12
// relative; every step balances to 1e-12 mm.
TEST(SacramentoStep, PrimaryRecessionAtAnyStepLength) {
    const double steps_per_day[] = {1.0, 24.0, 96.0};
    for (double per_day : steps_per_day) {
        SCOPED_TRACE(per_day);
        sacramento_state s = basin();
        s.uztwc = s.uztwm;
        s.lztwc = s.lztwm;
        s.lzpk = 0.1;
        s.lzfpc = 50.0;
        double out = 0.0;
        const int days = 10;
        for (int i = 0; i < static_cast<int>(days * per_day); ++i) {
            const sacramento_fluxes f = sacramento_step(s, 0.0, 0.0, 1.0 / per_day);
            EXPECT_NEAR(f.residual, 0.0, 1e-12);
            EXPECT_EQ(f.runoff, 0.0);
            EXPECT_EQ(f.interflow, 0.0);
            out += f.outflow();
        }
        const double expected = 50.0 * std::pow(0.9, days);
        EXPECT_NEAR(s.lzfpc, expected, 1e-12 * expected);
        EXPECT_NEAR(out, 50.0 - expected, 1e-11);
        EXPECT_EQ(s.uztwc, s.uztwm);
        EXPECT_EQ(s.lztwc, s.lztwm);
    }
}

// Every step closes: storage change + input = evaporation + outflow to 1e-12
// mm, over wet and dry hours, large inputs split into increments, demand
// beyond the tension water, a basin starting empty and one starting full.
TEST(SacramentoStep, EveryStepBalances) {
    struct row {
        const char* name;
        double fill;   // start contents as a fraction of capacity
    };
    const row rows[] = {{"empty", 0.0}, {"half", 0.5}, {"full", 1.0}};
    const double inputs[] = {0.0, 0.004, 2.0, 12.0, 40.0, 0.0, 0.0, 7.5};   // mm per hour
    const double demands[] = {0.0, 0.3, 0.0, 0.1, 0.0, 2.0, 60.0, 0.2};      // mm per hour
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        sacramento_state s = basin();
        s.uztwc = r.fill * s.uztwm;
        s.uzfwc = r.fill * s.uzfwm;
        s.lztwc = r.fill * s.lztwm;
        s.lzfsc = r.fill * s.lzfsm;
        s.lzfpc = r.fill * s.lzfpm;
        const double start = storage(s);
        double in = 0.0, et = 0.0, out = 0.0;
        for (int h = 0; h < 240; ++h) {
            const double x = inputs[h % 8], d = demands[(h / 8) % 8];
            const sacramento_fluxes f = sacramento_step(s, d, x, 1.0 / 24.0);
            ASSERT_NEAR(f.residual, 0.0, 1e-12) << "hour " << h;
            ASSERT_GE(f.evaporation, 0.0);
            ASSERT_LE(f.evaporation, d + 1e-12);
            for (double v : {s.uztwc, s.uzfwc, s.lztwc, s.lzfsc, s.lzfpc}) ASSERT_GE(v, -1e-12) << "hour " << h;
            ASSERT_LE(s.uztwc, s.uztwm + 1e-12);
            ASSERT_LE(s.uzfwc, s.uzfwm + 1e-12);
            in += x;
            et += f.evaporation;
            out += f.outflow();
        }
        EXPECT_NEAR(start + in - et - out, storage(s), 1e-9);
        EXPECT_GT(out, 0.0);
    }
}

// An empty upper tension store evaporates nothing itself: the demand is met
// from the upper free water as far as it goes.
TEST(SacramentoStep, EmptyTensionWaterLeavesTheDemandToFreeWater) {
    struct row {
        double uzfwc, demand, evaporation;
    };
    const row rows[] = {{5.0, 2.0, 2.0}, {1.0, 2.0, 1.0}, {0.0, 2.0, 0.0}};
    for (const row& r : rows) {
        sacramento_state s = basin();
        s.uzfwc = r.uzfwc;
        s.lztwc = s.lztwm;
        const sacramento_fluxes f = sacramento_step(s, r.demand, 0.0, 1.0 / 24.0);
        EXPECT_NEAR(f.evaporation, r.evaporation, 1e-12) << r.uzfwc;
        EXPECT_NEAR(f.residual, 0.0, 1e-12);
    }
}

// The parameter file: contents as fractions of capacity, clamps, refusals
// naming the file (and line where one is to blame).
class SacramentoFile : public ::testing::Test {
protected:
    void TearDown() override { error_record = error_info{}; }
    static std::string good() {
        return "PLUVO_SACRAMENTO basin\n"
               "UZTWM 50\nUZFWM 40\nUZK 0.3\nZPERC 40\nREXP 2\nLZTWM 120\nLZFSM 25\nLZFPM 60\n"
               "LZSK 0.05\nLZPK 0.01\nPFREE 0.3\nUZTWC 1.2\nUZFWC 0.5\nLZTWC 0.5\nLZFSC -0.2\nLZFPC 0.5\n"
               "SAVED 0\n";
    }
    bool read(const std::string& text, sacramento_state& s, std::string& out) {
        const std::string path = dir.file("sac.txt");
        write_file(path, text);
        file_object f;
        std::vector<char> name(path.begin(), path.end());
        name.push_back('\0');
        EXPECT_TRUE(open_file_named(f, name.data(), "r"));
        bool ok = false;
        int basins = 0;
        testing::internal::CaptureStderr();
        out = captured([&] { ok = read_sacramento_input(f, name.data(), s, basins); });
        out += testing::internal::GetCapturedStderr();
        close_file_object(f);
        return ok;
    }
    temp_dir dir;
};

TEST_F(SacramentoFile, ContentsBecomeDepthsWithClamps) {
    sacramento_state s;
    std::string out;
    ASSERT_TRUE(read(good(), s, out)) << out;
    EXPECT_DOUBLE_EQ(s.uztwc, 0.99 * 50.0);   // 1.2 clamped
    EXPECT_DOUBLE_EQ(s.lzfsc, 0.01 * 25.0);   // -0.2 clamped
    EXPECT_DOUBLE_EQ(s.lzfpc, 30.0);
    EXPECT_DOUBLE_EQ(s.pbase, 25.0 * 0.05 + 60.0 * 0.01);
    EXPECT_NE(out.find("WARNING:uztwc changed!"), std::string::npos);
    EXPECT_NE(out.find("WARNING:lzfsc changed!"), std::string::npos);
    EXPECT_EQ(out.find("WARNING:uzfwc"), std::string::npos);
}

TEST_F(SacramentoFile, RefusalsNameTheFile) {
    struct row {
        const char* name;
        std::string text;
        const char* expected;
    };
    auto with = [](const std::string& from, const std::string& to) {
        std::string t = good();
        t.replace(t.find(from), from.size(), to);
        return t;
    };
    const row rows[] = {
        {"header", with("PLUVO_SACRAMENTO", "SACRAMENTO"), "line 1: the header PLUVO_SACRAMENTO is missing"},
        {"duplicate", with("SAVED 0", "UZK 0.2"), "a parameter is given twice"},
        {"short", with("SAVED 0\n", ""), "ends after 16 of the 17 parameters"},
        {"zero capacity", with("LZFSM 25", "LZFSM 0"), "the capacity lzfsm must be above 0 mm"},
        {"negative capacity", with("UZTWM 50", "UZTWM -5"), "the capacity uztwm must be above 0 mm"},
        {"text", with("UZK 0.3", "UZK fast"), "line 4: the uzk \"fast\" is not a number."},
        {"infinite", with("LZPK 0.01", "LZPK 1e999"), "line 11: the lzpk \"1e999\" is not finite."},
        // A negative percolation or exponent would make water; saved is a depth.
        {"negative zperc", with("ZPERC 40", "ZPERC -40"),
         "line 5: the zperc -40 is outside its range: it must be at least 0."},
        {"negative rexp", with("REXP 2", "REXP -1"), "line 6: the rexp -1 is outside its range"},
        {"negative saved", with("SAVED 0", "SAVED -3"), "line 18: the saved -3 is outside its range"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        error_record = error_info{};
        sacramento_state s;
        std::string out;
        EXPECT_FALSE(read(r.text, s, out));
        EXPECT_EQ(error_record.code, kErrorPrinted);
        EXPECT_NE(out.find(r.expected), std::string::npos) << out;
        EXPECT_NE(out.find(dir.file("sac.txt")), std::string::npos) << out;
    }
}

struct run_state_release {
    void operator()(run_state* rs) const { destroy_run_state(rs); }
};

using sacramento_run = std::unique_ptr<run_state, run_state_release>;

// A Sacramento run of 4 cells of 100 m at steps of `seconds`, due now, its
// zones partly filled.
sacramento_run partly_filled_basin_run(double seconds) {
    sacramento_run rs(create_run_state());
    rs->sacramento = 1;
    rs->GNUM = 4;
    rs->cell_size = 100.0;
    rs->watershed_area = 4 * 100.0 * 100.0;
    rs->time = 2458000.5;
    rs->time_tolerance = 1e-7;
    rs->sac_next = rs->time;
    rs->sac_step_seconds = seconds;
    rs->sac_step_days = seconds / 86400.0;
    sacramento_state s = basin();
    s.uztwc = 0.5 * s.uztwm;
    s.uzfwc = 20.0;
    s.lzfpc = 40.0;
    s.lzfsc = 10.0;
    rs->sac_state = s;
    return rs;
}

// One step's outflow OUT (mm) over the watershed reaches the channels over
// the step's interval: the inflow rate x interval = OUT x area / 1000, for
// hourly and 15-minute intervals; the input is the infiltration since the
// last step over the cells.
TEST(SacramentoRun, ChannelInflowRateSpreadsTheStepOutflowOverItsInterval) {
    const double intervals[] = {3600.0, 900.0};
    for (double seconds : intervals) {
        const sacramento_run rs = partly_filled_basin_run(seconds);
        rs->sac_infiltration = 0.01 * 4;   // 10 mm over each of 4 cells, m
        compute_sacramento(*rs);
        const double out = rs->sac_out;
        EXPECT_GT(out, 0.0);
        EXPECT_NEAR(rs->sac_channel_inflow * seconds, out * rs->watershed_area / 1000.0, 1e-9);
        EXPECT_NEAR(rs->sac_rainfall, 10.0, 1e-12);
        EXPECT_NEAR(rs->sac_next, rs->time + seconds / 86400.0, 1e-12);
        EXPECT_NEAR(rs->sac_residual, 0.0, 1e-12);
        // Not due: nothing changes.
        const double lzfpc = rs->sac_state.lzfpc;
        compute_sacramento(*rs);
        EXPECT_EQ(rs->sac_state.lzfpc, lzfpc);
        EXPECT_EQ(rs->sac_calls, 1);
    }
}

// The accounting's water (zone stores, infiltration not yet taken in, outflow
// the channels have not taken in) changes only by what crosses its edges:
// over hours of steps with infiltration arriving between steps and after the
// last one, an evaporation demand, and channels taking part of the waiting
// outflow, water at the end = water at the start + infiltrated - evaporated
// - taken by the channels, to 1e-9 m3.
TEST(SacramentoRun, WaterInTransitKeepsTheBooks) {
    const sacramento_run rs = partly_filled_basin_run(3600.0);
    rs->avg_et_rate = 0.02;   // cm per step
    rs->sac_pending = 7.0;   // m3 waiting from before
    const double area = rs->cell_size * rs->cell_size;   // m2 per cell

    const double start = sacramento_water(*rs);
    double infiltrated = 0.0, taken = 0.0;   // m3
    for (int h = 0; h < 6; ++h) {
        const double depth = 0.004 * (h % 3);   // m summed over the cells
        rs->sac_infiltration += depth;
        infiltrated += depth * area;
        compute_sacramento(*rs);
        const double take = 0.5 * rs->sac_pending;
        rs->sac_pending -= take;
        taken += take;
        rs->time += rs->sac_step_days;
    }
    rs->sac_infiltration += 0.003;   // not yet taken in by a step
    infiltrated += 0.003 * area;
    EXPECT_GT(rs->sac_pending, 0.0);
    EXPECT_GT(rs->sac_vol_et, 0.0);
    EXPECT_NEAR(sacramento_in_transit(*rs), 0.003 * area + rs->sac_pending, 1e-9);
    EXPECT_NEAR(sacramento_water(*rs), start + infiltrated - rs->sac_vol_et - taken, 1e-9);
}

// The topographic index ln(a / W) on small grids (cell size 1 m): a slope
// of three cells to the east (1 m drops) gives ln 2, ln 4 and, at the foot
// without a lower neighbour, ln(3 / (2 x 1)); a lone cell gets 0.333; a drop
// steep enough for W > a makes a negative index, refused.
TEST(SacramentoTopodex, SmallGridsAgainstTheFormula) {
    struct row {
        const char* name;
        int cols;
        std::vector<double> elevation;   // per cell 1..cols (slot 0 unused)
        std::vector<double> index;       // expected, empty: refused
    };
    const row rows[] = {
        {"slope", 3, {0.0, 3.0, 2.0, 1.0}, {0.0, std::log(2.0), std::log(4.0), std::log(1.5)}},
        {"lone cell", 1, {0.0, 5.0}, {0.0, 0.333}},
        {"cliff", 2, {0.0, 20.0, 1.0}, {}},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        error_record = error_info{};
        std::vector<std::vector<int>> grid(3, std::vector<int>(static_cast<size_t>(r.cols) + 2, 0));
        std::vector<int*> mask;
        for (int c = 1; c <= r.cols; ++c) grid[1][static_cast<size_t>(c)] = c;
        for (auto& g : grid) mask.push_back(g.data());
        std::vector<double> index(r.elevation.size(), -9.0);
        bool ok = true;
        const std::string out = captured([&] { ok = topodex(r.elevation, mask.data(), index, 1, r.cols, 1.0); });
        if (r.index.empty()) {
            EXPECT_FALSE(ok);
            EXPECT_EQ(error_record.code, kErrorPrinted);
            EXPECT_NE(out.find("negative topodex value"), std::string::npos) << out;
            continue;
        }
        ASSERT_TRUE(ok) << out;
        for (int c = 1; c <= r.cols; ++c) EXPECT_NEAR(index[static_cast<size_t>(c)], r.index[static_cast<size_t>(c)], 1e-12) << c;
    }
    error_record = error_info{};
}

}  // namespace

namespace {

// Start-up: the parameter file read into the run (start storages kept for
// the summary), and the refusal of a run without channel routing or with a
// file that cannot be opened.
TEST(SacramentoRun, LoadReadsTheFileOrRefusesTheRun) {
    temp_dir dir;
    write_file(dir.file("sac.txt"),
               "PLUVO_SACRAMENTO\nUZTWM 50\nUZFWM 40\nUZK 0.3\nZPERC 40\nREXP 2\nLZTWM 120\nLZFSM 25\n"
               "LZFPM 60\nLZSK 0.05\nLZPK 0.01\nPFREE 0.3\nUZTWC 0.5\nUZFWC 0.5\nLZTWC 0.5\nLZFSC 0.5\n"
               "LZFPC 0.5\nNUM_BASINS 1\nSAVED 0\n");
    struct row {
        const char* name;
        int chan_explic;
        const char* file;
        const char* expected;   // null: loads
    };
    const row rows[] = {
        {"loads", 1, "sac.txt", nullptr},
        {"no channels", 0, "sac.txt", "the card sacramento needs channel routing"},
        {"missing file", 1, "none.txt", "Cannot open Sacramento input parameter file"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        error_record = error_info{};
        std::unique_ptr<run_state, run_state_release> rs(create_run_state());
        rs->sacramento = 1;
        rs->chan_explic = r.chan_explic;
        std::snprintf(rs->files.sacramento, sizeof rs->files.sacramento, "%s", dir.file(r.file).c_str());
        const std::string out = captured([&] { load_sacramento_params(*rs); });
        if (r.expected == nullptr) {
            ASSERT_EQ(error_record.code, 0) << out;
            EXPECT_DOUBLE_EQ(rs->sac_state.lzfpc, 30.0);
            EXPECT_DOUBLE_EQ(rs->sac_state_start.uztwc, 25.0);
            EXPECT_EQ(rs->num_basins, 1);
        } else {
            EXPECT_EQ(error_record.code, kErrorPrinted);
            EXPECT_NE(out.find(r.expected), std::string::npos) << out;
        }
    }
    error_record = error_info{};
}

}  // namespace
