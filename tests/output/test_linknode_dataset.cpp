// Link/node dataset files: header, time-step blocks in the three write modes
// on a small hand-set network (channel, lake and structure link), the
// constituent dataset record, and the storm-drain block.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "core/file_object.h"
#include "output/linknode_dataset.h"
#include "pluvo_test.h"

using pluvo_test::read_file;
using pluvo_test::temp_dir;

namespace {

// Three links: 1 a channel link of 3 nodes, 2 a lake link (lake 1), 3 a structure link.
struct small_network {
    int links = 3;
    std::vector<int> nx{0, 3, 1, 2};
    std::vector<int> ltype{0, 4, 32, 64};
    std::vector<int> lake_index{0, 0, 1, 0};
    std::vector<double> lake_level{0.0, 12.5};
    node_grid yp, bel, qp, area;

    small_network() {
        auto grid = [] { return node_grid(5, std::vector<double>(5, 0.0)); };
        yp = grid();
        bel = grid();
        qp = grid();
        area = grid();
        for (int j = 1; j <= 3; ++j) {
            yp[j][1] = 10.0 + j;
            bel[j][1] = 10.0;
            qp[j][1] = j;
        }
        area[1][1] = 2.0;    // velocity 0.5
        area[2][1] = 0.0;    // dry node
        area[3][1] = 1e-7;   // at the threshold: still dry
        yp[1][3] = 7.25;     // structure link, node 1
    }

    linknode_step_args args(int mode, const node_grid* first, const node_grid* second) const {
        linknode_step_args a;
        a.links = links;
        a.node_limit = &nx;
        a.link_types = &ltype;
        a.first = first;
        a.second = second;
        a.mode = mode;
        a.lake_index = &lake_index;
        a.lake_values = &lake_level;
        return a;
    }
};

// Writes through `fn` into a fresh file and returns the file's text.
template <class F>
std::string written(F fn) {
    temp_dir dir;
    const std::string path = dir.file("ds.txt");
    file_object f;
    EXPECT_TRUE(open_file_named(f, path.c_str(), "w"));
    fn(f);
    close_file_object(f);
    return read_file(path);
}

}  // namespace

TEST(LinknodeHeader, WordLineOnlyForKnownKinds) {
    struct row {
        int kind;
        std::string expected_first_line;
    };
    const row rows[] = {
        {0, "PLUVO_LINKNODE_STREAM_DEPTH"},
        {3, "PLUVO_LINKNODE_STREAM_VELOCITY"},
        {26, "PLUVO_LINKNODE_MASS"},
        {31, "PLUVO_LINKNODE_STREAM_SED_FLUX"},
        {32, "NUM_LINKS     3"},
        {-1, "NUM_LINKS     3"},
    };
    for (const row& r : rows) {
        const std::string text = written([&](file_object& f) {
            write_linknode_header(f, r.kind, 3, 15, 66, 5, 6, 2001, 13, 7);
        });
        const std::string rest =
            "NUM_LINKS     3\nTIME_STEP     15\nNUM_TS        66\nSTART_TIME     5  6 2001 13  7  0\n";
        if (r.expected_first_line.rfind("NUM_LINKS", 0) == 0) {
            EXPECT_EQ(text, rest) << "kind " << r.kind;
        } else {
            EXPECT_EQ(text, r.expected_first_line + "\n" + rest) << "kind " << r.kind;
        }
    }
}

TEST(LinknodeStep, ModesOnChannelLakeAndStructureLinks) {
    small_network n;
    struct row {
        const char* what;
        int mode;
        const node_grid* first;
        const node_grid* second;
        std::string expected;
    };
    const row rows[] = {
        {"depth = level - bed", kLinknodeDifference, &n.yp, &n.bel,
         "TS    4\n"
         "3   1  1.00000   1  2.00000   1  3.00000   \n"
         "-1 12.50000   \n"
         "0  -999.999   \n"
         "\n"},
        {"velocity = flow / area, dry nodes 0", kLinknodeRatio, &n.qp, &n.area,
         "TS    4\n"
         "3   1  0.50000   1  0.00000   1  0.00000   \n"
         "-1 12.50000   \n"
         "0  -999.999   \n"
         "\n"},
        {"stage, plain", kLinknodePlain, &n.yp, nullptr,
         "TS    4\n"
         "3   1  11.00000   1  12.00000   1  13.00000   \n"
         "0  -999.999   \n"
         "-2  7.25000   \n"
         "\n"},
    };
    for (const row& r : rows) {
        linknode_step_args a = n.args(r.mode, r.first, r.second);
        a.step_number = 4;
        EXPECT_EQ(written([&](file_object& f) { write_linknode_step(f, a); }), r.expected) << r.what;
    }
}

