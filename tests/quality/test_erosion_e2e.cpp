// Overland erosion run through the program on generated tilted planes: the
// per-class sediment balance of both summaries and the outlet sediment rows
// for every capacity formula, the same export whichever way the plane
// drains, identical files on 1 and 8 threads,
// and the refusal of bad sediment inputs.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <algorithm>
#include <filesystem>
#include "fixture.h"
#include "../overland/boundary_case.h"
#include "pluvo_test.h"
#include "valley.h"

using namespace pluvo_test;

namespace {

constexpr int kClasses = 3;

// One row of the SOIL_EROSION_PROPS table: ID in 1..6, values from character 87.
std::string id_row(int id, const std::string& values) {
    char head[8];
    std::snprintf(head, sizeof head, "%-6d", id);
    std::string line = std::string(head) + "row";
    line.resize(86, ' ');
    return line + values + "\n";
}

// Sediment classes of 0.01, 0.1 and 1 mm (specific gravity 2.65); soils 1
// (left half) and 2 with their erosion parameters and class shares.
struct erosion_table {
    std::string sediments_count = "NUM_SED 3";
    std::string soil1 = "100 1 0.001 0 1 0.3 0.3 0.4";
    std::string soil2 = "200 1 0.002 0 1 0.5 0.3 0.2";
    std::string erosion_count = "NUM_SED 3";
    bool sediments = true;
};

void write_erosion_table(const std::string& dir, const plane_case& c, const erosion_table& t) {
    write_grid(dir + "/soil.idx", c.grid,
               [&](int, int col) { return col * 2 <= c.grid.cols ? 1.0 : 2.0; }, 0);
    std::string d(40, ' ');
    d.replace(0, 5, "class");
    std::string text = "PLUVO_INDEX_MAP_TABLES\nINDEX_MAP soil.idx Soil\n";
    if (t.sediments) {
        text += "SEDIMENTS\n" + t.sediments_count + "\nDescription SG D(mm) fbind file\n" + d +
                "2.65 0.01 0.0 silt.out\n" + d + "2.65 0.1 0.0 fine.out\n" + d +
                "2.65 1.0 0.0 sand.out\n";
    }
    text += "SOIL_EROSION_PROPS Soil\nNUM_IDS 2\n" + t.erosion_count + "\nID title\n" +
            id_row(1, t.soil1) + id_row(2, t.soil2);
    write_file(dir + "/table.cmt", text);
}

// A plane of `c` with erosion by `formula`, the outlet sediment rate every
// step into sed.out, and the sediment maps as datasets.
project_file erosion_project(const temp_dir& dir, const plane_case& c, int formula,
                             const erosion_table& t = erosion_table()) {
    project_file p = write_plane_case(dir.path(), c);
    write_erosion_table(dir.path(), c, t);
    p.card("MAPPING_TABLE", "table.cmt")
        .card("SOIL_EROSION", std::to_string(formula))
        .card("OUTLET_SED_FLUX", "sed.out")
        .card("SAND_SIZE", "0.0625")
        .card("WATER_TEMP", "20")
        .card("SED_POROSITY", "0.4");
    p.write(dir.file("plane.prj"));
    return p;
}

// 8 x 5 cells of 20 m, slope 0.05, 80 mm/h for 30 of 60 min, 10 s steps,
// a hydrograph (and outlet sediment) row every step.
plane_case eroding_plane(char drains = 's') {
    plane_case c;
    const bool along_x = drains == 'e' || drains == 'w';
    c.grid.rows = along_x ? 5 : 8;
    c.grid.cols = along_x ? 8 : 5;
    c.grid.cell = 20.0;
    c.slope = 0.05;
    c.drains = drains;
    c.rain_mm_h = 80.0;
    c.rain_minutes = 30;
    c.total_minutes = 60;
    c.timestep = 10.0;
    c.hyd_freq = 10.0 / 60.0;
    return c;
}

struct class_lines {
    double eroded = NAN, deposited = NAN, suspended = NAN, outlet = NAN, error = NAN;
};

// The per-class lines of the overland sediment block that starts at or after
// `from` in the summary; `next` receives where the block ends.
std::vector<class_lines> read_sediment_block(const std::string& text, size_t from, size_t* next) {
    std::vector<class_lines> out(kClasses + 1);
    size_t pos = text.find("Overland Sediment Summary", from);
    if (pos == std::string::npos) return {};
    auto value = [&](const std::string& label) {
        pos = text.find(label, pos);
        if (pos == std::string::npos) return std::nan("");
        pos += label.size();
        return std::strtod(text.c_str() + pos, nullptr);
    };
    for (int j = 1; j <= kClasses; ++j) {
        const std::string n = std::to_string(j);
        out[j].eroded = value("Total sediment " + n + " eroded from surface:");
        out[j].deposited = value("Total sediment " + n + " deposited on surface:");
        out[j].suspended = value("Total sediment " + n + " remaining in suspension:");
        out[j].outlet = value("Total sediment " + n + " routed through outlet");
        out[j].error = value("Mass balance error for sediment " + n);
        if (pos == std::string::npos) return {};
    }
    if (next) *next = pos;
    return out;
}

// Sum of the outlet sediment rates times the step, m3, and the number of rows.
double outlet_rows_volume(const std::string& path, double dt, int* rows) {
    double sum = 0.0;
    int n = 0;
    for (const auto& row : read_hydrograph(path)) {
        sum += row.second * dt;
        ++n;
    }
    if (rows) *rows = n;
    return sum;
}

}  // namespace

