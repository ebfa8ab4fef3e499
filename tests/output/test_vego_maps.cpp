// The maps of the co-run model VEGO taken back at the start of a run inside
// the QRM host: read only with the qrm, vego and vego_first cards, brought
// into the physical ranges, conductivity turned from cm/h into m/s.
#include <gtest/gtest.h>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>
#include "core/alloc.h"
#include "core/error.h"
#include "output/output.h"
#include "pluvo_test.h"
#include "run/run_state.h"

namespace {

struct run_state_deleter {
    void operator()(run_state* rs) const { destroy_run_state(rs); }
};
using run_state_ptr = std::unique_ptr<run_state, run_state_deleter>;

std::string exchange_map(const std::string& values) {
    return "north: 1000\nsouth: 990\neast: 30\nwest: 0\nrows: 1\ncols: 3\n" + values + "\n";
}

// A run state of three cells in one row with soil limits and the three map names.
run_state_ptr vego_run(const pluvo_test::temp_dir& dir) {
    run_state_ptr rs(create_run_state());
    rs->GNUM = 3;
    rs->mask_rows = 1;
    rs->mask_cols = 3;
    alloc_int_2d(rs->mask, 2, 4, "mask");
    for (int j = 1; j <= 3; ++j) rs->mask[1][j] = j;
    rs->thi.assign(4, 0.25);
    rs->phi.assign(4, 0.4);
    rs->thr.assign(4, 0.05);
    rs->dist_rough.assign(4, 1.0);
    rs->ksat.assign(4, 1.0);
    rs->qrm_host = 1;
    rs->vego = 1;
    rs->vego_first = 1;
    rs->moist_from_vego_on = rs->rough_from_vego_on = rs->ksat_from_vego_on = 1;
    std::snprintf(rs->files.moist_from_vego, kCardNameSize, "%s", dir.file("moist.map").c_str());
    std::snprintf(rs->files.rough_from_vego, kCardNameSize, "%s", dir.file("rough.map").c_str());
    std::snprintf(rs->files.ksat_from_vego, kCardNameSize, "%s", dir.file("ksat.map").c_str());
    return rs;
}

template <class F>
std::string captured(F f) {
    testing::internal::CaptureStdout();
    f();
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

}  // namespace

TEST(VegoStartMaps, MapsAreReadOnlyWithAllThreeCardsAndKeptInRange) {
    pluvo_test::temp_dir dir;
    pluvo_test::write_file(dir.file("moist.map"), exchange_map("0.5 0.03 0.2"));
    pluvo_test::write_file(dir.file("rough.map"), exchange_map("0 -1 0.05"));
    pluvo_test::write_file(dir.file("ksat.map"), exchange_map("36 3.6 0"));
    struct card_case {
        int qrm, vego, first;
        bool read;
    };
    const card_case cases[] = {
        {1, 1, 1, true}, {1, 1, 0, false}, {0, 1, 1, false}, {1, 0, 1, false},
    };
    for (const card_case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.qrm << c.vego << c.first);
        run_state_ptr rs = vego_run(dir);
        rs->qrm_host = c.qrm;
        rs->vego = c.vego;
        rs->vego_first = c.first;
        error_record = error_info{};
        read_vego_exchange_maps(*rs);
        EXPECT_EQ(error_record.stop, 0);
        if (!c.read) {
            EXPECT_EQ(rs->thi, std::vector<double>(4, 0.25));
            EXPECT_EQ(rs->dist_rough, std::vector<double>(4, 1.0));
            EXPECT_EQ(rs->ksat, std::vector<double>(4, 1.0));
            continue;
        }
        // Moisture above the porosity 0.4 becomes 0.99 x 0.4, below 0.1 becomes 0.1.
        EXPECT_NEAR(rs->thi[1], 0.396, 1e-12);
        EXPECT_NEAR(rs->thi[2], 0.1, 1e-12);
        EXPECT_NEAR(rs->thi[3], 0.2, 1e-12);
        EXPECT_EQ(rs->dist_rough, (std::vector<double>{1.0, 0.04, 0.04, 0.05}));
        // 36 cm/h = 0.36 m / 3600 s = 1e-4 m/s.
        EXPECT_NEAR(rs->ksat[1], 1e-4, 1e-18);
        EXPECT_NEAR(rs->ksat[2], 1e-5, 1e-18);
        EXPECT_EQ(rs->ksat[3], 0.0);
    }
}

TEST(VegoStartMaps, FailuresStopTheRunNamingTheFile) {
    struct bad_case {
        const char* name;
        const char* moist;   // null: no such file
        const char* ksat;
        const char* expected;
    };
    const bad_case cases[] = {
        {"no moisture map", nullptr, "1 1 1", "1 Can't open soil moisture exchange file "},
        {"no conductivity map", "0.2 0.2 0.2", nullptr, "1 Can't open Ksat exchange file "},
        {"negative conductivity", "0.2 0.2 0.2", "1 -3 1",
         "ksat.map: cell 2 has the negative conductivity -3 cm/h"},
    };
    for (const bad_case& c : cases) {
        SCOPED_TRACE(c.name);
        pluvo_test::temp_dir dir;
        if (c.moist != nullptr) pluvo_test::write_file(dir.file("moist.map"), exchange_map(c.moist));
        if (c.ksat != nullptr) pluvo_test::write_file(dir.file("ksat.map"), exchange_map(c.ksat));
        pluvo_test::write_file(dir.file("rough.map"), exchange_map("0.05 0.05 0.05"));
        run_state_ptr rs = vego_run(dir);
        error_record = error_info{};
        const std::string out = captured([&] { read_vego_exchange_maps(*rs); });
        EXPECT_NE(out.find(c.expected), std::string::npos) << out;
        EXPECT_EQ(error_record.stop, 1);
        // The maps after a failed one are not read.
        if (c.moist == nullptr) {
            EXPECT_EQ(rs->dist_rough, std::vector<double>(4, 1.0));
        }
        error_record = error_info{};
    }
}
