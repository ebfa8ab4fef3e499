// Grid map outputs: one depth map written as a per-time ASCII grid, an ASCII
// dataset and a binary dataset, each read back by a reader of the documented
// layout; the bounds grid; the map_dataset record's file names and failures.
#include <gtest/gtest.h>
#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>
#include "core/alloc.h"
#include "core/error.h"
#include "core/file_object.h"
#include "output/map_dataset.h"
#include "pluvo_test.h"

using pluvo_test::read_file;
using pluvo_test::split_lines;
using pluvo_test::temp_dir;

namespace {

// A 3 x 4 grid with five active cells numbered row by row:
//   0 1 2 0
//   3 0 4 0
//   0 0 5 0
struct small_grid {
    int rows = 3, cols = 4;
    int** mask = nullptr;
    std::vector<double> depth{0.0, 0.125, 1.5, 0.0, 2.25, 0.0625};   // cells 1..5, m
    double north = 1030.0, south = 1000.0, east = 540.0, west = 500.0, cell = 10.0;

    small_grid() {
        mask = make_int_2d(rows + 1, cols + 1);
        const int layout[3][4] = {{0, 1, 2, 0}, {3, 0, 4, 0}, {0, 0, 5, 0}};
        for (int r = 1; r <= rows; ++r)
            for (int c = 1; c <= cols; ++c) mask[r][c] = layout[r - 1][c - 1];
    }
    ~small_grid() { free_block_2d(mask); }

    // Values of the grid row by row as a full rows x cols table, inactive = `fill`.
    std::vector<double> table(double fill) const {
        std::vector<double> t;
        for (int r = 1; r <= rows; ++r)
            for (int c = 1; c <= cols; ++c)
                t.push_back(mask[r][c] ? depth[static_cast<size_t>(mask[r][c])] : fill);
        return t;
    }
};

// Reader of an ASCII grid: header pairs, then rows x cols numbers.
struct ascii_grid {
    std::vector<std::string> keys;
    std::vector<double> header;
    std::vector<double> values;
};

ascii_grid parse_ascii_grid(const std::string& text) {
    ascii_grid g;
    std::istringstream in(text);
    for (int k = 0; k < 6; ++k) {
        std::string key;
        double v = 0.0;
        in >> key >> v;
        g.keys.push_back(key);
        g.header.push_back(v);
    }
    double v = 0.0;
    while (in >> v) g.values.push_back(v);
    return g;
}

// Reader of an ASCII dataset: header lines, then "TS 1 t", flags, values per step.
struct ascii_dataset {
    std::vector<std::string> header;
    std::vector<double> times;
    std::vector<std::vector<int>> flags;
    std::vector<std::vector<double>> values;
    bool closed = false;
};

ascii_dataset parse_ascii_dataset(const std::string& text, int n) {
    ascii_dataset d;
    std::vector<std::string> lines = split_lines(text);
    size_t i = 0;
    while (i < lines.size() && lines[i].rfind("TS ", 0) != 0 && lines[i] != "ENDDS")
        d.header.push_back(lines[i++]);
    while (i < lines.size() && lines[i].rfind("TS 1 ", 0) == 0) {
        d.times.push_back(std::stod(lines[i].substr(5)));
        ++i;
        std::vector<int> f;
        std::vector<double> v;
        for (int k = 0; k < n; ++k) f.push_back(std::stoi(lines[i++]));
        for (int k = 0; k < n; ++k) v.push_back(std::stod(lines[i++]));
        d.flags.push_back(f);
        d.values.push_back(v);
    }
    d.closed = i < lines.size() && lines[i] == "ENDDS";
    return d;
}

// Little-endian reader of the binary dataset.
struct byte_reader {
    const std::string& s;
    size_t pos = 0;
    int32_t i32() {
        uint32_t v = 0;
        for (int k = 0; k < 4; ++k) v |= static_cast<uint32_t>(static_cast<unsigned char>(s[pos++])) << (8 * k);
        return static_cast<int32_t>(v);
    }
    int i16() {
        uint32_t v = static_cast<unsigned char>(s[pos]) | (static_cast<unsigned char>(s[pos + 1]) << 8);
        pos += 2;
        return static_cast<int16_t>(v);
    }
    double f64() {
        uint64_t v = 0;
        for (int k = 0; k < 8; ++k) v |= static_cast<uint64_t>(static_cast<unsigned char>(s[pos++])) << (8 * k);
        double d = 0.0;
        std::memcpy(&d, &v, sizeof d);
        return d;
    }
    std::string bytes(size_t n) {
        std::string b = s.substr(pos, n);
        pos += n;
        return b;
    }
};

}  // namespace