TEST(ErosionProgram, EveryFormulaAndSchemeBalancesEachClassInBothSummariesAndOutletRows) {
    struct run_case {
        int formula;
        const char* overtype;   // overland scheme
    };
    const run_case cases[] = {{1, "1"}, {2, "1"}, {3, "1"}, {4, "1"}, {5, "1"}, {6, "1"},
                              {3, "2"}, {5, "3"}};
    for (const run_case& rc : cases) {
        SCOPED_TRACE(std::to_string(rc.formula) + " overtype " + rc.overtype);
        const int formula = rc.formula;
        temp_dir dir;
        const plane_case c = eroding_plane();
        erosion_project(dir, c, formula)
            .remove("OVERTYPE")
            .card("OVERTYPE", rc.overtype)
            .write(dir.file("plane.prj"));
        run_result r = run_pluvo({"plane.prj"}, dir.path());
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        const std::string summary = read_file(dir.file("summ.out"));
        size_t after_event = 0;
        const std::vector<class_lines> event = read_sediment_block(summary, 0, &after_event);
        const std::vector<class_lines> run = read_sediment_block(summary, after_event, nullptr);
        ASSERT_EQ(event.size(), static_cast<size_t>(kClasses + 1)) << summary;
        ASSERT_EQ(run.size(), static_cast<size_t>(kClasses + 1)) << summary;
        EXPECT_NE(summary.find("Quantities are running totals for simulation - NOT EVENT"),
                  std::string::npos);
        double exported = 0.0;
        for (int j = 1; j <= kClasses; ++j) {
            SCOPED_TRACE(j);
            const class_lines& e = event[j];
            EXPECT_GT(e.eroded, 0.0);
            // Four values printed to 1e-8 m3.
            EXPECT_NEAR(e.eroded, e.deposited + e.suspended + e.outlet, 2e-8);
            EXPECT_EQ(e.error, 0.0);
            EXPECT_EQ(run[j].eroded, e.eroded);
            EXPECT_EQ(run[j].outlet, e.outlet);
            exported += e.outlet;
        }
        EXPECT_GT(exported, 0.0);
        // One row per step (10 s), rates printed to 1e-10 m3/s.
        int rows = 0;
        const double rows_volume = outlet_rows_volume(dir.file("sed.out"), c.timestep, &rows);
        EXPECT_EQ(rows, c.total_minutes * 6 + 1);
        EXPECT_NEAR(rows_volume, exported, rows * 0.5e-10 * c.timestep + 2e-8);
    }
}

