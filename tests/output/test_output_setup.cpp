// Output set-up: the location-list readers with their range checks, and the
// built-in map datasets opened by the map type.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "output/output_setup.h"
#include "output_test_support.h"
#include "pluvo_test.h"

using output_test::open_on;
using output_test::run_state_owner;
using pluvo_test::read_file;
using pluvo_test::temp_dir;
using pluvo_test::write_file;

namespace {

// Reads `text` as the hydrograph location list of a run with the small network.
struct list_result {
    int code = 0;
    std::string out;
    int count = 0;
    std::vector<int> links, nodes;
    int on = 0;                     // hyd_locations_on after the read
    size_t peak_slots = 0, volume_slots = 0;  // sizes of the per-location peaks and volumes
};

list_result read_hydrograph_list(const std::string& text) {
    temp_dir dir;
    run_state_owner owner;
    run_state& rs = *owner;
    output_test::set_small_network(rs);
    const std::string path = dir.file("hyd_loc.txt");
    write_file(path, text);
    rs.in_hyd_location = 1;
    std::snprintf(rs.files.in_hyd_location, sizeof rs.files.in_hyd_location, "%s", path.c_str());
    open_on(rs.hyd_location_file, path, "r");
    testing::internal::CaptureStdout();
    read_hydrograph_locations(rs);
    list_result r;
    r.out = testing::internal::GetCapturedStdout();
    r.code = error_record.code;
    r.count = rs.num_hyd_locations;
    r.links = rs.hlink;
    r.nodes = rs.hnode;
    r.on = rs.hyd_locations_on;
    r.peak_slots = rs.hyd_point_peak.size();
    r.volume_slots = rs.hyd_point_volume.size();
    // Messages must name the list file.
    if (r.code != 0) {
        EXPECT_NE(r.out.find(path), std::string::npos) << r.out;
    }
    return r;
}

}  // namespace

TEST(LocationLists, HydrographLocationsAreCheckedAgainstTheNetwork) {
    struct row {
        const char* what;
        std::string text;
        int code;
        const char* message;
    };
    const row rows[] = {
        {"valid", "2\n1 3\n3 1\n", 0, ""},
        {"empty list", "0\n", 0, ""},
        {"link beyond the network", "1\n4 1\n", kErrorPrinted, "names link 4 node 1"},
        {"link 0", "1\n0 1\n", kErrorPrinted, "names link 0 node 1"},
        {"node beyond the link", "1\n1 4\n", kErrorPrinted, "names link 1 node 4"},
        {"node 0", "1\n2 0\n", kErrorPrinted, "names link 2 node 0"},
        {"fewer lines than the count", "3\n1 1\n1 2\n", kErrorPrinted, "End of file reached in file"},
        {"no count", "", kErrorPrinted, "End of file reached in file"},
        {"negative count", "-2\n", kErrorPrinted, "line 1: the number of locations -2 must be from 0 to"},
        // A count the file cannot fill ends at its end, not in an allocation of its size.
        {"count far beyond the file", "2000000000\n1 1\n", kErrorPrinted,
         "line 2: the file ends before the link"},
        {"link that is no whole number", "1\n1.5 1\n", kErrorPrinted,
         "line 2: the link \"1.5\" is not a number."},
    };
    for (const row& r : rows) {
        const list_result got = read_hydrograph_list(r.text);
        EXPECT_EQ(got.code, r.code) << r.what;
        EXPECT_NE(got.out.find(r.message), std::string::npos) << r.what << ": " << got.out;
        if (r.code != 0) {
            EXPECT_EQ(got.count, 0) << r.what;
        }
        // A list that was read switches the per-location peaks and volumes on.
        EXPECT_EQ(got.on, r.code == 0 ? 1 : 0) << r.what;
        if (r.code == 0) {
            EXPECT_EQ(got.peak_slots, static_cast<size_t>(got.count) + 1) << r.what;
            EXPECT_EQ(got.volume_slots, static_cast<size_t>(got.count) + 1) << r.what;
        }
    }
    const list_result ok = read_hydrograph_list("2\n1 3\n3 1\n");
    EXPECT_EQ(ok.count, 2);
    EXPECT_EQ(ok.links, (std::vector<int>{0, 1, 3}));
    EXPECT_EQ(ok.nodes, (std::vector<int>{0, 3, 1}));
}

