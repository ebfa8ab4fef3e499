// Soil parameter maps and soil tables: unit conversion of the maps, area
// reduction, the uniform initial content, the two layered soil-table readers
// with their range checks, the refusal of methods that are not built, and the
// split of a cell's soil water into transport layers; the vegetation maps of
// evapotranspiration.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/file_object.h"
#include "pluvo_test.h"
#include "hydromet/evapo_trans.h"
#include "subsurface/soils.h"
#include "subsurface_fixture.h"

namespace {

using pluvo_test::temp_dir;
using pluvo_test::write_file;

std::string grid_map(int rows, int cols, const std::string& values) {
    return "north: 100\nsouth: 0\neast: 100\nwest: 0\nrows: " + std::to_string(rows) +
           "\ncols: " + std::to_string(cols) + "\n" + values;
}

// Runs f with the console captured; returns what it printed.
template <class F>
std::string printed(F f) {
    testing::internal::CaptureStdout();
    f();
    return testing::internal::GetCapturedStdout();
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// A layered soil file of two soils (ids 3 and 7): layer lines hold ksat,
// pore index, capillary head, porosity, field capacity, wilting point,
// residual, initial content and, for layers 1 and 2, the thickness.
const char kLayeredFile[] =
    "2\n"
    "header line not used\n"
    "3\n"
    "1.5 0.3 12.0 0.45 0.30 0.10 0.05 0.20 25.0\n"
    "0.8 0.25 18.0 0.40 0.28 0.12 0.06 0.22 35.0\n"
    "0.2 0.2 25.0 0.35 0.25 0.14 0.07 0.24\n"
    "7\n"
    "3.0 0.4 8.0 0.50 0.32 0.09 0.04 0.18 10.0\n"
    "2.0 0.35 9.0 0.48 0.31 0.10 0.05 0.19 20.0\n"
    "1.0 0.3 10.0 0.46 0.30 0.11 0.06 0.21\n";

int read_layered_text(const temp_dir& dir, const std::string& text, soil_layer_record* table,
                      std::vector<char>* defined, std::string* out = nullptr) {
    const std::string path = dir.file("soils.txt");
    write_file(path, text);
    file_object f;
    EXPECT_TRUE(open_file_named(f, path.c_str(), "r"));
    int n = 0;
    const std::string shown = printed([&] { n = read_layered_soil_file(f, table, defined); });
    close_file_object(f);
    if (out != nullptr) *out = shown;
    return n;
}

}  // namespace

TEST(SoilTables, LayeredFilePutsEachValueInItsField) {
    temp_dir dir;
    run_state_ptr rs = make_grid_state(1, 1);
    std::vector<char> defined(kSoilIdLimit + 1, 0);
    ASSERT_EQ(read_layered_text(dir, kLayeredFile, rs->soil_table.data(), &defined), 2);
    EXPECT_EQ(error_record.code, 0);
    const soil_layer_record& s3 = rs->soil_table[3];
    EXPECT_DOUBLE_EQ(s3.ksat[0], 1.5);
    EXPECT_DOUBLE_EQ(s3.pore_index[0], 0.3);
    EXPECT_DOUBLE_EQ(s3.cap_head[0], 12.0);
    EXPECT_DOUBLE_EQ(s3.porosity[0], 0.45);
    EXPECT_DOUBLE_EQ(s3.field_capacity[0], 0.30);
    EXPECT_DOUBLE_EQ(s3.wilting_point[0], 0.10);
    EXPECT_DOUBLE_EQ(s3.residual[0], 0.05);
    EXPECT_DOUBLE_EQ(s3.initial_theta[0], 0.20);
    EXPECT_DOUBLE_EQ(s3.thickness[0], 25.0);
    EXPECT_DOUBLE_EQ(s3.thickness[1], 35.0);
    EXPECT_DOUBLE_EQ(s3.initial_theta[2], 0.24);
    EXPECT_DOUBLE_EQ(s3.thickness[2], 0.0);   // layer 3 has eight values
    EXPECT_DOUBLE_EQ(rs->soil_table[7].ksat[1], 2.0);
    EXPECT_TRUE(defined[3]);
    EXPECT_TRUE(defined[7]);
    EXPECT_FALSE(defined[5]);
}

TEST(SoilTables, LayeredFileRefusesBadIdsCountsAndShortFiles) {
    struct bad_case {
        const char* label;
        std::string text;
        const char* message;
    };
    const std::string layers =
        "1.5 0.3 12.0 0.45 0.30 0.10 0.05 0.20 25.0\n"
        "0.8 0.25 18.0 0.40 0.28 0.12 0.06 0.22 35.0\n"
        "0.2 0.2 25.0 0.35 0.25 0.14 0.07 0.24\n";
    const bad_case cases[] = {
        {"id 0", "1\nx\n0\n" + layers, "soil id 0 lies outside 1..9999"},
        {"id 10000", "1\nx\n10000\n" + layers, "soil id 10000 lies outside 1..9999"},
        {"negative id", "1\nx\n-4\n" + layers, "soil id -4"},
        {"count too large", "10000\nx\n", "number of soils"},
        {"negative count", "-1\nx\n", "number of soils"},
        {"fewer soils than counted", "2\nx\n3\n" + layers, "after 1 of its 2 soils"},
        {"short layer line", "1\nx\n3\n1.5 0.3 12.0\n", "line 4: layer 1 of soil 3: it needs 9 values"},
        // A conductivity written with a letter l for the digit 1 is no 0.
        {"value that is no number", "1\nx\n3\nl.0 0.3 12.0 0.4 0.3 0.1 0.05 0.2 10\n",
         "line 4: layer 1 of soil 3: the value \"l.0\" is not a finite number"},
        {"file ends inside a soil", "1\nx\n3\n" + layers.substr(0, layers.find('\n') + 1),
         "inside soil 3"},
    };
    for (const bad_case& c : cases) {
        SCOPED_TRACE(c.label);
        temp_dir dir;
        run_state_ptr rs = make_grid_state(1, 1);
        std::string out;
        EXPECT_EQ(read_layered_text(dir, c.text, rs->soil_table.data(), nullptr, &out), -1);
        EXPECT_TRUE(contains(out, c.message)) << out;
        EXPECT_TRUE(contains(out, "soils.txt")) << out;   // names the file
        EXPECT_EQ(error_record.stop, 1);
        clear_error_record();
    }
}

TEST(SoilTables, MultiLayerSectionSkipsDescriptionWords) {
    temp_dir dir;
    const std::string path = dir.file("table.txt");
    write_file(path,
               "NUM_IDS 2\n"
               "MAX_NUMBER_LAYERS 3\n"
               "ID   DESCRIPTION   KSAT ...\n"
               "12   Sandy loam   1.5 0.3 12.0 0.45 0.30 0.10 0.05 0.20 25.0\n"
               "0.8 0.25 18.0 0.40 0.28 0.12 0.06 0.22 35.0\n"
               "0.2 0.2 25.0 0.35 0.25 0.14 0.07 0.24\n"
               "40   Clay 2.5 0.2 30.0 0.50 0.40 0.20 0.08 0.30 15.0\n"
               "0.4 0.2 31.0 0.49 0.39 0.21 0.09 0.31 20.0\n"
               "0.1 0.2 32.0 0.48 0.38 0.22 0.10 0.32\n");
    run_state_ptr rs = make_grid_state(1, 1);
    std::vector<char> defined(kSoilIdLimit + 1, 0);
    file_object f;
    ASSERT_TRUE(open_file_named(f, path.c_str(), "r"));
    EXPECT_EQ(read_multilayer_soil_table(f, rs->soil_table.data(), &defined), 2);
    close_file_object(f);
    EXPECT_DOUBLE_EQ(rs->soil_table[12].ksat[0], 1.5);
    EXPECT_DOUBLE_EQ(rs->soil_table[12].thickness[0], 25.0);
    EXPECT_DOUBLE_EQ(rs->soil_table[12].residual[2], 0.07);
    EXPECT_DOUBLE_EQ(rs->soil_table[40].ksat[0], 2.5);
    EXPECT_DOUBLE_EQ(rs->soil_table[40].initial_theta[2], 0.32);
    EXPECT_TRUE(defined[12]);
    EXPECT_TRUE(defined[40]);
}

TEST(SoilTables, MultiLayerSectionRefusesIdsOutsideTheTable) {
    const char* ids[] = {"0", "10000"};
    for (const char* id : ids) {
        SCOPED_TRACE(id);
        temp_dir dir;
        const std::string path = dir.file("table.txt");
        write_file(path, std::string("NUM_IDS 1\nMAX_NUMBER_LAYERS 3\nID ...\n") + id +
                             "  Loam 1.5 0.3 12.0 0.45 0.30 0.10 0.05 0.20 25.0\n"
                             "0.8 0.25 18.0 0.40 0.28 0.12 0.06 0.22 35.0\n"
                             "0.2 0.2 25.0 0.35 0.25 0.14 0.07 0.24\n");
        run_state_ptr rs = make_grid_state(1, 1);
        file_object f;
        ASSERT_TRUE(open_file_named(f, path.c_str(), "r"));
        int n = 0;
        const std::string out =
            printed([&] { n = read_multilayer_soil_table(f, rs->soil_table.data(), nullptr); });
        close_file_object(f);
        EXPECT_EQ(n, -1);
        EXPECT_TRUE(contains(out, "MULTI_LAYER_SOIL")) << out;
        EXPECT_TRUE(contains(out, "table.txt")) << out;
        clear_error_record();
    }
}

TEST(SoilMaps, UniformInitialContentIsBoundedByResidualAndPorosity) {
    struct bound_case {
        double content, phi, thr;
        bool residual_given;
        double expected;
    };
    const bound_case cases[] = {
        {0.5, 0.45, 0.05, true, 0.44},
        {0.5, 0.60, 0.55, true, 0.56},
        {0.15, 0.45, 0.05, true, 0.15},
        {0.5, 0.45, 0.0, false, 0.44},   // without residual contents the porosity bounds it
        {0.15, 0.45, 0.0, false, 0.15},
    };
    for (const bound_case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.content << " " << c.phi << " " << c.thr);
        run_state_ptr rs = make_grid_state(1, 2);
        rs->residual_sat = c.residual_given ? 1 : 0;
        rs->thr.assign(3, c.thr);
        for (int i = 1; i <= 2; ++i) rs->phi[i] = c.phi;
        fork_initial_soil_water(*rs, c.content);
        for (int i = 1; i <= 2; ++i) {
            EXPECT_NEAR(rs->thi[i], c.expected, 1e-15);
            EXPECT_EQ(rs->theta_all[i], c.content);   // shown content unclamped
        }
    }
}