TEST(ErosionProgram, SameExportWhicheverWayThePlaneDrains) {
    double exported[4][kClasses + 1] = {};
    const char directions[4] = {'n', 'e', 's', 'w'};
    for (int d = 0; d < 4; ++d) {
        SCOPED_TRACE(directions[d]);
        temp_dir dir;
        plane_case c = eroding_plane(directions[d]);
        // One soil, so that the turned planes are the same plane.
        erosion_table t;
        t.soil2 = t.soil1;
        erosion_project(dir, c, 5, t);
        run_result r = run_pluvo({"plane.prj"}, dir.path());
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        const std::vector<class_lines> block =
            read_sediment_block(read_file(dir.file("summ.out")), 0, nullptr);
        ASSERT_EQ(block.size(), static_cast<size_t>(kClasses + 1));
        for (int j = 1; j <= kClasses; ++j) {
            exported[d][j] = block[j].outlet;
            EXPECT_GT(exported[d][j], 0.0);
            // To 1e-9 relative, or the 1e-8 m3 the summary prints.
            EXPECT_NEAR(exported[d][j], exported[0][j], 1e-9 * exported[0][j] + 1e-8) << j;
        }
    }

}

TEST(ErosionProgram, OneAndEightThreadsWriteIdenticalSedimentFiles) {
    std::string outputs[2];
    const int threads[2] = {1, 8};
    for (int k = 0; k < 2; ++k) {
        temp_dir dir;
        plane_case c = eroding_plane();
        c.grid.rows = 30;
        c.grid.cols = 70;
        c.grid.cell = 10.0;
        c.total_minutes = 20;
        c.rain_minutes = 10;
        c.threads = threads[k];
        project_file p = erosion_project(dir, c, 3);
        p.card("MAX_SED_FLUX", "flux.dat")
            .card("NET_SED_VOLUME", "net.dat")
            .card("VOL_SED_SUSP", "susp.dat")
            .card("MAP_TYPE", "1")
            .remove("MAP_FREQ")
            .card("MAP_FREQ", "5")
            .write(dir.file("plane.prj"));
        // Loops over 2048 cells and more on many threads.
        run_result r = run_pluvo({"plane.prj"}, dir.path(), "", {parallel_from_cells_env(2048)});
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        const std::string sed = read_file(dir.file("sed.out"));
        const std::string maps = read_file(dir.file("flux.dat")) + "\n--\n" +
                                 read_file(dir.file("net.dat")) + "\n--\n" +
                                 read_file(dir.file("susp.dat"));
        EXPECT_GT(maps.size(), 3000u);
        outputs[k] = sed + "\n--\n" + maps + "\n--\n" +
                     without_timing(read_file(dir.file("summ.out")));
    }
    EXPECT_TRUE(outputs[0] == outputs[1]) << "outputs differ between 1 and 8 threads";
}