TEST(MapForms, OneDepthMapReadsBackTheSameInAllThreeForms) {
    temp_dir dir;
    small_grid g;
    const int n = g.rows * g.cols;

    // Per-time ASCII grid.
    const std::string grid_path = dir.file("depth.0001.asc");
    {
        file_object f;
        ASSERT_TRUE(open_file_named(f, grid_path.c_str(), "w"));
        EXPECT_EQ(write_ascii_grid(f, g.mask, g.north, g.south, g.east, g.west, g.rows, g.cols,
                                   g.depth, g.cell),
                  0);
    }
    const std::string grid_text = read_file(grid_path);
    const ascii_grid ag = parse_ascii_grid(grid_text);
    EXPECT_EQ(ag.keys, (std::vector<std::string>{"ncols", "nrows", "xllcenter", "yllcenter",
                                                  "cellsize", "NODATA_value"}));
    EXPECT_EQ(ag.header, (std::vector<double>{4, 3, 505.0, 1005.0, 10.0, -9999.99}));
    EXPECT_EQ(ag.values, g.table(-9999.99));

    // ASCII dataset.
    const std::string ads_path = dir.file("depth.dat");
    {
        file_object f;
        int started = 0;
        ASSERT_TRUE(begin_map_dataset(1, 1010, ads_path.c_str(), "depth", f, started, g.rows, g.cols));
        EXPECT_EQ(started, 1);
        write_dataset_step(f, 5.0, g.rows, g.cols, g.mask, g.depth, false);
        write_dataset_step(f, 10.0, g.rows, g.cols, g.mask, g.depth, false);
        end_map_dataset(f, false);
    }
    const ascii_dataset ad = parse_ascii_dataset(read_file(ads_path), n);
    EXPECT_EQ(ad.header, (std::vector<std::string>{"DATASET", "OBJTYPE grid2d", "BEGSCL", "OBJID 1010",
                                                    "ND 12", "NC 12", "NAME depth"}));
    ASSERT_EQ(ad.times, (std::vector<double>{5.0, 10.0}));
    std::vector<int> flags;
    for (double v : g.table(-1.0)) flags.push_back(v == -1.0 ? 0 : 1);
    EXPECT_EQ(ad.flags[1], flags);
    EXPECT_EQ(ad.values[1], g.table(0.0));
    EXPECT_TRUE(ad.closed);

    // Binary dataset.
    const std::string bin_path = dir.file("depth.bin");
    {
        file_object f;
        int started = 0;
        ASSERT_TRUE(begin_map_dataset(2, 1010, bin_path.c_str(), "depth", f, started, g.rows, g.cols));
        write_dataset_step(f, 5.0, g.rows, g.cols, g.mask, g.depth, true);
        end_map_dataset(f, true);
    }
    const std::string bin = read_file(bin_path);
    ASSERT_EQ(bin.size(), 4u + 8 * 3 + 4 + 8 * 3 + 4 + 40 + (4 + 2 + 8 + n * 2 + n * 8) + 4);
    byte_reader b{bin};
    const int32_t head[] = {3000, 100, 4, 110, 8, 120, 2, 130, 160, 1010, 170, 12, 180, 12, 190};
    for (int32_t want : head) EXPECT_EQ(b.i32(), want);
    EXPECT_EQ(b.bytes(40), std::string("depth") + std::string(35, '\0'));
    EXPECT_EQ(b.i32(), 200);
    EXPECT_EQ(b.i16(), 1);
    EXPECT_EQ(b.f64(), 5.0);
    std::vector<int> bflags;
    for (int k = 0; k < n; ++k) bflags.push_back(b.i16());
    EXPECT_EQ(bflags, flags);
    std::vector<double> bvalues;
    for (int k = 0; k < n; ++k) bvalues.push_back(b.f64());
    EXPECT_EQ(bvalues, g.table(0.0));
    EXPECT_EQ(b.i32(), 210);
}