TEST(SoilMaps, GreenAmptWithoutItsParametersIsRefused) {
    struct missing_case {
        int run_state::*flag;
        const char* card;
    };
    const missing_case cases[] = {{&run_state::conductivity, "card conductivity"},
                                  {&run_state::capillary, "card capillary"},
                                  {&run_state::porosity, "card porosity"}};
    for (const missing_case& c : cases) {
        SCOPED_TRACE(c.card);
        run_state_ptr rs = make_grid_state(1, 1);
        rs->green_ampt = 1;
        rs->conductivity = rs->capillary = rs->porosity = 1;
        (*rs).*(c.flag) = 0;
        const std::string out = printed([&] { read_soil_maps(*rs); });
        EXPECT_TRUE(contains(out, c.card)) << out;
        EXPECT_EQ(error_record.stop, 1);
        clear_error_record();
    }
}

// Green-Ampt maps from files: conductivity in cm/h and capillary drive in cm
// are stored in m/s and m; without moisture the uniform content applies.
TEST(SoilMaps, GreenAmptMapsAreConvertedToMetresAndSeconds) {
    temp_dir dir;
    run_state_ptr rs = make_grid_state(1, 2);
    rs->green_ampt = 1;
    rs->conductivity = rs->capillary = rs->porosity = 1;
    rs->soil_coefficient = 0.15;
    rs->quiet = 1;
    const struct {
        file_object* file;
        char* slot;
        const char* name;
        const char* values;
    } maps[] = {{&rs->conductivity_file, rs->files.conductivity, "ks.map", "3.6 0.36\n"},
                {&rs->capillary_file, rs->files.capillary, "hc.map", "20 5\n"},
                {&rs->porosity_file, rs->files.porosity, "por.map", "0.45 0.4\n"}};
    for (const auto& m : maps) {
        const std::string path = dir.file(m.name);
        write_file(path, grid_map(1, 2, m.values));
        std::snprintf(m.slot, 1024, "%s", path.c_str());
        ASSERT_TRUE(open_file_named(*m.file, path.c_str(), "r"));
    }
    read_soil_maps(*rs);
    ASSERT_EQ(error_record.code, 0);
    EXPECT_NEAR(rs->ksat[1], 1e-5, 1e-20);
    EXPECT_NEAR(rs->ksat[2], 1e-6, 1e-21);
    EXPECT_NEAR(rs->cap_drive[1], 0.2, 1e-15);
    EXPECT_NEAR(rs->cap_drive[2], 0.05, 1e-15);
    EXPECT_DOUBLE_EQ(rs->phi[2], 0.4);
    EXPECT_DOUBLE_EQ(rs->thi[1], 0.15);
    EXPECT_DOUBLE_EQ(rs->theta_all[2], 0.15);
    EXPECT_FALSE(rs->conductivity_file.is_open());   // read and closed
    EXPECT_EQ(rs->infil_rate.size(), 3u);
}