TEST(LinknodeStep, VelocityDividesAlsoWithoutListedNodesAndNeverByZero) {
    // Every node dry: a divide by zero would print inf or nan.
    small_network n;
    n.area.fill(0.0);
    linknode_step_args a = n.args(kLinknodeRatio, &n.qp, &n.area);
    const std::string text = written([&](file_object& f) { write_linknode_step(f, a); });
    EXPECT_NE(text.find("3   1  0.00000   1  0.00000   1  0.00000   \n"), std::string::npos) << text;
    EXPECT_EQ(text.find("inf"), std::string::npos);
    EXPECT_EQ(text.find("nan"), std::string::npos);
}

TEST(LinknodeStep, ListedNodesBeyondTheLimitAreEmptyEntries) {
    small_network n;
    std::vector<int> listed{0, 5, 0, 0};
    linknode_step_args a = n.args(kLinknodePlain, &n.qp, nullptr);
    a.listed_nodes = &listed;
    const std::string text = written([&](file_object& f) { write_linknode_step(f, a); });
    EXPECT_NE(text.find("5   1  1.00000   1  2.00000   1  3.00000   0  -999.999   0  -999.999   \n"),
              std::string::npos)
        << text;
}

TEST(LinknodeStep, EmptyNetworkWritesTheStepLineAndTheBlankLine) {
    linknode_step_args a;
    a.step_number = 2;
    EXPECT_EQ(written([&](file_object& f) { write_linknode_step(f, a); }), "TS    2\n\n");
}

TEST(LinknodeStep, StorageArraysSmallerThanTheNetworkReadAsZero) {
    // The node arrays of a network not yet read are empty; nothing is read past them.
    small_network n;
    node_grid empty;
    linknode_step_args a = n.args(kLinknodeRatio, &empty, &empty);
    const std::string text = written([&](file_object& f) { write_linknode_step(f, a); });
    EXPECT_NE(text.find("3   1  0.00000   1  0.00000   1  0.00000   \n"), std::string::npos);
}

TEST(LinknodeDataset, FlatSourceIsScaledCutAtTheLimitAndNumberedFromZero) {
    temp_dir dir;
    small_network n;
    const int stride = 4;
    std::vector<double> flat(static_cast<size_t>(stride * (n.links + 1)), 0.0);
    for (int j = 1; j <= 3; ++j) flat[static_cast<size_t>(1 * stride + j)] = 1000.0 * j;
    std::vector<int> listed{0, 3, 0, 0};
    std::vector<double> lake_mass{0.0, 4000.0};

    linknode_dataset d;
    init_linknode_dataset(d);
    EXPECT_EQ(d.source_kind, -1);
    bind_linknode_dataset_1d(d, kLinknodeMass, &flat, &n.nx, &listed, &n.ltype, &n.lake_index,
                             &lake_mass, 1, n.links, stride);
    EXPECT_EQ(d.source_kind, 1);
    const std::string base = dir.file("contam");
    open_linknode_dataset_files(d, "", base.c_str(), ".chan.mass", 1000.0);
    write_linknode_dataset_step(d);
    write_linknode_dataset_step(d);
    EXPECT_EQ(d.ts_count, 2);
    EXPECT_DOUBLE_EQ(d.lake_values[1], 4.0);
    free_linknode_dataset(d);

    const std::string block =
        "3   1  1.00000   1  2.00000   1  0.00000   \n"   // node 3 is at the limit: 0
        "0  -999.999   \n"                               // lakes are not written in mode 0
        "-2  0.00000   \n"                               // structures carry 0
        "\n";
    EXPECT_EQ(read_file(base + ".chan.mass"),
              "PLUVO_LINKNODE_MASS\nNUM_LINKS     3\nTIME_STEP     15\nNUM_TS        15\n"
              "START_TIME     0  0    0  0  0  0\n"
              "TS    0\n" + block + "TS    1\n" + block);
}

