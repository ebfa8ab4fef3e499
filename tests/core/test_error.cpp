// Tests of the error reporter and its message catalogue.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/file_object.h"

namespace {

// Resets the program-wide record and the summary reference around each test.
class ErrorReporter : public ::testing::Test {
protected:
    void SetUp() override {
        saved_summary_ = current_summary_file;
        current_summary_file = nullptr;
        error_record = error_info{};
    }
    void TearDown() override {
        current_summary_file = saved_summary_;
        error_record = error_info{};
    }

    // Reports `rec` and returns what reached the console.
    static std::string report(error_info& rec) {
        testing::internal::CaptureStdout();
        report_error(rec);
        return testing::internal::GetCapturedStdout();
    }

private:
    file_object* saved_summary_ = nullptr;
};

std::string composed(int code, const error_info& rec) {
    std::vector<char> out(8192);
    compose_message(code, rec, out.data(), static_cast<int>(out.size()));
    return out.data();
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(MessageCatalogue, CodesAreUniqueAndSorted) {
    int count = 0;
    const message_entry* table = message_catalogue(&count);
    ASSERT_NE(table, nullptr);
    ASSERT_GT(count, 0);
    for (int i = 1; i < count; ++i) {
        EXPECT_LT(table[i - 1].code, table[i].code) << "entry " << i;
    }
}

TEST(MessageCatalogue, HoldsEveryCodeOfTheSystem) {
    const std::vector<int> expected = {
        3,   4,   5,   6,   7,   8,   9,   10,  11,  20,  21,  22,  23,  24,  25,  26,  27,
        28,  29,  30,  32,  33,  34,  35,  37,  38,  39,  40,  41,  42,  43,  44,  45,  46,
        48,  49,  50,  51,  52,  55,  56,  57,  58,  59,  64,  65,  66,  67,  68,  69,  71,
        72,  73,  74,  76,  77,  78,  79,  80,  81,  83,  84,  85,  86,  87,  88,  89,  90,  91,
        92,  93,  95,  96,  97,  98,  99,  100, 101, 102, 103, 104, 115, 116, 117, 118, 119,
        120, 122, 123, 125, 126, 127, 131, 132, 133, 134, 135, 136, 280, 281, 350, 351, 352,
        353, 354, 356, 357};
    int count = 0;
    const message_entry* table = message_catalogue(&count);
    std::vector<int> codes;
    for (int i = 0; i < count; ++i) codes.push_back(table[i].code);
    EXPECT_EQ(codes, expected);
    for (int code : expected) {
        const message_entry* entry = find_message(code);
        ASSERT_NE(entry, nullptr) << code;
        EXPECT_EQ(entry->code, code);
    }
}

TEST(MessageCatalogue, WarningsAreExactlyTheWarningCodes) {
    int count = 0;
    const message_entry* table = message_catalogue(&count);
    std::set<int> warnings;
    for (int i = 0; i < count; ++i) {
        if (table[i].warning) warnings.insert(table[i].code);
    }
    EXPECT_EQ(warnings, (std::set<int>{39, 41, 55, 95, 96, 356, 357}));
}

// Every '{' in a template must open one of the four markers; a mistyped marker
// would otherwise be printed as text.
TEST(MessageCatalogue, TemplatesUseOnlyKnownMarkers) {
    int count = 0;
    const message_entry* table = message_catalogue(&count);
    const char* markers[] = {"{what}", "{file}", "{n1}", "{n2}"};
    for (int i = 0; i < count; ++i) {
        ASSERT_NE(table[i].text, nullptr) << table[i].code;
        EXPECT_GT(std::strlen(table[i].text), 0u) << table[i].code;
        for (const char* p = std::strchr(table[i].text, '{'); p; p = std::strchr(p + 1, '{')) {
            bool known = false;
            for (const char* m : markers) known = known || std::strncmp(p, m, std::strlen(m)) == 0;
            EXPECT_TRUE(known) << "code " << table[i].code << " at: " << p;
        }
    }
}

TEST(MessageCatalogue, UnknownCodesHaveNoEntry) {
    for (int code : {-5, 0, 1, 2, 12, 31, 129, 137, 4000}) {
        EXPECT_EQ(find_message(code), nullptr) << code;
    }
}

TEST(ComposeMessage, InsertsTextsAndNumbers) {
    error_info rec;
    std::strcpy(rec.what, "watershed mask");
    std::strcpy(rec.file_name, "maps/mask.asc");
    rec.number1 = -3;
    rec.number2 = 12;
    struct compose_case {
        int code;
        const char* expected;
    };
    const compose_case cases[] = {
        {4, "Error: Unable to open watershed mask file.\n  (File: maps/mask.asc)\n"},
        {91,
         "Error: The number of sediments specified in the SEDIMENTS table is -3 while the number "
         "of sediments \nspecified in the SED_EROS_PROPS table is 12. The values must match.\n"},
        {71, "Index ID exceeds table limit, file: maps/mask.asc [row -3:col 12]\n"},
        {98, "Error: Unable to open the K4 internal flux output file [maps/mask.asc].\n"},
        {77,
         "Error: The header for the aquatic environment file is invalid or does not match \n the "
         "current version. \n The aquatic environment file specified is: maps/mask.asc\n The "
         "header should be : watershed mask\n"},
        {78, "Error: An index [-3] in the aquatic environment table is greater than the\nnumber "
             "of IDs specified [12]\n (File: maps/mask.asc)\n"},
        {52, "Error: Time step is 0 seconds.\n"},
        {24, "Error: stomatal resistance values not specified for Penman-Montieth long term "
             "simulation.\n Check project file.\n"},
        {280, "Error: Time step is watershed mask seconds; it must be more than 0.001 seconds "
              "(card TIMESTEP, or ST_TIME_STEP when that is shorter).\n"},
        {281, "Error: Outlet slope watershed mask is below 1e-9 m/m (card OUTSLOPE).\n"},
        {4000, ""},
        {0, ""},
    };
    for (const compose_case& c : cases) {
        EXPECT_EQ(composed(c.code, rec), c.expected) << "code " << c.code;
    }
}

TEST(ComposeMessage, CutsToTheOutputSizeAndTerminates) {
    error_info rec;
    std::strcpy(rec.what, "watershed mask");
    char out[16];
    std::memset(out, 'x', sizeof(out));
    compose_message(4, rec, out, 10);
    EXPECT_STREQ(out, "Error: Un");
    EXPECT_EQ(out[10], 'x');   // nothing written past the given size
    compose_message(4, rec, out, 1);
    EXPECT_STREQ(out, "");
    compose_message(4, rec, out, 0);   // no room at all: nothing written
    EXPECT_STREQ(out, "");
}

// A text field filled to its last byte without a NUL is inserted with its own
// width only, not run on into the next field.
TEST(ComposeMessage, UnterminatedFieldStopsAtItsWidth) {
    error_info rec;
    std::memset(rec.what, 'w', sizeof(rec.what));
    std::strcpy(rec.file_name, "NEXT");
    const std::string text = composed(119, rec);
    EXPECT_EQ(text, "Error: Nutrient constituent to use mapping table for input value but no "
                    "mapping table exists (Grid): " +
                        std::string(sizeof(rec.what), 'w') + "\n");
}

TEST_F(ErrorReporter, WarningsLowerTheStopFlag) {
    for (int code : {39, 41, 55, 95, 96}) {
        for (int stop_before : {0, 1}) {
            error_record = error_info{};
            error_record.code = code;
            error_record.stop = stop_before;
            const std::string out = report(error_record);
            EXPECT_EQ(error_record.stop, 0) << code;
            EXPECT_EQ(error_record.code, 0) << code;
            EXPECT_EQ(out, "\n" + composed(code, error_record)) << code;
            EXPECT_EQ(out.rfind("\nWarning: ", 0), 0u) << code;
        }
    }
}

TEST_F(ErrorReporter, ErrorsRaiseTheStopFlag) {
    for (int code : {3, 4, 5, 11, 44, 59, 91, 122, 136}) {
        error_record = error_info{};
        error_record.code = code;
        std::strcpy(error_record.what, "roughness");
        std::strcpy(error_record.file_name, "rough.idx");
        error_record.number1 = 7;
        error_record.number2 = 8;
        const std::string out = report(error_record);
        EXPECT_EQ(error_record.stop, 1) << code;
        EXPECT_EQ(error_record.code, 0) << code;
        EXPECT_EQ(out, "\n" + composed(code, error_record)) << code;
        EXPECT_GT(out.size(), 2u) << code;
        // the inserted fields are kept for later reading
        EXPECT_STREQ(error_record.what, "roughness");
        EXPECT_EQ(error_record.number1, 7);
    }
}

TEST_F(ErrorReporter, CodesWithoutEntryPrintOnlyTheBlankLine) {
    for (int code : {4000, 129, 137, 1, 12}) {
        error_record = error_info{};
        error_record.code = code;
        EXPECT_EQ(report(error_record), "\n") << code;
        EXPECT_EQ(error_record.stop, 1) << code;
        EXPECT_EQ(error_record.code, 0) << code;
    }
}

TEST_F(ErrorReporter, ZeroOrNegativeCodePrintsNothingAndKeepsStop) {
    for (int code : {0, -1, -4000}) {
        for (int stop_before : {0, 1}) {
            error_record = error_info{};
            error_record.code = code;
            error_record.stop = stop_before;
            EXPECT_EQ(report(error_record), "") << code;
            EXPECT_EQ(error_record.stop, stop_before) << code;
            EXPECT_EQ(error_record.code, 0) << code;
        }
    }
}

TEST_F(ErrorReporter, WatershedMaskMessageIsExact) {
    set_error(4, "watershed mask", "/data/basin/mask.asc");
    EXPECT_EQ(report(error_record),
              "\nError: Unable to open watershed mask file.\n  (File: /data/basin/mask.asc)\n");
}

TEST_F(ErrorReporter, FormatCharactersInNamesArePrintedLiterally) {
    const char* name = "out_%s_%d_%n_%%\\t.txt";
    set_error(59, nullptr, name);
    EXPECT_EQ(report(error_record),
              std::string("\nError: Can't open output file: ") + name + "\n");
}

TEST_F(ErrorReporter, MessagesAreCopiedIntoTheOpenSummaryFile) {
    char folder[] = "/tmp/pluvo_error_XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string path = std::string(folder) + "/summary.txt";

    file_object summary;
    ASSERT_TRUE(open_file_named(summary, path.c_str(), "w"));
    current_summary_file = &summary;

    set_error(4, "watershed mask", "mask_%s.asc");
    const std::string first = report(error_record);
    error_record.code = 55;
    const std::string second = report(error_record);
    error_record.code = 4000;
    const std::string third = report(error_record);
    close_file_object(summary);

    EXPECT_EQ(read_file(path), first + second + third);
    EXPECT_EQ(first,
              "\nError: Unable to open watershed mask file.\n  (File: mask_%s.asc)\n");
    EXPECT_EQ(third, "\n");

    // A closed summary file: the console only, the file keeps its text.
    error_record.code = 3;
    EXPECT_EQ(report(error_record), "\nError: The specified project file was not found.\n");
    EXPECT_EQ(read_file(path), first + second + third);

    std::remove(path.c_str());
    rmdir(folder);
}

TEST(WriteReportText, ReturnsConsoleCharacterCount) {
    testing::internal::CaptureStdout();
    const int n = write_report_text(nullptr, "50%s done\n");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "50%s done\n");
    EXPECT_EQ(n, 10);
}

TEST(SetError, CutsTextsToTheirFieldWidths) {
    const error_info saved = error_record;
    struct width_case {
        size_t what_length;
        size_t file_length;
    };
    const width_case cases[] = {{0, 0}, {59, 1027}, {60, 1028}, {200, 5000}};
    for (const width_case& c : cases) {
        error_record = error_info{};
        std::memset(error_record.what, 'z', sizeof(error_record.what));
        std::memset(error_record.file_name, 'z', sizeof(error_record.file_name));
        const std::string what(c.what_length, 'a');
        const std::string file(c.file_length, 'b');
        set_error(64, what.c_str(), file.c_str());
        EXPECT_EQ(error_record.code, 64);
        EXPECT_EQ(std::string(error_record.what), what.substr(0, 59));
        EXPECT_EQ(std::string(error_record.file_name), file.substr(0, 1027));
    }
    error_record = saved;
}

TEST(SetError, NullTextsKeepTheirFields) {
    const error_info saved = error_record;
    error_record = error_info{};
    std::strcpy(error_record.what, "kept");
    set_error(59, nullptr, "out.txt");
    EXPECT_STREQ(error_record.what, "kept");
    EXPECT_STREQ(error_record.file_name, "out.txt");
    set_error_numbers(67, 12, 14);
    EXPECT_EQ(error_record.code, 67);
    EXPECT_EQ(error_record.number1, 12);
    EXPECT_EQ(error_record.number2, 14);
    set_error_numbers(66, 5);
    EXPECT_EQ(error_record.number2, 0);
    error_record = saved;
}

}  // namespace