TEST(SoilMaps, NegativeConductivityIsRefusedNamingTheCell) {
    temp_dir dir;
    run_state_ptr rs = make_grid_state(1, 2);
    rs->green_ampt = 1;
    rs->conductivity = rs->capillary = rs->porosity = 1;
    rs->quiet = 1;
    const std::string ks = dir.file("ks.map");
    write_file(ks, grid_map(1, 2, "3.6 -1\n"));
    std::snprintf(rs->files.conductivity, 1024, "%s", ks.c_str());
    ASSERT_TRUE(open_file_named(rs->conductivity_file, ks.c_str(), "r"));
    const std::string out = printed([&] { read_soil_maps(*rs); });
    EXPECT_TRUE(contains(out, "conductivity of cell 2")) << out;
    EXPECT_TRUE(contains(out, "ks.map")) << out;
    EXPECT_EQ(error_record.stop, 1);
    clear_error_record();
}

TEST(SoilMaps, AreaReductionBecomesTheInfiltratingFraction) {
    temp_dir dir;
    {   // a map value of 0.25 gives 0.75
        run_state_ptr rs = make_grid_state(1, 2);
        rs->area_reduction = 1;
        rs->quiet = 1;
        const std::string path = dir.file("ar.map");
        write_file(path, grid_map(1, 2, "0.25 0\n"));
        std::snprintf(rs->cards.area_reduction, sizeof(rs->cards.area_reduction), "%s",
                      path.c_str());
        read_area_reduction_map(*rs);
        ASSERT_EQ(error_record.code, 0);
        EXPECT_DOUBLE_EQ(rs->area_reduction_factor[1], 0.75);
        EXPECT_DOUBLE_EQ(rs->area_reduction_factor[2], 1.0);
    }
    {   // no file and no mapping table: every cell infiltrates fully
        run_state_ptr rs = make_grid_state(2, 2);
        rs->area_reduction = 1;
        read_area_reduction_map(*rs);
        for (int i = 1; i <= 4; ++i) EXPECT_DOUBLE_EQ(rs->area_reduction_factor[i], 1.0);
    }
    {   // a value above 1 would make the cell give water up
        run_state_ptr rs = make_grid_state(1, 2);
        rs->area_reduction = 1;
        rs->quiet = 1;
        const std::string path = dir.file("bad.map");
        write_file(path, grid_map(1, 2, "0.5 1.5\n"));
        std::snprintf(rs->cards.area_reduction, sizeof(rs->cards.area_reduction), "%s",
                      path.c_str());
        const std::string out = printed([&] { read_area_reduction_map(*rs); });
        EXPECT_TRUE(contains(out, "area reduction of cell 2")) << out;
        EXPECT_EQ(error_record.stop, 1);
        clear_error_record();
    }
    {   // a file that does not open
        run_state_ptr rs = make_grid_state(1, 1);
        rs->area_reduction = 1;
        std::snprintf(rs->cards.area_reduction, sizeof(rs->cards.area_reduction), "%s",
                      dir.file("missing.map").c_str());
        const std::string out = printed([&] { read_area_reduction_map(*rs); });
        EXPECT_TRUE(contains(out, "Can't open area reduction file named: ")) << out;
        EXPECT_TRUE(contains(out, "missing.map")) << out;
        EXPECT_EQ(error_record.stop, 1);
        clear_error_record();
    }
}