// The suspended-sediment map is written under every map type: with the
// default type one grid per map output under the card's folder
// ("vol_sed_susp.0001.asc", ...), holding the same values as the blocks of
// the type-1 dataset of the same run, suspension showing while it rains.
TEST(ErosionProgram, SuspendedSedimentMapsUnderEveryMapType) {
    std::vector<std::vector<double>> maps[2];
    for (int type = 0; type < 2; ++type) {
        temp_dir dir;
        plane_case c = eroding_plane();
        c.total_minutes = 30;
        project_file p = erosion_project(dir, c, 3);
        if (type == 0) std::filesystem::create_directory(dir.file("susp"));
        p.card("VOL_SED_SUSP", type == 0 ? "susp" : "susp.dat")
            .card("MAP_TYPE", std::to_string(type))
            .remove("MAP_FREQ")
            .card("MAP_FREQ", "10")
            .write(dir.file("plane.prj"));
        const run_result r = run_pluvo({"plane.prj"}, dir.path());
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        if (type == 0) {
            for (int k = 1; k <= 9; ++k) {
                char name[32];
                std::snprintf(name, sizeof name, "susp/vol_sed_susp.%04d.asc", k);
                if (!file_exists(dir.file(name))) break;
                maps[0].push_back(boundary_test::grid_values(read_file(dir.file(name))));
            }
            continue;
        }
        // Each dataset block: a line per cell of its status, then one of its value.
        const std::vector<std::string> lines = split_lines(read_file(dir.file("susp.dat")));
        const size_t cells = static_cast<size_t>(c.grid.rows * c.grid.cols);
        for (size_t k = 0; k < lines.size(); ++k) {
            if (lines[k].compare(0, 3, "TS ") != 0) continue;
            std::vector<double> v;
            for (size_t m = k + 1 + cells; m < k + 1 + 2 * cells && m < lines.size(); ++m)
                v.push_back(std::strtod(lines[m].c_str(), nullptr));
            maps[1].push_back(v);
        }
    }
    ASSERT_GE(maps[1].size(), 3u);
    ASSERT_EQ(maps[0].size(), maps[1].size());
    double most = 0.0;   // largest suspended volume of a cell, m3
    for (size_t b = 0; b < maps[0].size(); ++b) {
        ASSERT_EQ(maps[0][b].size(), maps[1][b].size()) << b;
        for (size_t e = 0; e < maps[0][b].size(); ++e) {
            EXPECT_NEAR(maps[0][b][e], maps[1][b][e], 5.0001e-4) << b << " " << e;   // grids print 3 decimals
            most = std::max(most, maps[0][b][e]);
        }
    }
    EXPECT_GT(most, 1e-3);   // well above the printed resolution
}

TEST(ErosionProgram, BadSedimentInputsStopNamingTheirFileAndLine) {
    struct bad_case {
        const char* what;
        int formula;
        erosion_table table;
        bool outlet_card;
        std::vector<std::string> expected;   // texts the console must hold
    };
    erosion_table no_sediments;
    no_sediments.sediments = false;
    erosion_table negative;
    negative.soil2 = "200 1 0.002 0 1 -0.1 0.9 0.2";
    erosion_table not_one;
    not_one.soil1 = "100 1 0.001 0 1 0.3 0.3 0.3";
    erosion_table mismatch;
    mismatch.erosion_count = "NUM_SED 2";
    mismatch.soil1 = "100 1 0.001 0 1 0.5 0.5";
    mismatch.soil2 = "200 1 0.002 0 1 0.5 0.5";
    const bad_case cases[] = {
        {"formula 7", 7, erosion_table(), true,
         {"Error: project file plane.prj, line", "card soil_erosion has the value 7"}},
        {"no SEDIMENTS section", 1, no_sediments, true,
         {"Sediment transport specified but sediments table missing"}},
        {"negative fraction", 1, negative, true,
         {"Error: mapping table table.cmt, line 14: soil fraction 1 of ID 2", "is negative"}},
        {"fractions not adding up", 1, not_one, true,
         {"Error: mapping table table.cmt, line 13: the soil fractions of ID 1", "add up to 0.9"}},
        {"class-count mismatch", 1, mismatch, true,
         {"number of sediments specified in the SEDIMENTS table is 3",
          "SED_EROS_PROPS table is 2"}},
        {"no outlet_sed_flux", 1, erosion_table(), false,
         {"Unable to open outlet sediment hydrograph file"}},
    };
    for (const bad_case& b : cases) {
        SCOPED_TRACE(b.what);
        temp_dir dir;
        project_file p = erosion_project(dir, eroding_plane(), b.formula, b.table);
        if (!b.outlet_card) p.remove("OUTLET_SED_FLUX").write(dir.file("plane.prj"));
        run_result r = run_pluvo({"plane.prj"}, dir.path());
        EXPECT_EQ(r.status, 1) << r.out;
        for (const std::string& text : b.expected)
            EXPECT_NE(r.out.find(text), std::string::npos) << text << "\n" << r.out;
    }
}