TEST(LocationLists, FluxLocationsGetTheirAccumulators) {
    temp_dir dir;
    run_state_owner owner;
    run_state& rs = *owner;
    output_test::set_small_network(rs);
    const std::string path = dir.file("gwf.txt");
    write_file(path, "2\n1 1\n1 2\n");
    rs.in_gwflux_location = 1;
    open_on(rs.gwflux_location_file, path, "r");
    read_gw_flux_locations(rs);
    EXPECT_EQ(error_record.code, 0);
    EXPECT_EQ(rs.num_gwflux_locations, 2);
    EXPECT_EQ(rs.gwflux_sum.size(), 3u);
}

TEST(LocationLists, CellLocationsMustLieInTheWatershed) {
    struct row {
        std::string text;
        int code;
        std::vector<int> cells;
    };
    const row rows[] = {
        {"2\n1 2\n2 3\n", 0, {0, 2, 5}},
        {"1\n3 1\n", kErrorPrinted, {}},    // row beyond the grid
        {"1\n1 0\n", kErrorPrinted, {}},    // column 0
        {"1\n2 2\n", kErrorPrinted, {}},    // a position outside the watershed
    };
    for (const row& r : rows) {
        temp_dir dir;
        run_state_owner owner;
        run_state& rs = *owner;
        output_test::set_small_grid(rs);
        rs.mask[2][2] = 0;   // the watershed: 1 2 3 / 4 - 5
        rs.mask[2][3] = 5;
        rs.GNUM = 5;
        const std::string path = dir.file("cells.txt");
        write_file(path, r.text);
        std::snprintf(rs.files.in_celldepdis_location, sizeof rs.files.in_celldepdis_location, "%s",
                      path.c_str());
        rs.in_celldepdis_location = 1;
        open_on(rs.celldepdis_location_file, path, "r");
        testing::internal::CaptureStdout();
        read_cell_output_locations(rs);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(error_record.code, r.code) << r.text;
        if (r.code == 0) {
            EXPECT_EQ(rs.gnumlocater, r.cells);
        } else {
            EXPECT_NE(out.find(path), std::string::npos) << out;
            EXPECT_EQ(rs.num_cell_locations, 0);
        }
    }
}

TEST(LocationLists, SoilMoistureCellsInBothForms) {
    struct row {
        const char* what;
        int richards;
        std::string text;
        int code;
        std::vector<int> cells;
        std::vector<int> node_counts;
    };
    const row rows[] = {
        {"plain", 0, "2\n1 1\n2 3\n", 0, {0, 1, 6}, {}},
        {"Richards columns", 1, "2 7\n1 2 2 1 4\n2 1 1 3\n", 0, {0, 2, 4}, {0, 2, 1}},
        {"Richards, node 0", 1, "1 7\n1 2 1 0\n", kErrorPrinted, {}, {}},
        {"Richards, short node list", 1, "1 7\n1 2 3 1 2\n", kErrorPrinted, {}, {}},
        {"outside the grid", 0, "1\n9 9\n", kErrorPrinted, {}, {}},
    };
    for (const row& r : rows) {
        temp_dir dir;
        run_state_owner owner;
        run_state& rs = *owner;
        output_test::set_small_grid(rs);
        rs.inf_richards = r.richards;
        const std::string path = dir.file("theta.txt");
        write_file(path, r.text);
        std::snprintf(rs.files.in_theta_location, sizeof rs.files.in_theta_location, "%s",
                      path.c_str());
        rs.in_theta_location = 1;
        open_on(rs.theta_location_file, path, "r");
        testing::internal::CaptureStdout();
        read_soil_moisture_output_cells(rs);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(error_record.code, r.code) << r.what;
        if (r.code != 0) {
            EXPECT_NE(out.find(path), std::string::npos) << r.what << ": " << out;
            continue;
        }
        EXPECT_EQ(rs.cell_loc, r.cells) << r.what;
        EXPECT_EQ(rs.cell_num, r.node_counts) << r.what;
        if (r.richards) {
            EXPECT_EQ(rs.theta_second_number, 7);
            EXPECT_EQ(rs.theta_nodes[1], (std::vector<int>{0, 1, 4}));
            EXPECT_EQ(rs.theta_nodes[2], (std::vector<int>{0, 3}));
        }
    }
}