// The layered scheme's soil types: every cell's soil must be in the table.
TEST(SoilMaps, LayeredSoilInputsCheckEveryCellsSoil) {
    struct map_case {
        const char* values;
        const char* message;   // empty: accepted
    };
    const map_case cases[] = {
        {"3 7\n", ""},
        {"3 5\n", "cell 2 has the soil id 5"},
        {"3 0\n", "soil id 0 at row 1, column 2"},
        {"3 12000\n", "soil id 12000 at row 1, column 2"},
    };
    for (const map_case& c : cases) {
        SCOPED_TRACE(c.values);
        temp_dir dir;
        run_state_ptr rs = make_grid_state(1, 2);
        rs->quiet = 1;
        const std::string map = dir.file("soil.map");
        const std::string table = dir.file("layers.txt");
        write_file(map, grid_map(1, 2, c.values));
        write_file(table, kLayeredFile);
        std::snprintf(rs->files.soil_type_map, 1024, "%s", map.c_str());
        std::snprintf(rs->files.soil_layer_input_file, 1024, "%s", table.c_str());
        ASSERT_TRUE(open_file_named(rs->soil_type_file, map.c_str(), "r"));
        ASSERT_TRUE(open_file_named(rs->soil_layer_file, table.c_str(), "r"));
        bool ok = false;
        const std::string out = printed([&] { ok = read_layered_soil_inputs(*rs); });
        if (c.message[0] == '\0') {
            ASSERT_TRUE(ok) << out;
            EXPECT_DOUBLE_EQ(rs->theta_all[1], 0.20);
            EXPECT_DOUBLE_EQ(rs->theta_ml[2][1], 0.18);
            EXPECT_DOUBLE_EQ(rs->theta_ml[2][3], 0.21);
            EXPECT_EQ(rs->soiltype[2], 7);
        } else {
            EXPECT_FALSE(ok);
            EXPECT_TRUE(contains(out, c.message)) << out;
            EXPECT_EQ(error_record.stop, 1);
        }
        clear_error_record();
    }
}