TEST(MapForms, AsciiGridLinesFollowTheCommonLayoutByteForByte) {
    temp_dir dir;
    small_grid g;
    const std::string path = dir.file("g.asc");
    {
        file_object f;
        ASSERT_TRUE(open_file_named(f, path.c_str(), "w"));
        write_ascii_grid(f, g.mask, g.north, g.south, g.east, g.west, g.rows, g.cols, g.depth, g.cell);
    }
    const std::vector<std::string> lines = split_lines(read_file(path));
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[0], "ncols \t4");
    EXPECT_EQ(lines[1], "nrows \t3");
    EXPECT_EQ(lines[2], "xllcenter    505.00");
    EXPECT_EQ(lines[3], "yllcenter   1005.00");
    EXPECT_EQ(lines[4], "cellsize     10.00");
    EXPECT_EQ(lines[5], "NODATA_value -9999.99");
    EXPECT_EQ(lines[6], "-9999.99 0.1250 1.5000 -9999.99 ");
}

TEST(MapForms, BoundsGridWritesZeroOutsideTheWatershed) {
    temp_dir dir;
    small_grid g;
    const std::string path = dir.file("b.grd");
    {
        file_object f;
        ASSERT_TRUE(open_file_named(f, path.c_str(), "w"));
        write_grass_grid(f, g.mask, g.north, g.south, g.east, g.west, g.rows, g.cols, g.depth);
    }
    EXPECT_EQ(read_file(path),
              "north:   1030.00\nsouth:   1000.00\neast:    540.00\nwest:    500.00\n"
              "rows:     3\ncols:     4\n"
              "0.000000 0.125000 1.500000 0.000000 \n"
              "0.000000 0.000000 2.250000 0.000000 \n"
              "0.000000 0.000000 0.062500 0.000000 \n");
}

TEST(MapForms, ShortSourceIsNeverReadPastAndIsCounted) {
    temp_dir dir;
    small_grid g;
    std::vector<double> short_source{0.0, 1.0, 2.0};   // cells 3..5 missing
    file_object f;
    ASSERT_TRUE(open_file_named(f, dir.file("s.asc").c_str(), "w"));
    EXPECT_EQ(write_ascii_grid(f, g.mask, g.north, g.south, g.east, g.west, g.rows, g.cols,
                               short_source, g.cell),
              3);
}

TEST(BinaryHeader, NameFieldIsZeroPaddedOrCutToFortyBytes) {
    temp_dir dir;
    struct row {
        std::string name;
        std::string field;
    };
    const std::string long_name(55, 'x');
    const row rows[] = {
        {"", std::string(40, '\0')},
        {"Snow_Temperature", "Snow_Temperature" + std::string(24, '\0')},
        {long_name, std::string(40, 'x')},
    };
    for (const row& r : rows) {
        const std::string path = dir.file("h.bin");
        {
            file_object f;
            ASSERT_TRUE(write_binary_dataset_header(path.c_str(), f, 1060, r.name.c_str(), 2, 2));
        }
        const std::string bin = read_file(path);
        ASSERT_EQ(bin.size(), 15u * 4 + 40);
        EXPECT_EQ(bin.substr(60), r.field) << r.name;
    }
}