TEST(LinknodeDataset, GridSourceIsMultipliedByTheFactor) {
    temp_dir dir;
    small_network n;
    node_grid totals(5, std::vector<double>(5, 0.0));
    totals[1][1] = 0.002;
    totals[2][1] = 0.003;
    std::vector<int> listed{0, 2, 0, 0};
    std::vector<int> limit{0, 3, 0, 0};
    linknode_dataset d;
    bind_linknode_dataset_2d(d, 28, &totals, &limit, &listed, &n.ltype, &n.lake_index, nullptr, 0,
                             n.links, 4);
    const std::string base = dir.file("tn");
    open_linknode_dataset_files(d, "", base.c_str(), "", 1000.0);
    write_linknode_dataset_step(d);
    free_linknode_dataset(d);
    const std::string text = read_file(base);
    EXPECT_EQ(text.rfind("PLUVO_LINKNODE_TOTAL_NITROGEN\n", 0), 0u);
    EXPECT_NE(text.find("TS    0\n2   1  2.00000   1  3.00000   \n"), std::string::npos) << text;
}

// The constituent datasets are bound without lake values: on a network with
// a lake link their steps write the lake's empty entry and address no lake
// slot (no range error is flagged or reported).
TEST(LinknodeDataset, WithoutLakeValuesTheLakeLinkIsEmpty) {
    temp_dir dir;
    small_network n;
    std::vector<double> flat(16, 0.0);
    flat[4 + 1] = 2.5;
    linknode_dataset d;
    bind_linknode_dataset_1d(d, kLinknodeConcentration, &flat, &n.nx, &n.nx, &n.ltype, nullptr, nullptr, 0,
                             n.links, 4);
    const std::string base = dir.file("c");
    open_linknode_dataset_files(d, "", base.c_str(), ".conc", 1.0);
    write_linknode_dataset_step(d);
    EXPECT_EQ(d.lake_values.range_error, 0);
    testing::internal::CaptureStdout();
    free_linknode_dataset(d);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_NE(read_file(base + ".conc").find("TS    0\n3   1  2.50000   1  0.00000   1  0.00000   \n0  -999.999   \n"),
              std::string::npos)
        << read_file(base + ".conc");
}

TEST(LinknodeDataset, UnopenableFileIsReportedAndEveryStepSaysSo) {
    small_network n;
    std::vector<double> flat(16, 0.0);
    linknode_dataset d;
    bind_linknode_dataset_1d(d, kLinknodeConcentration, &flat, &n.nx, &n.nx, &n.ltype,
                             &n.lake_index, nullptr, 0, n.links, 4);
    testing::internal::CaptureStdout();
    open_linknode_dataset_files(d, "/nonexistent_pluvo_folder/", "c", ".conc", 1.0);
    write_linknode_dataset_step(d);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Error: unable to open file /nonexistent_pluvo_folder/c.conc\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("Error writing to link/node file...\n"), std::string::npos);
    EXPECT_EQ(d.ts_count, 1);
}

TEST(SuperlinkStep, EntryCountsFollowThePipesOfEachSuperlink) {
    // Superlink 1 has 3 pipes: 3 flow entries, 4 head entries.
    node_grid flow(3, std::vector<double>(6, 0.0));
    flow[1][1] = 0.1;
    flow[1][2] = 0.2;
    flow[1][3] = 0.3;
    std::vector<int> pipes{0, 3}, heads{0, 4};
    EXPECT_EQ(written([&](file_object& f) { write_superlink_linknode_step(f, 7, 1, pipes, flow, 1.0); }),
              "TS    7\n3   1  0.10000   1  0.20000   1  0.30000   \n\n");
    EXPECT_EQ(written([&](file_object& f) { write_superlink_linknode_step(f, 0, 1, heads, flow, 1.0); }),
              "TS    0\n4   1  0.10000   1  0.20000   1  0.30000   1  0.00000   \n\n");
}