TEST(SoilLayers, WaterTableAtTheSurfaceGivesThePorosities) {
    run_state_ptr rs = make_grid_state(1, 1);
    rs->soil_table[4].porosity[0] = 0.45;
    rs->soil_table[4].porosity[1] = 0.38;
    const std::vector<int> soiltype = {0, 4};
    const double thick2[] = {0.0, 0.1, 0.5};
    const double thick3[] = {0.0, 0.1, 0.2, 0.5};
    double theta[4] = {}, por[4] = {};
    ASSERT_TRUE(distribute_layer_moisture(1, 3.0, 10.0, 100.0, 100.0, thick2, true, rs->soil_table.data(),
                                          soiltype, 2, theta, por));
    EXPECT_DOUBLE_EQ(theta[1], 0.45);
    EXPECT_DOUBLE_EQ(theta[2], 0.38);
    ASSERT_TRUE(distribute_layer_moisture(1, 3.0, 10.0, 100.0, 100.0, thick3, true, rs->soil_table.data(),
                                          soiltype, 3, theta, por));
    EXPECT_DOUBLE_EQ(theta[1], 0.45);
    EXPECT_DOUBLE_EQ(theta[2], 0.45);
    EXPECT_DOUBLE_EQ(theta[3], 0.38);
    EXPECT_DOUBLE_EQ(por[2], 0.45);
}

