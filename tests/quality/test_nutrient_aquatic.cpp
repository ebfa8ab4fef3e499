// The aquatic environment file of the nutrient sub-model: accepted files and
// each refusal with its code, every one of the 52 positions read back, DEFAULT
// blocks, and a last block without a trailing line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/error.h"
#include "pluvo_test.h"
#include "quality/nutrient_aquatic.h"
#include "run/run_state.h"

using namespace pluvo_test;

namespace {

// Positions of the values of each of the ten block lines.
const std::vector<std::vector<int>> kLinePositions = {
    {0, 2, 4, 6, 8, 10, 12}, {1, 3, 5, 7, 9, 11, 13}, {14, 16, 18, 20}, {15, 17, 19, 21},
    {22, 24, 26, 28},        {23, 25, 27, 29},        {30, 32, 34, 36, 38, 40, 42},
    {31, 33, 35, 37, 39, 41, 43}, {44, 45, 46, 47},   {48, 49, 50, 51},
};

// Ten value lines whose value at position k is k + offset.
std::string block(double offset, const char* sep = " ") {
    std::string text;
    for (const auto& line : kLinePositions) {
        for (size_t i = 0; i < line.size(); ++i) {
            if (i > 0) text += sep;
            text += std::to_string(line[i] + offset);
        }
        text += "\n";
    }
    return text;
}

const std::string kHead = "AQUATIC_ENV_NSM10\nOV_MAP ov_ids.asc\nST_MAP st_ids.txt\n";

struct read_result {
    bool ok;
    int code;
    aquatic_env_tables t;
};

read_result read_text(const std::string& text) {
    temp_dir dir;
    const std::string path = dir.file("aq.env");
    write_file(path, text);
    error_record = error_info{};
    read_result r{false, 0, {}};
    r.ok = read_aquatic_env_table(path.c_str(), r.t);
    r.code = error_record.code;
    error_record = error_info{};
    return r;
}

TEST(AquaticEnvFile, FilesAcceptedOrRefusedWithTheirCode) {
    struct file_case {
        const char* what;
        std::string text;
        int code;        // 0 accepted
        int n1, n2;      // numbers of a code 78
    };
    const std::vector<file_case> cases = {
        {"two blocks", kHead + "NUM_IDS 2\ntitle\n1\n" + block(0) + "2\n" + block(100), 0, 0, 0},
        {"header one character short", "AQUATIC_ENV_NSM1\nNUM_IDS 1\ntitle\n1\nDEFAULT\n", 77, 0, 0},
        {"header in lower case", "aquatic_env_nsm10\nNUM_IDS 1\ntitle\n1\nDEFAULT\n", 77, 0, 0},
        {"ID equal to the count", kHead + "NUM_IDS 3\ntitle\n3\nDEFAULT\n", 0, 0, 0},
        {"ID above the count", kHead + "NUM_IDS 3\ntitle\n4\nDEFAULT\n", 78, 4, 3},
        {"no NUM_IDS line", kHead + "1\nDEFAULT\n", kErrorPrinted, 0, 0},
        {"ID 0", kHead + "NUM_IDS 2\ntitle\n0\nDEFAULT\n", kErrorPrinted, 0, 0},
        {"ID not a number", kHead + "NUM_IDS 2\ntitle\nfirst\nDEFAULT\n", kErrorPrinted, 0, 0},
        {"value line one number short",
         kHead + "NUM_IDS 1\ntitle\n1\n0 2 4 6 8 10\n" + block(0).substr(block(0).find('\n') + 1),
         kErrorPrinted, 0, 0},
        {"block cut short", kHead + "NUM_IDS 1\ntitle\n1\n0 2 4 6 8 10 12\n", kErrorPrinted, 0, 0},
        {"a value not finite", kHead + "NUM_IDS 1\ntitle\n1\n0 2 4 nan 8 10 12\n", kErrorPrinted, 0, 0},
        // A count that no index map can use would only size a huge table.
        {"NUM_IDS beyond the largest ID", kHead + "NUM_IDS 2000000000\ntitle\n1\nDEFAULT\n",
         kErrorPrinted, 0, 0},
        {"NUM_IDS not a number", kHead + "NUM_IDS many\ntitle\n1\nDEFAULT\n", kErrorPrinted, 0, 0},
    };
    for (const file_case& c : cases) {
        SCOPED_TRACE(c.what);
        const read_result r = read_text(c.text);
        EXPECT_EQ(r.ok, c.code == 0);
        EXPECT_EQ(r.code, c.code);
    }
    // The numbers of code 78 and the file and line of the other refusals reach the messages.
    for (const file_case& c : cases) {
        if (c.code != 78 && c.code != kErrorPrinted) continue;
        SCOPED_TRACE(c.what);
        temp_dir dir;
        write_file(dir.file("aq.env"), c.text);
        error_record = error_info{};
        aquatic_env_tables t;
        testing::internal::CaptureStdout();
        read_aquatic_env_table(dir.file("aq.env").c_str(), t);
        const std::string out = testing::internal::GetCapturedStdout();
        if (c.code == 78) {
            EXPECT_EQ(error_record.number1, c.n1);
            EXPECT_EQ(error_record.number2, c.n2);
            EXPECT_EQ(std::string(error_record.file_name), dir.file("aq.env") + ", line 6");
        } else {
            EXPECT_NE(out.find("aq.env"), std::string::npos) << out;
            if (c.text.find("NUM_IDS") != std::string::npos) {
                EXPECT_NE(out.find("aq.env, line "), std::string::npos) << out;
            }
        }
        error_record = error_info{};
    }
}

TEST(AquaticEnvFile, MissingFileIsCode76AndMissingOverlandMapCode81) {
    temp_dir dir;
    aquatic_env_tables t;
    error_record = error_info{};
    EXPECT_FALSE(read_aquatic_env_table(dir.file("none.env").c_str(), t));
    EXPECT_EQ(error_record.code, 76);
    EXPECT_NE(std::string(error_record.file_name).find("none.env"), std::string::npos);

    // A table read whole whose overland ID map is missing.
    write_file(dir.file("aq.env"), "AQUATIC_ENV_NSM10\nOV_MAP " + dir.file("none.asc") +
                                       "\nST_MAP st.txt\nNUM_IDS 1\ntitle\n1\nDEFAULT\n");
    run_state* rs = create_run_state();
    ASSERT_NE(rs, nullptr);
    error_record = error_info{};
    aquatic_env_tables u;
    read_aquatic_env_file(u, dir.file("aq.env").c_str(), *rs);
    EXPECT_EQ(error_record.code, 81);
    destroy_run_state(rs);
    error_record = error_info{};
}

TEST(AquaticEnvFile, EveryPositionReadsBackAndDefaultBlocksKeepZeros) {
    // ID 1: value k at position k (commas and tabs as separators); ID 2
    // DEFAULT; ID 3: k + 1000, the last block without a trailing line end.
    std::string last = block(1000);
    last.pop_back();
    const std::string text = kHead + "NUM_IDS 4\nID  values\n\n1\n" + block(0, ",\t") +
                             "\n2\nDEFAULT\n3\r\n" + last;
    const read_result r = read_text(text);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.t.ov_map, "ov_ids.asc");
    EXPECT_EQ(r.t.st_map, "st_ids.txt");
    ASSERT_EQ(r.t.num_ids, 4);
    ASSERT_EQ(r.t.params.size(), 5u);
    for (int k = 0; k < kAquaticParams; ++k) {
        EXPECT_EQ(r.t.params[1][static_cast<size_t>(k)], k) << "position " << k;
        EXPECT_EQ(r.t.params[2][static_cast<size_t>(k)], 0.0) << "position " << k;
        EXPECT_EQ(r.t.params[3][static_cast<size_t>(k)], k + 1000.0) << "position " << k;
        EXPECT_EQ(r.t.params[4][static_cast<size_t>(k)], 0.0) << "position " << k;
    }
}

}  // namespace