TEST(BeginMapDataset, MapTypeChoosesTheHeaderAndFailuresRaise59) {
    temp_dir dir;
    struct row {
        int map_type;
        bool file_written;
        int started;
    };
    const row rows[] = {{0, false, 0}, {1, true, 1}, {2, true, 1}, {3, true, 1}};
    for (const row& r : rows) {
        const std::string path = dir.file("ds" + std::to_string(r.map_type));
        file_object f;
        int started = -1;
        EXPECT_TRUE(begin_map_dataset(r.map_type, 1011, path.c_str(), "discharge", f, started, 2, 2));
        EXPECT_EQ(started, r.started);
        close_file_object(f);
        EXPECT_EQ(pluvo_test::file_exists(path), r.file_written) << r.map_type;
    }
    error_record.code = 0;
    file_object f;
    int started = 0;
    EXPECT_FALSE(begin_map_dataset(1, 1011, "/nonexistent_pluvo_folder/d", "d", f, started, 2, 2));
    EXPECT_EQ(error_record.code, 59);
    EXPECT_STREQ(error_record.file_name, "/nonexistent_pluvo_folder/d");
    error_record.code = 0;
}

TEST(MapDatasetRecord, PerTimeFilesAreNumberedFromOneUnderTheFolder) {
    temp_dir dir;
    small_grid g;
    // A folder given with its separator gets no second one.
    for (const std::string& folder : {dir.path(), dir.path() + "/"}) {
        map_dataset d;
        init_map_dataset(d);
        EXPECT_DOUBLE_EQ(d.nodata, -999.99);
        EXPECT_DOUBLE_EQ(d.factor, 1.0);
        EXPECT_EQ(d.map_count, 1);
        d.mask = g.mask;
        d.values = &g.depth;
        d.rows = g.rows;
        d.cols = g.cols;
        d.cell_size = g.cell;
        ASSERT_TRUE(begin_map_dataset_file(d, kMapGridPerTime, folder.c_str(), ".conc", ".asc", 5000,
                                           "conc_01", 0));
        testing::internal::CaptureStdout();
        EXPECT_TRUE(write_map_dataset_step(d, 1.0));
        EXPECT_TRUE(write_map_dataset_step(d, 2.0));
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_NE(out.find("opening file " + dir.path() + "/conc_01.conc.0001.asc\n"), std::string::npos)
            << out;
        EXPECT_EQ(out.find("//"), std::string::npos);
        EXPECT_EQ(d.map_count, 3);
        const ascii_grid second = parse_ascii_grid(read_file(dir.file("conc_01.conc.0002.asc")));
        EXPECT_EQ(second.values, g.table(-9999.99));
    }
}

TEST(MapDatasetRecord, DatasetFormsCloseWhenFreedAndReportAShortSource) {
    temp_dir dir;
    small_grid g;
    std::vector<double> short_source{0.0, 1.0};
    map_dataset d;
    d.mask = g.mask;
    d.values = &short_source;
    d.rows = g.rows;
    d.cols = g.cols;
    const std::string base = dir.file("snow");
    ASSERT_TRUE(begin_map_dataset_file(d, kMapAsciiDataset, base.c_str(), "", "", 1060,
                                       "Snow_Temperature", 1));
    write_map_dataset_step(d, 30.0);
    testing::internal::CaptureStdout();
    free_map_dataset(d);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Error: bad range addressed in array Snow_Temperature\n");
    const ascii_dataset ad = parse_ascii_dataset(read_file(base), g.rows * g.cols);
    EXPECT_EQ(ad.times, std::vector<double>{30.0});
    EXPECT_TRUE(ad.closed);
}

TEST(MapDatasetRecord, UnopenablePerTimeFileStopsWithItsMessage) {
    small_grid g;
    map_dataset d;
    d.mask = g.mask;
    d.values = &g.depth;
    d.rows = g.rows;
    d.cols = g.cols;
    begin_map_dataset_file(d, kMapGridPerTime, "/nonexistent_pluvo_folder", "", ".asc", 1, "m", 0);
    error_record.code = 0;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(write_map_dataset_step(d, 1.0));
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Can't open map for writing: /nonexistent_pluvo_folder/m.0001.asc\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(error_record.code, kErrorPrinted);
    error_record.code = 0;
}