TEST(SoilLayers, DeepWaterTableSplitsTheSoilWater) {
    run_state_ptr rs = make_grid_state(1, 1);
    soil_layer_record& soil = rs->soil_table[4];
    soil.porosity[0] = 0.45;
    soil.porosity[1] = 0.38;
    soil.thickness[0] = 30.0;
    soil.thickness[1] = 60.0;
    const std::vector<int> soiltype = {0, 4};
    double theta[4] = {}, por[4] = {};
    // Two layers of 10 and 50 cm, water table 25 cm down: layer 2 is partly saturated.
    const double thick2[] = {0.0, 0.1, 0.5};
    ASSERT_TRUE(distribute_layer_moisture(1, 2.0, 6.0, 99.75, 100.0, thick2, true, rs->soil_table.data(),
                                          soiltype, 2, theta, por));
    EXPECT_NEAR(theta[1], 2.0 / 10.0, 1e-12);
    EXPECT_NEAR(theta[2], ((60.0 - 25.0) * 0.38 + 6.0) / 50.0, 1e-12);
    // Without the water table the depth is the two soil layers + 1 cm = 91 cm.
    const double thick3[] = {0.0, 0.1, 0.2, 0.5};
    ASSERT_TRUE(distribute_layer_moisture(1, 3.0, 5.0, 0.0, 100.0, thick3, false, rs->soil_table.data(),
                                          soiltype, 3, theta, por));
    EXPECT_NEAR(theta[1], (0.1 / 0.3) * 3.0 / 10.0, 1e-12);
    EXPECT_NEAR(theta[2], (0.2 / 0.3) * 3.0 / 20.0, 1e-12);
    EXPECT_NEAR(theta[3], 5.0 / 50.0, 1e-12);   // below all three layers
    // Nothing is written for a soil outside the table or a bad layer count.
    const std::vector<int> bad = {0, 0};
    EXPECT_FALSE(distribute_layer_moisture(1, 3.0, 5.0, 0.0, 100.0, thick3, false, rs->soil_table.data(),
                                           bad, 3, theta, por));
    EXPECT_FALSE(distribute_layer_moisture(1, 3.0, 5.0, 0.0, 100.0, thick3, false, rs->soil_table.data(),
                                           soiltype, 4, theta, por));
}

// Vegetation maps of a long-term Penman-Monteith run are read with the soil
// maps into their per-cell arrays; a value out of its range is refused
// naming the cell and the map.
TEST(EtMaps, VegetationMapsAreReadAndCheckedByRange) {
    struct et_map_case {
        const char* what;
        const char* albedo;     // values of the albedo map (1 x 2)
        const char* height;     // vegetation height, m
        const char* refusal;    // part of the message, "" when read
    } cases[] = {
        {"good maps", "0.2 0.25\n", "0.3 1.5\n", ""},
        {"albedo above 1", "0.2 1.25\n", "0.3 1.5\n", "albedo of cell 2"},
        {"negative height", "0.2 0.25\n", "-0.3 1.5\n", "vegetation-height of cell 1"},
        {"height not a number", "0.2 0.25\n", "0.3 nan\n", "vh.map, line 7, row 1, column 2: the value \"nan\" is not finite"},
    };
    for (const et_map_case& c : cases) {
        temp_dir dir;
        run_state_ptr rs = make_grid_state(1, 2);
        rs->long_term = 1;
        rs->et_calc_penman = 1;
        rs->albedo = rs->vheight = rs->tcoeff = rs->canopy = 1;
        rs->soil_coefficient = 0.15;
        rs->quiet = 1;
        const struct {
            file_object* file;
            char* slot;
            const char* name;
            const char* values;
        } maps[] = {{&rs->albedo_file, rs->files.albedo, "alb.map", c.albedo},
                    {&rs->vheight_file, rs->files.vheight, "vh.map", c.height},
                    {&rs->tcoeff_file, rs->files.tcoeff, "tc.map", "0 0.5\n"},
                    {&rs->canopy_file, rs->files.canopy, "rc.map", "70 40\n"}};
        for (const auto& m : maps) {
            const std::string path = dir.file(m.name);
            write_file(path, grid_map(1, 2, m.values));
            std::snprintf(m.slot, 1024, "%s", path.c_str());
            ASSERT_TRUE(open_file_named(*m.file, path.c_str(), "r"));
        }
        const std::string out = printed([&] { read_et_maps(*rs); });
        if (c.refusal[0] == '\0') {
            ASSERT_EQ(error_record.stop, 0) << c.what << out;
            ASSERT_EQ(rs->veg_albedo.size(), 3u) << c.what << out;
            EXPECT_DOUBLE_EQ(rs->veg_albedo[2], 0.25) << c.what;
            EXPECT_DOUBLE_EQ(rs->veg_height[2], 1.5) << c.what;
            EXPECT_DOUBLE_EQ(rs->veg_tcoeff[1], 0.0) << c.what;
            EXPECT_DOUBLE_EQ(rs->veg_canopy_rs[1], 70.0) << c.what;
            EXPECT_FALSE(rs->albedo_file.is_open()) << c.what;
        } else {
            EXPECT_TRUE(contains(out, c.refusal)) << c.what << ": " << out;
            EXPECT_EQ(error_record.stop, 1) << c.what;
        }
        clear_error_record();
    }
}