TEST(LocationLists, SuperjunctionNumbersAreCheckedWhenTheNetworkIsKnown) {
    struct row {
        std::string text;
        int n_sjunc;
        int code;
    };
    const row rows[] = {{"2\n1\n5\n", 5, 0}, {"1\n6\n", 5, kErrorPrinted}, {"1\n0\n", 0, kErrorPrinted}};
    for (const row& r : rows) {
        temp_dir dir;
        run_state_owner owner;
        run_state& rs = *owner;
        const std::string path = dir.file("sj.txt");
        write_file(path, r.text);
        rs.superlink_junc_location = 1;
        rs.n_sjunc = r.n_sjunc;
        std::snprintf(rs.files.superlink_junc_location, sizeof rs.files.superlink_junc_location, "%s",
                      path.c_str());
        open_on(rs.superlink_junc_location_file, path, "r");
        testing::internal::CaptureStdout();
        read_superjunction_locations(rs);
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(error_record.code, r.code) << r.text;
    }
}

TEST(MapDatasets, MapTypeDecidesWhichHeadersAreWrittenAtSetUp) {
    struct row {
        int map_type;
        const char* first_bytes;   // start of the depth file; null: no file
    };
    const row rows[] = {{0, nullptr}, {1, "DATASET\nOBJTYPE grid2d\nBEGSCL\nOBJID 1010\nND 6\nNC 6\nNAME depth\n"},
                        {2, "\xb8\x0b\0\0"}};
    for (const row& r : rows) {
        temp_dir dir;
        run_state_owner owner;
        run_state& rs = *owner;
        output_test::set_small_grid(rs);
        rs.settings.map_type = r.map_type;
        rs.depth = 1;
        std::snprintf(rs.cards.depth, sizeof rs.cards.depth, "%s", dir.file("depth.ds").c_str());
        open_map_datasets(rs);
        EXPECT_EQ(error_record.code, 0);
        EXPECT_EQ(rs.map_depth_out.size(), 7u);
        close_file_object(rs.map_kind_file[kMapKindDepth]);
        if (r.first_bytes == nullptr) {
            EXPECT_FALSE(pluvo_test::file_exists(dir.file("depth.ds")));
            EXPECT_EQ(rs.map_kind_started[kMapKindDepth], 0);
        } else {
            const std::string want = r.map_type == 2 ? std::string(r.first_bytes, 4) : r.first_bytes;
            EXPECT_EQ(read_file(dir.file("depth.ds")).substr(0, want.size()), want);
            EXPECT_EQ(rs.map_kind_started[kMapKindDepth], 1);
        }
    }
}

TEST(MapDatasets, UnopenableDatasetStopsWithCode59AndThePath) {
    run_state_owner owner;
    run_state& rs = *owner;
    output_test::set_small_grid(rs);
    rs.settings.map_type = 1;
    rs.discharge = 1;
    std::snprintf(rs.cards.discharge, sizeof rs.cards.discharge, "%s", "/nonexistent_pluvo_folder/q");
    testing::internal::CaptureStdout();
    open_map_datasets(rs);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(error_record.code, 59);
    EXPECT_STREQ(error_record.file_name, "/nonexistent_pluvo_folder/q");
}

TEST(MapDatasets, KindsNeedTheirProcess) {
    run_state_owner owner;
    run_state& rs = *owner;
    rs.cards.max_sed_flux_given = 1;
    rs.ov_con_map = 1;
    EXPECT_FALSE(map_kind_on(rs, kMapKindSedFlux));   // no soil erosion
    EXPECT_FALSE(map_kind_on(rs, kMapKindContam));    // no contaminants
    rs.soil_erosion = 1;
    rs.ov_con_trans = 1;
    EXPECT_TRUE(map_kind_on(rs, kMapKindSedFlux));
    EXPECT_TRUE(map_kind_on(rs, kMapKindContam));
    EXPECT_STREQ(map_kind_name(kMapKindSwe), "snow_water_equivalent");
    EXPECT_EQ(map_kind_id(kMapKindSwe), 1024);
    EXPECT_EQ(map_kind_name(15), nullptr);
}
